#include "platform/files.h"

#include <windows.h>

#include "platform/path.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"

namespace platform {

using win32::ScopedFile;
using win32::ScopedFind;

bool copyFile(std::u16string_view from, std::u16string_view to, bool failIfExists) {
    return CopyFileW(win32::toWide(from).c_str(), win32::toWide(to).c_str(), failIfExists ? TRUE : FALSE) != 0;
}

bool moveFile(std::u16string_view from, std::u16string_view to) {
    return MoveFileExW(win32::toWide(from).c_str(), win32::toWide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
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
    ScopedFile file(CreateFileW(win32::toWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD wrote = 0;
        if (!WriteFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &wrote, nullptr))
            return false;
        done += wrote;
    }
    return true;
}

}  // namespace platform
