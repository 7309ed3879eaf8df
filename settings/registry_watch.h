// Learning that a registry key, or anything below it, changed, from the system's own
// notification (RegNotifyChangeKeyValue) rather than by reading the key again and again.
#pragma once

#include <windows.h>

#include <string>

#include "base/kernel_handle.h"
#include "settings/registry.h"

namespace tunelark {

class RegistryWatch {
public:
    // Watches root\path with its whole subtree. While the key is not there, the nearest
    // key above it is watched for keys created in it, which counts as a change too.
    RegistryWatch(HKEY root, std::string path);
    RegistryWatch(const RegistryWatch&) = delete;
    RegistryWatch& operator=(const RegistryWatch&) = delete;

    // Whether anything changed since the watch was last armed. Reads nothing.
    bool Changed() const;
    // Forgets what changed and watches again from now. Before Windows 8 a notification
    // ends with the thread that asked for it: arm on a thread that lives as long as the
    // watch (the host's), every time.
    void Arm();
    // False when the system would not watch at all; Changed() then stays false.
    bool Armed() const { return armed_; }

private:
    HKEY root_;
    std::string path_;
    RegKey key_;
    KernelHandle event_;
    bool armed_ = false;
};

}  // namespace tunelark
