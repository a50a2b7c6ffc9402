#include "platform/console.h"

#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/scoped_handle.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

struct LocalMemoryTraits {
    using Handle = LPWSTR*;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { LocalFree(h); }
};

}  // namespace

std::vector<std::u16string> commandLineArguments(int, char**) {
    std::vector<std::u16string> args;
    int count = 0;
    ScopedHandle<LocalMemoryTraits> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!argv) return args;
    for (int i = 0; i < count; ++i) args.push_back(win32::fromWide(argv.get()[i]));
    return args;
}

void writeStdout(std::string_view bytes) {
    _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

void writeStderr(std::string_view bytes) {
    _setmode(_fileno(stderr), _O_BINARY);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
}

}  // namespace platform
