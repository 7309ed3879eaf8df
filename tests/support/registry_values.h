// The registry as the tests see it: the plug-in's keys written and read directly, with
// the raw Win32 calls, so that nothing here depends on the code under test.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

inline const char* const DatabaseRoot = "SOFTWARE\\vorquell_ software\\Tlx3\\Sounds";
inline const char* const OptionsRoot = "Software\\vorquell_ software\\Tunelark";
inline const char* const BlocklistRoot = "Software\\vorquell_ software\\Tunelark\\Blocklist";

// Removes every key of the plug-in, below both roots.
void ErasePluginKeys();

bool KeyExists(HKEY root, const char* path);
DWORD SubKeyCount(HKEY root, const std::string& path);
void CreateKey(HKEY root, const std::string& path);

// Raw value as stored: type and bytes.
struct RawValue {
    bool present = false;
    DWORD type = 0;
    std::string bytes;
};
RawValue ReadRaw(HKEY root, const char* path, const char* name);
// The value's first four bytes as a number (0 when absent).
int AsNumber(const RawValue& value);

// Writes create the key when needed; a failure is reported as a test failure.
void WriteRaw(HKEY root, const char* path, const char* name, DWORD type, const void* data, DWORD size);
void WriteText(HKEY root, const std::string& path, const char* name, const std::string& text);
void WriteNumber(HKEY root, const std::string& path, const char* name, int value);

// One Sound as it stands in the registry, below its pack.
void StoreSound(const std::string& pack, const std::string& indexText, const std::string& command,
                const std::string& filename, const std::string& message);
void SetOptionValue(const char* name, int value);
RawValue BlocklistValue(const char* contact);

// The DACL of a key below HKEY_LOCAL_MACHINE (the 32-bit view) in SDDL; "D:NO_ACCESS_CONTROL"
// for none, as Windows writes it (Wine writes "D:"); empty when it cannot be read.
std::string KeyDacl(const std::string& path);

}  // namespace testsupport
