// dociva profile: loads, applies and writes back profiles with the very
// code the components run, so a user sees what a profile means to them.
// Values print as name=value, one per line: texts as UTF-8, doubles with
// six decimals.
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <type_traits>

#include "platform/console.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/scan_profile.h"
#include "tools/commands.h"

const char kProfileUsage[] =
    "  profile show FILE                         every value read from the profile\n"
    "  profile apply FILE                        the scan settings record after applying it\n"
    "  profile writeback FILE [NAME=VALUE ...]   write back a reset record with these fields set\n"
    "                                            (selectedFormats=0,4 for the output formats,\n"
    "                                            scannerDirectory=DIR for the current scanner),\n"
    "                                            then print the file\n"
    "  profile record FILE OUT [--form 6480|4912]  write the applied record's bytes to OUT\n";

namespace {

constexpr std::uint64_t kMaxPrintedFile = 64u << 20;

int usage(const std::string& why = {}) {
    if (!why.empty()) platform::writeStderr("dociva profile: " + why + "\n");
    platform::writeStderr(std::string("usage:\n") + kProfileUsage);
    return 2;
}

template <std::size_t N>
std::u16string_view textOf(const char16_t (&array)[N]) {
    std::size_t n = 0;
    while (n < N && array[n]) ++n;
    return {array, n};
}

// One field as it prints.
template <typename Field>
std::string valueText(const Field& field) {
    using F = std::remove_cvref_t<Field>;
    if constexpr (std::is_same_v<F, double>) {
        return text::toUtf8(text::format(u"%.6f", field));
    } else if constexpr (std::is_same_v<F, bool>) {
        return field ? "1" : "0";
    } else if constexpr (std::is_integral_v<F>) {
        return text::toUtf8(text::format(u"%d", static_cast<std::int32_t>(field)));
    } else {
        return text::toUtf8(textOf(field));
    }
}

template <typename Record>
std::string listFields(const Record& record) {
    std::string out;
    forEachField(record, [&](const char* name, const auto& field) { out += std::string(name) + "=" + valueText(field) + "\n"; });
    return out;
}

// Whole text as a number, or nothing.
template <typename Number>
bool parseNumber(std::u16string_view value, Number& out) {
    const std::string s = text::toUtf8(value);
    const char* begin = s.data();
    if (s.size() > 1 && s[0] == '+' && s[1] != '-') ++begin;
    const auto [end, ec] = std::from_chars(begin, s.data() + s.size(), out);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

bool parseFormats(std::u16string_view list, std::set<std::int32_t>& formats) {
    while (!list.empty()) {
        const std::size_t comma = list.find(u',');
        std::u16string_view item = list.substr(0, comma);
        while (!item.empty() && item.front() == u' ') item.remove_prefix(1);
        std::int32_t id = 0;
        if (!parseNumber(item, id)) return false;
        formats.insert(id);
        if (comma == std::u16string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return true;
}

// Sets the record's field called name; false for an unknown name or a
// value that does not fit the field.
bool setField(ScanSettings& record, std::u16string_view name, std::u16string_view value) {
    bool found = false;
    bool ok = false;
    const std::string wanted = text::toUtf8(name);
    forEachField(record, [&](const char* fieldName, auto& field) {
        if (found || wanted != fieldName) return;
        found = true;
        using F = std::remove_cvref_t<decltype(field)>;
        if constexpr (std::is_same_v<F, double> || std::is_same_v<F, std::int32_t>) {
            ok = parseNumber(value, field);
        } else if constexpr (std::is_same_v<F, std::uint8_t>) {
            std::int32_t v = 0;
            ok = parseNumber(value, v) && v >= 0 && v <= 255;
            if (ok) field = static_cast<std::uint8_t>(v);
        } else {
            ok = value.size() < std::extent_v<F>;
            if (ok) text::copyBounded(field, std::extent_v<F>, value);
        }
    });
    return ok;
}

ScanSettings appliedRecord(const CScanProfile& profile, std::uint8_t& watermarkEnabled) {
    ScanSettings record;
    record.reset();
    watermarkEnabled = 0;
    applyProfile(profile.getSettings(), record, watermarkEnabled);
    return record;
}

int show(const std::u16string& file) {
    const CScanProfile profile(file.c_str());
    platform::writeStdout(listFields(profile.getSettings()));
    return 0;
}

int apply(const std::u16string& file) {
    const CScanProfile profile(file.c_str());
    std::uint8_t watermarkEnabled = 0;
    const ScanSettings record = appliedRecord(profile, watermarkEnabled);
    platform::writeStdout(listFields(record) + "watermarkEnabled=" + valueText(watermarkEnabled) + "\n");
    return 0;
}

int writeBackCommand(const std::u16string& file, const Arguments& assignments) {
    ScanSettings record;
    record.reset();
    std::set<std::int32_t> formats;
    std::u16string scannerDirectory;
    for (const auto& a : assignments) {
        const std::size_t eq = a.find(u'=');
        if (eq == std::u16string::npos) return usage("expected NAME=VALUE: " + text::toUtf8(a));
        const std::u16string_view name = std::u16string_view(a).substr(0, eq);
        const std::u16string_view value = std::u16string_view(a).substr(eq + 1);
        bool ok = true;
        if (name == u"selectedFormats")
            ok = parseFormats(value, formats);
        else if (name == u"scannerDirectory")
            scannerDirectory = value;
        else
            ok = setField(record, name, value);
        if (!ok) return usage("unknown field or bad value: " + text::toUtf8(a));
    }
    CScanProfile target(file.c_str());
    const bool written = writeBack(record, formats, scannerDirectory, target);
    std::string bytes;
    if (!target.path().empty()) platform::readFile(target.path(), bytes, kMaxPrintedFile);
    platform::writeStdout(bytes);
    if (!written) {
        platform::writeStderr("dociva profile: not every key could be written\n");
        return 1;
    }
    return 0;
}

int record(const std::u16string& file, const std::u16string& out, const std::u16string& form) {
    // Taken before the profile is located: on Windows that makes the module
    // folder current, and OUT is meant relative to where the user is.
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::absolute(std::filesystem::path(out), ec);
    if (ec) return usage("bad output path: " + text::toUtf8(out));
    const CScanProfile profile(file.c_str());
    std::uint8_t watermarkEnabled = 0;
    const ScanSettings r = appliedRecord(profile, watermarkEnabled);
    const std::vector<std::uint8_t> bytes = form == u"4912" ? serialise(toLegacy(r)) : serialise(r);
    // Replaced whole, never through a link (platform/file_writer.h).
    if (!platform::writeFile(target.u16string(),
                             std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
        platform::writeStderr("dociva profile: cannot write " + text::toUtf8(out) + "\n");
        return 1;
    }
    return 0;
}

}  // namespace

int runProfileCommand(const Arguments& args) {
    if (args.size() < 2) return usage();
    const std::u16string& verb = args[0];
    if (verb == u"show" && args.size() == 2) return show(args[1]);
    if (verb == u"apply" && args.size() == 2) return apply(args[1]);
    if (verb == u"writeback") return writeBackCommand(args[1], Arguments(args.begin() + 2, args.end()));
    if (verb == u"record" && (args.size() == 3 || args.size() == 5)) {
        std::u16string form = u"6480";
        if (args.size() == 5) {
            if (args[3] != u"--form" || (args[4] != u"6480" && args[4] != u"4912")) return usage();
            form = args[4];
        }
        return record(args[1], args[2], form);
    }
    return usage();
}
