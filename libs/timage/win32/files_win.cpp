// Files by their UTF-16 paths through the Win32 file calls.
#include <windows.h>

#include <string>

#include "libs/timage/core/backend.h"
#include "libs/timage/core/limits.h"
#include "platform/file_writer.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"

namespace timage::backend {
namespace {

using platform::win32::ScopedFile;
using platform::win32::wide;

}  // namespace

int readFile(const char16_t* path, Bytes& out) {
    out.clear();
    if (!path || !*path) return TI_ERR_ARGUMENT;
    ScopedFile file(CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file || GetFileType(file.get()) != FILE_TYPE_DISK) return TI_ERR_IO;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return TI_ERR_IO;
    if (static_cast<std::uint64_t>(size.QuadPart) > kMaxEncodedBytes) return TI_ERR_MEMORY;
    out.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t have = 0;
    for (;;) {
        if (have == out.size()) {
            // The file may have grown since its size was taken.
            if (out.size() >= kMaxEncodedBytes) break;
            out.resize(out.size() + 65536);
        }
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - have, 1u << 30));
        if (!ReadFile(file.get(), out.data() + have, want, &n, nullptr)) {
            out.clear();
            return TI_ERR_IO;
        }
        if (n == 0) break;
        have += n;
    }
    out.resize(have);
    return TI_OK;
}

int writeFile(const char16_t* path, const Bytes& bytes) {
    if (!path || !*path) return TI_ERR_ARGUMENT;
    // Written beside the target under a temporary name of ours, flushed to
    // the disk, then moved over it (platform::FileWriter): a failed write
    // leaves the old file as it was, and a link at the target is replaced,
    // never written through.
    platform::FileWriter out;
    if (!out.begin(path)) return TI_ERR_IO;
    if (!out.write(bytes.data(), bytes.size()) || !out.commit()) return TI_ERR_IO;
    return TI_OK;
}

}  // namespace timage::backend
