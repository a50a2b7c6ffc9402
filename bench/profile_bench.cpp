// How long the components take to load a profile. The control loads one at
// construction and on every profile selection; the scanner buttons load
// one per press. The profile here is a typical one: every key the system
// knows plus a button section and comments, about 4 KiB and 90 keys.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <chrono>
#include <thread>

#include "platform/files.h"
#include "platform/private_profile.h"
#include "settings/scan_profile.h"

namespace {

namespace fs = std::filesystem;

std::string typicalProfile(const std::string& saveTo) {
    std::string p =
        "; Scan profile written by the Dociva control.\r\n"
        "; Section and key names are case-insensitive; a missing key takes its default.\r\n"
        "[ScanParams]\r\n"
        "DriverPath=C:\\Program Files\\Corvane\\Drivers\\DS-1200 Duplex Document Scanner\r\n"
        "ScanType=1\r\nScanMode=24\r\nScanDpi=300\r\nScanSize=5\r\nColorDropOut=0\r\nRotate=0\r\n"
        "Orientation=2\r\nContinuousScan=0\r\nMultiFeed=1\r\nLongPaperMode=0\r\nDuplex_API=1\r\nUseDIB=0\r\n"
        "Test_Mode=0\r\nBlankPageDetect=1\r\nPunchHoleErase=1\r\nSplitMerge=0\r\nEjectPaperDirection=0\r\n"
        "FlatbedScanRangeX=0.00\r\nFlatbedScanRangeY=0.00\r\nFlatbedScanRangeW=8.50\r\nFlatbedScanRangeH=11.69\r\n"
        "ADFFrontScanRangeX=0.00\r\nADFFrontScanRangeY=0.00\r\nADFFrontScanRangeW=8.27\r\nADFFrontScanRangeH=11.69\r\n"
        "ADFRearScanRangeX=0.00\r\nADFRearScanRangeY=0.00\r\nADFRearScanRangeW=8.27\r\nADFRearScanRangeH=11.69\r\n"
        "Gamma=100\r\nBrightness=110\r\nContrast=105\r\nbw_Threshold=128\r\nAutoSize=1\r\n"
        "Crop_XYWH=0.25,0.25,8.00,11.19\r\n"
        "SaveToPath=" + saveTo + "\r\n"
        "FileName=Invoice_%YYYY%-%MM%-%DD%_%hh%%mm%%ss%_%COUNTER4%\r\n"
        "APPath=C:\\Program Files\\Document Archive\\bin\\archive-import.exe\r\n"
        "APParams=--source \"%1\" --profile accounting --queue incoming\r\n"
        "APBlankPageNotify=0\r\n"
        "\r\n; Output formats and post-processing.\r\n"
        "[Output]\r\n"
        "OUT_IMG=1, 2, 9\r\nOUT_IMG_IR=4\r\nOUT_IMG_UV=4\r\n2AppFormat=9\r\nDEL_IMG=0\r\nCOMPRESS=80\r\n"
        "ProcessMode=0\r\nDIAL_HIDE=0\r\nZOOM_X=100\r\nZOOM_Y=100\r\nCHANGE_DPI=100\r\nPageSplit=0\r\n"
        "SplitFixPages=0\r\nFlatbedMultiCrop=0\r\nINVERT=0\r\nBWCOMPRESS=0.7\r\nOpenSaveFolder=1\r\n"
        "\r\n[WaterMark]\r\n"
        "Type=2\r\nPosition=8\r\nTransparency=96\r\nTextSize=48\r\nTextAngle=30\r\n"
        "Image=C:\\Users\\Public\\Pictures\\Company Logo (transparent background).png\r\n"
        "Text=CONFIDENTIAL - Accounting Department - Do not distribute\r\n"
        "\r\n[Stroke]\r\nFillSize=2\r\nFillPosition=1\r\nFillColor=FFFFFF\r\nFillGray=FF\r\nFillBW=1\r\n"
        "\r\n[Barcode]\r\nCODE_TYP=Code39,Code128,EAN13,Interleaved2of5\r\nCODE_TYPE_2D=QRCode,DataMatrix,PDF417\r\n"
        "OUT_TFN=0\r\nCODE_POSI=0\r\nAutoRotate=1\r\n"
        "\r\n; Texts shown while scanning.\r\n"
        "[Message]\r\n"
        "MSG_WarmingUp=The scanner lamp is warming up. Please wait %d more seconds before scanning.\r\n"
        "MSG_Scanning=Scanning your documents, please do not remove paper from the feeder......\r\n"
        "MSG_ScanFinish=Scanning finished. Please wait while the pages are processed......\r\n"
        "MSG_ProcessFinish=All pages were processed and saved to the output folder.\r\n"
        "\r\n; Buttons of the scanner that start a scan with this profile.\r\n"
        "[ButtonAction]\r\nButton1=1\r\nButton2=0\r\nButton3=0\r\nButton4=0\r\nButton5=0\r\n";
    // Comments fill it up to the size of a profile users keep for years.
    while (p.size() < 4000) p += "; Adjusted by the scanning team after the feeder service.\r\n";
    return p;
}

struct Fixture {
    fs::path folder;
    std::u16string profile;

    Fixture() {
        folder = fs::temp_directory_path() / ("dociva-profile-bench-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder / "out");
        fs::create_directories(folder / "docs");
        profile = (folder / "dociva.ini").u16string();
        const std::string text = typicalProfile((folder / "out").string());
        std::ofstream(folder / "dociva.ini", std::ios::binary) << text;
        // A copy stamped in the future never counts as settled, so every
        // INI call re-reads it and compares its bytes with the parsed copy:
        // the cost of loading a profile written a moment ago.
        std::ofstream(folder / "fresh.ini", std::ios::binary) << text;
        fs::last_write_time(folder / "fresh.ini", fs::file_time_type::clock::now() + std::chrono::hours(1));
        // Files changed within the last second are not cached; a profile
        // a user loads has been on disk far longer.
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

std::u16string documents() { return (fixture().folder / "docs").u16string(); }

void BM_LoadTypicalProfile(benchmark::State& state) {
    const std::u16string& path = fixture().profile;
    for (auto _ : state) {
        CScanProfile profile(path.c_str(), &documents);
        benchmark::DoNotOptimize(profile.getSettings().scanDpi);
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(fixture().folder / "dociva.ini"));
}
BENCHMARK(BM_LoadTypicalProfile)->Unit(benchmark::kMicrosecond);

void BM_LoadProfileRereadPerKey(benchmark::State& state) {
    const std::u16string path = (fixture().folder / "fresh.ini").u16string();
    for (auto _ : state) {
        CScanProfile profile(path.c_str(), &documents);
        benchmark::DoNotOptimize(profile.getSettings().scanDpi);
    }
}
BENCHMARK(BM_LoadProfileRereadPerKey)->Unit(benchmark::kMicrosecond);

// A profile grown large (a typical one with a section of filler lines):
// a load must parse it once, not once a key, whatever its size. The
// counters give the ratios to compare with the 4 KiB profile: parses a
// load (1 expected) and load time a MiB. Argument 0: size in MiB; 1: the
// file was written a moment ago (its bytes are read again and compared on
// every call), 0: it has been on disk for a while.
void BM_LoadLargeProfile(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0)) << 20;
    const bool fresh = state.range(1) != 0;
    const fs::path file = fixture().folder / ("large-" + std::to_string(state.range(0)) + (fresh ? "-fresh" : "") + ".ini");
    std::string text = typicalProfile((fixture().folder / "out").string()) + "\r\n[History]\r\n";
    // Just under the size, so that 8 MiB is still a profile.
    for (int i = 0; text.size() + 64 < size; ++i)
        text += "Scan" + std::to_string(i) + "=C:\\Scans\\Invoices\\Invoice_" + std::to_string(i) + ".pdf\r\n";
    std::ofstream(file, std::ios::binary) << text;
    if (fresh) {
        fs::last_write_time(file, fs::file_time_type::clock::now() + std::chrono::hours(1));
    } else {
        // Settled: unchanged for over a second (its change time included).
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    }
    const std::u16string path = file.u16string();
    const std::uint64_t parsesBefore = platform::profileParseCount();
    for (auto _ : state) {
        CScanProfile profile(path.c_str(), &documents);
        benchmark::DoNotOptimize(profile.getSettings().scanDpi);
    }
    const double loads = static_cast<double>(state.iterations());
    state.counters["parses_per_load"] = static_cast<double>(platform::profileParseCount() - parsesBefore) / loads;
    state.counters["MiB"] = static_cast<double>(size >> 20);
    state.counters["per_MiB"] =
        benchmark::Counter(static_cast<double>(size >> 20), benchmark::Counter::kIsIterationInvariantRate |
                                                              benchmark::Counter::kInvert);
}
BENCHMARK(BM_LoadLargeProfile)->Args({1, 0})->Args({4, 0})->Args({8, 0})->Args({1, 1})->Args({8, 1})
    ->Unit(benchmark::kMillisecond);

void BM_LoadAndApply(benchmark::State& state) {
    const std::u16string& path = fixture().profile;
    for (auto _ : state) {
        CScanProfile profile(path.c_str(), &documents);
        ScanSettings record;
        std::uint8_t watermarkEnabled = 0;
        applyProfile(profile.getSettings(), record, watermarkEnabled);
        benchmark::DoNotOptimize(record);
    }
}
BENCHMARK(BM_LoadAndApply)->Unit(benchmark::kMicrosecond);

void BM_WriteBack(benchmark::State& state) {
    const fs::path target = fixture().folder / "target.ini";
    fs::copy_file(fixture().folder / "dociva.ini", target, fs::copy_options::overwrite_existing);
    CScanProfile profile(target.u16string().c_str(), &documents);
    ScanSettings record;
    std::uint8_t watermarkEnabled = 0;
    applyProfile(profile.getSettings(), record, watermarkEnabled);
    for (auto _ : state) benchmark::DoNotOptimize(writeBack(record, {1, 2, 9}, u"C:\\drv", profile));
}
BENCHMARK(BM_WriteBack)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
