// The calling contract: argument checks, result codes, the error handler,
// the memory manager, DIBs, limits and handles.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "timage/helpers.h"

namespace {

using namespace timage_test;

TEST(Api, NullAndOutOfRangeArgumentsAreRefused) {
    Image image = create(4, 4, TI_BGR24);
    TI_IMAGE_INFO info{};
    info.size = sizeof info;
    TI_FILE_INFO file{};
    file.size = sizeof file;
    const struct {
        const char* name;
        int result;
    } rows[] = {
        {"GetInfo null image", ti_GetInfo(nullptr, &info)},
        {"GetInfo null record", ti_GetInfo(image.get(), nullptr)},
        {"GetImageInfo null path", ti_GetImageInfo(nullptr, &file)},
        {"SetDpi negative", ti_SetDpi(image.get(), -1, 300)},
        {"SetJpegQuality 0", ti_SetJpegQuality(image.get(), 0)},
        {"SetJpegQuality 101", ti_SetJpegQuality(image.get(), 101)},
        {"Resize null", ti_Resize(image.get(), nullptr, 1)},
        {"Flip mode 3", ti_Flip(image.get(), image.get(), 3)},
        {"SaveImage2 null path", ti_SaveImage2(nullptr, image.get(), 1, -1, 0)},
        {"SaveImage2 quality 0", ti_SaveImage2(u"x.jpg", image.get(), 7, 0, 0)},
        {"SetErrMode 2", ti_SetErrMode(2)},
        {"Light out of range", ti_Light(image.get(), image.get(), 101, 0)},
        {"LightEx gamma 0", ti_LightEx(image.get(), image.get(), 0, 0, 0.0)},
        {"Threshold into colour", ti_Threshold(image.get(), image.get(), 1, 255, 0)},
        {"DataIsTopdown null", ti_DataIsTopdown(nullptr)},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.result, TI_ERR_ARGUMENT);
    }
    info.size = 12;
    EXPECT_EQ(ti_GetInfo(image.get(), &info), TI_ERR_ARGUMENT);
    file.size = 8;
    EXPECT_EQ(ti_GetImageInfo(u"x.png", &file), TI_ERR_ARGUMENT);
}

TEST(Api, ImageCreationLimits) {
    const struct {
        const char* name;
        int width, height, format, code;
    } rows[] = {
        {"zero width", 0, 10, TI_BGR24, TI_ERR_ARGUMENT},
        {"negative height", 10, -1, TI_BGR24, TI_ERR_ARGUMENT},
        {"format 2", 10, 10, 2, TI_ERR_ARGUMENT},
        {"side past 30000", 30001, 1, TI_GRAY8, TI_ERR_MEMORY},
        {"over a gibibyte", 20000, 20000, TI_BGRA32, TI_ERR_MEMORY},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(ti_CreateImage(r.width, r.height, r.format), nullptr);
        EXPECT_EQ(ti_Error(), r.code);
    }
    Image thin(ti_CreateImage(30000, 1, TI_BGRA32));
    ASSERT_TRUE(thin);
    EXPECT_EQ(ti_Error(), TI_OK);  // a success resets the thread's code
}

TEST(Api, NewImagesAreZeroedTopDownAndAligned) {
    for (int format : kFormats) {
        SCOPED_TRACE(formatName(format));
        Image image(ti_CreateImage2(7, 3, format, 300, 600));
        ASSERT_TRUE(image);
        const TI_IMAGE_INFO info = infoOf(image.get());
        EXPECT_EQ(info.pixelFormat, format);
        EXPECT_EQ(info.stride % 4, 0);
        EXPECT_GE(info.stride, 7 * format);
        EXPECT_EQ(info.topDown, 1);
        EXPECT_EQ(info.xDpi, 300);
        EXPECT_EQ(info.yDpi, 600);
        EXPECT_EQ(info.jpegQuality, 75);
        EXPECT_EQ(ti_DataIsTopdown(image.get()), 1);
        for (int i = 0; i < info.stride * info.height; ++i) ASSERT_EQ(info.data[i], 0);
    }
}

TEST(Api, CloneIsIndependent) {
    Image original = noise(9, 9, TI_BGR24);
    ti_SetDpi(original.get(), 200, 100);
    ti_SetJpegQuality(original.get(), 42);
    Image clone(ti_CloneImage(original.get()));
    ASSERT_TRUE(clone);
    EXPECT_TRUE(samePixels(clone.get(), original.get()));
    const TI_IMAGE_INFO info = infoOf(clone.get());
    EXPECT_EQ(info.xDpi, 200);
    EXPECT_EQ(info.yDpi, 100);
    EXPECT_EQ(info.jpegQuality, 42);
    EXPECT_NE(info.data, infoOf(original.get()).data);
    ASSERT_EQ(ti_SetZero(clone.get()), TI_OK);
    EXPECT_FALSE(samePixels(clone.get(), original.get()));
}

TEST(Api, ReleaseClearsTheHandle) {
    TI_IMAGE image = ti_CreateImage(3, 3, TI_GRAY8);
    ASSERT_NE(image, nullptr);
    ti_ReleaseImage(&image);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(ti_Error(), TI_OK);
    ti_ReleaseImage(&image);  // a cleared handle is fine
    EXPECT_EQ(ti_Error(), TI_OK);
    ti_ReleaseImage(nullptr);
    EXPECT_EQ(ti_Error(), TI_ERR_ARGUMENT);
}

struct Reported {
    std::vector<int> codes;
    std::string lastMessage;
};

void TI_API collect(int32_t code, const char* message, void* user) {
    auto* r = static_cast<Reported*>(user);
    r->codes.push_back(code);
    r->lastMessage = message;
}

TEST(Api, ErrorModeOneSendsFailuresToTheHandler) {
    Reported reported;
    ASSERT_EQ(ti_RedirectError(collect, &reported), TI_OK);
    EXPECT_EQ(ti_GetErrMode(), 0);
    EXPECT_EQ(ti_LoadImage(u"/no/such/file.png"), nullptr);
    EXPECT_TRUE(reported.codes.empty());  // mode 0: only returned
    ASSERT_EQ(ti_SetErrMode(1), TI_OK);
    EXPECT_EQ(ti_LoadImage(u"/no/such/file.png"), nullptr);
    Image fine = create(2, 2, TI_GRAY8);
    ASSERT_EQ(ti_SetErrMode(0), TI_OK);
    ASSERT_EQ(ti_RedirectError(nullptr, nullptr), TI_OK);
    ASSERT_EQ(reported.codes.size(), 1u);
    EXPECT_EQ(reported.codes[0], TI_ERR_IO);
    EXPECT_NE(reported.lastMessage.find("ti_LoadImage"), std::string::npos) << reported.lastMessage;
}

int allocations = 0;
void* TI_API countingAlloc(size_t size) {
    ++allocations;
    return std::malloc(size);
}
void TI_API countingFree(void* block) {
    --allocations;
    std::free(block);
}

TEST(Api, MemoryManagerIsReplacedOnlyWithNoBlocksOut) {
    ASSERT_EQ(ti_SetMemoryManager(countingAlloc, countingFree), TI_OK);
    void* a = ti_Alloc(100);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(allocations, 1);
    EXPECT_EQ(ti_SetMemoryManager(nullptr, nullptr), TI_ERR_ARGUMENT);  // a block is still out
    std::memset(a, 0xab, 100);
    ti_Free_(a);
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(ti_SetMemoryManager(countingAlloc, nullptr), TI_ERR_ARGUMENT);
    EXPECT_EQ(ti_SetMemoryManager(nullptr, nullptr), TI_OK);
    EXPECT_EQ(ti_Alloc(0), nullptr);
    EXPECT_EQ(ti_Error(), TI_ERR_ARGUMENT);
    ti_Free_(nullptr);
    EXPECT_EQ(ti_Error(), TI_OK);
}

std::vector<std::uint8_t> dibHeader(int width, int height, int bits, int compression, int colours) {
    std::vector<std::uint8_t> h(40, 0);
    auto put = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) h[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put(0, 40);
    put(4, static_cast<std::uint32_t>(width));
    put(8, static_cast<std::uint32_t>(height));
    h[12] = 1;
    h[14] = static_cast<std::uint8_t>(bits);
    put(16, static_cast<std::uint32_t>(compression));
    put(24, 11811);  // 300 dpi
    put(28, 11811);
    put(32, static_cast<std::uint32_t>(colours));
    return h;
}

TEST(Api, LoadFromDibReadsTheDeviceLayouts) {
    // 8-bit grey palette, bottom-up, bits following the palette.
    std::vector<std::uint8_t> dib = dibHeader(3, 2, 8, 0, 256);
    for (int i = 0; i < 256; ++i) dib.insert(dib.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
    dib.insert(dib.end(), {10, 20, 30, 0, 40, 50, 60, 0});  // bottom row first
    Image grey(ti_LoadFromDIB(dib.data(), nullptr));
    ASSERT_TRUE(grey);
    EXPECT_EQ(infoOf(grey.get()).pixelFormat, TI_GRAY8);
    EXPECT_EQ(infoOf(grey.get()).xDpi, 300);
    EXPECT_EQ(pixel(grey.get(), 0, 0)[0], 40);
    EXPECT_EQ(pixel(grey.get(), 2, 1)[0], 30);

    // 24-bit top-down with separate bits.
    std::vector<std::uint8_t> header = dibHeader(2, -2, 24, 0, 0);
    const std::uint8_t bits[] = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    Image colour(ti_LoadFromDIB(header.data(), bits));
    ASSERT_TRUE(colour);
    EXPECT_EQ(infoOf(colour.get()).pixelFormat, TI_BGR24);
    EXPECT_EQ(pixel(colour.get(), 1, 1)[2], 12);

    std::vector<std::uint8_t> rle = dibHeader(2, 2, 8, 1, 0);
    EXPECT_EQ(ti_LoadFromDIB(rle.data(), bits), nullptr);
    EXPECT_EQ(ti_Error(), TI_ERR_NOT_SUPPORTED);
    std::vector<std::uint8_t> fourBit = dibHeader(2, 2, 4, 0, 0);
    EXPECT_EQ(ti_LoadFromDIB(fourBit.data(), bits), nullptr);
    EXPECT_EQ(ti_Error(), TI_ERR_NOT_SUPPORTED);
}

TEST(Api, UnknownParametersAndStreamsAreRefused) {
    Image image = create(4, 4, TI_BGR24);
    testing_support::TempDir dir;
    TI_PARAM params[2] = {};
    params[0].id = TI_PARAM_COMPRESSION;
    params[0].value.intValue = TI_COMPRESSION_DEFLATE;
    params[1].id = 99;
    EXPECT_EQ(ti_SaveImageEx(dir.file(u"a.tif").c_str(), image.get(), params, 2), TI_ERR_ARGUMENT);
    EXPECT_EQ(ti_SaveImageEx(dir.file(u"a.tif").c_str(), image.get(), params, 1), TI_OK);
    EXPECT_EQ(ti_SaveImageEx(dir.file(u"b.tif").c_str(), image.get(), nullptr, 1), TI_ERR_ARGUMENT);
    static_assert(sizeof(TI_PARAM) == 16, "parameter entries are 16 bytes");

    MemoryStream stream;
    TI_STREAM broken = *stream.get();
    broken.kind = 1;
    EXPECT_EQ(ti_SaveToStream(&broken, image.get(), TI_FORMAT_PNG, nullptr, 0), TI_ERR_ARGUMENT);
    EXPECT_EQ(ti_SaveToStream(stream.get(), image.get(), 9, nullptr, 0), TI_ERR_ARGUMENT);
    EXPECT_EQ(ti_LoadFromStream(stream.get(), 0), nullptr);  // empty
    EXPECT_EQ(ti_Error(), TI_ERR_FORMAT);
}

// A pipe, a device, a socket or a folder in place of a picture is refused
// at once, by every call that reads a file: the viewer's loader and the
// scanner's input pages must not wait for a writer or read without end.
TEST(Api, LoadsRefuseWhatIsNotARegularFile) {
    testing_support::TempDir dir;
    const auto files = testing_support::makeSpecialFiles(dir, u"page");
    ASSERT_FALSE(files.empty());
    for (const auto& f : files) {
        SCOPED_TRACE(f.kind);
        int info = TI_OK, loadedEx = 0;
        TI_IMAGE loaded = nullptr, page = nullptr;
        EXPECT_TRUE(testing_support::returnsPromptly(
            [&] {
                TI_FILE_INFO header{};
                header.size = sizeof header;
                info = ti_GetImageInfo(f.path.c_str(), &header);
                loaded = ti_LoadImage(f.path.c_str());
                page = ti_LoadImageEx(f.path.c_str(), 1);
                loadedEx = ti_Error();
            },
            files));
        EXPECT_NE(info, TI_OK);
        EXPECT_EQ(loaded, nullptr);
        EXPECT_EQ(page, nullptr);
        EXPECT_NE(loadedEx, TI_OK);
        ti_ReleaseImage(&loaded);
        ti_ReleaseImage(&page);
    }
}

TEST(Api, VersionAndRecordLayouts) {
    EXPECT_EQ(ti_GetVersion(), 0x10000);
    EXPECT_EQ(sizeof(TI_FILE_INFO), 40u);
    EXPECT_EQ(TI_IMAGE_INFO_LAYOUT_SIZE, sizeof(void*) == 4 ? 36 : 40);
    EXPECT_EQ(sizeof(TI_IMAGE_INFO), sizeof(void*) == 4 ? 40u : 48u);
}

}  // namespace
