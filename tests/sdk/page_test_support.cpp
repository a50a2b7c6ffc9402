#include "sdk/page_test_support.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace page_testing {

namespace {

TI_IMAGE_INFO fullInfo(TI_IMAGE page) {
    TI_IMAGE_INFO info{};
    info.size = sizeof(info);
    if (ti_GetInfo(page, &info) != TI_OK) info = TI_IMAGE_INFO{};
    return info;
}

}  // namespace

dociva_sdk::ImageOwner drawPage(int width, int height, int format, int dpi,
                                const std::function<Rgb(int x, int y)>& paint) {
    dociva_sdk::ImageOwner page(ti_CreateImage2(width, height, format, dpi, dpi));
    const TI_IMAGE_INFO info = fullInfo(page.get());
    if (!info.data) return {};
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = info.data + static_cast<std::ptrdiff_t>(y) * info.stride;
        for (int x = 0; x < width; ++x) {
            const Rgb c = paint(x, y);
            if (format == TI_GRAY8) {
                row[x] = c.g;
            } else {
                std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * format;
                p[0] = c.b;
                p[1] = c.g;
                p[2] = c.r;
                if (format == TI_BGRA32) p[3] = 255;
            }
        }
    }
    return page;
}

Rgb pixelAt(TI_IMAGE page, int x, int y) {
    const TI_IMAGE_INFO info = fullInfo(page);
    const std::uint8_t* p = info.data + static_cast<std::ptrdiff_t>(y) * info.stride +
                            static_cast<std::ptrdiff_t>(x) * info.pixelFormat;
    if (info.pixelFormat == TI_GRAY8) return Rgb{p[0], p[0], p[0]};
    return Rgb{p[2], p[1], p[0]};
}

Pixels::Pixels(TI_IMAGE page) : info_(fullInfo(page)) {}

Rgb Pixels::at(int x, int y) const {
    const std::uint8_t* p = info_.data + static_cast<std::ptrdiff_t>(y) * info_.stride +
                            static_cast<std::ptrdiff_t>(x) * info_.pixelFormat;
    if (info_.pixelFormat == TI_GRAY8) return Rgb{p[0], p[0], p[0]};
    return Rgb{p[2], p[1], p[0]};
}

Levels levelsOf(TI_IMAGE page) {
    const TI_IMAGE_INFO info = fullInfo(page);
    double sum = 0.0, squares = 0.0;
    const double n = static_cast<double>(info.width) * info.height;
    for (int y = 0; y < info.height; ++y) {
        const std::uint8_t* row = info.data + static_cast<std::ptrdiff_t>(y) * info.stride;
        for (int x = 0; x < info.width; ++x) {
            const double v = info.pixelFormat == TI_GRAY8 ? row[x] : row[x * info.pixelFormat + 1];
            sum += v;
            squares += v * v;
        }
    }
    Levels out;
    if (n <= 0) return out;
    out.mean = sum / n;
    out.deviation = std::sqrt(std::max(0.0, squares / n - out.mean * out.mean));
    return out;
}

bool samePixels(TI_IMAGE a, TI_IMAGE b) {
    const TI_IMAGE_INFO ia = fullInfo(a);
    const TI_IMAGE_INFO ib = fullInfo(b);
    if (!ia.data || !ib.data || ia.width != ib.width || ia.height != ib.height || ia.pixelFormat != ib.pixelFormat)
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(ia.width) * ia.pixelFormat;
    for (int y = 0; y < ia.height; ++y)
        if (std::memcmp(ia.data + static_cast<std::ptrdiff_t>(y) * ia.stride,
                        ib.data + static_cast<std::ptrdiff_t>(y) * ib.stride, rowBytes) != 0)
            return false;
    return true;
}

}  // namespace page_testing
