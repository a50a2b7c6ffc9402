// Canvas: the surface the viewer paints on, in device pixels with the
// origin at the top-left of the window's client area.
//
// Small on purpose: every call maps onto one or two GDI calls (FillRect,
// SetDIBitsToDevice, DrawText over an alpha-blended box, a dotted frame,
// PatBlt with a pattern brush, GetClipBox), and onto Cairo on Linux.
//
// Thread safety: one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/geometry.h"

namespace platform {

// The canvas draws in the rectangles the viewer lays out.
using CanvasRect = Rect;

struct CanvasColour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;  // only the text box blends; everything else is opaque
};

// Pixel rows laid out as a device-independent bitmap: 1 (grey), 3 (BGR)
// or 4 (BGRA, alpha ignored) bytes per pixel, rows `stride` bytes apart,
// the first row in memory the top one when topDown.
struct CanvasPixels {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    int bytesPerPixel = 0;
    bool topDown = true;
};

// An 8 x 8 one-bit pattern, one byte per row from the top, the leftmost
// pixel in the top bit. It is anchored at the surface's origin: pixel
// (x, y) takes bit 7 - x % 8 of row y % 8, wherever the filled rectangle
// lies, so neighbouring fills join without a seam.
struct CanvasPattern {
    std::array<std::uint8_t, 8> rows{};
    friend bool operator==(const CanvasPattern&, const CanvasPattern&) = default;
};

struct CanvasTextStyle {
    std::u16string font;
    int pixelHeight = 12;
    bool bold = false;
    CanvasColour colour{255, 255, 255, 255};
    CanvasColour background{0, 0, 0, 0};
};

class Canvas {
public:
    virtual ~Canvas() = default;

    virtual int width() const = 0;
    virtual int height() const = 0;
    // The part of the surface that drawing can change.
    virtual CanvasRect clipBox() const = 0;

    virtual void fillRect(const CanvasRect& rect, CanvasColour colour) = 0;
    // Copies the block of `pixels` that starts at (sx, sy) and is width x
    // height pixels 1:1 to (x, y), clipped to the source and to the clip box.
    virtual void blit(int x, int y, const CanvasPixels& pixels, int sx, int sy, int width, int height) = 0;
    // Draws one line of text with its top-left corner at (x, y) over a box
    // of the text's size filled with the style's background (blended by its
    // alpha), both clipped to `bounds`. Returns the box.
    virtual CanvasRect drawText(int x, int y, std::u16string_view text, const CanvasTextStyle& style,
                                const CanvasRect& bounds) = 0;
    // A one-pixel frame just inside rect; dotted draws every other pixel.
    virtual void frameRect(const CanvasRect& rect, CanvasColour colour, bool dotted) = 0;
    // Inside rect (clipped to the clip box), the pixels whose pattern bit
    // is set take `ink`; the others keep what they have.
    virtual void fillPattern(const CanvasRect& rect, const CanvasPattern& pattern, CanvasColour ink) = 0;
};

}  // namespace platform
