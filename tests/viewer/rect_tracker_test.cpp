// The crop rectangle's tracker on its own: what a point grabs at a given
// handle size, which handles a small rectangle keeps, how pulls, moves and
// rubber bands change the rectangle, how it is straightened and clipped,
// and the pixels of its hatched border on the platform's canvas (the same
// expectations hold for the Cairo and the GDI surface).
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/offscreen_canvas.h"
#include "platform/system.h"
#include "support/test_support.h"
#include "viewer/rect_tracker.h"
#include "viewer/viewer_painter.h"

namespace {

using T = CQixRectTracker;

std::string describe(const ViewerRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " - " + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

ViewerPoint centreOf(const ViewerRect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// A picture far larger than any rectangle below, so nothing is clipped
// unless a row means it to be.
constexpr ViewerRect kWide{-1000, -1000, 5000, 5000};

class SizedTracker : public CQixRectTracker {
public:
    explicit SizedTracker(int size) : size_(size) {}
    int GetHandleSize(const ViewerRect&) const override { return size_; }

private:
    int size_;
};

TEST(RectTracker, EachHandleIsASquareOfTheHandleSizeInsideTheRectangle) {
    constexpr ViewerRect rect{100, 100, 300, 250};
    struct Row {
        const char* name;
        int size;
        // The handles in the order of Hit.
        ViewerRect handles[T::kHandleCount];
    } rows[] = {
        {"size 4",
         4,
         {{100, 100, 104, 104},
          {296, 100, 300, 104},
          {296, 246, 300, 250},
          {100, 246, 104, 250},
          {198, 100, 202, 104},
          {296, 173, 300, 177},
          {198, 246, 202, 250},
          {100, 173, 104, 177}}},
        // Odd: the middles round towards the top left.
        {"size 7",
         7,
         {{100, 100, 107, 107},
          {293, 100, 300, 107},
          {293, 243, 300, 250},
          {100, 243, 107, 250},
          {196, 100, 203, 107},
          {293, 171, 300, 178},
          {196, 243, 203, 250},
          {100, 171, 107, 178}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SizedTracker tracker(row.size);
        tracker.SetRect(rect);
        for (int i = 0; i < T::kHandleCount; ++i) {
            SCOPED_TRACE(testing::Message() << "handle " << i);
            const ViewerRect h = row.handles[i];
            // Every corner pixel of the handle grabs it.
            for (const ViewerPoint p : {ViewerPoint{h.left, h.top}, ViewerPoint{h.right - 1, h.top},
                                        ViewerPoint{h.left, h.bottom - 1}, ViewerPoint{h.right - 1, h.bottom - 1}}) {
                EXPECT_EQ(tracker.HitTest(p, kWide), i) << p.x << "," << p.y;
            }
            // A pixel past it: the inside where the rectangle goes on, else
            // nothing.
            for (const ViewerPoint p : {ViewerPoint{h.left - 1, h.top}, ViewerPoint{h.right, h.top},
                                        ViewerPoint{h.left, h.top - 1}, ViewerPoint{h.left, h.bottom}}) {
                const int expected = rect.contains(p) ? T::kHitMiddle : T::kHitNothing;
                EXPECT_EQ(tracker.HitTest(p, kWide), expected) << p.x << "," << p.y;
            }
        }
    }
}

TEST(RectTracker, PointerShapeFollowsTheHit) {
    struct Row {
        int hit;
        ViewerCursor cursor;
    } rows[] = {
        {T::kHitTopLeft, ViewerCursor::SizeNwse}, {T::kHitTopRight, ViewerCursor::SizeNesw},
        {T::kHitBottomRight, ViewerCursor::SizeNwse}, {T::kHitBottomLeft, ViewerCursor::SizeNesw},
        {T::kHitTop, ViewerCursor::SizeNs},       {T::kHitRight, ViewerCursor::SizeWe},
        {T::kHitBottom, ViewerCursor::SizeNs},    {T::kHitLeft, ViewerCursor::SizeWe},
        {T::kHitMiddle, ViewerCursor::SizeAll},   {T::kHitNothing, ViewerCursor::Arrow},
        {42, ViewerCursor::Arrow},
    };
    for (const Row& row : rows) EXPECT_EQ(T::CursorFor(row.hit), row.cursor) << "hit " << row.hit;
}

TEST(RectTracker, HandleSizeSettingIsClamped) {
    struct Row {
        const char* name;
        int raw;
        int size;
    } rows[] = {
        {"the usual", 4, 4},
        {"smallest", 1, 1},
        {"zero (also what a text reads as)", 0, T::kDefaultHandleSize},
        {"negative", -3, T::kDefaultHandleSize},
        {"most negative", INT_MIN, T::kDefaultHandleSize},
        {"largest kept", T::kMaxHandleSize, T::kMaxHandleSize},
        {"one past", T::kMaxHandleSize + 1, T::kMaxHandleSize},
        {"absurd", 100000, T::kMaxHandleSize},
    };
    for (const Row& row : rows) EXPECT_EQ(T::ClampHandleSize(row.raw), row.size) << row.name;

    // The process's value is the system's setting, clamped, and the one the
    // tracker, the painter's handles and the hit test all use.
    EXPECT_EQ(T::ProcessHandleSize(), T::ClampHandleSize(platform::inPlaceBorderWidth()));
    if (!testing_support::onWindows()) {
        EXPECT_EQ(T::ProcessHandleSize(), 4);
    }
    const ViewerRect rect{10, 10, 200, 100};
    EXPECT_EQ(T().GetHandleSize(rect), T::ProcessHandleSize());
    EXPECT_EQ(CropHandles(rect).front().width(), T::ProcessHandleSize());
}

// A middle handle needs an edge three handles long; the corners stay.
TEST(RectTracker, SmallRectanglesHideTheMiddleHandles) {
    constexpr unsigned kTopBottom = (1u << T::kHitTop) | (1u << T::kHitBottom);
    constexpr unsigned kLeftRight = (1u << T::kHitLeft) | (1u << T::kHitRight);
    struct Row {
        const char* name;
        int width, height;
        unsigned mask;
    } rows[] = {
        {"large", 200, 150, T::kAllHandles},
        {"exactly three handles both ways", 12, 12, T::kAllHandles},
        {"one pixel too narrow", 11, 100, T::kCornerHandles | kLeftRight},
        {"one pixel too low", 100, 11, T::kCornerHandles | kTopBottom},
        {"small both ways", 11, 11, T::kCornerHandles},
        {"a single handle's size", 4, 4, T::kCornerHandles},
        {"a pixel", 1, 1, T::kCornerHandles},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SizedTracker tracker(4);
        const ViewerRect rect{100, 100, 100 + row.width, 100 + row.height};
        EXPECT_EQ(tracker.GetHandleMask(rect), row.mask);
        // A hidden handle cannot be grabbed: the press finds what lies
        // under it without it.
        tracker.SetRect(rect);
        const auto handles = tracker.HandleRects(rect);
        for (int i = T::kHitTop; i <= T::kHitLeft; ++i) {
            const ViewerPoint p{handles[static_cast<std::size_t>(i)].left, handles[static_cast<std::size_t>(i)].top};
            const int hit = tracker.HitTest(p, kWide);
            if (row.mask & (1u << i)) {
                EXPECT_EQ(hit, i) << "handle " << i;
            } else {
                EXPECT_NE(hit, i) << "hidden handle " << i;
            }
        }
    }
}

// A handle pulled past the opposite edge leaves the rectangle inside out
// while the button is held, and straight once it is let go.
TEST(RectTracker, PullsAreStraightenedAtTheEnd) {
    constexpr ViewerRect start{100, 100, 300, 250};
    struct Row {
        const char* name;
        int handle;
        ViewerPoint by;
        ViewerRect expected;
    } rows[] = {
        {"left edge past the right one", T::kHitLeft, {300, 7}, {300, 100, 400, 250}},
        {"right edge past the left one", T::kHitRight, {-260, 0}, {40, 100, 100, 250}},
        {"top edge past the bottom one", T::kHitTop, {9, 200}, {100, 250, 300, 300}},
        {"bottom edge past the top one", T::kHitBottom, {0, -170}, {100, 80, 300, 100}},
        {"top-left corner past both", T::kHitTopLeft, {250, 200}, {300, 250, 350, 300}},
        {"bottom-right corner past both", T::kHitBottomRight, {-250, -200}, {50, 50, 100, 100}},
        {"top-right corner past both", T::kHitTopRight, {-250, 200}, {50, 250, 100, 300}},
        {"bottom-left corner past both", T::kHitBottomLeft, {250, -200}, {300, 50, 350, 100}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SizedTracker tracker(4);
        tracker.SetRect(start);
        const ViewerPoint at = centreOf(tracker.HandleRects(start)[static_cast<std::size_t>(row.handle)]);
        ASSERT_EQ(tracker.BeginTrack(at, kWide), row.handle);
        EXPECT_TRUE(tracker.Tracking());
        tracker.TrackTo({at.x + row.by.x, at.y + row.by.y});
        const ViewerRect during = tracker.Rect();
        EXPECT_TRUE(during.width() < 0 || during.height() < 0) << describe(during);
        tracker.EndTrack();
        EXPECT_FALSE(tracker.Tracking());
        EXPECT_EQ(describe(tracker.Rect()), describe(row.expected));
        // After the track, moves change nothing.
        tracker.TrackTo({0, 0});
        EXPECT_EQ(describe(tracker.Rect()), describe(row.expected));
    }
}

// Each step of a track is measured from the press, not from the step
// before, so a pull that goes past the edge and comes back is as if it
// never went.
TEST(RectTracker, StepsAreMeasuredFromThePress) {
    SizedTracker tracker(4);
    tracker.SetRect({100, 100, 300, 250});
    const ViewerPoint at{200, 150};
    ASSERT_EQ(tracker.BeginTrack(at, kWide), T::kHitMiddle);
    for (const ViewerPoint p : {ViewerPoint{-500, -500}, ViewerPoint{900, 20}, ViewerPoint{230, 140}})
        tracker.TrackTo(p);
    tracker.EndTrack();
    EXPECT_EQ(describe(tracker.Rect()), describe({130, 90, 330, 240}));
}

TEST(RectTracker, ShownRectangleIsStraightenedAndClippedToThePicture) {
    constexpr ViewerRect picture{100, 50, 500, 350};
    struct Row {
        const char* name;
        ViewerRect rect;
        ViewerRect shown;
    } rows[] = {
        {"inside", {150, 100, 300, 200}, {150, 100, 300, 200}},
        {"past the left and top", {20, 10, 300, 200}, {100, 50, 300, 200}},
        {"past the right and bottom", {150, 100, 700, 900}, {150, 100, 500, 350}},
        {"around the whole picture", {0, 0, 900, 900}, picture},
        {"inside out and past the left", {300, 200, 40, 100}, {100, 100, 300, 200}},
        {"beside the picture", {520, 100, 600, 200}, {}},
        {"touching its edge only", {500, 100, 600, 200}, {}},
        {"empty", {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SizedTracker tracker(4);
        tracker.SetRect(row.rect);
        EXPECT_EQ(describe(tracker.ShownRect(picture)), describe(row.shown));
        // The rectangle itself is kept as it was made.
        EXPECT_EQ(describe(tracker.Rect()), describe(row.rect));
        if (row.shown.empty()) {
            EXPECT_EQ(tracker.HitTest(centreOf(row.rect.normalized()), picture), T::kHitNothing);
            continue;
        }
        // The handles sit on the clipped rectangle: its top-left corner is
        // grabbed at the picture's edge, and what lies off the picture is
        // not grabbed at all.
        EXPECT_EQ(tracker.HitTest({row.shown.left, row.shown.top}, picture), T::kHitTopLeft);
        EXPECT_EQ(tracker.HitTest({row.shown.right - 1, row.shown.bottom - 1}, picture), T::kHitBottomRight);
        EXPECT_EQ(tracker.HitTest({row.shown.left - 1, row.shown.top + 20}, picture), T::kHitNothing);
    }
}

// A grab takes the rectangle as it is shown: a rectangle reaching off the
// picture is moved from its clipped shape.
TEST(RectTracker, AGrabTakesTheShownRectangle) {
    constexpr ViewerRect picture{100, 50, 500, 350};
    SizedTracker tracker(4);
    tracker.SetRect({20, 10, 300, 200});
    ASSERT_EQ(tracker.BeginTrack({200, 120}, picture), T::kHitMiddle);
    EXPECT_EQ(describe(tracker.Rect()), describe({100, 50, 300, 200}));
    tracker.TrackTo({210, 130});
    tracker.EndTrack();
    EXPECT_EQ(describe(tracker.Rect()), describe({110, 60, 310, 210}));
}

TEST(RectTracker, RubberBandGrowsFromThePressInEveryDirection) {
    constexpr ViewerPoint anchor{500, 500};
    struct Row {
        const char* name;
        ViewerPoint to;
        ViewerRect expected;
    } rows[] = {
        {"down and right", {600, 580}, {500, 500, 600, 580}},
        {"down and left", {420, 560}, {420, 500, 500, 560}},
        {"up and right", {560, 430}, {500, 430, 560, 500}},
        {"up and left", {400, 400}, {400, 400, 500, 500}},
        {"straight right: no height", {650, 500}, {500, 500, 650, 500}},
        {"not moved", anchor, {500, 500, 500, 500}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SizedTracker tracker(4);
        tracker.SetRect({100, 100, 300, 250});
        // Outside the old rectangle: it goes, and a band starts.
        EXPECT_EQ(tracker.BeginTrack(anchor, kWide), T::kHitNothing);
        EXPECT_TRUE(tracker.Tracking());
        EXPECT_TRUE(tracker.Rect().empty());
        // Through a point on the other side first: the band follows.
        tracker.TrackTo({anchor.x - (row.to.x - anchor.x), anchor.y - (row.to.y - anchor.y)});
        tracker.TrackTo(row.to);
        // Straight while it grows, not only at the end.
        EXPECT_EQ(describe(tracker.Rect()), describe(row.expected));
        tracker.EndTrack();
        EXPECT_EQ(describe(tracker.Rect()), describe(row.expected));
        EXPECT_EQ(tracker.ShownRect(kWide).empty(), row.expected.empty());
    }
}

TEST(RectTracker, RubberBandPastThePictureIsShownClipped) {
    constexpr ViewerRect picture{100, 50, 500, 350};
    SizedTracker tracker(4);
    EXPECT_EQ(tracker.BeginTrack({600, 400}, picture), T::kHitNothing);
    tracker.TrackTo({300, 200});
    tracker.EndTrack();
    EXPECT_EQ(describe(tracker.Rect()), describe({300, 200, 600, 400}));
    EXPECT_EQ(describe(tracker.ShownRect(picture)), describe({300, 200, 500, 350}));
}

// The hooks: AdjustRect sees every step with what is pulled and has the
// last word; OnChangedRect hears of every change with the rectangle before.
class RecordingTracker : public CQixRectTracker {
public:
    struct Step {
        int handle;
        ViewerRect offered;
    };
    int GetHandleSize(const ViewerRect&) const override { return 4; }
    void AdjustRect(int handle, ViewerRect& rect) override {
        steps.push_back({handle, rect});
        // No wider than 150, whichever edge moved.
        if (rect.right - rect.left > 150) rect.right = rect.left + 150;
    }
    void OnChangedRect(const ViewerRect& previous) override { changes.push_back(previous); }

    std::vector<Step> steps;
    std::vector<ViewerRect> changes;
};

TEST(RectTracker, AdjustRectSeesEveryStepAndHasTheLastWord) {
    struct Row {
        const char* name;
        ViewerPoint press, to;
        int handle;
        ViewerRect offered;   // as AdjustRect is handed it
        ViewerRect expected;  // after the track
    } rows[] = {
        {"moved by the inside", {150, 150}, {160, 170}, T::kHitMiddle, {110, 120, 210, 220}, {110, 120, 210, 220}},
        {"right edge pulled too far", {199, 150}, {299, 150}, T::kHitRight, {100, 100, 300, 200}, {100, 100, 250, 200}},
        // A band offers its far corner as the bottom-right one, before it
        // is straightened.
        {"band up and left", {400, 400}, {350, 380}, T::kHitBottomRight, {400, 400, 350, 380}, {350, 380, 400, 400}},
        {"band too wide", {400, 400}, {700, 450}, T::kHitBottomRight, {400, 400, 700, 450}, {400, 400, 550, 450}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingTracker tracker;
        tracker.SetRect({100, 100, 200, 200});
        tracker.BeginTrack(row.press, kWide);
        const ViewerRect before = tracker.Rect();
        tracker.TrackTo(row.to);
        ASSERT_EQ(tracker.steps.size(), 1u);
        EXPECT_EQ(tracker.steps[0].handle, row.handle);
        EXPECT_EQ(describe(tracker.steps[0].offered), describe(row.offered));
        ASSERT_EQ(tracker.changes.size(), 1u);
        EXPECT_EQ(describe(tracker.changes[0]), describe(before));
        // The same point again changes nothing, and is not reported.
        tracker.TrackTo(row.to);
        EXPECT_EQ(tracker.steps.size(), 2u);
        EXPECT_EQ(tracker.changes.size(), 1u);
        tracker.EndTrack();
        EXPECT_EQ(describe(tracker.Rect()), describe(row.expected));
    }
}

TEST(RectTracker, ResetForgetsTheRectangleAndTheTrack) {
    SizedTracker tracker(4);
    tracker.SetRect({100, 100, 200, 200});
    tracker.BeginTrack({150, 150}, kWide);
    tracker.Reset();
    EXPECT_FALSE(tracker.Tracking());
    EXPECT_TRUE(tracker.Rect().empty());
    tracker.TrackTo({300, 300});
    EXPECT_TRUE(tracker.Rect().empty());
}

// The drawing: a band as wide as the handles just inside the rectangle,
// black on every fourth column counted from the canvas's origin (the
// pattern's rows are all 0x8888), what lies below showing through the
// rest, and solid black handles over it.
TEST(RectTracker, DrawsAHatchedBandAndSolidHandles) {
    constexpr std::uint32_t kBlack = 0x000000u;
    constexpr std::uint32_t kWhite = 0xFFFFFFu;
    struct Probe {
        const char* what;
        ViewerPoint p;
        std::uint32_t colour;
    };
    struct Row {
        const char* name;
        ViewerRect rect;
        std::vector<Probe> probes;
    } rows[] = {
        {"40 x 30 at 10,10",
         {10, 10, 50, 40},
         {
             {"top band, column 20", {20, 11}, kBlack},
             {"top band, column 21", {21, 11}, kWhite},
             {"top band, column 22, last row", {22, 13}, kWhite},
             {"top band, column 24, last row", {24, 13}, kBlack},
             {"below the top band", {24, 14}, kWhite},
             {"left band, column 12", {12, 20}, kBlack},
             {"left band, column 10", {10, 20}, kWhite},
             {"left band, column 11", {11, 20}, kWhite},
             {"left band, column 13", {13, 20}, kWhite},
             {"right band, column 48", {48, 20}, kBlack},
             {"right band, column 46", {46, 20}, kWhite},
             {"right band, column 49", {49, 20}, kWhite},
             {"bottom band, column 20", {20, 38}, kBlack},
             {"bottom band, column 21", {21, 38}, kWhite},
             {"top-left handle", {11, 11}, kBlack},
             {"bottom-right handle", {49, 39}, kBlack},
             {"top middle handle, off the hatch", {29, 11}, kBlack},
             {"left middle handle, off the hatch", {11, 25}, kBlack},
             {"inside", {20, 20}, kWhite},
             {"inside, a hatch column", {24, 20}, kWhite},
             {"left of it", {9, 20}, kWhite},
             {"right of it", {50, 20}, kWhite},
             {"above it, a hatch column", {20, 9}, kWhite},
             {"below it", {20, 40}, kWhite},
         }},
        {"too narrow for the top and bottom middles",
         {10, 10, 21, 50},
         {
             {"where the top middle would be", {15, 12}, kWhite},
             {"where the bottom middle would be", {15, 47}, kWhite},
             {"left middle handle", {11, 29}, kBlack},
         }},
        {"lower than a band",
         {8, 8, 40, 11},
         {
             {"hatched", {16, 9}, kBlack},
             {"hatched, last row", {16, 10}, kBlack},
             {"between", {17, 10}, kWhite},
             {"below", {16, 11}, kWhite},
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto canvas = platform::createOffscreenCanvas(64, 64);
        ASSERT_TRUE(canvas);
        SizedTracker tracker(4);
        tracker.SetRect(row.rect);
        EXPECT_EQ(describe(tracker.Draw(*canvas, {0, 0, 64, 64})), describe(row.rect));
        for (const Probe& probe : row.probes) {
            EXPECT_EQ(canvas->pixel(probe.p.x, probe.p.y), probe.colour)
                << probe.what << " (" << probe.p.x << "," << probe.p.y << ")";
        }
    }
}

TEST(RectTracker, DrawsNothingOffThePicture) {
    const auto canvas = platform::createOffscreenCanvas(32, 32);
    ASSERT_TRUE(canvas);
    SizedTracker tracker(4);
    tracker.SetRect({20, 20, 30, 30});
    EXPECT_TRUE(tracker.Draw(*canvas, {0, 0, 16, 16}).empty());
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(canvas->pixel(x, y), 0xFFFFFFu) << x << "," << y;
}

}  // namespace
