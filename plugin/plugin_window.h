// The plug-in's windows on this platform, behind a portable face.
//
// HostWindowHook: the browser's window taken over by the plug-in. On
// Windows the window's procedure is replaced by the plug-in's own until the
// hook goes (NPP_Destroy), which puts the previous one back; the plug-in's
// procedure repaints on WM_PAINT and hands every other message to the
// previous procedure. On Linux the browser's window is an X window the
// plug-in does not draw into yet, so the hook holds nothing.
//
// ControlDialog: the control's window inside the browser's: the modeless
// child dialog of template 101 on Windows, placed at 0,0 with the parent's
// size, holding the viewer's window, which takes the place of a static
// window made for it (that static window stays when the viewer's window
// cannot be made). The scan run's private messages that reach it go to the
// control's handler. On Linux there is no such window.
//
// GraphicsSession: GDI+ started for as long as the session lives (Windows);
// nothing on Linux.
//
// Thread safety: the browser's thread, which owns the windows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "viewer/view_convas_dlg.h"

namespace np {

class HostWindowHook {
public:
    using Repaint = std::function<void()>;

    // Null when the handle is no window of this process's (nothing is
    // changed then). repaint runs on every paint of the window.
    static std::unique_ptr<HostWindowHook> attach(void* window, Repaint repaint);

    virtual ~HostWindowHook() = default;
    HostWindowHook(const HostWindowHook&) = delete;
    HostWindowHook& operator=(const HostWindowHook&) = delete;

protected:
    HostWindowHook() = default;
};

class ControlDialog {
public:
    // The control's own handling of a private message (1124 to 1127, 2024
    // to 2026), on the window thread.
    using PrivateMessages = std::function<std::intptr_t(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)>;

    // Null when the platform has no such window or the parent refuses it.
    // viewer must outlive the dialog.
    static std::unique_ptr<ControlDialog> create(void* parent, CViewConvasDlg& viewer, PrivateMessages handler);

    virtual ~ControlDialog() = default;
    ControlDialog(const ControlDialog&) = delete;
    ControlDialog& operator=(const ControlDialog&) = delete;

    // The dialog's handle (HWND on Windows).
    virtual void* handle() const = 0;
    // The viewer's window, a child of the dialog (HWND on Windows).
    virtual void* viewerWindow() const = 0;
    // Marks the viewer's window for repainting.
    virtual void invalidateViewer() = 0;

protected:
    ControlDialog() = default;
};

class GraphicsSession {
public:
    static std::unique_ptr<GraphicsSession> start();
    virtual ~GraphicsSession() = default;
    GraphicsSession(const GraphicsSession&) = delete;
    GraphicsSession& operator=(const GraphicsSession&) = delete;

protected:
    GraphicsSession() = default;
};

}  // namespace np
