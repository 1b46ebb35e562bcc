// transport_scenarios.cpp -- Machine Control transport buttons through the
// real winmm and the test driver's lent buffers: they drive the stand-in
// player; a thousand other system-exclusive messages cost no key press; and
// Apply, a device that goes away and quit all close with every buffer back.
// Last, a driver that never gives its buffers back does not hang quit.
#include <cstdio>
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

const ScenarioRegistration registrations[] = {
    {"transport_buttons", transportButtons},
};

}  // namespace
