// The current stream and the play job.
#include "playback/sound_play.h"

#include "base/kernel_handle.h"
#include "fsound/fsound_stats.h"

namespace tunelark {

namespace {

KernelHandle& PlaybackMutexHandle() {
    static KernelHandle mutex;
    return mutex;
}

FSOUND_STREAM* currentStream = nullptr;

}  // namespace

HANDLE PlaybackMutex() {
    return PlaybackMutexHandle().get();
}

void OpenPlaybackMutex() {
    PlaybackMutexHandle() = MakeMutex();
}

void ClosePlaybackMutex() {
    PlaybackMutexHandle().reset();
}

FSOUND_STREAM* CurrentStream() {
    MutexLock lock(PlaybackMutex());
    return currentStream;
}

int StopCurrentStream() {
    MutexLock lock(PlaybackMutex());
    if (currentStream) FSOUND_Stream_Stop(currentStream);
    return 0;
}

int CloseCurrentStream() {
    MutexLock lock(PlaybackMutex());
    if (currentStream) {
        FSOUND_Stream_Close(currentStream);
        currentStream = nullptr;
    }
    return 0;
}

void ReleaseCurrentStream() {
    StopCurrentStream();
    CloseCurrentStream();
    fsound::WaitForStreamTeardowns();
}

int PlayStreamJob(const char* path, int) {
    // Held across the open and start, so a stop from the host's thread acts on the
    // new stream rather than slipping in before it exists.
    MutexLock lock(PlaybackMutex());
    StopCurrentStream();
    CloseCurrentStream();
    if (!path) return StreamOpenFailed;
    currentStream = FSOUND_Stream_Open(path, FSOUND_LOOP_OFF, 0, 0);
    if (!currentStream) return StreamOpenFailed;
    if (FSOUND_Stream_Play(FSOUND_FREE, currentStream) == 0) {
        CloseCurrentStream();
        return StreamStartFailed;
    }
    return StreamPlaying;
}

}  // namespace tunelark
