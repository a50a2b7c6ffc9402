#include "dialogs/small_dialogs.h"

#include <algorithm>

#include "platform/text.h"

CWatermarkSettingDlg::CWatermarkSettingDlg(const WatermarkSettings* record) {
    if (!record) return;
    // Type 0 (none) selects neither button.
    type_ = record->type - 1;
    if (type_ != 0 && type_ != 1) type_ = -1;
    position_ = record->position;
    transparency_ = record->transparency;
    image_ = text::view(record->image);
    text_ = text::view(record->text);
    textSize_ = record->textSize;
    textAngle_ = record->textAngle;
}

void CWatermarkSettingDlg::ClickImage() {
    type_ = 0;
    applyEnabling();
}

void CWatermarkSettingDlg::ClickText() {
    type_ = 1;
    applyEnabling();
}

void CWatermarkSettingDlg::applyEnabling() {
    imageControls_ = type_ == 0;
    textControls_ = type_ == 1;
}

bool CWatermarkSettingDlg::IsEnabled(int controlId) const {
    switch (controlId) {
    case kTransparency:
    case kImagePath:
    case kBrowse: return imageControls_;
    case kText:
    case kTextSize:
    case kTextAngle: return textControls_;
    default: return true;
    }
}

WatermarkSettings CWatermarkSettingDlg::OnOK() const {
    WatermarkSettings r;
    r.type = type_ + 1;
    r.position = position_;
    r.transparency = transparency_;
    text::copyBounded(r.image, 260, image_);
    text::copyBounded(r.text, 260, text_);
    r.textSize = textSize_;
    r.textAngle = textAngle_;
    return r;
}

void CAlertDlg::SetCaption(std::u16string_view caption) { caption_ = text::cut(caption, 259); }

AlertLayout CAlertDlg::Layout(int measuredWidth, int measuredHeight, int maxTrackWidth, int maxTrackHeight,
                              int buttonWidth, int buttonHeight) const {
    AlertLayout layout;
    if (message_.empty()) return layout;
    layout.resized = true;
    layout.windowWidth = std::max(measuredWidth + 20, 300);
    layout.windowHeight = std::max(measuredHeight + 90, 100);
    layout.windowX = (maxTrackWidth - layout.windowWidth) / 2;
    layout.windowY = (maxTrackHeight - layout.windowHeight) / 2;
    layout.buttonX = (layout.windowWidth - buttonWidth) / 2;
    layout.buttonY = layout.windowHeight - buttonHeight - 40;
    return layout;
}

CInputBoxDialog::CInputBoxDialog(std::u16string_view caption, std::u16string_view prompt,
                                 std::u16string_view initial)
    : caption_(text::cut(caption, 259)), prompt_(text::cut(prompt, 259)), value_(initial) {}

std::u16string CInputBoxDialog::ShownCaption() const { return caption_.empty() ? u"Input Box" : caption_; }

std::u16string CInputBoxDialog::ShownPrompt() const {
    return prompt_.empty() ? u"Please input the value:" : prompt_;
}

void CInputBoxDialog::Type(std::u16string_view text) { value_ = text::cut(text, kMaxText); }

std::u16string OpenFileFilter(std::u16string_view filter) {
    std::u16string list(filter);
    if (list.empty()) return list;
    std::replace(list.begin(), list.end(), u'|', u'\0');
    // A caller who left out the closing "||" still gets a closed list.
    while (list.size() < 2 || list[list.size() - 1] != u'\0' || list[list.size() - 2] != u'\0') list.push_back(u'\0');
    return list;
}
