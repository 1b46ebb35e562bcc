// followed_port.h -- a MIDI port followed by its device's name: the shape
// every port of the plug-in shares, the configured device's input, each added
// controller's input, and each device's lights output.
//
// Windows numbers MIDI devices in the order it finds them, so a number alone
// opens the wrong device, or none, once devices are plugged in another
// order. The name kept beside the number finds the device again wherever it
// is now. Only the user-interface thread touches these.
#pragma once

#include <cstdint>

#include "core/types.h"

struct FollowedPort {
    int32_t* index;   // the chosen device's number, -1 for none
    char* name;       // its name (kDeviceNameCapacity); empty: followed by number alone
    void** handle;    // where the open port is kept; null there while closed
    uint32_t device;  // the plug-in's device the port is for (the input's instance value)
    bool output;      // an output (lights), else an input
    bool openFailed;  // the last try found the device there but could not open it
};

// Where the chosen device is now: the number at *index when the device there
// has the name, else the first device with the name; -1 when none has it.
// Without a name, *index itself.
int32_t whereIsFollowed(const FollowedPort& port);
// Whether the device at *index still has the name (false when it went, or
// another device now has its number); true for a port without a name.
bool followedStillThere(const FollowedPort& port);
// Opens the device at `at` (an input with its buffers, started, calling the
// main data handler with port.device; an output); false, openFailed set, when
// it cannot be opened.
bool openFollowed(FollowedPort* port, int32_t at);
// Closes the open port; an input that will not close stays open (false).
bool closeFollowed(FollowedPort* port);
// The device list changed, or the retry timer: a port whose device went or
// moved is closed, and a closed one opened again, silently, where its name
// now is, its number following it. True when it was opened now.
bool followDevice(FollowedPort* port);
// Whether the port is chosen and not open: the retry timer tries it again.
bool followedWaiting(const FollowedPort& port);
