// dociva ini: runs the platform's private-profile calls exactly as the
// components make them, so a user sees a file the way the component does.
// Output: the call's return value on the first line, then the returned text
// as UTF-8 (list entries one per line).
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/private_profile.h"
#include "platform/text.h"
#include "tools/commands.h"

const char kIniUsage[] =
    "  ini get FILE SECTION KEY [DEFAULT] [--size N]   value (N defaults to 260)\n"
    "  ini getint FILE SECTION KEY DEFAULT             integer value\n"
    "  ini sections FILE [--size N]                    section names (N: 32768)\n"
    "  ini keys FILE SECTION [--size N]                the section's raw entries\n"
    "  ini keynames FILE SECTION [DEFAULT] [--size N]  key names (a read with no key)\n"
    "  ini set FILE SECTION KEY VALUE                  write a value\n"
    "  ini delete FILE SECTION [KEY]                   delete a key, or the section\n";

namespace {

// Units past the caller's size are filled with this and checked afterwards:
// a call that writes past the size it was given is reported.
constexpr char16_t kGuard = 0xA5A5;
constexpr std::uint32_t kGuardUnits = 8;

struct Parsed {
    std::vector<std::u16string> positional;
    std::optional<std::uint32_t> size;
    bool ok = true;
};

Parsed parse(const Arguments& args) {
    Parsed p;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == u"--size") {
            if (i + 1 >= args.size()) {
                p.ok = false;
                break;
            }
            const std::string n = text::toUtf8(args[++i]);
            char* end = nullptr;
            const unsigned long v = std::strtoul(n.c_str(), &end, 10);
            if (n.empty() || *end || v > (1u << 26)) {
                p.ok = false;
                break;
            }
            p.size = static_cast<std::uint32_t>(v);
        } else {
            p.positional.push_back(args[i]);
        }
    }
    return p;
}

class GuardedBuffer {
public:
    explicit GuardedBuffer(std::uint32_t size) : size_(size), units_(size + kGuardUnits, kGuard) {}
    char16_t* data() { return units_.data(); }
    std::uint32_t size() const { return size_; }
    bool intact() const {
        for (std::size_t i = size_; i < units_.size(); ++i)
            if (units_[i] != kGuard) return false;
        return true;
    }
    std::u16string_view first(std::uint32_t n) const { return {units_.data(), n < size_ ? n : size_}; }

private:
    std::uint32_t size_;
    std::u16string units_;
};

int report(std::int64_t result, const std::vector<std::u16string>& lines, const GuardedBuffer* buffer) {
    if (buffer && !buffer->intact()) {
        platform::writeStderr("dociva ini: the call wrote past the buffer size\n");
        return 3;
    }
    std::string out = std::to_string(result) + "\n";
    for (const auto& l : lines) out += text::toUtf8(l) + "\n";
    platform::writeStdout(out);
    return 0;
}

int usage() {
    platform::writeStderr(std::string("usage:\n") + kIniUsage);
    return 2;
}

std::vector<std::u16string> listLines(const GuardedBuffer& b, std::uint32_t n) {
    const auto units = b.first(n);
    std::vector<std::u16string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= units.size(); ++i) {
        if (i == units.size() || units[i] == 0) {
            if (i > start) lines.emplace_back(units.substr(start, i - start));
            start = i + 1;
        }
    }
    return lines;
}

}  // namespace

int runIniCommand(const Arguments& args) {
    if (args.empty()) return usage();
    const std::u16string& verb = args[0];
    const Parsed p = parse(Arguments(args.begin() + 1, args.end()));
    if (!p.ok) return usage();
    const auto& a = p.positional;

    if (verb == u"get" && (a.size() == 3 || a.size() == 4)) {
        GuardedBuffer b(p.size.value_or(260));
        const char16_t* def = a.size() == 4 ? a[3].c_str() : nullptr;
        const auto n = platform::getPrivateProfileString(a[1].c_str(), a[2].c_str(), def, b.data(), b.size(), a[0].c_str());
        return report(n, {std::u16string(b.first(n))}, &b);
    }
    if (verb == u"keynames" && (a.size() == 2 || a.size() == 3)) {
        GuardedBuffer b(p.size.value_or(32768));
        const char16_t* def = a.size() == 3 ? a[2].c_str() : nullptr;
        const auto n = platform::getPrivateProfileString(a[1].c_str(), nullptr, def, b.data(), b.size(), a[0].c_str());
        return report(n, listLines(b, n), &b);
    }
    if (verb == u"getint" && a.size() == 4) {
        const std::string d = text::toUtf8(a[3]);
        char* end = nullptr;
        const long def = std::strtol(d.c_str(), &end, 10);
        if (d.empty() || *end) return usage();
        return report(platform::getPrivateProfileInt(a[1].c_str(), a[2].c_str(), static_cast<std::int32_t>(def), a[0].c_str()),
                      {}, nullptr);
    }
    if (verb == u"sections" && a.size() == 1) {
        GuardedBuffer b(p.size.value_or(32768));
        const auto n = platform::getPrivateProfileSectionNames(b.data(), b.size(), a[0].c_str());
        return report(n, listLines(b, n), &b);
    }
    if (verb == u"keys" && a.size() == 2) {
        GuardedBuffer b(p.size.value_or(32768));
        const auto n = platform::getPrivateProfileSection(a[1].c_str(), b.data(), b.size(), a[0].c_str());
        return report(n, listLines(b, n), &b);
    }
    if (verb == u"set" && a.size() == 4) {
        return report(platform::writePrivateProfileString(a[1].c_str(), a[2].c_str(), a[3].c_str(), a[0].c_str()) ? 1 : 0,
                      {}, nullptr);
    }
    if (verb == u"delete" && (a.size() == 2 || a.size() == 3)) {
        const char16_t* key = a.size() == 3 ? a[2].c_str() : nullptr;
        return report(platform::writePrivateProfileString(a[1].c_str(), key, nullptr, a[0].c_str()) ? 1 : 0, {}, nullptr);
    }
    return usage();
}
