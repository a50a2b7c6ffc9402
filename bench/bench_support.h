// What the benchmark programs share: the synthetic scanned page and a way
// to time other programs as whole processes.
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "libs/timage/timage.h"

namespace bench {

// A 300 dpi A4 page.
inline constexpr int kWidth = 2480, kHeight = 3508;

std::u16string widen(const std::string& s);
long long fileSize(const std::string& path);
// A program by name on PATH, or the path given when it has a slash.
bool installed(const std::string& program);
// Runs a program to its end with its output thrown away, without a shell
// in between so that only the program's own start is timed.
bool run(const std::vector<std::string>& argv);
// Times a whole run of another program per iteration; skips the benchmark
// with the reason when the program is missing or fails. False then.
bool timeProgram(benchmark::State& state, const std::vector<std::string>& argv);

// Text lines, a colour photograph and a logo on paper white, at 300 dpi.
TI_IMAGE makePage();

// makePage() written as a JPEG file (quality 75) in a temporary folder of
// its own, and that file loaded and decoded once; removed at the end.
struct JpegPage {
    std::string folder;
    std::string jpeg;
    TI_IMAGE decoded = nullptr;

    explicit JpegPage(const char* folderPrefix);
    ~JpegPage();
    JpegPage(const JpegPage&) = delete;
    JpegPage& operator=(const JpegPage&) = delete;
};

}  // namespace bench
