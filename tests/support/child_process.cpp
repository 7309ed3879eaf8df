#include "support/child_process.h"

#include "support/sound_files.h"

namespace testsupport {

ChildProcess::ChildProcess(const std::string& program, const std::string& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) return;
    read_.reset(read);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = write;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::string command = "\"" + ProgramDir() + program + "\" " + arguments;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        process_.reset(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(write);
}

ChildProcess::~ChildProcess() {
    Kill();
}

bool ChildProcess::ReadSome() {
    char buffer[4096];
    DWORD got = 0;
    if (!read_ || !ReadFile(read_.get(), buffer, sizeof buffer, &got, nullptr) || got == 0) return false;
    output_.append(buffer, got);
    return true;
}

bool ChildProcess::WaitForOutput(const std::string& text, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (output_.find(text) == std::string::npos) {
        DWORD waiting = 0;
        if (!PeekNamedPipe(read_.get(), nullptr, 0, nullptr, &waiting, nullptr)) return false;  // ended
        if (waiting > 0) ReadSome();
        else if (GetTickCount() - start > timeoutMs) return false;
        else Sleep(5);
    }
    return true;
}

DWORD ChildProcess::Finish(DWORD timeoutMs) {
    if (!process_) return 0xFFFFFFFF;
    // Read as it writes: a full pipe would hold it up.
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT && GetTickCount() - start < timeoutMs) {
        DWORD waiting = 0;
        if (PeekNamedPipe(read_.get(), nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0) ReadSome();
        else Sleep(5);
    }
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) return code;
    while (ReadSome()) {
    }
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

void ChildProcess::Kill() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), 5000);
    }
}

ToolRun RunProgram(const std::string& program, const std::string& arguments, DWORD timeoutMs) {
    ChildProcess child(program, arguments);
    ToolRun run;
    run.exitCode = child.Finish(timeoutMs);
    run.output = child.Output();
    return run;
}

}  // namespace testsupport
