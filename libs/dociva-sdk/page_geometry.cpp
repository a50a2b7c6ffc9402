#include "page_geometry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "page_text.h"

namespace dociva_sdk {

namespace {

constexpr double kPi = 3.14159265358979323846;
// How far (degrees) the skews the page's edges show may differ.
constexpr double kEdgeAgreement = 1.0;

// Read access to a page's pixels as luminance.
class Luminance {
public:
    explicit Luminance(TI_IMAGE image) {
        info_.size = sizeof(info_);
        if (!image || ti_GetInfo(image, &info_) != TI_OK) info_ = TI_IMAGE_INFO{};
    }
    bool valid() const { return info_.data && info_.width > 0 && info_.height > 0; }
    int width() const { return info_.width; }
    int height() const { return info_.height; }
    int at(int x, int y) const {
        const std::uint8_t* p = info_.data + static_cast<std::ptrdiff_t>(y) * info_.stride +
                                static_cast<std::ptrdiff_t>(x) * info_.pixelFormat;
        return info_.pixelFormat == 1 ? p[0] : (p[0] + 2 * p[1] + p[2]) / 4;
    }

private:
    TI_IMAGE_INFO info_{};
};

// Otsu's split of a histogram: the level from which values count as the
// upper class, and the two classes' means.
struct Split {
    int level = 128;
    double darkMean = 0.0;
    double lightMean = 255.0;
};

Split otsu(const std::array<std::uint64_t, 256>& histogram) {
    double total = 0.0, sum = 0.0;
    for (int i = 0; i < 256; ++i) {
        total += static_cast<double>(histogram[i]);
        sum += static_cast<double>(i) * static_cast<double>(histogram[i]);
    }
    Split best;
    double bestScore = -1.0, below = 0.0, belowSum = 0.0;
    for (int t = 1; t < 256; ++t) {
        below += static_cast<double>(histogram[t - 1]);
        belowSum += static_cast<double>(t - 1) * static_cast<double>(histogram[t - 1]);
        const double above = total - below;
        if (below <= 0.0 || above <= 0.0) continue;
        const double m0 = belowSum / below;
        const double m1 = (sum - belowSum) / above;
        const double score = below * above * (m1 - m0) * (m1 - m0);
        if (score > bestScore) {
            bestScore = score;
            best = Split{t, m0, m1};
        }
    }
    // Any level between two well separated classes scores the same; the
    // middle one puts a blurred edge where the eye puts it.
    best.level = static_cast<int>(std::lround((best.darkMean + best.lightMean) / 2.0));
    return best;
}

// Where paper begins along a line, from its start: the first of three
// light pixels in a row, to a fraction of a pixel where the level crosses
// the paper level (the edge is blurred over a pixel or two). -1 when the
// line holds no paper.
template <typename Pixel>
double firstLight(int length, int level, Pixel pixel) {
    int run = 0;
    for (int i = 0; i < length; ++i) {
        run = pixel(i) >= level ? run + 1 : 0;
        if (run < 3) continue;
        const int at = i - 2;
        if (at == 0) return 0.0;
        const double before = pixel(at - 1), first = pixel(at);
        return at - (first - level) / std::max(1.0, first - before);
    }
    return -1.0;
}

// The four edges of the page as seen from the scan's borders, each as the
// depth (pixels in from that border) of the first paper at every
// sampled position along it; -1 where a line meets no paper.
struct EdgeDepths {
    int step = 1;
    std::vector<double> top, bottom, left, right;  // top/bottom per column, left/right per row
};

EdgeDepths edgeDepths(const Luminance& lum, int level, int step) {
    EdgeDepths e;
    e.step = step;
    const int w = lum.width(), h = lum.height();
    for (int x = 0; x < w; x += step) {
        e.top.push_back(firstLight(h, level, [&](int i) { return lum.at(x, i); }));
        e.bottom.push_back(firstLight(h, level, [&](int i) { return lum.at(x, h - 1 - i); }));
    }
    for (int y = 0; y < h; y += step) {
        e.left.push_back(firstLight(w, level, [&](int i) { return lum.at(i, y); }));
        e.right.push_back(firstLight(w, level, [&](int i) { return lum.at(w - 1 - i, y); }));
    }
    return e;
}

template <typename T>
T medianOf(std::vector<T> values) {
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// The clockwise turn one edge shows. A first line from the median slope
// between points half the edge apart (robust against the corners, where
// the neighbouring edge is met instead), then a least-squares line through
// the points near it. depths run along the edge; sign turns a slope of
// depth against position into a clockwise angle. Nothing for an edge that
// lies on the scan's border (the page runs past it) or shows too little.
std::optional<double> edgeSkew(const std::vector<double>& depths, int step, double sign) {
    std::vector<std::pair<double, double>> points;
    for (std::size_t i = 0; i < depths.size(); ++i)
        if (depths[i] > 0.0) points.emplace_back(static_cast<double>(i) * step, depths[i]);
    // An edge shown along less than a third of the scan is not measured.
    if (points.size() < 20 || points.size() * 3 < depths.size()) return std::nullopt;
    const std::size_t half = points.size() / 2;
    std::vector<double> slopes;
    slopes.reserve(points.size() - half);
    for (std::size_t i = 0; i + half < points.size(); ++i)
        slopes.push_back((points[i + half].second - points[i].second) / (points[i + half].first - points[i].first));
    const double slope0 = medianOf(slopes);
    std::vector<double> offsets;
    offsets.reserve(points.size());
    for (const auto& [x, y] : points) offsets.push_back(y - slope0 * x);
    const double offset0 = medianOf(offsets);
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const auto& [x, y] : points) {
        if (std::abs(y - (slope0 * x + offset0)) > 1.5) continue;
        n += 1, sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    const double denominator = n * sxx - sx * sx;
    // A straight edge puts most of its points on one line; the first light
    // of a dark photograph does not.
    if (n < 20 || n < 0.6 * static_cast<double>(points.size()) || denominator <= 0.0) return std::nullopt;
    const double slope = (n * sxy - sx * sy) / denominator;
    return sign * std::atan(slope) * 180.0 / kPi;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// How far in from a border the straightened page starts: the deepest
// paper along the middle four fifths of the edge, up to the next whole
// pixel, so that no strip of background is left along it (a straightened
// edge still wanders by a fraction of a pixel); positions more than two
// pixels deeper than the median (a notch, a tear) do not count.
int edgeDepth(const std::vector<double>& depths) {
    const std::size_t n = depths.size();
    std::vector<double> middle;
    for (std::size_t i = n / 10; i < n - n / 10; ++i)
        if (depths[i] >= 0.0) middle.push_back(depths[i]);
    if (middle.empty()) return -1;
    const double typical = medianOf(middle);
    double deepest = typical;
    for (double d : middle)
        if (d <= typical + 1.0) deepest = std::max(deepest, d);
    return static_cast<int>(std::ceil(deepest));
}

// The page turned back by its clockwise skew, about its centre, into a
// picture of width x height; what the page does not cover gets fill.
ImageOwner straightened(TI_IMAGE page, double skew, int width, int height, int fill) {
    const TI_IMAGE_INFO info = imageLayout(page);
    ImageOwner out(ti_CreateImage2(width, height, info.pixelFormat, info.xDpi, info.yDpi));
    // The toolkit turns counter-clockwise, which undoes a clockwise skew.
    if (!out || ti_Rotate(page, out.get(), skew, fill) != TI_OK) return {};
    return out;
}

}  // namespace

std::optional<PageOutline> findPageOnBackground(TI_IMAGE scan) {
    const Luminance lum(scan);
    if (!lum.valid() || lum.width() < 16 || lum.height() < 16) return std::nullopt;
    const int w = lum.width(), h = lum.height();
    std::array<std::uint64_t, 256> histogram{};
    const int sample = std::max(1, std::min(w, h) / 300);
    for (int y = 0; y < h; y += sample)
        for (int x = 0; x < w; x += sample) ++histogram[static_cast<std::size_t>(lum.at(x, y))];
    const Split split = otsu(histogram);
    // Paper against a background: two well separated classes...
    if (split.lightMean - split.darkMean < 60.0) return std::nullopt;
    // ...and the scan's border mostly background.
    std::uint64_t border = 0, dark = 0;
    auto count = [&](int x, int y) {
        ++border;
        dark += lum.at(x, y) < split.level ? 1 : 0;
    };
    for (int x = 0; x < w; x += sample) count(x, 0), count(x, h - 1);
    for (int y = 0; y < h; y += sample) count(0, y), count(w - 1, y);
    if (dark * 10 < border * 6) return std::nullopt;

    const EdgeDepths e = edgeDepths(lum, split.level, std::max(1, std::min(w, h) / 400));
    std::vector<double> angles;
    // Seen from the top, a page turned clockwise goes deeper to the right;
    // from the bottom, shallower; from the left, shallower downwards.
    for (const auto& a : {edgeSkew(e.top, e.step, 1.0), edgeSkew(e.bottom, e.step, -1.0), edgeSkew(e.left, e.step, -1.0),
                          edgeSkew(e.right, e.step, 1.0)})
        if (a) angles.push_back(*a);
    // Two edges at least, and the page's edges agree on its skew.
    if (angles.size() < 2) return std::nullopt;
    const auto [low, high] = std::minmax_element(angles.begin(), angles.end());
    if (*high - *low > kEdgeAgreement) return std::nullopt;
    PageOutline outline;
    outline.skew = median(angles);
    outline.lightLevel = split.level;
    if (std::abs(outline.skew) > kMaxEdgeSkew) return std::nullopt;
    return outline;
}

ImageOwner autoSized(ImageOwner page, int dpi) {
    if (!page) return page;
    const TI_IMAGE_INFO info = imageLayout(page.get());
    const std::optional<PageOutline> outline = findPageOnBackground(page.get());
    if (!outline) {
        const std::optional<double> skew = contentSkew(page.get(), dpi);
        if (!skew || std::abs(*skew) < kMinSkew) return page;
        return straightened(page.get(), *skew, info.width, info.height, 0xFFFFFF);
    }

    ImageOwner straight;
    TI_IMAGE current = page.get();
    if (std::abs(outline->skew) >= kMinSkew) {
        // Large enough that no corner of the scan is cut off.
        const double r = outline->skew * kPi / 180.0;
        const double c = std::abs(std::cos(r)), s = std::abs(std::sin(r));
        const int w = static_cast<int>(std::ceil(info.width * c + info.height * s));
        const int h = static_cast<int>(std::ceil(info.width * s + info.height * c));
        straight = straightened(page.get(), outline->skew, w, h, 0x000000);
        if (!straight) return {};
        current = straight.get();
    }

    const Luminance lum(current);
    const EdgeDepths e = edgeDepths(lum, outline->lightLevel, 1);
    const int top = edgeDepth(e.top);
    const int bottom = edgeDepth(e.bottom);
    const int left = edgeDepth(e.left);
    const int right = edgeDepth(e.right);
    const int width = lum.width() - left - right;
    const int height = lum.height() - top - bottom;
    // Edges that leave no sensible page behind (less than a fifth of an
    // inch) leave the scan as it is, straightened.
    const int smallest = std::max(8, dpi / 5);
    if (top < 0 || bottom < 0 || left < 0 || right < 0 || width < smallest || height < smallest)
        return straight ? std::move(straight) : std::move(page);
    ImageOwner cropped(ti_CreateImage2(width, height, info.pixelFormat, info.xDpi, info.yDpi));
    if (!cropped || ti_CopyRect(current, cropped.get(), left, top, -1) != TI_OK) return {};
    return cropped;
}

}  // namespace dociva_sdk
