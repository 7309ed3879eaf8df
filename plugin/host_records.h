// Records whose layout belongs to the host's ABI. Offsets are fixed by the host and
// checked below; never reorder or resize these.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <cstdint>

namespace tunelark {

constexpr int HostMaxCommands = 50;
constexpr size_t HostCaptionSize = 128;
constexpr size_t HostCommandNameSize = 128;
constexpr size_t HostHintSize = 256;

#pragma pack(push, 1)
struct HostCommandTable {
    int32_t count;
    char captions[HostMaxCommands][HostCaptionSize];
    char commandNames[HostMaxCommands][HostCommandNameSize];
    char hints[HostMaxCommands][HostHintSize];
};

// The sender name runs on inline for as long as the host makes it; its length is the
// host's business, so only the first byte is declared.
struct HostCallContext {
    IDispatch* conversation;
    char senderName[1];
};

struct HostToastRecord {
    const void* caption;
    const void* text;
    void* passThrough;
    uint32_t flag;
    uint32_t reserved;
};
#pragma pack(pop)

static_assert(offsetof(HostCommandTable, captions) == 4);
static_assert(offsetof(HostCommandTable, commandNames) == 6404);
static_assert(offsetof(HostCommandTable, hints) == 12804);
static_assert(offsetof(HostCallContext, senderName) == 4);
static_assert(sizeof(HostToastRecord) == 20);

}  // namespace tunelark
