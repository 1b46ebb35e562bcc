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
//   Identity=42 13 01 00 00
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

// What a device answers the Device Inquiry with, as a map's Identity= gives
// it: the maker's id (one byte, or 00 and two more), the family's two bytes
// and the member's two, each as the reply has them. A map may leave out the
// member: then any member of the family is the map's.
struct MapIdentity {
    uint8_t maker[3];
    uint8_t makerLength;  // 1 or 3; 0: no identity
    uint8_t family[2];
    uint8_t member[2];
    bool anyMember;
};
// "42 13 01 00 00", "00 20 29 13 01": hex bytes, blanks between, each below
// 80; false (and no identity) for anything else.
bool mapIdentityFromText(const char* text, MapIdentity* identity);
// Whether a device's reply is of the map's identity.
bool mapIdentityMatches(const MapIdentity& map, const MapIdentity& reply);

struct MapEntry {
    char name[kMapNameCapacity];  // Name=
    char match[kMatchCapacity];   // Match=
    MapIdentity identity;         // Identity=
    char path[kSettingsPathCapacity];
    bool own;  // the user's, saved with Save as Map
};

// Every map: the shipped ones, then the user's, each folder's in the order
// of their names; at most `capacity`. A file without Name is no map.
uint32_t listMaps(MapEntry* maps, uint32_t capacity);
// Whether the port's name contains every word of `match` (one that begins
// with "-": does not contain it), case not counting; an empty match fits none.
bool matchesPortName(const char* match, const char* portName);
// Whether the output is the input's own pair: the same name, or the name
// with the input's word changed for the output's, "MIDIIN2 (X)" and
// "MIDIOUT2 (X)", "X In 1" and "X Out 1"; case not counting.
bool outputPairsInput(const char* input, const char* output);
// The output that pairs the input, the one of the same name first; -1 for none.
int32_t pairedOutputDevice(const char* input);
// The listed map whose Match fits the port's name, the user's own before a
// shipped one, else the first; -1 for none.
int32_t findMatchingMap(const MapEntry* maps, uint32_t count, const char* portName);
// The map offered for a device: the one whose Match fits its name, as
// findMatchingMap; when none does and the device answered the Device Inquiry
// (`reply` not null), the listed map of its identity, the user's own before
// a shipped one, else the first; -1 for none.
int32_t findMapByIdentity(const MapEntry* maps, uint32_t count, const MapIdentity& reply);
int32_t findOfferedMap(const MapEntry* maps, uint32_t count, const char* deviceName, const MapIdentity* reply);
// The map's lines for a controller's section (its section's lines) into
// `lines` (new memory), and what its header says must be set on the device
// by hand (empty when nothing); false when it cannot be read. Name, Match,
// Map, Input, Output and Unit are the map's or its first owner's, never the
// controller's: they are left out (Port, Transport and Identity stay), and
// *drivesNoLight tells whether the map has an empty Output (its lights are
// not to be driven).
bool readMap(const MapEntry& map, SectionText* lines, char* byHand, size_t capacity, bool* drivesNoLight);
// Whether a section's line is of the kind a map brings, which using another
// map replaces: a line naming a source, Setup, Map, Port, Transport, Identity.
bool mapReplacesLine(const char* start, const char* end);

// What a name typed for a map is, as a file name too.
enum MapNameCheck : uint32_t {
    kMapNameFits,
    kMapNameEmpty,     // blanks only
    kMapNameTooLong,   // more than kMapNameCapacity - 1 characters
    kMapNameReserved,  // CON, PRN, AUX, NUL, COM1-9, LPT1-9: a device's, no file's
};
// The typed name without the blanks around it into `name` (kMapNameCapacity
// bytes, cut when too long), and whether a map may have it.
uint32_t checkMapName(const char* typed, char* name);
// The path in the user's folder of the map file for the name: the name with
// '_' for each character a file name may not have, and ".ini"; false when the
// folder is not known (with `make`: cannot be made).
bool ownMapPath(const char* name, char* path, bool make);
// Writes a map named `name`, matching `portName`, of the section's Setup and
// binding lines into the file at `path`, replacing it; false when it cannot
// be written.
bool saveMap(const char* name, const char* portName, const SectionText& section, const char* path);
