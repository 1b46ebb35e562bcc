// lights.cpp -- which bindings light and with what, the hand-over of the
// output between the user-interface thread and the worker, and the worker's
// reading of the player.
//
// Sections: what lights; the hand-over; the worker.
#include "midi/lights.h"

#include <atomic>

#include "core/host.h"
#include "midi/gestures.h"
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
        case kActionShift: return kLightShift;
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
        case kLightShift: lit = player.shift != 0; break;
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

// Each device's output the worker sends to; null while none is attached.
static std::atomic<MidiOutRef> lightsPort[kMaxDevices];
// 1 while the worker sends to the port it took.
static std::atomic<uint32_t> lightsSending[kMaxDevices];
// 1 when every light is to be sent, not only the changes.
static std::atomic<uint32_t> lightsSync[kMaxDevices];
// A bit (1 << device) for each device with an output attached: without
// outputs, the worker's look at the lights is one load.
static std::atomic<uint32_t> lightsAttached{0};

void lightsChanged() {
    EventRef wake = messageMailbox.wakeEvent.load();
    if (wake != nullptr) platformSignalEvent(wake);
}

void attachLightsPort(MidiOutRef port, uint32_t device) {
    if (device >= kMaxDevices) return;
    lightsSync[device].store(1);
    lightsPort[device].store(port);
    if (port != nullptr) {
        lightsAttached.fetch_or(1u << device);
    } else {
        lightsAttached.fetch_and(~(1u << device));
    }
    lightsChanged();
}

MidiOutRef detachLightsPort(uint32_t device) {
    if (device >= kMaxDevices) return nullptr;
    MidiOutRef port = lightsPort[device].exchange(nullptr);
    lightsAttached.fetch_and(~(1u << device));
    // NOTE: the worker raises its mark before it reads the port: once the mark
    // is down it has finished with the old port, or it reads none. Sending a
    // few short messages never blocks, so this waits briefly, and only then.
    while (lightsSending[device].load() != 0) platformYield();
    return port;
}

// ---- The worker ----------------------------------------------------------------------------

const uint8_t kNothingSent = 0xFF;

// The worker's own, for each device that has had an output: the bindings it
// lights, and what it sent each. Made when the device's first output is
// attached: most devices never light anything.
struct LightsState {
    uint32_t generation;  // of the table copied below
    uint32_t count;
    Binding bindings[kMaxBindings];
    uint8_t sent[kMaxBindings];  // kNothingSent before the first
    bool held[kMaxBindings];     // a Volume fader moved by hand: since movedAt
    uint32_t movedAt[kMaxBindings];
    bool relight[kMaxBindings];  // its control was pressed or let go: sent again from relightAt on
    uint32_t relightAt[kMaxBindings];
    uint32_t lighting;  // how many bindings light
    bool shift;         // the shift button was held when its light was last sent
};
static LightsState* lightsOf[kMaxDevices];
// What the player's state was at the last read: the shift button's light
// goes out between reads with it.
static PlayerState lastPlayer;
// Tick of the last read of the player, shared by every device's lights.
static uint32_t lastRead = 0;

void resetLights() {
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        lightsPort[device].store(nullptr);
        lightsSending[device].store(0);
        lightsSync[device].store(0);
        if (lightsOf[device] != nullptr) platformFree(lightsOf[device]);
        lightsOf[device] = nullptr;
    }
    lightsAttached.store(0);
    lastRead = 0;
    lastPlayer = PlayerState{0, 0, 0, 0, 0};
}

// The device's lights, made if need be; null without memory.
static LightsState* lightsFor(uint32_t device) {
    if (lightsOf[device] == nullptr) {
        lightsOf[device] = static_cast<LightsState*>(platformAllocZeroed(sizeof(LightsState)));
    }
    return lightsOf[device];
}

uint32_t lightsWaitMs(uint32_t now) {
    bool polls = false;
    for (uint32_t device = 0, attached = lightsAttached.load(); attached != 0; ++device, attached >>= 1) {
        if ((attached & 1u) == 0 || lightsPort[device].load() == nullptr) continue;
        if (lightsSync[device].load() != 0) return 0;
        const LightsState* lights = lightsOf[device];
        // A table not yet taken may light.
        polls = polls || lights == nullptr || lights->lighting != 0 || lights->generation != bindingsGeneration(device);
    }
    if (!polls) return kWaitForever;
    uint32_t since = now - lastRead;
    return since >= kLightsPollMs ? 0 : kLightsPollMs - since;
}

void lightsControlMoved(uint32_t slot, uint32_t generation, uint32_t value, uint32_t now, uint32_t device) {
    LightsState* lights = device < kMaxDevices ? lightsOf[device] : nullptr;
    if (lights == nullptr || slot >= kMaxBindings || generation != lights->generation) return;
    lights->held[slot] = true;
    lights->movedAt[slot] = now;
    lights->sent[slot] = static_cast<uint8_t>(value);  // the fader is where the hand left it
}

void lightsControlPressed(ShortMessage message, uint32_t now, uint32_t device) {
    LightsState* lights = device < kMaxDevices ? lightsOf[device] : nullptr;
    if (lights == nullptr || lights->lighting == 0 || lightsPort[device].load() == nullptr) return;
    uint32_t status = messageStatus(message), number = messageData1(message), value = messageData2(message);
    uint32_t kind = status & 0xF0u;
    if (kind != 0x80u && kind != 0x90u && kind != 0xB0u) return;
    bool press = kind == 0x90u ? value != 0 : kind == 0xB0u && value >= 64;
    uint8_t source = kind == 0xB0u ? kSourceController : kSourceNote;
    for (uint32_t i = 0; i < lights->count; ++i) {
        const Binding& binding = lights->bindings[i];
        uint32_t light = lightKind(binding);
        if (light < kLightPlaying || light > kLightRepeat || binding.source.kind != source ||
            binding.source.number != number || binding.source.channel != (status & 0x0Fu)) {
            continue;
        }
        lights->relight[i] = true;
        lights->relightAt[i] = press ? now + kRelightMs : now;
    }
}

// Sends the messages to the device's attached output, unless it was taken back.
static void sendLights(uint32_t device, const uint32_t* messages, uint32_t count) {
    if (count == 0) return;
    lightsSending[device].store(1);
    MidiOutRef port = lightsPort[device].load();
    for (uint32_t i = 0; port != nullptr && i < count; ++i) platformMidiOutSend(port, messages[i]);
    lightsSending[device].store(0);
}

bool lightGivesWay(const Binding* table, uint32_t count, uint32_t i) {
    auto plain = [](const Binding& b) { return b.source.shift == 0 && b.source.gesture == kGesturePress; };
    if (plain(table[i]) || lightKind(table[i]) == kLightNone) return false;
    for (uint32_t j = 0; j < count; ++j) {
        if (j == i || lightKind(table[j]) == kLightNone || lightMessage(table[j], 0) != lightMessage(table[i], 0)) {
            continue;
        }
        if (plain(table[j]) || j < i) return true;
    }
    return false;
}

// A new table: a binding that lights as before keeps what was sent it (its
// control shows that still), a new one is sent at the next read, and the
// light of one that no longer lights goes dark.
static void takeTable(uint32_t device, LightsState& lights, const Binding* table, uint32_t count,
                      uint32_t generation) {
    const LightsState old = lights;
    uint32_t darken[kMaxBindings], dark = 0;
    lights.generation = generation;
    lights.count = count;
    lights.lighting = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const Binding& binding = table[i];
        lights.bindings[i] = binding;
        if (lightGivesWay(table, count, i)) lights.bindings[i].action = kActionNone;
        lights.sent[i] = kNothingSent;
        lights.held[i] = false;
        lights.relight[i] = false;
        lights.lighting += lightKind(lights.bindings[i]) != kLightNone ? 1 : 0;
        for (uint32_t j = 0; j < old.count; ++j) {
            const Binding& was = old.bindings[j];
            if (!sameSource(was.source, binding.source) || !sameLight(was, lights.bindings[i])) continue;
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
    sendLights(device, darken, dark);
}

// The player's state, asking only what some device's binding shows.
static PlayerState readPlayer(const bool* asks) {
    PlayerState player = {0, 0, 0, 0, 0};
    if (asks[kLightPlaying] || asks[kLightPaused] || asks[kLightStopped]) {
        player.playing = static_cast<int32_t>(sendHostRequest(ReqPlayState, 0));
    }
    if (asks[kLightShuffle]) player.shuffle = static_cast<int32_t>(sendHostRequest(ReqShuffle, 0));
    if (asks[kLightRepeat]) player.repeat = static_cast<int32_t>(sendHostRequest(ReqRepeat, 0));
    if (asks[kLightVolume]) player.volume = static_cast<int32_t>(sendHostRequest(ReqSetVolume, kAskVolume));
    return player;
}

// Sends the device's lights that changed since they were last sent, every
// one with `sync`.
static void sendChanged(uint32_t device, LightsState& lights, PlayerState player, bool sync, uint32_t now) {
    player.shift = lights.shift ? 1 : 0;
    lightsSending[device].store(1);
    MidiOutRef port = lightsPort[device].load();
    for (uint32_t i = 0; port != nullptr && i < lights.count; ++i) {
        const Binding& binding = lights.bindings[i];
        uint32_t kind = lightKind(binding);
        if (kind == kLightNone) continue;
        if (lights.held[i]) {
            if (now - lights.movedAt[i] < kFaderHoldMs) continue;
            lights.held[i] = false;
        }
        uint32_t value = lightValue(binding, player);
        // A control pressed or let go is sent once, and not before its
        // release would have come: the device may light it meanwhile.
        bool again = lights.relight[i];
        if (again && static_cast<int32_t>(now - lights.relightAt[i]) < 0) continue;
        lights.relight[i] = false;
        if (!sync && !again && value == lights.sent[i]) continue;
        // A light whose send failed goes again at the next read, when
        // sending may work again, not only at the player's next change.
        bool sent = platformMidiOutSend(port, lightMessage(binding, value)) == 0;
        lights.sent[i] = static_cast<uint8_t>(sent ? value : kNothingSent);
    }
    lightsSending[device].store(0);
}

void updateLights(uint32_t now) {
    // Which devices have an output, which of them must send every light, and
    // whether any has a new table: that is taken at once, due or not, so that
    // its new lights go out at once.
    if (lightsAttached.load() == 0) return;
    bool attached[kMaxDevices] = {}, sync[kMaxDevices] = {}, shifted[kMaxDevices] = {};
    bool any = false, due = now - lastRead >= kLightsPollMs;
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        if (lightsPort[device].load() == nullptr) continue;
        LightsState* lights = lightsFor(device);
        if (lights == nullptr) continue;
        attached[device] = any = true;
        sync[device] = lightsSync[device].exchange(0) != 0;
        // The shift button's light follows it at once, without a read.
        shifted[device] = shiftHeld(device) != lights->shift;
        lights->shift = shiftHeld(device);
        due = due || sync[device];
        uint32_t generation = bindingsGeneration(device);
        if (generation == lights->generation) continue;
        due = true;
        Binding table[kMaxBindings];
        uint32_t count = copyBindings(table, &generation, device);
        takeTable(device, *lights, table, count, generation);
    }
    if (!any) return;
    if (!due) {
        for (uint32_t device = 0; device < kMaxDevices; ++device) {
            if (shifted[device]) sendChanged(device, *lightsOf[device], lastPlayer, false, now);
        }
        return;
    }
    lastRead = now;
    // Only what some binding shows is asked, once for every device.
    bool asks[kLightShift + 1] = {};
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        if (!attached[device]) continue;
        const LightsState& lights = *lightsOf[device];
        for (uint32_t i = 0; i < lights.count; ++i) asks[lightKind(lights.bindings[i])] = true;
    }
    bool lighting = asks[kLightShift];
    for (uint32_t kind = kLightPlaying; kind <= kLightVolume; ++kind) lighting = lighting || asks[kind];
    if (!lighting) return;
    lastPlayer = readPlayer(asks);
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        if (attached[device]) sendChanged(device, *lightsOf[device], lastPlayer, sync[device], now);
    }
}
