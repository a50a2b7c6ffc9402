#include "platform/private_profile.h"

#include <windows.h>

#include "platform/ini/profile_buffers.h"
#include "platform/win32/wide.h"

namespace platform {

using win32::wide;

namespace {

// A file over the size limit is no INI file of ours: it answers as a
// missing file would, and is never rewritten. (The component passes full
// paths; kernel32 would look for a bare name in the Windows folder.)
bool oversized(const char16_t* fileName) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!fileName || !GetFileAttributesExW(wide(fileName), GetFileExInfoStandard, &data)) return false;
    const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return size > kMaxProfileBytes;
}

}  // namespace

std::uint32_t getPrivateProfileString(const char16_t* section, const char16_t* key, const char16_t* defaultValue,
                                      char16_t* buffer, std::uint32_t size, const char16_t* fileName) {
    if (oversized(fileName)) return ini::profileString(nullptr, section, key, defaultValue, buffer, size);
    return GetPrivateProfileStringW(wide(section), wide(key), wide(defaultValue), wide(buffer), size, wide(fileName));
}

std::int32_t getPrivateProfileInt(const char16_t* section, const char16_t* key, std::int32_t defaultValue,
                                  const char16_t* fileName) {
    if (oversized(fileName)) return defaultValue;
    return static_cast<std::int32_t>(GetPrivateProfileIntW(wide(section), wide(key), defaultValue, wide(fileName)));
}

std::uint32_t getPrivateProfileSectionNames(char16_t* buffer, std::uint32_t size, const char16_t* fileName) {
    if (oversized(fileName)) return ini::profileSectionNames(nullptr, buffer, size);
    return GetPrivateProfileSectionNamesW(wide(buffer), size, wide(fileName));
}

std::uint32_t getPrivateProfileSection(const char16_t* section, char16_t* buffer, std::uint32_t size,
                                       const char16_t* fileName) {
    if (oversized(fileName)) return ini::profileSection(nullptr, section, buffer, size);
    return GetPrivateProfileSectionW(wide(section), wide(buffer), size, wide(fileName));
}

bool writePrivateProfileString(const char16_t* section, const char16_t* key, const char16_t* value,
                               const char16_t* fileName) {
    if (oversized(fileName)) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    return WritePrivateProfileStringW(wide(section), wide(key), wide(value), wide(fileName)) != 0;
}

std::uint64_t profileParseCount() { return 0; }

}  // namespace platform
