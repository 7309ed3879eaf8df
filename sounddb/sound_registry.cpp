#include "sounddb/sound_registry.h"

#include <windows.h>

#include <cstring>
#include <unordered_set>

#include "settings/registry.h"
#include "base/ansi_text.h"
#include "base/text_compare.h"

namespace tunelark {

const char* const DatabaseKeyPath = "SOFTWARE\\vorquell_ software\\Tlx3";
const char* const SoundsKeyPath = "SOFTWARE\\vorquell_ software\\Tlx3\\Sounds";

namespace {

// Every text of the database is read through a buffer of this size.
constexpr DWORD TextBufferSize = MaxSoundTextBytes + 1;

// All a load does with a key: count and name the keys below it, read its values. A user
// who may only read has these rights, so every user loads alike, and as fast.
constexpr REGSAM LoadRights = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;

bool CountSubKeys(HKEY key, DWORD& count) {
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::string ReadText(HKEY key, const char* valueName) {
    return ReadRegStringFromKey(key, valueName, TextBufferSize);
}

// The IndexTexts of the database with the ASCII letters folded to small, which is how
// FindSound(name, MatchIndexText) compares them: the loader's duplicate check, without
// a scan of the whole database for every key.
class IndexTextSet {
public:
    // Starts from every Sound the database already holds.
    IndexTextSet() {
        for (SoundPack* pack = FirstSoundPack(); pack; pack = pack->Next())
            for (Sound* sound = pack->Sounds(); sound; sound = sound->Next()) Add(sound->IndexText());
    }
    bool Contains(const std::string& text) const { return texts_.count(Folded(text)) != 0; }
    void Add(const std::string& text) { texts_.insert(Folded(text)); }

private:
    static std::string Folded(const std::string& text) { return FoldAsciiCase(text); }
    std::unordered_set<std::string> texts_;
};

// Reads the Sounds of one pack key; stops at the first Sound key that cannot be opened.
void LoadSounds(SoundPack& pack, HKEY packKey, DWORD soundCount, IndexTextSet& loaded) {
    const std::string keyPathPrefix = pack.KeyPath() + "\\";
    for (DWORD j = 0; j < soundCount; ++j) {
        std::string name;
        if (EnumRegSubKey(packKey, j, name) != ERROR_SUCCESS) continue;
        // A key of this name could never be saved or deleted as its own; leave it be.
        if (!IsSafeKeyName(name)) continue;
        if (loaded.Contains(name)) continue;

        RegKey soundKey = RegKey::Open(packKey, name.c_str(), LoadRights);
        if (!soundKey) return;
        auto sound = std::make_unique<Sound>(&pack);
        sound->SetIndexText(name);
        sound->SetCommand(ReadText(soundKey.get(), "Command"));
        sound->SetFilename(ReadText(soundKey.get(), "Filename"));
        sound->SetMessage(ReadText(soundKey.get(), "Message"));
        sound->SetKeyPath(keyPathPrefix + name);
        pack.AddSound(std::move(sound));
        loaded.Add(name);
    }
}

// Reads the pack key `name` below root into a pack appended to the database, with its
// Sounds; `added` stays null for a key skipped. False when the key cannot be opened or
// counted, which ends a whole load.
bool LoadPack(HKEY root, const std::string& rootPath, const std::string& name, IndexTextSet& loaded,
              SoundPack*& added) {
    RegKey packKey = RegKey::Open(root, name.c_str(), LoadRights);
    DWORD soundCount = 0;
    if (!packKey || !CountSubKeys(packKey.get(), soundCount)) return false;
    // Such a name would make the pack's key path point elsewhere.
    if (!IsSafeKeyName(name)) return true;

    auto pack = std::make_unique<SoundPack>();
    pack->SetName(name);
    pack->SetArtist(ReadText(packKey.get(), "Artist"));
    pack->SetVersion(ReadText(packKey.get(), "Version"));
    pack->SetKeyPath(rootPath + "\\" + name);
    added = AppendSoundPack(std::move(pack));
    LoadSounds(*added, packKey.get(), soundCount, loaded);
    return true;
}

std::string SoundKeyPathBelow(const Sound& sound, const std::string& packKeyPath) {
    return packKeyPath + "\\" + sound.IndexText();
}

}  // namespace

bool IsSafeKeyName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return SystemCodePage().Find(name, '\\') == CodePage::npos;
}

bool IsPackKeyPath(const std::string& path) {
    const std::string prefix = std::string(SoundsKeyPath) + "\\";
    if (path.size() <= prefix.size()) return false;
    if (!EqualsIgnoreAsciiCase(std::string_view(path).substr(0, prefix.size()), prefix)) return false;
    return IsSafeKeyName(path.substr(prefix.size()));
}

std::string PackKeyPath(const std::string& name) {
    return std::string(SoundsKeyPath) + "\\" + name;
}

bool IsSoundKeyPath(const std::string& path) {
    const size_t last = SystemCodePage().FindLastOf(path, "\\");
    if (last == std::string::npos) return false;
    return IsPackKeyPath(path.substr(0, last)) && IsSafeKeyName(path.substr(last + 1));
}

void LoadSoundDatabase(const std::string& rootPath) {
    RegKey root = RegKey::Open(HKEY_LOCAL_MACHINE, rootPath.c_str(), LoadRights);
    DWORD packCount = 0;
    if (!root || !CountSubKeys(root.get(), packCount)) return;

    IndexTextSet loaded;
    for (DWORD i = 0; i < packCount; ++i) {
        std::string name;
        SoundPack* added = nullptr;
        if (EnumRegSubKey(root.get(), i, name) != ERROR_SUCCESS ||
            !LoadPack(root.get(), rootPath, name, loaded, added))
            return;
    }
}

SoundPack* LoadSoundPack(const std::string& rootPath, const std::string& name) {
    RegKey root = RegKey::Open(HKEY_LOCAL_MACHINE, rootPath.c_str(), LoadRights);
    DWORD packCount = 0;
    if (!root || !CountSubKeys(root.get(), packCount)) return nullptr;
    // The key's own spelling is the pack's name, as a reload would have it.
    for (DWORD i = 0; i < packCount; ++i) {
        std::string keyName;
        if (EnumRegSubKey(root.get(), i, keyName) != ERROR_SUCCESS || !EqualsIgnoreAsciiCase(keyName, name)) continue;
        IndexTextSet loaded;
        SoundPack* added = nullptr;
        LoadPack(root.get(), rootPath, keyName, loaded, added);
        return added;
    }
    return nullptr;
}

bool RereadSoundPack(SoundPack& pack) {
    if (!IsPackKeyPath(pack.KeyPath())) return false;
    RegKey packKey = RegKey::Open(HKEY_LOCAL_MACHINE, pack.KeyPath().c_str(), LoadRights);
    DWORD soundCount = 0;
    if (!packKey || !CountSubKeys(packKey.get(), soundCount)) return false;
    pack.FreeSounds();
    pack.SetArtist(ReadText(packKey.get(), "Artist"));
    pack.SetVersion(ReadText(packKey.get(), "Version"));
    // The other packs keep their Sounds; a key one of them has the name of stays out.
    IndexTextSet loaded;
    LoadSounds(pack, packKey.get(), soundCount, loaded);
    return true;
}

bool LibraryKeyExists(const std::string& keyPath) {
    return static_cast<bool>(RegKey::Open(HKEY_LOCAL_MACHINE, keyPath.c_str(), KEY_QUERY_VALUE));
}

std::unordered_map<int, std::string> RegistryIndexOwners() {
    std::unordered_map<int, std::string> owners;
    const RegKey root = RegKey::Open(HKEY_LOCAL_MACHINE, SoundsKeyPath, KEY_READ);
    std::string pack, sound;
    for (DWORD i = 0; root && EnumRegSubKey(root.get(), i, pack) == ERROR_SUCCESS; ++i) {
        if (!IsSafeKeyName(pack)) continue;
        const RegKey packKey = RegKey::Open(root.get(), pack.c_str(), KEY_READ);
        for (DWORD j = 0; packKey && EnumRegSubKey(packKey.get(), j, sound) == ERROR_SUCCESS; ++j)
            if (IsSafeKeyName(sound)) owners.emplace(SoundIndexOf(sound), pack);
    }
    return owners;
}

RegResult ProbeLibraryChange(const std::string& keyPath, REGSAM extra) {
    return ProbeRegAccess(HKEY_LOCAL_MACHINE, keyPath.c_str(), KEY_SET_VALUE | KEY_CREATE_SUB_KEY | extra);
}

RegResult SaveSoundPackValues(const SoundPack& pack, bool enable) {
    if (!IsSafeKeyName(pack.Name())) return ERROR_SUCCESS;
    const std::string path = PackKeyPath(pack.Name());
    const char* key = path.c_str();
    RegResult result = CreateRegKey(HKEY_LOCAL_MACHINE, key);
    if (!result) result = WriteRegString(HKEY_LOCAL_MACHINE, key, "Name", pack.Name().c_str());
    if (!result) result = WriteRegString(HKEY_LOCAL_MACHINE, key, "Artist", pack.Artist().c_str());
    if (!result) result = WriteRegString(HKEY_LOCAL_MACHINE, key, "Version", pack.Version().c_str());
    if (!result && enable) result = WriteRegDword(HKEY_LOCAL_MACHINE, key, "Enabled", 1);
    return result;
}

RegResult SaveSoundPack(SoundPack& pack) {
    if (!IsSafeKeyName(pack.Name())) return ERROR_SUCCESS;
    RegResult result = SaveSoundPackValues(pack, true);
    const std::string path = PackKeyPath(pack.Name());
    for (Sound* sound = pack.Sounds(); sound && !result; sound = sound->Next()) result = SaveSound(*sound, path);
    return result;
}

RegResult SaveSound(Sound& sound, const std::string& packKeyPath) {
    const std::string path = SoundKeyPathBelow(sound, packKeyPath);
    if (!IsSoundKeyPath(path)) return ERROR_SUCCESS;
    sound.SetKeyPath(path);
    const char* key = path.c_str();
    RegResult result = CreateRegKey(HKEY_LOCAL_MACHINE, key);
    if (!result) result = WriteRegString(HKEY_LOCAL_MACHINE, key, "Command", sound.Command().c_str());
    if (!result) result = WriteRegString(HKEY_LOCAL_MACHINE, key, "Filename", sound.Filename().c_str());
    if (!result) result = WriteRegString(HKEY_LOCAL_MACHINE, key, "Message", sound.Message().c_str());
    if (!result) result = WriteRegDword(HKEY_LOCAL_MACHINE, key, "Enabled", 1);
    return result;
}

RegResult DeleteSoundKey(const Sound& sound, const std::string& packKeyPath) {
    const std::string path = SoundKeyPathBelow(sound, packKeyPath);
    return IsSoundKeyPath(path) ? DeleteRegKeyTree(HKEY_LOCAL_MACHINE, path.c_str()) : ERROR_SUCCESS;
}

RegResult DeleteSound(Sound* sound) {
    if (!sound) return ERROR_SUCCESS;
    SoundPack* pack = sound->Pack();
    if (pack) {
        // A Sound whose key stays stays in memory too: it comes back at the next start.
        if (const RegResult refused = DeleteSoundKey(*sound, pack->KeyPath())) return refused;
    }
    std::unique_ptr<Sound> owned = pack ? pack->RemoveSound(sound) : nullptr;
    // owned (when the Sound was in its pack's list) is destroyed here.
    return ERROR_SUCCESS;
}

int DeleteSoundPack(SoundPack* pack, RegResult* refused) {
    if (refused) *refused = ERROR_SUCCESS;
    if (!pack) return 1;
    // Only the pack's own key goes. The stricter rules for a pack's directory do not
    // apply: a pack already stored under a name a directory could not have must still
    // be deletable, not come back at the next reload.
    if (IsPackKeyPath(pack->KeyPath()) && EqualsIgnoreAsciiCase(pack->KeyPath(), PackKeyPath(pack->Name()))) {
        if (const RegResult result = DeleteRegKeyTree(HKEY_LOCAL_MACHINE, pack->KeyPath().c_str())) {
            // Some of its Sound keys may be gone: the record shows what is left.
            RereadSoundPack(*pack);
            if (refused) *refused = result;
            return 0;
        }
    }
    pack->FreeSounds();
    std::unique_ptr<SoundPack> owned = UnlinkSoundPack(pack);
    return 1;
}

}  // namespace tunelark
