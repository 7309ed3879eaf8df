// Programs a test starts beside itself: other processes under the same Wine server, as
// the plug-in meets tlpack, the setup and other users' plug-ins on one computer.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;  // also for a program that did not end in time
    std::string output;           // standard output and error together
};

// A program beside the test programs, started at once; killed if it still runs when
// this goes.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::string& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    bool Running() const { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
    ToolRun Finish(DWORD timeoutMs = 20000);
    void Kill() { TerminateProcess(process_, 1), WaitForSingleObject(process_, 5000); }

private:
    HANDLE process_ = nullptr;
    std::string outputFile_;
};

inline ToolRun RunProgram(const std::string& program, const std::string& arguments) {
    return ChildProcess(program, arguments).Finish();
}

}  // namespace testsupport
