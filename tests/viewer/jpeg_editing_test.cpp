// The viewer's edits of one-page JPEG documents on the files' compressed
// data: turns that come back to where they started give the first file
// back, a crop on the block grid keeps the pixels, and whatever must be
// encoded again keeps the file's own quality and resolution.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "viewer/jpeg_lossless.h"
#include "viewer_fixture.h"

using namespace viewer_test;

namespace {

// A picture a JPEG encoder cannot make from a few coefficients: gradients,
// noise and a black marker block in the top-left corner, so a turn, a
// decode or a second encode shows.
ScopedImage scannedPicture(int width, int height, int format) {
    ScopedImage image(timage::ti_CreateImage(width, height, format));
    TI_IMAGE_INFO info = imageInfo(image.get());
    std::uint32_t seed = 12345;
    for (int y = 0; y < info.height; ++y) {
        std::uint8_t* row = info.data + static_cast<std::ptrdiff_t>(y) * info.stride;
        for (int x = 0; x < info.width; ++x) {
            for (int c = 0; c < info.pixelFormat; ++c) {
                seed = seed * 1664525u + 1013904223u;
                const int marker = (x < width / 10 && y < height / 10) ? 0 : 1;
                const int value = ((x * (c + 1) + y * 2) % 200) + static_cast<int>(seed >> 28);
                row[x * info.pixelFormat + c] = static_cast<std::uint8_t>(marker * (value + 20));
            }
        }
    }
    timage::ti_SetDpi(image.get(), 300, 300);
    return image;
}

bool writeJpeg(const std::u16string& path, int width, int height, int format, int quality) {
    ScopedImage image = scannedPicture(width, height, format);
    return timage::ti_SaveImage2(path.c_str(), image.get(), TI_COMPRESSION_JPEG, quality, 0) == TI_OK;
}

// Every pixel of a decode, row after row.
struct Pixels {
    int width = 0, height = 0, format = 0;
    std::vector<std::uint8_t> bytes;
    std::uint8_t at(int x, int y, int c) const {
        return bytes[(static_cast<std::size_t>(y) * width + x) * format + c];
    }
};

Pixels decodeBytes(const std::string& jpeg) {
    ScopedImage image(timage::ti_LoadFromMem(jpeg.data(), static_cast<int>(jpeg.size())));
    const TI_IMAGE_INFO info = imageInfo(image.get());
    Pixels p{info.width, info.height, info.pixelFormat, {}};
    for (int y = 0; y < info.height; ++y) {
        const std::uint8_t* row = info.data + static_cast<std::ptrdiff_t>(y) * info.stride;
        p.bytes.insert(p.bytes.end(), row, row + static_cast<std::ptrdiff_t>(info.width) * info.pixelFormat);
    }
    return p;
}

Pixels decodeFile(const std::u16string& path) { return decodeBytes(testing_support::readBytes(path)); }

int qualityOf(const std::u16string& path) { return jpeg_lossless::estimateQuality(testing_support::readBytes(path)); }

TI_FILE_INFO fileInfo(const std::u16string& path) {
    TI_FILE_INFO info{};
    info.size = static_cast<int32_t>(sizeof(info));
    timage::ti_GetImageInfo(path.c_str(), &info);
    return info;
}

class JpegEditingTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        if (IsSkipped()) return;
        if (!jpeg_lossless::available()) GTEST_SKIP() << "no lossless JPEG transform in this build";
    }
};

using Edit = std::function<int(CImageViewer&)>;
const Edit kRight = [](CImageViewer& v) { return v.Rotate(270); };
const Edit kLeft = [](CImageViewer& v) { return v.Rotate(90); };
const Edit kHalf = [](CImageViewer& v) { return v.Rotate(180); };
const Edit kFlip = [](CImageViewer& v) { return v.Flip(); };
const Edit kMirror = [](CImageViewer& v) { return v.Mirror(); };

// The pages of the tests: one whose sides are whole blocks, and scanned
// A4 sizes whose sides are not (3508 is no multiple of 8 or 16).
struct Page {
    const char* name;
    int width, height, format;
};
const Page kPages[] = {
    {"colour 320 x 240", 320, 240, TI_BGR24},
    {"grey 320 x 240", 320, 240, TI_GRAY8},
    {"colour A4 300 dpi", 2480, 3508, TI_BGR24},
    {"grey A4 300 dpi landscape", 3508, 2480, TI_GRAY8},
};

TEST_F(JpegEditingTest, TurnsBackToTheStartGiveTheFirstFileByteForByte) {
    struct Row {
        const char* name;
        std::vector<Edit> edits;
    } rows[] = {
        {"four right turns", {kRight, kRight, kRight, kRight}},
        {"four left turns", {kLeft, kLeft, kLeft, kLeft}},
        {"flip twice", {kFlip, kFlip}},
        {"mirror twice", {kMirror, kMirror}},
        {"half turn twice", {kHalf, kHalf}},
        {"right, then left", {kRight, kLeft}},
        {"flip, mirror, half turn", {kFlip, kMirror, kHalf}},
        {"right, mirror, right, mirror", {kRight, kMirror, kRight, kMirror}},
    };
    for (const Page& page : kPages) {
        const std::u16string path = file(u"scan.jpg");
        ASSERT_TRUE(writeJpeg(path, page.width, page.height, page.format, 85));
        const std::string first = testing_support::readBytes(path);
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(page.name) + ": " + row.name);
            ASSERT_TRUE(testing_support::writeBytes(path, first));
            CImageViewer viewer(nullptr);
            ASSERT_TRUE(viewer.AddImage(path, -1));
            for (const Edit& edit : row.edits) ASSERT_EQ(edit(viewer), 0);
            EXPECT_TRUE(testing_support::readBytes(path) == first) << "the file was encoded again";
        }
    }
}

// Each single turn of a page of whole blocks moves the coefficients and
// nothing else: turned back on the compressed data (independently of the
// viewer's own bookkeeping) it decodes to the first picture exactly.
TEST_F(JpegEditingTest, EachTurnOfWholeBlocksIsLossless) {
    struct Row {
        const char* name;
        Edit edit;
        jpeg_lossless::Turn back;
        bool swapped;
    } rows[] = {
        {"right", kRight, jpeg_lossless::Turn::Left, true},
        {"left", kLeft, jpeg_lossless::Turn::Right, true},
        {"half", kHalf, jpeg_lossless::Turn::Half, false},
        {"flip", kFlip, jpeg_lossless::Turn::Flip, false},
        {"mirror", kMirror, jpeg_lossless::Turn::Mirror, false},
    };
    for (const Page& page : {kPages[0], kPages[1]}) {
        const std::u16string path = file(u"page.jpeg");
        ASSERT_TRUE(writeJpeg(path, page.width, page.height, page.format, 75));
        const std::string first = testing_support::readBytes(path);
        const Pixels original = decodeBytes(first);
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(page.name) + ": " + row.name);
            ASSERT_TRUE(testing_support::writeBytes(path, first));
            CImageViewer viewer(nullptr);
            ASSERT_TRUE(viewer.AddImage(path, -1));
            ASSERT_EQ(row.edit(viewer), 0);
            const std::string turned = testing_support::readBytes(path);
            const TI_FILE_INFO info = fileInfo(path);
            EXPECT_EQ(info.width, row.swapped ? page.height : page.width);
            EXPECT_EQ(info.xDpi, 300) << "the resolution was lost";
            EXPECT_EQ(jpeg_lossless::estimateQuality(turned), 75);
            std::string back;
            ASSERT_TRUE(jpeg_lossless::turn(turned, row.back, back));
            EXPECT_TRUE(decodeBytes(back).bytes == original.bytes) << "the coefficients changed";
            // The undo is the file as it was.
            EXPECT_EQ(viewer.Undo(), 0);
            EXPECT_TRUE(testing_support::readBytes(path) == first);
        }
    }
}

// A turn that would put a partial block on the left or top is encoded
// once, at the file's own quality (never trimmed, never at a fixed lower
// quality), with the page's resolution.
TEST_F(JpegEditingTest, TurnsOfPartialBlocksKeepSizeQualityAndResolution) {
    struct Row {
        const char* name;
        int quality;
        Edit edit;
        bool swapped;
    } rows[] = {
        {"right at 95", 95, kRight, true}, {"half at 85", 85, kHalf, false},
        {"flip at 70", 70, kFlip, false},  {"left at 90", 90, kLeft, true},
    };
    const Page page = kPages[2];
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string path = file(u"scan.jpg");
        ASSERT_TRUE(writeJpeg(path, page.width, page.height, page.format, row.quality));
        ASSERT_EQ(qualityOf(path), row.quality);
        CImageViewer viewer(nullptr);
        ASSERT_TRUE(viewer.AddImage(path, -1));
        ASSERT_EQ(row.edit(viewer), 0);
        const TI_FILE_INFO info = fileInfo(path);
        EXPECT_EQ(info.width, row.swapped ? page.height : page.width);
        EXPECT_EQ(info.height, row.swapped ? page.width : page.height);
        EXPECT_EQ(info.xDpi, 300);
        EXPECT_EQ(qualityOf(path), row.quality);
    }
}

// The crop rectangle as the user draws it, in the picture's pixels: the
// shown picture's rectangle scaled to the page.
int cropTo(CImageViewer& viewer, int left, int top, int right, int bottom, int width, int height) {
    if (viewer.Cut() != 0) return -100;
    const ViewerRect image = viewer.SingleImageRect();
    const auto shown = [](int v, int size, int shownSize) {
        return static_cast<int>(static_cast<long long>(v) * shownSize / size);
    };
    viewer.SetCropRect({image.left + shown(left, width, image.width()), image.top + shown(top, height, image.height()),
                        image.left + shown(right, width, image.width()),
                        image.top + shown(bottom, height, image.height())});
    return viewer.Cut();
}

TEST_F(JpegEditingTest, CropOnTheBlockGridKeepsThePixels) {
    // 320 x 240 is shown at its size, so a rectangle drawn lands exactly.
    struct Row {
        const char* name;
        int format, left, top, right, bottom;
    } rows[] = {
        {"grey, on the grid", TI_GRAY8, 16, 32, 300, 200},
        {"colour, on the grid", TI_BGR24, 32, 48, 320, 240},
        {"colour, ragged right and bottom", TI_BGR24, 64, 16, 301, 227},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string path = file(u"scan.jpg");
        ASSERT_TRUE(writeJpeg(path, 320, 240, row.format, 80));
        const std::string first = testing_support::readBytes(path);
        const Pixels original = decodeBytes(first);
        CImageViewer viewer(nullptr);
        ASSERT_TRUE(viewer.AddImage(path, -1));
        ASSERT_EQ(cropTo(viewer, row.left, row.top, row.right, row.bottom, 320, 240), 0);
        const Pixels cut = decodeFile(path);
        ASSERT_EQ(cut.width, row.right - row.left);
        ASSERT_EQ(cut.height, row.bottom - row.top);
        EXPECT_EQ(fileInfo(path).xDpi, 300);
        EXPECT_EQ(qualityOf(path), 80);
        // Colour is decoded with its half-size chroma smoothed over the
        // neighbouring samples, which a cut edge no longer has: the two
        // pixels next to a cut edge may differ, every other one may not.
        const int margin = row.format == TI_GRAY8 ? 0 : 2;
        int differing = 0;
        for (int y = margin; y < cut.height - margin; ++y)
            for (int x = margin; x < cut.width - margin; ++x)
                for (int c = 0; c < cut.format; ++c)
                    if (cut.at(x, y, c) != original.at(x + row.left, y + row.top, c)) ++differing;
        EXPECT_EQ(differing, 0);
        EXPECT_EQ(viewer.Undo(), 0);
        EXPECT_TRUE(testing_support::readBytes(path) == first);
    }
}

TEST_F(JpegEditingTest, CropOffTheGridKeepsTheFilesQuality) {
    struct Row {
        const char* name;
        int quality, left, top;
    } rows[] = {
        {"left off the grid, 95", 95, 13, 32},
        {"top off the grid, 60", 60, 32, 7},
        {"both off, 88", 88, 5, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string path = file(u"scan.jpg");
        ASSERT_TRUE(writeJpeg(path, 320, 240, TI_BGR24, row.quality));
        const Pixels original = decodeFile(path);
        CImageViewer viewer(nullptr);
        ASSERT_TRUE(viewer.AddImage(path, -1));
        ASSERT_EQ(cropTo(viewer, row.left, row.top, 300, 220, 320, 240), 0);
        const TI_FILE_INFO info = fileInfo(path);
        EXPECT_EQ(info.width, 300 - row.left);
        EXPECT_EQ(info.height, 220 - row.top);
        EXPECT_EQ(info.xDpi, 300);
        EXPECT_EQ(qualityOf(path), row.quality);
        // It is still the same place of the picture.
        const Pixels cut = decodeFile(path);
        long long difference = 0;
        for (int y = 0; y < cut.height; ++y)
            for (int x = 0; x < cut.width; ++x)
                difference += std::abs(cut.at(x, y, 1) - original.at(x + row.left, y + row.top, 1));
        EXPECT_LT(difference / (static_cast<long long>(cut.width) * cut.height), 8);
    }
}

// A file written again by someone else (a new scan under the same name,
// the same file open twice) is where the next turn starts: the page's
// earlier turns never bring the old picture back over it.
TEST_F(JpegEditingTest, AFileWrittenSinceIsWhereTheNextTurnStarts) {
    const std::u16string path = file(u"page_001.jpg");
    const std::u16string other = file(u"other.jpg");
    ASSERT_TRUE(writeJpeg(path, 320, 240, TI_BGR24, 85));
    ASSERT_TRUE(writeJpeg(other, 240, 160, TI_GRAY8, 70));
    const std::string rescanned = testing_support::readBytes(other);
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(path, -1));
    ASSERT_EQ(viewer.Rotate(270), 0);
    ASSERT_TRUE(testing_support::writeBytes(path, rescanned));
    ASSERT_EQ(viewer.Rotate(90), 0);
    EXPECT_EQ(fileInfo(path).width, 160);
    ASSERT_EQ(viewer.Rotate(270), 0);
    EXPECT_TRUE(testing_support::readBytes(path) == rescanned);
}

// The estimate is what every later encode is made at: it must find the
// quality each file was written with.
TEST_F(JpegEditingTest, QualityEstimateFindsTheEncodersQuality) {
    const int qualities[] = {10, 25, 50, 60, 75, 85, 90, 95, 98, 100};
    for (const int format : {TI_BGR24, TI_GRAY8}) {
        for (const int quality : qualities) {
            SCOPED_TRACE(testing::Message() << "format " << format << " quality " << quality);
            const std::u16string path = file(u"q.jpg");
            ASSERT_TRUE(writeJpeg(path, 64, 48, format, quality));
            EXPECT_EQ(qualityOf(path), quality);
        }
    }
    EXPECT_EQ(jpeg_lossless::estimateQuality("not a picture"), 0);
    EXPECT_EQ(jpeg_lossless::estimateQuality(""), 0);
}

// A write the disk refuses changes nothing, and the undo of the edit
// before it is kept.
TEST_F(JpegEditingTest, AFailedWriteKeepsTheFileAndTheUndo) {
    const std::u16string path = file(u"scan.jpg");
    ASSERT_TRUE(writeJpeg(path, 320, 240, TI_BGR24, 85));
    const std::string first = testing_support::readBytes(path);
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(path, -1));
    ASSERT_EQ(viewer.Rotate(270), 0);
    const std::string turned = testing_support::readBytes(path);
    testing_support::ScopedFullDisk full(dir_.file(u""), 100);
    EXPECT_EQ(viewer.Mirror(), kEditNotWritten);
    EXPECT_TRUE(testing_support::readBytes(path) == turned);
    EXPECT_TRUE(viewer.UndoAvailable());
}

}  // namespace
