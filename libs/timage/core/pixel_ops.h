// Pixel operations that are plain loops over rows, for every pixel format.
// Callers have checked the handles and decoded deferred images; these
// check sizes, formats and ranges and return a TI_* code.
//
// Thread safety: pure functions of their arguments.
#pragma once

#include <cstdint>

#include "libs/timage/core/image.h"

namespace timage {

using Image = ti_image_;

// A fill value as ti_CopyRect and ti_Rotate take it: 0xRRGGBB for colour
// images (alpha 255), the grey level in the low byte for grey ones; -1
// leaves pixels as they are.
inline constexpr int kKeepPixels = -1;

int copyPixels(const Image& source, Image& destination);
int copyRect(const Image& source, Image& destination, int left, int top, int fill);
int bitBlt(Image& destination, int x, int y, int width, int height, const Image& source, int sx, int sy);
int alphaBlend(Image& destination, int x, int y, const Image& source, int alpha);
// Counter-clockwise by 90, 180 or 270 degrees.
int orientate(const Image& source, Image& destination, int angle);
int flip(const Image& source, Image& destination, int mode);
// rect null: the whole destination.
int repeat(const Image& source, Image& destination, const TI_RECT* rect);
// rect null: the whole image. color 0xAARRGGBB.
int fill(Image& image, const TI_RECT* rect, std::uint32_t color);
int setZero(Image& image);
int invert(const Image& source, Image& destination);
int split(const Image& source, Image* const planes[4]);
int merge(const Image* const planes[4], Image& destination);
int lut(const Image& source, Image& destination, const std::uint8_t table[256]);
int threshold(const Image& source, Image& destination, int level, int maxValue, int type);
int convertColor(const Image& source, Image& destination, int code);
// gamma 1.0: none.
int light(const Image& source, Image& destination, int brightness, int contrast, double gamma);
int saturate(const Image& source, Image& destination, int saturation);
int mean(const Image& image, double out[4]);
// destination(x, y) samples source at (m0 x + m1 y + m2, m3 x + m4 y + m5)
// bilinearly. Points outside the source take fill (kKeepPixels: left as
// they are), or the nearest edge pixel when clampToEdge is set.
int warpAffine(const Image& source, Image& destination, const double matrix[6], bool clampToEdge, int fill);
// Counter-clockwise by any angle (degrees) about the centres.
int rotate(const Image& source, Image& destination, double angle, int fill);

// 8-bit luminance of a BGR pixel.
inline std::uint8_t luminance(unsigned b, unsigned g, unsigned r) {
    return static_cast<std::uint8_t>((r * 77u + g * 150u + b * 29u + 128u) >> 8);
}

}  // namespace timage
