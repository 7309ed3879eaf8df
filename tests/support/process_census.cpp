#include "support/process_census.h"

#include <tlhelp32.h>
#include <winternl.h>

#include <vector>

namespace testsupport {

namespace {

// The layout the system handle list has had since NT 4, 32-bit.
struct HandleEntry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectTypeIndex;
    UCHAR attributes;
    USHORT handle;
    PVOID object;
    ULONG grantedAccess;
};
struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};
constexpr SYSTEM_INFORMATION_CLASS SystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
constexpr NTSTATUS InfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
constexpr OBJECT_INFORMATION_CLASS ObjectTypeInformation = static_cast<OBJECT_INFORMATION_CLASS>(2);

std::string TypeName(HANDLE handle) {
    alignas(8) char buffer[1024] = {};
    ULONG length = 0;
    if (NtQueryObject(handle, ObjectTypeInformation, buffer, sizeof buffer - 2, &length) != 0) return "?";
    const auto* name = reinterpret_cast<const UNICODE_STRING*>(buffer);
    std::string text;
    for (USHORT i = 0; i < name->Length / 2; ++i) text += static_cast<char>(name->Buffer[i]);
    return text;
}

void CountHandles(ProcessCensus& census) {
    std::vector<char> buffer(1 << 16);
    ULONG length = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(SystemHandleInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), &length)) == InfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0) {
        census.handles = -1;
        return;
    }
    const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
    const DWORD self = GetCurrentProcessId();
    for (ULONG i = 0; i < list->count; ++i) {
        const HandleEntry& entry = list->entries[i];
        if (entry.processId != self) continue;
        ++census.handles;
        ++census.handlesByType[TypeName(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(entry.handle)))];
    }
}

void CountThreads(ProcessCensus& census) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++census.threads;
    CloseHandle(snapshot);
}

void CountHeapBytes(ProcessCensus& census) {
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
    for (HANDLE heap : heaps) {
        if (!HeapLock(heap)) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heap, &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) census.heapBytes += entry.cbData;
        HeapUnlock(heap);
    }
}

}  // namespace

ProcessCensus TakeCensus() {
    ProcessCensus census;
    CountHandles(census);
    CountThreads(census);
    CountHeapBytes(census);
    return census;
}

bool Grew(const ProcessCensus& before, const ProcessCensus& after) {
    for (const auto& [type, count] : after.handlesByType) {
        const auto it = before.handlesByType.find(type);
        if (count > (it == before.handlesByType.end() ? 0 : it->second)) return true;
    }
    return false;
}

ProcessCensus SettledCensus(const ProcessCensus& before) {
    ProcessCensus after = TakeCensus();
    for (int look = 0; look < 10 && (Grew(before, after) || after.threads > before.threads); ++look) {
        Sleep(100);
        after = TakeCensus();
    }
    return after;
}

}  // namespace testsupport
