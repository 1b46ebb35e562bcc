// units.h -- which of the system's devices the settings hold: the
// configured device by its input's number, each controller by its section's
// Input and Unit lines. A controller whose section has no Unit takes the
// first device of its name that no other section holds. What "Add a
// controller..." may offer, and how the lists show a device.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/device_ports.h"

// A controller's section as far as its unit goes: its Input and its Unit
// (empty when the section has no Unit line).
struct UnitClaim {
    const char* input;
    const char* unit;
};

// The list's device that has the system's input port; -1 for none.
int32_t deviceOfInput(const DeviceList* list, int32_t systemInput);

// Bit d for each of the list's devices d the settings hold: the device of
// the configured input (-1: none), then each claim with a Unit, then each
// without one, in order, taking the first free device of its name; a device
// is never held twice. held[i] (unless null) is the device claim i holds,
// -1 when none.
uint64_t claimUnits(const DeviceList* list, int32_t configuredInput, const UnitClaim* claims, uint32_t count,
                    int32_t* held);

// What a new section's Unit line says for the device: its instance where
// the system gives one, its occurrence from the second on ("2"), and
// nothing (no line) for the first occurrence, which a section without a
// Unit takes: a file of one unit of each kind stays as it was.
void newSectionUnit(const PortDevice* device, char* unit, size_t capacity);

// The device as the Controller list and "Add a controller..." show it: its
// first port's name, its occurrence from the second on, and its count of
// ports when it has more than one: "KeyLab mkII 61, 2 ports",
// "Launchpad Mini MK3 (2), 2 ports", "nanoKONTROL2".
void unitEntryText(const PortDevice* device, char* text, size_t capacity);
