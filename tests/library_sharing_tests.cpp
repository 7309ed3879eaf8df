// One SoundPack library, many processes: another process's changes are taken in once and
// the own never; changes that meet another process's are refused under the library lock;
// two processes never take one SoundIndex.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "plugin_fixture.h"
#include "sounddb/export.h"
#include "sounddb/install.h"
#include "sounddb/library_change.h"
#include "sounddb/library_watch.h"
#include "sounddb/sound_registry.h"
#include "support/child_process.h"

using namespace tunelark;
using namespace testsupport;

namespace {

const std::string Packs = std::string(DatabaseRoot) + "\\";
std::string Temp() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return temp;
}

// An install.ini of `count` Sounds from SoundIndex `first`, commands word1, word2...
std::string WriteIni(const std::string& name, int first, int count, const std::string& word) {
    const std::string path = Temp() + "tlshare_" + name + ".ini";
    std::ofstream ini(path);
    ini << "[Header]\nTotalSounds=" << count << "\nName=" << name << "\nArtist=a\nVersion=1\n";
    for (int n = 1; n <= count; ++n)
        ini << "[Sound" << n << "]\nSoundIndex=" << first + n - 1 << "\nCommand=" << word << n << "\nFilename=s.wav\nMessage=m\n";
    return path;
}

class LibrarySharingTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        StoreSound("Mine", "1", "mine", "C:\\mine.wav", "m");
        StoreSound("Mine", "3", "three", "C:\\3.wav", "m");
        StartWatchingLibrary();
        LoadSoundDatabase(SoundsKeyPath);
    }
    void TearDown() override {
        StopWatchingLibrary();
        FreeSoundDatabase();
        RegistryTest::TearDown();
    }
    SoundPack& Mine() { return *FindSoundPackByName("Mine", MatchPackName); }
    Refusal Add(int index, const std::string& command = "new") {
        auto sound = std::make_unique<Sound>(&Mine());
        sound->SetIndex(index), sound->SetCommand(command);
        Sound* added = nullptr;
        return AddSoundToLibrary(Mine(), std::move(sound), &added);
    }
};

// Another process's changes come in at the next look, once for a whole install; the
// process's own changes, and looks with nothing changed, load nothing.
TEST_F(LibrarySharingTest, AnotherProcessesChangesAreTakenOnceAndTheOwnNever) {
    const unsigned start = LibraryLoadCount();
    EXPECT_FALSE(TakeLibraryChanges()) << "nothing changed";
    auto pack = std::make_unique<SoundPack>();
    pack->SetName("Yours"), pack->SetKeyPath(PackKeyPath("Yours"));
    SoundPack* created = nullptr;
    ASSERT_FALSE(Add(2) || CreateSoundPack(std::move(pack), &created) || SetPackEnabled(Mine(), false) ||
                 RemoveSoundFromLibrary(FindSound("2", MatchIndexText)));
    EXPECT_FALSE(TakeLibraryChanges()) << "the process's own changes are in memory already";
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
    while (install.Running()) TakeLibraryChanges();
    ASSERT_EQ(install.Finish().exitCode, 0u);
    TakeLibraryChanges();
    EXPECT_EQ(LibraryLoadCount(), start + 2) << "one load for the whole install";
    EXPECT_NE(FindSound("burst300", MatchCommand), nullptr);
}

// Changes checked against what another process changed meanwhile (straight in the
// registry, past this process's copy): refused, saying why, and nothing written back.
TEST_F(LibrarySharingTest, ChangesMeetingAnotherProcesssAreRefusedAndWriteNothingBack) {
    const auto deleted = [](const char* key) { return [key] { SHDeleteKeyA(HKEY_LOCAL_MACHINE, (Packs + key).c_str()); }; };
    const auto edit = [](int index) {
        Sound edited(nullptr);
        edited.SetIndex(index), edited.SetCommand("edited");
        return StoreSoundChanges(*FindSound("3", MatchIndexText), edited, 1);
    };
    SoundPack* none = nullptr;
    const struct {
        std::function<void()> meanwhile;
        std::function<Refusal()> change;
        const char* said;
        const char* absentKey;
    } rows[] = {
        {[] { StoreSound("Theirs", "40", "t", "f", "m"); }, [&] { return Add(40); },
         "SoundIndex 40 is in use by the SoundPack \"Theirs\"", "Mine\\40"},
        {[] { StoreSound("Theirs", "41", "t", "f", "m"); }, [&] { return edit(41); },
         "SoundIndex 41 is in use by the SoundPack \"Theirs\"", "Mine\\41"},
        {deleted("Mine\\3"), [&] { return edit(3); }, "deleted the sound \"three\" (SoundIndex 3)", "Mine\\3"},
        {deleted("Mine"), [&] { return Add(50); }, "deleted the SoundPack \"Mine\"", "Mine"},
        {deleted("Mine"), [&] { return SetPackEnabled(Mine(), false); }, "deleted the SoundPack \"Mine\"", "Mine"},
        {[] { WriteText(HKEY_LOCAL_MACHINE, Packs + "NEWBIE", "Name", "NEWBIE"); },
         [&] {
             auto pack = std::make_unique<SoundPack>();
             pack->SetName("Newbie"), pack->SetKeyPath(PackKeyPath("Newbie"));
             return CreateSoundPack(std::move(pack), &none);
         },
         "created a SoundPack named \"Newbie\"", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.said);
        ErasePluginKeys();
        StoreSound("Mine", "3", "three", "C:\\3.wav", "m");
        ReloadLibrary();
        row.meanwhile();
        const Refusal refusal = row.change();
        EXPECT_NE(RefusalText(refusal).find(row.said), std::string::npos) << RefusalText(refusal);
        if (row.absentKey) {
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, (Packs + row.absentKey).c_str())) << "written back";
        }
    }
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, (Packs + "NEWBIE").c_str(), "Artist").present);
    // An install checks each SoundIndex against the registry too, and installs over a pack
    // deleted meanwhile as a new one, not as a second record.
    StoreSound("Theirs", "71", "t", "f", "m");
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, (Packs + "Mine").c_str());
    InstallOutcome outcome;
    ASSERT_NE(InstallSoundPack(WriteIni("Mine", 70, 2, "w"), nullptr, &outcome), nullptr) << InstallErrorText;
    EXPECT_EQ(outcome.added, std::vector<int>{70});
    EXPECT_EQ(outcome.inOtherPack, std::vector<int>{71});
    EXPECT_EQ(Mine().SoundCount(), 1) << "the deleted pack's Sound is back";
    int records = 0;
    for (const SoundPack* pack = FirstSoundPack(); pack; pack = pack->Next()) records += pack->Name() == "Mine";
    EXPECT_EQ(records, 1);
}

// Two processes adding one SoundIndex at the same moment, round after round: one of them
// gets it, the other is refused, and the registry holds the winner's Sound.
TEST_F(LibrarySharingTest, TwoProcessesNeverTakeOneSoundIndex) {
    constexpr int Rounds = 12;
    const KernelHandle done(CreateSemaphoreA(nullptr, 0, 9, "tl_race_done")),
        goA(CreateSemaphoreA(nullptr, 0, Rounds, "tl_race_go_a")), goB(CreateSemaphoreA(nullptr, 0, Rounds, "tl_race_go_b"));
    ChildProcess a("library_race.exe", "add Mine 500 12 a"), b("library_race.exe", "add Mine 500 12 b");
    for (int round = 0; round < Rounds; ++round) {
        ReleaseSemaphore(goA.get(), 1, nullptr), ReleaseSemaphore(goB.get(), 1, nullptr);
        for (int both = 0; both < 2; ++both) ASSERT_EQ(WaitForSingleObject(done.get(), 20000), WAIT_OBJECT_0);
    }
    const std::string byA = "\n" + a.Finish().output, byB = "\n" + b.Finish().output;
    for (int round = 0; round < Rounds; ++round) {
        const std::string added = "\n" + std::to_string(round) + " added";
        const bool toA = byA.find(added) != std::string::npos;
        EXPECT_NE(toA, byB.find(added) != std::string::npos) << "round " << round << byA << byB;
        EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, (Packs + "Mine\\" + std::to_string(500 + round)).c_str(), "Command").bytes,
                  std::string(toA ? "a" : "b") + '\0');
    }
}

// A process that dies holding the lock holds nobody back: this one and the next change.
TEST_F(LibrarySharingTest, ALockWhoseHolderDiedHoldsNobodyBack) {
    const KernelHandle held(CreateEventA(nullptr, TRUE, FALSE, "tl_race_held")), done(CreateSemaphoreA(nullptr, 0, 9, "tl_race_done")),
        go(CreateSemaphoreA(nullptr, 1, 1, "tl_race_go_c"));
    ChildProcess holder("library_race.exe", "hold");
    ASSERT_EQ(WaitForSingleObject(held.get(), 20000), WAIT_OBJECT_0);
    // Open here too, as in a process that waits for it: the holder's end leaves it
    // abandoned rather than gone.
    const KernelHandle waiting(OpenMutexA(SYNCHRONIZE, FALSE, "Global\\Tunelark SoundPack library"));
    holder.Kill();
    EXPECT_FALSE(Add(80));
    EXPECT_EQ(ChildProcess("library_race.exe", "add Mine 81 1 c").Finish().output.rfind("0 added", 0), 0u);
}

// The plug-in as the host runs it, tlpack beside it: sending and receiving see a pack
// installed and removed at the host's next call.
class RunningPluginTest : public LoadedPluginTest {};

TEST_F(RunningPluginTest, SeesTlpackInstallAndRemoveAtTheNextCall) {
    Start();
    const auto received = [&] {
        toasts.toasts.clear();
        host.ReceiveNotify("TL" + EncodeSoundIndex(9001), conversation.get(), "Bob");
        return toasts.toasts.empty() ? std::string() : toasts.toasts.back().text;
    };
    const auto sent = [&] { return host.ParseCommand("/xTLlate2", "", conversation.get()).handled != 0; };
    EXPECT_FALSE(sent());
    ASSERT_EQ(RunProgram("tlpack.exe", "install \"" + WriteIni("Late", 9000, 2, "late") + "\"").exitCode, 0u);
    EXPECT_NE(received().find("could not be found"), std::string::npos) << "its file looked for: installed";
    EXPECT_TRUE(sent());
    ASSERT_EQ(RunProgram("tlpack.exe", "remove Late").exitCode, 0u);
    EXPECT_FALSE(sent());
    EXPECT_NE(received().find("not installed"), std::string::npos);
}

}  // namespace
