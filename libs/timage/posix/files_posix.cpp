#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "libs/timage/core/backend.h"
#include "libs/timage/core/limits.h"
#include "libs/timage/posix/native_path.h"
#include "platform/file_writer.h"

namespace timage {
namespace posix {

std::string nativePath(const char16_t* path) {
    std::string out;
    for (const char16_t* p = path; *p; ++p) {
        char32_t c = *p;
        if (c >= 0xd800 && c <= 0xdbff && p[1] >= 0xdc00 && p[1] <= 0xdfff) {
            c = 0x10000 + ((c - 0xd800) << 10) + (p[1] - 0xdc00);
            ++p;
        } else if (c >= 0xd800 && c <= 0xdfff) {
            c = 0xfffd;  // a lone surrogate
        }
        if (c == u'\\') c = u'/';
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xe0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now, reporting whether the data reached the file system.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

}  // namespace
}  // namespace posix

namespace backend {

int readFile(const char16_t* path, Bytes& out) {
    out.clear();
    const std::string native = posix::nativePath(path);
    if (native.empty()) return TI_ERR_ARGUMENT;
    // Opened without blocking, then checked: a pipe in place of a picture
    // would otherwise hold the open until someone writes to it, and a
    // device would never end.
    posix::Fd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) return TI_ERR_IO;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return TI_ERR_IO;
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags == -1 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) == -1) return TI_ERR_IO;
    if (static_cast<std::uint64_t>(st.st_size) > kMaxEncodedBytes) return TI_ERR_MEMORY;
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t have = 0;
    for (;;) {
        if (have == out.size()) {
            // The file may have grown since fstat.
            if (out.size() >= kMaxEncodedBytes) break;
            out.resize(out.size() + 65536);
        }
        const ssize_t n = ::read(fd.get(), out.data() + have, out.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            out.clear();
            return TI_ERR_IO;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    out.resize(have);
    return TI_OK;
}

int writeFile(const char16_t* path, const Bytes& bytes) {
    if (!path || !*path) return TI_ERR_ARGUMENT;
    // Written beside the target under a temporary name of ours, flushed to
    // the disk, then renamed over it (platform::FileWriter): a failed write
    // leaves the old file as it was, and a link at the target is replaced,
    // never written through.
    platform::FileWriter out;
    if (!out.begin(path)) return TI_ERR_IO;
    if (!out.write(bytes.data(), bytes.size()) || !out.commit()) return TI_ERR_IO;
    return TI_OK;
}

}  // namespace backend
}  // namespace timage
