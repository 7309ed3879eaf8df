#include "ui/options_dialog.h"

#include <commctrl.h>

#include <string>

#include "settings/settings_store.h"
#include "ui/blocklist_dialog.h"
#include "ui/dialog.h"
#include "ui/resource_ids.h"

namespace tunelark {

namespace {

void ShowVolume(HWND dialog, int volume) {
    ui::SetItemText(dialog, IDC_OPTIONS_VOLUME_TEXT, std::to_string(volume));
}

}  // namespace

int ShowAdvancedOptions(HWND owner) {
    ui::DialogHandlers handlers;
    handlers.init = [](HWND dialog) {
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
    handlers.command = [](HWND dialog, int id, int code) {
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
