// The private-profile calls through real files. On Windows these are the
// kernel32 calls themselves, so every test not marked Linux-only pins a
// behaviour both platforms share.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/private_profile.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace {

using namespace platform;
using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::writeBytes;

#define LINUX_ONLY() \
    if (platform::nativeSeparator() == u'\\') GTEST_SKIP() << "Linux implementation only"

std::string utf16le(std::u16string_view s) {
    std::string out = "\xFF\xFE";
    for (char16_t c : s) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return out;
}

// The units a call returned and the zero after them, zeros shown as '|',
// then its return value.
std::string shown(const std::u16string& buf, std::uint32_t n) {
    std::u16string s = buf.substr(0, n + 1);
    for (char16_t& c : s)
        if (c == 0) c = u'|';
    return text::toUtf8(s) + " " + std::to_string(n);
}

class PrivateProfile : public ::testing::Test {
protected:
    std::string get(const char16_t* section, const char16_t* key, const char16_t* dflt, std::uint32_t size = 64) {
        std::u16string buf(size + 2, u'#');
        const auto n = getPrivateProfileString(section, key, dflt, buf.data(), size, file.c_str());
        return shown(buf, n);
    }
    std::string sectionOf(const char16_t* section, std::uint32_t size = 64) {
        std::u16string buf(size + 2, u'#');
        return shown(buf, getPrivateProfileSection(section, buf.data(), size, file.c_str()));
    }
    std::string names(std::uint32_t size = 64) {
        std::u16string buf(size + 2, u'#');
        return shown(buf, getPrivateProfileSectionNames(buf.data(), size, file.c_str()));
    }

    TempDir dir;
    std::u16string file = dir.file(u"p.ini");
};

TEST_F(PrivateProfile, ReadsAsWindowsReads) {
    const std::string content =
        "; top\r\n[ Scan ]\r\n  Dpi = 300 \r\nq=\"a b\"\r\nm='x\"\r\n;c=1\r\n#h=2\r\nbare\r\nlong=abcdefgh\r\nk=1\r\n"
        "K=2\r\nn=-0x10\r\nt=12abc\r\ne=\r\nz=00000000000000000000000000000" "7\r\n[abc\r\n"
        "[Other]\nk=o\n[scan]\nlate=1\n";
    ASSERT_TRUE(writeBytes(file, content));
    const struct {
        const char* name;
        std::string got, expected;
    } rows[] = {
        {"trimmed, case ignored", get(u"SCAN", u"dpi", u"d"), "300| 3"},
        {"quotes removed", get(u"scan", u"q", u"d"), "a b| 3"},
        {"mismatched quotes kept", get(u"scan", u"m", u"d"), "'x\"| 3"},
        {"hash is a key", get(u"scan", u"#h", u"d"), "2| 1"},
        {"bare line: default", get(u"scan", u"bare", u"d"), "d| 1"},
        {"first duplicate key", get(u"scan", u"K", u"d"), "1| 1"},
        {"first duplicate section", get(u"scan", u"late", u"dd  "), "dd| 2"},
        {"LF lines", get(u"other", u"k", u"d"), "o| 1"},
        {"value cut", get(u"scan", u"long", u"d", 4), "abc| 3"},
        {"value fits", get(u"scan", u"long", u"d", 9), "abcdefgh| 8"},
        {"default cut", get(u"scan", u"zz", u"defaults", 4), "def| 3"},
        {"default keeps other blanks", get(u"scan", u"zz", u" d \t  "), " d \t| 4"},
        {"null default", get(u"scan", u"zz", nullptr), "| 0"},
        {"size 1", get(u"scan", u"long", u"d", 1), "| 0"},
        {"empty value", get(u"scan", u"e", u"d"), "| 0"},
        {"key list without bare lines", get(u"scan", nullptr, u""), "Dpi|q|m|#h|long|k|K|n|t|e|z|| 28"},
        {"section names", names(), "Scan|Other|scan|| 16"},
        {"null section lists names", get(nullptr, u"k", u"d"), "Scan|Other|scan|| 16"},
        {"names cut", names(8), "Scan|O| 6"},
        {"names exact fit is cut", names(17), "Scan|Other|scan| 15"},
        {"section entries", sectionOf(u"other"), "k=o|| 4"},
        {"entries cut", sectionOf(u"other", 4), "k=| 2"},
        {"missing section lists nothing", sectionOf(u"none", 8), "| 0"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.got, r.expected);
    }
    const struct {
        const char16_t* key;
        std::int32_t expected;
    } ints[] = {{u"dpi", 300}, {u"n", -16}, {u"t", 12}, {u"q", 0},     {u"e", 7},
                {u"zz", 7},    {u"bare", 7}, {u"z", 0} /* only 29 units count */};
    for (const auto& r : ints) {
        SCOPED_TRACE(text::toUtf8(r.key));
        EXPECT_EQ(getPrivateProfileInt(u"scan", r.key, 7, file.c_str()), r.expected);
    }
}

TEST_F(PrivateProfile, MissingFileGivesDefaultsAndEmptyLists) {
    EXPECT_EQ(get(u"s", u"k", u"d  "), "d| 1");
    EXPECT_EQ(get(u"s", nullptr, u"").substr(0, 1), "|");
    EXPECT_EQ(names().substr(0, 1), "|");
    EXPECT_EQ(getPrivateProfileInt(u"s", u"k", -3, file.c_str()), -3);
    EXPECT_TRUE(writePrivateProfileString(u"s", u"k", nullptr, file.c_str()));
    EXPECT_TRUE(writePrivateProfileString(u"s", nullptr, nullptr, file.c_str()));
    EXPECT_FALSE(pathExists(file)) << "deleting from a missing file must not create it";
}

TEST_F(PrivateProfile, WritesReadBack) {
    const std::string start = "; note\r\n[s]\r\nk=old\r\n; inside\r\nbare\r\n\r\n[t]\r\nx=1\r\n[S]\r\nd=2\r\n";
    const struct {
        const char* name;
        const char16_t *section, *key, *value;
        std::string s, t;  // sectionOf(u"s") and sectionOf(u"t") afterwards
    } rows[] = {
        {"replace", u"S", u"K", u"new", "k=new|bare|| 11", "x=1|| 4"},
        {"insert", u"s", u"n", u" v ", "k=old|bare|n=v|| 15", "x=1|| 4"},
        {"bare line set", u"s", u"bare", u"1", "k=old|bare=1|| 13", "x=1|| 4"},
        {"delete key", u"s", u"k", nullptr, "bare|| 5", "x=1|| 4"},
        {"delete section", u"s", nullptr, nullptr, "d=2|| 4", "x=1|| 4"},
        {"new section", u"u", u"k", u"v", "k=old|bare|| 11", "x=1|| 4"},
        {"delete missing key", u"t", u"zz", nullptr, "k=old|bare|| 11", "x=1|| 4"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(writeBytes(file, start));
        EXPECT_TRUE(writePrivateProfileString(r.section, r.key, r.value, file.c_str()));
        EXPECT_EQ(sectionOf(u"s"), r.s);
        EXPECT_EQ(sectionOf(u"t"), r.t);
    }
    EXPECT_EQ(names(), "s|t|S|| 6") << "after the last row";
    EXPECT_FALSE(writePrivateProfileString(nullptr, u"k", u"v", file.c_str()));
}

TEST_F(PrivateProfile, CreatesFilesAndKeepsUtf16) {
    ASSERT_TRUE(writePrivateProfileString(u"s", u"k", u"v", file.c_str()));
    EXPECT_EQ(get(u"s", u"k", u"d"), "v| 1");
    const auto wide = dir.file(u"w.ini");
    ASSERT_TRUE(writeBytes(wide, utf16le(u"[s]\r\nk=\u00E9\r\n")));
    ASSERT_TRUE(writePrivateProfileString(u"s", u"j", u"\u20AC\u4E2D", wide.c_str()));
    std::u16string buf(8, u'#');
    EXPECT_EQ(getPrivateProfileString(u"s", u"j", u"", buf.data(), 8, wide.c_str()), 2u);
    EXPECT_EQ(buf.substr(0, 2), u"\u20AC\u4E2D");
    EXPECT_EQ(readBytes(wide).substr(0, 2), "\xFF\xFE");
}

TEST_F(PrivateProfile, ConcurrentWritersLoseNothing) {
    const auto keyName = [](int t, int i) {
        return text::fromUtf8(std::string("k").append(std::to_string(t)).append("_").append(std::to_string(i)));
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i)
                writePrivateProfileString(u"s", keyName(t, i).c_str(), u"1", file.c_str());
        });
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(getPrivateProfileInt(u"s", keyName(t, i).c_str(), 0, file.c_str()), 1) << t << "_" << i;
}

TEST_F(PrivateProfile, LinuxKeepsBytesModeAndReplacesAtomically) {
    LINUX_ONLY();
    namespace fs = std::filesystem;
    const std::string start = "\xEF\xBB\xBF;  odd   spacing\r\n[s]\r\n k = \xC3\xA9 \r\n\tj=x\r\n";
    ASSERT_TRUE(writeBytes(file, start));
    fs::permissions(fs::path(file), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const auto link = dir.file(u"hard-link");
    fs::create_hard_link(fs::path(file), fs::path(link));

    ASSERT_TRUE(writePrivateProfileString(u"s", u"n", u"\u20AC", file.c_str()));
    EXPECT_EQ(readBytes(file), start + "n=\xE2\x82\xAC\r\n") << "untouched lines byte for byte";
    EXPECT_EQ(readBytes(link), start) << "the file was replaced, not rewritten in place";
    EXPECT_EQ(fs::status(fs::path(file)).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(get(u"s", u"k", u"d"), "\xC3\xA9| 1");
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(dir.path())), fs::directory_iterator()), 2)
        << "no temporary file left";
}

TEST_F(PrivateProfile, LinuxRefusesWhatWouldNotReadBack) {
    LINUX_ONLY();
    ASSERT_TRUE(writeBytes(file, "[s]\nk=1\n"));
    const std::u16string longName = dir.file(std::u16string(kMaxPathUnits, u'x'));
    const std::u16string missingFolder = dir.file(u"no/p.ini");
    const struct {
        const char* name;
        const char16_t *section, *key, *value, *fileName;
    } rows[] = {
        {"line break in value", u"s", u"k", u"a\nb", file.c_str()},
        {"null file name", u"s", u"k", u"v", nullptr},
        {"name over the path limit", u"s", u"k", u"v", longName.c_str()},
        {"missing folder", u"s", u"k", u"v", missingFolder.c_str()},
        {"a folder", u"s", u"k", u"v", dir.path().c_str()},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_FALSE(writePrivateProfileString(r.section, r.key, r.value, r.fileName));
    }
    EXPECT_EQ(readBytes(file), "[s]\nk=1\n");
    EXPECT_EQ(getPrivateProfileInt(u"s", u"k", 5, nullptr), 5);

    // Larger than the 64 MiB a read takes: unreadable, so never replaced.
    std::filesystem::resize_file(std::filesystem::path(file), (std::uintmax_t{64} << 20) + 1);
    EXPECT_EQ(getPrivateProfileInt(u"s", u"k", 5, file.c_str()), 5);
    EXPECT_FALSE(writePrivateProfileString(u"s", u"k", u"2", file.c_str()));
    EXPECT_EQ(std::filesystem::file_size(std::filesystem::path(file)), (std::uintmax_t{64} << 20) + 1);
}

// A file over kMaxProfileBytes is no profile: it reads as missing and is
// never replaced. One of exactly that size is still read and written.
TEST_F(PrivateProfile, FilesOverTheSizeLimitAreNoProfiles) {
    const std::string head = "[s]\r\nk=1\r\n";
    const struct {
        const char* name;
        std::uint64_t size;
        bool profile;
    } rows[] = {
        {"at the limit", kMaxProfileBytes, true},
        {"one byte over", kMaxProfileBytes + 1, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::string bytes = head;
        bytes.resize(static_cast<std::size_t>(r.size) - 2, ' ');  // blanks on the value's line
        bytes += "\r\n";
        ASSERT_TRUE(writeBytes(file, bytes));
        EXPECT_EQ(getPrivateProfileInt(u"s", u"k", 5, file.c_str()), r.profile ? 1 : 5);
        EXPECT_EQ(get(u"s", nullptr, u""), r.profile ? "k|| 2" : "| 0");
        if (r.profile) {
            // Rewriting the value shortens the file back under the limit.
            EXPECT_TRUE(writePrivateProfileString(u"s", u"k", u"2", file.c_str()));
            EXPECT_EQ(getPrivateProfileInt(u"s", u"k", 5, file.c_str()), 2);
        } else {
            EXPECT_FALSE(writePrivateProfileString(u"s", u"k", u"2", file.c_str()));
            EXPECT_TRUE(readBytes(file) == bytes) << "a refused file is left as it was";
        }
    }
}

// A profile load makes about a hundred reads; a large file (here 3 MiB)
// must be parsed for the first of them only, also when it was written a
// moment ago.
TEST_F(PrivateProfile, LinuxLargeFileIsParsedOncePerLoad) {
    LINUX_ONLY();
    std::string bytes = "[ScanParams]\nScanDpi=600\n[Filler]\n";
    for (int i = 0; bytes.size() < (3u << 20); ++i) bytes += "key" + std::to_string(i) + "=some value\n";
    bytes += "[Output]\nName=last\n";
    ASSERT_TRUE(writeBytes(file, bytes));
    const std::uint64_t before = profileParseCount();
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(getPrivateProfileInt(u"ScanParams", u"ScanDpi", 0, file.c_str()), 600);
        ASSERT_EQ(get(u"Output", u"Name", u""), "last| 4");
    }
    EXPECT_EQ(profileParseCount() - before, 1u);
}

// A UTF-16LE file without its byte-order mark is read as UTF-16 and keeps
// its encoding when written; a UTF-16BE file, which is not read, is never
// written into (lines in another encoding would corrupt it).
TEST_F(PrivateProfile, LinuxUtf16WithoutMarkAndForeignEncodings) {
    LINUX_ONLY();
    const auto le = [](std::u16string_view t) { return utf16le(t).substr(2); };
    const auto be = [](std::u16string_view t) {
        std::string out;
        for (char16_t c : t) out += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
        return out;
    };
    const struct {
        const char* name;
        std::string bytes;
        std::string readK;     // k of section s, then '|' and the units
        std::string written;   // after writing s/k2=w; empty: refused
    } rows[] = {
        {"UTF-16LE without a mark", le(u"[s]\r\nk=v\r\n"), "v| 1", le(u"[s]\r\nk=v\r\nk2=w\r\n")},
        {"UTF-16BE with its mark", "\xFE\xFF" + be(u"[s]\r\nk=v\r\n"), "d| 1", ""},
        {"UTF-16BE without a mark", be(u"[s]\r\nk=v\r\n"), "d| 1", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(writeBytes(file, r.bytes));
        EXPECT_EQ(get(u"s", u"k", u"d"), r.readK);
        const bool ok = writePrivateProfileString(u"s", u"k2", u"w", file.c_str());
        EXPECT_EQ(ok, !r.written.empty());
        EXPECT_TRUE(readBytes(file) == (r.written.empty() ? r.bytes : r.written));
    }
}

// Parsed files are kept between calls; every kind of change made by
// someone else must still be seen by the next call.
TEST_F(PrivateProfile, LinuxCacheSeesEveryChange) {
    LINUX_ONLY();
    namespace fs = std::filesystem;
    ASSERT_TRUE(writeBytes(file, "[s]\nk=1\n"));
    // Only files that have not changed for a while are kept.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    ASSERT_EQ(getPrivateProfileInt(u"s", u"k", 0, file.c_str()), 1);
    ASSERT_EQ(getPrivateProfileInt(u"s", u"k", 0, file.c_str()), 1);

    struct Change {
        const char* name;
        std::function<void()> apply;
        int want;
    } changes[] = {
        {"rewritten in place, same size", [&] { ASSERT_TRUE(writeBytes(file, "[s]\nk=2\n")); }, 2},
        {"replaced by rename", [&] {
             const auto other = dir.file(u"other.ini");
             ASSERT_TRUE(writeBytes(other, "[s]\nk=3\n"));
             fs::rename(fs::path(other), fs::path(file));
         }, 3},
        {"grown", [&] { ASSERT_TRUE(writeBytes(file, "[s]\nk=44\n")); }, 44},
        {"written through the call", [&] { ASSERT_TRUE(writePrivateProfileString(u"s", u"k", u"5", file.c_str())); }, 5},
        {"deleted", [&] { fs::remove(fs::path(file)); }, -1},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.name);
        c.apply();
        EXPECT_EQ(getPrivateProfileInt(u"s", u"k", -1, file.c_str()), c.want);
        // Let the change settle so the next round reads from the cache again.
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        EXPECT_EQ(getPrivateProfileInt(u"s", u"k", -1, file.c_str()), c.want);
    }
}

// A profile name that is a pipe, a folder or a device reads as a missing
// file and cannot be written, and neither waits: opening a pipe for reading
// would block until someone writes to it.
TEST_F(PrivateProfile, SpecialFilesReadAsMissingAndRefuseWrites) {
    const auto files = testing_support::makeSpecialFiles(dir, u"profile");
    ASSERT_FALSE(files.empty());
    for (const auto& f : files) {
        SCOPED_TRACE(f.kind);
        std::u16string value(32, u'#');
        std::uint32_t n = 99;
        std::int32_t number = 0;
        bool written = true;
        EXPECT_TRUE(testing_support::returnsPromptly(
            [&] {
                n = getPrivateProfileString(u"Output", u"Name", u"dflt", value.data(), 32, f.path.c_str());
                number = getPrivateProfileInt(u"ScanParams", u"ScanDpi", 300, f.path.c_str());
                written = writePrivateProfileString(u"Output", u"Name", u"x", f.path.c_str());
            },
            files));
        EXPECT_EQ(text::toUtf8(value.substr(0, n)), "dflt");
        EXPECT_EQ(number, 300);
        EXPECT_FALSE(written);
        EXPECT_TRUE(pathExists(f.path));
    }
}

}  // namespace
