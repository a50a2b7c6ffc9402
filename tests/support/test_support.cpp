#include "support/test_support.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/path.h"
#include "platform/system.h"
#include "platform/text.h"

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

ScopedFullDisk::ScopedFullDisk(std::u16string_view folder, unsigned long long freeBytes)
    : folder_("DOCIVA_TEST_DISK_FULL", utf8(folder)), free_("DOCIVA_TEST_DISK_FREE", std::to_string(freeBytes)) {}

}  // namespace testing_support
