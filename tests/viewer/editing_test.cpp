#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <set>
#include <unistd.h>

#include "control/add_image_request.h"
#include "platform/files.h"
#include "platform/path.h"
#include "viewer_fixture.h"

using namespace viewer_test;
using testing_support::utf8;

namespace {

constexpr std::uint32_t kRed = 0xC03020;
constexpr std::uint32_t kBlue = 0x2040C0;

bool nearColour(std::uint32_t a, std::uint32_t b) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int ca = static_cast<int>((a >> shift) & 0xFF);
        const int cb = static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(ca - cb) > 40) return false;
    }
    return true;
}

// Where the black marker lies in a picture: 0 top-left, 1 top-right,
// 2 bottom-right, 3 bottom-left; -1 none.
int markerCorner(const std::u16string& path, int page = 0) {
    const FileFacts f = readFacts(path);
    if (!f.ok) return -1;
    const int xs[4] = {1, f.width - 2, f.width - 2, 1};
    const int ys[4] = {1, 1, f.height - 2, f.height - 2};
    for (int i = 0; i < 4; ++i)
        if (nearColour(pixelAt(path, page, xs[i], ys[i]), 0)) return i;
    return -1;
}

using EditingTest = ViewerTest;

TEST_F(EditingTest, EachEditTurnsThePictureAndWritesItBack) {
    struct Row {
        const char* name;
        int (*edit)(CImageViewer&);
        int width, height, corner;
    } rows[] = {
        {"rotate left", [](CImageViewer& v) { return v.Rotate(90); }, 60, 80, 3},
        {"rotate 180", [](CImageViewer& v) { return v.Rotate(180); }, 80, 60, 2},
        {"rotate right", [](CImageViewer& v) { return v.Rotate(270); }, 60, 80, 1},
        {"flip", [](CImageViewer& v) { return v.Flip(); }, 80, 60, 3},
        {"mirror", [](CImageViewer& v) { return v.Mirror(); }, 80, 60, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string path = file(u"page.png");
        ASSERT_TRUE(writePicture(path, {80, 60, kRed}));
        CImageViewer viewer(nullptr);
        ASSERT_TRUE(viewer.AddImage(path, -1));
        EXPECT_EQ(row.edit(viewer), 0);
        EXPECT_TRUE(viewer.UndoAvailable());
        const FileFacts f = readFacts(path);
        EXPECT_EQ(f.width, row.width);
        EXPECT_EQ(f.height, row.height);
        EXPECT_EQ(markerCorner(path), row.corner);
        EXPECT_FALSE(platform::pathExists(file(u"page_.png")));
        EXPECT_EQ(viewer.Undo(), 0);
        EXPECT_EQ(markerCorner(path), 0);
        EXPECT_EQ(readFacts(path).width, 80);
        EXPECT_FALSE(viewer.UndoAvailable());
    }
}

TEST_F(EditingTest, UndoSteps) {
    const std::u16string path = file(u"page.png");
    ASSERT_TRUE(writePicture(path, {80, 60, kRed}));
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(path, -1));
    // Rotate, flip, undo: the rotated page without the flip.
    EXPECT_EQ(viewer.Rotate(180), 0);
    EXPECT_EQ(viewer.Flip(), 0);
    EXPECT_EQ(markerCorner(path), 1);
    EXPECT_EQ(viewer.Undo(), 0);
    EXPECT_EQ(markerCorner(path), 2);
    // A second undo does nothing.
    EXPECT_EQ(viewer.Undo(), 0);
    EXPECT_EQ(markerCorner(path), 2);
}

TEST_F(EditingTest, NavigationBetweenEditAndUndoDropsTheUndo) {
    const std::u16string a = file(u"a.png");
    const std::u16string b = file(u"b.png");
    ASSERT_TRUE(writePicture(a, {80, 60, kRed}));
    ASSERT_TRUE(writePicture(b, {80, 60, kBlue}));
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(a, -1));
    ASSERT_TRUE(viewer.AddImage(b, -1));
    ASSERT_EQ(viewer.GoFirstPage(), 0);
    EXPECT_EQ(viewer.Rotate(90), 0);
    EXPECT_EQ(viewer.GoNextPage(), 1);
    EXPECT_FALSE(viewer.UndoAvailable());
    EXPECT_EQ(viewer.GoPrevPage(), 1);
    EXPECT_EQ(viewer.Undo(), 0);
    EXPECT_EQ(readFacts(a).width, 60);
    EXPECT_EQ(readFacts(b).width, 80);
}

TEST_F(EditingTest, CutTwiceWithoutMovingChangesNothing) {
    const std::u16string path = file(u"page.png");
    ASSERT_TRUE(writePicture(path, {80, 60, kRed}));
    const std::string before = testing_support::readBytes(path);
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(path, -1));
    EXPECT_EQ(viewer.Cut(), 0);
    EXPECT_EQ(viewer.GetMouseMode(), kMouseCrop);
    const ViewerRect image = viewer.SingleImageRect();
    EXPECT_EQ(viewer.CropRect().left, image.left);
    EXPECT_EQ(viewer.CropRect().width(), 80);
    EXPECT_EQ(viewer.Cut(), 0);
    EXPECT_EQ(viewer.GetMouseMode(), kMouseNone);
    EXPECT_EQ(testing_support::readBytes(path), before);
    EXPECT_FALSE(viewer.UndoAvailable());
}

TEST_F(EditingTest, ACropOverTheWholeScaledPageLeavesTheFileAlone) {
    // Scanned pages are scaled to fit the viewer, with their shown size
    // rounded: the whole picture must still map onto the whole page.
    struct Row {
        const char* name;
        int width, height;
    } rows[] = {
        {"A4 150 dpi", 1240, 1754}, {"A4 150 dpi landscape", 1754, 1240},
        {"A4 200 dpi", 1654, 2339}, {"A4 200 dpi landscape", 2339, 1654},
        {"A4 300 dpi", 2480, 3508}, {"A4 300 dpi landscape", 3508, 2480},
        {"A4 600 dpi", 4960, 7016}, {"A4 600 dpi landscape", 7016, 4960},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string path = file(u"scan.jpg");
        ASSERT_TRUE(writePicture(path, {row.width, row.height, kRed}));
        const std::string before = testing_support::readBytes(path);
        CImageViewer viewer(nullptr);
        ASSERT_TRUE(viewer.AddImage(path, -1));
        // Cut twice without moving the rectangle.
        EXPECT_EQ(viewer.Cut(), 0);
        EXPECT_EQ(viewer.Cut(), 0);
        EXPECT_TRUE(testing_support::readBytes(path) == before) << "the page was written again";
        EXPECT_FALSE(viewer.UndoAvailable());
        // A rectangle drawn from corner to corner of the picture, and past it.
        const ViewerRect image = viewer.SingleImageRect();
        const ViewerRect drawn[] = {image, {image.left - 5, image.top - 5, image.right + 5, image.bottom + 5}};
        for (const ViewerRect& rect : drawn) {
            EXPECT_EQ(viewer.Cut(), 0);
            viewer.SetCropRect(rect);
            EXPECT_EQ(viewer.Cut(), 0);
            EXPECT_TRUE(testing_support::readBytes(path) == before) << "the page was written again";
            EXPECT_FALSE(viewer.UndoAvailable());
        }
        // One shown column less is a crop, to the page's own column count.
        EXPECT_EQ(viewer.Cut(), 0);
        viewer.SetCropRect({image.left, image.top, image.right - 1, image.bottom});
        EXPECT_EQ(viewer.Cut(), 0);
        const FileFacts f = readFacts(path);
        EXPECT_LT(f.width, row.width);
        EXPECT_GT(f.width, row.width - row.width / 300);
        EXPECT_EQ(f.height, row.height);
        EXPECT_TRUE(viewer.UndoAvailable());
    }
}

TEST_F(EditingTest, CropRectangles) {
    struct Row {
        const char* name;
        int dx0, dy0, dx1, dy1;  // relative to the picture's top-left corner on screen
        int width, height;
    } rows[] = {
        {"inner block", 10, 5, 50, 35, 40, 30},
        {"reaching past the picture is clipped", 40, 30, 200, 200, 40, 30},
        {"drawn backwards is normalised", 50, 35, 10, 5, 40, 30},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string path = file(u"crop.png");
        ASSERT_TRUE(writePicture(path, {80, 60, kRed}));
        CImageViewer viewer(nullptr);
        ASSERT_TRUE(viewer.AddImage(path, -1));
        viewer.Cut();
        const ViewerRect image = viewer.SingleImageRect();
        // Drawn with the mouse, starting outside the present rectangle.
        viewer.SetCropRect({});
        viewer.OnLButtonDown({image.left + row.dx0, image.top + row.dy0});
        viewer.OnMouseMove({image.left + row.dx1, image.top + row.dy1}, true);
        viewer.OnLButtonUp({image.left + row.dx1, image.top + row.dy1});
        viewer.Cut();
        EXPECT_EQ(viewer.GetMouseMode(), kMouseNone);
        const FileFacts f = readFacts(path);
        EXPECT_EQ(f.width, row.width);
        EXPECT_EQ(f.height, row.height);
        EXPECT_TRUE(viewer.UndoAvailable());
        EXPECT_TRUE(viewer.CropRect().empty());
    }
}

TEST_F(EditingTest, CutOnlyInTheSingleViewAtRest) {
    const std::u16string path = file(u"page.png");
    ASSERT_TRUE(writePicture(path, {80, 60, kRed}));
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(path, -1));
    viewer.SetViewMode(4);
    EXPECT_EQ(viewer.Cut(), 0);
    EXPECT_EQ(viewer.GetMouseMode(), kMouseNone);
    viewer.SetViewMode(1);
    viewer.NormalView();
    EXPECT_EQ(viewer.Cut(), 0);
    EXPECT_EQ(viewer.GetMouseMode(), kMouseDrag);
}

TEST_F(EditingTest, AFileWhosePathDoesNotFitIsLeftOutNotShortened) {
    if (testing_support::onWindows())
        GTEST_SKIP() << "Windows makes no file of a 260-unit path without the long-path prefix";
    // F/photo.jpgX of 260 units, cut to 259, would name F/photo.jpg: the
    // viewer must never show, edit or delete that one in its place.
    std::u16string folder = dir_.path();
    const std::size_t nameUnits = std::u16string_view(u"/photo.jpgX").size();
    folder += u'/';
    folder += std::u16string(260 - nameUnits - folder.size(), u'd');
    ASSERT_TRUE(platform::createDirectory(folder));
    const std::u16string longer = folder + u"/photo.jpgX";
    const std::u16string shorter = folder + u"/photo.jpg";
    ASSERT_EQ(longer.size(), 260u);
    // Written plainly: the component's own writers leave such a deep folder
    // alone (their temporary names would not fit beside the file).
    const std::u16string picture = file(u"photo.jpg");
    ASSERT_TRUE(writePicture(picture, {80, 60, kRed}));
    const std::string before = testing_support::readBytes(picture);
    ASSERT_TRUE(testing_support::writeBytes(shorter, before));
    ASSERT_TRUE(testing_support::writeBytes(longer, before));
    const struct {
        const char* name;
        int format;
    } rows[] = {{"format from the extension", -1}, {"JPEG", 1}, {"PDF", 2}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CImageViewer viewer(nullptr);
        EXPECT_FALSE(viewer.AddImage(longer, row.format));
        EXPECT_EQ(viewer.GetFileCount(), 0);
        EXPECT_EQ(viewer.Rotate(90), -1);
        EXPECT_EQ(viewer.DeleteImage(), 1);
        EXPECT_TRUE(testing_support::readBytes(shorter) == before) << "the other file was touched";
        EXPECT_TRUE(platform::pathExists(longer));
    }
}

TEST_F(EditingTest, DeleteInAndOutOfPageMode) {
    const std::u16string single = file(u"single.png");
    const std::u16string multi = file(u"multi.tif");
    ASSERT_TRUE(writePicture(single, {40, 30, kRed}));
    ASSERT_TRUE(writeTiff(multi, {{30, 20, kRed}, {40, 20, kBlue}}));
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(single, -1));
    ASSERT_TRUE(viewer.AddImage(multi, -1));
    viewer.OnLButtonDblClk({5, 5});
    ASSERT_TRUE(viewer.InPageMode());
    // The first page goes; the file keeps the second one alone.
    EXPECT_EQ(viewer.DeleteImage(), 0);
    EXPECT_EQ(viewer.PageCount(1), 1);
    FileFacts f = readFacts(multi);
    EXPECT_EQ(f.pages, 1);
    EXPECT_EQ(f.width, 40);
    EXPECT_FALSE(platform::pathExists(file(u"multi_.tif")));
    EXPECT_EQ(viewer.ScreenCount(), 1);
    // The last page takes the document and its file with it.
    EXPECT_EQ(viewer.DeleteImage(), 0);
    EXPECT_FALSE(viewer.InPageMode());
    EXPECT_EQ(viewer.GetFileCount(), 1);
    EXPECT_EQ(viewer.CurrentDocumentIndex(), 0);
    EXPECT_FALSE(platform::pathExists(multi));
    // Outside page mode the whole file goes.
    EXPECT_EQ(viewer.DeleteImage(), 0);
    EXPECT_FALSE(platform::pathExists(single));
    EXPECT_EQ(viewer.GetFileCount(), 0);
    EXPECT_EQ(viewer.CurrentDocumentIndex(), -1);
    EXPECT_EQ(viewer.DeleteImage(), 1);
}

TEST_F(EditingTest, DeletingAMiddleDocumentKeepsTheIndex) {
    CImageViewer viewer(nullptr);
    std::vector<std::u16string> paths;
    for (int i = 0; i < 3; ++i) {
        paths.push_back(file(text::format(u"d%d.png", i)));
        ASSERT_TRUE(writePicture(paths.back(), {20, 20, kRed}));
        ASSERT_TRUE(viewer.AddImage(paths.back(), -1));
    }
    viewer.GoPrevPage();
    ASSERT_EQ(viewer.CurrentDocumentIndex(), 1);
    EXPECT_EQ(viewer.DeleteImage(), 0);
    EXPECT_EQ(viewer.CurrentDocumentIndex(), 1);
    EXPECT_FALSE(platform::pathExists(paths[1]));
    EXPECT_TRUE(platform::pathExists(paths[2]));
}

// ---- the document writer ----

TEST_F(EditingTest, RotatedTwoPageTiffStaysOneTwoPageFile) {
    const std::u16string path = file(u"scan.tif");
    ASSERT_TRUE(writeTiff(path, {{80, 60, kRed}, {80, 60, kBlue}}));
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(path, -1));
    EXPECT_EQ(viewer.Rotate(90), 0);
    const FileFacts f = readFacts(path);
    EXPECT_EQ(f.pages, 2);
    EXPECT_EQ(f.width, 60);
    EXPECT_EQ(f.height, 80);
    EXPECT_FALSE(platform::pathExists(file(u"scan_.tif")));
    EXPECT_TRUE(nearColour(pixelAt(path, 1, 40, 40), kBlue));
    EXPECT_EQ(readFacts(path).pages, 2);
}

TEST_F(EditingTest, JpegIsRewrittenAtQualitySixty) {
    const std::u16string path = file(u"photo.jpg");
    ASSERT_TRUE(writePicture(path, {400, 300, kRed}, 95));
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(path, -1));
    ASSERT_EQ(viewer.Rotate(180), 0);
    // The same picture saved at 60 by hand must match byte for byte.
    ScopedImage original(timage::ti_LoadImage(path.c_str()));
    ASSERT_TRUE(original);
    const std::u16string reference = file(u"reference.jpg");
    ASSERT_EQ(timage::ti_SaveImage2(reference.c_str(), original.get(), TI_COMPRESSION_JPEG, 60, 0), TI_OK);
    const std::u16string reference95 = file(u"reference95.jpg");
    ASSERT_EQ(timage::ti_SaveImage2(reference95.c_str(), original.get(), TI_COMPRESSION_JPEG, 95, 0), TI_OK);
    const auto size = testing_support::readBytes(path).size();
    EXPECT_LT(size, testing_support::readBytes(reference95).size());
    EXPECT_EQ(markerCorner(path), 2);
}

// The name of a file in the test's folder whose path, with "_" added to
// its base name, is exactly the longest path there is: a second "_" would
// not fit.
std::u16string longestName(const testing_support::TempDir& dir, std::u16string_view extension) {
    const std::size_t used = dir.file(u"").size() + 1 + extension.size();
    return std::u16string(platform::kMaxPathUnits - used, u'k') + std::u16string(extension);
}

// A write the disk refuses (simulated full disk) is no edit: the result
// says so, the file is byte for byte what it was, the view shows what the
// file holds and no temporary file is left; once the disk takes files
// again the next edit is written. Long names are written too: the
// temporary name cuts its copy of the name to fit.
TEST_F(EditingTest, FullDiskLeavesTheFileAndTheView) {
    struct Row {
        const char* name;
        std::u16string file;
        bool tiff;
    } rows[] = {
        {"one-page picture", longestName(dir_, u".png"), false},
        {"two-page TIFF", longestName(dir_, u".tif"), true},
        {"short TIFF name", u"a.tif", true},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string path = file(row.file);
        if (row.tiff) {
            ASSERT_TRUE(writeTiff(path, {{80, 60, kRed}, {80, 60, kBlue}}));
        } else {
            ASSERT_TRUE(writePicture(path, {80, 60, kRed}));
        }
        const std::string before = testing_support::readBytes(path);
        const std::set<std::u16string> names = fileNamesIn(dir_.path());
        CImageViewer viewer(nullptr);
        ASSERT_TRUE(viewer.AddImage(path, -1));
        {
            testing_support::ScopedFullDisk full(dir_.path());
            EXPECT_EQ(viewer.Rotate(90), kEditNotWritten);
            EXPECT_EQ(viewer.Flip(), kEditNotWritten);
            EXPECT_EQ(testing_support::readBytes(path), before);
            EXPECT_EQ(fileNamesIn(dir_.path()), names);
            EXPECT_FALSE(viewer.UndoAvailable());
            viewer.WithDocument(0, [](ViewerDocument* d) {
                ASSERT_NE(d, nullptr);
                EXPECT_EQ(d->pages.front()->Info().width, 80);
                EXPECT_EQ(imageInfo(d->pages.front()->FullImage()).width, 80);
            });
        }
        EXPECT_EQ(viewer.Mirror(), 0);
        EXPECT_EQ(readFacts(path).width, 80);
        EXPECT_NE(testing_support::readBytes(path), before);
        EXPECT_TRUE(viewer.UndoAvailable());
        EXPECT_EQ(fileNamesIn(dir_.path()), names);
        ASSERT_TRUE(platform::deleteFile(path));
    }
}

TEST_F(EditingTest, ReadOnlyFolderKeepsTheFile) {
#ifdef _WIN32
    GTEST_SKIP() << "folder permissions here are POSIX modes, which Windows does not apply to folders";
#else
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
#endif
    const std::u16string folder = file(u"locked");
    ASSERT_TRUE(platform::createDirectory(folder));
    const std::u16string path = folder + u"/page.png";
    ASSERT_TRUE(writePicture(path, {80, 60, kRed}));
    const std::string before = testing_support::readBytes(path);
    ::chmod(utf8(path).c_str(), 0444);
    ::chmod(utf8(folder).c_str(), 0555);
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(path, -1));
    EXPECT_EQ(viewer.Rotate(90), kEditNotWritten);
    EXPECT_EQ(testing_support::readBytes(path), before);
    EXPECT_EQ(fileNamesIn(folder), std::set<std::u16string>{u"page.png"});
    viewer.WithDocument(0, [](ViewerDocument* d) {
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->pages.front()->Info().width, 80);
    });
    // Nor can the file be deleted: it stays in the view.
    EXPECT_EQ(viewer.DeleteImage(), kEditNotWritten);
    EXPECT_EQ(viewer.GetFileCount(), 1);
    ::chmod(utf8(folder).c_str(), 0755);
}

TEST_F(EditingTest, WhichDocumentsAreWritten) {
    // A two-page document of another kind is never written: a TIFF named .png.
    const std::u16string odd = file(u"odd.png");
    ASSERT_TRUE(writeTiff(odd, {{80, 60, kRed}, {80, 60, kBlue}}));
    const std::string before = testing_support::readBytes(odd);
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(odd, -1));
    ASSERT_EQ(viewer.PageCount(0), 2);
    EXPECT_EQ(viewer.Rotate(90), 0);
    EXPECT_EQ(testing_support::readBytes(odd), before);
    // An empty document and one whose page has no full image stay alone.
    ViewerDocument empty;
    EXPECT_EQ(rewriteDocument(empty, nullptr), RewriteResult::NotWritten);
    ViewerDocument untouched;
    untouched.pages.push_back(std::make_unique<CImageViewObj>());
    ASSERT_TRUE(writePicture(file(u"u.png"), {20, 20, kRed}));
    ASSERT_TRUE(untouched.pages.back()->Open(file(u"u.png"), kDisplayBoxWidth, kDisplayBoxHeight, 0));
    EXPECT_EQ(rewriteDocument(untouched, nullptr), RewriteResult::NotWritten);
    // A folder that takes no new file gives no temporary name, and nothing
    // is written.
    EXPECT_EQ(utf8(temporaryPathFor(file(u"missing/scan.tif"))), "");
}

// ---- the add-image request ----

struct RecordingTarget : ScannedImageTarget {
    std::vector<ImageReadyRecord> records;
    void addScannedImage(ImageReadyRecord record) override { records.push_back(record); }
};

TEST(AddImageRequestTest, CopyCutsThePathAndKeepsTheValues) {
    auto record = std::make_unique<ImageReadyRecord>();
    std::memset(record.get(), 0, sizeof(ImageReadyRecord));
    for (auto& c : record->textArea) c = u'T';
    for (std::size_t i = 0; i < 1023; ++i) record->filePath[i] = u'a' + static_cast<char16_t>(i % 26);
    record->formatCode = 8;
    record->extraByte = 7;
    record->extraBytes[31] = 9;
    RecordingTarget target;
    auto copy = AddImageRequest::CopyRecord(&target, *record);
    EXPECT_EQ(copy->control, &target);
    EXPECT_EQ(text::length(copy->record.filePath), 1000u);
    EXPECT_EQ(copy->record.formatCode, 8);
    EXPECT_EQ(copy->record.extraByte, 7);
    EXPECT_EQ(copy->record.extraBytes[31], 9);
    EXPECT_EQ(copy->record.textArea[0], 0);

    AddImageRequest request(&target, std::move(copy));
    EXPECT_EQ(request.Execute(), 0);
    ASSERT_EQ(target.records.size(), 1u);
    EXPECT_EQ(text::length(target.records[0].filePath), 1000u);
}

TEST(AddImageRequestTest, CancelledOrIncompleteRequestsDoNothing) {
    RecordingTarget target;
    ImageReadyRecord record{};
    AddImageRequest noControl(nullptr, AddImageRequest::CopyRecord(nullptr, record));
    EXPECT_EQ(noControl.Execute(), 1);
    AddImageRequest noCopy(&target, nullptr);
    EXPECT_EQ(noCopy.Execute(), 1);
    AddImageRequest cancelled(&target, AddImageRequest::CopyRecord(&target, record));
    cancelled.Cancel();
    EXPECT_EQ(cancelled.Execute(), 1);
    EXPECT_TRUE(target.records.empty());
    TP::ThreadPool pool;
    EXPECT_FALSE(AddImageRequest::Post(pool, &target, nullptr));
    EXPECT_FALSE(AddImageRequest::Post(pool, &target, &record));  // the pool was never started
}

}  // namespace
