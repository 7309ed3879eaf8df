// Per-contact allow/deny list. The list in memory holds only the names; each contact's
// allow flag is a REG_DWORD value under BlocklistKeyPath, read and written on every use.
#pragma once

#include <memory>
#include <string>

#include "base/owned_list.h"

namespace tunelark {

extern const char* const BlocklistKeyPath;  // below HKEY_CURRENT_USER

class BlocklistEntry {
public:
    BlocklistEntry() = default;
    ~BlocklistEntry() = default;
    BlocklistEntry(const BlocklistEntry&) = delete;
    BlocklistEntry& operator=(const BlocklistEntry&) = delete;

    BlocklistEntry* Next() const { return next_.get(); }
    std::string Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }

    // The stored flag (0 when absent): 1 allowed, 0 blocked; other values are kept as read.
    int IsAllowed() const;
    void SetAllowed(int flag) const;
    void WriteAllowed(const char* subKey, int flag) const;
    void RemoveValue(const char* subKey) const;

private:
    // Compares the names in place: a lookup may visit every entry.
    friend BlocklistEntry* FindBlocklistEntry(const std::string& name);
    std::unique_ptr<BlocklistEntry> next_;
    std::string name_;

public:
    using List = OwnedList<BlocklistEntry, &BlocklistEntry::next_>;
};

// Appends one entry per value name under HKEY_CURRENT_USER\subKey; keeps what is there.
void LoadBlocklist(const char* subKey);
// Empties the list; the registry is not touched.
void ClearBlocklist();
// First entry whose name equals name byte for byte (case-sensitive), or null.
BlocklistEntry* FindBlocklistEntry(const std::string& name);
BlocklistEntry* FirstBlocklistEntry();

// Links the entry at the tail and takes ownership. Answers the entry.
BlocklistEntry* AppendEntry(std::unique_ptr<BlocklistEntry> entry);
// Takes the entry out of the list and hands it back; empty when it was not in the
// list, which is then unchanged.
std::unique_ptr<BlocklistEntry> UnlinkEntry(BlocklistEntry* entry);

// New entry with the flag written to the registry, appended at the tail. Callers add
// only names that FindBlocklistEntry does not know.
BlocklistEntry* AddContact(const std::string& name, int flag);

}  // namespace tunelark
