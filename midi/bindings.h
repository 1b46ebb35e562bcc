// bindings.h -- the user's bindings: a control of the instrument (a note, a
// controller, the pitch-bend wheel, a program change) bound to a function of
// the player, as the settings file's "Notewick Bindings" section lists them:
//
//   [Notewick Bindings]
//   Note 36 Channel 10=Play/Pause
//   Controller 7 Channel 1=Volume
//   Pitch Bend Channel 2=Volume Steps
//   Program 3 Channel 1=Previous
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
};
const uint32_t kActionCount = 17;  // kActionPrevious .. kActionVolumeSteps

// A source: its kind, its number (note, controller or program; 0 for the
// pitch-bend wheel) and its 0-based channel.
struct BindingSource {
    uint8_t kind;
    uint8_t number;
    uint8_t channel;
};

// lit and dark: what the binding's control is sent while its action's state
// is on or off (a note's velocity, a controller's value), for the lights.
struct Binding {
    BindingSource source;
    uint8_t action;
    uint8_t lit = 127;
    uint8_t dark = 0;
};

// "Note 36 Channel 10" and the like into source; false when it does not parse.
bool parseBindingSource(const char* key, BindingSource* source);
// The key new bindings are written with: "Note 48 Channel 10",
// "Pitch Bend Channel 2". out holds at least kBindingKeyCapacity bytes.
const size_t kBindingKeyCapacity = 32;
void formatBindingSource(const BindingSource& source, char* out);
// An action by its name; kActionNone for an unknown one.
BindingAction parseBindingAction(const char* name);
// A line's value: the action's name, then optionally the lights' values,
// ", lit N" and ", dark N" in either order, N 0-127, words in any case
// ("Play/Pause, lit 5, dark 1"). *action is kActionNone for an unknown name;
// false when what follows the name does not parse. lit and dark are 127 and 0
// unless given.
bool parseBindingValue(const char* value, uint32_t* action, uint8_t* lit, uint8_t* dark);
// "Play/Pause", "Volume Steps" and so on; "" for kActionNone.
const char* bindingActionName(uint32_t action);
// Whether the action can act on the source: a press action on a note, a
// controller or a program change; Volume on a controller or the pitch-bend
// wheel; Volume Steps on the pitch-bend wheel.
bool actionFits(uint32_t action, uint32_t sourceKind);
// Which sources the action needs, in words: "a note, a controller or a
// program change", "a controller or the pitch-bend wheel", "the pitch-bend
// wheel".
const char* sourcesForAction(uint32_t action);
bool sameSource(const BindingSource& a, const BindingSource& b);
// A note's name with its octave, middle C (60) being C4: "E4", "C#-1".
void appendNoteName(char* out, size_t capacity, uint32_t note);
// The source as users read it: "Note 36 (C2), channel 10", "Controller 7,
// channel 1", "Pitch bend, channel 2", "Program 3, channel 1".
void describeSource(const BindingSource& source, char* out, size_t capacity);

// The source a message comes from: a note-on with a velocity above 0, a
// controller, the pitch-bend wheel or a program change; false for any other
// message.
bool messageSource(ShortMessage message, BindingSource* source);

// ---- The table the worker reads ---------------------------------------------------
// Replaces the table (user-interface thread). The worker uses the new one
// from its next message on, and never a table half written.
void publishBindings(const Binding* bindings, uint32_t count);
// The binding for the source (worker thread): its slot and the table's
// generation, which changes with every table published.
bool findBinding(const BindingSource& source, Binding* binding, uint32_t* slot, uint32_t* generation);
// The whole table (worker thread): its bindings into out (kMaxBindings room),
// its count, and its generation.
uint32_t copyBindings(Binding* out, uint32_t* generation);
// Back to no bindings; for tests.
void resetBindings();

// ---- Learn --------------------------------------------------------------------------
// The Bindings dialog waits for the next message that has a source; the
// worker takes it for the dialog instead of acting on it, and posts the
// dialog its notification.
void startLearning(WindowRef dialog);
void stopLearning();
// Worker side: true when the message was taken for Learn; once its outcome
// is recorded, notifyLearned() tells the dialog, so that the dialog finds the
// record there when it refuses the message.
bool learnMessage(ShortMessage message);
void notifyLearned();
// The message Learn took, once; 0 when none.
ShortMessage takeLearnedMessage();
