// Typed "/xTL" commands: the built-in sub-commands and the sound command, which turns
// a sound's command word into the hidden notification the peer's plug-in plays.
#include <cstring>
#include <string>
#include <string_view>

#include "base/ansi_text.h"
#include "base/text_compare.h"
#include "blocklist/blocklist.h"
#include "playback/sound_play.h"
#include "plugin/command.h"
#include "plugin/exports/exports.h"
#include "plugin/messenger/messenger.h"
#include "plugin/toast.h"
#include "settings/settings_store.h"
#include "sounddb/library_watch.h"
#include "sounddb/sound_records.h"
#include "sounddb/sound_registry.h"
#include "ui/about_dialog.h"
#include "ui/blocklist_dialog.h"
#include "ui/config_panel.h"
#include "ui/options_dialog.h"

namespace tunelark {

namespace {

constexpr std::string_view CommandPrefix = "/xTL";
constexpr const char* InformationCaption = "Tunelark Plugin :: Information";

void InformIfToastsOn(const char* text) {
    if (Settings.GetOption(ToastsEnabled) != 0) ShowToast(text, InformationCaption, 1);
}

void SetAllowedFor(const std::string& signinName, int allowed) {
    // The registry would keep an empty name as the key's default value, which no contact owns.
    if (signinName.empty()) return;
    if (BlocklistEntry* entry = FindBlocklistEntry(signinName)) entry->SetAllowed(allowed);
    else AddContact(signinName, allowed);
}

void BlockOrUnblock(const char* parameter, HostCallContext* context, int allowed) {
    if (parameter && *parameter) {
        SetAllowedFor(parameter, allowed);
        return;
    }
    IDispatch* conversation = context ? context->conversation : nullptr;
    if (!conversation) return;
    bool found = ForEachConversationContact(conversation, [&](IMessengerContact* contact) {
        char signin[130];
        if (GetContactSigninName(contact, signin, sizeof signin)) SetAllowedFor(signin, allowed);
        return true;
    });
    if (!found) MessageBoxA(nullptr, "The Contacts group could not be found", "Internal Error", MB_OK);
}

}  // namespace

std::string SoundNotificationText(const Sound& sound, const char* parameter) {
    std::string text = NotificationMarker;
    text += NotificationCode;
    text += sound.EncodedIndex();
    // The host's result buffer is its own; a message longer than it could hold is cut,
    // where a character of it ends (the encoded index before it is bytes, not text).
    const std::string message = (parameter && *parameter) ? std::string(parameter) : sound.Message();
    text += SystemCodePage().Fit(message, HostResultCapacity - 1 - text.size());
    return text;
}

}  // namespace tunelark

using namespace tunelark;

extern "C" BOOL __stdcall ParseCommand(const char* command, const char* parameter,
                                       HostCallContext* context, char* result) {
    if (!command) return 0;
    std::string_view word(command);
    if (!EqualsIgnoreAsciiCase(word.substr(0, CommandPrefix.size()), CommandPrefix)) return 0;
    std::string_view sub = word.size() > CommandPrefix.size() ? word.substr(CommandPrefix.size())
                                                               : std::string_view();
    auto is = [&](std::string_view name) { return EqualsIgnoreAsciiCase(sub, name); };
    auto answer = [&](const std::string& text) {
        if (result) std::memcpy(result, text.c_str(), text.size() + 1);
        return TRUE;
    };
    // What another program changed in the library is the plug-in's from here on.
    TakeLibraryChanges();

    if (is("About")) {
        ShowAbout(nullptr);
        return answer("");
    }
    if (is("Options")) {
        ShowAdvancedOptions(nullptr);
        return answer("");
    }
    // Config: the panel, and the command of the sound chosen in it by a double-click.
    if (is("Config")) {
        if (ShowConfigPanel(nullptr) != PanelSoundChosen) return answer("");
        const std::string& chosen = ChosenCommand();
        return answer(std::string(CommandPrefix) +
                      std::string(SystemCodePage().Fit(chosen, HostResultCapacity - 1 - CommandPrefix.size())));
    }
    if (is("Stop")) {
        StopCurrentStream();
        CloseCurrentStream();
        return answer("");
    }
    if (is("Reload")) {
        StopCurrentStream();
        CloseCurrentStream();
        ReloadLibrary();
        InformIfToastsOn("Tunelark Sounds Database reloaded");
        return answer("");
    }
    if (is("ReloadBlocklist")) {
        ClearBlocklist();
        LoadBlocklist(BlocklistKeyPath);
        InformIfToastsOn("Tunelark Blocklist Database reloaded");
        return answer("");
    }
    if (is("Blocklist")) {
        ShowBlocklistDialog(nullptr);
        return answer("");
    }
    if (is("Block") || is("Unblock")) {
        BlockOrUnblock(parameter, context, is("Unblock") ? 1 : 0);
        return answer("");
    }

    const Sound* sound = FindSound(std::string(sub), MatchCommand);
    if (!sound) return 0;
    return answer(SoundNotificationText(*sound, parameter));
}
