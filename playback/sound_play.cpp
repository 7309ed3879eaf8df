// Play: the host thread's side of playing a sound.
#include "playback/sound_play.h"

#include <string>

#include "base/regular_file.h"
#include "playback/worker.h"
#include "settings/settings_store.h"
#include "sounddb/sound_records.h"

namespace tunelark {

int Play(const Sound& sound, int force) {
    const int soundsEnabled = Settings.GetOption(SoundsEnabled);
    const SoundPack* pack = sound.Pack();
    const int packEnabled = pack ? pack->GetProperty(SoundPackEnabledProperty) : 1;
    const int soundEnabled = sound.GetProperty(SoundEnabledProperty);

    const int volume = Settings.GetLevelSetting(Volume);

    // Every request silences what is playing, even one refused below.
    StopCurrentStream();
    CloseCurrentStream();
    if (volume == 0) return PlaySwitchedOff;

    // Other readers are allowed: the worker may be opening this very file for the
    // previous request, and that must not read as a missing file. Only a regular file
    // is opened: a device or a pipe could hold the host's thread here for good.
    const std::string path = sound.Filename();
    // A contact's notification never makes this computer open a file on the network: any
    // user who may change the shared library could have named one. The user's own Play
    // button may.
    if ((force & 0xFF) == 0 && IsNetworkPath(path.c_str())) return PlayFileMissing;
    if (!OpenRegularFileForReading(path.c_str(), FILE_SHARE_READ)) return PlayFileMissing;

    if ((force & 0xFF) != 0 || (soundsEnabled && packEnabled && soundEnabled)) {
        // The job keeps its own copy of the path: the database may be reloaded or freed
        // before the job runs.
        PlaybackWorker* worker = Worker();
        const int levelling = LevellingValue(Settings.GetLevelSetting(EvenOutLoudness) == 1, volume);
        if (worker && worker->PostTextJob(PlayStreamJobId, path, levelling)) return PlayPosted;
        return PlayNotPosted;
    }
    return PlaySwitchedOff;
}

}  // namespace tunelark
