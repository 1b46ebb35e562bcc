// device_list.cpp -- a drop-down of MIDI devices, as the configuration
// dialog lists the inputs and the Bindings dialog the outputs.
#include "core/text.h"
#include "midi/ports.h"
#include "platform/dialogs.h"
#include "ui/dialogs.h"

const DeviceFunctions kInputDevices = {countInputDevices, deviceName, findInputDevice};
const DeviceFunctions kOutputDevices = {countOutputDevices, outputDeviceName, findOutputDevice};

// The list's index for a device; a stored index too large for the list
// gives no selection rather than an overflow.
static int32_t deviceListIndex(int32_t device) {
    int64_t index = static_cast<int64_t>(device) + 1;
    return index > INT32_MAX ? -1 : static_cast<int32_t>(index);
}

int32_t fillDeviceList(WindowRef dialog, uint32_t controlId, const DeviceFunctions& devices, int32_t device,
                       const char* name) {
    platformListAdd(dialog, controlId, "None");
    uint32_t count = devices.count();
    for (uint32_t i = 0; i < count; ++i) {
        char listed[kDeviceNameCapacity];
        devices.name(i, listed);
        platformListAdd(dialog, controlId, listed);
    }
    // A named device is shown where its name is now; one without a name (a
    // file from before names were kept) at its stored index.
    int32_t selected = deviceListIndex(device);
    int32_t away = -1;
    if (device >= 0 && name[0] != '\0') {
        int32_t found = devices.find(name, device);
        selected = found + 1;
        if (found < 0) {
            char entry[kDeviceNameCapacity + 16] = "";
            appendText(entry, sizeof entry, name);
            appendText(entry, sizeof entry, " (not connected)");
            platformListAdd(dialog, controlId, entry);
            away = platformListCount(dialog, controlId) - 1;
            selected = away;
        }
    }
    platformListSelect(dialog, controlId, selected);
    platformListFitDropDown(dialog, controlId);
    return away;
}
