#include "plugin/np_convert.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/text.h"

namespace np {

namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

bool isBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// Decimal text the way the C library's "to int" reads it: whatever
// follows the digits is ignored, and no digits at all is 0.
std::int32_t decimalOf(std::u16string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    std::int64_t n = 0;
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
        n = n * 10 + (s[i] - u'0');
        if (n > std::int64_t{kMax} + 1) n = std::int64_t{kMax} + 1;
    }
    if (negative) n = -n;
    if (n > kMax) return kMax;
    if (n < kMin) return kMin;
    return static_cast<std::int32_t>(n);
}

double realOfText(std::u16string_view s) {
    std::string ascii;
    for (char16_t c : s) {
        if (c > 0x7F) break;
        ascii += static_cast<char>(c);
    }
    const auto first = ascii.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return 0;
    const char* begin = ascii.data() + first;
    if (*begin == '+') ++begin;
    double out = 0;
    const auto [ptr, ec] = std::from_chars(begin, ascii.data() + ascii.size(), out);
    return ec == std::errc{} && std::isfinite(out) ? out : 0;
}

}  // namespace

std::int32_t integerOf(const NPVariant& value) {
    switch (value.type) {
    case NPVariantType_Int32: return value.value.intValue;
    case NPVariantType_Double: {
        const double d = value.value.doubleValue;
        if (!(d > -2147483649.0 && d < 2147483648.0)) return kMin;
        return static_cast<std::int32_t>(d);
    }
    case NPVariantType_Bool: return value.value.boolValue ? 1 : 0;
    case NPVariantType_String: return decimalOf(textOf(value));
    case NPVariantType_Object: return -1;
    default: return 0;
    }
}

std::int16_t lowWord(std::int32_t value) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFFu));
}

double realOf(const NPVariant& value) {
    switch (value.type) {
    case NPVariantType_Double: return value.value.doubleValue;
    case NPVariantType_String: return realOfText(textOf(value));
    default: return integerOf(value);
    }
}

std::u16string textOf(const NPVariant& value) {
    if (value.type != NPVariantType_String || !value.value.stringValue.UTF8Characters) return {};
    return text::fromUtf8({value.value.stringValue.UTF8Characters, value.value.stringValue.UTF8Length});
}

void setVoid(NPVariant& result) {
    result.type = NPVariantType_Void;
    result.value.objectValue = nullptr;
}

void setInt(NPVariant& result, std::int32_t value) {
    result.type = NPVariantType_Int32;
    result.value.intValue = value;
}

bool setText(const NPNetscapeFuncs& browser, NPVariant& result, std::u16string_view value) {
    const std::string utf8 = text::toUtf8(value);
    // One byte more for a terminator: pages' browsers read the length, but
    // a terminated text costs nothing and forgives a careless reader.
    auto* memory = browser.memalloc ? static_cast<char*>(browser.memalloc(static_cast<std::uint32_t>(utf8.size() + 1)))
                                    : nullptr;
    if (!memory) return false;
    std::memcpy(memory, utf8.data(), utf8.size());
    memory[utf8.size()] = '\0';
    result.type = NPVariantType_String;
    result.value.stringValue.UTF8Characters = memory;
    result.value.stringValue.UTF8Length = static_cast<std::uint32_t>(utf8.size());
    return true;
}

}  // namespace np
