// The portable part of the file writer: temporary names and their check
// values, the simulated full disk, the sweep of stale temporary files and
// the bookkeeping of a FileWriter. The native calls are in
// posix/file_writer_posix.cpp and win32/file_writer_win.cpp.
#include "platform/file_writer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <utility>

#include "platform/file_writer_native.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/system.h"
#include "platform/text.h"

namespace platform {

namespace {

constexpr std::size_t kMaxStemUnits = 64;
constexpr std::size_t kMaxExtensionUnits = 16;
constexpr std::u16string_view kPrefix = u".~";
constexpr std::u16string_view kMarker = u".~dv";

std::u16string decimal(std::uint32_t v) {
    std::u16string s;
    do {
        s.insert(s.begin(), static_cast<char16_t>(u'0' + v % 10));
        v /= 10;
    } while (v != 0);
    return s;
}

// The check value: FNV-1a over the parts of the name, so that a name that
// merely looks like ours (a user's file, a cut or edited name) fails it.
std::uint32_t checkValue(std::u16string_view stem, std::u16string_view extension, std::uint32_t pid,
                         std::uint32_t serial) {
    std::uint32_t h = 0x811C9DC5u;
    auto mix = [&h](char16_t unit) {
        h ^= static_cast<std::uint32_t>(unit & 0xFF);
        h *= 0x01000193u;
        h ^= static_cast<std::uint32_t>(unit >> 8);
        h *= 0x01000193u;
    };
    for (char16_t c : std::u16string_view(u"dociva temporary file")) mix(c);
    for (char16_t c : stem) mix(c);
    mix(0);
    for (char16_t c : extension) mix(c);
    mix(0);
    for (char16_t c : decimal(pid)) mix(c);
    mix(u'-');
    for (char16_t c : decimal(serial)) mix(c);
    return h;
}

std::u16string hex8(std::uint32_t v) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string s(8, u'0');
    for (int i = 7; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = kDigits[v & 0xF];
    return s;
}

// Cut to at most n units without splitting a surrogate pair.
std::u16string_view cutUnits(std::u16string_view s, std::size_t n) {
    if (s.size() <= n) return s;
    if (n > 0 && s[n - 1] >= 0xD800 && s[n - 1] <= 0xDBFF) --n;
    return s.substr(0, n);
}

// Reads a decimal number of at most 10 digits that fits 32 bits.
bool parseDecimal(std::u16string_view s, std::uint32_t& out) {
    if (s.empty() || s.size() > 10) return false;
    std::uint64_t v = 0;
    for (char16_t c : s) {
        if (c < u'0' || c > u'9') return false;
        v = v * 10 + static_cast<std::uint64_t>(c - u'0');
    }
    if (v > UINT32_MAX) return false;
    // Only the form decimal() writes: no leading zeros.
    if (s.size() > 1 && s[0] == u'0') return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

std::uint32_t nextSerial() {
    // Each module that links this layer counts on its own; starting at an
    // unrelated place keeps two modules of one process from trying the same
    // names first (a taken name is skipped anyway).
    static std::atomic<std::uint32_t> serial{static_cast<std::uint32_t>(
        (std::chrono::steady_clock::now().time_since_epoch().count() ^
         reinterpret_cast<std::uintptr_t>(&serial)) & 0xFFFFFu)};
    return serial.fetch_add(1);
}

bool sameFolderPrefix(std::u16string_view folder, std::u16string_view path) {
    // Separators of either kind are one; letter case is ignored on Windows,
    // where the file system ignores it.
    std::size_t n = folder.size();
    while (n > 0 && isPathSeparator(folder[n - 1])) --n;
    if (n == 0 || path.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t a = folder[i], b = path[i];
        if (isPathSeparator(a) && isPathSeparator(b)) continue;
        if (native::ignoresCase() ? text::asciiLower(a) != text::asciiLower(b) : a != b) return false;
    }
    return path.size() == n || isPathSeparator(path[n]);
}

}  // namespace

std::u16string temporaryNameFor(std::u16string_view target, std::uint32_t pid, std::uint32_t serial) {
    const std::u16string folder = folderOf(target);
    const std::u16string name = fileNameOf(target);
    if (name.empty()) return {};
    const std::size_t dot = name.rfind(u'.');
    std::u16string_view stem = std::u16string_view(name).substr(0, dot == std::u16string::npos ? name.size() : dot);
    std::u16string_view extension =
        dot == std::u16string::npos ? std::u16string_view() : std::u16string_view(name).substr(dot);
    if (extension.size() > kMaxExtensionUnits) extension = {};
    const std::u16string tail = std::u16string(kMarker) + decimal(pid) + u"-" + decimal(serial) + u"-";
    // The stem is only there for a person reading the folder: it gives way
    // first when the path would be too long.
    const std::size_t fixed = folder.size() + kPrefix.size() + tail.size() + 8 + extension.size();
    if (fixed > kMaxPathUnits) return {};
    stem = cutUnits(stem, std::min(kMaxStemUnits, kMaxPathUnits - fixed));
    return folder + std::u16string(kPrefix) + std::u16string(stem) + tail +
           hex8(checkValue(stem, extension, pid, serial)) + std::u16string(extension);
}

bool isTemporaryName(std::u16string_view name, std::uint32_t* pid) {
    if (name.size() < kPrefix.size() || name.substr(0, kPrefix.size()) != kPrefix) return false;
    const std::size_t marker = name.rfind(kMarker);
    if (marker == std::u16string_view::npos || marker < kPrefix.size()) return false;
    const std::u16string_view stem = name.substr(kPrefix.size(), marker - kPrefix.size());
    std::u16string_view rest = name.substr(marker + kMarker.size());
    // PID-SERIAL-CHECK, then the extension (nothing, or from a dot on).
    const std::size_t dash1 = rest.find(u'-');
    if (dash1 == std::u16string_view::npos) return false;
    const std::size_t dash2 = rest.find(u'-', dash1 + 1);
    if (dash2 == std::u16string_view::npos || rest.size() < dash2 + 1 + 8) return false;
    std::uint32_t p = 0, serial = 0;
    if (!parseDecimal(rest.substr(0, dash1), p) || !parseDecimal(rest.substr(dash1 + 1, dash2 - dash1 - 1), serial))
        return false;
    const std::u16string_view check = rest.substr(dash2 + 1, 8);
    const std::u16string_view extension = rest.substr(dash2 + 1 + 8);
    if (!extension.empty() && extension[0] != u'.') return false;
    if (extension.size() > kMaxExtensionUnits || stem.size() > kMaxStemUnits) return false;
    if (check != hex8(checkValue(stem, extension, p, serial))) return false;
    if (pid) *pid = p;
    return true;
}

std::u16string reserveTemporaryFor(std::u16string_view target) {
    const std::uint32_t pid = currentProcessId();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::u16string candidate = temporaryNameFor(target, pid, nextSerial());
        if (candidate.empty()) return {};
        switch (createNewFile(candidate)) {
            case NewFile::Created:
                return candidate;
            case NewFile::NameTaken:
                continue;
            case NewFile::Failed:
                return {};
        }
    }
    return {};
}

bool isEarlierTemporaryName(std::u16string_view name, std::uint32_t* pid) {
    // NAME.~tiPID_N (the image toolkit) and NAME.~qixPID_N (the PDF
    // library), from before every writer went through FileWriter.
    for (std::u16string_view marker : {std::u16string_view(u".~ti"), std::u16string_view(u".~qix")}) {
        const std::size_t at = name.rfind(marker);
        if (at == std::u16string_view::npos || at == 0) continue;
        const std::u16string_view rest = name.substr(at + marker.size());
        const std::size_t underscore = rest.find(u'_');
        std::uint32_t p = 0, serial = 0;
        if (underscore == std::u16string_view::npos || !parseDecimal(rest.substr(0, underscore), p) ||
            !parseDecimal(rest.substr(underscore + 1), serial))
            continue;
        if (pid) *pid = p;
        return true;
    }
    return false;
}

int removeStaleTemporaries(std::u16string_view folder) {
    int removed = 0;
    // One listing of the folder: every name of either kind has ".~" in it.
    for (const FileEntry& entry : findFiles(joinPath(folder, u"*.~*"))) {
        std::uint32_t pid = 0;
        if (entry.isDirectory || !(isTemporaryName(entry.name, &pid) || isEarlierTemporaryName(entry.name, &pid)))
            continue;
        if (pid == currentProcessId() || processRunning(pid)) continue;
        if (native::removeStaleFile(joinPath(folder, entry.name))) ++removed;
    }
    return removed;
}

namespace detail {

std::uint64_t simulatedDiskLimit(std::u16string_view path) {
    const std::u16string folder = environmentVariable(u"DOCIVA_TEST_DISK_FULL");
    if (folder.empty() || !sameFolderPrefix(folder, path)) return UINT64_MAX;
    const std::u16string free = environmentVariable(u"DOCIVA_TEST_DISK_FREE");
    std::uint64_t bytes = 0;
    for (char16_t c : free) {
        if (c < u'0' || c > u'9') break;
        bytes = std::min<std::uint64_t>(bytes * 10 + static_cast<std::uint64_t>(c - u'0'), UINT64_MAX / 16);
    }
    return bytes;
}

}  // namespace detail

// ---- FileWriter, the portable part ----------------------------------------

FileWriter::~FileWriter() { abandon(); }

bool FileWriter::startLimit() {
    failed_ = false;
    position_ = 0;
    end_ = 0;
    limit_ = detail::simulatedDiskLimit(path_);
    return true;
}

bool FileWriter::write(const void* data, std::size_t size) {
    if (!writeAt(position_, data, size)) return false;
    return true;
}

bool FileWriter::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
    if (!good()) {
        native::setDiskError(false);
        return false;
    }
    if (size == 0) {
        position_ = offset;
        return true;
    }
    std::size_t allowed = size;
    if (offset >= limit_) {
        allowed = 0;
    } else if (limit_ - offset < size) {
        allowed = static_cast<std::size_t>(limit_ - offset);
    }
    if (allowed > 0 && !writeNative(offset, data, allowed)) {
        failed_ = true;
        return false;
    }
    position_ = offset + allowed;
    end_ = std::max(end_, position_);
    if (allowed < size) {
        // What a full disk does: the bytes that fit are stored, the rest is
        // refused.
        failed_ = true;
        native::setDiskError(true);
        return false;
    }
    return true;
}

void FileWriter::keepPermissionsOf(std::u16string_view source) {
    if (isOpen()) native::keepPermissionsOf(handle_, source);
}

bool FileWriter::commit(bool replaceExisting) {
    if (!isOpen()) {
        native::setDiskError(false);
        return false;
    }
    if (failed_) {
        const std::uint32_t error = lastError();
        abandon();
        setLastError(error);
        return false;
    }
    if (!closeNative(true)) {
        const std::uint32_t error = lastError();
        removeNative();
        setLastError(error);
        return false;
    }
    if (replace_ && !native::replace(path_, target_, replaceExisting)) {
        const std::uint32_t error = lastError();
        removeNative();
        setLastError(error);
        return false;
    }
    path_.clear();
    target_.clear();
    return true;
}

void FileWriter::abandon() {
    if (!isOpen()) return;
    closeNative(false);
    removeNative();
    path_.clear();
    target_.clear();
}

bool FileWriter::begin(std::u16string_view target) {
    abandon();
    if (target.empty()) {
        native::setDiskError(false);
        return false;
    }
    const std::uint32_t pid = currentProcessId();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::u16string candidate = temporaryNameFor(target, pid, nextSerial());
        if (candidate.empty()) {
            native::setDiskError(false);
            return false;
        }
        bool taken = false;
        std::intptr_t handle = native::createExclusive(candidate, target, taken);
        if (handle == kClosed) {
            if (taken) continue;
            return false;
        }
        handle_ = handle;
        path_ = candidate;
        target_ = std::u16string(target);
        replace_ = true;
        return startLimit();
    }
    return false;
}

bool FileWriter::open(std::u16string_view path) {
    abandon();
    if (path.empty()) {
        native::setDiskError(false);
        return false;
    }
    const std::intptr_t handle = native::openInPlace(std::u16string(path));
    if (handle == kClosed) return false;
    handle_ = handle;
    path_ = std::u16string(path);
    target_ = path_;
    replace_ = false;
    return startLimit();
}

bool FileWriter::writeNative(std::uint64_t offset, const void* data, std::size_t size) {
    return native::writeAt(handle_, offset, data, size);
}

std::size_t FileWriter::readAt(std::uint64_t offset, void* data, std::size_t size) {
    if (!isOpen() || size == 0) return 0;
    return native::readAt(handle_, offset, data, size);
}

bool FileWriter::closeNative(bool sync) {
    const std::intptr_t handle = std::exchange(handle_, kClosed);
    return native::close(handle, sync);
}

void FileWriter::removeNative() {
    if (!path_.empty()) native::remove(path_);
    path_.clear();
    target_.clear();
}

}  // namespace platform
