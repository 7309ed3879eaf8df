#include "base/users_grant.h"

#include "base/module.h"
#include "base/unique_handle.h"

namespace tunelark {

namespace {

struct FreeLocal {
    void operator()(void* memory) const { LocalFree(memory); }
};
// What the security functions hand out with LocalAlloc.
template <typename T>
using LocalMemory = UniqueHandle<T, FreeLocal>;

std::vector<BYTE> UsersSid() {
    DWORD size = SECURITY_MAX_SID_SIZE;
    std::vector<BYTE> sid(size);
    if (!CreateWellKnownSid(WinBuiltinUsersSid, nullptr, sid.data(), &size)) sid.clear();
    return sid;
}

// An ACE allowing Users at least `rights` (GENERIC_ALL counts) and, unless `inheritance`
// is 0, passing them on as it says. With `onlyExplicit`, one the object got from its
// parent does not count. An ACE that only passes rights on never counts.
bool HasUsersAce(const ACL* dacl, const std::vector<BYTE>& users, DWORD rights, DWORD inheritance,
                 bool onlyExplicit) {
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(const_cast<ACL*>(dacl), i, &entry)) break;
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        const BYTE flags = ace->Header.AceFlags;
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || (flags & INHERIT_ONLY_ACE)) continue;
        if (onlyExplicit && (flags & INHERITED_ACE)) continue;
        if ((flags & inheritance) != inheritance) continue;
        if ((ace->Mask & rights) != rights && !(ace->Mask & GENERIC_ALL)) continue;
        if (EqualSid(const_cast<DWORD*>(&ace->SidStart), const_cast<BYTE*>(users.data()))) return true;
    }
    return false;
}

// Cuts the ACEs allowing Users more than `rights` down to them (one left with none of
// them goes), among those the object inherited or among its own. Whether any changed.
bool NarrowUsersAces(ACL* dacl, const std::vector<BYTE>& users, SE_OBJECT_TYPE type, DWORD rights, bool inherited) {
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    if (type == SE_REGISTRY_KEY) mapping = {KEY_READ, KEY_WRITE, KEY_EXECUTE, KEY_ALL_ACCESS};
    bool changed = false;
    // From the end, so that a deletion moves no ACE still to be seen.
    for (DWORD i = dacl->AceCount; i-- > 0;) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry)) continue;
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        if (((ace->Header.AceFlags & INHERITED_ACE) != 0) != inherited) continue;
        if (!EqualSid(&ace->SidStart, const_cast<BYTE*>(users.data()))) continue;
        DWORD mask = ace->Mask;
        MapGenericMask(&mask, &mapping);
        if (!(mask & ~rights)) continue;
        changed = true;
        if (mask & rights) ace->Mask = mask & rights;
        else DeleteAce(dacl, i);
    }
    return changed;
}

}  // namespace

std::string ErrorText(DWORD error) {
    if (error == ERROR_ACCESS_DENIED) return "access denied (not run as an administrator?)";
    return SystemErrorText(error);
}

std::string GrantUsers(HANDLE object, SE_OBJECT_TYPE type, DWORD rights, DWORD inheritance, bool narrow) {
    ACL* dacl = nullptr;
    LocalMemory<PSECURITY_DESCRIPTOR> sd;
    DWORD error = GetSecurityInfo(object, type, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                  sd.receive());
    if (error != ERROR_SUCCESS) return "its rights cannot be read: " + ErrorText(error);
    std::vector<BYTE> users = UsersSid();
    if (users.empty()) return "the Users group is unknown: " + ErrorText(GetLastError());
    // No DACL lets everyone do everything; a DACL of Users alone would lock the others out.
    if (!dacl) return std::string();
    const bool narrowed = narrow && NarrowUsersAces(dacl, users, type, rights, false);
    if (HasUsersAce(dacl, users, rights, inheritance, true)) {
        if (!narrowed) return std::string();
        error = SetSecurityInfo(object, type, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
        return error == ERROR_SUCCESS ? std::string() : "its rights cannot be changed: " + ErrorText(error);
    }

    EXPLICIT_ACCESSA grant{};
    grant.grfAccessPermissions = rights;
    grant.grfAccessMode = GRANT_ACCESS;
    grant.grfInheritance = inheritance;
    grant.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    grant.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    grant.Trustee.ptstrName = reinterpret_cast<char*>(users.data());
    LocalMemory<ACL*> merged;
    error = SetEntriesInAclA(1, &grant, dacl, merged.receive());
    if (error != ERROR_SUCCESS) return "the new rights cannot be made: " + ErrorText(error);
    // Without PROTECTED_ or UNPROTECTED_DACL_SECURITY_INFORMATION the object keeps what it
    // inherits as it is, and the system passes the new ACE on to existing children.
    error = SetSecurityInfo(object, type, DACL_SECURITY_INFORMATION, nullptr, nullptr, merged.get(), nullptr);
    if (error != ERROR_SUCCESS) return "its rights cannot be changed: " + ErrorText(error);
    return std::string();
}

PSECURITY_DESCRIPTOR DaclDescriptor::get() {
    InitializeSecurityDescriptor(&sd_, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd_, TRUE, reinterpret_cast<ACL*>(acl_.data()), FALSE);
    return &sd_;
}

ChildGrant InheritedUsersGrant(HANDLE child, SE_OBJECT_TYPE type, bool container, DWORD rights,
                               DWORD inheritance, bool narrow) {
    ChildGrant result;
    ACL* dacl = nullptr;
    LocalMemory<PSECURITY_DESCRIPTOR> sd;
    result.error =
        GetSecurityInfo(child, type, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, sd.receive());
    if (result.error != ERROR_SUCCESS || !dacl) return result;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(sd.get(), &control, &revision) || (control & SE_DACL_PROTECTED)) return result;
    result.passesOn = true;
    const std::vector<BYTE> users = UsersSid();
    if (users.empty()) return result;
    const bool narrowed = narrow && NarrowUsersAces(dacl, users, type, rights, true);
    const bool has = HasUsersAce(dacl, users, rights, 0, false);
    if (has && !narrowed) return result;

    // The child's ACEs in their order, then the parent's: inherited ACEs come last.
    const BYTE aceRevision = dacl->AclRevision;
    std::vector<BYTE> acl(dacl->AclSize + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(const_cast<BYTE*>(users.data())));
    auto* made = reinterpret_cast<ACL*>(acl.data());
    bool ok = InitializeAcl(made, static_cast<DWORD>(acl.size()), aceRevision);
    for (DWORD i = 0; ok && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ok = GetAce(dacl, i, &ace) && AddAce(made, aceRevision, MAXDWORD, ace, static_cast<ACE_HEADER*>(ace)->AceSize);
    }
    // As the system passes it on: a container keeps passing it down, a file just has it.
    const DWORD flags = INHERITED_ACE | (container ? inheritance : 0);
    if (!has) ok = ok && AddAccessAllowedAceEx(made, aceRevision, flags, rights, const_cast<BYTE*>(users.data()));
    if (!ok) result.error = GetLastError();
    else result.dacl = DaclDescriptor(std::move(acl));
    return result;
}

}  // namespace tunelark
