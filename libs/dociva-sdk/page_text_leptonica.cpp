// What the text tells, through Leptonica.
#include "page_text.h"

#include <leptonica/allheaders.h>

#include <cstdint>
#include <memory>

namespace dociva_sdk {

namespace {

struct PixRelease {
    void operator()(PIX* pix) const { pixDestroy(&pix); }
};
using PixOwner = std::unique_ptr<PIX, PixRelease>;

// Below this confidence the sweep found no line structure worth trusting
// (a photo, an empty page).
constexpr float kMinConfidence = 3.0f;
constexpr int kInk = 128;

// Text leaves most of a page paper; a page mostly dark (a photograph, a
// dark background) or nearly empty has no lines of text to ask about.
constexpr double kMostInk = 0.4;
constexpr double kLeastInk = 0.002;

// The page's ink (luminance below kInk) as a one-bit picture, Leptonica's
// input for both questions; nothing when the page cannot hold text.
PixOwner inkOf(TI_IMAGE page) {
    TI_IMAGE_INFO info{};
    info.size = sizeof(info);
    if (!page || ti_GetInfo(page, &info) != TI_OK || !info.data || info.width < 32 || info.height < 32) return {};
    PixOwner bits(pixCreate(info.width, info.height, 1));
    if (!bits) return {};
    l_uint32* words = pixGetData(bits.get());
    const int wpl = pixGetWpl(bits.get());
    const int bpp = info.pixelFormat;
    std::uint64_t ink = 0;
    for (int y = 0; y < info.height; ++y) {
        const std::uint8_t* row = info.data + static_cast<std::ptrdiff_t>(y) * info.stride;
        l_uint32* line = words + static_cast<std::ptrdiff_t>(y) * wpl;
        for (int x = 0; x < info.width; ++x) {
            const std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * bpp;
            const int v = bpp == 1 ? p[0] : (p[0] + 2 * p[1] + p[2]) / 4;
            if (v < kInk) {
                SET_DATA_BIT(line, x);
                ++ink;
            }
        }
    }
    const double share = static_cast<double>(ink) / (static_cast<double>(info.width) * info.height);
    if (share > kMostInk || share < kLeastInk) return {};
    return bits;
}

}  // namespace

std::optional<double> contentSkew(TI_IMAGE page, int dpi) {
    const PixOwner bits = inkOf(page);
    if (!bits) return std::nullopt;
    // Finer search at higher resolutions costs the same per inch.
    const int search = dpi >= 250 ? 2 : 1;
    const int sweep = search * 2;
    l_float32 angle = 0.0f;
    l_float32 confidence = 0.0f;
    if (pixFindSkewSweepAndSearch(bits.get(), &angle, &confidence, sweep, search, static_cast<l_float32>(kMaxContentSkew),
                                  1.0f, 0.01f) != 0)
        return std::nullopt;
    if (confidence < kMinConfidence) return std::nullopt;
    // Leptonica measures the other way round.
    return -static_cast<double>(angle);
}

int uprightTurn(TI_IMAGE page) {
    const PixOwner bits = inkOf(page);
    if (!bits) return 0;
    l_float32 up = 0.0f, left = 0.0f;
    if (pixOrientDetect(bits.get(), &up, &left, 0, 0) != 0) return 0;
    l_int32 orientation = L_TEXT_ORIENT_UNKNOWN;
    // Leptonica's own thresholds of confidence.
    if (makeOrientDecision(up, left, 0.0f, 0.0f, &orientation, 0) != 0) return 0;
    switch (orientation) {
        case L_TEXT_ORIENT_LEFT:
            return 90;
        case L_TEXT_ORIENT_DOWN:
            return 180;
        case L_TEXT_ORIENT_RIGHT:
            return 270;
        default:
            return 0;
    }
}

}  // namespace dociva_sdk
