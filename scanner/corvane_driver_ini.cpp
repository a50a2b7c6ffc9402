#include "scanner/corvane_driver_ini.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/private_profile.h"
#include "platform/text.h"

namespace {

constexpr std::u16string_view kProductNameKey = u"PRODUCT NAME";
constexpr std::u16string_view kSystemDirectoryKey = u"SYSTEM DIRECTORY";

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f'; }

// A base-10 integer as the C library reads one: leading blanks and one sign
// allowed, reading stops at the first other character, no digits give 0,
// out-of-range values stop at the nearest limit.
int toDecimal(std::u16string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = static_cast<std::int64_t>(std::numeric_limits<int>::max()) + 1;
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
        value = value * 10 + (s[i] - u'0');
        if (value > kLimit) value = kLimit;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int>::max()) value = std::numeric_limits<int>::max();
    return static_cast<int>(value);
}

}  // namespace

CCorvaneDriverRootIni::CCorvaneDriverRootIni(const char16_t* path) : CConfigImpl(path) { getSectionNames(sections_); }

bool CCorvaneDriverRootIni::getProductAndDirectory(char16_t* product, std::size_t productCapacity, char16_t* directory,
                                                   std::size_t directoryCapacity) const {
    // The value is read without the line-break expansion of getString: a
    // directory such as C:\Drivers\new would otherwise lose its folder.
    const auto readRaw = [this](const std::u16string& section, const std::u16string& key, char16_t* out,
                                std::size_t capacity) {
        if (!out || capacity == 0) return;
        const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, 0xFFFFFFFFu));
        text::copyBounded(out, capacity, getRawString(section.c_str(), key.c_str(), u"", size - 1));
    };

    int products = 0;
    int directories = 0;
    std::vector<std::u16string> keys;
    for (const auto& section : sections_) {
        getSectionKeys(section.c_str(), keys);
        for (const auto& key : keys) {
            if (text::equalsIgnoreAsciiCase(key, kProductNameKey)) {
                readRaw(section, key, product, productCapacity);
                ++products;
            } else if (text::equalsIgnoreAsciiCase(key, kSystemDirectoryKey)) {
                readRaw(section, key, directory, directoryCapacity);
                ++directories;
            } else {
                continue;
            }
            if (products + directories == 2) break;
        }
    }
    // Two reads of the same key are no pair: the file would name a product
    // without its directory (or the reverse).
    return products == 1 && directories == 1;
}

CCorvaneDriverModuleIni::CCorvaneDriverModuleIni(const char16_t* path) : CConfigImpl(path) {}

bool CCorvaneDriverModuleIni::getScannerId(int& vendor, int& product) const {
    const std::u16string value = getString(u"system", u"scannerid", u"", 259);
    if (value.empty()) return false;
    std::vector<std::u16string_view> pieces;
    const std::u16string_view all(value);
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t end = all.find(u',', start);
        if (end == std::u16string_view::npos) end = all.size();
        if (end > start) pieces.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    if (pieces.size() != 2) return false;
    vendor = toDecimal(pieces[0]);
    product = toDecimal(pieces[1]);
    return true;
}
