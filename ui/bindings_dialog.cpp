// bindings_dialog.cpp -- the Bindings dialog: for the configured device and
// each controller added beside it, the bindings in file order, the action
// each does, Learn, which binds the next control the user touches on that
// device, the output its lights go to, and its ready-made maps.
//
// The dialog edits each device's section's lines as they stand
// (core/bindings_section.h) and lists what the plug-in's own reader makes of
// them, so the list is exactly what acts after OK. Remove deletes a
// binding's own line, a new action rewrites its own line in place, Learn
// appends a line; every other line stays as it is. OK applies the user's
// changes to each section as the file has it then (core/section_merge.h),
// writes it at once, and the worker takes it; Cancel changes nothing, in the
// file or in the running plug-in.
//
// This file owns the dialog's state, its opening, the status line, the
// timer and where each command goes. Its parts (ui/bindings_dialog.h):
// bindings_dialog_controllers.cpp, the controllers, their list and each
// one's lights; bindings_dialog_maps.cpp, the ready-made maps;
// bindings_dialog_learn.cpp, Learn; bindings_dialog_list.cpp, the bindings
// list, choosing and removing, and OK.
//
// Sections: bindingsState; the status line; opening; the timer; commands; quit.
#include "ui/bindings_dialog.h"

#include <initializer_list>

#include "core/controllers.h"
#include "core/maps.h"
#include "core/plugin.h"
#include "core/settings.h"
#include "core/text.h"
#include "midi/bindings.h"
#include "midi/outcome.h"
#include "midi/ports.h"
#include "platform/dialogs.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

// ---- State (exists while the dialog runs) -------------------------------------------

// Allocated for the dialog's lifetime: the module need not carry it the rest
// of the time.
BindingsDialogState* bindingsState = nullptr;
static WindowRef bindingsWindow = nullptr;  // while it runs

static void onBindingsInit(WindowRef dialog);
static void onBindingsCommand(WindowRef dialog, uint32_t controlId, uint32_t notification);
static void onBindingsTimer(WindowRef dialog);

static const DialogHandlers bindingsHandlers = {onBindingsInit, onBindingsCommand, onBindingsNotify,
                                                onBindingsTimer};
// What the dialog's line has shown.
static LiveLine bindingsLine;

void runBindingsDialog(WindowRef configDialog) {
    if (bindingsWindow != nullptr) return;
    platformRunDialog(pluginRecord.moduleInstance, IDD_BINDINGS, configDialog, &bindingsHandlers);
    bindingsWindow = nullptr;
}

// Ends the dialog's state: its sections freed, and no dialog runs any more.
void freeState() {
    for (DeviceEdit& edit : bindingsState->devices) {
        freeSection(&edit.base);
        freeSection(&edit.section);
    }
    platformFree(bindingsState);
    bindingsState = nullptr;
    bindingsWindow = nullptr;
}

// ---- The status line ---------------------------------------------------------------

// The status line, from up to five pieces of text.
void say(WindowRef dialog, const char* a, const char* b, const char* c, const char* d, const char* e, const char* f,
         const char* g, const char* h) {
    char text[640] = "";
    for (const char* piece : {a, b, c, d, e, f, g, h}) appendText(text, sizeof text, piece);
    platformSetItemText(dialog, IDC_BINDING_STATUS, text);
    if (bindingsState != nullptr) bindingsState->hearsSaid = 0;
}

// What Learn listens to on the shown device, or why it cannot and what to
// do; said again when devices come or go, so it stays true.
void sayWhatLearnHears(WindowRef dialog, bool opening) {
    char name[kDeviceNameCapacity], why[512];
    if (!learnSource(name, why, sizeof why)) {
        say(dialog, why);
    } else if (opening) {
        say(dialog, "Choose an action, press Learn, then press a key or move a control on ", name, ".", why);
    } else {
        say(dialog, "The bindings of ", name, ". Learn listens to it.", why);
    }
    bindingsState->hearsSaid = opening ? 1 : 2;
}

// Asks with an OK/Cancel box: true for OK; for Cancel the status line says
// `declined`; false with nothing more when the player quit meanwhile.
bool confirm(WindowRef dialog, const char* caption, const char* question, const char* declined) {
    bool sure = platformConfirm(dialog, caption, question);
    if (bindingsState == nullptr) return false;
    if (!sure) say(dialog, declined);
    return sure;
}

// ---- Opening ------------------------------------------------------------------------

static void onBindingsInit(WindowRef dialog) {
    bindingsState = static_cast<BindingsDialogState*>(platformAllocZeroed(sizeof(BindingsDialogState)));
    // The dialog lists what acts, and what acts is what the file holds now:
    // sections edited, added or taken out by hand while the player ran.
    for (uint32_t device = 0; bindingsState != nullptr && device < kMaxDevices; ++device) takeFileEdits(device);
    bool ready = bindingsState != nullptr && startEdit(kConfiguredDevice);
    for (uint32_t device = 1; ready && device < kMaxDevices; ++device) {
        if (controllerInUse(device)) ready = startEdit(device);
    }
    if (!ready) {
        if (bindingsState != nullptr) freeState();
        platformEndDialog(dialog);
        return;
    }
    bindingsWindow = dialog;
    for (uint32_t action = 1; action <= kActionCount; ++action) {
        platformListAdd(dialog, IDC_BINDING_ACTION, bindingActionName(action));
    }
    platformListSelect(dialog, IDC_BINDING_ACTION, 0);
    for (const char* gesture : {"Press", "Hold", "Double press"}) platformListAdd(dialog, IDC_GESTURE, gesture);
    platformListSelect(dialog, IDC_GESTURE, 0);
    bindingsState->mapCount = listMaps(bindingsState->maps, kMaxMaps);
    showDevice(dialog, kConfiguredDevice);
    char lights[320];
    lightsLine(lights, sizeof lights);
    startLiveLine(dialog, &bindingsLine, lights);
    sayWhatLearnHears(dialog, true);
}

// ---- The timer ----------------------------------------------------------------------

static void onBindingsTimer(WindowRef dialog) {
    if (bindingsState == nullptr) return;
    char lights[320];
    lightsLine(lights, sizeof lights);
    updateLiveLine(dialog, &bindingsLine, lights);
    // The shown device answered the Device Inquiry since its map was offered.
    MapIdentity reply;
    if (shownIdentity(&reply) != bindingsState->offeredByReply) offerMap(dialog);
    // The device watch leaves the configured device's port alone while the
    // dialogs are open: a device that went away is seen here, and Learn
    // stops waiting for it.
    if (!bindingsState->learning) return;
    char name[kDeviceNameCapacity], now[kDeviceNameCapacity] = "";
    editName(bindingsState->device, name);
    if (bindingsState->device == kConfiguredDevice) {
        deviceName(static_cast<uint32_t>(pluginSettings.midiDevice), now);
    } else if (controllerInputOpen(bindingsState->device) && editConnected(bindingsState->device)) {
        appendText(now, sizeof now, name);
    }
    if (!textEquals(name, now)) {
        stopLearning();
        bindingsState->learning = false;
        say(dialog, name, bindingsState->device == kConfiguredDevice
                              ? " went away, so Learn stopped. Connect it; then, to learn from it, close this dialog (OK "
                                "keeps your changes), press Apply in the configuration dialog, then open Bindings "
                                "again."
                              : " went away, so Learn stopped. Connect it, then Learn again.");
    }
}

// ---- Commands -----------------------------------------------------------------------

// Whether the Controller list's selection is "Add a controller...".
static bool addEntryChosen(WindowRef dialog) {
    int32_t selected = platformListSelection(dialog, IDC_CONTROLLER);
    return selected >= 0 && static_cast<uint32_t>(selected) < bindingsState->entryCount &&
           bindingsState->entries[selected] == kAddEntry;
}

static void onBindingsCommand(WindowRef dialog, uint32_t controlId, uint32_t notification) {
    if (bindingsState == nullptr) return;
    if (notification == kSelectionChanged && (controlId == IDC_BINDING_LIST || controlId == IDC_BINDING_ACTION)) {
        onSelection(dialog, controlId);
        return;
    }
    if (notification == kSelectionChanged && controlId == IDC_GESTURE) {
        onGestureChosen(dialog);
        return;
    }
    if (notification == kSelectionChanged && controlId == IDC_LIGHTS) {
        pickLights(dialog);
        return;
    }
    // "Add a controller..." opens its dialog once chosen: when the list
    // closes on it (a click, or Enter in the open list) or on Enter; arrow
    // keys passing over it in the closed list only say so.
    if (notification == kListClosed && controlId == IDC_CONTROLLER) {
        if (addEntryChosen(dialog)) addController(dialog);
        return;
    }
    if (notification == kSelectionChanged && controlId == IDC_CONTROLLER) {
        int32_t selected = platformListSelection(dialog, IDC_CONTROLLER);
        if (selected < 0 || static_cast<uint32_t>(selected) >= bindingsState->entryCount) return;
        int32_t entry = bindingsState->entries[selected];
        if (entry == kAddEntry) {
            say(dialog, "Add a controller...: press Enter to choose its MIDI input.");
        } else if (static_cast<uint32_t>(entry) != bindingsState->device) {
            showDevice(dialog, static_cast<uint32_t>(entry));
            sayWhatLearnHears(dialog, false);
        }
        return;
    }
    bool closeBox = controlId == kDialogCancel && notification == kCloseBox;
    if (notification != kButtonClicked && !closeBox) return;
    // Enter and Esc while Learn waits stop waiting, and leave the dialog open;
    // Esc with a binding selected in the list selects nothing.
    if ((controlId == kDialogOk || controlId == kDialogCancel) && !closeBox) {
        if (bindingsState->learning) {
            stopWaiting(dialog, "Learn stopped: nothing was learned.");
            return;
        }
        if (controlId == kDialogOk && platformFocusedControl(dialog) == IDC_CONTROLLER && addEntryChosen(dialog)) {
            addController(dialog);
            return;
        }
        if (controlId == kDialogCancel && bindingsState->picked >= 0 &&
            platformFocusedControl(dialog) == IDC_BINDING_LIST) {
            bindingsState->picked = -1;
            platformListSelect(dialog, IDC_BINDING_LIST, -1);
            say(dialog, "Nothing is selected: the action you choose is for the next Learn.");
            return;
        }
    }
    switch (controlId) {
        case IDC_LEARN: learn(dialog); break;
        case IDC_ENDLESS:
            if (!bindingsState->learning) sayNextLearn(dialog);
            break;
        case IDC_REMOVE: removeSelected(dialog); break;
        case IDC_REMOVE_ALL: removeAll(dialog); break;
        case IDC_REMOVE_CONTROLLER: removeShownController(dialog); break;
        case IDC_USE_MAP: useMap(dialog, bindingsState->offered); break;
        case IDC_CHOOSE_MAP: chooseMap(dialog); break;
        case IDC_SAVE_MAP: saveAsMap(dialog); break;
        case kDialogOk: closeBindings(dialog, true); break;
        case kDialogCancel: closeBindings(dialog, false); break;
        default: break;
    }
}

// ---- For the rest of the plug-in ------------------------------------------------------

WindowRef bindingsDialogWindow() { return bindingsWindow; }

void bindingsDevicesChanged() {
    if (bindingsWindow == nullptr || bindingsState == nullptr) return;
    fillControllers(bindingsWindow);
    refreshLights(bindingsWindow);
    if (bindingsState->hearsSaid != 0 && !bindingsState->learning) {
        sayWhatLearnHears(bindingsWindow, bindingsState->hearsSaid == 1);
    }
}

void endBindingsDialog() {
    if (bindingsWindow != nullptr && bindingsState != nullptr) closeBindings(bindingsWindow, false);
}
