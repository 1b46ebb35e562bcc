// encoders.cpp -- the knobs' slots, and the index the data handler finds
// them by.
#include "midi/encoders.h"

#include <atomic>

// The index: one byte per controller on a channel, four to a word, 0 for a
// controller that is no knob with a slot, else the knob's encoding (1-3) in
// the top two bits and its slot (0-63) below.
static std::atomic<uint32_t> encoderIndex[16 * 128 / 4];
// The steps each slot counted since the worker last took them.
static std::atomic<int32_t> encoderSlots[kMaxEncoderSlots];
// Each slot's knob: channel and controller, (channel << 7) | controller.
static std::atomic<uint32_t> slotKnob[kMaxEncoderSlots];
// How many slots the current table uses.
static std::atomic<uint32_t> slotsInUse{0};

static uint32_t knobKey(uint32_t channel, uint32_t controller) { return ((channel & 0x0Fu) << 7) | (controller & 0x7Fu); }

static uint32_t indexEntry(uint32_t key) { return (encoderIndex[key >> 2].load() >> ((key & 3u) * 8)) & 0xFFu; }

void resetEncoders() {
    const Binding none[1] = {};
    publishEncoders(none, 0);
}

void publishEncoders(const Binding* bindings, uint32_t count) {
    uint32_t words[16 * 128 / 4] = {};
    uint32_t slots = 0;
    for (uint32_t i = 0; i < count && slots < kMaxEncoderSlots; ++i) {
        const BindingSource& source = bindings[i].source;
        if (source.kind != kSourceController || source.encoder == kNotEncoder) continue;
        uint32_t key = knobKey(source.channel, source.number);
        words[key >> 2] |= ((static_cast<uint32_t>(source.encoder) << 6) | slots) << ((key & 3u) * 8);
        slotKnob[slots].store(key);
        ++slots;
    }
    // NOTE: a message counted while the index changes may land in a slot
    // that now belongs to another knob; the slots are emptied after the new
    // index is in place, so at most the steps of that moment go astray.
    for (uint32_t w = 0; w < 16 * 128 / 4; ++w) encoderIndex[w].store(words[w]);
    slotsInUse.store(slots);
    for (uint32_t s = 0; s < kMaxEncoderSlots; ++s) encoderSlots[s].store(0);
}

bool countEncoderSteps(ShortMessage message, bool* wasEmpty) {
    uint32_t status = messageStatus(message);
    if ((status & 0xF0u) != 0xB0u) return false;
    uint32_t entry = indexEntry(knobKey(status, messageData1(message)));
    if (entry == 0) return false;
    int32_t steps = encoderSteps(entry >> 6, messageData2(message));
    *wasEmpty = encoderSlots[entry & 0x3Fu].fetch_add(steps) == 0;
    return true;
}

bool takeEncoderSteps(const BindingSource& source, int32_t* steps) {
    uint32_t entry = indexEntry(knobKey(source.channel, source.number));
    if (entry == 0) return false;
    *steps = encoderSlots[entry & 0x3Fu].exchange(0);
    return true;
}

int32_t takePendingEncoder(uint32_t from, BindingSource* source, int32_t* steps) {
    uint32_t slots = slotsInUse.load();
    for (uint32_t s = from; s < slots; ++s) {
        if (encoderSlots[s].load() == 0) continue;
        *steps = encoderSlots[s].exchange(0);
        uint32_t key = slotKnob[s].load();
        *source = BindingSource{kSourceController, static_cast<uint8_t>(key & 0x7Fu), static_cast<uint8_t>(key >> 7)};
        return static_cast<int32_t>(s);
    }
    return -1;
}

bool encoderStepsPending() {
    uint32_t slots = slotsInUse.load();
    for (uint32_t s = 0; s < slots; ++s) {
        if (encoderSlots[s].load() != 0) return true;
    }
    return false;
}
