#include "font_boxdraw.h"

#include <algorithm>

namespace winapi::gdi {

namespace {

// Arms of the line characters 0xB3..0xDA: up, down, left, right;
// 1 single, 2 double.
struct Arms {
    uint8_t up, down, left, right;
};
constexpr Arms kArms[0xDA - 0xB3 + 1] = {
    {1, 1, 0, 0}, {1, 1, 1, 0}, {1, 1, 2, 0}, {2, 2, 1, 0},  // B3 B4 B5 B6
    {0, 2, 1, 0}, {0, 1, 2, 0}, {2, 2, 2, 0}, {2, 2, 0, 0},  // B7 B8 B9 BA
    {0, 2, 2, 0}, {2, 0, 2, 0}, {2, 0, 1, 0}, {1, 0, 2, 0},  // BB BC BD BE
    {0, 1, 1, 0}, {1, 0, 0, 1}, {1, 0, 1, 1}, {0, 1, 1, 1},  // BF C0 C1 C2
    {1, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 1, 1}, {1, 1, 0, 2},  // C3 C4 C5 C6
    {2, 2, 0, 1}, {2, 0, 0, 2}, {0, 2, 0, 2}, {2, 0, 2, 2},  // C7 C8 C9 CA
    {0, 2, 2, 2}, {2, 2, 0, 2}, {0, 0, 2, 2}, {2, 2, 2, 2},  // CB CC CD CE
    {1, 0, 2, 2}, {2, 0, 1, 1}, {0, 1, 2, 2}, {0, 2, 1, 1},  // CF D0 D1 D2
    {2, 0, 0, 1}, {1, 0, 0, 2}, {0, 1, 0, 2}, {0, 2, 0, 1},  // D3 D4 D5 D6
    {2, 2, 1, 1}, {1, 1, 2, 2}, {1, 0, 1, 0}, {0, 1, 0, 1},  // D7 D8 D9 DA
};

class Painter {
public:
    Painter(Surface &s, int x, int y, uint32_t color, const RECT &clip)
        : s_(s), x_(x), y_(y), color_(color), clip_(clip) {}

    // Fills [x0, x1) × [y0, y1) of the cell.
    void fill(int x0, int y0, int x1, int y1) const {
        int l = std::max<int>(x_ + x0, clip_.left), r = std::min<int>(x_ + x1, clip_.right);
        int t = std::max<int>(y_ + y0, clip_.top), b = std::min<int>(y_ + y1, clip_.bottom);
        for (int yy = t; yy < b; ++yy)
            std::fill(s_.pixels + size_t(yy) * s_.stride + l, s_.pixels + size_t(yy) * s_.stride + std::max(l, r),
                      color_);
    }

    // Shades tile by screen position, so neighbouring cells continue the
    // pattern whatever their width.
    void shade(int w, int h, int level) const {
        int l = std::max<int>(x_, clip_.left), r = std::min<int>(x_ + w, clip_.right);
        int t = std::max<int>(y_, clip_.top), b = std::min<int>(y_ + h, clip_.bottom);
        for (int yy = t; yy < b; ++yy)
            for (int xx = l; xx < r; ++xx) {
                // Light: a quarter of the pixels, each row offset by two; dark is its inverse.
                bool light = (xx & 3) == ((yy & 1) ? 0 : 2);
                bool on = level == 0 ? light : level == 1 ? ((xx + yy) & 1) == 0 : !light;
                if (on)
                    s_.pixels[size_t(yy) * s_.stride + xx] = color_;
            }
    }

private:
    Surface &s_;
    int x_, y_;
    uint32_t color_;
    RECT clip_;
};

void drawLines(const Painter &p, int w, int h, Arms a, const BoxPen &pen) {
    const int tv = std::clamp(pen.vertical, 1, std::max(1, w / 3));
    const int th = std::clamp(pen.horizontal, 1, std::max(1, h / 4));
    // Single lines sit at the centre; double lines at d either side of it.
    const int cx = (w - tv) / 2, cy = (h - th) / 2;
    const int dx = (tv + 2) / 2, dy = (th + 2) / 2;
    const int x1 = cx - dx, x2 = cx + dx;  // the two rails of a double vertical
    const int y1 = cy - dy, y2 = cy + dy;  // the two rails of a double horizontal
    const bool vDouble = a.up == 2 || a.down == 2;
    const bool hDouble = a.left == 2 || a.right == 2;

    // Up arm.
    if (a.up == 1) {
        int end = cy + th;
        if (hDouble && !a.down)
            end = (a.left && a.right) ? y1 + th : y2 + th;  // meet the near rail, or both rails where they end
        p.fill(cx, 0, cx + tv, end);
    } else if (a.up == 2) {
        int endL = cy + th, endR = cy + th;
        if (hDouble) {
            endL = a.left == 2 ? y1 + th : y2 + th;
            endR = a.right == 2 ? y1 + th : y2 + th;
        }
        p.fill(x1, 0, x1 + tv, endL);
        p.fill(x2, 0, x2 + tv, endR);
    }
    // Down arm.
    if (a.down == 1) {
        int start = cy;
        if (hDouble && !a.up)
            start = (a.left && a.right) ? y2 : y1;
        p.fill(cx, start, cx + tv, h);
    } else if (a.down == 2) {
        int startL = cy, startR = cy;
        if (hDouble) {
            startL = a.left == 2 ? y2 : y1;
            startR = a.right == 2 ? y2 : y1;
        }
        p.fill(x1, startL, x1 + tv, h);
        p.fill(x2, startR, x2 + tv, h);
    }
    // Left arm.
    if (a.left == 1) {
        int end = cx + tv;
        if (vDouble && !a.right)
            end = (a.up && a.down) ? x1 + tv : x2 + tv;
        p.fill(0, cy, end, cy + th);
    } else if (a.left == 2) {
        int endT = cx + tv, endB = cx + tv;
        if (vDouble) {
            endT = a.up == 2 ? x1 + tv : x2 + tv;
            endB = a.down == 2 ? x1 + tv : x2 + tv;
        }
        p.fill(0, y1, endT, y1 + th);
        p.fill(0, y2, endB, y2 + th);
    }
    // Right arm.
    if (a.right == 1) {
        int start = cx;
        if (vDouble && !a.left)
            start = (a.up && a.down) ? x2 : x1;
        p.fill(start, cy, w, cy + th);
    } else if (a.right == 2) {
        int startT = cx, startB = cx;
        if (vDouble) {
            startT = a.up == 2 ? x2 : x1;
            startB = a.down == 2 ? x2 : x1;
        }
        p.fill(startT, y1, w, y1 + th);
        p.fill(startB, y2, w, y2 + th);
    }
}

}  // namespace

void drawBoxCharacter(Surface &surface, int x, int y, int w, int h, uint8_t ch, uint32_t color,
                      const RECT &clip, const BoxPen &pen) {
    if (w <= 0 || h <= 0 || !isBoxCharacter(ch))
        return;
    Painter p(surface, x, y, color, clip);
    switch (ch) {
    case 0xB0: p.shade(w, h, 0); return;
    case 0xB1: p.shade(w, h, 1); return;
    case 0xB2: p.shade(w, h, 2); return;
    case 0xDB: p.fill(0, 0, w, h); return;
    case 0xDC: p.fill(0, h / 2, w, h); return;
    case 0xDD: p.fill(0, 0, w / 2, h); return;
    case 0xDE: p.fill(w / 2, 0, w, h); return;
    case 0xDF: p.fill(0, 0, w, h / 2); return;
    default: drawLines(p, w, h, kArms[ch - 0xB3], pen); return;
    }
}

}  // namespace winapi::gdi
