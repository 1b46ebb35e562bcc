// bindings_dialog_learn.cpp -- Learn in the Bindings dialog: what it
// listens to or why it cannot, waiting for the next control the user touches
// on the shown device (an endless knob from two turns), and the binding that
// control gets: its own line changed, or a new line.
//
// Sections: why Learn cannot listen; Learn.
#include <initializer_list>

#include "core/bindings_section.h"
#include "core/controllers.h"
#include "core/main_port.h"
#include "core/plugin.h"
#include "core/settings.h"
#include "core/text.h"
#include "midi/bindings.h"
#include "midi/gestures.h"
#include "midi/outcome.h"
#include "midi/ports.h"
#include "platform/dialogs.h"
#include "ui/bindings_dialog.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

// ---- Why Learn cannot listen ----------------------------------------------------------

// The configuration dialog sits under this modal one: its Apply is pressed
// once this one is closed.
const char kApplyUnder[] = " close this dialog (OK keeps your changes), press Apply in the configuration dialog, "
                           "then open Bindings again.";

// What Learn listens to, or why it cannot: true, with the device's name, when
// the shown device's input is open; otherwise the reason and what to do, in
// words.
bool learnSource(char* name, char* why, size_t capacity) {
    why[0] = '\0';
    uint32_t device = bindingsState->device;
    if (device != kConfiguredDevice) {
        editName(device, name);
        if (shown().added || !controllerInUse(device)) {
            appendText(why, capacity, name);
            appendText(why, capacity, " listens from OK on: press OK, then open Bindings again to learn from it.");
            return false;
        }
        if (controllerInputOpen(device)) return true;
        appendText(why, capacity, name);
        appendText(why, capacity, editConnected(device) ? " is connected but Notewick could not open it: another "
                                                          "program may be using it. It opens as soon as it is free."
                                                        : " is not connected: connect it to learn from it.");
        return false;
    }
    char chosen[kDeviceNameCapacity], current[kDeviceNameCapacity];
    bool unapplied = deviceChosenNotApplied(chosen);
    configuredDeviceName(name);
    if (pluginSettings.midiDevice < 0) {
        if (unapplied) {
            appendText(why, capacity, chosen);
            appendText(why, capacity, " is chosen in the configuration dialog but not in use yet:");
            appendText(why, capacity, kApplyUnder);
        } else {
            if (settingsUnread()) appendText(why, capacity, "Notewick could not read its settings file. ");
            appendText(why, capacity, "No MIDI device is in use: choose one in the configuration dialog. To "
                                      "learn from it, close this dialog (OK keeps your changes), press Apply in "
                                      "the configuration dialog, then open Bindings again.");
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
            appendText(why, capacity, " is chosen in the configuration dialog but not applied yet: to learn from "
                                      "it, close this dialog, press Apply there, then open Bindings again.)");
        }
        return true;
    }
    if (!there) {
        appendText(why, capacity, name[0] != '\0' ? name : "The device chosen");
        appendText(why, capacity, ", the device in use, is not connected: connect it. To learn from it then,");
        appendText(why, capacity, kApplyUnder);
    } else if (mainPortOpenFailed()) {
        appendText(why, capacity, "Notewick could not open ");
        appendText(why, capacity, name);
        appendText(why, capacity, ": another program may be using it. Close that program; then,");
        appendText(why, capacity, kApplyUnder);
        if (unapplied) {
            appendText(why, capacity, " Apply there uses ");
            appendText(why, capacity, chosen);
            appendText(why, capacity, ", chosen there.");
        }
    } else {
        appendText(why, capacity, "Notewick is not listening to ");
        appendText(why, capacity, name);
        appendText(why, capacity, ". To learn from it,");
        appendText(why, capacity, kApplyUnder);
    }
    return false;
}

// ---- Learn -----------------------------------------------------------------------------

void stopWaiting(WindowRef dialog, const char* why) {
    stopLearning();
    bindingsState->learning = false;
    say(dialog, why);
}

void learn(WindowRef dialog) {
    if (bindingsState->learning) {
        stopWaiting(dialog, "Learn stopped: nothing was learned.");
        return;
    }
    char name[kDeviceNameCapacity], why[512];
    if (!learnSource(name, why, sizeof why)) {
        say(dialog, "Learn cannot listen. ", why);
        return;
    }
    // The action chosen is for the control Learn takes, not for a binding
    // selected before.
    bindingsState->picked = -1;
    platformListSelect(dialog, IDC_BINDING_LIST, -1);
    bindingsState->learning = true;
    bindingsState->shiftDown = false;
    startLearning(dialog, bindingsState->device);
    // An endless knob is learned from two turns: how it counts its steps.
    bool knob = platformIsChecked(dialog, IDC_ENDLESS) && actionFits(chosenAction(dialog), kFitEncoder);
    bindingsState->knobPhase = knob ? 1 : 0;
    if (knob) {
        say(dialog, "Turn the knob on ", name, " one step to the right. Esc, Enter or Learn again stops waiting.");
    } else {
        say(dialog, "Press a key or move a control on ", name, ". Esc, Enter or Learn again stops waiting.");
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
    if (bindingsState->knobPhase == 1) {
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
        bindingsState->knobRight = message;
        bindingsState->knobPhase = 2;
        bindingsState->learning = true;
        startLearning(dialog, bindingsState->device);
        say(dialog, "Now turn it one step to the left.");
        return false;
    }
    uint32_t right = messageData2(bindingsState->knobRight);
    bool same = (message & 0xFFFFu) == (bindingsState->knobRight & 0xFFFFu);
    if (!same || value == right) {
        markLearnSkipped(message);
        bindingsState->learning = true;
        startLearning(dialog, bindingsState->device);
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

// The listed binding that is the device's shift button; -1 for none.
int32_t shiftButtonIndex() {
    for (uint32_t i = 0; i < bindingsState->boundCount; ++i) {
        if (bindingsState->bound[i].binding.action == kActionShift) return static_cast<int32_t>(i);
    }
    return -1;
}

// Whether the message is a press or a release of the listed shift button:
// *pressed says which.
static bool shiftButtonMessage(ShortMessage message, bool* pressed) {
    int32_t shift = shiftButtonIndex();
    if (shift < 0) return false;
    const BindingSource& button = bindingsState->bound[shift].binding.source;
    uint32_t status = messageStatus(message), kind = status & 0xF0;
    if ((status & 0x0F) != button.channel || messageData1(message) != button.number) return false;
    if (button.kind == kSourceNote && (kind == 0x90 || kind == 0x80)) {
        *pressed = kind == 0x90 && messageData2(message) != 0;
        return true;
    }
    *pressed = messageData2(message) >= 64;
    return button.kind == kSourceController && kind == 0xB0;
}

// The shift button as the dialog lists it, pressed or let go while Learn
// waits: Learn waits on, and a control touched while it is held becomes a
// Shift line. The worker marks shifted messages only for the shift button in
// effect, and one learned since OK is not yet. False for any other message.
static bool followShift(WindowRef dialog, ShortMessage message, uint32_t action) {
    bool pressed = false;
    if (action == kActionShift || !shiftButtonMessage(message & 0xFFFFFFu, &pressed)) return false;
    markLearnShift(message, pressed);
    bindingsState->shiftDown = pressed;
    bindingsState->learning = true;
    bool note = (messageStatus(message) & 0xF0) == 0x90;
    startLearning(dialog, bindingsState->device, pressed && note ? message : 0);
    char button[64];
    describeSource(bindingsState->bound[shiftButtonIndex()].binding.source, button, sizeof button);
    if (pressed) {
        say(dialog, "Shift (", button, ") held: now press or move the control to bind with Shift.");
    } else {
        say(dialog, "Shift (", button, ") let go: press a key or move a control. Esc, Enter or Learn again stops "
                    "waiting.");
    }
    return true;
}

// The binding Learn makes: Play Entry takes the entry after the last one
// bound, so that pad after pad becomes a board of jingles.
Binding learnedBinding(const BindingSource& source, uint32_t action) {
    Binding binding{source, static_cast<uint8_t>(action)};
    if (action != kActionPlayEntry) return binding;
    uint32_t last = 0;
    for (uint32_t i = 0; i < bindingsState->boundCount; ++i) {
        const Binding& other = bindingsState->bound[i].binding;
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
void onBindingsNotify(WindowRef dialog) {
    ShortMessage message = takeLearnedMessage();
    BindingSource source;
    if (bindingsState == nullptr || !bindingsState->learning || message == 0) return;
    stopLearning();
    bindingsState->learning = false;
    uint32_t action = chosenAction(dialog);
    if (followShift(dialog, message, action)) return;
    if (!messageSource(message, &source)) {  // a release of a shift button no longer listed
        bindingsState->learning = true;
        startLearning(dialog, bindingsState->device);
        return;
    }
    char described[64];
    describeSource(source, described, sizeof described);
    if (bindingsState->knobPhase != 0 && !learnKnob(dialog, message, &source, described)) return;
    bindingsState->knobPhase = 0;
    // A control learned while the device's shift button is held becomes a
    // Shift line; the Gesture list says whether it is pressed, held or
    // pressed twice.
    bool shifted = bindingsState->shiftDown || ((message & kShiftFlag) != 0 && shiftButtonIndex() >= 0);
    source.shift = shifted && action != kActionShift ? 1 : 0;
    source.gesture = static_cast<uint8_t>(chosenGesture(dialog));
    describeSource(source, described, sizeof described);
    Binding learned = learnedBinding(source, action);
    if (actionFits(action, fitKind(source)) && !bindingFits(learned)) {
        refuse(dialog, message, described, ". ", action == kActionShift ? "A shift button is pressed, not held or "
                                                                           "pressed twice: choose Press."
                                                                         : "Hold and Double press go with a note or a "
                                                                           "controller bound to a press action.");
        return;
    }
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
    int32_t shift = action == kActionShift ? shiftButtonIndex() : -1;
    if (shift >= 0 && shift != at) {
        char button[64];
        describeSource(bindingsState->bound[shift].binding.source, button, sizeof button);
        refuse(dialog, message, described, ". A device has one shift button, and ", button,
               " is it: remove it first.");
        return;
    }
    if (at >= 0) {
        // A controller learned as an endless knob, or the other way round,
        // gets its own line written anew; otherwise only its action changes.
        char line[kBindingKeyCapacity + 32];
        bindingLine(learned, line, sizeof line);
        bool changed = bindingsState->bound[at].binding.source.encoder != source.encoder
                           ? replaceSectionLine(&shown().section, bindingsState->bound[at].line, line)
                           : rewriteAction(bindingsState->bound[at].line, learned);
        if (!changed) {
            refuse(dialog, message, described, ", but the bindings section has no room left for the change.");
            return;
        }
    } else {
        int32_t named = firstLineNaming(shown().section, source);
        if (named >= 0) {
            char why[640] = "";
            describeUnusedLine(shown().section, bindingsState->device, static_cast<uint32_t>(named), true, why, sizeof why);
            refuse(dialog, message, described, ", but ", why, ". Mend or remove that line.");
            return;
        }
        // The reader judges the new line: past the 128th binding, or past the
        // part of the section that is read, it would not act after OK.
        uint32_t count = bindingsState->boundCount;
        char line[kBindingKeyCapacity + 32];
        bindingLine(learned, line, sizeof line);
        uint32_t added = 0;
        bool room = appendSectionLine(&shown().section, line, &added);
        bindingsState->boundCount = readBindingLines(shown().section.text, shown().section.length, bindingsState->bound);
        // NOTE: the reader has just listed the lines anew, with the new one.
        bool acts = room && boundIndex(source) >= 0;
        if (!acts) {  // cppcheck-suppress knownConditionTrueFalse
            if (room) removeSectionLine(&shown().section, added);
            bindingsState->boundCount = readBindingLines(shown().section.text, shown().section.length, bindingsState->bound);
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
