#include "settings/registry.h"

#include <shlwapi.h>

#include <cstring>
#include <vector>

namespace tunelark {

RegKey RegKey::Open(HKEY root, const char* subKey, REGSAM access) {
    RegKey key;
    if (RegOpenKeyExA(root, subKey, 0, access, key.receive()) != ERROR_SUCCESS) key.release();
    return key;
}

RegKey RegKey::Create(HKEY root, const char* subKey) {
    RegKey key;
    if (RegCreateKeyExA(root, subKey ? subKey : "", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, key.receive(), nullptr) != ERROR_SUCCESS) {
        key.release();
    }
    return key;
}

namespace {

bool IsTextType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Queries into a scratch buffer first so that a failed or oversized read can never
// leave half-written data in the caller's buffer.
bool QueryOpenKey(HKEY key, const char* valueName, DWORD capacity, std::vector<BYTE>& out, DWORD& type) {
    out.assign(capacity ? capacity : 1, 0);
    DWORD size = capacity;
    if (RegQueryValueExA(key, valueName, nullptr, &type, out.data(), &size) != ERROR_SUCCESS) return false;
    out.resize(size);
    return true;
}

bool QueryValue(HKEY root, const char* subKey, const char* valueName, DWORD capacity,
                std::vector<BYTE>& out, DWORD& type) {
    RegKey key = RegKey::Open(root, subKey, KEY_QUERY_VALUE);
    return key && QueryOpenKey(key.get(), valueName, capacity, out, type);
}

// What a read through a buffer of `size` bytes would put there, or false when the
// buffer must stay unchanged.
bool ReadThroughBuffer(HKEY key, const char* valueName, DWORD size, std::vector<BYTE>& bytes) {
    DWORD type = REG_NONE;
    if (!QueryOpenKey(key, valueName, size, bytes, type)) return false;
    if (IsTextType(type) && (bytes.empty() || bytes.back() != 0)) {
        // Stored without its terminator: add one if it fits, otherwise the text is
        // longer than the buffer can hold.
        if (bytes.size() >= size) return false;
        bytes.push_back(0);
    }
    return true;
}

bool ReadThroughBuffer(HKEY root, const char* subKey, const char* valueName, DWORD size,
                       std::vector<BYTE>& bytes) {
    RegKey key = RegKey::Open(root, subKey, KEY_QUERY_VALUE);
    return key && ReadThroughBuffer(key.get(), valueName, size, bytes);
}

std::string TextOf(const std::vector<BYTE>& bytes) {
    const char* text = reinterpret_cast<const char*>(bytes.data());
    return std::string(text, strnlen(text, bytes.size()));
}

}  // namespace

void ReadRegData(HKEY root, const char* subKey, const char* valueName, void* data, DWORD size) {
    if (!data || size == 0) return;
    std::vector<BYTE> bytes;
    if (ReadThroughBuffer(root, subKey, valueName, size, bytes))
        std::memcpy(data, bytes.data(), bytes.size());
}

void ReadRegDword(HKEY root, const char* subKey, const char* valueName, int& value) {
    std::vector<BYTE> bytes;
    DWORD type = REG_NONE;
    if (!QueryValue(root, subKey, valueName, sizeof(value), bytes, type)) return;
    std::memcpy(&value, bytes.data(), bytes.size());
}

std::string ReadRegString(HKEY root, const char* subKey, const char* valueName,
                          DWORD bufferSize, const std::string& fallback) {
    std::vector<BYTE> bytes;
    if (bufferSize == 0 || !ReadThroughBuffer(root, subKey, valueName, bufferSize, bytes))
        return fallback;
    return TextOf(bytes);
}

std::string ReadRegStringFromKey(HKEY key, const char* valueName, DWORD bufferSize,
                                 const std::string& fallback) {
    std::vector<BYTE> bytes;
    if (!key || bufferSize == 0 || !ReadThroughBuffer(key, valueName, bufferSize, bytes)) return fallback;
    return TextOf(bytes);
}

void WriteRegString(HKEY root, const char* subKey, const char* valueName, const char* text) {
    RegKey key = RegKey::Create(root, subKey);
    if (!key) return;
    const char* value = text ? text : "";
    RegSetValueExA(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   static_cast<DWORD>(std::strlen(value) + 1));
}

void WriteRegDword(HKEY root, const char* subKey, const char* valueName, int value) {
    RegKey key = RegKey::Create(root, subKey);
    if (!key) return;
    DWORD data = static_cast<DWORD>(value);
    RegSetValueExA(key.get(), valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                   sizeof(data));
}

void CreateRegKey(HKEY root, const char* subKey) {
    RegKey::Create(root, subKey);
}

void DeleteRegKeyTree(HKEY root, const char* subKey) {
    if (!subKey || subKey[0] == '\0') return;
    if (std::strcmp(subKey, "\\") == 0 || std::strcmp(subKey, "/") == 0) return;
    SHDeleteKeyA(root, subKey);
}

void DeleteRegValue(HKEY root, const char* subKey, const char* valueName) {
    if (!subKey) {
        RegDeleteValueA(root, valueName);
        return;
    }
    RegKey key = RegKey::Create(root, subKey);
    if (key) RegDeleteValueA(key.get(), valueName);
}

}  // namespace tunelark
