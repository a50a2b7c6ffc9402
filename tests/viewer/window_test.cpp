// The viewer's window driven the way a host drives it: Create, mouse
// events, Paint, and what each paint leaves behind (tooltips, the
// surface's pixels, a saved picture).
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "platform/files.h"
#include "viewer/view_convas_dlg.h"
#include "viewer/viewer_painter.h"
#include "viewer_fixture.h"

using namespace viewer_test;
using testing_support::utf8;

namespace {

constexpr std::uint32_t kRed = 0xC03020;
constexpr std::uint32_t kBlack = 0x000000;
constexpr ViewerRect kSingleArea{4, 4, kViewerWidth - 4, kViewerHeight - 4};

std::uint32_t rgb(platform::CanvasColour c) {
    return (std::uint32_t{c.red} << 16) | (std::uint32_t{c.green} << 8) | c.blue;
}

ViewerPoint centreOf(const ViewerRect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

std::string describe(const ViewerRect& r) {
    return testing::PrintToString(std::vector<int>{r.left, r.top, r.right, r.bottom});
}

// Every region of the picture differs: 64-pixel blocks of their own colour
// and a dark line every 32 pixels, so a wrong offset shows.
ScopedImage patternImage(int width, int height) {
    ScopedImage image(timage::ti_CreateImage(width, height, TI_BGR24));
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
    return image;
}

std::uint32_t imagePixel(TI_IMAGE image, int x, int y) {
    const TI_IMAGE_INFO info = imageInfo(image);
    const std::uint8_t* px = info.data + static_cast<std::ptrdiff_t>(y) * info.stride + x * info.pixelFormat;
    return (std::uint32_t{px[2]} << 16) | (std::uint32_t{px[1]} << 8) | px[0];
}

void countCall(void* user) { ++*static_cast<int*>(user); }

class ViewerWindowTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(window_.Create());
    }

    // Whether this platform's surface keeps what was painted.
    bool pixelsKept() {
        const platform::OffscreenCanvas* canvas = window_.Paint();
        return canvas && canvas->pixel(0, 0) != platform::kNoPixel;
    }

    std::u16string add(std::u16string_view name, const Picture& picture) {
        const std::u16string path = file(name);
        EXPECT_TRUE(writePicture(path, picture));
        EXPECT_TRUE(window_.AddImage(path, -1));
        return path;
    }

    std::vector<std::u16string> addMany(int count) {
        std::vector<std::u16string> paths;
        for (int i = 0; i < count; ++i)
            paths.push_back(add(text::format(u"doc%d.png", i), {40 + 10 * (i % 3), 30, kRed}));
        return paths;
    }

    std::u16string addPattern(std::u16string_view name, int width, int height) {
        const std::u16string path = file(name);
        ScopedImage image = patternImage(width, height);
        EXPECT_EQ(timage::ti_SaveImage(path.c_str(), image.get()), TI_OK);
        EXPECT_TRUE(window_.AddImage(path, -1));
        return path;
    }

    // Press, move with the button held, release.
    void drag(ViewerPoint from, ViewerPoint to) {
        window_.OnMouseMove(from, false);
        window_.OnLButtonDown(from);
        window_.OnMouseMove(to, true);
        window_.OnLButtonUp(to);
    }

    void click(ViewerPoint p) {
        window_.OnLButtonDown(p);
        window_.OnLButtonUp(p);
    }

    // The messages a double click brings.
    void doubleClick(ViewerPoint p) {
        click(p);
        window_.OnLButtonDblClk(p);
        window_.OnLButtonUp(p);
    }

    CViewConvasDlg window_{nullptr};
};

// ---- the window itself ---------------------------------------------------

TEST_F(ViewerWindowTest, CreatePaintsOnceAndThenOnlyAfterARedraw) {
    const platform::OffscreenCanvas* canvas = window_.Paint();
    ASSERT_NE(canvas, nullptr);
    EXPECT_EQ(canvas->width(), kViewerWidth);
    EXPECT_EQ(canvas->height(), kViewerHeight);
    EXPECT_FALSE(window_.NeedsPaint());
    // The viewer was placed at the window's size: a small page is centred in
    // its 657 x 792 area.
    add(u"a.png", {41, 31, kRed});
    EXPECT_TRUE(window_.NeedsPaint());
    EXPECT_EQ(window_.Viewer().SingleImageRect().left, 4 + 308);
    EXPECT_EQ(window_.Paint(), canvas);
    EXPECT_FALSE(window_.NeedsPaint());
    // A mouse move alone asks for nothing.
    window_.OnMouseMove({10, 10}, false);
    EXPECT_FALSE(window_.NeedsPaint());
    ASSERT_TRUE(pixelsKept());
    EXPECT_EQ(canvas->pixel(1, 1), rgb(kViewerBackground));
    EXPECT_EQ(canvas->pixel(10, 10), rgb(kCellBackground));
    const ViewerRect image = window_.Viewer().SingleImageRect();
    // The page itself, where the caption does not reach.
    EXPECT_EQ(canvas->pixel(image.left + 1, image.bottom - 2), kRed);
}

TEST_F(ViewerWindowTest, WindowWithoutCreateHasNoSurface) {
    CViewConvasDlg window(nullptr);
    EXPECT_FALSE(window.IsCreated());
    EXPECT_EQ(window.Paint(), nullptr);
    EXPECT_TRUE(window.Tooltips().empty());
    EXPECT_FALSE(window.SavePicture(file(u"none.png")));
    EXPECT_FALSE(platform::pathExists(file(u"none.png")));
}

TEST_F(ViewerWindowTest, SavedPictureIsWhatWasPainted) {
    add(u"a.png", {300, 200, kRed});
    const std::u16string out = file(u"shot.png");
    ASSERT_TRUE(window_.SavePicture(out));
    const FileFacts facts = readFacts(out);
    ASSERT_TRUE(facts.ok);
    EXPECT_EQ(facts.width, kViewerWidth);
    EXPECT_EQ(facts.height, kViewerHeight);
    const platform::OffscreenCanvas* canvas = window_.Paint();
    const ViewerRect image = window_.Viewer().SingleImageRect();
    for (const ViewerPoint p : {ViewerPoint{1, 1}, ViewerPoint{10, 10}, centreOf(image),
                                ViewerPoint{image.left + 2, image.bottom - 3}}) {
        SCOPED_TRACE(testing::Message() << p.x << "," << p.y);
        EXPECT_EQ(pixelAt(out, 0, p.x, p.y), canvas->pixel(p.x, p.y));
    }
    // The picture follows the viewer: after a change it is painted anew.
    window_.ViewThumb4();
    ASSERT_TRUE(window_.SavePicture(out));
    EXPECT_EQ(pixelAt(out, 0, 10, 10), rgb(kCurrentCellBackground));
}

// ---- tooltips ------------------------------------------------------------

TEST_F(ViewerWindowTest, OneTooltipPerDrawnCell) {
    struct Row {
        const char* name;
        std::function<void(CViewConvasDlg&)> step;
        // Per tool: the cell it lies over and the document whose path it shows.
        std::vector<std::pair<int, int>> tools;
    };
    const std::vector<std::u16string> paths = addMany(10);
    const Row rows[] = {
        {"single view: the current document", [](CViewConvasDlg&) {}, {{0, 9}}},
        {"grid of 9 on its last screen", [](CViewConvasDlg& w) { w.ViewThumb9(); }, {{0, 9}}},
        {"grid of 9 on its first screen", [](CViewConvasDlg& w) { w.GoFirstPage(); },
         {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {8, 8}}},
        {"grid of 4, second screen", [](CViewConvasDlg& w) {
             w.ViewThumb4();
             w.GoNextPage();
         },
         {{0, 4}, {1, 5}, {2, 6}, {3, 7}}},
        {"grid of 4, last screen", [](CViewConvasDlg& w) { w.GoLastPage(); }, {{0, 8}, {1, 9}}},
        {"back to the single view", [](CViewConvasDlg& w) { w.ViewSinglePage(); }, {{0, 8}}},
        // The document after the deleted one takes its place.
        {"single view after a delete", [](CViewConvasDlg& w) { EXPECT_EQ(w.DeleteImage(), 0); }, {{0, 9}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.step(window_);
        window_.Paint();
        const std::vector<ViewerCell> cells = window_.Viewer().LayoutCells();
        const std::vector<ViewerTooltip>& tools = window_.Tooltips();
        ASSERT_EQ(tools.size(), row.tools.size());
        for (std::size_t i = 0; i < tools.size(); ++i) {
            SCOPED_TRACE(i);
            const auto [cell, document] = row.tools[i];
            const ViewerRect expected =
                window_.Viewer().GetViewMode() == kViewSingle ? kSingleArea : cells[static_cast<std::size_t>(cell)].cell;
            EXPECT_EQ(describe(tools[i].rect), describe(expected));
            EXPECT_EQ(utf8(tools[i].text), utf8(paths[static_cast<std::size_t>(document)]));
        }
    }
}

TEST_F(ViewerWindowTest, TooltipsOfEmptyViewAndPageMode) {
    window_.Paint();
    EXPECT_TRUE(window_.Tooltips().empty());
    window_.ViewThumb4();
    window_.Paint();
    EXPECT_TRUE(window_.Tooltips().empty());
    window_.ViewSinglePage();
    const std::u16string tiff = file(u"three.tif");
    ASSERT_TRUE(writeTiff(tiff, {{30, 20, kRed}, {30, 20, kRed}, {30, 20, kRed}}));
    ASSERT_TRUE(window_.AddImage(tiff, -1));
    doubleClick({100, 100});
    ASSERT_TRUE(window_.Viewer().InPageMode());
    EXPECT_EQ(window_.GoNextPage(), 0);
    window_.Paint();
    ASSERT_EQ(window_.Tooltips().size(), 1u);
    EXPECT_EQ(utf8(window_.Tooltips()[0].text), utf8(tiff));
    // Page by page the document goes, and with its last page the tools of
    // the previous paint go too.
    for (int page = 0; page < 3; ++page) EXPECT_EQ(window_.DeleteImage(), 0);
    EXPECT_EQ(window_.GetFileCount(), 0);
    window_.Paint();
    EXPECT_TRUE(window_.Tooltips().empty());
}

// ---- mouse ---------------------------------------------------------------

TEST_F(ViewerWindowTest, DragInZoomMovesTheVisiblePart) {
    constexpr int kW = 1314, kH = 1584;
    const std::u16string path = addPattern(u"big.png", kW, kH);
    ScopedImage picture(timage::ti_LoadImage(path.c_str()));
    ASSERT_TRUE(picture);
    window_.NormalView();
    ASSERT_EQ(window_.Viewer().GetZoomLevel(), kZoomActual);
    const int maxX = kW - kSingleArea.width();
    const int maxY = kH - kSingleArea.height();
    struct Row {
        const char* name;
        ViewerPoint from, to;
        bool leave;              // the pointer leaves the window instead of a release
        ViewerPoint origin;      // scroll origin afterwards
        ViewerPoint shown;       // picture point at the area's top-left corner
    } rows[] = {
        {"a small drag", {300, 300}, {200, 250}, false, {100, 50}, {100, 50}},
        {"another one adds up", {300, 300}, {250, 290}, false, {150, 60}, {150, 60}},
        {"leaving the window ends the drag", {300, 300}, {280, 200}, true, {170, 160}, {170, 160}},
        {"far past the end stops at the picture's edge", {650, 790}, {-5000, -5000}, false,
         {170 + 5650, 160 + 5790}, {maxX, maxY}},
        {"back past the start shows the top-left corner", {0, 0}, {9000, 9000}, false,
         {170 + 5650 - 9000, 160 + 5790 - 9000}, {0, 0}},
    };
    ASSERT_TRUE(pixelsKept());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        window_.OnLButtonDown(row.from);
        // A press never starts from a negative origin.
        EXPECT_GE(window_.Viewer().ScrollOrigin().x, 0);
        EXPECT_GE(window_.Viewer().ScrollOrigin().y, 0);
        window_.OnMouseMove(row.to, true);
        EXPECT_TRUE(window_.NeedsPaint());
        EXPECT_EQ(window_.Viewer().PendingDrag().x, row.from.x - row.to.x);
        if (row.leave) {
            window_.OnMouseLeave();
            // A move with the button still held but no press behind it does nothing.
            window_.OnMouseMove({0, 0}, true);
        } else {
            window_.OnLButtonUp(row.to);
        }
        EXPECT_EQ(window_.Viewer().ScrollOrigin().x, row.origin.x);
        EXPECT_EQ(window_.Viewer().ScrollOrigin().y, row.origin.y);
        EXPECT_EQ(window_.Viewer().PendingDrag().x, 0);
        const platform::OffscreenCanvas* canvas = window_.Paint();
        // Below the caption's line.
        for (const ViewerPoint d : {ViewerPoint{0, 30}, ViewerPoint{37, 91}, ViewerPoint{400, 500},
                                    ViewerPoint{kSingleArea.width() - 1, kSingleArea.height() - 1}}) {
            SCOPED_TRACE(testing::Message() << "offset " << d.x << "," << d.y);
            EXPECT_EQ(canvas->pixel(kSingleArea.left + d.x, kSingleArea.top + d.y),
                      imagePixel(picture.get(), row.shown.x + d.x, row.shown.y + d.y));
        }
    }
    // The origin left before the picture's start is taken back at the next
    // press.
    window_.OnLButtonDown({10, 10});
    EXPECT_EQ(window_.Viewer().ScrollOrigin().x, 0);
    EXPECT_EQ(window_.Viewer().ScrollOrigin().y, 0);
    // Moving without the button drags nothing.
    window_.OnMouseMove({5, 5}, false);
    EXPECT_EQ(window_.Viewer().PendingDrag().x, 0);
    EXPECT_EQ(window_.Viewer().PendingDrag().y, 0);
}

// One grab of the crop rectangle: the part hit (a handle 0 to 7 or
// kCropHitInside) and how far it is pulled.
struct Grab {
    int hit;
    ViewerPoint by;
};

TEST_F(ViewerWindowTest, CropHandlesSizeAndMoveTheRectangle) {
    struct Row {
        const char* name;
        std::vector<Grab> grabs;
        ViewerRect expected;  // in picture coordinates
        bool markerKept;      // the crop keeps the picture's top-left corner block
    } rows[] = {
        {"top-left corner", {{0, {40, 30}}}, {40, 30, 400, 300}, false},
        {"top-right corner", {{1, {-40, 30}}}, {0, 30, 360, 300}, false},
        {"bottom-right corner", {{2, {-40, -30}}}, {0, 0, 360, 270}, true},
        {"bottom-left corner", {{3, {40, -30}}}, {40, 0, 400, 270}, false},
        {"top edge moves only the top", {{4, {99, 30}}}, {0, 30, 400, 300}, false},
        {"right edge moves only the right", {{5, {-40, 99}}}, {0, 0, 360, 300}, true},
        {"bottom edge moves only the bottom", {{6, {99, -30}}}, {0, 0, 400, 270}, true},
        {"left edge moves only the left", {{7, {40, 99}}}, {40, 0, 400, 300}, false},
        {"inside moves it whole", {{2, {-200, -150}}, {kCropHitInside, {50, 40}}}, {50, 40, 250, 190}, false},
        {"left edge pulled past the right one", {{2, {-200, -150}}, {7, {300, 0}}}, {200, 0, 300, 150}, false},
        {"moved partly off the picture: clipped", {{2, {-200, -150}}, {kCropHitInside, {-50, -50}}},
         {0, 0, 150, 100}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CViewConvasDlg window(nullptr);
        ASSERT_TRUE(window.Create());
        const std::u16string path = file(u"crop.png");
        ASSERT_TRUE(writePicture(path, {400, 300, kRed}));
        ASSERT_TRUE(window.AddImage(path, -1));
        EXPECT_EQ(window.Cut(), 0);
        const ViewerRect image = window.Viewer().SingleImageRect();
        ASSERT_EQ(describe(window.Viewer().ShownCropRect()), describe(image));
        for (const Grab& grab : row.grabs) {
            const ViewerRect shown = window.Viewer().ShownCropRect();
            const ViewerPoint at =
                grab.hit == kCropHitInside ? centreOf(shown) : centreOf(CropHandles(shown)[static_cast<std::size_t>(grab.hit)]);
            ASSERT_EQ(window.Viewer().CropHitTest(at), grab.hit);
            const ViewerPoint to{at.x + grab.by.x, at.y + grab.by.y};
            window.OnLButtonDown(at);
            window.OnMouseMove({at.x + grab.by.x / 2, at.y + grab.by.y / 2}, true);
            window.OnMouseMove(to, true);
            window.OnLButtonUp(to);
            window.Paint();
        }
        const ViewerRect shown = window.Viewer().ShownCropRect();
        const ViewerRect expected{image.left + row.expected.left, image.top + row.expected.top,
                                  image.left + row.expected.right, image.top + row.expected.bottom};
        EXPECT_EQ(describe(shown), describe(expected));
        EXPECT_EQ(window.Cut(), 0);
        EXPECT_EQ(window.Viewer().GetMouseMode(), kMouseNone);
        const FileFacts facts = readFacts(path);
        EXPECT_EQ(facts.width, row.expected.width());
        EXPECT_EQ(facts.height, row.expected.height());
        EXPECT_EQ(pixelAt(path, 0, 1, 1) == kBlack, row.markerKept);
        EXPECT_TRUE(window.Viewer().UndoAvailable());
    }
}

// The pointer's shape tells what a press would grab: each handle its own
// sizing shape, the moving shape inside, the arrow outside and whenever no
// crop rectangle is shown.
TEST_F(ViewerWindowTest, PointerShapeFollowsWhatAPressWouldGrab) {
    CViewConvasDlg window(nullptr);
    ASSERT_TRUE(window.Create());
    const std::u16string path = file(u"cursor.png");
    ASSERT_TRUE(writePicture(path, {400, 300, kRed}));
    ASSERT_TRUE(window.AddImage(path, -1));
    const ViewerRect image = window.Viewer().SingleImageRect();
    EXPECT_EQ(window.CursorAt(centreOf(image)), ViewerCursor::Arrow) << "no crop rectangle yet";
    EXPECT_EQ(window.Cut(), 0);
    const std::vector<ViewerRect> handles = CropHandles(window.Viewer().ShownCropRect());
    ASSERT_EQ(handles.size(), 8u);
    struct Row {
        const char* name;
        ViewerPoint at;
        ViewerCursor expected;
    } rows[] = {
        {"top-left corner", centreOf(handles[0]), ViewerCursor::SizeNwse},
        {"top-right corner", centreOf(handles[1]), ViewerCursor::SizeNesw},
        {"bottom-right corner", centreOf(handles[2]), ViewerCursor::SizeNwse},
        {"bottom-left corner", centreOf(handles[3]), ViewerCursor::SizeNesw},
        {"top edge", centreOf(handles[4]), ViewerCursor::SizeNs},
        {"right edge", centreOf(handles[5]), ViewerCursor::SizeWe},
        {"bottom edge", centreOf(handles[6]), ViewerCursor::SizeNs},
        {"left edge", centreOf(handles[7]), ViewerCursor::SizeWe},
        {"inside", centreOf(image), ViewerCursor::SizeAll},
        {"outside the picture", {image.left - 2, image.top - 2}, ViewerCursor::Arrow},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(window.CursorAt(row.at), row.expected) << row.name;
    }
    // Leaving crop mode takes the shapes away.
    window.ViewThumb4();
    EXPECT_EQ(window.CursorAt(centreOf(image)), ViewerCursor::Arrow) << "after leaving crop mode";
}

TEST_F(ViewerWindowTest, RubberBandCropAtZoomZero) {
    struct Row {
        const char* name;
        ViewerPoint from, to;  // relative to the picture's top-left corner on screen
        ViewerRect expected;   // in picture coordinates
        bool markerKept;
    } rows[] = {
        {"from outside the picture, down and right", {-20, -20}, {100, 80}, {0, 0, 100, 80}, true},
        {"from below the picture, up and left", {420, 320}, {300, 200}, {300, 200, 400, 300}, false},
        {"across the whole picture and beyond", {-30, -30}, {500, 400}, {0, 0, 400, 300}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CViewConvasDlg window(nullptr);
        ASSERT_TRUE(window.Create());
        const std::u16string path = file(u"band.png");
        ASSERT_TRUE(writePicture(path, {400, 300, kRed}));
        ASSERT_TRUE(window.AddImage(path, -1));
        window.Cut();
        const ViewerRect image = window.Viewer().SingleImageRect();
        const ViewerPoint from{image.left + row.from.x, image.top + row.from.y};
        const ViewerPoint to{image.left + row.to.x, image.top + row.to.y};
        ASSERT_EQ(window.Viewer().CropHitTest(from), kCropHitOutside);
        window.OnLButtonDown(from);
        // The old rectangle goes as the new one starts.
        window.Paint();
        EXPECT_TRUE(window.Viewer().ShownCropRect().empty());
        window.OnMouseMove(to, true);
        window.OnLButtonUp(to);
        const platform::OffscreenCanvas* canvas = window.Paint();
        const ViewerRect shown = window.Viewer().ShownCropRect();
        EXPECT_EQ(describe(shown), describe({image.left + row.expected.left, image.top + row.expected.top,
                                             image.left + row.expected.right, image.top + row.expected.bottom}));
        // The corner handles are drawn solid.
        EXPECT_EQ(canvas->pixel(shown.left + 1, shown.bottom - 2), kBlack);
        EXPECT_EQ(canvas->pixel(shown.right - 2, shown.bottom - 2), kBlack);
        window.Cut();
        const FileFacts facts = readFacts(path);
        EXPECT_EQ(facts.width, row.expected.width());
        EXPECT_EQ(facts.height, row.expected.height());
        EXPECT_EQ(pixelAt(path, 0, 1, 1) == kBlack, row.markerKept);
    }
}

TEST_F(ViewerWindowTest, ClickOutsideTheRectangleWithoutMovingEmptiesIt) {
    const std::u16string path = add(u"band.png", {400, 300, kRed});
    const std::string before = testing_support::readBytes(path);
    window_.Cut();
    const ViewerRect image = window_.Viewer().SingleImageRect();
    click({image.left - 10, image.top - 10});
    EXPECT_TRUE(window_.Viewer().ShownCropRect().empty());
    // Cut then offers the whole picture again and crops nothing.
    EXPECT_EQ(window_.Cut(), 0);
    EXPECT_EQ(window_.Viewer().GetMouseMode(), kMouseCrop);
    EXPECT_EQ(describe(window_.Viewer().ShownCropRect()), describe(image));
    EXPECT_EQ(testing_support::readBytes(path), before);
    // Leaving the window halfway through a band ends it as a release would.
    window_.OnLButtonDown({image.right + 5, image.bottom + 5});
    window_.OnMouseMove({image.left + 300, image.top + 200}, true);
    window_.OnMouseLeave();
    window_.OnMouseMove({image.left, image.top}, true);
    EXPECT_EQ(describe(window_.Viewer().ShownCropRect()),
              describe({image.left + 300, image.top + 200, image.right, image.bottom}));
}

TEST_F(ViewerWindowTest, ClickInAGridSelectsTheCell) {
    addMany(3);
    EXPECT_EQ(window_.RotateLeft(), 0);
    EXPECT_TRUE(window_.Viewer().UndoAvailable());
    window_.ViewThumb4();
    window_.Paint();
    const std::vector<ViewerCell> cells = window_.Viewer().LayoutCells();
    struct Row {
        const char* name;
        ViewerPoint at;
        int current;
    } rows[] = {
        {"first cell", centreOf(cells[0].cell), 0},
        {"third cell, near its corner", {cells[2].cell.left + 1, cells[2].cell.bottom - 1}, 2},
        {"the empty fourth cell", centreOf(cells[3].cell), 2},
        {"between two cells", {cells[0].cell.right + 2, 200}, 2},
        {"the window's margin", {1, 1}, 2},
        {"second cell", centreOf(cells[1].cell), 1},
    };
    ASSERT_TRUE(pixelsKept());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        click(row.at);
        EXPECT_EQ(window_.Viewer().CurrentDocumentIndex(), row.current);
        EXPECT_FALSE(window_.Viewer().UndoAvailable());
        const platform::OffscreenCanvas* canvas = window_.Paint();
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            const ViewerRect& cell = cells[static_cast<std::size_t>(i)].cell;
            EXPECT_EQ(canvas->pixel(cell.left + 1, cell.top + 1),
                      rgb(i == row.current ? kCurrentCellBackground : kCellBackground));
        }
    }
}

TEST_F(ViewerWindowTest, DoubleClickEntersPageMode) {
    struct Row {
        const char* name;
        int mode;
        int cell;  // grid cell double-clicked; -1 the single view
        bool pageMode;
        int viewMode;
        int callbacks;
    } rows[] = {
        {"single view, three-page document", kViewSingle, -1, true, kViewSingle, 1},
        {"grid, cell of the three-page document", kViewGrid4, 1, true, kViewSingle, 1},
        {"grid, cell of a one-page document", kViewGrid4, 0, false, kViewSingle, 1},
        {"grid, empty cell", kViewGrid4, 3, false, kViewGrid4, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CViewConvasDlg window(nullptr);
        ASSERT_TRUE(window.Create());
        int callbacks = 0;
        window.SetPageModeCallback(countCall, &callbacks);
        ASSERT_TRUE(writePicture(file(u"one.png"), {40, 30, kRed}));
        ASSERT_TRUE(window.AddImage(file(u"one.png"), -1));
        ASSERT_TRUE(writeTiff(file(u"three.tif"), {{30, 20, kRed}, {30, 20, kRed}, {30, 20, kRed}}));
        ASSERT_TRUE(window.AddImage(file(u"three.tif"), -1));
        window.Viewer().SetViewMode(row.mode);
        window.Paint();
        ViewerPoint at{100, 100};
        if (row.cell >= 0) at = centreOf(window.Viewer().LayoutCells()[static_cast<std::size_t>(row.cell)].cell);
        window.OnLButtonDown(at);
        window.OnLButtonUp(at);
        window.OnLButtonDblClk(at);
        window.OnLButtonUp(at);
        EXPECT_EQ(window.Viewer().InPageMode(), row.pageMode);
        EXPECT_EQ(window.Viewer().GetViewMode(), row.viewMode);
        EXPECT_EQ(callbacks, row.callbacks);
        if (row.pageMode) {
            EXPECT_EQ(window.Viewer().CurrentPageIndex(), 0);
            EXPECT_EQ(window.Viewer().ScreenCount(), 3);
            // Once in page mode a double click does nothing more.
            window.OnLButtonDblClk(at);
            EXPECT_EQ(callbacks, row.callbacks);
        }
    }
}

}  // namespace
