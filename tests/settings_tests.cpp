#include <cstring>

#include "registry_fixture.h"
#include "settings/registry.h"
#include "settings/settings_store.h"

using namespace tunelark;
using testsupport::KeyExists;
using testsupport::ReadRaw;
using testsupport::WriteRaw;

namespace {

const char* const OptionsKey = "Software\\vorquell_ software\\Tunelark";
const char* const ScratchKey = "Software\\vorquell_ software\\Scratch";

class SettingsTest : public testsupport::RegistryTest {};

TEST_F(SettingsTest, OptionsDefaultToOneWithoutTheKeyAndOtherIdsAreRefused) {
    for (int id : {201, 202, 203, 205, 206, 207}) EXPECT_EQ(Settings.GetOption(id), 1) << id;
    for (int id : {204, 200, 208, 0, -1}) EXPECT_EQ(Settings.GetOption(id), -100) << id;
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OptionsKey)) << "reading must not create the key";
}

TEST_F(SettingsTest, SetOptionRefusesUnknownIdsWithoutCreatingTheKey) {
    EXPECT_EQ(Settings.SetOption(204, 1), -100);
    EXPECT_EQ(Settings.SetOption(0, 1), -100);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OptionsKey));
}

TEST_F(SettingsTest, SetOptionCreatesTheKeyAndWritesADword) {
    EXPECT_EQ(Settings.SetOption(205, 0), 1);
    auto raw = ReadRaw(HKEY_CURRENT_USER, OptionsKey, "BlocklistEnabled");
    ASSERT_TRUE(raw.present);
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(raw.bytes, std::string(4, '\0'));
    EXPECT_EQ(Settings.GetOption(205), 0);
    EXPECT_EQ(Settings.GetOption(201), 1) << "other options keep their default";
}

TEST_F(SettingsTest, EveryOptionHasItsOwnValueName) {
    const std::pair<int, const char*> names[] = {
        {201, "SoundsEnabled"}, {202, "ToastsEnabled"}, {203, "DeleteFilesWhenDeletingSounds"},
        {205, "BlocklistEnabled"}, {206, "AllowNotOnList"}, {207, "AskOnFirstSend"}};
    int value = 10;
    for (auto [id, name] : names) {
        ASSERT_EQ(Settings.SetOption(id, value), 1);
        auto raw = ReadRaw(HKEY_CURRENT_USER, OptionsKey, name);
        ASSERT_TRUE(raw.present) << name;
        EXPECT_EQ(static_cast<unsigned char>(raw.bytes[0]), value) << name;
        ++value;
    }
    value = 10;
    for (auto [id, name] : names) EXPECT_EQ(Settings.GetOption(id), value++) << name;
}

TEST_F(SettingsTest, StoredValuesAreReturnedAsTheyAre) {
    int two = 2;
    WriteRaw(HKEY_CURRENT_USER, OptionsKey, "SoundsEnabled", REG_DWORD, &two, 4);
    EXPECT_EQ(Settings.GetOption(201), 2);
    int minus = -7;
    WriteRaw(HKEY_CURRENT_USER, OptionsKey, "AskOnFirstSend", REG_DWORD, &minus, 4);
    EXPECT_EQ(Settings.GetOption(207), -7);
}

TEST_F(SettingsTest, ShortDataOverwritesOnlyTheLowBytesOfTheDefault) {
    unsigned char zero = 0;
    WriteRaw(HKEY_CURRENT_USER, OptionsKey, "ToastsEnabled", REG_BINARY, &zero, 1);
    EXPECT_EQ(Settings.GetOption(202), 0);

    unsigned char five = 5;
    WriteRaw(HKEY_CURRENT_USER, ScratchKey, "Byte", REG_BINARY, &five, 1);
    int value = 0x11223344;
    ReadRegDword(HKEY_CURRENT_USER, ScratchKey, "Byte", value);
    EXPECT_EQ(value, 0x11223305);
}

TEST_F(SettingsTest, DwordReadOfOversizedDataKeepsTheDefault) {
    const char text[] = "longer than four";
    WriteRaw(HKEY_CURRENT_USER, ScratchKey, "Text", REG_SZ, text, sizeof text);
    int value = 42;
    ReadRegDword(HKEY_CURRENT_USER, ScratchKey, "Text", value);
    EXPECT_EQ(value, 42);
}

class RegistryAccessTest : public testsupport::RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        // Deletions are tried against a scratch key used as the root, so a fault cannot
        // reach the rest of the hive.
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, ScratchKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &root_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(root_);
        RegistryTest::TearDown();
    }
    HKEY root_ = nullptr;
};

TEST_F(RegistryAccessTest, DeleteRegKeyTreeRefusesPathsThatNameTheRoot) {
    WriteRegString(root_, "Child\\Grandchild", "Value", "x");
    for (const char* path : {"", "\\", "/"}) {
        DeleteRegKeyTree(root_, path);
        EXPECT_TRUE(KeyExists(root_, "Child\\Grandchild")) << "path '" << path << "'";
    }
    DeleteRegKeyTree(root_, nullptr);
    EXPECT_TRUE(KeyExists(root_, "Child\\Grandchild"));
}

TEST_F(RegistryAccessTest, DeleteRegKeyTreeRemovesTheKeyWithEverythingBelowIt) {
    WriteRegString(root_, "Child\\Grandchild", "Value", "x");
    WriteRegDword(root_, "Child", "Number", 3);
    WriteRegString(root_, "Sibling", "Value", "y");
    DeleteRegKeyTree(root_, "Child");
    EXPECT_FALSE(KeyExists(root_, "Child"));
    EXPECT_TRUE(KeyExists(root_, "Sibling"));
}

TEST_F(RegistryAccessTest, DeleteRegValueWithAMissingSubKeyCreatesItAndDeletesNothingElse) {
    WriteRegString(root_, nullptr, "Keep", "x");
    DeleteRegValue(root_, "Missing", "Keep");
    EXPECT_TRUE(KeyExists(root_, "Missing"));
    EXPECT_TRUE(ReadRaw(root_, nullptr, "Keep").present);
}

TEST_F(RegistryAccessTest, DeleteRegValueRemovesOnlyTheNamedValue) {
    WriteRegString(root_, "Sub", "Gone", "x");
    WriteRegString(root_, "Sub", "Kept", "y");
    WriteRegString(root_, nullptr, "AtRoot", "z");
    DeleteRegValue(root_, "Sub", "Gone");
    EXPECT_FALSE(ReadRaw(root_, "Sub", "Gone").present);
    EXPECT_TRUE(ReadRaw(root_, "Sub", "Kept").present);
    DeleteRegValue(root_, nullptr, "AtRoot");
    EXPECT_FALSE(ReadRaw(root_, nullptr, "AtRoot").present);
}

TEST_F(RegistryAccessTest, WriteRegStringStoresTheTerminator) {
    WriteRegString(root_, "Deep\\Path", "Empty", "");
    auto empty = ReadRaw(root_, "Deep\\Path", "Empty");
    ASSERT_TRUE(empty.present);
    EXPECT_EQ(empty.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(empty.bytes, std::string(1, '\0'));

    WriteRegString(root_, "Deep\\Path", "Word", "abc");
    EXPECT_EQ(ReadRaw(root_, "Deep\\Path", "Word").bytes, std::string("abc", 4));
}

TEST_F(RegistryAccessTest, CreateRegKeyMakesMissingParents) {
    CreateRegKey(root_, "A\\B\\C");
    EXPECT_TRUE(KeyExists(root_, "A\\B\\C"));
}

// A text read must never leave the caller's buffer without a terminator, nor write past it.
TEST_F(RegistryAccessTest, TextReadsStayInsideTheBufferAndAreTerminated) {
    struct Guarded {
        char before[8];
        char buffer[8];
        char after[8];
    };
    auto fresh = [] {
        Guarded g;
        std::memset(&g, 'Z', sizeof g);
        return g;
    };

    // Exactly fills the buffer and has no terminator of its own: too long.
    WriteRaw(root_, nullptr, "Full", REG_SZ, "ABCDEFGH", 8);
    Guarded g = fresh();
    ReadRegData(root_, nullptr, "Full", g.buffer, sizeof g.buffer);
    EXPECT_EQ(std::string(g.buffer, 8), std::string(8, 'Z')) << "buffer must stay unchanged";
    EXPECT_EQ(std::string(g.after, 8), std::string(8, 'Z'));

    // Shorter and unterminated: comes back terminated.
    WriteRaw(root_, nullptr, "Short", REG_SZ, "ABC", 3);
    g = fresh();
    ReadRegData(root_, nullptr, "Short", g.buffer, sizeof g.buffer);
    EXPECT_STREQ(g.buffer, "ABC");

    // Larger than the buffer: unchanged, nothing beyond it touched.
    WriteRegString(root_, nullptr, "Long", "0123456789abcdef");
    g = fresh();
    ReadRegData(root_, nullptr, "Long", g.buffer, sizeof g.buffer);
    EXPECT_EQ(std::string(g.buffer, 8), std::string(8, 'Z'));
    EXPECT_EQ(std::string(g.after, 8), std::string(8, 'Z'));
    EXPECT_EQ(std::string(g.before, 8), std::string(8, 'Z'));

    // A terminated text of buffer size fits exactly.
    WriteRegString(root_, nullptr, "Fits", "ABCDEFG");
    g = fresh();
    ReadRegData(root_, nullptr, "Fits", g.buffer, sizeof g.buffer);
    EXPECT_STREQ(g.buffer, "ABCDEFG");

    // Missing value or key: unchanged.
    g = fresh();
    ReadRegData(root_, nullptr, "Nothing", g.buffer, sizeof g.buffer);
    ReadRegData(root_, "NoSuchKey", "Nothing", g.buffer, sizeof g.buffer);
    EXPECT_EQ(std::string(g.buffer, 8), std::string(8, 'Z'));
}

TEST_F(RegistryAccessTest, ReadRegStringFallsBackWhenNothingCanBeRead) {
    WriteRegString(root_, nullptr, "Name", "Farmyard");
    WriteRegString(root_, nullptr, "Empty", "");
    EXPECT_EQ(ReadRegString(root_, nullptr, "Name", 1024), "Farmyard");
    EXPECT_EQ(ReadRegString(root_, nullptr, "Empty", 1024, "fallback"), "");
    EXPECT_EQ(ReadRegString(root_, nullptr, "Missing", 1024, "fallback"), "fallback");
    EXPECT_EQ(ReadRegString(root_, nullptr, "Name", 8, "fallback"), "fallback");
    EXPECT_EQ(ReadRegString(root_, nullptr, "Name", 9), "Farmyard");
}

}  // namespace
