#include "ui/pack_dialogs.h"

#include <commctrl.h>
#include <commdlg.h>

#include <memory>

#include "settings/registry.h"
#include "settings/settings_store.h"
#include "sounddb/install.h"
#include "sounddb/library_change.h"
#include "sounddb/pack_files.h"
#include "sounddb/sound_records.h"
#include "sounddb/sound_registry.h"
#include "ui/config_panel.h"
#include "ui/dialog.h"
#include "ui/resource_ids.h"

namespace tunelark {

namespace {

// The fields are read as fixed buffers of these sizes would take them.
constexpr size_t FieldLimit = 1024;
constexpr size_t PathLimit = 260;

constexpr const char* RefusedCaption = "Sorry...";

// An owner given as a child window (the panel's tree view) is replaced by its top-level
// window, so the owner is the panel however the dialog was opened.
void AnnouncePack(HWND dialog, const SoundPack* pack) {
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (!owner || !pack) return;
    SendMessageA(GetAncestor(owner, GA_ROOT), UM_ADDPACKNODE, reinterpret_cast<WPARAM>(pack),
                 reinterpret_cast<LPARAM>(RootNodeText));
}

void FocusControl(HWND dialog, int id) {
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, id)), TRUE);
}

void CreatePack(HWND dialog) {
    const std::string name = ui::ItemText(dialog, IDC_PACK_NAME, FieldLimit);
    if (const std::string problem = NewSoundPackNameProblem(name); !problem.empty()) {
        MessageBoxA(dialog, problem.c_str(), RefusedCaption, MB_OK | MB_ICONEXCLAMATION);
        FocusControl(dialog, IDC_PACK_NAME);
        return;
    }
    auto pack = std::make_unique<SoundPack>();
    pack->SetName(name);
    pack->SetArtist(ui::ItemText(dialog, IDC_PACK_ARTIST, FieldLimit));
    pack->SetVersion(ui::ItemText(dialog, IDC_PACK_VERSION, FieldLimit));
    pack->SetKeyPath(PackKeyPath(name));
    SoundPack* added = nullptr;
    const Refusal refusal = CreateSoundPack(std::move(pack), &added);
    // A pack the registry kept in part is there, and shown.
    AnnouncePack(dialog, added);
    ui::TellRefusal(dialog, refusal);
    EndDialog(dialog, refusal ? 2 : 1);
}

void InstallChosenFile(HWND dialog) {
    // The focus leaves the button first: a disabled button keeps it and Tab stops working.
    FocusControl(dialog, IDC_INSTALL_PATH);
    ui::EnableControls(dialog, {IDC_INSTALL}, false);
    // Typing stops at the limit, but a chosen or set path does not: one that would be
    // cut is refused, not read as a different file.
    if (GetWindowTextLengthA(GetDlgItem(dialog, IDC_INSTALL_PATH)) >= static_cast<int>(PathLimit)) {
        InstallErrorText += "Error: The install.ini file's path is longer than " + std::to_string(PathLimit - 1) +
                            " characters - cannot install from it\r\n";
        ShowInstallErrors(dialog);
        return;
    }
    const std::string path = ui::ItemText(dialog, IDC_INSTALL_PATH, PathLimit);
    InstallOutcome outcome;
    SoundPack* pack = InstallSoundPack(path, GetDlgItem(dialog, IDC_INSTALL_PROGRESS), &outcome);
    // An updated pack has its node already.
    if (pack && outcome.newRecord) AnnouncePack(dialog, pack);
    if (!InstallErrorText.empty()) ShowInstallErrors(dialog);
}

bool OnInstallCommand(HWND dialog, int id, int code) {
    switch (id) {
    case IDC_INSTALL_PATH:
        if (code == EN_CHANGE) {
            ui::EnableControls(dialog, {IDC_INSTALL}, GetWindowTextLengthA(GetDlgItem(dialog, id)) > 0);
            SendDlgItemMessageA(dialog, IDC_INSTALL_PROGRESS, PBM_SETPOS, 0, 0);
        }
        return true;
    case IDC_INSTALL_BROWSE:
        if (code == BN_CLICKED) {
            const std::string path = PackDialogSeams().installFilePath(dialog);
            if (!path.empty()) ui::SetItemText(dialog, IDC_INSTALL_PATH, path);
        }
        return true;
    case IDC_INSTALL:
        if (code == BN_CLICKED) InstallChosenFile(dialog);
        return true;
    }
    // No Uninstall (1024): the panel's Delete SoundPack removes a pack, and asks first.
    return false;
}

std::string AskInstallFile(HWND owner) {
    return ui::AskFileName(ui::FileDialog::Open, owner, "INI Files (*.ini)\0*.ini\0All Files (*.*)\0*.*\0", "ini");
}

PackSeams DefaultSeams() {
    PackSeams seams;
    seams.installFilePath = AskInstallFile;
    return seams;
}

PackSeams Seams = DefaultSeams();

}  // namespace

std::string NewSoundPackNameProblem(const std::string& name) {
    if (name.empty()) return "Please type a name for the new SoundPack.";
    if (const std::string problem = PackNameProblem(name); !problem.empty())
        return "This name cannot be used: " + problem + ".";
    if (FindSoundPackByName(name, MatchPackName) || RegKey::Open(HKEY_LOCAL_MACHINE, PackKeyPath(name).c_str(), KEY_READ))
        return "A SoundPack named \"" + name + "\" already exists. Please choose another name.";
    if (PackDirectory(name).empty()) return "The SoundPack's directory path would be too long. Please choose a shorter name.";
    return std::string();
}

int ShowNewSoundPack(HWND owner) {
    ui::DialogHandlers handlers;
    handlers.ok = CreatePack;
    return static_cast<int>(ui::RunModalDialog(IDD_NEW_SOUNDPACK, owner, handlers));
}

int ShowSoundPackProperties(HWND owner, SoundPack* pack) {
    if (!pack) return PropertiesWithoutPack;
    // Each click finds the pack again by its name: a reload of the database between two
    // messages of the dialog would have freed the record it opened with.
    const std::string name = pack->Name();
    ui::DialogHandlers handlers;
    handlers.init = [pack](HWND dialog) {
        ui::SetItemText(dialog, IDC_PACK_NAME, pack->Name());
        ui::SetItemText(dialog, IDC_PACK_ARTIST, pack->Artist());
        ui::SetItemText(dialog, IDC_PACK_VERSION, pack->Version());
        ui::SetChecked(dialog, IDC_PACK_ENABLED, pack->GetProperty(SoundPackEnabledProperty) != 0);
        return TRUE;
    };
    handlers.command = [name](HWND dialog, int id, int code) {
        if (id != IDC_PACK_ENABLED) return false;
        if (code == BN_CLICKED) {
            // Refused, the box springs back to what the registry holds.
            if (SoundPack* current = FindSoundPackByName(name, MatchPackName)) {
                if (ui::TellRefusal(dialog, SetPackEnabled(*current, ui::IsChecked(dialog, id))))
                    ui::SetChecked(dialog, id, current->GetProperty(SoundPackEnabledProperty) != 0);
            }
        }
        return true;
    };
    return static_cast<int>(ui::RunModalDialog(IDD_SOUNDPACK_PROPERTIES, owner, handlers));
}

int ShowInstallSoundPack(HWND owner) {
    ui::DialogHandlers handlers;
    handlers.init = [](HWND dialog) {
        // What the field shows is what the install reads.
        SendDlgItemMessageA(dialog, IDC_INSTALL_PATH, EM_LIMITTEXT, PathLimit - 1, 0);
        return TRUE;
    };
    handlers.command = OnInstallCommand;
    // Enter with "&Install" disabled must not end the dialog: only Close does.
    handlers.ok = [](HWND) {};
    return static_cast<int>(ui::RunModalDialog(IDD_INSTALL_SOUNDPACK, owner, handlers));
}

int ShowInstallErrors(HWND owner) {
    ui::DialogHandlers handlers;
    handlers.init = [](HWND dialog) {
        ui::SetItemText(dialog, IDC_INSTALL_ERRORS, InstallErrorText);
        // Shown once: the next install starts from an empty text.
        InstallErrorText.clear();
        return TRUE;
    };
    return static_cast<int>(ui::RunModalDialog(IDD_INSTALL_ERRORS, owner, handlers));
}

int ShowConfirmDelete(HWND owner) {
    ui::DialogHandlers handlers;
    handlers.init = [](HWND dialog) {
        ui::SetChecked(dialog, IDC_DELETE_FILES, Settings.GetOption(DeleteFilesWhenDeletingSounds) == 1);
        return TRUE;
    };
    handlers.command = [](HWND dialog, int id, int code) {
        if (id != IDC_DELETE_FILES) return false;
        if (code == BN_CLICKED) Settings.SetOption(DeleteFilesWhenDeletingSounds, ui::IsChecked(dialog, id) ? 1 : 0);
        return true;
    };
    // The stored option answers, not the box: it may have been changed while the
    // dialog was up, and the stored value is what the next deletion will be told too.
    handlers.ok = [](HWND dialog) {
        EndDialog(dialog, Settings.GetOption(DeleteFilesWhenDeletingSounds) != 0 ? DeleteWithFiles : DeleteKeepFiles);
    };
    handlers.cancel = [](HWND dialog) { EndDialog(dialog, DeleteCancelled); };
    const INT_PTR result = ui::RunModalDialog(IDD_CONFIRM_DELETE, owner, handlers);
    // A dialog that could not be shown asked nothing: nothing is deleted.
    return result == DeleteWithFiles || result == DeleteKeepFiles ? static_cast<int>(result) : DeleteCancelled;
}

PackSeams& PackDialogSeams() { return Seams; }
void ResetPackDialogSeams() { Seams = DefaultSeams(); }

}  // namespace tunelark
