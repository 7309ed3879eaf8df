// What the Config Panel and the Blocklist dialog cost to fill with large databases, on a
// real display (scripts/bench-ui.sh runs it under Xvfb with Wine's X11 driver). For each
// sound count it writes that many Sounds in 20 SoundPacks and 5000 blocklist contacts,
// loads the plug-in as the host does, and reports the time
//   - from Configure() until the panel shows its filled list,
//   - of a click on the last pack (the tree's selection moved as a click moves it),
//   - of a click on "All Sounds",
//   - from /xTLBlocklist until the Blocklist dialog shows its filled list,
// each until the rows are in and every repaint they caused is done: the median of --runs N
// (default 3) openings of each dialog, with one click of each kind in each panel. The
// plug-in's keys are erased before and after.
//
//   bash scripts/bench-ui.sh [--runs N] [sound counts...]   (default 1000 10000)
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "blocklist/blocklist.h"
#include "host/dialog_finder.h"
#include "host/plugin_host.h"
#include "settings/registry.h"
#include "sounddb/sound_registry.h"
#include "ui/resource_ids.h"

using namespace tunelark;

namespace {

constexpr int Packs = 20;
constexpr int Contacts = 5000;

double NowMs() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

int Rows(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

// Done once the dialog's repaints are: they run on its thread before this returns.
void FinishPainting(HWND dialog) { RedrawWindow(dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN); }

// The dialog once its list holds `rows` rows and is painted; null after 15 minutes. Looked
// for every 5 ms: looking asks the window system, which the dialog's thread needs too.
HWND WaitShown(const char* caption, int listId, int rows) {
    for (const double end = NowMs() + 900000; NowMs() < end; Sleep(5)) {
        HWND dialog = standin::FindOwnDialog(caption);
        if (dialog && Rows(GetDlgItem(dialog, listId)) == rows) {
            FinishPainting(dialog);
            return dialog;
        }
    }
    std::fprintf(stderr, "\"%s\" did not show %d rows\n", caption, rows);
    return nullptr;
}

// Runs `open` on this thread (it returns when the dialog ends) and `drive` on another
// once the dialog shows `rows` rows; answers the time until then.
template <typename Open, typename Drive>
double TimeOpening(const char* caption, int listId, int rows, Open open, Drive drive) {
    std::atomic<double> start{0}, shown{-1};
    std::thread driver([&] {
        if (HWND dialog = WaitShown(caption, listId, rows)) {
            shown = NowMs() - start;
            drive(dialog);
        } else if (HWND other = standin::FindOwnDialog(caption)) {
            PostMessageA(other, WM_COMMAND, IDCANCEL, 0);
        }
    });
    start = NowMs();
    open();
    driver.join();
    return shown;
}

// A click on a tree item until the list shows its rows; -1 when it shows others.
double Click(HWND panel, HTREEITEM item, int rows) {
    const double start = NowMs();
    SendDlgItemMessageA(panel, IDC_PANEL_PACK_TREE, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    FinishPainting(panel);
    const double ms = NowMs() - start;
    return Rows(GetDlgItem(panel, IDC_PANEL_SOUND_LIST)) == rows ? ms : -1;
}

// -1 when any run failed.
double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() || v.front() < 0 ? -1 : v[v.size() / 2];
}

void ErasePluginKeys() {
    DeleteRegKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\vorquell_ software");
    DeleteRegKeyTree(HKEY_CURRENT_USER, "Software\\vorquell_ software");
}

void WriteDatabase(int sounds) {
    ErasePluginKeys();
    for (int k = 0; k < sounds; ++k) {
        char pack[16];
        std::snprintf(pack, sizeof pack, "Pack %02d", k / (sounds / Packs) + 1);
        const std::string n = std::to_string(k + 1), packKey = std::string(SoundsKeyPath) + "\\" + pack;
        const std::string key = packKey + "\\" + n, file = "C:\\Sounds\\" + std::string(pack) + "\\sound" + n + ".wav";
        WriteRegString(HKEY_LOCAL_MACHINE, packKey.c_str(), "Name", pack);
        WriteRegString(HKEY_LOCAL_MACHINE, key.c_str(), "Command", ("sound" + n).c_str());
        WriteRegString(HKEY_LOCAL_MACHINE, key.c_str(), "Filename", file.c_str());
        WriteRegString(HKEY_LOCAL_MACHINE, key.c_str(), "Message", ("plays sound number " + n).c_str());
    }
    for (int k = 0; k < Contacts; ++k)
        WriteRegDword(HKEY_CURRENT_USER, BlocklistKeyPath, ("contact" + std::to_string(k) + "@example.com").c_str(), k % 2);
}

bool Measure(int sounds, int runs) {
    std::printf("%d sounds in %d packs, %d contacts: writing the registry...\n", sounds, Packs, Contacts);
    std::fflush(stdout);
    WriteDatabase(sounds);
    standin::PluginHost host;
    if (!host.ok()) return false;
    host.exports().Initialize(3, "bench", nullptr);
    const int perPack = sounds / Packs;
    std::vector<double> open, pack, all, blocklist;
    for (int r = 0; r < runs; ++r) {
        open.push_back(TimeOpening("Tunelark Config Panel", IDC_PANEL_SOUND_LIST, sounds,
                                   [&] { host.exports().Configure(); }, [&](HWND panel) {
            HWND tree = GetDlgItem(panel, IDC_PANEL_PACK_TREE);
            const HTREEITEM root = TreeView_GetRoot(tree);
            HTREEITEM last = TreeView_GetChild(tree, root);
            while (HTREEITEM next = TreeView_GetNextSibling(tree, last)) last = next;
            pack.push_back(Click(panel, last, perPack));
            all.push_back(Click(panel, root, sounds));
            PostMessageA(panel, WM_COMMAND, IDOK, 0);
        }));
    }
    for (int r = 0; r < runs; ++r) {
        blocklist.push_back(TimeOpening("Tunelark Blocklist", IDC_BLOCKLIST_CONTACTS, Contacts,
                                        [&] { host.ParseCommand("/xTLBlocklist", "", nullptr); },
                                        [](HWND dialog) { standin::ClickButton(dialog, IDOK); }));
    }
    host.exports().Uninitialize();
    std::printf("  Configure() to the filled panel       %9.1f ms\n", Median(open));
    std::printf("  a click on the last pack (%5d rows) %9.1f ms\n", perPack, Median(pack));
    std::printf("  a click on \"All Sounds\" (%5d rows)  %9.1f ms\n", sounds, Median(all));
    std::printf("  the Blocklist dialog (%d contacts)  %9.1f ms\n", Contacts, Median(blocklist));
    std::fflush(stdout);
    return Median(open) >= 0 && Median(pack) >= 0 && Median(all) >= 0 && Median(blocklist) >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (const int n = std::atoi(argv[i]); n >= Packs) counts.push_back(n);
    }
    if (counts.empty()) counts = {1000, 10000};
    bool ok = true;
    for (int count : counts) ok = Measure(count, runs) && ok;
    ErasePluginKeys();
    return ok ? 0 : 1;
}
