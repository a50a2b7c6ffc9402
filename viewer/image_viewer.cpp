#include "viewer/image_viewer.h"

#include <algorithm>
#include <cmath>

#include "platform/file_writer.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/system.h"
#include "platform/text.h"
#include "viewer/document_writer.h"

namespace {

constexpr int kMargin = 2;

int gridColumns(int mode) { return mode == kViewGrid9 ? 3 : 2; }

}  // namespace

int formatCodeFromExtension(std::u16string_view path) {
    const std::u16string ext = platform::extensionOf(path);
    auto is = [&](std::u16string_view e) { return text::equalsIgnoreAsciiCase(ext, e); };
    if (is(u".bmp")) return DOCIVA_FORMAT_BMP_BY_NAME;
    if (is(u".jpg") || is(u".jpeg")) return DOCIVA_FORMAT_JPEG;
    if (is(u".pdf")) return DOCIVA_FORMAT_PDF;
    if (is(u".tiff") || is(u".tif")) {
        const std::u16string zpath(path);
        TI_FILE_INFO info{};
        info.size = static_cast<int32_t>(sizeof(info));
        if (timage::ti_GetImageInfo(zpath.c_str(), &info) == TI_OK && info.pageCount >= 2) return DOCIVA_FORMAT_MULTI_TIFF;
        return DOCIVA_FORMAT_TIFF;
    }
    if (is(u".png")) return DOCIVA_FORMAT_PNG;
    if (is(u".gif")) return DOCIVA_FORMAT_GIF;
    if (is(u".jb2")) return DOCIVA_FORMAT_JB2;
    return DOCIVA_FORMAT_BY_EXTENSION;
}

CImageViewer::CImageViewer(const CMultiPDF* pdf) : pdf_(pdf) {}

CImageViewer::~CImageViewer() = default;

// ---- adding files --------------------------------------------------------

std::unique_ptr<ViewerDocument> CImageViewer::LoadImageDocument(std::u16string_view path, int formatCode) const {
    const std::u16string zpath(path);
    {
        // The file must open as an image before its pages are counted.
        ScopedImage probe(timage::ti_LoadImage(zpath.c_str()));
        if (!probe) return nullptr;
    }
    TI_FILE_INFO info{};
    info.size = static_cast<int32_t>(sizeof(info));
    const int pages = timage::ti_GetImageInfo(zpath.c_str(), &info) == TI_OK ? info.pageCount : 0;
    auto document = std::make_unique<ViewerDocument>();
    for (int i = 0; i < pages; ++i) {
        auto page = std::make_unique<CImageViewObj>(pdf_);
        if (page->Open(zpath, kDisplayBoxWidth, kDisplayBoxHeight, i)) document->pages.push_back(std::move(page));
    }
    if (document->pages.empty()) return nullptr;
    document->formatCode = formatCode;
    return document;
}

std::unique_ptr<ViewerDocument> CImageViewer::LoadPdfDocument(std::u16string_view path) const {
    if (!pdf_) return nullptr;
    const std::u16string zpath(path);
    int pages = 0;
    {
        CMultiPDF::Document object = pdf_->CreateIF();
        if (!object || object.open(zpath.c_str()) != 0) return nullptr;
        pages = object.pageCount();
    }
    if (pages <= 0) return nullptr;
    auto document = std::make_unique<ViewerDocument>();
    for (int i = 0; i < pages; ++i) {
        auto page = std::make_unique<CImageViewObj>(pdf_);
        if (page->Open(zpath, kDisplayBoxWidth, kDisplayBoxHeight, i)) document->pages.push_back(std::move(page));
    }
    if (document->pages.empty()) return nullptr;
    document->formatCode = pages < 2 ? DOCIVA_FORMAT_PDF : DOCIVA_FORMAT_MULTI_PDF;
    return document;
}

bool CImageViewer::AddImage(std::u16string_view path, int formatCode) {
    // A path cut to fit would name some other file, which a later edit or
    // delete would then act on: such a file is refused, never shortened.
    if (path.size() > platform::kMaxPathUnits) {
        platform::debugOutput(u"AddImage: the path is longer than 259 units, the file is left out: " +
                              std::u16string(path) + u"\n");
        return false;
    }
    // Temporary files that a writer killed in this folder left behind go
    // first (only names that prove to be ours, of processes that ended).
    platform::removeStaleTemporaries(platform::folderOf(path));
    if (formatCode == DOCIVA_FORMAT_BY_EXTENSION) formatCode = formatCodeFromExtension(path);
    // Decoding takes long and needs no lock: the window thread goes on
    // meanwhile.
    std::unique_ptr<ViewerDocument> document =
        (formatCode == DOCIVA_FORMAT_PDF || formatCode == DOCIVA_FORMAT_MULTI_PDF) ? LoadPdfDocument(path) : LoadImageDocument(path, formatCode);
    if (!document) return false;
    Lock lock(mutex_);
    documents_.push_back(std::move(document));
    current_ = static_cast<int>(documents_.size()) - 1;
    zoomLevel_ = kZoomFit;
    UpdateFirstItem();
    Redraw();
    return true;
}

// ---- state ---------------------------------------------------------------

ViewerDocument* CImageViewer::CurrentDocument() const {
    if (current_ < 0 || current_ >= static_cast<int>(documents_.size())) return nullptr;
    return documents_[static_cast<std::size_t>(current_)].get();
}

CImageViewObj* CImageViewer::ShownPage() const {
    ViewerDocument* document = CurrentDocument();
    if (!document || document->pages.empty()) return nullptr;
    if (pageMode_) return document->current();
    return document->pages.front().get();
}

CImageViewObj* CImageViewer::CurrentEditPage() const {
    ViewerDocument* document = CurrentDocument();
    return document ? document->current() : nullptr;
}

int CImageViewer::ItemCount() const {
    if (pageMode_) {
        const ViewerDocument* document = CurrentDocument();
        return document ? static_cast<int>(document->pages.size()) : 0;
    }
    return static_cast<int>(documents_.size());
}

int CImageViewer::CurrentItem() const {
    if (pageMode_) {
        const ViewerDocument* document = CurrentDocument();
        return document ? document->currentPage : -1;
    }
    return current_;
}

void CImageViewer::UpdateFirstItem() {
    const int item = CurrentItem();
    firstItem_ = item < 0 ? 0 : item - item % viewMode_;
}

void CImageViewer::Redraw() {
    if (redraw_) redraw_();
}

void CImageViewer::ReleaseUndo() {
    undo_.reset();
    jpegUndo_ = {};
}

int CImageViewer::GetFileCount() const {
    Lock lock(mutex_);
    return static_cast<int>(documents_.size());
}

int CImageViewer::ScreenCount() const {
    Lock lock(mutex_);
    const int items = ItemCount();
    if (items <= 0) return 0;
    if (viewMode_ == kViewSingle) return items;
    return (items - 1) / viewMode_ + 1;
}

int CImageViewer::CurrentScreen() const {
    Lock lock(mutex_);
    const int item = CurrentItem();
    if (item < 0 || item >= ItemCount()) return 0;
    return item / viewMode_;
}

int CImageViewer::GetZoomLevel() const {
    Lock lock(mutex_);
    return zoomLevel_;
}

int CImageViewer::GetViewMode() const {
    Lock lock(mutex_);
    return viewMode_;
}

bool CImageViewer::UndoAvailable() const {
    Lock lock(mutex_);
    return static_cast<bool>(undo_) || static_cast<bool>(jpegUndo_);
}

int CImageViewer::CurrentDocumentIndex() const {
    Lock lock(mutex_);
    return current_;
}

int CImageViewer::CurrentPageIndex() const {
    Lock lock(mutex_);
    const ViewerDocument* document = CurrentDocument();
    return document ? document->currentPage : -1;
}

int CImageViewer::PageCount(int document) const {
    Lock lock(mutex_);
    if (document < 0 || document >= static_cast<int>(documents_.size())) return 0;
    return static_cast<int>(documents_[static_cast<std::size_t>(document)]->pages.size());
}

int CImageViewer::FormatCode(int document) const {
    Lock lock(mutex_);
    if (document < 0 || document >= static_cast<int>(documents_.size())) return -1;
    return documents_[static_cast<std::size_t>(document)]->formatCode;
}

bool CImageViewer::InPageMode() const {
    Lock lock(mutex_);
    return pageMode_;
}

int CImageViewer::GetMouseMode() const {
    Lock lock(mutex_);
    return mouseMode_;
}

ViewerRect CImageViewer::CropRect() const {
    Lock lock(mutex_);
    return cropTracker_.Rect();
}

void CImageViewer::SetCropRect(const ViewerRect& rect) {
    Lock lock(mutex_);
    cropTracker_.SetRect(rect.normalized());
}

ViewerRect CImageViewer::ShownCropRect() const {
    Lock lock(mutex_);
    if (mouseMode_ != kMouseCrop) return {};
    return cropTracker_.ShownRect(SingleImageRect());
}

int CImageViewer::CropHitTest(ViewerPoint p) const {
    Lock lock(mutex_);
    if (mouseMode_ != kMouseCrop) return kCropHitOutside;
    return cropTracker_.HitTest(p, SingleImageRect());
}

ViewerCursor CImageViewer::CursorAt(ViewerPoint p) const { return CQixRectTracker::CursorFor(CropHitTest(p)); }

ViewerRect CImageViewer::DrawCropRect(platform::Canvas& canvas) const {
    Lock lock(mutex_);
    if (mouseMode_ != kMouseCrop) return {};
    return cropTracker_.Draw(canvas, SingleImageRect());
}

int CImageViewer::FirstItemOnScreen() const {
    Lock lock(mutex_);
    return firstItem_;
}

ViewerPoint CImageViewer::ScrollOrigin() const {
    Lock lock(mutex_);
    return scrollOrigin_;
}

ViewerPoint CImageViewer::PendingDrag() const {
    Lock lock(mutex_);
    return pendingDrag_;
}

void CImageViewer::WithDocument(int document, const std::function<void(ViewerDocument*)>& f) {
    Lock lock(mutex_);
    f(document >= 0 && document < static_cast<int>(documents_.size())
          ? documents_[static_cast<std::size_t>(document)].get()
          : nullptr);
}

void CImageViewer::SetPageModeCallback(PageModeCallback callback, void* user) {
    Lock lock(mutex_);
    pageModeCallback_ = callback;
    pageModeUser_ = user;
}

void CImageViewer::SetRedrawCallback(std::function<void()> redraw) {
    Lock lock(mutex_);
    redraw_ = std::move(redraw);
}

void CImageViewer::SetClientSize(int width, int height) {
    Lock lock(mutex_);
    clientWidth_ = width;
    clientHeight_ = height;
    Redraw();
}

// ---- layout --------------------------------------------------------------

ViewerRect CImageViewer::SingleImageRect() const {
    Lock lock(mutex_);
    const ViewerRect area{2 * kMargin, 2 * kMargin, clientWidth_ - 2 * kMargin, clientHeight_ - 2 * kMargin};
    CImageViewObj* page = ShownPage();
    if (!page || !page->DisplayImage()) return {};
    const TI_IMAGE_INFO& info = page->Info();
    const int ox = std::max(0, static_cast<int>(std::lround((area.width() - info.width) / 2.0)));
    const int oy = std::max(0, static_cast<int>(std::lround((area.height() - info.height) / 2.0)));
    return {area.left + ox, area.top + oy, area.left + ox + info.width, area.top + oy + info.height};
}

std::vector<ViewerCell> CImageViewer::LayoutCells() {
    Lock lock(mutex_);
    std::vector<ViewerCell> cells;
    if (viewMode_ == kViewSingle) {
        ViewerCell cell;
        cell.cell = {2 * kMargin, 2 * kMargin, clientWidth_ - 2 * kMargin, clientHeight_ - 2 * kMargin};
        if (ShownPage()) {
            cell.item = CurrentItem();
            cell.image = SingleImageRect();
            cell.selected = true;
        }
        cells.push_back(cell);
        cells_ = cells;
        return cells;
    }
    pageMode_ = false;
    UpdateFirstItem();
    const int columns = gridColumns(viewMode_);
    const double w = static_cast<double>(clientWidth_ - 2 * kMargin) / columns;
    const double h = static_cast<double>(clientHeight_ - 2 * kMargin) / columns;
    for (int i = 0; i < viewMode_; ++i) {
        const int r = i / columns;
        const int c = i % columns;
        ViewerCell cell;
        const int x = kMargin + static_cast<int>(std::lround(kMargin + c * w));
        const int y = kMargin + static_cast<int>(std::lround(r * h + kMargin));
        cell.cell = {x, y, x + static_cast<int>(w - 2 * kMargin), y + static_cast<int>(h - 2 * kMargin)};
        const int item = firstItem_ + i;
        if (item < static_cast<int>(documents_.size())) {
            cell.item = item;
            cell.selected = item == current_;
            const ViewerDocument& document = *documents_[static_cast<std::size_t>(item)];
            const TI_IMAGE_INFO& info = document.pages.front()->Info();
            if (info.width > 0 && info.height > 0) {
                const double scale = std::min({1.0, static_cast<double>(cell.cell.width()) / info.width,
                                               static_cast<double>(cell.cell.height()) / info.height});
                const int iw = static_cast<int>(info.width * scale);
                const int ih = static_cast<int>(info.height * scale);
                const int ix = cell.cell.left + (cell.cell.width() - iw) / 2;
                const int iy = cell.cell.top + (cell.cell.height() - ih) / 2;
                cell.image = {ix, iy, ix + iw, iy + ih};
            }
        }
        cells.push_back(cell);
    }
    cells_ = cells;
    return cells;
}

// ---- view mode and zoom --------------------------------------------------

void CImageViewer::SetViewMode(int mode) {
    Lock lock(mutex_);
    if (mode != kViewSingle && mode != kViewGrid4 && mode != kViewGrid9) return;
    viewMode_ = mode;
    if (mode != kViewSingle) pageMode_ = false;
    cropTracker_.Reset();
    mouseMode_ = kMouseNone;
    zoomLevel_ = kZoomFit;
    UpdateFirstItem();
    Redraw();
}

bool CImageViewer::SetZoom(int level) {
    CImageViewObj* page = ShownPage();
    TI_IMAGE image = page ? page->ImageAt(level) : nullptr;
    if (!image) return false;
    const TI_IMAGE_INFO info = imageInfo(image);
    zoomCanvas_ = {0, 0, info.width, info.height};
    scrollOrigin_ = {};
    pendingDrag_ = {};
    zoomLevel_ = level;
    return true;
}

void CImageViewer::NormalView() {
    Lock lock(mutex_);
    if (SetZoom(kZoomActual)) mouseMode_ = kMouseDrag;
    Redraw();
}

void CImageViewer::FullView() {
    Lock lock(mutex_);
    if (SetZoom(kZoomFit)) mouseMode_ = kMouseNone;
    Redraw();
}

int CImageViewer::ZoomIn() {
    Lock lock(mutex_);
    if (viewMode_ != kViewSingle || zoomLevel_ >= kZoomActual) return -1;
    if (!SetZoom(zoomLevel_ + 1)) return -1;
    mouseMode_ = kMouseDrag;
    Redraw();
    return zoomLevel_;
}

int CImageViewer::ZoomOut() {
    Lock lock(mutex_);
    if (viewMode_ != kViewSingle || zoomLevel_ <= kZoomFit) return -1;
    if (!SetZoom(zoomLevel_ - 1)) return -1;
    mouseMode_ = zoomLevel_ > kZoomFit ? kMouseDrag : kMouseNone;
    Redraw();
    return zoomLevel_;
}

// ---- navigation ----------------------------------------------------------

void CImageViewer::MoveTo(int item, bool resetNewDocument) {
    ViewerDocument* before = CurrentDocument();
    if (pageMode_) {
        before->currentPage = item;
    } else {
        current_ = item;
        ViewerDocument* after = CurrentDocument();
        if (resetNewDocument) {
            if (after) after->currentPage = 0;
        } else if (before) {
            before->currentPage = 0;
        }
    }
    UpdateFirstItem();
    Redraw();
}

int CImageViewer::GoFirstPage() {
    Lock lock(mutex_);
    if (!CurrentDocument()) return -1;
    ReleaseUndo();
    zoomLevel_ = kZoomFit;
    MoveTo(0, false);
    return 0;
}

int CImageViewer::GoPrevPage() {
    Lock lock(mutex_);
    if (!CurrentDocument()) return -1;
    ReleaseUndo();
    zoomLevel_ = kZoomFit;
    const int screen = CurrentItem() / viewMode_;
    if (screen <= 0) return 1;
    MoveTo((screen - 1) * viewMode_, true);
    return screen - 1 == 0 ? 1 : 0;
}

int CImageViewer::GoNextPage() {
    Lock lock(mutex_);
    if (!CurrentDocument()) return -1;
    ReleaseUndo();
    zoomLevel_ = kZoomFit;
    const int screen = CurrentItem() / viewMode_;
    const int last = (ItemCount() - 1) / viewMode_;
    if (screen >= last) return 1;
    MoveTo((screen + 1) * viewMode_, true);
    return screen + 1 == last ? 1 : 0;
}

int CImageViewer::GoLastPage() {
    Lock lock(mutex_);
    if (!CurrentDocument()) return -1;
    ReleaseUndo();
    zoomLevel_ = kZoomFit;
    const int target = viewMode_ * ((ItemCount() - 1) / viewMode_);
    if (CurrentItem() / viewMode_ != target / viewMode_) MoveTo(target, false);
    return 0;
}

// ---- editing -------------------------------------------------------------

RewriteResult CImageViewer::Rewrite(ViewerDocument& document) {
    // A write makes the display images of the pages it writes from memory;
    // a document of a kind that is never written keeps its edit in memory,
    // and the view shows it. A failed write is the caller's to take back.
    const RewriteResult result = rewriteDocument(document, pdf_);
    if (result == RewriteResult::NotWritten) {
        if (CImageViewObj* page = document.current(); page && page->HasFullImage()) page->RebuildDisplay();
    }
    return result;
}

int CImageViewer::FinishEdit(CImageViewObj& page, ScopedImage previous, const TI_IMAGE_INFO& oldInfo) {
    timage::ti_SetDpi(page.FullImage(), oldInfo.xDpi, oldInfo.yDpi);
    if (Rewrite(*CurrentDocument()) == RewriteResult::Failed) {
        // The file still holds the page as it was (a full disk, say): so
        // does the view, and the undo image stays the one it was.
        page.ReplaceFullImage(std::move(previous));
        page.RebuildDisplay();
        Redraw();
        return kEditNotWritten;
    }
    undo_ = std::move(previous);
    jpegUndo_ = {};
    Redraw();
    return 0;
}

jpeg_edit::Outcome CImageViewer::TurnJpeg(jpeg_lossless::Turn turn, int& result) {
    ViewerDocument* document = CurrentDocument();
    CImageViewObj* page = CurrentEditPage();
    if (!document || !page || !jpeg_edit::appliesTo(*document)) return jpeg_edit::Outcome::NotJpeg;
    jpeg_edit::Undo undo;
    const jpeg_edit::Outcome outcome = jpeg_edit::turnPage(*page, turn, undo);
    if (outcome == jpeg_edit::Outcome::Written) {
        undo_.reset();
        jpegUndo_ = std::move(undo);
        result = 0;
    } else {
        // The file and the page are as they were; so is the undo.
        result = kEditNotWritten;
    }
    Redraw();
    return outcome;
}

int CImageViewer::Rotate(int angle) {
    Lock lock(mutex_);
    mouseMode_ = kMouseNone;
    if (angle != 90 && angle != 180 && angle != 270) return -1;
    int result = 0;
    const jpeg_lossless::Turn turn = angle == 90    ? jpeg_lossless::Turn::Left
                                     : angle == 180 ? jpeg_lossless::Turn::Half
                                                    : jpeg_lossless::Turn::Right;
    if (TurnJpeg(turn, result) != jpeg_edit::Outcome::NotJpeg) return result;
    CImageViewObj* page = CurrentEditPage();
    TI_IMAGE full = page ? page->FullImage() : nullptr;
    if (!full) return -1;
    const TI_IMAGE_INFO info = imageInfo(full);
    const bool swap = angle != 180;
    ScopedImage rotated(
        timage::ti_CreateImage(swap ? info.height : info.width, swap ? info.width : info.height, info.pixelFormat));
    if (!rotated || timage::ti_Orientate(full, rotated.get(), angle) != TI_OK) return -1;
    ScopedImage previous = page->ReplaceFullImage(std::move(rotated));
    return FinishEdit(*page, std::move(previous), info);
}

int CImageViewer::Flip() {
    Lock lock(mutex_);
    mouseMode_ = kMouseNone;
    int result = 0;
    if (TurnJpeg(jpeg_lossless::Turn::Flip, result) != jpeg_edit::Outcome::NotJpeg) return result;
    CImageViewObj* page = CurrentEditPage();
    TI_IMAGE full = page ? page->FullImage() : nullptr;
    if (!full) return -1;
    const TI_IMAGE_INFO info = imageInfo(full);
    ScopedImage clone(timage::ti_CloneImage(full));
    if (!clone || timage::ti_Flip(clone.get(), full, 0) != TI_OK) return -1;
    return FinishEdit(*page, std::move(clone), info);
}

int CImageViewer::Mirror() {
    Lock lock(mutex_);
    mouseMode_ = kMouseNone;
    int result = 0;
    if (TurnJpeg(jpeg_lossless::Turn::Mirror, result) != jpeg_edit::Outcome::NotJpeg) return result;
    CImageViewObj* page = CurrentEditPage();
    TI_IMAGE full = page ? page->FullImage() : nullptr;
    if (!full) return -1;
    const TI_IMAGE_INFO info = imageInfo(full);
    ScopedImage clone(timage::ti_CloneImage(full));
    if (!clone || timage::ti_Flip(full, full, 1) != TI_OK) return -1;
    return FinishEdit(*page, std::move(clone), info);
}

int CImageViewer::Undo() {
    Lock lock(mutex_);
    CImageViewObj* page = CurrentEditPage();
    if (jpegUndo_ && page) {
        // Nothing undone when the file cannot be written: the undo stays.
        if (!jpeg_edit::restorePage(*page, jpegUndo_)) {
            Redraw();
            return kEditNotWritten;
        }
        jpegUndo_ = {};
        Redraw();
        return 0;
    }
    if (!undo_ || !page) return 0;
    ScopedImage edited = page->ReplaceFullImage(std::move(undo_));
    if (Rewrite(*CurrentDocument()) == RewriteResult::Failed) {
        // Nothing undone: the file, the view and the undo image stay.
        undo_ = page->ReplaceFullImage(std::move(edited));
        page->RebuildDisplay();
        Redraw();
        return kEditNotWritten;
    }
    Redraw();
    return 0;
}

int CImageViewer::Cut() {
    Lock lock(mutex_);
    if (viewMode_ != kViewSingle || (mouseMode_ != kMouseNone && mouseMode_ != kMouseCrop) || !CurrentEditPage())
        return 0;
    if (cropTracker_.Rect().empty() || mouseMode_ == kMouseNone) {
        cropTracker_.SetRect(SingleImageRect());
        mouseMode_ = kMouseCrop;
        Redraw();
        return 0;
    }
    cropResult_ = 0;
    ApplyCrop();
    mouseMode_ = kMouseNone;
    return cropResult_;
}

void CImageViewer::ApplyCrop() {
    if (busy_) return;
    busy_ = 1;
    CImageViewObj* page = CurrentEditPage();
    const ViewerRect image = SingleImageRect();
    const ViewerRect crop = cropTracker_.ShownRect(image);
    const bool hasRect = crop.width() > 0 && crop.height() > 0 && !image.empty();
    // A one-page JPEG is cut on its file's data: only its size is needed,
    // never its pixels.
    std::optional<jpeg_lossless::Layout> jpeg;
    if (hasRect && jpeg_edit::appliesTo(*CurrentDocument())) jpeg = jpeg_edit::layoutOf(*page);
    TI_IMAGE full = (hasRect && !jpeg) ? page->FullImage() : nullptr;
    if (!full && !jpeg) {
        busy_ = 0;
        return;
    }
    TI_IMAGE_INFO info = jpeg ? TI_IMAGE_INFO{} : imageInfo(full);
    if (jpeg) {
        info.width = jpeg->width;
        info.height = jpeg->height;
    }
    // Each edge maps back by the ratio of the image to the picture shown,
    // rounded: the picture's own edges land on the image's, so a rectangle
    // over the whole picture is the whole image and changes nothing (the
    // shown size is itself rounded, and a division by the scale that is
    // then cut off lost the last column).
    const auto toImage = [](int shown, int shownSize, int imageSize) {
        const long v = std::lround(static_cast<double>(shown) * imageSize / shownSize);
        return static_cast<int>(std::clamp<long>(v, 0, imageSize));
    };
    const int left = toImage(crop.left - image.left, image.width(), info.width);
    const int right = toImage(crop.right - image.left, image.width(), info.width);
    const int top = toImage(crop.top - image.top, image.height(), info.height);
    const int bottom = toImage(crop.bottom - image.top, image.height(), info.height);
    const int width = right - left;
    const int height = bottom - top;
    if (jpeg && width > 0 && height > 0 && (width < info.width || height < info.height)) {
        jpeg_edit::Undo undo;
        const jpeg_edit::Outcome outcome = jpeg_edit::cropPage(*page, left, top, width, height, undo);
        if (outcome == jpeg_edit::Outcome::Written) {
            undo_.reset();
            jpegUndo_ = std::move(undo);
        } else {
            cropResult_ = kEditNotWritten;
        }
    } else if (width > 0 && height > 0 && (width < info.width || height < info.height)) {
        ScopedImage cropped(timage::ti_CreateImage(width, height, info.pixelFormat));
        if (cropped && timage::ti_CopyRect(full, cropped.get(), left, top, -1) == TI_OK) {
            ScopedImage previous = page->ReplaceFullImage(std::move(cropped));
            cropResult_ = FinishEdit(*page, std::move(previous), info);
        }
    }
    cropTracker_.SetRect({});
    Redraw();
    busy_ = 0;
}

int CImageViewer::DeleteImage() {
    Lock lock(mutex_);
    mouseMode_ = kMouseNone;
    ViewerDocument* document = CurrentDocument();
    if (!document) return 1;
    if (busy_) return 3;
    busy_ = 1;
    // The undo image goes with a delete; kept aside until the delete is
    // done, for one that cannot be written changes nothing.
    ScopedImage undo = std::move(undo_);
    jpeg_edit::Undo jpegUndo = std::exchange(jpegUndo_, {});
    int result = 0;
    auto removeDocument = [&]() {
        documents_.erase(documents_.begin() + current_);
        if (current_ >= static_cast<int>(documents_.size())) current_ = static_cast<int>(documents_.size()) - 1;
    };
    // A file that is gone is deleted; one still there after the attempt
    // (a folder that takes no change) keeps its document in the view.
    auto removeFile = [](const std::u16string& path) {
        return path.empty() || platform::deleteFile(path) || !platform::pathExists(path);
    };
    if (pageMode_ && document->validPage()) {
        const int at = document->currentPage;
        std::unique_ptr<CImageViewObj> removed = std::move(document->pages[static_cast<std::size_t>(at)]);
        const std::u16string path = removed->Path();
        document->pages.erase(document->pages.begin() + at);
        if (document->currentPage >= static_cast<int>(document->pages.size()))
            document->currentPage = static_cast<int>(document->pages.size()) - 1;
        bool done = true;
        if (!document->pages.empty()) {
            // A lone page is written only from memory, so it is read now,
            // while its index still names it in the file. The writers read
            // every other page by its place in the file and renumber the
            // pages once the file is rewritten; a delete that cannot be
            // written leaves the places as they are, still right.
            if (document->pages.size() == 1) document->pages.front()->FullImage();
            done = Rewrite(*document) != RewriteResult::Failed;
        } else if (removeFile(path)) {
            removeDocument();
            pageMode_ = false;
            document = nullptr;
        } else {
            done = false;
        }
        if (!done) {
            // The file still holds the page: it comes back where it was.
            document->pages.insert(document->pages.begin() + at, std::move(removed));
            document->currentPage = at;
            undo_ = std::move(undo);
            jpegUndo_ = std::move(jpegUndo);
            result = kEditNotWritten;
        }
    } else {
        const std::u16string path = document->pages.empty() ? std::u16string() : document->pages.front()->Path();
        if (removeFile(path)) {
            removeDocument();
        } else {
            undo_ = std::move(undo);
            jpegUndo_ = std::move(jpegUndo);
            result = kEditNotWritten;
        }
    }
    UpdateFirstItem();
    Redraw();
    busy_ = 0;
    return result;
}

// ---- mouse ---------------------------------------------------------------

void CImageViewer::OnMouseMove(ViewerPoint p, bool leftHeld) {
    Lock lock(mutex_);
    tracking_ = true;
    if (viewMode_ != kViewSingle || !leftHeld || !buttonDown_) return;
    if (mouseMode_ == kMouseDrag) {
        pendingDrag_ = {buttonDownPoint_.x - p.x, buttonDownPoint_.y - p.y};
        Redraw();
    } else if (mouseMode_ == kMouseCrop) {
        // A press made before crop mode began is taken as one outside the
        // rectangle: it starts a band.
        if (!cropTracker_.Tracking()) cropTracker_.BeginBand(buttonDownPoint_);
        cropTracker_.TrackTo(p);
        Redraw();
    }
}

void CImageViewer::OnLButtonDown(ViewerPoint p) {
    Lock lock(mutex_);
    buttonDownPoint_ = p;
    buttonDown_ = true;
    if (mouseMode_ == kMouseCrop) {
        cropTracker_.BeginTrack(p, SingleImageRect());
        Redraw();
    } else if (mouseMode_ == kMouseDrag) {
        scrollOrigin_.x = std::max(0, scrollOrigin_.x);
        scrollOrigin_.y = std::max(0, scrollOrigin_.y);
    }
}

void CImageViewer::OnLButtonUp(ViewerPoint p) {
    Lock lock(mutex_);
    const bool wasDown = buttonDown_;
    buttonDown_ = false;
    if (mouseMode_ == kMouseDrag) {
        scrollOrigin_.x += pendingDrag_.x;
        scrollOrigin_.y += pendingDrag_.y;
        pendingDrag_ = {};
    } else if (mouseMode_ == kMouseCrop && wasDown) {
        cropTracker_.EndTrack();
    }
    if (viewMode_ == kViewSingle) return;
    for (const ViewerCell& cell : cells_) {
        if (!cell.cell.contains(p)) continue;
        if (cell.item >= 0 && cell.item < static_cast<int>(documents_.size())) {
            current_ = cell.item;
            ReleaseUndo();
            UpdateFirstItem();
            Redraw();
        }
        break;
    }
}

void CImageViewer::OnLButtonDblClk(ViewerPoint p) {
    Lock lock(mutex_);
    buttonDown_ = false;
    ViewerDocument* document = CurrentDocument();
    if (viewMode_ == kViewSingle) {
        if (pageMode_ || !document || document->pages.size() < 2) return;
        pageMode_ = true;
        document->currentPage = 0;
        UpdateFirstItem();
        Redraw();
        if (pageModeCallback_) pageModeCallback_(pageModeUser_);
        return;
    }
    for (const ViewerCell& cell : cells_) {
        if (!cell.cell.contains(p)) continue;
        if (cell.item < 0) return;
        if (document && document->pages.size() > 1) {
            pageMode_ = true;
            document->currentPage = 0;
        }
        viewMode_ = kViewSingle;
        UpdateFirstItem();
        Redraw();
        if (pageModeCallback_) pageModeCallback_(pageModeUser_);
        return;
    }
}

void CImageViewer::OnMouseLeave() {
    Lock lock(mutex_);
    if (mouseMode_ == kMouseDrag && buttonDown_) {
        scrollOrigin_.x += pendingDrag_.x;
        scrollOrigin_.y += pendingDrag_.y;
        pendingDrag_ = {};
    } else if (mouseMode_ == kMouseCrop && buttonDown_) {
        // The track ends here as at a release.
        cropTracker_.EndTrack();
    }
    tracking_ = false;
    buttonDown_ = false;
}
