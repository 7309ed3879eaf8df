#include "plugin/exports/exports.h"

// Commands are not handled yet; answering 0 tells the host the command is not ours.
extern "C" BOOL __stdcall ParseCommand(const char*, const char*, tunelark::HostCallContext*, char*) {
    return 0;
}
