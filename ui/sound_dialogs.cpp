#include "ui/sound_dialogs.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstdint>
#include <memory>

#include "base/regular_file.h"
#include "sounddb/library_change.h"
#include "sounddb/sound_records.h"
#include "sounddb/sound_registry.h"
#include "ui/config_panel.h"
#include "ui/dialog.h"
#include "ui/resource_ids.h"

namespace tunelark {

namespace {

constexpr size_t FieldTextLimit = 2048;
constexpr int IndexFieldLimit = 8;

unsigned AddMask = 0;
unsigned EditMask = 0;
int AddCount = 0;
int EditCount = 0;

// One running dialog. The mask and the counter are the process-wide ones of its kind.
// The target is kept by name and looked up again whenever it is used: the host may
// reload the database between two messages of the dialog, freeing the records.
struct SoundDialogState {
    unsigned& mask;
    int& count;
    std::string packName;   // the pack Add Sound adds to, or the edited Sound's
    std::string indexText;  // Edit Sound: the edited Sound's key name
    HWND owner = nullptr;
    bool counted = false;
};

SoundPack* TargetPack(const SoundDialogState& state) { return FindSoundPackByName(state.packName, MatchPackName); }

// Null for Add Sound, and when the edited Sound is gone.
Sound* TargetSound(const SoundDialogState& state) {
    if (state.indexText.empty()) return nullptr;
    Sound* sound = FindSound(state.indexText, MatchIndexText);
    return sound && sound->Pack() && sound->Pack()->Name() == state.packName ? sound : nullptr;
}

void RefuseGoneTarget(HWND dialog, const char* what) {
    const std::string text = std::string("This ") + what +
                             " is no longer in the database: it was deleted or the database was reloaded. "
                             "Nothing was saved.";
    MessageBoxA(dialog, text.c_str(), "Sorry...", MB_OK);
    EndDialog(dialog, IDCANCEL);
}

// GetDlgItemInt's unsigned reading: blanks skipped, digits up to the first other
// character; none, or more than 32 bits, reads as 0.
unsigned ReadUnsigned(const std::string& text) {
    size_t at = text.find_first_not_of(" \t");
    std::uint64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + static_cast<unsigned>(text[at] - '0');
        if (value > UINT32_MAX) return 0;
    }
    return static_cast<unsigned>(value);
}

void ShowConfirmState(HWND dialog, unsigned mask) {
    ui::EnableControls(dialog, {IDOK}, ConfirmEnabled(mask));
}

std::string FieldText(HWND dialog, int id) { return ui::ItemText(dialog, id, FieldTextLimit); }

void OnIndexChange(HWND dialog, SoundDialogState& state) {
    const IndexVerdict verdict = JudgeSoundIndex(FieldText(dialog, IDC_SOUND_INDEX), TargetSound(state));
    ui::SetItemText(dialog, IDC_SOUND_INDEX_STATUS, verdict.status);
    state.mask = verdict.valid ? SetFieldBit(state.mask, IndexValid) : ClearFieldBit(state.mask, IndexValid);
    ShowConfirmState(dialog, state.mask);
}

void OnTextChange(HWND dialog, SoundDialogState& state, int id, unsigned bit) {
    const bool given = GetWindowTextLengthA(GetDlgItem(dialog, id)) != 0;
    state.mask = given ? SetFieldBit(state.mask, bit) : ClearFieldBit(state.mask, bit);
    ShowConfirmState(dialog, state.mask);
}

void OnBrowse(HWND dialog) {
    const std::string path = SoundDialogsSeams().browse(dialog);
    if (!path.empty()) ui::SetItemText(dialog, IDC_SOUND_FILENAME, path);
}

bool OnCommand(HWND dialog, SoundDialogState& state, int id, int code) {
    switch (id) {
    case IDC_SOUND_INDEX:
        if (code == EN_CHANGE) OnIndexChange(dialog, state);
        return true;
    case IDC_SOUND_COMMAND:
        if (code == EN_CHANGE) OnTextChange(dialog, state, id, CommandGiven);
        return true;
    case IDC_SOUND_FILENAME:
        if (code == EN_CHANGE) OnTextChange(dialog, state, id, FilenameGiven);
        return true;
    case IDC_SOUND_MESSAGE:
        if (code == EN_CHANGE) OnTextChange(dialog, state, id, MessageGiven);
        return true;
    case IDC_SOUND_BROWSE:
        if (code == BN_CLICKED) OnBrowse(dialog);
        return true;
    case IDC_SOUND_ENABLED:
        // Written at once: neither button undoes it. Refused, the box springs back.
        if (code != BN_CLICKED) return true;
        if (Sound* sound = TargetSound(state)) {
            if (ui::TellRefusal(dialog, SetSoundEnabled(*sound, ui::IsChecked(dialog, id))))
                ui::SetChecked(dialog, id, sound->GetProperty(SoundEnabledProperty) == 1);
        }
        return true;
    }
    return false;
}

// The single-instance check shared by both dialogs; false when this one must end.
bool Admit(HWND dialog, SoundDialogState& state) {
    state.counted = true;
    if (++state.count > 1) {
        EndDialog(dialog, IDCANCEL);
        return false;
    }
    state.count = 1;
    state.mask = 0;
    SendDlgItemMessageA(dialog, IDC_SOUND_INDEX, EM_LIMITTEXT, IndexFieldLimit, 0);
    // No longer than a load reads back: a longer text would come back empty.
    for (int id : {IDC_SOUND_COMMAND, IDC_SOUND_FILENAME, IDC_SOUND_MESSAGE})
        SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, MaxSoundTextBytes, 0);
    return true;
}

// A sound's file is opened on every computer that receives its SoundIndex, by whoever
// is signed in there: it must be on this computer, never on a share another user named.
bool RefuseNetworkFile(HWND dialog) {
    const std::string file = FieldText(dialog, IDC_SOUND_FILENAME);
    if (!IsNetworkPath(file.c_str())) return false;
    MessageBoxA(dialog,
                ("The sound's file " + file +
                 " is on another computer of the network. A sound's file must be on this computer: copy it "
                 "here (for example into the SoundPack's folder) and choose that copy.")
                    .c_str(),
                "Sorry...", MB_OK | MB_ICONEXCLAMATION);
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_SOUND_FILENAME)), TRUE);
    return true;
}

void ReadFieldsInto(HWND dialog, Sound& sound) {
    sound.SetIndexText(FieldText(dialog, IDC_SOUND_INDEX));
    sound.SetCommand(FieldText(dialog, IDC_SOUND_COMMAND));
    sound.SetFilename(FieldText(dialog, IDC_SOUND_FILENAME));
    sound.SetMessage(FieldText(dialog, IDC_SOUND_MESSAGE));
}

// The panel that opened the dialog, from itself or from its tree view; null for any
// other owner, which has no list to add a row to.
HWND PanelOf(HWND owner) {
    HWND panel = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
    return panel && GetDlgItem(panel, IDC_PANEL_SOUND_LIST) ? panel : nullptr;
}

void OnAdd(HWND dialog, SoundDialogState& state) {
    // Enter reaches here even while the button is disabled.
    if (!ConfirmEnabled(state.mask) || RefuseNetworkFile(dialog)) return;
    SoundPack* target = TargetPack(state);
    if (!target) return RefuseGoneTarget(dialog, "SoundPack");
    SoundPack& pack = *target;
    auto created = std::make_unique<Sound>(&pack);
    ReadFieldsInto(dialog, *created);
    Sound* sound = nullptr;
    // Refused, the user is told and nothing stays added; the panel refreshes its list.
    if (ui::TellRefusal(dialog, AddSoundToLibrary(pack, std::move(created), &sound))) {
        EndDialog(dialog, IDCANCEL);
        return;
    }
    if (HWND panel = PanelOf(state.owner)) {
        const LRESULT rows = SendDlgItemMessageA(panel, IDC_PANEL_SOUND_LIST, LVM_GETITEMCOUNT, 0, 0);
        SendMessageA(panel, UM_ADDSOUNDROW, reinterpret_cast<WPARAM>(sound), rows);
    }
    EndDialog(dialog, IDOK);
}

void OnEdit(HWND dialog, SoundDialogState& state) {
    if (!ConfirmEnabled(state.mask) || RefuseNetworkFile(dialog)) return;
    Sound* target = TargetSound(state);
    if (!target) return RefuseGoneTarget(dialog, "Sound");
    Sound edited(nullptr);
    ReadFieldsInto(dialog, edited);
    const int enabled = ui::IsChecked(dialog, IDC_SOUND_ENABLED) ? 1 : 0;
    if (ui::TellRefusal(dialog, StoreSoundChanges(*target, edited, enabled))) {
        EndDialog(dialog, IDCANCEL);
        return;
    }
    EndDialog(dialog, IDOK);
}

int Run(int templateId, SoundDialogState& state, std::function<void(HWND)> fill,
        std::function<void(HWND, SoundDialogState&)> confirm) {
    ui::DialogHandlers handlers;
    handlers.init = [&state, &fill](HWND dialog) {
        if (Admit(dialog, state)) {
            fill(dialog);
            // Edit Sound's template enables its button: a Sound with an empty field
            // raises no change notification to disable it.
            ShowConfirmState(dialog, state.mask);
        }
        return TRUE;
    };
    handlers.command = [&state](HWND dialog, int id, int code) { return OnCommand(dialog, state, id, code); };
    handlers.ok = [&state, &confirm](HWND dialog) { confirm(dialog, state); };
    const INT_PTR result = ui::RunModalDialog(templateId, state.owner, handlers);
    // The window is destroyed by now.
    if (state.counted) --state.count;
    return static_cast<int>(result);
}

std::string AskSoundFile(HWND owner) {
    return ui::AskFileName(ui::FileDialog::Open, owner,
                           "MP3 Files (*.mp3)\0*.mp3\0WMA files (*.wma)\0*.wma\0WAV Files (*.wav)\0*.wav\0"
                           "MP2 Files (*.mp2)\0*.mp2\0OGG Files (*.ogg)\0*.ogg\0RAW files (*.raw)\0*.raw\0",
                           nullptr);
}

SoundDialogSeams DefaultSeams() {
    SoundDialogSeams seams;
    seams.browse = AskSoundFile;
    return seams;
}

SoundDialogSeams Seams = DefaultSeams();

}  // namespace

unsigned SetFieldBit(unsigned mask, unsigned bit) { return mask | bit; }
unsigned ClearFieldBit(unsigned mask, unsigned bit) { return mask & ~bit; }

IndexVerdict JudgeSoundIndex(const std::string& text, const Sound* editing) {
    const unsigned value = ReadUnsigned(text);
    if (value == 0) return {"Please enter a number", false};
    if (value > LargestSoundIndex) return {"Too High", false};
    if (text.size() != std::to_string(value).size()) return {"Please enter a number only (no leading zeros)", false};
    const Sound* found = FindSoundByIndex(static_cast<int>(value), MatchIndex);
    if (!found) return {"Not Used", true};
    if (editing && found == editing) return {"Current", true};
    return {"In Use", false};
}

unsigned AddSoundValidMask() { return AddMask; }
unsigned EditSoundValidMask() { return EditMask; }
int AddSoundOpenCount() { return AddCount; }
int EditSoundOpenCount() { return EditCount; }

int ShowAddSound(SoundPack& pack, HWND owner) {
    SoundDialogState state{AddMask, AddCount, pack.Name(), std::string(), owner};
    return Run(IDD_ADD_SOUND, state,
               [&pack](HWND dialog) { ui::SetItemText(dialog, IDC_SOUND_PACK_NAME, pack.Name()); }, OnAdd);
}

int ShowEditSound(Sound& sound, HWND owner) {
    SoundDialogState state{EditMask, EditCount, sound.Pack() ? sound.Pack()->Name() : std::string(),
                           sound.IndexText(), owner};
    const auto fill = [&sound](HWND dialog) {
        ui::SetItemText(dialog, IDC_SOUND_PACK_NAME, sound.Pack() ? sound.Pack()->Name() : std::string());
        // Each fill raises the field's change notification: the verdicts come out as if typed.
        ui::SetItemText(dialog, IDC_SOUND_INDEX, sound.IndexText());
        ui::SetItemText(dialog, IDC_SOUND_COMMAND, sound.Command());
        ui::SetItemText(dialog, IDC_SOUND_FILENAME, sound.Filename());
        ui::SetItemText(dialog, IDC_SOUND_MESSAGE, sound.Message());
        ui::SetChecked(dialog, IDC_SOUND_ENABLED, sound.GetProperty(SoundEnabledProperty) == 1);
    };
    return Run(IDD_EDIT_SOUND, state, fill, OnEdit);
}

SoundDialogSeams& SoundDialogsSeams() { return Seams; }
void ResetSoundDialogsSeams() { Seams = DefaultSeams(); }

}  // namespace tunelark
