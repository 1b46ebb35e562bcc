// ports.h -- MIDI ports: count and name the devices, open and close; the
// inputs the keyboard plays into, the outputs the lights go to.
//
// Failures are reported only by the results (0 count, null port, false);
// callers decide what the user sees.
#pragma once

#include <cstdint>

#include "core/types.h"
#include "platform/midi_input.h"
#include "platform/midi_output.h"

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

// The same search over any numbered list of count names, each read by
// readName(index, name, context) into kDeviceNameCapacity bytes.
typedef void (*NameReader)(uint32_t index, char* name, const void* context);
int32_t findByName(const char* name, int32_t preferredIndex, uint32_t count, NameReader readName,
                   const void* context);

// Opens the device with dataHandler called per driver message and
// instanceValue handed back with every call, lends it the buffers for
// system-exclusive messages of the plug-in's device instanceValue unless
// `lendBuffers` is false (autodetect's ports), then starts input. Null when opening or starting fails; a handle
// that opened but would not start is closed again, so no device is left open
// without an owner.
InputPort openInputPort(uint32_t deviceIndex, MidiDataHandler dataHandler, uint32_t instanceValue,
                        bool lendBuffers = true);

// Stops and closes the port. Closing is tried even when stopping failed (a
// device that has gone will not stop): a port left open would call into the
// module after the host has unloaded it. A port with buffers lent is reset
// after the stop, and closed only once every buffer is back and unprepared,
// or after a bounded wait (midi/sysex_buffers.h); a driver that keeps one
// then refuses the close. True only when stop and close succeeded; false for
// a null port, which is left alone. When `closed` is given, it tells whether
// no port is open any more (true for a null port).
bool closeInputPort(InputPort port, bool* closed = nullptr);

// Quit: every open port that was lent buffers is stopped and reset now, so
// that their drivers give the buffers back side by side, and the closes that
// follow wait `ms` in all for them, not each its own time (one that will not
// give them back does not hold the others up).
void stopAllInputPorts(uint32_t ms);
void resetLendingPorts();  // for tests

// ---- Outputs ------------------------------------------------------------------------
uint32_t countOutputDevices();
// As deviceName, for an output.
void outputDeviceName(uint32_t deviceIndex, char* name);
// As findInputDevice, among the outputs.
int32_t findOutputDevice(const char* name, int32_t preferredIndex);
// Null when the device cannot be opened.
MidiOutRef openOutputPort(uint32_t deviceIndex);
void closeOutputPort(MidiOutRef port);  // a null port is left alone
