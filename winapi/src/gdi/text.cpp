// Fonts and text: font objects over the rasteriser, metrics and extents,
// TextOutA and ExtTextOutA with background modes, alignment and clipping,
// and DrawTextA with its line breaking, alignment and mnemonic prefixes.
#include "gdi.h"

#include <cstring>
#include <string>
#include <vector>

using namespace winapi;
using namespace winapi::gdi;

namespace {

struct Line {
    std::string text;
    int underline = -1; // index in text of the mnemonic character
};

int extentOf(const Font &f, const DCObj &dc, const std::string &s) {
    SIZE sz = f.extent(s.data(), static_cast<int>(s.size()));
    return sz.cx + dc.charExtra * static_cast<int>(s.size());
}

// Removes the & prefixes; records the character to underline.
Line stripPrefix(const std::string &s, bool noPrefix) {
    Line l;
    if (noPrefix) {
        l.text = s;
        return l;
    }
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] == '&') {
            if (i + 1 < s.size() && s[i + 1] == '&') {
                l.text += '&';
                i++;
            } else if (i + 1 < s.size()) {
                if (l.underline < 0) l.underline = static_cast<int>(l.text.size());
            }
            continue;
        }
        l.text += s[i];
    }
    return l;
}

std::string expandTabs(const std::string &s, const Font &f, const DCObj &dc, int tabWidth) {
    if (s.find('\t') == std::string::npos) return s;
    std::string out;
    for (char c : s) {
        if (c != '\t') {
            out += c;
            continue;
        }
        // Spaces up to the next stop (a font without width for spaces stops at one).
        int next = (extentOf(f, dc, out) / tabWidth + 1) * tabWidth;
        do out += ' ';
        while (extentOf(f, dc, out) < next && f.advance(' ') > 0);
    }
    return out;
}

} // namespace

extern "C" {

HFONT WINAPI CreateFontIndirectA(const LOGFONTA *lf) {
    if (!lf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto f = std::make_shared<FontObj>();
    f->lf = *lf;
    f->lf.lfFaceName[LF_FACESIZE - 1] = 0;
    return static_cast<HFONT>(insertObject(f));
}

HFONT WINAPI CreateFontA(int h, int w, int esc, int orient, int weight, DWORD italic, DWORD underline, DWORD strike,
                         DWORD charset, DWORD outPrec, DWORD clipPrec, DWORD quality, DWORD pitch, LPCSTR face) {
    LOGFONTA lf{};
    lf.lfHeight = h;
    lf.lfWidth = w;
    lf.lfEscapement = esc;
    lf.lfOrientation = orient;
    lf.lfWeight = weight;
    lf.lfItalic = static_cast<BYTE>(italic);
    lf.lfUnderline = static_cast<BYTE>(underline);
    lf.lfStrikeOut = static_cast<BYTE>(strike);
    lf.lfCharSet = static_cast<BYTE>(charset);
    lf.lfOutPrecision = static_cast<BYTE>(outPrec);
    lf.lfClipPrecision = static_cast<BYTE>(clipPrec);
    lf.lfQuality = static_cast<BYTE>(quality);
    lf.lfPitchAndFamily = static_cast<BYTE>(pitch);
    if (face) lstrcpynA(lf.lfFaceName, face, LF_FACESIZE);
    return CreateFontIndirectA(&lf);
}

BOOL WINAPI GetTextMetricsA(HDC h, LPTEXTMETRICA tm) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc || !tm) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const FontMetrics &m = dcFont(*dc)->metrics();
    tm->tmHeight = m.height;
    tm->tmAscent = m.ascent;
    tm->tmDescent = m.descent;
    tm->tmInternalLeading = m.internalLeading;
    tm->tmExternalLeading = m.externalLeading;
    tm->tmAveCharWidth = m.aveCharWidth;
    tm->tmMaxCharWidth = m.maxCharWidth;
    tm->tmWeight = m.weight;
    tm->tmOverhang = m.overhang;
    tm->tmDigitizedAspectX = m.digitizedAspectX;
    tm->tmDigitizedAspectY = m.digitizedAspectY;
    tm->tmFirstChar = m.firstChar;
    tm->tmLastChar = m.lastChar;
    tm->tmDefaultChar = m.defaultChar;
    tm->tmBreakChar = m.breakChar;
    tm->tmItalic = m.italic;
    tm->tmUnderlined = m.underlined;
    tm->tmStruckOut = m.struckOut;
    tm->tmPitchAndFamily = m.pitchAndFamily;
    tm->tmCharSet = m.charSet;
    return TRUE;
}

int WINAPI GetTextFaceA(HDC h, int n, LPSTR out) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc) return 0;
    const std::string &face = dcFont(*dc)->faceName();
    if (!out) return static_cast<int>(face.size()) + 1;
    if (n <= 0) return 0;
    lstrcpynA(out, face.c_str(), n);
    return lstrlenA(out);
}

BOOL WINAPI GetTextExtentPoint32A(HDC h, LPCSTR s, int n, LPSIZE sz) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc || !sz || n < 0 || (n && !s)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto f = dcFont(*dc);
    *sz = f->extent(s, n);
    sz->cx += dc->charExtra * n;
    return TRUE;
}

BOOL WINAPI GetTextExtentPointA(HDC h, LPCSTR s, int n, LPSIZE sz) { return GetTextExtentPoint32A(h, s, n, sz); }

BOOL WINAPI GetTextExtentExPointA(HDC h, LPCSTR s, int n, int maxExtent, LPINT fit, LPINT dx, LPSIZE sz) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc || !sz || n < 0 || (n && !s)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto f = dcFont(*dc);
    int x = 0, k = 0;
    for (int i = 0; i < n; i++) {
        x += f->advance(static_cast<uint8_t>(s[i])) + dc->charExtra;
        if (dx) dx[i] = x;
        if (x <= maxExtent) k = i + 1;
    }
    if (fit) *fit = k;
    *sz = SIZE{x, f->metrics().height};
    return TRUE;
}

BOOL WINAPI GetCharWidth32A(HDC h, UINT first, UINT last, LPINT out) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc || !out || last < first || last > 255) return FALSE;
    auto f = dcFont(*dc);
    for (UINT c = first; c <= last; c++) out[c - first] = f->advance(static_cast<uint8_t>(c));
    return TRUE;
}

BOOL WINAPI GetCharWidthA(HDC h, UINT first, UINT last, LPINT out) { return GetCharWidth32A(h, first, last, out); }

BOOL WINAPI ExtTextOutA(HDC h, int x, int y, UINT options, const RECT *rect, LPCSTR s, UINT n, const INT *dx) {
    auto dc = drawableDC(h);
    if (!dc || (n && !s)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto font = dcFont(*dc);
    const FontMetrics &m = font->metrics();
    std::vector<int> adv;
    if (!dx && dc->charExtra && n) {
        adv.resize(n);
        for (UINT i = 0; i < n; i++) adv[i] = font->advance(static_cast<uint8_t>(s[i])) + dc->charExtra;
        dx = adv.data();
    }
    int width = 0;
    if (dx)
        for (UINT i = 0; i < n; i++) width += dx[i];
    else
        width = font->extent(s, static_cast<int>(n)).cx;
    if (dc->textAlign & TA_UPDATECP) {
        x = dc->cur.x;
        y = dc->cur.y;
    }
    UINT ha = dc->textAlign & (TA_LEFT | TA_RIGHT | TA_CENTER);
    UINT va = dc->textAlign & (TA_TOP | TA_BOTTOM | TA_BASELINE);
    int left = x;
    if (ha == TA_RIGHT) left = x - width;
    else if (ha == TA_CENTER) left = x - width / 2;
    int top = y;
    if (va == TA_BOTTOM) top = y - m.height;
    else if (va == TA_BASELINE) top = y - m.ascent;
    if (dc->textAlign & TA_UPDATECP) {
        if (ha == TA_LEFT) dc->cur.x = x + width;
        else if (ha == TA_RIGHT) dc->cur.x = x - width;
    }
    if (!dc->fb) return TRUE;

    RECT fbClip{-0x3FFFFFF, -0x3FFFFFF, 0x3FFFFFF, 0x3FFFFFF};
    if (rect) {
        RECT rr{dc->fx(rect->left), dc->fy(rect->top), dc->fx(rect->right), dc->fy(rect->bottom)};
        if (options & ETO_OPAQUE) fillSolidFb(*dc, rr, toPixel(dc->bkColor));
        if (options & ETO_CLIPPED) fbClip = rr;
    }
    int fl = dc->fx(left), ft = dc->fy(top);
    if (dc->bkMode == OPAQUE && n) {
        RECT box{fl, ft, fl + width, ft + m.height};
        box = rectIntersect(box, fbClip);
        fillSolidFb(*dc, box, toPixel(dc->bkColor));
    }
    if (!n) return TRUE;
    Surface surf = dc->fb->surface();
    uint32_t color = toPixel(dc->textColor);
    for (const RECT &c : dc->eff.rects()) {
        RECT clip = rectIntersect(c, fbClip);
        if (rectEmpty(clip)) continue;
        font->draw(surf, fl, ft, s, static_cast<int>(n), color, clip, dx);
    }
    return TRUE;
}

BOOL WINAPI TextOutA(HDC h, int x, int y, LPCSTR s, int n) {
    if (n < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ExtTextOutA(h, x, y, 0, nullptr, s, static_cast<UINT>(n), nullptr);
}

int WINAPI DrawTextA(HDC h, LPCSTR text, int n, LPRECT r, UINT fmt) {
    auto dc = drawableDC(h);
    if (!dc || !r || !text) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (n < 0) n = lstrlenA(text);
    auto font = dcFont(*dc);
    const FontMetrics &m = font->metrics();
    int lineH = m.height + ((fmt & DT_EXTERNALLEADING) ? m.externalLeading : 0);
    int boxW = r->right - r->left;
    int tabWidth = 8 * std::max(1, m.aveCharWidth);
    bool noPrefix = (fmt & DT_NOPREFIX) != 0;
    bool single = (fmt & DT_SINGLELINE) != 0;

    // Split into paragraphs, then break words to the width.
    std::vector<std::string> paras;
    {
        std::string cur;
        for (int i = 0; i < n; i++) {
            char c = text[i];
            if (!single && (c == '\r' || c == '\n')) {
                paras.push_back(cur);
                cur.clear();
                if (c == '\r' && i + 1 < n && text[i + 1] == '\n') i++;
                continue;
            }
            cur += c;
        }
        paras.push_back(cur);
    }
    std::vector<Line> lines;
    for (std::string &p : paras) {
        if (fmt & DT_EXPANDTABS) p = expandTabs(p, *font, *dc, tabWidth);
        if (!(fmt & DT_WORDBREAK) || single) {
            lines.push_back(stripPrefix(p, noPrefix));
            continue;
        }
        size_t pos = 0;
        if (p.empty()) lines.push_back(Line{});
        while (pos < p.size()) {
            // Longest run of whole words that fits; a word wider than the box stands alone.
            size_t end = pos, lastFit = std::string::npos;
            while (end <= p.size()) {
                size_t next = p.find(' ', end);
                if (next == std::string::npos) next = p.size();
                Line candidate = stripPrefix(p.substr(pos, next - pos), noPrefix);
                if (extentOf(*font, *dc, candidate.text) <= boxW || lastFit == std::string::npos) lastFit = next;
                if (extentOf(*font, *dc, candidate.text) > boxW) break;
                if (next >= p.size()) {
                    lastFit = p.size();
                    break;
                }
                end = next + 1;
            }
            std::string piece = p.substr(pos, lastFit - pos);
            lines.push_back(stripPrefix(piece, noPrefix));
            pos = lastFit;
            while (pos < p.size() && p[pos] == ' ') pos++;
        }
    }

    int textH = lineH * static_cast<int>(lines.size());
    int maxW = 0;
    for (Line &l : lines) maxW = std::max(maxW, extentOf(*font, *dc, l.text));
    if (fmt & DT_CALCRECT) {
        r->right = r->left + maxW;
        r->bottom = r->top + textH;
        return textH;
    }
    int y = r->top;
    if (single) {
        if (fmt & DT_VCENTER) y = r->top + (r->bottom - r->top - lineH) / 2;
        else if (fmt & DT_BOTTOM) y = r->bottom - lineH;
    }
    int startY = y;
    UINT options = (fmt & DT_NOCLIP) ? 0 : ETO_CLIPPED;
    UINT oldAlign = SetTextAlign(h, TA_LEFT | TA_TOP);
    for (Line &l : lines) {
        std::string t = l.text;
        int w = extentOf(*font, *dc, t);
        if ((fmt & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) && w > boxW) {
            while (!t.empty() && extentOf(*font, *dc, t + "...") > boxW) t.pop_back();
            t += "...";
            w = extentOf(*font, *dc, t);
        }
        int x = r->left;
        if (fmt & DT_CENTER) x = r->left + (boxW - w) / 2;
        else if (fmt & DT_RIGHT) x = r->right - w;
        ExtTextOutA(h, x, y, options, r, t.data(), static_cast<UINT>(t.size()), nullptr);
        if (l.underline >= 0 && l.underline < static_cast<int>(t.size()) && !(fmt & DT_HIDEPREFIX)) {
            int ux = x + extentOf(*font, *dc, t.substr(0, static_cast<size_t>(l.underline)));
            int uw = font->advance(static_cast<uint8_t>(t[static_cast<size_t>(l.underline)]));
            int uy = y + m.ascent + 1;
            RECT u{dc->fx(ux), dc->fy(uy), dc->fx(ux + uw), dc->fy(uy) + 1};
            if (!(fmt & DT_NOCLIP)) u = rectIntersect(u, RECT{dc->fx(r->left), dc->fy(r->top), dc->fx(r->right), dc->fy(r->bottom)});
            fillSolidFb(*dc, u, toPixel(dc->textColor));
        }
        y += lineH;
    }
    SetTextAlign(h, oldAlign);
    return (y - startY) + (startY - r->top);
}

LONG WINAPI TabbedTextOutA(HDC h, int x, int y, LPCSTR s, int n, int nTabs, const INT *tabs, int origin) {
    auto dc = drawableDC(h);
    if (!dc || !s || n < 0) return 0;
    auto font = dcFont(*dc);
    int defTab = 8 * std::max(1, font->metrics().aveCharWidth);
    int cx = x;
    int start = 0;
    int tabIdx = 0;
    for (int i = 0; i <= n; i++) {
        if (i < n && s[i] != '\t') continue;
        ExtTextOutA(h, cx, y, 0, nullptr, s + start, static_cast<UINT>(i - start), nullptr);
        cx += font->extent(s + start, i - start).cx;
        if (i < n) {
            int next;
            if (nTabs > 0 && tabs) {
                int stop = tabIdx < nTabs ? tabs[tabIdx] : tabs[nTabs - 1] * (tabIdx - nTabs + 2);
                next = origin + stop;
                while (next <= cx && tabIdx < 256) {
                    tabIdx++;
                    stop = tabIdx < nTabs ? tabs[tabIdx] : (nTabs == 1 ? tabs[0] * (tabIdx + 1) : stop + defTab);
                    next = origin + stop;
                }
                tabIdx++;
            } else {
                next = origin + ((cx - origin) / defTab + 1) * defTab;
            }
            cx = next;
        }
        start = i + 1;
    }
    return MAKELONG(cx - x, font->metrics().height);
}

DWORD WINAPI GetTabbedTextExtentA(HDC h, LPCSTR s, int n, int nTabs, const INT *tabs) {
    auto dc = lookupAs<DCObj>(h, Kind::DC);
    if (!dc || !s || n < 0) return 0;
    auto font = dcFont(*dc);
    int defTab = 8 * std::max(1, font->metrics().aveCharWidth);
    int cx = 0, start = 0;
    for (int i = 0; i <= n; i++) {
        if (i < n && s[i] != '\t') continue;
        cx += font->extent(s + start, i - start).cx;
        if (i < n) {
            int t = (nTabs > 0 && tabs) ? tabs[0] : defTab;
            if (t <= 0) t = defTab;
            cx = (cx / t + 1) * t;
        }
        start = i + 1;
    }
    return static_cast<DWORD>(MAKELONG(cx, font->metrics().height));
}

BOOL WINAPI GrayStringA(HDC h, HBRUSH, GRAYSTRINGPROC proc, LPARAM data, int n, int x, int y, int, int) {
    // Drawn in the grey text colour rather than dithered.
    COLORREF old = SetTextColor(h, GetSysColor(COLOR_GRAYTEXT));
    BOOL ok;
    if (proc) {
        ok = proc(h, data, n);
    } else {
        auto s = reinterpret_cast<LPCSTR>(data);
        ok = TextOutA(h, x, y, s, n ? n : lstrlenA(s));
    }
    SetTextColor(h, old);
    return ok;
}

int WINAPI AddFontResourceA(LPCSTR) { return 0; }

} // extern "C"
