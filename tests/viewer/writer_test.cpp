// The document writer's temporary file and the user's own files beside the
// document; PDF documents written back through our PDF library (Linux),
// checked with poppler's pdfinfo.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "platform/file_writer.h"
#include "platform/files.h"
#include "platform/path.h"
#include "viewer/view_convas_dlg.h"
#include "viewer_fixture.h"

using namespace viewer_test;
using testing_support::utf8;

namespace {

constexpr std::uint32_t kRed = 0xC03020;
constexpr std::uint32_t kBlue = 0x2040C0;
const std::string kUsersBytes = "the user's own file, not ours to touch";

enum class Taken { File, Folder, DanglingLink };

bool make(const std::u16string& path, Taken kind) {
    switch (kind) {
        case Taken::File:
            return testing_support::writeBytes(path, kUsersBytes);
        case Taken::Folder:
            return platform::createDirectory(path);
        case Taken::DanglingLink:
#ifndef _WIN32
            return ::symlink("nowhere/at/all", utf8(path).c_str()) == 0;
#else
            return false;
#endif
    }
    return false;
}

// Every name in a folder.
std::set<std::string> namesIn(const std::u16string& folder) {
    std::set<std::string> names;
    for (const platform::FileEntry& e : platform::findFiles(platform::joinPath(folder, u"*")))
        if (e.name != u"." && e.name != u"..") names.insert(utf8(e.name));
    return names;
}

using WriterTest = ViewerTest;

// The temporary name is one of ours (it proves so), beside the document,
// with the document's extension, made where no entry of that name exists;
// whatever the user keeps in the folder is never taken for it.
TEST_F(WriterTest, TemporaryNameIsOneOfOursThatDidNotExistYet) {
    struct Row {
        const char* name;
        std::u16string file;  // empty: a name as long as the folder allows
        std::vector<std::pair<std::u16string, Taken>> taken;
        bool expected;
    } rows[] = {
        {"free", u"scan.tif", {}, true},
        {"the user's scan_.tif is not in the way", u"scan.tif", {{u"scan_.tif", Taken::File}}, true},
        {"a folder of the old name", u"scan.pdf", {{u"scan_.pdf", Taken::Folder}}, true},
        {"a link that leads nowhere", u"scan.png", {{u"scan_.png", Taken::DanglingLink}}, true},
        {"dots in the name", u"x.y.pdf", {}, true},
        {"no extension", u"plain", {}, true},
        {"the longest name the folder allows", {}, {}, true},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const bool link = std::any_of(row.taken.begin(), row.taken.end(),
                                      [](const auto& t) { return t.second == Taken::DanglingLink; });
        if (link && testing_support::onWindows()) continue;
        const std::u16string folder = file(text::format(u"row%d", n++));
        ASSERT_TRUE(platform::createDirectory(folder));
        std::u16string name = row.file;
        if (name.empty()) {
            const std::size_t used = platform::joinPath(folder, u"").size();
            name = std::u16string(platform::kMaxPathUnits - used - 4, u'k') + u".tif";
        }
        for (const auto& [takenName, kind] : row.taken)
            ASSERT_TRUE(make(platform::joinPath(folder, takenName), kind)) << utf8(takenName);
        const std::set<std::string> before = namesIn(folder);
        const std::u16string got = temporaryPathFor(platform::joinPath(folder, name));
        ASSERT_EQ(!got.empty(), row.expected) << utf8(got);
        if (got.empty()) continue;
        EXPECT_LE(got.size(), platform::kMaxPathUnits);
        EXPECT_EQ(utf8(platform::folderOf(got)), utf8(platform::folderOf(platform::joinPath(folder, name))));
        EXPECT_TRUE(platform::isTemporaryName(platform::fileNameOf(got))) << utf8(got);
        if (name.find(u'.') != std::u16string::npos) {
            EXPECT_EQ(utf8(platform::extensionOf(got)), utf8(platform::extensionOf(name)));
        }
        EXPECT_EQ(before.count(utf8(platform::fileNameOf(got))), 0u);
        // The name is reserved: an empty file of ours, so a second writer
        // asking at the same moment gets another name.
        std::string bytes = "x";
        EXPECT_TRUE(platform::readFile(got, bytes, 16)) << utf8(got);
        EXPECT_TRUE(bytes.empty());
        const std::u16string next = temporaryPathFor(platform::joinPath(folder, name));
        EXPECT_FALSE(next.empty());
        EXPECT_NE(utf8(next), utf8(got));
        // The user's files are as they were.
        for (const auto& [takenName, kind] : row.taken) {
            if (kind == Taken::File) {
                EXPECT_EQ(testing_support::readBytes(platform::joinPath(folder, takenName)), kUsersBytes);
            }
        }
    }
}

// Writers of documents in one folder run on different threads (and other
// programs may pick names too): no two may be handed the same temporary
// name, or one would write over the other's file and remove it.
TEST_F(WriterTest, ConcurrentWritersNeverShareATemporaryName) {
    const std::u16string folder = file(u"race");
    ASSERT_TRUE(platform::createDirectory(folder));
    const std::u16string document = platform::joinPath(folder, u"scan.tif");
    constexpr int kThreads = 6;
    constexpr int kEach = 6;
    std::array<std::vector<std::u16string>, kThreads> got;
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&got, &document, t] {
                for (int i = 0; i < kEach; ++i) got[static_cast<std::size_t>(t)].push_back(temporaryPathFor(document));
            });
        }
        for (std::thread& thread : threads) thread.join();
    }
    std::set<std::u16string> distinct;
    for (const auto& names : got) {
        for (const std::u16string& name : names) {
            EXPECT_FALSE(name.empty());
            distinct.insert(name);
        }
    }
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads * kEach));
}

// An edit rewrites the document while the user keeps files under the
// temporary names in its folder: theirs stay as they were and nothing of
// ours is left behind.
TEST_F(WriterTest, RewriteLeavesTheUsersFilesAlone) {
    struct Row {
        const char* name;
        std::u16string document;
        int pages;
        std::vector<std::u16string> usersFiles;
    } rows[] = {
        {"one-page PNG, scan_.png is the user's", u"scan.png", 1, {u"scan_.png"}},
        {"one-page JPEG, two names the user's", u"scan.jpg", 1, {u"scan_.jpg", u"scan__.jpg"}},
        {"two-page TIFF, scan_.tif is the user's", u"scan.tif", 2, {u"scan_.tif"}},
        {"two-page TIFF, other letter case", u"scan.tif", 2, {u"SCAN_.tif"}},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string folder = file(text::format(u"row%d", n++));
        ASSERT_TRUE(platform::createDirectory(folder));
        const std::u16string path = platform::joinPath(folder, row.document);
        if (row.pages == 1) {
            ASSERT_TRUE(writePicture(path, {80, 60, kRed}));
        } else {
            ASSERT_TRUE(writeTiff(path, {{80, 60, kRed}, {80, 60, kBlue}}));
        }
        for (const std::u16string& name : row.usersFiles)
            ASSERT_TRUE(testing_support::writeBytes(platform::joinPath(folder, name), kUsersBytes));
        const std::set<std::string> before = namesIn(folder);

        CImageViewer viewer(nullptr);
        ASSERT_TRUE(viewer.AddImage(path, -1));
        EXPECT_EQ(viewer.Rotate(90), 0);
        EXPECT_EQ(viewer.Flip(), 0);
        EXPECT_EQ(viewer.Undo(), 0);

        const FileFacts facts = readFacts(path);
        EXPECT_EQ(facts.pages, row.pages);
        EXPECT_EQ(facts.width, 60);
        EXPECT_EQ(facts.height, 80);
        for (const std::u16string& name : row.usersFiles)
            EXPECT_EQ(testing_support::readBytes(platform::joinPath(folder, name)), kUsersBytes) << utf8(name);
        EXPECT_EQ(namesIn(folder), before);
    }
}

// Deleting pages rewrites the document too; the user's file survives that.
TEST_F(WriterTest, DeletingAPageKeepsTheUsersFile) {
    const std::u16string path = file(u"three.tif");
    ASSERT_TRUE(writeTiff(path, {{80, 60, kRed}, {80, 60, kBlue}, {80, 60, kRed}}));
    const std::u16string users = file(u"three_.tif");
    ASSERT_TRUE(testing_support::writeBytes(users, kUsersBytes));
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(path, -1));
    viewer.OnLButtonDblClk({10, 10});
    ASSERT_TRUE(viewer.InPageMode());
    EXPECT_EQ(viewer.DeleteImage(), 0);
    EXPECT_EQ(readFacts(path).pages, 2);
    EXPECT_EQ(testing_support::readBytes(users), kUsersBytes);
    EXPECT_FALSE(platform::pathExists(file(u"three__.tif")));
}

// The size of each page of a file, as the toolkit reads it.
std::vector<std::pair<int, int>> pageSizes(const std::u16string& path) {
    std::vector<std::pair<int, int>> sizes;
    for (int page = 0; page < readFacts(path).pages; ++page) {
        ScopedImage image(timage::ti_LoadImageEx(path.c_str(), page));
        const TI_IMAGE_INFO info = imageInfo(image.get());
        sizes.emplace_back(info.width, info.height);
    }
    return sizes;
}

using Sizes = std::vector<std::pair<int, int>>;

// Pages of their own sizes, so each can be told from the others.
const std::vector<Picture> kFourPages = {{80, 60, kRed}, {70, 50, kBlue}, {60, 40, kRed}, {50, 30, kBlue}};

TEST_F(WriterTest, PagesNotInMemoryAreReadByTheirPlaceInTheFile) {
    const std::u16string path = file(u"four.tif");
    ASSERT_TRUE(writeTiff(path, kFourPages));
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(path, -1));
    viewer.OnLButtonDblClk({10, 10});
    ASSERT_TRUE(viewer.InPageMode());
    EXPECT_EQ(viewer.GoNextPage(), 0);
    EXPECT_EQ(viewer.GoNextPage(), 0);
    // The third page goes; the fourth moves up.
    EXPECT_EQ(viewer.DeleteImage(), 0);
    EXPECT_EQ(pageSizes(path), (Sizes{{80, 60}, {70, 50}, {50, 30}}));
    // The fourth page, now third, is turned and written back among the others.
    ASSERT_EQ(viewer.CurrentPageIndex(), 2);
    EXPECT_EQ(viewer.Rotate(90), 0);
    EXPECT_EQ(pageSizes(path), (Sizes{{80, 60}, {70, 50}, {30, 50}}));
    viewer.WithDocument(0, [](ViewerDocument* d) {
        ASSERT_NE(d, nullptr);
        for (std::size_t i = 0; i < d->pages.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(d->pages[i]->Index(), static_cast<int>(i));
            // Written pages are let go; none is held after a write.
            EXPECT_FALSE(d->pages[i]->HasFullImage());
        }
    });
}

TEST_F(WriterTest, DeleteThatCannotBeWrittenKeepsThePlaces) {
    // Several pages under a name that is not a TIFF's: never written.
    const std::u16string path = file(u"odd.png");
    ASSERT_TRUE(writeTiff(path, kFourPages));
    const std::string before = testing_support::readBytes(path);
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(path, -1));
    viewer.OnLButtonDblClk({10, 10});
    ASSERT_TRUE(viewer.InPageMode());
    EXPECT_EQ(viewer.DeleteImage(), 0);
    EXPECT_EQ(testing_support::readBytes(path), before);
    // Each page left still reads its own picture from the unchanged file.
    viewer.WithDocument(0, [](ViewerDocument* d) {
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(d->pages.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            const TI_IMAGE_INFO info = imageInfo(d->pages[i]->FullImage());
            EXPECT_EQ(info.width, kFourPages[i + 1].width);
            EXPECT_EQ(info.height, kFourPages[i + 1].height);
        }
    });
}

TEST_F(WriterTest, PageThatCannotBeReadWritesNothing) {
    const std::u16string path = file(u"scan.tif");
    ASSERT_TRUE(writeTiff(path, kFourPages));
    CImageViewer viewer(nullptr);
    ASSERT_TRUE(viewer.AddImage(path, -1));
    // Meanwhile the file lost its last two pages.
    ASSERT_TRUE(writeTiff(path, {kFourPages[0], kFourPages[1]}));
    const std::string before = testing_support::readBytes(path);
    const std::set<std::string> names = namesIn(dir_.path());
    EXPECT_EQ(viewer.Rotate(90), kEditNotWritten);
    EXPECT_EQ(testing_support::readBytes(path), before);
    EXPECT_EQ(namesIn(dir_.path()), names);
    // The view shows the page as the file holds it, unturned.
    viewer.WithDocument(0, [](ViewerDocument* d) {
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(imageInfo(d->pages.front()->FullImage()).width, 80);
        EXPECT_EQ(d->pages.front()->Info().width, 80);
        EXPECT_FALSE(d->pages[1]->HasFullImage());
    });
}

#ifdef DOCIVA_QIXIPF_FOLDER

std::string run(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    if (!pipe) return {};
    std::string out;
    std::array<char, 4096> buf;
    while (std::size_t got = std::fread(buf.data(), 1, buf.size(), pipe.get())) out.append(buf.data(), got);
    return out;
}

std::string quoted(const std::u16string& path) { return "'" + utf8(path) + "'"; }

struct PdfFacts {
    int pages = -1;
    // Per page: width and height in points.
    std::vector<std::pair<double, double>> sizes;
};

// What poppler's pdfinfo reads from the file: the page count and each
// page's size.
PdfFacts pdfFacts(const std::u16string& path) {
    PdfFacts facts;
    const std::string out = run("pdfinfo -f 1 -l 99 " + quoted(path));
    std::size_t at = 0;
    while (at < out.size()) {
        std::size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(at, end - at);
        at = end + 1;
        int page = 0;
        double w = 0, h = 0;
        if (std::sscanf(line.c_str(), "Pages: %d", &facts.pages) == 1) continue;
        if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf", &page, &w, &h) == 3) facts.sizes.emplace_back(w, h);
    }
    return facts;
}

class ViewerPdfTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        if (IsSkipped()) return;
        if (!pdf_.available()) GTEST_SKIP() << "the PDF library did not load";
        if (run("pdfinfo -v").find("pdfinfo") == std::string::npos) GTEST_SKIP() << "pdfinfo is not installed";
    }

    // A PDF of one page per picture, written by the library itself.
    void writePdf(const std::u16string& path, const std::vector<Picture>& pictures) {
        CMultiPDF::Document doc = pdf_.CreateIF();
        ASSERT_TRUE(doc);
        ASSERT_EQ(doc.create(), 0);
        for (const Picture& p : pictures) {
            ScopedImage image = makeImage(p);
            ASSERT_EQ(doc.addPage(image.get()), 0);
        }
        ASSERT_EQ(doc.save(path.c_str()), 0);
    }

    // Where page's black marker lies after reading the file back: 0 top-left,
    // 1 top-right, 2 bottom-right, 3 bottom-left, -1 none.
    int markerCorner(const std::u16string& path, int page) {
        CMultiPDF::Document doc = pdf_.CreateIF();
        if (!doc || doc.open(path.c_str()) != 0) return -1;
        ScopedImage image(doc.pageImage(page));
        const TI_IMAGE_INFO info = imageInfo(image.get());
        if (info.width <= 0 || info.pixelFormat < 3) return -1;
        const int xs[4] = {1, info.width - 2, info.width - 2, 1};
        const int ys[4] = {1, 1, info.height - 2, info.height - 2};
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t* px = info.data + static_cast<std::ptrdiff_t>(ys[i]) * info.stride + xs[i] * info.pixelFormat;
            if (px[0] < 50 && px[1] < 50 && px[2] < 50) return i;
        }
        return -1;
    }

    const CMultiPDF pdf_{text::fromUtf8(DOCIVA_QIXIPF_FOLDER)};
};

TEST_F(ViewerPdfTest, OnePagePdfRotatedIsWrittenBackAsOnePage) {
    const std::u16string path = file(u"scan.pdf");
    writePdf(path, {{80, 60, kRed}});
    const PdfFacts before = pdfFacts(path);
    ASSERT_EQ(before.pages, 1);
    ASSERT_EQ(before.sizes.size(), 1u);
    ASSERT_GT(before.sizes[0].first, before.sizes[0].second);

    CImageViewer viewer(&pdf_);
    ASSERT_TRUE(viewer.AddImage(path, -1));
    EXPECT_EQ(viewer.FormatCode(0), 2);
    EXPECT_EQ(viewer.PageCount(0), 1);
    EXPECT_EQ(viewer.Rotate(90), 0);

    const PdfFacts after = pdfFacts(path);
    EXPECT_EQ(after.pages, 1);
    ASSERT_EQ(after.sizes.size(), 1u);
    // A quarter turn: the page's sides change places.
    EXPECT_NEAR(after.sizes[0].first, before.sizes[0].second, 0.1);
    EXPECT_NEAR(after.sizes[0].second, before.sizes[0].first, 0.1);
    EXPECT_EQ(markerCorner(path, 0), 3);
    EXPECT_FALSE(platform::pathExists(file(u"scan_.pdf")));

    // Read back by a new viewer, it is the turned page.
    CImageViewer again(&pdf_);
    ASSERT_TRUE(again.AddImage(path, -1));
    again.WithDocument(0, [](ViewerDocument* d) {
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->pages.front()->Info().width, 60);
        EXPECT_EQ(d->pages.front()->Info().height, 80);
    });
}

TEST_F(ViewerPdfTest, EditsOfAThreePagePdfInPageMode) {
    struct Row {
        const char* name;
        int (*edit)(CViewConvasDlg&);
        int pages;
        bool secondTurned;  // the second page of the file lies the other way
        std::vector<std::u16string> usersFiles;
    } rows[] = {
        {"rotate the second page", [](CViewConvasDlg& w) { return w.RotateRight(); }, 3, true, {}},
        {"rotate it with the user's scan_.pdf beside", [](CViewConvasDlg& w) { return w.RotateLeft(); }, 3, true,
         {u"scan_.pdf"}},
        {"mirror the second page", [](CViewConvasDlg& w) { return w.Mirror(); }, 3, false, {}},
        {"delete the second page", [](CViewConvasDlg& w) { return w.DeleteImage(); }, 2, false, {u"scan_.pdf"}},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string folder = file(text::format(u"row%d", n++));
        ASSERT_TRUE(platform::createDirectory(folder));
        const std::u16string path = platform::joinPath(folder, u"scan.pdf");
        writePdf(path, {{80, 60, kRed}, {80, 60, kBlue}, {80, 60, kRed}});
        for (const std::u16string& name : row.usersFiles)
            ASSERT_TRUE(testing_support::writeBytes(platform::joinPath(folder, name), kUsersBytes));
        const std::set<std::string> names = namesIn(folder);
        const PdfFacts before = pdfFacts(path);
        ASSERT_EQ(before.pages, 3);

        CViewConvasDlg window(&pdf_);
        ASSERT_TRUE(window.Create());
        ASSERT_TRUE(window.AddImage(path, -1));
        EXPECT_EQ(window.Viewer().FormatCode(0), 9);
        window.OnLButtonDblClk({100, 100});
        ASSERT_TRUE(window.Viewer().InPageMode());
        EXPECT_EQ(window.GoNextPage(), 0);
        EXPECT_EQ(row.edit(window), 0);
        window.Paint();

        const PdfFacts after = pdfFacts(path);
        EXPECT_EQ(after.pages, row.pages);
        ASSERT_EQ(after.sizes.size(), static_cast<std::size_t>(row.pages));
        for (int page = 0; page < row.pages; ++page) {
            SCOPED_TRACE(page);
            const bool turned = page == 1 && row.secondTurned;
            const auto [w, h] = before.sizes[static_cast<std::size_t>(page)];
            EXPECT_NEAR(after.sizes[static_cast<std::size_t>(page)].first, turned ? h : w, 0.1);
            EXPECT_NEAR(after.sizes[static_cast<std::size_t>(page)].second, turned ? w : h, 0.1);
        }
        for (const std::u16string& name : row.usersFiles)
            EXPECT_EQ(testing_support::readBytes(platform::joinPath(folder, name)), kUsersBytes);
        EXPECT_EQ(namesIn(folder), names);
        // The viewer's pages still name their places in the file.
        window.Viewer().WithDocument(0, [&](ViewerDocument* d) {
            ASSERT_NE(d, nullptr);
            ASSERT_EQ(d->pages.size(), static_cast<std::size_t>(row.pages));
            for (std::size_t i = 0; i < d->pages.size(); ++i) {
                EXPECT_EQ(d->pages[i]->Index(), static_cast<int>(i));
                EXPECT_FALSE(d->pages[i]->HasFullImage()) << "page " << i << " still held after the write";
            }
        });
    }
}

#endif  // DOCIVA_QIXIPF_FOLDER

}  // namespace
