#include <gtest/gtest.h>

#include "platform/path.h"
#include "settings/config_impl.h"
#include "support/test_support.h"

namespace {

using testing_support::readBytes;
using testing_support::TempDir;
using testing_support::writeBytes;

class ConfigImplTest : public ::testing::Test {
protected:
    TempDir dir;
    std::u16string ini = dir.file(u"t.ini");
};

TEST_F(ConfigImplTest, GetStringExpandsEscapedLineBreaks) {
    ASSERT_TRUE(writeBytes(ini, "[msg]\r\nwarm=First\\nSecond\r\nplain=no breaks\r\nend=ends\\n\r\nback=a\\\\nb\r\n"));
    CConfigImpl c(ini.c_str());
    struct Case {
        const char16_t* key;
        std::u16string_view want;
    } cases[] = {
        {u"warm", u"First\nSecond"},
        {u"plain", u"no breaks"},
        {u"end", u"ends\n"},
        {u"back", u"a\\\nb"},
        {u"missing", u"dflt"},
    };
    for (const auto& c2 : cases) {
        SCOPED_TRACE(testing_support::utf8(c2.key));
        char16_t buf[64];
        c.getString(u"msg", c2.key, buf, 64, u"dflt");
        EXPECT_EQ(std::u16string_view(buf), c2.want);
    }
}

TEST_F(ConfigImplTest, GetStringCutsAtSizeMinusOne) {
    ASSERT_TRUE(writeBytes(ini, "[s]\nk=abcdef\n"));
    CConfigImpl c(ini.c_str());
    char16_t buf[8];
    c.getString(u"s", u"k", buf, 4, nullptr);
    EXPECT_EQ(std::u16string_view(buf), u"abc");
    EXPECT_EQ(c.getString(u"s", u"k", nullptr, 2), u"ab");
}

TEST_F(ConfigImplTest, GetStringLeavesBufferAloneForMissingArguments) {
    ASSERT_TRUE(writeBytes(ini, "[s]\nk=v\n"));
    CConfigImpl c(ini.c_str());
    CConfigImpl none;
    struct Case {
        const char* name;
        const CConfigImpl* config;
        const char16_t* section;
        const char16_t* key;
        std::uint32_t size;
    } cases[] = {
        {"no file", &none, u"s", u"k", 8},
        {"null section", &c, nullptr, u"k", 8},
        {"null key", &c, u"s", nullptr, 8},
        {"size 0", &c, u"s", u"k", 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        char16_t buf[8] = u"keep";
        k.config->getString(k.section, k.key, buf, k.size, u"x");
        EXPECT_EQ(std::u16string_view(buf), u"keep");
    }
    c.getString(u"s", u"k", nullptr, 8, u"x");  // a null buffer is ignored, not written
}

TEST_F(ConfigImplTest, IntegerAndFlagReads) {
    ASSERT_TRUE(writeBytes(ini, "[n]\nneg=-17\nmixed=12abc\nhex=0x1F\ntext=abc\nempty=\nzero=0\nbig=2\n"));
    CConfigImpl c(ini.c_str());
    struct Case {
        const char16_t* key;
        int def;
        int want;
        bool wantBool;
    } cases[] = {
        {u"neg", 5, -17, false},   {u"mixed", 5, 12, true}, {u"hex", 5, 31, true},  {u"text", 5, 0, false},
        {u"empty", 5, 5, true},    {u"zero", 5, 0, false},  {u"big", 0, 2, true},   {u"missing", 9, 9, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(testing_support::utf8(k.key));
        EXPECT_EQ(c.getInt(u"n", k.key, k.def), k.want);
        EXPECT_EQ(c.getBool(u"n", k.key, k.def > 0), k.wantBool);
    }
    EXPECT_EQ(c.getInt(nullptr, u"neg", 3), 3);
    EXPECT_EQ(c.getInt(u"n", nullptr, 3), 3);
    EXPECT_EQ(CConfigImpl().getInt(u"n", u"neg", 3), 3);
}

TEST_F(ConfigImplTest, WritersFormatTheirValues) {
    CConfigImpl c(ini.c_str());
    EXPECT_TRUE(c.setInt(u"w", u"int", -42));
    EXPECT_TRUE(c.setBool(u"w", u"on", true));
    EXPECT_TRUE(c.setBool(u"w", u"off", false));
    EXPECT_TRUE(c.setDouble(u"w", u"dbl", 0.756));
    EXPECT_TRUE(c.setDouble(u"w", u"neg", -1.0));
    EXPECT_TRUE(c.setString(u"w", u"str", u"with spaces"));
    EXPECT_EQ(c.getString(u"w", u"int", nullptr), u"-42");
    EXPECT_EQ(c.getString(u"w", u"on", nullptr), u"1");
    EXPECT_EQ(c.getString(u"w", u"off", nullptr), u"0");
    EXPECT_EQ(c.getString(u"w", u"dbl", nullptr), u"0.76");
    EXPECT_EQ(c.getString(u"w", u"neg", nullptr), u"-1.00");
    EXPECT_EQ(c.getString(u"w", u"str", nullptr), u"with spaces");

    EXPECT_FALSE(c.setString(nullptr, u"k", u"v"));
    EXPECT_FALSE(c.setString(u"w", nullptr, u"v"));
    EXPECT_FALSE(c.setString(u"w", u"k", nullptr));
    EXPECT_FALSE(c.setInt(nullptr, u"k", 1));
    EXPECT_FALSE(c.setDouble(u"w", nullptr, 1));
}

TEST_F(ConfigImplTest, SectionListingIsWholeAndInFileOrder) {
    // Well over the first 512-unit buffer, so the listing must grow.
    std::string body;
    std::vector<std::u16string> want;
    for (int i = 0; i < 120; ++i) {
        const std::string name = "Section_number_" + std::to_string(i);
        body += "[" + name + "]\r\nk=v\r\n";
        want.push_back(std::u16string(name.begin(), name.end()));
    }
    ASSERT_TRUE(writeBytes(ini, body));
    CConfigImpl c(ini.c_str());
    std::vector<std::u16string> names{u"stale"};
    c.getSectionNames(names);
    EXPECT_EQ(names, want);
}

TEST_F(ConfigImplTest, KeyListingTakesTextBeforeTheFirstEquals) {
    std::string body = "[s]\r\na=1\r\nb=2\r\n==lead\r\nbare\r\nc=x=y\r\n";
    for (int i = 0; i < 80; ++i) body += "long_key_name_" + std::to_string(i) + "=some value here\r\n";
    ASSERT_TRUE(writeBytes(ini, body));
    CConfigImpl c(ini.c_str());
    std::vector<std::u16string> keys{u"stale"};
    c.getSectionKeys(u"s", keys);
    ASSERT_EQ(keys.size(), 85u);
    EXPECT_EQ(keys[0], u"a");
    EXPECT_EQ(keys[1], u"b");
    EXPECT_EQ(keys[2], u"lead");
    EXPECT_EQ(keys[3], u"bare");
    EXPECT_EQ(keys[4], u"c");
    EXPECT_EQ(keys[84], u"long_key_name_79");

    c.getSectionKeys(u"missing", keys);
    EXPECT_TRUE(keys.empty());
}

TEST_F(ConfigImplTest, NoFileMeansDefaultsAndFailedWrites) {
    const std::u16string longPath = dir.path() + std::u16string(300, u'x') + u".ini";
    struct Case {
        const char* name;
        CConfigImpl config;
    } cases[] = {
        {"default constructed", CConfigImpl()},
        {"null path", CConfigImpl(nullptr)},
        {"empty path", CConfigImpl(u"")},
        {"path over 259 units", CConfigImpl(longPath.c_str())},
    };
    for (auto& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_TRUE(k.config.path().empty());
        EXPECT_EQ(k.config.getString(u"s", u"k", u"d"), u"");
        EXPECT_EQ(k.config.getInt(u"s", u"k", 7), 7);
        EXPECT_FALSE(k.config.setString(u"s", u"k", u"v"));
        EXPECT_FALSE(k.config.setInt(u"s", u"k", 1));
        std::vector<std::u16string> list{u"x"};
        k.config.getSectionNames(list);
        EXPECT_TRUE(list.empty());
        list = {u"x"};
        k.config.getSectionKeys(u"s", list);
        EXPECT_TRUE(list.empty());
    }
}

TEST_F(ConfigImplTest, BadFilesGiveDefaultsAndWritesFailWithoutDamage) {
    const std::u16string blocker = dir.file(u"plainfile");
    ASSERT_TRUE(writeBytes(blocker, "not a folder"));
    const std::u16string underFile = platform::joinPath(blocker, u"x.ini");
    const std::u16string missingFolder = platform::joinPath(dir.file(u"nofolder"), u"x.ini");
    for (const auto& path : {underFile, missingFolder, dir.path()}) {
        SCOPED_TRACE(testing_support::utf8(path));
        CConfigImpl c(path.c_str());
        EXPECT_EQ(c.getString(u"s", u"k", u"d"), u"d");
        EXPECT_EQ(c.getInt(u"s", u"k", 4), 4);
        EXPECT_FALSE(c.setString(u"s", u"k", u"v"));
    }
    EXPECT_EQ(readBytes(blocker), "not a folder");

    const std::u16string binary = dir.file(u"binary.ini");
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 131 + 7) & 0xFF);
    ASSERT_TRUE(writeBytes(binary, junk));
    CConfigImpl b(binary.c_str());
    EXPECT_EQ(b.getInt(u"Scan", u"ScanDpi", 300), 300);
}

}  // namespace
