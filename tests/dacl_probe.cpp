// Prints an object's DACL in SDDL, for the setup tests to check the rights a setup gave:
//   dacl_probe key SUBKEY    a key below HKEY_LOCAL_MACHINE (the 32-bit view, the plug-in's)
//   dacl_probe file PATH     a file or directory
// Exit code 0 printed, 1 could not be read, 2 bad arguments.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <string>

#include "settings/registry.h"

using namespace tunelark;

int main(int argc, char** argv) {
    const std::string kind = argc == 3 ? argv[1] : "";
    if (kind != "key" && kind != "file") {
        std::fprintf(stderr, "usage: dacl_probe key SUBKEY | file PATH\n");
        return 2;
    }
    PSECURITY_DESCRIPTOR sd = nullptr;
    DWORD error = ERROR_SUCCESS;
    if (kind == "key") {
        RegKey key = RegKey::Open(HKEY_LOCAL_MACHINE, argv[2], READ_CONTROL);
        error = key ? GetSecurityInfo(key.get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                      nullptr, nullptr, &sd)
                    : ERROR_FILE_NOT_FOUND;
    } else {
        error = GetNamedSecurityInfoA(argv[2], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                      nullptr, &sd);
    }
    char* sddl = nullptr;
    if (error == ERROR_SUCCESS &&
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl,
                                                              nullptr)) {
        error = GetLastError();
    }
    if (sd) LocalFree(sd);
    if (error != ERROR_SUCCESS) {
        std::fprintf(stderr, "%s: error %lu\n", argv[2], error);
        return 1;
    }
    std::printf("%s\n", sddl);
    LocalFree(sddl);
    return 0;
}
