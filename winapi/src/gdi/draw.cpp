// Drawing on framebuffers: brushes and raster operations, rectangles,
// lines and shapes, pixels, block transfers, and the window manager's
// drawing helpers (edges, frame controls, focus rectangles).
#include "gdi.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace winapi::gdi {

namespace {

// Hatch patterns, one byte per row, bit 7 the leftmost pixel.
const uint8_t kHatch[6][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00}, // HS_HORIZONTAL
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08}, // HS_VERTICAL
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}, // HS_FDIAGONAL
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}, // HS_BDIAGONAL
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08}, // HS_CROSS
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81}, // HS_DIAGCROSS
};

inline uint32_t rop3(DWORD rop, uint32_t p, uint32_t s, uint32_t d) {
    uint8_t code = static_cast<uint8_t>(rop >> 16);
    switch (code) {
    case 0xCC: return s;
    case 0xF0: return p;
    case 0x55: return ~d & 0xFFFFFF;
    case 0x5A: return p ^ d;
    case 0x66: return s ^ d;
    case 0x88: return s & d;
    case 0xEE: return s | d;
    case 0x00: return 0;
    case 0xFF: return 0xFFFFFF;
    case 0xAA: return d;
    }
    uint32_t r = 0;
    for (int i = 0; i < 8; i++) {
        if (!(code & (1 << i))) continue;
        uint32_t m = ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
        r |= m;
    }
    return r & 0xFFFFFF;
}

inline uint32_t rop2Apply(int rop, uint32_t pen, uint32_t d) {
    switch (rop) {
    case R2_BLACK: return 0;
    case R2_NOTMERGEPEN: return ~(pen | d) & 0xFFFFFF;
    case R2_MASKNOTPEN: return ~pen & d & 0xFFFFFF;
    case R2_NOTCOPYPEN: return ~pen & 0xFFFFFF;
    case R2_MASKPENNOT: return pen & ~d & 0xFFFFFF;
    case R2_NOT: return ~d & 0xFFFFFF;
    case R2_XORPEN: return (pen ^ d) & 0xFFFFFF;
    case R2_NOTMASKPEN: return ~(pen & d) & 0xFFFFFF;
    case R2_MASKPEN: return pen & d;
    case R2_NOTXORPEN: return ~(pen ^ d) & 0xFFFFFF;
    case R2_NOP: return d;
    case R2_MERGENOTPEN: return (~pen | d) & 0xFFFFFF;
    case R2_MERGEPENNOT: return (pen | ~d) & 0xFFFFFF;
    case R2_MERGEPEN: return pen | d;
    case R2_WHITE: return 0xFFFFFF;
    default: return pen;
    }
}

bool usesDest(DWORD rop) {
    uint8_t c = static_cast<uint8_t>(rop >> 16);
    return ((c >> 1) & 0x55) != (c & 0x55);
}

} // namespace

uint32_t brushPixel(const BrushObj &b, const DCObj &dc, int fbx, int fby) {
    if (b.sysColor >= 0) return toPixel(GetSysColor(b.sysColor));
    if (b.handle == stockObject(DC_BRUSH)) return toPixel(dc.dcBrush);
    switch (b.lb.lbStyle) {
    case BS_SOLID: return toPixel(b.lb.lbColor);
    case BS_HATCHED: {
        int px = ((fbx - dc.devOrg.x - dc.brushOrg.x) % 8 + 8) % 8;
        int py = ((fby - dc.devOrg.y - dc.brushOrg.y) % 8 + 8) % 8;
        int h = static_cast<int>(b.lb.lbHatch);
        if (h < 0 || h > 5) h = 0;
        bool on = (kHatch[h][py] >> (7 - px)) & 1;
        return on ? toPixel(b.lb.lbColor) : toPixel(dc.bkColor);
    }
    case BS_PATTERN: {
        if (!b.pattern || b.pattern->width <= 0) return 0;
        int px = ((fbx - dc.devOrg.x - dc.brushOrg.x) % b.pattern->width + b.pattern->width) % b.pattern->width;
        int py = ((fby - dc.devOrg.y - dc.brushOrg.y) % b.pattern->height + b.pattern->height) % b.pattern->height;
        uint32_t v = b.pattern->at(px, py);
        // A monochrome pattern takes the DC's colours: 0 the text colour, 1 the background.
        if (b.monoPattern) return v ? toPixel(dc.bkColor) : toPixel(dc.textColor);
        return v;
    }
    }
    return 0;
}

void fillSolidFb(DCObj &dc, RECT r, uint32_t px) {
    if (!dc.fb) return;
    for (const RECT &c : dc.eff.rects()) {
        RECT i = rectIntersect(r, c);
        if (rectEmpty(i)) continue;
        for (int y = i.top; y < i.bottom; y++) {
            uint32_t *row = dc.fb->row(y);
            for (int x = i.left; x < i.right; x++) row[x] = px;
        }
    }
}

void fillRectFb(DCObj &dc, RECT r, const BrushObj *b, DWORD rop) {
    if (!dc.fb || !b || b->lb.lbStyle == BS_NULL) return;
    bool solid = b->lb.lbStyle == BS_SOLID || b->sysColor >= 0;
    if (solid && rop == PATCOPY) {
        fillSolidFb(dc, r, brushPixel(*b, dc, 0, 0));
        return;
    }
    for (const RECT &c : dc.eff.rects()) {
        RECT i = rectIntersect(r, c);
        if (rectEmpty(i)) continue;
        for (int y = i.top; y < i.bottom; y++) {
            uint32_t *row = dc.fb->row(y);
            for (int x = i.left; x < i.right; x++) row[x] = rop3(rop, brushPixel(*b, dc, x, y), 0, row[x]);
        }
    }
}

namespace {

struct PenState {
    uint32_t color;
    int width;
    int style;
};

PenState penOf(DCObj &dc) {
    auto p = lookupAs<PenObj>(dc.pen, Kind::Pen);
    PenState s{0, 1, PS_SOLID};
    if (!p) return s;
    s.style = static_cast<int>(p->lp.lopnStyle & PS_STYLE_MASK);
    s.width = std::max<int>(1, p->lp.lopnWidth.x);
    s.color = toPixel(p->handle == stockObject(DC_PEN) ? dc.dcPen : p->lp.lopnColor);
    return s;
}

void plot(DCObj &dc, int x, int y, uint32_t color) {
    if (!dc.eff.contains(x, y)) return;
    uint32_t &d = dc.fb->at(x, y);
    d = rop2Apply(dc.rop2, color, d);
}

// Dash patterns in pixels: on, off, ...
bool styleOn(int style, int n) {
    static const int dash[] = {18, 6}, dot[] = {3, 3}, dashdot[] = {9, 6, 3, 6}, dashdotdot[] = {9, 3, 3, 3, 3, 3};
    const int *p;
    int len;
    switch (style) {
    case PS_DASH: p = dash; len = 2; break;
    case PS_DOT: p = dot; len = 2; break;
    case PS_DASHDOT: p = dashdot; len = 4; break;
    case PS_DASHDOTDOT: p = dashdotdot; len = 6; break;
    default: return true;
    }
    int total = 0;
    for (int i = 0; i < len; i++) total += p[i];
    n %= total;
    for (int i = 0; i < len; i++) {
        if (n < p[i]) return (i % 2) == 0;
        n -= p[i];
    }
    return true;
}

// A line from (x0, y0) to (x1, y1) in fb coordinates, the last point left out.
void line(DCObj &dc, int x0, int y0, int x1, int y1) {
    PenState pen = penOf(dc);
    if (pen.style == PS_NULL || !dc.fb) return;
    int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy, n = 0;
    int half = (pen.width - 1) / 2;
    for (;;) {
        if (x0 == x1 && y0 == y1) break;
        if (styleOn(pen.style, n)) {
            if (pen.width == 1) {
                plot(dc, x0, y0, pen.color);
            } else {
                for (int yy = 0; yy < pen.width; yy++)
                    for (int xx = 0; xx < pen.width; xx++) plot(dc, x0 - half + xx, y0 - half + yy, pen.color);
            }
        }
        n++;
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

std::shared_ptr<BrushObj> brushOf(DCObj &dc) { return lookupAs<BrushObj>(dc.brush, Kind::Brush); }

RECT fbRect(const DCObj &dc, const RECT &r) {
    RECT f{dc.fx(r.left), dc.fy(r.top), dc.fx(r.right), dc.fy(r.bottom)};
    if (f.left > f.right) std::swap(f.left, f.right);
    if (f.top > f.bottom) std::swap(f.top, f.bottom);
    return f;
}

} // namespace

} // namespace winapi::gdi

using namespace winapi;
using namespace winapi::gdi;

extern "C" {

int WINAPI FillRect(HDC h, const RECT *r, HBRUSH hb) {
    auto dc = drawableDC(h);
    if (!dc || !r) return 0;
    uintptr_t v = reinterpret_cast<uintptr_t>(hb);
    if (v && v <= 31) hb = GetSysColorBrush(static_cast<int>(v - 1)); // COLOR_x + 1
    auto b = lookupAs<BrushObj>(hb, Kind::Brush);
    if (!b) return 0;
    fillRectFb(*dc, fbRect(*dc, *r), b.get(), PATCOPY);
    return 1;
}

int WINAPI FrameRect(HDC h, const RECT *r, HBRUSH hb) {
    auto dc = drawableDC(h);
    if (!dc || !r) return 0;
    auto b = lookupAs<BrushObj>(hb, Kind::Brush);
    if (!b) return 0;
    RECT f = fbRect(*dc, *r);
    if (rectEmpty(f)) return 1;
    fillRectFb(*dc, RECT{f.left, f.top, f.right, f.top + 1}, b.get());
    fillRectFb(*dc, RECT{f.left, f.bottom - 1, f.right, f.bottom}, b.get());
    fillRectFb(*dc, RECT{f.left, f.top + 1, f.left + 1, f.bottom - 1}, b.get());
    fillRectFb(*dc, RECT{f.right - 1, f.top + 1, f.right, f.bottom - 1}, b.get());
    return 1;
}

BOOL WINAPI InvertRect(HDC h, const RECT *r) {
    auto dc = drawableDC(h);
    if (!dc || !r || !dc->fb) return FALSE;
    RECT f = fbRect(*dc, *r);
    for (const RECT &c : dc->eff.rects()) {
        RECT i = rectIntersect(f, c);
        for (int y = i.top; y < i.bottom; y++)
            for (int x = i.left; x < i.right; x++) dc->fb->at(x, y) ^= 0xFFFFFF;
    }
    return TRUE;
}

BOOL WINAPI DrawFocusRect(HDC h, const RECT *r) {
    auto dc = drawableDC(h);
    if (!dc || !r || !dc->fb) return FALSE;
    // A dotted frame drawn by inverting: drawing it twice removes it.
    RECT f = fbRect(*dc, *r);
    auto inv = [&](int x, int y) {
        if (dc->eff.contains(x, y)) dc->fb->at(x, y) ^= 0xFFFFFF;
    };
    for (int x = f.left; x < f.right; x += 2) {
        inv(x, f.top);
        if (f.bottom - 1 > f.top) inv(x, f.bottom - 1);
    }
    for (int y = f.top + 2; y < f.bottom - 1; y += 2) {
        inv(f.left, y);
        if (f.right - 1 > f.left) inv(f.right - 1, y);
    }
    return TRUE;
}

BOOL WINAPI PatBlt(HDC h, int x, int y, int w, int hgt, DWORD rop) {
    auto dc = drawableDC(h);
    if (!dc) return FALSE;
    RECT r{x, y, x + w, y + hgt};
    auto b = brushOf(*dc);
    BrushObj black;
    black.lb.lbStyle = BS_SOLID;
    if (!b || b->lb.lbStyle == BS_NULL) b = std::make_shared<BrushObj>(black);
    fillRectFb(*dc, fbRect(*dc, r), b.get(), rop);
    return TRUE;
}

BOOL WINAPI MoveToEx(HDC h, int x, int y, LPPOINT old) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) return FALSE;
    if (old) *old = dc->cur;
    dc->cur = POINT{x, y};
    return TRUE;
}

BOOL WINAPI LineTo(HDC h, int x, int y) {
    auto dc = drawableDC(h);
    if (!dc) return FALSE;
    line(*dc, dc->fx(dc->cur.x), dc->fy(dc->cur.y), dc->fx(x), dc->fy(y));
    dc->cur = POINT{x, y};
    return TRUE;
}

BOOL WINAPI Polyline(HDC h, const POINT *pts, int n) {
    auto dc = drawableDC(h);
    if (!dc || !pts || n < 2) return FALSE;
    for (int i = 1; i < n; i++) line(*dc, dc->fx(pts[i - 1].x), dc->fy(pts[i - 1].y), dc->fx(pts[i].x), dc->fy(pts[i].y));
    return TRUE;
}

BOOL WINAPI PolylineTo(HDC h, const POINT *pts, DWORD n) {
    auto dc = drawableDC(h);
    if (!dc || !pts) return FALSE;
    for (DWORD i = 0; i < n; i++) {
        line(*dc, dc->fx(dc->cur.x), dc->fy(dc->cur.y), dc->fx(pts[i].x), dc->fy(pts[i].y));
        dc->cur = pts[i];
    }
    return TRUE;
}

BOOL WINAPI Polygon(HDC h, const POINT *pts, int n) {
    auto dc = drawableDC(h);
    if (!dc || !pts || n < 2) return FALSE;
    // Interior by scan lines (alternate fill), then the outline.
    auto b = brushOf(*dc);
    if (b && b->lb.lbStyle != BS_NULL) {
        int ymin = pts[0].y, ymax = pts[0].y;
        for (int i = 1; i < n; i++) {
            ymin = std::min<int>(ymin, pts[i].y);
            ymax = std::max<int>(ymax, pts[i].y);
        }
        for (int y = ymin; y < ymax; y++) {
            std::vector<int> xs;
            double yc = y + 0.5;
            for (int i = 0; i < n; i++) {
                POINT a = pts[i], c = pts[(i + 1) % n];
                if ((a.y <= yc && c.y > yc) || (c.y <= yc && a.y > yc))
                    xs.push_back(static_cast<int>(std::lround(a.x + (yc - a.y) * (c.x - a.x) / double(c.y - a.y))));
            }
            std::sort(xs.begin(), xs.end());
            for (size_t k = 0; k + 1 < xs.size(); k += 2)
                fillRectFb(*dc, RECT{dc->fx(xs[k]), dc->fy(y), dc->fx(xs[k + 1]), dc->fy(y) + 1}, b.get());
        }
    }
    for (int i = 0; i < n; i++)
        line(*dc, dc->fx(pts[i].x), dc->fy(pts[i].y), dc->fx(pts[(i + 1) % n].x), dc->fy(pts[(i + 1) % n].y));
    return TRUE;
}

BOOL WINAPI Rectangle(HDC h, int l, int t, int r, int b) {
    auto dc = drawableDC(h);
    if (!dc) return FALSE;
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    PenState pen = penOf(*dc);
    int inset = pen.style == PS_NULL ? 0 : 1;
    auto br = brushOf(*dc);
    if (br) fillRectFb(*dc, fbRect(*dc, RECT{l + inset, t + inset, r - inset, b - inset}), br.get());
    if (pen.style != PS_NULL) {
        int x0 = dc->fx(l), y0 = dc->fy(t), x1 = dc->fx(r) - 1, y1 = dc->fy(b) - 1;
        line(*dc, x0, y0, x1, y0);
        line(*dc, x1, y0, x1, y1);
        line(*dc, x1, y1, x0, y1);
        line(*dc, x0, y1, x0, y0);
    }
    return TRUE;
}

BOOL WINAPI RoundRect(HDC h, int l, int t, int r, int b, int, int) { return Rectangle(h, l, t, r, b); }

BOOL WINAPI Ellipse(HDC h, int l, int t, int r, int b) {
    auto dc = drawableDC(h);
    if (!dc) return FALSE;
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    double cx = (l + r - 1) / 2.0, cy = (t + b - 1) / 2.0, rx = (r - l) / 2.0, ry = (b - t) / 2.0;
    if (rx <= 0 || ry <= 0) return TRUE;
    auto br = brushOf(*dc);
    PenState pen = penOf(*dc);
    for (int y = t; y < b; y++) {
        double dy = (y - cy) / ry;
        if (dy * dy > 1) continue;
        double half = rx * std::sqrt(1 - dy * dy);
        int x0 = static_cast<int>(std::lround(cx - half)), x1 = static_cast<int>(std::lround(cx + half));
        if (br) fillRectFb(*dc, RECT{dc->fx(x0), dc->fy(y), dc->fx(x1) + 1, dc->fy(y) + 1}, br.get());
        if (pen.style != PS_NULL) {
            plot(*dc, dc->fx(x0), dc->fy(y), pen.color);
            plot(*dc, dc->fx(x1), dc->fy(y), pen.color);
        }
    }
    return TRUE;
}

COLORREF WINAPI GetPixel(HDC h, int x, int y) {
    auto dc = drawableDC(h);
    if (!dc || !dc->fb) return CLR_INVALID;
    int fx = dc->fx(x), fy = dc->fy(y);
    if (!dc->eff.contains(fx, fy)) return CLR_INVALID;
    return toColor(dc->fb->at(fx, fy));
}

COLORREF WINAPI SetPixel(HDC h, int x, int y, COLORREF c) {
    auto dc = drawableDC(h);
    if (!dc || !dc->fb) return CLR_INVALID;
    int fx = dc->fx(x), fy = dc->fy(y);
    if (!dc->eff.contains(fx, fy)) return CLR_INVALID;
    dc->fb->at(fx, fy) = toPixel(c);
    return c & 0xFFFFFF;
}

BOOL WINAPI SetPixelV(HDC h, int x, int y, COLORREF c) { return SetPixel(h, x, y, c) != CLR_INVALID; }

COLORREF WINAPI GetNearestColor(HDC, COLORREF c) { return c & 0xFFFFFF; }

BOOL WINAPI FillRgn(HDC h, HRGN rgn, HBRUSH hb) {
    auto ro = lookupAs<RegionObj>(rgn, Kind::Region);
    if (!ro) return FALSE;
    for (const RECT &r : ro->rgn.rects()) FillRect(h, &r, hb);
    return TRUE;
}

BOOL WINAPI PaintRgn(HDC h, HRGN rgn) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) return FALSE;
    return FillRgn(h, rgn, static_cast<HBRUSH>(dc->brush));
}

BOOL WINAPI StretchBlt(HDC hd, int xd, int yd, int wd, int hdh, HDC hs, int xs, int ys, int ws, int hsh, DWORD rop) {
    auto dst = drawableDC(hd);
    if (!dst || !dst->fb) return FALSE;
    bool needSrc = ((rop >> 2) & 0x330000) != (rop & 0x330000);
    std::shared_ptr<DCObj> src;
    if (needSrc) {
        src = drawableDC(hs);
        if (!src || !src->fb) return FALSE;
    }
    if (wd == 0 || hdh == 0 || (needSrc && (ws == 0 || hsh == 0))) return TRUE;
    auto brush = brushOf(*dst);
    bool needPat = ((rop >> 4) & 0x0F0000) != (rop & 0x0F0000);
    bool dstMono = false, srcMono = false;
    if (dst->type == DCObj::Memory)
        if (auto bm = lookupAs<BitmapObj>(dst->bitmap, Kind::Bitmap)) dstMono = bm->bpp == 1;
    if (src && src->type == DCObj::Memory)
        if (auto bm = lookupAs<BitmapObj>(src->bitmap, Kind::Bitmap)) srcMono = bm->bpp == 1;
    // Mirrored copies are drawn with negative sizes.
    int dx0 = dst->fx(xd), dy0 = dst->fy(yd);
    RECT drect = RECT{std::min(dx0, dx0 + wd), std::min(dy0, dy0 + hdh), std::max(dx0, dx0 + wd), std::max(dy0, dy0 + hdh)};
    // A copy within one surface reads from a snapshot.
    std::vector<uint32_t> copy;
    Framebuffer *sfb = src ? src->fb.get() : nullptr;
    int sx0 = src ? src->fx(xs) : 0, sy0 = src ? src->fy(ys) : 0;
    std::unique_ptr<Framebuffer> snap;
    if (src && src->fb == dst->fb) {
        snap = std::make_unique<Framebuffer>(sfb->width, sfb->height);
        for (int y = 0; y < sfb->height; y++) std::memcpy(snap->row(y), sfb->row(y), sfb->width * 4u);
        sfb = snap.get();
    }
    uint32_t srcBk = src ? toPixel(src->bkColor) : 0;
    uint32_t dstText = toPixel(dst->textColor), dstBk = toPixel(dst->bkColor);
    bool plainCopy = rop == SRCCOPY && ws == wd && hsh == hdh && srcMono == dstMono;
    for (const RECT &c : dst->eff.rects()) {
        RECT i = rectIntersect(drect, c);
        for (int y = i.top; y < i.bottom; y++) {
            uint32_t *row = dst->fb->row(y);
            int sy = 0;
            if (src) {
                sy = sy0 + static_cast<int>((static_cast<int64_t>(y - dy0) * hsh) / hdh);
                if (hdh < 0 || hsh < 0) sy = sy0 + static_cast<int>(std::floor((y - dy0 + 0.5) * double(hsh) / hdh));
            }
            for (int x = i.left; x < i.right; x++) {
                uint32_t s = 0;
                if (src) {
                    int sx = sx0 + static_cast<int>((static_cast<int64_t>(x - dx0) * ws) / wd);
                    if (wd < 0 || ws < 0) sx = sx0 + static_cast<int>(std::floor((x - dx0 + 0.5) * double(ws) / wd));
                    if (sx < 0 || sy < 0 || sx >= sfb->width || sy >= sfb->height) continue;
                    s = sfb->at(sx, sy);
                    if (plainCopy) {
                        row[x] = s;
                        continue;
                    }
                    // Colour conversions of monochrome bitmaps, as Windows makes them.
                    if (srcMono && !dstMono) s = s ? dstBk : dstText;
                    else if (!srcMono && dstMono) s = (s == srcBk) ? 0xFFFFFF : 0;
                }
                uint32_t p = needPat && brush ? brushPixel(*brush, *dst, x, y) : 0;
                uint32_t r = rop3(rop, p, s, usesDest(rop) ? row[x] : 0);
                if (dstMono) r = r ? 0xFFFFFF : 0;
                row[x] = r;
            }
        }
    }
    return TRUE;
}

BOOL WINAPI BitBlt(HDC hd, int x, int y, int w, int h, HDC hs, int xs, int ys, DWORD rop) {
    return StretchBlt(hd, x, y, w, h, hs, xs, ys, w, h, rop);
}

BOOL WINAPI DrawEdge(HDC h, LPRECT r, UINT edge, UINT flags) {
    if (!r) return FALSE;
    // Outer and inner lines: top-left colour and bottom-right colour.
    int outerTL = -1, outerBR = -1, innerTL = -1, innerBR = -1;
    if (edge & BDR_RAISEDOUTER) { outerTL = COLOR_3DLIGHT; outerBR = COLOR_3DDKSHADOW; }
    if (edge & BDR_SUNKENOUTER) { outerTL = COLOR_3DSHADOW; outerBR = COLOR_3DHIGHLIGHT; }
    if (edge & BDR_RAISEDINNER) { innerTL = COLOR_3DHIGHLIGHT; innerBR = COLOR_3DSHADOW; }
    if (edge & BDR_SUNKENINNER) { innerTL = COLOR_3DDKSHADOW; innerBR = COLOR_3DLIGHT; }
    if (flags & BF_SOFT) std::swap(outerTL, innerTL);
    if (flags & BF_MONO) { outerTL = outerBR = COLOR_WINDOWFRAME; innerTL = innerBR = COLOR_WINDOW; }
    if (flags & BF_FLAT) { outerTL = outerBR = COLOR_3DSHADOW; innerTL = innerBR = COLOR_3DFACE; }
    RECT x = *r;
    auto side = [&](int tl, int br) {
        if (tl < 0 && br < 0) return;
        if (flags & BF_TOP && tl >= 0) {
            RECT s{x.left, x.top, x.right, x.top + 1};
            FillRect(h, &s, GetSysColorBrush(tl));
        }
        if (flags & BF_LEFT && tl >= 0) {
            RECT s{x.left, x.top, x.left + 1, x.bottom};
            FillRect(h, &s, GetSysColorBrush(tl));
        }
        if (flags & BF_BOTTOM && br >= 0) {
            RECT s{x.left, x.bottom - 1, x.right, x.bottom};
            FillRect(h, &s, GetSysColorBrush(br));
        }
        if (flags & BF_RIGHT && br >= 0) {
            RECT s{x.right - 1, x.top, x.right, x.bottom};
            FillRect(h, &s, GetSysColorBrush(br));
        }
        if (flags & BF_LEFT) x.left++;
        if (flags & BF_TOP) x.top++;
        if (flags & BF_RIGHT) x.right--;
        if (flags & BF_BOTTOM) x.bottom--;
    };
    side(outerTL, outerBR);
    side(innerTL, innerBR);
    if (flags & BF_MIDDLE) FillRect(h, &x, GetSysColorBrush((flags & BF_MONO) ? COLOR_WINDOW : COLOR_3DFACE));
    if (flags & BF_ADJUST) *r = x;
    return TRUE;
}

BOOL WINAPI DrawFrameControl(HDC h, LPRECT r, UINT type, UINT state) {
    if (!r) return FALSE;
    RECT x = *r;
    auto dc = drawableDC(h);
    if (!dc) return FALSE;
    auto drawGlyph = [&](const RECT &box, int kind, COLORREF color, int shift) {
        // Glyphs scale with the box: a cross, a bar, a frame, or an arrow.
        int w = box.right - box.left, hgt = box.bottom - box.top;
        int s = std::max(3, std::min(w, hgt) * 5 / 8);
        int cx = box.left + w / 2 + shift, cy = box.top + hgt / 2 + shift;
        HPEN pen = CreatePen(PS_SOLID, 1, color);
        HGDIOBJ old = SelectObject(h, pen);
        auto ln = [&](int a, int b, int c, int d) {
            MoveToEx(h, a, b, nullptr);
            LineTo(h, c, d);
        };
        int half = s / 2;
        switch (kind) {
        case 0: // close: an X two pixels thick
            for (int k = 0; k < 2; k++) {
                ln(cx - half + k, cy - half, cx + half + k, cy + half);
                ln(cx + half - 1 + k, cy - half, cx - half - 1 + k, cy + half);
            }
            break;
        case 1: // minimise: a bar at the bottom
            for (int k = 0; k < 2; k++) ln(cx - half, cy + half - 1 - k, cx + half - 1, cy + half - 1 - k);
            break;
        case 2: { // maximise: a window
            RECT f{cx - half, cy - half, cx + half, cy + half};
            HBRUSH b = CreateSolidBrush(color);
            FrameRect(h, &f, b);
            RECT t{f.left, f.top + 1, f.right, f.top + 2};
            FillRect(h, &t, b);
            DeleteObject(b);
            break;
        }
        case 3: { // restore: two windows
            HBRUSH b = CreateSolidBrush(color);
            RECT f1{cx - half + 2, cy - half, cx + half, cy + half - 2};
            RECT f2{cx - half, cy - half + 3, cx + half - 2, cy + half};
            FrameRect(h, &f1, b);
            FillRect(h, &f2, GetSysColorBrush(COLOR_3DFACE));
            FrameRect(h, &f2, b);
            RECT t{f2.left, f2.top + 1, f2.right, f2.top + 2};
            FillRect(h, &t, b);
            DeleteObject(b);
            break;
        }
        default: { // arrows: 4 up, 5 down, 6 left, 7 right
            int n = std::max(2, s / 2);
            for (int k = 0; k < n; k++) {
                int len = k;
                switch (kind) {
                case 4: ln(cx - len, cy - n / 2 + k, cx + len + 1, cy - n / 2 + k); break;
                case 5: ln(cx - len, cy + n / 2 - k, cx + len + 1, cy + n / 2 - k); break;
                case 6: ln(cx - n / 2 + k, cy - len, cx - n / 2 + k, cy + len + 1); break;
                case 7: ln(cx + n / 2 - k, cy - len, cx + n / 2 - k, cy + len + 1); break;
                }
            }
            break;
        }
        }
        SelectObject(h, old);
        DeleteObject(pen);
    };
    bool pushed = (state & DFCS_PUSHED) != 0, inactive = (state & DFCS_INACTIVE) != 0;
    auto button = [&]() {
        if (pushed) {
            DrawEdge(h, &x, EDGE_SUNKEN, BF_RECT | BF_MIDDLE | BF_SOFT | ((state & DFCS_FLAT) ? BF_FLAT : 0));
        } else {
            DrawEdge(h, &x, EDGE_RAISED, BF_RECT | BF_MIDDLE | ((state & DFCS_FLAT) ? BF_FLAT : 0));
        }
    };
    auto glyph = [&](int kind) {
        int shift = pushed ? 1 : 0;
        if (inactive) {
            drawGlyph(x, kind, GetSysColor(COLOR_3DHIGHLIGHT), shift + 1);
            drawGlyph(x, kind, GetSysColor(COLOR_3DSHADOW), shift);
        } else {
            drawGlyph(x, kind, GetSysColor(COLOR_BTNTEXT), shift);
        }
    };
    switch (type) {
    case DFC_CAPTION: {
        button();
        int k = 0;
        switch (state & 0xFF) {
        case DFCS_CAPTIONCLOSE: k = 0; break;
        case DFCS_CAPTIONMIN: k = 1; break;
        case DFCS_CAPTIONMAX: k = 2; break;
        case DFCS_CAPTIONRESTORE: k = 3; break;
        }
        glyph(k);
        return TRUE;
    }
    case DFC_SCROLL: {
        button();
        int k = 4;
        switch (state & 0xFF) {
        case DFCS_SCROLLUP: k = 4; break;
        case DFCS_SCROLLDOWN: case DFCS_SCROLLCOMBOBOX: k = 5; break;
        case DFCS_SCROLLLEFT: k = 6; break;
        case DFCS_SCROLLRIGHT: k = 7; break;
        }
        glyph(k);
        return TRUE;
    }
    case DFC_MENU: {
        COLORREF c = GetTextColor(h);
        if ((state & 0xFF) == DFCS_MENUCHECK) {
            // A check mark of the classic shape.
            int cx = x.left + (x.right - x.left) / 2 - 3, cy = x.top + (x.bottom - x.top) / 2 - 1;
            for (int k = 0; k < 3; k++) {
                SetPixel(h, cx + k, cy + k, c);
                SetPixel(h, cx + k, cy + k + 1, c);
                SetPixel(h, cx + k, cy + k + 2, c);
            }
            for (int k = 0; k < 4; k++) {
                SetPixel(h, cx + 3 + k, cy + 1 - k, c);
                SetPixel(h, cx + 3 + k, cy + 2 - k, c);
                SetPixel(h, cx + 3 + k, cy + 3 - k, c);
            }
        } else if ((state & 0xFF) == DFCS_MENUBULLET) {
            int cx = x.left + (x.right - x.left) / 2, cy = x.top + (x.bottom - x.top) / 2;
            for (int yy = -2; yy <= 2; yy++)
                for (int xx = -2; xx <= 2; xx++)
                    if (xx * xx + yy * yy <= 5) SetPixel(h, cx + xx, cy + yy, c);
        } else {
            int cx = x.left + (x.right - x.left) / 2 - 1, cy = x.top + (x.bottom - x.top) / 2;
            for (int k = 0; k < 4; k++)
                for (int yy = -3 + k; yy <= 3 - k; yy++) SetPixel(h, cx + k, cy + yy, c);
        }
        return TRUE;
    }
    case DFC_BUTTON: {
        UINT kind = state & 0xFF;
        if (kind & DFCS_BUTTONPUSH) {
            button();
            return TRUE;
        }
        if (kind & (DFCS_BUTTONRADIO | DFCS_BUTTONRADIOIMAGE | DFCS_BUTTONRADIOMASK)) {
            int d = std::min(x.right - x.left, x.bottom - x.top);
            int cx = x.left + d / 2, cy = x.top + d / 2;
            double rr = d / 2.0 - 0.5;
            auto ring = [&](double r0, double r1, int colorTop, int colorBottom) {
                for (int yy = x.top; yy < x.top + d; yy++)
                    for (int xx = x.left; xx < x.left + d; xx++) {
                        double ddx = xx - (cx - 0.5), ddy = yy - (cy - 0.5);
                        double dd = std::sqrt(ddx * ddx + ddy * ddy);
                        if (dd > r1 || dd <= r0) continue;
                        bool upper = ddx + ddy < 0;
                        SetPixel(h, xx, yy, GetSysColor(upper ? colorTop : colorBottom));
                    }
            };
            ring(rr - 1, rr, COLOR_3DSHADOW, COLOR_3DHIGHLIGHT);
            ring(rr - 2, rr - 1, COLOR_3DDKSHADOW, COLOR_3DLIGHT);
            ring(-1, rr - 2, inactive || pushed ? COLOR_3DFACE : COLOR_WINDOW, inactive || pushed ? COLOR_3DFACE : COLOR_WINDOW);
            if (state & DFCS_CHECKED) ring(-1, d / 6.0 + 0.6, inactive ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT,
                                            inactive ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT);
            return TRUE;
        }
        // Check boxes.
        RECT b = x;
        DrawEdge(h, &b, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
        FillRect(h, &b, GetSysColorBrush(inactive || pushed ? COLOR_3DFACE : COLOR_WINDOW));
        if (state & DFCS_CHECKED) {
            COLORREF old = SetTextColor(h, GetSysColor(inactive ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
            RECT m = b;
            DrawFrameControl(h, &m, DFC_MENU, DFCS_MENUCHECK);
            SetTextColor(h, old);
        }
        return TRUE;
    }
    }
    return FALSE;
}

} // extern "C"
