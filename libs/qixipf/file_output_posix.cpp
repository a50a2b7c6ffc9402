#include "libs/qixipf/file_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/posix/native_path.h"

namespace qixipf {

namespace {

struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// A new file beside target, opened for writing; null when none can be made.
std::FILE* openBeside(const std::string& target, std::string& temporary) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = target + ".~qix" + std::to_string(::getpid()) + "_" + std::to_string(counter.fetch_add(1));
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
        // A replaced file keeps its permissions.
        struct stat st {};
        if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd, st.st_mode & 07777);
        std::FILE* f = ::fdopen(fd, "wb");
        if (!f) {
            ::close(fd);
            ::unlink(temporary.c_str());
        }
        return f;
    }
    return nullptr;
}

}  // namespace

bool writeFileThrough(std::u16string_view path, const std::function<void(std::FILE*)>& write) {
    if (path.empty()) return false;
    // The same mapping of backslashes as every other file of the component.
    const std::string native = platform::posix::toNativePath(path);
    std::string temporary;
    std::unique_ptr<std::FILE, CloseFile> f(openBeside(native, temporary));
    if (!f) return false;
    try {
        write(f.get());
    } catch (...) {
        f.reset();
        ::unlink(temporary.c_str());
        throw;
    }
    // A full disk may show only when the buffer is flushed at the close.
    const bool written = std::ferror(f.get()) == 0;
    const bool closed = std::fclose(f.release()) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), native.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace qixipf
