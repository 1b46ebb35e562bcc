// plugin.h -- the plug-in's entry from the host: the descriptor record, init,
// config and quit, and the main input port they own.
#pragma once

#include "core/host.h"
#include "core/version.h"
#include "midi/ports.h"

extern GeneralPurposePlugin pluginRecord;

// The port opened for pluginSettings.midiDevice; null while none is open.
// Only the user-interface thread touches it (core/main_port.h).
extern InputPort mainInputPort;

const char* const kVersionText = NOTEWICK_VERSION_TEXT;
const size_t kDescriptionCapacity = 512;

// The host's one entry into the module: the record's address, no side effects.
extern "C" GeneralPurposePlugin* winampGetGeneralPurposePlugin();

// True from the start of quit on: the dialogs still open then end, and open
// no port, write nothing and show nothing.
bool pluginHasQuit();

// A port was chosen that could not be opened, or one opened: the retry
// timer runs while some port waits, dialogs open or not, and only then.
void retryWhileWaiting();

// Back to the state at module load; for tests that run several lifecycles in
// one process.
void resetPluginState();
