// midi_win32.cpp -- the MIDI input and output calls on Win32 (winmm).
#include <windows.h>
#include <mmsystem.h>

#include <type_traits>

#include "platform/midi_input.h"
#include "platform/midi_output.h"

static_assert(std::is_same<MidiParam, DWORD_PTR>::value, "MidiParam must be the system's DWORD_PTR");
static_assert(kMidiInData == MIM_DATA, "driver message code of short messages");

uint32_t platformMidiInCount() { return midiInGetNumDevs(); }

bool platformMidiInName(uint32_t device, char* name, uint32_t capacity) {
    MIDIINCAPSA caps;
    ZeroMemory(&caps, sizeof caps);  // a failed read leaves an empty name, not stack garbage
    MMRESULT result = midiInGetDevCapsA(device, &caps, sizeof caps);
    uint32_t i = 0;
    for (; i + 1 < capacity && i < sizeof caps.szPname && caps.szPname[i] != '\0'; ++i) name[i] = caps.szPname[i];
    if (capacity > 0) name[i] = '\0';
    return result == MMSYSERR_NOERROR;
}

// device_interface_win32.cpp: the inputs this module holds open, for the
// interface query under Wine.
void keepOwnInput(uint32_t device, HMIDIIN handle);
void forgetOwnInput(HMIDIIN handle);

uint32_t platformMidiInOpen(MidiPortRef* port, uint32_t device, MidiDataHandler handler, uint32_t instance) {
    // NOTE: the handler goes to the system as an integer, where nothing checks
    // its type. Holding it in the system's own callback type first makes the
    // 32-bit build reject a handler with the wrong calling convention.
    LPMIDICALLBACK callback = handler;
    HMIDIIN handle = nullptr;
    MMRESULT result =
        midiInOpen(&handle, device, reinterpret_cast<DWORD_PTR>(callback), instance, CALLBACK_FUNCTION);
    *port = result == MMSYSERR_NOERROR ? handle : nullptr;
    if (result == MMSYSERR_NOERROR) keepOwnInput(device, handle);
    return result;
}

uint32_t platformMidiInStart(MidiPortRef port) { return midiInStart(static_cast<HMIDIIN>(port)); }

uint32_t platformMidiInStop(MidiPortRef port) { return midiInStop(static_cast<HMIDIIN>(port)); }

uint32_t platformMidiInClose(MidiPortRef port) {
    uint32_t result = midiInClose(static_cast<HMIDIIN>(port));
    if (result == MMSYSERR_NOERROR) forgetOwnInput(static_cast<HMIDIIN>(port));
    return result;
}

// ---- Output, for the lights ---------------------------------------------------------

uint32_t platformMidiOutCount() { return midiOutGetNumDevs(); }

bool platformMidiOutName(uint32_t device, char* name, uint32_t capacity) {
    MIDIOUTCAPSA caps;
    ZeroMemory(&caps, sizeof caps);
    MMRESULT result = midiOutGetDevCapsA(device, &caps, sizeof caps);
    uint32_t i = 0;
    for (; i + 1 < capacity && i < sizeof caps.szPname && caps.szPname[i] != '\0'; ++i) name[i] = caps.szPname[i];
    if (capacity > 0) name[i] = '\0';
    return result == MMSYSERR_NOERROR;
}

uint32_t platformMidiOutOpen(MidiOutRef* port, uint32_t device) {
    HMIDIOUT handle = nullptr;
    MMRESULT result = midiOutOpen(&handle, device, 0, 0, CALLBACK_NULL);
    *port = result == MMSYSERR_NOERROR ? handle : nullptr;
    return result;
}

uint32_t platformMidiOutSend(MidiOutRef port, uint32_t message) {
    return midiOutShortMsg(static_cast<HMIDIOUT>(port), message);
}

// A buffer lent to an output for one system-exclusive message. Static, not
// on the stack: a driver that never finishes one still points at it, and it
// is never lent again until the driver has given it back.
struct LongSlot {
    MIDIHDR header;
    char data[kMostSysexBytes];
    HMIDIOUT port;  // while the driver holds it; null when free
};
static LongSlot longSlots[16];

// Whether the slot's driver has given it back (unprepared then).
static bool slotBack(LongSlot& slot) {
    if (slot.port == nullptr) return true;
    if (midiOutUnprepareHeader(slot.port, &slot.header, sizeof slot.header) == MIDIERR_STILLPLAYING) return false;
    slot.port = nullptr;
    return true;
}

uint32_t platformMidiOutSendLong(MidiOutRef port, const uint8_t* bytes, uint32_t length, uint32_t waitMs) {
    if (length > kMostSysexBytes) return MMSYSERR_INVALPARAM;
    HMIDIOUT out = static_cast<HMIDIOUT>(port);
    LongSlot* slot = nullptr;
    for (LongSlot& candidate : longSlots) {
        // A port that still holds a message it never finished is stuck.
        if (candidate.port == out && !slotBack(candidate)) return MIDIERR_STILLPLAYING;
        if (slot == nullptr && slotBack(candidate)) slot = &candidate;
    }
    if (slot == nullptr) return MMSYSERR_NOMEM;
    CopyMemory(slot->data, bytes, length);
    ZeroMemory(&slot->header, sizeof slot->header);
    slot->header.lpData = slot->data;
    slot->header.dwBufferLength = length;
    slot->header.dwBytesRecorded = length;
    MMRESULT result = midiOutPrepareHeader(out, &slot->header, sizeof slot->header);
    if (result != MMSYSERR_NOERROR) return result;
    slot->port = out;
    result = midiOutLongMsg(out, &slot->header, sizeof slot->header);
    DWORD started = GetTickCount();
    while (result == MMSYSERR_NOERROR && (slot->header.dwFlags & MHDR_DONE) == 0 && GetTickCount() - started < waitMs) {
        Sleep(1);
    }
    bool done = result == MMSYSERR_NOERROR && (slot->header.dwFlags & MHDR_DONE) != 0;
    // A driver still busy with it may give it back on a reset; one that does
    // not keeps the slot, and the port is stuck.
    if (result == MMSYSERR_NOERROR && !done) midiOutReset(out);
    slotBack(*slot);
    if (result != MMSYSERR_NOERROR) return result;
    return done ? MMSYSERR_NOERROR : MIDIERR_STILLPLAYING;
}

uint32_t platformMidiOutClose(MidiOutRef port) { return midiOutClose(static_cast<HMIDIOUT>(port)); }

// ---- Buffers for system-exclusive data ----------------------------------------

static_assert(sizeof(MIDIHDR) <= sizeof(MidiBufferHeader), "a MIDIHDR fits the room the logic keeps for it");
static_assert(alignof(MIDIHDR) <= alignof(MidiBufferHeader), "and is aligned as the system needs");
static_assert(kMidiInLongData == MIM_LONGDATA && kMidiInLongError == MIM_LONGERROR, "long-data message codes");

static MIDIHDR* midiHeader(MidiBufferHeader* header) { return reinterpret_cast<MIDIHDR*>(header); }

uint32_t platformMidiInPrepareBuffer(MidiPortRef port, MidiBufferHeader* header, uint8_t* data, uint32_t size) {
    MIDIHDR* h = midiHeader(header);
    ZeroMemory(h, sizeof *h);
    h->lpData = reinterpret_cast<LPSTR>(data);
    h->dwBufferLength = size;
    return midiInPrepareHeader(static_cast<HMIDIIN>(port), h, sizeof *h);
}

uint32_t platformMidiInAddBuffer(MidiPortRef port, MidiBufferHeader* header) {
    MIDIHDR* h = midiHeader(header);
    // NOTE: some drivers go on filling a buffer from dwBytesRecorded: a buffer
    // lent again starts empty.
    h->dwBytesRecorded = 0;
    h->dwFlags &= ~static_cast<DWORD>(MHDR_DONE);
    return midiInAddBuffer(static_cast<HMIDIIN>(port), h, sizeof *h);
}

uint32_t platformMidiInUnprepareBuffer(MidiPortRef port, MidiBufferHeader* header) {
    return midiInUnprepareHeader(static_cast<HMIDIIN>(port), midiHeader(header), sizeof(MIDIHDR));
}

uint32_t platformMidiInReset(MidiPortRef port) { return midiInReset(static_cast<HMIDIIN>(port)); }

uint32_t platformMidiBufferBytes(const MidiBufferHeader* header) {
    const MIDIHDR* h = reinterpret_cast<const MIDIHDR*>(header);
    return h->dwBytesRecorded < h->dwBufferLength ? h->dwBytesRecorded : h->dwBufferLength;
}
