// system_win32.cpp -- the platform seam on Win32: host window, tick, events,
// threads, module path, settings file and message boxes.
#include <windows.h>
#include <shlobj.h>

#include "platform/platform.h"

intptr_t platformSendMessage(WindowRef window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return static_cast<intptr_t>(
        SendMessageA(static_cast<HWND>(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)));
}

uint32_t platformTickCount() { return GetTickCount(); }

void platformSleep(uint32_t ms) { Sleep(ms); }

EventRef platformCreateEvent() { return CreateEventA(nullptr, FALSE, FALSE, nullptr); }

void platformSignalEvent(EventRef event) { SetEvent(static_cast<HANDLE>(event)); }

static_assert(kWaitForever == INFINITE, "no time-out");

WaitResult platformWaitEvent(EventRef event, uint32_t timeoutMs) {
    DWORD woke = WaitForSingleObject(static_cast<HANDLE>(event), timeoutMs);
    return woke == WAIT_OBJECT_0 ? kWaitSignalled : woke == WAIT_TIMEOUT ? kWaitTimedOut : kWaitFailed;
}

void platformYield() { SwitchToThread(); }

// The thread procedure the system calls; the entry travels as its argument.
static DWORD WINAPI threadMain(LPVOID entry) {
    reinterpret_cast<void (*)()>(entry)();
    return 0;
}

ThreadRef platformStartThread(void (*entry)()) {
    LPTHREAD_START_ROUTINE start = threadMain;
    DWORD id = 0;
    return CreateThread(nullptr, 0, start, reinterpret_cast<LPVOID>(entry), 0, &id);
}

bool platformJoinThread(ThreadRef thread, uint32_t timeoutMs) {
    HANDLE handle = static_cast<HANDLE>(thread);
    DWORD started = GetTickCount();
    bool ended = false;
    for (;;) {
        DWORD elapsed = GetTickCount() - started;
        if (elapsed >= timeoutMs) break;
        DWORD woke = MsgWaitForMultipleObjects(1, &handle, FALSE, timeoutMs - elapsed, QS_SENDMESSAGE);
        if (woke == WAIT_OBJECT_0) {
            ended = true;
            break;
        }
        if (woke != WAIT_OBJECT_0 + 1) break;
        // A message was sent to this thread: peeking serves it. Posted
        // messages stay in the queue for the host.
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    // Closed on both paths: nobody waits on the thread after this, and a
    // thread still running is not stopped by closing its handle.
    CloseHandle(handle);
    return ended;
}

void* platformAllocZeroed(size_t bytes) { return GlobalAlloc(GPTR, bytes); }

void platformFree(void* memory) { GlobalFree(memory); }

void platformKeepModuleLoaded() {
    // NOTE: pinned by an address inside it: a FreeLibrary by the host then
    // leaves the code where a late driver call can still run it.
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&platformKeepModuleLoaded), &module);
}

uint32_t platformModuleFileName(ModuleRef module, char* buffer, uint32_t capacity) {
    if (capacity == 0) return 0;
    DWORD length = GetModuleFileNameA(static_cast<HMODULE>(module), buffer, capacity);
    // A path that filled the whole buffer was cut short.
    if (length == 0 || length >= capacity) {
        buffer[0] = '\0';
        return 0;
    }
    return length;
}

int32_t platformProfileReadInt(const char* section, const char* key, int32_t fallback, const char* path) {
    return static_cast<int32_t>(GetPrivateProfileIntA(section, key, fallback, path));
}

void platformProfileReadString(const char* section, const char* key, char* value, uint32_t capacity,
                               const char* path) {
    if (capacity == 0) return;
    GetPrivateProfileStringA(section, key, "", value, capacity, path);
}

bool platformProfileWriteString(const char* section, const char* key, const char* value, const char* path) {
    return WritePrivateProfileStringA(section, key, value, path) != 0;
}

// The path the file calls use: a bare file name is the Windows folder's, as
// for the profile calls. False when it does not fit.
static bool fullPath(const char* path, char* out) {
    bool bare = true;
    for (const char* p = path; *p != '\0'; ++p) bare = bare && *p != '\\' && *p != '/' && *p != ':';
    out[0] = '\0';
    if (bare) {
        UINT length = GetWindowsDirectoryA(out, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return false;
        if (out[length - 1] != '\\') lstrcatA(out, "\\");
    }
    if (lstrlenA(out) + lstrlenA(path) >= MAX_PATH) return false;
    lstrcatA(out, path);
    return true;
}

bool platformCanWriteFile(const char* name) {
    char path[MAX_PATH];
    if (!fullPath(name, path)) return false;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool platformUserDataFolder(char* path, uint32_t capacity) {
    char folder[MAX_PATH];
    if (SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) {
        return false;
    }
    if (static_cast<uint32_t>(lstrlenA(folder)) >= capacity) return false;
    lstrcpyA(path, folder);
    return true;
}

bool platformCreateFolder(const char* path) {
    return CreateDirectoryA(path, nullptr) != 0 || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool platformCopyFileIfAbsent(const char* fromName, const char* toName) {
    char from[MAX_PATH], to[MAX_PATH];
    if (!fullPath(fromName, from) || !fullPath(toName, to)) return false;
    if (!CopyFileA(from, to, TRUE)) return GetLastError() == ERROR_FILE_EXISTS;
    // NOTE: a copy keeps the original's attributes, and a file on read-only
    // media is often marked read-only: the copy must not be.
    DWORD attributes = GetFileAttributesA(to);
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(to, attributes & ~FILE_ATTRIBUTE_READONLY);
    return true;
}

FileAccess platformFileAccess(const char* name) {
    char path[MAX_PATH];
    // A folder of the name holds no settings to lose.
    DWORD attributes = fullPath(name, path) ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return kFileMissing;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kFileUnreadable;
    CloseHandle(file);
    return kFileReadable;
}

char* platformReadFile(const char* name, uint32_t maxBytes, uint32_t* length) {
    char path[MAX_PATH];
    *length = 0;
    if (!fullPath(name, path)) return nullptr;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    char* text = nullptr;
    if (size != INVALID_FILE_SIZE && high == 0 && size <= maxBytes) {
        text = static_cast<char*>(platformAllocZeroed(size + 1));
    }
    DWORD got = 0;
    if (text != nullptr && (!ReadFile(file, text, size, &got, nullptr) || got != size)) {
        platformFree(text);
        text = nullptr;
    }
    CloseHandle(file);
    if (text != nullptr) *length = size;
    return text;
}

// Writes the whole text to the open file, from its start, and ends it there.
static bool writeWhole(HANDLE file, const char* text, uint32_t length) {
    DWORD written = 0;
    bool ok = SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0;
    ok = ok && WriteFile(file, text, length, &written, nullptr) && written == length;
    ok = ok && SetEndOfFile(file);
    ok = FlushFileBuffers(file) && ok;
    return CloseHandle(file) && ok;
}

bool platformReplaceFile(const char* name, const char* text, uint32_t length) {
    char path[MAX_PATH], temporary[MAX_PATH];
    if (!fullPath(name, path) || lstrlenA(path) + 5 >= MAX_PATH) return false;
    lstrcpyA(temporary, path);
    lstrcatA(temporary, ".new");
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // A folder that takes no new file may still let the file itself be
        // written, as the profile calls write it: in place, then.
        file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        return file != INVALID_HANDLE_VALUE && writeWhole(file, text, length);
    }
    // NOTE: one rename replaces the file, so that the player's other plug-ins,
    // which share it, read either the old text or the new, never a part.
    bool ok = writeWhole(file, text, length) &&
              MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileA(temporary);
    return ok;
}

void platformListFiles(const char* folder, const char* ending, void (*found)(const char* name, void* context),
                       void* context) {
    char pattern[MAX_PATH];
    if (!fullPath(folder, pattern) || lstrlenA(pattern) + 2 + lstrlenA(ending) >= MAX_PATH) return;
    lstrcatA(pattern, "\\*");
    lstrcatA(pattern, ending);
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern, &data);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) found(data.cFileName, context);
    } while (FindNextFileA(search, &data));
    FindClose(search);
}

// The device watch: one hidden, unowned top-level window, which is what the
// system broadcasts WM_DEVICECHANGE to (a message-only window hears nothing).
static const char kDeviceWatchClass[] = "NotewickDeviceWatch";
static void (*deviceWatchCallback)() = nullptr;
static void (*deviceWatchTick)(bool) = nullptr;
static const UINT_PTR kRetryTimer = 1, kTickTimer = 2;
static const UINT kNudgeMessage = WM_APP + 1;
static const WPARAM kDevNodesChanged = 0x0007;  // DBT_DEVNODES_CHANGED

static LRESULT CALLBACK deviceWatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        if (wParam == kDevNodesChanged && deviceWatchCallback != nullptr) deviceWatchCallback();
        return TRUE;
    }
    if (message == WM_TIMER && wParam == kRetryTimer) {
        if (deviceWatchCallback != nullptr) deviceWatchCallback();
        return 0;
    }
    if ((message == WM_TIMER && wParam == kTickTimer) || message == kNudgeMessage) {
        if (deviceWatchTick != nullptr) deviceWatchTick(message == kNudgeMessage);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

WindowRef platformStartDeviceWatch(ModuleRef module, void (*onChange)()) {
    WNDCLASSA windowClass = {};
    WNDPROC procedure = deviceWatchProc;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = static_cast<HINSTANCE>(module);
    windowClass.lpszClassName = kDeviceWatchClass;
    // A class of the same name left behind for this module (by a host that
    // unloaded it without quit) is replaced.
    if (RegisterClassA(&windowClass) == 0) {
        UnregisterClassA(kDeviceWatchClass, static_cast<HINSTANCE>(module));
        if (RegisterClassA(&windowClass) == 0) return nullptr;
    }
    deviceWatchCallback = onChange;
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, kDeviceWatchClass, "Notewick device watch", WS_POPUP, 0, 0, 0,
                                  0, nullptr, nullptr, static_cast<HINSTANCE>(module), nullptr);
    if (window == nullptr) {
        UnregisterClassA(kDeviceWatchClass, static_cast<HINSTANCE>(module));
        deviceWatchCallback = nullptr;
    }
    return window;
}

void platformStopDeviceWatch(ModuleRef module, WindowRef watch) {
    // NOTE: the system keeps a DLL's window classes after the DLL is unloaded;
    // a class left behind would point into freed code.
    DestroyWindow(static_cast<HWND>(watch));
    UnregisterClassA(kDeviceWatchClass, static_cast<HINSTANCE>(module));
    deviceWatchCallback = nullptr;
    deviceWatchTick = nullptr;
}

void platformSetDeviceWatchTimer(WindowRef watch, uint32_t intervalMs) {
    if (intervalMs == 0) {
        KillTimer(static_cast<HWND>(watch), kRetryTimer);
    } else {
        SetTimer(static_cast<HWND>(watch), kRetryTimer, intervalMs, nullptr);
    }
}

void platformSetDeviceWatchTick(WindowRef watch, uint32_t intervalMs, void (*onTick)(bool)) {
    deviceWatchTick = onTick;
    if (intervalMs == 0) {
        KillTimer(static_cast<HWND>(watch), kTickTimer);
    } else {
        SetTimer(static_cast<HWND>(watch), kTickTimer, intervalMs, nullptr);
    }
}

void platformNudgeDeviceWatch(WindowRef watch) { PostMessageA(static_cast<HWND>(watch), kNudgeMessage, 0, 0); }

void platformMessageBox(WindowRef owner, const char* text) {
    MessageBoxA(static_cast<HWND>(owner), text, nullptr, MB_OK);
}
