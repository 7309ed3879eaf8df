#include "support/sound_files.h"

#include <windows.h>

namespace testsupport {

std::string ProgramDir() {
    char exe[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string path(exe, n < MAX_PATH ? n : 0);
    return path.substr(0, path.find_last_of("\\/") + 1);
}

std::string SoundPath(const std::string& name) {
    return ProgramDir() + "sounds\\" + name;
}

}  // namespace testsupport
