// Sharing a key with Users: keys below it that the system did not pass the grant on to get
// it, marked inherited; those that have it, block inheritance or have no DACL keep theirs.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "registry_fixture.h"
#include "settings/shared_access.h"

using namespace testsupport;

namespace {

const std::string Pack = std::string(DatabaseRoot) + "\\Pack";

void SetDacl(const std::string& path, const char* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) << sddl;
    SECURITY_DESCRIPTOR none;  // Wine reads "NO_ACCESS_CONTROL" as an empty DACL, which shuts everyone out
    InitializeSecurityDescriptor(&none, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&none, TRUE, nullptr, FALSE);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    const bool noDacl = std::string(sddl) == "D:NO_ACCESS_CONTROL";
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, noDacl ? &none : sd), 0) << sddl;
    RegCloseKey(key);
    LocalFree(sd);
}

std::string Dacl(const std::string& path) {
    HKEY key = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ACL* dacl = nullptr;
    char* sddl = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, READ_CONTROL, &key) == 0 &&
        GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &sd) == 0)
        ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, nullptr);
    // Wine writes a missing DACL as "D:", like an empty one.
    const std::string text = sd && !dacl ? "D:NO_ACCESS_CONTROL" : sddl ? sddl : "unreadable";
    LocalFree(sddl);
    LocalFree(sd);
    if (key) RegCloseKey(key);
    return text;
}

struct Child {
    const char* name;
    const char* before;
    const char* after;
};
void PrintTo(const Child& c, std::ostream* os) { *os << c.before; }
class SharedAccessTest : public RegistryTest, public ::testing::WithParamInterface<Child> {};

TEST_P(SharedAccessTest, PassesTheGrantOnWhereItIsMissing) {
    SetDacl(Pack, GetParam().before);
    ASSERT_EQ(tunelark::ShareKeyWithUsers(HKEY_LOCAL_MACHINE, DatabaseRoot), "");
    EXPECT_EQ(Dacl(Pack), GetParam().after);
    EXPECT_NE(Dacl(DatabaseRoot).find("(A;CI;KA;;;BU)"), std::string::npos) << Dacl(DatabaseRoot);
}

INSTANTIATE_TEST_SUITE_P(Children, SharedAccessTest, ::testing::Values(
    Child{"Lacking", "D:(A;;KA;;;BA)", "D:(A;;KA;;;BA)(A;CIID;KA;;;BU)"},
    Child{"OnlyPassingOn", "D:(A;CIIO;KA;;;BU)(A;;KA;;;BA)", "D:(A;CIIO;KA;;;BU)(A;;KA;;;BA)(A;CIID;KA;;;BU)"},
    Child{"ReadOnly", "D:(A;;KR;;;BU)", "D:(A;;KR;;;BU)(A;CIID;KA;;;BU)"},
    Child{"HavingIt", "D:(A;;GA;;;BU)", "D:(A;;GA;;;BU)"},
    Child{"BlockingInheritance", "D:P(A;;KA;;;BA)", "D:P(A;;KA;;;BA)"},
    Child{"OpenToAll", "D:NO_ACCESS_CONTROL", "D:NO_ACCESS_CONTROL"}),
    [](const ::testing::TestParamInfo<Child>& info) { return std::string(info.param.name); });

}  // namespace
