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
