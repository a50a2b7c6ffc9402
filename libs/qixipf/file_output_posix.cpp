#include "libs/qixipf/file_output.h"

#include <cstdio>
#include <memory>
#include <string>

#include "platform/posix/native_path.h"

namespace qixipf {

namespace {

struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

bool writeWholeFile(std::u16string_view path, std::string_view bytes) {
    if (path.empty()) return false;
    // The same mapping of backslashes as every other file of the component.
    const std::string native = platform::posix::toNativePath(path);
    std::unique_ptr<std::FILE, CloseFile> f(std::fopen(native.c_str(), "wb"));
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
    // A full disk may show only when the buffer is flushed at the close.
    ok = std::fclose(f.release()) == 0 && ok;
    if (!ok) std::remove(native.c_str());
    return ok;
}

}  // namespace qixipf
