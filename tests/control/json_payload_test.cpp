#include "control/json_payload.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/text.h"
#include "support/json_check.h"
#include "support/test_support.h"

using testing_support::utf8;

namespace {

DriverEntry driver(std::u16string_view name, std::u16string_view dir) {
    DriverEntry e;
    text::copyBounded(e.productName, kDriverTextUnits, name);
    text::copyBounded(e.systemDirectory, kDriverTextUnits, dir);
    return e;
}

TEST(JsonString, EscapesOnlyWhatJsonNeeds) {
    struct Row {
        std::u16string in;
        std::u16string out;
    } rows[] = {
        {u"plain name", u"plain name"},
        {u"C:\\Program Files\\Corvane\\", u"C:\\\\Program Files\\\\Corvane\\\\"},
        {u"say \"hi\"", u"say \\\"hi\\\""},
        {u"a\nb\rc\td", u"a\\nb\\rc\\td"},
        {std::u16string(u"x\x01y\x1fz", 5), u"x\\u0001y\\u001fz"},
        {u"/ é 日本 \u2028", u"/ é 日本 \u2028"},
        {u"", u""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(utf8(payload::jsonString(row.in)), utf8(row.out)) << "input: " << utf8(row.in);
    }
}

TEST(Payloads, SourcesList) {
    struct Row {
        const char* what;
        std::vector<DriverEntry> drivers;
        std::u16string scanner;
        std::u16string expected;
    } rows[] = {
        {"no driver", {}, u"", u"{\"count\":0, \"sources\":[]}"},
        {"two drivers, none current",
         {driver(u"A", u"C:\\d\\a"), driver(u"B", u"/b")},
         u"",
         u"{\"count\":2, \"sources\":[{\"product_name\":\"A\", \"dir\":\"C:\\\\d\\\\a\", \"is_default\":0},"
         u"{\"product_name\":\"B\", \"dir\":\"/b\", \"is_default\":0}]}"},
        {"current compared ignoring case",
         {driver(u"Scanner One", u"/one")},
         u"SCANNER one",
         u"{\"count\":1, \"sources\":[{\"product_name\":\"Scanner One\", \"dir\":\"/one\", \"is_default\":1}]}"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(utf8(payload::sources(row.drivers, row.scanner)), utf8(row.expected)) << row.what;
    }
}

TEST(Payloads, RegistrationAndCut) {
    SourceCapability cap{};
    cap.source = 1;
    cap.isDuplex = 1;
    cap.maxWidth = 8.5;
    cap.maxHeight = 14.0;
    EXPECT_EQ(utf8(payload::registration(0, u"Register success", &cap)),
              "{\"code\":0, \"message\":\"Register success\",\"caps\":{\"source\":1, \"is_duplex\":1, "
              "\"is_overscan\":0, \"multi_page\":0, \"max_w\":8.50, \"max_h\":14.00}}");
    EXPECT_EQ(utf8(payload::registration(3, u"Load driver fail", nullptr)),
              "{\"code\":3, \"message\":\"Load driver fail\"}");
    // A capability is shown only with success.
    EXPECT_EQ(utf8(payload::registration(3, u"Load driver fail", &cap)),
              "{\"code\":3, \"message\":\"Load driver fail\"}");
    EXPECT_EQ(utf8(payload::registrationWithoutName()), "{\"code\":3, \"message\":\"Product Name cannot be empty\"}");

    // Fixed texts keep 259 units.
    const std::u16string longMessage(400, u'm');
    EXPECT_EQ(payload::registration(3, longMessage, nullptr).size(), 259u);

    // A capability that is not a number still gives a number.
    cap.maxWidth = std::numeric_limits<double>::infinity();
    cap.maxHeight = std::numeric_limits<double>::quiet_NaN();
    const auto text = payload::registration(0, u"Register success", &cap);
    EXPECT_TRUE(json_check::valid(utf8(text))) << utf8(text);
}

TEST(Payloads, ProfilesList) {
    EXPECT_EQ(utf8(payload::profiles({})), "{\"count\":0, \"profiles\":[\"\"]}");
    std::vector<payload::ProfileItem> items{{u"a", u"a.ini", u"C:\\p\\a.ini", 12, true},
                                            {u"b", u"b.ini", u"/p/b.ini", -5, false}};
    EXPECT_EQ(utf8(payload::profiles(items)),
              "{\"count\":2, \"profiles\":[{\"name\":\"a\", \"file_name\":\"a.ini\", \"path\":\"C:\\\\p\\\\a.ini\", "
              "\"file_size\":12, \"is_default\":1},{\"name\":\"b\", \"file_name\":\"b.ini\", \"path\":\"/p/b.ini\", "
              "\"file_size\":-5, \"is_default\":0}]}");
}

TEST(Payloads, ListsAreNeverCut) {
    std::vector<DriverEntry> drivers;
    for (int i = 0; i < 40; ++i) drivers.push_back(driver(u"Product " + text::format(u"%d", i), u"/drivers/x"));
    const auto text = payload::sources(drivers, u"");
    EXPECT_GT(text.size(), 2000u);
    EXPECT_TRUE(json_check::valid(utf8(text)));
}

TEST(Payloads, ScanSizes) {
    std::vector<payload::ScanSizeItem> items{{u"Auto", 0, 0, 0, 0, 0}, {u"Custom", 22, 0.5, 0, 8.25, 11.004}};
    EXPECT_EQ(utf8(payload::scanSizes(items, 22)),
              "{\"count\":2, \"default_size_id\":22, \"sizes\":[{\"name\":\"Auto\", \"id\":0, \"x\":\"0.00\", "
              "\"y\":\"0.00\", \"w\":\"0.00\", \"h\":\"0.00\"},{\"name\":\"Custom\", \"id\":22, \"x\":\"0.50\", "
              "\"y\":\"0.00\", \"w\":\"8.25\", \"h\":\"11.00\"}]}");
}

TEST(Payloads, BwCompressRule) {
    struct Row {
        double profile;
        const char* item;
        double stored;
    } rows[] = {
        {0.0, "0", 0},         {1.0000001, "1", 1}, {2.0, "2", 2},   {0.5, "0.500000", 0.5}, {0.7, "0.700000", 0.7},
        {5.0, "0", 0},         {-0.5, "0", 0},      {1.5, "0", 0},   {0.0000005, "0", 0},
    };
    for (const auto& row : rows) {
        const auto v = payload::bwCompressValue(row.profile);
        EXPECT_EQ(utf8(v.item), row.item) << row.profile;
        EXPECT_DOUBLE_EQ(v.stored, row.stored) << row.profile;
    }
}

TEST(Payloads, SelectedProfileIsJsonForHostileValues) {
    ProfileSettings p;
    text::copyBounded(p.fileName, kProfilePathUnits, u"name \"quoted\" \\ back\nline");
    text::copyBounded(p.saveToPath, kProfilePathUnits, u"C:\\scans\\");
    text::copyBounded(p.strokeFillColor, kProfileColorUnits, u"\"}");
    p.flatbedRangeX = std::numeric_limits<double>::infinity();
    p.bwCompress = 0.5;
    p.watermarkType = 2;
    const std::string text = utf8(payload::selectedProfile(p));
    EXPECT_TRUE(json_check::valid(text)) << text;
    EXPECT_NE(text.find("\"SaveToPath\":\"C:\\\\scans\\\\\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"BWCOMPRESS\":0.500000,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"EnableWatermark\":1,"), std::string::npos) << text;
    EXPECT_EQ(text.rfind("{\"ScanType\":0,\"ScanMode\":0,", 0), 0u) << text;
}

TEST(ButtonStates, FollowTheViewer) {
    struct Row {
        payload::ViewerState s;
        const char* navigation;
        const char* zoom;
        const char* undo;
        const char* cut;
    } rows[] = {
        {{1, 0, 1, 0, false}, "0 0 0 0", "1 0 0 1", "0", "1"},
        {{0, 0, 1, 0, false}, "0 0 0 0", "1 0 0 1", "0", "1"},
        {{3, 0, 1, 1, true}, "0 0 1 1", "1 1 1 1", "1", "0"},
        {{3, 1, 1, 2, false}, "1 1 1 1", "0 1 1 0", "0", "0"},
        {{3, 2, 4, 2, false}, "1 1 0 0", "0 0 0 0", "0", "0"},
        {{2, 1, 9, 0, false}, "1 1 0 0", "0 0 0 0", "0", "0"},
    };
    auto flags = [](const std::u16string& t) {
        std::string out;
        for (char16_t c : t) {
            if (c == u'0' || c == u'1') {
                if (!out.empty()) out += ' ';
                out += static_cast<char>(c);
            }
        }
        return out;
    };
    int i = 0;
    for (const auto& row : rows) {
        EXPECT_EQ(flags(payload::navigationStatus(row.s)), row.navigation) << "row " << i;
        EXPECT_EQ(flags(payload::zoomViewStatus(row.s)), row.zoom) << "row " << i;
        EXPECT_EQ(flags(payload::undoStatus(row.s)), row.undo) << "row " << i;
        EXPECT_EQ(flags(payload::cutStatus(row.s)), row.cut) << "row " << i;
        ++i;
    }
    EXPECT_EQ(utf8(payload::navigationStatus({3, 0, 1, 0, false})),
              "{\"button_type\":\"navigation\", \"first\":0, \"prev\":0, \"next\":1, \"last\":1}");
    EXPECT_EQ(utf8(payload::zoomViewStatus({1, 0, 4, 0, false})),
              "{\"button_type\":\"zoom_view\", \"normal_view\":0, \"full_view\":0, \"zoom_out\":0, \"zoom_in\":0}");
}

}  // namespace
