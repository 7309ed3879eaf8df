// Add Sound and Edit Sound running modally, driven from a helper thread, on a database
// loaded from the registry as the plug-in loads it.
#include <windows.h>
#include <commctrl.h>

#include <atomic>

#include "base/module.h"
#include "dialog_driver.h"
#include "registry_fixture.h"
#include "sounddb/sound_registry.h"
#include "ui/config_panel.h"
#include "ui/resource_ids.h"
#include "ui/sound_dialogs.h"

using namespace tunelark;
using namespace testsupport;

namespace {

using Rows = std::vector<std::string>;

struct IndexCase {
    std::string edited;  // IndexText of the Sound Edit Sound opens on; empty: Add Sound
    const char* typed;   // null: the field as the dialog filled it
    bool zooHas16;
    std::string status;
    bool enabled;
};
const IndexCase IndexCases[] = {
    {"", "", true, "Please enter a number", false},
    {"", "0", true, "Please enter a number", false},
    {"", "00", true, "Please enter a number", false},
    {"", "016", false, "Please enter a number only (no leading zeros)", false},
    {"", "16", false, "Not Used", true},
    {"", "16", true, "In Use", false},
    {"5", "16", true, "In Use", false},
    {"5", "5", true, "Current", true},
    {"", "16387064", true, "Not Used", true},
    {"", "16387065", true, "Too High", false},
    {"", "99999999", true, "Too High", false},
    {"012", nullptr, true, "Please enter a number only (no leading zeros)", false},
};

class SoundDialogTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        module_ = LoadLibraryA("Tunelark.dll");
        ASSERT_NE(module_, nullptr);
        SetThisModule(module_);
        LoadPluginIcons(IDI_LARGE, IDI_SMALL);
        ResetSoundDialogsSeams();
    }
    void TearDown() override {
        FreeSoundDatabase();
        ResetSoundDialogsSeams();
        DestroyPluginIcons();
        SetThisModule(nullptr);
        if (module_) FreeLibrary(module_);
        RegistryTest::TearDown();
    }
    // Farm holds `farm` (and 7), Zoo holds 16 when asked; loaded as the plug-in loads.
    void Load(const std::string& farm, bool zooHas16) {
        FreeSoundDatabase();
        ErasePluginKeys();
        for (const std::string& index : {farm, std::string("7")})
            if (!index.empty()) StoreSound("Farm", index, "c" + index, "f" + index, "m" + index);
        if (zooHas16) StoreSound("Zoo", "16", "roar", "f", "m");
        LoadSoundDatabase(SoundsKeyPath);
    }
    Sound* Farm(const std::string& index) { return FindSound(index, MatchIndexText); }
    // Opens Add Sound on Farm (no edited Sound) or Edit Sound, runs the action, then
    // cancels what is still open.
    int Open(Sound* edited, const std::function<void(HWND)>& action, HWND owner = nullptr) {
        DialogDriver driver(edited ? "Edit Sound" : "Add Sounds", [&](HWND dialog) {
            action(dialog);
            if (IsWindow(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        const int result = edited ? ShowEditSound(*edited, owner)
                                  : ShowAddSound(*FindSoundPackByName("Farm", MatchPackName), owner);
        driver.Join();
        EXPECT_TRUE(driver.appeared());
        return result;
    }
    HMODULE module_ = nullptr;
};

bool ConfirmOn(HWND dialog) { return IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE; }

TEST_F(SoundDialogTest, IndexVerdictsWithoutAWindow) {
    for (const IndexCase& c : IndexCases) {
        Load(c.edited.empty() ? "5" : c.edited, c.zooHas16);
        const Sound* edited = c.edited.empty() ? nullptr : Farm(c.edited);
        const IndexVerdict v = JudgeSoundIndex(c.typed ? c.typed : c.edited, edited);
        EXPECT_EQ(v.status, c.status) << c.edited << "/" << (c.typed ? c.typed : "-");
        EXPECT_EQ(ConfirmEnabled(v.valid ? SetFieldBit(14, IndexValid) : ClearFieldBit(15, IndexValid)), c.enabled);
    }
}

TEST_F(SoundDialogTest, IndexStatusAndConfirmButtonAsTyped) {
    for (const IndexCase& c : IndexCases) {
        Load(c.edited.empty() ? "5" : c.edited, c.zooHas16);
        std::string status;
        bool enabled = false;
        Open(c.edited.empty() ? nullptr : Farm(c.edited), [&](HWND dialog) {
            for (int id : {IDC_SOUND_COMMAND, IDC_SOUND_FILENAME, IDC_SOUND_MESSAGE})
                SetDlgItemTextA(dialog, id, "x");
            if (c.typed) SetDlgItemTextA(dialog, IDC_SOUND_INDEX, c.typed);
            status = DialogItemText(dialog, IDC_SOUND_INDEX_STATUS);
            enabled = ConfirmOn(dialog);
        });
        EXPECT_EQ(status, c.status) << c.edited << "/" << (c.typed ? c.typed : "-");
        EXPECT_EQ(enabled, c.enabled) << c.edited << "/" << (c.typed ? c.typed : "-");
    }
}

TEST_F(SoundDialogTest, EmptyingAndRefillingEachFieldTogglesTheButton) {
    SoundDialogsSeams().browse = [](HWND) { return std::string("C:\\picked.wav"); };
    for (bool edit : {false, true}) {
        for (int id : {IDC_SOUND_COMMAND, IDC_SOUND_FILENAME, IDC_SOUND_MESSAGE, IDC_SOUND_INDEX}) {
            Load("5", false);
            std::vector<bool> seen;
            std::string browsed;
            Open(edit ? Farm("5") : nullptr, [&](HWND dialog) {
                for (int field : {IDC_SOUND_COMMAND, IDC_SOUND_FILENAME, IDC_SOUND_MESSAGE, IDC_SOUND_INDEX})
                    SetDlgItemTextA(dialog, field, field == IDC_SOUND_INDEX ? "9" : "x");
                seen.push_back(ConfirmOn(dialog));
                SetDlgItemTextA(dialog, id, "");
                seen.push_back(ConfirmOn(dialog));
                if (id == IDC_SOUND_FILENAME) SendDlgItemMessageA(dialog, IDC_SOUND_BROWSE, BM_CLICK, 0, 0);
                else SetDlgItemTextA(dialog, id, id == IDC_SOUND_INDEX ? "9" : "y");
                seen.push_back(ConfirmOn(dialog));
                browsed = DialogItemText(dialog, IDC_SOUND_FILENAME);
            });
            EXPECT_EQ(seen, (std::vector<bool>{true, false, true})) << edit << " " << id;
            EXPECT_EQ(browsed, id == IDC_SOUND_FILENAME ? "C:\\picked.wav" : "x") << edit << " " << id;
        }
    }
}

TEST_F(SoundDialogTest, ASecondAddSoundIsRefusedAndTheFirstKeepsItsMask) {
    Load("5", false);
    static std::atomic<bool> go{false};
    static std::atomic<int> second{0};
    go = false, second = 0;
    // Opened on this thread from inside the first one's message loop, as a host call
    // between two of its messages would.
    struct Timer {
        static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
            if (!go) return;
            KillTimer(nullptr, id);
            second = ShowAddSound(*FindSoundPackByName("Farm", MatchPackName), nullptr);
        }
    };
    SetTimer(nullptr, 0, 20, &Timer::Fire);
    unsigned before = 0, after = 0;
    int countDuring = 0;
    bool enabled = false;
    Open(nullptr, [&](HWND dialog) {
        for (int id : {IDC_SOUND_COMMAND, IDC_SOUND_MESSAGE}) SetDlgItemTextA(dialog, id, "x");
        SetDlgItemTextA(dialog, IDC_SOUND_INDEX, "9");
        before = AddSoundValidMask();
        go = true;
        for (int i = 0; i < 150 && second == 0; ++i) Sleep(20);
        after = AddSoundValidMask();
        countDuring = AddSoundOpenCount();
        SetDlgItemTextA(dialog, IDC_SOUND_FILENAME, "x");
        enabled = ConfirmOn(dialog);
    });
    EXPECT_EQ(second, IDCANCEL);
    EXPECT_EQ(before, IndexValid | CommandGiven | MessageGiven);
    EXPECT_EQ(after, before);
    EXPECT_EQ(countDuring, 1);
    EXPECT_TRUE(enabled);
    EXPECT_EQ(AddSoundOpenCount(), 0);
}

// Through the panel: Edit from its button, Add from the list's menu (which adds its own
// row, without a refresh).
TEST_F(SoundDialogTest, PanelEditMovesTheKeyAndAddAppendsARow) {
    const std::string farmKey = std::string(DatabaseRoot) + "\\Farm\\";
    struct Case { bool edit; bool enabled; Rows rows; std::string gone; std::string written; };
    const Case cases[] = {
        {true, false, {"6|moo|f|m", "7|c7|f7|m7"}, "5", "6"},
        {true, true, {"6|moo|f|m", "7|c7|f7|m7"}, "5", "6"},
        {false, true, {"5|c5|f5|m5", "7|c7|f7|m7", "6|moo|f|m"}, "", "6"},
    };
    ConfigPanelSeams().trackMenu = [](HMENU, POINT, HWND) { return IDM_PANEL_LIST_ADD_SOUND; };
    for (const Case& c : cases) {
        Load("5", false);
        Rows rows;
        DialogDriver panelDriver("Tunelark Config Panel", [&](HWND panel) {
            HWND tree = GetDlgItem(panel, IDC_PANEL_PACK_TREE);
            TreeView_SelectItem(tree, TreeView_GetChild(tree, TreeView_GetRoot(tree)));
            DialogDriver dialogDriver(c.edit ? "Edit Sound" : "Add Sounds", [&](HWND dialog) {
                const std::pair<int, const char*> fields[] = {
                    {IDC_SOUND_INDEX, "6"}, {IDC_SOUND_COMMAND, "moo"}, {IDC_SOUND_FILENAME, "f"}, {IDC_SOUND_MESSAGE, "m"}};
                for (const auto& [id, text] : fields) SetDlgItemTextA(dialog, id, text);
                if (c.edit && !c.enabled) SendDlgItemMessageA(dialog, IDC_SOUND_ENABLED, BM_CLICK, 0, 0);
                PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            });
            if (c.edit) {
                SendMessageA(GetDlgItem(panel, IDC_PANEL_SOUND_LIST), LVM_SETSELECTIONMARK, 0, 0);
                SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_PANEL_EDIT_SOUND, BN_CLICKED), 0);
            } else {
                NMITEMACTIVATE n{};
                n.hdr = {GetDlgItem(panel, IDC_PANEL_SOUND_LIST), IDC_PANEL_SOUND_LIST, static_cast<UINT>(NM_RCLICK)};
                n.iItem = -1;
                SendMessageA(panel, WM_NOTIFY, IDC_PANEL_SOUND_LIST, reinterpret_cast<LPARAM>(&n));
            }
            dialogDriver.Join();
            rows = ListRows(GetDlgItem(panel, IDC_PANEL_SOUND_LIST), 4);
            PostMessageA(panel, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(ShowConfigPanel(nullptr), PanelClosed);
        panelDriver.Join();
        EXPECT_EQ(rows, c.rows) << c.edit;
        if (!c.gone.empty()) {
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, (farmKey + c.gone).c_str()));
        }
        EXPECT_EQ(AsNumber(ReadRaw(HKEY_LOCAL_MACHINE, (farmKey + c.written).c_str(), "Enabled")), c.enabled ? 1 : 0);
        EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, (farmKey + c.written).c_str(), "Command").bytes, std::string("moo", 4));
    }
    ResetConfigPanelSeams();
}

}  // namespace
