// One SoundPack library, many processes: what another process changes is taken in once
// and the plug-in's own changes never, changes that meet another process's are refused
// under the library lock, and two processes never take one SoundIndex.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "sounddb/export.h"
#include "plugin_fixture.h"
#include "registry_fixture.h"
#include "sounddb/install.h"
#include "sounddb/library_change.h"
#include "sounddb/library_watch.h"
#include "sounddb/sound_records.h"
#include "sounddb/sound_registry.h"
#include "support/child_process.h"

using namespace tunelark;
using namespace testsupport;

namespace {

const std::string Packs = std::string(DatabaseRoot) + "\\";

// A Sound as a new one from a dialog would be.
std::unique_ptr<Sound> NewSound(SoundPack* pack, int index, const std::string& command) {
    auto sound = std::make_unique<Sound>(pack);
    sound->SetIndex(index);
    sound->SetCommand(command);
    sound->SetFilename("C:\\x.wav");
    sound->SetMessage("m");
    return sound;
}

// With Messenger Plus!'s plug-in directory in a folder of the test's own, for tlpack.
class LibrarySharingTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "tlshare" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(root_.c_str(), nullptr);
        WriteText(HKEY_LOCAL_MACHINE, "Software\\Drovask\\MsgPlus2", "PluginDir", root_);
        StoreSound("Mine", "1", "mine", "C:\\mine.wav", "m");
        StartWatchingLibrary();
        LoadSoundDatabase(SoundsKeyPath);
    }
    void TearDown() override {
        StopWatchingLibrary();
        FreeSoundDatabase();
        DeleteDirectoryTree(root_);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Drovask");
        RegistryTest::TearDown();
    }
    // An install.ini of `count` Sounds from SoundIndex `first`, commands word1, word2...
    std::string WriteIni(const std::string& name, int first, int count, const std::string& word) {
        const std::string path = root_ + "\\" + name + ".ini";
        std::ofstream ini(path);
        ini << "[Header]\nTotalSounds=" << count << "\nName=" << name << "\nArtist=a\nVersion=1\n";
        for (int n = 1; n <= count; ++n)
            ini << "[Sound" << n << "]\nSoundIndex=" << first + n - 1 << "\nCommand=" << word << n
                << "\nFilename=s.wav\nMessage=m\n";
        return path;
    }
    SoundPack* Mine() { return FindSoundPackByName("Mine", MatchPackName); }
    std::string root_;
};

// Another process's changes come in at the next look, once for a whole install; the
// process's own changes, and looks with nothing changed, load nothing.
TEST_F(LibrarySharingTest, AnotherProcessesChangesAreTakenOnceAndTheOwnNever) {
    const unsigned start = LibraryLoadCount();
    EXPECT_FALSE(TakeLibraryChanges()) << "nothing changed";
    EXPECT_FALSE(TakeLibraryChanges());
    Sound* added = nullptr;
    SoundPack* created = nullptr;
    auto fresh = std::make_unique<SoundPack>();
    fresh->SetName("Yours");
    fresh->SetKeyPath(PackKeyPath("Yours"));
    ASSERT_FALSE(AddSoundToLibrary(*Mine(), NewSound(Mine(), 2, "two"), &added));
    ASSERT_FALSE(CreateSoundPack(std::move(fresh), &created));
    ASSERT_FALSE(SetPackEnabled(*Mine(), false));
    ASSERT_FALSE(RemoveSoundFromLibrary(added));
    EXPECT_FALSE(TakeLibraryChanges()) << "the process's own changes are in memory already";
    EXPECT_EQ(LibraryLoadCount(), start);

    StoreSound("Theirs", "7", "theirs", "C:\\t.wav", "m");
    {
        const LibraryEditing dialog;
        EXPECT_FALSE(TakeLibraryChanges()) << "not while a dialog edits the library";
    }
    EXPECT_TRUE(TakeLibraryChanges());
    EXPECT_NE(FindSound("theirs", MatchCommand), nullptr);
    EXPECT_FALSE(TakeLibraryChanges()) << "taken once";

    // tlpack writes 300 Sounds under the lock while the process keeps looking: one load.
    ChildProcess install("tlpack.exe", "install \"" + WriteIni("Burst", 9000, 300, "burst") + "\"");
    while (install.Finish(0) == 0xFFFFFFFF) TakeLibraryChanges();
    ASSERT_EQ(install.Finish(), 0u) << install.Output();
    TakeLibraryChanges();
    EXPECT_EQ(LibraryLoadCount(), start + 2) << "one load for the whole install";
    EXPECT_NE(FindSound("burst300", MatchCommand), nullptr);
    ASSERT_EQ(RunProgram("tlpack.exe", "remove Burst").exitCode, 0u);
    EXPECT_TRUE(TakeLibraryChanges());
    EXPECT_EQ(FindSound("burst1", MatchCommand), nullptr);
}

// A change checked against what another process changed meanwhile (straight in the
// registry here, past this process's copy): refused, saying why, and nothing written back.
TEST_F(LibrarySharingTest, ChangesMeetingAnotherProcesssAreRefusedAndWriteNothingBack) {
    StoreSound("Mine", "3", "three", "C:\\3.wav", "m");
    ReloadLibrary();
    struct Row {
        const char* what;
        std::function<void()> meanwhile;
        std::function<Refusal()> change;
        const char* said;
        std::function<bool()> registryAfter;
    };
    Sound* none = nullptr;
    SoundPack* noPack = nullptr;
    const auto gone = [](const std::string& key) { return [key] { return !KeyExists(HKEY_LOCAL_MACHINE, key.c_str()); }; };
    const Row rows[] = {
        {"a SoundIndex another pack took", [] { StoreSound("Theirs", "40", "theirs", "C:\\t.wav", "m"); },
         [&] { return AddSoundToLibrary(*Mine(), NewSound(Mine(), 40, "forty"), &none); },
         "SoundIndex 40 is in use by the SoundPack \"Theirs\"", gone(Packs + "Mine\\40")},
        {"a new SoundIndex for an edit, taken", [] { StoreSound("Theirs", "41", "theirs", "C:\\t.wav", "m"); },
         [&] {
             Sound edited(nullptr);
             edited.SetIndex(41), edited.SetCommand("three"), edited.SetFilename("C:\\3.wav");
             return StoreSoundChanges(*FindSound("3", MatchIndexText), edited, 1);
         },
         "SoundIndex 41 is in use by the SoundPack \"Theirs\"", gone(Packs + "Mine\\41") },
        {"an edit of a Sound deleted", [] { SHDeleteKeyA(HKEY_LOCAL_MACHINE, (Packs + "Mine\\3").c_str()); },
         [&] {
             Sound edited(nullptr);
             edited.SetIndex(3), edited.SetCommand("changed");
             return StoreSoundChanges(*FindSound("3", MatchIndexText), edited, 1);
         },
         "deleted the sound \"three\" (SoundIndex 3) meanwhile", gone(Packs + "Mine\\3")},
        {"a Sound added to a pack deleted", [] { SHDeleteKeyA(HKEY_LOCAL_MACHINE, (Packs + "Mine").c_str()); },
         [&] { return AddSoundToLibrary(*Mine(), NewSound(Mine(), 50, "fifty"), &none); },
         "deleted the SoundPack \"Mine\" meanwhile", gone(Packs + "Mine")},
        {"a pack switched off, deleted", [] { SHDeleteKeyA(HKEY_LOCAL_MACHINE, (Packs + "Mine").c_str()); },
         [&] { return SetPackEnabled(*Mine(), false); }, "deleted the SoundPack \"Mine\" meanwhile",
         gone(Packs + "Mine")},
        {"a new pack's name, taken in other letters", [] { StoreSound("NEWBIE", "60", "n", "C:\\n.wav", "m"); },
         [&] {
             auto pack = std::make_unique<SoundPack>();
             pack->SetName("Newbie");
             pack->SetKeyPath(PackKeyPath("Newbie"));
             return CreateSoundPack(std::move(pack), &noPack);
         },
         "created a SoundPack named \"Newbie\" meanwhile",
         [] { return ReadRaw(HKEY_LOCAL_MACHINE, (Packs + "NEWBIE").c_str(), "Artist").present == false; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ErasePluginKeys();
        StoreSound("Mine", "1", "mine", "C:\\mine.wav", "m");
        StoreSound("Mine", "3", "three", "C:\\3.wav", "m");
        ReloadLibrary();
        row.meanwhile();
        const Refusal refusal = row.change();
        EXPECT_TRUE(refusal);
        EXPECT_NE(RefusalText(refusal).find(row.said), std::string::npos) << RefusalText(refusal);
        EXPECT_TRUE(row.registryAfter()) << "written back";
    }
    // An install checks each SoundIndex against the registry too, and installs over a pack
    // deleted meanwhile as a new one, never as a second record.
    ErasePluginKeys();
    StoreSound("Mine", "1", "mine", "C:\\mine.wav", "m");
    ReloadLibrary();
    StoreSound("Theirs", "71", "theirs", "C:\\t.wav", "m");
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, (Packs + "Mine").c_str());
    InstallOutcome outcome;
    ASSERT_NE(InstallSoundPack(WriteIni("Mine", 70, 2, "w"), nullptr, &outcome), nullptr) << InstallErrorText;
    EXPECT_EQ(outcome.added, std::vector<int>{70});
    EXPECT_EQ(outcome.inOtherPack, std::vector<int>{71});
    int records = 0;
    for (SoundPack* pack = FirstSoundPack(); pack; pack = pack->Next()) records += pack->Name() == "Mine";
    EXPECT_EQ(records, 1);
    EXPECT_EQ(FindSoundPackByName("Mine", MatchPackName)->SoundCount(), 1) << "the deleted pack's Sound is not back";
}

// Two processes adding the same SoundIndex at the same moment, round after round: one of
// them gets it, the other is refused, and the registry holds the winner's Sound.
TEST_F(LibrarySharingTest, TwoProcessesNeverTakeOneSoundIndex) {
    constexpr int Rounds = 12;
    KernelHandle done(CreateSemaphoreA(nullptr, 0, 1000, "tl_race_done"));
    KernelHandle goA(CreateSemaphoreA(nullptr, 0, Rounds, "tl_race_go_a"));
    KernelHandle goB(CreateSemaphoreA(nullptr, 0, Rounds, "tl_race_go_b"));
    ChildProcess a("library_race.exe", "add Mine 500 " + std::to_string(Rounds) + " a");
    ChildProcess b("library_race.exe", "add Mine 500 " + std::to_string(Rounds) + " b");
    for (int round = 0; round < Rounds; ++round) {
        ReleaseSemaphore(goA.get(), 1, nullptr);
        ReleaseSemaphore(goB.get(), 1, nullptr);
        ASSERT_EQ(WaitForSingleObject(done.get(), 20000), WAIT_OBJECT_0);
        ASSERT_EQ(WaitForSingleObject(done.get(), 20000), WAIT_OBJECT_0);
    }
    ASSERT_EQ(a.Finish(), 0u);
    ASSERT_EQ(b.Finish(), 0u);
    for (int round = 0; round < Rounds; ++round) {
        const std::string added = "\n" + std::to_string(round) + " added";
        const bool byA = ("\n" + a.Output()).find(added) != std::string::npos,
                   byB = ("\n" + b.Output()).find(added) != std::string::npos;
        EXPECT_NE(byA, byB) << "round " << round << ":\n" << a.Output() << b.Output();
        const RawValue command = ReadRaw(HKEY_LOCAL_MACHINE, (Packs + "Mine\\" + std::to_string(500 + round)).c_str(), "Command");
        EXPECT_EQ(command.bytes.c_str(), std::string(byA ? "a" : "b")) << "round " << round;
    }
    EXPECT_EQ(SubKeyCount(HKEY_LOCAL_MACHINE, Packs + "Mine"), DWORD(1 + Rounds));
}

// A process that dies holding the lock holds nobody back: this one and the next change.
TEST_F(LibrarySharingTest, ALockWhoseHolderDiedHoldsNobodyBack) {
    ChildProcess holder("library_race.exe", "hold");
    ASSERT_TRUE(holder.WaitForOutput("held"));
    // Open here as well, as in a process that waits for it: the holder's end then leaves
    // it abandoned rather than gone.
    const KernelHandle waiting(OpenMutexA(SYNCHRONIZE, FALSE, "Global\\Tunelark SoundPack library"));
    ASSERT_TRUE(waiting);
    holder.Kill();
    Sound* added = nullptr;
    EXPECT_FALSE(AddSoundToLibrary(*Mine(), NewSound(Mine(), 80, "eighty"), &added));
    KernelHandle done(CreateSemaphoreA(nullptr, 0, 1000, "tl_race_done"));
    KernelHandle go(CreateSemaphoreA(nullptr, 0, 1, "tl_race_go_c"));
    ChildProcess next("library_race.exe", "add Mine 81 1 c");
    ReleaseSemaphore(go.get(), 1, nullptr);
    EXPECT_EQ(next.Finish(), 0u);
    EXPECT_EQ(next.Output().rfind("0 added", 0), 0u) << next.Output();
}

// The plug-in as the host runs it, with tlpack beside it: a pack installed becomes the
// plug-in's, and a pack removed stops being it, at the host's next call.
class RunningPluginTest : public LoadedPluginTest {};

TEST_F(RunningPluginTest, SeesTlpackInstallAndRemoveAtTheNextCall) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string ini = std::string(temp) + "tlshare_running.ini";
    std::ofstream(ini) << "[Header]\nTotalSounds=1\nName=Late\nArtist=a\nVersion=1\n"
                          "[Sound1]\nSoundIndex=900\nCommand=latecomer\nFilename=l.wav\nMessage=m\n";
    Start();
    // A contact's notification of it: "not installed", or its file (not there) is missed.
    const auto received = [&] {
        toasts.toasts.clear();
        host.ReceiveNotify("TL" + EncodeSoundIndex(900), conversation.get(), "Bob");
        return toasts.toasts.empty() ? std::string() : toasts.toasts.back().text;
    };
    const auto sent = [&] { return host.ParseCommand("/xTLlatecomer", "", conversation.get()).handled != 0; };
    EXPECT_FALSE(sent());
    ASSERT_EQ(RunProgram("tlpack.exe", "install \"" + ini + "\"").exitCode, 0u);
    EXPECT_NE(received().find("could not be found"), std::string::npos) << "installed beside the running plug-in";
    EXPECT_TRUE(sent());
    ASSERT_EQ(RunProgram("tlpack.exe", "remove Late").exitCode, 0u);
    EXPECT_FALSE(sent()) << "removed beside it";
    EXPECT_NE(received().find("not installed"), std::string::npos);
    DeleteFileA(ini.c_str());
}

}  // namespace
