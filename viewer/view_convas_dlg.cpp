#include "viewer/view_convas_dlg.h"

CViewConvasDlg::CViewConvasDlg(const CMultiPDF* pdf) : viewer_(pdf) {}

CViewConvasDlg::~CViewConvasDlg() {
    // Waits for a redraw running on another thread (it holds the viewer's
    // lock) and stops further ones from reaching this window.
    viewer_.SetRedrawCallback(nullptr);
}

bool CViewConvasDlg::Create() {
    if (canvas_) return true;
    canvas_ = platform::createOffscreenCanvas(kViewerWidth, kViewerHeight);
    if (!canvas_) return false;
    viewer_.SetRedrawCallback([this] { dirty_.store(true); });
    OnInitDialog();
    dirty_.store(true);
    return true;
}

bool CViewConvasDlg::Resize(int width, int height) {
    if (!canvas_ || width <= 0 || height <= 0) return false;
    if (width == width_ && height == height_) return true;
    auto canvas = platform::createOffscreenCanvas(width, height);
    if (!canvas) return false;
    canvas_ = std::move(canvas);
    width_ = width;
    height_ = height;
    viewer_.SetClientSize(width, height);
    dirty_.store(true);
    return true;
}

const platform::OffscreenCanvas* CViewConvasDlg::Paint() {
    if (!canvas_) return nullptr;
    // Cleared before painting: a redraw asked for meanwhile (a file added
    // on the pool's thread) makes the next Paint draw again.
    if (dirty_.exchange(false)) {
        ViewerPaintResult result = PaintViewer(viewer_, *canvas_);
        tooltips_ = std::move(result.tooltips);
    }
    return canvas_.get();
}

bool CViewConvasDlg::SavePicture(std::u16string_view path) {
    const platform::OffscreenCanvas* canvas = Paint();
    return canvas && canvas->savePng(path);
}
