// The page's viewer methods (view modes, zoom, paging, edits), the button
// states reported after each, and scanned files arriving in the viewer
// from the request pool.
//
// Thread safety: the window thread, except addScannedImageResult, which
// runs on the pool's worker and reaches the window by sending it
// WM_VIEWER_CHANGED.
#include "control/docivaocx_ctrl.h"
#include "platform/text.h"

payload::ViewerState CDocivaOCXCtrl::viewerState() {
    CImageViewer& viewer = canvas_.Viewer();
    payload::ViewerState state;
    state.screenCount = viewer.ScreenCount();
    state.currentScreen = viewer.CurrentScreen();
    state.viewMode = viewer.GetViewMode();
    state.zoomLevel = viewer.GetZoomLevel();
    state.undoAvailable = viewer.UndoAvailable();
    return state;
}

void CDocivaOCXCtrl::reportNavigationStatus() {
    fire(kEventUIButtonStatusChange, payload::navigationStatus(viewerState()));
}
void CDocivaOCXCtrl::reportZoomViewStatus() { fire(kEventUIButtonStatusChange, payload::zoomViewStatus(viewerState())); }
void CDocivaOCXCtrl::reportUndoStatus() { fire(kEventUIButtonStatusChange, payload::undoStatus(viewerState())); }
void CDocivaOCXCtrl::reportCutStatus() { fire(kEventUIButtonStatusChange, payload::cutStatus(viewerState())); }

void CDocivaOCXCtrl::reportAllButtonStatus() {
    reportNavigationStatus();
    reportZoomViewStatus();
    reportUndoStatus();
    reportCutStatus();
}

template <typename Operation>
std::int16_t CDocivaOCXCtrl::viewerOperation(Operation operation, bool navigation, bool zoomView, bool undo,
                                             bool cut) {
    if (isScanning_.load()) return 0;
    const std::int16_t result = static_cast<std::int16_t>(operation());
    if (navigation) reportNavigationStatus();
    if (zoomView) reportZoomViewStatus();
    if (undo) reportUndoStatus();
    if (cut) reportCutStatus();
    return result;
}

void CDocivaOCXCtrl::ViewSinglePage() {
    viewerOperation([&] { canvas_.ViewSinglePage(); return 0; }, true, true, true, true);
}
void CDocivaOCXCtrl::ViewThumb4() {
    viewerOperation([&] { canvas_.ViewThumb4(); return 0; }, true, true, true, true);
}
void CDocivaOCXCtrl::ViewThumb9() {
    viewerOperation([&] { canvas_.ViewThumb9(); return 0; }, true, true, true, true);
}
void CDocivaOCXCtrl::NormalView() {
    viewerOperation([&] { canvas_.NormalView(); return 0; }, false, true, false, true);
}
void CDocivaOCXCtrl::FullView() {
    viewerOperation([&] { canvas_.FullView(); return 0; }, false, true, false, true);
}
std::int16_t CDocivaOCXCtrl::ZoomOut() {
    return viewerOperation([&] { return canvas_.ZoomOut(); }, false, true, false, true);
}
std::int16_t CDocivaOCXCtrl::ZoomIn() {
    return viewerOperation([&] { return canvas_.ZoomIn(); }, false, true, false, true);
}
std::int16_t CDocivaOCXCtrl::GoFirstPage() {
    return viewerOperation([&] { canvas_.GoFirstPage(); return 0; }, true, true, false, true);
}
std::int16_t CDocivaOCXCtrl::GoPrevPage() {
    return viewerOperation([&] { return canvas_.GoPrevPage(); }, true, true, false, true);
}
std::int16_t CDocivaOCXCtrl::GoNextPage() {
    return viewerOperation([&] { return canvas_.GoNextPage(); }, true, true, false, true);
}
std::int16_t CDocivaOCXCtrl::GoLastPage() {
    return viewerOperation([&] { canvas_.GoLastPage(); return 0; }, true, true, false, true);
}
std::int16_t CDocivaOCXCtrl::DeleteImage() {
    if (isScanning_.load()) return 0;
    const auto result = static_cast<std::int16_t>(canvas_.DeleteImage());
    if (result == 0) {
        reportNavigationStatus();
        reportZoomViewStatus();
        reportUndoStatus();
        reportCutStatus();
    }
    return result;
}
std::int16_t CDocivaOCXCtrl::RotateLeft() {
    return viewerOperation([&] { return canvas_.RotateLeft(); }, false, false, true, false);
}
std::int16_t CDocivaOCXCtrl::Rotate() {
    return viewerOperation([&] { return canvas_.Rotate(); }, false, false, true, false);
}
std::int16_t CDocivaOCXCtrl::RotateRight() {
    return viewerOperation([&] { return canvas_.RotateRight(); }, false, false, true, false);
}
std::int16_t CDocivaOCXCtrl::Cut() {
    return viewerOperation([&] { return canvas_.Cut(); }, false, false, true, false);
}
std::int16_t CDocivaOCXCtrl::Flip() {
    return viewerOperation([&] { return canvas_.Flip(); }, false, false, true, false);
}
std::int16_t CDocivaOCXCtrl::Mirror() {
    return viewerOperation([&] { return canvas_.Mirror(); }, false, false, true, false);
}
std::int16_t CDocivaOCXCtrl::Undo() {
    return viewerOperation([&] { return canvas_.Undo(); }, false, false, true, false);
}

std::int16_t CDocivaOCXCtrl::GetFileCount() const {
    return static_cast<std::int16_t>(canvas_.GetFileCount());
}

bool CDocivaOCXCtrl::addScannedImageResult(const ImageReadyRecord& record) {
    if (imageTurn_) imageTurn_(false);
    const std::int32_t format = policy_.formatFromFileName ? DOCIVA_FORMAT_BY_EXTENSION : record.formatCode;
    const bool added = canvas_.AddImage(text::view(record.filePath), format);
    if (port_) port_->send(WM_VIEWER_CHANGED, 0, 0);
    if (imageTurn_) imageTurn_(true);
    return added;
}

int CDocivaOCXCtrl::ViewerChangedCallback(void* context) {
    auto* control = static_cast<CDocivaOCXCtrl*>(context);
    if (!control) return 0;
    control->reportAllButtonStatus();
    return 1;
}
