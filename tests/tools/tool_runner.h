// Runs the dociva tool, natively or as the Windows build under Wine, and
// captures what it prints. Native test programs only.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;  // only with RunOptions::errFile
};

struct RunOptions {
    // Standard error goes to this file and comes back in ToolResult::err;
    // empty: the test's own standard error.
    std::string errFile;
    // Variables of the test's environment left out ("NAME" each), then
    // the ones added ("NAME=value" each).
    std::vector<std::string> unset;
    std::vector<std::string> set;
};

// argv[0] is looked up in PATH when it has no slash. Standard input is
// /dev/null.
ToolResult runProgram(const std::vector<std::string>& argv, const RunOptions& options = {});

// The Windows build folder from $DOCIVA_WIN32_BUILD, "" when unset.
std::string win32BuildFolder();

// A Linux path as the Windows program sees it (drive Z: is the root).
std::string winePath(const std::string& linuxPath);

}  // namespace testing_support
