// bindings_section.h -- the "Notewick Bindings" section of the settings file,
// kept as the lines it has, and the one reader that says which bindings they
// make.
//
// The plug-in reads and writes this section as text, never through the
// profile calls: those reach only the first line of a key, count a line
// without "=" as a key, and drop comments when they write a section whole.
// So every line stays as it is and where it is (comments, lines without "=",
// lines that are not used) unless the user removed or changed its own binding,
// and what the Bindings dialog lists is what acts.
#pragma once

#include <cstdint>

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

// The reader: the bindings the lines make, in file order, at most
// kMaxBindings, from the lines within the first kSectionReadLimit bytes. The
// first line that names a source is the one for it: a later line for the same
// source is not used, even where the first is not used either.
uint32_t readBindingLines(const char* text, uint32_t length, BindingLine* lines);

// The line's text without its line break, as [start, end) of section.text;
// false past the last line.
bool sectionLine(const SectionText& section, uint32_t index, uint32_t* start, uint32_t* end);
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

// ---- The section in effect ---------------------------------------------------------
// Init: reads the section and hands the worker its bindings.
void loadBindings();
// The Bindings dialog opens: a copy of the section in effect, with room for
// its edits. When the file's section changed since the plug-in last read or
// wrote it (an edit by hand), the file's is taken, by the worker too. False
// when there is no memory.
bool openBindingsSection(SectionText* copy);
// OK: the section becomes the one in effect, the worker takes its bindings,
// and the file gets it, at once and whole, when it differs from what the file
// has. False when the file could not be written: the session keeps it, and
// the Bindings dialog shows it when it opens again.
bool commitBindingsSection(const SectionText& section);
// The bindings of the section in effect (kMaxBindings room); their count.
uint32_t bindingsInEffect(Binding* bindings);
// Quit, and tests: back to no section.
void resetBindingsSection();
