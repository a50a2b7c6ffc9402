// The SDK against devices of a SANE library of our own (fake_sane.c) that
// SANE's test backend cannot play: a backend that never comes back from
// sane_cancel, and a device with buttons.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "sdk/sdk_test_support.h"

using namespace sdk_testing;
using testing_support::ScopedEnvironment;
using testing_support::TempDir;
using testing_support::utf8;

namespace {

class FakeSane : public testing::Test {
protected:
    void SetUp() override {
        // SANE is loaded once per process: these cases need to be the first.
        if (dlopen("libsane.so.1", RTLD_NOW | RTLD_NOLOAD))
            GTEST_SKIP() << "SANE is already loaded in this process; CTest runs each case alone";
    }
    DocivaHandle open(const char* device, const std::string& more = "") {
        const std::u16string driver = dir.file(u"driver");
        writeDriver(driver, std::string("backend=sane\ndevice=") + device + "\n" + more);
        return dociva_OpenDriver(driver.c_str());
    }
    // The device has no area options: the whole of it.
    ScanSettings wholeArea() {
        ScanSettings s = settingsFor(dir.file(u"out"), u"1", 0, 100);
        s.scanAreaW = 0.0;
        s.scanAreaH = 0.0;
        return s;
    }

    TempDir dir;
    ScopedEnvironment library{"DOCIVA_SANE_LIBRARY", FAKE_SANE_LIBRARY};
    ScopedEnvironment pressed{"FAKE_SANE_BUTTONS", utf8(dir.file(u"pressed"))};
};

TEST_F(FakeSane, ACancelThatNeverReturnsEndsTheRunAndTheDeviceAnswersNoMore) {
    DocivaHandle handle = open("stuck:0", "cancelWaitMs=300\n");
    ASSERT_NE(handle, 0u);
    Recorder recorder(handle);
    const ScanSettings s = wholeArea();

    ASSERT_EQ(dociva_StartScanAsync(handle, nullptr, &s, nullptr), 0);
    ASSERT_TRUE(recorder.waitForRuns(1));
    ASSERT_EQ(dociva_StartScanAsync(handle, nullptr, &s, nullptr), 0);
    ASSERT_TRUE(recorder.waitForRuns(2));

    const std::vector<Status> statuses = recorder.statuses();
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses[0].code, DOCIVA_STATUS_SCAN_FAILED) << "the jam the device reported";
    EXPECT_EQ(statuses[0].data, 6);
    EXPECT_EQ(statuses[1].code, DOCIVA_STATUS_DISCONNECTED) << "a device stuck in its cancel is not asked again";
    EXPECT_TRUE(recorder.files().empty());
    EXPECT_EQ(dociva_CloseDriver(&handle), 0);
}

TEST_F(FakeSane, ADeviceThatStopsAnsweringEndsThePageAsGone) {
    struct Row {
        const char* device;
        bool answersAgain;  // a later start is tried on the device
    };
    // silent:0 ends its read once cancelled; dead:0 never does, and the
    // device is then given up.
    const Row rows[] = {{"silent:0", true}, {"dead:0", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.device);
        DocivaHandle handle = open(row.device, "readLimitMs=300\ncancelWaitMs=300\n");
        ASSERT_NE(handle, 0u);
        Recorder recorder(handle);
        const ScanSettings s = wholeArea();
        ASSERT_EQ(dociva_StartScanAsync(handle, nullptr, &s, nullptr), 0);
        ASSERT_TRUE(recorder.waitForRuns(1, 20000));
        ASSERT_EQ(dociva_StartScanAsync(handle, nullptr, &s, nullptr), 0);
        ASSERT_TRUE(recorder.waitForRuns(2, 20000));
        const std::vector<Status> statuses = recorder.statuses();
        ASSERT_EQ(statuses.size(), 2u);
        EXPECT_EQ(statuses[0].code, DOCIVA_STATUS_DISCONNECTED);
        EXPECT_EQ(statuses[1].code, DOCIVA_STATUS_DISCONNECTED)
            << (row.answersAgain ? "the device still says nothing" : "a given-up device is not asked again");
        EXPECT_TRUE(recorder.files().empty());
        EXPECT_TRUE(folderNames(dir.file(u"out")).empty()) << "no page, whole or half, is left";
        EXPECT_EQ(dociva_CloseDriver(&handle), 0);
    }
}

TEST_F(FakeSane, EachButtonSensorPressIsReportedOnceWithItsId) {
    Closer c{open("buttons:0")};
    ASSERT_NE(c.handle, 0u);
    Recorder recorder(c.handle);
    auto presses = [&] {
        std::vector<int> ids;
        for (const Status& s : recorder.statuses())
            if (s.code == DOCIVA_STATUS_BUTTON_PRESSED) ids.push_back(s.hasData ? s.data : -1);
        return ids;
    };
    auto waitForPresses = [&](std::size_t count) {
        for (int i = 0; i < 200 && presses().size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        return presses().size() >= count;
    };
    auto press = [&](const char* sensors) { testing_support::writeBytes(dir.file(u"pressed"), sensors); };

    struct Row {
        const char* down;  // the sensors held down, in turn
        std::vector<int> reported;  // every press so far
    };
    // The paper sensor and the software option never count; a button held
    // down is one press.
    const Row rows[] = {
        {"page-loaded preview", {}},
        {"email", {2}},
        {"email page-loaded", {2}},
        {"", {2}},
        {"scan", {2, 1}},
        {"scan email", {2, 1, 2}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.down);
        press(row.down);
        if (!row.reported.empty()) {
            ASSERT_TRUE(waitForPresses(row.reported.size()));
        }
        // Long enough for a few polls: no press comes twice.
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        EXPECT_EQ(presses(), row.reported);
    }
    for (const Status& s : recorder.statuses()) EXPECT_NE(s.thread, std::this_thread::get_id());
}

TEST_F(FakeSane, AButtonHeldDuringARunIsNotReported) {
    Closer c{open("buttons:0")};
    ASSERT_NE(c.handle, 0u);
    Recorder recorder(c.handle);
    const ScanSettings s = wholeArea();
    ASSERT_EQ(dociva_StartScanAsync(c.handle, nullptr, &s, nullptr), 0);
    // The device reads until "end" is written beside the sensors.
    for (int i = 0; i < 500 && recorder.events().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(recorder.events().empty());
    testing_support::writeBytes(dir.file(u"pressed"), "email");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    testing_support::writeBytes(dir.file(u"pressed"), "end");
    ASSERT_TRUE(recorder.waitForRuns(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    for (const Status& st : recorder.statuses()) EXPECT_NE(st.code, DOCIVA_STATUS_BUTTON_PRESSED);
}

}  // namespace
