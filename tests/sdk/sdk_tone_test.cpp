// Tone and colour drop-out, on pages drawn here whose every pixel is known.
#include <gtest/gtest.h>

#include <string>

#include "libs/dociva-sdk/page_processing.h"
#include "libs/dociva-sdk/page_tone.h"
#include "libs/dociva-sdk/scan_options.h"
#include "sdk/page_test_support.h"

using dociva_sdk::DropOut;
using dociva_sdk::ImageOwner;
using dociva_sdk::Tone;
using namespace page_testing;

namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 160;

// A photo-like page: every level from dark to light, and colour.
ImageOwner gradientPage(int format) {
    return drawPage(kWidth, kHeight, format, 200, [](int x, int y) {
        return Rgb{static_cast<std::uint8_t>(x * 255 / (kWidth - 1)), static_cast<std::uint8_t>(y * 255 / (kHeight - 1)),
                   static_cast<std::uint8_t>((x + y) % 256)};
    });
}

ImageOwner copyOf(TI_IMAGE page) { return ImageOwner(ti_CloneImage(page)); }

// A form printed in one ink (ruled lines every 20 rows, boxes), with black
// handwriting (a diagonal stroke) across it; the paper is off-white.
const Rgb kPaper{250, 248, 240};
const Rgb kHandwriting{20, 20, 30};
bool isRule(int x, int y) { return y % 20 < 2 || (x % 60 < 2 && y > 40); }
bool isWriting(int x, int y) { return std::abs((y - 30) - (x - 30) / 2) < 2 && x > 30 && x < 200; }
ImageOwner formPage(Rgb ink, int format = TI_BGR24) {
    return drawPage(kWidth, kHeight, format, 200, [ink](int x, int y) {
        if (isWriting(x, y)) return kHandwriting;
        if (isRule(x, y)) return ink;
        return kPaper;
    });
}

struct FormResult {
    int formLeft = 0;      // rule pixels darker than the paper by more than 40
    int writingLost = 0;   // writing pixels lighter than 100
    int rulePixels = 0;
    int writingPixels = 0;
};

FormResult measureForm(TI_IMAGE page) {
    FormResult r;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int v = pixelAt(page, x, y).g;
            if (isWriting(x, y)) {
                ++r.writingPixels;
                if (v > 100) ++r.writingLost;
            } else if (isRule(x, y)) {
                ++r.rulePixels;
                if (v < 200) ++r.formLeft;
            }
        }
    }
    return r;
}

TEST(SdkTone, OneHundredChangesNothingAndCostsNothing) {
    for (int format : {TI_GRAY8, TI_BGR24}) {
        SCOPED_TRACE("format " + std::to_string(format));
        ImageOwner page = gradientPage(format);
        ImageOwner before = copyOf(page.get());
        const TI_IMAGE handle = page.get();
        ImageOwner out = dociva_sdk::toned(std::move(page), Tone{});
        // Off means the same image handed back, not a copy of it.
        EXPECT_EQ(out.get(), handle);
        EXPECT_TRUE(samePixels(out.get(), before.get()));

        // A record that leaves tone and drop-out unset, through the whole
        // processing of a side.
        dociva_sdk::ScanOptions options;
        bool blank = false;
        ImageOwner processed = dociva_sdk::processSide(copyOf(before.get()), options, blank);
        ASSERT_TRUE(processed);
        EXPECT_TRUE(samePixels(processed.get(), before.get()));
    }
}

TEST(SdkTone, EachValueMovesTheLevelsTheExpectedWay) {
    struct Row {
        const char* name;
        Tone tone;
        int meanDirection;       // -1 darker, 0 about the same, +1 lighter
        int deviationDirection;  // -1 flatter, 0 about the same, +1 more spread
    };
    const Row rows[] = {
        {"gamma 150 lightens mid-tones", {150, 100, 100}, +1, 0},
        {"gamma 60 darkens mid-tones", {60, 100, 100}, -1, 0},
        {"brightness 130", {100, 130, 100}, +1, 0},
        {"brightness 70", {100, 70, 100}, -1, 0},
        {"contrast 150", {100, 100, 150}, 0, +1},
        {"contrast 50", {100, 100, 50}, 0, -1},
        {"brightness 0 is black", {100, 0, 100}, -1, -1},
    };
    for (int format : {TI_GRAY8, TI_BGR24}) {
        const Levels before = levelsOf(gradientPage(format).get());
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + ", format " + std::to_string(format));
            ImageOwner out = dociva_sdk::toned(gradientPage(format), row.tone);
            ASSERT_TRUE(out);
            const Levels after = levelsOf(out.get());
            if (row.meanDirection > 0) {
                EXPECT_GT(after.mean, before.mean + 5);
            } else if (row.meanDirection < 0) {
                EXPECT_LT(after.mean, before.mean - 5);
            } else {
                EXPECT_NEAR(after.mean, before.mean, 3);
            }
            if (row.deviationDirection > 0) {
                EXPECT_GT(after.deviation, before.deviation + 5);
            } else if (row.deviationDirection < 0) {
                EXPECT_LT(after.deviation, before.deviation - 5);
            }
        }
    }
}

TEST(SdkTone, RecordValuesBecomeOurRange) {
    struct Row {
        int gamma, brightness, contrast;
        Tone expected;
    };
    // Not set (-1) and 0 leave the page alone; the rest is clamped.
    const Row rows[] = {
        {-1, -1, -1, {100, 100, 100}}, {0, 0, 0, {100, 100, 100}},     {150, 120, 80, {150, 120, 80}},
        {5, 500, 300, {10, 200, 200}},  {5000, 1, 1, {1000, 1, 1}},
    };
    dociva_sdk::DeviceDescription device;
    device.hasFeeder = true;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.gamma) + "/" + std::to_string(row.brightness) + "/" +
                     std::to_string(row.contrast));
        ScanSettings s;
        s.scanType = 1;
        s.gamma = row.gamma;
        s.brightness = row.brightness;
        s.contrast = row.contrast;
        dociva_sdk::ScanOptions o;
        ASSERT_EQ(dociva_sdk::readScanOptions(s, device, o), dociva_sdk::OptionsResult::Ok);
        EXPECT_EQ(o.tone.gamma, row.expected.gamma);
        EXPECT_EQ(o.tone.brightness, row.expected.brightness);
        EXPECT_EQ(o.tone.contrast, row.expected.contrast);
    }
}

TEST(SdkDropOut, TheFormInTheDroppedColourGoesAndTheWritingStays) {
    struct Row {
        const char* name;
        Rgb ink;
        DropOut channel;
        bool formGone;
    };
    const Row rows[] = {
        {"red form, red dropped", {235, 40, 45}, DropOut::Red, true},
        {"green form, green dropped", {40, 225, 60}, DropOut::Green, true},
        {"blue form, blue dropped", {50, 60, 240}, DropOut::Blue, true},
        {"red form, blue dropped: the form stays", {235, 40, 45}, DropOut::Blue, false},
        {"blue form, red dropped: the form stays", {50, 60, 240}, DropOut::Red, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ImageOwner out = dociva_sdk::droppedOut(formPage(row.ink), row.channel);
        ASSERT_TRUE(out);
        EXPECT_EQ(dociva_sdk::imageLayout(out.get()).pixelFormat, TI_GRAY8);
        const FormResult r = measureForm(out.get());
        ASSERT_GT(r.rulePixels, 500);
        ASSERT_GT(r.writingPixels, 300);
        EXPECT_EQ(r.writingLost, 0);
        EXPECT_EQ(r.formLeft, row.formGone ? 0 : r.rulePixels);
    }
}

TEST(SdkDropOut, ThroughTheSidesProcessingInEveryColourMode) {
    struct Row {
        const char* name;
        dociva_sdk::ColourMode mode;
        int colorDropOut;
        bool formGone;
    };
    const Row rows[] = {
        {"black and white, red dropped", dociva_sdk::ColourMode::BlackWhite, 1, true},
        {"grey, red dropped", dociva_sdk::ColourMode::Grey, 1, true},
        {"colour, red dropped: the page comes out grey", dociva_sdk::ColourMode::Colour, 1, true},
        {"black and white, no drop-out", dociva_sdk::ColourMode::BlackWhite, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        dociva_sdk::ScanOptions o;
        o.colour = row.mode;
        o.dropOut = dociva_sdk::dropOutOf(row.colorDropOut);
        bool blank = false;
        ImageOwner out = dociva_sdk::processSide(formPage({235, 40, 45}), o, blank);
        ASSERT_TRUE(out);
        const FormResult r = measureForm(out.get());
        EXPECT_EQ(r.writingLost, 0);
        EXPECT_EQ(r.formLeft, row.formGone ? 0 : r.rulePixels);
    }
}

TEST(SdkDropOut, AGreyPageIsLeftAsItIs) {
    ImageOwner page = formPage({235, 40, 45}, TI_GRAY8);
    ImageOwner before = copyOf(page.get());
    ImageOwner out = dociva_sdk::droppedOut(std::move(page), DropOut::Red);
    ASSERT_TRUE(out);
    EXPECT_TRUE(samePixels(out.get(), before.get()));
}

}  // namespace
