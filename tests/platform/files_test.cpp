#include <gtest/gtest.h>

#include <algorithm>

#include "platform/files.h"
#include "platform/path.h"
#include "support/test_support.h"

namespace {

using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::writeBytes;

TEST(Files, CopyMoveDelete) {
    TempDir dir;
    const auto a = dir.file(u"a.txt"), b = dir.file(u"b.txt"), c = dir.file(u"c.txt");
    ASSERT_TRUE(writeBytes(a, "alpha"));
    ASSERT_TRUE(writeBytes(b, "beta"));

    EXPECT_FALSE(platform::copyFile(a, b, true)) << "must not replace when asked not to";
    EXPECT_EQ(readBytes(b), "beta");
    EXPECT_TRUE(platform::copyFile(a, b, false));
    EXPECT_EQ(readBytes(b), "alpha");
    EXPECT_FALSE(platform::copyFile(dir.file(u"missing"), c, false));
    EXPECT_FALSE(platform::pathExists(c)) << "a failed copy leaves nothing behind";

    ASSERT_TRUE(writeBytes(c, "gamma"));
    EXPECT_TRUE(platform::moveFile(c, a)) << "move replaces an existing file";
    EXPECT_EQ(readBytes(a), "gamma");
    EXPECT_FALSE(platform::pathExists(c));

    EXPECT_TRUE(platform::deleteFile(a));
    EXPECT_FALSE(platform::pathExists(a));
    EXPECT_FALSE(platform::deleteFile(a));
    EXPECT_FALSE(platform::deleteFile(dir.path())) << "deleteFile never removes a folder";
}

TEST(Files, ExistsAndDirectories) {
    TempDir dir;
    const auto sub = dir.file(u"sub");
    const auto deep = platform::joinPath(dir.file(u"no"), u"deeper");
    EXPECT_TRUE(platform::pathExists(dir.path()));
    EXPECT_TRUE(platform::isDirectory(dir.path()));
    EXPECT_FALSE(platform::pathExists(sub));
    EXPECT_TRUE(platform::createDirectory(sub));
    EXPECT_FALSE(platform::createDirectory(sub)) << "an existing folder is a failure";
    EXPECT_TRUE(platform::isDirectory(sub));
    EXPECT_FALSE(platform::createDirectory(deep)) << "one level only";
    ASSERT_TRUE(writeBytes(dir.file(u"f"), "x"));
    EXPECT_TRUE(platform::pathExists(dir.file(u"f")));
    EXPECT_FALSE(platform::isDirectory(dir.file(u"f")));
    EXPECT_FALSE(platform::pathExists(u""));
}

TEST(Files, FindByPatternIgnoresCase) {
    TempDir dir;
    for (auto name : {u"one.ini", u"TWO.INI", u"three.txt", u"four.ini.bak"}) ASSERT_TRUE(writeBytes(dir.file(name), "x"));
    ASSERT_TRUE(platform::createDirectory(dir.file(u"sub.ini")));

    struct Case {
        std::u16string_view pattern;
        std::vector<std::u16string> names;
    } cases[] = {
        {u"*.ini", {u"TWO.INI", u"one.ini", u"sub.ini"}},
        {u"t*", {u"TWO.INI", u"three.txt"}},
        {u"???.ini", {u"TWO.INI", u"one.ini", u"sub.ini"}},
        {u"*.bak", {u"four.ini.bak"}},
        {u"nothing*", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing_support::utf8(c.pattern));
        std::vector<std::u16string> got;
        for (const auto& e : platform::findFiles(platform::joinPath(dir.path(), c.pattern))) {
            got.push_back(e.name);
            if (e.name == u"sub.ini") {
                EXPECT_TRUE(e.isDirectory);
            }
            if (e.name == u"one.ini") {
                EXPECT_EQ(e.size, 1u);
            }
        }
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, c.names);
    }
    EXPECT_TRUE(platform::findFiles(dir.file(u"missing\\*.ini")).empty());
}

TEST(Files, ReadFileRespectsItsLimit) {
    TempDir dir;
    const auto f = dir.file(u"data.bin");
    ASSERT_TRUE(writeBytes(f, std::string(1000, 'z')));
    std::string bytes;
    EXPECT_TRUE(platform::readFile(f, bytes, 1000));
    EXPECT_EQ(bytes.size(), 1000u);
    EXPECT_FALSE(platform::readFile(f, bytes, 999));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(platform::readFile(dir.path(), bytes, 1000));
    EXPECT_FALSE(platform::readFile(dir.file(u"missing"), bytes, 1000));
}

}  // namespace
