// What a full feeder batch costs through the virtual scanner SDK: 50
// generated 300 dpi A4 colour pages, each written as a JPEG file and into
// one multi-page PDF (outImg "1, 9"), from dociva_StartScanAsync to the
// run's last event.
//   pages_per_min  pages scanned and written per minute of wall time
//   peak_rss_MB    the process's peak resident memory after the batch
//   rss_growth_MB  how far the batch raised that peak
//   files          files the run reported (50 JPEG + 1 PDF expected)
//
//   cmake --preset bench && cmake --build --preset bench
//   build/bench/bench/sdk_bench
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "platform/text.h"
#include "scanner/dociva_sdk.h"
#include "settings/scan_settings.h"

namespace {

constexpr int kPages = 50;
constexpr int kDpi = 300;
constexpr double kA4Width = 8.27, kA4Height = 11.69;

// What one run reported.
struct RunLog {
    std::mutex mutex;
    std::condition_variable done;
    int files = 0;
    bool finished = false;
    int lastStatus = -1;
    int failureCode = 0;
};

// Statuses come without a context: the run being measured receives them.
std::atomic<RunLog*> g_statusLog{nullptr};

int onStatus(int code, int* data) {
    if (RunLog* log = g_statusLog) {
        std::lock_guard lock(log->mutex);
        log->lastStatus = code;
        if (code == DOCIVA_STATUS_SCAN_FAILED && data) log->failureCode = *data;
    }
    return code == DOCIVA_STATUS_BUTTON_PRESSED ? 1 : 0;
}

void onEvent(int type, void*, int, void* context) {
    auto* log = static_cast<RunLog*>(context);
    std::lock_guard lock(log->mutex);
    if (type == DOCIVA_EVENT_IMAGE_READY) ++log->files;
    if (type == DOCIVA_EVENT_PROCESSING_FINISHED) {
        log->finished = true;
        log->done.notify_all();
    }
}

double peakRssMegabytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

std::filesystem::path makeTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dociva-sdk-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return {};
    return pattern;
}

// A sheet-fed simplex scanner that generates its pages, with no warm-up.
bool writeDriver(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    std::ofstream ini(folder / "module.ini", std::ios::binary);
    ini << "[system]\nscannerid=23611,300\n[device]\nsource=1\nmaxWidth=8.5\nmaxHeight=14\nmaxLength=0\n"
           "duplex=0\noverscan=0\nmultiPage=1\nwarmupMs=0\npagesPerBatch="
        << kPages << "\ninput=\n";
    return static_cast<bool>(ini);
}

ScanSettings batchSettings(const std::filesystem::path& output) {
    ScanSettings s;
    s.scanType = 1;
    s.scanMode = 2;
    s.scanDpi = kDpi;
    s.scanAreaW = kA4Width;
    s.scanAreaH = kA4Height;
    text::copyBounded(s.saveToPath, kRecordTextUnits, text::fromUtf8(output.string()));
    text::copyBounded(s.outImg, kRecordTextUnits, u"1, 9");
    text::copyBounded(s.fileName, kRecordTextUnits, u"page_%COUNTER3%");
    return s;
}

void SdkBatch50PagesJpegPdf(benchmark::State& state) {
    const std::filesystem::path root = makeTempFolder();
    if (root.empty() || !writeDriver(root / "driver")) {
        state.SkipWithError("cannot lay out the driver folder");
        return;
    }
    const std::u16string driver = text::fromUtf8((root / "driver").string());
    DocivaHandle handle = dociva_OpenDriver(driver.c_str());
    if (!handle) {
        state.SkipWithError("dociva_OpenDriver refused the driver");
        std::filesystem::remove_all(root);
        return;
    }
    SourceCapability capability{};
    dociva_GetSourceCapability(handle, &capability);

    const double rssBefore = peakRssMegabytes();
    double seconds = 0.0;
    int files = 0;
    int run = 0;
    for (auto _ : state) {
        const std::filesystem::path output = root / ("out" + std::to_string(run++));
        const ScanSettings settings = batchSettings(output);
        RunLog log;
        g_statusLog = &log;
        dociva_RegisterCallback(handle, &log, &onStatus, &onEvent);

        const auto start = std::chrono::steady_clock::now();
        if (dociva_StartScanAsync(handle, nullptr, &settings, nullptr) != 0) {
            state.SkipWithError("dociva_StartScanAsync refused the start");
            break;
        }
        std::unique_lock lock(log.mutex);
        log.done.wait(lock, [&] { return log.finished; });
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        files = log.files;
        if (log.lastStatus != DOCIVA_STATUS_SCAN_SUCCESS) {
            state.SkipWithError(("the run failed with status " + std::to_string(log.lastStatus) + ", code " +
                                 std::to_string(log.failureCode))
                                    .c_str());
            break;
        }
        lock.unlock();
        state.PauseTiming();
        std::filesystem::remove_all(output);
        state.ResumeTiming();
    }
    const double rssAfter = peakRssMegabytes();

    // Closing first: no callback may reach the log once it is gone.
    dociva_CloseDriver(&handle);
    g_statusLog = nullptr;
    std::filesystem::remove_all(root);

    if (run > 0 && seconds > 0.0) {
        state.counters["pages_per_min"] = kPages * run * 60.0 / seconds;
    }
    state.counters["peak_rss_MB"] = rssAfter;
    state.counters["rss_growth_MB"] = rssAfter - rssBefore;
    state.counters["files"] = files;
}

BENCHMARK(SdkBatch50PagesJpegPdf)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
