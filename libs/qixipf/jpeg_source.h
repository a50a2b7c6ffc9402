// When a page may hold the JPEG file an image was loaded from instead of a
// new encode of its pixels: the file's structure, walked marker by marker
// without decoding a coefficient, and the quantisation tables our encoder
// (libjpeg-turbo through the image toolkit) would write at a quality.
//
// Thread safety: pure functions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qixipf {

// The tables libjpeg-turbo's jpeg_set_quality(quality, force_baseline)
// writes: the example tables of the JPEG standard (luminance for the first
// component, chrominance for the others) scaled by the IJG quality rule and
// kept within 1..255. Natural (row by row) order; quality is clamped to
// 1..100.
using QuantTable = std::array<std::uint16_t, 64>;
QuantTable encoderQuantTable(int quality, bool chroma);

struct JpegComponent {
    int id = 0;
    int h = 0;      // sampling factors, 1..4
    int v = 0;
    int table = 0;  // quantisation table slot, 0..3
};

// What the walk over a whole file found.
struct JpegStructure {
    unsigned frameMarker = 0;  // the SOFn marker's second byte (0xC0 baseline...)
    int precision = 0;
    int width = 0;
    int height = 0;
    std::vector<JpegComponent> components;
    std::array<QuantTable, 4> tables{};  // natural order
    std::array<bool, 4> tableDefined{};
    bool jfif = false;        // an APP0 "JFIF" marker
    bool adobe = false;       // an APP14 "Adobe" marker
    int adobeTransform = -1;  // its colour transform byte
    bool tablesAfterScan = false;  // a DQT after the first scan began
    std::size_t end = 0;      // just past the EOI that ends the scans
};

// Walks from SOI through every marker segment and every scan's coded data
// to the EOI. False for anything that is not one well-formed frame: a
// segment running past the end, a second frame or SOI, hierarchical or
// DNL markers, a scan before the frame, a missing EOI (a cut file). Bytes
// after the EOI are left alone (end tells where it is).
bool readJpegStructure(std::string_view data, JpegStructure& out);

// How many bytes of data (from the start, through its EOI) a page may hold
// as they are in place of the picture encoded again at `quality`, for an
// image of width x height with 1 (grey) or 3 (colour) components; 0 when
// the picture has to be encoded again. See qixipf.h, slot 5, for the rule.
std::size_t storableJpegLength(std::string_view data, int quality, int width, int height, int components);

}  // namespace qixipf
