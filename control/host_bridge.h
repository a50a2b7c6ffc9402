// What a host that drives the control as a loadable module reaches besides
// its methods, shared by the control module (control/module_entry.cpp)
// and the plug-in (plugin/np_entry.cpp), so both answer a host alike:
//
// - HostDialogs: the control's dialogs put to the host as
//   DocivaDialogRequests (dociva_module.h), with the same kinds, texts
//   and answer sizes from either module; without an answerer every dialog
//   is answered the way a user who closes it does (CancellingDialogs).
// - The progress dialog's state, the viewer's mouse and its picture.
//
// Thread safety: the control's window thread, as the control.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "control/dociva_module.h"
#include "platform/dialog_service.h"

class CDocivaOCXCtrl;

class HostDialogs final : public platform::DialogService {
public:
    using RunDialog = std::int32_t (*)(void* context, const DocivaDialogRequest* request, char16_t* answer,
                                       std::uint32_t capacity);

    void setAnswerer(RunDialog runDialog, void* context) {
        runDialog_ = runDialog;
        context_ = context;
    }

    std::optional<std::u16string> inputBox(std::u16string_view caption, std::u16string_view prompt,
                                           std::u16string_view initial) override;
    platform::FolderResult chooseFolder(std::u16string_view caption, std::u16string_view initialFolder,
                                        std::uint32_t flags, void* owner) override;
    std::optional<std::u16string> openFile(std::u16string_view filter, void* owner) override;
    int alert(std::u16string_view caption, std::u16string_view message) override;
    bool editWatermark(platform::WatermarkSettings& record) override;

private:
    std::optional<std::u16string> ask(DocivaDialogKind kind, std::u16string_view caption, std::u16string_view text,
                                      std::u16string_view initial, std::uint32_t capacity);

    RunDialog runDialog_ = nullptr;
    void* context_ = nullptr;
    platform::CancellingDialogs cancelling_;
};

namespace host_bridge {

// The progress dialog as it stands.
DocivaProgress progress(const CDocivaOCXCtrl& control);
// One mouse event (DocivaMouseKind) at x, y in the viewer's client area;
// DOCIVA_E_INVALIDARG for an unknown kind.
std::int32_t mouse(CDocivaOCXCtrl& control, std::int32_t kind, std::int32_t x, std::int32_t y);
// The viewer's picture as a PNG file; 0, or -1 when it cannot be saved.
std::int32_t savePicture(CDocivaOCXCtrl& control, const char16_t* path);

}  // namespace host_bridge
