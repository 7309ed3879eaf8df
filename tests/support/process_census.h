// What a process holds at one moment: open handles, threads and heap bytes in use.
// Taken before and after repeated work, it shows what that work leaves behind.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace testsupport {

struct ProcessCensus {
    long handles = 0;
    std::map<std::string, long> handlesByType;  // "Key", "Event", "Thread"...
    long threads = 0;
    long long heapBytes = 0;  // busy blocks of every heap of the process
};

ProcessCensus TakeCensus();

// Whether `after` holds more handles of some type than `before`. A leak check asks for
// growth only: the system's own threads and caches may let go of a handle meanwhile.
bool Grew(const ProcessCensus& before, const ProcessCensus& after);

// A census taken again for up to about a second while its handles or threads have grown
// from `before`: the system's own threads (audio, thread pools) may hold a handle for a
// moment after the work ends, while a leak stays however long one waits.
ProcessCensus SettledCensus(const ProcessCensus& before);

}  // namespace testsupport
