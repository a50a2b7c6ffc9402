// What a 10-page PDF costs, made from the scanner's JPEG pages: the same
// synthetic 300 dpi A4 colour page (2480 x 3508, JPEG quality 75) as
// timage_bench, ten times over.
//   PdfTenPagesFromPixels  our PDF library: ten pages added from the
//                          decoded page (JPEG quality 60) and saved; the
//                          multi-page writer's work once the page is decoded
//   PdfTenPagesFromFiles   the same from the JPEG file at another quality
//                          (60): each page loaded, decoded and encoded
//                          again, then saved
//   PdfTenPagesStoredFromFiles
//                          the same at the file's own quality (75): each
//                          page loaded and its file stored as it is, the
//                          way img2pdf does; nothing decoded or encoded
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

#include "bench/bench_support.h"
#include "libs/qixipf/qixipf.h"
#include "libs/timage/timage.h"

namespace {

using namespace bench;

constexpr int kPages = 10;

JpegPage& fixture() {
    static JpegPage f("pdf_bench");
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
    // The size of page `index`'s JPEG data, as the page holds it.
    long long pageBytes(int index) {
        TI_STREAM counter{};
        counter.kind = TI_STREAM_CALLBACK;
        counter.size = static_cast<int32_t>(sizeof counter);
        counter.write = [](TI_STREAM*, const void*, int32_t count) { return count; };
        return doc_->functions->writePage(doc_, index, &counter);
    }

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

// Ten pages each loaded from the JPEG file and added at quality: at 75
// (the file's own) the pages hold the file, at 60 they are encoded again.
std::string tenPagesFromFile(benchmark::State& state, int quality, const char* name) {
    const std::string out = fixture().folder + name;
    const std::u16string path = widen(out), jpeg = widen(fixture().jpeg);
    for (auto _ : state) {
        Document doc;
        bool ok = doc.start(quality);
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
    return out;
}

void PdfTenPagesFromFiles(benchmark::State& state) { tenPagesFromFile(state, 60, "/ours_files.pdf"); }
BENCHMARK(PdfTenPagesFromFiles)->Unit(benchmark::kMillisecond);

void PdfTenPagesStoredFromFiles(benchmark::State& state) {
    const std::string out = tenPagesFromFile(state, 75, "/ours_stored.pdf");
    // 1 when a page holds the file itself, as measured above.
    Document check;
    TI_IMAGE loaded = ti_LoadImage(widen(fixture().jpeg).c_str());
    const bool stored = check.start(75) && check.add(loaded) && check.pageBytes(0) == fileSize(fixture().jpeg);
    ti_ReleaseImage(&loaded);
    state.counters["stored"] = stored ? 1 : 0;
}
BENCHMARK(PdfTenPagesStoredFromFiles)->Unit(benchmark::kMillisecond);

void Img2pdfTenPages(benchmark::State& state) {
    const std::string out = fixture().folder + "/img2pdf.pdf";
    std::vector<std::string> command{"img2pdf"};
    for (int page = 0; page < kPages; ++page) command.push_back(fixture().jpeg);
    command.insert(command.end(), {"-o", out});
    if (timeProgram(state, command)) state.counters["bytes"] = static_cast<double>(fileSize(out));
}
BENCHMARK(Img2pdfTenPages)->Unit(benchmark::kMillisecond)->UseRealTime();

void Img2pdfStart(benchmark::State& state) { timeProgram(state, {"img2pdf", "--version"}); }
BENCHMARK(Img2pdfStart)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
