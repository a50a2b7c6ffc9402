// Every edit kind on every kind of document while the disk is full: the
// edit gives its failure result, the document's file is byte for byte what
// it was, the view shows what the file holds, nothing is left in the
// folder, and the process goes on. Once the disk has room the next edit is
// written. Run against the platform's simulated full disk (both
// platforms) and against a real full tmpfs (Linux, as root).
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/path.h"
#include "support/full_disk.h"
#include "viewer/view_convas_dlg.h"
#include "viewer_fixture.h"

using namespace viewer_test;
using testing_support::FullDisk;
using testing_support::utf8;

namespace {

constexpr std::uint32_t kRed = 0xC03020;
constexpr std::uint32_t kBlue = 0x2040C0;
constexpr std::uint32_t kGreen = 0x20A040;

struct DocumentKind {
    const char* name;
    const char16_t* file;
    int pages;
    bool pdf;
};

const DocumentKind kDocuments[] = {
    {"one-page PNG", u"page.png", 1, false},   {"one-page JPEG", u"page.jpg", 1, false},
    {"one-page BMP", u"page.bmp", 1, false},   {"one-page GIF", u"page.gif", 1, false},
    {"one-page TIFF", u"page.tif", 1, false},  {"three-page TIFF", u"scan.tif", 3, false},
    {"one-page PDF", u"page.pdf", 1, true},    {"three-page PDF", u"scan.pdf", 3, true},
};

const std::vector<Picture> kPages = {{180, 120, kRed}, {140, 100, kBlue}, {120, 80, kGreen}};

// A picture no encoder makes small, so that a few pages of free room are
// not enough for it.
ScopedImage noisy(const Picture& picture) {
    ScopedImage image = makeImage(picture);
    TI_IMAGE_INFO info = imageInfo(image.get());
    std::uint32_t x = picture.colour;
    for (int row = 0; row < info.height; ++row) {
        std::uint8_t* p = info.data + static_cast<std::ptrdiff_t>(row) * info.stride;
        for (int i = 0; i < info.width * info.pixelFormat; ++i) {
            x = x * 1664525u + 1013904223u;
            p[i] = static_cast<std::uint8_t>((p[i] + (x >> 24)) & 0xFF);
        }
    }
    return image;
}

struct EditKind {
    const char* name;
    std::function<int(CImageViewer&)> edit;
    bool undoFirst;     // an edit is written first, which this one undoes
    bool multiPageOnly; // a delete of one page of several
};

int crop(CImageViewer& viewer) {
    if (viewer.Cut() != 0) return -100;
    const ViewerRect image = viewer.SingleImageRect();
    viewer.SetCropRect({image.left + 5, image.top + 4, image.right - 6, image.bottom - 3});
    return viewer.Cut();
}

const EditKind kEdits[] = {
    {"RotateLeft", [](CImageViewer& v) { return v.Rotate(90); }, false, false},
    {"Rotate", [](CImageViewer& v) { return v.Rotate(180); }, false, false},
    {"RotateRight", [](CImageViewer& v) { return v.Rotate(270); }, false, false},
    {"Flip", [](CImageViewer& v) { return v.Flip(); }, false, false},
    {"Mirror", [](CImageViewer& v) { return v.Mirror(); }, false, false},
    {"Cut", crop, false, false},
    {"Undo", [](CImageViewer& v) { return v.Undo(); }, true, false},
    {"DeleteImage", [](CImageViewer& v) { return v.DeleteImage(); }, false, true},
};

// What the view shows of the current document: its page count and the
// size of each page's display image.
std::vector<std::pair<int, int>> shown(CImageViewer& viewer) {
    std::vector<std::pair<int, int>> sizes;
    viewer.WithDocument(viewer.CurrentDocumentIndex(), [&](ViewerDocument* d) {
        if (!d) return;
        for (const auto& page : d->pages) sizes.emplace_back(page->Info().width, page->Info().height);
    });
    return sizes;
}

class FullDiskEdits : public ViewerTest, public ::testing::WithParamInterface<FullDisk::Kind> {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        if (IsSkipped()) return;
        mount_ = file(u"disk");
        ASSERT_TRUE(platform::createDirectory(mount_));
        disk_ = std::make_unique<FullDisk>(GetParam(), mount_);
        if (!disk_->ready()) GTEST_SKIP() << disk_->why();
        folder_ = platform::joinPath(mount_, u"docs");
        ASSERT_TRUE(platform::createDirectory(folder_));
    }
    void TearDown() override { disk_.reset(); }

    bool make(const DocumentKind& kind, const std::u16string& path) {
        if (kind.pdf) {
            if (!pdf_.available()) return false;
            CMultiPDF::Document doc = pdf_.CreateIF();
            if (!doc || doc.create() != 0) return false;
            for (int i = 0; i < kind.pages; ++i) {
                ScopedImage image = noisy(kPages[static_cast<std::size_t>(i)]);
                if (doc.addPage(image.get()) != 0) return false;
            }
            return doc.save(path.c_str()) == 0;
        }
        if (kind.pages > 1) {
            CMultiTiff writer;
            if (!writer.Open(path)) return false;
            for (int i = 0; i < kind.pages; ++i) {
                ScopedImage image = noisy(kPages[static_cast<std::size_t>(i)]);
                if (!writer.AddPage(image.get(), 100)) return false;
            }
            return writer.Close();
        }
        ScopedImage image = noisy(kPages[0]);
        // Uncompressed TIFF: Wine's codecs write no LZW.
        return timage::ti_SaveImage2(path.c_str(), image.get(), TI_COMPRESSION_NONE, 90, 0) == TI_OK;
    }

    std::u16string mount_, folder_;
    std::unique_ptr<FullDisk> disk_;
    const CMultiPDF pdf_{
#ifdef DOCIVA_QIXIPF_FOLDER
        text::fromUtf8(DOCIVA_QIXIPF_FOLDER)
#else
        std::u16string()
#endif
    };
};

TEST_P(FullDiskEdits, EveryEditOnEveryDocumentFailsCleanly) {
    int checked = 0;
    for (const DocumentKind& kind : kDocuments) {
        if (kind.pdf && !pdf_.available()) continue;  // no PDF library here (Windows)
        for (const EditKind& editKind : kEdits) {
            if (editKind.multiPageOnly && kind.pages < 2) continue;
            // A real disk has its room in pages: none left, or one page,
            // too few for any of these documents.
            const std::vector<unsigned long long> frees = GetParam() == FullDisk::Kind::Simulated
                                                              ? std::vector<unsigned long long>{0, 64, 4096}
                                                              : std::vector<unsigned long long>{0, 4096};
            for (unsigned long long free : frees) {
                SCOPED_TRACE(std::string(disk_->name()) + ", " + kind.name + ", " + editKind.name + ", " +
                             std::to_string(free) + " bytes free");
                const std::u16string path = platform::joinPath(folder_, kind.file);
                ASSERT_TRUE(make(kind, path));
                CImageViewer viewer(&pdf_);
                ASSERT_TRUE(viewer.AddImage(path, -1));
                if (kind.pages > 1) {
                    // Page mode, on the second page.
                    viewer.OnLButtonDblClk({10, 10});
                    ASSERT_TRUE(viewer.InPageMode());
                    ASSERT_EQ(viewer.GoNextPage(), 0);
                }
                if (editKind.undoFirst) {
                    ASSERT_EQ(viewer.Rotate(90), 0);
                }
                const bool undo = viewer.UndoAvailable();
                const std::string before = testing_support::readBytes(path);
                const std::set<std::u16string> names = fileNamesIn(folder_);
                const auto view = shown(viewer);
                const int page = viewer.CurrentPageIndex();

                disk_->fill(free);
                const int result = editKind.edit(viewer);
                disk_->drain();

                EXPECT_EQ(result, kEditNotWritten);
                EXPECT_EQ(testing_support::readBytes(path), before) << "the file is as it was";
                EXPECT_EQ(fileNamesIn(folder_), names) << "nothing left behind";
                EXPECT_EQ(shown(viewer), view) << "the view shows what the file holds";
                EXPECT_EQ(viewer.CurrentPageIndex(), page);
                EXPECT_EQ(viewer.UndoAvailable(), undo);
                EXPECT_EQ(viewer.GetFileCount(), 1);

                // With room again, the same edit is written.
                EXPECT_EQ(editKind.edit(viewer), 0);
                EXPECT_NE(testing_support::readBytes(path), before);
                EXPECT_EQ(fileNamesIn(folder_), names);
                ASSERT_TRUE(platform::deleteFile(path));
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 0);
}

INSTANTIATE_TEST_SUITE_P(FullDisk, FullDiskEdits,
                         ::testing::Values(FullDisk::Kind::Simulated, FullDisk::Kind::Tmpfs),
                         [](const ::testing::TestParamInfo<FullDisk::Kind>& param) {
                             return std::string(param.param == FullDisk::Kind::Simulated ? "Simulated" : "Tmpfs");
                         });

}  // namespace
