#include "settings/scan_profile.h"

#include <algorithm>
#include <cmath>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/private_profile.h"
#include "platform/system.h"
#include "platform/text.h"
#include "settings/folders.h"
#include "settings/number_text.h"

namespace {

constexpr char16_t kScanParams[] = u"ScanParams";
constexpr char16_t kOutput[] = u"Output";
constexpr char16_t kWaterMark[] = u"WaterMark";
constexpr char16_t kStroke[] = u"Stroke";
constexpr char16_t kBarcode[] = u"Barcode";
constexpr char16_t kMessage[] = u"Message";

// Numbers stored as text are read into a buffer of 31 units.
constexpr std::uint32_t kNumberTextUnits = 30;
constexpr std::uint32_t kPathTextUnits = 259;

// The single-precision constants the SDK's own profile reader works with.
const double kBwCompressFloor = static_cast<double>(0.4f);

bool isAcceptedScanMode(int mode) {
    constexpr int kModes[] = {0, 1, 2, 3, 8, 9, 24, 25, 27, 28, 29, 32, 33};
    return std::find(std::begin(kModes), std::end(kModes), mode) != std::end(kModes);
}

// Output scales and the resolution change are percentages in 50..200.
int clampPercent(int value) {
    value = std::min(value, 200);
    return value > 50 ? value : 50;
}

// Values below the floor are raised to it and values below 1 keep their
// first decimal; 0 (no compression) and values from 1 up pass unchanged.
double normaliseBwCompress(double v) {
    if (std::fabs(v) > 1e-7) {
        if (v < kBwCompressFloor) v = kBwCompressFloor;
        if (v < 1) v = std::trunc(v * 10) / 10;
    }
    return v;
}

// The text of a fixed array up to its terminator, never past its end (a
// record may come from elsewhere with an array that fills its whole size).
template <std::size_t N>
std::u16string_view textOf(const char16_t (&array)[N]) {
    std::size_t n = 0;
    while (n < N && array[n]) ++n;
    return {array, n};
}

template <std::size_t N>
void setText(char16_t (&array)[N], std::u16string_view value) {
    text::copyBounded(array, N, value);
}

bool nearly(double a, double b) { return std::fabs(a - b) < 1e-6; }

}  // namespace

CScanProfile::CScanProfile(const char16_t* path, DocumentsFolderSource documentsSource)
    : module(platform::currentModule()), documents(documentsSource ? documentsSource : &platform::documentsFolder) {
    load(path);
}

void CScanProfile::load(const char16_t* path) {
    driverPath.clear();
    settings = ProfileSettings{};
    iniFile = CConfigImpl(locateConfigFile(path, module, u"dociva.ini").c_str());
    readKeys();
}

void CScanProfile::readKeys() {
    const std::u16string& file = iniFile.path();
    // Texts are read raw: a backslash + 'n' inside a folder name is no
    // line break.
    auto readText = [&](const char16_t* section, const char16_t* key, const char16_t* def, std::uint32_t units) {
        return file.empty() ? text::cut(def, units) : iniFile.getRawString(section, key, def, units);
    };
    auto integer = [&](const char16_t* section, const char16_t* key, int def) { return iniFile.getInt(section, key, def); };
    auto flag = [&](const char16_t* section, const char16_t* key) { return integer(section, key, 0) != 0; };
    auto intText = [&](const char16_t* section, const char16_t* key, const char16_t* def) {
        return decimalTextToInt(readText(section, key, def, kNumberTextUnits));
    };
    auto realText = [&](const char16_t* section, const char16_t* key, const char16_t* def) {
        return decimalTextToDouble(readText(section, key, def, kNumberTextUnits));
    };
    ProfileSettings& s = settings;

    driverPath = readText(kScanParams, u"DriverPath", u"", kDriverPathUnits);

    s.scanType = integer(kScanParams, u"ScanType", 0);
    s.scanMode = integer(kScanParams, u"ScanMode", 2);
    s.scanDpi = integer(kScanParams, u"ScanDpi", 300);
    s.scanSize = integer(kScanParams, u"ScanSize", 0);
    s.colorDropOut = integer(kScanParams, u"ColorDropOut", 0);
    s.rotate = integer(kScanParams, u"Rotate", 0);
    s.orientation = integer(kScanParams, u"Orientation", 0);
    s.continuousScan = integer(kScanParams, u"ContinuousScan", 0);
    s.multiFeed = integer(kScanParams, u"MultiFeed", 1);
    s.longPaperMode = integer(kScanParams, u"LongPaperMode", 0);
    s.duplexApi = flag(kScanParams, u"Duplex_API");
    s.useDib = flag(kScanParams, u"UseDIB");
    s.testMode = flag(kScanParams, u"Test_Mode");
    s.blankPageDetect = flag(kScanParams, u"BlankPageDetect");
    s.punchHoleErase = flag(kScanParams, u"PunchHoleErase");
    s.splitMerge = integer(kScanParams, u"SplitMerge", 0);
    s.ejectPaperDirection = integer(kScanParams, u"EjectPaperDirection", 0) != 0 ? 1 : 0;
    if (!isAcceptedScanMode(s.scanMode)) s.scanMode = 2;
    if (s.colorDropOut < 0 || s.colorDropOut > 3) s.colorDropOut = 0;

    s.flatbedRangeX = realText(kScanParams, u"FlatbedScanRangeX", u"0");
    s.flatbedRangeY = realText(kScanParams, u"FlatbedScanRangeY", u"0");
    s.flatbedRangeW = realText(kScanParams, u"FlatbedScanRangeW", u"4.9");
    s.flatbedRangeH = realText(kScanParams, u"FlatbedScanRangeH", u"3.45");
    s.adfFrontRangeX = realText(kScanParams, u"ADFFrontScanRangeX", u"0");
    s.adfFrontRangeY = realText(kScanParams, u"ADFFrontScanRangeY", u"0");
    s.adfFrontRangeW = realText(kScanParams, u"ADFFrontScanRangeW", u"4.9");
    s.adfFrontRangeH = realText(kScanParams, u"ADFFrontScanRangeH", u"3.45");
    s.adfRearRangeX = realText(kScanParams, u"ADFRearScanRangeX", u"0");
    s.adfRearRangeY = realText(kScanParams, u"ADFRearScanRangeY", u"0");
    s.adfRearRangeW = realText(kScanParams, u"ADFRearScanRangeW", u"4.9");
    s.adfRearRangeH = realText(kScanParams, u"ADFRearScanRangeH", u"3.45");

    s.gamma = intText(kScanParams, u"Gamma", u"100");
    s.brightness = intText(kScanParams, u"Brightness", u"100");
    s.contrast = intText(kScanParams, u"Contrast", u"100");
    s.bwThreshold = intText(kScanParams, u"bw_Threshold", u"128");
    s.autoSize = intText(kScanParams, u"AutoSize", u"0") != 0;

    setText(s.cropXYWH, readText(kScanParams, u"Crop_XYWH", u"", kPathTextUnits));
    // One unit more than a path may have: a longer value, once cut, would
    // name some other folder, and the folder below is created. Such a value
    // counts as no value.
    std::u16string saveTo = readText(kScanParams, u"SaveToPath", u"", kPathTextUnits + 1);
    if (saveTo.size() > kPathTextUnits) saveTo.clear();
    setText(s.fileName, readText(kScanParams, u"FileName", u"", kPathTextUnits));
    setText(s.apPath, readText(kScanParams, u"APPath", u"", kPathTextUnits));
    // A relative folder is the module folder's, as the profile's own path
    // is, never the host's current one.
    if (!saveTo.empty() && !platform::hasDrive(saveTo)) saveTo = resolveInModuleFolder(saveTo, module);
    if (saveTo.empty()) saveTo = defaultSaveFolder();
    setText(s.saveToPath, saveTo);
    setText(s.apParams, readText(kScanParams, u"APParams", u"%1", kPathTextUnits));
    s.apBlankPageNotify = flag(kScanParams, u"APBlankPageNotify");
    // One level only; a failure shows later, when the SDK saves.
    if (!saveTo.empty() && !platform::isDirectory(saveTo)) platform::createDirectory(saveTo);

    setText(s.outImg, readText(kOutput, u"OUT_IMG", u"0", kProfileFormatUnits - 1));
    setText(s.outImgIr, readText(kOutput, u"OUT_IMG_IR", u"4", kProfileFormatUnits - 1));
    setText(s.outImgUv, readText(kOutput, u"OUT_IMG_UV", u"4", kProfileFormatUnits - 1));
    setText(s.appFormat, readText(kOutput, u"2AppFormat", u"", kProfileFormatUnits - 1));
    s.delImg = flag(kOutput, u"DEL_IMG");
    s.compress = integer(kOutput, u"COMPRESS", 70);
    s.processMode = integer(kOutput, u"ProcessMode", 0);
    s.dialHide = flag(kOutput, u"DIAL_HIDE");
    s.zoomX = integer(kOutput, u"ZOOM_X", 100);
    s.zoomY = integer(kOutput, u"ZOOM_Y", 100);
    s.changeDpi = integer(kOutput, u"CHANGE_DPI", 100);
    s.pageSplit = integer(kOutput, u"PageSplit", 0);
    s.splitFixPages = integer(kOutput, u"SplitFixPages", 0);
    s.flatbedMultiCrop = flag(kOutput, u"FlatbedMultiCrop");
    s.invert = integer(kOutput, u"INVERT", 0);
    s.bwCompress = realText(kOutput, u"BWCOMPRESS", u"1");
    s.openSaveFolder = flag(kOutput, u"OpenSaveFolder");
    s.bwCompress = normaliseBwCompress(s.bwCompress);
    s.zoomX = clampPercent(s.zoomX);
    s.zoomY = clampPercent(s.zoomY);
    s.changeDpi = clampPercent(s.changeDpi);

    s.watermarkType = integer(kWaterMark, u"Type", 0);
    s.watermarkPosition = integer(kWaterMark, u"Position", 4);
    s.watermarkTransparency = integer(kWaterMark, u"Transparency", 120);
    s.watermarkTextSize = integer(kWaterMark, u"TextSize", 100);
    s.watermarkTextAngle = integer(kWaterMark, u"TextAngle", 10);
    setText(s.watermarkImage, readText(kWaterMark, u"Image", u"", kPathTextUnits));
    setText(s.watermarkText, readText(kWaterMark, u"Text", u"WaterMark", kPathTextUnits));

    s.strokeFillSize = integer(kStroke, u"FillSize", 0);
    s.strokeFillPosition = integer(kStroke, u"FillPosition", 0);
    setText(s.strokeFillColor, readText(kStroke, u"FillColor", u"FFFFFF", kProfileColorUnits - 1));
    setText(s.strokeFillGray, readText(kStroke, u"FillGray", u"FF", kProfileColorUnits - 1));
    s.strokeFillBW = integer(kStroke, u"FillBW", 1);

    setText(s.barcodeType, readText(kBarcode, u"CODE_TYP", u"", kProfileBarcodeUnits - 1));
    setText(s.barcodeType2D, readText(kBarcode, u"CODE_TYPE_2D", u"", kProfileBarcodeUnits - 1));
    s.barcodeOutTfn = integer(kBarcode, u"OUT_TFN", 0);
    s.barcodePosition = integer(kBarcode, u"CODE_POSI", 0);
    s.barcodeAutoRotate = integer(kBarcode, u"AutoRotate", 0);
}

void CScanProfile::getIniPath(char16_t* buffer, std::size_t size) const {
    text::copyBounded(buffer, size, text::cut(iniFile.path(), platform::kMaxPathUnits));
}

void CScanProfile::getSaveToPath(char16_t* buffer, std::size_t length) const {
    if (!buffer || length == 0) return;
    text::copyBounded(buffer, std::min(length, kProfilePathUnits), textOf(settings.saveToPath));
}

int CScanProfile::readScanType() const { return iniFile.getInt(kScanParams, u"ScanType", 0); }

std::uint32_t CScanProfile::readMessage(const char16_t* key, const char16_t* defaultText, char16_t* buffer,
                                        std::uint32_t size) const {
    if (!buffer || size == 0) return 0;
    if (iniFile.path().empty()) return static_cast<std::uint32_t>(text::copyBounded(buffer, size, defaultText));
    return platform::getPrivateProfileString(kMessage, key, defaultText, buffer, size, iniFile.path().c_str());
}

std::uint32_t CScanProfile::readWarmingUpMessage(char16_t* buffer, std::uint32_t size) const {
    return readMessage(u"MSG_WarmingUp", u"Warming up. Remains %d seconds.", buffer, size);
}
std::uint32_t CScanProfile::readScanningMessage(char16_t* buffer, std::uint32_t size) const {
    return readMessage(u"MSG_Scanning", u"Scanning......", buffer, size);
}
std::uint32_t CScanProfile::readScanFinishMessage(char16_t* buffer, std::uint32_t size) const {
    return readMessage(u"MSG_ScanFinish", u"Scan Finish. Please Wait, Processing......", buffer, size);
}
std::uint32_t CScanProfile::readProcessFinishMessage(char16_t* buffer, std::uint32_t size) const {
    return readMessage(u"MSG_ProcessFinish", u"Processing Finish", buffer, size);
}

bool CScanProfile::writeString(const char16_t* section, const char16_t* key, const char16_t* value) {
    if (!section || !key || !value) return false;
    return iniFile.setString(section, key, value);
}

bool CScanProfile::writeInt(const char16_t* section, const char16_t* key, int value) {
    if (!section || !key) return false;
    return iniFile.setInt(section, key, value);
}

bool CScanProfile::writeDriverPath(const char16_t* v) { return writeString(kScanParams, u"DriverPath", v); }
bool CScanProfile::writeScanType(int v) { return writeInt(kScanParams, u"ScanType", v); }
bool CScanProfile::writeScanMode(int v) { return writeInt(kScanParams, u"ScanMode", v); }
bool CScanProfile::writeScanDpi(int v) { return writeInt(kScanParams, u"ScanDpi", v); }
bool CScanProfile::writeGamma(int v) { return writeInt(kScanParams, u"Gamma", v); }
bool CScanProfile::writeBrightness(int v) { return writeInt(kScanParams, u"Brightness", v); }
bool CScanProfile::writeContrast(int v) { return writeInt(kScanParams, u"Contrast", v); }
bool CScanProfile::writeColorDropOut(int v) { return writeInt(kScanParams, u"ColorDropOut", v); }
bool CScanProfile::writeBwThreshold(int v) { return writeInt(kScanParams, u"bw_Threshold", v); }
bool CScanProfile::writeAutoSize(int v) { return writeInt(kScanParams, u"AutoSize", v); }
bool CScanProfile::writeRotate(int v) { return writeInt(kScanParams, u"Rotate", v); }
bool CScanProfile::writeOrientation(int v) { return writeInt(kScanParams, u"Orientation", v); }
bool CScanProfile::writeContinuousScan(int v) { return writeInt(kScanParams, u"ContinuousScan", v); }
bool CScanProfile::writeLongPaperMode(int v) { return writeInt(kScanParams, u"LongPaperMode", v); }
bool CScanProfile::writeBlankPageDetect(int v) { return writeInt(kScanParams, u"BlankPageDetect", v); }
bool CScanProfile::writePunchHoleErase(int v) { return writeInt(kScanParams, u"PunchHoleErase", v); }
bool CScanProfile::writeSplitMerge(int v) { return writeInt(kScanParams, u"SplitMerge", v); }
bool CScanProfile::writeEjectPaperDirection(int v) { return writeInt(kScanParams, u"EjectPaperDirection", v); }
bool CScanProfile::writeFileName(const char16_t* v) { return writeString(kScanParams, u"FileName", v); }
bool CScanProfile::writeSaveToPath(const char16_t* v) { return writeString(kScanParams, u"SaveToPath", v); }
bool CScanProfile::writeApPath(const char16_t* v) { return writeString(kScanParams, u"APPath", v); }
bool CScanProfile::writeApParams(const char16_t* v) { return writeString(kScanParams, u"APParams", v); }

bool CScanProfile::writeOutImg(const char16_t* v) { return writeString(kOutput, u"OUT_IMG", v); }
bool CScanProfile::writeAppFormat(const char16_t* v) { return writeString(kOutput, u"2AppFormat", v); }
bool CScanProfile::writeDelImg(int v) { return writeInt(kOutput, u"DEL_IMG", v); }
bool CScanProfile::writeCompress(int v) { return writeInt(kOutput, u"COMPRESS", v); }
bool CScanProfile::writeDialHide(int v) { return writeInt(kOutput, u"DIAL_HIDE", v); }
bool CScanProfile::writeZoomX(int v) { return writeInt(kOutput, u"ZOOM_X", v); }
bool CScanProfile::writeZoomY(int v) { return writeInt(kOutput, u"ZOOM_Y", v); }
bool CScanProfile::writeChangeDpi(int v) { return writeInt(kOutput, u"CHANGE_DPI", v); }
bool CScanProfile::writePageSplit(int v) { return writeInt(kOutput, u"PageSplit", v); }
bool CScanProfile::writeSplitFixPages(int v) { return writeInt(kOutput, u"SplitFixPages", v); }
bool CScanProfile::writeFlatbedMultiCrop(int v) { return writeInt(kOutput, u"FlatbedMultiCrop", v); }
bool CScanProfile::writeInvert(int v) { return writeInt(kOutput, u"INVERT", v); }

bool CScanProfile::writeStrokeFillSize(int v) { return writeInt(kStroke, u"FillSize", v); }
bool CScanProfile::writeStrokeFillPosition(int v) { return writeInt(kStroke, u"FillPosition", v); }

namespace {

bool writeRange(CScanProfile& p, const char16_t* const (&keys)[4], const double (&values)[4]) {
    bool ok = true;
    for (int i = 0; i < 4; ++i) ok = p.writeString(kScanParams, keys[i], text::format(u"%.2f", values[i]).c_str()) && ok;
    return ok;
}

}  // namespace

bool CScanProfile::writeFlatbedRange(double x, double y, double w, double h) {
    static const char16_t* const keys[4] = {u"FlatbedScanRangeX", u"FlatbedScanRangeY", u"FlatbedScanRangeW",
                                            u"FlatbedScanRangeH"};
    return writeRange(*this, keys, {x, y, w, h});
}

bool CScanProfile::writeAdfFrontRange(double x, double y, double w, double h) {
    static const char16_t* const keys[4] = {u"ADFFrontScanRangeX", u"ADFFrontScanRangeY", u"ADFFrontScanRangeW",
                                            u"ADFFrontScanRangeH"};
    return writeRange(*this, keys, {x, y, w, h});
}

bool CScanProfile::writeAdfRearRange(double x, double y, double w, double h) {
    static const char16_t* const keys[4] = {u"ADFRearScanRangeX", u"ADFRearScanRangeY", u"ADFRearScanRangeW",
                                            u"ADFRearScanRangeH"};
    return writeRange(*this, keys, {x, y, w, h});
}

bool CScanProfile::writeBwCompress(double value) {
    if (nearly(value, 1) || nearly(value, 2)) return writeInt(kOutput, u"BWCOMPRESS", nearly(value, 1) ? 1 : 2);
    if (value > 1e-6 && value < 1.000001) return writeString(kOutput, u"BWCOMPRESS", text::format(u"%.1f", value).c_str());
    return writeInt(kOutput, u"BWCOMPRESS", 0);
}

std::u16string CScanProfile::defaultSaveFolder() const {
    // Without a documents folder the name alone would land at the root of
    // the current drive; a cut name would be some other folder.
    const std::u16string base = documents();
    if (base.empty()) return {};
    std::u16string folder = platform::joinPath(base, u"dociva files");
    if (folder.size() > platform::kMaxPathUnits) return {};
    return folder;
}

void CScanProfile::defaultSaveFolder(char16_t* buffer, std::size_t length) const {
    text::copyBounded(buffer, length, defaultSaveFolder());
}

std::u16string outputFormatList(const std::set<std::int32_t>& formats) {
    std::u16string list;
    for (const std::int32_t id : formats) {
        std::u16string next = list.empty() ? text::format(u"%d", id) : text::format(u"%s, %d", list, id);
        // Whole ids only: a cut number would name another format.
        if (next.size() > platform::kMaxPathUnits) break;
        list = std::move(next);
    }
    return list;
}

void applyProfile(const ProfileSettings& p, ScanSettings& r, std::uint8_t& watermarkEnabled) {
    r.scanType = p.scanType;
    r.scanMode = p.scanMode;
    r.scanDpi = p.scanDpi;
    r.gamma = p.gamma;
    r.brightness = p.brightness;
    r.contrast = p.contrast;
    r.colorDropOut = p.colorDropOut;
    r.bwThreshold = p.bwThreshold;
    r.autoSize = p.autoSize ? 1 : 0;
    r.rotate = p.rotate;
    r.orientation = p.orientation;
    r.continuousScan = p.continuousScan;
    r.blankPageDetect = p.blankPageDetect ? 1 : 0;
    r.punchHoleErase = p.punchHoleErase ? 1 : 0;
    r.splitMerge = p.splitMerge;
    r.ejectPaperDirection = p.ejectPaperDirection;
    r.invert = p.invert;
    r.openSaveFolder = p.openSaveFolder ? 1 : 0;
    r.strokeFillSize = p.strokeFillSize;
    r.strokeFillPosition = p.strokeFillPosition;
    r.strokeFillBW = p.strokeFillBW;
    r.delImg = p.delImg ? 1 : 0;
    r.compress = p.compress;
    r.dialHide = p.dialHide ? 1 : 0;
    r.zoomX = p.zoomX;
    r.zoomY = p.zoomY;
    r.changeDpi = p.changeDpi;
    r.pageSplit = p.pageSplit;
    r.flatbedMultiCrop = p.flatbedMultiCrop ? 1 : 0;
    r.watermarkType = p.watermarkType;
    r.watermarkPosition = p.watermarkPosition;
    r.watermarkTransparency = p.watermarkTransparency;
    r.watermarkTextSize = p.watermarkTextSize;

    setText(r.fileName, textOf(p.fileName));
    setText(r.saveToPath, textOf(p.saveToPath));
    setText(r.apPath, textOf(p.apPath));
    setText(r.apParams, textOf(p.apParams));
    setText(r.outImg, textOf(p.outImg));
    setText(r.appFormat, textOf(p.appFormat));
    setText(r.watermarkImage, textOf(p.watermarkImage));
    setText(r.watermarkText, textOf(p.watermarkText));
    setText(r.strokeFillColor, textOf(p.strokeFillColor));
    setText(r.strokeFillGray, textOf(p.strokeFillGray));

    // A feeder scans with the front area; the flatbed with its own.
    if (p.scanType != 0) {
        r.scanAreaX = p.adfFrontRangeX;
        r.scanAreaY = p.adfFrontRangeY;
        r.scanAreaW = p.adfFrontRangeW;
        r.scanAreaH = p.adfFrontRangeH;
    } else {
        r.scanAreaX = p.flatbedRangeX;
        r.scanAreaY = p.flatbedRangeY;
        r.scanAreaW = p.flatbedRangeW;
        r.scanAreaH = p.flatbedRangeH;
    }

    if (p.watermarkTextAngle >= 0 && p.watermarkTextAngle <= 360) r.watermarkTextAngle = p.watermarkTextAngle;

    const double v = p.bwCompress;
    if (nearly(v, 0))
        r.bwCompress = 0;
    else if (nearly(v, 1))
        r.bwCompress = 1;
    else if (nearly(v, 2))
        r.bwCompress = 2;
    else if (v > 0 && v < 1)
        r.bwCompress = v;
    else
        r.bwCompress = 0;

    watermarkEnabled = p.watermarkType != 0 ? 1 : 0;
}

bool writeBack(const ScanSettings& r, const std::set<std::int32_t>& selectedFormats, std::u16string_view scannerDirectory,
               CScanProfile& target) {
    bool ok = true;
    auto step = [&ok](bool written) { ok = written && ok; };
    auto ifSet = [&](std::int32_t value, bool (CScanProfile::*writer)(int)) {
        if (value != -1) step((target.*writer)(value));
    };
    auto ifText = [&](std::u16string_view value, bool (CScanProfile::*writer)(const char16_t*)) {
        if (!value.empty()) step((target.*writer)(std::u16string(value).c_str()));
    };

    ifText(scannerDirectory, &CScanProfile::writeDriverPath);

    ifSet(r.scanType, &CScanProfile::writeScanType);
    ifSet(r.scanMode, &CScanProfile::writeScanMode);
    ifSet(r.scanDpi, &CScanProfile::writeScanDpi);
    ifSet(r.gamma, &CScanProfile::writeGamma);
    ifSet(r.brightness, &CScanProfile::writeBrightness);
    ifSet(r.contrast, &CScanProfile::writeContrast);
    ifSet(r.colorDropOut, &CScanProfile::writeColorDropOut);
    ifSet(r.bwThreshold, &CScanProfile::writeBwThreshold);

    ifSet(r.autoSize, &CScanProfile::writeAutoSize);
    if (r.autoSize == 0) {
        // The area belongs to the source the file names, not the record's.
        const double x = r.scanAreaX, y = r.scanAreaY, w = r.scanAreaW, h = r.scanAreaH;
        switch (target.readScanType()) {
            case 0: step(target.writeFlatbedRange(x, y, w, h)); break;
            case 1:
            case 4: step(target.writeAdfFrontRange(x, y, w, h)); break;
            case 2: step(target.writeAdfRearRange(x, y, w, h)); break;
            case 3:
                step(target.writeAdfFrontRange(x, y, w, h));
                step(target.writeAdfRearRange(x, y, w, h));
                break;
            default: break;
        }
    }

    ifSet(r.rotate, &CScanProfile::writeRotate);
    ifSet(r.orientation, &CScanProfile::writeOrientation);
    ifSet(r.continuousScan, &CScanProfile::writeContinuousScan);
    ifSet(r.blankPageDetect, &CScanProfile::writeBlankPageDetect);
    ifSet(r.punchHoleErase, &CScanProfile::writePunchHoleErase);
    ifSet(r.splitMerge, &CScanProfile::writeSplitMerge);
    ifSet(r.ejectPaperDirection, &CScanProfile::writeEjectPaperDirection);

    if (!selectedFormats.empty()) step(target.writeOutImg(outputFormatList(selectedFormats).c_str()));

    ifSet(r.delImg, &CScanProfile::writeDelImg);
    ifSet(r.compress, &CScanProfile::writeCompress);
    ifSet(r.dialHide, &CScanProfile::writeDialHide);
    ifSet(r.zoomX, &CScanProfile::writeZoomX);
    ifSet(r.zoomY, &CScanProfile::writeZoomY);
    ifSet(r.changeDpi, &CScanProfile::writeChangeDpi);
    ifSet(r.pageSplit, &CScanProfile::writePageSplit);
    ifSet(r.flatbedMultiCrop, &CScanProfile::writeFlatbedMultiCrop);

    if (r.bwCompress != -1.0) step(target.writeBwCompress(r.bwCompress));

    ifSet(r.invert, &CScanProfile::writeInvert);
    ifSet(r.strokeFillSize, &CScanProfile::writeStrokeFillSize);
    ifSet(r.strokeFillPosition, &CScanProfile::writeStrokeFillPosition);

    ifText(textOf(r.fileName), &CScanProfile::writeFileName);
    ifText(textOf(r.saveToPath), &CScanProfile::writeSaveToPath);
    ifText(textOf(r.apPath), &CScanProfile::writeApPath);
    ifText(textOf(r.apParams), &CScanProfile::writeApParams);
    return ok;
}
