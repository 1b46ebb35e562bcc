// live_line.cpp -- the line both dialogs show: what the last message from the
// device in use did, or why it did nothing (midi/outcome.h), and before any
// message, what the plug-in listens to.
#include "core/main_port.h"
#include "core/plugin.h"
#include "core/text.h"
#include "midi/outcome.h"
#include "midi/ports.h"
#include "platform/dialogs.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

// About ten times a second: a message shows while the user still looks at
// the control that sent it.
const uint32_t kLineIntervalMs = 100;

// "Notewick listens to USB MIDI Keyboard on channel 1."
static void describeListening(char* out, size_t capacity) {
    char name[kDeviceNameCapacity];
    configuredDeviceName(name);
    out[0] = '\0';
    if (pluginSettings.midiDevice < 0) {
        appendText(out, capacity, "Notewick listens to no MIDI device.");
        return;
    }
    bool open = mainInputPort != nullptr;
    // Not open: away, there but held by another program, or closed for now.
    bool present = open || findInputDevice(name, pluginSettings.midiDevice) >= 0;
    appendText(out, capacity,
               open                   ? "Notewick listens to "
               : !present             ? "Notewick waits for "
               : mainPortOpenFailed() ? "Notewick could not open "
                                      : "Notewick does not listen to ");
    appendText(out, capacity, name);
    appendText(out, capacity, present ? " on " : " (not connected) on ");
    int32_t channel = pluginSettings.midiChannel.load();
    char number[12];
    formatDecimal(channel + 1, number);
    appendText(out, capacity, channel < 0 || channel > 15 ? "no channel" : "channel ");
    if (channel >= 0 && channel <= 15) appendText(out, capacity, number);
    appendText(out, capacity, ". Press a key to see what it does.");
}

void startLiveLine(WindowRef dialog, LineState* seen) {
    startLine(seen);
    char text[160];
    describeListening(text, sizeof text);
    platformSetItemText(dialog, IDC_LIVE_LINE, text);
    platformStartTimer(dialog, kLineIntervalMs);
}

void updateLiveLine(WindowRef dialog, LineState* seen) {
    char text[200];
    if (nextLine(seen, text, sizeof text)) platformSetItemText(dialog, IDC_LIVE_LINE, text);
}
