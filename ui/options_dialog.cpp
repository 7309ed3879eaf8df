#include "ui/options_dialog.h"

#include "settings/settings_store.h"
#include "ui/blocklist_dialog.h"
#include "ui/dialog.h"
#include "ui/resource_ids.h"

namespace tunelark {

int ShowAdvancedOptions(HWND owner) {
    ui::DialogHandlers handlers;
    handlers.init = [](HWND dialog) {
        ui::SetChecked(dialog, IDC_OPTIONS_TOASTS, Settings.GetOption(ToastsEnabled) == 1);
        return TRUE;
    };
    handlers.command = [](HWND dialog, int id, int code) {
        if (id == IDC_OPTIONS_TOASTS && code == BN_CLICKED) {
            // Written at once: "Cancel" does not take it back.
            Settings.SetOption(ToastsEnabled, ui::IsChecked(dialog, IDC_OPTIONS_TOASTS) ? 1 : 0);
            return true;
        }
        if (id == IDC_OPTIONS_BLOCKLIST) {
            ShowBlocklistDialog(dialog);  // its answer changes nothing here
            return true;
        }
        return false;
    };
    handlers.ok = [](HWND dialog) { EndDialog(dialog, OptionsAccepted); };
    return static_cast<int>(ui::RunModalDialog(IDD_ADVANCED_OPTIONS, owner, handlers));
}

}  // namespace tunelark
