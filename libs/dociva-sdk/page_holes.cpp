#include "page_holes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace dociva_sdk {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMillimetresPerInch = 25.4;

TI_IMAGE_INFO pixelsOf(TI_IMAGE page) {
    TI_IMAGE_INFO info{};
    info.size = sizeof(info);
    if (!page || ti_GetInfo(page, &info) != TI_OK) info = TI_IMAGE_INFO{};
    return info;
}

std::uint8_t* pixel(const TI_IMAGE_INFO& info, int x, int y) {
    return info.data + static_cast<std::ptrdiff_t>(y) * info.stride + static_cast<std::ptrdiff_t>(x) * info.pixelFormat;
}

int luminanceAt(const TI_IMAGE_INFO& info, int x, int y) {
    const std::uint8_t* p = pixel(info, x, y);
    return info.pixelFormat == 1 ? p[0] : (p[0] + 2 * p[1] + p[2]) / 4;
}

// The paper's level: the median luminance of the strips along the edges.
int paperLevel(const TI_IMAGE_INFO& info, int band) {
    std::array<std::uint64_t, 256> histogram{};
    std::uint64_t total = 0;
    for (int y = 0; y < info.height; y += 3) {
        for (int x = 0; x < info.width; x += 3) {
            if (x >= band && y >= band && x < info.width - band && y < info.height - band) continue;
            ++histogram[static_cast<std::size_t>(luminanceAt(info, x, y))];
            ++total;
        }
    }
    std::uint64_t seen = 0;
    for (int level = 0; level < 256; ++level) {
        seen += histogram[static_cast<std::size_t>(level)];
        if (seen * 2 >= total) return level;
    }
    return 255;
}

}  // namespace

std::vector<Hole> findPunchHoles(TI_IMAGE page, int dpi) {
    std::vector<Hole> holes;
    const TI_IMAGE_INFO info = pixelsOf(page);
    if (!info.data || dpi <= 0) return holes;
    const int w = info.width, h = info.height;
    const int band = std::min({dpi, w / 3, h / 3});
    if (band < 8) return holes;
    const int paper = paperLevel(info, band);
    // Through a hole the background shows, far darker than the paper.
    const int darkBelow = std::min(128, paper * 6 / 10);
    const double smallest = dpi * 3.0 / kMillimetresPerInch;
    const double largest = dpi * 12.0 / kMillimetresPerInch;

    auto inBand = [&](int x, int y) { return x < band || y < band || x >= w - band || y >= h - band; };
    auto dark = [&](int x, int y) { return luminanceAt(info, x, y) < darkBelow; };
    std::vector<std::uint8_t> seen(static_cast<std::size_t>(w) * h, 0);
    std::vector<std::pair<int, int>> stack;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!inBand(x, y)) {
                x = w - band - 1;  // across the middle of the row at once
                continue;
            }
            const std::size_t at = static_cast<std::size_t>(y) * w + x;
            if (seen[at] || !dark(x, y)) continue;
            // One dark patch, marked whole (so that a large one is not
            // taken up again piece by piece): its extent, area and centre.
            int x0 = x, x1 = x, y0 = y, y1 = y;
            double area = 0.0, sx = 0.0, sy = 0.0;
            seen[at] = 1;
            stack.assign(1, {x, y});
            while (!stack.empty()) {
                const auto [px, py] = stack.back();
                stack.pop_back();
                x0 = std::min(x0, px), x1 = std::max(x1, px), y0 = std::min(y0, py), y1 = std::max(y1, py);
                area += 1.0, sx += px, sy += py;
                const int nx[4] = {px - 1, px + 1, px, px};
                const int ny[4] = {py, py, py - 1, py + 1};
                for (int i = 0; i < 4; ++i) {
                    if (nx[i] < 0 || ny[i] < 0 || nx[i] >= w || ny[i] >= h) continue;
                    const std::size_t n = static_cast<std::size_t>(ny[i]) * w + static_cast<std::size_t>(nx[i]);
                    if (seen[n] || !dark(nx[i], ny[i])) continue;
                    seen[n] = 1;
                    stack.emplace_back(nx[i], ny[i]);
                }
            }
            const double bw = x1 - x0 + 1, bh = y1 - y0 + 1;
            if (bw < smallest || bh < smallest || bw > largest || bh > largest) continue;
            if (bw > bh * 1.3 || bh > bw * 1.3) continue;
            // Cut by an edge: not a hole wholly inside the page.
            if (x0 == 0 || y0 == 0 || x1 == w - 1 || y1 == h - 1) continue;
            const double disc = kPi / 4.0 * bw * bh;
            if (area < disc * 0.85 || area > disc * 1.15) continue;
            holes.push_back(Hole{sx / area, sy / area, (bw + bh) / 4.0});
        }
    }
    return holes;
}

ImageOwner punchHolesErased(ImageOwner page, int dpi) {
    const std::vector<Hole> holes = findPunchHoles(page.get(), dpi);
    if (holes.empty()) return page;
    const TI_IMAGE_INFO info = pixelsOf(page.get());
    if (!info.data) return {};
    const int bpp = info.pixelFormat;
    for (const Hole& hole : holes) {
        // The hole's rim (its blurred edge and shadow) goes with it.
        const double fillRadius = hole.radius + std::max(2.0, dpi / 100.0);
        const double ringRadius = fillRadius + std::max(3.0, dpi / 50.0);
        const int x0 = std::max(0, static_cast<int>(std::floor(hole.x - ringRadius)));
        const int x1 = std::min(info.width - 1, static_cast<int>(std::ceil(hole.x + ringRadius)));
        const int y0 = std::max(0, static_cast<int>(std::floor(hole.y - ringRadius)));
        const int y1 = std::min(info.height - 1, static_cast<int>(std::ceil(hole.y + ringRadius)));
        // The paper colour: the mean of the ring just outside the fill.
        std::array<double, 4> sum{};
        double count = 0.0;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                const double d = std::hypot(x - hole.x, y - hole.y);
                if (d <= fillRadius || d > ringRadius) continue;
                const std::uint8_t* p = pixel(info, x, y);
                for (int c = 0; c < bpp; ++c) sum[static_cast<std::size_t>(c)] += p[c];
                count += 1.0;
            }
        }
        if (count <= 0.0) continue;
        std::array<std::uint8_t, 4> colour{};
        for (int c = 0; c < bpp; ++c)
            colour[static_cast<std::size_t>(c)] =
                static_cast<std::uint8_t>(std::lround(sum[static_cast<std::size_t>(c)] / count));
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                if (std::hypot(x - hole.x, y - hole.y) > fillRadius) continue;
                std::uint8_t* p = pixel(info, x, y);
                for (int c = 0; c < bpp; ++c) p[c] = colour[static_cast<std::size_t>(c)];
            }
        }
    }
    return page;
}

}  // namespace dociva_sdk
