// settings_scenarios.cpp -- hand-edited settings files (tests/data/settings/)
// through the real profile calls: the plug-in starts, shows only the promised
// messages, the worker follows the channel it read, quit writes plain decimal
// back, and the rest of the file is kept.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include <shlobj.h>

#include "tests/wine/host_support.h"
#include "ui/resource.h"

using namespace host;

namespace {

typedef std::vector<std::string> Texts;
typedef std::vector<Received> List;

const int kDevices = 3;  // the test driver's default

Texts lines(const std::string& all) {
    Texts out;
    std::string line;
    // A UTF-8 byte-order mark is not part of the first line.
    std::string text = all.compare(0, 3, "\xEF\xBB\xBF") == 0 ? all.substr(3) : all;
    for (char c : text) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            out.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) out.push_back(line);
    return out;
}

std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

// A line as the profile calls rewrite it: blanks around the key and value go,
// and around a section's name.
std::string normalised(const std::string& line) {
    size_t eq = line.find('=');
    std::string t = trim(line);
    if (!t.empty() && t[0] == '[' && t.find(']') != std::string::npos) {
        return "[" + trim(t.substr(1, t.find(']') - 1)) + "]" + t.substr(t.find(']') + 1);
    }
    if (eq == std::string::npos || t.empty() || t[0] == ';') return t;
    return trim(line.substr(0, eq)) + "=" + trim(line.substr(eq + 1));
}

bool isOurKey(const std::string& section, const std::string& line) {
    std::string key = lower(trim(line.substr(0, line.find('='))));
    return lower(section) == "notewick" && line.find('=') != std::string::npos &&
           (key == "mididevice" || key == "midichannel" || key == "mididevicename");
}

// The values under [Notewick] as written; false unless both are there.
bool writtenValues(const std::string& text, std::string* device, std::string* channel) {
    std::string section;
    bool haveDevice = false, haveChannel = false;
    for (const std::string& raw : lines(text)) {
        std::string line = trim(raw);
        if (!line.empty() && line[0] == '[') {
            section = trim(line.substr(1, line.find(']') - 1));
            continue;
        }
        if (!isOurKey(section, line)) continue;
        std::string key = lower(trim(line.substr(0, line.find('='))));
        std::string value = trim(line.substr(line.find('=') + 1));
        if (key == "mididevice" && !haveDevice) *device = value, haveDevice = true;
        if (key == "midichannel" && !haveChannel) *channel = value, haveChannel = true;
    }
    return haveDevice && haveChannel;
}

bool plainDecimal(const std::string& s) {
    size_t i = s.size() > 1 && s[0] == '-' ? 1 : 0;
    if (i == s.size()) return false;
    if (s[i] == '0' && s.size() > i + 1) return false;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
    }
    return s != "-0";
}

struct Expected {
    std::string file;
    int device;
    int channel;
};

std::vector<Expected> readExpectations(const std::string& dir) {
    std::vector<Expected> out;
    std::istringstream in(readFile(dir + "expected.txt"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Expected e;
        if (fields >> e.file >> e.device >> e.channel) out.push_back(e);
    }
    return out;
}

// Drives the worker and checks it follows the channel it read: keys on that
// channel (when it is one), nothing on others, a note-off on channel 16
// never a key, and the channel-16 controllers always.
void checkWorker(const Expected& e) {
    bool portOpen = e.device >= 0 && e.device < kDevices;
    UINT device = portOpen ? static_cast<UINT>(e.device) : 0;
    take();
    if (!portOpen) {
        play(device, midiNoteOn(0, 64, 90));
        play(device, midiController(15, 21, 127));
        check(take().empty(), "without a port nothing reaches the player", e.file);
        return;
    }
    bool channelValid = e.channel >= 0 && e.channel <= 15;
    if (channelValid) {
        play(device, midiNoteOn(static_cast<UINT>(e.channel), 64, 90));
        check(take() == List{command(40046)}, "a key on the channel read", e.file);
        play(device, midiNoteOn(static_cast<UINT>(e.channel + 1) % 16, 64, 90));
    } else {
        play(device, midiNoteOn(0, 64, 90));
        play(device, midiNoteOn(15, 64, 90));
        play(device, midiController(0, 1, 100));
    }
    play(device, midiNoteOff(15, 64));
    check(take().empty(), "other channels and note-offs send nothing", e.file);
    play(device, midiController(15, 21, 127));
    check(take() == List{command(40047)}, "the channel-16 controllers work", e.file);
}

void runOne(const std::string& dir, const Expected& e) {
    std::string original = readFile(dir + e.file);
    std::string ini = iniPath();
    SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
    writeFile(ini, original);
    bool readOnly = contains(e.file, "readonly");
    if (readOnly) SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_READONLY);

    size_t boxesBefore = messageBoxes().size();
    check(load() != nullptr && init() == 0, "the plug-in starts", e.file);
    bool expectBox = e.device >= kDevices;
    if (expectBox) waitForMessageBoxes(boxesBefore + 1, 3000);
    pump(100);
    Texts boxes = messageBoxes();
    Texts newBoxes(boxes.begin() + static_cast<long>(boxesBefore), boxes.end());
    check(newBoxes == (expectBox ? Texts{"Could not open MIDI device"} : Texts{}), "only the promised message",
          e.file + ": [" + joined(newBoxes) + "]");
    checkWorker(e);
    DWORD started = GetTickCount();
    quit();
    check(GetTickCount() - started < 3000, "quit is prompt", e.file);
    unload();
    SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::string after = readFile(ini);

    // Windows refuses to write a read-only file, which leaves it as it was;
    // Wine running as root writes it all the same. Either way the values and
    // every other line must be there as below.
    if (getenv("NOTEWICK_SHOW_WRITTEN") != nullptr) printf("---- %s\n%s\n----\n", e.file.c_str(), after.c_str());
    std::string device, channel;
    bool both = writtenValues(after, &device, &channel);
    check(both, "quit writes both keys", e.file + ":\n" + after);
    check(plainDecimal(device) && plainDecimal(channel), "in plain decimal", e.file + ": " + device + ", " + channel);
    check(device == std::to_string(e.device) && channel == std::to_string(e.channel), "the values read",
          e.file + ": wrote " + device + ", " + channel);
    // None of these files has a name: quit adds the name of the device it
    // opened, and an empty one when it opened none.
    bool opened = e.device >= 0 && e.device < kDevices;
    std::string name = opened ? "Test MIDI In " + std::to_string(e.device) : "";
    check(contains(after, "MIDIDeviceName=" + name + "\r\n"), "quit adds the device's name", e.file + ": " + after);
    printf("  %-32s device %s, channel %s\n", e.file.c_str(), device.c_str(), channel.c_str());

    // Everything else stays, in order, as the profile calls keep it.
    Texts kept;
    std::string section;
    for (const std::string& line : lines(after)) {
        std::string t = trim(line);
        if (!t.empty() && t[0] == '[') section = trim(t.substr(1, t.find(']') - 1));
        if (!t.empty() && !isOurKey(section, t)) kept.push_back(normalised(line));
    }
    size_t at = 0;
    section.clear();
    for (const std::string& line : lines(original)) {
        std::string t = trim(line);
        if (!t.empty() && t[0] == '[') section = trim(t.substr(1, t.find(']') - 1));
        if (t.empty() || isOurKey(section, t)) continue;
        std::string want = normalised(line);
        while (at < kept.size() && kept[at] != want) ++at;
        check(at < kept.size(), "the other lines are kept, in order", e.file + ": " + want);
        if (at == kept.size()) break;
        ++at;
    }
}

void corpus() {
    const char* dirText = getenv("NOTEWICK_SETTINGS_CORPUS");
    check(dirText != nullptr, "NOTEWICK_SETTINGS_CORPUS names the corpus");
    if (dirText == nullptr) return;
    std::string dir = windowsPath(dirText);
    if (dir.back() != '\\') dir += '\\';
    std::vector<Expected> expectations = readExpectations(dir);
    check(expectations.size() >= 30, "the corpus holds at least 30 files", std::to_string(expectations.size()));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "*.ini").c_str(), &found);
    size_t files = 0;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) ++files;
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    check(files == expectations.size(), "every file has its expectation");
    for (const Expected& e : expectations) runOne(dir, e);
}

// The user's own settings file, where the plug-in keeps its settings when
// its folder cannot be written.
std::string userSettingsFolder() {
    char folder[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    return std::string(folder) + "\\Notewick";
}

void chooseDevice1() {
    HWND config = waitForDialog(kConfigCaption);
    if (config == nullptr) return;
    selectEntry(config, IDC_DEVICE, 2);
    click(config, IDOK);
    waitUntilGone(config);
}

// plugin.ini is a directory, which not even root can write as a file: the
// settings go to the user's own file, and the next start reads them there.
void directory() {
    std::string ini = iniPath(), user = userSettingsFolder() + "\\plugin.ini";
    DeleteFileA(user.c_str());
    CreateDirectoryA(ini.c_str(), nullptr);
    check(load() != nullptr && init() == 0, "the plug-in starts");
    runConfigWithUser(chooseDevice1);
    check(midiIsOpen(1), "OK opens the device chosen");
    DWORD started = GetTickCount();
    quit();
    check(GetTickCount() - started < 3000, "quit is prompt");
    unload();
    check(messageBoxes().empty(), "no message", joined(messageBoxes()));
    check(contains(readFile(user), "MIDIDevice=1\r\n"), "the user's own file keeps the device", readFile(user));
    check(load() != nullptr && init() == 0, "the plug-in starts again");
    check(midiIsOpen(1) && midiOpenCount() == 1, "and opens the device from the user's own file");
    quit();
    unload();
    printf("the user's own settings file: %s\n", user.c_str());
    check(DeleteFileA(user.c_str()) != 0 && RemoveDirectoryA(userSettingsFolder().c_str()) != 0,
          "the scenario removes the file it made");
    check((GetFileAttributesA(ini.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0, "the directory is still there");
}

const ScenarioRegistration registrations[] = {
    {"settings_corpus", corpus},
    {"settings_directory", directory},
};

}  // namespace
