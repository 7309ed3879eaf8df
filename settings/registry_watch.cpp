#include "settings/registry_watch.h"

#include "base/ansi_text.h"

namespace tunelark {

namespace {

constexpr DWORD WatchedChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

}  // namespace

RegistryWatch::RegistryWatch(HKEY root, std::string path)
    : root_(root), path_(std::move(path)), event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    Arm();
}

bool RegistryWatch::Changed() const {
    return armed_ && WaitForSingleObject(event_.get(), 0) == WAIT_OBJECT_0;
}

void RegistryWatch::Arm() {
    armed_ = false;
    if (!event_) return;
    ResetEvent(event_.get());
    // The same key again where it is still there; a key deleted since (or not there at
    // first) is looked for anew, from the watched path up.
    std::string path = path_;
    key_.reset();
    for (;;) {
        key_ = RegKey::Open(root_, path.c_str(), KEY_NOTIFY);
        if (key_ || path.empty()) break;
        const size_t cut = SystemCodePage().FindLastOf(path, "\\");
        path.resize(cut == std::string::npos ? 0 : cut);
    }
    if (!key_) return;
    // Below the key itself every change counts; above it, only a key created or deleted
    // in the one watched, which is how the watched path comes into being.
    const bool whole = path == path_;
    armed_ = RegNotifyChangeKeyValue(key_.get(), whole ? TRUE : FALSE, whole ? WatchedChanges : REG_NOTIFY_CHANGE_NAME,
                                     event_.get(), TRUE) == ERROR_SUCCESS;
}

}  // namespace tunelark
