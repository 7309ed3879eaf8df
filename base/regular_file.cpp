#include "base/regular_file.h"

#include <string>
#include <vector>

namespace tunelark {

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// "\\.\" is the device namespace (the system maps CON, COM1, NUL... there, even with an
// extension); "\\?\" is allowed only as the long form of a drive or UNC path.
bool InDeviceNamespace(const std::string& full) {
    if (StartsWith(full, "\\\\.\\")) return true;
    if (!StartsWith(full, "\\\\?\\")) return false;
    const std::string rest = full.substr(4);
    const bool drive = rest.size() >= 3 && rest[1] == ':' && rest[2] == '\\';
    return !drive && !StartsWith(rest, "UNC\\");
}

}  // namespace

bool IsRegularFilePath(const char* path) {
    if (!path || !*path) return false;
    const DWORD needed = GetFullPathNameA(path, 0, nullptr, nullptr);
    if (needed == 0) return false;
    std::vector<char> buffer(needed + 1, '\0');
    const DWORD length = GetFullPathNameA(path, static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size()) return false;
    if (InDeviceNamespace(std::string(buffer.data(), length))) return false;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(buffer.data(), GetFileExInfoStandard, &data)) return false;
    return (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

KernelHandle OpenRegularFileForReading(const char* path, DWORD shareMode) {
    if (!IsRegularFilePath(path)) return KernelHandle();
    KernelHandle file = AdoptFileHandle(CreateFileA(path, GENERIC_READ, shareMode, nullptr, OPEN_EXISTING,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    // The path may have been swapped for something else since it was looked at.
    if (file && GetFileType(file.get()) != FILE_TYPE_DISK) file.reset();
    return file;
}

}  // namespace tunelark
