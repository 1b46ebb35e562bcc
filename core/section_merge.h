// section_merge.h -- OK keeps what was edited by hand while the Bindings
// dialog was open.
//
// The dialog edits only lines that have a key: a binding's line (its key
// names a control) or a line such as "Output=..."; never a comment, a blank
// line or a line without "=". So the user's changes are, for each key, the
// lines of that key: where the dialog's lines of a key differ from those the
// section had when the dialog opened, the user changed that control. At OK
// those lines replace the same key's lines in the section as the file has it
// now, where its first one is (or after its last line, for a key new to
// it); every other line stays as the file has it. A key the file changed
// too is a conflict, and the user's lines win.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/bindings_section.h"

// The merged section into `merged` (new memory, with room for more edits);
// *conflicts: how many keys both the user and the file changed, the first of
// them in words in `first` ("Note 36 (C2), channel 10", "Output"). False
// when there is no memory.
bool mergeSection(const SectionText& base, const SectionText& ours, const SectionText& theirs, SectionText* merged,
                  uint32_t* conflicts, char* first, size_t capacity);
