// scenarios.cpp -- the plug-in end to end under Wine: the real DLL, the real
// winmm with the test MIDI driver, and the stand-in player.
//
// Usage: notewick_host.exe SCENARIO PATH-TO-gen_notewick.dll
// Each scenario prints its failures and "PASS name" or "FAIL name".
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/wine/host_support.h"

using namespace host;

namespace {

typedef std::vector<Received> List;

List repeat(const Received& r, int n) { return List(n, r); }

void expectSends(const List& want, const char* what) {
    List got = take();
    check(got == want, what, "got " + describe(got) + ", want " + describe(want));
}

PluginRecord* loadAndInit() {
    PluginRecord* r = load();
    check(r != nullptr, "the plug-in loads and exports its record");
    if (r == nullptr) return nullptr;
    check(init() == 0, "init returns 0");
    return r;
}

void quitAndUnload() {
    quit();
    unload();
}

// ---- Scenarios ------------------------------------------------------------------

void firstStart() {
    DeleteFileA(iniPath().c_str());
    loadAndInit();
    pump(300);
    check(midiOpenCount() == 0, "no port is opened without settings");
    check(messageBoxes().empty(), "no message box on first start");
    play(0, midiNoteOn(0, 64, 90));
    expectSends({}, "nothing is sent without a device");
    quitAndUnload();
    std::string ini = readFile(iniPath());
    check(contains(ini, "[Notewick]"), "quit creates the section", ini);
    check(contains(ini, "MIDIDevice=-1"), "quit writes MIDIDevice=-1", ini);
    check(contains(ini, "MIDIChannel=0"), "quit writes MIDIChannel=0", ini);
}

void storedChannel() {
    writeSettings(0, 9);
    loadAndInit();
    check(midiIsOpen(0) && midiOpenCount() == 1, "the stored device is open");
    play(0, midiNoteOn(9, 64, 90));
    expectSends({command(40046)}, "a key on MIDI channel 10 drives a command");
    play(0, midiNoteOn(0, 64, 90));
    expectSends({}, "a key on MIDI channel 1 does nothing");
    play(1, midiNoteOn(9, 64, 90));
    expectSends({}, "another device is not listened to");
    quitAndUnload();
    check(midiOpenCount() == 0, "quit closes the port");
    std::string ini = readFile(iniPath());
    check(contains(ini, "MIDIDevice=0") && contains(ini, "MIDIChannel=9"), "quit writes the settings back", ini);
}

// What Windows shows in the DLL's properties.
std::string versionString(const std::vector<char>& info, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) || value == nullptr) {
        return "<none>";
    }
    return value;
}

void versionRecord() {
    std::string path = pluginDirectory() + "gen_notewick.dll";
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    check(size > 0, "the DLL has a version record");
    if (size == 0) return;
    std::vector<char> info(size);
    GetFileVersionInfoA(path.c_str(), 0, size, info.data());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length);
    check(fixed != nullptr && fixed->dwFileVersionMS == 0x00010002 && fixed->dwProductVersionMS == 0x00010002,
          "file and product version 1.2");
    check(versionString(info, "ProductName") == "Notewick", "product name", versionString(info, "ProductName"));
    check(versionString(info, "FileVersion") == "1.2", "file version text", versionString(info, "FileVersion"));
    check(versionString(info, "ProductVersion") == "1.2", "product version text");
    std::string description = versionString(info, "FileDescription");
    check(description != "<none>" && !description.empty(), "a file description", description);
}

void description() {
    versionRecord();
    DeleteFileA(iniPath().c_str());
    PluginRecord* r = load();
    check(r != nullptr, "the plug-in loads");
    if (r == nullptr) return;
    check(r->version == 16, "the record's version is 16");
    check(r->description != nullptr && r->description[0] == '\0', "the description is empty before init");
    init();
    check(strcmp(r->description, "Notewick Plug-In v1.2 (gen_notewick.dll)") == 0, "the description after init",
          r->description);
    quitAndUnload();
}

void missingDevice() {
    writeSettings(7, 0);  // three devices are installed
    DWORD started = GetTickCount();
    loadAndInit();  // the watcher reads and dismisses the box while init waits on it
    check(GetTickCount() - started < 5000, "init goes on after the message box");
    std::vector<std::string> texts = messageBoxes();
    check(texts.size() == 1 && texts[0] == "Could not open MIDI device", "init shows \"Could not open MIDI device\"",
          texts.empty() ? "none" : texts[0]);
    check(midiOpenCount() == 0, "no port is open");
    quitAndUnload();
    check(messageBoxes().size() == 1, "quit shows nothing");
    check(contains(readFile(iniPath()), "MIDIDevice=7"), "quit writes the same index back", readFile(iniPath()));
}

void theRealDeviceIsHeldElsewhere() {
    midiSetResult(1, 0, 4);  // MMSYSERR_ALLOCATED
    writeSettings(1, 0);
    loadAndInit();
    check(messageBoxes().size() == 1, "a device held elsewhere shows the message");
    quitAndUnload();
    check(contains(readFile(iniPath()), "MIDIDevice=1"), "and is kept for the next start");
}

bool sendOnPrevious = false;
void queueKeyOnPrevious(const Received& r) {
    // Runs while the worker is still inside its send: the next key arrives
    // well within 50 ms of the accepted one.
    if (sendOnPrevious && !r.request && r.id == 40044) {
        sendOnPrevious = false;
        midiSend(0, midiNoteOn(0, 64, 90));
    }
}

void keys() {
    writeSettings(0, 0);
    loadAndInit();
    play(0, midiNoteOn(0, 64, 90));
    expectSends({command(40046)}, "E4 sends Pause once");
    play(0, midiNoteOn(0, 69, 90));
    expectSends(repeat(command(40059), 4), "A4 sends Volume down four times");
    play(0, midiNoteOn(0, 71, 90));
    expectSends(repeat(command(40058), 4), "B4 sends Volume up four times");
    setPlayState(1);
    play(0, midiNoteOn(0, 62, 90));
    expectSends({request(104, 0), command(40046)}, "D while playing asks, then pauses");
    setPlayState(0);
    play(0, midiNoteOn(0, 74, 90));
    expectSends({request(104, 0), command(40045)}, "D while stopped asks, then plays");
    play(0, midiNoteOn(0, 48, 90));
    play(0, midiNoteOn(0, 72, 90));
    expectSends({command(40044), command(40044)}, "C3 and C5 both send Previous");
    play(0, midiNoteOn(0, 64, 0));
    expectSends({}, "velocity 0 sends nothing");

    setOnReceive(queueKeyOnPrevious);
    sendOnPrevious = true;
    play(0, midiNoteOn(0, 60, 90), 200);
    expectSends({command(40044)}, "a key within 50 ms of the last accepted message is lost");
    setOnReceive(nullptr);
    quitAndUnload();
}

void wheels() {
    writeSettings(0, 0);
    loadAndInit();
    const struct {
        UINT value;
        List sends;
    } bends[] = {{64, {}}, {66, {command(40058)}}, {70, {command(40058)}}, {65, {}}, {64, {}}, {60, {command(40059)}}};
    for (const auto& b : bends) {
        play(0, midiPitchBend(0, 0, b.value));
        expectSends(b.sends, ("pitch bend " + std::to_string(b.value)).c_str());
    }
    play(0, midiPitchBend(0, 3, 20));
    expectSends({}, "a bend with a non-zero low byte is ignored");
    play(0, midiController(0, 1, 127));
    expectSends({request(122, 254)}, "modulation 127 sets the volume to 254");
    play(0, midiController(0, 1, 126));
    expectSends({}, "modulation 126 is within one");
    play(0, midiController(0, 1, 100));
    expectSends({request(122, 200)}, "modulation 100 sets the volume to 200");

    play(0, midiController(15, 19, 127));
    expectSends(repeat(command(40061), 2), "channel-16 controller 19 rewinds twice");
    play(0, midiController(15, 19, 126));
    expectSends({}, "controller 19 below 127 does nothing");
    play(0, midiController(15, 20, 127));
    expectSends(repeat(command(40060), 2), "controller 20 fast-forwards twice");
    play(0, midiController(15, 21, 127));
    play(0, midiController(15, 24, 127));
    play(0, midiController(15, 25, 127));
    expectSends({command(40047), command(40044), command(40048)}, "controllers 21, 24, 25");
    setPlayState(1);
    play(0, midiController(15, 22, 127));
    expectSends({request(104, 0), command(40046)}, "controller 22 toggles play");
    play(0, midiController(15, 75, 50));
    play(0, midiController(15, 75, 127));
    play(0, midiController(15, 7, 90));
    expectSends({request(122, 100)}, "controller 75 is a volume control; 127 on it and controller 7 do nothing");
    quitAndUnload();
}

void otherSectionsSurvive() {
    const std::string before =
        "; the player's own settings\r\n[Player]\r\nskin=Classic\r\nvolume=200\r\n\r\n"
        "[Notewick]\r\nMIDIDevice=2\r\nExtra=keep me\r\nMIDIChannel=3\r\n\r\n[Other]\r\nkey=value\r\n";
    writeFile(iniPath(), before);
    loadAndInit();
    play(2, midiNoteOn(3, 67, 90));
    expectSends({command(40048)}, "the stored device and channel are used");
    quitAndUnload();
    std::string after = readFile(iniPath());
    for (const char* line : {"; the player's own settings", "[Player]", "skin=Classic", "volume=200", "Extra=keep me",
                             "[Other]", "key=value", "MIDIDevice=2", "MIDIChannel=3"}) {
        check(contains(after, line), "the file keeps its other lines", line);
    }
}

void quitDuringSlowSend() {
    writeSettings(0, 0);
    check(load() != nullptr, "the plug-in loads");
    pump(50);
    int before = threadCount();
    init();
    pump(100);
    int running = threadCount();
    check(running == before + 1, "init starts the worker",
          std::to_string(running) + " threads, " + std::to_string(before) + " before init");
    setCommandDelayMs(250);
    midiSend(0, midiNoteOn(0, 71, 90));  // B: four slow Volume-up sends
    // Serve the first send, then quit while the worker is in the second.
    DWORD waited = GetTickCount();
    while (take().empty() && GetTickCount() - waited < 2000) pump(1);
    DWORD started = GetTickCount();
    quit();
    DWORD took = GetTickCount() - started;
    check(took < 3000, "quit returns promptly", std::to_string(took) + " ms");
    int after = threadCount();
    check(after == before, "the worker has ended when quit returns",
          std::to_string(after) + " threads, " + std::to_string(before) + " before init");
    unload();
    // No code of the module may run now: MIDI keeps arriving, the window is served.
    for (UINT d = 0; d < 3; ++d) midiSend(d, midiNoteOn(0, 71, 90));
    pump(300);
}

void midiAfterUnload() {
    writeSettings(0, 0);
    loadAndInit();
    play(0, midiNoteOn(0, 64, 90));
    expectSends({command(40046)}, "the port works before quit");
    quitAndUnload();
    for (int i = 0; i < 200; ++i) {
        for (UINT d = 0; d < 3; ++d) midiSend(d, midiNoteOn(0, static_cast<UINT>(i % 128), 90));
        if (i % 20 == 0) pump(5);
    }
    midiWaitIdle();
    pump(200);
    expectSends({}, "nothing reaches the player after quit");
}

const ScenarioRegistration registrations[] = {
    {"first_start", firstStart},
    {"stored_channel", storedChannel},
    {"description", description},
    {"missing_device", missingDevice},
    {"device_held_elsewhere", theRealDeviceIsHeldElsewhere},
    {"keys", keys},
    {"wheels", wheels},
    {"other_sections", otherSectionsSurvive},
    {"quit_during_slow_send", quitDuringSlowSend},
    {"midi_after_unload", midiAfterUnload},
};

}  // namespace

int runDemo();

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc != 3) {
        printf("usage: notewick_host.exe SCENARIO|demo PATH-TO-DLL\n");
        return 2;
    }
    const char* desktop = getenv("NOTEWICK_DESKTOP");
    if (desktop != nullptr && !enterOwnDesktop(desktop)) {
        printf("FAIL: the desktop %s could not be made\n", desktop);
        return 1;
    }
    if (!start(argv[2])) {
        printf("FAIL: the test player could not start (window or test MIDI driver missing)\n");
        return 1;
    }
    // The last line says what ran, so that run.sh can tell the binaries it
    // meant from others: "PASS keys (32-bit player, i386 DLL)".
    std::string ran = widths();
    if (strcmp(argv[1], "demo") == 0) {
        int status = runDemo();
        if (status == 0) printf("\nPASS demo (%s)\n", ran.c_str());
        return status;
    }
    void (*run)() = findScenario(argv[1]);
    if (run == nullptr) {
        printf("unknown scenario %s\n", argv[1]);
        return 2;
    }
    run();
    printf("%s %s (%s)\n", failures() == 0 ? "PASS" : "FAIL", argv[1], ran.c_str());
    return failures() == 0 ? 0 : 1;
}
