// transport_test.cpp -- Machine Control transport commands; MIDI real-time,
// Mackie Control and HUI transport buttons with no setup; and the buffers
// the main port is lent for system-exclusive messages: lent before the port
// starts, lent again after each message, all back before every close.
#include <string>
#include <vector>

#include "core/host.h"
#include "core/main_port.h"
#include "midi/dispatch.h"
#include "midi/mailbox.h"
#include "midi/outcome.h"
#include "midi/sysex_buffers.h"
#include "midi/transport.h"
#include "ui/dialogs.h"
#include "ui/resource.h"
#include "tests/unit/test_support.h"

using fake::command;
using fake::request;
using fake::Send;

namespace {

typedef std::vector<uint8_t> Bytes;
typedef std::vector<std::string> Calls;

Bytes mmc(uint8_t device, uint8_t command) { return {0xF0, 0x7F, device, 0x06, command, 0xF7}; }
Bytes locate(uint8_t hours, uint8_t minutes, uint8_t seconds, uint8_t frames) {
    return {0xF0, 0x7F, 0x7F, 0x06, 0x44, 0x06, 0x01, hours, minutes, seconds, frames, 0x40, 0xF7};
}
// A manufacturer's message of `length` bytes.
Bytes vendor(size_t length) {
    Bytes m(length, 0x11);
    m.front() = 0xF0;
    m.back() = 0xF7;
    return m;
}

Calls times(const std::string& call, size_t count) { return Calls(count, call); }
Calls operator+(Calls a, const Calls& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// Opening the main port on device 0, and closing it.
Calls lendAll() {
    Calls calls;
    for (uint32_t i = 0; i < kSysexBufferCount; ++i) calls = calls + Calls{"prepare 0", "add 0"};
    return calls;
}
const Calls kOpenMain = Calls{"open 0"} + lendAll() + Calls{"start 0"};
const Calls kCloseMain =
    Calls{"stop 0", "reset 0"} + times("unprepare 0", kSysexBufferCount) + Calls{"close 0"};

class TransportTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        fake::setDevices({{"Keys"}});
        pluginSettings.midiDevice = 0;
        ASSERT_TRUE(openMainPort(0));
        messageMailbox.wakeEvent.store(platformCreateEvent());
    }
    // The worker's turn after the driver gave buffers back.
    static std::vector<Send> afterWorker() {
        dispatchLongData();
        std::vector<Send> got = fake::sends();
        fake::clearSends();
        return got;
    }
};

// Every message given back in the buffers, each `after` ms after the one
// before it: what the player receives, and what the line then says (null: no
// news). A step without pieces is a key (E4) instead.
TEST_F(TransportTest, EachSystemExclusiveMessageActsOrSaysWhyNot) {
    const Send play = command(CmdPlay), pause = command(CmdPause), state = request(ReqPlayState, 0);
    const Send length = request(ReqPosition, 1);
    fake::setAnswer(ReqPosition, 7200, 1);
    const struct {
        std::vector<Bytes> pieces;
        uint32_t after;
        intptr_t playState;
        std::vector<Send> sends;
        const char* line;
    } steps[] = {
        // The commands, from any device number.
        {{mmc(0x7F, 0x01)}, 100, 0, {command(CmdStop)}, "MMC Stop: Stop (transport)"},
        {{mmc(0x00, 0x02)}, 100, 0, {state, play}, "MMC Play: Play (transport)"},
        {{mmc(0x10, 0x02)}, 100, 3, {state, pause}, "MMC Play: Resume (transport)"},
        {{mmc(0x7F, 0x03)}, 100, 0, {state, play}, "MMC Deferred Play: Play (transport)"},
        {{mmc(0x05, 0x09)}, 100, 1, {state, pause}, "MMC Pause: Pause (transport)"},
        // A command that does nothing in the player's state costs no key press.
        {{mmc(0x05, 0x09)}, 100, 3, {state}, "MMC Pause: nothing: the player is not playing"},
        {{}, 10, 0, {pause}, "Note-on 64 (E4), velocity 90, channel 1: Pause (key map)"},
        {{mmc(0x7F, 0x02)}, 100, 1, {state}, "MMC Play: nothing: the player is playing already"},
        {{mmc(0x7F, 0x03)}, 10, 1, {state}, "MMC Deferred Play: nothing: the player is playing already"},
        {{}, 10, 0, {pause}, "Note-on 64 (E4), velocity 90, channel 1: Pause (key map)"},
        {{mmc(0x7F, 0x04)}, 100, 0, {command(CmdForward5s), command(CmdForward5s)},
         "MMC Fast Forward: Forward (transport)"},
        {{mmc(0x7F, 0x05)}, 100, 0, {command(CmdRewind5s), command(CmdRewind5s)}, "MMC Rewind: Rewind (transport)"},
        // Locate: 30 fps in the hours byte's rate bits, 1 h 2 min 3 s and 15
        // frames; then 9 s and 12 frames at 24 fps; kept within the track
        // (two hours long, as the stand-in answers); hours, minutes,
        // seconds or frames out of range name no time.
        {{locate(0x61, 2, 3, 15)}, 100, 0, {length, request(ReqJumpToTime, 3723500)},
         "MMC Locate: Jump to 1:02:03 (transport)"},
        {{locate(0x00, 0, 9, 12)}, 100, 0, {length, request(ReqJumpToTime, 9500)}, "MMC Locate: Jump to 0:09 (transport)"},
        {{locate(0x03, 0, 0, 0)}, 100, 0, {length, request(ReqJumpToTime, 7200000)},
         "MMC Locate: Jump to 3:00:00 (transport)"},
        {{locate(0x18, 0, 0, 0)}, 100, 0, {}, "system exclusive, 13 bytes: nothing: not a transport command"},
        {{locate(0x00, 60, 0, 0)}, 100, 0, {}, nullptr},  // the same words: no news
        {{locate(0x00, 0, 60, 0)}, 100, 0, {}, nullptr},
        {{locate(0x20, 0, 0, 25)}, 100, 0, {}, nullptr},
        {{locate(0x00, 0, 9, 0)}, 100, 0, {length, request(ReqJumpToTime, 9000)}, "MMC Locate: Jump to 0:09 (transport)"},
        // The window: a command within 50 ms does nothing; anything else
        // leaves the window as it is, so a key 55 ms after the Locate acts.
        {{mmc(0x7F, 0x01)}, 20, 0, {}, "MMC Stop: nothing: within 50 ms of the previous message"},
        {{vendor(23)}, 10, 0, {}, "system exclusive, 23 bytes: nothing: not a transport command"},
        {{}, 25, 0, {pause}, "Note-on 64 (E4), velocity 90, channel 1: Pause (key map)"},
        {{mmc(0x7F, 0x01)}, 100, 0, {command(CmdStop)}, "MMC Stop: Stop (transport)"},
        {{}, 30, 0, {}, "Note-on 64 (E4), velocity 90, channel 1: nothing: within 50 ms of the previous message"},
        // What is almost a command: another command, a response, too short,
        // a data byte too long, a Locate with no standard time field.
        {{mmc(0x7F, 0x06)}, 100, 0, {}, "system exclusive, 6 bytes: nothing: not a transport command"},
        {{{0xF0, 0x7F, 0x7F, 0x06, 0xF7}}, 100, 0, {}, "system exclusive, 5 bytes: nothing: not a transport command"},
        {{{0xF0, 0x7F, 0x7F, 0x07, 0x01, 0xF7}}, 100, 0, {}, "system exclusive, 6 bytes: nothing: not a transport command"},
        {{{0xF0, 0x7F, 0x7F, 0x06, 0x44, 0x02, 0x00, 0x01, 0xF7}}, 100, 0, {},
         "system exclusive, 9 bytes: nothing: not a transport command"},
        {{{0xF0, 0x7F, 0x7F, 0x06, 0x81, 0xF7}}, 100, 0, {}, "system exclusive, 6 bytes: nothing: not a transport command"},
        // Longer than a buffer: four pieces, ignored whole; the next message
        // finds every buffer lent again.
        {{vendor(200)}, 100, 0, {}, "system exclusive, 200 bytes: nothing: not a transport command"},
        {{mmc(0x7F, 0x01)}, 100, 0, {command(CmdStop)}, "MMC Stop: Stop (transport)"},
        // Stop's bytes in a universal non-real-time message (an identity request).
        {{{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}}, 100, 0, {}, "system exclusive, 6 bytes: nothing: not a transport command"},
        // A driver that split a command is not trusted with it; a piece whose
        // start never came is nobody's; a start left unfinished is dropped
        // for the next message.
        {{{0xF0, 0x7F, 0x7F}, {0x06, 0x01, 0xF7}}, 100, 0, {}, "system exclusive, 6 bytes: nothing: it arrived in pieces"},
        {{{0x06, 0x01, 0xF7}}, 100, 0, {}, nullptr},
        {{{0xF0, 0x7F, 0x7F}, mmc(0x7F, 0x01)}, 100, 0, {command(CmdStop)}, "MMC Stop: Stop (transport)"},
    };
    LineState seen;
    startLine(&seen);
    uint32_t now = 1000;
    for (const auto& step : steps) {
        now += step.after;
        fake::setTick(now);
        fake::setPlayState(step.playState);
        if (step.pieces.empty()) dispatchMessage(noteOn(0, 64, 90), now);
        for (const Bytes& piece : step.pieces) ASSERT_TRUE(fake::deliverSysex(0, piece)) << step.line;
        EXPECT_EQ(afterWorker(), step.sends) << (step.line ? step.line : "a lone piece");
        char line[200] = "";
        if (step.line == nullptr) {
            EXPECT_FALSE(nextLine(&seen, line, sizeof line));
        } else {
            ASSERT_TRUE(nextLine(&seen, line, sizeof line)) << step.line;
            EXPECT_STREQ(line, step.line);
        }
        EXPECT_EQ(fake::buffersLent(0), kSysexBufferCount) << "every buffer lent again after: " << line;
    }
    EXPECT_TRUE(fake::bufferFaults().empty());
}

// Open, Apply, Autodetect (whose ports take no buffers) and quit: the main
// port has its buffers before it starts, and every close takes all of them
// back before it closes.
TEST_F(TransportTest, TheMainPortsBuffersAreLentBeforeItStartsAndAllBackBeforeEveryClose) {
    fake::setDialogScript(IDD_AUTODETECT, [](fake::WindowRefForTests a) { fake::press(a, kDialogCancel); });
    fake::setDialogScript(IDD_CONFIG, [](fake::WindowRefForTests d) {
        fake::press(d, IDC_APPLY);
        fake::press(d, IDC_AUTODETECT);
        fake::press(d, kDialogCancel);
    });
    pluginRecord.configProc();
    closeMainPortAtQuit();
    EXPECT_EQ(fake::allMidiCalls(), (kOpenMain + kCloseMain + kOpenMain + kCloseMain +
                                     Calls{"open 0", "start 0", "stop 0", "close 0"} + kOpenMain + kCloseMain));
    EXPECT_TRUE(fake::bufferFaults().empty());
    EXPECT_TRUE(fake::messageBoxes().empty());
}

// A message given back just before the close is the close's to take, and
// nothing is lent again. Buffers given back empty while the port is in use
// are lent again, so that the pool keeps its size; a driver that does so over
// and over has them parked for the close instead of keeping the worker busy.
TEST_F(TransportTest, NoBufferIsLentAgainToAPortBeingClosedOrAfterComingBackEmptyOverAndOver) {
    ASSERT_TRUE(fake::deliverSysex(0, mmc(0x7F, 0x01)));
    closeMainPort(nullptr);
    EXPECT_TRUE(afterWorker().empty());
    ASSERT_TRUE(openMainPort(0));
    fake::giveBuffersBackEmpty(0);
    EXPECT_TRUE(afterWorker().empty());
    EXPECT_EQ(fake::buffersLent(0), kSysexBufferCount);
    for (int i = 0; i < 8; ++i) {
        fake::giveBuffersBackEmpty(0);
        afterWorker();
    }
    EXPECT_EQ(fake::buffersLent(0), 0u);
    closeMainPortAtQuit();
    EXPECT_EQ(fake::openPorts(), 0u);
    EXPECT_TRUE(fake::bufferFaults().empty());
}

// A driver that never gives its buffers back: every close waits a bounded
// time, then fails as for a port that will not close. The port is kept for
// quit, its buffers are never lent to another port, and the next port works
// without any.
TEST_F(TransportTest, ADriverThatKeepsItsBuffersCostsEachCloseABoundedWaitAndKeepsThePortForQuit) {
    fake::device(0).keepsBuffers = true;
    uint32_t started = platformTickCount();
    closeMainPort(nullptr);
    EXPECT_EQ(platformTickCount() - started, kSysexReturnTimeoutMs);
    EXPECT_EQ(fake::messageBoxes(), (std::vector<std::string>{"Error Closing MIDI Device"}));
    ASSERT_TRUE(openMainPort(0));
    EXPECT_EQ(fake::openPortsFor(0), 2u);
    EXPECT_EQ(fake::buffersLent(0), kSysexBufferCount);  // the first port's, still
    dispatchMessage(noteOn(0, 64, 90), platformTickCount() + 100);
    EXPECT_EQ(fake::sends(), (std::vector<Send>{command(CmdPause)}));
    started = platformTickCount();
    closeMainPortAtQuit();
    EXPECT_EQ(platformTickCount() - started, kSysexReturnTimeoutMs);
    EXPECT_EQ(fake::openPortsFor(0), 1u);
    EXPECT_TRUE(fake::bufferFaults().empty());
    // Lent to nothing else, not even unprepared: the driver has them.
    EXPECT_EQ(fake::allMidiCalls().back(), "close 0");
}

// ---- Real-time, Mackie Control and HUI ------------------------------------------------------

const intptr_t kStopped = 0, kPlaying = kPlayStatePlaying, kPaused = kPlayStatePaused;

// A message on the port (slot, the protocols it speaks) with the player in a
// state: the line it gives, or "" for no transport message.
struct Heard {
    uint32_t slot, speaks;
    ShortMessage message;
    intptr_t state;
    std::string line;
    int steps = 0;
};

void expectLines(const std::vector<Heard>& rows) {
    for (const Heard& row : rows) {
        TransportEvent event;
        char line[128] = "";
        if (decodeTransport(row.slot, row.speaks, row.message, &event)) {
            uint32_t why = 0;
            uint8_t action = transportInPlayState(event.intent, row.state, &why);
            TransportEvent back = transportEventFromWord(transportEventWord(event));
            transportLine(back, action, why, line, sizeof line);
            EXPECT_EQ(back.steps, row.steps) << std::hex << row.message;
        }
        EXPECT_EQ(std::string(line), row.line) << std::hex << row.message;
    }
}

TEST(TransportButtons, RealTimeStartPlaysFromTheTopContinueResumesStopPausesAndTheClockIsNothing) {
    expectLines({
        {0, 0, 0xFA, kPlaying, "MIDI Start: Play (transport)"},
        {0, 0, 0xFA, kPaused, "MIDI Start: Play (transport)"},
        {0, 0, 0xFB, kPaused, "MIDI Continue: Resume (transport)"},
        {0, 0, 0xFB, kStopped, "MIDI Continue: Play (transport)"},
        {0, 0, 0xFB, kPlaying, "MIDI Continue: nothing: the player is playing already"},
        {0, 0, 0xFC, kPlaying, "MIDI Stop: Pause (transport)"},
        {0, 0, 0xFC, kPaused, "MIDI Stop: nothing: the player is not playing"},
        {0, kSpeaksDaw, 0xF8, kPlaying, ""},
        {0, kSpeaksDaw, 0xFE, kPlaying, ""},
        {0, kSpeaksDaw, 0x0000F2, kPlaying, ""},
    });
}

TEST(TransportButtons, MackieControlButtonsOnChannelOneAndItsJogWheel) {
    const std::string jog = "Mackie Control jog wheel, ";
    expectLines({
        {0, kSpeaksMackie, noteOn(0, 94, 127), kStopped, "Mackie Control Play: Play (transport)"},
        {0, kSpeaksMackie, noteOn(0, 94, 127), kPaused, "Mackie Control Play: Resume (transport)"},
        {0, kSpeaksMackie, noteOn(0, 94, 127), kPlaying, "Mackie Control Play: nothing: the player is playing already"},
        {0, kSpeaksMackie, noteOn(0, 94, 0), kPlaying, "Mackie Control Play, released: nothing: a release"},
        {0, kSpeaksMackie, noteOff(0, 93), kPlaying, "Mackie Control Stop, released: nothing: a release"},
        {0, kSpeaksMackie, noteOn(0, 93, 127), kPlaying, "Mackie Control Stop: Stop (transport)"},
        {0, kSpeaksMackie, noteOn(0, 91, 127), kPlaying, "Mackie Control Rewind: Rewind (transport)"},
        {0, kSpeaksMackie, noteOn(0, 92, 127), kPlaying, "Mackie Control Fast Forward: Forward (transport)"},
        {0, kSpeaksMackie, noteOn(0, 86, 127), kPlaying, "Mackie Control Cycle: Repeat (transport)"},
        {0, kSpeaksMackie, noteOn(0, 46, 127), kPlaying, "Mackie Control Bank Left: Previous (transport)"},
        {0, kSpeaksMackie, noteOn(0, 48, 127), kPlaying, "Mackie Control Channel Left: Previous (transport)"},
        {0, kSpeaksMackie, noteOn(0, 47, 127), kPlaying, "Mackie Control Bank Right: Next (transport)"},
        {0, kSpeaksMackie, noteOn(0, 49, 127), kPlaying, "Mackie Control Channel Right: Next (transport)"},
        {0, kSpeaksMackie, noteOn(0, 95, 127), kPlaying, "Mackie Control Record: nothing: Notewick does not record"},
        {0, kSpeaksMackie, controller(0, 60, 3), kPlaying, jog + "3 steps clockwise: Seek (transport)", 3},
        {0, kSpeaksMackie, controller(0, 60, 65), kPlaying, jog + "1 step counter-clockwise: Seek (transport)", -1},
        {0, kSpeaksMackie, controller(0, 60, 127), kPlaying, jog + "63 steps counter-clockwise: Seek (transport)", -63},
        {0, kSpeaksMackie, controller(0, 60, 64), kPlaying, "Mackie Control jog wheel: nothing: no function here"},
        // Not Mackie Control: another channel, another velocity, another note, a port that does not speak it.
        {0, kSpeaksMackie, noteOn(1, 94, 127), kStopped, ""},
        {0, kSpeaksMackie, noteOn(0, 94, 100), kStopped, ""},
        {0, kSpeaksMackie, noteOn(0, 60, 127), kStopped, ""},
        {0, kSpeaksHui, noteOn(0, 94, 127), kStopped, ""},
    });
}

TEST(TransportButtons, HuiPressesCountInTheTransportZoneAfterThePortsOwnZoneSelect) {
    resetTransportPorts();
    uint32_t first = transportPort(1, 2), second = transportPort(1, 3);
    expectLines({
        {first, kSpeaksHui, controller(0, 0x2F, 0x44), kStopped, ""},  // no zone yet
        {first, kSpeaksHui, controller(0, 0x0F, 0x0E), kStopped, "HUI zone select: nothing: no function here"},
        {first, kSpeaksHui, controller(0, 0x2F, 0x44), kStopped, "HUI Play: Play (transport)"},
        {first, kSpeaksHui, controller(0, 0x2F, 0x04), kPlaying, "HUI Play, released: nothing: a release"},
        {first, kSpeaksHui, controller(0, 0x2F, 0x43), kPlaying, "HUI Stop: Stop (transport)"},
        {first, kSpeaksHui, controller(0, 0x2F, 0x41), kPlaying, "HUI Rewind: Rewind (transport)"},
        {first, kSpeaksHui, controller(0, 0x2F, 0x42), kPlaying, "HUI Fast Forward: Forward (transport)"},
        {first, kSpeaksHui, controller(0, 0x2F, 0x45), kPlaying, "HUI Record: nothing: Notewick does not record"},
        {second, kSpeaksHui, controller(0, 0x2F, 0x43), kPlaying, ""},  // the zone is the port's own
        {first, kSpeaksMackie, controller(0, 0x2F, 0x43), kPlaying, ""},
        {first, kSpeaksHui, controller(0, 0x0F, 0x0F), kPlaying, "HUI zone select: nothing: no function here"},
        {first, kSpeaksHui, controller(0, 0x2F, 0x43), kPlaying, ""},  // another zone
    });
    // The ping goes only to a port that has sent a zone select.
    EXPECT_TRUE(huiPortSeen(first));
    EXPECT_FALSE(huiPortSeen(second));
    forgetHuiPort(first);
    EXPECT_FALSE(huiPortSeen(first));
    EXPECT_EQ(transportSetting("hui"), kSpeaksHui);
    EXPECT_EQ(transportSetting("Mackie"), kSpeaksMackie);
    EXPECT_EQ(transportSetting("MMC"), 0u);
}

}  // namespace
