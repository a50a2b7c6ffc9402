#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/file_writer.h"
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

// Copies through a FileWriter: a temporary file beside the target, flushed
// to the disk and put in place only when complete, so a failed copy never
// leaves a truncated destination and a link at the destination is replaced,
// not written through.
bool copyContents(const std::string& from, std::u16string_view to, bool failIfExists) {
    ScopedFd in = openRegularForReading(from);
    if (!in) return fail();
    if (failIfExists) {
        struct stat existing {};
        if (::lstat(posix::toNativePath(to).c_str(), &existing) == 0) {
            errno = EEXIST;
            return fail();
        }
    }
    FileWriter out;
    if (!out.begin(to)) return fail();
    out.keepPermissionsOf(posix::fromNativePath(from));
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in.get(), buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            out.abandon();
            errno = e;
            return fail();
        }
        if (!out.write(buf, static_cast<std::size_t>(n))) {
            const int e = errno;
            out.abandon();
            errno = e;
            return fail();
        }
    }
    if (!out.commit(!failIfExists)) return fail();
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
    return copyContents(posix::toNativePath(from), to, failIfExists);
}

bool moveFile(std::u16string_view from, std::u16string_view to) {
    const std::string src = posix::toNativePath(from);
    const std::string dst = posix::toNativePath(to);
    // The file reaches the disk before it takes the target's name, so a
    // crash never leaves the name on a file whose data is not there yet.
    {
        ScopedFd file(::open(src.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (file && ::fstat(file.get(), &st) == 0 && S_ISREG(st.st_mode)) ::fsync(file.get());
    }
    if (::rename(src.c_str(), dst.c_str()) == 0) {
        const std::size_t slash = dst.rfind('/');
        ScopedFd dir(::open(slash == std::string::npos ? "." : slash == 0 ? "/" : dst.substr(0, slash).c_str(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir) ::fsync(dir.get());
        return true;
    }
    if (errno != EXDEV) return fail();
    if (!copyContents(src, to, false)) return false;
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
    FileWriter out;
    if (!out.begin(path)) return fail();
    if (!out.write(bytes.data(), bytes.size())) {
        const int e = errno;
        out.abandon();
        errno = e;
        return fail();
    }
    if (!out.commit()) return fail();
    return true;
}

}  // namespace platform
