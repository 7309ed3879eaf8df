// Timing of the last started stream, for measuring how long a play request takes to
// reach the audio device. Not part of the FSOUND interface.
#pragma once

namespace tunelark::fsound {

struct PlayTiming {
    // QueryPerformanceCounter readings; 0 when not (yet) happened.
    long long requested = 0;    // FSOUND_Stream_Play accepted the request
    long long firstBuffer = 0;  // the stream's first buffer was handed to waveOutWrite
};

// For the stream most recently started with FSOUND_Stream_Play.
PlayTiming LastPlayTiming();

}  // namespace tunelark::fsound
