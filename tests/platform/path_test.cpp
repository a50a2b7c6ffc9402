#include <gtest/gtest.h>

#include "platform/path.h"
#include "support/test_support.h"

namespace {

using testing_support::onWindows;

TEST(Path, FolderAndFileName) {
    struct Case {
        std::u16string_view path, folder, name;
    } cases[] = {
        {u"C:\\a\\b.ini", u"C:\\a\\", u"b.ini"},
        {u"/usr/lib/x.so", u"/usr/lib/", u"x.so"},
        {u"mixed\\sep/file", u"mixed\\sep/", u"file"},
        {u"file", u"", u"file"},
        {u"dir\\", u"dir\\", u""},
        {u"", u"", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing_support::utf8(c.path));
        EXPECT_EQ(platform::folderOf(c.path), c.folder);
        EXPECT_EQ(platform::fileNameOf(c.path), c.name);
    }
}

TEST(Path, DriveMeansAbsolute) {
    struct Case {
        std::u16string_view path;
        bool windows, linux;
    } cases[] = {
        {u"C:\\x.ini", true, false},
        {u"c:x.ini", true, false},
        {u"\\\\server\\share\\x.ini", true, true},
        {u"/etc/x.ini", false, true},
        {u"\\x.ini", false, true},
        {u"sub\\a.ini", false, false},
        {u"1:\\x", false, false},
        {u"", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing_support::utf8(c.path));
        EXPECT_EQ(platform::hasDrive(c.path), onWindows() ? c.windows : c.linux);
    }
}

TEST(Path, JoinUsesNativeSeparatorOnlyWhenNeeded) {
    const std::u16string sep(1, platform::nativeSeparator());
    EXPECT_EQ(platform::joinPath(u"a", u"b"), u"a" + sep + u"b");
    EXPECT_EQ(platform::joinPath(u"a/", u"b"), u"a/b");
    EXPECT_EQ(platform::joinPath(u"a\\", u"b"), u"a\\b");
    EXPECT_EQ(platform::joinPath(u"", u"b"), u"b");
}

}  // namespace

namespace {

TEST(Path, LexicallyNormalResolvesDotsByTheTextAlone) {
    // Expected paths are written with '/', read as the native separator.
    struct Row {
        const char16_t* path;
        const char16_t* normal;
    } rows[] = {
        {u"/a/b/../c", u"/a/c"},
        {u"/a/./b//c/", u"/a/b/c"},
        {u"/a/profiles/../../etc/x.ini", u"/etc/x.ini"},
        {u"/../../x", u"/x"},
        {u"a\\b\\..\\..\\..\\c", u"../c"},
        {u"./a/.", u"a"},
        {u"C:\\Dociva\\profiles\\..\\dociva.ini", u"C:/Dociva/dociva.ini"},
        {u"C:\\..\\x", u"C:/x"},
        {u"\\\\server\\share\\..\\x", u"//server/x"},
        {u"", u""},
        {u"/", u"/"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing_support::utf8(row.path));
        std::u16string expected(row.normal);
        for (auto& c : expected)
            if (c == u'/') c = platform::nativeSeparator();
        EXPECT_EQ(testing_support::utf8(platform::lexicallyNormal(row.path)), testing_support::utf8(expected));
    }
}

}  // namespace
