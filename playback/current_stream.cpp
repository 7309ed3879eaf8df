// The current stream and the play job.
#include "playback/sound_play.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "base/kernel_handle.h"
#include "fsound/fsound_stats.h"
#include "fsound/levelling.h"
#include "fsound/output_devices.h"

namespace tunelark {

namespace {

KernelHandle& PlaybackMutexHandle() {
    static KernelHandle mutex;
    return mutex;
}

// Held by a play job from its first step to its last, so that ReleaseCurrentStream can
// wait for a file being opened. Nothing on the host's thread but that waits for it.
KernelHandle& PlayJobMutexHandle() {
    static KernelHandle mutex;
    return mutex;
}

FSOUND_STREAM* currentStream = nullptr;

// Counts the stops and closes asked for from outside the play job (every play request
// makes both). A job that finds it changed while it opened its file was overtaken: its
// sound would start after a stop, or only to be cut off by the next.
std::atomic<unsigned> stopsAsked{0};

// Under the playback mutex; not counted as asked for.
void EndCurrentStream() {
    if (!currentStream) return;
    FSOUND_Stream_Stop(currentStream);
    FSOUND_Stream_Close(currentStream);
    currentStream = nullptr;
}

}  // namespace

HANDLE PlaybackMutex() {
    return PlaybackMutexHandle().get();
}

void OpenPlaybackMutex() {
    PlaybackMutexHandle() = MakeMutex();
    PlayJobMutexHandle() = MakeMutex();
}

void ClosePlaybackMutex() {
    PlaybackMutexHandle().reset();
    PlayJobMutexHandle().reset();
}

FSOUND_STREAM* CurrentStream() {
    MutexLock lock(PlaybackMutex());
    return currentStream;
}

int StopCurrentStream() {
    MutexLock lock(PlaybackMutex());
    ++stopsAsked;
    if (currentStream) FSOUND_Stream_Stop(currentStream);
    return 0;
}

int CloseCurrentStream() {
    MutexLock lock(PlaybackMutex());
    ++stopsAsked;
    if (currentStream) {
        FSOUND_Stream_Close(currentStream);
        currentStream = nullptr;
    }
    return 0;
}

void ReleaseCurrentStream() {
    // A job opening a file holds it: once the job is over, its stream is closed below.
    MutexLock job(PlayJobMutexHandle().get());
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

namespace {

std::atomic<DeviceNoticeHandler> noticeHandler{nullptr};
std::atomic<bool> told[2];

void Tell(DeviceNotice notice, const char* device) {
    const DeviceNoticeHandler handler = noticeHandler;
    if (handler && !told[notice].exchange(true)) handler(notice, device);
}

void TellRefused(const char* device) {
    Tell(DeviceRefused, device);
}

}  // namespace

void SetDeviceNoticeHandler(DeviceNoticeHandler handler) {
    for (auto& t : told) t = false;
    noticeHandler = handler;
    fsound::SetDeviceRefusedHook(handler ? &TellRefused : nullptr);
}

std::string PlayJobText(const std::string& path, const std::string& device) {
    std::string text = path;
    text += '\0';
    return text + device;
}

int PlayStreamJob(const char* path, int value, const char* device) {
    MutexLock job(PlayJobMutexHandle().get());
    unsigned stops;
    {
        MutexLock lock(PlaybackMutex());
        EndCurrentStream();
        stops = stopsAsked;
    }
    if (!path) return StreamOpenFailed;
    // The old sound leaves its device before the new one opens it. Waited for here,
    // outside the playback mutex: a request from the host's thread takes that mutex, and
    // must not wait for a device, an open or a burst's earlier sounds.
    fsound::WaitForStreamTeardowns();
    if (stopsAsked != stops) return StreamOvertaken;
    FSOUND_STREAM* stream = FSOUND_Stream_Open(path, FSOUND_LOOP_OFF, 0, 0);
    if (!stream) return StreamOpenFailed;
    fsound::SetStreamLevelling(stream, {(value & EvenOutBit) != 0, VolumeFactor(100 - (value & 0xFF))});
    // By name, here on the worker: the list is the system's now, and the host's thread
    // never waits for it. With no choice the stream keeps the system's default.
    const bool chose = device && *device;
    const int chosen = chose ? fsound::FindOutputDevice(device) : -1;
    if (chosen >= 0) fsound::SetStreamDevice(stream, chosen);
    MutexLock lock(PlaybackMutex());
    // Checked under the mutex, so a stop from now on finds the stream as the current one.
    if (stopsAsked != stops) {
        FSOUND_Stream_Close(stream);
        return StreamOvertaken;
    }
    currentStream = stream;
    if (FSOUND_Stream_Play(FSOUND_FREE, currentStream) == 0) {
        EndCurrentStream();
        return StreamStartFailed;
    }
    if (chose && chosen < 0) Tell(DeviceGone, device);
    return StreamPlaying;
}

}  // namespace tunelark
