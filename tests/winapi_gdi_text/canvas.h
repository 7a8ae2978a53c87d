// A framebuffer for the text tests, and short ways to ask for fonts.
#pragma once

#include "gdi/font_raster.h"

#include <cstdint>
#include <string>
#include <vector>

namespace gditest {

using winapi::gdi::Font;
using winapi::gdi::FontRequest;
using winapi::gdi::Surface;

constexpr uint8_t kOemCharset = 255;

struct Canvas {
    std::vector<uint32_t> pixels;
    Surface surface;
    uint32_t background;

    Canvas(int width, int height, uint32_t bg = 0xC0C0C0, int stride = 0) : background(bg) {
        stride = stride ? stride : width;
        pixels.assign(size_t(stride) * height, bg);
        surface = Surface{pixels.data(), width, height, stride};
    }
    uint32_t at(int x, int y) const { return pixels[size_t(y) * surface.stride + x]; }
    bool inked(int x, int y) const { return at(x, y) != background; }
    RECT all() const { return RECT{0, 0, surface.width, surface.height}; }
    int inkCount(int l, int t, int r, int b) const {
        int n = 0;
        for (int y = t; y < b; ++y)
            for (int x = l; x < r; ++x)
                n += inked(x, y);
        return n;
    }
};

inline std::shared_ptr<Font> font(const std::string &face, int height, int weight = 0, uint8_t charSet = 0,
                                  uint8_t pitchAndFamily = 0) {
    FontRequest r;
    r.face = face;
    r.height = height;
    r.weight = weight;
    r.charSet = charSet;
    r.pitchAndFamily = pitchAndFamily;
    return Font::select(r);
}

inline std::shared_ptr<Font> terminal(int height) { return font("Terminal", height, 0, kOemCharset, 0x31); }

}  // namespace gditest
