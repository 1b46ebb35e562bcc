// bindings_test.cpp -- the bindings section, the order of the rules with
// bindings, and the Bindings dialog's flows against the fake platform.
#include <string>

#include "core/settings.h"
#include "midi/bindings.h"
#include "midi/dispatch.h"
#include "midi/mailbox.h"
#include "ui/dialogs.h"
#include "ui/resource.h"
#include "tests/unit/test_support.h"

using fake::command;
using fake::request;
using fake::Send;

namespace {

typedef std::vector<std::string> Texts;
typedef fake::WindowRefForTests Dialog;

class BindingsTest : public PluginTest {
protected:
    static void addLines(const Texts& lines) {
        for (const std::string& line : lines) fake::addProfileLine(kIni, kBindingsSection, line);
    }
    // The bindings the section makes, as the dialog lists them.
    static Texts used() {
        static BindingLine lines[kMaxBindings];
        Texts out;
        uint32_t count = readBindingLines(lines);
        for (uint32_t i = 0; i < count; ++i) {
            char text[64];
            describeSource(lines[i].binding.source, text, sizeof text);
            out.push_back(std::string(text) + ": " + bindingActionName(lines[i].binding.action));
        }
        return out;
    }
};

uint32_t programChange(uint32_t channel, uint32_t program) { return (0xC0 + channel) | (program << 8); }

// ---- The section -------------------------------------------------------------------

TEST_F(BindingsTest, TheLinesThatAreUsedAndThoseThatAreNot) {
    addLines({
        "Note 36 Channel 10=Play/Pause",
        "note 38 CHANNEL 10=next",
        "Controller 7 Channel 1=Volume",
        "Pitch Bend Channel 2=Volume Steps",
        "PITCH BEND CHANNEL 3=volume",
        "Program 127 Channel 16=Forward",
        "Note 0 Channel 1=Play",
        // Not used: numbers out of range or not plain, words and spaces wrong,
        // unknown actions, actions that do not fit, a source already bound.
        "Note 128 Channel 1=Next",
        "Note 36 Channel 0=Next",
        "Note 36 Channel 17=Next",
        "Note -1 Channel 1=Next",
        "Note 1234 Channel 1=Next",
        "Note 36  Channel 1=Next",
        "Note 36 Channel 1x=Next",
        "Pitch Bend 0 Channel 1=Volume",
        "Aftertouch 3 Channel 1=Next",
        "Note 40 Channel 1=Fast Forward",
        "Note 40 Channel 1=Volume",
        "Program 5 Channel 1=Volume Steps",
        "Controller 9 Channel 1=Volume Steps",
        "Pitch Bend Channel 4=Next",
        "NOTE 36 channel 10=Stop",
        "Note 036 Channel 10=Stop",
        "Note 41 Channel 1=Fly",  // names its source first: the next line for it is not used either
        "Note 41 Channel 1=Stop",
        "no equals sign",
    });
    EXPECT_EQ(used(), (Texts{"Note 36 (C2), channel 10: Play/Pause", "Note 38 (D2), channel 10: Next",
                             "Controller 7, channel 1: Volume", "Pitch bend, channel 2: Volume Steps",
                             "Pitch bend, channel 3: Volume", "Program 127, channel 16: Forward",
                             "Note 0 (C-1), channel 1: Play"}));
    // Past the 128th binding nothing is used.
    fake::reset();
    for (uint32_t n = 0; n < 130; ++n) addLines({"Program " + std::to_string(n % 128) + " Channel " +
                                                 std::to_string(n / 128 + 1) + "=Next"});
    Texts all = used();
    ASSERT_EQ(all.size(), 128u);
    EXPECT_EQ(all.back(), "Program 127, channel 1: Next");
}

// ---- The order of the rules ------------------------------------------------------------

// A message a binding takes does its action and nothing else; every other
// message goes to the rules as before, the configured channel governing only
// the key map and the wheels.
TEST_F(BindingsTest, ABindingTakesItsSourceEveryOtherMessageGoesToTheRules) {
    addLines({"Note 64 Channel 1=Next", "Note 36 Channel 10=Play/Pause", "Controller 64 Channel 1=Stop",
              "Controller 7 Channel 1=Volume", "Controller 21 Channel 16=Forward", "Program 3 Channel 1=Previous",
              "Pitch Bend Channel 2=Volume Steps", "Pitch Bend Channel 3=Volume"});
    loadBindings();
    const struct {
        uint32_t message;
        std::vector<Send> sends;
        const char* what;
    } steps[] = {
        {noteOn(0, 64, 90), {command(CmdNext)}, "a binding over the key map's E"},
        {noteOn(0, 65, 90), {command(CmdStop)}, "an unbound key keeps the key map"},
        {noteOn(9, 36, 1), {request(ReqPlayState, 0), command(CmdPlay)}, "a pad on channel 10, struck softly"},
        {noteOn(1, 64, 90), {}, "another channel"},
        {noteOn(0, 64, 0), {}, "velocity 0"},
        {noteOff(0, 64), {}, "a note-off"},
        {controller(0, 64, 127), {command(CmdStop)}, "a pedal pressed"},
        {controller(0, 64, 63), {}, "and released"},
        {controller(0, 64, 64), {command(CmdStop)}, "64 is pressed"},
        {controller(0, 7, 100), {request(ReqSetVolume, 200)}, "a fader"},
        {controller(0, 7, 101), {}, "within one of its last value"},
        {controller(0, 7, 50), {request(ReqSetVolume, 100)}, "further"},
        {controller(15, 21, 127), {command(CmdForward5s), command(CmdForward5s)}, "a channel-16 controller bound"},
        {controller(15, 21, 0), {}, "and released"},
        {controller(15, 19, 127), {command(CmdRewind5s), command(CmdRewind5s)}, "another one as before"},
        {programChange(0, 3), {command(CmdPrevious)}, "a program change"},
        {programChange(0, 4), {}, "an unbound one"},
        {pitchBend(1, 5, 70), {command(CmdVolumeUp)}, "a bound wheel, whatever its low byte"},
        {pitchBend(1, 9, 80), {command(CmdVolumeUp)}, "still rising"},
        {pitchBend(1, 0, 72), {}, "back toward the centre"},
        {pitchBend(2, 0x33, 100), {request(ReqSetVolume, 200)}, "a wheel bound to Volume"},
        {pitchBend(0, 0, 80), {command(CmdVolumeUp)}, "the configured channel's wheel as before"},
        {controller(0, 1, 127), {request(ReqSetVolume, 254)}, "the modulation wheel as before"},
    };
    uint32_t now = 1000;
    for (const auto& step : steps) {
        dispatchMessage(step.message, now += 100);
        EXPECT_EQ(fake::sends(), step.sends) << step.what;
        fake::clearSends();
    }
    dispatchMessage(controller(0, 64, 127), now + 49);
    EXPECT_TRUE(fake::sends().empty()) << "a bound control passes the 50 ms window first";
    publishBindings(nullptr, 0);
    dispatchMessage(noteOn(0, 64, 90), now + 200);
    EXPECT_EQ(fake::sends(), (std::vector<Send>{command(CmdPause)})) << "a new table, for the next message";
}

// ---- The Bindings dialog -------------------------------------------------------------------

// Two bindings and a line that is not used. Cancel, with Learn waiting,
// changes nothing; Learn needs a device, an action that fits, and a source no
// unused line names; OK then writes the section line by line: a removed
// binding's line deleted, a changed one rewritten under the file's own key, a
// new one added, the unused line kept.
TEST_F(BindingsTest, TheDialogLearnsAndWritesOnOkLineByLine) {
    fake::setDevices({{"Pads"}});
    addLines({"Note 036 Channel 10=Next", "Controller 7 Channel 1=Volume", "Note 99 Channel 1=Jump"});
    const Texts before = fake::profileLines(kIni, kBindingsSection);
    fake::setDialogScript(IDD_BINDINGS, [](Dialog d) {
        fake::press(d, IDC_LEARN);
        EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS).find("No MIDI device is in use"), 0u);
        pluginSettings.midiDevice = 0;
        mainInputPort = openInputPort(0, mainDataHandler, 0);
        fake::press(d, IDC_LEARN);
        fake::press(d, IDC_REMOVE_ALL);
        EXPECT_TRUE(fake::listEntries(d, IDC_BINDING_LIST).empty());
        fake::press(d, kDialogCancel);
    });
    runBindingsDialog(nullptr);
    dispatchMessage(noteOn(0, 64, 90), 1000);
    EXPECT_EQ(fake::sends(), (std::vector<Send>{command(CmdPause)})) << "Cancel stops Learn";
    EXPECT_EQ(fake::profileLines(kIni, kBindingsSection), before) << "and writes nothing";
    fake::clearSends();
    fake::setDialogScript(IDD_BINDINGS, [](Dialog d) {
        fake::choose(d, IDC_BINDING_LIST, 0);
        fake::choose(d, IDC_BINDING_ACTION, kActionVolume - 1);  // does not fit a note
        EXPECT_EQ(fake::listEntries(d, IDC_BINDING_LIST)[0], "Note 36 (C2), channel 10: Next");
        fake::choose(d, IDC_BINDING_ACTION, kActionShuffle - 1);
        fake::choose(d, IDC_BINDING_LIST, 1);
        fake::press(d, IDC_REMOVE);
        const struct {
            uint32_t action, message;
            const char* says;
        } learns[] = {
            {kActionVolumeSteps, controller(0, 64, 127), "Volume Steps needs the pitch-bend wheel"},
            {kActionPlay, noteOn(0, 99, 90), "The settings file has a line for Note 99 (D#7), channel 1 that is not used"},
            {kActionPlay, controller(0, 64, 127), "Learned Controller 64, channel 1: Play."},
        };
        uint32_t now = 2000;
        for (const auto& learn : learns) {
            fake::choose(d, IDC_BINDING_ACTION, static_cast<int32_t>(learn.action) - 1);
            fake::press(d, IDC_LEARN);
            dispatchMessage(noteOff(0, 50), now += 100);  // not a source: not learned
            dispatchMessage(learn.message, now += 100);
            fake::serveNotifications(d);
            EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS).find(learn.says), 0u) << fake::itemText(d, IDC_BINDING_STATUS);
        }
        EXPECT_EQ(fake::listEntries(d, IDC_BINDING_LIST),
                  (Texts{"Note 36 (C2), channel 10: Shuffle", "Controller 64, channel 1: Play"}));
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    EXPECT_TRUE(fake::sends().empty()) << "Learn's messages act on nothing";
    EXPECT_EQ(fake::profileLines(kIni, kBindingsSection),
              (Texts{"Note 036 Channel 10=Shuffle", "Note 99 Channel 1=Jump", "Controller 64 Channel 1=Play"}));
    EXPECT_EQ(fake::allocationsLive(), 0);
    dispatchMessage(controller(0, 64, 127), 9000);
    EXPECT_EQ(fake::sends(), (std::vector<Send>{command(CmdPlay)})) << "the new table, from the next message";
}

}  // namespace
