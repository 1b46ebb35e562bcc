// mailbox.cpp -- the main data handler and the taking side of the mailbox.
#include "midi/mailbox.h"

#include "midi/outcome.h"
#include "midi/window.h"

MessageMailbox messageMailbox = {{0}, {nullptr}, {0}};

void MIDI_CALLBACK mainDataHandler(MidiCallbackPort, unsigned int message, MidiParam, MidiParam param1, MidiParam) {
    // Open, close, long-data and error notifications are not ours to act on.
    if (message != kMidiInData) return;
    // No rule acts on a system message (clock, active sensing, 0xF0 and up),
    // and many instruments send them several times a second: let into the
    // slot and the 50 ms window, they would replace and drop key presses.
    if ((static_cast<uint32_t>(param1) & 0xFFu) >= 0xF0u) return;
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
        return;
    }
    platformSignalEvent(wake);
}

ShortMessage takeMessage() {
    // Taking empties the slot: a message stored during a slow send must be
    // acted on once, not once more on the next wake-up (key A would step the
    // volume down eight times, key D toggle play twice).
    return messageMailbox.latestMessage.exchange(0);
}
