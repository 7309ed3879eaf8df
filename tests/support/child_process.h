// Programs a test starts beside itself: other processes of the same machine, under the
// same Wine server, as the plug-in meets tlpack, the setup and other users' plug-ins.
#pragma once

#include <windows.h>

#include <string>

#include "base/kernel_handle.h"

namespace testsupport {

// A program running beside the test, its standard output and error read as they come.
// It is killed when it goes, if it still runs.
class ChildProcess {
public:
    // `program`: a file beside the test programs (tlpack.exe, say).
    ChildProcess(const std::string& program, const std::string& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return static_cast<bool>(process_); }
    // Reads until the output holds `text` or the program ends; false when it never came.
    bool WaitForOutput(const std::string& text, DWORD timeoutMs = 20000);
    // Waits for the end (at most timeoutMs) and reads the rest; the exit code, or
    // 0xFFFFFFFF for a program that did not end.
    DWORD Finish(DWORD timeoutMs = 20000);
    void Kill();
    const std::string& Output() const { return output_; }

private:
    bool ReadSome();
    tunelark::KernelHandle process_, read_;
    std::string output_;
};

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // standard output and error together
};
// Runs a program beside the test programs to its end.
ToolRun RunProgram(const std::string& program, const std::string& arguments, DWORD timeoutMs = 20000);

}  // namespace testsupport
