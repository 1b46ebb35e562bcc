// bindings_dialog_list.cpp -- the Bindings dialog's list of the shown
// device's bindings: each line as the reader makes it, a binding chosen and
// its action or gesture changed on its own line, Remove and Remove All, and
// OK, which merges each device's changes with the file as it is then and
// puts them into effect.
//
// Sections: the list and the lines; choosing and removing; OK, Cancel and quit.
#include <initializer_list>

#include "core/bindings_section.h"
#include "core/controllers.h"
#include "core/output_port.h"
#include "core/section_merge.h"
#include "core/settings.h"
#include "core/text.h"
#include "midi/bindings.h"
#include "platform/dialogs.h"
#include "ui/bindings_dialog.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

// ---- The list and the lines ------------------------------------------------------------

// "Note 36 (C2), channel 10: Play/Pause", and the lights' values when the
// line gives its own: "... Play/Pause (lit 5, dark 1)".
void describeBinding(const Binding& binding, char* out, size_t capacity) {
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

// Reads the lines again and lists their bindings, none selected.
void showBindings(WindowRef dialog) {
    bindingsState->boundCount = readBindingLines(shown().section.text, shown().section.length, bindingsState->bound);
    bindingsState->picked = -1;
    platformListClear(dialog, IDC_BINDING_LIST);
    for (uint32_t i = 0; i < bindingsState->boundCount; ++i) {
        char text[80];
        describeBinding(bindingsState->bound[i].binding, text, sizeof text);
        platformListAdd(dialog, IDC_BINDING_LIST, text);
    }
    platformListSelect(dialog, IDC_BINDING_LIST, -1);
}

// The listed binding of the source; -1 for none.
int32_t boundIndex(const BindingSource& source) {
    for (uint32_t i = 0; i < bindingsState->boundCount; ++i) {
        if (sameSource(bindingsState->bound[i].binding.source, source)) return static_cast<int32_t>(i);
    }
    return -1;
}

uint32_t chosenAction(WindowRef dialog) {
    return static_cast<uint32_t>(platformListSelection(dialog, IDC_BINDING_ACTION) + 1);
}

// The Gesture list: Press, Hold, Double press, as BindingGesture counts them.
uint32_t chosenGesture(WindowRef dialog) {
    int32_t selected = platformListSelection(dialog, IDC_GESTURE);
    return selected > 0 ? static_cast<uint32_t>(selected) : static_cast<uint32_t>(kGesturePress);
}

// Rewrites the action of a binding's own line in place, as the binding has it
// now: only the action's words change, the key as the file has it and
// anything after the action stay.
bool rewriteAction(uint32_t line, const Binding& binding) {
    uint32_t start = 0, end = 0;
    if (!sectionLine(shown().section, line, &start, &end)) return false;
    const char* text = shown().section.text;
    uint32_t from = start;
    while (from < end && text[from] != '=') ++from;
    ++from;
    while (from < end && (text[from] == ' ' || text[from] == '\t')) ++from;
    uint32_t to = from;
    while (to < end && text[to] != ',') ++to;
    while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t')) --to;
    char action[32];
    formatBindingAction(binding, action);
    return replaceSectionText(&shown().section, from, to, action);
}

// Rewrites the key of a binding's own line (its control, Shift and gesture)
// as the binding has it now; its value stays as the file has it.
static bool rewriteKey(uint32_t line, const Binding& binding) {
    uint32_t start = 0, end = 0;
    if (!sectionLine(shown().section, line, &start, &end)) return false;
    const char* text = shown().section.text;
    while (start < end && (text[start] == ' ' || text[start] == '\t')) ++start;
    uint32_t to = start;
    while (to < end && text[to] != '=') ++to;
    while (to > start && (text[to - 1] == ' ' || text[to - 1] == '\t')) --to;
    char key[kBindingKeyCapacity];
    formatBindingSource(binding.source, key);
    return replaceSectionText(&shown().section, start, to, key);
}

// ---- Choosing and removing --------------------------------------------------------------

// What the next Learn binds, with the action and the Endless knob box as they
// are.
void sayNextLearn(WindowRef dialog) {
    const char* action = bindingActionName(chosenAction(dialog));
    static const char* const gestures[] = {"", ", when held", ", when pressed twice"};
    if (!platformIsChecked(dialog, IDC_ENDLESS)) {
        say(dialog, "Learn binds the control you touch next to ", action, gestures[chosenGesture(dialog) % 3], ".");
    } else if (actionFits(chosenAction(dialog), kFitEncoder)) {
        say(dialog, "Learn binds the endless knob you turn next to ", action, ", from two turns.");
    } else {
        say(dialog, action, " takes no endless knob: Learn binds the control you touch next to it, as it is.");
    }
}

// A binding selected in the list shows its action; an action chosen while the
// user has one selected changes it, on its own line, when it fits its source.
void onSelection(WindowRef dialog, uint32_t controlId) {
    char described[80];
    if (controlId == IDC_BINDING_LIST) {
        int32_t selected = platformListSelection(dialog, IDC_BINDING_LIST);
        bindingsState->picked = selected >= 0 && static_cast<uint32_t>(selected) < bindingsState->boundCount ? selected : -1;
        if (bindingsState->picked < 0) return;
        const Binding& binding = bindingsState->bound[bindingsState->picked].binding;
        platformListSelect(dialog, IDC_BINDING_ACTION, static_cast<int32_t>(binding.action) - 1);
        platformListSelect(dialog, IDC_GESTURE, binding.source.gesture);
        describeBinding(binding, described, sizeof described);
        say(dialog, described, ". Choose another action or gesture to change it; Esc selects nothing.");
        return;
    }
    uint32_t action = chosenAction(dialog);
    if (bindingsState->picked < 0) {
        sayNextLearn(dialog);
        return;
    }
    int32_t picked = bindingsState->picked;
    const BindingLine& line = bindingsState->bound[picked];
    describeSource(line.binding.source, described, sizeof described);
    if (!actionFits(action, fitKind(line.binding.source))) {
        // The list shows the binding's action again: it is what acts.
        platformListSelect(dialog, IDC_BINDING_ACTION, static_cast<int32_t>(line.binding.action) - 1);
        say(dialog, bindingActionName(action), " needs ", sourcesForAction(action), ": ", described, " stays ",
            bindingActionName(line.binding.action), ".");
        return;
    }
    if (action == line.binding.action) return;
    Binding changed = line.binding;
    changed.action = static_cast<uint8_t>(action);
    changed.entry = learnedBinding(changed.source, action).entry;
    const char* refused = nullptr;
    if (!bindingFits(changed)) {
        refused = action == kActionShift ? ": a shift button is pressed, not held or pressed twice"
                                         : ": Hold and Double press go with a press action";
    } else if (action == kActionShift && shiftButtonIndex() >= 0 && shiftButtonIndex() != picked) {
        refused = ": the device has a shift button already";
    }
    if (refused != nullptr) {
        platformListSelect(dialog, IDC_BINDING_ACTION, static_cast<int32_t>(line.binding.action) - 1);
        say(dialog, described, refused, ". It stays ", bindingActionName(line.binding.action), ".");
        return;
    }
    if (!rewriteAction(line.line, changed)) {
        say(dialog, "The bindings section has no room left for the change: remove lines first.");
        return;
    }
    showBindings(dialog);
    bindingsState->picked = picked;
    platformListSelect(dialog, IDC_BINDING_LIST, picked);
    char words[32];
    formatBindingAction(changed, words);
    say(dialog, described, " now: ", words);
}

// The first line before `line` that names the source; -1 for none.
static int32_t namedBefore(const BindingSource& source, uint32_t line) {
    int32_t named = firstLineNaming(shown().section, source);
    return named >= 0 && static_cast<uint32_t>(named) < line ? named : -1;
}

// A gesture chosen while the user has a binding selected changes the
// binding's, on its own line, when the binding takes it and no other line
// binds the control with that gesture; otherwise the list shows the
// binding's gesture again.
void onGestureChosen(WindowRef dialog) {
    if (bindingsState->picked < 0) {
        if (!bindingsState->learning) sayNextLearn(dialog);
        return;
    }
    int32_t picked = bindingsState->picked;
    const BindingLine& line = bindingsState->bound[picked];
    Binding changed = line.binding;
    changed.source.gesture = static_cast<uint8_t>(chosenGesture(dialog));
    if (changed.source.gesture == line.binding.source.gesture) return;
    char was[80], now[80];
    describeSource(line.binding.source, was, sizeof was);
    describeSource(changed.source, now, sizeof now);
    const char* refused = nullptr;
    if (!bindingFits(changed)) {
        refused = line.binding.action == kActionShift ? ": a shift button is pressed, not held or pressed twice."
                                                      : ": Hold and Double press go with a note or a controller "
                                                        "bound to a press action.";
    } else if (boundIndex(changed.source) >= 0) {
        refused = " is bound already: remove that binding first.";
    } else if (namedBefore(changed.source, line.line) >= 0) {
        // An earlier line that is not used names it: the line would not be
        // used either.
        char why[640] = "";
        describeUnusedLine(shown().section, bindingsState->device,
                           static_cast<uint32_t>(namedBefore(changed.source, line.line)), true, why, sizeof why);
        platformListSelect(dialog, IDC_GESTURE, line.binding.source.gesture);
        say(dialog, now, ": ", why, ". Mend or remove that line.");
        return;
    } else if (!rewriteKey(line.line, changed)) {
        refused = ": the bindings section has no room left for the change.";
    }
    if (refused != nullptr) {
        platformListSelect(dialog, IDC_GESTURE, line.binding.source.gesture);
        say(dialog, refused[0] == ' ' ? now : was, refused);
        return;
    }
    showBindings(dialog);
    int32_t at = boundIndex(changed.source);
    bindingsState->picked = at;
    platformListSelect(dialog, IDC_BINDING_LIST, at);
    say(dialog, was, " now: ", now, ".");
}

void removeSelected(WindowRef dialog) {
    if (bindingsState->picked < 0) {
        say(dialog, "Select the binding to remove first.");
        return;
    }
    Binding gone = bindingsState->bound[bindingsState->picked].binding;
    int32_t was = bindingsState->picked;
    removeSectionLine(&shown().section, bindingsState->bound[bindingsState->picked].line);
    showBindings(dialog);
    // Nothing selected, the list keeps the keyboard, its caret where the
    // removed binding was: the arrow keys and Remove take the next one.
    platformFocusControl(dialog, IDC_BINDING_LIST);
    int32_t count = static_cast<int32_t>(bindingsState->boundCount);
    if (count > 0) platformListScrollTo(dialog, IDC_BINDING_LIST, was < count ? was : count - 1);
    char described[80], after[80];
    describeBinding(gone, described, sizeof described);
    int32_t next = boundIndex(gone.source);
    if (next < 0) {
        say(dialog, "Removed ", described, ".");
        return;
    }
    platformListScrollTo(dialog, IDC_BINDING_LIST, next);
    describeBinding(bindingsState->bound[next].binding, after, sizeof after);
    say(dialog, "Removed ", described, ". A later line for it now acts: ", after, ".");
}

// Every line that makes a binding goes, later lines for the same control and
// lines past the 128th binding or past the part read included, so that no
// binding acts after OK; lines that bind nothing stay.
void removeAll(WindowRef dialog) {
    if (bindingsState->boundCount == 0) {
        say(dialog, "There are no bindings to remove.");
        return;
    }
    char count[12], question[200] = "Remove all ";
    formatDecimal(static_cast<int32_t>(bindingsState->boundCount), count);
    appendText(question, sizeof question, bindingsState->boundCount == 1 ? "1 binding" : count);
    appendText(question, sizeof question, bindingsState->boundCount == 1 ? "?" : " bindings?");
    appendText(question, sizeof question, " The lines that bind controls go when you press OK; lines that bind "
                                          "nothing stay.");
    if (!confirm(dialog, "Remove All", question, "Nothing was removed.")) return;
    uint32_t lines = 0, start = 0, end = 0;
    while (sectionLine(shown().section, lines, &start, &end)) ++lines;
    for (uint32_t line = lines; line > 0; --line) {
        sectionLine(shown().section, line - 1, &start, &end);
        ParsedLine parsed;
        parseSectionLine(shown().section.text + start, shown().section.text + end, &parsed);
        if (parsed.named && parsed.fits) removeSectionLine(&shown().section, line - 1);
    }
    showBindings(dialog);
    say(dialog, "Removed every binding. OK removes them from the settings; Cancel keeps them all as they were.");
}

// ---- OK, Cancel and quit ------------------------------------------------------------------

// Each device the user changed: its section as the file has it now with the
// user's changes on top (core/section_merge.h). False, with `merged` empty,
// for a device the user did not change. *conflicts counts the controls the
// file changed too; the first in `first`.
static bool mergedSection(uint32_t device, SectionText* merged, uint32_t* conflicts, char* first, size_t capacity) {
    const DeviceEdit& edit = bindingsState->devices[device];
    *merged = SectionText{nullptr, 0, 0};
    *conflicts = 0;
    if (!edit.shown || edit.removed) return false;
    bool changed = edit.section.length != edit.base.length;
    for (uint32_t i = 0; !changed && i < edit.section.length; ++i) changed = edit.section.text[i] != edit.base.text[i];
    if (!changed && !edit.added) return false;
    SectionText file = {nullptr, 0, 0};
    // A file that cannot be read now: the dialog's lines, as before.
    if (!readFileSection(device, &file)) return copySection(edit.section, 0, merged);
    bool ok = mergeSection(edit.base, edit.section, file, merged, conflicts, first, capacity);
    freeSection(&file);
    return ok;
}

// OK: each device's changes merged with what the file has now. Where the
// file changed a control the user changed too, the dialog first shows the
// merged bindings and says so, and the next OK takes them. Then every
// section is written and takes effect, controllers removed go, and the
// lights follow.
void closeBindings(WindowRef dialog, bool keep) {
    stopLearning();
    bindingsState->learning = false;
    bool saved = true;
    if (keep) {
        SectionText merged[kMaxDevices] = {};
        bool changed[kMaxDevices] = {};
        uint32_t conflicts = 0, clashes = 0;
        char first[80] = "", clash[80] = "";
        for (uint32_t device = 0; device < kMaxDevices; ++device) {
            changed[device] = mergedSection(device, &merged[device], &clashes, clash, sizeof clash);
            if (clashes != 0 && conflicts == 0) appendText(first, sizeof first, clash);
            conflicts += clashes;
        }
        if (conflicts != 0 && !bindingsState->mergeShown) {
            // The sections as OK would write them, from the file's as they
            // are now: shown, for the next OK.
            for (uint32_t device = 0; device < kMaxDevices; ++device) {
                if (!changed[device]) continue;
                DeviceEdit& edit = bindingsState->devices[device];
                freeSection(&edit.section);
                edit.section = merged[device];
                freeSection(&edit.base);
                readFileSection(device, &edit.base);
            }
            bindingsState->mergeShown = true;
            showDevice(dialog, bindingsState->device);
            char count[12];
            formatDecimal(static_cast<int32_t>(conflicts), count);
            say(dialog, "plugin.ini was edited while this dialog was open. Its changes are kept; where it changed a "
                        "control you changed too (", first, conflicts == 1 ? "" : " and others",
                        "), yours win. Press OK to save this, or Cancel.");
            return;
        }
        // The old output's lights go dark with the bindings that lit them;
        // then the new bindings light the output chosen.
        bool lightsChosen = takeLights(dialog);
        if (bindingsState == nullptr) {  // quit while takeLights' message was up
            for (SectionText& section : merged) freeSection(&section);
            return;
        }
        for (uint32_t device = 0; device < kMaxDevices; ++device) {
            DeviceEdit& edit = bindingsState->devices[device];
            if (edit.removed && !edit.added) saved = removeController(device) && saved;
            if (!changed[device]) {
                // A section the user did not change acts as the file has it
                // now, hand edits and sections added by hand included.
                if (edit.removed) continue;
                takeFileEdits(device);
                if (controllerInUse(device)) reopenOutput(device, false);
                continue;
            }
            if (device != kConfiguredDevice) {
                // An output the controller no longer uses goes dark with the
                // bindings that lit it, before the new ones take effect.
                char output[kDeviceNameCapacity + 1] = "", inEffect[kDeviceNameCapacity];
                sectionValue(merged[device], "Output", output, sizeof output);
                chosenOutputName(device, inEffect);
                if (!textEquals(output, inEffect)) closeOutput(device);
            }
            char setupBefore[kSetupTextCapacity] = "", setupAfter[kSetupTextCapacity] = "";
            sectionValue(sectionInEffect(device), "Setup", setupBefore, sizeof setupBefore);
            sectionValue(merged[device], "Setup", setupAfter, sizeof setupAfter);
            if (!textEquals(setupBefore, setupAfter)) holdLightsForSetup(device);
            saved = commitBindingsSection(merged[device], device) && saved;
            freeSection(&merged[device]);
            sectionValue(sectionInEffect(device), "Setup", setupAfter, sizeof setupAfter);
            // Set-up messages that changed (a map used) are sent, then every
            // light, unless its output has just opened with them; otherwise
            // the worker sends only the lights that change.
            bool opened = applyControllerSection(device);
            if (!opened) reopenOutput(device, !textEquals(setupBefore, setupAfter));
            if (device != kConfiguredDevice && edit.lights[0] != '\0' && !outputIsOpen(device)) {
                outputNotOpened(dialog, edit.lights);
                if (bindingsState == nullptr) {  // quit while the box was up
                    for (SectionText& section : merged) freeSection(&section);
                    return;
                }
            }
        }
        if (lightsChosen) saved = saveSettings() && saved;
    }
    freeState();
    if (!saved) platformMessageBox(dialog, "Could not save the settings");
    platformEndDialog(dialog);
}
