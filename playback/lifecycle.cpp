// Start-up and shut-down of the playback side: the worker, its play job and the
// mutex around the current stream.
#include <cstring>

#include "playback/sound_play.h"
#include "playback/worker.h"

namespace tunelark {

namespace {

std::unique_ptr<PlaybackWorker>& GlobalWorker() {
    static std::unique_ptr<PlaybackWorker> worker;
    return worker;
}

// The text is PlayJobText's: the device's name follows the path's terminator.
int RunPlayStreamJob(void* text, int value) {
    const char* path = static_cast<const char*>(text);
    return PlayStreamJob(path, value, path + std::strlen(path) + 1);
}

}  // namespace

PlaybackWorker* Worker() {
    return GlobalWorker().get();
}

bool StartPlaybackWorker(DWORD maxWaitMs) {
    OpenPlaybackMutex();
    std::unique_ptr<PlaybackWorker>& worker = GlobalWorker();
    // The thread registers the play job itself, so one that starts after the wait
    // below has given up still plays.
    worker = std::make_unique<PlaybackWorker>(std::vector<StartHandler>{{PlayStreamJobId, &RunPlayStreamJob}});
    return worker->WaitUntilRunning(maxWaitMs);
}

void StopPlaybackWorker() {
    std::unique_ptr<PlaybackWorker>& worker = GlobalWorker();
    if (worker && !worker->Shutdown()) {
        // A thread that never started may still run one day and would then use the
        // worker: leave it allocated rather than free it under that thread.
        (void)worker.release();
    }
    worker.reset();
    // The stream would otherwise outlive the sound system that FSOUND_Close ends, and
    // the next start-up would close a stale handle.
    CloseCurrentStream();
    ClosePlaybackMutex();
}

}  // namespace tunelark
