#include <gtest/gtest.h>

#include <span>

#include "output/memory_stream.h"
#include "output/multi_pdf.h"
#include "platform/dynamic_library.h"
#include "platform/files.h"
#include "platform/library_name.h"
#include "platform/path.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace {

using testing_support::utf8;

std::u16string withSeparator(const std::u16string& folder) { return folder + platform::nativeSeparator(); }

TEST(MultiPDF, LibraryPath) {
    struct Row {
        std::u16string_view folder, path;
    };
    const Row windows[] = {
        {u"C:\\Program Files\\Dociva\\", u"C:\\Program Files\\Dociva\\QixIPF.dll"},
        {u"C:\\Dociva", u"C:\\Dociva\\QixIPF.dll"},
    };
    const Row posixRows[] = {
        {u"/opt/dociva/", u"/opt/dociva/libqixipf.so"},
        {u"/opt/dociva", u"/opt/dociva/libqixipf.so"},
    };
    const std::span<const Row> rows = testing_support::onWindows() ? std::span<const Row>(windows) : posixRows;
    for (const Row& row : rows) {
        SCOPED_TRACE(utf8(row.folder));
        EXPECT_EQ(CMultiPDF::libraryPath(row.folder), row.path);
    }
}

// The caller's signal to skip its PDF step: a null object, and a null
// object never calls anything.
TEST(MultiPDF, MissingLibraryGivesNoObject) {
    testing_support::TempDir empty;
    for (const std::u16string& folder : {withSeparator(empty.path()), std::u16string()}) {
        SCOPED_TRACE(utf8(folder));
        const CMultiPDF pdf(folder);
        EXPECT_FALSE(pdf.available());
        CMultiPDF::Document doc = pdf.CreateIF();
        EXPECT_FALSE(doc);
        EXPECT_EQ(doc.open(u"x.pdf"), CMultiPDF::Document::kMissing);
        EXPECT_EQ(doc.create(), CMultiPDF::Document::kMissing);
        EXPECT_EQ(doc.pageCount(), CMultiPDF::Document::kMissing);
        int status = 0;
        EXPECT_EQ(doc.pageImage(0, &status), nullptr);
        EXPECT_EQ(status, CMultiPDF::Document::kMissing);
        CMemoryStream stream(128);
        EXPECT_EQ(doc.writePage(0, stream.descriptor()), CMultiPDF::Document::kMissing);
        EXPECT_EQ(doc.save(u"y.pdf"), CMultiPDF::Document::kMissing);
    }
}

TEST(MultiPDF, ProcessInstanceWithoutLibraryBesideTheProgram) {
    CMultiPDF& pdf = CMultiPDF::instance();
    EXPECT_EQ(&pdf, &CMultiPDF::instance());
    EXPECT_FALSE(pdf.CreateIF());
}

// A library under the PDF library's name that lacks qix_CreateIF.
TEST(MultiPDF, LibraryWithoutTheExportGivesNoObject) {
    testing_support::TempDir dir;
    const std::u16string file = dir.file(platform::sharedLibraryFileName(u"QixIPF"));
    ASSERT_TRUE(platform::copyFile(text::fromUtf8(DOCIVA_PARTIAL_TOOLKIT), file, false));
    const CMultiPDF pdf(withSeparator(dir.path()));
    EXPECT_FALSE(pdf.available());
    EXPECT_FALSE(pdf.CreateIF());
}

// The stand-in library answers each slot with a value naming the slot, so
// a call that reached the wrong slot or lost an argument shows.
TEST(MultiPDF, CallsReachTheirSlots) {
    testing_support::TempDir dir;
    const std::u16string file = dir.file(platform::sharedLibraryFileName(u"QixIPF"));
    ASSERT_TRUE(platform::copyFile(text::fromUtf8(DOCIVA_FAKE_PDF_LIBRARY), file, false));
    {
        const CMultiPDF pdf(withSeparator(dir.path()));
        ASSERT_TRUE(pdf.available());

        platform::DynamicLibrary same;
        ASSERT_TRUE(same.load(file));
        using Counter = int (*)();
        const auto released = reinterpret_cast<Counter>(same.symbol("fake_ReleasedCount"));
        ASSERT_NE(released, nullptr);
        const int before = released();
        {
            CMultiPDF::Document doc = pdf.CreateIF();
            ASSERT_TRUE(doc);
            EXPECT_EQ(doc.open(u"x.pdf"), 0);
            EXPECT_EQ(doc.open(u"other.pdf"), 200);
            EXPECT_EQ(doc.create(), 300);
            EXPECT_EQ(doc.addPage(nullptr), 500);
            EXPECT_EQ(doc.setJpegQuality(60), 800);
            EXPECT_EQ(doc.get()->functions->jpegQuality(doc.get()), 60);
            EXPECT_EQ(doc.save(u"y.pdf"), 1001);
            EXPECT_EQ(doc.pageCount(), 1100);
            int status = 0;
            EXPECT_EQ(doc.pageImage(7, &status), nullptr);
            EXPECT_EQ(status, 1307);
            CMemoryStream stream(128);
            EXPECT_EQ(doc.writePage(5, stream.descriptor()), 1405 + 3);

            // A moved object is released once, by its last owner.
            CMultiPDF::Document other = std::move(doc);
            EXPECT_FALSE(doc);
            EXPECT_TRUE(other);
            EXPECT_EQ(released(), before);
        }
        EXPECT_EQ(released(), before + 1);
    }
}

}  // namespace
