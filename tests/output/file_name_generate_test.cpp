#include <gtest/gtest.h>

#include <string>

#include "output/file_name_generate.h"
#include "support/test_support.h"

namespace {

platform::LocalTime at(int y, int mo, int d, int h, int mi, int s, int ms) {
    platform::LocalTime t;
    t.year = static_cast<std::uint16_t>(y);
    t.month = static_cast<std::uint16_t>(mo);
    t.day = static_cast<std::uint16_t>(d);
    t.hour = static_cast<std::uint16_t>(h);
    t.minute = static_cast<std::uint16_t>(mi);
    t.second = static_cast<std::uint16_t>(s);
    t.milliseconds = static_cast<std::uint16_t>(ms);
    return t;
}

const platform::LocalTime kTime = at(2024, 3, 5, 7, 8, 9, 7);

struct Expansion {
    std::u16string name;
    std::u16string example;
    bool hasCounter;
    int digits;
};

Expansion expand(const char16_t* pattern, platform::LocalTime t = kTime) {
    CFileNameGenerate g(pattern, [t] { return t; });
    char16_t buf[260];
    bool flag = true;
    const int n = g.Generate(buf, 260, &flag);
    const std::u16string name(buf, static_cast<std::size_t>(n));
    return {name, g.Example(name), flag, g.digits()};
}

TEST(FileNameGenerate, Tokens) {
    struct Case {
        const char16_t* pattern;
        std::u16string_view name, example;
        bool hasCounter;
        int digits;
    } cases[] = {
        {u"", u"20240305_070809", u"20240305_070809", false, 0},
        {nullptr, u"20240305_070809", u"20240305_070809", false, 0},
        {u"%MSEC%", u"7", u"7", false, 0},
        {u"scan_%COUNTER3%", u"scan_%03d", u"scan_001", true, 3},
        {u"%COUNTER2%_%COUNTER4%", u"%02d_%COUNTER4%", u"01_%COUNTER4%", true, 2},
        {u"%COUNTER4%_%COUNTER2%", u"%COUNTER4%_%02d", u"%COUNTER4%_01", true, 2},
        {u"%DD%-%DD%", u"05-%DD%", u"05-%DD%", false, 0},
        {u"%BARCODE_NUMBER%", u"Not_Found", u"Not_Found", false, 0},
        {u"x%COUNTER1%", u"x%01d", u"x1", true, 1},
        {u"%COUNTER9%", u"%09d", u"000000001", true, 9},
        {u"%HH%h%MIN%m%SEC%s", u"07h08m09s", u"07h08m09s", false, 0},
        {u"%yyyy%", u"%yyyy%", u"%yyyy%", false, 0},
        {u"%COUNTER0%%COUNTER10%", u"%COUNTER0%%COUNTER10%", u"%COUNTER0%%COUNTER10%", false, 0},
        {u"\u00E9t\u00E9_%YYYY%", u"\u00E9t\u00E9_2024", u"\u00E9t\u00E9_2024", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing_support::utf8(c.pattern ? c.pattern : u"(null)"));
        const Expansion e = expand(c.pattern);
        EXPECT_EQ(e.name, c.name);
        EXPECT_EQ(e.example, c.example);
        EXPECT_EQ(e.hasCounter, c.hasCounter);
        EXPECT_EQ(e.digits, c.digits);
    }
}

// A user's pattern may hold anything a printf format would act on; the
// example keeps all of it as it stands and fills only the counter place.
TEST(FileNameGenerate, HostilePatternsAreNeverFormats) {
    struct Case {
        const char16_t* pattern;
        std::u16string_view example;
    } cases[] = {
        {u"%s%s%s%n_%COUNTER3%", u"%s%s%s%n_001"},
        {u"%COUNTER3%%s%n%p%x", u"001%s%n%p%x"},
        {u"%03d_%COUNTER2%", u"%03d_01"},
        {u"%%%%%", u"%%%%%"},
        {u"%COUNTER2%%COUNTER2%", u"01%COUNTER2%"},
        {u"%99999999d%COUNTER1%", u"%99999999d1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing_support::utf8(c.pattern));
        EXPECT_EQ(expand(c.pattern).example, c.example);
    }
}

TEST(FileNameGenerate, PatternKeeps259Units) {
    const std::u16string fits = std::u16string(249, u'a') + u"%COUNTER3%";
    const Expansion e = expand(fits.c_str());
    EXPECT_EQ(e.name, std::u16string(249, u'a') + u"%03d");
    EXPECT_EQ(e.example, std::u16string(249, u'a') + u"001");

    // Cut inside the token: what is left is no token.
    const std::u16string overlong = std::u16string(257, u'b') + u"%COUNTER3%";
    const Expansion o = expand(overlong.c_str());
    EXPECT_EQ(o.name, std::u16string(257, u'b') + u"%C");
    EXPECT_FALSE(o.hasCounter);
    EXPECT_EQ(o.example, o.name);
}

TEST(FileNameGenerate, BufferRules) {
    CFileNameGenerate g(u"abc_%COUNTER2%", [] { return kTime; });
    char16_t buf[8] = u"keep";
    bool flag = true;
    EXPECT_EQ(g.Generate(nullptr, 10, &flag), 0);
    EXPECT_FALSE(flag);
    EXPECT_EQ(g.Generate(buf, 0, &flag), 0);
    EXPECT_EQ(g.Generate(buf, -3, nullptr), 0);
    EXPECT_EQ(std::u16string_view(buf), u"keep");
    EXPECT_EQ(g.Generate(buf, 5, &flag), 4);
    EXPECT_EQ(std::u16string_view(buf), u"abc_");
    EXPECT_FALSE(flag) << "the place did not fit the caller's buffer";
    EXPECT_EQ(g.Generate(buf, 8, &flag), 7);
    EXPECT_FALSE(flag) << "half a place is no place";
    char16_t whole[9];
    EXPECT_EQ(g.Generate(whole, 9, &flag), 8);
    EXPECT_TRUE(flag);
    EXPECT_EQ(g.Example(whole), u"abc_01");
}

TEST(FileNameGenerate, LargestCounters) {
    CFileNameGenerate g;
    const int want[] = {9, 99, 999, 9999, 99999, 999999, 9999999, 99999999, 999999999};
    for (int n = 1; n <= 9; ++n) EXPECT_EQ(g.largestCounter(n), want[n - 1]) << n;
    EXPECT_EQ(g.largestCounter(0), 0);
    EXPECT_EQ(g.largestCounter(10), 0);
}

TEST(FileNameGenerate, ReadsTheSystemTimeWithoutAClock) {
    CFileNameGenerate g(u"%YYYY%");
    char16_t buf[16];
    ASSERT_EQ(g.Generate(buf, 16, nullptr), 4);
    EXPECT_GE(std::u16string_view(buf), u"2020");
}

}  // namespace
