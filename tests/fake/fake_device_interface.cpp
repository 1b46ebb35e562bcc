// fake_device_interface.cpp -- the fake system's device interface paths.
#include "tests/fake/fake_device_interface.h"

#include <cstring>
#include <mutex>

#include "platform/device_interface.h"

namespace {

std::mutex mutex;
std::vector<std::string> inputPaths, outputPaths;
bool failing = false;

uint32_t answer(const std::vector<std::string>& paths, uint32_t device, char* path, uint32_t capacity) {
    std::lock_guard<std::mutex> lock(mutex);
    if (capacity == 0) return 0;
    path[0] = '\0';
    if (failing || device >= paths.size() || paths[device].size() + 1 > capacity) return 0;
    memcpy(path, paths[device].c_str(), paths[device].size() + 1);
    return static_cast<uint32_t>(paths[device].size());
}

}  // namespace

namespace fake {

void setInterfacePaths(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs) {
    std::lock_guard<std::mutex> lock(mutex);
    inputPaths = inputs;
    outputPaths = outputs;
}

void failInterfaceQueries(bool fail) {
    std::lock_guard<std::mutex> lock(mutex);
    failing = fail;
}

void resetInterfacePaths() {
    std::lock_guard<std::mutex> lock(mutex);
    inputPaths.clear();
    outputPaths.clear();
    failing = false;
}

}  // namespace fake

uint32_t platformMidiInInterfacePath(uint32_t device, char* path, uint32_t capacity) {
    return answer(inputPaths, device, path, capacity);
}

uint32_t platformMidiOutInterfacePath(uint32_t device, char* path, uint32_t capacity) {
    return answer(outputPaths, device, path, capacity);
}
