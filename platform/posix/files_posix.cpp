#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/path.h"
#include "platform/posix/native_path.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace platform {

namespace {

struct FdTraits {
    using Handle = int;
    static Handle invalid() noexcept { return -1; }
    static void close(Handle h) noexcept { ::close(h); }
};
using ScopedFd = ScopedHandle<FdTraits>;

struct DirTraits {
    using Handle = DIR*;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { ::closedir(h); }
};
using ScopedDir = ScopedHandle<DirTraits>;

bool fail() {
    posix::rememberErrno();
    return false;
}

// A descriptor for reading path, or an invalid one with errno set. The open
// does not block: without O_NONBLOCK, opening a pipe waits for a writer
// that may never come, before any check of what the name is. Anything but
// a regular file is then refused (EISDIR for a folder, EINVAL for devices,
// pipes and sockets).
ScopedFd openRegularForReading(const std::string& path) {
    ScopedFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd) return fd;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return ScopedFd();
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return ScopedFd();
    }
    // Reads of a regular file never wait; the flag goes so that nothing
    // later mistakes the descriptor for a non-blocking one.
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags == -1 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) == -1) return ScopedFd();
    return fd;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool copyContents(const std::string& from, const std::string& to, bool failIfExists) {
    ScopedFd in = openRegularForReading(from);
    if (!in) return fail();
    struct stat st {};
    if (::fstat(in.get(), &st) != 0) return fail();
    // Copy into a temporary file beside the target and rename it over, so
    // a failed copy never leaves a truncated destination.
    std::string tmp = to + ".XXXXXX";
    ScopedFd out(::mkstemp(tmp.data()));
    if (!out) return fail();
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in.get(), buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            ::unlink(tmp.c_str());
            errno = e;
            return fail();
        }
        if (!writeAll(out.get(), buf, static_cast<std::size_t>(n))) {
            const int e = errno;
            ::unlink(tmp.c_str());
            errno = e;
            return fail();
        }
    }
    ::fchmod(out.get(), st.st_mode & 07777);
    if (::fsync(out.get()) != 0 || ::close(out.release()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        return fail();
    }
    if (failIfExists) {
        // link() refuses an existing name, which makes the check and the
        // placement one step.
        if (::link(tmp.c_str(), to.c_str()) != 0) {
            const int e = errno;
            ::unlink(tmp.c_str());
            errno = e;
            return fail();
        }
        ::unlink(tmp.c_str());
        return true;
    }
    if (::rename(tmp.c_str(), to.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        return fail();
    }
    return true;
}

bool wildcardMatch(std::u16string_view pattern, std::u16string_view name) {
    // Iterative matcher with one backtrack point: linear in practice.
    std::size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || text::asciiLower(pattern[p]) == text::asciiLower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

}  // namespace

bool copyFile(std::u16string_view from, std::u16string_view to, bool failIfExists) {
    return copyContents(posix::toNativePath(from), posix::toNativePath(to), failIfExists);
}

bool moveFile(std::u16string_view from, std::u16string_view to) {
    const std::string src = posix::toNativePath(from);
    const std::string dst = posix::toNativePath(to);
    if (::rename(src.c_str(), dst.c_str()) == 0) return true;
    if (errno != EXDEV) return fail();
    if (!copyContents(src, dst, false)) return false;
    if (::unlink(src.c_str()) != 0) return fail();
    return true;
}

bool deleteFile(std::u16string_view path) {
    const std::string p = posix::toNativePath(path);
    struct stat st {};
    if (::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return fail();
    }
    if (::unlink(p.c_str()) != 0) return fail();
    return true;
}

bool pathExists(std::u16string_view path) {
    struct stat st {};
    if (path.empty() || ::stat(posix::toNativePath(path).c_str(), &st) != 0) return fail();
    return true;
}

bool isDirectory(std::u16string_view path) {
    struct stat st {};
    if (path.empty() || ::stat(posix::toNativePath(path).c_str(), &st) != 0) return fail();
    return S_ISDIR(st.st_mode);
}

bool createDirectory(std::u16string_view path) {
    if (::mkdir(posix::toNativePath(path).c_str(), 0777) != 0) return fail();
    return true;
}

bool removeDirectory(std::u16string_view path) {
    // rmdir refuses a non-empty folder and a file by itself; an empty path
    // would name nothing.
    if (path.empty()) {
        errno = ENOENT;
        return fail();
    }
    if (::rmdir(posix::toNativePath(path).c_str()) != 0) return fail();
    return true;
}

std::vector<FileEntry> findFiles(std::u16string_view pattern) {
    std::vector<FileEntry> out;
    const std::u16string folder = folderOf(pattern);
    const std::u16string mask = fileNameOf(pattern);
    const std::string native = posix::toNativePath(folder.empty() ? std::u16string(u".") : folder);
    ScopedDir dir(::opendir(native.c_str()));
    if (!dir) {
        posix::rememberErrno();
        return out;
    }
    while (dirent* e = ::readdir(dir.get())) {
        std::u16string name = posix::fromNativePath(e->d_name);
        if (!wildcardMatch(mask, name)) continue;
        FileEntry entry;
        entry.name = std::move(name);
        struct stat st {};
        if (::fstatat(::dirfd(dir.get()), e->d_name, &st, 0) == 0) {
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.size = entry.isDirectory ? 0 : static_cast<std::uint64_t>(st.st_size);
        }
        out.push_back(std::move(entry));
    }
    return out;
}

bool isRegularFile(std::u16string_view path) {
    struct stat st {};
    if (path.empty() || ::stat(posix::toNativePath(path).c_str(), &st) != 0) return fail();
    return S_ISREG(st.st_mode);
}

bool readFile(std::u16string_view path, std::string& bytes, std::uint64_t maxBytes) {
    bytes.clear();
    ScopedFd fd = openRegularForReading(posix::toNativePath(path));
    if (!fd) return fail();
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return fail();
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        errno = EFBIG;
        return fail();
    }
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            bytes.clear();
            return fail();
        }
        // The file may grow while it is read.
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
            bytes.clear();
            errno = EFBIG;
            return fail();
        }
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

NewFile createNewFile(std::u16string_view path) {
    ScopedFd fd(::open(posix::toNativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd) return NewFile::Created;
    const bool taken = errno == EEXIST;
    fail();
    return taken ? NewFile::NameTaken : NewFile::Failed;
}

bool writeFile(std::u16string_view path, std::string_view bytes) {
    ScopedFd fd(::open(posix::toNativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd) return fail();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail();
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace platform
