// What the image toolkit costs on a scanned page: a synthetic 300 dpi A4
// colour page (2480 x 3508) saved as a JPEG, as the scanner writes it.
//   ViewerOpenPage   the viewer's open: load, page count, fitted image,
//                    scale into 657 x 792 (the reduced JPEG decode)
//   FullDecodeFit    the same through a whole decode first, for comparison
//   Rotate90         a quarter turn of the decoded page
//   JpegSaveQ60      the document writer's JPEG save at quality 60
//   TenPageJpegTiff  the multi-page writer, 10 pages, JPEG at quality 60
//   TiffcpTenPages   libtiff's tiffcp doing the same from an uncompressed
//                    10-page file, when tiffcp is installed
//   ConvertTenPages  ImageMagick's convert making the same 10-page JPEG TIFF
//                    (quality 60) from the JPEG page given ten times
//   ViewerOpenPageSaveJpeg  the viewer's open plus a JPEG save (quality 75)
//                    of the fitted image: the work vipsthumbnail does
//   VipsthumbnailFit vipsthumbnail fitting the JPEG page into 657 x 792
//   *Start           the same programs doing no work (--help, -version):
//                    their start cost, to take off the whole-process times
//
// Ours runs in-process; the reference tools are whole processes (spawned
// directly, no shell), so their figures are wall time (UseRealTime) and
// include the start of the program and its libraries.
//
//   cmake --preset bench && cmake --build --preset bench
//   build/bench/bench/timage_bench
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "libs/timage/timage.h"

namespace {

using namespace bench;

constexpr int kBoxWidth = 657, kBoxHeight = 792;


// ImageMagick's own convert: a PATH entry of that name may be a wrapper
// whose extra start would be timed with it.
std::string convertProgram() { return installed("/usr/bin/convert") ? "/usr/bin/convert" : "convert"; }


JpegPage& fixture() {
    static JpegPage f("timage_bench");
    return f;
}

TI_IMAGE fittedImage(TI_IMAGE loaded, int width, int height) {
    const double sx = static_cast<double>(kBoxWidth) / width, sy = static_cast<double>(kBoxHeight) / height;
    const double scale = sy > sx ? sx : sy;
    TI_IMAGE fitted = ti_CreateImage(static_cast<int>(scale * width + 0.5), static_cast<int>(scale * height + 0.5), TI_BGR24);
    ti_Resize(loaded, fitted, TI_INTER_LINEAR);
    return fitted;
}

void fitInto(TI_IMAGE loaded, int width, int height) {
    TI_IMAGE fitted = fittedImage(loaded, width, height);
    ti_ReleaseImage(&fitted);
}

void ViewerOpenPage(benchmark::State& state) {
    const std::u16string path = widen(fixture().jpeg);
    for (auto _ : state) {
        TI_IMAGE loaded = ti_LoadImage(path.c_str());
        TI_FILE_INFO file{};
        file.size = sizeof file;
        ti_GetImageInfo(path.c_str(), &file);
        fitInto(loaded, file.width, file.height);
        ti_ReleaseImage(&loaded);
    }
    state.counters["jpeg_bytes"] = static_cast<double>(fileSize(fixture().jpeg));
}
BENCHMARK(ViewerOpenPage)->Unit(benchmark::kMillisecond);

void ViewerOpenPageSaveJpeg(benchmark::State& state) {
    const std::u16string path = widen(fixture().jpeg);
    const std::string out = fixture().folder + "/fitted.jpg";
    const std::u16string outPath = widen(out);
    for (auto _ : state) {
        TI_IMAGE loaded = ti_LoadImage(path.c_str());
        TI_FILE_INFO file{};
        file.size = sizeof file;
        ti_GetImageInfo(path.c_str(), &file);
        TI_IMAGE fitted = fittedImage(loaded, file.width, file.height);
        if (ti_SaveImage2(outPath.c_str(), fitted, 7, 75, 0) != TI_OK) state.SkipWithError("JPEG save failed");
        ti_ReleaseImage(&fitted);
        ti_ReleaseImage(&loaded);
    }
    state.counters["bytes"] = static_cast<double>(fileSize(out));
}
BENCHMARK(ViewerOpenPageSaveJpeg)->Unit(benchmark::kMillisecond);

void VipsthumbnailFit(benchmark::State& state) {
    const std::string out = fixture().folder + "/vips_fitted.jpg";
    if (timeProgram(state, {"vipsthumbnail", fixture().jpeg, "-s", "657x792", "-o", out}))
        state.counters["bytes"] = static_cast<double>(fileSize(out));
}
BENCHMARK(VipsthumbnailFit)->Unit(benchmark::kMillisecond)->UseRealTime();

void VipsthumbnailStart(benchmark::State& state) { timeProgram(state, {"vipsthumbnail", "--help"}); }
BENCHMARK(VipsthumbnailStart)->Unit(benchmark::kMillisecond)->UseRealTime();

void FullDecodeFit(benchmark::State& state) {
    const std::u16string path = widen(fixture().jpeg);
    for (auto _ : state) {
        TI_IMAGE loaded = ti_LoadImage(path.c_str());
        TI_IMAGE_INFO info{};
        info.size = sizeof info;
        ti_GetInfo(loaded, &info);  // needs the pixels: a whole decode
        fitInto(loaded, info.width, info.height);
        ti_ReleaseImage(&loaded);
    }
}
BENCHMARK(FullDecodeFit)->Unit(benchmark::kMillisecond);

void Rotate90(benchmark::State& state) {
    TI_IMAGE turned = ti_CreateImage(kHeight, kWidth, TI_BGR24);
    for (auto _ : state) ti_Orientate(fixture().decoded, turned, 90);
    ti_ReleaseImage(&turned);
}
BENCHMARK(Rotate90)->Unit(benchmark::kMillisecond);

void JpegSaveQ60(benchmark::State& state) {
    const std::string out = fixture().folder + "/saved.jpg";
    const std::u16string path = widen(out);
    for (auto _ : state) ti_SaveImage2(path.c_str(), fixture().decoded, 7, 60, 0);
    state.counters["bytes"] = static_cast<double>(fileSize(out));
}
BENCHMARK(JpegSaveQ60)->Unit(benchmark::kMillisecond);

void TenPageJpegTiff(benchmark::State& state) {
    const std::string out = fixture().folder + "/ten.tif";
    const std::u16string path = widen(out);
    TI_PARAM param{};
    param.id = TI_PARAM_COMPRESSION;
    param.value.intValue = TI_COMPRESSION_JPEG;
    ti_SetJpegQuality(fixture().decoded, 60);
    for (auto _ : state) {
        TI_MULTIPAGE writer = ti_MultiPageCreateHandle(path.c_str());
        for (int page = 0; page < 10; ++page) ti_MultiPageAddImage(writer, fixture().decoded, &param, 1);
        ti_MultiPageReleaseHandle(&writer);
    }
    state.counters["bytes"] = static_cast<double>(fileSize(out));
}
BENCHMARK(TenPageJpegTiff)->Unit(benchmark::kMillisecond);

void TiffcpTenPages(benchmark::State& state) {
    if (std::system("command -v tiffcp >/dev/null 2>&1") != 0) {
        state.SkipWithError("tiffcp is not installed");
        return;
    }
    const std::string raw = fixture().folder + "/raw.tif", out = fixture().folder + "/tiffcp.tif";
    TI_MULTIPAGE writer = ti_MultiPageCreateHandle(widen(raw).c_str());
    TI_PARAM param{};
    param.id = TI_PARAM_COMPRESSION;
    param.value.intValue = TI_COMPRESSION_NONE;
    for (int page = 0; page < 10; ++page) ti_MultiPageAddImage(writer, fixture().decoded, &param, 1);
    ti_MultiPageReleaseHandle(&writer);
    const std::vector<std::string> command{"tiffcp", "-c", "jpeg:60", "-r", "64", raw, out};
    for (auto _ : state) {
        if (!run(command)) {
            state.SkipWithError("tiffcp failed");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(fileSize(out));
}
BENCHMARK(TiffcpTenPages)->Unit(benchmark::kMillisecond)->UseRealTime();

void ConvertTenPages(benchmark::State& state) {
    const std::string program = convertProgram();
    if (!installed(program)) {
        state.SkipWithError("convert is not installed (imagemagick)");
        return;
    }
    const std::string out = fixture().folder + "/convert.tif";
    std::vector<std::string> command{program};
    for (int page = 0; page < 10; ++page) command.push_back(fixture().jpeg);
    for (const char* option : {"-compress", "jpeg", "-quality", "60"}) command.emplace_back(option);
    command.push_back(out);
    for (auto _ : state) {
        if (!run(command)) {
            state.SkipWithError("convert failed");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(fileSize(out));
}
BENCHMARK(ConvertTenPages)->Unit(benchmark::kMillisecond)->UseRealTime();

void ConvertStart(benchmark::State& state) { timeProgram(state, {convertProgram(), "-version"}); }
BENCHMARK(ConvertStart)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
