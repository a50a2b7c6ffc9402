#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/system.h"
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

TEST(Files, RemoveDirectoryTakesOnlyAnEmptyFolder) {
    struct Row {
        const char* name;
        std::u16string_view path;           // under the test folder
        std::vector<std::u16string_view> setUp;  // folders end in '/', files do not
        bool removed;
        std::vector<std::u16string_view> left;   // what must still be there
    } rows[] = {
        {"empty folder", u"empty", {u"empty/"}, true, {}},
        {"folder with a file", u"full", {u"full/", u"full/keep.txt"}, false, {u"full", u"full/keep.txt"}},
        {"folder with an empty folder", u"outer", {u"outer/", u"outer/inner/"}, false, {u"outer", u"outer/inner"}},
        {"missing folder", u"missing", {}, false, {}},
        {"a file", u"file.txt", {u"file.txt"}, false, {u"file.txt"}},
        {"the empty path", u"", {}, false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        auto under = [&](std::u16string_view relative) {
            std::u16string p = dir.path();
            std::size_t start = 0;
            while (start < relative.size()) {
                const std::size_t slash = std::min(relative.find(u'/', start), relative.size());
                if (slash > start) p = platform::joinPath(p, relative.substr(start, slash - start));
                start = slash + 1;
            }
            return p;
        };
        for (const auto& entry : row.setUp) {
            if (entry.back() == u'/') {
                ASSERT_TRUE(platform::createDirectory(under(entry)));
            } else {
                ASSERT_TRUE(writeBytes(under(entry), "x"));
            }
        }
        const std::u16string target = row.path.empty() ? std::u16string() : under(row.path);
        EXPECT_EQ(platform::removeDirectory(target), row.removed);
        if (row.removed) {
            EXPECT_FALSE(platform::pathExists(target));
        } else {
            EXPECT_NE(platform::lastError(), 0u) << "a refusal leaves its reason";
        }
        for (const auto& kept : row.left) EXPECT_TRUE(platform::pathExists(under(kept))) << testing_support::utf8(kept);
        EXPECT_TRUE(platform::isDirectory(dir.path())) << "the folder around is never touched";
    }
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

// A pipe, a device or a socket where a file is expected is refused at
// once: an open that waited for a pipe's writer would hang its thread, and a
// device like /dev/zero never ends.
TEST(Files, ReadsRefuseWhatIsNotARegularFile) {
    TempDir dir;
    const auto files = testing_support::makeSpecialFiles(dir, u"special");
    ASSERT_FALSE(files.empty());
    const auto target = dir.file(u"copy.txt");
    for (const auto& f : files) {
        SCOPED_TRACE(f.kind);
        bool read = true, copied = true, regular = true;
        std::string bytes = "old";
        EXPECT_TRUE(testing_support::returnsPromptly(
            [&] {
                read = platform::readFile(f.path, bytes, 1u << 20);
                copied = platform::copyFile(f.path, target, false);
                regular = platform::isRegularFile(f.path);
            },
            files));
        EXPECT_FALSE(read);
        EXPECT_TRUE(bytes.empty());
        EXPECT_FALSE(copied);
        EXPECT_FALSE(platform::pathExists(target)) << "a refused copy leaves nothing behind";
        EXPECT_FALSE(regular);
        EXPECT_TRUE(platform::pathExists(f.path)) << "the special file itself is left alone";
    }
    ASSERT_TRUE(writeBytes(dir.file(u"plain.txt"), "text"));
    EXPECT_TRUE(platform::isRegularFile(dir.file(u"plain.txt")));
    EXPECT_FALSE(platform::isRegularFile(dir.file(u"missing")));
    EXPECT_FALSE(platform::isRegularFile(u""));
}

}  // namespace
