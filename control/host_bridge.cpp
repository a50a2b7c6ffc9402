#include "control/host_bridge.h"

#include <iterator>

#include "control/docivaocx_ctrl.h"
#include "platform/text.h"

std::optional<std::u16string> HostDialogs::ask(DocivaDialogKind kind, std::u16string_view caption,
                                               std::u16string_view textArg, std::u16string_view initial,
                                               std::uint32_t capacity) {
    const std::u16string captionText(caption), textText(textArg), initialText(initial);
    const DocivaDialogRequest request{kind, captionText.c_str(), textText.c_str(), initialText.c_str(), nullptr};
    std::u16string answer(capacity, u'\0');
    if (runDialog_(context_, &request, answer.data(), capacity) != 1) return std::nullopt;
    answer.resize(text::length(answer.c_str()));
    return answer;
}

std::optional<std::u16string> HostDialogs::inputBox(std::u16string_view caption, std::u16string_view prompt,
                                                    std::u16string_view initial) {
    if (!runDialog_) return cancelling_.inputBox(caption, prompt, initial);
    // The input box's edit takes at most 255 characters.
    return ask(DOCIVA_DIALOG_INPUT, caption, prompt, initial, 256);
}

platform::FolderResult HostDialogs::chooseFolder(std::u16string_view caption, std::u16string_view initialFolder,
                                                 std::uint32_t flags, void* owner) {
    if (!runDialog_) return cancelling_.chooseFolder(caption, initialFolder, flags, owner);
    auto chosen = ask(DOCIVA_DIALOG_FOLDER, caption, initialFolder, u"", 260);
    if (!chosen) return {};
    return {platform::FolderChoice::Chosen, std::move(*chosen)};
}

std::optional<std::u16string> HostDialogs::openFile(std::u16string_view filter, void* owner) {
    if (!runDialog_) return cancelling_.openFile(filter, owner);
    return ask(DOCIVA_DIALOG_FILE, u"", filter, u"", 260);
}

int HostDialogs::alert(std::u16string_view caption, std::u16string_view message) {
    if (!runDialog_) return cancelling_.alert(caption, message);
    const std::u16string captionText(caption), messageText(message);
    const DocivaDialogRequest request{DOCIVA_DIALOG_ALERT, captionText.c_str(), messageText.c_str(), u"", nullptr};
    return runDialog_(context_, &request, nullptr, 0);
}

bool HostDialogs::editWatermark(platform::WatermarkSettings& record) {
    if (!runDialog_) return cancelling_.editWatermark(record);
    const DocivaDialogRequest request{DOCIVA_DIALOG_WATERMARK, u"Wartermark Setting", u"", u"", &record};
    return runDialog_(context_, &request, nullptr, 0) == 1;
}

namespace host_bridge {

DocivaProgress progress(const CDocivaOCXCtrl& control) {
    const ProgressState state = control.progressDialog().state();
    DocivaProgress out{};
    out.exists = state.exists;
    out.visible = state.visible;
    out.position = state.position;
    out.low = state.low;
    out.high = state.high;
    out.timesShown = state.timesShown;
    text::copyBounded(out.text, std::size(out.text), state.text);
    return out;
}

std::int32_t mouse(CDocivaOCXCtrl& control, std::int32_t kind, std::int32_t x, std::int32_t y) {
    CViewConvasDlg& canvas = control.canvas();
    const ViewerPoint p{x, y};
    switch (kind) {
    case DOCIVA_MOUSE_MOVE: canvas.OnMouseMove(p, false); break;
    case DOCIVA_MOUSE_DRAG: canvas.OnMouseMove(p, true); break;
    case DOCIVA_MOUSE_DOWN: canvas.OnLButtonDown(p); break;
    case DOCIVA_MOUSE_UP: canvas.OnLButtonUp(p); break;
    case DOCIVA_MOUSE_DOUBLE_CLICK: canvas.OnLButtonDblClk(p); break;
    case DOCIVA_MOUSE_LEAVE: canvas.OnMouseLeave(); break;
    default: return DOCIVA_E_INVALIDARG;
    }
    return DOCIVA_OK;
}

std::int32_t savePicture(CDocivaOCXCtrl& control, const char16_t* path) {
    if (!path) return -1;
    return control.canvas().SavePicture(text::view(path)) ? 0 : -1;
}

}  // namespace host_bridge
