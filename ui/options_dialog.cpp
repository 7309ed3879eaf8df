#include "ui/options_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fsound/output_devices.h"
#include "settings/settings_store.h"
#include "ui/blocklist_dialog.h"
#include "ui/dialog.h"
#include "ui/resource_ids.h"

namespace tunelark {

namespace {

void ShowVolume(HWND dialog, int volume) {
    ui::SetItemText(dialog, IDC_OPTIONS_VOLUME_TEXT, std::to_string(volume));
}

// The drop-down's items in order, as stored: the default (empty), every device the system
// lists, and a chosen device it does not list, which stays chosen until the user picks
// another: sounds go back to it when it returns.
std::vector<std::string> FillDevices(HWND dialog) {
    const std::string chosen = Settings.GetOutputDevice();
    std::vector<std::string> items{""};
    for (const std::string& name : fsound::OutputDeviceNames()) items.push_back(name);
    const auto listed = std::find(items.begin() + 1, items.end(), chosen);
    const bool absent = !chosen.empty() && listed == items.end();
    if (absent) items.push_back(chosen);
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string text = i == 0 ? "The system's default device"
                                 : absent && i + 1 == items.size() ? chosen + " (not connected)"
                                                                     : items[i];
        SendDlgItemMessageA(dialog, IDC_OPTIONS_DEVICE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    const size_t selected = chosen.empty() ? 0 : absent ? items.size() - 1 : listed - items.begin();
    SendDlgItemMessageA(dialog, IDC_OPTIONS_DEVICE, CB_SETCURSEL, selected, 0);
    return items;
}

}  // namespace

int ShowAdvancedOptions(HWND owner) {
    std::vector<std::string> devices;
    ui::DialogHandlers handlers;
    handlers.init = [&devices](HWND dialog) {
        devices = FillDevices(dialog);
        ui::SetChecked(dialog, IDC_OPTIONS_TOASTS, Settings.GetOption(ToastsEnabled) == 1);
        ui::SetChecked(dialog, IDC_OPTIONS_EVEN_OUT, Settings.GetLevelSetting(EvenOutLoudness) == 1);
        const int volume = Settings.GetLevelSetting(Volume);
        SendDlgItemMessageA(dialog, IDC_OPTIONS_VOLUME, TBM_SETRANGE, FALSE, MAKELPARAM(0, 100));
        SendDlgItemMessageA(dialog, IDC_OPTIONS_VOLUME, TBM_SETTICFREQ, 10, 0);
        SendDlgItemMessageA(dialog, IDC_OPTIONS_VOLUME, TBM_SETPAGESIZE, 0, 10);
        SendDlgItemMessageA(dialog, IDC_OPTIONS_VOLUME, TBM_SETPOS, TRUE, volume);
        ShowVolume(dialog, volume);
        return TRUE;
    };
    // Every change is written at once: "Cancel" does not take it back.
    handlers.command = [&devices](HWND dialog, int id, int code) {
        if (id == IDC_OPTIONS_DEVICE && code == CBN_SELCHANGE) {
            const LRESULT item = SendDlgItemMessageA(dialog, IDC_OPTIONS_DEVICE, CB_GETCURSEL, 0, 0);
            if (item >= 0 && static_cast<size_t>(item) < devices.size()) Settings.SetOutputDevice(devices[item]);
            return true;
        }
        if (id == IDC_OPTIONS_TOASTS && code == BN_CLICKED) {
            Settings.SetOption(ToastsEnabled, ui::IsChecked(dialog, IDC_OPTIONS_TOASTS) ? 1 : 0);
            return true;
        }
        if (id == IDC_OPTIONS_EVEN_OUT && code == BN_CLICKED) {
            Settings.SetLevelSetting(EvenOutLoudness, ui::IsChecked(dialog, IDC_OPTIONS_EVEN_OUT) ? 1 : 0);
            return true;
        }
        if (id == IDC_OPTIONS_BLOCKLIST) {
            ShowBlocklistDialog(dialog);  // its answer changes nothing here
            return true;
        }
        return false;
    };
    handlers.message = [](HWND dialog, UINT message, WPARAM, LPARAM lParam) {
        if (message != WM_HSCROLL || reinterpret_cast<HWND>(lParam) != GetDlgItem(dialog, IDC_OPTIONS_VOLUME)) return false;
        const int volume = static_cast<int>(SendDlgItemMessageA(dialog, IDC_OPTIONS_VOLUME, TBM_GETPOS, 0, 0));
        Settings.SetLevelSetting(Volume, volume);
        ShowVolume(dialog, volume);
        return true;
    };
    handlers.ok = [](HWND dialog) { EndDialog(dialog, OptionsAccepted); };
    return static_cast<int>(ui::RunModalDialog(IDD_ADVANCED_OPTIONS, owner, handlers));
}

}  // namespace tunelark
