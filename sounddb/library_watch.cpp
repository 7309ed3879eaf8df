#include "sounddb/library_watch.h"

#include <memory>

#include "settings/registry_watch.h"
#include "sounddb/sound_records.h"
#include "sounddb/sound_registry.h"

namespace tunelark {

namespace {

// A reload waits this long for another program's change to be written; past that it is
// left for a later call.
constexpr DWORD ReloadLockWaitMs = 100;

struct WatchState {
    std::unique_ptr<RegistryWatch> watch;
    // Another program's change, seen as this process began one of its own.
    bool pending = false;
    int editing = 0;
    int writing = 0;
    unsigned loads = 0;
};

WatchState& State() {
    static WatchState state;
    return state;
}

void Reload(WatchState& state) {
    // Armed first: a change made while the keys are read is seen next time.
    if (state.watch) state.watch->Arm();
    state.pending = false;
    FreeSoundDatabase();
    LoadSoundDatabase(SoundsKeyPath);
    ++state.loads;
}

}  // namespace

void StartWatchingLibrary() {
    WatchState& state = State();
    state.watch = std::make_unique<RegistryWatch>(HKEY_LOCAL_MACHINE, DatabaseKeyPath);
    state.pending = false;
}

void StopWatchingLibrary() {
    State().watch.reset();
}

bool TakeLibraryChanges() {
    WatchState& state = State();
    if (!state.watch || state.editing > 0 || state.writing > 0) return false;
    if (!state.pending && !state.watch->Changed()) return false;
    const LibraryLock lock(ReloadLockWaitMs);
    if (lock.Busy()) return false;
    Reload(state);
    return true;
}

void ReloadLibrary() {
    // Asked for by the user: loaded even while another program writes.
    const LibraryLock lock(ReloadLockWaitMs);
    Reload(State());
}

unsigned LibraryLoadCount() {
    return State().loads;
}

LibraryEditing::LibraryEditing() {
    ++State().editing;
}

LibraryEditing::~LibraryEditing() {
    --State().editing;
}

LibraryWrite::LibraryWrite() {
    WatchState& state = State();
    // What changed before the lock was had is another program's.
    if (state.writing++ == 0 && state.watch && state.watch->Changed()) state.pending = true;
}

LibraryWrite::~LibraryWrite() {
    WatchState& state = State();
    // What changed while the lock was held is this change's own: other programs wait for
    // the lock. It is in memory already.
    if (--state.writing == 0 && state.watch && !Busy()) state.watch->Arm();
}

}  // namespace tunelark
