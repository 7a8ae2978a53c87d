// The GDI handle table, stock objects, pens, brushes, regions, and the
// calls that select, delete and describe objects.
#include "gdi.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace winapi::gdi {

// A window may be far larger than any screen (a template may ask for
// 30000 dialog units); its surface is cut to a size that can be shown, so
// that no window size exhausts memory. Drawing clips to the surface.
constexpr int kMaxSurfaceSide = 4096;

Framebuffer::Framebuffer(int w, int h, uint32_t fill)
    : width(std::clamp(w, 0, kMaxSurfaceSide)), height(std::clamp(h, 0, kMaxSurfaceSide)), stride(width) {
    own_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), fill);
    data = own_.data();
}

Framebuffer::Framebuffer(uint32_t *external, int w, int h, int s) : width(w), height(h), stride(s), data(external) {}

namespace {

std::mutex &tableMutex() {
    static auto *m = new std::mutex;
    return *m;
}
std::unordered_map<uintptr_t, std::shared_ptr<GdiObject>> &table() {
    static auto *t = new std::unordered_map<uintptr_t, std::shared_ptr<GdiObject>>;
    return *t;
}
uintptr_t g_next = 0x00A00010;

} // namespace

HGDIOBJ insertObject(std::shared_ptr<GdiObject> obj) {
    std::lock_guard<std::mutex> lk(tableMutex());
    HGDIOBJ h = reinterpret_cast<HGDIOBJ>(g_next);
    g_next += 4;
    obj->handle = h;
    table()[reinterpret_cast<uintptr_t>(h)] = std::move(obj);
    return h;
}

std::shared_ptr<GdiObject> lookupObject(HGDIOBJ h) {
    if (!h) return nullptr;
    std::lock_guard<std::mutex> lk(tableMutex());
    auto it = table().find(reinterpret_cast<uintptr_t>(h));
    return it == table().end() ? nullptr : it->second;
}

void removeObject(HGDIOBJ h) {
    std::lock_guard<std::mutex> lk(tableMutex());
    table().erase(reinterpret_cast<uintptr_t>(h));
}

std::shared_ptr<Font> FontObj::realize() {
    std::lock_guard<std::mutex> lk(mu_);
    if (!font_) {
        FontRequest rq;
        rq.face = lf.lfFaceName;
        rq.height = lf.lfHeight;
        rq.width = lf.lfWidth;
        rq.weight = lf.lfWeight;
        rq.italic = lf.lfItalic != 0;
        rq.underline = lf.lfUnderline != 0;
        rq.strikeOut = lf.lfStrikeOut != 0;
        rq.charSet = lf.lfCharSet;
        rq.pitchAndFamily = lf.lfPitchAndFamily;
        font_ = Font::select(rq);
    }
    return font_;
}

namespace {

HGDIOBJ makeStockPen(int style, COLORREF c) {
    auto p = std::make_shared<PenObj>();
    p->lp.lopnStyle = static_cast<UINT>(style);
    p->lp.lopnWidth = POINT{1, 0};
    p->lp.lopnColor = c;
    p->stock = true;
    return insertObject(p);
}

HGDIOBJ makeStockBrush(UINT style, COLORREF c) {
    auto b = std::make_shared<BrushObj>();
    b->lb.lbStyle = style;
    b->lb.lbColor = c;
    b->stock = true;
    return insertObject(b);
}

HGDIOBJ makeStockFont(const char *face, int height, int weight, BYTE charset, BYTE pitch) {
    auto f = std::make_shared<FontObj>();
    f->lf.lfHeight = height;
    f->lf.lfWeight = weight;
    f->lf.lfCharSet = charset;
    f->lf.lfPitchAndFamily = pitch;
    lstrcpynA(f->lf.lfFaceName, face, LF_FACESIZE);
    f->stock = true;
    return insertObject(f);
}

struct Stock {
    HGDIOBJ objs[20] = {};
    HGDIOBJ sysBrushes[31] = {};
    HGDIOBJ defaultBitmap = nullptr;
    Stock() {
        objs[WHITE_BRUSH] = makeStockBrush(BS_SOLID, RGB(255, 255, 255));
        objs[LTGRAY_BRUSH] = makeStockBrush(BS_SOLID, RGB(192, 192, 192));
        objs[GRAY_BRUSH] = makeStockBrush(BS_SOLID, RGB(128, 128, 128));
        objs[DKGRAY_BRUSH] = makeStockBrush(BS_SOLID, RGB(64, 64, 64));
        objs[BLACK_BRUSH] = makeStockBrush(BS_SOLID, RGB(0, 0, 0));
        objs[NULL_BRUSH] = makeStockBrush(BS_NULL, 0);
        objs[WHITE_PEN] = makeStockPen(PS_SOLID, RGB(255, 255, 255));
        objs[BLACK_PEN] = makeStockPen(PS_SOLID, RGB(0, 0, 0));
        objs[NULL_PEN] = makeStockPen(PS_NULL, 0);
        objs[OEM_FIXED_FONT] = makeStockFont("Terminal", 12, FW_NORMAL, OEM_CHARSET, FIXED_PITCH | FF_MODERN);
        objs[ANSI_FIXED_FONT] = makeStockFont("Courier", 13, FW_NORMAL, ANSI_CHARSET, FIXED_PITCH | FF_MODERN);
        objs[ANSI_VAR_FONT] = makeStockFont("MS Sans Serif", 13, FW_NORMAL, ANSI_CHARSET, VARIABLE_PITCH | FF_SWISS);
        objs[SYSTEM_FONT] = makeStockFont("System", 16, FW_BOLD, ANSI_CHARSET, VARIABLE_PITCH | FF_SWISS);
        objs[DEVICE_DEFAULT_FONT] = makeStockFont("System", 16, FW_BOLD, ANSI_CHARSET, VARIABLE_PITCH | FF_SWISS);
        objs[SYSTEM_FIXED_FONT] = makeStockFont("Fixedsys", 15, FW_NORMAL, ANSI_CHARSET, FIXED_PITCH | FF_MODERN);
        objs[DEFAULT_GUI_FONT] = makeStockFont("MS Sans Serif", -11, FW_NORMAL, ANSI_CHARSET, VARIABLE_PITCH | FF_SWISS);
        objs[DC_BRUSH] = makeStockBrush(BS_SOLID, RGB(255, 255, 255));
        objs[DC_PEN] = makeStockPen(PS_SOLID, RGB(0, 0, 0));
        for (int i = 0; i < 31; i++) {
            auto b = std::make_shared<BrushObj>();
            b->lb.lbStyle = BS_SOLID;
            b->sysColor = i;
            b->stock = true;
            sysBrushes[i] = insertObject(b);
        }
        auto bm = std::make_shared<BitmapObj>();
        bm->fb = std::make_shared<Framebuffer>(1, 1, 0);
        bm->bpp = 1;
        bm->stock = true;
        defaultBitmap = insertObject(bm);
    }
};

Stock &stock() {
    static auto *s = new Stock;
    return *s;
}

} // namespace

HGDIOBJ stockObject(int i) {
    if (i < 0 || i >= 20 || i == DEFAULT_PALETTE) return nullptr;
    return stock().objs[i];
}

HBRUSH sysColorBrush(int i) { return static_cast<HBRUSH>(stock().sysBrushes[i]); }

HGDIOBJ defaultBitmapObject() { return stock().defaultBitmap; }

} // namespace winapi::gdi

using namespace winapi;
using namespace winapi::gdi;

extern "C" {

HGDIOBJ WINAPI GetStockObject(int i) { return stockObject(i); }

HPEN WINAPI CreatePenIndirect(const LOGPEN *lp) {
    if (!lp) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto p = std::make_shared<PenObj>();
    p->lp = *lp;
    if (p->lp.lopnStyle > PS_INSIDEFRAME) p->lp.lopnStyle = PS_SOLID;
    if (p->lp.lopnWidth.x < 0) p->lp.lopnWidth.x = -p->lp.lopnWidth.x;
    // Styled pens are one pixel wide, as on Windows.
    if (p->lp.lopnStyle >= PS_DASH && p->lp.lopnStyle <= PS_DASHDOTDOT && p->lp.lopnWidth.x > 1) p->lp.lopnStyle = PS_SOLID;
    p->lp.lopnColor &= 0xFFFFFF;
    return static_cast<HPEN>(insertObject(p));
}

HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
    LOGPEN lp{static_cast<UINT>(style), POINT{width, 0}, color};
    return CreatePenIndirect(&lp);
}

HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH *lb) {
    if (!lb) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto b = std::make_shared<BrushObj>();
    b->lb = *lb;
    b->lb.lbColor &= 0xFFFFFF;
    if (lb->lbStyle == BS_PATTERN) {
        auto bm = lookupAs<BitmapObj>(reinterpret_cast<HGDIOBJ>(lb->lbHatch), Kind::Bitmap);
        if (!bm) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        int w = std::min(bm->fb->width, 8), h = std::min(bm->fb->height, 8);
        b->pattern = std::make_shared<Framebuffer>(w, h);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) b->pattern->at(x, y) = bm->fb->at(x, y);
        b->monoPattern = bm->bpp == 1;
    } else if (lb->lbStyle != BS_SOLID && lb->lbStyle != BS_NULL && lb->lbStyle != BS_HATCHED) {
        b->lb.lbStyle = BS_SOLID;
    }
    return static_cast<HBRUSH>(insertObject(b));
}

HBRUSH WINAPI CreateSolidBrush(COLORREF c) {
    LOGBRUSH lb{BS_SOLID, c, 0};
    return CreateBrushIndirect(&lb);
}

HBRUSH WINAPI CreateHatchBrush(int hatch, COLORREF c) {
    LOGBRUSH lb{BS_HATCHED, c, static_cast<ULONG_PTR>(hatch)};
    return CreateBrushIndirect(&lb);
}

HBRUSH WINAPI CreatePatternBrush(HBITMAP bm) {
    LOGBRUSH lb{BS_PATTERN, 0, reinterpret_cast<ULONG_PTR>(bm)};
    return CreateBrushIndirect(&lb);
}

BOOL WINAPI DeleteObject(HGDIOBJ h) {
    auto o = lookupObject(h);
    if (!o || o->kind == Kind::DC) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (o->stock) return TRUE;
    if (o->kind == Kind::Bitmap && std::static_pointer_cast<BitmapObj>(o)->selectedInto) return FALSE;
    removeObject(h);
    return TRUE;
}

DWORD WINAPI GetObjectType(HGDIOBJ h) {
    auto o = lookupObject(h);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (o->kind) {
    case Kind::Pen: return OBJ_PEN;
    case Kind::Brush: return OBJ_BRUSH;
    case Kind::Font: return OBJ_FONT;
    case Kind::Bitmap: return OBJ_BITMAP;
    case Kind::Region: return OBJ_REGION;
    case Kind::DC: return std::static_pointer_cast<DCObj>(o)->type == DCObj::Memory ? OBJ_MEMDC : OBJ_DC;
    }
    return 0;
}

int WINAPI GetObjectA(HANDLE h, int size, LPVOID out) {
    auto o = lookupObject(h);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    auto give = [&](const void *src, int n) -> int {
        if (!out) return n;
        int k = std::min(size, n);
        if (k <= 0) return 0;
        std::memcpy(out, src, static_cast<size_t>(k));
        return k;
    };
    switch (o->kind) {
    case Kind::Pen: return give(&std::static_pointer_cast<PenObj>(o)->lp, sizeof(LOGPEN));
    case Kind::Brush: {
        auto b = std::static_pointer_cast<BrushObj>(o);
        LOGBRUSH lb = b->lb;
        if (b->sysColor >= 0) lb.lbColor = GetSysColor(b->sysColor);
        return give(&lb, sizeof(LOGBRUSH));
    }
    case Kind::Font: return give(&std::static_pointer_cast<FontObj>(o)->lf, sizeof(LOGFONTA));
    case Kind::Bitmap: {
        auto b = std::static_pointer_cast<BitmapObj>(o);
        DIBSECTION ds{};
        ds.dsBm.bmType = 0;
        ds.dsBm.bmWidth = b->fb->width;
        ds.dsBm.bmHeight = b->fb->height;
        ds.dsBm.bmPlanes = 1;
        ds.dsBm.bmBitsPixel = static_cast<WORD>(b->bpp);
        ds.dsBm.bmWidthBytes = b->dibSection ? ((b->fb->width * b->bpp + 31) / 32) * 4 : ((b->fb->width * b->bpp + 15) / 16) * 2;
        ds.dsBm.bmBits = b->bits;
        if (b->dibSection && size >= static_cast<int>(sizeof(DIBSECTION))) {
            ds.dsBmih = b->bih;
            return give(&ds, sizeof(DIBSECTION));
        }
        return give(&ds.dsBm, sizeof(BITMAP));
    }
    default:
        break;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
}

BOOL WINAPI UnrealizeObject(HGDIOBJ h) { return lookupObject(h) ? TRUE : FALSE; }

// ---- regions -------------------------------------------------------------------

HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2) {
    auto r = std::make_shared<RegionObj>();
    r->rgn = Region(RECT{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)});
    return static_cast<HRGN>(insertObject(r));
}

HRGN WINAPI CreateRectRgnIndirect(const RECT *r) {
    if (!r) return nullptr;
    return CreateRectRgn(r->left, r->top, r->right, r->bottom);
}

BOOL WINAPI SetRectRgn(HRGN h, int l, int t, int r, int b) {
    auto o = lookupAs<RegionObj>(h, Kind::Region);
    if (!o) return FALSE;
    o->rgn = Region(RECT{std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)});
    return TRUE;
}

static int regionKind(const Region &r) {
    if (r.empty()) return NULLREGION;
    return r.rects().size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

int WINAPI CombineRgn(HRGN dst, HRGN a, HRGN b, int mode) {
    auto d = lookupAs<RegionObj>(dst, Kind::Region);
    auto ra = lookupAs<RegionObj>(a, Kind::Region);
    auto rb = mode == RGN_COPY ? nullptr : lookupAs<RegionObj>(b, Kind::Region);
    if (!d || !ra || (mode != RGN_COPY && !rb)) return ERROR;
    Region out = ra->rgn;
    switch (mode) {
    case RGN_AND: out.intersect(rb->rgn); break;
    case RGN_OR: out.add(rb->rgn); break;
    case RGN_DIFF: out.subtract(rb->rgn); break;
    case RGN_XOR: {
        Region x = rb->rgn;
        x.subtract(ra->rgn);
        out.subtract(rb->rgn);
        out.add(x);
        break;
    }
    case RGN_COPY: break;
    default: return ERROR;
    }
    d->rgn = out;
    return regionKind(out);
}

int WINAPI GetRgnBox(HRGN h, LPRECT r) {
    auto o = lookupAs<RegionObj>(h, Kind::Region);
    if (!o || !r) return ERROR;
    *r = o->rgn.bounds();
    return regionKind(o->rgn);
}

int WINAPI OffsetRgn(HRGN h, int x, int y) {
    auto o = lookupAs<RegionObj>(h, Kind::Region);
    if (!o) return ERROR;
    o->rgn.offset(x, y);
    return regionKind(o->rgn);
}

BOOL WINAPI PtInRegion(HRGN h, int x, int y) {
    auto o = lookupAs<RegionObj>(h, Kind::Region);
    return o && o->rgn.contains(x, y) ? TRUE : FALSE;
}

BOOL WINAPI RectInRegion(HRGN h, const RECT *r) {
    auto o = lookupAs<RegionObj>(h, Kind::Region);
    return o && r && o->rgn.intersects(*r) ? TRUE : FALSE;
}

BOOL WINAPI EqualRgn(HRGN a, HRGN b) {
    auto ra = lookupAs<RegionObj>(a, Kind::Region), rb = lookupAs<RegionObj>(b, Kind::Region);
    return ra && rb && ra->rgn == rb->rgn ? TRUE : FALSE;
}

} // extern "C"
