// mailbox.cpp -- the main data handler and the taking side of the mailboxes.
#include "midi/mailbox.h"

#include "midi/bindings.h"
#include "midi/encoders.h"
#include "midi/gestures.h"
#include "midi/outcome.h"
#include "midi/sysex_buffers.h"
#include "midi/transport.h"
#include "midi/window.h"

MessageMailbox messageMailbox = {{}, {nullptr}, {0}};
// A device's bit (1 << device) is set from its short message's signal until
// the worker takes its slot: the worker also wakes for other devices,
// system-exclusive data, knobs and the lights, and must then leave alone a
// message the window dropped here, or one stored before the event existed.
// One word for every device, so that a wake-up costs the devices that sent
// something and no others.
static std::atomic<uint32_t> shortMessageSignalled{0};
// Likewise for a device's system-exclusive buffer given back.
static std::atomic<uint32_t> sysexSignalled{0};

// In a slot's word: a note's press that signalled the worker, not yet read.
// A press the window dropped here has no mark: nothing is to wait for it.
const uint32_t kSignalledPress = 1u << 25;

static bool isNotePress(ShortMessage message) {
    return (message & 0xF0u) == 0x90u && (message & 0x7F0000u) != 0;
}
static bool isNoteRelease(ShortMessage message) {
    return (message & 0xF0u) == 0x80u || ((message & 0xF0u) == 0x90u && (message & 0x7F0000u) == 0);
}

static void handOverSysexBuffer(uint32_t device, MidiParam header);

// ---- A device's ports and their transport ----------------------------------------------

static std::atomic<uint32_t> portRoles[kTransportPorts];
// Each device's transport word not yet taken, and its jog wheel's steps.
static std::atomic<uint32_t> transportWords[kMaxDevices];
static std::atomic<int32_t> jogSteps[kMaxDevices];
static std::atomic<void (*)()> huiSeenHook{nullptr};

void setPortRole(uint32_t device, uint32_t port, uint32_t role) {
    if (device < kMaxDevices && port >= 1 && port <= kMaxDevicePorts) portRoles[transportPort(device, port)].store(role);
}

uint32_t portRole(uint32_t device, uint32_t port) {
    if (device >= kMaxDevices || port < 1 || port > kMaxDevicePorts) return 0;
    return portRoles[transportPort(device, port)].load();
}

uint32_t bindingsPort(uint32_t device) {
    for (uint32_t port = 1; port <= kMaxDevicePorts; ++port) {
        if ((portRole(device, port) & kTransportOnly) == 0) return port;
    }
    return 1;
}

void setHuiSeenHook(void (*hook)()) { huiSeenHook.store(hook); }

uint32_t takeTransportWord(uint32_t device) { return device < kMaxDevices ? transportWords[device].exchange(0) : 0; }

int32_t takeJogSteps(uint32_t device) { return device < kMaxDevices ? jogSteps[device].exchange(0) : 0; }

// A transport message decoded here: a press is handed to the worker through
// the device's bit, the jog wheel's steps are summed (the worker hears of the
// first ones), and a release or a zone select costs nothing more. Only this
// driver thread stores a device's word, the worker only takes it.
static void handOverTransport(uint32_t device, uint32_t slot, const TransportEvent& event,
                              bool zoneWasSeen) {
    EventRef wake = messageMailbox.wakeEvent.load();
    if (event.control == kControlZone) {
        void (*hook)() = huiSeenHook.load();
        if (!zoneWasSeen && hook != nullptr) hook();
        return;
    }
    if (event.intent == kIntentNothing) return;
    if (event.intent == kIntentJog) {
        if (jogSteps[device].fetch_add(event.steps) != 0 || wake == nullptr) return;
    } else {
        transportWords[device].store(transportEventWord(event) | (((portRoles[slot].load() >> 8) & 0xFu) << 24));
    }
    shortMessageSignalled.fetch_or(1u << device);
    if (wake != nullptr) platformSignalEvent(wake);
}

void MIDI_CALLBACK mainDataHandler(MidiCallbackPort, unsigned int message, MidiParam instance, MidiParam param1,
                                   MidiParam param2) {
    // The driver hands back the instance value it was given: a device's
    // number and port. Anything else is no port of the plug-in's.
    uint32_t device = 0, port = 0;
    if (!instancePort(instance, &device, &port)) return;
    // A lent buffer given back holds system-exclusive data (only port 1 is lent any).
    if (message == kMidiInLongData || message == kMidiInLongError) {
        if (port == 1) handOverSysexBuffer(device, param1);
        return;
    }
    // Open, close, long-data and error notifications are not ours to act on.
    if (message != kMidiInData) return;
    // Real-time Start, Continue and Stop on every port; a port that is not
    // the one the rules read carries its protocols' transport and nothing
    // else. The timing clock and Active Sensing cost one compare.
    uint32_t slot = transportPort(device, port), role = portRoles[slot].load();
    ShortMessage transport = static_cast<ShortMessage>(param1) & 0xFFFFFFu;
    TransportEvent event;
    if ((transport & 0xFFu) >= 0xFA && (transport & 0xFFu) <= 0xFC) {
        if (decodeRealTime(transport, &event)) handOverTransport(device, slot, event, true);
        return;
    }
    if ((role & (kTransportOnly | kSpeaksDaw)) != 0) {
        // On the port the rules read, a zone select alone is taken here (the
        // press that follows it at once must find it); its presses go to the
        // worker, where a binding for the same message wins.
        bool seen = huiPortSeen(slot);
        bool rulesPort = (role & kTransportOnly) == 0;
        if (!rulesPort && decodeTransport(slot, role & kSpeaksDaw, transport, &event)) {
            handOverTransport(device, slot, event, seen);
        } else if (rulesPort && (role & kSpeaksHui) != 0 && (transport & 0xFFFFu) == 0x0FB0u &&
                   decodeHui(slot, transport, &event)) {
            handOverTransport(device, slot, event, seen);
            return;
        }
        if (!rulesPort) return;
    }
    // No rule acts on a system message (clock, active sensing, 0xF0 and up),
    // and many instruments send them several times a second: let into the
    // slot and the 50 ms window, they would replace and drop key presses.
    // Nor on pressure (polyphonic, An, or the channel's, Dn): a pad held
    // down sends it many times a second, and would cost the other pads'
    // presses in just the same way.
    uint32_t status = static_cast<uint32_t>(param1) & 0xFFu;
    if (status >= 0xF0u || (status & 0xF0u) == 0xA0u || (status & 0xF0u) == 0xD0u) return;
    EventRef wake = messageMailbox.wakeEvent.load();
    ShortMessage incoming = static_cast<ShortMessage>(param1) & 0xFFFFFFu;
    bool learning = learningFrom(device);
    // The shift button, and the presses and releases of a control with Hold
    // or Double lines, go to the worker whatever the window says, stamped
    // with when they arrived: they never cost a key press (midi/gestures.h).
    // While Learn listens to the device, only the shift button does.
#ifndef NOTEWICK_NO_GESTURES
    if ((!learning || isShiftMessage(incoming, device)) &&
        takeGestureMessage(incoming, static_cast<uint32_t>(param2), platformTickCount(), device)) {
        if (wake != nullptr) platformSignalEvent(wake);
        return;
    }
#else
    static_cast<void>(param2);
#endif
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
    // A release never replaces a press the worker was woken for and has not
    // read yet: while the worker waits on a busy player (reading it for the
    // lights, or sending it a press before), a quick press and its release
    // would otherwise leave only the release, which does nothing. The
    // release is let go: no rule acts on it. NOTE: only this driver thread
    // stores into the slot and the worker only empties it, so the press
    // seen here is either read by the worker or still there.
    if (isNoteRelease(incoming) && (messageMailbox.latestMessage[device].load() & kSignalledPress) != 0) return;
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
    if (wake == nullptr) {  // before init made the event, nobody is woken
        messageMailbox.latestMessage[device].store(word);
        return;
    }
    messageMailbox.latestMessage[device].store(word | (isNotePress(incoming) ? kSignalledPress : 0));
    shortMessageSignalled.fetch_or(1u << device);
    platformSignalEvent(wake);
}

// The worker reads the buffer and lends it again: it is woken whatever the
// window says, so that the driver is not left without buffers.
static void handOverSysexBuffer(uint32_t device, MidiParam header) {
    EventRef wake = messageMailbox.wakeEvent.load();
    if (!sysexBufferReturned(header, device)) return;
    sysexSignalled.fetch_or(1u << device);
    if (wake != nullptr) platformSignalEvent(wake);
}

ShortMessage takeMessage(uint32_t device) {
    // Taking empties the slot: a message stored during a slow send must be
    // acted on once, not once more on the next wake-up (key A would step the
    // volume down eight times, key D toggle play twice).
    return device < kMaxDevices ? messageMailbox.latestMessage[device].exchange(0) & ~kSignalledPress : 0;
}

ShortMessage takeSignalledMessage(uint32_t device) {
    if (device >= kMaxDevices) return 0;
    uint32_t bit = 1u << device;
    return (shortMessageSignalled.fetch_and(~bit) & bit) != 0 ? takeMessage(device) : 0;
}

uint32_t takeSignalledDevices() { return shortMessageSignalled.exchange(0); }

uint32_t takeSysexDevices() { return sysexSignalled.exchange(0); }

bool messageWaiting() { return shortMessageSignalled.load() != 0; }

void resetShortMessageSignal() {
    shortMessageSignalled.store(0);
    sysexSignalled.store(0);
    for (auto& word : transportWords) word.store(0);
    for (auto& steps : jogSteps) steps.store(0);
    for (auto& role : portRoles) role.store(0);
}
