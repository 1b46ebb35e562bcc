// sysex_buffers.cpp -- the buffers lent for system-exclusive messages, each
// device's own.
//
// Sections: state; lending and collecting (user-interface thread); given
// back (driver thread); reading and lending again (worker).
#include "midi/sysex_buffers.h"

#include <atomic>

#include "platform/platform.h"

// ---- State -------------------------------------------------------------------------------

enum BufferState : uint32_t { kFree, kLent, kReturned, kReading, kParked };

struct SysexBuffer {
    MidiBufferHeader header;  // the system's; the driver gives back its address
    uint8_t data[kSysexBufferSize];
};

// The lending gate: kGateOpen while the worker may lend the device's buffers
// again to gatePort, plus kLender for the worker while it is lending one.
// gatePort changes only while the gate is shut and nobody is inside.
const uint32_t kGateOpen = 1;
const uint32_t kLender = 2;

// How many times in a row a buffer may come back empty while its port is not
// being closed. A driver gives a buffer back empty now and then; lent again
// each time, the pool keeps its size. One that gives it back empty at once,
// over and over, would keep the worker busy lending: after this many in a
// row the buffer is parked for the close.
const uint32_t kMostEmptyReturns = 8;

// One device's buffers. Static, never freed: a driver that keeps a buffer
// keeps valid memory.
struct DeviceBuffers {
    SysexBuffer buffers[kSysexBufferCount];
    // The port each buffer that is not free is prepared for. Written by the
    // user-interface thread while the buffer is free; the worker reads it
    // while it holds the buffer (the state word's hand-overs order the two).
    MidiPortRef port[kSysexBufferCount];
    MidiPortRef gatePort;
    std::atomic<uint32_t> state[kSysexBufferCount];
    // When each buffer came back, by a count of returns: read in that order.
    std::atomic<uint32_t> returnedAt[kSysexBufferCount];
    std::atomic<uint32_t> returns;
    std::atomic<uint32_t> gate;
    // The worker's alone: the bytes so far of a message arriving in pieces
    // (0 while none is), and how many times in a row each buffer came back
    // empty.
    uint32_t piecesLength;
    uint32_t emptyReturns[kSysexBufferCount];
};
static DeviceBuffers devices[kMaxDevices];

// While bounded (quit), when every wait ends.
static bool bounded = false;
static uint32_t boundEnds = 0;

void resetSysexBuffers() {
    for (DeviceBuffers& d : devices) {
        for (uint32_t i = 0; i < kSysexBufferCount; ++i) {
            d.state[i].store(kFree);
            d.returnedAt[i].store(0);
            d.port[i] = nullptr;
            d.emptyReturns[i] = 0;
        }
        d.returns.store(0);
        d.gate.store(0);
        d.gatePort = nullptr;
        d.piecesLength = 0;
    }
    bounded = false;
}

// ---- Lending and collecting (user-interface thread) ---------------------------------

uint32_t lendSysexBuffers(MidiPortRef port, uint32_t device) {
    if (device >= kMaxDevices) return 0;
    DeviceBuffers& d = devices[device];
    uint32_t lent = 0;
    for (uint32_t i = 0; i < kSysexBufferCount; ++i) {
        if (d.state[i].load() != kFree) continue;
        SysexBuffer& buffer = d.buffers[i];
        // A driver that takes no buffers (under Wine 8, winmm's prepare fails
        // when its driver does not prepare) leaves the port without
        // system-exclusive messages; short messages work as ever.
        if (platformMidiInPrepareBuffer(port, &buffer.header, buffer.data, kSysexBufferSize) != 0) break;
        d.port[i] = port;
        d.state[i].store(kLent);
        if (platformMidiInAddBuffer(port, &buffer.header) != 0) {
            d.state[i].store(kFree);
            platformMidiInUnprepareBuffer(port, &buffer.header);
            break;
        }
        ++lent;
    }
    if (lent != 0) {
        d.gatePort = port;
        d.gate.fetch_or(kGateOpen);
    }
    return lent;
}

void boundSysexWaits(uint32_t ms) {
    bounded = ms != 0;
    boundEnds = platformTickCount() + ms;
}

// Waits, a millisecond at a time, until done(port) holds; false when it
// still does not after kSysexReturnTimeoutMs, or once the bound has passed.
static bool waitFor(bool (*done)(MidiPortRef), MidiPortRef port) {
    uint32_t started = platformTickCount();
    uint32_t most = kSysexReturnTimeoutMs;
    if (bounded) {
        int32_t left = static_cast<int32_t>(boundEnds - started);
        most = left <= 0 ? 0 : static_cast<uint32_t>(left) < most ? static_cast<uint32_t>(left) : most;
    }
    while (!done(port)) {
        if (platformTickCount() - started >= most) return false;
        platformSleep(1);
    }
    return true;
}

static bool noLender(MidiPortRef port) {  // cppcheck-suppress constParameter
    for (const DeviceBuffers& d : devices) {
        if (d.gatePort == port && d.gate.load() >= kLender) return false;
    }
    return true;
}

bool stopLendingSysexBuffers(MidiPortRef port) {
    bool some = false;
    for (DeviceBuffers& d : devices) {
        if (d.gatePort == port) d.gate.fetch_and(~kGateOpen);
        for (uint32_t i = 0; i < kSysexBufferCount; ++i) some = some || (d.state[i].load() != kFree && d.port[i] == port);
    }
    // NOTE: the worker tests the gate and counts itself in with one atomic
    // step, before it lends. Once the gate is shut and the count is 0, no
    // lending to the port can start; one under way has ended.
    waitFor(noLender, port);
    return some;
}

// Takes every buffer of the port that is back; true when none is still out.
static bool allCollected(MidiPortRef port) {
    bool all = true;
    for (DeviceBuffers& d : devices) {
        for (uint32_t i = 0; i < kSysexBufferCount; ++i) {
            if (d.port[i] != port) continue;
            uint32_t state = d.state[i].load();
            // The worker may take a returned buffer first; it parks it at once.
            if ((state == kReturned || state == kParked) && d.state[i].compare_exchange_strong(state, kFree)) {
                platformMidiInUnprepareBuffer(port, &d.buffers[i].header);
                continue;
            }
            if (state != kFree) all = false;
        }
    }
    return all;
}

bool collectSysexBuffers(MidiPortRef port) { return waitFor(allCollected, port); }

// ---- Given back (driver thread) --------------------------------------------------------

bool sysexBufferReturned(MidiParam header, uint32_t device) {
    if (device >= kMaxDevices) return false;
    DeviceBuffers& d = devices[device];
    for (uint32_t i = 0; i < kSysexBufferCount; ++i) {
        if (header != reinterpret_cast<MidiParam>(&d.buffers[i].header)) continue;
        d.returnedAt[i].store(d.returns.fetch_add(1));
        // Only a lent buffer comes back: a duplicate, or one from a port
        // closed long ago, is not the worker's to read.
        uint32_t lent = kLent;
        return d.state[i].compare_exchange_strong(lent, kReturned);
    }
    return false;
}

// ---- Reading and lending again (worker) ------------------------------------------------

// The buffer that came back first of those waiting; -1 for none.
static int32_t firstReturned(const DeviceBuffers& d) {
    int32_t first = -1;
    for (uint32_t i = 0; i < kSysexBufferCount; ++i) {
        if (d.state[i].load() != kReturned) continue;
        if (first < 0 || static_cast<int32_t>(d.returnedAt[i].load() - d.returnedAt[first].load()) < 0) {
            first = static_cast<int32_t>(i);
        }
    }
    return first;
}

// Copies the buffer's bytes out, then lends it again, or parks it for the
// close: one whose port is being closed (a reset gives them back empty), or
// that came back empty too many times in a row. Returns the bytes copied.
static uint32_t readAndLendAgain(DeviceBuffers& d, uint32_t i, uint8_t* bytes) {
    SysexBuffer& buffer = d.buffers[i];
    uint32_t length = platformMidiBufferBytes(&buffer.header);
    if (length > kSysexBufferSize) length = kSysexBufferSize;
    for (uint32_t k = 0; k < length; ++k) bytes[k] = buffer.data[k];
    d.emptyReturns[i] = length == 0 ? d.emptyReturns[i] + 1 : 0;
    uint32_t gate = d.gate.fetch_add(kLender);
    bool again = d.emptyReturns[i] <= kMostEmptyReturns && (gate & kGateOpen) != 0 && d.port[i] == d.gatePort;
    if (!again) d.emptyReturns[i] = 0;  // the next lending starts afresh
    d.state[i].store(again ? kLent : kParked);
    // Lent before the call: the driver may give it back before the call returns.
    if (again && platformMidiInAddBuffer(d.port[i], &buffer.header) != 0) d.state[i].store(kParked);
    d.gate.fetch_sub(kLender);
    return length;
}

bool takeSysexMessage(uint8_t* bytes, uint32_t* length, bool* whole, uint32_t device) {
    if (device >= kMaxDevices) return false;
    DeviceBuffers& d = devices[device];
    for (;;) {
        int32_t first = firstReturned(d);
        if (first < 0) return false;
        uint32_t i = static_cast<uint32_t>(first);
        uint32_t returned = kReturned;
        // The closing thread may have taken it meanwhile.
        if (!d.state[i].compare_exchange_strong(returned, kReading)) continue;
        uint32_t n = readAndLendAgain(d, i, bytes);
        if (n == 0) continue;
        // A driver returns a buffer when a message ends (F7) or when it is
        // full: a message longer than a buffer comes in pieces, the first
        // without its F7, the later ones without F0.
        bool starts = bytes[0] == 0xF0, ends = bytes[n - 1] == 0xF7;
        if (starts && ends) {
            d.piecesLength = 0;
            *length = n;
            *whole = true;
            return true;
        }
        if (starts) {
            d.piecesLength = n;
        } else if (d.piecesLength != 0) {
            d.piecesLength += n;
            if (ends) {
                *length = d.piecesLength;
                *whole = false;
                d.piecesLength = 0;
                return true;
            }
        }
        // A piece whose start was never seen is nobody's: skipped.
    }
}
