#include "settings/settings_store.h"

#include <algorithm>

#include "settings/registry.h"

namespace tunelark {

const char* const SettingsKeyPath = "Software\\vorquell_ software\\Tunelark";
const SettingsStore Settings;

namespace {

const char* OptionValueName(int id) {
    switch (id) {
    case SoundsEnabled: return "SoundsEnabled";
    case ToastsEnabled: return "ToastsEnabled";
    case DeleteFilesWhenDeletingSounds: return "DeleteFilesWhenDeletingSounds";
    case BlocklistEnabled: return "BlocklistEnabled";
    case AllowNotOnList: return "AllowNotOnList";
    case AskOnFirstSend: return "AskOnFirstSend";
    default: return nullptr;
    }
}

}  // namespace

int SettingsStore::GetOption(int id) const {
    const char* name = OptionValueName(id);
    if (!name) return UnknownId;
    int value = 1;
    ReadRegDword(HKEY_CURRENT_USER, SettingsKeyPath, name, value);
    return value;
}

int SettingsStore::SetOption(int id, int value) const {
    const char* name = OptionValueName(id);
    if (!name) return UnknownId;
    WriteRegDword(HKEY_CURRENT_USER, SettingsKeyPath, name, value);
    return 1;
}

int SettingsStore::GetLevelSetting(LevelSetting id) const {
    int value = id == Volume ? 100 : 1;
    ReadRegDword(HKEY_CURRENT_USER, SettingsKeyPath, id == Volume ? "Volume" : "EvenOutLoudness", value);
    return id == Volume ? std::clamp(value, 0, 100) : value;
}

PlaySettings SettingsStore::GetPlaySettings() const {
    PlaySettings settings;
    const RegKey key = RegKey::Open(HKEY_CURRENT_USER, SettingsKeyPath, KEY_QUERY_VALUE);
    ReadRegDwordFromKey(key.get(), "SoundsEnabled", settings.soundsEnabled);
    ReadRegDwordFromKey(key.get(), "EvenOutLoudness", settings.evenOut);
    ReadRegDwordFromKey(key.get(), "Volume", settings.volume);
    settings.volume = std::clamp(settings.volume, 0, 100);
    return settings;
}

void SettingsStore::SetLevelSetting(LevelSetting id, int value) const {
    WriteRegDword(HKEY_CURRENT_USER, SettingsKeyPath, id == Volume ? "Volume" : "EvenOutLoudness", value);
}

}  // namespace tunelark
