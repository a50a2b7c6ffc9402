// Punch-hole removal on pages drawn at 300 dpi with holes (dark discs of
// the scanner's background) beside lines of text, and with round things
// that are not holes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "libs/dociva-sdk/page_holes.h"
#include "libs/dociva-sdk/page_processing.h"
#include "sdk/page_test_support.h"

using dociva_sdk::ImageOwner;
using namespace page_testing;

namespace {

constexpr int kDpi = 300;
constexpr int kW = 1275;
constexpr int kH = 1650;
const Rgb kPaperColour{246, 244, 236};

double millimetres(double mm) { return mm * kDpi / 25.4; }

struct Disc {
    double x, y, radius;
    bool ring = false;  // a letter O: only its outline is dark
};

// Coverage of a pixel by a disc (or ring), 0..1, from 4 x 4 samples: the
// soft edge a scanner's optics give.
double coverage(const Disc& d, int x, int y) {
    const double centre = std::hypot(x - d.x, y - d.y);
    if (centre > d.radius + 1.0) return 0.0;
    if (!d.ring && centre < d.radius - 1.0) return 1.0;
    int inside = 0;
    for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
            const double r = std::hypot(x + (sx + 0.5) / 4 - 0.5 - d.x, y + (sy + 0.5) / 4 - 0.5 - d.y);
            inside += d.ring ? (r <= d.radius && r >= d.radius * 0.75) : r <= d.radius;
        }
    return inside / 16.0;
}

bool isText(int x, int y) {
    // Lines of words 25 mm in from the sides, one every 40 pixels, the first
    // at 30 mm.
    const int left = static_cast<int>(millimetres(25));
    if (x < left || x >= kW - left || y < millimetres(30) || y >= kH - 120) return false;
    const int line = (y - static_cast<int>(millimetres(30))) % 40;
    const int word = (x - left) % 130;
    return line < 22 && word < 100;
}

ImageOwner pageWith(const std::vector<Disc>& discs, int format) {
    return drawPage(kW, kH, format, kDpi, [&](int x, int y) {
        if (isText(x, y)) return Rgb{25, 25, 25};
        double c = 0.0;
        for (const Disc& d : discs) c = std::max(c, coverage(d, x, y));
        auto mix = [c](std::uint8_t paper, std::uint8_t dark) {
            return static_cast<std::uint8_t>(std::lround(paper * (1 - c) + dark * c));
        };
        return Rgb{mix(kPaperColour.r, 18), mix(kPaperColour.g, 18), mix(kPaperColour.b, 22)};
    });
}

// Holes 6 mm across, 12 mm from the edge, spaced as punches space them.
std::vector<Disc> holes(const char* edge, int count) {
    std::vector<Disc> out;
    const double r = millimetres(3), in = millimetres(12);
    const double spacing = count == 2 ? millimetres(80) : millimetres(28);
    const bool left = std::string(edge) == "left";
    const double middle = (left ? kH : kW) / 2.0;
    for (int i = 0; i < count; ++i) {
        const double along = middle + (i - (count - 1) / 2.0) * spacing;
        out.push_back(left ? Disc{in, along, r} : Disc{along, in, r});
    }
    return out;
}

TEST(SdkPunchHoles, HolesAtTheLeftAndTopAreGoneAndTheTextBesideThemStays) {
    struct Row {
        const char* name;
        std::vector<Disc> discs;
        int format;
    };
    const Row rows[] = {
        {"two at the left", holes("left", 2), TI_BGR24},
        {"four at the left", holes("left", 4), TI_BGR24},
        {"two at the top", holes("top", 2), TI_BGR24},
        {"four at the top", holes("top", 4), TI_GRAY8},
        {"two at the right, 5 mm", {{kW - millimetres(10), 600, millimetres(2.5)}, {kW - millimetres(10), 1000, millimetres(2.5)}},
         TI_BGR24},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ImageOwner page = pageWith(row.discs, row.format);
        ImageOwner before(ti_CloneImage(page.get()));
        EXPECT_EQ(dociva_sdk::findPunchHoles(page.get(), kDpi).size(), row.discs.size());
        dociva_sdk::ScanOptions o;
        o.dpi = kDpi;
        o.erasePunchHoles = true;
        bool blank = false;
        ImageOwner out = dociva_sdk::processSide(std::move(page), o, blank);
        ASSERT_TRUE(out);
        int darkLeft = 0, changedOutside = 0, textChanged = 0;
        const Pixels after(out.get()), original(before.get());
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                bool nearHole = false, onHole = false;
                for (const Disc& d : row.discs) {
                    const double r = std::hypot(x - d.x, y - d.y);
                    onHole = onHole || r <= d.radius + 2;
                    nearHole = nearHole || r <= d.radius + 12;
                }
                const Rgb a = after.at(x, y), b = original.at(x, y);
                const bool same = a.r == b.r && a.g == b.g && a.b == b.b;
                if (onHole && a.g < 200) ++darkLeft;
                if (!nearHole && !same) ++changedOutside;
                if (isText(x, y) && !same) ++textChanged;
            }
        }
        EXPECT_EQ(darkLeft, 0);        // no dark blob remains
        EXPECT_EQ(changedOutside, 0);  // nothing else is touched
        EXPECT_EQ(textChanged, 0);
        // Filled with the paper's colour.
        for (const Disc& d : row.discs) {
            const Rgb c = pixelAt(out.get(), static_cast<int>(d.x), static_cast<int>(d.y));
            EXPECT_NEAR(c.g, kPaperColour.g, 3);
            if (row.format == TI_BGR24) {
                EXPECT_NEAR(c.b, kPaperColour.b, 3);
            }
        }
    }
}

TEST(SdkPunchHoles, RoundThingsThatAreNoHolesStay) {
    struct Row {
        const char* name;
        Disc disc;
    };
    const Row rows[] = {
        {"a letter O at the edge", {millimetres(12), 800, millimetres(3), true}},
        {"a bullet of 2 mm", {millimetres(12), 800, millimetres(1)}},
        {"a round logo of 20 mm", {millimetres(20), 800, millimetres(10)}},
        {"a disc in the middle of the page", {kW / 2.0, kH / 2.0 + 10, millimetres(3)}},
        {"a half hole cut by the edge", {0.0, 800, millimetres(3)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ImageOwner page = pageWith({row.disc}, TI_BGR24);
        ImageOwner before(ti_CloneImage(page.get()));
        EXPECT_TRUE(dociva_sdk::findPunchHoles(page.get(), kDpi).empty());
        ImageOwner out = dociva_sdk::punchHolesErased(std::move(page), kDpi);
        ASSERT_TRUE(out);
        EXPECT_TRUE(samePixels(out.get(), before.get()));
    }
}

TEST(SdkPunchHoles, AHoledEmptyPageCountsAsBlank) {
    dociva_sdk::ScanOptions o;
    o.dpi = kDpi;
    o.dropBlankPages = true;
    for (bool erase : {false, true}) {
        SCOPED_TRACE(erase ? "holes erased" : "holes kept");
        o.erasePunchHoles = erase;
        // Four big holes, and no text: about 0.6 % of the page is dark.
        std::vector<Disc> discs = holes("left", 4);
        for (Disc& d : discs) d.radius = millimetres(4);
        ImageOwner page = drawPage(kW, kH, TI_BGR24, kDpi, [&](int x, int y) {
            for (const Disc& d : discs)
                if (std::hypot(x - d.x, y - d.y) <= d.radius) return Rgb{18, 18, 22};
            return kPaperColour;
        });
        bool blank = false;
        ImageOwner out = dociva_sdk::processSide(std::move(page), o, blank);
        EXPECT_EQ(blank, erase);
    }
}

}  // namespace
