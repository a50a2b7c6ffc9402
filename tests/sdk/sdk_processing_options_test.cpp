// Which processing steps a settings record turns on: a field that is not
// set (-1) or 0 leaves its step off, so it costs nothing.
#include <gtest/gtest.h>

#include <string>

#include "libs/dociva-sdk/scan_options.h"
#include "platform/text.h"

namespace {

struct Steps {
    bool autoSize, autoOrient, erasePunchHoles, barcode;
    dociva_sdk::DropOut dropOut;
};

TEST(SdkProcessingOptions, RecordFieldsTurnStepsOn) {
    struct Row {
        const char* name;
        int autoSize, orientation, punchHoleErase, colorDropOut;
        const char16_t* fileName;
        Steps steps;
    };
    using dociva_sdk::DropOut;
    const Row rows[] = {
        {"nothing set", -1, -1, -1, -1, u"", {false, false, false, false, DropOut::None}},
        {"all 0", 0, 0, 0, 0, u"scan_%COUNTER3%", {false, false, false, false, DropOut::None}},
        {"all 1", 1, 1, 1, 1, u"%BARCODE_NUMBER%", {true, true, true, true, DropOut::Red}},
        {"green, barcode inside a name", 2, 0, 0, 2, u"box_%BARCODE_NUMBER%_%COUNTER2%",
         {true, false, false, true, DropOut::Green}},
        {"blue", 0, 5, 0, 3, u"%barcode_number%", {false, true, false, false, DropOut::Blue}},
        {"drop-out out of range", 0, 0, 1, 4, u"", {false, false, true, false, DropOut::None}},
    };
    dociva_sdk::DeviceDescription device;
    device.hasFeeder = true;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScanSettings s;
        s.scanType = 1;
        s.autoSize = row.autoSize;
        s.orientation = row.orientation;
        s.punchHoleErase = row.punchHoleErase;
        s.colorDropOut = row.colorDropOut;
        text::copyBounded(s.fileName, kRecordTextUnits, row.fileName);
        dociva_sdk::ScanOptions o;
        ASSERT_EQ(dociva_sdk::readScanOptions(s, device, o), dociva_sdk::OptionsResult::Ok);
        EXPECT_EQ(o.autoSize, row.steps.autoSize);
        EXPECT_EQ(o.autoOrient, row.steps.autoOrient);
        EXPECT_EQ(o.erasePunchHoles, row.steps.erasePunchHoles);
        EXPECT_EQ(o.barcode.wanted, row.steps.barcode);
        EXPECT_EQ(o.dropOut, row.steps.dropOut);
        // A record carries no Barcode section: every type, the whole page.
        EXPECT_EQ(o.barcode.types, dociva_sdk::kBarcodeAny);
        EXPECT_EQ(o.barcode.area, dociva_sdk::BarcodeArea::Page);
        EXPECT_TRUE(o.barcode.autoRotate);
    }
}

}  // namespace
