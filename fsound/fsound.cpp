// The FSOUND entry points over Stream. One lock guards the layer's state; stream
// threads never take it, so waiting for a stream's thread is safe under it.
//
// Stopping and closing only tell a stream's thread to go and return at once: the
// thread resets and closes its device itself, which takes milliseconds, and callers
// on a user-facing thread must not wait for that. A closed stream whose thread still
// runs is kept as retiring until it is done. Starting a stream first waits for every
// stopped or retiring one, so an old sound has left the device before a new one opens
// it; closing the system waits for all of them.
//
// waveOut keeps playing whichever window has the focus, so the global-focus flag of
// FSOUND_Init needs nothing more and other flags have no meaning here.
// Each stream plays at its own rate through a waveOut device of its own and the
// system mixes them, so the mix rate given to FSOUND_Init is accepted but not used.
// Driver 0 is the system's default output (the wave mapper); driver n > 0 is waveOut
// device n - 1. Channel handles are the channel index plus one, so never 0.
#include "fsound/fsound.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "fsound/fsound_stats.h"
#include "fsound/mf_decoder.h"
#include "fsound/output_devices.h"
#include "fsound/stream.h"
#include "fsound/thread_starts.h"

namespace tunelark::fsound {
namespace {

struct SoundSystem {
    std::mutex lock;
    bool initialised = false;
    int output = FSOUND_OUTPUT_WINMM;
    int driver = 0;
    UINT device = WAVE_MAPPER;
    int channels = 0;
    std::vector<std::unique_ptr<Stream>> streams;
    // Closed, their handles forgotten, but their threads may still be closing devices.
    std::vector<std::unique_ptr<Stream>> retiring;

    // Only pointers this layer handed out and has not closed count as streams.
    std::vector<std::unique_ptr<Stream>>::iterator Find(FSOUND_STREAM* handle) {
        return std::find_if(streams.begin(), streams.end(), [&](const auto& s) {
            return reinterpret_cast<FSOUND_STREAM*>(s.get()) == handle;
        });
    }

    // Forgets the retiring streams whose threads have ended.
    void DropFinished() {
        std::erase_if(retiring, [](const auto& s) { return s->TornDown(); });
    }

    void WaitForTeardowns() {
        for (auto& s : streams)
            if (!s->IsPlaying()) s->WaitForTeardown();
        retiring.clear();  // each waits for its thread
    }

    void CloseAll() {
        for (auto& s : streams) s->Stop();
        streams.clear();
        retiring.clear();
        initialised = false;
    }
};

// Under load a thread can take some hundred milliseconds to start.
constexpr DWORD ThreadSettleLimitMs = 2000;

SoundSystem& System() {
    static SoundSystem system;
    return system;
}

// Opening the device for real is the only dependable test that there is one.
bool DeviceWorks(UINT device) {
    WAVEFORMATEX wf{};
    wf.wFormatTag = WAVE_FORMAT_PCM;
    wf.nChannels = 2;
    wf.nSamplesPerSec = 44100;
    wf.wBitsPerSample = 16;
    wf.nBlockAlign = 4;
    wf.nAvgBytesPerSec = 44100 * 4;
    HWAVEOUT h = nullptr;
    if (waveOutOpen(&h, device, &wf, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return false;
    waveOutClose(h);
    return true;
}

}  // namespace
}  // namespace tunelark::fsound

using namespace tunelark::fsound;

extern "C" {

signed char __stdcall FSOUND_SetOutput(int outputType) {
    SoundSystem& s = System();
    std::lock_guard lock(s.lock);
    // Only the Windows multimedia output exists here; -1 asks for the default one.
    if (s.initialised || (outputType != FSOUND_OUTPUT_WINMM && outputType != -1)) return 0;
    s.output = FSOUND_OUTPUT_WINMM;
    return 1;
}

signed char __stdcall FSOUND_SetDriver(int driver) {
    SoundSystem& s = System();
    std::lock_guard lock(s.lock);
    if (s.initialised || driver < 0) return 0;
    s.driver = driver;
    return 1;
}

signed char __stdcall FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int flags) {
    SoundSystem& s = System();
    std::lock_guard lock(s.lock);
    s.CloseAll();
    if (mixRate < 4000 || mixRate > 192000 || maxSoftwareChannels < 1 || maxSoftwareChannels > 1024)
        return 0;
    const UINT devices = waveOutGetNumDevs();
    if (devices == 0 || static_cast<UINT>(s.driver) > devices) return 0;
    const UINT device = s.driver == 0 ? WAVE_MAPPER : static_cast<UINT>(s.driver - 1);
    if (!DeviceWorks(device)) return 0;
    s.device = device;
    s.channels = maxSoftwareChannels;
    s.initialised = true;
    return 1;
}

void __stdcall FSOUND_Close(void) {
    SoundSystem& s = System();
    {
        std::lock_guard lock(s.lock);
        s.CloseAll();
        // Every stream, and so every decoder, is gone now.
        ReleaseMediaFoundation();
    }
    // The audio system's first use starts a thread of its own (Wine's device watcher),
    // and a host or program often ends right after this call: see thread_starts.h.
    WaitForThreadsToSettle(ThreadSettleLimitMs);
}

FSOUND_STREAM* __stdcall FSOUND_Stream_Open(const char* path, unsigned int mode, int offset, int length) {
    SoundSystem& s = System();
    // Decoding the first frames can take a moment; other calls need not wait for it.
    {
        std::lock_guard lock(s.lock);
        if (!s.initialised) return nullptr;
    }
    // Parts of files and memory images are not supported: only whole files.
    if (!path || !*path || offset != 0 || length != 0) return nullptr;
    std::unique_ptr<Stream> stream = Stream::Open(path);
    if (!stream) return nullptr;
    std::lock_guard lock(s.lock);
    if (!s.initialised) return nullptr;  // closed meanwhile
    auto* handle = reinterpret_cast<FSOUND_STREAM*>(stream.get());
    s.streams.push_back(std::move(stream));
    return handle;
}

int __stdcall FSOUND_Stream_Play(int channel, FSOUND_STREAM* handle) {
    SoundSystem& s = System();
    std::lock_guard lock(s.lock);
    if (!s.initialised) return 0;
    auto it = s.Find(handle);
    if (it == s.streams.end()) return 0;
    Stream& stream = **it;
    stream.Stop();
    s.WaitForTeardowns();

    if (channel == FSOUND_FREE) {
        std::vector<bool> taken(s.channels, false);
        for (const auto& other : s.streams)
            if (other->IsPlaying() && other->Channel() >= 0 && other->Channel() < s.channels)
                taken[other->Channel()] = true;
        auto freeOne = std::find(taken.begin(), taken.end(), false);
        if (freeOne == taken.end()) return 0;
        channel = static_cast<int>(freeOne - taken.begin());
    } else if (channel < 0 || channel >= s.channels) {
        return 0;
    } else {
        // A named channel is taken over from whatever plays on it.
        for (auto& other : s.streams)
            if (other->IsPlaying() && other->Channel() == channel) other->Stop();
    }
    if (!stream.Play(s.device, channel)) return 0;
    return channel + 1;
}

signed char __stdcall FSOUND_Stream_Stop(FSOUND_STREAM* handle) {
    SoundSystem& s = System();
    std::lock_guard lock(s.lock);
    auto it = s.Find(handle);
    if (it == s.streams.end()) return 0;
    (*it)->RequestStop();
    return 1;
}

signed char __stdcall FSOUND_Stream_Close(FSOUND_STREAM* handle) {
    SoundSystem& s = System();
    std::unique_ptr<Stream> closing;
    {
        std::lock_guard lock(s.lock);
        auto it = s.Find(handle);
        if (it == s.streams.end()) return 0;
        closing = std::move(*it);
        s.streams.erase(it);
        closing->Retire();
        s.DropFinished();
        if (!closing->TornDown()) s.retiring.push_back(std::move(closing));
    }
    return 1;  // a stream with no thread left goes with `closing`, file and decoder too
}

}  // extern "C"

namespace tunelark::fsound {

bool SetStreamLevelling(FSOUND_STREAM* handle, const Levelling& levelling) {
    SoundSystem& s = System();
    std::lock_guard lock(s.lock);
    auto it = s.Find(handle);
    if (it == s.streams.end()) return false;
    (*it)->SetLevelling(levelling);
    return true;
}

bool SetStreamDevice(FSOUND_STREAM* handle, int device) {
    SoundSystem& s = System();
    std::lock_guard lock(s.lock);
    auto it = s.Find(handle);
    if (it == s.streams.end()) return false;
    (*it)->SetChosenDevice(device);
    return true;
}

void WaitForStreamTeardowns() {
    SoundSystem& s = System();
    std::lock_guard lock(s.lock);
    s.WaitForTeardowns();
}

}  // namespace tunelark::fsound
