// Small process services: debugger output, local time, special folders,
// thread ids, the last error value and the in-place border width.
//
// Thread safety: any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Diagnostics for a developer. Windows: OutputDebugStringW. Linux: written
// to standard error when $DOCIVA_DEBUG is "1" or "stderr", appended to the
// file it names otherwise, dropped when it is unset.
void debugOutput(std::u16string_view line);

// While one of these lives, every debugOutput line is also handed to its
// sink (tests use it to check the lines a component writes).
class ScopedDebugCapture {
public:
    explicit ScopedDebugCapture(std::function<void(std::u16string_view)> sink);
    ~ScopedDebugCapture();
    ScopedDebugCapture(const ScopedDebugCapture&) = delete;
    ScopedDebugCapture& operator=(const ScopedDebugCapture&) = delete;

private:
    std::function<void(std::u16string_view)> previous_;
};

// The fields of the Windows SYSTEMTIME, in local time.
struct LocalTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;      // 1..12
    std::uint16_t dayOfWeek = 0;  // 0 = Sunday
    std::uint16_t day = 0;        // 1..31
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
};
LocalTime localTime();

// The current user's documents folder, without a trailing separator.
// Linux: XDG_DOCUMENTS_DIR from user-dirs.dirs, else ~/Documents, made
// (with any missing parents) when it does not exist yet.
std::u16string documentsFolder();
// The folder shared by all users for application data.
// Linux: $DOCIVA_COMMON_APPDATA, else /usr/share.
std::u16string commonAppDataFolder();

std::uint32_t currentThreadId();
// GetLastError() on Windows, errno elsewhere.
std::uint32_t lastError();
void setLastError(std::uint32_t value);

// The value of an environment variable, "" when unset.
std::u16string environmentVariable(std::u16string_view name);

// The width the system gives the frame of an object active in place,
// which rectangle trackers take as the side of their handles, as set:
// Windows reads "oleinplaceborderwidth" in the "windows" section of the
// system profile (default 4) on every call, unchecked; Linux has no such
// setting and gives 4.
int inPlaceBorderWidth();

}  // namespace platform
