#include "fsound/levelling.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

namespace tunelark::fsound {

namespace {

constexpr double MaxRaiseDb = 12.0;
constexpr double PeakCeilingDb = -1.0;
constexpr double BlockSeconds = 0.4;      // one gating block: the least worth measuring
// How long a first play may decode ahead to measure the sound before it starts.
constexpr double AheadBudgetSeconds = 0.008;
constexpr size_t AheadChunkFrames = 2048;
constexpr double DualMonoDb = 3.0103;  // 10 log10(2)

double FromDb(double db) { return std::pow(10.0, db / 20.0); }

using FileKey = LevelledSource::FileKey;

std::optional<FileKey> KeyOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    const auto wide = [](DWORD high, DWORD low) { return (static_cast<unsigned long long>(high) << 32) | low; };
    return FileKey{path, wide(data.nFileSizeHigh, data.nFileSizeLow),
                   wide(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime)};
}

struct Cache {
    std::mutex lock;
    std::map<FileKey, KnownLoudness> known;
};

Cache& TheCache() {
    static Cache cache;
    return cache;
}

// The factor that brings a sound measured at `lufs` with sample peak `peak` (of full
// scale) to TargetLoudness: raised by at most 12 dB, so that a near-silent sound is not
// made loud, and never so that its peak passes -1 dBFS (a sound that peaks higher is
// lowered that far). 1 for a sound not measured.
double EvenOutGain(double lufs, double peak) {
    if (!std::isfinite(lufs)) return 1.0;
    double db = std::min(TargetLoudness - lufs, MaxRaiseDb);
    // The ceiling holds whichever way the target moves the sound.
    if (peak > 0) db = std::min(db, PeakCeilingDb - 20.0 * std::log10(peak));
    return FromDb(db);
}

KnownLoudness FindLoudness(const std::optional<FileKey>& key) {
    if (!key) return KnownLoudness();
    Cache& cache = TheCache();
    std::lock_guard guard(cache.lock);
    const auto found = cache.known.find(*key);
    return found == cache.known.end() ? KnownLoudness() : found->second;
}

void StoreLoudness(const std::optional<FileKey>& key, const KnownLoudness& known) {
    if (!key) return;
    Cache& cache = TheCache();
    std::lock_guard guard(cache.lock);
    KnownLoudness& kept = cache.known[*key];
    // A shorter measurement never replaces a longer one.
    if (!kept.complete && known.seconds >= kept.seconds) kept = known;
}

}  // namespace

LevelledSource::LevelledSource(Decoder& decoder, const std::string& path, const Levelling& levelling)
    : decoder_(decoder), channels_(decoder.Format().channels), gain_(levelling.volume) {
    if (!levelling.evenOut) return;
    key_ = KeyOf(path);
    KnownLoudness known = FindLoudness(key_);
    const PcmFormat fmt = decoder.Format();
    if (!known.complete) meter_.emplace(fmt.sampleRate, fmt.channels);
    if (known.seconds == 0 && meter_) {
        LARGE_INTEGER frequency, start, now;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        for (;;) {
            const size_t at = ahead_.size();
            ahead_.resize(at + AheadChunkFrames * channels_);
            const size_t got = decoder_.Read(ahead_.data() + at, AheadChunkFrames);
            ahead_.resize(at + got * channels_);
            if (got == 0) {
                ended_ = true;
                break;
            }
            meter_->Add(ahead_.data() + at, got);
            QueryPerformanceCounter(&now);
            const double spent = double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
            if (meter_->Seconds() >= MeasuredSeconds || (meter_->Seconds() >= BlockSeconds && spent >= AheadBudgetSeconds))
                break;
        }
        known = Measured();
        StoreLoudness(key_, known);
        if (known.complete) meter_.reset();
    }
    // A mono sound leaves both speakers: 3 dB louder than its one channel measures.
    const double heard = known.loudness.lufs + (channels_ == 1 ? DualMonoDb : 0.0);
    gain_ *= EvenOutGain(heard, known.loudness.peak);
}

LevelledSource::~LevelledSource() {
    if (meter_ && meter_->Seconds() > 0) StoreLoudness(key_, Measured());
}

KnownLoudness LevelledSource::Measured() const {
    return {{meter_->IntegratedLoudness(), meter_->SamplePeak(), true}, meter_->Seconds(),
            ended_ || meter_->Seconds() >= MeasuredSeconds};
}

bool LevelledSource::Measuring() const {
    return meter_ && meter_->Seconds() < MeasuredSeconds;
}

size_t LevelledSource::Read(int16_t* out, size_t frames) {
    size_t got = 0;
    if (aheadAt_ < ahead_.size()) {
        got = std::min(frames, (ahead_.size() - aheadAt_) / channels_);
        std::copy_n(ahead_.data() + aheadAt_, got * channels_, out);
        aheadAt_ += got * channels_;
    } else {
        got = decoder_.Read(out, frames);
        if (got == 0) ended_ = true;
        if (Measuring()) meter_->Add(out, got);
    }
    // Untouched at 1, so the samples reach the device exactly as decoded.
    if (gain_ != 1.0) {
        for (size_t i = 0; i < got * channels_; ++i)
            out[i] = static_cast<int16_t>(std::clamp(std::lround(out[i] * gain_), -32768L, 32767L));
    }
    return got;
}

}  // namespace tunelark::fsound
