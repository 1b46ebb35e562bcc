// fake_device_interface.h -- the device interface paths the fake system
// gives its MIDI ports (platform/device_interface.h), set by the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fake {

// The paths of the inputs and outputs, by the ports' numbers; a port
// beyond the list, or with an empty path, has none. reset() clears both.
void setInterfacePaths(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs = {});
// From now on every query fails, as with a driver that answers nothing.
void failInterfaceQueries(bool fail);
void resetInterfacePaths();

}  // namespace fake
