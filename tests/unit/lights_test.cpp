// lights_test.cpp -- which bindings light and with what values, the worker's
// reading of the player and what it sends, and the output chosen in the
// Bindings dialog.
#include <chrono>
#include <cstring>
#include <thread>
#include <string>

#include "core/bindings_section.h"
#include "core/output_port.h"
#include "core/settings.h"
#include "midi/dispatch.h"
#include "midi/lights.h"
#include "midi/mailbox.h"
#include "ui/dialogs.h"
#include "ui/resource.h"
#include "tests/unit/test_support.h"

using fake::request;

namespace {

typedef std::vector<uint32_t> Messages;

class LightsTest : public PluginTest {};

TEST_F(LightsTest, WhatLightsAndWithWhatValue) {
    const struct {
        const char* line;
        bool used;
        uint32_t off, on;  // what the control is sent with the state off and on
        uint32_t to;       // the status and number the light goes to, when it lights
    } cases[] = {
        {"Note 36 Channel 10=Play/Pause", true, 0, 127, 0x2499},
        {"Note 36 Channel 10=Play/Pause, lit 5, dark 1", true, 1, 5, 0x2499},
        {"Controller 20 Channel 1=shuffle,DARK 3", true, 3, 127, 0x14B0},
        {"Controller 21 Channel 1=Repeat, dark 2 , lit 09", true, 2, 9, 0x15B0},
        {"Note 40 Channel 1=Next, lit 5", true, 0, 0, 0},  // no state: nothing to light
        {"Program 3 Channel 1=Play", true, 0, 0, 0},      // a program change has no light
        // Lights that listen elsewhere: another channel, another control.
        {"Note 56 Channel 1=Play, at Note 56 Channel 7, lit 21", true, 0, 21, 0x3896},
        {"Note 8 Channel 11=Stop, lit 1, AT controller 9 channel 1, dark 0", true, 1, 0, 0x09B0},
        {"Note 36 Channel 10=Stop, lit 128", false, 0, 0, 0},
        {"Note 36 Channel 10=Stop, lit", false, 0, 0, 0},
        {"Note 36 Channel 10=Stop, lit 5, lit 6", false, 0, 0, 0},
        {"Note 36 Channel 10=Stop, glow 5", false, 0, 0, 0},
        {"Note 36 Channel 10=Stop lit 5", false, 0, 0, 0},
        {"Note 36 Channel 10=Stop,", false, 0, 0, 0},
        {"Note 36 Channel 10=Stop, at Note 0 Channel 1, at Note 1 Channel 1", false, 0, 0, 0},
        {"Note 36 Channel 10=Stop, at Encoder 0 Channel 1", false, 0, 0, 0},
        {"Note 36 Channel 10=Stop, at Program 0 Channel 1", false, 0, 0, 0},
        {"Note 36 Channel 10=Stop, at Note 0 Channel 17", false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        BindingLine line;
        uint32_t count = readBindingLines(c.line, static_cast<uint32_t>(std::strlen(c.line)), &line);
        ASSERT_EQ(count, c.used ? 1u : 0u) << c.line;
        if (!c.used) continue;
        bool lights = lightKind(line.binding) != kLightNone;
        PlayerState off = {0, 0, 0, 0, 0}, on = {1, 1, 1, 0, 1};
        EXPECT_EQ(lights ? lightValue(line.binding, off) : 0, c.off) << c.line;
        EXPECT_EQ(lights ? lightValue(line.binding, on) : 0, c.on) << c.line;
        EXPECT_EQ(lights ? lightMessage(line.binding, 0) : 0, c.to) << c.line;
    }
    // Each stateful action against each play state: playing 1, paused 3, stopped 0.
    const struct {
        uint32_t action;
        bool playing, paused, stopped;
    } states[] = {
        {kActionPlayPause, true, false, false}, {kActionPlay, true, false, false},
        {kActionPause, false, true, false},     {kActionStop, false, false, true},
    };
    for (const auto& s : states) {
        Binding pad{BindingSource{kSourceNote, 36, 9}, static_cast<uint8_t>(s.action)};
        EXPECT_EQ(lightValue(pad, PlayerState{1, 0, 0, 0, 0}), s.playing ? 127u : 0u) << s.action;
        EXPECT_EQ(lightValue(pad, PlayerState{3, 0, 0, 0, 0}), s.paused ? 127u : 0u) << s.action;
        EXPECT_EQ(lightValue(pad, PlayerState{0, 0, 0, 0, 0}), s.stopped ? 127u : 0u) << s.action;
        EXPECT_EQ(lightMessage(pad, 127), 0x7F2499u);
    }
    Binding fader{BindingSource{kSourceController, 7, 0}, kActionVolume};
    Binding wheel{BindingSource{kSourcePitchBend, 0, 0}, kActionVolume};
    EXPECT_EQ(lightValue(fader, PlayerState{0, 0, 0, 255, 0}), 127u);
    EXPECT_EQ(lightMessage(fader, 100), 0x6407B0u);
    EXPECT_EQ(lightKind(wheel), static_cast<uint32_t>(kLightNone));
}

// The worker's side, tick by tick: nothing read or sent without an output;
// every light once when one is attached; then only changes, at most every
// 100 ms; a fader held off for a second after its own message; a new table
// darkens what no longer lights.
TEST_F(LightsTest, TheWorkerSendsEveryLightOnceThenChanges) {
    fake::setOutputs({{"Pad Out"}});
    fake::setFile(kIni, "[Notewick Bindings]\r\nNote 36 Channel 10=Play/Pause, lit 5\r\nController 20 Channel 1=Shuffle\r\n"
                        "Controller 7 Channel 1=Volume\r\n");
    loadBindings();
    fake::setAnswer(ReqSetVolume, 200);
    updateLights(1000);
    EXPECT_TRUE(fake::sends().empty()) << "without an output nothing is asked";
    EXPECT_EQ(lightsWaitMs(1000), kWaitForever);
    attachLightsPort(openOutputPort(0));
    EXPECT_EQ(lightsWaitMs(1000), 0u);
    updateLights(1000);
    EXPECT_EQ(fake::sends(), (std::vector<fake::Send>{request(ReqPlayState, 0), request(ReqShuffle, 0),
                                                       request(ReqSetVolume, kAskVolume)}));
    EXPECT_EQ(fake::outputMessages(0), (Messages{0x002499, 0x0014B0, 0x6407B0}));
    const struct {
        uint32_t tick;
        intptr_t playing, shuffle, volume;
        uint32_t fader;  // a message from a control first, 0 for none
        Messages sent;
        const char* what;
        uint32_t sendResult = 0;  // the output's sends fail with this
    } steps[] = {
        {1050, 1, 1, 200, 0, {}, "not read again within 100 ms"},
        {1100, 1, 0, 200, 0, {0x052499}, "changes, once due"},
        {1150, 1, 1, 200, 0, {}, "not due"},
        {1200, 1, 1, 200, 0, {}, "a send that fails", 6},
        {1300, 1, 1, 200, 0, {0x7F14B0}, "goes again once sending works, the player unchanged"},
        {1400, 1, 1, 90, 45 << 16 | 0x07B0, {}, "the fader in the hand is not pushed back"},
        {1900, 1, 1, 90, 45 << 16 | 0x07B0, {}, "nor while it moves on"},
        {2800, 1, 1, 60, 0, {}, "for a second after its last message"},
        {2900, 1, 1, 60, 0, {0x1E07B0}, "then it follows the volume"},
        // A device that lights its pad itself while pressed: the pad's light
        // goes again after its press and release, the player unchanged.
        {3000, 1, 1, 60, 0x5A2499, {}, "a lit pad pressed: not sent while its release may come"},
        {3050, 1, 1, 60, 0x002489, {}, "let go, within 100 ms of the last read"},
        {3100, 1, 1, 60, 0, {0x052499}, "sent again at the next read"},
        {3200, 1, 1, 60, 0x5A2499, {}, "pressed again, its release dropped in the window"},
        {3300, 1, 1, 60, 0, {0x052499}, "sent again after the window"},
        {3400, 1, 1, 60, 0x0014B0, {0x7F14B0}, "a controller let go: sent again at once"},
        {3500, 1, 0, 60, 0x7F14B0, {}, "pressed, its state changed: not sent while its release may come"},
        {3600, 1, 0, 60, 0, {0x0014B0}, "then once"},
        {3700, 1, 1, 60, 0x4D07B0, {0x7F14B0}, "a change of the player's, as ever; a fader sends nothing again"},
        {3800, 1, 1, 60, 0, {}, "and each only once"},
    };
    for (const auto& step : steps) {
        fake::setPlayState(step.playing);
        fake::setAnswer(ReqShuffle, step.shuffle);
        fake::setAnswer(ReqSetVolume, step.volume);
        fake::output(0).sendResult = step.sendResult;
        if (step.fader != 0) dispatchMessage(step.fader, step.tick);
        updateLights(step.tick);
        EXPECT_EQ(fake::outputMessages(0), step.sent) << step.what;
    }
    // A new table, within 100 ms of the last read: taken at once; a control
    // that lights as before is not sent again, one no longer bound goes dark,
    // a pad lights as its own line says, not its Hold line, and only what a
    // binding shows is asked.
    fake::setFile(kIni, "[Notewick Bindings]\r\nController 20 Channel 1=Shuffle\r\nNote 37 Channel 10 Hold=Shuffle\r\n"
                        "Note 37 Channel 10=Stop\r\n");
    loadBindings();
    fake::clearSends();
    updateLights(3850);
    EXPECT_EQ(fake::outputMessages(0), (Messages{0x002499, 0x002599})) << "pad 36 dark, Stop sent, shuffle kept";
    EXPECT_EQ(fake::sends(), (std::vector<fake::Send>{request(ReqPlayState, 0), request(ReqShuffle, 0)}));
    fake::setFile(kIni, "[Notewick Bindings]\r\nNote 38 Channel 10=Next\r\n");
    loadBindings();
    updateLights(3900);
    EXPECT_EQ(fake::outputMessages(0), (Messages{0x0014B0})) << "shuffle dark; Stop was dark already";
    EXPECT_EQ(lightsWaitMs(3900), kWaitForever) << "no binding lights: the worker waits";
    MidiOutRef port = detachLightsPort();
    EXPECT_NE(port, nullptr);
    EXPECT_EQ(lightsWaitMs(4000), kWaitForever) << "nor without an output";
    attachLightsPort(port);
    detachLightsPort();
    updateLights(4000);
    EXPECT_TRUE(fake::outputMessages(0).empty()) << "nothing after the output was taken back";
}

// The output is chosen in the Bindings dialog, by its name: an output held
// elsewhere at start says so once, naming it, and is tried again every few
// seconds until it opens (the system says nothing when another program lets
// it go); the dialog lists "None" and the outputs, or "NAME (not
// connected)"; OK darkens the old output and writes both keys; a new choice
// that cannot be opened stays chosen, as one stored at start.
TEST_F(LightsTest, TheOutputIsChosenByNameAndFollowed) {
    fake::setDevices({{"Keys"}});
    fake::setOutputs({{"Synth"}, {"Pad Out"}});
    fake::output(1).openResult = 4;  // held elsewhere
    fake::setFile(kIni, "[Notewick]\r\nMIDIOutDevice=0\r\nMIDIOutDeviceName=Pad Out\r\n"
                        "[Notewick Bindings]\r\nNote 36 Channel 10=Stop\r\n");
    pluginRecord.initProc();
    const std::string held = "Could not open MIDI output device \"Pad Out\": another program may be using it. Its "
                             "lights start as soon as it is free.";
    EXPECT_EQ(fake::messageBoxes(), (std::vector<std::string>{held}));
    EXPECT_EQ(fake::watchTimerMs(), 3000u);
    fake::fireWatchTimer();
    EXPECT_FALSE(fake::outputIsOpen(1)) << "still held";
    fake::output(1).openResult = 0;
    fake::fireWatchTimer();
    EXPECT_TRUE(fake::outputIsOpen(1)) << "found by its name at another index, once let go";
    EXPECT_EQ(fake::watchTimerMs(), 0u) << "nothing waits: no more wake-ups";
    EXPECT_EQ(pluginSettings.midiOutDevice, 1);
    fake::setDialogScript(IDD_CONFIG, [](fake::WindowRefForTests d) { fake::press(d, IDC_BINDINGS); });
    fake::setDialogScript(IDD_BINDINGS, [](fake::WindowRefForTests d) {
        EXPECT_EQ(fake::listEntries(d, IDC_LIGHTS), (std::vector<std::string>{"None", "Synth", "Pad Out"}));
        EXPECT_EQ(fake::listSelection(d, IDC_LIGHTS), 2);
        // The worker's first lights, once it has run.
        for (int i = 0; i < 200 && fake::outputMessages(1).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        fake::choose(d, IDC_LIGHTS, 1);
        fake::press(d, kDialogOk);
    });
    pluginRecord.configProc();
    EXPECT_EQ(fake::outputMessages(1), (Messages{0x002499})) << "the old output's lights go dark";
    EXPECT_FALSE(fake::outputIsOpen(1));
    EXPECT_TRUE(fake::outputIsOpen(0));
    std::string device, name;
    fake::profileValue(kIni, "Notewick", "MIDIOutDevice", &device);
    fake::profileValue(kIni, "Notewick", "MIDIOutDeviceName", &name);
    EXPECT_EQ(device + " " + name, "0 Synth");
    fake::setOutputs({{"Pad Out"}});
    fake::deviceListChanged();
    EXPECT_FALSE(fake::outputIsOpen(0)) << "an output gone is closed";
    fake::setDialogScript(IDD_BINDINGS, [](fake::WindowRefForTests d) {
        EXPECT_EQ(fake::listEntries(d, IDC_LIGHTS), (std::vector<std::string>{"None", "Pad Out", "Synth (not connected)"}));
        EXPECT_EQ(fake::listSelection(d, IDC_LIGHTS), 2);
        fake::press(d, kDialogOk);
    });
    pluginRecord.configProc();
    EXPECT_EQ(pluginSettings.midiOutDevice, 0) << "OK keeps the output that is away";
    EXPECT_STREQ(pluginSettings.midiOutDeviceName, "Synth");
    fake::setOutputs({{"Pad Out"}, {"Synth"}});
    fake::output(0).openResult = 4;
    fake::setDialogScript(IDD_BINDINGS, [](fake::WindowRefForTests d) {
        EXPECT_EQ(fake::listSelection(d, IDC_LIGHTS), 2) << "back, where its name now is";
        fake::choose(d, IDC_LIGHTS, 1);
        fake::press(d, kDialogOk);
    });
    pluginRecord.configProc();
    EXPECT_EQ(fake::messageBoxes().back(), "Could not open MIDI output device \"Pad Out\" now: another program may be "
                                           "using it. It stays chosen, and its lights start as soon as it is free.");
    EXPECT_STREQ(pluginSettings.midiOutDeviceName, "Pad Out");
    fake::output(0).openResult = 0;
    fake::fireWatchTimer();
    EXPECT_TRUE(fake::outputIsOpen(0)) << "the new choice opens once it is let go";
    fake::setDialogScript(IDD_BINDINGS, [](fake::WindowRefForTests d) {
        fake::choose(d, IDC_LIGHTS, 0);
        fake::press(d, kDialogOk);
    });
    pluginRecord.configProc();
    EXPECT_FALSE(fake::outputIsOpen(0)) << "None closes the output";
    EXPECT_EQ(pluginSettings.midiOutDevice, -1);
    pluginRecord.quitProc();
    EXPECT_EQ(fake::messageBoxes().size(), 2u);
}

}  // namespace

namespace {

// The shift button's light follows it at once, without reading the player;
// the Lights line counts the bindings that light and says when OK starts them.
TEST_F(LightsTest, TheShiftButtonLightsWhileHeldAndTheLineCountsWhatLights) {
    fake::setOutputs({{"Pad Out"}});
    fake::setFile(kIni, "[Notewick Bindings]\r\nNote 40 Channel 10=Shift, lit 1\r\nNote 36 Channel 10=Stop\r\n");
    loadBindings();
    ASSERT_TRUE(chooseOutput("Pad Out", 0));
    updateLights(1000);
    EXPECT_EQ(fake::outputMessages(0), (Messages{0xF0 | (6 << 8), 0x002899, 0x7F2499})) << "asked who it is, then lit";
    fake::clearSends();
    const uint32_t steps[][3] = {{1010, noteOn(9, 40, 100), 0x012899}, {1020, noteOff(9, 40), 0x002899}};
    for (const auto& step : steps) {
        fake::setTick(step[0]);
        mainDataHandler(nullptr, kMidiInData, 0, step[1], step[0]);
        updateLights(step[0]);
        EXPECT_EQ(fake::outputMessages(0), (Messages{step[2]})) << step[0];
    }
    EXPECT_TRUE(fake::sends().empty()) << "the player is not read for it";
    const struct {
        const char* name;
        uint32_t lighting;
        bool pending;
        const char* line;
    } lines[] = {
        {"Pad Out", 2, false, "Lights: Pad Out (2 bindings)"},
        {"Pad Out", 3, true, "Lights: Pad Out (3 bindings light after OK)"},
        {"Elsewhere", 1, true, "Lights: Elsewhere is not connected: 1 binding lights when it is"},
        {"", 2, true, "Lights: none chosen"},
    };
    for (const auto& l : lines) {
        char text[160];
        describeLights(kConfiguredDevice, l.name, l.lighting, l.pending, text, sizeof text);
        EXPECT_STREQ(text, l.line);
    }
}

}  // namespace
