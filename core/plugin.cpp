// plugin.cpp -- the descriptor record, the export, and the init and quit
// sequences.
#include "core/plugin.h"

#include "core/bindings_section.h"
#include "core/controllers.h"
#include "core/hui_ping.h"
#include "core/main_port.h"
#include "core/output_port.h"
#include "core/settings.h"
#include "core/text.h"
#include "midi/bindings.h"
#include "midi/dispatch.h"
#include "midi/lights.h"
#include "midi/mailbox.h"
#include "midi/sysex_buffers.h"
#include "ui/dialogs.h"

// ---- Module state ---------------------------------------------------------

static int32_t initPlugin();
static void configPlugin();
static void quitPlugin();

static const char emptyDescription[] = "";
static char descriptionText[kDescriptionCapacity];  // filled by init

GeneralPurposePlugin pluginRecord = {
    kPluginRecordVersion, emptyDescription, initPlugin, configPlugin, quitPlugin, nullptr, nullptr,
};

InputPort mainInputPort = nullptr;

// The dispatch worker; null when it was not started.
static ThreadRef workerThread = nullptr;
// The hidden window that hears of devices coming and going; null without one.
static WindowRef deviceWatch = nullptr;

// Set when quit begins (user-interface thread only).
static bool quitBegun = false;

bool pluginHasQuit() { return quitBegun; }

// Quit waits this long at most for the drivers to give back the inputs'
// buffers, however many inputs are open.
const uint32_t kQuitCloseMs = 900;

// Quit waits this long at most for the worker to end.
const uint32_t kWorkerJoinTimeoutMs = 5000;

extern "C" GeneralPurposePlugin* winampGetGeneralPurposePlugin() { return &pluginRecord; }

// ---- Init ------------------------------------------------------------------

// "Notewick Plug-In v1.2 (gen_notewick.dll)", with the module's file name.
static void buildDescription() {
    char modulePath[kDescriptionCapacity];
    const char* fileName = "";
    if (platformModuleFileName(pluginRecord.moduleInstance, modulePath, sizeof modulePath) != 0) {
        fileName = fileNamePart(modulePath);
    }
    descriptionText[0] = '\0';
    appendText(descriptionText, sizeof descriptionText, kPluginName);
    appendText(descriptionText, sizeof descriptionText, " Plug-In v");
    appendText(descriptionText, sizeof descriptionText, kVersionText);
    appendText(descriptionText, sizeof descriptionText, " (");
    appendText(descriptionText, sizeof descriptionText, fileName);
    appendText(descriptionText, sizeof descriptionText, ")");
    pluginRecord.description = descriptionText;
}

static void startDispatchWorker() {
    EventRef wake = platformCreateEvent();
    // Without a working wake event the worker would never wait, so it is not
    // started at all; the plug-in then sends nothing, silently.
    if (wake == nullptr) return;
    messageMailbox.wakeEvent.store(wake);
    // If the thread cannot start, nothing else changes.
    workerThread = platformStartThread(runDispatchWorker);
}

// While a port is chosen and not open (another program held it, or it is
// away), it is tried again this often: Windows says nothing when another
// program lets a port go.
const uint32_t kRetryMs = 3000;
// Whether the watch's timer runs.
static bool retrying = false;

// The device watch's callback, and its timer's: every device's input and
// lights output follow their devices' names. The timer runs only while some
// port waits: with none, nothing wakes.
static void devicesChanged() {
    mainDeviceListChanged();
    controllersDeviceListChanged();
    outputDeviceListChanged();
    bindingsDevicesChanged();
    retryWhileWaiting();
}

void retryWhileWaiting() {
    bool waiting = mainPortWaiting() || controllersWaiting() || outputsWaiting();
    if (deviceWatch != nullptr && waiting != retrying) platformSetDeviceWatchTimer(deviceWatch, waiting ? kRetryMs : 0);
    retrying = waiting && deviceWatch != nullptr;
}

static int32_t initPlugin() {
    buildDescription();
    chooseSettingsFile();
    loadSettings();
    loadBindings();
    openMainPortAtStart();
    openOutputAtStart();
    loadControllers();
    // A message arriving before the event exists is stored and wakes nobody.
    startDispatchWorker();
    // Made last, on this thread, where the main port lives: nothing can be
    // notified before init has opened the port and shown its message.
    deviceWatch = platformStartDeviceWatch(pluginRecord.moduleInstance, devicesChanged);
    startHuiPing(deviceWatch);
    // NOTE: a keyboard switched on while that message was up was announced
    // to no one; look once, as a notification would.
    devicesChanged();
    return 0;
}

// ---- Config ----------------------------------------------------------------

// While the dialog was open, device changes were left to it; one missed then
// (a keyboard plugged in meanwhile) is looked at as soon as it closes.
static void configPlugin() {
    showConfigDialog();
    if (!quitBegun) devicesChanged();
}

// ---- Quit ------------------------------------------------------------------

static void quitPlugin() {
    // The player may quit from a message its window got inside one of the
    // plug-in's dialogs: they end now, closing what they opened, and do
    // nothing more when their loops return.
    quitBegun = true;
    endOpenDialogs();
    // First, so that no notification reaches the module during quit or
    // after the host has unloaded it.
    stopHuiPing();
    if (deviceWatch != nullptr) {
        platformStopDeviceWatch(pluginRecord.moduleInstance, deviceWatch);
        deviceWatch = nullptr;
    }
    // Every light dark before the worker ends, and before the inputs close:
    // a shift button held now, let go by the close, would be darkened by the
    // worker too. Nothing is sent after.
    closeOutputsAtQuit();
    // A port whose driver will not let it close may call into the module
    // after the host unloads it: the module then stays loaded. All are
    // stopped first, so that a driver that keeps their buffers holds quit up
    // kQuitCloseMs in all, not that long for every port.
    stopAllInputPorts(kQuitCloseMs);
    bool closed = closeMainPortAtQuit();
    if (!closeControllersAtQuit() || !closed) platformKeepModuleLoaded();
    boundSysexWaits(0);

    messageMailbox.stopFlag.store(1);
    EventRef wake = messageMailbox.wakeEvent.load();
    if (wake != nullptr) platformSignalEvent(wake);
    // NOTE: wait for the worker to end, so that no code of the module runs
    // after the host unloads it. The join serves messages sent to this thread
    // meanwhile: the worker may be inside a synchronous send to the host
    // window, which only this thread can answer.
    // The join releases the thread's handle whether or not the worker ended
    // in time.
    bool ended = workerThread == nullptr;
    if (workerThread != nullptr) {
        ended = platformJoinThread(workerThread, kWorkerJoinTimeoutMs);
        workerThread = nullptr;
    }
    saveSettingsAtQuit();
    resetBindingsSection();
    // The worker's tables go once it has ended; a worker that has not is
    // left what it reads.
    if (ended) {
        resetBindings();
        resetLights();
    }
}

void resetPluginState() {
    pluginRecord.description = emptyDescription;
    pluginRecord.hostWindow = nullptr;
    pluginRecord.moduleInstance = nullptr;
    descriptionText[0] = '\0';
    mainInputPort = nullptr;
    workerThread = nullptr;
    deviceWatch = nullptr;
    retrying = false;
    quitBegun = false;
    stopHuiPing();
    pluginSettings.midiDevice = -1;
    pluginSettings.midiChannel.store(0);
    pluginSettings.midiDeviceName[0] = '\0';
    pluginSettings.midiOutDevice = -1;
    pluginSettings.midiOutDeviceName[0] = '\0';
    resetOutputPort();
    for (std::atomic<uint32_t>& slot : messageMailbox.latestMessage) slot.store(0);
    messageMailbox.wakeEvent.store(nullptr);
    messageMailbox.stopFlag.store(0);
    resetDispatchState();
    resetMainPort();
    resetControllers();
    resetBindings();
    resetBindingsSection();
    resetSettingsFile();
}
