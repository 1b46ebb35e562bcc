// controllers.cpp -- the controllers added beside the configured device:
// their sections, their inputs, and their outputs through output_port.cpp.
#include "core/controllers.h"

#include "core/bindings_section.h"
#include "core/device_inputs.h"
#include "core/device_ports.h"
#include "core/followed_port.h"
#include "core/main_port.h"
#include "core/output_port.h"
#include "core/plugin.h"
#include "core/text.h"
#include "core/units.h"
#include "midi/ports.h"

// ---- State (user-interface thread) --------------------------------------------------------

// Each controller's input: the name its section gives, the number it was
// last found at, the open port, and whether a section is in effect.
struct ControllerInput {
    bool inUse;
    int32_t index;
    char name[kDeviceNameCapacity];
    void* port;
    FollowedPort follow;
};
static ControllerInput inputs[kMaxDevices];

static bool isController(uint32_t device) { return device != kConfiguredDevice && device < kMaxDevices; }

bool controllerInUse(uint32_t device) { return isController(device) && inputs[device].inUse; }

void controllerInputName(uint32_t device, char* name) {
    name[0] = '\0';
    if (controllerInUse(device)) appendText(name, kDeviceNameCapacity, inputs[device].name);
}

bool controllerInputOpen(uint32_t device) {
    return controllerInUse(device) && (inputs[device].port != nullptr || deviceInputOpen(device, 1));
}

void resetControllers() {
    for (ControllerInput& input : inputs) input = ControllerInput{};
    resetDeviceInputs();
}

static uint32_t followControllerPorts();
static bool loading = false;

// ---- The section's keys ------------------------------------------------------------------

// The section's Input, followed anew when its name changed (closed first);
// then every controller's ports and outputs. True when the device's output
// was opened now.
static bool followSection(uint32_t device) {
    ControllerInput& in = inputs[device];
    const SectionText& section = sectionInEffect(device);
    char name[kDeviceNameCapacity + 1] = "";
    sectionValue(section, "Input", name, sizeof name);
    name[kDeviceNameCapacity - 1] = '\0';
    if (in.follow.index == nullptr) in.follow = FollowedPort{&in.index, in.name, &in.port, device, false, false};
    if (!in.inUse || !textEquals(name, in.name)) {
        // An input that will not close is kept open for quit to try again.
        closeFollowed(&in.follow);
        in.name[0] = '\0';
        appendText(in.name, sizeof in.name, name);
        in.index = -1;
        in.follow.openFailed = false;
    }
    in.inUse = true;
    return !loading && (followControllerPorts() & (1u << device)) != 0;
}

void loadControllers() {
    // One pass for all of them once every section is in use: a section's
    // unit depends on the others'.
    loading = true;
    for (uint32_t device = 1; device < kMaxDevices; ++device) {
        if (!loadSection(device)) continue;
        // A section that is not in the file reads as an empty one.
        const SectionText& section = sectionInEffect(device);
        if (section.length == 0) continue;
        followSection(device);
    }
    loading = false;
    followControllerPorts();
}

bool applyControllerSection(uint32_t device) { return isController(device) && followSection(device); }

bool removeController(uint32_t device) {
    if (!controllerInUse(device)) return true;
    ControllerInput& in = inputs[device];
    followControllerOutput(device, "");
    closeFollowed(&in.follow);
    closeDeviceInputs(device);
    in.inUse = false;
    in.name[0] = '\0';
    return removeBindingsSection(device);
}

// ---- The device watch -------------------------------------------------------------------

void controllersDeviceListChanged() { followControllerPorts(); }

// Whether the controller's ports are its unit's (device_inputs.cpp), else
// its Input's port by name.
static bool byUnit(uint32_t device) { return deviceUnitOf(device) >= 0; }

bool controllersWaiting() {
    for (uint32_t device = 1; device < kMaxDevices; ++device) {
        if (!controllerInUse(device) || inputs[device].name[0] == '\0') continue;
        if (byUnit(device) ? !deviceInputOpen(device, 1) : inputs[device].port == nullptr) return true;
    }
    return deviceInputsWaiting();
}

// ---- Units ----------------------------------------------------------------------------------

void releaseNamedPort(uint32_t device) {
    if (isController(device) && inputs[device].port != nullptr) closeFollowed(&inputs[device].follow);
}

void assignUnits(const DeviceList* list, int32_t* unit) {
    int32_t at = -1;
    if (pluginSettings.midiDevice >= 0) {
        at = pluginSettings.midiDeviceName[0] == '\0'
                 ? pluginSettings.midiDevice
                 : findInputDevice(pluginSettings.midiDeviceName, pluginSettings.midiDevice);
    }
    UnitClaim claims[kMaxDevices];
    char kept[kMaxDevices][kInstanceKeyCapacity];
    for (uint32_t device = 1; device < kMaxDevices; ++device) {
        kept[device][0] = '\0';
        bool named = controllerInUse(device) && inputs[device].name[0] != '\0';
        if (named) sectionValue(sectionInEffect(device), "Unit", kept[device], sizeof kept[device]);
        claims[device] = UnitClaim{named ? inputs[device].name : "", kept[device]};
    }
    int32_t held[kMaxDevices];
    claimUnits(list, at, claims + 1, kMaxDevices - 1, held + 1);
    unit[kConfiguredDevice] = deviceOfInput(list, at);
    for (uint32_t device = 1; device < kMaxDevices; ++device) {
        if (claims[device].input[0] == '\0') {
            unit[device] = kNoUnitByName;
        } else if (held[device] >= 0) {
            unit[device] = held[device];
        } else {
            // Its unit is away or every one is held: nothing is opened. A
            // name no device has is followed by name, as before units.
            bool byName = kept[device][0] == '\0' && findUnit(list, claims[device].input, "") < 0;
            unit[device] = byName ? kNoUnitByName : kNoUnitFree;
        }
    }
}

// The output a controller's lights go to: the one its Output line names,
// but when that names its unit's first output, the unit's own output of the
// section's Port (input port n pairs with output port n), where its
// bindings' lights and set-up messages belong: a second unit of a kind has
// outputs of the very names of the first's. An output of another device,
// or another port, stays as named; a unit away keeps the output it had.
static bool followOutput(uint32_t device) {
    const SectionText& section = sectionInEffect(device);
    char output[kDeviceNameCapacity + 1] = "", first[kDeviceNameCapacity] = "", paired[kDeviceNameCapacity] = "";
    sectionValue(section, "Output", output, sizeof output);
    output[kDeviceNameCapacity - 1] = '\0';
    uint32_t port = sectionPort(section);
    int32_t unit = deviceUnitOf(device);
    if (port >= 2 && unit < 0 && output[0] != '\0') {
        chosenOutputName(device, first);
        if (textEquals(first, output)) return false;
    }
    if (output[0] == '\0' || unit < 0) return followControllerOutput(device, output);
    const PortDevice& found = lastDeviceList().devices[unit];
    int32_t at = deviceOutputPort(&found, port), firstAt = deviceOutputPort(&found, 1);
    if (firstAt >= 0) outputDeviceName(static_cast<uint32_t>(firstAt), first);
    if (at < 0 || !textEquals(first, output)) return followControllerOutput(device, output);
    outputDeviceName(static_cast<uint32_t>(at), paired);
    return followControllerOutput(device, output, paired, at);
}

// Every controller's ports: its unit's, else its Input's port by name; then
// its output. The devices whose outputs opened now, a bit each.
static uint32_t followControllerPorts() {
    followDeviceInputs();
    for (uint32_t device = 1; device < kMaxDevices; ++device) {
        ControllerInput& in = inputs[device];
        if (!in.inUse || in.name[0] == '\0') continue;
        if (deviceUnitOf(device) == kNoUnitByName) {
            followDevice(&in.follow);
        } else {
            releaseNamedPort(device);
        }
    }
    uint32_t opened = 0;
    for (uint32_t device = 1; device < kMaxDevices; ++device) {
        if (inputs[device].inUse && followOutput(device)) opened |= 1u << device;
    }
    return opened;
}

bool closeControllersAtQuit() {
    bool all = closeDeviceInputsAtQuit();
    for (uint32_t device = 1; device < kMaxDevices; ++device) {
        if (inputs[device].follow.index != nullptr) all = closeFollowed(&inputs[device].follow) && all;
    }
    return all;
}

// ---- Names -----------------------------------------------------------------------------------

void deviceLabel(uint32_t device, char* name) {
    if (device == kConfiguredDevice) {
        configuredDeviceName(name);
        return;
    }
    controllerInputName(device, name);
}

uint32_t devicesOpen() {
    uint32_t open = mainInputPort != nullptr ? 1 : 0;
    for (uint32_t device = 1; device < kMaxDevices; ++device) open += controllerInputOpen(device) ? 1 : 0;
    return open;
}
