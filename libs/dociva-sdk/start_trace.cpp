#include "start_trace.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <type_traits>

#include "platform/sync.h"
#include "platform/system.h"
#include "platform/text.h"

namespace dociva_sdk {

namespace {

void appendJsonString(std::string& out, std::u16string_view value) {
    out += '"';
    for (unsigned char c : text::toUtf8(value)) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

// Texts in the record are fixed arrays: read up to the terminator, never
// past the array.
template <std::size_t N>
std::u16string_view arrayText(const char16_t (&a)[N]) {
    std::size_t n = 0;
    while (n < N && a[n] != 0) ++n;
    return {a, n};
}

platform::CriticalSection& traceLock() {
    static platform::CriticalSection lock;
    return lock;
}

}  // namespace

std::string traceLine(DocivaHandle handle, const char16_t* profilePath, const ScanSettings* settings,
                      const int* buttonId) {
    std::string out = "{\"handle\":" + std::to_string(handle) + ",\"profilePath\":";
    if (profilePath)
        appendJsonString(out, text::view(profilePath));
    else
        out += "null";
    out += ",\"buttonId\":";
    out += buttonId ? std::to_string(*buttonId) : "null";
    out += ",\"settings\":";
    if (!settings) {
        out += "null}";
        return out;
    }
    out += '{';
    bool first = true;
    forEachField(*settings, [&](const char* name, const auto& field) {
        if (!first) out += ',';
        first = false;
        out += '"';
        out += name;
        out += "\":";
        using Field = std::remove_cvref_t<decltype(field)>;
        if constexpr (std::is_array_v<Field>) {
            appendJsonString(out, arrayText(field));
        } else if constexpr (std::is_same_v<Field, double>) {
            // JSON has no spelling for an infinity or a NaN.
            char number[40];
            std::snprintf(number, sizeof number, "%.17g", field);
            out += std::isfinite(field) ? number : "null";
        } else {
            out += std::to_string(static_cast<long long>(field));
        }
    });
    out += "}}";
    return out;
}

void traceStart(DocivaHandle handle, const char16_t* profilePath, const ScanSettings* settings, const int* buttonId) {
    const std::u16string file = platform::environmentVariable(u"DOCIVA_SDK_TRACE");
    if (file.empty()) return;
    const std::string line = traceLine(handle, profilePath, settings, buttonId) + "\n";
    std::lock_guard lock(traceLock());
    std::ofstream out(std::filesystem::path(file), std::ios::binary | std::ios::app);
    out << line;
}

}  // namespace dociva_sdk
