// The user's on/off options. Never cached: every query reads the registry and every
// change is written at once, so all dialogs and notifications see the same state.
#pragma once

#include <string>

namespace tunelark {

extern const char* const SettingsKeyPath;  // below HKEY_CURRENT_USER

enum OptionId : int {
    SoundsEnabled = 201,
    ToastsEnabled = 202,
    DeleteFilesWhenDeletingSounds = 203,
    BlocklistEnabled = 205,
    AllowNotOnList = 206,
    AskOnFirstSend = 207,
};

constexpr int UnknownId = -100;

// How loud sounds play: values below the same key, but not on/off options (GetOption
// knows 201 to 207 only and answers UnknownId for these ids, as for any other).
enum LevelSetting : int {
    EvenOutLoudness = 208,  // 1 (the default): every sound at one loudness; 0: as recorded
    Volume = 209,           // 0 (nothing plays) to 100 (the default: as loud as recorded)
};

// What a play request reads of the settings, as GetOption and GetLevelSetting give them.
struct PlaySettings {
    int soundsEnabled = 1;
    int evenOut = 1;
    int volume = 100;
    std::string outputDevice;  // see GetOutputDevice
};

class SettingsStore {
public:
    // The stored value, 1 when absent, UnknownId for an id that is not an option.
    int GetOption(int id) const;
    // 1 for a known option (whether or not the write took), UnknownId otherwise.
    int SetOption(int id, int value) const;
    // The stored value, or the default when absent; Volume kept within 0 to 100.
    int GetLevelSetting(LevelSetting id) const;
    void SetLevelSetting(LevelSetting id, int value) const;
    // The output device sounds play on, by the name the system lists it under (a device's
    // number changes as devices come and go); empty for the system's default device.
    std::string GetOutputDevice() const;
    // An empty name removes the choice.
    void SetOutputDevice(const std::string& name) const;
    // SoundsEnabled, the level settings and the output device through one opening of the
    // key: a play request is made on the host's thread.
    PlaySettings GetPlaySettings() const;
};

extern const SettingsStore Settings;

}  // namespace tunelark
