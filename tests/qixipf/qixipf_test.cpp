// Our PDF library through its C interface, with the real image toolkit,
// checked against poppler's command-line tools.
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "libs/qixipf/qixipf.h"
#include "output/memory_stream.h"
#include "output/multi_pdf.h"
#include "output/timage_binding.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace {

using testing_support::readBytes;
using testing_support::utf8;
using testing_support::writeBytes;

// ---- Helpers --------------------------------------------------------------

struct Image {
    TI_IMAGE handle = nullptr;
    Image() = default;
    explicit Image(TI_IMAGE h) : handle(h) {}
    ~Image() { ti_ReleaseImage(&handle); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    Image(Image&& o) noexcept : handle(std::exchange(o.handle, nullptr)) {}
    TI_IMAGE get() const { return handle; }
};

TI_IMAGE_INFO info(TI_IMAGE image) {
    TI_IMAGE_INFO i{};
    i.size = sizeof i;
    EXPECT_EQ(ti_GetInfo(image, &i), TI_OK);
    return i;
}

// Top row first, without row padding.
std::string pixels(TI_IMAGE image) {
    const TI_IMAGE_INFO i = info(image);
    std::string out;
    for (int y = 0; y < i.height; ++y) {
        const int row = i.topDown ? y : i.height - 1 - y;
        out.append(reinterpret_cast<const char*>(i.data) + static_cast<std::ptrdiff_t>(row) * i.stride,
                   static_cast<std::size_t>(i.width) * static_cast<std::size_t>(i.pixelFormat));
    }
    return out;
}

// A picture with detail in every channel, so a lost or doubled encode shows.
Image pattern(int width, int height, int format, int dpi) {
    Image image(ti_CreateImage2(width, height, format, dpi, dpi));
    EXPECT_NE(image.get(), nullptr);
    if (!image.get()) return image;
    const TI_IMAGE_INFO i = info(image.get());
    for (int y = 0; y < height; ++y) {
        uint8_t* row = i.data + static_cast<std::ptrdiff_t>(y) * i.stride;
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < format; ++c)
                row[x * format + c] = static_cast<uint8_t>((x * 7 + y * 3 + c * 85 + ((x / 9 + y / 5) % 2) * 60) & 0xFF);
    }
    return image;
}

std::string encodeJpeg(TI_IMAGE image, int quality) {
    CMemoryStream stream(128);
    TI_PARAM p{};
    p.id = TI_PARAM_JPEG_QUALITY;
    p.value.intValue = quality;
    EXPECT_EQ(ti_SaveToStream(stream.descriptor(), image, TI_FORMAT_JPEG, quality > 0 ? &p : nullptr, quality > 0),
              TI_OK);
    const auto b = stream.bytes();
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

Image decode(const std::string& bytes) {
    return Image(ti_LoadFromMem(bytes.data(), static_cast<int>(bytes.size())));
}

// A document object of the library, released at the end.
class Doc {
public:
    Doc() : doc_(qix_CreateIF(64, 0)) {}
    ~Doc() {
        if (doc_) doc_->functions->release(&doc_);
    }
    Doc(const Doc&) = delete;
    Doc& operator=(const Doc&) = delete;
    const QIX_FUNCTIONS* operator->() const { return doc_->functions; }
    QIX_DOCUMENT* get() const { return doc_; }

private:
    QIX_DOCUMENT* doc_;
};

std::string writePage(Doc& doc, int index, int* result = nullptr) {
    CMemoryStream stream;
    const int n = doc->writePage(doc.get(), index, stream.descriptor());
    if (result) *result = n;
    const auto b = stream.bytes();
    EXPECT_EQ(n > 0 ? static_cast<std::size_t>(n) : 0u, b.size());
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

std::string run(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    if (!pipe) return {};
    std::string out;
    std::array<char, 4096> buf;
    while (std::size_t n = std::fread(buf.data(), 1, buf.size(), pipe.get())) out.append(buf.data(), n);
    return out;
}

// pdfinfo's output with every run of spaces made one, so its column
// alignment does not matter.
std::string pdfinfo(const std::string& arguments) {
    std::string out;
    for (const char c : run("pdfinfo " + arguments))
        if (!(c == ' ' && !out.empty() && out.back() == ' ')) out += c;
    return out;
}

std::string quoted(const std::u16string& path) { return "'" + utf8(path) + "'"; }

// pdfimages -list, one row of columns per image.
std::vector<std::vector<std::string>> imageList(const std::u16string& pdf) {
    std::istringstream lines(run("pdfimages -list " + quoted(pdf)));
    std::vector<std::vector<std::string>> rows;
    std::string line;
    int n = 0;
    while (std::getline(lines, line)) {
        if (n++ < 2) continue;  // the heading and its rule
        std::istringstream words(line);
        std::vector<std::string> row;
        for (std::string w; words >> w;) row.push_back(w);
        if (!row.empty()) rows.push_back(row);
    }
    return rows;
}

// PDFs the library did not write, made with qpdf: one page each.
struct PageLayout {
    double width = 72, height = 72;
    std::string content;
    // An image XObject /Im0, when dict is not empty.
    std::string imageDict;
    std::string imageData;
    int rotate = 0;
};

std::string makePdf(const PageLayout& layout, bool compress = true) {
    QPDF pdf;
    pdf.emptyPDF();
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    if (!layout.imageDict.empty()) {
        QPDFObjectHandle image = pdf.newStream(layout.imageData);
        QPDFObjectHandle parsed = QPDFObjectHandle::parse(layout.imageDict);
        for (const auto& key : parsed.getKeys()) image.getDict().replaceKey(key, parsed.getKey(key));
        QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
        xobjects.replaceKey("/Im0", image);
        resources.replaceKey("/XObject", xobjects);
    }
    QPDFObjectHandle page = QPDFObjectHandle::parse("<< /Type /Page >>");
    page.replaceKey("/MediaBox",
                    QPDFObjectHandle::parse("[0 0 " + std::to_string(layout.width) + " " + std::to_string(layout.height) +
                                            "]"));
    page.replaceKey("/Resources", resources);
    page.replaceKey("/Contents", pdf.newStream(layout.content));
    if (layout.rotate) page.replaceKey("/Rotate", QPDFObjectHandle::newInteger(layout.rotate));
    QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(page)), false);
    QPDFWriter w(pdf);
    w.setOutputMemory();
    w.setCompressStreams(compress);
    w.write();
    auto b = w.getBufferSharedPointer();
    return std::string(reinterpret_cast<const char*>(b->getBuffer()), b->getSize());
}

class QixIpf : public ::testing::Test {
protected:
    testing_support::TempDir dir;
    std::u16string file(const char16_t* name) { return dir.file(name); }
};

// ---- Objects ----------------------------------------------------------------

// A document name that is a pipe, a device, a socket or a folder is refused
// at once: the viewer's loader and an edit's rewrite open documents by
// name, and must not wait for a writer or read without end.
TEST_F(QixIpf, OpenRefusesWhatIsNotARegularFile) {
    const auto files = testing_support::makeSpecialFiles(dir, u"doc");
    ASSERT_FALSE(files.empty());
    for (const auto& f : files) {
        SCOPED_TRACE(f.kind);
        Doc doc;
        ASSERT_NE(doc.get(), nullptr);
        int opened = QIX_OK;
        EXPECT_TRUE(testing_support::returnsPromptly([&] { opened = doc->open(doc.get(), f.path.c_str()); }, files));
        EXPECT_EQ(opened, QIX_ERR_IO);
        EXPECT_EQ(doc->pageCount(doc.get()), QIX_ERR_NO_DOCUMENT);
    }
}

TEST_F(QixIpf, CreateIfTakesOnlyTheComponentsArguments) {
    struct Row {
        int revision, flags;
        bool made;
    } rows[] = {{64, 0, true}, {63, 0, false}, {65, 0, false}, {64, 1, false}, {0, 0, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.revision) + "," + std::to_string(row.flags));
        QIX_DOCUMENT* doc = qix_CreateIF(row.revision, row.flags);
        EXPECT_EQ(doc != nullptr, row.made);
        if (doc) {
            EXPECT_EQ(doc->functions->version(doc), 1 << 16);
            EXPECT_EQ(doc->functions->jpegQuality(doc), -1);
            doc->functions->release(&doc);
            EXPECT_EQ(doc, nullptr);
        }
    }
}

TEST_F(QixIpf, Failures) {
    ASSERT_TRUE(writeBytes(file(u"junk.pdf"), "this is not a PDF at all"));
    Image image = pattern(8, 8, TI_BGR24, 72);
    struct Row {
        const char* name;
        std::function<int(Doc&)> call;
        int expected;
    };
    const std::u16string missing = file(u"missing.pdf"), junk = file(u"junk.pdf"),
                         noFolder = dir.file(u"no-such-folder") + platform::nativeSeparator() + u"x.pdf";
    const Row rows[] = {
        {"open a missing file", [&](Doc& d) { return d->open(d.get(), missing.c_str()); }, QIX_ERR_IO},
        {"open what is not a PDF", [&](Doc& d) { return d->open(d.get(), junk.c_str()); }, QIX_ERR_FORMAT},
        {"open without a path", [&](Doc& d) { return d->open(d.get(), nullptr); }, QIX_ERR_ARGUMENT},
        {"count without a document", [&](Doc& d) { return d->pageCount(d.get()); }, QIX_ERR_NO_DOCUMENT},
        {"add before new", [&](Doc& d) { return d->addPage(d.get(), image.get(), 0); }, QIX_ERR_NO_DOCUMENT},
        {"add no image", [&](Doc& d) { d->create(d.get()); return d->addPage(d.get(), nullptr, 0); },
         QIX_ERR_ARGUMENT},
        {"add with flags", [&](Doc& d) { d->create(d.get()); return d->addPage(d.get(), image.get(), 1); },
         QIX_ERR_ARGUMENT},
        {"quality 0", [&](Doc& d) { return d->setJpegQuality(d.get(), 0); }, QIX_ERR_ARGUMENT},
        {"quality 101", [&](Doc& d) { return d->setJpegQuality(d.get(), 101); }, QIX_ERR_ARGUMENT},
        {"save without a document", [&](Doc& d) { return d->save(d.get(), missing.c_str(), 0); },
         QIX_ERR_NO_DOCUMENT},
        {"save with flags", [&](Doc& d) { d->create(d.get()); return d->save(d.get(), missing.c_str(), 1); },
         QIX_ERR_ARGUMENT},
        {"save into a missing folder", [&](Doc& d) { d->create(d.get()); return d->save(d.get(), noFolder.c_str(), 0); },
         QIX_ERR_IO},
        {"write to no stream", [&](Doc& d) { d->create(d.get()); return d->writePage(d.get(), 0, nullptr); },
         QIX_ERR_ARGUMENT},
        {"write a page not there", [&](Doc& d) {
             d->create(d.get());
             CMemoryStream s(128);
             return d->writePage(d.get(), 0, s.descriptor());
         },
         QIX_ERR_ARGUMENT},
        {"reserved slot", [&](Doc& d) { return d->reserved7(d.get()); }, QIX_ERR_NOT_SUPPORTED},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Doc doc;
        ASSERT_NE(doc.get(), nullptr);
        EXPECT_EQ(row.call(doc), row.expected);
        if (row.expected != QIX_ERR_NOT_SUPPORTED) {
            EXPECT_EQ(doc->lastError(doc.get()), row.expected);
        }
    }
    EXPECT_FALSE(platform::pathExists(missing));
}

TEST_F(QixIpf, PageImageOutOfRange) {
    Doc doc;
    ASSERT_EQ(doc->create(doc.get()), QIX_OK);
    Image image = pattern(8, 8, TI_GRAY8, 72);
    ASSERT_EQ(doc->addPage(doc.get(), image.get(), 0), QIX_OK);
    for (int index : {-1, 1, 1000}) {
        SCOPED_TRACE(index);
        int status = 12345;
        EXPECT_EQ(doc->pageImage(doc.get(), index, &status), nullptr);
        EXPECT_EQ(status, QIX_ERR_ARGUMENT);
    }
    int status = 12345;
    Image page(doc->pageImage(doc.get(), 0, &status));
    EXPECT_NE(page.get(), nullptr);
    EXPECT_EQ(status, QIX_OK);
}

// ---- Writing ---------------------------------------------------------------

TEST_F(QixIpf, WrittenDocumentAsPopplerSeesIt) {
    Image colour = pattern(300, 200, TI_BGR24, 150);
    Image grey = pattern(120, 240, TI_GRAY8, 100);
    Image withAlpha = pattern(50, 40, TI_BGRA32, 72);
    const std::u16string path = file(u"three pages.pdf");
    {
        Doc doc;
        ASSERT_EQ(doc->create(doc.get()), QIX_OK);
        ASSERT_EQ(doc->setJpegQuality(doc.get(), 80), QIX_OK);
        ASSERT_EQ(doc->addPage(doc.get(), colour.get(), 0), QIX_OK);
        ASSERT_EQ(doc->addPage(doc.get(), grey.get(), 0), QIX_OK);
        ASSERT_EQ(doc->addPage(doc.get(), withAlpha.get(), 0), QIX_OK);
        EXPECT_EQ(doc->pageCount(doc.get()), 3);
        ASSERT_EQ(doc->save(doc.get(), path.c_str(), 0), QIX_OK);
    }
    const std::string summary = pdfinfo("-f 1 -l 3 " + quoted(path));
    EXPECT_NE(summary.find("Pages: 3\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("Page 1 size: 144 x 96 pts\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("Page 2 size: 86.4 x 172.8 pts\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("Page 3 size: 50 x 40 pts\n"), std::string::npos) << summary;

    const auto images = imageList(path);
    ASSERT_EQ(images.size(), 3u);
    // page num type width height color comp bpc enc interp object ID x-ppi y-ppi ...
    const std::vector<std::string> expected[] = {
        {"1", "0", "image", "300", "200", "rgb", "3", "8", "jpeg"},
        {"2", "1", "image", "120", "240", "gray", "1", "8", "jpeg"},
        // Alpha has no place in a page: the picture is stored as RGB.
        {"3", "2", "image", "50", "40", "rgb", "3", "8", "jpeg"},
    };
    const std::string ppi[] = {"150", "100", "72"};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_GE(images[i].size(), 14u);
        EXPECT_EQ(std::vector<std::string>(images[i].begin(), images[i].begin() + 9), expected[i]);
        EXPECT_EQ(images[i][12], ppi[i]);
        EXPECT_EQ(images[i][13], ppi[i]);
    }

    Doc doc;
    ASSERT_EQ(doc->open(doc.get(), path.c_str()), QIX_OK);
    EXPECT_EQ(doc->pageCount(doc.get()), 3);
}

// The encoder's bytes are what the file holds and what a page gives back:
// compared with an encode of our own and with poppler's extraction.
TEST_F(QixIpf, JpegDataIsStoredAndReturnedByteForByte) {
    Image colour = pattern(257, 131, TI_BGR24, 300);
    const std::string jpeg = encodeJpeg(colour.get(), 70);
    ASSERT_GT(jpeg.size(), 100u);
    const std::u16string path = file(u"one.pdf");
    {
        Doc doc;
        ASSERT_EQ(doc->create(doc.get()), QIX_OK);
        ASSERT_EQ(doc->setJpegQuality(doc.get(), 70), QIX_OK);
        ASSERT_EQ(doc->addPage(doc.get(), colour.get(), 0), QIX_OK);
        // Before the save too: a new document's pages read back as well.
        EXPECT_EQ(writePage(doc, 0), jpeg);
        ASSERT_EQ(doc->save(doc.get(), path.c_str(), 0), QIX_OK);
    }
    const std::u16string root = file(u"extract");
    run("pdfimages -j " + quoted(path) + " " + quoted(root));
    EXPECT_EQ(readBytes(root + u"-000.jpg"), jpeg);

    Doc doc;
    ASSERT_EQ(doc->open(doc.get(), path.c_str()), QIX_OK);
    int n = 0;
    EXPECT_EQ(writePage(doc, 0, &n), jpeg);
    EXPECT_EQ(n, static_cast<int>(jpeg.size()));

    int status = -1;
    Image page(doc->pageImage(doc.get(), 0, &status));
    ASSERT_NE(page.get(), nullptr);
    EXPECT_EQ(status, QIX_OK);
    Image expected = decode(jpeg);
    ASSERT_NE(expected.get(), nullptr);
    EXPECT_EQ(info(page.get()).width, 257);
    EXPECT_EQ(info(page.get()).height, 131);
    EXPECT_EQ(info(page.get()).xDpi, 300);
    EXPECT_EQ(info(page.get()).yDpi, 300);
    EXPECT_EQ(pixels(page.get()), pixels(expected.get()));
}

TEST_F(QixIpf, QualityOfTheDocumentOrElseOfTheImage) {
    struct Row {
        const char* name;
        int documentQuality;  // 0: not set
        int imageQuality;
        int used;
    } rows[] = {
        {"document's", 30, 90, 30},
        {"document's, high", 95, 20, 95},
        {"image's when none is set", 0, 45, 45},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Image image = pattern(64, 48, TI_BGR24, 72);
        ASSERT_EQ(ti_SetJpegQuality(image.get(), row.imageQuality), TI_OK);
        Doc doc;
        ASSERT_EQ(doc->create(doc.get()), QIX_OK);
        if (row.documentQuality) {
            ASSERT_EQ(doc->setJpegQuality(doc.get(), row.documentQuality), QIX_OK);
        }
        EXPECT_EQ(doc->jpegQuality(doc.get()), row.documentQuality ? row.documentQuality : -1);
        ASSERT_EQ(doc->addPage(doc.get(), image.get(), 0), QIX_OK);
        EXPECT_EQ(writePage(doc, 0), encodeJpeg(image.get(), row.used));
    }
}

TEST_F(QixIpf, ImageWithoutResolutionMakesOnePointPerPixel) {
    Image image = pattern(100, 50, TI_GRAY8, 0);
    const std::u16string path = file(u"p.pdf");
    Doc doc;
    ASSERT_EQ(doc->create(doc.get()), QIX_OK);
    ASSERT_EQ(doc->addPage(doc.get(), image.get(), 0), QIX_OK);
    ASSERT_EQ(doc->save(doc.get(), path.c_str(), 0), QIX_OK);
    EXPECT_NE(pdfinfo(quoted(path)).find("Page size: 100 x 50 pts"), std::string::npos);
}

TEST_F(QixIpf, PathsWithBackslashes) {
    Image image = pattern(10, 10, TI_GRAY8, 72);
    Doc doc;
    ASSERT_EQ(doc->create(doc.get()), QIX_OK);
    ASSERT_EQ(doc->addPage(doc.get(), image.get(), 0), QIX_OK);
    const std::u16string windowsStyle = dir.path() + u"\\back.pdf";
    ASSERT_EQ(doc->save(doc.get(), windowsStyle.c_str(), 0), QIX_OK);
    EXPECT_TRUE(platform::pathExists(file(u"back.pdf")));
    Doc again;
    EXPECT_EQ(again->open(again.get(), windowsStyle.c_str()), QIX_OK);
    EXPECT_EQ(again->pageCount(again.get()), 1);
}

// A save is made beside its target and renamed over it once complete: an
// existing file is replaced whole, a failed save leaves what was there,
// and neither leaves anything else behind.
TEST_F(QixIpf, SaveReplacesWholeOrLeavesAlone) {
    Image image = pattern(16, 16, TI_GRAY8, 72);
    Doc doc;
    ASSERT_EQ(doc->create(doc.get()), QIX_OK);
    ASSERT_EQ(doc->addPage(doc.get(), image.get(), 0), QIX_OK);
    struct Row {
        const char* name;
        const char16_t* target;
        std::function<void(const std::u16string&)> prepare;
        int result;
    } rows[] = {
        {"new file", u"new.pdf", [](const std::u16string&) {}, QIX_OK},
        {"over an existing file", u"old.pdf", [](const std::u16string& p) { ASSERT_TRUE(writeBytes(p, "old")); },
         QIX_OK},
        {"over a folder", u"folder.pdf", [](const std::u16string& p) { ASSERT_TRUE(platform::createDirectory(p)); },
         QIX_ERR_IO},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testing_support::TempDir here;
        const std::u16string path = here.file(row.target);
        row.prepare(path);
        EXPECT_EQ(doc->save(doc.get(), path.c_str(), 0), row.result);
        if (row.result == QIX_OK) {
            EXPECT_NE(pdfinfo(quoted(path)).find("Pages: 1\n"), std::string::npos);
        } else {
            EXPECT_TRUE(platform::isDirectory(path));
        }
        std::vector<std::u16string> names;
        for (const auto& e : platform::findFiles(here.file(u"*")))
            if (e.name != u"." && e.name != u"..") names.push_back(e.name);
        EXPECT_EQ(names, std::vector<std::u16string>{row.target}) << "nothing but the target";
    }
}

using FullDiskQixIpf = QixIpf;

// A disk that fills up while a document is saved (the platform's simulated
// full disk, at every point of the file): save gives QIX_ERR_IO - nothing
// is thrown, through qpdf or out of the library, and the process goes on -
// the file that was there is byte for byte what it was, no temporary file
// is left, and the object saves fine once the disk has room.
TEST_F(FullDiskQixIpf, SaveFailsCleanlyAtEveryPoint) {
    Image a = pattern(300, 200, TI_BGR24, 150), b = pattern(120, 160, TI_GRAY8, 100);
    Doc doc;
    ASSERT_EQ(doc->create(doc.get()), QIX_OK);
    ASSERT_EQ(doc->addPage(doc.get(), a.get(), 0), QIX_OK);
    ASSERT_EQ(doc->addPage(doc.get(), b.get(), 0), QIX_OK);
    testing_support::TempDir here;
    const std::u16string path = here.file(u"scan.pdf");
    ASSERT_EQ(doc->save(doc.get(), path.c_str(), 0), QIX_OK);
    const std::string whole = readBytes(path);
    ASSERT_GT(whole.size(), 4000u);
    ASSERT_TRUE(writeBytes(path, "the old document"));
    for (std::size_t free : {std::size_t{0}, std::size_t{1}, std::size_t{9}, std::size_t{100}, std::size_t{4096},
                             whole.size() / 2, whole.size() - 1}) {
        SCOPED_TRACE(free);
        {
            testing_support::ScopedFullDisk full(here.path(), free);
            EXPECT_EQ(doc->save(doc.get(), path.c_str(), 0), QIX_ERR_IO);
            EXPECT_EQ(doc->lastError(doc.get()), QIX_ERR_IO);
        }
        EXPECT_EQ(readBytes(path), "the old document");
        std::vector<std::u16string> names;
        for (const auto& e : platform::findFiles(here.file(u"*")))
            if (e.name != u"." && e.name != u"..") names.push_back(e.name);
        EXPECT_EQ(names, std::vector<std::u16string>{u"scan.pdf"}) << "nothing but the document";
    }
    // Exactly enough room.
    {
        testing_support::ScopedFullDisk full(here.path(), whole.size());
        EXPECT_EQ(doc->save(doc.get(), path.c_str(), 0), QIX_OK);
    }
    EXPECT_EQ(readBytes(path), whole);
}

// A link planted where the document goes is replaced by the document; the
// file it pointed at is not written through it.
TEST_F(QixIpf, SaveReplacesALinkWithoutFollowingIt) {
    if (testing_support::onWindows()) GTEST_SKIP() << "symbolic links are made with POSIX calls here";
    Image image = pattern(16, 16, TI_GRAY8, 72);
    Doc doc;
    ASSERT_EQ(doc->create(doc.get()), QIX_OK);
    ASSERT_EQ(doc->addPage(doc.get(), image.get(), 0), QIX_OK);
    const std::u16string victim = file(u"victim.txt");
    ASSERT_TRUE(writeBytes(victim, "not a PDF, and not to be touched"));
    const std::u16string path = file(u"scan.pdf");
    ASSERT_EQ(std::system(("ln -s '" + utf8(victim) + "' '" + utf8(path) + "'").c_str()), 0);
    ASSERT_EQ(doc->save(doc.get(), path.c_str(), 0), QIX_OK);
    EXPECT_EQ(readBytes(victim), "not a PDF, and not to be touched");
    EXPECT_NE(pdfinfo(quoted(path)).find("Pages: 1\n"), std::string::npos);
}

// ---- Reading what others wrote ------------------------------------------------

TEST_F(QixIpf, OneImagePagesGiveTheirSamples) {
    struct Row {
        const char* name;
        PageLayout layout;
        bool compress;
        int format;
        std::string pixels;  // top row first, as the toolkit holds them
    } rows[] = {
        {"grey, plain",
         {4, 2, "q 4 0 0 2 0 0 cm /Im0 Do Q",
          "<< /Type /XObject /Subtype /Image /Width 4 /Height 2 /ColorSpace /DeviceGray /BitsPerComponent 8 >>",
          std::string("\x00\x40\x80\xff\x10\x20\x30\x40", 8)},
         false, TI_GRAY8, std::string("\x00\x40\x80\xff\x10\x20\x30\x40", 8)},
        {"RGB, deflated, turned to BGR",
         {2, 1, "q\n2 0 0 1 0 0 cm\n/Im0 Do\nQ\n",
          "<< /Type /XObject /Subtype /Image /Width 2 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 8 >>",
          std::string("\x01\x02\x03\xfa\xfb\xfc", 6)},
         true, TI_BGR24, std::string("\x03\x02\x01\xfc\xfb\xfa", 6)},
        {"bilevel, 0 is black",
         {10, 2, "q 10 0 0 2 0 0 cm /Im0 Do Q",
          "<< /Type /XObject /Subtype /Image /Width 10 /Height 2 /ColorSpace /DeviceGray /BitsPerComponent 1 >>",
          std::string("\xA0\x40\x00\xC0", 4)},
         true, TI_GRAY8,
         std::string("\xff\x00\xff\x00\x00\x00\x00\x00\x00\xff"
                     "\x00\x00\x00\x00\x00\x00\x00\x00\xff\xff",
                     20)},
        {"bilevel, decode inverted",
         {10, 1, "q 10 0 0 1 0 0 cm /Im0 Do Q",
          "<< /Type /XObject /Subtype /Image /Width 10 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 1 "
          "/Decode [1 0] >>",
          std::string("\xA0\x40", 2)},
         true, TI_GRAY8, std::string("\x00\xff\x00\xff\xff\xff\xff\xff\xff\x00", 10)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string path = file(u"in.pdf");
        ASSERT_TRUE(writeBytes(path, makePdf(row.layout, row.compress)));
        Doc doc;
        ASSERT_EQ(doc->open(doc.get(), path.c_str()), QIX_OK);
        ASSERT_EQ(doc->pageCount(doc.get()), 1);
        int status = -1;
        Image page(doc->pageImage(doc.get(), 0, &status));
        ASSERT_NE(page.get(), nullptr) << status;
        EXPECT_EQ(info(page.get()).pixelFormat, row.format);
        EXPECT_EQ(info(page.get()).xDpi, 72);
        EXPECT_EQ(pixels(page.get()), row.pixels);

        // The stream gets an image file that decodes to the same samples.
        const std::string encoded = writePage(doc, 0);
        ASSERT_GT(encoded.size(), 8u);
        EXPECT_EQ(encoded.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        Image back = decode(encoded);
        ASSERT_NE(back.get(), nullptr);
        EXPECT_EQ(pixels(back.get()), row.pixels);
    }
}

// Pages that are more than one image, or show it otherwise than filling
// the page, are rendered at 200 dpi over white.
TEST_F(QixIpf, OtherPagesAreRendered) {
    const std::string greyDict =
        "<< /Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceGray /BitsPerComponent 8 >>";
    const std::string black(4, '\0');
    struct Row {
        const char* name;
        PageLayout layout;
        int width, height;
        // Where the red square lands, as fractions of the rendering.
        double redX, redY, whiteX, whiteY;
    } rows[] = {
        {"vector drawing", {72, 36, "1 0 0 rg 0 0 18 18 re f", "", "", 0}, 200, 100, 0.1, 0.9, 0.9, 0.1},
        {"image on half of the page, and a drawing",
         {72, 72, "q 36 0 0 36 36 36 cm /Im0 Do Q 1 0 0 rg 0 0 18 18 re f", greyDict, black},
         200, 200, 0.1, 0.9, 0.1, 0.1},
        {"rotated page", {72, 36, "1 0 0 rg 0 0 18 18 re f", "", "", 90}, 100, 200, 0.1, 0.1, 0.9, 0.9},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::u16string path = file(u"drawn.pdf");
        ASSERT_TRUE(writeBytes(path, makePdf(row.layout)));
        Doc doc;
        ASSERT_EQ(doc->open(doc.get(), path.c_str()), QIX_OK);
        int status = -1;
        Image page(doc->pageImage(doc.get(), 0, &status));
        ASSERT_NE(page.get(), nullptr) << status;
        const TI_IMAGE_INFO i = info(page.get());
        EXPECT_EQ(i.width, row.width);
        EXPECT_EQ(i.height, row.height);
        EXPECT_EQ(i.xDpi, QIX_RENDER_DPI);
        ASSERT_EQ(i.pixelFormat, TI_BGR24);
        const std::string px = pixels(page.get());
        auto at = [&](double fx, double fy) {
            const std::size_t x = static_cast<std::size_t>(fx * i.width), y = static_cast<std::size_t>(fy * i.height);
            return px.substr((y * static_cast<std::size_t>(i.width) + x) * 3, 3);
        };
        EXPECT_EQ(at(row.redX, row.redY), std::string("\x00\x00\xff", 3));
        EXPECT_EQ(at(row.whiteX, row.whiteY), std::string("\xff\xff\xff", 3));

        const std::string encoded = writePage(doc, 0);
        Image back = decode(encoded);
        ASSERT_NE(back.get(), nullptr);
        EXPECT_EQ(pixels(back.get()), px);
    }
}

TEST_F(QixIpf, DamagedFileIsRepaired) {
    Image image = pattern(16, 16, TI_GRAY8, 72);
    const std::u16string path = file(u"whole.pdf");
    {
        Doc doc;
        ASSERT_EQ(doc->create(doc.get()), QIX_OK);
        for (int i = 0; i < 3; ++i) ASSERT_EQ(doc->addPage(doc.get(), image.get(), 0), QIX_OK);
        ASSERT_EQ(doc->save(doc.get(), path.c_str(), 0), QIX_OK);
    }
    std::string bytes = readBytes(path);
    // Without its cross-reference table and trailer.
    bytes.resize(bytes.rfind("xref"));
    const std::u16string damaged = file(u"damaged.pdf");
    ASSERT_TRUE(writeBytes(damaged, bytes));
    Doc doc;
    ASSERT_EQ(doc->open(doc.get(), damaged.c_str()), QIX_OK);
    EXPECT_EQ(doc->pageCount(doc.get()), 3);
    int status = -1;
    Image page(doc->pageImage(doc.get(), 2, &status));
    EXPECT_NE(page.get(), nullptr) << status;
}

// ---- Pages from JPEG files ----------------------------------------------------

// Size, resolution and quality without the row address, which would make
// the toolkit drop the file behind the image.
TI_IMAGE_INFO layout(TI_IMAGE image) {
    TI_IMAGE_INFO i{};
    i.size = TI_IMAGE_INFO_LAYOUT_SIZE;
    EXPECT_EQ(ti_GetInfo(image, &i), TI_OK);
    return i;
}

unsigned byteAt(const std::string& s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

// The marker segments of a JPEG file up to its first scan: where each
// starts (at its 0xFF) and its marker.
std::vector<std::pair<std::size_t, unsigned>> segments(const std::string& jpeg) {
    std::vector<std::pair<std::size_t, unsigned>> out;
    std::size_t i = 2;
    while (i + 4 <= jpeg.size() && byteAt(jpeg, i) == 0xFF) {
        const unsigned marker = byteAt(jpeg, i + 1);
        out.emplace_back(i, marker);
        if (marker == 0xDA) break;
        i += 2 + ((byteAt(jpeg, i + 2) << 8) | byteAt(jpeg, i + 3));
    }
    return out;
}

std::size_t segmentLength(const std::string& jpeg, std::size_t at) {
    return 2 + ((byteAt(jpeg, at + 2) << 8) | byteAt(jpeg, at + 3));
}

// What the file's DQT segments hold: equal for two files exactly when
// their quantisation tables are.
std::string quantTables(const std::string& jpeg) {
    std::string out;
    for (const auto& [at, marker] : segments(jpeg))
        if (marker == 0xDB) out += jpeg.substr(at + 4, segmentLength(jpeg, at) - 4);
    return out;
}

std::string withoutSegment(std::string jpeg, unsigned marker) {
    for (const auto& [at, m] : segments(jpeg))
        if (m == marker) return jpeg.erase(at, segmentLength(jpeg, at));
    return jpeg;
}

// An Adobe marker (APP14) with the given colour transform, after the SOI.
std::string withAdobeMarker(const std::string& jpeg, int transform) {
    const std::string adobe("\xFF\xEE\x00\x0E" "Adobe\x00\x64\x00\x00\x00\x00", 15);
    return jpeg.substr(0, 2) + adobe + static_cast<char>(transform) + jpeg.substr(2);
}

// Component ids 'R', 'G', 'B' in the frame and the scan, and no JFIF
// marker: a file libjpeg reads as RGB, untransformed.
std::string asRgbIds(std::string jpeg) {
    jpeg = withoutSegment(jpeg, 0xE0);
    const char ids[] = {'R', 'G', 'B'};
    for (const auto& [at, marker] : segments(jpeg)) {
        if (marker == 0xC0) {
            for (int c = 0; c < 3; ++c) jpeg[at + 10 + 3 * c] = ids[c];
        } else if (marker == 0xDA) {
            for (unsigned c = 0; c < byteAt(jpeg, at + 4); ++c) jpeg[at + 5 + 2 * c] = ids[c];
        }
    }
    return jpeg;
}

// The frame header's marker changed (0xC9: arithmetic-coded).
std::string withFrameMarker(std::string jpeg, unsigned marker) {
    for (const auto& [at, m] : segments(jpeg))
        if (m == 0xC0) jpeg[at + 1] = static_cast<char>(marker);
    return jpeg;
}

// A copy of the file's first DQT segment again after its scan, before the
// EOI.
std::string withTablesAfterTheScan(const std::string& jpeg) {
    for (const auto& [at, marker] : segments(jpeg))
        if (marker == 0xDB) return jpeg.substr(0, jpeg.size() - 2) + jpeg.substr(at, segmentLength(jpeg, at)) + "\xFF\xD9";
    return jpeg;
}

bool haveConvert() { return run("convert -version").find("ImageMagick") != std::string::npos; }

// The picture as ImageMagick writes it at `quality` with extra options.
std::string convertJpeg(const testing_support::TempDir& dir, TI_IMAGE picture, int quality, const std::string& options) {
    const std::u16string png = dir.file(u"for-convert.png"), jpg = dir.file(u"converted.jpg");
    EXPECT_EQ(ti_SaveImage(png.c_str(), picture), TI_OK);
    run("convert " + quoted(png) + " -quality " + std::to_string(quality) + " " + options + " " + quoted(jpg));
    return readBytes(jpg);
}

enum class Stored { Whole, ThroughEoi, No };

// Adds the file, loaded by the toolkit, as the one page of a new document
// and checks what the page holds: the file itself, or the encode of its
// picture at the quality the rule gives.
void checkPage(const std::string& file, int documentQuality, int imageQuality, Stored stored, std::size_t eoi = 0) {
    Image image = decode(file);
    ASSERT_NE(image.get(), nullptr);
    if (imageQuality) {
        ASSERT_EQ(ti_SetJpegQuality(image.get(), imageQuality), TI_OK);
    }
    Doc doc;
    ASSERT_EQ(doc->create(doc.get()), QIX_OK);
    if (documentQuality) {
        ASSERT_EQ(doc->setJpegQuality(doc.get(), documentQuality), QIX_OK);
    }
    ASSERT_EQ(doc->addPage(doc.get(), image.get(), 0), QIX_OK);
    const std::string page = writePage(doc, 0);
    switch (stored) {
        case Stored::Whole:
            EXPECT_EQ(page, file);
            break;
        case Stored::ThroughEoi:
            EXPECT_EQ(page, file.substr(0, eoi));
            break;
        case Stored::No: {
            EXPECT_NE(page, file);
            // Exactly what encoding the decoded picture gives, as before.
            Image fresh = decode(file);
            const int used = documentQuality ? documentQuality : imageQuality ? imageQuality : 75;
            EXPECT_EQ(page, encodeJpeg(fresh.get(), used));
            break;
        }
    }
}

// Every quality against its neighbours: the file goes in as it is exactly
// when the encoder would write its tables at the quality asked for (the
// encoder itself is the judge, through the tables of an encode at that
// quality).
TEST_F(QixIpf, JpegFileIsStoredExactlyWhereTheEncoderWouldWriteItsTables) {
    Image picture = pattern(40, 24, TI_BGR24, 72);
    std::vector<std::string> encoded(102);
    for (int q = 1; q <= 100; ++q) encoded[static_cast<std::size_t>(q)] = encodeJpeg(picture.get(), q);
    int storedAtOther = 0;
    for (int q = 1; q <= 100; ++q) {
        for (int asked : {q - 1, q, q + 1, 101 - q}) {
            if (asked < 1 || asked > 100) continue;
            SCOPED_TRACE("file quality " + std::to_string(q) + ", asked " + std::to_string(asked));
            const std::string& file = encoded[static_cast<std::size_t>(q)];
            const bool same = quantTables(file) == quantTables(encoded[static_cast<std::size_t>(asked)]);
            if (same && asked != q) ++storedAtOther;
            checkPage(file, asked, 0, same ? Stored::Whole : Stored::No);
            if (HasFatalFailure()) return;
        }
    }
    // At the top end neighbouring qualities differ in their tables; the
    // rows above must have seen both answers.
    EXPECT_LT(storedAtOther, 10);
}

TEST_F(QixIpf, JpegFilesOfEveryKind) {
    Image colour = pattern(96, 64, TI_BGR24, 200);
    Image grey = pattern(80, 56, TI_GRAY8, 150);
    const std::string colour75 = encodeJpeg(colour.get(), 75);
    const std::string grey40 = encodeJpeg(grey.get(), 40);
    const bool convert = haveConvert();
    const std::string trailer = "trailing bytes after the picture";
    struct Row {
        const char* name;
        std::function<std::string()> file;
        int documentQuality;  // 0: none set
        int imageQuality;     // 0: the loaded image's own (75)
        Stored stored;
        bool needsConvert = false;
    } rows[] = {
        {"colour, the document's quality", [&] { return colour75; }, 75, 0, Stored::Whole},
        {"grey, the document's quality", [&] { return grey40; }, 40, 0, Stored::Whole},
        {"no document quality, the image's own", [&] { return colour75; }, 0, 0, Stored::Whole},
        {"no document quality, the image's set to another", [&] { return colour75; }, 0, 90, Stored::No},
        {"the document's quality wins over the image's", [&] { return colour75; }, 75, 30, Stored::Whole},
        {"document quality lower", [&] { return colour75; }, 60, 0, Stored::No},
        {"document quality one higher", [&] { return colour75; }, 76, 0, Stored::No},
        {"grey, document quality higher", [&] { return grey40; }, 95, 0, Stored::No},
        {"Adobe marker, transform 1 (YCbCr for both)", [&] { return withAdobeMarker(colour75, 1); }, 75, 0,
         Stored::Whole},
        {"Adobe marker, transform 0 over JFIF (readers disagree)", [&] { return withAdobeMarker(colour75, 0); }, 75,
         0, Stored::No},
        {"RGB component ids, no JFIF", [&] { return asRgbIds(colour75); }, 75, 0, Stored::No},
        {"no JFIF marker, YCbCr ids", [&] { return withoutSegment(colour75, 0xE0); }, 75, 0, Stored::Whole},
        {"arithmetic-coded frame marker", [&] { return withFrameMarker(colour75, 0xC9); }, 75, 0, Stored::No},
        {"tables again after the scan", [&] { return withTablesAfterTheScan(colour75); }, 75, 0, Stored::No},
        {"cut short", [&] { return colour75.substr(0, colour75.size() * 2 / 3); }, 75, 0, Stored::No},
        {"progressive, by ImageMagick", [&] { return convertJpeg(dir, colour.get(), 75, "-interlace JPEG"); }, 75, 0,
         Stored::Whole, true},
        {"no chroma subsampling, by ImageMagick",
         [&] { return convertJpeg(dir, colour.get(), 75, "-sampling-factor 1x1"); }, 75, 0, Stored::Whole, true},
        {"CMYK, by ImageMagick", [&] { return convertJpeg(dir, colour.get(), 75, "-colorspace CMYK"); }, 75, 0,
         Stored::No, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsConvert && !convert) {
            std::printf("skipped row \"%s\": ImageMagick's convert is missing\n", row.name);
            continue;
        }
        const std::string file = row.file();
        ASSERT_GT(file.size(), 100u);
        checkPage(file, row.documentQuality, row.imageQuality, row.stored);
    }
    // Bytes after the EOI are no part of the picture.
    SCOPED_TRACE("trailing bytes");
    checkPage(colour75 + trailer, 75, 0, Stored::ThroughEoi, colour75.size());
}

// The edits the viewer makes, and others: any of them means the page is
// the edited picture, encoded; only resolution and quality leave the file.
TEST_F(QixIpf, EditedJpegImagesAreEncodedAgain) {
    Image picture = pattern(90, 60, TI_BGR24, 300);
    const std::string jpeg = encodeJpeg(picture.get(), 70);
    struct Row {
        const char* name;
        // Returns the image to add: the loaded one, or one made from it.
        std::function<Image(Image&)> edit;
        bool stored;
        double widthPt, heightPt;
    } rows[] = {
        {"untouched", [](Image& j) { return std::move(j); }, true, 21.6, 14.4},
        {"resolution changed", [](Image& j) {
             EXPECT_EQ(ti_SetDpi(j.get(), 150, 100), TI_OK);
             return std::move(j);
         }, true, 43.2, 43.2},
        {"turned right, into a new image", [](Image& j) {
             Image turned(ti_CreateImage2(60, 90, TI_BGR24, 300, 300));
             EXPECT_EQ(ti_Orientate(j.get(), turned.get(), 270), TI_OK);
             return turned;
         }, false, 14.4, 21.6},
        {"turned 180, into a new image", [](Image& j) {
             Image turned(ti_CreateImage2(90, 60, TI_BGR24, 300, 300));
             EXPECT_EQ(ti_Orientate(j.get(), turned.get(), 180), TI_OK);
             return turned;
         }, false, 21.6, 14.4},
        {"flipped in place", [](Image& j) {
             EXPECT_EQ(ti_Flip(j.get(), j.get(), 0), TI_OK);
             return std::move(j);
         }, false, 21.6, 14.4},
        {"mirrored in place", [](Image& j) {
             EXPECT_EQ(ti_Flip(j.get(), j.get(), 1), TI_OK);
             return std::move(j);
         }, false, 21.6, 14.4},
        {"cropped", [](Image& j) {
             Image crop(ti_CreateImage2(45, 30, TI_BGR24, 300, 300));
             EXPECT_EQ(ti_CopyRect(j.get(), crop.get(), 20, 10, -1), TI_OK);
             return crop;
         }, false, 10.8, 7.2},
        {"rectangle filled", [](Image& j) {
             const TI_RECT r{0, 0, 10, 10};
             EXPECT_EQ(ti_FillRect(j.get(), &r, 0xFFFFFFFFu), TI_OK);
             return std::move(j);
         }, false, 21.6, 14.4},
        {"brightness in place", [](Image& j) {
             EXPECT_EQ(ti_Light(j.get(), j.get(), 20, 0), TI_OK);
             return std::move(j);
         }, false, 21.6, 14.4},
        {"clone", [](Image& j) { return Image(ti_CloneImage(j.get())); }, false, 21.6, 14.4},
        {"rows handed out (full-size GetInfo)", [](Image& j) {
             info(j.get());
             return std::move(j);
         }, false, 21.6, 14.4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Image loaded = decode(jpeg);
        ASSERT_NE(loaded.get(), nullptr);
        Image page = row.edit(loaded);
        ASSERT_NE(page.get(), nullptr);
        const std::u16string path = file(u"edited.pdf");
        {
            Doc doc;
            ASSERT_EQ(doc->create(doc.get()), QIX_OK);
            ASSERT_EQ(doc->setJpegQuality(doc.get(), 70), QIX_OK);
            ASSERT_EQ(doc->addPage(doc.get(), page.get(), 0), QIX_OK);
            const std::string held = writePage(doc, 0);
            if (row.stored) {
                EXPECT_EQ(held, jpeg);
            } else {
                EXPECT_NE(held, jpeg);
                EXPECT_EQ(held, encodeJpeg(page.get(), 70));
            }
            ASSERT_EQ(doc->save(doc.get(), path.c_str(), 0), QIX_OK);
        }
        std::ostringstream size;
        size << "Page size: " << row.widthPt << " x " << row.heightPt << " pts";
        EXPECT_NE(pdfinfo(quoted(path)).find(size.str()), std::string::npos) << pdfinfo(quoted(path));
    }
}

// A document of stored pages against the same pages encoded again: same
// pages, sizes and image layouts as poppler sees them, and the files
// themselves in the stored one.
TEST_F(QixIpf, StoredPagesChangeNothingButTheBytes) {
    struct Page {
        int width, height, format, xDpi, yDpi, quality;
    } pages[] = {
        {248, 351, TI_BGR24, 300, 300, 75}, {124, 175, TI_GRAY8, 150, 150, 75}, {200, 100, TI_BGR24, 200, 100, 75},
        {99, 77, TI_BGR24, 0, 0, 75},       {300, 20, TI_GRAY8, 96, 96, 75},
    };
    std::vector<std::string> files;
    for (const Page& p : pages) {
        Image picture = pattern(p.width, p.height, p.format, 72);
        ASSERT_EQ(ti_SetDpi(picture.get(), p.xDpi, p.yDpi), TI_OK);
        files.push_back(encodeJpeg(picture.get(), p.quality));
    }
    const std::u16string storedPath = file(u"stored.pdf"), encodedPath = file(u"encoded.pdf");
    for (const bool store : {true, false}) {
        Doc doc;
        ASSERT_EQ(doc->create(doc.get()), QIX_OK);
        ASSERT_EQ(doc->setJpegQuality(doc.get(), 75), QIX_OK);
        for (const std::string& f : files) {
            Image image = decode(f);
            ASSERT_NE(image.get(), nullptr);
            if (!store) info(image.get());  // hands out the rows: encoded again
            ASSERT_EQ(doc->addPage(doc.get(), image.get(), 0), QIX_OK);
        }
        ASSERT_EQ(doc->save(doc.get(), (store ? storedPath : encodedPath).c_str(), 0), QIX_OK);
    }
    const std::string n = std::to_string(std::size(pages));
    const std::string storedInfo = pdfinfo("-f 1 -l " + n + " " + quoted(storedPath));
    EXPECT_NE(storedInfo.find("Pages: " + n + "\n"), std::string::npos) << storedInfo;
    EXPECT_EQ(storedInfo.find("rror"), std::string::npos) << storedInfo;
    auto withoutDates = [](const std::string& text) {
        std::istringstream lines(text);
        std::string out;
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("Page", 0) == 0) out += line + "\n";
        return out;
    };
    EXPECT_EQ(withoutDates(storedInfo), withoutDates(pdfinfo("-f 1 -l " + n + " " + quoted(encodedPath))));

    const auto storedImages = imageList(storedPath), encodedImages = imageList(encodedPath);
    ASSERT_EQ(storedImages.size(), std::size(pages));
    ASSERT_EQ(encodedImages.size(), std::size(pages));
    for (std::size_t i = 0; i < std::size(pages); ++i) {
        SCOPED_TRACE(i);
        ASSERT_GE(storedImages[i].size(), 14u);
        // page num type width height color comp bpc enc interp object ID x-ppi y-ppi
        for (std::size_t column : {0, 2, 3, 4, 5, 6, 7, 8, 12, 13})
            EXPECT_EQ(storedImages[i][column], encodedImages[i][column]) << "column " << column;
    }
    const std::u16string root = file(u"page");
    run("pdfimages -j " + quoted(storedPath) + " " + quoted(root));
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        char name[16];
        std::snprintf(name, sizeof name, "-%03zu.jpg", i);
        EXPECT_EQ(readBytes(root + text::fromUtf8(name)), files[i]);
    }
}

// A JPEG page read back from a document is its file again, so it goes
// into the next document as it is.
TEST_F(QixIpf, PageReadBackIsStoredAgain) {
    Image picture = pattern(120, 90, TI_BGR24, 150);
    const std::string jpeg = encodeJpeg(picture.get(), 65);
    const std::u16string first = file(u"first.pdf"), second = file(u"second.pdf");
    {
        Image loaded = decode(jpeg);
        Doc doc;
        ASSERT_EQ(doc->create(doc.get()), QIX_OK);
        ASSERT_EQ(doc->setJpegQuality(doc.get(), 65), QIX_OK);
        ASSERT_EQ(doc->addPage(doc.get(), loaded.get(), 0), QIX_OK);
        ASSERT_EQ(doc->save(doc.get(), first.c_str(), 0), QIX_OK);
    }
    Doc reader;
    ASSERT_EQ(reader->open(reader.get(), first.c_str()), QIX_OK);
    int status = -1;
    Image page(reader->pageImage(reader.get(), 0, &status));
    ASSERT_NE(page.get(), nullptr) << status;
    EXPECT_EQ(layout(page.get()).xDpi, 150);
    Doc doc;
    ASSERT_EQ(doc->create(doc.get()), QIX_OK);
    ASSERT_EQ(doc->setJpegQuality(doc.get(), 65), QIX_OK);
    ASSERT_EQ(doc->addPage(doc.get(), page.get(), 0), QIX_OK);
    EXPECT_EQ(writePage(doc, 0), jpeg);
    ASSERT_EQ(doc->save(doc.get(), second.c_str(), 0), QIX_OK);
    EXPECT_NE(pdfinfo(quoted(second)).find("Page size: 57.6 x 43.2 pts"), std::string::npos);
}

// ---- Through the component's bindings --------------------------------------

// The way the viewer and the document writer use the library: loaded by
// CMultiPDF, images through the toolkit binding, pages read back through a
// memory stream.
TEST_F(QixIpf, ThroughTheComponentsBindings) {
    ASSERT_EQ(timage::library().load(text::fromUtf8(DOCIVA_TIMAGE_FOLDER)), timage::kLoaded);
    const CMultiPDF pdf(text::fromUtf8(DOCIVA_QIXIPF_FOLDER));
    ASSERT_TRUE(pdf.available());

    TI_IMAGE image = timage::ti_CreateImage2(120, 80, TI_BGR24, 200, 200);
    ASSERT_NE(image, nullptr);
    const std::u16string path = file(u"scan.pdf");
    {
        CMultiPDF::Document doc = pdf.CreateIF();
        ASSERT_TRUE(doc);
        ASSERT_EQ(doc.create(), 0);
        doc.setJpegQuality(60);
        ASSERT_EQ(doc.addPage(image), 0);
        ASSERT_EQ(doc.addPage(image), 0);
        ASSERT_EQ(doc.save(path.c_str()), 0);
    }
    timage::ti_ReleaseImage(&image);

    CMultiPDF::Document doc = pdf.CreateIF();
    ASSERT_EQ(doc.open(path.c_str()), 0);
    ASSERT_EQ(doc.pageCount(), 2);
    CMemoryStream stream;
    const int n = doc.writePage(1, stream.descriptor());
    ASSERT_GT(n, 0);
    EXPECT_EQ(stream.bytes().size(), static_cast<std::size_t>(n));
    TI_IMAGE page = timage::ti_LoadFromMem(stream.bytes().data(), n);
    ASSERT_NE(page, nullptr);
    TI_IMAGE_INFO i{};
    i.size = sizeof i;
    ASSERT_EQ(timage::ti_GetInfo(page, &i), TI_OK);
    EXPECT_EQ(i.width, 120);
    EXPECT_EQ(i.height, 80);
    timage::ti_ReleaseImage(&page);

    int status = -1;
    TI_IMAGE full = doc.pageImage(0, &status);
    EXPECT_NE(full, nullptr);
    EXPECT_EQ(status, 0);
    timage::ti_ReleaseImage(&full);
    timage::library().unload();
}

}  // namespace
