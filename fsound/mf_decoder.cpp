// Media Foundation's source reader, asked for 16-bit PCM at the sound's own rate and
// channels. Every Media Foundation function is found at run time: importing mfplat.dll
// would keep the whole plug-in from loading on a system without it.
//
// Threads: the decoder is opened on a thread of its own (see OpenMfDecoder), read on the
// stream's, and may be destroyed on a third. Media Foundation's objects are
// free-threaded, so each call into them only needs its thread in the multithreaded
// apartment, which each one joins for the call's duration. The apartment itself must not
// end between calls (COM would unload the codecs under a live reader), so the process
// keeps a hold on it for good.
#undef _WIN32_WINNT
#undef WINVER
#define _WIN32_WINNT 0x0601  // the source reader exists from Windows 7 on
#define WINVER 0x0601

#include "fsound/mf_decoder.h"

#include <windows.h>
#include <objbase.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <process.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "base/com_ptr.h"
#include "base/kernel_handle.h"
#include "base/unique_handle.h"
#include "fsound/fsound_stats.h"
#include "fsound/pcm_queue.h"
#include "fsound/thread_starts.h"

namespace tunelark::fsound {
namespace {

using tunelark::ComPtr;

constexpr DWORD FirstAudio = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
// Reads that bring no sound (gaps, stream ticks) before the decoder gives up on the
// file: a reader that never gets anywhere must not keep a stream's thread spinning.
constexpr int EmptyReadLimit = 64;
// See ReleaseMediaFoundation.
constexpr DWORD CodecThreadsEndLimitMs = 2000;

std::atomic<unsigned long> openLimitMs{MfOpenLimitMs};
std::atomic<unsigned> codecWaitsGivenUp{0};
std::atomic<void (*)(const char* path)> beforeOpen{nullptr};

struct FreeModule {
    void operator()(HMODULE m) const { FreeLibrary(m); }
};
using ModuleHandle = UniqueHandle<HMODULE, FreeModule>;

// The calling thread's membership of the multithreaded apartment, for one call. A
// thread some other code made single-threaded stays so; the objects used here do not
// mind which apartment calls them.
class MtaScope {
public:
    MtaScope() : joined_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~MtaScope() {
        if (joined_) CoUninitialize();
    }
    MtaScope(const MtaScope&) = delete;
    MtaScope& operator=(const MtaScope&) = delete;

private:
    bool joined_;
};

// GetProcAddress's result as the function type it is documented to have.
template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

struct MfRuntime {
    decltype(&MFCreateSourceReaderFromURL) createReader = nullptr;
    decltype(&MFCreateMediaType) createMediaType = nullptr;
};

// Media Foundation, started on first use and kept while the sound system is open:
// starting it costs tens of milliseconds, which every sound would otherwise pay again.
// The sound system's close stops it, so no work queue of its runs on into the process's
// exit (which, with its threads still busy, could crash the host as it ends).
struct MfState {
    std::mutex lock;
    bool loaded = false;
    bool started = false;
    unsigned starts = 0;
    MfRuntime runtime;
    decltype(&MFStartup) startup = nullptr;
    decltype(&MFShutdown) shutdown = nullptr;
    HANDLE mtaHold = nullptr;
    unsigned threadsBefore = 0;  // the threads that had started when it was started
    // Opens still running on their threads, those given up on included. While one is,
    // Media Foundation is not shut down: the call it is in may still need it, and would
    // return into a platform torn down under it. The close's release then falls to the
    // last of them to come back.
    unsigned opensOut = 0;
    bool releaseWanted = false;
};

// Never destroyed: a call given up on may come back while the process's statics go.
MfState& State() {
    static MfState& state = *new MfState;
    return state;
}

// Null when the system has no usable Media Foundation.
const MfRuntime* Runtime() {
    MfState& mf = State();
    std::lock_guard guard(mf.lock);
    mf.releaseWanted = false;  // wanted again
    if (mf.started) return &mf.runtime;
    if (!mf.loaded) {
        ModuleHandle plat(LoadLibraryW(L"mfplat.dll"));
        ModuleHandle readWrite(LoadLibraryW(L"mfreadwrite.dll"));
        if (!plat || !readWrite) return nullptr;
        mf.startup = Lookup<decltype(&MFStartup)>(plat.get(), "MFStartup");
        mf.shutdown = Lookup<decltype(&MFShutdown)>(plat.get(), "MFShutdown");
        mf.runtime.createMediaType = Lookup<decltype(&MFCreateMediaType)>(plat.get(), "MFCreateMediaType");
        mf.runtime.createReader =
            Lookup<decltype(&MFCreateSourceReaderFromURL)>(readWrite.get(), "MFCreateSourceReaderFromURL");
        if (!mf.startup || !mf.shutdown || !mf.runtime.createMediaType || !mf.runtime.createReader) return nullptr;
        // Loaded once, the libraries stay for the process's life: unloading them under
        // their own threads is not safe.
        plat.release();
        readWrite.release();
        mf.loaded = true;
    }
    mf.threadsBefore = ThreadStartMark();
    if (FAILED(mf.startup(MF_VERSION, MFSTARTUP_NOSOCKET))) return nullptr;
    // Windows 8 and later (and Wine) can hold the apartment open without a thread of
    // ours. Windows 7 cannot: there it lasts while some thread is in it.
    if (HMODULE ole = GetModuleHandleW(L"ole32.dll")) {
        using IncrementMtaUsage = HRESULT(WINAPI*)(HANDLE* cookie);
        if (const auto hold = Lookup<IncrementMtaUsage>(ole, "CoIncrementMTAUsage")) hold(&mf.mtaHold);
    }
    mf.started = true;
    ++mf.starts;
    return &mf.runtime;
}

// WMA codecs put out one block before the sound's first: the codec's delay. Where the
// system's ASF source decodes by itself and hands over PCM (Wine's does, through
// GStreamer) that block holds leftovers that differ from run to run, heard as a warble
// and a jump in the tone 40 ms in; the sound itself follows exactly one block later.
// Where a decoder of its own follows the source (Windows), its output is taken as it is.
bool SourceDecodesAsfItself(IMFSourceReader* reader) {
    ComPtr<IMFMediaType> native;
    GUID subtype{};
    if (FAILED(reader->GetNativeMediaType(FirstAudio, 0, native.receive())) ||
        FAILED(native->GetGUID(MF_MT_SUBTYPE, &subtype)))
        return false;
    return subtype == MFAudioFormat_PCM || subtype == MFAudioFormat_Float;
}

UINT32 Attribute(IMFAttributes* a, REFGUID key) {
    UINT32 value = 0;
    return SUCCEEDED(a->GetUINT32(key, &value)) ? value : 0;
}

// Locks a media buffer's memory for reading while it lives.
class BufferLock {
public:
    explicit BufferLock(IMFMediaBuffer* buffer) : buffer_(buffer) {
        if (FAILED(buffer_->Lock(&data_, nullptr, &length_))) data_ = nullptr;
    }
    ~BufferLock() {
        if (data_) buffer_->Unlock();
    }
    BufferLock(const BufferLock&) = delete;
    BufferLock& operator=(const BufferLock&) = delete;
    const BYTE* data() const { return data_; }
    DWORD length() const { return data_ ? length_ : 0; }

private:
    IMFMediaBuffer* buffer_;
    BYTE* data_ = nullptr;
    DWORD length_ = 0;
};

class MfDecoder : public Decoder {
public:
    bool Open(const MfRuntime& mf, const std::wstring& path, bool asfFile) {
        if (FAILED(mf.createReader(path.c_str(), nullptr, reader_.receive()))) return false;
        if (FAILED(reader_->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE)) ||
            FAILED(reader_->SetStreamSelection(FirstAudio, TRUE)))
            return false;

        ComPtr<IMFMediaType> wanted;
        if (FAILED(mf.createMediaType(wanted.receive())) ||
            FAILED(wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio)) ||
            FAILED(wanted->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM)) ||
            FAILED(wanted->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16)) ||
            FAILED(reader_->SetCurrentMediaType(FirstAudio, nullptr, wanted.get())))
            return false;
        if (!ReadFormat(format_)) return false;
        pcm_.SetChannels(format_.channels);
        skipBlock_ = asfFile && SourceDecodesAsfItself(reader_.get());

        // A file whose headers open but that gives no sound is not playable.
        while (pcm_.Ready() == 0 && !finished_) Decode();
        return pcm_.Ready() > 0;
    }

    ~MfDecoder() override {
        MtaScope apartment;
        reader_.reset();
    }

    size_t Read(int16_t* out, size_t frames) override {
        return pcm_.Take(out, frames, 0, [this] {
            if (finished_) return false;
            MtaScope apartment;
            Decode();
            return true;
        });
    }

private:
    // The reader's PCM shape; false for one this layer cannot hand to waveOut as it is.
    bool ReadFormat(PcmFormat& format) {
        ComPtr<IMFMediaType> current;
        if (FAILED(reader_->GetCurrentMediaType(FirstAudio, current.receive()))) return false;
        GUID subtype{};
        if (FAILED(current->GetGUID(MF_MT_SUBTYPE, &subtype)) || subtype != MFAudioFormat_PCM ||
            Attribute(current.get(), MF_MT_AUDIO_BITS_PER_SAMPLE) != 16)
            return false;
        format.sampleRate = Attribute(current.get(), MF_MT_AUDIO_SAMPLES_PER_SECOND);
        format.channels = Attribute(current.get(), MF_MT_AUDIO_NUM_CHANNELS);
        return format.sampleRate >= 1000 && format.sampleRate <= 192000 &&
               (format.channels == 1 || format.channels == 2);
    }

    // Appends the next block of sound to pcm_; any failure or a change of shape ends
    // the sound there. The block that comes with the end of the stream still counts.
    void Decode() {
        for (int tries = 0; tries < EmptyReadLimit; ++tries) {
            DWORD flags = 0;
            ComPtr<IMFSample> sample;
            if (FAILED(reader_->ReadSample(FirstAudio, 0, nullptr, &flags, nullptr, sample.receive())) ||
                (flags & MF_SOURCE_READERF_ERROR))
                break;
            if (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) {
                PcmFormat now;
                if (!ReadFormat(now) || now.sampleRate != format_.sampleRate || now.channels != format_.channels)
                    break;
            }
            const bool last = (flags & MF_SOURCE_READERF_ENDOFSTREAM) != 0;
            if (sample && skipBlock_) {
                skipBlock_ = false;
                if (last) break;
                continue;
            }
            if (sample && Append(sample.get())) {
                finished_ = last;
                return;
            }
            if (last) break;
        }
        finished_ = true;
    }

    // False when the sample holds no whole frame, or its memory cannot be read.
    bool Append(IMFSample* sample) {
        ComPtr<IMFMediaBuffer> buffer;
        if (FAILED(sample->ConvertToContiguousBuffer(buffer.receive()))) return false;
        const BufferLock lock(buffer.get());
        const size_t frameBytes = format_.channels * sizeof(int16_t);
        const size_t whole = lock.length() - lock.length() % frameBytes;
        if (whole == 0) return false;
        pcm_.Append(lock.data(), whole);
        return true;
    }

    ComPtr<IMFSourceReader> reader_;
    PcmQueue pcm_;
    bool skipBlock_ = false;
    bool finished_ = false;
};

// The reader takes a UTF-16 path; the layer's paths are in the ANSI code page.
std::wstring FullWidePath(const std::string& path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 1) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
    const DWORD full = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (full == 0) return {};
    std::wstring result(full, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), full, result.data(), nullptr);
    if (written == 0 || written >= full) return {};
    result.resize(written);
    return result;
}

// Under the state's lock, with no call into Media Foundation left.
void StopMediaFoundation(MfState& mf) {
    if (mf.mtaHold) {
        using DecrementMtaUsage = HRESULT(WINAPI*)(HANDLE cookie);
        if (HMODULE ole = GetModuleHandleW(L"ole32.dll"))
            if (const auto release = Lookup<DecrementMtaUsage>(ole, "CoDecrementMTAUsage")) release(mf.mtaHold);
        mf.mtaHold = nullptr;
    }
    mf.shutdown();
    mf.started = false;
}

// An open has come back: the last one out does the release a close asked for meanwhile.
void EndOpen() {
    MfState& mf = State();
    std::lock_guard guard(mf.lock);
    if (--mf.opensOut > 0 || !mf.releaseWanted) return;
    mf.releaseWanted = false;
    if (mf.started) StopMediaFoundation(mf);
}

// A call given up on returns, if ever, into this module's code: from then on the module
// stays loaded until the process ends, whatever the host unloads.
void KeepThisModuleLoaded() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&KeepThisModuleLoaded), &self);
}

// One open, shared by its thread and the caller waiting for it; the later to let go of
// it frees it.
struct OpenCall {
    std::string path;
    std::wstring widePath;
    bool asfFile = false;
    std::mutex lock;
    bool finished = false;  // the open has returned
    bool givenUp = false;   // the caller stopped waiting before that
    std::unique_ptr<MfDecoder> decoder;
};

unsigned __stdcall RunOpenCall(void* handOver) {
    const std::unique_ptr<std::shared_ptr<OpenCall>> owned(static_cast<std::shared_ptr<OpenCall>*>(handOver));
    const std::shared_ptr<OpenCall> call = *owned;
    {
        MtaScope apartment;
        std::unique_ptr<MfDecoder> decoder;
        if (const MfRuntime* mf = Runtime()) {
            if (const auto hook = beforeOpen.load()) hook(call->path.c_str());
            decoder = std::make_unique<MfDecoder>();
            if (!decoder->Open(*mf, call->widePath, call->asfFile)) decoder.reset();
        }
        std::lock_guard guard(call->lock);
        call->finished = true;
        if (!call->givenUp) call->decoder = std::move(decoder);
        // Given up on: the reader goes here, before Media Foundation may be shut down.
    }
    EndOpen();
    return 0;
}

}  // namespace

// The system's codecs can hang on a broken file (a WMA open was seen to, now and then),
// and the caller is the playback worker, which no later sound could pass. So the open
// runs on a thread of its own and is waited for at most MfOpenLimitMs; past that the file
// counts as unplayable and the thread is left to come back, or not, on its own.
std::unique_ptr<Decoder> OpenMfDecoder(const std::string& path, bool asfFile) {
    auto call = std::make_shared<OpenCall>();
    call->path = path;
    call->widePath = FullWidePath(path);
    call->asfFile = asfFile;
    if (call->widePath.empty()) return nullptr;
    {
        MfState& mf = State();
        std::lock_guard guard(mf.lock);
        ++mf.opensOut;
    }
    auto* handOver = new std::shared_ptr<OpenCall>(call);
    const KernelHandle thread(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &RunOpenCall, handOver, 0, nullptr)));
    if (!thread) {
        delete handOver;
        EndOpen();
        return nullptr;
    }
    // Still running at the limit, even if just finishing: it must not find the module gone.
    if (WaitForSingleObject(thread.get(), openLimitMs.load()) != WAIT_OBJECT_0) KeepThisModuleLoaded();
    std::lock_guard guard(call->lock);
    if (!call->finished) {
        call->givenUp = true;
        return nullptr;
    }
    return std::move(call->decoder);
}

void SetMfOpenSeam(unsigned long limitMs, void (*hook)(const char* path)) {
    openLimitMs = limitMs;
    beforeOpen = hook;
}

unsigned MediaFoundationOpensOut() {
    MfState& mf = State();
    std::lock_guard guard(mf.lock);
    return mf.opensOut;
}

unsigned MediaFoundationStarts() {
    MfState& mf = State();
    std::lock_guard guard(mf.lock);
    return mf.starts;
}

void ReleaseMediaFoundation() {
    MfState& mf = State();
    std::lock_guard guard(mf.lock);
    if (!mf.started) return;
    if (mf.opensOut > 0) {
        mf.releaseWanted = true;
        return;
    }
    StopMediaFoundation(mf);
    // Shutting down tells the threads of Media Foundation's work queues to end but does
    // not wait for them; a process that ends while they do can crash under Wine (see
    // fsound/thread_starts.h), so the close waits until the threads started since
    // Media Foundation was started have ended.
    if (!WaitForThreadsToSettle(CodecThreadsEndLimitMs, mf.threadsBefore)) ++codecWaitsGivenUp;
}

unsigned MediaFoundationWaitsGivenUp() {
    return codecWaitsGivenUp;
}

}  // namespace tunelark::fsound
