// bindings_dialog.h -- what the parts of the Bindings dialog share: its
// state while it runs, the shown device, the status line, and each part's
// operations, under the file that defines them. Only the dialog's own files
// include it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/bindings_section.h"
#include "core/maps.h"
#include "core/types.h"
#include "midi/bindings.h"
#include "platform/platform.h"

// A device as the dialog has it: its section's lines when the dialog opened
// (or the controller was added) and as they stand, and the output chosen for
// its lights.
struct DeviceEdit {
    bool shown;    // the configured device, or a controller in use or added
    bool added;    // added in this dialog
    bool removed;  // Remove Controller pressed
    SectionText base;
    SectionText section;
    char lights[kDeviceNameCapacity];  // empty: none
    int32_t lightsAt;                  // its number when picked from the list; -1 otherwise
};

// The Controller list's last entry: "Add a controller...".
const int32_t kAddEntry = -1;

struct BindingsDialogState {
    DeviceEdit devices[kMaxDevices];
    uint32_t device;  // the device shown
    // The Controller list's entries: a device each, kAddEntry last.
    int32_t entries[kMaxDevices + 1];
    uint32_t entryCount;
    BindingLine bound[kMaxBindings];  // what the reader makes of the shown device's lines
    uint32_t boundCount;
    bool learning;
    // Learning an endless knob: 1 while Learn waits for it turned to the
    // right, 2 for it turned to the left; 0 for any other control.
    uint32_t knobPhase;
    ShortMessage knobRight;  // the knob turned to the right
    // The dialog's shift button held while Learn waits: one learned or
    // changed in the dialog is not the worker's until OK, so Learn follows it.
    bool shiftDown;
    int32_t picked;      // the binding the user selected in the list; -1 for none
    int32_t lightsAway;  // the Lights list's "NAME (not connected)" entry; -1 for none
    bool mergeShown;     // OK showed what the file's changes meanwhile made of the sections
    // The status line says what Learn listens to, or why it cannot (1: as
    // the dialog opened, 2: as a device was chosen); 0 when it says another thing.
    uint32_t hearsSaid;
    MapEntry maps[kMaxMaps];
    uint32_t mapCount;
    int32_t offered;  // the map offered for the shown device; -1 for none
    bool offeredByReply;  // offered knowing the shown device's Device Inquiry reply
};

// Allocated for the dialog's lifetime (bindings_dialog.cpp): null while the
// dialog does not run, and after the player quit while a box of it was up.
extern BindingsDialogState* bindingsState;

// The shown device's edit.
inline DeviceEdit& shown() { return bindingsState->devices[bindingsState->device]; }

// ---- bindings_dialog.cpp: the status line, the state's end ------------------------------

void sayWhatLearnHears(WindowRef dialog, bool opening);
void say(WindowRef dialog, const char* a, const char* b = "", const char* c = "", const char* d = "",
         const char* e = "", const char* f = "", const char* g = "", const char* h = "");
bool confirm(WindowRef dialog, const char* caption, const char* question, const char* declined);
void freeState();

// ---- bindings_dialog_controllers.cpp: the controllers, their list, their lights ------------

void editName(uint32_t device, char* name);
bool editConnected(uint32_t device);
void fillControllers(WindowRef dialog);
void addController(WindowRef dialog);
void removeShownController(WindowRef dialog);
void showDevice(WindowRef dialog, uint32_t device);
bool startEdit(uint32_t device);
void takeFileEdits(uint32_t device);
void lightsLine(char* out, size_t capacity);
void fillLights(WindowRef dialog);
void refreshLights(WindowRef dialog);
void pickLights(WindowRef dialog);
bool takeLights(WindowRef dialog);
void outputNotOpened(WindowRef dialog, const char* name);

// ---- bindings_dialog_maps.cpp: the ready-made maps -------------------------------------

bool shownIdentity(MapIdentity* reply);
void offerMap(WindowRef dialog);
void useMap(WindowRef dialog, int32_t index);
void chooseMap(WindowRef dialog);
void saveAsMap(WindowRef dialog);

// ---- bindings_dialog_learn.cpp: Learn -------------------------------------------------

bool learnSource(char* name, char* why, size_t capacity);
void learn(WindowRef dialog);
void stopWaiting(WindowRef dialog, const char* why);
void onBindingsNotify(WindowRef dialog);
int32_t shiftButtonIndex();
Binding learnedBinding(const BindingSource& source, uint32_t action);

// ---- bindings_dialog_list.cpp: the bindings list, choosing, removing, OK -------------------

void describeBinding(const Binding& binding, char* out, size_t capacity);
void showBindings(WindowRef dialog);
int32_t boundIndex(const BindingSource& source);
uint32_t chosenAction(WindowRef dialog);
uint32_t chosenGesture(WindowRef dialog);
bool rewriteAction(uint32_t line, const Binding& binding);
void sayNextLearn(WindowRef dialog);
void onSelection(WindowRef dialog, uint32_t controlId);
void onGestureChosen(WindowRef dialog);
void removeSelected(WindowRef dialog);
void removeAll(WindowRef dialog);
void closeBindings(WindowRef dialog, bool keep);
