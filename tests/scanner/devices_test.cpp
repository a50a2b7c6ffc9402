#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/devices.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scanner_test_support.h"

namespace {

using scanner_testing::ScopedEnv;
using testing_support::TempDir;
using testing_support::utf8;
using testing_support::writeBytes;

std::vector<std::string> describe(const std::vector<platform::PresentDevice>& devices) {
    std::vector<std::string> out;
    for (const auto& d : devices) {
        std::string line;
        for (const auto& id : d.hardwareIds) line += utf8(id) + ";";
        out.push_back(line + " " + (d.hasInstanceId ? utf8(d.instanceId) : std::string("(none)")));
    }
    return out;
}

TEST(PresentDevices, LinuxSysfs) {
    if (testing_support::onWindows()) GTEST_SKIP() << "sysfs is Linux's";
    TempDir root;
    const std::u16string devices = root.file(u"bus/usb/devices");
    for (const char16_t* f : {u"bus", u"bus/usb", u"bus/usb/devices"}) {
        ASSERT_TRUE(platform::createDirectory(root.file(f)));
    }
    const struct {
        const char16_t* port;
        const char* vendor;
        const char* product;
        const char* serial;  // null: no serial file
    } ports[] = {
        {u"2-1", "5c3b\n", "012c\n", "SN 42\n"},
        {u"1-1.4", "5C3B", "131", nullptr},
        {u"1-1:1.0", nullptr, nullptr, nullptr},
        {u"1-3", "zz\n", "0001\n", nullptr},
        {u"1-2", "046d\n", "c077\n", "\n"},
    };
    for (const auto& p : ports) {
        const std::u16string dir = platform::joinPath(devices, p.port);
        ASSERT_TRUE(platform::createDirectory(dir));
        if (p.vendor) {
            ASSERT_TRUE(writeBytes(platform::joinPath(dir, u"idVendor"), p.vendor));
        }
        if (p.product) {
            ASSERT_TRUE(writeBytes(platform::joinPath(dir, u"idProduct"), p.product));
        }
        if (p.serial) {
            ASSERT_TRUE(writeBytes(platform::joinPath(dir, u"serial"), p.serial));
        }
    }
    ScopedEnv env("DOCIVA_SYSFS_ROOT", root.path());
    std::vector<platform::PresentDevice> found;
    ASSERT_TRUE(platform::listPresentDevices(found));
    EXPECT_EQ(describe(found), (std::vector<std::string>{
                                   "USB\\VID_5C3B&PID_0131; USB\\VID_5C3B&PID_0131\\1-1.4",
                                   "USB\\VID_046D&PID_C077; USB\\VID_046D&PID_C077\\1-2",
                                   "USB\\VID_5C3B&PID_012C; USB\\VID_5C3B&PID_012C\\SN 42",
                               }));

    ScopedEnv gone("DOCIVA_SYSFS_ROOT", root.file(u"missing"));
    found.clear();
    EXPECT_FALSE(platform::listPresentDevices(found));
}

TEST(PresentDevices, LinuxExampleTreeMatchesItsDescription) {
    if (testing_support::onWindows()) GTEST_SKIP() << "sysfs is Linux's";
    ScopedEnv env("DOCIVA_SYSFS_ROOT", platform::joinPath(scanner_testing::examplesFolder(), u"scanners/sysfs"));
    std::vector<platform::PresentDevice> found;
    ASSERT_TRUE(platform::listPresentDevices(found));
    auto want = describe(scanner_testing::exampleDevices());
    auto got = describe(found);
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want);
}

}  // namespace
