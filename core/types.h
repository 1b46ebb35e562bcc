// types.h -- the values shared across the plug-in.
#pragma once

#include <atomic>
#include <cstdint>

// A MIDI short message as the input driver delivers it: bits 0-7 the status
// byte, 8-15 the first data byte, 16-23 the second, 24-31 zero. A real message
// always has a status byte of 0x80 or more, so 0 is never one.
typedef uint32_t ShortMessage;

inline uint32_t messageStatus(ShortMessage m) { return m & 0xFFu; }
inline uint32_t messageData1(ShortMessage m) { return (m >> 8) & 0xFFu; }
inline uint32_t messageData2(ShortMessage m) { return (m >> 16) & 0xFFu; }

// A MIDI input device's product name: at most 31 characters and the NUL.
const uint32_t kDeviceNameCapacity = 32;

// The devices the plug-in listens to at once: the configured device (the
// keyboard, 0), and up to eight controllers added beside it (1-8, each the
// settings file's section "Notewick Controller N"). The MIDI callback's
// instance value is the device's number.
const uint32_t kMaxControllers = 8;
const uint32_t kMaxDevices = 1 + kMaxControllers;
const uint32_t kConfiguredDevice = 0;

// The settings, one instance for the life of the module.
// midiDevice: 0-based input device index, -1 for none; only the user-interface
// thread touches it. midiChannel: 0-based channel (0 is MIDI channel 1);
// written by the user-interface thread, read by the dispatch worker for every
// message, hence atomic. midiDeviceName: the name of the device midiDevice
// was chosen as, so that it is found again when Windows numbers the inputs
// differently; empty when not known (a file from before names were kept).
// User-interface thread only.
// midiOutDevice and midiOutDeviceName: the MIDI output the lights go to, as
// the input's (-1 and empty for none, the default). User-interface thread only.
struct PluginSettings {
    int32_t midiDevice;
    std::atomic<int32_t> midiChannel;
    char midiDeviceName[kDeviceNameCapacity];
    int32_t midiOutDevice;
    char midiOutDeviceName[kDeviceNameCapacity];
};

extern PluginSettings pluginSettings;
