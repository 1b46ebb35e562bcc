// mailbox.cpp -- the main data handler and the taking side of the mailboxes.
#include "midi/mailbox.h"

#include "midi/bindings.h"
#include "midi/encoders.h"
#include "midi/gestures.h"
#include "midi/outcome.h"
#include "midi/sysex_buffers.h"
#include "midi/window.h"

MessageMailbox messageMailbox = {{}, {nullptr}, {0}};
// 1 from a device's short message's signal until the worker takes its slot:
// the worker also wakes for other devices, system-exclusive data, knobs and
// the lights, and must then leave alone a message the window dropped here,
// or one stored before the event existed.
static std::atomic<uint32_t> shortMessageSignalled[kMaxDevices];

static void handOverSysexBuffer(uint32_t device, MidiParam header);

void MIDI_CALLBACK mainDataHandler(MidiCallbackPort, unsigned int message, MidiParam instance, MidiParam param1,
                                   MidiParam param2) {
    // The driver hands back the instance value it was given: a device's
    // number. Anything else is no port of the plug-in's.
    if (instance >= kMaxDevices) return;
    uint32_t device = static_cast<uint32_t>(instance);
    // A lent buffer given back holds system-exclusive data.
    if (message == kMidiInLongData || message == kMidiInLongError) {
        handOverSysexBuffer(device, param1);
        return;
    }
    // Open, close, long-data and error notifications are not ours to act on.
    if (message != kMidiInData) return;
    // No rule acts on a system message (clock, active sensing, 0xF0 and up),
    // and many instruments send them several times a second: let into the
    // slot and the 50 ms window, they would replace and drop key presses.
    if ((static_cast<uint32_t>(param1) & 0xFFu) >= 0xF0u) return;
    EventRef wake = messageMailbox.wakeEvent.load();
    ShortMessage incoming = static_cast<ShortMessage>(param1) & 0xFFFFFFu;
    bool learning = learningFrom(device);
    // The shift button, and the presses and releases of a control with Hold
    // or Double lines, go to the worker whatever the window says, stamped
    // with when they arrived: they never cost a key press (midi/gestures.h).
    // While Learn listens to the device, only the shift button does.
    if ((!learning || isShiftMessage(incoming, device)) &&
        takeGestureMessage(incoming, static_cast<uint32_t>(param2), platformTickCount(), device)) {
        if (wake != nullptr) platformSignalEvent(wake);
        return;
    }
    // An endless knob's steps are counted and its message goes no further:
    // in the slot it would replace a key press waiting there, and through
    // the window it would cost the next one (midi/encoders.h). The worker
    // hears of a knob's first steps, to act on them. While Learn listens to
    // the device, a knob's message goes to the worker as any other, for
    // Learn to take.
    bool firstSteps = false;
    if (!learning && countEncoderSteps(incoming, &firstSteps, device, shiftHeld(device))) {
        if (firstSteps && wake != nullptr) platformSignalEvent(wake);
        return;
    }
    // NOTE: the store comes before the signal, so the worker that wakes sees it.
    // The driver may still call here just after the port was closed, so this
    // touches nothing but static storage.
    // A message from any other control says whether the shift button was held.
    ShortMessage word = incoming | (shiftHeld(device) ? kShiftFlag : 0);
    // A message the window would drop stays in the slot unsignalled: waking
    // the worker for it would change nothing, and at 10,000 messages a second
    // those wake-ups are most of the worker's work. The tick is a plain read
    // of a counter, safe in a driver callback. NOTE: its drop is counted
    // before it is stored: should the window end meanwhile and the worker take
    // it, the line then shows what the worker did, not a drop.
    if (wake != nullptr && workerWouldDrop(platformTickCount(), device)) {
        countWindowDrop(incoming, device);
        messageMailbox.latestMessage[device].store(word);
        return;
    }
    messageMailbox.latestMessage[device].store(word);
    if (wake == nullptr) return;  // before init made the event, nobody is woken
    shortMessageSignalled[device].store(1);
    platformSignalEvent(wake);
}

// The worker reads the buffer and lends it again: it is woken whatever the
// window says, so that the driver is not left without buffers.
static void handOverSysexBuffer(uint32_t device, MidiParam header) {
    EventRef wake = messageMailbox.wakeEvent.load();
    if (sysexBufferReturned(header, device) && wake != nullptr) platformSignalEvent(wake);
}

ShortMessage takeMessage(uint32_t device) {
    // Taking empties the slot: a message stored during a slow send must be
    // acted on once, not once more on the next wake-up (key A would step the
    // volume down eight times, key D toggle play twice).
    return device < kMaxDevices ? messageMailbox.latestMessage[device].exchange(0) : 0;
}

ShortMessage takeSignalledMessage(uint32_t device) {
    if (device >= kMaxDevices) return 0;
    return shortMessageSignalled[device].exchange(0) != 0 ? takeMessage(device) : 0;
}

bool messageWaiting() {
    for (const std::atomic<uint32_t>& signalled : shortMessageSignalled) {
        if (signalled.load() != 0) return true;
    }
    return false;
}

void resetShortMessageSignal() {
    for (std::atomic<uint32_t>& signalled : shortMessageSignalled) signalled.store(0);
}
