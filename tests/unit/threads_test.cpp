// threads_test.cpp -- the mailbox and the worker on real threads; built with
// ThreadSanitizer, so a data race fails the run as well as a wrong count.
#include <atomic>
#include <chrono>
#include <thread>

#include "core/main_port.h"
#include "midi/bindings.h"
#include "midi/lights.h"
#include "midi/mailbox.h"
#include "midi/ports.h"
#include "tests/unit/test_support.h"

namespace {

// A send that blocks until the test opens the gate, to hold the worker inside
// a synchronous send to the host.
std::atomic<bool> gateOpen{true};
std::atomic<int> sendsEntered{0};
void gatedSend(const fake::Send&) {
    sendsEntered.fetch_add(1);
    while (!gateOpen.load()) std::this_thread::sleep_for(std::chrono::microseconds(200));
}

class WorkerThreadTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        gateOpen.store(true);
        sendsEntered.store(0);
        fake::setDevices({{"Keys"}});
        fake::setProfile(kIni, "Notewick", "MIDIDevice", "0");
        fake::setTick(1000);
        fake::setOnSend(gatedSend);
        pluginRecord.initProc();
    }
    void TearDown() override {
        gateOpen.store(true);
        PluginTest::TearDown();
    }
    static void waitFor(int entered) {
        for (int i = 0; i < 2000 && sendsEntered.load() < entered; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }
    static size_t countOf(uint32_t id) {
        size_t n = 0;
        for (const fake::Send& s : fake::sends()) n += s == fake::command(id) ? 1 : 0;
        return n;
    }
};

TEST_F(WorkerThreadTest, ThreeMessagesBeforeAWakeGiveOnlyTheThirdOnce) {
    gateOpen.store(false);
    fake::deliverData(0, noteOn(0, 64, 90));  // Pause; the worker blocks in its send
    waitFor(1);
    fake::setTick(2000);
    fake::deliverData(0, noteOn(0, 60, 90));  // Previous
    fake::deliverData(0, noteOn(0, 67, 90));  // Next
    fake::deliverData(0, noteOn(0, 65, 90));  // Stop
    gateOpen.store(true);
    waitFor(2);
    settle();
    EXPECT_EQ(fake::sends(), (std::vector<fake::Send>{fake::command(CmdPause), fake::command(CmdStop)}));
    pluginRecord.quitProc();
}

TEST_F(WorkerThreadTest, AMessageArrivingDuringASlowSendIsActedOnAtMostOnce) {
    gateOpen.store(false);
    fake::deliverData(0, noteOn(0, 69, 90));  // A: four volume-down sends
    waitFor(1);
    fake::setTick(1200);                      // the sends took longer than the window
    fake::deliverData(0, noteOn(0, 69, 90));  // A again, during the first send
    gateOpen.store(true);
    waitFor(8);
    settle();
    fake::setTick(1400);  // even a late extra wake-up would pass the window now
    settle();
    EXPECT_EQ(countOf(CmdVolumeDown), 8u);
    pluginRecord.quitProc();
    EXPECT_EQ(countOf(CmdVolumeDown), 8u);
}

// A key that comes inside the window while the worker is busy in a slow send
// is still read once the send is done, and acted on if the window has passed
// by then: the data handler must wake a busy worker whatever the window says.
TEST_F(WorkerThreadTest, AKeyInsideTheWindowDuringASlowSendIsActedOnAfterIt) {
    gateOpen.store(false);
    fake::deliverData(0, noteOn(0, 69, 90));  // A at 1000: blocks in its first send
    waitFor(1);
    fake::setTick(1010);
    fake::deliverData(0, noteOn(0, 64, 90));  // E, 10 ms after the accepted A
    fake::setTick(1200);
    gateOpen.store(true);
    waitFor(5);
    settle();
    EXPECT_EQ(countOf(CmdVolumeDown), 4u);
    EXPECT_EQ(countOf(CmdPause), 1u);
    pluginRecord.quitProc();
}

// A wait that fails ends the worker instead of spinning on it.
TEST_F(WorkerThreadTest, AFailedWaitEndsTheWorker) {
    pluginRecord.quitProc();  // the worker SetUp started
    resetPluginState();
    pluginRecord.hostWindow = reinterpret_cast<WindowRef>(0x1234);
    fake::failWaits(true);
    uint32_t waitsBefore = fake::waits();
    pluginRecord.initProc();
    for (int i = 0; i < 200 && fake::threadsRunning() != 0; ++i) settle();
    EXPECT_EQ(fake::threadsRunning(), 0u);
    EXPECT_EQ(fake::waits() - waitsBefore, 1u);
    pluginRecord.quitProc();
    EXPECT_TRUE(fake::sends().empty());
}

// A key arriving between the worker's wake-up and its read: the worker reads
// that key, and the key's own signal wakes it once more afterwards.
std::atomic<bool> deliverOnWake{false};
void keyBetweenWakeAndRead() {
    if (!deliverOnWake.exchange(false)) return;
    fake::setTick(2000);
    fake::deliverData(0, noteOn(0, 64, 90));  // E: Pause
}
void slowSend(const fake::Send&) { fake::setTick(2100); }  // each send takes 100 ms

TEST_F(WorkerThreadTest, AKeyStoredBetweenWakeUpAndReadIsActedOnOnceEvenAfterASlowSend) {
    fake::setOnSend(slowSend);
    fake::setOnWake(keyBetweenWakeAndRead);
    deliverOnWake.store(true);
    fake::deliverData(0, noteOff(0, 60));  // wakes the worker
    settle();
    settle();
    EXPECT_EQ(countOf(CmdPause), 1u);
    fake::setOnWake(nullptr);
    pluginRecord.quitProc();
    EXPECT_EQ(countOf(CmdPause), 1u);
}

// With a lights output open the worker reads the player on its own; a quick
// press and its release 100 ms later, made while that read waits on a busy
// player, act once the player is free, as they do without an output.
TEST_F(WorkerThreadTest, AQuickPressWhileThePlayerIsBusyActsWithALightsOutputOpen) {
    const Binding lit = {BindingSource{kSourceNote, 36, 9}, kActionPlayPause};
    publishBindings(&lit, 1);
    fake::setOutputs({{"Pad Out"}});
    gateOpen.store(false);
    attachLightsPort(openOutputPort(0));
    waitFor(1);  // the worker reads the player for the lights, and waits on it
    fake::setTick(2000);
    fake::deliverData(0, noteOn(0, 64, 90));  // E: Pause
    fake::setTick(2100);
    fake::deliverData(0, noteOff(0, 64));
    gateOpen.store(true);
    settle();
    settle();
    EXPECT_EQ(countOf(CmdPause), 1u);
    closeOutputPort(detachLightsPort());
    pluginRecord.quitProc();
}

TEST_F(WorkerThreadTest, QuitDuringASlowSendEndsTheWorkerBeforeReturning) {
    fake::setSendDelayMs(100);
    fake::deliverData(0, noteOn(0, 71, 90));  // B: four slow volume-up sends
    waitFor(1);
    auto started = std::chrono::steady_clock::now();
    pluginRecord.quitProc();
    auto took = std::chrono::steady_clock::now() - started;
    size_t sent = fake::sends().size();
    settle();
    settle();
    EXPECT_EQ(fake::sends().size(), sent) << "the worker sent after quit returned";
    EXPECT_LT(took, std::chrono::seconds(3));
}

TEST_F(WorkerThreadTest, AFloodFromTheDriverWhileTheChannelChangesIsRaceFree) {
    std::atomic<bool> flooding{true};
    std::thread driver([&flooding] {
        uint32_t note = 0;
        while (flooding.load()) {
            fake::deliverData(0, noteOn(0, note++ % 128, 90));
            fake::deliverData(0, controller(15, 75, note % 128));
        }
    });
    for (uint32_t tick = 1000; tick < 3000; tick += 10) {
        fake::setTick(tick);
        pluginSettings.midiChannel.store(static_cast<int32_t>(tick / 10 % 3));
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    flooding.store(false);
    driver.join();
    pluginRecord.quitProc();
    // 2000 ms of ticks at most 20 accepted per second, each with at most 4 sends.
    EXPECT_LE(fake::sends().size(), 41u * 4u);
    EXPECT_EQ(fake::openPorts(), 0u);
}

// The user-interface thread replaces a full table of bindings again and again
// while a flood of bound and unbound messages is handled: the worker always
// acts on one whole table or the other.
TEST_F(WorkerThreadTest, ReplacingTheBindingsDuringAFloodIsRaceFree) {
    static Binding tables[2][kMaxBindings];
    for (uint32_t t = 0; t < 2; ++t) {
        for (uint32_t i = 0; i < kMaxBindings; ++i) {
            tables[t][i] = Binding{BindingSource{kSourceProgram, static_cast<uint8_t>(i), 4}, kActionOpen};
        }
        // The bound pad is the last entry, after 127 that do not match.
        tables[t][kMaxBindings - 1] = Binding{BindingSource{kSourceNote, 36, 9}, t == 0 ? kActionNext : kActionStop};
    }
    std::atomic<bool> flooding{true};
    std::thread driver([&flooding] {
        uint32_t n = 0;
        while (flooding.load()) {
            fake::deliverData(0, noteOn(9, 36, 90));
            fake::deliverData(0, noteOn(9, 37 + n++ % 2, 90));
        }
    });
    for (uint32_t tick = 1000; tick < 3000; tick += 10) {
        fake::setTick(tick);
        publishBindings(tables[tick / 10 % 2], kMaxBindings);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    flooding.store(false);
    driver.join();
    pluginRecord.quitProc();
    for (const fake::Send& send : fake::sends()) {
        EXPECT_TRUE(send == fake::command(CmdNext) || send == fake::command(CmdStop)) << send.wParam;
    }
    EXPECT_GT(fake::sends().size(), 0u);
}

// The shift button, a pad with a Hold line and an endless knob with a Shift
// line, flooded by the driver while the tables change over and over: the
// handler's gesture ring and knob slots and the worker's reading of them are
// race-free, and only what the tables bind acts.
TEST_F(WorkerThreadTest, GesturesAndKnobsDuringAFloodWhileTheTablesChangeAreRaceFree) {
    auto source = [](uint8_t kind, uint8_t number, uint8_t channel, uint8_t encoder, uint8_t shift, uint8_t gesture) {
        return BindingSource{kind, number, channel, encoder, shift, gesture};
    };
    static Binding tables[2][5];
    for (uint32_t t = 0; t < 2; ++t) {
        tables[t][0] = Binding{source(kSourceNote, 40, 9, kNotEncoder, 0, kGesturePress), kActionShift};
        tables[t][1] = Binding{source(kSourceNote, 36, 9, kNotEncoder, 0, kGesturePress), kActionNext};
        tables[t][2] = Binding{source(kSourceNote, 36, 9, kNotEncoder, 0, kGestureHold), kActionStop};
        tables[t][3] = Binding{source(kSourceController, static_cast<uint8_t>(16 + t), 0, kEncoderTwos, 0, 0), kActionTrack};
        tables[t][4] = Binding{source(kSourceController, 16, 0, kEncoderTwos, 1, 0), kActionTrack};
    }
    std::atomic<bool> flooding{true};
    std::thread driver([&flooding] {
        for (uint32_t n = 0; flooding.load(); ++n) {
            fake::deliverData(0, n % 3 == 0 ? noteOn(9, 40, 90) : noteOff(9, 40));
            fake::deliverData(0, n % 2 == 0 ? noteOn(9, 36, 90) : noteOff(9, 36));
            fake::deliverData(0, controller(0, 16 + n % 2, n % 4 == 0 ? 127 : 1));
        }
    });
    for (uint32_t tick = 1000; tick < 3000; tick += 10) {
        fake::setTick(tick);
        publishBindings(tables[tick / 10 % 2], 5);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    flooding.store(false);
    driver.join();
    pluginRecord.quitProc();
    for (const fake::Send& send : fake::sends()) {
        EXPECT_TRUE(send == fake::command(CmdNext) || send == fake::command(CmdStop) ||
                    send == fake::command(CmdPrevious))
            << send.wParam;
    }
    EXPECT_GT(fake::sends().size(), 0u);
}

// The worker reads system-exclusive messages and lends their buffers again
// while the user-interface thread closes and opens the port (Apply) over and
// over: no buffer is ever lent to a port being closed, every close finds all
// of them back, and none is read while the driver writes it.
TEST_F(WorkerThreadTest, TheWorkerNeverLendsABufferToAPortBeingClosed) {
    std::atomic<bool> sending{true};
    std::atomic<int> delivered{0};
    std::thread driver([&sending, &delivered] {
        const std::vector<uint8_t> stop = {0xF0, 0x7F, 0x7F, 0x06, 0x01, 0xF7};
        std::vector<uint8_t> dump(100, 0x11);  // in two pieces
        dump.front() = 0xF0;
        dump.back() = 0xF7;
        for (int i = 0; sending.load(); ++i) {
            if (fake::deliverSysex(0, i % 4 == 0 ? dump : stop)) delivered.fetch_add(1);
            std::this_thread::yield();
        }
    });
    // 300 closes at least, and on until 300 messages came through.
    for (int i = 0; i < 300 || (delivered.load() < 300 && i < 20000); ++i) {
        closeMainPort(nullptr);
        ASSERT_TRUE(openMainPort(0));
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    sending.store(false);
    driver.join();
    pluginRecord.quitProc();
    EXPECT_GE(delivered.load(), 300);
    EXPECT_EQ(fake::bufferFaults(), std::vector<std::string>{});
    EXPECT_TRUE(fake::messageBoxes().empty());
    EXPECT_EQ(fake::openPorts(), 0u);
}

}  // namespace
