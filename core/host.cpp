// host.cpp -- commands and requests to the host's main window.
#include "core/host.h"

#include "core/plugin.h"

void sendHostCommand(uint32_t command) {
    platformSendMessage(pluginRecord.hostWindow, kHostCommandMessage, command, 0);
}

intptr_t sendHostRequest(uint32_t request, int32_t argument) {
    return platformSendMessage(pluginRecord.hostWindow, kHostRequestMessage,
                               static_cast<uintptr_t>(static_cast<intptr_t>(argument)), static_cast<intptr_t>(request));
}
