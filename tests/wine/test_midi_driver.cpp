// test_midi_driver.cpp -- a scripted MIDI input driver for Wine's own winmm
// (installed as winefake.drv, selected by the Drivers\Audio registry value).
//
// winmm loads it like any driver and sees FAKEMIDI_DEVICES input devices
// (default 3) and FAKEMIDI_OUTPUTS output devices (default 2), which record
// the short messages sent to them. A test reaches its control exports by loading the same file:
// it queues short messages for a device, and the driver's own delivery
// thread hands them to the opened port's callback as a real driver would.
// It also injects faults: result codes per device and call.
//
// Like a real driver it finishes a callback in progress before midiInClose
// returns, so that a host may unload a plug-in right after closing its ports.
//
// System-exclusive messages fill the oldest lent buffer, which goes back
// (MIM_LONGDATA, MHDR_DONE, dwBytesRecorded) when the message ends or the
// buffer is full, the rest going on in the next. It prepares headers itself:
// Wine 8's winmm fails midiInPrepareHeader with MMSYSERR_NOTSUPPORTED when
// its driver does. A reset gives every buffer back, empty, from the delivery
// thread; a close with buffers lent is refused (MIDIERR_STILLPLAYING).
//
// It answers the device interface queries (DRV_QUERYDEVICEINTERFACESIZE and
// DRV_QUERYDEVICEINTERFACE) with the path a test set for the port, and none
// otherwise, as older drivers do; an output given a reply answers the
// Device Inquiry sent on it with that reply on its paired input.
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "tests/wine/test_midi_driver.h"

// winmm's helper for drivers, which mingw's headers do not declare.
extern "C" BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD message, DWORD_PTR user,
                                      DWORD_PTR param1, DWORD_PTR param2);

namespace {

const UINT kMaxDevices = 64;
const UINT kQueueSize = 1 << 16;
const UINT kMaxLent = 16;
// How long a system-exclusive message waits for a buffer before it is lost.
const DWORD kBufferWaitMs = 500;
const UINT kPathCapacity = 256;

enum Call { kOpen, kStart, kStop, kClose, kCaps, kReset, kCallCount };

struct Device {
    bool open;
    bool started;
    MIDIOPENDESC desc;
    DWORD callbackFlags;
    LONG inCallback;       // deliveries in progress
    DWORD results[kCallCount];
    char name[64];
    bool away;             // unplugged: no name, no opening, no data
    bool stale;            // the open port's device went away since it opened: it never hears again
    LONG delivered;        // messages handed to the callback
    DWORD lateMessage;     // delivered once more just after the port closes; 0: none
    MIDIOPENDESC lateDesc; // the closed port's callback, for that late delivery
    DWORD lateFlags;
    MIDIHDR* lent[kMaxLent];  // oldest first
    UINT lentCount;
    bool closing;          // stopped or reset since the last start
    bool keepsBuffers;     // the fault: a reset gives nothing back
    FakeMidiBufferStats stats;
    WCHAR interfacePath[kPathCapacity];  // empty: the queries are not answered
};

enum Kind { kShort, kLate, kSysex, kGiveBack };

struct Queued {
    UINT device;
    DWORD message;
    Kind kind;
    BYTE* sysex;  // kSysex: the message, freed once delivered
    UINT length;
};

CRITICAL_SECTION lock;
Device devices[kMaxDevices];
UINT deviceCount = 0;
Queued queue[kQueueSize];
UINT queueHead = 0, queueTail = 0;  // guarded by lock
LONG busy = 0;                      // a message is being delivered
HANDLE queued = nullptr;            // signalled when the queue gains a message
bool ready = false;
volatile LONGLONG lastDeliveryQpc = 0;

DWORD WINAPI deliveryThread(LPVOID);

// The device interface queries, as the system hands them to the driver: the
// size in bytes with the NUL, then the path in UTF-16.
DWORD interfaceAnswer(const WCHAR* path, UINT message, DWORD_PTR p1, DWORD_PTR p2) {
    if (path[0] == 0) return MMSYSERR_NOTSUPPORTED;
    ULONG bytes = static_cast<ULONG>((wcslen(path) + 1) * sizeof(WCHAR));
    if (message == DRV_QUERYDEVICEINTERFACESIZE) {
        *reinterpret_cast<ULONG*>(p1) = bytes;
        return MMSYSERR_NOERROR;
    }
    if (p2 < bytes) return MMSYSERR_INVALPARAM;
    memcpy(reinterpret_cast<void*>(p1), path, bytes);
    return MMSYSERR_NOERROR;
}

void setPath(WCHAR* to, const char* path) {
    to[0] = 0;
    if (path != nullptr) MultiByteToWideChar(CP_UTF8, 0, path, -1, to, static_cast<int>(kPathCapacity));
    to[kPathCapacity - 1] = 0;
}

void setUp() {
    if (ready) return;
    InitializeCriticalSection(&lock);
    const char* count = getenv("FAKEMIDI_DEVICES");
    deviceCount = count != nullptr ? static_cast<UINT>(atoi(count)) : 3;
    if (deviceCount > kMaxDevices) deviceCount = kMaxDevices;
    for (UINT i = 0; i < kMaxDevices; ++i) snprintf(devices[i].name, sizeof devices[i].name, "Test MIDI In %u", i);
    queued = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CreateThread(nullptr, 0, deliveryThread, nullptr, 0, nullptr);
    ready = true;
}

void callBack(Device& d, UINT message, DWORD_PTR p1, DWORD_PTR p2) {
    DriverCallback(d.desc.dwCallback, d.callbackFlags, reinterpret_cast<HDRVR>(d.desc.hMidi), message,
                   d.desc.dwInstance, p1, p2);
}

// Takes the oldest lent buffer (of a started port unless `any`), counted as
// a callback in progress; null for none, and *running false for a port that
// takes no data.
MIDIHDR* takeLent(Device& d, bool any, bool* running = nullptr) {
    EnterCriticalSection(&lock);
    MIDIHDR* header = nullptr;
    bool live = d.open && d.started && !d.away && !d.stale;
    if (running != nullptr) *running = live;
    if (d.lentCount != 0 && (any || live)) {
        header = d.lent[0];
        memmove(d.lent, d.lent + 1, --d.lentCount * sizeof d.lent[0]);
        InterlockedIncrement(&d.inCallback);
    }
    LeaveCriticalSection(&lock);
    return header;
}

void giveBack(Device& d, MIDIHDR* header, const BYTE* bytes, UINT length) {
    memcpy(header->lpData, bytes, length);
    header->dwBytesRecorded = length;
    header->dwFlags = (header->dwFlags & ~static_cast<DWORD>(MHDR_INQUEUE)) | MHDR_DONE;
    callBack(d, MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header), GetTickCount());
    InterlockedDecrement(&d.inCallback);
}

// Each piece waits a while for a buffer, as a driver's own small queue would.
void deliverSysex(Device& d, const BYTE* bytes, UINT length) {
    for (UINT sent = 0; sent < length;) {
        MIDIHDR* header;
        bool running = true;
        DWORD started = GetTickCount();
        while ((header = takeLent(d, false, &running)) == nullptr && running && GetTickCount() - started < kBufferWaitMs) {
            Sleep(1);
        }
        if (header == nullptr) {
            InterlockedIncrement(&d.stats.sysexLost);
            return;
        }
        UINT n = length - sent < header->dwBufferLength ? length - sent : header->dwBufferLength;
        giveBack(d, header, bytes + sent, n);
        sent += n;
    }
    InterlockedIncrement(&d.stats.sysexDelivered);
}

DWORD WINAPI deliveryThread(LPVOID) {
    for (;;) {
        WaitForSingleObject(queued, INFINITE);
        for (;;) {
            EnterCriticalSection(&lock);
            if (queueHead == queueTail) {
                InterlockedExchange(&busy, 0);
                LeaveCriticalSection(&lock);
                break;
            }
            InterlockedExchange(&busy, 1);
            Queued item = queue[queueHead];
            queueHead = (queueHead + 1) % kQueueSize;
            Device& d = devices[item.device];
            if (item.kind == kSysex || item.kind == kGiveBack) {
                LeaveCriticalSection(&lock);
                if (item.kind == kSysex) {
                    deliverSysex(d, item.sysex, item.length);
                    HeapFree(GetProcessHeap(), 0, item.sysex);
                }
                while (item.kind == kGiveBack) {
                    MIDIHDR* header = takeLent(d, true);
                    if (header == nullptr) break;
                    giveBack(d, header, nullptr, 0);
                }
                continue;
            }
            if (item.kind == kLate) {
                // As Wine does with data queued before a close: the closed
                // port's callback is called once more after midiInClose returned.
                MIDIOPENDESC desc = d.lateDesc;
                DWORD flags = d.lateFlags;
                LeaveCriticalSection(&lock);
                DriverCallback(desc.dwCallback, flags, reinterpret_cast<HDRVR>(desc.hMidi), MIM_DATA, desc.dwInstance,
                               item.message, GetTickCount());
                InterlockedIncrement(&d.delivered);
                continue;
            }
            bool deliver = d.open && d.started && !d.away && !d.stale;
            if (deliver) InterlockedIncrement(&d.inCallback);
            LeaveCriticalSection(&lock);
            if (deliver) {
                LARGE_INTEGER now;
                QueryPerformanceCounter(&now);
                lastDeliveryQpc = now.QuadPart;
                callBack(d, MIM_DATA, item.message, GetTickCount());
                InterlockedIncrement(&d.delivered);
                InterlockedDecrement(&d.inCallback);
            }
        }
    }
}

// The benchmark's baseline: a thread waiting on an event, as the dispatch
// worker waits on its own.
volatile LONG stopBenchWaiter = 0;
// Controller 7 = 0 on channel 5, which no rule takes.
const DWORD kBenchMessage = 0x0007B4;
DWORD WINAPI benchWaiter(LPVOID event) {
    while (InterlockedCompareExchange(&stopBenchWaiter, 0, 0) == 0) WaitForSingleObject(static_cast<HANDLE>(event), 100);
    return 0;
}

bool enqueue(const Queued& item) {
    EnterCriticalSection(&lock);
    UINT next = (queueTail + 1) % kQueueSize;
    bool room = next != queueHead;
    if (room) {
        queue[queueTail] = item;
        queueTail = next;
        InterlockedExchange(&busy, 1);
    }
    LeaveCriticalSection(&lock);
    if (room) SetEvent(queued);
    return room;
}

DWORD result(UINT device, Call call) {
    return device < deviceCount ? devices[device].results[call] : MMSYSERR_BADDEVICEID;
}

}  // namespace

extern "C" {

// ---- The driver, as winmm calls it -------------------------------------------

LRESULT CALLBACK DriverProc(DWORD_PTR, HDRVR hDriver, UINT message, LPARAM p1, LPARAM p2) {
    switch (message) {
        case DRV_LOAD: setUp(); return 1;
        case DRV_FREE:
        case DRV_OPEN:
        case DRV_CLOSE:
        case DRV_ENABLE:
        case DRV_DISABLE:
        case DRV_INSTALL:
        case DRV_REMOVE: return 1;
        case DRV_QUERYCONFIGURE: return 0;
        default: return DefDriverProc(0, hDriver, message, p1, p2);
    }
}

DWORD WINAPI midMessage(UINT id, UINT message, DWORD_PTR, DWORD_PTR p1, DWORD_PTR p2) {
    setUp();
    switch (message) {
        case DRVM_INIT:
        case DRVM_EXIT:
        case DRVM_ENABLE:
        case DRVM_DISABLE: return MMSYSERR_NOERROR;
        case MIDM_GETNUMDEVS: return deviceCount;
        case MIDM_GETDEVCAPS: {
            if (id >= deviceCount) return MMSYSERR_BADDEVICEID;
            if (devices[id].away) return MMSYSERR_NODRIVER;
            if (devices[id].results[kCaps] != 0) return devices[id].results[kCaps];
            MIDIINCAPSW caps;
            ZeroMemory(&caps, sizeof caps);
            caps.wMid = 0xFF;
            caps.wPid = static_cast<WORD>(id);
            caps.vDriverVersion = 0x0100;
            MultiByteToWideChar(CP_ACP, 0, devices[id].name, -1, caps.szPname, MAXPNAMELEN);
            caps.szPname[MAXPNAMELEN - 1] = 0;
            memcpy(reinterpret_cast<void*>(p1), &caps, p2 < sizeof caps ? p2 : sizeof caps);
            return MMSYSERR_NOERROR;
        }
        case MIDM_OPEN: {
            if (id >= deviceCount) return MMSYSERR_BADDEVICEID;
            EnterCriticalSection(&lock);
            Device& d = devices[id];
            DWORD code = d.away ? MMSYSERR_NODRIVER : d.results[kOpen];
            if (code == 0 && d.open) code = MMSYSERR_ALLOCATED;
            if (code == 0) {
                d.desc = *reinterpret_cast<MIDIOPENDESC*>(p1);
                d.callbackFlags = HIWORD(static_cast<DWORD>(p2) & CALLBACK_TYPEMASK);
                d.open = true;
                d.started = false;
                d.closing = false;
                d.stale = false;
            }
            LeaveCriticalSection(&lock);
            if (code == 0) callBack(d, MIM_OPEN, 0, 0);
            return code;
        }
        case MIDM_START:
        case MIDM_STOP:
        case MIDM_RESET: {
            if (id >= deviceCount) return MMSYSERR_BADDEVICEID;
            DWORD code = result(id, message == MIDM_START ? kStart : message == MIDM_STOP ? kStop : kReset);
            EnterCriticalSection(&lock);
            Device& d = devices[id];
            // A close begins with a stop, even one that fails.
            d.closing = message != MIDM_START;
            if (code == 0) d.started = message == MIDM_START;
            bool giveBack = message == MIDM_RESET && !d.keepsBuffers && code == 0;
            LeaveCriticalSection(&lock);
            if (giveBack) enqueue(Queued{id, 0, kGiveBack, nullptr, 0});
            return code;
        }
        case MIDM_PREPARE: reinterpret_cast<MIDIHDR*>(p1)->dwFlags = MHDR_PREPARED; return MMSYSERR_NOERROR;
        case DRV_QUERYDEVICEINTERFACESIZE:
        case DRV_QUERYDEVICEINTERFACE:
            if (id >= deviceCount) return MMSYSERR_BADDEVICEID;
            return interfaceAnswer(devices[id].interfacePath, message, p1, p2);
        case MIDM_UNPREPARE:
        case MIDM_ADDBUFFER: {
            if (id >= deviceCount) return MMSYSERR_BADDEVICEID;
            MIDIHDR* header = reinterpret_cast<MIDIHDR*>(p1);
            Device& d = devices[id];
            EnterCriticalSection(&lock);
            DWORD code = 0;
            if ((header->dwFlags & MHDR_INQUEUE) != 0) {  // the driver holds it
                code = MIDIERR_STILLPLAYING;
                if (message == MIDM_UNPREPARE) InterlockedIncrement(&d.stats.unpreparesRefused);
            } else if (message == MIDM_UNPREPARE) {
                header->dwFlags = 0;
            } else if ((header->dwFlags & MHDR_PREPARED) == 0 || d.lentCount == kMaxLent) {
                code = (header->dwFlags & MHDR_PREPARED) == 0 ? MIDIERR_UNPREPARED : MMSYSERR_NOMEM;
            } else {
                if (d.closing) InterlockedIncrement(&d.stats.addsWhileClosing);
                header->dwFlags = MHDR_PREPARED | MHDR_INQUEUE;
                d.lent[d.lentCount++] = header;
            }
            LeaveCriticalSection(&lock);
            return code;
        }
        case MIDM_CLOSE: {
            if (id >= deviceCount) return MMSYSERR_BADDEVICEID;
            DWORD code = result(id, kClose);
            if (code != 0) return code;
            EnterCriticalSection(&lock);
            Device& d = devices[id];
            if (d.lentCount != 0) {
                InterlockedIncrement(&d.stats.closesRefused);
                LeaveCriticalSection(&lock);
                return MIDIERR_STILLPLAYING;
            }
            d.open = false;
            d.started = false;
            bool late = d.lateMessage != 0;
            if (late) {
                d.lateDesc = d.desc;
                d.lateFlags = d.callbackFlags;
            }
            LeaveCriticalSection(&lock);
            // Finish a callback in progress before the handle goes away.
            while (InterlockedCompareExchange(&d.inCallback, 0, 0) != 0) Sleep(0);
            callBack(d, MIM_CLOSE, 0, 0);
            if (late) enqueue(Queued{id, d.lateMessage, kLate, nullptr, 0});
            return MMSYSERR_NOERROR;
        }
        default: return MMSYSERR_NOTSUPPORTED;
    }
}

// Wine's audio device layer loads the same driver: it offers no endpoints.
int WINAPI GetPriority() { return 3; }
HRESULT WINAPI GetEndpointIDs(int, WCHAR*** ids, GUID** guids, UINT* count, UINT* def) {
    if (ids) *ids = nullptr;
    if (guids) *guids = nullptr;
    if (count) *count = 0;
    if (def) *def = 0;
    return S_OK;
}
HRESULT WINAPI GetAudioEndpoint(void*, void*, void**) { return E_NOTIMPL; }
HRESULT WINAPI GetAudioSessionManager(void*, void**) { return E_NOTIMPL; }

// ---- Control, as the tests call it -------------------------------------------

// Queues a short message for the device; false when the queue is full.
BOOL fakeMidiSend(UINT device, DWORD message) {
    setUp();
    if (device >= deviceCount) return FALSE;
    return enqueue(Queued{device, message, kShort, nullptr, 0});
}

// Queues a system-exclusive message (F0 ... F7) for the device, behind the
// short messages queued before it; false when the queue is full.
BOOL fakeMidiSendSysex(UINT device, const BYTE* bytes, UINT length) {
    setUp();
    if (device >= deviceCount || length == 0) return FALSE;
    BYTE* copy = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, length));
    if (copy == nullptr) return FALSE;
    memcpy(copy, bytes, length);
    if (enqueue(Queued{device, 0, kSysex, copy, length})) return TRUE;
    HeapFree(GetProcessHeap(), 0, copy);
    return FALSE;
}

// The fault: from now on a reset gives none of the device's buffers back, so
// that a close is refused while they are lent.
void fakeMidiSetKeepsBuffers(UINT device, BOOL keeps) {
    setUp();
    if (device < kMaxDevices) devices[device].keepsBuffers = keeps != FALSE;
}

BOOL fakeMidiBufferStats(UINT device, FakeMidiBufferStats* stats) {
    setUp();
    if (device >= deviceCount) return FALSE;
    EnterCriticalSection(&lock);
    *stats = devices[device].stats;
    stats->lent = static_cast<LONG>(devices[device].lentCount);
    LeaveCriticalSection(&lock);
    return TRUE;
}

// From now on, closing the device's port delivers message to it once more,
// just after the close returned; 0 turns that off.
void fakeMidiSetLateDelivery(UINT device, DWORD message) {
    setUp();
    if (device < kMaxDevices) devices[device].lateMessage = message;
}

// Calls the device's open callback directly `iterations` times with a
// controller no rule takes (system messages never reach the worker), and SetEvent as often on an event of its own, and
// reports both in nanoseconds per call: the cost of the data handler against
// the one system call it must make.
//
// With spacingMs > 0 the calls come that far apart, each timed alone, so that
// every one of them wakes the waiting thread.
BOOL fakeMidiBenchHandler(UINT device, UINT iterations, UINT spacingMs, double* handlerNs,
                                                double* setEventNs) {
    setUp();
    if (device >= deviceCount || !devices[device].open) return FALSE;
    Device& d = devices[device];
    LPDRVCALLBACK handler = reinterpret_cast<LPDRVCALLBACK>(d.desc.dwCallback);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    // The baseline's event has a waiting thread too, as the handler's has the
    // dispatch worker.
    InterlockedExchange(&stopBenchWaiter, 0);
    HANDLE waiter = CreateThread(nullptr, 0, benchWaiter, event, 0, nullptr);
    Sleep(20);
    LARGE_INTEGER frequency, a, b;
    QueryPerformanceFrequency(&frequency);
    LONGLONG handlerTicks = 0, setEventTicks = 0;
    if (spacingMs == 0) {
        QueryPerformanceCounter(&a);
        for (UINT i = 0; i < iterations; ++i) {
            handler(reinterpret_cast<HDRVR>(d.desc.hMidi), MIM_DATA, d.desc.dwInstance, kBenchMessage, 0);
        }
        QueryPerformanceCounter(&b);
        handlerTicks = b.QuadPart - a.QuadPart;
        QueryPerformanceCounter(&a);
        for (UINT i = 0; i < iterations; ++i) SetEvent(event);
        QueryPerformanceCounter(&b);
        setEventTicks = b.QuadPart - a.QuadPart;
    } else {
        for (UINT i = 0; i < iterations; ++i) {
            Sleep(spacingMs);
            QueryPerformanceCounter(&a);
            handler(reinterpret_cast<HDRVR>(d.desc.hMidi), MIM_DATA, d.desc.dwInstance, kBenchMessage, 0);
            QueryPerformanceCounter(&b);
            handlerTicks += b.QuadPart - a.QuadPart;
            Sleep(spacingMs);
            QueryPerformanceCounter(&a);
            SetEvent(event);
            QueryPerformanceCounter(&b);
            setEventTicks += b.QuadPart - a.QuadPart;
        }
    }
    InterlockedExchange(&stopBenchWaiter, 1);
    WaitForSingleObject(waiter, 1000);
    CloseHandle(waiter);
    CloseHandle(event);
    double scale = 1e9 / static_cast<double>(frequency.QuadPart) / iterations;
    *handlerNs = static_cast<double>(handlerTicks) * scale;
    *setEventNs = static_cast<double>(setEventTicks) * scale;
    return TRUE;
}

// The performance-counter time at which the last message was handed to a
// callback.
LONGLONG fakeMidiLastDeliveryQpc() { return lastDeliveryQpc; }

// Waits until every queued message has been delivered; false on time-out.
BOOL fakeMidiWaitIdle(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (InterlockedCompareExchange(&busy, 0, 0) != 0) {
        if (GetTickCount() - start > timeoutMs) return FALSE;
        Sleep(1);
    }
    return TRUE;
}

// call: 0 open, 1 start, 2 stop, 3 close, 4 capabilities, 5 reset (a failed
// one gives no buffer back); code 0 succeeds.
void fakeMidiSetResult(UINT device, UINT call, DWORD code) {
    setUp();
    if (device < kMaxDevices && call < kCallCount) devices[device].results[call] = code;
}

void fakeMidiSetName(UINT device, const char* name) {
    setUp();
    if (device < kMaxDevices) lstrcpynA(devices[device].name, name, sizeof devices[device].name);
}

// Unplugs the device (away) or plugs it back in. winmm counts the devices
// once per process, so one that is away keeps its number, but has no name,
// cannot be opened and delivers nothing; a port open on it stays open, and,
// as a handle of a device that left, hears nothing even once it is back at
// the same number and name, until it is closed and opened again.
void fakeMidiSetAway(UINT device, BOOL away) {
    setUp();
    if (device >= kMaxDevices) return;
    EnterCriticalSection(&lock);
    devices[device].away = away != FALSE;
    if (away != FALSE && devices[device].open) devices[device].stale = true;
    LeaveCriticalSection(&lock);
}

UINT fakeMidiOpenCount() {
    setUp();
    UINT count = 0;
    EnterCriticalSection(&lock);
    for (UINT i = 0; i < deviceCount; ++i) count += devices[i].open ? 1 : 0;
    LeaveCriticalSection(&lock);
    return count;
}

// The input's device interface path from now on; null or empty: the queries
// are not answered.
void fakeMidiSetInterfacePath(UINT device, const char* path) {
    setUp();
    if (device < kMaxDevices) setPath(devices[device].interfacePath, path);
}

BOOL fakeMidiIsOpen(UINT device) {
    setUp();
    return device < deviceCount && devices[device].open;
}

LONG fakeMidiDelivered(UINT device) {
    setUp();
    return device < kMaxDevices ? InterlockedCompareExchange(&devices[device].delivered, 0, 0) : 0;
}

}  // extern "C"

// ---- Outputs ----------------------------------------------------------------------------

namespace {

const UINT kMaxOutputs = 8;
const UINT kOutputLog = 4096;

struct Output {
    bool open;
    bool away;  // unplugged: no name, no opening; an open port stays open and hears nothing
    bool holdsSysex;  // the fault: takes system-exclusive messages and never finishes them
    char name[64];
    DWORD messages[kOutputLog];  // received since the last read
    LONGLONG times[kOutputLog];  // the performance counter at each
    UINT received;
    WCHAR interfacePath[kPathCapacity];
    BYTE identityReply[64];  // sent on input replyInput for each Device Inquiry; none when 0 bytes
    UINT replyLength;
    UINT replyInput;
    LONG inquiries;
};

Output outputs[kMaxOutputs];
UINT outputCount = 0;
bool outputsReady = false;

void setUpOutputs() {
    setUp();
    EnterCriticalSection(&lock);
    if (!outputsReady) {
        const char* count = getenv("FAKEMIDI_OUTPUTS");
        outputCount = count != nullptr ? static_cast<UINT>(atoi(count)) : 2;
        if (outputCount > kMaxOutputs) outputCount = kMaxOutputs;
        for (UINT i = 0; i < kMaxOutputs; ++i) snprintf(outputs[i].name, sizeof outputs[i].name, "Test MIDI Out %u", i);
        outputsReady = true;
    }
    LeaveCriticalSection(&lock);
}

}  // namespace

extern "C" {

DWORD WINAPI modMessage(UINT id, UINT message, DWORD_PTR, DWORD_PTR p1, DWORD_PTR p2) {
    setUpOutputs();
    switch (message) {
        case DRVM_INIT:
        case DRVM_EXIT:
        case DRVM_ENABLE:
        case DRVM_DISABLE: return MMSYSERR_NOERROR;
        case MODM_GETNUMDEVS: return outputCount;
        case MODM_GETDEVCAPS: {
            if (id >= outputCount) return MMSYSERR_BADDEVICEID;
            if (outputs[id].away) return MMSYSERR_NODRIVER;
            MIDIOUTCAPSW caps;
            ZeroMemory(&caps, sizeof caps);
            caps.wMid = 0xFF;
            caps.wPid = static_cast<WORD>(0x80 + id);
            caps.vDriverVersion = 0x0100;
            caps.wTechnology = MOD_MIDIPORT;
            caps.wChannelMask = 0xFFFF;
            MultiByteToWideChar(CP_ACP, 0, outputs[id].name, -1, caps.szPname, MAXPNAMELEN);
            caps.szPname[MAXPNAMELEN - 1] = 0;
            memcpy(reinterpret_cast<void*>(p1), &caps, p2 < sizeof caps ? p2 : sizeof caps);
            return MMSYSERR_NOERROR;
        }
        case MODM_OPEN:
        case MODM_CLOSE: {
            if (id >= outputCount) return MMSYSERR_BADDEVICEID;
            EnterCriticalSection(&lock);
            Output& o = outputs[id];
            DWORD code = MMSYSERR_NOERROR;
            if (message == MODM_OPEN) {
                code = o.away ? MMSYSERR_NODRIVER : o.open ? MMSYSERR_ALLOCATED : MMSYSERR_NOERROR;
                if (code == MMSYSERR_NOERROR) o.open = true;
            } else {
                o.open = false;
            }
            LeaveCriticalSection(&lock);
            return code;
        }
        case MODM_DATA: {
            if (id >= outputCount) return MMSYSERR_BADDEVICEID;
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            EnterCriticalSection(&lock);
            Output& o = outputs[id];
            if (o.open && !o.away && o.received < kOutputLog) {
                o.messages[o.received] = static_cast<DWORD>(p1);
                o.times[o.received++] = now.QuadPart;
            }
            LeaveCriticalSection(&lock);
            return MMSYSERR_NOERROR;
        }
        // A system-exclusive message: prepared and given back at once, and
        // logged as 0xF0 with its length << 8.
        case MODM_PREPARE:
        case MODM_UNPREPARE: {
            MIDIHDR* header = reinterpret_cast<MIDIHDR*>(p1);
            if (message == MODM_UNPREPARE && (header->dwFlags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
            if (message == MODM_PREPARE) {
                header->dwFlags |= MHDR_PREPARED;
            } else {
                header->dwFlags &= ~static_cast<DWORD>(MHDR_PREPARED);
            }
            return MMSYSERR_NOERROR;
        }
        case MODM_LONGDATA: {
            if (id >= outputCount) return MMSYSERR_BADDEVICEID;
            MIDIHDR* header = reinterpret_cast<MIDIHDR*>(p1);
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            EnterCriticalSection(&lock);
            Output& o = outputs[id];
            if (o.open && !o.away && o.received < kOutputLog) {
                o.messages[o.received] = 0xF0u | (header->dwBufferLength << 8);
                o.times[o.received++] = now.QuadPart;
            }
            const BYTE* bytes = reinterpret_cast<const BYTE*>(header->lpData);
            static const BYTE inquiry[6] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
            bool asked = header->dwBufferLength == 6 && memcmp(bytes, inquiry, 2) == 0 &&
                         memcmp(bytes + 3, inquiry + 3, 3) == 0;
            if (asked) InterlockedIncrement(&o.inquiries);
            BYTE reply[sizeof o.identityReply];
            UINT replyLength = asked && o.open && !o.away ? o.replyLength : 0, replyInput = o.replyInput;
            memcpy(reply, o.identityReply, sizeof reply);
            bool holds = o.holdsSysex;
            LeaveCriticalSection(&lock);
            // A stuck output keeps it, neither done nor given back on a reset.
            header->dwFlags |= holds ? MHDR_INQUEUE : MHDR_DONE;
            if (replyLength != 0 && !holds) fakeMidiSendSysex(replyInput, reply, replyLength);
            return MMSYSERR_NOERROR;
        }
        case MODM_RESET: return MMSYSERR_NOERROR;
        case DRV_QUERYDEVICEINTERFACESIZE:
        case DRV_QUERYDEVICEINTERFACE:
            if (id >= outputCount) return MMSYSERR_BADDEVICEID;
            return interfaceAnswer(outputs[id].interfacePath, message, p1, p2);
        default: return MMSYSERR_NOTSUPPORTED;
    }
}

// The messages the output received since the last call (at most max), with
// the performance counter at each unless times is null; how many.
UINT fakeMidiOutReceived(UINT device, DWORD* messages, LONGLONG* times, UINT max) {
    setUpOutputs();
    if (device >= kMaxOutputs) return 0;
    EnterCriticalSection(&lock);
    Output& o = outputs[device];
    UINT count = o.received < max ? o.received : max;
    for (UINT i = 0; i < count; ++i) {
        messages[i] = o.messages[i];
        if (times != nullptr) times[i] = o.times[i];
    }
    o.received = 0;
    LeaveCriticalSection(&lock);
    return count;
}

// Names the output as a device of that make would be named, as fakeMidiSetName does an input.
void fakeMidiOutSetName(UINT device, const char* name) {
    setUpOutputs();
    if (device >= kMaxOutputs) return;
    EnterCriticalSection(&lock);
    lstrcpynA(outputs[device].name, name, sizeof outputs[device].name);
    LeaveCriticalSection(&lock);
}

// Unplugs the output (away) or plugs it back in, as fakeMidiSetAway does an input.
void fakeMidiOutSetAway(UINT device, BOOL away) {
    setUpOutputs();
    if (device >= kMaxOutputs) return;
    EnterCriticalSection(&lock);
    outputs[device].away = away != FALSE;
    LeaveCriticalSection(&lock);
}

// The output's device interface path from now on, as fakeMidiSetInterfacePath.
void fakeMidiOutSetInterfacePath(UINT device, const char* path) {
    setUpOutputs();
    if (device < kMaxOutputs) setPath(outputs[device].interfacePath, path);
}

// From now on each Device Inquiry (F0 7E dd 06 01 F7) sent on the output is
// answered with reply on the input; length 0: not answered.
void fakeMidiOutSetIdentityReply(UINT device, UINT input, const BYTE* reply, UINT length) {
    setUpOutputs();
    if (device >= kMaxOutputs || length > sizeof outputs[device].identityReply) return;
    EnterCriticalSection(&lock);
    memcpy(outputs[device].identityReply, reply, length);
    outputs[device].replyLength = length;
    outputs[device].replyInput = input;
    LeaveCriticalSection(&lock);
}

// The Device Inquiries the output received so far.
LONG fakeMidiOutInquiries(UINT device) {
    setUpOutputs();
    return device < kMaxOutputs ? InterlockedCompareExchange(&outputs[device].inquiries, 0, 0) : 0;
}

// The fault: from now on the output takes system-exclusive messages and
// never reports them done, not even on a reset.
void fakeMidiOutSetHoldsSysex(UINT device, BOOL holds) {
    setUpOutputs();
    if (device < kMaxOutputs) outputs[device].holdsSysex = holds != FALSE;
}

BOOL fakeMidiOutIsOpen(UINT device) {
    setUpOutputs();
    return device < outputCount && outputs[device].open;
}

}  // extern "C"
