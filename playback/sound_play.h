// The one sound stream that may play at a time. The host's thread asks for sounds and
// stops them; the worker thread opens and starts them. The playback mutex guards the
// current stream and every sound-layer call made on it.
#pragma once

#include <windows.h>

#include <string>

#include "fsound/fsound.h"
#include "sounddb/library_change.h"

namespace tunelark {

class Sound;
class SoundPack;

// Results of PlayStreamJob.
constexpr int StreamPlaying = 1;
constexpr int StreamOpenFailed = -1;
constexpr int StreamStartFailed = -3;
// A stop or a later request came before it started: not started, and closed.
constexpr int StreamOvertaken = -4;

// Results of Play.
constexpr int PlayPosted = 1;
constexpr int PlayFileMissing = -1;
constexpr int PlaySwitchedOff = -2;
// The worker is not running (start-up failed, or after shut-down): nothing was posted.
constexpr int PlayNotPosted = 0;

// Null before StartPlaybackWorker and after StopPlaybackWorker.
HANDLE PlaybackMutex();
void OpenPlaybackMutex();
void ClosePlaybackMutex();

// The stream now open, or null. Read under the playback mutex.
FSOUND_STREAM* CurrentStream();

// Silences the current stream, which stays open. Answers 0.
int StopCurrentStream();
// Closes the current stream and forgets it. Answers 0.
int CloseCurrentStream();
// Stops and closes the current stream and waits until its file is closed too: closing
// only tells the stream's thread to go; a play job opening a file is waited for first.
// For the moment before sound files are deleted.
void ReleaseCurrentStream();

// The play job, run on the worker thread: replaces the current stream by the file at
// path and starts it, levelled as `value` says (LevellingValue; 0 plays the samples as
// they are), on the output device of that name (empty or null: the system's default;
// one not listed: the default, and DeviceGone told). A stop or close asked for while it
// waits for the old device or opens the file keeps it from starting. StreamPlaying,
// StreamOpenFailed, StreamStartFailed or StreamOvertaken.
int PlayStreamJob(const char* path, int value, const char* device = nullptr);
// The play job's text: the path, a NUL, then the output device's name.
std::string PlayJobText(const std::string& path, const std::string& device);

// What the user is told of the output device they chose: it is not listed (unplugged,
// renamed, another computer), or it refused to open. Sounds then play on the default.
enum DeviceNotice : int { DeviceGone = 0, DeviceRefused = 1 };
// Called on the worker's or a stream's thread with the device's name: it must not wait
// for the host's thread.
using DeviceNoticeHandler = void (*)(DeviceNotice notice, const char* device);
// Each kind of notice reaches the handler once, for the first sound it concerns, until
// a handler is set again (once per load of the plug-in). Null: nobody is told.
void SetDeviceNoticeHandler(DeviceNoticeHandler handler);

// The user's volume, 0 to 100, as a factor on the samples: even steps in dB, 0.4 dB a
// step (50 is -20 dB, a tenth of the amplitude), and 0 silence.
double VolumeFactor(int volume);
// The play job's value for the level settings (the worker reads no settings itself).
int LevellingValue(bool evenOut, int volume);

// Asks for the sound to be played: silences what plays, tests that the file can be
// read and posts the play job, unless the sound, its pack or sounds as a whole are
// switched off and force (its low byte) is not set. At volume 0 nothing is posted and
// the file is not looked at (PlaySwitchedOff). PlayPosted, PlayFileMissing,
// PlaySwitchedOff or PlayNotPosted. Returns without waiting for any device.
int Play(const Sound& sound, int force);

// Silences and closes the current stream, so no file of the pack is held open, then
// removes the directory of the pack of that name of sound files (only its own: see PackNameProblem).
// Tells what stayed, and why.
Refusal DeleteSoundPackFiles(const std::string& packName);

}  // namespace tunelark
