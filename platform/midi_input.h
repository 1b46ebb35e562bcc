// midi_input.h -- the system's MIDI input calls, as the logic sees them.
//
// A data handler is called by the driver on its own thread. Its type matches
// the system's callback type exactly (calling convention included), so the
// Win32 implementation can hold it in a variable of the system's own pointer
// type before handing it over as an integer: a handler with the wrong
// convention then fails to compile in the 32-bit build instead of corrupting
// the stack at run time.
#pragma once

#include <cstdint>

// The system's handle type for the port a callback is for (declared the way
// the system declares it, so no <windows.h> is needed here).
struct HDRVR__;  // NOLINT(bugprone-reserved-identifier): the system's own name
typedef HDRVR__* MidiCallbackPort;

#if defined(_WIN64)
typedef unsigned long long MidiParam;  // DWORD_PTR
#elif defined(_WIN32)
typedef unsigned long MidiParam;  // DWORD_PTR
#else
typedef uintptr_t MidiParam;
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define MIDI_CALLBACK __stdcall
#else
#define MIDI_CALLBACK
#endif

typedef void(MIDI_CALLBACK* MidiDataHandler)(MidiCallbackPort port, unsigned int message, MidiParam instance,
                                              MidiParam param1, MidiParam param2);

// An opened MIDI input handle; null means none.
typedef void* MidiPortRef;

// Driver message code of a short message.
const unsigned int kMidiInData = 0x3C3;  // MIM_DATA

// 0 is success for the calls that return a result code (MMSYSERR_NOERROR).
uint32_t platformMidiInCount();
// Fills name (32 bytes) with the device's product name; false when the
// capabilities cannot be read.
bool platformMidiInName(uint32_t device, char* name, uint32_t capacity);
uint32_t platformMidiInOpen(MidiPortRef* port, uint32_t device, MidiDataHandler handler, uint32_t instance);
uint32_t platformMidiInStart(MidiPortRef port);
uint32_t platformMidiInStop(MidiPortRef port);
uint32_t platformMidiInClose(MidiPortRef port);
