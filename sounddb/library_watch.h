// Other programs' changes to the SoundPack library, taken into the database in memory.
// The registry tells when the library changed (no reading it again and again), and the
// database is loaded again where that is safe: when the host calls the plug-in or the
// Config Panel is idle, never while a dialog that edits the library is open, and once
// for a burst of changes. The plug-in's own changes are in memory already: they load
// nothing.
#pragma once

#include "sounddb/library_lock.h"

namespace tunelark {

// From Initialize to Uninitialize, on the host's thread (a notification ends with the
// thread that asked for it).
void StartWatchingLibrary();
void StopWatchingLibrary();

// Loads the database again when another program changed the library since the last load
// and no LibraryEditing lives; a change another program is still writing under the
// library lock is waited for (a little), so that a whole install loads once. True when
// it loaded.
bool TakeLibraryChanges();
// Loads the database again whatever changed (the Reload command).
void ReloadLibrary();
// How many loads so far: a view of the database refreshes when it moves.
unsigned LibraryLoadCount();

// While one lives, TakeLibraryChanges waits: a dialog that edits the library is open.
class LibraryEditing {
public:
    LibraryEditing();
    ~LibraryEditing();
    LibraryEditing(const LibraryEditing&) = delete;
    LibraryEditing& operator=(const LibraryEditing&) = delete;
};

// Held over one change to the library, checks and writes: the library lock, and what the
// change writes is not taken for another program's change. Nothing may be written when
// Busy(): another program kept the lock.
class LibraryWrite {
public:
    LibraryWrite();
    ~LibraryWrite();
    LibraryWrite(const LibraryWrite&) = delete;
    LibraryWrite& operator=(const LibraryWrite&) = delete;
    bool Busy() const { return lock_.Busy(); }

private:
    LibraryLock lock_;
};

}  // namespace tunelark
