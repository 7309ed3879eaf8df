// Removing a SoundPack's sound files: nothing of the pack may be playing while they go.
#include "playback/sound_play.h"

#include "sounddb/export.h"

namespace tunelark {

void DeleteSoundPackFiles(const SoundPack& pack) {
    ReleaseCurrentStream();
    RemovePackDirectory(pack);
}

}  // namespace tunelark
