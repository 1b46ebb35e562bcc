// settings.cpp -- the settings path, loading and saving.
#include "core/settings.h"

#include "core/host.h"
#include "core/text.h"

extern GeneralPurposePlugin pluginRecord;

PluginSettings pluginSettings = {-1, {0}};

bool settingsPath(ModuleRef module, char* path, size_t capacity) {
    if (capacity == 0) return false;
    uint32_t length = platformModuleFileName(module, path, static_cast<uint32_t>(capacity));
    if (length == 0 || length >= capacity) {
        path[0] = '\0';
        return false;
    }
    // Cut right after the last backslash; with none, keep nothing of the path.
    size_t cut = 0;
    for (size_t i = length; i > 0; --i) {
        if (path[i - 1] == '\\') {
            cut = i;
            break;
        }
    }
    path[cut] = '\0';
    if (!appendText(path, capacity, kSettingsFileName)) {
        path[0] = '\0';
        return false;
    }
    return true;
}

void loadSettings() {
    char path[kSettingsPathCapacity];
    if (!settingsPath(pluginRecord.moduleInstance, path, sizeof path)) return;
    pluginSettings.midiDevice =
        platformProfileReadInt(kSettingsSection, kSettingsDeviceKey, pluginSettings.midiDevice, path);
    pluginSettings.midiChannel.store(
        platformProfileReadInt(kSettingsSection, kSettingsChannelKey, pluginSettings.midiChannel.load(), path));
}

void saveSettings() {
    char path[kSettingsPathCapacity];
    if (!settingsPath(pluginRecord.moduleInstance, path, sizeof path)) return;
    char value[12];
    formatDecimal(pluginSettings.midiDevice, value);
    platformProfileWriteString(kSettingsSection, kSettingsDeviceKey, value, path);
    formatDecimal(pluginSettings.midiChannel.load(), value);
    platformProfileWriteString(kSettingsSection, kSettingsChannelKey, value, path);
}
