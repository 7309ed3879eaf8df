// Registry access used by every persistent part of the plug-in. A failed read leaves the
// caller's default in place; a write or deletion answers ERROR_SUCCESS or the system's
// reason it was refused, for the callers that tell the user.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "base/unique_handle.h"

namespace tunelark {

struct CloseRegKey {
    void operator()(HKEY key) const { RegCloseKey(key); }
};

// Owns an open registry key.
class RegKey : public UniqueHandle<HKEY, CloseRegKey> {
public:
    using UniqueHandle::UniqueHandle;

    // Opens root\subKey with the given rights; an empty handle when it cannot.
    static RegKey Open(HKEY root, const char* subKey, REGSAM access);
    // Opens or creates root\subKey (and its missing parents) with the given rights.
    static RegKey Create(HKEY root, const char* subKey, REGSAM access);
};

// Reads the value into the buffer. The type is not checked and a missing key or value,
// or data larger than the buffer, leaves the buffer unchanged. Text data (REG_SZ and
// its kin) always comes back NUL-terminated inside the buffer: a text that would fill
// the whole buffer without room for its terminator counts as too large.
void ReadRegData(HKEY root, const char* subKey, const char* valueName, void* data, DWORD size);

// Overwrites the low-order bytes of value with 1 to 4 bytes of stored data.
void ReadRegDword(HKEY root, const char* subKey, const char* valueName, int& value);
// The same, from a key the caller already holds open.
void ReadRegDwordFromKey(HKEY key, const char* valueName, int& value);

// Text read through a buffer of bufferSize bytes, with ReadRegData's rules; the
// default comes back when nothing could be read.
std::string ReadRegString(HKEY root, const char* subKey, const char* valueName,
                          DWORD bufferSize, const std::string& fallback = std::string());
// The same, from a key the caller already holds open (a loader reading many values of
// one key need not open it again for each).
std::string ReadRegStringFromKey(HKEY key, const char* valueName, DWORD bufferSize,
                                 const std::string& fallback = std::string());

// ERROR_SUCCESS, or the system's error code of the step that was refused.
using RegResult = LONG;

// The name of the i-th key below `key` (ERROR_NO_MORE_ITEMS past the last). Room for
// any name the registry holds: 255 characters, two bytes each in a double-byte code page.
RegResult EnumRegSubKey(HKEY key, DWORD i, std::string& name);

// Each key is opened or created with KEY_SET_VALUE alone (CreateRegKey too: its callers
// write values next), so that a user granted the rights to change a key, and no more
// (KEY_READ | KEY_WRITE | DELETE), may.
RegResult WriteRegString(HKEY root, const char* subKey, const char* valueName, const char* text);
RegResult WriteRegDword(HKEY root, const char* subKey, const char* valueName, int value);
RegResult CreateRegKey(HKEY root, const char* subKey);

// Deletes the key with everything below it, deepest first, stopping at the first key
// that cannot go. Needs KEY_ENUMERATE_SUB_KEYS and DELETE on each key. Refuses the empty
// path and a lone "\" or "/", which would name the root itself (ERROR_INVALID_PARAMETER).
// A key that is not there counts as deleted.
RegResult DeleteRegKeyTree(HKEY root, const char* subKey);

// subKey may be null: the value is then deleted directly under root. A named sub-key
// is opened or created first (KEY_SET_VALUE). A value that is not there counts as deleted.
RegResult DeleteRegValue(HKEY root, const char* subKey, const char* valueName);

// Whether root\subKey may be opened with `access`: ERROR_SUCCESS or the refusal. For a
// key that cannot be opened for another reason (it does not exist yet, say), the nearest
// key above it that can be is asked instead, since that is where it would be created.
// Nothing is written.
RegResult ProbeRegAccess(HKEY root, const char* subKey, REGSAM access);

// Sees every write and deletion above before it is made: ERROR_SUCCESS lets it through,
// anything else refuses it with that code. For tests that need a refusal the system
// under test would not give; none is set otherwise. A value write opens or creates its
// key first, and that is seen as a CreateKey.
enum class RegWrite { CreateKey, SetValue, DeleteKey, DeleteValue };
using RegWriteFilter = std::function<RegResult(RegWrite what, const std::string& subKey, const char* valueName)>;
void SetRegWriteFilter(RegWriteFilter filter);

}  // namespace tunelark
