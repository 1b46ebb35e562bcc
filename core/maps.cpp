// maps.cpp -- the ready-made maps: found in their folders, matched to a
// port's name, read, and saved.
#include "core/maps.h"

#include <initializer_list>

#include "core/plugin.h"
#include "core/text.h"
#include "midi/ports.h"
#include "platform/platform.h"

// A map file larger than this is no map.
const uint32_t kMapFileLimit = 256u * 1024;
const char* const kMapSection = "Notewick Controller";

// The two folders: beside the module, and the user's; false when there is none.
static bool shippedFolder(char* folder) {
    if (!settingsPath(pluginRecord.moduleInstance, folder, kSettingsPathCapacity)) return false;
    *const_cast<char*>(fileNamePart(folder)) = '\0';
    return appendText(folder, kSettingsPathCapacity, "Notewick Maps");
}

static bool usersFolder(char* folder, bool make) {
    if (!platformUserDataFolder(folder, kSettingsPathCapacity) || !appendText(folder, kSettingsPathCapacity, "\\") ||
        !appendText(folder, kSettingsPathCapacity, kPluginName)) {
        return false;
    }
    if (make && !platformCreateFolder(folder)) return false;
    if (!appendText(folder, kSettingsPathCapacity, "\\Maps")) return false;
    return !make || platformCreateFolder(folder);
}

// The map file's text and its section's lines; null when it is none.
static char* readMapText(const char* path, uint32_t* start, uint32_t* end) {
    uint32_t length = 0;
    char* text = platformReadFile(path, kMapFileLimit, &length);
    if (text != nullptr && findSection(text, length, kMapSection, start, end)) return text;
    if (text != nullptr) platformFree(text);
    return nullptr;
}

struct Listing {
    MapEntry* maps;
    uint32_t capacity;
    uint32_t count;
    uint32_t first;  // this folder's first entry, for the order by name
    const char* folder;
    bool own;  // the folder is the user's
};

static bool nameBefore(const char* a, const char* b) {
    for (; *a != '\0' && lowerCase(*a) == lowerCase(*b); ++a, ++b) {
    }
    return lowerCase(*a) < lowerCase(*b);
}

static void foundMap(const char* file, void* context) {
    Listing& l = *static_cast<Listing*>(context);
    if (l.count >= l.capacity) return;
    MapEntry& map = l.maps[l.count];
    map.path[0] = '\0';
    map.own = l.own;
    if (!appendText(map.path, sizeof map.path, l.folder) || !appendText(map.path, sizeof map.path, "\\") ||
        !appendText(map.path, sizeof map.path, file)) {
        return;
    }
    uint32_t start = 0, end = 0;
    char* text = readMapText(map.path, &start, &end);
    if (text == nullptr) return;
    SectionText section = {text + start, end - start, 0};
    bool named = sectionValue(section, "Name", map.name, sizeof map.name) && map.name[0] != '\0';
    sectionValue(section, "Match", map.match, sizeof map.match);
    char identity[48];
    if (!sectionValue(section, "Identity", identity, sizeof identity)) identity[0] = '\0';
    mapIdentityFromText(identity, &map.identity);  // none when it does not parse
    platformFree(text);
    if (!named) return;
    // In the order of their names within the folder.
    uint32_t at = l.count++;
    while (at > l.first && nameBefore(map.name, l.maps[at - 1].name)) --at;
    MapEntry placed = map;
    for (uint32_t i = l.count - 1; i > at; --i) l.maps[i] = l.maps[i - 1];
    l.maps[at] = placed;
}

uint32_t listMaps(MapEntry* maps, uint32_t capacity) {
    Listing listing = {maps, capacity, 0, 0, nullptr, false};
    char folder[kSettingsPathCapacity];
    if (shippedFolder(folder)) {
        listing.folder = folder;
        platformListFiles(folder, ".ini", foundMap, &listing);
    }
    listing.first = listing.count;
    listing.own = true;
    if (usersFolder(folder, false)) {
        listing.folder = folder;
        platformListFiles(folder, ".ini", foundMap, &listing);
    }
    return listing.count;
}

// Whether `text` contains the word [word, end), case not counting.
static bool containsWord(const char* text, const char* word, const char* end) {
    for (; *text != '\0'; ++text) {
        const char *a = text, *b = word;
        for (; b < end && *a != '\0' && lowerCase(*a) == lowerCase(*b); ++a, ++b) {
        }
        if (b == end) return true;
    }
    return false;
}

bool matchesPortName(const char* match, const char* portName) {
    bool any = false;
    for (const char* at = match; *at != '\0';) {
        while (*at == ' ' || *at == '\t') ++at;
        const char* end = at;
        while (*end != '\0' && *end != ' ' && *end != '\t') ++end;
        bool without = *at == '-' && end > at + 1;
        const char* word = without ? at + 1 : at;
        if (end > word) {
            if (containsWord(portName, word, end) == without) return false;
            any = true;
        }
        at = end;
    }
    return any;
}

// Whether `text` begins with `word`, case not counting; *after gets what follows.
static bool beginsWith(const char* text, const char* word, const char** after) {
    for (; *word != '\0'; ++text, ++word) {
        if (lowerCase(*text) != lowerCase(*word)) return false;
    }
    *after = text;
    return true;
}

bool outputPairsInput(const char* input, const char* output) {
    if (textEqualsAnyCase(input, output)) return true;
    // Where the names first differ, at the start of a word, the input has its
    // word and the output its own, and the rest is the same: "MIDIIN3" and
    // "MIDIOUT3" as Windows numbers a device's further ports, "In" and "Out".
    const char *a = input, *b = output;
    for (; *a != '\0' && lowerCase(*a) == lowerCase(*b); ++a, ++b) {
    }
    for (; a > input && a[-1] != ' ' && a[-1] != '('; --a, --b) {
    }
    const char *restA = nullptr, *restB = nullptr;
    bool midi = beginsWith(a, "MIDIIN", &restA) && beginsWith(b, "MIDIOUT", &restB) && *restA >= '0' && *restA <= '9';
    bool word = !midi && beginsWith(a, "In", &restA) && beginsWith(b, "Out", &restB) &&
                (*restA == '\0' || *restA == ' ' || *restA == ')');
    return (midi || word) && textEqualsAnyCase(restA, restB);
}

int32_t pairedOutputDevice(const char* input) {
    if (input[0] == '\0') return -1;
    int32_t same = findOutputDevice(input, -1);
    if (same >= 0) return same;
    for (uint32_t i = 0, count = countOutputDevices(); i < count; ++i) {
        char name[kDeviceNameCapacity];
        outputDeviceName(i, name);
        if (name[0] != '\0' && outputPairsInput(input, name)) return static_cast<int32_t>(i);
    }
    return -1;
}

// The user's own map among those that fit, else the first that fits; -1 for none.
template <typename Fits>
static int32_t ownOrFirst(const MapEntry* maps, uint32_t count, Fits fits) {
    int32_t found = -1;
    for (uint32_t i = 0; i < count; ++i) {
        if (!fits(maps[i])) continue;
        if (maps[i].own) return static_cast<int32_t>(i);
        if (found < 0) found = static_cast<int32_t>(i);
    }
    return found;
}

int32_t findMatchingMap(const MapEntry* maps, uint32_t count, const char* portName) {
    return ownOrFirst(maps, count, [portName](const MapEntry& map) { return matchesPortName(map.match, portName); });
}

bool mapIdentityFromText(const char* text, MapIdentity* identity) {
    *identity = MapIdentity{};
    uint8_t bytes[7];
    uint32_t count = 0;
    if (!parseHexBytes(text, bytes, sizeof bytes, &count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        if (bytes[i] >= 0x80) return false;  // data bytes only
    }
    // A maker's id is one byte, or 00 and two more; the family follows, then
    // the member, which may be left out.
    uint32_t maker = count > 0 && bytes[0] == 0 ? 3 : 1;
    if (count != maker + 2 && count != maker + 4) return false;
    MapIdentity found = {};
    for (uint32_t i = 0; i < maker; ++i) found.maker[i] = bytes[i];
    found.makerLength = static_cast<uint8_t>(maker);
    found.anyMember = count == maker + 2;
    for (uint32_t i = 0; i < 2; ++i) {
        found.family[i] = bytes[maker + i];
        found.member[i] = found.anyMember ? 0 : bytes[maker + 2 + i];
    }
    *identity = found;
    return true;
}

bool mapIdentityMatches(const MapIdentity& map, const MapIdentity& reply) {
    if (map.makerLength == 0 || map.makerLength != reply.makerLength) return false;
    for (uint32_t i = 0; i < map.makerLength; ++i) {
        if (map.maker[i] != reply.maker[i]) return false;
    }
    return map.family[0] == reply.family[0] && map.family[1] == reply.family[1] &&
           (map.anyMember || (map.member[0] == reply.member[0] && map.member[1] == reply.member[1]));
}

int32_t findMapByIdentity(const MapEntry* maps, uint32_t count, const MapIdentity& reply) {
    return ownOrFirst(maps, count, [&reply](const MapEntry& map) { return mapIdentityMatches(map.identity, reply); });
}

int32_t findOfferedMap(const MapEntry* maps, uint32_t count, const char* deviceName, const MapIdentity* reply) {
    int32_t byName = deviceName[0] != '\0' ? findMatchingMap(maps, count, deviceName) : -1;
    return byName >= 0 || reply == nullptr ? byName : findMapByIdentity(maps, count, *reply);
}

bool readMap(const MapEntry& map, SectionText* lines, char* byHand, size_t capacity, bool* drivesNoLight) {
    uint32_t start = 0, end = 0;
    byHand[0] = '\0';
    *drivesNoLight = false;
    char* text = readMapText(map.path, &start, &end);
    if (text == nullptr) return false;
    // "; By hand: ..." in the header, before the section.
    const char* label = "; By hand:";
    for (uint32_t at = 0; at < start; ++at) {
        if (at != 0 && text[at - 1] != '\n') continue;
        uint32_t k = 0;
        while (label[k] != '\0' && lowerCase(text[at + k]) == lowerCase(label[k])) ++k;
        if (label[k] != '\0') continue;
        uint32_t from = at + k;
        while (from < start && (text[from] == ' ' || text[from] == '\t')) ++from;
        uint32_t to = from;
        while (to < start && text[to] != '\r' && text[to] != '\n') ++to;
        for (uint32_t i = from; i < to && i - from + 1 < capacity; ++i) byHand[i - from] = text[i];
        byHand[to - from < capacity ? to - from : capacity - 1] = '\0';
        break;
    }
    SectionText section = {text + start, end - start, 0};
    bool copied = copySection(section, 0, lines);
    platformFree(text);
    if (!copied) return false;
    char output[kDeviceNameCapacity];
    *drivesNoLight = sectionHasKey(*lines, "Output") && !sectionValue(*lines, "Output", output, sizeof output);
    for (const char* key : {"Name", "Match", "Map", "Input", "Output", "Unit"}) setSectionValue(lines, key, "");
    // "By hand: nothing" asks nothing.
    if (textEquals(byHand, "nothing") || textEquals(byHand, "Nothing") || textEquals(byHand, "nothing.")) byHand[0] = '\0';
    return true;
}

bool mapReplacesLine(const char* start, const char* end) {
    ParsedLine parsed;
    parseSectionLine(start, end, &parsed);
    SectionText one = {const_cast<char*>(start), static_cast<uint32_t>(end - start), 0};
    bool replaced = parsed.named;
    for (const char* key : {"Setup", "Map", "Port", "Transport", "Identity"}) {
        replaced = replaced || sectionHasKey(one, key);
    }
    return replaced;
}

// Names Windows keeps for devices, also with an extension ("CON.ini",
// "con .x"): no file may have them.
static bool reservedFileName(const char* name) {
    const char* end = name;
    while (*end != '\0' && *end != '.') ++end;
    while (end > name && end[-1] == ' ') --end;
    for (const char* reserved : {"CON", "PRN", "AUX", "NUL"}) {
        if (rangeEqualsAnyCase(name, end, reserved)) return true;
    }
    return end - name == 4 && name[3] >= '1' && name[3] <= '9' &&
           (rangeEqualsAnyCase(name, name + 3, "COM") || rangeEqualsAnyCase(name, name + 3, "LPT"));
}

uint32_t checkMapName(const char* typed, char* name) {
    while (*typed == ' ' || *typed == '\t') ++typed;
    uint32_t length = 0;
    while (typed[length] != '\0') ++length;
    while (length > 0 && (typed[length - 1] == ' ' || typed[length - 1] == '\t')) --length;
    uint32_t kept = length < kMapNameCapacity ? length : static_cast<uint32_t>(kMapNameCapacity - 1);
    for (uint32_t i = 0; i < kept; ++i) name[i] = typed[i];
    name[kept] = '\0';
    if (length == 0) return kMapNameEmpty;
    if (length >= kMapNameCapacity) return kMapNameTooLong;
    return reservedFileName(name) ? kMapNameReserved : kMapNameFits;
}

bool ownMapPath(const char* name, char* path, bool make) {
    path[0] = '\0';
    char folder[kSettingsPathCapacity];
    if (!usersFolder(folder, make)) return false;
    // The file is named for the map, without the characters a file name may not have.
    char file[kMapNameCapacity] = "";
    for (const char* at = name; *at != '\0'; ++at) {
        char c = *at;
        bool bad = c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
                   c == '|' || static_cast<unsigned char>(c) < 32;
        char one[2] = {bad ? '_' : c, '\0'};
        appendText(file, sizeof file, one);
    }
    return file[0] != '\0' && appendText(path, kSettingsPathCapacity, folder) &&
           appendText(path, kSettingsPathCapacity, "\\") && appendText(path, kSettingsPathCapacity, file) &&
           appendText(path, kSettingsPathCapacity, ".ini");
}

bool saveMap(const char* name, const char* portName, const SectionText& section, const char* path) {
    uint32_t capacity = section.length + 1024;
    char* text = static_cast<char*>(platformAllocZeroed(capacity));
    if (text == nullptr) return false;
    const char* header = ".\r\n; Mode: as the device was when the map was saved.\r\n; By hand: nothing\r\n"
                         "; Sources: its user's own bindings.\r\n[";
    for (const char* piece : {"; ", name, ": a Notewick map saved from ", portName, header, kMapSection, "]\r\nName=",
                              name, "\r\nMatch=", portName, "\r\n"}) {
        appendText(text, capacity, piece);
    }
    // The section's own lines, Input, Output, Unit and Map apart: they belong
    // to the controller, not to the map.
    uint32_t length = 0;
    while (text[length] != '\0') ++length;
    for (uint32_t line = 0, start = 0, end = 0; sectionLine(section, line, &start, &end); ++line) {
        SectionText one = {section.text + start, end - start, 0};
        bool own = false;
        for (const char* key : {"Input", "Output", "Unit", "Map", "Name", "Match"}) {
            own = own || sectionHasKey(one, key);
        }
        if (own || end == start) continue;
        for (uint32_t i = start; i < end && length + 3 < capacity; ++i) text[length++] = section.text[i];
        text[length++] = '\r';
        text[length++] = '\n';
    }
    bool written = platformReplaceFile(path, text, length);
    platformFree(text);
    return written;
}
