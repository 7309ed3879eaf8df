// Programs a test starts beside itself: other processes under the same Wine server, as
// the plug-in meets tlpack, the setup and other users' plug-ins on one computer.
#pragma once

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/sound_files.h"

namespace testsupport {

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;  // also for a program that did not end in time
    std::string output;           // standard output and error, through a file
};

// A program beside the test programs, started at once, killed if it still runs at the end.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::string& arguments) {
        char dir[MAX_PATH], file[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        GetTempFileNameA(dir, "tlc", 0, file);
        output_ = file;
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError =
            CreateFileA(file, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
        std::string command = "\"" + ProgramDir() + program + "\" " + arguments;
        PROCESS_INFORMATION started{};
        if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started))
            CloseHandle(started.hThread), process_ = started.hProcess;
        CloseHandle(startup.hStdOutput);
    }
    ~ChildProcess() {
        if (Running()) Kill();
        CloseHandle(process_), DeleteFileA(output_.c_str());
    }
    bool Running() const { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
    void Kill() { TerminateProcess(process_, 1), WaitForSingleObject(process_, 5000); }
    ToolRun Finish(DWORD timeoutMs = 20000) {
        ToolRun run;
        if (WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process_, &run.exitCode);
        std::ostringstream text;
        text << std::ifstream(output_, std::ios::binary).rdbuf();
        run.output = text.str();
        return run;
    }

private:
    HANDLE process_ = nullptr;
    std::string output_;
};

inline ToolRun RunProgram(const std::string& program, const std::string& arguments) {
    return ChildProcess(program, arguments).Finish();
}

}  // namespace testsupport
