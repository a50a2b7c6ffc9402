// What a feeder batch costs through the whole control, as a page sees it:
// 50 generated 300 dpi A4 colour pages written as JPEG files by the virtual
// scanner SDK, from ScanStart until the viewer holds the last file
// (GetFileCount reaching 50 while the window is pumped, as a page's host
// does). The control is made in-process against a fresh copy of the
// example installation (examples/install-demo.sh), a new one per
// iteration so that every run starts with an empty viewer.
//   ms_per_page      wall time of the batch per page
//   sdk_share        ScanStart until the SDK's last event (the one that
//                    becomes OnScanEnd)
//   pool_wait_share  time during which some written file sat in the
//                    request pool, not yet taken by its worker
//   pool_idle_share  the part of it with the worker free: what the pool
//                    itself costs, as against files waiting their turn
//   viewer_share     time the worker spent in the viewer's AddImage
//   viewer_ms        the same per file
//   add_ms           AddImage alone on the same files, one after the other
//                    in a viewer of their own with nothing else running
//   pages            files that reached the viewer in the last run
//   rss_growth_MB    how far the runs raised the process's peak memory
// Shares are of the batch's wall time and may overlap: files wait in the
// pool while the worker adds the ones before them.
//
// How the parts are timed without changing the control:
// - The SDK's events: the control is given the linked SDK's calls with the
//   registration of its callbacks replaced by one that puts a relay in
//   between; the relay stamps each file's hand-over and the run's last
//   event and passes every event on unchanged.
// - The worker: the request pool reaches the control through
//   ScannedImageTarget::addScannedImage; the environment's imageTurn
//   stamps the moment the worker takes a file and the moment it is done
//   (the viewer has the file and the window thread has raised its four
//   button-state reports).
// - The end of AddImage inside that turn: the worker sends its report to
//   the window thread as soon as AddImage returns, and the container
//   stamps the first of the four reports. The window thread waits in its
//   pump meanwhile, so this adds only the hand-over between the threads.
// add_ms against viewer_ms tells what running beside the SDK, and in the
// control, costs the viewer.
// Like the module in its folder, the control keeps its settings.ini
// beside the program.
//
//   cmake --preset bench && cmake --build --preset bench
//   build/bench/bench/control_bench
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "control/docivaocx_ctrl.h"
#include "output/timage_binding.h"
#include "platform/text.h"
#include "scanner/sdk_calls.h"
#include "viewer/view_convas_dlg.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPages = 50;
constexpr std::int16_t kDpi = 300;
constexpr std::int16_t kPaperA4 = 4;       // paper size id of A4, portrait
constexpr std::int16_t kScanColour = 2;
constexpr std::int16_t kFrontsOnly = 1;    // one side a sheet: 50 sheets, 50 files
constexpr std::int32_t kFormatJpeg = DOCIVA_FORMAT_JPEG;
// The product the example installation registers for its duplex feeder.
constexpr const char16_t* kProduct = u"Dociva Virtual Duplex 300";
constexpr auto kRunLimit = std::chrono::minutes(5);

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double peakRssMegabytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// ---- what one run records, from three threads -----------------------------

struct RunClock {
    std::mutex mutex;
    std::vector<Clock::time_point> ready;  // the SDK thread, per file handed over
    std::optional<Clock::time_point> sdkEnd;
    int filesReported = -1;                // by the SDK's last event
    std::vector<Clock::time_point> taken, done;  // the worker, per file
};

// Stands between the SDK and the control's own event callback.
struct EventTap {
    explicit EventTap(RunClock& c) : clock(c) {}
    RunClock& clock;
    void* controlContext = nullptr;
    EventCallback controlEvents = nullptr;
};

void tappedEvent(int type, void* data, int value, void* context) {
    auto* tap = static_cast<EventTap*>(context);
    // Stamped before the control sees the event: a file is ready from the
    // moment the SDK hands it over, and its request is posted only then.
    const Clock::time_point now = Clock::now();
    {
        std::lock_guard lock(tap->clock.mutex);
        if (type == DOCIVA_EVENT_IMAGE_READY) tap->clock.ready.push_back(now);
        if (type == DOCIVA_EVENT_PROCESSING_FINISHED) {
            tap->clock.sdkEnd = now;
            tap->clock.filesReported = value;
        }
    }
    if (tap->controlEvents) tap->controlEvents(type, data, value, tap->controlContext);
}

// The tap of the run under way: the SDK's registration is a plain
// function, so the relay finds the tap here. One control at a time.
std::atomic<EventTap*> g_runTap{nullptr};

struct TapInUse {
    explicit TapInUse(EventTap& tap) { g_runTap.store(&tap); }
    ~TapInUse() { g_runTap.store(nullptr); }
    TapInUse(const TapInUse&) = delete;
    TapInUse& operator=(const TapInUse&) = delete;
};

int tappedRegister(DocivaHandle handle, void* context, StatusCallback status, EventCallback events) {
    EventTap* tap = g_runTap.load();
    if (!tap) return dociva_RegisterCallback(handle, context, status, events);
    tap->controlContext = context;
    tap->controlEvents = events;
    return dociva_RegisterCallback(handle, tap, status, &tappedEvent);
}

// Stamps the worker's turns: when it takes a file and when it is done.
std::function<void(bool)> workerStamps(RunClock& clock) {
    return [&clock](bool shown) {
        const Clock::time_point now = Clock::now();
        std::lock_guard lock(clock.mutex);
        (shown ? clock.done : clock.taken).push_back(now);
    };
}

// The container: stamps the first of every file's four reports and
// OnScanEnd, answers no dialog.
class TimingSite final : public ControlSite {
public:
    void fireEvent(std::int32_t dispid, std::u16string_view, std::u16string_view data) override {
        const Clock::time_point now = Clock::now();
        if (dispid == kEventUIButtonStatusChange && reports_++ % 4 == 0) reported.push_back(now);
        if (dispid == kEventScanEnd) scanEnd = now;
        if (dispid == kEventAfterScannerRegister) registration = text::toUtf8(data);
    }
    void addRefObject(void*) override {}
    void releaseObject(void*) override {}
    platform::DialogService& dialogs() override { return dialogs_; }

    // Reports before the scan (registration, sizes) are not a file's.
    void clearReports() {
        reports_ = 0;
        reported.clear();
    }

    std::vector<Clock::time_point> reported;
    std::optional<Clock::time_point> scanEnd;
    std::string registration;

private:
    int reports_ = 0;
    platform::CancellingDialogs dialogs_;
};

// ---- the installation -------------------------------------------------------

// Sets a variable for the benchmark's duration and puts back what was there.
class ScopedVariable {
public:
    ScopedVariable(std::string name, const std::string& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) old_ = old;
        ::setenv(name_.c_str(), value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (old_) {
            ::setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "dociva-control-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Runs the installer into target and gives the variables it prints. Only
// plain values are taken: the temporary folder's name needs no quoting,
// and anything quoted means the output is not what this reads.
std::optional<std::map<std::string, std::string>> installDemo(const std::filesystem::path& target) {
    const std::string command = std::string("bash '") + DOCIVA_INSTALL_DEMO + "' '" + target.string() + "'";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    if (::pclose(pipe) != 0) return std::nullopt;
    std::map<std::string, std::string> variables;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::string prefix = "export ";
        const auto equals = line.find('=');
        if (line.rfind(prefix, 0) != 0 || equals == std::string::npos) return std::nullopt;
        const std::string value = line.substr(equals + 1);
        if (value.find_first_of("'\"\\$ ") != std::string::npos) return std::nullopt;
        variables[line.substr(prefix.size(), equals - prefix.size())] = value;
    }
    if (variables.empty()) return std::nullopt;
    return variables;
}

// The copied driver's description with a feeder of kPages sheets and no
// warm-up; every other key stays the example's.
bool setBatch(const std::filesystem::path& moduleIni) {
    std::ifstream in(moduleIni, std::ios::binary);
    if (!in) return false;
    std::string out;
    bool pages = false, warmup = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("pagesPerBatch=", 0) == 0) {
            line = "pagesPerBatch=" + std::to_string(kPages);
            pages = true;
        } else if (line.rfind("warmupMs=", 0) == 0) {
            line = "warmupMs=0";
            warmup = true;
        }
        out += line + "\n";
    }
    in.close();
    std::ofstream write(moduleIni, std::ios::binary | std::ios::trunc);
    write << out;
    return pages && warmup && static_cast<bool>(write);
}

std::vector<std::u16string> writtenFiles(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> paths;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        if (entry.path().extension() == ".jpg") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<std::u16string> out;
    for (const auto& p : paths) out.push_back(text::fromUtf8(p.string()));
    return out;
}

// ---- the benchmark -----------------------------------------------------------

struct Totals {
    double batchMs = 0, sdkMs = 0, queuedMs = 0, idleMs = 0, viewerMs = 0, addMs = 0;
    int runs = 0, files = 0, addedFiles = 0, pages = 0;
};

// Adds one run's parts to totals; an error text when the stamps do not
// pair up.
std::string account(RunClock& clock, const TimingSite& site, Clock::time_point start, Totals& totals) {
    std::lock_guard lock(clock.mutex);
    const std::size_t n = clock.ready.size();
    if (!clock.sdkEnd || clock.taken.size() != n || clock.done.size() != n || site.reported.size() != n) {
        return std::to_string(n) + " files handed over, " + std::to_string(clock.taken.size()) + " taken, " +
               std::to_string(site.reported.size()) + " reported";
    }
    totals.sdkMs += msBetween(start, *clock.sdkEnd);
    // One worker taking requests in order: file i waits from its hand-over
    // until taken; the queue is never empty in between when the next file
    // arrived before this one was taken, so the waits are merged.
    std::optional<Clock::time_point> queuedFrom, queuedTo;
    for (std::size_t i = 0; i < n; ++i) {
        if (!queuedTo || clock.ready[i] > *queuedTo) {
            if (queuedTo) totals.queuedMs += msBetween(*queuedFrom, *queuedTo);
            queuedFrom = clock.ready[i];
        }
        queuedTo = queuedTo ? std::max(*queuedTo, clock.taken[i]) : clock.taken[i];
        const Clock::time_point workerFree = i == 0 ? clock.ready[i] : std::max(clock.ready[i], clock.done[i - 1]);
        totals.idleMs += msBetween(workerFree, clock.taken[i]);
        totals.viewerMs += msBetween(clock.taken[i], site.reported[i]);
    }
    if (queuedTo) totals.queuedMs += msBetween(*queuedFrom, *queuedTo);
    totals.files += static_cast<int>(n);
    return {};
}

void ControlBatch50PagesJpeg(benchmark::State& state) {
    if (timage::library().load(text::fromUtf8(DOCIVA_TIMAGE_FOLDER)) != timage::kLoaded) {
        state.SkipWithError("the image toolkit did not load");
        return;
    }
    TempFolder root;
    if (root.path().empty()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const auto variables = installDemo(root.path() / "install");
    if (!variables) {
        state.SkipWithError("examples/install-demo.sh failed or printed something unexpected");
        return;
    }
    const std::filesystem::path driver = root.path() / "install/programdata/Corvane/VirtualDuplex/driver";
    if (!setBatch(driver / "module.ini")) {
        state.SkipWithError("the copied module.ini lacks pagesPerBatch or warmupMs");
        return;
    }
    std::filesystem::create_directories(root.path() / "home/Documents");
    std::vector<std::unique_ptr<ScopedVariable>> environment;
    for (const auto& [name, value] : *variables) environment.push_back(std::make_unique<ScopedVariable>(name, value));
    environment.push_back(std::make_unique<ScopedVariable>("HOME", (root.path() / "home").string()));

    ControlEnvironment places;
    places.sdk = linkedSdkCalls();
    places.sdk.registerCallback = &tappedRegister;

    Totals totals;
    const double rssBefore = peakRssMegabytes();
    for (auto _ : state) {
        const std::filesystem::path output = root.path() / ("scans" + std::to_string(totals.runs));
        // Made in this order so that the control goes first.
        RunClock clock;
        EventTap tap(clock);
        TimingSite site;
        const TapInUse tapInUse(tap);
        ControlEnvironment timed = places;
        timed.imageTurn = workerStamps(clock);
        auto control = std::make_unique<CDocivaOCXCtrl>(site, timed);
        control->OnCreate();
        control->ScannerRegister(kProduct);
        if (control->currentScannerHandle() == 0) {
            state.SkipWithError(("the scanner did not register: " + site.registration).c_str());
            break;
        }
        control->SetScanType(kFrontsOnly);
        control->SetScanMode(kScanColour);
        control->SetScanSize(kPaperA4);
        control->SetResolution(kDpi);
        control->SetOutputFormat(kFormatJpeg, 1);
        control->SetSavetoFolder(text::fromUtf8(output.string()).c_str());
        control->SetSavetoFileName(u"page_%COUNTER3%");
        site.clearReports();

        const Clock::time_point start = Clock::now();
        control->ScanStart(kProduct);
        std::optional<Clock::time_point> visible;
        std::string failure;
        while (!visible && failure.empty()) {
            control->window()->pump(10);
            if (control->GetFileCount() >= kPages) {
                visible = Clock::now();
                break;
            }
            int reported = -1;
            {
                std::lock_guard lock(clock.mutex);
                if (clock.sdkEnd) reported = clock.filesReported;
            }
            if (reported >= 0 && reported < kPages) {
                failure = "the SDK reported " + std::to_string(reported) + " files";
            } else if (reported >= 0 && control->isIdle() && control->GetFileCount() < kPages) {
                failure = "the run ended with " + std::to_string(control->GetFileCount()) + " files in the viewer";
            } else if (Clock::now() - start > kRunLimit) {
                failure = "the run took too long";
            }
        }
        // The last file's report and OnScanEnd still come through the window.
        while (failure.empty() && (!control->isIdle() || !site.scanEnd)) {
            control->window()->pump(10);
            if (Clock::now() - start > kRunLimit) failure = "the run did not settle";
        }
        if (failure.empty()) failure = account(clock, site, start, totals);
        totals.pages = control->GetFileCount();
        control.reset();
        if (!failure.empty()) {
            state.SkipWithError(failure.c_str());
            break;
        }
        const double batchMs = msBetween(start, *visible);
        state.SetIterationTime(batchMs / 1000.0);
        totals.batchMs += batchMs;
        ++totals.runs;

        CViewConvasDlg viewer;
        viewer.Create();
        const std::vector<std::u16string> files = writtenFiles(output);
        for (const std::u16string& file : files) {
            const Clock::time_point before = Clock::now();
            if (!viewer.AddImage(file, kFormatJpeg)) break;
            totals.addMs += msBetween(before, Clock::now());
            ++totals.addedFiles;
        }
        std::error_code ignored;
        std::filesystem::remove_all(output, ignored);
        if (files.size() != static_cast<std::size_t>(kPages) || viewer.GetFileCount() != kPages) {
            state.SkipWithError(("the viewer apart took " + std::to_string(viewer.GetFileCount()) + " of " +
                                 std::to_string(files.size()) + " files written")
                                    .c_str());
            break;
        }
    }
    const double rssAfter = peakRssMegabytes();

    if (totals.runs > 0 && totals.batchMs > 0) {
        state.counters["ms_per_page"] = totals.batchMs / (totals.runs * kPages);
        state.counters["sdk_share"] = totals.sdkMs / totals.batchMs;
        state.counters["pool_wait_share"] = totals.queuedMs / totals.batchMs;
        state.counters["pool_idle_share"] = totals.idleMs / totals.batchMs;
        state.counters["viewer_share"] = totals.viewerMs / totals.batchMs;
        state.counters["viewer_ms"] = totals.viewerMs / totals.files;
    }
    if (totals.addedFiles > 0) state.counters["add_ms"] = totals.addMs / totals.addedFiles;
    state.counters["pages"] = totals.pages;
    state.counters["rss_growth_MB"] = rssAfter - rssBefore;
}

BENCHMARK(ControlBatch50PagesJpeg)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
