// The image toolkit on Linux and on Windows (under Wine) writes the same
// files from the same pictures: timage_same_files, built for both, writes
// a fixed set into a folder each, and every lossless file must be the same
// bytes; JPEG data (files and TIFF pages) must decode to the same pixels.
// Needs the win32 build ($DOCIVA_WIN32_BUILD), as the INI differential
// test does.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "libs/timage/timage.h"
#include "platform/text.h"
#include "support/test_support.h"
#include "tools/tool_runner.h"

namespace {

using testing_support::runProgram;
using testing_support::TempDir;

std::string utf8(const std::u16string& s) { return text::toUtf8(s); }

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) out.push_back(line);
    }
    return out;
}

bool lossy(const std::string& name) {
    return name.ends_with(".jpg") || name.find("-jpeg.") != std::string::npos;
}

// Every pixel row of every page, with the page's layout.
std::string decodedPixels(const std::string& path) {
    const std::u16string p = text::fromUtf8(path);
    TI_FILE_INFO facts{};
    facts.size = sizeof facts;
    if (ti_GetImageInfo(p.c_str(), &facts) != TI_OK) return "unreadable";
    std::string out;
    for (int page = 0; page < facts.pageCount; ++page) {
        TI_IMAGE image = ti_LoadImageEx(p.c_str(), page);
        if (!image) return "page " + std::to_string(page) + " unreadable";
        TI_IMAGE_INFO info{};
        info.size = sizeof info;
        ti_GetInfo(image, &info);
        out += std::to_string(info.width) + "x" + std::to_string(info.height) + "x" + std::to_string(info.pixelFormat);
        for (int y = 0; y < info.height; ++y) {
            const auto* row = info.data + static_cast<std::ptrdiff_t>(y) * info.stride;
            out.append(reinterpret_cast<const char*>(row), static_cast<std::size_t>(info.width * info.pixelFormat));
        }
        ti_ReleaseImage(&image);
    }
    return out;
}

// Where the two files first differ, for the failure message.
std::string firstDifference(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) + ", first difference at byte " +
           std::to_string(i);
}

TEST(ToolkitDifferential, SameFilesOnLinuxAndWindows) {
    const std::string build = testing_support::win32BuildFolder();
    if (build.empty()) GTEST_SKIP() << "DOCIVA_WIN32_BUILD is not set (scripts/test sets it)";
    TempDir linuxDir, windowsDir;
    const auto native = runProgram({DOCIVA_SAME_FILES_NATIVE, utf8(linuxDir.path())});
    ASSERT_EQ(native.exitCode, 0) << native.out;
    const auto wine = runProgram({build + "/wine-run.sh", build + "/libs/timage/timage_same_files.exe",
                                  testing_support::winePath(utf8(windowsDir.path()))});
    ASSERT_EQ(wine.exitCode, 0) << wine.out;
    const std::vector<std::string> names = lines(native.out);
    ASSERT_EQ(names, lines(wine.out)) << "both must write the same list of files";
    ASSERT_GE(names.size(), 20u);

    int compared = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::u16string n = text::fromUtf8(name);
        const auto ours = testing_support::readBytes(linuxDir.file(n));
        const auto theirs = testing_support::readBytes(windowsDir.file(n));
        ASSERT_FALSE(ours.empty());
        if (lossy(name)) {
            // The same quality must give the same picture, whatever the
            // encoder's machine code.
            const std::string a = decodedPixels(utf8(linuxDir.file(n))), b = decodedPixels(utf8(windowsDir.file(n)));
            EXPECT_GT(a.size(), 100u) << a;
            EXPECT_TRUE(a == b) << name << ": the decoded pixels differ";
        } else {
            EXPECT_TRUE(ours == theirs) << name << ": " << firstDifference(ours, theirs);
        }
        ++compared;
    }
    EXPECT_EQ(compared, static_cast<int>(names.size()));
}

}  // namespace
