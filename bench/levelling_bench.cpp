// How evened-out sounds come out: each file given is played through the plug-in's play
// path a first time (a copy never played before, so nothing is known of it) and a second
// time, and what the device got is measured: its loudness, its sample peak, and the
// longest run of one sample value above half of full scale (a hard clip shows as a long
// run at the ceiling).
//
// Run under Wine with the capture device, e.g.:
//   TUNELARK_AUDIO=capture build/wine-run.sh build/bin/levelling_bench.exe [runs] FILE...
// where FILE is a name in bin/sounds or a path.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "audio_capture.h"
#include "fsound/fsound.h"
#include "fsound/fsound_stats.h"
#include "fsound/loudness.h"
#include "playback/sound_play.h"
#include "playback/worker.h"
#include "settings/settings_store.h"
#include "sounddb/sound_records.h"
#include "support/sound_files.h"

using namespace tunelark;
using namespace testsupport;

namespace {

struct Heard {
    double lufs = -HUGE_VAL;
    double peakDb = -HUGE_VAL;
    int flatRun = 0;
};

Heard Measure(const std::vector<int16_t>& s) {
    Heard h;
    fsound::LoudnessMeter meter(CaptureRate, CaptureChannels);
    meter.Add(s.data(), s.size() / CaptureChannels);
    h.lufs = meter.IntegratedLoudness();
    int peak = 0;
    for (unsigned c = 0; c < CaptureChannels; ++c) {
        int run = 0;
        for (size_t i = c; i < s.size(); i += CaptureChannels) {
            const int v = s[i];
            peak = std::max(peak, std::abs(v));
            run = (i >= CaptureChannels && v == s[i - CaptureChannels] && std::abs(v) > 16384) ? run + 1 : 1;
            if (std::abs(v) > 16384) h.flatRun = std::max(h.flatRun, run);
        }
    }
    h.peakDb = peak ? 20 * std::log10(peak / 32768.0) : -HUGE_VAL;
    return h;
}

Heard PlayOnce(Sound& sound) {
    ResetCapture();
    if (Play(sound, 1) != PlayPosted) return {};
    for (int i = 0; i < 300 && CaptureBytes() == 0; ++i) Sleep(10);
    WaitForCapture();
    return Measure(ReadCapture());
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1, runs = 3;
    if (argc > 1 && std::atoi(argv[1]) > 0) runs = std::atoi(argv[first++]);
    if (first >= argc) {
        std::fprintf(stderr, "usage: levelling_bench [runs] FILE...\n");
        return 2;
    }
    if (!StartPlaybackWorker()) return 1;
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    FSOUND_SetDriver(0);
    if (!FSOUND_Init(40100, 32, FSOUND_INIT_GLOBALFOCUS)) {
        std::fprintf(stderr, "no output device (run with TUNELARK_AUDIO=capture)\n");
        return 1;
    }
    const int evenOut = Settings.GetLevelSetting(EvenOutLoudness), volume = Settings.GetLevelSetting(Volume);
    Settings.SetLevelSetting(EvenOutLoudness, 1);
    Settings.SetLevelSetting(Volume, 100);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    SoundPack pack;
    std::printf("target %.1f LUFS, ceiling -1.0 dBFS; %d runs per file\n", fsound::TargetLoudness, runs);
    std::printf("%-26s %-7s %9s %10s %9s\n", "file", "play", "LUFS", "peak dBFS", "flat run");
    for (int f = first; f < argc; ++f) {
        const std::string name = argv[f];
        const std::string source = name.find('\\') == std::string::npos ? SoundPath(name) : name;
        for (int run = 0; run < runs; ++run) {
            const std::string copy = std::string(temp) + "tl_level_bench_" + std::to_string(run) + "_" +
                                     name.substr(name.find_last_of('\\') + 1);
            CopyFileA(source.c_str(), copy.c_str(), FALSE);
            Sound sound(&pack);
            sound.SetFilename(copy);
            for (const char* play : {"first", "second"}) {
                const Heard h = PlayOnce(sound);
                std::printf("%-26s %-7s %9.2f %10.2f %9d\n", name.c_str(), play, h.lufs, h.peakDb, h.flatRun);
            }
            StopCurrentStream();
            CloseCurrentStream();
            fsound::WaitForStreamTeardowns();
            DeleteFileA(copy.c_str());
        }
    }
    Settings.SetLevelSetting(EvenOutLoudness, evenOut);
    Settings.SetLevelSetting(Volume, volume);
    StopPlaybackWorker();
    FSOUND_Close();
    return 0;
}
