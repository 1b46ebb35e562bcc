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

static void followControllerPorts();
static bool loading = false;

// ---- The section's keys ------------------------------------------------------------------

// The section's Input and Output: the input is followed anew when its name
// changed (closed first), and the output handed to output_port.cpp.
static bool followSection(uint32_t device) {
    ControllerInput& in = inputs[device];
    const SectionText& section = sectionInEffect(device);
    char name[kDeviceNameCapacity + 1] = "", output[kDeviceNameCapacity + 1] = "";
    sectionValue(section, "Input", name, sizeof name);
    sectionValue(section, "Output", output, sizeof output);
    name[kDeviceNameCapacity - 1] = output[kDeviceNameCapacity - 1] = '\0';
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
    if (!loading) followControllerPorts();
    return followControllerOutput(device, output);
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

// The list's device whose ports include the system's input `at`; -1 for none.
static int32_t unitWithInput(const DeviceList* list, int32_t at) {
    for (uint32_t d = 0; at >= 0 && d < list->count; ++d) {
        for (uint32_t port = 1; port <= list->devices[d].inputCount; ++port) {
            if (deviceInputPort(&list->devices[d], port) == at) return static_cast<int32_t>(d);
        }
    }
    return -1;
}

void assignUnits(const DeviceList* list, int32_t* unit) {
    uint64_t taken = 0;
    for (uint32_t device = 0; device < kMaxDevices; ++device) unit[device] = kNoUnitByName;
    if (pluginSettings.midiDevice >= 0) {
        int32_t at = pluginSettings.midiDeviceName[0] == '\0'
                         ? pluginSettings.midiDevice
                         : findInputDevice(pluginSettings.midiDeviceName, pluginSettings.midiDevice);
        unit[kConfiguredDevice] = unitWithInput(list, at);
        if (unit[kConfiguredDevice] >= 0) taken |= 1ull << unit[kConfiguredDevice];
    }
    // Sections with a Unit line first: theirs is theirs wherever it is.
    for (uint32_t pass = 0; pass < 2; ++pass) {
        for (uint32_t device = 1; device < kMaxDevices; ++device) {
            if (!controllerInUse(device) || inputs[device].name[0] == '\0') continue;
            char kept[kInstanceKeyCapacity] = "";
            sectionValue(sectionInEffect(device), "Unit", kept, sizeof kept);
            if ((kept[0] != '\0') != (pass == 0)) continue;
            const char* name = inputs[device].name;
            int32_t found = pass == 0 ? findUnit(list, name, kept) : firstFreeUnit(list, name, taken);
            if (found >= 0 && (taken >> found & 1u) != 0) found = -1;
            if (found >= 0) {
                unit[device] = found;
                taken |= 1ull << found;
            } else if (findUnit(list, name, "") >= 0 || pass == 0) {
                unit[device] = kNoUnitFree;  // its unit is away or every one is held: nothing is opened
            }
        }
    }
}

uint64_t unitsInUse(const DeviceList* list, uint32_t exceptDevice) {
    int32_t unit[kMaxDevices];
    assignUnits(list, unit);
    uint64_t used = 0;
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        if (device != exceptDevice && unit[device] >= 0) used |= 1ull << unit[device];
    }
    return used;
}

int32_t sectionUnit(const DeviceList* list, uint32_t device) {
    int32_t unit[kMaxDevices];
    assignUnits(list, unit);
    return device < kMaxDevices ? unit[device] : kNoUnitByName;
}

// Every controller's ports: its unit's, else its Input's port by name.
void followControllerPorts() {
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
