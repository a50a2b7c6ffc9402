// ScanOptions: what the virtual scanner makes of a ScanSettings record for
// one device. Fields the SDK does not apply yet are not read here at all
// (README.md lists them).
//
// Thread safety: plain data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "barcode_reader.h"
#include "device_description.h"
#include "page_tone.h"
#include "scanner/dociva_sdk.h"
#include "settings/scan_settings.h"

namespace dociva_sdk {

enum class ColourMode { Colour, Grey, BlackWhite };

enum class Sides { Front, Rear, Both };

inline constexpr int kDefaultDpi = 200;
inline constexpr int kMinDpi = 50;
inline constexpr int kMaxDpi = 1200;
inline constexpr int kDefaultThreshold = 128;
inline constexpr int kDefaultJpegQuality = 70;

struct ScanOptions {
    bool flatbed = false;
    Sides sides = Sides::Front;
    int dpi = kDefaultDpi;
    ColourMode colour = ColourMode::Colour;
    int threshold = kDefaultThreshold;     // 0..255: above is white
    int rotateClockwise = 0;               // 0, 90, 180, 270
    bool dropBlankPages = false;
    bool invert = false;
    int zoomX = 100;                       // percent, 50..200
    int zoomY = 100;
    int changeDpi = 100;                   // percent, 50..200
    int jpegQuality = kDefaultJpegQuality; // 1..100
    Tone tone;                             // 100 each: unchanged
    DropOut dropOut = DropOut::None;
    bool autoSize = false;                 // straighten and crop to the page
    bool autoOrient = false;               // turn pages whose text is not upright
    bool erasePunchHoles = false;
    // Read when the file-name pattern holds %BARCODE_NUMBER%; a record
    // carries no Barcode section, so its starts read every type anywhere
    // on the page, a profile's start what its section says.
    BarcodeOptions barcode;
    double areaWidth = 0.0;                // inches; 0 = the device's default paper
    double areaHeight = 0.0;
    // The area as asked for, before any cut to the device: inches from the
    // device's top left corner; a width or height of 0 = the whole device.
    // A real device scans exactly this or refuses.
    double askedLeft = 0.0;
    double askedTop = 0.0;
    double askedWidth = 0.0;
    double askedHeight = 0.0;
    std::vector<int> formats;              // in the order listed, without repeats
    std::u16string fileNamePattern;
    std::u16string outputFolder;
};

enum class OptionsResult { Ok, CapabilityMismatch };

// Reads the applied fields of settings for device. CapabilityMismatch when
// the record asks for a source the device lacks (a flatbed scan on a
// device without a flatbed, a feeder or duplex scan on a device without a
// feeder or on a simplex feeder) or a resolution outside 50..1200 dpi.
OptionsResult readScanOptions(const ScanSettings& settings, const DeviceDescription& device, ScanOptions& out);

// The output format codes of an outImg text ("0, 4, 9"): every number the
// SDK writes, in order, each once; anything else is skipped. An empty text
// gives BMP, the profile's default.
std::vector<int> parseFormatList(std::u16string_view text);

// The colour mode a scanMode value stands for (-1: colour).
ColourMode colourModeOf(int scanMode);

// The clockwise turn a rotate value stands for; -1 when it stands for none
// the SDK knows (the page is then left as it is).
int rotationOf(int rotate);

}  // namespace dociva_sdk
