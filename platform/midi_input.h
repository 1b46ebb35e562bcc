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

// Driver message codes: a short message; a buffer of system-exclusive data
// given back, whole or (an invalid message) with an error. For the last two
// the first parameter is the buffer's header.
const unsigned int kMidiInData = 0x3C3;       // MIM_DATA
const unsigned int kMidiInLongData = 0x3C4;   // MIM_LONGDATA
const unsigned int kMidiInLongError = 0x3C6;  // MIM_LONGERROR

// Room for the system's header of a buffer lent to an input port (MIDIHDR:
// 64 bytes in the 32-bit build, 120 in the 64-bit one). The platform fills
// and reads it; the logic only keeps it where the driver may reach it for as
// long as the buffer is lent.
struct MidiBufferHeader {
    MidiParam space[16];
};

// 0 is success for the calls that return a result code (MMSYSERR_NOERROR).
uint32_t platformMidiInCount();
// Fills name (32 bytes) with the device's product name; false when the
// capabilities cannot be read.
bool platformMidiInName(uint32_t device, char* name, uint32_t capacity);
uint32_t platformMidiInOpen(MidiPortRef* port, uint32_t device, MidiDataHandler handler, uint32_t instance);
uint32_t platformMidiInStart(MidiPortRef port);
uint32_t platformMidiInStop(MidiPortRef port);
uint32_t platformMidiInClose(MidiPortRef port);

// Buffers for system-exclusive data. Prepare sets the header up for `size`
// bytes at `data` and prepares it for the port; add lends it to the driver,
// which gives it back through the data handler when a message is in it, when
// it is full, or on reset (then empty). Unprepare fails while the driver
// holds the buffer.
uint32_t platformMidiInPrepareBuffer(MidiPortRef port, MidiBufferHeader* header, uint8_t* data, uint32_t size);
uint32_t platformMidiInAddBuffer(MidiPortRef port, MidiBufferHeader* header);
uint32_t platformMidiInUnprepareBuffer(MidiPortRef port, MidiBufferHeader* header);
// Stops input and gives every lent buffer back.
uint32_t platformMidiInReset(MidiPortRef port);
// The bytes the driver put into a buffer it gave back.
uint32_t platformMidiBufferBytes(const MidiBufferHeader* header);
