// device_inputs.h -- every input port of each device: the configured
// device's ports beside the one the settings name, and all of each added
// controller's ports, the controller's unit among devices of its name.
//
// The ports are found by grouping the system's ports into devices
// (core/device_ports.h) whenever the list of devices changes or the retry
// timer fires; each is opened with its device's and port's instance value
// (midi/mailbox.h), and its role says whether the rules read it and which
// transport protocols it speaks. A port that is away, held or fails is tried
// again on the next change or retry; nothing runs in between.
// User-interface thread only.
#pragma once

#include <cstdint>

#include "core/device_ports.h"

// What a device is for this pass: the list's device it is (-1 for none) and
// the port of it the rules read (1 to 8).
struct DeviceUnit {
    int32_t unit;
    uint32_t rulesPort;
};

// Reads the system's ports and follows every device's ports anew: a port
// whose device went or changed is closed, a missing one opened.
void followDeviceInputs();
// Whether a port found for a device could not be opened (the retry timer
// tries again).
bool deviceInputsWaiting();
// Whether port `port` (1 to 8, in the device's order) of the device is open.
bool deviceInputOpen(uint32_t device, uint32_t port);
// The device's unit as the last pass found it (-1 for none), and the list
// it was found in (valid until the next pass).
int32_t deviceUnitOf(uint32_t device);
const DeviceList& lastDeviceList();
// The system's ports read now and grouped into devices, each port's
// instance as the last read found it where the system no longer tells
// (Wine tells none for a port held open); for the dialog's lists. It does
// not change what deviceUnitOf and lastDeviceList give.
void readDeviceList(DeviceList* list);
// Closes the device's ports (a controller removed); false when one will not close.
bool closeDeviceInputs(uint32_t device);
// Quit: every port closed; false when one will not close.
bool closeDeviceInputsAtQuit();
void resetDeviceInputs();  // for tests
