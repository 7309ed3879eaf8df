// Wine (8.0, 32-bit) cannot end a process cleanly while another of its threads is still
// starting (between its creation and its first code) or ending (after its last code):
// the signal that stops that thread finds it half set up, and the whole process dies
// of a segmentation fault after its work is done. Under load a thread can take a
// hundred milliseconds and more to start, so a process that ends soon after a call that
// made the system start or end threads (the first audio call starts one, Media
// Foundation starts work queues and its shutdown ends them) crashed now and then.
// Windows has no such fault, and there these calls return at once.
#pragma once

#include <windows.h>

namespace tunelark::fsound {

// How many threads have started so far: those that start later are newer than the mark.
unsigned ThreadStartMark();

// Under Wine, waits until no thread of this process is starting or ending, and every
// thread newer than `mark` has ended, for at most `timeoutMs`; false if one still was.
bool WaitForThreadsToSettle(DWORD timeoutMs, unsigned mark = ~0u);

}  // namespace tunelark::fsound
