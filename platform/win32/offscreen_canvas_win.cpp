#include "platform/offscreen_canvas.h"

#include "platform/win32/canvas_gdi_win.h"

namespace platform {

std::unique_ptr<OffscreenCanvas> createOffscreenCanvas(int width, int height) {
    return win32::GdiCanvas::create(width, height);
}

}  // namespace platform
