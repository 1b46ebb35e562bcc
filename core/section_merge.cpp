// section_merge.cpp -- the user's changes to a section, applied to the
// section as the file has it at OK.
#include "core/section_merge.h"

#include <initializer_list>

#include "core/text.h"

namespace {

// A line's key: kNoKey for a line without one; a binding's control, as
// kSourceBase + its source's number; any other key ("Output"), as its
// lower-case hash with the top bit set.
const uint32_t kNoKey = 0;
const uint32_t kSourceBase = 1;
const uint32_t kNamedKey = 0x80000000u;

struct Line {
    uint32_t key;
    uint32_t start, end;  // its text, without the line break
    uint32_t next;        // where the next line starts: after its own line break, if any
};

struct Lines {
    const SectionText* section;
    Line* lines;
    uint32_t count;
};

uint32_t lineKey(const char* start, const char* end) {
    ParsedLine parsed;
    parseSectionLine(start, end, &parsed);
    if (parsed.named) return kSourceBase + sourceKey(parsed.binding.source);
    while (start < end && (*start == ' ' || *start == '\t')) ++start;
    if (start == end || *start == ';') return kNoKey;
    const char* equals = start;
    while (equals < end && *equals != '=') ++equals;
    if (equals == end) return kNoKey;
    while (equals > start && (equals[-1] == ' ' || equals[-1] == '\t')) --equals;
    uint32_t hash = 2166136261u;
    for (const char* at = start; at < equals; ++at) hash = (hash ^ static_cast<uint8_t>(lowerCase(*at))) * 16777619u;
    return kNamedKey | (hash & 0x7FFFFFFFu);
}

// The section's lines and their keys, in one pass over its text; false
// when there is no memory.
bool split(const SectionText& section, Lines* out) {
    uint32_t count = 0, end = 0, next = 0;
    for (uint32_t at = 0; at < section.length; at = next, ++count) sectionLineAt(section, at, &end, &next);
    *out = Lines{&section, static_cast<Line*>(platformAllocZeroed((count + 1) * sizeof(Line))), count};
    if (out->lines == nullptr) return false;
    for (uint32_t i = 0, at = 0; i < count; ++i, at = next) {
        sectionLineAt(section, at, &end, &next);
        out->lines[i] = Line{lineKey(section.text + at, section.text + end), at, end, next};
    }
    return true;
}

bool sameLine(const Lines& a, uint32_t i, const Lines& b, uint32_t j) {
    const Line &x = a.lines[i], &y = b.lines[j];
    if (x.end - x.start != y.end - y.start) return false;
    for (uint32_t k = 0; k < x.end - x.start; ++k) {
        if (a.section->text[x.start + k] != b.section->text[y.start + k]) return false;
    }
    return true;
}

// Whether the two have the same lines of the key, in the same order.
bool sameLinesOf(uint32_t key, const Lines& a, const Lines& b) {
    uint32_t i = 0, j = 0;
    for (;;) {
        while (i < a.count && a.lines[i].key != key) ++i;
        while (j < b.count && b.lines[j].key != key) ++j;
        if (i == a.count || j == b.count) return i == a.count && j == b.count;
        if (!sameLine(a, i, b, j)) return false;
        ++i;
        ++j;
    }
}

// Whether the user changed the key's lines.
bool touched(uint32_t key, const Lines& base, const Lines& ours) { return key != kNoKey && !sameLinesOf(key, base, ours); }

// The text's own line break, `otherwise` when it has none.
const char* lineBreak(const SectionText& section, const char* otherwise) {
    for (uint32_t i = 0; i < section.length; ++i) {
        if (section.text[i] == '\n') return i > 0 && section.text[i - 1] == '\r' ? "\r\n" : "\n";
    }
    return otherwise;
}

// Whether the file changed the key's lines too, to another end than the user.
bool conflict(uint32_t key, const Lines& base, const Lines& ours, const Lines& theirs) {
    return !sameLinesOf(key, base, theirs) && !sameLinesOf(key, ours, theirs);
}

bool seenBefore(uint32_t key, const Lines& lines, uint32_t before) {
    for (uint32_t i = 0; i < before; ++i) {
        if (lines.lines[i].key == key) return true;
    }
    return false;
}

void put(SectionText* out, const char* text, uint32_t length) {
    for (uint32_t i = 0; i < length && out->length + 1 < out->capacity; ++i) out->text[out->length++] = text[i];
}

// A line of the user's, with a line break: after one if the text so far
// ends in a line without its own ("\n" after a "\r" alone).
void putLine(SectionText* out, const Lines& from, uint32_t i, const char* newline) {
    uint32_t breakLength = newline[1] == '\0' ? 1 : 2;
    char last = out->length > 0 ? out->text[out->length - 1] : '\n';
    if (last == '\r') put(out, "\n", 1);
    if (last != '\n' && last != '\r') put(out, newline, breakLength);
    put(out, from.section->text + from.lines[i].start, from.lines[i].end - from.lines[i].start);
    put(out, newline, breakLength);
}

// A line of the file's as the file has it, its own line break (or none) included.
void putFileLine(SectionText* out, const Lines& from, uint32_t i) {
    put(out, from.section->text + from.lines[i].start, from.lines[i].next - from.lines[i].start);
}

// Every line of ours with the key, each with a line break.
void putOursOf(SectionText* out, uint32_t key, const Lines& ours, const char* newline) {
    for (uint32_t j = 0; j < ours.count; ++j) {
        if (ours.lines[j].key == key) putLine(out, ours, j, newline);
    }
}

void describeKey(uint32_t key, const Lines& ours, const Lines& base, char* first, size_t capacity) {
    first[0] = '\0';
    for (const Lines* lines : {&ours, &base}) {
        for (uint32_t i = 0; i < lines->count; ++i) {
            if (lines->lines[i].key != key) continue;
            const char* text = lines->section->text;
            const Line& line = lines->lines[i];
            if ((key & kNamedKey) == 0) {
                ParsedLine parsed;
                parseSectionLine(text + line.start, text + line.end, &parsed);
                describeSource(parsed.binding.source, first, capacity);
                return;
            }
            uint32_t end = line.start;
            while (end < line.end && text[end] != '=') ++end;
            for (uint32_t k = line.start; k < end && k - line.start + 1 < capacity; ++k) first[k - line.start] = text[k];
            first[end - line.start < capacity ? end - line.start : capacity - 1] = '\0';
            return;
        }
    }
}

}  // namespace

bool mergeSection(const SectionText& base, const SectionText& ours, const SectionText& theirs, SectionText* merged,
                  uint32_t* conflicts, char* first, size_t capacity) {
    *conflicts = 0;
    first[0] = '\0';
    Lines b = {}, o = {}, t = {};
    bool split3 = split(base, &b) && split(ours, &o) && split(theirs, &t);
    const char* newline = lineBreak(theirs, lineBreak(ours, "\r\n"));
    uint32_t room = theirs.length + ours.length + 2 * (o.count + t.count) + 16384;
    *merged = SectionText{split3 ? static_cast<char*>(platformAllocZeroed(room)) : nullptr, 0, room};
    if (merged->text == nullptr) {
        for (Lines* lines : {&b, &o, &t}) platformFree(lines->lines);
        merged->capacity = 0;
        return false;
    }
    // The file's lines as they are, line breaks and all, a touched key's
    // lines replaced by the user's where the first of them is.
    uint32_t lastNotBlank = 0;
    for (uint32_t i = 0; i < t.count; ++i) {
        uint32_t key = t.lines[i].key;
        if (touched(key, b, o)) {
            if (seenBefore(key, t, i)) continue;
            if (conflict(key, b, o, t) && (*conflicts)++ == 0) describeKey(key, o, b, first, capacity);
            putOursOf(merged, key, o, newline);
        } else {
            putFileLine(merged, t, i);
        }
        if (t.lines[i].end > t.lines[i].start) lastNotBlank = merged->length;
    }
    // Keys the file has no line of: the user's lines after the file's last
    // line that is not blank, in the user's order, so that blank lines before
    // the next section stay where they are.
    uint32_t tail = merged->length - lastNotBlank;
    char* blanks = static_cast<char*>(platformAllocZeroed(tail + 1));
    for (uint32_t i = 0; blanks != nullptr && i < tail; ++i) blanks[i] = merged->text[lastNotBlank + i];
    if (blanks != nullptr) merged->length = lastNotBlank;
    for (uint32_t j = 0; j < o.count; ++j) {
        uint32_t key = o.lines[j].key;
        if (!touched(key, b, o) || seenBefore(key, o, j) || seenBefore(key, t, t.count)) continue;
        // The user added it; a key the file had and removed meanwhile is a conflict too.
        if (conflict(key, b, o, t) && (*conflicts)++ == 0) describeKey(key, o, b, first, capacity);
        putOursOf(merged, key, o, newline);
    }
    if (blanks != nullptr) {
        put(merged, blanks, tail);
        platformFree(blanks);
    }
    merged->text[merged->length] = '\0';
    for (Lines* lines : {&b, &o, &t}) platformFree(lines->lines);
    return true;
}
