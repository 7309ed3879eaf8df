// Singly linked list that owns its records through unique_ptr: the shape of the sound
// database, the blocklist and the worker's job list. It keeps a pointer to its tail so
// that appending does not walk the list; `Next` is the member that links a record to
// the following one, and only the list changes it.
#pragma once

#include <memory>

namespace tunelark {

template <typename Record, std::unique_ptr<Record> Record::*Next>
class OwnedList {
public:
    OwnedList() = default;
    ~OwnedList() { Clear(); }
    OwnedList(const OwnedList&) = delete;
    OwnedList& operator=(const OwnedList&) = delete;

    Record* Head() const { return head_.get(); }
    Record* Tail() const { return tail_; }

    // Links the record in at the tail, cutting off whatever it still pointed to.
    // Answers the record.
    Record* Append(std::unique_ptr<Record> record) {
        if (!record) return nullptr;
        FreeChain((*record).*Next);
        Record* added = record.get();
        std::unique_ptr<Record>& link = tail_ ? (*tail_).*Next : head_;
        link = std::move(record);
        tail_ = added;
        return added;
    }

    // Takes the record out and hands it back with its link cleared; empty (and the list
    // unchanged) when it is not in the list.
    std::unique_ptr<Record> Unlink(const Record* record) {
        if (!record) return nullptr;
        Record* previous = nullptr;
        for (std::unique_ptr<Record>* link = &head_; *link; link = &((**link).*Next)) {
            if (link->get() == record) {
                std::unique_ptr<Record> removed = std::move(*link);
                *link = std::move((*removed).*Next);
                if (tail_ == record) tail_ = previous;
                return removed;
            }
            previous = link->get();
        }
        return nullptr;
    }

    // The first record, unlinked; empty when the list is.
    std::unique_ptr<Record> TakeHead() {
        std::unique_ptr<Record> first = std::move(head_);
        if (first) head_ = std::move((*first).*Next);
        if (!head_) tail_ = nullptr;
        return first;
    }

    // Frees the records one at a time, so a long list does not recurse through the
    // records' destructors.
    void Clear() {
        FreeChain(head_);
        tail_ = nullptr;
    }

private:
    static void FreeChain(std::unique_ptr<Record>& first) {
        while (first) first = std::move((*first).*Next);
    }

    std::unique_ptr<Record> head_;
    Record* tail_ = nullptr;
};

}  // namespace tunelark
