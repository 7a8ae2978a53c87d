// GDI objects and device contexts of the layer: framebuffers, the handle
// table of pens, brushes, fonts, bitmaps and regions, and the DC state that
// the drawing functions work on.
#pragma once

#include <windows.h>

#include "font_raster.h"
#include "region.h"

#include <memory>
#include <mutex>
#include <vector>

namespace winapi::gdi {

// Pixels are 0x00RRGGBB; COLORREF is 0x00BBGGRR.
inline uint32_t toPixel(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
inline COLORREF toColor(uint32_t p) { return ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF); }

// A 32-bit pixel buffer, owned or over memory given by the caller (a DIB
// section). A negative stride runs bottom-up.
struct Framebuffer {
    Framebuffer(int w, int h, uint32_t fill = 0);
    Framebuffer(uint32_t *external, int w, int h, int strideInPixels);
    int width = 0, height = 0, stride = 0;
    uint32_t *data = nullptr;
    uint32_t *row(int y) { return data + static_cast<ptrdiff_t>(y) * stride; }
    uint32_t &at(int x, int y) { return row(y)[x]; }
    Surface surface() { return Surface{data, width, height, stride}; }

private:
    std::vector<uint32_t> own_;
};
using FbPtr = std::shared_ptr<Framebuffer>;

enum class Kind { Pen, Brush, Font, Bitmap, Region, DC };

struct GdiObject {
    explicit GdiObject(Kind k) : kind(k) {}
    virtual ~GdiObject() = default;
    const Kind kind;
    bool stock = false;
    HGDIOBJ handle = nullptr;
};

struct PenObj : GdiObject {
    PenObj() : GdiObject(Kind::Pen) {}
    LOGPEN lp{};
};

struct BrushObj : GdiObject {
    BrushObj() : GdiObject(Kind::Brush) {}
    LOGBRUSH lb{};
    FbPtr pattern;        // BS_PATTERN: the bitmap's pixels
    bool monoPattern = false;
    int sysColor = -1;    // a GetSysColorBrush brush follows its colour
};

struct FontObj : GdiObject {
    FontObj() : GdiObject(Kind::Font) {}
    LOGFONTA lf{};
    std::shared_ptr<Font> realize();

private:
    std::mutex mu_;
    std::shared_ptr<Font> font_;
};

struct BitmapObj : GdiObject {
    BitmapObj() : GdiObject(Kind::Bitmap) {}
    FbPtr fb;
    int bpp = 32;              // what GetObject reports; 1 keeps two colours only
    bool dibSection = false;
    void *bits = nullptr;      // DIB section memory
    BITMAPINFOHEADER bih{};
    HDC selectedInto = nullptr;
    std::vector<uint32_t> dibMemory;
    // DIB sections of other depths than 32 bits: fb is a 32-bit copy of the
    // application's bits, brought up to date before each GDI call that uses
    // the bitmap and written back after it.
    bool shadowed = false;
    std::vector<RGBQUAD> palette;
    std::recursive_mutex shadowMu;
    int shadowDepth = 0; // nested uses within one call load and store once
    void loadShadow();
    void storeShadow();
};

struct RegionObj : GdiObject {
    RegionObj() : GdiObject(Kind::Region) {}
    Region rgn;
};

struct DCObj : GdiObject {
    DCObj() : GdiObject(Kind::DC) {}
    enum Type { Window, Memory, Info } type = Memory;
    // Window DCs: what they draw on, recomputed when windows move.
    HWND hwnd = nullptr;
    bool clientArea = true;
    bool paint = false;
    bool released = false;
    uint64_t geometry = ~0ull;
    Region paintRegion;     // BeginPaint: the update region, client coordinates
    FbPtr fb;
    POINT devOrg{0, 0};     // the DC's device origin in fb
    Region vis;             // fb coordinates
    bool hasClip = false;
    Region clip;            // device coordinates
    Region eff;             // vis and clip together, fb coordinates

    HGDIOBJ pen = nullptr, brush = nullptr, font = nullptr, bitmap = nullptr;
    COLORREF textColor = 0, bkColor = 0xFFFFFF;
    int bkMode = OPAQUE, rop2 = R2_COPYPEN, mapMode = MM_TEXT, stretchMode = BLACKONWHITE, charExtra = 0;
    UINT textAlign = 0;
    POINT cur{0, 0}, vpOrg{0, 0}, winOrg{0, 0}, brushOrg{0, 0};
    COLORREF dcBrush = 0xFFFFFF, dcPen = 0;

    struct Saved;
    std::vector<std::shared_ptr<Saved>> saved;

    void updateEff();
    // Logical to fb coordinates.
    int fx(int x) const { return x - winOrg.x + vpOrg.x + devOrg.x; }
    int fy(int y) const { return y - winOrg.y + vpOrg.y + devOrg.y; }
};

// Handle table.
HGDIOBJ insertObject(std::shared_ptr<GdiObject> obj);
std::shared_ptr<GdiObject> lookupObject(HGDIOBJ h);
template <class T>
std::shared_ptr<T> lookupAs(HGDIOBJ h, Kind k) {
    auto o = lookupObject(h);
    if (!o || o->kind != k) return nullptr;
    return std::static_pointer_cast<T>(o);
}
void removeObject(HGDIOBJ h);

// A DC ready to draw: window DCs brought up to date. Null for a bad handle.
std::shared_ptr<DCObj> drawableDC(HDC h);
HDC createWindowDC(HWND hwnd, bool client, bool paint, const Region *paintRegion);
void releaseWindowDC(HDC hdc);
// Provided by the window manager: where a window DC draws.
bool resolveWindowDC(DCObj &dc);
uint64_t geometryGeneration();

// Stock objects and the brushes of the system colours.
HGDIOBJ stockObject(int i);
HBRUSH sysColorBrush(int index);

// Pixel helpers shared by the drawing code.
uint32_t brushPixel(const BrushObj &b, const DCObj &dc, int fbx, int fby);
void fillRectFb(DCObj &dc, RECT fbRect, const BrushObj *brush, DWORD rop3 = PATCOPY);
void fillSolidFb(DCObj &dc, RECT fbRect, uint32_t pixel);
std::shared_ptr<Font> dcFont(DCObj &dc);

} // namespace winapi::gdi
