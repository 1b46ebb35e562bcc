// gesture_scenarios.cpp -- a shift button, a long press and a double press
// under Wine, end to end: from the test driver's messages, stamped with when
// they arrived, to the stand-in player's window.
#include <string>

#include "tests/wine/host_support.h"

using namespace host;

namespace {

typedef std::vector<Received> List;

// What the player received within `ms`.
List after(DWORD ms) {
    midiWaitIdle();
    pump(ms);
    return take();
}

void gestures() {
    writeFile(iniPath(), "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\n\r\n[Notewick Bindings]\r\n"
                         "Note 40 Channel 10=Shift\r\nNote 36 Channel 10=Play/Pause\r\nNote 36 Channel 10 Hold=Stop\r\n"
                         "Note 37 Channel 10=Previous\r\nNote 37 Channel 10 Double=Next\r\n"
                         "Shift Note 36 Channel 10=Play Entry 2\r\nNote 38 Channel 10=Repeat\r\n");
    setPlaylistLength(5);
    setPlayState(0);
    check(load() != nullptr && init() == 0, "the plug-in starts");
    take();
    // A pad pressed 20 ms after the shift button acts on its Shift line when
    // let go; the shift button let go 5 ms after it is held no more.
    midiSend(0, midiNoteOn(9, 40, 127));
    Sleep(20);
    midiSend(0, midiNoteOn(9, 36, 127));
    Sleep(80);
    midiSend(0, midiNoteOff(9, 36));
    Sleep(5);
    midiSend(0, midiNoteOff(9, 40));
    List got = after(200);
    check(got == List{request(124, 0), request(121, 1), request(102, 0)}, "Shift and the pad play entry 2",
          describe(got));
    // Held: Stop once the hold time has passed, before it is let go.
    midiSend(0, midiNoteOn(9, 36, 127));
    got = after(700);
    check(got == List{command(40047)}, "held, the pad stops the player", describe(got));
    midiSend(0, midiNoteOff(9, 36));
    check(after(200).empty(), "let go after a hold, nothing more");
    // Tapped: Play/Pause when let go, asking the play state first.
    setPlayState(0);
    midiSend(0, midiNoteOn(9, 36, 127));
    Sleep(60);
    midiSend(0, midiNoteOff(9, 36));
    got = after(200);
    check(got == List{request(104, 0), command(40045)}, "tapped, it plays", describe(got));
    // Pressed twice within the double-press time: Next; once: Previous, 300 ms on.
    for (int press = 0; press < 2; ++press) {
        midiSend(0, midiNoteOn(9, 37, 127));
        Sleep(40);
        midiSend(0, midiNoteOff(9, 37));
        Sleep(80);
    }
    got = after(400);
    check(got == List{command(40048)}, "a double press goes to the next track", describe(got));
    midiSend(0, midiNoteOn(9, 37, 127));
    Sleep(40);
    midiSend(0, midiNoteOff(9, 37));
    check(after(100).empty(), "a single press waits for a second");
    got = after(400);
    check(got == List{command(40044)}, "then goes to the previous track", describe(got));
    // Held with pressure (polyphonic and the channel's, 100 a second): the
    // device's other pads act meanwhile, and the Hold comes at its time,
    // well before the pad is let go.
    midiSend(0, midiNoteOn(9, 36, 127));
    for (DWORD at = 0; at < 800; at += 10) {
        midiSend(0, at % 20 == 0 ? 0xA9u | (36u << 8) | ((60u + at / 20) << 16) : 0xD9u | ((60u + at / 20) << 8));
        pump(5);  // the other pads between two pressure messages
        if (at == 100 || at == 250) midiSend(0, midiNoteOn(9, 38, 127));
        if (at == 130 || at == 280) midiSend(0, midiNoteOff(9, 38));
        pump(5);
    }
    got = after(50);
    check(got == List{command(40022), command(40022), command(40047)},
          "with pressure from a held pad, the other pads act and the hold stops the player", describe(got));
    midiSend(0, midiNoteOff(9, 36));
    check(after(200).empty(), "let go after a hold with pressure, nothing more");
    // A key of the key map bound to nothing acts at once, as always.
    play(0, midiNoteOn(0, 64, 90), 60);
    got = take();
    check(got == List{command(40046)}, "a key without gestures acts on its press", describe(got));
    quit();
    unload();
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
}

const ScenarioRegistration registrations[] = {
    {"gestures", gestures},
};

}  // namespace
