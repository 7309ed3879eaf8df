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
// A piece decoded ahead between refills: a fraction of a 40 ms buffer at any rate.
constexpr size_t AheadChunkFrames = 1024;
// Decoded ahead of the play at most (4 MB): 10 s of 48 kHz stereo, 5 s at 192 kHz.
constexpr size_t MaxAheadSamples = 2 * 1024 * 1024;
// A gain that the growing measurement moves is brought there over this long, in dB.
constexpr double GainRampSeconds = 0.05;
constexpr double DualMonoDb = 3.0103;  // 10 log10(2)
// A measurement shorter than this moves the gain only its share of the way there (in
// dB): the first tens of milliseconds are often a sound's loudest (a bell's strike) or
// quietest (a fade-in), and taken whole they would start it several dB off. One gating
// block of the loudness measurement.
constexpr double TrustedSeconds = 0.4;

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

double Seconds(long long ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(ticks) / double(frequency.QuadPart);
}

long long Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// `share` of the way (in dB) to the gain that brings the sound to TargetLoudness, held
// under the ceiling that its peak allows.
double PartGain(double lufs, double peak, double share) {
    if (!std::isfinite(lufs)) return 1.0;
    double gain = std::pow(10.0, share * std::min(TargetLoudness - lufs, MaxRaiseDb) / 20.0);
    // The ceiling holds whichever way the target moves the sound.
    if (peak > 0) gain = std::min(gain, PeakCeiling / (peak * 32768.0));
    return gain;
}

}  // namespace

double EvenOutGain(double lufs, double peak) {
    return PartGain(lufs, peak, 1.0);
}

LevelledSource::LevelledSource(Decoder& decoder, const std::string& path, const Levelling& levelling)
    : decoder_(decoder),
      channels_(decoder.Format().channels),
      volume_(levelling.volume),
      evenOut_(levelling.evenOut && levelling.volume > 0),
      gain_(levelling.volume),
      targetGain_(levelling.volume) {
    if (!evenOut_) return;
    const PcmFormat fmt = decoder.Format();
    limiter_.emplace(fmt.sampleRate, channels_, PeakCeiling * volume_);
    gainDb_ = targetDb_ = 20.0 * std::log10(volume_);
    key_ = KeyOf(path);
    const KnownLoudness known = FindLoudness(key_);
    if (known.seconds > 0) AimGain(known);
    if (!known.complete) {
        meter_.emplace(fmt.sampleRate, fmt.channels);
        knownSeconds_ = known.seconds;
        const long long start = Now();
        while (Measuring() && decoded_.size() < MaxAheadSamples && DecodeMore() &&
               Seconds(Now() - start) < levelling.aheadSeconds) {
        }
    }
    // Nothing has played yet: the sound starts at the gain it was measured for.
    gain_ = targetGain_;
    gainDb_ = targetDb_;
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

bool LevelledSource::DecodeMore() {
    if (ended_) return false;
    const size_t at = decoded_.size();
    decoded_.resize(at + AheadChunkFrames * channels_);
    const size_t got = decoder_.Read(decoded_.data() + at, AheadChunkFrames);
    decoded_.resize(at + got * channels_);
    if (got == 0) ended_ = true;
    if (Measuring()) {
        meter_->Add(decoded_.data() + at, got);
        const KnownLoudness now = Measured();
        // What an earlier play measured stands until this one has measured more.
        if (now.seconds >= knownSeconds_ || now.complete) AimGain(now);
        if (now.complete) {
            StoreLoudness(key_, now);
            meter_.reset();
        }
    }
    return got > 0;
}

bool LevelledSource::DecodeAhead() {
    if (!evenOut_ || !Measuring() || ended_ || decoded_.size() - decodedAt_ >= MaxAheadSamples) return false;
    DecodeMore();
    return true;
}

void LevelledSource::AimGain(const KnownLoudness& known) {
    // A mono sound leaves both speakers: 3 dB louder than its one channel measures.
    const double heard = known.loudness.lufs + (channels_ == 1 ? DualMonoDb : 0.0);
    const double share = known.complete ? 1.0 : std::min(1.0, known.seconds / TrustedSeconds);
    const double target = volume_ * PartGain(heard, known.loudness.peak, share);
    if (target == targetGain_) return;
    targetGain_ = target;
    targetDb_ = 20.0 * std::log10(target);
    const double rampFrames = std::max(1.0, GainRampSeconds * decoder_.Format().sampleRate);
    gainStep_ = (targetDb_ - gainDb_) / rampFrames;
}

void LevelledSource::StepGain() {
    if (gain_ == targetGain_) return;
    gainDb_ += gainStep_;
    if (gainStep_ == 0 || (gainStep_ > 0) == (gainDb_ >= targetDb_)) {
        gainDb_ = targetDb_;
        gain_ = targetGain_;
    } else {
        gain_ = std::pow(10.0, gainDb_ / 20.0);
    }
}

size_t LevelledSource::Read(int16_t* out, size_t frames) {
    if (!evenOut_) {
        const size_t got = decoder_.Read(out, frames);
        // Untouched at 1, so the samples reach the device exactly as decoded.
        if (volume_ != 1.0) {
            for (size_t i = 0; i < got * channels_; ++i)
                out[i] = static_cast<int16_t>(std::clamp(std::lround(out[i] * volume_), -32768L, 32767L));
        }
        return got;
    }
    size_t done = 0;
    while (done < frames) {
        int16_t* to = out + done * channels_;
        if (decodedAt_ == decoded_.size()) {
            decoded_.clear();
            decodedAt_ = 0;
            if (!DecodeMore()) {
                if (!limiter_->Drain(to)) break;
                ++done;
                continue;
            }
        }
        StepGain();
        if (limiter_->Push(decoded_.data() + decodedAt_, gain_, to)) ++done;
        decodedAt_ += channels_;
    }
    // What was taken in goes, once it is half of what is held.
    if (decodedAt_ * 2 >= decoded_.size()) {
        decoded_.erase(decoded_.begin(), decoded_.begin() + static_cast<ptrdiff_t>(decodedAt_));
        decodedAt_ = 0;
    }
    return done;
}

}  // namespace tunelark::fsound
