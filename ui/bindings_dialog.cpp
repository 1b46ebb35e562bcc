// bindings_dialog.cpp -- the Bindings dialog: the user's bindings in file
// order, the action each does, and Learn, which binds the next control the
// user touches on the device in use.
//
// The dialog edits the section's lines as they stand (core/bindings_section.h)
// and lists what the plug-in's own reader makes of them, so the list is
// exactly what acts after OK. Remove deletes a binding's own line, a new
// action rewrites its own line in place, Learn appends a line; every other
// line stays as it is. OK writes the section at once and the worker takes it;
// Cancel changes nothing, in the file or in the running plug-in.
//
// Sections: state; the list and the lines; why Learn cannot listen;
// initialisation; Learn; choosing and removing; OK, Cancel and quit.
#include <initializer_list>

#include "core/bindings_section.h"
#include "core/main_port.h"
#include "core/output_port.h"
#include "core/plugin.h"
#include "core/settings.h"
#include "core/text.h"
#include "midi/bindings.h"
#include "midi/outcome.h"
#include "platform/dialogs.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

// ---- State (exists while the dialog runs) -------------------------------------------

struct BindingsDialogState {
    SectionText section;              // the lines as they stand in the dialog
    BindingLine bound[kMaxBindings];  // what the reader makes of them
    uint32_t boundCount;
    bool learning;
    // Learning an endless knob: 1 while Learn waits for it turned to the
    // right, 2 for it turned to the left; 0 for any other control.
    uint32_t knobPhase;
    ShortMessage knobRight;  // the knob turned to the right
    int32_t picked;      // the binding the user selected in the list; -1 for none
    int32_t lightsAway;  // the Lights list's "NAME (not connected)" entry; -1 for none
};

// Allocated for the dialog's lifetime: a few kilobytes the module need not
// carry the rest of the time.
static BindingsDialogState* state = nullptr;
static WindowRef bindingsWindow = nullptr;  // while it runs

static void onBindingsInit(WindowRef dialog);
static void onBindingsCommand(WindowRef dialog, uint32_t controlId, uint32_t notification);
static void onBindingsNotify(WindowRef dialog);
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

// ---- The list and the lines ------------------------------------------------------------

// "Note 36 (C2), channel 10: Play/Pause", and the lights' values when the
// line gives its own: "... Play/Pause (lit 5, dark 1)".
static void describeBinding(const Binding& binding, char* out, size_t capacity) {
    char action[32];
    formatBindingAction(binding, action);
    describeSource(binding.source, out, capacity);
    appendText(out, capacity, ": ");
    appendText(out, capacity, action);
    bool elsewhere = binding.at.kind != kLightAtSource;
    if (binding.lit == 127 && binding.dark == 0 && !elsewhere) return;
    char lit[12], dark[12], at[64] = "";
    formatDecimal(binding.lit, lit);
    formatDecimal(binding.dark, dark);
    if (elsewhere) {
        appendText(at, sizeof at, ", at ");
        describeSource(BindingSource{binding.at.kind, binding.at.number, binding.at.channel}, at + 5, sizeof at - 5);
    }
    for (const char* piece : {" (lit ", static_cast<const char*>(lit), ", dark ", static_cast<const char*>(dark),
                              static_cast<const char*>(at), ")"}) {
        appendText(out, capacity, piece);
    }
}

// The status line, from up to five pieces of text.
static void say(WindowRef dialog, const char* a, const char* b = "", const char* c = "", const char* d = "",
                const char* e = "") {
    char text[640] = "";
    for (const char* piece : {a, b, c, d, e}) appendText(text, sizeof text, piece);
    platformSetItemText(dialog, IDC_BINDING_STATUS, text);
}

// Reads the lines again and lists their bindings, none selected.
static void showBindings(WindowRef dialog) {
    state->boundCount = readBindingLines(state->section.text, state->section.length, state->bound);
    state->picked = -1;
    platformListClear(dialog, IDC_BINDING_LIST);
    for (uint32_t i = 0; i < state->boundCount; ++i) {
        char text[80];
        describeBinding(state->bound[i].binding, text, sizeof text);
        platformListAdd(dialog, IDC_BINDING_LIST, text);
    }
    platformListSelect(dialog, IDC_BINDING_LIST, -1);
}

// The listed binding of the source; -1 for none.
static int32_t boundIndex(const BindingSource& source) {
    for (uint32_t i = 0; i < state->boundCount; ++i) {
        if (sameSource(state->bound[i].binding.source, source)) return static_cast<int32_t>(i);
    }
    return -1;
}

static uint32_t chosenAction(WindowRef dialog) {
    return static_cast<uint32_t>(platformListSelection(dialog, IDC_BINDING_ACTION) + 1);
}

// Rewrites the action of a binding's own line in place, as the binding has it
// now: only the action's words change, the key as the file has it and
// anything after the action stay.
static bool rewriteAction(uint32_t line, const Binding& binding) {
    uint32_t start = 0, end = 0;
    if (!sectionLine(state->section, line, &start, &end)) return false;
    const char* text = state->section.text;
    uint32_t from = start;
    while (from < end && text[from] != '=') ++from;
    ++from;
    while (from < end && (text[from] == ' ' || text[from] == '\t')) ++from;
    uint32_t to = from;
    while (to < end && text[to] != ',') ++to;
    while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t')) --to;
    char action[32];
    formatBindingAction(binding, action);
    return replaceSectionText(&state->section, from, to, action);
}

// ---- Why Learn cannot listen ----------------------------------------------------------

// What Learn listens to, or why it cannot: true, with the device's name, when
// the device in use is open; otherwise the reason and what to do, in words.
static bool learnSource(char* name, char* why, size_t capacity) {
    char chosen[kDeviceNameCapacity], current[kDeviceNameCapacity];
    bool unapplied = deviceChosenNotApplied(chosen);
    configuredDeviceName(name);
    why[0] = '\0';
    if (pluginSettings.midiDevice < 0) {
        if (unapplied) {
            appendText(why, capacity, chosen);
            appendText(why, capacity, " is chosen in the configuration dialog but not in use yet: press Apply "
                                      "there, then Learn.");
        } else {
            if (settingsUnread()) appendText(why, capacity, "Notewick could not read its settings file. ");
            appendText(why, capacity, "No MIDI device is in use: choose one in the configuration dialog and "
                                      "press Apply, then Learn.");
        }
        return false;
    }
    // The device watch leaves the port alone while the dialogs are open, so
    // an open port's device may have gone meanwhile.
    deviceName(static_cast<uint32_t>(pluginSettings.midiDevice), current);
    bool there = name[0] != '\0' && (textEquals(current, name) || findInputDevice(name, pluginSettings.midiDevice) >= 0);
    if (mainInputPort != nullptr && textEquals(current, name)) {
        if (unapplied) {
            appendText(why, capacity, " (");
            appendText(why, capacity, chosen);
            appendText(why, capacity, " is chosen in the configuration dialog but not applied yet: press Apply "
                                      "there to learn from it.)");
        }
        return true;
    }
    if (!there) {
        appendText(why, capacity, name[0] != '\0' ? name : "The device chosen");
        appendText(why, capacity, ", the device in use, is not connected: connect it, then press Apply in the "
                                  "configuration dialog to learn from it.");
    } else if (mainPortOpenFailed()) {
        appendText(why, capacity, "Notewick could not open ");
        appendText(why, capacity, name);
        appendText(why, capacity, ": another program may be using it. Close that program, then press Apply in "
                                  "the configuration dialog");
        if (unapplied) {
            appendText(why, capacity, ", or press Apply there now to use ");
            appendText(why, capacity, chosen);
        }
        appendText(why, capacity, ".");
    } else {
        appendText(why, capacity, "Notewick is not listening to ");
        appendText(why, capacity, name);
        appendText(why, capacity, ": press Apply in the configuration dialog, then Learn.");
    }
    return false;
}

// ---- The Lights list ------------------------------------------------------------------------

// OK takes the output chosen, by its name: the lights of the old one go dark.
// The output chosen before stays the one, open or not (away, held by another
// program, gone while the dialog was open), and is opened if it can be now.
// True when the choice changed, to be saved.
static bool takeLights(WindowRef dialog) {
    int32_t selected = platformListSelection(dialog, IDC_LIGHTS);
    char name[kDeviceNameCapacity] = "";
    if (selected > 0 && selected != state->lightsAway) platformListText(dialog, IDC_LIGHTS, selected, name, sizeof name);
    bool same = selected == state->lightsAway || (selected == 0 && pluginSettings.midiOutDevice < 0) ||
                (selected > 0 && pluginSettings.midiOutDevice >= 0 && textEquals(name, pluginSettings.midiOutDeviceName));
    if (selected < 0 || same) {
        reopenOutput();
        return false;
    }
    int32_t device = selected == 0 ? -1 : name[0] != '\0' ? findOutputDevice(name, selected - 1) : selected - 1;
    // An output gone since the list was filled is not chosen: the choice stays.
    if (selected > 0 && device < 0) {
        platformMessageBox(dialog, "Could not open MIDI output device");
        return false;
    }
    if (!chooseOutput(device)) platformMessageBox(dialog, "Could not open MIDI output device");
    return true;
}

// ---- Initialisation --------------------------------------------------------------------

static void onBindingsInit(WindowRef dialog) {
    state = static_cast<BindingsDialogState*>(platformAllocZeroed(sizeof(BindingsDialogState)));
    if (state != nullptr && !openBindingsSection(&state->section)) {
        platformFree(state);
        state = nullptr;
    }
    if (state == nullptr) {
        platformEndDialog(dialog);
        return;
    }
    bindingsWindow = dialog;
    for (uint32_t action = 1; action <= kActionCount; ++action) {
        platformListAdd(dialog, IDC_BINDING_ACTION, bindingActionName(action));
    }
    platformListSelect(dialog, IDC_BINDING_ACTION, 0);
    showBindings(dialog);
    state->lightsAway = fillDeviceList(dialog, IDC_LIGHTS, kOutputDevices, pluginSettings.midiOutDevice,
                                       pluginSettings.midiOutDeviceName);
    char lights[96];
    describeLights(lights, sizeof lights);
    startLiveLine(dialog, &bindingsLine, lights);
    char name[kDeviceNameCapacity], why[320];
    if (learnSource(name, why, sizeof why)) {
        say(dialog, "Choose an action, press Learn, then press a key or move a control on ", name, ".", why);
    } else {
        say(dialog, why);
    }
}

// ---- Learn -----------------------------------------------------------------------------

static void stopWaiting(WindowRef dialog, const char* why) {
    stopLearning();
    state->learning = false;
    say(dialog, why);
}

static void learn(WindowRef dialog) {
    if (state->learning) {
        stopWaiting(dialog, "Learn stopped: nothing was learned.");
        return;
    }
    char name[kDeviceNameCapacity], why[320];
    if (!learnSource(name, why, sizeof why)) {
        say(dialog, "Learn cannot listen. ", why);
        return;
    }
    // The action chosen is for the control Learn takes, not for a binding
    // selected before.
    state->picked = -1;
    platformListSelect(dialog, IDC_BINDING_LIST, -1);
    state->learning = true;
    startLearning(dialog);
    // An endless knob is learned from two turns: how it counts its steps.
    bool knob = platformIsChecked(dialog, IDC_ENDLESS) && actionFits(chosenAction(dialog), kFitEncoder);
    state->knobPhase = knob ? 1 : 0;
    if (knob) {
        say(dialog, "Turn the knob on ", name, " one step to the right. Esc, Enter or Learn again stops waiting.");
    } else {
        say(dialog, "Press a key or move a control on ", name, ". Esc, Enter or Learn again stops waiting.");
    }
}

// Why the line that names a source is not used, in words.
static void whyUnused(uint32_t line, char* out, size_t capacity) {
    uint32_t bounds[2] = {0, 0};
    out[0] = '\0';
    if (!sectionLine(state->section, line, &bounds[0], &bounds[1])) return;
    const char* text = state->section.text + bounds[0];
    uint32_t length = bounds[1] - bounds[0];
    ParsedLine parsed;
    parseSectionLine(text, text + length, &parsed);
    char quoted[72] = "";
    bool cut = length > sizeof quoted - 4;
    for (uint32_t i = 0; i < length && i < sizeof quoted - 4; ++i) quoted[i] = text[i];
    quoted[cut ? sizeof quoted - 4 : length] = '\0';
    if (cut) appendText(quoted, sizeof quoted, "...");
    char number[12], path[kSettingsPathCapacity];
    formatDecimal(static_cast<int32_t>(line) + 1, number);
    settingsFilePath(path);
    for (const char* piece : {"line ", static_cast<const char*>(number), " of the [Notewick Bindings] section of ",
                              static_cast<const char*>(path), ", \"", static_cast<const char*>(quoted),
                              "\", names it and is not used: "}) {
        appendText(out, capacity, piece);
    }
    if (parsed.binding.action == kActionNone) {
        appendText(out, capacity, "its action is not one Notewick knows");
    } else if (!parsed.lightsParse) {
        appendText(out, capacity, "what follows its action is not \", lit N, dark N\"");
    } else if (!parsed.fits) {
        appendText(out, capacity, bindingActionName(parsed.binding.action));
        appendText(out, capacity, " needs ");
        appendText(out, capacity, sourcesForAction(parsed.binding.action));
    } else {
        appendText(out, capacity, "it comes after the 128th binding");
    }
}

// A Learn that would not act after OK binds nothing: the status line says
// what was received and why, and the live line does not call it taken.
static void refuse(WindowRef dialog, ShortMessage message, const char* received, const char* a, const char* b = "",
                   const char* c = "") {
    markLearnRefused(message);
    char text[640] = "";
    for (const char* piece : {"Received ", received, a, b, c, " Learn stopped without binding it."}) {
        appendText(text, sizeof text, piece);
    }
    platformSetItemText(dialog, IDC_BINDING_STATUS, text);
}

// The endless knob's two turns: one step to the right, then one to the left,
// each a value an endless knob sends for one step (1, 63, 65 or 127). Learn
// refuses at the first value that is not, quoting what it received. After
// the turn to the right it waits for the same knob turned to the left,
// skipping further steps to the right and every other control, and the
// line says what it waits for; then the encoding the two values tell goes
// into `source`. False while Learn waits on, or when it refused the knob.
static bool learnKnob(WindowRef dialog, ShortMessage message, BindingSource* source, const char* described) {
    uint32_t value = messageData2(message);
    char values[80] = " = ", number[12];
    if (state->knobPhase == 1) {
        if (source->kind != kSourceController) {
            refuse(dialog, message, described, ". An endless knob sends controller messages: turn the knob itself.");
            return false;
        }
        if (!isOneStepValue(value)) {
            formatDecimal(static_cast<int32_t>(value), number);
            appendText(values, sizeof values, number);
            refuse(dialog, message, described, values,
                   ": not one step of an endless knob (one step either way sends 1, 63, 65 or 127). A knob with "
                   "stops binds as a controller: clear Endless knob.");
            return false;
        }
        state->knobRight = message;
        state->knobPhase = 2;
        state->learning = true;
        startLearning(dialog);
        say(dialog, "Now turn it one step to the left.");
        return false;
    }
    uint32_t right = messageData2(state->knobRight);
    bool same = (message & 0xFFFFu) == (state->knobRight & 0xFFFFu);
    if (!same || value == right) {
        markLearnSkipped(message);
        state->learning = true;
        startLearning(dialog);
        return false;
    }
    source->encoder = static_cast<uint8_t>(encoderFromTurns(right, value));
    if (source->encoder != kNotEncoder) return true;
    formatDecimal(static_cast<int32_t>(right), number);
    appendText(values, sizeof values, number);
    appendText(values, sizeof values, " to the right, then ");
    formatDecimal(static_cast<int32_t>(value), number);
    appendText(values, sizeof values, number);
    refuse(dialog, message, described, values,
           " to the left: not one step each way of an endless knob (1 then 127, 65 then 63, 1 then 65, or the "
           "other way round).");
    return false;
}

// The binding Learn makes: Play Entry takes the entry after the last one
// bound, so that pad after pad becomes a board of jingles.
static Binding learnedBinding(const BindingSource& source, uint32_t action) {
    Binding binding{source, static_cast<uint8_t>(action)};
    if (action != kActionPlayEntry) return binding;
    uint32_t last = 0;
    for (uint32_t i = 0; i < state->boundCount; ++i) {
        const Binding& other = state->bound[i].binding;
        if (other.action == kActionPlayEntry && other.entry > last && !sameSource(other.source, source)) last = other.entry;
    }
    binding.entry = static_cast<uint16_t>(last < 65535 ? last + 1 : last);
    return binding;
}

// "Encoder 16 Channel 1 Offset=Seek", as a new line has it.
static void bindingLine(const Binding& binding, char* line, size_t capacity) {
    char action[32];
    formatBindingSource(binding.source, line);
    formatBindingAction(binding, action);
    appendText(line, capacity, "=");
    appendText(line, capacity, action);
}

// Learn's message becomes the source of the chosen action: the binding the
// source has gets the action on its own line, or a new line binds it.
static void onBindingsNotify(WindowRef dialog) {
    ShortMessage message = takeLearnedMessage();
    BindingSource source;
    if (state == nullptr || !state->learning || message == 0 || !messageSource(message, &source)) return;
    stopLearning();
    state->learning = false;
    uint32_t action = chosenAction(dialog);
    char described[64];
    describeSource(source, described, sizeof described);
    if (state->knobPhase != 0 && !learnKnob(dialog, message, &source, described)) return;
    state->knobPhase = 0;
    describeSource(source, described, sizeof described);
    Binding learned = learnedBinding(source, action);
    if (!actionFits(action, fitKind(source))) {
        char needs[160] = " needs ";
        appendText(needs, sizeof needs, sourcesForAction(action));
        appendText(needs, sizeof needs, ".");
        // A knob learned as a plain controller: the box was not ticked.
        if (source.kind == kSourceController && actionFits(action, kFitEncoder)) {
            appendText(needs, sizeof needs, " Tick Endless knob, then Learn again.");
        }
        refuse(dialog, message, described, ". ", bindingActionName(action), needs);
        return;
    }
    int32_t at = boundIndex(source);
    if (at >= 0) {
        // A controller learned as an endless knob, or the other way round,
        // gets its own line written anew; otherwise only its action changes.
        char line[kBindingKeyCapacity + 32];
        bindingLine(learned, line, sizeof line);
        bool changed = state->bound[at].binding.source.encoder != source.encoder
                           ? replaceSectionLine(&state->section, state->bound[at].line, line)
                           : rewriteAction(state->bound[at].line, learned);
        if (!changed) {
            refuse(dialog, message, described, ", but the bindings section has no room left for the change.");
            return;
        }
    } else {
        int32_t named = firstLineNaming(state->section, source);
        if (named >= 0) {
            char why[640];
            whyUnused(static_cast<uint32_t>(named), why, sizeof why);
            refuse(dialog, message, described, ", but ", why, ". Mend or remove that line.");
            return;
        }
        // The reader judges the new line: past the 128th binding, or past the
        // part of the section that is read, it would not act after OK.
        uint32_t count = state->boundCount;
        char line[kBindingKeyCapacity + 32];
        bindingLine(learned, line, sizeof line);
        uint32_t added = 0;
        bool room = appendSectionLine(&state->section, line, &added);
        state->boundCount = readBindingLines(state->section.text, state->section.length, state->bound);
        // NOTE: the reader has just listed the lines anew, with the new one.
        bool acts = room && boundIndex(source) >= 0;
        if (!acts) {  // cppcheck-suppress knownConditionTrueFalse
            if (room) removeSectionLine(&state->section, added);
            state->boundCount = readBindingLines(state->section.text, state->section.length, state->bound);
            refuse(dialog, message, described,
                   count >= kMaxBindings ? ", but there are 128 bindings already, the most Notewick uses: remove one "
                                           "first."
                                         : ", but the bindings section is over 32 KB, and a line past that is not "
                                           "read: remove lines first.");
            return;
        }
    }
    showBindings(dialog);
    platformListScrollTo(dialog, IDC_BINDING_LIST, boundIndex(source));
    describeBinding(learned, described, sizeof described);
    say(dialog, "Learned ", described, ".");
}

// ---- Choosing and removing --------------------------------------------------------------

// What the next Learn binds, with the action and the Endless knob box as they
// are.
static void sayNextLearn(WindowRef dialog) {
    const char* action = bindingActionName(chosenAction(dialog));
    if (!platformIsChecked(dialog, IDC_ENDLESS)) {
        say(dialog, "Learn binds the control you touch next to ", action, ".");
    } else if (actionFits(chosenAction(dialog), kFitEncoder)) {
        say(dialog, "Learn binds the endless knob you turn next to ", action, ", from two turns.");
    } else {
        say(dialog, action, " takes no endless knob: Learn binds the control you touch next to it, as it is.");
    }
}

// A binding selected in the list shows its action; an action chosen while the
// user has one selected changes it, on its own line, when it fits its source.
static void onSelection(WindowRef dialog, uint32_t controlId) {
    char described[80];
    if (controlId == IDC_BINDING_LIST) {
        int32_t selected = platformListSelection(dialog, IDC_BINDING_LIST);
        state->picked = selected >= 0 && static_cast<uint32_t>(selected) < state->boundCount ? selected : -1;
        if (state->picked < 0) return;
        const Binding& binding = state->bound[state->picked].binding;
        platformListSelect(dialog, IDC_BINDING_ACTION, static_cast<int32_t>(binding.action) - 1);
        describeBinding(binding, described, sizeof described);
        say(dialog, described, ". Choose another action to change it; Esc selects nothing.");
        return;
    }
    uint32_t action = chosenAction(dialog);
    if (state->picked < 0) {
        sayNextLearn(dialog);
        return;
    }
    int32_t picked = state->picked;
    const BindingLine& line = state->bound[picked];
    describeSource(line.binding.source, described, sizeof described);
    if (!actionFits(action, fitKind(line.binding.source))) {
        say(dialog, bindingActionName(action), " needs ", sourcesForAction(action), ": ", described);
        return;
    }
    if (action == line.binding.action) return;
    Binding changed = line.binding;
    changed.action = static_cast<uint8_t>(action);
    changed.entry = learnedBinding(changed.source, action).entry;
    if (!rewriteAction(line.line, changed)) {
        say(dialog, "The bindings section has no room left for the change: remove lines first.");
        return;
    }
    showBindings(dialog);
    state->picked = picked;
    platformListSelect(dialog, IDC_BINDING_LIST, picked);
    char words[32];
    formatBindingAction(changed, words);
    say(dialog, described, " now: ", words);
}

static void removeSelected(WindowRef dialog) {
    if (state->picked < 0) {
        say(dialog, "Select the binding to remove first.");
        return;
    }
    Binding gone = state->bound[state->picked].binding;
    int32_t was = state->picked;
    removeSectionLine(&state->section, state->bound[state->picked].line);
    showBindings(dialog);
    // Nothing selected, the list keeps the keyboard, its caret where the
    // removed binding was: the arrow keys and Remove take the next one.
    platformFocusControl(dialog, IDC_BINDING_LIST);
    int32_t count = static_cast<int32_t>(state->boundCount);
    if (count > 0) platformListScrollTo(dialog, IDC_BINDING_LIST, was < count ? was : count - 1);
    char described[80], after[80];
    describeBinding(gone, described, sizeof described);
    int32_t next = boundIndex(gone.source);
    if (next < 0) {
        say(dialog, "Removed ", described, ".");
        return;
    }
    platformListScrollTo(dialog, IDC_BINDING_LIST, next);
    describeBinding(state->bound[next].binding, after, sizeof after);
    say(dialog, "Removed ", described, ". A later line for it now acts: ", after, ".");
}

// Every line that makes a binding goes, later lines for the same control and
// lines past the 128th binding or past the part read included, so that no
// binding acts after OK; lines that bind nothing stay.
static void removeAll(WindowRef dialog) {
    if (state->boundCount == 0) {
        say(dialog, "There are no bindings to remove.");
        return;
    }
    char count[12], question[200] = "Remove all ";
    formatDecimal(static_cast<int32_t>(state->boundCount), count);
    appendText(question, sizeof question, state->boundCount == 1 ? "1 binding" : count);
    appendText(question, sizeof question, state->boundCount == 1 ? "?" : " bindings?");
    appendText(question, sizeof question, " The lines that bind controls go when you press OK; lines that bind "
                                          "nothing stay.");
    bool sure = platformConfirm(dialog, "Remove All", question);
    if (state == nullptr) return;  // quit while the question was up
    if (!sure) {
        say(dialog, "Nothing was removed.");
        return;
    }
    uint32_t lines = 0, start = 0, end = 0;
    while (sectionLine(state->section, lines, &start, &end)) ++lines;
    for (uint32_t line = lines; line > 0; --line) {
        sectionLine(state->section, line - 1, &start, &end);
        ParsedLine parsed;
        parseSectionLine(state->section.text + start, state->section.text + end, &parsed);
        if (parsed.named && parsed.fits) removeSectionLine(&state->section, line - 1);
    }
    showBindings(dialog);
    say(dialog, "Removed every binding. OK keeps it so; Cancel keeps them all.");
}

// ---- OK, Cancel and quit ------------------------------------------------------------------

static void closeBindings(WindowRef dialog, bool keep) {
    stopLearning();
    // The old output's lights go dark with the bindings that lit them; then
    // the new bindings light the output chosen.
    bool lightsChosen = keep && takeLights(dialog);
    if (state == nullptr) return;  // quit while takeLights' message was up
    bool saved = !keep || commitBindingsSection(state->section);
    if (lightsChosen) saved = saveSettings() && saved;
    freeSection(&state->section);
    platformFree(state);
    state = nullptr;
    bindingsWindow = nullptr;
    if (!saved) platformMessageBox(dialog, "Could not save the settings");
    platformEndDialog(dialog);
}

WindowRef bindingsDialogWindow() { return bindingsWindow; }

void endBindingsDialog() {
    if (bindingsWindow != nullptr && state != nullptr) closeBindings(bindingsWindow, false);
}

static void onBindingsTimer(WindowRef dialog) {
    if (state == nullptr) return;
    char lights[96];
    describeLights(lights, sizeof lights);
    updateLiveLine(dialog, &bindingsLine, lights);
    // The device watch leaves the port alone while the dialogs are open: a
    // device that went away is seen here, and Learn stops waiting for it.
    if (!state->learning) return;
    char name[kDeviceNameCapacity], now[kDeviceNameCapacity];
    configuredDeviceName(name);
    deviceName(static_cast<uint32_t>(pluginSettings.midiDevice), now);
    if (!textEquals(name, now)) {
        stopLearning();
        state->learning = false;
        say(dialog, name, " went away, so Learn stopped. Connect it, then press Apply in the configuration dialog.");
    }
}

static void onBindingsCommand(WindowRef dialog, uint32_t controlId, uint32_t notification) {
    if (state == nullptr) return;
    if (notification == kSelectionChanged && (controlId == IDC_BINDING_LIST || controlId == IDC_BINDING_ACTION)) {
        onSelection(dialog, controlId);
        return;
    }
    bool closeBox = controlId == kDialogCancel && notification == kCloseBox;
    if (notification != kButtonClicked && !closeBox) return;
    // Enter and Esc while Learn waits stop waiting, and leave the dialog open;
    // Esc with a binding selected in the list selects nothing.
    if ((controlId == kDialogOk || controlId == kDialogCancel) && !closeBox) {
        if (state->learning) {
            stopWaiting(dialog, "Learn stopped: nothing was learned.");
            return;
        }
        if (controlId == kDialogCancel && state->picked >= 0 &&
            platformFocusedControl(dialog) == IDC_BINDING_LIST) {
            state->picked = -1;
            platformListSelect(dialog, IDC_BINDING_LIST, -1);
            say(dialog, "Nothing is selected: the action you choose is for the next Learn.");
            return;
        }
    }
    switch (controlId) {
        case IDC_LEARN: learn(dialog); break;
        case IDC_ENDLESS:
            if (!state->learning) sayNextLearn(dialog);
            break;
        case IDC_REMOVE: removeSelected(dialog); break;
        case IDC_REMOVE_ALL: removeAll(dialog); break;
        case kDialogOk: closeBindings(dialog, true); break;
        case kDialogCancel: closeBindings(dialog, false); break;
        default: break;
    }
}
