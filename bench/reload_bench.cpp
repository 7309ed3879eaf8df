// What a reload of the sound database and the lookups cost as the database grows. For
// each sound count it writes that many Sounds (50 per SoundPack) below SoundsKeyPath,
// then reports:
//   - the reload (FreeSoundDatabase + LoadSoundDatabase), median of a few runs, and
//     the C++ heap allocations one reload makes;
//   - the same reload by a user with read rights only (a standard user of Vista to 11
//     below HKEY_LOCAL_MACHINE: every key read-only);
//   - a bare registry pass over the same keys (open, enumerate, open each key, read
//     its three values): what any loader has to do, so the floor for the reload;
//   - looking up the last Sound by command, by encoded index and by number, the last
//     SoundPack by name, and the last of as many blocklist entries.
// The keys it wrote are deleted again at the end. It refuses to run when the database
// already holds SoundPacks of its own, which would mix into the figures.
//
// Run: bash scripts/bench-reload.sh [sound counts...]   (default 1000 10000 50000)
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "blocklist/blocklist.h"
#include "settings/registry.h"
#include "sounddb/sound_records.h"
#include "sounddb/sound_registry.h"
#include "support/read_only_keys.h"

using namespace tunelark;

// ---- Counting allocations (the whole program links the C++ library statically, so
// every operator new of the loader comes through here).

namespace {
std::atomic<long long> allocations{0};
}

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = HeapAlloc(GetProcessHeap(), 0, size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    if (p) HeapFree(GetProcessHeap(), 0, p);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

namespace {

constexpr int SoundsPerPack = 50;
constexpr const char* BenchPackPrefix = "reload-bench-";

// ---- Time

double Seconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart / frequency;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Median time of one call, from batches of calls.
template <typename Call>
double MicrosPerCall(Call call) {
    constexpr int batches = 9, perBatch = 20;
    std::vector<double> samples;
    for (int b = 0; b < batches; ++b) {
        const double start = Seconds();
        for (int i = 0; i < perBatch; ++i) call();
        samples.push_back((Seconds() - start) * 1e6 / perBatch);
    }
    return Median(samples);
}

// ---- The bench database

// A SoundIndex none of whose three encoded bytes is an ASCII letter, so that no two
// bench Sounds are equal to the case-blind encoded-index lookup and the last one is
// found only at the end of the scan.
int LetterFreeIndex(int k) {
    static const std::vector<int> digits = [] {
        std::vector<int> d;
        for (int c = 1; c <= 254; ++c)
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) d.push_back(c);
        return d;
    }();
    const int base = static_cast<int>(digits.size());
    const int d0 = digits[k % base], d1 = digits[(k / base) % base], d2 = digits[(k / base / base) % base];
    return (d2 - 1) * 64516 + (d1 - 1) * 254 + (d0 - 1);
}

void SetText(HKEY key, const char* name, const std::string& text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

void SetOne(HKEY key) {
    const DWORD one = 1;
    RegSetValueExA(key, "Enabled", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
}

std::string PackName(int p) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%05d", BenchPackPrefix, p);
    return name;
}

bool IsBenchPack(const std::string& name) {
    return name.compare(0, std::strlen(BenchPackPrefix), BenchPackPrefix) == 0;
}

std::vector<std::string> SubKeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[1024];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

bool WriteSounds(int count) {
    RegKey root = RegKey::Create(HKEY_LOCAL_MACHINE, SoundsKeyPath, KEY_SET_VALUE);
    if (!root) return false;
    for (int k = 0; k < count;) {
        const std::string packName = PackName(k / SoundsPerPack);
        RegKey pack = RegKey::Create(root.get(), packName.c_str(), KEY_SET_VALUE);
        if (!pack) return false;
        SetText(pack.get(), "Name", packName);
        SetText(pack.get(), "Artist", "Reload Bench");
        SetText(pack.get(), "Version", "1.0");
        SetOne(pack.get());
        for (int j = 0; j < SoundsPerPack && k < count; ++j, ++k) {
            const std::string indexText = std::to_string(LetterFreeIndex(k));
            RegKey sound = RegKey::Create(pack.get(), indexText.c_str(), KEY_SET_VALUE);
            if (!sound) return false;
            SetText(sound.get(), "Command", "benchsound" + std::to_string(k));
            SetText(sound.get(), "Filename", "C:\\Program Files\\Messenger Plus! 2\\Tunelark\\" + packName +
                                                 "\\sound " + std::to_string(k) + ".wav");
            SetText(sound.get(), "Message", "plays bench sound number " + std::to_string(k));
            SetOne(sound.get());
        }
    }
    return true;
}

void DeleteBenchPacks() {
    RegKey root = RegKey::Open(HKEY_LOCAL_MACHINE, SoundsKeyPath, KEY_READ);
    if (!root) return;
    for (const std::string& name : SubKeyNames(root.get()))
        if (IsBenchPack(name)) SHDeleteKeyA(root.get(), name.c_str());
}

// The keys from the database root upward that the bench may have to create; those that
// were not there before it ran are deleted again at the end.
const char* const Ancestors[] = {"SOFTWARE\\vorquell_ software", "SOFTWARE\\vorquell_ software\\Tlx3",
                                 SoundsKeyPath};

bool KeyExists(const char* path) {
    return static_cast<bool>(RegKey::Open(HKEY_LOCAL_MACHINE, path, KEY_READ));
}

// ---- What is measured

// The least a loader must do: every key opened (with the loader's rights), every text
// value read.
constexpr REGSAM ReadRights = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;

int BarePass() {
    RegKey root = RegKey::Open(HKEY_LOCAL_MACHINE, SoundsKeyPath, ReadRights);
    if (!root) return 0;
    int sounds = 0;
    char buffer[1024];
    auto read = [&](HKEY key, const char* name) {
        buffer[0] = '\0';
        DWORD size = sizeof buffer;
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    };
    DWORD packCount = 0;
    RegQueryInfoKeyA(root.get(), nullptr, nullptr, nullptr, &packCount, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    for (DWORD i = 0; i < packCount; ++i) {
        char packName[1024];
        DWORD length = sizeof packName;
        if (RegEnumKeyExA(root.get(), i, packName, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        RegKey pack = RegKey::Open(root.get(), packName, ReadRights);
        DWORD soundCount = 0;
        if (!pack || RegQueryInfoKeyA(pack.get(), nullptr, nullptr, nullptr, &soundCount, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        read(pack.get(), "Artist");
        read(pack.get(), "Version");
        for (DWORD j = 0; j < soundCount; ++j) {
            char soundName[1024];
            length = sizeof soundName;
            if (RegEnumKeyExA(pack.get(), j, soundName, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                continue;
            RegKey sound = RegKey::Open(pack.get(), soundName, ReadRights);
            if (!sound) break;
            read(sound.get(), "Command");
            read(sound.get(), "Filename");
            read(sound.get(), "Message");
            ++sounds;
        }
    }
    return sounds;
}

int LoadedSounds() {
    int count = 0;
    for (SoundPack* pack = FirstSoundPack(); pack; pack = pack->Next())
        for (Sound* sound = pack->Sounds(); sound; sound = sound->Next()) ++count;
    return count;
}

struct Figures {
    int count = 0;
    double reload = 0, readOnlyReload = 0, bare = 0;  // seconds
    long long allocationsPerReload = 0;
    double byCommand = 0, byEncodedIndex = 0, byIndex = 0, packByName = 0;  // microseconds
    double blocklistBuild = 0, blocklistLast = 0;  // seconds, microseconds
};

bool Measure(int count, Figures& f) {
    f.count = count;
    std::printf("%d sounds: writing %d SoundPacks...\n", count, (count + SoundsPerPack - 1) / SoundsPerPack);
    std::fflush(stdout);
    DeleteBenchPacks();
    if (!WriteSounds(count)) {
        std::fprintf(stderr, "could not write below HKLM\\%s\n", SoundsKeyPath);
        return false;
    }

    // One pass of each untimed first: the first walk over freshly written keys (and the
    // first after the wineserver started) is several times slower than any later one.
    BarePass();
    FreeSoundDatabase();
    LoadSoundDatabase(SoundsKeyPath);

    // Bare pass and reload alternate, so that a slow spell of the machine falls on both.
    const int runs = count > 20000 ? 3 : count > 2000 ? 5 : 9;
    std::vector<double> reloads, bares;
    for (int r = 0; r < runs; ++r) {
        double start = Seconds();
        const int read = BarePass();
        bares.push_back(Seconds() - start);

        const long long before = allocations.load();
        start = Seconds();
        FreeSoundDatabase();
        LoadSoundDatabase(SoundsKeyPath);
        reloads.push_back(Seconds() - start);
        f.allocationsPerReload = allocations.load() - before;

        const int loaded = LoadedSounds();
        if (read != count || loaded != count) {
            std::fprintf(stderr, "expected %d sounds: the bare pass read %d, the reload loaded %d\n", count,
                         read, loaded);
            return false;
        }
    }
    f.reload = Median(reloads);
    f.bare = Median(bares);
    {
        testsupport::ReadOnlyKeys readOnly(HKEY_LOCAL_MACHINE, SoundsKeyPath);
        std::vector<double> readOnlyReloads;
        for (int r = 0; r < runs; ++r) {
            const double start = Seconds();
            FreeSoundDatabase();
            LoadSoundDatabase(SoundsKeyPath);
            readOnlyReloads.push_back(Seconds() - start);
            if (LoadedSounds() != count) {
                std::fprintf(stderr, "with read rights the reload loaded %d of %d sounds\n", LoadedSounds(), count);
                return false;
            }
        }
        f.readOnlyReload = Median(readOnlyReloads);
    }

    SoundPack* lastPack = FirstSoundPack();
    while (lastPack->Next()) lastPack = lastPack->Next();
    Sound* last = lastPack->Sounds();
    while (last->Next()) last = last->Next();
    const std::string command = last->Command(), encoded = last->EncodedIndex(), packName = lastPack->Name();
    const int index = last->Index();
    if (FindSound(command, MatchCommand) != last || FindSound(encoded, MatchEncodedIndex) != last ||
        FindSoundByIndex(index, MatchIndex) != last || FindSoundPackByName(packName, MatchPackName) != lastPack) {
        std::fprintf(stderr, "a lookup of the last Sound found another record\n");
        return false;
    }
    f.byCommand = MicrosPerCall([&] { FindSound(command, MatchCommand); });
    f.byEncodedIndex = MicrosPerCall([&] { FindSound(encoded, MatchEncodedIndex); });
    f.byIndex = MicrosPerCall([&] { FindSoundByIndex(index, MatchIndex); });
    f.packByName = MicrosPerCall([&] { FindSoundPackByName(packName, MatchPackName); });
    FreeSoundDatabase();

    // The blocklist in memory only: its registry side is one value per lookup anyway.
    ClearBlocklist();
    std::string lastContact;
    const double start = Seconds();
    for (int k = 0; k < count; ++k) {
        auto entry = std::make_unique<BlocklistEntry>();
        lastContact = "contact" + std::to_string(k) + "@example.com";
        entry->SetName(lastContact);
        AppendEntry(std::move(entry));
    }
    f.blocklistBuild = Seconds() - start;
    if (!FindBlocklistEntry(lastContact) || FindBlocklistEntry(lastContact)->Next()) {
        std::fprintf(stderr, "the blocklist lookup did not find the last entry\n");
        return false;
    }
    f.blocklistLast = MicrosPerCall([&] { FindBlocklistEntry(lastContact); });
    ClearBlocklist();

    std::printf("  reload          %9.3f s   (median of %d; %lld allocations per reload)\n", f.reload, runs,
                f.allocationsPerReload);
    std::printf("  read rights     %9.3f s   (the same reload by a user who may only read)\n", f.readOnlyReload);
    std::printf("  bare pass       %9.3f s   reload / bare pass %.2f\n", f.bare, f.reload / f.bare);
    std::printf("  last Sound      by command %8.1f us   by encoded index %8.1f us   by number %8.1f us\n",
                f.byCommand, f.byEncodedIndex, f.byIndex);
    std::printf("  last SoundPack  by name    %8.1f us\n", f.packByName);
    std::printf("  blocklist       %d appends %.3f s   last entry %8.1f us\n", count, f.blocklistBuild,
                f.blocklistLast);
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        if (int n = std::atoi(argv[i]); n > 0) counts.push_back(n);
    if (counts.empty()) counts = {1000, 10000, 50000};

    bool existed[std::size(Ancestors)];
    for (size_t i = 0; i < std::size(Ancestors); ++i) existed[i] = KeyExists(Ancestors[i]);

    DeleteBenchPacks();  // left over by a run that was cut short
    if (RegKey root = RegKey::Open(HKEY_LOCAL_MACHINE, SoundsKeyPath, KEY_READ)) {
        if (!SubKeyNames(root.get()).empty()) {
            std::fprintf(stderr, "HKLM\\%s already holds SoundPacks; run in a prefix without any\n",
                         SoundsKeyPath);
            return 1;
        }
    }
    FreeSoundDatabase();

    std::vector<Figures> all;
    bool ok = true;
    for (int count : counts) {
        Figures f;
        if (!(ok = Measure(count, f))) break;
        all.push_back(f);
    }

    FreeSoundDatabase();
    DeleteBenchPacks();
    for (size_t i = 0; i < std::size(Ancestors); ++i) {
        if (!existed[i]) {
            SHDeleteKeyA(HKEY_LOCAL_MACHINE, Ancestors[i]);
            break;
        }
    }
    if (!ok) return 1;

    std::printf("\nsounds     reload s   read rights s   bare s   reload/bare   allocs/reload\n");
    for (const Figures& f : all)
        std::printf("%7d  %9.3f  %13.3f  %7.3f   %8.2f   %12lld\n", f.count, f.reload, f.readOnlyReload, f.bare,
                    f.reload / f.bare, f.allocationsPerReload);
    for (size_t i = 1; i < all.size(); ++i) {
        std::printf("%d / %d sounds: reload x%.1f, bare pass x%.1f\n", all[i].count, all[i - 1].count,
                    all[i].reload / all[i - 1].reload, all[i].bare / all[i - 1].bare);
    }
    return 0;
}
