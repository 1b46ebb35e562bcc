// bench.cpp -- figures for `make bench`, each beside its baseline measured in
// the same run. Prints a table; never fails on a slow machine.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "tests/wine/host_support.h"
#include "ui/resource.h"

using namespace host;

namespace {

double qpcToUs(LONGLONG ticks) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(ticks) * 1e6 / static_cast<double>(f.QuadPart);
}

LONGLONG qpcNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t at = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(at, v.size() - 1)];
}

// ---- The worker thread ------------------------------------------------------------

// CPU time (user and kernel) of a thread in milliseconds.
double cpuMs(HANDLE thread) {
    FILETIME created, ended, kernel, user;
    if (!GetThreadTimes(thread, &created, &ended, &kernel, &user)) return -1;
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return static_cast<double>(k.QuadPart + u.QuadPart) / 10000.0;
}

// Tells tools/bench.sh, which watches this process from Linux, where a phase
// starts or ends, and waits until it has taken its sample.
void mark(const char* name) {
    printf("MARK %s\n", name);
    fflush(stdout);
    std::string done = pluginDirectory() + name + ".done";
    for (int i = 0; i < 500 && GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(10);
}

// ---- The latency rounds ---------------------------------------------------------

// Three paths to the player's window, each sending it the pause command, taken
// in turn by one thread, each 20 ms after the last one's command arrived (keys
// therefore come over 60 ms apart, outside the 50 ms window), so that
// whatever else the machine does at the time falls on all three alike:
//   the plug-in's: a key through the test MIDI driver, timed from the driver's
//     call into the plug-in;
//   the floor of its design: an auto-reset event set for a thread that waits
//     on it and sends, the two hops the plug-in's path cannot do without;
//   a bare send: the command sent to the window by the waking thread itself.
// Each is timed to the command's arrival in the window, on the player's thread.
// The p99 rests on its few slowest samples: 600 of each keep it from resting
// on two or three.
const int kSamples = 600;
const DWORD kSpacingMs = 20;
enum Path : LONG { kPluginPath, kFloorPath, kBarePath, kPathCount };
volatile LONG sendingPath = kPluginPath;  // the path of the command on its way
volatile LONGLONG startedAt = 0;          // when the floor's or the bare send's started
HANDLE arrived = nullptr;                 // set as each command arrives
HANDLE floorEvent = nullptr;
volatile LONG floorStop = 0;
std::vector<double> latencyUs[kPathCount];

// The floor's waiting thread, as the plug-in's worker: it waits without a
// time-out, then sends.
DWORD WINAPI floorWaiter(LPVOID) {
    for (;;) {
        WaitForSingleObject(floorEvent, INFINITE);
        if (InterlockedCompareExchange(&floorStop, 0, 0) != 0) return 0;
        SendMessageA(window(), WM_COMMAND, 40046, 0);
    }
}

DWORD WINAPI sender(LPVOID) {
    for (int i = 0; i < kSamples * kPathCount; ++i) {
        Sleep(kSpacingMs);
        LONG path = i % kPathCount;
        InterlockedExchange(&sendingPath, path);
        if (path == kPluginPath) {
            midiSend(0, midiNoteOn(0, 64, 90));
        } else {
            startedAt = qpcNow();
            if (path == kFloorPath) {
                SetEvent(floorEvent);
            } else {
                SendMessageA(window(), WM_COMMAND, 40046, 0);
            }
        }
        // NOTE: the next path starts only once this command arrived (a bare
        // send's arrived before it returned): each arrival is then the path's
        // own, however late, and the next key comes after this one's window.
        WaitForSingleObject(arrived, 1000);
    }
    return 0;
}

// On the player's thread, as each command arrives: the command is the one of
// the path last started, and for a key the driver's latest delivery is its own.
void recordLatency(const Received& r) {
    if (r.request || r.id != 40046) return;
    LONG path = InterlockedCompareExchange(&sendingPath, 0, 0);
    LONGLONG from = path == kPluginPath ? midiLastDeliveryQpc() : startedAt;
    latencyUs[path].push_back(qpcToUs(r.qpc - from));
    SetEvent(arrived);
}

void serveThenClose(HANDLE thread) {
    serveUntilEnded(thread, INFINITE);
    CloseHandle(thread);
}

void row(const char* figure, const std::string& measured, const std::string& baseline, const std::string& ratio,
         const char* target) {
    printf("| %-44s | %-18s | %-28s | %-6s | %-22s |\n", figure, measured.c_str(), baseline.c_str(), ratio.c_str(),
           target);
}

std::string fmt(const char* format, double value) {
    char text[64];
    snprintf(text, sizeof text, format, value);
    return text;
}

// Chooses the test driver's second output for the lights in the Bindings
// dialog, as a user would.
void chooseLightsUser() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    click(config, IDC_BINDINGS);
    HWND bindings = waitForDialog(kBindingsCaption);
    if (bindings != nullptr) {
        chooseEntry(bindings, IDC_LIGHTS, 2);  // "Test MIDI Out 1"
        Sleep(50);
        click(bindings, IDOK);
        waitUntilGone(bindings);
    }
    click(config, IDCANCEL);
    waitUntilGone(config);
}

// ---- Controllers and gestures ------------------------------------------------------

// The figures of the part with several controllers, for the table.
struct ControllerFigures {
    double idleCpuMs = 0;
    size_t idleReads = 0;
    long keysPressed = 0, keysActed = 0, flooded = 0;
    double readsPerSecond = 0;
    // A key without gestures, with gestures bound beside it and without.
    std::vector<double> gestureBoundUs, gestureFreeUs;
};
ControllerFigures controllerFigures;

// The keyboard (device 0) and four controllers (devices 1-4), each with pads
// that would light, Hold and Double lines on the keyboard's pads; with
// `outputs`, each controller's lights go to the output of its number.
std::string controllersIni(bool outputs, bool gestures = true) {
    std::string ini = "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIDeviceName=Test MIDI In 0\r\n\r\n"
                      "[Notewick Bindings]\r\nNote 36 Channel 10=Play\r\n";
    if (gestures) ini += "Note 40 Channel 10=Shift\r\nNote 36 Channel 10 Hold=Stop\r\nNote 37 Channel 10 Double=Next\r\n";
    for (int c = 1; c <= 4; ++c) {
        std::string n = std::to_string(c);
        ini += "\r\n[Notewick Controller " + n + "]\r\nInput=Test MIDI In " + n + "\r\n";
        if (outputs) ini += "Output=Test MIDI Out " + n + "\r\n";
        for (int note = 36; note < 44; ++note) ini += "Note " + std::to_string(note) + " Channel 10=Stop\r\n";
    }
    return ini;
}

// A key without gestures, press to player: timed as the plug-in's path
// above, the keys sent from a thread of their own while the player's thread
// serves its window.
DWORD WINAPI keySender(LPVOID);
void keyLatencies(std::vector<double>* into) {
    std::vector<double> kept;
    kept.swap(latencyUs[kPluginPath]);
    InterlockedExchange(&sendingPath, kPluginPath);
    arrived = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    take();
    setOnReceive(recordLatency);
    serveThenClose(CreateThread(nullptr, 0, keySender, nullptr, 0, nullptr));
    setOnReceive(nullptr);
    CloseHandle(arrived);
    into->swap(latencyUs[kPluginPath]);
    latencyUs[kPluginPath].swap(kept);
}

// Keys alone, each 60 ms after the last one's command arrived.
DWORD WINAPI keySender(LPVOID) {
    for (int i = 0; i < kSamples / 3; ++i) {
        Sleep(3 * kSpacingMs);
        midiSend(0, midiNoteOn(0, 64, 90));
        WaitForSingleObject(arrived, 1000);
    }
    return 0;
}

// The worker init started (the thread new since `before`).
HANDLE newWorker(const std::set<DWORD>& before) {
    for (DWORD t : threadIds()) {
        if (before.count(t) == 0) return OpenThread(THREAD_QUERY_INFORMATION, FALSE, t);
    }
    return nullptr;
}

void controllersBench() {
    ControllerFigures& f = controllerFigures;
    writeFile(iniPath(), controllersIni(false));
    check(load() != nullptr, "the plug-in loads again");
    std::set<DWORD> before = threadIds();
    mark("before-init-2");
    init();
    pump(100);
    mark("after-init-2");
    HANDLE worker = newWorker(before);
    take();
    // Idle with four controllers open and no output.
    double cpu0 = cpuMs(worker);
    mark("controllers-idle-start");
    pump(10000);
    mark("controllers-idle-end");
    f.idleCpuMs = cpuMs(worker) - cpu0;
    f.idleReads = take().size();
    // A flood on controller 1 while controller 2's pads act, one every 100 ms.
    startFlood(1);
    for (int i = 0; i < 50; ++i) {
        midiSend(2, midiNoteOn(9, 36 + i % 8, 100));
        ++f.keysPressed;
        pump(100);
    }
    f.flooded = stopFlood();
    pump(100);
    for (const Received& r : take()) f.keysActed += !r.request && r.id == 40047 ? 1 : 0;
    keyLatencies(&f.gestureBoundUs);
    quit();
    unload();
    CloseHandle(worker);
    // The same keys with no gesture bound, for the baseline.
    writeFile(iniPath(), controllersIni(false, false));
    load();
    init();
    pump(100);
    keyLatencies(&f.gestureFreeUs);
    quit();
    unload();
    // Four outputs open: the player is read for all of them at once.
    writeFile(iniPath(), controllersIni(true));
    load();
    init();
    pump(500);
    take();
    pump(10000);
    f.readsPerSecond = static_cast<double>(take().size()) / 10.0;
    quit();
    unload();
}

// ---- Eight controllers of three ports each ------------------------------------------

// The keyboard and 8 controllers named as Windows names a device's ports:
// "Dev N", "MIDIIN2 (Dev N)", "MIDIIN3 (Dev N)", system inputs 1-24.
struct PortFigures {
    UINT opened = 0;
    double idleCpuMs = 0;
    size_t idleReads = 0;
    long padsPressed = 0, padsActed = 0, flooded = 0;
};
PortFigures portFigures;

UINT firstPortOf(int controller) { return 1 + static_cast<UINT>(controller - 1) * 3; }

void devicesBench() {
    PortFigures& f = portFigures;
    std::string ini = "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\nMIDIDeviceName=Test MIDI In 0\r\n";
    for (int c = 1; c <= 8; ++c) {
        std::string n = std::to_string(c), name = "Dev " + n;
        midiSetName(firstPortOf(c), name.c_str());
        midiSetName(firstPortOf(c) + 1, ("MIDIIN2 (" + name + ")").c_str());
        midiSetName(firstPortOf(c) + 2, ("MIDIIN3 (" + name + ")").c_str());
        ini += "\r\n[Notewick Controller " + n + "]\r\nInput=" + name + "\r\n";
        for (int note = 36; note < 44; ++note) ini += "Note " + std::to_string(note) + " Channel 10=Stop\r\n";
    }
    writeFile(iniPath(), ini);
    check(load() != nullptr, "the plug-in loads with 8 controllers of 3 ports");
    std::set<DWORD> before = threadIds();
    mark("before-init-3");
    init();
    pump(500);
    mark("after-init-3");
    HANDLE worker = newWorker(before);
    f.opened = midiOpenCount();
    take();
    double cpu0 = cpuMs(worker);
    mark("ports-idle-start");
    pump(10000);
    mark("ports-idle-end");
    f.idleCpuMs = cpuMs(worker) - cpu0;
    f.idleReads = take().size();
    // A flood on Dev 1's first port while Dev 2's pad is pressed 20 times.
    startFlood(firstPortOf(1));
    for (int i = 0; i < 20; ++i) {
        midiSend(firstPortOf(2), midiNoteOn(9, 36 + i % 8, 100));
        ++f.padsPressed;
        pump(100);
    }
    f.flooded = stopFlood();
    pump(100);
    for (const Received& r : take()) f.padsActed += !r.request && r.id == 40047 ? 1 : 0;
    quit();
    unload();
    CloseHandle(worker);
    for (UINT i = 1; i <= 24; ++i) midiSetName(i, ("Test MIDI In " + std::to_string(i)).c_str());
}

void bench() {
    // Eight bindings that light, on notes no phase below plays: they cost
    // nothing until an output is chosen.
    std::string ini = "[Notewick]\r\nMIDIDevice=0\r\nMIDIChannel=0\r\n\r\n[Notewick Bindings]\r\n";
    for (int note = 36; note < 44; ++note) ini += "Note " + std::to_string(note) + " Channel 10=Play/Pause\r\n";
    writeFile(iniPath(), ini);
    check(load() != nullptr, "the plug-in loads");
    std::set<DWORD> before = threadIds();
    mark("before-init");
    init();
    pump(100);
    mark("after-init");
    std::vector<DWORD> started;
    for (DWORD t : threadIds()) {
        if (before.count(t) == 0) started.push_back(t);
    }
    check(started.size() == 1, "init starts one thread", std::to_string(started.size()));
    HANDLE worker = started.empty() ? nullptr : OpenThread(THREAD_QUERY_INFORMATION, FALSE, started[0]);

    // Latency, the plug-in's path beside its floor and a bare send.
    take();
    floorEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    arrived = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE waiter = CreateThread(nullptr, 0, floorWaiter, nullptr, 0, nullptr);
    setOnReceive(recordLatency);
    serveThenClose(CreateThread(nullptr, 0, sender, nullptr, 0, nullptr));
    setOnReceive(nullptr);
    InterlockedExchange(&floorStop, 1);
    SetEvent(floorEvent);
    serveThenClose(waiter);
    CloseHandle(floorEvent);
    CloseHandle(arrived);
    take();

    // The main data handler against the one system call it makes, in
    // alternating rounds so that drift favours neither.
    // Back to back, most calls fall inside the window and wake nobody.
    double handlerNs = 0, setEventNs = 0;
    const int rounds = 10;
    for (int round = 0; round < rounds; ++round) {
        double h = 0, e = 0;
        midiBenchHandler(0, 20000, 0, &h, &e);
        handlerNs += h / rounds;
        setEventNs += e / rounds;
        pump(60);
    }
    // 60 ms apart, every call wakes the worker.
    double wakingNs = 0, wakingSetEventNs = 0;
    midiBenchHandler(0, 100, 60, &wakingNs, &wakingSetEventNs);
    pump(100);
    take();

    // Idle: 10 s with nothing arriving.
    double idleCpu0 = cpuMs(worker);
    mark("idle-start");
    Sleep(10000);
    mark("idle-end");
    double idleCpu1 = cpuMs(worker);

    // A flood of 10,000 messages a second for 5 s.
    double floodCpu0 = cpuMs(worker);
    startFlood();
    pump(5000);
    double floodCpu1 = cpuMs(worker);
    stopFlood();
    size_t accepted = take().size();

    // Lights: the output chosen in the Bindings dialog, eight bindings
    // lighting, nothing changing: the worker reads the player ten times a
    // second. The player's thread serves its window meanwhile.
    runConfigWithUser(chooseLightsUser);
    pump(300);
    check(midiOutIsOpen(1), "the lights' output is open");
    midiOutReceived(1);
    take();
    double lightsCpu0 = cpuMs(worker);
    mark("lights-idle-start");
    pump(10000);
    mark("lights-idle-end");
    double lightsCpu1 = cpuMs(worker);
    size_t reads = take().size();
    // From a change of the player's state to the lights' first message, the
    // changes at phases that wander against the worker's reads.
    std::vector<double> lightUs;
    for (int i = 0; i < 60; ++i) {
        setPlayState(i % 2 == 0 ? 1 : 0);
        LONGLONG changed = qpcNow();
        std::vector<LONGLONG> times;
        std::vector<DWORD> got;
        for (DWORD started = GetTickCount(); got.empty() && GetTickCount() - started < 1000;) {
            pump(1);
            got = midiOutReceived(1, &times);
        }
        if (!got.empty()) lightUs.push_back(qpcToUs(times[0] - changed));
        pump(37 + static_cast<DWORD>(i * 17 % 60));
    }
    take();
    quit();
    unload();
    controllersBench();
    devicesBench();

    const std::vector<double>& pluginUs = latencyUs[kPluginPath];
    double p50 = percentile(pluginUs, 0.5), p99 = percentile(pluginUs, 0.99);
    double b50 = percentile(latencyUs[kBarePath], 0.5), b99 = percentile(latencyUs[kBarePath], 0.99);
    double f50 = percentile(latencyUs[kFloorPath], 0.5), f99 = percentile(latencyUs[kFloorPath], 0.99);
    printf("| %-44s | %-18s | %-28s | %-6s | %-22s |\n", "figure", "measured", "baseline (same run)", "ratio",
           "target");
    printf("|%s|%s|%s|%s|%s|\n", std::string(46, '-').c_str(), std::string(20, '-').c_str(),
           std::string(30, '-').c_str(), std::string(8, '-').c_str(), std::string(24, '-').c_str());
    row("MIDI callback -> host window, median", fmt("%.1f us", p50), fmt("%.1f us bare SendMessage", b50),
        fmt("%.2fx", b50 > 0 ? p50 / b50 : 0), "");
    row("MIDI callback -> host window, p99", fmt("%.1f us", p99), fmt("%.1f us bare SendMessage", b99),
        fmt("%.2fx", b99 > 0 ? p99 / b99 : 0), "<= 1.5x and < 1000 us");
    row("MIDI callback -> host window, median", fmt("%.1f us", p50), fmt("%.1f us event, wait, send", f50),
        fmt("%.2fx", f50 > 0 ? p50 / f50 : 0), "");
    row("MIDI callback -> host window, p99", fmt("%.1f us", p99), fmt("%.1f us event, wait, send", f99),
        fmt("%.2fx", f99 > 0 ? p99 / f99 : 0), "<= 1.2x");
    row("main data handler, one that wakes the worker", fmt("%.0f ns", wakingNs),
        fmt("%.0f ns SetEvent", wakingSetEventNs), fmt("%.2fx", wakingSetEventNs > 0 ? wakingNs / wakingSetEventNs : 0),
        "<= 1.2x");
    row("main data handler, back to back (flood)", fmt("%.0f ns", handlerNs), fmt("%.0f ns SetEvent", setEventNs),
        fmt("%.3fx", setEventNs > 0 ? handlerNs / setEventNs : 0), "<= 1.2x");
    row("worker CPU, idle 10 s", fmt("%.1f ms", idleCpu1 - idleCpu0), "", "", "0");
    row("worker CPU, flood of 10,000/s for 5 s", fmt("%.2f %% of a core", (floodCpu1 - floodCpu0) / 50.0),
        fmt("%.0f commands accepted", static_cast<double>(accepted)), "", "< 2 %");
    row("worker CPU, lights on, 8 bindings, idle 10 s", fmt("%.1f ms", lightsCpu1 - lightsCpu0),
        fmt("%.1f ms without an output", idleCpu1 - idleCpu0), "", "");
    row("worker wake-ups (reads of the player), lights on, 10 s", fmt("%.0f", static_cast<double>(reads)),
        "0 without an output", "", "<= 100");
    row("player state change -> light, median", fmt("%.1f ms", percentile(lightUs, 0.5) / 1000), "", "",
        "reads every 100 ms");
    row("player state change -> light, worst", fmt("%.1f ms", percentile(lightUs, 1.0) / 1000),
        fmt("%.0f changes", static_cast<double>(lightUs.size())), "", "<= 150 ms");
    const ControllerFigures& c = controllerFigures;
    row("worker CPU, 4 controllers open, idle 10 s", fmt("%.1f ms", c.idleCpuMs),
        fmt("%.1f ms the keyboard alone", idleCpu1 - idleCpu0), "", "0");
    row("reads of the player, 4 controllers, no output, 10 s", fmt("%.0f", static_cast<double>(c.idleReads)), "", "",
        "0");
    row("controller 2's pads acting, 10,000/s on controller 1", fmt("%.0f", static_cast<double>(c.keysActed)),
        fmt("%.0f pressed", static_cast<double>(c.keysPressed)) + fmt(", %.0f flooded", static_cast<double>(c.flooded)),
        "", "every pad");
    row("reads of the player a second, 4 outputs", fmt("%.1f", c.readsPerSecond),
        fmt("%.1f with one output", static_cast<double>(reads) / 10.0), "", "<= 10, all outputs");
    const PortFigures& d = portFigures;
    row("inputs open, keyboard + 8 controllers of 3 ports", fmt("%.0f", d.opened), "", "", "25");
    row("worker CPU, 8 controllers of 3 ports, idle 10 s", fmt("%.1f ms", d.idleCpuMs),
        fmt("%.1f ms the keyboard alone", idleCpu1 - idleCpu0), "", "0");
    row("reads of the player, 8x3 ports, no output, 10 s", fmt("%.0f", static_cast<double>(d.idleReads)), "", "", "0");
    row("Dev 2's pad acting, 10,000/s on Dev 1", fmt("%.0f", static_cast<double>(d.padsActed)),
        fmt("%.0f pressed", static_cast<double>(d.padsPressed)) + fmt(", %.0f flooded", static_cast<double>(d.flooded)),
        "", "every pad");
    double g50 = percentile(c.gestureBoundUs, 0.5), g99 = percentile(c.gestureBoundUs, 0.99);
    double n50 = percentile(c.gestureFreeUs, 0.5), n99 = percentile(c.gestureFreeUs, 0.99);
    row("a key without gestures, gestures bound, median", fmt("%.1f us", g50), fmt("%.1f us none bound", n50),
        fmt("%.2fx", n50 > 0 ? g50 / n50 : 0), "not delayed");
    row("a key without gestures, gestures bound, p99", fmt("%.1f us", g99), fmt("%.1f us none bound", n99),
        fmt("%.2fx", n99 > 0 ? g99 / n99 : 0), "not delayed");
    printf("ROWS-END %zu %zu %zu\n", pluginUs.size(), latencyUs[kFloorPath].size(), latencyUs[kBarePath].size());
}

const ScenarioRegistration registrations[] = {
    {"bench", bench},
};

}  // namespace
