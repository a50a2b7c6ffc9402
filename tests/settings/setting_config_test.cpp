#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/module.h"
#include "platform/path.h"
#include "settings/folders.h"
#include "settings/setting_config.h"
#include "support/test_support.h"

namespace {

using testing_support::TempDir;
using testing_support::utf8;
using testing_support::writeBytes;

std::u16string sep() { return std::u16string(1, platform::nativeSeparator()); }

TEST(SettingConfig, DefaultFileIsBesideTheModuleWhateverTheWorkingFolder) {
    TempDir elsewhere;
    const std::u16string before = platform::currentDirectory();
    ASSERT_TRUE(platform::setCurrentDirectory(elsewhere.path()));
    CSettingConfig config;
    const std::u16string folder = platform::moduleFolder(nullptr);
    EXPECT_EQ(config.path(), folder + u"settings.ini");
    EXPECT_EQ(locateConfigFile(nullptr, nullptr, u"dociva.ini"), folder + u"dociva.ini");
    EXPECT_EQ(locateConfigFile(u"", nullptr, u"dociva.ini"), folder + u"dociva.ini");
    if (testing_support::onWindows()) {
        // Windows finds the image toolkit through the current directory.
        EXPECT_EQ(platform::currentDirectory() + sep(), folder);
    } else {
        // Elsewhere the host's working folder is left alone.
        EXPECT_EQ(platform::currentDirectory(), elsewhere.path());
    }
    ASSERT_TRUE(platform::setCurrentDirectory(before));
}

TEST(SettingConfig, FoldersEndWithSeparator) {
    const std::u16string module = moduleDirectory();
    ASSERT_FALSE(module.empty());
    EXPECT_TRUE(platform::isPathSeparator(module.back()));
    EXPECT_EQ(profilesDirectory(), module + u"profiles" + sep());
}

TEST(SettingConfig, LocatingFollowsTheQuoteFolderDriveAndRelativeRules) {
    TempDir dir;
    const std::u16string module = moduleDirectory();
    const std::u16string d = dir.path();
    const std::u16string abs = dir.file(u"mine.ini");
    struct Case {
        const char* name;
        std::u16string path;
        std::u16string want;
    } cases[] = {
        {"absolute file", abs, abs},
        {"quoted absolute file", u"\"" + abs + u"\"", abs},
        {"leading quote only", u"\"" + abs, abs},
        {"folder", d, d + sep() + u"settings.ini"},
        {"folder with separator", d + sep(), d + sep() + u"settings.ini"},
        {"folder with slash", d + u"/", d + u"/settings.ini"},
        {"quoted folder", u"\"" + d + u"\"", d + sep() + u"settings.ini"},
        {"relative", u"sub\\a.ini", module + u"sub\\a.ini"},
        {"bare name", u"other.ini", module + u"other.ini"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(utf8(locateConfigFile(c.path.c_str(), nullptr, u"settings.ini")), utf8(c.want));
    }
}

TEST(SettingConfig, OverlongPathsNameNoFile) {
    TempDir dir;
    const std::u16string tooLong = dir.file(std::u16string(260, u'a'));
    EXPECT_EQ(locateConfigFile(tooLong.c_str(), nullptr, u"settings.ini"), u"");
    CSettingConfig config(tooLong.c_str());
    EXPECT_FALSE(config.setProfile(u"x"));
    char16_t buf[16] = u"stale";
    config.getProfile(buf, 16);
    EXPECT_EQ(std::u16string_view(buf), u"");
    // A relative name that only overflows once the module folder is put
    // in front of it is refused too.
    const std::u16string relative(259, u'r');
    EXPECT_EQ(locateConfigFile(relative.c_str(), nullptr, u"settings.ini"), u"");
}

TEST(SettingConfig, RemembersProfileAndScanner) {
    TempDir dir;
    CSettingConfig config(dir.path().c_str());
    ASSERT_EQ(config.path(), dir.path() + sep() + u"settings.ini");

    char16_t buf[260] = u"stale";
    config.getProfile(buf, 260);
    EXPECT_EQ(std::u16string_view(buf), u"") << "a missing file reads as empty";
    EXPECT_FALSE(platform::pathExists(config.path())) << "reading does not create the file";

    EXPECT_TRUE(config.setProfile(u"C:\\profiles\\a b.ini"));
    EXPECT_TRUE(config.setScannerName(u"Corvane DS-1"));
    config.getProfile(buf, 260);
    EXPECT_EQ(std::u16string_view(buf), u"C:\\profiles\\a b.ini");
    config.getScannerName(buf, 260);
    EXPECT_EQ(std::u16string_view(buf), u"Corvane DS-1");
    config.getScannerName(buf, 5);
    EXPECT_EQ(std::u16string_view(buf), u"Corv");

    EXPECT_FALSE(config.setProfile(nullptr));
    config.getProfile(nullptr, 10);
    config.getProfile(buf, 0);

    // Another object on the same file sees the values at once.
    CSettingConfig again(config.path().c_str());
    again.getScannerName(buf, 260);
    EXPECT_EQ(std::u16string_view(buf), u"Corvane DS-1");
}

TEST(SettingConfig, UnwritableLocationFailsQuietly) {
    TempDir dir;
    const std::u16string blocker = dir.file(u"file");
    ASSERT_TRUE(writeBytes(blocker, "x"));
    const std::u16string path = platform::joinPath(blocker, u"settings.ini");
    CSettingConfig config(path.c_str());
    EXPECT_FALSE(config.setScannerName(u"x"));
    char16_t buf[8] = u"stale";
    config.getScannerName(buf, 8);
    EXPECT_EQ(std::u16string_view(buf), u"");
}

}  // namespace
