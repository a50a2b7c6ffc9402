#include "platform/private_profile.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace platform {

using win32::wide;

std::uint32_t getPrivateProfileString(const char16_t* section, const char16_t* key, const char16_t* defaultValue,
                                      char16_t* buffer, std::uint32_t size, const char16_t* fileName) {
    return GetPrivateProfileStringW(wide(section), wide(key), wide(defaultValue), wide(buffer), size, wide(fileName));
}

std::int32_t getPrivateProfileInt(const char16_t* section, const char16_t* key, std::int32_t defaultValue,
                                  const char16_t* fileName) {
    return static_cast<std::int32_t>(GetPrivateProfileIntW(wide(section), wide(key), defaultValue, wide(fileName)));
}

std::uint32_t getPrivateProfileSectionNames(char16_t* buffer, std::uint32_t size, const char16_t* fileName) {
    return GetPrivateProfileSectionNamesW(wide(buffer), size, wide(fileName));
}

std::uint32_t getPrivateProfileSection(const char16_t* section, char16_t* buffer, std::uint32_t size,
                                       const char16_t* fileName) {
    return GetPrivateProfileSectionW(wide(section), wide(buffer), size, wide(fileName));
}

bool writePrivateProfileString(const char16_t* section, const char16_t* key, const char16_t* value,
                               const char16_t* fileName) {
    return WritePrivateProfileStringW(wide(section), wide(key), wide(value), wide(fileName)) != 0;
}

}  // namespace platform
