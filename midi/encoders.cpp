// encoders.cpp -- the knobs' slots, and the index the data handler finds
// them by.
#include "midi/encoders.h"

#include <atomic>

#include "midi/control_index.h"
#include "platform/platform.h"

// Each device's index of its knobs (midi/control_index.h): each word's own
// 16 bits are the knob's slot, the key being its layer, channel and
// controller.
const uint32_t kIndexWords = 2 * kMaxEncoderSlots;
struct KnobSlots {
    std::atomic<uint32_t> index[kIndexWords];
    // The steps each slot counted since its knob last acted.
    std::atomic<int32_t> steps[kMaxEncoderSlots];
    // Each slot's knob: its key, and how it counts (midi/bindings.h) << 16.
    std::atomic<uint32_t> knob[kMaxEncoderSlots];
    // The data handler's alone: each slot's last value + 1 (0 for none), the
    // run of messages that looked like places (<< 8), and kSendsPlaces once
    // the knob is taken to send them; and the steps of that run, held.
    std::atomic<uint32_t> recent[kMaxEncoderSlots];
    std::atomic<int32_t> held[kMaxEncoderSlots];
    // 1 when a message was let go as a place, until the worker tells of it.
    std::atomic<uint32_t> placeSeen[kMaxEncoderSlots];
    // How many slots the current table uses; 0 while a table is being published.
    std::atomic<uint32_t> inUse;
    // Counts the tables published, so that the worker starts its slots anew.
    std::atomic<uint32_t> generation;
};
static KnobSlots devices[kMaxDevices];

// The worker's alone: when each slot's knob last acted, for the table of
// workerGeneration.
struct KnobTimes {
    uint32_t actedAt[kMaxEncoderSlots];
    bool acted[kMaxEncoderSlots];
    uint32_t generation;
};
static KnobTimes times[kMaxDevices];
// A device's bit (1 << device) is set by its handler when a slot of it gets
// its first steps or a place let go; the worker keeps it in knobsPending
// until no slot of the device holds any. A wake-up looks at those devices
// alone.
static std::atomic<uint32_t> knobsSignalled{0};
static uint32_t knobsPending = 0;

// A knob's key: its layer (1 for its Shift line), channel and controller.
static uint32_t knobKey(uint32_t channel, uint32_t controller, uint32_t shift = 0) {
    return ((shift & 1u) << 11) | ((channel & 0x0Fu) << 7) | (controller & 0x7Fu);
}

// An index word's slot for a Shift line that is not a knob's.
const uint32_t kNoSlot = 0xFFFF;

// The knob's slot + 1 in the device's index; 0 for none.
static uint32_t slotOf(uint32_t device, uint32_t key) {
    if (device >= kMaxDevices) return 0;
    uint32_t word = indexFind(devices[device].index, kIndexWords, key);
    return word == 0 ? 0 : (word & 0xFFFFu) + 1;
}

void resetEncoders() {
    const Binding none[1] = {};
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        publishEncoders(none, 0, device);
        times[device] = KnobTimes{};
    }
    knobsSignalled.store(0);
    knobsPending = 0;
}

// Whether the table binds the controller, without Shift, as an endless knob.
static bool isKnob(const Binding* bindings, uint32_t count, const BindingSource& source) {
    for (uint32_t i = 0; i < count; ++i) {
        const BindingSource& other = bindings[i].source;
        if (other.kind == kSourceController && other.shift == 0 && other.encoder != kNotEncoder &&
            other.number == source.number && other.channel == source.channel) {
            return true;
        }
    }
    return false;
}

void publishEncoders(const Binding* bindings, uint32_t count, uint32_t device) {
    if (device >= kMaxDevices) return;
    KnobSlots& d = devices[device];
    uint32_t words[kIndexWords] = {};
    uint32_t knobs[kMaxEncoderSlots] = {};
    uint32_t slots = 0;
    uint32_t entries = 0;
    for (uint32_t i = 0; i < count && slots < kMaxEncoderSlots && entries < kMaxEncoderSlots; ++i) {
        const BindingSource& source = bindings[i].source;
        if (source.kind != kSourceController) continue;
        // A Shift line that binds a knob's controller as a fader is in the
        // index too, as no slot: with the shift button held the message goes
        // on to that line.
        if (source.encoder == kNotEncoder && (source.shift == 0 || !isKnob(bindings, count, source))) continue;
        uint32_t key = knobKey(source.channel, source.number, source.shift);
        ++entries;
        if (source.encoder == kNotEncoder) {
            indexPlace(words, kIndexWords, key, kNoSlot);
            continue;
        }
        indexPlace(words, kIndexWords, key, slots);
        knobs[slots++] = key | (static_cast<uint32_t>(source.encoder) << 16);
    }
    // NOTE: the order matters. With the index emptied first nothing new is
    // counted while the slots change hands; a message that found its slot
    // before counts only while the slot is still its knob's
    // (countEncoderSteps), and the worker takes a slot's steps only when its
    // knob is the same before and after (takeKnobSteps), so no knob acts on
    // another's steps.
    for (std::atomic<uint32_t>& word : d.index) word.store(0);
    d.inUse.store(0);
    for (uint32_t s = 0; s < kMaxEncoderSlots; ++s) {
        d.steps[s].store(0);
        d.knob[s].store(knobs[s]);
        d.recent[s].store(0);
        d.held[s].store(0);
        d.placeSeen[s].store(0);
    }
    d.inUse.store(slots);
    for (uint32_t w = 0; w < kIndexWords; ++w) d.index[w].store(words[w]);
    d.generation.fetch_add(1);
}

// A knob set to send its place (absolute values, as many ship) counts, read
// as steps, dozens of them a message: turned, it would skip eight tracks at a
// time. Its messages differ one from the next, and most count many steps; a
// relative knob's repeat themselves, and count one or a few. A message that
// counts kPlaceSteps or more, with another value than the one before, is
// held; kPlaceRun of them in a row take the knob to send places, and from
// then on its messages are let go, until a value comes twice in a row (the
// knob set to relative). Any other message ends the run, and the steps held
// count with its own. Near the middle of its range (or its ends, as it
// counts) a place reads as a few steps, and counts so.
const int32_t kPlaceSteps = 8;
const uint32_t kPlaceRun = 4;
const uint32_t kSendsPlaces = 1u << 16;

// The steps the message counts once places are let go; *letGo when it was one.
static int32_t stepsOfPlaces(KnobSlots& d, uint32_t slot, uint32_t value, int32_t steps, bool* letGo) {
    uint32_t was = d.recent[slot].load();
    uint32_t run = (was >> 8) & 0xFFu;
    bool places = (was & kSendsPlaces) != 0;
    bool repeated = (was & 0xFFu) == value + 1;
    bool many = !repeated && (steps >= kPlaceSteps || steps <= -kPlaceSteps);
    int32_t counted = 0;
    // The value twice: no place, but while places were let go this one is
    // still taken for a place; the next counts.
    if (repeated && places) {
        d.recent[slot].store(value + 1);
        *letGo = false;
        return 0;
    }
    if (many) {
        run = run < 0xFFu ? run + 1 : run;
        places = places || run >= kPlaceRun;
        if (places) {
            d.held[slot].store(0);
        } else {
            d.held[slot].fetch_add(steps);
        }
    } else {
        run = 0;
        if (!places) counted = steps + d.held[slot].exchange(0);
    }
    *letGo = places;
    d.recent[slot].store((value + 1) | (run << 8) | (places ? kSendsPlaces : 0));
    return counted;
}

bool countEncoderSteps(ShortMessage message, bool* wasEmpty, uint32_t device, bool shifted) {
    uint32_t status = messageStatus(message);
    if ((status & 0xF0u) != 0xB0u || device >= kMaxDevices || devices[device].inUse.load() == 0) return false;
    uint32_t key = knobKey(status, messageData1(message), 1);
    uint32_t slot = shifted ? slotOf(device, key) : 0;
    if (slot == kNoSlot + 1) return false;
    if (slot == 0) {
        key = knobKey(status, messageData1(message));
        slot = slotOf(device, key);
    }
    if (slot == 0) return false;
    KnobSlots& d = devices[device];
    // A table published meanwhile may have given the slot to another knob:
    // its steps are not this message's.
    uint32_t knob = d.knob[slot - 1].load();
    if ((knob & 0xFFFFu) != key) return false;
    bool letGo = false;
    int32_t steps = stepsOfPlaces(d, slot - 1, messageData2(message), encoderSteps(knob >> 16, messageData2(message)),
                                  &letGo);
    // The worker hears of the first place let go, to tell of it on the line.
    if (letGo) {
        *wasEmpty = d.placeSeen[slot - 1].exchange(1) == 0;
        if (*wasEmpty) knobsSignalled.fetch_or(1u << device);
        return true;
    }
    if (steps == 0) {
        *wasEmpty = false;
        return true;
    }
    *wasEmpty = d.steps[slot - 1].fetch_add(steps) == 0;
    if (*wasEmpty) knobsSignalled.fetch_or(1u << device);
    if ((d.knob[slot - 1].load() & 0xFFFFu) != key) d.steps[slot - 1].fetch_sub(steps);
    return true;
}

bool isKnobMessage(ShortMessage message, uint32_t device) {
    uint32_t status = messageStatus(message);
    return (status & 0xF0u) == 0xB0u && slotOf(device, knobKey(status, messageData1(message))) != 0;
}

// ---- The worker ---------------------------------------------------------------------

// A new table: every knob of the device may act at once.
static KnobTimes& catchUp(uint32_t device) {
    KnobTimes& t = times[device];
    uint32_t generation = devices[device].generation.load();
    if (generation != t.generation) {
        t.generation = generation;
        for (bool& acted : t.acted) acted = false;
    }
    return t;
}

int32_t encoderSlot(const BindingSource& source, uint32_t device) {
    if (source.kind != kSourceController) return -1;
    uint32_t slot = slotOf(device, knobKey(source.channel, source.number, source.shift));
    return slot == kNoSlot + 1 ? -1 : static_cast<int32_t>(slot) - 1;
}

bool knobDue(uint32_t slot, uint32_t now, uint32_t device) {
    if (slot >= kMaxEncoderSlots || device >= kMaxDevices) return false;
    const KnobTimes& t = catchUp(device);
    return !t.acted[slot] || now - t.actedAt[slot] >= kKnobActionMs;
}

int32_t takeKnobSteps(uint32_t slot, uint32_t now, uint32_t device) {
    if (slot >= kMaxEncoderSlots || device >= kMaxDevices) return 0;
    KnobTimes& t = catchUp(device);
    KnobSlots& d = devices[device];
    uint32_t knob = d.knob[slot].load();
    int32_t steps = d.steps[slot].exchange(0);
    // Steps taken while the slot changed hands may be another knob's.
    if (d.knob[slot].load() != knob) steps = 0;
    t.acted[slot] = true;
    t.actedAt[slot] = now;
    return steps;
}

bool takeKnobPlaces(uint32_t slot, uint32_t device) {
    return slot < kMaxEncoderSlots && device < kMaxDevices && devices[device].placeSeen[slot].exchange(0) != 0;
}

void dropKnobSteps(uint32_t slot, uint32_t device) {
    if (slot < kMaxEncoderSlots && device < kMaxDevices) devices[device].steps[slot].store(0);
}

int32_t pendingKnob(uint32_t from, BindingSource* source, uint32_t device) {
    if (device >= kMaxDevices) return -1;
    const KnobSlots& d = devices[device];
    uint32_t slots = d.inUse.load();
    for (uint32_t s = from; s < slots; ++s) {
        if (d.steps[s].load() == 0 && d.placeSeen[s].load() == 0) continue;
        uint32_t knob = d.knob[s].load();
        *source = BindingSource{kSourceController, static_cast<uint8_t>(knob & 0x7Fu),
                                static_cast<uint8_t>((knob >> 7) & 0x0Fu), static_cast<uint8_t>(knob >> 16),
                                static_cast<uint8_t>((knob >> 11) & 1u)};
        return static_cast<int32_t>(s);
    }
    return -1;
}

uint32_t knobDevices() { return knobsPending |= knobsSignalled.exchange(0); }

void knobDeviceIdle(uint32_t device) {
    if (device < kMaxDevices) knobsPending &= ~(1u << device);
}

uint32_t knobWaitMs(uint32_t now) {
    uint32_t wait = kWaitForever;
    for (uint32_t device = 0, pending = knobDevices(); pending != 0; ++device, pending >>= 1) {
        if ((pending & 1u) == 0) continue;
        const KnobSlots& d = devices[device];
        uint32_t slots = d.inUse.load();
        if (slots == 0) continue;
        const KnobTimes& t = catchUp(device);
        for (uint32_t s = 0; s < slots; ++s) {
            if (d.steps[s].load() == 0) continue;
            uint32_t due = t.acted[s] && now - t.actedAt[s] < kKnobActionMs ? kKnobActionMs - (now - t.actedAt[s]) : 0;
            if (due < wait) wait = due;
        }
    }
    return wait;
}
