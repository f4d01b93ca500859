#pragma once
// Rectangles in the global display space: origin at the top left, y growing downwards,
// in points. A rectangle may carry a negative width or height; every query below works
// on its standardised form (the same area with a non-negative width and height).
#include <algorithm>
#include <cmath>

namespace kelvane::platform {

struct Point {
    double x = 0;
    double y = 0;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    friend bool operator==(const Rect&, const Rect&) = default;
};

inline Rect standardized(const Rect& r) {
    Rect s = r;
    if (s.width < 0) {
        s.x += s.width;
        s.width = -s.width;
    }
    if (s.height < 0) {
        s.y += s.height;
        s.height = -s.height;
    }
    return s;
}

inline double width(const Rect& r) { return std::fabs(r.width); }
inline double height(const Rect& r) { return std::fabs(r.height); }
inline double minX(const Rect& r) { return standardized(r).x; }
inline double minY(const Rect& r) { return standardized(r).y; }
inline double maxX(const Rect& r) { return minX(r) + width(r); }
inline double maxY(const Rect& r) { return minY(r) + height(r); }
inline double midX(const Rect& r) { return minX(r) + width(r) / 2; }
inline double midY(const Rect& r) { return minY(r) + height(r) / 2; }

// True when the two rectangles share some area; rectangles that only touch along an
// edge do not intersect. Any NaN makes every comparison false, so it never intersects.
inline bool intersects(const Rect& a, const Rect& b) {
    return minX(a) < maxX(b) && minX(b) < maxX(a) && minY(a) < maxY(b) && minY(b) < maxY(a);
}

// Half-open containment: the left and top edges belong to the rectangle, the right and
// bottom edges to its neighbours, so a point on a shared edge has exactly one owner.
inline bool contains(const Rect& r, const Point& p) {
    return p.x >= minX(r) && p.x < maxX(r) && p.y >= minY(r) && p.y < maxY(r);
}

}  // namespace kelvane::platform
