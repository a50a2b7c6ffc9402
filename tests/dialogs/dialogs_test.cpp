#include <gtest/gtest.h>

#include "dialogs/dociva_dialog.h"
#include "dialogs/small_dialogs.h"
#include "platform/text.h"
#include "support/test_support.h"

using testing_support::utf8;

namespace {

TEST(ProgressDialog, DoesNothingWithoutAWindow) {
    CDocivaDialog dialog;
    dialog.SetRange(10);
    dialog.SetPos(5);
    dialog.SetText(u"ignored");
    dialog.Show(true);
    std::int32_t low = -7, high = -7;
    dialog.GetRange(&low, &high);
    EXPECT_EQ(low, -7);
    EXPECT_EQ(high, -7);
    EXPECT_EQ(dialog.GetPos(), 0);
    EXPECT_FALSE(dialog.state().visible);
    EXPECT_TRUE(dialog.Create());
    EXPECT_FALSE(dialog.Create());
    EXPECT_EQ(utf8(dialog.state().text), "");
}

TEST(ProgressDialog, HidingStartsTheNextScanBlank) {
    CDocivaDialog dialog;
    dialog.Create();
    dialog.Show(true);
    dialog.SetRange(0);  // an empty bar at 0
    EXPECT_EQ(dialog.GetPos(), 0);
    dialog.SetRange(30);
    dialog.SetPos(12);
    dialog.SetText(u"Scanning");
    dialog.Show(false);
    dialog.Show(true);
    const ProgressState s = dialog.state();
    EXPECT_TRUE(s.visible);
    EXPECT_EQ(s.position, 0);
    EXPECT_EQ(utf8(s.text), "");
    EXPECT_EQ(s.high, 30) << "the range is left to the next scan's first event";
    EXPECT_EQ(s.timesShown, 2);
    dialog.GetRange(nullptr, nullptr);  // either output may be absent
}

TEST(WatermarkDialog, OpensAndReadsBackByItsRules) {
    struct Row {
        const char* what;
        bool withRecord;
        std::int32_t type;
        int selected;
        bool imageControls;
        bool textControls;
    } rows[] = {
        {"no record", false, 0, -1, false, false},
        {"type none", true, 0, -1, false, false},
        {"image", true, 1, 0, true, false},
        {"text", true, 2, 1, false, true},
        {"unknown type", true, 7, -1, false, false},
    };
    for (const auto& row : rows) {
        WatermarkSettings record;
        record.type = row.type;
        record.position = 8;
        record.transparency = 60;
        text::copyBounded(record.text, 260, u"DRAFT");
        record.textSize = 40;
        record.textAngle = 45;
        CWatermarkSettingDlg dialog(row.withRecord ? &record : nullptr);
        dialog.OnInitDialog();
        EXPECT_EQ(dialog.SelectedType(), row.selected) << row.what;
        for (int id : {CWatermarkSettingDlg::kTransparency, CWatermarkSettingDlg::kImagePath,
                       CWatermarkSettingDlg::kBrowse}) {
            EXPECT_EQ(dialog.IsEnabled(id), row.imageControls) << row.what << " control " << id;
        }
        for (int id : {CWatermarkSettingDlg::kText, CWatermarkSettingDlg::kTextSize, CWatermarkSettingDlg::kTextAngle}) {
            EXPECT_EQ(dialog.IsEnabled(id), row.textControls) << row.what << " control " << id;
        }
        const WatermarkSettings back = dialog.OnOK();
        EXPECT_EQ(back.type, row.selected + 1) << row.what;
        if (!row.withRecord) {
            EXPECT_EQ(back.position, 4);
            EXPECT_EQ(back.transparency, 120);
            EXPECT_EQ(back.textSize, 100);
            EXPECT_EQ(back.textAngle, 10);
            EXPECT_EQ(back.text[0], 0);
        } else {
            EXPECT_EQ(back.position, 8);
            EXPECT_EQ(utf8(text::view(back.text)), "DRAFT");
        }
    }
    CWatermarkSettingDlg dialog;
    dialog.ClickText();
    EXPECT_TRUE(dialog.IsEnabled(CWatermarkSettingDlg::kTextAngle));
    dialog.ClickImage();
    EXPECT_FALSE(dialog.IsEnabled(CWatermarkSettingDlg::kTextAngle));
    EXPECT_TRUE(dialog.IsEnabled(CWatermarkSettingDlg::kImagePath));
    dialog.SetTransparency(300);  // the dialog takes any number; its caller checks the range
    EXPECT_EQ(dialog.OnOK().transparency, 300);
    EXPECT_EQ(dialog.OnOK().type, 1);
}

TEST(AlertDialog, SizesItselfToTheMessage) {
    struct Row {
        const char* what;
        const char16_t* message;
        int measuredW, measuredH;
        int width, height;
    } rows[] = {
        {"one word: minimum width", u"Done", 30, 14, 300, 104},
        {"tiny: minimum height", u".", 3, 1, 300, 100},
        {"long: layout box plus margin", u"A long message", 650, 300, 670, 390},
    };
    for (const auto& row : rows) {
        CAlertDlg dialog;
        dialog.SetMessage(row.message);
        const AlertLayout layout = dialog.Layout(row.measuredW, row.measuredH, 1940, 1100, 75, 26);
        EXPECT_TRUE(layout.resized) << row.what;
        EXPECT_EQ(layout.windowWidth, row.width) << row.what;
        EXPECT_EQ(layout.windowHeight, row.height) << row.what;
        EXPECT_EQ(layout.windowX, (1940 - row.width) / 2) << row.what;
        EXPECT_EQ(layout.windowY, (1100 - row.height) / 2) << row.what;
        EXPECT_EQ(layout.buttonX, (row.width - 75) / 2) << row.what;
        EXPECT_EQ(layout.buttonY, row.height - 26 - 40) << row.what;
    }
    CAlertDlg empty;
    empty.SetCaption(std::u16string(400, u'c'));
    EXPECT_FALSE(empty.Layout(10, 10, 800, 600, 75, 26).resized);
    EXPECT_EQ(empty.Caption().size(), 259u);
}

TEST(InputBox, DefaultsAndLimit) {
    CInputBoxDialog plain(u"", u"", u"start");
    EXPECT_EQ(utf8(plain.ShownCaption()), "Input Box");
    EXPECT_EQ(utf8(plain.ShownPrompt()), "Please input the value:");
    EXPECT_EQ(utf8(plain.Value()), "start");
    plain.Type(std::u16string(300, u'x'));
    EXPECT_EQ(plain.Value().size(), 255u);
    CInputBoxDialog profile(u"Profile", u"Please enter a Profile name:", u"");
    EXPECT_EQ(utf8(profile.ShownCaption()), "Profile");
    EXPECT_EQ(utf8(profile.ShownPrompt()), "Please enter a Profile name:");
}

}  // namespace
