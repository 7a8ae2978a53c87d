// Code page 437's shades, box-drawing lines and blocks (0xB0..0xDF), drawn
// by rule so that they fill the whole cell and join their neighbours
// whatever the font's own glyphs look like.
#pragma once

#include "font_raster.h"

namespace winapi::gdi {

inline bool isBoxCharacter(uint8_t ch) { return ch >= 0xB0 && ch <= 0xDF; }

struct BoxPen {
    int vertical = 1;    // width of a vertical line
    int horizontal = 1;  // height of a horizontal line
};

// Draws ch over the cell whose top left is (x, y), w × h pixels. clip is
// already inside the surface.
void drawBoxCharacter(Surface &surface, int x, int y, int w, int h, uint8_t ch, uint32_t color,
                      const RECT &clip, const BoxPen &pen);

}  // namespace winapi::gdi
