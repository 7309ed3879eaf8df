// SoundPacks in and out through real install.ini files, directories and the registry.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "audio_capture.h"
#include "base/module.h"
#include "playback/sound_play.h"
#include "registry_fixture.h"
#include "sounddb/export.h"
#include "sounddb/install.h"
#include "sounddb/pack_files.h"
#include "sounddb/sound_registry.h"
#include "support/sound_files.h"

using namespace tunelark;
using namespace testsupport;

namespace {

const char* const HostKey = "Software\\Drovask\\MsgPlus2";

std::string Missing(const std::string& key, const std::string& section) {
    return "Error: The SoundPack INI file is not well-formed. Missing " + key + " key in " + section + "\r\n";
}

std::string InUse(int index) {
    return "Error: SoundIndex " + std::to_string(index) + " is already in use - will not redefine\r\n";
}

std::string Header(const std::string& name, int total = 1, const std::string& artist = "An Artist") {
    return "[Header]\nTotalSounds=" + std::to_string(total) + "\nName=" + name + "\nArtist=" + artist + "\nVersion=1.0\n";
}

// The whole database, a line per record with every field, in name order: a reload reads
// the keys in the registry's order, not in the order they were added.
std::multiset<std::string> Database() {
    std::multiset<std::string> lines;
    for (const SoundPack* p = FirstSoundPack(); p; p = p->Next()) {
        lines.insert(p->Name() + "|" + p->Artist() + "|" + p->Version() + "|" + p->KeyPath());
        for (const Sound* s = p->Sounds(); s; s = s->Next())
            lines.insert(p->Name() + "|" + s->IndexText() + "|" + std::to_string(s->Index()) + "|" + s->Command() + "|" +
                         s->Filename() + "|" + s->Message() + "|" + s->KeyPath());
    }
    return lines;
}

std::multiset<std::string> Reloaded() {
    FreeSoundDatabase();
    LoadSoundDatabase(SoundsKeyPath);
    return Database();
}

std::string SoundSection(int n, const std::string& index, const std::string& command,
                         const std::string& file = "a.wav", const std::string& message = "hello") {
    return "[Sound" + std::to_string(n) + "]\nSoundIndex=" + index + "\nCommand=" + command +
           "\nFilename=" + file + "\nMessage=" + message + "\n";
}

class InstallTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        module_ = LoadLibraryExA("Tunelark.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr);
        SetThisModule(module_);  // the message table
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "tlinstall" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(root_.c_str(), nullptr);
        WriteText(HKEY_LOCAL_MACHINE, HostKey, "PluginDir", root_);
        FreeSoundDatabase();
        InstallErrorText.clear();
    }
    void TearDown() override {
        FreeSoundDatabase();
        DeleteDirectoryTree(root_);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Drovask");
        SetThisModule(nullptr);
        if (module_) FreeLibrary(module_);
        RegistryTest::TearDown();
    }
    std::string WriteIni(const std::string& text, const std::string& name = "install.ini") {
        const std::string path = root_ + "\\" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string PackKey(const std::string& name) const { return std::string(DatabaseRoot) + "\\" + name; }
    bool NothingWritten() const {
        return !KeyExists(HKEY_LOCAL_MACHINE, DatabaseRoot) && FirstSoundPack() == nullptr;
    }

    HMODULE module_ = nullptr;
    std::string root_;
};

TEST_F(InstallTest, TheHeaderIsCheckedInOrderAndNothingIsWrittenOnFailure) {
    const std::string cannotOpen = "Could not open the specified install.ini file. Please check that the file exists, "
                                   "and that you have the relevant permissions to open it";
    const std::string noSounds = "Could not determine the number of sounds to add. Either the install.ini file adds 0 "
                                 "sounds, or the file is in some way corrupt. Please try downloading the soundpack "
                                 "again, and if the problem persists, please contact the maker of the soundpack for help.";
    struct Case { std::string ini; std::string expected; };
    const Case cases[] = {
        {"", cannotOpen},  // no file written at all
        {"[Header]\nName=P\nArtist=A\nVersion=1\n", noSounds},
        {"[Header]\nTotalSounds=0\nName=P\n", noSounds},
        {"[Header]\nTotalSounds=-5\nName=P\n", noSounds},
        {"[Header]\nTotalSounds=x3\nName=P\n", noSounds},
        {"[Header]\nTotalSounds=1\nArtist=A\nVersion=1\n", Missing("Name", "Header")},
        {"[Header]\nTotalSounds=1\nName=ERROR_NOT_FOUND\nArtist=A\n", Missing("Name", "Header")},
        {"[Header]\nTotalSounds=1\nName=P\nVersion=1\n", Missing("Artist", "Header")},
        {"[Header]\nTotalSounds=1\nName=P\nArtist=A\n", Missing("Version", "Header")},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string path = i == 0 ? root_ + "\\absent.ini" : WriteIni(cases[i].ini);
        InstallErrorText = "earlier line\r\n";
        EXPECT_EQ(InstallSoundPack(path, nullptr), nullptr) << i;
        const bool replaces = i < 5;
        EXPECT_EQ(InstallErrorText, (replaces ? "" : "earlier line\r\n") + cases[i].expected) << i;
        EXPECT_TRUE(NothingWritten()) << i;
    }
}

TEST_F(InstallTest, NamesThatCannotBeAPacksOwnAreRefused) {
    const std::string names[] = {"a\\b", "a/b", "c:x", ".", "..", "dots.", "\"blank \"", "CON", "com1", "nul.txt",
                                 "Lpt9", "a<b", "a|b", "a?b", "a*b", "a\"b", std::string(256, 'n')};
    for (const std::string& name : names) {
        InstallErrorText.clear();
        EXPECT_EQ(InstallSoundPack(WriteIni(Header(name) + SoundSection(1, "5", "moo")), nullptr), nullptr) << name;
        EXPECT_EQ(InstallErrorText.rfind("Error: The SoundPack cannot be installed: ", 0), 0u) << name;
        EXPECT_TRUE(NothingWritten()) << name;
    }
    // The longest name a key can have passes the rules. Wine's registry cannot keep a key
    // path that long through its ANSI functions: it then refuses, and the install says so.
    InstallErrorText.clear();
    const SoundPack* longest = InstallSoundPack(WriteIni(Header(std::string(255, 'n')) + SoundSection(1, "5", "moo")), nullptr);
    EXPECT_EQ(InstallErrorText.find("cannot be installed"), std::string::npos) << InstallErrorText;
    EXPECT_TRUE(longest || InstallErrorText.find("Windows gave this reason") != std::string::npos) << InstallErrorText;
}

// A sound file named outside the pack's directory would be deleted with its Sound; a
// path longer than the plug-in's path buffers would be cut into another file's.
TEST_F(InstallTest, SoundFilesOutsideThePacksDirectoryAreRefused) {
    const std::string outside[] = {"..\\x.wav", "sub\\..\\..\\x.wav", "../x.wav", "...\\x.wav", ". .\\x.wav",
                                   "\\x.wav", "/x.wav", "C:\\x.wav", "\\\\host\\share\\x.wav", "x.wav:stream"};
    std::string ini = Header("Farm", 11), expected;
    for (int i = 0; i < 10; ++i) {
        ini += SoundSection(i + 1, std::to_string(i + 1), "c", outside[i]);
        expected += "Error: The sound file in Sound" + std::to_string(i + 1) +
                    " lies outside the SoundPack's directory - will not install it\r\n";
    }
    ini += SoundSection(11, "11", "c", "sub\\.\\a..b .wav");
    SoundPack* pack = InstallSoundPack(WriteIni(ini), nullptr);
    ASSERT_NE(pack, nullptr);
    EXPECT_EQ(InstallErrorText, expected);
    ASSERT_NE(pack->Sounds(), nullptr);
    EXPECT_EQ(pack->Sounds()->IndexText(), "11");
    EXPECT_EQ(pack->Sounds()->Next(), nullptr);

    // A plug-in directory so long that a Filename an install.ini can hold reaches the limit.
    const std::string pluginDir = root_ + "\\" + std::string(1100, 'd');
    WriteText(HKEY_LOCAL_MACHINE, HostKey, "PluginDir", pluginDir);
    const size_t room = PathBufferSize - 1 - (pluginDir + "\\Tunelark\\Long\\").size();
    InstallErrorText.clear();
    pack = InstallSoundPack(WriteIni(Header("Long", 2) + SoundSection(1, "1", "c", std::string(room, 'f')) +
                                     SoundSection(2, "2", "c", std::string(room + 1, 'f')), "long.ini"), nullptr);
    ASSERT_NE(pack, nullptr);
    EXPECT_EQ(InstallErrorText, "Error: The sound file's path in Sound2 is too long - will not install it\r\n");
    ASSERT_NE(pack->Sounds(), nullptr);
    EXPECT_EQ(pack->Sounds()->Filename().size(), PathBufferSize - 1) << "the longest path is kept whole";
}

// Records what the installer tells the progress control, and where it stands then.
struct ProgressSpy {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
        LRESULT r = CallWindowProcA(original, hwnd, msg, w, l);
        if (msg == PBM_STEPIT || msg == PBM_SETPOS || msg == PBM_SETSTEP || msg == PBM_SETRANGE)
            log.push_back({msg, static_cast<int>(SendMessageA(hwnd, PBM_GETPOS, 0, 0))});
        return r;
    }
    static inline WNDPROC original = nullptr;
    static inline std::vector<std::pair<UINT, int>> log;
};

TEST_F(InstallTest, AcceptedSoundsAreSavedAndTheOthersReported) {
    InitCommonControls();
    HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 100, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(bar, nullptr);
    ProgressSpy::log.clear();
    ProgressSpy::original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProgressSpy::Proc)));
    const std::string ini = Header("Farm", 4) + SoundSection(1, "500", "moo") +
                            SoundSection(3, "500", "again", "sub\\a.mp3", "") + SoundSection(4, "007", "baa");
    SoundPack* pack = InstallSoundPack(WriteIni(ini), bar);
    DestroyWindow(bar);

    ASSERT_NE(pack, nullptr);
    EXPECT_EQ(InstallErrorText, Missing("SoundIndex", "Sound2") +
                                    "Warning: Sound3 replaces Sound1 for SoundIndex 500 - the later section is kept\r\n");
    const std::vector<std::pair<UINT, int>> expected = {{PBM_SETPOS, 0},     {PBM_SETRANGE, 0},  {PBM_SETSTEP, 0},
                                                        {PBM_STEPIT, 2500},  {PBM_STEPIT, 5000}, {PBM_STEPIT, 7500},
                                                        {PBM_SETPOS, 10000}};
    EXPECT_EQ(ProgressSpy::log, expected);

    EXPECT_EQ(FirstSoundPack(), pack);
    const Sound* first = pack->Sounds();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->IndexText() + first->Command(), "500again") << "the later section of a SoundIndex wins";
    EXPECT_EQ(first->Filename(), root_ + "\\Tunelark\\Farm\\sub\\a.mp3");
    EXPECT_EQ(first->Message(), "");
    ASSERT_NE(first->Next(), nullptr);
    EXPECT_EQ(first->Next()->IndexText(), "7");
    EXPECT_EQ(first->Next()->Next(), nullptr);
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, PackKey("Farm").c_str(), "Artist").bytes, std::string("An Artist\0", 10));
    const auto installed = Database();
    EXPECT_EQ(Reloaded(), installed);
}

// A second install of a name updates that pack; what memory then holds is what a reload reads.
TEST_F(InstallTest, InstallingAnInstalledNameUpdatesThatPackInPlace) {
    ASSERT_NE(InstallSoundPack(WriteIni(Header("Zoo") + SoundSection(1, "700", "roar"), "zoo.ini"), nullptr), nullptr);
    SoundPack* farm = InstallSoundPack(WriteIni(Header("Farm", 2) + SoundSection(1, "501", "moo") + SoundSection(2, "502", "baa")), nullptr);
    const std::string v2 = WriteIni(Header("FARM", 3, "New Artist") + SoundSection(1, "501", "changed") +
                                    SoundSection(2, "503", "oink") + SoundSection(3, "700", "bark"), "v2.ini");
    InstallErrorText.clear();
    InstallOutcome outcome;
    EXPECT_EQ(InstallSoundPack(v2, nullptr, &outcome), farm);
    EXPECT_EQ(InstallErrorText, InUse(501) + InUse(700));
    EXPECT_FALSE(outcome.newRecord);
    EXPECT_EQ(outcome.added, std::vector<int>{503});
    EXPECT_EQ(outcome.alreadyInPack, std::vector<int>{501});
    EXPECT_EQ(outcome.inOtherPack, std::vector<int>{700});
    EXPECT_EQ(outcome.problems, 1);
    EXPECT_EQ(farm->Name() + "|" + farm->Artist(), "Farm|New Artist");
    ASSERT_TRUE(FindSound("501", MatchIndexText) && FindSound("503", MatchIndexText));
    EXPECT_EQ(FindSound("501", MatchIndexText)->Command() + FindSound("503", MatchIndexText)->Command(), "moooink");
    const auto updated = Database();
    EXPECT_EQ(updated.size(), 6u) << "two packs, one Sound of Zoo, three of Farm";
    EXPECT_EQ(Reloaded(), updated);

    // The same file again changes nothing; neither does it when the pack is only in the
    // registry (installed behind the plug-in), which is read in as the one record.
    FindSoundPackByName("Farm", MatchPackName)->SetProperty(SoundPackEnabledProperty, 0);  // reloaded: not `farm`
    std::unique_ptr<SoundPack> unloaded;
    for (int i = 0; i < 2; ++i) {
        InstallErrorText.clear();
        ASSERT_NE(InstallSoundPack(v2, nullptr, &outcome), nullptr);
        EXPECT_EQ(InstallErrorText, InUse(501) + InUse(503) + InUse(700)) << i;
        EXPECT_EQ(outcome.newRecord, i == 1);
        EXPECT_EQ(Database(), updated) << i;
        EXPECT_EQ(AsNumber(ReadRaw(HKEY_LOCAL_MACHINE, PackKey("Farm").c_str(), "Enabled")), 0) << "switched off stays off";
        unloaded = UnlinkSoundPack(FindSoundPackByName("Farm", MatchPackName));
    }
}

// An install the registry refuses halfway keeps in memory what the registry kept, says so,
// and the same file installed with the rights completes it.
TEST_F(InstallTest, ARefusedInstallSaysWhatWasSavedAndAgainCompletesIt) {
    ASSERT_NE(InstallSoundPack(WriteIni(Header("Zoo") + SoundSection(1, "700", "roar"), "zoo.ini"), nullptr), nullptr);
    const std::string farm = WriteIni(Header("Farm", 4) + SoundSection(1, "1", "a") + SoundSection(2, "2", "b") +
                                      SoundSection(3, "3", "c") + SoundSection(4, "4", "d"));
    const std::string third = PackKey("Farm") + "\\3";
    SetRegWriteFilter([third](RegWrite what, const std::string& key, const char*) -> RegResult {
        return what == RegWrite::CreateKey && key == third ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    });
    InstallOutcome outcome;
    EXPECT_NE(InstallSoundPack(farm, nullptr, &outcome), nullptr);
    SetRegWriteFilter(nullptr);
    EXPECT_EQ(outcome.added, (std::vector<int>{1, 2}));
    EXPECT_NE(InstallErrorText.find("The SoundPack is there with SoundIndex 1, 2; not saved: SoundIndex 3, 4."),
              std::string::npos) << InstallErrorText;
    const auto halfway = Database();
    EXPECT_EQ(halfway.size(), 5u) << "two packs, Zoo's Sound, two of Farm's";
    EXPECT_EQ(Reloaded(), halfway);

    EXPECT_NE(InstallSoundPack(farm, nullptr, &outcome), nullptr);
    EXPECT_EQ(outcome.added, (std::vector<int>{3, 4}));
    EXPECT_EQ(Database().size(), 7u);
    // An update refused halfway: the Sound whose file could not be written is there as the registry holds it.
    SetRegWriteFilter([](RegWrite, const std::string& key, const char* value) -> RegResult {
        return key.ends_with("Farm\\6") && value && value == std::string("Filename") ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    });
    InstallErrorText.clear();
    EXPECT_NE(InstallSoundPack(WriteIni(Header("Farm", 2, "B") + SoundSection(1, "5", "e") + SoundSection(2, "6", "f")), nullptr, &outcome), nullptr);
    SetRegWriteFilter(nullptr);
    EXPECT_NE(InstallErrorText.find("with SoundIndex 5; not saved: SoundIndex 6."), std::string::npos) << InstallErrorText;
    const auto updated = Database();
    EXPECT_EQ(updated.count("Farm|6|6|f|||" + PackKey("Farm") + "\\6"), 1u) << "its key and Command, no more";
    EXPECT_EQ(Reloaded(), updated);
}

TEST_F(InstallTest, AFileClaimingBillionsOfSoundsEndsQuicklyWithABoundedReport) {
    const std::string ini = "[Header]\nTotalSounds=2000000000\nName=Big\nArtist=A\nVersion=1\n" +
                            SoundSection(1, "11", "a") + SoundSection(2, "12", "b") + SoundSection(70, "13", "c");
    const auto started = std::chrono::steady_clock::now();
    SoundPack* pack = InstallSoundPack(WriteIni(ini), nullptr);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("install of TotalSounds=2000000000: %.3f s, report %zu bytes\n", seconds, InstallErrorText.size());
    ASSERT_NE(pack, nullptr);
    EXPECT_EQ(InstallErrorText, Missing("SoundIndex", "Sound3 to Sound69 (67 sections)") +
                                    Missing("SoundIndex", "Sound71 to Sound2000000000 (1999999930 sections)"));
    // Three missing in a row are still named one by one; four make one line.
    InstallErrorText.clear();
    ASSERT_NE(InstallSoundPack(WriteIni(Header("Runs", 9) + SoundSection(1, "21", "a") + SoundSection(5, "22", "b"), "runs.ini"), nullptr), nullptr);
    EXPECT_EQ(InstallErrorText, Missing("SoundIndex", "Sound2") + Missing("SoundIndex", "Sound3") +
                                    Missing("SoundIndex", "Sound4") + Missing("SoundIndex", "Sound6 to Sound9 (4 sections)"));
}

TEST_F(InstallTest, AnExportInstallsBackAsTheSamePack) {
    const std::string values[] = {"plain", "", "  padded  ", "\"quoted\"", "semi;colon [x] = y", "caf\xE9", "'single'",
                                  std::string(1022, 'm')};  // the longest value an install reads whole
    auto pack = std::make_unique<SoundPack>();
    pack->SetName("Round Trip");
    pack->SetArtist(values[2]);
    pack->SetVersion(values[3]);
    int index = 100;
    for (const std::string& v : values) {
        auto sound = std::make_unique<Sound>(pack.get());
        sound->SetIndex(index++);
        sound->SetCommand("c" + std::to_string(index));
        sound->SetFilename("C:\\elsewhere\\dir/f" + std::to_string(index) + ".wav");
        sound->SetMessage(v);
        pack->AddSound(std::move(sound));
    }
    const std::string file = root_ + "\\export.ini";
    ASSERT_EQ(ExportSoundPack(*pack, file), "");
    InstallErrorText.clear();
    const SoundPack* back = InstallSoundPack(file, nullptr);
    ASSERT_NE(back, nullptr) << InstallErrorText;
    EXPECT_EQ(InstallErrorText, "");
    EXPECT_EQ(back->Artist(), values[2]);
    EXPECT_EQ(back->Version(), values[3]);
    const Sound* out = pack->Sounds();
    for (const Sound* in = back->Sounds(); in || out; in = in->Next(), out = out->Next()) {
        ASSERT_TRUE(in && out) << "as many Sounds";
        EXPECT_EQ(in->IndexText(), out->IndexText());
        EXPECT_EQ(in->Command(), out->Command());
        EXPECT_EQ(in->Message(), out->Message());
        EXPECT_EQ(in->Filename(), root_ + "\\Tunelark\\Round Trip\\f" + std::to_string(in->Index() + 1) + ".wav");
    }

    for (const std::string& bad : {std::string("two\r\nlines"), std::string("ERROR_NOT_FOUND"), std::string(1023, 'm'),
                                   " " + std::string(1020, 'm')}) {  // quoted, 1 023 characters
        pack->Sounds()->SetMessage(bad);
        const std::string refused = root_ + "\\refused.ini";
        EXPECT_NE(ExportSoundPack(*pack, refused), "") << bad.substr(0, 20);
        EXPECT_FALSE(PathFileExistsA(refused.c_str())) << "nothing is written";
    }
}

TEST_F(InstallTest, DeletingAPacksFilesRemovesOnlyWhatItCanAndFollowsNoLink) {
    const std::string pack = root_ + "\\Tunelark\\Gone";
    CreateDirectoryA((root_ + "\\Tunelark").c_str(), nullptr);
    for (const char* dir : {"", "\\sub", "\\sub\\deeper", "\\locked"}) CreateDirectoryA((pack + dir).c_str(), nullptr);
    for (const char* file : {"\\sub\\b.wav", "\\sub\\deeper\\c.wav", "\\locked\\keep.wav"})
        std::ofstream(pack + file) << "x";
    WriteToneWav(pack + "\\a.wav", 440, 8);
    SetFileAttributesA((pack + "\\locked\\keep.wav").c_str(), FILE_ATTRIBUTE_READONLY);
    char before[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, before);

    SoundPack record;
    record.SetName("Gone");
    Sound playing(&record);  // the pack's sound plays while its files go
    playing.SetFilename(pack + "\\a.wav");
    PlaybackRunning playback;
    ASSERT_TRUE(playback.PlayUntilHeard(playing));
    DeleteSoundPackFiles(record.Name());
    EXPECT_LT(WaitForCapture().audibleSeconds, 6.0) << "the 8 s sound went on";

    char after[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, after);
    EXPECT_STREQ(after, before);
    EXPECT_FALSE(PathFileExistsA((pack + "\\sub").c_str()));
    EXPECT_FALSE(PathFileExistsA((pack + "\\a.wav").c_str()));
    EXPECT_TRUE(PathFileExistsA((pack + "\\locked\\keep.wav").c_str())) << "a read-only file stays";
    EXPECT_TRUE(PathFileExistsA(pack.c_str())) << "and so do the directories that hold it";
    // A pack directory with a link out of it, made by the test run.
    const std::string fixtures = ProgramDir() + "fixtures";
    WriteText(HKEY_LOCAL_MACHINE, HostKey, "PluginDir", fixtures + "\\plugin");
    ASSERT_TRUE(PathFileExistsA((fixtures + "\\plugin\\Tunelark\\Linked\\link").c_str()));
    record.SetName("Linked");
    DeleteSoundPackFiles(record.Name());
    EXPECT_FALSE(PathFileExistsA((fixtures + "\\plugin\\Tunelark\\Linked\\a.wav").c_str()));
    EXPECT_TRUE(PathFileExistsA((fixtures + "\\target\\keep.txt").c_str())) << "the link's target survives";

    DeleteDirectoryTree(pack + "\\locked\\keep.wav");  // a file, not a directory
    EXPECT_TRUE(PathFileExistsA((pack + "\\locked\\keep.wav").c_str()));
    SetFileAttributesA((pack + "\\locked\\keep.wav").c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
