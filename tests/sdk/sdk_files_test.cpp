// The files the SDK writes, read back with tools that share no code with
// it: libtiff's tiffinfo, poppler's pdfinfo and ImageMagick's identify.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <regex>

#include "platform/path.h"
#include "platform/text.h"
#include "sdk/sdk_test_support.h"

using namespace sdk_testing;
using testing_support::TempDir;
using testing_support::utf8;

namespace {

std::string quoted(const std::u16string& path) { return "'" + utf8(path) + "'"; }

int count(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (std::size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

// Two sheets, 4 x 3 inches at 150 dpi: 600 x 450 pixels, 288 x 216 points.
std::vector<Event> scanTwoSheets(const std::u16string& out, int scanMode, const char16_t* formats) {
    TempDir driver;
    writeDriver(driver.path(), "source=1\nmaxWidth=8.5\nmaxHeight=11\npagesPerBatch=2\n");
    DocivaHandle handle = dociva_OpenDriver(driver.path().c_str());
    Recorder rec(handle);
    ScanSettings s = settingsFor(out, formats, 1, 150);
    s.scanMode = scanMode;
    dociva_StartScanAsync(handle, nullptr, &s, nullptr);
    EXPECT_TRUE(rec.waitForRuns(1));
    dociva_CloseDriver(&handle);
    std::vector<Event> files;
    for (const Event& e : rec.events())
        if (e.type == DOCIVA_EVENT_IMAGE_READY) files.push_back(e);
    return files;
}

struct Expect {
    int formatCode;
    const char* extension;
    int pages;
    const char* bitsPerSample;     // TIFF
    const char* samplesPerPixel;   // TIFF
    const char* compression;       // TIFF
    const char* identifyColour;    // identify's %[channels] for the others
};

void checkFile(const Event& file, const Expect& e) {
    const std::string path = quoted(file.filePath);
    SCOPED_TRACE(utf8(file.filePath));
    EXPECT_EQ(file.formatCode, e.formatCode);
    EXPECT_TRUE(utf8(file.filePath).ends_with(e.extension));
    if (std::string(e.extension) == ".pdf") {
        const std::string info = runShell("pdfinfo " + path);
        EXPECT_THAT(info, testing::ContainsRegex("Pages: +" + std::to_string(e.pages) + "\n")) << info;
        EXPECT_THAT(info, testing::ContainsRegex("Page size: +288 x 216 pts")) << info;
        const std::string images = runShell("pdfimages -list " + path);
        EXPECT_EQ(count(images, " 600   450 "), e.pages) << images;
        EXPECT_EQ(count(images, "  150   150 "), e.pages) << images;
    } else if (std::string(e.extension) == ".tif") {
        const std::string info = runShell("tiffinfo " + path);
        EXPECT_EQ(count(info, "TIFF Directory at"), e.pages) << info;
        EXPECT_EQ(count(info, "Image Width: 600 Image Length: 450"), e.pages) << info;
        EXPECT_EQ(count(info, "Resolution: 150, 150 pixels/inch"), e.pages) << info;
        EXPECT_EQ(count(info, std::string("Bits/Sample: ") + e.bitsPerSample + "\n"), e.pages) << info;
        EXPECT_EQ(count(info, std::string("Samples/Pixel: ") + e.samplesPerPixel + "\n"), e.pages) << info;
        EXPECT_EQ(count(info, std::string("Compression Scheme: ") + e.compression + "\n"), e.pages) << info;
    } else {
        const std::string info = runShell("identify -format '%w %h %z %[channels]\\n' " + path);
        EXPECT_EQ(info, std::string("600 450 8 ") + e.identifyColour + "\n");
        if (std::string(e.extension) != ".gif") {
            const std::string dpi = runShell("identify -units PixelsPerInch -format '%[fx:round(resolution.x)]' " + path);
            EXPECT_EQ(dpi, "150");
        }
    }
}

TEST(SdkFiles, EveryFormatDecodesWithTheRightPagesSizeResolutionAndDepth) {
    TempDir dir;
    const std::vector<Event> files = scanTwoSheets(dir.path(), 2, u"0, 1, 2, 3, 4, 6, 7, 8, 9");
    const Expect perSide[] = {
        {0, ".bmp", 1, "", "", "", "srgb"},          {1, ".jpg", 1, "", "", "", "srgb"},
        {2, ".pdf", 1, "", "", "", ""},              {3, ".tif", 1, "8", "3", "LZW", ""},
        {4, ".png", 1, "", "", "", "srgb"},          {6, ".tif", 1, "1", "1", "CCITT Group 4", ""},
        {7, ".gif", 1, "", "", "", "srgb"},
    };
    ASSERT_EQ(files.size(), 2u * 7 + 2);
    for (std::size_t side = 0; side < 2; ++side)
        for (std::size_t f = 0; f < 7; ++f) checkFile(files[side * 7 + f], perSide[f]);
    checkFile(files[14], {8, ".tif", 2, "8", "3", "JPEG", ""});
    checkFile(files[15], {9, ".pdf", 2, "", "", "", ""});
    // Nothing else was left in the folder, temporary files included.
    EXPECT_EQ(folderNames(dir.path()).size(), files.size());
}

TEST(SdkFiles, ColourModesGiveGreyAndBilevelFiles) {
    struct Row {
        const char* name;
        int scanMode;
        Expect tiff;
        Expect png;
    };
    const Row rows[] = {
        {"grey", 1, {3, ".tif", 1, "8", "1", "LZW", ""}, {4, ".png", 1, "", "", "", "gray"}},
        {"black and white", 0, {3, ".tif", 1, "1", "1", "CCITT Group 4", ""}, {4, ".png", 1, "", "", "", "gray"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::vector<Event> files = scanTwoSheets(dir.path(), row.scanMode, u"3, 4");
        ASSERT_EQ(files.size(), 4u);
        checkFile(files[0], row.tiff);
        checkFile(files[1], row.png);
    }
    // Black and white pages hold two levels only.
    TempDir dir;
    const std::vector<Event> files = scanTwoSheets(dir.path(), 0, u"4");
    ASSERT_FALSE(files.empty());
    EXPECT_EQ(runShell("identify -format '%k' " + quoted(files[0].filePath)), "2");
}

}  // namespace
