// What a command-line tool needs from the platform: its arguments as
// UTF-16 and byte-exact standard output.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// argv as UTF-16 (on Windows the wide command line, so no code page loses
// characters). The first entry is the program.
std::vector<std::u16string> commandLineArguments(int argc, char** argv);

// Writes bytes to standard output unchanged (no "\n" to "\r\n").
void writeStdout(std::string_view bytes);
void writeStderr(std::string_view bytes);

}  // namespace platform
