#include <windows.h>

#include "platform/offscreen_canvas.h"
#include "platform/system.h"

namespace platform {

namespace {

// Until the GDI drawing comes: a surface of the right size that a window
// can paint through (layout and tooltips work) but that keeps no pixels.
class BlankCanvas final : public OffscreenCanvas {
public:
    BlankCanvas(int width, int height) : width_(width), height_(height) {}

    int width() const override { return width_; }
    int height() const override { return height_; }
    CanvasRect clipBox() const override { return {0, 0, width_, height_}; }
    void fillRect(const CanvasRect&, CanvasColour) override {}
    void blit(int, int, const CanvasPixels&, int, int, int, int) override {}
    CanvasRect drawText(int, int, std::u16string_view, const CanvasTextStyle&, const CanvasRect&) override {
        return {};
    }
    void frameRect(const CanvasRect&, CanvasColour, bool) override {}

    std::uint32_t pixel(int, int) const override { return kNoPixel; }
    bool savePng(std::u16string_view) const override {
        setLastError(ERROR_NOT_SUPPORTED);
        return false;
    }

private:
    int width_;
    int height_;
};

}  // namespace

std::unique_ptr<OffscreenCanvas> createOffscreenCanvas(int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    return std::make_unique<BlankCanvas>(width, height);
}

}  // namespace platform
