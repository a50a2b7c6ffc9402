#include "control/dispatch.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "control/docivaocx_ctrl.h"
#include "platform/text.h"

namespace dispatch {

namespace {

using C = CDocivaOCXCtrl;

// ---- the calls, by the shape of their signature ----

template <void (C::*M)()>
Result call0(C& c, const Argument*) {
    (c.*M)();
    return {};
}
template <void (C::*M)(std::int16_t)>
Result callI2(C& c, const Argument* a) {
    (c.*M)(a[0].i2);
    return {};
}
template <void (C::*M)(const char16_t*)>
Result callText(C& c, const Argument* a) {
    (c.*M)(a[0].str());
    return {};
}
template <std::int16_t (C::*M)()>
Result resultI2(C& c, const Argument*) {
    Result r;
    r.type = DOCIVA_I2;
    r.i2 = (c.*M)();
    return r;
}
Result textResult(std::u16string text) {
    Result r;
    r.type = DOCIVA_STRING;
    r.text = std::move(text);
    return r;
}
template <std::u16string (C::*M)()>
Result resultText(C& c, const Argument*) {
    return textResult((c.*M)());
}
template <std::int32_t Format>
Result callFormat(C& c, const Argument* a) {
    c.SetOutputFormat(Format, a[0].i2);
    return {};
}

// ---- parameter lists ----

constexpr std::uint16_t kNone[] = {0};
constexpr std::uint16_t kI2[] = {DOCIVA_I2};
constexpr std::uint16_t kText[] = {DOCIVA_STRING};
constexpr std::uint16_t kObject[] = {DOCIVA_DISPATCH};
constexpr std::uint16_t kArea[] = {DOCIVA_R8, DOCIVA_R8, DOCIVA_R8, DOCIVA_R8, DOCIVA_I2};
constexpr std::uint16_t kTwoTexts[] = {DOCIVA_STRING, DOCIVA_STRING};
constexpr std::uint16_t kButton[] = {DOCIVA_I2, DOCIVA_STRING};

constexpr const char16_t* kNoNames[] = {u""};
constexpr const char16_t* kV[] = {u"v"};
constexpr const char16_t* kProductName[] = {u"product_name"};
constexpr const char16_t* kFunc[] = {u"func"};
constexpr const char16_t* kScanType[] = {u"scan_type"};
constexpr const char16_t* kProfilePath[] = {u"profile_path"};
constexpr const char16_t* kSizeId[] = {u"size_id"};
constexpr const char16_t* kAreaNames[] = {u"x", u"y", u"w", u"h", u"unit"};
constexpr const char16_t* kFormatName[] = {u"format"};
constexpr const char16_t* kAlertNames[] = {u"title", u"message"};
constexpr const char16_t* kButtonNames[] = {u"btn_id", u"profile_path"};

constexpr DocivaMethodInfo info(std::int32_t dispid, const char16_t* name, std::uint16_t result = DOCIVA_EMPTY) {
    return {dispid, name, 0, kNone, kNoNames, result};
}
template <std::size_t N>
constexpr DocivaMethodInfo info(std::int32_t dispid, const char16_t* name, const std::uint16_t (&types)[N],
                                const char16_t* const (&names)[N], std::uint16_t result = DOCIVA_EMPTY) {
    return {dispid, name, static_cast<std::uint32_t>(N), types, names, result};
}

const Method kMethods[] = {
    {info(-552, u"AboutBox"), &call0<&C::AboutBox>},
    {info(1, u"ScannerRegister", kText, kProductName), &callText<&C::ScannerRegister>},
    {info(2, u"RegScannerSourceCallback", kObject, kFunc),
     [](C& c, const Argument* a) -> Result {
         c.RegScannerSourceCallback(a[0].object);
         return {};
     }},
    {info(3, u"ScanStart", kText, kProductName), &callText<&C::ScanStart>},
    {info(4, u"SetScanType", kI2, kScanType), &callI2<&C::SetScanType>},
    {info(5, u"SetContinuousScan", kI2, kV), &callI2<&C::SetContinuousScan>},
    {info(6, u"SetScanMode", kI2, kV), &callI2<&C::SetScanMode>},
    {info(7, u"SetResolution", kI2, kV), &callI2<&C::SetResolution>},
    {info(8, u"SetGamma", kI2, kV), &callI2<&C::SetGamma>},
    {info(9, u"SetBrightness", kI2, kV), &callI2<&C::SetBrightness>},
    {info(10, u"SetContrast", kI2, kV), &callI2<&C::SetContrast>},
    {info(11, u"SetProcessBlankPageRemoval", kI2, kV), &callI2<&C::SetProcessBlankPageRemoval>},
    {info(12, u"SetProcessPunchHoleRemoval", kI2, kV), &callI2<&C::SetProcessPunchHoleRemoval>},
    {info(13, u"SetProcessInvert", kI2, kV), &callI2<&C::SetProcessInvert>},
    {info(14, u"SetProcessWatermark", kI2, kV), &callI2<&C::SetProcessWatermark>},
    {info(15, u"SetProcessAutoOrientation", kI2, kV), &callI2<&C::SetProcessAutoOrientation>},
    {info(16, u"SetProcessAutoMultiCrop", kI2, kV), &callI2<&C::SetProcessAutoMultiCrop>},
    {info(17, u"SetProcessBWThreshold", kI2, kV), &callI2<&C::SetProcessBWThreshold>},
    {info(18, u"SetOutputFormatBMP", kI2, kV), &callFormat<DOCIVA_FORMAT_BMP>},
    {info(19, u"SetOutputFormatJPG", kI2, kV), &callFormat<DOCIVA_FORMAT_JPEG>},
    {info(20, u"SetOutputFormatPDF", kI2, kV), &callFormat<DOCIVA_FORMAT_PDF>},
    {info(21, u"SetOutputFormatTIFF", kI2, kV), &callFormat<DOCIVA_FORMAT_TIFF>},
    {info(22, u"SetOutputFormatPNG", kI2, kV), &callFormat<DOCIVA_FORMAT_PNG>},
    {info(23, u"SetOutputFormatTIFFG4", kI2, kV), &callFormat<DOCIVA_FORMAT_TIFF_G4>},
    {info(24, u"SetOutputFormatGIF", kI2, kV), &callFormat<DOCIVA_FORMAT_GIF>},
    {info(25, u"SetOutputFormatMultiTIFF", kI2, kV), &callFormat<DOCIVA_FORMAT_MULTI_TIFF>},
    {info(26, u"SetOutputFormatMultiPDF", kI2, kV), &callFormat<DOCIVA_FORMAT_MULTI_PDF>},
    {info(27, u"SetOutputPageSplit", kI2, kV), &callI2<&C::SetOutputPageSplit>},
    {info(28, u"SetOutputScaleX", kI2, kV), &callI2<&C::SetOutputScaleX>},
    {info(29, u"SetOutputScaleY", kI2, kV), &callI2<&C::SetOutputScaleY>},
    {info(30, u"SetOutputChangeResolution", kI2, kV), &callI2<&C::SetOutputChangeResolution>},
    {info(31, u"SetOutputJpegCompressionLevel", kI2, kV), &callI2<&C::SetOutputJpegCompressionLevel>},
    {info(32, u"SetOutputBWCompression", kI2, kV), &callI2<&C::SetOutputBWCompression>},
    {info(33, u"SelectProfile", kText, kProfilePath), &callText<&C::SelectProfile>},
    {info(34, u"SetScanSize", kI2, kSizeId), &callI2<&C::SetScanSize>},
    {info(35, u"SetCustomScanSize", kArea, kAreaNames),
     [](C& c, const Argument* a) -> Result {
         c.SetCustomScanSize(a[0].r8, a[1].r8, a[2].r8, a[3].r8, a[4].i2);
         return {};
     }},
    {info(36, u"SetProcessStrokeFillPosition", kI2, kV), &callI2<&C::SetProcessStrokeFillPosition>},
    {info(37, u"SetProcessStrokeFillSize", kI2, kV), &callI2<&C::SetProcessStrokeFillSize>},
    {info(38, u"SetProcessGrayscaleChannel", kI2, kV), &callI2<&C::SetProcessGrayscaleChannel>},
    {info(39, u"SelectFolder", DOCIVA_STRING), &resultText<&C::SelectFolder>},
    {info(40, u"SelectAPFile", DOCIVA_STRING), &resultText<&C::SelectAPFile>},
    {info(41, u"SetSavetoFolder", kText, kV), &callText<&C::SetSavetoFolder>},
    {info(42, u"SetSavetoIsOpenSaveFolder", kI2, kV), &callI2<&C::SetSavetoIsOpenSaveFolder>},
    {info(43, u"SetSavetoFileName", kText, kV), &callText<&C::SetSavetoFileName>},
    {info(44, u"SetSavetoLaunchAppPath", kText, kV), &callText<&C::SetSavetoLaunchAppPath>},
    {info(45, u"SetSavetoLaunchAppParams", kText, kV), &callText<&C::SetSavetoLaunchAppParams>},
    {info(46, u"SetRotate", kI2, kV), &callI2<&C::SetRotate>},
    {info(47, u"ViewSinglePage"), &call0<&C::ViewSinglePage>},
    {info(48, u"ViewThumb4"), &call0<&C::ViewThumb4>},
    {info(49, u"ViewThumb9"), &call0<&C::ViewThumb9>},
    {info(50, u"NormalView"), &call0<&C::NormalView>},
    {info(51, u"FullView"), &call0<&C::FullView>},
    {info(52, u"ZoomOut", DOCIVA_I2), &resultI2<&C::ZoomOut>},
    {info(53, u"ZoomIn", DOCIVA_I2), &resultI2<&C::ZoomIn>},
    {info(54, u"GoFirstPage", DOCIVA_I2), &resultI2<&C::GoFirstPage>},
    {info(55, u"GoPrevPage", DOCIVA_I2), &resultI2<&C::GoPrevPage>},
    {info(56, u"GoNextPage", DOCIVA_I2), &resultI2<&C::GoNextPage>},
    {info(57, u"GoLastPage", DOCIVA_I2), &resultI2<&C::GoLastPage>},
    {info(58, u"DeleteImage", DOCIVA_I2), &resultI2<&C::DeleteImage>},
    {info(59, u"RotateLeft", DOCIVA_I2), &resultI2<&C::RotateLeft>},
    {info(60, u"Rotate", DOCIVA_I2), &resultI2<&C::Rotate>},
    {info(61, u"RotateRight", DOCIVA_I2), &resultI2<&C::RotateRight>},
    {info(62, u"Cut", DOCIVA_I2), &resultI2<&C::Cut>},
    {info(63, u"Flip", DOCIVA_I2), &resultI2<&C::Flip>},
    {info(64, u"Mirror", DOCIVA_I2), &resultI2<&C::Mirror>},
    {info(65, u"Undo", DOCIVA_I2), &resultI2<&C::Undo>},
    {info(66, u"ExportProfile", DOCIVA_I2), &resultI2<&C::ExportProfile>},
    {info(67, u"SaveProfile", DOCIVA_I2), &resultI2<&C::SaveProfile>},
    {info(68, u"GetFileCount", DOCIVA_I2),
     [](C& c, const Argument*) -> Result {
         Result r;
         r.type = DOCIVA_I2;
         r.i2 = c.GetFileCount();
         return r;
     }},
    {info(69, u"GetFileNameHelper", DOCIVA_STRING), &resultText<&C::GetFileNameHelper>},
    {info(70, u"GetFileNameExample", kText, kFormatName, DOCIVA_STRING),
     [](C& c, const Argument* a) { return textResult(c.GetFileNameExample(a[0].str())); }},
    {info(71, u"OpenWatermarkSetting"), &call0<&C::OpenWatermarkSetting>},
    {info(72, u"Alert", kTwoTexts, kAlertNames, DOCIVA_I2),
     [](C& c, const Argument* a) -> Result {
         Result r;
         r.type = DOCIVA_I2;
         r.i2 = c.Alert(a[0].str(), a[1].str());
         return r;
     }},
    {info(73, u"SetSplitMerge", kI2, kV), &callI2<&C::SetSplitMerge>},
    {info(74, u"SetAutoSize", kI2, kV), &callI2<&C::SetAutoSize>},
    {info(75, u"GetConfigPath", DOCIVA_STRING), [](C& c, const Argument*) { return textResult(c.GetConfigPath()); }},
    {info(76, u"GetDriverPath", DOCIVA_STRING), [](C& c, const Argument*) { return textResult(c.GetDriverPath()); }},
    {info(77, u"AssignProfileToScannerButton", kButton, kButtonNames, DOCIVA_STRING),
     [](C& c, const Argument* a) { return textResult(c.AssignProfileToScannerButton(a[0].i2, a[1].str())); }},
    {info(78, u"GetScannerButtonSetting", DOCIVA_STRING), &resultText<&C::GetScannerButtonSetting>},
    {info(79, u"SetEjectPaperDirection", kI2, kV), &callI2<&C::SetEjectPaperDirection>},
    {info(80, u"Initialize", kText, kV), &callText<&C::Initialize>},
    {info(81, u"SetOutputSplitFixPages", kI2, kV), &callI2<&C::SetOutputSplitFixPages>},
    // Beside the contract's methods, never among them.
    {info(82, u"ScanCancel", DOCIVA_I2), &resultI2<&C::ScanCancel>},
};
static_assert(std::size(kMethods) == 83);

const DocivaEventInfo kEvents[] = {
    {1, u"OnSourceReady"},      {2, u"OnProfileReady"},        {3, u"OnAfterScannerRegister"},
    {4, u"OnScanEnd"},          {5, u"OnAfterSelectProfile"}, {6, u"OnAfterScanSizesReady"},
    {7, u"OnUIButtonStatusChange"},
};

// Decimal text as the variant coercion reads it: blanks around one number.
bool parseNumber(const DocivaValue& value, double& out) {
    if (!value.text) return false;
    std::string ascii;
    ascii.reserve(value.textLength);
    for (std::uint32_t i = 0; i < value.textLength; ++i) {
        const char16_t c = value.text[i];
        if (c > 0x7F) return false;
        ascii += static_cast<char>(c);
    }
    const auto first = ascii.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    const auto last = ascii.find_last_not_of(" \t");
    const char* begin = ascii.data() + first;
    const char* end = ascii.data() + last + 1;
    if (*begin == '+') ++begin;  // from_chars takes no plus sign
    if (begin == end || *begin == '+') return false;
    const auto [ptr, ec] = std::from_chars(begin, end, out, std::chars_format::general);
    return ec == std::errc{} && ptr == end && std::isfinite(out);
}

std::int32_t numberOf(const DocivaValue& value, double& out) {
    switch (value.type) {
    case DOCIVA_EMPTY: out = 0; return DOCIVA_OK;
    case DOCIVA_I2:
    case DOCIVA_I4:
    case DOCIVA_BOOL: out = value.integer; return DOCIVA_OK;
    case DOCIVA_R8: out = value.real; return DOCIVA_OK;
    case DOCIVA_STRING: return parseNumber(value, out) ? DOCIVA_OK : DOCIVA_E_TYPEMISMATCH;
    default: return DOCIVA_E_TYPEMISMATCH;
    }
}

}  // namespace

std::span<const Method> methods() { return kMethods; }
std::span<const DocivaEventInfo> events() { return kEvents; }

const Method* findMethod(std::int32_t dispid) {
    for (const auto& m : kMethods) {
        if (m.info.dispid == dispid) return &m;
    }
    return nullptr;
}

std::int32_t dispIdOf(std::u16string_view name, std::int32_t& dispid) {
    for (const auto& m : kMethods) {
        if (text::equalsIgnoreAsciiCase(name, m.info.name)) {
            dispid = m.info.dispid;
            return DOCIVA_OK;
        }
    }
    return DOCIVA_E_UNKNOWNNAME;
}

std::int32_t toR8(const DocivaValue& value, double& out) { return numberOf(value, out); }

std::int32_t toI2(const DocivaValue& value, std::int16_t& out) {
    double number = 0;
    if (const auto hr = numberOf(value, number); hr != DOCIVA_OK) return hr;
    // The default rounding mode rounds half to even, as variant coercion does.
    const double rounded = std::nearbyint(number);
    if (!(rounded >= std::numeric_limits<std::int16_t>::min() && rounded <= std::numeric_limits<std::int16_t>::max()))
        return DOCIVA_E_OVERFLOW;
    out = static_cast<std::int16_t>(rounded);
    return DOCIVA_OK;
}

std::int32_t toText(const DocivaValue& value, Argument& out) {
    out.nullText = false;
    switch (value.type) {
    case DOCIVA_EMPTY: out.text.clear(); return DOCIVA_OK;
    case DOCIVA_NULL: out.text.clear(); out.nullText = true; return DOCIVA_OK;
    case DOCIVA_I2:
    case DOCIVA_I4:
    case DOCIVA_BOOL: out.text = text::format(u"%d", value.integer); return DOCIVA_OK;
    case DOCIVA_R8:
        if (std::isnan(value.real)) {
            out.text = u"NaN";
        } else if (std::isinf(value.real)) {
            out.text = value.real > 0 ? u"Infinity" : u"-Infinity";
        } else {
            // Up to 15 significant digits, as the variant coercion writes.
            out.text = text::format(u"%.15G", value.real);
        }
        return DOCIVA_OK;
    case DOCIVA_STRING:
        if (!value.text) {
            out.text.clear();
            out.nullText = true;
        } else {
            out.text.assign(value.text, value.textLength);
        }
        return DOCIVA_OK;
    default: return DOCIVA_E_TYPEMISMATCH;
    }
}

std::int32_t toObject(const DocivaValue& value, void*& out) {
    switch (value.type) {
    case DOCIVA_EMPTY:
    case DOCIVA_NULL: out = nullptr; return DOCIVA_OK;
    case DOCIVA_DISPATCH: out = value.object; return DOCIVA_OK;
    default: return DOCIVA_E_TYPEMISMATCH;
    }
}

std::int32_t invoke(CDocivaOCXCtrl& control, std::int32_t dispid, const DocivaValue* args, std::uint32_t count,
                    Result& result, std::uint32_t* badArgument) {
    const Method* method = findMethod(dispid);
    if (!method) return DOCIVA_E_MEMBERNOTFOUND;
    if (count != method->info.parameterCount) return DOCIVA_E_BADPARAMCOUNT;
    if (count && !args) return DOCIVA_E_INVALIDARG;
    Argument converted[5];
    for (std::uint32_t i = 0; i < count; ++i) {
        std::int32_t hr = DOCIVA_OK;
        switch (method->info.parameterTypes[i]) {
        case DOCIVA_I2: hr = toI2(args[i], converted[i].i2); break;
        case DOCIVA_R8: hr = toR8(args[i], converted[i].r8); break;
        case DOCIVA_STRING: hr = toText(args[i], converted[i]); break;
        case DOCIVA_DISPATCH: hr = toObject(args[i], converted[i].object); break;
        default: hr = DOCIVA_E_TYPEMISMATCH;
        }
        if (hr != DOCIVA_OK) {
            if (badArgument) *badArgument = i;
            return hr;
        }
    }
    result = method->call(control, converted);
    return DOCIVA_OK;
}

}  // namespace dispatch
