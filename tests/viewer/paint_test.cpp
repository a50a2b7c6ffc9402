// The viewer's drawing, checked against golden pictures of whole screens
// and, for the rectangle drawer and the canvas, pixel by pixel.
//
// The same goldens, drawn on Linux, check the Windows canvas too: the
// geometry and the colours must be the same there, only the tolerance is
// wider (see expectMatchesGolden).
//
// DOCIVA_REGENERATE_GOLDEN=1 rewrites the golden pictures from what is
// drawn now (see docs/testing.md); on Linux only, where they come from.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "platform/offscreen_canvas.h"
#include "viewer/viewer_painter.h"
#include "viewer_fixture.h"

namespace viewer_test {
namespace {

// A picture whose every region differs: coloured 64-pixel blocks with a
// one-pixel dark line every 32 pixels, so a shift or a wrong zoom shows.
bool writePattern(const std::u16string& path, int width, int height) {
    ScopedImage image(timage::ti_CreateImage(width, height, TI_BGR24));
    if (!image) return false;
    const TI_IMAGE_INFO info = imageInfo(image.get());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = info.data + static_cast<std::ptrdiff_t>(y) * info.stride;
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = row + 3 * x;
            const bool line = x % 32 == 0 || y % 32 == 0;
            px[0] = line ? 20 : static_cast<std::uint8_t>(60 + (x / 64) * 37 % 190);
            px[1] = line ? 20 : static_cast<std::uint8_t>(60 + (y / 64) * 53 % 190);
            px[2] = line ? 20 : static_cast<std::uint8_t>(60 + ((x / 64 + y / 64) * 29) % 190);
        }
    }
    return timage::ti_SaveImage(path.c_str(), image.get()) == TI_OK;
}

bool regenerating() {
    const char* value = std::getenv("DOCIVA_REGENERATE_GOLDEN");
    return value && std::string(value) == "1" && !testing_support::onWindows();
}

std::unique_ptr<platform::OffscreenCanvas> viewerCanvas(int width = kViewerWidth, int height = kViewerHeight) {
    auto canvas = platform::createOffscreenCanvas(width, height);
    EXPECT_TRUE(canvas) << "no off-screen surface of " << width << " x " << height;
    return canvas;
}

// How close a drawn screen must come to its golden picture. On Linux the
// goldens are this canvas's own pictures, so only rounding may differ. On
// Windows GDI draws them: the fills, the copied pictures and the crop
// rectangle's hatched band and handles must land on the same pixels, but text is rendered by other fonts and
// anti-aliasing, and its box may be a pixel wider or taller than the one
// left out of the comparison.
struct GoldenTolerance {
    int levels;          // per channel
    long perThousand;    // pixels allowed past `levels`, per thousand compared
};
GoldenTolerance goldenTolerance() {
    if (testing_support::onWindows()) return {4, 5};
    return {3, 1};
}

std::string goldenPath(const std::string& name) { return std::string(DOCIVA_GOLDEN_DIR) + name + ".png"; }

// Compares the canvas with the golden picture outside `skip` (the caption,
// whose text depends on the fonts installed and on the temporary path).
// Passes when at least 99.9 % of the compared pixels are within 3 levels
// per channel (Windows: 99.5 % within 4).
void expectMatchesGolden(const platform::OffscreenCanvas& canvas, const std::string& name, const ViewerRect& skip) {
    const std::string path = goldenPath(name);
    if (regenerating()) {
        ASSERT_TRUE(canvas.savePng(text::fromUtf8(path))) << path;
        return;
    }
    const GoldenTolerance tolerance = goldenTolerance();
    ScopedImage golden(timage::ti_LoadImage(text::fromUtf8(path).c_str()));
    ASSERT_TRUE(golden) << "missing golden " << path << " (DOCIVA_REGENERATE_GOLDEN=1 makes it)";
    const TI_IMAGE_INFO info = imageInfo(golden.get());
    ASSERT_EQ(info.width, canvas.width());
    ASSERT_EQ(info.height, canvas.height());
    ASSERT_GE(info.pixelFormat, 3);
    long compared = 0;
    long differing = 0;
    for (int y = 0; y < info.height; ++y) {
        const std::uint8_t* row = info.data + static_cast<std::ptrdiff_t>(y) * info.stride;
        for (int x = 0; x < info.width; ++x) {
            if (skip.contains({x, y})) continue;
            const std::uint8_t* g = row + x * info.pixelFormat;
            const std::uint32_t c = canvas.pixel(x, y);
            const int dr = std::abs(static_cast<int>((c >> 16) & 0xFF) - g[2]);
            const int dg = std::abs(static_cast<int>((c >> 8) & 0xFF) - g[1]);
            const int db = std::abs(static_cast<int>(c & 0xFF) - g[0]);
            ++compared;
            if (std::max({dr, dg, db}) > tolerance.levels) ++differing;
        }
    }
    // The count is printed on every run, so a drift towards the limit shows
    // before it fails.
    std::printf("golden %s: %ld of %ld pixels differ by more than %d levels\n", name.c_str(), differing, compared,
                tolerance.levels);
    if (differing * 1000 > compared * tolerance.perThousand) {
        const std::string actual = name + ".actual.png";
        canvas.savePng(text::fromUtf8(actual));
        ADD_FAILURE() << name << ": " << differing << " of " << compared << " pixels differ; drawn picture in "
                      << actual;
    }
}

class ViewerPaintTest : public ViewerTest {
protected:
    // Adds a pattern picture as a new document.
    void addPattern(CImageViewer& viewer, std::u16string_view name, int width, int height) {
        const std::u16string path = file(name);
        ASSERT_TRUE(writePattern(path, width, height));
        ASSERT_TRUE(viewer.AddImage(path, -1));
    }

    // Documents of portrait, landscape and small pictures, so cells fit
    // them both ways and a small one stays unenlarged.
    void addDocuments(CImageViewer& viewer, std::u16string_view prefix, int count) {
        for (int i = 0; i < count; ++i) {
            const int kind = i % 3;
            addPattern(viewer, text::format(u"%s%d.png", prefix, i), kind == 0 ? 900 : kind == 1 ? 1200 : 150,
                       kind == 0 ? 1200 : kind == 1 ? 700 : 100);
        }
    }

    void addTiff(CImageViewer& viewer, std::u16string_view name) {
        const std::u16string path = file(name);
        ASSERT_TRUE(writeTiff(path, {{1314, 1584, 0x3060C0}, {1314, 1584, 0xC06030}, {800, 600, 0x30A060}}));
        ASSERT_TRUE(viewer.AddImage(path, -1));
    }
};

struct GoldenRow {
    const char* name;
    std::function<void(CImageViewer&)> setUp;
    bool caption;  // the single view draws a caption
};

TEST_F(ViewerPaintTest, ScreensMatchGoldenPictures) {
    auto big = [this](CImageViewer& v) { addPattern(v, u"big.png", 1314, 1584); };
    const GoldenRow rows[] = {
        {"empty", [](CImageViewer&) {}, false},
        {"single_fit", big, true},
        {"single_middle", [&](CImageViewer& v) { big(v); EXPECT_EQ(v.ZoomIn(), 1); }, true},
        {"single_actual", [&](CImageViewer& v) { big(v); v.NormalView(); }, true},
        {"single_actual_dragged",
         [&](CImageViewer& v) {
             big(v);
             v.NormalView();
             v.OnLButtonDown({300, 300});
             v.OnMouseMove({200, 250}, true);
             v.OnLButtonUp({200, 250});
         },
         true},
        // Dragged far past the picture's end: the offset stops at its edge.
        {"single_actual_dragged_past_end",
         [&](CImageViewer& v) {
             big(v);
             v.NormalView();
             v.OnLButtonDown({600, 700});
             v.OnMouseMove({0, 0}, true);
             v.OnLButtonUp({0, 0});
             v.OnLButtonDown({600, 700});
             v.OnMouseMove({0, 0}, true);
         },
         true},
        {"single_small_centred", [&](CImageViewer& v) { addPattern(v, u"small.png", 301, 201); }, true},
        {"page_mode_fit",
         [&](CImageViewer& v) {
             addTiff(v, u"three.tif");
             v.OnLButtonDblClk({100, 100});
         },
         true},
        {"page_mode_middle",
         [&](CImageViewer& v) {
             addTiff(v, u"three.tif");
             v.OnLButtonDblClk({100, 100});
             EXPECT_EQ(v.ZoomIn(), 1);
         },
         true},
        {"page_mode_actual_second_page",
         [&](CImageViewer& v) {
             addTiff(v, u"three.tif");
             v.OnLButtonDblClk({100, 100});
             EXPECT_EQ(v.GoNextPage(), 0);
             v.NormalView();
         },
         true},
        {"grid4_newest_current",
         [&](CImageViewer& v) {
             addDocuments(v, u"g4_", 3);
             v.SetViewMode(kViewGrid4);
         },
         false},
        {"grid4_first_current",
         [&](CImageViewer& v) {
             addDocuments(v, u"g4_", 3);
             v.SetViewMode(kViewGrid4);
             EXPECT_EQ(v.GoFirstPage(), 0);
         },
         false},
        {"grid9_last_screen",
         [&](CImageViewer& v) {
             addDocuments(v, u"g9_", 10);
             v.SetViewMode(kViewGrid9);
         },
         false},
        {"grid9_first_screen",
         [&](CImageViewer& v) {
             addDocuments(v, u"g9_", 10);
             v.SetViewMode(kViewGrid9);
             EXPECT_EQ(v.GoPrevPage(), 1);
             v.LayoutCells();
             v.OnLButtonUp({400, 400});  // the middle cell becomes current
         },
         false},
        {"crop",
         [&](CImageViewer& v) {
             addPattern(v, u"crop.png", 400, 300);
             EXPECT_EQ(v.Cut(), 0);
             ASSERT_EQ(v.GetMouseMode(), kMouseCrop);
             // Reaches past the picture's left and top: drawn clipped.
             v.SetCropRect({100, 200, 400, 420});
         },
         true},
    };
    for (const GoldenRow& row : rows) {
        SCOPED_TRACE(row.name);
        CImageViewer viewer;
        row.setUp(viewer);
        if (HasFatalFailure()) return;
        const auto surface = viewerCanvas();
        ASSERT_TRUE(surface);
        platform::OffscreenCanvas& canvas = *surface;
        const ViewerPaintResult result = PaintViewer(viewer, canvas);
        EXPECT_EQ(!result.caption.empty(), row.caption);
        if (row.caption) {
            // One line of 12-pixel text on the picture's top-left corner.
            const ViewerRect picture =
                viewer.GetZoomLevel() == kZoomFit ? viewer.SingleImageRect() : ViewerRect{4, 4, 4, 4};
            EXPECT_EQ(result.caption.left, picture.left);
            EXPECT_EQ(result.caption.top, picture.top);
            EXPECT_GE(result.caption.height(), 10);
            EXPECT_LE(result.caption.height(), 24);
        }
        expectMatchesGolden(canvas, row.name, result.caption);
    }
}

TEST_F(ViewerPaintTest, CropRectangleIsClippedToThePicture) {
    CImageViewer viewer;
    addPattern(viewer, u"crop.png", 400, 300);
    viewer.Cut();
    viewer.SetCropRect({100, 200, 400, 420});
    const auto surface = viewerCanvas();
    ASSERT_TRUE(surface);
    platform::OffscreenCanvas& canvas = *surface;
    const ViewerPaintResult result = PaintViewer(viewer, canvas);
    const ViewerRect picture = viewer.SingleImageRect();
    EXPECT_EQ(result.crop.left, picture.left);
    EXPECT_EQ(result.crop.top, picture.top);
    EXPECT_EQ(result.crop.right, 400);
    EXPECT_EQ(result.crop.bottom, 420);
    // Corner handle: solid black.
    EXPECT_EQ(canvas.pixel(result.crop.left + 1, result.crop.top + 1), 0x000000u);
    EXPECT_EQ(canvas.pixel(result.crop.right - 1, result.crop.bottom - 1), 0x000000u);
}

TEST_F(ViewerPaintTest, CaptionTexts) {
    EXPECT_EQ(ViewerCaption(false, 1, 3, u"C:\\scan\\a.tif"), u"\"C:\\scan\\a.tif\"");
    EXPECT_EQ(ViewerCaption(true, 1, 3, u"C:\\scan\\a.tif"), u"1/3 of \"C:\\scan\\a.tif\"");
    EXPECT_EQ(ViewerCaption(true, 12, 12, u"x%d.tif"), u"12/12 of \"x%d.tif\"");
}

TEST(ViewerPaintInterpolation, AreaAveragingOnlyWhenRatiosAddUpToMoreThan201) {
    struct Row {
        const char* name;
        double rx, ry;
        int mode;
    } rows[] = {
        {"same size", 1.0, 1.0, TI_INTER_LINEAR},
        {"at the limit", 1.005, 1.005, TI_INTER_LINEAR},
        {"just past", 1.006, 1.005, TI_INTER_AREA},
        {"halved", 2.0, 2.0, TI_INTER_AREA},
        {"enlarged", 0.5, 0.5, TI_INTER_LINEAR},
        {"one way only", 2.5, 0.4, TI_INTER_AREA},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ResizeInterpolation(row.rx, row.ry), row.mode);
    }
}

// Four quadrants of distinct colours, to see which part of a picture went
// where.
ScopedImage quadrants(int size) {
    ScopedImage image(timage::ti_CreateImage(size, size, TI_BGR24));
    const int h = size / 2;
    const TI_RECT q[4] = {{0, 0, h, h}, {h, 0, h, h}, {0, h, h, h}, {h, h, h, h}};
    const std::uint32_t colours[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};
    for (int i = 0; i < 4; ++i) timage::ti_FillRect(image.get(), &q[i], colours[i]);
    return image;
}

TEST_F(ViewerPaintTest, RectangleDrawerClipsAndMapsTheVisiblePart) {
    struct Row {
        const char* name;
        ViewerRect target;
        ViewerPoint probe;
        std::uint32_t colour;
    } rows[] = {
        // 1:1, hanging over the top-left corner: the canvas's origin shows
        // the picture's middle.
        {"1:1 clipped, top-left", {-50, -50, 150, 150}, {1, 1}, 0xFF0000},
        {"1:1 clipped, bottom-left", {-50, -50, 150, 150}, {1, 98}, 0x0000FF},
        {"1:1 clipped, top-right", {-50, -50, 150, 150}, {98, 1}, 0x00FF00},
        // Halved and hanging over the left edge: the visible part maps back
        // to the picture's right half.
        {"halved clipped, top", {-50, 0, 50, 100}, {10, 10}, 0x00FF00},
        {"halved clipped, bottom", {-50, 0, 50, 100}, {10, 90}, 0xFFFF00},
        {"enlarged", {0, 0, 400, 400}, {99, 99}, 0xFF0000},
        {"outside the canvas", {300, 300, 400, 400}, {50, 50}, 0xFFFFFF},
    };
    ScopedImage image = quadrants(200);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto canvas = viewerCanvas(100, 100);
        ASSERT_TRUE(canvas);
        DrawImageRect(*canvas, image.get(), row.target);
        EXPECT_EQ(canvas->pixel(row.probe.x, row.probe.y), row.colour);
    }
}

TEST(ViewerCanvas, BlitsGreyAndBottomUpRowsAndClips) {
    // Two rows of grey, stored bottom row first, 4-byte stride.
    const std::uint8_t grey[8] = {10, 20, 0, 0, 30, 40, 0, 0};
    const auto surface = viewerCanvas(4, 4);
    ASSERT_TRUE(surface);
    platform::OffscreenCanvas& canvas = *surface;
    canvas.blit(0, 0, {grey, 2, 2, 4, 1, false}, 0, 0, 2, 2);
    EXPECT_EQ(canvas.pixel(0, 0), 0x1E1E1Eu);  // top row is the second in memory
    EXPECT_EQ(canvas.pixel(1, 1), 0x141414u);
    // Past the right edge: only what fits is copied, nothing wraps.
    canvas.blit(3, 3, {grey, 2, 2, 4, 1, true}, 0, 0, 2, 2);
    EXPECT_EQ(canvas.pixel(3, 3), 0x0A0A0Au);
    EXPECT_EQ(canvas.pixel(0, 3), 0xFFFFFFu);
    // A source block reaching past the picture is cut to it.
    canvas.blit(0, 2, {grey, 2, 2, 4, 1, true}, 1, 1, 5, 5);
    EXPECT_EQ(canvas.pixel(0, 2), 0x282828u);
    EXPECT_EQ(canvas.pixel(1, 2), 0xFFFFFFu);
}

// Rows the way a device-independent bitmap lays them out, and the ways
// the caller's stride may differ from that: padded wider, or packed
// without the padding GDI wants.
TEST(ViewerCanvas, BlitsRowsWhateverTheirStride) {
    struct Row {
        const char* name;
        int bytesPerPixel;
        int stride;
        bool topDown;
    } rows[] = {
        {"BGR, rows padded to DWORDs", 3, 16, true},
        {"BGR, packed rows", 3, 15, true},
        {"BGR, wider rows", 3, 24, false},
        {"BGRA, packed rows", 4, 20, true},
        {"grey, packed rows", 1, 5, false},
        {"grey, padded rows", 1, 8, true},
    };
    constexpr int kWidth = 5;
    constexpr int kHeight = 3;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Pixel (x, y) has the levels 10x + 50y + channel.
        std::vector<std::uint8_t> data(static_cast<std::size_t>(row.stride) * kHeight, 0xEE);
        for (int y = 0; y < kHeight; ++y) {
            const int memoryRow = row.topDown ? y : kHeight - 1 - y;
            for (int x = 0; x < kWidth; ++x)
                for (int c = 0; c < row.bytesPerPixel; ++c)
                    data[static_cast<std::size_t>(memoryRow * row.stride + x * row.bytesPerPixel + c)] =
                        static_cast<std::uint8_t>(10 * x + 50 * y + c);
        }
        auto expected = [&](int x, int y) {
            const std::uint32_t base = static_cast<std::uint32_t>(10 * x + 50 * y);
            if (row.bytesPerPixel == 1) return base * 0x010101u;
            return ((base + 2) << 16) | ((base + 1) << 8) | base;
        };
        const auto canvas = viewerCanvas(8, 8);
        ASSERT_TRUE(canvas);
        const platform::CanvasPixels pixels{data.data(), kWidth, kHeight, row.stride, row.bytesPerPixel, row.topDown};
        // The block from (1, 1) on, 3 x 2, to (2, 4).
        canvas->blit(2, 4, pixels, 1, 1, 3, 2);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                SCOPED_TRACE(testing::Message() << x << "," << y);
                EXPECT_EQ(canvas->pixel(2 + x, 4 + y), expected(1 + x, 1 + y));
            }
        EXPECT_EQ(canvas->pixel(5, 4), 0xFFFFFFu);
        EXPECT_EQ(canvas->pixel(2, 6), 0xFFFFFFu);
        EXPECT_EQ(canvas->pixel(1, 4), 0xFFFFFFu);
    }
}

// The dotted frame: every other pixel counted clockwise from the top-left
// corner, the way the Linux canvas's one-pixel dash falls, and the
// bottom-right corner always. Odd and even
// sides, since the count carries over from side to side.
TEST(ViewerCanvas, DottedFrameAlternatesAlongTheFrame) {
    struct Row {
        const char* name;
        platform::CanvasRect rect;
        // Pixels expected black (true) or untouched white (false).
        std::vector<std::pair<ViewerPoint, bool>> probes;
    } rows[] = {
        {"even width, odd height", {2, 3, 12, 10},
         {{{2, 3}, true}, {{3, 3}, false}, {{4, 3}, true}, {{10, 3}, true}, {{11, 3}, false},
          {{11, 4}, true}, {{11, 5}, false}, {{11, 8}, true}, {{11, 9}, true},
          {{10, 9}, false}, {{9, 9}, true}, {{3, 9}, true},
          {{2, 8}, true}, {{2, 7}, false}, {{2, 4}, true},
          {{5, 6}, false}}},
        {"odd width, even height", {1, 1, 8, 7},
         {{{1, 1}, true}, {{7, 1}, true}, {{7, 2}, false}, {{7, 3}, true},
          {{6, 6}, false}, {{5, 6}, true}, {{2, 6}, false},
          {{1, 5}, false}, {{1, 4}, true}, {{1, 2}, true}, {{4, 3}, false}}},
        {"even width, even height", {1, 1, 11, 9},
         {{{10, 1}, false}, {{10, 2}, true}, {{10, 7}, false}, {{10, 8}, true}, {{9, 8}, true}, {{8, 8}, false}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto canvas = viewerCanvas(16, 16);
        ASSERT_TRUE(canvas);
        canvas->frameRect(row.rect, {0, 0, 0, 255}, true);
        for (const auto& [p, black] : row.probes) {
            SCOPED_TRACE(testing::Message() << p.x << "," << p.y);
            EXPECT_EQ(canvas->pixel(p.x, p.y), black ? 0x000000u : 0xFFFFFFu);
        }
        // Nothing outside the frame.
        EXPECT_EQ(canvas->pixel(row.rect.left - 1, row.rect.top), 0xFFFFFFu);
        EXPECT_EQ(canvas->pixel(row.rect.right, row.rect.bottom - 2), 0xFFFFFFu);
    }
}

TEST(ViewerCanvas, SolidFrameIsOnePixelInsideTheRectangle) {
    const auto canvas = viewerCanvas(16, 16);
    ASSERT_TRUE(canvas);
    canvas->frameRect({2, 2, 9, 8}, {10, 20, 30, 255}, false);
    struct Row {
        ViewerPoint p;
        std::uint32_t colour;
    } rows[] = {{{2, 2}, 0x0A141E}, {{8, 2}, 0x0A141E}, {{8, 7}, 0x0A141E}, {{2, 7}, 0x0A141E}, {{5, 2}, 0x0A141E},
                {{8, 5}, 0x0A141E}, {{3, 3}, 0xFFFFFF}, {{9, 5}, 0xFFFFFF},  {{5, 8}, 0xFFFFFF},  {{1, 1}, 0xFFFFFF}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.p.x << "," << row.p.y);
        EXPECT_EQ(canvas->pixel(row.p.x, row.p.y), row.colour);
    }
}

// A one-bit pattern: set bits take the ink, clear bits leave what was
// there, the top bit of a row is its leftmost pixel, and the pattern is
// anchored at the surface's origin whatever the rectangle. The pattern
// is lopsided (a diagonal with one extra bit), so a mirrored, flipped or
// shifted pattern shows; every pixel of the surface is checked.
TEST(ViewerCanvas, PatternFillPaintsSetBitsAndLeavesTheRest) {
    struct Row {
        const char* name;
        platform::CanvasRect rect;
        platform::CanvasColour ink;
    } rows[] = {
        {"black, rectangle off the pattern's grid", {3, 2, 19, 13}, {0, 0, 0, 255}},
        {"a colour, over two backgrounds", {5, 1, 23, 15}, {200, 30, 60, 255}},
        {"reaching past the surface", {-7, -3, 40, 40}, {90, 250, 10, 255}},
        {"empty", {6, 6, 6, 12}, {0, 0, 0, 255}},
    };
    platform::CanvasPattern pattern;
    pattern.rows = {0xC0, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};
    constexpr int kWidth = 24;
    constexpr int kHeight = 16;
    auto background = [](int x) { return x < 12 ? 0x0000FFu : 0x0AC81Eu; };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto canvas = viewerCanvas(kWidth, kHeight);
        ASSERT_TRUE(canvas);
        canvas->fillRect({0, 0, 12, kHeight}, {0, 0, 255, 255});
        canvas->fillRect({12, 0, kWidth, kHeight}, {10, 200, 30, 255});
        canvas->fillPattern(row.rect, pattern, row.ink);
        // Twice: a cached brush or mask must give the same again.
        canvas->fillPattern(row.rect, pattern, row.ink);
        const std::uint32_t ink = (std::uint32_t{row.ink.red} << 16) | (std::uint32_t{row.ink.green} << 8) | row.ink.blue;
        int wrong = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const bool inside = x >= row.rect.left && x < row.rect.right && y >= row.rect.top && y < row.rect.bottom;
                const bool set = (pattern.rows[static_cast<std::size_t>(y % 8)] >> (7 - x % 8)) & 1;
                const std::uint32_t expected = inside && set ? ink : background(x);
                if (canvas->pixel(x, y) != expected && ++wrong <= 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << canvas->pixel(x, y)
                                  << " instead of " << expected;
            }
        EXPECT_EQ(wrong, 0);
    }
}

// The caption's box is blended over what lies below, at the background's
// alpha, on either platform; the text is clipped to its bounds.
TEST(ViewerCanvas, CaptionBoxBlendsItsBackgroundOverThePicture) {
    const auto canvas = viewerCanvas(200, 60);
    ASSERT_TRUE(canvas);
    canvas->fillRect({0, 0, 200, 60}, {0, 0, 255, 255});
    platform::CanvasTextStyle style;
    style.font = u"Arial Unicode MS";  // missing on most machines: some other face draws
    style.pixelHeight = 12;
    style.bold = true;
    style.background = kCaptionBackground;
    // Upper-case letters without descenders: the box's bottom rows hold no
    // glyph pixels.
    const platform::CanvasRect box = canvas->drawText(10, 20, u"HIHIHI", style, {0, 0, 200, 60});
    EXPECT_EQ(box.left, 10);
    EXPECT_EQ(box.top, 20);
    EXPECT_GE(box.height(), 10);
    EXPECT_LE(box.height(), 24);
    EXPECT_GE(box.width(), 20);
    // Over blue: (220, 115, 10) at 220/255 plus blue at 35/255.
    const std::uint32_t below = canvas->pixel(box.left + 1, box.bottom - 1);
    const int r = static_cast<int>((below >> 16) & 0xFF);
    const int g = static_cast<int>((below >> 8) & 0xFF);
    const int b = static_cast<int>(below & 0xFF);
    EXPECT_NEAR(r, 190, 2);
    EXPECT_NEAR(g, 99, 2);
    EXPECT_NEAR(b, 44, 2);
    // Something white was written: the glyphs.
    bool white = false;
    for (int y = box.top; y < box.bottom && !white; ++y)
        for (int x = box.left; x < box.right && !white; ++x) white = canvas->pixel(x, y) == 0xFFFFFFu;
    EXPECT_TRUE(white);
    EXPECT_EQ(canvas->pixel(box.right, box.top), 0x0000FFu);
    EXPECT_EQ(canvas->pixel(box.left - 1, box.top), 0x0000FFu);

    // Bounds that cut the box: nothing drawn past them, and the box given
    // back is the part inside.
    canvas->fillRect({0, 0, 200, 60}, {0, 0, 255, 255});
    const platform::CanvasRect cut = canvas->drawText(10, 20, u"HIHIHI", style, {0, 0, 20, 25});
    EXPECT_EQ(cut.right, 20);
    EXPECT_EQ(cut.bottom, 25);
    for (int y = 20; y < 40; ++y)
        for (int x = 20; x < 60; ++x) ASSERT_EQ(canvas->pixel(x, y), 0x0000FFu) << x << "," << y;
    // Bounds that miss the box: nothing at all.
    EXPECT_TRUE(canvas->drawText(10, 20, u"HI", style, {100, 0, 200, 10}).empty());
}

// What savePng writes is what pixel() reads, read back by the toolkit.
TEST_F(ViewerPaintTest, SavedPngHoldsThePixels) {
    CImageViewer viewer;
    addPattern(viewer, u"saved.png", 500, 400);
    viewer.SetViewMode(kViewGrid4);
    const auto canvas = viewerCanvas();
    ASSERT_TRUE(canvas);
    PaintViewer(viewer, *canvas);
    const std::u16string out = file(u"screen.png");
    ASSERT_TRUE(canvas->savePng(out));
    const FileFacts facts = readFacts(out);
    ASSERT_TRUE(facts.ok);
    EXPECT_EQ(facts.width, kViewerWidth);
    EXPECT_EQ(facts.height, kViewerHeight);
    ScopedImage saved(timage::ti_LoadImage(out.c_str()));
    ASSERT_TRUE(saved);
    const TI_IMAGE_INFO info = imageInfo(saved.get());
    ASSERT_GE(info.pixelFormat, 3);
    long differing = 0;
    for (int y = 0; y < info.height; ++y) {
        const std::uint8_t* row = info.data + static_cast<std::ptrdiff_t>(y) * info.stride;
        for (int x = 0; x < info.width; ++x) {
            const std::uint8_t* px = row + x * info.pixelFormat;
            const std::uint32_t c = (std::uint32_t{px[2]} << 16) | (std::uint32_t{px[1]} << 8) | px[0];
            if (c != canvas->pixel(x, y)) ++differing;
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_FALSE(canvas->savePng(u""));
    EXPECT_FALSE(canvas->savePng(file(u"no such folder/x.png")));
}

}  // namespace
}  // namespace viewer_test
