// One point and one rectangle, in pixels, for everything that lays out or
// draws: the viewer's screens, the crop rectangle and the canvas they are
// painted on. A rectangle holds its left and top edges and excludes its
// right and bottom ones.
//
// Thread safety: plain values.
#pragma once

#include <algorithm>

namespace platform {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool empty() const { return width() <= 0 || height() <= 0; }
    bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    // The same area with its corners in order, for one drawn backwards.
    Rect normalized() const {
        return {std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
    }
    // The common part; an empty rectangle at 0,0 when there is none.
    Rect intersect(const Rect& other) const {
        const Rect r{std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
                     std::min(bottom, other.bottom)};
        return r.empty() ? Rect{} : r;
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace platform
