// encoders.cpp -- the knobs' slots, and the index the data handler finds
// them by.
#include "midi/encoders.h"

#include <atomic>

#include "platform/platform.h"

// The index: one byte per controller on a channel, four to a word, 0 for a
// controller that is no knob with a slot, else its slot + 1.
static std::atomic<uint32_t> encoderIndex[16 * 128 / 4];
// How each slot's knob counts (midi/bindings.h).
static std::atomic<uint32_t> slotEncoding[kMaxEncoderSlots];
// The steps each slot counted since its knob last acted.
static std::atomic<int32_t> encoderSlots[kMaxEncoderSlots];
// Each slot's knob: (channel << 7) | controller.
static std::atomic<uint32_t> slotKnob[kMaxEncoderSlots];
// How many slots the current table uses; 0 while a table is being published.
static std::atomic<uint32_t> slotsInUse{0};
// Counts the tables published, so that the worker starts its slots anew.
static std::atomic<uint32_t> slotsGeneration{0};

// The worker's alone: when each slot's knob last acted, for the table of
// workerGeneration.
static uint32_t actedAt[kMaxEncoderSlots];
static bool acted[kMaxEncoderSlots];
static uint32_t workerGeneration = 0;

static uint32_t knobKey(uint32_t channel, uint32_t controller) { return ((channel & 0x0Fu) << 7) | (controller & 0x7Fu); }

static uint32_t indexEntry(uint32_t key) { return (encoderIndex[key >> 2].load() >> ((key & 3u) * 8)) & 0xFFu; }

void resetEncoders() {
    const Binding none[1] = {};
    publishEncoders(none, 0);
}

void publishEncoders(const Binding* bindings, uint32_t count) {
    uint32_t words[16 * 128 / 4] = {};
    uint32_t keys[kMaxEncoderSlots] = {};
    uint32_t encodings[kMaxEncoderSlots] = {};
    uint32_t slots = 0;
    for (uint32_t i = 0; i < count && slots < kMaxEncoderSlots; ++i) {
        const BindingSource& source = bindings[i].source;
        if (source.kind != kSourceController || source.encoder == kNotEncoder) continue;
        uint32_t key = knobKey(source.channel, source.number);
        words[key >> 2] |= (slots + 1) << ((key & 3u) * 8);
        encodings[slots] = source.encoder;
        keys[slots++] = key;
    }
    // NOTE: the order matters. With the index emptied first nothing is
    // counted while the slots change hands; the worker takes a slot's steps
    // only when its knob is the same before and after (takeKnobSteps), so no
    // knob acts on another's steps.
    for (uint32_t w = 0; w < 16 * 128 / 4; ++w) encoderIndex[w].store(0);
    slotsInUse.store(0);
    for (uint32_t s = 0; s < kMaxEncoderSlots; ++s) {
        encoderSlots[s].store(0);
        slotKnob[s].store(keys[s]);
        slotEncoding[s].store(encodings[s]);
    }
    slotsInUse.store(slots);
    for (uint32_t w = 0; w < 16 * 128 / 4; ++w) encoderIndex[w].store(words[w]);
    slotsGeneration.fetch_add(1);
}

bool countEncoderSteps(ShortMessage message, bool* wasEmpty) {
    uint32_t status = messageStatus(message);
    if ((status & 0xF0u) != 0xB0u) return false;
    uint32_t entry = indexEntry(knobKey(status, messageData1(message)));
    if (entry == 0) return false;
    uint32_t slot = (entry - 1) % kMaxEncoderSlots;
    int32_t steps = encoderSteps(slotEncoding[slot].load(), messageData2(message));
    *wasEmpty = encoderSlots[slot].fetch_add(steps) == 0;
    return true;
}

bool isKnobMessage(ShortMessage message) {
    uint32_t status = messageStatus(message);
    return (status & 0xF0u) == 0xB0u && indexEntry(knobKey(status, messageData1(message))) != 0;
}

// ---- The worker ---------------------------------------------------------------------

// A new table: every knob may act at once.
static void catchUp() {
    uint32_t generation = slotsGeneration.load();
    if (generation == workerGeneration) return;
    workerGeneration = generation;
    for (uint32_t s = 0; s < kMaxEncoderSlots; ++s) acted[s] = false;
}

int32_t encoderSlot(const BindingSource& source) {
    if (source.kind != kSourceController) return -1;
    uint32_t entry = indexEntry(knobKey(source.channel, source.number));
    return entry == 0 ? -1 : static_cast<int32_t>((entry - 1) % kMaxEncoderSlots);
}

bool knobDue(uint32_t slot, uint32_t now) {
    catchUp();
    return slot < kMaxEncoderSlots && (!acted[slot] || now - actedAt[slot] >= kKnobActionMs);
}

int32_t takeKnobSteps(uint32_t slot, uint32_t now) {
    catchUp();
    if (slot >= kMaxEncoderSlots) return 0;
    uint32_t knob = slotKnob[slot].load();
    int32_t steps = encoderSlots[slot].exchange(0);
    // Steps taken while the slot changed hands may be another knob's.
    if (slotKnob[slot].load() != knob) steps = 0;
    acted[slot] = true;
    actedAt[slot] = now;
    return steps;
}

void dropKnobSteps(uint32_t slot) {
    if (slot < kMaxEncoderSlots) encoderSlots[slot].store(0);
}

int32_t pendingKnob(uint32_t from, BindingSource* source) {
    uint32_t slots = slotsInUse.load();
    for (uint32_t s = from; s < slots; ++s) {
        if (encoderSlots[s].load() == 0) continue;
        uint32_t key = slotKnob[s].load();
        *source = BindingSource{kSourceController, static_cast<uint8_t>(key & 0x7Fu), static_cast<uint8_t>(key >> 7)};
        return static_cast<int32_t>(s);
    }
    return -1;
}

uint32_t knobWaitMs(uint32_t now, uint32_t window) {
    catchUp();
    uint32_t wait = kWaitForever, slots = slotsInUse.load();
    for (uint32_t s = 0; s < slots; ++s) {
        if (encoderSlots[s].load() == 0) continue;
        uint32_t due = acted[s] && now - actedAt[s] < kKnobActionMs ? kKnobActionMs - (now - actedAt[s]) : 0;
        uint32_t ready = due > window ? due : window;
        if (ready < wait) wait = ready;
    }
    return wait;
}
