// Text rasteriser of the GDI layer: picks a face for a LOGFONT-like request
// the way the Windows font mapper would, reports TEXTMETRIC-style metrics and
// draws 8-bit text (code page 437 for the OEM faces, Windows-1252 otherwise)
// into 0x00RRGGBB framebuffers. Glyphs come from Debian's fonts through
// FreeType; the CP437 box-drawing and block characters are drawn by rule so
// that they join across cells.
#pragma once

#include <windef.h>

#include <cstdint>
#include <memory>
#include <string>

namespace winapi::gdi {

// A view of a 32-bit framebuffer: pixels are 0x00RRGGBB, stride in pixels.
struct Surface {
    uint32_t *pixels = nullptr;
    int width = 0, height = 0, stride = 0;
};

// What CreateFontIndirectA asks for (the LOGFONTA fields that matter here).
struct FontRequest {
    std::string face;          // lfFaceName; empty or unknown: chosen by pitch and family
    int height = 0;            // lfHeight: <0 character height, >0 cell height, 0 default;
                               // beyond 256 pixels either way, 256
    int width = 0;             // lfWidth: 0 for the face's own width (at most 256)
    int weight = 0;            // lfWeight: 0 = FW_NORMAL
    bool italic = false, underline = false, strikeOut = false;
    uint8_t charSet = 0;       // lfCharSet: 255 (OEM_CHARSET) selects code page 437
    uint8_t pitchAndFamily = 0;  // lfPitchAndFamily: low bits pitch, high nibble family
};

// The fields of TEXTMETRICA, with its meanings (in pixels).
struct FontMetrics {
    int height = 0;            // tmHeight = ascent + descent (the cell height)
    int ascent = 0, descent = 0;
    int internalLeading = 0;   // height minus the character height (accent room)
    int externalLeading = 0;
    int aveCharWidth = 0, maxCharWidth = 0;
    int weight = 400;
    int overhang = 0;
    int digitizedAspectX = 96, digitizedAspectY = 96;
    uint8_t firstChar = 0, lastChar = 255, defaultChar = 0, breakChar = 32;
    uint8_t italic = 0, underlined = 0, struckOut = 0;
    uint8_t pitchAndFamily = 0;  // bit 0 (TMPF_FIXED_PITCH) set means VARIABLE pitch, as Windows has it
    uint8_t charSet = 0;
};

class FontImpl;

// A realised font. Shared by every HFONT that maps to the same face and
// size; safe to use from several threads at once. Visible outside the
// layer for its tests.
class WINAPI_VISIBLE Font {
public:
    // The best face for the request; never null (unknown names fall back by
    // pitch and family, as the mapper does).
    static std::shared_ptr<Font> select(const FontRequest &request);

    const FontMetrics &metrics() const;
    const std::string &faceName() const;  // as GetTextFaceA reports it
    int codePage() const;                 // 437 or 1252
    bool fixedPitch() const;

    // Advance of one character, in pixels.
    int advance(uint8_t ch) const;
    // GetTextExtentPoint32A: the sum of the advances and the cell height.
    SIZE extent(const char *s, int n) const;

    // ExtTextOutA's foreground: draws n characters with the top of the cell
    // at (x, y), in color (0x00RRGGBB), touching only pixels inside clip and
    // the surface. dx, when given, holds each character's advance (as
    // ExtTextOutA's lpDx). Underline and strike-out are drawn when the font
    // has them. The background is the caller's to fill (extent() tells the
    // box; with dx, the sum of dx).
    void draw(Surface &surface, int x, int y, const char *s, int n, uint32_t color,
              const RECT &clip, const int *dx = nullptr) const;

    explicit Font(std::unique_ptr<FontImpl> impl);
    ~Font();
    Font(const Font &) = delete;
    Font &operator=(const Font &) = delete;

private:
    std::unique_ptr<FontImpl> impl_;
};

}  // namespace winapi::gdi
