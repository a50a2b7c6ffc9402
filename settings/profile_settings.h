// ProfileSettings: every value of one profile file, as CScanProfile read
// and normalised it. Some keys are kept only because the scanner SDK reads
// the same file itself when a hardware button starts a scan; this system
// reads them but applies them nowhere.
//
// Thread safety: plain data; the owner decides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

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

// Calls visit(name, field) for every field in declaration order. Field
// types: std::int32_t, bool, double and char16_t arrays.
template <typename Settings, typename Visit>
void forEachField(Settings& s, Visit&& visit)
    requires std::is_same_v<std::remove_const_t<Settings>, ProfileSettings>
{
    visit("scanType", s.scanType);
    visit("scanMode", s.scanMode);
    visit("scanDpi", s.scanDpi);
    visit("scanSize", s.scanSize);
    visit("colorDropOut", s.colorDropOut);
    visit("saveToPath", s.saveToPath);
    visit("fileName", s.fileName);
    visit("apPath", s.apPath);
    visit("apParams", s.apParams);
    visit("apBlankPageNotify", s.apBlankPageNotify);
    visit("openSaveFolder", s.openSaveFolder);
    visit("flatbedRangeX", s.flatbedRangeX);
    visit("flatbedRangeY", s.flatbedRangeY);
    visit("flatbedRangeW", s.flatbedRangeW);
    visit("flatbedRangeH", s.flatbedRangeH);
    visit("adfFrontRangeX", s.adfFrontRangeX);
    visit("adfFrontRangeY", s.adfFrontRangeY);
    visit("adfFrontRangeW", s.adfFrontRangeW);
    visit("adfFrontRangeH", s.adfFrontRangeH);
    visit("adfRearRangeX", s.adfRearRangeX);
    visit("adfRearRangeY", s.adfRearRangeY);
    visit("adfRearRangeW", s.adfRearRangeW);
    visit("adfRearRangeH", s.adfRearRangeH);
    visit("cropXYWH", s.cropXYWH);
    visit("rotate", s.rotate);
    visit("orientation", s.orientation);
    visit("continuousScan", s.continuousScan);
    visit("multiFeed", s.multiFeed);
    visit("longPaperMode", s.longPaperMode);
    visit("gamma", s.gamma);
    visit("brightness", s.brightness);
    visit("contrast", s.contrast);
    visit("bwThreshold", s.bwThreshold);
    visit("autoSize", s.autoSize);
    visit("splitMerge", s.splitMerge);
    visit("duplexApi", s.duplexApi);
    visit("useDib", s.useDib);
    visit("blankPageDetect", s.blankPageDetect);
    visit("punchHoleErase", s.punchHoleErase);
    visit("pageSplit", s.pageSplit);
    visit("splitFixPages", s.splitFixPages);
    visit("testMode", s.testMode);
    visit("flatbedMultiCrop", s.flatbedMultiCrop);
    visit("ejectPaperDirection", s.ejectPaperDirection);
    visit("outImgIr", s.outImgIr);
    visit("outImgUv", s.outImgUv);
    visit("outImg", s.outImg);
    visit("appFormat", s.appFormat);
    visit("compress", s.compress);
    visit("delImg", s.delImg);
    visit("zoomX", s.zoomX);
    visit("zoomY", s.zoomY);
    visit("changeDpi", s.changeDpi);
    visit("bwCompress", s.bwCompress);
    visit("invert", s.invert);
    visit("watermarkType", s.watermarkType);
    visit("watermarkPosition", s.watermarkPosition);
    visit("watermarkTransparency", s.watermarkTransparency);
    visit("watermarkImage", s.watermarkImage);
    visit("watermarkText", s.watermarkText);
    visit("watermarkTextSize", s.watermarkTextSize);
    visit("watermarkTextAngle", s.watermarkTextAngle);
    visit("strokeFillSize", s.strokeFillSize);
    visit("strokeFillPosition", s.strokeFillPosition);
    visit("strokeFillColor", s.strokeFillColor);
    visit("strokeFillGray", s.strokeFillGray);
    visit("strokeFillBW", s.strokeFillBW);
    visit("processMode", s.processMode);
    visit("dialHide", s.dialHide);
    visit("barcodeType", s.barcodeType);
    visit("barcodeType2D", s.barcodeType2D);
    visit("barcodeAutoRotate", s.barcodeAutoRotate);
    visit("barcodePosition", s.barcodePosition);
    visit("barcodeOutTfn", s.barcodeOutTfn);
}
