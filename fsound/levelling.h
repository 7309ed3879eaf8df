// Outside the FSOUND interface: how loud a stream plays. Evened out, a sound is measured
// (see loudness.h) and scaled to TargetLoudness; the user's volume scales it further. A
// file is measured once: on what its first play decodes first, then, while it plays,
// on up to its first 10 s; the figures are kept in memory by path, size and time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "fsound/decoder.h"
#include "fsound/fsound.h"
#include "fsound/loudness.h"

namespace tunelark::fsound {

struct Levelling {
    bool evenOut = false;
    double volume = 1.0;  // linear factor; 1 passes the samples on untouched
};

// For the stream's next FSOUND_Stream_Play. False for a handle that is no open stream.
bool SetStreamLevelling(FSOUND_STREAM* stream, const Levelling& levelling);

// What is known of a file's loudness, kept by its path, size and last write time.
struct KnownLoudness {
    Loudness loudness;
    double seconds = 0;    // measured so far
    bool complete = false;  // the whole file, or its first 10 s
};

// What a stream plays: its decoder's samples scaled for the levelling. A file not yet
// measured is measured first on what decodes within a few milliseconds (played first
// too, nothing is decoded twice); what plays after is measured on the way until the
// file's first 10 s are, and the figures are kept when the stream ends.
class LevelledSource {
public:
    LevelledSource(Decoder& decoder, const std::string& path, const Levelling& levelling);
    ~LevelledSource();
    LevelledSource(const LevelledSource&) = delete;
    LevelledSource& operator=(const LevelledSource&) = delete;
    // As Decoder::Read.
    size_t Read(int16_t* out, size_t frames);

    // A file changed in place is another file: size and time are part of its key.
    using FileKey = std::tuple<std::string, unsigned long long, unsigned long long>;

private:
    bool Measuring() const;
    KnownLoudness Measured() const;
    Decoder& decoder_;
    // Taken once, as the file opens: what is measured is filed under the file that played.
    std::optional<FileKey> key_;
    unsigned channels_;
    double gain_ = 1.0;
    std::vector<int16_t> ahead_;  // decoded to measure, not yet played
    size_t aheadAt_ = 0;
    std::optional<LoudnessMeter> meter_;
    bool ended_ = false;
};

}  // namespace tunelark::fsound
