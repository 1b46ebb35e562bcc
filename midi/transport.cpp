// transport.cpp -- MIDI real-time, Mackie Control and HUI transport buttons
// decoded, what each does in the player's state, and the line's words.
#include "midi/transport.h"

#include <atomic>

#include "core/host.h"
#include "core/text.h"
#include "midi/outcome.h"

uint32_t transportSetting(const char* text) {
    if (textEqualsAnyCase(text, "Mackie")) return kSpeaksMackie;
    if (textEqualsAnyCase(text, "HUI")) return kSpeaksHui;
    return 0;
}

static bool found(TransportEvent* event, uint8_t protocol, uint8_t control, uint8_t intent, bool released = false,
                  int8_t steps = 0) {
    *event = TransportEvent{protocol, control, intent, static_cast<uint8_t>(released ? 1 : 0), steps};
    return true;
}

// ---- MIDI real-time --------------------------------------------------------------------

bool decodeRealTime(ShortMessage message, TransportEvent* event) {
    switch (messageStatus(message)) {
        case 0xFA: return found(event, kProtocolRealTime, kControlStart, kIntentPlayFromStart);
        case 0xFB: return found(event, kProtocolRealTime, kControlContinue, kIntentPlayUnlessPlaying);
        case 0xFC: return found(event, kProtocolRealTime, kControlStop, kIntentPauseIfPlaying);
        default: return false;
    }
}

// ---- Mackie Control --------------------------------------------------------------------

const uint32_t kMackieJog = 60;

bool decodeMackie(ShortMessage message, TransportEvent* event) {
    uint32_t status = messageStatus(message), data1 = messageData1(message), data2 = messageData2(message);
    if (status == 0xB0 && data1 == kMackieJog) {
        if (data2 == 0 || data2 == 64) return found(event, kProtocolMackie, kControlJog, kIntentNothing);
        int8_t steps = static_cast<int8_t>(data2 < 64 ? data2 : -static_cast<int32_t>(data2 - 64));
        return found(event, kProtocolMackie, kControlJog, kIntentJog, false, steps);
    }
    bool press = status == 0x90 && data2 == 127;
    bool release = (status == 0x90 && data2 == 0) || status == 0x80;
    if (!press && !release) return false;
    uint8_t control, intent;
    switch (data1) {
        case 46: control = kControlBankLeft, intent = kIntentPrevious; break;
        case 47: control = kControlBankRight, intent = kIntentNext; break;
        case 48: control = kControlChannelLeft, intent = kIntentPrevious; break;
        case 49: control = kControlChannelRight, intent = kIntentNext; break;
        case 86: control = kControlCycle, intent = kIntentRepeat; break;
        case 91: control = kControlRewind, intent = kIntentRewind; break;
        case 92: control = kControlForward, intent = kIntentForward; break;
        case 93: control = kControlStop, intent = kIntentStop; break;
        case 94: control = kControlPlay, intent = kIntentPlayUnlessPlaying; break;
        case 95: control = kControlRecord, intent = kIntentNothing; break;
        default: return false;
    }
    return found(event, kProtocolMackie, control, release ? static_cast<uint8_t>(kIntentNothing) : intent, release);
}

// ---- HUI --------------------------------------------------------------------------------

// Each port's last zone in bits 0-7, and bit 8 once it has sent a zone select.
const uint32_t kZoneSeen = 1u << 8;
static std::atomic<uint32_t> huiPorts[kTransportPorts];

const uint32_t kHuiZoneSelect = 0x0F, kHuiPortEvent = 0x2F, kHuiTransportZone = 0x0E;

bool decodeHui(uint32_t slot, ShortMessage message, TransportEvent* event) {
    if (messageStatus(message) != 0xB0 || slot >= kTransportPorts) return false;
    uint32_t data1 = messageData1(message), data2 = messageData2(message);
    if (data1 == kHuiZoneSelect) {
        huiPorts[slot].store(kZoneSeen | data2);
        return found(event, kProtocolHui, kControlZone, kIntentNothing);
    }
    uint32_t state = huiPorts[slot].load();
    if (data1 != kHuiPortEvent || (state & kZoneSeen) == 0 || (state & 0xFFu) != kHuiTransportZone) return false;
    if ((data2 & ~0x4Fu) != 0) return false;
    bool press = (data2 & 0x40u) != 0;
    static const uint8_t controls[6] = {0, kControlRewind, kControlForward, kControlStop, kControlPlay, kControlRecord};
    static const uint8_t intents[6] = {0, kIntentRewind, kIntentForward, kIntentStop, kIntentPlayUnlessPlaying,
                                       kIntentNothing};
    uint32_t port = data2 & 0x0Fu;
    if (port == 0 || port > 5) return false;
    return found(event, kProtocolHui, controls[port], press ? intents[port] : static_cast<uint8_t>(kIntentNothing), !press);
}

bool huiPortSeen(uint32_t slot) { return slot < kTransportPorts && (huiPorts[slot].load() & kZoneSeen) != 0; }

void forgetHuiPort(uint32_t slot) {
    if (slot < kTransportPorts) huiPorts[slot].store(0);
}

void resetTransportPorts() {
    for (auto& port : huiPorts) port.store(0);
}

bool decodeTransport(uint32_t slot, uint32_t speaks, ShortMessage message, TransportEvent* event) {
    if (messageStatus(message) >= 0xF0) return decodeRealTime(message, event);
    if ((speaks & kSpeaksMackie) != 0 && decodeMackie(message, event)) return true;
    return (speaks & kSpeaksHui) != 0 && decodeHui(slot, message, event);
}

// ---- In the player's state -----------------------------------------------------------------

bool intentNeedsPlayState(uint8_t intent) {
    return intent == kIntentPlayUnlessPlaying || intent == kIntentPauseIfPlaying;
}

uint8_t transportInPlayState(uint8_t intent, intptr_t playState, uint32_t* why) {
    *why = kActedTransport;
    switch (intent) {
        case kIntentPlayFromStart: return kActionPlay;
        case kIntentPlayUnlessPlaying:
            if (playState == kPlayStatePlaying) break;
            // Play would start a paused track again from its beginning.
            if (playState != kPlayStatePaused) return kActionPlay;
            *why = kActedTransportResume;
            return kActionPause;
        case kIntentPauseIfPlaying:
            if (playState == kPlayStatePlaying) return kActionPause;
            *why = kNothingNotPlaying;
            return kActionNone;
        case kIntentStop: return kActionStop;
        case kIntentPrevious: return kActionPrevious;
        case kIntentNext: return kActionNext;
        case kIntentRewind: return kActionRewind;
        case kIntentForward: return kActionForward;
        case kIntentRepeat: return kActionRepeat;
        case kIntentJog: return kActionSeek;
        default: *why = kNothingNoFunction; return kActionNone;
    }
    *why = kNothingAlreadyPlaying;
    return kActionNone;
}

// ---- In words --------------------------------------------------------------------------

uint32_t transportEventWord(const TransportEvent& event) {
    return event.protocol | (event.control << 4) | (static_cast<uint32_t>(event.intent) << 8) |
           (static_cast<uint32_t>(event.released) << 12) | (static_cast<uint32_t>(static_cast<uint8_t>(event.steps)) << 16);
}

TransportEvent transportEventFromWord(uint32_t word) {
    return TransportEvent{static_cast<uint8_t>(word & 0xFu), static_cast<uint8_t>((word >> 4) & 0xFu),
                          static_cast<uint8_t>((word >> 8) & 0xFu), static_cast<uint8_t>((word >> 12) & 1u),
                          static_cast<int8_t>(static_cast<uint8_t>(word >> 16))};
}

static const char* const protocolNames[3] = {"MIDI ", "Mackie Control ", "HUI "};
static const char* const controlNames[kControlZone + 1] = {
    "Start",     "Continue",   "Stop",         "Rewind",        "Fast Forward", "Play",        "Record",
    "Cycle",     "Bank Left",  "Bank Right",   "Channel Left",  "Channel Right", "jog wheel", "zone select",
};

void describeTransportEvent(const TransportEvent& event, char* out, size_t capacity) {
    out[0] = '\0';
    appendText(out, capacity, protocolNames[event.protocol < 3 ? event.protocol : 0]);
    appendText(out, capacity, controlNames[event.control <= kControlZone ? event.control : 0]);
    if (event.released) appendText(out, capacity, ", released");
    if (event.control != kControlJog || event.steps == 0) return;
    int32_t steps = event.steps < 0 ? -event.steps : event.steps;
    char number[12];
    formatDecimal(steps, number);
    appendText(out, capacity, ", ");
    appendText(out, capacity, number);
    appendText(out, capacity, steps == 1 ? " step" : " steps");
    appendText(out, capacity, event.steps < 0 ? " counter-clockwise" : " clockwise");
}

void transportLine(const TransportEvent& event, uint8_t action, uint32_t why, char* out, size_t capacity) {
    describeTransportEvent(event, out, capacity);
    appendText(out, capacity, ": ");
    if (action != kActionNone) {
        appendText(out, capacity, why == kActedTransportResume ? "Resume" : bindingActionName(action));
        appendText(out, capacity, " (transport)");
    } else if (event.released) {
        appendText(out, capacity, "nothing: a release");
    } else if (event.control == kControlRecord) {
        appendText(out, capacity, "nothing: Notewick does not record");
    } else if (why == kNothingAlreadyPlaying) {
        appendText(out, capacity, "nothing: the player is playing already");
    } else if (why == kNothingNotPlaying) {
        appendText(out, capacity, "nothing: the player is not playing");
    } else {
        appendText(out, capacity, "nothing: no function here");
    }
}
