// knobs_test.cpp -- endless knobs and the actions that use a value: steps
// counted across the 50 ms window, the clamps, the line's words, and Learn
// finding how a knob counts.
#include <iterator>
#include <string>

#include "core/bindings_section.h"
#include "core/settings.h"
#include "midi/bindings.h"
#include "midi/dispatch.h"
#include "midi/encoders.h"
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
    struct Step {
        uint32_t tick, message;
        intptr_t playState;
        Sends sends;
        const char* line;  // the live line, when it matters
    };
    const Step steps[] = {
        {1000, controller(0, 16, 1), 1, {askVolume, request(ReqSetVolume, 204)},
         "Encoder 16, channel 1: Volume 204 (binding, 1 step up)"},
        {1010, controller(0, 16, 3), 1, {}, nullptr},
        {1020, controller(0, 16, 127), 1, {}, nullptr},
        {1050, 0, 1, {askVolume, request(ReqSetVolume, 208)}, "Encoder 16, channel 1: Volume 208 (binding, 2 steps up)"},
        // A message of many steps waits for the next, which tells that the
        // knob counts steps and not places (see PlacesAreToldFromSteps).
        {1100, controller(0, 16, 65), 1, {}, nullptr},
        {1110, controller(0, 16, 65), 1, {askVolume, request(ReqSetVolume, 0)},
         "Encoder 16, channel 1: Volume 0 (binding, 126 steps down)"},
        {1200, controller(0, 16, 0), 1, {}, nullptr},  // no step: nothing to act on
        {1250, controller(0, 16, 63), 1, {}, nullptr},
        {1260, controller(0, 16, 63), 1, {askVolume, request(ReqSetVolume, 255)}, nullptr},
        {1300, controller(0, 17, 70), 0, {playing}, "Encoder 17, channel 1 (offset): nothing: the player is stopped"},
        {1400, controller(0, 17, 127), 1, {}, nullptr},
        {1410, controller(0, 17, 127), 1, {playing, position, length, request(ReqJumpToTime, 12000)},
         "Encoder 17, channel 1 (offset): Seek +2 s (binding, 126 steps)"},
        {1500, controller(0, 17, 1), 1, {}, nullptr},
        {1510, controller(0, 17, 1), 1, {playing, position, length, request(ReqJumpToTime, 0)}, nullptr},
        {1600, controller(0, 18, 3), 1, Sends(3, command(CmdNext)), nullptr},
        {1700, controller(0, 18, 77), 1, {}, nullptr},
        {1710, controller(0, 18, 77), 1, Sends(8, command(CmdPrevious)),
         "Encoder 18, channel 1 (signed): Previous track, 8 times (binding, 26 steps)"},
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
    auto walk = [&seen](const Step* from, const Step* to) {
        for (const Step* step = from; step != to; ++step) {
            fake::setPlayState(step->playState);
            deliverAndWork(step->message, step->tick);
            EXPECT_EQ(fake::sends(), step->sends) << step->tick;
            fake::clearSends();
            char line[200] = "";
            if (step->line != nullptr) {
                EXPECT_TRUE(nextLine(&seen, line, sizeof line)) << step->tick;
                EXPECT_STREQ(line, step->line);
            }
        }
    };
    walk(std::begin(steps), std::end(steps));
    // Entry 3 plays in a playlist of 3, not in one of 1.
    fake::setAnswer(ReqPlaylistLength, 1);
    const Step entries[] = {
        {2400, noteOn(9, 60, 90), 1, {request(ReqPlaylistLength, 0)}, "Note-on 60 (C4), velocity 90, channel 10: "
                                                                      "nothing: the playlist has 1 entry, no entry 3"},
    };
    walk(std::begin(entries), std::end(entries));
    // A knob set to send its place: it skips no track, and the line says
    // what to set on the device.
    const Step places[] = {
        {2500, controller(0, 18, 20), 1, {}, nullptr},
        {2510, controller(0, 18, 21), 1, {}, nullptr},
        {2520, controller(0, 18, 22), 1, {}, nullptr},
        {2530, controller(0, 18, 23), 1, {}, "Encoder 18, channel 1 (signed): nothing: it sends its place (absolute "
                                             "values), not steps. Set it to relative in its maker's editor"},
        {2600, controller(0, 18, 30), 1, {}, nullptr},
    };
    walk(std::begin(places), std::end(places));
    // A jog wheel's messages never enter the window: the first acts at once,
    // the next nineteen within 50 ms are counted and act on their sum when
    // the knob may act again, and keys between them act as if no knob moved.
    fake::setAnswer(ReqPlaylistLength, 3);
    const Sends seek = {playing, position, length, request(ReqJumpToTime, 12000)};
    for (uint32_t i = 0; i < 20; ++i) deliverAndWork(controller(0, 17, 66), 3000 + 2 * i);
    EXPECT_EQ(fake::sends(), seek);
    fake::clearSends();
    const Sends entry = {request(ReqPlaylistLength, 0), request(ReqSetPlaylistPosition, 2), request(ReqStartPlay, 0)};
    const Step jog[] = {
        {3045, noteOn(9, 60, 90), 1, entry, "Note-on 60 (C4), velocity 90, channel 10: Play Entry 3 (binding)"},
        {3050, 0, 1, seek, "Encoder 17, channel 1 (offset): Seek +2 s (binding, 38 steps)"},
        {3070, controller(0, 17, 66), 1, {}, nullptr},
        {3096, noteOn(9, 60, 90), 1, entry, nullptr},
        {3099, controller(0, 17, 66), 1, {}, nullptr},
        {3100, 0, 1, seek, "Encoder 17, channel 1 (offset): Seek +2 s (binding, 4 steps)"},
        {3146, noteOn(9, 60, 90), 1, entry, nullptr},
    };
    walk(std::begin(jog), std::end(jog));
    // Learn takes a knob's message: its steps are let go.
    startLearning(nullptr);
    const Step learned[] = {{3300, controller(0, 16, 5), 1, {}, nullptr}, {3400, 0, 1, {}, nullptr}};
    walk(std::begin(learned), std::end(learned));
}

// Runs of values from one knob: which count as steps (their sum), and which
// are taken for places (absolute values) and count none.
TEST(KnobSteps, PlacesAreToldFromSteps) {
    const struct {
        uint8_t encoder;
        std::vector<uint32_t> values;
        int32_t steps;
        bool places;
    } runs[] = {
        {kEncoderTwos, {1, 1, 1, 1, 1}, 5, false},                      // turned slowly
        {kEncoderTwos, {1, 2, 3, 5, 7, 5, 3, 1}, 27, false},            // faster, then slower
        {kEncoderTwos, {1, 127, 1, 127}, 0, false},                     // to and fro
        {kEncoderTwos, {1, 9, 12, 3}, 25, false},                       // a flick: many steps, then few
        {kEncoderTwos, {9, 9, 9, 9, 9, 9}, 54, false},                  // as fast all along
        {kEncoderTwos, {1, 20, 30, 40}, 1, false},                      // three of many steps are no run yet
        {kEncoderTwos, {1, 20, 30, 40, 1}, 92, false},                  // and count with the next
        {kEncoderTwos, {40, 41, 42, 43, 44, 45, 46, 47}, 0, true},      // a place turned up
        {kEncoderTwos, {100, 99, 98, 97, 96}, 0, true},                 // and down
        {kEncoderTwos, {40, 44, 49, 55, 60}, 0, true},                  // turned fast
        {kEncoderTwos, {40, 41, 42, 43, 4, 3, 2}, 0, true},             // and on to its end
        {kEncoderOffset, {10, 11, 12, 13, 14}, 0, true},                // Offset: far from the middle
        {kEncoderOffset, {65, 65, 66, 67, 66, 65}, 10, false},
        {kEncoderOffset, {65, 63, 65, 63}, 0, false},
        {kEncoderOffset, {60, 61, 62, 63}, -10, false},                 // a place near the middle reads as steps
        {kEncoderSigned, {20, 21, 22, 23}, 0, true},
        {kEncoderSigned, {1, 1, 66, 66, 65}, -3, false},
        {kEncoderTwos, {40, 41, 42, 43, 1, 1, 1, 1}, 2, true},          // set to relative: counts from the second 1
    };
    for (const auto& run : runs) {
        resetEncoders();
        Binding knob;
        knob.source = BindingSource{kSourceController, 16, 0, run.encoder, 0};
        knob.action = kActionTrack;
        publishEncoders(&knob, 1);
        for (uint32_t value : run.values) {
            bool wasEmpty = false;
            EXPECT_TRUE(countEncoderSteps(controller(0, 16, value), &wasEmpty));
        }
        std::string values;
        for (uint32_t value : run.values) values += std::to_string(value) + " ";
        EXPECT_EQ(takeKnobSteps(0, 1000), run.steps) << values;
        EXPECT_EQ(takeKnobPlaces(0), run.places) << values;
    }
    resetEncoders();
}

// Values 0 and 64 count no step however a knob counts, and a reversed knob
// counts the other way; one step each way tells which of the six forms a
// knob is, and any other pair tells nothing.
TEST(KnobSteps, ZeroValuesAndTurns) {
    for (uint32_t encoder : {kEncoderTwos, kEncoderOffset, kEncoderSigned}) {
        for (uint32_t form : {encoder, encoder | kEncoderReversed}) {
            EXPECT_EQ(encoderSteps(form, 0), 0) << form;
            EXPECT_EQ(encoderSteps(form, 64), 0) << form;
        }
        EXPECT_EQ(encoderSteps(encoder | kEncoderReversed, 70), -encoderSteps(encoder, 70)) << encoder;
    }
    const uint32_t reversed = kEncoderReversed;
    const uint32_t turns[][3] = {{1, 127, kEncoderTwos},   {65, 63, kEncoderOffset},   {1, 65, kEncoderSigned},
                                 {127, 1, kEncoderTwos | reversed}, {63, 65, kEncoderOffset | reversed},
                                 {65, 1, kEncoderSigned | reversed}, {3, 120, kNotEncoder}, {1, 63, kNotEncoder},
                                 {64, 64, kNotEncoder},    {0, 127, kNotEncoder}};
    for (const auto& turn : turns) EXPECT_EQ(encoderFromTurns(turn[0], turn[1]), turn[2]) << turn[0] << ", " << turn[1];
}

// Learn finds how an endless knob counts from one turn each way, skipping
// more steps to the right and other controls; a knob with stops fits none;
// Seek on a knob learned unticked says to tick the box; Play Entry takes the
// entry after the last one bound.
TEST_F(KnobsTest, LearnFindsHowAKnobCounts) {
    fake::setDevices({{"Knobs"}});
    pluginSettings.midiDevice = 0;
    mainInputPort = openInputPort(0, mainDataHandler, 0);
    fake::setDialogScript(IDD_BINDINGS, [](fake::WindowRefForTests d) {
        const struct {
            bool ticked;
            uint32_t action;
            std::vector<std::pair<uint32_t, uint32_t>> turns;  // controller and value
            const char* says;
        } learns[] = {
            {true, kActionSeek, {{16, 65}, {16, 65}, {16, 63}}, "Learned Encoder 16, channel 1 (offset): Seek."},
            {true, kActionVolume, {{16, 1}, {16, 65}}, "Learned Encoder 16, channel 1 (signed): Volume."},
            {true, kActionVolume, {{16, 63}, {16, 65}}, "Learned Encoder 16, channel 1 (offset, reversed): Volume."},
            {true, kActionTrack, {{16, 1}, {17, 127}, {16, 1}, {16, 127}}, "Learned Encoder 16, channel 1: Track."},
            // A knob with stops is refused at its first value, one that is not
            // a step at once, and a pair no form sends when the second comes.
            {true, kActionVolume, {{16, 30}}, "Received Controller 16, channel 1 = 30: not one step of an endless knob"},
            {true, kActionVolume, {{16, 64}}, "Received Controller 16, channel 1 = 64: not one step"},
            {true, kActionVolume, {{16, 1}, {16, 63}}, "Received Controller 16, channel 1 = 1 to the right, then 63 to "
                                                       "the left: not one step each way"},
            {false, kActionSeek, {{16, 5}}, "Received Controller 16, channel 1. Seek needs an endless knob. Tick "
                                            "Endless knob, then Learn again."},
        };
        uint32_t now = 1000;
        for (const auto& learn : learns) {
            fake::check(d, IDC_ENDLESS, learn.ticked);
            fake::choose(d, IDC_BINDING_ACTION, static_cast<int32_t>(learn.action) - 1);
            fake::press(d, IDC_LEARN);
            EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS).find(learn.ticked ? "Turn the knob" : "Press a key"), 0u);
            LineState seen;
            startLine(&seen);
            for (size_t i = 0; i < learn.turns.size(); ++i) {
                dispatchMessage(controller(0, learn.turns[i].first, learn.turns[i].second), now += 100);
                fake::serveNotifications(d);
                // What Learn skips is never said to be taken: the line says
                // what it waits for.
                char line[200] = "";
                if (i == 0 || i + 1 == learn.turns.size() || !nextLine(&seen, line, sizeof line)) continue;
                EXPECT_NE(std::string(line).find("nothing: Learn waits for the knob it took turned one step to the "
                                                 "left"), std::string::npos) << line;
            }
            EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS).find(learn.says), 0u) << fake::itemText(d, IDC_BINDING_STATUS);
        }
        // The box ticked with an action no knob takes: Learn says it binds
        // the control as it is.
        fake::check(d, IDC_ENDLESS, true);
        fake::choose(d, IDC_BINDING_ACTION, kActionPlayEntry - 1);
        EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS).find("Play Entry takes no endless knob"), 0u);
        fake::check(d, IDC_ENDLESS, false);
        for (uint32_t note : {36u, 37u}) {
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
