// bindings_dialog.cpp -- the Bindings dialog: the user's bindings in file
// order, the action each does, and Learn, which binds the next control the
// user touches on the device in use.
//
// Nothing changes until OK: then the section's lines are written one by one
// (added, changed or deleted), the lines that are not used stay as they are,
// and the worker takes the new table for its next message. Cancel changes
// nothing, in the file or in the running plug-in.
#include "core/main_port.h"
#include "core/plugin.h"
#include "core/settings.h"
#include "core/text.h"
#include "midi/bindings.h"
#include "platform/dialogs.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

// ---- State (exists while the dialog runs) -------------------------------------------

// A binding as the dialog holds it, with the file line it came from.
struct ShownBinding {
    Binding binding;
    int32_t line;  // index into lines; -1 for one added here
};

struct BindingsDialogState {
    BindingLine lines[kMaxBindings];  // the used lines when the dialog opened
    uint32_t lineCount;
    SourceSet named;                  // every source a line names, used or not
    ShownBinding shown[kMaxBindings];
    uint32_t shownCount;
    bool learning;
};

// Allocated for the dialog's lifetime: a few kilobytes the module need not
// carry the rest of the time.
static BindingsDialogState* state = nullptr;
static bool bindingsDialogRunning = false;

static void onBindingsInit(WindowRef dialog);
static void onBindingsCommand(WindowRef dialog, uint32_t controlId, uint32_t notification);
static void onBindingsNotify(WindowRef dialog);
static void onBindingsTimer(WindowRef dialog);

static const DialogHandlers bindingsHandlers = {onBindingsInit, onBindingsCommand, onBindingsNotify,
                                                onBindingsTimer};
// What the dialog's line has shown.
static LineState bindingsLine;

static void onBindingsTimer(WindowRef dialog) { updateLiveLine(dialog, &bindingsLine); }

void runBindingsDialog(WindowRef configDialog) {
    if (bindingsDialogRunning) return;
    bindingsDialogRunning = true;
    platformRunDialog(pluginRecord.moduleInstance, IDD_BINDINGS, configDialog, &bindingsHandlers);
    bindingsDialogRunning = false;
}

// ---- The list and the line ---------------------------------------------------------------

// "Note 36 (C2), channel 10: Play/Pause"
static void describeBinding(const Binding& binding, char* out, size_t capacity) {
    describeSource(binding.source, out, capacity);
    appendText(out, capacity, ": ");
    appendText(out, capacity, bindingActionName(binding.action));
}

static void showList(WindowRef dialog, int32_t selected) {
    platformListClear(dialog, IDC_BINDING_LIST);
    for (uint32_t i = 0; i < state->shownCount; ++i) {
        char text[80];
        describeBinding(state->shown[i].binding, text, sizeof text);
        platformListAdd(dialog, IDC_BINDING_LIST, text);
    }
    platformListSelect(dialog, IDC_BINDING_LIST, selected);
}

// The line under the buttons, from up to three pieces of text.
static void say(WindowRef dialog, const char* a, const char* b = "", const char* c = "") {
    char text[160] = "";
    appendText(text, sizeof text, a);
    appendText(text, sizeof text, b);
    appendText(text, sizeof text, c);
    platformSetItemText(dialog, IDC_BINDING_STATUS, text);
}

static uint32_t chosenAction(WindowRef dialog) {
    return static_cast<uint32_t>(platformListSelection(dialog, IDC_BINDING_ACTION) + 1);
}

// The device Learn listens to: the one whose port is open; false for none.
static bool deviceInUse(char* name) {
    if (mainInputPort == nullptr || pluginSettings.midiDevice < 0) return false;
    configuredDeviceName(name);
    return true;
}

// ---- Initialisation --------------------------------------------------------------------

static void onBindingsInit(WindowRef dialog) {
    state = static_cast<BindingsDialogState*>(platformAllocZeroed(sizeof(BindingsDialogState)));
    if (state == nullptr) {
        platformEndDialog(dialog);
        return;
    }
    state->lineCount = readBindingLines(state->lines, &state->named);
    for (uint32_t i = 0; i < state->lineCount; ++i) {
        state->shown[i] = ShownBinding{state->lines[i].binding, static_cast<int32_t>(i)};
    }
    state->shownCount = state->lineCount;
    for (uint32_t action = 1; action <= kActionCount; ++action) {
        platformListAdd(dialog, IDC_BINDING_ACTION, bindingActionName(action));
    }
    platformListSelect(dialog, IDC_BINDING_ACTION, 0);
    showList(dialog, -1);
    startLiveLine(dialog, &bindingsLine);
    char name[kDeviceNameCapacity];
    if (deviceInUse(name)) {
        say(dialog, "Choose an action, press Learn, then press a key or move a control on ", name, ".");
    } else {
        say(dialog, "No MIDI device is in use: Learn needs one chosen in the configuration dialog.");
    }
}

// ---- Learn -----------------------------------------------------------------------------

static void learn(WindowRef dialog) {
    if (state->learning) {
        stopLearning();
        state->learning = false;
        say(dialog, "Learn stopped.");
        return;
    }
    char name[kDeviceNameCapacity];
    if (!deviceInUse(name)) {
        say(dialog, "No MIDI device is in use, so there is nothing to learn from: choose one in the configuration "
                    "dialog first.");
        return;
    }
    state->learning = true;
    startLearning(dialog);
    say(dialog, "Press a key or move a control on ", name, " (Learn again to stop).");
}

// The message Learn took becomes the source of the chosen action: the
// binding it already has gets the action, or a new one is added.
static void onBindingsNotify(WindowRef dialog) {
    ShortMessage message = takeLearnedMessage();
    BindingSource source;
    if (state == nullptr || !state->learning || message == 0 || !messageSource(message, &source)) return;
    state->learning = false;
    uint32_t action = chosenAction(dialog);
    if (!actionFits(action, source.kind)) {
        say(dialog, bindingActionName(action), " needs ", sourcesForAction(action));
        return;
    }
    uint32_t at = 0;
    while (at < state->shownCount && !sameSource(state->shown[at].binding.source, source)) ++at;
    bool added = at == state->shownCount;
    // A binding removed here and learned again keeps its line in the file.
    int32_t line = 0;
    while (line < static_cast<int32_t>(state->lineCount) && !sameSource(state->lines[line].binding.source, source)) {
        ++line;
    }
    if (line == static_cast<int32_t>(state->lineCount)) line = -1;
    char described[80];
    describeSource(source, described, sizeof described);
    if (added && line < 0 && sourceNamed(state->named, source)) {
        // A new line would come after it, and not be used.
        say(dialog, "The settings file has a line for ", described, " that is not used: mend or remove it by hand.");
        return;
    }
    if (added && at == kMaxBindings) {
        say(dialog, "There are 128 bindings already: remove one first.");
        return;
    }
    // An existing binding is selected with its new action; a new one is
    // not, so that the action chosen for the next Learn changes nothing.
    if (added) state->shown[state->shownCount++] = ShownBinding{Binding{source, 0}, line};
    state->shown[at].binding.action = static_cast<uint8_t>(action);
    showList(dialog, added ? -1 : static_cast<int32_t>(at));
    describeBinding(state->shown[at].binding, described, sizeof described);
    say(dialog, "Learned ", described, ".");
}

// ---- The other commands -------------------------------------------------------------------

// A binding chosen in the list shows its action; another action chosen for it
// replaces its own when it fits its source.
static void onSelection(WindowRef dialog, uint32_t controlId) {
    int32_t selected = platformListSelection(dialog, IDC_BINDING_LIST);
    if (selected < 0 || static_cast<uint32_t>(selected) >= state->shownCount) return;
    Binding& binding = state->shown[selected].binding;
    if (controlId == IDC_BINDING_LIST) {
        platformListSelect(dialog, IDC_BINDING_ACTION, static_cast<int32_t>(binding.action) - 1);
        return;
    }
    uint32_t action = chosenAction(dialog);
    if (!actionFits(action, binding.source.kind)) {
        say(dialog, bindingActionName(action), " needs ", sourcesForAction(action));
        return;
    }
    binding.action = static_cast<uint8_t>(action);
    showList(dialog, selected);
    say(dialog, "");
}

static void removeSelected(WindowRef dialog) {
    int32_t selected = platformListSelection(dialog, IDC_BINDING_LIST);
    if (selected < 0 || static_cast<uint32_t>(selected) >= state->shownCount) return;
    for (uint32_t i = static_cast<uint32_t>(selected); i + 1 < state->shownCount; ++i) state->shown[i] = state->shown[i + 1];
    --state->shownCount;
    showList(dialog, -1);
}

// Writes the section line by line: the lines of removed bindings deleted,
// changed ones rewritten under the key the file has, new ones added. False
// when a line could not be written; the table is the worker's either way.
static bool writeBindings() {
    bool saved = true;
    for (uint32_t line = 0; line < state->lineCount; ++line) {
        bool kept = false;
        for (uint32_t i = 0; i < state->shownCount && !kept; ++i) kept = state->shown[i].line == static_cast<int32_t>(line);
        if (!kept) saved = writeBindingLine(state->lines[line].key, nullptr) && saved;
    }
    for (uint32_t i = 0; i < state->shownCount; ++i) {
        const ShownBinding& shown = state->shown[i];
        char key[kBindingKeyCapacity];
        if (shown.line < 0) {
            formatBindingSource(shown.binding.source, key);
        } else if (state->lines[shown.line].binding.action != shown.binding.action) {
            key[0] = '\0';
            appendText(key, sizeof key, state->lines[shown.line].key);
        } else {
            continue;
        }
        saved = writeBindingLine(key, bindingActionName(shown.binding.action)) && saved;
    }
    // The worker takes what the file now says (a later line for a source
    // whose line went is used from now on), or, where it could not be
    // written, what the dialog holds.
    if (saved) {
        loadBindings();
    } else {
        Binding table[kMaxBindings];
        for (uint32_t i = 0; i < state->shownCount; ++i) table[i] = state->shown[i].binding;
        publishBindings(table, state->shownCount);
    }
    return saved;
}

static void closeBindings(WindowRef dialog, bool keep) {
    stopLearning();
    if (keep && !writeBindings()) platformMessageBox(dialog, "Could not save the settings");
    platformFree(state);
    state = nullptr;
    platformEndDialog(dialog);
}

static void onBindingsCommand(WindowRef dialog, uint32_t controlId, uint32_t notification) {
    if (state == nullptr) return;
    if (notification == kSelectionChanged && (controlId == IDC_BINDING_LIST || controlId == IDC_BINDING_ACTION)) {
        onSelection(dialog, controlId);
        return;
    }
    if (notification != kButtonClicked) return;
    switch (controlId) {
        case IDC_LEARN: learn(dialog); break;
        case IDC_REMOVE: removeSelected(dialog); break;
        case IDC_REMOVE_ALL:
            state->shownCount = 0;
            showList(dialog, -1);
            break;
        case kDialogOk: closeBindings(dialog, true); break;
        case kDialogCancel: closeBindings(dialog, false); break;
        default: break;
    }
}
