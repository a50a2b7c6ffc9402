#include "viewer/rect_tracker.h"

#include <algorithm>

#include "platform/system.h"

namespace {

constexpr platform::CanvasColour kBlack{0, 0, 0, 255};

// Which edges of the rectangle follow the pointer when `hit` is pulled.
struct PulledEdges {
    bool left, top, right, bottom;
};

PulledEdges edgesOf(int hit) {
    using T = CQixRectTracker;
    switch (hit) {
    case T::kHitTopLeft: return {true, true, false, false};
    case T::kHitTopRight: return {false, true, true, false};
    case T::kHitBottomRight: return {false, false, true, true};
    case T::kHitBottomLeft: return {true, false, false, true};
    case T::kHitTop: return {false, true, false, false};
    case T::kHitRight: return {false, false, true, false};
    case T::kHitBottom: return {false, false, false, true};
    case T::kHitLeft: return {true, false, false, false};
    case T::kHitMiddle: return {true, true, true, true};
    default: return {false, false, false, false};
    }
}

}  // namespace

CQixRectTracker::~CQixRectTracker() = default;

void CQixRectTracker::DrawTrackerRect(platform::Canvas& canvas, const ViewerRect& rect) const {
    if (rect.empty()) return;
    const int size = GetHandleSize(rect);
    // The band lies inside the rectangle, under the handles, so nothing of
    // the tracker covers what is outside the picture it is clipped to. Its
    // four sides do not overlap; a rectangle narrower than two bands is
    // hatched all over.
    const int bandX = std::min(size, rect.width());
    const int bandY = std::min(size, rect.height());
    const platform::CanvasPattern hatch = HatchPattern();
    canvas.fillPattern(ViewerRect{rect.left, rect.top, rect.right, rect.top + bandY}, hatch, kBlack);
    canvas.fillPattern(ViewerRect{rect.left, std::max(rect.top + bandY, rect.bottom - bandY), rect.right, rect.bottom},
                       hatch, kBlack);
    const int innerTop = rect.top + bandY;
    const int innerBottom = std::max(innerTop, rect.bottom - bandY);
    canvas.fillPattern(ViewerRect{rect.left, innerTop, rect.left + bandX, innerBottom}, hatch, kBlack);
    canvas.fillPattern(ViewerRect{std::max(rect.left + bandX, rect.right - bandX), innerTop, rect.right, innerBottom},
                       hatch, kBlack);
    const unsigned mask = GetHandleMask(rect);
    const std::array<ViewerRect, kHandleCount> handles = HandleRectsOf(rect, size);
    for (int i = 0; i < kHandleCount; ++i)
        if (mask & (1u << i)) canvas.fillRect(handles[static_cast<std::size_t>(i)], kBlack);
}

void CQixRectTracker::AdjustRect(int, ViewerRect&) {}

void CQixRectTracker::OnChangedRect(const ViewerRect&) {}

unsigned CQixRectTracker::GetHandleMask(const ViewerRect& rect) const {
    const int size = GetHandleSize(rect);
    unsigned mask = kCornerHandles;
    if (rect.width() >= 3 * size) mask |= (1u << kHitTop) | (1u << kHitBottom);
    if (rect.height() >= 3 * size) mask |= (1u << kHitLeft) | (1u << kHitRight);
    return mask;
}

int CQixRectTracker::GetHandleSize(const ViewerRect&) const { return ProcessHandleSize(); }

void CQixRectTracker::Reset() {
    rect_ = {};
    tracking_ = false;
    hit_ = kHitNothing;
    start_ = {};
}

ViewerRect CQixRectTracker::ShownRect(const ViewerRect& clipTo) const { return rect_.normalized().intersect(clipTo); }

std::array<ViewerRect, CQixRectTracker::kHandleCount> CQixRectTracker::HandleRects(const ViewerRect& rect) const {
    return HandleRectsOf(rect, GetHandleSize(rect));
}

std::array<ViewerRect, CQixRectTracker::kHandleCount> CQixRectTracker::HandleRectsOf(const ViewerRect& rect,
                                                                                     int size) {
    const int s = size;
    // Middles rounded towards the top left, so an odd leftover pixel goes
    // to the right and bottom halves.
    const int cx = rect.left + (rect.width() - s) / 2;
    const int cy = rect.top + (rect.height() - s) / 2;
    auto at = [s](int x, int y) { return ViewerRect{x, y, x + s, y + s}; };
    return {at(rect.left, rect.top),        at(rect.right - s, rect.top), at(rect.right - s, rect.bottom - s),
            at(rect.left, rect.bottom - s), at(cx, rect.top),             at(rect.right - s, cy),
            at(cx, rect.bottom - s),        at(rect.left, cy)};
}

int CQixRectTracker::HitTest(ViewerPoint p, const ViewerRect& clipTo) const {
    const ViewerRect shown = ShownRect(clipTo);
    if (shown.empty()) return kHitNothing;
    // The handles lie inside the rectangle, so they are asked first; of two
    // overlapping ones on a small rectangle the corner wins.
    const unsigned mask = GetHandleMask(shown);
    const std::array<ViewerRect, kHandleCount> handles = HandleRects(shown);
    for (int i = 0; i < kHandleCount; ++i)
        if ((mask & (1u << i)) && handles[static_cast<std::size_t>(i)].contains(p)) return i;
    return shown.contains(p) ? kHitMiddle : kHitNothing;
}

ViewerCursor CQixRectTracker::CursorFor(int hit) {
    switch (hit) {
    case kHitTopLeft:
    case kHitBottomRight: return ViewerCursor::SizeNwse;
    case kHitTopRight:
    case kHitBottomLeft: return ViewerCursor::SizeNesw;
    case kHitTop:
    case kHitBottom: return ViewerCursor::SizeNs;
    case kHitRight:
    case kHitLeft: return ViewerCursor::SizeWe;
    case kHitMiddle: return ViewerCursor::SizeAll;
    default: return ViewerCursor::Arrow;
    }
}

int CQixRectTracker::BeginTrack(ViewerPoint p, const ViewerRect& clipTo) {
    const int hit = HitTest(p, clipTo);
    if (hit == kHitNothing) {
        BeginBand(p);
        return hit;
    }
    hit_ = hit;
    anchor_ = p;
    start_ = ShownRect(clipTo);
    rect_ = start_;
    tracking_ = true;
    return hit;
}

void CQixRectTracker::BeginBand(ViewerPoint anchor) {
    // The old rectangle goes as soon as the new one starts.
    hit_ = kHitNothing;
    anchor_ = anchor;
    start_ = {};
    rect_ = {};
    tracking_ = true;
}

void CQixRectTracker::TrackTo(ViewerPoint p) {
    if (!tracking_) return;
    ViewerRect next;
    int pulled = hit_;
    if (hit_ == kHitNothing) {
        // The band's far corner is the one pulled; it may lie on any side
        // of the anchor.
        next = {anchor_.x, anchor_.y, p.x, p.y};
        pulled = kHitBottomRight;
    } else {
        const PulledEdges edges = edgesOf(hit_);
        const int dx = p.x - anchor_.x;
        const int dy = p.y - anchor_.y;
        next = start_;
        if (edges.left) next.left += dx;
        if (edges.right) next.right += dx;
        if (edges.top) next.top += dy;
        if (edges.bottom) next.bottom += dy;
    }
    AdjustRect(pulled, next);
    // A band is kept straight as it grows; a handle may stay pulled past
    // the opposite edge until the track ends, so that it can come back.
    if (hit_ == kHitNothing) next = next.normalized();
    const ViewerRect previous = rect_;
    rect_ = next;
    if (!(previous == rect_)) OnChangedRect(previous);
}

void CQixRectTracker::EndTrack() {
    rect_ = rect_.normalized();
    tracking_ = false;
    hit_ = kHitNothing;
}

ViewerRect CQixRectTracker::Draw(platform::Canvas& canvas, const ViewerRect& clipTo) const {
    const ViewerRect shown = ShownRect(clipTo);
    if (shown.empty()) return {};
    DrawTrackerRect(canvas, shown);
    return shown;
}

int CQixRectTracker::ClampHandleSize(int raw) {
    if (raw <= 0) return kDefaultHandleSize;
    return std::min(raw, kMaxHandleSize);
}

int CQixRectTracker::ProcessHandleSize() {
    // Read once: painting and every pointer move ask for it, and must not
    // go to the profile each time; a changed setting shows in the next
    // process.
    static const int size = ClampHandleSize(platform::inPlaceBorderWidth());
    return size;
}

platform::CanvasPattern CQixRectTracker::HatchPattern() {
    platform::CanvasPattern pattern;
    for (std::size_t i = 0; i < kHatchRows.size(); ++i) pattern.rows[i] = static_cast<std::uint8_t>(kHatchRows[i] & 0xFF);
    return pattern;
}
