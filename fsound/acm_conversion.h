// One Audio Compression Manager conversion into 16-bit PCM, with its header prepared
// once over a source and an output buffer of its own, as the codecs want it.
#pragma once

#include <vector>

#include "fsound/handles.h"

namespace tunelark::fsound {

class AcmConversion {
public:
    AcmConversion() = default;
    ~AcmConversion();
    AcmConversion(const AcmConversion&) = delete;
    AcmConversion& operator=(const AcmConversion&) = delete;

    // Opens the conversion of `from` into `to` for pieces of `sourceBytes`. With
    // `outputBytes` 0 the output buffer is as large as the codec says such a piece
    // expands to, which must not exceed `outputLimit`.
    bool Open(const WAVEFORMATEX* from, const WAVEFORMATEX& to, DWORD sourceBytes, DWORD outputBytes,
              DWORD outputLimit);

    BYTE* Source() { return source_.data(); }
    DWORD SourceSize() const { return static_cast<DWORD>(source_.size()); }
    const BYTE* Output() const { return output_.data(); }

    // Converts the first `fed` bytes of Source(); `last` when no more will follow.
    // Answers false when the codec fails, else how much it took and gave.
    bool Convert(DWORD fed, bool last, DWORD& used, DWORD& produced);

private:
    AcmStreamHandle stream_;
    ACMSTREAMHEADER header_{};
    bool prepared_ = false;
    bool first_ = true;
    std::vector<BYTE> source_, output_;
};

}  // namespace tunelark::fsound
