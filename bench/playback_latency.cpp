// How long a play request takes to be heard: from Play on the caller's thread to
// the first buffer handed to the audio device, per file format, over repeated runs.
// The worker is left idle for a varying time before each request, as between chat
// notifications, so its 400 ms poll shows in the figures as it would in use. Each format
// three ways: loudness not evened out; evened out, the file's first play (a fresh copy
// each run, so it is measured first); evened out, later plays of a file measured before.
// Last, how long the caller's thread is held when its request cuts off a sound that plays.
//
// Run under Wine with an output device, e.g.:
//   TUNELARK_AUDIO=capture build/wine-run.sh build/bin/playback_latency_bench.exe [runs]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/sound_files.h"
#include "fsound/fsound.h"
#include "fsound/fsound_stats.h"
#include "playback/sound_play.h"
#include "playback/worker.h"
#include "settings/settings_store.h"
#include "sounddb/sound_records.h"

using namespace tunelark;

using testsupport::SoundPath;

namespace {

struct Figures {
    std::vector<double> total, pickup, decode;  // milliseconds
};

// The three ways a format is measured.
enum Way { AsRecorded, FirstPlay, LaterPlay, Ways };
const char* const WayLabels[Ways] = {"as recorded", "evened out, first play", "evened out, later play"};

void Report(const char* label, std::vector<double> v) {
    if (v.empty()) {
        std::printf("  %-26s no samples\n", label);
        return;
    }
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v) sum += x;
    std::printf("  %-26s min %7.1f  median %7.1f  mean %7.1f  p90 %7.1f  max %7.1f ms\n", label,
                v.front(), v[v.size() / 2], sum / v.size(), v[v.size() * 9 / 10], v.back());
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The timing of the stream started for a request made at `asked`, once its first buffer
// went out; firstBuffer 0 when that did not happen within about a second.
fsound::PlayTiming WaitForFirstBuffer(LARGE_INTEGER asked) {
    for (int i = 0; i < 300; ++i) {
        const fsound::PlayTiming t = fsound::LastPlayTiming();
        if (t.requested >= asked.QuadPart && t.firstBuffer != 0) return t;
        Sleep(2);
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    if (!StartPlaybackWorker()) {
        std::fprintf(stderr, "the worker did not start\n");
        return 1;
    }
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    FSOUND_SetDriver(0);
    if (!FSOUND_Init(40100, 32, FSOUND_INIT_GLOBALFOCUS)) {
        std::fprintf(stderr, "no output device (run with TUNELARK_AUDIO=capture)\n");
        StopPlaybackWorker();
        return 1;
    }

    // A pack without a registry key reads as enabled.
    SoundPack pack;
    const char* files[] = {"tone_16bit_stereo_22050.wav", "tone_stereo_44100.mp3", "tone_mono_8000_8k.mp3",
                           "tone_stereo_44100.ogg", "level_quiet_intro.ogg"};
    const char* labels[] = {"WAV", "MP3", "MP3 8 kbit/s", "Ogg", "Ogg 4 s"};
    constexpr int Formats = sizeof files / sizeof *files;
    std::vector<Sound*> sounds;
    for (const char* file : files) {
        auto sound = std::make_unique<Sound>(&pack);
        sound->SetFilename(SoundPath(file));
        sounds.push_back(pack.AddSound(std::move(sound)));
    }

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    auto ms = [&](long long ticks) { return 1000.0 * ticks / frequency.QuadPart; };

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::vector<std::string> copies;
    std::mt19937 random(7);
    Figures figures[Formats][Ways];
    int failures = 0;
    const int evenOutBefore = Settings.GetLevelSetting(EvenOutLoudness);
    for (int run = 0; run < runs; ++run) {
        for (int f = 0; f < Formats; ++f) {
            for (int way = 0; way < Ways; ++way) {
                Settings.SetLevelSetting(EvenOutLoudness, way == AsRecorded ? 0 : 1);
                Sound* sound = sounds[f];
                std::unique_ptr<Sound> fresh;
                if (way == FirstPlay) {
                    // A path never played before is measured before it starts.
                    copies.push_back(std::string(temp) + "tl_bench_" + std::to_string(run) + "_" + files[f]);
                    CopyFileA(SoundPath(files[f]).c_str(), copies.back().c_str(), FALSE);
                    fresh = std::make_unique<Sound>(&pack);
                    fresh->SetFilename(copies.back());
                    sound = fresh.get();
                }
                Sleep(random() % 500);
                LARGE_INTEGER asked;
                QueryPerformanceCounter(&asked);
                if (Play(*sound, 1) != PlayPosted) {
                    ++failures;
                    continue;
                }
                const fsound::PlayTiming t = WaitForFirstBuffer(asked);
                if (t.firstBuffer == 0) {
                    ++failures;
                    continue;
                }
                figures[f][way].total.push_back(ms(t.firstBuffer - asked.QuadPart));
                figures[f][way].pickup.push_back(ms(t.requested - asked.QuadPart));
                figures[f][way].decode.push_back(ms(t.firstBuffer - t.requested));
            }
        }
    }
    Settings.SetLevelSetting(EvenOutLoudness, evenOutBefore);

    // What the caller's thread pays when its request cuts off a sound that is playing:
    // a long sound is started, and once it is heard the next request replaces it.
    auto longSound = std::make_unique<Sound>(&pack);
    longSound->SetFilename(SoundPath("long_16bit_mono_8000.wav"));
    Sound* cutSounds[2] = {pack.AddSound(std::move(longSound)), sounds[0]};
    std::vector<double> cutOff;
    for (int run = 0; run < runs; ++run) {
        for (Sound* sound : cutSounds) {
            LARGE_INTEGER asked, answered;
            QueryPerformanceCounter(&asked);
            const int answer = Play(*sound, 1);
            QueryPerformanceCounter(&answered);
            if (answer != PlayPosted || WaitForFirstBuffer(asked).firstBuffer == 0) {
                ++failures;
                break;
            }
            if (sound == cutSounds[1]) cutOff.push_back(ms(answered.QuadPart - asked.QuadPart));
        }
    }
    StopCurrentStream();
    CloseCurrentStream();

    std::printf("Play to first buffer written, %d runs per format and way\n", runs);
    for (int f = 0; f < Formats; ++f) {
        for (int way = 0; way < Ways; ++way) {
            std::printf("%s (%s), %s\n", labels[f], files[f], WayLabels[way]);
            Report("Play -> first buffer", figures[f][way].total);
            Report("Play -> stream started", figures[f][way].pickup);
            Report("started -> first buffer", figures[f][way].decode);
        }
    }
    // The worker's poll makes the whole wait vary by up to 400 ms; what evening out adds
    // lies between the stream's start and its first buffer.
    std::printf("Evened out against as recorded, median started -> first buffer\n");
    for (int f = 0; f < Formats; ++f)
        std::printf("  %-14s first play %+6.1f ms   later play %+6.1f ms\n", labels[f],
                    Median(figures[f][FirstPlay].decode) - Median(figures[f][AsRecorded].decode),
                    Median(figures[f][LaterPlay].decode) - Median(figures[f][AsRecorded].decode));
    std::printf("Cutting off a playing sound, %d runs\n", runs);
    Report("Play returns", cutOff);
    if (failures) std::printf("%d requests did not reach the device\n", failures);

    pack.FreeSounds();
    StopPlaybackWorker();
    FSOUND_Close();
    for (const std::string& copy : copies) DeleteFileA(copy.c_str());
    return failures ? 1 : 0;
}
