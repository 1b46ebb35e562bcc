// resource.h -- identifiers of the dialog templates, their controls and the
// key-map picture. Shared by the resource script and the dialog code.
#pragma once

#define IDD_CONFIG 101
#define IDD_AUTODETECT 114
#define IDB_KEYMAP 117
#define IDD_BINDINGS 120

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

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
