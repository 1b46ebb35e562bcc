// output_port.cpp -- each device's lights output, found by its device's name.
#include "core/output_port.h"

#include "core/bindings_section.h"
#include "core/followed_port.h"
#include "core/main_port.h"
#include "core/plugin.h"
#include "core/text.h"
#include "midi/identity.h"
#include "midi/lights.h"
#include "midi/ports.h"
#include "platform/platform.h"

// ---- The outputs ---------------------------------------------------------------------

// The added controllers' chosen outputs (the configured device's are in the
// settings), and every device's open output, null while none is.
static int32_t controllerOutIndex[kMaxDevices];
static char controllerOutName[kMaxDevices][kDeviceNameCapacity];
// The output each controller's section names, where its lights go but when
// they go to the paired output of its Port (controllerOutName).
static char controllerChoice[kMaxDevices][kDeviceNameCapacity];
static void* openOutputs[kMaxDevices];
static FollowedPort outputs[kMaxDevices];
// Whether the last Setup sent to the device's output could not be sent whole.
static bool setupCut[kMaxDevices];
// The worker let go of the open output until it is set up again.
static bool lightsHeld[kMaxDevices];

static FollowedPort& outputOf(uint32_t device) {
    FollowedPort& port = outputs[device];
    if (port.index == nullptr) {
        bool configured = device == kConfiguredDevice;
        port = FollowedPort{configured ? &pluginSettings.midiOutDevice : &controllerOutIndex[device],
                            configured ? pluginSettings.midiOutDeviceName : controllerOutName[device],
                            &openOutputs[device], device, true, false};
    }
    return port;
}

static bool chosen(const FollowedPort& port) { return *port.index >= 0 || (port.output && port.name[0] != '\0'); }

MidiOutRef lightsOutputAt(int32_t at) {
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        if (openOutputs[device] != nullptr && *outputOf(device).index == at) return openOutputs[device];
    }
    return nullptr;
}

bool outputIsOpen(uint32_t device) { return device < kMaxDevices && openOutputs[device] != nullptr; }

void chosenOutputName(uint32_t device, char* name) {
    name[0] = '\0';
    if (device >= kMaxDevices || !chosen(outputOf(device))) return;
    appendText(name, kDeviceNameCapacity, device == kConfiguredDevice ? outputOf(device).name : controllerChoice[device]);
}

void resetOutputPort() {
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        openOutputs[device] = nullptr;
        controllerOutIndex[device] = -1;
        controllerOutName[device][0] = controllerChoice[device][0] = '\0';
        outputs[device] = FollowedPort{};
        setupCut[device] = false;
        lightsHeld[device] = false;
    }
    resetInquiries();
}

// ---- Set-up messages ---------------------------------------------------------------------

// The data bytes a message with this status byte takes; -1 for a system-
// exclusive message (up to F7), -2 for no status byte (F7 alone begins none:
// it only ends a system-exclusive message).
static int32_t dataBytes(uint32_t status) {
    if (status < 0x80 || status == 0xF7) return -2;
    if (status == 0xF0) return -1;
    if (status >= 0xF0) return status == 0xF2 ? 2 : status == 0xF1 || status == 0xF3 ? 1 : 0;
    return (status & 0xE0) == 0xC0 ? 1 : 2;
}

bool parseSetupBytes(const char* text, uint8_t* bytes, uint32_t capacity, uint32_t* length) {
    if (!parseHexBytes(text, bytes, capacity, length)) return false;
    // Whole messages: each status byte followed by its data bytes.
    for (uint32_t i = 0; i < *length;) {
        int32_t data = dataBytes(bytes[i]);
        if (data == -2) return false;
        if (data == -1) {
            uint32_t end = i + 1;
            while (end < *length && bytes[end] < 0x80) ++end;
            if (end >= *length || bytes[end] != 0xF7) return false;
            i = end + 1;
            continue;
        }
        for (int32_t k = 1; k <= data; ++k) {
            if (i + static_cast<uint32_t>(k) >= *length || bytes[i + k] >= 0x80) return false;
        }
        i += 1 + static_cast<uint32_t>(data);
    }
    return true;
}

// The whole Setup line holds the user-interface thread this long at most,
// however many system-exclusive messages it has: an output that never
// finishes one is given up on, and the rest of the line is not sent.
const uint32_t kSetupSendMs = 340;


// The device's Setup line in effect: 0 for none (or empty), 1 with its bytes,
// -1 when it is not whole messages, is longer than the line's room, or has a
// system-exclusive message longer than an output takes.
static int32_t readSetup(uint32_t device, uint8_t* bytes, uint32_t* length) {
    char text[kSetupTextCapacity];
    *length = 0;
    const SectionText& section = sectionInEffect(device);
    if (!sectionValue(section, "Setup", text, sizeof text)) return sectionHasKey(section, "Setup") ? -1 : 0;
    if (!parseSetupBytes(text, bytes, kSetupMostBytes, length)) return -1;
    for (uint32_t i = 0; i < *length; ++i) {
        if (bytes[i] != 0xF0) continue;
        uint32_t end = i;
        while (end < *length && bytes[end] != 0xF7) ++end;
        if (end + 1 - i > kMostSysexBytes) return -1;
        i = end;
    }
    return *length != 0 ? 1 : 0;
}

// Sends the device's set-up messages, as its section's Setup line gives
// them, to its output just opened (the bound counted from `started`); none
// of a line that is not whole messages.
static void sendSetup(uint32_t device, uint32_t started) {
    uint8_t bytes[kSetupMostBytes];
    uint32_t length = 0;
    setupCut[device] = false;
    if (readSetup(device, bytes, &length) <= 0) return;
    void* port = openOutputs[device];
    for (uint32_t i = 0; i < length;) {
        uint32_t end = i + 1;
        if (bytes[i] == 0xF0) {
            while (end < length && bytes[end] != 0xF7) ++end;
            uint32_t spent = platformTickCount() - started;
            // What follows may count on what came before: nothing more.
            if (spent >= kSetupSendMs ||
                platformMidiOutSendLong(port, bytes + i, end + 1 - i, kSetupSendMs - spent) != 0) {
                setupCut[device] = true;
                return;
            }
            i = end + 1;
            continue;
        }
        uint32_t message = bytes[i];
        uint32_t data = static_cast<uint32_t>(dataBytes(bytes[i]));
        for (uint32_t k = 1; k <= data && i + k < length; ++k) message |= static_cast<uint32_t>(bytes[i + k]) << (8 * k);
        platformMidiOutSend(port, message);
        i += 1 + data;
    }
}

// Asks the device who it is, once per open of its output: after the Setup,
// which is what makes the device work and so goes first, and within what is
// left of the Setup's bound. An output that did not take the whole Setup is
// asked nothing; a section that says Identity= with nothing is never asked.
// The reply comes to the worker on the device's input (takeIdentityReply);
// one that does not come within the second is given up on where it is read
// (inquiryState), with no timer.
static void askIdentity(uint32_t device, uint32_t started) {
    if (setupCut[device]) return;
    const SectionText& section = sectionInEffect(device);
    char identity[kSetupTextCapacity];
    sectionValue(section, "Identity", identity, sizeof identity);
    bool allowed = !sectionHasKey(section, "Identity") || identity[0] != '\0';
    uint32_t now = platformTickCount(), spent = now - started;
    if (spent >= kSetupSendMs || !startInquiry(device, allowed, now)) return;
    // Waiting before it goes: a quick reply finds the inquiry open. One not
    // sent is waited for in vain, for the second.
    platformMidiOutSendLong(openOutputs[device], kDeviceInquiry, kDeviceInquiryLength, kSetupSendMs - spent);
}

// ---- Opening and closing ---------------------------------------------------------------

// The port has just been opened: its set-up messages and the Device Inquiry
// (bounded together), then the worker sends every light. Sent again for a
// changed Setup, the inquiry is not: it is once per open.
static void handOver(uint32_t device) {
    lightsHeld[device] = false;
    uint32_t started = platformTickCount();
    sendSetup(device, started);
    askIdentity(device, started);
    attachLightsPort(openOutputs[device], device);
}

// Takes the device's output back from the worker and closes it; with
// `darken`, every light goes dark first (the device is still there to be told).
static void closeOutputOf(uint32_t device, bool darken) {
    void* port = openOutputs[device];
    if (port == nullptr) return;
    setupCut[device] = false;
    lightsHeld[device] = false;
    endInquiry(device);
    detachLightsPort(device);
    if (darken) {
        Binding bindings[kMaxBindings];
        uint32_t count = bindingsInEffect(bindings, device);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t kind = lightKind(bindings[i]);
            if (kind != kLightNone && kind != kLightVolume && !lightGivesWay(bindings, count, i)) {
                platformMidiOutSend(port, lightMessage(bindings[i], bindings[i].dark));
            }
        }
    }
    closeFollowed(&outputOf(device));
}

void closeOutput(uint32_t device) {
    if (device < kMaxDevices) closeOutputOf(device, true);
}

void closeOutputsAtQuit() {
    for (uint32_t device = 0; device < kMaxDevices; ++device) closeOutputOf(device, true);
}

// "Could not open MIDI output device "Pad Out": ..." once, owned by `owner`.
static void sayNotOpened(WindowRef owner, uint32_t device) {
    FollowedPort& port = outputOf(device);
    char text[200] = "Could not open MIDI output device \"";
    appendText(text, sizeof text, port.name);
    appendText(text, sizeof text, port.openFailed ? "\": another program may be using it. Its lights start as "
                                                    "soon as it is free."
                                                  : "\": it is not connected. Its lights start when it is.");
    platformMessageBox(owner, text);
}

void openOutputAtStart(uint32_t device) {
    if (device >= kMaxDevices) return;
    FollowedPort& port = outputOf(device);
    if (!chosen(port)) return;
    bool named = port.name[0] != '\0';
    int32_t at = whereIsFollowed(port);
    if (!openFollowed(&port, at)) {
        sayNotOpened(pluginRecord.hostWindow, device);
        return;
    }
    *port.index = at;
    if (!named) outputDeviceName(static_cast<uint32_t>(at), port.name);
    handOver(device);
}

bool followControllerOutput(uint32_t device, const char* name, const char* portName, int32_t at) {
    if (device == kConfiguredDevice || device >= kMaxDevices) return false;
    FollowedPort& port = outputOf(device);
    controllerChoice[device][0] = '\0';
    appendText(controllerChoice[device], kDeviceNameCapacity, name);
    if (portName == nullptr) portName = name;
    // Kept as it is, unless it is open at another output of the same name
    // than the one asked for (another unit's).
    bool elsewhere = at >= 0 && openOutputs[device] != nullptr && *port.index != at;
    if (textEquals(port.name, portName) && !elsewhere) {
        if (openOutputs[device] == nullptr && at >= 0) *port.index = at;
        return false;
    }
    closeOutputOf(device, true);
    port.name[0] = '\0';
    appendText(port.name, kDeviceNameCapacity, portName);
    *port.index = at;
    port.openFailed = false;
    bool opened = name[0] != '\0' && followDevice(&port);
    if (opened) handOver(device);
    retryWhileWaiting();
    return opened;
}

void outputDeviceListChanged() {
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        FollowedPort& port = outputOf(device);
        if (!chosen(port) || port.name[0] == '\0') continue;
        // Gone: nothing to darken on a device that is not there.
        if (openOutputs[device] != nullptr && !followedStillThere(port)) closeOutputOf(device, false);
        if (openOutputs[device] == nullptr && followDevice(&port)) handOver(device);
    }
}

bool outputsWaiting() {
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        const FollowedPort& port = outputOf(device);
        if (port.name[0] != '\0' && followedWaiting(port)) return true;
    }
    return false;
}

bool chooseOutput(const char* name, int32_t at, uint32_t device) {
    if (device >= kMaxDevices) return false;
    FollowedPort& port = outputOf(device);
    closeOutputOf(device, true);
    port.name[0] = '\0';
    appendText(port.name, kDeviceNameCapacity, name);
    *port.index = name[0] == '\0' ? -1 : at;
    port.openFailed = false;
    if (name[0] == '\0') return true;
    int32_t where = whereIsFollowed(port);
    bool opened = openFollowed(&port, where);
    if (opened) {
        *port.index = where;
        handOver(device);
    }
    // Held by another program, or away: tried again while the dialogs stay open.
    retryWhileWaiting();
    return opened;
}

void holdLightsForSetup(uint32_t device) {
    if (device >= kMaxDevices || openOutputs[device] == nullptr) return;
    detachLightsPort(device);
    lightsHeld[device] = true;
}

void reopenOutput(uint32_t device, bool setUpAgain) {
    if (device >= kMaxDevices) return;
    const FollowedPort& port = outputOf(device);
    if (!chosen(port) || port.name[0] == '\0') return;
    if (openOutputs[device] != nullptr && followedStillThere(port)) {
        if (setUpAgain) {
            handOver(device);
        } else if (lightsHeld[device]) {
            lightsHeld[device] = false;
            attachLightsPort(openOutputs[device], device);
        }
        return;
    }
    outputDeviceListChanged();
}

// ---- The Lights line ----------------------------------------------------------------------

// What the line says of the device's Setup, after the rest: nothing when it
// was sent whole, or there is none.
static void describeSetup(uint32_t device, bool open, char* out, size_t capacity) {
    uint8_t bytes[kSetupMostBytes];
    uint32_t length = 0;
    if (readSetup(device, bytes, &length) < 0) {
        appendText(out, capacity, ". Its Setup line is not whole MIDI messages, or is too long: none of it is sent");
    } else if (open && setupCut[device]) {
        appendText(out, capacity, ". Its Setup line could not be sent whole: the output did not take it");
    }
}

static void describeOutput(uint32_t device, const char* name, uint32_t lighting, bool pending, char* out,
                           size_t capacity) {
    out[0] = '\0';
    appendText(out, capacity, "Lights: ");
    if (name[0] == '\0') {
        appendText(out, capacity, "none chosen");
        return;
    }
    appendText(out, capacity, name);
    char number[12];
    formatDecimal(static_cast<int32_t>(lighting), number);
    const char* bindings = lighting == 1 ? " binding" : " bindings";
    const FollowedPort& port = outputOf(device);
    bool inEffect = chosen(port) && textEquals(port.name, name);
    bool open = inEffect && openOutputs[device] != nullptr && followedStillThere(port);
    bool present = open || findOutputDevice(name, inEffect ? *port.index : -1) >= 0;
    if (!present) {
        appendText(out, capacity, " is not connected: ");
        appendText(out, capacity, lighting == 0 ? "no" : number);
        appendText(out, capacity, bindings);
        appendText(out, capacity, lighting == 1 ? " lights when it is" : " light when it is");
        return;
    }
    if (inEffect && !open && !pending) {
        appendText(out, capacity, port.openFailed ? " could not be opened (another program may be using it): "
                                                  : " is not open yet: ");
        appendText(out, capacity, "the lights start as soon as it is free");
        return;
    }
    appendText(out, capacity, " (");
    appendText(out, capacity, lighting == 0 ? "no" : number);
    appendText(out, capacity, bindings);
    if (pending) {
        appendText(out, capacity, lighting == 1 ? " lights after OK)" : " light after OK)");
        return;
    }
    appendText(out, capacity, lighting == 0 ? " light)" : ")");
}

void describeLights(uint32_t device, const char* name, uint32_t lighting, bool pending, char* out, size_t capacity) {
    if (device >= kMaxDevices) device = 0;
    // The output the section names stands for the one its lights go to.
    if (device != kConfiguredDevice && textEquals(name, controllerChoice[device])) name = outputOf(device).name;
    describeOutput(device, name, lighting, pending, out, capacity);
    const FollowedPort& port = outputOf(device);
    bool inEffect = name[0] != '\0' && chosen(port) && textEquals(port.name, name);
    if (inEffect) describeSetup(device, openOutputs[device] != nullptr, out, capacity);
}
