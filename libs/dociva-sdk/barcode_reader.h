// Reading a page's barcode for the %BARCODE_NUMBER% of the file names.
//
// Where the SDK is built without a barcode library (the Windows build for
// now) nothing is ever found, so every name says "Not_Found".
//
// Thread safety: pure functions; the page is only read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "libs/timage/timage.h"

struct ProfileSettings;

namespace dociva_sdk {

// The kinds of barcode a profile may name, as bits.
enum BarcodeType : std::uint32_t {
    kBarcodeCode39 = 1u << 0,
    kBarcodeCode93 = 1u << 1,
    kBarcodeCode128 = 1u << 2,
    kBarcodeEan8 = 1u << 3,
    kBarcodeEan13 = 1u << 4,
    kBarcodeUpcA = 1u << 5,
    kBarcodeUpcE = 1u << 6,
    kBarcodeItf = 1u << 7,  // interleaved 2 of 5
    kBarcodeCodabar = 1u << 8,
    kBarcodeQr = 1u << 9,
    kBarcodeDataMatrix = 1u << 10,
    kBarcodePdf417 = 1u << 11,
    kBarcodeAztec = 1u << 12,
    kBarcodeAny = (1u << 13) - 1,
};

// Where on the page the barcode is looked for.
enum class BarcodeArea { Page = 0, TopHalf = 1, BottomHalf = 2, LeftHalf = 3, RightHalf = 4 };

struct BarcodeOptions {
    bool wanted = false;  // the file-name pattern asks for the value
    std::uint32_t types = kBarcodeAny;
    BarcodeArea area = BarcodeArea::Page;
    bool autoRotate = true;  // linear codes also read when they run top to bottom
};

inline constexpr std::u16string_view kBarcodeToken = u"%BARCODE_NUMBER%";
inline constexpr std::u16string_view kBarcodeNotFound = u"Not_Found";
// The longest value put into a name; a longer one is cut.
inline constexpr std::size_t kBarcodeNameUnits = 64;

// The bits of a list of type names ("Code39,Code128,EAN13", "QRCode
// DataMatrix"): separators , ; | and spaces, case, '-' and '_' ignored;
// unknown names are skipped.
std::uint32_t barcodeTypesOf(std::u16string_view list);

// The profile's Barcode section: CODE_TYP and CODE_TYPE_2D name the types
// (both empty: every type), CODE_POSI the area (0 page, 1 top half,
// 2 bottom half, 3 left half, 4 right half; others the page), AutoRotate.
// wanted is left false: the file-name pattern decides.
BarcodeOptions barcodeOptionsOf(const ProfileSettings& profile);

// A barcode value as it may stand in a file name: characters no name may
// hold, '%' (which would start a token) and spaces at either end become
// '_' or go; cut to kBarcodeNameUnits; empty stays empty.
std::u16string barcodeNamePart(std::u16string_view value);

// True when this build reads barcodes.
bool barcodeReaderAvailable();

// The value of the first barcode found on the page, as decoded (UTF-16);
// nothing when there is none or this build reads none.
std::optional<std::u16string> readBarcode(TI_IMAGE page, const BarcodeOptions& options);

}  // namespace dociva_sdk
