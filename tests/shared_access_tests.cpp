// Sharing a key with Users: keys below it that the system did not pass the grant on to get
// it, marked inherited; those that have it, block inheritance or have no DACL keep theirs.
#include <windows.h>
#include <sddl.h>

#include <string>

#include "registry_fixture.h"
#include "settings/shared_access.h"

using namespace testsupport;

namespace {

class SharedAccessTest : public RegistryTest {};

TEST_F(SharedAccessTest, PassesTheGrantOnWhereItIsMissing) {
    const std::string pack = std::string(DatabaseRoot) + "\\Pack";
    const struct { const char* before; const char* after; } cases[] = {
        {"D:(A;;KA;;;BA)", "D:(A;;KA;;;BA)(A;CIID;KA;;;BU)"},
        {"D:(A;CIIO;KA;;;BU)(A;;KA;;;BA)", "D:(A;CIIO;KA;;;BU)(A;;KA;;;BA)(A;CIID;KA;;;BU)"},  // passes on only
        {"D:(A;;KR;;;BU)", "D:(A;;KR;;;BU)(A;CIID;KA;;;BU)"},
        {"D:(A;;GA;;;BU)", "D:(A;;GA;;;BU)"},          // has it
        {"D:P(A;;KA;;;BA)", "D:P(A;;KA;;;BA)"},        // blocks inheritance
        {"D:NO_ACCESS_CONTROL", "D:NO_ACCESS_CONTROL"},  // open to all
    };
    for (const auto& c : cases) {
        ErasePluginKeys();
        // Wine reads "D:NO_ACCESS_CONTROL" as an empty DACL, which shuts everyone out.
        SECURITY_DESCRIPTOR open;
        InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(c.before, SDDL_REVISION_1, &sd, nullptr));
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, pack.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
        EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, c.before[2] == 'N' ? &open : sd), 0) << c.before;
        RegCloseKey(key);
        LocalFree(sd);
        ASSERT_EQ(tunelark::ShareKeyWithUsers(HKEY_LOCAL_MACHINE, DatabaseRoot), "");
        EXPECT_EQ(KeyDacl(pack), c.after);
        EXPECT_NE(KeyDacl(DatabaseRoot).find("(A;CI;KA;;;BU)"), std::string::npos) << KeyDacl(DatabaseRoot);
    }
}

}  // namespace
