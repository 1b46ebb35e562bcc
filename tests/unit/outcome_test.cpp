// outcome_test.cpp -- the line the dialogs show: each message with what it
// did, or why it did nothing, as the worker recorded it.
#include <string>

#include "core/bindings_section.h"
#include "core/settings.h"
#include "midi/bindings.h"
#include "midi/dispatch.h"
#include "midi/mailbox.h"
#include "midi/outcome.h"
#include "tests/unit/test_support.h"

namespace {

class OutcomeTest : public PluginTest {};

// Each message is taken by the worker `after` ms after the one before it
// (0: handed to the data handler while the worker waits inside the window).
TEST_F(OutcomeTest, EachMessageSaysWhatItDidOrWhyNothing) {
    fake::setProfile(kIni, "Notewick Bindings", "Note 36 Channel 10", "Play/Pause");
    fake::setProfile(kIni, "Notewick Bindings", "Controller 64 Channel 1", "Stop");
    fake::setProfile(kIni, "Notewick Bindings", "Pitch Bend Channel 2", "Volume Steps");
    fake::setProfile(kIni, "Notewick Bindings", "Controller 7 Channel 1", "Volume");
    fake::setProfile(kIni, "Notewick Bindings", "Note 38 Channel 10", "Volume");
    loadBindings();
    messageMailbox.wakeEvent.store(platformCreateEvent());
    const struct {
        uint32_t message, after;
        const char* line;
    } steps[] = {
        {noteOn(0, 64, 90), 100, "Note-on 64 (E4), velocity 90, channel 1: Pause (key map)"},
        {noteOn(1, 64, 90), 100, "Note-on 64 (E4), velocity 90, channel 2: nothing: Notewick listens on channel 1"},
        // A control whose line is not used: that line and why, not the channel.
        {noteOn(9, 38, 90), 100, "Note-on 38 (D2), velocity 90, channel 10: nothing: line 5 of [Notewick Bindings], "
                                 "\"Note 38 Channel 10=Volume\", names it and is not used: Volume needs a controller, "
                                 "an endless knob or the pitch-bend wheel"},
        {noteOff(0, 64), 100, "Note-off 64 (E4), velocity 64, channel 1: nothing: a note-off"},
        {noteOn(0, 62, 0), 100, "Note-on 62 (D4), velocity 0, channel 1: nothing: a note-off"},
        {noteOn(0, 67, 90), 20, "Note-on 67 (G4), velocity 90, channel 1: nothing: within 50 ms of the previous message"},
        {noteOn(0, 69, 90), 0, "Note-on 69 (A4), velocity 90, channel 1: nothing: within 50 ms of the previous message"},
        {noteOn(9, 36, 100), 100, "Note-on 36 (C2), velocity 100, channel 10: Play/Pause (binding)"},
        {controller(0, 64, 10), 100, "Controller 64 = 10, channel 1: nothing: a release (the binding acts from 64 up)"},
        {controller(0, 7, 100), 100, "Controller 7 = 100, channel 1: Volume 200 (binding)"},
        {controller(0, 8, 100), 100,
         "Controller 8 = 100, channel 1: nothing: controller 8 has no function here. Bind it with Bindings"},
        {0x03C0, 100, "Program 3, channel 1: nothing: program 3 has no function here. Bind it with Bindings"},
        {controller(0, 1, 100), 100, "Controller 1 = 100, channel 1: Volume 200 (modulation wheel)"},
        {controller(0, 1, 101), 100, "Controller 1 = 101, channel 1: nothing: within one of the last value"},
        {pitchBend(0, 0, 80), 100, "Pitch bend 10240, channel 1: Volume Up (pitch-bend wheel)"},
        {pitchBend(0, 0, 70), 100, "Pitch bend 8960, channel 1: nothing: the wheel moved back toward the centre"},
        {pitchBend(0, 0, 40), 100, "Pitch bend 5120, channel 1: Volume Down (pitch-bend wheel)"},
        {pitchBend(0, 0, 41), 100, "Pitch bend 5248, channel 1: nothing: within one of the last value"},
        {pitchBend(2, 0, 90), 100, "Pitch bend 11520, channel 3: nothing: Notewick listens on channel 1"},
        {pitchBend(0, 5, 90), 100,
         "Pitch bend 11525, channel 1: nothing: only bends whose low byte is 0 count. Bind the wheel with Bindings"},
        {pitchBend(1, 5, 90), 100, "Pitch bend 11525, channel 2: Volume Up (binding)"},
        {controller(15, 21, 127), 100, "Controller 21 = 127, channel 16: Stop (channel-16 controller)"},
        // The same press again after a dropped release is news too.
        {controller(15, 21, 0), 0, "Controller 21 = 0, channel 16: nothing: within 50 ms of the previous message"},
        {controller(15, 21, 127), 100, "Controller 21 = 127, channel 16: Stop (channel-16 controller)"},
        {controller(15, 21, 100), 100, "Controller 21 = 100, channel 16: nothing: a channel-16 button acts on 127 only"},
        {controller(15, 75, 20), 100, "Controller 75 = 20, channel 16: Volume 40 (channel-16 controller)"},
        {controller(15, 75, 127), 100,
         "Controller 75 = 127, channel 16: nothing: controller 75 on channel 16 sets the volume from 0 to 126 only"},
        {controller(15, 23, 100), 100,
         "Controller 23 = 100, channel 16: nothing: controller 23 has no function here. Bind it with Bindings"},
        {controller(15, 1, 100), 100, "Controller 1 = 100, channel 16: nothing: Notewick listens on channel 1"},
        {0x40D0, 100, "Channel pressure 64, channel 1: nothing: no function here"},
    };
    LineState seen;
    startLine(&seen);
    char line[320];
    EXPECT_FALSE(nextLine(&seen, line, sizeof line)) << "nothing yet";
    uint32_t now = 1000;
    for (const auto& step : steps) {
        if (step.after == 0) {
            fake::setTick(now + 1);
            mainDataHandler(nullptr, kMidiInData, 0, step.message, 0);
        } else {
            dispatchMessage(step.message, now += step.after);
        }
        ASSERT_TRUE(nextLine(&seen, line, sizeof line)) << step.line;
        EXPECT_STREQ(line, step.line);
    }
    // Clock and active sensing are never shown, also when dropped inside the
    // window; Learn's message is.
    dispatchMessage(0xF8, now += 100);
    mainDataHandler(nullptr, kMidiInData, 0, 0xFE, 0);
    EXPECT_FALSE(nextLine(&seen, line, sizeof line));
    startLearning(nullptr);
    dispatchMessage(noteOn(4, 48, 90), now += 100);
    ASSERT_TRUE(nextLine(&seen, line, sizeof line));
    EXPECT_STREQ(line, "Note-on 48 (C3), velocity 90, channel 5: taken by Learn");
}

}  // namespace
