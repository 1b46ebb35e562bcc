// dispatch.cpp -- the dispatch worker: it takes each message, passes it
// through the 50 ms window (window.cpp) and applies the first rule that holds.
//
// Sections: state; the worker loop; the window and the rule order; rule 1
// (keys); rule 2 (pitch bend); rule 3 (modulation wheel); rule 4 (channel-16
// controllers).
#include "midi/dispatch.h"

#include "core/host.h"
#include "midi/mailbox.h"
#include "midi/window.h"

// ---- State (the worker thread's alone) -------------------------------------

// The last value each continuous control acted on.
struct ControllerState {
    int32_t lastBend;
    int32_t lastModulation;
    int32_t lastVolumeController;
};
static ControllerState controllerState = {0, 0, 0};

void resetDispatchState() {
    resetWindow();
    controllerState = ControllerState{0, 0, 0};
}

// ---- The worker loop -------------------------------------------------------

void runDispatchWorker() {
    EventRef wake = messageMailbox.wakeEvent.load();
    for (;;) {
        // NOTE: between marking itself waiting and really waiting, the worker
        // may be held off the processor. A message arriving then inside the
        // window is stored but not signalled, and the next message replaces
        // it. That is harmless: it arrived within 50 ms of the last accepted
        // message, so a worker that was waiting as it said would have dropped
        // it at once; acting on it only because the worker was late would
        // make the window depend on the scheduler.
        setWorkerBusy(false);
        // A wait that fails would fail again at once: end rather than spin.
        if (!platformWaitEvent(wake)) return;
        setWorkerBusy(true);
        ShortMessage message = takeMessage();
        // NOTE: the stop test comes before anything else, and also when the
        // slot was empty: quit's own wake-up usually finds it empty.
        if (messageMailbox.stopFlag.load() != 0) return;
        // An empty slot means the message that signalled was already taken on
        // an earlier wake-up; it must not restart the window.
        if (message == 0) continue;
        dispatchMessage(message, platformTickCount());
    }
}

// ---- The window and the rule order -----------------------------------------

static void keyRule(uint32_t note);
static void bendRule(int32_t value);
static void modulationRule(int32_t value);
static void channel16Rule(uint32_t controller, int32_t value);

const uint32_t kNoteOn = 0x90;
const uint32_t kController = 0xB0;
const uint32_t kPitchBend = 0xE0;
const uint32_t kChannel16Controller = 0xBF;

bool dispatchMessage(ShortMessage message, uint32_t now) {
    if (insideWindow(now)) return false;
    // Every message that passes restarts the window, whether a rule takes it
    // or not.
    restartWindow(now);

    uint32_t status = messageStatus(message);
    uint32_t data1 = messageData1(message);
    uint32_t data2 = messageData2(message);
    // MIDI data bytes are 7-bit: a word with a high bit set in either is no
    // message the rules know, and would ask the host for a volume of up to 510.
    if (((data1 | data2) & 0x80u) != 0) return true;
    int32_t channel = pluginSettings.midiChannel.load();
    // A channel outside 0..15 (a hand-edited file, an empty list selection)
    // matches none of the channel rules; otherwise -1 would turn note-offs on
    // channel 16 (0x8F) into key presses. The channel-16 controllers still work.
    bool channelValid = channel >= 0 && channel <= 15;
    uint32_t c = static_cast<uint32_t>(channel);

    if (channelValid && status == kNoteOn + c && data2 != 0) {
        keyRule(data1);
    } else if (channelValid && status == kPitchBend + c && data1 == 0) {
        bendRule(static_cast<int32_t>(data2));
    } else if (channelValid && status == kController + c && data1 == 1) {
        modulationRule(static_cast<int32_t>(data2));
    } else if (status == kChannel16Controller) {
        channel16Rule(data1, static_cast<int32_t>(data2));
    }
    return true;
}

void playPauseToggle() {
    if (sendHostRequest(ReqPlayState, 0) == 1) {
        sendHostCommand(CmdPause);
    } else {
        sendHostCommand(CmdPlay);
    }
}

bool isNearValue(int32_t previous, int32_t value) {
    return value == previous || value == previous + 1 || value == previous - 1;
}

static void sendRepeated(uint32_t command, int count) {
    for (int i = 0; i < count; ++i) sendHostCommand(command);
}

// ---- Rule 1: keys, by their place in the octave -----------------------------

const uint32_t kToggle = 0;  // the key's action is playPauseToggle

struct KeyAction {
    uint32_t command;
    int sends;
};

static const KeyAction keyActions[12] = {
    {CmdPrevious, 1},    // C
    {CmdEqualizer, 1},   // C#
    {kToggle, 1},        // D: play or pause
    {CmdPlaylist, 1},    // D#
    {CmdPause, 1},       // E
    {CmdStop, 1},        // F
    {CmdOpen, 1},        // F#
    {CmdNext, 1},        // G
    {CmdShuffle, 1},     // G#
    {CmdVolumeDown, 4},  // A
    {CmdRepeat, 1},      // A#
    {CmdVolumeUp, 4},    // B
};

static void keyRule(uint32_t note) {
    const KeyAction& action = keyActions[note % 12];
    if (action.command == kToggle) {
        playPauseToggle();
    } else {
        sendRepeated(action.command, action.sends);
    }
}

// ---- Rule 2: the pitch-bend wheel steps the volume ---------------------------

static void bendRule(int32_t value) {
    int32_t& last = controllerState.lastBend;
    if (isNearValue(last, value)) return;
    // Up while still rising above the centre, down while still falling below
    // it; moving back toward the centre sends nothing.
    if (value > 64 && value > last) {
        sendHostCommand(CmdVolumeUp);
    } else if (value < 64 && value < last) {
        sendHostCommand(CmdVolumeDown);
    }
    last = value;
}

// ---- Rule 3: the modulation wheel sets the volume ----------------------------

static void modulationRule(int32_t value) {
    int32_t& last = controllerState.lastModulation;
    if (isNearValue(last, value)) return;
    sendHostRequest(ReqSetVolume, static_cast<uint32_t>(2 * value));
    last = value;
}

// ---- Rule 4: controllers on channel 16 -----------------------------------------

const int32_t kButtonPressed = 127;
const uint32_t kVolumeController = 75;

static void channel16Rule(uint32_t controller, int32_t value) {
    if (value != kButtonPressed) {
        if (controller != kVolumeController) return;
        int32_t& last = controllerState.lastVolumeController;
        if (isNearValue(last, value)) return;
        sendHostRequest(ReqSetVolume, static_cast<uint32_t>(2 * value));
        last = value;
        return;
    }
    switch (controller) {
        case 19: sendRepeated(CmdRewind5s, 2); break;
        case 20: sendRepeated(CmdForward5s, 2); break;
        case 21: sendHostCommand(CmdStop); break;
        case 22: playPauseToggle(); break;
        case 24: sendHostCommand(CmdPrevious); break;
        case 25: sendHostCommand(CmdNext); break;
        default: break;  // 23 and 75 included
    }
}
