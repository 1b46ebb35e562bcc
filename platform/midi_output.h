// midi_output.h -- the system's MIDI output calls, as the logic sees them:
// short messages only, for the lights on the user's controller.
#pragma once

#include <cstdint>
#include <cstddef>

// An opened MIDI output handle; null means none.
typedef void* MidiOutRef;

// 0 is success for the calls that return a result code (MMSYSERR_NOERROR).
uint32_t platformMidiOutCount();
// Fills name (32 bytes) with the device's product name; false when the
// capabilities cannot be read.
bool platformMidiOutName(uint32_t device, char* name, uint32_t capacity);
uint32_t platformMidiOutOpen(MidiOutRef* port, uint32_t device);
// Sends one short message (status in the low byte) and returns at once.
uint32_t platformMidiOutSend(MidiOutRef port, uint32_t message);
// Sends one system-exclusive message (F0 ... F7, at most kMostSysexBytes)
// and returns once the driver is done with it: 0 then. Non-zero when it was
// not done within waitMs, and at once while the port still holds one it was
// given before and never finished: nothing more is sent to a stuck port.
const uint32_t kMostSysexBytes = 512;
uint32_t platformMidiOutSendLong(MidiOutRef port, const uint8_t* bytes, uint32_t length, uint32_t waitMs);
uint32_t platformMidiOutClose(MidiOutRef port);
