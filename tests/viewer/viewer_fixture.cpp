#include "viewer_fixture.h"

#include "platform/files.h"
#include "platform/path.h"

namespace viewer_test {

bool toolkitLoaded() {
    static const bool loaded = timage::library().load(text::fromUtf8(DOCIVA_TIMAGE_FOLDER)) == timage::kLoaded;
    return loaded;
}

ScopedImage makeImage(const Picture& picture) {
    ScopedImage image(timage::ti_CreateImage(picture.width, picture.height, TI_BGR24));
    timage::ti_Fill(image.get(), 0xFF000000u | picture.colour);
    // Marker: a black block in the top-left tenth.
    const TI_RECT marker{0, 0, std::max(1, picture.width / 10), std::max(1, picture.height / 10)};
    timage::ti_FillRect(image.get(), &marker, 0xFF000000u);
    timage::ti_SetDpi(image.get(), 200, 200);
    return image;
}

bool writePicture(const std::u16string& path, const Picture& picture, int quality) {
    ScopedImage image = makeImage(picture);
    return timage::ti_SaveImage2(path.c_str(), image.get(), TI_COMPRESSION_LZW, quality, 0) == TI_OK;
}

bool writeTiff(const std::u16string& path, const std::vector<Picture>& pages) {
    CMultiTiff writer;
    if (!writer.Open(path)) return false;
    for (const Picture& p : pages) {
        ScopedImage image = makeImage(p);
        if (!writer.AddPage(image.get(), 100)) return false;
    }
    return writer.Close();
}

std::set<std::u16string> fileNamesIn(const std::u16string& folder) {
    std::set<std::u16string> names;
    for (const platform::FileEntry& e : platform::findFiles(platform::joinPath(folder, u"*")))
        if (e.name != u"." && e.name != u"..") names.insert(e.name);
    return names;
}

FileFacts readFacts(const std::u16string& path) {
    TI_FILE_INFO info{};
    info.size = static_cast<int32_t>(sizeof(info));
    if (timage::ti_GetImageInfo(path.c_str(), &info) != TI_OK) return {};
    return {true, info.pageCount, info.width, info.height};
}

std::uint32_t pixelAt(const std::u16string& path, int page, int x, int y) {
    ScopedImage image(timage::ti_LoadImageEx(path.c_str(), page));
    if (!image) return 0xFFFFFFFFu;
    const TI_IMAGE_INFO info = imageInfo(image.get());
    if (x >= info.width || y >= info.height || info.pixelFormat < 3) return 0xFFFFFFFFu;
    const std::uint8_t* row = info.data + static_cast<std::ptrdiff_t>(y) * info.stride;
    const std::uint8_t* px = row + x * info.pixelFormat;
    return (std::uint32_t{px[2]} << 16) | (std::uint32_t{px[1]} << 8) | px[0];
}

void ViewerTest::SetUp() {
    if (!toolkitLoaded()) GTEST_SKIP() << "image toolkit not available";
}

}  // namespace viewer_test
