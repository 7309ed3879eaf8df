// The SoundPack dialogs running modally, driven from helper threads, opened through the
// Config Panel where the panel is what they report to.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <atomic>
#include <fstream>
#include <optional>

#include "dialog_fixture.h"
#include "dialog_driver.h"
#include "support/read_only_keys.h"
#include "base/module.h"
#include "registry_fixture.h"
#include "settings/settings_store.h"
#include "sounddb/install.h"
#include "sounddb/pack_files.h"
#include "sounddb/sound_registry.h"
#include "ui/config_panel.h"
#include "ui/pack_dialogs.h"
#include "ui/resource_ids.h"

using namespace tunelark;
using namespace testsupport;
using Rows = std::vector<std::string>;

namespace {

HWND Tree(HWND panel) { return GetDlgItem(panel, IDC_PANEL_PACK_TREE); }
std::string Value(const std::string& key, const char* name) {
    return ReadRaw(HKEY_LOCAL_MACHINE, (std::string(DatabaseRoot) + "\\" + key).c_str(), name).bytes;
}
std::string Missing(const std::string& key, const std::string& section) {
    return "Error: The SoundPack INI file is not well-formed. Missing " + key + " key in " + section + "\r\n";
}

class PackDialogTest : public testsupport::PluginDialogTest {
protected:
    void SetUp() override {
        PluginDialogTest::SetUp();
        InstallErrorText.clear();
    }
    void TearDown() override {
        FreeSoundDatabase(), ResetConfigPanelSeams(), ResetPackDialogSeams();
        for (const std::string& file : files_) DeleteFileA(file.c_str());
        PluginDialogTest::TearDown();
    }
    SoundPack* AddPack(const std::string& name, const std::string& artist) {
        auto pack = std::make_unique<SoundPack>();
        pack->SetName(name), pack->SetArtist(artist), pack->SetVersion("1.2");
        pack->SetKeyPath(std::string(SoundsKeyPath) + "\\" + name);
        SaveSoundPack(*pack);
        return AppendSoundPack(std::move(pack));
    }
    // pathLength: the whole path that long, its name padded.
    std::string WriteIni(const std::string& text, size_t pathLength = 0) {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        std::string name = std::string(temp) + "tlpack" + std::to_string(GetCurrentProcessId()) + "_" +
                           std::to_string(files_.size());
        files_.push_back(name + std::string(pathLength ? pathLength - name.size() - 4 : 0, 'p') + ".ini");
        std::ofstream(files_.back(), std::ios::binary) << text;
        return files_.back();
    }
    // Opens the panel, runs `inside` on it from a helper thread, and closes it.
    void InPanel(const std::function<void(HWND)>& inside) {
        DialogDriver driver("Tunelark Config Panel", [&](HWND panel) {
            inside(panel);
            PostMessageA(panel, WM_COMMAND, IDOK, 0);
        }, 15000);
        EXPECT_EQ(ShowConfigPanel(nullptr), PanelClosed);
    }
    std::vector<std::string> files_;
};

TEST_F(PackDialogTest, NewSoundPackRefusesBadNamesAndCreatesAGoodOne) {
    AddPack("Farm", "Old MacDonald");
    WriteText(HKEY_LOCAL_MACHINE, std::string(DatabaseRoot) + "\\Ghost", "Artist", "only in the registry");
    AddPack("Memo", "only in memory");
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(DatabaseRoot) + "\\Memo").c_str());
    const std::string inUse = "\" already exists. Please choose another name.";
    const Rows names = {"", "a\\b", "..", "CON", "farm", "Ghost", "memo", "Birds"};
    const Rows expected = {"Please type a name for the new SoundPack.",
                           "This name cannot be used: " + PackNameProblem("a\\b") + ".",
                           "This name cannot be used: " + PackNameProblem("..") + ".",
                           "This name cannot be used: " + PackNameProblem("CON") + ".",
                           "A SoundPack named \"farm" + inUse, "A SoundPack named \"Ghost" + inUse,
                           "A SoundPack named \"memo" + inUse, "none"};
    ConfigPanelSeams().trackMenu = [](HMENU, POINT, HWND) { return IDM_PANEL_NEW_SOUNDPACK; };
    Rows boxes, tree;
    InPanel([&](HWND panel) {
        DialogDriver dialog("New SoundPack", [&](HWND d) {
            for (const std::string& name : names) {
                SetDlgItemTextA(d, IDC_PACK_NAME, name.c_str());
                std::string text = "none";
                PostMessageA(d, WM_COMMAND, IDOK, 0);
                for (int i = 0; i < 150 && IsWindow(d) && text == "none"; ++i, Sleep(20)) {
                    if (HWND box = FindOwnDialog("Sorry...")) {
                        text = MessageBoxText(box);
                        ClickButton(box, IDOK);
                        WaitUntilGone(box, 1000);
                    }
                }
                boxes.push_back(text);
            }
        });
        union { RECT r; HTREEITEM item; } in{};  // TVM_GETITEMRECT takes the item in the rectangle's place
        in.item = TreeView_GetRoot(Tree(panel));
        SendMessageA(Tree(panel), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&in.r));
        const RECT& r = in.r;
        SendMessageA(Tree(panel), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(r.left + 2, (r.top + r.bottom) / 2));
        dialog.Join();
        EXPECT_TRUE(dialog.closedByAction());
        tree = TreeItems(Tree(panel));
    });
    EXPECT_EQ(boxes, expected);
    EXPECT_EQ(tree, (Rows{"All Sounds", "-Farm", "-Memo", "-Birds"}));
    EXPECT_EQ(Value("Birds", "Name") + Value("Birds", "Artist") + Value("Birds", "Version"), std::string("Birds\0\0\0", 8));
    EXPECT_EQ(AsNumber(ReadRaw(HKEY_LOCAL_MACHINE, (std::string(DatabaseRoot) + "\\Birds").c_str(), "Enabled")), 1);
    EXPECT_EQ(Value("Farm", "Artist"), std::string("Old MacDonald\0", 14));
    EXPECT_EQ(SubKeyCount(HKEY_LOCAL_MACHINE, DatabaseRoot), 3u) << "nothing written for a refused name";
    ASSERT_NE(FindSoundPackByName("Birds", MatchPackName), nullptr);
    EXPECT_EQ(FindSoundPackByName("Birds", MatchPackName)->KeyPath(), std::string(SoundsKeyPath) + "\\Birds");
}

TEST_F(PackDialogTest, PropertiesShowAPackAndWriteItsEnabledFlag) {
    EXPECT_EQ(ShowSoundPackProperties(nullptr, nullptr), PropertiesWithoutPack);
    // readOnly: as a standard user of Vista to 11 has the library; the box springs back.
    struct Case { int stored; bool ticked; int clicks; int button; int after; int result; bool readOnly = false; };
    for (const Case c : {Case{-1, true, 1, IDOK, 0, 1}, Case{0, false, 1, IDCANCEL, 1, 2}, Case{2, true, 0, IDOK, 2, 1},
                         Case{2, true, 2, IDOK, 1, 1}, Case{1, true, 1, IDOK, 1, 1, true}}) {
        FreeSoundDatabase();
        SoundPack* pack = AddPack("Farm", "Ann");
        const std::string key = std::string(DatabaseRoot) + "\\Farm";
        if (c.stored < 0) SHDeleteValueA(HKEY_LOCAL_MACHINE, key.c_str(), "Enabled");
        else WriteNumber(HKEY_LOCAL_MACHINE, key, "Enabled", c.stored);
        std::unique_ptr<ReadOnlyKeys> readOnly;
        if (c.readOnly) readOnly = std::make_unique<ReadOnlyKeys>(HKEY_LOCAL_MACHINE, DatabaseRoot);
        Rows fields;
        bool ticked = false, tickedAfter = false;
        std::string told;
        DialogDriver driver("Tunelark3 SoundPack Properties", [&](HWND d) {
            for (int id : {IDC_PACK_NAME, IDC_PACK_ARTIST, IDC_PACK_VERSION}) fields.push_back(DialogItemText(d, id));
            ticked = IsDlgButtonChecked(d, IDC_PACK_ENABLED) == BST_CHECKED;
            std::optional<DialogDriver> box;
            if (c.readOnly) box.emplace("Sorry...", [&](HWND b) { told = MessageBoxText(b), ClickButton(b, IDOK); });
            for (int i = 0; i < c.clicks; ++i) SendDlgItemMessageA(d, IDC_PACK_ENABLED, BM_CLICK, 0, 0);
            box.reset();
            tickedAfter = IsDlgButtonChecked(d, IDC_PACK_ENABLED) == BST_CHECKED;
            PostMessageA(d, WM_COMMAND, c.button, 0);
        });
        EXPECT_EQ(ShowSoundPackProperties(nullptr, pack), c.result) << c.stored;
        driver.Join();
        EXPECT_EQ(fields, (Rows{"Farm", "Ann", "1.2"}));
        EXPECT_EQ(ticked, c.ticked) << c.stored;
        EXPECT_EQ(AsNumber(ReadRaw(HKEY_LOCAL_MACHINE, key.c_str(), "Enabled")), c.after) << c.stored;
        EXPECT_EQ(tickedAfter, c.after != 0) << c.stored;
        EXPECT_EQ(told.rfind("Tunelark could not switch the SoundPack \"Farm\" off.", 0) == 0, c.readOnly) << told;
    }
}

TEST_F(PackDialogTest, InstallDrivesItsProgressBarStaysOpenAndShowsEachInstallsErrorsOnce) {
    const std::string sound1 = "[Sound1]\nSoundIndex=10\nCommand=moo\nFilename=a.wav\nMessage=hi\n";
    const std::string sound3 = "[Sound3]\nSoundIndex=11\nCommand=baa\nFilename=b.wav\nMessage=\n";
    const std::string barn = "[Header]\nTotalSounds=1\nName=Barn\nArtist=A\nVersion=1\n[Sound1]\nSoundIndex=13\n"
                             "Command=neigh\nFilename=a.wav\nMessage=\n";
    struct Case { std::string ini; std::string errors; int position; Rows tree; size_t pathLength = 0; };
    const Case cases[] = {
        {"[Header]\nTotalSounds=1\nName=Farm\nArtist=A\nVersion=1\n" + sound1, "none", 10000, {"All Sounds", "-Farm"}},
        {"[Header]\nTotalSounds=1\nName=Zoo\nVersion=1\n" + sound1, Missing("Artist", "Header"), 0, {"All Sounds", "-Farm"}},
        {"[Header]\nTotalSounds=3\nName=Zoo\nArtist=A\nVersion=1\n" + sound3, Missing("SoundIndex", "Sound1") +
             Missing("SoundIndex", "Sound2"), 10000, {"All Sounds", "-Farm", "-Zoo"}},
        {"[Header]\nTotalSounds=2\nName=farm\nArtist=B\nVersion=2\n" + sound1 + "[Sound2]\nSoundIndex=12\nCommand=oink\n"
         "Filename=c.wav\nMessage=\n", "Error: SoundIndex 10 is already in use - will not redefine\r\n", 10000,
         {"All Sounds", "-Farm", "-Zoo"}},
        {barn, "Error: The install.ini file's path is longer than 259 characters - cannot install from it\r\n", 0,
         {"All Sounds", "-Farm", "-Zoo"}, 260},
        {barn, "none", 10000, {"All Sounds", "-Farm", "-Zoo", "-Barn"}, 259},  // the longest, read whole
    };
    std::vector<std::string> paths;
    for (const Case& c : cases) paths.push_back(WriteIni(c.ini, c.pathLength));
    PackDialogSeams().installFilePath = [&](HWND) { return paths[0]; };
    InPanel([&](HWND panel) {
        DialogDriver dialog("Install a Soundpack", [&](HWND d) {
            HWND install = GetDlgItem(d, IDC_INSTALL), bar = GetDlgItem(d, IDC_INSTALL_PROGRESS);
            EXPECT_FALSE(IsWindowEnabled(install));
            for (size_t i = 0; i < std::size(cases); ++i) {
                if (i == 0) SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_INSTALL_BROWSE, BN_CLICKED), 0);
                else SetDlgItemTextA(d, IDC_INSTALL_PATH, paths[i].c_str());
                EXPECT_EQ(DialogItemText(d, IDC_INSTALL_PATH), paths[i]);
                EXPECT_TRUE(IsWindowEnabled(install)) << i;
                EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0) << i;
                std::atomic<bool> done{false};
                std::thread click([&] { SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_INSTALL, BN_CLICKED), 0), done = true; });
                std::string errors = "none";
                for (int n = 0; n < 250 && !done; ++n, Sleep(20)) {
                    // Read once: a second look at a dialog already closing would read nothing.
                    if (HWND e = FindOwnDialog("Tunelark Error Dialog")) {
                        errors = DialogItemText(e, IDC_INSTALL_ERRORS), ClickButton(e, IDOK);
                        WaitUntilGone(e, 2000);
                    }
                }
                if (!done) EndOpenDialog(FindAnyOwnDialog());
                click.join();
                EXPECT_EQ(errors, cases[i].errors) << i;
                EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), cases[i].position) << i;
                EXPECT_FALSE(IsWindowEnabled(install)) << i;
                EXPECT_TRUE(IsWindowVisible(d)) << i;
                EXPECT_EQ(TreeItems(Tree(panel)), cases[i].tree) << i;
            }
            PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
        });
        TreeView_SelectItem(Tree(panel), TreeView_GetRoot(Tree(panel)));
        SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_PANEL_SOUNDPACKS, BN_CLICKED), 0);
        dialog.Join();
        EXPECT_TRUE(dialog.closedByAction());
        EXPECT_EQ(ListRows(GetDlgItem(panel, IDC_PANEL_SOUND_LIST), 1), (Rows{"10", "12", "11", "13"})) << "the update's Sound shows";
    });
    EXPECT_EQ(Value("Farm", "Artist"), std::string("B\0", 2));
    EXPECT_EQ(InstallErrorText, "");
    ASSERT_NE(FindSound("11", MatchIndexText), nullptr);
    EXPECT_EQ(Value("Zoo\\11", "Command"), std::string("baa\0", 4));
}

TEST_F(PackDialogTest, ConfirmDeleteAnswersFromTheStoredOptionWhateverTheBoxShows) {
    struct Case { int stored; bool click; int behind; int button; bool ticked; int result; int after; };
    for (const Case& c : {Case{-1, false, -1, IDOK, true, DeleteWithFiles, 1}, Case{1, true, -1, IDCANCEL, true, 2, 0},
                          Case{2, false, -1, IDOK, false, DeleteWithFiles, 2}, Case{0, false, 1, IDOK, false, 300, 1},
                          Case{1, false, 0, IDOK, true, DeleteKeepFiles, 0}, Case{0, true, -1, IDOK, false, 300, 1}}) {
        ErasePluginKeys();
        if (c.stored >= 0) SetOptionValue("DeleteFilesWhenDeletingSounds", c.stored);
        bool ticked = false;
        DialogDriver driver("Confirm Delete", [&](HWND d) {
            ticked = IsDlgButtonChecked(d, IDC_DELETE_FILES) == BST_CHECKED;
            if (c.click) SendDlgItemMessageA(d, IDC_DELETE_FILES, BM_CLICK, 0, 0);
            if (c.behind >= 0) SetOptionValue("DeleteFilesWhenDeletingSounds", c.behind);
            PostMessageA(d, WM_COMMAND, c.button, 0);
        });
        EXPECT_EQ(ConfigPanelSeams().confirmDelete(nullptr), c.result) << c.stored << c.behind;
        driver.Join();
        EXPECT_EQ(ticked, c.ticked) << c.stored << c.behind;
        EXPECT_EQ(Settings.GetOption(DeleteFilesWhenDeletingSounds), c.after) << c.stored << c.behind;
    }
}

}  // namespace
