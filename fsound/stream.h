// One open stream: its decoder and, while it plays, a thread of its own that feeds a
// waveOut device of its own.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "fsound/decoder.h"
#include "fsound/handles.h"

namespace tunelark::fsound {

class Stream {
public:
    static std::unique_ptr<Stream> Open(const std::string& path);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Starts playing from the beginning on `device` (a waveOut device id or
    // WAVE_MAPPER) and returns at once. A stream played before is reopened first;
    // false when that fails.
    bool Play(UINT device, int channel);
    // Silences the stream and returns when its device is closed. The file stays open.
    void Stop();
    bool IsPlaying() const { return playing_.load(); }
    int Channel() const { return channel_; }

private:
    Stream(std::string path, std::unique_ptr<Decoder> decoder);
    void Run(UINT device, unsigned long long playId);

    std::string path_;
    std::unique_ptr<Decoder> decoder_;
    bool used_ = false;
    int channel_ = -1;
    KernelHandle stopEvent_;
    std::thread thread_;
    std::atomic<bool> playing_{false};
};

}  // namespace tunelark::fsound
