// sections_fuzzer.cpp -- libFuzzer target over what users edit and share:
// the bindings section's reader, the map reader, the Setup parser, the
// dialog's edits, OK's merge and the settings file's writer.
//
// Input: a file's text, as a user's editor or another user leaves it (the
// shipped maps and settings files are the seeds). Its last byte also picks
// which binding the user changes and how the file changed meanwhile. The
// text is read as a map in the shipped folder, and as the settings file; its
// "Notewick Controller" or "Notewick Bindings" section (the whole text when
// it has neither) is the section. It checks, aborting when one fails:
//   - the reader: each binding taken comes from a line that makes it, in
//     file order, one per source; a line not used names a source; the line
//     the dialog writes for a binding reads back as that binding;
//   - the map reader keeps every line of the map's section but Name, Match,
//     Map, Input, Output and Unit as it was; a map saved and read again makes the same bindings;
//   - the Setup parser takes exactly the whole MIDI messages written in hex
//     that fit, byte for byte: the Setup line, each of its tails, and the
//     whole text;
//   - an edit changes its own line and keeps every other as it was;
//   - a merge with no user change returns the file's section unchanged; with
//     one, every line of another key is the file's, as it was;
//   - OK writes the section and keeps every line outside it as it was, and
//     with nothing changed leaves the file as it was.
// ASan and UBSan catch what reads or writes outside a buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/bindings_section.h"
#include "core/maps.h"
#include "core/output_port.h"
#include "core/plugin.h"
#include "core/section_merge.h"
#include "core/settings.h"
#include "tests/fake/fake_platform.h"

namespace {

const char* const kMapPath = "C:\\Player\\Plugins\\Notewick Maps\\Fuzzed.ini";
const char* const kSettingsPath = "C:\\Player\\Plugins\\plugin.ini";

// The detail with every byte but a printable one in hex, so that line
// breaks and other bytes show.
[[noreturn]] void fail(const char* what, const std::string& detail = "") {
    std::string shown;
    for (char c : detail) {
        char escaped[8];
        uint8_t u = static_cast<uint8_t>(c);
        snprintf(escaped, sizeof escaped, u < 32 || u >= 127 || c == '\\' || c == '"' ? "\\x%02X" : "%c", u);
        shown += escaped;
    }
    fprintf(stderr, "invariant broken: %s%s\"%s\"\n", what, detail.empty() ? "" : ": ", shown.c_str());
    abort();
}

// The text's lines as the reader splits them: at "\n", one "\r" before it
// left out; the text after the last line break is a line too.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos) end = text.size();
        if (end > at && text[end - 1] == '\r') --end;
        lines.push_back(text.substr(at, end - at));
        at = next;
    }
    return lines;
}

std::string textOf(const SectionText& section) {
    return section.text == nullptr ? std::string() : std::string(section.text, section.length);
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string trimmed(const std::string& s) {
    size_t start = 0, end = s.size();
    while (start < end && isBlank(s[start])) ++start;
    while (end > start && isBlank(s[end - 1])) --end;
    return s.substr(start, end - start);
}

// The line's key ("Key=..."), lower case, blanks around it left out; empty
// for a line without one.
std::string keyOf(const std::string& line) {
    std::string text = trimmed(line);
    size_t equals = text.find('=');
    if (text.empty() || text[0] == ';' || equals == std::string::npos) return "";
    std::string key = trimmed(text.substr(0, equals));
    for (char& c : key) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return key.empty() ? "=" : key;
}

bool names(const std::string& line, uint32_t key) {
    ParsedLine parsed;
    parseSectionLine(line.data(), line.data() + line.size(), &parsed);
    return parsed.named && sourceKey(parsed.binding.source) == key;
}

std::vector<std::string> linesWith(const std::vector<std::string>& lines, uint32_t key, bool with) {
    std::vector<std::string> kept;
    for (const std::string& line : lines) {
        if (names(line, key) == with) kept.push_back(line);
    }
    return kept;
}

bool sameBinding(const Binding& a, const Binding& b) {
    return sameSource(a.source, b.source) && a.source.encoder == b.source.encoder && a.action == b.action &&
           a.lit == b.lit && a.dark == b.dark && a.at.kind == b.at.kind && a.at.number == b.at.number &&
           a.at.channel == b.at.channel && a.entry == b.entry;
}

// The line the Bindings dialog writes for a new binding.
std::string dialogLine(const Binding& binding) {
    char key[kBindingKeyCapacity], action[32];
    formatBindingSource(binding.source, key);
    formatBindingAction(binding, action);
    return std::string(key) + "=" + action;
}

// A section's text in memory of its own, with room for edits.
SectionText sectionFrom(const std::string& text, uint32_t room) {
    SectionText from = {const_cast<char*>(text.data()), static_cast<uint32_t>(text.size()), 0};
    SectionText copy = {nullptr, 0, 0};
    if (!copySection(from, room, &copy)) fail("no memory for a section");
    return copy;
}

// ---- The reader ---------------------------------------------------------------------

struct Read {
    BindingLine lines[kMaxBindings];
    uint32_t count;
};

void checkReader(const SectionText& section, Read* read) {
    const std::vector<std::string> lines = linesOf(textOf(section));
    UnusedSource unused[kMaxUnusedSources];
    uint32_t unusedCount = 0;
    read->count = readBindingLines(section.text, section.length, read->lines, unused, &unusedCount);
    if (read->count > kMaxBindings || unusedCount > kMaxUnusedSources) fail("too many bindings or unused lines");
    std::vector<bool> taken(lines.size(), false);
    for (uint32_t i = 0; i < read->count; ++i) {
        const BindingLine& b = read->lines[i];
        if (b.line >= lines.size() || (i > 0 && b.line <= read->lines[i - 1].line)) fail("a binding's line out of order");
        taken[b.line] = true;
        ParsedLine parsed;
        parseSectionLine(lines[b.line].data(), lines[b.line].data() + lines[b.line].size(), &parsed);
        if (!parsed.named || !parsed.fits || !sameBinding(parsed.binding, b.binding)) {
            fail("a binding that its line does not make", lines[b.line]);
        }
        for (uint32_t j = 0; j < i; ++j) {
            if (sourceKey(read->lines[j].binding.source) == sourceKey(b.binding.source)) fail("two bindings of a source");
        }
        // What the dialog writes for it reads back as it (lights apart: the
        // dialog keeps a line's own lights text).
        Binding plain = b.binding;
        plain.lit = 127;
        plain.dark = 0;
        plain.at = LightAddress{};
        std::string line = dialogLine(plain);
        parseSectionLine(line.data(), line.data() + line.size(), &parsed);
        if (!parsed.fits || !sameBinding(parsed.binding, plain)) fail("the dialog's line reads back otherwise", line);
    }
    for (uint32_t i = 0; i < unusedCount; ++i) {
        uint32_t at = unused[i].line;
        if (at >= lines.size() || taken[at] || !names(lines[at], sourceKey(unused[i].source))) {
            fail("an unused line that names nothing or is used");
        }
        // Why, in a buffer of exactly its size.
        const size_t capacity = 200;
        std::vector<char> out(capacity, '\0');
        describeUnusedLine(section, kConfiguredDevice, at, true, out.data(), capacity);
        if (memchr(out.data(), '\0', capacity) == nullptr) fail("a reason without its end");
    }
}

// ---- The Setup parser -----------------------------------------------------------------

// Whole MIDI messages: a status byte and its data bytes, or F0, data bytes
// and F7.
bool wholeMessages(const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size();) {
        uint8_t status = bytes[i++];
        if (status < 0x80 || status == 0xF7) return false;
        if (status == 0xF0) {
            while (i < bytes.size() && bytes[i] < 0x80) ++i;
            if (i == bytes.size() || bytes[i] != 0xF7) return false;
            ++i;
            continue;
        }
        size_t data = status >= 0xF0 ? (status == 0xF2 ? 2 : status == 0xF1 || status == 0xF3 ? 1 : 0)
                                     : (status & 0xE0) == 0xC0 ? 1 : 2;
        for (size_t k = 0; k < data; ++k, ++i) {
            if (i == bytes.size() || bytes[i] >= 0x80) return false;
        }
    }
    return true;
}

int hexDigit(char c) {
    const char* digits = "0123456789abcdef0123456789ABCDEF";
    const char* at = c == '\0' ? nullptr : strchr(digits, c);
    return at == nullptr ? -1 : static_cast<int>(at - digits) % 16;
}

void checkSetup(const char* text, uint32_t capacity) {
    // What it should take: words of two hex digits, between blanks.
    std::vector<uint8_t> expected;
    bool words = true;
    for (const char* at = text; *at != '\0';) {
        while (isBlank(*at)) ++at;
        if (*at == '\0') break;
        const char* end = at;
        while (*end != '\0' && !isBlank(*end)) ++end;
        if (end - at != 2 || hexDigit(at[0]) < 0 || hexDigit(at[1]) < 0) words = false;
        if (words) expected.push_back(static_cast<uint8_t>(hexDigit(at[0]) * 16 + hexDigit(at[1])));
        at = end;
    }
    bool takes = words && expected.size() <= capacity && wholeMessages(expected);
    std::vector<uint8_t> bytes(capacity > 0 ? capacity : 1);
    uint32_t length = 0;
    bool parsed = parseSetupBytes(text, bytes.data(), capacity, &length);
    if (parsed != takes) fail(parsed ? "Setup takes what is not whole messages" : "Setup refuses whole messages", text);
    if (parsed && std::vector<uint8_t>(bytes.begin(), bytes.begin() + length) != expected) {
        fail("Setup's bytes are not the ones written", text);
    }
}

// ---- Edits and the merge ------------------------------------------------------------------

std::string merge(const SectionText& base, const SectionText& ours, const SectionText& theirs, uint32_t* conflicts) {
    SectionText merged = {nullptr, 0, 0};
    char first[64];
    if (!mergeSection(base, ours, theirs, &merged, conflicts, first, sizeof first)) fail("no memory for a merge");
    std::string text = textOf(merged);
    freeSection(&merged);
    return text;
}

void checkMerge(const SectionText& base, const SectionText& ours, const SectionText& theirs, const char* what) {
    uint32_t conflicts = 0;
    std::string merged = merge(base, ours, theirs, &conflicts);
    if (merged != textOf(theirs)) fail(what, merged);
    if (conflicts != 0) fail("a conflict with no user change");
}

// The user changed the binding of `key` (ours); every line of another key
// in the merge is the file's, in its order, and the key's lines are ours.
void checkUserChange(const SectionText& base, const SectionText& ours, const SectionText& theirs, uint32_t key) {
    uint32_t conflicts = 0;
    std::string merged = merge(base, ours, theirs, &conflicts);
    const std::vector<std::string> m = linesOf(merged), t = linesOf(textOf(theirs)), o = linesOf(textOf(ours));
    if (linesWith(m, key, false) != linesWith(t, key, false)) fail("a merge changed a line the user did not", merged);
    if (linesWith(m, key, true) != linesWith(o, key, true)) fail("a merge lost the user's change", merged);
    if (textOf(base) == textOf(theirs) && conflicts != 0) fail("a conflict with a file that did not change");
}

// The file's section changed meanwhile, as `how` picks: a comment added
// after its last line, its first line gone, or its line breaks made "\n".
std::string fileEdit(const std::string& base, uint32_t how) {
    switch (how % 3) {
        case 0: return base + (base.empty() || base.back() == '\n' ? "" : "\r\n") + "; edited by hand\r\n";
        case 1: {
            size_t end = base.find('\n');
            return end == std::string::npos ? std::string() : base.substr(end + 1);
        }
        default: {
            std::string plain;
            for (size_t i = 0; i < base.size(); ++i) {
                if (!(base[i] == '\r' && i + 1 < base.size() && base[i + 1] == '\n')) plain += base[i];
            }
            return plain;
        }
    }
}

void checkEdits(const SectionText& base, const Read& read, uint32_t choice) {
    const std::string text = textOf(base);
    const std::vector<std::string> lines = linesOf(text);
    SectionText theirs = sectionFrom(fileEdit(text, choice >> 4), 0);
    {
        SectionText ours = sectionFrom(text, 16384);
        checkMerge(base, ours, base, "a merge with nothing changed is not the file");
        checkMerge(base, ours, theirs, "a merge with no user change is not the file");
        freeSection(&ours);
    }
    // A new line after the last one that is not blank.
    {
        SectionText ours = sectionFrom(text, 16384);
        uint32_t index = 0;
        const std::string added = "Program 127 Channel 16=Stop";
        if (!appendSectionLine(&ours, added.c_str(), &index)) fail("no room for a new line");
        uint32_t after = 0;
        for (uint32_t i = 0; i < lines.size(); ++i) {
            if (!trimmed(lines[i]).empty()) after = i + 1;
        }
        std::vector<std::string> expected = lines;
        expected.insert(expected.begin() + after, added);
        if (index != after || linesOf(textOf(ours)) != expected) fail("a new line moved another", textOf(ours));
        BindingSource source;
        parseBindingSource("Program 127 Channel 16", &source);
        checkUserChange(base, ours, theirs, sourceKey(source));
        freeSection(&ours);
    }
    // A binding's line given another action.
    if (read.count > 0) {
        const BindingLine& changed = read.lines[choice % read.count];
        Binding binding = changed.binding;
        binding.action = binding.action == kActionStop ? kActionNext : kActionStop;
        binding.entry = 0;
        SectionText ours = sectionFrom(text, 16384);
        std::string line = dialogLine(binding);
        if (!replaceSectionLine(&ours, changed.line, line.c_str())) fail("no room to change a line");
        std::vector<std::string> expected = lines;
        expected[changed.line] = line;
        if (linesOf(textOf(ours)) != expected) fail("a changed line moved another", textOf(ours));
        checkUserChange(base, ours, theirs, sourceKey(binding.source));
        freeSection(&ours);
    }
    // A key that is no binding, given a value.
    {
        SectionText ours = sectionFrom(text, 16384);
        if (!setSectionValue(&ours, "Output", "Fuzz Out")) fail("no room for Output");
        std::vector<std::string> after = linesOf(textOf(ours));
        std::vector<std::string> others, othersAfter;
        for (const std::string& l : lines) others.push_back(keyOf(l) == "output" ? std::string("\x01") : l);
        bool one = false;
        for (const std::string& l : after) {
            if (keyOf(l) == "output" && !one && l == "Output=Fuzz Out") {
                one = true;
                continue;
            }
            othersAfter.push_back(keyOf(l) == "output" ? std::string("\x01") : l);
        }
        // The first Output line rewritten in place, or a new one.
        auto firstOutput = others.begin();
        while (firstOutput != others.end() && *firstOutput != "\x01") ++firstOutput;
        if (firstOutput != others.end()) others.erase(firstOutput);
        if (!one || others != othersAfter) fail("Output= changed another line", textOf(ours));
        freeSection(&ours);
    }
    freeSection(&theirs);
}

// ---- Maps -------------------------------------------------------------------------------

void checkMap(const std::string& file, const SectionText& section, bool sectionFound, const Read& read) {
    fake::setFile(kMapPath, file);
    MapEntry maps[kMaxMaps];
    uint32_t count = listMaps(maps, kMaxMaps);
    if (count > 1) fail("one map file listed twice");
    if (count == 0) return;
    if (!sectionFound) fail("a map listed without its section");
    const size_t capacity = 128;
    std::vector<char> byHand(capacity, 'x');
    SectionText lines = {nullptr, 0, 0};
    bool drivesNoLight = false;
    if (!readMap(maps[0], &lines, byHand.data(), capacity, &drivesNoLight)) fail("a listed map that cannot be read");
    if (memchr(byHand.data(), '\0', capacity) == nullptr) fail("By hand without its end");
    // Every line but those naming the map and its ports, as it was, line
    // breaks and all.
    std::string expected;
    const std::string text = textOf(section);
    for (size_t at = 0; at < text.size();) {
        size_t next = text.find('\n', at);
        next = next == std::string::npos ? text.size() : next + 1;
        std::string raw = text.substr(at, next - at);
        std::string key = keyOf(linesOf(raw).front());
        if (key != "name" && key != "match" && key != "map" && key != "input" && key != "output" &&
            key != "unit") {
            expected += raw;
        }
        at = next;
    }
    if (textOf(lines) != expected) fail("the map's lines are not its section's", textOf(lines));
    // A map's Match takes a port of the very name, unless a word excludes.
    if (strchr(maps[0].match, '-') == nullptr && !trimmed(maps[0].match).empty() &&
        !matchesPortName(maps[0].match, maps[0].match)) {
        fail("Match does not take its own words", maps[0].match);
    }
    freeSection(&lines);

    // Saved as the user's map and read again: the same bindings. (Lines
    // past 16 KB may end past the reader's limit with CRLF line breaks.)
    if (section.length > 16384) return;
    char path[kSettingsPathCapacity];
    if (!saveMap("Fuzzed Map", "Fuzz Port", section, path)) fail("a map that cannot be saved");
    MapEntry saved = {};
    memcpy(saved.path, path, sizeof path);
    SectionText back = {nullptr, 0, 0};
    if (!readMap(saved, &back, byHand.data(), capacity, &drivesNoLight)) fail("a saved map that cannot be read");
    Read again = {};
    again.count = readBindingLines(back.text, back.length, again.lines);
    bool same = again.count == read.count;
    for (uint32_t i = 0; same && i < again.count; ++i) same = sameBinding(again.lines[i].binding, read.lines[i].binding);
    if (!same) fail("a saved map makes other bindings", textOf(back));
    freeSection(&back);
}

// ---- The settings file ---------------------------------------------------------------------

void checkFileWrite(const std::string& file, uint32_t choice) {
    fake::setFile(kSettingsPath, file);
    SectionText copy = {nullptr, 0, 0};
    if (!openBindingsSection(&copy, kConfiguredDevice)) fail("no memory for the section");
    commitBindingsSection(copy, kConfiguredDevice);
    std::string now;
    if (!fake::fileText(kSettingsPath, &now) || now != file) fail("OK with nothing changed changed the file", now);
    uint32_t start = 0, end = 0;
    bool found = findSection(file.data(), static_cast<uint32_t>(file.size()), kBindingsSection, &start, &end);
    // A binding the user added.
    uint32_t index = 0;
    std::string added = (choice & 1) != 0 ? "Note 1 Channel 2=Play" : "Controller 3 Channel 4=Volume";
    if (!appendSectionLine(&copy, added.c_str(), &index)) fail("no room for a new line");
    bool wide = file.size() >= 2 && static_cast<uint8_t>(file[0]) == 0xFF && static_cast<uint8_t>(file[1]) == 0xFE;
    bool written = commitBindingsSection(copy, kConfiguredDevice);
    if (!fake::fileText(kSettingsPath, &now)) fail("the settings file is gone");
    if (wide) {
        if (written || now != file) fail("a UTF-16 settings file rewritten");
    } else if (!written) {
        fail("the settings file not written");
    } else if (found) {
        // Every line before the section and after it as it was.
        std::string before = file.substr(0, start), after = file.substr(end);
        if (now.compare(0, before.size(), before) != 0 || now.size() < before.size() + after.size() ||
            now.compare(now.size() - after.size(), after.size(), after) != 0) {
            fail("OK changed a line outside its section", now);
        }
        std::string middle = now.substr(before.size(), now.size() - before.size() - after.size());
        if (linesOf(middle) != linesOf(textOf(copy))) fail("OK wrote other lines than the section's", now);
    } else if (now.compare(0, file.size(), file) != 0) {
        fail("OK changed the file it added a section to", now);
    }
    freeSection(&copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    fake::reset();
    resetPluginState();
    pluginRecord.hostWindow = reinterpret_cast<WindowRef>(1);
    pluginRecord.moduleInstance = reinterpret_cast<ModuleRef>(2);
    const std::string file(reinterpret_cast<const char*>(data), size);
    const uint32_t choice = size > 0 ? data[size - 1] : 0;

    uint32_t start = 0, end = 0;
    auto has = [&](const char* name) { return findSection(file.data(), static_cast<uint32_t>(file.size()), name, &start, &end); };
    const bool controller = has(kControllerSection), found = controller || has(kBindingsSection);
    SectionText section = sectionFrom(found ? file.substr(start, end - start) : file, 0);
    Read read = {};
    checkReader(section, &read);

    // The Setup line as the plug-in reads it, and from each of its first 64
    // words on: the tail of whole messages, or of a message cut anywhere.
    char setup[1024];
    if (sectionValue(section, "Setup", setup, sizeof setup)) {
        checkSetup(setup, 512);
        const char* word = setup;
        for (int i = 0; i < 64 && *word != '\0'; ++i) {
            while (*word != '\0' && !isBlank(*word)) ++word;
            while (isBlank(*word)) ++word;
            checkSetup(word, 512);
        }
    }
    std::string text = file.substr(0, file.find('\0'));
    checkSetup(text.c_str(), choice % 24);

    checkEdits(section, read, choice);
    checkMap(file, section, controller, read);
    checkFileWrite(file, choice);
    freeSection(&section);
    return 0;
}
