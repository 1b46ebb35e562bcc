// followed_port.cpp -- a MIDI port followed by its device's name.
#include "core/followed_port.h"

#include "core/text.h"
#include "midi/gestures.h"
#include "midi/mailbox.h"
#include "midi/ports.h"

static void nameOf(const FollowedPort& port, uint32_t at, char* name) {
    if (port.output) {
        outputDeviceName(at, name);
    } else {
        deviceName(at, name);
    }
}

int32_t whereIsFollowed(const FollowedPort& port) {
    if (*port.index < 0 && port.name[0] == '\0') return -1;
    if (port.name[0] == '\0') return *port.index;
    return port.output ? findOutputDevice(port.name, *port.index) : findInputDevice(port.name, *port.index);
}

bool followedStillThere(const FollowedPort& port) {
    if (port.name[0] == '\0') return true;
    if (*port.index < 0) return false;
    char current[kDeviceNameCapacity];
    nameOf(port, static_cast<uint32_t>(*port.index), current);
    return textEquals(current, port.name);
}

bool openFollowed(FollowedPort* port, int32_t at) {
    void* handle = nullptr;
    if (at >= 0) {
        uint32_t device = static_cast<uint32_t>(at);
        // A message some drivers deliver after the port closed leaves nothing
        // held for the port opened now.
        if (!port->output) forgetHeld(port->device);
        handle = port->output ? openOutputPort(device) : openInputPort(device, mainDataHandler, port->device);
    }
    port->openFailed = at >= 0 && handle == nullptr;
    if (handle == nullptr) return false;
    *port->handle = handle;
    return true;
}

bool closeFollowed(FollowedPort* port) {
    if (*port->handle == nullptr) return true;
    bool closed = true;
    if (port->output) {
        closeOutputPort(*port->handle);
    } else {
        closeInputPort(*port->handle, &closed);
        forgetHeld(port->device);  // what was held is held no more
    }
    if (closed) *port->handle = nullptr;
    return closed;
}

bool followDevice(FollowedPort* port) {
    if (*port->index < 0 && port->name[0] == '\0') return false;
    if (*port->handle != nullptr) {
        if (followedStillThere(*port)) return false;
        // Gone, or another device now has its number: nothing can be heard
        // from or sent to a device that is not there. A port that will not
        // close stays, for quit; nothing else is opened meanwhile.
        if (!closeFollowed(port)) return false;
    }
    int32_t at = whereIsFollowed(*port);
    if (!openFollowed(port, at)) return false;
    *port->index = at;
    return true;
}

bool followedWaiting(const FollowedPort& port) {
    return *port.handle == nullptr && (*port.index >= 0 || port.name[0] != '\0');
}
