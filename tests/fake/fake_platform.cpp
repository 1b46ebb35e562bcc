// fake_platform.cpp -- the fake behind platform/*.h for the native tests.
#include "tests/fake/fake_platform.h"
#include "tests/fake/fake_device_interface.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/midi_output.h"
#include "platform/platform.h"

namespace fake {
namespace {

struct FakeEvent {
    std::mutex mutex;
    std::condition_variable signalled;
    bool set = false;
};

struct FakeThread {
    std::thread thread;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
};

// A prepared buffer, by its header.
struct FakeBuffer {
    uint8_t* data;
    uint32_t size, bytes;
};

struct FakePort {
    uint32_t device;
    MidiDataHandler handler;
    uint32_t instance;
    bool open;
    bool started;
    bool stopped;                         // stopped or reset: being closed
    std::deque<MidiBufferHeader*> lent;   // in the order lent
};

// Files as the text on disk (a file exists when it has an entry). The profile
// calls read and write that text as the system's do: section names and keys
// compared without regard to case, blanks around "=" dropped, the first line
// of a key the one read, written or deleted, a line without "=" a key with no
// value (which reads as the default), a comment (";") never a key.
typedef std::map<std::string, std::string> FileStore;

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

struct State {
    std::mutex mutex;
    std::vector<Send> sends;
    intptr_t playState = 0;
    uint32_t sendDelayMs = 0;
    void (*onSend)(const Send&) = nullptr;
    std::atomic<void (*)()> onWake{nullptr};
    std::atomic<uint32_t> tick{0};
    bool failEvents = false;
    std::atomic<bool> failWaits{false};
    std::atomic<uint32_t> waits{0};
    bool failThreads = false;
    uint32_t threadsStarted = 0;
    std::deque<std::unique_ptr<FakeEvent>> events;
    std::deque<std::unique_ptr<FakeThread>> threads;
    bool modulePathReadable = true;
    std::string modulePath;
    bool moduleKeptLoaded = false;
    FileStore files;
    std::set<std::string> unwritable;
    std::set<std::string> unreadable;
    std::vector<std::string> pathsRead;
    std::vector<std::string> pathsWritten;
    std::vector<std::string> messageBoxes;
    void (*onMessageBox)(const std::string&) = nullptr;
    void (*deviceWatch)() = nullptr;
    uint32_t watchTimerMs = 0;
    uint32_t tickMs = 0;
    void (*pingTick)(bool) = nullptr;
    std::vector<Device> devices;
    std::deque<FakePort> ports;
    std::vector<Device> outputs;
    std::map<uint32_t, std::vector<uint32_t>> outputMessages;
    std::map<uint32_t, std::vector<std::vector<uint8_t>>> outputSysex;
    std::map<uint32_t, bool> outputsOpen;
    std::map<std::pair<uint32_t, intptr_t>, intptr_t> answers;
    std::vector<std::string> midiCalls;
    std::vector<std::string> bufferFaults;
    std::map<const MidiBufferHeader*, FakeBuffer> buffers;  // prepared
};

State& state() {
    static State instance;
    return instance;
}

}  // namespace

Send command(uint32_t id) { return Send{0x0111, id, 0}; }
Send request(uint32_t req, int32_t argument) {
    return Send{0x0400, static_cast<uintptr_t>(static_cast<intptr_t>(argument)), static_cast<intptr_t>(req)};
}

void resetDialogs();

void reset() {
    resetDialogs();
    resetInterfacePaths();
    State& s = state();
    // Threads left running by a failed test end with the process; join the
    // ones that have ended.
    std::deque<std::unique_ptr<FakeThread>> threads;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        threads.swap(s.threads);
    }
    for (auto& t : threads) {
        if (t->thread.joinable()) t->thread.detach();
        static_cast<void>(t.release());  // a detached thread may still touch it
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    s.sends.clear();
    s.playState = 0;
    s.sendDelayMs = 0;
    s.onSend = nullptr;
    s.onWake.store(nullptr);
    s.tick.store(0);
    s.failEvents = false;
    s.failWaits.store(false);
    s.waits.store(0);
    s.failThreads = false;
    s.threadsStarted = 0;
    s.modulePathReadable = true;
    s.modulePath = "C:\\Player\\Plugins\\gen_notewick.dll";
    s.moduleKeptLoaded = false;
    s.files.clear();
    s.unwritable.clear();
    s.unreadable.clear();
    s.pathsRead.clear();
    s.pathsWritten.clear();
    s.messageBoxes.clear();
    s.onMessageBox = nullptr;
    s.deviceWatch = nullptr;
    s.watchTimerMs = 0;
    s.tickMs = 0;
    s.pingTick = nullptr;
    s.devices.clear();
    s.ports.clear();
    s.outputs.clear();
    s.outputMessages.clear();
    s.outputSysex.clear();
    s.outputsOpen.clear();
    s.answers.clear();
    s.midiCalls.clear();
    s.bufferFaults.clear();
    s.buffers.clear();
    // Events are kept: a handle may still be held by a thread of an earlier test.
}

std::vector<Send> sends() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().sends;
}
void clearSends() {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().sends.clear();
}
void setPlayState(intptr_t answer) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().playState = answer;
}
void setSendDelayMs(uint32_t delay) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().sendDelayMs = delay;
}
void setAnswer(uint32_t request, intptr_t answer, intptr_t argument) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().answers[{request, argument}] = answer;
}
void setOutputs(const std::vector<Device>& outputs) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().outputs = outputs;
}
Device& output(uint32_t index) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().outputs.at(index);
}
std::vector<uint32_t> outputMessages(uint32_t index) {
    std::lock_guard<std::mutex> lock(state().mutex);
    std::vector<uint32_t> out;
    out.swap(state().outputMessages[index]);
    return out;
}
std::vector<std::vector<uint8_t>> outputSysex(uint32_t index) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().outputSysex[index];
}
bool outputIsOpen(uint32_t index) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().outputsOpen[index];
}
void setOnSend(void (*hook)(const Send&)) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().onSend = hook;
}
void setTick(uint32_t tick) { state().tick.store(tick); }
bool failEventCreation(bool fail) {
    std::lock_guard<std::mutex> lock(state().mutex);
    std::swap(state().failEvents, fail);
    return fail;
}
bool failThreadStart(bool fail) {
    std::lock_guard<std::mutex> lock(state().mutex);
    std::swap(state().failThreads, fail);
    return fail;
}
void setOnWake(void (*hook)()) { state().onWake.store(hook); }
void failWaits(bool fail) { state().failWaits.store(fail); }
uint32_t waits() { return state().waits.load(); }
uint32_t threadsRunning() {
    std::lock_guard<std::mutex> lock(state().mutex);
    uint32_t running = 0;
    for (auto& t : state().threads) {
        std::lock_guard<std::mutex> done(t->mutex);
        running += t->done ? 0 : 1;
    }
    return running;
}
bool isSignalled(void* event) {
    auto* e = static_cast<FakeEvent*>(event);
    std::lock_guard<std::mutex> lock(e->mutex);
    return e->set;
}
uint32_t threadsStarted() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().threadsStarted;
}
bool moduleKeptLoaded() { return state().moduleKeptLoaded; }
void setModulePath(const char* path) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().modulePathReadable = path != nullptr;
    state().modulePath = path != nullptr ? path : "";
}
namespace {

// ---- The profile calls' view of a file's text (state().mutex held) ----

struct TextLine {
    size_t start, end, next;  // the line's text, without its line break, and where the next line starts
};

std::vector<TextLine> textLines(const std::string& text) {
    std::vector<TextLine> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos) end = text.size();
        size_t content = end > at && text[end - 1] == '\r' ? end - 1 : end;
        lines.push_back(TextLine{at, content, next});
        at = next;
    }
    return lines;
}

std::string trimmedText(const std::string& text) {
    size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// A line of the file as the profile calls read it.
struct Entry {
    bool header = false;  // "[name]"
    bool isKey = false;   // neither blank nor a comment nor a header
    bool hasValue = false;
    std::string name;  // the section's name, or the key
    std::string value;
};

Entry entryOf(const std::string& text, const TextLine& line) {
    Entry e;
    std::string content = trimmedText(text.substr(line.start, line.end - line.start));
    size_t close = content.find(']');
    if (!content.empty() && content[0] == '[' && close != std::string::npos) {
        e.header = true;
        e.name = trimmedText(content.substr(1, close - 1));
    } else if (!content.empty() && content[0] != ';') {
        size_t equals = content.find('=');
        e.isKey = true;
        e.hasValue = equals != std::string::npos;
        e.name = trimmedText(content.substr(0, equals));
        if (e.hasValue) e.value = trimmedText(content.substr(equals + 1));
    }
    return e;
}

// The section's lines [first, last) after its header, the first section of
// the name; false when the file has none.
bool findSection(const std::string& text, const std::vector<TextLine>& lines, const std::string& section,
                 size_t* first, size_t* last) {
    for (size_t i = 0; i < lines.size(); ++i) {
        Entry e = entryOf(text, lines[i]);
        if (!e.header || !sameName(e.name, section)) continue;
        size_t j = i + 1;
        while (j < lines.size() && !entryOf(text, lines[j]).header) ++j;
        *first = i + 1;
        *last = j;
        return true;
    }
    return false;
}

// Where a line added to the section goes: after its last line that is not blank.
size_t endOfSection(const std::string& text, const std::vector<TextLine>& lines, size_t first, size_t last) {
    size_t at = lines[first - 1].next;
    for (size_t i = first; i < last; ++i) {
        if (lines[i].end > lines[i].start && !trimmedText(text.substr(lines[i].start, lines[i].end - lines[i].start)).empty()) {
            at = lines[i].next;
        }
    }
    return at;
}

// Puts a whole line into the section (made at the end of the file when missing).
void insertLine(std::string& text, const std::string& section, const std::string& line) {
    std::vector<TextLine> lines = textLines(text);
    size_t first = 0, last = 0;
    if (!findSection(text, lines, section, &first, &last)) {
        if (!text.empty() && text.back() != '\n') text += "\r\n";
        text += "[" + section + "]\r\n" + line + "\r\n";
        return;
    }
    size_t at = endOfSection(text, lines, first, last);
    std::string inserted = line + "\r\n";
    if (at > 0 && text[at - 1] != '\n') inserted = "\r\n" + line;
    text.insert(at, inserted);
}

// The first line of the key in the section; false when there is none.
bool findKey(const std::string& text, const std::string& section, const std::string& key, TextLine* found,
             Entry* entry) {
    std::vector<TextLine> lines = textLines(text);
    size_t first = 0, last = 0;
    if (!findSection(text, lines, section, &first, &last)) return false;
    for (size_t i = first; i < last; ++i) {
        Entry e = entryOf(text, lines[i]);
        if (!e.isKey || !sameName(e.name, key)) continue;
        *found = lines[i];
        *entry = e;
        return true;
    }
    return false;
}

// Writes key=value into the section in place of the key's first line, or
// after the section's lines; a null value deletes that line.
void writeKey(std::string& text, const std::string& section, const std::string& key, const char* value) {
    TextLine line;
    Entry entry;
    if (!findKey(text, section, key, &line, &entry)) {
        if (value != nullptr) insertLine(text, section, key + "=" + value);
        return;
    }
    if (value == nullptr) {
        text.erase(line.start, line.next - line.start);
    } else {
        text.replace(line.start, line.end - line.start, entry.name + "=" + value);
    }
}

bool readKey(const std::string& path, const std::string& section, const std::string& key, std::string* value) {
    auto file = state().files.find(path);
    if (file == state().files.end() || state().unreadable.count(path) != 0) return false;
    TextLine line;
    Entry entry;
    if (!findKey(file->second, section, key, &line, &entry) || !entry.hasValue) return false;
    *value = entry.value;
    return true;
}

}  // namespace

void setProfile(const std::string& path, const std::string& section, const std::string& key,
                const std::string& value) {
    std::lock_guard<std::mutex> lock(state().mutex);
    writeKey(state().files[path], section, key, value.c_str());
}
void addProfileLine(const std::string& path, const std::string& section, const std::string& line) {
    std::lock_guard<std::mutex> lock(state().mutex);
    insertLine(state().files[path], section, line);
}
std::vector<std::string> profileLines(const std::string& path, const std::string& section) {
    std::lock_guard<std::mutex> lock(state().mutex);
    std::vector<std::string> out;
    auto file = state().files.find(path);
    if (file == state().files.end()) return out;
    const std::string& text = file->second;
    std::vector<TextLine> lines = textLines(text);
    size_t first = 0, last = 0;
    if (!findSection(text, lines, section, &first, &last)) return out;
    for (size_t i = first; i < last; ++i) {
        std::string content = text.substr(lines[i].start, lines[i].end - lines[i].start);
        if (!trimmedText(content).empty()) out.push_back(content);
    }
    return out;
}
bool profileValue(const std::string& path, const std::string& section, const std::string& key, std::string* value) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return readKey(path, section, key, value);
}
void setFile(const std::string& path, const std::string& text) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().files[path] = text;
}
bool fileText(const std::string& path, std::string* text) {
    std::lock_guard<std::mutex> lock(state().mutex);
    auto file = state().files.find(path);
    if (file == state().files.end()) return false;
    *text = file->second;
    return true;
}
void setReadable(const std::string& path, bool readable) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (readable) {
        state().unreadable.erase(path);
    } else {
        state().unreadable.insert(path);
    }
}
void setWritable(const std::string& path, bool writable) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (writable) {
        state().unwritable.erase(path);
    } else {
        state().unwritable.insert(path);
    }
}
std::vector<std::string> profilePathsRead() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().pathsRead;
}
std::vector<std::string> profilePathsWritten() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().pathsWritten;
}
void setOnMessageBox(void (*hook)(const std::string& text)) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().onMessageBox = hook;
}
std::vector<std::string> messageBoxes() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().messageBoxes;
}
void setDevices(const std::vector<Device>& devices) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().devices = devices;
}
Device& device(uint32_t index) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().devices.at(index);
}
void deliver(uint32_t deviceIndex, unsigned int driverMessage, uint32_t param1) {
    std::vector<FakePort> targets;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        for (const FakePort& port : state().ports) {
            if (port.open && port.started && port.device == deviceIndex) targets.push_back(port);
        }
    }
    // The time stamp: milliseconds since the port started, the tick here.
    for (const FakePort& port : targets) port.handler(nullptr, driverMessage, port.instance, param1, state().tick.load());
}
bool deliverSysex(uint32_t deviceIndex, const std::vector<uint8_t>& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        FakePort port{};
        MidiBufferHeader* header = nullptr;
        {
            std::lock_guard<std::mutex> lock(state().mutex);
            for (FakePort& p : state().ports) {
                if (!p.open || !p.started || p.device != deviceIndex || p.lent.empty()) continue;
                header = p.lent.front();
                p.lent.pop_front();
                port = p;
                break;
            }
            if (header == nullptr) return false;
            FakeBuffer& buffer = state().buffers[header];
            buffer.bytes = static_cast<uint32_t>(std::min<size_t>(buffer.size, bytes.size() - sent));
            std::memcpy(buffer.data, bytes.data() + sent, buffer.bytes);
            sent += buffer.bytes;
        }
        port.handler(nullptr, kMidiInLongData, port.instance, reinterpret_cast<MidiParam>(header), 0);
    }
    return true;
}
void giveBuffersBackEmpty(uint32_t deviceIndex) {
    std::vector<std::pair<FakePort, MidiBufferHeader*>> back;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        for (FakePort& p : state().ports) {
            if (!p.open || p.device != deviceIndex) continue;
            for (MidiBufferHeader* header : p.lent) back.emplace_back(p, header);
            p.lent.clear();
        }
    }
    for (const auto& b : back) {
        b.first.handler(nullptr, kMidiInLongData, b.first.instance, reinterpret_cast<MidiParam>(b.second), 0);
    }
}
uint32_t buffersLent(uint32_t deviceIndex) {
    std::lock_guard<std::mutex> lock(state().mutex);
    uint32_t count = 0;
    for (const FakePort& port : state().ports) {
        if (port.open && port.device == deviceIndex) count += static_cast<uint32_t>(port.lent.size());
    }
    return count;
}
std::vector<std::string> bufferFaults() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().bufferFaults;
}
uint32_t openPorts() {
    std::lock_guard<std::mutex> lock(state().mutex);
    uint32_t count = 0;
    for (const FakePort& port : state().ports) count += port.open ? 1 : 0;
    return count;
}
uint32_t openPortsFor(uint32_t deviceIndex) {
    std::lock_guard<std::mutex> lock(state().mutex);
    uint32_t count = 0;
    for (const FakePort& port : state().ports) count += (port.open && port.device == deviceIndex) ? 1 : 0;
    return count;
}
uint32_t watchTimerMs() { return state().watchTimerMs; }
bool fireWatchTimer() {
    void (*watch)() = nullptr;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        if (state().watchTimerMs != 0) watch = state().deviceWatch;
    }
    if (watch != nullptr) watch();
    return watch != nullptr;
}
bool deviceListChanged() {
    void (*watch)();
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        watch = state().deviceWatch;
    }
    if (watch != nullptr) watch();
    return watch != nullptr;
}
std::vector<std::string> allMidiCalls() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().midiCalls;
}
std::vector<std::string> midiCalls() {
    std::vector<std::string> out;
    for (const std::string& call : allMidiCalls()) {
        if (call.rfind("open", 0) == 0 || call.rfind("start", 0) == 0 || call.rfind("stop", 0) == 0 ||
            call.rfind("close", 0) == 0) {
            out.push_back(call);
        }
    }
    return out;
}

}  // namespace fake

// ---- The seam ----------------------------------------------------------------

using fake::state;

intptr_t platformSendMessage(WindowRef, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    fake::Send sent{message, wParam, lParam};
    uint32_t delay;
    intptr_t answer = 0;
    void (*hook)(const fake::Send&);
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        state().sends.push_back(sent);
        delay = state().sendDelayMs;
        hook = state().onSend;
        if (message == 0x0400 && lParam == 104) answer = state().playState;
        auto& answers = state().answers;
        auto given = answers.find({static_cast<uint32_t>(lParam), static_cast<intptr_t>(wParam)});
        if (given == answers.end()) given = answers.find({static_cast<uint32_t>(lParam), fake::kAnyArgument});
        if (message == 0x0400 && lParam != 104 && given != answers.end()) answer = given->second;
    }
    if (hook != nullptr) hook(sent);
    if (delay != 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    return answer;
}

uint32_t platformTickCount() { return state().tick.load(); }

// The fake's clock moves by as much as the sleeper asked, so a bounded wait
// ends after as many sleeps as it would on the system, but at once.
void platformSleep(uint32_t ms) {
    state().tick.fetch_add(ms);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void platformYield() { std::this_thread::yield(); }

EventRef platformCreateEvent() {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (state().failEvents) return nullptr;
    state().events.push_back(std::make_unique<fake::FakeEvent>());
    return state().events.back().get();
}

void platformSignalEvent(EventRef event) {
    auto* e = static_cast<fake::FakeEvent*>(event);
    std::lock_guard<std::mutex> lock(e->mutex);
    e->set = true;
    e->signalled.notify_one();
}

WaitResult platformWaitEvent(EventRef event, uint32_t timeoutMs) {
    state().waits.fetch_add(1);
    if (state().failWaits.load()) return kWaitFailed;
    auto* e = static_cast<fake::FakeEvent*>(event);
    {
        std::unique_lock<std::mutex> lock(e->mutex);
        if (timeoutMs == kWaitForever) {
            e->signalled.wait(lock, [e] { return e->set; });
        } else if (!e->signalled.wait_for(lock, std::chrono::milliseconds(timeoutMs), [e] { return e->set; })) {
            return kWaitTimedOut;
        }
        e->set = false;  // auto-reset
    }
    void (*hook)() = state().onWake.load();
    if (hook != nullptr) hook();
    return kWaitSignalled;
}

ThreadRef platformStartThread(void (*entry)()) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (state().failThreads) return nullptr;
    state().threads.push_back(std::make_unique<fake::FakeThread>());
    fake::FakeThread* t = state().threads.back().get();
    ++state().threadsStarted;
    t->thread = std::thread([t, entry] {
        entry();
        std::lock_guard<std::mutex> done(t->mutex);
        t->done = true;
        t->ended.notify_all();
    });
    return t;
}

bool platformJoinThread(ThreadRef thread, uint32_t timeoutMs) {
    auto* t = static_cast<fake::FakeThread*>(thread);
    {
        std::unique_lock<std::mutex> lock(t->mutex);
        if (!t->ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [t] { return t->done; })) return false;
    }
    t->thread.join();
    return true;
}

void platformKeepModuleLoaded() { state().moduleKeptLoaded = true; }

uint32_t platformModuleFileName(ModuleRef, char* buffer, uint32_t capacity) {
    std::lock_guard<std::mutex> lock(state().mutex);
    const std::string& path = state().modulePath;
    if (!state().modulePathReadable || capacity == 0 || path.size() >= capacity) {
        if (capacity != 0) buffer[0] = '\0';
        return 0;
    }
    path.copy(buffer, path.size());
    buffer[path.size()] = '\0';
    return static_cast<uint32_t>(path.size());
}

// Reads the way the system does: leading blanks, an optional sign, then the
// decimal digits up to the first other character; an empty value or no key
// gives the fallback.
int32_t platformProfileReadInt(const char* section, const char* key, int32_t fallback, const char* path) {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        state().pathsRead.push_back(path);
        if (!fake::readKey(path, section, key, &text)) return fallback;
    }
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i == text.size()) return fallback;
    bool negative = false;
    if (text[i] == '-' || text[i] == '+') negative = text[i++] == '-';
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10u + (text[i] - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

// Reads the way Wine's profile reader does: blanks around the value go
// (vertical tabs, form feeds, carriage returns and 0x1A too), the value is cut to the buffer,
// and then one pair of matching quotes enclosing what is left goes too.
void platformProfileReadString(const char* section, const char* key, char* value, uint32_t capacity,
                               const char* path) {
    if (capacity == 0) return;
    std::string text;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        state().pathsRead.push_back(path);
        if (!fake::readKey(path, section, key, &text)) text.clear();
    }
    const char* const blanks = " \t\v\f\r\x1A";
    size_t first = text.find_first_not_of(blanks), last = text.find_last_not_of(blanks);
    text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    if (text.size() > capacity - 1) text.resize(capacity - 1);
    if (text.size() >= 2 && (text[0] == '"' || text[0] == '\'') && text.back() == text[0]) {
        text = text.substr(1, text.size() - 2);
    }
    text.copy(value, text.size());
    value[text.size()] = '\0';
}

bool platformProfileWriteString(const char* section, const char* key, const char* value, const char* path) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().pathsWritten.push_back(path);
    if (state().unwritable.count(path) != 0) return false;
    fake::writeKey(state().files[path], section, key, value);
    return true;
}

bool platformCanWriteFile(const char* path) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (state().unwritable.count(path) != 0) return false;
    state().files[path];  // created when missing
    return true;
}

FileAccess platformFileAccess(const char* path) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (state().files.count(path) == 0) return kFileMissing;
    return state().unreadable.count(path) != 0 ? kFileUnreadable : kFileReadable;
}

char* platformReadFile(const char* path, uint32_t maxBytes, uint32_t* length) {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        state().pathsRead.push_back(path);
        *length = 0;
        auto file = state().files.find(path);
        if (file == state().files.end() || state().unreadable.count(path) != 0 || file->second.size() > maxBytes) {
            return nullptr;
        }
        text = file->second;
    }
    char* copy = static_cast<char*>(platformAllocZeroed(text.size() + 1));
    if (copy == nullptr) return nullptr;
    text.copy(copy, text.size());
    *length = static_cast<uint32_t>(text.size());
    return copy;
}

bool platformReplaceFile(const char* path, const char* text, uint32_t length) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().pathsWritten.push_back(path);
    if (state().unwritable.count(path) != 0) return false;
    state().files[path].assign(text, length);
    return true;
}

bool platformUserDataFolder(char* path, uint32_t capacity) {
    std::lock_guard<std::mutex> lock(state().mutex);
    const std::string folder = fake::kUserDataFolder;
    if (folder.size() >= capacity) return false;
    folder.copy(path, folder.size());
    path[folder.size()] = '\0';
    return true;
}

bool platformCreateFolder(const char*) { return true; }

void platformListFiles(const char* folder, const char* ending, void (*found)(const char* name, void* context),
                       void* context) {
    std::vector<std::string> names;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        const std::string prefix = std::string(folder) + "\\", end = ending;
        for (const auto& file : state().files) {
            const std::string& path = file.first;
            if (path.size() <= prefix.size() + end.size() || !fake::sameName(path.substr(0, prefix.size()), prefix)) continue;
            std::string name = path.substr(prefix.size());
            if (name.find('\\') != std::string::npos || !fake::sameName(name.substr(name.size() - end.size()), end)) continue;
            names.push_back(name);
        }
    }
    for (const std::string& name : names) found(name.c_str(), context);
}

bool platformCopyFileIfAbsent(const char* from, const char* to) {
    std::lock_guard<std::mutex> lock(state().mutex);
    fake::FileStore& files = state().files;
    if (files.count(to) != 0) return true;
    if (files.count(from) == 0 || state().unreadable.count(from) != 0 || state().unwritable.count(to) != 0) return false;
    files[to] = files[from];
    return true;
}

WindowRef platformStartDeviceWatch(ModuleRef, void (*onChange)()) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (state().deviceWatch != nullptr) return nullptr;  // the window class exists once
    state().deviceWatch = onChange;
    return reinterpret_cast<WindowRef>(&state().deviceWatch);
}

void platformStopDeviceWatch(ModuleRef, WindowRef) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().deviceWatch = nullptr;
    state().watchTimerMs = 0;
}

void platformSetDeviceWatchTick(WindowRef, uint32_t intervalMs, void (*onTick)(bool)) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().tickMs = intervalMs;
    state().pingTick = onTick;
}

void platformNudgeDeviceWatch(WindowRef) {}

void platformSetDeviceWatchTimer(WindowRef, uint32_t intervalMs) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().watchTimerMs = intervalMs;
}

void platformMessageBox(WindowRef, const char* text) {
    void (*hook)(const std::string&);
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        state().messageBoxes.push_back(text);
        hook = state().onMessageBox;
    }
    if (hook != nullptr) hook(text);
}

uint32_t platformMidiInCount() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return static_cast<uint32_t>(state().devices.size());
}

// The name of an input or an output, cut to capacity; false when it cannot be read.
static bool listedName(const std::vector<fake::Device>& list, uint32_t device, char* name, uint32_t capacity) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (device >= list.size() || !list[device].nameReadable) return false;
    const std::string& text = list[device].name;
    uint32_t i = 0;
    for (; i + 1 < capacity && i < text.size(); ++i) name[i] = text[i];
    name[i] = '\0';
    return true;
}

bool platformMidiInName(uint32_t device, char* name, uint32_t capacity) {
    return listedName(state().devices, device, name, capacity);
}

uint32_t platformMidiInOpen(MidiPortRef* port, uint32_t device, MidiDataHandler handler, uint32_t instance) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().midiCalls.push_back("open " + std::to_string(device));
    *port = nullptr;
    if (device >= state().devices.size()) return 2;  // MMSYSERR_BADDEVICEID
    if (state().devices[device].openResult != 0) return state().devices[device].openResult;
    state().ports.push_back(fake::FakePort{device, handler, instance, true, false, false, {}});
    *port = &state().ports.back();
    return 0;
}

static uint32_t portCall(MidiPortRef port, const char* name, uint32_t fake::Device::*result, bool closing,
                         bool starting) {
    std::lock_guard<std::mutex> lock(state().mutex);
    auto* p = static_cast<fake::FakePort*>(port);
    if (p == nullptr || !p->open) {
        state().midiCalls.push_back(std::string(name) + " invalid");
        return 5;  // MMSYSERR_INVALHANDLE
    }
    state().midiCalls.push_back(std::string(name) + " " + std::to_string(p->device));
    const fake::Device& device = state().devices[p->device];
    if (!starting) p->stopped = true;
    uint32_t code = device.*result;
    if (code != 0) return code;
    if (closing && !p->lent.empty()) {
        if (!device.keepsBuffers) state().bufferFaults.push_back("close with buffers lent");
        return 65;  // MIDIERR_STILLPLAYING
    }
    if (closing) p->open = false;
    p->started = starting;
    return 0;
}

// A buffer call on the port: recorded, and the port when it is open; null
// (with a fault) when it is not. Under the lock.
static fake::FakePort* bufferCall(MidiPortRef port, const char* name) {
    auto* p = static_cast<fake::FakePort*>(port);
    if (p == nullptr || !p->open) {
        state().midiCalls.push_back(std::string(name) + " invalid");
        state().bufferFaults.push_back(std::string(name) + " on a closed port");
        return nullptr;
    }
    state().midiCalls.push_back(std::string(name) + " " + std::to_string(p->device));
    return p;
}

static bool isLent(const fake::FakePort* p, const MidiBufferHeader* header) {
    return std::find(p->lent.begin(), p->lent.end(), header) != p->lent.end();
}

uint32_t platformMidiInPrepareBuffer(MidiPortRef port, MidiBufferHeader* header, uint8_t* data, uint32_t size) {
    std::lock_guard<std::mutex> lock(state().mutex);
    if (bufferCall(port, "prepare") == nullptr) return 5;
    state().buffers[header] = fake::FakeBuffer{data, size, 0};
    return 0;
}

uint32_t platformMidiInAddBuffer(MidiPortRef port, MidiBufferHeader* header) {
    std::lock_guard<std::mutex> lock(state().mutex);
    fake::FakePort* p = bufferCall(port, "add");
    if (p == nullptr) return 5;
    if (state().buffers.count(header) == 0 || isLent(p, header)) {
        state().bufferFaults.push_back("add of a buffer unprepared or lent already");
        return 65;
    }
    if (p->stopped) state().bufferFaults.push_back("add to a port being closed");
    state().buffers[header].bytes = 0;
    p->lent.push_back(header);
    return 0;
}

uint32_t platformMidiInUnprepareBuffer(MidiPortRef port, MidiBufferHeader* header) {
    std::lock_guard<std::mutex> lock(state().mutex);
    fake::FakePort* p = bufferCall(port, "unprepare");
    if (p == nullptr) return 5;
    if (isLent(p, header)) {
        state().bufferFaults.push_back("unprepare of a buffer lent");
        return 65;  // MIDIERR_STILLPLAYING
    }
    state().buffers.erase(header);
    return 0;
}

// Gives every lent buffer back, empty, on the calling thread (unless the
// device keeps them).
uint32_t platformMidiInReset(MidiPortRef port) {
    std::deque<MidiBufferHeader*> back;
    fake::FakePort copy;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        fake::FakePort* p = bufferCall(port, "reset");
        if (p == nullptr) return 5;
        p->stopped = true;
        p->started = false;
        if (!state().devices[p->device].keepsBuffers) back.swap(p->lent);
        copy = *p;
    }
    for (MidiBufferHeader* header : back) {
        copy.handler(nullptr, kMidiInLongData, copy.instance, reinterpret_cast<MidiParam>(header), 0);
    }
    return 0;
}

uint32_t platformMidiBufferBytes(const MidiBufferHeader* header) {
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().buffers[header].bytes;
}

uint32_t platformMidiInStart(MidiPortRef port) { return portCall(port, "start", &fake::Device::startResult, false, true); }
uint32_t platformMidiInStop(MidiPortRef port) { return portCall(port, "stop", &fake::Device::stopResult, false, false); }
uint32_t platformMidiInClose(MidiPortRef port) { return portCall(port, "close", &fake::Device::closeResult, true, false); }

uint32_t platformMidiOutCount() {
    std::lock_guard<std::mutex> lock(state().mutex);
    return static_cast<uint32_t>(state().outputs.size());
}

bool platformMidiOutName(uint32_t device, char* name, uint32_t capacity) {
    return listedName(state().outputs, device, name, capacity);
}

uint32_t platformMidiOutOpen(MidiOutRef* port, uint32_t device) {
    std::lock_guard<std::mutex> lock(state().mutex);
    *port = nullptr;
    if (device >= state().outputs.size()) return 2;  // MMSYSERR_BADDEVICEID
    if (state().outputs[device].openResult != 0) return state().outputs[device].openResult;
    if (state().outputsOpen[device]) return 4;  // MMSYSERR_ALLOCATED
    state().outputsOpen[device] = true;
    // A handle is the address of the output's open flag, so that none is null.
    *port = &state().outputsOpen[device];
    return 0;
}

// The output whose open flag the handle points to.
static uint32_t outputOf(const void* port) {
    for (auto& open : state().outputsOpen) {
        if (&open.second == port) return open.first;
    }
    return UINT32_MAX;
}

uint32_t platformMidiOutSend(MidiOutRef port, uint32_t message) {
    std::lock_guard<std::mutex> lock(state().mutex);
    uint32_t device = outputOf(port);
    if (device == UINT32_MAX || !state().outputsOpen[device]) return 5;  // MMSYSERR_INVALHANDLE
    if (state().outputs[device].sendResult != 0) return state().outputs[device].sendResult;
    state().outputMessages[device].push_back(message);
    return 0;
}

uint32_t platformMidiOutSendLong(MidiOutRef port, const uint8_t* bytes, uint32_t length, uint32_t) {
    std::lock_guard<std::mutex> lock(state().mutex);
    uint32_t device = outputOf(port);
    if (device == UINT32_MAX || !state().outputsOpen[device]) return 5;
    if (state().outputs[device].sendResult != 0) return state().outputs[device].sendResult;
    state().outputMessages[device].push_back(0xF0u | (length << 8));
    state().outputSysex[device].emplace_back(bytes, bytes + length);
    return 0;
}

uint32_t platformMidiOutClose(MidiOutRef port) {
    std::lock_guard<std::mutex> lock(state().mutex);
    uint32_t device = outputOf(port);
    if (device == UINT32_MAX || !state().outputsOpen[device]) return 5;
    state().outputsOpen[device] = false;
    return 0;
}
