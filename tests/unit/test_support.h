// test_support.h -- a fresh plug-in and fake platform for every test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/plugin.h"
#include "tests/fake/fake_platform.h"

// The settings file of the fake module, C:\Player\Plugins\gen_notewick.dll.
const char* const kIni = "C:\\Player\\Plugins\\plugin.ini";

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        resetPluginState();
        pluginRecord.hostWindow = reinterpret_cast<WindowRef>(0x1234);
        pluginRecord.moduleInstance = reinterpret_cast<ModuleRef>(0x5678);
    }
    void TearDown() override { fake::reset(); }
};

inline uint32_t noteOn(uint32_t channel, uint32_t note, uint32_t velocity) {
    return (0x90 + channel) | (note << 8) | (velocity << 16);
}
inline uint32_t noteOff(uint32_t channel, uint32_t note) { return (0x80 + channel) | (note << 8) | (64u << 16); }
inline uint32_t controller(uint32_t channel, uint32_t number, uint32_t value) {
    return (0xB0 + channel) | (number << 8) | (value << 16);
}
inline uint32_t pitchBend(uint32_t channel, uint32_t low, uint32_t high) {
    return (0xE0 + channel) | (low << 8) | (high << 16);
}
