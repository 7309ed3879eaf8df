// Stand-in messenger automation objects: the messenger's local user, a conversation
// and its contacts, answering the slots the plug-in calls. Used by the host stand-in
// and the tests; every other slot answers E_NOTIMPL.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "plugin/messenger/messenger.h"

namespace standin {

// Reference counting and the IDispatch slots shared by every stand-in object.
template <typename Interface>
class DispatchObject : public Interface {
public:
    DispatchObject(const IID& iid) : iid_(iid) {}
    virtual ~DispatchObject() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!Answers(riid)) return E_NOINTERFACE;
        *out = static_cast<Interface*>(this);
        this->AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // Objects can be told to refuse their own interface, as a messenger that is not
    // the one the plug-in expects would.
    bool refuseOwnInterface = false;
    ULONG References() const { return refs_; }

protected:
    virtual bool Answers(REFIID riid) const {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) return true;
        return !refuseOwnInterface && IsEqualIID(riid, iid_);
    }

private:
    const IID& iid_;
    std::atomic<ULONG> refs_{1};
};

struct Person {
    std::wstring friendlyName;  // may carry the host's formatting codes
    std::wstring signinName;
    // Calls that fail for this person, leaving garbage in their out-parameter.
    bool friendlyNameFails = false;
    bool signinNameFails = false;
    bool itemFails = false;  // the collection's Item for this person
};

class Contact final : public DispatchObject<tunelark::IMessengerContact> {
public:
    explicit Contact(Person person);
    HRESULT STDMETHODCALLTYPE get_FriendlyName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_Status(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_SigninName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_ServiceName(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Blocked(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Blocked(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CanPage(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_PhoneNumber(int, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_IsSelf(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Property(int, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Property(int, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ServiceId(BSTR*) override { return E_NOTIMPL; }

private:
    Person person_;
};

class Contacts final : public DispatchObject<tunelark::IMessengerContacts> {
public:
    // refuseContactAt: index whose item answers no IMessengerContact (-1: none).
    Contacts(std::vector<Person> people, int refuseContactAt);
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override;
    HRESULT STDMETHODCALLTYPE Item(LONG index, IDispatch** contact) override;
    HRESULT STDMETHODCALLTYPE Remove(IDispatch*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return E_NOTIMPL; }

private:
    std::vector<Person> people_;
    int refuseContactAt_;
};

class Conversation final : public DispatchObject<tunelark::IMessengerConversationWnd> {
public:
    Conversation();
    std::vector<Person> people;
    bool refuseContacts = false;      // get_Contacts fails
    int refuseContactAt = -1;         // that contact answers no IMessengerContact

    HRESULT STDMETHODCALLTYPE Close() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_HWND(long*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Left(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Left(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Top(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Top(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Width(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Width(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Height(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Height(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_IsClosed(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Show() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Property(int, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Property(int, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Contacts(IDispatch** contacts) override;
    HRESULT STDMETHODCALLTYPE get_History(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddContact(VARIANT) override { return E_NOTIMPL; }
};

class Messenger final : public DispatchObject<tunelark::IMessenger> {
public:
    Messenger();
    Person me;
    bool refuseFriendlyName = false;

    HRESULT STDMETHODCALLTYPE get_Window(IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ViewProfile(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ReceiveFileDirectory(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE StartVoice(VARIANT, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InviteApp(VARIANT, BSTR, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SendMail(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenInbox() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SendFile(VARIANT, BSTR, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Signout() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Signin(long, BSTR, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContact(BSTR, BSTR, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OptionsPages(long, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddContact(long, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindContact(long, BSTR, BSTR, VARIANT, VARIANT, VARIANT) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE InstantMessage(VARIANT, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Phone(VARIANT, int, BSTR, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MediaWizard(long) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Page(VARIANT, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AutoSignin() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_MyContacts(IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_MySigninName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_MyFriendlyName(BSTR* name) override;
};

// UTF-8 (what the host stand-in reads and the tests write) to UTF-16 and back.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

}  // namespace standin
