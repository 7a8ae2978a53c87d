// Device contexts: window, memory and information DCs, their attributes,
// selected objects, saved states, clipping and coordinates.
#include "gdi.h"

namespace winapi::gdi {

HGDIOBJ defaultBitmapObject();

struct DCObj::Saved {
    HGDIOBJ pen, brush, font, bitmap;
    COLORREF textColor, bkColor, dcBrush, dcPen;
    int bkMode, rop2, mapMode, stretchMode, charExtra;
    UINT textAlign;
    POINT cur, vpOrg, winOrg, brushOrg;
    bool hasClip;
    Region clip;
};

void DCObj::updateEff() {
    eff = vis;
    if (hasClip) {
        Region c = clip;
        c.offset(devOrg.x, devOrg.y);
        eff.intersect(c);
    }
    if (fb) eff.intersect(RECT{0, 0, fb->width, fb->height});
}

namespace {

void initDefaults(DCObj &dc) {
    dc.pen = stockObject(BLACK_PEN);
    dc.brush = stockObject(WHITE_BRUSH);
    dc.font = stockObject(SYSTEM_FONT);
    dc.bitmap = nullptr;
}

} // namespace

namespace {
// Keeps a shadowed DIB section in step with the application's bits around
// one GDI call: loaded before it, written back when the call lets go of
// its DC.
struct ShadowUse {
    std::shared_ptr<DCObj> dc;
    std::shared_ptr<BitmapObj> bm;
    ~ShadowUse() {
        if (!bm) return;
        if (--bm->shadowDepth == 0) bm->storeShadow();
        bm->shadowMu.unlock();
    }
};
} // namespace

std::shared_ptr<DCObj> drawableDC(HDC h) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (dc->type == DCObj::Window && dc->geometry != geometryGeneration()) {
        dc->geometry = geometryGeneration();
        resolveWindowDC(*dc);
    }
    if (dc->type == DCObj::Memory) {
        auto bm = lookupAs<BitmapObj>(dc->bitmap, Kind::Bitmap);
        if (bm && bm->shadowed) {
            bm->shadowMu.lock();
            if (bm->shadowDepth++ == 0) bm->loadShadow();
            auto use = std::make_shared<ShadowUse>();
            use->dc = dc;
            use->bm = bm;
            return std::shared_ptr<DCObj>(use, dc.get());
        }
    }
    return dc;
}

HDC createWindowDC(HWND hwnd, bool client, bool paint, const Region *paintRegion) {
    auto dc = std::make_shared<DCObj>();
    dc->type = DCObj::Window;
    dc->hwnd = hwnd;
    dc->clientArea = client;
    dc->paint = paint;
    if (paintRegion) dc->paintRegion = *paintRegion;
    initDefaults(*dc);
    dc->geometry = geometryGeneration();
    resolveWindowDC(*dc);
    return static_cast<HDC>(insertObject(dc));
}

void releaseWindowDC(HDC hdc) { removeObject(hdc); }

std::shared_ptr<Font> dcFont(DCObj &dc) {
    auto f = lookupAs<FontObj>(dc.font, Kind::Font);
    if (!f) f = lookupAs<FontObj>(stockObject(SYSTEM_FONT), Kind::Font);
    return f->realize();
}

} // namespace winapi::gdi

using namespace winapi;
using namespace winapi::gdi;

extern "C" {

HDC WINAPI CreateCompatibleDC(HDC) {
    auto dc = std::make_shared<DCObj>();
    dc->type = DCObj::Memory;
    initDefaults(*dc);
    dc->bitmap = defaultBitmapObject();
    auto bm = lookupAs<BitmapObj>(dc->bitmap, Kind::Bitmap);
    dc->fb = bm->fb;
    dc->vis = Region(RECT{0, 0, 1, 1});
    dc->updateEff();
    return static_cast<HDC>(insertObject(dc));
}

HDC WINAPI CreateDCA(LPCSTR driver, LPCSTR, LPCSTR, const void *) {
    // "DISPLAY" gives a DC on the screen.
    if (driver && lstrcmpiA(driver, "DISPLAY") == 0) return GetDC(nullptr);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

BOOL WINAPI DeleteDC(HDC h) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (dc->type == DCObj::Window) return ReleaseDC(dc->hwnd, h) ? TRUE : FALSE;
    if (auto bm = lookupAs<BitmapObj>(dc->bitmap, Kind::Bitmap)) bm->selectedInto = nullptr;
    removeObject(h);
    return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC h, HGDIOBJ obj) {
    auto dc = drawableDC(h);
    auto o = lookupObject(obj);
    if (!dc || !o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HGDIOBJ old = nullptr;
    switch (o->kind) {
    case Kind::Pen:
        old = dc->pen;
        dc->pen = obj;
        break;
    case Kind::Brush:
        old = dc->brush;
        dc->brush = obj;
        break;
    case Kind::Font:
        old = dc->font;
        dc->font = obj;
        break;
    case Kind::Bitmap: {
        if (dc->type != DCObj::Memory) return nullptr;
        auto bm = std::static_pointer_cast<BitmapObj>(o);
        if (bm->selectedInto && bm->selectedInto != h && !bm->stock) return nullptr;
        old = dc->bitmap;
        if (auto ob = lookupAs<BitmapObj>(old, Kind::Bitmap)) ob->selectedInto = nullptr;
        bm->selectedInto = h;
        dc->bitmap = obj;
        dc->fb = bm->fb;
        dc->vis = Region(RECT{0, 0, bm->fb->width, bm->fb->height});
        dc->updateEff();
        break;
    }
    case Kind::Region: {
        int r = SelectClipRgn(h, static_cast<HRGN>(obj));
        return reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(r));
    }
    default:
        return nullptr;
    }
    return old;
}

HGDIOBJ WINAPI GetCurrentObject(HDC h, UINT type) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) return nullptr;
    switch (type) {
    case OBJ_PEN: return dc->pen;
    case OBJ_BRUSH: return dc->brush;
    case OBJ_FONT: return dc->font;
    case OBJ_BITMAP: return dc->bitmap;
    }
    return nullptr;
}

#define DC_ATTR(Type, getName, setName, field)                                                                        \
    Type WINAPI getName(HDC h) {                                                                                      \
        auto dc = lookupAs<DCObj>(h, Kind::DC);                                                                       \
        return dc ? static_cast<Type>(dc->field) : Type{};                                                            \
    }

COLORREF WINAPI SetBkColor(HDC h, COLORREF c) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->bkColor;
    dc->bkColor = c & 0xFFFFFF;
    return old;
}
DC_ATTR(COLORREF, GetBkColor, SetBkColor, bkColor)

COLORREF WINAPI SetTextColor(HDC h, COLORREF c) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->textColor;
    dc->textColor = c & 0xFFFFFF;
    return old;
}
DC_ATTR(COLORREF, GetTextColor, SetTextColor, textColor)

int WINAPI SetBkMode(HDC h, int mode) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}
DC_ATTR(int, GetBkMode, SetBkMode, bkMode)

int WINAPI SetROP2(HDC h, int rop) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc || rop < R2_BLACK || rop > R2_WHITE) return 0;
    int old = dc->rop2;
    dc->rop2 = rop;
    return old;
}
DC_ATTR(int, GetROP2, SetROP2, rop2)

int WINAPI SetMapMode(HDC h, int mode) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc || mode < MM_TEXT || mode > MM_ANISOTROPIC) return 0;
    int old = dc->mapMode;
    // Only MM_TEXT maps: other modes are kept and reported but draw as MM_TEXT.
    dc->mapMode = mode;
    return old;
}
DC_ATTR(int, GetMapMode, SetMapMode, mapMode)

int WINAPI SetStretchBltMode(HDC h, int mode) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) return 0;
    int old = dc->stretchMode;
    dc->stretchMode = mode;
    return old;
}
DC_ATTR(int, GetStretchBltMode, SetStretchBltMode, stretchMode)

UINT WINAPI SetTextAlign(HDC h, UINT a) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) return GDI_ERROR;
    UINT old = dc->textAlign;
    dc->textAlign = a;
    return old;
}
DC_ATTR(UINT, GetTextAlign, SetTextAlign, textAlign)

int WINAPI SetTextCharacterExtra(HDC h, int e) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) return static_cast<int>(0x80000000);
    int old = dc->charExtra;
    dc->charExtra = e;
    return old;
}
DC_ATTR(int, GetTextCharacterExtra, SetTextCharacterExtra, charExtra)

COLORREF WINAPI SetDCBrushColor(HDC h, COLORREF c) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->dcBrush;
    dc->dcBrush = c & 0xFFFFFF;
    return old;
}

COLORREF WINAPI SetDCPenColor(HDC h, COLORREF c) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->dcPen;
    dc->dcPen = c & 0xFFFFFF;
    return old;
}

static BOOL setPoint(HDC h, POINT DCObj::*field, int x, int y, LPPOINT old, bool add = false) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) return FALSE;
    if (old) *old = (*dc).*field;
    if (add) {
        ((*dc).*field).x += x;
        ((*dc).*field).y += y;
    } else {
        (*dc).*field = POINT{x, y};
    }
    return TRUE;
}

static BOOL getPoint(HDC h, POINT DCObj::*field, LPPOINT out) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc || !out) return FALSE;
    *out = (*dc).*field;
    return TRUE;
}

BOOL WINAPI SetViewportOrgEx(HDC h, int x, int y, LPPOINT old) { return setPoint(h, &DCObj::vpOrg, x, y, old); }
BOOL WINAPI OffsetViewportOrgEx(HDC h, int x, int y, LPPOINT old) { return setPoint(h, &DCObj::vpOrg, x, y, old, true); }
BOOL WINAPI GetViewportOrgEx(HDC h, LPPOINT p) { return getPoint(h, &DCObj::vpOrg, p); }
BOOL WINAPI SetWindowOrgEx(HDC h, int x, int y, LPPOINT old) { return setPoint(h, &DCObj::winOrg, x, y, old); }
BOOL WINAPI GetWindowOrgEx(HDC h, LPPOINT p) { return getPoint(h, &DCObj::winOrg, p); }
BOOL WINAPI SetBrushOrgEx(HDC h, int x, int y, LPPOINT old) { return setPoint(h, &DCObj::brushOrg, x, y, old); }
BOOL WINAPI GetCurrentPositionEx(HDC h, LPPOINT p) { return getPoint(h, &DCObj::cur, p); }

BOOL WINAPI DPtoLP(HDC h, LPPOINT pts, int n) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc || (n && !pts)) return FALSE;
    for (int i = 0; i < n; i++) {
        pts[i].x += dc->winOrg.x - dc->vpOrg.x;
        pts[i].y += dc->winOrg.y - dc->vpOrg.y;
    }
    return TRUE;
}

BOOL WINAPI LPtoDP(HDC h, LPPOINT pts, int n) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc || (n && !pts)) return FALSE;
    for (int i = 0; i < n; i++) {
        pts[i].x -= dc->winOrg.x - dc->vpOrg.x;
        pts[i].y -= dc->winOrg.y - dc->vpOrg.y;
    }
    return TRUE;
}

int WINAPI SaveDC(HDC h) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) return 0;
    auto s = std::make_shared<DCObj::Saved>();
    s->pen = dc->pen;
    s->brush = dc->brush;
    s->font = dc->font;
    s->bitmap = dc->bitmap;
    s->textColor = dc->textColor;
    s->bkColor = dc->bkColor;
    s->dcBrush = dc->dcBrush;
    s->dcPen = dc->dcPen;
    s->bkMode = dc->bkMode;
    s->rop2 = dc->rop2;
    s->mapMode = dc->mapMode;
    s->stretchMode = dc->stretchMode;
    s->charExtra = dc->charExtra;
    s->textAlign = dc->textAlign;
    s->cur = dc->cur;
    s->vpOrg = dc->vpOrg;
    s->winOrg = dc->winOrg;
    s->brushOrg = dc->brushOrg;
    s->hasClip = dc->hasClip;
    s->clip = dc->clip;
    dc->saved.push_back(s);
    return static_cast<int>(dc->saved.size());
}

BOOL WINAPI RestoreDC(HDC h, int level) {
    auto dc = drawableDC(h);
    if (!dc) return FALSE;
    int n = static_cast<int>(dc->saved.size());
    if (level < 0) level = n + 1 + level;
    if (level < 1 || level > n) return FALSE;
    auto s = dc->saved[static_cast<size_t>(level - 1)];
    dc->saved.resize(static_cast<size_t>(level - 1));
    dc->pen = s->pen;
    dc->brush = s->brush;
    dc->font = s->font;
    if (s->bitmap != dc->bitmap && dc->type == DCObj::Memory) SelectObject(h, s->bitmap);
    dc->textColor = s->textColor;
    dc->bkColor = s->bkColor;
    dc->dcBrush = s->dcBrush;
    dc->dcPen = s->dcPen;
    dc->bkMode = s->bkMode;
    dc->rop2 = s->rop2;
    dc->mapMode = s->mapMode;
    dc->stretchMode = s->stretchMode;
    dc->charExtra = s->charExtra;
    dc->textAlign = s->textAlign;
    dc->cur = s->cur;
    dc->vpOrg = s->vpOrg;
    dc->winOrg = s->winOrg;
    dc->brushOrg = s->brushOrg;
    dc->hasClip = s->hasClip;
    dc->clip = s->clip;
    dc->updateEff();
    return TRUE;
}

int WINAPI GetDeviceCaps(HDC h, int index) {
    auto dc = drawableDC(h);
    if (!dc) return 0;
    bool mem = dc->type == DCObj::Memory;
    auto bm = mem ? lookupAs<BitmapObj>(dc->bitmap, Kind::Bitmap) : nullptr;
    switch (index) {
    case DRIVERVERSION: return 0x400;
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZSIZE: return GetSystemMetrics(SM_CXSCREEN) * 254 / 960;
    case VERTSIZE: return GetSystemMetrics(SM_CYSCREEN) * 254 / 960;
    case HORZRES: case DESKTOPHORZRES: return GetSystemMetrics(SM_CXSCREEN);
    case VERTRES: case DESKTOPVERTRES: return GetSystemMetrics(SM_CYSCREEN);
    case BITSPIXEL: return bm && bm->bpp == 1 ? 1 : 32;
    case PLANES: return 1;
    case NUMBRUSHES: case NUMPENS: case NUMCOLORS: return -1;
    case NUMFONTS: return 0;
    case CURVECAPS: case LINECAPS: case POLYGONALCAPS: return 0;
    case TEXTCAPS: return 0;
    case CLIPCAPS: return 1;
    case RASTERCAPS: return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT;
    case ASPECTX: case ASPECTY: return 36;
    case ASPECTXY: return 51;
    case LOGPIXELSX: case LOGPIXELSY: return 96;
    case SIZEPALETTE: case NUMRESERVED: return 0;
    case COLORRES: return 24;
    }
    return 0;
}

// ---- clipping ---------------------------------------------------------------------

static int clipKind(const DCObj &dc) {
    if (dc.eff.empty()) return NULLREGION;
    return dc.eff.rects().size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

static RECT deviceRect(const DCObj &dc, int l, int t, int r, int b) {
    RECT x{l - dc.winOrg.x + dc.vpOrg.x, t - dc.winOrg.y + dc.vpOrg.y, r - dc.winOrg.x + dc.vpOrg.x,
           b - dc.winOrg.y + dc.vpOrg.y};
    if (x.left > x.right) std::swap(x.left, x.right);
    if (x.top > x.bottom) std::swap(x.top, x.bottom);
    return x;
}

static Region currentClip(const DCObj &dc) {
    if (dc.hasClip) return dc.clip;
    // No clip region: no limit beyond the visible region.
    return Region(RECT{-0x3FFFFFF, -0x3FFFFFF, 0x3FFFFFF, 0x3FFFFFF});
}

int WINAPI IntersectClipRect(HDC h, int l, int t, int r, int b) {
    auto dc = drawableDC(h);
    if (!dc) return ERROR;
    Region c = currentClip(*dc);
    c.intersect(deviceRect(*dc, l, t, r, b));
    dc->clip = c;
    dc->hasClip = true;
    dc->updateEff();
    return clipKind(*dc);
}

int WINAPI ExcludeClipRect(HDC h, int l, int t, int r, int b) {
    auto dc = drawableDC(h);
    if (!dc) return ERROR;
    Region c = currentClip(*dc);
    c.subtract(deviceRect(*dc, l, t, r, b));
    dc->clip = c;
    dc->hasClip = true;
    dc->updateEff();
    return clipKind(*dc);
}

int WINAPI ExtSelectClipRgn(HDC h, HRGN rgn, int mode) {
    auto dc = drawableDC(h);
    if (!dc) return ERROR;
    if (!rgn) {
        if (mode != RGN_COPY) return ERROR;
        dc->hasClip = false;
        dc->clip.clear();
        dc->updateEff();
        return clipKind(*dc);
    }
    auto ro = lookupAs<RegionObj>(rgn, Kind::Region);
    if (!ro) return ERROR;
    Region c = currentClip(*dc);
    switch (mode) {
    case RGN_COPY: c = ro->rgn; break;
    case RGN_AND: c.intersect(ro->rgn); break;
    case RGN_OR: c.add(ro->rgn); break;
    case RGN_DIFF: c.subtract(ro->rgn); break;
    case RGN_XOR: {
        Region x = ro->rgn;
        x.subtract(c);
        c.subtract(ro->rgn);
        c.add(x);
        break;
    }
    default: return ERROR;
    }
    dc->clip = c;
    dc->hasClip = true;
    dc->updateEff();
    return clipKind(*dc);
}

int WINAPI SelectClipRgn(HDC h, HRGN rgn) { return ExtSelectClipRgn(h, rgn, RGN_COPY); }

int WINAPI GetClipRgn(HDC h, HRGN rgn) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    auto ro = lookupAs<RegionObj>(rgn, Kind::Region);
    if (!dc || !ro) return -1;
    if (!dc->hasClip) return 0;
    ro->rgn = dc->clip;
    return 1;
}

int WINAPI GetClipBox(HDC h, LPRECT r) {
    auto dc = drawableDC(h);
    if (!dc || !r) return ERROR;
    RECT b = dc->eff.bounds();
    if (dc->eff.empty()) b = RECT{0, 0, 0, 0};
    else b = rectOffset(b, -dc->devOrg.x - dc->vpOrg.x + dc->winOrg.x, -dc->devOrg.y - dc->vpOrg.y + dc->winOrg.y);
    *r = b;
    return clipKind(*dc);
}

BOOL WINAPI PtVisible(HDC h, int x, int y) {
    auto dc = drawableDC(h);
    return dc && dc->eff.contains(dc->fx(x), dc->fy(y)) ? TRUE : FALSE;
}

BOOL WINAPI RectVisible(HDC h, const RECT *r) {
    auto dc = drawableDC(h);
    if (!dc || !r) return FALSE;
    RECT f{dc->fx(r->left), dc->fy(r->top), dc->fx(r->right), dc->fy(r->bottom)};
    return dc->eff.intersects(f) ? TRUE : FALSE;
}

BOOL WINAPI GdiFlush(void) { return TRUE; }

} // extern "C"
