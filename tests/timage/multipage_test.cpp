// Multi-page TIFF files and resolution on every platform's codecs: pages
// of mixed compressions and sizes come back in order and by index, a page
// the system cannot encode leaves the file usable, and each format keeps
// (or states no) resolution.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "timage/helpers.h"

namespace {

using namespace timage_test;
using testing_support::TempDir;

TI_PARAM compressionParam(int compression) {
    TI_PARAM p{};
    p.id = TI_PARAM_COMPRESSION;
    p.value.intValue = compression;
    return p;
}

TI_FILE_INFO fileInfo(const std::u16string& path, int expected = TI_OK) {
    TI_FILE_INFO info{};
    info.size = sizeof info;
    EXPECT_EQ(ti_GetImageInfo(path.c_str(), &info), expected);
    return info;
}

TEST(MultiPage, PagesOfMixedKindsComeBackByIndex) {
    struct Page {
        const char* name;
        int width, height, format, compression, dpi;
    };
    // JPEG pages of both kinds between plain ones: every page's data is
    // moved when it joins the file, and a wrong move shows as a wrong page.
    const Page pages[] = {
        {"colour jpeg", 120, 90, TI_BGR24, TI_COMPRESSION_JPEG, 300},
        {"grey none", 61, 43, TI_GRAY8, TI_COMPRESSION_NONE, 200},
        {"alpha none", 50, 70, TI_BGRA32, TI_COMPRESSION_NONE, 150},
        {"grey jpeg", 33, 21, TI_GRAY8, TI_COMPRESSION_JPEG, 600},
        {"colour lossless", 17, 95, TI_BGR24, TI_COMPRESSION_LZW, 72},
    };
    TempDir dir;
    const std::u16string path = dir.file(u"document.tif");
    std::vector<Image> written;
    TI_MULTIPAGE writer = ti_MultiPageCreateHandle(path.c_str());
    ASSERT_NE(writer, nullptr);
    for (const Page& p : pages) {
        SCOPED_TRACE(p.name);
        const bool lossy = p.compression == TI_COMPRESSION_JPEG;
        written.push_back(lossy ? smooth(p.width, p.height, p.format) : noise(p.width, p.height, p.format, 5));
        ASSERT_EQ(ti_SetDpi(written.back().get(), p.dpi, p.dpi), TI_OK);
        const TI_PARAM param = compressionParam(p.compression);
        ASSERT_EQ(ti_MultiPageAddImage(writer, written.back().get(), &param, 1), TI_OK);
    }
    ti_MultiPageReleaseHandle(&writer);
    ASSERT_EQ(ti_Error(), TI_OK);

    const TI_FILE_INFO info = fileInfo(path);
    EXPECT_EQ(info.pageCount, 5);
    EXPECT_EQ(info.compression, TI_COMPRESSION_JPEG);
    EXPECT_EQ(info.width, 120);
    EXPECT_EQ(info.xDpi, 300);
    // Read back out of order: each page is found by its own index.
    for (int i : {4, 0, 3, 1, 2}) {
        const Page& p = pages[i];
        SCOPED_TRACE(p.name);
        Image page(ti_LoadImageEx(path.c_str(), i));
        ASSERT_TRUE(page) << ti_Error();
        const TI_IMAGE_INFO pi = infoOf(page.get());
        EXPECT_EQ(pi.width, p.width);
        EXPECT_EQ(pi.height, p.height);
        EXPECT_EQ(pi.xDpi, p.dpi);
        EXPECT_EQ(pi.yDpi, p.dpi);
        const int loadsAs = p.compression == TI_COMPRESSION_JPEG && p.format == TI_BGRA32 ? TI_BGR24 : p.format;
        ASSERT_EQ(pi.pixelFormat, loadsAs);
        if (p.compression == TI_COMPRESSION_JPEG) {
            const Difference d = compare(page.get(), written[static_cast<std::size_t>(i)].get());
            EXPECT_LE(d.mean, 4.0);  // a wrong page or swapped channels is far beyond this
        } else {
            EXPECT_TRUE(samePixels(page.get(), written[static_cast<std::size_t>(i)].get()));
        }
    }
    EXPECT_EQ(ti_LoadImageEx(path.c_str(), 5), nullptr);
    EXPECT_EQ(ti_Error(), TI_ERR_ARGUMENT);
}

TEST(MultiPage, GroupFourPageAmongOthersKeepsItsPlace) {
    // A bilevel page between two uncompressed ones, on every platform.
    TempDir dir;
    const std::u16string path = dir.file(u"scan.tif");
    Image first = noise(40, 30, TI_GRAY8, 1), text = smooth(64, 48, TI_GRAY8), last = noise(21, 11, TI_BGR24, 2);
    TI_MULTIPAGE writer = ti_MultiPageCreateHandle(path.c_str());
    ASSERT_NE(writer, nullptr);
    const TI_PARAM none = compressionParam(TI_COMPRESSION_NONE), group4 = compressionParam(TI_COMPRESSION_CCITT_G4);
    ASSERT_EQ(ti_MultiPageAddImage(writer, first.get(), &none, 1), TI_OK);
    EXPECT_EQ(ti_MultiPageAddImage(writer, text.get(), &group4, 1), TI_OK);
    ASSERT_EQ(ti_MultiPageAddImage(writer, last.get(), &none, 1), TI_OK);
    ti_MultiPageReleaseHandle(&writer);
    ASSERT_EQ(ti_Error(), TI_OK);
    const int pages = 3;
    EXPECT_EQ(fileInfo(path).pageCount, pages);
    Image back(ti_LoadImageEx(path.c_str(), pages - 1));
    ASSERT_TRUE(back);
    EXPECT_TRUE(samePixels(back.get(), last.get()));
    Image bilevel(ti_LoadImageEx(path.c_str(), 1));
    ASSERT_TRUE(bilevel);
    Image expected = create(64, 48, TI_GRAY8);
    ASSERT_EQ(ti_Threshold(text.get(), expected.get(), 127, 255, 0), TI_OK);
    EXPECT_TRUE(samePixels(bilevel.get(), expected.get()));
    EXPECT_EQ(fileInfo(path).compression, TI_COMPRESSION_NONE);
}

TEST(Resolution, EachFormatKeepsWhatItCan) {
    struct Row {
        const char* extension;
        int compression;
        bool keeps;
    };
    const Row rows[] = {{".bmp", 1, true}, {".png", 1, true}, {".jpg", 1, true},
                        {".gif", 1, false}, {".tif", TI_COMPRESSION_NONE, true}, {".tif", TI_COMPRESSION_JPEG, true}};
    TempDir dir;
    for (const Row& r : rows) {
        for (const int dpi : {0, 96, 400}) {
            SCOPED_TRACE(std::string(r.extension) + " compression " + std::to_string(r.compression) + " dpi " +
                         std::to_string(dpi));
            Image page = smooth(24, 16, TI_BGR24);
            ASSERT_EQ(ti_SetDpi(page.get(), dpi, dpi / 2), TI_OK);
            const std::u16string path = dir.file(u"page" + std::u16string(r.extension, r.extension + std::strlen(r.extension)));
            ASSERT_EQ(ti_SaveImage2(path.c_str(), page.get(), r.compression, -1, 0), TI_OK);
            const int x = r.keeps && dpi / 2 > 0 ? dpi : 0, y = r.keeps && dpi / 2 > 0 ? dpi / 2 : 0;
            if (dpi == 0 && std::string(r.extension) == ".png") continue;  // pHYs is the encoder's choice
            const TI_FILE_INFO info = fileInfo(path);
            EXPECT_EQ(info.xDpi, x);
            EXPECT_EQ(info.yDpi, y);
            Image back(ti_LoadImage(path.c_str()));
            ASSERT_TRUE(back);
            EXPECT_EQ(infoOf(back.get()).xDpi, x);
            EXPECT_EQ(infoOf(back.get()).yDpi, y);
        }
    }
}

TEST(Files, FoldersAndMissingPathsAreRefused) {
    TempDir dir;
    Image page = noise(8, 8, TI_BGR24);
    ASSERT_EQ(ti_SaveImage(dir.file(u"probe.png").c_str(), page.get()), TI_OK);
    EXPECT_EQ(ti_LoadImage(dir.path().c_str()), nullptr);  // a folder
    EXPECT_EQ(ti_Error(), TI_ERR_IO);
    EXPECT_EQ(ti_LoadImage(dir.file(u"missing.png").c_str()), nullptr);
    EXPECT_EQ(ti_Error(), TI_ERR_IO);
    EXPECT_EQ(ti_MultiPageCreateHandle(dir.file(u"no/such/folder/x.tif").c_str()), nullptr);
    EXPECT_EQ(ti_Error(), TI_ERR_IO);
}

}  // namespace
