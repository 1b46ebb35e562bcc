// bindings.cpp -- the bindings' sources and actions in words, the table the
// worker reads, and Learn.
//
// Sections: words; the table; Learn.
#include "midi/bindings.h"

#include <atomic>

#include "core/text.h"
#include "midi/encoders.h"
#include "midi/gestures.h"
#include "platform/dialogs.h"

// ---- Words ----------------------------------------------------------------------------

static const char* const actionNames[kActionCount + 1] = {
    "",         "Previous",     "Play/Pause", "Play",      "Pause",       "Stop",     "Next",    "Equalizer",
    "Playlist", "Open",         "Shuffle",    "Repeat",    "Volume Up",   "Volume Down", "Rewind", "Forward",
    "Volume",   "Volume Steps", "Seek",       "Track",     "Position",    "Balance",  "Play Entry", "Shift",
};

// Takes `word` from the front of text, whatever the case of either.
static bool takeWord(const char*& text, const char* word) {
    const char* at = text;
    for (; *word != '\0'; ++word, ++at) {
        if (lowerCase(*at) != lowerCase(*word)) return false;
    }
    text = at;
    return true;
}

// Takes a decimal number of one to `most` digits within low..high.
static bool takeNumber(const char*& text, uint32_t low, uint32_t high, uint32_t* value, uint32_t most = 3) {
    uint32_t number = 0, digits = 0;
    for (; *text >= '0' && *text <= '9' && digits <= most; ++text, ++digits) number = number * 10 + (*text - '0');
    *value = number;
    return digits >= 1 && digits <= most && number >= low && number <= high;
}

bool parseBindingSource(const char* key, BindingSource* source) {
    const char* at = key;
    uint32_t number = 0, channel = 0;
    source->encoder = kNotEncoder;
    source->shift = takeWord(at, "Shift ") ? 1 : 0;
    source->gesture = kGesturePress;
    if (takeWord(at, "Note ")) {
        source->kind = kSourceNote;
    } else if (takeWord(at, "Encoder ")) {
        source->kind = kSourceController;
        source->encoder = kEncoderTwos;
    } else if (takeWord(at, "Controller ")) {
        source->kind = kSourceController;
    } else if (takeWord(at, "Program ")) {
        source->kind = kSourceProgram;
    } else if (takeWord(at, "Pitch Bend ")) {
        source->kind = kSourcePitchBend;
    } else {
        return false;
    }
    if (source->kind != kSourcePitchBend && !(takeNumber(at, 0, 127, &number) && takeWord(at, " "))) return false;
    if (!takeWord(at, "Channel ") || !takeNumber(at, 1, 16, &channel)) return false;
    if (source->encoder != kNotEncoder && takeWord(at, " Offset")) source->encoder = kEncoderOffset;
    if (source->encoder == kEncoderTwos && takeWord(at, " Signed")) source->encoder = kEncoderSigned;
    if (source->encoder != kNotEncoder && takeWord(at, " Reversed")) source->encoder |= kEncoderReversed;
    if (source->encoder == kNotEncoder && takeWord(at, " Hold")) source->gesture = kGestureHold;
    if (source->encoder == kNotEncoder && source->gesture == kGesturePress && takeWord(at, " Double")) {
        source->gesture = kGestureDouble;
    }
    if (*at != '\0') return false;
    source->number = static_cast<uint8_t>(number);
    source->channel = static_cast<uint8_t>(channel - 1);
    return true;
}

// The source in words, as the file's keys have it ("Note 48 Channel 10") or
// as users read it ("Note 48 (C3), channel 10").
static void sourceWords(const BindingSource& source, bool forUsers, char* out, size_t capacity) {
    static const char* const keys[] = {"Note ", "Controller ", "Pitch Bend", "Program "};
    static const char* const words[] = {"Note ", "Controller ", "Pitch bend", "Program "};
    static const char* const encodings[] = {"", "", " Offset", " Signed"};
    static const char* const encodingWords[] = {"", "", "offset", "signed"};
    char number[12];
    out[0] = '\0';
    bool encoder = source.kind == kSourceController && source.encoder != kNotEncoder;
    if (source.shift != 0) appendText(out, capacity, forUsers ? "Shift + " : "Shift ");
    appendText(out, capacity, encoder ? "Encoder " : (forUsers ? words : keys)[source.kind & 3]);
    if (source.kind != kSourcePitchBend) {
        formatDecimal(source.number, number);
        appendText(out, capacity, number);
    }
    if (forUsers && source.kind == kSourceNote) {
        appendText(out, capacity, " (");
        appendNoteName(out, capacity, source.number);
        appendText(out, capacity, ")");
    }
    appendText(out, capacity, forUsers ? ", channel " : " Channel ");
    formatDecimal(source.channel + 1, number);
    appendText(out, capacity, number);
    bool reversed = (source.encoder & kEncoderReversed) != 0;
    if (encoder && !forUsers) {
        appendText(out, capacity, encodings[source.encoder & 3]);
        if (reversed) appendText(out, capacity, " Reversed");
    }
    // "(offset)", "(signed, reversed)", "(reversed)"; two's complement, the
    // most common, goes without a word.
    if (encoder && forUsers && source.encoder != kEncoderTwos) {
        const char* encoding = encodingWords[source.encoder & 3];
        appendText(out, capacity, " (");
        appendText(out, capacity, encoding);
        appendText(out, capacity, reversed && encoding[0] != '\0' ? ", reversed)" : reversed ? "reversed)" : ")");
    }
    static const char* const gestureKeys[] = {"", " Hold", " Double", ""};
    static const char* const gestureWords[] = {"", ", hold", ", double press", ""};
    appendText(out, capacity, (forUsers ? gestureWords : gestureKeys)[source.gesture & 3]);
}

void formatBindingSource(const BindingSource& source, char* out) {
    sourceWords(source, false, out, kBindingKeyCapacity);
}

BindingAction parseBindingAction(const char* name) {
    for (uint32_t action = 1; action <= kActionCount; ++action) {
        const char* at = name;
        if (takeWord(at, actionNames[action]) && *at == '\0') return static_cast<BindingAction>(action);
    }
    return kActionNone;
}

// One part of what follows a line's action, [part, end): "lit N", "dark N"
// or "at Note N Channel C" / "at Controller N Channel C", each at most once.
static bool takeLightPart(const char* part, const char* end, Binding* binding, bool* litGiven, bool* darkGiven,
                          bool* atGiven) {
    char text[48];
    size_t length = static_cast<size_t>(end - part);
    if (length >= sizeof text) return false;
    for (size_t i = 0; i < length; ++i) text[i] = part[i];
    text[length] = '\0';
    const char* at = text;
    if (takeWord(at, "at ")) {
        BindingSource address;
        if (*atGiven || !parseBindingSource(at, &address) || address.encoder != kNotEncoder ||
            (address.kind != kSourceNote && address.kind != kSourceController)) {
            return false;
        }
        *atGiven = true;
        binding->at = LightAddress{address.kind, address.number, address.channel};
        return true;
    }
    uint32_t number = 0;
    bool isLit = takeWord(at, "lit ");
    if (!isLit && !takeWord(at, "dark ")) return false;
    bool* given = isLit ? litGiven : darkGiven;
    if (*given || !takeNumber(at, 0, 127, &number) || *at != '\0') return false;
    *given = true;
    (isLit ? binding->lit : binding->dark) = static_cast<uint8_t>(number);
    return true;
}

bool parseBindingValue(const char* value, Binding* binding) {
    char name[32];
    uint32_t length = 0;
    while (value[length] != '\0' && value[length] != ',') ++length;
    uint32_t end = length;
    while (end > 0 && (value[end - 1] == ' ' || value[end - 1] == '\t')) --end;
    binding->action = kActionNone;
    binding->entry = 0;
    if (end < sizeof name) {
        for (uint32_t i = 0; i < end; ++i) name[i] = value[i];
        name[end] = '\0';
        const char* at = name;
        uint32_t entry = 0;
        if (takeWord(at, "Play Entry ") && takeNumber(at, 1, 65535, &entry, 5) && *at == '\0') {
            binding->action = kActionPlayEntry;
            binding->entry = static_cast<uint16_t>(entry);
        } else if (parseBindingAction(name) != kActionPlayEntry) {
            binding->action = parseBindingAction(name);
        }
    }
    binding->lit = 127;
    binding->dark = 0;
    binding->at = LightAddress{};
    bool litGiven = false, darkGiven = false, atGiven = false;
    for (const char* at = value + length; *at != '\0';) {
        ++at;  // the comma
        while (*at == ' ' || *at == '\t') ++at;
        const char* part = at;
        while (*at != '\0' && *at != ',') ++at;
        const char* partEnd = at;
        while (partEnd > part && (partEnd[-1] == ' ' || partEnd[-1] == '\t')) --partEnd;
        if (!takeLightPart(part, partEnd, binding, &litGiven, &darkGiven, &atGiven)) return false;
    }
    return true;
}

const char* bindingActionName(uint32_t action) { return action <= kActionCount ? actionNames[action] : ""; }

void formatBindingAction(const Binding& binding, char* out) {
    out[0] = '\0';
    appendText(out, 32, bindingActionName(binding.action));
    if (binding.action != kActionPlayEntry) return;
    char entry[12];
    formatDecimal(binding.entry, entry);
    appendText(out, 32, " ");
    appendText(out, 32, entry);
}

uint32_t fitKind(const BindingSource& source) {
    return source.kind == kSourceController && source.encoder != kNotEncoder ? kFitEncoder : source.kind;
}

// Which kinds each action fits, one bit per kind (kFitEncoder included).
static uint32_t fittingKinds(uint32_t action) {
    const uint32_t note = 1u << kSourceNote, controller = 1u << kSourceController, wheel = 1u << kSourcePitchBend;
    const uint32_t program = 1u << kSourceProgram, encoder = 1u << kFitEncoder;
    switch (action) {
        case kActionNone: return 0;
        case kActionShift: return note | controller;
        case kActionVolume: return controller | encoder | wheel;
        case kActionVolumeSteps: return wheel;
        case kActionSeek:
        case kActionTrack: return encoder;
        case kActionPosition:
        case kActionBalance: return controller;
        default: return action <= kActionCount ? note | controller | program : 0;
    }
}

bool actionFits(uint32_t action, uint32_t kind) { return (fittingKinds(action) >> kind & 1u) != 0; }

bool bindingFits(const Binding& binding) {
    const BindingSource& source = binding.source;
    if (!actionFits(binding.action, fitKind(source))) return false;
    if (binding.action == kActionShift) return source.shift == 0 && source.gesture == kGesturePress;
    if (source.gesture == kGesturePress) return true;
    bool pressed = binding.action <= kActionForward || binding.action == kActionPlayEntry;
    return pressed && (source.kind == kSourceNote || source.kind == kSourceController);
}

const char* sourcesForAction(uint32_t action) {
    switch (fittingKinds(action)) {
        case 1u << kSourcePitchBend: return "the pitch-bend wheel";
        case 1u << kFitEncoder: return "an endless knob";
        case 1u << kSourceController: return "a controller";
        case (1u << kSourceController) | (1u << kFitEncoder) | (1u << kSourcePitchBend):
            return "a controller, an endless knob or the pitch-bend wheel";
        case (1u << kSourceNote) | (1u << kSourceController): return "a note or a controller";
        default: return "a note, a controller or a program change";
    }
}

int32_t encoderSteps(uint32_t encoder, uint32_t value) {
    int32_t v = static_cast<int32_t>(value & 0x7F), steps = 0;
    switch (encoder & 3u) {
        case kEncoderTwos: steps = v == 64 ? 0 : v < 64 ? v : v - 128; break;
        case kEncoderOffset: steps = v == 0 ? 0 : v - 64; break;
        case kEncoderSigned: steps = v < 64 ? v : 64 - v; break;
        default: return 0;
    }
    return (encoder & kEncoderReversed) != 0 ? -steps : steps;
}

bool sameSource(const BindingSource& a, const BindingSource& b) {
    return a.kind == b.kind && a.number == b.number && a.channel == b.channel && a.shift == b.shift &&
           a.gesture == b.gesture;
}

void appendNoteName(char* out, size_t capacity, uint32_t note) {
    static const char* const names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    char octave[12];
    formatDecimal(static_cast<int32_t>(note / 12) - 1, octave);
    appendText(out, capacity, names[note % 12]);
    appendText(out, capacity, octave);
}

void describeSource(const BindingSource& source, char* out, size_t capacity) {
    sourceWords(source, true, out, capacity);
}

bool messageSource(ShortMessage message, BindingSource* source) {
    uint32_t status = messageStatus(message);
    source->channel = static_cast<uint8_t>(status & 0x0F);
    source->number = static_cast<uint8_t>(messageData1(message) & 0x7F);
    switch (status & 0xF0) {
        case 0x90:
            source->kind = kSourceNote;
            return messageData2(message) != 0;  // velocity 0 is a release
        case 0xB0: source->kind = kSourceController; return true;
        case 0xC0: source->kind = kSourceProgram; return true;
        case 0xE0:
            source->kind = kSourcePitchBend;
            source->number = 0;
            return true;
        default: return false;
    }
}

// ---- The tables ----------------------------------------------------------------------

// Two tables a device: the worker reads the active one while the
// user-interface thread fills the other, then makes that one active. A table
// finds a source's binding by its hash, in a few steps however many bindings
// it holds: buckets holds each entry's index + 1 (bindings first, then the
// sources of lines not used), 0 for an empty bucket, twice as many buckets
// as entries at the most, collisions in the next free bucket.
const uint32_t kTableEntries = kMaxBindings + kMaxUnusedSources;
const uint32_t kBuckets = 2 * kTableEntries;
struct BindingTable {
    uint32_t generation;
    uint32_t count;
    uint32_t unusedCount;
    Binding entries[kMaxBindings];
    UnusedSource unused[kMaxUnusedSources];
    uint8_t buckets[kBuckets];
};
struct DeviceTables {
    BindingTable tables[2];
    std::atomic<uint32_t> active;
    // 1 + the table the worker is looking up in; 0 while it looks in none.
    std::atomic<uint32_t> inUse;
};
// Each device's tables, made the first time a table is published for it:
// most devices never have one. Null: no bindings.
static std::atomic<DeviceTables*> deviceTables[kMaxDevices];
static uint32_t lastGeneration = 0;  // user-interface thread only

// A source's first bucket: its kind, number and channel, hashed.
static uint32_t bucketOf(const BindingSource& source) { return (sourceKey(source) * 2654435761u >> 24) % kBuckets; }

static void putInBucket(BindingTable& table, const BindingSource& source, uint32_t entry) {
    uint32_t b = bucketOf(source);
    while (table.buckets[b] != 0) b = (b + 1) % kBuckets;
    table.buckets[b] = static_cast<uint8_t>(entry + 1);
}

void publishBindings(const Binding* bindings, uint32_t count, uint32_t device, const UnusedSource* unused,
                     uint32_t unusedCount) {
    if (device >= kMaxDevices) return;
    DeviceTables* d = deviceTables[device].load();
    if (d == nullptr) {
        if (count == 0 && unusedCount == 0) return;  // no table is no bindings
        d = static_cast<DeviceTables*>(platformAllocZeroed(sizeof(DeviceTables)));
        if (d == nullptr) return;
        deviceTables[device].store(d);
    }
    uint32_t next = 1 - d->active.load();
    // NOTE: the worker may still be looking up in this table, having taken it
    // before the last publish. A lookup is a short loop that never blocks, so
    // this waits a few hundred instructions at most, and only then.
    while (d->inUse.load() == next + 1) platformYield();
    BindingTable& table = d->tables[next];
    table.count = count < kMaxBindings ? count : kMaxBindings;
    table.unusedCount = unusedCount < kMaxUnusedSources ? unusedCount : kMaxUnusedSources;
    for (uint8_t& bucket : table.buckets) bucket = 0;
    for (uint32_t i = 0; i < table.count; ++i) {
        table.entries[i] = bindings[i];
        putInBucket(table, bindings[i].source, i);
    }
    for (uint32_t i = 0; i < table.unusedCount; ++i) {
        table.unused[i] = unused[i];
        putInBucket(table, unused[i].source, kMaxBindings + i);
    }
    table.generation = ++lastGeneration;
    d->active.store(next);
    publishEncoders(table.entries, table.count, device);
    publishGestures(table.entries, table.count, device);
}

// The device's table the worker may read until it lowers the mark again
// (doneWithTable); null when the device has none.
static const BindingTable* markTableInUse(uint32_t device) {
    DeviceTables* d = device < kMaxDevices ? deviceTables[device].load() : nullptr;
    if (d == nullptr) return nullptr;
    // NOTE: the mark goes up before the active table is read again: a
    // publish that slipped in between is seen, and one after it waits.
    uint32_t active = d->active.load();
    for (;;) {
        d->inUse.store(active + 1);
        uint32_t now = d->active.load();
        if (now == active) break;
        active = now;
    }
    return &d->tables[active];
}

static void doneWithTable(uint32_t device) { deviceTables[device].load()->inUse.store(0); }

uint32_t copyBindings(Binding* out, uint32_t* generation, uint32_t device) {
    const BindingTable* table = markTableInUse(device);
    *generation = 0;
    if (table == nullptr) return 0;
    uint32_t count = table->count;
    for (uint32_t i = 0; i < count; ++i) out[i] = table->entries[i];
    *generation = table->generation;
    doneWithTable(device);
    return count;
}

uint32_t bindingsGeneration(uint32_t device) {
    const BindingTable* table = markTableInUse(device);
    if (table == nullptr) return 0;
    uint32_t generation = table->generation;
    doneWithTable(device);
    return generation;
}

// The entry of the source in the table: its index + 1, or 0 for none.
static uint32_t entryOf(const BindingTable& table, const BindingSource& source) {
    for (uint32_t b = bucketOf(source); table.buckets[b] != 0; b = (b + 1) % kBuckets) {
        uint32_t i = table.buckets[b] - 1u;
        const BindingSource& other = i < kMaxBindings ? table.entries[i].source : table.unused[i - kMaxBindings].source;
        if (sameSource(other, source)) return i + 1;
    }
    return 0;
}

bool findBinding(const BindingSource& source, Binding* binding, uint32_t* slot, uint32_t* generation,
                 uint32_t device, int32_t* unusedLine) {
    const BindingTable* table = markTableInUse(device);
    *generation = 0;
    if (unusedLine != nullptr) *unusedLine = -1;
    if (table == nullptr) return false;
    uint32_t entry = entryOf(*table, source);
    bool found = entry != 0 && entry <= kMaxBindings;
    if (found) {
        *binding = table->entries[entry - 1];
        *slot = entry - 1;
    } else if (entry != 0 && unusedLine != nullptr) {
        *unusedLine = table->unused[entry - 1 - kMaxBindings].line;
    }
    *generation = table->generation;
    doneWithTable(device);
    return found;
}

void resetBindings() {
    for (uint32_t device = 0; device < kMaxDevices; ++device) {
        DeviceTables* d = deviceTables[device].exchange(nullptr);
        if (d != nullptr) platformFree(d);
    }
    resetEncoders();
    resetGestures();
    stopLearning();
}

// ---- Learn ------------------------------------------------------------------------------

// 1 + the device Learn listens to; 0 while it listens to none.
static std::atomic<uint32_t> learning{0};
static std::atomic<ShortMessage> learnedMessage{0};
static std::atomic<WindowRef> learningDialog{nullptr};
// The status and note of the note-on whose release Learn takes too; 0 for none.
static std::atomic<uint32_t> learnRelease{0};

void startLearning(WindowRef dialog, uint32_t device, ShortMessage heldNote) {
    learnedMessage.store(0);
    learningDialog.store(dialog);
    learnRelease.store(heldNote & 0x7FFFu);
    learning.store(device + 1);
}

// A note-off, or a note-on with velocity 0, of the held note.
static bool releasesHeldNote(ShortMessage message) {
    uint32_t held = learnRelease.load(), status = messageStatus(message);
    if (held == 0 || messageData1(message) != messageData1(held) || (status & 0x0F) != (held & 0x0F)) return false;
    return (status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && messageData2(message) == 0);
}

void stopLearning() {
    learning.store(0);
    learningDialog.store(nullptr);
}


bool learningFrom(uint32_t device) { return learning.load() == device + 1; }

bool learnMessage(ShortMessage message, uint32_t device) {
    BindingSource source;
    if (learning.load() != device + 1 || (!messageSource(message, &source) && !releasesHeldNote(message))) return false;
    // One message only, even should Learn be stopped meanwhile.
    uint32_t listening = device + 1;
    if (!learning.compare_exchange_strong(listening, 0)) return false;
    learnedMessage.store(message);
    return true;
}

void notifyLearned() {
    WindowRef dialog = learningDialog.load();
    if (dialog != nullptr) platformPostNotify(dialog);
}

ShortMessage takeLearnedMessage() { return learnedMessage.exchange(0); }

uint32_t encoderFromTurns(uint32_t right, uint32_t left) {
    // The one-step values of each form, right then left; reversed forms swap them.
    static const uint8_t forms[3][2] = {{1, 127}, {65, 63}, {1, 65}};
    for (uint32_t form = 0; form < 3; ++form) {
        if (right == forms[form][0] && left == forms[form][1]) return kEncoderTwos + form;
        if (right == forms[form][1] && left == forms[form][0]) return (kEncoderTwos + form) | kEncoderReversed;
    }
    return kNotEncoder;
}

bool isOneStepValue(uint32_t value) { return value == 1 || value == 63 || value == 65 || value == 127; }
