// The sound notification that travels between the two plug-ins: the host's marker
// byte, the plug-in's code, the sound's three-byte encoded index, then the message.
#pragma once

#include <cstddef>
#include <string>

namespace tunelark {

class Sound;

inline constexpr char NotificationMarker[] = "\x12";
inline constexpr char NotificationCode[] = "TL";
// The encoded index is fixed-length, so the receiver can take it by position.
inline constexpr std::size_t NotificationIndexOffset = 2;  // after the marker is removed
inline constexpr std::size_t EncodedIndexLength = 3;

// What the plug-in assumes the host's result buffer holds, terminator included.
inline constexpr std::size_t HostResultCapacity = 4096;

// The text written for a sound command: the typed message, or the sound's own.
std::string SoundNotificationText(const Sound& sound, const char* parameter);

}  // namespace tunelark
