#include "viewer/viewer_painter.h"

#include <algorithm>
#include <cmath>

#include "platform/text.h"

namespace {

ViewerRect fromCanvas(const platform::CanvasRect& r) { return {r.left, r.top, r.right, r.bottom}; }

// The image's rows as the canvas takes them; data null when the image has
// no pixels to give (a toolkit without the export, a failed decode).
platform::CanvasPixels pixelsOf(TI_IMAGE image, const TI_IMAGE_INFO& info) {
    platform::CanvasPixels pixels;
    if (!info.data || info.width <= 0 || info.height <= 0) return pixels;
    pixels.data = info.data;
    pixels.width = info.width;
    pixels.height = info.height;
    pixels.stride = info.stride;
    pixels.bytesPerPixel = info.pixelFormat;
    pixels.topDown = timage::ti_DataIsTopdown(image) == 1;
    return pixels;
}

void drawCaption(platform::Canvas& canvas, ViewerPaintResult& result, int x, int y, const std::u16string& caption,
                 const ViewerRect& bounds) {
    platform::CanvasTextStyle style;
    style.font = u"Arial Unicode MS";
    style.pixelHeight = 12;
    style.bold = true;
    style.colour = {255, 255, 255, 255};
    style.background = kCaptionBackground;
    result.caption = fromCanvas(canvas.drawText(x, y, caption, style, (bounds)));
}

void paintSingle(CImageViewer& viewer, platform::Canvas& canvas, ViewerPaintResult& result, const ViewerRect& area,
                 ViewerDocument* document) {
    canvas.fillRect(area, kCellBackground);
    if (!document || document->pages.empty()) return;
    const bool pageMode = viewer.InPageMode();
    CImageViewObj* page = pageMode ? document->current() : document->pages.front().get();
    if (!page) return;
    result.tooltips.push_back({area, page->Path()});
    const int level = viewer.GetZoomLevel();
    TI_IMAGE image = page->ImageAt(level);
    if (!image) return;
    const TI_IMAGE_INFO info = imageInfo(image);
    const platform::CanvasPixels pixels = pixelsOf(image, info);

    int x = area.left;
    int y = area.top;
    if (level == kZoomFit) {
        const ViewerRect rect = viewer.SingleImageRect();
        x = rect.left;
        y = rect.top;
        canvas.blit(x, y, pixels, 0, 0, std::min(info.width, area.width()), std::min(info.height, area.height()));
    } else {
        const ViewerPoint scroll = viewer.ScrollOrigin();
        const ViewerPoint drag = viewer.PendingDrag();
        const int sx = std::clamp(scroll.x + drag.x, 0, std::max(0, info.width - area.width()));
        const int sy = std::clamp(scroll.y + drag.y, 0, std::max(0, info.height - area.height()));
        canvas.blit(x, y, pixels, sx, sy, std::min(info.width, area.width()), std::min(info.height, area.height()));
    }

    const std::u16string caption = ViewerCaption(pageMode, document->currentPage + 1,
                                                 static_cast<int>(document->pages.size()), page->Path());
    drawCaption(canvas, result, x, y, caption, area);

    result.crop = viewer.DrawCropRect(canvas);
}

void paintGrid(CImageViewer& viewer, platform::Canvas& canvas, ViewerPaintResult& result,
               const std::vector<ViewerCell>& cells) {
    const int current = viewer.CurrentDocumentIndex();
    for (const ViewerCell& cell : cells) {
        const bool isCurrent = cell.item >= 0 && cell.item == current;
        canvas.fillRect(cell.cell, isCurrent ? kCurrentCellBackground : kCellBackground);
        if (cell.item < 0) continue;
        viewer.WithDocument(cell.item, [&](ViewerDocument* document) {
            if (!document || document->pages.empty()) return;
            const CImageViewObj& page = *document->pages.front();
            result.tooltips.push_back({cell.cell, page.Path()});
            if (!cell.image.empty()) DrawImageRect(canvas, page.DisplayImage(), cell.image);
        });
    }
}

}  // namespace

int ResizeInterpolation(double ratioX, double ratioY) {
    return ratioX + ratioY > 2.01 ? TI_INTER_AREA : TI_INTER_LINEAR;
}

std::u16string ViewerCaption(bool pageMode, int page, int pageCount, std::u16string_view path) {
    if (pageMode) return text::format(u"%d/%d of \"%s\"", page, pageCount, path);
    return text::format(u"\"%s\"", path);
}

std::vector<ViewerRect> CropHandles(const ViewerRect& rect) {
    const auto handles = CQixRectTracker::HandleRectsOf(rect, CQixRectTracker::ProcessHandleSize());
    return {handles.begin(), handles.end()};
}

void DrawImageRect(platform::Canvas& canvas, TI_IMAGE image, const ViewerRect& target) {
    if (!image || target.empty()) return;
    const platform::CanvasRect clip = canvas.clipBox();
    const ViewerRect visible = target.intersect({clip.left, clip.top, clip.right, clip.bottom});
    if (visible.empty()) return;
    const TI_IMAGE_INFO info = imageInfo(image);
    if (info.width <= 0 || info.height <= 0) return;
    if (target.width() == info.width && target.height() == info.height) {
        canvas.blit(visible.left, visible.top, pixelsOf(image, info), visible.left - target.left,
                    visible.top - target.top, visible.width(), visible.height());
        return;
    }
    const double rx = static_cast<double>(info.width) / target.width();
    const double ry = static_cast<double>(info.height) / target.height();
    auto map = [](int offset, double ratio, int limit) {
        return std::clamp(static_cast<int>(std::floor(offset * ratio + 0.5)), 0, limit);
    };
    const int sl = map(visible.left - target.left, rx, info.width);
    const int st = map(visible.top - target.top, ry, info.height);
    const int sr = map(visible.right - target.left, rx, info.width);
    const int sb = map(visible.bottom - target.top, ry, info.height);
    if (sr <= sl || sb <= st) return;
    ScopedImage part(timage::ti_CreateImage(visible.width(), visible.height(), info.pixelFormat));
    if (!part) return;
    const TI_RECT source{sl, st, sr - sl, sb - st};
    if (timage::ti_ResizeRect(image, &source, part.get(), nullptr, ResizeInterpolation(rx, ry)) != TI_OK) return;
    const TI_IMAGE_INFO partInfo = imageInfo(part.get());
    canvas.blit(visible.left, visible.top, pixelsOf(part.get(), partInfo), 0, 0, visible.width(), visible.height());
}

ViewerPaintResult PaintViewer(CImageViewer& viewer, platform::Canvas& canvas) {
    ViewerPaintResult result;
    canvas.fillRect({0, 0, canvas.width(), canvas.height()}, kViewerBackground);
    // The lock is held throughout (it is recursive), so the cells, the
    // current document and its images belong to one state of the viewer.
    viewer.WithDocument(-1, [&](ViewerDocument*) {
        const std::vector<ViewerCell> cells = viewer.LayoutCells();
        if (viewer.GetViewMode() == kViewSingle) {
            if (cells.empty()) return;
            viewer.WithDocument(viewer.CurrentDocumentIndex(), [&](ViewerDocument* document) {
                paintSingle(viewer, canvas, result, cells.front().cell, document);
            });
        } else {
            paintGrid(viewer, canvas, result, cells);
        }
    });
    return result;
}
