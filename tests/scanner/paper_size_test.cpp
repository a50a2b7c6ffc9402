#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/path.h"
#include "platform/text.h"
#include "scanner/dociva_wrap.h"
#include "scanner_test_support.h"
#include "settings/config_impl.h"

namespace {

using testing_support::utf8;

constexpr double sp(float f) { return static_cast<double>(f); }

struct Offered {
    std::int32_t id;
    const char* name;
    double left;
    double width;
    double height;
};

SourceCapability capability(std::uint32_t source, double w, double h, double length = 0.0) {
    SourceCapability c{};
    c.source = source;
    c.maxWidth = w;
    c.maxHeight = h;
    c.maxLength = length;
    return c;
}

void expectOffers(const SourceCapability& c, const std::vector<Offered>& want) {
    PaperSizeMap sizes;
    EXPECT_EQ(CDocivaWrap::buildPaperSizes(sizes, &c), want.size());
    std::vector<std::int32_t> ids;
    for (const auto& [id, size] : sizes) ids.push_back(id);
    std::vector<std::int32_t> wantIds;
    for (const auto& w : want) wantIds.push_back(w.id);
    ASSERT_EQ(ids, wantIds);
    for (const auto& w : want) {
        SCOPED_TRACE(w.name);
        const PaperSize& got = sizes.at(w.id);
        EXPECT_EQ(utf8(got.name), w.name);
        EXPECT_EQ(got.id, w.id);
        EXPECT_DOUBLE_EQ(got.left, w.left);
        EXPECT_EQ(got.top, 0.0);
        EXPECT_EQ(got.width, w.width);
        EXPECT_EQ(got.height, w.height);
    }
}

TEST(PaperSizes, OfferedBySource) {
    const struct {
        const char* name;
        SourceCapability capability;
        std::vector<Offered> offers;
    } cases[] = {
        {"letter flatbed",
         capability(0, 8.5, 11.7),
         {{0, "Auto", 0, 0, 0},
          {1, "Multi-Auto", 0, 0, 0},
          {4, "A4", 0, sp(8.27f), sp(11.69f)},
          {7, "A5", 0, sp(8.27f), sp(5.83f)},
          {10, "B5", 0, sp(6.9f), sp(9.8f)},
          {14, "Invoice", 0, sp(8.5f), sp(5.5f)},
          {19, "Letter", 0, sp(8.5f), sp(11.0f)},
          {21, "Max", 0, 8.5, 11.7},
          {22, "Custom", 0, 0, 0}}},
        {"legal sheet feeder without long paper",
         capability(1, 8.5, 14),
         {{0, "Auto", 0, 0, 0},
          {4, "A4", (8.5 - sp(8.27f)) / 2, sp(8.27f), sp(11.69f)},
          {6, "A5", (8.5 - sp(5.83f)) / 2, sp(5.83f), sp(8.27f)},
          {10, "B5", (8.5 - sp(6.9f)) / 2, sp(6.9f), sp(9.8f)},
          {13, "Invoice", 1.5, sp(5.5f), sp(8.5f)},
          {17, "Legal", 0, sp(8.5f), sp(14.0f)},
          {19, "Letter", 0, sp(8.5f), sp(11.0f)},
          {21, "Max", 0, 8.5, 14},
          {22, "Custom", 0, 0, 0}}},
        {"tabloid flatbed takes A3 and Ledger lying",
         capability(0, 17, 11.7),
         {{0, "Auto", 0, 0, 0},
          {1, "Multi-Auto", 0, 0, 0},
          {3, "A3", 0, sp(16.5f), sp(11.7f)},
          {5, "A4", 0, sp(11.69f), sp(8.27f)},
          {7, "A5", 0, sp(8.27f), sp(5.83f)},
          {9, "B4", 0, sp(13.9f), sp(9.8f)},
          {11, "B5", 0, sp(9.8f), sp(6.9f)},
          {14, "Invoice", 0, sp(8.5f), sp(5.5f)},
          {16, "Ledger", 0, sp(17.0f), sp(11.0f)},
          {18, "Legal", 0, sp(14.0f), sp(8.5f)},
          {20, "Letter", 0, sp(11.0f), sp(8.5f)},
          {21, "Max", 0, 17, 11.7},
          {22, "Custom", 0, 0, 0}}},
        {"wide feeder turns A3 without centring it",
         capability(2, 12, 17),
         {{0, "Auto", 0, 0, 0},
          {2, "A3", 0, sp(11.7f), sp(16.5f)},
          {4, "A4", (12 - sp(8.27f)) / 2, sp(8.27f), sp(11.69f)},
          {6, "A5", (12 - sp(5.83f)) / 2, sp(5.83f), sp(8.27f)},
          {8, "B4", (12 - sp(9.8f)) / 2, sp(9.8f), sp(13.9f)},
          {10, "B5", (12 - sp(6.9f)) / 2, sp(6.9f), sp(9.8f)},
          {13, "Invoice", 3.25, sp(5.5f), sp(8.5f)},
          {15, "Ledger", 0.5, sp(11.0f), sp(17.0f)},
          {17, "Legal", 1.75, sp(8.5f), sp(14.0f)},
          {19, "Letter", 1.75, sp(8.5f), sp(11.0f)},
          {21, "Max", 0, 12, 17},
          {22, "Custom", 0, 0, 0}}},
        {"a width limit of 8.27 lies below the single-precision 8.27",
         capability(0, 8.27, 11.69),
         {{0, "Auto", 0, 0, 0},
          {1, "Multi-Auto", 0, 0, 0},
          {6, "A5", 0, sp(5.83f), sp(8.27f)},
          {10, "B5", 0, sp(6.9f), sp(9.8f)},
          {13, "Invoice", 0, sp(5.5f), sp(8.5f)},
          {21, "Max", 0, 8.27, 11.69},
          {22, "Custom", 0, 0, 0}}},
        {"long paper just above the threshold",
         capability(1, 4, 6, 0.0000011),
         {{0, "Auto", 0, 0, 0}, {21, "Max", 0, 4, 6}, {22, "Custom", 0, 0, 0}, {23, "Long Paper", 0, 4, 0.0000011}}},
        {"long paper that is the threshold in single precision",
         capability(1, 4, 6, 0.00000100000001),
         {{0, "Auto", 0, 0, 0}, {21, "Max", 0, 4, 6}, {22, "Custom", 0, 0, 0}}},
        {"flatbeds never offer long paper",
         capability(0, 4, 5, 50),
         {{0, "Auto", 0, 0, 0}, {1, "Multi-Auto", 0, 0, 0}, {21, "Max", 0, 4, 5}, {22, "Custom", 0, 0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectOffers(c.capability, c.offers);
    }
}

// The two example scanners, read from their module.ini as the SDK will.
TEST(PaperSizes, OfferedByTheExampleScanners) {
    const struct {
        const char16_t* package;
        std::vector<std::int32_t> ids;
    } cases[] = {
        {u"VirtualFlatbed", {0, 1, 4, 7, 10, 14, 19, 21, 22}},
        {u"VirtualDuplex", {0, 4, 6, 10, 13, 17, 19, 21, 22, 23}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(utf8(c.package));
        const std::u16string ini = platform::joinPath(
            scanner_testing::examplesFolder(),
            u"scanners/programdata/Corvane/" + std::u16string(c.package) + u"/driver/module.ini");
        const CConfigImpl module(ini.c_str());
        const auto number = [&](const char16_t* key) {
            return std::stod(utf8(module.getString(u"device", key, u"nan")));
        };
        const SourceCapability cap = capability(static_cast<std::uint32_t>(module.getInt(u"device", u"source", -1)),
                                                number(u"maxWidth"), number(u"maxHeight"), number(u"maxLength"));
        PaperSizeMap sizes;
        CDocivaWrap::buildPaperSizes(sizes, &cap);
        std::vector<std::int32_t> ids;
        for (const auto& [id, size] : sizes) ids.push_back(id);
        EXPECT_EQ(ids, c.ids);
    }
}

TEST(PaperSizes, WithoutCapabilityTheMapIsKept) {
    PaperSizeMap sizes;
    sizes[12].id = 12;
    EXPECT_EQ(CDocivaWrap::buildPaperSizes(sizes, nullptr), 0u);
    EXPECT_EQ(sizes.size(), 1u);
    const SourceCapability c = capability(1, 1, 1);
    EXPECT_EQ(CDocivaWrap::buildPaperSizes(sizes, &c), 3u) << "a build starts from an empty map";
    EXPECT_EQ(sizes.count(12), 0u);
}

TEST(PaperSizes, LookupById) {
    const struct {
        std::int32_t id;
        bool known;
        double width;
        double height;
    } cases[] = {
        {0, true, 0, 0},          {1, true, 0, 0},
        {2, true, sp(11.7f), sp(16.5f)},  {3, true, sp(16.5f), sp(11.7f)},
        {4, true, sp(8.27f), sp(11.69f)}, {5, true, sp(11.69f), sp(8.27f)},
        {6, true, sp(5.83f), sp(8.27f)},  {7, true, sp(8.27f), sp(5.83f)},
        {8, true, sp(9.8f), sp(13.9f)},   {9, true, sp(13.9f), sp(9.8f)},
        {10, true, sp(6.9f), sp(9.8f)},   {11, true, sp(9.8f), sp(6.9f)},
        {12, false, 0, 0},                {13, true, 5.5, 8.5},
        {14, true, 8.5, 5.5},             {15, true, 11, 17},
        {16, true, 17, 11},               {17, true, 8.5, 14},
        {18, true, 14, 8.5},              {19, true, 8.5, 11},
        {20, true, 11, 8.5},              {21, true, 0, 0},
        {22, false, 0, 0},                {23, true, 0, 0},
        {24, false, 0, 0},                {-1, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        double w = 99;
        double h = 99;
        EXPECT_EQ(CDocivaWrap::getPaperSize(c.id, w, h), c.known);
        EXPECT_EQ(w, c.known ? c.width : 99);
        EXPECT_EQ(h, c.known ? c.height : 99);
    }
    double w = 0;
    double h = 0;
    ASSERT_TRUE(CDocivaWrap::getPaperSize(5, w, h));
    EXPECT_EQ(w, 11.6899995803833);
    EXPECT_EQ(h, 8.270000457763672);
}

}  // namespace
