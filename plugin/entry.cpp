// Library entry point, start-up and shut-down.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "plugin/exports/exports.h"
#include "plugin/state/plugin_state.h"
#include "ui/resource_ids.h"

using namespace tunelark;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    Plugin().module = instance;
    return TRUE;
}

extern "C" BOOL __stdcall Initialize(int hostVersion, const char* hostString, IDispatch* messenger) {
    PluginState& plugin = Plugin();
    plugin.messenger = QueryAs<IMessenger>(messenger, IID_IMessenger);

    std::memset(plugin.hostString, 0, sizeof plugin.hostString);
    if (hostString) std::strncpy(plugin.hostString, hostString, sizeof plugin.hostString - 1);
    plugin.hostVersion = hostVersion;

    InitCommonControls();

    plugin.largeIcon = LoadIconA(plugin.module, MAKEINTRESOURCEA(IDI_LARGE));
    plugin.smallIcon = static_cast<HICON>(LoadImageA(plugin.module, MAKEINTRESOURCEA(IDI_SMALL),
                                                     IMAGE_ICON, 16, 16, LR_LOADTRANSPARENT));
    return TRUE;
}

extern "C" void __stdcall Uninitialize() {
    PluginState& plugin = Plugin();
    if (plugin.largeIcon) DestroyIcon(plugin.largeIcon);
    if (plugin.smallIcon) DestroyIcon(plugin.smallIcon);
    plugin.largeIcon = plugin.smallIcon = nullptr;
    plugin.messenger.reset();
}

extern "C" BOOL __stdcall ParseTag(void*, void*, void*) {
    return 0;
}

extern "C" int __stdcall Configure() {
    return 0;
}
