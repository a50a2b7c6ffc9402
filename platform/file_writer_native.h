// The native calls under platform/file_writer.cpp, one implementation per
// platform (posix/file_writer_posix.cpp, win32/file_writer_win.cpp). Not
// for use outside the platform layer.
//
// Thread safety: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::native {

// -1 for a failure (the reason left in the last error). A handle is a file
// descriptor on Linux and a HANDLE on Windows.
//
// A new file at path, made only where no entry of that name exists; taken
// is set when the name was taken. It gets the permission bits of the
// regular file at target, if there is one.
std::intptr_t createExclusive(const std::u16string& path, std::u16string_view target, bool& taken);
// path itself for writing, emptied; never through a symbolic link.
std::intptr_t openInPlace(const std::u16string& path);
bool writeAt(std::intptr_t handle, std::uint64_t offset, const void* data, std::size_t size);
std::size_t readAt(std::intptr_t handle, std::uint64_t offset, void* data, std::size_t size);
// Closes, after flushing the file to the disk when sync is set; false when
// the flush or the close failed.
bool close(std::intptr_t handle, bool sync);
// Renames from over to (replacing whatever entry is there, never following
// it; with replaceExisting false only where no entry of that name exists)
// and flushes the folder.
bool replace(const std::u16string& from, const std::u16string& to, bool replaceExisting);
void keepPermissionsOf(std::intptr_t handle, std::u16string_view source);
void remove(const std::u16string& path);
// Removes a stale temporary file unless some process holds it open.
bool removeStaleFile(const std::u16string& path);

// Whether the file system's names ignore letter case.
bool ignoresCase();

// Leaves a full disk (ENOSPC / ERROR_DISK_FULL) or an invalid call as the
// last error.
void setDiskError(bool full);

}  // namespace platform::native
