// outcome.h -- what the last message did, or why it did nothing, for the
// line the dialogs show while they are open.
//
// The worker decides each outcome where its rules decide what to send, and
// records the message with it in one word; the main data handler only counts
// the messages it drops inside the 50 ms window. The dialogs read both on a
// timer: neither side ever waits for the other.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/types.h"

enum Outcome : uint32_t {
    kOutcomeNone,  // no message yet
    // Something was done: "Pause (key map)", "Volume 200 (modulation wheel)".
    kActedKeyMap,
    kActedBindingVolume,
    kActedBindingStepUp,
    kActedBindingStepDown,
    kActedBendUp,
    kActedBendDown,
    kActedModulation,
    kActedChannel16Button,
    kActedChannel16Volume,
    kTakenByLearn,
    // Nothing was done, and why.
    kNothingWindow,
    kNothingNoteOff,
    kNothingOtherChannel,
    kNothingNoFunction,
    kNothingTowardCentre,
    kNothingNearValue,
    kNothingReleased,
    kNothingFineBend,
    kNothingButtonValue,
    kNothingFaderTop,
    kNothingLearnRefused,
    // A binding's press action: kActedBinding + the action.
    kActedBinding = 32,
    // System-exclusive messages: a transport command acted ("Stop
    // (transport)"), Play resumed the paused player, Pause found it not
    // playing; anything else is not a transport command, or came in pieces.
    kActedTransport = 64,
    kActedTransportResume,
    kNothingNotPlaying,
    kNothingNotTransport,
    kNothingInPieces,
};

// Worker: the outcome of a channel message it took. System messages (0xF0 and
// up) are not recorded: instruments send clock and active sensing several
// times a second, and they would hide everything else.
void recordOutcome(ShortMessage message, uint32_t outcome);
// The Machine Control commands that act, as the record keeps them.
enum TransportCommand : uint32_t {
    kMmcNone,
    kMmcStop,
    kMmcPlay,
    kMmcDeferredPlay,
    kMmcFastForward,
    kMmcRewind,
    kMmcPause,
    kMmcLocate,
};
// Worker: the outcome of a system-exclusive message: the transport command it
// is (kMmcNone for none) and a value, Locate's time in seconds or any other
// message's length in bytes (at most 2^20 - 1 kept).
void recordSysexOutcome(uint32_t command, uint32_t value, uint32_t outcome);
// Main data handler: a channel message dropped inside the window, unseen by
// the worker.
void countWindowDrop(ShortMessage message);
// The Bindings dialog bound nothing for the message Learn took: while it is
// still the last one recorded, it is no longer called taken.
void markLearnRefused(ShortMessage message);

// What a dialog has shown of the record so far.
struct LineState {
    uint32_t record;
    uint32_t dropsAtRecord;
    uint32_t drops;
};
// Marks everything recorded so far as seen: a dialog that opens starts with
// what the plug-in listens to, not with an old message.
void startLine(LineState* seen);
// Writes the line when something happened since the last call: "Note-on 64
// (E4), velocity 90, channel 1: Pause (key map)"; false when nothing did.
bool nextLine(LineState* seen, char* line, size_t capacity);
// The message in words, as the line starts: "Controller 7 = 100, channel 1".
void describeMessage(ShortMessage message, char* out, size_t capacity);

// Back to no record; for tests.
void resetOutcomes();
