// The file writer: temporary names that prove they are ours, atomic
// replacement that never follows a link at the target, the sweep of stale
// temporary files, and the simulated full disk the other tests use.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/file_writer.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/system.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace {

using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::utf8;
using testing_support::writeBytes;

std::set<std::u16string> namesIn(const std::u16string& folder) {
    std::set<std::u16string> names;
    for (const platform::FileEntry& e : platform::findFiles(platform::joinPath(folder, u"*")))
        if (e.name != u"." && e.name != u"..") names.insert(e.name);
    return names;
}

std::uint32_t diskFullError() { return testing_support::onWindows() ? 112u /* ERROR_DISK_FULL */ : 28u /* ENOSPC */; }

// The id of a process that has ended.
std::uint32_t endedProcess() {
#ifdef _WIN32
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    wchar_t command[] = L"cmd.exe /c exit 0";
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return 0;
    WaitForSingleObject(pi.hProcess, INFINITE);
    const std::uint32_t pid = pi.dwProcessId;
    // Its id stays taken while a handle holds the process: let go.
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return pid;
#else
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return static_cast<std::uint32_t>(child);
#endif
}

TEST(FileWriterNames, ProveTheyAreOurs) {
    const std::u16string folder = u"/some/folder/";
    struct Row {
        const char* name;
        std::u16string target;
        std::u16string expected;
    } rows[] = {
        {"plain", folder + u"scan.tif", folder + u".~scan.~dv42-7-"},
        {"no extension", folder + u"plain", folder + u".~plain.~dv42-7-"},
        {"dots in the name", folder + u"x.y.pdf", folder + u".~x.y.~dv42-7-"},
        {"no folder", u"a.png", u".~a.~dv42-7-"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string got = platform::temporaryNameFor(row.target, 42, 7);
        ASSERT_EQ(utf8(got.substr(0, row.expected.size())), utf8(row.expected));
        const std::u16string name = platform::fileNameOf(got);
        std::uint32_t pid = 0;
        EXPECT_TRUE(platform::isTemporaryName(name, &pid)) << utf8(name);
        EXPECT_EQ(pid, 42u);
        // The target's extension stays last, for writers that go by it.
        const std::u16string targetName = platform::fileNameOf(row.target);
        const std::size_t dot = targetName.rfind(u'.');
        if (dot != std::u16string::npos) {
            EXPECT_EQ(utf8(name.substr(name.size() - (targetName.size() - dot))), utf8(targetName.substr(dot)));
        }
        // Each unit changed breaks the proof.
        for (std::size_t i = 0; i < name.size(); ++i) {
            std::u16string forged = name;
            forged[i] = forged[i] == u'1' ? u'2' : u'1';
            EXPECT_FALSE(platform::isTemporaryName(forged)) << utf8(forged);
        }
    }
    // Names a user may well have are never taken for ours.
    for (const char16_t* name : {u"scan_.tif", u"scan__.pdf", u".~scan.tif", u".~scan.~dv1-2-00000000.tif",
                                 u"~scan.tif", u".~qix123_4", u"scan.tif.~ti99_1", u".~.~dv", u""}) {
        EXPECT_FALSE(platform::isTemporaryName(name)) << utf8(name);
    }
}

TEST(FileWriterNames, FitThePathLimit) {
    // A long name gives way in the temporary name; a folder that leaves no
    // room gives none.
    const std::u16string folder = u"/f/";
    const std::u16string longName = std::u16string(240, u'k') + u".tif";
    const std::u16string got = platform::temporaryNameFor(folder + longName, 4000000000u, 4000000000u);
    ASSERT_FALSE(got.empty());
    EXPECT_LE(got.size(), platform::kMaxPathUnits);
    EXPECT_TRUE(platform::isTemporaryName(platform::fileNameOf(got)));
    const std::u16string deep = u"/" + std::u16string(platform::kMaxPathUnits - 20, u'd') + u"/";
    EXPECT_EQ(utf8(platform::temporaryNameFor(deep + u"a.tif", 1, 1)), "");
    // A surrogate pair is never cut in two.
    const std::u16string pairs = u"/f/" + [] {
        std::u16string s;
        for (int i = 0; i < 40; ++i) s += u"\U0001F600";
        return s;
    }() + u".png";
    const std::u16string cut = platform::temporaryNameFor(pairs, 1, 1);
    EXPECT_TRUE(platform::isTemporaryName(platform::fileNameOf(cut)));
    for (std::size_t i = 0; i + 1 < cut.size(); ++i) {
        if (cut[i] >= 0xD800 && cut[i] <= 0xDBFF) {
            EXPECT_TRUE(cut[i + 1] >= 0xDC00 && cut[i + 1] <= 0xDFFF);
        }
    }
}

TEST(FileWriter, WriteFileReplacesWholeAndLeavesNothingElse) {
    TempDir dir;
    const std::u16string path = dir.file(u"dociva_status.log");
    ASSERT_TRUE(platform::writeFile(path, "first"));
    EXPECT_EQ(readBytes(path), "first");
    ASSERT_TRUE(platform::writeFile(path, std::string(100000, 'x')));
    EXPECT_EQ(readBytes(path), std::string(100000, 'x'));
    ASSERT_TRUE(platform::writeFile(path, ""));
    EXPECT_EQ(readBytes(path), "");
    EXPECT_EQ(namesIn(dir.path()), std::set<std::u16string>{u"dociva_status.log"});
}

TEST(FileWriter, ReplacementAndInPlaceWrites) {
    TempDir dir;
    const std::u16string target = dir.file(u"t.bin");
    {
        platform::FileWriter out;
        ASSERT_TRUE(out.begin(target));
        EXPECT_TRUE(platform::isTemporaryName(platform::fileNameOf(out.path())));
        ASSERT_TRUE(out.write("hello", 5));
        ASSERT_TRUE(out.writeAt(10, "!", 1));
        EXPECT_EQ(out.size(), 11u);
        char back[5] = {};
        EXPECT_EQ(out.readAt(0, back, 5), 5u);
        EXPECT_EQ(std::string(back, 5), "hello");
        EXPECT_FALSE(platform::pathExists(target));
        ASSERT_TRUE(out.commit());
    }
    EXPECT_EQ(readBytes(target), std::string("hello\0\0\0\0\0!", 11));
    {
        // Not committed: the temporary file goes, the target stays.
        platform::FileWriter out;
        ASSERT_TRUE(out.begin(target));
        ASSERT_TRUE(out.write("other", 5));
    }
    EXPECT_EQ(readBytes(target), std::string("hello\0\0\0\0\0!", 11));
    {
        // In place: the file of that name itself, emptied.
        platform::FileWriter out;
        ASSERT_TRUE(out.open(target));
        ASSERT_TRUE(out.write("in place", 8));
        ASSERT_TRUE(out.commit());
    }
    EXPECT_EQ(readBytes(target), "in place");
    EXPECT_EQ(namesIn(dir.path()), std::set<std::u16string>{u"t.bin"});
    // Copies go the same way; failIfExists keeps an existing file.
    ASSERT_TRUE(platform::copyFile(target, dir.file(u"copy.bin"), true));
    EXPECT_EQ(readBytes(dir.file(u"copy.bin")), "in place");
    ASSERT_TRUE(writeBytes(dir.file(u"copy.bin"), "mine"));
    EXPECT_FALSE(platform::copyFile(target, dir.file(u"copy.bin"), true));
    EXPECT_EQ(readBytes(dir.file(u"copy.bin")), "mine");
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::u16string>{u"t.bin", u"copy.bin"}));
}

// The simulated full disk: files inside the folder hold at most the free
// bytes, others are not touched; a write that does not fit fails as a full
// disk does, and leaves the old file and nothing else.
TEST(FullDiskPlatform, WritesFailWithTheDiskFullError) {
    TempDir dir;
    const std::u16string full = dir.file(u"full");
    const std::u16string roomy = dir.file(u"roomy");
    ASSERT_TRUE(platform::createDirectory(full));
    ASSERT_TRUE(platform::createDirectory(roomy));
    const std::u16string log = platform::joinPath(full, u"dociva_status.log");
    ASSERT_TRUE(platform::writeFile(log, "old record"));
    const std::u16string source = platform::joinPath(roomy, u"source.bin");
    ASSERT_TRUE(writeBytes(source, std::string(5000, 's')));
    for (unsigned long long free : {0ull, 1ull, 100ull, 4999ull}) {
        SCOPED_TRACE(free);
        testing_support::ScopedFullDisk disk(full, free);
        platform::setLastError(0);
        EXPECT_FALSE(platform::writeFile(log, std::string(5000, 'n')));
        EXPECT_EQ(platform::lastError(), diskFullError());
        EXPECT_FALSE(platform::copyFile(source, log, false));
        EXPECT_EQ(readBytes(log), "old record");
        EXPECT_EQ(namesIn(full), std::set<std::u16string>{u"dociva_status.log"});
        // Another folder has room.
        EXPECT_TRUE(platform::writeFile(platform::joinPath(roomy, u"other.log"), std::string(5000, 'o')));
    }
    {
        testing_support::ScopedFullDisk disk(full, 5000);
        EXPECT_TRUE(platform::writeFile(log, std::string(5000, 'n')));
    }
    EXPECT_EQ(readBytes(log), std::string(5000, 'n'));
    EXPECT_EQ(namesIn(full), std::set<std::u16string>{u"dociva_status.log"});
}

TEST(FileWriter, StaleTemporariesOfEndedProcessesGoOthersStay) {
    TempDir dir;
    const std::uint32_t ended = endedProcess();
    ASSERT_NE(ended, 0u);
    ASSERT_FALSE(platform::processRunning(ended));
    ASSERT_TRUE(platform::processRunning(platform::currentProcessId()));
    const std::u16string document = dir.file(u"scan.tif");
    ASSERT_TRUE(writeBytes(document, "the document"));
    const std::u16string stale1 = platform::temporaryNameFor(document, ended, 1);
    const std::u16string stale2 = platform::temporaryNameFor(dir.file(u"other.pdf"), ended, 99);
    const std::u16string live = platform::temporaryNameFor(document, platform::currentProcessId(), 5);
    for (const std::u16string& p : {stale1, stale2, live}) ASSERT_TRUE(writeBytes(p, "partial")) << utf8(p);
    // The user's files, some named much like ours.
    std::u16string forged = platform::temporaryNameFor(document, ended, 2);
    forged[forged.size() - 6] = forged[forged.size() - 6] == u'0' ? u'1' : u'0';
    // The names the toolkit and the PDF library used before.
    const std::u16string earlierTi = dir.file(u"scan.tif.~ti" + text::fromUtf8(std::to_string(ended)) + u"_3");
    const std::u16string earlierQix = dir.file(u"scan.pdf.~qix" + text::fromUtf8(std::to_string(ended)) + u"_0");
    const std::u16string earlierLive =
        dir.file(u"scan.pdf.~qix" + text::fromUtf8(std::to_string(platform::currentProcessId())) + u"_0");
    for (const std::u16string& p : {earlierTi, earlierQix, earlierLive}) ASSERT_TRUE(writeBytes(p, "partial"));
    const std::vector<std::u16string> users = {dir.file(u"scan_.tif"), dir.file(u".~scan.tif"), forged,
                                               dir.file(u"scan.tif.~qix1_x"), dir.file(u".~ti12_3"),
                                               dir.file(u"scan.tif.~ti_3")};
    for (const std::u16string& p : users) ASSERT_TRUE(writeBytes(p, "the user's")) << utf8(p);
    EXPECT_EQ(platform::removeStaleTemporaries(dir.path()), 4);
    EXPECT_FALSE(platform::pathExists(stale1));
    EXPECT_FALSE(platform::pathExists(stale2));
    EXPECT_FALSE(platform::pathExists(earlierTi));
    EXPECT_FALSE(platform::pathExists(earlierQix));
    EXPECT_TRUE(platform::pathExists(earlierLive));
    EXPECT_TRUE(platform::pathExists(live));
    EXPECT_EQ(readBytes(document), "the document");
    for (const std::u16string& p : users) EXPECT_EQ(readBytes(p), "the user's") << utf8(p);
    EXPECT_EQ(platform::removeStaleTemporaries(dir.path()), 0);
}

#ifndef _WIN32
// A file some process still holds for writing (another machine's, whose
// process id means nothing here) is left alone; a link at a target is
// replaced, never followed; a writer in place never opens a link.
TEST(FileWriter, HeldFilesAndLinks) {
    TempDir dir;
    const std::uint32_t ended = endedProcess();
    const std::u16string held = platform::temporaryNameFor(dir.file(u"scan.tif"), ended, 1);
    ASSERT_TRUE(writeBytes(held, "being written"));
    const int fd = ::open(utf8(held).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(platform::removeStaleTemporaries(dir.path()), 0);
    EXPECT_TRUE(platform::pathExists(held));
    ::close(fd);
    EXPECT_EQ(platform::removeStaleTemporaries(dir.path()), 1);

    const std::u16string victim = dir.file(u"victim.txt");
    ASSERT_TRUE(writeBytes(victim, "not ours to write"));
    for (const char16_t* name : {u"log-link", u"copy-link", u"dangling"}) {
        const std::u16string link = dir.file(name);
        const std::string to = std::u16string_view(name) == u"dangling" ? "nowhere/at/all" : utf8(victim);
        ASSERT_EQ(::symlink(to.c_str(), utf8(link).c_str()), 0);
    }
    ASSERT_TRUE(platform::writeFile(dir.file(u"log-link"), "record"));
    ASSERT_TRUE(platform::copyFile(dir.file(u"dangling"), dir.file(u"x"), false) == false);
    ASSERT_TRUE(writeBytes(dir.file(u"src"), "copied"));
    ASSERT_TRUE(platform::copyFile(dir.file(u"src"), dir.file(u"copy-link"), false));
    ASSERT_TRUE(platform::writeFile(dir.file(u"dangling"), "made here"));
    EXPECT_EQ(readBytes(victim), "not ours to write");
    EXPECT_FALSE(platform::pathExists(dir.file(u"nowhere")));
    EXPECT_EQ(readBytes(dir.file(u"log-link")), "record");
    EXPECT_EQ(readBytes(dir.file(u"copy-link")), "copied");
    EXPECT_EQ(readBytes(dir.file(u"dangling")), "made here");
    struct stat st {};
    ASSERT_EQ(::lstat(utf8(dir.file(u"log-link")).c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));

    const std::u16string link = dir.file(u"in-place-link");
    ASSERT_EQ(::symlink(utf8(victim).c_str(), utf8(link).c_str()), 0);
    platform::FileWriter out;
    EXPECT_FALSE(out.open(link));
    EXPECT_EQ(readBytes(victim), "not ours to write");
}
#endif

}  // namespace
