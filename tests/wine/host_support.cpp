// host_support.cpp -- the stand-in player's window, loader, driver control
// and message-box watcher.
#include "tests/wine/host_support.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace host {
namespace {

typedef BOOL (*SendFn)(UINT, DWORD);
typedef BOOL (*WaitIdleFn)(DWORD);
typedef void (*SetResultFn)(UINT, UINT, DWORD);
typedef void (*SetNameFn)(UINT, const char*);
typedef void (*SetAwayFn)(UINT, BOOL);
typedef UINT (*OpenCountFn)();
typedef BOOL (*IsOpenFn)(UINT);
typedef void (*SetLateFn)(UINT, DWORD);
typedef BOOL (*BenchFn)(UINT, UINT, UINT, double*, double*);
typedef LONGLONG (*QpcFn)();
typedef UINT (*OutReceivedFn)(UINT, DWORD*, LONGLONG*, UINT);
typedef void (*OutSetAwayFn)(UINT, BOOL);
typedef void (*OutHoldsFn)(UINT, BOOL);
typedef void (*OutSetNameFn)(UINT, const char*);
typedef BOOL (*OutIsOpenFn)(UINT);
typedef BOOL (*SendSysexFn)(UINT, const BYTE*, UINT);
typedef void (*SetKeepsFn)(UINT, BOOL);
typedef BOOL (*StatsFn)(UINT, FakeMidiBufferStats*);
typedef void (*SetReplyFn)(UINT, UINT, const BYTE*, UINT);
typedef LONG (*InquiriesFn)(UINT);

struct State {
    HWND window = nullptr;
    HMODULE plugin = nullptr;
    PluginRecord* record = nullptr;
    std::string dllPath;
    std::vector<Received> received;
    size_t taken = 0;
    LRESULT playState = 0;
    bool shuffle = false, repeat = false, followCommands = false;
    int volume = 128;
    int trackLength = 0, position = 0, balance = 0, playlistLength = 0, playlistPosition = 0;
    OutReceivedFn outReceived = nullptr;
    OutSetAwayFn outSetAway = nullptr;
    OutHoldsFn outHolds = nullptr;
    OutSetNameFn outSetName = nullptr;
    OutIsOpenFn outIsOpen = nullptr;
    DWORD commandDelay = 0;
    void (*onReceive)(const Received&) = nullptr;
    SendFn send = nullptr;
    WaitIdleFn waitIdle = nullptr;
    SetResultFn setResult = nullptr;
    SetNameFn setName = nullptr;
    SetAwayFn setAway = nullptr;
    OpenCountFn openCount = nullptr;
    IsOpenFn isOpen = nullptr;
    SetLateFn setLate = nullptr;
    BenchFn bench = nullptr;
    QpcFn lastQpc = nullptr;
    SendSysexFn sendSysex = nullptr;
    SetKeepsFn setKeeps = nullptr;
    StatsFn stats = nullptr;
    SetNameFn setPath = nullptr;
    OutSetNameFn outSetPath = nullptr;
    SetReplyFn setReply = nullptr;
    InquiriesFn inquiries = nullptr;
    bool watchBoxes = true;
    void (*onMessageBox)(const std::string&) = nullptr;
    HDESK desktop = nullptr;  // this process's own desktop, if it has one
    CRITICAL_SECTION boxLock;
    CRITICAL_SECTION receivedLock;  // the user's thread reads what the player's thread records
    std::vector<std::string> boxes;
    LONG failures = 0;
};
State s;

// Posted to the player's window: open the plug-in's configuration, as the
// player's preferences do.
const UINT kConfigureMessage = WM_APP + 7;
// Posted to the player's window: stop the plug-in, as the player does when it
// closes, whatever dialog loop is running then.
const UINT kQuitMessage = WM_APP + 8;

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kConfigureMessage) {
        s.record->config();
        return 0;
    }
    if (message == kQuitMessage) {
        s.record->quit();
        return 0;
    }
    if (message == WM_COMMAND || message == WM_USER) {
        Received r;
        r.request = message == WM_USER;
        r.id = r.request ? static_cast<UINT>(lParam) : static_cast<UINT>(wParam);
        r.argument = r.request ? static_cast<UINT>(wParam) : 0;
        r.tick = GetTickCount();
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        r.qpc = now.QuadPart;
        EnterCriticalSection(&s.receivedLock);
        s.received.push_back(r);
        LeaveCriticalSection(&s.receivedLock);
        if (s.onReceive != nullptr) s.onReceive(r);
        if (!r.request && s.commandDelay != 0) Sleep(s.commandDelay);
        if (!r.request && s.followCommands) {
            if (r.id == 40045) s.playState = 1;
            if (r.id == 40046) s.playState = s.playState == 1 ? 3 : s.playState == 3 ? 1 : s.playState;
            if (r.id == 40047) s.playState = 0;
            if (r.id == 40023) s.shuffle = !s.shuffle;
            if (r.id == 40022) s.repeat = !s.repeat;
        }
        if (!r.request) return 0;
        switch (r.id) {
            case 104: return s.playState;
            case 250: return s.shuffle ? 1 : 0;
            case 251: return s.repeat ? 1 : 0;
            case 122:
                if (static_cast<INT_PTR>(wParam) == -666) return s.volume;
                s.volume = static_cast<int>(wParam);
                return 0;
            case 105: return wParam == 0 ? s.position : wParam == 1 ? s.trackLength : -1;
            case 106: s.position = static_cast<int>(wParam); return 0;
            case 121: s.playlistPosition = static_cast<int>(wParam); return 0;
            case 102: s.playState = 1; return 0;
            case 123: s.balance = static_cast<int>(static_cast<INT_PTR>(wParam)); return 0;
            case 124: return s.playlistLength;
            default: return 0;
        }
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

BOOL CALLBACK collectText(HWND child, LPARAM out) {
    char className[32], text[256];
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0) {
        std::string* all = reinterpret_cast<std::string*>(out);
        if (!all->empty()) *all += "\n";
        *all += text;
    }
    return TRUE;
}

BOOL CALLBACK dismissBox(HWND hwnd, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char className[32];
    GetClassNameA(hwnd, className, sizeof className);
    if (pid != GetCurrentProcessId() || lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    // A message box has an OK button (id 1) and no dialog caption of ours.
    char caption[128];
    GetWindowTextA(hwnd, caption, sizeof caption);
    if (GetDlgItem(hwnd, IDOK) == nullptr || GetPropA(hwnd, "host.seen") != nullptr) return TRUE;
    if (lstrcmpA(caption, "Error") != 0) return TRUE;  // the default caption of a message box
    std::string text;
    EnumChildWindows(hwnd, collectText, reinterpret_cast<LPARAM>(&text));
    SetPropA(hwnd, "host.seen", reinterpret_cast<HANDLE>(1));
    if (s.onMessageBox != nullptr) s.onMessageBox(text);
    EnterCriticalSection(&s.boxLock);
    s.boxes.push_back(text);
    LeaveCriticalSection(&s.boxLock);
    PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDOK)));
    return TRUE;
}

DWORD WINAPI boxWatcher(LPVOID) {
    joinDesktop();
    for (;;) {
        EnumWindows(dismissBox, 0);
        Sleep(20);
    }
}

// GetProcAddress's result as the function type the export has.
template <typename Function>
Function procAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

std::string windowsPath(const char* path) {
    std::string p = path;
    if (!p.empty() && p[0] == '/') {
        p = "Z:" + p;
        for (char& c : p) c = c == '/' ? '\\' : c;
    }
    return p;
}

bool operator==(const Received& a, const Received& b) {
    return a.request == b.request && a.id == b.id && a.argument == b.argument;
}
Received command(UINT id) { return Received{false, id, 0, 0, 0}; }
Received request(UINT number, UINT argument) { return Received{true, number, argument, 0, 0}; }

const char* commandName(UINT id) {
    switch (id) {
        case 40022: return "Repeat";
        case 40023: return "Shuffle";
        case 40029: return "Open files";
        case 40036: return "Equaliser";
        case 40040: return "Playlist";
        case 40044: return "Previous";
        case 40045: return "Play";
        case 40046: return "Pause";
        case 40047: return "Stop";
        case 40048: return "Next";
        case 40058: return "Volume up";
        case 40059: return "Volume down";
        case 40060: return "Forward 5 s";
        case 40061: return "Rewind 5 s";
        default: return "unknown command";
    }
}

std::string describe(const std::vector<Received>& list) {
    std::string out;
    for (const Received& r : list) {
        char line[96];
        if (r.request) {
            snprintf(line, sizeof line, "%sreq %u(%u)", out.empty() ? "" : " ", r.id, r.argument);
        } else {
            snprintf(line, sizeof line, "%scmd %u", out.empty() ? "" : " ", r.id);
        }
        out += line;
    }
    return out.empty() ? "nothing" : out;
}

bool enterOwnDesktop(const char* name) {
    s.desktop = CreateDesktopA(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    return s.desktop != nullptr && SetThreadDesktop(s.desktop);
}

void joinDesktop() {
    if (s.desktop != nullptr) SetThreadDesktop(s.desktop);
}

bool start(const char* dllPath) {
    InitializeCriticalSection(&s.boxLock);
    InitializeCriticalSection(&s.receivedLock);
    s.dllPath = windowsPath(dllPath);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "NotewickTestPlayer";
    RegisterClassA(&wc);
    s.window = CreateWindowA("NotewickTestPlayer", "Test player", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                             nullptr, wc.hInstance, nullptr);
    HMODULE driver = LoadLibraryA("winefake.drv");
    if (driver == nullptr || s.window == nullptr) return false;
    s.send = procAddress<SendFn>(driver, "fakeMidiSend");
    s.waitIdle = procAddress<WaitIdleFn>(driver, "fakeMidiWaitIdle");
    s.setResult = procAddress<SetResultFn>(driver, "fakeMidiSetResult");
    s.setName = procAddress<SetNameFn>(driver, "fakeMidiSetName");
    s.setAway = procAddress<SetAwayFn>(driver, "fakeMidiSetAway");
    s.openCount = procAddress<OpenCountFn>(driver, "fakeMidiOpenCount");
    s.isOpen = procAddress<IsOpenFn>(driver, "fakeMidiIsOpen");
    s.setLate = procAddress<SetLateFn>(driver, "fakeMidiSetLateDelivery");
    s.bench = procAddress<BenchFn>(driver, "fakeMidiBenchHandler");
    s.lastQpc = procAddress<QpcFn>(driver, "fakeMidiLastDeliveryQpc");
    s.outReceived = procAddress<OutReceivedFn>(driver, "fakeMidiOutReceived");
    s.outSetAway = procAddress<OutSetAwayFn>(driver, "fakeMidiOutSetAway");
    s.outHolds = procAddress<OutHoldsFn>(driver, "fakeMidiOutSetHoldsSysex");
    s.outSetName = procAddress<OutSetNameFn>(driver, "fakeMidiOutSetName");
    s.outIsOpen = procAddress<OutIsOpenFn>(driver, "fakeMidiOutIsOpen");
    s.sendSysex = procAddress<SendSysexFn>(driver, "fakeMidiSendSysex");
    s.setKeeps = procAddress<SetKeepsFn>(driver, "fakeMidiSetKeepsBuffers");
    s.stats = procAddress<StatsFn>(driver, "fakeMidiBufferStats");
    s.setPath = procAddress<SetNameFn>(driver, "fakeMidiSetInterfacePath");
    s.outSetPath = procAddress<OutSetNameFn>(driver, "fakeMidiOutSetInterfacePath");
    s.setReply = procAddress<SetReplyFn>(driver, "fakeMidiOutSetIdentityReply");
    s.inquiries = procAddress<InquiriesFn>(driver, "fakeMidiOutInquiries");
    // The benchmark measures idle wake-ups: no polling thread then.
    if (getenv("NOTEWICK_NO_BOX_WATCHER") == nullptr) CreateThread(nullptr, 0, boxWatcher, nullptr, 0, nullptr);
    // Start the driver and winmm now, so that the threads they start are
    // there before the plug-in is loaded and do not count as its own.
    HMODULE winmm = LoadLibraryA("winmm.dll");
    typedef UINT(WINAPI * CountFn)();
    CountFn count = winmm != nullptr ? procAddress<CountFn>(winmm, "midiInGetNumDevs") : nullptr;
    if (count != nullptr) count();
    if (s.openCount != nullptr) s.openCount();
    return s.send && s.waitIdle && s.setResult && s.setName && s.setAway && s.openCount && s.isOpen && s.setLate && s.bench &&
           s.lastQpc && s.outReceived && s.outSetAway && s.outHolds && s.outSetName && s.outIsOpen && s.sendSysex && s.setKeeps &&
           s.stats && s.setPath && s.outSetPath && s.setReply && s.inquiries;
}

std::string widths() {
    std::string dll = "unreadable";
    HANDLE file = CreateFileA(s.dllPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    IMAGE_DOS_HEADER dos = {};
    DWORD got = 0;
    if (file != INVALID_HANDLE_VALUE && ReadFile(file, &dos, sizeof dos, &got, nullptr) && got == sizeof dos &&
        SetFilePointer(file, dos.e_lfanew + 4, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
        WORD machine = 0;
        if (ReadFile(file, &machine, sizeof machine, &got, nullptr) && got == sizeof machine) {
            dll = machine == IMAGE_FILE_MACHINE_I386 ? "i386" : machine == IMAGE_FILE_MACHINE_AMD64 ? "x86-64" : "other";
        }
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return std::to_string(sizeof(void*) * 8) + "-bit player, " + dll + " DLL";
}

std::string pluginDirectory() {
    size_t cut = s.dllPath.rfind('\\');
    return cut == std::string::npos ? std::string() : s.dllPath.substr(0, cut + 1);
}
std::string iniPath() { return pluginDirectory() + "plugin.ini"; }
std::string mapsFolder() {
    std::string folder = pluginDirectory() + "Notewick Maps\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

PluginRecord* load() {
    s.plugin = LoadLibraryA(s.dllPath.c_str());
    if (s.plugin == nullptr) return nullptr;
    typedef PluginRecord* (*GetRecord)();
    GetRecord get = procAddress<GetRecord>(s.plugin, "winampGetGeneralPurposePlugin");
    if (get == nullptr) return nullptr;
    s.record = get();
    return s.record;
}

int init() {
    s.record->hwndParent = s.window;
    s.record->hDllInstance = s.plugin;
    return s.record->init();
}
void quit() { s.record->quit(); }
void unload() {
    FreeLibrary(s.plugin);
    s.plugin = nullptr;
    s.record = nullptr;
}
bool pluginStillLoaded() { return GetModuleHandleA(s.dllPath.c_str()) != nullptr; }
PluginRecord* record() { return s.record; }

void setPlayState(LRESULT answer) { s.playState = answer; }
void setShuffle(bool on) { s.shuffle = on; }
void setRepeat(bool on) { s.repeat = on; }
void setVolume(int volume) { s.volume = volume; }
int volume() { return s.volume; }
void setPlayerFollowsCommands(bool follow) { s.followCommands = follow; }
void setTrack(int lengthSeconds, int positionMs) {
    s.trackLength = lengthSeconds;
    s.position = positionMs;
}
int position() { return s.position; }
int balance() { return s.balance; }
void setPlaylistLength(int entries) { s.playlistLength = entries; }
int playlistPosition() { return s.playlistPosition; }

std::string hexMessages(const std::vector<DWORD>& messages) {
    std::string out;
    for (DWORD m : messages) {
        char text[16];
        snprintf(text, sizeof text, "%s%06lX", out.empty() ? "" : " ", static_cast<unsigned long>(m));
        out += text;
    }
    return out.empty() ? "nothing" : out;
}

std::vector<DWORD> midiOutReceived(UINT device, std::vector<LONGLONG>* times) {
    static DWORD messages[4096];
    static LONGLONG at[4096];
    UINT count = s.outReceived(device, messages, at, 4096);
    if (times != nullptr) times->assign(at, at + count);
    return std::vector<DWORD>(messages, messages + count);
}
void midiOutSetAway(UINT device, bool away) { s.outSetAway(device, away ? TRUE : FALSE); }
void midiOutSetHoldsSysex(UINT device, bool holds) { s.outHolds(device, holds ? TRUE : FALSE); }
bool midiOutIsOpen(UINT device) { return s.outIsOpen(device) != FALSE; }
void midiOutSetName(UINT device, const char* name) { s.outSetName(device, name); }
void midiSetInterfacePath(UINT device, const char* path) { s.setPath(device, path); }
void midiOutSetInterfacePath(UINT device, const char* path) { s.outSetPath(device, path); }
void midiOutSetIdentityReply(UINT device, UINT input, const std::vector<BYTE>& reply) {
    s.setReply(device, input, reply.data(), static_cast<UINT>(reply.size()));
}
LONG midiOutInquiries(UINT device) { return s.inquiries(device); }
void setCommandDelayMs(DWORD delay) { s.commandDelay = delay; }
void setOnReceive(void (*hook)(const Received&)) { s.onReceive = hook; }
HWND window() { return s.window; }

void serveUntilEnded(HANDLE thread, DWORD timeoutMs) {
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, timeoutMs, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) pump(0);
}

void pump(DWORD ms) {
    DWORD started = GetTickCount();
    for (;;) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        DWORD elapsed = GetTickCount() - started;
        if (elapsed >= ms) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    }
}

std::vector<Received> take() {
    EnterCriticalSection(&s.receivedLock);
    std::vector<Received> out(s.received.begin() + static_cast<long>(s.taken), s.received.end());
    s.taken = s.received.size();
    LeaveCriticalSection(&s.receivedLock);
    return out;
}

std::vector<Received> waitForReceived(size_t count, DWORD timeoutMs) {
    std::vector<Received> got;
    DWORD started = GetTickCount();
    for (;;) {
        std::vector<Received> more = take();
        got.insert(got.end(), more.begin(), more.end());
        if (got.size() >= count || GetTickCount() - started > timeoutMs) break;
        Sleep(5);
    }
    Sleep(100);  // and nothing more
    std::vector<Received> more = take();
    got.insert(got.end(), more.begin(), more.end());
    return got;
}

bool midiSend(UINT device, DWORD message) { return s.send(device, message) != FALSE; }
bool midiWaitIdle(DWORD timeoutMs) { return s.waitIdle(timeoutMs) != FALSE; }
bool midiSendSysex(UINT device, const std::vector<BYTE>& message) {
    return s.sendSysex(device, message.data(), static_cast<UINT>(message.size())) != FALSE;
}
void midiSetKeepsBuffers(UINT device, bool keeps) { s.setKeeps(device, keeps ? TRUE : FALSE); }
FakeMidiBufferStats midiBufferStats(UINT device) {
    FakeMidiBufferStats stats = {};
    s.stats(device, &stats);
    return stats;
}
void midiSetResult(UINT device, UINT call, DWORD code) { s.setResult(device, call, code); }
void midiSetName(UINT device, const char* name) { s.setName(device, name); }
void midiSetAway(UINT device, bool away) { s.setAway(device, away ? TRUE : FALSE); }

namespace {
BOOL CALLBACK notifyDeviceChange(HWND hwnd, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId()) {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(hwnd, WM_DEVICECHANGE, 0x0007 /* DBT_DEVNODES_CHANGED */, 0, SMTO_NORMAL, 5000,
                            &result);
    }
    return TRUE;
}
DWORD WINAPI broadcastThread(LPVOID) {
    joinDesktop();
    EnumWindows(notifyDeviceChange, 0);
    return 0;
}
}  // namespace

void broadcastDeviceChange() {
    HANDLE thread = CreateThread(nullptr, 0, broadcastThread, nullptr, 0, nullptr);
    // The player's own thread serves the sends meanwhile; another thread (the
    // user's, while a dialog runs) leaves that to the dialog's loop.
    if (GetCurrentThreadId() == GetWindowThreadProcessId(s.window, nullptr)) {
        serveUntilEnded(thread, 10000);
    } else {
        WaitForSingleObject(thread, 10000);
    }
    CloseHandle(thread);
}
UINT midiOpenCount() { return s.openCount(); }
bool midiIsOpen(UINT device) { return s.isOpen(device) != FALSE; }
void midiSetLateDelivery(UINT device, DWORD message) { s.setLate(device, message); }
bool midiBenchHandler(UINT device, UINT iterations, UINT spacingMs, double* handlerNs, double* setEventNs) {
    return s.bench(device, iterations, spacingMs, handlerNs, setEventNs) != FALSE;
}
LONGLONG midiLastDeliveryQpc() { return s.lastQpc(); }
void midiUnplug(UINT device) {
    for (UINT call = 0; call < 5; ++call) s.setResult(device, call, MMSYSERR_NODRIVER);
}

void play(UINT device, DWORD message, DWORD settleMs) {
    midiSend(device, message);
    midiWaitIdle();
    pump(settleMs);
}

std::vector<std::string> messageBoxes() {
    EnterCriticalSection(&s.boxLock);
    std::vector<std::string> out = s.boxes;
    LeaveCriticalSection(&s.boxLock);
    return out;
}

void setOnMessageBox(void (*hook)(const std::string&)) { s.onMessageBox = hook; }

bool waitForMessageBoxes(size_t count, DWORD timeoutMs) {
    DWORD started = GetTickCount();
    while (messageBoxes().size() < count) {
        if (GetTickCount() - started > timeoutMs) return false;
        pump(20);
    }
    return true;
}

std::string readFile(const std::string& path) {
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) return "<no file>";
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    fclose(f);
    return out;
}

bool writeFile(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok;
}

std::set<DWORD> threadIds() {
    std::set<DWORD> out;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snap, &entry); more; more = Thread32Next(snap, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) out.insert(entry.th32ThreadID);
    }
    CloseHandle(snap);
    return out;
}

int threadCount() { return static_cast<int>(threadIds().size()); }

namespace {
volatile LONG flooding = 0;
volatile LONG floodSent = 0;
HANDLE flooder = nullptr;

// Paced by the tick: as many E4 note-ons on the device as are due.
DWORD WINAPI floodThread(LPVOID device) {
    DWORD started = GetTickCount();
    LONG sent = 0;
    while (InterlockedCompareExchange(&flooding, 0, 0) != 0) {
        LONG due = static_cast<LONG>((GetTickCount() - started) * (kFloodRate / 1000));
        for (; sent < due; ++sent) midiSend(static_cast<UINT>(reinterpret_cast<UINT_PTR>(device)), midiNoteOn(0, 64, 90));
        InterlockedExchange(&floodSent, sent);
        Sleep(1);
    }
    return 0;
}
}  // namespace

void startFlood(UINT device) {
    InterlockedExchange(&floodSent, 0);
    InterlockedExchange(&flooding, 1);
    flooder = CreateThread(nullptr, 0, floodThread, reinterpret_cast<LPVOID>(static_cast<UINT_PTR>(device)), 0, nullptr);
}

long stopFlood() {
    InterlockedExchange(&flooding, 0);
    WaitForSingleObject(flooder, 5000);
    CloseHandle(flooder);
    flooder = nullptr;
    midiWaitIdle(5000);
    return InterlockedCompareExchange(&floodSent, 0, 0);
}

void check(bool ok, const char* what, const std::string& detail) {
    if (ok) return;
    InterlockedIncrement(reinterpret_cast<volatile LONG*>(&s.failures));
    printf("FAIL: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    fflush(stdout);
}
int failures() { return static_cast<int>(InterlockedCompareExchange(&s.failures, 0, 0)); }

DWORD midiNoteOn(UINT channel, UINT note, UINT velocity) { return (0x90 + channel) | (note << 8) | (velocity << 16); }
DWORD midiNoteOff(UINT channel, UINT note) { return (0x80 + channel) | (note << 8) | (64u << 16); }
DWORD midiController(UINT channel, UINT number, UINT value) {
    return (0xB0 + channel) | (number << 8) | (value << 16);
}
DWORD midiPitchBend(UINT channel, UINT low, UINT high) { return (0xE0 + channel) | (low << 8) | (high << 16); }

}  // namespace host

namespace host {

namespace {
DWORD WINAPI userThread(LPVOID user) {
    joinDesktop();
    reinterpret_cast<void (*)()>(user)();
    return 0;
}
}  // namespace

void runConfigWithUser(void (*user)()) {
    HANDLE thread = CreateThread(nullptr, 0, userThread, reinterpret_cast<LPVOID>(user), 0, nullptr);
    s.record->config();
    serveUntilEnded(thread, 20000);
    CloseHandle(thread);
}

namespace {
struct DialogSearch {
    const char* caption;
    HWND found;
    int count;
};

// Only this process's windows: scenarios running at the same time share the
// desktop, and must never find each other's dialogs.
BOOL CALLBACK matchOwnDialog(HWND hwnd, LPARAM param) {
    DialogSearch* search = reinterpret_cast<DialogSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char className[32] = "", text[128] = "";
    GetClassNameA(hwnd, className, sizeof className);
    GetWindowTextA(hwnd, text, sizeof text);
    if (pid != GetCurrentProcessId() || lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(hwnd) ||
        lstrcmpA(text, search->caption) != 0) {
        return TRUE;
    }
    search->found = hwnd;
    ++search->count;
    return TRUE;
}
}  // namespace

HWND findOwnDialog(const char* caption) {
    DialogSearch search = {caption, nullptr, 0};
    EnumWindows(matchOwnDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int countOwnDialogs(const char* caption) {
    DialogSearch search = {caption, nullptr, 0};
    EnumWindows(matchOwnDialog, reinterpret_cast<LPARAM>(&search));
    return search.count;
}

namespace {
BOOL CALLBACK countModuleWindow(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<std::pair<HMODULE, int>*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId() &&
        reinterpret_cast<HMODULE>(GetClassLongPtrA(hwnd, GCLP_HMODULE)) == search->first) {
        ++search->second;
    }
    return TRUE;
}
}  // namespace

int topLevelWindowsOf(HMODULE module) {
    std::pair<HMODULE, int> search(module, 0);
    EnumWindows(countModuleWindow, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

void askPlayerToConfigure() { PostMessageA(s.window, kConfigureMessage, 0, 0); }
void askPlayerToQuit() { PostMessageA(s.window, kQuitMessage, 0, 0); }

HWND activeWindowOfPlayer() {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(s.window, nullptr), &info);
    return info.hwndActive;
}

// The focus window of the player's thread.
static HWND focusOfPlayer() {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(s.window, nullptr), &info);
    return info.hwndFocus;
}

bool pressKeyAsTheKeyboardWould(UINT key, bool alt) {
    // Keys go to the focus window of the player's thread. (With no focus they
    // would reach the active window as system keys, which no dialog takes.)
    HWND target = focusOfPlayer();
    if (target == nullptr) return false;
    if (alt) {
        // An accelerator reaches the dialog as the character with Alt down.
        WPARAM character = key >= 'A' && key <= 'Z' ? key - 'A' + 'a' : key;
        PostMessageA(target, WM_SYSCHAR, character, 0x20000001);
        return true;
    }
    PostMessageA(target, WM_KEYDOWN, key, 0x00000001);
    PostMessageA(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
    return true;
}

bool pressEnterAsTheKeyboardWould() { return pressKeyAsTheKeyboardWould(VK_RETURN); }

int focusedControlOfPlayer() {
    HWND focus = focusOfPlayer();
    return focus == nullptr ? 0 : GetDlgCtrlID(focus);
}

HWND waitForDialog(const char* caption, DWORD timeoutMs) {
    DWORD started = GetTickCount();
    for (;;) {
        HWND found = findOwnDialog(caption);
        if (found != nullptr) return found;
        if (GetTickCount() - started > timeoutMs) return nullptr;
        Sleep(10);
    }
}

bool waitUntilGone(HWND window, DWORD timeoutMs) {
    DWORD started = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - started > timeoutMs) return false;
        Sleep(5);
    }
    return true;
}

void click(HWND dialog, int controlId) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, controlId)));
}

void clickWithMouse(HWND dialog, int controlId) { PostMessageA(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0); }

namespace {
bool isListBox(HWND dialog, int controlId) {
    char className[16] = "";
    GetClassNameA(GetDlgItem(dialog, controlId), className, sizeof className);
    return lstrcmpiA(className, "ListBox") == 0;
}
}  // namespace

std::vector<std::string> listEntries(HWND dialog, int controlId) {
    bool listBox = isListBox(dialog, controlId);
    std::vector<std::string> out;
    LRESULT count = SendDlgItemMessageA(dialog, controlId, listBox ? LB_GETCOUNT : CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[256] = "";
        SendDlgItemMessageA(dialog, controlId, listBox ? LB_GETTEXT : CB_GETLBTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(text));
        out.push_back(text);
    }
    return out;
}

int listSelection(HWND dialog, int controlId) {
    return static_cast<int>(
        SendDlgItemMessageA(dialog, controlId, isListBox(dialog, controlId) ? LB_GETCURSEL : CB_GETCURSEL, 0, 0));
}

void selectEntry(HWND dialog, int controlId, int index) {
    SendDlgItemMessageA(dialog, controlId, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void chooseEntry(HWND dialog, int controlId, int index) {
    HWND list = GetDlgItem(dialog, controlId);
    bool listBox = isListBox(dialog, controlId);
    SendMessageA(list, listBox ? LB_SETCURSEL : CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, listBox ? LBN_SELCHANGE : CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    // As the mouse picks it from a drop-down list: the list closes after.
    if (!listBox) PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, CBN_CLOSEUP), reinterpret_cast<LPARAM>(list));
}

std::string controlText(HWND dialog, int controlId) {
    char text[1024] = "";
    GetDlgItemTextA(dialog, controlId, text, sizeof text);
    return text;
}

bool textFits(HWND dialog, int controlId) {
    HWND control = GetDlgItem(dialog, controlId);
    std::string text = controlText(dialog, controlId);
    RECT client, needed;
    GetClientRect(control, &client);
    needed = client;
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    DrawTextA(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return needed.bottom <= client.bottom && needed.right <= client.right;
}

bool waitForText(HWND dialog, int controlId, const std::string& text, DWORD timeoutMs) {
    DWORD started = GetTickCount();
    while (controlText(dialog, controlId) != text) {
        if (GetTickCount() - started > timeoutMs) return false;
        Sleep(5);
    }
    return true;
}

}  // namespace host

namespace host {

namespace {
struct Registered {
    const char* name;
    void (*run)();
};
std::vector<Registered>& registry() {
    static std::vector<Registered> all;
    return all;
}
}  // namespace

ScenarioRegistration::ScenarioRegistration(const char* name, void (*run)()) { registry().push_back({name, run}); }

void (*findScenario(const char* name))() {
    for (const Registered& r : registry()) {
        if (strcmp(r.name, name) == 0) return r.run;
    }
    return nullptr;
}

void writeSettings(int device, int channel, const char* name) {
    char text[192];
    snprintf(text, sizeof text, "[Notewick]\r\nMIDIDevice=%d\r\nMIDIChannel=%d\r\n", device, channel);
    std::string all = text;
    if (name != nullptr) all += std::string("MIDIDeviceName=") + name + "\r\n";
    writeFile(iniPath(), all);
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string joined(const std::vector<std::string>& texts) {
    std::string out;
    for (const std::string& t : texts) out += (out.empty() ? "" : ", ") + t;
    return out;
}

}  // namespace host
