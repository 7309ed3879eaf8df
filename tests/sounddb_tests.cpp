// The sound database: records, lookups and their registry copy below HKEY_LOCAL_MACHINE.
#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "registry_fixture.h"
#include "sounddb/library_change.h"
#include "sounddb/sound_records.h"
#include "sounddb/sound_registry.h"
#include "base/text_compare.h"
#include "support/read_only_keys.h"

using namespace tunelark;
using testsupport::KeyExists;
using testsupport::ReadRaw;
using testsupport::WriteRaw;

namespace {

std::string Codes(int a, int b, int c) {
    return std::string{static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)};
}

std::string PackPath(const std::string& name) {
    return std::string(SoundsKeyPath) + "\\" + name;
}

Sound* NewSound(SoundPack* pack, const std::string& indexText, const std::string& command = "") {
    auto sound = std::make_unique<Sound>(pack);
    sound->SetIndexText(indexText);
    sound->SetCommand(command);
    return pack->AddSound(std::move(sound));
}

std::vector<std::string> IndexTexts(const SoundPack* pack) {
    std::vector<std::string> texts;
    for (Sound* s = pack->Sounds(); s; s = s->Next()) texts.push_back(s->IndexText());
    return texts;
}

class SoundDbTest : public testsupport::RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        FreeSoundDatabase();
    }
    void TearDown() override {
        FreeSoundDatabase();
        RegistryTest::TearDown();
    }

    // A pack in SoundPackList, with its KeyPath set as the dialogs and installer do.
    static SoundPack* NewPack(const std::string& name) {
        auto pack = std::make_unique<SoundPack>();
        pack->SetName(name);
        pack->SetKeyPath(PackPath(name));
        return AppendSoundPack(std::move(pack));
    }
    static std::vector<std::string> PackNames() {
        std::vector<std::string> names;
        for (SoundPack* p = FirstSoundPack(); p; p = p->Next()) names.push_back(p->Name());
        return names;
    }
    static DWORD SubKeyCount(const std::string& path) { return testsupport::SubKeyCount(HKEY_LOCAL_MACHINE, path); }
    static std::vector<std::string> RegistrySubKeys(const std::string& path) {
        std::vector<std::string> names;
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
        char name[1024];
        DWORD length = sizeof name;
        for (DWORD i = 0; RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             ++i, length = sizeof name)
            names.emplace_back(name, length);
        RegCloseKey(key);
        return names;
    }
    static void WriteText(const std::string& path, const char* name, const std::string& text) {
        testsupport::WriteText(HKEY_LOCAL_MACHINE, path, name, text);
    }
    static void CreateKey(const std::string& path) { testsupport::CreateKey(HKEY_LOCAL_MACHINE, path); }
    // "Pack|" and "Pack|IndexText" of every record, in name order as a reload would have them.
    static std::string Held() {
        std::vector<std::string> lines;
        for (SoundPack* p = FirstSoundPack(); p; p = p->Next()) {
            lines.push_back(p->Name() + "|");
            for (const std::string& index : IndexTexts(p)) lines.push_back(p->Name() + "|" + index);
        }
        std::sort(lines.begin(), lines.end());
        std::string held;
        for (const std::string& line : lines) held += line + " ";
        return held;
    }
};

// ---- Encoded index

TEST(EncodedIndex, MatchesTheWireVectorsWithEveryByteWithinOneTo254) {
    struct Vector { int index; std::string codes; };
    const Vector vectors[] = {
        {0, Codes(1, 1, 1)},          {1, Codes(1, 1, 2)},
        {64, Codes(1, 1, 65)},        {96, Codes(1, 1, 97)},
        {253, Codes(1, 1, 254)},      {254, Codes(1, 2, 1)},
        {300, Codes(1, 2, 47)},       {64516, Codes(2, 1, 1)},
        {16387063, Codes(254, 254, 254)},
        {16387064, Codes(1, 1, 1)},   // wraps like 0
        {16387064 + 300, Codes(1, 2, 47)},
        {-1, Codes(1, 1, 1)},         {-300, Codes(1, 1, 1)},
    };
    for (const Vector& v : vectors) EXPECT_EQ(EncodeSoundIndex(v.index), v.codes) << v.index;

    // Negative numbers give digits below 1 under truncating division; none may leak
    // out as a zero byte or as 0xFF.
    const int samples[] = {-2, -253, -254, -255, -300, -64516, -16387064, INT_MIN, INT_MAX, 1000000};
    for (int n : samples) {
        const std::string encoded = EncodeSoundIndex(n);
        ASSERT_EQ(encoded.size(), 3u) << n;
        for (unsigned char c : encoded) EXPECT_TRUE(c >= 1 && c <= 254) << n << " gives byte " << int(c);
    }
}

// ---- Sound records

TEST(SoundRecord, SetIndexTextKeepsTheTextAndParsesItsLeadingNumber) {
    SoundPack pack;
    Sound sound(&pack);

    sound.SetIndexText("012");
    EXPECT_EQ(sound.IndexText(), "012");
    EXPECT_EQ(sound.Index(), 12);
    EXPECT_EQ(sound.EncodedIndex(), Codes(1, 1, 13));
    EXPECT_EQ(sound.SetIndex(12), 12);
    EXPECT_EQ(sound.IndexText(), "12");

    const std::pair<const char*, int> cases[] = {
        {"abc", 0},             {" -5x", -5},
        {"\t 42", 42},          {"+7", 7},
        {"--5", 0},             {"", 0},
        {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
        // Too large for 32 bits: saturates.
        {"2147483648", INT_MAX}, {"99999999999999999999", INT_MAX},
        {"-2147483649", INT_MIN}, {"-99999999999999999999", INT_MIN},
    };
    for (const auto& [text, expected] : cases) {
        sound.SetIndexText(text);
        EXPECT_EQ(sound.IndexText(), text);
        EXPECT_EQ(sound.Index(), expected) << '"' << text << '"';
        EXPECT_EQ(sound.EncodedIndex(), EncodeSoundIndex(expected)) << text;
    }

    EXPECT_EQ(sound.SetIndex(-5), INT_MIN);
    EXPECT_EQ(sound.IndexText(), "-5");
}

TEST(SoundRecord, PackListAddsAtTheTailAndRemovesOnlyItsOwn) {
    SoundPack pack, other;
    Sound* a = pack.AddSound(std::make_unique<Sound>(&pack));
    Sound* b = pack.AddSound(std::make_unique<Sound>(&pack));
    Sound* c = pack.AddSound(std::make_unique<Sound>(&pack));
    ASSERT_EQ(pack.Sounds(), a);
    ASSERT_EQ(a->Next(), b);
    ASSERT_EQ(b->Next(), c);

    Sound stranger(&pack);
    EXPECT_FALSE(pack.RemoveSound(&stranger));
    EXPECT_FALSE(other.RemoveSound(a));  // empty list
    EXPECT_EQ(pack.Sounds(), a);
    EXPECT_EQ(a->Next(), b);

    std::unique_ptr<Sound> removed = pack.RemoveSound(b);
    ASSERT_EQ(removed.get(), b);
    EXPECT_EQ(removed->Next(), nullptr);
    EXPECT_EQ(a->Next(), c);

    removed = pack.RemoveSound(a);
    EXPECT_EQ(pack.Sounds(), c);
    pack.FreeSounds();
    EXPECT_EQ(pack.Sounds(), nullptr);
}

TEST(SoundRecord, AddingAfterRemovalsAppendsAtTheTrueTail) {
    // Removals that move the tail (or empty the list) followed by an addition.
    struct Case { std::vector<int> removed; bool freeFirst; std::vector<std::string> expected; };
    const Case cases[] = {
        {{2}, false, {"a", "b", "new"}},
        {{2, 1}, false, {"a", "new"}},
        {{0}, false, {"b", "c", "new"}},
        {{1}, false, {"a", "c", "new"}},
        {{0, 1, 2}, false, {"new"}},
        {{2, 0, 1}, false, {"new"}},
        {{}, true, {"new"}},
    };
    for (const Case& c : cases) {
        SoundPack pack;
        std::vector<Sound*> sounds;
        for (const char* text : {"a", "b", "c"}) sounds.push_back(NewSound(&pack, text));
        for (int i : c.removed) ASSERT_TRUE(pack.RemoveSound(sounds[i]));
        if (c.freeFirst) pack.FreeSounds();
        Sound* last = NewSound(&pack, "new");
        EXPECT_EQ(IndexTexts(&pack), c.expected) << "case ending " << c.expected.front();
        EXPECT_EQ(last->Next(), nullptr);
    }
}

TEST(TextCompare, IgnoresTheCaseOfAsciiLettersOnly) {
    EXPECT_TRUE(EqualsIgnoreAsciiCase("Hello", "hELLO"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase("\xC9t\xE9", "\xE9t\xE9"));  // É / é in Windows-1252
    EXPECT_FALSE(EqualsIgnoreAsciiCase("[", "{"));                  // differ by 0x20, not letters
    EXPECT_FALSE(EqualsIgnoreAsciiCase("@", "`"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase("ab", "abc"));
    EXPECT_TRUE(EqualsIgnoreAsciiCase("", ""));
}

// ---- The global list and its lookups

TEST_F(SoundDbTest, UnlinkingLeavesAForeignPackAndTheListAlone) {
    FreeSoundDatabase();  // on an empty database: nothing happens
    EXPECT_EQ(FirstSoundPack(), nullptr);

    SoundPack* a = NewPack("A");
    SoundPack* b = NewPack("B");
    SoundPack* c = NewPack("C");
    SoundPack stranger;
    EXPECT_FALSE(UnlinkSoundPack(&stranger));
    EXPECT_EQ(PackNames(), (std::vector<std::string>{"A", "B", "C"}));

    std::unique_ptr<SoundPack> taken = UnlinkSoundPack(c);
    ASSERT_EQ(taken.get(), c);
    EXPECT_EQ(b->Next(), nullptr);
    taken = UnlinkSoundPack(a);
    EXPECT_EQ(taken->Next(), nullptr);
    EXPECT_EQ(FirstSoundPack(), b);
    // A pack taken out and appended again goes to the tail.
    AppendSoundPack(std::move(taken));
    EXPECT_EQ(PackNames(), (std::vector<std::string>{"B", "A"}));
}

TEST_F(SoundDbTest, FindSoundReturnsTheFirstMatchInListOrder) {
    SoundPack* first = NewPack("First");
    SoundPack* second = NewPack("Second");
    Sound* laterPack = NewSound(second, "1", "hello");
    Sound* earlyPack = NewSound(first, "2", "HELLO");
    Sound* sameName = NewSound(first, "3", "Hello");

    EXPECT_EQ(FindSound("hello", MatchCommand), earlyPack);
    EXPECT_EQ(FindSound("hello", MatchIndexText), nullptr);
    EXPECT_EQ(FindSound("3", MatchIndexText), sameName);
    EXPECT_EQ(FindSound("1", MatchIndexText | MatchCommand), laterPack);

    earlyPack->SetCommand("\xC9T\xC9");  // ÉTÉ
    EXPECT_EQ(FindSound("\xC9t\xC9", MatchCommand), earlyPack);
    EXPECT_EQ(FindSound("\xE9t\xE9", MatchCommand), nullptr);  // été: not the same word

    earlyPack->SetFilename("C:\\Sounds\\Ring.wav");
    earlyPack->SetMessage("Ring ring");
    EXPECT_EQ(FindSound("c:\\sounds\\ring.WAV", MatchFilename), earlyPack);
    EXPECT_EQ(FindSound("c:\\sounds\\ring.WAV", MatchCommand | MatchMessage), nullptr);
    EXPECT_EQ(FindSound("RING RING", MatchMessage), earlyPack);
    EXPECT_EQ(FindSound("hello", 0), nullptr);
}

TEST_F(SoundDbTest, EncodedIndexLookupTreatsTheCaseOfTheLastByteAlike) {
    SoundPack* pack = NewPack("P");
    Sound* s96 = NewSound(pack, "96");
    Sound* s64 = NewSound(pack, "64");
    ASSERT_EQ(s64->EncodedIndex(), Codes(1, 1, 'A'));
    ASSERT_EQ(s96->EncodedIndex(), Codes(1, 1, 'a'));
    EXPECT_EQ(FindSound(s64->EncodedIndex(), MatchEncodedIndex), s96);
    pack->RemoveSound(s96);
    EXPECT_EQ(FindSound(Codes(1, 1, 'a'), MatchEncodedIndex), s64);
}

TEST_F(SoundDbTest, IndexAndNameLookupsAnswerOnlyInTheirModes) {
    SoundPack* pack = NewPack("Animals");
    Sound* seven = NewSound(pack, "7");
    NewSound(pack, "07");
    NewPack("\xC9t\xE9");

    EXPECT_EQ(FindSoundByIndex(7, 0), nullptr);
    EXPECT_EQ(FindSoundByIndex(7, MatchIndex), seven);
    EXPECT_EQ(FindSoundByIndex(7, MatchIndex | 32), seven);
    EXPECT_EQ(FindSoundByIndex(8, MatchIndex), nullptr);

    EXPECT_EQ(FindSoundPackByName("ANIMALS", MatchPackName), pack);
    EXPECT_EQ(FindSoundPackByName("Animals", 1), nullptr);
    EXPECT_NE(FindSoundPackByName("\xC9T\xE9", MatchPackName), nullptr);
    EXPECT_EQ(FindSoundPackByName("\xE9t\xE9", MatchPackName), nullptr);
}

// ---- Enabled flags

TEST_F(SoundDbTest, EnabledFlagsLiveInTheRegistryOnly) {
    SoundPack* pack = NewPack("Flags");
    Sound* sound = NewSound(pack, "5");
    sound->SetKeyPath(pack->KeyPath() + "\\5");

    EXPECT_EQ(pack->GetProperty(SoundPackEnabledProperty), 1);  // no key at all
    EXPECT_EQ(sound->GetProperty(SoundEnabledProperty), 1);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, pack->KeyPath().c_str()));

    EXPECT_EQ(pack->SetProperty(SoundPackEnabledProperty, 0), 1);
    EXPECT_EQ(sound->SetProperty(SoundEnabledProperty, 0), 1);
    auto raw = ReadRaw(HKEY_LOCAL_MACHINE, sound->KeyPath().c_str(), "Enabled");
    ASSERT_TRUE(raw.present);
    EXPECT_EQ(raw.type, DWORD(REG_DWORD));
    EXPECT_EQ(pack->GetProperty(SoundPackEnabledProperty), 0);
    EXPECT_EQ(sound->GetProperty(SoundEnabledProperty), 0);

    // Changed behind the record's back: the next read sees it.
    DWORD two = 2;
    WriteRaw(HKEY_LOCAL_MACHINE, pack->KeyPath().c_str(), "Enabled", REG_DWORD, &two, 4);
    EXPECT_EQ(pack->GetProperty(SoundPackEnabledProperty), 2);

    // The ids are not interchangeable.
    EXPECT_EQ(pack->GetProperty(SoundEnabledProperty), -100);
    EXPECT_EQ(sound->SetProperty(SoundPackEnabledProperty, 1), -100);
    EXPECT_EQ(sound->GetProperty(SoundEnabledProperty), 0);
}

TEST_F(SoundDbTest, EnabledFlagOfARecordWithoutItsOwnKeyTouchesNothing) {
    SoundPack loose;  // KeyPath empty
    Sound sound(&loose);
    EXPECT_EQ(loose.SetProperty(SoundPackEnabledProperty, 0), 1);
    EXPECT_EQ(sound.SetProperty(SoundEnabledProperty, 0), 1);
    EXPECT_EQ(loose.GetProperty(SoundPackEnabledProperty), 1);
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, "", "Enabled").present);

    loose.SetKeyPath(SoundsKeyPath);  // the root itself
    loose.SetProperty(SoundPackEnabledProperty, 0);
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, SoundsKeyPath, "Enabled").present);
    sound.SetKeyPath(PackPath("P"));  // a pack key, not a sound key
    sound.SetProperty(SoundEnabledProperty, 0);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, PackPath("P").c_str()));
}

// ---- Registry persistence

TEST_F(SoundDbTest, SavedPacksLoadBackFieldForField) {
    SoundPack* birds = NewPack("Birds");
    birds->SetArtist("Ann \xC9lise");
    birds->SetVersion("1.0b");
    Sound* owl = NewSound(birds, "07", "Owl");
    owl->SetFilename("C:\\Program Files\\Plus\\Tunelark\\Birds\\owl.wav");
    owl->SetMessage("hoo \xE9");
    Sound* lark = NewSound(birds, "300", "lark");
    lark->SetFilename("lark.mp3");  // Message stays empty
    SoundPack* empty = NewPack("Empty pack");

    SaveSoundPack(*birds);
    SaveSoundPack(*empty);
    EXPECT_EQ(owl->KeyPath(), PackPath("Birds") + "\\07");
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, PackPath("Birds").c_str(), "Name").bytes, std::string("Birds", 6));
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, owl->KeyPath().c_str(), "Command").bytes, std::string("Owl", 4));

    struct Snapshot {
        std::string name, artist, version, keyPath;
        std::vector<std::vector<std::string>> sounds;
        bool operator==(const Snapshot&) const = default;
    };
    auto snapshot = [](const SoundPack* p) {
        Snapshot s{p->Name(), p->Artist(), p->Version(), p->KeyPath(), {}};
        for (Sound* x = p->Sounds(); x; x = x->Next()) {
            s.sounds.push_back({x->IndexText(), std::to_string(x->Index()), x->EncodedIndex(), x->Command(),
                                x->Filename(), x->Message(), x->KeyPath()});
        }
        return s;
    };
    const Snapshot before[] = {snapshot(birds), snapshot(empty)};

    FreeSoundDatabase();
    EXPECT_EQ(FirstSoundPack(), nullptr);
    LoadSoundDatabase(SoundsKeyPath);

    ASSERT_EQ(PackNames().size(), 2u);
    for (const Snapshot& expected : before) {
        SoundPack* loaded = FindSoundPackByName(expected.name, MatchPackName);
        ASSERT_NE(loaded, nullptr) << expected.name;
        EXPECT_TRUE(snapshot(loaded) == expected) << expected.name;
        EXPECT_EQ(loaded->GetProperty(SoundPackEnabledProperty), 1);
        for (Sound* x = loaded->Sounds(); x; x = x->Next()) {
            EXPECT_EQ(x->Pack(), loaded);
            EXPECT_EQ(x->GetProperty(SoundEnabledProperty), 1);
        }
    }
}

TEST_F(SoundDbTest, SaveSetsTheEnabledFlagsBackToOne) {
    SoundPack* pack = NewPack("P");
    Sound* sound = NewSound(pack, "5");
    SaveSoundPack(*pack);
    sound->SetProperty(SoundEnabledProperty, 0);
    pack->SetProperty(SoundPackEnabledProperty, 0);
    SaveSound(*sound, pack->KeyPath());
    EXPECT_EQ(sound->GetProperty(SoundEnabledProperty), 1);
    EXPECT_EQ(pack->GetProperty(SoundPackEnabledProperty), 0);
    SaveSoundPack(*pack);
    EXPECT_EQ(pack->GetProperty(SoundPackEnabledProperty), 1);
}

TEST_F(SoundDbTest, LoaderSkipsALaterDuplicateButKeepsSevenAndZeroSeven) {
    WriteText(PackPath("Alpha") + "\\5", "Command", "alpha5");
    WriteText(PackPath("Alpha") + "\\7", "Command", "seven");
    WriteText(PackPath("Alpha") + "\\07", "Command", "zeroseven");
    WriteText(PackPath("Beta") + "\\5", "Command", "beta5");
    WriteText(PackPath("Beta") + "\\6", "Command", "six");

    LoadSoundDatabase(SoundsKeyPath);
    const std::vector<std::string> names = PackNames();
    ASSERT_EQ(names.size(), 2u);
    SoundPack* firstPack = FirstSoundPack();
    SoundPack* laterPack = firstPack->Next();

    // Whichever pack the registry enumerates first owns 5; the other's key is skipped.
    Sound* five = FindSound("5", MatchIndexText);
    ASSERT_NE(five, nullptr);
    EXPECT_EQ(five->Pack(), firstPack);
    EXPECT_EQ(five->Command(), firstPack->Name() == "Alpha" ? "alpha5" : "beta5");
    for (Sound* s = laterPack->Sounds(); s; s = s->Next()) EXPECT_NE(s->IndexText(), "5");
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, (PackPath(laterPack->Name()) + "\\5").c_str()));

    SoundPack* alpha = FindSoundPackByName("alpha", MatchPackName);
    Sound* seven = FindSound("7", MatchIndexText);
    Sound* zeroSeven = FindSound("07", MatchIndexText);
    ASSERT_NE(seven, nullptr);
    ASSERT_NE(zeroSeven, nullptr);
    EXPECT_NE(seven, zeroSeven);
    EXPECT_EQ(seven->Index(), 7);
    EXPECT_EQ(zeroSeven->Index(), 7);
    EXPECT_EQ(zeroSeven->KeyPath(), PackPath("Alpha") + "\\07");
    Sound* firstSeven = nullptr;
    for (Sound* s = alpha->Sounds(); s && !firstSeven; s = s->Next())
        if (s->Index() == 7) firstSeven = s;
    EXPECT_EQ(FindSoundByIndex(7, MatchIndex), firstSeven);
}

TEST_F(SoundDbTest, LoaderSkipsKeysNamedLikeSoundsAlreadyInTheDatabase) {
    // Sounds in memory before the load win over registry keys of the same IndexText
    // (ignoring ASCII case); those keys load no record and stay in the registry.
    struct Case { std::vector<std::string> inMemory, onDisk, skipped; };
    const Case cases[] = {
        {{"5"}, {"5", "6"}, {"5"}},
        {{"AbC"}, {"abc", "abd"}, {"abc"}},
        {{"07"}, {"7", "007", "07"}, {"07"}},  // only the same text is a duplicate
        {{"\xC9"}, {"\xE9", "x"}, {}},        // letters above 127 are not folded
        {{}, {"1", "2"}, {}},
    };
    for (const Case& c : cases) {
        testsupport::ErasePluginKeys();
        FreeSoundDatabase();
        SoundPack* memory = NewPack("Memory");
        for (const std::string& text : c.inMemory) NewSound(memory, text);
        for (const std::string& text : c.onDisk) WriteText(PackPath("Disk") + "\\" + text, "Command", "disk" + text);

        LoadSoundDatabase(SoundsKeyPath);
        EXPECT_EQ(IndexTexts(memory), c.inMemory);
        SoundPack* disk = FindSoundPackByName("Disk", MatchPackName);
        ASSERT_NE(disk, nullptr);
        std::vector<std::string> expected;
        for (const std::string& text : RegistrySubKeys(PackPath("Disk")))
            if (std::find(c.skipped.begin(), c.skipped.end(), text) == c.skipped.end()) expected.push_back(text);
        EXPECT_EQ(IndexTexts(disk), expected) << c.onDisk.front();
        EXPECT_EQ(SubKeyCount(PackPath("Disk")), c.onDisk.size());
    }
}

TEST_F(SoundDbTest, ASecondLoadFindsEverySoundAlreadyThere) {
    WriteText(PackPath("Alpha") + "\\Ab", "Command", "alpha");
    WriteText(PackPath("Alpha") + "\\1", "Command", "one");
    WriteText(PackPath("Beta") + "\\aB", "Command", "beta");
    WriteText(PackPath("Beta") + "\\2", "Command", "two");

    LoadSoundDatabase(SoundsKeyPath);
    SoundPack* first = FirstSoundPack();
    ASSERT_NE(first, nullptr);
    Sound* ab = FindSound("AB", MatchIndexText);
    ASSERT_NE(ab, nullptr);
    EXPECT_EQ(ab->Pack(), first);  // Ab and aB are one SoundIndex: the first pack's wins
    const std::vector<std::string> once = PackNames();
    EXPECT_EQ(IndexTexts(first).size() + IndexTexts(first->Next()).size(), 3u);

    // Loaded again without freeing: the packs come again, but no Sound does.
    LoadSoundDatabase(SoundsKeyPath);
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(PackNames(), twice);
    for (SoundPack* p = first->Next()->Next(); p; p = p->Next()) EXPECT_EQ(p->Sounds(), nullptr) << p->Name();
    EXPECT_EQ(FindSound("two", MatchCommand)->Pack()->Name(), "Beta");
}

TEST_F(SoundDbTest, LoaderReadsMissingAndOversizedValuesAsEmpty) {
    const std::string pack = PackPath("Loose");
    WriteText(pack, "Name", "Something else");  // the key name wins
    WriteText(pack, "Artist", std::string(1023, 'a'));  // fits the 1024-byte buffer
    WriteText(pack, "Version", std::string(1024, 'v'));  // does not
    WriteText(pack + "\\9", "Command", "nine");
    WriteText(pack + "\\9", "Message", std::string(5000, 'm'));
    DWORD off = 0;
    WriteRaw(HKEY_LOCAL_MACHINE, (pack + "\\9").c_str(), "Enabled", REG_DWORD, &off, 4);
    // A Sound key with no values at all.
    CreateKey(pack + "\\10");

    LoadSoundDatabase(SoundsKeyPath);
    SoundPack* loaded = FirstSoundPack();
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->Next(), nullptr);
    EXPECT_EQ(loaded->Name(), "Loose");
    EXPECT_EQ(loaded->Artist(), std::string(1023, 'a'));
    EXPECT_EQ(loaded->Version(), "");

    Sound* nine = FindSound("9", MatchIndexText);
    ASSERT_NE(nine, nullptr);
    EXPECT_EQ(nine->Command(), "nine");
    EXPECT_EQ(nine->Filename(), "");
    EXPECT_EQ(nine->Message(), "");
    EXPECT_EQ(nine->GetProperty(SoundEnabledProperty), 0);  // loaded regardless of the flag
    Sound* ten = FindSound("10", MatchIndexText);
    ASSERT_NE(ten, nullptr);
    EXPECT_EQ(ten->Command() + ten->Filename() + ten->Message(), "");
}

TEST_F(SoundDbTest, LoaderWithoutARootLoadsNothing) {
    LoadSoundDatabase(SoundsKeyPath);
    EXPECT_EQ(FirstSoundPack(), nullptr);
    CreateKey(SoundsKeyPath);
    LoadSoundDatabase(SoundsKeyPath);
    EXPECT_EQ(FirstSoundPack(), nullptr);
}

TEST_F(SoundDbTest, DeletingRemovesKeysAndRecords) {
    SoundPack* doomed = NewPack("Doomed");
    for (const char* index : {"1", "2", "3"}) NewSound(doomed, index);
    SoundPack* kept = NewPack("Kept");
    Sound* keptA = NewSound(kept, "10");
    Sound* keptB = NewSound(kept, "11");
    Sound* keptC = NewSound(kept, "12");
    SaveSoundPack(*doomed);
    SaveSoundPack(*kept);
    ASSERT_EQ(SubKeyCount(PackPath("Doomed")), 3u);

    EXPECT_EQ(DeleteSoundPack(doomed), 1);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, PackPath("Doomed").c_str()));
    EXPECT_EQ(PackNames(), std::vector<std::string>{"Kept"});
    EXPECT_EQ(SubKeyCount(SoundsKeyPath), 1u);

    DeleteSound(keptB);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, (PackPath("Kept") + "\\11").c_str()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, keptA->KeyPath().c_str()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, keptC->KeyPath().c_str()));
    EXPECT_EQ(IndexTexts(kept), (std::vector<std::string>{"10", "12"}));

    // Changing a Sound's index: delete its old key, then save under the new one.
    DeleteSoundKey(*keptC, kept->KeyPath());
    keptC->SetIndex(13);
    SaveSound(*keptC, kept->KeyPath());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, (PackPath("Kept") + "\\12").c_str()));
    EXPECT_EQ(keptC->KeyPath(), PackPath("Kept") + "\\13");
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, keptC->KeyPath().c_str()));
}

// Changes the registry refuses after the up-front check (a right denied on a key below a
// Sound's, a write refused): the user is told what stays and what to do about it, and
// memory holds what a reload finds.
TEST_F(SoundDbTest, RefusedChangesSayWhatStaysAndMemoryIsTheRegistry) {
    const auto birds = [] {
        auto pack = std::make_unique<SoundPack>();
        pack->SetName("Birds"), pack->SetKeyPath(PackPath("Birds"));
        SoundPack* added = nullptr;
        return CreateSoundPack(std::move(pack), &added);
    };
    const char* const rights = "run the Tunelark setup program as an administrator";
    const char* const other = "Try again; if it is refused again, ask an administrator.";
    struct Case { bool locked; RegResult artist, deletes; std::function<Refusal()> change; std::string told; const char* advice; std::string held; };
    const Case cases[] = {
        {true, 0, 0, [] { return RemoveSoundFromLibrary(FindSound("2", MatchIndexText)); },
         "Tunelark could not delete the sound \"b\" (SoundIndex 2).\r\n\r\nWindows", rights, "Farm| Farm|1 Farm|2 "},
        {true, 0, 0, [] { return RemoveSoundPackFromLibrary(FirstSoundPack()); }, "Tunelark could not delete the SoundPack \"Farm\".\r\n"
         "1 of its 2 sounds were deleted; the SoundPack and its other sounds stay.\r\n\r\n", rights, "Farm| Farm|2 "},
        {false, ERROR_NOT_ENOUGH_QUOTA, ERROR_ACCESS_DENIED, birds, "Tunelark could not create the SoundPack \"Birds\".\r\n"
         "Its key was created, without all of its values", other, "Birds| Farm| Farm|1 Farm|2 "},
        {false, ERROR_ACCESS_DENIED, 0, birds, "Tunelark could not create the SoundPack \"Birds\".\r\n\r\n", rights, "Farm| Farm|1 Farm|2 "},
    };
    for (const Case& c : cases) {
        FreeSoundDatabase(), testsupport::ErasePluginKeys();
        testsupport::StoreSound("Farm", "1", "a", "f", "m"), testsupport::StoreSound("Farm", "2", "b", "f", "m");
        CreateKey(PackPath("Farm") + "\\2\\x");
        LoadSoundDatabase(SoundsKeyPath);
        std::optional<testsupport::ReadOnlyKeys> locked;  // no enumerating below Sound 2: it cannot be deleted
        if (c.locked) locked.emplace(HKEY_LOCAL_MACHINE, PackPath("Farm") + "\\2\\x", "0x20001");
        SetRegWriteFilter([&c](RegWrite w, const std::string&, const char* v) -> RegResult {
            return w == RegWrite::DeleteKey ? c.deletes : w == RegWrite::SetValue && v && v == std::string("Artist") ? c.artist : 0;
        });
        const std::string told = RefusalText(c.change());
        SetRegWriteFilter(nullptr);
        const std::string held = Held();
        EXPECT_EQ(told.rfind(c.told, 0), 0u) << told;
        EXPECT_NE(told.find(c.advice), std::string::npos) << told;
        EXPECT_EQ(held, c.held) << told;
        FreeSoundDatabase(), LoadSoundDatabase(SoundsKeyPath);
        EXPECT_EQ(Held(), held) << "after a reload: " << told;
    }
}

TEST_F(SoundDbTest, UnsafeNamesNeverReachAnotherKey) {
    SoundPack* victim = NewPack("Victim");
    Sound* victimSound = NewSound(victim, "5");
    SaveSoundPack(*victim);
    // A pack named "Victim\5" would otherwise address the victim's Sound key.
    const std::string badNames[] = {"", ".", "..", "Victim\\5", "Victim/5", "a\\..", "\\"};
    for (const std::string& name : badNames) {
        SoundPack* bad = NewPack(name);
        NewSound(bad, "5");
        NewSound(bad, "6");
        SaveSoundPack(*bad);
        bad->SetProperty(SoundPackEnabledProperty, 0);
        EXPECT_EQ(DeleteSoundPack(bad), 1) << name;
        EXPECT_EQ(FindSoundPackByName(name, MatchPackName), nullptr) << name;
        EXPECT_EQ(SubKeyCount(SoundsKeyPath), 1u) << name;
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, victimSound->KeyPath().c_str())) << name;
        EXPECT_EQ(victim->GetProperty(SoundPackEnabledProperty), 1) << name;
    }

    // Sound keys with an empty or path-like IndexText would name the pack key itself
    // or a key beside the Sound's own.
    NewSound(victim, "6");
    SaveSound(*victim->Sounds()->Next(), victim->KeyPath());
    for (const std::string& text : {std::string(""), std::string(".."), std::string("6\\x")}) {
        Sound* bad = NewSound(victim, "1");
        bad->SetIndexText(text);
        SaveSound(*bad, victim->KeyPath());
        EXPECT_EQ(bad->KeyPath(), "") << text;
        DeleteSound(bad);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, victimSound->KeyPath().c_str())) << text;
        EXPECT_EQ(SubKeyCount(victim->KeyPath()), 2u) << text;
    }
    EXPECT_EQ(IndexTexts(victim), (std::vector<std::string>{"5", "6"}));

    // A Sound key saved below something that is not a pack key is refused as well.
    Sound* stray = NewSound(victim, "7");
    SaveSound(*stray, SoundsKeyPath);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, PackPath("7").c_str()));
}

// Packs stored under names a directory could not have (by hand, or by an older
// installer) load, and deleting one takes its key, so it does not come back.
TEST_F(SoundDbTest, PacksUnderAnyKeyNameLoadAndCanBeDeleted) {
    const std::vector<std::string> names = {"Good", "AC/DC", "Hits?", "CON", "Best of.", "+Plus"};
    for (const std::string& name : names) CreateKey(PackPath(name) + "\\" + std::to_string(&name - &names[0] + 1));
    CreateKey(PackPath("Good") + "\\3/4");
    CreateKey(PackPath("..") + "\\9");  // skipped where it stands, between "+Plus" and "AC/DC": the load goes on
    LoadSoundDatabase(SoundsKeyPath);
    EXPECT_EQ(PackNames().size(), names.size());
    EXPECT_EQ(IndexTexts(FindSoundPackByName("Good", MatchPackName)), (std::vector<std::string>{"1", "3/4"}));
    for (const std::string& name : names) {
        EXPECT_EQ(DeleteSoundPack(FindSoundPackByName(name, MatchPackName)), 1) << name;
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, PackPath(name).c_str())) << name;
    }
    EXPECT_EQ(RegistrySubKeys(SoundsKeyPath), std::vector<std::string>{".."});
}

TEST(KeyPaths, AcceptOnlyOneSafeComponentBelowTheRoot) {
    for (const char* name : {"Birds 2", "a..b", "AC/DC"}) EXPECT_TRUE(IsSafeKeyName(name)) << name;
    for (const char* name : {"", ".", "..", "a\\b", "\\"}) EXPECT_FALSE(IsSafeKeyName(name)) << name;

    EXPECT_TRUE(IsPackKeyPath(PackPath("Birds")));
    EXPECT_TRUE(IsPackKeyPath("software\\VORQUELL_ SOFTWARE\\tlx3\\sounds\\Birds"));
    EXPECT_FALSE(IsPackKeyPath(SoundsKeyPath));
    EXPECT_FALSE(IsPackKeyPath(PackPath("")));
    EXPECT_FALSE(IsPackKeyPath("SOFTWARE\\vorquell_ software\\Tlx3\\SoundsX\\Birds"));
    EXPECT_FALSE(IsPackKeyPath(PackPath("Birds") + "\\5"));

    EXPECT_TRUE(IsSoundKeyPath(PackPath("Birds") + "\\5"));
    EXPECT_FALSE(IsSoundKeyPath(PackPath("Birds") + "\\"));
    EXPECT_FALSE(IsSoundKeyPath(PackPath("Birds")));
    EXPECT_FALSE(IsSoundKeyPath(PackPath("..") + "\\5"));
}

}  // namespace
