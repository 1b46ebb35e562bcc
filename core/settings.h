// settings.h -- the settings file "plugin.ini", beside the plug-in module or
// in the user's own folder.
//
// One section, three keys:
//   [Notewick]
//   MIDIDevice=0                      0-based input device, -1 for none
//   MIDIChannel=9                     0-based channel (9 is MIDI channel 10)
//   MIDIDeviceName=USB MIDI Keyboard  that device's name; empty for none
// The two numbers are plain signed decimal. A file without the name (from
// before names were kept, or edited by hand) is read as it always was, and
// the next save adds it. Other sections and keys are left as they are.
#pragma once

#include <cstddef>

#include "core/types.h"
#include "midi/bindings.h"
#include "platform/platform.h"

const char* const kPluginName = "Notewick";  // also the section name
const char* const kSettingsSection = kPluginName;
const char* const kSettingsDeviceKey = "MIDIDevice";
const char* const kSettingsChannelKey = "MIDIChannel";
const char* const kSettingsDeviceNameKey = "MIDIDeviceName";
const char* const kSettingsFileName = "plugin.ini";
// The user's bindings, one line each (midi/bindings.h).
const char* const kBindingsSection = "Notewick Bindings";

const size_t kSettingsPathCapacity = 260;

// The settings file's path for the module: its directory (backslash kept)
// followed by "plugin.ini", or the bare "plugin.ini" when the module path has
// no backslash. False when the module path cannot be read or the result does
// not fit, so that nothing is read from or written to a truncated path.
bool settingsPath(ModuleRef module, char* path, size_t capacity);

// Init chooses the settings file once: "plugin.ini" beside the module where
// it can be written (created when missing), else the user's own
// APPDATA\Notewick\plugin.ini, into which the first time the file beside the
// module is copied whole. Where neither can be written, the file beside the
// module is still read. Every read and write goes to the chosen file; before
// init, to the one beside the module.
void chooseSettingsFile();
void resetSettingsFile();  // for tests

// Read the settings, keeping the current values where the file or a key is
// missing. Values are used as read.
void loadSettings();
// Write the settings, changed or not; false when they could not all be
// written. The name is written empty for no device.
bool saveSettings();

// A binding as its line in the file has it: the key as written there, so that
// the Bindings dialog rewrites or deletes that very line.
struct BindingLine {
    Binding binding;
    char key[kBindingKeyCapacity];
};

// The sources the section's lines name, used or not: one bit each.
struct SourceSet {
    uint8_t bits[4 * 128 * 16 / 8];
};
bool sourceNamed(const SourceSet& set, const BindingSource& source);

// The bindings the section's lines make, in file order, at most
// kMaxBindings; lines that are not used are left out (and left in the file).
// The first line that names a source is the one for it: a later line for the
// same source is not used, even where the first is not used either. `named`
// (unless null) gets every source the lines name.
uint32_t readBindingLines(BindingLine* lines, SourceSet* named = nullptr);
// Writes key=action into the section, or deletes the key's line for a null
// action; false when the file cannot be written.
bool writeBindingLine(const char* key, const char* action);
// Init: reads the bindings and hands them to the worker.
void loadBindings();
