// bindings_test.cpp -- the bindings section, the order of the rules with
// bindings, and the Bindings dialog's flows against the fake platform.
#include <cstring>
#include <string>

#include "core/bindings_section.h"
#include "core/section_merge.h"
#include "core/main_port.h"
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
        SectionText section;
        if (!openBindingsSection(&section)) return out;
        uint32_t count = readBindingLines(section.text, section.length, lines);
        freeSection(&section);
        for (uint32_t i = 0; i < count; ++i) {
            char text[64];
            describeSource(lines[i].binding.source, text, sizeof text);
            out.push_back(std::string(text) + ": " + bindingActionName(lines[i].binding.action));
        }
        return out;
    }
    // The device in use, open, as the Bindings dialog's Learn needs it.
    static void useDevice() {
        fake::setDevices({{"Pads"}});
        pluginSettings.midiDevice = 0;
        mainInputPort = openInputPort(0, mainDataHandler, 0);
    }
    // Chooses the action, presses Learn and touches the control.
    static std::string learn(Dialog d, uint32_t action, uint32_t message, uint32_t now) {
        fake::choose(d, IDC_BINDING_ACTION, static_cast<int32_t>(action) - 1);
        fake::press(d, IDC_LEARN);
        dispatchMessage(message, now);
        fake::serveNotifications(d);
        return fake::itemText(d, IDC_BINDING_STATUS);
    }
    static std::string section() {
        std::string text;
        fake::fileText(kIni, &text);
        return text;
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
        "Note 45 Channel 1",  // no "=": names nothing, so the next line is the one
        "Note 45 Channel 1=Stop",
        "; Note 46 Channel 1=Stop",
        // Endless knobs and the actions that use a value.
        "Encoder 16 Channel 1=Volume",
        "encoder 17 channel 1 offset=seek",
        "Encoder 18 Channel 1 Signed=Track",
        "Controller 20 Channel 1=Position",
        "Controller 21 Channel 1=Balance",
        "Note 60 Channel 10=play entry 12",
        // A controller is one source, as a Controller or as an Encoder; a knob
        // does not press, nor does a fader seek; an entry from 1 to 65535.
        "Encoder 7 Channel 1=Volume",
        "Encoder 19 Channel 1=Next",
        "Controller 22 Channel 1=Seek",
        "Encoder 23 Channel 1 Twos=Volume",
        "Controller 24 Channel 1 Offset=Volume",
        "Encoder 25 Channel 1 Offset Signed=Volume",
        "Note 61 Channel 10=Play Entry 0",
        "Note 62 Channel 10=Play Entry 65536",
        "Note 63 Channel 10=Play Entry",
    });
    EXPECT_EQ(used(), (Texts{"Note 36 (C2), channel 10: Play/Pause", "Note 38 (D2), channel 10: Next",
                             "Controller 7, channel 1: Volume", "Pitch bend, channel 2: Volume Steps",
                             "Pitch bend, channel 3: Volume", "Program 127, channel 16: Forward",
                             "Note 0 (C-1), channel 1: Play", "Note 45 (A2), channel 1: Stop",
                             "Encoder 16, channel 1: Volume", "Encoder 17, channel 1 (offset): Seek",
                             "Encoder 18, channel 1 (signed): Track", "Controller 20, channel 1: Position",
                             "Controller 21, channel 1: Balance", "Note 60 (C4), channel 10: Play Entry"}));
    // Past the 128th binding nothing is used.
    fake::reset();
    for (uint32_t n = 0; n < 130; ++n) addLines({"Program " + std::to_string(n % 128) + " Channel " +
                                                 std::to_string(n / 128 + 1) + "=Next"});
    Texts all = used();
    ASSERT_EQ(all.size(), 128u);
    EXPECT_EQ(all.back(), "Program 127, channel 1: Next");
    // Only the section's first 32 KB are read: a line that ends within them
    // is, one that ends a byte past them is not.
    for (int past : {0, 1}) {
        fake::reset();
        std::string text = "[Notewick Bindings]\r\n";
        std::string filler = "; " + std::string(32742 + past, 'x') + "\r\n";
        fake::setFile(kIni, text + filler + "Note 50 Channel 1=Stop\r\n");
        EXPECT_EQ(used().size(), past == 0 ? 1u : 0u) << past;
    }
}

// The section is found and replaced in any file the profile calls read: the
// header in any case and with blanks, on the last line, a second section of
// the name, LF line ends, a UTF-8 mark; every other byte stays. A UTF-16
// file is read but not written; a file another program holds is not written,
// and needs not be while nothing changed.
TEST_F(BindingsTest, TheSectionIsFoundAndReplacedInAnyFile) {
    auto appendStop = []() {
        SectionText section;
        uint32_t added = 0;
        EXPECT_TRUE(openBindingsSection(&section));
        appendSectionLine(&section, "Note 50 Channel 1=Stop", &added);
        bool saved = commitBindingsSection(section);
        freeSection(&section);
        return saved;
    };
    const struct {
        std::string before, after;
    } cases[] = {
        {"", "[Notewick Bindings]\r\nNote 50 Channel 1=Stop\r\n"},
        {"[Other]\r\nx=1", "[Other]\r\nx=1\r\n[Notewick Bindings]\r\nNote 50 Channel 1=Stop\r\n"},
        {"[notewick BINDINGS]", "[notewick BINDINGS]\r\nNote 50 Channel 1=Stop\r\n"},
        {"[Notewick Bindings]\nNote 36 Channel 10=Next\n\n[Other]\nx=1\n",
         "[Notewick Bindings]\nNote 36 Channel 10=Next\nNote 50 Channel 1=Stop\n\n[Other]\nx=1\n"},
        {"\xEF\xBB\xBF[ Notewick Bindings ]\r\nNote 36 Channel 10=Next",
         "\xEF\xBB\xBF[ Notewick Bindings ]\r\nNote 36 Channel 10=Next\r\nNote 50 Channel 1=Stop\r\n"},
        // A last line that ends in "\r" alone keeps its text.
        {"[Notewick Bindings]\r\nNote 36 Channel 10=Next\r",
         "[Notewick Bindings]\r\nNote 36 Channel 10=Next\r\nNote 50 Channel 1=Stop\r\n"},
        {"[Notewick Bindings]\r\n[Notewick Bindings]\r\nNote 36 Channel 10=Next\r\n",
         "[Notewick Bindings]\r\nNote 50 Channel 1=Stop\r\n[Notewick Bindings]\r\nNote 36 Channel 10=Next\r\n"},
    };
    for (const auto& c : cases) {
        resetBindingsSection();
        fake::setFile(kIni, c.before);
        EXPECT_TRUE(appendStop());
        EXPECT_EQ(section(), c.after);
    }
    std::string wide = "\xFF\xFE";
    for (char ch : std::string("[Notewick Bindings]\r\nNote 36 Channel 10=Next\r\n")) wide += std::string(1, ch) + '\0';
    resetBindingsSection();
    fake::setFile(kIni, wide);
    EXPECT_EQ(used(), (Texts{"Note 36 (C2), channel 10: Next"}));
    EXPECT_FALSE(appendStop());
    EXPECT_EQ(section(), wide);
    fake::setFile(kIni, "[Notewick Bindings]\r\nNote 36 Channel 10=Next\r\n");
    resetBindingsSection();
    fake::setReadable(kIni, false);  // held by another program from the start
    loadBindings();
    SectionText unchanged;
    openBindingsSection(&unchanged);
    EXPECT_TRUE(commitBindingsSection(unchanged)) << "nothing to write";
    freeSection(&unchanged);
    EXPECT_FALSE(appendStop());
    fake::setReadable(kIni, true);
    EXPECT_EQ(section(), "[Notewick Bindings]\r\nNote 36 Channel 10=Next\r\n");
}

// ---- OK keeps hand edits -----------------------------------------------------------------

// The user's changes (base to ours) applied to the section as the file has it
// at OK (theirs): lines the user did not touch stay as the file has them; a
// control both changed takes the user's lines and counts as a conflict.
TEST(SectionMerge, TheUsersChangesGoOnTopOfTheFilesLines) {
    const struct {
        const char *base, *ours, *theirs, *merged;
        uint32_t conflicts;
        const char* first;
    } cases[] = {
        // The file unchanged: the user's lines, a removal, a change and an addition.
        {"A=1\nNote 1 Channel 1=Stop\nNote 2 Channel 1=Next\n", "A=1\nNote 2 Channel 1=Play\nNote 3 Channel 1=Stop\n",
         "A=1\nNote 1 Channel 1=Stop\nNote 2 Channel 1=Next\n", "A=1\nNote 2 Channel 1=Play\nNote 3 Channel 1=Stop\n", 0,
         ""},
        // Lines added and changed by hand meanwhile stay; the user's go on top.
        {"; pads\nNote 1 Channel 1=Stop\n\n", "; pads\nNote 1 Channel 1=Next\nNote 9 Channel 1=Play\n\n",
         "; pads!\nNote 1 Channel 1=Stop\nNote 5 Channel 1=Repeat\n\n",
         "; pads!\nNote 1 Channel 1=Next\nNote 5 Channel 1=Repeat\nNote 9 Channel 1=Play\n\n", 0, ""},
        // Both changed one control: the user's wins, and it is told.
        {"Note 1 Channel 1=Stop\r\nOutput=A\r\n", "Note 1 Channel 1=Next\r\nOutput=B\r\n",
         "Note 1 Channel 1=Play\r\nOutput=B\r\n", "Note 1 Channel 1=Next\r\nOutput=B\r\n", 1, "Note 1 (C#-1), channel 1"},
        // The user removed what the file changed; the user added what the file added.
        {"Note 1 Channel 1=Stop\n", "", "Note 1 Channel 1=Play\nNote 2 Channel 1=Stop\n", "Note 2 Channel 1=Stop\n", 1, ""},
        {"", "Output=Pads\n", "OUTPUT=Synth\n", "Output=Pads\n", 1, "Output"},
        // The file's lines keep their own line breaks, mixed or missing at the end.
        {"A=1\nB=2", "A=1\nB=2", "A=1\n; by hand\r\nB=2", "A=1\n; by hand\r\nB=2", 0, ""},
        {"A=1", "A=1\nNote 3 Channel 1=Stop\n", "A=1", "A=1\nNote 3 Channel 1=Stop\n", 0, ""},
        {"A=1\r", "A=1\r\nNote 3 Channel 1=Stop\r\n", "A=1\r", "A=1\r\nNote 3 Channel 1=Stop\r\n", 0, ""},
        // Remove All takes every line that binds, later ones for a control too.
        {"Note 1 Channel 1=Stop\nNote 1 Channel 1=Next\nNote 1 Channel 1=Jump\n", "Note 1 Channel 1=Jump\n",
         "Note 1 Channel 1=Stop\nNote 1 Channel 1=Next\nNote 1 Channel 1=Jump\n", "Note 1 Channel 1=Jump\n", 0, ""},
    };
    for (const auto& c : cases) {
        SectionText base = {const_cast<char*>(c.base), static_cast<uint32_t>(std::strlen(c.base)), 0};
        SectionText ours = {const_cast<char*>(c.ours), static_cast<uint32_t>(std::strlen(c.ours)), 0};
        SectionText theirs = {const_cast<char*>(c.theirs), static_cast<uint32_t>(std::strlen(c.theirs)), 0};
        SectionText merged;
        uint32_t conflicts = 0;
        char first[80];
        ASSERT_TRUE(mergeSection(base, ours, theirs, &merged, &conflicts, first, sizeof first));
        EXPECT_EQ(std::string(merged.text, merged.length), c.merged) << c.ours;
        EXPECT_EQ(conflicts, c.conflicts) << c.ours;
        EXPECT_STREQ(c.first[0] != '\0' ? first : "", c.first);
        freeSection(&merged);
    }
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
        {controller(0, 7, 0), {request(ReqSetVolume, 0)}, "a fader's first move acts, to 0 too"},
        {controller(0, 7, 100), {request(ReqSetVolume, 200)}, "a fader"},
        {controller(0, 7, 101), {}, "within one of its last value"},
        {controller(0, 7, 50), {request(ReqSetVolume, 100)}, "further"},
        {controller(15, 21, 127), {command(CmdForward5s), command(CmdForward5s)}, "a channel-16 controller bound"},
        {controller(15, 21, 0), {}, "and released"},
        {controller(15, 19, 127), {command(CmdRewind5s), command(CmdRewind5s)}, "another one as before"},
        {programChange(0, 3), {command(CmdPrevious)}, "a program change"},
        {programChange(0, 4), {}, "an unbound one"},
        {pitchBend(1, 5, 60), {command(CmdVolumeDown)}, "a bound wheel moves from the centre first"},
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

std::string status(Dialog d) { return fake::itemText(d, IDC_BINDING_STATUS); }
Texts listed(Dialog d) { return fake::listEntries(d, IDC_BINDING_LIST); }

// Two bindings and a line that is not used. Cancel, with Learn waiting,
// changes nothing; Learn needs a device and an action that fits; OK writes
// the binding's own lines: a removed one's line deleted, a changed one's
// rewritten in place, a new one added, the unused line kept.
TEST_F(BindingsTest, TheDialogLearnsAndWritesOnOkLineByLine) {
    fake::setDevices({{"Pads"}});
    addLines({"Note 036 Channel 10=Next", "Controller 7 Channel 1=Volume", "Note 99 Channel 1=Jump"});
    const Texts before = fake::profileLines(kIni, kBindingsSection);
    fake::setDialogScript(IDD_BINDINGS, [](Dialog d) {
        fake::press(d, IDC_LEARN);
        EXPECT_EQ(status(d).find("Learn cannot listen. No MIDI device is in use"), 0u) << status(d);
        useDevice();
        fake::press(d, IDC_LEARN);
        fake::press(d, IDC_REMOVE_ALL);
        EXPECT_TRUE(listed(d).empty());
        fake::closeBox(d);  // closes, Learn waiting or not
        EXPECT_TRUE(fake::hasEnded(d));
    });
    runBindingsDialog(nullptr);
    dispatchMessage(noteOn(0, 64, 90), 1000);
    EXPECT_EQ(fake::sends(), (std::vector<Send>{command(CmdPause)})) << "Cancel stops Learn";
    EXPECT_EQ(fake::profileLines(kIni, kBindingsSection), before) << "and writes nothing";
    fake::clearSends();
    fake::setDialogScript(IDD_BINDINGS, [](Dialog d) {
        fake::choose(d, IDC_BINDING_LIST, 0);
        fake::choose(d, IDC_BINDING_ACTION, kActionVolume - 1);  // does not fit a note
        EXPECT_EQ(listed(d)[0], "Note 36 (C2), channel 10: Next");
        EXPECT_EQ(fake::listSelection(d, IDC_BINDING_ACTION), kActionNext - 1) << status(d);
        fake::choose(d, IDC_BINDING_ACTION, kActionShuffle - 1);
        EXPECT_EQ(status(d), "Note 36 (C2), channel 10 now: Shuffle");
        fake::choose(d, IDC_BINDING_LIST, 1);
        fake::press(d, IDC_REMOVE);
        EXPECT_EQ(learn(d, kActionPlay, controller(0, 64, 127), 2000), "Learned Controller 64, channel 1: Play.");
        EXPECT_EQ(listed(d), (Texts{"Note 36 (C2), channel 10: Shuffle", "Controller 64, channel 1: Play"}));
        // A shift button learned here is the shift while Learn waits, before
        // OK gives it to the worker: held, the pad becomes a Shift line; let
        // go, a plain one.
        learn(d, kActionShift, noteOn(9, 40, 100), 2100);
        EXPECT_EQ(learn(d, kActionPlayEntry, noteOn(9, 40, 100), 2200),
                  "Shift (Note 40 (E2), channel 10) held: now press or move the control to bind with Shift.");
        dispatchMessage(noteOn(9, 37, 100), 2300);
        fake::serveNotifications(d);
        EXPECT_EQ(status(d), "Learned Shift + Note 37 (C#2), channel 10: Play Entry 1.");
        fake::press(d, IDC_LEARN);
        uint32_t now = 2300;
        for (uint32_t message : {noteOn(9, 40, 100), noteOff(9, 40), noteOn(9, 38, 100)}) {
            dispatchMessage(message, now += 100);
            fake::serveNotifications(d);
        }
        EXPECT_EQ(status(d), "Learned Note 38 (D2), channel 10: Play Entry 2.");
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    EXPECT_TRUE(fake::sends().empty()) << "Learn's messages act on nothing";
    EXPECT_EQ(fake::profileLines(kIni, kBindingsSection),
              (Texts{"Note 036 Channel 10=Shuffle", "Note 99 Channel 1=Jump", "Controller 64 Channel 1=Play",
                     "Note 40 Channel 10=Shift", "Shift Note 37 Channel 10=Play Entry 1",
                     "Note 38 Channel 10=Play Entry 2"}));
    EXPECT_EQ(fake::allocationsLive(), 2) << "the dialog freed its own; the section in effect and the worker's table stay";
    dispatchMessage(controller(0, 64, 127), 9000);
    EXPECT_EQ(fake::sends(), (std::vector<Send>{command(CmdPlay)})) << "the new table, from the next message";
}

// The Gesture list shows the selected binding's gesture and changes it on its
// own line, value kept, unless the control has that gesture bound already, an
// earlier unused line names it, or the binding does not take it; with nothing
// selected it is what Learn binds. An action a Hold line does not take, or a
// second shift button, is refused and the binding stays as it was, listed
// and selected.
TEST_F(BindingsTest, TheGestureListFollowsAndChangesTheSelectedBinding) {
    useDevice();
    addLines({"Note 35 Channel 10 Hold=Jump", "Note 36 Channel 10=Shift", "Note 37 Channel 10 Hold=Stop, lit 5",
              "Note 37 Channel 10=Play", "Controller 20 Channel 1 Hold=Next", "Note 35 Channel 10=Stop",
              "Controller 20 Channel 1=Jump"});
    fake::setDialogScript(IDD_BINDINGS, [](Dialog d) {
        const Texts before = listed(d);
        fake::choose(d, IDC_BINDING_LIST, 4);
        fake::choose(d, IDC_GESTURE, kGestureHold);
        EXPECT_NE(status(d).find("\"Note 35 Channel 10 Hold=Jump\", names it and is not used"), std::string::npos);
        EXPECT_EQ(fake::listSelection(d, IDC_GESTURE), kGesturePress);
        fake::choose(d, IDC_BINDING_LIST, 3);
        fake::choose(d, IDC_BINDING_ACTION, kActionVolume - 1);
        EXPECT_EQ(status(d), "Controller 20, channel 1, hold: Hold and Double press go with a press action. It stays "
                             "Next.");
        fake::choose(d, IDC_BINDING_LIST, 2);
        fake::choose(d, IDC_BINDING_ACTION, kActionShift - 1);
        EXPECT_EQ(status(d), "Note 37 (C#2), channel 10: the device has a shift button already. It stays Play.");
        EXPECT_EQ(listed(d), before);
        EXPECT_EQ(fake::listSelection(d, IDC_BINDING_LIST), 2);
        EXPECT_EQ(fake::listSelection(d, IDC_BINDING_ACTION), kActionPlay - 1);
        fake::focus(d, IDC_BINDING_LIST);
        fake::pressKey(d, kDialogCancel);
        EXPECT_EQ(learn(d, kActionShift, noteOn(9, 41, 100), 1000),
                  "Received Note 41 (F2), channel 10. A device has one shift button, and Note 36 (C2), channel 10 is "
                  "it: remove it first. Learn stopped without binding it.");
        fake::choose(d, IDC_BINDING_LIST, 1);
        EXPECT_EQ(fake::listSelection(d, IDC_GESTURE), kGestureHold);
        fake::choose(d, IDC_GESTURE, kGesturePress);
        EXPECT_EQ(status(d), "Note 37 (C#2), channel 10 is bound already: remove that binding first.");
        EXPECT_EQ(fake::listSelection(d, IDC_GESTURE), kGestureHold);
        fake::choose(d, IDC_GESTURE, kGestureDouble);
        EXPECT_EQ(status(d), "Note 37 (C#2), channel 10, hold now: Note 37 (C#2), channel 10, double press.");
        EXPECT_EQ(listed(d)[1], "Note 37 (C#2), channel 10, double press: Stop (lit 5, dark 0)");
        fake::choose(d, IDC_BINDING_LIST, 0);
        EXPECT_EQ(fake::listSelection(d, IDC_GESTURE), kGesturePress);
        fake::choose(d, IDC_GESTURE, kGestureHold);
        EXPECT_EQ(status(d), "Note 36 (C2), channel 10: a shift button is pressed, not held or pressed twice.");
        fake::focus(d, IDC_BINDING_LIST);
        fake::pressKey(d, kDialogCancel);  // Esc in the list selects nothing: the list is Learn's again
        fake::choose(d, IDC_GESTURE, kGestureHold);
        EXPECT_EQ(learn(d, kActionNext, noteOn(9, 38, 100), 2000), "Learned Note 38 (D2), channel 10, hold: Next.");
        fake::choose(d, IDC_BINDING_LIST, 3);  // an unused line after it names its new gesture: it takes it
        fake::choose(d, IDC_GESTURE, kGesturePress);
        EXPECT_EQ(status(d), "Controller 20, channel 1, hold now: Controller 20, channel 1.");
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    EXPECT_EQ(fake::profileLines(kIni, kBindingsSection),
              (Texts{"Note 35 Channel 10 Hold=Jump", "Note 36 Channel 10=Shift", "Note 37 Channel 10=Play",
                     "Note 35 Channel 10=Stop", "Controller 20 Channel 1=Next", "Controller 20 Channel 1=Jump",
                     "Note 37 Channel 10 Double=Stop, lit 5", "Note 38 Channel 10 Hold=Next"}))
        << "a control's new gesture is a new key to the file: written where its lines are, or after the others";
}

// The review's section: a line without "=" before a binding's own line, a
// comment, blank lines, later lines for bound controls, an unused line and
// another section after. The list is what the reader makes of the lines as
// they stand; the action drop-down changes only a binding the user selected;
// Esc and Enter stop Learn; OK changes only the lines of what changed, and
// Remove All, once confirmed, leaves no binding acting.
TEST_F(BindingsTest, OkChangesOnlyTheLinesOfWhatTheUserChanged) {
    useDevice();
    const std::string head = "[Notewick]\r\nMIDIDevice=0\r\n\r\n[Notewick Bindings]\r\n";
    const std::string tail = "\r\n[Other]\r\nNote 40 Channel 10=Play\r\n";
    const std::string blanks(300, ' ');
    fake::setFile(kIni, head + "Note 36 Channel 10\r\n; pads\r\nNote 36 Channel 10" + blanks + "=Stop\r\n"
                               "  Note 38 Channel 10 = Next  \r\nNote 38 Channel 10=Play\r\nNote 64 Channel 1=Next\r\n"
                               "Note 64 Channel 1=Stop\r\nNote 99 Channel 1=Jump\r\n" + tail);
    fake::setDialogScript(IDD_BINDINGS, [](Dialog d) {
        EXPECT_EQ(listed(d), (Texts{"Note 36 (C2), channel 10: Stop", "Note 38 (D2), channel 10: Next",
                                    "Note 64 (E4), channel 1: Next"}));
        fake::choose(d, IDC_BINDING_ACTION, kActionPause - 1);
        EXPECT_EQ(listed(d)[0], "Note 36 (C2), channel 10: Stop") << "nothing selected, nothing changed";
        EXPECT_EQ(learn(d, kActionStop, noteOn(9, 40, 90), 1000), "Learned Note 40 (E2), channel 10: Stop.");
        EXPECT_EQ(fake::listSelection(d, IDC_BINDING_LIST), -1);
        EXPECT_EQ(fake::listScrolledTo(d, IDC_BINDING_LIST), 3);
        fake::choose(d, IDC_BINDING_ACTION, kActionNext - 1);
        EXPECT_EQ(listed(d)[3], "Note 40 (E2), channel 10: Stop") << "Learn left nothing selected";
        fake::choose(d, IDC_BINDING_LIST, 0);
        fake::choose(d, IDC_BINDING_ACTION, kActionNext - 1);
        fake::focus(d, IDC_BINDING_LIST);
        fake::pressKey(d, kDialogCancel);  // Esc in the list: nothing selected, the dialog stays
        EXPECT_EQ(fake::listSelection(d, IDC_BINDING_LIST), -1);
        fake::choose(d, IDC_BINDING_ACTION, kActionPause - 1);
        fake::choose(d, IDC_BINDING_LIST, 1);
        fake::press(d, IDC_REMOVE);
        EXPECT_EQ(listed(d), (Texts{"Note 36 (C2), channel 10: Next", "Note 38 (D2), channel 10: Play",
                                    "Note 64 (E4), channel 1: Next", "Note 40 (E2), channel 10: Stop"}))
            << "the later line for pad 38 acts at once";
        EXPECT_EQ(status(d), "Removed Note 38 (D2), channel 10: Next. A later line for it now acts: Note 38 (D2), "
                             "channel 10: Play.");
        EXPECT_EQ(fake::listSelection(d, IDC_BINDING_LIST), -1);
        EXPECT_EQ(fake::focusedControl(d), IDC_BINDING_LIST);
        for (uint32_t key : {kDialogCancel, kDialogOk}) {
            fake::press(d, IDC_LEARN);
            fake::pressKey(d, key);
            EXPECT_EQ(status(d), "Learn stopped: nothing was learned.");
        }
        dispatchMessage(noteOn(9, 50, 90), 2000);
        fake::serveNotifications(d);
        EXPECT_EQ(listed(d).size(), 4u) << "Learn no longer waits";
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    EXPECT_EQ(section(), head + "Note 36 Channel 10\r\n; pads\r\nNote 36 Channel 10" + blanks + "=Next\r\nNote 38 Channel 10=Play\r\n"
                                "Note 64 Channel 1=Next\r\nNote 64 Channel 1=Stop\r\nNote 99 Channel 1=Jump\r\n"
                                "Note 40 Channel 10=Stop\r\n" + tail);
    fake::setDialogScript(IDD_BINDINGS, [](Dialog d) {
        fake::setConfirmAnswer(false);
        fake::press(d, IDC_REMOVE_ALL);
        EXPECT_EQ(listed(d).size(), 4u) << "Remove All asks first";
        fake::setConfirmAnswer(true);
        fake::press(d, IDC_REMOVE_ALL);
        EXPECT_TRUE(listed(d).empty());
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    EXPECT_EQ(section(), head + "Note 36 Channel 10\r\n; pads\r\nNote 99 Channel 1=Jump\r\n" + tail);
    dispatchMessage(noteOn(0, 64, 90), 3000);
    EXPECT_EQ(fake::sends(), (std::vector<Send>{command(CmdPause)})) << "the key map again, not the later line";
    // After Remove the list's caret is where the removed binding was (on the
    // last one when it was last): the arrow keys go on from there.
    fake::setFile(kIni, head + "Note 1 Channel 1=Next\r\nNote 2 Channel 1=Stop\r\nNote 3 Channel 1=Play\r\n");
    fake::setDialogScript(IDD_BINDINGS, [](Dialog d) {
        for (int32_t caret : {1, 0}) {
            fake::choose(d, IDC_BINDING_LIST, 1);
            fake::press(d, IDC_REMOVE);
            EXPECT_EQ(fake::listScrolledTo(d, IDC_BINDING_LIST), caret);
        }
        EXPECT_EQ(listed(d), (Texts{"Note 1 (C#-1), channel 1: Next"}));
        fake::press(d, kDialogCancel);
    });
    runBindingsDialog(nullptr);
}

// A Learn that would not act after OK is refused with a sentence that says
// what was received and why; the live line does not call the message taken,
// and OK then writes nothing.
TEST_F(BindingsTest, LearnRefusesWhatWouldNotActAfterOk) {
    useDevice();
    std::string programs;
    for (uint32_t n = 0; n < 129; ++n) programs += "Program " + std::to_string(n % 128) + " Channel " + std::to_string(n / 128 + 1) + "=Next\r\n";
    const struct {
        std::string lines;
        uint32_t action, message;
        std::string says;
    } cases[] = {
        {"Note 36 Channel 10=Stop\r\n", kActionVolumeSteps, controller(0, 64, 127),
         "Received Controller 64, channel 1. Volume Steps needs the pitch-bend wheel."},
        {"Note 99 Channel 1=Jump\r\n", kActionPlay, noteOn(0, 99, 90),
         "Received Note 99 (D#7), channel 1, but line 1 of the [Notewick Bindings] section of "
         "C:\\Player\\Plugins\\plugin.ini, \"Note 99 Channel 1=Jump\", names it and is not used: its action is not "
         "one Notewick knows. Mend or remove that line."},
        {programs, kActionPlay, noteOn(0, 64, 90),
         "Received Note 64 (E4), channel 1, but there are 128 bindings already, the most Notewick uses: remove one "
         "first."},
        {"; " + std::string(32760, 'x') + "\r\nNote 36 Channel 10=Stop\r\n", kActionPlay, noteOn(0, 65, 90),
         "Received Note 65 (F4), channel 1, but the bindings section is over 32 KB, and a line past that is not read: "
         "remove lines first."},
    };
    uint32_t now = 1000;
    for (const auto& c : cases) {
        fake::setFile(kIni, "[Notewick Bindings]\r\n" + c.lines);
        static uint32_t action, message, at;
        static std::string says;
        action = c.action, message = c.message, at = now += 100, says = c.says;
        fake::setDialogScript(IDD_BINDINGS, [](Dialog d) {
            size_t count = listed(d).size();
            LineState seen;
            startLine(&seen);
            EXPECT_EQ(learn(d, action, message, at), says + " Learn stopped without binding it.");
            char line[200];
            ASSERT_TRUE(nextLine(&seen, line, sizeof line));
            EXPECT_NE(std::string(line).find(": nothing: Learn did not bind it"), std::string::npos) << line;
            EXPECT_EQ(listed(d).size(), count);
            fake::press(d, kDialogOk);
        });
        fake::clearSends();
        size_t written = fake::profilePathsWritten().size();
        runBindingsDialog(nullptr);
        EXPECT_EQ(fake::profilePathsWritten().size(), written) << c.says;
    }
    // Past the 128th binding nothing acts; once one line goes, the 129th does,
    // and the list shows it at once.
    fake::setFile(kIni, "[Notewick Bindings]\r\n" + programs);
    fake::setDialogScript(IDD_BINDINGS, [](Dialog d) {
        EXPECT_EQ(listed(d).back(), "Program 127, channel 1: Next");
        fake::choose(d, IDC_BINDING_LIST, 0);
        fake::press(d, IDC_REMOVE);
        EXPECT_EQ(listed(d).size(), 128u);
        EXPECT_EQ(listed(d).back(), "Program 0, channel 2: Next");
    });
    runBindingsDialog(nullptr);
}

// The dialog opens with the bindings in effect: after a failed save, the
// session's; after a hand edit of the file, the file's, which the worker
// takes as the dialog opens.
TEST_F(BindingsTest, TheDialogOpensWithTheBindingsInEffect) {
    useDevice();
    fake::setFile(kIni, "[Notewick Bindings]\r\nNote 36 Channel 10=Stop\r\n");
    loadBindings();
    fake::setWritable(kIni, false);
    fake::setDialogScript(IDD_BINDINGS, [](Dialog d) {
        learn(d, kActionNext, noteOn(9, 40, 90), 1000);
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    EXPECT_EQ(fake::messageBoxes(), (Texts{"Could not save the settings"}));
    dispatchMessage(noteOn(9, 40, 90), 2000);
    EXPECT_EQ(fake::sends(), (std::vector<Send>{command(CmdNext)})) << "the session keeps what could not be saved";
    static Texts shown;
    fake::setDialogScript(IDD_BINDINGS, [](Dialog d) { shown = listed(d); });
    runBindingsDialog(nullptr);
    EXPECT_EQ(shown, (Texts{"Note 36 (C2), channel 10: Stop", "Note 40 (E2), channel 10: Next"}));
    fake::setWritable(kIni, true);
    fake::setFile(kIni, "[Notewick Bindings]\r\nNote 36 Channel 10=Play\r\n");
    runBindingsDialog(nullptr);
    EXPECT_EQ(shown, (Texts{"Note 36 (C2), channel 10: Play"}));
    fake::clearSends();
    dispatchMessage(noteOn(9, 36, 90), 3000);
    EXPECT_EQ(fake::sends(), (std::vector<Send>{command(CmdPlay)})) << "in effect, Cancel or not";
}

// What the status line says when Learn cannot listen, and that a device that
// goes away while Learn waits stops it.
TEST_F(BindingsTest, TheStatusLineSaysWhyLearnCannotListen) {
    fake::setDevices({{"Pads"}, {"Keys"}});
    const struct {
        int32_t device;
        const char* name;
        bool open, openFails;
        const char* says;
    } cases[] = {
        {-1, "", false, false, "No MIDI device is in use: choose one in the configuration dialog. To learn from it, close this dialog (OK "
                                "keeps your changes), press Apply in the configuration dialog, then open Bindings "
                                "again."},
        {0, "Drums", false, false, "Drums, the device in use, is not connected: connect it"},
        {0, "Pads", false, true, "Notewick could not open Pads: another program may be using it"},
        {0, "Pads", true, false, "Choose an action, press Learn, then press a key or move a control on Pads."},
    };
    for (const auto& c : cases) {
        resetPluginState();
        pluginSettings.midiDevice = c.device;
        std::strcpy(pluginSettings.midiDeviceName, c.name);
        fake::device(0).openResult = c.openFails ? 4 : 0;
        if (c.device >= 0 && (c.open || c.openFails)) openMainPort(c.device);
        static std::string said;
        fake::setDialogScript(IDD_BINDINGS, [](Dialog d) { said = status(d); });
        runBindingsDialog(nullptr);
        EXPECT_EQ(said.find(c.says), 0u) << said;
    }
    // A choice in the configuration dialog not yet applied, then the device
    // in use going away while Learn waits.
    fake::setDialogScript(IDD_CONFIG, [](Dialog config) {
        fake::choose(config, IDC_DEVICE, 2);
        fake::press(config, IDC_BINDINGS);
    });
    fake::setDialogScript(IDD_BINDINGS, [](Dialog d) {
        EXPECT_NE(status(d).find("(Keys is chosen in the configuration dialog but not applied yet"), std::string::npos)
            << status(d);
        fake::press(d, IDC_LEARN);
        fake::device(0).nameReadable = false;
        fake::runTimer(d);
        EXPECT_EQ(status(d).find("Pads went away, so Learn stopped."), 0u) << status(d);
    });
    pluginRecord.configProc();
}

// In the dialog: hand edits meanwhile are kept at OK; a control the file
// changed too is shown merged first, with the user's change, and the next OK
// writes it.
TEST_F(BindingsTest, OkKeepsHandEditsAndSaysWhenBothChangedAControl) {
    useDevice();
    const std::string head = "[Notewick]\r\nMIDIDevice=0\r\n[Notewick Bindings]\r\n";
    fake::setFile(kIni, head + "Note 1 Channel 1=Stop\r\nNote 2 Channel 1=Next\r\n");
    fake::setDialogScript(IDD_BINDINGS, [&head](Dialog d) {
        learn(d, kActionPlay, noteOn(0, 3, 90), 1000);
        fake::setFile(kIni, head + "Note 1 Channel 1=Repeat\r\nNote 2 Channel 1=Next\r\nNote 4 Channel 1=Open\r\n");
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    EXPECT_EQ(section(), head + "Note 1 Channel 1=Repeat\r\nNote 2 Channel 1=Next\r\nNote 4 Channel 1=Open\r\n"
                                "Note 3 Channel 1=Play\r\n");
    fake::setDialogScript(IDD_BINDINGS, [&head](Dialog d) {
        fake::choose(d, IDC_BINDING_LIST, 0);
        fake::choose(d, IDC_BINDING_ACTION, kActionStop - 1);
        fake::setFile(kIni, head + "Note 1 Channel 1=Shuffle\r\n");
        fake::press(d, kDialogOk);
        EXPECT_EQ(status(d).find("plugin.ini was edited while this dialog was open. Its changes are kept; where it "
                                 "changed a control you changed too (Note 1 (C#-1), channel 1), yours win."),
                  0u)
            << status(d);
        EXPECT_EQ(listed(d), (Texts{"Note 1 (C#-1), channel 1: Stop"}));
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    EXPECT_EQ(section(), head + "Note 1 Channel 1=Stop\r\n");
}

}  // namespace
