// The SDK against a SANE backend that never comes back from sane_cancel
// (tests/sdk/stuck_sane.c): the run still ends with the device's status,
// the device then refuses further starts instead of hanging them, and
// closing it returns.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "sdk/sdk_test_support.h"

using namespace sdk_testing;
using testing_support::ScopedEnvironment;
using testing_support::TempDir;

namespace {

TEST(SaneStuckBackend, ACancelThatNeverReturnsEndsTheRunAndTheDeviceAnswersNoMore) {
    // SANE is loaded once per process: this case needs to be the first.
    if (dlopen("libsane.so.1", RTLD_NOW | RTLD_NOLOAD))
        GTEST_SKIP() << "SANE is already loaded in this process; CTest runs this case alone";
    ScopedEnvironment library("DOCIVA_SANE_LIBRARY", STUCK_SANE_LIBRARY);
    TempDir dir;
    writeDriver(dir.file(u"driver"), "backend=sane\ndevice=stuck:0\ncancelWaitMs=300\n");
    DocivaHandle handle = dociva_OpenDriver(dir.file(u"driver").c_str());
    ASSERT_NE(handle, 0u);
    Recorder recorder(handle);
    ScanSettings s = settingsFor(dir.file(u"out"), u"1", 0, 100);
    // The device has no area options: the whole of it.
    s.scanAreaW = 0.0;
    s.scanAreaH = 0.0;

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

}  // namespace
