// dispatch.cpp -- the dispatch worker: it takes each message, passes it
// through the 50 ms window (window.cpp) and applies the first rule that holds.
//
// Each rule also says what became of the message (midi/outcome.h), for the
// line the dialogs show.
//
// Sections: state; the worker loop; the window and the rule order; presses;
// the user's bindings; rule 1 (keys); rule 2 (pitch bend); rule 3
// (modulation wheel); rule 4 (channel-16 controllers); system-exclusive
// messages (Machine Control transport commands).
#include "midi/dispatch.h"

#include "core/host.h"
#include "midi/bindings.h"
#include "midi/encoders.h"
#include "midi/gestures.h"
#include "midi/identity.h"
#include "midi/lights.h"
#include "midi/mailbox.h"
#include "midi/outcome.h"
#include "midi/sysex_buffers.h"
#include "midi/transport.h"
#include "midi/window.h"

// ---- State (the worker thread's alone) -------------------------------------

// The last value each continuous control acted on.
struct ControllerState {
    int32_t lastBend;
    int32_t lastModulation;
    int32_t lastVolumeController;
};
static ControllerState controllerState = {0, 0, 0};

// What the rule that took the current message tells besides its outcome,
// for the line (midi/outcome.h), and how a binding acted (kHow...); 0 unless
// it sets them.
static uint32_t ruleDetail = 0;
static uint32_t ruleHow = 0;
// The line that names the message's control and is not used, when no
// binding took it; -1 for none.
static int32_t ruleUnusedLine = -1;
// An added controller's message that no binding (nor Learn) took.
static bool ruleUntaken = false;
// The message was its port's transport, acted on and recorded as that.
static bool ruleTransport = false;

// The last value each binding of the current table acted on, as for the
// wheels (0..127), or kNeverActed: until a control has acted, no value is
// near its last one, so a fader's first move acts wherever it goes. All
// kNeverActed again whenever a new table is published.
const uint8_t kNeverActed = 0xFF;
struct BindingValues {
    uint32_t generation;
    uint8_t last[kMaxBindings];
};
static BindingValues bindingValues[kMaxDevices];

static void startBindingValues(BindingValues& values, uint32_t generation) {
    values.generation = generation;
    for (uint8_t& last : values.last) last = kNeverActed;
}

void resetDispatchState() {
    resetWindow();
    resetOutcomes();
    resetLights();
    resetShortMessageSignal();
    controllerState = ControllerState{0, 0, 0};
    for (BindingValues& values : bindingValues) startBindingValues(values, 0);
}

// ---- The worker loop -------------------------------------------------------

// How long the worker may wait: until the lights need it, a knob's counted
// steps may act, or a gesture's decision or action is due.
#ifndef NOTEWICK_NO_GESTURES
static uint32_t gestureActionWaitMs(uint32_t now);
#endif

static uint32_t waitMs(uint32_t now) {
    uint32_t wait = lightsWaitMs(now);
    uint32_t knobs = knobWaitMs(now);
    if (knobs < wait) wait = knobs;
#ifndef NOTEWICK_NO_GESTURES
    uint32_t gestures = gestureActionWaitMs(now);
    if (gestures < wait) wait = gestures;
#endif
    return wait;
}

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
        // Without lights to keep up, or knob steps to act on when the window
        // ends, the wait has no time-out, as always. A wait that fails would
        // fail again at once: end rather than spin.
        if (platformWaitEvent(wake, waitMs(platformTickCount())) == kWaitFailed) return;
        setWorkerBusy(true);
        if (!dispatchWakeUp()) return;
    }
}

bool dispatchWakeUp() {
    uint32_t devices = takeSignalledDevices();
    // NOTE: the stop test comes before anything else, and also when no slot
    // signalled: quit's own wake-up usually finds none.
    if (messageMailbox.stopFlag.load() != 0) return false;
    // A gesture whose time has come acts before its device's next messages
    // are read: a pad held to its hold time is not kept waiting by them.
#ifndef NOTEWICK_NO_GESTURES
    actOnGestures(platformTickCount());
#endif
    // Only the devices that signalled are looked at. An empty slot means the
    // message that signalled was already taken on an earlier wake-up; it
    // must not restart the window.
    for (uint32_t device = 0; devices != 0; ++device, devices >>= 1) {
        if ((devices & 1u) == 0) continue;
        ShortMessage message = takeMessage(device);
        if (message != 0) dispatchMessage(message, platformTickCount(), device);
        dispatchTransport(device, platformTickCount());
    }
    dispatchLongData();
    uint32_t now = platformTickCount();
    actOnKnobSteps(now);
    updateLights(now);
    return true;
}

// ---- The window and the rule order -----------------------------------------

static uint32_t bindingRule(ShortMessage message, uint32_t now, uint32_t device);
static uint32_t bendRule(int32_t value);
static uint32_t modulationRule(int32_t value);
static uint32_t channel16Rule(uint32_t controller, int32_t value);
static uint32_t whyNothing(uint32_t status, uint32_t data1, uint32_t data2, bool channelValid, uint32_t c);
static void press(uint32_t action);
static uint32_t playEntryAction(uint32_t entry);
static void actOnTransport(const TransportEvent& event, uint32_t port, uint32_t device, uint32_t now);
static uint32_t knobAction(const Binding& binding, int32_t steps);
static int32_t clamp(int64_t value, int64_t low, int64_t high);

const uint32_t kNoteOff = 0x80;
const uint32_t kNoteOn = 0x90;
const uint32_t kController = 0xB0;
const uint32_t kPitchBend = 0xE0;
const uint32_t kChannel16Controller = 0xBF;

// The rules for a message of the device that passed the window, and their
// outcome.
static uint32_t applyRules(ShortMessage message, uint32_t now, uint32_t device) {
    uint32_t status = messageStatus(message);
    uint32_t data1 = messageData1(message);
    uint32_t data2 = messageData2(message);
    // MIDI data bytes are 7-bit: a word with a high bit set in either is no
    // message the rules know, and would ask the host for a volume of up to 510.
    if (((data1 | data2) & 0x80u) != 0) {
        ruleUntaken = device != kConfiguredDevice;
        return kNothingNoFunction;
    }
    // Learn takes the message for the Bindings dialog; a bound control does
    // its binding's action and nothing else; every other message of the
    // configured device goes to the rules as they have always been. An added
    // controller has its bindings only.
    if (learnMessage(message, device)) return kTakenByLearn;
    uint32_t bound = bindingRule(message, now, device);
    if (bound != kOutcomeNone) return bound;
    // The rules' port of a device that speaks Mackie Control or HUI there:
    // what no binding took may be its transport.
    uint32_t port = bindingsPort(device), speaks = portRole(device, port) & kSpeaksDaw;
    TransportEvent event;
    if (speaks != 0 && decodeTransport(transportPort(device, port), speaks, message, &event)) {
        ruleTransport = true;
        actOnTransport(event, (portRole(device, port) >> 8) & 0xFu, device, now);
        return kOutcomeNone;
    }
    if (device != kConfiguredDevice) {
        ruleUntaken = true;
        uint32_t kind = status & 0xF0;
        return kind == kNoteOff || (kind == kNoteOn && data2 == 0) ? kNothingNoteOff : kNothingUnbound;
    }
    int32_t channel = pluginSettings.midiChannel.load();
    // A channel outside 0..15 (a hand-edited file, an empty list selection)
    // matches none of the channel rules; otherwise -1 would turn note-offs on
    // channel 16 (0x8F) into key presses. The channel-16 controllers still work.
    bool channelValid = channel >= 0 && channel <= 15;
    uint32_t c = static_cast<uint32_t>(channel);

    if (channelValid && status == kNoteOn + c && data2 != 0) {
        press(keyMapAction(data1));
        return kActedKeyMap;
    }
    if (channelValid && status == kPitchBend + c && data1 == 0) return bendRule(static_cast<int32_t>(data2));
    if (channelValid && status == kController + c && data1 == 1) return modulationRule(static_cast<int32_t>(data2));
    if (status == kChannel16Controller) return channel16Rule(data1, static_cast<int32_t>(data2));
    return whyNothing(status, data1, data2, channelValid, c);
}

// A nothing that a line of the device's section may explain better: a
// control named by a line that is not used gets that line's reason.
static uint32_t explained(uint32_t outcome) {
    if (outcome != kNothingOtherChannel && outcome != kNothingNoFunction && outcome != kNothingFineBend &&
        outcome != kNothingUnbound) {
        return outcome;
    }
    if (ruleUnusedLine < 0) return outcome;
    ruleDetail = static_cast<uint32_t>(ruleUnusedLine);
    return kNothingUnusedLine;
}

bool dispatchMessage(ShortMessage message, uint32_t now, uint32_t device) {
    lightsControlPressed(message, now, device);
    startRecord();
    if (insideWindow(now, device)) {
        recordOutcome(message, kNothingWindow, 0, device);
        return false;
    }
    // Every message of the configured device that passes restarts its
    // window, whether a rule takes it or not. An added controller has no such
    // rule: a message of it that nothing takes leaves its window as it was,
    // and costs none of its presses.
    if (device == kConfiguredDevice) restartWindow(now, device);
    ruleDetail = 0;
    ruleHow = 0;
    ruleUnusedLine = -1;
    ruleUntaken = false;
    ruleTransport = false;
    uint32_t outcome = explained(applyRules(message, now, device));
    if (ruleTransport) return true;  // recorded, and the window restarted, as the transport acted
    if (device != kConfiguredDevice && !ruleUntaken) restartWindow(now, device);
    recordOutcome(message, outcome, ruleDetail, device, ruleHow);
    if (outcome == kTakenByLearn) notifyLearned();
    return true;
}

// ---- Transport: real-time, Mackie Control and HUI buttons with no setup -------------------

// A transport button's press: what it does in the player's state; the
// window is restarted only when it acts, as Machine Control's commands.
static void actOnJog(int32_t steps, uint32_t port, uint32_t device);

static void actOnTransport(const TransportEvent& event, uint32_t port, uint32_t device, uint32_t now) {
    if (event.intent == kIntentJog) {
        actOnJog(event.steps, port, device);
        return;
    }
    uint32_t word = transportEventWord(event);
    startRecord();
    if (insideWindow(now, device)) {
        recordTransportOutcome(word, kActionNone, kNothingWindow, 0, device, port);
        return;
    }
    intptr_t state = intentNeedsPlayState(event.intent) ? sendHostRequest(ReqPlayState, 0) : 0;
    uint32_t why = 0;
    uint8_t action = transportInPlayState(event.intent, state, &why);
    if (action == kActionNone) {
        recordTransportOutcome(word, kActionNone, why, 0, device, port);
        return;
    }
    restartWindow(now, device);
    press(action);
    recordTransportOutcome(word, action, why, 0, device, port);
}

// The jog wheel seeks as an endless knob bound to Seek: all the steps
// summed since it last acted, never through the window.
static void actOnJog(int32_t steps, uint32_t port, uint32_t device) {
    Binding seek{};
    seek.action = kActionSeek;
    TransportEvent event{kProtocolMackie, kControlJog, kIntentJog, 0,
                         static_cast<int8_t>(clamp(steps, -127, 127))};
    startRecord();
    uint32_t outcome = knobAction(seek, steps);
    uint32_t seconds = outcome == kActedEncoder ? ruleDetail & 0xFFFu : 0;
    recordTransportOutcome(transportEventWord(event), outcome == kActedEncoder ? kActionSeek : kActionNone,
                           outcome, seconds, device, port);
}

void dispatchTransport(uint32_t device, uint32_t now) {
    uint32_t word = takeTransportWord(device);
    if (word != 0) actOnTransport(transportEventFromWord(word & 0xFFFFFFu), word >> 24, device, now);
    int32_t steps = takeJogSteps(device);
    if (steps != 0) actOnJog(steps, 0, device);
}

// ---- Gestures: the shift button, long presses and double presses -------------------------

// A Hold or Double line's action, for the control's press as it arrived:
// its Shift line's while the shift button was held, when it has one.
static uint32_t gestureRule(const GestureAction& action, uint32_t device) {
    BindingSource source;
    Binding binding;
    uint32_t slot = 0, generation = 0;
    if (!messageSource(action.message & 0xFFFFFFu, &source)) return kNothingNoFunction;
    source.gesture = static_cast<uint8_t>(action.gesture);
    ruleHow = action.gesture == kGestureHold ? kHowHeld : kHowDouble;
    source.shift = (action.message & kShiftFlag) != 0 ? 1 : 0;
    bool found = findBinding(source, &binding, &slot, &generation, device);
    if (!found && source.shift != 0) {
        source.shift = 0;
        found = findBinding(source, &binding, &slot, &generation, device);
    } else if (found && source.shift != 0) {
        ruleHow |= kHowShift;
    }
    if (!found) return kNothingNoFunction;
    if (binding.action == kActionPlayEntry) return playEntryAction(binding.entry);
    press(binding.action);
    return kActedBinding + binding.action;
}

void actOnGestures(uint32_t now) {
    // Only the devices with a gesture, an action or a shift change pending.
    for (uint32_t device = 0, devices = updateGestures(now); devices != 0; ++device, devices >>= 1) {
        if ((devices & 1u) == 0) continue;
        // The line tells of the shift button, and of a press being decided on.
        ShortMessage message = 0;
        if (shiftChanged(device, &message)) {
            startRecord();
            recordOutcome(message, shiftHeld(device) ? kShiftHeld : kShiftLetGo, 0, device);
        }
        if (gestureBegan(device, &message)) {
            startRecord();
            recordOutcome(message, kGestureWaits, 0, device);
        }
        // What a gesture made goes to the player through the window, as
        // soon as the window lets it: never lost to it.
        GestureAction action;
        while (!insideWindow(now, device) && takeGestureAction(device, &action)) {
            restartWindow(now, device);
            lightsControlPressed(action.message & 0xFFFFFFu, now, device);
            startRecord();
            ruleDetail = 0;
            ruleHow = 0;
            ruleUnusedLine = -1;
            uint32_t outcome = action.gesture == kGesturePress
                                   ? explained(applyRules(action.message, now, device))
                                   : gestureRule(action, device);
            recordOutcome(action.message, outcome, ruleDetail, device, ruleHow);
        }
    }
}

#ifndef NOTEWICK_NO_GESTURES
// How long until a gesture's action may act: its decision's time, or the end
// of its device's window.
static uint32_t gestureActionWaitMs(uint32_t now) {
    uint32_t wait = gestureWaitMs(now);
    for (uint32_t device = 0, devices = gestureDevices(); devices != 0; ++device, devices >>= 1) {
        if ((devices & 1u) == 0 || !gestureActionWaiting(device)) continue;
        uint32_t window = windowRemainingMs(now, device);
        if (window < wait) wait = window;
    }
    return wait;
}
#endif

// Why no rule took the message: the reason the user can act on.
static uint32_t whyNothing(uint32_t status, uint32_t data1, uint32_t data2, bool channelValid, uint32_t c) {
    uint32_t kind = status & 0xF0;
    bool onChannel = channelValid && (status & 0x0F) == c;
    if (kind == kNoteOff || (kind == kNoteOn && data2 == 0)) return kNothingNoteOff;
    // A controller other than the modulation wheel has no function on any
    // channel: that is worth knowing before the channel.
    if (kind == kController && data1 != 1) return kNothingNoFunction;
    if (kind == kPitchBend && onChannel) return kNothingFineBend;
    if (kind == kNoteOn || kind == kPitchBend || kind == kController) return kNothingOtherChannel;
    return kNothingNoFunction;
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

// Sets the volume to twice the value, unless the value is within one of the
// last one this control acted on.
static uint32_t setVolume(int32_t& last, int32_t value, uint32_t acted) {
    if (isNearValue(last, value)) return kNothingNearValue;
    sendHostRequest(ReqSetVolume, 2 * value);
    last = value;
    return acted;
}

// The pitch-bend wheel's steps: up while still rising above the centre, down
// while still falling below it; moving back toward the centre sends nothing.
// `up` is the outcome of a step up, the one after it of a step down. A
// binding that never acted (last kNeverActed) moves from the centre.
static uint32_t stepVolume(int32_t& last, int32_t value, uint32_t up) {
    bool fresh = last == kNeverActed;
    if (!fresh && isNearValue(last, value)) return kNothingNearValue;
    int32_t from = fresh ? 64 : last;
    uint32_t outcome = kNothingTowardCentre;
    if (value > 64 && value > from) {
        sendHostCommand(CmdVolumeUp);
        outcome = up;
    } else if (value < 64 && value < from) {
        sendHostCommand(CmdVolumeDown);
        outcome = up + 1;
    }
    last = value;
    return outcome;
}

// ---- Presses: the key map's, the channel-16 buttons' and the bindings' -------------

struct PressAction {
    uint32_t command;  // 0: the play/pause toggle
    int sends;
};

// What each press action sends, by BindingAction: what the key map or the
// channel-16 controllers send for the same function.
static const PressAction pressActions[kActionForward + 1] = {
    {0, 0},                                                   // none: never pressed
    {CmdPrevious, 1},  {0, 1},            {CmdPlay, 1},       // Previous, Play/Pause, Play
    {CmdPause, 1},     {CmdStop, 1},      {CmdNext, 1},       // Pause, Stop, Next
    {CmdEqualizer, 1}, {CmdPlaylist, 1},  {CmdOpen, 1},       // Equalizer, Playlist, Open
    {CmdShuffle, 1},   {CmdRepeat, 1},                        // Shuffle, Repeat
    {CmdVolumeUp, 4},  {CmdVolumeDown, 4},                    // Volume Up, Volume Down
    {CmdRewind5s, 2},  {CmdForward5s, 2},                     // Rewind, Forward
};

static void press(uint32_t action) {
    if (action < kActionPrevious || action > kActionForward) return;
    const PressAction& p = pressActions[action];
    if (p.command == 0) {
        playPauseToggle();
        return;
    }
    for (int i = 0; i < p.sends; ++i) sendHostCommand(p.command);
}

// ---- The user's bindings ----------------------------------------------------------

// A controller counts as pressed from this value on, as MIDI switches do.
const uint32_t kSwitchOn = 64;

static bool playerStopped() {
    intptr_t state = sendHostRequest(ReqPlayState, 0);
    return state != kPlayStatePlaying && state != kPlayStatePaused;
}

static int32_t clamp(int64_t value, int64_t low, int64_t high) {
    return static_cast<int32_t>(value < low ? low : value > high ? high : value);
}

// Each step of a knob bound to Volume moves the volume by this much of 255.
const int32_t kVolumePerStep = 4;
// A knob bound to Track skips at most this many tracks at once.
const uint32_t kMostTracks = 8;

// An endless knob's action on the sum of its steps since its last one.
static uint32_t knobAction(const Binding& binding, int32_t steps) {
    ruleDetail = kFromKnob;
    if (steps == 0) return kNothingNoStep;
    uint32_t value = 0;
    if (binding.action == kActionVolume) {
        intptr_t volume = sendHostRequest(ReqSetVolume, kAskVolume);
        value = static_cast<uint32_t>(clamp(volume + static_cast<int64_t>(kVolumePerStep) * steps, 0, 255));
        sendHostRequest(ReqSetVolume, static_cast<int32_t>(value));
    } else if (binding.action == kActionSeek) {
        // One second a step, within the track; the line tells the seconds
        // moved, fewer than the steps at either end.
        if (playerStopped()) return kNothingStopped;
        int64_t from = sendHostRequest(ReqPosition, 0);
        int64_t length = static_cast<int64_t>(sendHostRequest(ReqPosition, 1)) * 1000;
        int32_t to = clamp(from + static_cast<int64_t>(steps) * 1000, 0, length > 0 ? length : INT32_MAX);
        sendHostRequest(ReqJumpToTime, to);
        int64_t moved = to > from ? to - from : from - to;
        value = static_cast<uint32_t>(clamp((moved + 500) / 1000, 0, 0xFFF));
    } else {
        uint32_t count = static_cast<uint32_t>(steps < 0 ? -steps : steps);
        for (uint32_t i = 0; i < count && i < kMostTracks; ++i) sendHostCommand(steps < 0 ? CmdPrevious : CmdNext);
        value = count < kMostTracks ? count : kMostTracks;
    }
    ruleDetail = kFromKnob | encoderDetail(binding.action, clamp(steps, -2047, 2047), value);
    return kActedEncoder;
}

// Position: a fader's value is the place in the track, 127 its end.
static uint32_t positionAction(int32_t value) {
    if (playerStopped()) return kNothingStopped;
    int64_t length = sendHostRequest(ReqPosition, 1);
    if (length <= 0) return kNothingNoLength;
    int32_t ms = clamp(static_cast<int64_t>(value) * length * 1000 / 127, 0, INT32_MAX);
    sendHostRequest(ReqJumpToTime, ms);
    ruleDetail = static_cast<uint32_t>(ms / 1000);
    return kActedPosition;
}

// Balance: 0 full left (-127), 64 the centre, 127 full right, a straight line
// on each side; a value within one of the last one acted on is ignored.
static uint32_t balanceAction(int32_t& last, int32_t value) {
    if (isNearValue(last, value)) return kNothingNearValue;
    int32_t balance = value < 64 ? (value - 64) * 127 / 64 : (value - 64) * 127 / 63;
    sendHostRequest(ReqSetBalance, balance);
    last = value;
    ruleDetail = static_cast<uint32_t>(balance + 128);
    return kActedBalance;
}

// Play Entry N: the playlist's entry N (from 1) plays, when there is one.
static uint32_t playEntryAction(uint32_t entry) {
    intptr_t length = sendHostRequest(ReqPlaylistLength, 0);
    if (entry == 0 || static_cast<intptr_t>(entry) > length) {
        ruleDetail = (entry & 0xFFFFu) | (static_cast<uint32_t>(clamp(length, 0, 0xFFFF)) << 16);
        return kNothingNoEntry;
    }
    sendHostRequest(ReqSetPlaylistPosition, static_cast<int32_t>(entry - 1));
    sendHostRequest(ReqStartPlay, 0);
    ruleDetail = entry;
    return kActedPlayEntry;
}

// The knobs' counted steps, each device's: each knob with steps that may act
// acts on their sum, at most once every 50 ms. Knobs never touch the window,
// so a knob turning leaves the keys their turn; and a key waiting is served
// before any further knob acts.
void actOnKnobSteps(uint32_t now) {
    for (uint32_t device = 0, devices = knobDevices(); devices != 0; ++device, devices >>= 1) {
        if ((devices & 1u) == 0) continue;
        BindingSource source;
        // Until a slot is found holding steps the device may not act on yet.
        bool left = false;
        for (int32_t at = pendingKnob(0, &source, device); at >= 0;
             at = pendingKnob(static_cast<uint32_t>(at) + 1, &source, device)) {
            if (messageWaiting()) return;
            uint32_t slot = static_cast<uint32_t>(at);
            Binding binding;
            uint32_t index = 0, generation = 0;
            bool bound = findBinding(source, &binding, &index, &generation, device) &&
                         binding.source.encoder != kNotEncoder;
            // Steps of a knob no longer bound, or counted just before Learn
            // began listening to its device, are let go; left, they would
            // wake the worker again at once. Other devices' knobs act.
            if (!bound || learningFrom(device)) {
                dropKnobSteps(slot, device);
                continue;
            }
            uint32_t record = (0xB0u | source.channel) | (static_cast<uint32_t>(source.number) << 8) |
                              ((kKnobRecord + binding.source.encoder) << 16);
            uint32_t how = source.shift != 0 ? kHowShift : 0;
            // A knob that sends its place does nothing: read as steps, a
            // place would skip tracks eight at a time. The line says so; its
            // steps counted before, if any, act at the next turn.
            if (takeKnobPlaces(slot, device)) {
                left = true;
                startRecord();
                recordOutcome(record, kNothingKnobPlaces, kFromKnob, device, how);
                continue;
            }
            if (!knobDue(slot, now, device)) {
                left = true;
                continue;
            }
            ruleDetail = 0;
            startRecord();
            uint32_t outcome = knobAction(binding, takeKnobSteps(slot, now, device));
            recordOutcome(record, outcome, ruleDetail, device, how);
        }
        if (!left) knobDeviceIdle(device);
    }
}

// The outcome of the binding that took the message; kOutcomeNone when none did.
// The binding for the message's control: while the shift button was held,
// its Shift line when it has one, else its own line.
static bool bindingFor(ShortMessage message, uint32_t device, BindingSource* source, Binding* binding, uint32_t* slot,
                       uint32_t* generation) {
    if (!messageSource(message, source)) return false;
    if ((message & kShiftFlag) != 0) {
        source->shift = 1;
        if (findBinding(*source, binding, slot, generation, device)) {
            ruleHow |= kHowShift;
            return true;
        }
        source->shift = 0;
    }
    return findBinding(*source, binding, slot, generation, device, &ruleUnusedLine);
}

static uint32_t bindingRule(ShortMessage message, uint32_t now, uint32_t device) {
    BindingSource source;
    Binding binding;
    uint32_t slot = 0, generation = 0;
    if (!bindingFor(message, device, &source, &binding, &slot, &generation)) return kOutcomeNone;
    // A shift button's message reaches the rules only while Learn listens.
    if (binding.action == kActionShift) return kShiftHeld;
    BindingValues& values = bindingValues[device];
    if (generation != values.generation) startBindingValues(values, generation);
    // The controller's value, or the pitch-bend wheel's high 7 bits whatever
    // its low byte holds (wheels with 14-bit output rarely send a low 0).
    int32_t value = static_cast<int32_t>(messageData2(message));
    int32_t last = values.last[slot];
    uint32_t outcome = kActedBinding + binding.action;
    // A knob without a slot (past the 64th) acts on its own message's steps,
    // as any control through the window.
    if (binding.source.encoder != kNotEncoder) {
        return knobAction(binding, encoderSteps(binding.source.encoder, messageData2(message)));
    }
    if (binding.action == kActionPosition) return positionAction(value);
    if (binding.action == kActionBalance) {
        outcome = balanceAction(last, value);
    } else if (binding.action == kActionVolume) {
        // A fader in the user's hand gets no volume sent back for a while.
        if (source.kind == kSourceController) {
            lightsControlMoved(slot, generation, static_cast<uint32_t>(value), now, device);
        }
        outcome = setVolume(last, value, kActedBindingVolume);
    } else if (binding.action == kActionVolumeSteps) {
        outcome = stepVolume(last, value, kActedBindingStepUp);
    } else if (source.kind == kSourceController && static_cast<uint32_t>(value) < kSwitchOn) {
        outcome = kNothingReleased;
    } else if (binding.action == kActionPlayEntry) {
        outcome = playEntryAction(binding.entry);
    } else {
        press(binding.action);
    }
    values.last[slot] = static_cast<uint8_t>(last);
    return outcome;
}

// ---- Rule 1: keys, by their place in the octave -----------------------------

static const uint8_t keyMap[12] = {
    kActionPrevious,    // C
    kActionEqualizer,   // C#
    kActionPlayPause,   // D: play or pause
    kActionPlaylist,    // D#
    kActionPause,       // E
    kActionStop,        // F
    kActionOpen,        // F#
    kActionNext,        // G
    kActionShuffle,     // G#
    kActionVolumeDown,  // A: four steps
    kActionRepeat,      // A#
    kActionVolumeUp,    // B: four steps
};

uint32_t keyMapAction(uint32_t note) { return keyMap[note % 12]; }

// ---- Rule 2: the pitch-bend wheel steps the volume ---------------------------

static uint32_t bendRule(int32_t value) { return stepVolume(controllerState.lastBend, value, kActedBendUp); }

// ---- Rule 3: the modulation wheel sets the volume ----------------------------

static uint32_t modulationRule(int32_t value) {
    return setVolume(controllerState.lastModulation, value, kActedModulation);
}

// ---- Rule 4: controllers on channel 16 -----------------------------------------

const int32_t kButtonPressed = 127;
const uint32_t kVolumeController = 75;

uint32_t channel16Action(uint32_t controller) {
    switch (controller) {
        case 19: return kActionRewind;   // twice 5 s back
        case 20: return kActionForward;  // twice 5 s forward
        case 21: return kActionStop;
        case 22: return kActionPlayPause;
        case 24: return kActionPrevious;
        case 25: return kActionNext;
        default: return kActionNone;  // 23 and 75 included
    }
}

static uint32_t channel16Rule(uint32_t controller, int32_t value) {
    if (controller == kVolumeController) {
        if (value == kButtonPressed) return kNothingFaderTop;
        return setVolume(controllerState.lastVolumeController, value, kActedChannel16Volume);
    }
    uint32_t action = channel16Action(controller);
    // Controller 1 here is another channel's modulation wheel.
    if (action == kActionNone) return controller == 1 ? kNothingOtherChannel : kNothingNoFunction;
    if (value != kButtonPressed) return kNothingButtonValue;
    press(action);
    return kActedChannel16Button;
}

// ---- System-exclusive messages: Machine Control transport commands ---------------

// F0 7F <device> 06 <command> F7, from any device number (7F: all); Locate
// with a standard time field: F0 7F <device> 06 44 06 01 hh mm ss ff sf F7.
const uint32_t kCommandLength = 6;
const uint32_t kLocateLength = 13;

// The transport command a whole message is, kMmcNone for none; for Locate,
// *ms is the time it names. A Locate whose hours, minutes, seconds or frames
// are out of range for its frame rate names no time, and is none.
static uint32_t transportCommand(const uint8_t* m, uint32_t length, uint32_t* ms) {
    if (length < kCommandLength || m[1] != 0x7F || m[2] > 0x7F || m[3] != 0x06) return kMmcNone;
    if (length == kCommandLength) {
        switch (m[4]) {
            case 0x01: return kMmcStop;
            case 0x02: return kMmcPlay;
            case 0x03: return kMmcDeferredPlay;
            case 0x04: return kMmcFastForward;
            case 0x05: return kMmcRewind;
            case 0x09: return kMmcPause;
            default: return kMmcNone;
        }
    }
    if (length != kLocateLength || m[4] != 0x44 || m[5] != 0x06 || m[6] != 0x01) return kMmcNone;
    for (uint32_t i = 7; i < 12; ++i) {
        if (m[i] > 0x7F) return kMmcNone;
    }
    // The hours byte's two top bits give the frame rate: 24, 25, 30 drop-frame
    // or 30 frames a second. Subframes are left out.
    static const uint32_t framesPerSecond[4] = {24, 25, 30, 30};
    uint32_t rate = framesPerSecond[(m[7] >> 5) & 3u], hours = m[7] & 0x1Fu;
    if (hours > 23 || m[8] > 59 || m[9] > 59 || m[10] >= rate) return kMmcNone;
    *ms = ((hours * 60 + m[8]) * 60 + m[9]) * 1000 + m[10] * 1000u / rate;
    return kMmcLocate;
}

// What a transport command does in the player's state: kMmcNone when it does
// nothing there (Play while playing, Pause while not), with *outcome saying
// why; otherwise the command, Play becoming kMmcPause to resume a paused
// player (Play would start it again from the top).
static uint32_t transportInState(uint32_t command, uint32_t* outcome) {
    if (command != kMmcPlay && command != kMmcDeferredPlay && command != kMmcPause) return command;
    intptr_t state = sendHostRequest(ReqPlayState, 0);
    if (command == kMmcPause) {
        if (state == kPlayStatePlaying) return kMmcPause;
        *outcome = kNothingNotPlaying;
        return kMmcNone;
    }
    *outcome = kNothingAlreadyPlaying;
    if (state == kPlayStatePlaying) return kMmcNone;
    *outcome = state == kPlayStatePaused ? kActedTransportResume : kActedTransport;
    return state == kPlayStatePaused ? kMmcPause : command;
}

// A Locate's time within the track, as Seek keeps it.
static int32_t withinTrack(uint32_t ms) {
    int64_t length = static_cast<int64_t>(sendHostRequest(ReqPosition, 1)) * 1000;
    return clamp(ms, 0, length > 0 ? length : INT32_MAX);
}

static void transportRule(uint32_t command, uint32_t ms) {
    switch (command) {
        case kMmcPlay:
        case kMmcDeferredPlay: sendHostCommand(CmdPlay); break;
        case kMmcPause: sendHostCommand(CmdPause); break;
        case kMmcLocate: sendHostRequest(ReqJumpToTime, withinTrack(ms)); break;
        case kMmcStop: press(kActionStop); break;
        case kMmcFastForward: press(kActionForward); break;
        default: press(kActionRewind); break;
    }
}

void dispatchLongData() {
    for (uint32_t device = 0, devices = takeSysexDevices(); devices != 0; ++device, devices >>= 1) {
        if ((devices & 1u) != 0) dispatchLongData(device);
    }
}

void dispatchLongData(uint32_t device) {
    uint8_t bytes[kSysexBufferSize];
    uint32_t length = 0;
    bool whole = false;
    while (takeSysexMessage(bytes, &length, &whole, device)) {
        // The device's answer to the Device Inquiry its output was sent: kept
        // for the Bindings dialog, no message the user sent.
        if (whole && takeIdentityReply(device, bytes, length, platformTickCount())) continue;
        startRecord();
        uint32_t ms = 0;
        uint32_t command = whole ? transportCommand(bytes, length, &ms) : kMmcNone;
        // Anything else does nothing, and so, like the system messages that
        // do nothing, costs no key press: it never enters the window. One
        // that came in pieces is ignored whole; longer than Locate, it is no
        // transport command either.
        if (command == kMmcNone) {
            recordSysexOutcome(kMmcNone, length,
                               whole || length > kLocateLength ? kNothingNotTransport : kNothingInPieces, device);
            continue;
        }
        uint32_t now = platformTickCount();
        if (insideWindow(now, device)) {
            recordSysexOutcome(command, ms / 1000, kNothingWindow, device);
            continue;
        }
        // A command that does nothing in the player's state costs no key
        // press either: the window is left as it is.
        uint32_t outcome = kActedTransport;
        uint32_t acts = transportInState(command, &outcome);
        if (acts != kMmcNone) {
            restartWindow(now, device);
            transportRule(acts, ms);
        }
        recordSysexOutcome(command, ms / 1000, outcome, device);
    }
}
