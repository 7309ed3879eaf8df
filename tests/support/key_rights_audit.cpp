#include "support/key_rights_audit.h"

#include <atomic>
#include <utility>

using OpenA = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
using OpenW = LONG(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
using CreateA = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD);
// This program's import slots, as the linker names them.
extern "C" OpenA importedOpenA __asm__("__imp__RegOpenKeyExA@20");
extern "C" OpenW importedOpenW __asm__("__imp__RegOpenKeyExW@20");
extern "C" CreateA importedCreateA __asm__("__imp__RegCreateKeyExA@36");

namespace testsupport {

namespace {

std::atomic<REGSAM> askedRights{0};
OpenA systemOpenA;
OpenW systemOpenW;
CreateA systemCreateA;

LONG WINAPI OpenKeyA(HKEY key, LPCSTR name, DWORD options, REGSAM access, PHKEY opened) {
    askedRights |= access;
    return systemOpenA(key, name, options, access, opened);
}
LONG WINAPI OpenKeyW(HKEY key, LPCWSTR name, DWORD options, REGSAM access, PHKEY opened) {
    askedRights |= access;
    return systemOpenW(key, name, options, access, opened);
}
LONG WINAPI CreateKeyA(HKEY key, LPCSTR name, DWORD reserved, LPSTR kind, DWORD options, REGSAM access,
                       LPSECURITY_ATTRIBUTES security, PHKEY created, LPDWORD disposition) {
    askedRights |= access;
    return systemCreateA(key, name, reserved, kind, options, access, security, created, disposition);
}

// Puts `function` into the slot and what was there into `function`.
template <typename Function>
void Exchange(Function& slot, Function& function) {
    DWORD was = 0;
    VirtualProtect(&slot, sizeof slot, PAGE_READWRITE, &was);
    std::swap(slot, function);
    VirtualProtect(&slot, sizeof slot, was, &was);
}

void ExchangeAll() {
    Exchange(importedOpenA, systemOpenA);
    Exchange(importedOpenW, systemOpenW);
    Exchange(importedCreateA, systemCreateA);
}

}  // namespace

KeyRightsAudit::KeyRightsAudit() {
    askedRights = 0;
    systemOpenA = OpenKeyA, systemOpenW = OpenKeyW, systemCreateA = CreateKeyA;
    ExchangeAll();
}

KeyRightsAudit::~KeyRightsAudit() {
    ExchangeAll();
}

REGSAM KeyRightsAudit::asked() const {
    return askedRights;
}

}  // namespace testsupport
