// Paints a CImageViewer onto a canvas the size of its client area: the
// single view at its zoom level with the caption and the crop rectangle,
// or a grid of thumbnails with the current document's cell marked.
//
// Thread safety: holds the viewer's lock for the whole paint, so a file
// added meanwhile by the request pool's worker shows on the next paint.
#pragma once

#include <string>
#include <vector>

#include "platform/canvas.h"
#include "viewer/image_viewer.h"

// Colours of the drawing.
inline constexpr platform::CanvasColour kViewerBackground{200, 200, 200, 255};
inline constexpr platform::CanvasColour kCellBackground{230, 230, 230, 255};
inline constexpr platform::CanvasColour kCurrentCellBackground{175, 175, 175, 255};
inline constexpr platform::CanvasColour kCaptionBackground{220, 115, 10, 220};

// A tooltip tool: the pointer over rect shows text.
struct ViewerTooltip {
    ViewerRect rect;
    std::u16string text;
};

struct ViewerPaintResult {
    // Where the caption was drawn (empty when there is none).
    ViewerRect caption;
    // The crop rectangle as drawn (empty when there is none).
    ViewerRect crop;
    // One tool per cell that shows a page, over the cell, with the page's
    // path. They replace the tools of the previous paint.
    std::vector<ViewerTooltip> tooltips;
};

// The viewer's client size must be the canvas's (SetClientSize).
ViewerPaintResult PaintViewer(CImageViewer& viewer, platform::Canvas& canvas);

// The rectangle drawer: draws image scaled into target, only the part
// inside the canvas's clip box; 1:1 when the sizes match.
void DrawImageRect(platform::Canvas& canvas, TI_IMAGE image, const ViewerRect& target);

// The toolkit's interpolation for shrinking by ratioX x ratioY (image size
// over target size): area averaging once the picture shrinks noticeably,
// else bilinear.
int ResizeInterpolation(double ratioX, double ratioY);

// The caption of the single view: the quoted path, or in page mode the
// page number and count before it.
std::u16string ViewerCaption(bool pageMode, int page, int pageCount, std::u16string_view path);

// The eight sizing handles of a crop rectangle (corners, then edge
// middles), inside the rectangle, at the process's handle size
// (CQixRectTracker::ProcessHandleSize), whether shown or not.
std::vector<ViewerRect> CropHandles(const ViewerRect& rect);
