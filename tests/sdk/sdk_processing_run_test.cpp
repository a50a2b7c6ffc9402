// The processing settings of a record, through a whole scan: pages from a
// folder come out as files that show them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "sdk/page_test_support.h"
#include "sdk/sdk_test_support.h"

using dociva_sdk::ImageOwner;
using namespace page_testing;
using testing_support::TempDir;
using testing_support::utf8;

namespace {

constexpr int kDpi = 300;
constexpr int kPageW = 1200, kPageH = 1500;

// Text lines, and two punch holes (the background seen through them) at
// the left, on paper.
ImageOwner holedPage() {
    return drawPage(kPageW, kPageH, TI_BGR24, kDpi, [](int x, int y) {
        for (int hy : {450, 1050})
            if (std::hypot(x - 140, y - hy) <= 35) return Rgb{15, 15, 18};
        const bool text = x >= 300 && x < 1050 && y >= 200 && y < 1300 && (y - 200) % 40 < 20 && (x - 300) % 120 < 90;
        return text ? Rgb{30, 30, 30} : Rgb{245, 245, 240};
    });
}

TEST(SdkProcessingRun, ARecordsSettingsShowInTheFiles) {
    struct Row {
        const char* name;
        int autoSize, punchHoleErase;
        bool cropped, holesGone;
    };
    const Row rows[] = {
        {"nothing on", 0, 0, false, false},
        {"autoSize", 1, 0, true, false},
        {"autoSize and punch holes", 1, 1, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::u16string input = dir.file(u"input");
        platform::createDirectory(input);
        // Turned 4 degrees clockwise on a dark background.
        ImageOwner page = holedPage();
        ImageOwner scan(ti_CreateImage2(1600, 1900, TI_BGR24, kDpi, kDpi));
        ASSERT_EQ(ti_Rotate(page.get(), scan.get(), -4.0, 0x101010), TI_OK);
        ASSERT_EQ(ti_SaveImage(platform::joinPath(input, u"p1.png").c_str(), scan.get()), TI_OK);

        ScanSettings s = sdk_testing::settingsFor(dir.file(u"out"), u"4", 1, kDpi);
        s.autoSize = row.autoSize;
        s.punchHoleErase = row.punchHoleErase;
        const std::vector<std::u16string> files = sdk_testing::scanFolder(input, s);
        ASSERT_EQ(files.size(), 1u);
        ImageOwner out(ti_LoadImage(files[0].c_str()));
        ASSERT_TRUE(out);
        const TI_IMAGE_INFO info = dociva_sdk::imageLayout(out.get());
        if (row.cropped) {
            EXPECT_NEAR(info.width, kPageW, 6);
            EXPECT_NEAR(info.height, kPageH, 6);
        } else {
            EXPECT_EQ(info.width, 1600);
            EXPECT_EQ(info.height, 1900);
        }
        if (row.cropped) {
            // Where the holes' centres are on the straightened page.
            const Pixels pixels(out.get());
            const int dx = (info.width - kPageW) / 2, dy = (info.height - kPageH) / 2;
            for (int hy : {450, 1050}) {
                const Rgb c = pixels.at(140 + dx, hy + dy);
                EXPECT_EQ(c.g > 200, row.holesGone) << "hole at " << hy;
            }
        }
    }
}

}  // namespace
