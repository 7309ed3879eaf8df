#include "plugin/exports/exports.h"

// Notifications are not handled yet; answering 0 leaves them to the host.
extern "C" BOOL __stdcall ReceiveNotify(const char*, void*, tunelark::HostCallContext*, char*) {
    return 0;
}
