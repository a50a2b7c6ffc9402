// OffscreenCanvas: the surface a window paints into before its picture
// reaches the screen. The window keeps it, so a host can look at what was
// painted last or save it as a picture.
//
// Linux paints into an in-memory Cairo image; Windows into a DIB section
// selected into a memory DC (platform/win32/canvas_gdi_win.h), which the
// window copies to the screen. Neither needs a display. The two draw the
// same pictures, except for the glyphs of text, which come from the fonts
// each system has.
//
// Thread safety: one thread at a time (the window's).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/canvas.h"

namespace platform {

inline constexpr std::uint32_t kNoPixel = 0xFFFFFFFFu;

class OffscreenCanvas : public Canvas {
public:
    // 0xRRGGBB; kNoPixel outside the surface or where no pixels are kept.
    virtual std::uint32_t pixel(int x, int y) const = 0;
    // Writes the surface as a PNG file. False when it could not be written,
    // or the platform keeps no pixels.
    virtual bool savePng(std::u16string_view path) const = 0;
};

// Null when the size is not positive or the surface cannot be had.
std::unique_ptr<OffscreenCanvas> createOffscreenCanvas(int width, int height);

}  // namespace platform
