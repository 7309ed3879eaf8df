#include "base/regular_file.h"

#include <cctype>
#include <mutex>
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

// The path made full, or empty.
std::string FullPath(const char* path) {
    if (!path || !*path) return std::string();
    const DWORD needed = GetFullPathNameA(path, 0, nullptr, nullptr);
    if (needed == 0) return std::string();
    std::vector<char> buffer(needed + 1, '\0');
    const DWORD length = GetFullPathNameA(path, static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size()) return std::string();
    return std::string(buffer.data(), length);
}

// GetDriveType opens the drive's root: half a millisecond of the host's thread under
// Wine, and on Windows a wait on a share that is gone. A drive's type is that of the
// device its letter names, which is cheap to read, so the type is asked once per device
// a letter names and again as soon as the letter names another (mapped, unmapped).
UINT DriveTypeOf(char letter) {
    const char root[] = {letter, ':', '\\', '\0'};
    char device[1024];
    if (!QueryDosDeviceA(std::string{letter, ':'}.c_str(), device, sizeof device) || !device[0])
        return GetDriveTypeA(root);
    static std::mutex lock;
    static std::string devices[26];
    static UINT types[26];
    const int slot = std::toupper(static_cast<unsigned char>(letter)) - 'A';
    if (slot < 0 || slot >= 26) return GetDriveTypeA(root);
    {
        std::lock_guard guard(lock);
        if (devices[slot] == device) return types[slot];
    }
    const UINT type = GetDriveTypeA(root);
    std::lock_guard guard(lock);
    devices[slot] = device;
    types[slot] = type;
    return type;
}

}  // namespace

bool IsNetworkPath(const char* path) {
    std::string full = FullPath(path);
    for (char& c : full)
        if (c == '/') c = '\\';
    if (StartsWith(full, "\\\\?\\UNC\\") || StartsWith(full, "\\\\.\\UNC\\")) return true;
    if (StartsWith(full, "\\\\?\\")) full = full.substr(4);
    else if (StartsWith(full, "\\\\.\\")) return false;  // a device, never a share
    else if (StartsWith(full, "\\\\")) return true;
    if (full.size() < 2 || full[1] != ':') return false;
    return DriveTypeOf(full[0]) == DRIVE_REMOTE;
}

namespace {

DWORD Checked(BOOL done, const char* path) {
    if (!done) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

}  // namespace

DWORD DeleteFileChecked(const char* path) {
    return Checked(DeleteFileA(path), path);
}

DWORD RemoveDirectoryChecked(const char* path) {
    return Checked(RemoveDirectoryA(path), path);
}

bool IsRegularFilePath(const char* path) {
    const std::string full = FullPath(path);
    if (full.empty() || InDeviceNamespace(full)) return false;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(full.c_str(), GetFileExInfoStandard, &data)) return false;
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
