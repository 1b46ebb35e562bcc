// outcome.cpp -- the record of the last message and its outcome, and the
// line that puts them in words.
#include "midi/outcome.h"

#include <atomic>

#include "core/text.h"
#include "midi/bindings.h"
#include "midi/dispatch.h"
#include "midi/gestures.h"
#include "core/bindings_section.h"
#include "midi/mailbox.h"
#include "midi/transport.h"

// ---- The record -------------------------------------------------------------------------

// The last channel message the worker took, its outcome in the top byte. A
// system-exclusive message's record has a low byte below 0x80, which no
// channel message's status byte is: its transport command in bits 0-2, and a
// 20-bit value in bits 3-6 (the low four) and 8-23.
static std::atomic<uint32_t> lastRecord{0};
// What the record's outcome tells besides, and the device the message came
// from, written before the record.
static std::atomic<uint32_t> lastDetail{0};
static std::atomic<uint32_t> lastDevice{0};
// How many drops the handler had counted when that record was written.
static std::atomic<uint32_t> dropsAtRecord{0};
// Channel messages the handler dropped inside the window, and the last of
// them, with its device in bits 24-27.
static std::atomic<uint32_t> windowDrops{0};
static std::atomic<uint32_t> lastDrop{0};

static bool isChannelMessage(ShortMessage message) {
    uint32_t status = messageStatus(message);
    return status >= 0x80 && status < 0xF0;
}

// The drops counted when the worker took the message it records next
// (worker thread only).
static uint32_t dropsAtStart = 0;

void startRecord() { dropsAtStart = windowDrops.load(); }

static void storeRecord(uint32_t record) {
    dropsAtRecord.store(dropsAtStart);
    lastRecord.store(record);
}

void recordOutcome(ShortMessage message, uint32_t outcome, uint32_t detail, uint32_t device, uint32_t how) {
    if (!isChannelMessage(message)) return;
    lastDetail.store(detail);
    lastDevice.store(device | (how << 8));
    storeRecord((message & 0xFFFFFFu) | (outcome << 24));
}

const uint32_t kSysexValueLimit = 0xFFFFF;

void recordSysexOutcome(uint32_t command, uint32_t value, uint32_t outcome, uint32_t device) {
    if (value > kSysexValueLimit) value = kSysexValueLimit;
    lastDevice.store(device);
    storeRecord((command & 7u) | ((value & 0xFu) << 3) | ((value >> 4) << 8) | (outcome << 24));
}

void recordTransportOutcome(uint32_t eventWord, uint32_t action, uint32_t why, uint32_t seconds, uint32_t device,
                            uint32_t port) {
    lastDetail.store((action & 0xFFu) | ((why & 0xFFu) << 8) | ((seconds & 0xFFFFu) << 16));
    lastDevice.store(device | ((port & 0xFu) << 16));
    storeRecord((eventWord & 0xFFFFFFu) | (static_cast<uint32_t>(kTransportEvent) << 24));
}

// "Mackie Control Play: Play (transport)", "Mackie Control jog wheel, 3
// steps clockwise: Seek +3 s (transport)".
static void describeTransportRecord(uint32_t record, uint32_t detail, char* out, size_t capacity) {
    TransportEvent event = transportEventFromWord(record & 0xFFFFFFu);
    uint32_t action = detail & 0xFFu, why = (detail >> 8) & 0xFFu, seconds = detail >> 16;
    if (why == kNothingWindow) {
        describeTransportEvent(event, out, capacity);
        appendText(out, capacity, ": nothing: within 50 ms of the previous message");
    } else if (action == kActionSeek) {
        describeTransportEvent(event, out, capacity);
        appendText(out, capacity, event.steps < 0 ? ": Seek -" : ": Seek +");
        char number[12];
        formatDecimal(static_cast<int32_t>(seconds), number);
        appendText(out, capacity, number);
        appendText(out, capacity, " s (transport)");
    } else if (event.control == kControlJog && why == kNothingStopped) {
        describeTransportEvent(event, out, capacity);
        appendText(out, capacity, ": nothing: the player is stopped");
    } else {
        transportLine(event, static_cast<uint8_t>(action), why, out, capacity);
    }
}

static bool isSysexRecord(uint32_t record) { return (record & 0x80u) == 0; }
static uint32_t sysexCommand(uint32_t record) { return record & 7u; }
static uint32_t sysexValue(uint32_t record) { return ((record >> 3) & 0xFu) | (((record >> 8) & 0xFFFFu) << 4); }

void countWindowDrop(ShortMessage message, uint32_t device) {
    if (!isChannelMessage(message)) return;
    lastDrop.store((message & 0xFFFFFFu) | ((device & 0x0Fu) << 24));
    windowDrops.fetch_add(1);
}

// While the record is still Learn's message as taken, its outcome becomes `outcome`.
static void relabelLearned(ShortMessage message, uint32_t outcome) {
    uint32_t taken = (message & 0xFFFFFFu) | (static_cast<uint32_t>(kTakenByLearn) << 24);
    lastRecord.compare_exchange_strong(taken, (message & 0xFFFFFFu) | (outcome << 24));
}

void markLearnRefused(ShortMessage message) { relabelLearned(message, kNothingLearnRefused); }

void markLearnSkipped(ShortMessage message) { relabelLearned(message, kNothingLearnWaits); }

void markLearnShift(ShortMessage message, bool held) { relabelLearned(message, held ? kShiftHeld : kShiftLetGo); }

void resetOutcomes() {
    dropsAtStart = 0;
    lastRecord.store(0);
    lastDetail.store(0);
    lastDevice.store(0);
    dropsAtRecord.store(0);
    windowDrops.store(0);
    lastDrop.store(0);
}

// ---- In words ---------------------------------------------------------------------------

static void appendNumber(char* out, size_t capacity, int32_t number) {
    char text[12];
    formatDecimal(number, text);
    appendText(out, capacity, text);
}

void describeMessage(ShortMessage message, char* out, size_t capacity) {
    static const char* const kinds[7] = {"Note-off ", "Note-on ",        "Key pressure ", "Controller ",
                                         "Program ",  "Channel pressure ", "Pitch bend "};
    uint32_t status = messageStatus(message), data1 = messageData1(message), data2 = messageData2(message);
    uint32_t kind = (status >> 4) - 8;
    out[0] = '\0';
    if (!isChannelMessage(message)) {
        appendText(out, capacity, "A MIDI message");
        return;
    }
    appendText(out, capacity, kinds[kind]);
    if (kind <= 2) {  // a note: its number and name
        appendNumber(out, capacity, static_cast<int32_t>(data1));
        appendText(out, capacity, " (");
        appendNoteName(out, capacity, data1);
        appendText(out, capacity, ")");
    }
    if (kind <= 1) appendText(out, capacity, ", velocity ");
    if (kind == 2 || kind == 3) {
        if (kind == 3) appendNumber(out, capacity, static_cast<int32_t>(data1));
        appendText(out, capacity, " = ");
    }
    if (kind == 4 || kind == 5) {
        appendNumber(out, capacity, static_cast<int32_t>(data1));
    } else if (kind == 6) {
        appendNumber(out, capacity, static_cast<int32_t>((data2 << 7) | data1));
    } else {
        appendNumber(out, capacity, static_cast<int32_t>(data2));
    }
    appendText(out, capacity, ", channel ");
    appendNumber(out, capacity, static_cast<int32_t>(status & 0x0F) + 1);
}

// The outcomes in words, by Outcome: an action and where it came from, or why
// nothing was done. A null text is made from the message.
struct OutcomeWords {
    const char* text;
    const char* from;
};
static const OutcomeWords outcomeWords[kNothingKnobPlaces + 1] = {
    {"", ""},
    {nullptr, " (key map)"},
    {"Volume ", " (binding)"},
    {"Volume Up", " (binding)"},
    {"Volume Down", " (binding)"},
    {"Volume Up", " (pitch-bend wheel)"},
    {"Volume Down", " (pitch-bend wheel)"},
    {"Volume ", " (modulation wheel)"},
    {nullptr, " (channel-16 controller)"},
    {"Volume ", " (channel-16 controller)"},
    {"taken by Learn", ""},
    {"nothing: within 50 ms of the previous message", ""},
    {"nothing: a note-off", ""},
    {nullptr, ""},
    {nullptr, ""},
    {"nothing: the wheel moved back toward the centre", ""},
    {"nothing: within one of the last value", ""},
    {"nothing: a release (the binding acts from 64 up)", ""},
    {"nothing: only bends whose low byte is 0 count. Bind the wheel with Bindings", ""},
    {"nothing: a channel-16 button acts on 127 only", ""},
    {"nothing: controller 75 on channel 16 sets the volume from 0 to 126 only", ""},
    {"nothing: Learn did not bind it", ""},
    {nullptr, ""},
    {"Position ", " (binding)"},
    {"Balance ", " (binding)"},
    {"Play Entry ", " (binding)"},
    {"nothing: the player is stopped", ""},
    {"nothing: the track's length is not known", ""},
    {"nothing: the playlist has ", ""},
    {"nothing: no step", ""},
    {"nothing: Learn waits for the knob it took turned one step to the left", ""},
    {nullptr, ""},
    {"nothing: no binding takes it. Bind it with Bindings", ""},
    {"Shift held", ""},
    {"nothing: Shift let go", ""},
    {"waits: held, pressed again, or let go?", ""},
    {"nothing: it sends its place (absolute values), not steps. Set it to relative in its maker's editor", ""},
};
// From kActedTransport on.
static const OutcomeWords transportWords[kNothingAlreadyPlaying - kActedTransport + 1] = {
    {nullptr, " (transport)"},
    {"Resume", " (transport)"},
    {"nothing: the player is not playing", ""},
    {"nothing: not a transport command", ""},
    {"nothing: it arrived in pieces", ""},
    {"nothing: the player is playing already", ""},
};

// By TransportCommand: the message's name, and what it does.
static const char* const transportNames[8] = {"",       "Stop",  "Play",  "Deferred Play", "Fast Forward",
                                              "Rewind", "Pause", "Locate"};
static const char* const transportActions[8] = {"", "Stop", "Play", "Play", "Forward", "Rewind", "Pause", "Jump to "};

// "1:02:03", or "2:03" within the first hour.
static void appendTime(char* out, size_t capacity, uint32_t seconds) {
    const uint32_t parts[3] = {seconds / 3600, seconds / 60 % 60, seconds % 60};
    uint32_t first = parts[0] == 0 ? 1 : 0;
    appendNumber(out, capacity, static_cast<int32_t>(parts[first]));
    for (uint32_t i = first + 1; i < 3; ++i) {
        appendText(out, capacity, parts[i] < 10 ? ":0" : ":");
        appendNumber(out, capacity, static_cast<int32_t>(parts[i]));
    }
}

// "Jump to 1:02:03 (transport)", "nothing: not a transport command".
static void describeTransportOutcome(uint32_t record, uint32_t outcome, char* out, size_t capacity) {
    const OutcomeWords& words = transportWords[outcome - kActedTransport];
    if (outcome == kActedTransport) {
        appendText(out, capacity, transportActions[sysexCommand(record)]);
        if (sysexCommand(record) == kMmcLocate) appendTime(out, capacity, sysexValue(record));
    }
    if (words.text != nullptr) appendText(out, capacity, words.text);
    appendText(out, capacity, words.from);
}

// "MMC Play", "system exclusive, 23 bytes".
static void describeSysex(uint32_t record, char* out, size_t capacity) {
    out[0] = '\0';
    if (sysexCommand(record) == kMmcNone) {
        appendText(out, capacity, "system exclusive, ");
        appendNumber(out, capacity, static_cast<int32_t>(sysexValue(record)));
        appendText(out, capacity, " bytes");
        return;
    }
    appendText(out, capacity, "MMC ");
    appendText(out, capacity, transportNames[sysexCommand(record)]);
}

// An endless knob's action: "Volume 196 (binding, 1 step down)", "Seek +12 s
// (binding, 12 steps)", "Next track, 3 times (binding, 3 steps)".
static void describeKnob(uint32_t detail, char* out, size_t capacity) {
    uint32_t action = (detail >> 24) & 0x7Fu, value = detail & 0xFFFu;
    int32_t steps = static_cast<int32_t>((detail >> 12) & 0xFFFu);
    if (steps >= 2048) steps -= 4096;
    uint32_t count = static_cast<uint32_t>(steps < 0 ? -steps : steps);
    if (action == kActionVolume) {
        appendText(out, capacity, "Volume ");
        appendNumber(out, capacity, static_cast<int32_t>(value));
    } else if (action == kActionSeek) {
        // The seconds the position moved: fewer than the steps at either end.
        appendText(out, capacity, steps < 0 ? "Seek -" : "Seek +");
        appendNumber(out, capacity, static_cast<int32_t>(value));
        appendText(out, capacity, " s");
    } else {
        appendText(out, capacity, steps < 0 ? "Previous track" : "Next track");
        if (value != 1) {
            appendText(out, capacity, ", ");
            appendNumber(out, capacity, static_cast<int32_t>(value));
            appendText(out, capacity, " times");
        }
    }
    appendText(out, capacity, " (binding, ");
    appendNumber(out, capacity, static_cast<int32_t>(count));
    appendText(out, capacity, count == 1 ? " step" : " steps");
    if (action == kActionVolume) appendText(out, capacity, steps < 0 ? " down" : " up");
    appendText(out, capacity, ")");
}

// Where an action came from: " (binding)", and for a binding acted on by a
// gesture or its Shift line, how: " (binding, held)", " (binding, with Shift)".
static void appendFrom(char* out, size_t capacity, const char* from, uint32_t how) {
    if (how == 0 || !textEquals(from, " (binding)")) {
        appendText(out, capacity, from);
        return;
    }
    appendText(out, capacity, " (binding");
    if ((how & kHowHeld) != 0) appendText(out, capacity, ", held");
    if ((how & kHowDouble) != 0) appendText(out, capacity, ", double press");
    if ((how & kHowShift) != 0) appendText(out, capacity, ", with Shift");
    appendText(out, capacity, ")");
}

// The gesture a pressed control's lines all wait for: kGestureHold when the
// device binds the control with Hold lines (and maybe Double ones) but no
// plain one, so that a short press finds no binding; otherwise
// kGestureDouble when it has Double lines only, else kGesturePress.
static uint32_t gestureOnly(ShortMessage message, uint32_t device) {
    BindingSource source;
    if (!messageSource(message, &source) || (source.kind != kSourceNote && source.kind != kSourceController) ||
        (source.kind == kSourceController && messageData2(message) < 64)) {
        return kGesturePress;
    }
    Binding bindings[kMaxBindings];
    uint32_t count = bindingsInEffect(bindings, device), waits = kGesturePress;
    for (uint32_t i = 0; i < count; ++i) {
        const BindingSource& bound = bindings[i].source;
        if (bound.kind != source.kind || bound.number != source.number || bound.channel != source.channel) continue;
        if (bound.gesture == kGesturePress) return kGesturePress;
        if (waits != kGestureHold) waits = bound.gesture;
    }
    return waits;
}

static void describeOutcome(ShortMessage message, uint32_t outcome, uint32_t detail, uint32_t device, uint32_t how,
                            char* out, size_t capacity) {
    uint32_t data1 = messageData1(message), kind = messageStatus(message) & 0xF0;
    out[0] = '\0';
    if (outcome >= kActedTransport && outcome <= kNothingAlreadyPlaying) {
        describeTransportOutcome(message, outcome, out, capacity);
        return;
    }
    if (outcome > kActedBinding && outcome <= kActedBinding + kActionCount) {
        appendText(out, capacity, bindingActionName(outcome - kActedBinding));
        appendFrom(out, capacity, " (binding)", how);
        return;
    }
    if (outcome > kNothingKnobPlaces) return;
    // A control bound as Hold only, let go before the hold time.
    uint32_t waits = outcome == kNothingUnbound || outcome == kNothingOtherChannel || outcome == kNothingNoFunction
                         ? gestureOnly(message, device)
                         : static_cast<uint32_t>(kGesturePress);
    if (waits == kGestureHold) {
        appendText(out, capacity, "nothing: let go before the hold time (");
        appendNumber(out, capacity, static_cast<int32_t>(holdTimeMs()));
        appendText(out, capacity, " ms): its binding waits for a hold");
        return;
    }
    const OutcomeWords& words = outcomeWords[outcome];
    if (outcome == kActedEncoder) {
        describeKnob(detail, out, capacity);
        return;
    }
    if (outcome == kActedKeyMap) appendText(out, capacity, bindingActionName(keyMapAction(data1)));
    if (outcome == kActedChannel16Button) appendText(out, capacity, bindingActionName(channel16Action(data1)));
    if (words.text != nullptr) appendText(out, capacity, words.text);
    if (outcome == kActedBindingVolume || outcome == kActedModulation || outcome == kActedChannel16Volume) {
        appendNumber(out, capacity, static_cast<int32_t>(2 * messageData2(message)));
    }
    if (outcome == kActedPosition) appendTime(out, capacity, detail);
    if (outcome == kActedBalance) appendNumber(out, capacity, static_cast<int32_t>(detail) - 128);
    if (outcome == kActedPlayEntry) appendNumber(out, capacity, static_cast<int32_t>(detail));
    if (outcome == kNothingUnusedLine) {
        appendText(out, capacity, "nothing: ");
        describeUnusedLine(device, detail, out, capacity);
    }
    if (outcome == kNothingNoEntry) {
        appendNumber(out, capacity, static_cast<int32_t>(detail >> 16));
        appendText(out, capacity, detail >> 16 == 1 ? " entry, no entry " : " entries, no entry ");
        appendNumber(out, capacity, static_cast<int32_t>(detail & 0xFFFFu));
    }
    appendFrom(out, capacity, words.from, how);
    if (outcome == kNothingOtherChannel) {
        int32_t channel = pluginSettings.midiChannel.load();
        appendText(out, capacity, "nothing: Notewick listens on ");
        if (channel < 0 || channel > 15) {
            appendText(out, capacity, "no channel");
        } else {
            appendText(out, capacity, "channel ");
            appendNumber(out, capacity, channel + 1);
        }
    } else if (outcome == kNothingNoFunction && (kind == 0xB0 || kind == 0xC0)) {
        appendText(out, capacity, kind == 0xB0 ? "nothing: controller " : "nothing: program ");
        appendNumber(out, capacity, static_cast<int32_t>(data1));
        appendText(out, capacity, " has no function here. Bind it with Bindings");
    } else if (outcome == kNothingNoFunction) {
        appendText(out, capacity, "nothing: no function here");
    }
}

void startLine(LineState* seen) {
    seen->record = lastRecord.load();
    seen->detail = lastDetail.load();
    seen->dropsAtRecord = dropsAtRecord.load();
    seen->drops = windowDrops.load();
    seen->device = lastDevice.load() & 0xFFu;
    seen->how = (lastDevice.load() >> 8) & 0xFFu;
    seen->port = lastDevice.load() >> 16;
}

bool nextLine(LineState* seen, char* line, size_t capacity) {
    // NOTE: the worker writes the detail before the record: a record read
    // twice the same around the detail goes with it.
    LineState now = {lastRecord.load(), 0, 0, 0, 0, 0, 0};
    for (;;) {
        now.detail = lastDetail.load();
        now.device = lastDevice.load() & 0xFFu;
        now.how = (lastDevice.load() >> 8) & 0xFFu;
        now.port = lastDevice.load() >> 16;
        uint32_t again = lastRecord.load();
        if (again == now.record) break;
        now.record = again;
    }
    now.dropsAtRecord = dropsAtRecord.load();
    now.drops = windowDrops.load();
    // The same message again after a drop is news too: the drops counted
    // with the record moved.
    if (now.record == seen->record && now.detail == seen->detail && now.device == seen->device &&
        now.how == seen->how && now.port == seen->port && now.dropsAtRecord == seen->dropsAtRecord && now.drops == seen->drops) {
        return false;
    }
    // A drop the handler counted after the record is the newest message.
    ShortMessage message = now.record & 0xFFFFFFu;
    uint32_t outcome = now.record >> 24;
    uint32_t detail = now.detail;
    uint32_t device = now.device, how = now.how;
    if (now.drops != now.dropsAtRecord) {
        uint32_t drop = lastDrop.load();
        message = drop & 0xFFFFFFu;
        device = drop >> 24;
        outcome = kNothingWindow;
        detail = 0;
        how = 0;
    }
    *seen = now;
    seen->device = device;
    // A message of the port the rules read: that port's number.
    if (outcome != kTransportEvent) seen->port = (portRole(device, bindingsPort(device)) >> 8) & 0xFu;
    char what[256];
    if (outcome == kTransportEvent && now.drops == now.dropsAtRecord) {
        describeTransportRecord(message, detail, line, capacity);
        return true;
    }
    if (isSysexRecord(message)) {
        describeSysex(message, line, capacity);
    } else if ((detail & kFromKnob) != 0 && messageData2(message) >= kKnobRecord) {
        // An endless knob's steps acted on when the window ended.
        BindingSource knob{kSourceController, static_cast<uint8_t>(messageData1(message)),
                           static_cast<uint8_t>(messageStatus(message) & 0x0F),
                           static_cast<uint8_t>(messageData2(message) - kKnobRecord)};
        describeSource(knob, line, capacity);
    } else {
        describeMessage(message, line, capacity);
        if ((detail & kFromKnob) != 0) appendText(line, capacity, " (encoder)");
    }
    appendText(line, capacity, ": ");
    describeOutcome(message, outcome, detail, device, how, what, sizeof what);
    appendText(line, capacity, what);
    return true;
}
