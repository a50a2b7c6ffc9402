#include "settings/scan_settings.h"

#include <bit>
#include <cstring>

namespace {

// Each field is written at its own offset in little-endian order, so the
// bytes are those the SDK expects whatever the host's byte order; padding
// stays zero.
template <typename Record>
std::vector<std::uint8_t> serialiseFields(const Record& record) {
    std::vector<std::uint8_t> out(sizeof(Record), 0);
    const auto* base = reinterpret_cast<const unsigned char*>(&record);
    auto put = [&](std::size_t at, std::uint64_t value, std::size_t bytes) {
        for (std::size_t i = 0; i < bytes; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    forEachField(record, [&](const char*, const auto& field) {
        const std::size_t at = static_cast<std::size_t>(reinterpret_cast<const unsigned char*>(&field) - base);
        using Field = std::remove_cvref_t<decltype(field)>;
        if constexpr (std::is_same_v<Field, double>) {
            put(at, std::bit_cast<std::uint64_t>(field), 8);
        } else if constexpr (std::is_same_v<Field, std::int32_t>) {
            put(at, static_cast<std::uint32_t>(field), 4);
        } else if constexpr (std::is_same_v<Field, std::uint8_t>) {
            put(at, field, 1);
        } else {
            static_assert(std::is_array_v<Field>);
            for (std::size_t i = 0; i < std::extent_v<Field>; ++i) put(at + 2 * i, field[i], 2);
        }
    });
    return out;
}

// Copies every field both forms have, by name, as the table lists them.
template <typename To, typename From>
To convert(const From& from) {
    To to;
#define DOCIVA_COPY_SHARED(member, record, legacy, ...) \
    DOCIVA_FIELD_IF(record, DOCIVA_FIELD_IF(legacy, std::memcpy(&to.member, &from.member, sizeof to.member);))
    DOCIVA_SETTING_FIELDS(DOCIVA_COPY_SHARED)
#undef DOCIVA_COPY_SHARED
    return to;
}

}  // namespace

LegacyScanSettings toLegacy(const ScanSettings& record) { return convert<LegacyScanSettings>(record); }

ScanSettings fromLegacy(const LegacyScanSettings& record) { return convert<ScanSettings>(record); }

std::vector<std::uint8_t> serialise(const ScanSettings& record) { return serialiseFields(record); }
std::vector<std::uint8_t> serialise(const LegacyScanSettings& record) { return serialiseFields(record); }
