// Prints the DACL of a key below HKEY_LOCAL_MACHINE (the 32-bit view, the plug-in's) in
// SDDL, for the setup tests to read the rights a setup gave:   dacl_probe SUBKEY
// Exit code 0 printed, 1 could not be read.
#include <cstdio>

#include "support/registry_values.h"

int main(int argc, char** argv) {
    const std::string dacl = argc == 2 ? testsupport::KeyDacl(argv[1]) : "";
    std::printf("%s\n", dacl.c_str());
    return dacl.empty() ? 1 : 0;
}
