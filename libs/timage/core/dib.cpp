#include "libs/timage/core/dib.h"

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

int dpi(std::uint32_t perMetre) {
    if (perMetre == 0 || perMetre > 100000000u) return 0;
    return static_cast<int>(std::lround(perMetre * 0.0254));
}

}  // namespace

int loadDib(const void* header, const void* bits, ImagePtr& out) {
    out.reset();
    if (!header) return TI_ERR_ARGUMENT;
    const auto* h = static_cast<const std::uint8_t*>(header);
    const std::uint32_t headerSize = le32(h);
    if (headerSize < 40 || headerSize > 4096) return TI_ERR_FORMAT;
    const auto width = static_cast<std::int32_t>(le32(h + 4));
    const auto rawHeight = static_cast<std::int32_t>(le32(h + 8));
    const std::uint32_t bitCount = le16(h + 14);
    const std::uint32_t compression = le32(h + 16);
    std::uint32_t colours = le32(h + 32);
    if (width < 1 || rawHeight == 0 || rawHeight == INT32_MIN) return TI_ERR_FORMAT;
    const bool topDown = rawHeight < 0;
    const int height = topDown ? -rawHeight : rawHeight;
    // BI_RGB only; compressed and bit-field layouts are not read.
    if (compression != 0) return TI_ERR_NOT_SUPPORTED;
    if (bitCount != 8 && bitCount != 24 && bitCount != 32) return TI_ERR_NOT_SUPPORTED;
    if (!withinLimits(width, height, 4)) return TI_ERR_MEMORY;
    if (bitCount == 8 && (colours == 0 || colours > 256)) colours = 256;
    if (bitCount != 8) colours = 0;
    const std::uint8_t* palette = h + headerSize;
    const auto* rows = bits ? static_cast<const std::uint8_t*>(bits) : palette + colours * 4;
    const std::size_t dibStride = ((static_cast<std::size_t>(width) * bitCount + 31) / 32) * 4;

    bool grey = bitCount == 8;
    for (std::uint32_t i = 0; grey && i < colours; ++i) {
        const std::uint8_t* e = palette + i * 4;
        grey = e[0] == e[1] && e[1] == e[2];
    }
    const int format = bitCount == 32 ? TI_BGRA32 : (grey ? TI_GRAY8 : TI_BGR24);
    ImagePtr image;
    if (const int rc = createImage(width, height, format, image); rc != TI_OK) return rc;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = rows + dibStride * static_cast<std::size_t>(topDown ? y : height - 1 - y);
        std::uint8_t* o = image->row(y);
        if (bitCount != 8) {
            std::memcpy(o, in, image->rowBytes());
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const std::uint8_t index = in[x];
            // An index past the palette reads as black rather than past it.
            const std::uint8_t* e = index < colours ? palette + index * 4 : nullptr;
            if (format == TI_GRAY8) {
                o[x] = e ? e[0] : 0;
            } else {
                o[x * 3] = e ? e[0] : 0;
                o[x * 3 + 1] = e ? e[1] : 0;
                o[x * 3 + 2] = e ? e[2] : 0;
            }
        }
    }
    image->xDpi = dpi(le32(h + 24));
    image->yDpi = dpi(le32(h + 28));
    out = std::move(image);
    return TI_OK;
}

}  // namespace timage
