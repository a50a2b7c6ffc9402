// GdiCanvas: the Windows off-screen surface, a 32-bit top-down DIB section
// selected into a memory device context. It needs no display (a memory DC
// works under Wine without an X server), draws the pictures the Linux
// canvas draws, and is what a window copies to the screen in WM_PAINT.
//
//   fillRect    FillRect with a solid brush
//   blit        SetDIBitsToDevice, 1:1 (grey rows through a grey palette)
//   drawText    AlphaBlend of the box, then anti-aliased ExtTextOut
//   frameRect   the frame's pixels, dotted the way the Linux canvas dots
//   fillPattern PatBlt with a pattern brush made from an 8 x 8 one-bit
//               bitmap: once masking (D & P), once merging (D | P)
//   savePng     GDI+'s PNG encoder
//
// The caption's font, "Arial Unicode MS", is missing on most machines (and
// always under Wine): fontFaceFor picks an installed sans-serif face then.
//
// Thread safety: one thread at a time; a window paints it on its own
// thread. savePng opens a GDI+ session of its own, so it must not be
// called inside DllMain.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/offscreen_canvas.h"
#include "platform/win32/gdi_handles.h"

namespace platform::win32 {

class GdiCanvas final : public OffscreenCanvas {
    // Only create makes one, as the surface may fail.
    struct Token {
        explicit Token() = default;
    };

public:
    // Null when the size is not positive or GDI cannot give the surface.
    static std::unique_ptr<GdiCanvas> create(int width, int height);
    explicit GdiCanvas(Token) {}
    ~GdiCanvas() override;
    GdiCanvas(const GdiCanvas&) = delete;
    GdiCanvas& operator=(const GdiCanvas&) = delete;

    int width() const override { return width_; }
    int height() const override { return height_; }
    CanvasRect clipBox() const override { return {0, 0, width_, height_}; }
    void fillRect(const CanvasRect& rect, CanvasColour colour) override;
    void blit(int x, int y, const CanvasPixels& pixels, int sx, int sy, int width, int height) override;
    CanvasRect drawText(int x, int y, std::u16string_view text, const CanvasTextStyle& style,
                        const CanvasRect& bounds) override;
    void frameRect(const CanvasRect& rect, CanvasColour colour, bool dotted) override;
    void fillPattern(const CanvasRect& rect, const CanvasPattern& pattern, CanvasColour ink) override;

    std::uint32_t pixel(int x, int y) const override;
    bool savePng(std::u16string_view path) const override;

    // The memory DC holding the surface, for BitBlt to a window. Stays
    // valid as long as the canvas.
    HDC dc() const noexcept { return dc_.get(); }
    // Copies the part of the surface inside `part` 1:1 to `target` at the
    // same coordinates (SRCCOPY). False when GDI refuses.
    bool copyTo(HDC target, const RECT& part) const;

    // `wanted` when the system has that face, else the first installed of
    // a few common sans-serif faces, else the face of the default GUI font.
    static std::wstring fontFaceFor(HDC dc, std::wstring_view wanted);

private:
    // Declared so that the DC goes before the bitmap selected into it.
    ScopedBitmap bitmap_;
    ScopedMemoryDc dc_;
    HGDIOBJ previousBitmap_ = nullptr;
    std::uint8_t* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    // The last face looked up, since every paint asks for the same one.
    std::wstring wantedFace_;
    std::wstring resolvedFace_;
    // The brush of the last pattern filled, made on first use: a window
    // paints the same hatch on every paint, and the surface lives as long
    // as the window. A brush kept for the whole process instead would
    // have to be deleted at the module's unloading, where GDI must not be
    // called.
    CanvasPattern brushPattern_;
    ScopedBrush patternBrush_;
};

}  // namespace platform::win32
