#include "support/run_program_win.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/handles.h"

namespace testing_support {

ProgramOutcome runWindowsProgram(const std::wstring& commandLine, const std::wstring& folder,
                                 unsigned long timeoutMs) {
    ProgramOutcome outcome;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        outcome.output = "<no pipe: error " + std::to_string(GetLastError()) + ">";
        return outcome;
    }
    platform::win32::ScopedKernelHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring command = commandLine;  // CreateProcessW may write into it
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
        outcome.output = "<cannot start: error " + std::to_string(GetLastError()) + ">";
        return outcome;
    }
    platform::win32::ScopedKernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
    writer.reset();
    std::string raw;
    const auto drain = [&] {
        char buffer[4096];
        DWORD available = 0, got = 0;
        while (PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
               ReadFile(reader.get(), buffer, std::min<DWORD>(available, sizeof(buffer)), &got, nullptr) && got > 0)
            raw.append(buffer, got);
    };
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    bool ended = false;
    while (!ended) {
        drain();
        ended = WaitForSingleObject(processHandle.get(), 20) == WAIT_OBJECT_0;
        if (!ended && GetTickCount64() > deadline) break;
    }
    drain();
    if (ended) {
        DWORD code = 0;
        if (GetExitCodeProcess(processHandle.get(), &code)) outcome.exitCode = code;
    } else {
        TerminateProcess(processHandle.get(), 0xFFFFFFFFu);
        WaitForSingleObject(processHandle.get(), 5000);
    }
    for (char c : raw)
        if (c != '\r') outcome.output += c;
    return outcome;
}

}  // namespace testing_support
