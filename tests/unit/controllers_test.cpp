// controllers_test.cpp -- controllers added beside the configured device:
// each with its own bindings, window, knobs and lights, its ports followed by
// name; the Bindings dialog adding one, using a map on it and removing it.
#include <cstdio>
#include <string>
#include <vector>

#include "core/bindings_section.h"
#include "core/controllers.h"
#include "core/main_port.h"
#include "core/maps.h"
#include "core/output_port.h"
#include "core/settings.h"
#include "core/units.h"
#include "midi/dispatch.h"
#include "midi/identity.h"
#include "midi/lights.h"
#include "midi/mailbox.h"
#include "midi/outcome.h"
#include "ui/dialogs.h"
#include "ui/resource.h"
#include "tests/fake/fake_device_interface.h"
#include "tests/unit/test_support.h"

using fake::command;
using fake::request;
using fake::Send;

namespace {

typedef std::vector<std::string> Texts;
typedef std::vector<uint32_t> Messages;
// The Device Inquiry as outputMessages shows it: asked once per open, after the Setup.
const uint32_t kInquirySent = 0xF0 | (6 << 8);
typedef std::vector<Send> Sends;

class ControllersTest : public PluginTest {
protected:
    // Keys (the configured device, system device 0) and Pads (system device
    // 1, output 0), added as controller 2.
    void SetUp() override {
        PluginTest::SetUp();
        fake::setDevices({{"Keys"}, {"Pads"}});
        fake::setOutputs({{"Pads"}});
    }
    static void start(const std::string& sections) {
        fake::setFile(kIni, "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIDeviceName=Keys\r\n" + sections);
        loadSettings();
        loadBindings();
        openMainPortAtStart();
        loadControllers();
        messageMailbox.wakeEvent.store(platformCreateEvent());
    }
    // The worker's turn: every device's message, system-exclusive data, knobs.
    static void work(uint32_t tick) {
        fake::setTick(tick);
        for (uint32_t device = 0; device < kMaxDevices; ++device) {
            ShortMessage message = takeSignalledMessage(device);
            if (message != 0) dispatchMessage(message, tick, device);
            dispatchTransport(device, tick);
        }
        dispatchLongData();
        actOnKnobSteps(tick);
    }
};

const char kPads[] = "[Notewick Controller 2]\r\nInput=Pads\r\nOutput=Pads\r\nSetup=B0 7F 00 F0 00 20 29 0E 01 F7\r\n"
                     "Note 36 Channel 10=Shuffle, lit 5\r\nNote 37 Channel 10=Jump\r\nEncoder 16 Channel 1=Track\r\n";

// A message from the controller goes to its bindings only, through its own
// window; the key map stays with the configured device; Machine Control and
// knobs act from every device; Learn listens to one device.
TEST_F(ControllersTest, EachDeviceHasItsOwnBindingsWindowAndKnobs) {
    start(std::string("[Notewick Bindings]\r\nNote 36 Channel 10=Stop\r\n") + kPads);
    EXPECT_EQ(fake::openPortsFor(1), 1u);
    EXPECT_TRUE(controllerInputOpen(2));
    const struct {
        uint32_t system;  // the system's device, 0 Keys, 1 Pads
        uint32_t message;  // 0: Machine Control Stop
        uint32_t tick;
        std::vector<Send> sends;
        const char* line;
        uint32_t device;  // the plug-in's device the line names
    } steps[] = {
        {0, noteOn(9, 36, 90), 1000, {command(CmdStop)}, "Note-on 36 (C2), velocity 90, channel 10: Stop (binding)", 0},
        {1, noteOn(9, 36, 90), 1010, {command(CmdShuffle)}, "Note-on 36 (C2), velocity 90, channel 10: Shuffle (binding)",
         2},
        {1, noteOn(0, 64, 90), 1060, {}, "Note-on 64 (E4), velocity 90, channel 1: nothing: no binding takes it. Bind "
                                         "it with Bindings", 2},
        {0, noteOn(0, 64, 90), 1070, {command(CmdPause)}, "Note-on 64 (E4), velocity 90, channel 1: Pause (key map)", 0},
        {1, noteOn(9, 37, 90), 1110, {}, "Note-on 37 (C#2), velocity 90, channel 10: nothing: line 5 of [Notewick "
                                         "Controller 2], \"Note 37 Channel 10=Jump\", names it and is not used: its "
                                         "action is not one Notewick knows", 2},
        {1, controller(0, 16, 2), 1115, Sends(2, command(CmdNext)), "Encoder 16, channel 1: Next track, 2 times "
                                                                   "(binding, 2 steps)", 2},
        {1, 0, 1200, {command(CmdStop)}, "MMC Stop: Stop (transport)", 2},
    };
    LineState seen;
    startLine(&seen);
    for (const auto& step : steps) {
        fake::setTick(step.tick);
        if (step.message != 0) {
            fake::deliverData(step.system, step.message);
        } else {
            fake::deliverSysex(step.system, {0xF0, 0x7F, 0x7F, 0x06, 0x01, 0xF7});
        }
        work(step.tick);
        EXPECT_EQ(fake::sends(), step.sends) << step.line;
        fake::clearSends();
        char line[300] = "";
        ASSERT_TRUE(nextLine(&seen, line, sizeof line)) << step.line;
        EXPECT_STREQ(line, step.line);
        EXPECT_EQ(seen.device, step.device) << step.line;
    }
    startLearning(nullptr, 2);
    fake::setTick(2000);
    fake::deliverData(0, noteOn(9, 36, 90));
    work(2000);
    EXPECT_EQ(fake::sends(), (std::vector<Send>{command(CmdStop)})) << "Learn listens to the controller only";
    fake::clearSends();
    fake::setTick(2100);
    fake::deliverData(1, noteOn(9, 36, 90));
    work(2100);
    EXPECT_TRUE(fake::sends().empty());
    EXPECT_EQ(takeLearnedMessage(), noteOn(9, 36, 90));
    startLearning(nullptr, kConfiguredDevice);
    fake::setTick(2200);
    fake::deliverData(1, controller(0, 16, 1));
    work(2200);
    EXPECT_EQ(fake::sends(), (std::vector<Send>{command(CmdNext)})) << "the controller's knob acts meanwhile";
    stopLearning();
}

// Every port of a device is opened, each with its own instance value: the
// key map reads the configured port alone, a controller's bindings its
// section's Port; the other ports carry the transport, where a binding for
// the same message wins, and each press acts once.
TEST_F(ControllersTest, EachPortOfADeviceReadsWhatItsRoleSays) {
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        for (uint32_t port = 1; port <= kMaxDevicePorts; ++port) {
            uint32_t d = 99, p = 99;
            ASSERT_TRUE(instancePort(portInstance(device, port), &d, &p));
            EXPECT_EQ(d * 100 + p, device * 100 + port);
        }
    }
    uint32_t d = 0, p = 0;
    EXPECT_FALSE(instancePort(kMaxDevices * kMaxDevicePorts, &d, &p));
    fake::setDevices({{"Keys"}, {"MIDIIN2 (Keys)"}, {"KeyLab"}, {"MIDIIN2 (KeyLab)"}});
    start("[Notewick Controller 1]\r\nInput=KeyLab\r\nPort=2\r\nNote 94 Channel 1=Next\r\n"
          "Note 36 Channel 10=Shuffle\r\n");
    for (uint32_t system = 0; system < 4; ++system) EXPECT_EQ(fake::openPortsFor(system), 1u) << system;
    fake::setPlayState(0);
    const struct {
        uint32_t system, message, tick;
        std::vector<Send> sends;
        const char* line;  // null: no news
        uint32_t device, port;
    } steps[] = {
        {1, noteOn(0, 94, 127), 1000, {request(ReqPlayState, 0), command(CmdPlay)}, "Mackie Control Play: Play (transport)", 0, 2},
        {1, noteOn(0, 94, 0), 1100, {}, nullptr, 0, 2},
        {1, noteOn(0, 64, 90), 1200, {}, nullptr, 0, 2},  // the key map reads port 1 only
        {0, noteOn(0, 64, 90), 1300, {command(CmdPause)}, "Note-on 64 (E4), velocity 90, channel 1: Pause (key map)", 0,
         0},
        {3, noteOn(0, 94, 127), 1400, {command(CmdNext)}, "Note-on 94 (A#6), velocity 127, channel 1: Next (binding)", 1,
         2},
        {3, noteOn(0, 93, 127), 1500, {command(CmdStop)}, "Mackie Control Stop: Stop (transport)", 1, 2},
        {2, noteOn(9, 36, 90), 1600, {}, nullptr, 1, 2},  // its bindings read port 2
        {3, noteOn(9, 36, 90), 1700, {command(CmdShuffle)}, "Note-on 36 (C2), velocity 90, channel 10: Shuffle (binding)",
         1, 2},
        {2, 0xFA, 1800, {command(CmdPlay)}, "MIDI Start: Play (transport)", 1, 0},
        {2, 0xF8, 1900, {}, nullptr, 1, 0},
    };
    LineState seen;
    startLine(&seen);
    for (const auto& step : steps) {
        fake::setTick(step.tick);
        fake::deliverData(step.system, step.message);
        work(step.tick);
        EXPECT_EQ(fake::sends(), step.sends) << std::hex << step.message;
        fake::clearSends();
        char line[300] = "";
        EXPECT_EQ(nextLine(&seen, line, sizeof line), step.line != nullptr) << std::hex << step.message;
        if (step.line == nullptr) continue;
        EXPECT_STREQ(line, step.line);
        EXPECT_EQ(seen.device * 10 + seen.port, step.device * 10 + step.port) << step.line;
    }
}

// The controller's output gets its set-up messages each time it opens, then
// its lights; its input follows its name when unplugged and plugged back,
// and is tried again while another program holds it; a section naming no
// device does nothing; quit closes everything.
TEST_F(ControllersTest, ItsPortsFollowTheirNamesAndItsOutputIsSetUpBeforeItsLights) {
    fake::device(1).openResult = 4;  // Pads held elsewhere at first
    start(std::string(kPads) + "[Notewick Controller 5]\r\nInput=Nothing Here\r\nNote 1 Channel 1=Stop\r\n");
    EXPECT_FALSE(controllerInputOpen(2));
    EXPECT_FALSE(controllerInputOpen(5));
    EXPECT_TRUE(controllersWaiting());
    fake::device(1).openResult = 0;
    controllersDeviceListChanged();
    EXPECT_TRUE(controllerInputOpen(2)) << "let go, found again";
    updateLights(1000);
    EXPECT_EQ(fake::outputMessages(0), (Messages{0x007FB0, 0xF0 | (7 << 8), kInquirySent, 0x002499}));
    EXPECT_EQ(fake::outputSysex(0), (std::vector<std::vector<uint8_t>>{{0xF0, 0x00, 0x20, 0x29, 0x0E, 0x01, 0xF7},
                                                                       {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}}));
    // Unplugged and plugged back, at another number.
    fake::setDevices({{"Keys"}});
    fake::setOutputs({});
    controllersDeviceListChanged();
    outputDeviceListChanged();
    EXPECT_EQ(fake::openPortsFor(1), 0u);
    EXPECT_FALSE(outputIsOpen(2));
    fake::setDevices({{"Other"}, {"Keys"}, {"Pads"}});
    fake::setOutputs({{"Synth"}, {"Pads"}});
    controllersDeviceListChanged();
    outputDeviceListChanged();
    EXPECT_EQ(fake::openPortsFor(2), 1u);
    EXPECT_TRUE(fake::outputIsOpen(1));
    updateLights(1200);
    EXPECT_EQ(fake::outputMessages(1), (Messages{0x007FB0, 0xF0 | (7 << 8), kInquirySent, 0x002499}))
        << "set up and asked again, then lit";
    EXPECT_TRUE(closeControllersAtQuit());
    EXPECT_EQ(fake::openPortsFor(2), 0u);
}

const char kMap[] = "; Pad Thing: a ready-made Notewick map.\r\n; Mode: as shipped.\r\n"
                    "; By hand: Hold Shift while plugging it in.\r\n; Sources: its maker.\r\n"
                    "[Notewick Controller]\r\nName=Pad Thing\r\nMatch=pads -drums\r\nSetup=B0 7F 00\r\n"
                    "Note 36 Channel 10=Play/Pause, lit 1, dark 0\r\nNote 37 Channel 10=Next\r\n";
const char kMapPath[] = "C:\\Player\\Plugins\\Notewick Maps\\Pad Thing.ini";

// The controller's output is asked who it is once per open, not again with
// its Setup; the worker takes only the awaited reply from its input, not one
// that is malformed or comes after the second, and none shows on the line.
TEST_F(ControllersTest, ItsOutputIsAskedOnceAndOnlyTheAwaitedReplyIsTaken) {
    const std::vector<uint8_t> korg = {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x42, 0x13, 0x01, 0x00, 0x00,
                                       0x01, 0x00, 0x00, 0x00, 0xF7};
    fake::setTick(1000);
    start(kPads);
    EXPECT_EQ(fake::outputMessages(0), (Messages{0x007FB0, 0xF0 | (7 << 8), kInquirySent}));
    reopenOutput(2, true);
    EXPECT_EQ(fake::outputMessages(0), (Messages{0x007FB0, 0xF0 | (7 << 8)})) << "set up again, not asked again";
    DeviceIdentity identity;
    fake::deliverSysex(1, {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x42, 0x13, 0x01, 0x00, 0xF7});  // too short
    work(1500);
    EXPECT_FALSE(deviceIdentity(2, &identity));
    LineState seen;
    startLine(&seen);
    fake::deliverSysex(1, korg);
    work(1999);
    ASSERT_TRUE(deviceIdentity(2, &identity));
    EXPECT_EQ(identity.family[0], 0x13);
    char line[320];
    EXPECT_FALSE(nextLine(&seen, line, sizeof line)) << "the reply is no message of the user's";
    // Unplugged and back: asked again; a reply after the second is not taken.
    fake::setOutputs({});
    outputDeviceListChanged();
    EXPECT_FALSE(deviceIdentity(2, &identity));
    fake::setOutputs({{"Pads"}});
    fake::setTick(3000);
    outputDeviceListChanged();
    EXPECT_EQ(fake::outputMessages(0), (Messages{0x007FB0, 0xF0 | (7 << 8), kInquirySent}));
    fake::deliverSysex(1, korg);
    work(4000);
    EXPECT_FALSE(deviceIdentity(2, &identity));
    EXPECT_EQ(inquiryState(2, 4000), kInquiryUnanswered);
}

// Two units of one kind, each with its USB instance: the Controller list
// and Add a controller show devices with their port counts, each unit once,
// and only the one no section holds; adding writes its Unit. The unit in use
// answered the Device Inquiry: the Lights line says what, and the map of
// that identity is offered (none matches its name), also when the answer
// comes while the dialog is open.
static const char* unitA = "";
TEST_F(ControllersTest, TwoUnitsOfAKindAreAddedByUnitAndOfferedAMapByIdentity) {
    const char* path = "\\\\?\\usb#vid_1235&pid_0113#%s#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";
    static char a[160], b[160];
    snprintf(a, sizeof a, path, "unit_a");
    snprintf(b, sizeof b, path, "unit_b");
    unitA = a;
    fake::setDevices({{"Keys"}, {"LPMiniMK3 MIDI"}, {"MIDIIN2 (LPMiniMK3 MIDI)"}, {"LPMiniMK3 MIDI"},
                      {"MIDIIN2 (LPMiniMK3 MIDI)"}});
    fake::setOutputs({{"LPMiniMK3 MIDI"}, {"MIDIOUT2 (LPMiniMK3 MIDI)"}, {"LPMiniMK3 MIDI"},
                      {"MIDIOUT2 (LPMiniMK3 MIDI)"}});
    fake::setInterfacePaths({"", a, a, b, b}, {a, a, b, b});
    fake::setFile("C:\\Player\\Plugins\\Notewick Maps\\Launchpad.ini",
                  "[Notewick Controller]\r\nName=Novation Launchpad Mini MK3\r\nMatch=Launchpad Mini\r\n"
                  "Identity=00 20 29 13 01\r\nNote 11 Channel 1=Stop\r\n");
    fake::setTick(1000);
    start("[Notewick Controller 3]\r\nInput=LPMiniMK3 MIDI\r\nUnit=vid_1235&pid_0113#unit_a\r\n"
          "Output=LPMiniMK3 MIDI\r\n");
    fake::setDialogScript(IDD_PICK, [](fake::WindowRefForTests p) {
        EXPECT_EQ(fake::listEntries(p, IDC_PICK_LIST), (Texts{"LPMiniMK3 MIDI (2), 2 ports"})) << "unit_a is in use";
        fake::press(p, kDialogOk);
    });
    fake::setDialogScript(IDD_BINDINGS, [](fake::WindowRefForTests d) {
        EXPECT_EQ(fake::listEntries(d, IDC_CONTROLLER), (Texts{"Keys", "LPMiniMK3 MIDI, 2 ports", "Add a controller..."}));
        fake::choose(d, IDC_CONTROLLER, 1);
        EXPECT_EQ(fake::itemText(d, IDC_MAP_OFFER), "No ready-made map is for LPMiniMK3 MIDI. All Maps... lists them all.");
        fake::deliverSysex(1, {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x00, 0x20, 0x29, 0x13, 0x01, 0x00, 0x00, 0x00, 0x04,
                               0x02, 0x02, 0xF7});
        work(1400);
        fake::runTimer(d);
        EXPECT_EQ(fake::itemText(d, IDC_MAP_OFFER), "A ready-made map for the Novation Launchpad Mini MK3 is ready:");
        std::string line = fake::itemText(d, IDC_LIVE_LINE);
        EXPECT_NE(line.find("\nLights of LPMiniMK3 MIDI: LPMiniMK3 MIDI (no bindings light). Identity: Novation, "
                            "family 13 01"),
                  std::string::npos)
            << line;
        fake::choose(d, IDC_CONTROLLER, 2);
        EXPECT_EQ(fake::listEntries(d, IDC_CONTROLLER),
                  (Texts{"Keys", "LPMiniMK3 MIDI (2), 2 ports", "LPMiniMK3 MIDI, 2 ports", "Add a controller..."}))
            << "the new one is controller 1";
        EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS), "Added LPMiniMK3 MIDI (2) as a controller: it listens from "
                                                         "OK on.");
        // Unit b unplugged meanwhile: the new controller is not connected,
        // though a device of its name still is.
        fake::setDevices({{"Keys"}, {"LPMiniMK3 MIDI"}, {"MIDIIN2 (LPMiniMK3 MIDI)"}});
        fake::setInterfacePaths({"", unitA, unitA}, {unitA, unitA});
        bindingsDevicesChanged();
        EXPECT_EQ(fake::listEntries(d, IDC_CONTROLLER),
                  (Texts{"Keys", "LPMiniMK3 MIDI (not connected)", "LPMiniMK3 MIDI, 2 ports", "Add a controller..."}));
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    std::string file;
    fake::fileText(kIni, &file);
    EXPECT_NE(file.find("[Notewick Controller 1]\r\nInput=LPMiniMK3 MIDI\r\nUnit=vid_1235&pid_0113#unit_b\r\n"
                        "Output=LPMiniMK3 MIDI\r\n"),
              std::string::npos)
        << file;
    // Without instances, a unit is its occurrence, and the first has no Unit line.
    char unit[kInstanceKeyCapacity];
    PortDevice second = {"LPMiniMK3 MIDI", "", 2, 1, 1, {3}, {2}};
    newSectionUnit(&second, unit, sizeof unit);
    EXPECT_STREQ(unit, "2");
    second.occurrence = 1;
    newSectionUnit(&second, unit, sizeof unit);
    EXPECT_STREQ(unit, "");
}

// The Bindings dialog: Add a controller offers the connected inputs not in
// use and chooses the output of the same name; the map that matches its
// name is offered and used (after asking, over bindings); OK writes its
// section and opens it, and the line names the device of each message;
// Save as Map writes the user's own; Remove Controller closes it at OK.
TEST_F(ControllersTest, TheDialogAddsAControllerUsesItsMapAndRemovesIt) {
    fake::setFile(kMapPath, kMap);
    start("");
    fake::setDialogScript(IDD_PICK, [](fake::WindowRefForTests p) {
        EXPECT_EQ(fake::listEntries(p, IDC_PICK_LIST), (Texts{"Pads"})) << "Keys is in use";
        fake::press(p, kDialogOk);
    });
    fake::setDialogScript(IDD_BINDINGS, [](fake::WindowRefForTests d) {
        EXPECT_EQ(fake::listEntries(d, IDC_CONTROLLER), (Texts{"Keys", "Add a controller..."}));
        EXPECT_FALSE(fake::isItemEnabled(d, IDC_REMOVE_CONTROLLER));
        fake::arrowTo(d, IDC_CONTROLLER, 1);  // the arrow keys pass over it: nothing opens before Enter
        EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS), "Add a controller...: press Enter to choose its MIDI input.");
        EXPECT_EQ(fake::dialogsRun(IDD_PICK), 0u);
        fake::pressKey(d, kDialogOk);
        EXPECT_EQ(fake::listEntries(d, IDC_CONTROLLER), (Texts{"Keys", "Pads", "Add a controller..."}));
        EXPECT_EQ(fake::listSelection(d, IDC_CONTROLLER), 1);
        EXPECT_EQ(fake::listSelection(d, IDC_LIGHTS), 1) << "its output, of the same name";
        EXPECT_EQ(fake::itemText(d, IDC_MAP_OFFER), "A ready-made map for the Pad Thing is ready:");
        fake::press(d, IDC_USE_MAP);
        EXPECT_EQ(fake::listEntries(d, IDC_BINDING_LIST),
                  (Texts{"Note 36 (C2), channel 10: Play/Pause (lit 1, dark 0)", "Note 37 (C#2), channel 10: Next"}));
        EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS), "Used the map for the Pad Thing: 2 bindings, from OK on. On "
                                                         "the device: Hold Shift while plugging it in.");
        EXPECT_EQ(fake::itemText(d, IDC_MAP_OFFER), "Uses the ready-made map for the Pad Thing.");
        fake::setConfirmAnswer(false);
        fake::press(d, IDC_USE_MAP);
        EXPECT_EQ(fake::messageBoxes().back(), "Replace the 2 bindings of Pads with the map for the Pad Thing? OK in "
                                               "the Bindings dialog keeps it.");
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    std::string file;
    fake::fileText(kIni, &file);
    EXPECT_NE(file.find("[Notewick Controller 1]\r\nInput=Pads\r\nOutput=Pads\r\nMap=Pad Thing\r\nSetup=B0 7F 00\r\n"
                        "Note 36 Channel 10=Play/Pause, lit 1, dark 0\r\nNote 37 Channel 10=Next\r\n"),
              std::string::npos)
        << file;
    EXPECT_TRUE(controllerInputOpen(1));
    EXPECT_TRUE(outputIsOpen(1));
    EXPECT_EQ(fake::outputMessages(0), (Messages{0x007FB0, kInquirySent}));
    fake::setDialogScript(IDD_BINDINGS, [](fake::WindowRefForTests d) { fake::press(d, kDialogOk); });
    runBindingsDialog(nullptr);
    EXPECT_TRUE(fake::outputMessages(0).empty()) << "an OK that changed nothing sets nothing up again";
    static const char* typed = "My Pads";
    fake::setDialogScript(IDD_MAP_NAME, [](fake::WindowRefForTests n) {
        EXPECT_EQ(fake::itemText(n, IDC_MAP_NAME), "Pads");
        fake::typeText(n, IDC_MAP_NAME, typed);
        fake::press(n, kDialogOk);
    });
    fake::setDialogScript(IDD_BINDINGS, [](fake::WindowRefForTests d) {
        // As the device watch has it: the ports follow, then the dialog.
        auto devicesChanged = [] {
            controllersDeviceListChanged();
            outputDeviceListChanged();
            bindingsDevicesChanged();
        };
        fake::choose(d, IDC_CONTROLLER, 1);
        fake::setDevices({{"Keys"}});
        fake::setOutputs({});
        devicesChanged();
        EXPECT_EQ(fake::listEntries(d, IDC_CONTROLLER), (Texts{"Keys", "Pads (not connected)", "Add a controller..."}));
        EXPECT_EQ(fake::listEntries(d, IDC_LIGHTS), (Texts{"None", "Pads (not connected)"}));
        EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS), "Pads is not connected: connect it to learn from it.");
        // Back: the list and the status line say so, without "(not connected)".
        fake::setDevices({{"Keys"}, {"Pads"}});
        fake::setOutputs({{"Pads"}});
        devicesChanged();
        EXPECT_EQ(fake::listEntries(d, IDC_LIGHTS), (Texts{"None", "Pads"}));
        EXPECT_EQ(fake::listSelection(d, IDC_LIGHTS), 1);
        EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS), "The bindings of Pads. Learn listens to it.");
        // The line names the device of each message, two being open, and
        // the Lights line under it the device shown.
        fake::setTick(5000);
        fake::deliverData(1, noteOn(9, 37, 90));
        work(5000);
        fake::runTimer(d);
        EXPECT_EQ(fake::itemText(d, IDC_LIVE_LINE),
                  "Pads: Note-on 37 (C#2), velocity 90, channel 10: Next (binding)\nLights of Pads: Pads (1 binding)");
        fake::press(d, IDC_SAVE_MAP);
        EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS).find("Saved the map My Pads as "), 0u);
        EXPECT_EQ(fake::itemText(d, IDC_MAP_OFFER), "A ready-made map for the My Pads is ready:") << "the user's own";
        typed = "my pads";
        fake::press(d, IDC_SAVE_MAP);
        EXPECT_EQ(fake::messageBoxes().back(), "Replace your map My Pads with the bindings shown?");
        EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS), "Nothing was saved.");
        typed = "Pad Thing";
        fake::press(d, IDC_SAVE_MAP);
        EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS), "A map that ships with Notewick is named Pad Thing: save "
                                                         "yours under another name.");
        fake::setConfirmAnswer(true);
        fake::press(d, IDC_REMOVE_CONTROLLER);
        EXPECT_EQ(fake::listEntries(d, IDC_CONTROLLER), (Texts{"Keys", "Add a controller..."}));
        EXPECT_EQ(fake::focusedControl(d), IDC_CONTROLLER) << "not the button, disabled now";
        EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS),
                  "Removed Pads. OK removes it and its section from the settings; Cancel keeps it as it was.");
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    fake::fileText(kIni, &file);
    EXPECT_EQ(file.find("Notewick Controller"), std::string::npos) << file;
    EXPECT_FALSE(controllerInputOpen(1));
    EXPECT_EQ(fake::openPortsFor(1), 0u);
    EXPECT_FALSE(fake::outputIsOpen(0));
    MapEntry maps[kMaxMaps];
    ASSERT_EQ(listMaps(maps, kMaxMaps), 2u);
    EXPECT_STREQ(maps[1].name, "My Pads");
    EXPECT_TRUE(matchesPortName(maps[1].match, "Pads"));
    SectionText lines;
    char byHand[80];
    bool unlit = true;
    ASSERT_TRUE(readMap(maps[1], &lines, byHand, sizeof byHand, &unlit));
    EXPECT_FALSE(unlit);
    EXPECT_EQ(std::string(lines.text, lines.length),
              "Setup=B0 7F 00\r\nNote 36 Channel 10=Play/Pause, lit 1, dark 0\r\nNote 37 Channel 10=Next\r\n");
    EXPECT_STREQ(byHand, "");
    freeSection(&lines);
    // A section written by hand while the player runs is listed and opened as
    // the dialog opens, and keeps its number; at OK, the hand edit of a
    // section the dialog did not change acts at once.
    fake::setDevices({{"Keys"}, {"Pads"}, {"Keystation 49"}});
    fake::setFile(kIni, file + "[Notewick Controller 1]\r\nInput=Keystation 49\r\nNote 40 Channel 1=Next\r\n");
    fake::setDialogScript(IDD_BINDINGS, [](fake::WindowRefForTests d) {
        EXPECT_EQ(fake::listEntries(d, IDC_CONTROLLER), (Texts{"Keys", "Keystation 49", "Add a controller..."}));
        EXPECT_TRUE(controllerInputOpen(1));
        fake::choose(d, IDC_CONTROLLER, 2);  // Pads, added
        std::string text;
        fake::fileText(kIni, &text);
        fake::setFile(kIni, text.replace(text.find("=Next"), 5, "=Stop"));
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    fake::fileText(kIni, &file);
    EXPECT_NE(file.find("[Notewick Controller 1]\r\nInput=Keystation 49\r\nNote 40 Channel 1=Stop\r\n"),
              std::string::npos)
        << file;
    EXPECT_NE(file.find("[Notewick Controller 2]\r\nInput=Pads\r\n"), std::string::npos) << file;
    fake::clearSends();
    fake::setTick(9000);
    fake::deliverData(2, noteOn(0, 40, 90));
    work(9000);
    EXPECT_EQ(fake::sends(), (Sends{command(CmdStop)}));
}

// The entry of the list that is selected; "" for none.
std::string selectedEntry(fake::WindowRefForTests d, uint32_t list) {
    Texts entries = fake::listEntries(d, list);
    int32_t at = fake::listSelection(d, list);
    return at >= 0 && static_cast<size_t>(at) < entries.size() ? entries[static_cast<size_t>(at)] : "";
}

// The lines of the settings file's section.
std::string sectionOf(const std::string& file, const std::string& header) {
    size_t at = file.find(header + "\r\n");
    if (at == std::string::npos) return "";
    size_t end = file.find("\r\n[", at);
    return file.substr(at, end == std::string::npos ? std::string::npos : end + 2 - at);
}

// Use Map keeps the controller's own output unless the map matches its input
// and the output is the input's own pair (Windows numbers a device's second
// ports "MIDIIN2 (X)" and "MIDIOUT2 (X)"); an output another controller uses
// is never taken; a map's Input, Output and Map lines never reach the section.
TEST_F(ControllersTest, UseMapKeepsTheOutputUnlessTheInputPairsIt) {
    fake::setDevices({{"Keys"}, {"Pads"}, {"Knobs"}, {"MIDIIN2 (Grid)"}});
    fake::setOutputs({{"Pads"}, {"Knobs"}, {"Grid"}, {"MIDIOUT2 (Grid)"}});
    fake::setFile(kMapPath, kMap);
    fake::setFile("C:\\Player\\Plugins\\Notewick Maps\\Grid.ini",
                  "; Grid: copied from someone's section.\r\n[Notewick Controller]\r\nName=Grid\r\nMatch=Grid\r\n"
                  "Input=Someone's Grid\r\nOutput=Someone's Out\r\nMap=Another\r\nNote 11 Channel 1=Stop\r\n");
    start("[Notewick Controller 1]\r\nInput=Knobs\r\nOutput=Knobs\r\n[Notewick Controller 2]\r\nInput=MIDIIN2 (Grid)\r\n"
          "[Notewick Controller 3]\r\nInput=Pads\r\nOutput=Pads\r\n");
    fake::setDialogScript(IDD_PICK, [](fake::WindowRefForTests p) {
        EXPECT_EQ(fake::listEntries(p, IDC_PICK_LIST), (Texts{"Grid", "Pad Thing"}));
        fake::choose(p, IDC_PICK_LIST, 1);
        fake::press(p, kDialogOk);
    });
    fake::setDialogScript(IDD_BINDINGS, [](fake::WindowRefForTests d) {
        ASSERT_EQ(fake::listEntries(d, IDC_CONTROLLER),
                  (Texts{"Keys", "Knobs", "MIDIIN2 (Grid)", "Pads", "Add a controller..."}));
        fake::choose(d, IDC_CONTROLLER, 1);
        EXPECT_EQ(fake::itemText(d, IDC_MAP_OFFER), "No ready-made map is for Knobs. All Maps... lists them all.");
        fake::press(d, IDC_CHOOSE_MAP);
        EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS), "Used the map for the Pad Thing: 2 bindings, from OK on. On "
                                                         "the device: Hold Shift while plugging it in.");
        EXPECT_EQ(selectedEntry(d, IDC_LIGHTS), "Knobs") << "not Pads, which the map matches and Pads uses";
        fake::choose(d, IDC_CONTROLLER, 2);
        EXPECT_EQ(selectedEntry(d, IDC_LIGHTS), "None");
        EXPECT_EQ(fake::itemText(d, IDC_MAP_OFFER), "A ready-made map for the Grid is ready:");
        fake::press(d, IDC_USE_MAP);
        EXPECT_EQ(selectedEntry(d, IDC_LIGHTS), "MIDIOUT2 (Grid)") << "the input's own, not Grid, the first it matches";
        EXPECT_EQ(fake::listEntries(d, IDC_BINDING_LIST), (Texts{"Note 11 (B-1), channel 1: Stop"}));
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    EXPECT_TRUE(fake::messageBoxes().empty()) << fake::messageBoxes().front();
    std::string file;
    fake::fileText(kIni, &file);
    EXPECT_EQ(sectionOf(file, "[Notewick Controller 1]"),
              "[Notewick Controller 1]\r\nInput=Knobs\r\nOutput=Knobs\r\nMap=Pad Thing\r\nSetup=B0 7F 00\r\n"
              "Note 36 Channel 10=Play/Pause, lit 1, dark 0\r\nNote 37 Channel 10=Next\r\n");
    EXPECT_EQ(sectionOf(file, "[Notewick Controller 2]"),
              "[Notewick Controller 2]\r\nInput=MIDIIN2 (Grid)\r\nMap=Grid\r\nNote 11 Channel 1=Stop\r\n"
              "Output=MIDIOUT2 (Grid)\r\n");
    EXPECT_EQ(sectionOf(file, "[Notewick Controller 3]"), "[Notewick Controller 3]\r\nInput=Pads\r\nOutput=Pads\r\n");
    EXPECT_TRUE(outputIsOpen(1) && outputIsOpen(2) && outputIsOpen(3));
}

// Save as Map: each name typed gets a clear answer, and no map or file is
// replaced without asking: names that make the same file name, a name
// Windows keeps for a device, an empty name, a shipped map's name with
// blanks around it, a name too long, a file in the folder that is no map,
// a device with no bindings.
TEST_F(ControllersTest, SaveAsMapAnswersEveryNameAndReplacesNothingUnasked) {
    const std::string folder = std::string(fake::kUserDataFolder) + "\\Notewick\\Maps\\";
    fake::setFile(kMapPath, kMap);
    fake::setFile(folder + "Loose.ini", "; not a map: no section\r\n");
    start("[Notewick Controller 1]\r\nInput=Pads\r\nOutput=Pads\r\nNote 36 Channel 10=Stop\r\n");
    static std::string typed;
    fake::setDialogScript(IDD_MAP_NAME, [](fake::WindowRefForTests n) {
        fake::typeText(n, IDC_MAP_NAME, typed);
        fake::press(n, kDialogOk);
    });
    fake::setDialogScript(IDD_BINDINGS, [folder](fake::WindowRefForTests d) {
        const struct {
            std::string typed;
            bool answer;          // to the question, when one is asked
            std::string question;  // "" for none
            std::string status;
        } saves[] = {
            {"My/APC: \"pads\"*?", true, "",
             "Saved the map My/APC: \"pads\"*? as " + folder + "My_APC_ _pads___.ini. All Maps... lists it."},
            {"My_APC_ _pads___", false,
             "Replace your map My/APC: \"pads\"*? with the bindings shown? My_APC_ _pads___ makes the same file name, "
             "My_APC_ _pads___.ini.",
             "Nothing was saved."},
            {"  my/apc: \"PADS\"*? ", false, "Replace your map My/APC: \"pads\"*? with the bindings shown?",
             "Nothing was saved."},
            {"CON", true, "", "Windows keeps the name CON for a device, and no file may have it: save the map under "
                              "another name."},
            {"lpt1.pads", true, "", "Windows keeps the name lpt1.pads for a device, and no file may have it: save the "
                                    "map under another name."},
            {"", true, "", "A map needs a name: nothing was saved."},
            {"   ", true, "", "A map needs a name: nothing was saved."},
            {"Pad Thing ", true, "", "A map that ships with Notewick is named Pad Thing: save yours under another name."},
            {" pad thing", true, "", "A map that ships with Notewick is named Pad Thing: save yours under another name."},
            {std::string(300, 'x'), true, "", "A map's name has at most 63 characters: nothing was saved. Save again "
                                              "with a shorter name."},
            {std::string(63, 'x'), true, "",
             "Saved the map " + std::string(63, 'x') + " as " + folder + std::string(63, 'x') + ".ini. All Maps... lists it."},
            {"Loose", false, "Replace the file Loose.ini in your maps folder with the bindings shown?", "Nothing was saved."},
            {"Loose", true, "Replace the file Loose.ini in your maps folder with the bindings shown?",
             "Saved the map Loose as " + folder + "Loose.ini. All Maps... lists it."},
            {"My_APC_ _pads___", true,
             "Replace your map My/APC: \"pads\"*? with the bindings shown? My_APC_ _pads___ makes the same file name, "
             "My_APC_ _pads___.ini.",
             "Saved the map My_APC_ _pads___ as " + folder + "My_APC_ _pads___.ini. All Maps... lists it."},
        };
        fake::choose(d, IDC_CONTROLLER, 1);
        for (const auto& save : saves) {
            typed = save.typed;
            fake::setConfirmAnswer(save.answer);
            size_t boxes = fake::messageBoxes().size();
            fake::press(d, IDC_SAVE_MAP);
            std::vector<std::string> asked = fake::messageBoxes();
            EXPECT_EQ(asked.size() > boxes ? asked.back() : "", save.question) << save.typed;
            EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS), save.status) << save.typed;
        }
        // The configured device has no bindings: no map, and no name asked.
        uint32_t asked = fake::dialogsRun(IDD_MAP_NAME);
        fake::choose(d, IDC_CONTROLLER, 0);
        fake::press(d, IDC_SAVE_MAP);
        EXPECT_EQ(fake::itemText(d, IDC_BINDING_STATUS), "The device shown has no bindings: there is no map to save.");
        EXPECT_EQ(fake::dialogsRun(IDD_MAP_NAME), asked);
        fake::press(d, kDialogCancel);
    });
    runBindingsDialog(nullptr);
    MapEntry maps[kMaxMaps];
    uint32_t count = listMaps(maps, kMaxMaps);
    Texts names;
    for (uint32_t i = 0; i < count; ++i) names.push_back(maps[i].name);
    EXPECT_EQ(names, (Texts{"Pad Thing", "Loose", "My_APC_ _pads___", std::string(63, 'x')})) << "each name once";
}

// One OK that removes a controller's lit binding and chooses no output for
// it: the pad goes dark before the output closes.
TEST_F(ControllersTest, ItsOldOutputGoesDarkWithTheBindingsThatLitIt) {
    // Identity= with nothing: the output is never asked who it is.
    start("[Notewick Controller 2]\r\nInput=Pads\r\nOutput=Pads\r\nIdentity=\r\nNote 36 Channel 10=Stop\r\n");
    updateLights(1000);
    ASSERT_EQ(fake::outputMessages(0), (Messages{0x7F2499})) << "stopped: the Stop pad is lit, no inquiry";
    fake::setDialogScript(IDD_BINDINGS, [](fake::WindowRefForTests d) {
        fake::choose(d, IDC_CONTROLLER, 1);
        fake::choose(d, IDC_BINDING_LIST, 0);
        fake::press(d, IDC_REMOVE);
        fake::choose(d, IDC_LIGHTS, 0);  // None
        fake::press(d, kDialogOk);
    });
    runBindingsDialog(nullptr);
    EXPECT_EQ(fake::outputMessages(0), (Messages{0x002499}));
    EXPECT_FALSE(fake::outputIsOpen(0));
}

// A section whose bindings read port 2 lights the paired output 2 when its
// Output names its device's first output, also after unplugging; an output
// of another device is kept as named; the dialog still shows the name.
TEST_F(ControllersTest, APortsLightsGoToItsPairedOutput) {
    fake::setDevices({{"Keys"}, {"LP"}, {"MIDIIN2 (LP)"}, {"Pads"}, {"MIDIIN2 (Pads)"}});
    fake::setOutputs({{"LP"}, {"MIDIOUT2 (LP)"}, {"Pads"}, {"Synth"}});
    start("[Notewick Controller 2]\r\nInput=LP\r\nOutput=LP\r\nPort=2\r\nSetup=B0 7F 00\r\n"
          "Note 36 Channel 1=Shuffle, lit 5\r\n"
          "[Notewick Controller 3]\r\nInput=Pads\r\nOutput=Synth\r\nPort=2\r\nIdentity=\r\nNote 1 Channel 1=Stop\r\n");
    updateLights(1000);
    EXPECT_EQ(fake::outputMessages(0), Messages{}) << "nothing to the first output";
    EXPECT_EQ(fake::outputMessages(1), (Messages{0x007FB0, kInquirySent, 0x002490}));
    EXPECT_EQ(fake::outputMessages(3), (Messages{0x7F0190})) << "another device's output, as named";
    char name[kDeviceNameCapacity];
    chosenOutputName(2, name);
    EXPECT_STREQ(name, "LP");
    char line[200];
    describeLights(2, "LP", 1, false, line, sizeof line);
    EXPECT_STREQ(line, "Lights: MIDIOUT2 (LP) (1 binding)");
    // Unplugged, and back at other numbers.
    fake::setDevices({{"Keys"}, {"Pads"}, {"MIDIIN2 (Pads)"}});
    fake::setOutputs({{"Pads"}, {"Synth"}});
    controllersDeviceListChanged();
    outputDeviceListChanged();
    fake::setDevices({{"Keys"}, {"Pads"}, {"MIDIIN2 (Pads)"}, {"LP"}, {"MIDIIN2 (LP)"}});
    fake::setOutputs({{"Pads"}, {"Synth"}, {"LP"}, {"MIDIOUT2 (LP)"}});
    controllersDeviceListChanged();
    outputDeviceListChanged();
    updateLights(1200);
    EXPECT_EQ(fake::outputMessages(2), Messages{});
    EXPECT_EQ(fake::outputMessages(3), (Messages{0x007FB0, kInquirySent, 0x002490}));
}

// A second unit of a kind lights its own outputs, whose names are the first's.
TEST_F(ControllersTest, ASecondUnitLightsItsOwnOutput) {
    const char* a = "\\\\?\\usb#vid_1235&pid_0113#unit_a#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";
    const char* b = "\\\\?\\usb#vid_1235&pid_0113#unit_b#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";
    fake::setDevices({{"Keys"}, {"LP"}, {"MIDIIN2 (LP)"}, {"LP"}, {"MIDIIN2 (LP)"}});
    fake::setOutputs({{"LP"}, {"MIDIOUT2 (LP)"}, {"LP"}, {"MIDIOUT2 (LP)"}});
    fake::setInterfacePaths({"", a, a, b, b}, {a, a, b, b});
    start("[Notewick Controller 1]\r\nInput=LP\r\nUnit=vid_1235&pid_0113#unit_b\r\nOutput=LP\r\nIdentity=\r\n"
          "Note 36 Channel 1=Shuffle, lit 5\r\n"
          "[Notewick Controller 2]\r\nInput=LP\r\nUnit=vid_1235&pid_0113#unit_a\r\nOutput=LP\r\nPort=2\r\n"
          "Identity=\r\nNote 37 Channel 1=Repeat, lit 5\r\n");
    updateLights(1000);
    EXPECT_EQ(fake::outputMessages(2), (Messages{0x002490})) << "unit b's first output";
    EXPECT_EQ(fake::outputMessages(1), (Messages{0x002590})) << "unit a's second";
    EXPECT_EQ(fake::outputMessages(0), Messages{});
    EXPECT_EQ(fake::outputMessages(3), Messages{});
}

// The set-up bytes: whole messages only.
TEST(SetupBytes, AreWholeMessagesInHex) {
    const struct {
        const char* text;
        bool whole;
        uint32_t length;
    } cases[] = {
        {"B0 7F 00", true, 3},       {"b0 7f 00 90 24 00", true, 6}, {"F0 00 20 29 02 0D 0E 01 F7", true, 9},
        {"C0 05  F8", true, 3},      {"", true, 0},                  {"B0 7F", false, 0},
        {"7F 00", false, 0},         {"F0 00 01", false, 0},         {"B0 7F 80", false, 0},
        {"B0 7F 0", false, 0},       {"B07F00", false, 0},           {"G0 00 00", false, 0},
        {"B0 7F 00 F7", false, 0},   {"F7", false, 0},
    };
    for (const auto& c : cases) {
        uint8_t bytes[16];
        uint32_t length = 0;
        EXPECT_EQ(parseSetupBytes(c.text, bytes, sizeof bytes, &length), c.whole) << c.text;
        EXPECT_EQ(c.whole ? length : 0u, c.length) << c.text;
    }
}

}  // namespace
