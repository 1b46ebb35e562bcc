// dispatch_test.cpp -- the 50 ms window and the four rules.
#include <vector>

#include "core/host.h"
#include "midi/dispatch.h"
#include "midi/window.h"
#include "tests/unit/test_support.h"

using fake::command;
using fake::request;
using fake::Send;

namespace {

class DispatchTest : public PluginTest {
protected:
    // Each message 100 ms after the last, so the window lets it through.
    void accept(uint32_t message) {
        now_ += 100;
        dispatchMessage(message, now_);
    }
    std::vector<Send> take() {
        std::vector<Send> got = fake::sends();
        fake::clearSends();
        return got;
    }
    uint32_t now_ = 1000;
};

std::vector<Send> times(const Send& send, int count) { return std::vector<Send>(count, send); }

// ---- Rule 1: keys ------------------------------------------------------------

TEST_F(DispatchTest, EveryKeyOfEveryOctaveSendsItsCommandTheRightNumberOfTimes) {
    struct Expected {
        uint32_t command;  // 0: the play/pause toggle
        int count;
    };
    const Expected byPlaceInOctave[12] = {
        {CmdPrevious, 1}, {CmdEqualizer, 1}, {0, 1},        {CmdPlaylist, 1}, {CmdPause, 1},   {CmdStop, 1},
        {CmdOpen, 1},     {CmdNext, 1},      {CmdShuffle, 1}, {CmdVolumeDown, 4}, {CmdRepeat, 1}, {CmdVolumeUp, 4},
    };
    for (uint32_t note = 0; note < 128; ++note) {
        const Expected& want = byPlaceInOctave[note % 12];
        accept(noteOn(0, note, 90));
        std::vector<Send> expected = want.command == 0
                                         ? std::vector<Send>{request(ReqPlayState, 0), command(CmdPlay)}
                                         : times(command(want.command), want.count);
        EXPECT_EQ(take(), expected) << "note " << note;
    }
}

TEST_F(DispatchTest, KeyDPausesWhilePlayingAndPlaysOtherwise) {
    fake::setPlayState(1);
    accept(noteOn(0, 62, 100));
    EXPECT_EQ(take(), (std::vector<Send>{request(ReqPlayState, 0), command(CmdPause)}));
    for (intptr_t answer : {0, 3, -1}) {
        fake::setPlayState(answer);
        accept(noteOn(0, 62, 100));
        EXPECT_EQ(take(), (std::vector<Send>{request(ReqPlayState, 0), command(CmdPlay)})) << answer;
    }
}

TEST_F(DispatchTest, KeysCountOnlyOnTheConfiguredChannelWithNonZeroVelocity) {
    pluginSettings.midiChannel.store(9);
    accept(noteOn(0, 64, 90));   // channel 1
    accept(noteOn(9, 64, 0));    // velocity 0 is a note-off
    accept(noteOff(9, 64));
    EXPECT_TRUE(take().empty());
    accept(noteOn(9, 64, 90));
    EXPECT_EQ(take(), (std::vector<Send>{command(CmdPause)}));
}

TEST_F(DispatchTest, AChannelOutsideTheRangeMatchesNoChannelRuleButChannel16ControllersWork) {
    for (int32_t channel : {-1, -2, 16, 200}) {
        pluginSettings.midiChannel.store(channel);
        accept(0x8F | (64u << 8) | (90u << 16));  // note-off on channel 16 is 0x90 + (-1)
        for (uint32_t ch = 0; ch < 16; ++ch) {
            accept(noteOn(ch, 64, 90));
            accept(pitchBend(ch, 0, 120));
            accept(controller(ch, 1, 100 + ch));
        }
        EXPECT_TRUE(take().empty()) << "channel " << channel;
        accept(controller(15, 21, 127));
        EXPECT_EQ(take(), (std::vector<Send>{command(CmdStop)})) << "channel " << channel;
    }
}

TEST_F(DispatchTest, AWordWhoseDataBytesAreNot7BitMatchesNoRuleButRestartsTheWindow) {
    accept(controller(0, 1, 0xFF));   // would set the volume to 510
    accept(controller(15, 75, 0x80));  // likewise, 256
    accept(noteOn(0, 0x80 + 64, 90));
    accept(noteOn(0, 64, 0xC0));
    EXPECT_TRUE(take().empty());
    now_ += 100;
    dispatchMessage(controller(0, 1, 0xFF), now_);
    dispatchMessage(noteOn(0, 64, 90), now_ + 49);  // lost: the bad word passed the window
    EXPECT_TRUE(take().empty());
}

// ---- The window ------------------------------------------------------------

TEST_F(DispatchTest, WindowDrops49MsAndPasses50Ms) {
    dispatchMessage(noteOn(0, 64, 90), 10000);
    dispatchMessage(noteOn(0, 64, 90), 10049);
    EXPECT_EQ(take().size(), 1u);
    dispatchMessage(noteOn(0, 64, 90), 10050);
    EXPECT_EQ(take().size(), 1u);
}

TEST_F(DispatchTest, DroppedMessagesDoNotRestartTheWindow) {
    dispatchMessage(noteOn(0, 64, 90), 10000);
    dispatchMessage(noteOn(0, 64, 90), 10030);  // dropped
    dispatchMessage(noteOn(0, 64, 90), 10050);  // 50 ms after the accepted one
    EXPECT_EQ(take().size(), 2u);
}

TEST_F(DispatchTest, EveryPassingMessageRestartsTheWindowWhetherARuleTakesItOrNot) {
    const uint32_t ignored[] = {noteOff(0, 64), noteOn(0, 64, 0), noteOn(5, 64, 90), 0xF8 /* clock */,
                                0xFE /* active sensing */, controller(15, 7, 10)};
    uint32_t tick = 20000;
    for (uint32_t message : ignored) {
        dispatchMessage(message, tick);
        dispatchMessage(noteOn(0, 64, 90), tick + 49);  // lost
        EXPECT_TRUE(take().empty()) << std::hex << message;
        tick += 1000;
    }
}

TEST_F(DispatchTest, WindowHoldsAcrossTheTickWrap) {
    dispatchMessage(noteOn(0, 64, 90), 0xFFFFFFF0u);
    dispatchMessage(noteOn(0, 64, 90), 0x00000020u);  // 48 ms later, across the wrap
    EXPECT_EQ(take().size(), 1u);
    dispatchMessage(noteOn(0, 64, 90), 0x00000022u);  // 50 ms later
    EXPECT_EQ(take().size(), 1u);
}

// ---- Rule 2: pitch bend ------------------------------------------------------

TEST_F(DispatchTest, BendStepsUpWhileRisingAndNothingBackTowardTheCentre) {
    const struct {
        uint32_t value;
        std::vector<Send> sends;
    } steps[] = {
        {64, {}}, {66, {command(CmdVolumeUp)}}, {70, {command(CmdVolumeUp)}}, {65, {}}, {64, {}},
        // The last 64 was within one of 65, so 65 is still the stored value
        // and 63, two below it, steps down.
        {63, {command(CmdVolumeDown)}}, {60, {command(CmdVolumeDown)}}, {62, {}},
    };
    for (const auto& step : steps) {
        accept(pitchBend(0, 0, step.value));
        EXPECT_EQ(take(), step.sends) << "bend " << step.value;
    }
}

TEST_F(DispatchTest, BendWithANonZeroLowByteIsIgnoredAndLeavesTheStoredValue) {
    accept(pitchBend(0, 0, 80));
    take();
    accept(pitchBend(0, 5, 100));
    EXPECT_TRUE(take().empty());
    accept(pitchBend(0, 0, 81));  // within one of 80: still the stored value
    EXPECT_TRUE(take().empty());
    accept(pitchBend(0, 0, 90));
    EXPECT_EQ(take(), (std::vector<Send>{command(CmdVolumeUp)}));
}

// ---- Rule 3: modulation wheel ------------------------------------------------

TEST_F(DispatchTest, ModulationSetsTheVolumeUnlessWithinOneOfTheLastValue) {
    accept(controller(0, 1, 1));  // within one of the initial 0
    EXPECT_TRUE(take().empty());
    accept(controller(0, 1, 127));
    EXPECT_EQ(take(), (std::vector<Send>{request(ReqSetVolume, 254)}));
    accept(controller(0, 1, 126));
    EXPECT_TRUE(take().empty());
    accept(controller(0, 1, 100));
    EXPECT_EQ(take(), (std::vector<Send>{request(ReqSetVolume, 200)}));
    // Within one either way is ignored; two away is not.
    for (uint32_t value : {100u, 101u, 99u}) {
        accept(controller(0, 1, value));
        EXPECT_TRUE(take().empty()) << value;
    }
    accept(controller(0, 1, 102));
    EXPECT_EQ(take(), (std::vector<Send>{request(ReqSetVolume, 204)}));
    accept(controller(0, 1, 100));
    EXPECT_EQ(take(), (std::vector<Send>{request(ReqSetVolume, 200)}));
    accept(controller(0, 2, 50));  // another controller on the channel
    EXPECT_TRUE(take().empty());
}

// ---- Rule 4: controllers on channel 16 ---------------------------------------

TEST_F(DispatchTest, Channel16ButtonsActOnValue127Only) {
    const struct {
        uint32_t number;
        std::vector<Send> sends;
    } buttons[] = {
        {19, times(command(CmdRewind5s), 2)},
        {20, times(command(CmdForward5s), 2)},
        {21, {command(CmdStop)}},
        {22, {request(ReqPlayState, 0), command(CmdPlay)}},
        {23, {}},
        {24, {command(CmdPrevious)}},
        {25, {command(CmdNext)}},
        {75, {}},
        {7, {}},
    };
    for (const auto& button : buttons) {
        accept(controller(15, button.number, 127));
        EXPECT_EQ(take(), button.sends) << "controller " << button.number;
        accept(controller(15, button.number, 126));
        std::vector<Send> at126 = take();
        // 126 on controller 75 is a volume value, not a button.
        if (button.number != 75) {
            EXPECT_TRUE(at126.empty()) << "controller " << button.number;
        }
    }
}

TEST_F(DispatchTest, Channel16Controller75IsAVolumeControl) {
    pluginSettings.midiChannel.store(3);  // works whatever channel is configured
    accept(controller(15, 75, 100));
    EXPECT_EQ(take(), (std::vector<Send>{request(ReqSetVolume, 200)}));
    accept(controller(15, 75, 101));
    EXPECT_TRUE(take().empty());
    accept(controller(15, 75, 10));
    EXPECT_EQ(take(), (std::vector<Send>{request(ReqSetVolume, 20)}));
    accept(controller(15, 7, 90));
    EXPECT_TRUE(take().empty());
}

TEST_F(DispatchTest, OnChannel16ModulationTakesController1AndTheButtonsTheRest) {
    pluginSettings.midiChannel.store(15);
    accept(controller(15, 1, 127));
    EXPECT_EQ(take(), (std::vector<Send>{request(ReqSetVolume, 254)}));
    accept(controller(15, 25, 127));
    EXPECT_EQ(take(), (std::vector<Send>{command(CmdNext)}));
    accept(noteOn(15, 60, 1));
    EXPECT_EQ(take(), (std::vector<Send>{command(CmdPrevious)}));
}

}  // namespace
