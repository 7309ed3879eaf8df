// Removing a SoundPack's sound files: nothing of the pack may be playing while they go.
#include "playback/sound_play.h"

#include "sounddb/export.h"

namespace tunelark {

Refusal DeleteSoundPackFiles(const std::string& packName) {
    ReleaseCurrentStream();
    return RemovePackDirectory(packName);
}

}  // namespace tunelark
