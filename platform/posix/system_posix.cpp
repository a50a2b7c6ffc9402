#include "platform/system.h"

#include <pwd.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/debug_sink.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/posix/native_path.h"
#include "platform/text.h"

namespace platform {

void debugOutput(std::u16string_view line) {
    detail::forwardToDebugSink(line);
    const char* target = std::getenv("DOCIVA_DEBUG");
    if (!target || !*target) return;
    std::string bytes = text::toUtf8(line);
    if (bytes.empty() || bytes.back() != '\n') bytes += '\n';
    const std::string where(target);
    if (where == "1" || where == "stderr") {
        std::fwrite(bytes.data(), 1, bytes.size(), stderr);
        return;
    }
    std::ofstream(where, std::ios::app | std::ios::binary) << bytes;
}

LocalTime localTime() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    const time_t secs = tv.tv_sec;
    std::tm tm{};
    ::localtime_r(&secs, &tm);
    LocalTime t;
    t.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    t.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    t.dayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
    t.day = static_cast<std::uint16_t>(tm.tm_mday);
    t.hour = static_cast<std::uint16_t>(tm.tm_hour);
    t.minute = static_cast<std::uint16_t>(tm.tm_min);
    t.second = static_cast<std::uint16_t>(tm.tm_sec);
    t.milliseconds = static_cast<std::uint16_t>(tv.tv_usec / 1000);
    return t;
}

namespace {

std::string homeFolder() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

std::string stripTrailingSlashes(std::string s) {
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

// The XDG_DOCUMENTS_DIR line of user-dirs.dirs: a quoted value that is
// either absolute or starts with $HOME.
std::string xdgDocuments(const std::string& home) {
    const char* cfg = std::getenv("XDG_CONFIG_HOME");
    const std::string file = (cfg && *cfg ? std::string(cfg) : home + "/.config") + "/user-dirs.dirs";
    // Through the file layer: it refuses a pipe or device in the file's
    // place instead of waiting on it.
    std::string bytes;
    if (!readFile(posix::fromNativePath(file), bytes, std::uint64_t{1} << 20)) return {};
    std::istringstream in(bytes);
    std::string line;
    while (std::getline(in, line)) {
        std::size_t i = line.find_first_not_of(" \t");
        if (i == std::string::npos || line[i] == '#') continue;
        if (line.compare(i, 18, "XDG_DOCUMENTS_DIR=") != 0) continue;
        std::string value = line.substr(i + 18);
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t')) value.pop_back();
        if (value.size() < 2 || value.front() != '"' || value.back() != '"') return {};
        value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        if (value.empty() || value[0] != '/') return {};
        return stripTrailingSlashes(value);
    }
    return {};
}

}  // namespace

std::u16string documentsFolder() {
    const std::string home = stripTrailingSlashes(homeFolder());
    std::string docs = xdgDocuments(home);
    if (docs.empty()) docs = (home == "/" ? std::string() : home) + "/Documents";
    // A fresh account may have no documents folder yet, where Windows'
    // always exists: callers make folders one level below it.
    if (home != "/") {
        std::error_code ignored;
        std::filesystem::create_directories(docs, ignored);
    }
    return posix::fromNativePath(docs);
}

std::u16string commonAppDataFolder() {
    if (const char* c = std::getenv("DOCIVA_COMMON_APPDATA"); c && *c) return posix::fromNativePath(stripTrailingSlashes(c));
    return u"/usr/share";
}

std::uint32_t currentThreadId() { return static_cast<std::uint32_t>(::syscall(SYS_gettid)); }

std::u16string environmentVariable(std::u16string_view name) {
    const char* v = std::getenv(text::toUtf8(name).c_str());
    return v ? text::fromUtf8(v) : std::u16string();
}

int inPlaceBorderWidth() { return 4; }

}  // namespace platform
