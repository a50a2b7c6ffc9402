#include "libs/timage/core/resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace timage {
namespace {

constexpr int kWeightBits = 14;
constexpr int kWeightOne = 1 << kWeightBits;
// The horizontal pass keeps 7 bits below the byte.
constexpr int kExtraBits = 7;
constexpr int kMaxIntermediate = 255 << kExtraBits;

// The source taps of each destination pixel along one axis.
struct Axis {
    std::vector<int> first;   // first source index of output i
    std::vector<int> count;   // taps of output i
    std::vector<int> offset;  // start of output i's weights
    std::vector<std::int32_t> weights;
    int maxCount = 0;
};

double triangle(double t) {
    t = std::fabs(t);
    return t < 1.0 ? 1.0 - t : 0.0;
}

double catmullRom(double t) {
    t = std::fabs(t);
    if (t < 1.0) return (1.5 * t - 2.5) * t * t + 1.0;
    if (t < 2.0) return ((-0.5 * t + 2.5) * t - 4.0) * t + 2.0;
    return 0.0;
}

// start/length: the source interval mapped onto outputs 0..outputs-1;
// limit: the source's size along the axis (indices are clamped to it).
Axis buildAxis(double start, double length, int limit, int outputs, int mode) {
    Axis axis;
    axis.first.resize(static_cast<std::size_t>(outputs));
    axis.count.resize(static_cast<std::size_t>(outputs));
    axis.offset.resize(static_cast<std::size_t>(outputs));
    const double scale = length / outputs;  // source pixels per output pixel
    std::vector<double> taps;               // weights by source index, from lo
    for (int i = 0; i < outputs; ++i) {
        int lo = 0, hi = 0;  // unclamped source index range [lo, hi]
        taps.clear();
        if (mode == TI_INTER_NEAREST) {
            lo = hi = static_cast<int>(std::floor(start + (i + 0.5) * scale));
            taps.push_back(1.0);
        } else if (mode == TI_INTER_AREA) {
            const double a = start + i * scale, b = a + scale;
            lo = static_cast<int>(std::floor(a));
            hi = std::max(lo, static_cast<int>(std::ceil(b)) - 1);
            for (int j = lo; j <= hi; ++j) taps.push_back(std::max(0.0, std::min(b, j + 1.0) - std::max(a, double(j))));
        } else {
            const double centre = start + (i + 0.5) * scale - 0.5;
            const double widen = std::max(1.0, scale);
            const double radius = (mode == TI_INTER_CUBIC ? 2.0 : 1.0) * widen;
            lo = static_cast<int>(std::ceil(centre - radius));
            hi = static_cast<int>(std::floor(centre + radius));
            for (int j = lo; j <= hi; ++j) {
                const double t = (j - centre) / widen;
                taps.push_back(mode == TI_INTER_CUBIC ? catmullRom(t) : triangle(t));
            }
        }
        // Fold taps beyond the edges onto the edge pixels.
        const int first = std::clamp(lo, 0, limit - 1);
        const int last = std::clamp(hi, 0, limit - 1);
        std::vector<double> folded(static_cast<std::size_t>(last - first + 1), 0.0);
        for (int j = lo; j <= hi; ++j) folded[static_cast<std::size_t>(std::clamp(j, 0, limit - 1) - first)] += taps[static_cast<std::size_t>(j - lo)];
        double sum = 0.0;
        for (double w : folded) sum += w;
        if (!(sum > 1e-12)) {  // a window with no weight: the nearest pixel
            std::fill(folded.begin(), folded.end(), 0.0);
            folded[static_cast<std::size_t>(std::clamp(static_cast<int>(std::lround((lo + hi) / 2.0)), first, last) - first)] = 1.0;
            sum = 1.0;
        }
        // Fixed point that sums to exactly one; the rounding rest goes to the
        // largest tap.
        axis.first[static_cast<std::size_t>(i)] = first;
        axis.count[static_cast<std::size_t>(i)] = static_cast<int>(folded.size());
        axis.offset[static_cast<std::size_t>(i)] = static_cast<int>(axis.weights.size());
        std::int32_t total = 0;
        std::size_t largest = axis.weights.size();
        for (double w : folded) {
            const auto q = static_cast<std::int32_t>(std::lround(w / sum * kWeightOne));
            if (axis.weights.size() == largest || q > axis.weights[largest]) largest = axis.weights.size();
            axis.weights.push_back(q);
            total += q;
        }
        axis.weights[largest] += kWeightOne - total;
        axis.maxCount = std::max(axis.maxCount, static_cast<int>(folded.size()));
    }
    return axis;
}

template <int B>
void horizontal(const std::uint8_t* in, std::int16_t* out, const Axis& axis, int outputs) {
    for (int i = 0; i < outputs; ++i) {
        const std::uint8_t* p = in + static_cast<std::ptrdiff_t>(axis.first[static_cast<std::size_t>(i)]) * B;
        const std::int32_t* w = axis.weights.data() + axis.offset[static_cast<std::size_t>(i)];
        const int n = axis.count[static_cast<std::size_t>(i)];
        std::int32_t acc[B] = {};
        for (int k = 0; k < n; ++k, p += B)
            for (int c = 0; c < B; ++c) acc[c] += w[k] * p[c];
        for (int c = 0; c < B; ++c) {
            const std::int32_t v = (acc[c] + (1 << (kWeightBits - kExtraBits - 1))) >> (kWeightBits - kExtraBits);
            out[i * B + c] = static_cast<std::int16_t>(std::clamp(v, 0, kMaxIntermediate));
        }
    }
}

void horizontalAny(int format, const std::uint8_t* in, std::int16_t* out, const Axis& axis, int outputs) {
    switch (format) {
    case TI_GRAY8: horizontal<1>(in, out, axis, outputs); break;
    case TI_BGR24: horizontal<3>(in, out, axis, outputs); break;
    default: horizontal<4>(in, out, axis, outputs); break;
    }
}

}  // namespace

int resample(const ti_image_& source, const SourceArea& from, ti_image_& destination, const TI_RECT& to, int mode) {
    if (source.format != destination.format || &source == &destination) return TI_ERR_ARGUMENT;
    if (mode < TI_INTER_NEAREST || mode > TI_INTER_AREA) return TI_ERR_ARGUMENT;
    if (!(from.width > 0) || !(from.height > 0) || to.width < 1 || to.height < 1) return TI_ERR_ARGUMENT;
    const int B = source.format;
    const int dw = to.width, dh = to.height;
    const Axis ax = buildAxis(from.left, from.width, source.width, dw, mode);
    const Axis ay = buildAxis(from.top, from.height, source.height, dh, mode);

    if (mode == TI_INTER_NEAREST) {
        for (int y = 0; y < dh; ++y) {
            const std::uint8_t* in = source.row(ay.first[static_cast<std::size_t>(y)]);
            std::uint8_t* out = destination.row(to.top + y) + static_cast<std::ptrdiff_t>(to.left) * B;
            for (int x = 0; x < dw; ++x, out += B)
                std::memcpy(out, in + static_cast<std::ptrdiff_t>(ax.first[static_cast<std::size_t>(x)]) * B, static_cast<std::size_t>(B));
        }
        return TI_OK;
    }

    // Horizontally scaled source rows in a ring as deep as the largest
    // vertical window: windows only move down, so a row is never needed
    // again once it has been overwritten.
    const std::size_t rowValues = static_cast<std::size_t>(dw) * B;
    const int ringRows = ay.maxCount;
    std::vector<std::int16_t> ring(rowValues * static_cast<std::size_t>(ringRows));
    std::vector<int> held(static_cast<std::size_t>(ringRows), -1);
    std::vector<std::int32_t> acc(rowValues);
    for (int y = 0; y < dh; ++y) {
        const int first = ay.first[static_cast<std::size_t>(y)];
        const int n = ay.count[static_cast<std::size_t>(y)];
        const std::int32_t* w = ay.weights.data() + ay.offset[static_cast<std::size_t>(y)];
        std::fill(acc.begin(), acc.end(), 0);
        for (int k = 0; k < n; ++k) {
            const int sy = first + k;
            const auto slot = static_cast<std::size_t>(sy % ringRows);
            std::int16_t* line = ring.data() + slot * rowValues;
            if (held[slot] != sy) {
                horizontalAny(B, source.row(sy), line, ax, dw);
                held[slot] = sy;
            }
            const std::int32_t wk = w[k];
            for (std::size_t i = 0; i < rowValues; ++i) acc[i] += wk * line[i];
        }
        std::uint8_t* out = destination.row(to.top + y) + static_cast<std::ptrdiff_t>(to.left) * B;
        constexpr int shift = kWeightBits + kExtraBits;
        for (std::size_t i = 0; i < rowValues; ++i)
            out[i] = static_cast<std::uint8_t>(std::clamp((acc[i] + (1 << (shift - 1))) >> shift, 0, 255));
    }
    return TI_OK;
}

}  // namespace timage
