#include "settings/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool isBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Skips blanks and an optional sign; returns the index of what follows.
std::size_t skipBlanksAndSign(std::u16string_view t, bool& negative) {
    std::size_t i = 0;
    while (i < t.size() && isBlank(t[i])) ++i;
    negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
        negative = t[i] == u'-';
        ++i;
    }
    return i;
}

// from_chars reports a value beyond double's range without saying which
// end it fell off. The decimal exponent of the first significant digit
// tells: at 0 or above the magnitude is at least 1, so it overflowed.
bool overflowed(std::string_view number) {
    std::size_t i = 0;
    long magnitude = 0;
    bool found = false;
    long intDigits = 0;
    while (i < number.size() && number[i] >= '0' && number[i] <= '9') {
        if (!found && number[i] != '0') {
            found = true;
            magnitude = -static_cast<long>(i);  // completed below once intDigits is known
        }
        ++intDigits;
        ++i;
    }
    if (found) magnitude += intDigits - 1;
    if (i < number.size() && number[i] == '.') {
        ++i;
        for (long j = 0; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i, ++j) {
            if (!found && number[i] != '0') {
                found = true;
                magnitude = -(j + 1);
            }
        }
    }
    long exponent = 0;
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < number.size() && (number[i] == '+' || number[i] == '-')) negative = number[i++] == '-';
        for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i)
            if (exponent < 100000000) exponent = exponent * 10 + (number[i] - '0');
        if (negative) exponent = -exponent;
    }
    return found && magnitude + exponent >= 0;
}

}  // namespace

std::int32_t decimalTextToInt(std::u16string_view t) {
    bool negative = false;
    std::size_t i = skipBlanksAndSign(t, negative);
    // Accumulated negatively so that the most negative value fits.
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (; i < t.size() && isDigit(t[i]); ++i) {
        value = value * 10 - (t[i] - u'0');
        if (value < kMin - 1) value = kMin - 1;  // saturated; keep reading digits
    }
    if (negative) return static_cast<std::int32_t>(value < kMin ? kMin : value);
    return static_cast<std::int32_t>(-value > kMax ? kMax : -value);
}

double decimalTextToDouble(std::u16string_view t) {
    bool negative = false;
    std::size_t i = skipBlanksAndSign(t, negative);
    const bool startsNumber = i < t.size() && (isDigit(t[i]) || (t[i] == u'.' && i + 1 < t.size() && isDigit(t[i + 1])));
    if (!startsNumber) return 0.0;
    // Only ASCII can belong to a number, so the rest is cut at the first
    // other unit before it is handed to the locale-free parser.
    std::string ascii;
    for (; i < t.size() && t[i] < 0x80; ++i) ascii.push_back(static_cast<char>(t[i]));
    double value = 0.0;
    const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range)
        value = overflowed(std::string_view(ascii.data(), static_cast<std::size_t>(end - ascii.data()))) ? HUGE_VAL : 0.0;
    else if (ec != std::errc())
        value = 0.0;
    return negative ? -value : value;
}
