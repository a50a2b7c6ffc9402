#include "scan_options.h"

#include <algorithm>

#include "platform/path.h"
#include "platform/system.h"
#include "platform/text.h"

namespace dociva_sdk {

namespace {

bool isWrittenFormat(int code) {
    switch (code) {
        case DOCIVA_FORMAT_BMP:
        case DOCIVA_FORMAT_JPEG:
        case DOCIVA_FORMAT_PDF:
        case DOCIVA_FORMAT_TIFF:
        case DOCIVA_FORMAT_PNG:
        case DOCIVA_FORMAT_TIFF_G4:
        case DOCIVA_FORMAT_GIF:
        case DOCIVA_FORMAT_MULTI_TIFF:
        case DOCIVA_FORMAT_MULTI_PDF:
            return true;
        default:
            return false;
    }
}

// The profile reader's rule for ZOOM_X, ZOOM_Y and CHANGE_DPI, applied to a
// record that did not come through it; not set means 100 %.
int percent(std::int32_t value) {
    if (value == -1) return 100;
    return std::clamp<std::int32_t>(value, 50, 200);
}

}  // namespace

std::vector<int> parseFormatList(std::u16string_view text) {
    std::vector<int> out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] < u'0' || text[i] > u'9') {
            ++i;
            continue;
        }
        int value = 0;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
            if (value < 1000) value = value * 10 + (text[i] - u'0');
            ++i;
        }
        if (isWrittenFormat(value) && std::find(out.begin(), out.end(), value) == out.end()) out.push_back(value);
    }
    if (out.empty() && text.find_first_not_of(u" ,") == std::u16string_view::npos) out.push_back(DOCIVA_FORMAT_BMP);
    return out;
}

ColourMode colourModeOf(int scanMode) {
    switch (scanMode) {
        case 0:
            return ColourMode::BlackWhite;
        case 1:
        case 8:
        case 9:
            return ColourMode::Grey;
        default:
            return ColourMode::Colour;
    }
}

int rotationOf(int rotate) {
    switch (rotate) {
        case -1:
        case 0:
            return 0;
        case 1:
        case 90:
            return 90;
        case 2:
        case 180:
            return 180;
        case 3:
        case 270:
            return 270;
        default:
            return -1;
    }
}

OptionsResult readScanOptions(const ScanSettings& s, const DeviceDescription& device, ScanOptions& out) {
    out = ScanOptions{};
    // Not set: the device's own kind decides, as the control does it.
    const int scanType = s.scanType == -1 ? (device.sheetFed ? 1 : 0) : s.scanType;
    if (scanType == 0) {
        if (!device.hasFlatbed) return OptionsResult::CapabilityMismatch;
        out.flatbed = true;
    } else if (scanType >= 1 && scanType <= 4) {
        if (!device.hasFeeder) return OptionsResult::CapabilityMismatch;
        out.sides = scanType == 2 ? Sides::Rear : scanType == 3 ? Sides::Both : Sides::Front;
        if (out.sides != Sides::Front && !device.duplex) return OptionsResult::CapabilityMismatch;
    } else {
        return OptionsResult::CapabilityMismatch;
    }

    out.dpi = s.scanDpi <= 0 ? kDefaultDpi : s.scanDpi;
    if (out.dpi < kMinDpi || out.dpi > kMaxDpi) return OptionsResult::CapabilityMismatch;

    out.colour = colourModeOf(s.scanMode);
    out.threshold = s.bwThreshold < 0 ? kDefaultThreshold : std::min<std::int32_t>(s.bwThreshold, 255);
    out.rotateClockwise = std::max(0, rotationOf(s.rotate));
    out.dropBlankPages = s.blankPageDetect > 0;
    out.invert = s.invert > 0;
    out.zoomX = percent(s.zoomX);
    out.zoomY = percent(s.zoomY);
    out.changeDpi = percent(s.changeDpi);
    out.jpegQuality = s.compress < 1 ? kDefaultJpegQuality : std::min<std::int32_t>(s.compress, 100);
    out.tone = Tone{toneGamma(s.gamma), toneBrightness(s.brightness), toneContrast(s.contrast)};
    out.dropOut = dropOutOf(s.colorDropOut);
    out.autoSize = s.autoSize > 0;
    out.autoOrient = s.orientation > 0;
    out.erasePunchHoles = s.punchHoleErase > 0;

    const double maxHeight = std::max(device.maxHeight, device.maxLength);
    if (s.scanAreaW > 0.0) out.areaWidth = std::min(s.scanAreaW, device.maxWidth);
    if (s.scanAreaH > 0.0) out.areaHeight = std::min(s.scanAreaH, maxHeight);
    // The fields are inches whatever scanAreaUnit says: the control turns
    // a page's centimetres into inches and keeps the unit only as the
    // page's choice.
    auto asked = [](double value) { return value > 0.0 ? value : 0.0; };
    out.askedLeft = asked(s.scanAreaX);
    out.askedTop = asked(s.scanAreaY);
    out.askedWidth = asked(s.scanAreaW);
    out.askedHeight = asked(s.scanAreaH);

    out.formats = parseFormatList(text::view(s.outImg));
    out.fileNamePattern = text::view(s.fileName);
    out.barcode.wanted = out.fileNamePattern.find(kBarcodeToken) != std::u16string::npos;
    out.outputFolder = text::view(s.saveToPath);
    if (out.outputFolder.empty()) {
        // The profile reader's default output folder.
        const std::u16string documents = platform::documentsFolder();
        if (!documents.empty()) out.outputFolder = platform::joinPath(documents, u"dociva files");
    }
    return OptionsResult::Ok;
}

}  // namespace dociva_sdk
