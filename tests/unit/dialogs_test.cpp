// dialogs_test.cpp -- the configuration and autodetect dialog flows against
// the fake platform.
#include <string>

#include "core/settings.h"
#include "midi/mailbox.h"
#include "ui/dialogs.h"
#include "ui/resource.h"
#include "tests/unit/test_support.h"

namespace {

typedef std::vector<std::string> Texts;
typedef fake::WindowRefForTests Dialog;

class DialogTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        fake::setDevices({{"Alpha"}, {"Beta"}, {"Gamma"}});
    }
    // Runs the configuration dialog with the user's actions in script.
    void runConfig(std::function<void(Dialog)> script) {
        fake::setDialogScript(IDD_CONFIG, [this, script](Dialog d) {
            config_ = d;
            script(d);
        });
        pluginRecord.configProc();
    }
    // Opens the main port as init would.
    void startWithDevice(int32_t device) {
        pluginSettings.midiDevice = device;
        mainInputPort = openInputPort(static_cast<uint32_t>(device), mainDataHandler, 0);
    }
    Dialog config_ = nullptr;
};

// ---- Configuration dialog ------------------------------------------------------

TEST_F(DialogTest, ListsHoldNoneThenTheDevicesAndTheSixteenChannels) {
    pluginSettings.midiDevice = 1;
    pluginSettings.midiChannel.store(5);
    runConfig([](Dialog d) {
        EXPECT_EQ(fake::listEntries(d, IDC_DEVICE), (Texts{"None", "Alpha", "Beta", "Gamma"}));
        EXPECT_EQ(fake::listSelection(d, IDC_DEVICE), 2);  // list index = device index + 1
        Texts channels;
        for (int i = 1; i <= 16; ++i) channels.push_back(std::to_string(i));
        EXPECT_EQ(fake::listEntries(d, IDC_CHANNEL), channels);
        EXPECT_EQ(fake::listSelection(d, IDC_CHANNEL), 5);
        fake::press(d, kDialogCancel);
    });
    EXPECT_EQ(configDialogWindow, config_);
}

TEST_F(DialogTest, WithNoDevicesTheListHoldsOnlyNone) {
    fake::setDevices({});
    runConfig([](Dialog d) {
        EXPECT_EQ(fake::listEntries(d, IDC_DEVICE), (Texts{"None"}));
        EXPECT_EQ(fake::listSelection(d, IDC_DEVICE), 0);
    });
}

TEST_F(DialogTest, OkOpensTheChosenDeviceAndSetsTheChannel) {
    startWithDevice(0);
    runConfig([](Dialog d) {
        fake::choose(d, IDC_DEVICE, 3);
        fake::choose(d, IDC_CHANNEL, 9);
        fake::press(d, kDialogOk);
        EXPECT_TRUE(fake::hasEnded(d));
    });
    EXPECT_EQ(pluginSettings.midiDevice, 2);
    EXPECT_EQ(pluginSettings.midiChannel.load(), 9);
    EXPECT_EQ(fake::openPortsFor(0), 0u);
    EXPECT_EQ(fake::openPortsFor(2), 1u);
    EXPECT_TRUE(fake::messageBoxes().empty());
}

TEST_F(DialogTest, ApplyTwiceClosesAndReopensTwiceAndCancelUndoesNothing) {
    startWithDevice(1);
    runConfig([](Dialog d) {
        fake::press(d, IDC_APPLY);
        fake::press(d, IDC_APPLY);
        EXPECT_FALSE(fake::hasEnded(d));
        fake::choose(d, IDC_CHANNEL, 3);
        fake::press(d, IDC_APPLY);
        fake::choose(d, IDC_CHANNEL, 7);
        fake::press(d, kDialogCancel);
    });
    EXPECT_EQ(fake::midiCalls(), (std::vector<std::string>{"open 1", "start 1", "stop 1", "close 1", "open 1",
                                                            "start 1", "stop 1", "close 1", "open 1", "start 1",
                                                            "stop 1", "close 1", "open 1", "start 1"}));
    EXPECT_EQ(pluginSettings.midiChannel.load(), 3);
    EXPECT_EQ(fake::openPortsFor(1), 1u);
}

TEST_F(DialogTest, ChoosingNoneClosesThePortWithoutAMessage) {
    startWithDevice(0);
    runConfig([](Dialog d) {
        fake::choose(d, IDC_DEVICE, 0);
        fake::press(d, IDC_APPLY);
    });
    EXPECT_EQ(pluginSettings.midiDevice, -1);
    EXPECT_EQ(fake::openPorts(), 0u);
    EXPECT_TRUE(fake::messageBoxes().empty());
}

TEST_F(DialogTest, AStaleStoredDeviceShowsBothMessagesAndBecomesNone) {
    pluginSettings.midiDevice = 7;  // init could not open it: no port
    runConfig([](Dialog d) {
        EXPECT_EQ(fake::listSelection(d, IDC_DEVICE), -1);
        fake::press(d, kDialogOk);
    });
    EXPECT_EQ(fake::messageBoxes(), (Texts{"Error Closing MIDI Device", "Error Opening MIDI Device"}));
    EXPECT_EQ(pluginSettings.midiDevice, -1);
    EXPECT_EQ(fake::openPorts(), 0u);
}

TEST_F(DialogTest, AStoredDeviceTooLargeForTheListSelectsNothing) {
    pluginSettings.midiDevice = 2147483647;
    runConfig([](Dialog d) { EXPECT_EQ(fake::listSelection(d, IDC_DEVICE), -1); });
}

TEST_F(DialogTest, AFailingOpenShowsTheMessageAndTheDeviceBecomesNone) {
    fake::device(2).openResult = 4;  // held elsewhere
    runConfig([](Dialog d) {
        fake::choose(d, IDC_DEVICE, 3);
        fake::press(d, IDC_APPLY);
    });
    EXPECT_EQ(fake::messageBoxes(), (Texts{"Error Opening MIDI Device"}));
    EXPECT_EQ(pluginSettings.midiDevice, -1);
}

TEST_F(DialogTest, AnEmptyChannelSelectionReadsAsMinusOne) {
    pluginSettings.midiChannel.store(40);  // hand-edited
    runConfig([](Dialog d) {
        EXPECT_EQ(fake::listSelection(d, IDC_CHANNEL), -1);
        fake::press(d, kDialogOk);
    });
    EXPECT_EQ(pluginSettings.midiChannel.load(), -1);
}

// The player quits from a message its window got inside the dialogs (the
// Bindings dialog with Learn waiting, the autodetect dialog), or while one of
// their message boxes is up: every dialog ends, the autodetect dialog's ports
// close, and nothing opens a port, writes the settings or shows a message
// afterwards.
TEST_F(DialogTest, QuitWhileTheDialogsAreOpenEndsThemAndNothingHappensAfter) {
    static uint32_t button;
    static size_t writtenAtQuit;
    static void (*quitNow)() = [] {
        if (pluginHasQuit()) return;
        pluginRecord.quitProc();
        writtenAtQuit = fake::profilePathsWritten().size();
    };
    // The configuration dialog's button, and where the player quits: in the
    // dialog the button opens (0 for none), or while a box is up.
    const struct {
        uint32_t button, inner;
        bool inBox;
    } cases[] = {
        {IDC_BINDINGS, IDD_BINDINGS, false},
        {IDC_AUTODETECT, IDD_AUTODETECT, false},
        {IDC_APPLY, 0, true},       // "Error Closing MIDI Device"
        {IDC_AUTODETECT, 0, true},  // the same, before the autodetect dialog opens
        {IDC_BINDINGS, IDD_BINDINGS, true},  // the Remove All question
    };
    for (const auto& c : cases) {
        fake::reset();
        resetPluginState();
        fake::setDevices({{"Alpha"}, {"Beta"}, {"Gamma"}});
        fake::setProfile(kIni, "Notewick", "MIDIDevice", "0");
        fake::setProfile(kIni, "Notewick Bindings", "Note 36 Channel 10", "Stop");
        if (c.inBox && c.inner == 0) fake::device(0).closeResult = 5;
        pluginRecord.initProc();
        button = c.button;
        writtenAtQuit = 0;
        void (*quitInBox)(const std::string&) = [](const std::string&) { quitNow(); };
        fake::setOnMessageBox(c.inBox ? quitInBox : nullptr);
        fake::setDialogScript(IDD_CONFIG, [](Dialog config) {
            fake::choose(config, IDC_DEVICE, 2);
            fake::press(config, button);
            EXPECT_TRUE(fake::hasEnded(config));
        });
        fake::setDialogScript(IDD_BINDINGS, [](Dialog d) {
            fake::press(d, IDC_LEARN);
            fake::press(d, IDC_REMOVE_ALL);  // asks first: the player may quit then
            quitNow();
            EXPECT_TRUE(fake::hasEnded(d));
        });
        fake::setDialogScript(IDD_AUTODETECT, [](Dialog d) {
            quitNow();
            EXPECT_TRUE(fake::hasEnded(d));
        });
        pluginRecord.configProc();
        EXPECT_TRUE(pluginHasQuit()) << c.button;
        EXPECT_EQ(fake::openPortsFor(1), 0u) << c.button;
        EXPECT_EQ(fake::openPortsFor(2), 0u) << c.button;
        EXPECT_EQ(fake::allocationsLive(), 0) << c.button;
        EXPECT_EQ(fake::profilePathsWritten().size(), writtenAtQuit) << c.button;
        EXPECT_EQ(fake::dialogsRun(IDD_AUTODETECT), c.inner == IDD_AUTODETECT ? 1u : 0u) << c.button;
        size_t boxes = fake::messageBoxes().size();
        pluginRecord.configProc();
        EXPECT_EQ(fake::dialogsRun(IDD_CONFIG), 1u) << "after quit no dialog opens";
        EXPECT_EQ(fake::messageBoxes().size(), boxes) << c.button;
    }
}

// ---- Autodetect ------------------------------------------------------------------

// Autodetect closes the main port only while it listens on every device:
// cancelled, it leaves the keyboard working and the settings as they were.
TEST_F(DialogTest, AutodetectThenCancelInBothKeepsTheDeviceInUse) {
    startWithDevice(1);
    fake::setDialogScript(IDD_AUTODETECT, [](Dialog a) {
        EXPECT_EQ(fake::openPorts(), 3u);  // every device, the main port closed
        fake::deliverData(2, noteOn(0, 60, 90));
        fake::press(a, kDialogCancel);
    });
    runConfig([](Dialog d) {
        fake::press(d, IDC_AUTODETECT);
        EXPECT_EQ(fake::openPortsFor(1), 1u);
        fake::press(d, kDialogCancel);
    });
    EXPECT_EQ(pluginSettings.midiDevice, 1);
    EXPECT_EQ(fake::openPorts(), 1u);
    EXPECT_EQ(fake::allocationsLive(), 0);
    fake::deliverData(1, noteOn(0, 65, 90));  // the main port takes it again
    EXPECT_EQ(messageMailbox.latestMessage[0].load() & 0xFFFFFFu, noteOn(0, 65, 90));
    pluginRecord.quitProc();
    std::string saved;
    ASSERT_TRUE(fake::profileValue(kIni, "Notewick", "MIDIDevice", &saved));
    EXPECT_EQ(saved, "1");
}

TEST_F(DialogTest, ANoteOnSelectsItsDeviceAndChannelAndTheLabelsFollowTheLatest) {
    fake::setDialogScript(IDD_AUTODETECT, [this](Dialog a) {
        EXPECT_FALSE(fake::isEnabled(config_));  // the configuration dialog takes no input meanwhile
        EXPECT_EQ(fake::itemText(a, IDC_DETECTED_PORT), "None");
        fake::deliverData(0, noteOn(3, 60, 90));
        fake::deliverData(2, noteOn(9, 64, 90));  // channel 10 of device 2: the latest
        fake::serveNotifications(a);
        EXPECT_EQ(fake::itemText(a, IDC_DETECTED_PORT), "Gamma");
        EXPECT_EQ(fake::itemText(a, IDC_DETECTED_CHANNEL), "10");
        fake::press(a, kDialogOk);
    });
    runConfig([](Dialog d) {
        fake::press(d, IDC_AUTODETECT);
        EXPECT_TRUE(fake::isEnabled(d));
        EXPECT_EQ(fake::listSelection(d, IDC_DEVICE), 3);
        EXPECT_EQ(fake::listSelection(d, IDC_CHANNEL), 9);
        EXPECT_EQ(pluginSettings.midiDevice, -1);  // nothing applied yet
        fake::press(d, kDialogOk);
    });
    EXPECT_EQ(pluginSettings.midiDevice, 2);
    EXPECT_EQ(pluginSettings.midiChannel.load(), 9);
    EXPECT_EQ(fake::openPorts(), 1u);
    EXPECT_EQ(fake::allocationsLive(), 0);
}

TEST_F(DialogTest, OnlyNoteOnsAreDetectedVelocityZeroIncluded) {
    fake::setDialogScript(IDD_AUTODETECT, [](Dialog a) {
        for (uint32_t message : {noteOff(4, 60), controller(4, 7, 100), pitchBend(4, 0, 90), 0xF8u,
                                 0x00007FD4u /* channel pressure */}) {
            fake::deliverData(1, message);
        }
        fake::deliver(1, 0x3C1, noteOn(4, 60, 90));  // not a data message
        fake::serveNotifications(a);
        EXPECT_EQ(fake::itemText(a, IDC_DETECTED_PORT), "None");
        EXPECT_EQ(latestDetection.load(), kNoDetection);
        fake::deliverData(1, noteOn(4, 60, 0));
        fake::serveNotifications(a);
        EXPECT_EQ(fake::itemText(a, IDC_DETECTED_PORT), "Beta");
        EXPECT_EQ(fake::itemText(a, IDC_DETECTED_CHANNEL), "5");
        fake::press(a, kDialogOk);
    });
    runConfig([](Dialog d) {
        fake::press(d, IDC_AUTODETECT);
        EXPECT_EQ(fake::listSelection(d, IDC_DEVICE), 2);
        EXPECT_EQ(fake::listSelection(d, IDC_CHANNEL), 4);
    });
}

TEST_F(DialogTest, OkBeforeAnyKeyChangesNothing) {
    pluginSettings.midiChannel.store(6);
    fake::setDialogScript(IDD_AUTODETECT, [](Dialog a) { fake::press(a, kDialogOk); });
    runConfig([](Dialog d) {
        fake::choose(d, IDC_DEVICE, 2);
        fake::press(d, IDC_AUTODETECT);
        EXPECT_EQ(fake::listSelection(d, IDC_DEVICE), 2);
        EXPECT_EQ(fake::listSelection(d, IDC_CHANNEL), 6);
    });
}

TEST_F(DialogTest, ADeviceBeyondTheListLeavesItWithNoSelection) {
    fake::setDialogScript(IDD_AUTODETECT, [](Dialog a) {
        fake::deliverData(3, noteOn(0, 60, 90));
        fake::press(a, kDialogOk);
    });
    runConfig([](Dialog d) {
        // A device plugged in after the list was filled.
        fake::setDevices({{"Alpha"}, {"Beta"}, {"Gamma"}, {"Delta"}});
        fake::press(d, IDC_AUTODETECT);
        EXPECT_EQ(fake::listSelection(d, IDC_DEVICE), -1);
        EXPECT_EQ(fake::listSelection(d, IDC_CHANNEL), 0);
    });
}

TEST_F(DialogTest, DevicesThatFailToOpenAreNotWatchedAndEveryOpenedPortIsClosed) {
    fake::device(1).openResult = 4;
    fake::device(2).startResult = 6;
    fake::setDialogScript(IDD_AUTODETECT, [](Dialog a) {
        EXPECT_EQ(fake::openPorts(), 1u);
        fake::press(a, 0xFFFF);  // some other command: nothing happens
        EXPECT_FALSE(fake::hasEnded(a));
    });  // ends by the close box
    runConfig([](Dialog d) { fake::press(d, IDC_AUTODETECT); });
    EXPECT_EQ(fake::openPorts(), 0u);
    EXPECT_TRUE(fake::messageBoxes().empty());
    EXPECT_EQ(fake::allocationsLive(), 0);
}

TEST_F(DialogTest, WithoutTheHandleArrayNothingIsWatched) {
    fake::failAllocation(true);
    fake::setDialogScript(IDD_AUTODETECT, [](Dialog a) {
        EXPECT_EQ(fake::openPorts(), 0u);
        fake::deliverData(0, noteOn(0, 60, 90));
        fake::serveNotifications(a);
        EXPECT_EQ(fake::itemText(a, IDC_DETECTED_PORT), "None");
        fake::press(a, kDialogOk);
    });
    runConfig([](Dialog d) {
        fake::press(d, IDC_AUTODETECT);
        EXPECT_EQ(fake::listSelection(d, IDC_DEVICE), 0);
    });
    EXPECT_EQ(fake::dialogsRun(IDD_AUTODETECT), 1u);
}

TEST_F(DialogTest, NoDevicesMeansNothingOpenedAndLabelsStayNone) {
    fake::setDevices({});
    fake::setDialogScript(IDD_AUTODETECT, [](Dialog a) {
        EXPECT_TRUE(fake::midiCalls().empty());
        EXPECT_EQ(fake::itemText(a, IDC_DETECTED_CHANNEL), "None");
        fake::press(a, kDialogOk);
    });
    runConfig([](Dialog d) {
        fake::press(d, IDC_AUTODETECT);
        EXPECT_EQ(fake::listSelection(d, IDC_DEVICE), 0);
    });
    EXPECT_EQ(fake::allocationsLive(), 0);
}

// When the autodetect dialog ends, however it ends, the player's window is
// still disabled under the configuration dialog, which is active again and
// takes input; and while autodetect runs, no second autodetect dialog or
// configuration dialog opens, whoever asks.
TEST_F(DialogTest, AfterAutodetectThePlayerStaysDisabledAndTheConfigurationDialogIsActive) {
    for (uint32_t button : {kDialogOk, kDialogCancel}) {
        fake::setDialogScript(IDD_AUTODETECT, [button](Dialog a) {
            runAutodetectDialog();
            pluginRecord.configProc();
            fake::press(a, button);
        });
        runConfig([](Dialog d) {
            fake::press(d, IDC_AUTODETECT);
            EXPECT_FALSE(fake::isEnabled(pluginRecord.hostWindow));
            EXPECT_TRUE(fake::isEnabled(d));
            EXPECT_EQ(fake::activeWindow(), d);
            fake::press(d, kDialogCancel);
        });
        EXPECT_TRUE(fake::isEnabled(pluginRecord.hostWindow));
    }
    EXPECT_EQ(fake::dialogsRun(IDD_AUTODETECT), 2u);
    EXPECT_EQ(fake::dialogsRun(IDD_CONFIG), 2u);
    EXPECT_EQ(fake::openPorts(), 0u);
    EXPECT_EQ(fake::allocationsLive(), 0);
}

TEST_F(DialogTest, AutodetectAfterAFailedInitOpenShowsTheClosingError) {
    pluginSettings.midiDevice = 1;  // no port
    fake::setDialogScript(IDD_AUTODETECT, [](Dialog a) { fake::press(a, kDialogCancel); });
    runConfig([](Dialog d) { fake::press(d, IDC_AUTODETECT); });
    EXPECT_EQ(fake::messageBoxes(), (Texts{"Error Closing MIDI Device"}));
    EXPECT_EQ(pluginSettings.midiDevice, 1);  // until OK or Apply takes the lists' choice
}

// ---- Devices coming and going ------------------------------------------------------

// Started on "Alpha", device 0, which init remembers by its name.
class DeviceChangeTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        fake::setProfile(kIni, "Notewick", "MIDIDevice", "0");
        pluginRecord.initProc();
        ASSERT_EQ(fake::openPortsFor(0), 1u);
    }
    void TearDown() override {
        pluginRecord.quitProc();
        EXPECT_EQ(fake::openPorts(), 0u);
        DialogTest::TearDown();
    }
    static void goAway(uint32_t device) {
        fake::device(device).nameReadable = false;
        fake::device(device).openResult = 6;  // MMSYSERR_NODRIVER
    }
};

// A device that has gone fails to stop; its port is closed all the same, and
// the device is opened again where its name turns up.
TEST_F(DeviceChangeTest, APortWhoseDeviceWentIsClosedEvenIfItWillNotStop) {
    goAway(0);
    fake::device(0).stopResult = 6;
    fake::device(2).name = "Alpha";
    fake::deviceListChanged();
    EXPECT_EQ(fake::openPortsFor(0), 0u);
    EXPECT_EQ(fake::openPortsFor(2), 1u);
    EXPECT_EQ(pluginSettings.midiDevice, 2);
    EXPECT_TRUE(fake::messageBoxes().empty());
}

// One that will not close either stays the main port, for quit to close,
// rather than being forgotten while it can still call into the module.
TEST_F(DeviceChangeTest, APortThatWillNotCloseIsKeptAndNothingElseOpened) {
    goAway(0);
    fake::device(0).stopResult = 6;
    fake::device(0).closeResult = 6;
    fake::device(2).name = "Alpha";
    fake::deviceListChanged();
    EXPECT_EQ(fake::openPortsFor(0), 1u);
    EXPECT_EQ(fake::openPortsFor(2), 0u);
    fake::device(0).stopResult = 0;
    fake::device(0).closeResult = 0;
}

// The dialogs have no port to close once the device watch closed it, and
// say nothing about it.
TEST_F(DeviceChangeTest, APortClosedWithItsDeviceIsNoErrorForTheDialog) {
    goAway(0);
    fake::deviceListChanged();
    EXPECT_EQ(fake::openPorts(), 0u);
    runConfig([](Dialog d) {
        fake::choose(d, IDC_DEVICE, 2);
        fake::press(d, kDialogOk);
    });
    EXPECT_TRUE(fake::messageBoxes().empty()) << fake::messageBoxes()[0];
    EXPECT_EQ(fake::openPortsFor(1), 1u);
}

// The configured device is away, and another sits at its index: the list
// offers "Alpha (not connected)", and Apply with it keeps that device without
// a message, the channel taken, even after another device was applied; once
// Alpha is back, Autodetect finds that entry by the name, and Apply opens it.
// A later dialog without such an entry takes each entry as listed.
TEST_F(DeviceChangeTest, AnAwayDeviceKeepsItsEntryAndItsSettings) {
    fake::device(0).name = "Delta";
    fake::deviceListChanged();
    runConfig([](Dialog d) {
        EXPECT_EQ(fake::listEntries(d, IDC_DEVICE), (Texts{"None", "Delta", "Beta", "Gamma", "Alpha (not connected)"}));
        EXPECT_EQ(fake::listSelection(d, IDC_DEVICE), 4);
        fake::choose(d, IDC_CHANNEL, 5);
        fake::press(d, IDC_APPLY);
        EXPECT_EQ(fake::openPorts(), 0u);
        fake::choose(d, IDC_DEVICE, 2);
        fake::press(d, IDC_APPLY);
        fake::choose(d, IDC_DEVICE, 4);
        fake::press(d, IDC_APPLY);
        EXPECT_EQ(fake::openPorts(), 0u);
        EXPECT_EQ(pluginSettings.midiDevice, 0);
        EXPECT_STREQ(pluginSettings.midiDeviceName, "Alpha");
        fake::device(2).name = "Alpha";
        fake::setDialogScript(IDD_AUTODETECT, [](Dialog a) {
            fake::deliverData(2, noteOn(5, 60, 90));
            fake::press(a, kDialogOk);
        });
        fake::press(d, IDC_AUTODETECT);
        EXPECT_EQ(fake::listSelection(d, IDC_DEVICE), 4);
        fake::press(d, IDC_APPLY);
        EXPECT_EQ(fake::openPortsFor(2), 1u);
    });
    EXPECT_TRUE(fake::messageBoxes().empty());
    EXPECT_EQ(pluginSettings.midiChannel.load(), 5);
    std::string name;
    ASSERT_TRUE(fake::profileValue(kIni, "Notewick", "MIDIDeviceName", &name));
    EXPECT_EQ(name, "Alpha");
    fake::setDevices({{"Delta"}, {"Beta"}, {"Alpha"}, {"Epsilon"}});
    runConfig([](Dialog d) {
        fake::choose(d, IDC_DEVICE, 4);
        fake::press(d, kDialogOk);
    });
    EXPECT_EQ(fake::openPortsFor(3), 1u);
}

// A port that will not close is no longer the main port once the dialog
// takes another device, and said once; quit tries it again.
TEST_F(DeviceChangeTest, APortThatWillNotCloseInTheDialogIsLeftForQuit) {
    fake::device(0).stopResult = 6;
    fake::device(0).closeResult = 6;
    runConfig([](Dialog d) {
        fake::choose(d, IDC_DEVICE, 2);
        fake::press(d, IDC_APPLY);
        fake::press(d, kDialogOk);
    });
    EXPECT_EQ(fake::messageBoxes(), (Texts{"Error Closing MIDI Device"}));
    EXPECT_EQ(fake::openPortsFor(1), 1u);
    fake::device(0).stopResult = 0;
    fake::device(0).closeResult = 0;
}  // quit closes both

// A named device that is there but held elsewhere at start, at another index
// than stored: the list shows it where it is, and the first Apply says there
// is no port to close, as for any device init could not open. Once it is
// gone, its "(not connected)" entry says nothing.
TEST_F(DialogTest, ANamedDeviceInitCouldNotOpen) {
    for (bool goesAway : {false, true}) {
        fake::reset();
        resetPluginState();
        fake::setDevices({{"Alpha"}, {"Beta"}, {"Gamma"}});
        fake::setProfile(kIni, "Notewick", "MIDIDevice", "2");
        fake::setProfile(kIni, "Notewick", "MIDIDeviceName", "Beta");
        fake::device(1).openResult = 4;
        pluginRecord.initProc();
        if (goesAway) {
            fake::device(1).nameReadable = false;
            fake::deviceListChanged();
        }
        runConfig([goesAway](Dialog d) {
            EXPECT_EQ(fake::listSelection(d, IDC_DEVICE), goesAway ? 4 : 2);
            fake::press(d, IDC_APPLY);
        });
        Texts boxes{"Could not open MIDI device"};
        if (!goesAway) boxes = {"Could not open MIDI device", "Error Closing MIDI Device", "Error Opening MIDI Device"};
        EXPECT_EQ(fake::messageBoxes(), boxes) << goesAway;
        pluginRecord.quitProc();
    }
}

// Its device went while Autodetect had the port closed: there is nothing to
// close, and no error to show, when OK then takes another device.
TEST_F(DeviceChangeTest, ADeviceGoneDuringAutodetectIsNoErrorForOk) {
    fake::setDialogScript(IDD_AUTODETECT, [](Dialog a) {
        goAway(0);
        fake::press(a, kDialogCancel);
    });
    runConfig([](Dialog d) {
        fake::press(d, IDC_AUTODETECT);
        fake::choose(d, IDC_DEVICE, 2);
        fake::press(d, kDialogOk);
    });
    EXPECT_TRUE(fake::messageBoxes().empty());
    EXPECT_EQ(fake::openPortsFor(1), 1u);
}

// While the dialog is open a port whose device went is closed, and nothing
// is opened; a device back at the same number and name is a new port, opened
// as soon as the dialog closes, by Cancel too.
TEST_F(DeviceChangeTest, AChangeWhileTheDialogIsOpenWaitsUntilItCloses) {
    runConfig([](Dialog d) {
        goAway(0);
        fake::deviceListChanged();
        EXPECT_EQ(fake::openPortsFor(0), 0u) << "the handle of a device that went never hears again";
        fake::device(0).nameReadable = true;
        fake::device(0).openResult = 0;
        fake::deviceListChanged();
        EXPECT_EQ(fake::openPortsFor(0), 0u) << "the dialogs own the port";
        fake::press(d, kDialogCancel);
    });
    EXPECT_EQ(fake::openPortsFor(0), 1u);
}

}  // namespace
