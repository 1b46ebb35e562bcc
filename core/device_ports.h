// device_ports.h -- the system's MIDI ports grouped into devices.
//
// A USB device often has several ports. Where the system gives a port's
// device interface path, ports whose paths name one USB device instance are
// one device. Where it gives none, the names tell: the first port is "X",
// the others "MIDIIN2 (X)", "MIDIIN3 (X)" (outputs "MIDIOUT2 (X)"), each
// name cut at 31 characters. Devices are numbered in the system's order of
// their first ports; a device's input port n pairs with its output port n.
//
// Everything here works on fixed arrays the caller owns: nothing is
// allocated, and nothing is shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/types.h"

const uint32_t kMaxSystemPorts = 64;  // ports of one direction the system lists
const uint32_t kMaxDevicePorts = 8;   // ports of one direction a device has
// A device instance as the grouping keeps it ("vid_1235&pid_0113#7&2d5a7b1&0").
const uint32_t kInstanceKeyCapacity = 64;

// The ports of one direction, in the system's order: each one's name, and
// the instance key its interface path gave (empty when it gave none).
struct PortListing {
    uint32_t count;
    char names[kMaxSystemPorts][kDeviceNameCapacity];
    char instances[kMaxSystemPorts][kInstanceKeyCapacity];
};

// A device: its first input's name, its instance (empty when the system
// gives none), which of the devices of that name it is (1 for the first),
// and the system's numbers of its input and output ports, first port first.
struct PortDevice {
    char name[kDeviceNameCapacity];
    char instance[kInstanceKeyCapacity];
    uint32_t occurrence;
    uint32_t inputCount;
    uint32_t outputCount;
    uint8_t inputs[kMaxDevicePorts];
    uint8_t outputs[kMaxDevicePorts];
};

// The devices that have an input, in the system's order.
struct DeviceList {
    uint32_t count;
    PortDevice devices[kMaxSystemPorts];
};

// The USB device instance a device interface path names, in lower case:
// "\\?\usb#vid_2985&pid_0007#3635#{6994ad04-...}\global" gives
// "vid_2985&pid_0007#3635". A composite device's interfaces ("&mi_01", with
// the interface's number as the instance's last part) give their parent's
// instance, so that all of them are one device; any other path gives its
// part before the class GUID. False (and an empty key) for an empty path or
// one without "#".
bool instanceKeyFromPath(const char* path, char* key, size_t capacity);

// Appends a port to the listing, with its interface path ("" for none);
// false when the listing is full.
bool addListedPort(PortListing* listing, const char* name, const char* interfacePath);

// Reads the system's inputs and outputs, with their interface paths.
void readSystemPorts(PortListing* inputs, PortListing* outputs);

// Groups both directions' ports into devices. A port with an instance joins
// the device of the same instance; a further port by name ("MIDIIN2 (X)",
// cut or not) joins the last device before it whose first port is X and
// has no instance; any other port begins a device. An output device goes
// with the input device of the same instance, else with the input device
// of its name that has the same occurrence; one that has no input device
// is not listed.
void groupDevices(const PortListing* inputs, const PortListing* outputs, DeviceList* list);

// The system's number of the device's input or output port n (1 for the
// first); -1 when it has no such port.
int32_t deviceInputPort(const PortDevice* device, uint32_t port);
int32_t deviceOutputPort(const PortDevice* device, uint32_t port);

// What a section's Unit line keeps of a device: its instance where the
// system gives one, else its occurrence in decimal ("2").
void deviceUnitKey(const PortDevice* device, char* unit, size_t capacity);

// The device a section names: the name and the unit as deviceUnitKey gave
// it. An instance is found whatever the device's name is now; an occurrence
// counts among the devices of the name; an empty unit is the first device
// of the name. -1 when there is none.
int32_t findUnit(const DeviceList* list, const char* name, const char* unit);

// The first device of the name whose bit is not set in `taken` (bit i for
// the list's device i): the unit a section without a Unit line takes, the
// others being held by other sections. -1 when there is none.
int32_t firstFreeUnit(const DeviceList* list, const char* name, uint64_t taken);

// The device as the lists show it: its name, with its occurrence from the
// second on: "Launchpad Mini MK3", "Launchpad Mini MK3 (2)".
void unitListText(const PortDevice* device, char* text, size_t capacity);
