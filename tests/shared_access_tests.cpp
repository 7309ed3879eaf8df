// Sharing a key with Users: keys below it that the system did not pass the grant on to get
// it, marked inherited; those that have it, block inheritance or have no DACL keep theirs.
// A wider grant made before, on the key or passed on below, is cut down to it; and it is
// all a standard user needs to change the library.
#include <windows.h>

#include <functional>
#include <string>

#include "registry_fixture.h"
#include "settings/shared_access.h"
#include "sounddb/library_change.h"
#include "sounddb/sound_registry.h"
#include "support/key_rights_audit.h"
#include "support/read_only_keys.h"

using namespace testsupport;
using namespace tunelark;

namespace {

class SharedAccessTest : public RegistryTest {};

TEST_F(SharedAccessTest, PassesTheGrantOnWhereItIsMissing) {
    const std::string pack = std::string(DatabaseRoot) + "\\Pack";
    // The grant, KEY_READ | KEY_WRITE | DELETE, as SDDL spells it: "G" below.
    const auto granted = [](std::string sddl) {
        for (size_t at; (at = sddl.find(";G;")) != std::string::npos;) sddl.replace(at + 1, 1, "CCDCLCSWRPSDRC");
        return sddl;
    };
    const struct { const char* before; const char* after; const char* root = nullptr; const char* rootAfter = nullptr; } cases[] = {
        {"D:(A;;KA;;;BA)", "D:(A;;KA;;;BA)(A;CIID;G;;;BU)"},
        {"D:(A;CIIO;KA;;;BU)(A;;KA;;;BA)", "D:(A;CIIO;KA;;;BU)(A;;KA;;;BA)(A;CIID;G;;;BU)"},  // passes on only
        {"D:(A;;KR;;;BU)", "D:(A;;KR;;;BU)(A;CIID;G;;;BU)"},
        {"D:(A;;GA;;;BU)", "D:(A;;GA;;;BU)"},          // has it, by an administrator's hand
        {"D:P(A;;KA;;;BA)", "D:P(A;;KA;;;BA)"},        // blocks inheritance
        {"D:NO_ACCESS_CONTROL", "D:NO_ACCESS_CONTROL"},  // open to all
        // An earlier share's full control, on the key and as passed on: cut down, the rest kept.
        {"D:(A;;KA;;;BA)(A;CIID;KA;;;BU)", "D:(A;;KA;;;BA)(A;CIID;G;;;BU)", "D:(A;CI;KA;;;BU)(A;;KA;;;BA)(A;CI;KR;;;WD)",
         "D:(A;CI;G;;;BU)(A;;KA;;;BA)(A;CI;KR;;;WD)"},
        {"D:(A;CIID;GA;;;BU)(A;CIID;KR;;;WD)", "D:(A;CIID;G;;;BU)(A;CIID;KR;;;WD)", "D:(A;CI;GA;;;BU)(A;;WDWO;;;BU)(A;;KA;;;SY)",
         "D:(A;CI;G;;;BU)(A;;KA;;;SY)"},
    };
    for (const auto& c : cases) {
        ErasePluginKeys();
        ASSERT_TRUE(SetKeyDacl(pack, c.before)) << c.before;
        if (c.root) {
            ASSERT_TRUE(SetKeyDacl(DatabaseRoot, c.root)) << c.root;
        }
        ASSERT_EQ(ShareKeyWithUsers(HKEY_LOCAL_MACHINE, DatabaseRoot), "");
        EXPECT_EQ(KeyDacl(pack), granted(c.after));
        EXPECT_EQ(KeyDacl(DatabaseRoot), granted(c.rootAfter ? c.rootAfter : "D:(A;CI;G;;;BU)(A;CIIO;GR;;;BU)(A;;KA;;;BA)"));
    }
}

// A standard user with the setup's grant, and no more, makes every change the library
// has, with keys opened for no more than that.
TEST_F(SharedAccessTest, TheGrantIsAllEveryChangeNeeds) {
    for (const char* index : {"1", "2"}) StoreSound("Farm", index, std::string("sound") + index, "f.wav", "m");
    StoreSound("Zoo", "3", "roar", "f.wav", "m");
    LoadSoundDatabase(SoundsKeyPath);
    SoundPack* farm = FindSoundPackByName("Farm", MatchPackName);
    ASSERT_NE(farm, nullptr);
    const auto sound = [](const char* command) { return FindSound(command, MatchCommand); };
    Sound edited(nullptr), *added = nullptr;
    edited.SetIndexText("1"), edited.SetCommand("moo"), edited.SetFilename("g.wav");
    auto extra = std::make_unique<Sound>(farm);
    extra->SetIndexText("4"), extra->SetCommand("oink");
    auto birds = std::make_unique<SoundPack>();
    birds->SetName("Birds"), birds->SetKeyPath(PackKeyPath("Birds"));
    SoundPack* birdsAdded = nullptr;
    KeyRightsOnly granted(HKEY_LOCAL_MACHINE, DatabaseRoot, SharedKeyRights);
    KeyRightsAudit audit;
    const std::pair<const char*, std::function<Refusal()>> changes[] = {
        {"ask", [&] { return CheckLibraryChange(farm->KeyPath(), "", DELETE); }},
        {"add", [&] { return AddSoundToLibrary(*farm, std::move(extra), &added); }},
        {"edit", [&] { return StoreSoundChanges(*sound("sound1"), edited, 1); }},
        {"switch a pack", [&] { return SetPackEnabled(*farm, false); }},
        {"switch a sound", [&] { return SetSoundEnabled(*sound("moo"), false); }},
        {"delete a sound", [&] { return RemoveSoundFromLibrary(sound("sound2")); }},
        {"create a pack", [&] { return CreateSoundPack(std::move(birds), &birdsAdded); }},
        {"delete a pack", [&] { return RemoveSoundPackFromLibrary(FindSoundPackByName("Zoo", MatchPackName)); }},
    };
    for (const auto& [what, change] : changes) EXPECT_EQ(change().error, 0u) << what;
    FreeSoundDatabase();
    LoadSoundDatabase(SoundsKeyPath);
    EXPECT_EQ(audit.asked() & ~SharedKeyRights, 0u);
    // What the next start has: each pack and Sound with its Enabled flag.
    std::string loaded;
    for (SoundPack* p = FirstSoundPack(); p; p = p->Next()) {
        loaded += p->Name() + std::to_string(p->GetProperty(SoundPackEnabledProperty)) + ":";
        for (Sound* s = p->Sounds(); s; s = s->Next())
            loaded += " " + s->Command() + " " + s->Filename() + " " + std::to_string(s->GetProperty(SoundEnabledProperty));
        loaded += ";";
    }
    EXPECT_EQ(loaded, "Birds1:;Farm0: moo g.wav 0 oink  1;");
}

}  // namespace
