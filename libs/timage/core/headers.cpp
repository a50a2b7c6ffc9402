#include "libs/timage/core/headers.h"

#include <cmath>
#include <cstring>

#include "libs/timage/core/limits.h"

namespace timage {
namespace {

std::uint32_t le16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint32_t be32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

// Dots per inch from dots per metre, 0 for nonsense.
int dpiFromPerMetre(std::uint32_t perMetre) {
    if (perMetre == 0 || perMetre > 100000000u) return 0;
    return static_cast<int>(std::lround(perMetre * 0.0254));
}

// Whether every entry of a palette (entrySize bytes each, B G R first for
// BMP, R G B for PNG and GIF; grey either way) is grey.
bool paletteIsGrey(const std::uint8_t* p, std::size_t entries, std::size_t entrySize) {
    for (std::size_t i = 0; i < entries; ++i, p += entrySize)
        if (p[0] != p[1] || p[1] != p[2]) return false;
    return true;
}

int checkSize(std::int64_t w, std::int64_t h) {
    if (w < 1 || h < 1) return TI_ERR_FORMAT;
    // Decoders work on four bytes a pixel whatever the file holds.
    return withinLimits(w, h, 4) ? TI_OK : TI_ERR_MEMORY;
}

int bmpInfo(const std::uint8_t* d, std::size_t n, TI_FILE_INFO& info) {
    if (n < 26) return TI_ERR_FORMAT;
    const std::uint32_t headerSize = le32(d + 14);
    std::int64_t w = 0, h = 0;
    std::uint32_t bits = 0, colours = 0;
    std::size_t entrySize = 4;
    if (headerSize == 12) {
        w = le16(d + 18);
        h = le16(d + 20);
        bits = le16(d + 24);
        entrySize = 3;
    } else if (headerSize >= 40 && n >= 54) {
        w = static_cast<std::int32_t>(le32(d + 18));
        h = static_cast<std::int32_t>(le32(d + 22));
        if (h < 0) h = -h;
        bits = le16(d + 28);
        colours = le32(d + 46);
        info.xDpi = dpiFromPerMetre(le32(d + 38));
        info.yDpi = dpiFromPerMetre(le32(d + 42));
    } else {
        return TI_ERR_FORMAT;
    }
    if (const int rc = checkSize(w, h); rc != TI_OK) return rc;
    info.width = static_cast<int>(w);
    info.height = static_cast<int>(h);
    info.pixelFormat = TI_BGR24;
    if (bits <= 8) {
        std::size_t entries = colours ? colours : (std::size_t{1} << bits);
        const std::size_t at = 14 + headerSize;
        if (at > n) return TI_ERR_FORMAT;
        entries = std::min(entries, (n - at) / entrySize);
        if (paletteIsGrey(d + at, entries, entrySize)) info.pixelFormat = TI_GRAY8;
    }
    return TI_OK;
}

int pngInfo(const std::uint8_t* d, std::size_t n, TI_FILE_INFO& info) {
    if (n < 33 || be32(d + 8) != 13 || std::memcmp(d + 12, "IHDR", 4) != 0) return TI_ERR_FORMAT;
    const std::uint32_t w = be32(d + 16), h = be32(d + 20);
    if (w > 0x7fffffffu || h > 0x7fffffffu) return TI_ERR_FORMAT;
    if (const int rc = checkSize(w, h); rc != TI_OK) return rc;
    const int colourType = d[25];
    bool greyPalette = false, transparency = false;
    // Walk the chunks before the pixel data for palette, transparency and
    // resolution.
    std::size_t at = 33;
    while (at + 12 <= n) {
        const std::uint32_t length = be32(d + at);
        const std::uint8_t* type = d + at + 4;
        const std::uint8_t* body = d + at + 8;
        if (length > n - at - 12) break;
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) break;
        if (std::memcmp(type, "PLTE", 4) == 0) greyPalette = paletteIsGrey(body, length / 3, 3);
        if (std::memcmp(type, "tRNS", 4) == 0) transparency = true;
        if (std::memcmp(type, "pHYs", 4) == 0 && length >= 9 && body[8] == 1) {
            info.xDpi = dpiFromPerMetre(be32(body));
            info.yDpi = dpiFromPerMetre(be32(body + 4));
        }
        at += 12 + static_cast<std::size_t>(length);
    }
    info.width = static_cast<int>(w);
    info.height = static_cast<int>(h);
    switch (colourType) {
    case 0: info.pixelFormat = TI_GRAY8; break;
    case 2: info.pixelFormat = TI_BGR24; break;
    case 3: info.pixelFormat = transparency ? TI_BGRA32 : greyPalette ? TI_GRAY8 : TI_BGR24; break;
    case 4:
    case 6: info.pixelFormat = TI_BGRA32; break;
    default: return TI_ERR_FORMAT;
    }
    return TI_OK;
}

// Skips a chain of GIF data sub-blocks; false when the data ends first.
bool skipSubBlocks(const std::uint8_t* d, std::size_t n, std::size_t& at) {
    while (at < n) {
        const std::size_t length = d[at++];
        if (length == 0) return true;
        if (length > n - at) return false;
        at += length;
    }
    return false;
}

int gifInfo(const std::uint8_t* d, std::size_t n, TI_FILE_INFO& info) {
    if (n < 13) return TI_ERR_FORMAT;
    const std::uint32_t screenW = le16(d + 6), screenH = le16(d + 8);
    const std::uint8_t packed = d[10];
    std::size_t at = 13;
    const std::uint8_t* globalTable = nullptr;
    std::size_t globalEntries = 0;
    if (packed & 0x80) {
        globalEntries = std::size_t{1} << ((packed & 7) + 1);
        if (globalEntries * 3 > n - at) return TI_ERR_FORMAT;
        globalTable = d + at;
        at += globalEntries * 3;
    }
    // The decoder keeps every frame, so all of them count against the limit.
    std::uint64_t totalArea = 0;
    bool haveFirst = false;
    while (at < n) {
        const std::uint8_t kind = d[at++];
        if (kind == 0x3b) break;  // trailer
        if (kind == 0x21) {       // extension: label, then sub-blocks
            if (at >= n) return TI_ERR_FORMAT;
            ++at;
            if (!skipSubBlocks(d, n, at)) return TI_ERR_FORMAT;
            continue;
        }
        if (kind != 0x2c || n - at < 9) return TI_ERR_FORMAT;
        const std::uint32_t w = le16(d + at + 4), h = le16(d + at + 6);
        const std::uint8_t local = d[at + 8];
        at += 9;
        if (const int rc = checkSize(w, h); rc != TI_OK) return rc;
        totalArea += static_cast<std::uint64_t>(w) * h;
        if (totalArea > kMaxImageBytes / kDecoderBytesPerPixel) return TI_ERR_MEMORY;
        const std::uint8_t* table = globalTable;
        std::size_t entries = globalEntries;
        if (local & 0x80) {
            entries = std::size_t{1} << ((local & 7) + 1);
            if (entries * 3 > n - at) return TI_ERR_FORMAT;
            table = d + at;
            at += entries * 3;
        }
        if (!haveFirst) {
            haveFirst = true;
            info.width = static_cast<int>(w);
            info.height = static_cast<int>(h);
            info.pixelFormat = table && paletteIsGrey(table, entries, 3) ? TI_GRAY8 : TI_BGR24;
        }
        if (at >= n) return TI_ERR_FORMAT;
        ++at;  // LZW minimum code size
        if (!skipSubBlocks(d, n, at)) return TI_ERR_FORMAT;
    }
    if (!haveFirst) return TI_ERR_FORMAT;
    if (const int rc = checkSize(screenW ? screenW : 1, screenH ? screenH : 1); rc != TI_OK) return rc;
    return TI_OK;
}

}  // namespace

int sniffFormat(const std::uint8_t* d, std::size_t n) {
    if (!d) return TI_FORMAT_UNKNOWN;
    if (n >= 3 && d[0] == 0xff && d[1] == 0xd8 && d[2] == 0xff) return TI_FORMAT_JPEG;
    if (n >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0) return TI_FORMAT_PNG;
    if (n >= 6 && (std::memcmp(d, "GIF87a", 6) == 0 || std::memcmp(d, "GIF89a", 6) == 0)) return TI_FORMAT_GIF;
    if (n >= 4 && (std::memcmp(d, "II*\0", 4) == 0 || std::memcmp(d, "MM\0*", 4) == 0 ||
                   std::memcmp(d, "II+\0", 4) == 0 || std::memcmp(d, "MM\0+", 4) == 0))
        return TI_FORMAT_TIFF;
    if (n >= 18 && d[0] == 'B' && d[1] == 'M') return TI_FORMAT_BMP;
    return TI_FORMAT_UNKNOWN;
}

int readHeaderInfo(int format, const std::uint8_t* data, std::size_t size, TI_FILE_INFO& info) {
    info.format = format;
    info.pageCount = 1;
    info.compression = 0;
    info.xDpi = info.yDpi = 0;
    switch (format) {
    case TI_FORMAT_BMP: return bmpInfo(data, size, info);
    case TI_FORMAT_PNG: return pngInfo(data, size, info);
    case TI_FORMAT_GIF: return gifInfo(data, size, info);
    default: return TI_ERR_FORMAT;
    }
}

int formatFromExtension(const char16_t* path) {
    if (!path) return TI_FORMAT_UNKNOWN;
    const char16_t* dot = nullptr;
    for (const char16_t* p = path; *p; ++p) {
        if (*p == u'.') dot = p;
        if (*p == u'/' || *p == u'\\') dot = nullptr;
    }
    if (!dot) return TI_FORMAT_UNKNOWN;
    char ext[8] = {};
    std::size_t i = 0;
    for (const char16_t* p = dot + 1; *p; ++p) {
        if (i + 1 >= sizeof ext || *p > 0x7f) return TI_FORMAT_UNKNOWN;
        char c = static_cast<char>(*p);
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        ext[i++] = c;
    }
    const struct {
        const char* ext;
        int format;
    } table[] = {{"bmp", TI_FORMAT_BMP}, {"jpg", TI_FORMAT_JPEG}, {"jpeg", TI_FORMAT_JPEG}, {"png", TI_FORMAT_PNG},
                 {"gif", TI_FORMAT_GIF}, {"tif", TI_FORMAT_TIFF}, {"tiff", TI_FORMAT_TIFF}};
    for (const auto& row : table)
        if (std::strcmp(ext, row.ext) == 0) return row.format;
    return TI_FORMAT_UNKNOWN;
}

}  // namespace timage
