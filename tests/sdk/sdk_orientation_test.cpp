// Automatic orientation: pages of text set in Leptonica's own bitmap font
// at 300 dpi, turned by quarter turns, come out upright; pages without
// text stay as they are.
#include <gtest/gtest.h>

#include <string>

#include "libs/dociva-sdk/page_processing.h"
#include "libs/dociva-sdk/page_text.h"
#include "sdk/page_test_support.h"

#if DOCIVA_HAVE_PAGE_TEXT
#include <leptonica/allheaders.h>
#endif

using dociva_sdk::ImageOwner;
using namespace page_testing;

namespace {

constexpr int kDpi = 300;

ImageOwner photoPage() {
    return drawPage(900, 1200, TI_BGR24, kDpi, [](int x, int y) {
        return Rgb{static_cast<std::uint8_t>(x * 255 / 900), static_cast<std::uint8_t>(y * 255 / 1200),
                   static_cast<std::uint8_t>((x + y) / 10 % 256)};
    });
}

ImageOwner quarterTurned(TI_IMAGE page, int clockwise) {
    if (clockwise == 0) return ImageOwner(ti_CloneImage(page));
    const TI_IMAGE_INFO info = dociva_sdk::imageLayout(page);
    const bool swap = clockwise != 180;
    ImageOwner out(ti_CreateImage2(swap ? info.height : info.width, swap ? info.width : info.height, info.pixelFormat,
                                   kDpi, kDpi));
    // The toolkit turns counter-clockwise.
    EXPECT_EQ(ti_Orientate(page, out.get(), 360 - clockwise), TI_OK);
    return out;
}

TEST(SdkOrientation, APhotoAndAnEmptyPageStayAsTheyAre) {
    const ImageOwner pages[] = {photoPage(), drawPage(900, 1200, TI_GRAY8, kDpi, [](int, int) { return Rgb{}; })};
    for (const ImageOwner& page : pages) {
        for (int turn : {0, 90, 180, 270}) {
            SCOPED_TRACE("turned " + std::to_string(turn));
            ImageOwner scan = quarterTurned(page.get(), turn);
            EXPECT_EQ(dociva_sdk::uprightTurn(scan.get()), 0);
            dociva_sdk::ScanOptions o;
            o.autoOrient = true;
            bool blank = false;
            ImageOwner out = dociva_sdk::processSide(quarterTurned(page.get(), turn), o, blank);
            ASSERT_TRUE(out);
            EXPECT_TRUE(samePixels(out.get(), scan.get()));
        }
    }
}

#if DOCIVA_HAVE_PAGE_TEXT

const char kText[] =
    "The quick brown fox jumps over the lazy dog while the judge quietly explains why paying the "
    "bill by Friday keeps everybody happy. Please find enclosed the signed agreement, the delivery "
    "note and a copy of the invoice for the goods shipped in July; any question about the quantity "
    "or the payment terms may be addressed to our accounting department, which replies within "
    "three working days. Thank you for your kind cooperation and your prompt reply.";

// A letter-like page: paragraphs of text set in Leptonica's bitmap font.
ImageOwner letterPage() {
    struct BmfRelease {
        void operator()(L_BMF* b) const { bmfDestroy(&b); }
    };
    struct PixRelease {
        void operator()(PIX* p) const { pixDestroy(&p); }
    };
    std::unique_ptr<L_BMF, BmfRelease> font(bmfCreate(nullptr, 10));
    std::unique_ptr<PIX, PixRelease> pix(pixCreate(1700, 2200, 1));
    if (!font || !pix) return {};
    for (int block = 0; block < 6; ++block) {
        l_int32 overflow = 0;
        pixSetTextblock(pix.get(), font.get(), kText, 1, 150, 150 + block * 340, 1400, 0, &overflow);
    }
    const l_uint32* words = pixGetData(pix.get());
    const int wpl = pixGetWpl(pix.get());
    return drawPage(1700, 2200, TI_GRAY8, kDpi, [&](int x, int y) {
        const bool ink = GET_DATA_BIT(words + static_cast<std::ptrdiff_t>(y) * wpl, x);
        return ink ? Rgb{10, 10, 10} : Rgb{250, 250, 250};
    });
}

TEST(SdkOrientation, ATextPageComesOutUprightFromEachQuarterTurn) {
    ImageOwner upright = letterPage();
    ASSERT_TRUE(upright);
    for (int turn : {0, 90, 180, 270}) {
        SCOPED_TRACE("scanned turned " + std::to_string(turn) + " degrees clockwise");
        ImageOwner scan = quarterTurned(upright.get(), turn);
        EXPECT_EQ(dociva_sdk::uprightTurn(scan.get()), (360 - turn) % 360);
        dociva_sdk::ScanOptions o;
        o.dpi = kDpi;
        o.autoOrient = true;
        bool blank = false;
        ImageOwner out = dociva_sdk::processSide(std::move(scan), o, blank);
        ASSERT_TRUE(out);
        EXPECT_TRUE(samePixels(out.get(), upright.get()));
    }
}

#endif

}  // namespace
