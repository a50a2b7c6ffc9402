#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

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

TEST(OpenFileFilter, BarsBecomeTheNulSeparatedList) {
    using namespace std::string_literals;
    struct Row {
        const char* what;
        std::u16string filter;
        std::u16string list;
    } rows[] = {
        {"SelectAPFile's filter", u"Exe Files (*.exe)|*.exe||", u"Exe Files (*.exe)\0*.exe\0\0"s},
        {"two types", u"A|*.a|B|*.b||", u"A\0*.a\0B\0*.b\0\0"s},
        {"closing bars left out", u"A|*.a", u"A\0*.a\0\0"s},
        {"one closing bar", u"A|*.a|", u"A\0*.a\0\0"s},
        {"no filter", u"", u""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(OpenFileFilter(row.filter), row.list);
    }
}

// A window that records what the dialog asks of it and, like a progress
// bar, keeps its position inside its range.
struct ViewLog {
    std::vector<std::string> calls;
    void* owner = nullptr;
    bool refuseCreate = false;
    std::int32_t low = 0, high = 100, position = 0;
    std::u16string text;
    bool visible = false;
};

class RecordingView final : public ProgressView {
public:
    explicit RecordingView(ViewLog& log) : log_(log) {}
    ~RecordingView() override { log_.calls.push_back("gone"); }
    bool create(void* owner) override {
        log_.calls.push_back("create");
        log_.owner = owner;
        return !log_.refuseCreate;
    }
    void destroy() override { log_.calls.push_back("destroy"); }
    void setOwner(void* owner) override { log_.owner = owner; }
    void setRange(std::int32_t low, std::int32_t high) override {
        log_.calls.push_back("range " + std::to_string(low) + ".." + std::to_string(high));
        log_.low = low;
        log_.high = high;
        log_.position = std::clamp(log_.position, low, high);
    }
    void setPos(std::int32_t position) override {
        log_.calls.push_back("pos " + std::to_string(position));
        log_.position = std::clamp(position, log_.low, log_.high);
    }
    std::int32_t pos() const override { return log_.position; }
    void range(std::int32_t& low, std::int32_t& high) const override {
        low = log_.low;
        high = log_.high;
    }
    void setText(std::u16string_view text) override {
        log_.calls.push_back("text " + utf8(text));
        log_.text = text;
    }
    void show(bool show) override {
        log_.calls.push_back(show ? "show" : "hide");
        log_.visible = show;
    }

private:
    ViewLog& log_;
};

TEST(ProgressDialog, ForwardsEveryChangeToItsView) {
    using Calls = std::vector<std::string>;
    struct Row {
        const char* what;
        void (*run)(CDocivaDialog&);
        Calls calls;
    } rows[] = {
        {"range: position to 0 first", [](CDocivaDialog& d) { d.SetRange(40); }, {"pos 0", "range 0..40"}},
        {"position and text", [](CDocivaDialog& d) {
             d.SetPos(7);
             d.SetText(u"Scanning");
         }, {"pos 7", "text Scanning"}},
        {"hiding blanks the window", [](CDocivaDialog& d) { d.Show(false); }, {"hide", "pos 0", "text "}},
        {"showing", [](CDocivaDialog& d) { d.Show(true); }, {"show"}},
        {"destroying", [](CDocivaDialog& d) { d.Destroy(); }, {"destroy"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ViewLog log;
        CDocivaDialog dialog;
        ASSERT_TRUE(dialog.AttachView(std::make_unique<RecordingView>(log)));
        int owner = 0;
        ASSERT_TRUE(dialog.Create(&owner));
        EXPECT_EQ(log.owner, &owner);
        log.calls.clear();
        row.run(dialog);
        EXPECT_EQ(log.calls, row.calls);
    }
}

TEST(ProgressDialog, WithAViewAnswersWhatItsControlsShow) {
    ViewLog log;
    {
        CDocivaDialog dialog;
        dialog.SetText(u"before the window");  // nothing reaches a view that has no window
        ASSERT_TRUE(dialog.AttachView(std::make_unique<RecordingView>(log)));
        EXPECT_TRUE(log.calls.empty());
        ASSERT_TRUE(dialog.Create());
        EXPECT_FALSE(dialog.AttachView(std::make_unique<RecordingView>(log))) << "only before the window exists";
        dialog.SetRange(10);
        dialog.SetPos(25);
        EXPECT_EQ(dialog.GetPos(), 10) << "a bar keeps its position inside its range";
        EXPECT_EQ(dialog.state().position, 10);
        std::int32_t low = -1, high = -1;
        dialog.GetRange(&low, &high);
        EXPECT_EQ(low, 0);
        EXPECT_EQ(high, 10);
        log.calls.clear();
    }
    EXPECT_EQ(log.calls, std::vector<std::string>({"gone"})) << "the dialog's view goes with it";

    ViewLog refusing;
    refusing.refuseCreate = true;
    CDocivaDialog dialog;
    dialog.AttachView(std::make_unique<RecordingView>(refusing));
    EXPECT_TRUE(dialog.Create()) << "a view without a window leaves the dialog as it is without a view";
    EXPECT_EQ(refusing.calls, std::vector<std::string>({"create", "gone"}));
    dialog.SetRange(10);
    dialog.SetPos(25);
    dialog.Show(true);
    EXPECT_EQ(dialog.GetPos(), 25) << "the state alone keeps what was set";
    EXPECT_TRUE(dialog.state().visible);
    EXPECT_FALSE(refusing.visible);
}

TEST(ProgressDialog, OwnerChangesReachTheView) {
    ViewLog log;
    CDocivaDialog dialog;
    dialog.AttachView(std::make_unique<RecordingView>(log));
    int before = 0, after = 0;
    dialog.SetOwner(&before);  // no window yet: nothing to re-own
    EXPECT_TRUE(log.calls.empty());
    dialog.Create(&before);
    dialog.SetOwner(&after);
    EXPECT_EQ(log.owner, &after);
}

}  // namespace
