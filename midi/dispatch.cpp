// dispatch.cpp -- the dispatch worker: it takes each message, passes it
// through the 50 ms window (window.cpp) and applies the first rule that holds.
//
// Sections: state; the worker loop; the window and the rule order; the
// user's bindings; rule 1 (keys); rule 2 (pitch bend); rule 3 (modulation
// wheel); rule 4 (channel-16 controllers).
#include "midi/dispatch.h"

#include "core/host.h"
#include "midi/bindings.h"
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

// The last value each binding of the current table acted on, as for the
// wheels; all 0 again whenever a new table is published.
struct BindingValues {
    uint32_t generation;
    int32_t last[kMaxBindings];
};
static BindingValues bindingValues;

void resetDispatchState() {
    resetWindow();
    controllerState = ControllerState{0, 0, 0};
    bindingValues = BindingValues{};
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

static bool bindingRule(ShortMessage message);
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
    // Learn takes the message for the Bindings dialog; a bound control does
    // its binding's action and nothing else; every other message goes to the
    // rules as they have always been.
    if (learnMessage(message) || bindingRule(message)) return true;
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

// A press: a command sent so many times, or the play/pause toggle.
const uint32_t kToggle = 0;

struct PressAction {
    uint32_t command;
    int sends;
};

static void press(const PressAction& action) {
    if (action.command == kToggle) {
        playPauseToggle();
    } else {
        sendRepeated(action.command, action.sends);
    }
}

// Sets the volume to twice the value, unless the value is within one of the
// last one this control acted on.
static void setVolume(int32_t& last, int32_t value) {
    if (isNearValue(last, value)) return;
    sendHostRequest(ReqSetVolume, static_cast<uint32_t>(2 * value));
    last = value;
}

// The pitch-bend wheel's steps: up while still rising above the centre, down
// while still falling below it; moving back toward the centre sends nothing.
static void stepVolume(int32_t& last, int32_t value) {
    if (isNearValue(last, value)) return;
    if (value > 64 && value > last) {
        sendHostCommand(CmdVolumeUp);
    } else if (value < 64 && value < last) {
        sendHostCommand(CmdVolumeDown);
    }
    last = value;
}

// ---- The user's bindings ----------------------------------------------------------

// Each press action does what the key map or the channel-16 controllers do
// for the same function; by BindingAction.
static const PressAction pressActions[kActionVolumeSteps + 1] = {
    {0, 0},                                                   // none: never published
    {CmdPrevious, 1},  {kToggle, 1},      {CmdPlay, 1},       // Previous, Play/Pause, Play
    {CmdPause, 1},     {CmdStop, 1},      {CmdNext, 1},       // Pause, Stop, Next
    {CmdEqualizer, 1}, {CmdPlaylist, 1},  {CmdOpen, 1},       // Equalizer, Playlist, Open
    {CmdShuffle, 1},   {CmdRepeat, 1},                        // Shuffle, Repeat
    {CmdVolumeUp, 4},  {CmdVolumeDown, 4},                    // Volume Up, Volume Down
    {CmdRewind5s, 2},  {CmdForward5s, 2},                     // Rewind, Forward
    {0, 0},            {0, 0},                                // Volume, Volume Steps
};

// A controller counts as pressed from this value on, as MIDI switches do.
const uint32_t kSwitchOn = 64;

// True when a binding took the message.
static bool bindingRule(ShortMessage message) {
    BindingSource source;
    Binding binding;
    uint32_t slot = 0, generation = 0;
    if (!messageSource(message, &source) || !findBinding(source, &binding, &slot, &generation)) return false;
    if (generation != bindingValues.generation) bindingValues = BindingValues{generation, {}};
    int32_t& last = bindingValues.last[slot];
    // The controller's value, or the pitch-bend wheel's high 7 bits whatever
    // its low byte holds (wheels with 14-bit output rarely send a low 0).
    uint32_t value = messageData2(message);
    switch (binding.action) {
        case kActionVolume: setVolume(last, static_cast<int32_t>(value)); break;
        case kActionVolumeSteps: stepVolume(last, static_cast<int32_t>(value)); break;
        default:
            if (source.kind == kSourceController && value < kSwitchOn) break;  // a release
            if (binding.action >= kActionPrevious && binding.action <= kActionForward) {
                press(pressActions[binding.action]);
            }
            break;
    }
    return true;
}

// ---- Rule 1: keys, by their place in the octave -----------------------------

static const PressAction keyActions[12] = {
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

static void keyRule(uint32_t note) { press(keyActions[note % 12]); }

// ---- Rule 2: the pitch-bend wheel steps the volume ---------------------------

static void bendRule(int32_t value) { stepVolume(controllerState.lastBend, value); }

// ---- Rule 3: the modulation wheel sets the volume ----------------------------

static void modulationRule(int32_t value) { setVolume(controllerState.lastModulation, value); }

// ---- Rule 4: controllers on channel 16 -----------------------------------------

const int32_t kButtonPressed = 127;
const uint32_t kVolumeController = 75;

static void channel16Rule(uint32_t controller, int32_t value) {
    if (value != kButtonPressed) {
        if (controller == kVolumeController) setVolume(controllerState.lastVolumeController, value);
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
