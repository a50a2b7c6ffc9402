#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "output/timage_binding.h"
#include "platform/files.h"
#include "platform/library_name.h"
#include "platform/module.h"
#include "platform/path.h"
#include "platform/system.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace {

using testing_support::utf8;

// The toolkit's exports in the order the binding must resolve them.
const char* const kExports[] = {
    "ti_GetImageInfo", "ti_GetImageInfoFromStream", "ti_GetInfo", "ti_SetDpi", "ti_SetJpegQuality", "ti_LoadImage",
    "ti_LoadImageEx", "ti_LoadFromMem", "ti_LoadFromDIB", "ti_LoadFromStream", "ti_SaveImage", "ti_SaveImage2",
    "ti_SaveImageEx", "ti_SaveToStream", "ti_CloneImage", "ti_CreateImage", "ti_CreateImage2", "ti_AttachImageData",
    "ti_ReleaseImage", "ti_Copy", "ti_Resize", "ti_ResizeRect", "ti_BitBlt", "ti_AlphaBlend", "ti_CopyRect",
    "ti_GetQuadrangleSubPix", "ti_Rotate", "ti_Orientate", "ti_Flip", "ti_Repeat", "ti_RepeatRect", "ti_Fill",
    "ti_FillRect", "ti_SetZero", "ti_Not", "ti_Split", "ti_Merge", "ti_LUT", "ti_Threshold", "ti_ConvertColor",
    "ti_Light", "ti_Saturate", "ti_Mean", "ti_LightEx", "ti_Alloc", "ti_Free_", "ti_SetMemoryManager",
    "ti_GetErrMode", "ti_SetErrMode", "ti_Error", "ti_RedirectError", "ti_MultiPageCreateHandle",
    "ti_MultiPageAddFile", "ti_MultiPageAddStream", "ti_MultiPageAddImage", "ti_MultiPageReleaseHandle",
    "ti_DataIsTopdown", "ti_GetVersion",
};

// What the partial toolkit of tests/output/partial_toolkit.cpp exports.
const char* const kPartialExports[] = {"ti_GetInfo", "ti_SetDpi", "ti_CreateImage", "ti_ReleaseImage",
                                       "ti_GetVersion"};

bool isPartialExport(const char* name) {
    return std::any_of(std::begin(kPartialExports), std::end(kPartialExports),
                       [&](const char* e) { return std::string(e) == name; });
}

std::u16string missingAtLoad(const char* name) {
    return u"-->_<--funtion point:" + text::fromUtf8(name) + u" is null.\n";
}

std::u16string missingAtCall(const char* name) { return u"funtion point:" + text::fromUtf8(name) + u" is null.\n"; }

class Lines {
public:
    Lines() : capture_([this](std::u16string_view l) { lines_.emplace_back(l); }) {}
    std::vector<std::u16string> take() { return std::exchange(lines_, {}); }

private:
    std::vector<std::u16string> lines_;
    platform::ScopedDebugCapture capture_;
};

// A folder holding the partial toolkit under the toolkit's file name.
class PartialToolkitFolder {
public:
    PartialToolkitFolder() {
        copied_ = platform::copyFile(text::fromUtf8(DOCIVA_PARTIAL_TOOLKIT),
                                     dir_.file(platform::sharedLibraryFileName(u"timage")), false);
    }
    bool ready() const { return copied_; }
    const std::u16string& path() const { return dir_.path(); }

private:
    testing_support::TempDir dir_;
    bool copied_ = false;
};

class TImageBinding : public ::testing::Test {
protected:
    // A library left loaded would keep its temporary folder from going away
    // on Windows, and the next test must start without one.
    void TearDown() override { timage::library().unload(); }
};

TEST_F(TImageBinding, LibraryPath) {
    struct Row {
        std::u16string_view folder, path;
    };
    const std::vector<Row> windows = {
        {u"", u".\\timage.dll"},
        {u"C:\\Program Files\\Dociva\\", u"C:\\Program Files\\Dociva\\.\\timage.dll"},
        {u"C:\\Program Files\\Dociva", u"C:\\Program Files\\Dociva\\.\\timage.dll"},
        {u"C:/plugins/", u"C:/plugins/.\\timage.dll"},
    };
    const std::vector<Row> posixRows = {
        {u"", u"./libtimage.so"},
        {u"/opt/dociva/", u"/opt/dociva/./libtimage.so"},
        {u"/opt/dociva", u"/opt/dociva/./libtimage.so"},
    };
    for (const Row& row : testing_support::onWindows() ? windows : posixRows) {
        SCOPED_TRACE(utf8(row.folder));
        EXPECT_EQ(timage::libraryPath(row.folder), row.path);
    }
}

TEST_F(TImageBinding, ExportNamesInOrder) {
    const auto& names = timage::CTImageLibrary::exportNames();
    ASSERT_EQ(names.size(), std::size(kExports));
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_STREQ(names[i], kExports[i]) << "index " << i;
}

TEST_F(TImageBinding, MissingLibraryLogsTheLoadAndEveryExport) {
    testing_support::TempDir empty;
    Lines lines;
    EXPECT_EQ(timage::library().load(empty.path()), timage::kLoadFailed);
    EXPECT_FALSE(timage::library().loaded());
    const auto got = lines.take();
    ASSERT_EQ(got.size(), 1 + std::size(kExports));
    EXPECT_EQ(got[0], u"-->_<--Load module failed:" + timage::libraryPath(empty.path()) + u"\n");
    for (std::size_t i = 0; i < std::size(kExports); ++i) EXPECT_EQ(got[1 + i], missingAtLoad(kExports[i]));
}

// Every wrapper reaches its own export: with none loaded, each logs its own
// name once and returns what its kind of result calls for.
TEST_F(TImageBinding, EveryWrapperWithoutItsExport) {
    testing_support::TempDir empty;
    timage::library().load(empty.path());

    constexpr long kVoid = 1;  // a wrapper without a result
    constexpr long kNull = 0;  // a null handle or pointer
    TI_IMAGE img = nullptr;
    TI_MULTIPAGE writer = nullptr;
    TI_IMAGE planes[4] = {};
    TI_FILE_INFO fileInfo{};
    TI_IMAGE_INFO imageInfo{};
    TI_RECT rect{};
    TI_PARAM param{};
    uint8_t table[256] = {};
    double values[6] = {};
    auto null = [](const void* p) { return p ? 1L : kNull; };
    struct Row {
        const char* name;
        std::function<long()> call;
        long expected;
    };
    const long m = timage::kMissingExport;
    const Row rows[] = {
        {"ti_GetImageInfo", [&] { return long{timage::ti_GetImageInfo(u"a", &fileInfo)}; }, m},
        {"ti_GetImageInfoFromStream", [&] { return long{timage::ti_GetImageInfoFromStream(nullptr, &fileInfo)}; }, m},
        {"ti_GetInfo", [&] { return long{timage::ti_GetInfo(img, &imageInfo)}; }, m},
        {"ti_SetDpi", [&] { return long{timage::ti_SetDpi(img, 1, 2)}; }, m},
        {"ti_SetJpegQuality", [&] { return long{timage::ti_SetJpegQuality(img, 60)}; }, m},
        {"ti_LoadImage", [&] { return null(timage::ti_LoadImage(u"a")); }, kNull},
        {"ti_LoadImageEx", [&] { return null(timage::ti_LoadImageEx(u"a", 1)); }, kNull},
        {"ti_LoadFromMem", [&] { return null(timage::ti_LoadFromMem("x", 1)); }, kNull},
        {"ti_LoadFromDIB", [&] { return null(timage::ti_LoadFromDIB(nullptr, nullptr)); }, kNull},
        {"ti_LoadFromStream", [&] { return null(timage::ti_LoadFromStream(nullptr, 0)); }, kNull},
        {"ti_SaveImage", [&] { return long{timage::ti_SaveImage(u"a", img)}; }, m},
        {"ti_SaveImage2", [&] { return long{timage::ti_SaveImage2(u"a", img, 7, -1, 0)}; }, m},
        {"ti_SaveImageEx", [&] { return long{timage::ti_SaveImageEx(u"a", img, &param, 1)}; }, m},
        {"ti_SaveToStream", [&] { return long{timage::ti_SaveToStream(nullptr, img, 2, &param, 1)}; }, m},
        {"ti_CloneImage", [&] { return null(timage::ti_CloneImage(img)); }, kNull},
        {"ti_CreateImage", [&] { return null(timage::ti_CreateImage(4, 4, 1)); }, kNull},
        {"ti_CreateImage2", [&] { return null(timage::ti_CreateImage2(4, 4, 1, 300, 300)); }, kNull},
        {"ti_AttachImageData", [&] { return null(timage::ti_AttachImageData(1, 1, 1, 4, table)); }, kNull},
        {"ti_ReleaseImage", [&] { timage::ti_ReleaseImage(&img); return kVoid; }, kVoid},
        {"ti_Copy", [&] { return long{timage::ti_Copy(img, img)}; }, m},
        {"ti_Resize", [&] { return long{timage::ti_Resize(img, img, 1)}; }, m},
        {"ti_ResizeRect", [&] { return long{timage::ti_ResizeRect(img, &rect, img, &rect, 3)}; }, m},
        {"ti_BitBlt", [&] { return long{timage::ti_BitBlt(img, 0, 0, 1, 1, img, 0, 0)}; }, m},
        {"ti_AlphaBlend", [&] { return long{timage::ti_AlphaBlend(img, 0, 0, img, 128)}; }, m},
        {"ti_CopyRect", [&] { return long{timage::ti_CopyRect(img, img, 0, 0, -1)}; }, m},
        {"ti_GetQuadrangleSubPix", [&] { return long{timage::ti_GetQuadrangleSubPix(img, img, values)}; }, m},
        {"ti_Rotate", [&] { return long{timage::ti_Rotate(img, img, 12.5, 0)}; }, m},
        {"ti_Orientate", [&] { return long{timage::ti_Orientate(img, img, 90)}; }, m},
        {"ti_Flip", [&] { return long{timage::ti_Flip(img, img, 1)}; }, m},
        {"ti_Repeat", [&] { return long{timage::ti_Repeat(img, img)}; }, m},
        {"ti_RepeatRect", [&] { return long{timage::ti_RepeatRect(img, img, &rect)}; }, m},
        {"ti_Fill", [&] { return long{timage::ti_Fill(img, 0xFFFFFFFFu)}; }, m},
        {"ti_FillRect", [&] { return long{timage::ti_FillRect(img, &rect, 0)}; }, m},
        {"ti_SetZero", [&] { return long{timage::ti_SetZero(img)}; }, m},
        {"ti_Not", [&] { return long{timage::ti_Not(img, img)}; }, m},
        {"ti_Split", [&] { return long{timage::ti_Split(img, planes)}; }, m},
        {"ti_Merge", [&] { return long{timage::ti_Merge(planes, img)}; }, m},
        {"ti_LUT", [&] { return long{timage::ti_LUT(img, img, table)}; }, m},
        {"ti_Threshold", [&] { return long{timage::ti_Threshold(img, img, 128, 255, 0)}; }, m},
        {"ti_ConvertColor", [&] { return long{timage::ti_ConvertColor(img, img, 0)}; }, m},
        {"ti_Light", [&] { return long{timage::ti_Light(img, img, 10, 10)}; }, m},
        {"ti_Saturate", [&] { return long{timage::ti_Saturate(img, img, 10)}; }, m},
        {"ti_Mean", [&] { return long{timage::ti_Mean(img, values)}; }, m},
        {"ti_LightEx", [&] { return long{timage::ti_LightEx(img, img, 1, 1, 1.0)}; }, m},
        {"ti_Alloc", [&] { return null(timage::ti_Alloc(16)); }, kNull},
        {"ti_Free_", [&] { timage::ti_Free_(nullptr); return kVoid; }, kVoid},
        {"ti_SetMemoryManager", [&] { return long{timage::ti_SetMemoryManager(nullptr, nullptr)}; }, m},
        {"ti_GetErrMode", [&] { return long{timage::ti_GetErrMode()}; }, m},
        {"ti_SetErrMode", [&] { return long{timage::ti_SetErrMode(1)}; }, m},
        {"ti_Error", [&] { return long{timage::ti_Error()}; }, m},
        {"ti_RedirectError", [&] { return long{timage::ti_RedirectError(nullptr, nullptr)}; }, m},
        {"ti_MultiPageCreateHandle", [&] { return null(timage::ti_MultiPageCreateHandle(u"a.tif")); }, kNull},
        {"ti_MultiPageAddFile", [&] { return long{timage::ti_MultiPageAddFile(writer, u"a", &param, 1)}; }, m},
        {"ti_MultiPageAddStream", [&] { return long{timage::ti_MultiPageAddStream(writer, nullptr, &param, 1)}; }, m},
        {"ti_MultiPageAddImage", [&] { return long{timage::ti_MultiPageAddImage(writer, img, &param, 1)}; }, m},
        {"ti_MultiPageReleaseHandle", [&] { timage::ti_MultiPageReleaseHandle(&writer); return kVoid; }, kVoid},
        {"ti_DataIsTopdown", [&] { return long{timage::ti_DataIsTopdown(img)}; }, m},
        {"ti_GetVersion", [&] { return long{timage::ti_GetVersion()}; }, m},
    };
    ASSERT_EQ(std::size(rows), std::size(kExports));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.name);
        EXPECT_STREQ(row.name, kExports[i]);
        Lines lines;
        EXPECT_EQ(row.call(), row.expected);
        EXPECT_EQ(lines.take(), std::vector<std::u16string>{missingAtCall(row.name)});
    }
}

TEST_F(TImageBinding, PartialToolkitLoadsAndNamesWhatItLacks) {
    PartialToolkitFolder folder;
    ASSERT_TRUE(folder.ready()) << DOCIVA_PARTIAL_TOOLKIT;
    Lines lines;
    EXPECT_EQ(timage::library().load(folder.path()), timage::kLoaded);
    std::vector<std::u16string> expected = {u"--^__^--Load module successfully:" + timage::libraryPath(folder.path()) +
                                            u"\n"};
    for (const char* name : kExports)
        if (!isPartialExport(name)) expected.push_back(missingAtLoad(name));
    EXPECT_EQ(lines.take(), expected);
}

TEST_F(TImageBinding, PartialToolkitCallsThroughWhatItHas) {
    PartialToolkitFolder folder;
    ASSERT_TRUE(folder.ready());
    ASSERT_EQ(timage::library().load(folder.path()), timage::kLoaded);

    Lines lines;
    EXPECT_EQ(timage::ti_GetVersion(), (9 << 16) | 1);
    TI_IMAGE img = timage::ti_CreateImage(640, 480, TI_BGR24);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(timage::ti_SetDpi(img, 300, 150), TI_OK);
    TI_IMAGE_INFO info{};
    info.size = sizeof info;
    EXPECT_EQ(timage::ti_GetInfo(img, &info), TI_OK);
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.height, 480);
    EXPECT_EQ(info.pixelFormat, TI_BGR24);
    EXPECT_EQ(info.xDpi, 300);
    EXPECT_EQ(info.yDpi, 150);
    EXPECT_TRUE(lines.take().empty());

    // Missing beside present ones: the wrapper answers without a call.
    EXPECT_EQ(timage::ti_SetJpegQuality(img, 60), timage::kMissingExport);
    EXPECT_EQ(timage::ti_CloneImage(img), nullptr);
    EXPECT_EQ(lines.take(), (std::vector<std::u16string>{missingAtCall("ti_SetJpegQuality"),
                                                          missingAtCall("ti_CloneImage")}));

    timage::ti_ReleaseImage(&img);
    EXPECT_EQ(img, nullptr);
}

// A load frees the library held before, and nothing resolved from it is
// called afterwards.
TEST_F(TImageBinding, ReloadForgetsThePreviousLibrary) {
    PartialToolkitFolder folder;
    ASSERT_TRUE(folder.ready());
    ASSERT_EQ(timage::library().load(folder.path()), timage::kLoaded);
    ASSERT_EQ(timage::ti_GetVersion(), (9 << 16) | 1);

    testing_support::TempDir empty;
    EXPECT_EQ(timage::library().load(empty.path()), timage::kLoadFailed);
    Lines lines;
    EXPECT_EQ(timage::ti_GetVersion(), timage::kMissingExport);
    EXPECT_EQ(lines.take(), std::vector<std::u16string>{missingAtCall("ti_GetVersion")});

    // And loading the same library twice keeps it usable.
    ASSERT_EQ(timage::library().load(folder.path()), timage::kLoaded);
    ASSERT_EQ(timage::library().load(folder.path()), timage::kLoaded);
    EXPECT_EQ(timage::ti_GetVersion(), (9 << 16) | 1);
}

TEST_F(TImageBinding, LoadAtModuleLoadIsRelativeToTheCurrentDirectory) {
    PartialToolkitFolder folder;
    ASSERT_TRUE(folder.ready());
    const std::u16string before = platform::currentDirectory();
    ASSERT_TRUE(platform::setCurrentDirectory(folder.path()));
    Lines lines;
    const int result = timage::loadFromCurrentDirectory();
    const auto got = lines.take();
    timage::library().unload();
    ASSERT_TRUE(platform::setCurrentDirectory(before));

    EXPECT_EQ(result, timage::kLoaded);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], u"--^__^--Load module successfully:" + timage::libraryPath(u"") + u"\n");
}

TEST_F(TImageBinding, LoadAtApplicationStartUsesTheModuleFolder) {
    // No toolkit is built beside the test program.
    Lines lines;
    EXPECT_EQ(timage::loadFromModuleFolder(), timage::kLoadFailed);
    const auto got = lines.take();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], u"-->_<--Load module failed:" +
                          timage::libraryPath(platform::moduleFolder(platform::currentModule())) + u"\n");
}

}  // namespace
