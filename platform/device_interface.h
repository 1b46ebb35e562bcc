// device_interface.h -- the device interface path the system gives a MIDI
// port: which USB device (and which unit of it) the port belongs to.
#pragma once

#include <cstdint>

// Writes the port's device interface path, NUL-terminated, into path and
// returns its length; 0 (and an empty path) when the system gives none: an
// error, a size of 0, an empty answer (older drivers, some versions of the
// system's MIDI service), or a path that does not fit. `device` is the
// system's number of the input or output port, not an open handle.
uint32_t platformMidiInInterfacePath(uint32_t device, char* path, uint32_t capacity);
uint32_t platformMidiOutInterfacePath(uint32_t device, char* path, uint32_t capacity);
