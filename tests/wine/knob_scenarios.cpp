// knob_scenarios.cpp -- endless knobs under Wine: a jog wheel turned fast
// seeks by every step it sent, keys act while it turns, a knob sets the
// volume, a fader the position and the balance, and a pad plays an entry of
// the playlist.
#include <string>

#include "tests/wine/host_support.h"

using namespace host;

namespace {

typedef std::vector<Received> List;

size_t countOf(const List& list, bool isRequest, UINT id) {
    size_t n = 0;
    for (const Received& r : list) n += r.request == isRequest && r.id == id ? 1 : 0;
    return n;
}

// A knob turned steadily, 40 messages of one step a second, on a thread of
// its own until told to stop; how many it sent.
volatile LONG turning = 0, turned = 0;
DWORD WINAPI turnKnob(LPVOID) {
    while (InterlockedCompareExchange(&turning, 0, 0) != 0) {
        midiSend(0, midiController(0, 16, 1));
        InterlockedIncrement(&turned);
        Sleep(25);
    }
    return 0;
}

// Ten keys 200 ms apart while the jog wheel turns: every key acts, and every
// step of the wheel moves the position.
void keysWhileTurning() {
    setTrack(600, 0);
    pump(100);
    take();
    InterlockedExchange(&turned, 0);
    InterlockedExchange(&turning, 1);
    HANDLE knob = CreateThread(nullptr, 0, turnKnob, nullptr, 0, nullptr);
    pump(100);
    for (int i = 0; i < 10; ++i) {
        midiSend(0, midiNoteOn(0, 64, 90));  // E4: Pause
        pump(200);
    }
    InterlockedExchange(&turning, 0);
    serveUntilEnded(knob, 5000);
    CloseHandle(knob);
    midiWaitIdle();
    pump(200);
    List got = take();
    LONG steps = InterlockedCompareExchange(&turned, 0, 0);
    check(countOf(got, false, 40046) == 10, "every key acts while the knob turns",
          std::to_string(countOf(got, false, 40046)) + " of 10");
    check(position() == steps * 1000, "and every step of the knob moves the position",
          std::to_string(position()) + " ms after " + std::to_string(steps) + " steps");
}

void knobs() {
    writeFile(iniPath(), "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\n\r\n[Notewick Bindings]\r\n"
                         "Encoder 16 Channel 1=Seek\r\nEncoder 17 Channel 1 Offset=Volume\r\n"
                         "Controller 20 Channel 1=Position\r\nController 21 Channel 1=Balance\r\n"
                         "Note 60 Channel 10=Play Entry 3\r\n");
    setPlayState(1);
    setTrack(600, 100000);
    setPlaylistLength(5);
    setVolume(100);
    check(load() != nullptr && init() == 0, "the plug-in starts");
    // 200 steps of a jog wheel within 400 ms: one seek at most every 50 ms,
    // by the sum of the steps since the last.
    take();
    for (int i = 0; i < 200; ++i) {
        midiSend(0, midiController(0, 16, 1));
        if (i % 2 == 1) Sleep(4);
    }
    midiWaitIdle();
    pump(300);
    List got = take();
    size_t seeks = countOf(got, true, 106);
    check(position() == 300000, "every step of the jog wheel moved the position a second",
          std::to_string(position()));
    check(seeks >= 2 && seeks <= 14, "in a handful of seeks", std::to_string(seeks) + " seeks");
    keysWhileTurning();
    // Back past the start: the position stops at 0.
    play(0, midiController(0, 16, 65), 200);
    play(0, midiController(0, 16, 65), 200);
    play(0, midiController(0, 16, 65), 200);
    play(0, midiController(0, 16, 65), 200);
    play(0, midiController(0, 16, 65), 200);
    check(position() == 0, "the position stops at the track's start", std::to_string(position()));
    for (int i = 0; i < 10; ++i) midiSend(0, midiController(0, 17, 66));
    midiWaitIdle();
    pump(200);
    check(volume() == 180, "ten knob messages of two steps: the volume up by 4 a step", std::to_string(volume()));
    play(0, midiController(0, 20, 127));
    check(position() == 600000, "a fader at the top: the end of the track", std::to_string(position()));
    play(0, midiController(0, 21, 127));
    play(0, midiController(0, 21, 0));
    check(balance() == -127, "the balance fader full left", std::to_string(balance()));
    setPlayState(0);
    take();
    play(0, midiNoteOn(9, 60, 90));
    got = take();
    check(playlistPosition() == 2 && countOf(got, true, 102) == 1, "a pad plays entry 3", describe(got));
    quit();
    unload();
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
}

const ScenarioRegistration registrations[] = {
    {"knobs", knobs},
};

}  // namespace
