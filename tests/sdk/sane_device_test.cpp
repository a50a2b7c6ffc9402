// The SDK against SANE's own test device (the "test" backend of libsane1),
// enabled in a private SANE configuration folder: a driver folder naming
// test:0 opens, tells its capabilities, scans its feeder and its flatbed in
// each colour mode into files, and ends every run the device breaks off
// with the status that says why, leaving no file behind.
//
// The first case runs before anything has loaded SANE in the process (cases
// run in the order written, and each also runs alone under CTest).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <regex>
#include <string>
#include <thread>

#include "libs/timage/timage.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/system.h"
#include "platform/text.h"
#include "sdk/sdk_test_support.h"

using namespace sdk_testing;
using testing_support::ScopedEnvironment;
using testing_support::TempDir;
using testing_support::utf8;

// Under AddressSanitizer: SANE's own leftovers are told apart by a stack
// that reaches libsane (tests/lsan.supp); the backend between is unloaded
// by the time of the report, where the fast unwinder would stop.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

// SANE's test backend ends its reader thread with pthread_cancel whenever a
// scan is cancelled (after an error, at the end of every batch), dropping
// its buffer; under a sanitizer that thread may also die holding the
// sanitizer's allocator lock, and the process then hangs at exit. The cases
// that scan skip there; they run in the plain builds.
bool breakingReadsOffHangsHere() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#else
    return false;
#endif
}

// A SANE configuration with only the test backend, its options in
// test.conf, and a driver folder for test:0.
class SaneTestDevice {
public:
    explicit SaneTestDevice(const std::string& testConf = "")
        : config_("SANE_CONFIG_DIR", utf8(dir_.file(u"sane"))) {
        platform::createDirectory(dir_.file(u"sane"));
        testing_support::writeBytes(platform::joinPath(dir_.file(u"sane"), u"dll.conf"), "test\n");
        testing_support::writeBytes(platform::joinPath(dir_.file(u"sane"), u"test.conf"),
                                    "number_of_devices 1\ntest-picture \"Color pattern\"\n" + testConf);
        writeDriver(driver(), "backend=sane\ndevice=test:0\n");
    }
    std::u16string driver() const { return dir_.file(u"driver"); }
    std::u16string output() const { return dir_.file(u"out"); }

private:
    TempDir dir_;
    ScopedEnvironment config_;
};

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct FileSize {
    int width = 0, height = 0, pages = 0, pixelFormat = 0;
};

FileSize sizeOf(const std::u16string& path) {
    TI_FILE_INFO info{};
    info.size = sizeof info;
    if (ti_GetImageInfo(path.c_str(), &info) != TI_OK) return {};
    return FileSize{info.width, info.height, info.pageCount, info.pixelFormat};
}

TEST(SaneDevice, WithoutSaneTheDriverDoesNotLoadAndTheVirtualScannerStillScans) {
    ScopedEnvironment missing("DOCIVA_SANE_LIBRARY", "/no/such/libsane.so.1");
    SaneTestDevice sane;
    TempDir debug;
    {
        // The SDK's own debug output (it is a library of its own).
        ScopedEnvironment to("DOCIVA_DEBUG", utf8(debug.file(u"debug.txt")));
        EXPECT_EQ(dociva_OpenDriver(sane.driver().c_str()), 0u);
    }
    const std::string said = testing_support::readBytes(debug.file(u"debug.txt"));
    EXPECT_NE(said.find("SANE is not installed"), std::string::npos) << "the debug output says why: " << said;
    EXPECT_EQ(dociva_ListSaneDevices(nullptr, 0), -1);

    TempDir dir;
    writeDriver(dir.file(u"virtual"), "source=1\nmaxWidth=8.5\nmaxHeight=11\npagesPerBatch=1\n");
    Closer c{dociva_OpenDriver(dir.file(u"virtual").c_str())};
    ASSERT_NE(c.handle, 0u);
    Recorder recorder(c.handle);
    const ScanSettings s = settingsFor(dir.file(u"out"), u"1");
    ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
    ASSERT_TRUE(recorder.waitForRuns(1));
    EXPECT_EQ(recorder.files().size(), 1u);
}

TEST(SaneDevice, ListedAndOpenedWithItsOwnCapabilities) {
    SaneTestDevice sane;
    const int units = dociva_ListSaneDevices(nullptr, 0);
    ASSERT_GT(units, 1);
    std::u16string list(static_cast<std::size_t>(units), u'\0');
    EXPECT_EQ(dociva_ListSaneDevices(list.data(), units), units);
    EXPECT_EQ(utf8(list.c_str()).rfind("test:0\tNoname\tfrontend-tester\tvirtual device\n", 0), 0u) << utf8(list);

    Closer c{dociva_OpenDriver(sane.driver().c_str())};
    ASSERT_NE(c.handle, 0u);
    SourceCapability cap{};
    ASSERT_EQ(dociva_GetSourceCapability(c.handle, &cap), 0);
    // A flatbed and a feeder: the feeder is what a start takes by default.
    EXPECT_EQ(cap.source, 1u);
    EXPECT_EQ(cap.isDuplex, 0);
    EXPECT_EQ(cap.multiPage, 1);
    // The test device's geometry: 0..200 mm each way.
    EXPECT_NEAR(cap.maxWidth, 200 / 25.4, 1e-6);
    EXPECT_NEAR(cap.maxHeight, 200 / 25.4, 1e-6);

    TempDir other;
    writeDriver(other.path(), "backend=sane\ndevice=test:9\n");
    EXPECT_EQ(dociva_OpenDriver(other.path().c_str()), 0u) << "a device SANE does not have";
    writeDriver(other.path(), "backend=sane\n");
    EXPECT_EQ(dociva_OpenDriver(other.path().c_str()), 0u) << "no device named";
    writeDriver(other.path(), "backend=twain\ndevice=test:0\n");
    EXPECT_EQ(dociva_OpenDriver(other.path().c_str()), 0u) << "a backend the SDK does not know";
}

TEST(SaneDevice, FeederInEachModeAndResolution) {
    if (breakingReadsOffHangsHere()) GTEST_SKIP() << "SANE's test backend cancels its reader thread";
    SaneTestDevice sane;
    Closer c{dociva_OpenDriver(sane.driver().c_str())};
    ASSERT_NE(c.handle, 0u);
    struct Row {
        const char* name;
        int scanMode;
        int dpi;
        const char16_t* formats;
        int pixelFormat;  // of the JPEG or TIFF pages
    };
    const Row rows[] = {
        {"colour 150 dpi", 2, 150, u"1, 8, 9", TI_BGR24},
        {"grey 300 dpi", 1, 300, u"3, 9", TI_GRAY8},
        {"black and white 150 dpi", 0, 150, u"3, 8", TI_GRAY8},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder recorder(c.handle);
        const std::u16string folder = platform::joinPath(sane.output(), text::fromUtf8(row.name));
        ScanSettings s = settingsFor(folder, row.formats, 1, row.dpi);
        s.scanMode = row.scanMode;
        ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
        ASSERT_TRUE(recorder.waitForRuns(1, 120000));
        const std::vector<Status> statuses = recorder.statuses();
        ASSERT_EQ(statuses.size(), 1u);
        EXPECT_EQ(statuses[0].code, DOCIVA_STATUS_SCAN_SUCCESS);

        // The test device's feeder holds 10 sheets; it cannot say so first.
        const std::vector<Event> events = recorder.events();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.front().type, DOCIVA_EVENT_SCAN_STARTED);
        EXPECT_EQ(events.front().value, 0);
        int progress = 0;
        for (const Event& e : events) progress += e.type == DOCIVA_EVENT_SCAN_PROGRESS && e.value == 1;
        EXPECT_EQ(progress, 10);

        const long expectedWidth = std::lround(4.0 * row.dpi);
        const long expectedHeight = std::lround(3.0 * row.dpi);
        int singles = 0;
        for (const Event& e : events) {
            if (e.type != DOCIVA_EVENT_IMAGE_READY) continue;
            const FileSize size = sizeOf(e.filePath);
            SCOPED_TRACE(utf8(e.filePath));
            if (e.formatCode == 9) {
                // Read with poppler, which shares no code with the SDK.
                const std::string info = runShell("pdfinfo '" + utf8(e.filePath) + "'");
                EXPECT_TRUE(std::regex_search(info, std::regex("Pages: +10\n"))) << info;
                continue;
            }
            EXPECT_NEAR(size.width, expectedWidth, 1);
            EXPECT_NEAR(size.height, expectedHeight, 1);
            EXPECT_EQ(size.pixelFormat, row.pixelFormat);
            if (e.formatCode == 8) {
                EXPECT_EQ(size.pages, 10);
            } else {
                ++singles;
            }
        }
        EXPECT_EQ(singles, 10);
    }
}

TEST(SaneDevice, FlatbedScansOnePageOfTheAreaAskedFor) {
    if (breakingReadsOffHangsHere()) GTEST_SKIP() << "SANE's test backend cancels its reader thread";
    SaneTestDevice sane;
    Closer c{dociva_OpenDriver(sane.driver().c_str())};
    ASSERT_NE(c.handle, 0u);
    Recorder recorder(c.handle);
    ScanSettings s = settingsFor(sane.output(), u"4", 0, 100);
    s.scanAreaX = 1.0;
    s.scanAreaY = 0.5;
    s.scanAreaW = 2.5;
    s.scanAreaH = 3.25;
    ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
    ASSERT_TRUE(recorder.waitForRuns(1));
    ASSERT_EQ(recorder.files().size(), 1u);
    const FileSize size = sizeOf(recorder.files()[0]);
    EXPECT_NEAR(size.width, 250, 1);
    EXPECT_NEAR(size.height, 325, 1);
    EXPECT_EQ(recorder.events().front().value, 1) << "a flatbed knows it scans one page";
}

TEST(SaneDevice, WhatTheDeviceCannotDoIsACapabilityMismatch) {
    SaneTestDevice sane;
    Closer c{dociva_OpenDriver(sane.driver().c_str())};
    ASSERT_NE(c.handle, 0u);
    struct Row {
        const char* name;
        int scanType;
        double width;
        double height;
        int unit;
    };
    const Row rows[] = {
        {"both sides without a duplexer", 3, 4, 3, 0},
        {"backs without a duplexer", 2, 4, 3, 0},
        {"wider than the device", 1, 8.5, 3, 0},
        {"longer than the device", 1, 4, 11, 0},
        {"beyond it in a page's centimetres", 1, 21 / 2.54, 22 / 2.54, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Recorder recorder(c.handle);
        ScanSettings s = settingsFor(sane.output(), u"1", row.scanType, 100);
        s.scanAreaW = row.width;
        s.scanAreaH = row.height;
        s.scanAreaUnit = row.unit;
        ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
        ASSERT_TRUE(recorder.waitForRuns(1));
        ASSERT_EQ(recorder.statuses().size(), 1u);
        EXPECT_EQ(recorder.statuses()[0].code, DOCIVA_STATUS_CAPABILITY_MISMATCH);
        EXPECT_TRUE(recorder.files().empty());
        EXPECT_FALSE(platform::pathExists(sane.output())) << "a refused start makes no folder";
    }
    // A page's centimetres come as inches (the unit only says what the
    // page used): 10 x 7.5 cm at 127 dpi, 50 dots a centimetre.
    Recorder recorder(c.handle);
    ScanSettings s = settingsFor(sane.output(), u"1", 0, 127);
    s.scanAreaW = 10 / 2.54;
    s.scanAreaH = 7.5 / 2.54;
    s.scanAreaUnit = 1;
    ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
    ASSERT_TRUE(recorder.waitForRuns(1));
    ASSERT_EQ(recorder.files().size(), 1u);
    EXPECT_NEAR(sizeOf(recorder.files()[0]).width, 500, 1);
    EXPECT_NEAR(sizeOf(recorder.files()[0]).height, 375, 1);
}

struct DeviceStatusRow {
    const char* saneStatus;
    int status;
    bool hasData;
    int errorCode;
};

void PrintTo(const DeviceStatusRow& row, std::ostream* out) { *out << row.saneStatus; }

// A row per process (CTest runs each alone): a backend that gets stuck
// ending one row's batch keeps SANE's session open for good, and the next
// row could not configure the test device anew.
class SaneDeviceStatus : public testing::TestWithParam<DeviceStatusRow> {};

TEST_P(SaneDeviceStatus, EndsTheRunWithItsOwnAndLeavesNoFile) {
    if (breakingReadsOffHangsHere()) GTEST_SKIP() << "SANE's test backend cancels its reader thread";
    const DeviceStatusRow& row = GetParam();
    SaneTestDevice sane(std::string("read-status-code \"") + row.saneStatus + "\"\n");
    Closer c{dociva_OpenDriver(sane.driver().c_str())};
    ASSERT_NE(c.handle, 0u);
    Recorder recorder(c.handle);
    // A page that fits the test device's pipe whole (its reader thread
    // then ends by itself rather than being cut off by the cancel).
    ScanSettings s = settingsFor(sane.output(), u"1, 3, 8, 9", 1, 50);
    s.scanMode = 1;
    ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
    ASSERT_TRUE(recorder.waitForRuns(1));
    const std::vector<Status> statuses = recorder.statuses();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0].code, row.status);
    EXPECT_EQ(statuses[0].hasData, row.hasData);
    if (row.hasData) {
        EXPECT_EQ(statuses[0].data, row.errorCode);
    }
    const std::vector<Event> events = recorder.events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().type, DOCIVA_EVENT_PROCESSING_FINISHED);
    EXPECT_EQ(events.back().value, 0);
    EXPECT_TRUE(recorder.files().empty());
    EXPECT_TRUE(folderNames(sane.output()).empty()) << "no page, whole or half, is left";
}

INSTANTIATE_TEST_SUITE_P(
    EachDeviceStatus, SaneDeviceStatus,
    testing::Values(DeviceStatusRow{"SANE_STATUS_JAMMED", DOCIVA_STATUS_SCAN_FAILED, true, 6},
                    DeviceStatusRow{"SANE_STATUS_NO_DOCS", DOCIVA_STATUS_NO_PAPER, false, 0},
                    DeviceStatusRow{"SANE_STATUS_COVER_OPEN", DOCIVA_STATUS_NOT_READY, false, 0},
                    DeviceStatusRow{"SANE_STATUS_DEVICE_BUSY", DOCIVA_STATUS_NOT_READY, false, 0},
                    DeviceStatusRow{"SANE_STATUS_IO_ERROR", DOCIVA_STATUS_DISCONNECTED, false, 0},
                    DeviceStatusRow{"SANE_STATUS_ACCESS_DENIED", DOCIVA_STATUS_DRIVER_LOAD_FAILED, false, 0},
                    DeviceStatusRow{"SANE_STATUS_NO_MEM", DOCIVA_STATUS_NO_MEMORY, false, 0},
                    DeviceStatusRow{"SANE_STATUS_CANCELLED", DOCIVA_STATUS_SCAN_FAILED, true, 7},
                    DeviceStatusRow{"SANE_STATUS_INVAL", DOCIVA_STATUS_SCAN_FAILED, true, 8}),
    [](const testing::TestParamInfo<DeviceStatusRow>& row) {
        return std::string(row.param.saneStatus).substr(std::string("SANE_STATUS_").size());
    });

// Kept last of the cases that load SANE in this process: it keeps the test
// backend loaded for good, which would keep later cases from configuring
// it anew.
TEST(SaneDevice, ClosingDuringASlowReadEndsItAtOnceAndLeavesNoFile) {
    if (breakingReadsOffHangsHere()) GTEST_SKIP() << "SANE's test backend cancels its reader thread";
    // The test backend drops its reader thread's buffer when a read is cut
    // off, as this close does; held loaded, it stays named in the leak
    // report, and tests/lsan.supp lets it be.
    for (const char* path : {"/usr/lib/x86_64-linux-gnu/sane/libsane-test.so.1", "libsane-test.so.1"})
        if (dlopen(path, RTLD_NOW | RTLD_NODELETE)) break;
    // A tenth of a second for every 1 KiB: a page of this size takes minutes.
    SaneTestDevice sane("read-limit true\nread-limit-size 1024\nread-delay true\nread-delay-duration 100000\n");
    DocivaHandle handle = dociva_OpenDriver(sane.driver().c_str());
    ASSERT_NE(handle, 0u);
    Recorder recorder(handle);
    const ScanSettings s = settingsFor(sane.output(), u"1", 1, 300);
    ASSERT_EQ(dociva_StartScanAsync(handle, nullptr, &s, nullptr), 0);
    // The run is reading its first page once it has announced the scan.
    for (int i = 0; i < 500 && recorder.events().empty(); ++i) pause(10);
    ASSERT_FALSE(recorder.events().empty());
    EXPECT_EQ(dociva_CloseDriver(&handle), 0);
    const std::size_t seen = recorder.events().size();
    EXPECT_TRUE(recorder.statuses().empty());
    EXPECT_TRUE(folderNames(sane.output()).empty());
    pause(50);
    EXPECT_EQ(recorder.events().size(), seen) << "nothing comes after the close";
}

TEST(SaneDevice, CancelDuringASlowReadEndsTheRunAtOnceWithoutThePageItRead) {
    if (breakingReadsOffHangsHere()) GTEST_SKIP() << "SANE's test backend cancels its reader thread";
    for (const char* path : {"/usr/lib/x86_64-linux-gnu/sane/libsane-test.so.1", "libsane-test.so.1"})
        if (dlopen(path, RTLD_NOW | RTLD_NODELETE)) break;
    // As above: a page of this size takes minutes to read.
    SaneTestDevice sane("read-limit true\nread-limit-size 1024\nread-delay true\nread-delay-duration 100000\n");
    Closer c{dociva_OpenDriver(sane.driver().c_str())};
    ASSERT_NE(c.handle, 0u);
    Recorder recorder(c.handle);
    const ScanSettings s = settingsFor(sane.output(), u"1,8", 1, 300);
    ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
    for (int i = 0; i < 500 && recorder.events().empty(); ++i) pause(10);
    ASSERT_FALSE(recorder.events().empty());
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(dociva_CancelScan(c.handle), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1)) << "the caller does not wait";
    ASSERT_TRUE(recorder.waitForRuns(1, 10000));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    const std::vector<Status> statuses = recorder.statuses();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0].code, DOCIVA_STATUS_SCAN_CANCELLED);
    EXPECT_TRUE(recorder.files().empty());
    EXPECT_TRUE(folderNames(sane.output()).empty()) << "no half-read page, no multi-page file without pages";
    EXPECT_EQ(dociva_CancelScan(c.handle), 1);
}

}  // namespace
