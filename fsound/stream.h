// One open stream: its decoder and, while it plays, a thread of its own that feeds a
// waveOut device of its own.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "fsound/decoder.h"
#include "fsound/handles.h"
#include "fsound/levelling.h"

namespace tunelark::fsound {

class Stream {
public:
    static std::unique_ptr<Stream> Open(const std::string& path);
    // Waits for the stream's thread, if one still runs.
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Starts playing from the beginning on `device` (a waveOut device id or
    // WAVE_MAPPER) and returns at once. A stream played before is reopened first;
    // false when that fails.
    bool Play(UINT device, int channel);
    // Tells the stream's thread to silence and close its device, and returns without
    // waiting for it. The file stays open.
    void RequestStop();
    // As RequestStop, for a stream that will not play again: its file is released as
    // soon as its thread is done with it.
    void Retire();
    // True once no thread of this stream holds a device any more.
    bool TornDown() const;
    void WaitForTeardown();
    // RequestStop and WaitForTeardown: silent, device closed, when it returns.
    void Stop();
    bool IsPlaying() const { return playing_.load(); }
    int Channel() const { return channel_; }
    // For the next Play.
    void SetLevelling(const Levelling& levelling) { levelling_ = levelling; }
    // For the next Play: a waveOut device number tried before the one Play is given,
    // or -1 for none (see SetStreamDevice).
    void SetChosenDevice(int device) { chosenDevice_ = device; }

private:
    Stream(std::string path, std::unique_ptr<Decoder> decoder);
    static unsigned __stdcall ThreadMain(void* self);
    void Run();

    std::string path_;
    // Shared with the thread while it runs; see releaseLock_.
    std::unique_ptr<Decoder> decoder_;
    bool used_ = false;
    Levelling levelling_;
    int channel_ = -1;
    UINT device_ = 0;
    int chosenDevice_ = -1;
    unsigned long long playId_ = 0;
    KernelHandle stopEvent_;
    KernelHandle thread_;
    std::atomic<bool> playing_{false};
    // Whichever of Retire and the end of the thread comes second drops the decoder,
    // so a closed stream never keeps its file open after its thread is gone.
    std::mutex releaseLock_;
    bool threadDone_ = true;
    bool retired_ = false;
};

}  // namespace tunelark::fsound
