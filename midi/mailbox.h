// mailbox.h -- the one-slot mailboxes between the MIDI drivers' threads and
// the dispatch worker, one per device.
//
// The main data handler stores each device's latest short message in that
// device's slot and signals the one wake event; the worker takes it. Nothing
// is queued: a message not yet taken is overwritten, and several signals
// before the worker waits wake it once.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/device_ports.h"
#include "core/types.h"
#include "platform/midi_input.h"
#include "platform/platform.h"

struct MessageMailbox {
    std::atomic<uint32_t> latestMessage[kMaxDevices];  // 0 when empty (0 is never a real message)
    std::atomic<EventRef> wakeEvent;                   // auto-reset; created by init, never closed
    std::atomic<int32_t> stopFlag;                     // set to 1 by quit
};

extern MessageMailbox messageMailbox;

// The data handler of every input port the plug-in listens to, with the
// device's number (0 for the configured device) as the instance value. Runs
// on the driver's thread, touches nothing but static storage, and only
// stores, counts and signals.
void MIDI_CALLBACK mainDataHandler(MidiCallbackPort port, unsigned int message, MidiParam instance, MidiParam param1,
                                   MidiParam param2);

// ---- A device's ports ------------------------------------------------------------------
// Every input port of a device is opened with the instance value
// portInstance(device, port): port 1 (and a port opened alone) has the
// device's number, as always; port n of the device has device + kMaxDevices
// * (n - 1). Only port 1 is lent buffers for system-exclusive messages.
inline uint32_t portInstance(uint32_t device, uint32_t port) { return device + kMaxDevices * (port - 1); }
// An instance value back into its device and port; false for none of ours.
inline bool instancePort(uintptr_t instance, uint32_t* device, uint32_t* port) {
    if (instance >= uintptr_t{kMaxDevices} * kMaxDevicePorts) return false;
    *device = static_cast<uint32_t>(instance % kMaxDevices);
    *port = static_cast<uint32_t>(instance / kMaxDevices) + 1;
    return true;
}
// What a port (its transportPort slot) is read for, set by the user-interface
// thread before it opens the port: the protocols it speaks (kSpeaksMackie,
// kSpeaksHui), kTransportOnly for every port but the one whose messages go
// to the rules (the key map's, or the section's Port), and in bits 8-11 the
// port's number among the device's ports, for the line (0: port 1). A port
// with no role is read as port 1 always was.
const uint32_t kTransportOnly = 4;
void setPortRole(uint32_t device, uint32_t port, uint32_t role);
uint32_t portRole(uint32_t device, uint32_t port);
// The device's port whose messages go to the rules (1 when none is set).
uint32_t bindingsPort(uint32_t device);
// Worker: the transport word the device's ports handed over since the last
// take (transportEventWord, its port's number in bits 24-27, 0 for port 1), 0 for none; and the
// jog wheel's steps summed since.
uint32_t takeTransportWord(uint32_t device);
int32_t takeJogSteps(uint32_t device);
// A port has sent its first HUI zone select since it was opened: the
// user-interface thread hears of it through this hook (null for none),
// which may only post a message.
void setHuiSeenHook(void (*hook)());

// Takes the device's latest message and empties its slot; 0 when it was empty.
ShortMessage takeMessage(uint32_t device = kConfiguredDevice);
// The worker's take of every device whose short message signalled since the
// last take: one bit a device (1 << device), the signals taken with it.
uint32_t takeSignalledDevices();
// Likewise, every device that gave back a system-exclusive buffer.
uint32_t takeSysexDevices();
// The worker's take: the device's latest message when a short message of it
// signalled since the last take, else 0 (the wake-up was for another device,
// for system-exclusive data, for a knob or for the lights).
ShortMessage takeSignalledMessage(uint32_t device = kConfiguredDevice);
// Whether a device's short message waits for the worker.
bool messageWaiting();
void resetShortMessageSignal();  // for tests
