// Prints the DACL of a key below HKEY_LOCAL_MACHINE (the 32-bit view, the plug-in's) in
// SDDL, for the setup tests to read the rights a setup gave:   dacl_probe SUBKEY
// or gives keys DACLs, as an earlier setup left them:   dacl_probe --set SDDL SUBKEY [SDDL SUBKEY...]
// Exit code 0 done, 1 could not be read or set.
#include <cstdio>
#include <cstring>

#include "support/registry_values.h"

int main(int argc, char** argv) {
    if (argc > 3 && argc % 2 == 0 && std::strcmp(argv[1], "--set") == 0) {
        for (int i = 2; i < argc; i += 2)
            if (!testsupport::SetKeyDacl(argv[i + 1], argv[i])) return 1;
        return 0;
    }
    const std::string dacl = argc == 2 ? testsupport::KeyDacl(argv[1]) : "";
    std::printf("%s\n", dacl.c_str());
    return dacl.empty() ? 1 : 0;
}
