// bindings_section.cpp -- the bindings section as text: the reader, the
// edits the Bindings dialog makes, and the section in effect with its file.
//
// Sections: lines; the reader; edits; the file; the section in effect.
#include "core/bindings_section.h"

#include "core/settings.h"
#include "core/text.h"
#include "midi/lights.h"

// ---- Lines ----------------------------------------------------------------------------

// The line that starts at `at`: where its text ends (before "\r\n" or "\n")
// and where the next line starts.
static uint32_t lineEnd(const char* text, uint32_t length, uint32_t at, uint32_t* next) {
    uint32_t end = at;
    while (end < length && text[end] != '\n') ++end;
    *next = end < length ? end + 1 : end;
    if (end > at && text[end - 1] == '\r') --end;
    return end;
}

static bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The text's own line break: "\n" where its first line ends so, else "\r\n".
static const char* lineBreakOf(const char* text, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        if (text[i] == '\n') return i > 0 && text[i - 1] == '\r' ? "\r\n" : "\n";
    }
    return "\r\n";
}

static void trimRange(const char*& start, const char*& end) {
    while (start < end && isBlank(*start)) ++start;
    while (end > start && isBlank(end[-1])) --end;
}

// Copies [start, end) into out; false when it does not fit.
static bool copyRange(const char* start, const char* end, char* out, size_t capacity) {
    size_t length = static_cast<size_t>(end - start);
    if (length >= capacity) return false;
    for (size_t i = 0; i < length; ++i) out[i] = start[i];
    out[length] = '\0';
    return true;
}

void parseSectionLine(const char* start, const char* end, ParsedLine* parsed) {
    *parsed = ParsedLine{false, Binding{BindingSource{0, 0, 0}, kActionNone}, false, false};
    trimRange(start, end);
    if (start == end || *start == ';') return;
    const char* equals = start;
    while (equals < end && *equals != '=') ++equals;
    if (equals == end) return;  // a line without "=" names nothing
    const char* keyEnd = equals;
    const char* value = equals + 1;
    const char* valueEnd = end;
    trimRange(start, keyEnd);
    trimRange(value, valueEnd);
    char key[kBindingKeyCapacity], action[96];
    Binding& binding = parsed->binding;
    if (!copyRange(start, keyEnd, key, sizeof key) || !parseBindingSource(key, &binding.source)) return;
    parsed->named = true;
    if (copyRange(value, valueEnd, action, sizeof action)) parsed->lightsParse = parseBindingValue(action, &binding);
    parsed->fits = parsed->lightsParse && actionFits(binding.action, fitKind(binding.source));
}

// ---- The reader -----------------------------------------------------------------------

uint32_t readBindingLines(const char* text, uint32_t length, BindingLine* lines) {
    // The sources the lines read so far name, used or not: one bit each.
    uint8_t claimed[8192 / 8] = {};
    uint32_t count = 0, next = 0;
    for (uint32_t at = 0, index = 0; at < length; at = next, ++index) {
        uint32_t end = lineEnd(text, length, at, &next);
        if (end > kSectionReadLimit) break;
        ParsedLine parsed;
        parseSectionLine(text + at, text + end, &parsed);
        uint32_t key = sourceKey(parsed.binding.source);
        if (!parsed.named || (claimed[key >> 3] & (1u << (key & 7))) != 0) continue;
        claimed[key >> 3] = static_cast<uint8_t>(claimed[key >> 3] | (1u << (key & 7)));
        if (count < kMaxBindings && parsed.fits) {
            lines[count++] = BindingLine{parsed.binding, index};
        }
    }
    return count;
}

// ---- Edits ----------------------------------------------------------------------------

// Where line `index` starts, ends and the next one starts; false past the last.
static bool lineBounds(const SectionText& section, uint32_t index, uint32_t* start, uint32_t* end,
                       uint32_t* next) {
    uint32_t at = 0, after = 0;
    for (uint32_t i = 0; at < section.length; ++i, at = after) {
        uint32_t stop = lineEnd(section.text, section.length, at, &after);
        if (i == index) {
            *start = at;
            *end = stop;
            *next = after;
            return true;
        }
    }
    return false;
}

bool sectionLine(const SectionText& section, uint32_t index, uint32_t* start, uint32_t* end) {
    uint32_t next = 0;
    return lineBounds(section, index, start, end, &next);
}

int32_t firstLineNaming(const SectionText& section, const BindingSource& source) {
    uint32_t next = 0;
    for (uint32_t at = 0, index = 0; at < section.length; at = next, ++index) {
        uint32_t end = lineEnd(section.text, section.length, at, &next);
        if (end > kSectionReadLimit) break;
        ParsedLine parsed;
        parseSectionLine(section.text + at, section.text + end, &parsed);
        if (parsed.named && sameSource(parsed.binding.source, source)) return static_cast<int32_t>(index);
    }
    return -1;
}

static uint32_t textLength(const char* text) {
    uint32_t length = 0;
    while (text[length] != '\0') ++length;
    return length;
}

// Replaces [start, end) of the section with the pieces; false when there is
// no room.
static bool splice(SectionText* section, uint32_t start, uint32_t end, const char* a, const char* b = "",
                   const char* c = "") {
    uint32_t la = textLength(a), lb = textLength(b), lc = textLength(c);
    uint32_t inserted = la + lb + lc;
    uint32_t length = section->length - (end - start) + inserted;
    if (length + 1 > section->capacity) return false;
    char* text = section->text;
    if (inserted != end - start) {
        // Move the tail, the NUL included, to where it now starts.
        uint32_t tail = section->length - end + 1;
        char* from = text + end;
        char* to = text + start + inserted;
        if (to < from) {
            for (uint32_t i = 0; i < tail; ++i) to[i] = from[i];
        } else {
            for (uint32_t i = tail; i > 0; --i) to[i - 1] = from[i - 1];
        }
    }
    for (uint32_t i = 0; i < la; ++i) text[start + i] = a[i];
    for (uint32_t i = 0; i < lb; ++i) text[start + la + i] = b[i];
    for (uint32_t i = 0; i < lc; ++i) text[start + la + lb + i] = c[i];
    section->length = length;
    return true;
}

bool replaceSectionText(SectionText* section, uint32_t start, uint32_t end, const char* text) {
    return start <= end && end <= section->length && splice(section, start, end, text);
}

bool removeSectionLine(SectionText* section, uint32_t index) {
    uint32_t start = 0, end = 0, next = 0;
    return lineBounds(*section, index, &start, &end, &next) && splice(section, start, next, "");
}

bool replaceSectionLine(SectionText* section, uint32_t index, const char* text) {
    uint32_t start = 0, end = 0, next = 0;
    return lineBounds(*section, index, &start, &end, &next) && splice(section, start, end, text);
}

bool appendSectionLine(SectionText* section, const char* text, uint32_t* index) {
    // After the last line that is not blank, so that blank lines before the
    // next section stay where they are.
    uint32_t at = 0, next = 0, line = 0;
    bool broken = true;  // whether that line ends in a line break
    *index = 0;
    for (uint32_t start = 0; start < section->length; start = next, ++line) {
        uint32_t end = lineEnd(section->text, section->length, start, &next);
        const char* first = section->text + start;
        const char* last = section->text + end;
        trimRange(first, last);
        if (first == last) continue;
        at = next;
        broken = next > end;
        *index = line + 1;
    }
    const char* newline = lineBreakOf(section->text, section->length);
    return broken ? splice(section, at, at, text, newline) : splice(section, at, at, newline, text, newline);
}

bool copySection(const SectionText& from, uint32_t extra, SectionText* to) {
    uint32_t capacity = from.length + extra + 1;
    char* text = static_cast<char*>(platformAllocZeroed(capacity));
    if (text == nullptr) return false;
    for (uint32_t i = 0; i < from.length; ++i) text[i] = from.text[i];
    *to = SectionText{text, from.length, capacity};
    return true;
}

void freeSection(SectionText* section) {
    if (section->text != nullptr) platformFree(section->text);
    *section = SectionText{nullptr, 0, 0};
}

// ---- The file -------------------------------------------------------------------------

// A settings file larger than this is not one the plug-in reads or rewrites.
const uint32_t kSettingsFileLimit = 64u << 20;

// The settings file's text, from platformReadFile, 8-bit: a UTF-16 file (as
// Windows may write one) is read as its 8-bit characters, others as '?', and
// *wide says so, for the writer, which leaves such a file as it is. Null when
// the file cannot be read.
static char* readSettingsText(const char* path, uint32_t* length, bool* wide) {
    char* file = platformReadFile(path, kSettingsFileLimit, length);
    *wide = file != nullptr && *length >= 2 && static_cast<uint8_t>(file[0]) == 0xFF &&
            static_cast<uint8_t>(file[1]) == 0xFE;
    if (!*wide) return file;
    uint32_t units = (*length - 2) / 2;
    for (uint32_t i = 0; i < units; ++i) {
        uint32_t unit = static_cast<uint8_t>(file[2 + 2 * i]) | (static_cast<uint32_t>(static_cast<uint8_t>(file[3 + 2 * i])) << 8);
        file[i] = unit < 0x100 ? static_cast<char>(unit) : '?';
    }
    file[units] = '\0';
    *length = units;
    return file;
}

// Whether the line [start, end) is a section header, and of the bindings
// section, as the profile calls read headers: "[name]", the name's case and
// the blanks around it not counting.
static bool isHeader(const char* start, const char* end, bool* bindings) {
    trimRange(start, end);
    const char* close = start;
    while (close < end && *close != ']') ++close;
    if (start == end || *start != '[' || close == end) return false;
    const char* name = start + 1;
    trimRange(name, close);
    const char* want = kBindingsSection;
    for (; name < close && *want != '\0' && lowerCase(*name) == lowerCase(*want); ++name, ++want) {
    }
    *bindings = name == close && *want == '\0';
    return true;
}

// The bindings section in the file's text: its lines [start, end); false when
// the file has none. The first section of the name is the one, as for the
// profile calls.
static bool findSection(const char* file, uint32_t length, uint32_t* start, uint32_t* end) {
    uint32_t next = 0;
    bool inside = false;
    // A UTF-8 file may begin with its byte-order mark: not part of the first line.
    bool marked = length >= 3 && static_cast<uint8_t>(file[0]) == 0xEF && static_cast<uint8_t>(file[1]) == 0xBB &&
                  static_cast<uint8_t>(file[2]) == 0xBF;
    for (uint32_t at = marked ? 3 : 0; at < length; at = next) {
        bool bindings = false;
        uint32_t stop = lineEnd(file, length, at, &next);
        if (!isHeader(file + at, file + stop, &bindings)) continue;
        if (inside) {
            *end = at;
            return true;
        }
        if (bindings) {
            inside = true;
            *start = next;
        }
    }
    *end = length;
    return inside;
}

// The file's section, into `section` (new memory); an empty one when the
// file or the section is missing. False when the file cannot be read.
static bool readFileSection(SectionText* section) {
    char path[kSettingsPathCapacity];
    uint32_t length = 0;
    bool wide = false;
    char* file = settingsFilePath(path) ? readSettingsText(path, &length, &wide) : nullptr;
    if (file == nullptr && (path[0] == '\0' || platformFileAccess(path) != kFileMissing)) return false;
    uint32_t start = 0, end = 0;
    bool found = file != nullptr && findSection(file, length, &start, &end);
    SectionText within = {nullptr, 0, 0};
    if (found) within = SectionText{file + start, end - start, 0};
    bool copied = copySection(within, 0, section);
    if (file != nullptr) platformFree(file);
    return copied;
}

// Appends [text, text + length) to out at *at (out has room).
static void put(char* out, uint32_t* at, const char* text, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) out[(*at)++] = text[i];
}

// Gives the file's section these lines, every other line of the file as it
// was, and replaces the file at once. False when it cannot be read or written.
static bool writeFileSection(const SectionText& section) {
    char path[kSettingsPathCapacity];
    if (!settingsFilePath(path)) return false;
    uint32_t length = 0;
    bool wide = false;
    char* file = readSettingsText(path, &length, &wide);
    // NOTE: a file that could not be read is not replaced: its other
    // sections would be lost. Nor is a UTF-16 file given 8-bit lines.
    if ((file == nullptr && platformFileAccess(path) != kFileMissing) || wide) {
        if (file != nullptr) platformFree(file);
        return false;
    }
    const char* newline = lineBreakOf(file, length);
    uint32_t breakLength = textLength(newline);
    uint32_t start = length, end = length;
    bool found = file != nullptr && findSection(file, length, &start, &end);
    uint32_t header = textLength(kBindingsSection);
    char* out = static_cast<char*>(platformAllocZeroed(length + section.length + header + 16));
    bool written = false;
    if (out != nullptr) {
        uint32_t at = 0;
        if (file != nullptr) put(out, &at, file, start);
        bool broken = at == 0 || out[at - 1] == '\n';
        if (!found) {
            if (!broken) put(out, &at, newline, breakLength);
            put(out, &at, "[", 1);
            put(out, &at, kBindingsSection, header);
            put(out, &at, "]", 1);
            put(out, &at, newline, breakLength);
        } else if (!broken && section.length > 0) {
            put(out, &at, newline, breakLength);  // a header on the file's last line, without a line break
        }
        put(out, &at, section.text, section.length);
        if (section.length > 0 && section.text[section.length - 1] != '\n' && end < length) {
            put(out, &at, newline, breakLength);
        }
        if (file != nullptr) put(out, &at, file + end, length - end);
        written = platformReplaceFile(path, out, at);
        platformFree(out);
    }
    if (file != nullptr) platformFree(file);
    return written;
}

// ---- The section in effect --------------------------------------------------------------

// The section whose bindings the worker has: as last read, or as the Bindings
// dialog's OK left it (also when it could not be saved).
static SectionText sectionInEffect = {nullptr, 0, 0};
// What the file's section was when the plug-in last read or wrote it, as a
// checksum; unknown while the file could not be read.
static uint32_t sectionOnDisk = 0;
static bool sectionOnDiskKnown = false;

// FNV-1a: an edit by hand changes it.
static uint32_t checksum(const SectionText& section) {
    uint32_t hash = 2166136261u;
    for (uint32_t i = 0; i < section.length; ++i) hash = (hash ^ static_cast<uint8_t>(section.text[i])) * 16777619u;
    return hash;
}

static uint32_t sectionBindings(const SectionText& section, Binding* bindings) {
    BindingLine lines[kMaxBindings];
    uint32_t count = readBindingLines(section.text, section.length, lines);
    for (uint32_t i = 0; i < count; ++i) bindings[i] = lines[i].binding;
    return count;
}

uint32_t bindingsInEffect(Binding* bindings) { return sectionBindings(sectionInEffect, bindings); }

// The worker takes the section's bindings from its next message on, and its
// lights look at them at once.
static void publishSection(const SectionText& section) {
    Binding bindings[kMaxBindings];
    publishBindings(bindings, sectionBindings(section, bindings));
    lightsChanged();
}

// The file's section becomes the one in effect, when it is not already.
static void takeFileSection() {
    SectionText file = {nullptr, 0, 0};
    if (!readFileSection(&file)) return;
    uint32_t hash = checksum(file);
    if (sectionOnDiskKnown && hash == sectionOnDisk && sectionInEffect.text != nullptr) {
        freeSection(&file);
        return;
    }
    freeSection(&sectionInEffect);
    sectionInEffect = file;
    sectionOnDisk = hash;
    sectionOnDiskKnown = true;
    publishSection(sectionInEffect);
}

void loadBindings() { takeFileSection(); }

// Room for the dialog's edits: 128 new lines of the longest form, and more.
const uint32_t kEditRoom = 16384;

bool openBindingsSection(SectionText* copy) {
    takeFileSection();
    return copySection(sectionInEffect, kEditRoom, copy);
}

static bool sameText(const SectionText& a, const SectionText& b) {
    if (a.length != b.length) return false;
    for (uint32_t i = 0; i < a.length; ++i) {
        if (a.text[i] != b.text[i]) return false;
    }
    return true;
}

bool commitBindingsSection(const SectionText& section) {
    // A file that could not be read is not known to differ: nothing is
    // written while the user changed nothing.
    bool unchanged = sameText(section, sectionInEffect);
    SectionText kept = {nullptr, 0, 0};
    if (copySection(section, 0, &kept)) {
        freeSection(&sectionInEffect);
        sectionInEffect = kept;
    }
    publishSection(section);
    uint32_t hash = checksum(section);
    if (sectionOnDiskKnown ? hash == sectionOnDisk : unchanged) return true;
    if (!writeFileSection(section)) return false;
    sectionOnDisk = hash;
    sectionOnDiskKnown = true;
    return true;
}

void resetBindingsSection() {
    freeSection(&sectionInEffect);
    sectionOnDisk = 0;
    sectionOnDiskKnown = false;
}
