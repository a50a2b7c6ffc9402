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
