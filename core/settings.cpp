// settings.cpp -- which settings file, loading and saving, and the bindings
// section.
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

// ---- Which file ------------------------------------------------------------------------

// The settings file init chose; before that, the one beside the module.
static char chosenFile[kSettingsPathCapacity];
static bool fileChosen = false;

// The settings file every read and write uses; false when there is none.
static bool settingsFile(char* path) {
    if (!fileChosen) return settingsPath(pluginRecord.moduleInstance, path, kSettingsPathCapacity);
    path[0] = '\0';
    return chosenFile[0] != '\0' && appendText(path, kSettingsPathCapacity, chosenFile);
}

void chooseSettingsFile() {
    fileChosen = true;
    chosenFile[0] = '\0';
    char beside[kSettingsPathCapacity];
    if (!settingsPath(pluginRecord.moduleInstance, beside, sizeof beside)) return;
    appendText(chosenFile, sizeof chosenFile, beside);
    if (platformCanWriteFile(beside)) return;
    // The player's folder cannot be written (Program Files for a user who has
    // not elevated, read-only media): the user's own folder can.
    char user[kSettingsPathCapacity];
    if (!platformUserDataFolder(user, sizeof user) || !appendText(user, sizeof user, "\\") ||
        !appendText(user, sizeof user, kPluginName) || !platformCreateFolder(user) ||
        !appendText(user, sizeof user, "\\") || !appendText(user, sizeof user, kSettingsFileName)) {
        return;
    }
    // The first time, everything the user had beside the plug-in comes along,
    // every section of it. A user's file already there is the newer one, and
    // is read even where it cannot be written; with neither, the file beside
    // the plug-in is still read.
    if (!platformCopyFileIfAbsent(beside, user) && !platformCanWriteFile(user)) return;
    chosenFile[0] = '\0';
    appendText(chosenFile, sizeof chosenFile, user);
}

void resetSettingsFile() {
    fileChosen = false;
    chosenFile[0] = '\0';
}

// ---- The three keys ----------------------------------------------------------------------

void loadSettings() {
    char path[kSettingsPathCapacity];
    if (!settingsFile(path)) return;
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
// form feeds, carriage returns and 0x1A among them), and one pair of quotes
// around it: a name that begins or ends with either is written in quotes, so
// that it reads back exactly.
static bool dropsAtEdge(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\x1A' || c == '"' || c == '\'';
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

bool saveSettings() {
    char path[kSettingsPathCapacity];
    if (!settingsFile(path)) return false;
    char device[12], channel[12], name[kDeviceNameCapacity + 2];
    formatDecimal(pluginSettings.midiDevice, device);
    formatDecimal(pluginSettings.midiChannel.load(), channel);
    quoteIfNeeded(pluginSettings.midiDevice >= 0 ? pluginSettings.midiDeviceName : "", name, sizeof name);
    // All three are written, whatever became of the others.
    bool saved = platformProfileWriteString(kSettingsSection, kSettingsDeviceKey, device, path);
    saved = platformProfileWriteString(kSettingsSection, kSettingsChannelKey, channel, path) && saved;
    return platformProfileWriteString(kSettingsSection, kSettingsDeviceNameKey, name, path) && saved;
}

// ---- Bindings ----------------------------------------------------------------------

// Room for the section: 128 bindings of the longest form with their actions
// take under 6 KB, which leaves much more for lines that are not used.
const uint32_t kSectionCapacity = 32768;

// The text without the blanks around it, in place.
static char* trimmed(char* text, char* end) {
    while (text < end && (*text == ' ' || *text == '\t')) ++text;
    while (end > text && (end[-1] == ' ' || end[-1] == '\t')) --end;
    *end = '\0';
    return text;
}

// One bit per source: kind, number, channel.
static uint32_t sourceBit(const BindingSource& source) {
    return (static_cast<uint32_t>(source.kind & 3) << 11) | (static_cast<uint32_t>(source.number & 0x7F) << 4) |
           (source.channel & 0x0F);
}

bool sourceNamed(const SourceSet& set, const BindingSource& source) {
    uint32_t bit = sourceBit(source);
    return (set.bits[bit >> 3] & (1u << (bit & 7))) != 0;
}

uint32_t readBindingLines(BindingLine* lines, SourceSet* named) {
    SourceSet claimed = {};
    char path[kSettingsPathCapacity];
    char section[kSectionCapacity];
    if (!settingsFile(path)) return 0;
    platformProfileReadSection(kBindingsSection, section, sizeof section, path);
    uint32_t count = 0;
    for (char* line = section; *line != '\0';) {
        char* next = line;
        while (*next != '\0') ++next;
        char* equals = line;
        while (equals < next && *equals != '=') ++equals;
        char* key = trimmed(line, equals);
        BindingSource source;
        // The first line that names a source is the one for it, used or not:
        // so each binding's own line is the first with its key, the line the
        // profile calls rewrite or delete.
        if (equals < next && parseBindingSource(key, &source) && !sourceNamed(claimed, source)) {
            uint32_t bit = sourceBit(source);
            claimed.bits[bit >> 3] = static_cast<uint8_t>(claimed.bits[bit >> 3] | (1u << (bit & 7)));
            BindingAction action = parseBindingAction(trimmed(equals + 1, next));
            if (count < kMaxBindings && actionFits(action, source.kind)) {
                lines[count].binding = Binding{source, action};
                lines[count].key[0] = '\0';
                appendText(lines[count].key, sizeof lines[count].key, key);
                ++count;
            }
        }
        line = next + 1;
    }
    if (named != nullptr) *named = claimed;
    return count;
}

bool writeBindingLine(const char* key, const char* action) {
    char path[kSettingsPathCapacity];
    return settingsFile(path) && platformProfileWriteString(kBindingsSection, key, action, path);
}

void loadBindings() {
    BindingLine lines[kMaxBindings];
    Binding bindings[kMaxBindings];
    uint32_t count = readBindingLines(lines);
    for (uint32_t i = 0; i < count; ++i) bindings[i] = lines[i].binding;
    publishBindings(bindings, count);
}
