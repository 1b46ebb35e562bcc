// ports.h -- MIDI input ports: count and name the devices, open and close.
//
// Failures are reported only by the results (0 count, null port, false);
// callers decide what the user sees.
#pragma once

#include <cstdint>

#include "core/types.h"
#include "platform/midi_input.h"

// An opened and started input port; null means none. Closing does not clear
// the holder's copy, so the holder must not close it twice.
typedef MidiPortRef InputPort;

uint32_t countInputDevices();

// Copies the device's product name into name (kDeviceNameCapacity bytes):
// always NUL-terminated, at most 31 characters, empty when the device's
// capabilities cannot be read. Safe to call on several threads at once.
void deviceName(uint32_t deviceIndex, char* name);

// The device with exactly this name: preferredIndex when the device there has
// it, else the first one that has it; -1 when none has, and for an empty name
// (a device whose name cannot be read has an empty one).
int32_t findInputDevice(const char* name, int32_t preferredIndex);

// Opens the device with dataHandler called per driver message and
// instanceValue handed back with every call, then starts input. Null when
// either step fails; a handle that opened but would not start is closed again,
// so no device is left open without an owner.
InputPort openInputPort(uint32_t deviceIndex, MidiDataHandler dataHandler, uint32_t instanceValue);

// Closes the port of a device that may have gone, whose stop may then fail:
// closing is tried all the same. True when the port is closed; a null port
// is not.
bool closeGoneInputPort(InputPort port);

// Stops and closes the port. False when stopping fails (the port then stays
// open), when closing fails, or for a null port, which is left alone.
bool closeInputPort(InputPort port);
