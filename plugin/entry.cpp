// Library entry point, start-up and shut-down.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "blocklist/blocklist.h"
#include "fsound/fsound.h"
#include "playback/worker.h"
#include "plugin/exports/exports.h"
#include "plugin/state/plugin_state.h"
#include "sounddb/sound_records.h"
#include "sounddb/sound_registry.h"
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

    StartPlaybackWorker();
    InitCommonControls();

    // A sound layer that fails here leaves the plug-in running without sound.
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    FSOUND_SetDriver(0);
    FSOUND_Init(40100, 32, FSOUND_INIT_GLOBALFOCUS);

    LoadSoundDatabase(SoundsKeyPath);

    plugin.largeIcon = LoadIconA(plugin.module, MAKEINTRESOURCEA(IDI_LARGE));
    plugin.smallIcon = static_cast<HICON>(LoadImageA(plugin.module, MAKEINTRESOURCEA(IDI_SMALL),
                                                     IMAGE_ICON, 16, 16, LR_LOADTRANSPARENT));
    LoadBlocklist(BlocklistKeyPath);
    return TRUE;
}

extern "C" void __stdcall Uninitialize() {
    PluginState& plugin = Plugin();
    ClearBlocklist();
    if (plugin.largeIcon) DestroyIcon(plugin.largeIcon);
    if (plugin.smallIcon) DestroyIcon(plugin.smallIcon);
    plugin.largeIcon = plugin.smallIcon = nullptr;
    FreeSoundDatabase();
    StopPlaybackWorker();
    FSOUND_Close();
    plugin.messenger.reset();
}

extern "C" BOOL __stdcall ParseTag(void*, void*, void*) {
    return 0;
}

extern "C" int __stdcall Configure() {
    return 0;
}
