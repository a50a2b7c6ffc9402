// The private-profile calls for Linux: the rules live in platform/ini; this
// file finds the parsed file for each call and replaces it atomically on
// writes.
//
// Reading a profile makes about a hundred calls on one file, so parsed
// files are kept in a small cache, whatever their size (up to the size
// limit), within a memory budget. Every call still stats the file and uses
// the cached copy only when device, inode, size and both time stamps are
// unchanged, so another process's writes are seen at once. A file changed
// within the last second could have changed again inside the same
// time-stamp tick with the same size; its cached copy is used only after
// the file's bytes have been read again and found equal (reading is far
// cheaper than parsing), so a load parses a file once even right after a
// write.
//
// Beyond Windows:
//   - A write goes to a temporary file in the same folder, is flushed to
//     disk and renamed over the original, so readers and crashes see the old
//     file or the new one, never half of one. The original's permission bits
//     (and, when we may, its owner) are kept; a symbolic link is written
//     through, to the file it points at.
//   - A file larger than kMaxProfileBytes reads as missing, and writes to
//     it fail rather than replace what could not be read.
//   - Only regular files are read: a pipe, a device or a folder reads as a
//     missing file, and opening never waits.
//   - A name longer than kMaxPathUnits units reads as missing and cannot be
//     written, as on Windows without the long-path prefix. A relative name
//     is relative to the current folder (Windows looks in its own folder).
//   - Writes of texts that would not read back as written fail with EINVAL
//     (see ini::Document::setValue).
#include "platform/private_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>
#include <algorithm>
#include <ctime>
#include <string>

#include "platform/files.h"
#include "platform/ini/ini_document.h"
#include "platform/ini/profile_buffers.h"
#include "platform/path.h"
#include "platform/posix/native_path.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace platform {

namespace {

constexpr std::uint64_t kMaxFileBytes = kMaxProfileBytes;

struct FdTraits {
    using Handle = int;
    static Handle invalid() noexcept { return -1; }
    static void close(Handle fd) noexcept { ::close(fd); }
};
using ScopedFd = ScopedHandle<FdTraits>;

struct FreeDeleter {
    void operator()(char* p) const noexcept { std::free(p); }
};

bool fail(int error) {
    errno = error;
    posix::rememberErrno();
    return false;
}

bool failWithErrno() {
    posix::rememberErrno();
    return false;
}

// Non-empty and within the Windows path limit; stops counting at the limit
// so a huge name is not walked to its end.
bool usableName(const char16_t* fileName) {
    if (!fileName || !fileName[0]) return false;
    for (std::size_t n = 0; n <= kMaxPathUnits; ++n)
        if (!fileName[n]) return true;
    return false;
}

using DocumentPtr = std::shared_ptr<const ini::Document>;

// The cache keeps at most this many files, and drops the least recently
// used ones while the files it holds add up to more than the budget (the
// one just stored always stays): a parsed file takes at most about 16
// times its size.
constexpr std::size_t kCacheEntries = 16;
constexpr std::uint64_t kCacheBudgetBytes = 2 * kMaxFileBytes;
constexpr std::int64_t kSettledNanoseconds = 1'000'000'000;

std::int64_t nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::int64_t nowNanoseconds() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;

    explicit FileIdentity(const struct stat& st)
        : device(st.st_dev), inode(st.st_ino), size(st.st_size), modified(nanoseconds(st.st_mtim)),
          changed(nanoseconds(st.st_ctim)) {}
    bool operator==(const FileIdentity&) const = default;

    // No change of the file can still share these time stamps.
    bool settledAt(std::int64_t now) const { return now - std::max(modified, changed) > kSettledNanoseconds; }
};

class DocumentCache {
public:
    struct Found {
        DocumentPtr document;
        bool trusted = false;  // settled when it was read: no need to compare bytes
    };

    Found find(const std::string& path, const FileIdentity& id) {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (auto& e : entries_) {
            if (e.path == path && e.id == id) {
                e.lastUse = ++clock_;
                return {e.document, e.trusted};
            }
        }
        return {};
    }

    void store(const std::string& path, const FileIdentity& id, DocumentPtr document, bool trusted) {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::erase_if(entries_, [&](const Entry& e) { return e.path == path; });
        entries_.push_back(Entry{path, id, std::move(document), trusted, ++clock_});
        const auto bytes = [this] {
            std::uint64_t total = 0;
            for (const auto& e : entries_) total += e.document->sourceBytes().size();
            return total;
        };
        while (entries_.size() > 1 && (entries_.size() > kCacheEntries || bytes() > kCacheBudgetBytes)) {
            auto oldest = entries_.begin();
            for (auto it = entries_.begin(); it != entries_.end(); ++it)
                if (it->lastUse < oldest->lastUse) oldest = it;
            entries_.erase(oldest);
        }
    }

    void forget(const std::string& path) {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::erase_if(entries_, [&](const Entry& e) { return e.path == path; });
    }

private:
    struct Entry {
        std::string path;
        FileIdentity id{{}};
        DocumentPtr document;
        bool trusted = false;
        std::uint64_t lastUse = 0;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
    std::uint64_t clock_ = 0;
};

std::atomic<std::uint64_t> parses{0};

ini::Document parse(std::string bytes) {
    parses.fetch_add(1, std::memory_order_relaxed);
    return ini::Document::parse(std::move(bytes));
}

DocumentCache& cache() {
    static DocumentCache instance;
    return instance;
}

bool readAll(int fd, std::string& bytes, std::uint64_t expected) {
    bytes.clear();
    bytes.reserve(static_cast<std::size_t>(std::min(expected, kMaxFileBytes)));
    char chunk[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        // The file may grow while it is read.
        if (bytes.size() + static_cast<std::size_t>(n) > kMaxFileBytes) {
            errno = EFBIG;
            return false;
        }
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
}

// The parsed file, or null when it cannot be read (a missing file, a
// folder, a pipe or device, no access, over the size limit).
DocumentPtr load(const char16_t* fileName) {
    if (!usableName(fileName)) return nullptr;
    const std::string path = posix::toNativePath(text::view(fileName));
    struct stat st {};
    // Only regular files: opening a pipe would wait for a writer forever.
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    if (static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes) return nullptr;
    DocumentCache::Found kept = cache().find(path, FileIdentity(st));
    if (kept.trusted) return kept.document;

    // Not blocking even so: the name may have become a pipe since the stat.
    ScopedFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd) return nullptr;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    if (static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes) return nullptr;
    // The identity is taken from the open file before reading: a change
    // made while it is read gives the next call a new identity. The time
    // is taken before reading too: settled then, the bytes read are the
    // ones the identity stands for.
    const FileIdentity id(st);
    const bool settled = id.settledAt(nowNanoseconds());
    std::string bytes;
    if (!readAll(fd.get(), bytes, static_cast<std::uint64_t>(st.st_size))) return nullptr;
    DocumentPtr document;
    if (kept.document && kept.document->sourceBytes() == bytes) {
        document = std::move(kept.document);
    } else {
        document = std::make_shared<const ini::Document>(parse(std::move(bytes)));
    }
    cache().store(path, id, document, settled);
    return document;
}

bool writeAll(int fd, const std::string& bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string randomSuffix() {
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t x = (static_cast<std::uint64_t>(::getpid()) << 32) ^ counter.fetch_add(1) ^
                      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    // splitmix64: neighbouring inputs give unrelated names.
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s;
    for (int i = 0; i < 8; ++i) {
        s += kChars[x % 36];
        x /= 36;
    }
    return s;
}

// Replaces target with bytes through a temporary file beside it. original
// is the target's stat when it exists.
bool replaceFile(const std::string& target, const std::string& bytes, const struct stat* original) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // Kept short enough that the temporary name fits where the real one does.
    const std::string base = target.substr(slash == std::string::npos ? 0 : slash + 1).substr(0, 200);

    // A new file gets the mode any created file gets (0666 less the umask);
    // an existing one keeps its own, set exactly below.
    const mode_t mode = original ? (original->st_mode & 07777) : 0666;
    std::string temp;
    ScopedFd fd;
    for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
        temp = folder + "." + base + "." + randomSuffix();
        fd.reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (!fd && errno != EEXIST) return failWithErrno();
    }
    if (!fd) return fail(EEXIST);

    const auto abandon = [&] {
        const int error = errno;
        fd.reset();
        ::unlink(temp.c_str());
        return fail(error);
    };

    if (original) {
        if (::fchmod(fd.get(), original->st_mode & 07777) != 0) return abandon();
        // Someone else's file (root editing it) stays theirs; without the
        // right to do so the file simply becomes ours.
        if (original->st_uid != ::geteuid() || original->st_gid != ::getegid()) {
            [[maybe_unused]] const int ignored = ::fchown(fd.get(), original->st_uid, original->st_gid);
        }
    }
    if (!writeAll(fd.get(), bytes)) return abandon();
    if (::fsync(fd.get()) != 0) return abandon();
    if (::close(fd.release()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return fail(error);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return fail(error);
    }
    // The rename itself reaches the disk with the folder; a failure here
    // leaves a complete file either way, so it is not reported.
    ScopedFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.get());
    return true;
}

}  // namespace

std::uint32_t getPrivateProfileString(const char16_t* section, const char16_t* key,
                                      const char16_t* defaultValue, char16_t* buffer,
                                      std::uint32_t size, const char16_t* fileName) {
    if (!buffer || size == 0) return 0;
    const DocumentPtr doc = load(fileName);
    return ini::profileString(doc.get(), section, key, defaultValue, buffer, size);
}

std::int32_t getPrivateProfileInt(const char16_t* section, const char16_t* key,
                                  std::int32_t defaultValue, const char16_t* fileName) {
    const DocumentPtr doc = load(fileName);
    return ini::profileInt(doc.get(), section, key, defaultValue);
}

std::uint32_t getPrivateProfileSectionNames(char16_t* buffer, std::uint32_t size,
                                            const char16_t* fileName) {
    if (!buffer || size == 0) return 0;
    const DocumentPtr doc = load(fileName);
    return ini::profileSectionNames(doc.get(), buffer, size);
}

std::uint32_t getPrivateProfileSection(const char16_t* section, char16_t* buffer,
                                       std::uint32_t size, const char16_t* fileName) {
    if (!buffer || size == 0) return 0;
    const DocumentPtr doc = load(fileName);
    return ini::profileSection(doc.get(), section, buffer, size);
}

bool writePrivateProfileString(const char16_t* section, const char16_t* key,
                               const char16_t* value, const char16_t* fileName) {
    if (!section || !usableName(fileName)) return fail(EINVAL);

    // Two writers in this process must not both read the old file and each
    // rename their own edit over it: the first edit would be lost.
    static std::mutex writers;
    const std::lock_guard<std::mutex> lock(writers);

    const std::u16string_view name = text::view(fileName);
    std::string target = posix::toNativePath(name);
    if (const std::unique_ptr<char, FreeDeleter> real(::realpath(target.c_str(), nullptr)); real)
        target = real.get();

    std::string bytes;
    struct stat original {};
    bool exists = true;
    if (!readFile(name, bytes, kMaxFileBytes)) {
        // Only a file that is not there may be started afresh; one that
        // could not be read (too large, no access) must not be replaced.
        const int readError = errno != 0 ? errno : EIO;
        if (::stat(target.c_str(), &original) == 0 || errno != ENOENT) return fail(readError);
        exists = false;
    } else if (::stat(target.c_str(), &original) != 0) {
        return failWithErrno();
    } else if (!S_ISREG(original.st_mode)) {
        return fail(EINVAL);  // a device or pipe that read as text is never replaced by a file
    }

    ini::Document doc = exists ? parse(std::move(bytes)) : ini::Document();
    switch (ini::profileWrite(doc, section, key, value)) {
        case ini::EditResult::Refused: return fail(EINVAL);
        case ini::EditResult::Unchanged: return true;
        case ini::EditResult::Changed: break;
    }
    // Readers of this name re-read the new file; the next write replaces
    // the inode, so a cached copy could never match anyway.
    cache().forget(posix::toNativePath(name));
    return replaceFile(target, doc.serialize(), exists ? &original : nullptr);
}

std::uint64_t profileParseCount() { return parses.load(std::memory_order_relaxed); }

}  // namespace platform
