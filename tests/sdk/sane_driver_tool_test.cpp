// dociva driver add-sane / remove against SANE's test backend, with the
// installation (registry folder, application data, sysfs) in a temporary
// folder: what add-sane writes makes discovery (dociva scanners) list the
// product while SANE lists the device, and remove takes exactly that away.
#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "support/test_support.h"
#include "tools/tool_runner.h"

using testing_support::RunOptions;
using testing_support::runProgram;
using testing_support::TempDir;
using testing_support::ToolResult;
using testing_support::utf8;

namespace {

class SaneDriverTool : public ::testing::Test {
protected:
    SaneDriverTool() {
        platform::createDirectory(dir.file(u"sane"));
        platform::createDirectory(dir.file(u"appdata"));
        platform::createDirectory(dir.file(u"sysfs"));
        useBackends("test\n");
        testing_support::writeBytes(platform::joinPath(dir.file(u"sane"), u"test.conf"), "number_of_devices 2\n");
    }
    void useBackends(const std::string& dllConf) {
        testing_support::writeBytes(platform::joinPath(dir.file(u"sane"), u"dll.conf"), dllConf);
    }
    ToolResult tool(std::vector<std::string> args, std::vector<std::string> extra = {}) {
        args.insert(args.begin(), DOCIVA_NATIVE_TOOL);
        RunOptions o;
        o.errFile = utf8(dir.file(u"stderr.txt"));
        o.set = {"SANE_CONFIG_DIR=" + utf8(dir.file(u"sane")), "DOCIVA_REGISTRY=" + utf8(dir.file(u"registry")),
                 "DOCIVA_COMMON_APPDATA=" + utf8(dir.file(u"appdata")), "DOCIVA_SYSFS_ROOT=" + utf8(dir.file(u"sysfs")),
                 // As for this program (sane_device_test.cpp).
                 "ASAN_OPTIONS=fast_unwind_on_malloc=0"};
        o.set.insert(o.set.end(), extra.begin(), extra.end());
        return runProgram(args, o);
    }
    std::string appData(const char* relative) { return utf8(dir.file(u"appdata")) + "/" + relative; }
    bool exists(const std::string& path) { return platform::pathExists(text::fromUtf8(path)); }

    TempDir dir;
};

TEST_F(SaneDriverTool, ListsAddsFindsAndRemoves) {
    ToolResult r = tool({"scanners"});
    EXPECT_EQ(r.out, "# test:0 (Noname frontend-tester) has no driver: dociva driver add-sane test:0\n"
                     "# test:1 (Noname frontend-tester) has no driver: dociva driver add-sane test:1\n")
        << "SANE's devices are offered before they have drivers";
    r = tool({"driver", "add-sane"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "test:0\tNoname\tfrontend-tester\tvirtual device\n"
                     "test:1\tNoname\tfrontend-tester\tvirtual device\n");

    r = tool({"driver", "add-sane", "test:1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string driver = appData("Corvane/SANE-test_1/driver");
    EXPECT_EQ(r.out, "Noname frontend-tester (test:1)\t" + driver + "\n");
    const std::string module = testing_support::readBytes(text::fromUtf8(driver + "/module.ini"));
    EXPECT_NE(module.find("[device]\nbackend=sane\ndevice=test:1\nsource=1\nduplex=0\nmaxWidth=7.8740\n"),
              std::string::npos)
        << module;
    EXPECT_EQ(testing_support::readBytes(text::fromUtf8(appData("Corvane/SANE-test_1/Root.ini"))),
              "[Product]\r\nPRODUCT NAME=Noname frontend-tester (test:1)\r\nSYSTEM DIRECTORY=" + driver + "\r\n");
    r = tool({"driver", "add-sane", "test:0", "--name", "Front Desk"});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    // Attached while SANE lists the device, with no USB device at all.
    r = tool({"scanners"});
    EXPECT_EQ(r.out, "Front Desk\t" + appData("Corvane/SANE-test_0/driver") + "\n" +
                         "Noname frontend-tester (test:1)\t" + driver + "\n");
    useBackends("");
    EXPECT_EQ(tool({"scanners"}).out, "") << "a device SANE no longer lists is not attached";
    useBackends("test\n");

    struct Refusal {
        const char* name;
        std::vector<std::string> args;
        const char* says;
    };
    const Refusal refusals[] = {
        {"the same device again", {"driver", "add-sane", "test:0", "--name", "Other"}, "installed already"},
        {"the same name again", {"driver", "add-sane", "test:1", "--name", "Front Desk"}, "installed already"},
        {"a device SANE does not list", {"driver", "add-sane", "test:7"}, "SANE lists no device test:7"},
        {"removing what is not there", {"driver", "remove", "Back Office"}, "no SANE driver of product"},
    };
    for (const Refusal& row : refusals) {
        SCOPED_TRACE(row.name);
        r = tool(row.args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(tool({"driver", "add-sane", "test:0", "--name"}).exitCode, 2);

    r = tool({"driver", "remove", "Front Desk"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(exists(appData("Corvane/SANE-test_0")));
    EXPECT_FALSE(exists(utf8(dir.file(u"registry")) + "/HKEY_CURRENT_USER/Software/Corvane/SANE-test_0"));
    EXPECT_EQ(tool({"scanners"}).out,
              "Noname frontend-tester (test:1)\t" + driver + "\n" +
                  "# test:0 (Noname frontend-tester) has no driver: dociva driver add-sane test:0\n");
}

TEST_F(SaneDriverTool, LeavesTheMakersProductsAlone) {
    // A maker's product in the registry, as its installer wrote it.
    const std::string key = utf8(dir.file(u"registry")) + "/HKEY_CURRENT_USER/Software/Corvane/Duplex";
    platform::createDirectory(dir.file(u"registry"));
    for (const char* part : {"/HKEY_CURRENT_USER", "/HKEY_CURRENT_USER/Software", "/HKEY_CURRENT_USER/Software/Corvane",
                             "/HKEY_CURRENT_USER/Software/Corvane/Duplex"})
        platform::createDirectory(text::fromUtf8(utf8(dir.file(u"registry")) + part));
    testing_support::writeBytes(text::fromUtf8(key + "/values"), "PRODUCT NAME=Duplex\nSYSTEM DIRECTORY=/d\n");
    const ToolResult r = tool({"driver", "remove", "Duplex"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no SANE driver"), std::string::npos) << r.err;
    EXPECT_TRUE(exists(key + "/values"));
}

TEST_F(SaneDriverTool, WithoutSaneNothingIsWritten) {
    const ToolResult r = tool({"driver", "add-sane", "test:0"}, {"DOCIVA_SANE_LIBRARY=/no/such/libsane.so.1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("SANE cannot be used here"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(appData("Corvane")));
}

}  // namespace
