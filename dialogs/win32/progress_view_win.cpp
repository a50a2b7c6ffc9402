#include "dialogs/win32/progress_view_win.h"

#include <commctrl.h>

#include "dialogs/dialog_ids.h"
#include "dialogs/dociva_dialog.h"
#include "platform/win32/wide.h"

static_assert(IDD_DOCIVA_PROGRESS == CDocivaDialog::kTemplateId);
static_assert(IDC_PROGRESS_BAR == CDocivaDialog::kProgressId);
static_assert(IDC_PROGRESS_TEXT == CDocivaDialog::kTextId);

namespace dialogs::win32 {

namespace {

INT_PTR CALLBACK progressProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        // Brought to the front whenever a scan shows it.
        SetWindowLongPtrW(dialog, GWL_STYLE, GetWindowLongPtrW(dialog, GWL_STYLE) | DS_SETFOREGROUND);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

ProgressViewWin::ProgressViewWin(HINSTANCE resources) : resources_(resources ? resources : moduleOfThisCode()) {}

bool ProgressViewWin::create(void* owner) {
    if (window_) return false;
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    owner_ = topLevelOwner(static_cast<HWND>(owner));
    window_.reset(CreateDialogParamW(resources_, MAKEINTRESOURCEW(IDD_DOCIVA_PROGRESS), owner_, progressProc, 0));
    return window_.valid();
}

void ProgressViewWin::setOwner(void* owner) {
    owner_ = topLevelOwner(static_cast<HWND>(owner));
    // A pop-up's owner is kept in the slot that names a child's parent.
    if (window_) SetWindowLongPtrW(window_.get(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner_));
}

void ProgressViewWin::setRange(std::int32_t low, std::int32_t high) {
    if (window_) SendDlgItemMessageW(window_.get(), IDC_PROGRESS_BAR, PBM_SETRANGE32, static_cast<WPARAM>(low), high);
}

void ProgressViewWin::setPos(std::int32_t position) {
    if (window_) SendDlgItemMessageW(window_.get(), IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

std::int32_t ProgressViewWin::pos() const {
    if (!window_) return 0;
    return static_cast<std::int32_t>(SendDlgItemMessageW(window_.get(), IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
}

void ProgressViewWin::range(std::int32_t& low, std::int32_t& high) const {
    if (!window_) return;
    PBRANGE current{};
    SendDlgItemMessageW(window_.get(), IDC_PROGRESS_BAR, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&current));
    low = current.iLow;
    high = current.iHigh;
}

void ProgressViewWin::setText(std::u16string_view text) {
    if (!window_) return;
    SetDlgItemTextW(window_.get(), IDC_PROGRESS_TEXT, platform::win32::toWide(text).c_str());
}

void ProgressViewWin::show(bool show) {
    if (!window_) return;
    if (show) {
        centreOnOwner();
        ShowWindow(window_.get(), SW_SHOW);
    } else {
        ShowWindow(window_.get(), SW_HIDE);
    }
}

void ProgressViewWin::centreOnOwner() {
    RECT own{};
    GetWindowRect(window_.get(), &own);
    // Without an owner (or with a minimised one) the work area of the
    // screen it is on stands in, and the dialog stays inside that area.
    HWND owner = owner_ && IsWindow(owner_) && !IsIconic(owner_) ? owner_ : nullptr;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(owner ? owner : window_.get(), MONITOR_DEFAULTTONEAREST), &monitor);
    RECT around = monitor.rcWork;
    if (owner) GetWindowRect(owner, &around);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    int x = (around.left + around.right) / 2 - width / 2;
    int y = (around.top + around.bottom) / 2 - height / 2;
    const RECT& work = monitor.rcWork;
    if (x + width > work.right) x = work.right - width;
    if (y + height > work.bottom) y = work.bottom - height;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    SetWindowPos(window_.get(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace dialogs::win32

std::unique_ptr<ProgressView> makeProgressView() { return std::make_unique<dialogs::win32::ProgressViewWin>(); }
