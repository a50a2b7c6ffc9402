// Every row runs the same private-profile calls through our Linux
// implementation (the native dociva tool) and through the kernel32 of Wine
// (dociva.exe), each on its own copy of the row's file, and compares what
// the two print. Rows where the two are known to differ say why and pin
// our own output instead.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/test_support.h"
#include "tools/tool_runner.h"

namespace {

using testing_support::runProgram;
using testing_support::TempDir;
using testing_support::utf8;

using Call = std::vector<std::string>;  // verb, then the arguments after FILE

constexpr const char* kNoFile = "\x01no file";

struct Case {
    const char* name;
    std::string content;  // kNoFile: the file does not exist
    std::vector<Call> calls;
    const char* difference = nullptr;  // why Wine prints something else
    const char* ours = nullptr;        // what we print in that case
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string utf16le(const std::u16string& s) {
    std::string out = "\xFF\xFE";
    for (char16_t c : s) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

std::string manySections() {
    std::string s;
    for (int i = 0; i < 60; ++i) s += "[a_rather_long_section_name_" + std::to_string(i) + "]\r\nk=v\r\n";
    return s;
}

const std::string kLongValue(3000, 'v');

const Case kCases[] = {
    // Names and values
    {"plain value", "[s]\r\nk=v\r\n", {{"get", "s", "k"}}},
    {"names ignore case", "[Scan]\r\nScanDpi=300\r\n", {{"get", "SCAN", "scandpi"}, {"get", "scan", "SCANDPI"}}},
    {"blanks around names and values", "[ s ]\r\n  k  =  v v  \r\n", {{"get", "s", "k"}, {"keys", "s"}}},
    {"tabs around names and values", "[\ts\t]\r\n\tk\t=\tv\t\r\n", {{"get", "s", "k"}}},
    {"double quotes removed", "[s]\r\nk=\"quoted\"\r\n", {{"get", "s", "k"}, {"keys", "s"}}},
    {"single quotes removed", "[s]\r\nk='q'\r\n", {{"get", "s", "k"}}},
    {"mismatched quotes kept", "[s]\r\nk=\"abc'\r\n", {{"get", "s", "k"}}},
    {"lone leading quote kept", "[s]\r\nk=\"abc\r\n", {{"get", "s", "k"}}},
    {"blanks inside quotes kept", "[s]\r\nk=\" a \"\r\n", {{"get", "s", "k"}}},
    {"empty quotes", "[s]\r\nk=\"\"\r\n", {{"get", "s", "k", "dflt"}}},
    {"only one pair removed", "[s]\r\nk=\"\"x\"\"\r\n", {{"get", "s", "k"}}},
    {"quote character alone", "[s]\r\nk=\"\r\n", {{"get", "s", "k"}}},
    {"empty value", "[s]\r\nk=\r\n", {{"get", "s", "k", "dflt"}}},
    {"value holding equals signs", "[s]\r\nk=a=b=c\r\n", {{"get", "s", "k"}}},
    {"key with inner blanks", "[s]\r\nmy key=v\r\n", {{"get", "s", "my key"}, {"get", "s", "my  key"}}},
    {"inline semicolon is part of the value", "[s]\r\nk=v ;note\r\n", {{"get", "s", "k"}}},
    {"hash line is not a comment", "[s]\r\n#k=v\r\n", {{"get", "s", "#k"}, {"keys", "s"}}},
    {"comment lines are not listed", "[s]\r\n;c=1\r\nk=v\r\n; another\r\n", {{"keys", "s"}, {"keynames", "s"}}},
    {"first duplicate key wins", "[s]\r\nk=1\r\nk=2\r\n", {{"get", "s", "k"}, {"keys", "s"}}},
    {"line without equals", "[s]\r\nbare\r\nk=v\r\n", {{"get", "s", "bare", "dflt"}, {"keys", "s"}, {"keynames", "s"}}},
    {"blank and whitespace lines", "[s]\r\n\r\n   \r\n\t\r\nk=v\r\n", {{"get", "s", "k"}, {"keys", "s"}}},
    {"indented section header", "   [s]\r\n   k=v\r\n", {{"get", "s", "k"}, {"sections"}}},
    {"text after the closing bracket", "[s] trailing\r\nk=v\r\n", {{"get", "s", "k"}, {"sections"}}},
    {"header without closing bracket", "[abc\r\nk=v\r\n", {{"sections"}, {"get", "abc", "k"}}},
    {"bracket inside a name", "[a]b]\r\nk=v\r\n", {{"sections"}, {"get", "a", "k"}}},
    {"empty section name", "[]\r\nk=v\r\n", {{"sections"}, {"get", "", "k", "dflt"}}},
    {"lines before any section", "k=v\r\n[s]\r\nj=w\r\n", {{"get", "s", "k", "dflt"}, {"sections"}}},
    {"value with non-ASCII in UTF-16",
     utf16le(u"[Msg]\r\nText=Pr\u00FCfung \u20AC \u4E2D\r\n[\u00C9t\u00E9]\r\nk=\u00E9\r\n"),
     {{"get", "Msg", "Text"}, {"sections"}, {"get", "\xC3\x89t\xC3\xA9", "k"}}},
    {"UTF-16 file, LF lines", utf16le(u"[s]\nk=v\n"), {{"get", "s", "k"}, {"keys", "s"}}},
    {"UTF-8 byte-order mark skipped", "\xEF\xBB\xBF[s]\r\nk=v\r\n", {{"get", "s", "k"}, {"sections"}}},

    // Line endings
    {"LF only", "[s]\nk=v\nj=w\n", {{"get", "s", "j"}, {"keys", "s"}}},
    {"mixed line endings", "[s]\r\nk=v\nj=w\r\n", {{"get", "s", "k"}, {"get", "s", "j"}}},
    {"no final line break", "[s]\r\nk=v", {{"get", "s", "k"}}},
    {"empty file", "", {{"sections"}, {"get", "s", "k", "d"}}},
    {"only comments", ";[s]\r\n;k=v\r\n", {{"sections"}, {"get", "s", "k", "d"}}},

    // Sections
    {"duplicate sections", "[s]\r\nk=1\r\n[t]\r\nx=0\r\n[S]\r\nk=2\r\nj=3\r\n",
     {{"get", "s", "k"}, {"get", "s", "j", "dflt"}, {"sections"}, {"keys", "s"}}},
    {"section order kept", "[b]\r\n[a]\r\n[c]\r\n", {{"sections"}}},
    {"listing grows past 512 units", manySections(), {{"sections"}}},

    // Defaults and missing things
    {"missing key gives default", "[s]\r\nk=v\r\n", {{"get", "s", "x", "dflt"}}},
    {"missing section gives default", "[s]\r\nk=v\r\n", {{"get", "t", "k", "dflt"}}},
    {"null default is empty", "[s]\r\n", {{"get", "s", "k"}}},
    {"default loses trailing blanks", "[s]\r\n", {{"get", "s", "k", "dd  "}, {"get", "s", "k", "  dd"}}},
    {"missing file gives default", kNoFile, {{"get", "s", "k", "dflt"}, {"getint", "s", "k", "7"}}},
    {"missing file lists nothing", kNoFile, {{"sections"}, {"keys", "s"}}},
    {"key names of missing section", "[s]\r\nk=v\r\n", {{"keynames", "t", "dflt"}},
     "Wine copies the default into the key list of a missing section; Windows returns an empty list",
     "0\n"},

    // Buffer sizes and cut signals
    {"value cut to size - 1", "[s]\r\nk=abcdef\r\n", {{"get", "s", "k", "--size", "4"}}},
    {"value exactly fitting", "[s]\r\nk=abc\r\n", {{"get", "s", "k", "--size", "4"}}},
    {"value one under", "[s]\r\nk=ab\r\n", {{"get", "s", "k", "--size", "4"}}},
    {"size one", "[s]\r\nk=abc\r\n", {{"get", "s", "k", "--size", "1"}}},
    {"default cut", "[s]\r\n", {{"get", "s", "k", "defaultvalue", "--size", "5"}}},
    {"long value", "[s]\r\nk=" + kLongValue + "\r\n", {{"get", "s", "k", "--size", "4096"}, {"get", "s", "k"}}},
    {"section list cut", "[alpha]\r\n[beta]\r\n[gamma]\r\n", {{"sections", "--size", "8"}, {"sections", "--size", "9"}}},
    {"section list exact fit counts as cut", "[ab]\r\n[cd]\r\n", {{"sections", "--size", "6"}, {"sections", "--size", "7"}}},
    {"section list tiny sizes", "[ab]\r\n", {{"sections", "--size", "2"}, {"sections", "--size", "3"}}},
    {"entry list cut", "[s]\r\nkey1=value1\r\nkey2=value2\r\n", {{"keys", "s", "--size", "10"}, {"keys", "s", "--size", "25"}}},
    {"key name list cut", "[s]\r\nkey1=1\r\nkey2=2\r\n", {{"keynames", "s", "--size", "7"}, {"keynames", "s", "--size", "11"}}},

    // Integers
    {"integers", "[n]\r\nneg=-17\r\nmixed=12abc\r\nhex=0x1F\r\ntext=abc\r\nempty=\r\nspaced=  42  \r\nplus=+5\r\n",
     {{"getint", "n", "neg", "5"},
      {"getint", "n", "mixed", "5"},
      {"getint", "n", "hex", "5"},
      {"getint", "n", "text", "5"},
      {"getint", "n", "empty", "5"},
      {"getint", "n", "spaced", "5"},
      {"getint", "n", "plus", "5"},
      {"getint", "n", "missing", "-3"}}},
    {"integer edge cases", "[n]\r\nbig=4294967297\r\nneghex=-0x10\r\nquoted=\"12\"\r\nzero=000\r\ndecimal=1.5\r\n",
     {{"getint", "n", "big", "5"},
      {"getint", "n", "neghex", "5"},
      {"getint", "n", "quoted", "5"},
      {"getint", "n", "zero", "5"},
      {"getint", "n", "decimal", "5"}}},

    // Writes (read back through the same implementation)
    {"set a new key", "[s]\r\nk=v\r\n\r\n[t]\r\nx=1\r\n", {{"set", "s", "n", "new"}, {"keys", "s"}, {"keys", "t"}}},
    {"set a new section", "[s]\r\nk=v\r\n", {{"set", "t", "k", "w"}, {"sections"}, {"get", "t", "k"}}},
    {"set creates the file", kNoFile, {{"set", "s", "k", "v"}, {"get", "s", "k"}, {"sections"}}},
    {"set replaces a value", "[s]\r\nk=old\r\nj=keep\r\n", {{"set", "s", "K", "new"}, {"keys", "s"}}},
    {"set keeps comments", "; header\r\n[s]\r\n; note\r\nk=v\r\n", {{"set", "s", "k", "w"}, {"keys", "s"}, {"get", "s", "k"}}},
    {"set value with blanks and quotes", "[s]\r\n",
     {{"set", "s", "a", "  spaced  "}, {"set", "s", "b", "\"q\""}, {"get", "s", "a"}, {"get", "s", "b"}}},
    {"set empty value", "[s]\r\nk=v\r\n", {{"set", "s", "k", ""}, {"get", "s", "k", "dflt"}, {"keys", "s"}}},
    {"delete a key", "[s]\r\nk=v\r\nj=w\r\n", {{"delete", "s", "k"}, {"keys", "s"}}},
    {"delete a section", "[s]\r\nk=v\r\n[t]\r\nj=w\r\n", {{"delete", "s"}, {"sections"}, {"get", "t", "j"}}},
    {"delete missing key", "[s]\r\nk=v\r\n", {{"delete", "s", "x"}, {"keys", "s"}}},
    {"delete from missing file", kNoFile, {{"delete", "s", "k"}, {"sections"}}},
    {"write to UTF-16 file", utf16le(u"[s]\r\nk=\u00E9\r\n"),
     {{"set", "s", "j", "\xE2\x82\xAC"}, {"get", "s", "k"}, {"get", "s", "j"}}},
    {"set after duplicate sections", "[s]\r\nk=1\r\n[s]\r\nk=2\r\n", {{"set", "s", "k", "3"}, {"keys", "s"}}},
};

class IniDifferential : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        build_ = testing_support::win32BuildFolder();
        if (build_.empty()) GTEST_SKIP() << "DOCIVA_WIN32_BUILD is not set (scripts/test sets it)";
    }

    std::string run(const std::string& file, bool wine, const Case& c) {
        std::string out;
        for (const Call& call : c.calls) {
            std::vector<std::string> argv;
            if (wine) {
                argv = {build_ + "/wine-run.sh", build_ + "/tools/dociva.exe", "ini", call[0],
                        testing_support::winePath(file)};
            } else {
                argv = {DOCIVA_NATIVE_TOOL, "ini", call[0], file};
            }
            argv.insert(argv.end(), call.begin() + 1, call.end());
            const auto r = runProgram(argv);
            out += "$ " + call[0] + "\n" + r.out;
            if (r.exitCode != 0) out += "(exit " + std::to_string(r.exitCode) + ")\n";
        }
        return out;
    }

    std::string build_;
};

TEST_P(IniDifferential, SameResultAsWindows) {
    const Case& c = GetParam();
    TempDir dir;
    const std::string ours = utf8(dir.path()) + "/linux.ini", theirs = utf8(dir.path()) + "/wine.ini";
    if (c.content != kNoFile) {
        ASSERT_TRUE(testing_support::writeBytes(text::fromUtf8(ours), c.content));
        ASSERT_TRUE(testing_support::writeBytes(text::fromUtf8(theirs), c.content));
    }
    const std::string native = run(ours, false, c);
    const std::string wine = run(theirs, true, c);
    if (c.difference) {
        EXPECT_NE(native, wine) << "listed as a difference but both print the same:\n" << native;
        EXPECT_EQ(native, "$ " + c.calls[0][0] + "\n" + c.ours) << c.difference;
    } else {
        EXPECT_EQ(native, wine) << "Linux (left) and Windows (right) differ";
    }
}

TEST(IniDifferentialTable, HasEnoughRows) { EXPECT_GE(std::size(kCases), 60u); }

std::string rowName(const ::testing::TestParamInfo<Case>& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return std::to_string(info.index) + "_" + name;
}

INSTANTIATE_TEST_SUITE_P(Rows, IniDifferential, ::testing::ValuesIn(kCases), rowName);

}  // namespace
