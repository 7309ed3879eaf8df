// Library entry point, start-up and shut-down.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "base/ansi_text.h"
#include "base/module.h"
#include "blocklist/blocklist.h"
#include "fsound/fsound.h"
#include "playback/worker.h"
#include "plugin/exports/exports.h"
#include "plugin/state/plugin_state.h"
#include "plugin/toast.h"
#include "sounddb/library_watch.h"
#include "sounddb/sound_records.h"
#include "sounddb/sound_registry.h"
#include "ui/config_panel.h"
#include "ui/resource_ids.h"

using namespace tunelark;

namespace {

// The audio libraries read their driver lists at load and keep registry handles open
// for good; unloaded with the plug-in and loaded again with its next load, each host
// that reloads plug-ins would gather a set of those handles every time.
void KeepAudioLibrariesLoaded() {
    for (const char* name : {"winmm.dll", "msacm32.dll"}) {
        HMODULE module = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, name, &module);
    }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        SetThisModule(instance);
        KeepAudioLibrariesLoaded();
    }
    // At process exit (reserved set) everything goes anyway, and other threads may
    // already be gone.
    if (reason == DLL_PROCESS_DETACH && !reserved) ReleaseRuntimeResources();
    return TRUE;
}

extern "C" BOOL __stdcall Initialize(int hostVersion, const char* hostString, IDispatch* messenger) {
    PluginState& plugin = Plugin();
    plugin.messenger = QueryAs<IMessenger>(messenger, IID_IMessenger);

    std::memset(plugin.hostString, 0, sizeof plugin.hostString);
    if (hostString) {
        const std::string_view kept = SystemCodePage().Fit(hostString, sizeof plugin.hostString - 1);
        std::memcpy(plugin.hostString, kept.data(), kept.size());
    }
    plugin.hostVersion = hostVersion;

    StartDeviceNotices();
    StartPlaybackWorker();
    InitCommonControls();

    // A sound layer that fails here leaves the plug-in running without sound.
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    FSOUND_SetDriver(0);
    FSOUND_Init(40100, 32, FSOUND_INIT_GLOBALFOCUS);

    // Watched before it is read: a change made while it loads is taken at the next call.
    StartWatchingLibrary();
    LoadSoundDatabase(SoundsKeyPath);

    LoadPluginIcons(IDI_LARGE, IDI_SMALL);
    LoadBlocklist(BlocklistKeyPath);
    return TRUE;
}

extern "C" void __stdcall Uninitialize() {
    PluginState& plugin = Plugin();
    ClearBlocklist();
    DestroyPluginIcons();
    StopWatchingLibrary();
    FreeSoundDatabase();
    StopPlaybackWorker();
    FSOUND_Close();
    // After the worker and every stream's thread, the only ones that notice.
    StopDeviceNotices();
    plugin.messenger.reset();
}

extern "C" BOOL __stdcall ParseTag(void*, void*, void*) {
    return 0;
}

extern "C" int __stdcall Configure() {
    TakeLibraryChanges();
    return ShowConfigPanel(nullptr);
}
