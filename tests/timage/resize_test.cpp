// Scaling against references written in floating point, and the viewer's
// fitting of a large JPEG through the reduced decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "support/test_support.h"
#include "timage/helpers.h"

namespace {

using namespace timage_test;

// Every destination pixel the exact average of the source area it covers.
Image areaReference(TI_IMAGE source, int dw, int dh) {
    const TI_IMAGE_INFO s = infoOf(source);
    Image out = create(dw, dh, s.pixelFormat);
    const double fx = static_cast<double>(s.width) / dw, fy = static_cast<double>(s.height) / dh;
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x)
            for (int c = 0; c < s.pixelFormat; ++c) {
                double sum = 0;
                const double x0 = x * fx, x1 = x0 + fx, y0 = y * fy, y1 = y0 + fy;
                for (int sy = static_cast<int>(y0); sy < std::min<double>(s.height, std::ceil(y1)); ++sy)
                    for (int sx = static_cast<int>(x0); sx < std::min<double>(s.width, std::ceil(x1)); ++sx) {
                        const double wx = std::min<double>(x1, sx + 1) - std::max<double>(x0, sx);
                        const double wy = std::min<double>(y1, sy + 1) - std::max<double>(y0, sy);
                        sum += wx * wy * pixel(source, sx, sy)[c];
                    }
                pixel(out.get(), x, y)[c] = static_cast<std::uint8_t>(std::lround(sum / (fx * fy)));
            }
    return out;
}

// Bilinear between pixel centres, edges repeated: what enlarging must give.
Image bilinearReference(TI_IMAGE source, int dw, int dh) {
    const TI_IMAGE_INFO s = infoOf(source);
    Image out = create(dw, dh, s.pixelFormat);
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x) {
            const double u = std::clamp((x + 0.5) * s.width / dw - 0.5, 0.0, s.width - 1.0);
            const double v = std::clamp((y + 0.5) * s.height / dh - 0.5, 0.0, s.height - 1.0);
            const int x0 = static_cast<int>(u), y0 = static_cast<int>(v);
            const int x1 = std::min(x0 + 1, s.width - 1), y1 = std::min(y0 + 1, s.height - 1);
            const double a = u - x0, b = v - y0;
            for (int c = 0; c < s.pixelFormat; ++c) {
                const double top = pixel(source, x0, y0)[c] * (1 - a) + pixel(source, x1, y0)[c] * a;
                const double bottom = pixel(source, x0, y1)[c] * (1 - a) + pixel(source, x1, y1)[c] * a;
                pixel(out.get(), x, y)[c] = static_cast<std::uint8_t>(std::lround(top * (1 - b) + bottom * b));
            }
        }
    return out;
}

Image nearestReference(TI_IMAGE source, int dw, int dh) {
    const TI_IMAGE_INFO s = infoOf(source);
    Image out = create(dw, dh, s.pixelFormat);
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x) {
            const int sx = static_cast<int>((x + 0.5) * s.width / dw), sy = static_cast<int>((y + 0.5) * s.height / dh);
            std::copy_n(pixel(source, sx, sy), s.pixelFormat, pixel(out.get(), x, y));
        }
    return out;
}

Image resized(TI_IMAGE source, int dw, int dh, int mode) {
    Image out = create(dw, dh, infoOf(source).pixelFormat);
    EXPECT_EQ(ti_Resize(source, out.get(), mode), TI_OK);
    return out;
}

TEST(Resize, MatchesTheReferencesWithinRounding) {
    // Stated error: one level per byte (fixed-point weights and the
    // intermediate rounding of the two passes), none for nearest.
    struct Row {
        const char* name;
        int sw, sh, dw, dh, mode;
        int maxError;
    };
    const Row rows[] = {
        {"area, halving", 40, 30, 20, 15, TI_INTER_AREA, 1},
        {"area, uneven", 37, 29, 11, 13, TI_INTER_AREA, 1},
        {"area, enlarging", 7, 5, 17, 11, TI_INTER_AREA, 1},
        {"linear, enlarging", 9, 7, 31, 20, TI_INTER_LINEAR, 1},
        {"linear, one axis", 12, 12, 12, 29, TI_INTER_LINEAR, 1},
        {"nearest, reducing", 33, 21, 10, 8, TI_INTER_NEAREST, 0},
        {"nearest, enlarging", 5, 4, 13, 9, TI_INTER_NEAREST, 0},
    };
    for (int format : kFormats) {
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(formatName(format)) + ": " + r.name);
            Image source = noise(r.sw, r.sh, format, 12);
            Image expected = r.mode == TI_INTER_AREA      ? areaReference(source.get(), r.dw, r.dh)
                             : r.mode == TI_INTER_LINEAR ? bilinearReference(source.get(), r.dw, r.dh)
                                                         : nearestReference(source.get(), r.dw, r.dh);
            const Difference d = compare(resized(source.get(), r.dw, r.dh, r.mode).get(), expected.get());
            EXPECT_LE(d.max, r.maxError);
        }
    }
}

TEST(Resize, ReductionsAverageInsteadOfSkipping) {
    // A one-pixel checkerboard reduced by 4 must come out mid-grey in every
    // smoothing mode; skipping pixels would give black or white.
    Image board = create(64, 64, TI_GRAY8);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) pixel(board.get(), x, y)[0] = static_cast<std::uint8_t>((x + y) % 2 ? 255 : 0);
    for (int mode : {TI_INTER_LINEAR, TI_INTER_CUBIC, TI_INTER_AREA}) {
        SCOPED_TRACE(mode);
        Image small = resized(board.get(), 16, 16, mode);
        for (int y = 1; y < 15; ++y)
            for (int x = 1; x < 15; ++x) EXPECT_NEAR(pixel(small.get(), x, y)[0], 128, 3) << x << "," << y;
    }
}

TEST(Resize, FlatImagesStayFlatInEveryMode) {
    for (int format : kFormats) {
        Image flat = create(50, 40, format);
        ASSERT_EQ(ti_Fill(flat.get(), 0xc8643219u), TI_OK);
        for (int mode : {TI_INTER_NEAREST, TI_INTER_LINEAR, TI_INTER_CUBIC, TI_INTER_AREA}) {
            for (auto size : {std::pair{13, 7}, std::pair{120, 97}, std::pair{1, 1}}) {
                SCOPED_TRACE(std::string(formatName(format)) + " mode " + std::to_string(mode));
                Image out = resized(flat.get(), size.first, size.second, mode);
                Image expected = create(size.first, size.second, format);
                ASSERT_EQ(ti_Fill(expected.get(), 0xc8643219u), TI_OK);
                EXPECT_TRUE(samePixels(out.get(), expected.get()));
            }
        }
    }
}

TEST(Resize, ResizeRectWritesOnlyItsRectangle) {
    Image source = noise(40, 40, TI_BGR24, 5);
    Image target = noise(30, 20, TI_BGR24, 6);
    Image before(ti_CloneImage(target.get()));
    const TI_RECT from{10, 5, 20, 20}, to{4, 3, 10, 10};
    ASSERT_EQ(ti_ResizeRect(source.get(), &from, target.get(), &to, TI_INTER_AREA), TI_OK);
    // Inside: the 2x2 average of the source rectangle.
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int k = 0; k < 4; ++k) sum += pixel(source.get(), 10 + 2 * x + k % 2, 5 + 2 * y + k / 2)[c];
                EXPECT_NEAR(pixel(target.get(), 4 + x, 3 + y)[c], sum / 4.0, 1.0);
            }
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            if (x < 4 || x >= 14 || y < 3 || y >= 13) {
                EXPECT_EQ(std::memcmp(pixel(target.get(), x, y), pixel(before.get(), x, y), 3), 0);
            }
    const TI_RECT outside{25, 15, 10, 10};
    EXPECT_EQ(ti_ResizeRect(source.get(), nullptr, target.get(), &outside, 1), TI_ERR_ARGUMENT);
    EXPECT_EQ(ti_Resize(source.get(), source.get(), 1), TI_ERR_ARGUMENT);
    EXPECT_EQ(ti_Resize(source.get(), target.get(), 4), TI_ERR_ARGUMENT);
}

TEST(Resize, FittingAJpegPageMatchesTheFullDecodeClosely) {
    // The viewer's sequence: load, read the size, make the fitted image,
    // scale into it. Scaling from the still-encoded page decodes it at a
    // reduced DCT size; it must look like decoding everything first.
    testing_support::TempDir dir;
    const std::u16string path = dir.file(u"page.jpg");
    Image page = smooth(1240, 1754, TI_BGR24);
    ti_SetDpi(page.get(), 150, 150);
    ASSERT_EQ(ti_SaveImage2(path.c_str(), page.get(), 7, 90, 0), TI_OK);

    Image loaded(ti_LoadImage(path.c_str()));
    ASSERT_TRUE(loaded);
    TI_FILE_INFO file{};
    file.size = sizeof file;
    ASSERT_EQ(ti_GetImageInfo(path.c_str(), &file), TI_OK);
    TI_IMAGE_INFO layout{};
    layout.size = TI_IMAGE_INFO_LAYOUT_SIZE;
    ASSERT_EQ(ti_GetInfo(loaded.get(), &layout), TI_OK);
    EXPECT_EQ(layout.width, 1240);
    EXPECT_EQ(layout.xDpi, 150);
    EXPECT_EQ(layout.data, nullptr);  // left alone
    const double scale = std::min(657.0 / file.width, 792.0 / file.height);
    const int fw = static_cast<int>(scale * file.width + 0.5), fh = static_cast<int>(scale * file.height + 0.5);
    Image fitted = resized(loaded.get(), fw, fh, TI_INTER_LINEAR);

    Image full(ti_LoadImage(path.c_str()));
    ASSERT_TRUE(full);
    infoOf(full.get());  // decodes it whole
    Image reference = resized(full.get(), fw, fh, TI_INTER_LINEAR);
    const Difference d = compare(fitted.get(), reference.get());
    EXPECT_LE(d.mean, 1.5);
    EXPECT_LE(d.max, 40);
    // The loaded image still gives all its pixels afterwards.
    const Difference whole = compare(loaded.get(), full.get());
    EXPECT_EQ(whole.max, 0);
}

}  // namespace
