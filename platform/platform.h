// platform.h -- the few operating-system services the plug-in's logic uses.
//
// The logic (rules, window, settings path, description, dialog flows) never
// includes <windows.h>; it reaches the system only through these free
// functions. The DLL links the Win32 implementation (platform/win32/), the
// native unit tests link a fake (tests/fake/). Handles travel as opaque
// pointers of the platform's own size.
//
// Sections: handles; host window; time; events and threads; memory; module
// and settings file; files; device notifications; message boxes.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Handles ---------------------------------------------------------------
typedef void* WindowRef;  // a window (the host's main window, a dialog)
typedef void* ModuleRef;  // the plug-in module's instance handle
typedef void* EventRef;   // an auto-reset event
typedef void* ThreadRef;  // a running thread

// ---- Host window -----------------------------------------------------------
// Sends a message synchronously to a window and returns its answer
// (0 when the window is gone).
intptr_t platformSendMessage(WindowRef window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// ---- Time ------------------------------------------------------------------
// The system's millisecond tick; a 32-bit counter that wraps.
uint32_t platformTickCount();
// Lets the calling thread sleep for about ms milliseconds.
void platformSleep(uint32_t ms);

// ---- Events and threads ----------------------------------------------------
// An unnamed auto-reset event, initially not signalled; null on failure.
EventRef platformCreateEvent();
void platformSignalEvent(EventRef event);
// Waits at most timeoutMs for the event (kWaitForever: no time-out).
const uint32_t kWaitForever = 0xFFFFFFFFu;
enum WaitResult { kWaitSignalled, kWaitTimedOut, kWaitFailed };
WaitResult platformWaitEvent(EventRef event, uint32_t timeoutMs = kWaitForever);

// Gives the rest of the calling thread's time slice to another thread.
void platformYield();

// Starts a thread running entry() at once, with default attributes and stack
// size; null when the thread could not be started.
ThreadRef platformStartThread(void (*entry)());
// Waits at most timeoutMs for the thread to end while serving messages sent to
// the calling thread (the thread may be inside a synchronous send to a window
// that only the caller can answer). True when the thread has ended. The
// thread's handle is released either way: a thread that has not ended runs on
// without it.
bool platformJoinThread(ThreadRef thread, uint32_t timeoutMs);

// ---- Memory ------------------------------------------------------------------
// Zeroed memory; null when it cannot be had.
void* platformAllocZeroed(size_t bytes);
void platformFree(void* memory);

// ---- Module and settings file ----------------------------------------------
// Keeps the module loaded until the process ends, whatever its host does: a
// port that would not close may still call into it.
void platformKeepModuleLoaded();

// Writes the module's full file path, NUL-terminated, into buffer and returns
// its length; 0 when the path cannot be read or does not fit in capacity.
uint32_t platformModuleFileName(ModuleRef module, char* buffer, uint32_t capacity);

// The private-profile (INI) calls: read an integer, read a string (empty
// when the file or key is missing; the system drops blanks around the value
// and one pair of quotes enclosing it), write a string (a null value deletes
// the key; keys are found without regard to case, the first of a name).
int32_t platformProfileReadInt(const char* section, const char* key, int32_t fallback, const char* path);
void platformProfileReadString(const char* section, const char* key, char* value, uint32_t capacity,
                               const char* path);
bool platformProfileWriteString(const char* section, const char* key, const char* value, const char* path);
// True when the file can be opened for writing; it is created, empty, when
// missing (as the first write would create it).
bool platformCanWriteFile(const char* path);
// The user's own application-data folder (the system's, not an environment
// variable's), without a trailing backslash; false when there is none.
bool platformUserDataFolder(char* path, uint32_t capacity);
// Creates the folder; true when it exists afterwards.
bool platformCreateFolder(const char* path);
// Copies the file whole, unless `to` exists already; the copy can be written
// even where the original was read-only. True when `to` exists afterwards.
bool platformCopyFileIfAbsent(const char* from, const char* to);

// ---- Files -------------------------------------------------------------------
// A bare file name, as the profile calls do, means the file in the Windows
// folder.
enum FileAccess { kFileMissing, kFileReadable, kFileUnreadable };
// Whether the file is there, and whether it can be opened for reading (a file
// another program holds open without sharing cannot).
FileAccess platformFileAccess(const char* path);
// The whole file, NUL-terminated, in memory of platformAllocZeroed that the
// caller frees, its length in *length; null when it is missing, cannot be read
// or is longer than maxBytes.
char* platformReadFile(const char* path, uint32_t maxBytes, uint32_t* length);
// Gives the file this text at once: the text is written to a new file beside
// it, which then takes the file's place, so that a reader never sees it half
// written. False when either step fails; the file is then as it was.
bool platformReplaceFile(const char* path, const char* text, uint32_t length);

// Calls found(name, context) for each file in the folder whose name ends in
// `ending` (".ini"), its name without the folder, in the order the system
// lists them; nothing when the folder is missing.
void platformListFiles(const char* folder, const char* ending, void (*found)(const char* name, void* context),
                       void* context);

// ---- Device notifications ----------------------------------------------------
// Creates a hidden top-level window of the module's own on the calling thread,
// which calls onChange on that thread each time the system says its list of
// devices changed. Null when it cannot be made.
WindowRef platformStartDeviceWatch(ModuleRef module, void (*onChange)());
// Destroys that window and unregisters its window class: no notification
// reaches the module afterwards.
void platformStopDeviceWatch(ModuleRef module, WindowRef watch);
// Has the watch also call onChange every intervalMs, on its thread, until
// set again; 0 stops it.
void platformSetDeviceWatchTimer(WindowRef watch, uint32_t intervalMs);
// A second timer of the watch's: it calls onTick(false) on its thread every
// intervalMs (0: no timer), and onTick(true) once soon after each nudge.
void platformSetDeviceWatchTick(WindowRef watch, uint32_t intervalMs, void (*onTick)(bool nudged));
// From any thread, a MIDI driver's callback included (it only posts a
// message): the watch calls its onTick once, soon, on its own thread.
void platformNudgeDeviceWatch(WindowRef watch);

// ---- Message boxes ---------------------------------------------------------
// A modal box with the text, the system's default caption, no icon and an OK
// button.
void platformMessageBox(WindowRef owner, const char* text);
