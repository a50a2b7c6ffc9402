#include "barcode_reader.h"

#include <utility>

#include "platform/text.h"
#include "settings/profile_settings.h"

namespace dociva_sdk {

namespace {

// Names folded to lower case without '-' and '_'.
constexpr std::pair<std::u16string_view, std::uint32_t> kTypeNames[] = {
    {u"code39", kBarcodeCode39},     {u"code93", kBarcodeCode93},         {u"code128", kBarcodeCode128},
    {u"ean8", kBarcodeEan8},         {u"ean13", kBarcodeEan13},           {u"upca", kBarcodeUpcA},
    {u"upce", kBarcodeUpcE},         {u"itf", kBarcodeItf},               {u"interleaved2of5", kBarcodeItf},
    {u"codabar", kBarcodeCodabar},   {u"qr", kBarcodeQr},                 {u"qrcode", kBarcodeQr},
    {u"datamatrix", kBarcodeDataMatrix}, {u"pdf417", kBarcodePdf417},     {u"aztec", kBarcodeAztec},
};

bool isSeparator(char16_t c) { return c == u',' || c == u';' || c == u'|' || c == u' ' || c == u'\t'; }

}  // namespace

std::uint32_t barcodeTypesOf(std::u16string_view list) {
    std::uint32_t types = 0;
    std::size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && isSeparator(list[i])) ++i;
        std::u16string name;
        while (i < list.size() && !isSeparator(list[i])) {
            const char16_t c = list[i++];
            if (c != u'-' && c != u'_') name.push_back(text::asciiLower(c));
        }
        for (const auto& [known, bit] : kTypeNames)
            if (name == known) types |= bit;
    }
    return types;
}

BarcodeOptions barcodeOptionsOf(const ProfileSettings& profile) {
    BarcodeOptions o;
    const std::uint32_t types =
        barcodeTypesOf(text::view(profile.barcodeType)) | barcodeTypesOf(text::view(profile.barcodeType2D));
    const bool named = text::view(profile.barcodeType).find_first_not_of(u" ,;|\t") != std::u16string_view::npos ||
                       text::view(profile.barcodeType2D).find_first_not_of(u" ,;|\t") != std::u16string_view::npos;
    // Names given but none known reads nothing, rather than everything.
    o.types = named ? types : kBarcodeAny;
    o.area = profile.barcodePosition >= 1 && profile.barcodePosition <= 4
                 ? static_cast<BarcodeArea>(profile.barcodePosition)
                 : BarcodeArea::Page;
    o.autoRotate = profile.barcodeAutoRotate != 0;
    return o;
}

std::u16string barcodeNamePart(std::u16string_view value) {
    std::u16string out;
    for (char16_t c : value) {
        const bool forbidden = c < 0x20 || c == 0x7f || c == u'/' || c == u'\\' || c == u':' || c == u'*' ||
                               c == u'?' || c == u'"' || c == u'<' || c == u'>' || c == u'|' || c == u'%';
        out.push_back(forbidden ? u'_' : c);
    }
    const std::size_t first = out.find_first_not_of(u' ');
    if (first == std::u16string::npos) return {};
    out = out.substr(first, out.find_last_not_of(u' ') - first + 1);
    if (out.size() > kBarcodeNameUnits) {
        out.resize(kBarcodeNameUnits);
        // Never half a surrogate pair.
        if (out.back() >= 0xD800 && out.back() <= 0xDBFF) out.pop_back();
    }
    return out;
}

}  // namespace dociva_sdk
