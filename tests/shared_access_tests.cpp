// Sharing a key with Users: keys below it that the system did not pass the grant on to get
// it, marked inherited; those that have it, block inheritance or have no DACL keep theirs;
// an earlier share's full control is cut down. And the grant is all that changes take.
#include <windows.h>
#include <sddl.h>

#include <string>
#include <utility>

#include "registry_fixture.h"
#include "settings/shared_access.h"
#include "sounddb/library_change.h"
#include "sounddb/sound_registry.h"
#include "support/read_only_keys.h"

using namespace testsupport;
using namespace tunelark;

// This program's import slot of RegOpenKeyExA, as the linker names it.
extern "C" decltype(&RegOpenKeyExA) importedOpenKey __asm__("__imp__RegOpenKeyExA@20");

namespace {

class SharedAccessTest : public RegistryTest {};

TEST_F(SharedAccessTest, PassesTheGrantOnWhereItIsMissing) {
    const std::string pack = std::string(DatabaseRoot) + "\\Pack";
    // The grant, KEY_READ | KEY_WRITE | DELETE, reads CCDCLCSWRPSDRC. `root`: the database
    // key's DACL before, when not as Wine makes it, and `rootAfter` the one expected.
    const struct {
        const char *before, *after, *root = nullptr,
                                    *rootAfter = "D:(A;CI;CCDCLCSWRPSDRC;;;BU)(A;CIIO;GR;;;BU)(A;;KA;;;BA)";
    } cases[] = {
        {"D:(A;;KA;;;BA)", "D:(A;;KA;;;BA)(A;CIID;CCDCLCSWRPSDRC;;;BU)"},
        {"D:(A;CIIO;KA;;;BU)(A;;KA;;;BA)", "D:(A;CIIO;KA;;;BU)(A;;KA;;;BA)(A;CIID;CCDCLCSWRPSDRC;;;BU)"},  // passes on only
        {"D:(A;;KR;;;BU)", "D:(A;;KR;;;BU)(A;CIID;CCDCLCSWRPSDRC;;;BU)"},
        {"D:(A;;GA;;;BU)", "D:(A;;GA;;;BU)"},          // has it, by an administrator's hand
        {"D:P(A;;KA;;;BA)", "D:P(A;;KA;;;BA)"},        // blocks inheritance
        {"D:NO_ACCESS_CONTROL", "D:NO_ACCESS_CONTROL"},  // open to all
        // An earlier share's full control, and its copies passed on: cut down in place, the
        // other ACEs untouched; one left with none of the grant goes.
        {"D:(A;;KA;;;BA)(A;CIID;KA;;;BU)", "D:(A;;KA;;;BA)(A;CIID;CCDCLCSWRPSDRC;;;BU)", "D:(A;CI;KA;;;BU)(A;CI;KR;;;WD)",
         "D:(A;CI;CCDCLCSWRPSDRC;;;BU)(A;CI;KR;;;WD)"},
        {"D:(A;CIID;GA;;;BU)(A;CIID;KR;;;WD)", "D:(A;CIID;CCDCLCSWRPSDRC;;;BU)(A;CIID;KR;;;WD)",
         "D:(A;CI;GA;;;BU)(A;;WO;;;BU)(A;;KR;;;BU)", "D:(A;CI;CCDCLCSWRPSDRC;;;BU)(A;;KR;;;BU)"},
    };
    for (const auto& c : cases) {
        ErasePluginKeys();
        // Wine reads "D:NO_ACCESS_CONTROL" as an empty DACL, which shuts everyone out.
        SECURITY_DESCRIPTOR open;
        InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(c.before, SDDL_REVISION_1, &sd, nullptr));
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, pack.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
        EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, c.before[2] == 'N' ? &open : sd), 0) << c.before;
        RegCloseKey(key);
        LocalFree(sd);
        if (c.root) {
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(c.root, SDDL_REVISION_1, &sd, nullptr));
            ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, DatabaseRoot, 0, WRITE_DAC, &key), 0);
            EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd), 0) << c.root;
            RegCloseKey(key), LocalFree(sd);
        }
        ASSERT_EQ(ShareKeyWithUsers(HKEY_LOCAL_MACHINE, DatabaseRoot), "");
        EXPECT_EQ(KeyDacl(pack), c.after);
        EXPECT_EQ(KeyDacl(DatabaseRoot), c.rootAfter);
    }
}

// Every key this program's code opens asks for no more than the grant, whatever the system
// gives: Wine gives an administrator's token DELETE, WRITE_DAC and WRITE_OWNER on any key,
// and a reader that asks for full access first and falls back would work.
decltype(&RegOpenKeyExA) systemOpenKey = nullptr;
LONG WINAPI OpenKeyWithinTheGrant(HKEY key, LPCSTR name, DWORD options, REGSAM access, PHKEY opened) {
    EXPECT_EQ(access & ~(KEY_READ | KEY_WRITE | DELETE), 0u);
    return systemOpenKey(key, name, options, access, opened);
}
void SwapOpenKey() {
    DWORD was = 0;
    VirtualProtect(&importedOpenKey, sizeof importedOpenKey, PAGE_READWRITE, &was);
    systemOpenKey = std::exchange(importedOpenKey, systemOpenKey);
    VirtualProtect(&importedOpenKey, sizeof importedOpenKey, was, &was);
}

// A standard user with the setup's grant, and no more, makes every change the library has.
TEST_F(SharedAccessTest, TheGrantIsAllEveryChangeNeeds) {
    StoreSound("Farm", "1", "moo", "f.wav", "m"), StoreSound("Farm", "2", "baa", "f.wav", "m");
    StoreSound("Zoo", "3", "roar", "f.wav", "m");
    LoadSoundDatabase(SoundsKeyPath);
    SoundPack *farm = FirstSoundPack(), *birds = nullptr;
    Sound edited(nullptr), *oink = nullptr;
    edited.SetIndexText("1"), edited.SetCommand("moo"), edited.SetFilename("g.wav");
    auto newSound = std::make_unique<Sound>(farm);
    newSound->SetIndexText("4"), newSound->SetCommand("oink");
    auto newPack = std::make_unique<SoundPack>();
    newPack->SetName("Birds"), newPack->SetKeyPath(PackKeyPath("Birds"));
    ReadOnlyKeys granted(HKEY_LOCAL_MACHINE, DatabaseRoot, SharedKeyRights);
    systemOpenKey = OpenKeyWithinTheGrant, SwapOpenKey();
    for (const Refusal& refused : {CheckLibraryChange(farm->KeyPath(), "asked", DELETE),
                                   AddSoundToLibrary(*farm, std::move(newSound), &oink),
                                   StoreSoundChanges(*FindSound("1", MatchIndexText), edited, 1),
                                   SetPackEnabled(*farm, false), SetSoundEnabled(*oink, false),
                                   RemoveSoundFromLibrary(FindSound("baa", MatchCommand)),
                                   CreateSoundPack(std::move(newPack), &birds),
                                   RemoveSoundPackFromLibrary(FindSoundPackByName("Zoo", MatchPackName))})
        EXPECT_EQ(refused.error, 0u) << refused.notDone;
    FreeSoundDatabase(), LoadSoundDatabase(SoundsKeyPath), SwapOpenKey();
    EXPECT_EQ(FindSoundPackByName("Farm", MatchPackName)->GetProperty(SoundPackEnabledProperty), 0);
    EXPECT_EQ(FindSound("moo", MatchCommand)->Filename() + FindSound("oink", MatchCommand)->IndexText(), "g.wav4");
    EXPECT_EQ(FindSound("oink", MatchCommand)->GetProperty(SoundEnabledProperty), 0);
    EXPECT_EQ(SubKeyCount(HKEY_LOCAL_MACHINE, DatabaseRoot), 2u) << "Birds and Farm: Zoo went";
    EXPECT_EQ(SubKeyCount(HKEY_LOCAL_MACHINE, PackKeyPath("Farm")), 2u) << "moo and oink: baa went";
}

}  // namespace
