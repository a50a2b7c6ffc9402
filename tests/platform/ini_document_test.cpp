#include <gtest/gtest.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <optional>
#include <string>
#include <vector>

#include "platform/ini/ini_document.h"
#include "platform/ini/profile_buffers.h"
#include "platform/text.h"

namespace {

using platform::ini::Document;
using platform::ini::EditResult;

std::string utf16le(std::u16string_view s) {
    std::string out = "\xFF\xFE";
    for (char16_t c : s) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return out;
}

// Entries as "key=value", a bare line as "key!".
std::vector<std::u16string> render(const Document& doc, std::u16string_view section) {
    std::vector<std::u16string> out;
    for (const auto& e : doc.entries(section)) {
        std::u16string line(e.key);
        line.append(e.hasValue ? u"=" : u"!").append(e.value);
        out.push_back(line);
    }
    return out;
}

TEST(IniDocument, FindsValues) {
    const std::string nul("[s]\nk=a\0b\n", 10);
    const struct {
        const char* name;
        std::string bytes;
        std::u16string section, key;
        std::optional<std::u16string> value;
    } rows[] = {
        {"plain", "[s]\nk=v\n", u"s", u"k", u"v"},
        {"ASCII case ignored", "[Scan]\nDpi=3\n", u"sCAN", u"dPI", u"3"},
        {"blanks trimmed", "[ s ]\n \t k \v = \f v v \t\n", u"s", u"k", u"v v"},
        {"arguments trimmed", "[s]\nk=v\n", u" s\t", u"\tk ", u"v"},
        {"quotes kept in the model", "[s]\nk=\"q\"\n", u"s", u"k", u"\"q\""},
        {"split at the first =", "[s]\nk=a=b\n", u"s", u"k", u"a=b"},
        {"empty key", "[s]\n=v\n", u"s", u"", u"v"},
        {"missing key", "[s]\nk=v\n", u"s", u"x", std::nullopt},
        {"comment", "[s]\n  ;k=v\n", u"s", u";k", std::nullopt},
        {"hash is no comment", "[s]\n#k=v\n", u"s", u"#k", u"v"},
        {"bare line has no value", "[s]\nbare\n", u"s", u"bare", std::nullopt},
        {"bare line shadows a later key", "[s]\nk\nk=1\n", u"s", u"k", std::nullopt},
        {"first duplicate key", "[s]\nk=1\nK=2\n", u"s", u"k", u"1"},
        {"first duplicate section", "[s]\nk=1\n[S]\nj=2\n", u"s", u"j", std::nullopt},
        {"lines before any section", "k=v\n[s]\n", u"", u"k", std::nullopt},
        {"empty section name", "[]\nk=v\n", u"", u"k", std::nullopt},
        {"text after the bracket", "[s] junk\nk=v\n", u"s", u"k", u"v"},
        {"name up to the last bracket", "[a]b]\nk=v\n", u"a]b", u"k", u"v"},
        {"no bracket: no section", "[s]\n[abc\nk=v\n", u"abc", u"k", std::nullopt},
        {"no bracket: line of the section", "[s]\n[abc\nk=v\n", u"s", u"k", u"v"},
        {"lone CR breaks lines", "[s]\rk=v\rj=w", u"s", u"j", u"w"},
        {"LF then CR", "[s]\n\rk=v", u"s", u"k", u"v"},
        {"NUL kept", nul, u"s", u"k", std::u16string(u"a\0b", 3)},
        {"invalid UTF-8", "[s]\nk=\xFF\n", u"s", u"k", u"\uFFFD"},
        {"UTF-8", "[\xC3\x89t\xC3\xA9]\nk=\xE2\x82\xAC\n", u"\u00C9t\u00E9", u"k", u"\u20AC"},
        {"only ASCII folded", "[\xC3\x89]\nk=v\n", u"\u00E9", u"k", std::nullopt},
        {"UTF-8 mark skipped", "\xEF\xBB\xBF[s]\nk=v\n", u"s", u"k", u"v"},
        {"UTF-16LE", utf16le(u"[s]\r\nk=\u20AC\r\n"), u"s", u"k", u"\u20AC"},
        {"UTF-16LE odd byte", utf16le(u"[s]\nk=v") + "A", u"s", u"k", u"v"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(Document::parse(r.bytes).value(r.section, r.key), r.value);
    }
}

TEST(IniDocument, ListsSectionsAndEntries) {
    const auto doc = Document::parse("pre=1\n[b]\n;c=1\n k = \"v\" \n\nbare\n#h=2\n[]\nx=1\n[a]\n[abc\n[B]\ny=2\n");
    EXPECT_EQ(doc.sectionNames(), (std::vector<std::u16string_view>{u"b", u"a", u"B"}));
    EXPECT_EQ(render(doc, u"B"), (std::vector<std::u16string>{u"k=\"v\"", u"bare!", u"#h=2"}));
    EXPECT_EQ(render(doc, u"a"), (std::vector<std::u16string>{u"[abc!"}));
    EXPECT_TRUE(render(doc, u"").empty());
    EXPECT_TRUE(render(doc, u"zz").empty());
}

TEST(IniDocument, UntouchedBytesRoundTrip) {
    std::vector<std::string> rows = {
        "", "\n", "\r", "\r\n\r\n", "[s]\nk=v", "\xEF\xBB\xBF", "\xFF\xFE", utf16le(u"[s]\r\n") + "x",
        std::string("[s]\0\r\n\xC0\xFF\xED\xA0\x80=\r\r\n", 16), utf16le(u"[\xD800]\nk=\xDC00\r"),
        "[s]\n" + std::string(1 << 20, 'x'),
    };
    unsigned seed = 12345;  // fixed pseudo-random bytes biased to the interesting ones
    for (int i = 0; i < 200; ++i) {
        std::string bytes;
        for (int n = 0; n < 64; ++n) {
            seed = seed * 1103515245 + 12345;
            bytes += "[]=; \r\n\t\0\xFF\xFE\xC3" "ak"[(seed >> 16) % 14];
        }
        rows.push_back(bytes);
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(Document::parse(rows[i]).serialize(), rows[i]);
    }
}

enum class Op { Set, Key, Section };  // setValue, removeKey, removeSection

TEST(IniDocument, EditsChangeOnlyTheirLines) {
    using enum EditResult;
    const struct {
        const char* name;
        std::string before;
        Op op;
        std::u16string section, key, value;
        EditResult result;
        std::string after;  // empty: same as before
    } rows[] = {
        {"replace keeps other bytes", "; top\r\n[s]\r\n  k = old \r\nj=\xFF\r\n", Op::Set, u"s", u"k", u"new",
         Changed, "; top\r\n[s]\r\nk=new\r\nj=\xFF\r\n"},
        {"key spelling kept", "[S]\nKey=1\n", Op::Set, u"s", u"KEY", u"2", Changed, "[S]\nKey=2\n"},
        {"same value", "[s]\nk = v \n", Op::Set, u"s", u"k", u" v ", Unchanged, ""},
        {"bare line gets the value", "[s]\nbare\n", Op::Set, u"s", u"bare", u"1", Changed, "[s]\nbare=1\n"},
        {"insert after last non-blank", "[s]\nk=1\n;c\n\n\n[t]\n", Op::Set, u"s", u"n", u"2", Changed,
         "[s]\nk=1\n;c\nn=2\n\n\n[t]\n"},
        {"insert into empty section", "[s]\n[t]\n", Op::Set, u"s", u"k", u"v", Changed, "[s]\nk=v\n[t]\n"},
        {"insert after unterminated line", "[s]\nk=1", Op::Set, u"s", u"n", u"2", Changed, "[s]\nk=1\nn=2\n"},
        {"append after blank separator", "[s]\nk=1\n", Op::Set, u"t", u"k", u"v", Changed,
         "[s]\nk=1\n\n[t]\nk=v\n"},
        {"append after existing blank", "[s]\n\n", Op::Set, u" t ", u" k ", u" v ", Changed, "[s]\n\n[t]\nk=v\n"},
        {"append to empty file", "", Op::Set, u"t", u"k", u"v", Changed, "[t]\nk=v\n"},
        {"append to unterminated file", "[s]", Op::Set, u"t", u"k", u"v", Changed, "[s]\n\n[t]\nk=v\n"},
        {"CRLF file", "[s]\r\nk=1\n", Op::Set, u"s", u"n", u"2", Changed, "[s]\r\nk=1\nn=2\r\n"},
        {"LF when the first break is", "[s]\nk=1\r\n", Op::Set, u"s", u"n", u"2", Changed, "[s]\nk=1\r\nn=2\n"},
        {"UTF-8 value", "[s]\n", Op::Set, u"s", u"k", u"\u20AC", Changed, "[s]\nk=\xE2\x82\xAC\n"},
        {"UTF-8 mark kept", "\xEF\xBB\xBF[s]\n", Op::Set, u"s", u"k", u"v", Changed, "\xEF\xBB\xBF[s]\nk=v\n"},
        {"UTF-16LE kept", utf16le(u"[s]\r\nk=1\r\n"), Op::Set, u"s", u"n", u"\u20AC", Changed,
         utf16le(u"[s]\r\nk=1\r\nn=\u20AC\r\n")},
        {"UTF-16LE odd byte stays last", utf16le(u"[s]\nk=1") + "A", Op::Set, u"s", u"n", u"2", Changed,
         utf16le(u"[s]\nk=1\nn=2\n") + "A"},
        {"first duplicate section", "[s]\nk=1\n[S]\nk=2\n", Op::Set, u"s", u"k", u"3", Changed,
         "[s]\nk=3\n[S]\nk=2\n"},
        {"line without bracket is no section", "[abc\n", Op::Set, u"abc", u"k", u"v", Changed,
         "[abc\n\n[abc]\nk=v\n"},
        {"empty key", "[s]\n", Op::Set, u"s", u"", u"v", Changed, "[s]\n=v\n"},
        {"refuse empty section", "", Op::Set, u" ", u"k", u"v", Refused, ""},
        {"refuse CR in key", "", Op::Set, u"s", u"a\rb", u"v", Refused, ""},
        {"refuse LF in value", "", Op::Set, u"s", u"k", u"a\nb", Refused, ""},
        {"refuse = in key", "", Op::Set, u"s", u"a=b", u"v", Refused, ""},
        {"refuse comment key", "", Op::Set, u"s", u" ;k", u"v", Refused, ""},
        {"refuse bracket key", "", Op::Set, u"s", u"[k", u"v]", Refused, ""},
        {"remove first duplicate key", "[s]\nk=1\nk=2\n", Op::Key, u"s", u"K", u"", Changed, "[s]\nk=2\n"},
        {"remove bare line", "[s]\nbare\nk=1\n", Op::Key, u"s", u"bare", u"", Changed, "[s]\nk=1\n"},
        {"remove missing key", "[s]\n;k=1\n", Op::Key, u"s", u";k", u"", Unchanged, ""},
        {"remove key of missing section", "[s]\nk=1\n", Op::Key, u"t", u"k", u"", Unchanged, ""},
        {"remove section with its comments", "pre\n[s]\nk=1\n;c\n\n[t]\nm=1", Op::Section, u"s", u"", u"",
         Changed, "pre\n[t]\nm=1"},
        {"remove last section", "[s]\nk=1\n[t]\nm=1", Op::Section, u"T", u"", u"", Changed, "[s]\nk=1\n"},
        {"remove first duplicate section", "[s]\na=1\n[S]\nb=2\n", Op::Section, u"s", u"", u"",
         Changed, "[S]\nb=2\n"},
        {"remove missing section", "[s]\n", Op::Section, u"t", u"", u"", Unchanged, ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        auto doc = Document::parse(r.before);
        const EditResult result = r.op == Op::Set   ? doc.setValue(r.section, r.key, r.value)
                                  : r.op == Op::Key ? doc.removeKey(r.section, r.key)
                                                    : doc.removeSection(r.section);
        EXPECT_EQ(result, r.result);
        const std::string written = doc.serialize();
        EXPECT_EQ(written, r.after.empty() ? r.before : r.after);
        // The model after the edit is the file it writes.
        EXPECT_EQ(Document::parse(written).value(r.section, r.key), doc.value(r.section, r.key));
    }
}

TEST(IniDocument, LargeFilesStayLinear) {
    // Quadratic work on either shape would take minutes here.
    std::string many, wide = "[wide]\n";
    for (int i = 0; i < 100000; ++i) {
        const std::string n = std::to_string(i);
        many.append("[s").append(n).append("]\nk=").append(n).append("\n");
        wide.append("k").append(n).append("=").append(n).append("\n");
    }
    auto doc = Document::parse(many + wide);
    EXPECT_EQ(doc.value(u"S99999", u"k"), u"99999");
    EXPECT_EQ(doc.value(u"wide", u"k99999"), u"99999");
    EXPECT_EQ(doc.sectionNames().size(), 100001u);
    EXPECT_EQ(doc.setValue(u"s0", u"n", u"1"), EditResult::Changed);
    EXPECT_EQ(doc.removeSection(u"s1"), EditResult::Changed);
    EXPECT_EQ(Document::parse(doc.serialize()).value(u"s0", u"n"), u"1");
}

// The model's memory stays a small multiple of the file, whatever its
// lines: a line break once took 80 bytes.
TEST(IniDocument, MemoryIsASmallMultipleOfTheFile) {
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
    const std::size_t size = std::size_t{2} << 20;
    const struct {
        const char* name;
        std::string line;
        std::size_t timesFile;  // the bound on allocated bytes, in file sizes
    } rows[] = {
        {"blank lines", "\n", 4},
        {"comments and blank lines", ";\n\n", 4},
        {"two-byte bare lines", "a\n", 16},
        {"headers", "[s]\n", 16},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::string bytes = "[s]\n";
        while (bytes.size() + r.line.size() <= size) bytes += r.line;
        // Large blocks are mapped apart from the heap: both count.
        const auto allocated = [] {
            const auto m = mallinfo2();
            return m.uordblks + m.hblkhd;
        };
        const std::size_t before = allocated();
        const Document doc = Document::parse(std::move(bytes));
        const std::size_t used = allocated() - before;
        EXPECT_LE(used, r.timesFile * size) << used / (size / 100) << "% of the file";
        EXPECT_TRUE(doc.hasSection(u"s"));
    }
#else
    GTEST_SKIP() << "needs glibc's allocator statistics";
#endif
}

TEST(ProfileBuffers, TinyBuffers) {
    using namespace platform::ini;
    const auto doc = Document::parse("[s]\nk=abcd\n[t]\n");
    const struct {
        const char* name;
        std::uint32_t size;
        std::uint32_t (*call)(const Document&, char16_t*, std::uint32_t);
        std::uint32_t returned;
        std::u16string buffer;  // size + 1 units, '|' for a zero
    } rows[] = {
        {"value, size 0", 0, [](auto& d, auto* b, auto n) { return profileString(&d, u"s", u"k", u"", b, n); }, 0,
         u"#"},
        {"list, size 0", 0, [](auto& d, auto* b, auto n) { return profileSectionNames(&d, b, n); }, 0, u"#"},
        {"list, size 1", 1, [](auto& d, auto* b, auto n) { return profileSection(&d, u"s", b, n); }, 0, u"|#"},
        {"list, size 2", 2, [](auto& d, auto* b, auto n) { return profileSection(&d, u"s", b, n); }, 0, u"||#"},
        {"cut inside an entry", 4, [](auto& d, auto* b, auto n) { return profileSectionNames(&d, b, n); }, 2,
         u"s|||#"},
        {"empty list", 4, [](auto& d, auto* b, auto n) { return profileString(&d, u"t", nullptr, u"x", b, n); }, 0,
         u"||###"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::u16string buf(r.size + 1, u'#');
        EXPECT_EQ(r.call(doc, buf.data(), r.size), r.returned);
        for (char16_t& c : buf)
            if (c == 0) c = u'|';
        EXPECT_EQ(text::toUtf8(buf), text::toUtf8(r.buffer));
    }
}

TEST(ProfileBuffers, ParsesIntegersAsWindowsDoes) {
    const struct {
        std::u16string text;
        std::int32_t value;
    } rows[] = {
        {u"12", 12}, {u"-17", -17}, {u"+5", 5}, {u" \x01" u"7", 7}, {u"12abc", 12}, {u"abc", 0},
        {u"0x1F", 31}, {u"-0x10", -16}, {u"0X1F", 0}, {u"0o17", 15}, {u"0b101", 5}, {u"0b2", 0},
        {u"0x", 0}, {u"08", 8}, {u"- 3", 0}, {u"4294967297", 1}, {u"4294967295", -1},
        {u"-2147483648", INT32_MIN}, {u"1.5", 1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(text::toUtf8(r.text));
        EXPECT_EQ(platform::ini::parseProfileInt(r.text), r.value);
    }
}

}  // namespace
