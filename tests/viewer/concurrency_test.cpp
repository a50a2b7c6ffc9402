// Files reach the viewer on the request pool's worker while the window
// thread navigates, zooms, edits, deletes and paints: the way the control
// runs during a scan. Built with ThreadSanitizer (the tsan preset) this
// shows any access to the viewer's state that the lock does not cover.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "control/add_image_request.h"
#include "platform/files.h"
#include "threadpool/thread_pool.h"
#include "viewer/view_convas_dlg.h"
#include "viewer_fixture.h"

using namespace viewer_test;
using testing_support::utf8;

namespace {

constexpr std::uint32_t kRed = 0xC03020;
constexpr std::uint32_t kBlue = 0x2040C0;

// What the control does with a scanned file: show it in its viewer window.
class WindowTarget : public ScannedImageTarget {
public:
    explicit WindowTarget(CViewConvasDlg& window) : window_(window) {}

    void addScannedImage(ImageReadyRecord record) override {
        if (window_.AddImage(text::view(record.filePath), record.formatCode)) shown_.fetch_add(1);
        handled_.fetch_add(1);
    }

    int handled() const { return handled_.load(); }
    int shown() const { return shown_.load(); }

private:
    CViewConvasDlg& window_;
    std::atomic<int> handled_{0};
    std::atomic<int> shown_{0};
};

ImageReadyRecord recordFor(const std::u16string& path, int formatCode) {
    ImageReadyRecord record{};
    text::copyBounded(record.filePath, kImageReadyPathCopyUnits + 1, path);
    record.formatCode = formatCode;
    return record;
}

using ViewerConcurrencyTest = ViewerTest;

TEST_F(ViewerConcurrencyTest, FilesArriveWhileTheWindowThreadWorks) {
    constexpr int kFiles = 18;
    std::vector<std::u16string> paths;
    for (int i = 0; i < kFiles; ++i) {
        // PNG, JPEG and two-page TIFF documents, in turn.
        const int kind = i % 3;
        const std::u16string name = text::format(kind == 0 ? u"s%d.png" : kind == 1 ? u"s%d.jpg" : u"s%d.tif", i);
        paths.push_back(file(name));
        if (kind == 2) {
            ASSERT_TRUE(writeTiff(paths.back(), {{120, 90, kRed}, {90, 120, kBlue}}));
        } else {
            // The JPEG pages are larger than the viewer's box: they are fitted.
            const Picture picture = kind == 1 ? Picture{300 + i, 820, kRed} : Picture{200 + i, 150, kBlue};
            ASSERT_TRUE(writePicture(paths.back(), picture));
        }
    }

    CViewConvasDlg window(nullptr);
    ASSERT_TRUE(window.Create());
    WindowTarget target(window);
    TP::ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, nullptr));
    for (int i = 0; i < kFiles; ++i) {
        const ImageReadyRecord record = recordFor(paths[static_cast<std::size_t>(i)], i % 3 == 2 ? 8 : -1);
        ASSERT_TRUE(AddImageRequest::Post(pool, &target, &record));
    }

    // The window thread keeps working until the worker has handled every
    // file, and at least one round of every operation.
    int deleted = 0;
    int round = 0;
    while (target.handled() < kFiles || round < 40) {
        switch (round % 20) {
            case 0: window.GoFirstPage(); break;
            case 1: window.GoNextPage(); break;
            case 2: window.ZoomIn(); break;
            case 3: window.NormalView(); break;
            case 4: window.OnLButtonDown({300, 300}); break;
            case 5: window.OnMouseMove({250, 240}, true); break;
            case 6: window.OnLButtonUp({250, 240}); break;
            case 7: window.ZoomOut(); break;
            case 8: window.RotateLeft(); break;
            case 9: window.Mirror(); break;
            case 10: window.Undo(); break;
            case 11: window.ViewThumb4(); break;
            case 12: window.OnLButtonDown({100, 100}); window.OnLButtonUp({100, 100}); break;
            case 13: window.GoLastPage(); break;
            case 14: window.ViewThumb9(); break;
            case 15: window.GoPrevPage(); break;
            case 16: window.ViewSinglePage(); break;
            case 17:
                // Outside page mode a delete takes a whole document.
                if (round % 60 == 17 && !window.Viewer().InPageMode() && window.DeleteImage() == 0) ++deleted;
                break;
            case 18: window.Cut(); window.Cut(); break;
            case 19: window.FullView(); break;
        }
        window.Paint();
        (void)window.Viewer().ScreenCount();
        (void)window.Viewer().CurrentScreen();
        ++round;
        if (target.handled() < kFiles) std::this_thread::yield();
    }
    ASSERT_TRUE(pool.Destroy());

    EXPECT_EQ(target.shown(), kFiles);
    EXPECT_EQ(window.GetFileCount(), kFiles - deleted);
    // Every document left is whole on disk, with the pages the viewer has.
    int onDisk = 0;
    for (int i = 0; i < window.GetFileCount(); ++i) {
        SCOPED_TRACE(i);
        std::u16string path;
        window.Viewer().WithDocument(i, [&](ViewerDocument* d) {
            ASSERT_NE(d, nullptr);
            path = d->pages.front()->Path();
        });
        const FileFacts facts = readFacts(path);
        EXPECT_TRUE(facts.ok) << utf8(path);
        EXPECT_EQ(facts.pages, window.Viewer().PageCount(i));
    }
    for (const std::u16string& path : paths) onDisk += platform::pathExists(path) ? 1 : 0;
    EXPECT_EQ(onDisk, kFiles - deleted);
}

}  // namespace
