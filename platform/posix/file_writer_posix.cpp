// The file writer's native calls on Linux. A file being written is held
// with an exclusive flock() from its creation until it is renamed or
// removed, so a sweep of stale temporary files (in this or another
// process, or on another machine sharing the folder) leaves it alone.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/file_writer.h"
#include "platform/file_writer_native.h"
#include "platform/path.h"
#include "platform/posix/native_path.h"
#include "platform/text.h"

namespace platform {

std::uint32_t currentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

bool processRunning(std::uint32_t pid) {
    if (pid == 0 || pid > static_cast<std::uint32_t>(INT32_MAX)) return false;
    const int saved = errno;
    const bool running = ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
    errno = saved;
    return running;
}

namespace native {

namespace {

int fd(std::intptr_t handle) { return static_cast<int>(handle); }

std::string folderOfNative(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

std::intptr_t createExclusive(const std::u16string& path, std::u16string_view target, bool& taken) {
    taken = false;
    const std::string native = posix::toNativePath(path);
    // O_EXCL: no entry of the name may exist, a link included, so nothing
    // is ever opened through a link.
    const int f = ::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (f < 0) {
        taken = errno == EEXIST;
        return -1;
    }
    // A fresh file: nobody else can hold a lock on it yet.
    ::flock(f, LOCK_EX | LOCK_NB);
    // A replaced file keeps its permission bits, and someone else's file
    // (the superuser writing it) stays theirs where we may do that.
    struct stat st {};
    if (::lstat(posix::toNativePath(target).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        ::fchmod(f, st.st_mode & 07777);
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
            [[maybe_unused]] const int ignored = ::fchown(f, st.st_uid, st.st_gid);
        }
    }
    return f;
}

std::intptr_t openInPlace(const std::u16string& path) {
    const std::string native = posix::toNativePath(path);
    const int f = ::open(native.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (f < 0) return -1;
    struct stat st {};
    const bool statted = ::fstat(f, &st) == 0;
    if (!statted || !S_ISREG(st.st_mode)) {
        const int e = statted ? EINVAL : errno;
        ::close(f);
        errno = e;
        return -1;
    }
    ::flock(f, LOCK_EX | LOCK_NB);
    // Back to blocking writes, from the start.
    ::fcntl(f, F_SETFL, ::fcntl(f, F_GETFL) & ~O_NONBLOCK);
    if (::ftruncate(f, 0) != 0) {
        const int e = errno;
        ::close(f);
        errno = e;
        return -1;
    }
    return f;
}

bool writeAt(std::intptr_t handle, std::uint64_t offset, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd(handle), p, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        p += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::size_t readAt(std::intptr_t handle, std::uint64_t offset, void* data, std::size_t size) {
    std::size_t done = 0;
    char* p = static_cast<char*>(data);
    while (done < size) {
        const ssize_t n = ::pread(fd(handle), p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool close(std::intptr_t handle, bool sync) {
    if (handle < 0) return false;
    bool ok = true;
    int error = 0;
    if (sync && ::fsync(fd(handle)) != 0) {
        ok = false;
        error = errno;
    }
    if (::close(fd(handle)) != 0 && ok && errno != EINTR) {
        ok = false;
        error = errno;
    }
    if (!ok) errno = error;
    return ok;
}

bool replace(const std::u16string& from, const std::u16string& to, bool replaceExisting) {
    const std::string source = posix::toNativePath(from);
    const std::string target = posix::toNativePath(to);
    if (replaceExisting) {
        // rename() replaces the entry at the target, a link included, and
        // never writes through it.
        if (::rename(source.c_str(), target.c_str()) != 0) return false;
    } else {
        // link() refuses an existing name, which makes the check and the
        // placement one step.
        if (::link(source.c_str(), target.c_str()) != 0) return false;
        ::unlink(source.c_str());
    }
    // The rename reaches the disk with its folder; a failure here leaves a
    // complete file either way, so it is not reported.
    const int dir = ::open(folderOfNative(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void keepPermissionsOf(std::intptr_t handle, std::u16string_view source) {
    struct stat st {};
    if (::stat(posix::toNativePath(source).c_str(), &st) == 0) ::fchmod(fd(handle), st.st_mode & 07777);
}

void remove(const std::u16string& path) {
    const int saved = errno;
    ::unlink(posix::toNativePath(path).c_str());
    errno = saved;
}

bool removeStaleFile(const std::u16string& path) {
    const std::string native = posix::toNativePath(path);
    const int f = ::open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (f < 0) return false;
    struct stat st {};
    // A writer still holding the file (another machine's process, say)
    // keeps its lock until the file is renamed or removed.
    const bool stale = ::fstat(f, &st) == 0 && S_ISREG(st.st_mode) && ::flock(f, LOCK_EX | LOCK_NB) == 0;
    const bool removed = stale && ::unlink(native.c_str()) == 0;
    ::close(f);
    return removed;
}

bool ignoresCase() { return false; }

void setDiskError(bool full) { errno = full ? ENOSPC : EINVAL; }

}  // namespace native
}  // namespace platform
