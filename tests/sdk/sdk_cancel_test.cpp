// dociva_CancelScan: a run stopped early keeps the sides it wrote, in whole
// files it announces, and ends with status 13 and type 6; a handle with no
// run, or one already finishing, is told so; an unknown or closed handle is
// refused; the handle scans again afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "libs/timage/timage.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "sdk/sdk_test_support.h"

using namespace sdk_testing;
using testing_support::TempDir;
using testing_support::utf8;

namespace {

constexpr char kThirtySheets[] =
    "source=1\nmaxWidth=8.5\nmaxHeight=14\nduplex=1\nmultiPage=1\nwarmupMs=0\npagesPerBatch=30\n";

// Pages of a file the toolkit reads, counted by loading each in turn.
int pagesOf(const std::u16string& path) {
    int pages = 0;
    for (;; ++pages) {
        TI_IMAGE image = ti_LoadImageEx(reinterpret_cast<const ti_char*>(path.c_str()), pages);
        if (!image) return pages;
        ti_ReleaseImage(&image);
    }
}

bool endsWith(const std::u16string& s, std::u16string_view tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

int countOf(const std::vector<Event>& events, int type) {
    return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const Event& e) { return e.type == type; }));
}

}  // namespace

// Cancelled from the SDK's own thread as a given side is reported, so the
// number of sides written is exact: the run stops before the next one.
TEST(SdkCancel, MidRunKeepsTheSidesWrittenInWholeFiles) {
    struct Row {
        const char* name;
        const char16_t* outImg;
        int cancelAfterSides;
        int singleFiles;   // JPEG files expected
        int multiPages;    // pages of the multi-page TIFF, -1 for none
    } rows[] = {
        {"JPEG only, after the third side", u"1", 3, 3, -1},
        {"JPEG and multi-page TIFF, after the fifth side", u"1,8", 5, 5, 5},
        {"multi-page TIFF only, after the first side", u"8", 1, 0, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        writeDriver(dir.file(u"driver"), kThirtySheets);
        Closer c{dociva_OpenDriver(dir.file(u"driver").c_str())};
        ASSERT_NE(c.handle, 0u);
        Recorder rec(c.handle);
        std::atomic<int> sides{0};
        std::atomic<int> cancelResult{99};
        std::atomic<int> askedAgain{99};
        const DocivaHandle handle = c.handle;
        rec.onEvent = [&](int type, int value) {
            if (type == DOCIVA_EVENT_SCAN_PROGRESS && value == 1 && ++sides == row.cancelAfterSides)
                cancelResult = dociva_CancelScan(handle);
            // Once the cancel is in, the run announces its files: still stopping.
            if (type == DOCIVA_EVENT_IMAGE_READY && askedAgain == 99) askedAgain = dociva_CancelScan(handle);
        };
        const ScanSettings s = settingsFor(dir.file(u"out"), row.outImg, 1);
        ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
        ASSERT_TRUE(rec.waitForRuns(1));
        EXPECT_EQ(cancelResult.load(), 0);
        EXPECT_EQ(askedAgain.load(), 0) << "asked again while the run stops";

        const std::vector<Event> events = rec.events();
        EXPECT_EQ(sides.load(), row.cancelAfterSides) << "sides reported after the cancel";
        EXPECT_EQ(countOf(events, DOCIVA_EVENT_PAPER_END), 0);
        EXPECT_EQ(countOf(events, DOCIVA_EVENT_SCAN_FINISHED), 0);
        ASSERT_EQ(events.back().type, DOCIVA_EVENT_PROCESSING_FINISHED);
        const int files = row.singleFiles + (row.multiPages >= 0 ? 1 : 0);
        EXPECT_EQ(events.back().value, files);
        const std::vector<Status> statuses = rec.statuses();
        ASSERT_EQ(statuses.size(), 1u);
        EXPECT_EQ(statuses[0].code, DOCIVA_STATUS_SCAN_CANCELLED);
        EXPECT_FALSE(statuses[0].hasData);

        // Every announced file is whole, and the folder holds nothing else
        // (no temporary file of the unfinished multi-page file).
        const std::vector<std::u16string> announced = rec.files();
        ASSERT_EQ(static_cast<int>(announced.size()), files);
        int jpegs = 0;
        for (const std::u16string& path : announced) {
            SCOPED_TRACE(utf8(path));
            if (endsWith(path, u".jpg")) {
                ++jpegs;
                const std::string bytes = testing_support::readBytes(path);
                ASSERT_GT(bytes.size(), 4u);
                EXPECT_EQ(bytes.substr(0, 2), "\xFF\xD8");
                EXPECT_EQ(bytes.substr(bytes.size() - 2), "\xFF\xD9");
                EXPECT_EQ(pagesOf(path), 1);
            } else {
                EXPECT_TRUE(endsWith(path, u".tif"));
                EXPECT_EQ(pagesOf(path), row.multiPages);
            }
        }
        EXPECT_EQ(jpegs, row.singleFiles);
        EXPECT_EQ(folderNames(dir.file(u"out")).size(), announced.size());

        // Nothing is left to cancel, and the handle scans again, whole.
        EXPECT_EQ(dociva_CancelScan(c.handle), 1);
        rec.onEvent = nullptr;
        ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
        ASSERT_TRUE(rec.waitForRuns(2));
        EXPECT_EQ(rec.statuses().back().code, DOCIVA_STATUS_SCAN_SUCCESS);
        // Fronts only: one side a sheet.
        EXPECT_EQ(rec.events().back().value, 30 * (row.singleFiles > 0 ? 1 : 0) + (row.multiPages >= 0 ? 1 : 0));
    }
}

// A cancel during the warm-up ends the run at once, with no file.
TEST(SdkCancel, DuringWarmUpEndsAtOnceWithoutFiles) {
    TempDir dir;
    writeDriver(dir.path(), "source=1\nmaxWidth=8.5\nmaxHeight=11\nwarmupMs=20000\npagesPerBatch=1\n");
    Closer c{dociva_OpenDriver(dir.path().c_str())};
    Recorder rec(c.handle);
    const ScanSettings s = settingsFor(dir.file(u"out"), u"1");
    ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(dociva_CancelScan(c.handle), 0);
    EXPECT_EQ(dociva_CancelScan(c.handle), 0) << "asked again while it stops";
    ASSERT_TRUE(rec.waitForRuns(1, 5000));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_TRUE(rec.files().empty());
    EXPECT_EQ(countOf(rec.events(), DOCIVA_EVENT_SCAN_STARTED), 0);
    ASSERT_EQ(rec.statuses().size(), 1u);
    EXPECT_EQ(rec.statuses()[0].code, DOCIVA_STATUS_SCAN_CANCELLED);
    EXPECT_TRUE(folderNames(dir.file(u"out")).empty());
}

// Handles with nothing to stop, and handles that are no more.
TEST(SdkCancel, NoRunUnknownAndClosedHandles) {
    TempDir dir;
    writeDriver(dir.path(), "source=1\nmaxWidth=8.5\nmaxHeight=11\nwarmupMs=0\npagesPerBatch=1\n");
    DocivaHandle handle = dociva_OpenDriver(dir.path().c_str());
    ASSERT_NE(handle, 0u);
    {
        Recorder rec(handle);
        EXPECT_EQ(dociva_CancelScan(handle), 1) << "open, never started";
        const ScanSettings s = settingsFor(dir.file(u"out"), u"1");
        ASSERT_EQ(dociva_StartScanAsync(handle, nullptr, &s, nullptr), 0);
        ASSERT_TRUE(rec.waitForRuns(1));
        EXPECT_EQ(dociva_CancelScan(handle), 1) << "after a run that ended";
        EXPECT_EQ(rec.statuses().back().code, DOCIVA_STATUS_SCAN_SUCCESS);
    }
    EXPECT_EQ(dociva_CancelScan(0), -1);
    EXPECT_EQ(dociva_CancelScan(0xBADu), -1);
    const DocivaHandle closed = handle;
    ASSERT_EQ(dociva_CloseDriver(&handle), 0);
    EXPECT_EQ(dociva_CancelScan(closed), -1);
}
