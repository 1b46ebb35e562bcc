// demo.cpp -- a short performance on the test MIDI input, played into the
// stand-in player: each message, what the player received, and its function.
#include <cstdio>
#include <string>

#include "tests/wine/host_support.h"

using namespace host;

namespace {

const char* const kNoteNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

std::string describeMessage(DWORD m) {
    UINT status = m & 0xFF, d1 = (m >> 8) & 0xFF, d2 = (m >> 16) & 0xFF;
    UINT kind = status & 0xF0, channel = (status & 0x0F) + 1;
    char text[96];
    std::string where = channel == 1 ? "" : " on channel " + std::to_string(channel);
    if (kind == 0x90 || kind == 0x80) {
        snprintf(text, sizeof text, "%s %s%d velocity %u", kind == 0x90 ? "note-on" : "note-off", kNoteNames[d1 % 12],
                 static_cast<int>(d1 / 12) - 1, d2);
    } else if (kind == 0xB0 && d1 == 1) {
        snprintf(text, sizeof text, "modulation wheel %u", d2);
    } else if (kind == 0xB0) {
        snprintf(text, sizeof text, "controller %u value %u", d1, d2);
    } else if (kind == 0xE0) {
        snprintf(text, sizeof text, "pitch bend %u", d2);
    } else {
        snprintf(text, sizeof text, "message 0x%06lX", static_cast<unsigned long>(m));
    }
    return text + where;
}

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
    bool playing;     // what the player answers when asked
    const char* why;  // when nothing is sent
};

}  // namespace

int runDemo() {
    writeFile(iniPath(), "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\n");
    if (load() == nullptr) {
        printf("the plug-in did not load\n");
        return 1;
    }
    init();
    printf("Notewick demo: %s\n", record()->description);
    printf("Loaded %s\n", loadedDllDescription().c_str());
    printf("The player listens to \"Test MIDI In 0\" on MIDI channel 1.\n\n");
    const char* const release = "a key's release matches no rule";
    const Step performance[] = {
        {midiNoteOn(0, 62, 90), false, nullptr},
        {midiNoteOff(0, 62), false, release},
        {midiNoteOn(0, 64, 90), true, nullptr},
        {midiNoteOn(0, 62, 100), false, nullptr},
        {midiNoteOn(0, 67, 80), true, nullptr},
        {midiNoteOn(0, 60, 80), true, nullptr},
        {midiNoteOn(0, 71, 70), true, nullptr},
        {midiNoteOn(0, 69, 70), true, nullptr},
        {midiNoteOn(0, 61, 90), true, nullptr},
        {midiNoteOn(0, 63, 90), true, nullptr},
        {midiNoteOn(0, 66, 90), true, nullptr},
        {midiNoteOn(0, 68, 90), true, nullptr},
        {midiNoteOn(0, 70, 90), true, nullptr},
        {midiNoteOn(0, 76, 0), true, "velocity 0 is a release"},
        {midiNoteOn(1, 64, 90), true, "not the configured channel"},
        {midiPitchBend(0, 0, 64), true, "the wheel at its centre"},
        {midiPitchBend(0, 0, 80), true, nullptr},
        {midiPitchBend(0, 0, 100), true, nullptr},
        {midiPitchBend(0, 0, 64), true, "back toward the centre"},
        {midiPitchBend(0, 0, 30), true, nullptr},
        {midiController(0, 1, 127), true, nullptr},
        {midiController(0, 1, 126), true, "within one of the last value"},
        {midiController(0, 1, 64), true, nullptr},
        {midiController(15, 19, 127), true, nullptr},
        {midiController(15, 20, 127), true, nullptr},
        {midiController(15, 22, 127), true, nullptr},
        {midiController(15, 23, 127), true, "controller 23 is no button"},
        {midiController(15, 75, 90), true, nullptr},
        {midiNoteOn(0, 65, 90), true, nullptr},
    };
    size_t commands = 0, requests = 0, messages = 0;
    for (const Step& step : performance) {
        setPlayState(step.playing ? 1 : 0);
        play(0, step.message, 120);
        std::vector<Received> got = take();
        for (const Received& r : got) (r.request ? requests : commands) += 1;
        ++messages;
        std::string result = describeReceived(got);
        if (got.empty() && step.why != nullptr) result += std::string(" (") + step.why + ")";
        printf("  %-38s -> %s\n", describeMessage(step.message).c_str(), result.c_str());
    }
    // Two keys 10 ms apart: the second falls inside the 50 ms window.
    midiSend(0, midiNoteOn(0, 67, 90));
    midiWaitIdle();
    pump(10);
    midiSend(0, midiNoteOn(0, 60, 90));
    midiWaitIdle();
    pump(120);
    std::vector<Received> got = take();
    for (const Received& r : got) (r.request ? requests : commands) += 1;
    messages += 2;
    printf("  %-38s -> %s (the second came within 50 ms)\n", "note-on G4, then C4 10 ms later",
           describeReceived(got).c_str());
    quit();
    unload();
    printf("\n%zu messages played: the player received %zu commands and %zu requests.\n", messages, commands,
           requests);
    return 0;
}
