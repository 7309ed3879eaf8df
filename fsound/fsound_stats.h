// Outside the FSOUND interface: the timing of the last started stream, for measuring
// how long a play request takes to reach the audio device, who waited for a device to
// close, and a wait for the devices of stopped streams to close.
#pragma once

namespace tunelark::fsound {

struct PlayTiming {
    // QueryPerformanceCounter readings; 0 when not (yet) happened.
    long long requested = 0;    // FSOUND_Stream_Play accepted the request
    long long firstBuffer = 0;  // the device was started with the stream's first buffers
    unsigned long threadId = 0;  // the stream's own thread
};

// For the stream most recently started with FSOUND_Stream_Play.
PlayTiming LastPlayTiming();

// How often the calling thread has waited for a stream's thread, and so its device, to
// end: the host's thread never should, as stopping and closing only signal.
unsigned TeardownWaitsOnThisThread();
unsigned TeardownWaitsOn(unsigned long threadId);

// How many files have been opened as streams in this process, played or not.
unsigned StreamOpens();

// How often Media Foundation has been started in this process: once per opening of the
// sound system that needed it, not once per file.
unsigned MediaFoundationStarts();
// Opens through Media Foundation still running on their threads, those given up on too.
unsigned MediaFoundationOpensOut();
// How often a close gave up waiting for the threads started since Media Foundation was.
unsigned MediaFoundationWaitsGivenUp();

// Waits until every stopped or closed stream has closed its device. Stopping and
// closing do not wait; FSOUND_Stream_Play does before it opens a device.
void WaitForStreamTeardowns();

}  // namespace tunelark::fsound
