// Helpers shared by the test programs of both platforms.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, without a trailing separator.
    const std::u16string& path() const { return path_; }
    // path() + separator + name.
    std::u16string file(std::u16string_view name) const;

private:
    std::u16string path_;
};

// Sets an environment variable (UTF-8) while it lives, then puts back
// what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::string& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::string previous_;
    bool hadValue_ = false;
};

// The platform's simulated full disk (platform/file_writer.h) for every
// file made inside folder while it lives: each may hold at most freeBytes.
class ScopedFullDisk {
public:
    explicit ScopedFullDisk(std::u16string_view folder, unsigned long long freeBytes = 0);

private:
    ScopedEnvironment folder_;
    ScopedEnvironment free_;
};

bool writeBytes(std::u16string_view path, std::string_view bytes);
std::string readBytes(std::u16string_view path);

// True when the tests run on Windows (under Wine here).
bool onWindows();

// Names that are not regular files, made in dir with names starting with
// stem: a FIFO nobody writes to, a folder, a symbolic link to /dev/zero and
// a Unix socket on Linux; the folder alone on Windows.
struct SpecialFile {
    const char* kind;
    std::u16string path;
};
std::vector<SpecialFile> makeSpecialFiles(const TempDir& dir, std::u16string_view stem);

// Runs call on a thread of its own and gives its result when it returns
// within a generous bound (30 s). When it has not, the FIFOs among files
// are opened for writing now and then, which frees a reader stuck in
// open() so the thread can be joined, and the result is false: a reader
// that blocks fails its test instead of hanging the run. Meanwhile no file
// may grow past 256 MiB, so a reader that copies a device cannot fill the
// disk either.
bool returnsPromptly(const std::function<void()>& call, const std::vector<SpecialFile>& files);

// For readable failure messages.
std::string utf8(std::u16string_view s);

}  // namespace testing_support
