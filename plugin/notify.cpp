// Incoming sound notifications: decide whether the sender may make the user hear a
// sound, then find the sound by its encoded index and play it.
#include <cstring>
#include <string>

#include "base/text_compare.h"
#include "blocklist/blocklist.h"
#include "playback/sound_play.h"
#include "plugin/command.h"
#include "plugin/exports/exports.h"
#include "plugin/messenger/messenger.h"
#include "plugin/names/plus_codes.h"
#include "plugin/state/plugin_state.h"
#include "plugin/toast.h"
#include "settings/settings_store.h"
#include "sounddb/library_watch.h"
#include "sounddb/sound_records.h"
#include "ui/first_send_prompt.h"

namespace tunelark {

namespace {

constexpr size_t DisplayNameSize = 130;
constexpr size_t SigninNameSize = 256;

// The formatting codes of one call, read once: every name of the conversation is
// normalised with the same table, and the next call reads it afresh.
class NameNormaliser {
public:
    NameNormaliser() : codes_(ReadPlusCodes(PlusCodesKeyPath)) {}
    void InPlace(char* name) const {
        StripPlusCodes(codes_, name, name, DisplayNameSize, Plugin().hostVersion);
    }

private:
    PlusCodes codes_;
};

// A sender not on the blocklist: ask, when the user wants to be asked, and remember.
int DecideForNewContact(const char* signinName) {
    if (Settings.GetOption(AskOnFirstSend) != 1) return Settings.GetOption(AllowNotOnList);
    const int answer = ShowFirstSendPrompt();
    // Nobody was asked, so nothing may be remembered as the user's answer.
    if (answer == PromptNotShown) return Settings.GetOption(AllowNotOnList);
    const int allowed = answer & PromptAllow;
    if (answer & PromptRemember) {
        Settings.SetOption(AllowNotOnList, allowed);
        Settings.SetOption(AskOnFirstSend, 0);
    }
    AddContact(signinName, allowed);
    return allowed;
}

// The blocklist's answer for the conversation contact that sent the text.
int DecideForContact(IMessengerContact* contact) {
    char signin[SigninNameSize];
    // A contact without a readable sign-in name cannot be told from any other: it gets
    // the default and no entry, as Block and Unblock pass it by.
    if (!GetContactSigninName(contact, signin, sizeof signin) || signin[0] == '\0')
        return Settings.GetOption(AllowNotOnList);
    if (const BlocklistEntry* entry = FindBlocklistEntry(signin)) return entry->IsAllowed();
    return DecideForNewContact(signin);
}

int DecideAllowed(const char* senderName, IDispatch* conversation) {
    IMessenger* messenger = Plugin().messenger.get();
    if (!messenger) return Settings.GetOption(AllowNotOnList);

    const NameNormaliser normaliser;
    char ownName[DisplayNameSize];
    GetMyFriendlyName(messenger, ownName, sizeof ownName);
    normaliser.InPlace(ownName);
    const bool sentByOwnName = std::strcmp(ownName, senderName) == 0;

    bool matched = false;
    int allowed = 0;
    ForEachConversationContact(conversation, [&](IMessengerContact* contact) {
        char contactName[DisplayNameSize];
        if (!GetContactFriendlyName(contact, contactName, sizeof contactName)) return true;
        normaliser.InPlace(contactName);
        if (std::strcmp(contactName, senderName) != 0) return true;
        matched = true;
        allowed = DecideForContact(contact);
        return false;
    });
    // A contact who goes by the user's own name is still that contact: the name alone
    // must not get round the contact's blocklist entry.
    if (matched) return allowed;
    return sentByOwnName ? 1 : Settings.GetOption(AllowNotOnList);
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
    TakeLibraryChanges();

    const char* sender = context ? context->senderName : "";
    IDispatch* conversation = context ? context->conversation : nullptr;
    int allowed = DecideAllowed(sender, conversation);
    PlayIfAllowed(text, allowed);
    if (result) result[0] = '\0';
    return 1;
}
