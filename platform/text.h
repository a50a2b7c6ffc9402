// UTF-16 text helpers for the portable core.
//
// Every text of the component is UTF-16 (char16_t); these are the only
// conversions to and from UTF-8, the bounded copies that the fixed-size
// buffers need, and a printf-style formatter whose arguments are typed, so a
// format string can never make it read memory that was not passed.
//
// Thread safety: every function is pure and may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace text {

// Invalid UTF-8 sequences become U+FFFD, one per maximal invalid subpart.
std::u16string fromUtf8(std::string_view utf8);
// Lone surrogates become U+FFFD.
std::string toUtf8(std::u16string_view utf16);

// Length of a zero-terminated text; 0 for null.
std::size_t length(const char16_t* s);

// View of a zero-terminated text; empty for null.
inline std::u16string_view view(const char16_t* s) { return {s ? s : u"", length(s)}; }

// Copies at most capacity - 1 units of src into dst and terminates it.
// Returns the number of units copied. Does nothing (returns 0) when dst is
// null or capacity is 0.
std::size_t copyBounded(char16_t* dst, std::size_t capacity, std::u16string_view src);

// The first maxUnits UTF-16 units of s (the whole of s when shorter).
inline std::u16string cut(std::u16string_view s, std::size_t maxUnits) {
    return std::u16string(s.substr(0, maxUnits));
}

// ASCII-only case folding, as the INI and file-pattern rules need.
char16_t asciiLower(char16_t c);
bool equalsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);

// --- printf-style formatting -------------------------------------------
//
// Supported: flags "-+ 0#", width, precision (numbers or '*' is NOT
// supported), length modifiers h/l/ll/L/z/j/t/I64 (accepted and ignored:
// the argument's own type decides), conversions d i u o x X c s S f F e E g
// G and %%. %s and %S take texts. A conversion whose argument is missing
// or of an unusable kind writes nothing; an unknown conversion is copied as
// it stands. Numbers are formatted as the C library formats them.

class FormatArg {
public:
    enum class Kind { Signed, Unsigned, Double, Text, Char };

    template <typename T>
        requires(std::is_integral_v<T> && std::is_signed_v<T> && !std::is_same_v<T, char> &&
                 !std::is_same_v<T, bool>)
    FormatArg(T v) : kind_(Kind::Signed), i_(static_cast<std::int64_t>(v)) {}

    template <typename T>
        requires(std::is_integral_v<T> && std::is_unsigned_v<T> && !std::is_same_v<T, char16_t> &&
                 !std::is_same_v<T, bool>)
    FormatArg(T v) : kind_(Kind::Unsigned), u_(static_cast<std::uint64_t>(v)) {}

    FormatArg(bool v) : kind_(Kind::Signed), i_(v ? 1 : 0) {}
    FormatArg(double v) : kind_(Kind::Double), d_(v) {}
    FormatArg(float v) : kind_(Kind::Double), d_(static_cast<double>(v)) {}
    FormatArg(char16_t c) : kind_(Kind::Char), c_(c) {}
    FormatArg(const char16_t* s) : kind_(Kind::Text), s_(view(s)) {}
    FormatArg(std::u16string_view s) : kind_(Kind::Text), s_(s) {}
    FormatArg(const std::u16string& s) : kind_(Kind::Text), s_(s) {}

    Kind kind() const { return kind_; }
    std::int64_t asSigned() const;
    std::uint64_t asUnsigned() const;
    double asDouble() const;
    std::u16string_view asText() const { return kind_ == Kind::Text ? s_ : std::u16string_view{}; }
    char16_t asChar() const;

private:
    Kind kind_;
    union {
        std::int64_t i_;
        std::uint64_t u_;
        double d_;
        char16_t c_;
    };
    std::u16string_view s_;
};

std::u16string formatArgs(std::u16string_view format, const FormatArg* args, std::size_t count);

template <typename... Args>
std::u16string format(std::u16string_view fmt, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return formatArgs(fmt, nullptr, 0);
    } else {
        const FormatArg list[] = {FormatArg(args)...};
        return formatArgs(fmt, list, sizeof...(Args));
    }
}

// Formats into a fixed buffer of capacity units, keeping at most
// capacity - 1 of them. Returns the number of units written.
template <typename... Args>
std::size_t formatInto(char16_t* dst, std::size_t capacity, std::u16string_view fmt, const Args&... args) {
    return copyBounded(dst, capacity, format(fmt, args...));
}

// Splits a zero-separated list ("a\0b\0\0") of `count` units into its entries.
std::vector<std::u16string> splitZeroList(const char16_t* buffer, std::size_t count);

}  // namespace text
