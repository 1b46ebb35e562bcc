// bindings.h -- the user's bindings: a control of the instrument (a note, a
// controller, an endless knob, the pitch-bend wheel, a program change) bound
// to a function of the player, as the settings file's "Notewick Bindings"
// section lists them:
//
//   [Notewick Bindings]
//   Note 36 Channel 10=Play/Pause
//   Controller 7 Channel 1=Volume
//   Encoder 16 Channel 1=Seek
//   Encoder 17 Channel 1 Offset=Track
//   Pitch Bend Channel 2=Volume Steps
//   Program 3 Channel 1=Play Entry 12
//   Note 40 Channel 10=Shift
//   Note 36 Channel 10 Hold=Stop
//   Note 37 Channel 10 Double=Next
//   Shift Note 36 Channel 10=Play Entry 1
//
// Sources and actions are read without regard to case, numbers in decimal
// with single spaces between the words; N is 0-127 as on the wire, C is 1-16
// as users count channels. A line that does not parse, names an unknown
// action, or one that does not fit its source is not used; nor is a second
// line for the same source (the first one wins), nor any line past the
// 128th binding.
//
// The worker reads the table the user-interface thread publishes; neither
// waits on the MIDI callback, which never touches the table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/types.h"
#include "platform/platform.h"

const uint32_t kMaxBindings = 128;

enum BindingSourceKind : uint8_t { kSourceNote, kSourceController, kSourcePitchBend, kSourceProgram };
// How an endless knob (a controller whose value counts steps) encodes them;
// a controller that is not one has kNotEncoder. kEncoderReversed, added to
// any of the three, swaps its directions (knobs that count the other way).
enum EncoderKind : uint8_t { kNotEncoder, kEncoderTwos, kEncoderOffset, kEncoderSigned };
const uint8_t kEncoderReversed = 4;
// The kind an action is fitted against: an endless knob apart from a controller.
const uint32_t kFitEncoder = 4;

// In the order the Bindings dialog offers them; kActionNone is no action.
enum BindingAction : uint8_t {
    kActionNone,
    kActionPrevious,
    kActionPlayPause,
    kActionPlay,
    kActionPause,
    kActionStop,
    kActionNext,
    kActionEqualizer,
    kActionPlaylist,
    kActionOpen,
    kActionShuffle,
    kActionRepeat,
    kActionVolumeUp,
    kActionVolumeDown,
    kActionRewind,
    kActionForward,
    kActionVolume,
    kActionVolumeSteps,
    kActionSeek,
    kActionTrack,
    kActionPosition,
    kActionBalance,
    kActionPlayEntry,
    kActionShift,
};
const uint32_t kActionCount = 23;  // kActionPrevious .. kActionShift

// How a press of a note or a controller bound to a press action counts: a
// press (as always), held for the hold time, or pressed twice within the
// double-press time.
enum BindingGesture : uint8_t { kGesturePress, kGestureHold, kGestureDouble };

// A source: its kind, its number (note, controller or program; 0 for the
// pitch-bend wheel) and its 0-based channel; for a controller, whether it is
// an endless knob and how it counts. A controller number on a channel is one
// source, as a Controller or as an Encoder. `shift`: the line begins with
// "Shift ", for while the device's shift button is held; `gesture`: the line
// ends with "Hold" or "Double".
struct BindingSource {
    uint8_t kind;
    uint8_t number;
    uint8_t channel;
    uint8_t encoder = kNotEncoder;
    uint8_t shift = 0;
    uint8_t gesture = kGesturePress;
};

// Where a binding's light goes: kind kSourceNote or kSourceController, its
// number and 0-based channel; kind kLightAtSource sends it to the source.
const uint8_t kLightAtSource = 0xFF;
struct LightAddress {
    uint8_t kind = kLightAtSource;
    uint8_t number = 0;
    uint8_t channel = 0;
};

// lit and dark: what the binding's control is sent while its action's state
// is on or off (a note's velocity, a controller's value), for the lights;
// at: where they go, for controllers whose lights listen elsewhere.
// entry: the playlist entry (from 1) of Play Entry.
struct Binding {
    BindingSource source;
    uint8_t action;
    uint8_t lit = 127;
    uint8_t dark = 0;
    LightAddress at = {};
    uint16_t entry = 0;
};

// "Note 36 Channel 10", "Encoder 16 Channel 1 Offset", "Shift Note 36
// Channel 10 Hold" and the like into source; false when it does not parse.
bool parseBindingSource(const char* key, BindingSource* source);
// The key new bindings are written with: "Note 48 Channel 10",
// "Pitch Bend Channel 2", "Shift Note 36 Channel 10 Double". out holds at
// least kBindingKeyCapacity bytes.
const size_t kBindingKeyCapacity = 48;
void formatBindingSource(const BindingSource& source, char* out);
// An action by its name; kActionNone for an unknown one.
BindingAction parseBindingAction(const char* name);
// A line's value into the binding's action, entry, lit, dark and light
// address: the action's name ("Play Entry 12" with its entry, 1-65535), then
// optionally the lights' parts, ", lit N", ", dark N" (N 0-127) and ", at
// Note N Channel C" or ", at Controller N Channel C", in any order, words in
// any case ("Play/Pause, lit 5, dark 1, at Note 0 Channel 7"). The action is
// kActionNone for an unknown name; false when what follows the name does not
// parse. lit and dark are 127 and 0 unless given, and the light goes to the
// source unless an address is.
bool parseBindingValue(const char* value, Binding* binding);
// "Play/Pause", "Volume Steps", "Play Entry" and so on; "" for kActionNone.
const char* bindingActionName(uint32_t action);
// The action as a line has it: its name, with the entry for Play Entry
// ("Play Entry 12"); out holds at least 32 bytes.
void formatBindingAction(const Binding& binding, char* out);
// The kind an action is fitted against: the source's, or kFitEncoder.
uint32_t fitKind(const BindingSource& source);
// Whether the action can act on a source of that fit kind: a press action or
// Play Entry on a note, a controller or a program change; Volume on a
// controller, an endless knob or the pitch-bend wheel; Volume Steps on the
// pitch-bend wheel; Seek and Track on an endless knob; Position and Balance
// on a controller; Shift on a note or a controller.
bool actionFits(uint32_t action, uint32_t kind);
// Whether the binding can be: its action fits its source, Hold and Double go
// only with a note or a controller bound to a press action or Play Entry,
// and a shift button is a plain line of its own.
bool bindingFits(const Binding& binding);
// Which sources the action needs, in words: "a note, a controller or a
// program change", "an endless knob", "the pitch-bend wheel" and so on.
const char* sourcesForAction(uint32_t action);
// The steps a message of an endless knob counts, clockwise positive: two's
// complement (1-63 up, 127-65 down), offset (65-127 up, 63-1 down) or signed
// (1-63 up, 65-127 down), each the other way round when reversed; 0 and 64
// count none in each.
int32_t encoderSteps(uint32_t encoder, uint32_t value);
bool sameSource(const BindingSource& a, const BindingSource& b);
// A number for each source, its encoding left out: 0..kSourceKeys - 1.
const uint32_t kSourceKeys = 65536;
inline uint32_t sourceKey(const BindingSource& source) {
    return (static_cast<uint32_t>(source.gesture & 3) << 14) | (static_cast<uint32_t>(source.shift & 1) << 13) |
           (static_cast<uint32_t>(source.kind & 3) << 11) | (static_cast<uint32_t>(source.number & 0x7F) << 4) |
           (source.channel & 0x0Fu);
}
// A note's name with its octave, middle C (60) being C4: "E4", "C#-1".
void appendNoteName(char* out, size_t capacity, uint32_t note);
// The source as users read it: "Note 36 (C2), channel 10", "Controller 7,
// channel 1", "Pitch bend, channel 2", "Program 3, channel 1", "Shift +
// Note 36 (C2), channel 10, hold".
void describeSource(const BindingSource& source, char* out, size_t capacity);

// The source a message comes from: a note-on with a velocity above 0, a
// controller, the pitch-bend wheel or a program change; false for any other
// message.
bool messageSource(ShortMessage message, BindingSource* source);

// ---- The tables the worker reads, one per device ------------------------------------
// A source no binding takes but a line names, which is not used (its action
// unknown, not fitting, past the 128th binding...): the line's number in its
// section, so that the line can say why a message from it did nothing.
const uint32_t kMaxUnusedSources = 64;
struct UnusedSource {
    BindingSource source;
    uint16_t line;
};
// Replaces the device's table (user-interface thread). The worker uses the
// new one from its next message on, and never a table half written.
void publishBindings(const Binding* bindings, uint32_t count, uint32_t device = kConfiguredDevice,
                     const UnusedSource* unused = nullptr, uint32_t unusedCount = 0);
// The binding for the source (worker thread): its slot and the table's
// generation, which changes with every table published. When no binding
// takes it and `unusedLine` is given, the number of the line that names it
// and is not used goes there; -1 for none.
bool findBinding(const BindingSource& source, Binding* binding, uint32_t* slot, uint32_t* generation,
                 uint32_t device = kConfiguredDevice, int32_t* unusedLine = nullptr);
// The whole table (worker thread): its bindings into out (kMaxBindings room),
// its count, and its generation.
uint32_t copyBindings(Binding* out, uint32_t* generation, uint32_t device = kConfiguredDevice);
// The table's generation alone (worker thread).
uint32_t bindingsGeneration(uint32_t device = kConfiguredDevice);
// Back to no bindings for any device, the tables' memory given back; for
// tests, and quit once the worker has ended.
void resetBindings();

// ---- Learn --------------------------------------------------------------------------
// The Bindings dialog waits for the next message from the device that has a
// source; the worker takes it for the dialog instead of acting on it, and
// posts the dialog its notification. With `heldNote` (a note-on), the
// release of that note is taken too: the dialog's own shift button, held.
void startLearning(WindowRef dialog, uint32_t device = kConfiguredDevice, ShortMessage heldNote = 0);
void stopLearning();
// Whether Learn waits for a message from this device.
bool learningFrom(uint32_t device);
// Worker side: true when the message from the device was taken for Learn;
// once its outcome is recorded, notifyLearned() tells the dialog, so that
// the dialog finds the record there when it refuses the message.
bool learnMessage(ShortMessage message, uint32_t device = kConfiguredDevice);
void notifyLearned();
// The message Learn took, once; 0 when none.
ShortMessage takeLearnedMessage();
// How an endless knob counts, from the values it sent turned one step to the
// right, then one to the left: (1, 127) two's complement, (65, 63) offset,
// (1, 65) signed, and each reversed: (127, 1), (63, 65), (65, 1);
// kNotEncoder for any other pair.
uint32_t encoderFromTurns(uint32_t right, uint32_t left);
// Whether an endless knob sends the value for one step, either way, however
// it counts: 1, 63, 65 or 127.
bool isOneStepValue(uint32_t value);
