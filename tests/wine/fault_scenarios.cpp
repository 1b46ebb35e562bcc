// fault_scenarios.cpp -- faults injected through the test MIDI driver: each
// is survived with exactly the messages the plug-in promises, and nothing
// else happens.
#include <cstdio>
#include <string>

#include "tests/wine/host_support.h"
#include "ui/resource.h"

using namespace host;

namespace {

typedef std::vector<std::string> Texts;
typedef std::vector<Received> List;

enum Call { kOpen, kStart, kStop, kClose, kCaps, kReset };
const DWORD kNoDriver = MMSYSERR_NODRIVER;

void start() {
    check(load() != nullptr, "the plug-in loads");
    check(init() == 0, "init returns 0");
}

// Quit must return promptly whatever the driver does.
void stop() {
    DWORD started = GetTickCount();
    quit();
    check(GetTickCount() - started < 3000, "quit returns promptly");
    pump(100);
    unload();
}

void expectBoxes(const Texts& want, const char* what) {
    waitForMessageBoxes(want.size(), 3000);
    pump(100);
    Texts got = messageBoxes();
    check(got == want, what, "got [" + joined(got) + "]");
}

// Runs the configuration dialog: select device list index `deviceIndex`
// (unless -2), press `button`, and let the dialog close. After Apply,
// selectionAfterApply is what the device list then shows.
int chosenIndex;
int pressedButton;
int selectionAfterApply;
void chooseAndPress() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    if (chosenIndex != -2) selectEntry(config, IDC_DEVICE, chosenIndex);
    click(config, pressedButton);
    if (pressedButton != IDOK) {
        // A message box, once up, keeps the dialog disabled until the
        // watcher has dismissed it.
        Sleep(200);
        for (int i = 0; i < 100 && !IsWindowEnabled(config); ++i) Sleep(50);
        Sleep(50);
        selectionAfterApply = listSelection(config, IDC_DEVICE);
        click(config, IDCANCEL);
    }
    check(waitUntilGone(config), "the configuration dialog closes");
}
void configure(int deviceIndex, int button) {
    chosenIndex = deviceIndex;
    pressedButton = button;
    runConfigWithUser(chooseAndPress);
}

// Runs autodetect from the configuration dialog: checks how many ports it
// opened, sends a note-on to `device`, presses OK in both dialogs.
UINT expectedDetectionPorts;
UINT portsLeftOpen = 0;  // ports that stay open while autodetect runs (one that would not close)
UINT noteDevice;
std::string detectedName;
void autodetectUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    // Ports left open (one that would not close) are not autodetect's; the
    // main port it closes while it runs, and opens again when it ends.
    UINT before = midiOpenCount();
    click(config, IDC_AUTODETECT);
    HWND detect = waitForDialog(kAutodetectCaption);
    check(detect != nullptr, "the autodetect dialog opens");
    if (detect == nullptr) return;
    Sleep(100);
    UINT opened = midiOpenCount() - portsLeftOpen;
    check(opened == expectedDetectionPorts, "autodetect opens what it can",
          std::to_string(opened) + " opened, want " + std::to_string(expectedDetectionPorts));
    midiSend(noteDevice, midiNoteOn(2, 60, 90));
    midiWaitIdle();
    Sleep(100);
    detectedName = controlText(detect, IDC_DETECTED_PORT);
    click(detect, IDOK);
    check(waitUntilGone(detect), "OK closes the autodetect dialog");
    // The main port opens again once the dialog's loop has returned.
    for (int i = 0; i < 200 && midiOpenCount() != before; ++i) Sleep(10);
    check(midiOpenCount() == before, "autodetect closes all it opened, and the main port is as before",
          std::to_string(midiOpenCount()) + " open, " + std::to_string(before) + " before");
    click(config, IDOK);
    check(waitUntilGone(config), "OK closes the configuration dialog");
}

// ---- Opening, starting, stopping and closing fail ------------------------------------

void startFails() {
    midiSetResult(0, kStart, kNoDriver);
    writeSettings(0, 0);
    start();
    expectBoxes({"Could not open MIDI device"}, "a device that will not start shows the message");
    check(midiOpenCount() == 0, "the handle that would not start was closed");
    configure(2, IDC_APPLY);  // device 1, which works; device 0 has no port to close
    check(midiIsOpen(0) == false && midiIsOpen(1), "Apply opens the working device");
    midiSetResult(2, kStart, kNoDriver);
    configure(3, IDOK);
    expectBoxes({"Could not open MIDI device", "Error Closing MIDI Device", "Error Opening MIDI Device"},
                "a failed start in the dialog shows its message");
    check(midiOpenCount() == 0, "and leaves no device open");
    stop();
    check(contains(readFile(iniPath()), "MIDIDevice=-1"), "the device became none");
}

void stopAndCloseFail() {
    writeSettings(1, 0);
    start();
    midiSetResult(1, kStop, kNoDriver);
    configure(-2, IDC_APPLY);  // the same device again
    // Stopping failed, but the port was closed all the same, so the device
    // opens again.
    expectBoxes({"Error Closing MIDI Device"}, "a failed stop shows its message");
    check(midiIsOpen(1) && midiOpenCount() == 1, "and the device is open again, once");
    // Quit closes a port that will not stop: a message after the module is
    // gone reaches nothing of it.
    stop();
    check(midiOpenCount() == 0, "quit closes a port that will not stop");
    midiSend(1, midiNoteOn(0, 64, 90));
    midiWaitIdle();
    pump(100);
    midiSetResult(1, kStop, 0);
    start();
    configure(3, IDOK);  // device 2
    check(messageBoxes().size() == 1, "no further message");
    // A driver whose stop fails and that keeps the buffers it was lent: the
    // close is refused and quit leaves the port open. The module stays
    // loaded, so that the driver's next messages land in code that is still
    // there, and nothing reaches the player.
    midiSetResult(2, kStop, kNoDriver);
    midiSetKeepsBuffers(2, true);
    stop();
    check(messageBoxes().size() == 1, "quit shows nothing when closing fails");
    check(contains(readFile(iniPath()), "MIDIDevice=2"), "quit still saves");
    check(pluginStillLoaded(), "the module stays loaded while its port is open");
    for (int i = 0; i < 50; ++i) midiSend(2, midiNoteOn(0, 64, 90));
    midiSendSysex(2, {0xF0, 0x7F, 0x7F, 0x06, 0x01, 0xF7});
    midiWaitIdle();
    pump(200);
    check(take().empty(), "nothing reaches the player after quit");
    midiSetResult(2, kStop, 0);
}

// A driver whose stop and reset fail, with the keyboard and 8 controllers
// open: no buffer comes back, no port closes, and quit waits about a second
// in all, not a second for each port.
void quitWithNineStuckPorts() {
    std::string ini = "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIDeviceName=Test MIDI In 0\r\n";
    for (int n = 1; n <= 8; ++n) {
        std::string number = std::to_string(n);
        ini += "\r\n[Notewick Controller " + number + "]\r\nInput=Test MIDI In " + number + "\r\nNote 36 Channel 1=Stop\r\n";
    }
    writeFile(iniPath(), ini);
    start();
    check(midiOpenCount() == 9, "the keyboard and 8 controllers are open", std::to_string(midiOpenCount()));
    for (UINT device = 0; device < 9; ++device) {
        midiSetResult(device, kStop, kNoDriver);
        midiSetResult(device, kReset, kNoDriver);
    }
    DWORD started = GetTickCount();
    quit();
    DWORD took = GetTickCount() - started;
    printf("quit with 9 inputs whose stop and reset fail: %lu ms\n", static_cast<unsigned long>(took));
    check(took < 2500, "quit waits about a second in all", std::to_string(took) + " ms");
    check(midiOpenCount() == 9, "no port closes while its buffers are out");
    pump(100);
    unload();
    check(pluginStillLoaded(), "the module stays loaded while its ports are open");
    for (UINT device = 0; device < 9; ++device) midiSend(device, midiNoteOn(0, 36, 90));
    midiWaitIdle();
    pump(200);
    check(take().empty(), "nothing reaches the player after quit");
    check(messageBoxes().empty(), "no message box", joined(messageBoxes()));
}

void heldElsewhereInTheDialog() {
    start();
    midiSetResult(1, kOpen, MMSYSERR_ALLOCATED);
    configure(2, IDC_APPLY);
    expectBoxes({"Error Opening MIDI Device"}, "a device held elsewhere shows the message");
    check(selectionAfterApply == 0, "the list then shows None, the setting", std::to_string(selectionAfterApply));
    stop();
    check(contains(readFile(iniPath()), "MIDIDevice=-1"), "and is saved as none");
}

// ---- The device disappears while open -------------------------------------------------

void unplugged() {
    writeSettings(0, 0);
    start();
    play(0, midiNoteOn(0, 64, 90));
    check(take() == List{command(40046)}, "the device works before it goes");
    midiUnplug(0);
    // Its name is gone too: the list offers it as not connected, and Apply
    // keeps it, leaving its port, which will not close, for quit.
    configure(-2, IDC_APPLY);
    expectBoxes({"Error Closing MIDI Device"}, "Apply on a vanished device");
    check(selectionAfterApply == 4, "the list shows the device as not connected",
          std::to_string(selectionAfterApply));
    expectedDetectionPorts = 2;  // devices 1 and 2
    portsLeftOpen = 1;           // device 0's port, which would not close
    noteDevice = 2;
    runConfigWithUser(autodetectUser);
    check(detectedName == "Test MIDI In 2", "autodetect finds another device", detectedName);
    check(midiIsOpen(2), "OK opened the detected device");
    play(2, midiNoteOn(2, 64, 90));
    check(take() == List{command(40046)}, "and it drives the player");
    expectBoxes({"Error Closing MIDI Device"}, "the port that will not close is said once");
    stop();
}

// ---- No devices, and more than one process may open -----------------------------------

void noDevices() {
    writeSettings(0, 0);
    start();
    expectBoxes({"Could not open MIDI device"}, "a stored device with none installed");
    expectedDetectionPorts = 0;
    noteDevice = 0;
    runConfigWithUser(autodetectUser);
    check(detectedName == "None", "nothing is detected", detectedName);
    // Autodetect finds no port to close; OK then reads the list with no
    // selection (the stored device is not in it) as -1, and an open is tried.
    expectBoxes({"Could not open MIDI device", "Error Closing MIDI Device", "Error Opening MIDI Device"},
                "the messages after the failed start");
    stop();
    check(contains(readFile(iniPath()), "MIDIDevice=-1"), "saved as none");
}

void tooManyDevices() {
    // 48 devices; one process may hold about 40 winmm handles.
    start();
    UINT openable = 0;
    {
        HMODULE winmm = GetModuleHandleA("winmm.dll");
        typedef MMRESULT(WINAPI * OpenFn)(HMIDIIN*, UINT, DWORD_PTR, DWORD_PTR, DWORD);
        typedef MMRESULT(WINAPI * CloseFn)(HMIDIIN);
        OpenFn open = reinterpret_cast<OpenFn>(reinterpret_cast<void*>(GetProcAddress(winmm, "midiInOpen")));
        CloseFn close = reinterpret_cast<CloseFn>(reinterpret_cast<void*>(GetProcAddress(winmm, "midiInClose")));
        std::vector<HMIDIIN> handles;
        for (UINT i = 0; i < 48; ++i) {
            HMIDIIN h = nullptr;
            if (open(&h, i, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR) handles.push_back(h);
        }
        openable = static_cast<UINT>(handles.size());
        for (HMIDIIN h : handles) close(h);
    }
    printf("this process may open %u of 48 devices\n", openable);
    check(openable < 48, "the platform limits the handles of a process", std::to_string(openable));
    expectedDetectionPorts = openable;
    noteDevice = 3;
    runConfigWithUser(autodetectUser);
    check(detectedName == "Test MIDI In 3", "a device among the opened ones is detected", detectedName);
    check(midiIsOpen(3) && midiOpenCount() == 1, "OK opened it");
    check(messageBoxes().empty(), "no message box");
    stop();
}

// ---- Device names ------------------------------------------------------------------------

// Waits until the control shows `text` at its start; then whether it fits.
bool fitsOnceShown(HWND dialog, int controlId, const std::string& text) {
    for (int i = 0; i < 200 && controlText(dialog, controlId).compare(0, text.size(), text) != 0; ++i) Sleep(10);
    check(controlText(dialog, controlId).compare(0, text.size(), text) == 0, "the line says", controlText(dialog, controlId));
    return textFits(dialog, controlId);
}

const std::string kWide(31, 'W');  // the widest name a device has

void namesUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    Texts entries = listEntries(config, IDC_DEVICE);
    check(entries.size() == 4, "four entries", joined(entries));
    if (entries.size() == 4) {
        check(entries[1] == kWide, "a 31-character name is shown whole", entries[1]);
        check(entries[2].empty(), "a name that cannot be read is empty", entries[2]);
        check(entries[3] == std::string(31, 'C'), "a longer name is cut to 31 characters", entries[3]);
    }
    // The drop-down shows the longest name whole.
    HWND list = GetDlgItem(config, IDC_DEVICE);
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0)));
    SIZE longest = {0, 0};
    GetTextExtentPoint32A(dc, entries[1].c_str(), static_cast<int>(entries[1].size()), &longest);
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    LRESULT dropped = SendMessageA(list, CB_GETDROPPEDWIDTH, 0, 0);
    check(dropped >= longest.cx + GetSystemMetrics(SM_CXVSCROLL), "the drop-down is as wide as the longest name",
          std::to_string(dropped) + " for " + std::to_string(longest.cx));
    // No line of either dialog is cut with that name.
    check(fitsOnceShown(config, IDC_LIVE_LINE, "Notewick listens to " + kWide), "the configuration dialog's line fits");
    midiSend(0, midiController(15, 75, 127));
    check(fitsOnceShown(config, IDC_LIVE_LINE, "Controller 75 = 127"), "a long reason fits");
    click(config, IDC_BINDINGS);
    HWND bindings = waitForDialog(kBindingsCaption);
    if (bindings == nullptr) return;
    check(fitsOnceShown(bindings, IDC_BINDING_STATUS, "Choose an action"), "the Bindings dialog's status fits");
    check(fitsOnceShown(bindings, IDC_LIVE_LINE, "Notewick listens to " + kWide), "and its line");
    click(bindings, IDC_LEARN);
    check(fitsOnceShown(bindings, IDC_BINDING_STATUS, "Press a key"), "Learn's status fits");
    midiSetAway(0, true);
    check(fitsOnceShown(bindings, IDC_BINDING_STATUS, kWide + " went away"), "the device going away stops Learn");
    check(fitsOnceShown(bindings, IDC_LIVE_LINE, "Notewick waits for " + kWide), "and the line says it is away");
    click(bindings, IDCANCEL);
    waitUntilGone(bindings);
    click(config, IDC_BINDINGS);
    bindings = waitForDialog(kBindingsCaption);
    if (bindings == nullptr) return;
    check(fitsOnceShown(bindings, IDC_BINDING_STATUS, kWide + ", the device in use, is not connected"),
          "the status of a device that is away fits");
    click(bindings, IDCANCEL);
    waitUntilGone(bindings);
    midiSetAway(0, false);
    click(config, IDCANCEL);
    waitUntilGone(config);
}

void names() {
    midiSetName(0, kWide.c_str());
    midiSetResult(1, kCaps, kNoDriver);
    midiSetName(2, std::string(45, 'C').c_str());
    writeSettings(0, 15, kWide.c_str());
    start();
    runConfigWithUser(namesUser);
    stop();
}

// ---- Data delivered just after a port was closed ------------------------------------------

void lateDelivery() {
    writeSettings(0, 0);
    start();
    // The main port: a note arriving after Apply closed it still reaches the
    // mailbox, which lives as long as the module.
    midiSetLateDelivery(0, midiNoteOn(0, 67, 90));
    configure(2, IDC_APPLY);
    midiWaitIdle();
    pump(200);
    List got = take();
    check(got.size() <= 1, "a late message is acted on at most once", describe(got));
    // The autodetect ports: a note-on after the dialog closed them changes
    // nothing and crashes nothing.
    for (UINT d = 0; d < 3; ++d) midiSetLateDelivery(d, midiNoteOn(5, 60, 90));
    expectedDetectionPorts = 3;  // the main port is closed first
    noteDevice = 1;
    runConfigWithUser(autodetectUser);
    check(detectedName == "Test MIDI In 1", "detection works", detectedName);
    midiWaitIdle();
    pump(200);
    play(1, midiNoteOn(2, 64, 90));
    check(take() == List{command(40046)}, "the detected device drives the player");
    for (UINT d = 0; d < 3; ++d) midiSetLateDelivery(d, 0);
    stop();
    check(messageBoxes().empty(), "no message box");
}

const ScenarioRegistration registrations[] = {
    {"fault_start_fails", startFails},
    {"fault_stop_close_fail", stopAndCloseFail},
    {"fault_held_elsewhere", heldElsewhereInTheDialog},
    {"fault_quit_nine_stuck", quitWithNineStuckPorts},
    {"fault_unplugged", unplugged},
    {"fault_no_devices", noDevices},
    {"fault_too_many_devices", tooManyDevices},
    {"fault_device_names", names},
    {"fault_late_delivery", lateDelivery},
};

}  // namespace
