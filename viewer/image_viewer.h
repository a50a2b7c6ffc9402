// CImageViewer: every file written since the control was made, shown one
// page at a time or as grids of 4 or 9, with three zoom steps, paging by
// screens, and the edits (rotate, flip, mirror, crop, undo, delete) that
// are written back to the file at once.
//
// The viewer is headless: the window that hosts it hands it mouse events
// and its client size, and is asked to repaint through the redraw
// callback. Results follow the viewer's codes: 0 done, -1 not possible
// now, 1 at the first or last screen (or nothing to delete), 3 while
// another delete or crop runs. An edit (rotate, flip, mirror, crop, undo,
// delete) whose document cannot be written back - a full disk, a folder
// that takes no change - gives kEditNotWritten (-1) and changes nothing:
// the file, the view and the undo image stay as they were.
//
// Thread safety: files may be added from any thread (the request pool's
// worker) while the window thread edits and navigates; every public
// operation takes the viewer's lock, and a file is decoded before the lock
// is taken. Callbacks run under the lock on the calling thread.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "output/multi_pdf.h"
#include "platform/canvas.h"
#include "viewer/document_writer.h"
#include "viewer/jpeg_page_edit.h"
#include "viewer/rect_tracker.h"
#include "viewer/viewer_document.h"

// One cell of the screen: the item it shows (-1 none), its rectangle and
// where its picture lies.
struct ViewerCell {
    int item = -1;
    ViewerRect cell;
    ViewerRect image;
    bool selected = false;
};

// The result of an edit that could not be written back.
inline constexpr int kEditNotWritten = -1;

enum ViewMode : int { kViewSingle = 1, kViewGrid4 = 4, kViewGrid9 = 9 };
enum MouseMode : int { kMouseNone = 0, kMouseCrop = 1, kMouseDrag = 2 };
// What of the crop rectangle lies under a point: 0 to 7 one of its sizing
// handles (in the order of CropHandles and CQixRectTracker::Hit), or one
// of these.
enum CropHit : int { kCropHitOutside = CQixRectTracker::kHitNothing, kCropHitInside = CQixRectTracker::kHitMiddle };

inline constexpr int kViewerWidth = 665;
inline constexpr int kViewerHeight = 800;

class CImageViewer {
public:
    using PageModeCallback = void (*)(void* user);

    // pdf: the PDF library used for PDF files (none: PDFs are not shown).
    explicit CImageViewer(const CMultiPDF* pdf = &CMultiPDF::instance());
    ~CImageViewer();
    CImageViewer(const CImageViewer&) = delete;
    CImageViewer& operator=(const CImageViewer&) = delete;

    // ---- the control's operations ----
    bool AddImage(std::u16string_view path, int formatCode);
    void SetViewMode(int mode);
    void NormalView();
    void FullView();
    int ZoomIn();
    int ZoomOut();
    int GoFirstPage();
    int GoPrevPage();
    int GoNextPage();
    int GoLastPage();
    // 0 done, 1 nothing to delete, 3 busy, kEditNotWritten.
    int DeleteImage();
    // angle 90 (left), 180 or 270 (right). 0 done, -1 not possible (no
    // page, or the edit could not be written).
    int Rotate(int angle);
    int Flip();
    int Mirror();
    // 0, or kEditNotWritten when the crop could not be written.
    int Cut();
    // 0 (also when there is nothing to undo), or kEditNotWritten.
    int Undo();

    // ---- button states ----
    int GetFileCount() const;
    int ScreenCount() const;
    int CurrentScreen() const;
    int GetZoomLevel() const;
    int GetViewMode() const;
    bool UndoAvailable() const;

    void SetPageModeCallback(PageModeCallback callback, void* user);
    // Asked to repaint the window.
    void SetRedrawCallback(std::function<void()> redraw);

    // ---- window ----
    void SetClientSize(int width, int height);
    void OnMouseMove(ViewerPoint p, bool leftHeld);
    void OnLButtonDown(ViewerPoint p);
    void OnLButtonUp(ViewerPoint p);
    void OnLButtonDblClk(ViewerPoint p);
    void OnMouseLeave();

    // The cells of the screen as they are to be painted. Painting a grid
    // ends page mode, so this does too in a grid view.
    std::vector<ViewerCell> LayoutCells();

    // ---- state, for the window and for tests ----
    int CurrentDocumentIndex() const;
    int CurrentPageIndex() const;
    int PageCount(int document) const;
    bool InPageMode() const;
    int GetMouseMode() const;
    ViewerRect CropRect() const;
    void SetCropRect(const ViewerRect& rect);
    // The crop rectangle as it is shown: clipped to the picture, empty
    // outside mouse mode 1.
    ViewerRect ShownCropRect() const;
    // What a button press at p would grab (CropHit, or a handle 0 to 7).
    int CropHitTest(ViewerPoint p) const;
    // The pointer's shape at p, from what a press there would grab.
    ViewerCursor CursorAt(ViewerPoint p) const;
    // Draws the crop rectangle as it is shown (ShownCropRect) and returns
    // it; nothing outside mouse mode 1.
    ViewerRect DrawCropRect(platform::Canvas& canvas) const;
    // The rectangle the single view's picture is drawn in at zoom level 0.
    ViewerRect SingleImageRect() const;
    int FirstItemOnScreen() const;
    int FormatCode(int document) const;
    ViewerPoint ScrollOrigin() const;
    ViewerPoint PendingDrag() const;
    // Runs f with the document under the lock (null when out of range).
    void WithDocument(int document, const std::function<void(ViewerDocument*)>& f);

private:
    using Lock = std::lock_guard<std::recursive_mutex>;

    std::unique_ptr<ViewerDocument> LoadImageDocument(std::u16string_view path, int formatCode) const;
    std::unique_ptr<ViewerDocument> LoadPdfDocument(std::u16string_view path) const;

    ViewerDocument* CurrentDocument() const;
    CImageViewObj* ShownPage() const;
    CImageViewObj* CurrentEditPage() const;
    int ItemCount() const;
    int CurrentItem() const;
    void MoveTo(int item, bool resetNewDocument);
    void UpdateFirstItem();
    bool SetZoom(int level);
    void Redraw();
    void ReleaseUndo();
    // Ends an edit: the page is written back and redrawn, and the old full
    // image becomes the undo image. When the write fails the page gets its
    // old image back and the result is kEditNotWritten.
    int FinishEdit(CImageViewObj& page, ScopedImage previous, const TI_IMAGE_INFO& oldInfo);
    // A turn of a one-page JPEG document done on its file's data
    // (jpeg_page_edit.h); NotJpeg when the pixel path must do it.
    jpeg_edit::Outcome TurnJpeg(jpeg_lossless::Turn turn, int& result);
    void ApplyCrop();
    RewriteResult Rewrite(ViewerDocument& document);

    mutable std::recursive_mutex mutex_;
    const CMultiPDF* pdf_;
    std::vector<std::unique_ptr<ViewerDocument>> documents_;
    int viewMode_ = kViewSingle;
    int current_ = -1;
    int firstItem_ = 0;
    int busy_ = 0;
    bool tracking_ = false;
    ViewerPoint buttonDownPoint_;
    bool buttonDown_ = false;
    // The crop rectangle and its track, clipped to SingleImageRect()
    // wherever it is shown.
    CQixRectTracker cropTracker_;
    std::vector<ViewerCell> cells_;
    int zoomLevel_ = kZoomFit;
    int mouseMode_ = kMouseNone;
    ViewerRect zoomCanvas_;
    ViewerPoint scrollOrigin_;
    ViewerPoint pendingDrag_;
    ScopedImage undo_;
    // The undo of a lossless JPEG edit (the file as it was); at most one of
    // undo_ and jpegUndo_ is held.
    jpeg_edit::Undo jpegUndo_;
    // What the last crop step's write gave (FinishEdit's result).
    int cropResult_ = 0;
    bool pageMode_ = false;
    PageModeCallback pageModeCallback_ = nullptr;
    void* pageModeUser_ = nullptr;
    std::function<void()> redraw_;
    int clientWidth_ = kViewerWidth;
    int clientHeight_ = kViewerHeight;
};

// The format code of a file from its extension (case ignored); TIFF files
// of two pages or more are multi-page TIFF (8). -1 when unknown.
int formatCodeFromExtension(std::u16string_view path);
