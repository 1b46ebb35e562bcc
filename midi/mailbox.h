// mailbox.h -- the one-slot mailbox between the MIDI driver's thread and the
// dispatch worker.
//
// The main data handler stores the latest short message and signals the wake
// event; the worker takes it. Nothing is queued: a message not yet taken is
// overwritten, and several signals before the worker waits wake it once.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/types.h"
#include "platform/midi_input.h"
#include "platform/platform.h"

struct MessageMailbox {
    std::atomic<uint32_t> latestMessage;  // 0 when empty (0 is never a real message)
    std::atomic<EventRef> wakeEvent;      // auto-reset; created by init, never closed
    std::atomic<int32_t> stopFlag;        // set to 1 by quit
};

extern MessageMailbox messageMailbox;

// The data handler of the main port (instance value 0). Runs on the driver's
// thread and only stores the message and signals.
void MIDI_CALLBACK mainDataHandler(MidiCallbackPort port, unsigned int message, MidiParam instance, MidiParam param1,
                                   MidiParam param2);

// Takes the latest message and empties the slot; 0 when it was empty.
ShortMessage takeMessage();
// The worker's take: the latest message when a short message signalled since
// the last take, else 0 (the wake-up was for system-exclusive data).
ShortMessage takeSignalledMessage();
void resetShortMessageSignal();  // for tests
