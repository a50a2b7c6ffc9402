// Files written and read back by the toolkit, and checked by tools that
// are not ours: ImageMagick's identify and libtiff's tiffinfo.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "timage/helpers.h"

namespace {

using namespace timage_test;
using testing_support::TempDir;
using testing_support::utf8;

struct Identified {
    std::string format;
    int width = 0, height = 0;
    double xDpi = 0, yDpi = 0;
};

// One line per page.
std::vector<Identified> identify(const std::u16string& path) {
    std::vector<Identified> pages;
    std::istringstream out(run("identify -units PixelsPerInch -format '%m %w %h %x %y\\n' " + shellQuote(utf8(path)) + " 2>/dev/null"));
    Identified page;
    while (out >> page.format >> page.width >> page.height >> page.xDpi >> page.yDpi) pages.push_back(page);
    return pages;
}

std::string tiffinfo(const std::u16string& path) { return run("tiffinfo " + shellQuote(utf8(path)) + " 2>&1"); }

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Bytes of a literal, zeros included.
template <std::size_t N>
std::string bin(const char (&s)[N]) {
    return std::string(s, N - 1);
}

// Files and folders in a folder.
int entries(const std::u16string& folder) {
    const std::filesystem::path where(folder);
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(where), std::filesystem::directory_iterator()));
}

TI_FILE_INFO fileInfo(const std::u16string& path) {
    TI_FILE_INFO info{};
    info.size = sizeof info;
    EXPECT_EQ(ti_GetImageInfo(path.c_str(), &info), TI_OK);
    return info;
}

// What a G4 page must read back as: the source thresholded at 128.
Image thresholded(TI_IMAGE source) {
    const TI_IMAGE_INFO info = infoOf(source);
    Image grey = create(info.width, info.height, TI_GRAY8);
    EXPECT_EQ(ti_ConvertColor(source, grey.get(), 0), TI_OK);
    EXPECT_EQ(ti_Threshold(grey.get(), grey.get(), 127, 255, 0), TI_OK);
    return grey;
}

struct RoundTrip {
    const char* name;
    const char* extension;
    int compression;
    int format;       // pixel format written
    int loadsAs;      // pixel format read back
    bool exact;       // pixels identical (else compared with the limits below)
    double meanLimit;  // lossy rows: a swapped channel or a shifted row is far beyond these
    int maxLimit;      // single bytes at hard colour edges under 4:2:0 chroma go far
    const char* identifyAs;
    bool keepsDpi;
    const char* tiffScheme;  // tiffinfo's "Compression Scheme", TIFF only
};

const RoundTrip kRoundTrips[] = {
    {"bmp grey", ".bmp", 1, TI_GRAY8, TI_GRAY8, true, 0, 0, "BMP", true, nullptr},
    {"bmp colour", ".bmp", 1, TI_BGR24, TI_BGR24, true, 0, 0, "BMP", true, nullptr},
    {"bmp alpha dropped", ".bmp", 1, TI_BGRA32, TI_BGR24, true, 0, 0, "BMP", true, nullptr},
    {"png grey", ".png", 1, TI_GRAY8, TI_GRAY8, true, 0, 0, "PNG", true, nullptr},
    {"png colour", ".png", 1, TI_BGR24, TI_BGR24, true, 0, 0, "PNG", true, nullptr},
    {"png alpha", ".PNG", 1, TI_BGRA32, TI_BGRA32, true, 0, 0, "PNG", true, nullptr},
    {"gif grey", ".gif", 1, TI_GRAY8, TI_GRAY8, true, 0, 0, "GIF", false, nullptr},
    {"gif colour (quantised)", ".gif", 1, TI_BGR24, TI_BGR24, false, 10.0, 128, "GIF", false, nullptr},
    {"jpeg grey", ".jpg", 1, TI_GRAY8, TI_GRAY8, false, 1.5, 40, "JPEG", true, nullptr},
    {"jpeg colour", ".jpeg", 7, TI_BGR24, TI_BGR24, false, 2.5, 110, "JPEG", true, nullptr},
    {"tiff none grey", ".tif", 1, TI_GRAY8, TI_GRAY8, true, 0, 0, "TIFF", true, "None"},
    {"tiff none colour", ".tif", 1, TI_BGR24, TI_BGR24, true, 0, 0, "TIFF", true, "None"},
    {"tiff none alpha", ".tiff", 1, TI_BGRA32, TI_BGRA32, true, 0, 0, "TIFF", true, "None"},
    {"tiff lzw colour", ".tif", 5, TI_BGR24, TI_BGR24, true, 0, 0, "TIFF", true, "LZW"},
    {"tiff deflate alpha", ".tif", 8, TI_BGRA32, TI_BGRA32, true, 0, 0, "TIFF", true, "AdobeDeflate"},
    {"tiff jpeg grey", ".tif", 7, TI_GRAY8, TI_GRAY8, false, 1.5, 40, "TIFF", true, "JPEG"},
    {"tiff jpeg colour", ".TIF", 7, TI_BGR24, TI_BGR24, false, 2.5, 110, "TIFF", true, "JPEG"},
    {"tiff jpeg alpha dropped", ".tif", 7, TI_BGRA32, TI_BGR24, false, 2.5, 110, "TIFF", true, "JPEG"},
    {"tiff g4 from colour", ".tif", 4, TI_BGR24, TI_GRAY8, true, 0, 0, "TIFF", true, "CCITT Group 4"},
    {"tiff g4 from grey", ".tif", 4, TI_GRAY8, TI_GRAY8, true, 0, 0, "TIFF", true, "CCITT Group 4"},
};

TEST(Codecs, EveryFormatRoundTripsAndOutsideToolsAgree) {
    const bool tools = !testing_support::onWindows() && haveTool("identify") && haveTool("tiffinfo");
    if (!tools) std::printf("identify or tiffinfo missing: outside checks skipped\n");
    TempDir dir;
    const int w = 67, h = 45;  // odd sizes: row padding and chroma subsampling edges
    for (const RoundTrip& r : kRoundTrips) {
        SCOPED_TRACE(r.name);
        const bool lossy = !r.exact;
        Image source = lossy || r.compression == 4 || std::string(r.extension) == ".gif" ? smooth(w, h, r.format)
                                                                                        : noise(w, h, r.format, 7);
        ASSERT_EQ(ti_SetDpi(source.get(), 300, 200), TI_OK);
        ASSERT_EQ(ti_SetJpegQuality(source.get(), 90), TI_OK);
        const std::u16string path = dir.file(u"page" + std::u16string(r.extension, r.extension + std::strlen(r.extension)));
        ASSERT_EQ(ti_SaveImage2(path.c_str(), source.get(), r.compression, -1, 0), TI_OK);

        const TI_FILE_INFO info = fileInfo(path);
        EXPECT_EQ(info.width, w);
        EXPECT_EQ(info.height, h);
        EXPECT_EQ(info.pageCount, 1);
        EXPECT_EQ(info.pixelFormat, r.loadsAs);
        EXPECT_EQ(info.xDpi, r.keepsDpi ? 300 : 0);
        EXPECT_EQ(info.yDpi, r.keepsDpi ? 200 : 0);
        if (r.tiffScheme) { EXPECT_EQ(info.compression, r.compression); }

        Image loaded(ti_LoadImage(path.c_str()));
        ASSERT_TRUE(loaded) << ti_Error();
        const TI_IMAGE_INFO li = infoOf(loaded.get());
        EXPECT_EQ(li.pixelFormat, r.loadsAs);
        EXPECT_EQ(li.xDpi, r.keepsDpi ? 300 : 0);
        EXPECT_EQ(li.yDpi, r.keepsDpi ? 200 : 0);
        EXPECT_EQ(li.topDown, 1);
        // The reference in the loaded pixel format.
        Image expected = r.compression == 4 ? thresholded(source.get()) : create(w, h, r.loadsAs);
        if (r.compression != 4) { ASSERT_EQ(ti_ConvertColor(source.get(), expected.get(), 0), TI_OK); }
        if (r.exact) {
            EXPECT_TRUE(samePixels(loaded.get(), expected.get()));
        } else {
            // The limits above are for quality 90.
            const Difference d = compare(loaded.get(), expected.get());
            EXPECT_LE(d.mean, r.meanLimit);
            EXPECT_LE(d.max, r.maxLimit);
        }

        if (!tools) continue;
        const std::vector<Identified> seen = identify(path);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].format.rfind(r.identifyAs, 0), 0u) << seen[0].format;  // "BMP3" for BMP
        EXPECT_EQ(seen[0].width, w);
        EXPECT_EQ(seen[0].height, h);
        if (r.keepsDpi) {
            EXPECT_NEAR(seen[0].xDpi, 300, 0.5);
            EXPECT_NEAR(seen[0].yDpi, 200, 0.5);
        }
        if (r.tiffScheme) {
            const std::string report = tiffinfo(path);
            EXPECT_NE(report.find(std::string("Compression Scheme: ") + r.tiffScheme), std::string::npos) << report;
            EXPECT_NE(report.find("Resolution: 300, 200 pixels/inch"), std::string::npos) << report;
            if (r.compression == 7 && r.loadsAs != TI_GRAY8) {
                EXPECT_NE(report.find("YCbCr"), std::string::npos) << report;
            }
        }
    }
}

TEST(Codecs, TiffLayoutsWrittenByOtherToolsAreRead) {
    if (testing_support::onWindows() || !haveTool("convert") || !haveTool("tiffcp"))
        GTEST_SKIP() << "ImageMagick or tiffcp missing";
    TempDir dir;
    // Six colours in blocks: every tool below keeps them exactly.
    Image blocks = create(300, 200, TI_BGR24);
    const std::uint32_t colours[] = {0xffffffffu, 0xff000000u, 0xffcc2200u, 0xff0044ccu, 0xff33aa33u, 0xff808080u};
    for (int i = 0; i < 6; ++i) {
        const TI_RECT r{(i % 3) * 100, (i / 3) * 100, 100, 100};
        ASSERT_EQ(ti_FillRect(blocks.get(), &r, colours[i]), TI_OK);
    }
    const std::u16string png = dir.file(u"blocks.png"), lzw = dir.file(u"ours.tif");
    ASSERT_EQ(ti_SaveImage(png.c_str(), blocks.get()), TI_OK);
    ASSERT_EQ(ti_SaveImage(lzw.c_str(), blocks.get()), TI_OK);
    const std::string in = shellQuote(utf8(png)), ours = shellQuote(utf8(lzw));
    struct Row {
        const char* name;
        const char* command;  // %in, %ours, %out
        bool bilevel;
    };
    const Row rows[] = {
        {"tiled", "tiffcp -t -w 64 -l 64 %ours %out", false},
        {"separate planes", "tiffcp -p separate %ours %out", false},
        {"one big strip", "tiffcp -r 100000 -c none %ours %out", false},
        {"palette", "convert %in -type Palette -compress lzw %out", false},
        {"16 bits a sample", "convert %in -depth 16 %out", false},
        {"JPEG-compressed RGB", "convert %in -quality 100 -compress jpeg %out", false},
        {"Group 4 by another writer", "convert %in -threshold 50% -type bilevel -compress group4 %out", true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::u16string out = dir.file(u"theirs.tif");
        std::string command = r.command;
        auto put = [&](const std::string& key, const std::string& value) {
            command.replace(command.find(key), key.size(), value);
        };
        put("%out", shellQuote(utf8(out)));
        if (command.find("%in") != std::string::npos) put("%in", in);
        if (command.find("%ours") != std::string::npos) put("%ours", ours);
        ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
        Image loaded(ti_LoadImage(out.c_str()));
        ASSERT_TRUE(loaded) << ti_Error();
        if (r.bilevel) {
            const TI_IMAGE_INFO info = infoOf(loaded.get());
            EXPECT_EQ(info.pixelFormat, TI_GRAY8);
            EXPECT_EQ(pixel(loaded.get(), 50, 50)[0], 255);  // white block
            EXPECT_EQ(pixel(loaded.get(), 150, 50)[0], 0);   // black block
            continue;
        }
        Image colour = create(300, 200, TI_BGR24);
        ASSERT_EQ(ti_ConvertColor(loaded.get(), colour.get(), 0), TI_OK);
        const Difference d = compare(colour.get(), blocks.get());
        EXPECT_LE(d.max, std::string(r.name) == "JPEG-compressed RGB" ? 24 : 0);
    }
}

TEST(Codecs, JpegQualityDecidesTheSize) {
    TempDir dir;
    Image page = noise(128, 96, TI_BGR24);
    const std::u16string low = dir.file(u"low.jpg"), high = dir.file(u"high.jpg"), viaImage = dir.file(u"image.jpg");
    ASSERT_EQ(ti_SaveImage2(low.c_str(), page.get(), 7, 20, 0), TI_OK);
    ASSERT_EQ(ti_SaveImage2(high.c_str(), page.get(), 7, 95, 0), TI_OK);
    ASSERT_EQ(ti_SetJpegQuality(page.get(), 20), TI_OK);
    ASSERT_EQ(ti_SaveImage2(viaImage.c_str(), page.get(), 7, -1, 0), TI_OK);
    const auto size = [](const std::u16string& p) { return testing_support::readBytes(p).size(); };
    EXPECT_LT(size(low) * 2, size(high));
    EXPECT_EQ(size(low), size(viaImage));  // the image's own quality when -1
}

TEST(Codecs, MultiPageTiffKeepsPagesInOrder) {
    TempDir dir;
    const std::u16string path = dir.file(u"scan.tif");
    struct Page {
        int width, height, format, compression;
    };
    const Page pages[] = {{80, 60, TI_BGR24, 7}, {61, 43, TI_GRAY8, 4}, {50, 70, TI_BGRA32, 1}, {33, 21, TI_GRAY8, 7}};
    std::vector<Image> written;
    TI_MULTIPAGE writer = ti_MultiPageCreateHandle(path.c_str());
    ASSERT_NE(writer, nullptr);
    for (const Page& p : pages) {
        written.push_back(p.compression == 1 ? noise(p.width, p.height, p.format, 3) : smooth(p.width, p.height, p.format));
        ti_SetDpi(written.back().get(), 150, 150);
        TI_PARAM param{};
        param.id = TI_PARAM_COMPRESSION;
        param.value.intValue = p.compression;
        ASSERT_EQ(ti_MultiPageAddImage(writer, written.back().get(), &param, 1), TI_OK);
    }
    ti_MultiPageReleaseHandle(&writer);
    EXPECT_EQ(writer, nullptr);
    EXPECT_EQ(ti_Error(), TI_OK);

    const TI_FILE_INFO info = fileInfo(path);
    EXPECT_EQ(info.pageCount, 4);
    EXPECT_EQ(info.compression, 7);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        Image page(ti_LoadImageEx(path.c_str(), i));
        ASSERT_TRUE(page);
        const TI_IMAGE_INFO pi = infoOf(page.get());
        EXPECT_EQ(pi.width, pages[i].width);
        EXPECT_EQ(pi.height, pages[i].height);
        EXPECT_EQ(pi.xDpi, 150);
        if (pages[i].compression == 1) { EXPECT_TRUE(samePixels(page.get(), written[static_cast<std::size_t>(i)].get())); }
    }
    EXPECT_EQ(ti_LoadImageEx(path.c_str(), 4), nullptr);
    EXPECT_EQ(ti_Error(), TI_ERR_ARGUMENT);
    EXPECT_EQ(ti_LoadImageEx(path.c_str(), -1), nullptr);

    if (!testing_support::onWindows() && haveTool("tiffinfo")) {
        const std::string report = tiffinfo(path);
        EXPECT_EQ(count(report, "TIFF Directory at offset"), 4) << report;
        EXPECT_EQ(count(report, "Compression Scheme: JPEG"), 2);
        EXPECT_EQ(count(report, "Compression Scheme: CCITT Group 4"), 1);
        EXPECT_EQ(count(report, "Compression Scheme: None"), 1);
    }
    if (!testing_support::onWindows() && haveTool("identify")) { EXPECT_EQ(identify(path).size(), 4u); }
}

TEST(Codecs, MultiPageAddFileAndStreamAppendEveryPage) {
    TempDir dir;
    const std::u16string two = dir.file(u"two.tif"), one = dir.file(u"one.png"), all = dir.file(u"all.tif");
    Image a = noise(20, 10, TI_BGR24, 1), b = noise(12, 14, TI_GRAY8, 2), c = noise(9, 9, TI_BGR24, 3);
    TI_PARAM lossless{};
    lossless.id = TI_PARAM_COMPRESSION;
    lossless.value.intValue = TI_COMPRESSION_LZW;
    TI_MULTIPAGE writer = ti_MultiPageCreateHandle(two.c_str());
    ASSERT_EQ(ti_MultiPageAddImage(writer, a.get(), &lossless, 1), TI_OK);
    ASSERT_EQ(ti_MultiPageAddImage(writer, b.get(), &lossless, 1), TI_OK);
    ti_MultiPageReleaseHandle(&writer);
    ASSERT_EQ(ti_SaveImage(one.c_str(), c.get()), TI_OK);

    const std::string pngBytes = testing_support::readBytes(one);
    MemoryStream stream(std::vector<std::uint8_t>(pngBytes.begin(), pngBytes.end()));
    writer = ti_MultiPageCreateHandle(all.c_str());
    ASSERT_EQ(ti_MultiPageAddFile(writer, two.c_str(), &lossless, 1), TI_OK);
    ASSERT_EQ(ti_MultiPageAddStream(writer, stream.get(), &lossless, 1), TI_OK);
    ti_MultiPageReleaseHandle(&writer);
    ASSERT_EQ(fileInfo(all).pageCount, 3);
    const TI_IMAGE expected[] = {a.get(), b.get(), c.get()};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        Image page(ti_LoadImageEx(all.c_str(), i));
        ASSERT_TRUE(page);
        EXPECT_TRUE(samePixels(page.get(), expected[i]));
    }
}

TEST(Codecs, MultiPageFileWithoutPagesIsNotLeftBehind) {
    // The component moves the written file over the document after the
    // release; an empty or broken file must not be there to move.
    TempDir dir;
    const std::u16string path = dir.file(u"empty.tif");
    TI_MULTIPAGE writer = ti_MultiPageCreateHandle(path.c_str());
    ASSERT_NE(writer, nullptr);
    ti_MultiPageReleaseHandle(&writer);
    EXPECT_EQ(ti_Error(), TI_ERR_IO);
    EXPECT_TRUE(testing_support::readBytes(path).empty());
    TI_FILE_INFO info{};
    info.size = sizeof info;
    EXPECT_EQ(ti_GetImageInfo(path.c_str(), &info), TI_ERR_IO);
}

TEST(Codecs, StreamsCarryEveryFormat) {
    const int formats[] = {TI_FORMAT_BMP, TI_FORMAT_JPEG, TI_FORMAT_PNG, TI_FORMAT_GIF, TI_FORMAT_TIFF};
    Image source = create(31, 17, TI_GRAY8);
    paintSmooth(source.get());
    ti_SetDpi(source.get(), 96, 96);
    for (int format : formats) {
        SCOPED_TRACE(format);
        MemoryStream stream;
        TI_PARAM lossless{};
        lossless.id = TI_PARAM_COMPRESSION;
        lossless.value.intValue = TI_COMPRESSION_LZW;
        ASSERT_EQ(ti_SaveToStream(stream.get(), source.get(), format, &lossless, 1), TI_OK);
        stream.rewind();
        TI_FILE_INFO info{};
        info.size = sizeof info;
        ASSERT_EQ(ti_GetImageInfoFromStream(stream.get(), &info), TI_OK);
        EXPECT_EQ(info.format, format);
        EXPECT_EQ(info.width, 31);
        EXPECT_EQ(info.height, 17);
        stream.rewind();
        Image back(ti_LoadFromStream(stream.get(), 0));
        ASSERT_TRUE(back);
        Image viaMemory(ti_LoadFromMem(stream.bytes().data(), static_cast<int>(stream.bytes().size())));
        ASSERT_TRUE(viaMemory);
        EXPECT_TRUE(samePixels(back.get(), viaMemory.get()));
        if (format != TI_FORMAT_JPEG) { EXPECT_TRUE(samePixels(back.get(), source.get())); }
    }
}

TEST(Codecs, DamagedAndForeignDataIsRefused) {
    struct Row {
        const char* name;
        std::string bytes;
        int code;
    };
    const std::string png = bin("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR");
    const Row rows[] = {
        {"text", "hello, world", TI_ERR_FORMAT},
        {"jpeg signature only", "\xff\xd8\xff", TI_ERR_FORMAT},
        {"tiff header only", bin("II*\0\x08\0\0\0"), TI_ERR_FORMAT},
        {"png of 20000 x 20000", png + bin("\0\0\x4e\x20\0\0\x4e\x20\x08\x06\0\0\0") + "xxxx", TI_ERR_MEMORY},
        {"png of zero width", png + bin("\0\0\0\0\0\0\0\x10\x08\x02\0\0\0") + "xxxx", TI_ERR_FORMAT},
        {"gif frame beyond the limits", bin("GIF89a\x10\0\x10\0\0\0\0,\0\0\0\0\xff\xff\xff\xff\0\x02\x02\x4c\x01\0;"),
         TI_ERR_MEMORY},
        {"bmp truncated", bin("BM\x10\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0"), TI_ERR_FORMAT},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(ti_LoadFromMem(r.bytes.data(), static_cast<int>(r.bytes.size())), nullptr);
        EXPECT_EQ(ti_Error(), r.code);
    }
}

// JPEG data with the height and width of its frame header replaced.
std::string withDeclaredSize(std::string jpeg, int width, int height) {
    for (std::size_t i = 2; i + 9 < jpeg.size();) {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(jpeg[at]); };
        if (byte(i) != 0xFF) break;
        const unsigned marker = byte(i + 1);
        if (marker >= 0xC0 && marker <= 0xC2) {
            jpeg[i + 5] = static_cast<char>(height >> 8);
            jpeg[i + 6] = static_cast<char>(height & 0xFF);
            jpeg[i + 7] = static_cast<char>(width >> 8);
            jpeg[i + 8] = static_cast<char>(width & 0xFF);
            return jpeg;
        }
        i += 2 + (static_cast<std::size_t>(byte(i + 2)) << 8 | byte(i + 3));
    }
    ADD_FAILURE() << "no frame header";
    return jpeg;
}

std::string encodedJpeg(TI_IMAGE image) {
    MemoryStream stream;
    EXPECT_EQ(ti_SaveToStream(stream.get(), image, TI_FORMAT_JPEG, nullptr, 0), TI_OK);
    return std::string(stream.bytes().begin(), stream.bytes().end());
}

// A few hundred bytes that declare a picture of a billion bytes: the
// header is sound, so the file loads and a reduced decode (all the
// viewer needs to fit a page) works, but a full decode would spend
// seconds making a picture of nothing and is refused as damaged. A page
// that is really that large and plain, with its data, still decodes.
TEST(Codecs, JpegDecodeWorkIsBoundedByItsData) {
    Image small = noise(24, 24, TI_BGR24);
    const std::string forged = withDeclaredSize(encodedJpeg(small.get()), 17490, 18760);
    ASSERT_LT(forged.size(), 2048u);
    Image image(ti_LoadFromMem(forged.data(), static_cast<int>(forged.size())));
    TI_IMAGE_INFO full{};
    ASSERT_TRUE(image) << ti_Error();
    TI_IMAGE_INFO layout{};
    layout.size = TI_IMAGE_INFO_LAYOUT_SIZE;
    ASSERT_EQ(ti_GetInfo(image.get(), &layout), TI_OK);
    EXPECT_EQ(layout.width, 17490);
    EXPECT_EQ(layout.height, 18760);
    Image fitted = create(64, 48, TI_BGR24);
    EXPECT_EQ(ti_Resize(image.get(), fitted.get(), TI_INTER_LINEAR), TI_OK);
    full.size = sizeof full;
    EXPECT_EQ(ti_GetInfo(image.get(), &full), TI_ERR_FORMAT);

    Image page = create(2480, 3508, TI_BGR24);
    ASSERT_EQ(ti_Fill(page.get(), 0xFFFFFFFFu), TI_OK);
    const std::string blank = encodedJpeg(page.get());
    Image back(ti_LoadFromMem(blank.data(), static_cast<int>(blank.size())));
    ASSERT_TRUE(back);
    full.size = sizeof full;
    EXPECT_EQ(ti_GetInfo(back.get(), &full), TI_OK) << blank.size() << " bytes";
}

TEST(Codecs, SaveFailureLeavesTheOldFileAlone) {
    TempDir dir;
    const std::u16string path = dir.file(u"keep.png");
    ASSERT_TRUE(testing_support::writeBytes(path, "old contents"));
    Image page = noise(10, 10, TI_BGR24);
    EXPECT_EQ(ti_SaveImage2(path.c_str(), page.get(), 1, -1, 1), TI_ERR_ARGUMENT);  // flags must be 0
    EXPECT_EQ(ti_SaveImage2(dir.file(u"page.xyz").c_str(), page.get(), 1, -1, 0), TI_ERR_FORMAT);
    EXPECT_EQ(ti_SaveImage2(dir.file(u"page.tif").c_str(), page.get(), 3, -1, 0), TI_ERR_ARGUMENT);
    EXPECT_EQ(ti_SaveImage2(dir.file(u"no/such/folder/page.png").c_str(), page.get(), 1, -1, 0), TI_ERR_IO);
    EXPECT_EQ(testing_support::readBytes(path), "old contents");
    // A successful save replaces it, and leaves no temporary file behind.
    ASSERT_EQ(ti_SaveImage(path.c_str(), page.get()), TI_OK);
    Image back(ti_LoadImage(path.c_str()));
    ASSERT_TRUE(back);
    EXPECT_TRUE(samePixels(back.get(), page.get()));
    EXPECT_EQ(entries(dir.path()), 1);
}

TEST(Codecs, PathsWithBackslashesAndNonAsciiNames) {
    TempDir dir;
    std::u16string path = dir.path() + u"\\Scan \u00e9t\u00e9 \u6587\u4ef6.jpg";
    Image page = smooth(16, 16, TI_BGR24);
    ASSERT_EQ(ti_SaveImage(path.c_str(), page.get()), TI_OK);
    Image back(ti_LoadImage(path.c_str()));
    ASSERT_TRUE(back);
    EXPECT_EQ(infoOf(back.get()).width, 16);
}

}  // namespace
