// What the SDK makes of a SANE device's option values and frames, without
// a device: the words backends use for sources and modes, the nearest
// resolution, and the frames of every layout SANE allows turned into one
// colour page.
#include <gtest/gtest.h>

#include <cstring>

#include "libs/dociva-sdk/sane_choices.h"

using namespace dociva_sdk;

namespace {

using Values = std::vector<std::string>;

TEST(SaneChoices, SourcesByTheBackendsWords) {
    struct Row {
        const char* name;
        Values values;
        bool hasOption;
        bool flatbed;
        Sides sides;
        const char* expected;  // null: the device has no such source
    };
    const Values test = {"Flatbed", "Automatic Document Feeder"};
    const Values duplexer = {"Flatbed", "ADF Front", "ADF Back", "ADF Duplex"};
    const Row rows[] = {
        {"flatbed of a device with both", test, true, true, Sides::Front, "Flatbed"},
        {"feeder by its long name", test, true, false, Sides::Front, "Automatic Document Feeder"},
        {"no back without a duplexer", test, true, false, Sides::Rear, nullptr},
        {"no duplex without a duplexer", test, true, false, Sides::Both, nullptr},
        {"fronts, never the duplex value", duplexer, true, false, Sides::Front, "ADF Front"},
        {"backs", duplexer, true, false, Sides::Rear, "ADF Back"},
        {"both sides", duplexer, true, false, Sides::Both, "ADF Duplex"},
        {"lower-case words", {"adf", "flatbed"}, true, false, Sides::Front, "adf"},
        {"sheet-fed only: no flatbed", {"ADF", "ADF Duplex"}, true, true, Sides::Front, nullptr},
        {"no source option is a flatbed", {}, false, true, Sides::Front, ""},
        {"and has no feeder", {}, false, false, Sides::Front, nullptr},
        {"a transparency unit is neither", {"Transparency Adapter"}, true, true, Sides::Front, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto chosen = chooseSource(row.values, row.hasOption, row.flatbed, row.sides);
        if (row.expected) {
            ASSERT_TRUE(chosen.has_value());
            EXPECT_EQ(*chosen, row.expected);
        } else {
            EXPECT_FALSE(chosen.has_value()) << *chosen;
        }
    }
    const SourceKinds k = sourceKinds(duplexer, true);
    EXPECT_TRUE(k.flatbed && k.feeder && k.back && k.duplex);
    const SourceKinds none = sourceKinds({}, false);
    EXPECT_TRUE(none.flatbed);
    EXPECT_FALSE(none.feeder || none.back || none.duplex);
}

TEST(SaneChoices, ModesFallBackOnlyToWhatStillGivesThePage) {
    struct Row {
        const char* name;
        Values values;
        ColourMode mode;
        const char* expected;
    };
    const Values all = {"Lineart", "Gray", "Color"};
    const Row rows[] = {
        {"colour", all, ColourMode::Colour, "Color"},
        {"grey", all, ColourMode::Grey, "Gray"},
        // Grey, so bwThreshold makes the line art as on every device.
        {"black and white in grey", all, ColourMode::BlackWhite, "Gray"},
        {"line art where there is no grey", {"Lineart", "Color"}, ColourMode::BlackWhite, "Lineart"},
        {"binary is line art", {"Binary"}, ColourMode::BlackWhite, "Binary"},
        {"grey from colour", {"Color"}, ColourMode::Grey, "Color"},
        {"British spelling", {"Colour", "Grey"}, ColourMode::Colour, "Colour"},
        {"no colour from a grey device", {"Lineart", "Gray"}, ColourMode::Colour, nullptr},
        {"no grey from line art", {"Lineart"}, ColourMode::Grey, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto chosen = chooseMode(row.values, true, row.mode);
        if (row.expected) {
            ASSERT_TRUE(chosen.has_value());
            EXPECT_EQ(*chosen, row.expected);
        } else {
            EXPECT_FALSE(chosen.has_value()) << *chosen;
        }
    }
    EXPECT_EQ(chooseMode({}, false, ColourMode::Colour), std::optional<std::string>(""));
}

TEST(SaneChoices, NearestResolution) {
    const std::vector<double> list = {75, 150, 300, 600};
    struct Row {
        const char* name;
        double wanted;
        double expected;
    };
    const Row listRows[] = {
        {"offered", 300, 300}, {"between, nearer below", 200, 150}, {"a tie takes the larger", 225, 300},
        {"below the least", 50, 75}, {"above the most", 1200, 600},
    };
    for (const Row& row : listRows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(nearestInList(list, row.wanted), row.expected);
    }
    EXPECT_EQ(nearestInList({}, 123), 123);
    const Row rangeRows[] = {
        {"inside, any step", 151, 151}, {"below", 10, 50}, {"above", 4000, 2400},
    };
    for (const Row& row : rangeRows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(nearestInRange(50, 2400, 0, row.wanted), row.expected);
    }
    EXPECT_EQ(nearestInRange(100, 1200, 100, 260), 300);
    EXPECT_EQ(nearestInRange(100, 1250, 100, 1250), 1200);  // the last step that fits
}

TEST(SaneChoices, ButtonsAmongTheSensors) {
    struct Row {
        const char* name;
        bool button;
    };
    // Sensor names as backends give them.
    const Row rows[] = {
        {"scan", true},          {"email", true},         {"copy", true},          {"pdf", true},
        {"file", true},          {"button-1", true},      {"Button 2", true},      {"extra", true},
        {"page-loaded", false},  {"top-edge", false},     {"a4-paper", false},     {"cover-open", false},
        {"power-save", false},   {"manual-feed", false},  {"double-feed", false},  {"omr-df", false},
        {"error-code", false},   {"adf-loaded", false},   {"need-calibration", false}, {"warming-up", false},
        {"", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(isButtonSensor(row.name), row.button);
    }
}

struct Pixel {
    int b, g, r;
};

Pixel pixelAt(TI_IMAGE image, int x, int y) {
    TI_IMAGE_INFO info{};
    info.size = sizeof info;
    EXPECT_EQ(ti_GetInfo(image, &info), TI_OK);
    const std::uint8_t* p = info.data + static_cast<std::ptrdiff_t>(y) * info.stride + 3 * x;
    return Pixel{p[0], p[1], p[2]};
}

TEST(SanePageAssembler, EveryFrameLayoutGivesTheSameColourPage) {
    // A 3 x 2 page: top row black, grey 128, white; bottom row red, green,
    // blue (grey frames see those as their luminance byte).
    std::uint16_t wide[18];
    const std::uint8_t rgb8[] = {0, 0, 0, 128, 128, 128, 255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    for (int i = 0; i < 18; ++i) wide[i] = static_cast<std::uint16_t>(rgb8[i] * 257);
    std::vector<std::uint8_t> rgb16(36);
    std::memcpy(rgb16.data(), wide, sizeof wide);

    struct Row {
        const char* name;
        std::vector<FrameLayout> layouts;
        std::vector<std::vector<std::uint8_t>> frames;
        Pixel topMiddle, bottomLeft;
    };
    auto plane = [&](int channel) {
        std::vector<std::uint8_t> out;
        for (int i = 0; i < 6; ++i) out.push_back(rgb8[3 * i + channel]);
        return out;
    };
    const Row rows[] = {
        {"8-bit RGB", {{FrameFormat::Rgb, 8, 3, 9, 2}}, {{rgb8, rgb8 + 18}}, {128, 128, 128}, {0, 0, 255}},
        {"16-bit RGB keeps the high byte", {{FrameFormat::Rgb, 16, 3, 18, 2}}, {rgb16}, {128, 128, 128}, {0, 0, 255}},
        {"padded lines of unknown count", {{FrameFormat::Rgb, 8, 3, 12, -1}},
         {{0, 0, 0, 128, 128, 128, 255, 255, 255, 9, 9, 9, 255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9}},
         {128, 128, 128}, {0, 0, 255}},
        {"three passes, blue first",
         {{FrameFormat::Blue, 8, 3, 3, 2}, {FrameFormat::Red, 8, 3, 3, 2}, {FrameFormat::Green, 8, 3, 3, 2}},
         {plane(2), plane(0), plane(1)}, {128, 128, 128}, {0, 0, 255}},
        {"8-bit grey", {{FrameFormat::Gray, 8, 3, 3, 2}}, {{0, 128, 255, 76, 150, 29}}, {128, 128, 128}, {76, 76, 76}},
        // A set bit is black: 010 then 101.
        {"1-bit grey", {{FrameFormat::Gray, 1, 3, 1, 2}}, {{0x40, 0xA0}}, {0, 0, 0}, {0, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PageAssembler page;
        for (std::size_t i = 0; i < row.layouts.size(); ++i)
            ASSERT_TRUE(page.addFrame(row.layouts[i], row.frames[i]));
        ImageOwner image = page.finish(150);
        ASSERT_TRUE(image);
        const TI_IMAGE_INFO info = imageLayout(image.get());
        EXPECT_EQ(info.width, 3);
        EXPECT_EQ(info.height, 2);
        EXPECT_EQ(info.pixelFormat, TI_BGR24);
        EXPECT_EQ(info.xDpi, 150);
        const Pixel top = pixelAt(image.get(), 1, 0);
        const Pixel bottom = pixelAt(image.get(), 0, 1);
        EXPECT_EQ(top.b, row.topMiddle.b);
        EXPECT_EQ(top.r, row.topMiddle.r);
        EXPECT_EQ(bottom.b, row.bottomLeft.b);
        EXPECT_EQ(bottom.g, row.bottomLeft.g);
        EXPECT_EQ(bottom.r, row.bottomLeft.r);
    }
}

TEST(SanePageAssembler, RefusesWhatItCannotRead) {
    struct Row {
        const char* name;
        FrameLayout layout;
        std::size_t bytes;
    };
    const Row rows[] = {
        {"lines shorter than their pixels", {FrameFormat::Rgb, 8, 4, 9, 1}, 9},
        {"a part of a line", {FrameFormat::Gray, 8, 4, 4, -1}, 6},
        {"fewer lines than told", {FrameFormat::Gray, 8, 4, 4, 3}, 8},
        {"no lines at all", {FrameFormat::Gray, 8, 4, 4, -1}, 0},
        {"4-bit samples", {FrameFormat::Gray, 4, 4, 2, 1}, 2},
        {"1-bit colour", {FrameFormat::Rgb, 1, 8, 3, 1}, 3},
        {"no width", {FrameFormat::Gray, 8, 0, 4, 1}, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PageAssembler page;
        EXPECT_FALSE(page.addFrame(row.layout, std::vector<std::uint8_t>(row.bytes, 0)));
        EXPECT_FALSE(page.finish(100));
    }
    // A later frame of another size belongs to no page of the first.
    PageAssembler page;
    ASSERT_TRUE(page.addFrame({FrameFormat::Red, 8, 2, 2, 2}, std::vector<std::uint8_t>(4, 0)));
    EXPECT_FALSE(page.addFrame({FrameFormat::Green, 8, 3, 3, 2}, std::vector<std::uint8_t>(6, 0)));
}

}  // namespace
