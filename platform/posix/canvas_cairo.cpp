#include "platform/posix/canvas_cairo.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>

#include "platform/text.h"

namespace platform {

namespace {

struct PatternDeleter {
    void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
};
struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

double unit(std::uint8_t v) { return v / 255.0; }

CanvasRect intersect(const CanvasRect& a, const CanvasRect& b) {
    CanvasRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
    if (r.empty()) return {};
    return r;
}

}  // namespace

struct CairoCanvas::State {
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface;
    std::unique_ptr<cairo_t, ContextDeleter> context;
    int width = 0;
    int height = 0;
};

CairoCanvas::CairoCanvas(int width, int height) : state_(std::make_unique<State>()) {
    if (width <= 0 || height <= 0) return;
    state_->surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(state_->surface.get()) != CAIRO_STATUS_SUCCESS) {
        state_->surface.reset();
        return;
    }
    state_->context.reset(cairo_create(state_->surface.get()));
    if (cairo_status(state_->context.get()) != CAIRO_STATUS_SUCCESS) {
        state_->context.reset();
        state_->surface.reset();
        return;
    }
    state_->width = width;
    state_->height = height;
    // A new device surface starts white, as a window's memory bitmap would
    // after its first erase.
    fillRect({0, 0, width, height}, {255, 255, 255, 255});
}

CairoCanvas::~CairoCanvas() = default;

bool CairoCanvas::valid() const { return static_cast<bool>(state_->context); }

int CairoCanvas::width() const { return state_->width; }

int CairoCanvas::height() const { return state_->height; }

CanvasRect CairoCanvas::clipBox() const { return {0, 0, state_->width, state_->height}; }

void CairoCanvas::fillRect(const CanvasRect& rect, CanvasColour colour) {
    if (!valid() || rect.empty()) return;
    cairo_t* cr = state_->context.get();
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgb(cr, unit(colour.red), unit(colour.green), unit(colour.blue));
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_fill(cr);
    cairo_restore(cr);
}

void CairoCanvas::blit(int x, int y, const CanvasPixels& pixels, int sx, int sy, int width, int height) {
    if (!valid() || !pixels.data || pixels.width <= 0 || pixels.height <= 0) return;
    if (pixels.bytesPerPixel != 1 && pixels.bytesPerPixel != 3 && pixels.bytesPerPixel != 4) return;
    if (pixels.stride < pixels.width * pixels.bytesPerPixel) return;
    // Clip the source block to the picture, then the target to the surface.
    if (sx < 0) { width += sx; x -= sx; sx = 0; }
    if (sy < 0) { height += sy; y -= sy; sy = 0; }
    width = std::min(width, pixels.width - sx);
    height = std::min(height, pixels.height - sy);
    const CanvasRect target = intersect({x, y, x + width, y + height}, clipBox());
    if (target.empty()) return;
    sx += target.left - x;
    sy += target.top - y;

    cairo_surface_t* surface = state_->surface.get();
    cairo_surface_flush(surface);
    unsigned char* base = cairo_image_surface_get_data(surface);
    const int destStride = cairo_image_surface_get_stride(surface);
    const int bpp = pixels.bytesPerPixel;
    for (int row = 0; row < target.height(); ++row) {
        const int imageRow = sy + row;
        const int memoryRow = pixels.topDown ? imageRow : pixels.height - 1 - imageRow;
        const std::uint8_t* src =
            pixels.data + static_cast<std::ptrdiff_t>(memoryRow) * pixels.stride + static_cast<std::ptrdiff_t>(sx) * bpp;
        auto* dest = reinterpret_cast<std::uint32_t*>(base + static_cast<std::ptrdiff_t>(target.top + row) * destStride) +
                     target.left;
        for (int col = 0; col < target.width(); ++col, src += bpp) {
            const std::uint32_t b = src[0];
            const std::uint32_t g = bpp == 1 ? src[0] : src[1];
            const std::uint32_t r = bpp == 1 ? src[0] : src[2];
            dest[col] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty_rectangle(surface, target.left, target.top, target.width(), target.height());
}

CanvasRect CairoCanvas::drawText(int x, int y, std::u16string_view text, const CanvasTextStyle& style,
                                 const CanvasRect& bounds) {
    if (!valid() || text.empty()) return {};
    cairo_t* cr = state_->context.get();
    const std::string utf8 = text::toUtf8(text);
    const std::string font = text::toUtf8(style.font);
    cairo_save(cr);
    const CanvasRect clip = intersect(bounds, clipBox());
    cairo_rectangle(cr, clip.left, clip.top, clip.width(), clip.height());
    cairo_clip(cr);
    cairo_select_font_face(cr, font.c_str(), CAIRO_FONT_SLANT_NORMAL,
                           style.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, style.pixelHeight);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    cairo_font_extents_t font_extents{};
    cairo_font_extents(cr, &font_extents);
    cairo_text_extents_t extents{};
    cairo_text_extents(cr, utf8.c_str(), &extents);
    const int boxWidth = static_cast<int>(extents.x_advance + 0.999);
    const int boxHeight = static_cast<int>(font_extents.height + 0.999);
    const CanvasRect box{x, y, x + boxWidth, y + boxHeight};

    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    const CanvasColour bg = style.background;
    cairo_set_source_rgba(cr, unit(bg.red), unit(bg.green), unit(bg.blue), unit(bg.alpha));
    cairo_rectangle(cr, box.left, box.top, box.width(), box.height());
    cairo_fill(cr);

    const CanvasColour fg = style.colour;
    cairo_set_source_rgba(cr, unit(fg.red), unit(fg.green), unit(fg.blue), unit(fg.alpha));
    cairo_move_to(cr, x, y + font_extents.ascent);
    cairo_show_text(cr, utf8.c_str());
    cairo_restore(cr);
    return intersect(box, clip);
}

void CairoCanvas::frameRect(const CanvasRect& rect, CanvasColour colour, bool dotted) {
    if (!valid() || rect.empty()) return;
    cairo_t* cr = state_->context.get();
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_source_rgb(cr, unit(colour.red), unit(colour.green), unit(colour.blue));
    cairo_set_line_width(cr, 1.0);
    if (dotted) {
        const double dash[] = {1.0, 1.0};
        cairo_set_dash(cr, dash, 2, 0.0);
    }
    // Pixel centres, so the one-pixel line covers whole pixels.
    cairo_rectangle(cr, rect.left + 0.5, rect.top + 0.5, rect.width() - 1.0, rect.height() - 1.0);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void CairoCanvas::fillPattern(const CanvasRect& rect, const CanvasPattern& pattern, CanvasColour ink) {
    if (!valid()) return;
    const CanvasRect target = intersect(rect, clipBox());
    if (target.empty()) return;
    // The bits become an 8 x 8 alpha mask repeated from the surface's
    // origin; sampled at pixel centres without smoothing, each pixel takes
    // its bit exactly, as the Windows pattern brush gives it.
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> mask(cairo_image_surface_create(CAIRO_FORMAT_A8, 8, 8));
    if (cairo_surface_status(mask.get()) != CAIRO_STATUS_SUCCESS) return;
    cairo_surface_flush(mask.get());
    unsigned char* bits = cairo_image_surface_get_data(mask.get());
    const int stride = cairo_image_surface_get_stride(mask.get());
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            bits[y * stride + x] = (pattern.rows[static_cast<std::size_t>(y)] >> (7 - x)) & 1 ? 255 : 0;
    cairo_surface_mark_dirty(mask.get());
    std::unique_ptr<cairo_pattern_t, PatternDeleter> repeat(cairo_pattern_create_for_surface(mask.get()));
    cairo_pattern_set_extend(repeat.get(), CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(repeat.get(), CAIRO_FILTER_NEAREST);

    cairo_t* cr = state_->context.get();
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_rectangle(cr, target.left, target.top, target.width(), target.height());
    cairo_clip(cr);
    cairo_set_source_rgb(cr, unit(ink.red), unit(ink.green), unit(ink.blue));
    cairo_mask(cr, repeat.get());
    cairo_restore(cr);
}

std::uint32_t CairoCanvas::pixel(int x, int y) const {
    if (!valid() || x < 0 || y < 0 || x >= state_->width || y >= state_->height) return 0xFFFFFFFFu;
    cairo_surface_t* surface = state_->surface.get();
    cairo_surface_flush(surface);
    const unsigned char* base = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const auto* row = reinterpret_cast<const std::uint32_t*>(base + static_cast<std::ptrdiff_t>(y) * stride);
    return row[x] & 0x00FFFFFFu;
}

bool CairoCanvas::savePng(const std::string& utf8Path) const {
    if (!valid()) return false;
    cairo_surface_flush(state_->surface.get());
    return cairo_surface_write_to_png(state_->surface.get(), utf8Path.c_str()) == CAIRO_STATUS_SUCCESS;
}

void CairoCanvas::releaseProcessCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace platform
