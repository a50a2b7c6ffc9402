#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "settings/scan_settings.h"

namespace {

enum class Kind { I32, F64, U8, Text };

// The layout the SDK reads, written out independently of the struct: the
// offset in the current form, in the earlier form (-1: not there), the
// field's kind, its size in units for texts, and its initial value.
struct Row {
    const char* name;
    int offset;
    int legacyOffset;
    Kind kind;
    int units;
    double initial;
};

constexpr Row kLayout[] = {
    {"scanType", 0, 0, Kind::I32, 1, -1},
    {"scanMode", 4, 4, Kind::I32, 1, -1},
    {"scanDpi", 8, 8, Kind::I32, 1, 0},
    {"scanSize", 12, 12, Kind::I32, 1, -1},
    {"gamma", 16, 16, Kind::I32, 1, -1},
    {"brightness", 20, 20, Kind::I32, 1, -1},
    {"contrast", 24, 24, Kind::I32, 1, -1},
    {"colorDropOut", 28, 28, Kind::I32, 1, -1},
    {"bwThreshold", 32, 32, Kind::I32, 1, -1},
    {"autoSize", 36, 36, Kind::I32, 1, -1},
    {"rotate", 40, 40, Kind::I32, 1, -1},
    {"orientation", 44, 44, Kind::I32, 1, -1},
    {"continuousScan", 48, 48, Kind::I32, 1, -1},
    {"reserved1", 52, 52, Kind::I32, 1, -1},
    {"reserved2", 56, -1, Kind::I32, 1, -1},
    {"blankPageDetect", 60, 56, Kind::I32, 1, -1},
    {"punchHoleErase", 64, 60, Kind::I32, 1, -1},
    {"scanAreaX", 72, 64, Kind::F64, 1, 0},
    {"scanAreaY", 80, 72, Kind::F64, 1, 0},
    {"scanAreaW", 88, 80, Kind::F64, 1, 0},
    {"scanAreaH", 96, 88, Kind::F64, 1, 0},
    {"scanAreaUnit", 104, 96, Kind::I32, 1, 0},
    {"splitMerge", 108, 100, Kind::I32, 1, -1},
    {"reserved3", 112, -1, Kind::Text, 260, 0},
    {"reserved4", 632, -1, Kind::Text, 260, 0},
    {"reserved5", 1152, -1, Kind::Text, 260, 0},
    {"outImg", 1672, 104, Kind::Text, 260, 0},
    {"appFormat", 2192, 624, Kind::Text, 260, 0},
    {"delImg", 2712, 1144, Kind::I32, 1, -1},
    {"compress", 2716, 1148, Kind::I32, 1, -1},
    {"dialHide", 2720, 1152, Kind::I32, 1, -1},
    {"zoomX", 2724, 1156, Kind::I32, 1, -1},
    {"zoomY", 2728, 1160, Kind::I32, 1, -1},
    {"changeDpi", 2732, 1164, Kind::I32, 1, -1},
    {"pageSplit", 2736, 1168, Kind::I32, 1, -1},
    {"splitFixPages", 2740, 1172, Kind::I32, 1, -1},
    {"reserved6", 2744, 1176, Kind::U8, 1, 0},
    {"flatbedMultiCrop", 2748, 1180, Kind::I32, 1, -1},
    {"bwCompress", 2752, 1184, Kind::F64, 1, -1},
    {"invert", 2760, 1192, Kind::I32, 1, -1},
    {"reserved7", 2764, 1196, Kind::I32, 1, -1},
    {"ejectPaperDirection", 2768, 1200, Kind::I32, 1, -1},
    {"watermarkType", 2772, 1204, Kind::I32, 1, -1},
    {"watermarkPosition", 2776, 1208, Kind::I32, 1, -1},
    {"watermarkTransparency", 2780, 1212, Kind::I32, 1, -1},
    {"watermarkImage", 2784, 1216, Kind::Text, 260, 0},
    {"watermarkText", 3304, 1736, Kind::Text, 260, 0},
    {"watermarkTextSize", 3824, 2256, Kind::I32, 1, -1},
    {"watermarkTextAngle", 3828, 2260, Kind::I32, 1, -1},
    {"strokeFillSize", 3832, 2264, Kind::I32, 1, -1},
    {"strokeFillPosition", 3836, 2268, Kind::I32, 1, -1},
    {"strokeFillColor", 3840, 2272, Kind::Text, 32, 0},
    {"strokeFillGray", 3904, 2336, Kind::Text, 32, 0},
    {"strokeFillBW", 3968, 2400, Kind::I32, 1, -1},
    {"fileName", 3972, 2404, Kind::Text, 260, 0},
    {"saveToPath", 4492, 2924, Kind::Text, 260, 0},
    {"apPath", 5016, 3448, Kind::Text, 260, 0},
    {"apParams", 5536, 3968, Kind::Text, 260, 0},
    {"reserved8", 6056, 4488, Kind::I32, 1, -1},
    {"openSaveFolder", 6060, 4492, Kind::I32, 1, -1},
    {"reserved9", 6064, 4496, Kind::Text, 100, 0},
    {"reserved10", 6264, 4696, Kind::I32, 1, -1},
    {"reserved11", 6268, 4700, Kind::I32, 1, -1},
    {"reserved12", 6272, 4704, Kind::Text, 100, 0},
    {"reserved13", 6472, 4904, Kind::I32, 1, -1},
};

std::uint64_t readLe(const std::vector<std::uint8_t>& bytes, int at, int size) {
    std::uint64_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | bytes[static_cast<std::size_t>(at + i)];
    return v;
}

int rowSize(const Row& r) {
    switch (r.kind) {
        case Kind::I32: return 4;
        case Kind::F64: return 8;
        case Kind::U8: return 1;
        case Kind::Text: return 2 * r.units;
    }
    return 0;
}

// Gives every field a value of its own: the field's index shows in every
// byte, so a field written at the wrong place or cut short is caught.
ScanSettings distinctRecord(std::map<std::string, int>& indexOf) {
    ScanSettings r;
    int index = 0;
    forEachField(r, [&](const char* name, auto& field) {
        ++index;
        indexOf[name] = index;
        using F = std::remove_cvref_t<decltype(field)>;
        if constexpr (std::is_same_v<F, double>)
            field = index + 0.25;
        else if constexpr (std::is_same_v<F, std::int32_t>)
            field = static_cast<std::int32_t>(0x71000000u | (static_cast<unsigned>(index) << 8) | 0x5Au);
        else if constexpr (std::is_same_v<F, std::uint8_t>)
            field = static_cast<std::uint8_t>(0x80 + index);
        else
            for (std::size_t i = 0; i < std::extent_v<F>; ++i) field[i] = static_cast<char16_t>(0x4000 + index * 64 + i % 64);
    });
    return r;
}

void expectFieldBytes(const std::vector<std::uint8_t>& bytes, const Row& row, int at, int index) {
    SCOPED_TRACE(row.name);
    switch (row.kind) {
        case Kind::I32:
            EXPECT_EQ(readLe(bytes, at, 4), 0x71000000u | (static_cast<unsigned>(index) << 8) | 0x5Au);
            break;
        case Kind::F64: EXPECT_EQ(std::bit_cast<double>(readLe(bytes, at, 8)), index + 0.25); break;
        case Kind::U8: EXPECT_EQ(bytes[static_cast<std::size_t>(at)], 0x80 + index); break;
        case Kind::Text:
            for (int i = 0; i < row.units; ++i)
                ASSERT_EQ(readLe(bytes, at + 2 * i, 2), static_cast<std::uint64_t>(0x4000 + index * 64 + i % 64)) << "unit " << i;
            break;
    }
}

template <typename Record>
std::vector<std::string> fieldNames() {
    std::vector<std::string> names;
    Record r;
    forEachField(r, [&](const char* name, auto&) { names.emplace_back(name); });
    return names;
}

TEST(ScanSettingsLayout, EveryFieldLandsAtItsOffsetInBothForms) {
    std::map<std::string, int> indexOf;
    const ScanSettings record = distinctRecord(indexOf);
    const std::vector<std::uint8_t> current = serialise(record);
    const std::vector<std::uint8_t> legacy = serialise(toLegacy(record));
    ASSERT_EQ(current.size(), 6480u);
    ASSERT_EQ(legacy.size(), 4912u);

    std::vector<bool> coveredCurrent(current.size()), coveredLegacy(legacy.size());
    for (const Row& row : kLayout) {
        ASSERT_EQ(indexOf.count(row.name), 1u) << row.name;
        expectFieldBytes(current, row, row.offset, indexOf[row.name]);
        for (int i = 0; i < rowSize(row); ++i) coveredCurrent[static_cast<std::size_t>(row.offset + i)] = true;
        if (row.legacyOffset >= 0) {
            expectFieldBytes(legacy, row, row.legacyOffset, indexOf[row.name]);
            for (int i = 0; i < rowSize(row); ++i) coveredLegacy[static_cast<std::size_t>(row.legacyOffset + i)] = true;
        }
    }
    // Padding and gaps stay zero.
    for (std::size_t i = 0; i < current.size(); ++i)
        if (!coveredCurrent[i]) {
            EXPECT_EQ(current[i], 0) << "current form, byte " << i;
        }
    for (std::size_t i = 0; i < legacy.size(); ++i)
        if (!coveredLegacy[i]) {
            EXPECT_EQ(legacy[i], 0) << "earlier form, byte " << i;
        }
}

TEST(ScanSettingsLayout, TheFieldListIsTheTableInOffsetOrder) {
    std::vector<std::string> want, wantLegacy;
    for (const Row& row : kLayout) {
        want.emplace_back(row.name);
        if (row.legacyOffset >= 0) wantLegacy.emplace_back(row.name);
    }
    EXPECT_EQ(fieldNames<ScanSettings>(), want);
    EXPECT_EQ(fieldNames<LegacyScanSettings>(), wantLegacy);
}

TEST(ScanSettingsLayout, TheRecordInMemoryIsTheSerialisedRecord) {
    // The control hands the SDK a pointer to its record, not the serialised
    // bytes; on the little-endian targets both must agree byte for byte.
    if (std::endian::native != std::endian::little) GTEST_SKIP() << "big-endian host";
    std::map<std::string, int> indexOf;
    ScanSettings record;
    record.reset();
    record = distinctRecord(indexOf);
    const auto bytes = serialise(record);
    EXPECT_EQ(std::memcmp(bytes.data(), &record, sizeof record), 0);
    const LegacyScanSettings legacy = toLegacy(record);
    const auto legacyBytes = serialise(legacy);
    EXPECT_EQ(std::memcmp(legacyBytes.data(), &legacy, sizeof legacy), 0);
}

// The SDK reads the earlier form back as the current one: every field the
// earlier form has must come back with its value, the ones it lacks with
// their initial values, and nothing may land in a neighbour.
TEST(ScanSettingsLayout, EarlierFormReadsBackAsTheCurrentOne) {
    std::map<std::string, int> indexOf;
    const ScanSettings record = distinctRecord(indexOf);
    const ScanSettings back = fromLegacy(toLegacy(record));
    ScanSettings initial;
    initial.reset();
    const std::vector<std::uint8_t> got = serialise(back);
    const std::vector<std::uint8_t> sent = serialise(record);
    const std::vector<std::uint8_t> fresh = serialise(initial);
    for (const Row& row : kLayout) {
        const bool dropped = row.legacyOffset < 0;
        const std::vector<std::uint8_t>& want = dropped ? fresh : sent;
        for (int i = 0; i < rowSize(row); ++i) {
            const auto at = static_cast<std::size_t>(row.offset + i);
            ASSERT_EQ(got[at], want[at]) << row.name << (dropped ? " (not in the earlier form)" : "") << " byte " << i;
        }
    }
}

TEST(ScanSettingsReset, EveryFieldTakesItsInitialValueAndPaddingIsZero) {
    ScanSettings record;
    std::memset(static_cast<void*>(&record), 0x5A, sizeof record);
    record.reset();
    for (const auto& [bytes, legacy] : {std::pair{serialise(record), false}, std::pair{serialise(toLegacy(record)), true}}) {
        SCOPED_TRACE(legacy ? "earlier form" : "current form");
        std::vector<bool> covered(bytes.size());
        for (const Row& row : kLayout) {
            const int at = legacy ? row.legacyOffset : row.offset;
            if (at < 0) continue;
            SCOPED_TRACE(row.name);
            for (int i = 0; i < rowSize(row); ++i) covered[static_cast<std::size_t>(at + i)] = true;
            switch (row.kind) {
                case Kind::I32:
                    EXPECT_EQ(static_cast<std::int32_t>(readLe(bytes, at, 4)), static_cast<std::int32_t>(row.initial));
                    break;
                case Kind::F64: EXPECT_EQ(std::bit_cast<double>(readLe(bytes, at, 8)), row.initial); break;
                case Kind::U8: EXPECT_EQ(bytes[static_cast<std::size_t>(at)], 0); break;
                case Kind::Text:
                    for (int i = 0; i < row.units; ++i) EXPECT_EQ(readLe(bytes, at + 2 * i, 2), 0u);
                    break;
            }
        }
        for (std::size_t i = 0; i < bytes.size(); ++i)
            if (!covered[i]) {
            EXPECT_EQ(bytes[i], 0) << "byte " << i;
        }
    }
    // A default-constructed record is a reset one.
    EXPECT_EQ(serialise(ScanSettings{}), serialise(record));
}

}  // namespace
