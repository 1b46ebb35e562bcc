// device_scenarios.cpp -- the device found by its name, opened again when it
// comes back, and the settings saved when applied, through the real winmm
// and the test MIDI driver, with WM_DEVICECHANGE sent as Windows sends it;
// the ports' device interface paths and the Device Inquiry's answer; two
// units of one kind, each held by its section through unplugging.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/device_interface.h"
#include "tests/wine/host_support.h"
#include "ui/resource.h"

using namespace host;

namespace {

typedef std::vector<Received> List;
typedef std::vector<std::string> Texts;

void start() { check(load() != nullptr && init() == 0, "the plug-in starts"); }
void stop() {
    quit();
    unload();
}

// A key on the device drives the player (E: Pause), or nothing when `heard`
// is false.
void keyDrives(UINT device, bool heard, const std::string& what, UINT channel = 0) {
    take();
    play(device, midiNoteOn(channel, 64, 90));
    List got = take();
    check(got == (heard ? List{command(40046)} : List{}), what.c_str(), describe(got));
}

void expectSaved(int device, const std::string& name) {
    std::string ini = readFile(iniPath());
    check(contains(ini, "MIDIDevice=" + std::to_string(device) + "\r\n") &&
              contains(ini, "MIDIDeviceName=" + name + "\r\n"),
          "the file holds the device's number and name", ini);
}

// ---- At start -----------------------------------------------------------------------

// A file from before names were kept works as it always did; quit adds the name.
void oldFile() {
    writeSettings(1, 0);
    start();
    check(midiIsOpen(1) && midiOpenCount() == 1, "the stored index is opened");
    keyDrives(1, true, "a key drives the player");
    stop();
    check(messageBoxes().empty(), "no message box");
    expectSaved(1, "Test MIDI In 1");
}

// The keyboard was device 0; at the next start Windows numbers it 2.
void renumbered() {
    midiSetName(0, "Stage Piano ");  // a blank at the end: the file must keep it
    writeSettings(0, 0);
    start();
    stop();
    expectSaved(0, "\"Stage Piano \"");
    midiSetName(0, "USB Keys");
    midiSetName(2, "Stage Piano ");
    start();
    check(midiIsOpen(2) && midiOpenCount() == 1, "the named device is opened at its new index",
          std::to_string(midiOpenCount()) + " open");
    keyDrives(2, true, "a key on it drives the player");
    keyDrives(0, false, "the device now at the old index is not listened to");
    stop();
    check(messageBoxes().empty(), "no message box");
    expectSaved(2, "\"Stage Piano \"");
}

// While the named device is away, the configuration dialog offers it as
// "NAME (not connected)", preselected over the device at its stored index;
// OK with it changes the channel and keeps the device, without a message.
void awayEntryUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    Texts entries = listEntries(config, IDC_DEVICE);
    check(entries.size() == 5 && entries[4] == "Stage Piano (not connected)" && listSelection(config, IDC_DEVICE) == 4,
          "the away device's entry ends the list, selected", joined(entries));
    selectEntry(config, IDC_CHANNEL, 3);
    click(config, IDOK);
    waitUntilGone(config);
}

// The device comes back while init's message box is up: init looks once
// when its device watch is there.
void backWhileTheBoxIsUp(const std::string&) {
    midiSetAway(2, false);
    broadcastDeviceChange();
}

// The named device is away at start: the message, nothing opened even with
// another device at the stored index, and both kept; it comes back while the
// player runs and is opened without a word.
void absentThenBack() {
    midiSetName(2, "Stage Piano");
    midiSetAway(2, true);
    writeSettings(1, 0, "Stage Piano");
    start();
    check(waitForMessageBoxes(1, 3000), "init says it could not open the device");
    check(midiOpenCount() == 0, "nothing is opened, though device 1 is there");
    runConfigWithUser(awayEntryUser);
    check(midiOpenCount() == 0 && messageBoxes().size() == 1, "OK opens nothing and says nothing",
          joined(messageBoxes()));
    stop();
    expectSaved(1, "Stage Piano");
    check(contains(readFile(iniPath()), "MIDIChannel=3\r\n"), "the channel is taken");
    // The lights' output, away at start too, follows the same rules.
    std::string ini = readFile(iniPath());
    size_t at = ini.find("MIDIOutDevice=-1\r\nMIDIOutDeviceName=\r\n");
    check(at != std::string::npos, "quit writes the output's keys, for none", ini);
    if (at != std::string::npos) ini.replace(at, 38, "MIDIOutDevice=1\r\nMIDIOutDeviceName=Test MIDI Out 1\r\n");
    writeFile(iniPath(), ini + "\r\n[Notewick Bindings]\r\nNote 36 Channel 10=Stop\r\n");
    midiOutSetAway(1, true);
    setOnMessageBox(backWhileTheBoxIsUp);
    start();
    setOnMessageBox(nullptr);
    check(midiIsOpen(2) && midiOpenCount() == 1, "a device back while init's message was up is opened");
    keyDrives(2, true, "a key on it drives the player", 3);
    const DWORD stopLit = midiNoteOn(9, 36, 127);
    for (int round = 0; round < 2; ++round) {
        midiSetAway(2, true);
        midiOutSetAway(1, true);
        broadcastDeviceChange();
        check(!midiOutIsOpen(1), "an output that goes away is closed");
        midiSetAway(2, false);
        midiOutSetAway(1, false);
        broadcastDeviceChange();
        check(midiIsOpen(2) && midiOpenCount() == 1, "the device is opened when it comes back");
        pump(300);
        check(midiOutIsOpen(1) && midiOutReceived(1) == std::vector<DWORD>{0xF0 | (6 << 8), stopLit},
              "and so is the output, asked who it is again, every light sent once");
    }
    pump(200);
    check(messageBoxes() == Texts{"Could not open MIDI device", "Could not open MIDI device",
                                  "Could not open MIDI output device \"Test MIDI Out 1\": it is not connected. Its "
                                  "lights start when it is."},
          "with no message box but init's", joined(messageBoxes()));
    stop();
    expectSaved(2, "Stage Piano");
}

// ---- While the player runs -------------------------------------------------------------

// Selects chosenEntry in the device list (-1: keeps the selection), then
// Apply, Apply and OK.
int chosenEntry = -1;
void applyTwiceThenOkUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    if (chosenEntry >= 0) selectEntry(config, IDC_DEVICE, chosenEntry);
    for (int id : {IDC_APPLY, IDC_APPLY, IDOK}) {
        click(config, id);
        Sleep(150);
    }
    check(waitUntilGone(config), "OK closes the dialog");
}

void unpluggedAndBack() {
    writeSettings(0, 0);
    start();
    midiSetResult(0, 0, MMSYSERR_NODRIVER);  // reopening it now would fail
    broadcastDeviceChange();
    check(midiIsOpen(0) && midiOpenCount() == 1, "a change that leaves the device where it is changes nothing");
    midiSetResult(0, 0, MMSYSERR_NOERROR);
    keyDrives(0, true, "a key drives the player");
    midiSetAway(0, true);
    broadcastDeviceChange();
    check(!midiIsOpen(0), "the port of a device that went away is closed");
    midiSetName(1, "Test MIDI In 0");  // plugged in again, numbered 1 now
    broadcastDeviceChange();
    check(midiIsOpen(1) && midiOpenCount() == 1, "it is opened again at its new index");
    keyDrives(1, true, "keys drive the player again");
    // The dialogs close a port the watch opened, and open one after the
    // watch closed it, each time, without a word.
    chosenEntry = -1;
    runConfigWithUser(applyTwiceThenOkUser);
    check(midiIsOpen(1) && midiOpenCount() == 1, "Apply twice and OK keep the reopened device");
    midiSetAway(1, true);
    broadcastDeviceChange();
    chosenEntry = 3;
    runConfigWithUser(applyTwiceThenOkUser);
    check(midiIsOpen(2) && midiOpenCount() == 1, "after the watch closed the port, Apply opens the chosen device");
    keyDrives(2, true, "which drives the player");
    stop();
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
    check(midiOpenCount() == 0, "nothing open after quit");
    expectSaved(2, "Test MIDI In 2");
}

// The keyboard is unplugged and comes back at the same number and name while
// the dialog is open; the dialog ends by Cancel or by its close box.
bool byCloseBox = false;
void awayWhileConfiguringUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    midiSetAway(0, true);
    broadcastDeviceChange();
    check(!midiIsOpen(0), "the port of a device that went is closed, the dialog open or not");
    midiSetAway(0, false);
    broadcastDeviceChange();
    check(!midiIsOpen(0), "and not opened again while the dialog owns it");
    if (byCloseBox) {
        PostMessageA(config, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else {
        click(config, IDCANCEL);
    }
    waitUntilGone(config);
}

// Windows numbers the inputs anew while the dialog is open (devices 0 and 1
// swap names): Apply opens the chosen name where it now is, and Autodetect's
// result selects the entry with the detected device's name.
void renumberedWhileConfiguringUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    selectEntry(config, IDC_DEVICE, 2);  // "Test MIDI In 1"
    midiSetName(0, "Test MIDI In 1");
    midiSetName(1, "Test MIDI In 0");
    click(config, IDC_APPLY);
    Sleep(200);
    check(midiIsOpen(0) && midiOpenCount() == 1, "Apply opens the chosen name at its new index");
    click(config, IDC_AUTODETECT);
    HWND detect = waitForDialog(kAutodetectCaption);
    if (detect == nullptr) return;
    midiSend(1, midiNoteOn(0, 60, 90));
    waitForText(detect, IDC_DETECTED_PORT, "Test MIDI In 0");
    click(detect, IDOK);
    waitUntilGone(detect);
    Sleep(50);
    check(listSelection(config, IDC_DEVICE) == 1, "Autodetect selects the detected name's entry",
          std::to_string(listSelection(config, IDC_DEVICE)));
    click(config, IDOK);
    waitUntilGone(config);
}

void changeWhileConfiguring() {
    writeSettings(0, 0);
    start();
    for (bool closeBox : {false, true}) {
        byCloseBox = closeBox;
        runConfigWithUser(awayWhileConfiguringUser);
        check(midiIsOpen(0), "the device back at its number is opened anew once the dialog has closed");
        keyDrives(0, true, closeBox ? "and its keys drive the player (close box)" : "and its keys drive the player");
    }
    runConfigWithUser(renumberedWhileConfiguringUser);
    check(midiIsOpen(1) && midiOpenCount() == 1, "OK opens the detected device by its name");
    stop();
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
    expectSaved(1, "Test MIDI In 0");
}

// ---- Saved when applied -------------------------------------------------------------------

void applyUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    selectEntry(config, IDC_DEVICE, 3);
    selectEntry(config, IDC_CHANNEL, 4);
    click(config, IDC_APPLY);
    Sleep(200);
    std::string ini = readFile(iniPath());
    check(contains(ini, "MIDIDevice=2\r\n") && contains(ini, "MIDIChannel=4\r\n") &&
              contains(ini, "MIDIDeviceName=Test MIDI In 2\r\n"),
          "Apply writes the file at once", ini);
    // Edited by hand meanwhile: a Cancel that wrote would undo it.
    writeSettings(2, 7, "Test MIDI In 2");
    selectEntry(config, IDC_DEVICE, 2);
    click(config, IDCANCEL);
    waitUntilGone(config);
}

// The player ends without quitting its plug-ins (it crashed, say): what was
// applied is in the file, and what was chosen then cancelled is not.
void savedOnApply() {
    writeSettings(0, 0);
    start();
    runConfigWithUser(applyUser);
    std::string ini = readFile(iniPath());
    check(contains(ini, "MIDIDevice=2\r\n") && contains(ini, "MIDIChannel=7\r\n"), "Cancel writes nothing", ini);
}

// ---- No code of the module runs once it is unloaded ---------------------------------------

volatile LONG broadcasting = 0;
DWORD WINAPI keepBroadcasting(LPVOID) {
    while (InterlockedCompareExchange(&broadcasting, 0, 0) != 0) {
        broadcastDeviceChange();
        Sleep(1);
    }
    return 0;
}

void afterUnload() {
    writeSettings(0, 0);
    start();
    HMODULE module = record()->hDllInstance;
    check(topLevelWindowsOf(module) == 1, "init makes one top-level window of the plug-in's own",
          std::to_string(topLevelWindowsOf(module)));
    quit();
    check(topLevelWindowsOf(module) == 0, "quit destroys it", std::to_string(topLevelWindowsOf(module)));
    unload();
    broadcastDeviceChange();
    // Notifications keep coming while the plug-in starts, quits during a slow
    // send (quit serves sent messages while it waits) and is unloaded.
    InterlockedExchange(&broadcasting, 1);
    HANDLE broadcaster = CreateThread(nullptr, 0, keepBroadcasting, nullptr, 0, nullptr);
    setCommandDelayMs(30);
    for (int trial = 0; trial < 20; ++trial) {
        start();
        midiSend(0, midiNoteOn(0, 71, 90));  // B: four slow sends
        pump(static_cast<DWORD>(trial % 4) * 20 + 10);
        stop();
        pump(5);
    }
    setCommandDelayMs(0);
    InterlockedExchange(&broadcasting, 0);
    serveUntilEnded(broadcaster, 10000);
    CloseHandle(broadcaster);
    // A later life hears of changes as the first did: quit left no window
    // class behind.
    start();
    midiSetAway(0, true);
    broadcastDeviceChange();
    check(!midiIsOpen(0), "a plug-in loaded again still hears of devices going");
    stop();
    broadcastDeviceChange();
    check(midiOpenCount() == 0, "nothing left open");
}

// ---- Device interfaces and identity ---------------------------------------------------

std::string interfacePath(bool output, UINT device) {
    char path[512];
    uint32_t length = output ? platformMidiOutInterfacePath(device, path, sizeof path)
                             : platformMidiInInterfacePath(device, path, sizeof path);
    return length == strlen(path) ? std::string(path) : "length " + std::to_string(length) + " for " + path;
}

// Two units of one kind with their own instances, a port whose driver answers
// nothing, and the Device Inquiry on an output answered on its paired input.
void interfaces() {
    const char* a = "\\\\?\\usb#vid_1235&pid_0113&mi_01#7&2d5a7b1&0&0001#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";
    const char* b = "\\\\?\\usb#vid_1235&pid_0113&mi_01#7&11aa22&0&0001#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";
    const char* serial = "\\\\?\\usb#vid_2985&pid_0007#3635\xC3\xA9#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";
    for (UINT i = 0; i < 2; ++i) midiSetName(i, "LPMiniMK3 MIDI");
    midiSetInterfacePath(0, a);
    midiSetInterfacePath(1, b);
    midiSetInterfacePath(2, nullptr);
    midiOutSetInterfacePath(0, serial);
    const std::vector<std::string> got = {interfacePath(false, 0), interfacePath(false, 1), interfacePath(false, 2),
                                          interfacePath(true, 0), interfacePath(true, 1), interfacePath(false, 40)};
    check(got == std::vector<std::string>{a, b, "", serial, "", ""}, "each port's path, UTF-8, none where none is given",
          joined(got));
    midiSetInterfacePath(0, nullptr);
    midiSetInterfacePath(1, nullptr);
    midiOutSetInterfacePath(0, nullptr);

    const std::vector<BYTE> reply = {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x00, 0x20, 0x29, 0x13,
                                     0x01, 0x00, 0x00, 0x00, 0x04, 0x02, 0x02, 0xF7};
    midiOutSetIdentityReply(1, 1, reply);
    HMIDIIN in = nullptr;
    HMIDIOUT out = nullptr;
    BYTE buffer[64] = {};
    MIDIHDR header = {};
    header.lpData = reinterpret_cast<LPSTR>(buffer);
    header.dwBufferLength = sizeof buffer;
    check(midiInOpen(&in, 1, 0, 0, CALLBACK_NULL) == 0 && midiInPrepareHeader(in, &header, sizeof header) == 0 &&
              midiInAddBuffer(in, &header, sizeof header) == 0 && midiInStart(in) == 0 &&
              midiOutOpen(&out, 1, 0, 0, CALLBACK_NULL) == 0,
          "the pair opens");
    BYTE inquiry[6] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    MIDIHDR sent = {};
    sent.lpData = reinterpret_cast<LPSTR>(inquiry);
    sent.dwBufferLength = sizeof inquiry;
    check(midiOutPrepareHeader(out, &sent, sizeof sent) == 0 && midiOutLongMsg(out, &sent, sizeof sent) == 0,
          "the inquiry goes out");
    bool answered = waitUntil([&] { return (header.dwFlags & MHDR_DONE) != 0; }, 5000);
    check(answered && std::vector<BYTE>(buffer, buffer + header.dwBytesRecorded) == reply && midiOutInquiries(1) == 1,
          "the reply comes on the paired input", std::to_string(header.dwBytesRecorded));
    midiOutUnprepareHeader(out, &sent, sizeof sent);
    midiOutClose(out);
    midiInReset(in);
    midiInUnprepareHeader(in, &header, sizeof header);
    check(midiInClose(in) == 0 && midiOpenCount() == 0, "both close");
    midiOutSetIdentityReply(1, 1, {});
}

// ---- Two units of one kind ----------------------------------------------------------------

// C4 on driver input `input` makes the player do `want` (nothing for 0).
void unitActs(UINT input, UINT want, const char* what) {
    take();
    play(input, midiNoteOn(0, 60, 90));
    List got = take();
    check(got == (want != 0 ? List{command(want)} : List{}), what, describe(got));
}

// Both units unplugged and plugged back in, the system's order of them
// swapped where they have paths.
void replugBoth(const char* first, const char* second) {
    midiSetAway(1, true);
    midiSetAway(2, true);
    broadcastDeviceChange();
    midiSetInterfacePath(1, first);
    midiSetInterfacePath(2, second);
    midiSetAway(2, false);
    broadcastDeviceChange();
    midiSetAway(1, false);
    broadcastDeviceChange();
}

// Two sections of one kind, each holding its unit by its Unit line (given
// across the system's order): a press on a unit acts by its own section's
// binding, C4 being Stop in section 1 and Next in section 2, before and
// after both are plugged back in the other order. Where the driver gives no
// paths, the Unit line is the occurrence, and follows the system's order.
void twoUnits() {
    const char* a = "\\\\?\\usb#vid_1235&pid_0113&mi_01#7&2d5a7b1&0&0001#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";
    const char* b = "\\\\?\\usb#vid_1235&pid_0113&mi_01#7&11aa22&0&0001#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";
    auto ini = [](const char* unit1, const char* unit2) {
        return std::string("[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIDeviceName=Test MIDI In 0\r\n\r\n") +
               "[Notewick Controller 1]\r\nInput=LPMiniMK3 MIDI\r\nUnit=" + unit1 + "\r\nNote 60 Channel 1=Stop\r\n\r\n" +
               "[Notewick Controller 2]\r\nInput=LPMiniMK3 MIDI\r\nUnit=" + unit2 + "\r\nNote 60 Channel 1=Next\r\n";
    };
    for (UINT i = 1; i < 3; ++i) midiSetName(i, "LPMiniMK3 MIDI");
    midiSetInterfacePath(1, a);
    midiSetInterfacePath(2, b);
    writeFile(iniPath(), ini("vid_1235&pid_0113#7&11aa22&0", "vid_1235&pid_0113#7&2d5a7b1&0"));
    start();
    check(midiIsOpen(1) && midiIsOpen(2), "both units are open");
    unitActs(1, 40048, "the first in the system's order is section 2's unit");
    unitActs(2, 40047, "the second is section 1's");
    replugBoth(b, a);
    check(midiIsOpen(1) && midiIsOpen(2), "both are open again");
    unitActs(1, 40047, "plugged back in the other order, each section keeps its unit: section 1's now first");
    unitActs(2, 40048, "and section 2's second");
    stop();

    midiSetInterfacePath(1, nullptr);
    midiSetInterfacePath(2, nullptr);
    writeFile(iniPath(), ini("2", "1"));
    start();
    unitActs(1, 40048, "with no paths, the first of the name is occurrence 1, section 2's");
    unitActs(2, 40047, "and the second occurrence 2, section 1's");
    replugBoth(nullptr, nullptr);
    unitActs(1, 40048, "plugged back in, the units go by the system's order again");
    unitActs(2, 40047, "both of them");
    stop();

    // A section reading port 2, its Output the device's first output: the
    // lights go to the paired output 2, and output 1 is not even opened.
    midiSetName(2, "MIDIIN2 (LPMiniMK3 MIDI)");
    for (UINT i = 1; i < 3; ++i) {
        midiSetInterfacePath(i, a);
        midiOutSetInterfacePath(i, a);
    }
    midiOutSetName(1, "LPMiniMK3 MIDI");
    midiOutSetName(2, "MIDIOUT2 (LPMiniMK3 MIDI)");
    writeFile(iniPath(), "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIDeviceName=Test MIDI In 0\r\n\r\n"
                         "[Notewick Controller 1]\r\nInput=LPMiniMK3 MIDI\r\nOutput=LPMiniMK3 MIDI\r\nPort=2\r\n"
                         "Note 60 Channel 1=Stop, lit 5, dark 1\r\n");
    start();
    std::vector<DWORD> lit;
    bool reached = waitUntil([&] {
        pump(20);  // the worker reads the player's state for the lights
        for (DWORD m : midiOutReceived(2)) lit.push_back(m);
        return std::find(lit.begin(), lit.end(), midiNoteOn(0, 60, 5)) != lit.end();
    });
    check(reached && midiOutInquiries(2) == 1, "its lights and the Device Inquiry go to MIDIOUT2 (LPMiniMK3 MIDI)",
          hexMessages(lit));
    check(!midiOutIsOpen(1) && midiOutReceived(1).empty() && midiOutInquiries(1) == 0, "nothing to its first output",
          std::to_string(midiOutIsOpen(1)) + " " + std::to_string(midiOutInquiries(1)) + " " + hexMessages(midiOutReceived(1)));
    take();
    play(2, midiNoteOn(0, 60, 90));
    List got = take();
    check(std::count(got.begin(), got.end(), command(40047)) == 1, "and its bindings read port 2", describe(got));
    stop();
    for (UINT i = 1; i < 3; ++i) {
        midiOutSetName(i, ("Test MIDI Out " + std::to_string(i)).c_str());
        midiSetInterfacePath(i, nullptr);
        midiOutSetInterfacePath(i, nullptr);
    }
    for (UINT i = 1; i < 3; ++i) midiSetName(i, ("Test MIDI In " + std::to_string(i)).c_str());
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
}

const ScenarioRegistration registrations[] = {
    {"device_old_file", oldFile},
    {"device_renumbered", renumbered},
    {"device_absent_then_back", absentThenBack},
    {"device_unplugged_and_back", unpluggedAndBack},
    {"device_change_while_configuring", changeWhileConfiguring},
    {"device_saved_on_apply", savedOnApply},
    {"device_change_after_unload", afterUnload},
    {"device_interfaces", interfaces},
    {"device_two_units", twoUnits},
};

}  // namespace
