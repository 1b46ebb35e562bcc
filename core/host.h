// host.h -- what the plug-in relies on from the host player: the descriptor
// record it hands out, and the command and request numbers it sends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// The descriptor record shared with the host: seven consecutive 32-bit fields
// in the shipping 32-bit build. The host fills hostWindow and moduleInstance
// before init; the plug-in never writes them.
struct GeneralPurposePlugin {
    int32_t version;          // always 16
    const char* description;  // empty until init
    int32_t (*initProc)();    // returns 0
    void (*configProc)();
    void (*quitProc)();
    WindowRef hostWindow;
    ModuleRef moduleInstance;
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(GeneralPurposePlugin) == 28, "the host reads a 28-byte record");
static_assert(offsetof(GeneralPurposePlugin, version) == 0, "record layout");
static_assert(offsetof(GeneralPurposePlugin, description) == 4, "record layout");
static_assert(offsetof(GeneralPurposePlugin, initProc) == 8, "record layout");
static_assert(offsetof(GeneralPurposePlugin, configProc) == 12, "record layout");
static_assert(offsetof(GeneralPurposePlugin, quitProc) == 16, "record layout");
static_assert(offsetof(GeneralPurposePlugin, hostWindow) == 20, "record layout");
static_assert(offsetof(GeneralPurposePlugin, moduleInstance) == 24, "record layout");
#endif

const int32_t kPluginRecordVersion = 16;

// Window messages the host answers.
const uint32_t kHostCommandMessage = 0x0111;  // WM_COMMAND: wParam = command, lParam = 0
const uint32_t kHostRequestMessage = 0x0400;  // WM_USER: wParam = argument, lParam = request

// Commands (the player function each one triggers).
const uint32_t CmdRepeat = 40022;     // toggle repeat
const uint32_t CmdShuffle = 40023;    // toggle shuffle
const uint32_t CmdOpen = 40029;       // open files
const uint32_t CmdEqualizer = 40036;  // equaliser window
const uint32_t CmdPlaylist = 40040;   // playlist window
const uint32_t CmdPrevious = 40044;
const uint32_t CmdPlay = 40045;
const uint32_t CmdPause = 40046;
const uint32_t CmdStop = 40047;
const uint32_t CmdNext = 40048;
const uint32_t CmdVolumeUp = 40058;
const uint32_t CmdVolumeDown = 40059;
const uint32_t CmdForward5s = 40060;  // fast-forward 5 s
const uint32_t CmdRewind5s = 40061;   // rewind 5 s

// Requests: ReqPlayState answers 1 while playing, 3 while paused, else 0;
// ReqPosition answers the position in the track in milliseconds (argument 0)
// or the track's length in seconds (argument 1); ReqJumpToTime takes the time
// in the track in milliseconds; ReqSetVolume takes 0..255, and with
// kAskVolume answers the volume instead; ReqSetBalance takes -127..127;
// ReqSetPlaylistPosition takes a 0-based entry, ReqStartPlay plays it;
// ReqPlaylistLength answers the number of entries; ReqShuffle and ReqRepeat
// answer 1 while on.
const uint32_t ReqStartPlay = 102;
const uint32_t ReqPlayState = 104;
const uint32_t ReqPosition = 105;
const uint32_t ReqJumpToTime = 106;
const uint32_t ReqSetPlaylistPosition = 121;
const uint32_t ReqSetVolume = 122;
const uint32_t ReqSetBalance = 123;
const uint32_t ReqPlaylistLength = 124;
const uint32_t ReqShuffle = 250;
const uint32_t ReqRepeat = 251;
const int32_t kAskVolume = -666;
const intptr_t kPlayStatePlaying = 1;
const intptr_t kPlayStatePaused = 3;

// Sends a command to the host window; the result is ignored.
void sendHostCommand(uint32_t command);
// Sends a request with its argument to the host window and returns the answer.
// The argument is signed: the window receives -666 as the system's -666.
intptr_t sendHostRequest(uint32_t request, int32_t argument);
