// Another process changing the SoundPack library beside a test, with the library code
// the plug-in and tlpack use:
//   library_race add PACK FIRST ROUNDS NAME   each round waits for its go (semaphore
//       "tl_race_go_NAME"), adds a Sound of SoundIndex FIRST + round with the command NAME
//       to PACK, prints "ROUND added" or "ROUND refused" and releases "tl_race_done".
//   library_race hold                          takes the library lock, prints "held" and
//       waits to be killed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "sounddb/library_change.h"
#include "sounddb/library_lock.h"
#include "sounddb/sound_registry.h"

using namespace tunelark;

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "hold") {
        const LibraryLock lock;
        std::printf("held\n");
        std::fflush(stdout);
        Sleep(INFINITE);
    }
    if (verb != "add" || argc != 6) return 2;
    const std::string name = argv[5];
    const int first = std::atoi(argv[3]), rounds = std::atoi(argv[4]);
    HANDLE go = CreateSemaphoreA(nullptr, 0, rounds, ("tl_race_go_" + name).c_str());
    HANDLE done = CreateSemaphoreA(nullptr, 0, 1000, "tl_race_done");
    LoadSoundDatabase(SoundsKeyPath);
    SoundPack* pack = FindSoundPackByName(argv[2], MatchPackName);
    if (!pack || !go || !done) return 1;
    for (int round = 0; round < rounds; ++round) {
        if (WaitForSingleObject(go, 20000) != WAIT_OBJECT_0) return 1;
        auto sound = std::make_unique<Sound>(pack);
        sound->SetIndex(first + round);
        sound->SetCommand(name);
        sound->SetFilename("race.wav");
        sound->SetMessage(name);
        Sound* added = nullptr;
        const Refusal refusal = AddSoundToLibrary(*pack, std::move(sound), &added);
        std::printf("%d %s\n", round, refusal ? "refused" : "added");
        std::fflush(stdout);
        ReleaseSemaphore(done, 1, nullptr);
    }
    return 0;
}
