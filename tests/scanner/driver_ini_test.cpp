#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "scanner/corvane_driver_ini.h"
#include "support/test_support.h"

namespace {

using testing_support::TempDir;
using testing_support::utf8;
using testing_support::writeBytes;

TEST(RootIni, ProductAndDirectory) {
    const struct {
        const char* name;
        const char* content;
        bool found;
        const char16_t* product;
        const char16_t* directory;
    } cases[] = {
        {"one section", "[Product]\r\nPRODUCT NAME=Duplex 300\r\nSYSTEM DIRECTORY=C:\\Drv\\D300\r\n", true,
         u"Duplex 300", u"C:\\Drv\\D300"},
        {"keys in two sections, names in any case", "[a]\nproduct name=P\n[b]\nx=1\nSystem Directory=D\n", true, u"P",
         u"D"},
        {"a third key after the pair in one section is not looked at",
         "[a]\nPRODUCT NAME=P\nSYSTEM DIRECTORY=D\nPRODUCT NAME=Q\n", true, u"P", u"D"},
        {"product in two sections", "[a]\nPRODUCT NAME=P\nSYSTEM DIRECTORY=D\n[b]\nPRODUCT NAME=Q\n", false, nullptr,
         nullptr},
        {"product twice without a directory", "[a]\nPRODUCT NAME=P\n[b]\nPRODUCT NAME=Q\n", false, nullptr, nullptr},
        {"no directory", "[a]\nPRODUCT NAME=P\n", false, nullptr, nullptr},
        {"no sections", "PRODUCT NAME=P\nSYSTEM DIRECTORY=D\n", false, nullptr, nullptr},
        {"a directory with \\n in it is kept as written", "[a]\nPRODUCT NAME=P\nSYSTEM DIRECTORY=C:\\Drivers\\new\n",
         true, u"P", u"C:\\Drivers\\new"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = dir.file(u"Root.ini");
        ASSERT_TRUE(writeBytes(path, c.content));
        const CCorvaneDriverRootIni ini(path.c_str());
        char16_t product[260] = {};
        char16_t directory[260] = {};
        ASSERT_EQ(ini.getProductAndDirectory(product, 260, directory, 260), c.found);
        if (c.found) {
            EXPECT_EQ(std::u16string_view(product), c.product);
            EXPECT_EQ(std::u16string_view(directory), c.directory);
        }
    }
    const CCorvaneDriverRootIni missing(dir.file(u"missing.ini").c_str());
    char16_t a[4];
    char16_t b[4];
    EXPECT_FALSE(missing.getProductAndDirectory(a, 4, b, 4));

    // Values are cut to the buffers, each keeping its terminator.
    ASSERT_TRUE(writeBytes(dir.file(u"cut.ini"), "[a]\nPRODUCT NAME=Product\nSYSTEM DIRECTORY=Directory\n"));
    const CCorvaneDriverRootIni cut(dir.file(u"cut.ini").c_str());
    ASSERT_TRUE(cut.getProductAndDirectory(a, 4, b, 4));
    EXPECT_EQ(std::u16string_view(a), u"Pro");
    EXPECT_EQ(std::u16string_view(b), u"Dir");
}

TEST(ModuleIni, ScannerId) {
    const struct {
        const char* content;
        bool set;
        int vendor;
        int product;
    } cases[] = {
        {"[system]\nscannerid=23611,300\n", true, 23611, 300},
        {"[System]\nScannerID= 23611 , +300x\n", true, 23611, 300},
        {"[system]\nscannerid=,23611,,300,\n", true, 23611, 300},
        {"[system]\nscannerid=abc,-7\n", true, 0, -7},
        {"[system]\nscannerid=99999999999,-99999999999\n", true, INT_MAX, INT_MIN},
        {"[system]\nscannerid=23611\n", false, 0, 0},
        {"[system]\nscannerid=1,2,3\n", false, 0, 0},
        {"[system]\nscannerid=\n", false, 0, 0},
        {"[device]\nscannerid=1,2\n", false, 0, 0},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        const auto path = dir.file(u"module.ini");
        ASSERT_TRUE(writeBytes(path, c.content));
        int vendor = -100;
        int product = -100;
        EXPECT_EQ(CCorvaneDriverModuleIni(path.c_str()).getScannerId(vendor, product), c.set);
        EXPECT_EQ(vendor, c.set ? c.vendor : -100);
        EXPECT_EQ(product, c.set ? c.product : -100);
    }
}

}  // namespace
