#include "settings/registry.h"

#include "base/ansi_text.h"

#include <cstring>
#include <vector>

namespace tunelark {

RegKey RegKey::Open(HKEY root, const char* subKey, REGSAM access) {
    RegKey key;
    if (RegOpenKeyExA(root, subKey, 0, access, key.receive()) != ERROR_SUCCESS) key.release();
    return key;
}

RegKey RegKey::Create(HKEY root, const char* subKey, REGSAM access) {
    RegKey key;
    if (RegCreateKeyExA(root, subKey ? subKey : "", 0, nullptr, REG_OPTION_NON_VOLATILE, access,
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
    ReadRegDwordFromKey(RegKey::Open(root, subKey, KEY_QUERY_VALUE).get(), valueName, value);
}

void ReadRegDwordFromKey(HKEY key, const char* valueName, int& value) {
    std::vector<BYTE> bytes;
    DWORD type = REG_NONE;
    if (!key || !QueryOpenKey(key, valueName, sizeof(value), bytes, type)) return;
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

RegResult EnumRegSubKey(HKEY key, DWORD i, std::string& name) {
    char buffer[1024] = {};
    DWORD length = sizeof buffer;
    const RegResult result = RegEnumKeyExA(key, i, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_SUCCESS) name.assign(buffer, strnlen(buffer, sizeof buffer));
    return result;
}

namespace {

RegWriteFilter& WriteFilter() {
    static RegWriteFilter filter;
    return filter;
}

RegResult Filtered(RegWrite what, const char* subKey, const char* valueName = nullptr) {
    const RegWriteFilter& filter = WriteFilter();
    return filter ? filter(what, subKey ? subKey : "", valueName) : ERROR_SUCCESS;
}

// Setting and deleting values is all any caller does with the key it opens or creates.
RegResult CreateKey(HKEY root, const char* subKey, RegKey& key) {
    if (const RegResult refused = Filtered(RegWrite::CreateKey, subKey)) return refused;
    return RegCreateKeyExA(root, subKey ? subKey : "", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                           nullptr, key.receive(), nullptr);
}

RegResult SetValue(HKEY root, const char* subKey, const char* valueName, DWORD type, const void* data,
                   DWORD size) {
    RegKey key;
    if (const RegResult refused = CreateKey(root, subKey, key)) return refused;
    if (const RegResult refused = Filtered(RegWrite::SetValue, subKey, valueName)) return refused;
    return RegSetValueExA(key.get(), valueName, 0, type, static_cast<const BYTE*>(data), size);
}

bool IsGone(RegResult result) {
    return result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND;
}

// SHDeleteKey documents no rights it asks for; this walk asks for KEY_ENUMERATE_SUB_KEYS
// and DELETE alone, which a user granted the right to delete keys has. The keys below are
// named as the registry spells them (wide), so no name is lost to the code page.
RegResult DeleteTree(HKEY parent, const wchar_t* subKey) {
    RegKey key;
    RegResult result = RegOpenKeyExW(parent, subKey, 0, KEY_ENUMERATE_SUB_KEYS, key.receive());
    if (result != ERROR_SUCCESS) {
        key.release();
        return result;
    }
    wchar_t child[256];  // the longest key name and its terminator
    DWORD i = 0;
    for (DWORD length = 256; (result = RegEnumKeyExW(key.get(), i, child, &length, nullptr, nullptr, nullptr,
                                                      nullptr)) == ERROR_SUCCESS;
         length = 256) {
        result = DeleteTree(key.get(), child);
        // Gone already (deleted meanwhile): passed by, so that the walk always ends.
        if (IsGone(result)) ++i;
        else if (result != ERROR_SUCCESS) return result;
    }
    if (result != ERROR_NO_MORE_ITEMS) return result;
    key.reset();
    return RegDeleteKeyW(parent, subKey);
}

}  // namespace

RegResult WriteRegString(HKEY root, const char* subKey, const char* valueName, const char* text) {
    const char* value = text ? text : "";
    return SetValue(root, subKey, valueName, REG_SZ, value, static_cast<DWORD>(std::strlen(value) + 1));
}

RegResult WriteRegDword(HKEY root, const char* subKey, const char* valueName, int value) {
    const DWORD data = static_cast<DWORD>(value);
    return SetValue(root, subKey, valueName, REG_DWORD, &data, sizeof(data));
}

RegResult CreateRegKey(HKEY root, const char* subKey) {
    RegKey key;
    return CreateKey(root, subKey, key);
}

RegResult DeleteRegKeyTree(HKEY root, const char* subKey) {
    if (!subKey || subKey[0] == '\0') return ERROR_INVALID_PARAMETER;
    if (std::strcmp(subKey, "\\") == 0 || std::strcmp(subKey, "/") == 0) return ERROR_INVALID_PARAMETER;
    if (const RegResult refused = Filtered(RegWrite::DeleteKey, subKey)) return refused;
    std::wstring wide(std::strlen(subKey) + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, subKey, -1, wide.data(), static_cast<int>(wide.size())));
    if (wide.empty()) return static_cast<RegResult>(GetLastError());
    const RegResult result = DeleteTree(root, wide.c_str());
    return IsGone(result) ? ERROR_SUCCESS : result;
}

RegResult DeleteRegValue(HKEY root, const char* subKey, const char* valueName) {
    RegResult result = ERROR_SUCCESS;
    if (!subKey) {
        if (const RegResult refused = Filtered(RegWrite::DeleteValue, "", valueName)) return refused;
        result = RegDeleteValueA(root, valueName);
    } else {
        RegKey key;
        if (const RegResult refused = CreateKey(root, subKey, key)) return refused;
        if (const RegResult refused = Filtered(RegWrite::DeleteValue, subKey, valueName)) return refused;
        result = RegDeleteValueA(key.get(), valueName);
    }
    return IsGone(result) ? ERROR_SUCCESS : result;
}

RegResult ProbeRegAccess(HKEY root, const char* subKey, REGSAM access) {
    std::string path = subKey ? subKey : "";
    for (;;) {
        HKEY key = nullptr;
        const RegResult result = RegOpenKeyExA(root, path.c_str(), 0, access, &key);
        if (result == ERROR_SUCCESS) RegCloseKey(key);
        // Only a refusal of rights answers for the key; a key that is not there, or whose
        // name the system will not take, is answered for by the key above it.
        if (result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED || path.empty()) return result;
        const size_t cut = SystemCodePage().FindLastOf(path, "\\");
        path.resize(cut == std::string::npos ? 0 : cut);
    }
}

void SetRegWriteFilter(RegWriteFilter filter) {
    WriteFilter() = std::move(filter);
}

}  // namespace tunelark
