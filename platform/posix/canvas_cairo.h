// CairoCanvas: a Canvas over an in-memory Cairo image (24-bit colour),
// for drawing off screen on Linux and for checking what was drawn.
//
// Thread safety: one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/canvas.h"

namespace platform {

class CairoCanvas final : public Canvas {
public:
    CairoCanvas(int width, int height);
    ~CairoCanvas() override;
    CairoCanvas(const CairoCanvas&) = delete;
    CairoCanvas& operator=(const CairoCanvas&) = delete;

    // False when the surface could not be made (size 0 or out of memory).
    bool valid() const;

    int width() const override;
    int height() const override;
    CanvasRect clipBox() const override;
    void fillRect(const CanvasRect& rect, CanvasColour colour) override;
    void blit(int x, int y, const CanvasPixels& pixels, int sx, int sy, int width, int height) override;
    CanvasRect drawText(int x, int y, std::u16string_view text, const CanvasTextStyle& style,
                        const CanvasRect& bounds) override;
    void frameRect(const CanvasRect& rect, CanvasColour colour, bool dotted) override;
    void fillPattern(const CanvasRect& rect, const CanvasPattern& pattern, CanvasColour ink) override;

    // 0xRRGGBB; 0xFFFFFFFF outside the surface.
    std::uint32_t pixel(int x, int y) const;
    bool savePng(const std::string& utf8Path) const;

    // Frees the font and surface caches the drawing library keeps for the
    // whole process, so a leak checker sees only real leaks. Call once, at
    // the end, when no canvas is left.
    static void releaseProcessCaches();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
