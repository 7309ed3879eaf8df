// Where a SoundPack's sound files live and which pack names may stand as a registry key
// and a directory of their own.
#pragma once

#include <cstddef>
#include <string>

namespace tunelark {

// Paths are built for buffers of this many bytes, terminator included.
constexpr std::size_t PathBufferSize = 2048;

// The host's "PluginDir" value followed by "\Tunelark\" ("\Tunelark\" alone when the
// host has none).
std::string SoundPacksDir();

// Why a name cannot be a SoundPack's: empty when it can. A pack's name is its registry
// key below the database and its directory below SoundPacksDir, so it must be one
// component that both can keep: not empty, no "\", "/" or ":", not "." or "..", nothing
// Windows refuses in a directory name (control characters, <>"|?*, a trailing dot or
// blank, a device name such as CON or COM1), and short enough for a registry key.
std::string PackNameProblem(const std::string& name);

// SoundPacksDir + name, without a trailing "\"; empty when the name is refused or the
// path would not fit PathBufferSize.
std::string PackDirectory(const std::string& name);

// Whether a sound's file name, as an install.ini gives it relative to its pack's
// directory, stays inside that directory: no drive or stream (":"), no leading "\" or
// "/", and no component of dots and blanks alone other than ".". Deleting a Sound's file
// deletes whatever it names, so a pack must not name a file of someone else's.
bool StaysInPackDirectory(const std::string& relative);

}  // namespace tunelark
