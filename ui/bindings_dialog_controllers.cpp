// bindings_dialog_controllers.cpp -- the Bindings dialog's devices: the
// Controller list (the configured device, each controller, "Add a
// controller..."), adding and removing a controller, the device shown, and
// the Lights list with the line under it that says where the shown device's
// lights go.
//
// Sections: the controllers; the shown device; the Lights list.
#include <initializer_list>

#include "core/bindings_section.h"
#include "core/controllers.h"
#include "core/device_inputs.h"
#include "core/main_port.h"
#include "core/output_port.h"
#include "core/text.h"
#include "core/units.h"
#include "midi/identity.h"
#include "midi/lights.h"
#include "midi/ports.h"
#include "platform/dialogs.h"
#include "ui/bindings_dialog.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

// ---- The controllers -------------------------------------------------------------------

// The device's name as the dialog shows it: "USB MIDI Keyboard", "APC mini
// mk2"; for a controller added or in use, its section's Input.
void editName(uint32_t device, char* name) {
    name[0] = '\0';
    if (device == kConfiguredDevice) {
        configuredDeviceName(name);
        return;
    }
    char input[kDeviceNameCapacity + 1] = "";
    sectionValue(bindingsState->devices[device].section, "Input", input, sizeof input);
    appendText(name, kDeviceNameCapacity, input);
}

// The system's devices, and which of them the dialog's devices hold, as
// their sections stand: held[device] is the list's device, -1 for none.
// Static: the lists are large, and the dialog runs once at a time. Read
// again whenever the devices change (bindingsDevicesChanged).
static DeviceList systemDevices;
static int32_t lastHeld[kMaxDevices];
static bool unitsRead = false;

// Whether the device's input is connected now. A controller whose Input
// names a device holds one unit of it: that unit, not any of the name.
bool editConnected(uint32_t device) {
    char name[kDeviceNameCapacity];
    editName(device, name);
    if (device == kConfiguredDevice && pluginSettings.midiDevice < 0) return false;
    if (device != kConfiguredDevice && unitsRead && name[0] != '\0' && findUnit(&systemDevices, name, "") >= 0) {
        return lastHeld[device] >= 0;
    }
    return name[0] != '\0' && findInputDevice(name, device == kConfiguredDevice ? pluginSettings.midiDevice : -1) >= 0;
}

static uint64_t readUnits(int32_t* held) {
    readDeviceList(&systemDevices);
    char names[kMaxDevices][kDeviceNameCapacity], units[kMaxDevices][kInstanceKeyCapacity];
    UnitClaim claims[kMaxDevices];
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        const DeviceEdit& edit = bindingsState->devices[device];
        names[device][0] = units[device][0] = '\0';
        if (device != kConfiguredDevice && edit.shown && !edit.removed) {
            editName(device, names[device]);
            sectionValue(edit.section, "Unit", units[device], sizeof units[device]);
        }
        claims[device] = UnitClaim{names[device], units[device]};
    }
    char configured[kDeviceNameCapacity];
    configuredDeviceName(configured);
    int32_t input = pluginSettings.midiDevice < 0 ? -1 : findInputDevice(configured, pluginSettings.midiDevice);
    uint64_t taken = claimUnits(&systemDevices, input, claims, kMaxDevices, held);
    held[kConfiguredDevice] = deviceOfInput(&systemDevices, input);
    for (uint32_t device = 0; device < kMaxDevices; ++device) lastHeld[device] = held[device];
    unitsRead = true;
    return taken;
}

// Fills the Controller list: the configured device, each controller as a
// device ("KeyLab mkII 61, 2 ports"; by name, "(not connected)", when it is
// away), then "Add a controller...", and selects the shown device.
void fillControllers(WindowRef dialog) {
    platformListClear(dialog, IDC_CONTROLLER);
    bindingsState->entryCount = 0;
    int32_t selected = 0;
    int32_t held[kMaxDevices];
    readUnits(held);
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        const DeviceEdit& edit = bindingsState->devices[device];
        if (!edit.shown || edit.removed) continue;
        char name[kDeviceNameCapacity], entry[kDeviceNameCapacity + 48];
        editName(device, name);
        entry[0] = '\0';
        // The configured device may be set to a further port of its device:
        // then the port's own name.
        const PortDevice* unit = held[device] >= 0 ? &systemDevices.devices[held[device]] : nullptr;
        if (unit != nullptr && textEquals(unit->name, name) && editConnected(device)) {
            unitEntryText(unit, entry, sizeof entry);
        } else {
            appendText(entry, sizeof entry, name[0] != '\0'                ? name
                                            : device == kConfiguredDevice ? "No MIDI device in use"
                                                                          : "A controller with no Input");
        }
        if (name[0] != '\0' && !editConnected(device)) appendText(entry, sizeof entry, " (not connected)");
        if (device == bindingsState->device) selected = static_cast<int32_t>(bindingsState->entryCount);
        bindingsState->entries[bindingsState->entryCount++] = static_cast<int32_t>(device);
        platformListAdd(dialog, IDC_CONTROLLER, entry);
    }
    bindingsState->entries[bindingsState->entryCount++] = kAddEntry;
    platformListAdd(dialog, IDC_CONTROLLER, "Add a controller...");
    platformListSelect(dialog, IDC_CONTROLLER, selected);
    platformListFitDropDown(dialog, IDC_CONTROLLER);
    platformEnableItem(dialog, IDC_REMOVE_CONTROLLER, bindingsState->device != kConfiguredDevice);
}

// A number for a controller added now: one no controller has, in use, added
// or removed in this dialog (its section goes at OK); 0 when all eight are taken.
static uint32_t freeNumber() {
    for (uint32_t device = 1; device < kMaxDevices; ++device) {
        const DeviceEdit& edit = bindingsState->devices[device];
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

// "Add a controller...": the connected devices no device uses yet, each
// unit of a kind ("Launchpad Mini MK3", "Launchpad Mini MK3 (2)"); the one
// picked becomes a controller, with its Input and Unit, and its own output
// for its lights when it has one. It is opened at OK.
void addController(WindowRef dialog) {
    uint32_t device = freeNumber();
    if (device == 0) {
        say(dialog, "There are 8 controllers already, the most Notewick takes: remove one first.");
        fillControllers(dialog);
        return;
    }
    static char names[kMaxSystemPorts][kDeviceNameCapacity + 32];
    const char* entries[kMaxSystemPorts];
    uint32_t listed[kMaxSystemPorts];
    int32_t held[kMaxDevices];
    uint64_t taken = readUnits(held);
    uint32_t count = 0;
    for (uint32_t d = 0; d < systemDevices.count; ++d) {
        if ((taken >> d & 1u) != 0 || systemDevices.devices[d].name[0] == '\0') continue;
        unitEntryText(&systemDevices.devices[d], names[count], sizeof names[count]);
        entries[count] = names[count];
        listed[count++] = d;
    }
    if (count == 0) {
        say(dialog, "Every connected MIDI input is in use already: connect the controller, then Add a controller.");
        fillControllers(dialog);
        return;
    }
    int32_t picked = runPickDialog(dialog, "Add this MIDI device as a controller, with its own bindings and lights:",
                                   entries, count);
    if (bindingsState == nullptr) return;  // quit while it was up
    if (picked < 0) {
        fillControllers(dialog);
        return;
    }
    // The pick dialog ran modally: the system's list may have changed since.
    const PortDevice unit = systemDevices.devices[listed[picked]];
    DeviceEdit& edit = bindingsState->devices[device];
    edit = DeviceEdit{true, true, false, {nullptr, 0, 0}, {nullptr, 0, 0}, "", -1};
    SectionText empty = {nullptr, 0, 0};
    if (!copySection(empty, 0, &edit.base) || !copySection(empty, 16384, &edit.section)) {
        freeSection(&edit.base);
        edit.shown = false;
        say(dialog, "There is no memory left for another controller.");
        fillControllers(dialog);
        return;
    }
    const char* name = unit.name;
    char unitKey[kInstanceKeyCapacity];
    newSectionUnit(&unit, unitKey, sizeof unitKey);
    setSectionValue(&edit.section, "Input", name);
    setSectionValue(&edit.section, "Unit", unitKey);
    int32_t output = deviceOutputPort(&unit, 1);
    if (output >= 0) {
        outputDeviceName(static_cast<uint32_t>(output), edit.lights);
        edit.lightsAt = output;
        setSectionValue(&edit.section, "Output", edit.lights);
    }
    showDevice(dialog, device);
    char entry[kDeviceNameCapacity + 32], text[240] = "";
    unitListText(&unit, entry, sizeof entry);
    for (const char* piece : {"Added ", static_cast<const char*>(entry), " as a controller: it listens from OK on.",
                              bindingsState->offered >= 0 ? " A ready-made map is ready for it: Use This Map." : ""}) {
        appendText(text, sizeof text, piece);
    }
    say(dialog, text);
}

// "Remove Controller": after asking, the shown controller goes; its ports
// close and its section goes at OK.
void removeShownController(WindowRef dialog) {
    if (bindingsState->device == kConfiguredDevice) return;
    char name[kDeviceNameCapacity], question[240] = "Remove the controller ";
    editName(bindingsState->device, name);
    for (const char* piece : {static_cast<const char*>(name), " and its bindings? It stops listening, and its "
                              "section goes from the settings, when you press OK."}) {
        appendText(question, sizeof question, piece);
    }
    if (!confirm(dialog, "Remove Controller", question, "Nothing was removed.")) return;
    shown().removed = true;
    showDevice(dialog, kConfiguredDevice);
    // The button is disabled now, and a disabled control holds no keyboard
    // focus: the list takes it, so Tab and Esc go on working.
    platformFocusControl(dialog, IDC_CONTROLLER);
    say(dialog, "Removed ", name, ". OK removes it and its section from the settings; Cancel keeps it as it was.");
}

// What the file holds acts: the device's section as edited or added by hand
// while the player runs, its bindings, a controller's input and output, and
// its Setup when that changed; a controller whose section was taken out of
// the file goes. Nothing changes while the file is as the plug-in last read
// or wrote it, nor when it cannot be read.
void takeFileEdits(uint32_t device) {
    if (device != kConfiguredDevice && !controllerInUse(device)) {
        // Not a controller: nothing to take unless a section was added by hand.
        SectionText file = {nullptr, 0, 0};
        bool added = readFileSection(device, &file) && file.length > 0;
        freeSection(&file);
        if (!added) return;
    }
    char setupBefore[1024] = "", setupAfter[1024] = "";
    sectionValue(sectionInEffect(device), "Setup", setupBefore, sizeof setupBefore);
    SectionText file = {nullptr, 0, 0};
    if (readFileSection(device, &file)) sectionValue(file, "Setup", setupAfter, sizeof setupAfter);
    freeSection(&file);
    if (!textEquals(setupBefore, setupAfter)) holdLightsForSetup(device);
    if (!loadSection(device)) {
        reopenOutput(device, false);  // the lights held go on as they were
        return;
    }
    const SectionText& section = sectionInEffect(device);
    sectionValue(section, "Setup", setupAfter, sizeof setupAfter);
    bool opened = false;
    if (device != kConfiguredDevice) {
        // A section that is not in the file reads as an empty one.
        if (section.length == 0) {
            if (controllerInUse(device)) removeController(device);
            return;
        }
        opened = applyControllerSection(device);
    }
    if (!opened && !textEquals(setupBefore, setupAfter)) reopenOutput(device, true);
}

// ---- The shown device -----------------------------------------------------------------------

void showDevice(WindowRef dialog, uint32_t device) {
    if (bindingsState->learning) {
        stopLearning();
        bindingsState->learning = false;
    }
    bindingsState->device = device;
    showBindings(dialog);
    fillControllers(dialog);
    fillLights(dialog);
    offerMap(dialog);
}

// The device's edit, with its section as it is in effect now.
bool startEdit(uint32_t device) {
    DeviceEdit& edit = bindingsState->devices[device];
    if (!openBindingsSection(&edit.section, device) || !copySection(edit.section, 0, &edit.base)) {
        freeSection(&edit.section);
        return false;
    }
    edit.shown = true;
    edit.lightsAt = -1;
    chosenOutputName(device, edit.lights);
    return true;
}

// ---- The Lights list ------------------------------------------------------------------------

// How many of the shown device's bindings in the dialog light.
static uint32_t lightingCount() {
    Binding table[kMaxBindings];
    for (uint32_t i = 0; i < bindingsState->boundCount; ++i) table[i] = bindingsState->bound[i].binding;
    uint32_t lighting = 0;
    for (uint32_t i = 0; i < bindingsState->boundCount; ++i) {
        lighting += lightKind(table[i]) != kLightNone && !lightGivesWay(table, bindingsState->boundCount, i) ? 1 : 0;
    }
    return lighting;
}

// Whether OK changes what the device's output shows: another output, or
// other bindings.
static bool lightsPending(uint32_t device) {
    char inEffect[kDeviceNameCapacity];
    chosenOutputName(device, inEffect);
    const DeviceEdit& edit = bindingsState->devices[device];
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

// The line under the live line says where the shown device's lights go,
// naming the device: the line above it may name another, whose message it
// shows ("Lights of Pads: Pads Out (3 bindings)").
void lightsLine(char* out, size_t capacity) {
    char lights[160], name[kDeviceNameCapacity];
    describeLights(bindingsState->device, shown().lights, lightingCount(), lightsPending(bindingsState->device), lights,
                   sizeof lights);
    editName(bindingsState->device, name);
    const char* rest = lights;
    if (rangeEqualsAnyCase(lights, lights + 8, "Lights: ")) rest += 8;
    out[0] = '\0';
    for (const char* piece : {"Lights of ", static_cast<const char*>(name[0] != '\0' ? name : "this device"), ": ", rest}) {
        appendText(out, capacity, piece);
    }
    // What answered the Device Inquiry on its output: "Identity: Novation,
    // family 13 01".
    DeviceIdentity answered;
    if (!shown().added && deviceIdentity(bindingsState->device, &answered)) {
        char identity[80];
        describeIdentity(answered, identity, sizeof identity);
        appendText(out, capacity, ". ");
        appendText(out, capacity, identity);
    }
}

// Fills the Lights list for the shown device and selects its output.
void fillLights(WindowRef dialog) {
    platformListClear(dialog, IDC_LIGHTS);
    const DeviceEdit& edit = shown();
    int32_t at = edit.lightsAt;
    if (edit.lights[0] != '\0' && at < 0) at = findOutputDevice(edit.lights, -1);
    if (edit.lights[0] != '\0' && at < 0) at = 0;  // away: "NAME (not connected)" is listed
    bindingsState->lightsAway = fillDeviceList(dialog, IDC_LIGHTS, kOutputDevices, edit.lights[0] == '\0' ? -1 : at,
                                       edit.lights);
}

// The Lights list filled again when the outputs it lists are not the system's
// now: the chosen output come back or gone, an output added or renamed. Left
// alone otherwise, so that a list the user has open stays open.
void refreshLights(WindowRef dialog) {
    DeviceEdit& edit = shown();
    uint32_t count = countOutputDevices();
    bool away = edit.lights[0] != '\0' && findOutputDevice(edit.lights, edit.lightsAt) < 0;
    bool same = (bindingsState->lightsAway >= 0) == away &&
                platformListCount(dialog, IDC_LIGHTS) == static_cast<int32_t>(count + (away ? 2 : 1));
    for (uint32_t i = 0; same && i < count; ++i) {
        char name[kDeviceNameCapacity], listed[kDeviceNameCapacity];
        outputDeviceName(i, name);
        platformListText(dialog, IDC_LIGHTS, static_cast<int32_t>(i + 1), listed, sizeof listed);
        same = textEquals(name, listed);
    }
    if (same) return;
    // The output picked from the list is found again by its name.
    if (edit.lightsAt >= 0) edit.lightsAt = findOutputDevice(edit.lights, edit.lightsAt);
    fillLights(dialog);
}

// The user picked an output for the shown device's lights.
void pickLights(WindowRef dialog) {
    int32_t selected = platformListSelection(dialog, IDC_LIGHTS);
    if (selected < 0 || selected == bindingsState->lightsAway) return;
    DeviceEdit& edit = shown();
    char name[kDeviceNameCapacity] = "";
    if (selected > 0) platformListText(dialog, IDC_LIGHTS, selected, name, sizeof name);
    edit.lights[0] = '\0';
    appendText(edit.lights, sizeof edit.lights, name);
    edit.lightsAt = selected - 1;
    if (bindingsState->device != kConfiguredDevice) setSectionValue(&edit.section, "Output", name);
}

// A new output chosen that cannot be opened: the box names it, and says
// whether it is away or held by another program.
void outputNotOpened(WindowRef dialog, const char* name) {
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

// OK takes the configured device's output by its name: the lights of the old
// one go dark. The output chosen before stays the one, open or not, and is
// opened if it can be now. A new one that cannot be opened stays chosen too,
// and the box names it. True when the choice changed, to be saved.
bool takeLights(WindowRef dialog) {
    const DeviceEdit& edit = bindingsState->devices[kConfiguredDevice];
    char inEffect[kDeviceNameCapacity];
    chosenOutputName(kConfiguredDevice, inEffect);
    if (textEquals(inEffect, edit.lights)) {
        reopenOutput(kConfiguredDevice, false);
        return false;
    }
    if (!chooseOutput(edit.lights, edit.lightsAt, kConfiguredDevice)) outputNotOpened(dialog, edit.lights);
    return true;
}
