// transport_scenarios.cpp -- Machine Control transport buttons through the
// real winmm and the test driver's lent buffers: they drive the stand-in
// player; a thousand other system-exclusive messages cost no key press; and
// Apply, a device that goes away and quit all close with every buffer back.
// Last, a driver that never gives its buffers back does not hang quit.
// The replay table plays every controller's transport buttons, as Windows
// names its ports, with no setup. The HUI ping goes only to the ports that
// sent a zone select, on their paired outputs.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/wine/host_support.h"
#include "ui/resource.h"

using namespace host;

namespace {

typedef std::vector<Received> List;
typedef std::vector<BYTE> Bytes;

const LONG kBuffers = 4;

Bytes mmc(BYTE device, BYTE command) { return {0xF0, 0x7F, device, 0x06, command, 0xF7}; }
// A manufacturer's message of `length` bytes.
Bytes vendor(size_t length) {
    Bytes m(length, 0x21);
    m.front() = 0xF0;
    m.back() = 0xF7;
    return m;
}

void pressButton(const Bytes& message, const List& want, const char* what) {
    take();
    midiSendSysex(0, message);
    midiWaitIdle();
    pump(90);
    List got = take();
    check(got == want, what, "got " + describe(got) + ", want " + describe(want));
}

// Nothing a driver refuses has happened to device 0's buffers, and `lent`
// of them are lent now.
void expectBuffers(LONG lent, const char* when) {
    FakeMidiBufferStats b = midiBufferStats(0);
    char detail[160];
    snprintf(detail, sizeof detail, "%ld lent, %ld lent while closing, %ld closes and %ld unprepares refused", b.lent,
             b.addsWhileClosing, b.closesRefused, b.unpreparesRefused);
    check(b.lent == lent && b.addsWhileClosing == 0 && b.closesRefused == 0 && b.unpreparesRefused == 0, when, detail);
}

// The player answers the play-state request as its commands left it.
void buttons() {
    const Received state = request(104, 0);
    pressButton(mmc(0x7F, 0x02), {state, command(40045)}, "Play plays");
    pressButton(mmc(0x00, 0x09), {state, command(40046)}, "Pause pauses the playing player");
    pressButton(mmc(0x10, 0x02), {state, command(40046)}, "Play resumes the paused player");
    pressButton(mmc(0x10, 0x02), {state}, "Play does nothing while playing");
    // 1 h 2 min 3 s and 15 frames, with 25 fps in the hours byte's rate bits,
    // within the track (of unknown length here).
    pressButton({0xF0, 0x7F, 0x7F, 0x06, 0x44, 0x06, 0x01, 0x21, 2, 3, 15, 0, 0xF7},
                {request(105, 1), request(106, 3723600)}, "Locate jumps to the time");
    pressButton(mmc(0x7F, 0x01), {command(40047)}, "Stop stops");
    pressButton(mmc(0x7F, 0x09), {state}, "Pause does nothing while stopped");
}

// Serves the player's window until the driver has delivered everything: the
// worker lends buffers again only between its sends to the window.
void serveUntilDelivered() {
    DWORD started = GetTickCount();
    while (!midiWaitIdle(0) && GetTickCount() - started < 5000) pump(2);
}

// A key every 100 ms, and twenty system-exclusive messages after each, a
// fifth of them long enough for three buffers: every key acts, every message
// finds a buffer.
void keysAmongSysex() {
    const int keys = 50;
    LONG deliveredBefore = midiBufferStats(0).sysexDelivered;
    take();
    for (int k = 0; k < keys; ++k) {
        midiSend(0, midiNoteOn(0, 64, 90));  // E: Pause
        for (int i = 0; i < 20; ++i) midiSendSysex(0, vendor(i % 5 == 4 ? 150 : 23));
        serveUntilDelivered();
        pump(100);
    }
    List got = take();
    FakeMidiBufferStats b = midiBufferStats(0);
    check(got == List(keys, command(40046)), "every key acts, whatever came between", describe(got));
    check(b.sysexDelivered - deliveredBefore == 1000 && b.sysexLost == 0, "all 1,000 messages were taken",
          std::to_string(b.sysexDelivered - deliveredBefore) + " delivered, " + std::to_string(b.sysexLost) + " lost");
    expectBuffers(kBuffers, "and every buffer is lent again");
}

// Apply while messages arrive, then OK.
void applyWhileMessagesArrive() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    for (int i = 0; i < 100; ++i) midiSendSysex(0, vendor(i % 2 == 0 ? 23 : 150));
    click(config, IDC_APPLY);
    Sleep(300);
    click(config, IDOK);
    check(waitUntilGone(config), "OK closes the dialog");
}

void transportButtons() {
    writeSettings(0, 0, "Test MIDI In 0");
    setPlayerFollowsCommands(true);
    check(load() != nullptr && init() == 0, "the plug-in starts");
    pump(100);
    expectBuffers(kBuffers, "the main port is lent its buffers");
    buttons();
    keysAmongSysex();

    runConfigWithUser(applyWhileMessagesArrive);
    serveUntilDelivered();
    pump(100);
    expectBuffers(kBuffers, "Apply and OK close with every buffer back and open with all lent");
    pressButton(mmc(0x7F, 0x01), {command(40047)}, "the buttons work after OK");

    midiSetAway(0, true);
    broadcastDeviceChange();
    check(!midiIsOpen(0), "the port of a device that went is closed");
    expectBuffers(0, "with every buffer back");
    midiSetAway(0, false);
    broadcastDeviceChange();
    expectBuffers(kBuffers, "the device back is lent its buffers again");
    pressButton(mmc(0x7F, 0x01), {command(40047)}, "the buttons work when it is back");

    quit();
    check(!midiIsOpen(0), "quit closes the port");
    expectBuffers(0, "with every buffer back");
    unload();
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));

    // The fault last: the driver then holds memory of the unloaded module.
    check(load() != nullptr && init() == 0, "the plug-in starts again");
    midiSetKeepsBuffers(0, true);
    DWORD started = GetTickCount();
    quit();
    DWORD took = GetTickCount() - started;
    check(took < 3000, "quit returns promptly when the driver never gives its buffers back",
          std::to_string(took) + " ms");
    FakeMidiBufferStats b = midiBufferStats(0);
    check(b.lent == kBuffers && b.closesRefused == 1 && b.unpreparesRefused == 0,
          "the port, refused its close, keeps them and nothing was unprepared",
          std::to_string(b.lent) + " lent, " + std::to_string(b.closesRefused) + " closes refused");
    unload();
}

// ---- The replay table: every controller's transport buttons with no setup ------------------

// A device as Windows lists it, how it is used with no setup (the keyboard
// configured, or a controller section without bindings), and what its Play,
// Stop, Previous and Next buttons send: "port:message;message", hex, a
// press and its release; "" where it has no such button. `acts` is what the
// player must receive for each ("nothing" for none): the table's expectation.
struct ReplayRow {
    const char* device;
    const char* ports;  // "|" between them, the first port first
    bool section;       // a controller section, else the configured keyboard
    const char* sectionLines;
    const char* buttons[4];
    const char* acts[4];
};

const char* const kButtons[4] = {"Play", "Stop", "Previous", "Next"};

const ReplayRow kReplay[] = {
    {"Behringer X-Touch One (MC Std)", "X-Touch One", true, "Transport=Mackie\r\n",
     {"1:90 5E 7F;90 5E 00", "1:90 5D 7F;90 5D 00", "1:90 2E 7F;90 2E 00", "1:90 2F 7F;90 2F 00"},
     {"Play", "Stop", "Previous", "Next"}},
    {"Arturia KeyLab mkII 61 (Mackie)", "KeyLab mkII 61|MIDIIN2 (KeyLab mkII 61)", false, "",
     {"2:90 5E 7F;90 5E 00", "2:90 5D 7F;90 5D 00", "2:90 2E 7F;90 2E 00", "2:90 2F 7F;90 2F 00"},
     {"Play", "Stop", "Previous", "Next"}},
    {"Arturia KeyLab mkII 61 (HUI)", "KeyLab mkII 61|MIDIIN2 (KeyLab mkII 61)", false, "",
     {"2:B0 0F 0E;B0 2F 44;B0 0F 0E;B0 2F 04", "2:B0 0F 0E;B0 2F 43;B0 0F 0E;B0 2F 03", "", ""},
     {"Play", "Stop", "nothing", "nothing"}},
    {"Arturia KeyLab Essential 61 mk3", "KeyLab Essential 61 mk3|MIDIIN2 (KeyLab Essential 61 mk3)", false, "",
     {"2:90 5E 7F;90 5E 00", "2:90 5D 7F;90 5D 00", "", ""},
     {"Play", "Stop", "nothing", "nothing"}},
    {"M-Audio Keystation 88 MK3", "Keystation 88 MK3|MIDIIN2 (Keystation 88 MK3)", false, "",
     {"2:90 5E 7F;90 5E 00", "2:90 5D 7F;90 5D 00", "2:90 2E 7F;90 2E 00", "2:90 2F 7F;90 2F 00"},
     {"Play", "Stop", "Previous", "Next"}},
    {"Arturia MiniLab 3 (MCU port on)",
     "Minilab3 MIDI|MIDIIN2 (Minilab3 MIDI)|MIDIIN3 (Minilab3 MIDI)|MIDIIN4 (Minilab3 MIDI)", false, "",
     {"3:90 5E 7F;90 5E 00", "3:90 5D 7F;90 5D 00", "3:90 2E 7F;90 2E 00", "3:90 2F 7F;90 2F 00"},
     {"Play", "Stop", "Previous", "Next"}},
    {"Novation Launchkey Mini MK3 (DAW port)", "Launchkey Mini MK3 MIDI|MIDIIN2 (Launchkey Mini MK3 MIDI)", false, "",
     {"2:BF 73 7F;BF 73 00", "", "2:BF 67 7F;BF 67 00", "2:BF 66 7F;BF 66 00"},
     {"nothing", "nothing", "nothing", "nothing"}},
    {"Akai MPK mini Plus", "MPK mini Plus", false, "",
     {"1:B0 76 7F", "1:B0 75 7F", "1:B0 73 7F", "1:B0 74 7F"},
     {"nothing", "nothing", "nothing", "nothing"}},
    {"Akai MPK49 (transport MIDI)", "MPK49", false, "", {"1:FA", "1:FC", "", ""},
     {"Play", "Pause", "nothing", "nothing"}},
    {"Akai MPK49 (transport MMC)", "MPK49", false, "",
     {"1:F0 7F 7F 06 02 F7", "1:F0 7F 7F 06 01 F7", "", ""},
     {"Play", "Stop", "nothing", "nothing"}},
    {"Novation SL MkIII (clock on)", "SL MkIII|MIDIIN2 (SL MkIII)", false, "", {"2:FA", "2:FC", "", ""},
     {"Play", "Pause", "nothing", "nothing"}},
    {"Korg nanoKONTROL2 (CC mode)", "nanoKONTROL2", true, "",
     {"1:B0 29 7F;B0 29 00", "1:B0 2A 7F;B0 2A 00", "1:B0 3A 7F;B0 3A 00", "1:B0 3B 7F;B0 3B 00"},
     {"nothing", "nothing", "nothing", "nothing"}},
    {"Behringer X-Touch Mini (Standard)", "X-TOUCH MINI", true, "",
     {"1:9A 09 7F;9A 09 00", "1:9A 0A 7F;9A 0A 00", "1:9A 08 7F;9A 08 00", "1:9A 0B 7F;9A 0B 00"},
     {"nothing", "nothing", "nothing", "nothing"}},
    {"Akai APC mini mk2", "APC mini mk2|MIDIIN2 (APC mini mk2)", true, "",
     {"1:90 70 7F;80 70 00", "1:90 71 7F;80 71 00", "1:90 72 7F;80 72 00", "1:90 73 7F;80 73 00"},
     {"nothing", "nothing", "nothing", "nothing"}},
    {"Akai APC mini (mk1)", "APC MINI", true, "",
     {"1:90 52 7F;80 52 00", "1:90 53 7F;80 53 00", "1:90 54 7F;80 54 00", "1:90 55 7F;80 55 00"},
     {"nothing", "nothing", "nothing", "nothing"}},
    {"Novation Launchpad Mini MK3", "LPMiniMK3 MIDI|MIDIIN2 (LPMiniMK3 MIDI)", true, "",
     {"2:B0 59 7F;B0 59 00", "2:B0 4F 7F;B0 4F 00", "2:B0 45 7F;B0 45 00", "2:B0 3B 7F;B0 3B 00"},
     {"nothing", "nothing", "nothing", "nothing"}},
    {"PreSonus ATOM", "ATOM", true, "",
     {"1:B0 6D 7F;B0 6D 00", "1:B0 6F 7F;B0 6F 00", "1:B0 5A 7F;B0 5A 00", "1:B0 66 7F;B0 66 00"},
     {"nothing", "nothing", "nothing", "nothing"}},
    {"Hercules DJControl Starlight", "DJControl Starlight", true, "",
     {"1:91 07 7F;91 07 00", "1:91 06 7F;91 06 00", "", ""}, {"nothing", "nothing", "nothing", "nothing"}},
    {"Hercules DJControl Inpulse 200", "DJControl Inpulse 200", true, "",
     {"1:91 07 7F;91 07 00", "1:91 06 7F;91 06 00", "", ""}, {"nothing", "nothing", "nothing", "nothing"}},
    {"Numark DJ2GO2 Touch", "DJ2GO2 Touch", true, "",
     {"1:90 00 7F;90 00 00", "1:90 01 7F;90 01 00", "1:9F 02 7F;9F 02 00", "1:9F 03 7F;9F 03 00"},
     {"nothing", "nothing", "nothing", "nothing"}},
    {"Pioneer DDJ-200", "DDJ-200", true, "",
     {"1:90 0B 7F;90 0B 00", "1:90 0C 7F;90 0C 00", "", ""}, {"nothing", "nothing", "nothing", "nothing"}},
};

const UINT kReplayInputs = 5;  // the scenario's driver inputs

std::vector<std::string> split(const std::string& text, char at) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == at) {
            if (i > from) parts.push_back(text.substr(from, i - from));
            from = i + 1;
        }
    }
    return parts;
}

// Presses the button on the driver input of the device's port (ports begin
// at `first`): what the player was told to do, "nothing" for nothing.
std::string pressReplayed(const char* button, UINT first) {
    take();
    std::string text = button;
    if (text.empty()) return "nothing";
    UINT input = first + static_cast<UINT>(text[0] - '1');
    for (const std::string& message : split(text.substr(2), ';')) {
        Bytes bytes;
        for (const std::string& hex : split(message, ' ')) bytes.push_back(static_cast<BYTE>(strtoul(hex.c_str(), nullptr, 16)));
        if (bytes[0] == 0xF0) {
            midiSendSysex(input, bytes);
        } else {
            DWORD word = 0;
            for (size_t i = 0; i < bytes.size(); ++i) word |= static_cast<DWORD>(bytes[i]) << (8 * i);
            midiSend(input, word);
        }
        midiWaitIdle();
        pump(60);
    }
    pump(60);
    std::string acted;
    for (const Received& r : take()) {
        if (!r.request) acted += (acted.empty() ? "" : "+") + std::string(commandName(r.id));
    }
    return acted.empty() ? "nothing" : acted;
}

// Each device as Windows names its ports, with no setup: Play, then Stop
// while playing, Previous and Next; the table printed, each row checked.
void transportReplay() {
    setPlayerFollowsCommands(true);
    printf("%-40s| %-9s| %-9s| %-9s| %s\n", "Device (ports as Windows names them)", "Play", "Stop", "Previous", "Next");
    for (const ReplayRow& row : kReplay) {
        std::vector<std::string> ports = split(row.ports, '|');
        UINT first = row.section ? 1 : 0;
        for (UINT i = 0; i < kReplayInputs; ++i) {
            std::string name = i == 0 && row.section ? "Test MIDI In 0" : "Spare MIDI In " + std::to_string(i);
            if (i >= first && i - first < ports.size()) name = ports[i - first];
            midiSetName(i, name.c_str());
        }
        std::string ini = "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIDeviceName=" +
                          (row.section ? std::string("Test MIDI In 0") : ports[0]) + "\r\n";
        if (row.section) ini += "\r\n[Notewick Controller 1]\r\nInput=" + ports[0] + "\r\n" + row.sectionLines;
        writeFile(iniPath(), ini);
        setPlayState(0);
        check(load() != nullptr && init() == 0, "the plug-in starts", row.device);
        pump(100);
        std::string got[4], messages;
        bool asExpected = true;
        for (int b = 0; b < 4; ++b) {
            got[b] = pressReplayed(row.buttons[b], first);
            asExpected = asExpected && got[b] == row.acts[b];
            if (row.buttons[b][0] != '\0') {
                messages += std::string(messages.empty() ? "" : ", ") + kButtons[b] + " port " + row.buttons[b];
            }
        }
        printf("%-40s| %-9s| %-9s| %-9s| %s\n      %s\n", row.device, got[0].c_str(), got[1].c_str(), got[2].c_str(),
               got[3].c_str(), messages.c_str());
        check(asExpected, row.device, got[0] + ", " + got[1] + ", " + got[2] + ", " + got[3]);
        quit();
        unload();
    }
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
}

// ---- The HUI ping ------------------------------------------------------------------------

// The host's pings (90 00 00) each of the five outputs received while the
// player's window was served for ms: "0 0 3 0 0".
std::string pingsIn(DWORD ms) {
    for (UINT output = 0; output < 5; ++output) midiOutReceived(output);
    pump(ms);
    std::string counts;
    for (UINT output = 0; output < 5; ++output) {
        int pings = 0;
        for (DWORD m : midiOutReceived(output)) pings += (m & 0xFFFFFF) == 0x000090 ? 1 : 0;
        counts += (output == 0 ? "" : " ") + std::to_string(pings);
    }
    return counts;
}

// Two devices of two ports: HUI Keys, with no lights output, whose port 2
// speaks HUI; Pads, whose bindings read port 2 and light its output 2. A
// port is pinged about once a second from its first zone select, on its
// paired output (opened for the ping alone, or the lights output open
// there), and a port that sent none never; a device unplugged is pinged no
// more.
void huiPing() {
    const char* names[] = {"Test MIDI In 0", "HUI Keys", "MIDIIN2 (HUI Keys)", "Pads", "MIDIIN2 (Pads)"};
    const char* outputs[] = {"Test MIDI Out 0", "HUI Keys", "MIDIOUT2 (HUI Keys)", "Pads", "MIDIOUT2 (Pads)"};
    for (UINT i = 0; i < 5; ++i) {
        midiSetName(i, names[i]);
        midiOutSetName(i, outputs[i]);
    }
    writeFile(iniPath(), "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIDeviceName=Test MIDI In 0\r\n\r\n"
                         "[Notewick Controller 1]\r\nInput=HUI Keys\r\n\r\n"
                         "[Notewick Controller 2]\r\nInput=Pads\r\nOutput=Pads\r\nPort=2\r\nIdentity=\r\n"
                         "Note 60 Channel 1=Stop\r\n");
    check(load() != nullptr && init() == 0, "the plug-in starts");
    std::string pings = pingsIn(1500);
    check(pings == "0 0 0 0 0", "no port is pinged before it speaks HUI", pings);
    midiSend(2, 0x0E0FB0);  // zone select: the transport zone
    midiWaitIdle();
    pings = pingsIn(2500);
    check((pings == "0 0 2 0 0" || pings == "0 0 3 0 0") && !midiOutIsOpen(2),
          "the HUI port's paired output is pinged about once a second (opened for the ping alone), no other", pings);
    midiSend(4, 0x0E0FB0);
    midiWaitIdle();
    pings = pingsIn(2500);
    check(pings.compare(0, 4, "0 0 ") == 0 && pings[4] >= '2' && pings[4] <= '3' && pings.substr(5) == " 0 " + pings.substr(4, 1) &&
              midiOutIsOpen(4),
          "then the other, through its lights output open there", pings);
    midiSetAway(1, true);
    midiSetAway(2, true);
    broadcastDeviceChange();
    pingsIn(100);
    pings = pingsIn(1500);
    check(pings == "0 0 0 0 1" || pings == "0 0 0 0 2", "a device unplugged is pinged no more, the other still", pings);
    quit();
    unload();
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
}

const ScenarioRegistration registrations[] = {
    {"transport_buttons", transportButtons},
    {"transport_hui_ping", huiPing},
    {"transport_replay", transportReplay},
};

}  // namespace
