// dialog_scenarios.cpp -- the real dialogs of the twin DLL under Wine, driven
// by a user thread while the player's thread runs the modal loop.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/wine/host_support.h"
#include "ui/resource.h"

using namespace host;

namespace {

typedef std::vector<std::string> Texts;

// ---- The templates as built ----------------------------------------------------------

struct ControlSpec {
    int id;
    const char* className;
    const char* text;  // null: not checked
    int x, y, width, height;  // dialog units; height 0: not checked (lists, the picture)
    bool tabStop;
};

// Walks the dialog's controls in template order and compares each with its
// line of the table: identifier, kind, text, place and size, tab stop.
void checkTemplate(HWND dialog, const char* name, const ControlSpec* table, size_t count) {
    HWND child = GetWindow(dialog, GW_CHILD);
    for (size_t i = 0; i < count; ++i, child = child ? GetWindow(child, GW_HWNDNEXT) : nullptr) {
        const ControlSpec& line = table[i];
        std::string where = std::string(name) + " control " + std::to_string(i + 1);
        check(child != nullptr, "the template has every control", where);
        if (child == nullptr) return;
        char className[64] = "", text[256] = "";
        GetClassNameA(child, className, sizeof className);
        GetWindowTextA(child, text, sizeof text);
        int id = GetDlgCtrlID(child);
        check(id == line.id || (line.id == -1 && (id == 0xFFFF || id == -1)), "control identifier",
              where + ": " + std::to_string(id));
        check(lstrcmpiA(className, line.className) == 0, "control kind", where + ": " + className);
        if (line.text != nullptr) check(text == std::string(line.text), "control text", where + ": " + text);
        RECT want = {line.x, line.y, line.x + line.width, line.y + (line.height ? line.height : 8)};
        MapDialogRect(dialog, &want);
        RECT got;
        GetWindowRect(child, &got);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
        bool placed = abs(got.left - want.left) <= 1 && abs(got.top - want.top) <= 1;
        bool sized = line.height == 0 ||
                     (abs((got.right - got.left) - (want.right - want.left)) <= 1 &&
                      abs((got.bottom - got.top) - (want.bottom - want.top)) <= 1);
        check(placed && sized, "control place and size", where);
        bool tab = (GetWindowLongA(child, GWL_STYLE) & WS_TABSTOP) != 0;
        check(tab == line.tabStop, "tab stop", where);
    }
    check(child == nullptr, "no control beyond the table", name);
}

const ControlSpec kConfigControls[] = {
    {-1, "Static", "MIDI &Input Device", 54, 7, 70, 8, false},
    {IDC_DEVICE, "ComboBox", nullptr, 54, 20, 94, 0, true},
    {-1, "Static", "&Channel", 158, 7, 30, 8, false},
    {IDC_CHANNEL, "ComboBox", nullptr, 158, 20, 35, 0, true},
    {IDC_AUTODETECT, "Button", "&Autodetect", 202, 19, 60, 14, true},
    {IDC_BINDINGS, "Button", "&Bindings...", 266, 19, 60, 14, true},
    {-1, "Static", nullptr, 7, 42, 319, 0, false},
    {IDC_LIVE_LINE, "Static", nullptr, 7, 199, 319, 26, false},
    {-1, "Static", nullptr, 7, 228, 178, 17, false},
    {IDOK, "Button", "OK", 192, 231, 41, 14, true},
    {IDCANCEL, "Button", "Cancel", 239, 231, 41, 14, true},
    {IDC_APPLY, "Button", "A&pply", 285, 231, 41, 14, true},
};

const ControlSpec kAutodetectControls[] = {
    {IDOK, "Button", "OK", 74, 61, 50, 14, true},
    {IDCANCEL, "Button", "Cancel", 127, 61, 50, 14, true},
    {IDC_DETECTED_PORT, "Static", "None", 74, 33, 98, 8, false},
    {IDC_DETECTED_CHANNEL, "Static", "None", 74, 47, 98, 8, false},
    {-1, "Static", "MIDI Port:", 32, 33, 33, 8, false},
    {-1, "Static", "MIDI Channel:", 19, 47, 46, 8, false},
    {-1, "Static", "Please press a key on the desired MIDI device:", 15, 15, 153, 12, false},
};

// The dialog's client area measures the template's size, and its origin is
// 0, 0 of its owner's client area (the frame lies just outside).
void checkFrame(HWND dialog, const char* name, int width, int height) {
    RECT want = {0, 0, width, height};
    MapDialogRect(dialog, &want);
    RECT client;
    GetClientRect(dialog, &client);
    check(abs(client.right - want.right) <= 1 && abs(client.bottom - want.bottom) <= 1, "dialog size", name);
    POINT origin = {0, 0}, ownerOrigin = {0, 0};
    ClientToScreen(dialog, &origin);
    ClientToScreen(window(), &ownerOrigin);
    check(origin.x == ownerOrigin.x && origin.y == ownerOrigin.y, "placed at 0, 0 of the owner, not centred",
          std::string(name) + ": at " + std::to_string(origin.x) + ", " + std::to_string(origin.y) + ", owner client at " +
              std::to_string(ownerOrigin.x) + ", " + std::to_string(ownerOrigin.y));
    LOGFONTA font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    check(lstrcmpA(font.lfFaceName, "MS Sans Serif") == 0, "the dialog font is MS Sans Serif",
          std::string(name) + ": " + font.lfFaceName);
    LONG style = GetWindowLongA(dialog, GWL_STYLE);
    check((style & (WS_POPUP | WS_CAPTION | WS_SYSMENU)) == (WS_POPUP | WS_CAPTION | WS_SYSMENU) &&
              (style & DS_MODALFRAME) != 0,
          "a modal pop-up with caption and close box", name);
}

// ---- Choose, apply, autodetect, OK -------------------------------------------------

// A message that must reach the plug-in inside the 50 ms window: sent on the
// player's thread as the player receives the next command, a moment after the
// plug-in accepted the message behind it, however busy the machine. The
// command's arrival is kept for the report.
volatile LONG insideWindowMessage = 0;
LONGLONG commandArrived = 0;
void sendInsideWindow(const Received& r) {
    if (r.request || insideWindowMessage == 0) return;
    commandArrived = r.qpc;
    midiSend(0, static_cast<DWORD>(InterlockedExchange(&insideWindowMessage, 0)));
}

// How long after that command the driver handed the message to the plug-in.
std::string deliveredAfterCommand() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double ms = static_cast<double>(midiLastDeliveryQpc() - commandArrived) * 1000.0 /
                static_cast<double>(frequency.QuadPart);
    return ", delivered " + std::to_string(static_cast<int>(ms)) + " ms after the command";
}

void configureUser() {
    HWND config = waitForDialog(kConfigCaption);
    check(config != nullptr, "the configuration dialog opens with its caption");
    if (config == nullptr) return;
    checkTemplate(config, "configuration", kConfigControls, sizeof kConfigControls / sizeof kConfigControls[0]);
    checkFrame(config, "configuration", 333, 252);
    check(GetWindow(config, GW_OWNER) == window(), "owned by the player's window");
    Texts devices = listEntries(config, IDC_DEVICE);
    check(devices == Texts{"None", "Test MIDI In 0", "Test MIDI In 1", "Test MIDI In 2"},
          "the device list holds None and every device", joined(devices));
    check(listEntries(config, IDC_CHANNEL).size() == 16 && listEntries(config, IDC_CHANNEL)[15] == "16",
          "the channel list holds 1 to 16");
    check(listSelection(config, IDC_DEVICE) == 1 && listSelection(config, IDC_CHANNEL) == 0,
          "the stored device 0 and channel 1 are selected");
    HWND picture = nullptr;
    for (HWND child = GetWindow(config, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (SendMessageA(child, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0) picture = child;
    }
    BITMAP bitmap = {};
    if (picture != nullptr) {
        GetObjectA(reinterpret_cast<HBITMAP>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0)), sizeof bitmap,
                   &bitmap);
    }
    check(bitmap.bmWidth == 479 && bitmap.bmHeight == 251, "the key map is shown at 479 x 251",
          std::to_string(bitmap.bmWidth) + " x " + std::to_string(bitmap.bmHeight));

    // The line says what the plug-in listens to, then what each message did,
    // whole at the dialog's width. Each message goes 60 ms after the line
    // showed the one before, past that one's window. The line is brought up
    // to date only every 100 ms, too seldom to tell when a window ends: the
    // G4 goes as the player receives the command of an E4 sent before it.
    const struct {
        DWORD message;
        bool insideWindow;
        const char* line;
    } lines[] = {
        {0, false, "Notewick listens to Test MIDI In 0 on channel 1. Press a key to see what it does."},
        {midiNoteOn(1, 64, 90), false,
         "Note-on 64 (E4), velocity 90, channel 2: nothing: Notewick listens on channel 1"},
        {midiNoteOff(0, 64), false, "Note-off 64 (E4), velocity 64, channel 1: nothing: a note-off"},
        {midiNoteOn(0, 64, 90), false, "Note-on 64 (E4), velocity 90, channel 1: Pause (key map)"},
        {midiNoteOn(0, 67, 90), true,
         "Note-on 67 (G4), velocity 90, channel 1: nothing: within 50 ms of the previous message"},
        {midiPitchBend(0, 5, 90), false,
         "Pitch bend 11525, channel 1: nothing: only bends whose low byte is 0 count. Bind the wheel with Bindings"},
    };
    for (const auto& step : lines) {
        std::string timing;
        if (step.message != 0) {
            Sleep(60);
            take();
            if (step.insideWindow) {
                InterlockedExchange(&insideWindowMessage, static_cast<LONG>(step.message));
                midiSend(0, midiNoteOn(0, 64, 90));
                check(waitUntil([] { return insideWindowMessage == 0; }), "the E4's command reaches the player");
            } else {
                midiSend(0, step.message);
            }
            check(midiWaitIdle(10000), "the driver delivers the message");
            if (step.insideWindow) timing = deliveredAfterCommand();
        }
        bool shown = waitForText(config, IDC_LIVE_LINE, step.line);
        // Read after the wait, and with what the player received: a G4 let
        // through shows here as its Next command.
        check(shown, "the line", controlText(config, IDC_LIVE_LINE) + " (the player received " + describe(take()) +
                                     timing + ")");
        check(textFits(config, IDC_LIVE_LINE), "the line fits the dialog", step.line);
    }
    Sleep(60);

    // Device 1, MIDI channel 5, Apply: a key press then drives the player.
    selectEntry(config, IDC_DEVICE, 2);
    selectEntry(config, IDC_CHANNEL, 4);
    // Apply ends by saying on the line what the plug-in listens to now, after
    // it opened the port and took the channel.
    click(config, IDC_APPLY);
    bool shown = waitForText(config, IDC_LIVE_LINE,
                             "Notewick listens to Test MIDI In 1 on channel 5. Press a key to see what it does.");
    check(shown, "Apply says what the plug-in listens to now", controlText(config, IDC_LIVE_LINE));
    check(midiIsOpen(1) && !midiIsOpen(0), "Apply opens the chosen device");
    take();
    midiSend(1, midiNoteOn(4, 67, 90));
    std::vector<Received> got = waitForReceived(1);
    check(got == std::vector<Received>{command(40048)}, "a key on the applied device and channel drives the player",
          describe(got));

    click(config, IDC_AUTODETECT);
    HWND detect = waitForDialog(kAutodetectCaption);
    check(detect != nullptr, "Autodetect opens its dialog");
    if (detect == nullptr) return;
    check(!IsWindowEnabled(config), "the configuration dialog is disabled meanwhile");
    checkTemplate(detect, "autodetect", kAutodetectControls, sizeof kAutodetectControls / sizeof kAutodetectControls[0]);
    checkFrame(detect, "autodetect", 184, 82);
    check(GetWindow(detect, GW_OWNER) == window(), "owned by the player's window");
    check(midiOpenCount() == 3, "every device is listened to", std::to_string(midiOpenCount()));
    check(controlText(detect, IDC_DETECTED_PORT) == "None" && controlText(detect, IDC_DETECTED_CHANNEL) == "None",
          "the labels start at None");
    midiSend(0, midiNoteOff(3, 60));
    midiSend(1, midiController(2, 7, 100));
    midiSend(2, midiNoteOn(9, 64, 90));
    shown = waitForText(detect, IDC_DETECTED_PORT, "Test MIDI In 2");
    check(shown, "the port label names device 2", controlText(detect, IDC_DETECTED_PORT));
    shown = waitForText(detect, IDC_DETECTED_CHANNEL, "10");
    check(shown, "the channel label shows 10", controlText(detect, IDC_DETECTED_CHANNEL));
    click(detect, IDOK);
    check(waitUntilGone(detect), "OK closes the autodetect dialog");
    // The configuration dialog takes input again last, after the device in
    // use was opened again.
    check(waitUntil([config] { return IsWindowEnabled(config) != FALSE; }),
          "the configuration dialog takes input again");
    check(midiOpenCount() == 1 && midiIsOpen(1), "every detection port is closed, and the device in use open again",
          std::to_string(midiOpenCount()));
    check(listSelection(config, IDC_DEVICE) == 3 && listSelection(config, IDC_CHANNEL) == 9,
          "the lists show indexes 3 and 9",
          std::to_string(listSelection(config, IDC_DEVICE)) + ", " + std::to_string(listSelection(config, IDC_CHANNEL)));
    // The Bindings dialog: its lists show whole rows, and the two map
    // buttons do not read alike. Opened and closed by mouse.
    clickWithMouse(config, IDC_BINDINGS);
    HWND bindings = waitForDialog(kBindingsCaption);
    check(bindings != nullptr, "Bindings... opens its dialog");
    if (bindings != nullptr) {
        HWND list = GetDlgItem(bindings, IDC_BINDING_LIST);
        RECT client = {};
        GetClientRect(list, &client);
        LRESULT row = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
        // Whole rows, but for a pixel or two of the next, which shows no text.
        check(row > 0 && client.bottom % row <= 2, "the bindings list shows whole rows",
              std::to_string(client.bottom) + " px, rows of " + std::to_string(row));
        check(controlText(bindings, IDC_USE_MAP) == "&Use This Map" &&
                  controlText(bindings, IDC_CHOOSE_MAP) == "All &Maps...",
              "the map buttons have captions of their own",
              controlText(bindings, IDC_USE_MAP) + ", " + controlText(bindings, IDC_CHOOSE_MAP));
        clickWithMouse(bindings, IDCANCEL);
        check(waitUntilGone(bindings), "Cancel closes the Bindings dialog");
    }
    click(config, IDOK);
    check(waitUntilGone(config), "OK closes the configuration dialog");
}

void configure() {
    writeSettings(0, 0);
    check(load() != nullptr && init() == 0, "the plug-in starts");
    setOnReceive(sendInsideWindow);
    runConfigWithUser(configureUser);
    setOnReceive(nullptr);
    check(midiIsOpen(2) && midiOpenCount() == 1, "OK reopened the port on device 2");
    take();
    play(2, midiNoteOn(9, 64, 90));
    std::vector<Received> got = take();
    check(got == std::vector<Received>{command(40046)}, "a key on device 2, MIDI channel 10 drives the player",
          describe(got));
    check(messageBoxes().empty(), "no message box");
    quit();
    unload();
    std::string ini = readFile(iniPath());
    check(contains(ini, "MIDIDevice=2") && contains(ini, "MIDIChannel=9"), "quit saves device 2 and channel 9", ini);
}

// ---- A stored device that is gone ---------------------------------------------------

void staleUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    check(listSelection(config, IDC_DEVICE) == -1, "the device list shows no selection");
    click(config, IDOK);
    check(waitUntilGone(config), "OK closes the dialog after the messages");
}

void staleDevice() {
    writeSettings(5, 0);
    load();
    init();
    check(waitForMessageBoxes(1, 3000), "init shows its message");
    runConfigWithUser(staleUser);
    Texts boxes = messageBoxes();
    check(boxes == Texts{"Could not open MIDI device", "Error Closing MIDI Device", "Error Opening MIDI Device"},
          "the messages, in order", joined(boxes));
    quit();
    unload();
    check(contains(readFile(iniPath()), "MIDIDevice=-1"), "the device became none");
}

// ---- After Autodetect: the configuration dialog takes the keys, the player none -----

// Runs Autodetect, asks the player for a second configuration meanwhile, ends
// the autodetect dialog with `button`, and checks that the configuration
// dialog is active and the player disabled; then presses Enter, which must
// reach the configuration dialog and close it as OK does.
int autodetectButton;
// Waits until the player's focus is on the control.
bool focusComesTo(int controlId) {
    for (int i = 0; i < 200 && focusedControlOfPlayer() != controlId; ++i) Sleep(10);
    return focusedControlOfPlayer() == controlId;
}

void returnFromAutodetectUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    // The dialog opens with the keyboard on the device list; Tab goes on in
    // reading order, and the labels' accelerators reach their lists.
    if (autodetectButton == IDCANCEL) {
        check(focusComesTo(IDC_DEVICE), "the configuration dialog opens on the device list");
        const int order[] = {IDC_CHANNEL, IDC_AUTODETECT, IDC_BINDINGS, IDOK, IDCANCEL, IDC_APPLY, IDC_DEVICE};
        for (int control : order) {
            pressKeyAsTheKeyboardWould(VK_TAB);
            check(focusComesTo(control), "Tab goes on in reading order", std::to_string(control));
        }
        pressKeyAsTheKeyboardWould('C', true);
        check(focusComesTo(IDC_CHANNEL), "Alt+C reaches the channel list");
        pressKeyAsTheKeyboardWould('I', true);
        check(focusComesTo(IDC_DEVICE), "Alt+I reaches the device list");
    }
    click(config, IDC_AUTODETECT);
    HWND detect = waitForDialog(kAutodetectCaption);
    check(detect != nullptr, "Autodetect opens its dialog");
    if (detect == nullptr) return;
    askPlayerToConfigure();
    Sleep(300);
    check(countOwnDialogs(kConfigCaption) == 1 && countOwnDialogs(kAutodetectCaption) == 1,
          "a second configuration from the player opens no second dialog",
          std::to_string(countOwnDialogs(kConfigCaption)) + " configuration, " +
              std::to_string(countOwnDialogs(kAutodetectCaption)) + " autodetect");
    if (autodetectButton == IDOK) {
        midiSend(2, midiNoteOn(9, 64, 90));
        waitForText(detect, IDC_DETECTED_CHANNEL, "10");
    }
    click(detect, autodetectButton);
    check(waitUntilGone(detect), "the autodetect dialog closes");
    std::string which = autodetectButton == IDOK ? "after OK" : "after Cancel";
    for (int look = 0; look < 2; ++look) {
        Sleep(look == 0 ? 100 : 400);
        check(!IsWindowEnabled(window()), "the player's window stays disabled under the configuration dialog",
              which);
        check(IsWindowEnabled(config), "the configuration dialog takes input again", which);
    }
    check(activeWindowOfPlayer() == config, "the configuration dialog is the active window", which);
    check(pressEnterAsTheKeyboardWould() && waitUntilGone(config, 3000), "Enter reaches the configuration dialog",
          which);
    if (IsWindow(config)) {
        click(config, IDCANCEL);
        waitUntilGone(config);
    }
}

void returnFromAutodetect() {
    writeSettings(0, 0);
    check(load() != nullptr && init() == 0, "the plug-in starts");
    autodetectButton = IDCANCEL;
    runConfigWithUser(returnFromAutodetectUser);
    check(IsWindowEnabled(window()), "the player takes input again once the dialog is closed");
    // Enter pressed OK: the list still showed device 0, which is open again.
    check(midiIsOpen(0) && midiOpenCount() == 1, "Enter applied the lists (device 0)");
    autodetectButton = IDOK;
    runConfigWithUser(returnFromAutodetectUser);
    check(midiIsOpen(2) && midiOpenCount() == 1, "Enter applied the detected device 2");
    take();
    play(2, midiNoteOn(9, 67, 90));
    std::vector<Received> got = take();
    check(got == std::vector<Received>{command(40048)}, "and its channel 10", describe(got));
    check(messageBoxes().empty(), "no message box");
    quit();
    unload();
}

// ---- Closing the ports while note-ons keep coming ----------------------------------

volatile LONG flooding = 0;
DWORD WINAPI flood(LPVOID) {
    UINT note = 0;
    while (InterlockedCompareExchange(&flooding, 0, 0) != 0) {
        for (UINT device = 0; device < 16; ++device) midiSend(device, midiNoteOn(device % 16, note++ % 128, 90));
        Sleep(0);
    }
    return 0;
}

int stormTrials() {
    const char* text = getenv("NOTEWICK_STORM_TRIALS");
    return text != nullptr ? atoi(text) : 10;
}

void stormUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    InterlockedExchange(&flooding, 1);
    HANDLE flooder = CreateThread(nullptr, 0, flood, nullptr, 0, nullptr);
    int trials = stormTrials(), hung = 0, leaked = 0;
    DWORD slowest = 0;
    for (int trial = 0; trial < trials; ++trial) {
        click(config, IDC_AUTODETECT);
        HWND detect = waitForDialog(kAutodetectCaption);
        if (detect == nullptr) {
            ++hung;
            break;
        }
        Sleep(20 + trial % 30);
        DWORD started = GetTickCount();
        click(detect, trial % 2 == 0 ? IDOK : IDCANCEL);
        if (!waitUntilGone(detect)) {
            ++hung;
            break;
        }
        slowest = std::max(slowest, GetTickCount() - started);
        if (midiOpenCount() != 0) ++leaked;
    }
    InterlockedExchange(&flooding, 0);
    WaitForSingleObject(flooder, 5000);
    check(hung == 0, "every autodetect dialog ended promptly under a flood of note-ons");
    check(leaked == 0, "every port was closed", std::to_string(leaked) + " trials left ports open");
    printf("autodetect storm: %d trials, %d hung, %d left ports open, slowest close %lu ms\n", trials, hung, leaked,
           static_cast<unsigned long>(slowest));
    click(config, IDCANCEL);
    waitUntilGone(config);
}

void autodetectStorm() {
    writeSettings(-1, 0);
    load();
    init();
    runConfigWithUser(stormUser);
    quit();
    unload();
    check(midiOpenCount() == 0, "nothing open after quit");
}

// ---- Screenshots --------------------------------------------------------------------

// Prints the window's place on the screen and waits until the caller has
// taken its picture (the file NAME.done appears beside the DLL).
void shoot(HWND window, const char* name) {
    RECT r;
    GetWindowRect(window, &r);
    printf("SHOT %s %ld %ld %ld %ld\n", name, r.left, r.top, r.right - r.left, r.bottom - r.top);
    fflush(stdout);
    std::string done = pluginDirectory() + name + ".done";
    for (int i = 0; i < 1000 && GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(20);
}

// Sends a message, waits until the dialog shows `text` in the control, and
// takes the dialog's picture.
void shootAfter(HWND dialog, const char* name, UINT device, DWORD message, int controlId, const char* text) {
    midiSend(device, message);
    waitForText(dialog, controlId, text);
    Sleep(300);
    shoot(dialog, name);
}

void screenshotUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    shootAfter(config, "config-dialog", 0, midiController(0, 21, 100), IDC_LIVE_LINE,
               "Controller 21 = 100, channel 1: nothing: controller 21 has no function here. Bind it with Bindings");
    click(config, IDC_BINDINGS);
    HWND bindings = waitForDialog(kBindingsCaption);
    if (bindings == nullptr) return;
    chooseEntry(bindings, IDC_BINDING_LIST, 1);
    Sleep(60);
    shootAfter(bindings, "bindings-dialog", 0, midiNoteOn(9, 38, 100), IDC_LIVE_LINE,
               "Note-on 38 (D2), velocity 100, channel 10: Next (binding)");
    chooseEntry(bindings, IDC_CONTROLLER, 1);
    chooseEntry(bindings, IDC_BINDING_LIST, 2);
    Sleep(60);
    shootAfter(bindings, "bindings-controllers", 2, midiNoteOn(0, 37, 100), IDC_LIVE_LINE,
               "Pad Controller: Note-on 37 (C#2), velocity 100, channel 1: Stop (binding, held)");
    midiSend(2, midiNoteOff(0, 37));
    clickWithMouse(bindings, IDCANCEL);
    waitUntilGone(bindings);
    click(config, IDC_AUTODETECT);
    HWND detect = waitForDialog(kAutodetectCaption);
    if (detect == nullptr) return;
    shootAfter(detect, "autodetect-dialog", 1, midiNoteOn(9, 60, 100), IDC_DETECTED_CHANNEL, "10");
    click(detect, IDCANCEL);
    waitUntilGone(detect);
    click(config, IDCANCEL);
    waitUntilGone(config);
}

void screenshots() {
    midiSetName(0, "USB MIDI Keyboard");
    midiSetName(1, "Stage Piano MIDI In");
    midiSetName(2, "Pad Controller");
    writeFile(iniPath(), "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIDeviceName=USB MIDI Keyboard\r\n"
                         "[Notewick Bindings]\r\nNote 36 Channel 10=Play/Pause\r\nNote 38 Channel 10=Next\r\n"
                         "Controller 7 Channel 1=Volume\r\nController 64 Channel 1=Stop\r\n"
                         "Pitch Bend Channel 2=Volume Steps\r\nProgram 3 Channel 1=Previous\r\n"
                         "[Notewick Controller 1]\r\nInput=Pad Controller\r\nOutput=\r\n"
                         "Note 36 Channel 1=Shift\r\nNote 37 Channel 1=Play/Pause\r\nNote 37 Channel 1 Hold=Stop\r\n"
                         "Note 38 Channel 1 Double=Next\r\nShift Note 37 Channel 1=Shuffle\r\n"
                         "Encoder 16 Channel 1=Seek\r\n");
    load();
    init();
    MoveWindow(window(), 0, 0, 700, 500, FALSE);
    runConfigWithUser(screenshotUser);
    quit();
    unload();
}

const ScenarioRegistration registrations[] = {
    {"config_dialogs", configure},
    {"config_stale_device", staleDevice},
    {"config_after_autodetect", returnFromAutodetect},
    {"autodetect_storm", autodetectStorm},
    {"screenshots", screenshots},
};

}  // namespace
