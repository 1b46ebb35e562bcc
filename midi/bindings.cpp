// bindings.cpp -- the bindings' sources and actions in words, the table the
// worker reads, and Learn.
//
// Sections: words; the table; Learn.
#include "midi/bindings.h"

#include <atomic>

#include "core/text.h"
#include "platform/dialogs.h"

// ---- Words ----------------------------------------------------------------------------

static const char* const actionNames[kActionCount + 1] = {
    "",         "Previous", "Play/Pause", "Play",      "Pause",       "Stop",   "Next",    "Equalizer", "Playlist",
    "Open",     "Shuffle",  "Repeat",     "Volume Up", "Volume Down", "Rewind", "Forward", "Volume",    "Volume Steps",
};

static char lowerCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Takes `word` from the front of text, whatever the case of either.
static bool takeWord(const char*& text, const char* word) {
    const char* at = text;
    for (; *word != '\0'; ++word, ++at) {
        if (lowerCase(*at) != lowerCase(*word)) return false;
    }
    text = at;
    return true;
}

// Takes a decimal number of one to three digits within low..high.
static bool takeNumber(const char*& text, uint32_t low, uint32_t high, uint32_t* value) {
    uint32_t number = 0, digits = 0;
    for (; *text >= '0' && *text <= '9' && digits < 4; ++text, ++digits) number = number * 10 + (*text - '0');
    *value = number;
    return digits >= 1 && digits <= 3 && number >= low && number <= high;
}

bool parseBindingSource(const char* key, BindingSource* source) {
    const char* at = key;
    uint32_t number = 0, channel = 0;
    if (takeWord(at, "Note ")) {
        source->kind = kSourceNote;
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
    if (!takeWord(at, "Channel ") || !takeNumber(at, 1, 16, &channel) || *at != '\0') return false;
    source->number = static_cast<uint8_t>(number);
    source->channel = static_cast<uint8_t>(channel - 1);
    return true;
}

// The source in words, as the file's keys have it ("Note 48 Channel 10") or
// as users read it ("Note 48 (C3), channel 10").
static void sourceWords(const BindingSource& source, bool forUsers, char* out, size_t capacity) {
    static const char* const keys[] = {"Note ", "Controller ", "Pitch Bend", "Program "};
    static const char* const words[] = {"Note ", "Controller ", "Pitch bend", "Program "};
    char number[12];
    out[0] = '\0';
    appendText(out, capacity, (forUsers ? words : keys)[source.kind & 3]);
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

bool parseBindingValue(const char* value, uint32_t* action, uint8_t* lit, uint8_t* dark) {
    char name[32];
    uint32_t length = 0;
    while (value[length] != '\0' && value[length] != ',') ++length;
    uint32_t end = length;
    while (end > 0 && (value[end - 1] == ' ' || value[end - 1] == '\t')) --end;
    *action = kActionNone;
    if (end < sizeof name) {
        for (uint32_t i = 0; i < end; ++i) name[i] = value[i];
        name[end] = '\0';
        *action = parseBindingAction(name);
    }
    *lit = 127;
    *dark = 0;
    bool litGiven = false, darkGiven = false;
    for (const char* at = value + length; *at != '\0';) {
        ++at;  // the comma
        while (*at == ' ' || *at == '\t') ++at;
        uint32_t number = 0;
        bool isLit = takeWord(at, "lit ");
        if (!isLit && !takeWord(at, "dark ")) return false;
        bool& given = isLit ? litGiven : darkGiven;
        if (given || !takeNumber(at, 0, 127, &number)) return false;
        given = true;
        (isLit ? *lit : *dark) = static_cast<uint8_t>(number);
        while (*at == ' ' || *at == '\t') ++at;
        if (*at != '\0' && *at != ',') return false;
    }
    return true;
}

const char* bindingActionName(uint32_t action) { return action <= kActionCount ? actionNames[action] : ""; }

bool actionFits(uint32_t action, uint32_t sourceKind) {
    if (action == kActionVolumeSteps) return sourceKind == kSourcePitchBend;
    if (action == kActionVolume) return sourceKind == kSourceController || sourceKind == kSourcePitchBend;
    return action != kActionNone && action <= kActionCount && sourceKind != kSourcePitchBend;
}

const char* sourcesForAction(uint32_t action) {
    if (action == kActionVolumeSteps) return "the pitch-bend wheel";
    if (action == kActionVolume) return "a controller or the pitch-bend wheel";
    return "a note, a controller or a program change";
}

bool sameSource(const BindingSource& a, const BindingSource& b) {
    return a.kind == b.kind && a.number == b.number && a.channel == b.channel;
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

// ---- The table ------------------------------------------------------------------------

// Two tables: the worker reads the active one while the user-interface thread
// fills the other, then makes that one active.
struct BindingTable {
    uint32_t generation;
    uint32_t count;
    Binding entries[kMaxBindings];
};
static BindingTable tables[2];
static std::atomic<uint32_t> activeTable{0};
// 1 + the table the worker is looking up in; 0 while it looks in none.
static std::atomic<uint32_t> tableInUse{0};
static uint32_t lastGeneration = 0;  // user-interface thread only

void publishBindings(const Binding* bindings, uint32_t count) {
    uint32_t next = 1 - activeTable.load();
    // NOTE: the worker may still be looking up in this table, having taken it
    // before the last publish. A lookup is a short loop that never blocks, so
    // this waits a few hundred instructions at most, and only then.
    while (tableInUse.load() == next + 1) platformYield();
    BindingTable& table = tables[next];
    table.count = count < kMaxBindings ? count : kMaxBindings;
    for (uint32_t i = 0; i < table.count; ++i) table.entries[i] = bindings[i];
    table.generation = ++lastGeneration;
    activeTable.store(next);
}

// The table the worker may read until it lowers the mark again.
static const BindingTable& markTableInUse() {
    // NOTE: the mark goes up before the active table is read again: a
    // publish that slipped in between is seen, and one after it waits.
    uint32_t active = activeTable.load();
    for (;;) {
        tableInUse.store(active + 1);
        uint32_t now = activeTable.load();
        if (now == active) break;
        active = now;
    }
    return tables[active];
}

uint32_t copyBindings(Binding* out, uint32_t* generation) {
    const BindingTable& table = markTableInUse();
    uint32_t count = table.count;
    for (uint32_t i = 0; i < count; ++i) out[i] = table.entries[i];
    *generation = table.generation;
    tableInUse.store(0);
    return count;
}

bool findBinding(const BindingSource& source, Binding* binding, uint32_t* slot, uint32_t* generation) {
    const BindingTable& table = markTableInUse();
    bool found = false;
    for (uint32_t i = 0; i < table.count && !found; ++i) {
        if (!sameSource(table.entries[i].source, source)) continue;
        *binding = table.entries[i];
        *slot = i;
        found = true;
    }
    *generation = table.generation;
    tableInUse.store(0);
    return found;
}

void resetBindings() {
    publishBindings(nullptr, 0);
    stopLearning();
}

// ---- Learn ------------------------------------------------------------------------------

static std::atomic<uint32_t> learning{0};
static std::atomic<ShortMessage> learnedMessage{0};
static std::atomic<WindowRef> learningDialog{nullptr};

void startLearning(WindowRef dialog) {
    learnedMessage.store(0);
    learningDialog.store(dialog);
    learning.store(1);
}

void stopLearning() {
    learning.store(0);
    learningDialog.store(nullptr);
}

bool learnMessage(ShortMessage message) {
    BindingSource source;
    if (learning.load() == 0 || !messageSource(message, &source)) return false;
    // One message only, even should Learn be stopped meanwhile.
    if (learning.exchange(0) == 0) return false;
    learnedMessage.store(message);
    return true;
}

void notifyLearned() {
    WindowRef dialog = learningDialog.load();
    if (dialog != nullptr) platformPostNotify(dialog);
}

ShortMessage takeLearnedMessage() { return learnedMessage.exchange(0); }
