// Barcodes into file names: the profile's Barcode section, names made safe,
// and (where this build reads barcodes) codes drawn by ZXing's own writer
// read back exactly, at 0 and 90 degrees, alone and through a scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "libs/dociva-sdk/barcode_reader.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "sdk/page_test_support.h"
#include "sdk/sdk_test_support.h"
#include "settings/profile_settings.h"

#if DOCIVA_HAVE_BARCODES
#define ZX_USE_UTF8 1
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#endif

using dociva_sdk::BarcodeArea;
using dociva_sdk::BarcodeOptions;
using dociva_sdk::ImageOwner;
using namespace page_testing;
using testing_support::TempDir;
using testing_support::utf8;

namespace {

TEST(SdkBarcodeOptions, TypeListsName) {
    struct Row {
        std::u16string list;
        std::uint32_t types;
    };
    const Row rows[] = {
        {u"Code39,Code128,EAN13,Interleaved2of5",
         dociva_sdk::kBarcodeCode39 | dociva_sdk::kBarcodeCode128 | dociva_sdk::kBarcodeEan13 | dociva_sdk::kBarcodeItf},
        {u"QRCode,DataMatrix,PDF417", dociva_sdk::kBarcodeQr | dociva_sdk::kBarcodeDataMatrix | dociva_sdk::kBarcodePdf417},
        {u"qr", dociva_sdk::kBarcodeQr},
        {u" ean-13 ; code_128 | UPC-A ", dociva_sdk::kBarcodeEan13 | dociva_sdk::kBarcodeCode128 | dociva_sdk::kBarcodeUpcA},
        {u"Code 39", 0},  // "code" and "39" are no names
        {u"", 0},
        {u"nonsense,Aztec", dociva_sdk::kBarcodeAztec},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(utf8(row.list));
        EXPECT_EQ(dociva_sdk::barcodeTypesOf(row.list), row.types);
    }
}

TEST(SdkBarcodeOptions, TheProfilesSection) {
    struct Row {
        const char* name;
        std::u16string type1d, type2d;
        int position, autoRotate;
        std::uint32_t types;
        BarcodeArea area;
        bool rotate;
    };
    const Row rows[] = {
        {"nothing named: every type", u"", u"", 0, 0, dociva_sdk::kBarcodeAny, BarcodeArea::Page, false},
        {"both lists", u"Code128", u"QRCode", 2, 1, dociva_sdk::kBarcodeCode128 | dociva_sdk::kBarcodeQr,
         BarcodeArea::BottomHalf, true},
        {"only unknown names: none", u"Plessey", u"", 4, 0, 0, BarcodeArea::RightHalf, false},
        {"position out of range: the page", u"", u"DataMatrix", 9, 1, dociva_sdk::kBarcodeDataMatrix, BarcodeArea::Page,
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ProfileSettings p;
        text::copyBounded(p.barcodeType, kProfileBarcodeUnits, row.type1d);
        text::copyBounded(p.barcodeType2D, kProfileBarcodeUnits, row.type2d);
        p.barcodePosition = row.position;
        p.barcodeAutoRotate = row.autoRotate;
        const BarcodeOptions o = dociva_sdk::barcodeOptionsOf(p);
        EXPECT_EQ(o.types, row.types);
        EXPECT_EQ(o.area, row.area);
        EXPECT_EQ(o.autoRotate, row.rotate);
        EXPECT_FALSE(o.wanted);
    }
}

TEST(SdkBarcodeOptions, ValuesAreMadeSafeForAName) {
    struct Row {
        std::u16string value, name;
    };
    const Row rows[] = {
        {u"5901234123457", u"5901234123457"},
        {u"DOC-2026/Ab?12", u"DOC-2026_Ab_12"},
        {u"a\\b:c*d\"e<f>g|h", u"a_b_c_d_e_f_g_h"},
        {u"100%COUNTER3%", u"100_COUNTER3_"},  // never a token of the pattern
        {u"  INV 42  ", u"INV 42"},
        {u"line\r\nbreak\t", u"line__break_"},
        {u"   ", u""},
        {std::u16string(100, u'7'), std::u16string(dociva_sdk::kBarcodeNameUnits, u'7')},
        {std::u16string(63, u'x') + u"\U0001F600", std::u16string(63, u'x')},  // no half of a pair
        {u"Caf\u00e9", u"Caf\u00e9"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(utf8(row.value));
        EXPECT_EQ(dociva_sdk::barcodeNamePart(row.value), row.name);
    }
}

// A white page with nothing on it but text-like strokes.
ImageOwner pageWithoutCode() {
    return drawPage(900, 700, TI_GRAY8, 200, [](int x, int y) {
        const bool stroke = (y / 30) % 2 == 1 && y % 30 < 6 && (x / 40) % 3 != 2 && x > 60 && x < 840;
        return stroke ? Rgb{20, 20, 20} : Rgb{};
    });
}

#if DOCIVA_HAVE_BARCODES

struct Code {
    const char* name;
    ZXing::BarcodeFormat format;
    std::string value;   // what is encoded (UTF-8)
    int width, height;   // of the drawn symbol, in pixels
    std::u16string namePart;
};

const Code kCodes[] = {
    {"Code 128", ZXing::BarcodeFormat::Code128, "DOC-2026/Ab?12", 420, 120, u"DOC-2026_Ab_12"},
    {"EAN-13", ZXing::BarcodeFormat::EAN13, "5901234123457", 380, 140, u"5901234123457"},
    {"Code 39", ZXing::BarcodeFormat::Code39, "INV 42-X", 480, 120, u"INV 42-X"},
    {"QR", ZXing::BarcodeFormat::QRCode, "Invoice: 7731 <urgent>", 200, 200, u"Invoice_ 7731 _urgent_"},
    {"Data Matrix", ZXing::BarcodeFormat::DataMatrix, "DM%20/lot:7", 160, 160, u"DM_20_lot_7"},
    {"Data Matrix, square", ZXing::BarcodeFormat::DataMatrix, "LOT 2026-12-08 BOX 0042 SHELF C", 180, 180,
     u"LOT 2026-12-08 BOX 0042 SHELF C"},
};

// The page with the symbol drawn at (left, top), turned clockwise by a
// quarter when turned, on white paper with text-like strokes beside it.
ImageOwner pageWith(const Code& code, bool turned, int left = 120, int top = 100, int format = TI_BGR24) {
    const ZXing::BitMatrix bits =
        ZXing::MultiFormatWriter(code.format).setMargin(10).encode(code.value, code.width, code.height);
    const int w = bits.width();
    const int h = bits.height();
    return drawPage(1000, 1200, format, 200, [&](int x, int y) {
        // Turned a quarter clockwise: the symbol's left column becomes its top row.
        const int u = turned ? y - top : x - left;
        const int v = turned ? left + h - 1 - x : y - top;
        if (u >= 0 && v >= 0 && u < w && v < h) return bits.get(u, v) ? Rgb{0, 0, 0} : Rgb{};
        const bool stroke = y > 900 && (y / 30) % 2 == 1 && y % 30 < 6 && (x / 40) % 3 != 2 && x > 60 && x < 940;
        return stroke ? Rgb{30, 30, 30} : Rgb{};
    });
}

TEST(SdkBarcodeRead, EachTypeIsReadExactlyAtZeroAndNinetyDegrees) {
    ASSERT_TRUE(dociva_sdk::barcodeReaderAvailable());
    for (const Code& code : kCodes) {
        for (bool turned : {false, true}) {
            SCOPED_TRACE(std::string(code.name) + (turned ? " at 90 degrees" : " at 0 degrees"));
            ImageOwner page = pageWith(code, turned);
            ASSERT_TRUE(page);
            BarcodeOptions o;
            o.wanted = true;
            const std::optional<std::u16string> value = dociva_sdk::readBarcode(page.get(), o);
            ASSERT_TRUE(value.has_value());
            EXPECT_EQ(utf8(*value), code.value);
        }
    }
}

TEST(SdkBarcodeRead, TheSectionNarrowsWhatIsRead) {
    struct Row {
        const char* name;
        int code;  // index into kCodes
        bool turned;
        int top;
        std::uint32_t types;
        BarcodeArea area;
        bool autoRotate;
        bool found;
    };
    const Row rows[] = {
        {"QR among the types", 3, false, 100, dociva_sdk::kBarcodeQr | dociva_sdk::kBarcodeEan13, BarcodeArea::Page,
         false, true},
        {"QR, only Code 128 asked for", 3, false, 100, dociva_sdk::kBarcodeCode128, BarcodeArea::Page, false, false},
        {"no type at all", 0, false, 100, 0, BarcodeArea::Page, true, false},
        {"code at the top, top half", 0, false, 100, dociva_sdk::kBarcodeAny, BarcodeArea::TopHalf, false, true},
        {"code at the top, bottom half", 0, false, 100, dociva_sdk::kBarcodeAny, BarcodeArea::BottomHalf, false, false},
        {"code at the bottom, bottom half", 0, false, 700, dociva_sdk::kBarcodeAny, BarcodeArea::BottomHalf, false,
         true},
        {"code at the left, left half", 0, false, 100, dociva_sdk::kBarcodeAny, BarcodeArea::LeftHalf, false, true},
        {"code at the left, right half", 0, false, 100, dociva_sdk::kBarcodeAny, BarcodeArea::RightHalf, false, false},
        {"Code 128 turned, auto-rotate off", 0, true, 100, dociva_sdk::kBarcodeAny, BarcodeArea::Page, false, false},
        {"Code 128 turned, auto-rotate on", 0, true, 100, dociva_sdk::kBarcodeAny, BarcodeArea::Page, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ImageOwner page = pageWith(kCodes[row.code], row.turned, 60, row.top);
        BarcodeOptions o;
        o.wanted = true;
        o.types = row.types;
        o.area = row.area;
        o.autoRotate = row.autoRotate;
        const std::optional<std::u16string> value = dociva_sdk::readBarcode(page.get(), o);
        EXPECT_EQ(value.has_value(), row.found);
        if (value && row.found) {
            EXPECT_EQ(utf8(*value), kCodes[row.code].value);
        }
    }
}

// Pages with the codes (and one without) scanned from a folder into files
// named by their barcodes.
TEST(SdkBarcodeRead, ScannedPagesAreNamedByTheirBarcodes) {
    struct Run {
        const char* name;
        int scanMode;
        const char16_t* outImg;
    };
    const Run runs[] = {{"colour PNG", 2, u"4"}, {"black and white TIFF", 0, u"3"}};
    for (const Run& run : runs) {
        SCOPED_TRACE(run.name);
        TempDir dir;
        const std::u16string input = dir.file(u"input");
        platform::createDirectory(input);
        std::vector<std::u16string> expected;
        int n = 0;
        for (const Code& code : kCodes) {
            for (bool turned : {false, true}) {
                ImageOwner page = pageWith(code, turned);
                const std::u16string file = platform::joinPath(input, text::format(u"p%02d.png", ++n));
                ASSERT_EQ(ti_SaveImage(file.c_str(), page.get()), TI_OK);
                // Two pages of the same value: the second gets _2.
                expected.push_back(u"doc_" + code.namePart + (turned ? u"_2" : u""));
            }
        }
        ImageOwner none = pageWithoutCode();
        ASSERT_EQ(ti_SaveImage(platform::joinPath(input, u"p99.png").c_str(), none.get()), TI_OK);
        expected.push_back(u"doc_Not_Found");

        ScanSettings s = sdk_testing::settingsFor(dir.file(u"out"), run.outImg, 1, 200);
        s.scanMode = run.scanMode;
        text::copyBounded(s.fileName, kRecordTextUnits, u"doc_%BARCODE_NUMBER%");
        const std::vector<std::u16string> files = sdk_testing::scanFolder(input, s);
        ASSERT_EQ(files.size(), expected.size());
        for (std::size_t i = 0; i < files.size(); ++i) {
            SCOPED_TRACE("side " + std::to_string(i + 1));
            std::u16string name = platform::fileNameOf(files[i]);
            name = name.substr(0, name.rfind(u'.'));
            EXPECT_EQ(utf8(name), utf8(expected[i]));
        }
    }
}

// A start with a profile reads what its Barcode section asks for; the
// page holds a QR code in its bottom half.
TEST(SdkBarcodeRead, AProfilesStartReadsWhatItsSectionAsks) {
    struct Row {
        const char* name;
        std::string section;
        std::u16string file;
    };
    const Row rows[] = {
        {"no section: every type", "", u"prof_Invoice_ 7731 _urgent_.png"},
        {"QR asked for", "CODE_TYP=Code128\nCODE_TYPE_2D=QRCode\n", u"prof_Invoice_ 7731 _urgent_.png"},
        {"only linear types", "CODE_TYP=Code39,Code128,EAN13\nCODE_TYPE_2D=\n", u"prof_Not_Found.png"},
        {"bottom half", "CODE_POSI=2\n", u"prof_Invoice_ 7731 _urgent_.png"},
        {"top half", "CODE_POSI=1\n", u"prof_Not_Found.png"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::u16string input = dir.file(u"input");
        platform::createDirectory(input);
        ImageOwner page = pageWith(kCodes[3], false, 300, 800);
        ASSERT_EQ(ti_SaveImage(platform::joinPath(input, u"p1.png").c_str(), page.get()), TI_OK);
        const std::u16string profile = dir.file(u"profile.ini");
        testing_support::writeBytes(profile, "[ScanParams]\nScanType=1\nScanDpi=200\nScanMode=2\nSaveToPath=" +
                                                 utf8(dir.file(u"out")) + "\nFileName=prof_%BARCODE_NUMBER%\n"
                                                 "[Output]\nOUT_IMG=4\n[Barcode]\n" + row.section);
        TempDir driver;
        sdk_testing::writeDriver(driver.path(),
                                 "source=1\nmaxWidth=8.5\nmaxHeight=11\npagesPerBatch=0\ninput=" + utf8(input) + "\n");
        DocivaHandle handle = dociva_OpenDriver(driver.path().c_str());
        ASSERT_NE(handle, 0u);
        {
            sdk_testing::Recorder rec(handle);
            ASSERT_EQ(dociva_StartScanAsync(handle, profile.c_str(), nullptr, nullptr), 0);
            ASSERT_TRUE(rec.waitForRuns(1));
        }
        dociva_CloseDriver(&handle);
        EXPECT_EQ(sdk_testing::folderNames(dir.file(u"out")), std::vector<std::u16string>{row.file});
    }
}

#else

TEST(SdkBarcodeRead, WithoutAReaderNothingIsFound) {
    EXPECT_FALSE(dociva_sdk::barcodeReaderAvailable());
    BarcodeOptions o;
    o.wanted = true;
    EXPECT_FALSE(dociva_sdk::readBarcode(pageWithoutCode().get(), o).has_value());
}

#endif

TEST(SdkBarcodeRead, APageWithoutACodeHasNone) {
    BarcodeOptions o;
    o.wanted = true;
    EXPECT_FALSE(dociva_sdk::readBarcode(pageWithoutCode().get(), o).has_value());
}

}  // namespace
