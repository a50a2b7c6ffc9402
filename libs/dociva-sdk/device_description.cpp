#include "device_description.h"

#include <vector>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/private_profile.h"
#include "settings/config_impl.h"
#include "platform/text.h"
#include "settings/number_text.h"

namespace dociva_sdk {

namespace {

std::u16string_view trimmed(std::u16string_view s) {
    while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
    return s;
}

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Longest practical inch value: a long-paper feeder of a few metres.
constexpr double kMaxInches = 1000.0;
constexpr std::int64_t kMaxWarmupMs = 600000;
constexpr std::int64_t kMinCancelWaitMs = 100;
constexpr std::int64_t kMaxCancelWaitMs = 600000;
constexpr std::int64_t kMinReadLimitMs = 100;
constexpr std::int64_t kMaxReadLimitMs = 3600000;
constexpr std::int64_t kMaxPagesPerBatch = 10000;

}  // namespace

std::optional<std::int64_t> parseStrictInt(std::u16string_view text) {
    std::u16string_view s = trimmed(text);
    bool negative = false;
    if (!s.empty() && s.front() == u'-') {
        negative = true;
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 12) return std::nullopt;
    std::int64_t value = 0;
    for (char16_t c : s) {
        if (!isDigit(c)) return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return negative ? -value : value;
}

std::optional<double> parseStrictReal(std::u16string_view text) {
    const std::u16string_view s = trimmed(text);
    std::size_t i = 0;
    if (i < s.size() && s[i] == u'-') ++i;
    std::size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == u'.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0 || i != s.size() || s.size() > 32) return std::nullopt;
    return decimalTextToDouble(s);
}

SourceCapability DeviceDescription::capability() const {
    SourceCapability c{};
    c.source = sheetFed ? 1u : 0u;
    c.maxWidth = maxWidth;
    c.maxHeight = maxHeight;
    c.maxLength = maxLength;
    c.isOverscan = overscan ? 1 : 0;
    c.isDuplex = duplex ? 1 : 0;
    c.multiPage = multiPage ? 1 : 0;
    return c;
}

std::optional<DeviceDescription> readDeviceDescription(std::u16string_view driverDirectory) {
    if (driverDirectory.empty() || !platform::isDirectory(driverDirectory)) return std::nullopt;
    const std::u16string iniPath = platform::joinPath(driverDirectory, u"module.ini");
    if (!platform::pathExists(iniPath) || platform::isDirectory(iniPath)) return std::nullopt;
    const CConfigImpl ini(iniPath.c_str());
    if (ini.path().empty()) return std::nullopt;

    std::vector<std::u16string> keys;
    ini.getSectionKeys(u"device", keys);
    if (keys.empty()) return std::nullopt;

    // A sentinel no valid value can have tells a missing key from an empty one.
    constexpr char16_t kMissing[] = u"\x01missing";
    // Read as written: a backslash in a Windows path is no escape here.
    auto raw = [&](const char16_t* key) {
        char16_t buffer[1024] = {};
        platform::getPrivateProfileString(u"device", key, kMissing, buffer, 1024, ini.path().c_str());
        return std::u16string(buffer);
    };
    auto present = [&](const char16_t* key) { return raw(key) != kMissing; };

    auto integer = [&](const char16_t* key, std::int64_t fallback, std::int64_t low,
                       std::int64_t high) -> std::optional<std::int64_t> {
        if (!present(key)) return fallback;
        const auto v = parseStrictInt(raw(key));
        if (!v || *v < low || *v > high) return std::nullopt;
        return v;
    };
    auto real = [&](const char16_t* key, double fallback, double low) -> std::optional<double> {
        if (!present(key)) return fallback;
        const auto v = parseStrictReal(raw(key));
        if (!v || *v < low || *v > kMaxInches) return std::nullopt;
        return v;
    };

    Backend backend = Backend::Virtual;
    std::u16string saneDevice;
    if (present(u"backend")) {
        const std::u16string written = raw(u"backend");
        const std::u16string_view name = trimmed(written);
        if (text::equalsIgnoreAsciiCase(name, u"sane")) {
            backend = Backend::Sane;
        } else if (!name.empty() && !text::equalsIgnoreAsciiCase(name, u"virtual")) {
            return std::nullopt;
        }
    }
    if (backend == Backend::Sane) {
        // The device tells its sizes and sources when it opens.
        saneDevice = present(u"device") ? std::u16string(trimmed(raw(u"device"))) : std::u16string();
        if (saneDevice.empty()) return std::nullopt;
    } else if (!present(u"source") || !present(u"maxWidth") || !present(u"maxHeight")) {
        return std::nullopt;
    }
    const auto source = integer(u"source", 0, 0, 1);
    const auto maxWidth = real(u"maxWidth", 8.5, 0.0);
    const auto maxHeight = real(u"maxHeight", 11.0, 0.0);
    const auto maxLength = real(u"maxLength", 0.0, 0.0);
    const auto duplex = integer(u"duplex", 0, 0, 1);
    const auto overscan = integer(u"overscan", 0, 0, 1);
    const auto multiPage = integer(u"multiPage", 0, 0, 1);
    const auto warmupMs = integer(u"warmupMs", 0, 0, kMaxWarmupMs);
    const auto pagesPerBatch = integer(u"pagesPerBatch", 1, 0, kMaxPagesPerBatch);
    const auto ready = integer(u"ready", 1, 0, 1);
    const auto cancelWaitMs = integer(u"cancelWaitMs", 20000, kMinCancelWaitMs, kMaxCancelWaitMs);
    const auto readLimitMs = integer(u"readLimitMs", 120000, kMinReadLimitMs, kMaxReadLimitMs);
    if (!source || !maxWidth || !maxHeight || !maxLength || !duplex || !overscan || !multiPage || !warmupMs ||
        !pagesPerBatch || !ready || !cancelWaitMs || !readLimitMs)
        return std::nullopt;
    if (*maxWidth <= 0.0 || *maxHeight <= 0.0) return std::nullopt;

    DeviceDescription d;
    d.driverDirectory = std::u16string(driverDirectory);
    d.backend = backend;
    d.saneDevice = std::move(saneDevice);
    d.sheetFed = *source == 1;
    d.hasFlatbed = !d.sheetFed;
    d.hasFeeder = d.sheetFed;
    d.maxWidth = *maxWidth;
    d.maxHeight = *maxHeight;
    d.maxLength = *maxLength;
    d.duplex = *duplex == 1;
    d.overscan = *overscan == 1;
    d.multiPage = *multiPage == 1;
    d.warmupMs = static_cast<std::uint32_t>(*warmupMs);
    d.pagesPerBatch = static_cast<std::uint32_t>(*pagesPerBatch);
    d.ready = *ready == 1;
    d.cancelWaitMs = static_cast<std::uint32_t>(*cancelWaitMs);
    d.readLimitMs = static_cast<std::uint32_t>(*readLimitMs);
    const std::u16string input = present(u"input") ? std::u16string(trimmed(raw(u"input"))) : std::u16string();
    if (!input.empty()) {
        d.inputFolder = platform::hasDrive(input) ? input : platform::joinPath(driverDirectory, input);
        if (!platform::isDirectory(d.inputFolder)) return std::nullopt;
    }
    if (present(u"blankPages")) d.blankPages = std::u16string(trimmed(raw(u"blankPages")));
    return d;
}

}  // namespace dociva_sdk
