// knobs_test.cpp -- endless knobs and the actions that use a value: steps
// counted across the 50 ms window, the clamps, the line's words, and Learn
// finding how a knob counts.
#include <string>

#include "core/bindings_section.h"
#include "core/settings.h"
#include "midi/bindings.h"
#include "midi/dispatch.h"
#include "midi/mailbox.h"
#include "midi/outcome.h"
#include "ui/dialogs.h"
#include "ui/resource.h"
#include "tests/unit/test_support.h"

using fake::command;
using fake::request;
using fake::Send;

namespace {

typedef std::vector<Send> Sends;

class KnobsTest : public PluginTest {};

// The driver delivers the message at `tick`; the worker takes what the data
// handler signalled, then acts on knob steps the window let wait.
void deliverAndWork(uint32_t message, uint32_t tick) {
    fake::setTick(tick);
    if (message != 0) mainDataHandler(nullptr, kMidiInData, 0, message, 0);
    ShortMessage taken = takeSignalledMessage();
    if (taken != 0) dispatchMessage(taken, tick);
    actOnKnobSteps(tick);
}

TEST_F(KnobsTest, KnobsCountEveryStepAndFadersAndPadsUseTheirValues) {
    fake::setFile(kIni, "[Notewick Bindings]\r\nEncoder 16 Channel 1=Volume\r\nEncoder 17 Channel 1 Offset=Seek\r\n"
                        "Encoder 18 Channel 1 Signed=Track\r\nController 20 Channel 1=Position\r\n"
                        "Controller 21 Channel 1=Balance\r\nNote 60 Channel 10=Play Entry 3\r\n");
    loadBindings();
    messageMailbox.wakeEvent.store(platformCreateEvent());
    fake::setAnswer(ReqSetVolume, 200, kAskVolume);
    fake::setAnswer(ReqPosition, 10000, 0);
    fake::setAnswer(ReqPosition, 12, 1);
    fake::setAnswer(ReqPlaylistLength, 5);
    const Send askVolume = request(ReqSetVolume, kAskVolume), playing = request(ReqPlayState, 0);
    const Send position = request(ReqPosition, 0), length = request(ReqPosition, 1);
    const struct {
        uint32_t tick, message;
        intptr_t playState;
        Sends sends;
        const char* line;  // the live line, when it matters
    } steps[] = {
        {1000, controller(0, 16, 1), 1, {askVolume, request(ReqSetVolume, 204)},
         "Controller 16 = 1, channel 1 (encoder): Volume 204 (binding, 1 step up)"},
        {1010, controller(0, 16, 3), 1, {}, nullptr},
        {1020, controller(0, 16, 127), 1, {}, nullptr},
        {1050, 0, 1, {askVolume, request(ReqSetVolume, 208)}, "Encoder 16, channel 1: Volume 208 (binding, 2 steps up)"},
        {1100, controller(0, 16, 65), 1, {askVolume, request(ReqSetVolume, 0)}, "Controller 16 = 65, channel 1 "
                                                                                 "(encoder): Volume 0 (binding, 63 steps down)"},
        {1200, controller(0, 16, 0), 1, {}, "Controller 16 = 0, channel 1 (encoder): nothing: no step"},
        {1300, controller(0, 17, 70), 0, {playing}, "Controller 17 = 70, channel 1 (encoder): nothing: the player is stopped"},
        {1400, controller(0, 17, 127), 1, {playing, position, length, request(ReqJumpToTime, 12000)},
         "Controller 17 = 127, channel 1 (encoder): Seek +63 s (binding, 63 steps)"},
        {1500, controller(0, 17, 1), 1, {playing, position, length, request(ReqJumpToTime, 0)}, nullptr},
        {1600, controller(0, 18, 3), 1, Sends(3, command(CmdNext)), nullptr},
        {1700, controller(0, 18, 77), 1, Sends(8, command(CmdPrevious)),
         "Controller 18 = 77, channel 1 (encoder): Previous track, 8 times (binding, 13 steps)"},
        {1800, controller(0, 20, 64), 1, {playing, length, request(ReqJumpToTime, 6047)},
         "Controller 20 = 64, channel 1: Position 0:06 (binding)"},
        {1900, controller(0, 21, 127), 1, {request(ReqSetBalance, 127)}, nullptr},
        {2000, controller(0, 21, 0), 1, {request(ReqSetBalance, -127)}, "Controller 21 = 0, channel 1: Balance -127 (binding)"},
        {2100, controller(0, 21, 1), 1, {}, "Controller 21 = 1, channel 1: nothing: within one of the last value"},
        {2200, controller(0, 21, 96), 1, {request(ReqSetBalance, 64)}, nullptr},
        {2300, noteOn(9, 60, 90), 1, {request(ReqPlaylistLength, 0), request(ReqSetPlaylistPosition, 2),
                                      request(ReqStartPlay, 0)}, "Note-on 60 (C4), velocity 90, channel 10: Play Entry 3 (binding)"},
    };
    LineState seen;
    startLine(&seen);
    for (const auto& step : steps) {
        fake::setPlayState(step.playState);
        deliverAndWork(step.message, step.tick);
        EXPECT_EQ(fake::sends(), step.sends) << step.tick;
        fake::clearSends();
        char line[200] = "";
        if (step.line != nullptr) {
            EXPECT_TRUE(nextLine(&seen, line, sizeof line)) << step.tick;
            EXPECT_STREQ(line, step.line);
        }
    }
    fake::setAnswer(ReqPlaylistLength, 2);
    deliverAndWork(noteOn(9, 60, 90), 2400);
    EXPECT_EQ(fake::sends(), Sends{request(ReqPlaylistLength, 0)}) << "no entry 3 in a playlist of 2";
    // Twenty messages of a jog wheel within one window end in one action by
    // the sum of their steps.
    fake::clearSends();
    for (uint32_t i = 0; i < 20; ++i) deliverAndWork(controller(0, 17, 66), 3000 + 2 * i);
    deliverAndWork(0, 3050);
    EXPECT_EQ(fake::sends(), (Sends{playing, position, length, request(ReqJumpToTime, 12000),
                                    playing, position, length, request(ReqJumpToTime, 12000)}))
        << "the first message acts at once, the nineteen after it together once the window ends";
}

// Learn finds how an endless knob counts from one turn each way; a knob with
// stops fits none; Play Entry takes the entry after the last one bound.
TEST_F(KnobsTest, LearnFindsHowAKnobCounts) {
    fake::setDevices({{"Knobs"}});
    pluginSettings.midiDevice = 0;
    mainInputPort = openInputPort(0, mainDataHandler, 0);
    fake::setDialogScript(IDD_BINDINGS, [](fake::WindowRefForTests d) {
        const struct {
            uint32_t action;
            std::vector<uint32_t> values;  // of controller 16, then 17, turned right, then left
            const char* says;
        } learns[] = {
            {kActionSeek, {65, 65, 63}, "Learned Encoder 16, channel 1 (offset): Seek."},
            {kActionTrack, {1, 126}, "Learned Encoder 16, channel 1: Track."},
            {kActionVolume, {40, 39}, "Received Controller 16, channel 1 = 40 to the right, then 39 to the left: "
                                      "not the steps of an endless knob"},
        };
        fake::check(d, IDC_ENDLESS, true);
        uint32_t now = 1000;
        for (const auto& learn : learns) {
            fake::choose(d, IDC_BINDING_ACTION, static_cast<int32_t>(learn.action) - 1);
            fake::press(d, IDC_LEARN);
            EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS).find("Turn the knob"), 0u);
            for (uint32_t value : learn.values) {
                dispatchMessage(controller(0, 16, value), now += 100);
                fake::serveNotifications(d);
            }
            EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS).find(learn.says), 0u) << fake::itemText(d, IDC_BINDING_STATUS);
        }
        fake::check(d, IDC_ENDLESS, false);
        for (uint32_t note : {36u, 37u}) {
            fake::choose(d, IDC_BINDING_ACTION, kActionPlayEntry - 1);
            fake::press(d, IDC_LEARN);
            dispatchMessage(noteOn(9, note, 90), now += 100);
            fake::serveNotifications(d);
        }
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    EXPECT_EQ(fake::profileLines(kIni, kBindingsSection),
              (std::vector<std::string>{"Encoder 16 Channel 1=Track", "Note 36 Channel 10=Play Entry 1",
                                        "Note 37 Channel 10=Play Entry 2"}));
}

}  // namespace
