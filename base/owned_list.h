// Singly linked lists that own their records through unique_ptr, walked from a head
// along a `next` member: the shape of the sound database, the blocklist and the
// worker's job list. `next` is the member pointer of the record's link.
#pragma once

#include <memory>

namespace tunelark {

// Walks to the tail and appends; the record's own link is cleared first.
template <typename Record>
Record* AppendOwned(std::unique_ptr<Record>& head, std::unique_ptr<Record> record,
                    std::unique_ptr<Record> Record::*next) {
    if (!record) return nullptr;
    ((*record).*next).reset();
    std::unique_ptr<Record>* link = &head;
    while (*link) link = &((**link).*next);
    *link = std::move(record);
    return link->get();
}

// Takes the record out and hands it back; empty (and the list unchanged) when it is
// not in the list.
template <typename Record>
std::unique_ptr<Record> UnlinkOwned(std::unique_ptr<Record>& head, const Record* record,
                                    std::unique_ptr<Record> Record::*next) {
    for (std::unique_ptr<Record>* link = &head; *link; link = &((**link).*next)) {
        if (link->get() == record) {
            std::unique_ptr<Record> removed = std::move(*link);
            *link = std::move((*removed).*next);
            return removed;
        }
    }
    return nullptr;
}

// Frees the records one at a time, so a long list does not recurse through destructors.
template <typename Record>
void FreeOwned(std::unique_ptr<Record>& head, std::unique_ptr<Record> Record::*next) {
    while (head) head = std::move((*head).*next);
}

}  // namespace tunelark
