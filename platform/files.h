// File operations with the semantics of the Win32 calls the component uses
// (CopyFileW, MoveFileExW, DeleteFileW, PathFileExistsW, CreateDirectoryW,
// RemoveDirectoryW, FindFirstFileW). Every call returns false or an empty result on failure
// and leaves the reason in platform::lastError().
//
// Thread safety: any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// failIfExists: refuse to replace an existing destination. The copy is
// made beside the destination and put in place only when complete
// (platform/file_writer.h): a failed copy leaves the destination as it
// was, and a symbolic link there is replaced, not written through.
bool copyFile(std::u16string_view from, std::u16string_view to, bool failIfExists);
// Replaces an existing destination (the entry itself, never following a
// link there); falls back to copy + delete across volumes. The file is
// flushed to the disk before it takes the destination's name.
bool moveFile(std::u16string_view from, std::u16string_view to);
bool deleteFile(std::u16string_view path);
// A file or a folder.
bool pathExists(std::u16string_view path);
bool isDirectory(std::u16string_view path);
// One level only: the parent must exist. False when the folder exists.
bool createDirectory(std::u16string_view path);
// Removes an empty folder (RemoveDirectoryW). False for a folder that still
// holds anything, a missing path or a file: nothing is ever removed but the
// empty folder itself.
bool removeDirectory(std::u16string_view path);

struct FileEntry {
    std::u16string name;  // without its folder
    bool isDirectory = false;
    std::uint64_t size = 0;
};

// Entries of a folder whose names match the last component of pattern
// ("folder/*.ini"; '*' and '?' wildcards, ASCII case ignored), in the order
// the file system lists them. "." and ".." are included when they match,
// as Windows does.
std::vector<FileEntry> findFiles(std::u16string_view pattern);

// Creates an empty file only when nothing of that name exists, in one
// step (O_EXCL / CREATE_NEW): a name checked as free and created later
// could meanwhile have become someone else's file.
enum class NewFile { Created, NameTaken, Failed };
NewFile createNewFile(std::u16string_view path);

// A regular file (a symbolic link is followed): not a folder, a device, a
// pipe or a socket. Only such files are ever read as documents, profiles
// or pictures.
bool isRegularFile(std::u16string_view path);

// Whole-file reads and writes for the component's own files (never more
// than maxBytes; false for a larger file). Reads take regular files only:
// anything else fails at once, without waiting for a writer (a pipe) or
// reading without end (a device).
bool readFile(std::u16string_view path, std::string& bytes, std::uint64_t maxBytes);
// Creates the file or replaces it with bytes, atomically: the bytes are
// written beside it under a temporary name, flushed to the disk and renamed
// over it (platform/file_writer.h). A failed write (a full disk) leaves the
// old file as it was and nothing else behind; a symbolic link at path is
// replaced by the file, never written through.
bool writeFile(std::u16string_view path, std::string_view bytes);

}  // namespace platform
