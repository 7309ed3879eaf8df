#include "fsound/stream.h"

#include <mmsystem.h>
#include <process.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "fsound/fsound_stats.h"
#include "fsound/output_devices.h"
#include "fsound/wave_format.h"

namespace tunelark::fsound {
namespace {

constexpr int BufferCount = 4;
constexpr int StartQueued = 2;
constexpr unsigned BuffersPerSecond = 25;  // 40 ms each: short enough to start quickly

std::mutex timingMutex;
PlayTiming timing;
unsigned long long lastPlayId = 0;
std::map<DWORD, unsigned> heldUpThreads;  // thread id: waits for a stream still running
std::atomic<unsigned> opens{0};
std::atomic<DeviceRefusedHook> deviceRefused{nullptr};

void TellDeviceRefused(UINT device) {
    const DeviceRefusedHook hook = deviceRefused;
    if (!hook) return;
    WAVEOUTCAPSA caps{};
    if (waveOutGetDevCapsA(device, &caps, sizeof caps) != MMSYSERR_NOERROR) caps.szPname[0] = '\0';
    hook(std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname)).c_str());
}

long long Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

unsigned long long NoteRequest() {
    std::lock_guard lock(timingMutex);
    timing = {Now(), 0};
    return ++lastPlayId;
}

void NoteThread(unsigned long long playId, unsigned threadId) {
    std::lock_guard lock(timingMutex);
    if (playId == lastPlayId) timing.threadId = threadId;
}

void NoteFirstBuffer(unsigned long long playId) {
    const long long now = Now();
    std::lock_guard lock(timingMutex);
    if (playId == lastPlayId && timing.firstBuffer == 0) timing.firstBuffer = now;
}

// A waveOut device with its buffers. Closing resets it first, which returns every
// queued buffer, so the buffers can be unprepared and the device closed at once.
class WaveOutput {
public:
    WaveOutput(HWAVEOUT h, size_t samplesPerBuffer) : h_(h), headers_(BufferCount) {
        for (auto& b : buffers_) b.resize(samplesPerBuffer);
    }
    ~WaveOutput() {
        waveOutReset(h_);
        for (auto& hdr : headers_)
            if (hdr.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(h_, &hdr, sizeof hdr);
        waveOutClose(h_);
    }
    WaveOutput(const WaveOutput&) = delete;
    WaveOutput& operator=(const WaveOutput&) = delete;

    HWAVEOUT handle() const { return h_; }
    WAVEHDR& header(int i) { return headers_[i]; }
    std::vector<int16_t>& buffer(int i) { return buffers_[i]; }
    bool Busy(int i) const {
        const DWORD f = headers_[i].dwFlags;
        return (f & WHDR_PREPARED) && !(f & WHDR_DONE);
    }

private:
    HWAVEOUT h_;
    std::vector<WAVEHDR> headers_;
    std::vector<int16_t> buffers_[BufferCount];
};

}  // namespace

PlayTiming LastPlayTiming() {
    std::lock_guard lock(timingMutex);
    return timing;
}

unsigned TeardownWaitsOn(unsigned long threadId) {
    std::lock_guard lock(timingMutex);
    const auto it = heldUpThreads.find(threadId);
    return it == heldUpThreads.end() ? 0 : it->second;
}

unsigned TeardownWaitsOnThisThread() {
    return TeardownWaitsOn(GetCurrentThreadId());
}

Stream::Stream(std::string path, std::unique_ptr<Decoder> decoder)
    : path_(std::move(path)), decoder_(std::move(decoder)),
      stopEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

void SetDeviceRefusedHook(DeviceRefusedHook hook) {
    deviceRefused = hook;
}

unsigned StreamOpens() {
    return opens;
}

std::unique_ptr<Stream> Stream::Open(const std::string& path) {
    ++opens;
    auto decoder = OpenDecoder(path);
    if (!decoder) return nullptr;
    std::unique_ptr<Stream> s(new Stream(path, std::move(decoder)));
    if (!s->stopEvent_) return nullptr;
    return s;
}

Stream::~Stream() { Stop(); }

bool Stream::Play(UINT device, int channel) {
    Stop();
    if (used_) {
        // Decoders only read forward; the start is reached by opening the file again.
        auto fresh = OpenDecoder(path_);
        if (!fresh) return false;
        decoder_ = std::move(fresh);
    }
    used_ = true;
    channel_ = channel;
    device_ = device;
    ResetEvent(stopEvent_.get());
    playId_ = NoteRequest();
    playing_ = true;
    {
        std::lock_guard lock(releaseLock_);
        threadDone_ = false;
    }
    unsigned threadId = 0;
    thread_.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ThreadMain, this, 0, &threadId)));
    NoteThread(playId_, threadId);
    if (!thread_) {
        playing_ = false;
        std::lock_guard lock(releaseLock_);
        threadDone_ = true;
        return false;
    }
    return true;
}

void Stream::RequestStop() {
    // Once the thread has stopped playing it waits for the signal no more: a cut-off
    // sound is stopped and then closed, and the host's thread signals only once.
    if (playing_.exchange(false) && thread_) SetEvent(stopEvent_.get());
}

void Stream::Retire() {
    {
        std::lock_guard lock(releaseLock_);
        retired_ = true;
        if (threadDone_) decoder_.reset();
    }
    RequestStop();
}

bool Stream::TornDown() const {
    return !thread_ || WaitForSingleObject(thread_.get(), 0) == WAIT_OBJECT_0;
}

void Stream::WaitForTeardown() {
    if (!thread_) return;
    if (WaitForSingleObject(thread_.get(), 0) != WAIT_OBJECT_0) {
        std::lock_guard lock(timingMutex);
        ++heldUpThreads[GetCurrentThreadId()];
    }
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
}

void Stream::Stop() {
    RequestStop();
    WaitForTeardown();
}

unsigned __stdcall Stream::ThreadMain(void* self) {
    auto* stream = static_cast<Stream*>(self);
    stream->Run();
    std::lock_guard lock(stream->releaseLock_);
    stream->threadDone_ = true;
    if (stream->retired_) stream->decoder_.reset();
    return 0;
}

void Stream::Run() {
    const UINT device = device_;
    const int chosen = chosenDevice_;
    const unsigned long long playId = playId_;
    const PcmFormat fmt = decoder_->Format();
    // Before the device opens: a sound measured first starts no later than it must.
    LevelledSource source(*decoder_, path_, levelling_);
    WAVEFORMATEX wf = Pcm16WaveFormat(fmt.channels, fmt.sampleRate);

    KernelHandle bufferDone(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    HWAVEOUT h = nullptr;
    const auto open = [&](UINT id, DWORD flags) {
        return waveOutOpen(&h, id, &wf, reinterpret_cast<DWORD_PTR>(bufferDone.get()), 0, CALLBACK_EVENT | flags) ==
               MMSYSERR_NOERROR;
    };
    bool opened = false;
    if (bufferDone && chosen >= 0) {
        // Through the wave mapper, as the system's device is, so that the chosen device
        // takes every format that one takes; one that still refuses (busy, or a format
        // it cannot be given) leaves this sound to the system's device.
        opened = open(static_cast<UINT>(chosen), WAVE_MAPPED);
        if (!opened) TellDeviceRefused(static_cast<UINT>(chosen));
    }
    if (!bufferDone || (!opened && !open(device, 0))) {
        playing_ = false;
        return;
    }
    const size_t frames = std::max(256u, fmt.sampleRate / BuffersPerSecond);
    WaveOutput out(h, frames * fmt.channels);
    // The device starts with two buffers queued, not one: with only 40 ms queued, a busy
    // machine that let this thread wait longer than that for its next refill made a gap
    // right after a sound's start. The second costs its decoding, not its playing time.
    waveOutPause(h);
    bool paused = true;
    int queued = 0;
    const auto start = [&] {
        paused = false;
        waveOutRestart(h);
        NoteFirstBuffer(playId);
    };

    bool endOfSound = false;
    const HANDLE waits[2] = {stopEvent_.get(), bufferDone.get()};
    for (;;) {
        int busy = 0;
        for (int i = 0; i < BufferCount; ++i) {
            if (out.Busy(i)) {
                ++busy;
                continue;
            }
            if (endOfSound) continue;
            const size_t got = source.Read(out.buffer(i).data(), frames);
            if (got == 0) {
                endOfSound = true;
                continue;
            }
            WAVEHDR& hdr = out.header(i);
            if (!(hdr.dwFlags & WHDR_PREPARED)) {
                hdr.lpData = reinterpret_cast<LPSTR>(out.buffer(i).data());
                hdr.dwBufferLength = static_cast<DWORD>(frames * wf.nBlockAlign);
                if (waveOutPrepareHeader(h, &hdr, sizeof hdr) != MMSYSERR_NOERROR) {
                    endOfSound = true;
                    continue;
                }
            }
            hdr.dwBufferLength = static_cast<DWORD>(got * wf.nBlockAlign);
            if (waveOutWrite(h, &hdr, sizeof hdr) != MMSYSERR_NOERROR) {
                endOfSound = true;
                continue;
            }
            if (paused && ++queued == StartQueued) start();
            ++busy;
        }
        if (paused && endOfSound && queued > 0) start();
        if (busy == 0 && endOfSound) break;
        // Between refills the sound is measured ahead, a piece at a time, so that every
        // free buffer is refilled first.
        // No call to the system between the pieces: under Wine each is a round trip to
        // its server, which a busy machine makes slower than the device's playing.
        if (!endOfSound && source.DecodeAhead()) {
            if (!playing_) break;
            continue;
        }
        // The timeout only guards against a missed completion signal.
        if (WaitForMultipleObjects(2, waits, FALSE, 200) == WAIT_OBJECT_0) break;
    }
    playing_ = false;
    // `out` resets and closes the device here, before the thread ends: a stream whose
    // thread has ended is silent.
}

}  // namespace tunelark::fsound
