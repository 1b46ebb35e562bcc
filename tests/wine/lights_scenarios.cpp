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

// What the lights' output received within `ms`, sorted, once `count` came.
Messages lightsWithin(size_t count, DWORD ms) {
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
    quit();
    expectLights({midiNoteOn(9, 36, 1), midiNoteOn(9, 37, 0), midiController(0, 20, 0)}, "quit darkens every light", 0);
    check(!midiOutIsOpen(1), "and closes the output");
    unload();
    setShuffle(false);
    pump(300);
    check(midiOutReceived(1).empty(), "nothing is sent after quit");
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
}

const ScenarioRegistration registrations[] = {
    {"lights", lights},
};

}  // namespace
