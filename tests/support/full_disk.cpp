#include "support/full_disk.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

#include "platform/text.h"
#include "support/test_support.h"

namespace testing_support {

namespace {

void setVariable(const char* name, const std::string* value) {
#if defined(_WIN32)
    _putenv_s(name, value ? value->c_str() : "");
#else
    if (value) {
        setenv(name, value->c_str(), 1);
    } else {
        unsetenv(name);
    }
#endif
}

}  // namespace

FullDisk::FullDisk(Kind kind, std::u16string folder, unsigned long long sizeBytes)
    : kind_(kind), folder_(std::move(folder)) {
    if (kind_ == Kind::Simulated) {
        ready_ = true;
        return;
    }
#ifdef _WIN32
    (void)sizeBytes;
    why_ = "a tmpfs is a Linux file system";
#else
    const std::string native = utf8(folder_);
    const std::string options = "size=" + std::to_string(sizeBytes) + ",mode=0755";
    if (::mount("tmpfs", native.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        why_ = std::string("a tmpfs cannot be mounted here (") + std::strerror(errno) +
               "); scripts/test runs as root, where it can";
        return;
    }
    mounted_ = true;
    ready_ = true;
    filler_ = native + "/zz-filler";
#endif
}

FullDisk::~FullDisk() {
    drain();
#ifndef _WIN32
    if (mounted_) ::umount2(utf8(folder_).c_str(), MNT_DETACH);
#endif
}

void FullDisk::fill(unsigned long long freeBytes) {
    drain();
    filled_ = true;
    if (kind_ == Kind::Simulated) {
        if (const char* v = std::getenv("DOCIVA_TEST_DISK_FULL")) {
            hadFolder_ = true;
            previousFolder_ = v;
        }
        if (const char* v = std::getenv("DOCIVA_TEST_DISK_FREE")) {
            hadFree_ = true;
            previousFree_ = v;
        }
        const std::string folder = utf8(folder_), free = std::to_string(freeBytes);
        setVariable("DOCIVA_TEST_DISK_FULL", &folder);
        setVariable("DOCIVA_TEST_DISK_FREE", &free);
        return;
    }
#ifndef _WIN32
    // Everything but freeBytes goes to one file: written until the disk
    // refuses, then cut back to leave the room asked for.
    const int fd = ::open(filler_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    std::vector<char> block(1 << 16, 'f');
    off_t size = 0;
    for (;;) {
        const ssize_t n = ::write(fd, block.data(), block.size());
        if (n <= 0) break;
        size += n;
    }
    for (;;) {
        const ssize_t n = ::write(fd, block.data(), 1);
        if (n <= 0) break;
        size += n;
    }
    const off_t page = 4096;
    const off_t keep = size - static_cast<off_t>((freeBytes + page - 1) / page * page);
    if (::ftruncate(fd, keep > 0 ? keep : 0) != 0) {
        // Left full.
    }
    ::close(fd);
#endif
}

void FullDisk::drain() {
    if (!filled_) return;
    filled_ = false;
    if (kind_ == Kind::Simulated) {
        setVariable("DOCIVA_TEST_DISK_FULL", hadFolder_ ? &previousFolder_ : nullptr);
        setVariable("DOCIVA_TEST_DISK_FREE", hadFree_ ? &previousFree_ : nullptr);
        hadFolder_ = hadFree_ = false;
        return;
    }
#ifndef _WIN32
    ::unlink(filler_.c_str());
#endif
}

}  // namespace testing_support
