// gestures_test.cpp -- the shift button, long presses and double presses, as
// timed sequences of messages and the actions they make.
#include <string>
#include <utility>
#include <vector>

#include "core/bindings_section.h"
#include "core/settings.h"
#include "midi/dispatch.h"
#include "midi/gestures.h"
#include "midi/mailbox.h"
#include "midi/outcome.h"
#include "tests/unit/test_support.h"

using fake::command;
using fake::request;
using fake::Send;

namespace {

typedef std::vector<Send> Sends;

class GesturesTest : public PluginTest {};

// The worker's wake-up at `tick`.
void work(uint32_t tick) {
    fake::setTick(tick);
    dispatchWakeUp();
}

TEST_F(GesturesTest, TapsHoldsDoublePressesAndTheShiftLayer) {
    fake::setDevices({{"Pads"}});
    fake::setFile(kIni, "[Notewick Bindings]\r\nNote 40 Channel 10=Shift\r\nNote 36 Channel 10=Play/Pause\r\n"
                        "Note 36 Channel 10 Hold=Stop\r\nNote 37 Channel 10 Double=Next\r\nNote 37 Channel 10=Previous\r\n"
                        "Shift Note 36 Channel 10=Play Entry 1\r\nNote 38 Channel 10=Repeat\r\n"
                        "Controller 7 Channel 1=Volume\r\nShift Controller 7 Channel 1=Balance\r\n"
                        "Encoder 16 Channel 1=Track\r\nShift Controller 16 Channel 1=Volume\r\n"
                        "Controller 20 Channel 1 Hold=Stop\r\nNote 39 Channel 10=Previous\r\n"
                        "Note 39 Channel 10 Hold=Stop\r\nNote 39 Channel 10 Double=Next\r\n");
    loadBindings();
    pluginSettings.midiDevice = 0;
    mainInputPort = openInputPort(0, mainDataHandler, 0);
    messageMailbox.wakeEvent.store(platformCreateEvent());
    fake::setAnswer(ReqPlaylistLength, 5);
    const Sends playPause = {request(ReqPlayState, 0), command(CmdPlay)};
    const Sends entry1 = {request(ReqPlaylistLength, 0), request(ReqSetPlaylistPosition, 0), request(ReqStartPlay, 0)};
    const uint32_t kPad36 = noteOn(9, 36, 100), kPad37 = noteOn(9, 37, 100), kShift = noteOn(9, 40, 100);
    const struct {
        uint32_t tick;
        uint32_t message;  // 0: the worker's turn alone; 1: the port closes
        Sends sends;
        const char* line;  // nullptr: no news
    } steps[] = {
        // A tap acts on its plain line when let go, before the hold time.
        {1000, kPad36, {}, "Note-on 36 (C2), velocity 100, channel 10: waits: held, pressed again, or let go?"},
        {1100, noteOff(9, 36), playPause, "Note-on 36 (C2), velocity 100, channel 10: Play/Pause (binding)"},
        // Held to the hold time, the worker waking for it; let go, nothing more.
        {2000, kPad36, {}, nullptr},
        {2499, 0, {}, nullptr},
        {2500, 0, {command(CmdStop)}, "Note-on 36 (C2), velocity 100, channel 10: Stop (binding, held)"},
        {2600, noteOff(9, 36), {}, nullptr},
        // Just under the hold time is a tap.
        {3000, kPad36, {}, nullptr},
        {3499, noteOn(9, 36, 0), playPause, nullptr},
        // A second press within the double-press time; just outside it, two single presses.
        {4000, kPad37, {}, nullptr},
        {4050, noteOff(9, 37), {}, nullptr},
        {4299, kPad37, {command(CmdNext)}, "Note-on 37 (C#2), velocity 100, channel 10: Next (binding, double press)"},
        {4350, noteOff(9, 37), {}, nullptr},
        {5000, kPad37, {}, nullptr},
        {5050, noteOff(9, 37), {}, nullptr},
        {5300, 0, {command(CmdPrevious)}, "Note-on 37 (C#2), velocity 100, channel 10: Previous (binding)"},
        {5310, kPad37, {}, nullptr},
        {5400, noteOff(9, 37), {}, nullptr},
        {5610, 0, {command(CmdPrevious)}, nullptr},
        // A pad 20 ms after the shift button acts on its Shift line; its Hold
        // line serves the shift layer too. Let go, the shift button is not held.
        {6000, kShift, {}, "Note-on 40 (E2), velocity 100, channel 10: Shift held"},
        {6020, kPad36, {}, nullptr},
        {6100, noteOff(9, 36), entry1, "Note-on 36 (C2), velocity 100, channel 10: Play Entry 1 (binding, with Shift)"},
        {6105, noteOff(9, 40), {}, "Note-off 40 (E2), velocity 64, channel 10: nothing: Shift let go"},
        {6200, kPad36, {}, nullptr},
        {6250, noteOff(9, 36), playPause, nullptr},
        // The shift button held across a window drop: seen inside the window.
        {7000, noteOn(9, 38, 100), {command(CmdRepeat)}, "Note-on 38 (D2), velocity 100, channel 10: Repeat (binding)"},
        {7010, kShift, {}, nullptr},
        {7020, controller(0, 7, 100), {}, "Controller 7 = 100, channel 1: nothing: within 50 ms of the previous message"},
        {7060, controller(0, 7, 90), {request(ReqSetBalance, 52)}, "Controller 7 = 90, channel 1: Balance 52 (binding, "
                                                                    "with Shift)"},
        // A knob's Shift line that binds it as a fader takes it while shifted.
        {7110, controller(0, 16, 100), {request(ReqSetVolume, 200)}, nullptr},
        {7170, noteOff(9, 40), {}, nullptr},
        // A tap let go inside the window acts as soon as the window ends.
        {8000, noteOn(9, 38, 100), {command(CmdRepeat)}, nullptr},
        {8010, kPad36, {}, nullptr},
        {8030, noteOff(9, 36), {}, nullptr},
        {8050, 0, playPause, nullptr},
        // A controller's button: pressed at 64 and up, let go below.
        {8500, controller(0, 20, 127), {}, nullptr},
        {8700, controller(0, 20, 0), {}, "Controller 20 = 127, channel 1: nothing: let go before the hold time (500 "
                                         "ms): its binding waits for a hold"},
        {8800, controller(0, 20, 100), {}, nullptr},
        {8900, controller(0, 20, 120), {}, nullptr},  // held on: not pressed again
        {9299, 0, {}, nullptr},
        {9300, 0, {command(CmdStop)}, "Controller 20 = 100, channel 1: Stop (binding, held)"},
        {9310, controller(0, 20, 63), {}, nullptr},
        // Hold and Double on one pad: a tap waits out the double-press time,
        // a second press is the double press, a long one the hold.
        {9400, noteOn(9, 39, 100), {}, nullptr},
        {9450, noteOff(9, 39), {}, nullptr},
        {9750, 0, {command(CmdPrevious)}, "Note-on 39 (D#2), velocity 100, channel 10: Previous (binding)"},
        {9800, noteOn(9, 39, 100), {}, nullptr},
        {9850, noteOff(9, 39), {}, nullptr},
        {9900, noteOn(9, 39, 100), {command(CmdNext)}, nullptr},
        {9950, noteOff(9, 39), {}, nullptr},
        {10300, noteOn(9, 39, 100), {}, nullptr},
        {10800, 0, {command(CmdStop)}, nullptr},
        {10900, noteOff(9, 39), {}, nullptr},
        // A port closed while a pad is held forgets it.
        {11000, kPad36, {}, nullptr},
        {11100, 1, {}, nullptr},
        {11600, 0, {}, nullptr},
    };
    LineState seen;
    startLine(&seen);
    for (const auto& step : steps) {
        fake::setTick(step.tick);
        if (step.message == 1) forgetHeld(0);
        if (step.message > 1) fake::deliverData(0, step.message);
        work(step.tick);
        EXPECT_EQ(fake::sends(), step.sends) << step.tick;
        fake::clearSends();
        char line[200] = "";
        if (step.line != nullptr && nextLine(&seen, line, sizeof line)) {
            EXPECT_STREQ(line, step.line) << step.tick;
        } else if (step.line != nullptr) {
            ADD_FAILURE() << "no line at " << step.tick;
        } else {
            nextLine(&seen, line, sizeof line);
        }
    }
    EXPECT_EQ(gestureWaitMs(12000), kWaitForever) << "nothing is held";
}

// Messages no rule takes cost no press: the pressure of a pad held down
// (polyphonic or the channel's, 100 a second), nor, on an added controller,
// an unbound control; a gesture acts when it is due, before its device's next
// messages.
TEST_F(GesturesTest, MessagesNoRuleTakesCostNoPressAndGesturesActWhenDue) {
    fake::setFile(kIni, "[Notewick Bindings]\r\nNote 36 Channel 10=Play/Pause\r\nNote 36 Channel 10 Hold=Stop\r\n"
                        "Note 38 Channel 10=Repeat\r\nNote 39 Channel 10=Previous\r\nNote 39 Channel 10 Double=Next\r\n");
    loadBindings();
    const Binding pads[] = {{BindingSource{kSourceNote, 36, 9}, kActionNext}};
    publishBindings(pads, 1, 1);
    messageMailbox.wakeEvent.store(platformCreateEvent());
    const struct {
        uint32_t tick, device, message;
    } steps[] = {
        {1000, 0, noteOn(9, 36, 100)}, {1100, 0, noteOn(9, 38, 100)}, {1130, 0, noteOff(9, 38)},
        {1200, 0, noteOn(9, 38, 100)}, {1230, 0, noteOff(9, 38)},
        // Due at 1500 with an unbound controller's message come at that moment.
        {1500, 0, controller(0, 20, 5)}, {1560, 0, noteOn(9, 38, 100)}, {1600, 0, noteOff(9, 36)},
        {1700, 0, noteOn(9, 39, 100)}, {1750, 0, noteOff(9, 39)},
        {1800, 1, controller(0, 20, 5)}, {1810, 1, noteOn(9, 36, 100)},
    };
    std::vector<std::pair<uint32_t, uintptr_t>> acted;
    size_t next = 0;
    for (uint32_t tick = 1000; tick <= 2100; tick += 5) {
        fake::setTick(tick);
        if (tick % 10 == 5) mainDataHandler(nullptr, kMidiInData, 0, tick % 20 == 5 ? 0xA9u | (36u << 8) | (70u << 16) : 0xD9u | (70u << 8), tick);
        for (; next < sizeof steps / sizeof steps[0] && steps[next].tick == tick; ++next) {
            mainDataHandler(nullptr, kMidiInData, steps[next].device, steps[next].message, tick);
        }
        work(tick);
        for (const Send& send : fake::sends()) acted.emplace_back(tick, send.wParam);
        fake::clearSends();
    }
    const std::vector<std::pair<uint32_t, uintptr_t>> expected = {
        {1100, CmdRepeat}, {1200, CmdRepeat}, {1500, CmdStop}, {1560, CmdRepeat}, {1810, CmdNext}, {2000, CmdPrevious},
    };
    EXPECT_EQ(acted, expected);
}

// The times are settings, kept within bounds, the defaults where they are no
// number; a second Shift line is not used,
// nor another line of the shift button's control.
TEST_F(GesturesTest, TimesAreKeptWithinBoundsAndADeviceHasOneShiftButton) {
    const struct {
        const char* keys;
        uint32_t hold, twice;
    } files[] = {
        {"", 500, 300},
        {"HoldTime=800\r\nDoublePressTime=250\r\n", 800, 250},
        {"HoldTime=5\r\nDoublePressTime=99999\r\n", 150, 1000},
        // Not a number of milliseconds: the default, not the least time.
        {"HoldTime=-1\r\n", 500, 300},
        {"HoldTime=abc\r\nDoublePressTime=-5\r\n", 500, 300},
        {"HoldTime=12ms\r\nDoublePressTime=0x50\r\n", 500, 300},
        {"HoldTime= 700 \r\nDoublePressTime=\r\n", 700, 300},
    };
    for (const auto& file : files) {
        setGestureTimes(kDefaultHoldMs, kDefaultDoubleMs);
        fake::setFile(kIni, std::string("[Notewick]\r\n") + file.keys);
        loadSettings();
        EXPECT_EQ(holdTimeMs(), file.hold) << file.keys;
        EXPECT_EQ(doublePressTimeMs(), file.twice) << file.keys;
    }
    const char lines[] = "Note 40 Channel 10=Shift\nNote 41 Channel 10=Shift\nShift Note 40 Channel 10=Stop\n"
                         "Note 42 Channel 10 Hold=Shift\nProgram 3 Channel 1 Hold=Stop\nController 7 Channel 1 "
                         "Double=Volume\nShift Pitch Bend Channel 1=Volume\nEncoder 9 Channel 1 Hold=Seek\n";
    BindingLine used[kMaxBindings];
    uint32_t count = readBindingLines(lines, sizeof lines - 1, used);
    ASSERT_EQ(count, 2u) << "every message of the shift button's control is the shift button's";
    EXPECT_EQ(used[0].line, 0u);
    EXPECT_EQ(used[1].line, 6u);
    SectionText section = {const_cast<char*>(lines), sizeof lines - 1, 0};
    char why[300] = "";
    describeUnusedLine(section, 0, 1, false, why, sizeof why);
    EXPECT_NE(std::string(why).find("an earlier line makes another control the shift button"), std::string::npos) << why;
    why[0] = '\0';
    describeUnusedLine(section, 0, 2, false, why, sizeof why);
    EXPECT_NE(std::string(why).find("its control is the shift button, which does nothing else"), std::string::npos)
        << why;
}

}  // namespace
