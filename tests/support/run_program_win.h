// Runs a Windows program from a test (under Wine) and captures what it
// prints.
#pragma once

#include <string>

namespace testing_support {

struct ProgramOutcome {
    // Standard output and error together, without carriage returns.
    std::string output;
    // 0xFFFFFFFF when the program could not be started or had to be ended.
    unsigned long exitCode = 0xFFFFFFFFul;
};

// Runs commandLine in folder and waits for it to end, at most timeoutMs
// (then it is ended). Output is read until the program has ended, not
// until the pipe closes: a process Wine starts on the program's behalf
// (its desktop) may inherit the pipe and keep it open.
ProgramOutcome runWindowsProgram(const std::wstring& commandLine, const std::wstring& folder,
                                 unsigned long timeoutMs = 180000);

}  // namespace testing_support
