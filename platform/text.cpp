#include "platform/text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace text {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

}  // namespace

std::u16string fromUtf8(std::string_view in) {
    std::u16string out;
    out.reserve(in.size());
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        // Well-formed sequences per the Unicode table of valid byte ranges;
        // anything else yields one replacement per maximal invalid subpart.
        std::size_t need = 0;
        char32_t cp = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            out += kReplacement;
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool ok = true;
        for (std::size_t k = 0; k < need; ++k, ++j) {
            if (j >= n) {
                ok = false;
                break;
            }
            const unsigned char c = s[j];
            const unsigned char l = k == 0 ? lo : 0x80;
            const unsigned char h = k == 0 ? hi : 0xBF;
            if (c < l || c > h) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            out += kReplacement;
            i = j;  // the bytes before j form the invalid subpart
            continue;
        }
        appendUtf16(out, cp);
        i = j;
    }
    return out;
}

std::string toUtf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        const char16_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (in[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

std::size_t length(const char16_t* s) {
    if (!s) return 0;
    std::size_t n = 0;
    while (s[n]) ++n;
    return n;
}

std::size_t copyBounded(char16_t* dst, std::size_t capacity, std::u16string_view src) {
    if (!dst || capacity == 0) return 0;
    const std::size_t n = src.size() < capacity - 1 ? src.size() : capacity - 1;
    for (std::size_t i = 0; i < n; ++i) dst[i] = src[i];
    dst[n] = 0;
    return n;
}

char16_t asciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool equalsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

std::int64_t FormatArg::asSigned() const {
    switch (kind_) {
        case Kind::Signed: return i_;
        case Kind::Unsigned: return static_cast<std::int64_t>(u_);
        case Kind::Double: return std::isfinite(d_) ? static_cast<std::int64_t>(d_) : 0;
        case Kind::Char: return c_;
        case Kind::Text: return 0;
    }
    return 0;
}

std::uint64_t FormatArg::asUnsigned() const {
    switch (kind_) {
        case Kind::Signed: return static_cast<std::uint64_t>(i_);
        case Kind::Unsigned: return u_;
        case Kind::Double: return std::isfinite(d_) && d_ >= 0 ? static_cast<std::uint64_t>(d_) : 0;
        case Kind::Char: return c_;
        case Kind::Text: return 0;
    }
    return 0;
}

double FormatArg::asDouble() const {
    switch (kind_) {
        case Kind::Signed: return static_cast<double>(i_);
        case Kind::Unsigned: return static_cast<double>(u_);
        case Kind::Double: return d_;
        case Kind::Char: return c_;
        case Kind::Text: return 0;
    }
    return 0;
}

char16_t FormatArg::asChar() const {
    switch (kind_) {
        case Kind::Char: return c_;
        case Kind::Signed: return static_cast<char16_t>(i_);
        case Kind::Unsigned: return static_cast<char16_t>(u_);
        default: return 0;
    }
}

namespace {

constexpr int kMaxFieldWidth = 4096;

struct Conversion {
    bool left = false, plus = false, space = false, zero = false, alt = false;
    int width = -1;
    int precision = -1;
};

void pad(std::u16string& out, std::u16string_view body, const Conversion& field, bool numeric) {
    const std::size_t w = field.width > 0 ? static_cast<std::size_t>(field.width) : 0;
    if (body.size() >= w) {
        out += body;
        return;
    }
    const std::size_t fill = w - body.size();
    if (field.left) {
        out += body;
        out.append(fill, u' ');
    } else if (field.zero && numeric) {
        // Zeros go after a sign or a 0x prefix.
        std::size_t prefix = 0;
        if (!body.empty() && (body[0] == u'-' || body[0] == u'+' || body[0] == u' ')) prefix = 1;
        if (body.size() >= prefix + 2 && body[prefix] == u'0' && (body[prefix + 1] == u'x' || body[prefix + 1] == u'X'))
            prefix += 2;
        out += body.substr(0, prefix);
        out.append(fill, u'0');
        out += body.substr(prefix);
    } else {
        out.append(fill, u' ');
        out += body;
    }
}

std::u16string widen(const char* s) {
    std::u16string r;
    for (; *s; ++s) r += static_cast<char16_t>(static_cast<unsigned char>(*s));
    return r;
}

// Numbers go through the C library with a format we build ourselves from
// parsed, validated pieces, so the caller's text is never a C format.
std::u16string number(const Conversion& field, char conv, const FormatArg& arg) {
    char fmt[32];
    char* p = fmt;
    *p++ = '%';
    if (field.plus) *p++ = '+';
    if (field.space) *p++ = ' ';
    if (field.alt) *p++ = '#';
    char buf[512];
    int precision = field.precision > 200 ? 200 : field.precision;
    if (precision >= 0) p += std::snprintf(p, 8, ".%d", precision);
    switch (conv) {
        case 'd':
        case 'i':
            *p++ = 'l'; *p++ = 'l'; *p++ = 'd'; *p = 0;
            std::snprintf(buf, sizeof buf, fmt, static_cast<long long>(arg.asSigned()));
            break;
        case 'u':
        case 'o':
        case 'x':
        case 'X': {
            std::uint64_t v = arg.asUnsigned();
            // A negative int printed with %x shows its 32-bit pattern, as on
            // Windows where the arguments are 32-bit.
            if (arg.kind() == FormatArg::Kind::Signed && arg.asSigned() < 0 && arg.asSigned() >= INT32_MIN)
                v &= 0xFFFFFFFFu;
            *p++ = 'l'; *p++ = 'l'; *p++ = conv; *p = 0;
            std::snprintf(buf, sizeof buf, fmt, static_cast<unsigned long long>(v));
            break;
        }
        default: {
            // Doubles go through to_chars, which formats as printf does in
            // the "C" locale: a host that set a decimal-comma locale must
            // not change what is written into INI files and payloads.
            const double v = arg.asDouble();
            const std::chars_format fmtKind = (conv == 'e' || conv == 'E')   ? std::chars_format::scientific
                                              : (conv == 'g' || conv == 'G') ? std::chars_format::general
                                                                             : std::chars_format::fixed;
            const int digits = field.precision >= 0 ? precision : 6;
            char* out = buf;
            if (!std::signbit(v) || std::isnan(v)) {
                if (field.plus) *out++ = '+';
                else if (field.space) *out++ = ' ';
            }
            const auto r = std::to_chars(out, buf + sizeof buf - 1, v, fmtKind, digits);
            if (r.ec != std::errc()) return {};
            *r.ptr = 0;
            if (conv == 'E' || conv == 'G' || conv == 'F')
                for (char* c = buf; *c; ++c) *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
            break;
        }
    }
    return widen(buf);
}

}  // namespace

std::u16string formatArgs(std::u16string_view f, const FormatArg* args, std::size_t count) {
    std::u16string out;
    out.reserve(f.size() + 16);
    std::size_t next = 0;
    std::size_t i = 0;
    while (i < f.size()) {
        const char16_t c = f[i];
        if (c != u'%') {
            out += c;
            ++i;
            continue;
        }
        const std::size_t start = i++;
        if (i < f.size() && f[i] == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        Conversion field;
        for (; i < f.size(); ++i) {
            const char16_t g = f[i];
            if (g == u'-') field.left = true;
            else if (g == u'+') field.plus = true;
            else if (g == u' ') field.space = true;
            else if (g == u'0') field.zero = true;
            else if (g == u'#') field.alt = true;
            else break;
        }
        auto readNumber = [&](int& into) {
            int v = 0;
            bool any = false;
            while (i < f.size() && f[i] >= u'0' && f[i] <= u'9') {
                // Widths and precisions beyond any real use are capped so a
                // hostile format cannot ask for gigabytes.
                v = v * 10 + (f[i] - u'0');
                if (v > kMaxFieldWidth) v = kMaxFieldWidth;
                ++i;
                any = true;
            }
            if (any) into = v;
            return any;
        };
        readNumber(field.width);
        if (i < f.size() && f[i] == u'.') {
            ++i;
            field.precision = 0;
            readNumber(field.precision);
        }
        // Length modifiers are accepted and ignored: the argument's type rules.
        while (i < f.size()) {
            const char16_t g = f[i];
            if (g == u'h' || g == u'l' || g == u'L' || g == u'z' || g == u'j' || g == u't' || g == u'w') {
                ++i;
            } else if (g == u'I' && i + 2 < f.size() && f[i + 1] == u'6' && f[i + 2] == u'4') {
                i += 3;
            } else {
                break;
            }
        }
        if (i >= f.size()) {
            out += f.substr(start);
            break;
        }
        const char16_t conv = f[i++];
        const FormatArg* arg = next < count ? &args[next] : nullptr;
        switch (conv) {
            case u'd': case u'i': case u'u': case u'o': case u'x': case u'X':
            case u'f': case u'F': case u'e': case u'E': case u'g': case u'G': {
                ++next;
                if (!arg || arg->kind() == FormatArg::Kind::Text) break;
                pad(out, number(field, static_cast<char>(conv), *arg), field, true);
                break;
            }
            case u'c': case u'C': {
                ++next;
                if (!arg || arg->kind() == FormatArg::Kind::Text) break;
                const char16_t ch = arg->asChar();
                pad(out, std::u16string_view(&ch, 1), field, false);
                break;
            }
            case u's': case u'S': {
                ++next;
                if (!arg || arg->kind() != FormatArg::Kind::Text) break;
                std::u16string_view s = arg->asText();
                if (field.precision >= 0 && s.size() > static_cast<std::size_t>(field.precision))
                    s = s.substr(0, static_cast<std::size_t>(field.precision));
                pad(out, s, field, false);
                break;
            }
            default:
                out += f.substr(start, i - start);
                break;
        }
    }
    return out;
}

std::vector<std::u16string> splitZeroList(const char16_t* buffer, std::size_t count) {
    std::vector<std::u16string> out;
    if (!buffer) return out;
    std::size_t i = 0;
    while (i < count && buffer[i]) {
        std::size_t j = i;
        while (j < count && buffer[j]) ++j;
        out.emplace_back(buffer + i, j - i);
        i = j + 1;
    }
    return out;
}

}  // namespace text
