// Properties of the pixel operations on every pixel format, and the
// operations against naive references.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "timage/helpers.h"

namespace {

using namespace timage_test;

Image orientated(TI_IMAGE source, int angle) {
    const TI_IMAGE_INFO info = infoOf(source);
    const bool swap = angle != 180;
    Image out = create(swap ? info.height : info.width, swap ? info.width : info.height, info.pixelFormat);
    EXPECT_EQ(ti_Orientate(source, out.get(), angle), TI_OK);
    return out;
}

Image flipped(TI_IMAGE source, int mode) {
    const TI_IMAGE_INFO info = infoOf(source);
    Image out = create(info.width, info.height, info.pixelFormat);
    EXPECT_EQ(ti_Flip(source, out.get(), mode), TI_OK);
    return out;
}

bool samePixel(TI_IMAGE a, int ax, int ay, TI_IMAGE b, int bx, int by) {
    return std::memcmp(pixel(a, ax, ay), pixel(b, bx, by), static_cast<std::size_t>(infoOf(a).pixelFormat)) == 0;
}

TEST(PixelOps, OrientateFourQuarterTurnsGiveTheOriginal) {
    for (int format : kFormats) {
        SCOPED_TRACE(formatName(format));
        // Sizes across the 64-pixel tiles of the rotation, odd on both sides.
        Image original = noise(131, 70, format, 5);
        Image turned = orientated(original.get(), 90);
        for (int i = 0; i < 3; ++i) turned = orientated(turned.get(), 90);
        EXPECT_TRUE(samePixels(turned.get(), original.get()));
        EXPECT_TRUE(samePixels(orientated(orientated(original.get(), 90).get(), 270).get(), original.get()));
        EXPECT_TRUE(samePixels(orientated(orientated(original.get(), 180).get(), 180).get(), original.get()));
        EXPECT_TRUE(samePixels(orientated(orientated(original.get(), 90).get(), 90).get(),
                               orientated(original.get(), 180).get()));
    }
}

TEST(PixelOps, OrientateNinetyTurnsToTheLeft) {
    // RotateLeft passes 90: the top-right corner must become the top-left one.
    for (int format : kFormats) {
        SCOPED_TRACE(formatName(format));
        Image original = noise(5, 3, format, 9);
        Image left = orientated(original.get(), 90);
        Image right = orientated(original.get(), 270);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                EXPECT_TRUE(samePixel(left.get(), y, 4 - x, original.get(), x, y));
                EXPECT_TRUE(samePixel(right.get(), 2 - y, x, original.get(), x, y));
            }
    }
}

TEST(PixelOps, OrientateRefusesWrongShapesAndAngles) {
    Image a = noise(4, 3, TI_BGR24), sameSize = create(4, 3, TI_BGR24), turned = create(3, 4, TI_BGR24),
          grey = create(3, 4, TI_GRAY8);
    const struct {
        const char* name;
        TI_IMAGE destination;
        int angle;
    } rows[] = {{"90 into the unturned size", sameSize.get(), 90},
                {"180 into the turned size", turned.get(), 180},
                {"45 degrees", turned.get(), 45},
                {"0 degrees", sameSize.get(), 0},
                {"other format", grey.get(), 90},
                {"into itself", a.get(), 180}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(ti_Orientate(a.get(), r.destination, r.angle), TI_ERR_ARGUMENT);
    }
}

TEST(PixelOps, FlipTwiceGivesTheOriginalInPlaceOrNot) {
    for (int format : kFormats) {
        for (int height : {1, 6, 7}) {
            SCOPED_TRACE(std::string(formatName(format)) + " height " + std::to_string(height));
            Image original = noise(9, height, format, 11);
            for (int mode : {0, 1, 2}) {
                SCOPED_TRACE(mode);
                EXPECT_TRUE(samePixels(flipped(flipped(original.get(), mode).get(), mode).get(), original.get()));
                // In place, as the viewer's Mirror does it.
                Image copy(ti_CloneImage(original.get()));
                ASSERT_EQ(ti_Flip(copy.get(), copy.get(), mode), TI_OK);
                EXPECT_TRUE(samePixels(copy.get(), flipped(original.get(), mode).get()));
            }
            EXPECT_TRUE(samePixels(flipped(original.get(), 2).get(), flipped(flipped(original.get(), 0).get(), 1).get()));
            EXPECT_TRUE(samePixels(flipped(original.get(), 2).get(), orientated(original.get(), 180).get()));
            Image upsideDown = flipped(original.get(), 0);
            EXPECT_TRUE(samePixel(upsideDown.get(), 0, 0, original.get(), 0, height - 1));
            Image mirrored = flipped(original.get(), 1);
            EXPECT_TRUE(samePixel(mirrored.get(), 0, 0, original.get(), 8, 0));
        }
    }
}

// CopyRect as written down in the simplest way.
Image copyRectReference(TI_IMAGE source, int width, int height, int left, int top, int fill, TI_IMAGE before) {
    const TI_IMAGE_INFO s = infoOf(source);
    Image out(ti_CloneImage(before));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int sx = x + left, sy = y + top;
            std::uint8_t* o = pixel(out.get(), x, y);
            if (sx >= 0 && sy >= 0 && sx < s.width && sy < s.height) {
                std::memcpy(o, pixel(source, sx, sy), static_cast<std::size_t>(s.pixelFormat));
            } else if (fill != -1) {
                if (s.pixelFormat == TI_GRAY8) {
                    o[0] = static_cast<std::uint8_t>(fill);
                } else {
                    o[0] = static_cast<std::uint8_t>(fill);
                    o[1] = static_cast<std::uint8_t>(fill >> 8);
                    o[2] = static_cast<std::uint8_t>(fill >> 16);
                    if (s.pixelFormat == TI_BGRA32) o[3] = 255;
                }
            }
        }
    return out;
}

TEST(PixelOps, CopyRectMatchesTheReference) {
    struct Row {
        const char* name;
        int width, height, left, top, fill;
    };
    const Row rows[] = {
        {"inside, as the viewer crops", 10, 7, 3, 2, -1}, {"the whole source", 23, 17, 0, 0, -1},
        {"past the right and bottom", 15, 12, 12, 9, 0x123456}, {"before the left and top", 9, 8, -4, -3, 0xffffff},
        {"no overlap at all", 5, 5, 40, 40, 0x00ff00},       {"larger than the source", 30, 25, -2, -1, 0x808080},
        {"no overlap, kept", 5, 5, -40, 2, -1},
    };
    for (int format : kFormats) {
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(formatName(format)) + ": " + r.name);
            Image source = noise(23, 17, format, 3);
            Image destination = noise(r.width, r.height, format, 4);
            Image expected = copyRectReference(source.get(), r.width, r.height, r.left, r.top, r.fill, destination.get());
            ASSERT_EQ(ti_CopyRect(source.get(), destination.get(), r.left, r.top, r.fill), TI_OK);
            EXPECT_TRUE(samePixels(destination.get(), expected.get()));
        }
    }
}

TEST(PixelOps, CopyRectWithinOneImage) {
    Image image = noise(20, 20, TI_BGR24, 8);
    Image before(ti_CloneImage(image.get()));
    Image expected = copyRectReference(before.get(), 20, 20, 3, 5, 0, before.get());
    ASSERT_EQ(ti_CopyRect(image.get(), image.get(), 3, 5, 0), TI_OK);
    EXPECT_TRUE(samePixels(image.get(), expected.get()));
}

TEST(PixelOps, BitBltClipsAndHandlesOverlap) {
    struct Row {
        const char* name;
        int x, y, w, h, sx, sy;
    };
    const Row rows[] = {{"plain", 2, 3, 5, 4, 1, 1},       {"clipped by destination", 10, 10, 20, 20, 0, 0},
                        {"negative target", -3, -2, 8, 8, 0, 0}, {"negative source", 0, 0, 8, 8, -5, -5},
                        {"down and right", 3, 2, 10, 10, 0, 0},  {"up and left", 0, 0, 10, 10, 3, 2}};
    for (const Row& r : rows) {
        for (bool sameImage : {false, true}) {
            SCOPED_TRACE(std::string(r.name) + (sameImage ? ", same image" : ""));
            Image source = noise(14, 12, TI_BGRA32, 1);
            Image destination = sameImage ? Image(ti_CloneImage(source.get())) : noise(14, 12, TI_BGRA32, 2);
            Image snapshot(ti_CloneImage(source.get()));
            Image expected(ti_CloneImage(destination.get()));
            for (int y = 0; y < r.h; ++y)
                for (int x = 0; x < r.w; ++x) {
                    const int sx = r.sx + x, sy = r.sy + y, dx = r.x + x, dy = r.y + y;
                    if (sx < 0 || sy < 0 || sx >= 14 || sy >= 12 || dx < 0 || dy < 0 || dx >= 14 || dy >= 12) continue;
                    std::memcpy(pixel(expected.get(), dx, dy), pixel(snapshot.get(), sx, sy), 4);
                }
            TI_IMAGE from = sameImage ? destination.get() : source.get();
            ASSERT_EQ(ti_BitBlt(destination.get(), r.x, r.y, r.w, r.h, from, r.sx, r.sy), TI_OK);
            EXPECT_TRUE(samePixels(destination.get(), expected.get()));
        }
    }
}

TEST(PixelOps, RotateByNinetyMatchesOrientate) {
    for (int format : kFormats) {
        SCOPED_TRACE(formatName(format));
        Image original = noise(21, 13, format, 2);
        for (int angle : {90, 180, 270}) {
            SCOPED_TRACE(angle);
            Image expected = orientated(original.get(), angle);
            const TI_IMAGE_INFO e = infoOf(expected.get());
            Image rotated = create(e.width, e.height, format);
            ASSERT_EQ(ti_Rotate(original.get(), rotated.get(), angle, 0), TI_OK);
            EXPECT_TRUE(samePixels(rotated.get(), expected.get()));
        }
        Image same = create(21, 13, format);
        ASSERT_EQ(ti_Rotate(original.get(), same.get(), 360.0, 0), TI_OK);
        EXPECT_TRUE(samePixels(same.get(), original.get()));
    }
}

TEST(PixelOps, RotateFillsWhatTheSourceDoesNotCover) {
    Image source = create(10, 10, TI_BGR24);
    ASSERT_EQ(ti_Fill(source.get(), 0xff000000u), TI_OK);
    Image target = create(30, 30, TI_BGR24);
    ASSERT_EQ(ti_Rotate(source.get(), target.get(), 45.0, 0xff0000), TI_OK);
    const std::uint8_t* corner = pixel(target.get(), 0, 0);
    EXPECT_EQ(corner[2], 255);  // red fill
    EXPECT_EQ(corner[0], 0);
    const std::uint8_t* centre = pixel(target.get(), 15, 15);
    EXPECT_EQ(centre[2], 0);  // the black source
}

TEST(PixelOps, ColourConversionsRoundTrip) {
    Image grey = noise(17, 9, TI_GRAY8, 4);
    Image colour = create(17, 9, TI_BGR24), alpha = create(17, 9, TI_BGRA32), back = create(17, 9, TI_GRAY8);
    ASSERT_EQ(ti_ConvertColor(grey.get(), colour.get(), 0), TI_OK);
    ASSERT_EQ(ti_ConvertColor(colour.get(), alpha.get(), 0), TI_OK);
    ASSERT_EQ(ti_ConvertColor(alpha.get(), back.get(), 0), TI_OK);
    EXPECT_TRUE(samePixels(back.get(), grey.get()));
    EXPECT_EQ(pixel(alpha.get(), 3, 3)[3], 255);
    EXPECT_EQ(ti_ConvertColor(grey.get(), back.get(), 1), TI_ERR_ARGUMENT);
}

TEST(PixelOps, SplitAndMergeRoundTrip) {
    for (int format : {TI_BGR24, TI_BGRA32}) {
        SCOPED_TRACE(formatName(format));
        Image original = noise(13, 8, format, 6);
        Image planes[4] = {create(13, 8, TI_GRAY8), create(13, 8, TI_GRAY8), create(13, 8, TI_GRAY8),
                           format == TI_BGRA32 ? create(13, 8, TI_GRAY8) : Image()};
        TI_IMAGE handles[4] = {planes[0].get(), planes[1].get(), planes[2].get(), planes[3].get()};
        ASSERT_EQ(ti_Split(original.get(), handles), TI_OK);
        EXPECT_EQ(pixel(planes[2].get(), 5, 5)[0], pixel(original.get(), 5, 5)[2]);
        Image merged = create(13, 8, format);
        ASSERT_EQ(ti_Merge(handles, merged.get()), TI_OK);
        EXPECT_TRUE(samePixels(merged.get(), original.get()));
    }
}

TEST(PixelOps, InvertLutThresholdAndMean) {
    for (int format : kFormats) {
        SCOPED_TRACE(formatName(format));
        Image original = noise(11, 7, format, 3);
        Image work(ti_CloneImage(original.get()));
        ASSERT_EQ(ti_Not(work.get(), work.get()), TI_OK);
        if (format != TI_BGRA32) { EXPECT_EQ(pixel(work.get(), 2, 2)[0], 255 - pixel(original.get(), 2, 2)[0]); }
        ASSERT_EQ(ti_Not(work.get(), work.get()), TI_OK);
        EXPECT_TRUE(samePixels(work.get(), original.get()));
        std::uint8_t identity[256];
        for (int i = 0; i < 256; ++i) identity[i] = static_cast<std::uint8_t>(i);
        ASSERT_EQ(ti_LUT(original.get(), work.get(), identity), TI_OK);
        EXPECT_TRUE(samePixels(work.get(), original.get()));
        ASSERT_EQ(ti_Light(original.get(), work.get(), 0, 0), TI_OK);
        EXPECT_TRUE(samePixels(work.get(), original.get()));

        Image fill = create(11, 7, format);
        ASSERT_EQ(ti_Fill(fill.get(), 0xff808080u), TI_OK);
        double mean[4] = {};
        ASSERT_EQ(ti_Mean(fill.get(), mean), TI_OK);
        EXPECT_DOUBLE_EQ(mean[0], 128.0);
        Image mask = create(11, 7, TI_GRAY8);
        ASSERT_EQ(ti_Threshold(fill.get(), mask.get(), 127, 200, 0), TI_OK);
        EXPECT_EQ(pixel(mask.get(), 4, 4)[0], 200);
        ASSERT_EQ(ti_Threshold(fill.get(), mask.get(), 128, 200, 0), TI_OK);
        EXPECT_EQ(pixel(mask.get(), 4, 4)[0], 0);
    }
}

TEST(PixelOps, FillRectClipsToTheImage) {
    Image image = create(8, 6, TI_BGR24);
    const TI_RECT rect{5, 4, 10, 10};
    ASSERT_EQ(ti_FillRect(image.get(), &rect, 0xff0000ffu), TI_OK);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 5 && y >= 4;
            EXPECT_EQ(pixel(image.get(), x, y)[0], inside ? 255 : 0) << x << "," << y;
        }
    const TI_RECT negative{0, 0, -1, 2};
    EXPECT_EQ(ti_FillRect(image.get(), &negative, 0), TI_ERR_ARGUMENT);
}

TEST(PixelOps, RepeatTilesFromTheRectangleCorner) {
    Image tile = noise(3, 2, TI_GRAY8, 1);
    Image target = create(10, 7, TI_GRAY8);
    const TI_RECT rect{1, 1, 8, 5};
    ASSERT_EQ(ti_RepeatRect(tile.get(), target.get(), &rect), TI_OK);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 1 && x < 9 && y >= 1 && y < 6;
            const int expected = inside ? pixel(tile.get(), (x - 1) % 3, (y - 1) % 2)[0] : 0;
            EXPECT_EQ(pixel(target.get(), x, y)[0], expected) << x << "," << y;
        }
}

TEST(PixelOps, BottomUpAttachedRowsAreReadTopFirst) {
    // A bottom-up DIB: the first row in memory is the picture's bottom row.
    const int w = 5, h = 4, stride = 16;
    std::vector<std::uint8_t> memory(static_cast<std::size_t>(stride) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x) memory[static_cast<std::size_t>((h - 1 - y) * stride + x)] = static_cast<std::uint8_t>(y * 40 + x);
    Image attached(ti_AttachImageData(w, h, TI_BGR24, -stride, memory.data()));
    ASSERT_TRUE(attached);
    EXPECT_EQ(ti_DataIsTopdown(attached.get()), 0);
    const TI_IMAGE_INFO info = infoOf(attached.get());
    EXPECT_EQ(info.data, memory.data());
    EXPECT_EQ(info.stride, stride);
    Image copy(ti_CloneImage(attached.get()));
    EXPECT_EQ(ti_DataIsTopdown(copy.get()), 1);
    EXPECT_EQ(pixel(copy.get(), 0, 0)[0], 0);    // top row
    EXPECT_EQ(pixel(copy.get(), 0, 3)[0], 120);  // bottom row
    Image turned = orientated(attached.get(), 270);
    EXPECT_EQ(pixel(turned.get(), 3, 0)[0], 0);  // the top row goes to the right
    // Writing through the handle writes the caller's memory.
    ASSERT_EQ(ti_SetZero(attached.get()), TI_OK);
    EXPECT_EQ(memory[static_cast<std::size_t>(3 * stride)], 0);
}

TEST(PixelOps, AlphaBlendWeighsBothAlphas) {
    Image background = create(4, 4, TI_BGR24);
    ASSERT_EQ(ti_Fill(background.get(), 0xff000000u), TI_OK);
    Image overlay = create(2, 2, TI_BGRA32);
    ASSERT_EQ(ti_Fill(overlay.get(), 0x80ffffffu), TI_OK);  // white at half alpha
    ASSERT_EQ(ti_AlphaBlend(background.get(), 3, 3, overlay.get(), 255), TI_OK);
    EXPECT_EQ(pixel(background.get(), 3, 3)[0], 128);
    EXPECT_EQ(pixel(background.get(), 2, 2)[0], 0);
    ASSERT_EQ(ti_AlphaBlend(background.get(), 0, 0, overlay.get(), 0), TI_OK);
    EXPECT_EQ(pixel(background.get(), 0, 0)[0], 0);
}

}  // namespace
