// CViewConvasDlg: the child dialog that hosts the viewer inside the
// control. Every viewer operation of the control goes through one of its
// forwarders.
//
// Thread safety: the window thread, except AddImage (any thread).
#pragma once

#include <string_view>

#include "viewer/image_viewer.h"

class CViewConvasDlg {
public:
    explicit CViewConvasDlg(const CMultiPDF* pdf = &CMultiPDF::instance()) : viewer_(pdf) {}

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

private:
    CImageViewer viewer_;
};
