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
#include "midi/bindings.h"

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
    // The bindings of endless knobs, faders and pads that need a value: the
    // record's detail word holds what the line tells of them.
    kActedEncoder,      // detail: encoderDetail()
    kActedPosition,     // detail: the position, in seconds
    kActedBalance,      // detail: the balance + 128
    kActedPlayEntry,    // detail: the entry
    kNothingStopped,    // Seek and Position while the player is stopped
    kNothingNoLength,   // Position in a track of unknown length
    kNothingNoEntry,    // detail: the entry, and the playlist's length << 16
    kNothingNoStep,      // a knob's message that counts no step
    kNothingLearnWaits,  // Learn skipped it: it waits for the knob it took turned to the left
    kNothingUnusedLine,  // detail: the number of the line that names it and is not used
    kNothingUnbound,     // an added controller's message no binding takes
    kShiftHeld,          // the shift button pressed
    kShiftLetGo,         // and let go
    kGestureWaits,       // a press whose Hold or Double line may act: held, pressed again, or let go?
    kNothingKnobPlaces,  // an endless knob that sends its place (absolute values), not steps
    // A binding's press action: kActedBinding + the action.
    kActedBinding = 48,
    // System-exclusive messages: a transport command acted ("Stop
    // (transport)"), Play resumed the paused player, Pause found it not
    // playing; anything else is not a transport command, or came in pieces.
    kActedTransport = 96,
    kActedTransportResume,
    kNothingNotPlaying,
    kNothingNotTransport,
    kNothingInPieces,
    kNothingAlreadyPlaying,
    kTransportEvent,  // a real-time, Mackie Control or HUI message: its event word in the record
};

static_assert(kNothingKnobPlaces < kActedBinding && kActedBinding + kActionCount < kActedTransport,
              "the outcomes' ranges stay apart");

// Worker: it takes a message, whose outcome it records next. A drop the
// handler counts from now on is newer than that record, and the line shows
// it after it, also when it came while the rules were sending to the player.
void startRecord();
// Worker: the outcome of a channel message it took from the device. System
// messages (0xF0 and up) are not recorded: instruments send clock and active
// sensing several times a second, and they would hide everything else.
// `detail` is what some outcomes tell besides (see above). An endless knob's
// steps acted on, with no message of their own, are recorded with
// kKnobRecord + the knob's encoding (0-7) as the message's value.
// `how`: a binding acted by a gesture or on its Shift line (kHow...).
const uint32_t kHowHeld = 1, kHowDouble = 2, kHowShift = 4;
void recordOutcome(ShortMessage message, uint32_t outcome, uint32_t detail = 0, uint32_t device = kConfiguredDevice,
                   uint32_t how = 0);
const uint32_t kKnobRecord = 0xF0;
// In the detail of every outcome of an endless knob's message.
const uint32_t kFromKnob = 1u << 31;
// The detail of kActedEncoder: the action, the steps acted on, and the value
// the line tells (the volume set, the tracks skipped).
inline uint32_t encoderDetail(uint32_t action, int32_t steps, uint32_t value) {
    return (action << 24) | ((static_cast<uint32_t>(steps) & 0xFFFu) << 12) | (value & 0xFFFu);
}
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
void recordSysexOutcome(uint32_t command, uint32_t value, uint32_t outcome, uint32_t device = kConfiguredDevice);
// Worker: a real-time, Mackie Control or HUI message (transportEventWord)
// from the device's port (its number, 0 or 1 for the first), the action it
// did (kActionNone for none), why (as transportInPlayState says, or
// kNothingWindow), and for the jog wheel the seconds it moved.
void recordTransportOutcome(uint32_t eventWord, uint32_t action, uint32_t why, uint32_t seconds, uint32_t device,
                            uint32_t port);
// Main data handler: a channel message from the device dropped inside its
// window, unseen by the worker.
void countWindowDrop(ShortMessage message, uint32_t device = kConfiguredDevice);
// The Bindings dialog bound nothing for the message Learn took: while it is
// still the last one recorded, it is no longer called taken.
void markLearnRefused(ShortMessage message);
// Learn skipped the message it took (another control, or the knob turned on
// to the right) and waits on: the line says what for.
void markLearnSkipped(ShortMessage message);
// Learn took the press or the release of the shift button the dialog has and
// the worker does not yet, and waits on: the line says Shift held, or let go.
void markLearnShift(ShortMessage message, bool held);

// What a dialog has shown of the record so far; device: the device of the
// message it showed last.
struct LineState {
    uint32_t record;
    uint32_t detail;
    uint32_t dropsAtRecord;
    uint32_t drops;
    uint32_t device;
    uint32_t how;
    uint32_t port;  // the port of the device it came from, 0 or 1 for the first
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
