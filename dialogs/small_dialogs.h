// The small modal dialogs the control's methods open, as behaviour apart
// from drawing: the watermark settings, the alert, the input box and the
// folder chooser. Each platform shows them through its dialog service
// (platform/dialog_service.h); the rules that decide what they show and
// give back live here once.
//
// Thread safety: the control's window thread; each dialog lives on the
// stack of the method that runs it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dialog_service.h"

using WatermarkSettings = platform::WatermarkSettings;

// The watermark dialog's controls and their rules.
class CWatermarkSettingDlg {
public:
    static constexpr int kTemplateId = 214;
    enum ControlId : int {
        kTransparency = 230,
        kTypeImage = 232,
        kTypeText = 233,
        kFirstPosition = 234,  // 234..242
        kImagePath = 243,
        kBrowse = 244,
        kText = 245,
        kTextSize = 246,
        kTextAngle = 247,
    };

    // Without a record: no type, Center, transparency 120, text size 100,
    // angle 10, no image and no text.
    explicit CWatermarkSettingDlg(const WatermarkSettings* record = nullptr);

    // Applies the enabling rule, as opening the dialog does.
    void OnInitDialog() { applyEnabling(); }
    // Clicking a type button selects it and applies the enabling rule.
    void ClickImage();
    void ClickText();
    // Whether a control can be used now.
    bool IsEnabled(int controlId) const;
    // -1 none, 0 Image, 1 Text.
    int SelectedType() const { return type_; }

    // What the user typed into the controls.
    void SetPosition(int position) { position_ = position; }
    void SetTransparency(std::int32_t v) { transparency_ = v; }
    void SetImage(std::u16string_view v) { image_ = v; }
    void SetText(std::u16string_view v) { text_ = v; }
    void SetTextSize(std::int32_t v) { textSize_ = v; }
    void SetTextAngle(std::int32_t v) { textAngle_ = v; }

    // OK: the record read back from the controls (type = button + 1).
    WatermarkSettings OnOK() const;

private:
    void applyEnabling();

    int type_ = -1;
    int position_ = 4;
    std::int32_t transparency_ = 120;
    std::u16string image_;
    std::u16string text_;
    std::int32_t textSize_ = 100;
    std::int32_t textAngle_ = 10;
    bool imageControls_ = false;
    bool textControls_ = false;
};

// The alert's window: sized to the measured message and centred on the
// largest window the platform allows.
struct AlertLayout {
    int windowX = 0, windowY = 0, windowWidth = 0, windowHeight = 0;
    int buttonX = 0, buttonY = 0;
    bool resized = false;  // false: the resource's own size (empty message)
};

class CAlertDlg {
public:
    static constexpr int kTemplateId = 103;
    static constexpr int kLayoutWidth = 650;
    static constexpr int kLayoutHeight = 1000;
    static constexpr int kFontPixels = 12;
    static constexpr char16_t kFontFamily[] = u"Arial Unicode MS";

    void SetCaption(std::u16string_view caption);
    void SetMessage(std::u16string_view message) { message_ = message; }
    const std::u16string& Caption() const { return caption_; }
    const std::u16string& Message() const { return message_; }

    // measuredWidth/Height: the message measured in the dialog's font inside
    // the layout box; maxTrackWidth/Height: the platform's largest window;
    // button: the OK button's size.
    AlertLayout Layout(int measuredWidth, int measuredHeight, int maxTrackWidth, int maxTrackHeight, int buttonWidth,
                       int buttonHeight) const;

private:
    std::u16string caption_;
    std::u16string message_;
};

class CInputBoxDialog {
public:
    static constexpr int kTemplateId = 213;
    static constexpr std::size_t kMaxText = 255;

    CInputBoxDialog(std::u16string_view caption, std::u16string_view prompt, std::u16string_view initial);

    // What the dialog shows: the defaults stand in for empty texts.
    std::u16string ShownCaption() const;
    std::u16string ShownPrompt() const;
    // The edit keeps at most 255 characters of what is typed.
    void Type(std::u16string_view text);
    const std::u16string& Value() const { return value_; }

private:
    std::u16string caption_;
    std::u16string prompt_;
    std::u16string value_;
};

// The open-file dialog's filter: the "Name|pattern|...||" form a caller
// writes becomes the name and pattern texts one after another, each ended
// by a NUL, and the list ended by one more. Empty stays empty (no filter).
std::u16string OpenFileFilter(std::u16string_view filter);

// The folder chooser's result codes.
enum class FolderDialogResult : int { Chosen = 1, Cancelled = 2, NoPath = -1 };
