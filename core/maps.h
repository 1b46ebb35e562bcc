// maps.h -- ready-made maps: a controller's bindings, lights and set-up
// messages, in a file of their own that a user picks once.
//
// A map is text in the form of a controller's section, without a number,
// with the controller's name as users know it and the words its port names
// contain, under a header that says which mode it assumes, what must be set
// on the device by hand, and where its numbers come from:
//
//   ; Korg nanoKONTROL2: a ready-made Notewick map.
//   ; Mode: ...
//   ; By hand: Set LED Mode to External in Korg KONTROL Editor ...
//   ; Sources: ...
//   [Notewick Controller]
//   Name=Korg nanoKONTROL2
//   Match=nanoKONTROL2
//   Setup=...
//   Controller 41 Channel 1=Play/Pause
//
// The shipped maps are in the "Notewick Maps" folder beside the plug-in, the
// user's own in %APPDATA%\Notewick\Maps. User-interface thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/bindings_section.h"
#include "core/settings.h"

const uint32_t kMaxMaps = 64;
const size_t kMapNameCapacity = 64;
const size_t kMatchCapacity = 96;

struct MapEntry {
    char name[kMapNameCapacity];  // Name=
    char match[kMatchCapacity];   // Match=
    char path[kSettingsPathCapacity];
    bool own;  // the user's, saved with Save as Map
};

// Every map: the shipped ones, then the user's, each folder's in the order
// of their names; at most `capacity`. A file without Name is no map.
uint32_t listMaps(MapEntry* maps, uint32_t capacity);
// Whether the port's name contains every word of `match` (one that begins
// with "-": does not contain it), case not counting; an empty match fits none.
bool matchesPortName(const char* match, const char* portName);
// The listed map whose Match fits the port's name, the user's own before a
// shipped one, else the first; -1 for none.
int32_t findMatchingMap(const MapEntry* maps, uint32_t count, const char* portName);
// The map's lines for a controller's section (its section's lines, Name and
// Match left out) into `lines` (new memory), and what its header says must
// be set on the device by hand (empty when nothing); false when it cannot
// be read.
bool readMap(const MapEntry& map, SectionText* lines, char* byHand, size_t capacity);
// Writes a map named `name`, matching `portName`, of the section's Setup and
// binding lines into the user's folder; false when it cannot be written.
// *path gets the file's path.
bool saveMap(const char* name, const char* portName, const SectionText& section, char* path);
