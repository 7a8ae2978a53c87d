#include "font_raster.h"

#include "font_boxdraw.h"
#include "font_codepage.h"
#include "font_faces.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <list>
#include <map>
#include <mutex>
#include <utility>

namespace winapi::gdi {

namespace {

constexpr uint8_t kTmpfVariablePitch = 0x01, kTmpfVector = 0x02, kTmpfTrueType = 0x04;
constexpr uint8_t kOemCharset = 255, kAnsiCharset = 0;

// FreeType is not thread-safe per library: every use happens under this
// lock, and only while a font is realised; drawing needs no lock.
std::mutex g_freetypeLock;

class FreeType {
public:
    static FreeType &instance() {
        static FreeType ft;
        return ft;
    }

    // The face of a file, opened once; null when the file is missing.
    FT_Face open(const std::string &path) {
        auto it = faces_.find(path);
        if (it != faces_.end())
            return it->second;
        FT_Face face = nullptr;
        if (!library_ || FT_New_Face(library_, path.c_str(), 0, &face) != 0)
            face = nullptr;
        faces_[path] = face;
        return face;
    }

private:
    FreeType() {
        if (FT_Init_FreeType(&library_) != 0)
            library_ = nullptr;
    }
    FT_Library library_ = nullptr;
    std::map<std::string, FT_Face> faces_;
};

int strikeIndex(FT_Face face, int ppem) {
    for (int i = 0; i < face->num_fixed_sizes; ++i)
        if (ppem == 0 || (face->available_sizes[i].y_ppem + 32) >> 6 == ppem)
            return i;
    return -1;
}

// A glyph image: coverage 0..255 at (x, y) from the pen position at the top
// of the cell.
struct Mask {
    int x = 0, y = 0, w = 0, h = 0;
    std::vector<uint8_t> a;
    uint8_t at(int cx, int cy) const {
        return cx >= 0 && cy >= 0 && cx < w && cy < h ? a[size_t(cy) * w + cx] : 0;
    }
};

struct Glyph {
    Mask mask;
    int advance = 0;
    bool box = false;  // drawn by rule (code page 437's 0xB0..0xDF)
};

// The longest run of set pixels through the middle of a mask, across
// (horizontal run) or down it: the stroke width of a line glyph.
int strokeWidth(const Mask &m, bool across) {
    int best = 0, run = 0;
    int n = across ? m.w : m.h;
    for (int i = 0; i < n; ++i) {
        bool on = across ? m.at(i, m.h / 2) >= 128 : m.at(m.w / 2, i) >= 128;
        run = on ? run + 1 : 0;
        best = std::max(best, run);
    }
    return best;
}

Mask emboldened(const Mask &m) {
    Mask r = m;
    r.w = m.w + 1;
    r.a.assign(size_t(r.w) * r.h, 0);
    for (int y = 0; y < r.h; ++y)
        for (int x = 0; x < r.w; ++x)
            r.a[size_t(y) * r.w + x] = std::max(m.at(x, y), m.at(x - 1, y));
    return r;
}

// Slants a mask about the baseline, one pixel for every four rows.
Mask slanted(const Mask &m, int baseline) {
    if (m.h == 0)
        return m;
    auto shift = [&](int row) {
        int d = baseline - (m.y + row);
        return d >= 0 ? d / 4 : -((-d + 3) / 4);
    };
    int lo = std::min(shift(0), shift(m.h - 1)), hi = std::max(shift(0), shift(m.h - 1));
    Mask r = m;
    r.x = m.x + lo;
    r.w = m.w + hi - lo;
    r.a.assign(size_t(r.w) * r.h, 0);
    for (int y = 0; y < m.h; ++y)
        for (int x = 0; x < m.w; ++x)
            r.a[size_t(y) * r.w + x + shift(y) - lo] = m.at(x, y);
    return r;
}

Mask hollowBox(int left, int top, int right, int bottom) {
    Mask r;
    r.x = left;
    r.y = top;
    r.w = std::max(1, right - left);
    r.h = std::max(1, bottom - top);
    r.a.assign(size_t(r.w) * r.h, 0);
    for (int y = 0; y < r.h; ++y)
        for (int x = 0; x < r.w; ++x)
            if (x == 0 || y == 0 || x == r.w - 1 || y == r.h - 1)
                r.a[size_t(y) * r.w + x] = 255;
    return r;
}

// What a request resolved to.
struct Source {
    FT_Face face = nullptr;
    bool outline = false;
    int strike = -1;
    int ppem = 0, xppem = 0;
    int cell = 0, ascent = 0, charHeight = 0;
    bool simulateBold = false, simulateItalic = false;
};

bool pickStrike(const FontRequest &r, int height, const StyleSources &style, Source &out) {
    for (const StrikeSource &s : style.strikes) {
        FT_Face f = FreeType::instance().open(s.file);
        if (!f)
            continue;
        int idx = strikeIndex(f, s.ppem);
        if (idx < 0 || FT_Select_Size(f, idx) != 0)
            continue;
        int ascent = int((f->size->metrics.ascender + 32) >> 6) + s.extraTop;
        int descent = int((-f->size->metrics.descender + 32) >> 6);
        int cell = ascent + descent;
        int charHeight = s.charHeight ? s.charHeight : cell;
        if (height < 0 ? charHeight != -height : cell != height)
            continue;
        if (r.width > 0 && (f->available_sizes[idx].width != r.width))
            continue;  // another width is the outline's to make
        out = Source{f, false, idx, charHeight, 0, cell, ascent, charHeight};
        return true;
    }
    return false;
}

bool pickOutline(const FontRequest &r, int height, const StyleSources &style, Source &out) {
    for (const std::string &file : style.outlines) {
        FT_Face f = FreeType::instance().open(file);
        if (!f || !FT_IS_SCALABLE(f))
            continue;
        const int units = f->units_per_EM;
        const TT_OS2 *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
        long winAscent = os2 ? os2->usWinAscent : f->ascender;
        long winDescent = os2 ? os2->usWinDescent : -f->descender;
        if (winAscent + winDescent <= 0)
            continue;
        Source s;
        s.face = f;
        s.outline = true;
        // A negative height is the em (character) height; a positive one the
        // cell, ascent plus descent as the OS/2 table gives them.
        s.ppem = height < 0 ? -height : std::max<int>(1, int(height * long(units) / (winAscent + winDescent)));
        s.ascent = int((winAscent * s.ppem + units - 1) / units);
        int descent = int((winDescent * s.ppem + units - 1) / units);
        if (height > 0) {
            s.ascent = std::min(s.ascent, height);
            descent = height - s.ascent;
        }
        s.cell = s.ascent + descent;
        s.charHeight = s.ppem;
        s.xppem = s.ppem;
        if (r.width > 0) {
            int natural = os2 && os2->xAvgCharWidth > 0 ? int(os2->xAvgCharWidth * long(s.ppem) / units) : s.ppem / 2;
            s.xppem = std::max(1, int(long(s.ppem) * r.width / std::max(1, natural)));
        }
        out = s;
        return true;
    }
    return false;
}

// Another file that lends the characters the chosen one lacks.
struct Lender {
    FT_Face face;
    bool outline;
    int strike;  // for a bitmap
    int ppem;    // for an outline
};

std::vector<Lender> lenders(const StyleSources &style, const Source &src) {
    std::vector<Lender> out;
    for (const StrikeSource &s : style.strikes) {
        FT_Face f = FreeType::instance().open(s.file);
        int idx = f ? strikeIndex(f, s.ppem) : -1;
        if (idx < 0 || f == src.face || FT_Select_Size(f, idx) != 0)
            continue;
        int ascent = int((f->size->metrics.ascender + 32) >> 6) + s.extraTop;
        int descent = int((-f->size->metrics.descender + 32) >> 6);
        if (ascent + descent == src.cell && ascent == src.ascent)
            out.push_back({f, false, idx, 0});
    }
    for (const std::string &file : style.outlines) {
        FT_Face f = FreeType::instance().open(file);
        if (!f || !FT_IS_SCALABLE(f) || f == src.face)
            continue;
        // Sized so that its ascent and descent fit the cell.
        const TT_OS2 *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
        long span = os2 ? long(os2->usWinAscent) + os2->usWinDescent : f->ascender - f->descender;
        int ppem = std::max<int>(1, int(src.cell * long(f->units_per_EM) / std::max(1L, span)));
        out.push_back({f, true, -1, ppem});
        break;
    }
    return out;
}

}  // namespace

class FontImpl {
public:
    std::string face;
    int codePage = 1252;
    bool fixed = false;
    bool underline = false, strikeOut = false;
    FontMetrics metrics;
    std::array<Glyph, 256> glyphs;
    BoxPen pen;
    int underlineY = 0, strikeY = 0, lineHeight = 1;

    void blit(Surface &s, const Mask &m, int x, int y, uint32_t color, const RECT &c) const;
};

namespace {

// Glyphs are rendered ahead for all 256 characters, so sizes have a bound.
constexpr int kMaxPixels = 256;

std::unique_ptr<FontImpl> realise(const FontRequest &request) {
    const FaceEntry &entry = faceTable()[mapFace(request)];
    FontRequest r = request;
    r.height = std::clamp(r.height, -kMaxPixels, kMaxPixels);
    r.width = std::min(kMaxPixels, r.width < 0 ? (r.width < -kMaxPixels ? kMaxPixels : -r.width) : r.width);
    auto font = std::make_unique<FontImpl>();
    font->face = entry.name;
    font->codePage = entry.oem ? 437 : 1252;
    font->fixed = entry.fixed;
    font->underline = r.underline;
    font->strikeOut = r.strikeOut;

    const int height = r.height ? r.height : entry.defaultHeight;
    const int weight = r.weight > 0 ? r.weight : 400;
    const bool bold = weight >= 600 && entry.baseWeight < 600;
    const int wanted = (bold ? kBold : 0) | (r.italic ? kItalic : 0);
    std::vector<int> order{wanted};
    if (wanted & kItalic)
        order.push_back(wanted & kBold);
    if (wanted != kRegular && order.back() != kRegular)
        order.push_back(kRegular);

    Source src;
    int used = -1;
    for (int st : order)
        if (used < 0 && pickStrike(r, height, entry.styles[st], src))
            used = st;
    for (int st : order)
        if (used < 0 && pickOutline(r, height, entry.styles[st], src))
            used = st;
    if (used < 0) {
        // No outline to scale: the nearest strike of the regular style.
        int best = 1 << 30;
        for (const StrikeSource &s : entry.styles[kRegular].strikes) {
            Source cand;
            FontRequest any = r;
            any.width = 0;
            FT_Face f = FreeType::instance().open(s.file);
            if (!f || strikeIndex(f, s.ppem) < 0 || FT_Select_Size(f, strikeIndex(f, s.ppem)) != 0)
                continue;
            int cell = int((f->size->metrics.ascender + 32) >> 6) + int((-f->size->metrics.descender + 32) >> 6) +
                       s.extraTop;
            int d = std::abs(cell - std::abs(height));
            if (d < best && pickStrike(any, cell, StyleSources{{s}, {}}, cand)) {
                best = d;
                src = cand;
                used = kRegular;
            }
        }
    }
    if (used >= 0) {
        src.simulateBold = (wanted & kBold) && !(used & kBold);
        src.simulateItalic = (wanted & kItalic) && !(used & kItalic);
    }

    FontMetrics &m = font->metrics;
    if (used >= 0) {
        m.height = src.cell;
        m.ascent = src.ascent;
    } else {
        // No font file at all: boxes in a plausible cell, so that layout still works.
        m.height = std::max(4, std::abs(height) + (height < 0 ? std::abs(height) / 6 : 0));
        m.ascent = m.height * 4 / 5;
        src.charHeight = height < 0 ? -height : m.height;
    }
    m.descent = m.height - m.ascent;
    m.internalLeading = std::max(0, m.height - src.charHeight);
    m.externalLeading = 0;

    FT_Face f = src.face;
    FT_Int32 loadFlags = FT_LOAD_RENDER | FT_LOAD_TARGET_MONO;
    if (f && src.outline) {
        FT_Set_Pixel_Sizes(f, FT_UInt(src.xppem), FT_UInt(src.ppem));
        loadFlags |= FT_LOAD_FORCE_AUTOHINT;
    } else if (f) {
        FT_Select_Size(f, src.strike);
    }

    int cellWidth = 0;
    const std::vector<Lender> others = used >= 0 ? lenders(entry.styles[used], src) : std::vector<Lender>{};
    auto load = [&](uint32_t unicode) -> FT_GlyphSlot {
        FT_UInt idx = f && unicode ? FT_Get_Char_Index(f, unicode) : 0;
        if (idx)
            return FT_Load_Glyph(f, idx, loadFlags) == 0 ? f->glyph : nullptr;
        for (const Lender &l : others) {
            idx = unicode ? FT_Get_Char_Index(l.face, unicode) : 0;
            if (!idx)
                continue;
            if (l.outline ? FT_Set_Pixel_Sizes(l.face, 0, FT_UInt(l.ppem)) : FT_Select_Size(l.face, l.strike))
                continue;
            FT_Int32 flags = FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | (l.outline ? FT_LOAD_FORCE_AUTOHINT : 0);
            if (FT_Load_Glyph(l.face, idx, flags) != 0)
                continue;
            return l.face->glyph;
        }
        return nullptr;
    };
    auto render = [&](uint32_t unicode, Glyph &g) {
        FT_GlyphSlot slot = load(unicode);
        if (!slot)
            return false;
        const FT_Bitmap &b = slot->bitmap;
        g.advance = int((slot->advance.x + 32) >> 6);
        g.mask.x = slot->bitmap_left;
        g.mask.y = m.ascent - slot->bitmap_top;
        g.mask.w = int(b.width);
        g.mask.h = int(b.rows);
        g.mask.a.assign(size_t(g.mask.w) * g.mask.h, 0);
        for (int y = 0; y < g.mask.h; ++y)
            for (int x = 0; x < g.mask.w; ++x) {
                const unsigned char *row = b.buffer + ptrdiff_t(y) * b.pitch;
                uint8_t v = b.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x >> 3] >> (7 - (x & 7))) & 1) * 255
                            : b.pixel_mode == FT_PIXEL_MODE_GRAY ? row[x]
                                                                : 0;
                g.mask.a[size_t(y) * g.mask.w + x] = v;
            }
        return true;
    };

    // The fixed faces' cell is the width of a digit.
    if (entry.fixed) {
        Glyph zero;
        cellWidth = render('0', zero) ? zero.advance : std::max(1, m.height / 2);
        if (r.width > 0)
            cellWidth = r.width;
    }
    Glyph x;
    const bool haveX = render('x', x);
    const int xHeight = haveX ? m.ascent - x.mask.y : m.ascent / 2;
    const int fallbackWidth = entry.fixed ? cellWidth : haveX ? x.advance : std::max(1, m.height / 2);

    Glyph line;
    if (entry.oem && render(0x2502, line))
        font->pen.vertical = strokeWidth(line.mask, true);
    if (entry.oem && render(0x2500, line))
        font->pen.horizontal = strokeWidth(line.mask, false);

    for (int ch = 0; ch < 256; ++ch) {
        Glyph &g = font->glyphs[size_t(ch)];
        uint32_t unicode = codePageToUnicode(font->codePage, uint8_t(ch));
        if (entry.oem && isBoxCharacter(uint8_t(ch))) {
            g.box = true;
            g.advance = cellWidth;
        } else if (entry.oem && (unicode == 0 || unicode == 0x20 || unicode == 0xA0)) {
            g.advance = cellWidth;  // blanks
        } else if (!render(unicode, g)) {
            // Windows shows a character the font lacks as a box.
            g = Glyph{};
            g.advance = fallbackWidth;
            int top = m.ascent - std::max(2, src.charHeight * 7 / 10);
            g.mask = hollowBox(1, std::max(0, top), std::max(2, g.advance - 1), m.ascent);
        }
        if (entry.fixed)
            g.advance = cellWidth;
        if (src.simulateItalic && !g.box)
            g.mask = slanted(g.mask, m.ascent);
        if (src.simulateBold) {
            if (!g.box)
                g.mask = emboldened(g.mask);
            g.advance += 1;
        }
    }
    if (src.simulateBold)
        font->pen.vertical += 1;

    int maxWidth = 0;
    for (int ch = font->codePage == 437 ? 0 : 0x20; ch < 256; ++ch)
        maxWidth = std::max(maxWidth, font->glyphs[size_t(ch)].advance);
    // Proportional faces: the average of the lower-case letters and the
    // space weighted by their frequency in English text (the classic
    // definition of xAvgCharWidth), from the widths as drawn.
    int average = fallbackWidth;
    if (!entry.fixed && used >= 0) {
        static constexpr int kWeights[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6, 35, 20, 56,
                                             56, 17, 4,  49, 56,  71, 31, 10, 18, 3,  18, 2, 166};
        long sum = 0;
        for (int i = 0; i < 27; ++i)
            sum += long(kWeights[i]) * font->glyphs[i < 26 ? 'a' + i : ' '].advance;
        average = int((sum + 500) / 1000);
    } else if (src.simulateBold) {
        average += 1;
    }
    m.aveCharWidth = average;
    m.maxCharWidth = maxWidth;
    m.weight = bold || entry.baseWeight >= 600 ? 700 : 400;
    m.overhang = 0;
    m.italic = r.italic ? 255 : 0;
    m.underlined = r.underline ? 255 : 0;
    m.struckOut = r.strikeOut ? 255 : 0;
    m.pitchAndFamily = uint8_t(entry.family | (entry.fixed ? 0 : kTmpfVariablePitch) |
                               (src.outline ? kTmpfVector | kTmpfTrueType : 0));
    m.charSet = entry.oem ? kOemCharset : kAnsiCharset;
    if (entry.oem) {
        m.firstChar = 0;
        m.lastChar = 255;
        m.defaultChar = 0x20;
    } else {
        m.firstChar = 0x20;
        m.lastChar = 0xFF;
        m.defaultChar = 0x80;
    }
    m.breakChar = 0x20;

    font->lineHeight = std::max(1, (m.height + 10) / 24);
    font->underlineY = std::min(m.ascent + m.descent / 3, m.height - font->lineHeight);
    font->strikeY = m.ascent - (xHeight + 1) / 2;
    return font;
}

std::string cacheKey(const FontRequest &r) {
    std::string key;
    for (char c : r.face)
        key += char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    key += '\0';
    for (int v : {r.height, r.width, r.weight, int(r.italic), int(r.underline), int(r.strikeOut), int(r.charSet),
                  int(r.pitchAndFamily)})
        key += std::to_string(v) + ',';
    return key;
}

// Realised fonts, most recently used first; a program that makes many sizes
// keeps only the last few realised (the ones it still holds stay alive).
constexpr size_t kCacheSize = 64;
std::mutex g_cacheLock;
std::list<std::pair<std::string, std::shared_ptr<Font>>> g_cache;

}  // namespace

void FontImpl::blit(Surface &s, const Mask &m, int x, int y, uint32_t color, const RECT &c) const {
    const int x0 = std::max<int>(x + m.x, c.left), x1 = std::min<int>(x + m.x + m.w, c.right);
    const int y0 = std::max<int>(y + m.y, c.top), y1 = std::min<int>(y + m.y + m.h, c.bottom);
    for (int yy = y0; yy < y1; ++yy) {
        const uint8_t *src = m.a.data() + size_t(yy - y - m.y) * m.w - (x + m.x);
        uint32_t *dst = s.pixels + size_t(yy) * s.stride;
        for (int xx = x0; xx < x1; ++xx) {
            unsigned a = src[xx];
            if (a == 255) {
                dst[xx] = color;
            } else if (a) {
                uint32_t bg = dst[xx], out = 0;
                for (int shift = 0; shift <= 16; shift += 8) {
                    unsigned fc = (color >> shift) & 0xFF, bc = (bg >> shift) & 0xFF;
                    out |= ((fc * a + bc * (255 - a) + 127) / 255) << shift;
                }
                dst[xx] = out;
            }
        }
    }
}

Font::Font(std::unique_ptr<FontImpl> impl) : impl_(std::move(impl)) {}
Font::~Font() = default;

std::shared_ptr<Font> Font::select(const FontRequest &request) {
    const std::string key = cacheKey(request);
    {
        std::lock_guard<std::mutex> lock(g_cacheLock);
        for (auto it = g_cache.begin(); it != g_cache.end(); ++it)
            if (it->first == key) {
                g_cache.splice(g_cache.begin(), g_cache, it);
                return it->second;
            }
    }
    std::unique_ptr<FontImpl> impl;
    {
        std::lock_guard<std::mutex> lock(g_freetypeLock);
        impl = realise(request);
    }
    auto font = std::make_shared<Font>(std::move(impl));
    std::lock_guard<std::mutex> lock(g_cacheLock);
    for (auto &entry : g_cache)
        if (entry.first == key)
            return entry.second;  // another thread realised it meanwhile
    g_cache.emplace_front(key, font);
    if (g_cache.size() > kCacheSize)
        g_cache.pop_back();
    return font;
}

const FontMetrics &Font::metrics() const { return impl_->metrics; }
const std::string &Font::faceName() const { return impl_->face; }
int Font::codePage() const { return impl_->codePage; }
bool Font::fixedPitch() const { return impl_->fixed; }

int Font::advance(uint8_t ch) const { return impl_->glyphs[ch].advance; }

SIZE Font::extent(const char *s, int n) const {
    SIZE size{0, impl_->metrics.height};
    for (int i = 0; s && i < n; ++i)
        size.cx += impl_->glyphs[uint8_t(s[i])].advance;
    return size;
}

void Font::draw(Surface &surface, int x, int y, const char *s, int n, uint32_t color, const RECT &clip,
                const int *dx) const {
    if (!surface.pixels || !s || n <= 0)
        return;
    RECT c{std::max<LONG>(clip.left, 0), std::max<LONG>(clip.top, 0), std::min<LONG>(clip.right, surface.width),
           std::min<LONG>(clip.bottom, surface.height)};
    if (c.left >= c.right || c.top >= c.bottom)
        return;
    color &= 0x00FFFFFF;
    const FontImpl &f = *impl_;
    int pen = x;
    for (int i = 0; i < n; ++i) {
        const uint8_t ch = uint8_t(s[i]);
        const Glyph &g = f.glyphs[ch];
        const int advance = dx ? dx[i] : g.advance;
        if (g.box)
            drawBoxCharacter(surface, pen, y, advance, f.metrics.height, ch, color, c, f.pen);
        else if (!g.mask.a.empty())
            f.blit(surface, g.mask, pen, y, color, c);
        pen += advance;
    }
    auto rule = [&](int top) {
        const int l = std::max<int>(std::min(x, pen), c.left), r = std::min<int>(std::max(x, pen), c.right);
        for (int yy = std::max<int>(y + top, c.top); yy < std::min<int>(y + top + f.lineHeight, c.bottom); ++yy)
            for (int xx = l; xx < r; ++xx)
                surface.pixels[size_t(yy) * surface.stride + xx] = color;
    };
    if (f.underline)
        rule(f.underlineY);
    if (f.strikeOut)
        rule(f.strikeY);
}

}  // namespace winapi::gdi
