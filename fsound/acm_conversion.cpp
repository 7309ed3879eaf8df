#include "fsound/acm_conversion.h"

#include <algorithm>

namespace tunelark::fsound {

AcmConversion::~AcmConversion() {
    if (prepared_) acmStreamUnprepareHeader(stream_.get(), &header_, 0);
}

bool AcmConversion::Open(const WAVEFORMATEX* from, const WAVEFORMATEX& to, DWORD sourceBytes, DWORD outputBytes,
                         DWORD outputLimit) {
    HACMSTREAM h = nullptr;
    WAVEFORMATEX pcm = to;
    if (acmStreamOpen(&h, nullptr, const_cast<WAVEFORMATEX*>(from), &pcm, nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR ||
        !h)
        return false;
    stream_.reset(h);
    if (outputBytes == 0 &&
        (acmStreamSize(stream_.get(), sourceBytes, &outputBytes, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR ||
         outputBytes == 0 || outputBytes > outputLimit))
        return false;
    source_.resize(sourceBytes);
    output_.resize(outputBytes);
    header_.cbStruct = sizeof header_;
    header_.pbSrc = source_.data();
    header_.cbSrcLength = sourceBytes;
    header_.pbDst = output_.data();
    header_.cbDstLength = outputBytes;
    if (acmStreamPrepareHeader(stream_.get(), &header_, 0) != MMSYSERR_NOERROR) return false;
    prepared_ = true;
    return true;
}

bool AcmConversion::Convert(DWORD fed, bool last, DWORD& used, DWORD& produced) {
    header_.cbSrcLength = std::min(fed, SourceSize());
    header_.cbSrcLengthUsed = 0;
    header_.cbDstLengthUsed = 0;
    DWORD flags = ACM_STREAMCONVERTF_BLOCKALIGN;
    if (first_) flags |= ACM_STREAMCONVERTF_START;
    if (last) flags |= ACM_STREAMCONVERTF_END;
    first_ = false;
    if (acmStreamConvert(stream_.get(), &header_, flags) != MMSYSERR_NOERROR) return false;
    // A codec's word on what it used or gave is kept within the buffers.
    used = std::min(header_.cbSrcLengthUsed, header_.cbSrcLength);
    produced = std::min(header_.cbDstLengthUsed, header_.cbDstLength);
    return true;
}

}  // namespace tunelark::fsound
