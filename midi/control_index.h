// control_index.h -- the open-addressing index the MIDI callback finds a
// control's slot by, in a probe or two: the knobs' (encoders.cpp) and the
// gesture controls' (gestures.cpp). A word each, 0 for an empty word, else
// (key + 1) << 16 with 16 bits of the user's own (a slot, flags). Keys are
// below 0xFFFF. The user-interface thread builds the words in a plain array,
// then stores them into the atomic one the callback reads.
#pragma once

#include <atomic>
#include <cstdint>

inline uint32_t indexFirstWord(uint32_t key, uint32_t words) { return (key * 2654435761u >> 16) % words; }

// Places the key's word in the first free word from its own on; the array
// has room (at most half full).
inline void indexPlace(uint32_t* words, uint32_t count, uint32_t key, uint32_t low) {
    uint32_t w = indexFirstWord(key, count);
    while (words[w] != 0) w = (w + 1) % count;
    words[w] = ((key + 1) << 16) | (low & 0xFFFFu);
}

// The key's word; 0 for none.
inline uint32_t indexFind(const std::atomic<uint32_t>* words, uint32_t count, uint32_t key) {
    for (uint32_t w = indexFirstWord(key, count), probes = 0; probes < count; w = (w + 1) % count, ++probes) {
        uint32_t word = words[w].load();
        if (word == 0) return 0;
        if ((word >> 16) == key + 1) return word;
    }
    return 0;
}
