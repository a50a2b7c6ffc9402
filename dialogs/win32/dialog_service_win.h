// Win32Dialogs: the component's own dialog windows on Windows, from the
// templates in resources/dialogs.rc, run modally on the calling thread with the
// rules of dialogs/small_dialogs.h.
//
// owner: the window the input box and the watermark dialog belong to (its
// top-level window is used; null or a message-only window: none). The
// alert has no owner, and the folder and file choosers take theirs with
// each call (null: none; a message-only window: owner instead). resources: the module whose resources hold the templates;
// null means the module this code is linked into.
//
// Thread safety: the thread whose windows the dialogs belong to (the
// control's window thread); every call blocks until its dialog closes.
#pragma once

#include <windows.h>

#include "platform/dialog_service.h"

namespace dialogs::win32 {

class Win32Dialogs final : public platform::DialogService {
public:
    explicit Win32Dialogs(HWND owner = nullptr, HINSTANCE resources = nullptr);

    // The control's window may be made after its dialog service.
    void setOwner(void* owner) override { owner_ = static_cast<HWND>(owner); }

    std::optional<std::u16string> inputBox(std::u16string_view caption, std::u16string_view prompt,
                                           std::u16string_view initial) override;
    platform::FolderResult chooseFolder(std::u16string_view caption, std::u16string_view initialFolder,
                                        std::uint32_t flags, void* owner) override;
    std::optional<std::u16string> openFile(std::u16string_view filter, void* owner) override;
    int alert(std::u16string_view caption, std::u16string_view message) override;
    bool editWatermark(platform::WatermarkSettings& record) override;

private:
    // The chooser's owner as the caller names it; a window that cannot own
    // one (the control's message-only window) gives way to owner.
    HWND ownerFor(void* callerOwner) const;

    HWND owner_;
    HINSTANCE resources_;
};

}  // namespace dialogs::win32
