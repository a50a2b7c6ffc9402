#include "platform/system.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/debug_sink.h"
#include "platform/win32/wide.h"

namespace platform {

void debugOutput(std::u16string_view line) {
    detail::forwardToDebugSink(line);
    OutputDebugStringW(win32::toWide(line).c_str());
}

LocalTime localTime() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    LocalTime t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.dayOfWeek = st.wDayOfWeek;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    t.milliseconds = st.wMilliseconds;
    return t;
}

namespace {

std::u16string specialFolder(int csidl) {
    wchar_t buf[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf))) return {};
    return win32::fromWide(buf);
}

}  // namespace

std::u16string documentsFolder() { return specialFolder(CSIDL_PERSONAL); }
std::u16string commonAppDataFolder() { return specialFolder(CSIDL_COMMON_APPDATA); }

std::uint32_t currentThreadId() { return GetCurrentThreadId(); }

std::u16string environmentVariable(std::u16string_view name) {
    const std::wstring n = win32::toWide(name);
    const DWORD size = GetEnvironmentVariableW(n.c_str(), nullptr, 0);
    if (size == 0) return {};
    std::wstring buf(size, L'\0');
    const DWORD got = GetEnvironmentVariableW(n.c_str(), buf.data(), size);
    if (got == 0 || got >= size) return {};
    buf.resize(got);
    return win32::fromWide(buf);
}

int inPlaceBorderWidth() {
    // The profile gives back what was written, a negative number as its
    // unsigned form; the caller judges the value.
    return static_cast<int>(GetProfileIntW(L"windows", L"oleinplaceborderwidth", 4));
}

}  // namespace platform
