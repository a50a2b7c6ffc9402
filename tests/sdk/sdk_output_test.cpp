// What the SDK makes of the settings it receives: names and counters,
// processing, pages from a folder, and the start trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "libs/timage/timage.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scanner/scanner_test_support.h"
#include "sdk/sdk_test_support.h"

using namespace sdk_testing;
using testing_support::TempDir;
using testing_support::utf8;

namespace {

constexpr char kFeeder[] = "source=1\nmaxWidth=8.5\nmaxHeight=11\npagesPerBatch=2\n";

// Runs one start on a fresh handle of a driver with these device lines.
std::vector<std::u16string> scan(const std::string& device, const ScanSettings& s, std::vector<Status>* statuses = nullptr) {
    TempDir driver;
    writeDriver(driver.path(), device);
    DocivaHandle handle = dociva_OpenDriver(driver.path().c_str());
    EXPECT_NE(handle, 0u);
    Recorder rec(handle);
    dociva_StartScanAsync(handle, nullptr, &s, nullptr);
    EXPECT_TRUE(rec.waitForRuns(1));
    dociva_CloseDriver(&handle);
    if (statuses) *statuses = rec.statuses();
    return rec.files();
}

TI_FILE_INFO infoOf(const std::u16string& path) {
    TI_FILE_INFO info{};
    info.size = sizeof(info);
    ti_GetImageInfo(path.c_str(), &info);
    return info;
}

double meanOf(const std::u16string& path) {
    TI_IMAGE image = ti_LoadImage(path.c_str());
    double mean[4] = {};
    ti_Mean(image, mean);
    ti_ReleaseImage(&image);
    return mean[0];
}

TEST(SdkNames, CounterContinuesAfterTheHighestNumberInTheFolder) {
    TempDir dir;
    // Other names and other patterns do not count.
    testing_support::writeBytes(dir.file(u"page_041.jpg"), "x");
    testing_support::writeBytes(dir.file(u"other_900.png"), "x");
    testing_support::writeBytes(dir.file(u"page_x.png"), "x");
    const ScanSettings s = settingsFor(dir.path(), u"4");
    const std::vector<std::u16string> first = scan(kFeeder, s);
    const std::vector<std::u16string> second = scan(kFeeder, s);
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(platform::fileNameOf(first[0]), u"page_042.png");
    EXPECT_EQ(platform::fileNameOf(first[1]), u"page_043.png");
    EXPECT_EQ(platform::fileNameOf(second[0]), u"page_044.png");
    EXPECT_EQ(platform::fileNameOf(second[1]), u"page_045.png");
}

TEST(SdkNames, NamesNeverOverwriteAndNeverLeaveTheFolder) {
    TempDir dir;
    ScanSettings s = settingsFor(dir.file(u"out"), u"4");
    text::copyBounded(s.fileName, kRecordTextUnits, u"../fixed");
    std::vector<Status> statuses;
    const std::vector<std::u16string> files = scan(kFeeder, s, &statuses);
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back().code, 0) << "error " << statuses.back().data;
    // Two pages and no counter: every name distinct, all inside.
    EXPECT_EQ(folderNames(dir.file(u"out")),
              (std::vector<std::u16string>{u".._fixed.png", u".._fixed_2.png"}));
    EXPECT_EQ(files.size(), 2u);
    EXPECT_FALSE(platform::pathExists(dir.file(u"fixed.png")));
}

TEST(SdkProcessing, SettingsChangeSizeResolutionAndContent) {
    struct Row {
        const char* name;
        void (*adjust)(ScanSettings&);
        int width, height, dpi;
    };
    // 4 x 3 inches at 100 dpi: 400 x 300.
    const Row rows[] = {
        {"as scanned", [](ScanSettings&) {}, 400, 300, 100},
        {"turned right", [](ScanSettings& s) { s.rotate = 1; }, 300, 400, 100},
        {"turned 270 given in degrees", [](ScanSettings& s) { s.rotate = 270; }, 300, 400, 100},
        {"zoom x 50 %", [](ScanSettings& s) { s.zoomX = 50; }, 200, 300, 100},
        {"zoom y 200 %", [](ScanSettings& s) { s.zoomY = 200; }, 400, 600, 100},
        {"zoom beyond the range is clamped", [](ScanSettings& s) { s.zoomX = 500; }, 800, 300, 100},
        {"resolution halved", [](ScanSettings& s) { s.changeDpi = 50; }, 200, 150, 50},
        {"300 dpi", [](ScanSettings& s) { s.scanDpi = 300; }, 1200, 900, 300},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        ScanSettings s = settingsFor(dir.path(), u"4");
        row.adjust(s);
        const std::vector<std::u16string> files = scan(kFeeder, s);
        ASSERT_EQ(files.size(), 2u);
        const TI_FILE_INFO info = infoOf(files[0]);
        EXPECT_EQ(info.width, row.width);
        EXPECT_EQ(info.height, row.height);
        EXPECT_EQ(info.xDpi, row.dpi);
    }
}

TEST(SdkTiff, SinglePageTiffIsWrittenWhereverTheToolkitRuns) {
    struct Row {
        const char* name;
        int scanMode;
        std::vector<int> compressions;  // any of these is sound
    };
    // A toolkit without LZW (Wine's) must still give a TIFF, uncompressed.
    const Row rows[] = {
        {"colour: LZW or uncompressed", 2, {TI_COMPRESSION_LZW, TI_COMPRESSION_NONE}},
        {"grey: LZW or uncompressed", 1, {TI_COMPRESSION_LZW, TI_COMPRESSION_NONE}},
        {"black and white: Group 4 or uncompressed", 0, {TI_COMPRESSION_CCITT_G4, TI_COMPRESSION_NONE}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        ScanSettings s = settingsFor(dir.path(), u"3");
        s.scanMode = row.scanMode;
        std::vector<Status> statuses;
        const std::vector<std::u16string> files = scan(kFeeder, s, &statuses);
        ASSERT_FALSE(statuses.empty());
        EXPECT_EQ(statuses.back().code, DOCIVA_STATUS_SCAN_SUCCESS);
        ASSERT_EQ(files.size(), 2u);
        for (const auto& file : files) {
            SCOPED_TRACE(utf8(file));
            const TI_FILE_INFO info = infoOf(file);
            EXPECT_EQ(info.format, TI_FORMAT_TIFF);
            EXPECT_EQ(info.width, 400);
            EXPECT_EQ(info.height, 300);
            EXPECT_NE(std::find(row.compressions.begin(), row.compressions.end(), info.compression),
                      row.compressions.end())
                << "compression " << info.compression;
        }
        EXPECT_EQ(folderNames(dir.path()).size(), 2u);  // no temporary left behind
    }
}

TEST(SdkProcessing, InvertAndThresholdChangeTheInk) {
    TempDir dir;
    ScanSettings s = settingsFor(dir.file(u"plain"), u"4");
    s.scanMode = 1;
    const double plain = meanOf(scan(kFeeder, s)[0]);
    s.invert = 1;
    text::copyBounded(s.saveToPath, kRecordTextUnits, dir.file(u"inverted"));
    const double inverted = meanOf(scan(kFeeder, s)[0]);
    EXPECT_NEAR(plain + inverted, 255.0, 1.0);
    EXPECT_GT(plain, 200.0);  // a page is mostly paper

    // A threshold above every ink and paper level blackens the whole page.
    s = settingsFor(dir.file(u"black"), u"4");
    s.scanMode = 0;
    s.bwThreshold = 255;
    EXPECT_EQ(meanOf(scan(kFeeder, s)[0]), 0.0);
}

TEST(SdkProcessing, BlankPagesAreDroppedOnlyWhenAskedFor) {
    const std::string device = "source=1\nmaxWidth=8.5\nmaxHeight=11\npagesPerBatch=3\nblankPages=2\n";
    TempDir dir;
    ScanSettings s = settingsFor(dir.file(u"kept"), u"4");
    EXPECT_EQ(scan(device, s).size(), 3u);
    s.blankPageDetect = 1;
    text::copyBounded(s.saveToPath, kRecordTextUnits, dir.file(u"dropped"));
    const std::vector<std::u16string> files = scan(device, s);
    ASSERT_EQ(files.size(), 2u);
    // The pages that remain are the first and third sides.
    EXPECT_EQ(platform::fileNameOf(files[1]), u"page_002.png");
}

TEST(SdkPages, FolderPagesComeInNameOrderAtTheScanResolution) {
    TempDir dir;
    platform::createDirectory(dir.file(u"input"));
    // Three pages of different widths, written at 200 dpi in the wrong order.
    const int widths[] = {300, 100, 200};
    const char16_t* names[] = {u"c.png", u"a.png", u"b.png"};
    for (int i = 0; i < 3; ++i) {
        TI_IMAGE image = ti_CreateImage2(widths[i], 100, TI_GRAY8, 200, 200);
        ti_Fill(image, 0xFFFFFFFFu);
        ti_SaveImage(platform::joinPath(dir.file(u"input"), names[i]).c_str(), image);
        ti_ReleaseImage(&image);
    }
    testing_support::writeBytes(dir.file(u"input/notes.txt"), "not a page");
    ScanSettings s = settingsFor(dir.file(u"out"), u"4");
    const std::string device = "source=1\nmaxWidth=8.5\nmaxHeight=11\npagesPerBatch=0\ninput=" +
                               utf8(dir.file(u"input")) + "\n";
    const std::vector<std::u16string> files = scan(device, s);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(infoOf(files[0]).width, 50);  // a.png: 100 pixels at 200 dpi scanned at 100
    EXPECT_EQ(infoOf(files[1]).width, 100);
    EXPECT_EQ(infoOf(files[2]).width, 150);

    // A duplex scan takes two sides a sheet; the missing last back is white.
    s = settingsFor(dir.file(u"duplex"), u"4", 3);
    const std::vector<std::u16string> duplex = scan(device + "duplex=1\n", s);
    ASSERT_EQ(duplex.size(), 4u);
    EXPECT_EQ(infoOf(duplex[3]).width, 150);
}

// Pipes, devices, sockets and folders among the input pages are skipped,
// and none of them holds the scan: opening a pipe that nobody writes to
// would otherwise block the SDK's thread for good.
TEST(SdkPages, FolderSkipsWhatIsNotARegularFile) {
    TempDir dir;
    platform::createDirectory(dir.file(u"input"));
    TempDir specials;
    const std::vector<testing_support::SpecialFile> odd = testing_support::makeSpecialFiles(specials, u"b");
    ASSERT_FALSE(odd.empty());
    const char16_t* pages[] = {u"a.png", u"c.png"};
    for (const char16_t* name : pages) {
        TI_IMAGE image = ti_CreateImage2(100, 100, TI_GRAY8, 100, 100);
        ti_Fill(image, 0xFFFFFFFFu);
        ti_SaveImage(platform::joinPath(dir.file(u"input"), name).c_str(), image);
        ti_ReleaseImage(&image);
    }
    // Moved in under names that sort between the two pages.
    for (const auto& f : odd)
        ASSERT_TRUE(platform::moveFile(f.path, platform::joinPath(dir.file(u"input"), platform::fileNameOf(f.path))))
            << f.kind;
    std::vector<testing_support::SpecialFile> moved = odd;
    for (auto& f : moved) f.path = platform::joinPath(dir.file(u"input"), platform::fileNameOf(f.path));

    ScanSettings s = settingsFor(dir.file(u"out"), u"4");
    const std::string device = "source=1\nmaxWidth=8.5\nmaxHeight=11\npagesPerBatch=0\ninput=" +
                               utf8(dir.file(u"input")) + "\n";
    std::vector<std::u16string> files;
    EXPECT_TRUE(testing_support::returnsPromptly([&] { files = scan(device, s); }, moved));
    ASSERT_EQ(files.size(), 2u);
    for (const auto& f : moved) {
        SCOPED_TRACE(f.kind);
        EXPECT_TRUE(platform::pathExists(f.path));
    }
}

TEST(SdkTrace, EveryStartAppendsTheRecordAsReceived) {
    TempDir dir;
    const std::u16string traceFile = dir.file(u"trace.jsonl");
    scanner_testing::ScopedEnv env("DOCIVA_SDK_TRACE", traceFile);
    writeDriver(dir.file(u"driver"), kFeeder);
    DocivaHandle handle = dociva_OpenDriver(dir.file(u"driver").c_str());
    Recorder rec(handle);

    ScanSettings s = settingsFor(dir.file(u"out"), u"4");
    s.bwCompress = 0.7;
    s.reserved6 = 7;
    s.gamma = -1;
    text::copyBounded(s.watermarkText, kRecordTextUnits, u"say \"hi\" \\ \u00e9");
    dociva_StartScanAsync(handle, nullptr, &s, nullptr);
    ASSERT_TRUE(rec.waitForRuns(1));
    const std::u16string profile = dir.file(u"a.ini");
    testing_support::writeBytes(profile, "[ScanParams]\nScanType=1\nSaveToPath=" + utf8(dir.file(u"out")) + "\n");
    const int button = 4;
    dociva_StartScanAsync(handle, profile.c_str(), nullptr, &button);
    ASSERT_TRUE(rec.waitForRuns(2));
    dociva_CloseDriver(&handle);

    std::istringstream lines(testing_support::readBytes(traceFile));
    std::string first, second, third;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_FALSE(std::getline(lines, third));

    EXPECT_EQ(first.find("{\"handle\":"), 0u);
    EXPECT_NE(first.find("\"profilePath\":null,\"buttonId\":null,\"settings\":{\"scanType\":1,\"scanMode\":2,"
                         "\"scanDpi\":100,\"scanSize\":-1,\"gamma\":-1,"),
              std::string::npos)
        << first;
    EXPECT_NE(first.find("\"scanAreaW\":4,\"scanAreaH\":3,"), std::string::npos) << first;
    EXPECT_NE(first.find("\"bwCompress\":0.69999999999999996,"), std::string::npos) << first;
    EXPECT_NE(first.find("\"reserved6\":7,"), std::string::npos) << first;
    EXPECT_NE(first.find("\"watermarkText\":\"say \\\"hi\\\" \\\\ \xc3\xa9\","), std::string::npos) << first;
    EXPECT_NE(first.find("\"outImg\":\"4\","), std::string::npos) << first;
    // Every field by name, in record order.
    std::size_t at = 0;
    forEachField(s, [&](const char* name, const auto&) {
        std::string key(1, '"');
        key.append(name).append("\":");
        const std::size_t found = first.find(key, at);
        EXPECT_NE(found, std::string::npos) << name;
        if (found != std::string::npos) at = found;
    });
    std::string escapedProfile;
    for (char c : utf8(profile)) {
        if (c == '\\') escapedProfile.push_back('\\');
        escapedProfile.push_back(c);
    }
    EXPECT_NE(second.find("\"profilePath\":\"" + escapedProfile + "\",\"buttonId\":4,\"settings\":null}"),
              std::string::npos)
        << second;
}

}  // namespace
