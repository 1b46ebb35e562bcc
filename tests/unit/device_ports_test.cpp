// device_ports_test.cpp -- ports grouped into devices (by instance, by
// Windows' names with their 31-character cut), units told apart, and a
// device's identity from its reply to the Device Inquiry.
#include <cstdlib>
#include <string>
#include <vector>

#include "core/device_ports.h"
#include "core/units.h"
#include "midi/identity.h"
#include "tests/fake/fake_device_interface.h"
#include "tests/unit/test_support.h"

namespace {

typedef std::vector<std::string> Names;

// "LPMiniMK3 MIDI (2)[2,3|2,3]@2": each device's list text, its inputs and
// outputs by the system's numbers, and its unit.
std::string described(const DeviceList& list) {
    std::string text;
    for (uint32_t d = 0; d < list.count; ++d) {
        const PortDevice& device = list.devices[d];
        char part[kDeviceNameCapacity + 8], unit[kInstanceKeyCapacity];
        unitListText(&device, part, sizeof part);
        deviceUnitKey(&device, unit, sizeof unit);
        text += (d == 0 ? "" : "; ") + std::string(part);
        for (auto port : {deviceInputPort, deviceOutputPort}) {
            text += port == deviceInputPort ? "[" : "|";
            for (uint32_t p = 1; port(&device, p) >= 0; ++p) text += (p == 1 ? "" : ",") + std::to_string(port(&device, p));
        }
        text += "]@" + std::string(unit);
    }
    return text;
}

DeviceList grouped(const Names& inputs, const Names& inputPaths, const Names& outputs, const Names& outputPaths) {
    static PortListing in, out;
    static DeviceList list;
    in.count = out.count = 0;
    auto add = [](PortListing* to, const Names& names, const Names& paths) {
        for (size_t i = 0; i < names.size(); ++i) addListedPort(to, names[i].c_str(), i < paths.size() ? paths[i].c_str() : "");
    };
    add(&in, inputs, inputPaths);
    add(&out, outputs, outputPaths);
    groupDevices(&in, &out, &list);
    return list;
}

const char* const kLp = "LPMiniMK3 MIDI";
// A composite device's MIDI interface, unit A and unit B.
const std::string kUnitA = "\\\\?\\usb#vid_1235&pid_0113&mi_01#7&2d5a7b1&0&0001#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";
const std::string kUnitB = "\\\\?\\USB#VID_1235&PID_0113&MI_01#7&11aa22&0&0001#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";

TEST(DevicePorts, PortsGroupByInstanceElseByWindowsNamesForFurtherPorts) {
    const std::string a = "vid_1235&pid_0113#7&2d5a7b1&0", b = "vid_1235&pid_0113#7&11aa22&0";
    const struct {
        Names inputs, inputPaths, outputs, outputPaths;
        std::string devices;
    } rows[] = {
        // The name rule: a further port joins its first port; outputs pair in order; an output alone is no device.
        {{kLp, "MIDIIN2 (LPMiniMK3 MIDI)", "Keys"}, {}, {"GS Synth", kLp, "MIDIOUT2 (LPMiniMK3 MIDI)"}, {},
         "LPMiniMK3 MIDI[0,1|1,2]@1; Keys[2|]@1"},
        // Two units by name, numbered on as Windows does; the second is unit 2.
        {{kLp, "MIDIIN2 (LPMiniMK3 MIDI)", kLp, "MIDIIN4 (LPMiniMK3 MIDI)"}, {},
         {kLp, "MIDIOUT2 (LPMiniMK3 MIDI)", kLp, "MIDIOUT4 (LPMiniMK3 MIDI)"}, {},
         "LPMiniMK3 MIDI[0,1|0,1]@1; LPMiniMK3 MIDI (2)[2,3|2,3]@2"},
        // The 31-character cut: a cut further name joins the first port it begins; one not cut must match whole.
        {{"Arturia KeyLab Essential 88 mk3", "MIDIIN2 (Arturia KeyLab Essenti", "MIDIIN2 (Arturia KeyLab)",
          "MIDIIN3 (Arturia KeyLab Esse", "MIDIIN2 (Other)"},
         {}, {}, {},
         "Arturia KeyLab Essential 88 mk3[0,1|]@1; MIDIIN2 (Arturia KeyLab)[2|]@1; MIDIIN3 (Arturia KeyLab Esse[3|]@1; "
         "MIDIIN2 (Other)[4|]@1"},
        // Instances: two units interleaved, each with its own ports, any case of the path.
        {{kLp, kLp, "MIDIIN2 (LPMiniMK3 MIDI)", "MIDIIN4 (LPMiniMK3 MIDI)"}, {kUnitA, kUnitB, kUnitA, kUnitB},
         {kLp, kLp, "MIDIOUT2 (LPMiniMK3 MIDI)", "MIDIOUT4 (LPMiniMK3 MIDI)"}, {kUnitB, kUnitA, kUnitB, kUnitA},
         "LPMiniMK3 MIDI[0,2|1,3]@" + a + "; LPMiniMK3 MIDI (2)[1,3|0,2]@" + b},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(described(grouped(row.inputs, row.inputPaths, row.outputs, row.outputPaths)), row.devices)
            << row.inputs[0];
    }
}

TEST(DevicePorts, AnInstanceIsTheUsbDeviceAndAnyOtherPathItsDevicePart) {
    const struct {
        std::string path, key;
    } rows[] = {
        {"\\\\?\\usb#vid_2985&pid_0007#363534493233#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global",
         "vid_2985&pid_0007#363534493233"},
        {kUnitA, "vid_1235&pid_0113#7&2d5a7b1&0"},
        {"\\\\?\\ROOT#MEDIA#0000#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global", "root#media#0000"},
        {"", ""},
        {"no hash here", ""},
    };
    for (const auto& row : rows) {
        char key[kInstanceKeyCapacity];
        EXPECT_EQ(instanceKeyFromPath(row.path.c_str(), key, sizeof key), !row.key.empty());
        EXPECT_EQ(std::string(key), row.key) << row.path;
    }
}

// Sections find their units by instance or occurrence; a section without a
// unit takes the first one no other section holds.
TEST(DevicePorts, UnitsAreFoundByInstanceOrOccurrenceAndTheFreeOneIsTaken) {
    fake::reset();
    fake::setDevices({{kLp}, {"MIDIIN2 (LPMiniMK3 MIDI)"}, {kLp}, {"MIDIIN4 (LPMiniMK3 MIDI)"}});
    fake::setOutputs({{kLp}, {kLp}});
    fake::setInterfacePaths({kUnitA, kUnitA, kUnitB, kUnitB}, {kUnitB, kUnitA});
    static PortListing in, out;
    static DeviceList list;
    readSystemPorts(&in, &out);
    groupDevices(&in, &out, &list);
    EXPECT_EQ(described(list), "LPMiniMK3 MIDI[0,1|1]@vid_1235&pid_0113#7&2d5a7b1&0; "
                               "LPMiniMK3 MIDI (2)[2,3|0]@vid_1235&pid_0113#7&11aa22&0");
    EXPECT_EQ(findUnit(&list, kLp, "VID_1235&PID_0113#7&11AA22&0"), 1);
    EXPECT_EQ(findUnit(&list, "Renamed", "vid_1235&pid_0113#7&11aa22&0"), 1);
    EXPECT_EQ(findUnit(&list, kLp, "2"), 1);
    EXPECT_EQ(findUnit(&list, kLp, ""), 0);
    EXPECT_EQ(findUnit(&list, kLp, "3"), -1);
    EXPECT_EQ(firstFreeUnit(&list, kLp, 0), 0);
    EXPECT_EQ(firstFreeUnit(&list, kLp, 1), 1);
    EXPECT_EQ(firstFreeUnit(&list, kLp, 3), -1);
    // Sections claim units: Unit lines first, never one device twice, the
    // configured device's held before all; a Unit no device has holds none.
    const struct {
        int32_t configured;
        std::vector<UnitClaim> claims;
        std::vector<int32_t> held;
    } claimRows[] = {
        {-1, {{kLp, "2"}, {kLp, "2"}}, {1, -1}},
        {-1, {{kLp, ""}, {kLp, "VID_1235&PID_0113#7&11AA22&0"}}, {0, 1}},
        {0, {{kLp, ""}, {kLp, ""}}, {1, -1}},
        {3, {{kLp, "2"}, {kLp, ""}}, {-1, 0}},
        {-1, {{kLp, "abc"}, {kLp, "99999"}, {kLp, "-1"}, {"", ""}}, {-1, -1, -1, -1}},
    };
    for (const auto& row : claimRows) {
        std::vector<int32_t> held(row.claims.size());
        claimUnits(&list, row.configured, row.claims.data(), static_cast<uint32_t>(row.claims.size()), held.data());
        EXPECT_EQ(held, row.held) << row.configured << " " << row.claims[0].unit;
    }
    // A driver that answers nothing: the names group them, and outputs pair by order.
    fake::failInterfaceQueries(true);
    readSystemPorts(&in, &out);
    groupDevices(&in, &out, &list);
    EXPECT_EQ(described(list), "LPMiniMK3 MIDI[0,1|0]@1; LPMiniMK3 MIDI (2)[2,3|1]@2");
    fake::reset();
}

// ---- Identity ------------------------------------------------------------------------------

typedef std::vector<uint8_t> Bytes;

// Bytes written in hex, "F0 7E ...".
Bytes hex(const char* text) {
    Bytes bytes;
    for (char* end; *text != '\0'; text = end) bytes.push_back(static_cast<uint8_t>(strtoul(text, &end, 16)));
    return bytes;
}
const Bytes kKorg = hex("F0 7E 00 06 02 42 13 01 00 00 01 00 00 00 F7");

TEST(Identity, RepliesAreReadWithAnyMakerAndExtraBytesAndAnythingElseIsNone) {
    const struct {
        Bytes reply;
        std::string words;
    } rows[] = {
        {kKorg, "Identity: Korg, family 13 01"},
        {hex("F0 7E 7F 06 02 00 20 29 03 01 00 00 00 04 02 02 F7"), "Identity: Novation, family 03 01"},
        {hex("F0 7E 00 06 02 47 5D 00 19 00 01 00 04 00 31 32 33 F7"), "Identity: Akai, family 5D 00"},
        {hex("F0 7E 00 06 02 00 21 09 02 00 08 00 00 00 00 00 F7"), "Identity: maker 00 21 09, family 02 00"},
        {hex("F0 7E 00 06 02 00 20 29 03 01 00 00 00 04 02 F7"), ""},  // short
        {hex("F0 7E 00 06 02 42 13 01 00 00 01 00 00 00 00"), ""},     // no F7
        {hex("F0 7E 00 06 02 42 93 01 00 00 01 00 00 00 F7"), ""},
        {hex("F0 7E 00 06 01 42 13 01 00 00 01 00 00 00 F7"), ""},     // an inquiry
    };
    for (const auto& row : rows) {
        DeviceIdentity identity;
        char words[64] = "";
        if (parseIdentityReply(row.reply.data(), static_cast<uint32_t>(row.reply.size()), &identity)) {
            describeIdentity(identity, words, sizeof words);
        }
        EXPECT_EQ(std::string(words), row.words);
    }
}

// Asked once per open of the output, the answer taken within the second only.
TEST(Identity, EachOpenAsksOnceAndOnlyAReplyWithinTheSecondCounts) {
    resetInquiries();
    EXPECT_FALSE(startInquiry(2, false, 0));  // Identity= with nothing
    EXPECT_FALSE(takeIdentityReply(2, kKorg.data(), 15, 10));
    EXPECT_TRUE(startInquiry(1, true, 100));
    EXPECT_FALSE(startInquiry(1, true, 200));
    EXPECT_EQ(inquiryState(1, 1099), kInquiryWaiting);
    EXPECT_TRUE(takeIdentityReply(1, kKorg.data(), 15, 1099));
    EXPECT_FALSE(takeIdentityReply(1, kKorg.data(), 15, 1099));  // one answer per inquiry
    DeviceIdentity identity;
    EXPECT_TRUE(deviceIdentity(1, &identity) && identity.maker[0] == 0x42 && identity.family[0] == 0x13);
    endInquiry(1);
    EXPECT_FALSE(deviceIdentity(1, &identity));
    EXPECT_TRUE(startInquiry(1, true, 5000));
    EXPECT_FALSE(takeIdentityReply(1, kKorg.data(), 15, 6000));
    EXPECT_EQ(inquiryState(1, 6000), kInquiryUnanswered);
    EXPECT_FALSE(startInquiry(1, true, 7000));
    resetInquiries();
}

}  // namespace
