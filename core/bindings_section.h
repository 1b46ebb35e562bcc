// bindings_section.h -- each device's section of the settings file, kept as
// the lines it has, and the one reader that says which bindings they make:
// "Notewick Bindings" for the configured device, "Notewick Controller N" for
// the controller added as device N (whose Input, Output, Unit, Map, Setup,
// Port, Transport and Identity lines are no bindings to the reader).
//
// The plug-in reads and writes this section as text, never through the
// profile calls: those reach only the first line of a key, count a line
// without "=" as a key, and drop comments when they write a section whole.
// So every line stays as it is and where it is (comments, lines without "=",
// lines that are not used) unless the user removed or changed its own binding,
// and what the Bindings dialog lists is what acts.
#pragma once

#include <cstdint>

#include <cstddef>

#include "midi/bindings.h"

// Only the section's first 32 KB are read: a line that ends past them is not.
const uint32_t kSectionReadLimit = 32768;

// The section's text: its lines after the header up to the next section, as
// they are in the file, line breaks included. Lines are counted from 0.
struct SectionText {
    char* text;  // from platformAllocZeroed, NUL-terminated; null for none
    uint32_t length;
    uint32_t capacity;  // room in text, its NUL included
};

// A binding, with the line that makes it.
struct BindingLine {
    Binding binding;
    uint32_t line;
};

// A line as the reader sees it.
struct ParsedLine {
    bool named;  // its key names a source (blank lines, comments and lines without "=" name none)
    Binding binding;  // its source, and its action (kActionNone when its value is no action)
    bool lightsParse;  // what follows the action (", lit 5, dark 1") parses
    bool fits;  // the action fits the source and the rest parses: the line makes a binding unless one came first
};
void parseSectionLine(const char* start, const char* end, ParsedLine* parsed);

// Whether the line is one of the section's settings, which name no source:
// Input, Output and Unit (the device's), Name, Match, Map and Identity (a
// map's), Setup, Port and Transport (how the device is read and set up).
bool isSettingLine(const char* start, const char* end);

// Port=N: the port of the device (1 to kMaxSectionPort, in the system's
// order) whose messages the bindings read and whose paired output takes the
// lights and Setup. A missing line, or any other value, is port 1.
const uint32_t kMaxSectionPort = 8;
uint32_t parseSectionPort(const char* value);
uint32_t sectionPort(const SectionText& section);
// Transport=Mackie or Transport=HUI (case not counting): port 1 also speaks
// that protocol's transport. Anything else, or no line, is none.
enum SectionTransport : uint32_t {
    kSectionTransportNone,
    kSectionTransportMackie,
    kSectionTransportHui,
};
uint32_t parseSectionTransport(const char* value);
uint32_t sectionTransport(const SectionText& section);

// The reader: the bindings the lines make, in file order, at most
// kMaxBindings, from the lines within the first kSectionReadLimit bytes. The
// first line that names a source is the one for it: a later line for the same
// source is not used, even where the first is not used either. When `unused`
// is given (kMaxUnusedSources room), the sources whose first line is not
// used go there, their count in *unusedCount.
uint32_t readBindingLines(const char* text, uint32_t length, BindingLine* lines, UnusedSource* unused = nullptr,
                          uint32_t* unusedCount = nullptr);

// Why the line `line` of the section, which names a source, is not used:
// "line 3 of [Notewick Bindings], "Note 36 Channel 10=Jump", is not used: its
// action is not one Notewick knows", appended to out. With `where`, the
// section's file is named too ("... of C:\Player\Plugins\plugin.ini").
void describeUnusedLine(const SectionText& section, uint32_t device, uint32_t line, bool where, char* out,
                        size_t capacity);
// The same for a line of the device's section in effect (the live line).
void describeUnusedLine(uint32_t device, uint32_t line, char* out, size_t capacity);

// The first value of the key (a line "Key=Value", the key's case not
// counting), without the blanks around it; empty, and false, when no line
// has the key.
bool sectionValue(const SectionText& section, const char* key, char* value, size_t capacity);
// Whether a line has the key.
bool sectionHasKey(const SectionText& section, const char* key);
// Gives the key that value: its first line rewritten, or a new line after
// the last; an empty value removes every line of the key. False when there
// is no room.
bool setSectionValue(SectionText* section, const char* key, const char* value);

// The section `name` in a settings file's text (a UTF-8 mark at its start
// left out): its lines [start, end), and in *header where its header line
// starts; false when the text has none. The first section of the name is
// the one, as for the profile calls; names are read without regard to case.
bool findSection(const char* file, uint32_t length, const char* name, uint32_t* start, uint32_t* end,
                 uint32_t* header = nullptr);

// The section's name for the device: "Notewick Bindings", "Notewick
// Controller 3" (kSectionNameCapacity bytes).
const size_t kSectionNameCapacity = 32;
void sectionName(uint32_t device, char* name);

// The line's text without its line break, as [start, end) of section.text;
// false past the last line.
bool sectionLine(const SectionText& section, uint32_t index, uint32_t* start, uint32_t* end);
// The line that starts at `at` (< section.length): its text ends at *end,
// before its line break, and the next line starts at *next, after it.
void sectionLineAt(const SectionText& section, uint32_t at, uint32_t* end, uint32_t* next);
// The first line read that names the source; -1 for none.
int32_t firstLineNaming(const SectionText& section, const BindingSource& source);
// Edits, each false (and nothing changed) when there is no room.
// Any part of the text, [start, end), replaced.
bool replaceSectionText(SectionText* section, uint32_t start, uint32_t end, const char* text);
bool removeSectionLine(SectionText* section, uint32_t index);
bool replaceSectionLine(SectionText* section, uint32_t index, const char* text);
// A new line after the last line that is not blank; *index gets its number.
bool appendSectionLine(SectionText* section, const char* text, uint32_t* index);

// A copy with room to grow by `extra` bytes; false when there is no memory.
bool copySection(const SectionText& from, uint32_t extra, SectionText* to);
void freeSection(SectionText* section);

// ---- The sections in effect ---------------------------------------------------------
// Init: reads the configured device's section and hands the worker its
// bindings. loadSection does so for any device; false when the file has no
// such section (or cannot be read).
void loadBindings();
bool loadSection(uint32_t device);
// The Bindings dialog opens a device: a copy of its section in effect, with
// room for its edits. When the file's section changed since the plug-in last
// read or wrote it (an edit by hand), the file's is taken, by the worker too.
// False when there is no memory.
bool openBindingsSection(SectionText* copy, uint32_t device = kConfiguredDevice);
// The device's section as the file has it now, into `section` (new memory,
// with room for edits); an empty one when the file or the section is
// missing. False when the file cannot be read or there is no memory.
bool readFileSection(uint32_t device, SectionText* section);
// OK: the section becomes the one in effect, the worker takes its bindings,
// and the file gets it, at once and whole, when it differs from what the file
// has. False when the file could not be written: the session keeps it, and
// the Bindings dialog shows it when it opens again.
bool commitBindingsSection(const SectionText& section, uint32_t device = kConfiguredDevice);
// The device's section goes from the file and from effect (a controller
// removed); false when the file could not be written.
bool removeBindingsSection(uint32_t device);
// The device's section in effect (empty text for none): the user-interface
// thread's, valid until the next commit or load.
const SectionText& sectionInEffect(uint32_t device);
// The bindings of the device's section in effect (kMaxBindings room); their count.
uint32_t bindingsInEffect(Binding* bindings, uint32_t device = kConfiguredDevice);
// Quit, and tests: back to no section for any device.
void resetBindingsSection();
