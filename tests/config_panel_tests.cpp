// The Config Panel running modally, driven from a helper thread: the test program's own
// copy for the database and the seams, the DLL as the host loads it for the exports.
#include <windows.h>
#include <commctrl.h>

#include <shlwapi.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <fstream>
#include <optional>

#include "audio_capture.h"
#include "base/module.h"
#include "dialog_fixture.h"
#include "dialog_driver.h"
#include "plugin_fixture.h"
#include "settings/settings_store.h"
#include "sounddb/export.h"
#include "sounddb/library_watch.h"
#include "sounddb/sound_registry.h"
#include "support/read_only_keys.h"
#include "support/sound_files.h"
#include "ui/config_panel.h"
#include "ui/resource_ids.h"

using namespace tunelark;
using namespace testsupport;

namespace {

const char* const Caption = "Tunelark Config Panel";
using Rows = std::vector<std::string>;

HWND Tree(HWND panel) { return GetDlgItem(panel, IDC_PANEL_PACK_TREE); }
HWND List(HWND panel) { return GetDlgItem(panel, IDC_PANEL_SOUND_LIST); }
Rows Sounds(HWND panel) { return ListRows(List(panel), 4); }

HTREEITEM PackItem(HWND panel, int n) {
    HTREEITEM item = TreeView_GetChild(Tree(panel), TreeView_GetRoot(Tree(panel)));
    while (item && n-- > 0) item = TreeView_GetNextSibling(Tree(panel), item);
    return item;
}

POINT RowPoint(HWND panel, int row) {
    RECT r{};
    r.left = LVIR_LABEL;
    SendMessageA(List(panel), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void MarkRow(HWND panel, int row) { SendMessageA(List(panel), LVM_SETSELECTIONMARK, 0, row); }

void RightClickItem(HWND panel, HTREEITEM item) {
    // TVM_GETITEMRECT takes the item in the rectangle's place.
    union { RECT r; HTREEITEM item; } in{};
    in.item = item;
    RECT& r = in.r;
    SendMessageA(Tree(panel), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r));
    // Beside the label, not on it: the whole row is the item's.
    SendMessageA(Tree(panel), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(r.right + 12, (r.top + r.bottom) / 2));
}

// A list notification as the list view sends it.
void ListNotify(HWND panel, UINT code, int row, POINT at) {
    NMITEMACTIVATE n{};
    n.hdr = {List(panel), IDC_PANEL_SOUND_LIST, code};
    n.iItem = row;
    n.ptAction = at;
    SendMessageA(panel, WM_NOTIFY, IDC_PANEL_SOUND_LIST, reinterpret_cast<LPARAM>(&n));
}

// Runs the action and answers the message box it raises; its text, or "none".
std::string BoxDuring(HWND panel, const std::function<void()>& action) {
    std::string text = "none";
    DialogDriver box("Sorry...", [&](HWND b) {
        text = MessageBoxText(b) + (GetWindow(b, GW_OWNER) == panel ? "" : " (not owned by the panel)");
        ClickButton(b, IDOK);
    }, 1500);
    action();
    box.StopWaiting();
    return text;
}


class PanelTest : public testsupport::PluginDialogTest {
protected:
    void SetUp() override {
        PluginDialogTest::SetUp();
        ResetConfigPanelSeams();
        ConfigPanelSeams().trackMenu = [this](HMENU popup, POINT, HWND) {
            shownMenu_ = GetMenuItemCount(popup) == 9 ? 0 : GetMenuItemCount(popup) == 2 ? 1
                         : GetMenuItemCount(popup) == 3 ? 2 : 3;
            return menuAnswer_;
        };
    }
    void TearDown() override {
        FreeSoundDatabase();
        ResetConfigPanelSeams();
        PluginDialogTest::TearDown();
    }
    // Appended in the order given, saved with its Sounds (index, command, file, message).
    SoundPack* AddPack(const std::string& name, const std::vector<std::array<std::string, 4>>& sounds) {
        auto pack = std::make_unique<SoundPack>();
        pack->SetName(name);
        pack->SetKeyPath(std::string(SoundsKeyPath) + "\\" + name);
        for (const auto& s : sounds) {
            Sound* sound = pack->AddSound(std::make_unique<Sound>(pack.get()));
            sound->SetIndexText(s[0]), sound->SetCommand(s[1]), sound->SetFilename(s[2]), sound->SetMessage(s[3]);
        }
        SaveSoundPack(*pack);
        return AppendSoundPack(std::move(pack));
    }
    int Run(std::function<void(HWND)> action) {
        DialogDriver driver(Caption, [&](HWND panel) {
            action(panel);
            if (IsWindow(panel)) PostMessageA(panel, WM_COMMAND, IDOK, 0);
        });
        const int result = ShowConfigPanel(nullptr);
        driver.Join();
        EXPECT_TRUE(driver.appeared());
        EXPECT_EQ(PanelOpenCount(), 0);
        return result;
    }

    int shownMenu_ = -1;
    int menuAnswer_ = 0;
};

TEST_F(PanelTest, TreeAndListShowTheDatabase) {
    const std::string longName(200, 'L');
    struct Case {
        std::vector<std::string> packs;  // each gets one Sound: index i+1, command c<i>
        Rows tree;
        Rows rootRows;
        int select;  // pack node selected next, -1 none
        Rows selectedRows;
    };
    const Case cases[] = {
        {{}, {"All Sounds"}, {}, -1, {}},
        {{"Zoo", "Farm", "Birds"}, {"All Sounds", "-Zoo", "-Farm", "-Birds"},
         {"1|c0|f0|m0", "2|c1|f1|m1", "3|c2|f2|m2"}, 1, {"2|c1|f1|m1"}},
        {{"Farm", "FARM"}, {"All Sounds", "-Farm", "-FARM"}, {"1|c0|f0|m0", "2|c1|f1|m1"}, 1, {"1|c0|f0|m0"}},
        {{"Zoo", "All Sounds"}, {"All Sounds", "-Zoo", "-All Sounds"}, {"1|c0|f0|m0", "2|c1|f1|m1"}, 1, {"2|c1|f1|m1"}},
        {{"Zoo", longName}, {"All Sounds", "-Zoo", "-" + longName}, {"1|c0|f0|m0", "2|c1|f1|m1"}, 1, {"2|c1|f1|m1"}},
    };
    for (const Case& c : cases) {
        FreeSoundDatabase();
        for (size_t i = 0; i < c.packs.size(); ++i) {
            const std::string n = std::to_string(i);
            AddPack(c.packs[i], {{std::to_string(i + 1), "c" + n, "f" + n, "m" + n}});
        }
        Rows tree, rootRows, selectedRows;
        bool rootSelected = false;
        Run([&](HWND panel) {
            tree = TreeItems(Tree(panel));
            rootSelected = TreeView_GetSelection(Tree(panel)) == TreeView_GetRoot(Tree(panel));
            rootRows = Sounds(panel);
            if (c.select >= 0) TreeView_SelectItem(Tree(panel), PackItem(panel, c.select));
            selectedRows = Sounds(panel);
        });
        const std::string at = c.packs.empty() ? "empty" : c.packs.back().substr(0, 20);
        EXPECT_EQ(tree, c.tree) << at;
        EXPECT_EQ(rootSelected, !c.packs.empty()) << at;
        EXPECT_EQ(rootRows, c.rootRows) << at;
        EXPECT_EQ(selectedRows, c.select >= 0 ? c.selectedRows : c.rootRows) << at;
    }
}

// The list on screen, scrolled down to a marked row, rebuilt by Edit Sound confirmed
// unchanged: every row again in database order (not sorted), shown from the top, with no
// row selected or marked, as any list rebuilt from the database; the tree keeps its own.
TEST_F(PanelTest, ARefreshOfAScrolledListShowsEveryRowInOrderFromTheTop) {
    Rows expected;
    for (const char* name : {"Zoo", "Farm"}) {
        std::vector<std::array<std::string, 4>> sounds;
        for (int i = 0; i < 40; ++i) {
            const std::string n = std::to_string(expected.size() * 37 % 101 + 1);
            sounds.push_back({n, "c" + n, "f" + n, "m" + n});
            expected.push_back(n + "|c" + n + "|f" + n + "|m" + n);
        }
        AddPack(name, sounds);
    }
    const auto seen = [](HWND panel) {
        return "top:" + std::to_string(ListView_GetTopIndex(List(panel))) + " mark:" +
               std::to_string(SendMessageA(List(panel), LVM_GETSELECTIONMARK, 0, 0)) + " selected:" +
               std::to_string(ListView_GetSelectedCount(List(panel))) + " root:" +
               std::to_string(TreeView_GetSelection(Tree(panel)) == TreeView_GetRoot(Tree(panel)));
    };
    std::string before, after;
    Rows rows;
    Run([&](HWND panel) {
        ListView_EnsureVisible(List(panel), 70, FALSE);
        MarkRow(panel, 70);
        ListView_SetItemState(List(panel), 70, LVIS_SELECTED, LVIS_SELECTED);
        before = seen(panel) + (IsWindowVisible(List(panel)) ? " visible" : "");
        DialogDriver edit("Edit Sound", [](HWND d) { PostMessageA(d, WM_COMMAND, IDOK, 0); });
        SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_PANEL_EDIT_SOUND, BN_CLICKED), 0);
        edit.Join();
        rows = Sounds(panel), after = seen(panel);
    });
    EXPECT_NE(before.substr(0, 6), "top:0 ") << before;  // scrolled down
    EXPECT_EQ(before.substr(before.find(" mark")), " mark:70 selected:1 root:1 visible");
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(after, "top:0 mark:-1 selected:0 root:1");
}

TEST_F(PanelTest, ASecondPanelIsRefusedAndTheFirstKeepsItsTree) {
    AddPack("Farm", {{"1", "moo", "f", "m"}});
    static std::atomic<int> second{0};
    second = 0;
    // Opens the second panel on this thread from inside the first one's message loop,
    // as a host call between two of its messages would.
    struct Timer {
        static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            second = ShowConfigPanel(nullptr);
        }
    };
    SetTimer(nullptr, 0, 50, &Timer::Fire);
    Rows tree;
    int count = 0;
    const int first = Run([&](HWND panel) {
        for (int i = 0; i < 150 && second == 0; ++i) Sleep(20);
        count = PanelOpenCount();
        tree = TreeItems(Tree(panel));
    });
    EXPECT_EQ(second, PanelCancelled);
    EXPECT_EQ(first, PanelClosed);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(tree, (Rows{"All Sounds", "-Farm"}));
}

TEST_F(PanelTest, MessageBoxesForWhatCannotBeDone) {
    Sound gone(nullptr);
    gone.SetIndexText("999");
    struct Case {
        bool withPack;
        int select;  // -1 leaves the selection as it opens
        bool staleRow;
        int button;
        std::string text;   // whole; for a read-only library its first line
        bool readOnly = false;  // as a standard user of Vista to 11 has it: told before any dialog opens
    };
    const Case cases[] = {
        {true, -1, false, IDC_PANEL_ADD_SOUND, "You cannot add a Sound to the All Sounds List. Please chose a SoundPack from the list"},
        {false, -1, false, IDC_PANEL_ADD_SOUND, "An internal error has occurred. This SoundPack could not be found"},
        {true, 0, true, IDC_PANEL_EDIT_SOUND, "An internal error has occurred. This Sound could not be found"},
        {true, 0, false, IDC_PANEL_EDIT_SOUND, "none"},
        {true, 0, false, IDC_PANEL_ADD_SOUND, "Tunelark cannot add sounds to the SoundPack \"Farm\".", true},
        {true, 0, false, IDC_PANEL_EDIT_SOUND, "Tunelark cannot change the sound \"moo\" (SoundIndex 1).", true},
        {true, 0, false, IDC_PANEL_DELETE_SOUND, "Tunelark cannot delete the sound \"moo\" (SoundIndex 1).", true},
        {true, 0, false, IDC_PANEL_SOUNDPACKS, "Tunelark cannot install SoundPacks.", true},
    };
    for (const Case& c : cases) {
        FreeSoundDatabase();
        ErasePluginKeys();
        if (c.withPack) AddPack("Farm", {{"1", "moo", "f", "m"}});
        std::unique_ptr<ReadOnlyKeys> readOnly;
        if (c.readOnly) readOnly = std::make_unique<ReadOnlyKeys>(HKEY_LOCAL_MACHINE, DatabaseRoot);
        std::string text;
        Run([&](HWND panel) {
            if (c.select >= 0) TreeView_SelectItem(Tree(panel), PackItem(panel, c.select));
            if (c.staleRow) SendMessageA(panel, UM_ADDSOUNDROW, reinterpret_cast<WPARAM>(&gone), 0);
            MarkRow(panel, 0);
            text = BoxDuring(panel, [&] { SendMessageA(panel, WM_COMMAND, c.button, 0); });
        });
        if (c.readOnly) {
            EXPECT_NE(text.find("Windows gave this reason: "), std::string::npos) << text;
            text = text.substr(0, text.find("\r\n"));
        }
        EXPECT_EQ(text, c.text);
    }
}

TEST_F(PanelTest, TheEnableBoxWritesOption201AtOnce) {
    struct Case { int stored; bool ticked; int after; };
    for (const Case c : {Case{-1, true, 0}, Case{0, false, 1}, Case{2, false, 1}}) {
        if (c.stored >= 0) Settings.SetOption(SoundsEnabled, c.stored);
        bool ticked = false;
        const int result = Run([&](HWND panel) {
            ticked = IsDlgButtonChecked(panel, IDC_PANEL_ENABLE_SOUNDS) == BST_CHECKED;
            SendMessageA(GetDlgItem(panel, IDC_PANEL_ENABLE_SOUNDS), BM_CLICK, 0, 0);
            PostMessageA(panel, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(result, PanelCancelled);
        EXPECT_EQ(ticked, c.ticked) << c.stored;
        EXPECT_EQ(Settings.GetOption(SoundsEnabled), c.after) << c.stored;
    }
}

TEST_F(PanelTest, ContextMenuRules) {
    EXPECT_EQ(TreeMenuFor(false, false, true), PanelMenu::None);
    EXPECT_EQ(TreeMenuFor(true, true, true), PanelMenu::TreeRoot);  // a pack named "All Sounds"
    EXPECT_EQ(TreeMenuFor(true, false, true), PanelMenu::TreePack);
    EXPECT_EQ(TreeMenuFor(true, false, false), PanelMenu::None);
    EXPECT_EQ(ListMenuFor(false, true), PanelMenu::None);
    EXPECT_EQ(ListMenuFor(true, true), PanelMenu::ListSound);
    EXPECT_EQ(ListMenuFor(true, false), PanelMenu::ListWhitespace);
}

// Another program's change comes into the open panel by itself, the pack shown staying
// shown; not while a dialog that edits the library is open, but as soon as it closes.
TEST_F(PanelTest, AnotherProgramsChangeComesInButWaitsForAnEditingDialog) {
    AddPack("Farm", {{"1", "moo", "f", "m"}});
    StartWatchingLibrary();
    const auto showsSoon = [](HWND panel, const std::string& item, DWORD ms) {
        for (DWORD waited = 0; waited < ms; waited += 50, Sleep(50)) {
            const Rows tree = TreeItems(Tree(panel));
            if (std::find(tree.begin(), tree.end(), item) != tree.end()) return true;
        }
        return false;
    };
    Rows rows;
    bool yardCameUnderTheDialog = true, yardCameAfter = false;
    Run([&](HWND panel) {
        TreeView_SelectItem(Tree(panel), PackItem(panel, 0));
        StoreSound("Zoo", "9", "roar", "f", "m");  // written by another program, as far as the panel knows
        ASSERT_TRUE(showsSoon(panel, "-Zoo", 3000));
        rows = Sounds(panel);
        DialogDriver add("Add Sounds", [&](HWND dialog) {
            StoreSound("Yard", "8", "cluck", "f", "m");
            yardCameUnderTheDialog = showsSoon(panel, "-Yard", 1000);
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        PostMessageA(panel, WM_COMMAND, IDC_PANEL_ADD_SOUND, 0);
        add.Join();
        yardCameAfter = showsSoon(panel, "-Yard", 3000);
    });
    StopWatchingLibrary();
    EXPECT_EQ(rows, Rows{"1|moo|f|m"}) << "the pack shown before stays shown";
    EXPECT_FALSE(yardCameUnderTheDialog) << "reloaded while Add Sound was open";
    EXPECT_TRUE(yardCameAfter);
}

TEST_F(PanelTest, ListMenusActOnTheRowAndTheSelectedPack) {
    struct Case { bool selectPack; int row; int answer; int menu; Rows rows; bool addTarget; bool editTarget; };
    const Case cases[] = {
        {false, 0, IDM_PANEL_DELETE_SOUND, -1, {"1|moo|f|m", "2|baa|f|m"}, false, false},
        {true, -1, IDM_PANEL_LIST_ADD_SOUND, 3, {"1|moo|f|m", "2|baa|f|m"}, true, false},
        {true, 1, IDM_PANEL_EDIT_SOUND, 2, {"1|moo|f|m", "2|baa|f|m"}, false, true},
        {true, 1, IDM_PANEL_DELETE_SOUND, 2, {"1|moo|f|m"}, false, false},
    };
    ConfigPanelSeams().confirmDelete = [](HWND) { return DeleteKeepFiles; };
    for (const Case& c : cases) {
        FreeSoundDatabase();
        SoundPack* farm = AddPack("Farm", {{"1", "moo", "f", "m"}, {"2", "baa", "f", "m"}});
        shownMenu_ = -1;
        menuAnswer_ = c.answer;
        Rows rows;
        Run([&](HWND panel) {
            if (c.selectPack) TreeView_SelectItem(Tree(panel), PackItem(panel, 0));
            // Add and Edit open their dialog, which is cancelled here.
            std::unique_ptr<DialogDriver> opened;
            if (c.addTarget || c.editTarget)
                opened = std::make_unique<DialogDriver>(c.addTarget ? "Add Sounds" : "Edit Sound",
                                                        [](HWND d) { PostMessageA(d, WM_COMMAND, IDCANCEL, 0); });
            ListNotify(panel, NM_RCLICK, c.row, c.row >= 0 ? RowPoint(panel, c.row) : POINT{5, 100});
            if (opened) {
                opened->Join();
                EXPECT_TRUE(opened->appeared()) << c.answer;
            }
            rows = Sounds(panel);
        });
        EXPECT_EQ(shownMenu_, c.menu) << c.answer;
        EXPECT_EQ(rows, c.rows) << c.answer;
        if (c.addTarget) {
            EXPECT_EQ(AddSoundTarget(), farm);
        }
        if (c.editTarget) {
            EXPECT_EQ(EditSoundTarget(), farm->Sounds()->Next());
        }
    }
}

// Deleting with its file the Sound that plays: the sound stops, and its file goes. Last,
// the registry refuses the deletion after the up-front check: the user is told why, and
// the Sound and its file stay.
TEST_F(PanelTest, DeleteSoundRemovesItsFileOnlyWhenAskedTo) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + "tlpanel_delete.wav";
    PlaybackRunning playback;
    for (const auto& [answer, refused] : {std::pair{DeleteCancelled, false}, {DeleteKeepFiles, false}, {DeleteWithFiles, false},
                                         {DeleteWithFiles, true}}) {
        FreeSoundDatabase();
        WriteToneWav(file, 440, 8);
        AddPack("Farm", {{"2", "moo", file, "m"}, {"3", "baa", "f", "m"}});
        if (answer == DeleteWithFiles && !refused) {
            ASSERT_TRUE(playback.PlayUntilHeard(*FindSound("2", MatchIndexText)));
        }
        ConfigPanelSeams().confirmDelete = [answer](HWND) { return answer; };
        if (refused) SetRegWriteFilter([](RegWrite w, const std::string&, const char*) { return w == RegWrite::DeleteKey ? ERROR_ACCESS_DENIED : 0L; });
        Rows rows;
        std::string told = "none";
        Run([&](HWND panel) {
            MarkRow(panel, 0);
            std::optional<DialogDriver> box;
            if (refused) box.emplace("Sorry...", [&](HWND b) { told = MessageBoxText(b), ClickButton(b, IDOK); });
            SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_PANEL_DELETE_SOUND, BN_CLICKED), 0);
            box.reset();
            rows = Sounds(panel);
        });
        SetRegWriteFilter(nullptr);
        const bool deleted = answer != DeleteCancelled && !refused;
        EXPECT_EQ(FindSound("2", MatchIndexText) == nullptr, deleted) << answer;
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, (std::string(DatabaseRoot) + "\\Farm\\2").c_str()), !deleted) << answer;
        EXPECT_EQ(GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES, deleted && answer == DeleteWithFiles) << answer;
        EXPECT_EQ(rows.size(), deleted ? 1u : 2u) << answer;
        EXPECT_EQ(told.substr(0, told.find("\r\n")), refused ? "Tunelark could not delete the sound \"moo\" (SoundIndex 2)." : "none");
        EXPECT_EQ(told.find("run the Tunelark setup program as an administrator") != std::string::npos, refused) << told;
    }
    EXPECT_LT(WaitForCapture().audibleSeconds, 6.0) << "the 8 s sound went on";
    DeleteFileA(file.c_str());
}

TEST_F(PanelTest, DeleteSoundPackRemovesNodeKeysRecordsAndFilesWhenAsked) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string plugins = std::string(temp) + "tlpanel" + std::to_string(GetCurrentProcessId());
    WriteText(HKEY_LOCAL_MACHINE, "Software\\Drovask\\MsgPlus2", "PluginDir", plugins);
    menuAnswer_ = IDM_PANEL_DELETE_SOUNDPACK;
    PlaybackRunning playback;
    const std::string dir = plugins + "\\Tunelark\\Farm", row = "2|moo|" + dir + "\\a.wav|m";
    // The last: the registry refuses the deletion after the up-front check.
    for (const auto& [answer, refused] : {std::pair{DeleteCancelled, false}, {DeleteKeepFiles, false}, {DeleteWithFiles, false},
                                         {DeleteWithFiles, true}}) {
        FreeSoundDatabase();
        for (const std::string& d : {plugins, plugins + "\\Tunelark", dir}) CreateDirectoryA(d.c_str(), nullptr);
        WriteToneWav(dir + "\\a.wav", 440, 8);
        AddPack("Zoo", {{"1", "roar", "f", "m"}});
        AddPack("Farm", {{"2", "moo", dir + "\\a.wav", "m"}});
        // What plays is cut off, and its file goes with the others.
        if (answer == DeleteWithFiles && !refused) {
            ASSERT_TRUE(playback.PlayUntilHeard(*FindSound("2", MatchIndexText)));
        }
        ConfigPanelSeams().confirmDelete = [answer](HWND) { return answer; };
        if (refused) SetRegWriteFilter([](RegWrite w, const std::string&, const char*) { return w == RegWrite::DeleteKey ? ERROR_ACCESS_DENIED : 0L; });
        Rows tree, rows;
        std::string told = "none";
        Run([&](HWND panel) {
            std::optional<DialogDriver> box;
            if (refused) box.emplace("Sorry...", [&](HWND b) { told = MessageBoxText(b), ClickButton(b, IDOK); });
            RightClickItem(panel, PackItem(panel, 1));
            box.reset();
            tree = TreeItems(Tree(panel));
            rows = Sounds(panel);
        });
        SetRegWriteFilter(nullptr);
        const bool deleted = answer != DeleteCancelled && !refused;
        EXPECT_EQ(shownMenu_, 0);
        EXPECT_EQ(tree, deleted ? Rows({"All Sounds", "-Zoo"}) : Rows({"All Sounds", "-Zoo", "-Farm"})) << answer;
        EXPECT_EQ(FindSoundPackByName("Farm", MatchPackName) == nullptr, deleted) << answer;
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, (std::string(DatabaseRoot) + "\\Farm").c_str()), !deleted);
        EXPECT_EQ(GetFileAttributesA(dir.c_str()) == INVALID_FILE_ATTRIBUTES, deleted && answer == DeleteWithFiles) << answer;
        EXPECT_EQ(std::count(rows.begin(), rows.end(), row), deleted ? 0 : 1) << answer;
        EXPECT_EQ(told.substr(0, told.find("\r\n")), refused ? "Tunelark could not delete the SoundPack \"Farm\"." : "none");
    }
    EXPECT_LT(WaitForCapture().audibleSeconds, 6.0) << "the 8 s sound went on";
    DeleteDirectoryTree(plugins);
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Drovask");
}

// Files the system keeps: the Sound and the pack go from the registry first, and the
// user is told which files stay and why.
TEST_F(PanelTest, FilesTheSystemKeepsAreToldOfAndTheRestGoes) {
    const std::string plugins = ProgramDir() + "fixtures\\kept", dir = plugins + "\\Tunelark\\Farm";
    WriteText(HKEY_LOCAL_MACHINE, "Software\\Drovask\\MsgPlus2", "PluginDir", plugins);
    AddPack("Farm", {{"2", "moo", dir + "\\kept.wav", "m"}, {"3", "baa", dir + "\\gone.wav", "m"}});
    ConfigPanelSeams().confirmDelete = [](HWND) { return DeleteWithFiles; };
    std::string soundTold, packTold;  // gone.wav goes, kept.wav stays
    Rows tree;
    Run([&](HWND panel) {
        TreeView_SelectItem(Tree(panel), PackItem(panel, 0));
        MarkRow(panel, 0);
        soundTold = BoxDuring(panel, [&] { SendMessageA(panel, WM_COMMAND, IDC_PANEL_DELETE_SOUND, 0); });
        menuAnswer_ = IDM_PANEL_DELETE_SOUNDPACK;
        packTold = BoxDuring(panel, [&] { RightClickItem(panel, PackItem(panel, 0)); });
        tree = TreeItems(Tree(panel));
    });
    EXPECT_EQ(soundTold.rfind("Tunelark could not delete the file " + dir + "\\kept.wav of the sound \"moo\" (SoundIndex 2).\r\n"
                              "The sound itself was deleted.\r\n\r\nWindows gave this reason: ", 0), 0u) << soundTold;
    EXPECT_EQ(packTold.rfind("Tunelark could not delete all the files of the SoundPack \"Farm\": 1 file or folder stays in " +
                             dir + ".\r\nThe SoundPack itself was deleted.", 0), 0u) << packTold;
    EXPECT_EQ(tree, Rows({"All Sounds"}));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, (std::string(DatabaseRoot) + "\\Farm").c_str()));
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Drovask");
}

TEST_F(PanelTest, RowsWhoseSoundIsGoneAreRebuiltNotActedOn) {
    AddPack("Farm", {{"1", "moo", "f", "m"}, {"2", "baa", "f", "m"}});
    static std::atomic<bool> reloaded{false};
    reloaded = false;
    // The host's Reload between two messages of the panel, with Sound 1 gone from the registry.
    struct Timer {
        static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            SHDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(DatabaseRoot) + "\\Farm\\1").c_str());
            FreeSoundDatabase();
            LoadSoundDatabase(SoundsKeyPath);
            reloaded = true;
        }
    };
    SetTimer(nullptr, 0, 50, &Timer::Fire);
    ConfigPanelSeams().confirmDelete = [](HWND) { return DeleteWithFiles; };
    Sound gone(nullptr);
    gone.SetIndexText("1");
    Rows before, afterDoubleClick, afterDelete;
    const int result = Run([&](HWND panel) {
        for (int i = 0; i < 150 && !reloaded; ++i) Sleep(20);
        before = Sounds(panel);
        const POINT p = RowPoint(panel, 0);
        SendMessageA(List(panel), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
        afterDoubleClick = Sounds(panel);
        SendMessageA(panel, UM_ADDSOUNDROW, reinterpret_cast<WPARAM>(&gone), 0);
        MarkRow(panel, 0);
        SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_PANEL_DELETE_SOUND, BN_CLICKED), 0);
        afterDelete = Sounds(panel);
    });
    EXPECT_EQ(result, PanelClosed);
    EXPECT_EQ(ChosenCommand(), "");
    EXPECT_EQ(before, (Rows{"1|moo|f|m", "2|baa|f|m"}));
    EXPECT_EQ(afterDoubleClick, Rows{"2|baa|f|m"});
    EXPECT_EQ(afterDelete, Rows{"2|baa|f|m"});
    EXPECT_NE(FindSound("2", MatchIndexText), nullptr);
}

TEST_F(PanelTest, TreeMenusActOnTheClickedPack) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string ini = std::string(temp) + "tlpanel_export" + std::to_string(GetCurrentProcessId()) + ".ini";
    ConfigPanelSeams().exportPath = [&](HWND) { return ini; };
    struct Case { std::string message; int item; int answer; int menu; std::string box; };
    const Case cases[] = {
        {"m", -1, IDM_PANEL_NEW_SOUNDPACK, 1, "none"},
        {"m", 1, IDM_PANEL_PROPERTIES, 0, "none"},
        {"m", 1, IDM_PANEL_EXPORT_SOUNDPACK, 0, "none"},
        {"two\nlines", 1, IDM_PANEL_EXPORT_SOUNDPACK, 0, "problem"},
    };
    for (const Case& c : cases) {
        FreeSoundDatabase();
        DeleteFileA(ini.c_str());
        AddPack("Zoo", {{"1", "roar", "f", "m"}});
        SoundPack* farm = AddPack("Farm", {{"2", "moo", "f", c.message}});
        shownMenu_ = -1;
        menuAnswer_ = c.answer;
        std::string box;
        Run([&](HWND panel) {
            HTREEITEM item = c.item < 0 ? TreeView_GetRoot(Tree(panel)) : PackItem(panel, c.item);
            box = BoxDuring(panel, [&] { RightClickItem(panel, item); });
        });
        EXPECT_EQ(shownMenu_, c.menu) << c.answer;
        const std::string problem = c.answer == IDM_PANEL_EXPORT_SOUNDPACK ? ExportSoundPack(*farm, ini + ".x") : "";
        EXPECT_EQ(box, c.box == "problem" ? problem : c.box) << c.answer;
        char name[32] = {};
        GetPrivateProfileStringA("Header", "Name", "", name, sizeof name, ini.c_str());
        EXPECT_EQ(std::string(name), c.answer == IDM_PANEL_EXPORT_SOUNDPACK && c.box == "none" ? "Farm" : "") << c.answer;
        if (c.answer == IDM_PANEL_PROPERTIES) {
            EXPECT_EQ(PropertiesTarget(), farm);
        }
        DeleteFileA((ini + ".x").c_str());
    }
    DeleteFileA(ini.c_str());
}

// Installed from a pack's menu into the pack on show: its new Sound shows at once.
TEST_F(PanelTest, InstallFromThePacksMenuShowsTheNewSound) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string ini = std::string(temp) + "tlpanel_install" + std::to_string(GetCurrentProcessId()) + ".ini";
    std::ofstream(ini) << "[Header]\nTotalSounds=1\nName=Farm\nArtist=A\nVersion=2\n"
                          "[Sound1]\nSoundIndex=3\nCommand=oink\nFilename=o.wav\nMessage=m\n";
    AddPack("Farm", {{"2", "moo", "f", "m"}});
    menuAnswer_ = IDM_PANEL_INSTALL_SOUNDPACK;
    Rows rows;
    Run([&](HWND panel) {
        TreeView_SelectItem(Tree(panel), PackItem(panel, 0));
        DialogDriver install("Install a Soundpack", [&](HWND d) {
            SetDlgItemTextA(d, IDC_INSTALL_PATH, ini.c_str());
            SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_INSTALL, BN_CLICKED), 0);
            PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
        });
        RightClickItem(panel, PackItem(panel, 0));
        install.Join();
        rows = ListRows(List(panel), 1);
    });
    EXPECT_EQ(rows, (Rows{"2", "3"}));
    DeleteFileA(ini.c_str());
}

// The panel of the DLL, opened through the exports as the host opens it.
class PluginPanelTest : public LoadedPluginTest {};

TEST_F(PluginPanelTest, ADoubleClickedRowAnswersItsCommand) {
    StoreSound("Farm", "5", "baa", "C:\\baa.wav", "");
    StoreSound("Farm", "12345678", "moo", "C:\\moo.wav", "");
    Start();
    struct Case { bool onRow; std::string text; };
    for (const Case& c : {Case{true, "/xTLmoo"}, Case{false, ""}}) {
        DialogDriver driver(Caption, [&](HWND panel) {
            const Rows rows = Sounds(panel);
            const int row = static_cast<int>(std::find(rows.begin(), rows.end(), "12345678|moo|C:\\moo.wav|") - rows.begin());
            POINT p = RowPoint(panel, row);
            if (!c.onRow) p.y += 200;  // below the last row
            SendMessageA(List(panel), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
            if (IsWindow(panel)) PostMessageA(panel, WM_COMMAND, IDOK, 0);
        });
        const auto r = host.ParseCommand("/xTLConfig", "", conversation.get());
        driver.Join();
        EXPECT_TRUE(driver.appeared());
        EXPECT_EQ(r.handled, 1);
        EXPECT_EQ(r.text, c.text);
    }
    DialogDriver esc(Caption, [](HWND panel) { PostMessageA(panel, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(host.exports().Configure(), PanelCancelled);
}

TEST_F(PluginPanelTest, ThePlayButtonPlaysWhileSoundsAreSwitchedOff) {
    if (AudioMode() != "capture") GTEST_SKIP() << "no capture device";
    StoreSound("Farm", "7", "tone", SoundPath("tone_16bit_mono_44100.wav"), "");
    SetOptionValue("SoundsEnabled", 0);
    Start();
    ResetCapture();
    bool ticked = true;
    DialogDriver driver(Caption, [&](HWND panel) {
        ticked = IsDlgButtonChecked(panel, IDC_PANEL_ENABLE_SOUNDS) == BST_CHECKED;
        MarkRow(panel, 0);
        SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_PANEL_PLAY, BN_CLICKED), 0);
        PostMessageA(panel, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(host.exports().Configure(), PanelClosed);
    driver.Join();
    EXPECT_FALSE(ticked);
    EXPECT_GT(WaitForCapture().audibleSeconds, 0.1);
}

}  // namespace
