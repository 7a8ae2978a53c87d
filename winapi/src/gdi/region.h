// A region as a list of disjoint rectangles: enough for update regions,
// visible regions and clipping, where shapes are unions of rectangles.
#pragma once

#include <windef.h>

#include <algorithm>
#include <vector>

namespace winapi::gdi {

inline bool rectEmpty(const RECT &r) { return r.right <= r.left || r.bottom <= r.top; }
inline RECT rectIntersect(const RECT &a, const RECT &b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (rectEmpty(r)) r = RECT{0, 0, 0, 0};
    return r;
}
inline RECT rectOffset(RECT r, int dx, int dy) {
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
    return r;
}
inline bool rectEqual(const RECT &a, const RECT &b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool rectContains(const RECT &r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

class Region {
public:
    Region() = default;
    explicit Region(const RECT &r) {
        if (!rectEmpty(r)) rects_.push_back(r);
    }
    bool empty() const { return rects_.empty(); }
    const std::vector<RECT> &rects() const { return rects_; }
    void clear() { rects_.clear(); }

    RECT bounds() const {
        if (rects_.empty()) return RECT{0, 0, 0, 0};
        RECT b = rects_[0];
        for (const RECT &r : rects_) {
            b.left = std::min(b.left, r.left);
            b.top = std::min(b.top, r.top);
            b.right = std::max(b.right, r.right);
            b.bottom = std::max(b.bottom, r.bottom);
        }
        return b;
    }

    void subtract(const RECT &s) {
        if (rectEmpty(s)) return;
        std::vector<RECT> out;
        out.reserve(rects_.size() + 4);
        for (const RECT &r : rects_) {
            RECT i = rectIntersect(r, s);
            if (rectEmpty(i)) {
                out.push_back(r);
                continue;
            }
            // Up to four pieces: above, below, left and right of the hole.
            if (r.top < i.top) out.push_back(RECT{r.left, r.top, r.right, i.top});
            if (i.bottom < r.bottom) out.push_back(RECT{r.left, i.bottom, r.right, r.bottom});
            if (r.left < i.left) out.push_back(RECT{r.left, i.top, i.left, i.bottom});
            if (i.right < r.right) out.push_back(RECT{i.right, i.top, r.right, i.bottom});
        }
        rects_.swap(out);
    }
    void subtract(const Region &o) {
        for (const RECT &r : o.rects_) subtract(r);
    }
    void add(const RECT &a) {
        if (rectEmpty(a)) return;
        for (const RECT &r : rects_)
            if (a.left >= r.left && a.top >= r.top && a.right <= r.right && a.bottom <= r.bottom) return;
        subtract(a);
        rects_.push_back(a);
        if (rects_.size() > 64) {
            // Too fragmented to be worth keeping exact: paint a little more.
            RECT b = bounds();
            rects_.assign(1, b);
        }
    }
    void add(const Region &o) {
        for (const RECT &r : o.rects_) add(r);
    }
    void intersect(const RECT &c) {
        std::vector<RECT> out;
        for (const RECT &r : rects_) {
            RECT i = rectIntersect(r, c);
            if (!rectEmpty(i)) out.push_back(i);
        }
        rects_.swap(out);
    }
    void intersect(const Region &o) {
        std::vector<RECT> out;
        for (const RECT &r : rects_)
            for (const RECT &c : o.rects_) {
                RECT i = rectIntersect(r, c);
                if (!rectEmpty(i)) out.push_back(i);
            }
        rects_.swap(out);
    }
    void offset(int dx, int dy) {
        for (RECT &r : rects_) r = rectOffset(r, dx, dy);
    }
    bool contains(int x, int y) const {
        for (const RECT &r : rects_)
            if (rectContains(r, x, y)) return true;
        return false;
    }
    bool intersects(const RECT &c) const {
        for (const RECT &r : rects_)
            if (!rectEmpty(rectIntersect(r, c))) return true;
        return false;
    }
    bool operator==(const Region &o) const {
        // Same area: each covers the other.
        Region a = *this;
        a.subtract(o);
        Region b = o;
        b.subtract(*this);
        return a.empty() && b.empty();
    }

private:
    std::vector<RECT> rects_;
};

} // namespace winapi::gdi
