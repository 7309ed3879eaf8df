// The one PCM format this layer hands to the Windows audio functions: 16-bit signed
// samples at the sound's own rate and channel count.
#pragma once

#include <windows.h>
#include <mmreg.h>

namespace tunelark::fsound {

inline WAVEFORMATEX Pcm16WaveFormat(unsigned channels, unsigned sampleRate) {
    WAVEFORMATEX wf{};
    wf.wFormatTag = WAVE_FORMAT_PCM;
    wf.nChannels = static_cast<WORD>(channels);
    wf.nSamplesPerSec = sampleRate;
    wf.wBitsPerSample = 16;
    wf.nBlockAlign = static_cast<WORD>(channels * 2);
    wf.nAvgBytesPerSec = wf.nBlockAlign * sampleRate;
    return wf;
}

}  // namespace tunelark::fsound
