// The user's on/off options. Never cached: every query reads the registry and every
// change is written at once, so all dialogs and notifications see the same state.
#pragma once

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

class SettingsStore {
public:
    // The stored value, 1 when absent, UnknownId for an id that is not an option.
    int GetOption(int id) const;
    // 1 for a known option (whether or not the write took), UnknownId otherwise.
    int SetOption(int id, int value) const;
};

extern const SettingsStore Settings;

}  // namespace tunelark
