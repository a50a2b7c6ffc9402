// Windows: the browser's window subclassed by the plug-in, the control's
// child dialog (template 101) inside it, and GDI+.
#include <windows.h>

#include "plugin/plugin_window.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/win32/gdiplus_session_win.h"
#include "plugin/win32/plugin_resources.h"
#include "viewer/win32/viewer_ids.h"
#include "viewer/win32/viewer_window_win.h"

namespace np {

namespace {

// The hook lives in window properties rather than the window's user data,
// which belongs to the browser's own procedure that we keep calling.
constexpr wchar_t kHookProperty[] = L"DocivaPluginHook";
// Kept apart from the hook: should another procedure have been put on top
// of ours by the time the hook goes, ours must go on forwarding without it.
constexpr wchar_t kPreviousProperty[] = L"DocivaPluginPrevious";

HINSTANCE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

bool isPrivateMessage(UINT message) { return (message >= 1124 && message <= 1127) || (message >= 2024 && message <= 2026); }

class Win32Hook final : public HostWindowHook {
public:
    Win32Hook(HWND window, Repaint repaint) : window_(window), repaint_(std::move(repaint)) {}
    ~Win32Hook() override { release(); }

    bool install() {
        if (!SetPropW(window_, kHookProperty, this)) return false;
        SetLastError(0);
        const LONG_PTR previous =
            SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32Hook::procedure));
        if (previous == 0 && GetLastError() != 0) {
            RemovePropW(window_, kHookProperty);
            return false;
        }
        SetPropW(window_, kPreviousProperty, reinterpret_cast<HANDLE>(previous));
        installed_ = true;
        return true;
    }

    // Gives the window its previous procedure back when ours is still the
    // one it calls; once the window is destroyed there is nothing to undo.
    void release() {
        if (!installed_) return;
        installed_ = false;
        RemovePropW(window_, kHookProperty);
        if (!IsWindow(window_)) return;
        const auto ours = reinterpret_cast<LONG_PTR>(&Win32Hook::procedure);
        if (GetWindowLongPtrW(window_, GWLP_WNDPROC) == ours) {
            SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GetPropW(window_, kPreviousProperty)));
            RemovePropW(window_, kPreviousProperty);
        }
    }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        const auto previous = reinterpret_cast<WNDPROC>(GetPropW(window, kPreviousProperty));
        auto* hook = static_cast<Win32Hook*>(GetPropW(window, kHookProperty));
        if (hook && message == WM_PAINT) {
            try {
                if (hook->repaint_) hook->repaint_();
            } catch (...) {
                // Nothing may cross the system's frames; the next paint tries again.
            }
            PAINTSTRUCT paint;
            if (BeginPaint(window, &paint)) EndPaint(window, &paint);
            return 0;
        }
        if (message == WM_NCDESTROY) {
            // The window goes before the instance: leave it as we found it.
            if (hook) hook->release();
            RemovePropW(window, kPreviousProperty);
            RemovePropW(window, kHookProperty);
        }
        return previous ? CallWindowProcW(previous, window, message, wParam, lParam)
                        : DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_;
    Repaint repaint_;
    bool installed_ = false;
};

class Win32Dialog final : public ControlDialog {
public:
    Win32Dialog(CViewConvasDlg& viewer, PrivateMessages handler) : viewer_(viewer), handler_(std::move(handler)) {}
    ~Win32Dialog() override {
        // The viewer's window first, while the dialog it sits in is whole.
        viewerWindow_.reset();
        if (dialog_ && IsWindow(dialog_)) {
            // No message may reach this object while the window goes.
            SetWindowLongPtrW(dialog_, DWLP_USER, 0);
            DestroyWindow(dialog_);
        }
    }

    bool make(HWND parent) {
        dialog_ = CreateDialogParamW(thisModule(), MAKEINTRESOURCEW(IDD_PLUGIN_CONTROL), parent, &Win32Dialog::procedure,
                                     reinterpret_cast<LPARAM>(this));
        if (!dialog_) return false;
        RECT area{};
        GetClientRect(parent, &area);
        ShowWindow(dialog_, SW_SHOW);
        MoveWindow(dialog_, 0, 0, area.right - area.left, area.bottom - area.top, TRUE);
        return true;
    }

    void* handle() const override { return dialog_; }
    void* viewerWindow() const override { return viewerHandle(); }
    void invalidateViewer() override {
        if (HWND viewer = viewerHandle()) InvalidateRect(viewer, nullptr, FALSE);
    }

private:
    static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            auto* self = reinterpret_cast<Win32Dialog*>(lParam);
            self->dialog_ = dialog;
            self->onInitDialog();
            return TRUE;
        }
        auto* self = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (!self) return FALSE;
        if (message == WM_SIZE) {
            self->onSize();
            return TRUE;
        }
        if (isPrivateMessage(message) && self->handler_) {
            LRESULT result = 0;
            try {
                result = self->handler_(message, wParam, lParam);
            } catch (...) {
                result = 0;
            }
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
            return TRUE;
        }
        if (message == WM_NCDESTROY) {
            // Destroyed with the browser's window, children first; the
            // viewer window's owner finds its handle dead and leaves it.
            self->dialog_ = nullptr;
            self->placeholder_ = nullptr;
        }
        return FALSE;
    }

    void onInitDialog() {
        RECT area{};
        GetClientRect(dialog_, &area);
        placeholder_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, area.right - area.left,
                                       area.bottom - area.top, dialog_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_VIEWER_CANVAS)), thisModule(),
                                       nullptr);
        // The viewer's window takes the static window's place and id.
        viewerWindow_ = viewer::win32::ViewerWindow::createInDialog(dialog_, viewer_);
        if (viewerWindow_) placeholder_ = nullptr;
    }

    HWND viewerHandle() const {
        if (viewerWindow_ && IsWindow(viewerWindow_->hwnd())) return viewerWindow_->hwnd();
        return placeholder_;
    }

    void onSize() {
        RECT area{};
        GetClientRect(dialog_, &area);
        const int width = area.right - area.left;
        const int height = area.bottom - area.top;
        platform::debugOutput(text::format(u"l:%d t:%d r:%d b:%d ---- W:%d H:%d", area.left, area.top, area.right,
                                           area.bottom, width, height));
        // The viewer follows the client area, as the static window it
        // replaced would.
        if (viewerWindow_) {
            viewerWindow_->place(0, 0, width, height);
        } else if (placeholder_) {
            MoveWindow(placeholder_, 0, 0, width, height, TRUE);
        }
    }

    CViewConvasDlg& viewer_;
    PrivateMessages handler_;
    HWND dialog_ = nullptr;
    // The static window while the viewer's window does not exist.
    HWND placeholder_ = nullptr;
    std::unique_ptr<viewer::win32::ViewerWindow> viewerWindow_;
};

class GdiplusSession final : public GraphicsSession {
public:
    bool started() const { return session_.started(); }

private:
    platform::win32::GdiplusSession session_;
};

}  // namespace

std::unique_ptr<HostWindowHook> HostWindowHook::attach(void* window, Repaint repaint) {
    const auto hwnd = static_cast<HWND>(window);
    DWORD process = 0;
    if (!hwnd || !IsWindow(hwnd) || (GetWindowThreadProcessId(hwnd, &process), process != GetCurrentProcessId()))
        return nullptr;
    auto hook = std::make_unique<Win32Hook>(hwnd, std::move(repaint));
    if (!hook->install()) return nullptr;
    return hook;
}

std::unique_ptr<ControlDialog> ControlDialog::create(void* parent, CViewConvasDlg& viewer, PrivateMessages handler) {
    const auto hwnd = static_cast<HWND>(parent);
    if (!hwnd || !IsWindow(hwnd)) return nullptr;
    auto dialog = std::make_unique<Win32Dialog>(viewer, std::move(handler));
    if (!dialog->make(hwnd)) return nullptr;
    return dialog;
}

std::unique_ptr<GraphicsSession> GraphicsSession::start() {
    auto session = std::make_unique<GdiplusSession>();
    if (!session->started()) return nullptr;
    return session;
}

}  // namespace np
