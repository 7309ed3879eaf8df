// Outside the FSOUND interface: how loud a stream plays. Evened out, a sound is measured
// (see loudness.h) and scaled to TargetLoudness; the user's volume scales it further. A
// file is measured once, up to its first 10 s, by decoding ahead of what plays; the
// figures are kept in memory by path, size and time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "fsound/decoder.h"
#include "fsound/fsound.h"
#include "fsound/limiter.h"
#include "fsound/loudness.h"

namespace tunelark::fsound {

struct Levelling {
    bool evenOut = false;
    double volume = 1.0;  // linear factor; 1 passes the samples on untouched
    // How long a first play may decode ahead to measure before it starts; the rest is
    // decoded ahead while it plays.
    double aheadSeconds = 0.006;
};

// For the stream's next FSOUND_Stream_Play. False for a handle that is no open stream.
bool SetStreamLevelling(FSOUND_STREAM* stream, const Levelling& levelling);

// What is known of a file's loudness, kept by its path, size and last write time.
struct KnownLoudness {
    Loudness loudness;
    double seconds = 0;    // measured so far
    bool complete = false;  // the whole file, or its first 10 s
};

// No sample of an evened-out sound leaves louder than this, of 32768: -1 dBFS is
// 29204.5, and a sample rounded to 29205 would pass it.
constexpr double PeakCeiling = 29204.0;

// The factor that brings a sound measured at `lufs` (as heard: a mono sound's figure
// + 3 dB) with sample peak `peak` (of full scale) to TargetLoudness: raised by at most
// 12 dB, and never so that its peak passes PeakCeiling. 1 for a sound not measured.
double EvenOutGain(double lufs, double peak);

// What a stream plays: its decoder's samples scaled for the levelling. Evened out, a file
// not yet measured is decoded ahead of what plays, within a few milliseconds before its
// start and in pieces between refills after it (DecodeAhead), and the gain follows the
// measurement as it grows, smoothly. Every sample then passes a look-ahead limiter at
// PeakCeiling, which does nothing while the gain holds the peaks under it.
class LevelledSource {
public:
    LevelledSource(Decoder& decoder, const std::string& path, const Levelling& levelling);
    ~LevelledSource();
    LevelledSource(const LevelledSource&) = delete;
    LevelledSource& operator=(const LevelledSource&) = delete;
    // As Decoder::Read.
    size_t Read(int16_t* out, size_t frames);
    // Decodes and measures one more piece ahead of the play, if the measurement wants
    // one; false when it does not. Each piece takes a fraction of a buffer's time.
    bool DecodeAhead();
    // The gain the next frame taken in gets, volume included.
    double Gain() const { return gain_; }
    // The deepest reduction the limiter applied (1: none).
    double DeepestReduction() const { return limiter_ ? limiter_->DeepestReduction() : 1.0; }

    // A file changed in place is another file: size and time are part of its key.
    using FileKey = std::tuple<std::string, unsigned long long, unsigned long long>;

private:
    bool Measuring() const;
    KnownLoudness Measured() const;
    bool DecodeMore();
    void AimGain(const KnownLoudness& known);
    void StepGain();

    Decoder& decoder_;
    // Taken once, as the file opens: what is measured is filed under the file that played.
    std::optional<FileKey> key_;
    unsigned channels_;
    double volume_;
    bool evenOut_;
    // The gain moves towards the target in dB, a little each frame.
    double gain_ = 1.0, targetGain_ = 1.0;
    double gainDb_ = 0, targetDb_ = 0, gainStep_ = 0;
    std::vector<int16_t> decoded_;  // decoded, not yet taken in: from decodedAt_ on
    size_t decodedAt_ = 0;
    std::optional<LoudnessMeter> meter_;
    double knownSeconds_ = 0;  // what an earlier play of the file measured
    std::optional<PeakLimiter> limiter_;
    bool ended_ = false;  // the decoder has given all it has
};

}  // namespace tunelark::fsound
