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

template <std::size_t N>
void copyText(char16_t (&to)[N], const char16_t (&from)[N]) {
    std::memcpy(to, from, sizeof to);
}

}  // namespace

LegacyScanSettings toLegacy(const ScanSettings& r) {
    LegacyScanSettings l;
    l.scanType = r.scanType;
    l.scanMode = r.scanMode;
    l.scanDpi = r.scanDpi;
    l.scanSize = r.scanSize;
    l.gamma = r.gamma;
    l.brightness = r.brightness;
    l.contrast = r.contrast;
    l.colorDropOut = r.colorDropOut;
    l.bwThreshold = r.bwThreshold;
    l.autoSize = r.autoSize;
    l.rotate = r.rotate;
    l.orientation = r.orientation;
    l.continuousScan = r.continuousScan;
    l.reserved1 = r.reserved1;
    l.blankPageDetect = r.blankPageDetect;
    l.punchHoleErase = r.punchHoleErase;
    l.scanAreaX = r.scanAreaX;
    l.scanAreaY = r.scanAreaY;
    l.scanAreaW = r.scanAreaW;
    l.scanAreaH = r.scanAreaH;
    l.scanAreaUnit = r.scanAreaUnit;
    l.splitMerge = r.splitMerge;
    copyText(l.outImg, r.outImg);
    copyText(l.appFormat, r.appFormat);
    l.delImg = r.delImg;
    l.compress = r.compress;
    l.dialHide = r.dialHide;
    l.zoomX = r.zoomX;
    l.zoomY = r.zoomY;
    l.changeDpi = r.changeDpi;
    l.pageSplit = r.pageSplit;
    l.splitFixPages = r.splitFixPages;
    l.reserved6 = r.reserved6;
    l.flatbedMultiCrop = r.flatbedMultiCrop;
    l.bwCompress = r.bwCompress;
    l.invert = r.invert;
    l.reserved7 = r.reserved7;
    l.ejectPaperDirection = r.ejectPaperDirection;
    l.watermarkType = r.watermarkType;
    l.watermarkPosition = r.watermarkPosition;
    l.watermarkTransparency = r.watermarkTransparency;
    copyText(l.watermarkImage, r.watermarkImage);
    copyText(l.watermarkText, r.watermarkText);
    l.watermarkTextSize = r.watermarkTextSize;
    l.watermarkTextAngle = r.watermarkTextAngle;
    l.strokeFillSize = r.strokeFillSize;
    l.strokeFillPosition = r.strokeFillPosition;
    copyText(l.strokeFillColor, r.strokeFillColor);
    copyText(l.strokeFillGray, r.strokeFillGray);
    l.strokeFillBW = r.strokeFillBW;
    copyText(l.fileName, r.fileName);
    copyText(l.saveToPath, r.saveToPath);
    copyText(l.apPath, r.apPath);
    copyText(l.apParams, r.apParams);
    l.reserved8 = r.reserved8;
    l.openSaveFolder = r.openSaveFolder;
    copyText(l.reserved9, r.reserved9);
    l.reserved10 = r.reserved10;
    l.reserved11 = r.reserved11;
    copyText(l.reserved12, r.reserved12);
    l.reserved13 = r.reserved13;
    return l;
}

// Matched by name, so a field added to both forms later needs no edit here.
ScanSettings fromLegacy(const LegacyScanSettings& legacy) {
    ScanSettings current;
    forEachField(legacy, [&current](const char* name, const auto& from) {
        using From = std::remove_cvref_t<decltype(from)>;
        forEachField(current, [&](const char* other, auto& to) {
            if constexpr (std::is_same_v<std::remove_cvref_t<decltype(to)>, From>) {
                if (std::strcmp(name, other) == 0) std::memcpy(&to, &from, sizeof to);
            }
        });
    });
    return current;
}

std::vector<std::uint8_t> serialise(const ScanSettings& record) { return serialiseFields(record); }
std::vector<std::uint8_t> serialise(const LegacyScanSettings& record) { return serialiseFields(record); }
