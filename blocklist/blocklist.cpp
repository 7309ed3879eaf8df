#include "blocklist/blocklist.h"

#include <windows.h>

#include <cstring>

#include "settings/registry.h"

namespace tunelark {

const char* const BlocklistKeyPath = "Software\\vorquell_ software\\Tunelark\\Blocklist";

namespace {

constexpr DWORD NameBufferSize = 1024;

BlocklistEntry::List& Blocklist() {
    static BlocklistEntry::List list;
    return list;
}

}  // namespace

int BlocklistEntry::IsAllowed() const {
    int flag = 0;
    ReadRegDword(HKEY_CURRENT_USER, BlocklistKeyPath, name_.c_str(), flag);
    return flag;
}

void BlocklistEntry::SetAllowed(int flag) const {
    WriteAllowed(BlocklistKeyPath, flag);
}

void BlocklistEntry::WriteAllowed(const char* subKey, int flag) const {
    WriteRegDword(HKEY_CURRENT_USER, subKey, name_.c_str(), flag);
}

void BlocklistEntry::RemoveValue(const char* subKey) const {
    DeleteRegValue(HKEY_CURRENT_USER, subKey, name_.c_str());
}

void LoadBlocklist(const char* subKey) {
    RegKey key = RegKey::Open(HKEY_CURRENT_USER, subKey, KEY_QUERY_VALUE);
    if (!key) return;
    for (DWORD i = 0;; ++i) {
        char name[NameBufferSize] = {};
        DWORD length = sizeof name;
        // The data is never used, so it is not fetched: its size cannot fail the call.
        const LONG result = RegEnumValueA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA) continue;  // name too long for the buffer: no usable name
        if (result != ERROR_SUCCESS) break;       // the end, or a key that can no longer be read
        auto entry = std::make_unique<BlocklistEntry>();
        entry->SetName(std::string(name, strnlen(name, sizeof name)));
        AppendEntry(std::move(entry));
    }
}

void ClearBlocklist() {
    Blocklist().Clear();
}

BlocklistEntry* FindBlocklistEntry(const std::string& name) {
    for (BlocklistEntry* entry = FirstBlocklistEntry(); entry; entry = entry->Next()) {
        if (entry->name_ == name) return entry;
    }
    return nullptr;
}

BlocklistEntry* FirstBlocklistEntry() {
    return Blocklist().Head();
}

BlocklistEntry* AppendEntry(std::unique_ptr<BlocklistEntry> entry) {
    return Blocklist().Append(std::move(entry));
}

std::unique_ptr<BlocklistEntry> UnlinkEntry(BlocklistEntry* entry) {
    return Blocklist().Unlink(entry);
}

BlocklistEntry* AddContact(const std::string& name, int flag) {
    auto entry = std::make_unique<BlocklistEntry>();
    entry->SetName(name);
    entry->WriteAllowed(BlocklistKeyPath, flag);
    return AppendEntry(std::move(entry));
}

}  // namespace tunelark
