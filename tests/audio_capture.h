// Reading what a test played. Test programs run with TUNELARK_AUDIO=capture (see
// scripts/wine-run.sh and scripts/alsa-capture.conf): Wine then has one output device
// that writes everything played into the file named by TUNELARK_CAPTURE_FILE, as raw
// signed 16-bit little-endian stereo at 48000 Hz, whatever format the program opened.
// The file is truncated whenever a program opens the device, so it only makes sense
// while one sound plays at a time. Under Wine the device plays about four times faster
// than real time: measure lengths from the captured samples, never from the clock.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "playback/sound_play.h"
#include "playback/worker.h"
#include "support/registry_values.h"

namespace testsupport {

constexpr unsigned CaptureRate = 48000;
constexpr unsigned CaptureChannels = 2;

// "capture", "none" (no sound device at all) or empty (the machine's own setup).
inline std::string AudioMode() {
    const char* mode = std::getenv("TUNELARK_AUDIO");
    return mode ? mode : "";
}

// scripts/alsa-capture.conf's extra devices (capture files ending in the sink's name, and one
// refusing every sound), listed by Wine to a process that opens audio after this is made.
struct ExtraOutputDevices {
    static constexpr const char* Key = "Software\\Wine\\Drivers\\winealsa.drv";
    ExtraOutputDevices() {
        static const char names[] = "tunelark_speakers\0tunelark_headset\0tunelark_four_only\0";
        WriteRaw(HKEY_CURRENT_USER, Key, "ALSAOutputDevices", REG_MULTI_SZ, names, sizeof names);
    }
    ~ExtraOutputDevices() { RegDeleteKeyA(HKEY_CURRENT_USER, Key); }
};

// Windows form of the capture file's path; empty when not capturing.
inline std::string CaptureFile(const std::string& sink = "") {
    const char* unixPath = std::getenv("TUNELARK_CAPTURE_FILE");
    if (!unixPath || !*unixPath) return "";
    std::string path = unixPath + (sink.empty() ? "" : "." + sink);
    if (path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// Forgets what was captured so far. Call it while nothing plays.
inline void ResetCapture(const std::string& sink = "") {
    const std::string file = CaptureFile(sink);
    if (!file.empty()) DeleteFileA(file.c_str());
}

inline long long CaptureBytes(const std::string& sink = "") {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(CaptureFile(sink).c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

inline std::vector<int16_t> ReadCapture(const std::string& sink = "") {
    std::vector<int16_t> samples;
    HANDLE h = CreateFileA(CaptureFile(sink).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return samples;
    DWORD size = GetFileSize(h, nullptr), got = 0;
    if (size != INVALID_FILE_SIZE) {
        samples.resize(size / 2);
        if (!ReadFile(h, samples.data(), static_cast<DWORD>(samples.size() * 2), &got, nullptr)) got = 0;
        samples.resize(got / 2);
    }
    CloseHandle(h);
    return samples;
}

struct CaptureSummary {
    double seconds = 0;          // everything written, silence included
    double audibleSeconds = 0;   // total of the 10 ms windows with sound in them
    double firstAudible = -1;    // start of the first such window, in seconds
    int peak = 0;                // largest sample magnitude, both channels
    // Zero crossings per second of the audible windows' tone: twice its frequency.
    // Only meaningful for tones well above the crossing margin (1500 of 32767).
    double crossingsLeft = 0, crossingsRight = 0;
};

inline bool CrossedOver(int v, int& sign) {
    constexpr int Margin = 1500;
    const int now = v > Margin ? 1 : v < -Margin ? -1 : 0;
    if (now == 0 || now == sign) return false;
    const bool crossed = sign != 0;
    sign = now;
    return crossed;
}

// A tone's rate from the median time between its zero crossings (each placed between
// samples by interpolation): neither how the tone's ends fall into the 10 ms windows nor
// a codec's click at a block edge moves it. Loss or repeats are judged by PhaseJumps.
struct CrossingRate {
    int sign = 0, previous = 0;
    double lastZero = -1, lastCrossing = -1;
    std::vector<double> halfPeriods;
    void Add(int v, size_t frame) {
        if ((previous < 0) != (v < 0) && previous != v)
            lastZero = double(frame) - double(v) / (double(v) - previous);
        previous = v;
        if (!CrossedOver(v, sign) || lastZero < 0) return;
        if (lastCrossing >= 0 && lastZero > lastCrossing) halfPeriods.push_back(lastZero - lastCrossing);
        lastCrossing = lastZero;
    }
    void Break() { sign = previous = 0, lastZero = lastCrossing = -1; }
    double PerSecond(unsigned rate) {
        if (halfPeriods.empty()) return 0;
        auto mid = halfPeriods.begin() + halfPeriods.size() / 2;
        std::nth_element(halfPeriods.begin(), mid, halfPeriods.end());
        return rate / *mid;
    }
};

// `threshold`: the RMS level (of 32767) above which a window counts as sound.
inline CaptureSummary SummariseCapture(const std::vector<int16_t>& s, double threshold = 300) {
    CaptureSummary r;
    const size_t frames = s.size() / CaptureChannels;
    const size_t window = CaptureRate / 100;
    r.seconds = static_cast<double>(frames) / CaptureRate;
    size_t audibleFrames = 0;
    CrossingRate cross[2];
    for (size_t start = 0; start + window <= frames; start += window) {
        double energy = 0;
        for (size_t f = start; f < start + window; ++f) {
            for (unsigned c = 0; c < CaptureChannels; ++c) {
                const int v = s[f * CaptureChannels + c];
                energy += double(v) * v;
                if (std::abs(v) > r.peak) r.peak = std::abs(v);
            }
        }
        if (std::sqrt(energy / (window * CaptureChannels)) < threshold) {
            for (auto& c : cross) c.Break();
            continue;
        }
        if (r.firstAudible < 0) r.firstAudible = static_cast<double>(start) / CaptureRate;
        audibleFrames += window;
        // A crossing counts once the signal is well past zero on the other side, so
        // dither and codec noise around zero do not add crossings.
        for (size_t f = start; f < start + window; ++f) {
            for (unsigned c = 0; c < 2; ++c) cross[c].Add(s[f * 2 + c], f);
        }
    }
    r.audibleSeconds = static_cast<double>(audibleFrames) / CaptureRate;
    r.crossingsLeft = cross[0].PerSecond(CaptureRate);
    r.crossingsRight = cross[1].PerSecond(CaptureRate);
    return r;
}

// The 10 ms windows in which a captured steady tone (leftHz, rightHz per channel) jumps
// in phase: sound lost, repeated or foreign. Windows are measured against the tone from
// the capture's start; those below half the loudest (onset, fades, end) are not judged.
inline int PhaseJumps(const std::vector<int16_t>& s, double leftHz, double rightHz) {
    const size_t window = CaptureRate / 100, windows = s.size() / CaptureChannels / window;
    std::vector<bool> jumped(windows);
    for (unsigned c = 0; c < CaptureChannels; ++c) {
        const double step = -2 * 3.14159265358979 * (c ? rightHz : leftHz) / CaptureRate;
        std::vector<std::complex<double>> z(windows);
        double loud = 0;
        for (size_t f = 0; f < windows * window; ++f)
            z[f / window] += double(s[f * CaptureChannels + c]) * std::polar(1.0, step * double(f));
        for (const auto& w : z) loud = std::max(loud, std::abs(w) / 2);
        for (size_t w = 1; w < windows; ++w)
            if (std::abs(z[w - 1]) >= loud && std::abs(z[w]) >= loud && std::abs(std::arg(z[w] / z[w - 1])) > 0.15)
                jumped[w] = true;
    }
    return static_cast<int>(std::count(jumped.begin(), jumped.end(), true));
}

// Waits until the capture file has not grown for `quietMs` (the sound is over or
// silenced), at most `timeoutMs`, and summarises it.
inline CaptureSummary WaitForCapture(DWORD quietMs = 500, DWORD timeoutMs = 15000, const std::string& sink = "") {
    const DWORD start = GetTickCount();
    long long last = -1;
    DWORD lastChange = start;
    while (GetTickCount() - start < timeoutMs) {
        const long long now = CaptureBytes(sink);
        if (now != last) {
            last = now;
            lastChange = GetTickCount();
        } else if (GetTickCount() - lastChange >= quietMs) {
            break;
        }
        Sleep(20);
    }
    return SummariseCapture(ReadCapture(sink));
}

// The plug-in's playback path (its worker and the sound system) for a test's length, so
// that the test can act on a sound while it plays.
struct PlaybackRunning {
    PlaybackRunning() {
        tunelark::StartPlaybackWorker();
        FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
        FSOUND_Init(40100, 32, FSOUND_INIT_GLOBALFOCUS);
    }
    ~PlaybackRunning() {
        tunelark::StopPlaybackWorker();
        FSOUND_Close();
    }
    // Plays the sound whatever the switches say; true once the device has some of it.
    bool PlayUntilHeard(const tunelark::Sound& sound) const {
        ResetCapture();
        if (tunelark::Play(sound, 1) != tunelark::PlayPosted) return false;
        for (int i = 0; i < 500 && CaptureBytes() == 0; ++i) Sleep(10);
        return CaptureBytes() > 0;
    }
};

}  // namespace testsupport
