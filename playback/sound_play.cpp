// Play: the host thread's side of playing a sound.
#include "playback/sound_play.h"

#include <string>

#include "base/regular_file.h"
#include "playback/worker.h"
#include "settings/settings_store.h"
#include "sounddb/sound_records.h"

namespace tunelark {

int Play(const Sound& sound, int force) {
    const PlaySettings settings = Settings.GetPlaySettings();
    const SoundPack* pack = sound.Pack();
    const int packEnabled = pack ? pack->GetProperty(SoundPackEnabledProperty) : 1;
    const int soundEnabled = sound.GetProperty(SoundEnabledProperty);
    const bool forced = (force & 0xFF) != 0;

    // At volume 0 the file is not looked at.
    int answer = PlaySwitchedOff;
    const std::string path = sound.Filename();
    if (settings.volume != 0) {
        // A contact's notification never makes this computer open a file on the network:
        // any user who may change the shared library could have named one. The user's own
        // Play button may. Other readers are allowed: the worker may be opening this very
        // file for the previous request, and that must not read as a missing file. Only a
        // regular file is opened: a device or a pipe could hold the host's thread here.
        if ((!forced && IsNetworkPath(path.c_str())) || !OpenRegularFileForReading(path.c_str(), FILE_SHARE_READ))
            answer = PlayFileMissing;
        else if (forced || (settings.soundsEnabled && packEnabled && soundEnabled))
            answer = PlayPosted;
    }

    // Every request silences what is playing, even one refused: last, so that the old
    // stream's thread closing its device does not slow the looking above.
    StopCurrentStream();
    CloseCurrentStream();
    if (answer != PlayPosted) return answer;
    // The job keeps its own copy of the path: the database may be reloaded or freed
    // before the job runs. A play still waiting would be cut off by this one unheard: it
    // gives way, so a burst of requests opens one file, not one per request.
    PlaybackWorker* worker = Worker();
    if (worker && worker->PostLatestTextJob(PlayStreamJobId, PlayJobText(path, settings.outputDevice),
                                            LevellingValue(settings.evenOut == 1, settings.volume)))
        return PlayPosted;
    return PlayNotPosted;
}

}  // namespace tunelark
