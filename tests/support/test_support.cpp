#include "support/test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/system.h"
#include "platform/text.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace testing_support {

namespace {

fs::path toPath(std::u16string_view p) { return fs::path(std::u16string(p)); }

}  // namespace

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const fs::path base = fs::temp_directory_path();
    for (;;) {
        const fs::path candidate =
            base / ("dociva-test-" + std::to_string(rd()) + "-" + std::to_string(counter.fetch_add(1)));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate.u16string();
            break;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(toPath(path_), ec);
}

std::u16string TempDir::file(std::u16string_view name) const { return platform::joinPath(path_, name); }

bool writeBytes(std::u16string_view path, std::string_view bytes) {
    std::ofstream out(toPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string readBytes(std::u16string_view path) {
    std::ifstream in(toPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool onWindows() { return platform::nativeSeparator() == u'\\'; }

std::string utf8(std::u16string_view s) { return text::toUtf8(s); }

namespace {

void setVariable(const std::string& name, const std::string* value) {
#if defined(_WIN32)
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value) {
        setenv(name.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
#endif
}

}  // namespace

ScopedEnvironment::ScopedEnvironment(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) {
        hadValue_ = true;
        previous_ = old;
    }
    setVariable(name_, &value);
}

ScopedEnvironment::~ScopedEnvironment() { setVariable(name_, hadValue_ ? &previous_ : nullptr); }

std::vector<SpecialFile> makeSpecialFiles(const TempDir& dir, std::u16string_view stem) {
    std::vector<SpecialFile> out;
    const std::u16string folder = dir.file(std::u16string(stem) + u"-folder");
    if (platform::createDirectory(folder)) out.push_back({"folder", folder});
#if !defined(_WIN32)
    const std::u16string fifo = dir.file(std::u16string(stem) + u"-fifo");
    if (::mkfifo(utf8(fifo).c_str(), 0600) == 0) out.push_back({"FIFO without a writer", fifo});
    const std::u16string zero = dir.file(std::u16string(stem) + u"-zero");
    if (::symlink("/dev/zero", utf8(zero).c_str()) == 0) out.push_back({"link to /dev/zero", zero});
    const std::u16string socketPath = dir.file(std::u16string(stem) + u"-socket");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string native = utf8(socketPath);
    if (native.size() < sizeof address.sun_path) {
        native.copy(address.sun_path, native.size());
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        // The name stays after the socket is closed, which is all a reader sees.
        if (s >= 0 && ::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            out.push_back({"socket", socketPath});
        if (s >= 0) ::close(s);
    }
#endif
    return out;
}

namespace {

// While it lives, no file of the process may grow past 256 MiB, and a write
// beyond that fails instead of ending the process: a regression that copied
// /dev/zero would otherwise fill the disk.
class ScopedFileSizeLimit {
public:
    ScopedFileSizeLimit() {
#if !defined(_WIN32)
        saved_ = ::getrlimit(RLIMIT_FSIZE, &old_) == 0;
        if (!saved_) return;
        rlimit lower = old_;
        lower.rlim_cur = std::min<rlim_t>(old_.rlim_cur, rlim_t{256} << 20);
        ::setrlimit(RLIMIT_FSIZE, &lower);
        oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
#endif
    }
    ~ScopedFileSizeLimit() {
#if !defined(_WIN32)
        if (!saved_) return;
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, oldHandler_);
#endif
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
#if !defined(_WIN32)
    rlimit old_{};
    bool saved_ = false;
    void (*oldHandler_)(int) = SIG_DFL;
#endif
};

}  // namespace

bool returnsPromptly(const std::function<void()>& call, const std::vector<SpecialFile>& files) {
    const ScopedFileSizeLimit limit;
    std::packaged_task<void()> task(call);
    std::future<void> done = task.get_future();
    std::thread worker(std::move(task));
    bool prompt = done.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    while (!prompt && done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
#if !defined(_WIN32)
        for (const SpecialFile& f : files) {
            const int w = ::open(utf8(f.path).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (w >= 0) ::close(w);
        }
#endif
    }
    (void)files;
    worker.join();
    return prompt;
}

ScopedFullDisk::ScopedFullDisk(std::u16string_view folder, unsigned long long freeBytes)
    : folder_("DOCIVA_TEST_DISK_FULL", utf8(folder)), free_("DOCIVA_TEST_DISK_FREE", std::to_string(freeBytes)) {}

}  // namespace testing_support
