// The SDK's calls and the run it plays: opening, capabilities, the order of
// events, statuses, refusals and closing while a scan runs.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "sdk/sdk_test_support.h"

using namespace sdk_testing;
using testing_support::TempDir;
using testing_support::utf8;

namespace {

constexpr char kDuplexFeeder[] =
    "source=1\nmaxWidth=8.5\nmaxHeight=14\nmaxLength=100\nduplex=1\noverscan=1\nmultiPage=1\n"
    "warmupMs=0\npagesPerBatch=3\ninput=\n";

DocivaHandle openDriver(const std::u16string& folder) { return dociva_OpenDriver(folder.c_str()); }

TEST(SdkOpen, RefusesMissingOrMalformedDescriptions) {
    struct Row {
        const char* name;
        const char* module;  // null: no module.ini at all
    };
    const Row rows[] = {
        {"no module.ini", nullptr},
        {"no device section", "[system]\nscannerid=1,2\n"},
        {"no source", "[device]\nmaxWidth=8.5\nmaxHeight=11\n"},
        {"no width", "[device]\nsource=1\nmaxHeight=11\n"},
        {"source 2", "[device]\nsource=2\nmaxWidth=8.5\nmaxHeight=11\n"},
        {"width with unit", "[device]\nsource=1\nmaxWidth=8.5in\nmaxHeight=11\n"},
        {"width zero", "[device]\nsource=1\nmaxWidth=0\nmaxHeight=11\n"},
        {"height text", "[device]\nsource=1\nmaxWidth=8.5\nmaxHeight=tall\n"},
        {"duplex 3", "[device]\nsource=1\nmaxWidth=8.5\nmaxHeight=11\nduplex=3\n"},
        {"negative warm-up", "[device]\nsource=1\nmaxWidth=8.5\nmaxHeight=11\nwarmupMs=-5\n"},
        {"pages not a number", "[device]\nsource=1\nmaxWidth=8.5\nmaxHeight=11\npagesPerBatch=x\n"},
        {"missing input folder", "[device]\nsource=1\nmaxWidth=8.5\nmaxHeight=11\ninput=no-such-folder\n"},
        {"cancel wait too short", "[device]\nbackend=sane\ndevice=test:0\ncancelWaitMs=5\n"},
        {"cancel wait not a number", "[device]\nbackend=sane\ndevice=test:0\ncancelWaitMs=soon\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        if (row.module) testing_support::writeBytes(dir.file(u"module.ini"), row.module);
        EXPECT_EQ(openDriver(dir.path()), 0u);
    }
    EXPECT_EQ(dociva_OpenDriver(nullptr), 0u);
    EXPECT_EQ(dociva_OpenDriver(u"/no/such/driver/folder"), 0u);
}

TEST(SdkOpen, CapabilityComesFromTheDescription) {
    TempDir dir;
    writeDriver(dir.path(), kDuplexFeeder);
    Closer c{openDriver(dir.path())};
    ASSERT_NE(c.handle, 0u);
    SourceCapability cap{};
    EXPECT_EQ(dociva_GetSourceCapability(c.handle, &cap), 0);
    EXPECT_EQ(cap.source, 1u);
    EXPECT_DOUBLE_EQ(cap.maxWidth, 8.5);
    EXPECT_DOUBLE_EQ(cap.maxHeight, 14.0);
    EXPECT_DOUBLE_EQ(cap.maxLength, 100.0);
    EXPECT_EQ(cap.isOverscan, 1);
    EXPECT_EQ(cap.isDuplex, 1);
    EXPECT_EQ(cap.multiPage, 1);

    // Two opens of one driver are two handles; a closed handle is gone.
    DocivaHandle second = openDriver(dir.path());
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, c.handle);
    EXPECT_EQ(dociva_CloseDriver(&second), 0);
    EXPECT_EQ(dociva_GetSourceCapability(second, &cap), -1);
}

TEST(SdkRun, DuplexBatchOfThreeSheetsGivesEventsInOrder) {
    TempDir dir;
    writeDriver(dir.file(u"driver"), "source=1\nmaxWidth=8.5\nmaxHeight=14\nduplex=1\nwarmupMs=1500\npagesPerBatch=3\n");
    Closer c{openDriver(dir.file(u"driver"))};
    ASSERT_NE(c.handle, 0u);
    Recorder rec(c.handle);
    const ScanSettings s = settingsFor(dir.file(u"out"), u"1", 3);
    ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
    ASSERT_TRUE(rec.waitForRuns(1));

    struct Expected {
        int type;
        std::intptr_t data;
        int value;
    };
    std::vector<Expected> expected = {{0, 1, 1500}, {0, 0, 500}, {0, 0, 0}, {2, 0, 6}};
    for (int i = 0; i < 6; ++i) expected.push_back({3, 0, 1});
    expected.push_back({3, 0, 0});
    expected.push_back({4, 0, 0});
    for (int i = 0; i < 6; ++i) expected.push_back({7, 1, 0});
    expected.push_back({5, 0, 0});
    expected.push_back({6, 0, 6});
    const std::vector<Event> events = rec.events();
    ASSERT_EQ(events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("event " + std::to_string(i));
        EXPECT_EQ(events[i].type, expected[i].type);
        EXPECT_EQ(events[i].data, expected[i].data);
        EXPECT_EQ(events[i].value, expected[i].value);
    }
    // Sheet by sheet, front then back, each a JPEG that exists.
    for (std::size_t i = 0; i < 6; ++i) {
        const Event& e = events[expected.size() - 8 + i];
        SCOPED_TRACE(utf8(e.filePath));
        EXPECT_EQ(e.formatCode, 1);
        EXPECT_EQ(e.extraByte, static_cast<int>(i % 2));
        EXPECT_TRUE(platform::pathExists(e.filePath));
    }
    const std::vector<Status> statuses = rec.statuses();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0].code, 0);
    EXPECT_FALSE(statuses[0].hasData);

    // The lamp is warm now: the next run starts scanning at once.
    ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
    ASSERT_TRUE(rec.waitForRuns(2));
    EXPECT_EQ(rec.events()[expected.size()].type, 2);
}

TEST(SdkRun, FailuresReportTheirStatusAndEndTheRun) {
    TempDir dir;
    platform::createDirectory(dir.file(u"empty"));
    testing_support::writeBytes(dir.file(u"blocker"), "a file, not a folder");
    struct Row {
        const char* name;
        std::string device;
        int scanType;
        std::u16string folder;
        int status;
        bool hasData;
        int data;
    };
    const std::string simplex = "source=1\nmaxWidth=8.5\nmaxHeight=11\npagesPerBatch=2\n";
    const Row rows[] = {
        {"empty input folder", simplex + "input=" + utf8(dir.file(u"empty")) + "\n", 1, dir.file(u"out1"), 7, false, 0},
        {"duplex on a simplex feeder", simplex, 3, dir.file(u"out2"), 6, false, 0},
        {"flatbed scan on a feeder", simplex, 0, dir.file(u"out3"), 6, false, 0},
        {"output below a file", simplex, 1, dir.file(u"blocker") + u"/out", 12, true, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir driver;
        writeDriver(driver.path(), row.device);
        Closer c{openDriver(driver.path())};
        ASSERT_NE(c.handle, 0u);
        Recorder rec(c.handle);
        const ScanSettings s = settingsFor(row.folder, u"4", row.scanType);
        ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
        ASSERT_TRUE(rec.waitForRuns(1));
        const std::vector<Event> events = rec.events();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].type, 6);
        const std::vector<Status> statuses = rec.statuses();
        ASSERT_EQ(statuses.size(), 1u);
        EXPECT_EQ(statuses[0].code, row.status);
        EXPECT_EQ(statuses[0].hasData, row.hasData);
        EXPECT_EQ(statuses[0].data, row.data);
        EXPECT_FALSE(platform::pathExists(row.folder) && !folderNames(row.folder).empty());
    }
}

TEST(SdkRun, PageThatCannotBeReadLeavesNoFileBehind) {
    TempDir dir;
    platform::createDirectory(dir.file(u"input"));
    // A page, then a BMP whose header promises pixels that are not there.
    TempDir scratch;
    {
        TempDir driver;
        writeDriver(driver.path(), "source=1\nmaxWidth=8.5\nmaxHeight=11\npagesPerBatch=1\n");
        Closer c{openDriver(driver.path())};
        Recorder rec(c.handle);
        const ScanSettings s = settingsFor(scratch.path(), u"0");
        dociva_StartScanAsync(c.handle, nullptr, &s, nullptr);
        ASSERT_TRUE(rec.waitForRuns(1));
        ASSERT_EQ(rec.files().size(), 1u);
        const std::string bmp = testing_support::readBytes(rec.files()[0]);
        testing_support::writeBytes(dir.file(u"input/a.bmp"), bmp);
        testing_support::writeBytes(dir.file(u"input/b.bmp"), bmp.substr(0, bmp.size() / 3));
    }
    TempDir driver;
    writeDriver(driver.path(), "source=1\nmaxWidth=8.5\nmaxHeight=11\npagesPerBatch=0\ninput=" +
                                   utf8(dir.file(u"input")) + "\n");
    Closer c{openDriver(driver.path())};
    Recorder rec(c.handle);
    const ScanSettings s = settingsFor(dir.file(u"out"), u"4, 8");
    ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
    ASSERT_TRUE(rec.waitForRuns(1));
    ASSERT_EQ(rec.statuses().size(), 1u);
    EXPECT_EQ(rec.statuses()[0].code, 12);
    EXPECT_EQ(rec.statuses()[0].data, 3);
    EXPECT_TRUE(rec.files().empty());
    EXPECT_TRUE(folderNames(dir.file(u"out")).empty());
}

TEST(SdkRun, SecondStartWhileRunningIsRefusedWithNotReady) {
    TempDir dir;
    writeDriver(dir.path(), "source=1\nmaxWidth=8.5\nmaxHeight=11\nwarmupMs=1000\npagesPerBatch=1\n");
    Closer c{openDriver(dir.path())};
    Recorder rec(c.handle);
    const ScanSettings s = settingsFor(dir.file(u"out"), u"4");
    ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
    EXPECT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), -1);
    ASSERT_TRUE(rec.waitForRuns(1));
    const std::vector<Status> statuses = rec.statuses();
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses[0].code, 5);
    EXPECT_EQ(statuses[1].code, 0);
    EXPECT_EQ(rec.files().size(), 1u);
}

TEST(SdkRun, ClosingDuringARunStopsItAndNothingComesAfterwards) {
    TempDir dir;
    writeDriver(dir.path(), "source=1\nmaxWidth=8.5\nmaxHeight=11\nwarmupMs=20000\npagesPerBatch=1\n");
    DocivaHandle handle = openDriver(dir.path());
    auto rec = std::make_unique<Recorder>(handle);
    const ScanSettings s = settingsFor(dir.file(u"out"), u"4");
    ASSERT_EQ(dociva_StartScanAsync(handle, nullptr, &s, nullptr), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(dociva_CloseDriver(&handle), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    const std::size_t seen = rec->events().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(rec->events().size(), seen);
    EXPECT_EQ(rec->events()[0].type, 0);
    EXPECT_TRUE(folderNames(dir.file(u"out")).empty());
    rec.reset();  // the recorder goes away: the SDK must not call it any more
}

TEST(SdkRun, UnknownHandleIsRefusedWithoutCallbacks) {
    ScanSettings s;
    EXPECT_EQ(dociva_StartScanAsync(0xBADu, nullptr, &s, nullptr), -1);
    DocivaHandle none = 0xBADu;
    EXPECT_EQ(dociva_CloseDriver(&none), -1);
    EXPECT_EQ(dociva_CloseDriver(nullptr), -1);
    EXPECT_EQ(dociva_SimulateButtonPress(0xBADu, 1), -1);
}

TEST(SdkStatus, EmittedStatusesArriveOnAThreadOfTheSdk) {
    TempDir dir;
    writeDriver(dir.path(), kDuplexFeeder);
    Closer c{openDriver(dir.path())};
    Recorder rec(c.handle);
    ASSERT_EQ(dociva_EmitStatus(c.handle, 9, 42, 1), 0);
    ASSERT_TRUE(rec.waitForStatuses(1));
    ASSERT_EQ(dociva_EmitStatus(c.handle, 2, 0, 0), 0);
    ASSERT_TRUE(rec.waitForStatuses(2));
    const std::vector<Status> statuses = rec.statuses();
    EXPECT_EQ(statuses[0].code, 9);
    EXPECT_TRUE(statuses[0].hasData);
    EXPECT_EQ(statuses[0].data, 42);
    EXPECT_EQ(statuses[1].code, 2);
    EXPECT_FALSE(statuses[1].hasData);
    EXPECT_NE(statuses[0].thread, std::this_thread::get_id());
}

TEST(SdkStatus, ButtonPressStartsAScanWithTheBoundProfile) {
    TempDir dir;
    writeDriver(dir.file(u"driver"), kDuplexFeeder);
    const std::u16string profile = dir.file(u"button.ini");
    testing_support::writeBytes(profile, "[ScanParams]\nScanType=1\nScanDpi=100\nSaveToPath=" +
                                             utf8(dir.file(u"out")) + "\nFileName=btn_%COUNTER2%\n"
                                             "[Output]\nOUT_IMG=4\n");
    Closer c{openDriver(dir.file(u"driver"))};
    Recorder rec(c.handle);
    // What the control does: a press starts the profile bound to the button.
    const DocivaHandle handle = c.handle;
    rec.onStatus = [handle, profile](int code, int* data) {
        if (code == DOCIVA_STATUS_BUTTON_PRESSED) {
            dociva_StartScanAsync(handle, profile.c_str(), nullptr, data);
            return 1;
        }
        return 0;
    };
    ASSERT_EQ(dociva_SimulateButtonPress(c.handle, 3), 0);
    ASSERT_TRUE(rec.waitForRuns(1));
    const std::vector<Status> statuses = rec.statuses();
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses[0].code, 100);
    EXPECT_EQ(statuses[0].data, 3);
    EXPECT_EQ(statuses[1].code, 0);
    EXPECT_TRUE(statuses[1].hasData);
    EXPECT_EQ(statuses[1].data, 3);
    // Three sheets, front only, named by the profile's pattern.
    EXPECT_EQ(folderNames(dir.file(u"out")), (std::vector<std::u16string>{u"btn_01.png", u"btn_02.png", u"btn_03.png"}));
}

}  // namespace
