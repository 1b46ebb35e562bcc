// controller_scenarios.cpp -- a controller beside the configured device,
// through the real winmm: each device's messages go to its own bindings and
// its own 50 ms window, its Machine Control buttons act, and its input follows
// its name when unplugged, plugged back and held elsewhere. Then one added as
// a user does, in the Bindings dialog, with a ready-made map from the
// "Notewick Maps" folder: its output set up before its lights, its pads
// acting, and removed again.
#include <algorithm>
#include <cstdio>
#include <string>

#include "tests/wine/host_support.h"
#include "ui/resource.h"

using namespace host;

namespace {

typedef std::vector<Received> List;
typedef std::vector<DWORD> Messages;
typedef std::vector<std::string> Texts;

void expectSends(UINT device, DWORD message, const List& want, const char* what) {
    take();
    play(device, message);
    List got = take();
    check(got == want, what, "got " + describe(got) + ", want " + describe(want));
}

bool sameIgnoringOrder(List a, List b) {
    auto before = [](const Received& x, const Received& y) {
        return x.request != y.request ? x.request < y.request : x.id != y.id ? x.id < y.id : x.argument < y.argument;
    };
    std::sort(a.begin(), a.end(), before);
    std::sort(b.begin(), b.end(), before);
    return a == b;
}

// ---- Two devices from the settings file --------------------------------------------------

// C4 (note 60) is Previous and E4 (note 64) Pause in the key map, which only
// the configured device has; the controller binds C4 to Stop.
const char kTwoDevicesIni[] =
    "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIDeviceName=Test MIDI In 0\r\n\r\n"
    "[Notewick Controller 1]\r\nInput=Test MIDI In 1\r\n"
    "Note 60 Channel 1=Stop\r\nController 20 Channel 1=Next\r\n";

void twoDevices() {
    writeFile(iniPath(), kTwoDevicesIni);
    check(load() != nullptr && init() == 0, "the plug-in starts");
    check(midiIsOpen(0) && midiIsOpen(1) && !midiIsOpen(2), "the configured device and the controller are open");
    const DWORD c4 = midiNoteOn(0, 60, 90), e4 = midiNoteOn(0, 64, 90), knob = midiController(0, 20, 127);
    expectSends(0, c4, {command(40044)}, "C4 on the configured device acts by the key map");
    expectSends(1, c4, {command(40047)}, "C4 on the controller acts by its own binding");
    expectSends(1, e4, {}, "the key map is not the controller's");
    expectSends(0, knob, {}, "the controller's bindings are not the configured device's");
    expectSends(1, knob, {command(40048)}, "the controller's controller acts");

    // Back to back, microseconds apart: each device has its own window.
    take();
    midiSend(0, e4);
    midiSend(1, c4);
    midiWaitIdle();
    pump(90);
    List got = take();
    check(sameIgnoringOrder(got, {command(40046), command(40047)}), "keys on both devices at once both act",
          describe(got));

    setPlayState(0);
    take();
    midiSendSysex(1, {0xF0, 0x7F, 0x7F, 0x06, 0x02, 0xF7});  // Machine Control: Play
    midiWaitIdle();
    pump(90);
    got = take();
    check(got == List{request(104, 0), command(40045)}, "Machine Control from the controller plays", describe(got));

    midiSetAway(1, true);
    broadcastDeviceChange();
    check(!midiIsOpen(1) && midiIsOpen(0), "the controller unplugged is closed, the configured device not");
    expectSends(0, e4, {command(40046)}, "the configured device acts meanwhile");
    // Plugged back while another program holds it: tried again on a timer.
    midiSetResult(1, 0 /* open */, MMSYSERR_ALLOCATED);
    midiSetAway(1, false);
    broadcastDeviceChange();
    check(!midiIsOpen(1), "held elsewhere, it cannot be opened");
    midiSetResult(1, 0, MMSYSERR_NOERROR);
    DWORD started = GetTickCount();
    while (!midiIsOpen(1) && GetTickCount() - started < 10000) pump(50);
    check(midiIsOpen(1), "once free it is opened again, without a device change",
          std::to_string(GetTickCount() - started) + " ms");
    expectSends(1, c4, {command(40047)}, "and acts");
    quit();
    check(midiOpenCount() == 0, "quit closes both ports");
    unload();
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
}

// ---- Added in the dialog, with a map ------------------------------------------------------

// Its Match fits "Test MIDI In 1" and "Test MIDI Out 1" and no other port of
// the test driver. Its set-up mixes short messages with a system exclusive
// one, which the test driver's output records by its first byte and length.
const char kTestMap[] =
    "; Test Pads: a Notewick map for the test driver's second ports.\r\n"
    "; By hand: Hold the test pad's shift key.\r\n"
    "[Notewick Controller]\r\nName=Test Pads\r\nMatch=Test MIDI 1\r\nSetup=B0 00 7F F0 7D 01 F7 C0 05\r\n"
    "Note 36 Channel 10=Play/Pause, lit 5, dark 1\r\nNote 37 Channel 10=Stop\r\nController 20 Channel 1=Shuffle\r\n";

const DWORD kSetup[] = {0x7F00B0, 0xF0 | (4 << 8), 0x05C0};

// A map whose Match fits the test driver's third output, not the first input.
const char kOtherMap[] = "; Other Pads: a Notewick map for the test driver's third ports.\r\n[Notewick Controller]\r\n"
                         "Name=Other Pads\r\nMatch=Test MIDI 2\r\nNote 40 Channel 10=Stop\r\n";

// The map Save as Map wrote, taken away again at the end.
std::string savedMapPath;

// Save as Map from the Bindings dialog: Alt+V, or the mouse; the name typed
// in its box, then Enter; the question asked, when one is, answered `replace`.
std::string saveAsMap(HWND bindings, const std::string& name, bool byKeyboard, bool replace, std::string* question) {
    std::string before = controlText(bindings, IDC_BINDING_STATUS);
    if (byKeyboard) {
        pressKeyAsTheKeyboardWould('V', true);
    } else {
        clickWithMouse(bindings, IDC_SAVE_MAP);
    }
    HWND box = waitForDialog("Save as Map");
    check(box != nullptr, "Save as Map asks for a name");
    if (box == nullptr) return "";
    check(waitUntil([] { return focusedControlOfPlayer() == IDC_MAP_NAME; }), "the name takes the keyboard");
    SetDlgItemTextA(box, IDC_MAP_NAME, name.c_str());
    pressEnterAsTheKeyboardWould();
    waitUntilGone(box);
    if (question != nullptr) {
        HWND asked = waitForDialog("Save as Map", 3000);
        *question = asked != nullptr ? controlText(asked, 0xFFFF) : "";
        if (asked != nullptr) click(asked, replace ? IDOK : IDCANCEL);
        if (asked != nullptr) waitUntilGone(asked);
    }
    waitUntil([&] { return controlText(bindings, IDC_BINDING_STATUS) != before; }, 3000);
    return controlText(bindings, IDC_BINDING_STATUS);
}

// The commands in what the player received; the lights' requests for the
// player's state left out.
List commandsIn(const List& list) {
    List out;
    for (const Received& r : list) {
        if (!r.request) out.push_back(r);
    }
    return out;
}

// What output 1 received, in order, once `count` messages came (or 5 s passed).
Messages outputReceived(size_t count) {
    Messages got;
    DWORD started = GetTickCount();
    while (got.size() < count && GetTickCount() - started < 5000) {
        Sleep(10);
        Messages more = midiOutReceived(1);
        got.insert(got.end(), more.begin(), more.end());
    }
    Sleep(150);  // and nothing more
    Messages more = midiOutReceived(1);
    got.insert(got.end(), more.begin(), more.end());
    return got;
}

bool sameSet(Messages a, Messages b) {
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return a == b;
}

// The settings file's section for controller 1, from its header to the next.
std::string controllerSection() {
    std::string ini = readFile(iniPath());
    size_t at = ini.find("[Notewick Controller 1]\r\n");
    if (at == std::string::npos) return "";
    size_t end = ini.find("\r\n[", at);
    return ini.substr(at, end == std::string::npos ? std::string::npos : end + 2 - at);
}

bool statusSays(HWND dialog, const std::string& start) {
    for (int i = 0; i < 500; ++i) {
        if (controlText(dialog, IDC_BINDING_STATUS).compare(0, start.size(), start) == 0) return true;
        Sleep(10);
    }
    return false;
}

HWND openBindings(HWND config) {
    click(config, IDC_BINDINGS);
    HWND bindings = waitForDialog(kBindingsCaption);
    check(bindings != nullptr, "Bindings opens its dialog");
    return bindings;
}

void addWithMapUser() {
    HWND config = waitForDialog(kConfigCaption);
    HWND bindings = config != nullptr ? openBindings(config) : nullptr;
    if (bindings == nullptr) return;
    Texts entries = listEntries(bindings, IDC_CONTROLLER);
    check(entries == Texts{"Test MIDI In 0", "Add a controller..."}, "the configured device, then Add",
          joined(entries));
    // By keyboard: Alt+C, then Down onto "Add a controller...", which opens
    // nothing until Enter.
    pressKeyAsTheKeyboardWould('C', true);
    check(waitUntil([] { return focusedControlOfPlayer() == IDC_CONTROLLER; }), "Alt+C takes the Controller list");
    pressKeyAsTheKeyboardWould(VK_DOWN);
    check(statusSays(bindings, "Add a controller...: press Enter to choose its MIDI input.") &&
              waitForDialog("Notewick", 300) == nullptr,
          "Down onto Add a controller... opens nothing", controlText(bindings, IDC_BINDING_STATUS));
    pressEnterAsTheKeyboardWould();
    HWND pick = waitForDialog("Notewick");
    check(pick != nullptr, "Add a controller... and Enter ask which input");
    if (pick == nullptr) return;
    Texts inputs = listEntries(pick, IDC_PICK_LIST);
    check(inputs == Texts{"Test MIDI In 1", "Test MIDI In 2"}, "the inputs no device uses", joined(inputs));
    chooseEntry(pick, IDC_PICK_LIST, 0);
    click(pick, IDOK);
    waitUntilGone(pick);
    check(waitForText(bindings, IDC_MAP_OFFER, "A ready-made map for the Test Pads is ready:"),
          "the map that fits the input is offered", controlText(bindings, IDC_MAP_OFFER));
    click(bindings, IDC_USE_MAP);
    check(statusSays(bindings, "Used the map for the Test Pads: 3 bindings, from OK on. On the device: Hold the test "
                               "pad's shift key."),
          "Use Map takes its bindings and says what to do by hand", controlText(bindings, IDC_BINDING_STATUS));
    Texts outputs = listEntries(bindings, IDC_LIGHTS);
    int chosen = listSelection(bindings, IDC_LIGHTS);
    check(chosen >= 0 && chosen < static_cast<int>(outputs.size()) &&
              outputs[static_cast<size_t>(chosen)] == "Test MIDI Out 1",
          "and the output its Match fits for the lights", joined(outputs));
    check(midiOutReceived(1).empty() && !midiIsOpen(1), "nothing is opened before OK");
    click(bindings, IDOK);
    waitUntilGone(bindings);

    // The set-up messages first, then every light once: Play/Pause dark, Stop
    // lit (the player is stopped), Shuffle off.
    Messages got = outputReceived(7);
    Messages lights(got.size() > 4 ? got.begin() + 4 : got.end(), got.end());
    check(got.size() == 7 && got[0] == kSetup[0] && got[1] == kSetup[1] && got[2] == kSetup[2] &&
              got[3] == (0xF0 | (6 << 8)) && midiOutInquiries(1) == 1 &&
              sameSet(lights, {midiNoteOn(9, 36, 1), midiNoteOn(9, 37, 127), midiController(0, 20, 0)}),
          "OK opens the output: set up, asked who it is, then every light", hexMessages(got));
    std::string section = controllerSection();
    check(section == "[Notewick Controller 1]\r\nInput=Test MIDI In 1\r\nMap=Test Pads\r\nSetup=B0 00 7F F0 7D 01 F7 C0 05\r\n"
                     "Note 36 Channel 10=Play/Pause, lit 5, dark 1\r\nNote 37 Channel 10=Stop\r\n"
                     "Controller 20 Channel 1=Shuffle\r\nOutput=Test MIDI Out 1\r\n",
          "OK writes the controller's section, with the map's lines", readFile(iniPath()));

    take();
    midiSend(1, midiNoteOn(9, 36, 90));
    List sent = waitForReceived(2);
    check(sent.size() >= 2 && sent[0] == request(104, 0) && sent[1] == command(40045) &&
              commandsIn(sent) == List{command(40045)},
          "its pad plays at once", describe(sent));
    check(sameSet(outputReceived(2), {midiNoteOn(9, 36, 5), midiNoteOn(9, 37, 0)}), "and its lights follow");
    for (int i = 0; i < 100 && !contains(controlText(config, IDC_LIVE_LINE), "Test MIDI In 1: "); ++i) Sleep(10);
    check(contains(controlText(config, IDC_LIVE_LINE), "Test MIDI In 1: Note-on"),
          "with two devices open, the line names the device", controlText(config, IDC_LIVE_LINE));

    // Removed again: asked first; at OK its lights go dark, its ports close,
    // its section goes.
    bindings = openBindings(config);
    if (bindings == nullptr) return;
    chooseEntry(bindings, IDC_CONTROLLER, 1);
    check(waitForText(bindings, IDC_MAP_OFFER, "Uses the ready-made map for the Test Pads."),
          "the controller is shown with the map it uses", controlText(bindings, IDC_MAP_OFFER));

    // Save as Map: each name gets its answer; nothing is replaced unasked.
    std::string said = saveAsMap(bindings, "Test/Pads", true, false, nullptr);
    size_t as = said.find(" as "), end = said.rfind(". All Maps... lists it.");
    check(said.compare(0, 24, "Saved the map Test/Pads ") == 0 && as != std::string::npos &&
              end != std::string::npos && contains(said, "\\Notewick\\Maps\\Test_Pads.ini"),
          "Alt+V saves the map, the file named without the character no file name has", said);
    if (as != std::string::npos && end != std::string::npos) savedMapPath = said.substr(as + 4, end - as - 4);
    check(contains(readFile(savedMapPath), "Name=Test/Pads\r\nMatch=Test MIDI In 1\r\n"), "and writes it",
          readFile(savedMapPath));
    std::string words;
    said = saveAsMap(bindings, "Test_Pads", false, false, &words);
    check(words == "Replace your map Test/Pads with the bindings shown? Test_Pads makes the same file name, "
                      "Test_Pads.ini." && said == "Nothing was saved.",
          "another name of the same file is asked about first", words + " / " + said);
    check(contains(readFile(savedMapPath), "Name=Test/Pads\r\n"), "and the map is kept", readFile(savedMapPath));
    said = saveAsMap(bindings, "CON", false, false, nullptr);
    check(said == "Windows keeps the name CON for a device, and no file may have it: save the map under another name.",
          "a name Windows keeps is named as the reason", said);
    said = saveAsMap(bindings, "  ", true, false, nullptr);
    check(said == "A map needs a name: nothing was saved.", "an empty name says so", said);

    // Use Map... with a map that does not match the input: the bindings
    // change, the lights stay on the controller's own output, not the one
    // the map matches.
    pressKeyAsTheKeyboardWould('M', true);
    pick = waitForDialog("Notewick");
    check(pick != nullptr, "Alt+M lists the maps");
    if (pick != nullptr) {
        Texts maps = listEntries(pick, IDC_PICK_LIST);
        check(maps == Texts{"Other Pads", "Test Pads", "Test/Pads"}, "the shipped ones, then the user's", joined(maps));
        chooseEntry(pick, IDC_PICK_LIST, 0);
        click(pick, IDOK);
        waitUntilGone(pick);
        words = "";
        HWND asked = waitForDialog("Use Map", 3000);
        if (asked != nullptr) words = controlText(asked, 0xFFFF);
        if (asked != nullptr) click(asked, IDOK);
        check(words == "Replace the 3 bindings of Test MIDI In 1 with the map for the Other Pads? OK in the "
                          "Bindings dialog keeps it.",
              "asked first, over bindings", words);
        check(statusSays(bindings, "Used the map for the Other Pads: 1 bindings, from OK on."), "then used",
              controlText(bindings, IDC_BINDING_STATUS));
        outputs = listEntries(bindings, IDC_LIGHTS);
        chosen = listSelection(bindings, IDC_LIGHTS);
        check(chosen >= 0 && chosen < static_cast<int>(outputs.size()) &&
                  outputs[static_cast<size_t>(chosen)] == "Test MIDI Out 1",
              "the lights stay on the controller's own output", joined(outputs));
    }
    click(bindings, IDC_REMOVE_CONTROLLER);
    HWND question = waitForDialog("Remove Controller");
    check(question != nullptr, "Remove Controller asks first");
    if (question != nullptr) click(question, IDOK);
    check(statusSays(bindings, "Removed Test MIDI In 1."), "then says it is removed",
          controlText(bindings, IDC_BINDING_STATUS));
    check(focusedControlOfPlayer() == IDC_CONTROLLER, "the keyboard goes to the Controller list",
          std::to_string(focusedControlOfPlayer()));
    click(bindings, IDOK);
    waitUntilGone(bindings);
    check(sameSet(outputReceived(3), {midiNoteOn(9, 36, 1), midiNoteOn(9, 37, 0), midiController(0, 20, 0)}),
          "OK darkens its lights");
    check(!midiIsOpen(1) && !midiOutIsOpen(1) && midiIsOpen(0), "and closes its ports");
    check(controllerSection().empty() && contains(readFile(iniPath()), "MIDIDeviceName=Test MIDI In 0"),
          "and takes its section from the file", readFile(iniPath()));
    click(config, IDCANCEL);
    waitUntilGone(config);
}

void addedWithMap() {
    writeSettings(0, 0, "Test MIDI In 0");
    writeFile(mapsFolder() + "Test Pads.ini", kTestMap);
    writeFile(mapsFolder() + "Other Pads.ini", kOtherMap);
    setPlayerFollowsCommands(true);
    check(load() != nullptr && init() == 0, "the plug-in starts");
    runConfigWithUser(addWithMapUser);
    // The user's maps folder, made by Save as Map, goes with the map.
    if (!savedMapPath.empty() && DeleteFileA(savedMapPath.c_str())) {
        std::string folder = savedMapPath.substr(0, savedMapPath.rfind('\\'));
        RemoveDirectoryA(folder.c_str());
        RemoveDirectoryA(folder.substr(0, folder.rfind('\\')).c_str());
    }
    DeleteFileA((mapsFolder() + "Other Pads.ini").c_str());
    quit();
    check(midiOpenCount() == 0 && !midiOutIsOpen(1), "quit closes every port");
    unload();
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
}

// ---- Identity and two units of a kind ---------------------------------------------------

// Inputs 1 and 2 are two units of one kind: both named "Test MIDI In 1",
// their outputs "Test MIDI Out 1", told apart by their USB instances. The
// first answers the Device Inquiry as a Launchpad Mini MK3 does; the
// configured device's lights output never answers.
const char kUnitA[] = "\\\\?\\usb#vid_1235&pid_0113&mi_01#7&aaa1&0&0001#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";
const char kUnitB[] = "\\\\?\\usb#vid_1235&pid_0113&mi_01#7&bbb2&0&0001#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";
const char kIdentityMap[] = "; Launchpad: a map found by what the device answers, not by its name.\r\n"
                            "[Notewick Controller]\r\nName=Novation Launchpad Mini MK3\r\nMatch=Launchpad Mini\r\n"
                            "Identity=00 20 29 13 01\r\nNote 11 Channel 1=Stop\r\n";

// Add a controller, and the units it lists.
Texts addListing(HWND bindings, HWND* pick) {
    chooseEntry(bindings, IDC_CONTROLLER, static_cast<int>(listEntries(bindings, IDC_CONTROLLER).size()) - 1);
    *pick = waitForDialog("Notewick");
    check(*pick != nullptr, "Add a controller... lists the devices");
    return *pick != nullptr ? listEntries(*pick, IDC_PICK_LIST) : Texts{};
}

void identityUser() {
    HWND config = waitForDialog(kConfigCaption);
    HWND bindings = config != nullptr ? openBindings(config) : nullptr;
    if (bindings == nullptr) return;
    HWND pick = nullptr;
    Texts units = addListing(bindings, &pick);
    check(units == Texts{"Test MIDI In 1", "Test MIDI In 1 (2)"}, "each unit of the kind, once",
          joined(units));
    if (pick == nullptr) return;
    chooseEntry(pick, IDC_PICK_LIST, 0);
    click(pick, IDOK);
    waitUntilGone(pick);
    click(bindings, IDOK);
    waitUntilGone(bindings);
    check(waitUntil([] { return midiOutInquiries(1) == 1; }) && midiOutInquiries(2) == 0,
          "the added unit's output is asked who it is, the other unit's not");

    bindings = openBindings(config);
    if (bindings == nullptr) return;
    chooseEntry(bindings, IDC_CONTROLLER, 1);
    check(waitForText(bindings, IDC_MAP_OFFER, "A ready-made map for the Novation Launchpad Mini MK3 is ready:"),
          "the map of the identity that answered is offered", controlText(bindings, IDC_MAP_OFFER));
    check(waitUntil([&] { return contains(controlText(bindings, IDC_LIVE_LINE), "Identity: Novation, family 13 01"); }),
          "the dialog says what answered", controlText(bindings, IDC_LIVE_LINE));
    units = addListing(bindings, &pick);
    check(units == Texts{"Test MIDI In 1 (2)"}, "then only the unit not in use", joined(units));
    if (pick != nullptr) click(pick, IDCANCEL);
    if (pick != nullptr) waitUntilGone(pick);
    click(bindings, IDOK);
    waitUntilGone(bindings);
    check(contains(controllerSection(), "Input=Test MIDI In 1\r\nUnit=vid_1235&pid_0113#7&aaa1&0\r\n"),
          "its section keeps its unit", controllerSection());
    check(midiOutInquiries(0) == 1 && midiOutInquiries(1) == 1, "no output is asked twice in one open",
          std::to_string(midiOutInquiries(0)) + " " + std::to_string(midiOutInquiries(1)));
    click(config, IDCANCEL);
    waitUntilGone(config);
}

void identityAndUnits() {
    midiSetName(2, "Test MIDI In 1");
    midiOutSetName(2, "Test MIDI Out 1");
    for (UINT i = 1; i <= 2; ++i) {
        midiSetInterfacePath(i, i == 1 ? kUnitA : kUnitB);
        midiOutSetInterfacePath(i, i == 1 ? kUnitA : kUnitB);
    }
    midiOutSetIdentityReply(1, 1, {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x00, 0x20, 0x29, 0x13, 0x01, 0x00, 0x00, 0x00,
                                   0x04, 0x02, 0x02, 0xF7});
    writeFile(iniPath(), "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIDeviceName=Test MIDI In 0\r\n"
                         "MIDIOutDevice=0\r\nMIDIOutDeviceName=Test MIDI Out 0\r\n");
    writeFile(mapsFolder() + "Launchpad.ini", kIdentityMap);
    check(load() != nullptr && init() == 0, "the plug-in starts");
    check(waitUntil([] { return midiOutInquiries(0) == 1; }), "the configured device's output is asked once");
    runConfigWithUser(identityUser);
    DeleteFileA((mapsFolder() + "Launchpad.ini").c_str());
    quit();
    unload();
    midiOutSetIdentityReply(1, 1, {});
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
}

const ScenarioRegistration registrations[] = {
    {"controllers", twoDevices},
    {"controller_map", addedWithMap},
    {"controller_identity", identityAndUnits},
};

}  // namespace
