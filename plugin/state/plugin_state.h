// Process-wide state of the plug-in, valid from Initialize to Uninitialize (the module
// handle from load on).
#pragma once

#include <windows.h>

#include "plugin/messenger/messenger.h"

namespace tunelark {

struct PluginState {
    HMODULE module = nullptr;
    ComPtr<IMessenger> messenger;
    int hostVersion = 0;
    char hostString[256] = {};
    HICON largeIcon = nullptr;
    HICON smallIcon = nullptr;
};

PluginState& Plugin();

}  // namespace tunelark
