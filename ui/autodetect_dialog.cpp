// autodetect_dialog.cpp -- finds the device and channel from one key press.
//
// While the dialog is open every MIDI input device is open with the
// detection handler. The handler runs on the driver's thread and only stores
// and posts: the system forbids multimedia calls such as reading a device's
// name inside a MIDI callback, and a label set from the driver's thread would
// wait on the user-interface thread, which may at that moment be closing the
// ports and waiting on the driver: both would wait forever. The dialog's own
// thread reads the name and sets the labels when the posted message arrives.
#include "core/plugin.h"
#include "core/text.h"
#include "platform/dialogs.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

// ---- Detection state (exists once: at most one autodetect dialog) ----------

std::atomic<uint32_t> latestDetection{kNoDetection};
// The open dialog, for the handler to post to; null while none is open.
static std::atomic<WindowRef> autodetectWindow{nullptr};
// 1 while a posted notification has not been handled, so that a flood of
// note-ons posts once rather than filling the dialog's queue.
static std::atomic<uint32_t> notifyPending{0};
// The ports, one per device present at opening, each with the name its
// device had then: the name of the device a key press came from, however
// Windows has numbered the devices since (owned by the UI thread).
struct DetectionPort {
    InputPort port;
    char name[kDeviceNameCapacity];
};
static DetectionPort* detectionPorts = nullptr;
static uint32_t detectionPortCount = 0;
// True while the dialog runs (UI thread only): a second one would share the
// ports array above and leave the first one's devices open.
static bool autodetectRunning = false;

static void onAutodetectInit(WindowRef dialog);
static void onAutodetectCommand(WindowRef dialog, uint32_t controlId, uint32_t);
static void onAutodetectNotify(WindowRef dialog);

static const DialogHandlers autodetectHandlers = {onAutodetectInit, onAutodetectCommand, onAutodetectNotify,
                                                  nullptr};

void runAutodetectDialog() {
    if (autodetectRunning) return;
    autodetectRunning = true;
    platformRunDialog(pluginRecord.moduleInstance, IDD_AUTODETECT, pluginRecord.hostWindow, &autodetectHandlers);
    autodetectRunning = false;
}

void MIDI_CALLBACK detectionHandler(MidiCallbackPort, unsigned int message, MidiParam instance, MidiParam param1,
                                    MidiParam) {
    if (message != kMidiInData) return;
    uint32_t status = static_cast<uint32_t>(param1) & 0xFFu;
    // A note-on on any channel; the velocity is not looked at, so 0 counts.
    if (status < 0x90 || status > 0x9F) return;
    latestDetection.store(packDetection(static_cast<uint32_t>(instance), status - 0x90));
    WindowRef dialog = autodetectWindow.load();
    if (dialog != nullptr && notifyPending.exchange(1) == 0) {
        if (!platformPostNotify(dialog)) notifyPending.store(0);
    }
}

static void onAutodetectInit(WindowRef dialog) {
    latestDetection.store(kNoDetection);
    notifyPending.store(0);
    autodetectWindow.store(dialog);
    detectionPortCount = countInputDevices();
    detectionPorts = detectionPortCount == 0 ? nullptr
                                             : static_cast<DetectionPort*>(
                                                   platformAllocZeroed(detectionPortCount * sizeof(DetectionPort)));
    // Without the array nothing is watched: the labels stay "None" and OK
    // changes nothing.
    if (detectionPorts == nullptr) detectionPortCount = 0;
    for (uint32_t i = 0; i < detectionPortCount; ++i) {
        // A device that cannot be opened (in use elsewhere, say) is silently
        // not watched.
        deviceName(i, detectionPorts[i].name);
        // Short messages only: no buffers for system-exclusive ones.
        detectionPorts[i].port = openInputPort(i, detectionHandler, i, false);
    }
}

// The name of the device a detection came from, as it was at opening.
static void detectedName(uint32_t word, char* name) {
    uint32_t device = static_cast<uint32_t>(detectedDevice(word));
    if (device >= detectionPortCount) {
        deviceName(device, name);  // a late call from a port of an earlier dialog
        return;
    }
    name[0] = '\0';
    appendText(name, kDeviceNameCapacity, detectionPorts[device].name);
}

static void onAutodetectNotify(WindowRef dialog) {
    notifyPending.store(0);
    uint32_t word = latestDetection.load();
    if (word == kNoDetection) return;
    char name[kDeviceNameCapacity];
    detectedName(word, name);
    platformSetItemText(dialog, IDC_DETECTED_PORT, name);
    char channel[12];
    formatDecimal(detectedChannel(word) + 1, channel);
    platformSetItemText(dialog, IDC_DETECTED_CHANNEL, channel);
}

// Every way out (OK, Cancel, the close box, Escape) closes every port and
// frees the array.
static void closeAutodetect(WindowRef dialog) {
    autodetectWindow.store(nullptr);
    for (uint32_t i = 0; i < detectionPortCount; ++i) closeInputPort(detectionPorts[i].port);  // null ones just fail
    if (detectionPorts != nullptr) platformFree(detectionPorts);
    detectionPorts = nullptr;
    detectionPortCount = 0;
    platformEndDialog(dialog);
}

void endAutodetectDialog() {
    WindowRef dialog = autodetectWindow.load();
    if (autodetectRunning && dialog != nullptr) closeAutodetect(dialog);
}

static void onAutodetectCommand(WindowRef dialog, uint32_t controlId, uint32_t) {
    if (controlId == kDialogOk) {
        uint32_t word = latestDetection.load();  // one load: device and channel of the same key press
        if (word != kNoDetection) {
            // Selected by its name: the list may be older than the device's
            // number. A device added after the configuration dialog filled
            // its list is not in it, which leaves the list with no selection.
            char name[kDeviceNameCapacity];
            detectedName(word, name);
            selectListedDevice(name, detectedDevice(word) + 1);
            platformListSelect(configDialogWindow, IDC_CHANNEL, detectedChannel(word));
        }
        closeAutodetect(dialog);
    } else if (controlId == kDialogCancel) {
        closeAutodetect(dialog);
    }
}
