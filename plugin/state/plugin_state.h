// What the host hands over at start-up, valid from Initialize to Uninitialize.
#pragma once

#include <windows.h>

#include "plugin/messenger/messenger.h"

namespace tunelark {

struct PluginState {
    ComPtr<IMessenger> messenger;
    int hostVersion = 0;
    char hostString[256] = {};
};

PluginState& Plugin();

}  // namespace tunelark
