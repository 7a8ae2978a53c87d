// Icons and cursors: the system icons of message boxes drawn as images,
// icons made from bitmaps, DrawIcon/DrawIconEx; cursors are handles only
// (a headless display shows no pointer). Also the fonts of captions and
// menus, and the geometry counter that device contexts watch.
#include "window.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace winapi::user {

namespace {

struct Icon {
    gdi::FbPtr color;
    gdi::FbPtr mask; // white where transparent; null: opaque
    bool shared = false;
};

std::mutex &iconMutex() {
    static auto *m = new std::mutex;
    return *m;
}
std::unordered_map<uintptr_t, Icon> &icons() {
    static auto *m = new std::unordered_map<uintptr_t, Icon>;
    return *m;
}
uintptr_t g_nextIcon = 0x00C00010;

HICON addIcon(Icon ic) {
    std::lock_guard<std::mutex> lk(iconMutex());
    HICON h = reinterpret_cast<HICON>(g_nextIcon);
    g_nextIcon += 4;
    icons()[reinterpret_cast<uintptr_t>(h)] = std::move(ic);
    return h;
}

// The classic 32 x 32 system icons: a red stop sign, a yellow warning
// triangle, a blue information balloon and a question balloon, drawn with
// smooth edges on a transparent background.
Icon makeSystemIcon(int id) {
    Icon ic;
    ic.shared = true;
    ic.color = std::make_shared<gdi::Framebuffer>(32, 32, 0);
    ic.mask = std::make_shared<gdi::Framebuffer>(32, 32, 0xFFFFFF);
    auto put = [&](int x, int y, uint32_t c) {
        if (x < 0 || y < 0 || x >= 32 || y >= 32) return;
        ic.color->at(x, y) = c;
        ic.mask->at(x, y) = 0;
    };
    auto disc = [&](double cx, double cy, double r, uint32_t c) {
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++) {
                double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
                if (d <= r) put(x, y, c);
            }
    };
    auto box = [&](int x0, int y0, int x1, int y1, uint32_t c) {
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) put(x, y, c);
    };
    switch (id) {
    case 32513: { // hand: red disc with a white X
        disc(16, 16, 14.5, 0x000000);
        disc(16, 16, 13.5, 0xFF0000);
        for (int k = -6; k <= 6; k++)
            for (int t = -1; t <= 1; t++) {
                put(16 + k + t, 16 + k, 0xFFFFFF);
                put(16 + k + t, 16 - k, 0xFFFFFF);
            }
        break;
    }
    case 32515: { // exclamation: yellow triangle with a black mark
        for (int y = 2; y < 30; y++) {
            double half = (y - 2) * 14.5 / 28.0;
            for (int x = 0; x < 32; x++) {
                double dx = std::fabs(x + 0.5 - 16);
                if (dx <= half + 0.5) put(x, y, dx > half - 1.0 || y >= 29 ? 0x000000 : 0xFFFF00);
            }
        }
        box(15, 10, 17, 22, 0x000000);
        box(15, 24, 17, 26, 0x000000);
        break;
    }
    case 32516: { // asterisk: white balloon with a blue i
        disc(16, 15, 14, 0x000000);
        disc(16, 15, 13, 0xFFFFFF);
        box(15, 12, 18, 23, 0x0000FF);
        box(15, 7, 18, 10, 0x0000FF);
        break;
    }
    case 32514: { // question: white balloon with a blue ?
        disc(16, 15, 14, 0x000000);
        disc(16, 15, 13, 0xFFFFFF);
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++) {
                double d = std::hypot(x + 0.5 - 16, y + 0.5 - 11);
                if (d >= 3 && d <= 5.5 && !(y > 11 && x < 16)) put(x, y, 0x0000FF);
            }
        box(15, 15, 18, 20, 0x0000FF);
        box(15, 22, 18, 25, 0x0000FF);
        break;
    }
    default: { // application: a small window
        box(2, 4, 30, 28, 0x000000);
        box(3, 5, 29, 27, 0xFFFFFF);
        box(3, 5, 29, 9, 0x0A246A);
        break;
    }
    }
    return ic;
}

} // namespace

HFONT captionFont() {
    static HFONT f = [] {
        LOGFONTA lf{};
        lf.lfHeight = -11;
        lf.lfWeight = FW_BOLD;
        lstrcpyA(lf.lfFaceName, "MS Sans Serif");
        return CreateFontIndirectA(&lf);
    }();
    return f;
}

HFONT menuFont() {
    static HFONT f = [] {
        LOGFONTA lf{};
        lf.lfHeight = -11;
        lf.lfWeight = FW_NORMAL;
        lstrcpyA(lf.lfFaceName, "MS Sans Serif");
        return CreateFontIndirectA(&lf);
    }();
    return f;
}

} // namespace winapi::user

using namespace winapi;
using namespace winapi::user;

extern "C" {

namespace {

const BYTE *resourceData(HINSTANCE inst, LPCSTR name, LPCSTR type, DWORD *size) {
    HRSRC r = name ? FindResourceA(inst, name, type) : nullptr;
    if (!r) return nullptr;
    if (size) *size = SizeofResource(inst, r);
    return static_cast<const BYTE *>(LockResource(LoadResource(inst, r)));
}

// An icon image of a module: a DIB of twice the height, the colour image
// above its monochrome AND mask.
HICON iconFromImage(const BYTE *data, DWORD size) {
    if (!data || size < sizeof(BITMAPINFOHEADER)) return nullptr;
    BITMAPINFOHEADER h;
    std::memcpy(&h, data, sizeof h);
    int w = h.biWidth, hh = (h.biHeight < 0 ? -h.biHeight : h.biHeight) / 2;
    if (w <= 0 || hh <= 0 || w > 256 || hh > 256) return nullptr;
    int colors = h.biBitCount <= 8 ? (h.biClrUsed ? static_cast<int>(h.biClrUsed) : 1 << h.biBitCount) : 0;
    size_t header = h.biSize + static_cast<size_t>(colors) * 4;
    size_t xorStride = ((static_cast<size_t>(w) * h.biBitCount + 31) / 32) * 4;
    size_t andStride = ((static_cast<size_t>(w) + 31) / 32) * 4;
    if (header + xorStride * hh + andStride * hh > size) return nullptr;
    // The colour part through the DIB code: a BITMAPINFO of the real height.
    std::vector<BYTE> info(header);
    std::memcpy(info.data(), data, header);
    auto *bi = reinterpret_cast<BITMAPINFO *>(info.data());
    bi->bmiHeader.biHeight = hh;
    bi->bmiHeader.biSizeImage = 0;
    HDC screen = GetDC(nullptr);
    HBITMAP color = CreateDIBitmap(screen, &bi->bmiHeader, CBM_INIT, data + header, bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    auto cb = gdi::lookupAs<gdi::BitmapObj>(color, gdi::Kind::Bitmap);
    if (!cb) return nullptr;
    Icon ic;
    ic.color = std::make_shared<gdi::Framebuffer>(w, hh);
    ic.mask = std::make_shared<gdi::Framebuffer>(w, hh);
    const BYTE *andBits = data + header + xorStride * hh;
    for (int y = 0; y < hh; y++) {
        const BYTE *row = andBits + andStride * static_cast<size_t>(hh - 1 - y); // bottom-up
        for (int x = 0; x < w; x++) {
            ic.color->at(x, y) = cb->fb->at(x, y);
            ic.mask->at(x, y) = ((row[x >> 3] >> (7 - (x & 7))) & 1) ? 0xFFFFFF : 0;
        }
    }
    DeleteObject(color);
    return addIcon(std::move(ic));
}

} // namespace

HICON WINAPI LoadIconA(HINSTANCE inst, LPCSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (inst) {
        // A group names its images; the one nearest 32 x 32 is taken.
        DWORD size = 0;
        const BYTE *group = resourceData(inst, name, RT_GROUP_ICON, &size);
        if (group && size >= 6) {
            int count = group[4] | (group[5] << 8);
            int best = -1, bestScore = 1 << 30;
            for (int i = 0; i < count && 6 + 14 * (i + 1) <= static_cast<int>(size); i++) {
                const BYTE *e = group + 6 + 14 * i;
                int w = e[0] ? e[0] : 256;
                int score = std::abs(w - 32) * 4 - ((e[6] | (e[7] << 8)) / 8);
                if (score < bestScore) {
                    bestScore = score;
                    best = e[12] | (e[13] << 8);
                }
            }
            if (best >= 0) {
                DWORD isz = 0;
                const BYTE *img = resourceData(inst, MAKEINTRESOURCEA(best), RT_ICON, &isz);
                if (HICON h = iconFromImage(img, isz)) return h;
            }
        }
        DWORD isz = 0;
        const BYTE *img = resourceData(inst, name, RT_ICON, &isz);
        if (HICON h = iconFromImage(img, isz)) return h;
        if (!IS_INTRESOURCE(name)) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
    }
    static HICON cache[6] = {};
    int id = IS_INTRESOURCE(name) ? LOWORD(reinterpret_cast<ULONG_PTR>(name)) : 0;
    if (inst || id < 32512 || id > 32517) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> lk(iconMutex());
    HICON &c = cache[id - 32512];
    if (!c) {
        Icon ic = makeSystemIcon(id);
        HICON h = reinterpret_cast<HICON>(g_nextIcon);
        g_nextIcon += 4;
        icons()[reinterpret_cast<uintptr_t>(h)] = std::move(ic);
        c = h;
    }
    return c;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE inst, LPCSTR name) {
    if (!name || (inst && !FindResourceA(inst, name, RT_GROUP_CURSOR) && !FindResourceA(inst, name, RT_CURSOR)) ||
        (!inst && !IS_INTRESOURCE(name))) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    // Cursors are not drawn; each is a distinct handle.
    if (inst) return reinterpret_cast<HCURSOR>(FindResourceA(inst, name, RT_GROUP_CURSOR));
    return reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x00BF0000u + LOWORD(reinterpret_cast<ULONG_PTR>(name))));
}

HBITMAP WINAPI LoadBitmapA(HINSTANCE inst, LPCSTR name) {
    DWORD size = 0;
    const BYTE *data = resourceData(inst, name, RT_BITMAP, &size);
    if (!data || size < sizeof(BITMAPINFOHEADER)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    BITMAPINFOHEADER h;
    std::memcpy(&h, data, sizeof h);
    int colors = h.biBitCount <= 8 ? (h.biClrUsed ? static_cast<int>(h.biClrUsed) : 1 << h.biBitCount) : 0;
    if (h.biCompression == BI_BITFIELDS) colors = 3;
    const BYTE *bits = data + h.biSize + static_cast<size_t>(colors) * 4;
    HDC screen = GetDC(nullptr);
    HBITMAP b = CreateDIBitmap(screen, &h, CBM_INIT, bits, reinterpret_cast<const BITMAPINFO *>(data), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return b;
}

HANDLE WINAPI LoadImageA(HINSTANCE inst, LPCSTR name, UINT type, int, int, UINT) {
    if (type == IMAGE_ICON) return LoadIconA(inst, name);
    if (type == IMAGE_CURSOR) return LoadCursorA(inst, name);
    if (type == IMAGE_BITMAP) return LoadBitmapA(inst, name);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

HICON WINAPI CreateIconIndirect(PICONINFO ii) {
    if (!ii || !ii->hbmMask) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto mask = gdi::lookupAs<gdi::BitmapObj>(ii->hbmMask, gdi::Kind::Bitmap);
    auto color = ii->hbmColor ? gdi::lookupAs<gdi::BitmapObj>(ii->hbmColor, gdi::Kind::Bitmap) : nullptr;
    if (!mask) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    Icon ic;
    int w = mask->fb->width, h = color ? color->fb->height : mask->fb->height / 2;
    ic.mask = std::make_shared<gdi::Framebuffer>(w, h);
    ic.color = std::make_shared<gdi::Framebuffer>(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            ic.mask->at(x, y) = mask->fb->at(x, y) & 0xFFFFFF;
            // A monochrome icon keeps its image under the mask.
            ic.color->at(x, y) = color ? color->fb->at(x, y) & 0xFFFFFF : mask->fb->at(x, y + h) & 0xFFFFFF;
        }
    return addIcon(std::move(ic));
}

BOOL WINAPI GetIconInfo(HICON h, PICONINFO ii) {
    if (!ii) return FALSE;
    Icon ic;
    {
        std::lock_guard<std::mutex> lk(iconMutex());
        auto it = icons().find(reinterpret_cast<uintptr_t>(h));
        if (it == icons().end()) {
            SetLastError(ERROR_INVALID_ICON_HANDLE);
            return FALSE;
        }
        ic = it->second;
    }
    int w = ic.color->width, hh = ic.color->height;
    HDC screen = GetDC(nullptr);
    ii->fIcon = TRUE;
    ii->xHotspot = static_cast<DWORD>(w / 2);
    ii->yHotspot = static_cast<DWORD>(hh / 2);
    ii->hbmColor = CreateCompatibleBitmap(screen, w, hh);
    ii->hbmMask = CreateBitmap(w, hh, 1, 1, nullptr);
    ReleaseDC(nullptr, screen);
    auto c = gdi::lookupAs<gdi::BitmapObj>(ii->hbmColor, gdi::Kind::Bitmap);
    auto m = gdi::lookupAs<gdi::BitmapObj>(ii->hbmMask, gdi::Kind::Bitmap);
    for (int y = 0; y < hh; y++)
        for (int x = 0; x < w; x++) {
            c->fb->at(x, y) = ic.color->at(x, y);
            m->fb->at(x, y) = ic.mask ? ic.mask->at(x, y) : 0;
        }
    return TRUE;
}

HICON WINAPI CopyIcon(HICON h) {
    std::lock_guard<std::mutex> lk(iconMutex());
    auto it = icons().find(reinterpret_cast<uintptr_t>(h));
    if (it == icons().end()) return nullptr;
    Icon ic = it->second;
    ic.shared = false;
    HICON n = reinterpret_cast<HICON>(g_nextIcon);
    g_nextIcon += 4;
    icons()[reinterpret_cast<uintptr_t>(n)] = std::move(ic);
    return n;
}

BOOL WINAPI DestroyIcon(HICON h) {
    std::lock_guard<std::mutex> lk(iconMutex());
    auto it = icons().find(reinterpret_cast<uintptr_t>(h));
    if (it == icons().end()) {
        SetLastError(ERROR_INVALID_ICON_HANDLE);
        return FALSE;
    }
    if (!it->second.shared) icons().erase(it);
    return TRUE;
}

BOOL WINAPI DestroyCursor(HCURSOR) { return TRUE; }

BOOL WINAPI DrawIconEx(HDC hdc, int x, int y, HICON h, int cx, int cy, UINT, HBRUSH flicker, UINT flags) {
    Icon ic;
    {
        std::lock_guard<std::mutex> lk(iconMutex());
        auto it = icons().find(reinterpret_cast<uintptr_t>(h));
        if (it == icons().end()) {
            SetLastError(ERROR_INVALID_ICON_HANDLE);
            return FALSE;
        }
        ic = it->second;
    }
    int w = ic.color->width, hh = ic.color->height;
    if (cx <= 0) cx = (flags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CXICON) : w;
    if (cy <= 0) cy = (flags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CYICON) : hh;
    if (flicker) {
        RECT r{x, y, x + cx, y + cy};
        FillRect(hdc, &r, flicker);
    }
    // Scaled by sampling: pixels the mask leaves opaque are copied.
    for (int yy = 0; yy < cy; yy++)
        for (int xx = 0; xx < cx; xx++) {
            int sx = xx * w / cx, sy = yy * hh / cy;
            if (ic.mask && (ic.mask->at(sx, sy) & 0xFFFFFF) && (flags & DI_MASK)) continue;
            if (!(flags & DI_IMAGE)) continue;
            SetPixel(hdc, x + xx, y + yy, gdi::toColor(ic.color->at(sx, sy)));
        }
    return TRUE;
}

BOOL WINAPI DrawIcon(HDC hdc, int x, int y, HICON h) { return DrawIconEx(hdc, x, y, h, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE); }

static std::atomic<HCURSOR> g_cursor{nullptr};

HCURSOR WINAPI SetCursor(HCURSOR c) { return g_cursor.exchange(c); }

HCURSOR WINAPI GetCursor(void) { return g_cursor.load(); }

int WINAPI ShowCursor(BOOL show) {
    static std::atomic<int> count{0};
    return show ? ++count : --count;
}

} // extern "C"
