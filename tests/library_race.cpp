// Another process changing the SoundPack library beside a test, with the plug-in's code:
//   library_race add PACK FIRST ROUNDS NAME   each round waits for "tl_race_go_NAME",
//       adds SoundIndex FIRST + round (command NAME) to PACK, prints "ROUND added" or
//       "ROUND refused" and releases "tl_race_done"
//   library_race hold                          takes the library lock, sets "tl_race_held"
//       and waits to be killed
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sounddb/library_change.h"
#include "sounddb/library_lock.h"
#include "sounddb/sound_registry.h"

using namespace tunelark;

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "hold") {
        const LibraryLock lock;
        SetEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, "tl_race_held"));
        Sleep(INFINITE);
    }
    if (argc != 6) return 2;
    HANDLE go = OpenSemaphoreA(SYNCHRONIZE, FALSE, (std::string("tl_race_go_") + argv[5]).c_str());
    HANDLE done = OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, "tl_race_done");
    LoadSoundDatabase(SoundsKeyPath);
    SoundPack* pack = FindSoundPackByName(argv[2], MatchPackName);
    for (int round = 0; pack && round < std::atoi(argv[4]); ++round) {
        if (WaitForSingleObject(go, 20000) != WAIT_OBJECT_0) return 1;
        auto sound = std::make_unique<Sound>(pack);
        sound->SetIndex(std::atoi(argv[3]) + round);
        sound->SetCommand(argv[5]);
        Sound* added = nullptr;
        std::printf("%d %s\n", round, AddSoundToLibrary(*pack, std::move(sound), &added) ? "refused" : "added");
        std::fflush(stdout);
        ReleaseSemaphore(done, 1, nullptr);
    }
    return pack ? 0 : 1;
}
