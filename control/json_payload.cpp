#include "control/json_payload.h"

#include <cmath>

#include "platform/text.h"

namespace payload {

std::u16string jsonString(std::u16string_view value) {
    std::u16string out;
    out.reserve(value.size());
    for (char16_t c : value) {
        switch (c) {
        case u'\\': out += u"\\\\"; break;
        case u'"': out += u"\\\""; break;
        case u'\n': out += u"\\n"; break;
        case u'\r': out += u"\\r"; break;
        case u'\t': out += u"\\t"; break;
        default:
            if (c < 0x20) {
                out += text::format(u"\\u%04x", static_cast<unsigned>(c));
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::u16string jsonDouble(double value, std::u16string_view format) {
    return text::format(format, std::isfinite(value) ? value : 0.0);
}

std::u16string fixed(std::u16string text) {
    if (text.size() > kFixedUnits) text.resize(kFixedUnits);
    return text;
}

namespace {

// Joins items with "," into "<head>[items]}" style payloads.
std::u16string joinItems(const std::vector<std::u16string>& items) {
    std::u16string joined;
    for (const auto& item : items) {
        if (!joined.empty()) joined += u',';
        joined += item;
    }
    return joined;
}

}  // namespace

std::u16string sources(const std::vector<DriverEntry>& drivers, std::u16string_view scannerName) {
    if (drivers.empty()) return u"{\"count\":0, \"sources\":[]}";
    std::vector<std::u16string> items;
    items.reserve(drivers.size());
    for (const auto& driver : drivers) {
        const auto name = text::view(driver.productName);
        const bool isDefault = text::equalsIgnoreAsciiCase(name, scannerName);
        items.push_back(text::format(u"{\"product_name\":\"%s\", \"dir\":\"%s\", \"is_default\":%d}", jsonString(name),
                                     jsonString(text::view(driver.systemDirectory)), isDefault ? 1 : 0));
    }
    return text::format(u"{\"count\":%d, \"sources\":[%s]}", static_cast<int>(items.size()), joinItems(items));
}

std::u16string profiles(const std::vector<ProfileItem>& items) {
    if (items.empty()) return u"{\"count\":0, \"profiles\":[\"\"]}";
    std::vector<std::u16string> texts;
    texts.reserve(items.size());
    for (const auto& item : items) {
        texts.push_back(text::format(
            u"{\"name\":\"%s\", \"file_name\":\"%s\", \"path\":\"%s\", \"file_size\":%d, \"is_default\":%d}",
            jsonString(item.title), jsonString(item.fileName), jsonString(item.path), item.size,
            item.isDefault ? 1 : 0));
    }
    return text::format(u"{\"count\":%d, \"profiles\":[%s]}", static_cast<int>(texts.size()), joinItems(texts));
}

std::u16string registration(int code, std::u16string_view message, const SourceCapability* capability) {
    std::u16string caps;
    if (code == 0 && capability) {
        caps = fixed(text::format(
            u"\"caps\":{\"source\":%d, \"is_duplex\":%d, \"is_overscan\":%d, \"multi_page\":%d, \"max_w\":%s, "
            u"\"max_h\":%s}",
            static_cast<std::int32_t>(capability->source), static_cast<int>(capability->isDuplex),
            static_cast<int>(capability->isOverscan), static_cast<int>(capability->multiPage),
            jsonDouble(capability->maxWidth, u"%.02f"), jsonDouble(capability->maxHeight, u"%.02f")));
    }
    return fixed(text::format(u"{\"code\":%d, \"message\":\"%s\"%s%s}", code, jsonString(message),
                              caps.empty() ? u"" : u",", caps));
}

std::u16string registrationWithoutName() {
    return fixed(text::format(u"{\"code\":%d, \"message\":\"Product Name cannot be empty\"}", 3));
}

std::u16string scanEnd(int code) { return fixed(text::format(u"{\"code\":%d}", code)); }

std::u16string scanSizes(const std::vector<ScanSizeItem>& items, int defaultSizeId) {
    std::vector<std::u16string> texts;
    texts.reserve(items.size());
    for (const auto& item : items) {
        texts.push_back(text::format(u"{\"name\":\"%s\", \"id\":%d, \"x\":\"%.02f\", \"y\":\"%.02f\", \"w\":\"%.02f\", "
                                     u"\"h\":\"%.02f\"}",
                                     jsonString(item.name), item.id, item.x, item.y, item.w, item.h));
    }
    return text::format(u"{\"count\":%d, \"default_size_id\":%d, \"sizes\":[%s]}", static_cast<int>(texts.size()),
                        defaultSizeId, joinItems(texts));
}

BwCompressValue bwCompressValue(double v) {
    for (int whole = 0; whole <= 2; ++whole) {
        if (std::fabs(v - whole) < 0.000001) return {text::format(u"%d", whole), static_cast<double>(whole)};
    }
    if (v > 0 && v < 1) return {jsonDouble(v), v};
    return {u"0", 0};
}

std::u16string selectedProfile(const ProfileSettings& p) {
    std::vector<std::u16string> items;
    auto integer = [&](std::u16string_view key, std::int32_t value) {
        items.push_back(text::format(u"\"%s\":%d", key, value));
    };
    auto flag = [&](std::u16string_view key, bool value) { integer(key, value ? 1 : 0); };
    auto string = [&](std::u16string_view key, const char16_t* value) {
        items.push_back(text::format(u"\"%s\":\"%s\"", key, jsonString(text::view(value))));
    };
    auto real = [&](std::u16string_view key, double value) {
        items.push_back(text::format(u"\"%s\":%s", key, jsonDouble(value)));
    };

    integer(u"ScanType", p.scanType);
    integer(u"ScanMode", p.scanMode);
    integer(u"ScanDpi", p.scanDpi);
    flag(u"AutoSize", p.autoSize);
    integer(u"Gamma", p.gamma);
    integer(u"Brightness", p.brightness);
    integer(u"Contrast", p.contrast);
    integer(u"ColorDropOut", p.colorDropOut);
    integer(u"bw_Threshold", p.bwThreshold);
    integer(u"Rotate", p.rotate);
    integer(u"Orientation", p.orientation);
    integer(u"ContinuousScan", p.continuousScan);
    flag(u"BlankPageDetect", p.blankPageDetect);
    flag(u"PunchHoleErase", p.punchHoleErase);
    integer(u"EjectPaperDirection", p.ejectPaperDirection);
    string(u"FileName", p.fileName);
    string(u"SaveToPath", p.saveToPath);
    string(u"APPath", p.apPath);
    string(u"APParams", p.apParams);
    integer(u"SplitMerge", p.splitMerge);
    real(u"FlatbedScanRangeX", p.flatbedRangeX);
    real(u"FlatbedScanRangeY", p.flatbedRangeY);
    real(u"FlatbedScanRangeW", p.flatbedRangeW);
    real(u"FlatbedScanRangeH", p.flatbedRangeH);
    real(u"ADFFrontScanRangeX", p.adfFrontRangeX);
    real(u"ADFFrontScanRangeY", p.adfFrontRangeY);
    real(u"ADFFrontScanRangeW", p.adfFrontRangeW);
    real(u"ADFFrontScanRangeH", p.adfFrontRangeH);
    real(u"ADFRearScanRangeX", p.adfRearRangeX);
    real(u"ADFRearScanRangeY", p.adfRearRangeY);
    real(u"ADFRearScanRangeW", p.adfRearRangeW);
    real(u"ADFRearScanRangeH", p.adfRearRangeH);
    string(u"OUT_IMG", p.outImg);
    string(u"2AppFormat", p.appFormat);
    flag(u"DEL_IMG", p.delImg);
    integer(u"COMPRESS", p.compress);
    flag(u"DIAL_HIDE", p.dialHide);
    integer(u"ZOOM_X", p.zoomX);
    integer(u"ZOOM_Y", p.zoomY);
    integer(u"CHANGE_DPI", p.changeDpi);
    integer(u"PageSplit", p.pageSplit);
    flag(u"FlatbedMultiCrop", p.flatbedMultiCrop);
    items.push_back(text::format(u"\"BWCOMPRESS\":%s", bwCompressValue(p.bwCompress).item));
    integer(u"INVERT", p.invert);
    flag(u"OpenSaveFolder", p.openSaveFolder);
    integer(u"EnableWatermark", p.watermarkType != 0 ? 1 : 0);
    integer(u"StrokeFillSize", p.strokeFillSize);
    integer(u"StrokeFillPosition", p.strokeFillPosition);
    integer(u"StrokeFillBW", p.strokeFillBW);
    string(u"StrokeFillColor", p.strokeFillColor);
    string(u"StrokeFillGray", p.strokeFillGray);

    std::u16string joined;
    for (const auto& item : items) {
        if (!joined.empty()) joined += u',';
        joined += item;
    }
    return u"{" + joined + u"}";
}

std::u16string navigationStatus(const ViewerState& s) {
    const int n = s.screenCount;
    const int c = s.currentScreen;
    const int first = n > 1 && c != 0;
    const int prev = n > 1 && c > 0;
    const int next = n > 1 && c < n - 1;
    return fixed(text::format(u"{\"button_type\":\"navigation\", \"first\":%d, \"prev\":%d, \"next\":%d, \"last\":%d}",
                              first, prev, next, next));
}

std::u16string zoomViewStatus(const ViewerState& s) {
    int normal = 0, full = 0, out = 0, in = 0;
    if (s.viewMode == 1) {
        normal = s.zoomLevel != 2;
        full = s.zoomLevel != 0;
        out = s.zoomLevel != 0;
        in = s.zoomLevel != 2;
    }
    return fixed(text::format(
        u"{\"button_type\":\"zoom_view\", \"normal_view\":%d, \"full_view\":%d, \"zoom_out\":%d, \"zoom_in\":%d}",
        normal, full, out, in));
}

std::u16string undoStatus(const ViewerState& s) {
    return s.undoAvailable ? u"{\"button_type\":\"undo\", \"enable\":1}" : u"{\"button_type\":\"undo\", \"enable\":0}";
}

std::u16string cutStatus(const ViewerState& s) {
    return s.viewMode == 1 && s.zoomLevel == 0 ? u"{\"button_type\":\"cut\", \"enable\":1}"
                                               : u"{\"button_type\":\"cut\", \"enable\":0}";
}

}  // namespace payload
