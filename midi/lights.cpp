// lights.cpp -- which bindings light and with what, the hand-over of the
// output between the user-interface thread and the worker, and the worker's
// reading of the player.
//
// Sections: what lights; the hand-over; the worker.
#include "midi/lights.h"

#include <atomic>

#include "core/host.h"
#include "midi/mailbox.h"

// ---- What lights ------------------------------------------------------------------------

uint32_t lightKind(const Binding& binding) {
    if (binding.source.kind != kSourceNote && binding.source.kind != kSourceController) return kLightNone;
    switch (binding.action) {
        case kActionPlayPause:
        case kActionPlay: return kLightPlaying;
        case kActionPause: return kLightPaused;
        case kActionStop: return kLightStopped;
        case kActionShuffle: return kLightShuffle;
        case kActionRepeat: return kLightRepeat;
        // An endless knob sends steps, not a place: it is sent nothing.
        case kActionVolume:
            return binding.source.kind == kSourceController && binding.source.encoder == kNotEncoder ? kLightVolume
                                                                                                      : kLightNone;
        default: return kLightNone;
    }
}

uint32_t lightValue(const Binding& binding, const PlayerState& player) {
    bool lit = false;
    switch (lightKind(binding)) {
        case kLightPlaying: lit = player.playing == kPlayStatePlaying; break;
        case kLightPaused: lit = player.playing == kPlayStatePaused; break;
        case kLightStopped: lit = player.playing != kPlayStatePlaying && player.playing != kPlayStatePaused; break;
        case kLightShuffle: lit = player.shuffle != 0; break;
        case kLightRepeat: lit = player.repeat != 0; break;
        case kLightVolume: {
            int32_t volume = player.volume < 0 ? 0 : player.volume > 255 ? 255 : player.volume;
            return static_cast<uint32_t>(volume) / 2;
        }
        default: break;
    }
    return lit ? binding.lit : binding.dark;
}

uint32_t lightMessage(const Binding& binding, uint32_t value) {
    const LightAddress own = {binding.source.kind, binding.source.number, binding.source.channel};
    const LightAddress& to = binding.at.kind == kLightAtSource ? own : binding.at;
    uint32_t status = (to.kind == kSourceNote ? 0x90u : 0xB0u) | (to.channel & 0x0Fu);
    return status | (static_cast<uint32_t>(to.number & 0x7F) << 8) | ((value & 0x7Fu) << 16);
}

// Whether two bindings light the same control the same way.
static bool sameLight(const Binding& a, const Binding& b) {
    return lightMessage(a, 0) == lightMessage(b, 0) && lightKind(a) == lightKind(b) && a.lit == b.lit &&
           a.dark == b.dark;
}

// ---- The hand-over -----------------------------------------------------------------------

// The output the worker sends to; null while none is attached.
static std::atomic<MidiOutRef> lightsPort{nullptr};
// 1 while the worker sends to the port it took.
static std::atomic<uint32_t> lightsSending{0};
// 1 when every light is to be sent, not only the changes.
static std::atomic<uint32_t> lightsSync{0};

void lightsChanged() {
    EventRef wake = messageMailbox.wakeEvent.load();
    if (wake != nullptr) platformSignalEvent(wake);
}

void attachLightsPort(MidiOutRef port) {
    lightsSync.store(1);
    lightsPort.store(port);
    lightsChanged();
}

MidiOutRef detachLightsPort() {
    MidiOutRef port = lightsPort.exchange(nullptr);
    // NOTE: the worker raises its mark before it reads the port: once the mark
    // is down it has finished with the old port, or it reads none. Sending a
    // few short messages never blocks, so this waits briefly, and only then.
    while (lightsSending.load() != 0) platformYield();
    return port;
}

// ---- The worker ----------------------------------------------------------------------------

const uint8_t kNothingSent = 0xFF;

// The worker's own: the bindings it lights, and what it sent each.
struct LightsState {
    uint32_t generation;  // of the table copied below
    uint32_t count;
    Binding bindings[kMaxBindings];
    uint8_t sent[kMaxBindings];  // kNothingSent before the first
    bool held[kMaxBindings];     // a Volume fader moved by hand: since movedAt
    uint32_t movedAt[kMaxBindings];
    uint32_t lighting;  // how many bindings light
    uint32_t lastRead;  // tick of the last read of the player
};
static LightsState lights;

void resetLights() {
    lightsPort.store(nullptr);
    lightsSending.store(0);
    lightsSync.store(0);
    lights = LightsState{};
}

uint32_t lightsWaitMs(uint32_t now) {
    if (lightsPort.load() == nullptr) return kWaitForever;
    if (lightsSync.load() != 0) return 0;
    if (lights.lighting == 0) return kWaitForever;
    uint32_t since = now - lights.lastRead;
    return since >= kLightsPollMs ? 0 : kLightsPollMs - since;
}

void lightsControlMoved(uint32_t slot, uint32_t generation, uint32_t value, uint32_t now) {
    if (slot >= kMaxBindings || generation != lights.generation) return;
    lights.held[slot] = true;
    lights.movedAt[slot] = now;
    lights.sent[slot] = static_cast<uint8_t>(value);  // the fader is where the hand left it
}

// Sends the messages to the attached output, unless it was taken back.
static void sendLights(const uint32_t* messages, uint32_t count) {
    if (count == 0) return;
    lightsSending.store(1);
    MidiOutRef port = lightsPort.load();
    for (uint32_t i = 0; port != nullptr && i < count; ++i) platformMidiOutSend(port, messages[i]);
    lightsSending.store(0);
}

// A new table: a binding that lights as before keeps what was sent it (its
// control shows that still), a new one is sent at the next read, and the
// light of one that no longer lights goes dark.
static void takeTable(const Binding* table, uint32_t count, uint32_t generation) {
    const LightsState old = lights;
    uint32_t darken[kMaxBindings], dark = 0;
    lights.generation = generation;
    lights.count = count;
    lights.lighting = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const Binding& binding = table[i];
        lights.bindings[i] = binding;
        lights.sent[i] = kNothingSent;
        lights.held[i] = false;
        lights.lighting += lightKind(binding) != kLightNone ? 1 : 0;
        for (uint32_t j = 0; j < old.count; ++j) {
            const Binding& was = old.bindings[j];
            if (!sameSource(was.source, binding.source) || !sameLight(was, binding)) continue;
            lights.sent[i] = old.sent[j];
            lights.held[i] = old.held[j];
            lights.movedAt[i] = old.movedAt[j];
        }
    }
    for (uint32_t j = 0; j < old.count; ++j) {
        const Binding& was = old.bindings[j];
        uint32_t kind = lightKind(was);
        if (kind == kLightNone || kind == kLightVolume || old.sent[j] == kNothingSent || old.sent[j] == was.dark) {
            continue;
        }
        bool kept = false;
        for (uint32_t i = 0; i < count && !kept; ++i) {
            kept = lightKind(table[i]) != kLightNone && lightMessage(table[i], 0) == lightMessage(was, 0);
        }
        if (!kept) darken[dark++] = lightMessage(was, was.dark);
    }
    sendLights(darken, dark);
}

void updateLights(uint32_t now) {
    if (lightsPort.load() == nullptr) return;
    bool sync = lightsSync.exchange(0) != 0;
    // A new table is taken at once, due or not, so that its new lights go
    // out at once.
    bool fresh = bindingsGeneration() != lights.generation;
    if (!sync && !fresh && now - lights.lastRead < kLightsPollMs) return;
    if (fresh) {
        Binding table[kMaxBindings];
        uint32_t generation = 0;
        uint32_t count = copyBindings(table, &generation);
        takeTable(table, count, generation);
    }
    lights.lastRead = now;
    if (lights.lighting == 0) return;
    // Only what some binding shows is asked.
    bool asks[kLightVolume + 1] = {};
    for (uint32_t i = 0; i < lights.count; ++i) asks[lightKind(lights.bindings[i])] = true;
    PlayerState player = {0, 0, 0, 0};
    if (asks[kLightPlaying] || asks[kLightPaused] || asks[kLightStopped]) {
        player.playing = static_cast<int32_t>(sendHostRequest(ReqPlayState, 0));
    }
    if (asks[kLightShuffle]) player.shuffle = static_cast<int32_t>(sendHostRequest(ReqShuffle, 0));
    if (asks[kLightRepeat]) player.repeat = static_cast<int32_t>(sendHostRequest(ReqRepeat, 0));
    if (asks[kLightVolume]) player.volume = static_cast<int32_t>(sendHostRequest(ReqSetVolume, kAskVolume));
    lightsSending.store(1);
    MidiOutRef port = lightsPort.load();
    for (uint32_t i = 0; port != nullptr && i < lights.count; ++i) {
        const Binding& binding = lights.bindings[i];
        uint32_t kind = lightKind(binding);
        if (kind == kLightNone) continue;
        if (lights.held[i]) {
            if (now - lights.movedAt[i] < kFaderHoldMs) continue;
            lights.held[i] = false;
        }
        uint32_t value = lightValue(binding, player);
        if (!sync && value == lights.sent[i]) continue;
        // A light whose send failed goes again at the next read, when
        // sending may work again, not only at the player's next change.
        bool sent = platformMidiOutSend(port, lightMessage(binding, value)) == 0;
        lights.sent[i] = static_cast<uint8_t>(sent ? value : kNothingSent);
    }
    lightsSending.store(0);
}
