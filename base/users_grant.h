// Rights of the local Users group (S-1-5-32-545) on objects every user of a machine
// shares: an administrator grants them, so that a standard user may change the objects
// too. Works on handles of any kind the security functions know (files, directories,
// registry keys); reading and writing those objects is their owners' business.
#pragma once

#include <windows.h>
#include <aclapi.h>

#include <string>
#include <vector>

namespace tunelark {

// What a failed Win32 call means, in words: the system's message, and for "access
// denied" the likely cause.
std::string ErrorText(DWORD error);

// Gives Users `rights` on the object by an explicit ACE that passes on to children as
// `inheritance` says (CONTAINER_INHERIT_ACE, OBJECT_INHERIT_ACE), unless the DACL holds
// such an ACE already. With `narrow`, the object's own ACEs for Users that allow more
// than `rights` (generic rights mapped as for `type`) are cut down to them first: a wider
// grant made before is replaced, not kept beside the new one. The handle needs
// READ_CONTROL and WRITE_DAC. Windows passes the new DACL on to the children the object
// has. Empty when done, otherwise why not.
std::string GrantUsers(HANDLE object, SE_OBJECT_TYPE type, DWORD rights, DWORD inheritance, bool narrow = false);

// A descriptor carrying only a DACL, for the plain writers (RegSetKeySecurity,
// SetKernelObjectSecurity), which store the DACL as it is given.
class DaclDescriptor {
public:
    DaclDescriptor() = default;
    explicit DaclDescriptor(std::vector<BYTE> acl) : acl_(std::move(acl)) {}
    bool empty() const { return acl_.empty(); }
    PSECURITY_DESCRIPTOR get();

private:
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR sd_{};
};

// What a child of an object that GrantUsers shared needs where the system did not pass
// the grant on.
struct ChildGrant {
    // The child's DACL with Users' ACE appended, marked inherited, as if it had come from
    // the parent (and, with `narrow`, the ACEs it inherited cut down as GrantUsers cut the
    // parent's); empty when nothing is to change.
    DaclDescriptor dacl;
    // Whether the grant reaches the child's own children through it. Not when the child
    // blocks inheritance (an administrator chose its rights) or has no DACL (everyone may
    // do everything): it gets nothing then, and neither do they.
    bool passesOn = false;
    DWORD error = ERROR_SUCCESS;  // the child's rights could not be read
};
// `child` is a handle with READ_CONTROL; `rights`, `inheritance` and `narrow` are the
// parent's. The child's own (explicit) ACEs are an administrator's, and stay.
ChildGrant InheritedUsersGrant(HANDLE child, SE_OBJECT_TYPE type, bool container, DWORD rights,
                               DWORD inheritance, bool narrow = false);

}  // namespace tunelark
