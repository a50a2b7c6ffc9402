#include "libs/qixipf/jpeg_source.h"

#include <algorithm>
#include <cstring>

namespace qixipf {

namespace {

// The example tables of the JPEG standard (its annex K), natural order.
constexpr std::array<std::uint8_t, 64> kLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99,
};
constexpr std::array<std::uint8_t, 64> kChrominance = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
};

// A DQT segment lists a table along the zig-zag path; entry k of this is
// the natural position of the path's k-th step. Walked rather than typed,
// so no entry can be mistyped.
constexpr std::array<std::uint8_t, 64> zigzag() {
    std::array<std::uint8_t, 64> order{};
    int k = 0;
    for (int sum = 0; sum < 15; ++sum) {
        const int low = sum < 8 ? 0 : sum - 7, high = sum < 8 ? sum : 7;
        // Even diagonals run up and to the right, odd ones down and left.
        for (int step = 0; step <= high - low; ++step) {
            const int row = sum % 2 == 0 ? high - step : low + step;
            order[static_cast<std::size_t>(k++)] = static_cast<std::uint8_t>(row * 8 + (sum - row));
        }
    }
    return order;
}
constexpr std::array<std::uint8_t, 64> kZigzag = zigzag();
static_assert(kZigzag[2] == 8 && kZigzag[3] == 16 && kZigzag[63] == 63);

bool isFrameMarker(unsigned m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

unsigned be16(const unsigned char* p) { return (static_cast<unsigned>(p[0]) << 8) | p[1]; }

bool readTables(const unsigned char* body, std::size_t size, JpegStructure& out) {
    std::size_t k = 0;
    while (k < size) {
        const unsigned precision = body[k] >> 4, slot = body[k] & 0x0F;
        ++k;
        if (precision > 1 || slot > 3) return false;
        const std::size_t bytes = precision ? 128 : 64;
        if (size - k < bytes) return false;
        QuantTable& table = out.tables[slot];
        for (std::size_t z = 0; z < 64; ++z)
            table[kZigzag[z]] = static_cast<std::uint16_t>(precision ? be16(body + k + 2 * z) : body[k + z]);
        out.tableDefined[slot] = true;
        k += bytes;
    }
    return true;
}

bool readFrame(unsigned marker, const unsigned char* body, std::size_t size, JpegStructure& out) {
    if (size < 6) return false;
    const std::size_t count = body[5];
    if (count < 1 || count > 4 || size != 6 + 3 * count) return false;
    out.frameMarker = marker;
    out.precision = body[0];
    out.height = static_cast<int>(be16(body + 1));
    out.width = static_cast<int>(be16(body + 3));
    for (std::size_t c = 0; c < count; ++c) {
        const unsigned char* p = body + 6 + 3 * c;
        JpegComponent component;
        component.id = p[0];
        component.h = p[1] >> 4;
        component.v = p[1] & 0x0F;
        component.table = p[2];
        if (component.h < 1 || component.h > 4 || component.v < 1 || component.v > 4 || component.table > 3)
            return false;
        out.components.push_back(component);
    }
    return true;
}

// Past a scan's coded data: to the first marker that is neither a stuffed
// zero nor a restart. npos when the data ends first.
std::size_t afterCodedData(const unsigned char* p, std::size_t n, std::size_t i) {
    while (i < n) {
        const void* hit = std::memchr(p + i, 0xFF, n - i);
        if (!hit) return std::string_view::npos;
        const std::size_t at = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - p);
        if (at + 1 >= n) return std::string_view::npos;
        const unsigned next = p[at + 1];
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
            i = at + 2;
            continue;
        }
        return at;
    }
    return std::string_view::npos;
}

// How the toolkit's decoder reads three components (libjpeg's rule) must
// be how a PDF reader's DCTDecode reads them: there an Adobe marker
// decides the transform, and without one three components are always
// taken as YCbCr. So YCbCr, and only where both agree on it.
bool readAsYCbCrByBoth(const JpegStructure& s) {
    if (s.adobe) return s.adobeTransform == 1;
    if (s.jfif) return true;
    const auto& c = s.components;
    return !(c[0].id == 'R' && c[1].id == 'G' && c[2].id == 'B');
}

}  // namespace

QuantTable encoderQuantTable(int quality, bool chroma) {
    quality = std::clamp(quality, 1, 100);
    const long scale = quality < 50 ? 5000L / quality : 200L - 2L * quality;
    const auto& base = chroma ? kChrominance : kLuminance;
    QuantTable table{};
    for (std::size_t i = 0; i < 64; ++i)
        table[i] = static_cast<std::uint16_t>(std::clamp((base[i] * scale + 50L) / 100L, 1L, 255L));
    return table;
}

bool readJpegStructure(std::string_view data, JpegStructure& out) {
    out = JpegStructure{};
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const std::size_t n = data.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return false;
    std::size_t i = 2;
    bool frame = false, scanned = false;
    for (;;) {
        if (i >= n || p[i] != 0xFF) return false;
        while (i < n && p[i] == 0xFF) ++i;  // fill bytes before a marker
        if (i >= n) return false;
        const unsigned marker = p[i++];
        if (marker == 0xD9) {
            if (!scanned) return false;
            out.end = i;
            return true;
        }
        if (marker == 0x01) continue;  // TEM stands alone
        if (marker == 0x00 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) return false;
        if (n - i < 2) return false;
        const std::size_t length = be16(p + i);
        if (length < 2 || length > n - i) return false;
        const unsigned char* body = p + i + 2;
        const std::size_t size = length - 2;
        i += length;
        if (isFrameMarker(marker)) {
            if (frame || !readFrame(marker, body, size, out)) return false;
            frame = true;
        } else if (marker == 0xDB) {
            if (scanned) out.tablesAfterScan = true;
            if (!readTables(body, size, out)) return false;
        } else if (marker == 0xDA) {
            if (!frame || size < 1 || size != 1 + 2 * std::size_t{body[0]} + 3) return false;
            scanned = true;
            i = afterCodedData(p, n, i);
            if (i == std::string_view::npos) return false;
        } else if (marker == 0xE0) {
            if (size >= 5 && std::memcmp(body, "JFIF\0", 5) == 0) out.jfif = true;
        } else if (marker == 0xEE) {
            if (size >= 12 && std::memcmp(body, "Adobe", 5) == 0) {
                out.adobe = true;
                out.adobeTransform = body[11];
            }
        } else if (marker == 0xC4 || marker == 0xCC || marker == 0xDD || marker == 0xFE ||
                   (marker >= 0xE1 && marker <= 0xEF) || (marker >= 0xF0 && marker <= 0xFD)) {
            // Huffman and arithmetic tables, restart interval, comments,
            // application data: nothing the decision needs.
        } else {
            // DNL, hierarchical (DHP, EXP) and reserved markers.
            return false;
        }
    }
}

std::size_t storableJpegLength(std::string_view data, int quality, int width, int height, int components) {
    JpegStructure s;
    if (!readJpegStructure(data, s) || s.tablesAfterScan) return 0;
    // Huffman-coded 8-bit baseline, extended sequential or progressive:
    // what every DCTDecode reader takes. Arithmetic coding, lossless and
    // 12-bit frames are encoded again.
    if (s.frameMarker < 0xC0 || s.frameMarker > 0xC2 || s.precision != 8) return 0;
    if (s.width != width || s.height != height || static_cast<int>(s.components.size()) != components) return 0;
    if (components == 3) {
        if (!readAsYCbCrByBoth(s)) return 0;
    } else if (components != 1) {
        return 0;  // CMYK and YCCK: the toolkit gives them as RGB
    }
    for (std::size_t c = 0; c < s.components.size(); ++c) {
        const auto slot = static_cast<std::size_t>(s.components[c].table);
        if (!s.tableDefined[slot] || s.tables[slot] != encoderQuantTable(quality, c != 0)) return 0;
    }
    return s.end;
}

}  // namespace qixipf
