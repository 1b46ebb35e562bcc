// lights_scenarios.cpp -- the lights under Wine: bindings light the test
// driver's output as the stand-in player plays, pauses and switches shuffle,
// a fader follows the volume but not while the hand is on it, and quit
// darkens every light.
#include <algorithm>
#include <string>

#include "tests/wine/host_support.h"
#include "ui/resource.h"

using namespace host;

namespace {

typedef std::vector<DWORD> Messages;

const char kLightsIni[] =
    "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIDeviceName=Test MIDI In 0\r\n"
    "MIDIOutDevice=1\r\nMIDIOutDeviceName=Test MIDI Out 1\r\n\r\n"
    "[Notewick Bindings]\r\n"
    "Note 36 Channel 10=Play/Pause, lit 5, dark 1\r\n"
    "Note 37 Channel 10=Stop\r\n"
    "Controller 20 Channel 1=Shuffle\r\n"
    "Controller 7 Channel 1=Volume\r\n"
    "Note 38 Channel 10=Next\r\n"     // no state: never lit
    "Program 3 Channel 1=Play\r\n";  // a program change has no light

// What the lights' output received within `ms`, sorted, once `count` came;
// or all it received, in order.
Messages lightsWithin(size_t count, DWORD ms, bool sorted = true) {
    Messages got;
    DWORD started = GetTickCount();
    while (got.size() < count && GetTickCount() - started < ms) {
        pump(10);
        Messages more = midiOutReceived(1);
        got.insert(got.end(), more.begin(), more.end());
    }
    pump(150);  // and nothing more
    Messages more = midiOutReceived(1);
    got.insert(got.end(), more.begin(), more.end());
    if (!sorted) return got;
    // The Device Inquiry each open of the output sends goes before the
    // lights (controller_identity checks it): no light.
    got.erase(std::remove(got.begin(), got.end(), DWORD{0xF0 | (6 << 8)}), got.end());
    std::sort(got.begin(), got.end());
    return got;
}

void expectLights(Messages want, const char* what, DWORD ms = 2000) {
    std::sort(want.begin(), want.end());
    Messages got = lightsWithin(want.size(), ms);
    check(got == want, what, "got " + hexMessages(got) + ", want " + hexMessages(want));
}

// The Bindings dialog's line says where the lights go; an output unplugged
// while the dialog is open is closed and said to be away, plugged back it is
// opened again at once with every light, and one away at OK stays chosen.
void unpluggedWhileOpenUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    click(config, IDC_BINDINGS);
    HWND bindings = waitForDialog(kBindingsCaption);
    if (bindings != nullptr) {
        // The live line's first line, above the Lights line.
        auto firstLine = [bindings] {
            std::string text = controlText(bindings, IDC_LIVE_LINE);
            return text.substr(0, text.find('\n'));
        };
        check(waitForText(bindings, IDC_LIVE_LINE, firstLine() + "\nLights of Test MIDI In 0: Test MIDI Out 1 (4 bindings)"),
              "the line says where the lights go", controlText(bindings, IDC_LIVE_LINE));
        midiOutSetAway(1, true);
        Sleep(300);
        check(contains(controlText(bindings, IDC_LIVE_LINE), "Lights of Test MIDI In 0: Test MIDI Out 1 is not connected"),
              "and that the output went", controlText(bindings, IDC_LIVE_LINE));
        broadcastDeviceChange();
        check(!midiOutIsOpen(1), "the output that went is closed while the dialog is open");
        midiOutSetAway(1, false);
        broadcastDeviceChange();
        check(midiOutIsOpen(1), "and opened again when it is back");
        std::string outputs = joined(listEntries(bindings, IDC_LIGHTS));
        check(contains(outputs, "Test MIDI Out 1") && !contains(outputs, "(not connected)"),
              "the Lights list lists it again, not as away", outputs);
        expectLights({midiNoteOn(9, 36, 1), midiNoteOn(9, 37, 0), midiController(0, 20, 127), midiController(0, 7, 90)},
                     "with every light once, the dialog still open");
        check(waitForText(bindings, IDC_LIVE_LINE, firstLine() + "\nLights of Test MIDI In 0: Test MIDI Out 1 (4 bindings)"),
              "the line says where the lights go again", controlText(bindings, IDC_LIVE_LINE));
        midiOutSetAway(1, true);
        broadcastDeviceChange();
        click(bindings, IDOK);
        waitUntilGone(bindings);
    }
    click(config, IDCANCEL);
    waitUntilGone(config);
}

// The Bindings dialog's Lights line, once it says `part`.
std::string lightsLineSays;
void lightsLineUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    click(config, IDC_BINDINGS);
    HWND bindings = waitForDialog(kBindingsCaption);
    if (bindings != nullptr) {
        bool says = waitUntil([&] { return contains(controlText(bindings, IDC_LIVE_LINE), lightsLineSays); }, 3000);
        check(says, "the Lights line says what became of the Setup", controlText(bindings, IDC_LIVE_LINE));
        click(bindings, IDCANCEL);
        waitUntilGone(bindings);
    }
    click(config, IDCANCEL);
    waitUntilGone(config);
}

void lights() {
    writeFile(iniPath(), kLightsIni);
    setPlayerFollowsCommands(true);
    setVolume(200);
    check(load() != nullptr && init() == 0, "the plug-in starts");
    check(midiOutIsOpen(1) && !midiOutIsOpen(0), "the chosen output is open");
    expectLights({midiNoteOn(9, 36, 1), midiNoteOn(9, 37, 127), midiController(0, 20, 0), midiController(0, 7, 100)},
                 "every light once at start");
    play(0, midiNoteOn(9, 36, 90));
    expectLights({midiNoteOn(9, 36, 5), midiNoteOn(9, 37, 0)}, "a pad plays: its colour lit, Stop dark");
    setShuffle(true);
    expectLights({midiController(0, 20, 127)}, "shuffle switched in the player's own window");
    setPlayState(3);
    expectLights({midiNoteOn(9, 36, 1)}, "paused with the player's keyboard");
    setVolume(100);
    expectLights({midiController(0, 7, 50)}, "the fader follows the player's volume");
    play(0, midiController(0, 7, 30));
    check(volume() == 60, "the fader sets the volume");
    setVolume(180);
    expectLights({}, "nothing goes to a fader in the user's hand", 600);
    expectLights({midiController(0, 7, 90)}, "and it follows again after a second");
    expectLights({}, "only changes are sent", 300);
    runConfigWithUser(unpluggedWhileOpenUser);
    check(contains(readFile(iniPath()), "MIDIOutDeviceName=Test MIDI Out 1"), "OK keeps the output away", readFile(iniPath()));
    midiOutSetAway(1, false);
    broadcastDeviceChange();
    expectLights({midiNoteOn(9, 36, 1), midiNoteOn(9, 37, 0), midiController(0, 20, 127), midiController(0, 7, 90)},
                 "back, every light once");
    // A Setup line and a binding added by hand act when the Bindings dialog
    // opens: the set-up message first, then every light once.
    std::string ini = readFile(iniPath());
    writeFile(iniPath(), ini.replace(ini.find("Note 38"), 0, "Setup=B0 00 7F\r\nNote 39 Channel 10=Stop\r\n"));
    lightsLineSays = "Lights of Test MIDI In 0: Test MIDI Out 1 (5 bindings)";
    runConfigWithUser(lightsLineUser);
    Messages sent = lightsWithin(6, 2000, false);
    check(sent.size() == 6 && sent.front() == 0x7F00B0,
          "a Setup edited by hand is sent, then every light once", hexMessages(sent));
    quit();
    expectLights({midiNoteOn(9, 36, 1), midiNoteOn(9, 37, 0), midiNoteOn(9, 39, 0), midiController(0, 20, 0)},
                 "quit darkens every light", 0);
    check(!midiOutIsOpen(1), "and closes the output");
    unload();
    setShuffle(false);
    pump(300);
    check(midiOutReceived(1).empty(), "nothing is sent after quit");
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
}

// ---- Setup lines ------------------------------------------------------------------------

// plugin.ini with the lights on output 1 and this Setup line.
void writeSetupIni(const std::string& setup) {
    writeFile(iniPath(), "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIDeviceName=Test MIDI In 0\r\n"
                         "MIDIOutDevice=1\r\nMIDIOutDeviceName=Test MIDI Out 1\r\n\r\n[Notewick Bindings]\r\n"
                         "Setup=" + setup + "\r\nNote 36 Channel 10=Play/Pause, lit 5, dark 1\r\n");
}

// The system-exclusive messages the output received, by their lengths.
std::vector<DWORD> sysexLengths(const Messages& got) {
    std::vector<DWORD> lengths;
    for (DWORD m : got) {
        if ((m & 0xFF) == 0xF0) lengths.push_back(m >> 8);
    }
    return lengths;
}

// An output that takes system-exclusive messages and never finishes them:
// a Setup of ten holds the player's window about 350 ms in all, at init and
// when the output comes back, and a key pressed meanwhile acts that late at
// most; the Lights line says the Setup could not be sent whole.
void stuckOutput() {
    std::string setup;
    for (int i = 0; i < 10; ++i) setup += std::string(i == 0 ? "" : " ") + "F0 00 20 29 02 0D 0E 01 F7";
    writeSetupIni(setup);
    midiOutSetHoldsSysex(1, true);
    check(load() != nullptr, "the plug-in loads");
    DWORD started = GetTickCount();
    init();
    DWORD took = GetTickCount() - started;
    printf("init with a Setup of 10 system-exclusive messages to an output that never finishes them: %lu ms\n",
           static_cast<unsigned long>(took));
    check(took < 1500, "init holds the player's window for the whole Setup, not for each message",
          std::to_string(took) + " ms");
    Messages got = lightsWithin(2, 2000);
    check(sysexLengths(got) == std::vector<DWORD>{9}, "nothing more is sent after the message it did not finish",
          hexMessages(got));
    check(std::count(got.begin(), got.end(), midiNoteOn(9, 36, 1)) == 1, "and the lights are sent", hexMessages(got));
    // The output goes and comes back: its Setup is sent again, while a key is pressed.
    midiOutSetAway(1, true);
    broadcastDeviceChange();
    midiOutSetAway(1, false);
    take();
    LARGE_INTEGER sent, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&sent);
    midiSend(0, midiNoteOn(0, 64, 90));
    broadcastDeviceChange();
    std::vector<Received> keys;
    for (const Received& r : waitForReceived(1)) {
        if (!r.request) keys.push_back(r);  // the lights read the player meanwhile
    }
    double late = keys.empty() ? -1 : static_cast<double>(keys[0].qpc - sent.QuadPart) * 1000.0 / frequency.QuadPart;
    printf("a key pressed as the stuck output came back acted after %.0f ms\n", late);
    check(keys.size() == 1 && late < 1500, "the key acts, and not seconds late", describe(keys));
    check(midiOutIsOpen(1), "the output is open again");
    lightsLineSays = "Its Setup line could not be sent whole";
    runConfigWithUser(lightsLineUser);
    started = GetTickCount();
    quit();
    printf("quit: %lu ms\n", static_cast<unsigned long>(GetTickCount() - started));
    unload();
    midiOutSetHoldsSysex(1, false);
    midiOutReceived(1);

    // A Setup longer than 1,024 characters (a 402-byte message) is sent whole.
    std::string longSetup = "B0 7F 00 F0";
    for (int i = 0; i < 400; ++i) longSetup += " 01";
    writeSetupIni(longSetup + " F7");
    check(load() != nullptr && init() == 0, "the plug-in starts with a long Setup");
    got = lightsWithin(3, 2000);
    check(sysexLengths(got) == std::vector<DWORD>{402} && std::count(got.begin(), got.end(), 0x007FB0u) == 1,
          "a 402-byte message of 1,215 characters is sent whole", hexMessages(got));
    quit();
    unload();
    midiOutReceived(1);
    // One that is not whole messages sends nothing, and the Lights line says so.
    writeSetupIni("B0 7F 00 F0 00 20");
    check(load() != nullptr && init() == 0, "the plug-in starts with a Setup that is not whole messages");
    got = lightsWithin(1, 2000);
    check(got == Messages{midiNoteOn(9, 36, 1)}, "nothing of it is sent, only the lights", hexMessages(got));
    lightsLineSays = "Its Setup line is not whole MIDI messages";
    runConfigWithUser(lightsLineUser);
    quit();
    unload();
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
}

// The keyboard's own lights output, chosen while another program holds it,
// is opened as soon as that program lets it go, the configuration dialog
// still open.
HMIDIOUT heldByAnother = nullptr;
void heldOutputUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    click(config, IDC_BINDINGS);
    HWND bindings = waitForDialog(kBindingsCaption);
    if (bindings != nullptr) {
        chooseEntry(bindings, IDC_LIGHTS, 1);  // Test MIDI Out 0
        click(bindings, IDOK);
        waitUntilGone(bindings);
    }
    check(waitForMessageBoxes(1, 3000) && contains(joined(messageBoxes()), "another program may be using it"),
          "a box says another program holds it", joined(messageBoxes()));
    midiOutClose(heldByAnother);
    bool opened = waitUntil([] { return midiOutIsOpen(0); }, 8000);
    check(opened, "it opens once let go, the configuration dialog still open");
    click(config, IDCANCEL);
    waitUntilGone(config);
}

void heldOutput() {
    writeSetupIni("");
    check(midiOutOpen(&heldByAnother, 0, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR, "another program holds output 0");
    check(load() != nullptr && init() == 0, "the plug-in starts");
    runConfigWithUser(heldOutputUser);
    pump(300);
    Messages got = midiOutReceived(0);
    check(got == Messages{0xF0 | (6 << 8), midiNoteOn(9, 36, 1)}, "asked who it is, then its lights are sent",
          hexMessages(got));
    quit();
    unload();
}


const ScenarioRegistration registrations[] = {
    {"lights_held_output", heldOutput},
    {"lights", lights},
    {"lights_stuck_output", stuckOutput},
};

}  // namespace
