// Bitmaps: device-dependent bitmaps (32-bit, or monochrome), DIB sections,
// and the conversions between DIB formats and framebuffers.
#include "gdi.h"

#include <cstring>

namespace winapi::gdi {

HGDIOBJ defaultBitmapObject();

namespace {

std::shared_ptr<BitmapObj> newBitmap(int w, int h, int bpp, uint32_t fill) {
    auto b = std::make_shared<BitmapObj>();
    b->fb = std::make_shared<Framebuffer>(std::max(w, 1), std::max(h, 1), fill);
    b->bpp = bpp;
    return b;
}

int dibStride(int w, int bpp) { return ((w * bpp + 31) / 32) * 4; }

int colorCount(const BITMAPINFOHEADER &h) {
    if (h.biBitCount > 8) return h.biCompression == BI_BITFIELDS ? 3 : 0;
    return h.biClrUsed ? static_cast<int>(h.biClrUsed) : 1 << h.biBitCount;
}

// Reads a DIB row of any supported depth into pixels.
bool readDibRow(const BITMAPINFO *bi, const uint8_t *row, int w, uint32_t *out) {
    const BITMAPINFOHEADER &h = bi->bmiHeader;
    const RGBQUAD *pal = bi->bmiColors;
    auto palPx = [&](int i) -> uint32_t {
        const RGBQUAD &q = pal[i];
        return (uint32_t(q.rgbRed) << 16) | (uint32_t(q.rgbGreen) << 8) | q.rgbBlue;
    };
    switch (h.biBitCount) {
    case 1:
        for (int x = 0; x < w; x++) out[x] = palPx((row[x >> 3] >> (7 - (x & 7))) & 1);
        return true;
    case 4:
        for (int x = 0; x < w; x++) out[x] = palPx((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
        return true;
    case 8:
        for (int x = 0; x < w; x++) out[x] = palPx(row[x]);
        return true;
    case 16:
        for (int x = 0; x < w; x++) {
            unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
            unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
            out[x] = ((r * 255 / 31) << 16) | ((g * 255 / 31) << 8) | (b * 255 / 31);
        }
        return true;
    case 24:
        for (int x = 0; x < w; x++) out[x] = (uint32_t(row[3 * x + 2]) << 16) | (uint32_t(row[3 * x + 1]) << 8) | row[3 * x];
        return true;
    case 32:
        for (int x = 0; x < w; x++) {
            uint32_t v;
            std::memcpy(&v, row + 4 * x, 4);
            out[x] = v & 0xFFFFFF;
        }
        return true;
    }
    return false;
}

int nearestIndex(const std::vector<RGBQUAD> &pal, uint32_t px) {
    int best = 0;
    long bestD = 1L << 30;
    int r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
    for (size_t i = 0; i < pal.size(); i++) {
        long dr = r - pal[i].rgbRed, dg = g - pal[i].rgbGreen, db = b - pal[i].rgbBlue;
        long d = dr * dr + dg * dg + db * db;
        if (d < bestD) {
            bestD = d;
            best = static_cast<int>(i);
            if (!d) break;
        }
    }
    return best;
}

void writeDibRow(const BITMAPINFOHEADER &h, const uint32_t *px, int w, uint8_t *row,
                 const std::vector<RGBQUAD> *pal = nullptr) {
    if (pal && !pal->empty() && h.biBitCount <= 8) {
        int bpp = h.biBitCount;
        std::memset(row, 0, static_cast<size_t>(dibStride(w, bpp)));
        for (int x = 0; x < w; x++) {
            int i = nearestIndex(*pal, px[x] & 0xFFFFFF);
            if (bpp == 8) row[x] = static_cast<uint8_t>(i);
            else if (bpp == 4) row[x >> 1] |= static_cast<uint8_t>((i & 15) << ((x & 1) ? 0 : 4));
            else if (i) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
        return;
    }
    switch (h.biBitCount) {
    case 16:
        for (int x = 0; x < w; x++) {
            unsigned v = ((px[x] >> 19) & 31) << 10 | ((px[x] >> 11) & 31) << 5 | ((px[x] >> 3) & 31);
            row[2 * x] = static_cast<uint8_t>(v);
            row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
        }
        break;
    case 1:
        std::memset(row, 0, static_cast<size_t>(dibStride(w, 1)));
        for (int x = 0; x < w; x++)
            if (px[x]) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        break;
    case 24:
        for (int x = 0; x < w; x++) {
            row[3 * x] = static_cast<uint8_t>(px[x]);
            row[3 * x + 1] = static_cast<uint8_t>(px[x] >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(px[x] >> 16);
        }
        break;
    case 32:
        std::memcpy(row, px, static_cast<size_t>(w) * 4);
        break;
    }
}

bool validDib(const BITMAPINFO *bi) {
    if (!bi || bi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) return false;
    const BITMAPINFOHEADER &h = bi->bmiHeader;
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biWidth > 32768 || h.biHeight > 32768 || h.biHeight < -32768) return false;
    if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (h.biBitCount == 16 || h.biBitCount == 32)))
        return false;
    switch (h.biBitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: return true;
    }
    return false;
}

// Puts DIB rows into a framebuffer at (dx, dy), clipped to it.
void dibToFb(const BITMAPINFO *bi, const void *bits, int firstScan, int lines, Framebuffer &fb, int dx, int dy) {
    const BITMAPINFOHEADER &h = bi->bmiHeader;
    int w = h.biWidth, height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    bool bottomUp = h.biHeight > 0;
    int stride = dibStride(w, h.biBitCount);
    std::vector<uint32_t> row(static_cast<size_t>(w));
    for (int i = 0; i < lines; i++) {
        int scan = firstScan + i; // scan 0 is the bottom row of a bottom-up DIB
        int y = bottomUp ? height - 1 - scan : scan;
        if (y < 0 || y >= height) continue;
        const uint8_t *src = static_cast<const uint8_t *>(bits) + static_cast<size_t>(i) * static_cast<size_t>(stride);
        readDibRow(bi, src, w, row.data());
        int ty = dy + y;
        if (ty < 0 || ty >= fb.height) continue;
        for (int x = 0; x < w; x++) {
            int tx = dx + x;
            if (tx >= 0 && tx < fb.width) fb.at(tx, ty) = row[static_cast<size_t>(x)];
        }
    }
}

} // namespace

void BitmapObj::loadShadow() {
    if (!shadowed) return;
    std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + palette.size() * sizeof(RGBQUAD) + sizeof(RGBQUAD));
    std::memcpy(info.data(), &bih, sizeof bih);
    if (!palette.empty()) std::memcpy(info.data() + sizeof bih, palette.data(), palette.size() * sizeof(RGBQUAD));
    auto *bi = reinterpret_cast<BITMAPINFO *>(info.data());
    int height = bih.biHeight < 0 ? -bih.biHeight : bih.biHeight;
    dibToFb(bi, bits, 0, height, *fb, 0, 0);
}

void BitmapObj::storeShadow() {
    if (!shadowed) return;
    int height = bih.biHeight < 0 ? -bih.biHeight : bih.biHeight;
    int stride = dibStride(fb->width, bih.biBitCount);
    for (int y = 0; y < height; y++) {
        int row = bih.biHeight > 0 ? height - 1 - y : y;
        writeDibRow(bih, fb->row(y), fb->width, static_cast<uint8_t *>(bits) + static_cast<size_t>(row) * stride, &palette);
    }
}

} // namespace winapi::gdi

using namespace winapi;
using namespace winapi::gdi;

extern "C" {

HBITMAP WINAPI CreateBitmap(int w, int h, UINT planes, UINT bpp, const void *bits) {
    if (w < 0 || h < 0 || planes != 1 || w > 32768 || h > 32768) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (w == 0 || h == 0) return static_cast<HBITMAP>(defaultBitmapObject()); // as Windows: the 1 x 1 stock bitmap
    auto b = newBitmap(w, h, bpp == 1 ? 1 : 32, 0);
    HBITMAP hb = static_cast<HBITMAP>(insertObject(b));
    if (bits) SetBitmapBits(hb, static_cast<DWORD>(((w * static_cast<int>(bpp) + 15) / 16) * 2 * h), bits);
    return hb;
}

HBITMAP WINAPI CreateBitmapIndirect(const BITMAP *bm) {
    if (!bm) return nullptr;
    return CreateBitmap(bm->bmWidth, bm->bmHeight, bm->bmPlanes, bm->bmBitsPixel, bm->bmBits);
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int w, int h) {
    auto dc = lookupAs<DCObj>(hdc, Kind::DC);
    if (!dc || w < 0 || h < 0 || w > 32768 || h > 32768) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int bpp = 32;
    if (dc->type == DCObj::Memory)
        if (auto bm = lookupAs<BitmapObj>(dc->bitmap, Kind::Bitmap)) bpp = bm->bpp;
    auto b = newBitmap(w, h, bpp, 0);
    return static_cast<HBITMAP>(insertObject(b));
}

HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO *bi, UINT, void **bitsOut, HANDLE section, DWORD) {
    if (bitsOut) *bitsOut = nullptr;
    if (!validDib(bi) || section) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER &h = bi->bmiHeader;
    int w = h.biWidth, height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    if (h.biBitCount != 32) {
        // Other depths keep the application's bits and a 32-bit copy.
        if (h.biCompression != BI_RGB) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return nullptr;
        }
        auto b = std::make_shared<BitmapObj>();
        size_t bytes = static_cast<size_t>(dibStride(w, h.biBitCount)) * static_cast<size_t>(height);
        b->dibMemory.assign((bytes + 3) / 4, 0);
        b->fb = std::make_shared<Framebuffer>(w, height, 0);
        b->bpp = h.biBitCount;
        b->dibSection = true;
        b->shadowed = true;
        b->bits = b->dibMemory.data();
        b->bih = h;
        b->bih.biSizeImage = static_cast<DWORD>(bytes);
        if (h.biBitCount <= 8) {
            int n = colorCount(h);
            b->palette.assign(bi->bmiColors, bi->bmiColors + n);
        }
        if (bitsOut) *bitsOut = b->bits;
        return static_cast<HBITMAP>(insertObject(b));
    }
    auto b = std::make_shared<BitmapObj>();
    b->dibMemory.assign(static_cast<size_t>(w) * static_cast<size_t>(height), 0);
    uint32_t *base = b->dibMemory.data();
    if (h.biHeight > 0)
        b->fb = std::make_shared<Framebuffer>(base + static_cast<size_t>(height - 1) * w, w, height, -w);
    else
        b->fb = std::make_shared<Framebuffer>(base, w, height, w);
    b->bpp = 32;
    b->dibSection = true;
    b->bits = base;
    b->bih = h;
    b->bih.biSizeImage = static_cast<DWORD>(w * height * 4);
    if (bitsOut) *bitsOut = base;
    return static_cast<HBITMAP>(insertObject(b));
}

int WINAPI SetDIBits(HDC, HBITMAP hb, UINT start, UINT lines, const void *bits, const BITMAPINFO *bi, UINT) {
    auto b = lookupAs<BitmapObj>(hb, Kind::Bitmap);
    if (!b || !validDib(bi) || !bits) return 0;
    int height = bi->bmiHeader.biHeight < 0 ? -bi->bmiHeader.biHeight : bi->bmiHeader.biHeight;
    if (static_cast<int>(start) >= height) return 0;
    std::unique_lock<std::recursive_mutex> shadow(b->shadowMu, std::defer_lock);
    if (b->shadowed) {
        shadow.lock();
        if (b->shadowDepth == 0) b->loadShadow();
    }
    lines = std::min<UINT>(lines, static_cast<UINT>(height) - start);
    // The DIB's height is measured against the bitmap's own.
    Framebuffer &fb = *b->fb;
    int offsetY = fb.height - height;
    if (bi->bmiHeader.biHeight < 0) offsetY = 0;
    dibToFb(bi, bits, static_cast<int>(start), static_cast<int>(lines), fb, 0, offsetY);
    if (b->bpp == 1 && !b->shadowed)
        for (int y = 0; y < fb.height; y++)
            for (int x = 0; x < fb.width; x++) fb.at(x, y) = (fb.at(x, y) & 0xFFFFFF) ? 0xFFFFFF : 0;
    if (b->shadowed && b->shadowDepth == 0) b->storeShadow();
    return static_cast<int>(lines);
}

HBITMAP WINAPI CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER *bih, DWORD init, const void *bits, const BITMAPINFO *bi,
                              UINT usage) {
    if (!bih) return nullptr;
    int h = bih->biHeight < 0 ? -bih->biHeight : bih->biHeight;
    auto b = newBitmap(bih->biWidth, h, 32, 0);
    HBITMAP hb = static_cast<HBITMAP>(insertObject(b));
    if ((init & CBM_INIT) && bits && bi) SetDIBits(hdc, hb, 0, static_cast<UINT>(h), bits, bi, usage);
    return hb;
}

int WINAPI GetDIBits(HDC, HBITMAP hb, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO bi, UINT) {
    auto b = lookupAs<BitmapObj>(hb, Kind::Bitmap);
    if (!b || !bi) return 0;
    BITMAPINFOHEADER &h = bi->bmiHeader;
    Framebuffer &fb = *b->fb;
    std::unique_lock<std::recursive_mutex> shadow(b->shadowMu, std::defer_lock);
    if (b->shadowed) {
        shadow.lock();
        if (b->shadowDepth == 0) b->loadShadow();
    }
    if (!bits) {
        // Fill in the header only.
        if (h.biBitCount == 0) {
            h.biWidth = fb.width;
            h.biHeight = fb.height;
            h.biPlanes = 1;
            h.biBitCount = static_cast<WORD>(b->bpp);
            h.biCompression = BI_RGB;
            h.biSizeImage = static_cast<DWORD>(dibStride(fb.width, b->bpp) * fb.height);
        }
        return 1;
    }
    if (h.biBitCount != 1 && h.biBitCount != 24 && h.biBitCount != 32) return 0;
    if (h.biWidth != fb.width) h.biWidth = fb.width;
    int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    bool bottomUp = h.biHeight > 0;
    if (height > fb.height) height = fb.height;
    int stride = dibStride(fb.width, h.biBitCount);
    if (h.biBitCount == 1) {
        bi->bmiColors[0] = RGBQUAD{0, 0, 0, 0};
        RGBQUAD white{255, 255, 255, 0};
        std::memcpy(reinterpret_cast<uint8_t *>(bi->bmiColors) + sizeof(RGBQUAD), &white, sizeof white);
    }
    UINT done = 0;
    for (UINT i = 0; i < lines; i++) {
        int scan = static_cast<int>(start + i);
        int y = bottomUp ? height - 1 - scan : scan;
        if (y < 0 || y >= height) break;
        uint8_t *dst = static_cast<uint8_t *>(bits) + static_cast<size_t>(i) * static_cast<size_t>(stride);
        writeDibRow(h, fb.row(y), fb.width, dst);
        done++;
    }
    return static_cast<int>(done);
}

int WINAPI StretchDIBits(HDC hdc, int xd, int yd, int wd, int hdh, int xs, int ys, int ws, int hs, const void *bits,
                         const BITMAPINFO *bi, UINT, DWORD rop) {
    if (!validDib(bi) || !bits) return 0;
    int w = bi->bmiHeader.biWidth, h = bi->bmiHeader.biHeight < 0 ? -bi->bmiHeader.biHeight : bi->bmiHeader.biHeight;
    // Decoded into a memory DC, then drawn as StretchBlt draws.
    auto tmp = std::make_shared<BitmapObj>();
    tmp->fb = std::make_shared<Framebuffer>(w, h, 0);
    dibToFb(bi, bits, 0, h, *tmp->fb, 0, 0);
    HBITMAP hb = static_cast<HBITMAP>(insertObject(tmp));
    HDC mem = CreateCompatibleDC(hdc);
    HGDIOBJ old = SelectObject(mem, hb);
    // ys counts from the bottom of a bottom-up DIB.
    int sy = bi->bmiHeader.biHeight > 0 ? h - ys - hs : ys;
    StretchBlt(hdc, xd, yd, wd, hdh, mem, xs, sy, ws, hs, rop);
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(hb);
    return hs;
}

int WINAPI SetDIBitsToDevice(HDC hdc, int xd, int yd, DWORD w, DWORD h, int xs, int ys, UINT start, UINT lines,
                             const void *bits, const BITMAPINFO *bi, UINT usage) {
    if (!validDib(bi) || !bits) return 0;
    int height = bi->bmiHeader.biHeight < 0 ? -bi->bmiHeader.biHeight : bi->bmiHeader.biHeight;
    if (start != 0 || static_cast<int>(lines) < height) return 0; // bands of scans are not supported
    StretchDIBits(hdc, xd, yd, static_cast<int>(w), static_cast<int>(h), xs, ys, static_cast<int>(w), static_cast<int>(h),
                  bits, bi, usage, SRCCOPY);
    return static_cast<int>(lines);
}

LONG WINAPI GetBitmapBits(HBITMAP hb, LONG cb, LPVOID out) {
    auto b = lookupAs<BitmapObj>(hb, Kind::Bitmap);
    if (!b || !out || cb <= 0) return 0;
    Framebuffer &fb = *b->fb;
    if (b->bpp == 1) {
        int stride = ((fb.width + 15) / 16) * 2;
        LONG n = std::min<LONG>(cb, stride * fb.height);
        std::memset(out, 0, static_cast<size_t>(n));
        auto *p = static_cast<uint8_t *>(out);
        for (int y = 0; y < fb.height; y++)
            for (int x = 0; x < fb.width; x++) {
                LONG idx = y * stride + (x >> 3);
                if (idx < n && fb.at(x, y)) p[idx] |= static_cast<uint8_t>(0x80 >> (x & 7));
            }
        return n;
    }
    LONG n = std::min<LONG>(cb, fb.width * fb.height * 4);
    auto *p = static_cast<uint8_t *>(out);
    LONG k = 0;
    for (int y = 0; y < fb.height && k < n; y++)
        for (int x = 0; x < fb.width && k < n; x++) {
            uint32_t v = fb.at(x, y);
            for (int byte = 0; byte < 4 && k < n; byte++) p[k++] = static_cast<uint8_t>(v >> (8 * byte));
        }
    return n;
}

LONG WINAPI SetBitmapBits(HBITMAP hb, DWORD cb, const void *in) {
    auto b = lookupAs<BitmapObj>(hb, Kind::Bitmap);
    if (!b || !in) return 0;
    Framebuffer &fb = *b->fb;
    const auto *p = static_cast<const uint8_t *>(in);
    if (b->bpp == 1) {
        int stride = ((fb.width + 15) / 16) * 2;
        for (int y = 0; y < fb.height; y++)
            for (int x = 0; x < fb.width; x++) {
                DWORD idx = static_cast<DWORD>(y * stride + (x >> 3));
                if (idx >= cb) return static_cast<LONG>(cb);
                fb.at(x, y) = ((p[idx] >> (7 - (x & 7))) & 1) ? 0xFFFFFF : 0;
            }
        return static_cast<LONG>(std::min<DWORD>(cb, static_cast<DWORD>(stride * fb.height)));
    }
    DWORD k = 0;
    for (int y = 0; y < fb.height; y++)
        for (int x = 0; x < fb.width; x++) {
            if (k + 4 > cb) return static_cast<LONG>(k);
            uint32_t v = p[k] | (p[k + 1] << 8) | (p[k + 2] << 16);
            fb.at(x, y) = v;
            k += 4;
        }
    return static_cast<LONG>(k);
}

} // extern "C"
