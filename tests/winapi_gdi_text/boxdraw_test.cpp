// Code page 437's lines, blocks and shades must meet their neighbours
// across cell borders, over the whole cell height, at every terminal size.
#include "canvas.h"

#include <gtest/gtest.h>

#include <map>

using namespace gditest;

namespace {

// The line characters by their arms: up, down, left, right; 's' single,
// 'd' double, '.' none (from the characters' Unicode names).
const std::map<uint8_t, const char *> kLines = {
    {0xB3, "ss.."}, {0xB4, "sss."}, {0xB5, "ssd."}, {0xB6, "dds."}, {0xB7, ".ds."}, {0xB8, ".sd."},
    {0xB9, "ddd."}, {0xBA, "dd.."}, {0xBB, ".dd."}, {0xBC, "d.d."}, {0xBD, "d.s."}, {0xBE, "s.d."},
    {0xBF, ".ss."}, {0xC0, "s..s"}, {0xC1, "s.ss"}, {0xC2, ".sss"}, {0xC3, "ss.s"}, {0xC4, "..ss"},
    {0xC5, "ssss"}, {0xC6, "ss.d"}, {0xC7, "dd.s"}, {0xC8, "d..d"}, {0xC9, ".d.d"}, {0xCA, "d.dd"},
    {0xCB, ".ddd"}, {0xCC, "dd.d"}, {0xCD, "..dd"}, {0xCE, "dddd"}, {0xCF, "s.dd"}, {0xD0, "d.ss"},
    {0xD1, ".sdd"}, {0xD2, ".dss"}, {0xD3, "d..s"}, {0xD4, "s..d"}, {0xD5, ".s.d"}, {0xD6, ".d.s"},
    {0xD7, "ddss"}, {0xD8, "ssdd"}, {0xD9, "s.s."}, {0xDA, ".s.s"},
};
enum { Up, Down, Left, Right };

// Separate runs of ink down column x.
int strokesDown(const Canvas &c, int x, int h) {
    int n = 0;
    for (int y = 0; y < h; ++y)
        n += c.inked(x, y) && (y == 0 || !c.inked(x, y - 1));
    return n;
}

class BoxDrawing : public ::testing::TestWithParam<int> {
protected:
    std::shared_ptr<Font> f = terminal(-GetParam());
    int w = f->metrics().aveCharWidth, h = f->metrics().height;
};

TEST_P(BoxDrawing, LinesJoinSideBySide) {
    for (auto [a, armsA] : kLines)
        for (auto [b, armsB] : kLines) {
            Canvas c(2 * w, h, 0);
            const char pair[2] = {char(a), char(b)};
            f->draw(c.surface, 0, 0, pair, 2, 0xFFFFFF, c.all());
            const bool joined = armsA[Right] != '.' && armsA[Right] == armsB[Left];
            int ink = 0;
            for (int y = 0; y < h; ++y) {
                if (joined) {
                    ASSERT_EQ(c.inked(w - 1, y), c.inked(w, y)) << std::hex << int(a) << " " << int(b) << " row " << std::dec << y;
                }
                ink += c.inked(w - 1, y);
            }
            if (armsA[Right] == '.') {
                ASSERT_EQ(ink, 0) << std::hex << int(a) << " reaches its right edge";
            } else {
                ASSERT_EQ(strokesDown(c, w - 1, h), armsA[Right] == 'd' ? 2 : 1) << std::hex << int(a);
            }
            if (armsB[Left] == '.') {
                ASSERT_EQ(c.inkCount(w, 0, w + 1, h), 0) << std::hex << int(b) << " reaches its left edge";
            }
        }
}

TEST_P(BoxDrawing, LinesJoinAboveAndBelow) {
    for (auto [a, armsA] : kLines)
        for (auto [b, armsB] : kLines) {
            Canvas c(w, 2 * h, 0);
            const char ca = char(a), cb = char(b);
            f->draw(c.surface, 0, 0, &ca, 1, 0xFFFFFF, c.all());
            f->draw(c.surface, 0, h, &cb, 1, 0xFFFFFF, c.all());
            const bool joined = armsA[Down] != '.' && armsA[Down] == armsB[Up];
            for (int x = 0; joined && x < w; ++x)
                ASSERT_EQ(c.inked(x, h - 1), c.inked(x, h)) << std::hex << int(a) << " over " << int(b) << " column " << std::dec << x;
            const int bottom = c.inkCount(0, h - 1, w, h), top = c.inkCount(0, h, w, h + 1);
            if (armsA[Down] == '.') {
                ASSERT_EQ(bottom, 0) << std::hex << int(a) << " reaches its bottom edge";
            } else {
                ASSERT_GT(bottom, 0) << std::hex << int(a) << " stops short of its bottom edge";
            }
            if (armsB[Up] == '.') {
                ASSERT_EQ(top, 0) << std::hex << int(b) << " reaches its top edge";
            } else {
                ASSERT_GT(top, 0) << std::hex << int(b) << " stops short of its top edge";
            }
        }
}

TEST_P(BoxDrawing, DoubleLinesHaveTwoStrokes) {
    auto strokes = [&](char ch, bool across) {
        Canvas c(w, h, 0);
        f->draw(c.surface, 0, 0, &ch, 1, 0xFFFFFF, c.all());
        int n = 0;
        bool prev = false;
        for (int i = 0; i < (across ? w : h); ++i) {
            bool on = across ? c.inked(i, 0) : c.inked(0, i);
            n += on && !prev;
            prev = on;
        }
        return n;
    };
    EXPECT_EQ(strokes('\xBA', true), 2);   // ║ seen along its top row
    EXPECT_EQ(strokes('\xB3', true), 1);   // │
    EXPECT_EQ(strokes('\xCD', false), 2);  // ═ seen down its left column
    EXPECT_EQ(strokes('\xC4', false), 1);  // ─
    EXPECT_EQ(strokes('\xCE', true), 2);   // ╬
}

TEST_P(BoxDrawing, BlocksFillTheWholeCell) {
    auto cell = [&](char ch) {
        Canvas c(w, h, 0);
        f->draw(c.surface, 0, 0, &ch, 1, 0xFFFFFF, c.all());
        return c;
    };
    EXPECT_EQ(cell('\xDB').inkCount(0, 0, w, h), w * h);
    Canvas lower = cell('\xDC'), upper = cell('\xDF'), left = cell('\xDD'), right = cell('\xDE');
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            ASSERT_NE(lower.inked(x, y), upper.inked(x, y)) << x << "," << y;
            ASSERT_NE(left.inked(x, y), right.inked(x, y)) << x << "," << y;
        }
    EXPECT_TRUE(lower.inked(0, h - 1) && upper.inked(0, 0) && left.inked(0, 0) && right.inked(w - 1, 0));
    EXPECT_LE(std::abs(lower.inkCount(0, 0, w, h) - upper.inkCount(0, 0, w, h)), w);
}

TEST_P(BoxDrawing, ShadesTileAcrossCells) {
    // A block of 4 x 4 cells of each shade: coverage a quarter, a half,
    // three quarters, and the medium shade a checkerboard across borders.
    const double expected[3] = {0.25, 0.5, 0.75};
    for (int level = 0; level < 3; ++level) {
        Canvas c(4 * w, 4 * h, 0);
        const char row[4] = {char(0xB0 + level), char(0xB0 + level), char(0xB0 + level), char(0xB0 + level)};
        for (int r = 0; r < 4; ++r)
            f->draw(c.surface, 0, r * h, row, 4, 0xFFFFFF, c.all());
        double coverage = double(c.inkCount(0, 0, 4 * w, 4 * h)) / (16.0 * w * h);
        EXPECT_NEAR(coverage, expected[level], 0.03) << level;
        for (int y = 0; level == 1 && y < 4 * h; ++y)
            for (int x = 1; x < 4 * w; ++x)
                ASSERT_NE(c.inked(x - 1, y), c.inked(x, y)) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(TerminalSizes, BoxDrawing, ::testing::Values(12, 15, 18, 26));

}  // namespace
