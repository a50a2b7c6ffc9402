#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/dynamic_library.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/path.h"
#include "platform/scoped_handle.h"
#include "platform/system.h"
#include "support/test_support.h"

namespace {

TEST(Module, FolderOfTheRunningCodeEndsWithSeparator) {
    const std::u16string file = platform::moduleFileName(nullptr);
    ASSERT_FALSE(file.empty());
    EXPECT_TRUE(platform::pathExists(file));
    EXPECT_TRUE(platform::hasDrive(file)) << testing_support::utf8(file);
    const std::u16string folder = platform::moduleFolder(nullptr);
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(platform::isPathSeparator(folder.back()));
    EXPECT_EQ(file.substr(0, folder.size()), folder);
    // Any address in the module names the same module.
    static int marker;
    EXPECT_EQ(platform::moduleFileName(&marker), file);
}

TEST(Module, FolderDoesNotFollowTheCurrentDirectory) {
    testing_support::TempDir dir;
    const std::u16string before = platform::currentDirectory();
    const std::u16string folder = platform::moduleFolder(nullptr);
    ASSERT_TRUE(platform::setCurrentDirectory(dir.path()));
    EXPECT_EQ(platform::moduleFolder(nullptr), folder);
    ASSERT_TRUE(platform::setCurrentDirectory(before));
}

TEST(System, DebugOutputReachesCapture) {
    std::vector<std::u16string> lines;
    {
        platform::ScopedDebugCapture capture([&](std::u16string_view l) { lines.emplace_back(l); });
        platform::debugOutput(u"first");
        std::thread([] { platform::debugOutput(u"from a worker"); }).join();
    }
    platform::debugOutput(u"after");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], u"first");
    EXPECT_EQ(lines[1], u"from a worker");
}

TEST(System, LocalTimeIsPlausible) {
    const auto t = platform::localTime();
    EXPECT_GE(t.year, 2020);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
    EXPECT_GE(t.day, 1);
    EXPECT_LE(t.day, 31);
    EXPECT_LE(t.dayOfWeek, 6);
    EXPECT_LE(t.hour, 23);
    EXPECT_LE(t.milliseconds, 999);
}

TEST(System, SpecialFoldersAreAbsolute) {
    for (const auto& f : {platform::documentsFolder(), platform::commonAppDataFolder()}) {
        SCOPED_TRACE(testing_support::utf8(f));
        ASSERT_FALSE(f.empty());
        EXPECT_TRUE(platform::hasDrive(f));
        EXPECT_FALSE(platform::isPathSeparator(f.back()));
    }
}

TEST(System, DocumentsFolderIsMadeOnAFreshAccount) {
    if (testing_support::onWindows()) GTEST_SKIP() << "the special folder always exists on Windows";
    struct Row {
        const char* name;
        const char* userDirs;  // null: no user-dirs.dirs
        const char* folder;    // below the home folder
    } rows[] = {
        {"no user-dirs.dirs", nullptr, "Documents"},
        {"named under $HOME, two levels new", "XDG_DOCUMENTS_DIR=\"$HOME/Mine/Papers\"\n", "Mine/Papers"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testing_support::TempDir home;
        testing_support::ScopedEnvironment setHome{"HOME", testing_support::utf8(home.path())};
        testing_support::ScopedEnvironment setConfig{"XDG_CONFIG_HOME", testing_support::utf8(home.path()) + "/.config"};
        if (row.userDirs) {
            ASSERT_TRUE(platform::createDirectory(home.path() + u"/.config"));
            ASSERT_TRUE(testing_support::writeBytes(home.path() + u"/.config/user-dirs.dirs", row.userDirs));
        }
        const std::u16string docs = platform::documentsFolder();
        EXPECT_EQ(testing_support::utf8(docs), testing_support::utf8(home.path()) + "/" + row.folder);
        EXPECT_TRUE(platform::isDirectory(docs));
        // A folder one level below can now be made, as the output folder is.
        EXPECT_TRUE(platform::createDirectory(docs + u"/scans"));
    }
}

// A handle whose close fails with an error of its own, as closing a
// broken handle may.
struct NoisyTraits {
    using Handle = int;
    static Handle invalid() noexcept { return 0; }
    static void close(Handle) noexcept { platform::setLastError(7); }
};

TEST(ScopedHandle, ClosingKeepsTheCallersLastError) {
    const struct {
        const char* name;
        void (*drop)(platform::ScopedHandle<NoisyTraits>&);
    } rows[] = {
        {"reset", [](platform::ScopedHandle<NoisyTraits>& h) { h.reset(); }},
        {"reset to another", [](platform::ScopedHandle<NoisyTraits>& h) { h.reset(5); }},
        {"put", [](platform::ScopedHandle<NoisyTraits>& h) { *h.put() = 6; }},
        {"move over", [](platform::ScopedHandle<NoisyTraits>& h) { h = platform::ScopedHandle<NoisyTraits>(9); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        platform::ScopedHandle<NoisyTraits> handle(3);
        platform::setLastError(2);  // the reason the failing caller is about to report
        row.drop(handle);
        EXPECT_EQ(platform::lastError(), 2u);
        EXPECT_NE(handle.get(), 3) << "the old handle is still held";
    }
}

TEST(System, ThreadIdsDiffer) {
    const auto main = platform::currentThreadId();
    std::uint32_t other = main;
    std::thread([&] { other = platform::currentThreadId(); }).join();
    EXPECT_NE(main, other);
}

TEST(DynamicLibrary, MissingLibraryFailsCleanly) {
    platform::DynamicLibrary lib;
    EXPECT_FALSE(lib.load(u"no-such-library-here.dll"));
    EXPECT_FALSE(lib.loaded());
    EXPECT_EQ(lib.symbol("anything"), nullptr);
    EXPECT_FALSE(lib.load(u""));
}

}  // namespace
