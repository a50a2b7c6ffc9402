// The file writer's native calls on Windows. A file being written is open
// without FILE_SHARE_DELETE from its creation until it is moved or
// removed, so a sweep of stale temporary files cannot delete it meanwhile.
#include <windows.h>

#include <string>

#include "platform/file_writer.h"
#include "platform/file_writer_native.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"

namespace platform {

std::uint32_t currentProcessId() { return GetCurrentProcessId(); }

bool processRunning(std::uint32_t pid) {
    if (pid == 0) return false;
    const DWORD saved = GetLastError();
    win32::ScopedKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    bool running;
    if (!process) {
        // A process we may not open is there all the same.
        running = GetLastError() == ERROR_ACCESS_DENIED;
    } else {
        running = WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
    }
    SetLastError(saved);
    return running;
}

namespace native {

namespace {

HANDLE fileHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::intptr_t fromHandle(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h);
}

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

}  // namespace

std::intptr_t createExclusive(const std::u16string& path, std::u16string_view, bool& taken) {
    taken = false;
    // CREATE_NEW: no entry of the name may exist, a link included.
    HANDLE h = CreateFileW(win32::toWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    }
    return fromHandle(h);
}

std::intptr_t openInPlace(const std::u16string& path) {
    // The entry itself, never what a reparse point (a link) leads to.
    win32::ScopedFile file(CreateFileW(win32::toWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr));
    if (!file) return -1;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get())) return -1;
    return fromHandle(file.release());
}

bool writeAt(std::intptr_t handle, std::uint64_t offset, const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const DWORD want = static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30));
        OVERLAPPED o = at(offset);
        DWORD written = 0;
        if (!WriteFile(fileHandle(handle), p, want, &written, &o)) return false;
        if (written == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        p += written;
        offset += written;
        size -= written;
    }
    return true;
}

std::size_t readAt(std::intptr_t handle, std::uint64_t offset, void* data, std::size_t size) {
    std::size_t done = 0;
    auto* p = static_cast<std::uint8_t*>(data);
    while (done < size) {
        const std::size_t left = size - done;
        const DWORD want = static_cast<DWORD>(left < (1u << 30) ? left : (1u << 30));
        OVERLAPPED o = at(offset + done);
        DWORD got = 0;
        if (!ReadFile(fileHandle(handle), p + done, want, &got, &o) || got == 0) break;
        done += got;
    }
    return done;
}

bool close(std::intptr_t handle, bool sync) {
    if (handle == -1) return false;
    bool ok = true;
    DWORD error = 0;
    if (sync && !FlushFileBuffers(fileHandle(handle))) {
        ok = false;
        error = GetLastError();
    }
    if (!CloseHandle(fileHandle(handle)) && ok) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) SetLastError(error);
    return ok;
}

bool replace(const std::u16string& from, const std::u16string& to, bool replaceExisting) {
    // Replaces the entry at the target (a link included) and returns once
    // the move is on the disk.
    return MoveFileExW(win32::toWide(from).c_str(), win32::toWide(to).c_str(),
                       (replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH) != 0;
}

void keepPermissionsOf(std::intptr_t, std::u16string_view) {}

void remove(const std::u16string& path) {
    const DWORD saved = GetLastError();
    DeleteFileW(win32::toWide(path).c_str());
    SetLastError(saved);
}

bool removeStaleFile(const std::u16string& path) {
    const std::wstring wide = win32::toWide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        return false;
    // A writer still holding the file shares no deletion: this fails then.
    return DeleteFileW(wide.c_str()) != 0;
}

bool ignoresCase() { return true; }

void setDiskError(bool full) { SetLastError(full ? ERROR_DISK_FULL : ERROR_INVALID_PARAMETER); }

}  // namespace native
}  // namespace platform
