// ScanSettings: the record of scan, processing and output settings that is
// handed to the scanner SDK by pointer. The SDK is a 32-bit library that
// reads the record byte by byte, so its layout is fixed: every field below
// sits at the offset the SDK expects, and the static_asserts at the end of
// this file hold the compiler to it on every build (x86_64 Linux and i686
// Windows alike). Doubles are aligned to 8 explicitly because some 32-bit
// ABIs would otherwise place them on 4.
//
// -1 (or -1.0) in a field means "not set"; an empty text is not set.
//
// The browser plug-in hands its SDK an earlier, shorter form of the same
// record, LegacyScanSettings; toLegacy() and fromLegacy() convert.
//
// Which fields each form has, and how profiles fill them, is described once
// in settings/setting_fields.h; the code that goes over the fields follows
// from there.
//
// Thread safety: plain data; the owner decides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <vector>

#include "settings/setting_fields.h"

inline constexpr std::size_t kRecordTextUnits = 260;
inline constexpr std::size_t kStrokeColorUnits = 32;
inline constexpr std::size_t kReservedTextUnits = 100;

struct ScanSettings {
    std::int32_t scanType = -1;  // 0 flatbed; 1..4 document feeder
    std::int32_t scanMode = -1;
    std::int32_t scanDpi = 0;
    std::int32_t scanSize = -1;  // paper size id; 22 = custom area
    std::int32_t gamma = -1;
    std::int32_t brightness = -1;
    std::int32_t contrast = -1;
    std::int32_t colorDropOut = -1;
    std::int32_t bwThreshold = -1;
    std::int32_t autoSize = -1;
    std::int32_t rotate = -1;
    std::int32_t orientation = -1;
    std::int32_t continuousScan = -1;
    std::int32_t reserved1 = -1;
    std::int32_t reserved2 = -1;
    std::int32_t blankPageDetect = -1;
    std::int32_t punchHoleErase = -1;
    std::uint8_t padding68[4] = {};
    alignas(8) double scanAreaX = 0.0;  // inches
    alignas(8) double scanAreaY = 0.0;
    alignas(8) double scanAreaW = 0.0;
    alignas(8) double scanAreaH = 0.0;
    std::int32_t scanAreaUnit = 0;  // 1 centimetres, else inches
    std::int32_t splitMerge = -1;
    char16_t reserved3[kRecordTextUnits] = {};
    char16_t reserved4[kRecordTextUnits] = {};
    char16_t reserved5[kRecordTextUnits] = {};
    char16_t outImg[kRecordTextUnits] = {};  // format ids joined by ", "
    char16_t appFormat[kRecordTextUnits] = {};
    std::int32_t delImg = -1;
    std::int32_t compress = -1;  // JPEG quality
    std::int32_t dialHide = -1;
    std::int32_t zoomX = -1;  // percent
    std::int32_t zoomY = -1;
    std::int32_t changeDpi = -1;
    std::int32_t pageSplit = -1;
    std::int32_t splitFixPages = -1;
    std::uint8_t reserved6 = 0;
    std::uint8_t padding2745[3] = {};
    std::int32_t flatbedMultiCrop = -1;
    alignas(8) double bwCompress = -1.0;
    std::int32_t invert = -1;
    std::int32_t reserved7 = -1;
    std::int32_t ejectPaperDirection = -1;
    std::int32_t watermarkType = -1;      // 0 none, 1 image, 2 text
    std::int32_t watermarkPosition = -1;  // 0..8, left top to right bottom
    std::int32_t watermarkTransparency = -1;
    char16_t watermarkImage[kRecordTextUnits] = {};
    char16_t watermarkText[kRecordTextUnits] = {};
    std::int32_t watermarkTextSize = -1;   // points
    std::int32_t watermarkTextAngle = -1;  // degrees
    std::int32_t strokeFillSize = -1;
    std::int32_t strokeFillPosition = -1;
    char16_t strokeFillColor[kStrokeColorUnits] = {};
    char16_t strokeFillGray[kStrokeColorUnits] = {};
    std::int32_t strokeFillBW = -1;
    char16_t fileName[kRecordTextUnits] = {};  // file-name pattern
    char16_t saveToPath[kRecordTextUnits] = {};
    std::uint8_t gap5012[4] = {};
    char16_t apPath[kRecordTextUnits] = {};
    char16_t apParams[kRecordTextUnits] = {};
    std::int32_t reserved8 = -1;
    std::int32_t openSaveFolder = -1;
    char16_t reserved9[kReservedTextUnits] = {};
    std::int32_t reserved10 = -1;
    std::int32_t reserved11 = -1;
    char16_t reserved12[kReservedTextUnits] = {};
    std::int32_t reserved13 = -1;
    std::uint8_t padding6476[4] = {};

    // Every field back to its initial value (padding zeroed).
    void reset() { *this = ScanSettings{}; }
};

// The form the plug-in's SDK reads: one reserved integer where the current
// form has reserved1 and reserved2, no padding before the scan area, and
// no reserved3..reserved5.
struct LegacyScanSettings {
    std::int32_t scanType = -1;
    std::int32_t scanMode = -1;
    std::int32_t scanDpi = 0;
    std::int32_t scanSize = -1;
    std::int32_t gamma = -1;
    std::int32_t brightness = -1;
    std::int32_t contrast = -1;
    std::int32_t colorDropOut = -1;
    std::int32_t bwThreshold = -1;
    std::int32_t autoSize = -1;
    std::int32_t rotate = -1;
    std::int32_t orientation = -1;
    std::int32_t continuousScan = -1;
    std::int32_t reserved1 = -1;
    std::int32_t blankPageDetect = -1;
    std::int32_t punchHoleErase = -1;
    alignas(8) double scanAreaX = 0.0;
    alignas(8) double scanAreaY = 0.0;
    alignas(8) double scanAreaW = 0.0;
    alignas(8) double scanAreaH = 0.0;
    std::int32_t scanAreaUnit = 0;
    std::int32_t splitMerge = -1;
    char16_t outImg[kRecordTextUnits] = {};
    char16_t appFormat[kRecordTextUnits] = {};
    std::int32_t delImg = -1;
    std::int32_t compress = -1;
    std::int32_t dialHide = -1;
    std::int32_t zoomX = -1;
    std::int32_t zoomY = -1;
    std::int32_t changeDpi = -1;
    std::int32_t pageSplit = -1;
    std::int32_t splitFixPages = -1;
    std::uint8_t reserved6 = 0;
    std::uint8_t padding1177[3] = {};
    std::int32_t flatbedMultiCrop = -1;
    alignas(8) double bwCompress = -1.0;
    std::int32_t invert = -1;
    std::int32_t reserved7 = -1;
    std::int32_t ejectPaperDirection = -1;
    std::int32_t watermarkType = -1;
    std::int32_t watermarkPosition = -1;
    std::int32_t watermarkTransparency = -1;
    char16_t watermarkImage[kRecordTextUnits] = {};
    char16_t watermarkText[kRecordTextUnits] = {};
    std::int32_t watermarkTextSize = -1;
    std::int32_t watermarkTextAngle = -1;
    std::int32_t strokeFillSize = -1;
    std::int32_t strokeFillPosition = -1;
    char16_t strokeFillColor[kStrokeColorUnits] = {};
    char16_t strokeFillGray[kStrokeColorUnits] = {};
    std::int32_t strokeFillBW = -1;
    char16_t fileName[kRecordTextUnits] = {};
    char16_t saveToPath[kRecordTextUnits] = {};
    std::uint8_t gap3444[4] = {};
    char16_t apPath[kRecordTextUnits] = {};
    char16_t apParams[kRecordTextUnits] = {};
    std::int32_t reserved8 = -1;
    std::int32_t openSaveFolder = -1;
    char16_t reserved9[kReservedTextUnits] = {};
    std::int32_t reserved10 = -1;
    std::int32_t reserved11 = -1;
    char16_t reserved12[kReservedTextUnits] = {};
    std::int32_t reserved13 = -1;
    std::uint8_t padding4908[4] = {};
};

// The current record in the earlier form. reserved2..reserved5 have no
// place there and are dropped; every other field is copied.
LegacyScanSettings toLegacy(const ScanSettings& record);
// The earlier form read as the current one: the fields the current form
// added (reserved2..reserved5) take their initial values.
ScanSettings fromLegacy(const LegacyScanSettings& record);

// The bytes the SDK reads, little-endian, padding zeroed: 6480 bytes for
// the current form, 4912 for the earlier one.
std::vector<std::uint8_t> serialise(const ScanSettings& record);
std::vector<std::uint8_t> serialise(const LegacyScanSettings& record);

// Where each form keeps each field, from the table (settings/setting_fields.h).
namespace setting_fields {
#define DOCIVA_CURRENT_PLACE(member, record, legacy, ...) DOCIVA_FIELD_PLACE(record, ScanSettings, member)
#define DOCIVA_LEGACY_PLACE(member, record, legacy, ...) DOCIVA_FIELD_PLACE(legacy, LegacyScanSettings, member)
inline constexpr auto kCurrentPlaces = rows(std::make_tuple(DOCIVA_SETTING_FIELDS(DOCIVA_CURRENT_PLACE) EndOfRows{}));
inline constexpr auto kLegacyPlaces = rows(std::make_tuple(DOCIVA_SETTING_FIELDS(DOCIVA_LEGACY_PLACE) EndOfRows{}));
#undef DOCIVA_CURRENT_PLACE
#undef DOCIVA_LEGACY_PLACE
}  // namespace setting_fields

// Calls visit(name, field) for every field of either form in offset order,
// padding left out. Field types: std::int32_t, double, std::uint8_t and
// char16_t arrays. Record may be const.
template <typename Record, typename Visit>
void forEachField(Record& r, Visit&& visit)
    requires(std::is_same_v<std::remove_const_t<Record>, ScanSettings> ||
             std::is_same_v<std::remove_const_t<Record>, LegacyScanSettings>)
{
    if constexpr (std::is_same_v<std::remove_const_t<Record>, ScanSettings>)
        setting_fields::visitInMemberOrder<setting_fields::kCurrentPlaces>(r, visit);
    else
        setting_fields::visitInMemberOrder<setting_fields::kLegacyPlaces>(r, visit);
}

// --- The layout the SDK reads -------------------------------------------

static_assert(std::is_standard_layout_v<ScanSettings> && std::is_trivially_copyable_v<ScanSettings>);
static_assert(sizeof(ScanSettings) == 6480 && alignof(ScanSettings) == 8);
// The table's rows (padding included) cover every byte once; a failure
// names the offset of the first hole or overlap.
static_assert(setting_fields::RowsBreakAtOffset<
              setting_fields::firstBreakInRecord<ScanSettings, setting_fields::kCurrentPlaces>()>::ok);
static_assert(offsetof(ScanSettings, scanType) == 0);
static_assert(offsetof(ScanSettings, scanMode) == 4);
static_assert(offsetof(ScanSettings, scanDpi) == 8);
static_assert(offsetof(ScanSettings, scanSize) == 12);
static_assert(offsetof(ScanSettings, gamma) == 16);
static_assert(offsetof(ScanSettings, brightness) == 20);
static_assert(offsetof(ScanSettings, contrast) == 24);
static_assert(offsetof(ScanSettings, colorDropOut) == 28);
static_assert(offsetof(ScanSettings, bwThreshold) == 32);
static_assert(offsetof(ScanSettings, autoSize) == 36);
static_assert(offsetof(ScanSettings, rotate) == 40);
static_assert(offsetof(ScanSettings, orientation) == 44);
static_assert(offsetof(ScanSettings, continuousScan) == 48);
static_assert(offsetof(ScanSettings, reserved1) == 52);
static_assert(offsetof(ScanSettings, reserved2) == 56);
static_assert(offsetof(ScanSettings, blankPageDetect) == 60);
static_assert(offsetof(ScanSettings, punchHoleErase) == 64);
static_assert(offsetof(ScanSettings, padding68) == 68);
static_assert(offsetof(ScanSettings, scanAreaX) == 72);
static_assert(offsetof(ScanSettings, scanAreaY) == 80);
static_assert(offsetof(ScanSettings, scanAreaW) == 88);
static_assert(offsetof(ScanSettings, scanAreaH) == 96);
static_assert(offsetof(ScanSettings, scanAreaUnit) == 104);
static_assert(offsetof(ScanSettings, splitMerge) == 108);
static_assert(offsetof(ScanSettings, reserved3) == 112);
static_assert(offsetof(ScanSettings, reserved4) == 632);
static_assert(offsetof(ScanSettings, reserved5) == 1152);
static_assert(offsetof(ScanSettings, outImg) == 1672);
static_assert(offsetof(ScanSettings, appFormat) == 2192);
static_assert(offsetof(ScanSettings, delImg) == 2712);
static_assert(offsetof(ScanSettings, compress) == 2716);
static_assert(offsetof(ScanSettings, dialHide) == 2720);
static_assert(offsetof(ScanSettings, zoomX) == 2724);
static_assert(offsetof(ScanSettings, zoomY) == 2728);
static_assert(offsetof(ScanSettings, changeDpi) == 2732);
static_assert(offsetof(ScanSettings, pageSplit) == 2736);
static_assert(offsetof(ScanSettings, splitFixPages) == 2740);
static_assert(offsetof(ScanSettings, reserved6) == 2744);
static_assert(offsetof(ScanSettings, flatbedMultiCrop) == 2748);
static_assert(offsetof(ScanSettings, bwCompress) == 2752);
static_assert(offsetof(ScanSettings, invert) == 2760);
static_assert(offsetof(ScanSettings, reserved7) == 2764);
static_assert(offsetof(ScanSettings, ejectPaperDirection) == 2768);
static_assert(offsetof(ScanSettings, watermarkType) == 2772);
static_assert(offsetof(ScanSettings, watermarkPosition) == 2776);
static_assert(offsetof(ScanSettings, watermarkTransparency) == 2780);
static_assert(offsetof(ScanSettings, watermarkImage) == 2784);
static_assert(offsetof(ScanSettings, watermarkText) == 3304);
static_assert(offsetof(ScanSettings, watermarkTextSize) == 3824);
static_assert(offsetof(ScanSettings, watermarkTextAngle) == 3828);
static_assert(offsetof(ScanSettings, strokeFillSize) == 3832);
static_assert(offsetof(ScanSettings, strokeFillPosition) == 3836);
static_assert(offsetof(ScanSettings, strokeFillColor) == 3840);
static_assert(offsetof(ScanSettings, strokeFillGray) == 3904);
static_assert(offsetof(ScanSettings, strokeFillBW) == 3968);
static_assert(offsetof(ScanSettings, fileName) == 3972);
static_assert(offsetof(ScanSettings, saveToPath) == 4492);
static_assert(offsetof(ScanSettings, gap5012) == 5012);
static_assert(offsetof(ScanSettings, apPath) == 5016);
static_assert(offsetof(ScanSettings, apParams) == 5536);
static_assert(offsetof(ScanSettings, reserved8) == 6056);
static_assert(offsetof(ScanSettings, openSaveFolder) == 6060);
static_assert(offsetof(ScanSettings, reserved9) == 6064);
static_assert(offsetof(ScanSettings, reserved10) == 6264);
static_assert(offsetof(ScanSettings, reserved11) == 6268);
static_assert(offsetof(ScanSettings, reserved12) == 6272);
static_assert(offsetof(ScanSettings, reserved13) == 6472);
static_assert(offsetof(ScanSettings, padding6476) == 6476);

static_assert(std::is_standard_layout_v<LegacyScanSettings> && std::is_trivially_copyable_v<LegacyScanSettings>);
static_assert(sizeof(LegacyScanSettings) == 4912 && alignof(LegacyScanSettings) == 8);
static_assert(setting_fields::RowsBreakAtOffset<
              setting_fields::firstBreakInRecord<LegacyScanSettings, setting_fields::kLegacyPlaces>()>::ok);
// Fields before the scan area keep their places (blankPageDetect and
// punchHoleErase move up by one reserved integer), the scan area moves 8
// bytes earlier, everything from outImg on 1568 bytes earlier.
static_assert(offsetof(LegacyScanSettings, scanType) == offsetof(ScanSettings, scanType));
static_assert(offsetof(LegacyScanSettings, scanMode) == offsetof(ScanSettings, scanMode));
static_assert(offsetof(LegacyScanSettings, scanDpi) == offsetof(ScanSettings, scanDpi));
static_assert(offsetof(LegacyScanSettings, scanSize) == offsetof(ScanSettings, scanSize));
static_assert(offsetof(LegacyScanSettings, gamma) == offsetof(ScanSettings, gamma));
static_assert(offsetof(LegacyScanSettings, brightness) == offsetof(ScanSettings, brightness));
static_assert(offsetof(LegacyScanSettings, contrast) == offsetof(ScanSettings, contrast));
static_assert(offsetof(LegacyScanSettings, colorDropOut) == offsetof(ScanSettings, colorDropOut));
static_assert(offsetof(LegacyScanSettings, bwThreshold) == offsetof(ScanSettings, bwThreshold));
static_assert(offsetof(LegacyScanSettings, autoSize) == offsetof(ScanSettings, autoSize));
static_assert(offsetof(LegacyScanSettings, rotate) == offsetof(ScanSettings, rotate));
static_assert(offsetof(LegacyScanSettings, orientation) == offsetof(ScanSettings, orientation));
static_assert(offsetof(LegacyScanSettings, continuousScan) == offsetof(ScanSettings, continuousScan));
static_assert(offsetof(LegacyScanSettings, reserved1) == 52);
static_assert(offsetof(LegacyScanSettings, blankPageDetect) == offsetof(ScanSettings, blankPageDetect) - 4);
static_assert(offsetof(LegacyScanSettings, punchHoleErase) == offsetof(ScanSettings, punchHoleErase) - 4);
static_assert(offsetof(LegacyScanSettings, scanAreaX) == offsetof(ScanSettings, scanAreaX) - 8);
static_assert(offsetof(LegacyScanSettings, scanAreaY) == offsetof(ScanSettings, scanAreaY) - 8);
static_assert(offsetof(LegacyScanSettings, scanAreaW) == offsetof(ScanSettings, scanAreaW) - 8);
static_assert(offsetof(LegacyScanSettings, scanAreaH) == offsetof(ScanSettings, scanAreaH) - 8);
static_assert(offsetof(LegacyScanSettings, scanAreaUnit) == offsetof(ScanSettings, scanAreaUnit) - 8);
static_assert(offsetof(LegacyScanSettings, splitMerge) == offsetof(ScanSettings, splitMerge) - 8);
static_assert(offsetof(LegacyScanSettings, outImg) == offsetof(ScanSettings, outImg) - 1568);
static_assert(offsetof(LegacyScanSettings, appFormat) == offsetof(ScanSettings, appFormat) - 1568);
static_assert(offsetof(LegacyScanSettings, delImg) == offsetof(ScanSettings, delImg) - 1568);
static_assert(offsetof(LegacyScanSettings, compress) == offsetof(ScanSettings, compress) - 1568);
static_assert(offsetof(LegacyScanSettings, dialHide) == offsetof(ScanSettings, dialHide) - 1568);
static_assert(offsetof(LegacyScanSettings, zoomX) == offsetof(ScanSettings, zoomX) - 1568);
static_assert(offsetof(LegacyScanSettings, zoomY) == offsetof(ScanSettings, zoomY) - 1568);
static_assert(offsetof(LegacyScanSettings, changeDpi) == offsetof(ScanSettings, changeDpi) - 1568);
static_assert(offsetof(LegacyScanSettings, pageSplit) == offsetof(ScanSettings, pageSplit) - 1568);
static_assert(offsetof(LegacyScanSettings, splitFixPages) == offsetof(ScanSettings, splitFixPages) - 1568);
static_assert(offsetof(LegacyScanSettings, reserved6) == offsetof(ScanSettings, reserved6) - 1568);
static_assert(offsetof(LegacyScanSettings, flatbedMultiCrop) == offsetof(ScanSettings, flatbedMultiCrop) - 1568);
static_assert(offsetof(LegacyScanSettings, bwCompress) == offsetof(ScanSettings, bwCompress) - 1568);
static_assert(offsetof(LegacyScanSettings, invert) == offsetof(ScanSettings, invert) - 1568);
static_assert(offsetof(LegacyScanSettings, reserved7) == offsetof(ScanSettings, reserved7) - 1568);
static_assert(offsetof(LegacyScanSettings, ejectPaperDirection) == offsetof(ScanSettings, ejectPaperDirection) - 1568);
static_assert(offsetof(LegacyScanSettings, watermarkType) == offsetof(ScanSettings, watermarkType) - 1568);
static_assert(offsetof(LegacyScanSettings, watermarkPosition) == offsetof(ScanSettings, watermarkPosition) - 1568);
static_assert(offsetof(LegacyScanSettings, watermarkTransparency) == offsetof(ScanSettings, watermarkTransparency) - 1568);
static_assert(offsetof(LegacyScanSettings, watermarkImage) == offsetof(ScanSettings, watermarkImage) - 1568);
static_assert(offsetof(LegacyScanSettings, watermarkText) == offsetof(ScanSettings, watermarkText) - 1568);
static_assert(offsetof(LegacyScanSettings, watermarkTextSize) == offsetof(ScanSettings, watermarkTextSize) - 1568);
static_assert(offsetof(LegacyScanSettings, watermarkTextAngle) == offsetof(ScanSettings, watermarkTextAngle) - 1568);
static_assert(offsetof(LegacyScanSettings, strokeFillSize) == offsetof(ScanSettings, strokeFillSize) - 1568);
static_assert(offsetof(LegacyScanSettings, strokeFillPosition) == offsetof(ScanSettings, strokeFillPosition) - 1568);
static_assert(offsetof(LegacyScanSettings, strokeFillColor) == offsetof(ScanSettings, strokeFillColor) - 1568);
static_assert(offsetof(LegacyScanSettings, strokeFillGray) == offsetof(ScanSettings, strokeFillGray) - 1568);
static_assert(offsetof(LegacyScanSettings, strokeFillBW) == offsetof(ScanSettings, strokeFillBW) - 1568);
static_assert(offsetof(LegacyScanSettings, fileName) == offsetof(ScanSettings, fileName) - 1568);
static_assert(offsetof(LegacyScanSettings, saveToPath) == offsetof(ScanSettings, saveToPath) - 1568);
static_assert(offsetof(LegacyScanSettings, apPath) == offsetof(ScanSettings, apPath) - 1568);
static_assert(offsetof(LegacyScanSettings, apParams) == offsetof(ScanSettings, apParams) - 1568);
static_assert(offsetof(LegacyScanSettings, reserved8) == offsetof(ScanSettings, reserved8) - 1568);
static_assert(offsetof(LegacyScanSettings, openSaveFolder) == offsetof(ScanSettings, openSaveFolder) - 1568);
static_assert(offsetof(LegacyScanSettings, reserved9) == offsetof(ScanSettings, reserved9) - 1568);
static_assert(offsetof(LegacyScanSettings, reserved10) == offsetof(ScanSettings, reserved10) - 1568);
static_assert(offsetof(LegacyScanSettings, reserved11) == offsetof(ScanSettings, reserved11) - 1568);
static_assert(offsetof(LegacyScanSettings, reserved12) == offsetof(ScanSettings, reserved12) - 1568);
static_assert(offsetof(LegacyScanSettings, reserved13) == offsetof(ScanSettings, reserved13) - 1568);
static_assert(offsetof(LegacyScanSettings, gap3444) == offsetof(ScanSettings, gap5012) - 1568);
static_assert(offsetof(LegacyScanSettings, padding4908) == offsetof(ScanSettings, padding6476) - 1568);
static_assert(offsetof(LegacyScanSettings, outImg) == 104 && offsetof(LegacyScanSettings, watermarkType) == 1204 &&
              offsetof(LegacyScanSettings, fileName) == 2404);
