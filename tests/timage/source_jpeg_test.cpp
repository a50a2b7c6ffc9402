// ti_GetSourceJpeg: a loaded JPEG hands out its file while its pixels are
// that file's picture, and never once anything may have written them.
// Our PDF library stores that file as a page instead of encoding the
// picture again, so a source that outlives an edit would put the unedited
// picture into a document.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"
#include "timage/helpers.h"

namespace {

using namespace timage_test;
using testing_support::TempDir;

constexpr int kWidth = 64, kHeight = 48;

std::vector<std::uint8_t> asBytes(const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); }

// The result of ti_GetSourceJpeg and what it wrote.
struct Source {
    int result = 0;
    std::vector<std::uint8_t> bytes;
};

Source sourceOf(TI_IMAGE image) {
    MemoryStream stream;
    Source s;
    s.result = ti_GetSourceJpeg(image, stream.get());
    s.bytes = stream.bytes();
    return s;
}

// A JPEG file of a smooth picture, written by the toolkit.
class SourceJpeg : public ::testing::Test {
protected:
    void SetUp() override {
        for (const int format : {TI_BGR24, TI_GRAY8}) {
            const std::u16string path = dir.file(format == TI_GRAY8 ? u"grey.jpg" : u"colour.jpg");
            Image picture = smooth(kWidth, kHeight, format);
            ASSERT_EQ(ti_SaveImage(path.c_str(), picture.get()), TI_OK);
            (format == TI_GRAY8 ? greyPath : colourPath) = path;
        }
        colourFile = asBytes(testing_support::readBytes(colourPath));
        Image probe(ti_LoadImage(colourPath.c_str()));
        ASSERT_TRUE(probe);
        // Both builds keep the sources of the JPEGs they load (the result
        // is the bytes written).
        ASSERT_GT(sourceOf(probe.get()).result, 0);
    }

    Image load(int format) { return Image(ti_LoadImage((format == TI_GRAY8 ? greyPath : colourPath).c_str())); }
    std::vector<std::uint8_t> fileOf(int format) {
        return asBytes(testing_support::readBytes(format == TI_GRAY8 ? greyPath : colourPath));
    }

    TempDir dir;
    std::u16string colourPath, greyPath;
    std::vector<std::uint8_t> colourFile;
};

TEST_F(SourceJpeg, EveryWayOfLoadingKeepsTheFileByteForByte) {
    const std::string whole = testing_support::readBytes(colourPath);
    struct Row {
        const char* name;
        std::function<TI_IMAGE()> load;
    } rows[] = {
        {"LoadImage", [&] { return ti_LoadImage(colourPath.c_str()); }},
        {"LoadImageEx page 0", [&] { return ti_LoadImageEx(colourPath.c_str(), 0); }},
        {"LoadFromMem", [&] { return ti_LoadFromMem(whole.data(), static_cast<int>(whole.size())); }},
        {"LoadFromStream", [&] {
             MemoryStream in(asBytes(whole));
             return ti_LoadFromStream(in.get(), 0);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Image image(row.load());
        ASSERT_TRUE(image);
        const Source s = sourceOf(image.get());
        EXPECT_EQ(s.result, static_cast<int>(colourFile.size()));
        EXPECT_EQ(ti_Error(), TI_OK);
        EXPECT_EQ(s.bytes, colourFile);
    }
}

TEST_F(SourceJpeg, ImagesWithoutAJpegFileHaveNone) {
    const std::u16string png = dir.file(u"p.png"), tiff = dir.file(u"t.tif");
    {
        Image picture = smooth(kWidth, kHeight, TI_BGR24);
        ASSERT_EQ(ti_SaveImage(png.c_str(), picture.get()), TI_OK);
        // JPEG data, but inside a TIFF page: not a JPEG file.
        ASSERT_EQ(ti_SaveImage2(tiff.c_str(), picture.get(), TI_COMPRESSION_JPEG, -1, 0), TI_OK);
    }
    std::vector<std::uint8_t> pixels(kWidth * 3 * kHeight, 7);
    struct Row {
        const char* name;
        std::function<TI_IMAGE()> make;
    } rows[] = {
        {"created", [] { return ti_CreateImage(kWidth, kHeight, TI_BGR24); }},
        {"attached", [&] { return ti_AttachImageData(kWidth, kHeight, TI_BGR24, kWidth * 3, pixels.data()); }},
        {"PNG file", [&] { return ti_LoadImage(png.c_str()); }},
        {"JPEG-compressed TIFF page", [&] { return ti_LoadImage(tiff.c_str()); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Image image(row.make());
        ASSERT_TRUE(image);
        const Source s = sourceOf(image.get());
        EXPECT_EQ(s.result, 0);
        EXPECT_EQ(ti_Error(), TI_OK);
        EXPECT_TRUE(s.bytes.empty());
    }
}

// Each row runs one call with a freshly loaded JPEG in some role; the
// image keeps its file only when the call cannot have written its pixels.
TEST_F(SourceJpeg, EveryCallThatMayWriteThePixelsDropsTheFile) {
    Image other = smooth(kWidth, kHeight, TI_BGR24);
    Image otherGrey = smooth(kWidth, kHeight, TI_GRAY8);
    Image small = smooth(kWidth / 2, kHeight / 2, TI_BGR24);
    Image large = smooth(kWidth * 2, kHeight * 2, TI_BGR24);
    Image scratch = create(kWidth, kHeight, TI_BGR24);
    Image scratchSmall = create(kWidth / 4, kHeight / 4, TI_BGR24);
    Image scratchTurned = create(kHeight, kWidth, TI_BGR24);
    Image planes[3] = {create(kWidth, kHeight, TI_GRAY8), create(kWidth, kHeight, TI_GRAY8),
                       create(kWidth, kHeight, TI_GRAY8)};
    const TI_RECT rect{4, 4, 16, 12};
    const double shift[6] = {1, 0, 0.5, 0, 1, 0.5};
    std::uint8_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = static_cast<std::uint8_t>(255 - i);
    MemoryStream sink;
    struct Row {
        const char* name;
        int format;  // of the loaded JPEG
        std::function<int(TI_IMAGE)> call;
        bool kept;
    } rows[] = {
        // The JPEG is written.
        {"Copy into it", TI_BGR24, [&](TI_IMAGE j) { return ti_Copy(other.get(), j); }, false},
        {"Resize into it", TI_BGR24, [&](TI_IMAGE j) { return ti_Resize(large.get(), j, TI_INTER_AREA); }, false},
        {"ResizeRect into it", TI_BGR24,
         [&](TI_IMAGE j) { return ti_ResizeRect(large.get(), nullptr, j, &rect, TI_INTER_LINEAR); }, false},
        {"BitBlt into it", TI_BGR24, [&](TI_IMAGE j) { return ti_BitBlt(j, 2, 2, 8, 8, other.get(), 0, 0); }, false},
        {"AlphaBlend over it", TI_BGR24, [&](TI_IMAGE j) { return ti_AlphaBlend(j, 0, 0, small.get(), 128); }, false},
        {"CopyRect into it", TI_BGR24, [&](TI_IMAGE j) { return ti_CopyRect(other.get(), j, 3, 3, 0xFFFFFF); }, false},
        {"GetQuadrangleSubPix into it", TI_BGR24,
         [&](TI_IMAGE j) { return ti_GetQuadrangleSubPix(other.get(), j, shift); }, false},
        {"Rotate into it", TI_BGR24, [&](TI_IMAGE j) { return ti_Rotate(other.get(), j, 30.0, 0); }, false},
        {"Orientate into it", TI_BGR24, [&](TI_IMAGE j) { return ti_Orientate(other.get(), j, 180); }, false},
        {"Flip in place", TI_BGR24, [](TI_IMAGE j) { return ti_Flip(j, j, 0); }, false},
        {"Mirror in place", TI_BGR24, [](TI_IMAGE j) { return ti_Flip(j, j, 1); }, false},
        {"Flip into it", TI_BGR24, [&](TI_IMAGE j) { return ti_Flip(other.get(), j, 2); }, false},
        {"Repeat into it", TI_BGR24, [&](TI_IMAGE j) { return ti_Repeat(small.get(), j); }, false},
        {"RepeatRect into it", TI_BGR24, [&](TI_IMAGE j) { return ti_RepeatRect(small.get(), j, &rect); }, false},
        {"Fill", TI_BGR24, [](TI_IMAGE j) { return ti_Fill(j, 0xFF336699u); }, false},
        {"FillRect", TI_BGR24, [&](TI_IMAGE j) { return ti_FillRect(j, &rect, 0xFF000000u); }, false},
        {"SetZero", TI_BGR24, [](TI_IMAGE j) { return ti_SetZero(j); }, false},
        {"Not in place", TI_BGR24, [](TI_IMAGE j) { return ti_Not(j, j); }, false},
        {"Split into it", TI_GRAY8,
         [&](TI_IMAGE j) {
             TI_IMAGE into[4] = {j, nullptr, nullptr, nullptr};
             return ti_Split(other.get(), into);
         },
         false},
        {"Merge into it", TI_BGR24,
         [&](TI_IMAGE j) {
             TI_IMAGE from[4] = {otherGrey.get(), otherGrey.get(), otherGrey.get(), nullptr};
             return ti_Merge(from, j);
         },
         false},
        {"LUT in place", TI_BGR24, [&](TI_IMAGE j) { return ti_LUT(j, j, table); }, false},
        {"Threshold into it", TI_GRAY8, [&](TI_IMAGE j) { return ti_Threshold(other.get(), j, 128, 255, 0); }, false},
        {"ConvertColor into it", TI_BGR24, [&](TI_IMAGE j) { return ti_ConvertColor(otherGrey.get(), j, 0); }, false},
        // Changes no value, but the call may write: still dropped.
        {"Light 0, 0 in place", TI_BGR24, [](TI_IMAGE j) { return ti_Light(j, j, 0, 0); }, false},
        {"Saturate in place", TI_BGR24, [](TI_IMAGE j) { return ti_Saturate(j, j, 40); }, false},
        {"LightEx in place", TI_BGR24, [](TI_IMAGE j) { return ti_LightEx(j, j, 5, 5, 1.4); }, false},
        {"full-size GetInfo (writable rows)", TI_BGR24,
         [](TI_IMAGE j) {
             TI_IMAGE_INFO info{};
             info.size = sizeof info;
             return ti_GetInfo(j, &info);
         },
         false},
        // The JPEG is only read, or only its resolution or quality change.
        {"Copy from it", TI_BGR24, [&](TI_IMAGE j) { return ti_Copy(j, scratch.get()); }, true},
        {"Resize from it, reduced decode", TI_BGR24,
         [&](TI_IMAGE j) { return ti_Resize(j, scratchSmall.get(), TI_INTER_LINEAR); }, true},
        {"Orientate from it", TI_BGR24, [&](TI_IMAGE j) { return ti_Orientate(j, scratchTurned.get(), 90); }, true},
        {"Flip from it", TI_BGR24, [&](TI_IMAGE j) { return ti_Flip(j, scratch.get(), 1); }, true},
        {"Split from it", TI_BGR24,
         [&](TI_IMAGE j) {
             TI_IMAGE into[4] = {planes[0].get(), planes[1].get(), planes[2].get(), nullptr};
             return ti_Split(j, into);
         },
         true},
        {"Mean", TI_BGR24,
         [](TI_IMAGE j) {
             double mean[4];
             return ti_Mean(j, mean);
         },
         true},
        {"SaveToStream", TI_BGR24,
         [&](TI_IMAGE j) { return ti_SaveToStream(sink.get(), j, TI_FORMAT_PNG, nullptr, 0); }, true},
        {"SetDpi", TI_BGR24, [](TI_IMAGE j) { return ti_SetDpi(j, 150, 150); }, true},
        {"SetJpegQuality", TI_BGR24, [](TI_IMAGE j) { return ti_SetJpegQuality(j, 30); }, true},
        {"layout-size GetInfo", TI_BGR24,
         [](TI_IMAGE j) {
             TI_IMAGE_INFO info{};
             info.size = TI_IMAGE_INFO_LAYOUT_SIZE;
             return ti_GetInfo(j, &info);
         },
         true},
        {"CloneImage from it", TI_BGR24,
         [](TI_IMAGE j) {
             Image clone(ti_CloneImage(j));
             return clone ? TI_OK : ti_Error();
         },
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Image jpeg = load(row.format);
        ASSERT_TRUE(jpeg);
        ASSERT_EQ(row.call(jpeg.get()), TI_OK);
        const Source s = sourceOf(jpeg.get());
        const std::vector<std::uint8_t> file = fileOf(row.format);
        EXPECT_EQ(s.result, row.kept ? static_cast<int>(file.size()) : 0);
        EXPECT_EQ(s.bytes, row.kept ? file : std::vector<std::uint8_t>{});
        EXPECT_EQ(ti_Error(), TI_OK);
    }
}

TEST_F(SourceJpeg, ImagesMadeFromItHaveNone) {
    struct Row {
        const char* name;
        std::function<TI_IMAGE(TI_IMAGE)> make;
    } rows[] = {
        {"clone, still deferred", [](TI_IMAGE j) { return ti_CloneImage(j); }},
        {"turned", [](TI_IMAGE j) {
             TI_IMAGE turned = ti_CreateImage(kHeight, kWidth, TI_BGR24);
             ti_Orientate(j, turned, 90);
             return turned;
         }},
        {"cropped", [](TI_IMAGE j) {
             TI_IMAGE crop = ti_CreateImage(kWidth / 2, kHeight / 2, TI_BGR24);
             ti_CopyRect(j, crop, 8, 8, -1);
             return crop;
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Image jpeg = load(TI_BGR24);
        ASSERT_TRUE(jpeg);
        Image made(row.make(jpeg.get()));
        ASSERT_TRUE(made);
        EXPECT_EQ(sourceOf(made.get()).result, 0);
        EXPECT_EQ(sourceOf(jpeg.get()).bytes, colourFile) << "the image it was made from keeps its own";
    }
}

TEST_F(SourceJpeg, RefusedArgumentsAndAShortWrite) {
    Image jpeg = load(TI_BGR24);
    ASSERT_TRUE(jpeg);
    MemoryStream good;
    MemoryStream wrongKind;
    wrongKind.get()->kind = 1;
    MemoryStream noWriter;
    noWriter.get()->write = nullptr;
    TI_STREAM refusing = *good.get();
    refusing.write = [](TI_STREAM*, const void*, int32_t) -> int32_t { return 0; };
    struct Row {
        const char* name;
        TI_IMAGE image;
        TI_STREAM* stream;
        int result;
    } rows[] = {
        {"no image", nullptr, good.get(), TI_ERR_ARGUMENT},
        {"no stream", jpeg.get(), nullptr, TI_ERR_ARGUMENT},
        {"stream of another kind", jpeg.get(), wrongKind.get(), TI_ERR_ARGUMENT},
        {"stream without write", jpeg.get(), noWriter.get(), TI_ERR_ARGUMENT},
        {"stream that takes nothing", jpeg.get(), &refusing, TI_ERR_IO},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ti_GetSourceJpeg(row.image, row.stream), row.result);
        EXPECT_EQ(ti_Error(), row.result);
    }
    EXPECT_TRUE(good.bytes().empty());
    EXPECT_EQ(sourceOf(jpeg.get()).bytes, colourFile) << "a failed hand-out keeps the file";
}

struct Heard {
    std::atomic<int> calls{0};
};

TEST_F(SourceJpeg, NoFileIsNotReportedAsAFailure) {
    Heard heard;
    ASSERT_EQ(ti_RedirectError([](int32_t, const char*, void* user) { ++static_cast<Heard*>(user)->calls; }, &heard),
              TI_OK);
    ASSERT_EQ(ti_SetErrMode(1), TI_OK);
    Image created = create(4, 4, TI_GRAY8);
    EXPECT_EQ(sourceOf(created.get()).result, 0);
    EXPECT_EQ(heard.calls.load(), 0);
    EXPECT_EQ(ti_GetSourceJpeg(nullptr, nullptr), TI_ERR_ARGUMENT);
    EXPECT_EQ(heard.calls.load(), 1) << "real failures still are";
    ti_SetErrMode(0);
    ti_RedirectError(nullptr, nullptr);
}

// One thread takes the file while another asks for the writable rows: the
// first gets either the whole file or nothing, never a torn one.
TEST_F(SourceJpeg, HandOutRacesWithAFullSizeGetInfo) {
    for (int round = 0; round < 20; ++round) {
        Image jpeg = load(TI_BGR24);
        ASSERT_TRUE(jpeg);
        Source taken;
        std::thread reader([&] { taken = sourceOf(jpeg.get()); });
        std::thread writer([&] {
            TI_IMAGE_INFO info{};
            info.size = sizeof info;
            ti_GetInfo(jpeg.get(), &info);
        });
        reader.join();
        writer.join();
        if (taken.result != 0) {
            EXPECT_EQ(taken.bytes, colourFile);
        }
        EXPECT_EQ(sourceOf(jpeg.get()).result, 0);
    }
}

}  // namespace
