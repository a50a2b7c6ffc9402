// What a 10-page PDF costs, made from the scanner's JPEG pages: the same
// synthetic 300 dpi A4 colour page (2480 x 3508, JPEG quality 75) as
// timage_bench, ten times over.
//   PdfTenPagesFromPixels  our PDF library: ten pages added from the
//                          decoded page (JPEG quality 60) and saved; the
//                          multi-page writer's work once the page is decoded
//   PdfTenPagesFromFiles   the same from the JPEG file: each page loaded,
//                          decoded and encoded again, then saved
//   Img2pdfTenPages        img2pdf making the PDF from the JPEG file given
//                          ten times; it embeds the JPEG as it stands and
//                          decodes and encodes nothing
//   Img2pdfStart           img2pdf --version: the program's start cost
//
// Ours runs in-process; img2pdf is a whole process (spawned directly, no
// shell), timed as wall time (UseRealTime).
//
//   cmake --preset bench && cmake --build --preset bench
//   build/bench/bench/pdf_bench
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "libs/qixipf/qixipf.h"
#include "libs/timage/timage.h"

namespace {

constexpr int kWidth = 2480, kHeight = 3508, kPages = 10;

std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

long long fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

bool installed(const std::string& program) {
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= folders.size();) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string candidate = folders.substr(start, end - start) + "/" + program;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Runs a program to its end with its output thrown away, without a shell
// in between so that only the program's own start is timed.
bool run(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Text lines, a colour photograph and a logo on paper white, as in
// timage_bench, so that the two programs' figures can be set side by side.
TI_IMAGE makePage() {
    TI_IMAGE page = ti_CreateImage(kWidth, kHeight, TI_BGR24);
    ti_Fill(page, 0xfff7f5f0u);
    TI_IMAGE_INFO info{};
    info.size = sizeof info;
    ti_GetInfo(page, &info);
    std::uint32_t state = 7;
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row = info.data + static_cast<std::size_t>(info.stride) * y;
        const bool textLine = y > 300 && y < 2300 && (y % 60) < 28;
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = row + 3 * x;
            state = state * 1103515245u + 12345u;
            const int grain = static_cast<int>((state >> 27) & 7);
            if (textLine && x > 250 && x < 2230 && ((x / 9) % 7) != 0 && ((x * 7 + y * 3) % 23) < 9) {
                p[0] = p[1] = p[2] = static_cast<std::uint8_t>(30 + grain);
            } else if (y > 2450 && y < 3250 && x > 300 && x < 2180) {
                p[0] = static_cast<std::uint8_t>(80 + (x / 8) % 120 + grain);
                p[1] = static_cast<std::uint8_t>(60 + (y / 5) % 150 + grain);
                p[2] = static_cast<std::uint8_t>(std::min(255, 100 + ((x + y) / 12) % 140 + grain));
            } else {
                p[0] = static_cast<std::uint8_t>(p[0] - grain);
            }
        }
    }
    const TI_RECT logo{1900, 120, 330, 120};
    ti_FillRect(page, &logo, 0xff1f4fa0u);
    ti_SetDpi(page, 300, 300);
    return page;
}

struct Fixture {
    std::string folder;
    std::string jpeg;
    TI_IMAGE decoded = nullptr;

    Fixture() {
        char templ[] = "/tmp/pdf_bench_XXXXXX";
        folder = ::mkdtemp(templ) ? templ : "/tmp";
        jpeg = folder + "/page.jpg";
        TI_IMAGE page = makePage();
        ti_SaveImage2(widen(jpeg).c_str(), page, 7, 75, 0);
        ti_ReleaseImage(&page);
        decoded = ti_LoadImage(widen(jpeg).c_str());
        TI_IMAGE_INFO info{};
        info.size = sizeof info;
        ti_GetInfo(decoded, &info);  // decodes it
    }
    ~Fixture() {
        ti_ReleaseImage(&decoded);
        std::system(("rm -rf '" + folder + "'").c_str());
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// One document object for the run; false, with the reason, when the
// library refuses it.
class Document {
public:
    Document() : doc_(qix_CreateIF(QIX_INTERFACE_REVISION, 0)) {}
    ~Document() {
        if (doc_) doc_->functions->release(&doc_);
    }
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    bool start(int quality) {
        return doc_ && doc_->functions->create(doc_) == QIX_OK && doc_->functions->setJpegQuality(doc_, quality) == QIX_OK;
    }
    bool add(TI_IMAGE image) { return doc_->functions->addPage(doc_, image, 0) == QIX_OK; }
    bool save(const std::u16string& path) { return doc_->functions->save(doc_, path.c_str(), 0) == QIX_OK; }

private:
    QIX_DOCUMENT* doc_;
};

void PdfTenPagesFromPixels(benchmark::State& state) {
    const std::string out = fixture().folder + "/ours_pixels.pdf";
    const std::u16string path = widen(out);
    for (auto _ : state) {
        Document doc;
        bool ok = doc.start(60);
        for (int page = 0; ok && page < kPages; ++page) ok = doc.add(fixture().decoded);
        if (!ok || !doc.save(path)) {
            state.SkipWithError("our PDF library failed");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(fileSize(out));
}
BENCHMARK(PdfTenPagesFromPixels)->Unit(benchmark::kMillisecond);

void PdfTenPagesFromFiles(benchmark::State& state) {
    const std::string out = fixture().folder + "/ours_files.pdf";
    const std::u16string path = widen(out), jpeg = widen(fixture().jpeg);
    for (auto _ : state) {
        Document doc;
        bool ok = doc.start(60);
        for (int page = 0; ok && page < kPages; ++page) {
            TI_IMAGE loaded = ti_LoadImage(jpeg.c_str());
            ok = loaded && doc.add(loaded);
            ti_ReleaseImage(&loaded);
        }
        if (!ok || !doc.save(path)) {
            state.SkipWithError("our PDF library failed");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(fileSize(out));
}
BENCHMARK(PdfTenPagesFromFiles)->Unit(benchmark::kMillisecond);

void Img2pdfTenPages(benchmark::State& state) {
    if (!installed("img2pdf")) {
        state.SkipWithError("img2pdf is not installed");
        return;
    }
    const std::string out = fixture().folder + "/img2pdf.pdf";
    std::vector<std::string> command{"img2pdf"};
    for (int page = 0; page < kPages; ++page) command.push_back(fixture().jpeg);
    command.insert(command.end(), {"-o", out});
    for (auto _ : state) {
        if (!run(command)) {
            state.SkipWithError("img2pdf failed");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(fileSize(out));
}
BENCHMARK(Img2pdfTenPages)->Unit(benchmark::kMillisecond)->UseRealTime();

void Img2pdfStart(benchmark::State& state) {
    if (!installed("img2pdf")) {
        state.SkipWithError("img2pdf is not installed");
        return;
    }
    for (auto _ : state) {
        if (!run({"img2pdf", "--version"})) {
            state.SkipWithError("img2pdf --version failed");
            break;
        }
    }
}
BENCHMARK(Img2pdfStart)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
