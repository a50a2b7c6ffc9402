// What each processing step of our SDK costs on one 300 dpi A4 colour page
// (bench::makePage: text lines, a photograph, a logo), and what a side
// costs with deskew, orientation, blank-page test, punch holes and the
// barcode read all on. Each iteration processes a fresh copy of the page;
// the copy is not timed.
//   pages_per_min  pages per minute of one core at that cost
//
//   cmake --preset bench && cmake --build --preset bench
//   build/bench/bench/sdk_processing_bench
#include <benchmark/benchmark.h>

#include <cmath>
#include <functional>

#include "bench/bench_support.h"
#include "libs/dociva-sdk/barcode_reader.h"
#include "libs/dociva-sdk/page_geometry.h"
#include "libs/dociva-sdk/page_holes.h"
#include "libs/dociva-sdk/page_processing.h"
#include "libs/dociva-sdk/page_text.h"
#include "libs/dociva-sdk/page_tone.h"

using dociva_sdk::ImageOwner;

namespace {

constexpr int kDpi = 300;

// The page as a scanner with a dark background gives it: turned 3 degrees
// clockwise, on black, a quarter inch of background all round.
ImageOwner onDarkBackground(TI_IMAGE page) {
    ImageOwner out(ti_CreateImage2(bench::kWidth + 300, bench::kHeight + 300, TI_BGR24, kDpi, kDpi));
    ti_Rotate(page, out.get(), -3.0, 0x000000);
    return out;
}

// Two punch holes 6 mm across, 12 mm from the left edge.
void punch(TI_IMAGE page) {
    TI_IMAGE_INFO info{};
    info.size = sizeof(info);
    ti_GetInfo(page, &info);
    const double r = 3.0 * kDpi / 25.4, x0 = 12.0 * kDpi / 25.4;
    for (double y0 : {bench::kHeight / 2.0 - 945, bench::kHeight / 2.0 + 945})
        for (int y = static_cast<int>(y0 - r); y <= static_cast<int>(y0 + r); ++y)
            for (int x = static_cast<int>(x0 - r); x <= static_cast<int>(x0 + r); ++x)
                if (std::hypot(x - x0, y - y0) <= r)
                    for (int c = 0; c < 3; ++c) info.data[static_cast<std::ptrdiff_t>(y) * info.stride + x * 3 + c] = 15;
}

struct Pages {
    ImageOwner plain{bench::makePage()};
    ImageOwner dark = onDarkBackground(plain.get());
    ImageOwner turned = [this] {
        ImageOwner out(ti_CreateImage2(bench::kHeight, bench::kWidth, TI_BGR24, kDpi, kDpi));
        ti_Orientate(plain.get(), out.get(), 90);
        return out;
    }();
    ImageOwner holed = [this] {
        ImageOwner out(ti_CloneImage(plain.get()));
        punch(out.get());
        return out;
    }();
};

const Pages& pages() {
    static const Pages p;
    return p;
}

void timed(benchmark::State& state, TI_IMAGE source, const std::function<ImageOwner(ImageOwner)>& step) {
    for (auto _ : state) {
        state.PauseTiming();
        ImageOwner copy(ti_CloneImage(source));
        state.ResumeTiming();
        ImageOwner out = step(std::move(copy));
        benchmark::DoNotOptimize(out.get());
        state.PauseTiming();
        out.reset();
        state.ResumeTiming();
    }
    state.counters["pages_per_min"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 60.0, benchmark::Counter::kIsRate);
}

void BM_Tone(benchmark::State& state) {
    timed(state, pages().plain.get(), [](ImageOwner p) { return dociva_sdk::toned(std::move(p), {120, 110, 110}); });
}
void BM_DropOut(benchmark::State& state) {
    timed(state, pages().plain.get(),
          [](ImageOwner p) { return dociva_sdk::droppedOut(std::move(p), dociva_sdk::DropOut::Red); });
}
void BM_AutoSizeOnDarkBackground(benchmark::State& state) {
    timed(state, pages().dark.get(), [](ImageOwner p) { return dociva_sdk::autoSized(std::move(p), kDpi); });
}
void BM_AutoSizeFromText(benchmark::State& state) {
    timed(state, pages().plain.get(), [](ImageOwner p) { return dociva_sdk::autoSized(std::move(p), kDpi); });
}
void BM_Orientation(benchmark::State& state) {
    timed(state, pages().turned.get(), [](ImageOwner p) {
        benchmark::DoNotOptimize(dociva_sdk::uprightTurn(p.get()));
        return p;
    });
}
void BM_PunchHoles(benchmark::State& state) {
    timed(state, pages().holed.get(), [](ImageOwner p) { return dociva_sdk::punchHolesErased(std::move(p), kDpi); });
}
void BM_BarcodeNone(benchmark::State& state) {
    timed(state, pages().plain.get(), [](ImageOwner p) {
        dociva_sdk::BarcodeOptions o;
        o.wanted = true;
        benchmark::DoNotOptimize(dociva_sdk::readBarcode(p.get(), o));
        return p;
    });
}
// Deskew, orientation, blank-page test and punch holes through the side's
// processing, then the barcode read the file name asks for.
void BM_AllOn(benchmark::State& state) {
    timed(state, pages().dark.get(), [](ImageOwner p) {
        dociva_sdk::ScanOptions o;
        o.dpi = kDpi;
        o.autoSize = true;
        o.autoOrient = true;
        o.dropBlankPages = true;
        o.erasePunchHoles = true;
        bool blank = false;
        ImageOwner out = dociva_sdk::processSide(std::move(p), o, blank);
        dociva_sdk::BarcodeOptions b;
        b.wanted = true;
        benchmark::DoNotOptimize(dociva_sdk::readBarcode(out.get(), b));
        return out;
    });
}

BENCHMARK(BM_Tone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DropOut)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AutoSizeOnDarkBackground)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AutoSizeFromText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Orientation)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PunchHoles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BarcodeNone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AllOn)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
