// Incoming sound notifications: decide whether the sender may make the user hear a
// sound, then find the sound by its encoded index and play it.
#include <cstring>
#include <string>

#include "blocklist/blocklist.h"
#include "playback/sound_play.h"
#include "plugin/command.h"
#include "plugin/exports/exports.h"
#include "plugin/messenger/messenger.h"
#include "plugin/names/plus_codes.h"
#include "plugin/state/plugin_state.h"
#include "plugin/toast.h"
#include "settings/settings_store.h"
#include "sounddb/sound_records.h"
#include "base/text_compare.h"
#include "ui/first_send_prompt.h"

namespace tunelark {

namespace {

constexpr size_t DisplayNameSize = 130;
constexpr size_t SigninNameSize = 256;

void NormaliseInPlace(char* name) {
    StripPlusCodes(PlusCodesKeyPath, name, name, DisplayNameSize, Plugin().hostVersion);
}

// A sender not on the blocklist: ask, when the user wants to be asked, and remember.
int DecideForNewContact(const char* signinName) {
    if (Settings.GetOption(AskOnFirstSend) != 1) return Settings.GetOption(AllowNotOnList);
    int answer = ShowFirstSendPrompt();
    int allowed = answer & PromptAllow;
    if (answer & PromptRemember) {
        Settings.SetOption(AllowNotOnList, allowed);
        Settings.SetOption(AskOnFirstSend, 0);
    }
    AddContact(signinName, allowed);
    return allowed;
}

int DecideAllowed(const char* senderName, IDispatch* conversation) {
    IMessenger* messenger = Plugin().messenger.get();
    if (!messenger) return Settings.GetOption(AllowNotOnList);

    char ownName[DisplayNameSize];
    GetMyFriendlyName(messenger, ownName, sizeof ownName);
    NormaliseInPlace(ownName);
    if (std::strcmp(ownName, senderName) == 0) return 1;

    bool matched = false;
    int allowed = 0;
    ForEachConversationContact(conversation, [&](IMessengerContact* contact) {
        char contactName[DisplayNameSize];
        GetContactFriendlyName(contact, contactName, sizeof contactName);
        NormaliseInPlace(contactName);
        if (std::strcmp(contactName, senderName) != 0) return true;
        matched = true;
        char signin[SigninNameSize];
        GetContactSigninName(contact, signin, sizeof signin);
        if (const BlocklistEntry* entry = FindBlocklistEntry(signin)) allowed = entry->IsAllowed();
        else allowed = DecideForNewContact(signin);
        return false;
    });
    return matched ? allowed : Settings.GetOption(AllowNotOnList);
}

void Warn(const char* text, const char* caption) {
    if (Settings.GetOption(ToastsEnabled) != 1) return;
    ShowToast(text, caption, Settings.GetOption(SoundsEnabled) == 1 ? 1 : 0);
}

void PlayIfAllowed(const char* text, int allowed) {
    // The encoded index is bytes 2 to 4; a shorter text simply matches nothing.
    std::string index(text + std::min(std::strlen(text), NotificationIndexOffset));
    index.resize(std::min(index.size(), EncodedIndexLength));
    Sound* sound = FindSound(index, MatchEncodedIndex);
    if (!sound) {
        Warn("Sorry, that sound is not installed on your computer", "Tunelark Plugin warning");
        return;
    }
    int blocklist = Settings.GetOption(BlocklistEnabled);
    if (!(blocklist == 0 || (blocklist == 1 && allowed == 1))) return;
    if (Play(*sound, 0) == PlayFileMissing) {
        Warn("This sound has not been correctly configured. The file could not be found",
             "Tunelark Plugin :: Warning");
    }
}

}  // namespace

}  // namespace tunelark

using namespace tunelark;

extern "C" BOOL __stdcall ReceiveNotify(const char* text, void*, HostCallContext* context,
                                        char* result) {
    if (!text || strnlen(text, 2) < 2) return 0;
    if (!EqualsIgnoreAsciiCase(std::string_view(text, 2), NotificationCode)) return 0;

    const char* sender = context ? context->senderName : "";
    IDispatch* conversation = context ? context->conversation : nullptr;
    int allowed = DecideAllowed(sender, conversation);
    PlayIfAllowed(text, allowed);
    if (result) result[0] = '\0';
    return 1;
}
