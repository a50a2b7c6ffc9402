// CQixRectTracker: the crop rectangle of the viewer as the user handles it.
// It keeps the rectangle and the state of a track (a button held down),
// tells what of it lies under a point, sizes it by one of its eight
// handles, moves it by its inside, rubber-bands a new one from a press
// outside it, straightens it at the end of a track, clips it to the
// picture it is shown over, and draws it: a hatched border band with
// solid sizing handles on it.
//
// The rectangle is kept as the user made it, possibly reaching past the
// picture; it is clipped only where it is shown, hit-tested or drawn, so
// the caller hands the picture's rectangle (clipTo) to those calls.
//
// The border and the handles:
//   - The handles are squares of GetHandleSize() pixels inside the
//     rectangle: the four corners, then the middles of the top, right,
//     bottom and left edges (the numbering of Hit). A middle handle is
//     shown, and can be grabbed, only where its edge is at least three
//     handles long, so that it never covers a corner handle; the corners
//     are always there (GetHandleMask).
//   - The border is a band as wide as the handles, just inside the
//     rectangle, where the handles sit. It is filled with the hatch: an
//     8 x 8 one-bit pattern whose rows are all 0x8888, so every fourth
//     column (x = 0, 4, 8, ... counted from the canvas's origin, where the
//     pattern is anchored) is black and the picture shows through the
//     rest. Along the top and bottom edges that gives a row of short
//     vertical strokes; along the left and right edges, whose band is as
//     wide as the pattern's period, a single unbroken line.
//
// Shared by every tracker of the process and made once: the handle size
// (the system's in-place border width, clamped by ClampHandleSize) and the
// hatch's bits. The surfaces keep what they make of the hatch (a pattern
// brush on Windows) themselves.
//
// Thread safety: one thread at a time; CImageViewer holds its lock around
// every call. ProcessHandleSize may be called from any thread.
#pragma once

#include <array>
#include <cstdint>

#include "platform/canvas.h"

using ViewerPoint = platform::Point;
using ViewerRect = platform::Rect;

// The pointer's shape over the viewer: the sizing shapes over the crop
// rectangle's handles (corners diagonal, edge middles straight), the
// moving shape inside it, the arrow everywhere else.
enum class ViewerCursor : int { Arrow, SizeNwse, SizeNesw, SizeNs, SizeWe, SizeAll };

class CQixRectTracker {
public:
    // What of the rectangle lies under a point: a handle, its inside, or
    // nothing of it.
    enum Hit : int {
        kHitNothing = -1,
        kHitTopLeft = 0,
        kHitTopRight = 1,
        kHitBottomRight = 2,
        kHitBottomLeft = 3,
        kHitTop = 4,
        kHitRight = 5,
        kHitBottom = 6,
        kHitLeft = 7,
        kHitMiddle = 8,
    };
    static constexpr int kHandleCount = 8;
    static constexpr unsigned kAllHandles = (1u << kHandleCount) - 1;
    static constexpr unsigned kCornerHandles = 0x0Fu;
    // The hatch as a one-bit bitmap holds it: one 16-bit word per row, the
    // first byte in memory giving the row's eight pixels, leftmost in the
    // top bit.
    static constexpr std::array<std::uint16_t, 8> kHatchRows{0x8888, 0x8888, 0x8888, 0x8888,
                                                             0x8888, 0x8888, 0x8888, 0x8888};
    // Side of the handles when the system says nothing.
    static constexpr int kDefaultHandleSize = 4;
    static constexpr int kMaxHandleSize = 16;

    CQixRectTracker() = default;
    CQixRectTracker(const CQixRectTracker&) = default;
    CQixRectTracker& operator=(const CQixRectTracker&) = default;

    // ---- the overridable steps, in this order ----
    virtual ~CQixRectTracker();
    // Draws the border band and the shown handles of rect (already
    // normalised and clipped) onto the canvas.
    virtual void DrawTrackerRect(platform::Canvas& canvas, const ViewerRect& rect) const;
    // Called at every step of a track with what is being pulled (a
    // handle, kHitMiddle for a move; a rubber band pulls its
    // kHitBottomRight corner) and the rectangle the step gives; whatever it
    // leaves in rect is taken. The tracker itself sets no limits here.
    virtual void AdjustRect(int handle, ViewerRect& rect);
    // Called after a step of a track changed the rectangle, with the
    // rectangle before it. Does nothing.
    virtual void OnChangedRect(const ViewerRect& previous);
    // Which handles of rect are shown and can be grabbed: bit i for handle
    // i (Hit). The corners always; a middle handle when its edge is at
    // least three handles long.
    virtual unsigned GetHandleMask(const ViewerRect& rect) const;
    // The side of rect's handles, which is also the border band's width:
    // ProcessHandleSize().
    virtual int GetHandleSize(const ViewerRect& rect) const;

    // ---- the rectangle ----
    // As kept: during a handle's pull it may be inside out.
    ViewerRect Rect() const { return rect_; }
    void SetRect(const ViewerRect& rect) { rect_ = rect; }
    // Empties the rectangle and forgets any track.
    void Reset();
    // The rectangle as it is shown over the picture clipTo: normalised and
    // clipped to it (empty when nothing of it is over the picture).
    ViewerRect ShownRect(const ViewerRect& clipTo) const;
    // The eight handles of rect in the order of Hit, whether shown or not.
    std::array<ViewerRect, kHandleCount> HandleRects(const ViewerRect& rect) const;
    // What a press at p would grab of the rectangle as it is shown.
    int HitTest(ViewerPoint p, const ViewerRect& clipTo) const;
    // The pointer's shape over what hit names.
    static ViewerCursor CursorFor(int hit);

    // ---- tracking ----
    // A press at p: over a handle or the inside, that part is grabbed and
    // the rectangle becomes the one shown (what the user sees is what is
    // pulled); anywhere else the rectangle is emptied and a rubber band
    // starts at p. Returns what was grabbed (kHitNothing for a band).
    int BeginTrack(ViewerPoint p, const ViewerRect& clipTo);
    // A rubber band from `anchor` whatever lies under it.
    void BeginBand(ViewerPoint anchor);
    bool Tracking() const { return tracking_; }
    // The pointer is at p: a band spans anchor to p (normalised at once);
    // a grabbed part moves by p minus the press point, a handle possibly
    // past the opposite edge. Does nothing unless a track runs.
    void TrackTo(ViewerPoint p);
    // The end of a track (the button let go, or the pointer gone): the
    // rectangle is straightened. Safe to call when no track runs.
    void EndTrack();

    // ---- drawing ----
    // Draws the rectangle as shown over clipTo (DrawTrackerRect) and
    // returns what was drawn; nothing for an empty one.
    ViewerRect Draw(platform::Canvas& canvas, const ViewerRect& clipTo) const;

    // ---- shared by the process ----
    // A raw setting made usable: 1 to kMaxHandleSize. A value of 0 or less
    // (the profile's answer to a text or a negative number) is no size at
    // all and gives kDefaultHandleSize; a larger one is cut to
    // kMaxHandleSize, past which the handles would hide a good part of a
    // fitted picture.
    static int ClampHandleSize(int raw);
    // The system's in-place border width, clamped; read once per process.
    static int ProcessHandleSize();
    // The handles of rect for a handle side of size.
    static std::array<ViewerRect, kHandleCount> HandleRectsOf(const ViewerRect& rect, int size);
    // The hatch as a canvas takes it.
    static platform::CanvasPattern HatchPattern();

private:
    ViewerRect rect_;
    bool tracking_ = false;
    int hit_ = kHitNothing;
    ViewerPoint anchor_;
    ViewerRect start_;
};
