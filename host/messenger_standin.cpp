#include "host/messenger_standin.h"

#include <cstdint>

namespace standin {

namespace {

// What a careless host leaves in the out-parameter of a call that fails: anything
// that uses or releases it crashes.
template <typename T>
HRESULT FailWithGarbage(T* out) {
    if (out) *out = reinterpret_cast<T>(static_cast<uintptr_t>(0xDEAD0000u));
    return E_FAIL;
}

HRESULT ReturnString(const std::wstring& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

Contact::Contact(Person person)
    : DispatchObject(tunelark::IID_IMessengerContact), person_(std::move(person)) {}

HRESULT Contact::get_FriendlyName(BSTR* name) {
    if (person_.friendlyNameFails) return FailWithGarbage(name);
    return ReturnString(person_.friendlyName, name);
}

HRESULT Contact::get_SigninName(BSTR* name) {
    if (person_.signinNameFails) return FailWithGarbage(name);
    return ReturnString(person_.signinName, name);
}

Contacts::Contacts(std::vector<Person> people, int refuseContactAt)
    : DispatchObject(tunelark::IID_IMessengerContacts),
      people_(std::move(people)),
      refuseContactAt_(refuseContactAt) {}

HRESULT Contacts::get_Count(LONG* count) {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(people_.size());
    return S_OK;
}

HRESULT Contacts::Item(LONG index, IDispatch** contact) {
    if (!contact) return E_POINTER;
    *contact = nullptr;
    if (index < 0 || index >= static_cast<LONG>(people_.size())) return E_INVALIDARG;
    if (people_[index].itemFails) return FailWithGarbage(contact);
    auto* item = new Contact(people_[index]);
    item->refuseOwnInterface = (index == refuseContactAt_);
    *contact = item;
    return S_OK;
}

Conversation::Conversation() : DispatchObject(tunelark::IID_IMessengerConversationWnd) {}

HRESULT Conversation::get_Contacts(IDispatch** contacts) {
    if (!contacts) return E_POINTER;
    *contacts = nullptr;
    if (refuseContacts) return FailWithGarbage(contacts);
    *contacts = new Contacts(people, refuseContactAt);
    return S_OK;
}

Messenger::Messenger() : DispatchObject(tunelark::IID_IMessenger) {}

HRESULT Messenger::get_MySigninName(BSTR* name) { return ReturnString(me.signinName, name); }

HRESULT Messenger::get_MyFriendlyName(BSTR* name) {
    if (refuseFriendlyName) return FailWithGarbage(name);
    return ReturnString(me.friendlyName, name);
}

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

}  // namespace standin
