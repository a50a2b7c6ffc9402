// Making and replacing files safely. Every file the component and its
// libraries create or replace goes through here:
//
// - A replacement is written under a temporary name beside its target,
//   flushed to the disk, and renamed over the target only when it is
//   complete (the rename reaches the disk with the folder): a failed or
//   interrupted write, a full disk or a killed process never costs the old
//   file, and readers see the old file or the new one, never half of one.
// - The final name is replaced, never followed: a symbolic link (or any
//   other entry) found there is replaced by the new file, so a link planted
//   in a shared folder cannot make us write over the file it points at.
//   Temporary files are created only where no entry of that name exists.
// - Temporary names prove they are ours (temporaryNameFor): they carry the
//   writing process's id and a check value over the rest of the name. A
//   temporary file left by a process that has ended (killed, or a crash)
//   is removed by removeStaleTemporaries, which the viewer and the SDK call
//   whenever they load or write a document in a folder. A file that does
//   not prove to be ours is never removed.
//
// Simulated full disk, for tests on every platform (also under Wine):
// when the environment variable DOCIVA_TEST_DISK_FULL names a folder,
// every file a FileWriter makes inside it (at any depth) can hold at most
// DOCIVA_TEST_DISK_FREE bytes (a decimal count; unset or empty: 0). A write
// beyond that stores what fits and fails as a full disk does (ENOSPC,
// ERROR_DISK_FULL). The variables are read when a file is started.
//
// Thread safety: any thread; one FileWriter is used by one thread at a
// time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The temporary name (folder included) that process `pid` gives its
// `serial`-th temporary file for target, beside target:
// ".~STEM.~dvPID-SERIAL-CHECK.EXT" with the target's name without its
// extension as STEM (cut to 64 units), its extension as EXT (so a writer
// that picks the format by extension still finds it; dropped when longer
// than 16 units) and CHECK eight hex digits computed from the rest. Empty
// when the path would be longer than kMaxPathUnits.
std::u16string temporaryNameFor(std::u16string_view target, std::uint32_t pid, std::uint32_t serial);

// Whether a file name (without folder) is one temporaryNameFor makes,
// check value included; pid receives the process that made it.
bool isTemporaryName(std::u16string_view name, std::uint32_t* pid = nullptr);

// The names the image toolkit and the PDF library gave their temporary
// files before they wrote through FileWriter: "NAME.~tiPID_N" and
// "NAME.~qixPID_N". They carry the writer's process id; the sweep takes
// them as ours too. (The document writer's earlier "scan_.tif" proves
// nothing - a user may well have such a file - and is never removed.)
bool isEarlierTemporaryName(std::u16string_view name, std::uint32_t* pid = nullptr);

// Creates a new, empty file under a fresh temporary name for target and
// returns its path; empty when none could be made. The caller writes it
// (FileWriter::open), moves it into place and removes it on failure.
std::u16string reserveTemporaryFor(std::u16string_view target);

// Removes the temporary files of ours in folder (both kinds of names
// above) whose process has ended (and, on Linux, that no process holds
// locked). Returns the number removed. Never touches anything else.
int removeStaleTemporaries(std::u16string_view folder);

std::uint32_t currentProcessId();
// Whether a process of that id runs now (one that may not be inspected
// counts as running).
bool processRunning(std::uint32_t pid);

// A file being written. Either a replacement of a target (begin: written
// under a temporary name, put in place by commit) or a file of a name the
// caller already owns (open: written in place, completed by commit).
// Writes may be sequential (write) or positioned (writeAt); readAt reads
// back what was written, for formats that link parts of the file.
// A writer that is not committed removes its file when it is destroyed.
class FileWriter {
public:
    FileWriter() = default;
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Starts a replacement of target. The new file takes the permission
    // bits of an existing regular file there. False when no temporary file
    // can be made.
    bool begin(std::u16string_view target);
    // Opens path for writing from its start, emptied: an existing regular
    // file or a new one; never through a symbolic link (false then).
    bool open(std::u16string_view path);

    bool isOpen() const { return handle_ != kClosed; }
    // False once any write failed: commit then fails too.
    bool good() const { return isOpen() && !failed_; }

    // At the write position (the end of what was written last).
    bool write(const void* data, std::size_t size);
    bool writeAt(std::uint64_t offset, const void* data, std::size_t size);
    // Bytes read back from offset (0 at the end or on failure).
    std::size_t readAt(std::uint64_t offset, void* data, std::size_t size);
    // The size of the file written so far.
    std::uint64_t size() const { return end_; }
    // Moves the write position (write continues there).
    void seek(std::uint64_t offset) { position_ = offset; }
    std::uint64_t position() const { return position_; }

    // Gives the file the permission bits of the file at source (Linux;
    // nothing on Windows, where a new file has none of its own).
    void keepPermissionsOf(std::u16string_view source);

    // Flushes the file to the disk and closes it; a replacement is then
    // renamed over its target (or, with replaceExisting false, put there
    // only when nothing of that name exists). False when anything failed:
    // the file is removed (the target is as it was). platform::lastError()
    // tells why.
    bool commit(bool replaceExisting = true);
    // Closes and removes the file.
    void abandon();

    // The file being written (the temporary name of a replacement).
    const std::u16string& path() const { return path_; }
    const std::u16string& target() const { return target_; }

private:
    static constexpr std::intptr_t kClosed = -1;

    bool startLimit();
    bool writeNative(std::uint64_t offset, const void* data, std::size_t size);
    bool closeNative(bool sync);
    void removeNative();

    std::intptr_t handle_ = kClosed;
    std::u16string path_;
    std::u16string target_;
    bool replace_ = false;
    bool failed_ = false;
    std::uint64_t position_ = 0;
    std::uint64_t end_ = 0;
    std::uint64_t limit_ = UINT64_MAX;
};

namespace detail {
// The simulated full disk's byte limit for a file at path (UINT64_MAX when
// none applies); shared by both platforms' writers.
std::uint64_t simulatedDiskLimit(std::u16string_view path);
}  // namespace detail

}  // namespace platform
