#include "libs/timage/core/pixel_ops.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace timage {
namespace {

struct Bgra {
    std::uint8_t b = 0, g = 0, r = 0, a = 255;
};

inline Bgra readPixel(const std::uint8_t* p, int format) {
    switch (format) {
    case TI_GRAY8: return {p[0], p[0], p[0], 255};
    case TI_BGR24: return {p[0], p[1], p[2], 255};
    default: return {p[0], p[1], p[2], p[3]};
    }
}

inline void writePixel(std::uint8_t* p, int format, const Bgra& c) {
    switch (format) {
    case TI_GRAY8: p[0] = luminance(c.b, c.g, c.r); break;
    case TI_BGR24:
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
        break;
    default:
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
        p[3] = c.a;
        break;
    }
}

// The bytes of one pixel for a ti_CopyRect / ti_Rotate fill value.
void fillPixel(int format, int fill, std::uint8_t out[4]) {
    const auto v = static_cast<std::uint32_t>(fill);
    if (format == TI_GRAY8) {
        out[0] = static_cast<std::uint8_t>(v & 0xff);
        return;
    }
    out[0] = static_cast<std::uint8_t>(v & 0xff);
    out[1] = static_cast<std::uint8_t>((v >> 8) & 0xff);
    out[2] = static_cast<std::uint8_t>((v >> 16) & 0xff);
    out[3] = 255;
}

void fillSpan(std::uint8_t* p, int count, int format, const std::uint8_t pixel[4]) {
    if (format == TI_GRAY8) {
        std::memset(p, pixel[0], static_cast<std::size_t>(count));
        return;
    }
    for (int i = 0; i < count; ++i, p += format) std::memcpy(p, pixel, static_cast<std::size_t>(format));
}

// A private copy when an operation reads and writes the same image.
const Image* snapshotIfSame(const Image& source, const Image& destination, ImagePtr& holder, int& rc) {
    rc = TI_OK;
    if (&source != &destination) return &source;
    rc = createImage(source.width, source.height, source.format, holder);
    if (rc != TI_OK) return nullptr;
    for (int y = 0; y < source.height; ++y) std::memcpy(holder->row(y), source.row(y), source.rowBytes());
    return holder.get();
}

// Clips a rectangle to 0..width x 0..height; false when nothing is left.
bool clip(int& x, int& y, int& w, int& h, int width, int height) {
    long long x0 = std::max(0, x), y0 = std::max(0, y);
    long long x1 = std::min<long long>(static_cast<long long>(x) + w, width);
    long long y1 = std::min<long long>(static_cast<long long>(y) + h, height);
    if (x1 <= x0 || y1 <= y0) return false;
    x = static_cast<int>(x0);
    y = static_cast<int>(y0);
    w = static_cast<int>(x1 - x0);
    h = static_cast<int>(y1 - y0);
    return true;
}

// Rotation by a quarter turn in tiles, so that both images are walked in
// cache-sized pieces.
template <int B>
void quarterTurn(const Image& s, Image& d, bool counterClockwise) {
    constexpr int kTile = 64;
    const int dw = d.width, dh = d.height;
    for (int ty = 0; ty < dh; ty += kTile) {
        const int yEnd = std::min(dh, ty + kTile);
        for (int tx = 0; tx < dw; tx += kTile) {
            const int xEnd = std::min(dw, tx + kTile);
            for (int y = ty; y < yEnd; ++y) {
                std::uint8_t* out = d.row(y) + static_cast<std::ptrdiff_t>(tx) * B;
                if (counterClockwise) {
                    // destination (x, y) = source (W-1-y, x)
                    const std::ptrdiff_t column = static_cast<std::ptrdiff_t>(s.width - 1 - y) * B;
                    for (int x = tx; x < xEnd; ++x, out += B) std::memcpy(out, s.row(x) + column, B);
                } else {
                    // destination (x, y) = source (y, H-1-x)
                    const std::ptrdiff_t column = static_cast<std::ptrdiff_t>(y) * B;
                    for (int x = tx; x < xEnd; ++x, out += B) std::memcpy(out, s.row(s.height - 1 - x) + column, B);
                }
            }
        }
    }
}

template <int B>
void reverseRow(const std::uint8_t* in, std::uint8_t* out, int width) {
    if (in == out) {
        for (int i = 0, j = width - 1; i < j; ++i, --j) {
            std::uint8_t t[B];
            std::memcpy(t, out + i * B, B);
            std::memcpy(out + i * B, out + j * B, B);
            std::memcpy(out + j * B, t, B);
        }
        return;
    }
    const std::uint8_t* p = in + static_cast<std::ptrdiff_t>(width - 1) * B;
    for (int i = 0; i < width; ++i, p -= B, out += B) std::memcpy(out, p, B);
}

void reverseRowAny(int format, const std::uint8_t* in, std::uint8_t* out, int width) {
    switch (format) {
    case TI_GRAY8: reverseRow<1>(in, out, width); break;
    case TI_BGR24: reverseRow<3>(in, out, width); break;
    default: reverseRow<4>(in, out, width); break;
    }
}

// Applies a byte table to every colour byte (alpha kept).
void mapColourBytes(const Image& s, Image& d, const std::uint8_t table[256]) {
    const int w = s.width;
    for (int y = 0; y < s.height; ++y) {
        const std::uint8_t* in = s.row(y);
        std::uint8_t* out = d.row(y);
        if (s.format == TI_BGRA32) {
            for (int x = 0; x < w; ++x, in += 4, out += 4) {
                out[0] = table[in[0]];
                out[1] = table[in[1]];
                out[2] = table[in[2]];
                out[3] = in[3];
            }
        } else {
            const int n = w * s.format;
            for (int i = 0; i < n; ++i) out[i] = table[in[i]];
        }
    }
}

inline std::uint8_t clampByte(double v) {
    if (!(v > 0.0)) return 0;  // NaN too
    if (v >= 255.0) return 255;
    return static_cast<std::uint8_t>(std::lround(v));
}

}  // namespace

int copyPixels(const Image& source, Image& destination) {
    if (!source.sameShape(destination)) return TI_ERR_ARGUMENT;
    if (&source == &destination) return TI_OK;
    for (int y = 0; y < source.height; ++y) std::memcpy(destination.row(y), source.row(y), source.rowBytes());
    return TI_OK;
}

int copyRect(const Image& source, Image& destination, int left, int top, int fill) {
    if (source.format != destination.format) return TI_ERR_ARGUMENT;
    int rc = TI_OK;
    ImagePtr holder;
    const Image* s = snapshotIfSame(source, destination, holder, rc);
    if (!s) return rc;
    std::uint8_t pixel[4] = {};
    const bool paint = fill != kKeepPixels;
    if (paint) fillPixel(destination.format, fill, pixel);
    const int B = destination.format;
    for (int y = 0; y < destination.height; ++y) {
        std::uint8_t* out = destination.row(y);
        const long long sy = static_cast<long long>(top) + y;
        if (sy < 0 || sy >= s->height) {
            if (paint) fillSpan(out, destination.width, B, pixel);
            continue;
        }
        // Destination columns [x0, x1) have a source pixel.
        const long long x0 = std::clamp<long long>(-static_cast<long long>(left), 0, destination.width);
        const long long x1 = std::clamp<long long>(static_cast<long long>(s->width) - left, x0, destination.width);
        if (paint) {
            fillSpan(out, static_cast<int>(x0), B, pixel);
            fillSpan(out + x1 * B, static_cast<int>(destination.width - x1), B, pixel);
        }
        if (x1 > x0)
            std::memcpy(out + x0 * B, s->row(static_cast<int>(sy)) + (x0 + left) * B,
                        static_cast<std::size_t>((x1 - x0) * B));
    }
    return TI_OK;
}

int bitBlt(Image& destination, int x, int y, int width, int height, const Image& source, int sx, int sy) {
    if (source.format != destination.format || width < 0 || height < 0) return TI_ERR_ARGUMENT;
    // Clip against the source, then the destination, moving both origins.
    int dx = x, dy = y;
    auto trim = [&](int& origin, int& other, int& extent, int limit) {
        if (origin < 0) {
            const long long cut = -static_cast<long long>(origin);
            if (cut >= extent) return false;
            extent -= static_cast<int>(cut);
            other = static_cast<int>(other + cut);
            origin = 0;
        }
        if (origin >= limit) return false;
        extent = std::min(extent, limit - origin);
        return extent > 0;
    };
    if (width == 0 || height == 0) return TI_OK;
    if (!trim(sx, dx, width, source.width) || !trim(sy, dy, height, source.height) ||
        !trim(dx, sx, width, destination.width) || !trim(dy, sy, height, destination.height))
        return TI_OK;
    const int B = source.format;
    const auto n = static_cast<std::size_t>(width) * B;
    // Same image: walk rows away from the overlap; memmove handles the row itself.
    if (&source == &destination && dy > sy) {
        for (int r = height - 1; r >= 0; --r)
            std::memmove(destination.row(dy + r) + static_cast<std::ptrdiff_t>(dx) * B,
                         source.row(sy + r) + static_cast<std::ptrdiff_t>(sx) * B, n);
    } else {
        for (int r = 0; r < height; ++r)
            std::memmove(destination.row(dy + r) + static_cast<std::ptrdiff_t>(dx) * B,
                         source.row(sy + r) + static_cast<std::ptrdiff_t>(sx) * B, n);
    }
    return TI_OK;
}

int alphaBlend(Image& destination, int x, int y, const Image& source, int alpha) {
    if (alpha < 0 || alpha > 255) return TI_ERR_ARGUMENT;
    int rc = TI_OK;
    ImagePtr holder;
    const Image* s = snapshotIfSame(source, destination, holder, rc);
    if (!s) return rc;
    int cx = x, cy = y, w = s->width, h = s->height;
    if (!clip(cx, cy, w, h, destination.width, destination.height)) return TI_OK;
    const int offX = cx - x, offY = cy - y;
    for (int r = 0; r < h; ++r) {
        const std::uint8_t* in = s->row(offY + r) + static_cast<std::ptrdiff_t>(offX) * s->format;
        std::uint8_t* out = destination.row(cy + r) + static_cast<std::ptrdiff_t>(cx) * destination.format;
        for (int c = 0; c < w; ++c, in += s->format, out += destination.format) {
            const Bgra src = readPixel(in, s->format);
            Bgra dst = readPixel(out, destination.format);
            // Weight in 1/65025 units: the caller's alpha times the pixel's own.
            const unsigned a = static_cast<unsigned>(alpha) * src.a;
            const unsigned keep = 65025u - a;
            auto mix = [&](unsigned f, unsigned b) {
                return static_cast<std::uint8_t>((f * a + b * keep + 32512u) / 65025u);
            };
            if (destination.format == TI_GRAY8) {
                out[0] = mix(luminance(src.b, src.g, src.r), out[0]);
                continue;
            }
            dst.b = mix(src.b, dst.b);
            dst.g = mix(src.g, dst.g);
            dst.r = mix(src.r, dst.r);
            dst.a = mix(255, dst.a);
            writePixel(out, destination.format, dst);
        }
    }
    return TI_OK;
}

int orientate(const Image& source, Image& destination, int angle) {
    if (&source == &destination || source.format != destination.format) return TI_ERR_ARGUMENT;
    if (angle == 180) {
        if (!source.sameShape(destination)) return TI_ERR_ARGUMENT;
        for (int y = 0; y < source.height; ++y)
            reverseRowAny(source.format, source.row(source.height - 1 - y), destination.row(y), source.width);
        return TI_OK;
    }
    if (angle != 90 && angle != 270) return TI_ERR_ARGUMENT;
    if (destination.width != source.height || destination.height != source.width) return TI_ERR_ARGUMENT;
    const bool ccw = angle == 90;
    switch (source.format) {
    case TI_GRAY8: quarterTurn<1>(source, destination, ccw); break;
    case TI_BGR24: quarterTurn<3>(source, destination, ccw); break;
    default: quarterTurn<4>(source, destination, ccw); break;
    }
    return TI_OK;
}

int flip(const Image& source, Image& destination, int mode) {
    if (mode < 0 || mode > 2 || !source.sameShape(destination)) return TI_ERR_ARGUMENT;
    const int h = source.height;
    const std::size_t n = source.rowBytes();
    if (mode == 1) {
        for (int y = 0; y < h; ++y) reverseRowAny(source.format, source.row(y), destination.row(y), source.width);
        return TI_OK;
    }
    // Upside down, row pairs swapped from both ends (in place or not).
    std::vector<std::uint8_t> spare(n);
    for (int y = 0; y < (h + 1) / 2; ++y) {
        const int z = h - 1 - y;
        std::memcpy(spare.data(), source.row(y), n);
        if (y != z || &source != &destination) std::memcpy(destination.row(y), source.row(z), n);
        std::memcpy(destination.row(z), spare.data(), n);
        if (mode == 2) {
            reverseRowAny(source.format, destination.row(y), destination.row(y), source.width);
            if (y != z) reverseRowAny(source.format, destination.row(z), destination.row(z), source.width);
        }
    }
    return TI_OK;
}

int repeat(const Image& source, Image& destination, const TI_RECT* rect) {
    if (source.format != destination.format) return TI_ERR_ARGUMENT;
    int x = 0, y = 0, w = destination.width, h = destination.height;
    if (rect) {
        if (rect->width < 0 || rect->height < 0) return TI_ERR_ARGUMENT;
        x = rect->left;
        y = rect->top;
        w = rect->width;
        h = rect->height;
    }
    const int originX = x, originY = y;
    if (!clip(x, y, w, h, destination.width, destination.height)) return TI_OK;
    int rc = TI_OK;
    ImagePtr holder;
    const Image* s = snapshotIfSame(source, destination, holder, rc);
    if (!s) return rc;
    const int B = s->format;
    for (int r = 0; r < h; ++r) {
        const long long sy = ((static_cast<long long>(y) + r - originY) % s->height + s->height) % s->height;
        const std::uint8_t* in = s->row(static_cast<int>(sy));
        std::uint8_t* out = destination.row(y + r) + static_cast<std::ptrdiff_t>(x) * B;
        long long sx = ((static_cast<long long>(x) - originX) % s->width + s->width) % s->width;
        int left = w;
        while (left > 0) {
            const int run = static_cast<int>(std::min<long long>(left, s->width - sx));
            std::memcpy(out, in + sx * B, static_cast<std::size_t>(run) * B);
            out += static_cast<std::ptrdiff_t>(run) * B;
            left -= run;
            sx = 0;
        }
    }
    return TI_OK;
}

int fill(Image& image, const TI_RECT* rect, std::uint32_t color) {
    int x = 0, y = 0, w = image.width, h = image.height;
    if (rect) {
        if (rect->width < 0 || rect->height < 0) return TI_ERR_ARGUMENT;
        x = rect->left;
        y = rect->top;
        w = rect->width;
        h = rect->height;
    }
    if (!clip(x, y, w, h, image.width, image.height)) return TI_OK;
    std::uint8_t pixel[4];
    writePixel(pixel, image.format,
               Bgra{static_cast<std::uint8_t>(color), static_cast<std::uint8_t>(color >> 8),
                    static_cast<std::uint8_t>(color >> 16), static_cast<std::uint8_t>(color >> 24)});
    for (int r = 0; r < h; ++r)
        fillSpan(image.row(y + r) + static_cast<std::ptrdiff_t>(x) * image.format, w, image.format, pixel);
    return TI_OK;
}

int setZero(Image& image) {
    for (int y = 0; y < image.height; ++y) std::memset(image.row(y), 0, image.rowBytes());
    return TI_OK;
}

int invert(const Image& source, Image& destination) {
    if (!source.sameShape(destination)) return TI_ERR_ARGUMENT;
    std::uint8_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = static_cast<std::uint8_t>(255 - i);
    mapColourBytes(source, destination, table);
    return TI_OK;
}

int lut(const Image& source, Image& destination, const std::uint8_t table[256]) {
    if (!table || !source.sameShape(destination)) return TI_ERR_ARGUMENT;
    mapColourBytes(source, destination, table);
    return TI_OK;
}

int split(const Image& source, Image* const planes[4]) {
    if (!planes || source.format == TI_GRAY8) return TI_ERR_ARGUMENT;
    for (int i = 0; i < 4; ++i) {
        if (!planes[i]) continue;
        if (i >= source.format || planes[i]->format != TI_GRAY8 || planes[i]->width != source.width ||
            planes[i]->height != source.height || planes[i] == &source)
            return TI_ERR_ARGUMENT;
    }
    for (int i = 0; i < source.format; ++i) {
        if (!planes[i]) continue;
        for (int y = 0; y < source.height; ++y) {
            const std::uint8_t* in = source.row(y) + i;
            std::uint8_t* out = planes[i]->row(y);
            for (int x = 0; x < source.width; ++x, in += source.format) out[x] = *in;
        }
    }
    return TI_OK;
}

int merge(const Image* const planes[4], Image& destination) {
    if (!planes || destination.format == TI_GRAY8) return TI_ERR_ARGUMENT;
    for (int i = 0; i < 4; ++i) {
        const bool needed = i < 3;
        if (!planes[i]) {
            if (needed) return TI_ERR_ARGUMENT;
            continue;
        }
        if (i >= destination.format || planes[i]->format != TI_GRAY8 || planes[i]->width != destination.width ||
            planes[i]->height != destination.height || planes[i] == &destination)
            return TI_ERR_ARGUMENT;
    }
    for (int y = 0; y < destination.height; ++y) {
        std::uint8_t* out = destination.row(y);
        for (int i = 0; i < destination.format; ++i) {
            std::uint8_t* p = out + i;
            if (!planes[i]) {
                for (int x = 0; x < destination.width; ++x, p += destination.format) *p = 255;
                continue;
            }
            const std::uint8_t* in = planes[i]->row(y);
            for (int x = 0; x < destination.width; ++x, p += destination.format) *p = in[x];
        }
    }
    return TI_OK;
}

int threshold(const Image& source, Image& destination, int level, int maxValue, int type) {
    if (destination.format != TI_GRAY8 || destination.width != source.width || destination.height != source.height ||
        maxValue < 0 || maxValue > 255 || (type != 0 && type != 1))
        return TI_ERR_ARGUMENT;
    const auto hi = static_cast<std::uint8_t>(type == 0 ? maxValue : 0);
    const auto lo = static_cast<std::uint8_t>(type == 0 ? 0 : maxValue);
    for (int y = 0; y < source.height; ++y) {
        const std::uint8_t* in = source.row(y);
        std::uint8_t* out = destination.row(y);
        for (int x = 0; x < source.width; ++x, in += source.format) {
            const int v = source.format == TI_GRAY8 ? in[0] : luminance(in[0], in[1], in[2]);
            out[x] = v > level ? hi : lo;
        }
    }
    return TI_OK;
}

int convertColor(const Image& source, Image& destination, int code) {
    if (code != 0 || source.width != destination.width || source.height != destination.height)
        return TI_ERR_ARGUMENT;
    if (source.format == destination.format) return copyPixels(source, destination);
    for (int y = 0; y < source.height; ++y) {
        const std::uint8_t* in = source.row(y);
        std::uint8_t* out = destination.row(y);
        for (int x = 0; x < source.width; ++x, in += source.format, out += destination.format)
            writePixel(out, destination.format, readPixel(in, source.format));
    }
    return TI_OK;
}

int light(const Image& source, Image& destination, int brightness, int contrast, double gamma) {
    if (!source.sameShape(destination) || brightness < -100 || brightness > 100 || contrast < -100 ||
        contrast > 100 || !(gamma > 0.0) || gamma > 100.0)
        return TI_ERR_ARGUMENT;
    const double factor = contrast <= 0 ? (100.0 + contrast) / 100.0 : 100.0 / (101.0 - contrast);
    const double shift = brightness * 255.0 / 100.0;
    std::uint8_t table[256];
    for (int i = 0; i < 256; ++i) {
        double v = (i - 127.5) * factor + 127.5 + shift;
        v = std::clamp(v, 0.0, 255.0);
        if (gamma != 1.0) v = 255.0 * std::pow(v / 255.0, 1.0 / gamma);
        table[i] = clampByte(v);
    }
    mapColourBytes(source, destination, table);
    return TI_OK;
}

int saturate(const Image& source, Image& destination, int saturation) {
    if (!source.sameShape(destination) || saturation < -100 || saturation > 100) return TI_ERR_ARGUMENT;
    if (source.format == TI_GRAY8) return copyPixels(source, destination);
    const int factor = 100 + saturation;
    for (int y = 0; y < source.height; ++y) {
        const std::uint8_t* in = source.row(y);
        std::uint8_t* out = destination.row(y);
        for (int x = 0; x < source.width; ++x, in += source.format, out += source.format) {
            const int grey = luminance(in[0], in[1], in[2]);
            for (int c = 0; c < 3; ++c) {
                const int d = (in[c] - grey) * factor;
                const int v = grey + (d >= 0 ? (d + 50) / 100 : -((-d + 50) / 100));
                out[c] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
            }
            if (source.format == TI_BGRA32) out[3] = in[3];
        }
    }
    return TI_OK;
}

int mean(const Image& image, double out[4]) {
    if (!out) return TI_ERR_ARGUMENT;
    std::uint64_t sums[4] = {};
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* in = image.row(y);
        std::uint64_t row[4] = {};
        for (int x = 0; x < image.width; ++x, in += image.format)
            for (int c = 0; c < image.format; ++c) row[c] += in[c];
        for (int c = 0; c < 4; ++c) sums[c] += row[c];
    }
    const double n = static_cast<double>(image.width) * image.height;
    for (int c = 0; c < 4; ++c) out[c] = c < image.format ? static_cast<double>(sums[c]) / n : 0.0;
    return TI_OK;
}

int warpAffine(const Image& source, Image& destination, const double m[6], bool clampToEdge, int fill) {
    if (!m || source.format != destination.format) return TI_ERR_ARGUMENT;
    for (int i = 0; i < 6; ++i)
        if (!std::isfinite(m[i])) return TI_ERR_ARGUMENT;
    int rc = TI_OK;
    ImagePtr holder;
    const Image* s = snapshotIfSame(source, destination, holder, rc);
    if (!s) return rc;
    const int B = s->format;
    const int w = s->width, h = s->height;
    std::uint8_t background[4] = {};
    const bool paint = fill != kKeepPixels;
    if (paint) fillPixel(B, fill, background);
    constexpr int kBits = 11;
    constexpr int kOne = 1 << kBits;
    for (int y = 0; y < destination.height; ++y) {
        std::uint8_t* out = destination.row(y);
        for (int x = 0; x < destination.width; ++x, out += B) {
            const double u = m[0] * x + m[1] * y + m[2];
            const double v = m[3] * x + m[4] * y + m[5];
            // A pixel is covered when its point falls on a source pixel's area.
            const bool inside = u >= -0.5 && u < w - 0.5 && v >= -0.5 && v < h - 0.5;
            if (!inside && !clampToEdge) {
                if (paint) std::memcpy(out, background, static_cast<std::size_t>(B));
                continue;
            }
            const double uc = std::clamp(u, 0.0, static_cast<double>(w - 1));
            const double vc = std::clamp(v, 0.0, static_cast<double>(h - 1));
            const int x0 = static_cast<int>(std::floor(uc));
            const int y0 = static_cast<int>(std::floor(vc));
            const int fx = static_cast<int>(std::lround((uc - x0) * kOne));
            const int fy = static_cast<int>(std::lround((vc - y0) * kOne));
            const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
            const std::uint8_t* r0 = s->row(y0);
            const std::uint8_t* r1 = s->row(y1);
            for (int c = 0; c < B; ++c) {
                const int top = r0[x0 * B + c] * (kOne - fx) + r0[x1 * B + c] * fx;
                const int bottom = r1[x0 * B + c] * (kOne - fx) + r1[x1 * B + c] * fx;
                const long long value = static_cast<long long>(top) * (kOne - fy) + static_cast<long long>(bottom) * fy;
                out[c] = static_cast<std::uint8_t>((value + (1LL << (2 * kBits - 1))) >> (2 * kBits));
            }
        }
    }
    return TI_OK;
}

int rotate(const Image& source, Image& destination, double angle, int fill) {
    if (!std::isfinite(angle)) return TI_ERR_ARGUMENT;
    const double radians = std::fmod(angle, 360.0) * 3.14159265358979323846 / 180.0;
    double c = std::cos(radians), s = std::sin(radians);
    // Exact quarter turns, so that 90 degrees matches ti_Orientate.
    if (std::fabs(c) < 1e-12) c = 0.0;
    if (std::fabs(s) < 1e-12) s = 0.0;
    const double scx = (source.width - 1) / 2.0, scy = (source.height - 1) / 2.0;
    const double dcx = (destination.width - 1) / 2.0, dcy = (destination.height - 1) / 2.0;
    // On screen (y down) a turn to the left takes a destination offset
    // (dx, dy) back to the source offset (dx c - dy s, dx s + dy c).
    const double m[6] = {c, -s, scx - c * dcx + s * dcy, s, c, scy - s * dcx - c * dcy};
    return warpAffine(source, destination, m, false, fill);
}

}  // namespace timage
