// device_interface_win32.cpp -- a MIDI port's device interface path, asked
// of the system by the port's number (platform/device_interface.h).
#include <windows.h>
#include <mmsystem.h>

#include "platform/device_interface.h"

// The driver messages for it, as the system numbers them.
#ifndef DRV_QUERYDEVICEINTERFACE
#define DRV_QUERYDEVICEINTERFACE (DRV_RESERVED + 12)
#endif
#ifndef DRV_QUERYDEVICEINTERFACESIZE
#define DRV_QUERYDEVICEINTERFACESIZE (DRV_RESERVED + 13)
#endif

namespace {

// Room for the longest path asked for, in UTF-16 units.
const ULONG kWideCapacity = 512;

typedef MMRESULT(WINAPI* PortMessage)(UINT_PTR device, UINT message, DWORD_PTR p1, DWORD_PTR p2);

// The inputs this module holds open, by number (user-interface thread, kept
// by midi_win32.cpp): Wine answers the query only on an open handle, and a
// port open here cannot be opened again to ask it.
const uint32_t kOwnInputs = 64;
HMIDIIN ownInputs[kOwnInputs];

HMIDIIN ownOpenInput(uint32_t device) { return device < kOwnInputs ? ownInputs[device] : nullptr; }

}  // namespace

void keepOwnInput(uint32_t device, HMIDIIN handle) {
    if (device < kOwnInputs) ownInputs[device] = handle;
}

void forgetOwnInput(HMIDIIN handle) {
    for (uint32_t device = 0; device < kOwnInputs; ++device) {
        if (ownInputs[device] == handle) ownInputs[device] = nullptr;
    }
}

namespace {

// Windows takes the input's number for a handle. Wine's winmm takes only an
// open handle for an input (MMSYSERR_INVALHANDLE otherwise): there the
// module's own handle is asked when it holds the port, else the port is
// opened for the question, with no callback and not started, and closed
// again; one that another program holds gives none.
MMRESULT WINAPI inputMessage(UINT_PTR device, UINT message, DWORD_PTR p1, DWORD_PTR p2) {
    MMRESULT result = midiInMessage(reinterpret_cast<HMIDIIN>(device), message, p1, p2);
    if (result != MMSYSERR_INVALHANDLE) return result;
    HMIDIIN own = ownOpenInput(static_cast<uint32_t>(device));
    if (own != nullptr) return midiInMessage(own, message, p1, p2);
    HMIDIIN port = nullptr;
    if (midiInOpen(&port, static_cast<UINT>(device), 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return result;
    result = midiInMessage(port, message, p1, p2);
    midiInClose(port);
    return result;
}
MMRESULT WINAPI outputMessage(UINT_PTR device, UINT message, DWORD_PTR p1, DWORD_PTR p2) {
    return midiOutMessage(reinterpret_cast<HMIDIOUT>(device), message, p1, p2);
}

// The size in bytes first (the terminating NUL included), then the path in
// UTF-16, which goes out as UTF-8.
uint32_t interfacePath(PortMessage ask, uint32_t device, char* path, uint32_t capacity) {
    if (capacity == 0) return 0;
    path[0] = '\0';
    ULONG bytes = 0;
    if (ask(device, DRV_QUERYDEVICEINTERFACESIZE, reinterpret_cast<DWORD_PTR>(&bytes), 0) != MMSYSERR_NOERROR) return 0;
    if (bytes < 2 * sizeof(WCHAR) || bytes > kWideCapacity * sizeof(WCHAR)) return 0;
    WCHAR wide[kWideCapacity];
    wide[0] = 0;
    if (ask(device, DRV_QUERYDEVICEINTERFACE, reinterpret_cast<DWORD_PTR>(wide), bytes) != MMSYSERR_NOERROR) return 0;
    wide[bytes / sizeof(WCHAR) - 1] = 0;
    if (wide[0] == 0) return 0;
    int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, path, static_cast<int>(capacity), nullptr, nullptr);
    if (length <= 1) {  // an error, or it does not fit
        path[0] = '\0';
        return 0;
    }
    return static_cast<uint32_t>(length - 1);
}

}  // namespace

uint32_t platformMidiInInterfacePath(uint32_t device, char* path, uint32_t capacity) {
    return interfacePath(inputMessage, device, path, capacity);
}

uint32_t platformMidiOutInterfacePath(uint32_t device, char* path, uint32_t capacity) {
    return interfacePath(outputMessage, device, path, capacity);
}
