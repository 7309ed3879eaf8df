// The blocklist: names in memory, allow flags in HKEY_CURRENT_USER; and the start-up and
// shut-down steps that load and free the blocklist and the sound database.
#include <memory>
#include <string>
#include <vector>

#include "blocklist/blocklist.h"
#include "plugin/exports/exports.h"
#include "registry_fixture.h"
#include "sounddb/sound_records.h"
#include "sounddb/sound_registry.h"

using namespace tunelark;
using testsupport::KeyExists;
using testsupport::ReadRaw;
using testsupport::WriteRaw;

namespace {

class BlocklistTest : public testsupport::RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        ClearBlocklist();
    }
    void TearDown() override {
        ClearBlocklist();
        FreeSoundDatabase();  // loaded by the start-up tests
        RegistryTest::TearDown();
    }

    static void Store(const std::string& name, DWORD flag) {
        WriteRaw(HKEY_CURRENT_USER, BlocklistKeyPath, name.c_str(), REG_DWORD, &flag, 4);
    }
    static std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (BlocklistEntry* e = FirstBlocklistEntry(); e; e = e->Next()) names.push_back(e->Name());
        return names;
    }
    // The value names in the registry's own enumeration order.
    static std::vector<std::string> RegistryNames() {
        std::vector<std::string> names;
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, BlocklistKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
        for (DWORD i = 0;; ++i) {
            char name[20000];
            DWORD length = sizeof name;
            if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            names.emplace_back(name, length);
        }
        RegCloseKey(key);
        return names;
    }
    static BlocklistEntry* Append(const std::string& name) {
        auto entry = std::make_unique<BlocklistEntry>();
        entry->SetName(name);
        return AppendEntry(std::move(entry));
    }
};

TEST_F(BlocklistTest, LoadTakesTheValueNamesInRegistryOrder) {
    LoadBlocklist(BlocklistKeyPath);  // no key: nothing
    EXPECT_EQ(FirstBlocklistEntry(), nullptr);

    Store("ContactA", 1);
    Store("bob@example.com", 0);
    Store("carol@example.com", 2);
    LoadBlocklist(BlocklistKeyPath);
    EXPECT_EQ(Names(), RegistryNames());
    EXPECT_EQ(Names().size(), 3u);

    EXPECT_EQ(FindBlocklistEntry("ContactA")->IsAllowed(), 1);
    EXPECT_EQ(FindBlocklistEntry("bob@example.com")->IsAllowed(), 0);
    // A value written outside the plug-in is answered as stored, not as "allowed".
    EXPECT_EQ(FindBlocklistEntry("carol@example.com")->IsAllowed(), 2);
}

TEST_F(BlocklistTest, LookupIsCaseSensitiveWhileValueNamesAreNot) {
    Store("ContactA", 1);
    LoadBlocklist(BlocklistKeyPath);
    BlocklistEntry* upper = FindBlocklistEntry("ContactA");
    ASSERT_NE(upper, nullptr);
    EXPECT_EQ(FindBlocklistEntry("contacta"), nullptr);
    EXPECT_EQ(FindBlocklistEntry("\xC9mile"), nullptr);

    BlocklistEntry* lower = AddContact("contacta", 0);
    EXPECT_EQ(FindBlocklistEntry("contacta"), lower);
    EXPECT_EQ(Names(), (std::vector<std::string>{"ContactA", "contacta"}));
    // Both entries name the one registry value.
    EXPECT_EQ(RegistryNames().size(), 1u);
    EXPECT_EQ(upper->IsAllowed(), 0);
    lower->SetAllowed(1);
    EXPECT_EQ(upper->IsAllowed(), 1);

    ClearBlocklist();
    EXPECT_EQ(FirstBlocklistEntry(), nullptr);
    LoadBlocklist(BlocklistKeyPath);
    EXPECT_EQ(Names().size(), 1u);

    // Windows-1252 letters above 127 are exact in the lookup.
    AddContact("\xC9mile", 1);
    EXPECT_EQ(FindBlocklistEntry("\xE9mile"), nullptr);
    EXPECT_NE(FindBlocklistEntry("\xC9mile"), nullptr);
}

TEST_F(BlocklistTest, ADoubleLoadDoublesTheListAndLookupsFindTheFirst) {
    Store("a@x", 1);
    Store("b@x", 0);
    LoadBlocklist(BlocklistKeyPath);
    BlocklistEntry* first = FindBlocklistEntry("a@x");
    LoadBlocklist(BlocklistKeyPath);
    const std::vector<std::string> once = RegistryNames();
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(Names(), twice);
    EXPECT_EQ(FindBlocklistEntry("a@x"), first);
}

TEST_F(BlocklistTest, FlagsAreWrittenAndRemovedInTheRegistryOnly) {
    BlocklistEntry* entry = AddContact("dave@example.com", 0);
    auto raw = ReadRaw(HKEY_CURRENT_USER, BlocklistKeyPath, "dave@example.com");
    ASSERT_TRUE(raw.present);  // the key was created on the way
    EXPECT_EQ(raw.type, DWORD(REG_DWORD));
    EXPECT_EQ(raw.bytes, std::string(4, '\0'));
    EXPECT_EQ(entry->IsAllowed(), 0);

    entry->SetAllowed(1);
    EXPECT_EQ(entry->IsAllowed(), 1);
    Store("other", 1);

    entry->RemoveValue(BlocklistKeyPath);
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, BlocklistKeyPath, "dave@example.com").present);
    EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, BlocklistKeyPath, "other").present);
    EXPECT_EQ(entry->IsAllowed(), 0);  // gone from the registry: blocked
    EXPECT_EQ(FindBlocklistEntry("dave@example.com"), entry);  // the list is not touched

    const char* elsewhere = "Software\\vorquell_ software\\Tunelark\\Other";
    entry->WriteAllowed(elsewhere, 1);
    EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, elsewhere, "dave@example.com").present);
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, BlocklistKeyPath, "dave@example.com").present);
}

TEST_F(BlocklistTest, UnlinkKeepsTheRestOfTheListIntact) {
    BlocklistEntry* only = Append("only");
    std::unique_ptr<BlocklistEntry> taken = UnlinkEntry(only);
    EXPECT_EQ(taken.get(), only);
    EXPECT_EQ(FirstBlocklistEntry(), nullptr);

    BlocklistEntry* a = Append("a");
    BlocklistEntry* b = Append("b");
    BlocklistEntry* c = Append("c");
    BlocklistEntry stranger;
    EXPECT_FALSE(UnlinkEntry(&stranger));
    EXPECT_FALSE(UnlinkEntry(nullptr));
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));

    taken = UnlinkEntry(c);  // the tail: b becomes the tail
    EXPECT_EQ(taken->Next(), nullptr);
    EXPECT_EQ(b->Next(), nullptr);
    taken = UnlinkEntry(a);  // the head moves on
    EXPECT_EQ(taken->Next(), nullptr);
    EXPECT_EQ(FirstBlocklistEntry(), b);
    AppendEntry(std::move(taken));
    EXPECT_EQ(Names(), (std::vector<std::string>{"b", "a"}));
}

TEST_F(BlocklistTest, AppendingAfterUnlinksAndClearsGoesToTheTrueTail) {
    struct Case { std::vector<std::string> unlinked; bool clear; std::vector<std::string> expected; };
    const Case cases[] = {
        {{"c", "b"}, false, {"a", "new", "added"}},
        {{"b"}, false, {"a", "c", "new", "added"}},
        {{"c", "a", "b"}, false, {"new", "added"}},
        {{"b"}, true, {"new", "added"}},
    };
    for (const Case& c : cases) {
        ClearBlocklist();
        for (const char* name : {"a", "b", "c"}) Append(name);
        for (const std::string& name : c.unlinked) ASSERT_TRUE(UnlinkEntry(FindBlocklistEntry(name)));
        if (c.clear) ClearBlocklist();
        Append("new");
        BlocklistEntry* added = AddContact("added", 1);
        EXPECT_EQ(Names(), c.expected);
        EXPECT_EQ(added->Next(), nullptr);
        EXPECT_EQ(FindBlocklistEntry("added"), added);
    }
}

TEST_F(BlocklistTest, AValueNameTooLongForTheBufferYieldsNoEntry) {
    const std::string longest(1023, 'n');     // fits 1024 bytes with its terminator
    const std::string tooLong(1100, 'x');
    const std::string bigData(3000, 'd');     // data larger than 1024 bytes
    Store("before", 1);
    Store(tooLong, 1);
    Store(longest, 0);
    WriteRaw(HKEY_CURRENT_USER, BlocklistKeyPath, "binary", REG_BINARY, bigData.data(),
             static_cast<DWORD>(bigData.size()));
    Store("after", 1);
    ASSERT_EQ(RegistryNames().size(), 5u);

    LoadBlocklist(BlocklistKeyPath);
    std::vector<std::string> expected;
    for (const std::string& name : RegistryNames())
        if (name != tooLong) expected.push_back(name);
    EXPECT_EQ(Names(), expected);
    for (const std::string& name : Names()) EXPECT_FALSE(name.empty());
    ASSERT_NE(FindBlocklistEntry("binary"), nullptr);
    EXPECT_EQ(FindBlocklistEntry("binary")->IsAllowed(), 0);  // not a flag: blocked
    EXPECT_EQ(FindBlocklistEntry(longest)->IsAllowed(), 0);
}

// ---- Start-up and shut-down

using StartupTest = BlocklistTest;

TEST_F(StartupTest, InitializeLoadsAndUninitializeFrees) {
    const std::string soundKey = std::string(SoundsKeyPath) + "\\Pack\\42";
    testsupport::WriteText(HKEY_LOCAL_MACHINE, soundKey, "Command", "wave");
    Store("friend@example.com", 1);

    ASSERT_TRUE(Initialize(0, "", nullptr));
    Sound* sound = FindSound("WAVE", MatchCommand);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->Index(), 42);
    ASSERT_NE(FindBlocklistEntry("friend@example.com"), nullptr);
    EXPECT_EQ(FirstBlocklistEntry()->Next(), nullptr);

    Uninitialize();
    EXPECT_EQ(FirstSoundPack(), nullptr);
    EXPECT_EQ(FirstBlocklistEntry(), nullptr);
    // Shut-down leaves the lasting copies alone.
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, soundKey.c_str()));
    EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, BlocklistKeyPath, "friend@example.com").present);
}

}  // namespace
