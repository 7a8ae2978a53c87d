// What the rasteriser puts in the framebuffer: glyphs, colours, clipping,
// lpDx spacing, underline and strike-out.
#include "canvas.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace gditest;

namespace {

TEST(TextDraw, InkIsExactlyTheTextColourInsideTheCell) {
    auto f = font("MS Sans Serif", -11);
    Canvas c(200, 40);
    const char *text = "Cancel Help";
    const int n = int(strlen(text));
    f->draw(c.surface, 10, 5, text, n, 0x000080, c.all());
    const SIZE e = f->extent(text, n);
    int ink = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x) {
            if (!c.inked(x, y))
                continue;
            ++ink;
            ASSERT_EQ(c.at(x, y), 0x000080u) << x << "," << y;  // crisp: no blended pixels
            ASSERT_GE(x, 10);
            ASSERT_LT(x, 10 + e.cx + 1);
            ASSERT_GE(y, 5);
            ASSERT_LT(y, 5 + e.cy);
        }
    EXPECT_GT(ink, 40);
    // The colour's top byte is not part of the pixel.
    Canvas d(200, 40);
    f->draw(d.surface, 10, 5, text, n, 0xFF00FF00, d.all());
    EXPECT_EQ(d.inkCount(0, 0, 200, 40), ink);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x)
            if (d.inked(x, y)) {
                ASSERT_EQ(d.at(x, y), 0x0000FF00u);
            }
}

TEST(TextDraw, DifferentCharactersDifferentGlyphs) {
    auto f = terminal(-18);
    auto render = [&](uint8_t ch) {
        Canvas c(10, 18, 0);
        char s = char(ch);
        f->draw(c.surface, 0, 0, &s, 1, 0xFFFFFF, c.all());
        return c.pixels;
    };
    EXPECT_NE(render('A'), render('B'));
    EXPECT_NE(render('e'), render(0x82));  // é
    EXPECT_NE(render(0x01), render(0x02)); // ☺ and ☻
    EXPECT_NE(render(0x01), render(' '));
    EXPECT_EQ(render(' '), render(0x00));  // both blank
    EXPECT_EQ(render(' '), render(0xFF));
    // The graphic characters of the control range have ink.
    for (uint8_t ch = 1; ch < 0x20; ++ch)
        EXPECT_NE(render(ch), render(' ')) << int(ch);
}

TEST(TextDraw, Windows1252HolesShowAsBoxes) {
    auto f = font("Arial", -16);
    auto draw1 = [&](uint8_t ch) {
        Canvas c(30, 30);
        char s = char(ch);
        f->draw(c.surface, 0, 0, &s, 1, 0, c.all());
        return c;
    };
    EXPECT_GT(draw1(0x80).inkCount(0, 0, 30, 30), 10);  // the euro sign
    EXPECT_GT(draw1(0x99).inkCount(0, 0, 30, 30), 5);   // trade mark
    Canvas hole = draw1(0x81);
    EXPECT_GT(hole.inkCount(0, 0, 30, 30), 10);
    EXPECT_EQ(hole.pixels, draw1(0x8D).pixels);
    EXPECT_NE(hole.pixels, draw1('n').pixels);
}

TEST(TextDraw, ClippedToTheRectangleAndTheSurface) {
    auto f = terminal(-18);
    const char *text = "\xDB\xDB\xDB\xDB\xDB\xDB";  // full blocks: every pixel of six cells
    Canvas c(100, 40);
    RECT clip{15, 10, 35, 20};
    f->draw(c.surface, 5, 5, text, 6, 0x00FF00, clip);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 100; ++x) {
            bool inside = x >= 15 && x < 35 && y >= 10 && y < 20;
            ASSERT_EQ(c.inked(x, y), inside) << x << "," << y;
        }
    // Text hanging over every edge of a small surface, in a wider buffer:
    // nothing outside the surface's columns changes.
    Canvas small(20, 10, 0xC0C0C0, 32);
    RECT everything{-1000, -1000, 1000, 1000};
    f->draw(small.surface, -7, -8, text, 6, 0x000000, everything);  // rows -8..9
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(small.inked(x, y), x < 20) << x << "," << y;
    // An empty clip draws nothing.
    Canvas none(40, 40);
    f->draw(none.surface, 0, 0, text, 6, 0, RECT{20, 20, 20, 30});
    EXPECT_EQ(none.inkCount(0, 0, 40, 40), 0);
}

TEST(TextDraw, PerCharacterAdvancesPlaceEachGlyph) {
    auto f = font("MS Sans Serif", -11);
    Canvas c(200, 20), d(200, 20);
    const int dx[3] = {40, 40, 40};
    f->draw(c.surface, 0, 0, "lll", 3, 0, c.all(), dx);
    f->draw(d.surface, 0, 0, "l", 1, 0, d.all());
    // Each copy of the single glyph, moved by 40.
    for (int i = 0; i < 3; ++i)
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 40; ++x)
                ASSERT_EQ(c.inked(i * 40 + x, y), d.inked(x, y)) << i << " " << x << "," << y;
}

TEST(TextDraw, UnderlineAndStrikeOutSpanTheText) {
    FontRequest r;
    r.face = "MS Sans Serif";
    r.height = -11;
    auto plain = Font::select(r);
    r.underline = true;
    auto under = Font::select(r);
    r.underline = false;
    r.strikeOut = true;
    auto struck = Font::select(r);
    EXPECT_EQ(under->metrics().underlined, 255);
    EXPECT_EQ(struck->metrics().struckOut, 255);
    const int dx[4] = {9, 9, 9, 9};  // spaces of given width: only the rules have ink
    auto rows = [&](const Font &f) {
        Canvas c(60, 20);
        f.draw(c.surface, 5, 2, "    ", 4, 0, c.all(), dx);
        std::vector<int> full;
        for (int y = 0; y < 20; ++y) {
            int n = c.inkCount(0, y, 60, y + 1);
            if (n) {
                EXPECT_EQ(n, 36) << "row " << y;
                EXPECT_TRUE(c.inked(5, y) && c.inked(40, y) && !c.inked(4, y) && !c.inked(41, y));
                full.push_back(y - 2);
            }
        }
        return full;
    };
    EXPECT_TRUE(rows(*plain).empty());
    auto u = rows(*under), s = rows(*struck);
    ASSERT_EQ(u.size(), 1u);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_GE(u[0], plain->metrics().ascent);  // below the baseline
    EXPECT_LT(u[0], plain->metrics().height);
    EXPECT_LT(s[0], plain->metrics().ascent);  // through the lower-case letters
    EXPECT_GT(s[0], plain->metrics().internalLeading + 2);
}

TEST(TextDraw, ItalicSlantsAndBoldThickens) {
    FontRequest r;
    r.face = "Terminal";
    r.height = -18;
    r.charSet = kOemCharset;
    auto plain = Font::select(r);
    r.italic = true;
    auto italic = Font::select(r);
    r.italic = false;
    r.weight = 700;
    auto bold = Font::select(r);
    auto ink = [](const Font &f, int &top, int &bottom) {
        Canvas c(30, 18, 0);
        f.draw(c.surface, 5, 0, "|", 1, 0xFFFFFF, c.all());
        int first = -1, last = -1;
        for (int x = 0; x < 30; ++x) {
            if (c.inked(x, 3) && first < 0)
                first = x;
            if (c.inked(x, 12) && last < 0)
                last = x;
        }
        top = first;
        bottom = last;
        return c.inkCount(0, 0, 30, 18);
    };
    int pt, pb, it, ib, bt, bb;
    int plainInk = ink(*plain, pt, pb), italicInk = ink(*italic, it, ib), boldInk = ink(*bold, bt, bb);
    EXPECT_EQ(pt, pb);       // upright bar
    EXPECT_GT(it, ib);       // the top leans right
    EXPECT_EQ(italicInk, plainInk);
    EXPECT_GT(boldInk, plainInk);
}

}  // namespace
