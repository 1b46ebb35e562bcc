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
// Sections: state; the list and the lines; the controllers; why Learn cannot
// listen; the Lights list; maps; initialisation; Learn; choosing and
// removing; OK, Cancel and quit.
#include <initializer_list>

#include "core/bindings_section.h"
#include "core/controllers.h"
#include "core/main_port.h"
#include "core/maps.h"
#include "core/output_port.h"
#include "core/plugin.h"
#include "core/section_merge.h"
#include "core/settings.h"
#include "core/text.h"
#include "midi/bindings.h"
#include "midi/gestures.h"
#include "midi/lights.h"
#include "midi/outcome.h"
#include "midi/ports.h"
#include "platform/dialogs.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

// ---- State (exists while the dialog runs) -------------------------------------------

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
    int32_t picked;      // the binding the user selected in the list; -1 for none
    int32_t lightsAway;  // the Lights list's "NAME (not connected)" entry; -1 for none
    bool mergeShown;     // OK showed what the file's changes meanwhile made of the sections
    MapEntry maps[kMaxMaps];
    uint32_t mapCount;
    int32_t offered;  // the map offered for the shown device; -1 for none
};

// Allocated for the dialog's lifetime: the module need not carry it the rest
// of the time.
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

// The shown device's edit.
static DeviceEdit& shown() { return state->devices[state->device]; }

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
                const char* e = "", const char* f = "", const char* g = "", const char* h = "") {
    char text[640] = "";
    for (const char* piece : {a, b, c, d, e, f, g, h}) appendText(text, sizeof text, piece);
    platformSetItemText(dialog, IDC_BINDING_STATUS, text);
}

// Asks with an OK/Cancel box: true for OK; for Cancel the status line says
// `declined`; false with nothing more when the player quit meanwhile.
static bool confirm(WindowRef dialog, const char* caption, const char* question, const char* declined) {
    bool sure = platformConfirm(dialog, caption, question);
    if (state == nullptr) return false;
    if (!sure) say(dialog, declined);
    return sure;
}

// A new output chosen that cannot be opened: the box names it, and says
// whether it is away or held by another program.
static void outputNotOpened(WindowRef dialog, const char* name) {
    char text[200] = "Could not open MIDI output device \"";
    bool connected = findOutputDevice(name, -1) >= 0;
    for (const char* piece : {name, connected ? "\" now: another program may be using it. It stays chosen, and its "
                                                "lights start as soon as it is free."
                                              : "\": it is not connected. It stays chosen, and its lights start when "
                                                "it is."}) {
        appendText(text, sizeof text, piece);
    }
    platformMessageBox(dialog, text);
}

// Reads the lines again and lists their bindings, none selected.
static void showBindings(WindowRef dialog) {
    state->boundCount = readBindingLines(shown().section.text, shown().section.length, state->bound);
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

// The Gesture list: Press, Hold, Double press, as BindingGesture counts them.
static uint32_t chosenGesture(WindowRef dialog) {
    int32_t selected = platformListSelection(dialog, IDC_GESTURE);
    return selected > 0 ? static_cast<uint32_t>(selected) : static_cast<uint32_t>(kGesturePress);
}

// Rewrites the action of a binding's own line in place, as the binding has it
// now: only the action's words change, the key as the file has it and
// anything after the action stay.
static bool rewriteAction(uint32_t line, const Binding& binding) {
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

// ---- The controllers -------------------------------------------------------------------

// The device's name as the dialog shows it: "USB MIDI Keyboard", "APC mini
// mk2"; for a controller added or in use, its section's Input.
static void editName(uint32_t device, char* name) {
    name[0] = '\0';
    if (device == kConfiguredDevice) {
        configuredDeviceName(name);
        return;
    }
    char input[kDeviceNameCapacity + 1] = "";
    sectionValue(state->devices[device].section, "Input", input, sizeof input);
    appendText(name, kDeviceNameCapacity, input);
}

// Whether the device's input is connected now.
static bool editConnected(uint32_t device) {
    char name[kDeviceNameCapacity];
    editName(device, name);
    if (device == kConfiguredDevice && pluginSettings.midiDevice < 0) return false;
    return name[0] != '\0' && findInputDevice(name, device == kConfiguredDevice ? pluginSettings.midiDevice : -1) >= 0;
}

// Fills the Controller list: the configured device, each controller by name
// ("(not connected)" when it is away), then "Add a controller...", and
// selects the shown device.
static void fillControllers(WindowRef dialog) {
    platformListClear(dialog, IDC_CONTROLLER);
    state->entryCount = 0;
    int32_t selected = 0;
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        const DeviceEdit& edit = state->devices[device];
        if (!edit.shown || edit.removed) continue;
        char name[kDeviceNameCapacity], entry[kDeviceNameCapacity + 48];
        editName(device, name);
        entry[0] = '\0';
        appendText(entry, sizeof entry, name[0] != '\0' ? name : device == kConfiguredDevice ? "No MIDI device in use"
                                                                                          : "A controller with no Input");
        if (name[0] != '\0' && !editConnected(device)) appendText(entry, sizeof entry, " (not connected)");
        if (device == state->device) selected = static_cast<int32_t>(state->entryCount);
        state->entries[state->entryCount++] = static_cast<int32_t>(device);
        platformListAdd(dialog, IDC_CONTROLLER, entry);
    }
    state->entries[state->entryCount++] = kAddEntry;
    platformListAdd(dialog, IDC_CONTROLLER, "Add a controller...");
    platformListSelect(dialog, IDC_CONTROLLER, selected);
    platformListFitDropDown(dialog, IDC_CONTROLLER);
    platformEnableItem(dialog, IDC_REMOVE_CONTROLLER, state->device != kConfiguredDevice);
}

static void showDevice(WindowRef dialog, uint32_t device);
static void offerMap(WindowRef dialog);
static void fillLights(WindowRef dialog);

// A number for a controller added now: one no controller has, in use, added
// or removed in this dialog (its section goes at OK); 0 when all eight are taken.
static uint32_t freeNumber() {
    for (uint32_t device = 1; device < kMaxDevices; ++device) {
        const DeviceEdit& edit = state->devices[device];
        if (edit.shown || edit.removed || controllerInUse(device)) continue;
        // A section written into the file by hand since it was read stays
        // that device's.
        SectionText file = {nullptr, 0, 0};
        bool inFile = readFileSection(device, &file) && file.length > 0;
        freeSection(&file);
        if (!inFile) return device;
    }
    return 0;
}

// Whether a shown device has the input of that name.
static bool inputInUse(const char* name) {
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        char other[kDeviceNameCapacity];
        if (!state->devices[device].shown || state->devices[device].removed) continue;
        editName(device, other);
        if (textEquals(other, name)) return true;
    }
    return false;
}

// "Add a controller...": the connected inputs no device uses yet; the one
// picked becomes a controller, with the output of the same name for its
// lights when there is one. It is opened at OK.
static void addController(WindowRef dialog) {
    uint32_t device = freeNumber();
    if (device == 0) {
        say(dialog, "There are 8 controllers already, the most Notewick takes: remove one first.");
        fillControllers(dialog);
        return;
    }
    static char names[kMaxDevices * 4][kDeviceNameCapacity];
    const char* entries[kMaxDevices * 4];
    uint32_t count = 0, inputs = countInputDevices();
    for (uint32_t i = 0; i < inputs && count < kMaxDevices * 4; ++i) {
        deviceName(i, names[count]);
        if (names[count][0] != '\0' && !inputInUse(names[count])) {
            entries[count] = names[count];
            ++count;
        }
    }
    if (count == 0) {
        say(dialog, "Every connected MIDI input is in use already: connect the controller, then Add a controller.");
        fillControllers(dialog);
        return;
    }
    int32_t picked = runPickDialog(dialog, "Add this MIDI input as a controller, with its own bindings and lights:",
                                   entries, count);
    if (state == nullptr) return;  // quit while it was up
    if (picked < 0) {
        fillControllers(dialog);
        return;
    }
    DeviceEdit& edit = state->devices[device];
    edit = DeviceEdit{true, true, false, {nullptr, 0, 0}, {nullptr, 0, 0}, "", -1};
    SectionText empty = {nullptr, 0, 0};
    if (!copySection(empty, 0, &edit.base) || !copySection(empty, 16384, &edit.section)) {
        freeSection(&edit.base);
        edit.shown = false;
        say(dialog, "There is no memory left for another controller.");
        fillControllers(dialog);
        return;
    }
    const char* name = entries[picked];
    setSectionValue(&edit.section, "Input", name);
    if (findOutputDevice(name, -1) >= 0) {
        appendText(edit.lights, sizeof edit.lights, name);
        setSectionValue(&edit.section, "Output", name);
    }
    showDevice(dialog, device);
    char text[200] = "";
    for (const char* piece : {"Added ", name, " as a controller: it listens from OK on.",
                              state->offered >= 0 ? " A ready-made map is ready for it: Use Map." : ""}) {
        appendText(text, sizeof text, piece);
    }
    say(dialog, text);
}

// "Remove Controller": after asking, the shown controller goes; its ports
// close and its section goes at OK.
static void removeShownController(WindowRef dialog) {
    if (state->device == kConfiguredDevice) return;
    char name[kDeviceNameCapacity], question[240] = "Remove the controller ";
    editName(state->device, name);
    for (const char* piece : {static_cast<const char*>(name), " and its bindings? It stops listening, and its "
                              "section goes from the settings, when you press OK."}) {
        appendText(question, sizeof question, piece);
    }
    if (!confirm(dialog, "Remove Controller", question, "Nothing was removed.")) return;
    shown().removed = true;
    showDevice(dialog, kConfiguredDevice);
    say(dialog, "Removed ", name, ". OK keeps it so; Cancel keeps it.");
}

// ---- Why Learn cannot listen ----------------------------------------------------------

// What Learn listens to, or why it cannot: true, with the device's name, when
// the shown device's input is open; otherwise the reason and what to do, in
// words.
static bool learnSource(char* name, char* why, size_t capacity) {
    why[0] = '\0';
    uint32_t device = state->device;
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

// How many of the shown device's bindings in the dialog light.
static uint32_t lightingCount() {
    Binding table[kMaxBindings];
    for (uint32_t i = 0; i < state->boundCount; ++i) table[i] = state->bound[i].binding;
    uint32_t lighting = 0;
    for (uint32_t i = 0; i < state->boundCount; ++i) {
        lighting += lightKind(table[i]) != kLightNone && !lightGivesWay(table, state->boundCount, i) ? 1 : 0;
    }
    return lighting;
}

// Whether OK changes what the device's output shows: another output, or
// other bindings.
static bool lightsPending(uint32_t device) {
    char inEffect[kDeviceNameCapacity];
    chosenOutputName(device, inEffect);
    const DeviceEdit& edit = state->devices[device];
    if (edit.added || !textEquals(inEffect, edit.lights)) return true;
    Binding now[kMaxBindings], before[kMaxBindings];
    BindingLine lines[kMaxBindings];
    uint32_t count = readBindingLines(edit.section.text, edit.section.length, lines);
    if (count != bindingsInEffect(before, device)) return true;
    for (uint32_t i = 0; i < count; ++i) {
        now[i] = lines[i].binding;
        if (!sameSource(now[i].source, before[i].source) || lightKind(now[i]) != lightKind(before[i]) ||
            lightMessage(now[i], 0) != lightMessage(before[i], 0) || now[i].lit != before[i].lit ||
            now[i].dark != before[i].dark) {
            return true;
        }
    }
    return false;
}

// The line under the list says where the shown device's lights go.
static void lightsLine(char* out, size_t capacity) {
    describeLights(state->device, shown().lights, lightingCount(), lightsPending(state->device), out, capacity);
}

// Fills the Lights list for the shown device and selects its output.
static void fillLights(WindowRef dialog) {
    platformListClear(dialog, IDC_LIGHTS);
    const DeviceEdit& edit = shown();
    int32_t at = edit.lightsAt;
    if (edit.lights[0] != '\0' && at < 0) at = findOutputDevice(edit.lights, -1);
    if (edit.lights[0] != '\0' && at < 0) at = 0;  // away: "NAME (not connected)" is listed
    state->lightsAway = fillDeviceList(dialog, IDC_LIGHTS, kOutputDevices, edit.lights[0] == '\0' ? -1 : at,
                                       edit.lights);
}

// The user picked an output for the shown device's lights.
static void pickLights(WindowRef dialog) {
    int32_t selected = platformListSelection(dialog, IDC_LIGHTS);
    if (selected < 0 || selected == state->lightsAway) return;
    DeviceEdit& edit = shown();
    char name[kDeviceNameCapacity] = "";
    if (selected > 0) platformListText(dialog, IDC_LIGHTS, selected, name, sizeof name);
    edit.lights[0] = '\0';
    appendText(edit.lights, sizeof edit.lights, name);
    edit.lightsAt = selected - 1;
    if (state->device != kConfiguredDevice) setSectionValue(&edit.section, "Output", name);
}

// OK takes the configured device's output by its name: the lights of the old
// one go dark. The output chosen before stays the one, open or not, and is
// opened if it can be now. A new one that cannot be opened stays chosen too,
// and the box names it. True when the choice changed, to be saved.
static bool takeLights(WindowRef dialog) {
    const DeviceEdit& edit = state->devices[kConfiguredDevice];
    char inEffect[kDeviceNameCapacity];
    chosenOutputName(kConfiguredDevice, inEffect);
    if (textEquals(inEffect, edit.lights)) {
        reopenOutput(kConfiguredDevice, false);
        return false;
    }
    if (!chooseOutput(edit.lights, edit.lightsAt, kConfiguredDevice)) outputNotOpened(dialog, edit.lights);
    return true;
}

// ---- Maps -----------------------------------------------------------------------------------

// The map that fits the shown device's input is offered by name.
static void offerMap(WindowRef dialog) {
    char name[kDeviceNameCapacity];
    editName(state->device, name);
    state->offered = name[0] != '\0' ? findMatchingMap(state->maps, state->mapCount, name) : -1;
    char text[200] = "";
    if (state->offered >= 0) {
        char used[kMapNameCapacity] = "";
        sectionValue(shown().section, "Map", used, sizeof used);
        const char* map = state->maps[state->offered].name;
        for (const char* piece : {textEquals(used, map) ? "Uses the ready-made map for the " : "A ready-made map for the ",
                                  map, textEquals(used, map) ? "." : " is ready:"}) {
            appendText(text, sizeof text, piece);
        }
    } else if (name[0] != '\0') {
        for (const char* piece : {"No ready-made map is for ", static_cast<const char*>(name),
                                  ". Use Map... lists them all."}) {
            appendText(text, sizeof text, piece);
        }
    }
    platformSetItemText(dialog, IDC_MAP_OFFER, text);
    platformEnableItem(dialog, IDC_USE_MAP, state->offered >= 0);
}

// Whether a line binds or sets up: what a map replaces.
static bool mapsLine(const char* start, const char* end) {
    ParsedLine parsed;
    parseSectionLine(start, end, &parsed);
    SectionText one = {const_cast<char*>(start), static_cast<uint32_t>(end - start), 0};
    return parsed.named || sectionHasKey(one, "Setup") || sectionHasKey(one, "Map");
}

// Uses the map on the shown device: its bindings and set-up messages replace
// the device's (after asking, when it has bindings), and its output is the
// one whose name the map matches. It takes effect at OK.
static void useMap(WindowRef dialog, int32_t index) {
    if (index < 0 || static_cast<uint32_t>(index) >= state->mapCount) return;
    const MapEntry& map = state->maps[index];
    char name[kDeviceNameCapacity];
    editName(state->device, name);
    if (state->boundCount > 0) {
        char count[12], question[240] = "";
        formatDecimal(static_cast<int32_t>(state->boundCount), count);
        for (const char* piece : {"Replace the ", static_cast<const char*>(count),
                                  state->boundCount == 1 ? " binding of " : " bindings of ",
                                  name[0] != '\0' ? static_cast<const char*>(name) : "this device",
                                  " with the map for the ", map.name, "? OK in the Bindings dialog keeps it."}) {
            appendText(question, sizeof question, piece);
        }
        if (!confirm(dialog, "Use Map", question, "Nothing was changed.")) return;
    }
    SectionText lines = {nullptr, 0, 0};
    char byHand[200];
    bool drivesNoLight = false;
    if (!readMap(map, &lines, byHand, sizeof byHand, &drivesNoLight)) {
        say(dialog, "Could not read the map ", map.path, ".");
        return;
    }
    SectionText& section = shown().section;
    for (uint32_t line = 0, start = 0, end = 0; sectionLine(section, line, &start, &end);) {
        if (mapsLine(section.text + start, section.text + end)) {
            removeSectionLine(&section, line);
        } else {
            ++line;
        }
    }
    bool room = setSectionValue(&section, "Map", map.name);
    // A map may say that its controller's lights are not to be driven (an
    // empty Output): its own Output line decides then, not the names.
    bool unlit = drivesNoLight;
    for (uint32_t line = 0, start = 0, end = 0; room && sectionLine(lines, line, &start, &end); ++line) {
        char text[320];
        uint32_t added = 0;
        if (end == start || end - start >= sizeof text) continue;
        for (uint32_t i = start; i < end; ++i) text[i - start] = lines.text[i];
        text[end - start] = '\0';
        room = appendSectionLine(&section, text, &added);
    }
    freeSection(&lines);
    // The output whose name the map matches, the input's own name first.
    int32_t output = unlit ? -1 : matchesPortName(map.match, name) ? findOutputDevice(name, -1) : -1;
    for (uint32_t i = 0, count = countOutputDevices(); output < 0 && i < count; ++i) {
        char candidate[kDeviceNameCapacity];
        outputDeviceName(i, candidate);
        if (matchesPortName(map.match, candidate)) output = static_cast<int32_t>(i);
    }
    DeviceEdit& edit = shown();
    if (output >= 0 || unlit) {
        edit.lights[0] = '\0';
        if (output >= 0) outputDeviceName(static_cast<uint32_t>(output), edit.lights);
        edit.lightsAt = output;
        if (state->device != kConfiguredDevice) setSectionValue(&section, "Output", edit.lights);
    }
    showBindings(dialog);
    fillLights(dialog);
    offerMap(dialog);
    char count[12], text[480] = "";
    formatDecimal(static_cast<int32_t>(state->boundCount), count);
    for (const char* piece : {room ? "Used the map for the " : "The section had no room for all of the map for the ",
                              map.name, ": ", static_cast<const char*>(count), " bindings, from OK on.",
                              byHand[0] != '\0' ? " On the device: " : "", static_cast<const char*>(byHand)}) {
        appendText(text, sizeof text, piece);
    }
    say(dialog, text);
}

// "Use Map...": every map, the shipped ones and the user's.
static void chooseMap(WindowRef dialog) {
    const char* entries[kMaxMaps];
    for (uint32_t i = 0; i < state->mapCount; ++i) entries[i] = state->maps[i].name;
    if (state->mapCount == 0) {
        say(dialog, "No map was found: the shipped maps are in the Notewick Maps folder beside the plug-in, yours in "
                    "%APPDATA%\\Notewick\\Maps.");
        return;
    }
    int32_t picked = runPickDialog(dialog, "Use this map for the controller shown:", entries, state->mapCount);
    if (state != nullptr && picked >= 0) useMap(dialog, picked);
}

// "Save as Map...": the shown device's bindings and set-up messages as a map
// of the user's own, listed with the shipped ones from now on.
static void saveAsMap(WindowRef dialog) {
    char name[kMapNameCapacity] = "", port[kDeviceNameCapacity];
    editName(state->device, port);
    appendText(name, sizeof name, port);
    if (!runNameDialog(dialog, "Save the bindings shown as a map named:", name, sizeof name)) return;
    if (state == nullptr) return;
    // A name is one map's: a shipped map's is not taken, the user's own is
    // replaced after asking.
    for (uint32_t i = 0; i < state->mapCount; ++i) {
        // Map names are file names: the same in any case.
        if (!textEqualsAnyCase(state->maps[i].name, name)) continue;
        if (!state->maps[i].own) {
            say(dialog, "A map that ships with Notewick is named ", name, ": save yours under another name.");
            return;
        }
        char question[160] = "Replace your map ";
        for (const char* piece : {static_cast<const char*>(name), " with the bindings shown?"}) {
            appendText(question, sizeof question, piece);
        }
        if (!confirm(dialog, "Save as Map", question, "Nothing was saved.")) return;
        break;
    }
    char path[kSettingsPathCapacity];
    if (!ownMapPath(name, path, true) || !saveMap(name, port, shown().section, path)) {
        say(dialog, "Could not save the map ", name, ": its folder cannot be written.");
        return;
    }
    state->mapCount = listMaps(state->maps, kMaxMaps);
    offerMap(dialog);
    say(dialog, "Saved the map ", name, " as ", path, ". Use Map... lists it.");
}

// ---- The shown device -----------------------------------------------------------------------

static void showDevice(WindowRef dialog, uint32_t device) {
    if (state->learning) {
        stopLearning();
        state->learning = false;
    }
    state->device = device;
    showBindings(dialog);
    fillControllers(dialog);
    fillLights(dialog);
    offerMap(dialog);
}

// The device's edit, with its section as it is in effect now.
static bool startEdit(uint32_t device) {
    DeviceEdit& edit = state->devices[device];
    if (!openBindingsSection(&edit.section, device) || !copySection(edit.section, 0, &edit.base)) {
        freeSection(&edit.section);
        return false;
    }
    edit.shown = true;
    edit.lightsAt = -1;
    chosenOutputName(device, edit.lights);
    return true;
}

// ---- Initialisation --------------------------------------------------------------------

static void freeState() {
    for (DeviceEdit& edit : state->devices) {
        freeSection(&edit.base);
        freeSection(&edit.section);
    }
    platformFree(state);
    state = nullptr;
}

static void onBindingsInit(WindowRef dialog) {
    state = static_cast<BindingsDialogState*>(platformAllocZeroed(sizeof(BindingsDialogState)));
    bool ready = state != nullptr && startEdit(kConfiguredDevice);
    for (uint32_t device = 1; ready && device < kMaxDevices; ++device) {
        if (controllerInUse(device)) ready = startEdit(device);
    }
    if (!ready) {
        if (state != nullptr) freeState();
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
    state->mapCount = listMaps(state->maps, kMaxMaps);
    showDevice(dialog, kConfiguredDevice);
    char lights[160];
    lightsLine(lights, sizeof lights);
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
    startLearning(dialog, state->device);
    // An endless knob is learned from two turns: how it counts its steps.
    bool knob = platformIsChecked(dialog, IDC_ENDLESS) && actionFits(chosenAction(dialog), kFitEncoder);
    state->knobPhase = knob ? 1 : 0;
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
        startLearning(dialog, state->device);
        say(dialog, "Now turn it one step to the left.");
        return false;
    }
    uint32_t right = messageData2(state->knobRight);
    bool same = (message & 0xFFFFu) == (state->knobRight & 0xFFFFu);
    if (!same || value == right) {
        markLearnSkipped(message);
        state->learning = true;
        startLearning(dialog, state->device);
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
static int32_t shiftButtonIndex() {
    for (uint32_t i = 0; i < state->boundCount; ++i) {
        if (state->bound[i].binding.action == kActionShift) return static_cast<int32_t>(i);
    }
    return -1;
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
    // A control learned while the device's shift button is held becomes a
    // Shift line; the Gesture list says whether it is pressed, held or
    // pressed twice.
    source.shift = (message & kShiftFlag) != 0 && action != kActionShift ? 1 : 0;
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
        describeSource(state->bound[shift].binding.source, button, sizeof button);
        refuse(dialog, message, described, ". A device has one shift button, and ", button,
               " is it: remove it first.");
        return;
    }
    if (at >= 0) {
        // A controller learned as an endless knob, or the other way round,
        // gets its own line written anew; otherwise only its action changes.
        char line[kBindingKeyCapacity + 32];
        bindingLine(learned, line, sizeof line);
        bool changed = state->bound[at].binding.source.encoder != source.encoder
                           ? replaceSectionLine(&shown().section, state->bound[at].line, line)
                           : rewriteAction(state->bound[at].line, learned);
        if (!changed) {
            refuse(dialog, message, described, ", but the bindings section has no room left for the change.");
            return;
        }
    } else {
        int32_t named = firstLineNaming(shown().section, source);
        if (named >= 0) {
            char why[640] = "";
            describeUnusedLine(shown().section, state->device, static_cast<uint32_t>(named), true, why, sizeof why);
            refuse(dialog, message, described, ", but ", why, ". Mend or remove that line.");
            return;
        }
        // The reader judges the new line: past the 128th binding, or past the
        // part of the section that is read, it would not act after OK.
        uint32_t count = state->boundCount;
        char line[kBindingKeyCapacity + 32];
        bindingLine(learned, line, sizeof line);
        uint32_t added = 0;
        bool room = appendSectionLine(&shown().section, line, &added);
        state->boundCount = readBindingLines(shown().section.text, shown().section.length, state->bound);
        // NOTE: the reader has just listed the lines anew, with the new one.
        bool acts = room && boundIndex(source) >= 0;
        if (!acts) {  // cppcheck-suppress knownConditionTrueFalse
            if (room) removeSectionLine(&shown().section, added);
            state->boundCount = readBindingLines(shown().section.text, shown().section.length, state->bound);
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
static void onSelection(WindowRef dialog, uint32_t controlId) {
    char described[80];
    if (controlId == IDC_BINDING_LIST) {
        int32_t selected = platformListSelection(dialog, IDC_BINDING_LIST);
        state->picked = selected >= 0 && static_cast<uint32_t>(selected) < state->boundCount ? selected : -1;
        if (state->picked < 0) return;
        const Binding& binding = state->bound[state->picked].binding;
        platformListSelect(dialog, IDC_BINDING_ACTION, static_cast<int32_t>(binding.action) - 1);
        platformListSelect(dialog, IDC_GESTURE, binding.source.gesture);
        describeBinding(binding, described, sizeof described);
        say(dialog, described, ". Choose another action or gesture to change it; Esc selects nothing.");
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
    state->picked = picked;
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
static void onGestureChosen(WindowRef dialog) {
    if (state->picked < 0) {
        if (!state->learning) sayNextLearn(dialog);
        return;
    }
    int32_t picked = state->picked;
    const BindingLine& line = state->bound[picked];
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
        describeUnusedLine(shown().section, state->device,
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
    state->picked = at;
    platformListSelect(dialog, IDC_BINDING_LIST, at);
    say(dialog, was, " now: ", now, ".");
}

static void removeSelected(WindowRef dialog) {
    if (state->picked < 0) {
        say(dialog, "Select the binding to remove first.");
        return;
    }
    Binding gone = state->bound[state->picked].binding;
    int32_t was = state->picked;
    removeSectionLine(&shown().section, state->bound[state->picked].line);
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
    say(dialog, "Removed every binding. OK keeps it so; Cancel keeps them all.");
}

// ---- OK, Cancel and quit ------------------------------------------------------------------

// Each device the user changed: its section as the file has it now with the
// user's changes on top (core/section_merge.h). False, with `merged` empty,
// for a device the user did not change. *conflicts counts the controls the
// file changed too; the first in `first`.
static bool mergedSection(uint32_t device, SectionText* merged, uint32_t* conflicts, char* first, size_t capacity) {
    const DeviceEdit& edit = state->devices[device];
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
static void closeBindings(WindowRef dialog, bool keep) {
    stopLearning();
    state->learning = false;
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
        if (conflicts != 0 && !state->mergeShown) {
            // The sections as OK would write them, from the file's as they
            // are now: shown, for the next OK.
            for (uint32_t device = 0; device < kMaxDevices; ++device) {
                if (!changed[device]) continue;
                DeviceEdit& edit = state->devices[device];
                freeSection(&edit.section);
                edit.section = merged[device];
                freeSection(&edit.base);
                readFileSection(device, &edit.base);
            }
            state->mergeShown = true;
            showDevice(dialog, state->device);
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
        if (state == nullptr) {  // quit while takeLights' message was up
            for (SectionText& section : merged) freeSection(&section);
            return;
        }
        for (uint32_t device = 0; device < kMaxDevices; ++device) {
            DeviceEdit& edit = state->devices[device];
            if (edit.removed && !edit.added) saved = removeController(device) && saved;
            if (!changed[device]) {
                if (edit.shown && !edit.removed && device != kConfiguredDevice) reopenOutput(device, false);
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
            char setupBefore[1024] = "", setupAfter[1024] = "";
            sectionValue(sectionInEffect(device), "Setup", setupBefore, sizeof setupBefore);
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
                if (state == nullptr) {  // quit while the box was up
                    for (SectionText& section : merged) freeSection(&section);
                    return;
                }
            }
        }
        if (lightsChosen) saved = saveSettings() && saved;
    }
    freeState();
    bindingsWindow = nullptr;
    if (!saved) platformMessageBox(dialog, "Could not save the settings");
    platformEndDialog(dialog);
}

WindowRef bindingsDialogWindow() { return bindingsWindow; }

void bindingsDevicesChanged() {
    if (bindingsWindow != nullptr && state != nullptr) fillControllers(bindingsWindow);
}

void endBindingsDialog() {
    if (bindingsWindow != nullptr && state != nullptr) closeBindings(bindingsWindow, false);
}

static void onBindingsTimer(WindowRef dialog) {
    if (state == nullptr) return;
    char lights[160];
    lightsLine(lights, sizeof lights);
    updateLiveLine(dialog, &bindingsLine, lights);
    // The device watch leaves the configured device's port alone while the
    // dialogs are open: a device that went away is seen here, and Learn
    // stops waiting for it.
    if (!state->learning) return;
    char name[kDeviceNameCapacity], now[kDeviceNameCapacity] = "";
    editName(state->device, name);
    if (state->device == kConfiguredDevice) {
        deviceName(static_cast<uint32_t>(pluginSettings.midiDevice), now);
    } else if (controllerInputOpen(state->device) && editConnected(state->device)) {
        appendText(now, sizeof now, name);
    }
    if (!textEquals(name, now)) {
        stopLearning();
        state->learning = false;
        say(dialog, name, state->device == kConfiguredDevice
                              ? " went away, so Learn stopped. Connect it, then press Apply in the configuration dialog."
                              : " went away, so Learn stopped. Connect it, then Learn again.");
    }
}

// Whether the Controller list's selection is "Add a controller...".
static bool addEntryChosen(WindowRef dialog) {
    int32_t selected = platformListSelection(dialog, IDC_CONTROLLER);
    return selected >= 0 && static_cast<uint32_t>(selected) < state->entryCount &&
           state->entries[selected] == kAddEntry;
}

static void onBindingsCommand(WindowRef dialog, uint32_t controlId, uint32_t notification) {
    if (state == nullptr) return;
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
        if (selected < 0 || static_cast<uint32_t>(selected) >= state->entryCount) return;
        int32_t entry = state->entries[selected];
        if (entry == kAddEntry) {
            say(dialog, "Add a controller...: press Enter to choose its MIDI input.");
        } else if (static_cast<uint32_t>(entry) != state->device) {
            showDevice(dialog, static_cast<uint32_t>(entry));
            char name[kDeviceNameCapacity], why[320];
            if (learnSource(name, why, sizeof why)) {
                say(dialog, "The bindings of ", name, ". Learn listens to it.", why);
            } else {
                say(dialog, why);
            }
        }
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
        if (controlId == kDialogOk && platformFocusedControl(dialog) == IDC_CONTROLLER && addEntryChosen(dialog)) {
            addController(dialog);
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
        case IDC_REMOVE_CONTROLLER: removeShownController(dialog); break;
        case IDC_USE_MAP: useMap(dialog, state->offered); break;
        case IDC_CHOOSE_MAP: chooseMap(dialog); break;
        case IDC_SAVE_MAP: saveAsMap(dialog); break;
        case kDialogOk: closeBindings(dialog, true); break;
        case kDialogCancel: closeBindings(dialog, false); break;
        default: break;
    }
}
