// mailbox.cpp -- the main data handler and the taking side of the mailbox.
#include "midi/mailbox.h"

#include "midi/encoders.h"
#include "midi/outcome.h"
#include "midi/sysex_buffers.h"
#include "midi/window.h"

MessageMailbox messageMailbox = {{0}, {nullptr}, {0}};
// 1 from a short message's signal until the worker takes the slot: the
// worker also wakes for system-exclusive data, and must then leave alone a
// message the window dropped here, or one stored before the event existed.
static std::atomic<uint32_t> shortMessageSignalled{0};

static void handOverSysexBuffer(MidiParam header);

void MIDI_CALLBACK mainDataHandler(MidiCallbackPort, unsigned int message, MidiParam, MidiParam param1, MidiParam) {
    // A lent buffer given back holds system-exclusive data.
    if (message == kMidiInLongData || message == kMidiInLongError) {
        handOverSysexBuffer(param1);
        return;
    }
    // Open, close, long-data and error notifications are not ours to act on.
    if (message != kMidiInData) return;
    // No rule acts on a system message (clock, active sensing, 0xF0 and up),
    // and many instruments send them several times a second: let into the
    // slot and the 50 ms window, they would replace and drop key presses.
    if ((static_cast<uint32_t>(param1) & 0xFFu) >= 0xF0u) return;
    // An endless knob's steps are counted whatever the window does with its
    // message, so that none is lost (midi/encoders.h).
    bool firstSteps = false;
    bool knob = countEncoderSteps(static_cast<ShortMessage>(param1), &firstSteps);
    // NOTE: the store comes before the signal, so the worker that wakes sees it.
    // The driver may still call here just after the port was closed, so this
    // touches nothing but static storage.
    messageMailbox.latestMessage.store(static_cast<uint32_t>(param1));
    EventRef wake = messageMailbox.wakeEvent.load();
    if (wake == nullptr) return;  // before init made the event, nobody is woken
    // A message the window would drop stays in the slot unsignalled: waking
    // the worker for it would change nothing, and at 10,000 messages a second
    // those wake-ups are most of the worker's work. The tick is a plain read
    // of a counter, safe in a driver callback.
    if (workerWouldDrop(platformTickCount())) {
        countWindowDrop(static_cast<ShortMessage>(param1));
        // A knob's first steps inside the window: the worker acts on them as
        // soon as the window ends, and must hear of them to wait that long.
        if (knob && firstSteps) platformSignalEvent(wake);
        return;
    }
    shortMessageSignalled.store(1);
    platformSignalEvent(wake);
}

// The worker reads the buffer and lends it again: it is woken whatever the
// window says, so that the driver is not left without buffers.
static void handOverSysexBuffer(MidiParam header) {
    EventRef wake = messageMailbox.wakeEvent.load();
    if (sysexBufferReturned(header) && wake != nullptr) platformSignalEvent(wake);
}

ShortMessage takeMessage() {
    // Taking empties the slot: a message stored during a slow send must be
    // acted on once, not once more on the next wake-up (key A would step the
    // volume down eight times, key D toggle play twice).
    return messageMailbox.latestMessage.exchange(0);
}

ShortMessage takeSignalledMessage() { return shortMessageSignalled.exchange(0) != 0 ? takeMessage() : 0; }

void resetShortMessageSignal() { shortMessageSignalled.store(0); }
