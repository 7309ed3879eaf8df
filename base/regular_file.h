// Opening a sound file by a path that users and SoundPacks supply. Only a regular file
// on disk is opened: a device, a pipe or a console can block the opening thread for
// good, or stream forever, and a directory is no sound.
#pragma once

#include <windows.h>

#include "base/kernel_handle.h"

namespace tunelark {

// Whether the path, made full, names a regular file; nothing is opened to find out.
bool IsRegularFilePath(const char* path);

// Whether the path, made full, names a file on another computer: a UNC path
// (\\server\share\..., \\?\UNC\...) or one on a network drive. Nothing is opened.
bool IsNetworkPath(const char* path);

// DeleteFileA and RemoveDirectoryA that make sure the entry is gone: Wine answers success
// for a deletion its server then cannot carry out (a file the system keeps). ERROR_SUCCESS
// when it is gone (or was never there), else the system's reason, ERROR_ACCESS_DENIED
// for one that stays without a reason given.
DWORD DeleteFileChecked(const char* path);
DWORD RemoveDirectoryChecked(const char* path);

// GENERIC_READ with the given sharing; empty unless the path names a regular file.
KernelHandle OpenRegularFileForReading(const char* path, DWORD shareMode);

}  // namespace tunelark
