// The pack tool as scripts run it: a process, its output and its exit code.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "registry_fixture.h"
#include "sounddb/export.h"
#include "support/child_process.h"
#include "support/code_page_samples.h"
#include "support/read_only_keys.h"
#include "support/sound_files.h"

using namespace testsupport;

namespace {

ToolRun Tlpack(const std::string& arguments) {
    return RunProgram("tlpack.exe", arguments);
}

// Runs each command line; its exit code and what it must have said.
struct Case { std::string arguments; DWORD exitCode; std::vector<std::string> said; };
void ExpectRuns(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const ToolRun run = Tlpack(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.output;
        for (const std::string& text : c.said)
            EXPECT_NE(run.output.find(text), std::string::npos) << c.arguments << " should say " << text << "\n" << run.output;
    }
}

class TlpackTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "tlpack" + std::to_string(GetCurrentProcessId());
        packDir_ = root_ + "\\Tunelark\\Farm";
        for (const std::string& d : {root_, root_ + "\\Tunelark", packDir_}) CreateDirectoryA(d.c_str(), nullptr);
        CopyFileA(SoundPath("tone_16bit_mono_44100.wav").c_str(), (packDir_ + "\\moo.wav").c_str(), FALSE);
        std::ofstream(packDir_ + "\\junk.wav") << "not a sound";
        WriteText(HKEY_LOCAL_MACHINE, "Software\\Drovask\\MsgPlus2", "PluginDir", root_);
    }
    void TearDown() override {
        tunelark::DeleteDirectoryTree(root_);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Drovask");
        RegistryTest::TearDown();
    }
    std::string Ini(const std::string& name, const std::string& text) {
        const std::string path = packDir_ + "\\" + name;
        std::ofstream(path, std::ios::binary) << text;
        return "\"" + path + "\"";
    }
    std::string root_, packDir_;
};

TEST_F(TlpackTest, EachVerbReportsWhatItDidAndExitsAccordingly) {
    const std::string good = Ini("good.ini", "[Header]\nTotalSounds=1\nName=Farm\nArtist=A\nVersion=1\n"
                                             "[Sound1]\nSoundIndex=501\nCommand=moo\nFilename=moo.wav\nMessage=m\n");
    const std::string bad = Ini("bad.ini", "[Header]\nTotalSounds=4\nName=Farm\nVersion=1\n"
                                           "[Sound1]\nSoundIndex=501\nFilename=gone.wav\nMessage=m\n"
                                           "[Sound3]\nSoundIndex=502\nCommand=j\nFilename=junk.wav\n"
                                           "[Sound4]\nSoundIndex=503\nCommand=k\nFilename=junk.wav\nMessage=\n");
    // Version 2 gives 502 twice (the later wins) and 501, which the pack has already; its
    // sounds are far from the loudness sounds are played at, one of them clipped.
    WriteToneWav(packDir_ + "\\loud.wav", 440, 0.5, 22050, 40000);
    WriteToneWav(packDir_ + "\\quiet.wav", 440, 0.5, 22050, 328);
    const std::string v2 = Ini("v2.ini", "[Header]\nTotalSounds=3\nName=farm\nArtist=B\nVersion=2\n"
                                         "[Sound1]\nSoundIndex=502\nCommand=baa\nFilename=moo.wav\nMessage=m\n"
                                         "[Sound2]\nSoundIndex=502\nCommand=bah\nFilename=loud.wav\nMessage=m\n"
                                         "[Sound3]\nSoundIndex=501\nCommand=moo\nFilename=quiet.wav\nMessage=m\n");
    const std::string zoo = Ini("zoo.ini", "[Header]\nTotalSounds=1\nName=Zoo\nArtist=Z\nVersion=1\n"
                                           "[Sound1]\nSoundIndex=502\nCommand=roar\nFilename=moo.wav\nMessage=m\n");
    // Installs, but without its Sound2: "a problem found".
    const std::string partial = Ini("partial.ini", "[Header]\nTotalSounds=2\nName=Farm\nArtist=B\nVersion=2\n"
                                                   "[Sound1]\nSoundIndex=601\nCommand=a\nFilename=moo.wav\nMessage=m\n"
                                                   "[Sound2]\nSoundIndex=602\nFilename=moo.wav\nMessage=m\n");
    const std::string replaced = "Warning: Sound2 replaces Sound1 for SoundIndex 502";
    std::string sections;  // 21 new sounds, of which "added" lists 20 and the count
    for (int n = 1; n <= 21; ++n)
        sections += "[Sound" + std::to_string(n) + "]\nSoundIndex=" + std::to_string(900 + n) + "\nCommand=b\nFilename=moo.wav\nMessage=\n";
    const std::string big = Ini("big.ini", "[Header]\nTotalSounds=21\nName=Big\nArtist=A\nVersion=1\n" + sections);
    ExpectRuns({
        {"", 2, {"usage: tlpack"}},
        {"install", 2, {"usage: tlpack"}},
        {"frobnicate x", 2, {"usage: tlpack"}},
        {"check " + good, 0, {"  moo.wav: -9.7 LUFS, peak -6.0 dBFS", "no problems: 1 sounds"}},
        {"check " + bad, 1, {"Missing Artist key in Header", "Missing Command key in Sound1", "Missing SoundIndex key in Sound2",
                             "Missing Message key in Sound3", "junk.wav cannot be played"}},
        {"list", 0, {}},
        {"check " + v2, 0, {replaced, "  quiet.wav: -43.7 LUFS, peak -40.0 dBFS", "loud.wav: -2.7 LUFS, peak 0.0 dBFS",
                            "Warning: quiet.wav is 25.7 LU quieter than the -18 LUFS that sounds are played at",
                            "Warning: loud.wav is 15.3 LU louder", "Warning: loud.wav clips", "no problems: 2 sounds, 4 warnings"}},
        {"install " + good, 0, {"installed \"Farm\": 1 sounds", "added: 501"}},
        {"check " + good, 0, {"no problems: 1 sounds"}},  // the pack's own SoundIndex is no problem
        {"install " + big, 0, {"added: 901, 902", ", 920 ... (21 in all)"}},
        {"install " + good, 0, {"SoundIndex 501 is already in use", "updated \"Farm\": 1 sounds", "already in this pack, left as they are: 501"}},
        {"install " + v2, 0, {replaced, "updated \"Farm\": 2 sounds", "added: 502", "already in this pack, left as they are: 501"}},
        {"install " + zoo, 1, {"SoundIndex 502 is already in use", "in use by another pack, not installed: 502"}},
        {"list", 0, {"Farm - B, version 2: 2 sounds", "/xTLmoo", "/xTLbah"}},
        {"export Farm \"" + root_ + "\\out.ini\"", 0, {"exported \"Farm\" (2 sounds)"}},
        {"export Nobody x.ini", 1, {"no SoundPack named \"Nobody\""}},
        {"check " + partial, 1, {"Missing Command key in Sound2"}},
        {"install " + partial, 1, {"Missing Command key in Sound2", "updated \"Farm\": 3 sounds", "added: 601"}},
        {"remove Farm --everything", 2, {"usage: tlpack"}},
        {"remove farm", 0, {"removed \"Farm\"; its files are left in " + packDir_}},
        {"remove Farm", 1, {"no SoundPack named \"Farm\""}},
        {"install " + good, 0, {"installed \"Farm\": 1 sounds"}},  // its files were left
        {"remove Farm --files", 0, {"removed \"Farm\" and its files"}},
        {"list", 0, {"Zoo", "Big"}},
    });
    char value[64] = {};
    GetPrivateProfileStringA("Sound1", "Command", "", value, sizeof value, (root_ + "\\out.ini").c_str());
    EXPECT_STREQ(value, "moo");
    EXPECT_EQ(GetFileAttributesA(packDir_.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA((root_ + "\\Tunelark").c_str()), INVALID_FILE_ATTRIBUTES);
}

// A standard user of Vista to 11 lists the library as an administrator does. Without the
// setup's grant (the library read-only) every change is refused, with Windows' reason;
// with the rights it gives, and no more, a pack is updated and removed.
TEST_F(TlpackTest, ChangesNeedTheSetupsGrantAndARefusalExitsWithOne) {
    const std::string good = Ini("good.ini", "[Header]\nTotalSounds=1\nName=Farm\nArtist=A\nVersion=1\n"
                                             "[Sound1]\nSoundIndex=501\nCommand=moo\nFilename=moo.wav\nMessage=m\n");
    const std::string zoo = Ini("zoo.ini", "[Header]\nTotalSounds=1\nName=Zoo\nArtist=Z\nVersion=1\n"
                                           "[Sound1]\nSoundIndex=502\nCommand=roar\nFilename=moo.wav\nMessage=m\n");
    ExpectRuns({{"install " + good, 0, {"installed \"Farm\": 1 sounds"}}, {"install " + zoo, 0, {}}});
    const std::string listed = Tlpack("list").output;
    {
        ReadOnlyKeys readOnly(HKEY_LOCAL_MACHINE, DatabaseRoot);
        EXPECT_EQ(Tlpack("list").output, listed) << "every pack and sound, in the same order";
        ExpectRuns({
            {"install " + good, 1, {"Tunelark could not install the SoundPack \"Farm\": nothing was changed.",
                                    "Windows gave this reason: "}},
            {"remove Farm --files", 1, {"Tunelark could not remove the SoundPack \"Farm\": nothing was changed."}},
        });
    }
    {
        ReadOnlyKeys granted(HKEY_LOCAL_MACHINE, DatabaseRoot, SharedKeyRights);
        ExpectRuns({{"install " + Ini("zoo2.ini", "[Header]\nTotalSounds=1\nName=Zoo\nArtist=Z\nVersion=2\n[Sound1]\n"
                                                  "SoundIndex=503\nCommand=growl\nFilename=moo.wav\nMessage=m\n"),
                     0, {"updated \"Zoo\": 2 sounds", "added: 503"}},
                    {"remove Zoo", 0, {"removed \"Zoo\""}}});
    }
    EXPECT_NE(GetFileAttributesA((packDir_ + "\\moo.wav").c_str()), INVALID_FILE_ATTRIBUTES) << "the files stay with the pack";
    // A file the system keeps (bin/fixtures/kept/tlpack): not all removed, exit 1.
    WriteText(HKEY_LOCAL_MACHINE, "Software\\Drovask\\MsgPlus2", "PluginDir", ProgramDir() + "fixtures\\kept\\tlpack");
    ExpectRuns({{"remove Farm --files", 1, {"removed \"Farm\", but not all of", "1 file or folder stays"}}});
    // A pack key kept only while the registry runs takes no lasting Sound key: the update is
    // refused halfway, for no want of rights.
    HKEY volatileFarm = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(DatabaseRoot) + "\\Farm").c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                    KEY_WRITE, nullptr, &volatileFarm, nullptr);
    RegCloseKey(volatileFarm);
    ExpectRuns({{"install " + good, 1, {"Tunelark could not install all of the SoundPack \"Farm\".", "not saved: SoundIndex 501",
                                        "Try again; if it is refused again", "updated \"Farm\": 0 sounds"}}});
}

// Under the label "codepages": a pack and a file named with second bytes "\\" and "|"
// install, play (check decodes), list and go; the pack's name ends in one "\\" (not in 949).
TEST_F(TlpackTest, DoubleByteNamesInstallListAndGo) {
    const DoubleByteSamples s = SamplesOfThisCodePage();
    const std::string name = s.name + s.file.substr(0, 2), dir = root_ + "\\Tunelark\\" + name;
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr) &&
                CopyFileA(SoundPath("tone_16bit_mono_44100.wav").c_str(), (dir + "\\" + s.file + ".wav").c_str(), FALSE));
    const std::string ini = Ini("dbcs.ini", "[Header]\nTotalSounds=1\nName=" + name + "\nArtist=A\nVersion=1\n"
        "[Sound1]\nSoundIndex=701\nCommand=" + s.letterA + "\nFilename=" + s.file + ".wav\nMessage=m\n");
    // A pack key of 150 characters, 300 bytes here: the share walks it.
    std::string longName;
    while (longName.size() < 300) longName += s.name;
    CreateKey(HKEY_LOCAL_MACHINE, std::string(DatabaseRoot) + "\\" + longName);
    ExpectRuns({{"check " + ini, 0, {"no problems: 1 sounds"}},
                {"share", 0, {"every user may change the SoundPacks"}},
                {"install " + ini, 0, {"installed \"" + name + "\": 1 sounds"}},
                {"list", 0, {name + " - A", dir + "\\" + s.file + ".wav"}},
                {"remove \"" + name + "\" --files", 0, {"removed \"" + name + "\" and its files"}}});
    EXPECT_EQ(GetFileAttributesA(dir.c_str()), INVALID_FILE_ATTRIBUTES) << "its files and folder are gone";
}

}  // namespace
