// GetTickCount64 on systems without it (see tick_count64.cpp).
#pragma once

#include <windows.h>

namespace tunelark {

// The 64-bit tick count that follows `last` when GetTickCount now reads `now`: the
// 32-bit count's wrap is carried, and a reading older than `last` leaves it as it is.
// Right as long as it is asked at least every 24 days.
ULONGLONG WidenTickCount(ULONGLONG last, DWORD now);

}  // namespace tunelark
