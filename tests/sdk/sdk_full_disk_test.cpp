// Scans into every format onto a full disk: the run ends with status 12
// (code 2 "a file could not be written", or 1 when not even the folder's
// write check fits), no file of the run and no temporary file is left,
// what was in the folder stays byte for byte, the run's last event comes,
// and the process goes on - the PDF formats included, whose library used
// to let a full disk's error run through qpdf. Run against the platform's
// simulated full disk (both platforms) and a real full tmpfs (Linux, as
// root).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_writer.h"
#include "platform/files.h"
#include "platform/path.h"
#include "scanner/dociva_sdk.h"
#include "sdk/sdk_test_support.h"
#include "support/full_disk.h"

using namespace sdk_testing;
using testing_support::FullDisk;
using testing_support::TempDir;
using testing_support::utf8;

namespace {

constexpr char kFeeder[] = "source=1\nmaxWidth=8.5\nmaxHeight=11\npagesPerBatch=3\n";

class FullDiskScans : public ::testing::TestWithParam<FullDisk::Kind> {};

TEST_P(FullDiskScans, EveryFormatFailsWithStatus12AndLeavesNothing) {
    TempDir dir;
    const std::u16string mount = dir.file(u"disk");
    ASSERT_TRUE(platform::createDirectory(mount));
    FullDisk disk(GetParam(), mount);
    if (!disk.ready()) GTEST_SKIP() << disk.why();
    const std::u16string out = platform::joinPath(mount, u"scans");
    ASSERT_TRUE(platform::createDirectory(out));
    const std::u16string users = platform::joinPath(out, u"page_001.jpg");
    ASSERT_TRUE(testing_support::writeBytes(users, "the user's own page_001.jpg"));

    TempDir driver;
    writeDriver(driver.path(), kFeeder);
    DocivaHandle handle = dociva_OpenDriver(driver.path().c_str());
    ASSERT_NE(handle, 0u);
    Recorder rec(handle);

    struct Row {
        const char* name;
        const char16_t* formats;
        bool pdf;
    } rows[] = {
        {"BMP", u"0", false},          {"JPEG", u"1", false},          {"PDF", u"2", true},
        {"TIFF", u"3", false},         {"PNG", u"4", false},           {"Group 4 TIFF", u"6", false},
        {"GIF", u"7", false},          {"multi-page TIFF", u"8", false}, {"multi-page PDF", u"9", true},
        {"every format at once", u"0,1,3,4,6,7,8,2,9", true},
    };
    int runs = 0;
    for (const Row& row : rows) {
        if (row.pdf && testing_support::onWindows()) continue;  // no PDF library on Windows yet
        // Simulated, the room is per file: none, or too little for any
        // page; with every format at once also enough for the small files
        // (Group 4, PNG, GIF; then JPEG and PDF) but not the large ones,
        // which ends a run that has already written files. A tmpfs has its
        // room in pages.
        const bool every = std::u16string_view(row.formats).size() > 1;
        std::vector<unsigned long long> frees = {0, 100};
        if (every) frees.insert(frees.end(), {2000, 20000});
        if (GetParam() == FullDisk::Kind::Tmpfs) frees = {0, 8192};
        for (unsigned long long free : frees) {
            SCOPED_TRACE(std::string(disk.name()) + ", " + row.name + ", " + std::to_string(free) + " bytes free");
            const ScanSettings s = settingsFor(out, row.formats);
            disk.fill(free);
            ASSERT_EQ(dociva_StartScanAsync(handle, nullptr, &s, nullptr), 0);
            ASSERT_TRUE(rec.waitForRuns(++runs)) << "the run ends";
            disk.drain();
            const std::vector<Status> statuses = rec.statuses();
            ASSERT_FALSE(statuses.empty());
            EXPECT_EQ(statuses.back().code, DOCIVA_STATUS_SCAN_FAILED);
            EXPECT_TRUE(statuses.back().hasData);
            EXPECT_TRUE(statuses.back().data == 1 || statuses.back().data == 2) << statuses.back().data;
            EXPECT_TRUE(rec.files().empty()) << "no file announced";
            EXPECT_EQ(folderNames(out), std::vector<std::u16string>{u"page_001.jpg"}) << "nothing left";
            EXPECT_EQ(testing_support::readBytes(users), "the user's own page_001.jpg");
        }
    }
    // With room again the same scanner writes every format (on Windows
    // those Wine's codecs write: no Group 4, no PDF library yet).
    const ScanSettings s = settingsFor(out, testing_support::onWindows() ? u"0,1,3,4,7,8" : u"0,1,3,4,6,7,8,2,9");
    ASSERT_EQ(dociva_StartScanAsync(handle, nullptr, &s, nullptr), 0);
    ASSERT_TRUE(rec.waitForRuns(++runs));
    EXPECT_EQ(rec.statuses().back().code, DOCIVA_STATUS_SCAN_SUCCESS) << rec.statuses().back().data;
    EXPECT_FALSE(rec.files().empty());
    for (const std::u16string& name : folderNames(out)) EXPECT_FALSE(platform::isTemporaryName(name)) << utf8(name);
    dociva_CloseDriver(&handle);
}

INSTANTIATE_TEST_SUITE_P(FullDisk, FullDiskScans, ::testing::Values(FullDisk::Kind::Simulated, FullDisk::Kind::Tmpfs),
                         [](const ::testing::TestParamInfo<FullDisk::Kind>& param) {
                             return std::string(param.param == FullDisk::Kind::Simulated ? "Simulated" : "Tmpfs");
                         });

}  // namespace
