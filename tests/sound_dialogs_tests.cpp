// Add Sound and Edit Sound run modally and driven from a helper thread, on a database
// loaded from the registry as the plug-in loads it.
#include <windows.h>
#include <commctrl.h>

#include <shlwapi.h>

#include <algorithm>
#include <atomic>

#include "base/module.h"
#include "dialog_fixture.h"
#include "dialog_driver.h"
#include "registry_fixture.h"
#include "sounddb/sound_registry.h"
#include "ui/config_panel.h"
#include "ui/resource_ids.h"
#include "ui/sound_dialogs.h"

using namespace tunelark;
using namespace testsupport;

namespace {

// edited: IndexText of the Sound Edit Sound opens on, empty for Add Sound; typed null:
// the field as Edit Sound filled it.
struct IndexCase { std::string edited; const char* typed; bool zooHas16; std::string status; bool enabled; };
const IndexCase IndexCases[] = {
    {"", "", true, "Please enter a number", false}, {"", "0", true, "Please enter a number", false},
    {"", "00", true, "Please enter a number", false},
    {"", "016", false, "Please enter a number only (no leading zeros)", false},
    {"", "16", false, "Not Used", true}, {"", "16", true, "In Use", false}, {"5", "16", true, "In Use", false},
    {"5", "5", true, "Current", true}, {"", "16387064", true, "Not Used", true},
    {"", "16387065", true, "Too High", false}, {"", "99999999", true, "Too High", false},
    {"012", nullptr, true, "Please enter a number only (no leading zeros)", false},
};
const int TextFields[] = {IDC_SOUND_COMMAND, IDC_SOUND_FILENAME, IDC_SOUND_MESSAGE};

bool ConfirmOn(HWND dialog) { return IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE; }
SoundPack& Farm() { return *FindSoundPackByName("Farm", MatchPackName); }

class SoundDialogTest : public testsupport::PluginDialogTest {
protected:
    void TearDown() override {
        FreeSoundDatabase();
        ResetSoundDialogsSeams(), ResetConfigPanelSeams();
        PluginDialogTest::TearDown();
    }
    // Farm holds `farm` and 7, Zoo 16 when asked.
    void Load(const std::string& farm, bool zooHas16) {
        FreeSoundDatabase();
        ErasePluginKeys();
        for (const std::string& index : {farm, std::string("7")}) StoreSound("Farm", index, "c" + index, "f", "m");
        if (zooHas16) StoreSound("Zoo", "16", "roar", "f", "m");
        LoadSoundDatabase(SoundsKeyPath);
    }
    // Edit Sound on the Sound `edited`, or Add Sound on Farm; what the action leaves open is cancelled.
    void Open(const std::string& edited, const std::function<void(HWND)>& action) {
        DialogDriver driver(edited.empty() ? "Add Sounds" : "Edit Sound", [&](HWND dialog) {
            action(dialog);
            if (IsWindow(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        if (edited.empty()) ShowAddSound(Farm(), nullptr);
        else ShowEditSound(*FindSound(edited, MatchIndexText), nullptr);
        driver.Join();
        EXPECT_TRUE(driver.appeared());
    }
};

// Each row twice: the rule alone, with no window, and the dialog's status and button.
TEST_F(SoundDialogTest, IndexStatusAndConfirmButton) {
    for (const IndexCase& c : IndexCases) {
        Load(c.edited.empty() ? "5" : c.edited, c.zooHas16);
        const std::string at = c.edited + "/" + (c.typed ? c.typed : "-");
        const IndexVerdict v = JudgeSoundIndex(c.typed ? c.typed : c.edited, FindSound(c.edited, MatchIndexText));
        EXPECT_EQ(v.status, c.status) << at;
        EXPECT_EQ(ConfirmEnabled(v.valid ? SetFieldBit(14, IndexValid) : ClearFieldBit(15, IndexValid)), c.enabled) << at;
        std::string status;
        bool enabled = false;
        Open(c.edited, [&](HWND dialog) {
            for (int id : TextFields) SetDlgItemTextA(dialog, id, "x");
            if (c.typed) SetDlgItemTextA(dialog, IDC_SOUND_INDEX, c.typed);
            status = DialogItemText(dialog, IDC_SOUND_INDEX_STATUS);
            enabled = ConfirmOn(dialog);
        });
        EXPECT_EQ(status, c.status) << at;
        EXPECT_EQ(enabled, c.enabled) << at;
    }
}

// Each field emptied, then refilled (the Filename by Browse), in both dialogs.
TEST_F(SoundDialogTest, EmptyingAndRefillingAFieldTogglesTheButton) {
    SoundDialogsSeams().browse = [](HWND) { return std::string("C:\\picked.wav"); };
    for (const std::string edited : {"", "5"}) {
        for (int id : {IDC_SOUND_COMMAND, IDC_SOUND_FILENAME, IDC_SOUND_MESSAGE, IDC_SOUND_INDEX}) {
            Load("5", false);
            std::vector<bool> seen;
            Open(edited, [&](HWND dialog) {
                for (int field : TextFields) SetDlgItemTextA(dialog, field, "x");
                SetDlgItemTextA(dialog, IDC_SOUND_INDEX, "9");
                for (const char* text : {"", "9"}) {
                    seen.push_back(ConfirmOn(dialog));
                    if (id == IDC_SOUND_FILENAME && *text) SendDlgItemMessageA(dialog, IDC_SOUND_BROWSE, BM_CLICK, 0, 0);
                    else SetDlgItemTextA(dialog, id, text);
                }
                seen.push_back(ConfirmOn(dialog));
            });
            EXPECT_EQ(seen, (std::vector<bool>{true, false, true})) << edited << " " << id;
        }
    }
    EXPECT_EQ(Farm().Sounds()->Filename(), "f");  // cancelled: nothing saved
}

TEST_F(SoundDialogTest, ASecondAddSoundIsRefusedAndTheFirstKeepsItsMask) {
    Load("5", false);
    static std::atomic<bool> go{false};
    static std::atomic<int> second{0};
    // Opened on this thread from inside the first one's message loop, as a host call would.
    struct Timer {
        static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
            if (go) KillTimer(nullptr, id), second = ShowAddSound(Farm(), nullptr);
        }
    };
    SetTimer(nullptr, 0, 20, &Timer::Fire);
    unsigned before = 0, after = 0;
    Open("", [&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_SOUND_INDEX, "9");
        SetDlgItemTextA(dialog, IDC_SOUND_COMMAND, "x");
        before = AddSoundValidMask();
        go = true;
        for (int i = 0; i < 150 && second == 0; ++i) Sleep(20);
        after = AddSoundValidMask() | static_cast<unsigned>(AddSoundOpenCount()) << 8;
    });
    EXPECT_EQ(second, IDCANCEL);
    EXPECT_EQ(before, IndexValid | CommandGiven);
    EXPECT_EQ(after, before | 1u << 8);  // mask unchanged, one open
    EXPECT_EQ(AddSoundOpenCount(), 0);
}

// Through the panel: Edit from its button with the box cleared, Add from the list's
// menu, which adds its own row with no refresh.
TEST_F(SoundDialogTest, PanelEditMovesTheKeyAndAddAppendsARow) {
    const std::string farmKey = std::string(DatabaseRoot) + "\\Farm\\";
    ConfigPanelSeams().trackMenu = [](HMENU, POINT, HWND) { return IDM_PANEL_LIST_ADD_SOUND; };
    for (bool edit : {true, false}) {
        Load("5", false);
        std::vector<std::string> rows;
        DialogDriver panelDriver("Tunelark Config Panel", [&](HWND panel) {
            HWND tree = GetDlgItem(panel, IDC_PANEL_PACK_TREE), list = GetDlgItem(panel, IDC_PANEL_SOUND_LIST);
            TreeView_SelectItem(tree, TreeView_GetChild(tree, TreeView_GetRoot(tree)));
            DialogDriver dialogDriver(edit ? "Edit Sound" : "Add Sounds", [&](HWND dialog) {
                for (auto [id, text] : {std::pair{IDC_SOUND_INDEX, "6"}, {IDC_SOUND_COMMAND, "moo"}, {IDC_SOUND_FILENAME, "f"}, {IDC_SOUND_MESSAGE, ""}})
                    SetDlgItemTextA(dialog, id, text);
                // Pasted: no longer than a load reads back.
                SendDlgItemMessageA(dialog, IDC_SOUND_MESSAGE, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(std::string(3000, 'm').c_str()));
                SendDlgItemMessageA(dialog, IDC_SOUND_ENABLED, BM_CLICK, 0, 0);
                PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            });
            NMITEMACTIVATE n{};
            n.hdr = {list, IDC_PANEL_SOUND_LIST, static_cast<UINT>(NM_RCLICK)}, n.iItem = -1;
            SendMessageA(list, LVM_SETSELECTIONMARK, 0, 0);
            if (edit) SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_PANEL_EDIT_SOUND, BN_CLICKED), 0);
            else SendMessageA(panel, WM_NOTIFY, IDC_PANEL_SOUND_LIST, reinterpret_cast<LPARAM>(&n));
            dialogDriver.Join();
            rows = ListRows(list, 4);
            PostMessageA(panel, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(ShowConfigPanel(nullptr), PanelClosed);
        panelDriver.Join();
        using Rows = std::vector<std::string>;
        const std::string added = "6|moo|f|" + std::string(MaxSoundTextBytes, 'm');
        EXPECT_EQ(rows, (edit ? Rows{added, "7|c7|f|m"} : Rows{"5|c5|f|m", "7|c7|f|m", added}));
        LoadSoundDatabase(SoundsKeyPath);
        EXPECT_EQ(FindSoundByIndex(6, MatchIndex)->Message().size(), MaxSoundTextBytes) << "read back whole";
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, (farmKey + "5").c_str()), !edit);
        // Edit keeps the cleared box; Add has no box and saves the Sound enabled.
        EXPECT_EQ(AsNumber(ReadRaw(HKEY_LOCAL_MACHINE, (farmKey + "6").c_str(), "Enabled")), edit ? 0 : 1);
        EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, (farmKey + "6").c_str(), "Command").bytes, std::string("moo", 4));
    }
}

// The registry refusing Add or Edit Sound, in whole or halfway: the user is told what was
// saved and what not, and memory holds what the registry does (what a reload finds). A
// file on the network is refused before anything is written; the dialog stays for another.
TEST_F(SoundDialogTest, ARefusedOrNetworkSoundIsToldAndMemoryIsTheRegistry) {
    using Filter = std::function<bool(RegWrite, const std::string& key, const char* value)>;
    const Filter none = [](RegWrite, const std::string&, const char*) { return false; };
    const Filter createSix = [](RegWrite w, const std::string& k, const char*) { return w == RegWrite::CreateKey && k.ends_with("\\6"); };
    const Filter deletes = [](RegWrite w, const std::string&, const char*) { return w == RegWrite::DeleteKey; };
    const Filter fileAndDeletes = [](RegWrite w, const std::string&, const char* v) {
        return w == RegWrite::DeleteKey || (v && std::string(v) == "Filename");
    };
    const auto value = [](const char* name) { return [name](RegWrite, const std::string&, const char* v) { return v && v == std::string(name); }; };
    // press: OK, or the Enabled box, which must spring back to the flag the registry keeps.
    struct Case { std::string edited; const char* file; Filter refuse; const char* told; bool stays; std::vector<std::string> rows; int press = IDOK; };
    const std::vector<std::string> unchanged = {"5|c5|f|m", "7|c7|f|m"};
    const Case cases[] = {
        {"", "f", createSix, "Tunelark could not add the sound \"moo\" (SoundIndex 6) to the SoundPack \"Farm\".\r\n\r\n", false, unchanged},
        {"", "f", value("Filename"), "Tunelark could not add the sound \"moo\" (SoundIndex 6) to the SoundPack \"Farm\".\r\n\r\n", false, unchanged},
        {"5", "f", value("Enabled"), "Tunelark could not switch the sound \"c5\" (SoundIndex 5) off.", true, unchanged, IDC_SOUND_ENABLED},
        {"", "f", fileAndDeletes, "Tunelark could not add the sound \"moo\" (SoundIndex 6) to the SoundPack \"Farm\".\r\n"
         "Part of it was saved: the list shows the sound \"moo\" (SoundIndex 6) as the registry holds it, with its command "
         "as you gave it, but not its file and message.", false, {"5|c5|f|m", "6|moo||", "7|c7|f|m"}},
        {"5", "f", deletes, "Tunelark could not remove the old SoundIndex 5 of the sound \"moo\" (SoundIndex 6).\r\n"
         "The sound was saved under its new SoundIndex 6; the list shows both", false, {"5|c5|f|m", "6|moo|f|m", "7|c7|f|m"}},
        {"", "\\\\tlserver\\share\\a.wav", none, "The sound's file \\\\tlserver\\share\\a.wav is on another computer", true, unchanged},
        {"", "//tlserver/share/a.wav", none, "The sound's file //tlserver/share/a.wav is on another computer", true, unchanged},
        {"5", "\\\\?\\UNC\\tlserver\\share\\a.wav", none, "The sound's file \\\\?\\UNC\\tlserver", true, unchanged},
        {"", "\\\\.\\UNC\\tlserver\\share\\a.wav", none, "The sound's file \\\\.\\UNC\\tlserver", true, unchanged},
    };
    const auto rows = [] {
        std::vector<std::string> texts;
        for (const Sound* s = Farm().Sounds(); s; s = s->Next())
            texts.push_back(s->IndexText() + "|" + s->Command() + "|" + s->Filename() + "|" + s->Message());
        std::sort(texts.begin(), texts.end());
        return texts;
    };
    for (const Case& c : cases) {
        Load("5", false);
        SetRegWriteFilter([&c](RegWrite what, const std::string& key, const char* value) -> RegResult {
            return c.refuse(what, key, value) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
        });
        std::string told;
        bool stayed = false, ticked = false;
        Open(c.edited, [&](HWND dialog) {
            for (auto [id, text] : {std::pair{IDC_SOUND_INDEX, "6"}, {IDC_SOUND_COMMAND, "moo"}, {IDC_SOUND_FILENAME, c.file}, {IDC_SOUND_MESSAGE, "m"}})
                SetDlgItemTextA(dialog, id, text);
            DialogDriver box("Sorry...", [&](HWND b) { told = MessageBoxText(b), ClickButton(b, IDOK); });
            if (c.press == IDOK) SendMessageA(dialog, WM_COMMAND, IDOK, 0);
            else SendDlgItemMessageA(dialog, c.press, BM_CLICK, 0, 0);
            box.Join();
            stayed = !WaitUntilGone(dialog, c.stays ? 300 : 3000);
            // Only a dialog that stays has a box to read: one that ends may still be hidden, not gone.
            ticked = stayed && IsDlgButtonChecked(dialog, IDC_SOUND_ENABLED) == BST_CHECKED;
        });
        SetRegWriteFilter(nullptr);
        EXPECT_EQ(told.rfind(c.told, 0), 0u) << told;
        EXPECT_EQ(stayed, c.stays) << c.file;
        EXPECT_EQ(ticked, stayed && !c.edited.empty()) << "Edit Sound shows the registry's Enabled flag: " << told;
        EXPECT_EQ(rows(), c.rows) << told;
        FreeSoundDatabase();
        LoadSoundDatabase(SoundsKeyPath);
        EXPECT_EQ(rows(), c.rows) << "after a reload: " << told;
    }
}

}  // namespace

// The host reloads the database while the dialog is open (a timer on the dialog's thread,
// between two of its messages). A target still in the registry is found again and
// changed; one that is gone is reported and nothing is written.
TEST_F(SoundDialogTest, AReloadBehindTheDialogNeitherCrashesNorWritesAGhost) {
    static std::atomic<bool> reloaded;
    static std::string erase;
    struct Timer {
        static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            if (!erase.empty()) SHDeleteKeyA(HKEY_LOCAL_MACHINE, erase.c_str());
            FreeSoundDatabase();
            LoadSoundDatabase(SoundsKeyPath);
            reloaded = true;
        }
    };
    const std::string farmKey = std::string(DatabaseRoot) + "\\Farm";
    for (bool edit : {true, false}) {
        for (bool gone : {false, true}) {
            Load("5", false);
            reloaded = false;
            erase = gone ? (edit ? farmKey + "\\5" : farmKey) : std::string();
            SetTimer(nullptr, 0, 50, &Timer::Fire);
            bool refused = false;
            Open(edit ? "5" : "", [&](HWND dialog) {
                for (int i = 0; i < 150 && !reloaded; ++i) Sleep(20);
                for (auto [id, text] : {std::pair{IDC_SOUND_INDEX, "6"}, {IDC_SOUND_COMMAND, "moo"}})
                    SetDlgItemTextA(dialog, id, text);
                if (!edit) SetDlgItemTextA(dialog, IDC_SOUND_FILENAME, "f"), SetDlgItemTextA(dialog, IDC_SOUND_MESSAGE, "m");
                DialogDriver sorry("Sorry...", [](HWND box) { PostMessageA(box, WM_COMMAND, IDOK, 0); }, gone ? 5000 : 1000);
                PostMessageA(dialog, WM_COMMAND, IDOK, 0);
                sorry.Join();
                refused = sorry.appeared();
            });
            const Sound* six = FindSound("6", MatchIndexText);
            EXPECT_EQ(refused, gone) << edit;
            EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, (farmKey + "\\6").c_str()), !gone) << edit;
            EXPECT_EQ(six && six->Pack() == FindSoundPackByName("Farm", MatchPackName) && six->Command() == "moo", !gone)
                << edit;
            if (edit && !gone) {
                EXPECT_EQ(FindSound("5", MatchIndexText), nullptr);
            }
        }
    }
}
