// CViewConvasDlg: the child dialog that hosts the viewer inside the
// control. Every viewer operation of the control goes through one of its
// forwarders.
//
// It is also the viewer's window: Create gives it its surface, the host
// hands it the mouse, and Paint brings the surface up to date when the
// viewer asked for a redraw. The window is headless: the surface is an
// off-screen canvas that a host shows, inspects or saves.
//
// Thread safety: the window thread, except AddImage (any thread). A redraw
// asked for from another thread (a file added by the request pool) is seen
// by the window thread's next Paint.
#pragma once

#include <atomic>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/offscreen_canvas.h"
#include "viewer/image_viewer.h"
#include "viewer/viewer_painter.h"

class CViewConvasDlg {
public:
    explicit CViewConvasDlg(const CMultiPDF* pdf = &CMultiPDF::instance());
    ~CViewConvasDlg();
    CViewConvasDlg(const CViewConvasDlg&) = delete;
    CViewConvasDlg& operator=(const CViewConvasDlg&) = delete;

    // Places the viewer at 0,0 with its full size.
    void OnInitDialog() { viewer_.SetClientSize(kViewerWidth, kViewerHeight); }

    CImageViewer& Viewer() { return viewer_; }

    void ViewSinglePage() { viewer_.SetViewMode(kViewSingle); }
    void ViewThumb4() { viewer_.SetViewMode(kViewGrid4); }
    void ViewThumb9() { viewer_.SetViewMode(kViewGrid9); }
    void NormalView() { viewer_.NormalView(); }
    void FullView() { viewer_.FullView(); }
    int ZoomIn() { return viewer_.ZoomIn(); }
    int ZoomOut() { return viewer_.ZoomOut(); }
    int GoFirstPage() { return viewer_.GoFirstPage(); }
    int GoPrevPage() { return viewer_.GoPrevPage(); }
    int GoNextPage() { return viewer_.GoNextPage(); }
    int GoLastPage() { return viewer_.GoLastPage(); }
    int DeleteImage() { return viewer_.DeleteImage(); }
    int RotateLeft() { return viewer_.Rotate(90); }
    int Rotate() { return viewer_.Rotate(180); }
    int RotateRight() { return viewer_.Rotate(270); }
    int Cut() { return viewer_.Cut(); }
    int Flip() { return viewer_.Flip(); }
    int Mirror() { return viewer_.Mirror(); }
    int Undo() { return viewer_.Undo(); }
    bool AddImage(std::u16string_view path, int formatCode) { return viewer_.AddImage(path, formatCode); }
    int GetFileCount() const { return viewer_.GetFileCount(); }
    void SetPageModeCallback(CImageViewer::PageModeCallback callback, void* user) {
        viewer_.SetPageModeCallback(callback, user);
    }

    // ---- the window ----

    // Makes the surface (665 x 800), initialises the dialog and has every
    // redraw the viewer asks for mark the window for repainting. False when
    // the surface cannot be had; the window then paints nothing.
    bool Create();
    bool IsCreated() const { return static_cast<bool>(canvas_); }
    // A surface of another size for a window that was resized (the
    // viewer lays its screens out anew for it). False, keeping the old
    // surface, before Create or when the new one cannot be had.
    bool Resize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }

    // True when the viewer asked for a redraw since the last paint.
    bool NeedsPaint() const { return dirty_.load(); }
    // Paints the viewer into the surface when it needs it and returns the
    // surface (null before Create). The tooltips follow each paint.
    const platform::OffscreenCanvas* Paint();

    // The mouse, in client coordinates.
    void OnMouseMove(ViewerPoint p, bool leftHeld) { viewer_.OnMouseMove(p, leftHeld); }
    void OnLButtonDown(ViewerPoint p) { viewer_.OnLButtonDown(p); }
    void OnLButtonUp(ViewerPoint p) { viewer_.OnLButtonUp(p); }
    void OnLButtonDblClk(ViewerPoint p) { viewer_.OnLButtonDblClk(p); }
    void OnMouseLeave() { viewer_.OnMouseLeave(); }

    // The pointer's shape at p (client coordinates).
    ViewerCursor CursorAt(ViewerPoint p) const { return viewer_.CursorAt(p); }

    // The tooltip tools of the last paint.
    const std::vector<ViewerTooltip>& Tooltips() const { return tooltips_; }
    // The picture of the window as it is now (painted first if needed), as
    // a PNG file. False before Create, or when it cannot be written.
    bool SavePicture(std::u16string_view path);

private:
    // Set from any thread that makes the viewer ask for a redraw; declared
    // before the viewer so it outlives the viewer's callback.
    std::atomic<bool> dirty_{false};
    CImageViewer viewer_;
    std::unique_ptr<platform::OffscreenCanvas> canvas_;
    int width_ = kViewerWidth;
    int height_ = kViewerHeight;
    std::vector<ViewerTooltip> tooltips_;
};
