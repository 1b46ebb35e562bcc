// mailbox_test.cpp -- the main data handler and taking from the mailbox.
#include <chrono>
#include <thread>

#include "midi/dispatch.h"
#include "midi/mailbox.h"
#include "midi/window.h"
#include "platform/platform.h"
#include "tests/unit/test_support.h"

namespace {

class MailboxTest : public PluginTest {};

void handle(unsigned int driverMessage, uint32_t param1) {
    mainDataHandler(nullptr, driverMessage, 0, param1, 12345);
}

TEST_F(MailboxTest, TakingGivesTheLatestMessageOnceAndEmptiesTheSlot) {
    handle(kMidiInData, noteOn(0, 60, 1));
    handle(kMidiInData, noteOn(0, 62, 1));
    handle(kMidiInData, noteOn(0, 64, 1));
    EXPECT_EQ(takeMessage(), noteOn(0, 64, 1));
    EXPECT_EQ(takeMessage(), 0u);
}

TEST_F(MailboxTest, NonDataNotificationsNeitherStoreNorWake) {
    fake::setTick(1000);
    EventRef wake = platformCreateEvent();
    messageMailbox.wakeEvent.store(wake);
    handle(kMidiInData, noteOn(0, 60, 1));
    platformWaitEvent(wake);  // the data message signalled
    for (unsigned int code : {0x3C1u /* open */, 0x3C2u /* close */, 0x3C4u /* long data */, 0x3C5u /* error */}) {
        handle(code, noteOn(0, 72, 1));
    }
    EXPECT_EQ(takeMessage(), noteOn(0, 60, 1));
    // Nothing signalled since the wait: a data message now must be the only wake.
    handle(kMidiInData, noteOn(0, 61, 1));
    platformWaitEvent(wake);
    EXPECT_EQ(takeMessage(), noteOn(0, 61, 1));
}

TEST_F(MailboxTest, AMessageTheWindowWouldDropIsStoredWithoutWakingTheWaitingWorker) {
    EventRef wake = platformCreateEvent();
    messageMailbox.wakeEvent.store(wake);
    dispatchMessage(noteOn(0, 60, 90), 1000);  // accepted at 1000
    fake::setTick(1049);
    handle(kMidiInData, noteOn(0, 64, 90));
    EXPECT_FALSE(fake::isSignalled(wake));
    EXPECT_EQ(messageMailbox.latestMessage[0].load(), noteOn(0, 64, 90));
    fake::setTick(1050);
    handle(kMidiInData, noteOn(0, 65, 90));
    EXPECT_TRUE(fake::isSignalled(wake));
    EXPECT_EQ(takeMessage(), noteOn(0, 65, 90));
}

// Clock and active sensing, which many instruments send several times a
// second, and the pressure of a pad held down, neither replace a key press
// in the slot nor restart the window.
TEST_F(MailboxTest, SystemAndPressureMessagesNeverCostAKeyPress) {
    EventRef wake = platformCreateEvent();
    messageMailbox.wakeEvent.store(wake);
    dispatchMessage(noteOn(0, 60, 90), 1000);
    fake::setTick(1060);
    handle(kMidiInData, noteOn(0, 64, 90));
    const uint32_t ignored[] = {0xF8u, 0xFEu, 0xFAu, 0xF0u, 0xFFu, 0xA9u | (36u << 8) | (70u << 16), 0xD0u | (70u << 8)};
    for (uint32_t message : ignored) handle(kMidiInData, message);
    EXPECT_EQ(takeMessage(), noteOn(0, 64, 90));
    fake::setTick(1070);
    for (uint32_t message : ignored) handle(kMidiInData, message);
    EXPECT_EQ(takeMessage(), 0u);
    EXPECT_TRUE(dispatchMessage(noteOn(0, 65, 90), 1080)) << "the clock did not restart the window";
}

// A release never replaces a press the worker was woken for and has not
// read (it may be waiting on a busy player); it replaces anything else.
TEST_F(MailboxTest, AReleaseNeverReplacesAPressTheWorkerWasWokenFor) {
    messageMailbox.wakeEvent.store(platformCreateEvent());
    const struct {
        bool busy;
        uint32_t after;  // ms after the last accepted message
        uint32_t first, second, taken;
    } cases[] = {
        {true, 10, noteOn(0, 64, 90), noteOff(0, 64), noteOn(0, 64, 90)},
        {true, 10, noteOn(0, 64, 90), noteOn(0, 67, 0), noteOn(0, 64, 90)},
        {false, 100, noteOn(0, 64, 90), noteOff(0, 60), noteOn(0, 64, 90)},
        {true, 10, noteOn(0, 64, 90), noteOn(0, 67, 90), noteOn(0, 67, 90)},
        {true, 10, controller(0, 20, 127), controller(0, 20, 0), controller(0, 20, 0)},
        {true, 10, noteOff(0, 64), noteOn(0, 64, 90), noteOn(0, 64, 90)},
        // A press the window dropped woke nobody: nothing waits for it.
        {false, 10, noteOn(0, 64, 90), noteOff(0, 64), noteOff(0, 64)},
    };
    uint32_t tick = 10000;
    for (const auto& c : cases) {
        dispatchMessage(noteOn(0, 60, 90), tick);
        fake::setTick(tick + c.after);
        setWorkerBusy(c.busy);
        handle(kMidiInData, c.first);
        handle(kMidiInData, c.second);
        EXPECT_EQ(takeMessage(), c.taken) << std::hex << c.first << " " << c.second;
        tick += 1000;
    }
}

// Init opens the main port before it makes the wake event: a key arriving in
// between is stored, but the worker init then starts does not act on it until
// another message signals.
TEST_F(MailboxTest, AMessageBeforeTheEventExistsIsStoredAndWakesNobody) {
    fake::setDevices({{"Keys"}});
    fake::setProfile(kIni, "Notewick", "MIDIDevice", "0");
    fake::setTick(1000);
    ASSERT_EQ(messageMailbox.wakeEvent.load(), nullptr);
    handle(kMidiInData, noteOn(0, 64, 90));  // E: Pause
    pluginRecord.initProc();
    EventRef wake = messageMailbox.wakeEvent.load();
    ASSERT_NE(wake, nullptr);
    EXPECT_FALSE(fake::isSignalled(wake));
    EXPECT_EQ(messageMailbox.latestMessage[0].load(), noteOn(0, 64, 90));
    for (int i = 0; i < 20 && fake::waits() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(fake::sends().empty());
    pluginRecord.quitProc();
    EXPECT_TRUE(fake::sends().empty());
}

}  // namespace
