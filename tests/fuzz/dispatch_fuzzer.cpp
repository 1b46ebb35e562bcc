// dispatch_fuzzer.cpp -- libFuzzer target over the 50 ms window and the rules.
//
// Input: byte 0 picks the configured channel (in range or not), byte 1 the
// player's answer to the play-state request, bytes 2-5 the starting tick;
// then records of 7 bytes: the 32-bit message, a 16-bit tick step (the tick
// wraps), and a byte whose low bit changes the channel to the one its other
// bits pick. After every message it checks:
//   - the window passes the message exactly when 50 ms or more have passed
//     since the last accepted one, by a clock of its own that never wraps;
//   - nothing is sent for a message the window drops;
//   - at most 4 sends per accepted message;
//   - only the listed commands and requests are sent;
//   - the volume argument stays within 0..254.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/host.h"
#include "core/plugin.h"
#include "midi/dispatch.h"
#include "midi/window.h"
#include "tests/fake/fake_platform.h"

namespace {

const int32_t kChannels[] = {0, 1, 9, 14, 15, -1, -2, 16, 17, 127, 255, -16, INT32_MIN, INT32_MAX};
const size_t kChannelCount = sizeof kChannels / sizeof kChannels[0];

uint32_t read32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

[[noreturn]] void fail(const char* what, uint32_t message, const fake::Send& send) {
    fprintf(stderr, "invariant broken: %s (message 0x%08X, send 0x%X %lu %ld)\n", what, message, send.message,
            static_cast<unsigned long>(send.wParam), static_cast<long>(send.lParam));
    abort();
}

bool isListedCommand(uintptr_t id) {
    switch (id) {
        case CmdRepeat: case CmdShuffle: case CmdOpen: case CmdEqualizer: case CmdPlaylist: case CmdPrevious:
        case CmdPlay: case CmdPause: case CmdStop: case CmdNext: case CmdVolumeUp: case CmdVolumeDown:
        case CmdForward5s: case CmdRewind5s: return true;
        default: return false;
    }
}

void checkSend(const fake::Send& s, uint32_t message) {
    if (s.message == kHostCommandMessage) {
        if (!isListedCommand(s.wParam) || s.lParam != 0) fail("unlisted command", message, s);
    } else if (s.message == kHostRequestMessage) {
        if (s.lParam == static_cast<intptr_t>(ReqPlayState)) {
            if (s.wParam != 0) fail("play-state request with an argument", message, s);
        } else if (s.lParam == static_cast<intptr_t>(ReqSetVolume)) {
            if (s.wParam > 254) fail("volume beyond 254", message, s);
        } else {
            fail("unlisted request", message, s);
        }
    } else {
        fail("unlisted window message", message, s);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    fake::reset();
    resetPluginState();
    pluginRecord.hostWindow = reinterpret_cast<WindowRef>(1);
    pluginSettings.midiChannel.store(kChannels[data[0] % kChannelCount]);
    fake::setPlayState(data[1] % 4 == 0 ? 1 : static_cast<intptr_t>(data[1]) - 128);
    // The window's model keeps its own time: a 64-bit clock in milliseconds
    // that never wraps, of which the 32-bit tick the plug-in reads is the low
    // half. So a wrong policy at the tick's wrap shows as a difference.
    uint64_t clock = read32(data + 2);
    // At start the worker counts a message as accepted at tick 0: in the
    // model, the latest moment the tick read 0, until a message is accepted.
    bool anyAccepted = false;
    uint64_t lastAccepted = 0;
    for (size_t at = 6; at + 7 <= size; at += 7) {
        uint32_t message = read32(data + at);
        clock += static_cast<uint64_t>(data[at + 4] | (data[at + 5] << 8));
        uint32_t tick = static_cast<uint32_t>(clock);
        if (!anyAccepted) lastAccepted = clock & ~static_cast<uint64_t>(0xFFFFFFFFu);
        uint8_t flags = data[at + 6];
        if (flags & 1) pluginSettings.midiChannel.store(kChannels[(flags >> 1) % kChannelCount]);

        fake::clearSends();
        bool passed = dispatchMessage(message, tick);
        std::vector<fake::Send> sent = fake::sends();

        uint64_t elapsed = clock - lastAccepted;
        bool accepted = elapsed >= kAcceptWindowMs;
        if (accepted) {
            lastAccepted = clock;
            anyAccepted = true;
        }
        if (passed != accepted) {
            fprintf(stderr, "invariant broken: the window %s a message %llu ms after the last accepted one\n",
                    passed ? "passed" : "dropped", static_cast<unsigned long long>(elapsed));
            abort();
        }
        if (!accepted && !sent.empty()) fail("a send for a dropped message", message, sent[0]);
        if (sent.size() > 4) fail("more than 4 sends", message, sent[4]);
        for (const fake::Send& s : sent) checkSend(s, message);
    }
    return 0;
}
