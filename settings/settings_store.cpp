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

const char* const OutputDeviceValue = "OutputDevice";
// Room for any name a user could have put there; the system's names have at most 31
// characters.
constexpr DWORD OutputDeviceBufferSize = 1024;

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
    settings.outputDevice = ReadRegStringFromKey(key.get(), OutputDeviceValue, OutputDeviceBufferSize);
    return settings;
}

std::string SettingsStore::GetOutputDevice() const {
    return ReadRegString(HKEY_CURRENT_USER, SettingsKeyPath, OutputDeviceValue, OutputDeviceBufferSize);
}

void SettingsStore::SetOutputDevice(const std::string& name) const {
    if (name.empty())
        DeleteRegValue(HKEY_CURRENT_USER, SettingsKeyPath, OutputDeviceValue);
    else
        WriteRegString(HKEY_CURRENT_USER, SettingsKeyPath, OutputDeviceValue, name.c_str());
}

void SettingsStore::SetLevelSetting(LevelSetting id, int value) const {
    WriteRegDword(HKEY_CURRENT_USER, SettingsKeyPath, id == Volume ? "Volume" : "EvenOutLoudness", value);
}

}  // namespace tunelark
