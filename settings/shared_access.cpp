#include "settings/shared_access.h"

#include "base/users_grant.h"
#include "settings/registry.h"

namespace tunelark {

namespace {

// Reading, to walk the keys below (the system's own walk included), and changing the DACL.
constexpr REGSAM RightsAccess = KEY_READ | WRITE_DAC;

// All that changing the library takes: reading, writing values, creating and deleting keys.
// Not WRITE_DAC or WRITE_OWNER, with which one user could lock every other out, nor
// KEY_CREATE_LINK.
constexpr DWORD UsersRights = KEY_READ | KEY_WRITE | DELETE;

// Windows passes the grant on to the keys below already; Wine does not. So each key gets
// the ACE it would have inherited wherever it lacks one, marked inherited as if passed on,
// and a wider one it was given so before is cut down (on Windows none lacks it or has a
// wider one, and nothing is written).
std::string PassOn(HKEY parent, const std::string& path) {
    for (DWORD i = 0;; ++i) {
        std::string name;
        const RegResult enumerated = EnumRegSubKey(parent, i, name);
        if (enumerated == ERROR_NO_MORE_ITEMS) return std::string();
        if (enumerated != ERROR_SUCCESS) return path + ": " + ErrorText(enumerated);
        const std::string childPath = path + "\\" + name;
        RegKey child;
        const LONG opened = RegOpenKeyExA(parent, name.c_str(), 0, RightsAccess, child.receive());
        if (opened != ERROR_SUCCESS) {
            child.release();
            return childPath + ": " + ErrorText(opened);
        }
        ChildGrant grant = InheritedUsersGrant(child.get(), SE_REGISTRY_KEY, true, UsersRights, CONTAINER_INHERIT_ACE, true);
        if (grant.error != ERROR_SUCCESS) return childPath + ": " + ErrorText(grant.error);
        if (!grant.dacl.empty()) {
            const LONG set = RegSetKeySecurity(child.get(), DACL_SECURITY_INFORMATION, grant.dacl.get());
            if (set != ERROR_SUCCESS) return childPath + ": " + ErrorText(set);
        }
        if (grant.passesOn) {
            std::string problem = PassOn(child.get(), childPath);
            if (!problem.empty()) return problem;
        }
    }
}

}  // namespace

std::string ShareKeyWithUsers(HKEY root, const char* subKey) {
    RegKey key;
    const LONG created = RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, RightsAccess, nullptr,
                                         key.receive(), nullptr);
    if (created != ERROR_SUCCESS) {
        key.release();
        return std::string(subKey) + ": " + ErrorText(created);
    }
    std::string problem = GrantUsers(key.get(), SE_REGISTRY_KEY, UsersRights, CONTAINER_INHERIT_ACE, true);
    return problem.empty() ? PassOn(key.get(), subKey) : std::string(subKey) + ": " + problem;
}

}  // namespace tunelark
