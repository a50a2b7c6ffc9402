// ViewerWindow: the viewer's window on Windows. It shows what a
// CViewConvasDlg paints and hands it the mouse:
//
// - WM_PAINT brings the dialog's surface up to date (CViewConvasDlg::Paint)
//   and copies the invalid part of it to the screen; the background is
//   never erased, so nothing flickers.
// - A redraw the viewer asks for on another thread (a file added by the
//   request pool's worker) only marks the dialog; a timer on the window's
//   thread (kRedrawPeriodMs) sees the mark and invalidates the window.
//   Mouse messages and refresh() look at once.
// - WM_MOUSEMOVE, WM_LBUTTONDOWN / UP / DBLCLK go to the dialog in client
//   coordinates; the first move asks for WM_MOUSELEAVE (TrackMouseEvent),
//   which goes to the dialog too. The mouse is captured from button down
//   to button up, so a drag that leaves the window still ends in it.
// - A tooltip control (comctl32) gets one tool per rectangle of
//   CViewConvasDlg::Tooltips(), replaced whenever a paint changed them.
//
// The window is 665 x 800 pixels, the size of the dialog's surface.
//
// Thread safety: the thread that calls create owns the window: it must
// pump its messages and is the only one to call the other members or
// destroy the object. The dialog must outlive the window.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/scoped_handle.h"
#include "platform/win32/handles.h"
#include "viewer/view_convas_dlg.h"

namespace viewer::win32 {

using ScopedWindow = platform::win32::ScopedWindow;

class ViewerWindow {
    // Only create makes one, as the window may fail.
    struct Token {
        explicit Token() = default;
    };

public:
    static constexpr UINT_PTR kRedrawTimer = 1;
    static constexpr UINT kRedrawPeriodMs = 40;

    // A visible child of `parent` at (x, y) showing `dialog`, which gets its
    // surface here if it has none yet (CViewConvasDlg::Create). Null when
    // the surface or the window cannot be made (GetLastError says why;
    // a window needs a display). The tooltips are left out, without
    // failing, when their control cannot be made.
    static std::unique_ptr<ViewerWindow> create(HWND parent, CViewConvasDlg& dialog, int x, int y);
    // The same in the dialog made from template IDD_VIEW_CONVAS
    // (resources/viewer.rc): the window takes the static control's place and id and
    // sits at 0,0.
    static std::unique_ptr<ViewerWindow> createInDialog(HWND dialog, CViewConvasDlg& viewer);

    ViewerWindow(Token, CViewConvasDlg& dialog, HINSTANCE module) : dialog_(dialog), module_(module) {}
    ~ViewerWindow();
    ViewerWindow(const ViewerWindow&) = delete;
    ViewerWindow& operator=(const ViewerWindow&) = delete;

    HWND hwnd() const noexcept { return window_.get(); }
    // Null when the tooltips could not be had.
    HWND tooltip() const noexcept { return tooltip_.get(); }

    // Moves the window's top-left corner, in the parent's client coordinates.
    void move(int x, int y);
    // Moves and sizes the window; the dialog's surface takes the new size
    // (the window keeps its old size when the surface cannot be had).
    void place(int x, int y, int width, int height);
    // Invalidates the window when the dialog asked for a redraw; what the
    // timer does, for a host that wants it now. True when it did.
    bool refresh();

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void paint();
    void mouse(UINT message, WPARAM wParam, LPARAM lParam);
    void makeTooltip();
    void updateTools();

    CViewConvasDlg& dialog_;
    HINSTANCE module_;
    // Declared so the tooltip, owned by the window, goes first.
    ScopedWindow window_;
    ScopedWindow tooltip_;
    bool trackingLeave_ = false;
    // The tools now on the tooltip control, to tell whether a paint
    // changed them.
    std::vector<ViewerTooltip> tools_;
};

}  // namespace viewer::win32
