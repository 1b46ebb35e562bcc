// fake_platform.h -- the platform seam played by the unit tests.
//
// Sends to the host are recorded, the tick is set by hand, the settings file
// is an in-memory INI, MIDI devices are scripted, and events and threads are
// real so that the mailbox and the worker can run under ThreadSanitizer.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/midi_input.h"

namespace fake {

typedef void* WindowRefForTests;

struct Send {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    bool operator==(const Send& other) const {
        return message == other.message && wParam == other.wParam && lParam == other.lParam;
    }
};

// Shorthands for what the host receives.
Send command(uint32_t id);
Send request(uint32_t request, int32_t argument);

struct Device {
    std::string name;
    bool nameReadable = true;
    uint32_t openResult = 0;  // MMSYSERR codes; 0 succeeds
    uint32_t startResult = 0;
    uint32_t stopResult = 0;
    uint32_t closeResult = 0;
    bool keepsBuffers = false;  // reset gives no buffer back, and close then fails
    uint32_t sendResult = 0;    // an output's sends; a failed one is not received
};

// Everything back to a fresh start: no devices, no sends, tick 0, the module
// at C:\Player\Plugins\gen_notewick.dll, an empty settings store.
void reset();

// ---- Host window ----
std::vector<Send> sends();
void clearSends();
void setPlayState(intptr_t answer);       // the answer to ReqPlayState
// The answer to any other request, or to the request with that argument only.
const intptr_t kAnyArgument = INTPTR_MIN;
void setAnswer(uint32_t request, intptr_t answer, intptr_t argument = kAnyArgument);
void setSendDelayMs(uint32_t delay);      // each send blocks this long
void setOnSend(void (*hook)(const Send&));  // called inside every send

// ---- Time ----
void setTick(uint32_t tick);

// ---- Events and threads ----
bool failEventCreation(bool fail);
bool isSignalled(void* event);  // an event of platformCreateEvent
// Called on the waiting thread each time a wait returns, before the waiter
// goes on: lets a test deliver a message between the wake-up and the read.
void setOnWake(void (*hook)());
// Every wait returns at once, failed.
void failWaits(bool fail);
uint32_t waits();  // waits begun, failed ones included
bool failThreadStart(bool fail);
uint32_t threadsStarted();
uint32_t threadsRunning();  // started and not yet ended

// ---- Module and settings ----
bool moduleKeptLoaded();  // the plug-in asked to stay loaded
void setModulePath(const char* path);  // null: the path cannot be read
// Settings files are text, read and written by the profile calls as the
// system's do (a line without "=" is a key with no value, the first line of a
// key is the one reached, a comment is never a key).
// Writes key=value in place of the key's first line, or after the section's
// lines; a missing one reads as the fallback.
void setProfile(const std::string& path, const std::string& section, const std::string& key,
                const std::string& value);
bool profileValue(const std::string& path, const std::string& section, const std::string& key, std::string* value);
// A line as a hand edit leaves it ("key=value"), added after the others even
// when one has that key already.
void addProfileLine(const std::string& path, const std::string& section, const std::string& line);
// The section's lines in file order, as written there, blank lines left out.
std::vector<std::string> profileLines(const std::string& path, const std::string& section);
// The whole file, as text; false when it is missing.
void setFile(const std::string& path, const std::string& text);
bool fileText(const std::string& path, std::string* text);
// A file another program holds open without sharing: it cannot be read (nor
// copied), or can again.
void setReadable(const std::string& path, bool readable);
// A file the profile calls cannot write (nor create), or can again.
void setWritable(const std::string& path, bool writable);
// The user's application-data folder.
const char* const kUserDataFolder = "C:\\Users\\Tester\\AppData\\Roaming";
std::vector<std::string> profilePathsRead();
std::vector<std::string> profilePathsWritten();

// ---- Message boxes ----
std::vector<std::string> messageBoxes();
// The answer to the next OK/Cancel boxes (OK unless set); each box's text goes
// to messageBoxes() too.
void setConfirmAnswer(bool ok);
// Called with each box's text while the box is up (the player may quit then).
void setOnMessageBox(void (*hook)(const std::string& text));

// ---- MIDI ----
void setDevices(const std::vector<Device>& devices);
Device& device(uint32_t index);
// Delivers a driver message to every open port of the device, on the calling
// thread, as the driver would on its own.
void deliver(uint32_t deviceIndex, unsigned int driverMessage, uint32_t param1);
inline void deliverData(uint32_t deviceIndex, uint32_t shortMessage) {
    deliver(deviceIndex, kMidiInData, shortMessage);
}
// Delivers a system-exclusive message into the buffers lent to the device's
// open port, as a driver does: a buffer is given back when the message ends
// in it or when it is full, the rest going on in the next. False when the
// port had too few buffers (the rest is lost) or none is open.
bool deliverSysex(uint32_t deviceIndex, const std::vector<uint8_t>& bytes);
// The driver gives every buffer lent to the device's open port back empty,
// the port running on (as some drivers do now and then).
void giveBuffersBackEmpty(uint32_t deviceIndex);
// Buffers lent to the device's open ports and not given back.
uint32_t buffersLent(uint32_t deviceIndex);
// What should never happen to a buffer: lent to a port stopped, reset or
// closed, unprepared while lent, a port closed with buffers lent (unless its
// device keeps them). Empty when all went by the rules.
std::vector<std::string> bufferFaults();
uint32_t openPorts();           // ports opened and not yet closed
uint32_t openPortsFor(uint32_t deviceIndex);
std::vector<std::string> midiCalls();  // "open 0", "start 0", "stop 0", "close 0", in order
// MIDI outputs, for the lights: each records the short messages sent to it.
void setOutputs(const std::vector<Device>& outputs);
Device& output(uint32_t index);
// Since the last call; a system-exclusive message shows as 0xF0 with its
// length << 8, its bytes in outputSysex.
std::vector<uint32_t> outputMessages(uint32_t index);
std::vector<std::vector<uint8_t>> outputSysex(uint32_t index);  // every one so far
bool outputIsOpen(uint32_t index);
// The same with the buffers' calls: "prepare 0", "add 0", "reset 0", "unprepare 0".
std::vector<std::string> allMidiCalls();
// The system says its list of devices changed: the device watch, if one is
// running, hears of it on the calling thread. False when none is running.
bool deviceListChanged();
// The device watch's timer: its interval (0: not set), and firing it once,
// as the system does every interval (false when it is not set).
uint32_t watchTimerMs();
bool fireWatchTimer();

// ---- Dialogs ----
// A dialog runs its initialisation, then the script set for its template
// (the user's actions), and ends when a handler ends it. A script that does
// not end its dialog closes it with the close box (Cancel).
typedef std::function<void(WindowRefForTests dialog)> DialogScript;
void setDialogScript(uint32_t resourceId, DialogScript script);
void press(WindowRefForTests dialog, uint32_t controlId);  // the user clicks a button
// The user presses Enter (1, OK) or Escape (2, Cancel): the focus stays.
void pressKey(WindowRefForTests dialog, uint32_t controlId);
void choose(WindowRefForTests dialog, uint32_t controlId, int32_t index);  // the user picks a list entry
// The arrow keys move a closed drop-down list's selection there.
void arrowTo(WindowRefForTests dialog, uint32_t controlId, int32_t index);
// The user ticks the check box, or clears it.
void check(WindowRefForTests dialog, uint32_t controlId, bool ticked);
// The dialog's timer fires once.
void runTimer(WindowRefForTests dialog);
// Runs the dialog's private-message handler for each notification posted.
void serveNotifications(WindowRefForTests dialog);
std::vector<std::string> listEntries(WindowRefForTests dialog, uint32_t controlId);
int32_t listSelection(WindowRefForTests dialog, uint32_t controlId);
std::string itemText(WindowRefForTests dialog, uint32_t controlId);
// The user types into an edit box; a button greyed out or not; the user
// double-clicks a list's entry.
void typeText(WindowRefForTests dialog, uint32_t controlId, const std::string& text);
bool isItemEnabled(WindowRefForTests dialog, uint32_t controlId);
void doubleClick(WindowRefForTests dialog, uint32_t controlId, int32_t index);
// The control with the keyboard focus (0: none); the user moves it there.
uint32_t focusedControl(WindowRefForTests dialog);
void focus(WindowRefForTests dialog, uint32_t controlId);
// The entry the list was last scrolled to (-1: never).
int32_t listScrolledTo(WindowRefForTests dialog, uint32_t controlId);
// The user closes the dialog with its close box.
void closeBox(WindowRefForTests dialog);
bool isEnabled(WindowRefForTests window);  // a dialog or the host's window
WindowRefForTests activeWindow();
bool hasEnded(WindowRefForTests dialog);
uint32_t dialogsRun(uint32_t resourceId);
void failAllocation(bool fail);
int32_t allocationsLive();  // allocated and not yet freed

}  // namespace fake
