// plugin_test.cpp -- the record, the description, the settings file, and the
// init and quit sequences.
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "core/settings.h"
#include "core/text.h"
#include "midi/mailbox.h"
#include "ui/dialogs.h"
#include "ui/resource.h"
#include "tests/unit/test_support.h"

namespace {

class LifecycleTest : public PluginTest {
protected:
    std::string stored(const char* key) {
        std::string value;
        return fake::profileValue(kIni, "Notewick", key, &value) ? value : "<missing>";
    }
    // Waits until the worker has sent `count` messages (or a second passed).
    std::vector<fake::Send> sendsAfterWorker(size_t count) {
        for (int i = 0; i < 1000 && fake::sends().size() < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // and nothing more
        return fake::sends();
    }
};

// ---- Record and description ------------------------------------------------

TEST_F(LifecycleTest, TheExportHandsOutTheOneRecordWithAnEmptyDescriptionBeforeInit) {
    GeneralPurposePlugin* record = winampGetGeneralPurposePlugin();
    EXPECT_EQ(record, winampGetGeneralPurposePlugin());
    EXPECT_EQ(record->version, 16);
    EXPECT_STREQ(record->description, "");
    EXPECT_NE(record->initProc, nullptr);
    EXPECT_NE(record->configProc, nullptr);
    EXPECT_NE(record->quitProc, nullptr);
}

TEST_F(LifecycleTest, DescriptionNamesTheModuleFile) {
    EXPECT_EQ(pluginRecord.initProc(), 0);
    EXPECT_STREQ(pluginRecord.description, "Notewick Plug-In v1.2 (gen_notewick.dll)");
    pluginRecord.quitProc();
}

TEST_F(LifecycleTest, DescriptionOfAPathWithNoBackslashShowsTheWholePath) {
    fake::setModulePath("gen_notewick.dll");
    pluginRecord.initProc();
    EXPECT_STREQ(pluginRecord.description, "Notewick Plug-In v1.2 (gen_notewick.dll)");
    pluginRecord.quitProc();
}

TEST_F(LifecycleTest, DescriptionOfAVeryLongFileNameStaysInsideItsBuffer) {
    std::string path = "C:\\" + std::string(505, 'n');  // fits the 512-byte path buffer
    fake::setModulePath(path.c_str());
    pluginRecord.initProc();
    size_t length = std::strlen(pluginRecord.description);
    EXPECT_EQ(length, kDescriptionCapacity - 1);
    EXPECT_EQ(std::string(pluginRecord.description).rfind("Notewick Plug-In v1.2 (nnn", 0), 0u);
    pluginRecord.quitProc();
}

// ---- Settings path ---------------------------------------------------------

TEST_F(LifecycleTest, SettingsPathReplacesTheFileNameOrIsBareWithoutABackslash) {
    char path[kSettingsPathCapacity];
    ASSERT_TRUE(settingsPath(nullptr, path, sizeof path));
    EXPECT_EQ(std::string(path), kIni);
    fake::setModulePath("gen_notewick.dll");
    ASSERT_TRUE(settingsPath(nullptr, path, sizeof path));
    EXPECT_STREQ(path, "plugin.ini");
    fake::setModulePath("C:\\gen_notewick.dll");
    ASSERT_TRUE(settingsPath(nullptr, path, sizeof path));
    EXPECT_STREQ(path, "C:\\plugin.ini");
}

TEST_F(LifecycleTest, APathThatDoesNotFitMeansNoLoadAndNoSave) {
    // The module path fits, but its directory with "plugin.ini" does not.
    std::string directory = "C:\\" + std::string(250, 'd') + "\\";
    fake::setModulePath((directory + "a.dll").c_str());
    char path[kSettingsPathCapacity];
    EXPECT_FALSE(settingsPath(nullptr, path, sizeof path));
    fake::setModulePath(("C:\\" + std::string(300, 'd') + "\\gen_notewick.dll").c_str());  // cut short
    EXPECT_FALSE(settingsPath(nullptr, path, sizeof path));
    fake::setModulePath(nullptr);
    EXPECT_FALSE(settingsPath(nullptr, path, sizeof path));

    pluginRecord.initProc();
    pluginRecord.quitProc();
    EXPECT_TRUE(fake::profilePathsRead().empty());
    EXPECT_TRUE(fake::profilePathsWritten().empty());
}

// ---- Loading and saving ------------------------------------------------------

TEST_F(LifecycleTest, FirstStartOpensNothingShowsNothingAndQuitWritesTheDefaults) {
    fake::setDevices({{"Keys"}});
    pluginRecord.initProc();
    EXPECT_TRUE(fake::midiCalls().empty());
    EXPECT_TRUE(fake::messageBoxes().empty());
    pluginRecord.quitProc();
    EXPECT_EQ(stored("MIDIDevice"), "-1");
    EXPECT_EQ(stored("MIDIChannel"), "0");
    EXPECT_TRUE(fake::midiCalls().empty());
}

TEST_F(LifecycleTest, LoadingKeepsTheCurrentValueForAMissingKeyAndTakesValuesAsRead) {
    fake::setProfile(kIni, "Notewick", "MIDIChannel", "12");
    loadSettings();
    EXPECT_EQ(pluginSettings.midiDevice, -1);
    EXPECT_EQ(pluginSettings.midiChannel.load(), 12);
    fake::setProfile(kIni, "Notewick", "MIDIDevice", "-7");
    fake::setProfile(kIni, "Notewick", "MIDIChannel", "99");
    loadSettings();
    EXPECT_EQ(pluginSettings.midiDevice, -7);
    EXPECT_EQ(pluginSettings.midiChannel.load(), 99);
}

TEST_F(LifecycleTest, SavingWritesPlainSignedDecimal) {
    for (int32_t value : {0, -1, 9, -2147483647 - 1, 2147483647}) {
        pluginSettings.midiDevice = value;
        pluginSettings.midiChannel.store(-value / 2);
        saveSettings();
        char want[12];
        formatDecimal(value, want);
        EXPECT_EQ(stored("MIDIDevice"), std::to_string(value));
        EXPECT_EQ(stored("MIDIChannel"), std::to_string(-value / 2));
        EXPECT_EQ(stored("MIDIDevice"), want);
    }
}

// The device's name is kept beside its number: written with every save,
// empty for no device, and read back exactly, blanks and quotes at its ends
// included (the profile reader drops those unless the value is quoted).
TEST_F(LifecycleTest, TheDeviceNameIsSavedBesideTheNumberAndReadsBackExactly) {
    std::string longest = std::string(30, 'k') + " ";  // 31 characters, the most a name has
    for (const char* name : {"USB MIDI Keyboard", "  Padded  ", "\"Quoted\"", "'", "", longest.c_str(), "Tab\v",
                             "\fFeed", "Eof\x1A", "Return\r"}) {
        pluginSettings.midiDevice = 3;
        std::strcpy(pluginSettings.midiDeviceName, name);
        saveSettings();
        pluginSettings.midiDeviceName[0] = 'x';
        loadSettings();
        EXPECT_STREQ(pluginSettings.midiDeviceName, name);
    }
    pluginSettings.midiDevice = -1;
    std::strcpy(pluginSettings.midiDeviceName, "Stale");
    saveSettings();
    EXPECT_EQ(stored("MIDIDeviceName"), "");
    EXPECT_EQ(stored("MIDIDevice"), "-1");
}

// ---- Init and quit -----------------------------------------------------------

TEST_F(LifecycleTest, AStoredDeviceAndChannelDriveCommandsThroughTheWorker) {
    fake::setDevices({{"Keys"}});
    fake::setProfile(kIni, "Notewick", "MIDIDevice", "0");
    fake::setProfile(kIni, "Notewick", "MIDIChannel", "9");
    fake::setTick(5000);
    pluginRecord.initProc();
    EXPECT_EQ(fake::midiCalls(), (std::vector<std::string>{"open 0", "start 0"}));
    fake::deliverData(0, noteOn(0, 64, 90));  // channel 1: nothing
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    fake::setTick(6000);
    fake::deliverData(0, noteOn(9, 64, 90));  // channel 10
    EXPECT_EQ(sendsAfterWorker(1), (std::vector<fake::Send>{fake::command(CmdPause)}));
    pluginRecord.quitProc();
    EXPECT_EQ(fake::openPorts(), 0u);
    EXPECT_EQ(stored("MIDIDevice"), "0");
    EXPECT_EQ(stored("MIDIChannel"), "9");
}

TEST_F(LifecycleTest, ADeviceThatIsNotInstalledShowsTheMessageAndIsSavedUnchanged) {
    fake::setDevices({{"Keys"}});
    fake::setProfile(kIni, "Notewick", "MIDIDevice", "4");
    EXPECT_EQ(pluginRecord.initProc(), 0);
    EXPECT_EQ(fake::messageBoxes(), (std::vector<std::string>{"Could not open MIDI device"}));
    EXPECT_EQ(fake::threadsStarted(), 1u);  // init goes on
    pluginRecord.quitProc();
    EXPECT_EQ(stored("MIDIDevice"), "4");
    EXPECT_EQ(fake::midiCalls(), (std::vector<std::string>{"open 4"}));  // the null port is not touched
}

// Quit ends the worker without acting on the last message. A port whose
// driver neither stops nor gives its buffers back cannot be closed: the
// module then stays loaded, so that the driver's late calls find its code,
// and nothing is shown.
TEST_F(LifecycleTest, QuitEndsTheWorkerWithoutActingOnTheLastMessageAndKeepsTheModuleForAPortLeftOpen) {
    for (bool stuck : {false, true}) {
        fake::reset();
        resetPluginState();
        pluginRecord.hostWindow = reinterpret_cast<WindowRef>(0x1234);
        fake::setDevices({{"Keys"}});
        fake::device(0).stopResult = stuck ? 6 : 0;
        fake::device(0).keepsBuffers = stuck;
        fake::setProfile(kIni, "Notewick", "MIDIDevice", "0");
        fake::setTick(5000);
        pluginRecord.initProc();
        messageMailbox.latestMessage[0].store(noteOn(0, 64, 90));  // stored but never signalled
        pluginRecord.quitProc();
        EXPECT_TRUE(fake::sends().empty());
        EXPECT_EQ(fake::threadsRunning(), 0u);
        EXPECT_EQ(fake::moduleKeptLoaded(), stuck);
        EXPECT_EQ(fake::openPorts(), stuck ? 1u : 0u);
        EXPECT_TRUE(fake::messageBoxes().empty());
    }
}

TEST_F(LifecycleTest, WithoutAWakeEventTheWorkerIsNotStartedAndQuitStillSaves) {
    fake::setDevices({{"Keys"}});
    fake::setProfile(kIni, "Notewick", "MIDIDevice", "0");
    fake::failEventCreation(true);
    pluginRecord.initProc();
    EXPECT_EQ(fake::threadsStarted(), 0u);
    EXPECT_TRUE(fake::messageBoxes().empty());
    fake::setTick(5000);
    fake::deliverData(0, noteOn(0, 64, 90));
    pluginRecord.quitProc();
    EXPECT_TRUE(fake::sends().empty());
    EXPECT_EQ(stored("MIDIDevice"), "0");
}

TEST_F(LifecycleTest, AThreadThatCannotStartChangesNothingElse) {
    fake::setDevices({{"Keys"}});
    fake::setProfile(kIni, "Notewick", "MIDIDevice", "0");
    fake::failThreadStart(true);
    pluginRecord.initProc();
    EXPECT_TRUE(fake::messageBoxes().empty());
    EXPECT_EQ(fake::openPorts(), 1u);
    pluginRecord.quitProc();
    EXPECT_EQ(fake::openPorts(), 0u);
    EXPECT_EQ(stored("MIDIDevice"), "0");
}

// ---- Text helpers --------------------------------------------------------------

// Which settings file init chooses, and what OK, Apply and quit then write.
// The file beside the plug-in holds device 0 and a binding; a per-user file
// already there holds channel 5.
TEST_F(LifecycleTest, TheSettingsFileIsTheUsersOwnWhenThePluginsFolderCannotBeWritten) {
    const std::string user = std::string(fake::kUserDataFolder) + "\\Notewick\\plugin.ini";
    const struct {
        bool besideWritable, userThere, userWritable;
        std::string used;  // the file read and written
        int32_t channel;   // as read at init
        size_t boxes;      // "Could not save the settings": on the Bindings dialog's OK, Apply and OK
        const char* what;
    } cases[] = {
        {true, true, true, kIni, 0, 0, "a folder that can be written keeps its file"},
        {false, false, true, user, 0, 0, "else the user's own, a copy of the other the first time"},
        {false, true, true, user, 5, 0, "one already there is used, not overwritten"},
        {false, true, false, user, 5, 2, "one there that cannot be written is still the one read"},
        {false, false, false, kIni, 0, 3, "neither can be written: read beside, and said on each OK and Apply"},
    };
    for (const auto& c : cases) {
        fake::reset();
        resetPluginState();
        fake::setDevices({{"Keys"}});
        fake::setProfile(kIni, "Notewick", "MIDIDevice", "0");
        fake::setProfile(kIni, "Notewick Bindings", "Note 36 Channel 10", "Stop");
        if (c.userThere) fake::setProfile(user, "Notewick", "MIDIChannel", "5");
        fake::setWritable(kIni, c.besideWritable);
        fake::setWritable(user, c.userWritable);
        pluginRecord.initProc();
        EXPECT_EQ(pluginSettings.midiChannel.load(), c.channel) << c.what;
        fake::setDialogScript(IDD_BINDINGS, [](fake::WindowRefForTests b) {
            fake::choose(b, IDC_BINDING_LIST, 0);
            fake::choose(b, IDC_BINDING_ACTION, 0);
            fake::press(b, kDialogOk);
        });
        fake::setDialogScript(IDD_CONFIG, [](fake::WindowRefForTests d) {
            fake::press(d, IDC_BINDINGS);
            fake::choose(d, IDC_CHANNEL, 7);
            fake::press(d, IDC_APPLY);
            fake::press(d, kDialogOk);
        });
        pluginRecord.configProc();
        pluginRecord.quitProc();
        EXPECT_EQ(fake::messageBoxes(), std::vector<std::string>(c.boxes, "Could not save the settings")) << c.what;
        std::string channel, binding;
        bool written = fake::profileValue(c.used, "Notewick", "MIDIChannel", &channel);
        EXPECT_EQ(written && channel == "7", c.boxes == 0) << c.what;
        EXPECT_TRUE(fake::profileValue(c.used, "Notewick Bindings", "Note 36 Channel 10", &binding) || c.userThere)
            << c.what << ": every section comes along";
        for (const std::string& path : fake::profilePathsWritten()) EXPECT_EQ(path, c.used) << c.what;
    }
}

// Another program holds the file beside the plug-in while init runs: no
// empty per-user file is made to be read at every later start instead, and
// quit does not write the defaults it had to use over the user's settings.
TEST_F(LifecycleTest, AFileAnotherProgramHoldsIsNeitherHiddenNorOverwritten) {
    const std::string user = std::string(fake::kUserDataFolder) + "\\Notewick\\plugin.ini";
    fake::setDevices({{"Keys"}});
    fake::setProfile(kIni, "Notewick", "MIDIDevice", "0");
    fake::setWritable(kIni, false);
    fake::setReadable(kIni, false);
    pluginRecord.initProc();
    std::string text;
    EXPECT_FALSE(fake::fileText(user, &text));
    fake::setWritable(kIni, true);  // the other program lets go
    fake::setReadable(kIni, true);
    pluginRecord.quitProc();
    EXPECT_EQ(stored("MIDIDevice"), "0");
    resetPluginState();
    pluginRecord.initProc();
    EXPECT_EQ(pluginSettings.midiDevice, 0);
    pluginRecord.quitProc();
}

TEST(TextTest, AppendStopsAtTheCapacityAndAlwaysTerminates) {
    char buffer[8] = "abc";
    EXPECT_TRUE(appendText(buffer, sizeof buffer, "def"));
    EXPECT_STREQ(buffer, "abcdef");
    EXPECT_FALSE(appendText(buffer, sizeof buffer, "ghij"));
    EXPECT_STREQ(buffer, "abcdefg");
    char full[4] = {'x', 'y', 'z', 'w'};  // not terminated
    EXPECT_FALSE(appendText(full, sizeof full, "a"));
    EXPECT_EQ(full[3], '\0');
}

}  // namespace
