#include "settings/config_impl.h"

#include <memory>

#include "platform/path.h"
#include "platform/private_profile.h"
#include "platform/text.h"

namespace {

// Lists start at 512 units and double while the platform signals a cut
// (size - 2). The cap only guards against a file that keeps growing.
constexpr std::uint32_t kFirstListSize = 512;
constexpr std::uint32_t kMaxListSize = 1u << 26;

template <typename Call>
std::vector<std::u16string> readList(Call call) {
    for (std::uint32_t size = kFirstListSize;; size *= 2) {
        auto buffer = std::make_unique<char16_t[]>(size);
        const std::uint32_t n = call(buffer.get(), size);
        if (n != size - 2 || size >= kMaxListSize) return text::splitZeroList(buffer.get(), n);
    }
}

void expandLineBreaks(char16_t* s) {
    char16_t* out = s;
    for (const char16_t* in = s; *in; ++in) {
        if (in[0] == u'\\' && in[1] == u'n') {
            *out++ = u'\n';
            ++in;
        } else {
            *out++ = *in;
        }
    }
    *out = 0;
}

}  // namespace

CConfigImpl::CConfigImpl(const char16_t* path) {
    const std::u16string_view p = text::view(path);
    if (p.size() <= platform::kMaxPathUnits) iniPath = p;
}

CConfigImpl::~CConfigImpl() = default;

void CConfigImpl::getString(const char16_t* section, const char16_t* key, char16_t* buffer, std::uint32_t size,
                            const char16_t* defaultValue) const {
    if (iniPath.empty() || !section || !key || !buffer || size == 0) return;
    platform::getPrivateProfileString(section, key, defaultValue ? defaultValue : u"", buffer, size, iniPath.c_str());
    expandLineBreaks(buffer);
}

std::u16string CConfigImpl::getString(const char16_t* section, const char16_t* key, const char16_t* defaultValue,
                                      std::uint32_t maxUnits) const {
    std::u16string out(static_cast<std::size_t>(maxUnits) + 1, u'\0');
    out[0] = 0;
    getString(section, key, out.data(), maxUnits + 1, defaultValue);
    out.resize(text::length(out.c_str()));
    return out;
}

std::u16string CConfigImpl::getRawString(const char16_t* section, const char16_t* key, const char16_t* defaultValue,
                                         std::uint32_t maxUnits) const {
    if (iniPath.empty() || !section || !key) return {};
    std::u16string out(static_cast<std::size_t>(maxUnits) + 1, u'\0');
    platform::getPrivateProfileString(section, key, defaultValue ? defaultValue : u"", out.data(), maxUnits + 1,
                                      iniPath.c_str());
    out.resize(text::length(out.c_str()));
    return out;
}

int CConfigImpl::getInt(const char16_t* section, const char16_t* key, int defaultValue) const {
    if (iniPath.empty() || !section || !key) return defaultValue;
    return platform::getPrivateProfileInt(section, key, defaultValue, iniPath.c_str());
}

bool CConfigImpl::getBool(const char16_t* section, const char16_t* key, bool defaultValue) const {
    return getInt(section, key, defaultValue ? 1 : 0) > 0;
}

bool CConfigImpl::setString(const char16_t* section, const char16_t* key, const char16_t* value) {
    if (iniPath.empty() || !section || !key || !value) return false;
    return platform::writePrivateProfileString(section, key, value, iniPath.c_str());
}

bool CConfigImpl::setInt(const char16_t* section, const char16_t* key, int value) {
    if (!section || !key) return false;
    return setString(section, key, text::format(u"%d", value).c_str());
}

bool CConfigImpl::setBool(const char16_t* section, const char16_t* key, bool value) {
    return setInt(section, key, value ? 1 : 0);
}

bool CConfigImpl::setDouble(const char16_t* section, const char16_t* key, double value) {
    if (!section || !key) return false;
    return setString(section, key, text::format(u"%.2f", value).c_str());
}

void CConfigImpl::getSectionNames(std::vector<std::u16string>& names) const {
    names.clear();
    if (iniPath.empty()) return;
    names = readList([&](char16_t* buf, std::uint32_t size) {
        return platform::getPrivateProfileSectionNames(buf, size, iniPath.c_str());
    });
}

void CConfigImpl::getSectionKeys(const char16_t* section, std::vector<std::u16string>& keys) const {
    keys.clear();
    if (iniPath.empty() || !section) return;
    const auto entries = readList([&](char16_t* buf, std::uint32_t size) {
        return platform::getPrivateProfileSection(section, buf, size, iniPath.c_str());
    });
    for (const auto& entry : entries) {
        // The first '='-delimited token: leading '=' are skipped.
        std::size_t start = entry.find_first_not_of(u'=');
        if (start == std::u16string::npos) continue;
        const std::size_t end = entry.find(u'=', start);
        keys.push_back(entry.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start));
    }
}
