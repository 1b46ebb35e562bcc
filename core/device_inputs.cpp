// device_inputs.cpp -- every input port of each device, opened by its
// device's unit and port.
#include "core/device_inputs.h"

#include "core/bindings_section.h"
#include "core/controllers.h"
#include "core/plugin.h"
#include "core/text.h"
#include "midi/gestures.h"
#include "midi/mailbox.h"
#include "midi/ports.h"
#include "midi/transport.h"

// ---- State (user-interface thread) -------------------------------------------------------

// A port opened for a device, by its instance value's port (the device's
// port number, but for the configured device's first port, which takes the
// number of the port its settings name: that one is instance 0, as always).
struct OpenedInput {
    void* handle;
    char name[kDeviceNameCapacity];
    char instance[kInstanceKeyCapacity];
    int32_t at;   // the system's number: two units without instances differ only in it
    bool failed;  // found, and could not be opened
};
static OpenedInput opened[kMaxDevices][kMaxDevicePorts];

static PortListing inputListing, outputListing;
static DeviceList devices;
static int32_t unitOf[kMaxDevices];

// The instance each input had when its path was last read: the system gives
// no path for a port held open, the plug-in's own ones included.
static char knownName[kMaxSystemPorts][kDeviceNameCapacity];
static char knownInstance[kMaxSystemPorts][kInstanceKeyCapacity];

void resetDeviceInputs() {
    for (auto& device : opened) {
        for (OpenedInput& port : device) port = OpenedInput{};
    }
    for (int32_t& unit : unitOf) unit = -1;
    for (uint32_t i = 0; i < kMaxSystemPorts; ++i) knownName[i][0] = knownInstance[i][0] = '\0';
    devices.count = 0;
}

int32_t deviceUnitOf(uint32_t device) { return device < kMaxDevices ? unitOf[device] : -1; }

const DeviceList& lastDeviceList() { return devices; }

bool deviceInputOpen(uint32_t device, uint32_t port) {
    return device < kMaxDevices && port >= 1 && port <= kMaxDevicePorts && opened[device][port - 1].handle != nullptr;
}

// ---- Reading the ports ---------------------------------------------------------------------

void readDeviceList(DeviceList* list) {
    readSystemPorts(&inputListing, &outputListing);
    for (uint32_t i = 0; i < inputListing.count; ++i) {
        char* instance = inputListing.instances[i];
        if (instance[0] != '\0') {
            knownName[i][0] = knownInstance[i][0] = '\0';
            appendText(knownName[i], kDeviceNameCapacity, inputListing.names[i]);
            appendText(knownInstance[i], kInstanceKeyCapacity, instance);
        } else if (textEquals(knownName[i], inputListing.names[i])) {
            appendText(instance, kInstanceKeyCapacity, knownInstance[i]);
        }
    }
    groupDevices(&inputListing, &outputListing, list);
}

static void readDevices() { readDeviceList(&devices); }

// ---- Opening and closing ---------------------------------------------------------------------

static bool closeOpened(uint32_t device, uint32_t port) {
    OpenedInput& in = opened[device][port - 1];
    in.failed = false;
    if (in.handle == nullptr) return true;
    bool closed = true;
    closeInputPort(in.handle, &closed);
    if (port == 1) forgetHeld(device);
    if (!closed) return false;
    in.handle = nullptr;
    forgetHuiPort(transportPort(device, port));
    return true;
}

// Port `port` of the device as the system's input `at`, with its role: kept
// when it is open as that port already, else opened (closed first).
static void followOpened(uint32_t device, uint32_t port, int32_t at, uint32_t role) {
    OpenedInput& in = opened[device][port - 1];
    const char* name = inputListing.names[at];
    const char* instance = inputListing.instances[at];
    if (in.handle != nullptr && in.at == at && textEquals(in.name, name) && textEquals(in.instance, instance) &&
        portRole(device, port) == role) {
        return;
    }
    if (!closeOpened(device, port)) return;
    setPortRole(device, port, role);
    forgetHuiPort(transportPort(device, port));
    if (port == 1) forgetHeld(device);
    // Only port 1 is lent buffers: Machine Control and the identity's
    // reply come there; the others carry short messages alone.
    in.handle = openInputPort(static_cast<uint32_t>(at), mainDataHandler, portInstance(device, port), port == 1);
    in.failed = in.handle == nullptr;
    in.at = at;
    in.name[0] = in.instance[0] = '\0';
    appendText(in.name, sizeof in.name, name);
    appendText(in.instance, sizeof in.instance, instance);
}

bool closeDeviceInputs(uint32_t device) {
    bool all = true;
    for (uint32_t port = 1; port <= kMaxDevicePorts; ++port) all = closeOpened(device, port) && all;
    return all;
}

// ---- The pass ---------------------------------------------------------------------------------

// What the port speaks besides real-time: ports 2 and up Mackie Control and
// HUI, port 1 what the section's Transport line says.
static uint32_t speaksOn(uint32_t device, uint32_t port) {
    if (port >= 2) return kSpeaksDaw;
    if (device == kConfiguredDevice) return 0;
    return sectionTransport(sectionInEffect(device));
}

// The configured device: its ports but the one the settings name, which
// main_port.cpp keeps as instance 0. That one's number goes to its first
// port instead, so that each port has an instance of its own.
static void followConfigured(const PortDevice& unit) {
    int32_t main = pluginSettings.midiDevice;
    uint32_t mainPort = 1;
    for (uint32_t port = 1; port <= unit.inputCount; ++port) {
        if (deviceInputPort(&unit, port) == main) mainPort = port;
    }
    setPortRole(kConfiguredDevice, 1, mainPort == 1 ? 0 : mainPort << 8);
    for (uint32_t port = 1; port <= unit.inputCount && port <= kMaxDevicePorts; ++port) {
        if (port == mainPort) continue;
        uint32_t slot = port == 1 ? mainPort : port;
        followOpened(kConfiguredDevice, slot, deviceInputPort(&unit, port),
                     kTransportOnly | speaksOn(kConfiguredDevice, port) | (port >= 2 ? port << 8 : 0));
    }
    // The slots used are 2 up to the port count, whichever port is the main one.
    for (uint32_t slot = unit.inputCount + 1; slot <= kMaxDevicePorts; ++slot) closeOpened(kConfiguredDevice, slot);
}

// A controller: all of its unit's ports, the rules reading its section's Port.
static void followController(uint32_t device, const PortDevice& unit) {
    uint32_t rulesPort = sectionPort(sectionInEffect(device));
    for (uint32_t port = 1; port <= kMaxDevicePorts; ++port) {
        int32_t at = deviceInputPort(&unit, port);
        if (at < 0) {
            closeOpened(device, port);
            continue;
        }
        uint32_t role = speaksOn(device, port) | (port >= 2 ? port << 8 : 0) | (port == rulesPort ? 0 : kTransportOnly);
        followOpened(device, port, at, role);
    }
}

static void followUnits();

void followDeviceInputs() {
    readDevices();
    assignUnits(&devices, unitOf);
    // A unit that moved to a port a later device held until this pass opens
    // on a second pass, once that device has let go of it.
    for (int pass = 0; pass < 2 && (pass == 0 || deviceInputsWaiting()); ++pass) followUnits();
}

static void followUnits() {
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        int32_t unit = unitOf[device];
        if (unit < 0) {
            // A controller followed by its port's name alone (no device of
            // that name) keeps that one port, controllers.cpp's.
            closeDeviceInputs(device);
            setPortRole(device, 1, 0);
            continue;
        }
        if (device != kConfiguredDevice) releaseNamedPort(device);
        if (device == kConfiguredDevice) {
            followConfigured(devices.devices[unit]);
        } else {
            followController(device, devices.devices[unit]);
        }
    }
}

bool deviceInputsWaiting() {
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        for (uint32_t port = 0; port < kMaxDevicePorts; ++port) {
            if (opened[device][port].failed) return true;
        }
    }
    return false;
}

bool closeDeviceInputsAtQuit() {
    bool all = true;
    for (uint32_t device = 0; device < kMaxDevices; ++device) all = closeDeviceInputs(device) && all;
    return all;
}
