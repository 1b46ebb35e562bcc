// units.cpp -- the devices the settings hold, and how the lists name them.
#include "core/units.h"

#include "core/text.h"

int32_t deviceOfInput(const DeviceList* list, int32_t systemInput) {
    if (systemInput < 0) return -1;
    for (uint32_t d = 0; d < list->count; ++d) {
        const PortDevice& device = list->devices[d];
        for (uint32_t p = 0; p < device.inputCount; ++p) {
            if (device.inputs[p] == systemInput) return static_cast<int32_t>(d);
        }
    }
    return -1;
}

uint64_t claimUnits(const DeviceList* list, int32_t configuredInput, const UnitClaim* claims, uint32_t count,
                    int32_t* held) {
    uint64_t taken = 0;
    int32_t configured = deviceOfInput(list, configuredInput);
    if (configured >= 0) taken |= uint64_t{1} << configured;
    // A Unit names its device whatever the others hold; the sections
    // without one share out what is left.
    for (uint32_t pass = 0; pass < 2; ++pass) {
        for (uint32_t i = 0; i < count; ++i) {
            bool named = claims[i].unit[0] != '\0';
            if (named != (pass == 0)) continue;
            int32_t d = claims[i].input[0] == '\0' ? -1
                        : named                    ? findUnit(list, claims[i].input, claims[i].unit)
                                                   : firstFreeUnit(list, claims[i].input, taken);
            if (d >= 0 && (taken >> d & 1u) != 0) d = -1;  // two sections with one Unit: the first has it
            if (d >= 0) taken |= uint64_t{1} << d;
            if (held != nullptr) held[i] = d;
        }
    }
    return taken;
}

void newSectionUnit(const PortDevice* device, char* unit, size_t capacity) {
    unit[0] = '\0';
    if (device->instance[0] == '\0' && device->occurrence < 2) return;
    deviceUnitKey(device, unit, capacity);
}

void unitEntryText(const PortDevice* device, char* text, size_t capacity) {
    unitListText(device, text, capacity);
    if (device->inputCount < 2) return;
    char number[12];
    formatDecimal(static_cast<int32_t>(device->inputCount), number);
    appendText(text, capacity, ", ");
    appendText(text, capacity, number);
    appendText(text, capacity, " ports");
}
