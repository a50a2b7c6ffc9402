// Runs the dociva tool, natively or as the Windows build under Wine, and
// captures what it prints. Native test programs only.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct ToolResult {
    int exitCode = -1;
    std::string out;
};

ToolResult runProgram(const std::vector<std::string>& argv);

// The Windows build folder from $DOCIVA_WIN32_BUILD, "" when unset.
std::string win32BuildFolder();

// A Linux path as the Windows program sees it (drive Z: is the root).
std::string winePath(const std::string& linuxPath);

}  // namespace testing_support
