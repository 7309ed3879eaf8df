// The loudness meter's figures for 16-bit PCM on standard input, for tests/loudness_tests.py
// (built natively): "LUFS PEAK SECONDS", LUFS -inf for silence.
//   loudness_probe RATE CHANNELS < samples.s16le
#include <cstdio>
#include <cstdlib>

#include "fsound/loudness.h"

int main(int argc, char** argv) {
    const unsigned channels = argc == 3 ? std::atoi(argv[2]) : 0;
    if (channels != 1 && channels != 2) return 2;
    tunelark::fsound::LoudnessMeter meter(std::atoi(argv[1]), channels);
    int16_t piece[4093 * 2];  // an odd size, as a decoder's pieces may be
    size_t frames;
    while ((frames = std::fread(piece, 2 * channels, 4093, stdin)) > 0) meter.Add(piece, frames);
    std::printf("%.4f %.6f %.4f\n", meter.IntegratedLoudness(), meter.SamplePeak(), meter.Seconds());
}
