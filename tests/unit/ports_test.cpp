// ports_test.cpp -- opening, closing and naming MIDI input ports.
#include <cstring>
#include <string>

#include "midi/mailbox.h"
#include "midi/ports.h"
#include "tests/unit/test_support.h"

namespace {

class PortsTest : public PluginTest {};

typedef std::vector<std::string> Calls;

TEST_F(PortsTest, OpenStartsInputAndCloseStopsThenCloses) {
    fake::setDevices({{"A"}, {"B"}});
    InputPort port = openInputPort(1, mainDataHandler, 0);
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(closeInputPort(port));
    EXPECT_EQ(fake::midiCalls(), (Calls{"open 1", "start 1", "stop 1", "close 1"}));
    EXPECT_EQ(fake::openPorts(), 0u);
}

TEST_F(PortsTest, AFailedStartClosesTheHandleSoNoDeviceStaysOpen) {
    fake::setDevices({{"A"}});
    fake::device(0).startResult = 6;  // MMSYSERR_NODRIVER
    EXPECT_EQ(openInputPort(0, mainDataHandler, 0), nullptr);
    EXPECT_EQ(fake::midiCalls(), (Calls{"open 0", "start 0", "close 0"}));
    EXPECT_EQ(fake::openPorts(), 0u);
}

TEST_F(PortsTest, AFailedOpenYieldsNoPort) {
    fake::setDevices({{"A"}});
    fake::device(0).openResult = 4;  // MMSYSERR_ALLOCATED
    EXPECT_EQ(openInputPort(0, mainDataHandler, 0), nullptr);
    EXPECT_EQ(openInputPort(7, mainDataHandler, 0), nullptr);  // no such device
    EXPECT_EQ(fake::midiCalls(), (Calls{"open 0", "open 7"}));
}

// A device that has gone will not stop; its port is closed all the same, or
// the driver could call into the module after the host unloaded it.
TEST_F(PortsTest, AFailedStopStillClosesThePortAndEitherFailureIsReported) {
    fake::setDevices({{"A"}});
    InputPort port = openInputPort(0, mainDataHandler, 0);
    fake::device(0).stopResult = 6;
    bool closed = false;
    EXPECT_FALSE(closeInputPort(port, &closed));
    EXPECT_TRUE(closed);
    EXPECT_EQ(fake::midiCalls().back(), "close 0");
    EXPECT_EQ(fake::openPorts(), 0u);
    port = openInputPort(0, mainDataHandler, 0);
    fake::device(0).stopResult = 0;
    fake::device(0).closeResult = 6;
    EXPECT_FALSE(closeInputPort(port, &closed));
    EXPECT_FALSE(closed);
    EXPECT_EQ(fake::openPorts(), 1u);
}

TEST_F(PortsTest, ClosingANullPortFailsWithoutTouchingTheSystem) {
    EXPECT_FALSE(closeInputPort(nullptr));
    EXPECT_TRUE(fake::midiCalls().empty());
}

TEST_F(PortsTest, DeviceNamesAreAtMost31CharactersAndEmptyWhenUnreadable) {
    fake::setDevices({{"USB Keys"}, {std::string(40, 'x')}, {std::string(31, 'y')}, {"Gone"}});
    fake::device(3).nameReadable = false;
    char name[kDeviceNameCapacity];
    deviceName(0, name);
    EXPECT_STREQ(name, "USB Keys");
    deviceName(1, name);
    EXPECT_EQ(std::string(name), std::string(31, 'x'));
    deviceName(2, name);
    EXPECT_EQ(std::string(name), std::string(31, 'y'));
    std::memset(name, 'z', sizeof name);
    deviceName(3, name);
    EXPECT_STREQ(name, "");
    deviceName(9, name);
    EXPECT_STREQ(name, "");
}

// Which device a stored name and index find, however Windows numbered the
// inputs this time. An empty entry is a device whose name cannot be read.
TEST_F(PortsTest, ANameFindsItsDeviceWhereverTheInputsAreNumbered) {
    const struct {
        std::vector<std::string> names;
        const char* name;
        int32_t stored;
        int32_t found;
        const char* what;
    } cases[] = {
        {{"Keys", "Pads", "Piano"}, "Pads", 1, 1, "at the stored index"},
        {{"Pads", "Keys", "Piano"}, "Piano", 0, 2, "moved to another index"},
        {{"Keys", "Pads"}, "Piano", 1, -1, "absent, with another device at the stored index"},
        {{"Pads", "Pads", "Pads"}, "Pads", 2, 2, "several of that name: the stored index wins"},
        {{"Keys", "Pads", "Pads"}, "Pads", 0, 1, "several, none at the stored index: the first"},
        {{"Keys", "", "Pads"}, "", 1, -1, "an empty name finds nothing, an unreadable device neither"},
        {{"Keys", "Pads"}, "Pads", 7, 1, "a stored index beyond the list"},
        {{"Keys", "Pads"}, "Pads", -1, 1, "no stored index"},
        {{"Keys", "Pads"}, "pads", 1, -1, "names match exactly"},
        {{}, "Pads", 0, -1, "no devices"},
    };
    for (const auto& c : cases) {
        std::vector<fake::Device> devices;
        for (const std::string& name : c.names) {
            fake::Device d;
            d.name = name;
            d.nameReadable = !name.empty();
            devices.push_back(d);
        }
        fake::setDevices(devices);
        EXPECT_EQ(findInputDevice(c.name, c.stored), c.found) << c.what;
    }
}

}  // namespace
