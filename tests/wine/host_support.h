// host_support.h -- a stand-in player for the tests under Wine.
//
// It loads the plug-in as the player does, owns the main window the plug-in
// sends its commands and requests to, records them in order, answers the
// play-state request, and drives the test MIDI driver. A watcher thread reads
// and dismisses the message boxes the plug-in shows.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <set>
#include <string>
#include <vector>

#include "tests/wine/test_midi_driver.h"

namespace host {

// The descriptor record as the player reads it.
struct PluginRecord {
    int version;
    char* description;
    int (*init)();
    void (*config)();
    void (*quit)();
    HWND hwndParent;
    HINSTANCE hDllInstance;
};

// What the player's window received.
struct Received {
    bool request;  // WM_USER request, else WM_COMMAND command
    UINT id;       // command identifier or request number
    UINT argument; // a request's argument
    DWORD tick;
    LONGLONG qpc;  // performance counter at arrival
};

bool operator==(const Received& a, const Received& b);
Received command(UINT id);
Received request(UINT number, UINT argument);
std::string describe(const std::vector<Received>& list);
const char* commandName(UINT id);

// ---- Scenarios ------------------------------------------------------------------
// Each scenario file registers its scenarios by name at start-up.
struct ScenarioRegistration {
    ScenarioRegistration(const char* name, void (*run)());
};
void (*findScenario(const char* name))();
// plugin.ini with the device and channel, and the device's name unless null.
void writeSettings(int device, int channel, const char* name = nullptr);
bool contains(const std::string& text, const std::string& part);
std::string joined(const std::vector<std::string>& texts);
// A Linux path as Wine names it (Z: is the root); other paths unchanged.
std::string windowsPath(const char* path);

// ---- Setup -------------------------------------------------------------------
// Moves this thread, before it has any window, to a desktop of this process's
// own: which window is active and in the foreground is kept per desktop, so
// scenarios that check it are not disturbed by others showing windows. Every
// thread that looks for or makes windows then calls joinDesktop() first.
bool enterOwnDesktop(const char* name);
void joinDesktop();
// Creates the main window, loads the test driver's control exports and
// starts the message-box watcher. dllPath may be a Linux path.
bool start(const char* dllPath);
std::string pluginDirectory();  // with its trailing backslash
// What ran: "32-bit player, i386 DLL", from this program's pointer width and
// the machine the DLL's header names.
std::string widths();
std::string iniPath();
// The "Notewick Maps" folder beside the plug-in, made if need be, with its
// trailing backslash: where the shipped maps are read from.
std::string mapsFolder();

// ---- The plug-in -------------------------------------------------------------
PluginRecord* load();  // LoadLibrary and the export; null on failure
int init();
void quit();
void unload();
// Whether the plug-in's module is still loaded after unload() (it keeps itself
// loaded while a port it could not close is open).
bool pluginStillLoaded();
PluginRecord* record();

// ---- The player's side -------------------------------------------------------
// The answer to the play-state request (104): 1 playing, 3 paused, 0 stopped.
void setPlayState(LRESULT answer);
// The rest of the player's state, as its own window would change it: shuffle
// (request 250), repeat (251), the volume (request 122 with -666; a request
// 122 with 0-255 sets it).
void setShuffle(bool on);
void setRepeat(bool on);
void setVolume(int volume);
int volume();
// The track and the playlist: the position (request 105 with 0, in ms; 106
// sets it), the track's length (105 with 1, in seconds), the balance (123
// sets it), the playlist's length (124) and its position (121 sets it, 102
// plays it).
void setTrack(int lengthSeconds, int positionMs);
int position();
int balance();
void setPlaylistLength(int entries);
int playlistPosition();
// From now on play, pause, stop, shuffle and repeat commands change that
// state as the player does (off unless set: the key scenarios answer fixed).
void setPlayerFollowsCommands(bool follow);
void setCommandDelayMs(DWORD delay);  // each command takes this long to handle
// Called on the player's thread for every message received.
void setOnReceive(void (*hook)(const Received&));
// Serves the window for ms milliseconds.
void pump(DWORD ms);
// Serves the window until the thread has ended (or timeoutMs passed without
// anything to serve).
void serveUntilEnded(HANDLE thread, DWORD timeoutMs);
std::vector<Received> take();  // what arrived since the last take
// From another thread while the player's thread serves its window (in a
// modal dialog, say): waits until count messages arrived since the last take.
std::vector<Received> waitForReceived(size_t count, DWORD timeoutMs = 2000);
HWND window();

// ---- The test MIDI driver ----------------------------------------------------
bool midiSend(UINT device, DWORD message);  // queued for the driver's thread
// A system-exclusive message, queued behind what was sent before it and
// given back in the port's lent buffers.
bool midiSendSysex(UINT device, const std::vector<BYTE>& message);
// The fault: a reset gives none of the device's buffers back.
void midiSetKeepsBuffers(UINT device, bool keeps);
FakeMidiBufferStats midiBufferStats(UINT device);
bool midiWaitIdle(DWORD timeoutMs = 2000);
void midiSetResult(UINT device, UINT call, DWORD code);
void midiSetName(UINT device, const char* name);
// Unplugs the device or plugs it back in: while away it keeps its number (the
// device count is fixed for the process) but has no name, cannot be opened
// and delivers nothing; a port open on it as it went never hears again.
void midiSetAway(UINT device, bool away);
// As Windows does when its list of devices changes: WM_DEVICECHANGE with
// DBT_DEVNODES_CHANGED sent to every top-level window (of this process), from
// a thread of its own; returns when every window has answered.
void broadcastDeviceChange();
UINT midiOpenCount();
// Closing the device's port delivers message to it once more, just after the close.
void midiSetLateDelivery(UINT device, DWORD message);
// Every call for the device now fails with MMSYSERR_NODRIVER, as when it is unplugged.
void midiUnplug(UINT device);
// The data handler's cost against SetEvent's, per call; spacingMs > 0 times
// calls that far apart, each of which wakes the worker.
bool midiBenchHandler(UINT device, UINT iterations, UINT spacingMs, double* handlerNs, double* setEventNs);
LONGLONG midiLastDeliveryQpc();
bool midiIsOpen(UINT device);
// Sends and serves the window long enough for the worker to act.
void play(UINT device, DWORD message, DWORD settleMs = 90);

// The test driver's outputs ("Test MIDI Out N"): what one received since the
// last call, with the performance counter at each when times is given.
std::vector<DWORD> midiOutReceived(UINT device, std::vector<LONGLONG>* times = nullptr);
// Messages as six hex digits each ("7F2490 002480"), "nothing" for none.
std::string hexMessages(const std::vector<DWORD>& messages);
void midiOutSetAway(UINT device, bool away);
// The fault: the output takes system-exclusive messages and never finishes them.
void midiOutSetHoldsSysex(UINT device, bool holds);
void midiOutSetName(UINT device, const char* name);
bool midiOutIsOpen(UINT device);
// The port's device interface path from now on; null or "": the driver
// answers the queries with nothing, as older drivers do.
void midiSetInterfacePath(UINT device, const char* path);
void midiOutSetInterfacePath(UINT device, const char* path);
// Each Device Inquiry sent on the output is answered with reply on the input
// (none for an empty reply); how many the output received.
void midiOutSetIdentityReply(UINT device, UINT input, const std::vector<BYTE>& reply);
LONG midiOutInquiries(UINT device);

// ---- Message boxes -----------------------------------------------------------
std::vector<std::string> messageBoxes();  // texts seen and dismissed so far
// Called on the watcher's thread with each box's text while the box is still
// up, before it is dismissed.
void setOnMessageBox(void (*hook)(const std::string& text));
bool waitForMessageBoxes(size_t count, DWORD timeoutMs);

// ---- Files and threads ---------------------------------------------------------
std::string readFile(const std::string& path);
bool writeFile(const std::string& path, const std::string& text);
std::set<DWORD> threadIds();  // threads of this process
int threadCount();

// A flood of E4 note-ons on the device, kFloodRate a second, from a thread of
// its own; stopFlood waits until all were delivered and returns how many.
const int kFloodRate = 10000;
void startFlood(UINT device = 0);
long stopFlood();

// ---- Checks --------------------------------------------------------------------
void check(bool ok, const char* what, const std::string& detail = "");
int failures();

// ---- Dialogs, driven from the user's thread --------------------------------------
// The plug-in's two dialogs, found by their captions.
const char* const kConfigCaption = "Notewick, Version 1.2";
const char* const kAutodetectCaption = "Midi Device/Port Autodetect";
const char* const kBindingsCaption = "Notewick Bindings";

// Runs user() on a thread of its own while this thread shows the plug-in's
// configuration dialog, and returns when both have ended.
void runConfigWithUser(void (*user)());
// This process's visible dialog with the caption, or null; how many there are.
HWND findOwnDialog(const char* caption);
int countOwnDialogs(const char* caption);
// How many top-level windows of this process belong to classes the module
// registered.
int topLevelWindowsOf(HMODULE module);
// Has the player's thread open the plug-in's configuration, as the player's
// preferences would; posted, so it runs in whatever modal loop is running.
void askPlayerToConfigure();
// Has the player's thread call the plug-in's quit, as a closing player does;
// posted, so it runs in whatever modal loop is running.
void askPlayerToQuit();
// The active window of the player's thread, which runs the plug-in's dialogs.
HWND activeWindowOfPlayer();
// Posts Enter where a key press would go: to the focus window of the
// player's thread. False when it has none.
bool pressEnterAsTheKeyboardWould();
// The same for another key, or with Alt for an accelerator ('C' for Alt+C).
bool pressKeyAsTheKeyboardWould(UINT key, bool alt = false);
// The control with the keyboard focus on the player's thread: its identifier,
// 0 for none.
int focusedControlOfPlayer();
// Generous bounds: a machine busy building can hold a Wine program off the
// processor for seconds; a scenario that works never waits them out.
HWND waitForDialog(const char* caption, DWORD timeoutMs = 15000);
bool waitUntilGone(HWND window, DWORD timeoutMs = 15000);
void click(HWND dialog, int controlId);  // posted, as a button press is
// As the mouse clicks: the button takes the keyboard focus, then acts.
void clickWithMouse(HWND dialog, int controlId);
std::vector<std::string> listEntries(HWND dialog, int controlId);
int listSelection(HWND dialog, int controlId);
void selectEntry(HWND dialog, int controlId, int index);
// As the user picks an entry: selected, and the dialog told of it.
void chooseEntry(HWND dialog, int controlId, int index);
std::string controlText(HWND dialog, int controlId);
bool waitForText(HWND dialog, int controlId, const std::string& text, DWORD timeoutMs = 10000);
// Waits until the condition holds, with the same generous bound; false when
// it never did.
template <typename Condition>
bool waitUntil(Condition condition, DWORD timeoutMs = 10000) {
    for (DWORD started = GetTickCount(); !condition(); Sleep(5)) {
        if (GetTickCount() - started > timeoutMs) return false;
    }
    return true;
}
// True when the static control's text, wrapped at its width, fits its height.
bool textFits(HWND dialog, int controlId);

DWORD midiNoteOn(UINT channel, UINT note, UINT velocity);
DWORD midiNoteOff(UINT channel, UINT note);
DWORD midiController(UINT channel, UINT number, UINT value);
DWORD midiPitchBend(UINT channel, UINT low, UINT high);

}  // namespace host
