// settings.cpp -- which settings file, loading and saving, and the bindings
// section.
#include "core/settings.h"

#include "core/host.h"
#include "core/text.h"
#include "midi/gestures.h"

extern GeneralPurposePlugin pluginRecord;

PluginSettings pluginSettings = {-1, {0}, {0}, -1, {0}};

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

bool settingsFilePath(char* path) {
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
    // is read even where it cannot be written. A file beside the plug-in that
    // cannot be copied (another program holds it) stays the one: an empty
    // user's file made now would be read at every later start instead of it.
    if (platformFileAccess(user) == kFileMissing) {
        bool copied = platformFileAccess(beside) == kFileMissing ? platformCanWriteFile(user)
                                                                 : platformCopyFileIfAbsent(beside, user);
        if (!copied) return;
    }
    chosenFile[0] = '\0';
    appendText(chosenFile, sizeof chosenFile, user);
}

// True while the values in memory are defaults taken because the file was
// there but could not be read at start, and nothing has been saved since.
static bool unread = false;

bool settingsUnread() { return unread; }

void resetSettingsFile() {
    fileChosen = false;
    chosenFile[0] = '\0';
    unread = false;
}

// ---- The three keys ----------------------------------------------------------------------

// A device's name, read back exactly as it was written (quotes dropped).
static void readName(const char* key, char* name, const char* path) {
    // Room for the quotes a name may be written in: the reader may cut the
    // value to the buffer before it drops them.
    char value[kDeviceNameCapacity + 2];
    platformProfileReadString(kSettingsSection, key, value, sizeof value, path);
    name[0] = '\0';
    appendText(name, kDeviceNameCapacity, value);
}

// A time in milliseconds: `missing` when the key is not there or empty,
// `fallback` when its value is not a plain unsigned decimal number ("abc",
// "-5", "12ms"), which the integer reader would take as 0 or a negative
// number, and so as the least time.
static int32_t readTime(const char* key, uint32_t missing, uint32_t fallback, const char* path) {
    char value[32];
    platformProfileReadString(kSettingsSection, key, value, sizeof value, path);
    if (value[0] == '\0') return static_cast<int32_t>(missing);
    uint32_t ms = 0;
    for (const char* at = value; *at != '\0'; ++at) {
        if (*at < '0' || *at > '9') return static_cast<int32_t>(fallback);
        // Beyond any bound already: kept there, to be cut to the most.
        if (ms < 100000) ms = ms * 10 + static_cast<uint32_t>(*at - '0');
    }
    return static_cast<int32_t>(ms);
}

void loadSettings() {
    char path[kSettingsPathCapacity];
    if (!settingsFilePath(path)) return;
    unread = platformFileAccess(path) == kFileUnreadable;
    pluginSettings.midiDevice =
        platformProfileReadInt(kSettingsSection, kSettingsDeviceKey, pluginSettings.midiDevice, path);
    pluginSettings.midiChannel.store(
        platformProfileReadInt(kSettingsSection, kSettingsChannelKey, pluginSettings.midiChannel.load(), path));
    readName(kSettingsDeviceNameKey, pluginSettings.midiDeviceName, path);
    pluginSettings.midiOutDevice =
        platformProfileReadInt(kSettingsSection, kSettingsOutDeviceKey, pluginSettings.midiOutDevice, path);
    readName(kSettingsOutDeviceNameKey, pluginSettings.midiOutDeviceName, path);
    // Only read: a file without them has the defaults, and the plug-in never
    // writes them.
    setGestureTimes(readTime("HoldTime", holdTimeMs(), kDefaultHoldMs, path),
                    readTime("DoublePressTime", doublePressTimeMs(), kDefaultDoubleMs, path));
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
    if (!settingsFilePath(path)) return false;
    char device[12], channel[12], name[kDeviceNameCapacity + 2], outDevice[12], outName[kDeviceNameCapacity + 2];
    formatDecimal(pluginSettings.midiDevice, device);
    formatDecimal(pluginSettings.midiChannel.load(), channel);
    quoteIfNeeded(pluginSettings.midiDevice >= 0 ? pluginSettings.midiDeviceName : "", name, sizeof name);
    formatDecimal(pluginSettings.midiOutDevice, outDevice);
    quoteIfNeeded(pluginSettings.midiOutDevice >= 0 ? pluginSettings.midiOutDeviceName : "", outName, sizeof outName);
    // All are written, whatever became of the others.
    bool saved = platformProfileWriteString(kSettingsSection, kSettingsDeviceKey, device, path);
    saved = platformProfileWriteString(kSettingsSection, kSettingsChannelKey, channel, path) && saved;
    saved = platformProfileWriteString(kSettingsSection, kSettingsDeviceNameKey, name, path) && saved;
    saved = platformProfileWriteString(kSettingsSection, kSettingsOutDeviceKey, outDevice, path) && saved;
    saved = platformProfileWriteString(kSettingsSection, kSettingsOutDeviceNameKey, outName, path) && saved;
    if (saved) unread = false;
    return saved;
}

void saveSettingsAtQuit() {
    if (!unread) saveSettings();
}
