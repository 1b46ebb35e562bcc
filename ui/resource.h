// resource.h -- identifiers of the dialog templates, their controls and the
// key-map picture. Shared by the resource script and the dialog code.
#pragma once

#define IDD_CONFIG 101
#define IDD_AUTODETECT 114
#define IDB_KEYMAP 117
#define IDD_BINDINGS 120
#define IDD_PICK 121
#define IDD_MAP_NAME 122

#define IDC_APPLY 3
#define IDC_CHANNEL 1003
#define IDC_DEVICE 1009
#define IDC_AUTODETECT 1011
#define IDC_DETECTED_PORT 1013
#define IDC_DETECTED_CHANNEL 1014
#define IDC_BINDINGS 1015
#define IDC_BINDING_LIST 1016
#define IDC_BINDING_ACTION 1017
#define IDC_LEARN 1018
#define IDC_REMOVE 1019
#define IDC_REMOVE_ALL 1020
#define IDC_BINDING_STATUS 1021
#define IDC_LIVE_LINE 1022
#define IDC_LIGHTS 1023
#define IDC_ENDLESS 1024
#define IDC_CONTROLLER 1025
#define IDC_REMOVE_CONTROLLER 1026
#define IDC_MAP_OFFER 1027
#define IDC_USE_MAP 1028
#define IDC_CHOOSE_MAP 1029
#define IDC_SAVE_MAP 1030
#define IDC_GESTURE 1031
#define IDC_PICK_PROMPT 1032
#define IDC_PICK_LIST 1033
#define IDC_MAP_NAME 1034

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
