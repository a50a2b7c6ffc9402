#include "viewer/win32/viewer_window_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include "platform/win32/canvas_gdi_win.h"
#include "platform/win32/gdi_handles.h"
#include "platform/win32/module_win.h"
#include "platform/win32/wide.h"
#include "viewer/win32/viewer_ids.h"

namespace viewer::win32 {

namespace {

constexpr wchar_t kClassName[] = L"DocivaViewerWindow";

// The module this code is linked into (the control's or the plug-in's DLL,
// or a test program): the class is registered there, so two modules in one
// process never share it.
HINSTANCE ownModule() { return platform::win32::moduleHandleOf(); }

LPCWSTR cursorResource(ViewerCursor cursor) {
    switch (cursor) {
    case ViewerCursor::SizeNwse: return IDC_SIZENWSE;
    case ViewerCursor::SizeNesw: return IDC_SIZENESW;
    case ViewerCursor::SizeNs: return IDC_SIZENS;
    case ViewerCursor::SizeWe: return IDC_SIZEWE;
    case ViewerCursor::SizeAll: return IDC_SIZEALL;
    case ViewerCursor::Arrow: break;
    }
    return IDC_ARROW;
}

bool sameTools(const std::vector<ViewerTooltip>& a, const std::vector<ViewerTooltip>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const ViewerRect& r = a[i].rect;
        const ViewerRect& s = b[i].rect;
        if (r.left != s.left || r.top != s.top || r.right != s.right || r.bottom != s.bottom) return false;
        if (a[i].text != b[i].text) return false;
    }
    return true;
}

// The tool record in the size every comctl32 takes: the version 5 library
// rejects the larger record of version 6.
TOOLINFOW toolInfo(HWND owner, UINT_PTR id) {
    TOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = owner;
    info.uId = id;
    return info;
}

}  // namespace

std::unique_ptr<ViewerWindow> ViewerWindow::create(HWND parent, CViewConvasDlg& dialog, int x, int y) {
    if (!dialog.Create()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const HINSTANCE module = ownModule();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    // Double clicks enter page mode, so the class must ask for them.
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = module;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kClassName;
    // Already there while another viewer window of this module lives.
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;

    auto window = std::make_unique<ViewerWindow>(Token{}, dialog, module);
    // WM_NCCREATE stores the pointer, so the window finds its object from
    // its first message on.
    HWND hwnd = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y, kViewerWidth,
                                kViewerHeight, parent, nullptr, module, window.get());
    if (!hwnd) {
        const DWORD error = GetLastError();
        UnregisterClassW(kClassName, module);  // fails, harmlessly, while other viewer windows live
        SetLastError(error);
        return nullptr;
    }
    window->window_.reset(hwnd);
    window->makeTooltip();
    SetTimer(hwnd, kRedrawTimer, kRedrawPeriodMs, nullptr);
    return window;
}

std::unique_ptr<ViewerWindow> ViewerWindow::createInDialog(HWND dialog, CViewConvasDlg& viewer) {
    std::unique_ptr<ViewerWindow> window = create(dialog, viewer, 0, 0);
    if (!window) return nullptr;
    if (HWND placeholder = GetDlgItem(dialog, IDC_VIEWER_CANVAS)) DestroyWindow(placeholder);
    SetWindowLongPtrW(window->hwnd(), GWLP_ID, IDC_VIEWER_CANVAS);
    // First in the dialog's order, as the static control was.
    SetWindowPos(window->hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return window;
}

ViewerWindow::~ViewerWindow() {
    // While the object is whole: the window's last messages still find it.
    tooltip_.reset();
    window_.reset();
    UnregisterClassW(kClassName, module_);  // fails, harmlessly, while other viewer windows live
}

void ViewerWindow::move(int x, int y) {
    SetWindowPos(hwnd(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ViewerWindow::place(int x, int y, int width, int height) {
    if (!dialog_.Resize(width, height)) {
        move(x, y);
        return;
    }
    SetWindowPos(hwnd(), nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd(), nullptr, FALSE);
}

bool ViewerWindow::refresh() {
    if (!dialog_.NeedsPaint()) return false;
    InvalidateRect(hwnd(), nullptr, FALSE);
    return true;
}

void ViewerWindow::makeTooltip() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    // A pop-up owned by the viewer window: it needs a display like the
    // window, and goes with it.
    tooltip_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr,
                                   module_, nullptr));
    if (!tooltip_) return;
    // Paths are long: let them wrap instead of running off the screen.
    SendMessageW(tooltip_.get(), TTM_SETMAXTIPWIDTH, 0, kViewerWidth);
}

void ViewerWindow::updateTools() {
    const std::vector<ViewerTooltip>& wanted = dialog_.Tooltips();
    if (!tooltip_ || sameTools(wanted, tools_)) return;
    for (std::size_t i = 0; i < tools_.size(); ++i) {
        TOOLINFOW info = toolInfo(hwnd(), i + 1);
        SendMessageW(tooltip_.get(), TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
    tools_.clear();
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const ViewerTooltip& tool = wanted[i];
        std::wstring text = platform::win32::toWide(tool.text);
        TOOLINFOW info = toolInfo(hwnd(), i + 1);
        // The tooltip relays the window's mouse messages to itself.
        info.uFlags = TTF_SUBCLASS;
        info.rect = {tool.rect.left, tool.rect.top, tool.rect.right, tool.rect.bottom};
        info.lpszText = text.data();  // copied by the control
        SendMessageW(tooltip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
    tools_ = wanted;
}

void ViewerWindow::paint() {
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(hwnd(), &ps);
    if (!dc) return;
    const platform::OffscreenCanvas* canvas = dialog_.Paint();
    const auto* gdi = dynamic_cast<const platform::win32::GdiCanvas*>(canvas);
    if (!gdi || !gdi->copyTo(dc, ps.rcPaint)) {
        // No surface to show: the viewer's background, so the place is not
        // left with whatever was on the screen.
        platform::win32::ScopedBrush brush(CreateSolidBrush(RGB(200, 200, 200)));
        if (brush) FillRect(dc, &ps.rcPaint, brush.get());
    }
    EndPaint(hwnd(), &ps);
    updateTools();
}

void ViewerWindow::mouse(UINT message, WPARAM wParam, LPARAM lParam) {
    const ViewerPoint p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
    case WM_MOUSEMOVE:
        if (!trackingLeave_) {
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE | TME_HOVER, hwnd(), 1};
            trackingLeave_ = TrackMouseEvent(&track) != FALSE;
        }
        dialog_.OnMouseMove(p, (wParam & MK_LBUTTON) != 0);
        break;
    case WM_LBUTTONDOWN:
        SetCapture(hwnd());
        dialog_.OnLButtonDown(p);
        break;
    case WM_LBUTTONUP:
        dialog_.OnLButtonUp(p);
        if (GetCapture() == hwnd()) ReleaseCapture();
        break;
    case WM_LBUTTONDBLCLK:
        dialog_.OnLButtonDblClk(p);
        break;
    default:
        break;
    }
    refresh();
}

LRESULT ViewerWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paint();
        return 0;
    case WM_PRINTCLIENT: {
        // The whole surface, up to date, into the caller's DC.
        const platform::OffscreenCanvas* canvas = dialog_.Paint();
        if (const auto* gdi = dynamic_cast<const platform::win32::GdiCanvas*>(canvas))
            gdi->copyTo(reinterpret_cast<HDC>(wParam), {0, 0, dialog_.Width(), dialog_.Height()});
        updateTools();
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel
    case WM_TIMER:
        if (wParam == kRedrawTimer) {
            refresh();
            return 0;
        }
        break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
        mouse(message, wParam, lParam);
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            POINT at{};
            GetCursorPos(&at);
            ScreenToClient(hwnd(), &at);
            SetCursor(LoadCursorW(nullptr, cursorResource(dialog_.CursorAt({at.x, at.y}))));
            return TRUE;
        }
        break;
    case WM_MOUSELEAVE:
        trackingLeave_ = false;
        dialog_.OnMouseLeave();
        refresh();
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd(), kRedrawTimer);
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd(), message, wParam, lParam);
}

LRESULT CALLBACK ViewerWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ViewerWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    // Until CreateWindowExW returns, the object does not hold the handle.
    if (!self || self->window_.get() != hwnd) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return self->handle(message, wParam, lParam);
}

}  // namespace viewer::win32
