// The messenger's automation interfaces, declared here in their published slot order
// (no toolchain header has them), and the few reads the plug-in makes through them.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <functional>

#include "base/com_ptr.h"

namespace tunelark {

extern const IID IID_IMessenger;
extern const IID IID_IMessengerConversationWnd;
extern const IID IID_IMessengerContacts;
extern const IID IID_IMessengerContact;

struct IMessenger : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Window(IDispatch** window) = 0;
    virtual HRESULT STDMETHODCALLTYPE ViewProfile(VARIANT contact) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ReceiveFileDirectory(BSTR* path) = 0;
    virtual HRESULT STDMETHODCALLTYPE StartVoice(VARIANT contact, IDispatch** window) = 0;
    virtual HRESULT STDMETHODCALLTYPE InviteApp(VARIANT contact, BSTR appId, IDispatch** window) = 0;
    virtual HRESULT STDMETHODCALLTYPE SendMail(VARIANT contact) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenInbox() = 0;
    virtual HRESULT STDMETHODCALLTYPE SendFile(VARIANT contact, BSTR file, IDispatch** window) = 0;
    virtual HRESULT STDMETHODCALLTYPE Signout() = 0;
    virtual HRESULT STDMETHODCALLTYPE Signin(long hwndParent, BSTR signinName, BSTR password) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetContact(BSTR signinName, BSTR serviceId, IDispatch** contact) = 0;
    virtual HRESULT STDMETHODCALLTYPE OptionsPages(long hwndParent, int firstPage) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddContact(long hwndParent, BSTR emailAddress) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindContact(long hwndParent, BSTR firstName, BSTR lastName,
                                                  VARIANT city, VARIANT state, VARIANT country) = 0;
    virtual HRESULT STDMETHODCALLTYPE InstantMessage(VARIANT contact, IDispatch** window) = 0;
    virtual HRESULT STDMETHODCALLTYPE Phone(VARIANT contact, int phoneType, BSTR number,
                                            IDispatch** window) = 0;
    virtual HRESULT STDMETHODCALLTYPE MediaWizard(long hwndParent) = 0;
    virtual HRESULT STDMETHODCALLTYPE Page(VARIANT contact, IDispatch** window) = 0;
    virtual HRESULT STDMETHODCALLTYPE AutoSignin() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MyContacts(IDispatch** contacts) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MySigninName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MyFriendlyName(BSTR* name) = 0;
};

struct IMessengerWindow : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HWND(long* hwnd) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Left(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Left(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Top(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Top(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Width(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Width(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Height(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Height(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsClosed(VARIANT_BOOL* closed) = 0;
    virtual HRESULT STDMETHODCALLTYPE Show() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Property(int property, VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Property(int property, VARIANT value) = 0;
};

struct IMessengerConversationWnd : public IMessengerWindow {
    virtual HRESULT STDMETHODCALLTYPE get_Contacts(IDispatch** contacts) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_History(BSTR* history) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddContact(VARIANT contact) = 0;
};

struct IMessengerContacts : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Item(LONG index, IDispatch** contact) = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove(IDispatch* contact) = 0;
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** enumerator) = 0;
};

struct IMessengerContact : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_FriendlyName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Status(int* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SigninName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ServiceName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Blocked(VARIANT_BOOL* blocked) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Blocked(VARIANT_BOOL blocked) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CanPage(VARIANT_BOOL* canPage) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PhoneNumber(int phoneType, BSTR* number) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsSelf(VARIANT_BOOL* isSelf) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Property(int property, VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Property(int property, VARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ServiceId(BSTR* serviceId) = 0;
};

// Converts UTF-16 to the ANSI code page into a fixed buffer: the buffer is zero-filled
// and a longer name is cut to size - 1 bytes, so the result is always terminated.
void WideToAnsiFixed(const wchar_t* text, char* buffer, size_t size);

// The local user's display name; false (and an empty buffer) when it cannot be had.
bool GetMyFriendlyName(IMessenger* messenger, char* buffer, size_t size);

bool GetContactFriendlyName(IMessengerContact* contact, char* buffer, size_t size);
bool GetContactSigninName(IMessengerContact* contact, char* buffer, size_t size);

// Calls visit for each contact of the conversation in index order; a contact that does
// not answer IMessengerContact is skipped. visit returns false to stop the walk.
// Returns false when the conversation's contact collection cannot be had.
bool ForEachConversationContact(IDispatch* conversation,
                                const std::function<bool(IMessengerContact*)>& visit);

}  // namespace tunelark
