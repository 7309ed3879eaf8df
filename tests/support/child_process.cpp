#include "support/child_process.h"

#include <fstream>
#include <sstream>

#include "support/sound_files.h"

namespace testsupport {

ChildProcess::ChildProcess(const std::string& program, const std::string& arguments) {
    // The output goes to a file: nothing has to read it while the program runs.
    char dir[MAX_PATH], file[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "tlc", 0, file);
    outputFile_ = file;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA(file, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output;
    std::string command = "\"" + ProgramDir() + program + "\" " + arguments;
    PROCESS_INFORMATION started{};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
        process_ = started.hProcess;
        CloseHandle(started.hThread);
    }
    CloseHandle(output);
}

ChildProcess::~ChildProcess() {
    if (Running()) Kill();
    CloseHandle(process_);
    DeleteFileA(outputFile_.c_str());
}

ToolRun ChildProcess::Finish(DWORD timeoutMs) {
    ToolRun run;
    if (WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process_, &run.exitCode);
    std::ostringstream text;
    text << std::ifstream(outputFile_, std::ios::binary).rdbuf();
    run.output = text.str();
    return run;
}

}  // namespace testsupport
