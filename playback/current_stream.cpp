// The current stream and the play job.
#include "playback/sound_play.h"

#include <algorithm>
#include <cmath>

#include "base/kernel_handle.h"
#include "fsound/fsound_stats.h"
#include "fsound/levelling.h"

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

namespace {

constexpr int EvenOutBit = 0x100;
constexpr double DbPerVolumeStep = 0.4;

}  // namespace

double VolumeFactor(int volume) {
    if (volume <= 0) return 0.0;
    return std::pow(10.0, (std::min(volume, 100) - 100) * DbPerVolumeStep / 20.0);
}

// The low byte carries how far below 100 the volume is, so that 0 is as loud as recorded.
int LevellingValue(bool evenOut, int volume) {
    return (evenOut ? EvenOutBit : 0) | (100 - std::clamp(volume, 0, 100));
}

int PlayStreamJob(const char* path, int value) {
    // Held across the open and start, so a stop from the host's thread acts on the
    // new stream rather than slipping in before it exists.
    MutexLock lock(PlaybackMutex());
    StopCurrentStream();
    CloseCurrentStream();
    if (!path) return StreamOpenFailed;
    currentStream = FSOUND_Stream_Open(path, FSOUND_LOOP_OFF, 0, 0);
    if (!currentStream) return StreamOpenFailed;
    fsound::SetStreamLevelling(currentStream, {(value & EvenOutBit) != 0, VolumeFactor(100 - (value & 0xFF))});
    if (FSOUND_Stream_Play(FSOUND_FREE, currentStream) == 0) {
        CloseCurrentStream();
        return StreamStartFailed;
    }
    return StreamPlaying;
}

}  // namespace tunelark
