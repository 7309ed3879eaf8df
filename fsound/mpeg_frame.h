// MPEG audio frame headers (layers I to III, MPEG 1, 2 and 2.5), read by hand: the
// Audio Compression Manager needs the stream's rate, channels and frame size up front.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tunelark::fsound {

struct MpegFrame {
    int version = 0;      // 1 = MPEG 1, 2 = MPEG 2, 25 = MPEG 2.5
    int layer = 0;        // 1, 2 or 3
    unsigned bitrate = 0; // bits per second
    unsigned sampleRate = 0;
    unsigned channels = 0;
    unsigned channelMode = 0;  // 0 stereo, 1 joint, 2 dual, 3 mono
    unsigned modeExtension = 0;
    unsigned emphasis = 0;
    bool padding = false;
    bool crc = false;
    unsigned frameBytes = 0;  // whole frame, header included
};

// Decodes the four header bytes at p. False for anything that is not a usable header
// (bad sync, reserved fields, free-format bitrate).
bool ParseMpegFrame(const unsigned char* p, MpegFrame& frame);

// Whether two frames can belong to one stream.
inline bool SameMpegStream(const MpegFrame& a, const MpegFrame& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate &&
           a.channels == b.channels;
}

// Samples per channel in one frame.
unsigned MpegSamplesPerFrame(const MpegFrame& f);

// Where a stream starts in buf: the first frame followed by two more of the same stream,
// or by the end of the audio when `bufEndsAudio` says buf holds all of it.
bool FindMpegStream(const unsigned char* buf, size_t size, bool bufEndsAudio, size_t& offset,
                    MpegFrame& first);

// What an encoder's info frame tells about the sound around it.
struct MpegInfoFrame {
    bool lame = false;  // the LAME extension was there, with the two counts below
    unsigned encoderDelay = 0;  // samples the encoder added at the start
    unsigned padding = 0;       // and at the end
};

// Whether the frame at p (`size` bytes available, f its header) is an encoder's info
// frame (Xing, "Info" or VBRI) that holds no sound.
bool ParseMpegInfoFrame(const unsigned char* p, size_t size, const MpegFrame& f, MpegInfoFrame& info);

// Samples of decoder delay the LAME convention counts on, and trims with the encoder's.
constexpr unsigned MpegDecoderDelay = 528 + 1;

}  // namespace tunelark::fsound
