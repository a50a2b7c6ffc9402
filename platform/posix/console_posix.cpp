#include "platform/console.h"

#include <cstdio>

#include "platform/text.h"

namespace platform {

std::vector<std::u16string> commandLineArguments(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i) args.push_back(text::fromUtf8(argv[i] ? argv[i] : ""));
    return args;
}

void writeStdout(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

void writeStderr(std::string_view bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stderr); }

}  // namespace platform
