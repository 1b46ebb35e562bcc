// transport.h -- the transport buttons keyboards and surfaces send with no
// setup: MIDI real-time Start, Continue and Stop on every port; Mackie
// Control and HUI on the ports that speak a DAW's protocol.
//
// Each decoder says what the message is (its protocol and control) and what
// it asks for; transportInPlayState then says what that does in the
// player's state. HUI needs two messages per press, so it keeps each port's
// last zone; the MIDI callback decodes, so that state is atomic words.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/device_ports.h"
#include "core/types.h"
#include "midi/bindings.h"

enum TransportProtocol : uint8_t { kProtocolRealTime, kProtocolMackie, kProtocolHui };

// The controls, by protocol: real-time Start, Continue, Stop; Mackie
// Control's buttons and its jog wheel; HUI's transport zone's ports.
enum TransportControl : uint8_t {
    kControlStart,
    kControlContinue,
    kControlStop,
    kControlRewind,
    kControlForward,
    kControlPlay,
    kControlRecord,
    kControlCycle,
    kControlBankLeft,
    kControlBankRight,
    kControlChannelLeft,
    kControlChannelRight,
    kControlJog,
    kControlZone,  // a HUI zone select: half of a press, which the line leaves out
};

// What a message asks for.
enum TransportIntent : uint8_t {
    kIntentNone,            // not a transport message: the other rules take it
    kIntentNothing,         // one that does nothing: a release, Record
    kIntentPlayFromStart,   // play the track from its beginning
    kIntentPlayUnlessPlaying,
    kIntentPauseIfPlaying,
    kIntentStop,
    kIntentPrevious,
    kIntentNext,
    kIntentRewind,
    kIntentForward,
    kIntentRepeat,
    kIntentJog,             // `steps` steps of the jog wheel, as an endless knob bound to Seek
};

struct TransportEvent {
    uint8_t protocol;
    uint8_t control;
    uint8_t intent;
    uint8_t released;  // a button's release (intent kIntentNothing)
    int8_t steps;      // the jog wheel's: clockwise above 0
};

// Which protocols a port speaks besides real-time, a mask: a device's ports
// 2 and up both; port 1 only the one its section's Transport line names.
const uint32_t kSpeaksMackie = 1, kSpeaksHui = 2;
const uint32_t kSpeaksDaw = kSpeaksMackie | kSpeaksHui;
// "Mackie" or "HUI", case not counting, into its mask; 0 for anything else.
uint32_t transportSetting(const char* text);

// Start (FA), Continue (FB) and Stop (FC); false for any other message (the
// timing clock and Active Sensing included, which cost nothing).
bool decodeRealTime(ShortMessage message, TransportEvent* event);
// A Mackie Control button on channel 1 (note-on, 127 a press, 0 or a
// note-off its release) or the jog wheel (controller 60, 1-63 clockwise
// steps, 65-127 counter-clockwise); false for any other message.
bool decodeMackie(ShortMessage message, TransportEvent* event);

// The HUI ports: each of a device's ports has its own state.
const uint32_t kTransportPorts = kMaxDevices * kMaxDevicePorts;
inline uint32_t transportPort(uint32_t device, uint32_t port) { return device * kMaxDevicePorts + port - 1; }
// A HUI message on channel 1: a zone select (B0 0F zz) is kept and is
// nothing; a port press (B0 2F 4p) or release (B0 2F 0p) in the transport
// zone 0x0E is the port's button (1 Rewind, 2 Forward, 3 Stop, 4 Play, 5
// Record). False for any other message, a press in another zone included.
// MIDI callback thread.
bool decodeHui(uint32_t slot, ShortMessage message, TransportEvent* event);
// Whether the port has sent a zone select since it was forgotten: only such
// a port is sent the host's ping.
bool huiPortSeen(uint32_t slot);
// The port was opened or closed: its zone and what it has sent are forgotten.
void forgetHuiPort(uint32_t slot);
// The host's ping (90 00 00), about once a second, to every port huiPortSeen.
const ShortMessage kHuiPing = 0x000090;
const uint32_t kHuiPingIntervalMs = 1000;

// Real-time on every port, then the protocols of `speaks`.
bool decodeTransport(uint32_t slot, uint32_t speaks, ShortMessage message, TransportEvent* event);

// Whether the intent's deed depends on the player's state (so the worker
// asks for it only then).
bool intentNeedsPlayState(uint8_t intent);
// What the intent does with the player in `playState` (the answer to the
// play-state request): the action to press (kActionPlay, kActionPause to pause
// or to resume a paused player, kActionStop, ...), or kActionNone when it
// does nothing there, with *why the outcome to record (kActedTransport,
// kActedTransportResume, kNothingAlreadyPlaying, kNothingNotPlaying).
// kIntentJog gives kActionSeek, whose steps the event holds.
uint8_t transportInPlayState(uint8_t intent, intptr_t playState, uint32_t* why);

// The event in one word (for the line's record) and back.
uint32_t transportEventWord(const TransportEvent& event);
TransportEvent transportEventFromWord(uint32_t word);

// The message in words, as the line begins: "Mackie Control Play", "MIDI
// Start", "HUI Stop", "Mackie Control jog wheel, 3 steps clockwise".
void describeTransportEvent(const TransportEvent& event, char* out, size_t capacity);
// The whole line but a jog wheel's (which the endless knob's words end):
// "Mackie Control Play: Play (transport)", "MIDI Continue: Resume
// (transport)", "MIDI Stop: nothing: the player is not playing". `action`
// and `why` as transportInPlayState gave them.
void transportLine(const TransportEvent& event, uint8_t action, uint32_t why, char* out, size_t capacity);

// Every port's HUI state forgotten; for tests.
void resetTransportPorts();
