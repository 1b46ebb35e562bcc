// demo.cpp -- a short performance on the test MIDI input, played into the
// stand-in player while the plug-in's configuration dialog is open: each
// message in the words of the dialog's own line, which says what it did or
// why it did nothing, beside what the player received.
#include <cstdio>
#include <string>

#include "tests/wine/host_support.h"
#include "ui/resource.h"

using namespace host;

namespace {

std::string describeReceived(const std::vector<Received>& got) {
    if (got.empty()) return "nothing";
    std::string out;
    for (size_t i = 0; i < got.size();) {
        size_t same = 1;
        while (i + same < got.size() && got[i + same] == got[i]) ++same;
        char text[96];
        const Received& r = got[i];
        if (r.request && r.id == 104) {
            snprintf(text, sizeof text, "Playing? (request 104)");
        } else if (r.request && (r.id == 250 || r.id == 251)) {
            snprintf(text, sizeof text, "%s? (request %u)", r.id == 250 ? "Shuffle" : "Repeat", r.id);
        } else if (r.request && r.id == 121) {
            snprintf(text, sizeof text, "Go to entry %u (request 121)", r.argument + 1);
        } else if (r.request && r.id == 124) {
            snprintf(text, sizeof text, "Playlist length? (request 124)");
        } else if (r.request && r.id == 102) {
            snprintf(text, sizeof text, "Play it (request 102)");
        } else if (r.request) {
            snprintf(text, sizeof text, "Set volume %u (request %u)", r.argument, r.id);
        } else {
            snprintf(text, sizeof text, "%s (%u)", commandName(r.id), r.id);
        }
        if (!out.empty()) out += ", ";
        out += text;
        if (same > 1) out += " x" + std::to_string(same);
        i += same;
    }
    return out;
}

// The plug-in module as loaded: its path and the machine its headers name.
std::string loadedDllDescription() {
    HMODULE module = record()->hDllInstance;
    char path[MAX_PATH] = "";
    GetModuleFileNameA(module, path, sizeof path);
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    WORD machine = nt->FileHeader.Machine;
    const char* kind = machine == IMAGE_FILE_MACHINE_I386    ? "PE32, i386: the DLL that ships"
                       : machine == IMAGE_FILE_MACHINE_AMD64 ? "PE32+, x86-64: the twin for 64-bit Wine"
                                                             : "unknown machine";
    return std::string(path) + " (" + kind + ")";
}

struct Step {
    DWORD message;
    bool playing;  // what the player answers when asked
};

const Step kPerformance[] = {
    {midiNoteOn(0, 62, 90), false},     {midiNoteOff(0, 62), false},        {midiNoteOn(0, 64, 90), true},
    {midiNoteOn(0, 62, 100), false},    {midiNoteOn(0, 67, 80), true},      {midiNoteOn(0, 60, 80), true},
    {midiNoteOn(0, 71, 70), true},      {midiNoteOn(0, 69, 70), true},      {midiNoteOn(0, 61, 90), true},
    {midiNoteOn(0, 63, 90), true},      {midiNoteOn(0, 66, 90), true},      {midiNoteOn(0, 68, 90), true},
    {midiNoteOn(0, 70, 90), true},      {midiNoteOn(0, 76, 0), true},       {midiNoteOn(1, 64, 90), true},
    {midiPitchBend(0, 0, 64), true},    {midiPitchBend(0, 0, 80), true},    {midiPitchBend(0, 0, 100), true},
    {midiPitchBend(0, 0, 64), true},    {midiPitchBend(0, 0, 30), true},    {midiController(0, 1, 127), true},
    {midiController(0, 1, 126), true},  {midiController(0, 1, 64), true},   {midiController(15, 19, 127), true},
    {midiController(15, 20, 127), true}, {midiController(15, 22, 127), true}, {midiController(15, 23, 127), true},
    {midiController(15, 75, 90), true}, {midiController(0, 7, 90), true},   {midiNoteOn(0, 65, 90), true},
};

size_t commands = 0, requests = 0, messages = 0;

// Waits until the configuration dialog's line says something new, and
// returns it.
std::string nextLine(HWND config, const std::string& before) {
    for (int i = 0; i < 100 && controlText(config, IDC_LIVE_LINE) == before; ++i) Sleep(10);
    return controlText(config, IDC_LIVE_LINE);
}

// Prints the plug-in's own line for the message, and what the player
// received; the two must agree: something received exactly when the line
// names an action.
void show(const std::string& line, const std::vector<Received>& got) {
    for (const Received& r : got) (r.request ? requests : commands) += 1;
    ++messages;
    printf("  %s\n      the player received: %s\n", line.c_str(), describeReceived(got).c_str());
    size_t colon = line.find(": ");
    bool nothing = colon == std::string::npos || line.compare(colon + 2, 7, "nothing") == 0;
    check(got.empty() == nothing, "the line agrees with what the player received", line);
}

void performer() {
    HWND config = waitForDialog(kConfigCaption);
    check(config != nullptr, "the configuration dialog opens");
    if (config == nullptr) return;
    std::string line = controlText(config, IDC_LIVE_LINE);
    printf("%s\n\n", line.c_str());
    for (const Step& step : kPerformance) {
        setPlayState(step.playing ? 1 : 0);
        take();
        midiSend(0, step.message);
        line = nextLine(config, line);
        Sleep(120);
        show(line, take());
    }
    // Two keys 10 ms apart: the second falls inside the 50 ms window.
    take();
    midiSend(0, midiNoteOn(0, 67, 90));
    midiWaitIdle();
    Sleep(10);
    midiSend(0, midiNoteOn(0, 60, 90));
    for (int i = 0; i < 100 && !contains(line, "C4") ; ++i) line = nextLine(config, line);
    Sleep(120);
    std::vector<Received> got = take();
    for (const Received& r : got) (r.request ? requests : commands) += 1;
    messages += 2;
    printf("  Note-on 67 (G4), then 10 ms later:\n  %s\n      the player received: %s, for G4\n", line.c_str(),
           describeReceived(got).c_str());
    check(contains(line, "within 50 ms") && got == std::vector<Received>{command(40048)},
          "the second key is dropped, and the line says why", line);
    click(config, IDCANCEL);
    waitUntilGone(config);
}

// ---- The lights -------------------------------------------------------------------------

// The demo's lighting bindings, by the control each lights.
struct Light {
    DWORD control;  // status and number of the message that lights it
    const char* what;
};
const Light kLights[] = {
    {0x2499, "pad 36 (Play/Pause)"},
    {0x2599, "pad 37 (Pause)"},
    {0x2699, "pad 38 (Stop)"},
    {0x14B0, "button 20 (Shuffle)"},
};

// Waits a moment, then prints what the lights' output received.
void showLights(const char* state) {
    pump(400);
    std::vector<DWORD> got = midiOutReceived(1);
    printf("  %s\n      the lights:", state);
    for (DWORD m : got) {
        const char* what = "?";
        for (const Light& light : kLights) {
            if ((m & 0xFFFF) == light.control) what = light.what;
        }
        printf(" %s %s;", what, (m >> 16) != 0 ? "lit" : "dark");
    }
    printf("%s\n", got.empty() ? " nothing" : "");
    check(!got.empty(), "each change of state lights something", state);
}

// The player starts, pauses and stops, shuffle is switched in its own
// window: each light the plug-in sends beside the state that caused it.
void lightsPart() {
    writeFile(iniPath(), "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIOutDevice=1\r\n"
                         "MIDIOutDeviceName=Test MIDI Out 1\r\n\r\n[Notewick Bindings]\r\n"
                         "Note 36 Channel 10=Play/Pause\r\nNote 37 Channel 10=Pause\r\nNote 38 Channel 10=Stop\r\n"
                         "Controller 20 Channel 1=Shuffle\r\n");
    setPlayState(0);
    load();
    init();
    printf("\nThe lights: four bindings light the pads of \"Test MIDI Out 1\" as the player changes.\n\n");
    showLights("The output opens: every light once");
    setPlayState(1);
    showLights("The player plays");
    setPlayState(3);
    showLights("The player pauses");
    setPlayState(0);
    showLights("The player stops");
    setShuffle(true);
    showLights("Shuffle is switched on in the player's own window");
    quit();
    std::vector<DWORD> dark = midiOutReceived(1);
    printf("  Quit: %zu lights dark, the output closed.\n", dark.size());
    check(dark.size() == 4 && !midiOutIsOpen(1), "quit darkens every light");
    unload();
}

// A jog wheel turned quickly: twenty messages of one step each, within a few
// milliseconds, end in a seek or two by the sum of their steps: a knob acts
// at most every 50 ms, and no step is lost.
void jogPart() {
    writeFile(iniPath(), "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\n\r\n[Notewick Bindings]\r\n"
                         "Encoder 16 Channel 1=Seek\r\n");
    setPlayState(1);
    setTrack(240, 60000);
    load();
    init();
    printf("\nA jog wheel (\"Encoder 16 Channel 1=Seek\") turned quickly, the track at 1:00 of 4:00:\n\n");
    play(0, midiNoteOff(0, 60), 10);  // passes the window, which starts anew
    take();
    for (int i = 0; i < 20; ++i) midiSend(0, midiController(0, 16, 1));
    midiWaitIdle();
    pump(200);
    std::vector<Received> got = take();
    size_t seeks = 0;
    for (const Received& r : got) seeks += r.request && r.id == 106 ? 1 : 0;
    printf("  20 messages of one step each at once: %zu seek(s), the track now at %d s\n", seeks, position() / 1000);
    check(seeks >= 1 && seeks <= 4 && position() == 80000, "twenty quick steps end in a seek or two by their sum");
    quit();
    unload();
}

// ---- A pad controller beside the keyboard -----------------------------------------------

// The shipped map's lit buttons, by note, and its light values.
const char* buttonName(UINT note) {
    switch (note) {
        case 8: return "A (Play/Pause)";
        case 24: return "B (Stop)";
        case 104: return "G (Shuffle)";
        case 120: return "H (Repeat)";
        default: return "?";
    }
}
const char* colourName(UINT value) {
    switch (value) {
        case 52: return "green";
        case 7: return "red";
        case 54: return "yellow";
        case 4: return "off";
        default: return "?";
    }
}

// What the pads' output received, once `count` messages came, in words.
std::string padLights(size_t count) {
    std::vector<DWORD> got;
    for (int i = 0; i < 100 && got.size() < count; ++i) {
        Sleep(20);
        std::vector<DWORD> more = midiOutReceived(1);
        got.insert(got.end(), more.begin(), more.end());
    }
    std::string out;
    for (DWORD m : got) {
        char text[64];
        if (m == (0xF0 | (6 << 8))) {
            snprintf(text, sizeof text, "%sthe Device Inquiry", out.empty() ? "" : ", ");
        } else if ((m & 0xF0) == 0x90) {
            snprintf(text, sizeof text, "%sbutton %s %s", out.empty() ? "" : ", ", buttonName((m >> 8) & 0x7F),
                     colourName(m >> 16));
        } else {
            snprintf(text, sizeof text, "%s%02lX %02lX %02lX%s", out.empty() ? "" : ", ", m & 0xFF, (m >> 8) & 0xFF,
                     m >> 16, m == 0x0000B0 ? " (the map's Setup: reset, every light off)" : "");
        }
        out += text;
    }
    check(got.size() == count && (count != 6 || got[0] == 0x0000B0), "each change lights what it changed, the "
          "output set up before its lights", out);
    return out.empty() ? "nothing" : out;
}

// Says what the Bindings dialog's status line says, once it begins with `start`.
std::string statusLine(HWND bindings, const char* start) {
    for (int i = 0; i < 300 && controlText(bindings, IDC_BINDING_STATUS).rfind(start, 0) != 0; ++i) Sleep(10);
    std::string text = controlText(bindings, IDC_BINDING_STATUS);
    check(text.rfind(start, 0) == 0, "the Bindings dialog says what it did", text);
    return text;
}

// What the player received for a press: what the binding sent, then how
// often the lights read the player's state (play state, shuffle, repeat)
// after it changed.
std::string describePress(const std::vector<Received>& got) {
    size_t action = got.size();
    while (action > 0 && got[action - 1].request &&
           (got[action - 1].id == 104 || got[action - 1].id == 250 || got[action - 1].id == 251)) {
        --action;
    }
    std::string out = describeReceived(std::vector<Received>(got.begin(), got.begin() + static_cast<long>(action)));
    if (action < got.size()) out += "; then the lights read its state (" + std::to_string(got.size() - action) + " requests)";
    return out;
}

// A press on the pads (device 1) or the keyboard (device 0): the dialog's
// line, which names the device, what the player received and the lights.
void press(HWND config, UINT device, DWORD message, size_t lights, const char* what) {
    std::string before = controlText(config, IDC_LIVE_LINE);
    take();
    midiSend(device, message);
    std::string line = nextLine(config, before);
    Sleep(150);
    std::vector<Received> got = take();
    printf("  %s\n      %s\n      the player received: %s\n      the lights: %s\n", what, line.c_str(),
           describePress(got).c_str(), padLights(lights).c_str());
    check(!got.empty(), "the press acts", line);
}

void padUser() {
    HWND config = waitForDialog(kConfigCaption);
    check(config != nullptr, "the configuration dialog opens");
    if (config == nullptr) return;
    click(config, IDC_BINDINGS);
    HWND bindings = waitForDialog(kBindingsCaption);
    check(bindings != nullptr, "the Bindings dialog opens");
    if (bindings == nullptr) return;
    printf("  Bindings, then Controller: Add a controller..., then Launchpad Mini from the list of inputs:\n");
    chooseEntry(bindings, IDC_CONTROLLER, static_cast<int>(listEntries(bindings, IDC_CONTROLLER).size()) - 1);
    HWND pick = waitForDialog("Notewick");
    check(pick != nullptr, "Add a controller... lists the inputs");
    if (pick == nullptr) return;
    std::vector<std::string> inputs = listEntries(pick, IDC_PICK_LIST);
    int at = 0;
    while (at < static_cast<int>(inputs.size()) && inputs[static_cast<size_t>(at)] != "Launchpad Mini") ++at;
    chooseEntry(pick, IDC_PICK_LIST, at);
    click(pick, IDOK);
    waitUntilGone(pick);
    printf("      %s\n", statusLine(bindings, "Added Launchpad Mini").c_str());
    waitForText(bindings, IDC_MAP_OFFER, "A ready-made map for the Novation Launchpad Mini is ready:");
    printf("      %s Use Map\n", controlText(bindings, IDC_MAP_OFFER).c_str());
    click(bindings, IDC_USE_MAP);
    printf("  Use Map:\n      %s\n", statusLine(bindings, "Used the map").c_str());
    click(bindings, IDOK);
    waitUntilGone(bindings);
    // The map's Setup (B0 00 00: reset, every light off), then its lights.
    printf("  OK: the pads' input and output open, and the output receives:\n      %s\n\n", padLights(6).c_str());
    press(config, 1, midiNoteOn(0, 8, 127), 2, "Button A on the pads (Play/Pause):");
    press(config, 1, midiNoteOn(0, 0, 127), 0, "The top left pad (Play Entry 1):");
    // Both at once: each device has its own 50 ms window.
    std::string before = controlText(config, IDC_LIVE_LINE);
    take();
    midiSend(0, midiNoteOn(0, 64, 90));
    midiSend(1, midiNoteOn(0, 104, 127));
    nextLine(config, before);
    Sleep(150);
    std::vector<Received> got = take();
    printf("  E4 on the keyboard (Pause) and button G on the pads (Shuffle) at the same moment:\n"
           "      the player received: %s\n      the lights: %s\n",
           describePress(got).c_str(), padLights(2).c_str());
    size_t both = 0;
    for (const Received& r : got) both += !r.request && (r.id == 40046 || r.id == 40023) ? 1 : 0;
    check(both == 2, "a key and a pad at once both act", describeReceived(got));
    press(config, 1, midiNoteOn(0, 24, 127), 1, "Button B on the pads (Stop):");
    click(config, IDCANCEL);
    waitUntilGone(config);
}

// A Novation Launchpad Mini (the test driver's second input and output,
// named as the device names its ports) added beside the keyboard in the
// Bindings dialog with the map that ships for it.
void padPart() {
    const char* source = getenv("NOTEWICK_MAPS_DIR");
    std::string map = source != nullptr ? windowsPath(source) + "\\Novation Launchpad Mini.ini" : "";
    bool copied = CopyFileA(map.c_str(), (mapsFolder() + "Novation Launchpad Mini.ini").c_str(), FALSE) != FALSE;
    check(copied, "the shipped map is copied beside the plug-in", map);
    if (!copied) return;
    writeFile(iniPath(), "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIDeviceName=Test MIDI In 0\r\n");
    midiSetName(1, "Launchpad Mini");
    midiOutSetName(1, "Launchpad Mini");
    setPlayState(0);
    setShuffle(false);
    setPlaylistLength(16);
    setPlayerFollowsCommands(true);
    load();
    init();
    printf("\nA pad controller beside the keyboard: a Novation Launchpad Mini, with the map that ships for it.\n\n");
    runConfigWithUser(padUser);
    quit();
    unload();
    setPlayerFollowsCommands(false);
}

}  // namespace

// The performance, each message as the plug-in's own line in the
// configuration dialog puts it, beside what the player received.
int runDemo() {
    writeFile(iniPath(), "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\n");
    if (load() == nullptr) {
        printf("the plug-in did not load\n");
        return 1;
    }
    init();
    printf("Notewick demo: %s\n", record()->description);
    printf("Loaded %s\n", loadedDllDescription().c_str());
    printf("Each message as the plug-in's configuration dialog tells it, and what the player received:\n\n");
    runConfigWithUser(performer);
    quit();
    unload();
    printf("\n%zu messages played: the player received %zu commands and %zu requests.\n", messages, commands,
           requests);
    lightsPart();
    jogPart();
    padPart();
    return failures() == 0 ? 0 : 1;
}
