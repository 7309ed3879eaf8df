#include "plugin/messenger/messenger.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "base/ansi_text.h"

namespace tunelark {

const IID IID_IMessenger =
    {0xD50C3186, 0x0F89, 0x48F8, {0xB2, 0x04, 0x36, 0x04, 0x62, 0x9D, 0xEE, 0x10}};
const IID IID_IMessengerConversationWnd =
    {0xD6B0E4C9, 0xFAD6, 0x4885, {0xB2, 0x71, 0x0D, 0xC5, 0xA5, 0x84, 0xAD, 0xF8}};
const IID IID_IMessengerContacts =
    {0xE7479A0D, 0xBB19, 0x44A5, {0x96, 0x8F, 0x6F, 0x41, 0xD9, 0x3E, 0xE0, 0xBC}};
const IID IID_IMessengerContact =
    {0xE7479A0F, 0xBB19, 0x44A5, {0x96, 0x8F, 0x6F, 0x41, 0xD9, 0x3E, 0xE0, 0xBC}};

void WideToAnsiFixed(const wchar_t* text, char* buffer, size_t size) {
    if (!buffer || size == 0) return;
    std::memset(buffer, 0, size);
    if (!text || !*text) return;
    // Convert in full first: WideCharToMultiByte writes nothing useful into a buffer
    // that is too small, and the name must be cut, not dropped.
    int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 1) return;
    std::string converted(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, converted.data(), needed, nullptr, nullptr);
    // Cut where a character ends: never half a double-byte character before the terminator.
    const std::string_view whole(converted.c_str());
    const size_t length = SystemCodePage().FitLength(whole, size - 1);
    std::memcpy(buffer, whole.data(), length);
}

namespace {

template <typename Getter>
bool ReadName(Getter getter, char* buffer, size_t size) {
    if (buffer && size) std::memset(buffer, 0, size);
    bool succeeded = false;
    Bstr name = GetBstrOnSuccess(getter, &succeeded);
    if (!succeeded) return false;
    WideToAnsiFixed(name.get(), buffer, size);
    return true;
}

}  // namespace

bool GetMyFriendlyName(IMessenger* messenger, char* buffer, size_t size) {
    if (!messenger) {
        if (buffer && size) std::memset(buffer, 0, size);
        return false;
    }
    return ReadName([&](BSTR* out) { return messenger->get_MyFriendlyName(out); }, buffer, size);
}

bool GetContactFriendlyName(IMessengerContact* contact, char* buffer, size_t size) {
    return ReadName([&](BSTR* out) { return contact->get_FriendlyName(out); }, buffer, size);
}

bool GetContactSigninName(IMessengerContact* contact, char* buffer, size_t size) {
    return ReadName([&](BSTR* out) { return contact->get_SigninName(out); }, buffer, size);
}

bool ForEachConversationContact(IDispatch* conversation,
                                const std::function<bool(IMessengerContact*)>& visit) {
    auto window = QueryAs<IMessengerConversationWnd>(conversation, IID_IMessengerConversationWnd);
    if (!window) return false;
    auto collection = GetOnSuccess<IDispatch>([&](IDispatch** out) { return window->get_Contacts(out); });
    if (!collection) return false;
    auto contacts = QueryAs<IMessengerContacts>(collection.get(), IID_IMessengerContacts);
    if (!contacts) return false;
    LONG count = 0;
    if (FAILED(contacts->get_Count(&count))) return false;
    for (LONG i = 0; i < count; ++i) {
        auto item = GetOnSuccess<IDispatch>([&](IDispatch** out) { return contacts->Item(i, out); });
        if (!item) continue;
        auto contact = QueryAs<IMessengerContact>(item.get(), IID_IMessengerContact);
        if (!contact) continue;
        if (!visit(contact.get())) break;
    }
    return true;
}

}  // namespace tunelark
