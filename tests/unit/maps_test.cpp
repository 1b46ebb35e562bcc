// maps_test.cpp -- the ready-made controller maps in maps/: each has the
// header lines the user is shown, one [Notewick Controller] section whose
// every binding line the plug-in's own reader uses, Setup bytes that are whole
// MIDI messages, Match words that take the ports the controller shows and no
// other controller's, and Port, Transport and Identity lines that parse; and
// the map offered by a device's Device Inquiry reply when no name fits.
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
    std::vector<const char*> ports;      // port names the controller shows: Match= takes each
    std::vector<const char*> notPorts;   // its other ports, which Match= must leave
    uint32_t port = 1;                   // Port=
    uint32_t transport = kSectionTransportNone;
    const char* identity = "";           // Identity=, as maker, family and member bytes
};

const MapCase kMaps[] = {
    {"Akai APC mini mk1", {"APC MINI"}, {}},
    {"Akai LPD8 mk2", {"LPD8 mk2"}, {"LPD8"}},
    {"Behringer X-Touch One", {"X-Touch One"}, {}, 1, kSectionTransportMackie},
    {"Hercules DJControl Inpulse 200", {"DJControl Inpulse 200"}, {}},
    {"Hercules DJControl Inpulse 300", {"DJControl Inpulse 300"}, {}},
    {"Novation Launchkey Mini MK3", {"Launchkey Mini MK3 MIDI"},
     {"MIDIIN2 (Launchkey Mini MK3 MIDI)", "MIDIOUT2 (Launchkey Mini MK3 MIDI)", "Launchkey Mini MK4 MIDI"}, 2},
    {"Akai APC mini mk2", {"APC mini mk2"}, {"MIDIIN2 (APC mini mk2)", "MIDIOUT2 (APC mini mk2)"}},
    {"Behringer X-Touch Mini", {"X-TOUCH MINI"}, {}},
    {"DJ TechTools Midi Fighter Twister", {"Midi Fighter Twister"}, {}},
    {"Hercules DJControl Starlight", {"DJControl Starlight"}, {}},
    {"Korg nanoKONTROL2", {"nanoKONTROL2 1 SLIDER/KNOB", "nanoKONTROL2 1 CTRL", "nanoKONTROL2"}, {}, 1,
     kSectionTransportNone, "42 13 01 00 00"},
    {"Novation Launchpad Mini", {"Launchpad Mini"}, {}},
    // On Windows its first port, named as the device, is the DAW port; the
    // map reads the MIDI port, the second.
    {"Novation Launchpad Mini MK3", {"LPMiniMK3 MIDI"},
     {"MIDIIN2 (LPMiniMK3 MIDI)", "MIDIOUT2 (LPMiniMK3 MIDI)", "MIDIIN4 (LPMiniMK3 MIDI)"}, 2},
    {"Numark DJ2GO2 Touch", {"DJ2GO2 Touch"}, {}},
    {"Pioneer DDJ-200", {"DDJ-200"}, {}},
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
                for (const char* own : {"Input=", "Unit=", "Map="}) EXPECT_FALSE(startsWith(line, own)) << line;
                settings += line + "\n";
            } else {
                bindings.push_back(line);
            }
        }
        // Port, Transport and Identity as the plug-in reads them.
        SectionText read = {&settings[0], static_cast<uint32_t>(settings.size()), 0};
        EXPECT_EQ(sectionPort(read), map.port);
        EXPECT_EQ(sectionTransport(read), map.transport);
        char identity[48];
        MapIdentity parsed, expected;
        EXPECT_EQ(sectionValue(read, "Identity", identity, sizeof identity), map.identity[0] != '\0');
        EXPECT_EQ(mapIdentityFromText(identity, &parsed), mapIdentityFromText(map.identity, &expected)) << identity;
        EXPECT_TRUE(mapIdentityMatches(parsed, expected) || map.identity[0] == '\0') << identity;
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
                for (const char* port : *names) EXPECT_FALSE(matchesPortName(match.c_str(), port)) << port;
            }
        }
    }
}

// Port= is 1 unless 1-8; Transport= none unless Mackie or HUI.
TEST(Maps, PortAndTransportValuesParseOrFallBack) {
    for (const char* one : {"1", "0", "9", "", "2x", "-2", "4294967298"}) EXPECT_EQ(parseSectionPort(one), 1u) << one;
    EXPECT_EQ(parseSectionPort("8"), 8u);  // 2 and Mackie: the maps above
    EXPECT_EQ(parseSectionTransport("hui"), kSectionTransportHui);
    for (const char* none : {"", "MCU", "Mackie Control"}) EXPECT_EQ(parseSectionTransport(none), 0u) << none;
}

// Identity=: a maker of one byte or of 00 and two more, a family, and a
// member or none (any member); the replies each takes.
TEST(Maps, AnIdentityTakesTheRepliesOfItsMakerFamilyAndMember) {
    MapIdentity map, reply;
    for (const char* bad :
         {"", "42 13", "42 13 01 00", "00 20 29 13", "42 13 01 00 00 00", "80 13 01", "4 13 01", "421301"}) {
        EXPECT_FALSE(mapIdentityFromText(bad, &map)) << bad;
        EXPECT_FALSE(mapIdentityMatches(map, map)) << bad;
    }
    // Map, reply: the first two of each row take it, the other two do not.
    const char* const cases[][4] = {
        {"42 13 01 00 00", "42 13 01 00 00", "42 13 01 01 00", "43 13 01 00 00"},
        {"00 20 29 13 01", "00 20 29 13 01 05 00", "00 20 29 03 01 00 00", "00 20 6B 13 01 00 00"},
        {"47 28 00", "47 28 00 19 00", "47 4F 00 19 00", "00 47 28 28 00 19 00"},
    };
    for (const auto& c : cases) {
        for (int i = 1; i < 4; ++i) {
            ASSERT_TRUE(mapIdentityFromText(c[0], &map) && mapIdentityFromText(c[i], &reply)) << c[i];
            EXPECT_EQ(mapIdentityMatches(map, reply), i == 1) << c[0] << " / " << c[i];
        }
    }
}

// With the shipped maps listed, a device no Match takes is offered the map
// of its reply's identity, the user's own first; a name that fits wins. A
// map read keeps Port, Transport and Identity and leaves out Unit.
TEST(Maps, ADeviceNoNameFitsIsOfferedTheMapOfItsIdentity) {
    fake::reset();
    const std::string own = std::string(fake::kUserDataFolder) + "\\Notewick\\Maps\\Mine.ini";
    for (const auto& entry : std::filesystem::directory_iterator(NOTEWICK_SOURCE_DIR "/maps")) {
        std::ifstream in(entry.path());
        fake::setFile("C:\\Player\\Plugins\\Notewick Maps\\" + entry.path().filename().string(),
                      std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    MapEntry maps[kMaxMaps];
    uint32_t count = listMaps(maps, kMaxMaps);
    MapIdentity korg;
    ASSERT_TRUE(mapIdentityFromText("42 13 01 00 00", &korg));
    auto offered = [&](const char* name, const MapIdentity* reply) {
        int32_t at = findOfferedMap(maps, count, name, reply);
        return at < 0 ? std::string() : std::string(maps[at].name);
    };
    EXPECT_EQ(offered("USB MIDI Device", &korg), "Korg nanoKONTROL2");
    EXPECT_EQ(offered("USB MIDI Device", nullptr), "");
    EXPECT_EQ(offered("APC mini mk2", &korg), "Akai APC mini mk2") << "the name first";
    fake::setFile(own, "[Notewick Controller]\r\nName=Mine\r\nIdentity=42 13 01\r\nUnit=2\r\nPort=3\r\n"
                       "Transport=HUI\r\n");
    count = listMaps(maps, kMaxMaps);
    EXPECT_EQ(offered("USB MIDI Device", &korg), "Mine") << "the user's own first";
    SectionText lines;
    char byHand[80];
    bool unlit = true;
    ASSERT_TRUE(readMap(maps[findOfferedMap(maps, count, "", &korg)], &lines, byHand, sizeof byHand, &unlit));
    EXPECT_EQ(std::string(lines.text, lines.length), "Identity=42 13 01\r\nPort=3\r\nTransport=HUI\r\n");
    freeSection(&lines);
    // Another map used replaces these, and keeps the device's own lines.
    for (std::string line : {"Port=2", "transport = HUI", "Identity=", "Setup=B0", "Note 1 Channel 1=Stop", "Unit=2"}) {
        EXPECT_EQ(mapReplacesLine(line.data(), line.data() + line.size()), line != "Unit=2") << line;
    }
    fake::reset();
}

// An input and the outputs that are its own pair, and those that are not.
TEST(Maps, AnOutputPairsTheInputOfItsOwnNameOrNumber) {
    const struct { const char *input, *output; bool pairs; } cases[] = {
        {"APC mini mk2", "APC mini mk2", true}, {"apc MINI mk2", "APC mini mk2", true},
        {"MIDIIN2 (LPMiniMK3 MIDI)", "MIDIOUT2 (LPMiniMK3 MIDI)", true},
        {"MIDIIN4 (LPMiniMK3 MIDI)", "MIDIOUT4 (LPMiniMK3 MIDI)", true},
        {"MIDIIN2 (LPMiniMK3 MIDI)", "MIDIOUT3 (LPMiniMK3 MIDI)", false},
        {"MIDIIN2 (LPMiniMK3 MIDI)", "LPMiniMK3 MIDI", false}, {"LPMiniMK3 MIDI", "MIDIOUT2 (LPMiniMK3 MIDI)", false},
        {"MIDIIN2 (APC mini mk2)", "MIDIOUT2 (LPMiniMK3 MIDI)", false},
        {"Test MIDI In 1", "Test MIDI Out 1", true}, {"Pad In", "Pad Out", true},
        {"Test MIDI In 1", "Test MIDI Out 2", false}, {"Pad Inside", "Pad Outside", false}, {"Twin", "Twout", false},
        {"MIDIIN (X)", "MIDIOUT (X)", false}, {"Pads", "Pad Out", false}, {"Pads", "", false},
    };
    for (const auto& c : cases) EXPECT_EQ(outputPairsInput(c.input, c.output), c.pairs) << c.input << " / " << c.output;
}

// What a typed map name becomes, and whether a map may have it.
TEST(Maps, ANameTypedIsTrimmedAndCheckedAsAFileName) {
    auto expect = [](const std::string& typed, uint32_t check, const std::string& name) {
        char kept[kMapNameCapacity];
        EXPECT_EQ(checkMapName(typed.c_str(), kept), check) << typed;
        EXPECT_EQ(kept, name) << typed;
    };
    const std::string longest(kMapNameCapacity - 1, 'x');
    expect("  Korg nanoKONTROL2 \t", kMapNameFits, "Korg nanoKONTROL2");
    expect("", kMapNameEmpty, "");
    expect("   ", kMapNameEmpty, "");
    expect(longest, kMapNameFits, longest);
    expect(" " + longest + " ", kMapNameFits, longest);
    expect(longest + "z", kMapNameTooLong, longest);
    expect(std::string(300, 'y'), kMapNameTooLong, std::string(kMapNameCapacity - 1, 'y'));
    // Windows' device names, in any case and with any extension, and not the names that only begin with one.
    for (const char* reserved : {"CON", "con", "Nul.pads", "AUX .x", "COM1", "lpt9"}) expect(reserved, kMapNameReserved, reserved);
    for (const char* fits : {"My Pads", "COM0", "COM10", "CONSOLE", "My CON", "PRN pads"}) expect(fits, kMapNameFits, fits);
}

}  // namespace
