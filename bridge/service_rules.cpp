#include "bridge/service_rules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <initializer_list>

#include "platform/text.h"

namespace bridge {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// A port of 1 to 65535 written in decimal digits only.
std::optional<std::uint32_t> parsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value == 0 || value > 65535) return std::nullopt;
    return value;
}

bool hostCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) { return text::equalsIgnoreAsciiCase(a, b); }

// Texts joined by appending: GCC 12 at -O3 (the Windows build) warns of a
// bogus overlap in `"literal" + std::string`.
std::string join(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const auto part : parts) out.append(part);
    return out;
}

}  // namespace

bool hostAllowed(std::string_view host, std::uint16_t port) {
    const std::string wanted = join({":", std::to_string(port)});
    const std::string value = lower(host);
    for (const char* name : {"127.0.0.1", "localhost", "[::1]"}) {
        if (value == join({name, wanted})) return true;
    }
    return false;
}

std::vector<std::string> ownOrigins(std::uint16_t port) {
    const std::string number = std::to_string(port);
    return {join({"http://127.0.0.1:", number}), join({"http://localhost:", number}), join({"http://[::1]:", number})};
}

std::optional<std::string> normalizeOrigin(std::string_view origin) {
    std::string value = lower(origin);
    if (!value.empty() && value.back() == '/') value.pop_back();
    std::string scheme;
    std::uint32_t defaultPort = 0;
    if (value.starts_with("http://")) {
        scheme = "http";
        defaultPort = 80;
    } else if (value.starts_with("https://")) {
        scheme = "https";
        defaultPort = 443;
    } else {
        return std::nullopt;
    }
    std::string_view rest = std::string_view(value).substr(scheme.size() + 3);
    std::string host;
    std::string_view portText;
    if (rest.starts_with("[")) {
        const auto close = rest.find(']');
        if (close == std::string_view::npos || close == 1) return std::nullopt;
        const std::string_view inside = rest.substr(1, close - 1);
        if (!std::all_of(inside.begin(), inside.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.'; }))
            return std::nullopt;
        host = std::string(rest.substr(0, close + 1));
        rest.remove_prefix(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') return std::nullopt;
            portText = rest.substr(1);
            if (portText.empty()) return std::nullopt;
        }
    } else {
        const auto colon = rest.find(':');
        host = std::string(rest.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = rest.substr(colon + 1);
            if (portText.empty()) return std::nullopt;
        }
        if (host.empty() || !std::all_of(host.begin(), host.end(), hostCharacter) || host.front() == '.' ||
            host.back() == '.' || host.find("..") != std::string::npos)
            return std::nullopt;
    }
    std::string result = join({scheme, "://", host});
    if (!portText.empty()) {
        const auto port = parsePort(portText);
        if (!port) return std::nullopt;
        if (*port != defaultPort) result.append(":").append(std::to_string(*port));
    }
    return result;
}

bool originAllowed(std::string_view origin, std::uint16_t port, const std::vector<std::string>& allowList) {
    // A browser sends the origin already in this form; anything that is
    // not in it (including "null" from sandboxed frames and files) fails.
    const auto normal = normalizeOrigin(origin);
    if (!normal || *normal != origin) return false;
    for (const auto& own : ownOrigins(port)) {
        if (*normal == own) return true;
    }
    return std::find(allowList.begin(), allowList.end(), *normal) != allowList.end();
}

std::string_view pageRefusal(std::u16string_view method) {
    static constexpr std::array<std::u16string_view, 3> kLaunch = {u"SetSavetoLaunchAppPath", u"SetSavetoLaunchAppParams",
                                                                   u"SelectAPFile"};
    for (const auto name : kLaunch) {
        if (equalsIgnoreCase(method, name)) return "a page cannot choose a program to launch after a scan";
    }
    if (equalsIgnoreCase(method, u"AssignProfileToScannerButton"))
        return "a page cannot bind profiles to the scanner's buttons";
    return {};
}

bool clearsLaunchSettings(std::u16string_view method) {
    for (const auto name : {u"ScanStart", u"SaveProfile", u"ExportProfile"}) {
        if (equalsIgnoreCase(method, name)) return true;
    }
    return false;
}

}  // namespace bridge
