// controllers.cpp -- the controllers added beside the configured device:
// their sections, their inputs, and their outputs through output_port.cpp.
#include "core/controllers.h"

#include "core/bindings_section.h"
#include "core/followed_port.h"
#include "core/main_port.h"
#include "core/output_port.h"
#include "core/plugin.h"
#include "core/text.h"

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

bool controllerInputOpen(uint32_t device) { return controllerInUse(device) && inputs[device].port != nullptr; }

void resetControllers() {
    for (ControllerInput& input : inputs) input = ControllerInput{};
}

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
    if (in.port == nullptr && in.name[0] != '\0') followDevice(&in.follow);
    return followControllerOutput(device, output);
}

void loadControllers() {
    for (uint32_t device = 1; device < kMaxDevices; ++device) {
        if (!loadSection(device)) continue;
        // A section that is not in the file reads as an empty one.
        const SectionText& section = sectionInEffect(device);
        if (section.length == 0) continue;
        followSection(device);
    }
}

bool applyControllerSection(uint32_t device) { return isController(device) && followSection(device); }

bool removeController(uint32_t device) {
    if (!controllerInUse(device)) return true;
    ControllerInput& in = inputs[device];
    followControllerOutput(device, "");
    closeFollowed(&in.follow);
    in.inUse = false;
    in.name[0] = '\0';
    return removeBindingsSection(device);
}

// ---- The device watch -------------------------------------------------------------------

void controllersDeviceListChanged() {
    for (uint32_t device = 1; device < kMaxDevices; ++device) {
        if (controllerInUse(device) && inputs[device].name[0] != '\0') followDevice(&inputs[device].follow);
    }
}

bool controllersWaiting() {
    for (uint32_t device = 1; device < kMaxDevices; ++device) {
        if (controllerInUse(device) && inputs[device].name[0] != '\0' && inputs[device].port == nullptr) return true;
    }
    return false;
}

bool closeControllersAtQuit() {
    bool all = true;
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
