#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "platform/text.h"

namespace {

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string utf16;
};

TEST(Text, Utf8DecodesAndReplacesInvalidSequences) {
    const Utf8Case cases[] = {
        {"ascii", "abc", u"abc"},
        {"two-byte", "\xC3\xA9", u"\u00E9"},
        {"three-byte", "\xE2\x82\xAC", u"\u20AC"},
        {"four-byte to surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"lone continuation", "a\x80" "b", u"a\uFFFDb"},
        {"overlong two-byte", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"truncated three-byte at end", "\xE2\x82", u"\uFFFD"},
        {"truncated three-byte then ascii", "\xE2\x82x", u"\uFFFDx"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"invalid lead bytes", "\xFE\xFF", u"\uFFFD\uFFFD"},
        {"embedded zero", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(text::fromUtf8(c.utf8), c.utf16);
    }
}

TEST(Text, Utf16EncodesAndReplacesLoneSurrogates) {
    const Utf8Case cases[] = {
        {"pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"bmp", "\xE2\x82\xAC\xC3\xA9", u"\u20AC\u00E9"},
        {"lone high at end", "a\xEF\xBF\xBD", std::u16string(u"a") + char16_t(0xD83D)},
        {"lone low", "\xEF\xBF\xBDz", std::u16string(1, char16_t(0xDE00)) + u"z"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(text::toUtf8(c.utf16), c.utf8);
    }
}

TEST(Text, CopyBoundedKeepsCapacityMinusOne) {
    char16_t buf[8];
    struct Case {
        std::size_t capacity;
        std::u16string_view src;
        std::size_t copied;
        std::u16string_view result;
    } cases[] = {
        {8, u"abc", 3, u"abc"},
        {4, u"abc", 3, u"abc"},
        {3, u"abc", 2, u"ab"},
        {1, u"abc", 0, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capacity);
        std::fill(std::begin(buf), std::end(buf), u'#');
        EXPECT_EQ(text::copyBounded(buf, c.capacity, c.src), c.copied);
        EXPECT_EQ(std::u16string_view(buf), c.result);
        EXPECT_EQ(buf[c.copied + 1], u'#') << "nothing is written past the terminator";
    }
    EXPECT_EQ(text::copyBounded(buf, 0, u"abc"), 0u);
    EXPECT_EQ(text::copyBounded(nullptr, 5, u"abc"), 0u);
}

TEST(Text, FormatFollowsPrintfForTheFormatsTheComponentUses) {
    struct Case {
        const char* name;
        std::u16string got;
        std::u16string_view want;
    } cases[] = {
        {"texts", text::format(u"%s\\%s", u"C:\\a", std::u16string(u"b.ini")), u"C:\\a\\b.ini"},
        {"int", text::format(u"%d", -42), u"-42"},
        {"counter width", text::format(u"%04d", 7), u"0007"},
        {"negative zero pad", text::format(u"%05d", -7), u"-0007"},
        {"two decimals", text::format(u"%.2f", 0.125), u"0.12"},
        {"0.02f", text::format(u"%.02f", 210.0f), u"210.00"},
        {"plain f", text::format(u"%f", 1.5), u"1.500000"},
        {"signed f", text::format(u"%+.1f % .1f %+.1f", 1.25, 2.0, -3.0), u"+1.2  2.0 -3.0"},
        {"float argument", text::format(u"%.6f", 0.4f), u"0.400000"},
        {"exponent", text::format(u"%e|%E|%G", 12345.678, 0.00012, 1e20), u"1.234568e+04|1.200000E-04|1E+20"},
        {"padded f", text::format(u"%08.2f|%-8.2f|", -3.14159, 2.5), u"-0003.14|2.50    |"},
        {"one decimal", text::format(u"%.1f", 0.75), u"0.8"},
        {"hex", text::format(u"USB\\VID_%04X&PID_%04X", 0x4f9u, 0x60a0u), u"USB\\VID_04F9&PID_60A0"},
        {"negative as hex", text::format(u"%x", -1), u"ffffffff"},
        {"percent", text::format(u"100%%"), u"100%"},
        {"left", text::format(u"[%-4d]", 5), u"[5   ]"},
        {"char", text::format(u"%c", u'\\'), u"\\"},
        {"precision on text", text::format(u"%.3s", u"abcdef"), u"abc"},
        {"json", text::format(u"{\"count\":%d, \"sources\":[%s]}", 0, u""), u"{\"count\":0, \"sources\":[]}"},
        {"length modifiers ignored", text::format(u"%ld %I64d %hs", 5L, static_cast<long long>(6), u"x"), u"5 6 x"},
        {"unicode kept", text::format(u"\u00E9%s", u"\u20AC"), u"\u00E9\u20AC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.got, c.want);
    }
}

// A user's pattern can hold any percent sequence; the formatter must never
// read arguments that were not passed.
TEST(Text, FormatIsSafeWithHostileFormats) {
    struct Case {
        std::u16string_view format;
        std::u16string_view want;
    } cases[] = {
        {u"%s%s%s%n%p", u"%n%p"},
        {u"%d %d", u"1 "},
        {u"%", u"%"},
        {u"abc%", u"abc%"},
        {u"%99999999999d", u"1"},
        {u"%.99999999f", u""},
        {u"%s", u""},
        {u"%Z%y", u"%Z%y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(c.format)));
        const std::u16string got = text::format(c.format, 1);
        if (c.format == u"%99999999999d") {
            // Absurd widths are capped rather than honoured.
            EXPECT_LE(got.size(), 4096u);
            EXPECT_EQ(got.back(), u'1');
        } else if (c.format == u"%.99999999f") {
            EXPECT_FALSE(got.empty());
            EXPECT_LT(got.size(), 300u);
        } else {
            EXPECT_EQ(got, c.want);
        }
    }
}

// Hosts may set a locale with a decimal comma; values written into INI
// files and payloads must still use a point.
TEST(Text, DoublesIgnoreTheProcessLocale) {
    const char* commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252", "German"};
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    const char* used = nullptr;
    for (const char* l : commaLocales) {
        if (std::setlocale(LC_NUMERIC, l)) {
            used = l;
            break;
        }
    }
    if (!used) GTEST_SKIP() << "no decimal-comma locale installed";
    const std::u16string got = text::format(u"%.2f|%f|%.1e|%g", 8.5, 0.25, 1500.0, 0.5);
    std::setlocale(LC_NUMERIC, before.c_str());
    EXPECT_EQ(got, u"8.50|0.250000|1.5e+03|0.5") << used;
}

TEST(Text, SplitZeroList) {
    const char16_t list[] = u"a\0bc\0\0zz";
    const auto parts = text::splitZeroList(list, 6);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0], u"a");
    EXPECT_EQ(parts[1], u"bc");
    // A cut list ends without its empty entry.
    EXPECT_EQ(text::splitZeroList(u"ab\0cd", 5).size(), 2u);
    EXPECT_TRUE(text::splitZeroList(nullptr, 4).empty());
}

}  // namespace
