#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/sound_files.h"
#include "audio_capture.h"
#include "fsound/decoder.h"
#include "fsound/fsound.h"
#include "fsound/fsound_stats.h"
#include "fsound/levelling.h"
#include "fsound/loudness.h"
#include "fsound/mpeg_frame.h"
#include "fsound/thread_starts.h"
#include "fsound/wav_parse.h"

using namespace testsupport;
using tunelark::fsound::MpegFrame;
using tunelark::fsound::ParseMpegFrame;

namespace {

bool InitAsThePluginDoes() {
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    FSOUND_SetDriver(0);
    return FSOUND_Init(40100, 32, FSOUND_INIT_GLOBALFOCUS) != 0;
}

FSOUND_STREAM* OpenSound(const std::string& name) {
    return FSOUND_Stream_Open(SoundPath(name).c_str(), FSOUND_LOOP_OFF, 0, 0);
}

std::string TempCopy(const std::string& name) {
    char dir[MAX_PATH], file[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "tlk", 0, file);
    CopyFileA(SoundPath(name).c_str(), file, FALSE);
    return file;
}

// Holds a thread in its ending, after the sound layer's thread callback has seen it end:
// the loader calls this one (.CRT$XLU) after that one (.CRT$XLT).
DWORD heldAtEnd = 0;
HANDLE atEnd = nullptr, endGate = nullptr;
void NTAPI HoldAtEnd(PVOID, DWORD reason, PVOID) {
    if (reason != DLL_THREAD_DETACH || GetCurrentThreadId() != heldAtEnd) return;
    SetEvent(atEnd);
    WaitForSingleObject(endGate, 10000);
}

// --- MPEG frame headers ------------------------------------------------------------

TEST(MpegFrameTest, ReadsRateChannelsAndFrameSizeOfEachVersionAndLayer) {
    const struct {
        unsigned char header[4];
        const char* name;
        int version, layer;
        unsigned bitrate, sampleRate, channels, frameBytes;
        bool crc;
    } rows[] = {
        {{0xFF, 0xFB, 0x90, 0x00}, "MPEG 1 layer III 128k 44.1k stereo", 1, 3, 128000, 44100, 2, 417, false},
        {{0xFF, 0xFB, 0x92, 0x00}, "the same, padded: a byte more", 1, 3, 128000, 44100, 2, 418, false},
        // Half-size frames: 576 samples each.
        {{0xFF, 0xF3, 0x40, 0xC0}, "MPEG 2 layer III 32k 22.05k mono", 2, 3, 32000, 22050, 1, 104, false},
        {{0xFF, 0xE3, 0x10, 0x40}, "MPEG 2.5 layer III 8k 11.025k joint", 25, 3, 8000, 11025, 2, 52, false},
        {{0xFF, 0xFC, 0xA4, 0x00}, "MPEG 1 layer II 192k 48k stereo, CRC", 1, 2, 192000, 48000, 2, 576, true},
        {{0xFF, 0xFD, 0x14, 0xC0}, "layer II mono at 32k is allowed", 1, 2, 32000, 48000, 1, 96, false},
        // (12 * 32000 / 44100) slots of 4 bytes.
        {{0xFF, 0xFF, 0x10, 0x00}, "MPEG 1 layer I 32k 44.1k stereo", 1, 1, 32000, 44100, 2, 32, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MpegFrame f;
        ASSERT_TRUE(ParseMpegFrame(row.header, f));
        EXPECT_EQ(f.version, row.version);
        EXPECT_EQ(f.layer, row.layer);
        EXPECT_EQ(f.bitrate, row.bitrate);
        EXPECT_EQ(f.sampleRate, row.sampleRate);
        EXPECT_EQ(f.channels, row.channels);
        EXPECT_EQ(f.frameBytes, row.frameBytes);
        EXPECT_EQ(f.crc, row.crc);
    }
}

TEST(MpegFrameTest, RefusesFalseSyncsAndReservedValues) {
    const unsigned char bad[][4] = {
        {0xFF, 0x7B, 0x90, 0x00},  // incomplete sync
        {0xFF, 0xEB, 0x90, 0x00},  // reserved version
        {0xFF, 0xF9, 0x90, 0x00},  // reserved layer
        {0xFF, 0xFB, 0x00, 0x00},  // free-format bitrate
        {0xFF, 0xFB, 0xF0, 0x00},  // bad bitrate
        {0xFF, 0xFB, 0x9C, 0x00},  // reserved sample rate
        {0xFF, 0xFB, 0x90, 0x02},  // reserved emphasis
        {0xFF, 0xFD, 0x14, 0x00},  // layer II stereo at 32k is not allowed
        {0xFF, 0xFD, 0xE4, 0xC0},  // layer II mono above 192k is not allowed
    };
    for (const auto& h : bad) {
        MpegFrame f;
        EXPECT_FALSE(ParseMpegFrame(h, f)) << std::hex << int(h[1]) << ' ' << int(h[2]) << ' ' << int(h[3]);
    }
}

// --- Playing into the capture device -----------------------------------------------

class FsoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(AudioMode(), "capture") << "run through the build's wine-run.sh with TUNELARK_AUDIO=capture";
        ASSERT_GT(waveOutGetNumDevs(), 0u) << "the capture device is missing";
        ASSERT_TRUE(InitAsThePluginDoes());
        ResetCapture();
    }
    void TearDown() override { FSOUND_Close(); }
};

// Plays a whole sound from a fresh capture: what came out (nothing if it would not open).
CaptureSummary PlayWhole(const std::string& name, const tunelark::fsound::Levelling& levelling = {}) {
    ResetCapture();
    FSOUND_STREAM* s = OpenSound(name);
    if (!s) {
        ADD_FAILURE() << name << " would not open";
        return {};
    }
    EXPECT_TRUE(tunelark::fsound::SetStreamLevelling(s, levelling));
    EXPECT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0) << name;
    const CaptureSummary r = WaitForCapture();
    EXPECT_EQ(FSOUND_Stream_Close(s), 1) << name;
    return r;
}

// A handle that is not a stream, or no longer one: every call with it fails, without
// touching what it points to.
void ExpectNotAStream(FSOUND_STREAM* s, const char* what) {
    EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, s), 0) << what;
    EXPECT_EQ(FSOUND_Stream_Stop(s), 0) << what;
    EXPECT_EQ(FSOUND_Stream_Close(s), 0) << what;
}

// Test names from sound file names.
const auto FileTestName = [](const auto& info) {
    std::string name = info.param.file;
    for (char& ch : name)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
};

struct SoundCase {
    const char* file;
    double seconds;
    double leftHz, rightHz;  // tone per channel; mono sounds play on both
    // The tones start at once: sound must be heard by then (an encoder's info frame
    // played as audio, or its delay left in, comes out as a late start).
    double startsBy = 1.0;
    // The system's codecs may add or drop a block at either end.
    double lengthTolerance = 0.06;
    int phaseJumps = 0;  // windows where the tone's phase may jump (see PhaseJumps)
};

void PrintTo(const SoundCase& c, std::ostream* os) { *os << c.file; }

class FsoundPlayTest : public FsoundTest, public ::testing::WithParamInterface<SoundCase> {};

TEST_P(FsoundPlayTest, PlaysTheWholeSoundAtItsOwnPitch) {
    const SoundCase& c = GetParam();
    const CaptureSummary r = PlayWhole(c.file);
    EXPECT_NEAR(r.audibleSeconds, c.seconds, c.lengthTolerance);
    EXPECT_GE(r.firstAudible, 0.0);
    EXPECT_LE(r.firstAudible, c.startsBy);
    RecordProperty("first_audible_ms", std::to_string(int(r.firstAudible * 1000)));
    // The tones were made at half of full scale.
    EXPECT_GT(r.peak, 12000);
    EXPECT_LT(r.peak, 22000);
    EXPECT_NEAR(r.crossingsLeft, 2 * c.leftHz, 2 * c.leftHz * 0.03);
    EXPECT_NEAR(r.crossingsRight, 2 * c.rightHz, 2 * c.rightHz * 0.03);
    EXPECT_LE(PhaseJumps(ReadCapture(), c.leftHz, c.rightHz), c.phaseJumps);

    // Evened out, measured ahead as it plays: as whole, as steady, and under the ceiling.
    const CaptureSummary levelled = PlayWhole(c.file, {true, 1.0});
    EXPECT_NEAR(levelled.audibleSeconds, c.seconds, c.lengthTolerance) << "evened out";
    EXPECT_LE(levelled.firstAudible, c.startsBy) << "evened out";
    EXPECT_LE(levelled.peak, 29204) << "evened out";
    EXPECT_LE(PhaseJumps(ReadCapture(), c.leftHz, c.rightHz), c.phaseJumps) << "evened out";
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FsoundPlayTest,
    ::testing::Values(SoundCase{"tone_8bit_mono_11025.wav", 0.5, 440, 440},
                      SoundCase{"tone_8bit_stereo_8000.wav", 0.4, 440, 660},
                      SoundCase{"tone_16bit_stereo_22050.wav", 0.5, 440, 660},
                      SoundCase{"tone_16bit_mono_44100.wav", 0.3, 440, 440},
                      SoundCase{"tone_16bit_mono_1000.wav", 0.5, 220, 220},
                      SoundCase{"tone_16bit_stereo_3000.wav", 0.5, 440, 660},
                      SoundCase{"tone_16bit_mono_5000.wav", 0.5, 440, 440},
                      SoundCase{"tone_16bit_stereo_192000.wav", 0.3, 440, 660},
                      SoundCase{"tone_stereo_44100.mp3", 0.6, 440, 660},
                      SoundCase{"tone_mono_22050.mp3", 0.6, 440, 440},
                      // 8 kbit/s at 8 kHz: frames too small for an info frame, so the
                      // encoder's delay and padding (140 ms) are not trimmed.
                      SoundCase{"tone_mono_8000_8k.mp3", 0.68, 440, 440, 1.0, 0.06},
                      SoundCase{"tone_id3.mp3", 0.6, 440, 660},
                      SoundCase{"tone_stereo_44100.mp2", 0.6, 440, 660},
                      SoundCase{"tone_mono_32000.mp2", 0.6, 440, 440},
                      SoundCase{"tone_stereo_44100.ogg", 0.6, 440, 660},
                      SoundCase{"tone_mono_22050.ogg", 0.6, 440, 440},
                      SoundCase{"tone_24bit_ext_mono_48000.wav", 0.5, 440, 440},
                      SoundCase{"tone_24bit_stereo_44100.wav", 0.4, 440, 660},
                      SoundCase{"tone_32bit_ext_stereo_96000.wav", 0.3, 440, 660},
                      SoundCase{"tone_32bit_mono_16000.wav", 0.5, 440, 440},
                      SoundCase{"tone_float_mono_22050.wav", 0.5, 440, 440},
                      SoundCase{"tone_float_ext_stereo_48000.wav", 0.4, 440, 660},
                      SoundCase{"tone_double_stereo_8000.wav", 0.5, 440, 660},
                      SoundCase{"tone_double_ext_mono_32000.wav", 0.4, 440, 440},
                      SoundCase{"tone_ulaw_mono_8000.wav", 0.5, 440, 440},
                      SoundCase{"tone_alaw_stereo_16000.wav", 0.4, 440, 660},
                      SoundCase{"tone_ima_mono_22050.wav", 0.5, 440, 440},
                      SoundCase{"tone_ima_stereo_22050.wav", 0.4, 440, 660},
                      SoundCase{"tone_msadpcm_mono_11025.wav", 0.45, 440, 440},
                      SoundCase{"tone_msadpcm_stereo_48000.wav", 0.4, 440, 660},
                      SoundCase{"tone_gsm_mono_8000.wav", 0.5, 440, 440, 1.0, 0.06, 4},  // settles in 40 ms
                      SoundCase{"tone_oddchunk_stereo_44100.wav", 0.5, 440, 660},
                      SoundCase{"tone_streaming_ffff_stereo_44100.wav", 0.5, 440, 660},
                      SoundCase{"tone_streaming_zero_ima_22050.wav", 0.5, 440, 440},
                      SoundCase{"tone_stereo_44100.raw", 0.5, 440, 660},
                      SoundCase{"TONE_UPPER.RAW", 0.5, 440, 660},
                      // Capture windows are 10 ms; a frame of silence is 24-26 ms.
                      SoundCase{"tone_lame_vbr.mp3", 0.6, 440, 660, 0.012},
                      SoundCase{"tone_lame_cbr_48000.mp3", 0.6, 440, 440, 0.012},
                      SoundCase{"tone_no_info.mp3", 0.6, 440, 660},
                      SoundCase{"long_44100.mp3", 3.0, 440, 660, 0.012},
                      SoundCase{"long_44100.mp2", 3.0, 440, 660},
                      SoundCase{"long_44100.ogg", 3.0, 440, 660},
                      // Through Media Foundation.
                      SoundCase{"tone_stereo_44100.wma", 0.6, 440, 660},
                      SoundCase{"tone_mono_22050.wma", 0.6, 440, 440},
                      // Wine's AAC path loses one 1024-frame block: 23 ms, and 46 ms at 22050 Hz.
                      SoundCase{"tone_stereo_44100.m4a", 0.6, 440, 660, 1.0, 0.08},
                      SoundCase{"tone_mono_22050.m4a", 0.6, 440, 440, 1.0, 0.08},
                      SoundCase{"tone_stereo_44100.flac", 0.6, 440, 660},
                      SoundCase{"tone_mono_22050.flac", 0.6, 440, 440}),
    FileTestName);

TEST_F(FsoundTest, PlayReturnsAtOnceAndStopCutsTheSoundShortAndPlayStartsItAgainFromTheBeginning) {
    FSOUND_STREAM* s = OpenSound("long_16bit_mono_8000.wav");
    ASSERT_NE(s, nullptr);
    LARGE_INTEGER freq, before, after;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&before);
    ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
    QueryPerformanceCounter(&after);
    EXPECT_LT(double(after.QuadPart - before.QuadPart) / freq.QuadPart, 0.25)
        << "Play must not wait for the sound";
    // It records when the first buffer went out.
    tunelark::fsound::PlayTiming t{};
    for (int i = 0; i < 200 && t.firstBuffer == 0; ++i) {
        Sleep(10);
        t = tunelark::fsound::LastPlayTiming();
    }
    EXPECT_GE(t.requested, before.QuadPart);
    EXPECT_LE(t.requested, after.QuadPart);
    EXPECT_GE(t.firstBuffer, t.requested);
    EXPECT_LT(double(t.firstBuffer - t.requested) / freq.QuadPart, 1.0);
    RecordProperty("first_buffer_us", std::to_string((t.firstBuffer - t.requested) * 1000000 / freq.QuadPart));

    while (CaptureBytes() == 0) Sleep(5);  // bounded by the test timeout
    Sleep(50);
    // Its thread held as it ends until the wait is counted (or 5 s), so that there is a
    // wait to count however the threads are scheduled.
    heldAtEnd = t.threadId;
    atEnd = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    endGate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const unsigned waits = tunelark::fsound::TeardownWaitsOnThisThread();
    std::thread releaser([&, self = GetCurrentThreadId()] {
        WaitForSingleObject(atEnd, 5000);
        for (int i = 0; i < 500 && tunelark::fsound::TeardownWaitsOn(self) == waits; ++i) Sleep(10);
        SetEvent(endGate);
    });
    EXPECT_EQ(FSOUND_Stream_Stop(s), 1);
    tunelark::fsound::WaitForStreamTeardowns();
    releaser.join();
    heldAtEnd = 0;
    for (HANDLE h : {atEnd, endGate}) CloseHandle(h);
    EXPECT_EQ(tunelark::fsound::TeardownWaitsOnThisThread(), waits + 1) << "the wait for its thread went uncounted";
    const long long atStop = CaptureBytes();
    CaptureSummary r = WaitForCapture();
    EXPECT_GT(r.audibleSeconds, 0.0);
    EXPECT_LT(r.audibleSeconds, 1.5) << "the 3 s sound went on after the stop";
    EXPECT_EQ(CaptureBytes(), atStop) << "the device was still written to after its teardown";
    EXPECT_EQ(FSOUND_Stream_Stop(s), 1) << "stopping a stopped stream is harmless";

    ResetCapture();
    ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
    r = WaitForCapture();
    EXPECT_NEAR(r.audibleSeconds, 3.0, 0.06);
    EXPECT_NEAR(r.crossingsLeft, 880, 880 * 0.03);
    EXPECT_EQ(FSOUND_Stream_Close(s), 1);
}

TEST_F(FsoundTest, ClosingAPlayingStreamSilencesItAndReleasesTheFile) {
    const std::string copy = TempCopy("long_16bit_mono_8000.wav");
    FSOUND_STREAM* s = FSOUND_Stream_Open(copy.c_str(), FSOUND_LOOP_OFF, 0, 0);
    ASSERT_NE(s, nullptr);
    ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
    while (CaptureBytes() == 0) Sleep(5);
    EXPECT_EQ(FSOUND_Stream_Close(s), 1);
    tunelark::fsound::WaitForStreamTeardowns();
    const long long atClose = CaptureBytes();
    EXPECT_TRUE(DeleteFileA(copy.c_str())) << "the file is still held open";
    const CaptureSummary r = WaitForCapture();
    EXPECT_LT(r.audibleSeconds, 1.5);
    EXPECT_EQ(CaptureBytes(), atClose);
    ExpectNotAStream(s, "a closed stream");
}

TEST_F(FsoundTest, CloseOfTheSoundSystemStopsWhatPlaysAndInvalidatesStreams) {
    const std::string copy = TempCopy("tone_stereo_44100.ogg");
    FSOUND_STREAM* ogg = FSOUND_Stream_Open(copy.c_str(), FSOUND_LOOP_OFF, 0, 0);
    FSOUND_STREAM* wav = OpenSound("long_16bit_mono_8000.wav");
    ASSERT_NE(ogg, nullptr);
    ASSERT_NE(wav, nullptr);
    ASSERT_NE(FSOUND_Stream_Play(FSOUND_FREE, wav), 0);
    while (CaptureBytes() == 0) Sleep(5);
    FSOUND_Close();
    const long long atClose = CaptureBytes();
    EXPECT_LT(WaitForCapture().audibleSeconds, 1.5);
    EXPECT_EQ(CaptureBytes(), atClose);
    EXPECT_TRUE(DeleteFileA(copy.c_str())) << "an open stream kept its file after FSOUND_Close";
    ExpectNotAStream(wav, "a stream that played before FSOUND_Close");
    ExpectNotAStream(ogg, "a stream opened before FSOUND_Close");
    EXPECT_EQ(OpenSound("tone_8bit_mono_11025.wav"), nullptr) << "open after FSOUND_Close";
    FSOUND_Close();  // twice is harmless
}

TEST_F(FsoundTest, FilesThatAreNotPlayableFailAtOpenAndStaySilent) {
    for (const char* name : {"empty.wav", "text.wav", "random.mp3", "random.ogg", "not_pcm.wav",
                             "truncated.ogg", "no_such_file.wav", "empty.raw", "raw_as.snd",
                             "surround_6ch.flac"}) {
        const std::string copy = TempCopy(name);
        EXPECT_EQ(OpenSound(name), nullptr) << name;
        EXPECT_EQ(FSOUND_Stream_Open(copy.c_str(), FSOUND_LOOP_OFF, 0, 0), nullptr) << name;
        EXPECT_TRUE(DeleteFileA(copy.c_str())) << name << ": a refused file stayed open";
    }
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    EXPECT_EQ(FSOUND_Stream_Open(dir, FSOUND_LOOP_OFF, 0, 0), nullptr) << "a directory";
    EXPECT_EQ(FSOUND_Stream_Open(nullptr, FSOUND_LOOP_OFF, 0, 0), nullptr);
    EXPECT_EQ(FSOUND_Stream_Open("", FSOUND_LOOP_OFF, 0, 0), nullptr);
    // Only whole files: a part of one (offset, length) is refused rather than misread.
    EXPECT_EQ(FSOUND_Stream_Open(SoundPath("tone_8bit_mono_11025.wav").c_str(), FSOUND_LOOP_OFF, 44, 0), nullptr);
    EXPECT_EQ(FSOUND_Stream_Open(SoundPath("tone_8bit_mono_11025.wav").c_str(), FSOUND_LOOP_OFF, 0, 100), nullptr);
    EXPECT_EQ(SummariseCapture(ReadCapture()).audibleSeconds, 0.0);
}

// Damaged files: refused at open, or they play what they hold (at least minSeconds) and
// end (by maxSeconds). Either way nothing louder than the test tones comes out, and the
// next sound plays as it should.
struct BrokenCase {
    const char* file;
    double maxSeconds;  // 0: refused at open
    double minSeconds = 0;
};

void PrintTo(const BrokenCase& c, std::ostream* os) { *os << c.file; }

class FsoundBrokenTest : public FsoundTest, public ::testing::WithParamInterface<BrokenCase> {};

TEST_P(FsoundBrokenTest, IsRefusedOrEndsQuietlyAndTheNextSoundPlays) {
    const BrokenCase& c = GetParam();
    FSOUND_STREAM* s = OpenSound(c.file);
    if (c.maxSeconds == 0) {
        EXPECT_EQ(s, nullptr);
    } else {
        ASSERT_NE(s, nullptr);
        EXPECT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0);
    }
    CaptureSummary r = WaitForCapture();
    EXPECT_LE(r.audibleSeconds, c.maxSeconds + 0.06);
    EXPECT_GE(r.audibleSeconds, c.minSeconds);
    EXPECT_LT(r.peak, 22000) << "louder than anything in the file";
    if (s) {
        EXPECT_EQ(FSOUND_Stream_Close(s), 1);
    }

    tunelark::fsound::WaitForStreamTeardowns();
    r = PlayWhole("tone_16bit_stereo_22050.wav");
    EXPECT_NEAR(r.audibleSeconds, 0.5, 0.06);
    EXPECT_NEAR(r.crossingsRight, 1320, 1320 * 0.03);
}

INSTANTIATE_TEST_SUITE_P(
    Wav, FsoundBrokenTest,
    ::testing::Values(BrokenCase{"broken_truncated_header.wav", 0}, BrokenCase{"broken_data_before_fmt.wav", 0},
                      BrokenCase{"broken_no_data.wav", 0}, BrokenCase{"broken_zero_channels.wav", 0},
                      BrokenCase{"broken_zero_rate.wav", 0}, BrokenCase{"broken_zero_block_align.wav", 0},
                      BrokenCase{"broken_many_channels.wav", 0}, BrokenCase{"broken_absurd_rate.wav", 0},
                      BrokenCase{"broken_rate_999.wav", 0}, BrokenCase{"broken_rate_192001.wav", 0},
                      BrokenCase{"broken_bits_beyond_block.wav", 0}, BrokenCase{"broken_fmt_size_lies.wav", 0},
                      BrokenCase{"broken_cbsize_lies.wav", 0}, BrokenCase{"broken_riff_size_tiny.wav", 0},
                      BrokenCase{"broken_unknown_subformat.wav", 0}, BrokenCase{"broken_unknown_codec.wav", 0},
                      BrokenCase{"broken_data_size_lies.wav", 0.3, 0.1}, BrokenCase{"broken_ima_cut_mid_block.wav", 0.45, 0.15},
                      BrokenCase{"broken_msadpcm_bad_predictor.wav", 0.45, 0.15}),
    FileTestName);

// Damaged MPEG and Ogg files: refused, or played up to the damage and no further.
INSTANTIATE_TEST_SUITE_P(
    MpegAndOgg, FsoundBrokenTest,
    ::testing::Values(BrokenCase{"bad_comment_count.ogg", 0}, BrokenCase{"bad_setup_page.ogg", 0},
                      // The long sounds are 3 s; the damage lies about half-way.
                      BrokenCase{"bad_middle_page.ogg", 2.5}, BrokenCase{"cut_mid_page.ogg", 2.0},
                      // 1.01 s of sound before the damage, 2 s after it.
                      BrokenCase{"missing_middle_page.ogg", 1.02, 0.95}, BrokenCase{"granule_backwards.ogg", 1.02, 0.95},
                      BrokenCase{"bad_frame.mp3", 1.7}, BrokenCase{"lying_header.mp3", 1.7},
                      BrokenCase{"cut_mid_frame.mp3", 1.7}, BrokenCase{"false_syncs.mp3", 0.2},
                      BrokenCase{"cut_mid_frame.mp2", 1.7}),
    FileTestName);

// Float samples beyond full scale are clipped, not wrapped; wider integers keep their top
// 16 bits whatever their container.
TEST(WavToPcm16Test, ClipsFloatAndKeepsTheTopOfWideIntegers) {
    using tunelark::fsound::WavEncoding;
    using tunelark::fsound::WavInfo;
    auto convert = [](WavEncoding encoding, unsigned width, const void* bytes) {
        WavInfo info;
        info.encoding = encoding;
        info.channels = 1;
        info.containerBytes = width;
        info.blockAlign = static_cast<uint16_t>(width);
        int16_t out = 12345;
        EXPECT_EQ(tunelark::fsound::WavToPcm16(info, static_cast<const uint8_t*>(bytes), width, &out), 1u);
        return out;
    };
    for (const auto& [value, expected] : std::vector<std::pair<float, int16_t>>{
             {0.5f, 16384}, {-1.0f, -32768}, {1.0f, 32767}, {7.5f, 32767}, {-1e30f, -32768}, {NAN, 0}, {INFINITY, 32767}}) {
        EXPECT_EQ(convert(WavEncoding::Float, 4, &value), expected) << value;
    }
    const double big = -3.0;
    EXPECT_EQ(convert(WavEncoding::Float, 8, &big), -32768);
    const uint8_t s24[3] = {0xFF, 0x34, 0x92}, s32[4] = {0x01, 0x02, 0xFF, 0x7F}, u8 = 0x00;
    EXPECT_EQ(convert(WavEncoding::Pcm, 3, s24), int16_t(0x9234));
    EXPECT_EQ(convert(WavEncoding::Pcm, 4, s32), 0x7FFF);
    EXPECT_EQ(convert(WavEncoding::Pcm, 1, &u8), -32768);
}

// Damaged files that only the system's codecs take on: refused, or cut short, and never
// in the way of the next sound.
TEST_F(FsoundTest, DamagedFilesForTheSystemCodecsEndCleanly) {
    for (const char* name : {"truncated.wma", "garbage.wma"}) {
        ResetCapture();
        FSOUND_STREAM* s = OpenSound(name);
        if (s) {
            EXPECT_NE(FSOUND_Stream_Play(FSOUND_FREE, s), 0) << name;
            const CaptureSummary r = WaitForCapture();
            EXPECT_LT(r.audibleSeconds, 0.55) << name << " played longer than what is left of it";
            EXPECT_EQ(FSOUND_Stream_Close(s), 1) << name;
        }
        EXPECT_NEAR(PlayWhole("tone_8bit_mono_11025.wav").audibleSeconds, 0.5, 0.06) << "after " << name;
    }
}

// Media Foundation starts once while the sound system is open; every later open only
// builds a reader.
TEST_F(FsoundTest, OpeningThroughTheSystemCodecsStaysCheapAfterTheFirstTime) {
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    const unsigned startsBefore = tunelark::fsound::MediaFoundationStarts();
    double ms[4] = {};
    for (double& t : ms) {
        LARGE_INTEGER before, after;
        QueryPerformanceCounter(&before);
        FSOUND_STREAM* s = OpenSound("tone_stereo_44100.wma");
        QueryPerformanceCounter(&after);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(FSOUND_Stream_Close(s), 1);
        t = 1000.0 * double(after.QuadPart - before.QuadPart) / double(freq.QuadPart);
    }
    std::printf("WMA opens: %.1f, %.1f, %.1f, %.1f ms\n", ms[0], ms[1], ms[2], ms[3]);
    RecordProperty("first_open_us", std::to_string(static_cast<long>(ms[0] * 1000)));
    RecordProperty("later_open_us", std::to_string(static_cast<long>(ms[3] * 1000)));
    EXPECT_EQ(tunelark::fsound::MediaFoundationStarts(), startsBefore + 1);
}

TEST_F(FsoundTest, CallsWithNullOrForeignStreamsAndBadChannelsFail) {
    ExpectNotAStream(nullptr, "null");
    int notAStream = 0;
    ExpectNotAStream(reinterpret_cast<FSOUND_STREAM*>(&notAStream), "foreign");

    FSOUND_STREAM* s = OpenSound("tone_8bit_mono_11025.wav");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(FSOUND_Stream_Play(32, s), 0) << "only 32 channels were asked for";
    EXPECT_EQ(FSOUND_Stream_Play(-2, s), 0);
    EXPECT_EQ(FSOUND_Stream_Play(5, s), 6) << "a named channel";
    EXPECT_EQ(FSOUND_Stream_Close(s), 1);
}

TEST_F(FsoundTest, FreeChannelsAreHandedOutOncePerPlayingStream) {
    FSOUND_Close();
    ASSERT_NE(FSOUND_Init(40100, 2, FSOUND_INIT_GLOBALFOCUS), 0);
    FSOUND_STREAM* a = OpenSound("long_16bit_mono_8000.wav");
    FSOUND_STREAM* b = OpenSound("long_16bit_mono_8000.wav");
    FSOUND_STREAM* c = OpenSound("long_16bit_mono_8000.wav");
    ASSERT_TRUE(a && b && c);
    const int ca = FSOUND_Stream_Play(FSOUND_FREE, a);
    const int cb = FSOUND_Stream_Play(FSOUND_FREE, b);
    EXPECT_NE(ca, 0);
    EXPECT_NE(cb, 0);
    EXPECT_NE(ca, cb);
    EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, c), 0) << "both channels are busy";
    EXPECT_EQ(FSOUND_Stream_Stop(a), 1);
    EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, c), ca) << "a stopped stream frees its channel";
}

TEST_F(FsoundTest, CallsFromTwoThreadsAtOnceDoNotCrashOrDeadlock) {
    // The plug-in serialises its own calls; the layer must still hold up without that.
    // Some sounds go through Media Foundation, whose objects then meet several threads.
    auto hammer = [&](int rounds) {
        for (int i = 0; i < rounds; ++i) {
            FSOUND_STREAM* s = OpenSound(i % 4 == 3 ? "tone_mono_22050.wma" : "tone_8bit_mono_11025.wav");
            if (!s) continue;
            FSOUND_Stream_Play(FSOUND_FREE, s);
            if (i % 2) FSOUND_Stream_Stop(s);
            FSOUND_Stream_Close(s);
        }
    };
    std::thread other(hammer, 40);
    hammer(40);
    other.join();
    EXPECT_NEAR(PlayWhole("tone_8bit_mono_11025.wav").audibleSeconds, 0.5, 0.06)
        << "the layer still plays afterwards";
}

TEST_F(FsoundTest, SetUpCallsRefuseWhatThisLayerCannotDo) {
    EXPECT_EQ(FSOUND_SetOutput(FSOUND_OUTPUT_WINMM), 0) << "output cannot change while initialised";
    FSOUND_Close();
    EXPECT_EQ(FSOUND_SetOutput(2), 0) << "only the Windows multimedia output exists";
    EXPECT_EQ(FSOUND_SetDriver(-1), 0);
    EXPECT_EQ(FSOUND_Init(40100, 0, 0), 0) << "no channels";
    EXPECT_EQ(FSOUND_SetDriver(1000), 1);
    EXPECT_EQ(FSOUND_Init(40100, 32, 0), 0) << "no such device";
    EXPECT_EQ(FSOUND_SetDriver(0), 1);
    EXPECT_EQ(FSOUND_Init(40100, 32, 0), 1);
}

// --- Without any sound device ------------------------------------------------------
// Registered separately in tests/CMakeLists.txt, with TUNELARK_AUDIO=none.

TEST(FsoundNoDeviceTest, InitFailsAndEveryLaterCallFailsCleanly) {
    ASSERT_EQ(AudioMode(), "none") << "run with TUNELARK_AUDIO=none";
    ASSERT_EQ(waveOutGetNumDevs(), 0u) << "the no-device setup still left a device";
    EXPECT_EQ(FSOUND_SetOutput(FSOUND_OUTPUT_WINMM), 1);
    EXPECT_EQ(FSOUND_SetDriver(0), 1);
    EXPECT_EQ(FSOUND_Init(40100, 32, FSOUND_INIT_GLOBALFOCUS), 0);
    FSOUND_STREAM* s = OpenSound("tone_8bit_mono_11025.wav");
    EXPECT_EQ(s, nullptr);
    ExpectNotAStream(s, "what a failed open gave");
    FSOUND_Close();
    EXPECT_EQ(FSOUND_Init(40100, 32, FSOUND_INIT_GLOBALFOCUS), 0) << "a second try finds no device either";
    FSOUND_Close();
}

DWORD WINAPI WaitAtGate(void* gate) {
    return WaitForSingleObject(gate, INFINITE);
}

// Closing waits for threads like these: under Wine a process that ends while one starts
// or ends crashes.
TEST(FsoundThreadsTest, SettlingWaitsForThreadsStartingAndForThoseNewerThanTheMarkToEnd) {
    using tunelark::fsound::WaitForThreadsToSettle;
    const unsigned mark = tunelark::fsound::ThreadStartMark();
    const HANDLE gate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE thread = CreateThread(nullptr, 0, WaitAtGate, gate, CREATE_SUSPENDED, &heldAtEnd);
    atEnd = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    endGate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(WaitForThreadsToSettle(50)) << "a thread not started yet";
    ResumeThread(thread);
    EXPECT_TRUE(WaitForThreadsToSettle(5000));
    EXPECT_TRUE(WaitForThreadsToSettle(50, tunelark::fsound::ThreadStartMark())) << "the thread at the mark";
    EXPECT_FALSE(WaitForThreadsToSettle(50, mark)) << "a thread newer than the mark runs";
    SetEvent(gate);
    ASSERT_EQ(WaitForSingleObject(atEnd, 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(WaitForThreadsToSettle(50)) << "a thread ending";
    SetEvent(endGate);
    EXPECT_TRUE(WaitForThreadsToSettle(5000, mark));
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "settled before the thread had ended";
    for (HANDLE h : {thread, gate, atEnd, endGate}) CloseHandle(h);
}

// The close waits for a thread started just before it until it has started, but waits
// for none older than Media Foundation to end.
TEST_F(FsoundTest, CloseWaitsForAThreadStartingButNotForOneOlderThanTheCodecs) {
    const HANDLE gate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE older = CreateThread(nullptr, 0, WaitAtGate, gate, 0, nullptr);
    ASSERT_TRUE(tunelark::fsound::WaitForThreadsToSettle(5000));
    FSOUND_STREAM* s = OpenSound("tone_mono_22050.wma");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(FSOUND_Stream_Close(s), 1);
    // Not timed: on a busy machine the close may rightly wait seconds for threads starting.
    const unsigned givenUp = tunelark::fsound::MediaFoundationWaitsGivenUp();
    FSOUND_Close();
    EXPECT_EQ(tunelark::fsound::MediaFoundationWaitsGivenUp(), givenUp) << "waited for a thread older than Media Foundation to end";
    const HANDLE starting = CreateThread(nullptr, 0, WaitAtGate, gate, CREATE_SUSPENDED, nullptr);
    std::atomic<bool> resumed{false};
    std::thread resumer([&] {
        Sleep(150);
        resumed = true;
        ResumeThread(starting);
    });
    FSOUND_Close();
    EXPECT_TRUE(resumed) << "closed while a thread was still starting";
    resumer.join();
    SetEvent(gate);
    for (HANDLE h : {older, starting}) WaitForSingleObject(h, 5000);
    for (HANDLE h : {older, starting, gate}) CloseHandle(h);
}

std::vector<int16_t> ReadAll(tunelark::fsound::Decoder& decoder) {
    const size_t channels = decoder.Format().channels;
    std::vector<int16_t> all, part(1000 * channels);
    while (const size_t got = decoder.Read(part.data(), 1000))
        all.insert(all.end(), part.begin(), part.begin() + static_cast<std::ptrdiff_t>(got * channels));
    return all;
}

// Below 8 000 Hz a WAV is handed out at a whole multiple of its rate, at least 8 000 Hz,
// its frames joined by straight lines (the last held), across the chunks it is read in.
TEST(LowRateTest, IsRaisedByAWholeFactorAlongStraightLines) {
    for (const char* name : {"tone_16bit_stereo_3000.wav", "tone_16bit_mono_5000.wav"}) {
        const auto wav = tunelark::fsound::OpenWavDecoder(SoundPath(name));
        const auto raised = tunelark::fsound::OpenDecoder(SoundPath(name));
        ASSERT_TRUE(wav && raised) << name;
        const unsigned rate = wav->Format().sampleRate, k = raised->Format().sampleRate / rate;
        EXPECT_EQ(raised->Format().sampleRate % rate, 0u) << name;
        EXPECT_GE(raised->Format().sampleRate, 8000u) << name;
        const std::vector<int16_t> in = ReadAll(*wav), out = ReadAll(*raised);
        ASSERT_EQ(out.size(), in.size() * k) << name;
        const size_t ch = wav->Format().channels, last = in.size() / ch - 1;
        size_t off = 0, first = 0;
        for (size_t i = 0; i < out.size(); ++i) {
            const size_t frame = i / ch / k, c = i % ch;
            const int a = in[frame * ch + c], b = in[std::min(frame + 1, last) * ch + c], step = int(i / ch % k);
            if (std::abs(out[i] - (a + (b - a) * step / int(k))) > 1 && off++ == 0) first = i / ch;
        }
        EXPECT_EQ(off, 0u) << name << ": off the straight lines from output frame " << first;
    }
}

// --- Levelling: the gain a first estimate gives, held under the ceiling -------------

// A 48 kHz stereo sound made as it is read: 440 Hz left, 660 Hz right, at envelope(t) of
// full scale.
class SynthDecoder : public tunelark::fsound::Decoder {
public:
    SynthDecoder(double seconds, double (*envelope)(double)) : frames_(size_t(seconds * 48000)), envelope_(envelope) {
        format_ = {48000, 2};
    }
    size_t Read(int16_t* out, size_t frames) override {
        const size_t n = std::min(frames, frames_ - at_);
        for (size_t f = 0; f < n; ++f, ++at_) {
            const double t = at_ / 48000.0, level = 32767 * envelope_(t), w = 2 * 3.14159265358979 * t;
            out[2 * f] = int16_t(std::lround(level * std::sin(w * 440)));
            out[2 * f + 1] = int16_t(std::lround(level * std::sin(w * 660)));
        }
        return n;
    }

private:
    size_t frames_, at_ = 0;
    double (*envelope_)(double);
};

struct LevelCase {
    const char* name;
    double seconds;
    double (*envelope)(double);
    double aheadSeconds;      // before the start
    bool aheadBetweenReads;   // as the stream's thread does; without, measured only as played
    bool limited = false;     // the first estimate is so far off that the limiter must act
    bool evenOut = true;
    double startWithinDb = 0;  // the first 50 ms of the first play against the second's (0: not checked)
};

void PrintTo(const LevelCase& c, std::ostream* os) { *os << c.name; }

class LevelledSourceTest : public ::testing::TestWithParam<LevelCase> {};

// Every way a first estimate can be wrong: no sample past the ceiling, no flat tops, no
// gain that jumps; what is measured ahead comes out as loud as a later play, and a sound
// the first estimate holds is scaled by one factor exactly.
TEST_P(LevelledSourceTest, HoldsTheCeilingWithoutClipsOrJumps) {
    using namespace tunelark::fsound;
    const LevelCase& c = GetParam();
    const std::string key = TempCopy("tone_16bit_mono_44100.wav");  // only its name, size and time count
    struct Play { std::vector<int16_t> in, out; double gain, deepest; };
    const auto play = [&] {
        SynthDecoder decoder(c.seconds, c.envelope), copy(c.seconds, c.envelope);
        LevelledSource source(decoder, key, Levelling{c.evenOut, 1.0, c.aheadSeconds});
        Play p;
        int16_t buffer[2 * 1920];
        for (size_t got; (got = source.Read(buffer, 1920)) > 0;) {
            p.out.insert(p.out.end(), buffer, buffer + 2 * got);
            while (c.aheadBetweenReads && source.DecodeAhead()) {
            }
        }
        p.in.resize(p.out.size());
        copy.Read(p.in.data(), p.in.size() / 2);
        p.gain = source.Gain();
        p.deepest = source.DeepestReduction();
        return p;
    };
    const Play first = play(), second = play();
    DeleteFileA(key.c_str());
    ASSERT_EQ(first.out.size(), size_t(c.seconds * 48000) * 2) << "every frame, once";
    if (!c.evenOut) {
        EXPECT_EQ(first.out, first.in) << "as decoded, bit for bit";
        return;
    }
    int peak = 0, flat = 0, run = 0;
    double worstStep = 0;
    for (size_t i = 2; i < first.out.size(); ++i) {
        peak = std::max(peak, std::abs(int(first.out[i])));
        run = first.out[i] == first.out[i - 2] && std::abs(first.out[i]) > 16384 ? run + 1 : 0;
        flat = std::max(flat, run);
        // The gain from one frame to the next, wherever rounding cannot hide a jump.
        if (std::min(std::abs(first.out[i]), std::abs(first.out[i - 2])) >= 1000) {
            const double now = double(first.out[i]) / first.in[i], before = double(first.out[i - 2]) / first.in[i - 2];
            worstStep = std::max(worstStep, std::abs(now / before - 1));
        }
    }
    EXPECT_LE(peak, 29204) << "-1 dBFS";
    EXPECT_LE(flat, 2) << "samples flat at a clip";
    EXPECT_LT(worstStep, 0.02) << "the gain jumped";
    const auto lufs = [](const std::vector<int16_t>& s) {
        LoudnessMeter meter(48000, 2);
        meter.Add(s.data(), s.size() / 2);
        return meter.IntegratedLoudness();
    };
    if (c.aheadBetweenReads) {
        EXPECT_NEAR(lufs(first.out), lufs(second.out), 1.0) << "first play against the next";
        EXPECT_EQ(first.deepest, c.limited ? first.deepest : 1.0) << "measured ahead, nothing to hold";
    }
    if (c.startWithinDb > 0) {
        const std::vector<int16_t> a(first.out.begin(), first.out.begin() + 4800), b(second.out.begin(), second.out.begin() + 4800);
        EXPECT_NEAR(lufs(a), lufs(b), c.startWithinDb) << "a first play's start, against a later play's";
    }
    // Raised at most 12 dB.
    EXPECT_LE(second.gain, std::pow(10.0, 12 / 20.0) + 1e-12);
    // The later play knows the whole sound: one factor, exactly, where no peak needs holding.
    EXPECT_EQ(second.deepest, 1.0);
    size_t off = 0;
    for (size_t i = 0; i < second.out.size(); ++i) off += second.out[i] != std::lround(second.in[i] * second.gain);
    EXPECT_EQ(off, 0u) << "samples off the file times " << second.gain;
    if (c.limited) {
        EXPECT_LT(first.deepest, 0.5) << "the limiter had work";
    }
}

double QuietIntro(double t) { return t < 0.6 ? 0.01 : 1.0; }
double FadeIn(double t) { return std::min(1.0, t / 2); }
double LateClick(double t) { return t >= 1.0 && t < 1.003 ? 1.0 : 0.001; }
double Steady(double) { return 0.1; }
double NearSilent(double) { return 0.001; }
double Strike(double t) { return t < 0.03 ? 1.0 : 0.1; }
// -17.3 LUFS with a full-scale peak: lowered by 0.7 dB, the peak would pass the ceiling.
double Burst(double t) { return t >= 0.5 && t < 0.503 ? 1.0 : 0.13; }

INSTANTIATE_TEST_SUITE_P(
    FirstEstimates, LevelledSourceTest,
    ::testing::Values(LevelCase{"quiet_intro_measured_as_played", 2.0, QuietIntro, 0, false, true},
                      LevelCase{"quiet_intro_measured_ahead", 2.0, QuietIntro, 0, true},
                      LevelCase{"fade_in_measured_as_played", 3.0, FadeIn, 0, false},
                      LevelCase{"late_click_measured_as_played", 1.3, LateClick, 0, false, true},
                      LevelCase{"steady_measured_before_the_start", 1.0, Steady, 0.5, false},
                      LevelCase{"near_silent_measured_before_the_start", 1.0, NearSilent, 0.5, false},
                      LevelCase{"strike_measured_as_played", 1.0, Strike, 0, false, false, true, 1.0},
                      LevelCase{"burst_measured_ahead", 1.0, Burst, 0, true},
                      LevelCase{"steady_not_evened_out", 1.0, Steady, 0, true, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A file's measurement is what its next play starts with, until the file changes.
TEST(LevellingTest, AFileIsKnownUntilItChanges) {
    using namespace tunelark::fsound;
    const std::string key = TempCopy("tone_16bit_mono_44100.wav");
    const auto play = [&] {  // the gain it starts with and the one it ends with
        SynthDecoder decoder(1.0, Steady);
        LevelledSource source(decoder, key, Levelling{true, 1.0, 0});
        const double start = source.Gain();
        int16_t buffer[2 * 1920];
        while (source.Read(buffer, 1920) > 0) {
        }
        return std::make_pair(start, source.Gain());
    };
    const auto first = play(), second = play();
    EXPECT_GT(second.first, 1.2) << "a quiet sound is raised";
    EXPECT_EQ(second.first, second.second) << "the second play knows the sound from its start";
    EXPECT_NE(first.first, second.first) << "a first play starts from what it measured ahead";
    // Rewritten in place at the same size: only its time tells.
    const HANDLE file = CreateFileA(key.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME written;
    GetSystemTimeAsFileTime(&written);
    written.dwHighDateTime += 1;
    SetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
    EXPECT_EQ(play().first, first.first) << "a changed file is measured again";
    DeleteFileA(key.c_str());
}

// Run with Media Foundation's libraries disabled, as on a system without them, beside a
// few rows of the format table (see tests/CMakeLists.txt): those still play.
TEST_F(FsoundTest, WithoutMediaFoundationItsFormatsAreRefused) {
    ASSERT_EQ(LoadLibraryA("mfplat.dll"), nullptr) << "Media Foundation is there: run as nomf.*";
    for (const char* name : {"tone_stereo_44100.wma", "tone_stereo_44100.flac", "tone_stereo_44100.m4a"})
        EXPECT_EQ(OpenSound(name), nullptr) << name;
}

}  // namespace

extern "C" {
__attribute__((section(".CRT$XLU"), used)) PIMAGE_TLS_CALLBACK tunelark_test_hold_at_end = HoldAtEnd;
}
