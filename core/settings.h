// settings.h -- the settings file "plugin.ini", beside the plug-in module or
// in the user's own folder.
//
// One section, five keys:
//   [Notewick]
//   MIDIDevice=0                      0-based input device, -1 for none
//   MIDIChannel=9                     0-based channel (9 is MIDI channel 10)
//   MIDIDeviceName=USB MIDI Keyboard  that device's name; empty for none
//   MIDIOutDevice=1                   0-based output device for the lights, -1 for none
//   MIDIOutDeviceName=Pad Out         that output's name; empty for none
// The two numbers are plain signed decimal. A file without the name (from
// before names were kept, or edited by hand) is read as it always was, and
// the next save adds it. Other sections and keys are left as they are.
#pragma once

#include <cstddef>

#include "core/types.h"
#include "platform/platform.h"

const char* const kPluginName = "Notewick";  // also the section name
const char* const kSettingsSection = kPluginName;
const char* const kSettingsDeviceKey = "MIDIDevice";
const char* const kSettingsChannelKey = "MIDIChannel";
const char* const kSettingsDeviceNameKey = "MIDIDeviceName";
const char* const kSettingsOutDeviceKey = "MIDIOutDevice";
const char* const kSettingsOutDeviceNameKey = "MIDIOutDeviceName";
const char* const kSettingsFileName = "plugin.ini";
// The user's bindings, one line each (midi/bindings.h).
const char* const kBindingsSection = "Notewick Bindings";
// Each controller added beside the configured device: "Notewick Controller
// N", N from 1 to 8 (core/controllers.h).
const char* const kControllerSection = "Notewick Controller";

const size_t kSettingsPathCapacity = 260;

// The settings file's path for the module: its directory (backslash kept)
// followed by "plugin.ini", or the bare "plugin.ini" when the module path has
// no backslash. False when the module path cannot be read or the result does
// not fit, so that nothing is read from or written to a truncated path.
bool settingsPath(ModuleRef module, char* path, size_t capacity);

// Init chooses the settings file once: "plugin.ini" beside the module where
// it can be written (created when missing), else the user's own
// APPDATA\Notewick\plugin.ini, into which the first time the file beside the
// module is copied whole. Where neither can be written, and where the file
// beside the module is there but cannot be copied (another program holds
// it), the file beside the module is still the one: no per-user file is made
// that would hide it. Every read and write goes to the chosen file; before
// init, to the one beside the module.
void chooseSettingsFile();
void resetSettingsFile();  // for tests

// Read the settings, keeping the current values where the file or a key is
// missing. Values are used as read.
void loadSettings();
// Write the settings, changed or not; false when they could not all be
// written. The name is written empty for no device.
bool saveSettings();
// Quit writes them too, unless the file was there but could not be read at
// start and nothing has been saved since: the values then are defaults the
// user never chose, and the file still holds the user's own.
void saveSettingsAtQuit();
// True while the values in memory are defaults taken because the file was
// there but could not be read at start, and nothing has been saved since.
bool settingsUnread();

// The settings file every read and write uses, into path
// (kSettingsPathCapacity bytes); false, and path empty, when there is none.
bool settingsFilePath(char* path);
