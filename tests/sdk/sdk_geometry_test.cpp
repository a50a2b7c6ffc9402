// Automatic size and deskew on pages drawn here at 300 dpi, turned by
// known angles, on white or on a dark background, measured afterwards by
// the page's own ruled lines.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "libs/dociva-sdk/page_geometry.h"
#include "libs/dociva-sdk/page_processing.h"
#include "sdk/page_test_support.h"

using dociva_sdk::ImageOwner;
using namespace page_testing;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kDpi = 300;
// The page: 4.25 x 5.5 inches, ruled lines 6 pixels thick at 150 pixels
// from the top and bottom, lines of words between them, 100-pixel margins.
constexpr int kPageW = 1275;
constexpr int kPageH = 1650;
constexpr int kMargin = 100;
constexpr int kRuleY = 150;
constexpr int kRuleThickness = 6;
constexpr std::uint8_t kPaper = 245;
constexpr std::uint8_t kInk = 30;

// The upright page, one byte a pixel.
const std::vector<std::uint8_t>& uprightPage() {
    static const std::vector<std::uint8_t> page = [] {
        std::vector<std::uint8_t> p(static_cast<std::size_t>(kPageW) * kPageH, kPaper);
        auto set = [&](int x, int y) { p[static_cast<std::size_t>(y) * kPageW + x] = kInk; };
        for (int y : {kRuleY, kPageH - kRuleY - kRuleThickness})
            for (int dy = 0; dy < kRuleThickness; ++dy)
                for (int x = kMargin; x < kPageW - kMargin; ++x) set(x, y + dy);
        unsigned seed = 7;
        for (int line = kRuleY + 100; line < kPageH - kRuleY - 100; line += 40) {
            int x = kMargin;
            while (true) {
                seed = seed * 1103515245u + 12345u;
                const int word = 40 + static_cast<int>((seed >> 16) % 120);
                if (x + word > kPageW - kMargin) break;
                for (int y = line; y < line + 22; ++y)
                    for (int dx = 0; dx < word; ++dx) set(x + dx, y);
                x += word + 25;
            }
        }
        return p;
    }();
    return page;
}

// The page turned clockwise by degrees about its centre, whose centre
// lands at (cx, cy) of a canvas of width x height; what the page does not
// cover is background(x, y). Bilinear, as a scanner's optics blur.
template <typename Background>
ImageOwner turnedPage(double degrees, int width, int height, double cx, double cy, Background background) {
    const std::vector<std::uint8_t>& page = uprightPage();
    const double r = degrees * kPi / 180.0;
    const double c = std::cos(r), s = std::sin(r);
    return drawPage(width, height, TI_BGR24, kDpi, [&](int x, int y) {
        const double qx = x - cx, qy = y - cy;
        // Back into the upright page.
        const double px = c * qx + s * qy + kPageW / 2.0 - 0.5;
        const double py = -s * qx + c * qy + kPageH / 2.0 - 0.5;
        if (px < 0 || py < 0 || px > kPageW - 1 || py > kPageH - 1) return background(x, y);
        const int x0 = static_cast<int>(px), y0 = static_cast<int>(py);
        const int x1 = std::min(x0 + 1, kPageW - 1), y1 = std::min(y0 + 1, kPageH - 1);
        const double fx = px - x0, fy = py - y0;
        auto at = [&](int xx, int yy) { return static_cast<double>(page[static_cast<std::size_t>(yy) * kPageW + xx]); };
        const double v = (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) + (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
        const auto g = static_cast<std::uint8_t>(std::lround(v));
        return Rgb{g, g, g};
    });
}

Rgb white(int, int) { return Rgb{255, 255, 255}; }
// A scanner's dark background, not quite even.
Rgb darkBackground(int x, int y) {
    const auto v = static_cast<std::uint8_t>(18 + (x * 7 + y * 13) % 11);
    return Rgb{v, v, static_cast<std::uint8_t>(v + 4)};
}

struct Rule {
    bool found = false;
    double angle = 0.0;  // clockwise, degrees
    double top = 0.0;    // the rule's upper edge at the picture's middle column
    int left = -1;       // the rule's first column, at its middle row
    int right = -1;      // columns after its last one, at its middle row
    int bottom = -1;     // rows below the lower rule, at the middle column
};

// The upper ruled line as the picture shows it: per column of the middle
// half, the first dark run from the top (the rule), its upper edge with
// sub-pixel precision; a straight line through them.
Rule upperRule(TI_IMAGE picture) {
    const TI_IMAGE_INFO info = dociva_sdk::imageLayout(picture);
    std::vector<double> xs, ys;
    for (int x = info.width / 4; x < info.width * 3 / 4; x += 4) {
        int y = 0;
        while (y < info.height && pixelAt(picture, x, y).g >= 128) ++y;
        if (y == 0 || y >= info.height) continue;
        // Where the level crossed the middle between paper and ink.
        const double above = pixelAt(picture, x, y - 1).g, below = pixelAt(picture, x, y).g;
        const double mid = (kPaper + kInk) / 2.0;
        xs.push_back(x);
        ys.push_back(y - 1 + (above - mid) / std::max(1.0, above - below));
    }
    Rule r;
    if (xs.size() < 20) return r;
    double mx = 0, my = 0;
    for (std::size_t i = 0; i < xs.size(); ++i) mx += xs[i], my += ys[i];
    mx /= xs.size(), my /= ys.size();
    double sxy = 0, sxx = 0;
    for (std::size_t i = 0; i < xs.size(); ++i) sxy += (xs[i] - mx) * (ys[i] - my), sxx += (xs[i] - mx) * (xs[i] - mx);
    const double slope = sxy / sxx;
    r.found = true;
    r.angle = std::atan(slope) * 180.0 / kPi;
    r.top = my + slope * (info.width / 2.0 - mx);
    const int row = static_cast<int>(std::lround(r.top)) + kRuleThickness / 2;
    for (int x = 0; x < info.width / 2 && row >= 0 && row < info.height; ++x)
        if (pixelAt(picture, x, row).g < 128) {
            r.left = x;
            break;
        }
    for (int x = info.width - 1; x >= info.width / 2 && row >= 0 && row < info.height; --x)
        if (pixelAt(picture, x, row).g < 128) {
            r.right = info.width - 1 - x;
            break;
        }
    for (int y = info.height - 1; y >= info.height / 2; --y)
        if (pixelAt(picture, info.width / 2, y).g < 128) {
            r.bottom = info.height - 1 - y;
            break;
        }
    return r;
}

TEST(SdkAutoSize, TextPagesTurnedUpToSevenDegreesComeOutStraight) {
    const double angles[] = {-7.0, -5.0, -3.0, -1.5, -0.5, 0.0, 0.5, 1.5, 3.0, 5.0, 7.0};
    for (double angle : angles) {
        SCOPED_TRACE("turned " + std::to_string(angle) + " degrees, no background");
        ImageOwner scan = turnedPage(angle, kPageW, kPageH, kPageW / 2.0, kPageH / 2.0, white);
        const Rule before = upperRule(scan.get());
        ASSERT_TRUE(before.found);
        ASSERT_NEAR(before.angle, angle, 0.2);  // the measure itself
        ImageOwner out = dociva_sdk::autoSized(std::move(scan), kDpi);
        ASSERT_TRUE(out);
        const TI_IMAGE_INFO info = dociva_sdk::imageLayout(out.get());
        // No background: the size stays.
        EXPECT_EQ(info.width, kPageW);
        EXPECT_EQ(info.height, kPageH);
        const Rule after = upperRule(out.get());
        ASSERT_TRUE(after.found);
#if DOCIVA_HAVE_PAGE_TEXT
        EXPECT_NEAR(after.angle, 0.0, 0.2);
#else
        // Without a reader of the content's skew the page stays as it is.
        EXPECT_NEAR(after.angle, angle, 0.2);
#endif
    }
}

TEST(SdkAutoSize, APageOnADarkBackgroundIsStraightenedAndCroppedToItsEdges) {
    struct Row {
        double angle;
        double cx, cy;  // where the page's centre lies on the scan
    };
    const Row rows[] = {
        {0.0, 850, 1050},  {0.0, 700, 1000},  {-7.0, 850, 1050}, {7.0, 850, 1050}, {-3.0, 800, 1100},
        {2.0, 900, 1000},  {0.5, 850, 1050},  {-0.5, 830, 1060}, {5.0, 870, 1040},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("turned " + std::to_string(row.angle) + " degrees, centre at " + std::to_string(row.cx) + "," +
                     std::to_string(row.cy));
        ImageOwner scan = turnedPage(row.angle, 1700, 2100, row.cx, row.cy, darkBackground);
        const std::optional<dociva_sdk::PageOutline> outline = dociva_sdk::findPageOnBackground(scan.get());
        ASSERT_TRUE(outline.has_value());
        EXPECT_NEAR(outline->skew, row.angle, 0.2);
        ImageOwner out = dociva_sdk::autoSized(std::move(scan), kDpi);
        ASSERT_TRUE(out);
        const TI_IMAGE_INFO info = dociva_sdk::imageLayout(out.get());
        EXPECT_EQ(info.xDpi, kDpi);
        const Rule rule = upperRule(out.get());
        ASSERT_TRUE(rule.found);
        EXPECT_NEAR(rule.angle, 0.0, 0.2);
        // Each edge where the page's own is: the rules' distances from the
        // edges come back, and so does the size.
        EXPECT_NEAR(rule.top, kRuleY, 3);
        EXPECT_NEAR(rule.bottom, kRuleY, 3);
        EXPECT_NEAR(rule.left, kMargin, 3);
        EXPECT_NEAR(rule.right, kMargin, 3);
        EXPECT_NEAR(info.width, kPageW, 6);
        EXPECT_NEAR(info.height, kPageH, 6);
        // No strip of background is left along any edge: at most a few
        // pixels by the corners, where the page's blurred corner lies.
        struct Edge {
            const char* name;
            int x0, y0, dx, dy, length;
        };
        const Edge edges[] = {{"top", 0, 0, 1, 0, info.width},
                              {"bottom", 0, info.height - 1, 1, 0, info.width},
                              {"left", 0, 0, 0, 1, info.height},
                              {"right", info.width - 1, 0, 0, 1, info.height}};
        for (const Edge& e : edges) {
            int dark = 0, darkInMiddle = 0;
            for (int i = 0; i < e.length; ++i) {
                const bool isDark = pixelAt(out.get(), e.x0 + e.dx * i, e.y0 + e.dy * i).g < 128;
                dark += isDark;
                darkInMiddle += isDark && i >= 20 && i < e.length - 20;
            }
            EXPECT_EQ(darkInMiddle, 0) << e.name;
            EXPECT_LE(dark, 20) << e.name;
        }
    }
}

TEST(SdkAutoSize, PagesThatShowNeitherEdgesNorTextStayAsTheyAre) {
    struct Row {
        const char* name;
        std::function<Rgb(int, int)> paint;
    };
    const Row rows[] = {
        {"a photo", [](int x, int y) {
             return Rgb{static_cast<std::uint8_t>(x * 255 / 900), static_cast<std::uint8_t>(y * 255 / 1200),
                        static_cast<std::uint8_t>((x + y) / 10 % 256)};
         }},
        {"an empty page", [](int, int) { return Rgb{250, 250, 250}; }},
        {"an all-dark scan", [](int x, int y) { return darkBackground(x, y); }},
        {"a dark photograph with light specks to its edges", [](int x, int y) {
             const unsigned cell = static_cast<unsigned>(x / 9) * 7919u + static_cast<unsigned>(y / 9) * 104729u;
             return (cell * 2654435761u >> 13) % 6 == 0 ? Rgb{230, 220, 200} : darkBackground(x, y);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ImageOwner page = drawPage(900, 1200, TI_BGR24, kDpi, row.paint);
        ImageOwner before(ti_CloneImage(page.get()));
        const TI_IMAGE handle = page.get();
        EXPECT_FALSE(dociva_sdk::findPageOnBackground(page.get()).has_value());
        ImageOwner out = dociva_sdk::autoSized(std::move(page), kDpi);
        EXPECT_EQ(out.get(), handle);
        EXPECT_TRUE(samePixels(out.get(), before.get()));
    }
}

TEST(SdkAutoSize, AppliedBeforeTheBlankPageTest) {
    // A blank page on a wide dark background is all "ink" until it is
    // cropped: judged after cropping, it is blank.
    dociva_sdk::ScanOptions o;
    o.dpi = kDpi;
    o.dropBlankPages = true;
    for (bool autoSize : {false, true}) {
        SCOPED_TRACE(autoSize ? "autoSize on" : "autoSize off");
        o.autoSize = autoSize;
        ImageOwner scan = drawPage(1200, 1500, TI_BGR24, kDpi, [](int x, int y) {
            const bool paper = x >= 200 && x < 1000 && y >= 250 && y < 1250;
            return paper ? Rgb{248, 248, 248} : darkBackground(x, y);
        });
        bool blank = false;
        ImageOwner out = dociva_sdk::processSide(std::move(scan), o, blank);
        EXPECT_EQ(blank, autoSize);
        EXPECT_EQ(static_cast<bool>(out), !autoSize);
    }
}

}  // namespace
