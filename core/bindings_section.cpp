// bindings_section.cpp -- the bindings section as text: the reader, the
// edits the Bindings dialog makes, and the section in effect with its file.
//
// Sections: lines; the reader; edits; the file; the section in effect.
#include "core/bindings_section.h"

#include <initializer_list>

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
    if (isSettingLine(start, end)) return;
    if (!copyRange(start, keyEnd, key, sizeof key) || !parseBindingSource(key, &binding.source)) return;
    parsed->named = true;
    if (copyRange(value, valueEnd, action, sizeof action)) parsed->lightsParse = parseBindingValue(action, &binding);
    parsed->fits = parsed->lightsParse && bindingFits(binding);
}

// ---- The reader -----------------------------------------------------------------------

// Whether the line's source is of the shift button's control, on another
// line than the one that makes it: every message of that control is the
// shift button's.
static bool ofShiftButton(const BindingSource& source, const BindingLine* shift, uint32_t line) {
    const BindingSource& button = shift->binding.source;
    return shift->line != line && source.kind == button.kind && source.number == button.number &&
           source.channel == button.channel;
}

// The lines read as bindings: with `shift` null, the first Shift line used
// makes the shift button; else it is that line's, and the other lines of
// its control are not used.
static uint32_t readLines(const char* text, uint32_t length, BindingLine* lines, UnusedSource* unused,
                          uint32_t* unusedCount, const BindingLine* shift) {
    // The sources the lines read so far name, used or not: one bit each.
    uint8_t claimed[kSourceKeys / 8] = {};
    uint32_t count = 0, next = 0, notUsed = 0;
    bool shiftTaken = false;
    for (uint32_t at = 0, index = 0; at < length; at = next, ++index) {
        uint32_t end = lineEnd(text, length, at, &next);
        if (end > kSectionReadLimit) break;
        ParsedLine parsed;
        parseSectionLine(text + at, text + end, &parsed);
        uint32_t key = sourceKey(parsed.binding.source);
        if (!parsed.named || (claimed[key >> 3] & (1u << (key & 7))) != 0) continue;
        claimed[key >> 3] = static_cast<uint8_t>(claimed[key >> 3] | (1u << (key & 7)));
        bool isShift = parsed.binding.action == kActionShift;
        bool notTheShift = shift != nullptr
                               ? ofShiftButton(parsed.binding.source, shift, index) || (isShift && shift->line != index)
                               : isShift && shiftTaken;
        if (count < kMaxBindings && parsed.fits && !notTheShift) {
            shiftTaken = shiftTaken || isShift;
            lines[count++] = BindingLine{parsed.binding, index};
        } else if (unused != nullptr && notUsed < kMaxUnusedSources && index <= 0xFFFF) {
            unused[notUsed++] = UnusedSource{parsed.binding.source, static_cast<uint16_t>(index)};
        }
    }
    if (unusedCount != nullptr) *unusedCount = notUsed;
    return count;
}

uint32_t readBindingLines(const char* text, uint32_t length, BindingLine* lines, UnusedSource* unused,
                          uint32_t* unusedCount) {
    // A device has one shift button, the first Shift line's, and its control
    // does nothing else: read once to find it, then again without its
    // control's other lines.
    uint32_t count = readLines(text, length, lines, unused, unusedCount, nullptr);
    for (uint32_t i = 0; i < count; ++i) {
        if (lines[i].binding.action != kActionShift) continue;
        const BindingLine shift = lines[i];
        return readLines(text, length, lines, unused, unusedCount, &shift);
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

void sectionLineAt(const SectionText& section, uint32_t at, uint32_t* end, uint32_t* next) {
    *end = lineEnd(section.text, section.length, at, next);
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
    bool carriage = false;  // or in a "\r" alone, the text's last byte
    *index = 0;
    for (uint32_t start = 0; start < section->length; start = next, ++line) {
        uint32_t end = lineEnd(section->text, section->length, start, &next);
        const char* first = section->text + start;
        const char* last = section->text + end;
        trimRange(first, last);
        if (first == last) continue;
        at = next;
        broken = next > end && section->text[next - 1] == '\n';
        carriage = next > end && !broken;
        *index = line + 1;
    }
    const char* newline = lineBreakOf(section->text, section->length);
    if (carriage) return splice(section, at, at, "\n", text, newline);
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

// ---- Keys that are no bindings --------------------------------------------------------------

// The key of the line [start, end), its blanks trimmed, when it is "Key=..."
// with this key (its case not counting); the value's range too.
static bool lineHasKey(const char* start, const char* end, const char* key, const char** value,
                       const char** valueEnd) {
    trimRange(start, end);
    const char* equals = start;
    while (equals < end && *equals != '=') ++equals;
    if (equals == end) return false;
    const char* keyEnd = equals;
    trimRange(start, keyEnd);
    if (!rangeEqualsAnyCase(start, keyEnd, key)) return false;
    *value = equals + 1;
    *valueEnd = end;
    trimRange(*value, *valueEnd);
    return true;
}

// The number of the first line of the key; -1 for none.
static int32_t keyLine(const SectionText& section, const char* key, const char** value, const char** valueEnd) {
    uint32_t next = 0;
    for (uint32_t at = 0, index = 0; at < section.length; at = next, ++index) {
        uint32_t end = lineEnd(section.text, section.length, at, &next);
        if (lineHasKey(section.text + at, section.text + end, key, value, valueEnd)) return static_cast<int32_t>(index);
    }
    return -1;
}

bool sectionValue(const SectionText& section, const char* key, char* value, size_t capacity) {
    const char *from = nullptr, *to = nullptr;
    value[0] = '\0';
    return keyLine(section, key, &from, &to) >= 0 && copyRange(from, to, value, capacity);
}

bool sectionHasKey(const SectionText& section, const char* key) {
    const char *from = nullptr, *to = nullptr;
    return keyLine(section, key, &from, &to) >= 0;
}

bool setSectionValue(SectionText* section, const char* key, const char* value) {
    const char *from = nullptr, *to = nullptr;
    if (value[0] == '\0') {
        for (int32_t line = keyLine(*section, key, &from, &to); line >= 0; line = keyLine(*section, key, &from, &to)) {
            if (!removeSectionLine(section, static_cast<uint32_t>(line))) return false;
        }
        return true;
    }
    char text[320] = "";
    appendText(text, sizeof text, key);
    appendText(text, sizeof text, "=");
    if (!appendText(text, sizeof text, value)) return false;
    int32_t line = keyLine(*section, key, &from, &to);
    uint32_t added = 0;
    return line >= 0 ? replaceSectionLine(section, static_cast<uint32_t>(line), text)
                     : appendSectionLine(section, text, &added);
}

// ---- Settings -------------------------------------------------------------------------

bool isSettingLine(const char* start, const char* end) {
    const char *value = nullptr, *valueEnd = nullptr;
    for (const char* key :
         {"Input", "Output", "Unit", "Name", "Match", "Map", "Identity", "Setup", "Port", "Transport"}) {
        if (lineHasKey(start, end, key, &value, &valueEnd)) return true;
    }
    return false;
}

uint32_t parseSectionPort(const char* value) {
    uint32_t port = 0, digits = 0;
    for (; *value >= '0' && *value <= '9' && digits < 3; ++value, ++digits) {
        port = port * 10 + static_cast<uint32_t>(*value - '0');
    }
    return *value == '\0' && port >= 1 && port <= kMaxSectionPort ? port : 1;
}

uint32_t sectionPort(const SectionText& section) {
    char value[16];
    return sectionValue(section, "Port", value, sizeof value) ? parseSectionPort(value) : 1;
}

uint32_t parseSectionTransport(const char* value) {
    if (textEqualsAnyCase(value, "Mackie")) return kSectionTransportMackie;
    return textEqualsAnyCase(value, "HUI") ? kSectionTransportHui : kSectionTransportNone;
}

uint32_t sectionTransport(const SectionText& section) {
    char value[16];
    if (!sectionValue(section, "Transport", value, sizeof value)) return kSectionTransportNone;
    return parseSectionTransport(value);
}

// ---- Why a line is not used ------------------------------------------------------------------

// The number of the line that makes the device's shift button; -1 for none.
static int32_t firstShiftLine(const SectionText& section) {
    BindingLine lines[kMaxBindings];
    uint32_t count = readBindingLines(section.text, section.length, lines);
    for (uint32_t i = 0; i < count; ++i) {
        if (lines[i].binding.action == kActionShift) return static_cast<int32_t>(lines[i].line);
    }
    return -1;
}

void describeUnusedLine(const SectionText& section, uint32_t device, uint32_t line, bool where, char* out,
                        size_t capacity) {
    uint32_t bounds[2] = {0, 0};
    if (!sectionLine(section, line, &bounds[0], &bounds[1])) return;
    const char* text = section.text + bounds[0];
    uint32_t length = bounds[1] - bounds[0];
    ParsedLine parsed;
    parseSectionLine(text, text + length, &parsed);
    char quoted[72] = "";
    bool cut = length > sizeof quoted - 4;
    for (uint32_t i = 0; i < length && i < sizeof quoted - 4; ++i) quoted[i] = text[i];
    quoted[cut ? sizeof quoted - 4 : length] = '\0';
    if (cut) appendText(quoted, sizeof quoted, "...");
    char number[12], path[kSettingsPathCapacity] = "", name[kSectionNameCapacity];
    formatDecimal(static_cast<int32_t>(line) + 1, number);
    sectionName(device, name);
    if (where) settingsFilePath(path);
    for (const char* piece : {"line ", static_cast<const char*>(number), where ? " of the [" : " of [",
                              static_cast<const char*>(name), where ? "] section of " : "]",
                              static_cast<const char*>(path), ", \"", static_cast<const char*>(quoted),
                              "\", names it and is not used: "}) {
        appendText(out, capacity, piece);
    }
    if (parsed.binding.action == kActionNone) {
        appendText(out, capacity, "its action is not one Notewick knows");
    } else if (!parsed.lightsParse) {
        appendText(out, capacity, "what follows its action is not \", lit N, dark N, at ...\"");
    } else if (!actionFits(parsed.binding.action, fitKind(parsed.binding.source))) {
        appendText(out, capacity, bindingActionName(parsed.binding.action));
        appendText(out, capacity, " needs ");
        appendText(out, capacity, sourcesForAction(parsed.binding.action));
    } else if (!parsed.fits && parsed.binding.action == kActionShift) {
        appendText(out, capacity, "a shift button has a line of its own, without Shift, Hold or Double");
    } else if (!parsed.fits) {
        appendText(out, capacity, "Hold and Double go with a note or a controller bound to a press action");
    } else {
        int32_t shiftLine = firstShiftLine(section);
        if (parsed.binding.action == kActionShift && shiftLine < static_cast<int32_t>(line)) {
            appendText(out, capacity, "an earlier line makes another control the shift button, and there is one");
        } else if (shiftLine >= 0) {
            appendText(out, capacity, "its control is the shift button, which does nothing else");
        } else {
            appendText(out, capacity, "it comes after the 128th binding");
        }
    }
}

void describeUnusedLine(uint32_t device, uint32_t line, char* out, size_t capacity) {
    describeUnusedLine(sectionInEffect(device), device, line, false, out, capacity);
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

// Whether the line [start, end) is a section header, and of the section
// `name`, as the profile calls read headers: "[name]", the name's case and
// the blanks around it not counting.
static bool isHeader(const char* start, const char* end, const char* name, bool* named) {
    trimRange(start, end);
    const char* close = start;
    while (close < end && *close != ']') ++close;
    if (start == end || *start != '[' || close == end) return false;
    const char* at = start + 1;
    trimRange(at, close);
    *named = rangeEqualsAnyCase(at, close, name);
    return true;
}

// The section `name` in the file's text: its lines [start, end), and in
// *header where its header line starts; false when the file has none. The
// first section of the name is the one, as for the profile calls.
bool findSection(const char* file, uint32_t length, const char* name, uint32_t* start, uint32_t* end,
                 uint32_t* header) {
    uint32_t next = 0;
    bool inside = false;
    // A UTF-8 file may begin with its byte-order mark: not part of the first line.
    bool marked = length >= 3 && static_cast<uint8_t>(file[0]) == 0xEF && static_cast<uint8_t>(file[1]) == 0xBB &&
                  static_cast<uint8_t>(file[2]) == 0xBF;
    for (uint32_t at = marked ? 3 : 0; at < length; at = next) {
        bool named = false;
        uint32_t stop = lineEnd(file, length, at, &next);
        if (!isHeader(file + at, file + stop, name, &named)) continue;
        if (inside) {
            *end = at;
            return true;
        }
        if (named) {
            inside = true;
            *start = next;
            if (header != nullptr) *header = at;
        }
    }
    *end = length;
    return inside;
}

void sectionName(uint32_t device, char* name) {
    name[0] = '\0';
    if (device == kConfiguredDevice) {
        appendText(name, kSectionNameCapacity, kBindingsSection);
        return;
    }
    char number[12];
    formatDecimal(static_cast<int32_t>(device), number);
    appendText(name, kSectionNameCapacity, kControllerSection);
    appendText(name, kSectionNameCapacity, " ");
    appendText(name, kSectionNameCapacity, number);
}

// Room for the dialog's edits: 128 new lines of the longest form, and more.
const uint32_t kEditRoom = 16384;

// The file's section, with `extra` bytes of room; see readFileSection.
static bool readFileSectionWithRoom(uint32_t device, uint32_t extra, SectionText* section) {
    char path[kSettingsPathCapacity], name[kSectionNameCapacity];
    sectionName(device, name);
    uint32_t length = 0;
    bool wide = false;
    char* file = settingsFilePath(path) ? readSettingsText(path, &length, &wide) : nullptr;
    if (file == nullptr && (path[0] == '\0' || platformFileAccess(path) != kFileMissing)) return false;
    uint32_t start = 0, end = 0;
    bool found = file != nullptr && findSection(file, length, name, &start, &end);
    SectionText within = {nullptr, 0, 0};
    if (found) within = SectionText{file + start, end - start, 0};
    bool copied = copySection(within, extra, section);
    if (file != nullptr) platformFree(file);
    return copied;
}

bool readFileSection(uint32_t device, SectionText* section) {
    return device < kMaxDevices && readFileSectionWithRoom(device, kEditRoom, section);
}

// Appends [text, text + length) to out at *at (out has room).
static void put(char* out, uint32_t* at, const char* text, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) out[(*at)++] = text[i];
}

// Gives the file's section `name` these lines, every other line of the file
// as it was, and replaces the file at once; with no section (null text), the
// section goes, its header too. False when it cannot be read or written.
static bool writeFileSection(const char* name, const SectionText& section) {
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
    uint32_t start = length, end = length, header = length;
    bool found = file != nullptr && findSection(file, length, name, &start, &end, &header);
    bool removing = section.text == nullptr;
    if (removing && !found) {
        if (file != nullptr) platformFree(file);
        return true;
    }
    uint32_t nameLength = textLength(name);
    char* out = static_cast<char*>(platformAllocZeroed(length + section.length + nameLength + 16));
    bool written = false;
    if (out != nullptr) {
        uint32_t at = 0;
        if (file != nullptr) put(out, &at, file, removing ? header : start);
        bool broken = at == 0 || out[at - 1] == '\n';
        if (removing) {
            // Nothing of the section: the next one follows the one before.
        } else if (!found) {
            if (!broken) put(out, &at, newline, breakLength);
            put(out, &at, "[", 1);
            put(out, &at, name, nameLength);
            put(out, &at, "]", 1);
            put(out, &at, newline, breakLength);
        } else if (!broken && section.length > 0) {
            put(out, &at, newline, breakLength);  // a header on the file's last line, without a line break
        }
        put(out, &at, section.text, section.length);
        if (section.text != nullptr && section.length > 0 && section.text[section.length - 1] != '\n' && end < length) {
            put(out, &at, newline, breakLength);
        }
        if (file != nullptr) put(out, &at, file + end, length - end);
        written = platformReplaceFile(path, out, at);
        platformFree(out);
    }
    if (file != nullptr) platformFree(file);
    return written;
}

// ---- The sections in effect --------------------------------------------------------------

// Each device's section whose bindings the worker has: as last read, or as
// the Bindings dialog's OK left it (also when it could not be saved).
struct EffectiveSection {
    SectionText section;
    // What the file's section was when the plug-in last read or wrote it, as
    // a checksum; unknown while the file could not be read.
    uint32_t onDisk;
    bool onDiskKnown;
};
static EffectiveSection effective[kMaxDevices];

const SectionText& sectionInEffect(uint32_t device) { return effective[device < kMaxDevices ? device : 0].section; }

// FNV-1a: an edit by hand changes it.
static uint32_t checksum(const SectionText& section) {
    uint32_t hash = 2166136261u;
    for (uint32_t i = 0; i < section.length; ++i) hash = (hash ^ static_cast<uint8_t>(section.text[i])) * 16777619u;
    return hash;
}

static uint32_t sectionBindings(const SectionText& section, Binding* bindings, UnusedSource* unused = nullptr,
                                uint32_t* unusedCount = nullptr) {
    BindingLine lines[kMaxBindings];
    uint32_t count = readBindingLines(section.text, section.length, lines, unused, unusedCount);
    for (uint32_t i = 0; i < count; ++i) bindings[i] = lines[i].binding;
    return count;
}

uint32_t bindingsInEffect(Binding* bindings, uint32_t device) {
    return device < kMaxDevices ? sectionBindings(effective[device].section, bindings) : 0;
}

// The worker takes the section's bindings from its next message on, and its
// lights look at them at once.
static void publishSection(const SectionText& section, uint32_t device) {
    Binding bindings[kMaxBindings];
    UnusedSource unused[kMaxUnusedSources];
    uint32_t unusedCount = 0;
    uint32_t count = sectionBindings(section, bindings, unused, &unusedCount);
    publishBindings(bindings, count, device, unused, unusedCount);
    lightsChanged();
}

// The file's section becomes the one in effect, when it is not already.
// False when the file cannot be read.
static bool takeFileSection(uint32_t device) {
    SectionText file = {nullptr, 0, 0};
    if (!readFileSectionWithRoom(device, 0, &file)) return false;
    EffectiveSection& e = effective[device];
    uint32_t hash = checksum(file);
    if (e.onDiskKnown && hash == e.onDisk && e.section.text != nullptr) {
        freeSection(&file);
        return true;
    }
    freeSection(&e.section);
    e.section = file;
    e.onDisk = hash;
    e.onDiskKnown = true;
    publishSection(e.section, device);
    return true;
}

void loadBindings() { takeFileSection(kConfiguredDevice); }

bool loadSection(uint32_t device) { return device < kMaxDevices && takeFileSection(device); }

bool openBindingsSection(SectionText* copy, uint32_t device) {
    if (device >= kMaxDevices) return false;
    takeFileSection(device);
    return copySection(effective[device].section, kEditRoom, copy);
}

static bool sameText(const SectionText& a, const SectionText& b) {
    if (a.length != b.length) return false;
    for (uint32_t i = 0; i < a.length; ++i) {
        if (a.text[i] != b.text[i]) return false;
    }
    return true;
}

bool commitBindingsSection(const SectionText& section, uint32_t device) {
    if (device >= kMaxDevices) return false;
    EffectiveSection& e = effective[device];
    // A file that could not be read is not known to differ: nothing is
    // written while the user changed nothing.
    bool unchanged = sameText(section, e.section);
    SectionText kept = {nullptr, 0, 0};
    if (copySection(section, 0, &kept)) {
        freeSection(&e.section);
        e.section = kept;
    }
    publishSection(section, device);
    uint32_t hash = checksum(section);
    if (e.onDiskKnown ? hash == e.onDisk : unchanged) return true;
    char name[kSectionNameCapacity];
    sectionName(device, name);
    // A section not known to be in the file is written whole, header and all.
    SectionText whole = section;
    if (whole.text == nullptr) whole = SectionText{const_cast<char*>(""), 0, 0};
    if (!writeFileSection(name, whole)) return false;
    e.onDisk = hash;
    e.onDiskKnown = true;
    return true;
}

bool removeBindingsSection(uint32_t device) {
    if (device >= kMaxDevices) return false;
    EffectiveSection& e = effective[device];
    freeSection(&e.section);
    e.onDiskKnown = false;
    publishBindings(nullptr, 0, device);
    lightsChanged();
    char name[kSectionNameCapacity];
    sectionName(device, name);
    return writeFileSection(name, SectionText{nullptr, 0, 0});
}

void resetBindingsSection() {
    for (EffectiveSection& e : effective) {
        freeSection(&e.section);
        e.onDisk = 0;
        e.onDiskKnown = false;
    }
}
