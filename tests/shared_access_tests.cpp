// Sharing a key with Users: keys below it that the system did not pass the grant on to get
// it, marked inherited; those that have it, block inheritance or have no DACL keep theirs.
#include <windows.h>
#include <sddl.h>

#include <string>

#include "registry_fixture.h"
#include "settings/shared_access.h"

using namespace testsupport;

namespace {

const std::string Pack = std::string(DatabaseRoot) + "\\Pack";

// Wine reads "D:NO_ACCESS_CONTROL" as an empty DACL, which shuts everyone out.
void SetDacl(const std::string& path, const char* sddl) {
    SECURITY_DESCRIPTOR none;
    InitializeSecurityDescriptor(&none, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&none, TRUE, nullptr, FALSE);
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) << sddl;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    const bool open = std::string(sddl) == "D:NO_ACCESS_CONTROL";
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, open ? &none : sd), 0) << sddl;
    RegCloseKey(key);
    LocalFree(sd);
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
    EXPECT_EQ(KeyDacl(Pack), GetParam().after);
    EXPECT_NE(KeyDacl(DatabaseRoot).find("(A;CI;KA;;;BU)"), std::string::npos) << KeyDacl(DatabaseRoot);
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
