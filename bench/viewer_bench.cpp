// What the viewer costs on scanned pages: the synthetic 300 dpi A4 colour
// page of timage_bench (2480 x 3508, a JPEG at quality 75).
//   ViewerAddPage        one page brought into the viewer: load, page count,
//                        the display image fitted into 657 x 792, and one
//                        paint of the window (665 x 800)
//   ViewerPaint/N        one paint of a screen of layout N (1, 4 or 9 pages)
//   ViewerRewriteTiff10  one rotation of the first page of a 10-page JPEG
//                        TIFF, the whole file written back (every page
//                        decoded, fitted again and encoded at quality 60)
//   ViewerRewritePdf10   the same for a 10-page PDF through our PDF library
//   ViewerRotateJpeg/N   one quarter turn to the right of a one-page JPEG
//                        document, the file written and the display image
//                        made again, timed in the same run as jpegtran
//                        -rotate 90 on the same file (a whole process);
//                        counters ours_ms, jpegtran_ms and ratio (ours
//                        over jpegtran). N = 0: the A4 page, whose 3508
//                        rows are no whole number of blocks, so ours
//                        encodes it once at its own quality where
//                        jpegtran leaves the edge blocks unturned; N = 1:
//                        the page cut to 2480 x 3504, whole blocks, both
//                        lossless
//   ViewerMemory200      200 pages held by the viewer: resident memory
//                        grown per page (bytes_per_page) beside the size
//                        of one display image (display_bytes)
// Reference tools, run as whole processes (wall time, their start
// included; *Start is a run doing no work). Their counter cpu_ms is the
// processor time the program used per run, which a busy machine disturbs
// less than the wall time; compare it with the CPU column of ours.
//   VipsthumbnailAdd     vipsthumbnail fitting the page into 657 x 792
//   ConvertThumbnailAdd  ImageMagick's convert -thumbnail 657x792
//   TiffcpRewrite10      tiffcp -c jpeg:60 decoding and encoding the same
//                        10-page JPEG TIFF
//
//   cmake --preset bench && cmake --build --preset bench
//   build/bench/bench/viewer_bench
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "output/multi_pdf.h"
#include "platform/offscreen_canvas.h"
#include "platform/text.h"
#include "viewer/document_writer.h"
#include "viewer/image_viewer.h"
#include "viewer/viewer_painter.h"

namespace {

using namespace bench;

constexpr int kPages = 10;

// ImageMagick's own convert: a PATH entry of that name may be a wrapper
// whose extra start would be timed with it.
std::string convertProgram() { return installed("/usr/bin/convert") ? "/usr/bin/convert" : "convert"; }

double childCpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// timeProgram, and the processor time the program took per run.
bool timeTool(benchmark::State& state, const std::vector<std::string>& argv) {
    const double before = childCpuMs();
    if (!timeProgram(state, argv)) return false;
    state.counters["cpu_ms"] = (childCpuMs() - before) / static_cast<double>(state.iterations());
    return true;
}

long residentBytes() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return -1;
    const int got = std::fscanf(f, "%ld %ld", &pages, &resident);
    std::fclose(f);
    return got == 2 ? resident * ::sysconf(_SC_PAGESIZE) : -1;
}

struct Fixture {
    std::string folder;
    std::string jpeg;
    std::string tiff;  // 10 pages, JPEG at quality 60
    std::string pdf;   // 10 pages
    std::string wholeBlocks;  // the JPEG page cut to whole 16 x 16 blocks
    std::unique_ptr<CMultiPDF> pdfLibrary;
    bool ready = false;

    Fixture() {
        char templ[] = "/tmp/viewer_bench_XXXXXX";
        folder = ::mkdtemp(templ) ? templ : "/tmp";
        ready = timage::library().load(text::fromUtf8(DOCIVA_TIMAGE_FOLDER)) == timage::kLoaded;
        pdfLibrary = std::make_unique<CMultiPDF>(text::fromUtf8(DOCIVA_QIXIPF_FOLDER));
        jpeg = folder + "/page.jpg";
        TI_IMAGE page = makePage();
        ti_SaveImage2(widen(jpeg).c_str(), page, 7, 75, 0);
        ti_ReleaseImage(&page);
        TI_IMAGE decoded = ti_LoadImage(widen(jpeg).c_str());
        wholeBlocks = folder + "/blocks.jpg";
        if (TI_IMAGE cut = ti_CreateImage(kWidth, kHeight / 16 * 16, TI_BGR24)) {
            ti_CopyRect(decoded, cut, 0, 0, -1);
            ti_SetDpi(cut, 300, 300);
            ti_SaveImage2(widen(wholeBlocks).c_str(), cut, 7, 75, 0);
            ti_ReleaseImage(&cut);
        }
        ti_SetJpegQuality(decoded, 60);
        tiff = folder + "/ten.tif";
        CMultiTiff writer;
        writer.Open(widen(tiff));
        for (int i = 0; i < kPages; ++i) writer.AddPage(decoded, 60);
        writer.Close();
        pdf = folder + "/ten.pdf";
        CMultiPDF::Document doc = pdfLibrary->CreateIF();
        if (doc && doc.create() == 0) {
            doc.setJpegQuality(60);
            for (int i = 0; i < kPages; ++i) doc.addPage(decoded);
            doc.save(widen(pdf).c_str());
        }
        ti_ReleaseImage(&decoded);
    }
    ~Fixture() { std::system(("rm -rf '" + folder + "'").c_str()); }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

bool ready(benchmark::State& state) {
    if (fixture().ready) return true;
    state.SkipWithError("the image toolkit did not load");
    return false;
}

std::unique_ptr<platform::OffscreenCanvas> windowCanvas() {
    return platform::createOffscreenCanvas(kViewerWidth, kViewerHeight);
}

void ViewerAddPage(benchmark::State& state) {
    if (!ready(state)) return;
    const std::u16string path = widen(fixture().jpeg);
    auto canvas = windowCanvas();
    for (auto _ : state) {
        CImageViewer viewer(nullptr);
        if (!viewer.AddImage(path, -1)) {
            state.SkipWithError("the page was not added");
            break;
        }
        PaintViewer(viewer, *canvas);
    }
}
BENCHMARK(ViewerAddPage)->Unit(benchmark::kMillisecond);

void VipsthumbnailAdd(benchmark::State& state) {
    timeTool(state, {"vipsthumbnail", fixture().jpeg, "-s", "657x792", "-o", fixture().folder + "/vips.jpg"});
}
BENCHMARK(VipsthumbnailAdd)->Unit(benchmark::kMillisecond)->UseRealTime();

void VipsthumbnailStart(benchmark::State& state) { timeTool(state, {"vipsthumbnail", "--help"}); }
BENCHMARK(VipsthumbnailStart)->Unit(benchmark::kMillisecond)->UseRealTime();

void ConvertThumbnailAdd(benchmark::State& state) {
    timeTool(state, {convertProgram(), fixture().jpeg, "-thumbnail", "657x792", fixture().folder + "/im.jpg"});
}
BENCHMARK(ConvertThumbnailAdd)->Unit(benchmark::kMillisecond)->UseRealTime();

void ConvertStart(benchmark::State& state) { timeTool(state, {convertProgram(), "-version"}); }
BENCHMARK(ConvertStart)->Unit(benchmark::kMillisecond)->UseRealTime();

void ViewerPaint(benchmark::State& state) {
    if (!ready(state)) return;
    const std::u16string path = widen(fixture().jpeg);
    CImageViewer viewer(nullptr);
    for (int i = 0; i < 9; ++i) viewer.AddImage(path, -1);
    viewer.SetViewMode(static_cast<int>(state.range(0)));
    viewer.GoFirstPage();
    auto canvas = windowCanvas();
    for (auto _ : state) PaintViewer(viewer, *canvas);
}
BENCHMARK(ViewerPaint)->Arg(1)->Arg(4)->Arg(9)->Unit(benchmark::kMillisecond);

// One rotation of the first page and the document written back; the next
// iteration turns it further.
void rewriteAfterRotation(benchmark::State& state, const std::string& source, const CMultiPDF* pdf) {
    if (!ready(state)) return;
    const std::string copy = fixture().folder + "/rewrite" + source.substr(source.rfind('.'));
    if (!bench::run({"cp", source, copy})) {
        state.SkipWithError("no document to rewrite");
        return;
    }
    CImageViewer viewer(pdf);
    if (!viewer.AddImage(widen(copy), -1) || viewer.PageCount(0) != kPages) {
        state.SkipWithError("the document did not open with its 10 pages");
        return;
    }
    for (auto _ : state) {
        if (viewer.Rotate(90) != 0) {
            state.SkipWithError("rotation failed");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(fileSize(copy));
}

void ViewerRewriteTiff10(benchmark::State& state) { rewriteAfterRotation(state, fixture().tiff, nullptr); }
BENCHMARK(ViewerRewriteTiff10)->Unit(benchmark::kMillisecond);

void ViewerRewritePdf10(benchmark::State& state) {
    if (!fixture().pdfLibrary->available()) {
        state.SkipWithError("the PDF library did not load");
        return;
    }
    rewriteAfterRotation(state, fixture().pdf, fixture().pdfLibrary.get());
}
BENCHMARK(ViewerRewritePdf10)->Unit(benchmark::kMillisecond);

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void ViewerRotateJpeg(benchmark::State& state) {
    if (!ready(state)) return;
    if (!installed("jpegtran")) {
        state.SkipWithError("jpegtran is not installed (libjpeg-turbo-progs)");
        return;
    }
    const std::string source = state.range(0) == 0 ? fixture().jpeg : fixture().wholeBlocks;
    const std::string copy = fixture().folder + "/turned.jpg";
    const std::string reference = fixture().folder + "/jpegtran.jpg";
    if (!bench::run({"cp", source, copy})) {
        state.SkipWithError("no page to turn");
        return;
    }
    CImageViewer viewer(nullptr);
    if (!viewer.AddImage(widen(copy), -1)) {
        state.SkipWithError("the page did not open");
        return;
    }
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (viewer.Rotate(270) != 0) {
            state.SkipWithError("rotation failed");
            break;
        }
        ours += msSince(start);
        state.PauseTiming();
        const auto toolStart = std::chrono::steady_clock::now();
        const bool ran = bench::run({"jpegtran", "-rotate", "90", "-copy", "all", "-outfile", reference, source});
        theirs += msSince(toolStart);
        state.ResumeTiming();
        if (!ran) {
            state.SkipWithError("jpegtran failed");
            break;
        }
    }
    const double n = static_cast<double>(state.iterations());
    if (n > 0 && theirs > 0) {
        state.counters["ours_ms"] = ours / n;
        state.counters["jpegtran_ms"] = theirs / n;
        state.counters["ratio"] = ours / theirs;
    }
    state.counters["bytes"] = static_cast<double>(fileSize(copy));
}
BENCHMARK(ViewerRotateJpeg)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void TiffcpRewrite10(benchmark::State& state) {
    if (timeTool(state, {"tiffcp", "-c", "jpeg:60", fixture().tiff, fixture().folder + "/tiffcp.tif"}))
        state.counters["bytes"] = static_cast<double>(fileSize(fixture().folder + "/tiffcp.tif"));
}
BENCHMARK(TiffcpRewrite10)->Unit(benchmark::kMillisecond)->UseRealTime();

void ViewerMemory200(benchmark::State& state) {
    if (!ready(state)) return;
    constexpr int kHeld = 200;
    const std::u16string path = widen(fixture().jpeg);
    double perPage = 0;
    double display = 0;
    for (auto _ : state) {
        auto viewer = std::make_unique<CImageViewer>(nullptr);
        viewer->AddImage(path, -1);  // the first add's one-time costs are not the pages'
        const long before = residentBytes();
        for (int i = 1; i <= kHeld; ++i) viewer->AddImage(path, -1);
        const long after = residentBytes();
        perPage = static_cast<double>(after - before) / kHeld;
        viewer->WithDocument(0, [&](ViewerDocument* d) {
            const TI_IMAGE_INFO info = imageInfo(d->pages.front()->DisplayImage());
            display = static_cast<double>(info.stride) * info.height;
        });
        state.PauseTiming();
        viewer.reset();
        state.ResumeTiming();
    }
    state.counters["bytes_per_page"] = perPage;
    state.counters["display_bytes"] = display;
}
BENCHMARK(ViewerMemory200)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
