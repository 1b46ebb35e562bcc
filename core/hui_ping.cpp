// hui_ping.cpp -- the host's ping to every port that has spoken HUI.
#include "core/hui_ping.h"

#include <atomic>

#include "core/device_inputs.h"
#include "core/output_port.h"
#include "midi/mailbox.h"
#include "midi/ports.h"
#include "midi/transport.h"
#include "platform/platform.h"

static WindowRef watch = nullptr;
// The watch as the MIDI callback reads it: it only posts to it.
static std::atomic<WindowRef> nudged{nullptr};
static bool ticking = false;

// The MIDI callback: a port's first zone select since it was opened.
static void huiSeen() {
    WindowRef target = nudged.load();
    if (target != nullptr) platformNudgeDeviceWatch(target);
}

// The system's output paired with the device's port in `slot` (its role
// keeps which of the device's ports it is), -1 for none.
static int32_t pairedOutput(uint32_t device, uint32_t slot) {
    int32_t unit = deviceUnitOf(device);
    if (unit < 0 || static_cast<uint32_t>(unit) >= lastDeviceList().count) return -1;
    uint32_t port = (portRole(device, slot) >> 8) & 0xFu;
    return deviceOutputPort(&lastDeviceList().devices[unit], port == 0 ? 1 : port);
}

// Pings every open port that has sent a zone select, then runs the timer
// while there is one. A lights output open there takes the ping (a short
// message, which the driver takes at once); else the output is opened for
// the ping alone and let go, so that the lights can have it. A port first
// heard while the timer runs waits for its next tick: the others are not
// pinged twice within the second.
static void pingTick(bool nudged) {
    if (nudged && ticking) return;
    bool any = false;
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        for (uint32_t slot = 1; slot <= kMaxDevicePorts; ++slot) {
            if (!huiPortSeen(transportPort(device, slot)) || !deviceInputOpen(device, slot)) continue;
            any = true;
            int32_t at = pairedOutput(device, slot);
            if (at < 0) continue;
            MidiOutRef out = lightsOutputAt(at);
            if (out != nullptr) {
                platformMidiOutSend(out, kHuiPing);
                continue;
            }
            out = openOutputPort(static_cast<uint32_t>(at));
            if (out == nullptr) continue;
            platformMidiOutSend(out, kHuiPing);
            closeOutputPort(out);
        }
    }
    if (any != ticking && watch != nullptr) platformSetDeviceWatchTick(watch, any ? kHuiPingIntervalMs : 0, pingTick);
    ticking = any && watch != nullptr;
}

void startHuiPing(WindowRef deviceWatch) {
    watch = deviceWatch;
    ticking = false;
    if (watch == nullptr) return;
    platformSetDeviceWatchTick(watch, 0, pingTick);
    nudged.store(watch);
    setHuiSeenHook(huiSeen);
}

void stopHuiPing() {
    setHuiSeenHook(nullptr);
    nudged.store(nullptr);
    if (watch != nullptr) platformSetDeviceWatchTick(watch, 0, nullptr);
    watch = nullptr;
    ticking = false;
}

bool huiPingTicking() { return ticking; }
