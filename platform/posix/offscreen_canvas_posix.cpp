#include "platform/offscreen_canvas.h"

#include "platform/posix/canvas_cairo.h"
#include "platform/posix/native_path.h"

namespace platform {

namespace {

class CairoOffscreenCanvas final : public OffscreenCanvas {
public:
    CairoOffscreenCanvas(int width, int height) : canvas_(width, height) {}

    bool valid() const { return canvas_.valid(); }

    int width() const override { return canvas_.width(); }
    int height() const override { return canvas_.height(); }
    CanvasRect clipBox() const override { return canvas_.clipBox(); }
    void fillRect(const CanvasRect& rect, CanvasColour colour) override { canvas_.fillRect(rect, colour); }
    void blit(int x, int y, const CanvasPixels& pixels, int sx, int sy, int width, int height) override {
        canvas_.blit(x, y, pixels, sx, sy, width, height);
    }
    CanvasRect drawText(int x, int y, std::u16string_view text, const CanvasTextStyle& style,
                        const CanvasRect& bounds) override {
        return canvas_.drawText(x, y, text, style, bounds);
    }
    void frameRect(const CanvasRect& rect, CanvasColour colour, bool dotted) override {
        canvas_.frameRect(rect, colour, dotted);
    }
    void fillPattern(const CanvasRect& rect, const CanvasPattern& pattern, CanvasColour ink) override {
        canvas_.fillPattern(rect, pattern, ink);
    }

    std::uint32_t pixel(int x, int y) const override { return canvas_.pixel(x, y); }
    bool savePng(std::u16string_view path) const override {
        // Paths written the Windows way name the same file here.
        return !path.empty() && canvas_.savePng(posix::toNativePath(path));
    }

private:
    CairoCanvas canvas_;
};

}  // namespace

std::unique_ptr<OffscreenCanvas> createOffscreenCanvas(int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    auto canvas = std::make_unique<CairoOffscreenCanvas>(width, height);
    if (!canvas->valid()) return nullptr;
    return canvas;
}

}  // namespace platform
