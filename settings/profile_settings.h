// ProfileSettings: every value of one profile file, as CScanProfile read
// and normalised it. Some keys are kept only because the scanner SDK reads
// the same file itself when a hardware button starts a scan; this system
// reads them but applies them nowhere. The keys, defaults and
// normalisations are the table's (settings/setting_fields.h).
//
// Thread safety: plain data; the owner decides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>

#include "settings/setting_fields.h"

inline constexpr std::size_t kProfilePathUnits = 260;    // 259 + terminator
inline constexpr std::size_t kProfileFormatUnits = 128;  // output format lists
inline constexpr std::size_t kProfileColorUnits = 32;    // hexadecimal colours
inline constexpr std::size_t kProfileBarcodeUnits = 100;

struct ProfileSettings {
    std::int32_t scanType = 0;
    std::int32_t scanMode = 0;
    std::int32_t scanDpi = 0;
    std::int32_t scanSize = 0;
    std::int32_t colorDropOut = 0;
    char16_t saveToPath[kProfilePathUnits] = {};
    char16_t fileName[kProfilePathUnits] = {};
    char16_t apPath[kProfilePathUnits] = {};
    char16_t apParams[kProfilePathUnits] = {};
    bool apBlankPageNotify = false;
    bool openSaveFolder = false;
    double flatbedRangeX = 0, flatbedRangeY = 0, flatbedRangeW = 0, flatbedRangeH = 0;  // inches
    double adfFrontRangeX = 0, adfFrontRangeY = 0, adfFrontRangeW = 0, adfFrontRangeH = 0;
    double adfRearRangeX = 0, adfRearRangeY = 0, adfRearRangeW = 0, adfRearRangeH = 0;
    char16_t cropXYWH[kProfilePathUnits] = {};
    std::int32_t rotate = 0;
    std::int32_t orientation = 0;
    std::int32_t continuousScan = 0;
    std::int32_t multiFeed = 0;
    std::int32_t longPaperMode = 0;
    std::int32_t gamma = 0;
    std::int32_t brightness = 0;
    std::int32_t contrast = 0;
    std::int32_t bwThreshold = 0;
    bool autoSize = false;
    std::int32_t splitMerge = 0;
    bool duplexApi = false;
    bool useDib = false;
    bool blankPageDetect = false;
    bool punchHoleErase = false;
    std::int32_t pageSplit = 0;
    std::int32_t splitFixPages = 0;
    bool testMode = false;
    bool flatbedMultiCrop = false;
    std::int32_t ejectPaperDirection = 0;
    char16_t outImgIr[kProfileFormatUnits] = {};
    char16_t outImgUv[kProfileFormatUnits] = {};
    char16_t outImg[kProfileFormatUnits] = {};
    char16_t appFormat[kProfileFormatUnits] = {};
    std::int32_t compress = 0;
    bool delImg = false;
    std::int32_t zoomX = 0;
    std::int32_t zoomY = 0;
    std::int32_t changeDpi = 0;
    double bwCompress = 0;
    std::int32_t invert = 0;
    std::int32_t watermarkType = 0;  // 0 none, 1 image, 2 text
    std::int32_t watermarkPosition = 0;
    std::int32_t watermarkTransparency = 0;
    char16_t watermarkImage[kProfilePathUnits] = {};
    char16_t watermarkText[kProfilePathUnits] = {};
    std::int32_t watermarkTextSize = 0;
    std::int32_t watermarkTextAngle = 0;
    std::int32_t strokeFillSize = 0;
    std::int32_t strokeFillPosition = 0;
    char16_t strokeFillColor[kProfileColorUnits] = {};
    char16_t strokeFillGray[kProfileColorUnits] = {};
    std::int32_t strokeFillBW = 0;
    std::int32_t processMode = 0;
    bool dialHide = false;
    char16_t barcodeType[kProfileBarcodeUnits] = {};
    char16_t barcodeType2D[kProfileBarcodeUnits] = {};
    std::int32_t barcodeAutoRotate = 0;
    std::int32_t barcodePosition = 0;
    std::int32_t barcodeOutTfn = 0;
};

// Where ProfileSettings keeps each field, from the table
// (settings/setting_fields.h).
namespace setting_fields {
#define DOCIVA_PROFILE_PLACE(member, record, legacy, profile, ...) DOCIVA_FIELD_PLACE(profile, ProfileSettings, member)
inline constexpr auto kProfilePlaces = rows(std::make_tuple(DOCIVA_SETTING_FIELDS(DOCIVA_PROFILE_PLACE) EndOfRows{}));
#undef DOCIVA_PROFILE_PLACE
}  // namespace setting_fields

// Every member has a row: the rows leave no gap but alignment padding (a
// failure names the offset of the first gap).
static_assert(setting_fields::RowsBreakAtOffset<
              setting_fields::firstBreakInStruct<ProfileSettings, setting_fields::kProfilePlaces>()>::ok);

// Calls visit(name, field) for every field in declaration order. Field
// types: std::int32_t, bool, double and char16_t arrays.
template <typename Settings, typename Visit>
void forEachField(Settings& s, Visit&& visit)
    requires std::is_same_v<std::remove_const_t<Settings>, ProfileSettings>
{
    setting_fields::visitInMemberOrder<setting_fields::kProfilePlaces>(s, visit);
}
