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

}  // namespace testsupport
