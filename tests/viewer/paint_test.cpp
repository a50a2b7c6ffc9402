// The viewer's drawing, checked against golden pictures of whole screens
// and, for the rectangle drawer and the canvas, pixel by pixel.
//
// DOCIVA_REGENERATE_GOLDEN=1 rewrites the golden pictures from what is
// drawn now (see docs/testing.md).
#include <cstdlib>
#include <functional>

#include "platform/posix/canvas_cairo.h"
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
    return value && std::string(value) == "1";
}

std::string goldenPath(const std::string& name) { return std::string(DOCIVA_GOLDEN_DIR) + name + ".png"; }

// Compares the canvas with the golden picture outside `skip` (the caption,
// whose text depends on the fonts installed and on the temporary path).
// Passes when at least 99.9 % of the compared pixels are within 3 levels
// per channel.
void expectMatchesGolden(const platform::CairoCanvas& canvas, const std::string& name, const ViewerRect& skip) {
    const std::string path = goldenPath(name);
    if (regenerating()) {
        ASSERT_TRUE(canvas.savePng(path)) << path;
        return;
    }
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
            if (std::max({dr, dg, db}) > 3) ++differing;
        }
    }
    if (differing * 1000 > compared) {
        const std::string actual = name + ".actual.png";
        canvas.savePng(actual);
        ADD_FAILURE() << name << ": " << differing << " of " << compared << " pixels differ; drawn picture in "
                      << actual;
    }
}

// Cairo and fontconfig keep caches for the whole process; they are let go
// after the last test so the leak checker reports only real leaks.
class CanvasCaches : public ::testing::Environment {
public:
    void TearDown() override { platform::CairoCanvas::releaseProcessCaches(); }
};
[[maybe_unused]] ::testing::Environment* const canvasCaches =
    ::testing::AddGlobalTestEnvironment(new CanvasCaches);  // GoogleTest owns it

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
        platform::CairoCanvas canvas(kViewerWidth, kViewerHeight);
        ASSERT_TRUE(canvas.valid());
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
    platform::CairoCanvas canvas(kViewerWidth, kViewerHeight);
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
        platform::CairoCanvas canvas(100, 100);
        DrawImageRect(canvas, image.get(), row.target);
        EXPECT_EQ(canvas.pixel(row.probe.x, row.probe.y), row.colour);
    }
}

TEST(ViewerCairoCanvas, BlitsGreyAndBottomUpRowsAndClips) {
    // Two rows of grey, stored bottom row first, 4-byte stride.
    const std::uint8_t grey[8] = {10, 20, 0, 0, 30, 40, 0, 0};
    platform::CairoCanvas canvas(4, 4);
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

}  // namespace
}  // namespace viewer_test
