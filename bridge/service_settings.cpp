#include "bridge/service_settings.h"

#include <algorithm>

#include "bridge/service_rules.h"
#include "platform/path.h"
#include "platform/private_profile.h"
#include "platform/text.h"

namespace bridge {

namespace {

constexpr const char16_t* kService = u"Service";
constexpr const char16_t* kOrigins = u"AllowedOrigins";

}  // namespace

std::u16string ServiceSettings::fileIn(std::u16string_view folder) { return platform::joinPath(folder, u"bridge.ini"); }

std::uint16_t ServiceSettings::port() const {
    const std::int32_t value = platform::getPrivateProfileInt(kService, u"Port", kDefaultPort, file_.c_str());
    return value >= 1 && value <= 65535 ? static_cast<std::uint16_t>(value) : kDefaultPort;
}

bool ServiceSettings::setPort(std::uint16_t port) {
    if (port == 0) return false;
    const std::u16string value = text::fromUtf8(std::to_string(port));
    return platform::writePrivateProfileString(kService, u"Port", value.c_str(), file_.c_str());
}

std::vector<std::string> ServiceSettings::allowedOrigins() const {
    // The list grows until the call stops signalling a cut.
    std::vector<char16_t> buffer(4096);
    for (;;) {
        const std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
        const std::uint32_t used = platform::getPrivateProfileSection(kOrigins, buffer.data(), size, file_.c_str());
        if (used + 2 < size || size >= (1u << 22)) break;
        buffer.resize(buffer.size() * 4);
    }
    std::vector<std::string> origins;
    for (const char16_t* entry = buffer.data(); *entry; entry += std::char_traits<char16_t>::length(entry) + 1) {
        std::u16string_view line(entry);
        line = line.substr(0, line.find(u'='));
        const auto normal = normalizeOrigin(text::toUtf8(line));
        if (normal && std::find(origins.begin(), origins.end(), *normal) == origins.end()) origins.push_back(*normal);
    }
    return origins;
}

bool ServiceSettings::allowOrigin(const std::string& origin) {
    const auto normal = normalizeOrigin(origin);
    if (!normal) return false;
    return platform::writePrivateProfileString(kOrigins, text::fromUtf8(*normal).c_str(), u"allowed", file_.c_str());
}

bool ServiceSettings::removeOrigin(const std::string& origin) {
    const auto normal = normalizeOrigin(origin);
    if (!normal) return false;
    const auto list = allowedOrigins();
    if (std::find(list.begin(), list.end(), *normal) == list.end()) return false;
    return platform::writePrivateProfileString(kOrigins, text::fromUtf8(*normal).c_str(), nullptr, file_.c_str());
}

}  // namespace bridge
