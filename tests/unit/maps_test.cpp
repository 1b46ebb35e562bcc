// maps_test.cpp -- the ready-made controller maps in maps/: each has the
// header lines the user is shown, one [Notewick Controller] section whose
// every binding line the plug-in's own reader uses, Setup bytes that are whole
// MIDI messages, Match words that take the ports the controller shows and no
// other controller's, and Port, Transport and Identity lines that parse; the
// map offered by a device's Device Inquiry reply when no name fits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "core/bindings_section.h"
#include "core/maps.h"
#include "core/output_port.h"
#include "midi/lights.h"
#include "tests/fake/fake_platform.h"

namespace {

struct MapCase {
    const char* name;                    // the file maps/NAME.ini, and its Name=
    std::vector<const char*> ports;      // names Windows gives the device's first port: Match= takes each
    std::vector<const char*> notPorts;   // its other ports, and a sibling's, which Match= must leave
    uint32_t port;                       // Port=: the port its bindings read
    uint32_t transport;                  // Transport=
    std::vector<uint8_t> identity;       // Identity=: maker, family, member; empty: none
};

const MapCase kMaps[] = {
    {"Akai APC mini mk1", {"APC MINI"}, {}, 1, kSectionTransportNone, {}},
    {"Akai APC mini mk2", {"APC mini mk2"}, {"MIDIIN2 (APC mini mk2)", "MIDIOUT2 (APC mini mk2)"}, 1,
     kSectionTransportNone, {}},
    {"Akai LPD8 mk2", {"LPD8 mk2"}, {"LPD8"}, 1, kSectionTransportNone, {}},
    {"Behringer X-Touch Mini", {"X-TOUCH MINI"}, {}, 1, kSectionTransportNone, {}},
    {"Behringer X-Touch One", {"X-Touch One"}, {}, 1, kSectionTransportMackie, {}},
    {"DJ TechTools Midi Fighter Twister", {"Midi Fighter Twister"}, {}, 1, kSectionTransportNone, {}},
    {"Hercules DJControl Inpulse 200", {"DJControl Inpulse 200"}, {}, 1, kSectionTransportNone, {}},
    {"Hercules DJControl Inpulse 300", {"DJControl Inpulse 300"}, {}, 1, kSectionTransportNone, {}},
    {"Hercules DJControl Starlight", {"DJControl Starlight"}, {}, 1, kSectionTransportNone, {}},
    {"Korg nanoKONTROL2", {"nanoKONTROL2 1 SLIDER/KNOB", "nanoKONTROL2 1 CTRL", "nanoKONTROL2"}, {}, 1,
     kSectionTransportNone, {0x42, 0x13, 0x01, 0x00, 0x00}},
    {"Novation Launchkey Mini MK3", {"Launchkey Mini MK3 MIDI"},
     {"MIDIIN2 (Launchkey Mini MK3 MIDI)", "MIDIOUT2 (Launchkey Mini MK3 MIDI)", "Launchkey Mini MK4 MIDI"}, 2,
     kSectionTransportNone, {}},
    {"Novation Launchpad Mini", {"Launchpad Mini"}, {}, 1, kSectionTransportNone, {}},
    // On Windows its first port, named as the device, is the DAW port; the
    // map reads the MIDI port, the second. A second unit's first port has
    // the first's name.
    {"Novation Launchpad Mini MK3", {"LPMiniMK3 MIDI"},
     {"MIDIIN2 (LPMiniMK3 MIDI)", "MIDIOUT2 (LPMiniMK3 MIDI)", "MIDIIN4 (LPMiniMK3 MIDI)"}, 2, kSectionTransportNone,
     {}},
    {"Numark DJ2GO2 Touch", {"DJ2GO2 Touch"}, {}, 1, kSectionTransportNone, {}},
    {"Pioneer DDJ-200", {"DDJ-200"}, {}, 1, kSectionTransportNone, {}},
};

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

TEST(Maps, EachIsReadWholeByThePluginAndTakesItsControllersPorts) {
    const std::filesystem::path folder = NOTEWICK_SOURCE_DIR "/maps";
    std::set<std::string> files, named;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) files.insert(entry.path().filename());
    for (const MapCase& map : kMaps) named.insert(std::string(map.name) + ".ini");
    EXPECT_EQ(files, named) << "every file in maps/ has a row here, and every row a file";

    for (const MapCase& map : kMaps) {
        SCOPED_TRACE(map.name);
        std::ifstream in(folder / (std::string(map.name) + ".ini"));
        ASSERT_TRUE(in) << "no file";
        std::vector<std::string> header, section, bindings;
        std::string line, name, match, setup, settings;
        int sections = 0;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (startsWith(line, "[")) {
                EXPECT_EQ(line, "[Notewick Controller]");
                ++sections;
            } else if (sections == 0) {
                header.push_back(line);
            } else if (line.empty() || startsWith(line, ";")) {
                continue;
            } else if (startsWith(line, "Name=")) {
                name = line.substr(5);
            } else if (startsWith(line, "Match=")) {
                match = line.substr(6);
            } else if (line == "Output=") {
                continue;  // the map drives no light
            } else if (startsWith(line, "Setup=")) {
                setup = line.substr(6);
                uint8_t bytes[512];
                uint32_t length = 0;
                EXPECT_TRUE(parseSetupBytes(setup.c_str(), bytes, sizeof bytes, &length) && length > 0) << line;
            } else if (isSettingLine(line.data(), line.data() + line.size())) {
                // The device's own settings never come from a map.
                for (const char* own : {"Input=", "Unit=", "Map=", "Output="}) EXPECT_FALSE(startsWith(line, own)) << line;
                settings += line + "\n";
            } else {
                bindings.push_back(line);
            }
        }
        // Port, Transport and Identity as the plug-in reads them.
        SectionText read = {&settings[0], static_cast<uint32_t>(settings.size()), 0};
        EXPECT_EQ(sectionPort(read), map.port);
        EXPECT_EQ(sectionTransport(read), map.transport);
        char identityText[48];
        MapIdentity identity = {};
        bool hasIdentity = sectionValue(read, "Identity", identityText, sizeof identityText);
        EXPECT_EQ(hasIdentity, !map.identity.empty());
        if (hasIdentity) {
            ASSERT_TRUE(mapIdentityFromText(identityText, &identity)) << identityText;
            std::vector<uint8_t> bytes(identity.maker, identity.maker + identity.makerLength);
            bytes.insert(bytes.end(), identity.family, identity.family + 2);
            if (!identity.anyMember) bytes.insert(bytes.end(), identity.member, identity.member + 2);
            EXPECT_EQ(bytes, map.identity);
        }
        EXPECT_EQ(sections, 1);
        ASSERT_FALSE(header.empty());
        EXPECT_EQ(header[0], "; " + name + ": a ready-made Notewick map.");
        for (const char* key : {"; Mode: ", "; By hand: ", "; Sources: "}) {
            EXPECT_EQ(std::count_if(header.begin(), header.end(),
                                    [&](const std::string& h) { return startsWith(h, key) && h.size() > strlen(key); }),
                      1)
                << "one line " << key;
        }
        for (const std::string& h : header) EXPECT_TRUE(h.empty() || startsWith(h, "; ")) << h;
        EXPECT_EQ(name, map.name);
        EXPECT_FALSE(match.empty());

        // Each line names a source and an action that fits it; the reader
        // uses them all (no source twice, at most 128); light values only
        // where the action lights.
        std::string text;
        for (const std::string& b : bindings) {
            ParsedLine parsed;
            parseSectionLine(b.data(), b.data() + b.size(), &parsed);
            EXPECT_TRUE(parsed.named && parsed.fits) << b;
            text += b + "\n";
        }
        std::vector<BindingLine> used(kMaxBindings);
        uint32_t count = readBindingLines(text.data(), static_cast<uint32_t>(text.size()), used.data());
        EXPECT_EQ(count, bindings.size()) << "lines the reader does not use";
        for (uint32_t i = 0; i < count; ++i) {
            const std::string& b = bindings[used[i].line];
            EXPECT_TRUE(b.find(',') == std::string::npos || lightKind(used[i].binding) != kLightNone) << b;
        }

        for (const char* port : map.ports) EXPECT_TRUE(matchesPortName(match.c_str(), port)) << port;
        for (const char* port : map.notPorts) EXPECT_FALSE(matchesPortName(match.c_str(), port)) << port;
        for (const MapCase& other : kMaps) {
            if (&other == &map) continue;
            for (const auto* names : {&other.ports, &other.notPorts}) {
                for (const char* port : *names) {
                    EXPECT_FALSE(matchesPortName(match.c_str(), port)) << other.name << ": " << port;
                }
            }
        }
    }
}

// Port= and Transport= values: anything but a port 1-8 is port 1, anything
// but Mackie or HUI no protocol.
TEST(Maps, PortAndTransportValuesParseOrFallBack) {
    const struct {
        const char* value;
        uint32_t port;
    } ports[] = {{"1", 1}, {"2", 2}, {"8", 8}, {"02", 2}, {"0", 1}, {"9", 1}, {"10", 1},
                 {"", 1},  {"2x", 1}, {"-2", 1}, {"2 3", 1}, {"4294967298", 1}};
    for (const auto& c : ports) EXPECT_EQ(parseSectionPort(c.value), c.port) << c.value;
    const struct {
        const char* value;
        uint32_t transport;
    } transports[] = {{"Mackie", kSectionTransportMackie}, {"mackie", kSectionTransportMackie},
                      {"HUI", kSectionTransportHui},       {"Hui", kSectionTransportHui},
                      {"", kSectionTransportNone},         {"MCU", kSectionTransportNone},
                      {"Mackie Control", kSectionTransportNone}, {"HUI2", kSectionTransportNone}};
    for (const auto& c : transports) EXPECT_EQ(parseSectionTransport(c.value), c.transport) << c.value;
}

// Identity= values: a maker of one byte or of 00 and two more, a family,
// and a member or none; and which replies each takes.
TEST(Maps, AnIdentityTakesTheRepliesOfItsMakerFamilyAndMember) {
    const char* const bad[] = {"",           "42",          "42 13",          "42 13 01 00",  "00 20 29",
                               "00 20 29 13", "42 13 01 00 00 00", "00 20 29 13 01 00", "80 13 01",
                               "4 13 01",     "42 13 0G",    "421301",         "42 13 01 00 00 00 00 00"};
    MapIdentity identity;
    for (const char* text : bad) {
        EXPECT_FALSE(mapIdentityFromText(text, &identity)) << text;
        EXPECT_EQ(identity.makerLength, 0u) << text;
    }
    const struct {
        const char* map;
        const char* reply;
        bool takes;
    } cases[] = {
        {"42 13 01 00 00", "42 13 01 00 00", true},
        {" 42  13 01 00 00 ", "42 13 01 00 00", true},
        {"42 13 01 00 00", "42 13 01 01 00", false},   // another member
        {"42 13 01 00 00", "42 13 02 00 00", false},   // another family
        {"42 13 01 00 00", "43 13 01 00 00", false},   // another maker
        {"47 28 00", "47 28 00 19 00", true},          // any member
        {"47 28 00", "47 4f 00 19 00", false},
        {"00 20 29 13 01", "00 20 29 13 01 00 00", true},
        {"00 20 29 13 01", "00 20 29 13 01 05 00", true},
        {"00 20 29 13 01", "00 20 29 03 01 00 00", false},
        {"00 20 29 13 01", "00 20 6B 13 01 00 00", false},
        {"00 20 29 13 01 00 00", "00 20 29 13 01 01 00", false},
    };
    for (const auto& c : cases) {
        MapIdentity map, reply;
        ASSERT_TRUE(mapIdentityFromText(c.map, &map) && mapIdentityFromText(c.reply, &reply)) << c.map;
        EXPECT_EQ(mapIdentityMatches(map, reply), c.takes) << c.map << " / " << c.reply;
    }
    MapIdentity none = {}, reply;
    ASSERT_TRUE(mapIdentityFromText("42 13 01 00 00", &reply));
    EXPECT_FALSE(mapIdentityMatches(none, reply)) << "a map without Identity takes no reply";
}

// With the shipped maps listed: a device whose name no Match takes is
// offered the map of its reply's identity, the user's own first; a name
// that fits wins over the reply. A map used keeps its Port, Transport and
// Identity, and leaves out the controller's own Unit.
TEST(Maps, ADeviceNoNameFitsIsOfferedTheMapOfItsIdentity) {
    fake::reset();
    const std::filesystem::path folder = NOTEWICK_SOURCE_DIR "/maps";
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path());
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        fake::setFile("C:\\Player\\Plugins\\Notewick Maps\\" + entry.path().filename().string(), text);
    }
    MapEntry maps[kMaxMaps];
    uint32_t count = listMaps(maps, kMaxMaps);
    ASSERT_EQ(count, sizeof kMaps / sizeof kMaps[0]);
    MapIdentity korg, other;
    ASSERT_TRUE(mapIdentityFromText("42 13 01 00 00", &korg) && mapIdentityFromText("42 13 02 00 00", &other));
    auto offered = [&](const char* name, const MapIdentity* reply) {
        int32_t at = findOfferedMap(maps, count, name, reply);
        return at < 0 ? std::string() : std::string(maps[at].name);
    };
    EXPECT_EQ(offered("USB MIDI Device", &korg), "Korg nanoKONTROL2");
    EXPECT_EQ(offered("", &korg), "Korg nanoKONTROL2");
    EXPECT_EQ(offered("USB MIDI Device", &other), "");
    EXPECT_EQ(offered("USB MIDI Device", nullptr), "");
    EXPECT_EQ(offered("APC mini mk2", &korg), "Akai APC mini mk2") << "the name first";

    const std::string own = std::string(fake::kUserDataFolder) + "\\Notewick\\Maps\\";
    fake::setFile(own + "Mine.ini", "[Notewick Controller]\r\nName=Mine\r\nMatch=Nothing Here\r\nIdentity=42 13 01\r\n"
                                    "Unit=2\r\nPort=3\r\nTransport=HUI\r\nNote 1 Channel 1=Stop\r\n");
    fake::setFile(own + "Blank.ini", "[Notewick Controller]\r\nName=Blank\r\nIdentity=\r\n");
    count = listMaps(maps, kMaxMaps);
    EXPECT_EQ(offered("USB MIDI Device", &korg), "Mine") << "the user's own first";
    EXPECT_EQ(offered("nanoKONTROL2", &other), "Korg nanoKONTROL2");
    int32_t mine = findOfferedMap(maps, count, "USB MIDI Device", &korg);
    ASSERT_GE(mine, 0);
    SectionText lines;
    char byHand[80];
    bool unlit = true;
    ASSERT_TRUE(readMap(maps[mine], &lines, byHand, sizeof byHand, &unlit));
    EXPECT_EQ(std::string(lines.text, lines.length),
              "Identity=42 13 01\r\nPort=3\r\nTransport=HUI\r\nNote 1 Channel 1=Stop\r\n");
    EXPECT_EQ(sectionPort(lines), 3u);
    EXPECT_EQ(sectionTransport(lines), kSectionTransportHui);
    freeSection(&lines);

    // Using a map replaces the lines a map brings, not the device's own.
    for (const char* line : {"Note 36 Channel 10=Stop", "Setup=B0 00 00", "Map=Mine", "Port=2", "transport = HUI",
                             "Identity="}) {
        EXPECT_TRUE(mapReplacesLine(line, line + strlen(line))) << line;
    }
    for (const char* line : {"Input=Pads", "Output=Pads", "Unit=2", "; Port=2", "Portal=2", ""}) {
        EXPECT_FALSE(mapReplacesLine(line, line + strlen(line))) << line;
    }
    fake::reset();
}

// An input and the outputs that are its own pair, and those that are not.
TEST(Maps, AnOutputPairsTheInputOfItsOwnNameOrNumber) {
    const struct {
        const char* input;
        const char* output;
        bool pairs;
    } cases[] = {
        {"APC mini mk2", "APC mini mk2", true},
        {"apc MINI mk2", "APC mini mk2", true},
        {"MIDIIN2 (LPMiniMK3 MIDI)", "MIDIOUT2 (LPMiniMK3 MIDI)", true},
        {"MIDIIN4 (LPMiniMK3 MIDI)", "MIDIOUT4 (LPMiniMK3 MIDI)", true},
        {"MIDIIN2 (LPMiniMK3 MIDI)", "MIDIOUT3 (LPMiniMK3 MIDI)", false},
        {"MIDIIN2 (LPMiniMK3 MIDI)", "LPMiniMK3 MIDI", false},
        {"LPMiniMK3 MIDI", "MIDIOUT2 (LPMiniMK3 MIDI)", false},
        {"MIDIIN2 (APC mini mk2)", "MIDIOUT2 (LPMiniMK3 MIDI)", false},
        {"Test MIDI In 1", "Test MIDI Out 1", true},
        {"Pad In", "Pad Out", true},
        {"Test MIDI In 1", "Test MIDI Out 2", false},
        {"Pad Inside", "Pad Outside", false},
        {"Twin", "Twout", false},
        {"MIDIIN (X)", "MIDIOUT (X)", false},
        {"Pads", "Pad Out", false},
        {"Pads", "", false},
    };
    for (const auto& c : cases) EXPECT_EQ(outputPairsInput(c.input, c.output), c.pairs) << c.input << " / " << c.output;
}

// What a typed map name becomes, and whether a map may have it.
TEST(Maps, ANameTypedIsTrimmedAndCheckedAsAFileName) {
    const std::string longest(kMapNameCapacity - 1, 'x'), tooLong(300, 'y');
    const struct {
        std::string typed;
        uint32_t check;
        std::string name;
    } cases[] = {
        {"My Pads", kMapNameFits, "My Pads"},
        {"  Korg nanoKONTROL2 \t", kMapNameFits, "Korg nanoKONTROL2"},
        {"", kMapNameEmpty, ""},
        {"   ", kMapNameEmpty, ""},
        {longest, kMapNameFits, longest},
        {" " + longest + " ", kMapNameFits, longest},
        {longest + "z", kMapNameTooLong, longest},
        {tooLong, kMapNameTooLong, std::string(kMapNameCapacity - 1, 'y')},
        {"CON", kMapNameReserved, "CON"},
        {"con", kMapNameReserved, "con"},
        {"Nul.pads", kMapNameReserved, "Nul.pads"},
        {"AUX .x", kMapNameReserved, "AUX .x"},
        {"COM1", kMapNameReserved, "COM1"},
        {"lpt9", kMapNameReserved, "lpt9"},
        {"COM0", kMapNameFits, "COM0"},
        {"COM10", kMapNameFits, "COM10"},
        {"CONSOLE", kMapNameFits, "CONSOLE"},
        {"My CON", kMapNameFits, "My CON"},
        {"PRN pads", kMapNameFits, "PRN pads"},
    };
    for (const auto& c : cases) {
        char name[kMapNameCapacity];
        EXPECT_EQ(checkMapName(c.typed.c_str(), name), c.check) << c.typed;
        EXPECT_EQ(name, c.name) << c.typed;
    }
}

}  // namespace
