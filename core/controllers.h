// controllers.h -- the controllers added beside the configured device. Each
// is device N (1-8) and the settings file's section "Notewick Controller N":
//
//   [Notewick Controller 1]
//   Input=APC MINI         the input device, followed by its name
//   Output=APC MINI        the output its lights go to; empty or missing: none
//   Map=Akai APC mini      the ready-made map the section came from (information only)
//   Setup=B0 7F 00         set-up messages for the output (core/output_port.h)
//   Note 0 Channel 1=Play/Pause, lit 1, dark 0
//   ...                    bindings, as [Notewick Bindings] has them
//
// Its messages go to its bindings only: the key map, the wheels and the
// channel-16 controllers are the configured device's. A section whose input
// names no device is kept and does nothing. The input is open while the
// player runs and opened again when plugged back in, as the configured
// device's is. User-interface thread only.
#pragma once

#include <cstdint>

#include "core/types.h"

// Init: reads every controller's section, hands the worker its bindings, and
// opens its input and its output. An input that is away or held elsewhere is
// opened when it can be, without a word.
void loadControllers();

// The system's list of devices changed, or the retry timer fired: each
// controller's input follows its name, as the configured device's does.
void controllersDeviceListChanged();
// Whether some controller's input is named and not open.
bool controllersWaiting();

// Whether device N is an added controller (its section is in effect).
bool controllerInUse(uint32_t device);
// Its input's name, as its section's Input line gives it (empty for none).
void controllerInputName(uint32_t device, char* name);
// Whether its input is open.
bool controllerInputOpen(uint32_t device);

// The Bindings dialog's OK committed the controller's section: its input
// and output follow the section's Input and Output lines anew; true when
// its output was opened now.
bool applyControllerSection(uint32_t device);
// The Bindings dialog's OK removed the controller: its lights go dark, its
// ports close, and its section goes from the file. False when the file could
// not be written.
bool removeController(uint32_t device);

// Quit: every controller's input closed; false when one will not close.
bool closeControllersAtQuit();

// The device's name as the line and the dialogs show it: the configured
// device's, or the controller's input (kDeviceNameCapacity bytes).
void deviceLabel(uint32_t device, char* name);
// How many devices' inputs are open, the configured device's included.
uint32_t devicesOpen();

// ---- Units: which device of a name each section holds -------------------------------
// Two sections never open the same input: the sections in effect claim
// their units as core/units.h says (the dialog's lists claim by the same
// rule). Into unit[N]
// for device N: the list's device, kNoUnitByName when no device has the
// name (a section naming a port alone follows that port by its name), or
// kNoUnitFree when every unit of the name is held (nothing is opened).
const int32_t kNoUnitByName = -1, kNoUnitFree = -2;
struct DeviceList;
void assignUnits(const DeviceList* list, int32_t* unit);
// The device's port opened by its name alone is closed: its unit's ports
// are opened now (core/device_inputs.h).
void releaseNamedPort(uint32_t device);

// Back to no controllers; for tests.
void resetControllers();
