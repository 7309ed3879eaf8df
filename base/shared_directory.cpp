#include "base/shared_directory.h"

#include "base/ansi_text.h"

#include "base/kernel_handle.h"
#include "base/users_grant.h"

namespace tunelark {

namespace {

// "Modify" in Windows' own dialogs.
constexpr DWORD Modify = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
// For the files in it and the directories below it.
constexpr DWORD PassedOn = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

struct CloseFind {
    void operator()(HANDLE find) const { FindClose(find); }
};

// The object itself, a link included: the rights of a link's target are not ours to give.
// With `listing`, the system can walk the directory's contents through the handle to pass
// a grant on. No data access otherwise, so a file open without sharing is no obstacle.
KernelHandle OpenForRights(const std::string& path, bool listing) {
    const DWORD list = listing ? FILE_LIST_DIRECTORY | SYNCHRONIZE : 0;
    return AdoptFileHandle(CreateFileA(path.c_str(), READ_CONTROL | WRITE_DAC | list,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Windows passes the grant on to what the directory holds already; Wine does not. So each
// entry gets the ACE it would have inherited wherever it lacks one, marked inherited as if
// passed on (on Windows none lacks it, and nothing is written).
std::string PassOn(const std::string& directory) {
    WIN32_FIND_DATAA entry;
    HANDLE first = FindFirstFileA((directory + "\\*").c_str(), &entry);
    if (first == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? std::string() : directory + ": " + ErrorText(error);
    }
    UniqueHandle<HANDLE, CloseFind> find(first);
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = directory + "\\" + name;
        const bool container = entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        KernelHandle object = OpenForRights(path, false);
        if (!object) return path + ": " + ErrorText(GetLastError());
        ChildGrant grant = InheritedUsersGrant(object.get(), SE_FILE_OBJECT, container, Modify, PassedOn);
        if (grant.error != ERROR_SUCCESS) return path + ": " + ErrorText(grant.error);
        if (!grant.dacl.empty() && !SetKernelObjectSecurity(object.get(), DACL_SECURITY_INFORMATION, grant.dacl.get()))
            return path + ": " + ErrorText(GetLastError());
        if (container && grant.passesOn && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            std::string problem = PassOn(path);
            if (!problem.empty()) return problem;
        }
    } while (FindNextFileA(find.get(), &entry));
    return std::string();
}

}  // namespace

std::string ShareDirectoryWithUsers(const std::string& path) {
    std::string directory = path;
    const CodePage& page = SystemCodePage();
    while (directory.size() > 1 && (page.EndsWith(directory, '\\') || page.EndsWith(directory, '/'))) directory.pop_back();
    if (!CreateDirectoryA(directory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return directory + " cannot be created: " + ErrorText(GetLastError());
    KernelHandle handle = OpenForRights(directory, true);
    if (!handle) return directory + ": " + ErrorText(GetLastError());
    std::string problem = GrantUsers(handle.get(), SE_FILE_OBJECT, Modify, PassedOn);
    return problem.empty() ? PassOn(directory) : directory + ": " + problem;
}

}  // namespace tunelark
