// ProgressViewWin: the scan progress dialog's window on Windows, a
// modeless dialog from template 205 with its progress bar (204) and status
// text (205). Hidden when made; centred on its owner each time it is shown.
//
// resources: the module whose resources hold the template; null means the
// module this code is linked into.
//
// Thread safety: the thread that calls create(), which must pump messages
// (the control's window thread).
#pragma once

#include <windows.h>

#include "dialogs/progress_view.h"
#include "dialogs/win32/window_support_win.h"

namespace dialogs::win32 {

class ProgressViewWin final : public ProgressView {
public:
    explicit ProgressViewWin(HINSTANCE resources = nullptr);
    ~ProgressViewWin() override = default;

    bool create(void* owner) override;
    void destroy() override { window_.reset(); }
    void setOwner(void* owner) override;
    void setRange(std::int32_t low, std::int32_t high) override;
    void setPos(std::int32_t position) override;
    std::int32_t pos() const override;
    void range(std::int32_t& low, std::int32_t& high) const override;
    void setText(std::u16string_view text) override;
    void show(bool show) override;

    // The dialog's window (null before create()), for tests and hosts.
    HWND window() const { return window_.get(); }

private:
    void centreOnOwner();

    HINSTANCE resources_;
    HWND owner_ = nullptr;
    ScopedWindow window_;
};

}  // namespace dialogs::win32
