// Real pictures for the viewer's tests, made and read back through the
// image toolkit built in this tree.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/test_support.h"
#include "viewer/document_writer.h"
#include "viewer/image_viewer.h"

namespace viewer_test {

// One solid picture; a small marker block in the top-left corner shows
// which way round the picture lies.
struct Picture {
    int width;
    int height;
    std::uint32_t colour;
};

bool toolkitLoaded();

ScopedImage makeImage(const Picture& picture);
// Writes a one-page file (format from the extension).
bool writePicture(const std::u16string& path, const Picture& picture, int quality = 90);
// Writes a multi-page TIFF.
bool writeTiff(const std::u16string& path, const std::vector<Picture>& pages);

// Every name in a folder ("." and ".." left out).
std::set<std::u16string> fileNamesIn(const std::u16string& folder);

struct FileFacts {
    bool ok = false;
    int pages = 0;
    int width = 0;
    int height = 0;
};
FileFacts readFacts(const std::u16string& path);

// The colour (0xRRGGBB) of a pixel of page `page` of a file; 0xFFFFFFFF
// when it cannot be read.
std::uint32_t pixelAt(const std::u16string& path, int page, int x, int y);

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override;

    std::u16string file(std::u16string_view name) const { return dir_.file(name); }

    testing_support::TempDir dir_;
};

}  // namespace viewer_test
