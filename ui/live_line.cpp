// live_line.cpp -- the line both dialogs show: what the last message from the
// device in use did, or why it did nothing (midi/outcome.h), and before any
// message, what the plug-in listens to.
#include "core/controllers.h"
#include "core/main_port.h"
#include "core/plugin.h"
#include "core/settings.h"
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
        appendText(out, capacity, settingsUnread() ? "Notewick could not read its settings file (another program "
                                                     "holds it), so it listens to no MIDI device."
                                                   : "Notewick listens to no MIDI device.");
        return;
    }
    // The device watch leaves the port alone while a dialog is open: a port
    // whose device went meanwhile hears nothing.
    char current[kDeviceNameCapacity];
    deviceName(static_cast<uint32_t>(pluginSettings.midiDevice), current);
    bool open = mainInputPort != nullptr && textEquals(current, name);
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

// Shows the line, with the second one under it, when that changes what it shows.
static void showLine(WindowRef dialog, LiveLine* line, const char* second) {
    char text[sizeof line->shown];
    text[0] = '\0';
    appendText(text, sizeof text, line->first);
    if (second != nullptr) {
        appendText(text, sizeof text, "\n");
        appendText(text, sizeof text, second);
    }
    if (textEquals(text, line->shown)) return;
    line->shown[0] = '\0';
    appendText(line->shown, sizeof line->shown, text);
    platformSetItemText(dialog, IDC_LIVE_LINE, text);
}

void startLiveLine(WindowRef dialog, LiveLine* line, const char* second) {
    startLine(&line->seen);
    line->heard = false;
    describeListening(line->first, sizeof line->first);
    line->shown[0] = '\0';
    showLine(dialog, line, second);
    platformStartTimer(dialog, kLineIntervalMs);
}

void updateLiveLine(WindowRef dialog, LiveLine* line, const char* second) {
    char news[sizeof line->first];
    if (nextLine(&line->seen, news, sizeof news)) {
        line->heard = true;
        // With more than one device open, the line names the message's.
        line->first[0] = '\0';
        char name[kDeviceNameCapacity];
        deviceLabel(line->seen.device, name);
        // A port other than the first is named with it: "KeyLab mkII 61, port 2: ".
        bool otherPort = line->seen.port > 1;
        if ((devicesOpen() > 1 || otherPort) && name[0] != '\0') {
            appendText(line->first, sizeof line->first, name);
            if (otherPort) {
                char number[12];
                formatDecimal(static_cast<int32_t>(line->seen.port), number);
                appendText(line->first, sizeof line->first, ", port ");
                appendText(line->first, sizeof line->first, number);
            }
            appendText(line->first, sizeof line->first, ": ");
        }
        appendText(line->first, sizeof line->first, news);
    } else if (!line->heard) {
        describeListening(line->first, sizeof line->first);  // a device may have come or gone
    }
    showLine(dialog, line, second);
}
