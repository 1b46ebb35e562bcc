// settings.cpp -- the settings path, loading and saving.
#include "core/settings.h"

#include "core/host.h"
#include "core/text.h"

extern GeneralPurposePlugin pluginRecord;

PluginSettings pluginSettings = {-1, {0}, {0}};

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
    // Room for the quotes a name may be written in: the reader may cut the
    // value to the buffer before it drops them.
    char name[kDeviceNameCapacity + 2];
    platformProfileReadString(kSettingsSection, kSettingsDeviceNameKey, name, sizeof name, path);
    pluginSettings.midiDeviceName[0] = '\0';
    appendText(pluginSettings.midiDeviceName, kDeviceNameCapacity, name);
}

// The system drops blanks around a value it reads (Wine counts vertical tabs,
// form feeds and 0x1A among them), and one pair of quotes around it: a name
// that begins or ends with either is written in quotes, so that it reads back
// exactly.
static bool dropsAtEdge(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A' || c == '"' || c == '\'';
}

static void quoteIfNeeded(const char* name, char* value, size_t capacity) {
    size_t length = 0;
    while (name[length] != '\0') ++length;
    bool edge = length > 0 && (dropsAtEdge(name[0]) || dropsAtEdge(name[length - 1]));
    value[0] = '\0';
    if (edge) appendText(value, capacity, "\"");
    appendText(value, capacity, name);
    if (edge) appendText(value, capacity, "\"");
}

void saveSettings() {
    char path[kSettingsPathCapacity];
    if (!settingsPath(pluginRecord.moduleInstance, path, sizeof path)) return;
    char value[12];
    formatDecimal(pluginSettings.midiDevice, value);
    platformProfileWriteString(kSettingsSection, kSettingsDeviceKey, value, path);
    formatDecimal(pluginSettings.midiChannel.load(), value);
    platformProfileWriteString(kSettingsSection, kSettingsChannelKey, value, path);
    char name[kDeviceNameCapacity + 2];
    quoteIfNeeded(pluginSettings.midiDevice >= 0 ? pluginSettings.midiDeviceName : "", name, sizeof name);
    platformProfileWriteString(kSettingsSection, kSettingsDeviceNameKey, name, path);
}

// ---- Bindings ----------------------------------------------------------------------

// Room for the section: 128 bindings of the longest form with their actions
// take under 6 KB, which leaves as much again for lines that are not used.
const uint32_t kSectionCapacity = 16384;

// The text without the blanks around it, in place.
static char* trimmed(char* text, char* end) {
    while (text < end && (*text == ' ' || *text == '\t')) ++text;
    while (end > text && (end[-1] == ' ' || end[-1] == '\t')) --end;
    *end = '\0';
    return text;
}

uint32_t readBindingLines(BindingLine* lines) {
    char path[kSettingsPathCapacity];
    if (!settingsPath(pluginRecord.moduleInstance, path, sizeof path)) return 0;
    char section[kSectionCapacity];
    platformProfileReadSection(kBindingsSection, section, sizeof section, path);
    uint32_t count = 0;
    for (char* line = section; *line != '\0' && count < kMaxBindings;) {
        char* next = line;
        while (*next != '\0') ++next;
        char* equals = line;
        while (equals < next && *equals != '=') ++equals;
        BindingLine& entry = lines[count];
        if (equals < next) {
            char* key = trimmed(line, equals);
            BindingAction action = parseBindingAction(trimmed(equals + 1, next));
            bool used = parseBindingSource(key, &entry.binding.source) && actionFits(action, entry.binding.source.kind);
            for (uint32_t i = 0; used && i < count; ++i) used = !sameSource(lines[i].binding.source, entry.binding.source);
            if (used) {
                entry.binding.action = action;
                entry.key[0] = '\0';
                appendText(entry.key, sizeof entry.key, key);
                ++count;
            }
        }
        line = next + 1;
    }
    return count;
}

bool writeBindingLine(const char* key, const char* action) {
    char path[kSettingsPathCapacity];
    return settingsPath(pluginRecord.moduleInstance, path, sizeof path) &&
           platformProfileWriteString(kBindingsSection, key, action, path);
}

void loadBindings() {
    BindingLine lines[kMaxBindings];
    Binding bindings[kMaxBindings];
    uint32_t count = readBindingLines(lines);
    for (uint32_t i = 0; i < count; ++i) bindings[i] = lines[i].binding;
    publishBindings(bindings, count);
}
