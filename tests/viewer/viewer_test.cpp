#include <gtest/gtest.h>

#include "platform/files.h"
#include "viewer/view_convas_dlg.h"
#include "viewer_fixture.h"

using namespace viewer_test;
using testing_support::utf8;

namespace {

constexpr std::uint32_t kRed = 0xC03020;

class ViewerModelTest : public ViewerTest {
protected:
    // count small PNG documents; returns their paths.
    std::vector<std::u16string> addDocuments(CImageViewer& viewer, int count) {
        std::vector<std::u16string> paths;
        for (int i = 0; i < count; ++i) {
            paths.push_back(file(text::format(u"doc%d.png", i)));
            EXPECT_TRUE(writePicture(paths.back(), {40, 30, kRed}));
            EXPECT_TRUE(viewer.AddImage(paths.back(), -1));
        }
        return paths;
    }
};

TEST_F(ViewerModelTest, FormatCodeFollowsExtension) {
    ASSERT_TRUE(writeTiff(file(u"one.tif"), {{20, 20, kRed}}));
    ASSERT_TRUE(writeTiff(file(u"three.TIFF"), {{20, 20, kRed}, {20, 20, kRed}, {20, 20, kRed}}));
    struct Row {
        std::u16string name;
        int code;
    } rows[] = {{u"a.bmp", 5},      {u"a.JPG", 1},        {u"a.jpeg", 1}, {u"a.Pdf", 2},  {u"one.tif", 3},
                {u"three.TIFF", 8}, {u"a.png", 4},        {u"a.gif", 7},  {u"a.jb2", 10}, {u"a.xyz", -1},
                {u"noextension", -1}, {u"missing.tif", 3}};
    for (const Row& row : rows) {
        SCOPED_TRACE(utf8(row.name));
        EXPECT_EQ(formatCodeFromExtension(file(row.name)), row.code);
    }
}

TEST_F(ViewerModelTest, ThreePageTiffIsOneDocumentOfCodeEight) {
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(writeTiff(file(u"scan.tif"), {{30, 20, kRed}, {30, 20, kRed}, {30, 20, kRed}}));
    ASSERT_TRUE(viewer.AddImage(file(u"scan.tif"), -1));
    EXPECT_EQ(viewer.GetFileCount(), 1);
    EXPECT_EQ(viewer.PageCount(0), 3);
    EXPECT_EQ(viewer.FormatCode(0), 8);
    EXPECT_EQ(viewer.CurrentDocumentIndex(), 0);
    EXPECT_FALSE(viewer.InPageMode());
}

TEST_F(ViewerModelTest, UnreadableFileIsNotAdded) {
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(testing_support::writeBytes(file(u"junk.jpg"), "not a picture"));
    int called = 0;
    viewer.SetRedrawCallback([&] { ++called; });
    EXPECT_FALSE(viewer.AddImage(file(u"junk.jpg"), -1));
    EXPECT_FALSE(viewer.AddImage(file(u"absent.png"), 4));
    EXPECT_FALSE(viewer.AddImage(file(u"absent.pdf"), -1));  // no PDF library given
    EXPECT_EQ(viewer.GetFileCount(), 0);
    EXPECT_EQ(viewer.CurrentDocumentIndex(), -1);
    EXPECT_EQ(called, 0);
}

// A pipe, a device, a socket or a folder under a document's name is not
// added, and the loader does not wait on it: opening a pipe nobody writes
// to would hold the viewer's thread for good.
TEST_F(ViewerModelTest, SpecialFilesAreNotAddedAndDoNotBlock) {
    testing_support::TempDir dir;
    // Each kind under each name: made afresh, then moved to the name.
    std::vector<testing_support::SpecialFile> files;
    for (const char16_t* extension : {u".png", u".tif", u".pdf", u".jpg"}) {
        for (const auto& f : testing_support::makeSpecialFiles(dir, u"odd")) {
            const testing_support::SpecialFile named{f.kind, f.path + extension};
            if (platform::moveFile(f.path, named.path)) files.push_back(named);
        }
    }
    ASSERT_FALSE(files.empty());
    for (const auto& f : files) {
        SCOPED_TRACE(std::string(f.kind) + " " + utf8(f.path));
        CImageViewer viewer(nullptr);
        bool added = true;
        EXPECT_TRUE(testing_support::returnsPromptly([&] { added = viewer.AddImage(f.path, -1); }, files));
        EXPECT_FALSE(added);
        EXPECT_EQ(viewer.GetFileCount(), 0);
    }
}

TEST_F(ViewerModelTest, FittingAndZoomImages) {
    struct Row {
        const char* name;
        Picture picture;
        double scale;
        int displayW, displayH, middleW, middleH, fullW, fullH;
    } rows[] = {
        {"small stays unenlarged", {100, 50, kRed}, 1.0, 100, 50, 100, 50, 100, 50},
        {"exact box", {657, 792, kRed}, 1.0, 657, 792, 657, 792, 657, 792},
        {"twice the width", {1314, 792, kRed}, 0.5, 657, 396, 985, 594, 1314, 792},
        {"three times the height", {300, 2376, kRed}, 1.0 / 3, 100, 792, 200, 1584, 300, 2376},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string path = file(u"fit.png");
        ASSERT_TRUE(writePicture(path, row.picture));
        CImageViewObj page;
        ASSERT_TRUE(page.Open(path, kDisplayBoxWidth, kDisplayBoxHeight, 0));
        EXPECT_NEAR(page.Scale(), row.scale, 1e-9);
        const int sizes[3][2] = {{row.displayW, row.displayH}, {row.middleW, row.middleH}, {row.fullW, row.fullH}};
        for (int level = 0; level < 3; ++level) {
            SCOPED_TRACE(level);
            const TI_IMAGE_INFO info = imageInfo(page.ImageAt(level));
            EXPECT_EQ(info.width, sizes[level][0]);
            EXPECT_EQ(info.height, sizes[level][1]);
        }
        if (row.scale == 1.0) {
            EXPECT_EQ(page.ImageAt(1), page.DisplayImage());
            EXPECT_EQ(page.ImageAt(2), page.DisplayImage());
        }
        EXPECT_EQ(page.ImageAt(3), nullptr);
        EXPECT_EQ(page.ImageAt(-1), nullptr);
    }
}

TEST_F(ViewerModelTest, EmptyViewerRefusesEverything) {
    CImageViewer viewer(nullptr);
    EXPECT_EQ(viewer.GoFirstPage(), -1);
    EXPECT_EQ(viewer.GoPrevPage(), -1);
    EXPECT_EQ(viewer.GoNextPage(), -1);
    EXPECT_EQ(viewer.GoLastPage(), -1);
    EXPECT_EQ(viewer.ZoomIn(), -1);
    EXPECT_EQ(viewer.ZoomOut(), -1);
    EXPECT_EQ(viewer.DeleteImage(), 1);
    EXPECT_EQ(viewer.Rotate(90), -1);
    EXPECT_EQ(viewer.Flip(), -1);
    EXPECT_EQ(viewer.Mirror(), -1);
    EXPECT_EQ(viewer.Cut(), 0);
    EXPECT_EQ(viewer.Undo(), 0);
    EXPECT_EQ(viewer.ScreenCount(), 0);
    EXPECT_EQ(viewer.CurrentScreen(), 0);
    EXPECT_FALSE(viewer.UndoAvailable());
}

TEST_F(ViewerModelTest, ScreenCountsAcrossViewModes) {
    CImageViewer viewer(nullptr);
    addDocuments(viewer, 10);
    struct Row {
        int mode, screens, screenOfLast, firstItem;
    } rows[] = {{1, 10, 9, 9}, {4, 3, 2, 8}, {9, 2, 1, 9}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        viewer.SetViewMode(row.mode);
        EXPECT_EQ(viewer.GetViewMode(), row.mode);
        EXPECT_EQ(viewer.ScreenCount(), row.screens);
        EXPECT_EQ(viewer.CurrentScreen(), row.screenOfLast);
        EXPECT_EQ(viewer.FirstItemOnScreen(), row.firstItem);
    }
}

TEST_F(ViewerModelTest, NineGridWithTenDocumentsShowsTheTenthAlone) {
    CImageViewer viewer(nullptr);
    addDocuments(viewer, 10);
    viewer.SetViewMode(9);
    std::vector<ViewerCell> cells = viewer.LayoutCells();
    ASSERT_EQ(cells.size(), 9u);
    EXPECT_EQ(cells[0].item, 9);
    EXPECT_TRUE(cells[0].selected);
    for (std::size_t i = 1; i < cells.size(); ++i) EXPECT_EQ(cells[i].item, -1) << i;
    EXPECT_EQ(viewer.GoPrevPage(), 1);
    EXPECT_EQ(viewer.CurrentDocumentIndex(), 0);
    cells = viewer.LayoutCells();
    for (int i = 0; i < 9; ++i) EXPECT_EQ(cells[static_cast<std::size_t>(i)].item, i);
}

TEST_F(ViewerModelTest, GridCellGeometry) {
    CImageViewer viewer(nullptr);
    addDocuments(viewer, 1);
    viewer.SetViewMode(4);
    const std::vector<ViewerCell> cells = viewer.LayoutCells();
    // Pitch (665 - 4) / 2 = 330.5 by (800 - 4) / 2 = 398.
    const ViewerRect expected[] = {{4, 4, 330, 398}, {335, 4, 661, 398}, {4, 402, 330, 796}, {335, 402, 661, 796}};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cells[i].cell.left, expected[i].left);
        EXPECT_EQ(cells[i].cell.top, expected[i].top);
        EXPECT_EQ(cells[i].cell.right, expected[i].right);
        EXPECT_EQ(cells[i].cell.bottom, expected[i].bottom);
    }
    // A 40 x 30 thumbnail is centred, not enlarged.
    EXPECT_EQ(cells[0].image.width(), 40);
    EXPECT_EQ(cells[0].image.left, 4 + (326 - 40) / 2);
}

struct NavStep {
    const char* call;
    int result;
    int current;
    int screen;
};

int callNavigation(CImageViewer& viewer, const std::string& call) {
    if (call == "first") return viewer.GoFirstPage();
    if (call == "prev") return viewer.GoPrevPage();
    if (call == "next") return viewer.GoNextPage();
    return viewer.GoLastPage();
}

TEST_F(ViewerModelTest, NavigationResultsByScreens) {
    struct Script {
        int mode;
        int documents;
        std::vector<NavStep> steps;
    } scripts[] = {
        {1, 3, {{"first", 0, 0, 0}, {"prev", 1, 0, 0}, {"next", 0, 1, 1}, {"next", 1, 2, 2}, {"next", 1, 2, 2},
                {"prev", 0, 1, 1}, {"prev", 1, 0, 0}, {"last", 0, 2, 2}, {"last", 0, 2, 2}}},
        {4, 10, {{"first", 0, 0, 0}, {"next", 0, 4, 1}, {"next", 1, 8, 2}, {"next", 1, 8, 2}, {"prev", 0, 4, 1},
                 {"last", 0, 8, 2}, {"prev", 0, 4, 1}, {"prev", 1, 0, 0}}},
        {9, 10, {{"prev", 1, 0, 0}, {"prev", 1, 0, 0}, {"next", 1, 9, 1}, {"first", 0, 0, 0}, {"last", 0, 9, 1}}},
        {9, 9, {{"first", 0, 0, 0}, {"next", 1, 0, 0}, {"last", 0, 0, 0}}},
    };
    for (const Script& script : scripts) {
        CImageViewer viewer(nullptr);
        addDocuments(viewer, script.documents);
        viewer.SetViewMode(script.mode);
        int n = 0;
        for (const NavStep& step : script.steps) {
            SCOPED_TRACE(testing::Message() << "mode " << script.mode << ", " << script.documents << " documents, step "
                                            << n++ << " " << step.call);
            EXPECT_EQ(callNavigation(viewer, step.call), step.result);
            EXPECT_EQ(viewer.CurrentDocumentIndex(), step.current);
            EXPECT_EQ(viewer.CurrentScreen(), step.screen);
            EXPECT_EQ(viewer.GetZoomLevel(), 0);
        }
    }
}

TEST_F(ViewerModelTest, ZoomStepsAndTheirLimits) {
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(writePicture(file(u"big.png"), {1314, 1584, kRed}));
    ASSERT_TRUE(viewer.AddImage(file(u"big.png"), -1));
    EXPECT_EQ(viewer.ZoomOut(), -1);
    EXPECT_EQ(viewer.ZoomIn(), 1);
    EXPECT_EQ(viewer.GetMouseMode(), kMouseDrag);
    EXPECT_EQ(viewer.ZoomIn(), 2);
    EXPECT_EQ(viewer.ZoomIn(), -1);
    EXPECT_EQ(viewer.GetZoomLevel(), 2);
    EXPECT_EQ(viewer.ZoomOut(), 1);
    EXPECT_EQ(viewer.GetMouseMode(), kMouseDrag);
    EXPECT_EQ(viewer.ZoomOut(), 0);
    EXPECT_EQ(viewer.GetMouseMode(), kMouseNone);
    viewer.NormalView();
    EXPECT_EQ(viewer.GetZoomLevel(), 2);
    EXPECT_EQ(viewer.GetMouseMode(), kMouseDrag);
    viewer.FullView();
    EXPECT_EQ(viewer.GetZoomLevel(), 0);
    EXPECT_EQ(viewer.GetMouseMode(), kMouseNone);
    viewer.SetViewMode(4);
    EXPECT_EQ(viewer.ZoomIn(), -1);
    EXPECT_EQ(viewer.GetZoomLevel(), 0);
}

TEST_F(ViewerModelTest, DragMovesTheScrollOrigin) {
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(writePicture(file(u"big.png"), {1314, 1584, kRed}));
    ASSERT_TRUE(viewer.AddImage(file(u"big.png"), -1));
    viewer.NormalView();
    viewer.OnLButtonDown({100, 100});
    viewer.OnMouseMove({70, 60}, true);
    EXPECT_EQ(viewer.PendingDrag().x, 30);
    EXPECT_EQ(viewer.PendingDrag().y, 40);
    viewer.OnLButtonUp({70, 60});
    EXPECT_EQ(viewer.ScrollOrigin().x, 30);
    EXPECT_EQ(viewer.ScrollOrigin().y, 40);
    EXPECT_EQ(viewer.PendingDrag().x, 0);
}

void countCall(void* user) { ++*static_cast<int*>(user); }

TEST_F(ViewerModelTest, PageModeWalksThePagesOfTheCurrentDocument) {
    CImageViewer viewer(nullptr);
    int callbacks = 0;
    viewer.SetPageModeCallback(countCall, &callbacks);
    addDocuments(viewer, 1);
    ASSERT_TRUE(writeTiff(file(u"scan.tif"), {{30, 20, kRed}, {30, 20, kRed}, {30, 20, kRed}}));
    ASSERT_TRUE(viewer.AddImage(file(u"scan.tif"), -1));
    EXPECT_EQ(viewer.ScreenCount(), 2);
    viewer.OnLButtonDblClk({10, 10});
    ASSERT_TRUE(viewer.InPageMode());
    EXPECT_EQ(callbacks, 1);
    EXPECT_EQ(viewer.ScreenCount(), 3);
    EXPECT_EQ(viewer.CurrentScreen(), 0);
    EXPECT_EQ(viewer.GoNextPage(), 0);
    EXPECT_EQ(viewer.CurrentPageIndex(), 1);
    EXPECT_EQ(viewer.GoNextPage(), 1);
    EXPECT_EQ(viewer.CurrentScreen(), 2);
    EXPECT_EQ(viewer.CurrentDocumentIndex(), 1);
    // A second double click changes nothing; a grid ends page mode.
    viewer.OnLButtonDblClk({10, 10});
    EXPECT_EQ(callbacks, 1);
    viewer.SetViewMode(4);
    viewer.LayoutCells();
    EXPECT_FALSE(viewer.InPageMode());
    EXPECT_EQ(viewer.ScreenCount(), 1);
}

TEST_F(ViewerModelTest, DoubleClickOnOnePageDocumentIsNotPageMode) {
    CImageViewer viewer(nullptr);
    int callbacks = 0;
    viewer.SetPageModeCallback(countCall, &callbacks);
    addDocuments(viewer, 2);
    viewer.OnLButtonDblClk({10, 10});
    EXPECT_FALSE(viewer.InPageMode());
    EXPECT_EQ(callbacks, 0);
    // In a grid a double click on a cell goes to the single view.
    viewer.SetViewMode(4);
    viewer.LayoutCells();
    viewer.OnLButtonUp({20, 20});
    EXPECT_EQ(viewer.CurrentDocumentIndex(), 0);
    viewer.OnLButtonDblClk({20, 20});
    EXPECT_EQ(viewer.GetViewMode(), 1);
    EXPECT_EQ(callbacks, 1);
    EXPECT_FALSE(viewer.InPageMode());
}

TEST_F(ViewerModelTest, DialogPlacesTheViewerAndForwards) {
    CViewConvasDlg dialog(nullptr);
    dialog.OnInitDialog();
    ASSERT_TRUE(writePicture(file(u"a.png"), {40, 30, kRed}));
    EXPECT_TRUE(dialog.AddImage(file(u"a.png"), -1));
    EXPECT_EQ(dialog.GetFileCount(), 1);
    const ViewerRect image = dialog.Viewer().SingleImageRect();
    // Centred in the 657 x 792 area that starts at 4, 4.
    EXPECT_EQ(image.left, 4 + 309);
    EXPECT_EQ(image.top, 4 + 381);
    EXPECT_EQ(dialog.ZoomIn(), 1);  // a page at scale 1 zooms to the same image
    EXPECT_EQ(dialog.DeleteImage(), 0);
    EXPECT_EQ(dialog.GetFileCount(), 0);
    EXPECT_FALSE(platform::pathExists(file(u"a.png")));
}

}  // namespace
