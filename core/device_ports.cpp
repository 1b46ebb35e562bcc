// device_ports.cpp -- the system's MIDI ports grouped into devices: by the
// USB instance their interface paths name, else by Windows' names for a
// device's further ports.
#include "core/device_ports.h"

#include <cstring>

#include "core/text.h"
#include "platform/device_interface.h"
#include "platform/midi_input.h"
#include "platform/midi_output.h"

// ---- Instances ----------------------------------------------------------------------------

// Copies [start, end) in lower case after what key holds, as far as it fits.
static void appendLower(char* key, size_t capacity, const char* start, const char* end) {
    size_t length = strlen(key);
    for (const char* c = start; c < end && length + 1 < capacity; ++c) key[length++] = lowerCase(*c);
    key[length] = '\0';
}

bool instanceKeyFromPath(const char* path, char* key, size_t capacity) {
    key[0] = '\0';
    if (path == nullptr || capacity == 0) return false;
    if (strncmp(path, "\\\\?\\", 4) == 0 || strncmp(path, "\\\\.\\", 4) == 0) path += 4;
    // The device's part ends where the interface's class GUID begins.
    const char* end = strstr(path, "#{");
    if (end == nullptr) end = path + strlen(path);
    const char* firstHash = static_cast<const char*>(memchr(path, '#', static_cast<size_t>(end - path)));
    if (firstHash == nullptr) return false;
    const char* start = path;
    if (rangeEqualsAnyCase(path, firstHash, "usb")) start = firstHash + 1;  // every key here would begin so
    const char* hardwareEnd = static_cast<const char*>(memchr(start, '#', static_cast<size_t>(end - start)));
    if (hardwareEnd == nullptr) hardwareEnd = end;
    // "vid_1235&pid_0113&mi_01": an interface of a composite device. Its
    // instance ends in the interface's number ("7&2d5a7b1&0&0001"); without
    // both, the parent's instance is what its interfaces share.
    const char* interfacePart = nullptr;
    for (const char* c = start; c + 4 <= hardwareEnd; ++c) {
        if (rangeEqualsAnyCase(c, c + 4, "&mi_")) interfacePart = c;
    }
    if (interfacePart == nullptr) {
        appendLower(key, capacity, start, end);
        return key[0] != '\0';
    }
    const char* afterInterface = interfacePart + 4;
    while (afterInterface < hardwareEnd && *afterInterface != '&') ++afterInterface;
    appendLower(key, capacity, start, interfacePart);
    appendLower(key, capacity, afterInterface, hardwareEnd);
    const char* instanceEnd = end;
    for (const char* c = end; c > hardwareEnd; --c) {
        if (*(c - 1) == '&') {
            instanceEnd = c - 1;
            break;
        }
    }
    appendLower(key, capacity, hardwareEnd, instanceEnd);
    return key[0] != '\0';
}

bool addListedPort(PortListing* listing, const char* name, const char* interfacePath) {
    if (listing->count >= kMaxSystemPorts) return false;
    uint32_t i = listing->count++;
    listing->names[i][0] = '\0';
    appendText(listing->names[i], kDeviceNameCapacity, name);
    instanceKeyFromPath(interfacePath, listing->instances[i], kInstanceKeyCapacity);
    return true;
}

// Long enough for the paths USB devices have (about 100 characters).
const uint32_t kPathCapacity = 512;

void readSystemPorts(PortListing* inputs, PortListing* outputs) {
    char name[kDeviceNameCapacity];
    char path[kPathCapacity];
    inputs->count = 0;
    outputs->count = 0;
    uint32_t count = platformMidiInCount();
    for (uint32_t i = 0; i < count && i < kMaxSystemPorts; ++i) {
        if (!platformMidiInName(i, name, sizeof name)) name[0] = '\0';
        platformMidiInInterfacePath(i, path, sizeof path);
        addListedPort(inputs, name, path);
    }
    count = platformMidiOutCount();
    for (uint32_t i = 0; i < count && i < kMaxSystemPorts; ++i) {
        if (!platformMidiOutName(i, name, sizeof name)) name[0] = '\0';
        platformMidiOutInterfacePath(i, path, sizeof path);
        addListedPort(outputs, name, path);
    }
}

// ---- Grouping -----------------------------------------------------------------------------

// A further port's name, "MIDIIN2 (X)" with word "MIDIIN": X as [*base,
// *baseEnd), and whether the name was cut at 31 characters before its ")"
// (then X is only the start of the first port's name).
static bool furtherPortBase(const char* name, const char* word, const char** base, const char** baseEnd, bool* cut) {
    size_t wordLength = strlen(word), length = strlen(name);
    if (strncmp(name, word, wordLength) != 0) return false;
    const char* c = name + wordLength;
    uint32_t number = 0, digits = 0;
    for (; *c >= '0' && *c <= '9' && digits < 3; ++c, ++digits) number = number * 10 + static_cast<uint32_t>(*c - '0');
    if (digits == 0 || number < 2 || c[0] != ' ' || c[1] != '(') return false;
    *base = c + 2;
    *cut = name[length - 1] != ')';
    if (*cut && length < kDeviceNameCapacity - 1) return false;  // not cut, and no ")": another name
    *baseEnd = *cut ? name + length : name + length - 1;
    return *baseEnd > *base;
}

// Whether the further port's X names the first port's name `first`.
static bool baseNames(const char* base, const char* baseEnd, bool cut, const char* first) {
    size_t length = static_cast<size_t>(baseEnd - base);
    if (strncmp(first, base, length) != 0) return false;
    return cut || first[length] == '\0';
}

static void beginGroup(PortDevice* group, const char* name, const char* instance) {
    memset(group, 0, sizeof *group);
    appendText(group->name, sizeof group->name, name);
    appendText(group->instance, sizeof group->instance, instance);
}

// Groups one direction's ports; the ports go to inputs[] whatever the
// direction, as the system numbers them.
static uint32_t groupPorts(const PortListing* listing, const char* word, PortDevice* groups) {
    uint32_t count = 0;
    for (uint32_t port = 0; port < listing->count && port < kMaxSystemPorts; ++port) {
        const char* name = listing->names[port];
        const char* instance = listing->instances[port];
        if (name[0] == '\0') continue;  // away, or unreadable: no device to show
        int32_t joins = -1;
        const char *base = nullptr, *baseEnd = nullptr;
        bool cut = false;
        if (instance[0] != '\0') {
            for (uint32_t g = 0; g < count && joins < 0; ++g) {
                if (textEquals(groups[g].instance, instance)) joins = static_cast<int32_t>(g);
            }
        } else if (furtherPortBase(name, word, &base, &baseEnd, &cut)) {
            for (uint32_t g = count; g-- > 0 && joins < 0;) {
                if (groups[g].instance[0] == '\0' && baseNames(base, baseEnd, cut, groups[g].name)) {
                    joins = static_cast<int32_t>(g);
                }
            }
        }
        if (joins >= 0 && groups[joins].inputCount >= kMaxDevicePorts) joins = -1;
        if (joins < 0) beginGroup(&groups[joins = static_cast<int32_t>(count++)], name, instance);
        PortDevice& group = groups[joins];
        group.inputs[group.inputCount++] = static_cast<uint8_t>(port);
    }
    // Which of the groups of its name each one is.
    for (uint32_t g = 0; g < count; ++g) {
        groups[g].occurrence = 1;
        for (uint32_t h = 0; h < g; ++h) groups[g].occurrence += textEquals(groups[h].name, groups[g].name) ? 1 : 0;
    }
    return count;
}

// The input device the output group goes with; -1 for none.
static int32_t pairedInputDevice(const DeviceList* list, const PortDevice& outputs) {
    if (outputs.instance[0] != '\0') {
        for (uint32_t d = 0; d < list->count; ++d) {
            if (textEquals(list->devices[d].instance, outputs.instance)) return static_cast<int32_t>(d);
        }
    }
    for (uint32_t d = 0; d < list->count; ++d) {
        const PortDevice& device = list->devices[d];
        if (device.outputCount == 0 && device.occurrence == outputs.occurrence && textEquals(device.name, outputs.name)) {
            return static_cast<int32_t>(d);
        }
    }
    return -1;
}

void groupDevices(const PortListing* inputs, const PortListing* outputs, DeviceList* list) {
    list->count = groupPorts(inputs, "MIDIIN", list->devices);
    PortDevice outputGroups[kMaxSystemPorts];
    uint32_t outputCount = groupPorts(outputs, "MIDIOUT", outputGroups);
    for (uint32_t g = 0; g < outputCount; ++g) {
        int32_t d = pairedInputDevice(list, outputGroups[g]);
        if (d < 0 || list->devices[d].outputCount != 0) continue;
        PortDevice& device = list->devices[d];
        device.outputCount = outputGroups[g].inputCount;
        memcpy(device.outputs, outputGroups[g].inputs, sizeof device.outputs);
    }
}

// ---- Finding a device -----------------------------------------------------------------

int32_t deviceInputPort(const PortDevice* device, uint32_t port) {
    return port >= 1 && port <= device->inputCount ? device->inputs[port - 1] : -1;
}

int32_t deviceOutputPort(const PortDevice* device, uint32_t port) {
    return port >= 1 && port <= device->outputCount ? device->outputs[port - 1] : -1;
}

void deviceUnitKey(const PortDevice* device, char* unit, size_t capacity) {
    unit[0] = '\0';
    if (device->instance[0] != '\0') {
        appendText(unit, capacity, device->instance);
        return;
    }
    char number[12];
    formatDecimal(static_cast<int32_t>(device->occurrence), number);
    appendText(unit, capacity, number);
}

// The unit's occurrence when it is one ("2"), else 0.
static uint32_t occurrenceOf(const char* unit) {
    uint32_t number = 0, digits = 0;
    for (; *unit >= '0' && *unit <= '9'; ++unit, ++digits) {
        if (digits == 4) return 0;
        number = number * 10 + static_cast<uint32_t>(*unit - '0');
    }
    return *unit == '\0' ? number : 0;
}

int32_t findUnit(const DeviceList* list, const char* name, const char* unit) {
    uint32_t occurrence = unit[0] == '\0' ? 1 : occurrenceOf(unit);
    for (uint32_t d = 0; d < list->count; ++d) {
        const PortDevice& device = list->devices[d];
        bool found = occurrence != 0 ? device.occurrence == occurrence && textEquals(device.name, name)
                                     : textEqualsAnyCase(device.instance, unit);
        if (found) return static_cast<int32_t>(d);
    }
    return -1;
}

int32_t firstFreeUnit(const DeviceList* list, const char* name, uint64_t taken) {
    for (uint32_t d = 0; d < list->count; ++d) {
        if ((taken >> d & 1u) == 0 && textEquals(list->devices[d].name, name)) return static_cast<int32_t>(d);
    }
    return -1;
}

void unitListText(const PortDevice* device, char* text, size_t capacity) {
    text[0] = '\0';
    appendText(text, capacity, device->name);
    if (device->occurrence < 2) return;
    char number[12];
    formatDecimal(static_cast<int32_t>(device->occurrence), number);
    appendText(text, capacity, " (");
    appendText(text, capacity, number);
    appendText(text, capacity, ")");
}
