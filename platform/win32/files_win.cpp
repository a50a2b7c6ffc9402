#include "platform/files.h"

#include <windows.h>

#include "platform/file_writer.h"
#include "platform/path.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"

namespace platform {

using win32::ScopedFile;
using win32::ScopedFind;

// Copies through a FileWriter rather than CopyFileW: a temporary file
// beside the target, flushed and put in place only when complete, so a
// failed copy never leaves a truncated destination and a link at the
// destination is replaced, not written through.
bool copyFile(std::u16string_view from, std::u16string_view to, bool failIfExists) {
    ScopedFile in(CreateFileW(win32::toWide(from).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return false;
    if (GetFileType(in.get()) != FILE_TYPE_DISK) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (failIfExists && GetFileAttributesW(win32::toWide(to).c_str()) != INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_FILE_EXISTS);
        return false;
    }
    FileWriter out;
    if (!out.begin(to)) return false;
    static constexpr DWORD kChunk = 1 << 16;
    std::string buf(kChunk, '\0');
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in.get(), buf.data(), kChunk, &got, nullptr)) {
            const DWORD error = GetLastError();
            out.abandon();
            SetLastError(error);
            return false;
        }
        if (got == 0) break;
        if (!out.write(buf.data(), got)) {
            const DWORD error = GetLastError();
            out.abandon();
            SetLastError(error);
            return false;
        }
    }
    return out.commit(!failIfExists);
}

bool moveFile(std::u16string_view from, std::u16string_view to) {
    // Write-through: the move is on the disk when the call returns.
    return MoveFileExW(win32::toWide(from).c_str(), win32::toWide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH) != 0;
}

bool deleteFile(std::u16string_view path) { return DeleteFileW(win32::toWide(path).c_str()) != 0; }

bool pathExists(std::u16string_view path) {
    if (path.empty()) return false;
    return GetFileAttributesW(win32::toWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(std::u16string_view path) {
    if (path.empty()) return false;
    const DWORD a = GetFileAttributesW(win32::toWide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool createDirectory(std::u16string_view path) { return CreateDirectoryW(win32::toWide(path).c_str(), nullptr) != 0; }

bool removeDirectory(std::u16string_view path) {
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return RemoveDirectoryW(win32::toWide(path).c_str()) != 0;
}

std::vector<FileEntry> findFiles(std::u16string_view pattern) {
    std::vector<FileEntry> out;
    WIN32_FIND_DATAW data{};
    ScopedFind find(FindFirstFileW(win32::toWide(pattern).c_str(), &data));
    if (!find) return out;
    do {
        FileEntry e;
        e.name = win32::fromWide(data.cFileName);
        e.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        e.size = e.isDirectory ? 0 : (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        out.push_back(std::move(e));
    } while (FindNextFileW(find.get(), &data));
    return out;
}

bool isRegularFile(std::u16string_view path) {
    if (path.empty()) return false;
    const DWORD a = GetFileAttributesW(win32::toWide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool readFile(std::u16string_view path, std::string& bytes, std::uint64_t maxBytes) {
    bytes.clear();
    ScopedFile file(CreateFileW(win32::toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    // A device name (CON, NUL, COM1) or a pipe opens too; only a file on
    // disk is read.
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        SetLastError(ERROR_BAD_FILE_TYPE);
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return false;
    if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got, nullptr)) {
            bytes.clear();
            return false;
        }
        if (got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return true;
}

NewFile createNewFile(std::u16string_view path) {
    ScopedFile file(CreateFileW(win32::toWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return NewFile::Created;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? NewFile::NameTaken : NewFile::Failed;
}

bool writeFile(std::u16string_view path, std::string_view bytes) {
    FileWriter out;
    if (!out.begin(path)) return false;
    if (!out.write(bytes.data(), bytes.size())) {
        const DWORD error = GetLastError();
        out.abandon();
        SetLastError(error);
        return false;
    }
    return out.commit();
}

}  // namespace platform
