// The terminal's pictures: icon 110 (a terminal with a serial plug, 32 x 32
// and 16 x 16) and bitmap 112 (the button bar's seven buttons, each normal,
// pressed and disabled). Drawn as pixel art in the 16 standard colours,
// one letter a pixel, and stored as 4-bit DIBs.
#include "resources/bytes.h"
#include "resources/resources.h"

#include <array>
#include <string_view>

namespace vorlex::resources {
namespace {

// The 16 standard colours, in palette order.
struct Rgb {
    BYTE r, g, b;
};
constexpr std::array<Rgb, 16> kPalette = {{
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
    {0, 128, 128},   {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
}};
enum Colour : BYTE {
    kBlack = 0,
    kMaroon = 1,
    kGreen = 2,
    kOlive = 3,
    kNavy = 4,
    kPurple = 5,
    kTeal = 6,
    kSilver = 7,
    kGrey = 8,
    kRed = 9,
    kLime = 10,
    kYellow = 11,
    kBlue = 12,
    kFuchsia = 13,
    kAqua = 14,
    kWhite = 15,
};
constexpr BYTE kClear = 0xFF; // a pixel of art that lets the background through

BYTE colourOf(char c) {
    switch (c) {
    case 'k': return kBlack;
    case 'r': return kMaroon;
    case 'g': return kGreen;
    case 'y': return kOlive;
    case 'b': return kNavy;
    case 'm': return kPurple;
    case 'c': return kTeal;
    case 's': return kSilver;
    case 'd': return kGrey;
    case 'R': return kRed;
    case 'G': return kLime;
    case 'Y': return kYellow;
    case 'B': return kBlue;
    case 'M': return kFuchsia;
    case 'C': return kAqua;
    case 'w': return kWhite;
    }
    return kClear;
}

using Art = std::array<std::string_view, 24>;

// The button pictures, in button order: Exit Terminal, Hang Up, Clear
// Screen, Download, Upload, Modem Parameters, Capture Session To Disk.
constexpr std::array<Art, kButtonCount> kButtonArt = {{
    {{
        // Exit: an open door, and the way out.
        "........................",
        "........................",
        "...kkkkkkkkkkkk.........",
        "...kddddddddddk.........",
        "...kdkkkkkkkkdk.........",
        "...kdwykkkkkkdk.........",
        "...kdwYykkkkkdk.........",
        "...kdwYyykkkkdk.........",
        "...kdwYyyykkkdk.....k...",
        "...kdwYyyykkkdk.....kk..",
        "...kdwYyyykkkdk.....kRk.",
        "...kdwYyyyykkkkkkkkkkRRk",
        "...kdwYyyYykRRRRRRRRRRRk",
        "...kdwYyyyykkkkkkkkkkRRk",
        "...kdwYyyykkkdk.....kRk.",
        "...kdwYyyykkkdk.....kk..",
        "...kdwYyyykkkdk.....k...",
        "...kdwYyyykkkdk.........",
        "...kdwYyykkkkdk.........",
        "...kdwYykkkkkdk.........",
        "...kdwykkkkkkdk.........",
        "...kddddddddddk.........",
        "...kkkkkkkkkkkk.........",
        "........................",
    }},
    {{
        // Hang up: the handset goes down onto the telephone.
        "..........kkkk..........",
        "..........kRRk..........",
        "..........kRRk..........",
        ".......kkkkRRkkkk.......",
        "........kRRRRRRk........",
        ".........kRRRRk.........",
        "..........kRRk..........",
        "...kkkkkkkkkkkkkkkkkk...",
        "..kddddddddddddddddddk..",
        ".kdddkkkkkkkkkkkkkkdddk.",
        ".kdddk............kdddk.",
        ".kkkkk............kkkkk.",
        "........................",
        ".....kkkkkkkkkkkkkk.....",
        "....kdddddddddddddddk...",
        "...kddddddkkkkddddddk...",
        "...kdddddkwwwwkdddddk...",
        "..kdddddkwkkkkwkdddddk..",
        "..kdddddkwkddkwkdddddk..",
        "..kdddddkwkkkkwkdddddk..",
        ".kddddddddkwwwkddddddddk",
        ".kdddddddddkkkdddddddddk",
        ".kkkkkkkkkkkkkkkkkkkkkkk",
        "........................",
    }},
    {{
        // Clear screen: an eraser wipes the screen.
        "........................",
        "........................",
        "........................",
        ".kkkkkkkkkkkkkkkkkkkk...",
        ".kssssssssssssssssssk...",
        ".kssssssssssssssssssk...",
        ".ksskkkkkkkkkkkkkkssk...",
        ".ksskGGGkGGkGGkkkkssk...",
        ".ksskkkkkkkkkkkkkkssk...",
        ".ksskGGkGGGGkkkkkkssk...",
        ".ksskkkkkkkkkkkkkkssk...",
        ".ksskGGGGkGkkkkkkkssk...",
        ".ksskkkkkkkkkkkkkkkkkkk.",
        ".ksskGkGGGkkkkwwwwwwwkk.",
        ".ksskkkkkkkkkwwwwwwwkmk.",
        ".kssssssssskkkkkkkkkmmk.",
        ".kssssssssskMMMMMMMkmmk.",
        ".kkkkkkkkkkkMMMMMMMkmk..",
        ".......kssskMMMMMMMkk...",
        ".....kdddddkkkkkkkkk....",
        ".....kkkkkkkkkkkk.......",
        "........................",
        "........................",
        "........................",
    }},
    {{
        // Download: an arrow down into the tray.
        "........................",
        ".........kkkkkk.........",
        ".........kBBBBk.........",
        ".........kBBBBk.........",
        ".........kBBBBk.........",
        ".........kBBBBk.........",
        ".........kBBBBk.........",
        ".........kBBBBk.........",
        ".........kBBBBk.........",
        ".....kkkkkBBBBkkkkk.....",
        "......kBBBBBBBBBBk......",
        ".......kBBBBBBBBk.......",
        "........kBBBBBBk........",
        ".........kBBBBk.........",
        "..kkk.....kBBk.....kkk..",
        "..kdk......kk......kdk..",
        "..kdk..............kdk..",
        "..kdkkkkkkkkkkkkkkkkdk..",
        "..kdddddddddddddddddddk.",
        "..kdsssssssssssssssssdk.",
        "..kddddddddddddddddddk..",
        "..kkkkkkkkkkkkkkkkkkkk..",
        "........................",
        "........................",
    }},
    {{
        // Upload: an arrow up out of the tray.
        "...........kk...........",
        "..........kBBk..........",
        ".........kBBBBk.........",
        "........kBBBBBBk........",
        ".......kBBBBBBBBk.......",
        "......kBBBBBBBBBBk......",
        ".....kkkkkBBBBkkkkk.....",
        ".........kBBBBk.........",
        ".........kBBBBk.........",
        ".........kBBBBk.........",
        ".........kBBBBk.........",
        ".........kBBBBk.........",
        ".........kBBBBk.........",
        ".........kkkkkk.........",
        "..kkk..............kkk..",
        "..kdk..............kdk..",
        "..kdk..............kdk..",
        "..kdkkkkkkkkkkkkkkkkdk..",
        "..kdddddddddddddddddddk.",
        "..kdsssssssssssssssssdk.",
        "..kddddddddddddddddddk..",
        "..kkkkkkkkkkkkkkkkkkkk..",
        "........................",
        "........................",
    }},
    {{
        // Modem parameters: a modem and its settings.
        "........................",
        "..kkkkkkkkkkkkk.........",
        "..kwwwwwwwwwwwk.........",
        "..kwkkkwkkkkkwk.........",
        "..kwwwwwwwwwwwk.........",
        "..kwkkkkwkkkkwk.........",
        "..kwwwwwwwwwwwk.........",
        "..kwkkwkkkkkkwk.........",
        "..kwwwwwwwwwwwk.........",
        "..kkkkkkkkkkkkk.........",
        "........................",
        "........................",
        ".....kkkkkkkkkkkkkkkkkk.",
        "....kwwwwwwwwwwwwwwwwdk.",
        "...kwsssssssssssssssdk..",
        "..kkkkkkkkkkkkkkkkkkkk..",
        "..kssssssssssssssssssk..",
        "..ksGsGsRsYsssssddddsk..",
        "..kssssssssssssssssssk..",
        "..kddddddddddddddddddk..",
        "..kkkkkkkkkkkkkkkkkkkk..",
        "....kk............kk....",
        "........................",
        "........................",
    }},
    {{
        // Capture to disk: a diskette.
        "........................",
        "...kkkkkkkkkkkkkkkkkk...",
        "...kbbkssssssssskbbbbk..",
        "...kbbksssssskkskbbbbbk.",
        "...kbbksssssskkskbbbbbk.",
        "...kbbksssssskkskbbbbbk.",
        "...kbbksssssssssskbbbbk.",
        "...kbbbkkkkkkkkkkbbbbbk.",
        "...kbbbbbbbbbbbbbbbbbbk.",
        "...kbbbbbbbbbbbbbbbbbbk.",
        "...kbbkkkkkkkkkkkkkbbbk.",
        "...kbkwwwwwwwwwwwwwkbbk.",
        "...kbkwwwwwwwwwwwwwkbbk.",
        "...kbkwkkkkkkkkkkkwkbbk.",
        "...kbkwwwwwwwwwwwwwkbbk.",
        "...kbkwkkkkkkkkkkkwkbbk.",
        "...kbkwwwwwwwwwwwwwkbbk.",
        "...kbkwwwwwwwwwwwwwkbbk.",
        "...kbkwwwwwwwwwwwwwkbbk.",
        "...kbkwwwwwwwwwwwwwkbbk.",
        "...kkkkkkkkkkkkkkkkkkkk.",
        "........................",
        "........................",
        "........................",
    }},
}};

// Icon 110, large: a terminal and the serial plug on its cable.
constexpr std::array<std::string_view, 32> kIconLarge = {{
    "................................",
    ".kkkkkkkkkkkkkkkkkkkkkkkkkkkk...",
    ".kwwwwwwwwwwwwwwwwwwwwwwwwwwk...",
    ".kwssssssssssssssssssssssssdk...",
    ".kwsdddddddddddddddddddddksdk...",
    ".kwsdkkkkkkkkkkkkkkkkkkkkksdk...",
    ".kwsdkGGkGGGkGGkkkkkkkkkkksdk...",
    ".kwsdkkkkkkkkkkkkkkkkkkkkksdk...",
    ".kwsdkGGGGkGGkGGGkkkkkkkkksdk...",
    ".kwsdkkkkkkkkkkkkkkkkkkkkksdk...",
    ".kwsdkGGkGGGGGkkkkkkkkkkkksdk...",
    ".kwsdkkkkkkkkkkkkkkkkkkkkksdk...",
    ".kwsdkGGGkGGkGGGGkkkkkkkkksdk...",
    ".kwsdkkkkkkkkkkkkkkkkkkkkksdk...",
    ".kwsdkGkGGkwwkkkkkkkkkkkkksdk...",
    ".kwsdkkkkkkkkkkkkkkkkkkkkksdk...",
    ".kwsdkkkkkkkkkkkkkkkkkkkkksdk...",
    ".kwssssssssssssssssssssssssdk...",
    ".kwdddddddddddddddddddddddddk...",
    ".kkkkkkkkkkkkkkkkkkkkkkkkkkkk...",
    "..........kssssssssk............",
    ".......kkkkkkkkkkkkkkkk.........",
    "....kkkkddddddddddddddk.........",
    "....kd.kkkkkkkkkkkkkkkk.........",
    "....kd................kdk.......",
    "....kd........kkkkkkkkkkk.......",
    "....kd........ksssssskkkkkkkk...",
    "....kd........kddddddkwwwwwwkyy.",
    "....kkkkkkkkkkkddddddkssssssk...",
    "..............kddddddksssssskyy.",
    "..............kddddddkkkkkkkk...",
    "..............kkkkkkkkkkk.......",
}};

// Icon 110, small.
constexpr std::array<std::string_view, 16> kIconSmall = {{
    "kkkkkkkkkkkkkkk.",
    "kwwwwwwwwwwwwwk.",
    "kwsssssssssssdk.",
    "kwskkkkkkkkksdk.",
    "kwskGGkGGGkksdk.",
    "kwskkkkkkkkksdk.",
    "kwskGkGGkwkksdk.",
    "kwskkkkkkkkksdk.",
    "kwsssssssssssdk.",
    "kwddddddddddddk.",
    "kkkkkkkkkkkkkkk.",
    "....kssssk......",
    ".k.kkkkkkkk.....",
    ".k....kddkkkkky.",
    ".kkkkkkddksssk..",
    "......kkkkkkkky.",
}};

// An image in palette indexes, top row first.
class Canvas {
public:
    Canvas(int w, int h, BYTE fill) : w_(w), h_(h), px_(static_cast<size_t>(w) * h, fill) {}
    int width() const { return w_; }
    int height() const { return h_; }
    BYTE at(int x, int y) const { return px_[static_cast<size_t>(y) * w_ + x]; }
    void set(int x, int y, BYTE c) {
        if (x >= 0 && y >= 0 && x < w_ && y < h_) px_[static_cast<size_t>(y) * w_ + x] = c;
    }
    void fill(int x, int y, int w, int h, BYTE c) {
        for (int j = y; j < y + h; j++)
            for (int i = x; i < x + w; i++) set(i, j, c);
    }
    // Art at (x, y); clear pixels keep what is there. A disabled picture is
    // etched, as grayed toolbar buttons are: its dark pixels in grey over
    // a white copy one pixel down and right; its light pixels vanish.
    template <class Rows>
    void draw(const Rows &art, int x, int y, bool disabled = false) {
        if (disabled) {
            forEach(art, [&](int i, int j, BYTE c) {
                if (isDark(c)) set(x + i + 1, y + j + 1, kWhite);
            });
            forEach(art, [&](int i, int j, BYTE c) {
                if (isDark(c)) set(x + i, y + j, kGrey);
            });
            return;
        }
        forEach(art, [&](int i, int j, BYTE c) { set(x + i, y + j, c); });
    }

private:
    static bool isDark(BYTE c) {
        const Rgb &p = kPalette[c];
        return 30 * p.r + 59 * p.g + 11 * p.b <= 100 * 128;
    }
    template <class Rows, class Fn>
    static void forEach(const Rows &art, Fn fn) {
        for (size_t j = 0; j < art.size(); j++)
            for (size_t i = 0; i < art[j].size(); i++)
                if (BYTE c = colourOf(art[j][i]); c != kClear) fn(static_cast<int>(i), static_cast<int>(j), c);
    }
    int w_, h_;
    std::vector<BYTE> px_;
};

enum class Look { Normal, Pressed, Disabled };

// One 37-pixel cell at (cx, cy): a black line on its left and top (the
// cell to its right and below closes the frame of a 38-pixel button), a
// raised or pushed-in face, the picture in the middle.
void drawButton(Canvas &c, int cx, int cy, const Art &art, Look look) {
    const int face = kButtonCell - 1; // 36 pixels inside the black lines
    c.fill(cx, cy, kButtonCell, 1, kBlack);
    c.fill(cx, cy, 1, kButtonCell, kBlack);
    c.fill(cx + 1, cy + 1, face, face, kSilver);
    const int x0 = cx + 1, y0 = cy + 1, x1 = cx + face, y1 = cy + face;
    if (look == Look::Pressed) {
        c.fill(x0, y0, face, 1, kGrey);
        c.fill(x0, y0, 1, face, kGrey);
    } else {
        c.fill(x0, y0, face, 1, kWhite);
        c.fill(x0, y0, 1, face, kWhite);
        c.fill(x0, y1, face, 1, kGrey);
        c.fill(x1, y0, 1, face, kGrey);
        c.fill(x0 + 1, y1 - 1, face - 2, 1, kGrey);
        c.fill(x1 - 1, y0 + 1, 1, face - 2, kGrey);
    }
    // 24 x 24 pictures sit in the middle; a pressed one moves down and right.
    const int shift = look == Look::Pressed ? 1 : 0;
    c.draw(art, cx + 7 + shift, cy + 7 + shift, look == Look::Disabled);
}

void writePalette(Bytes &b) {
    for (const Rgb &p : kPalette) {
        b.byte(p.b);
        b.byte(p.g);
        b.byte(p.r);
        b.byte(0);
    }
}

void writeHeader(Bytes &b, int w, int h, DWORD imageBytes) {
    b.dword(40);
    b.dword(static_cast<DWORD>(w));
    b.dword(static_cast<DWORD>(h));
    b.word(1);
    b.word(4);
    b.dword(BI_RGB);
    b.dword(imageBytes);
    b.dword(0);
    b.dword(0);
    b.dword(16);
    b.dword(0);
}

int stride(int w, int bits) { return ((w * bits + 31) / 32) * 4; }

// 4-bit rows, bottom row first, as a DIB keeps them.
void writePixels(Bytes &b, const Canvas &c) {
    for (int y = c.height() - 1; y >= 0; y--) {
        size_t start = b.size();
        for (int x = 0; x < c.width(); x += 2) {
            BYTE hi = c.at(x, y), lo = x + 1 < c.width() ? c.at(x + 1, y) : 0;
            b.byte(static_cast<unsigned>(hi << 4 | lo));
        }
        while (b.size() - start < static_cast<size_t>(stride(c.width(), 4))) b.byte(0);
    }
}

template <class Rows>
std::vector<BYTE> iconFrom(const Rows &art) {
    const int n = static_cast<int>(art.size());
    Canvas colour(n, n, kBlack);
    colour.draw(art, 0, 0);
    Bytes b;
    writeHeader(b, n, 2 * n, static_cast<DWORD>((stride(n, 4) + stride(n, 1)) * n));
    writePalette(b);
    writePixels(b, colour);
    // The AND mask: set where the picture is clear, so the background shows.
    for (int y = n - 1; y >= 0; y--) {
        std::vector<BYTE> row(static_cast<size_t>(stride(n, 1)), 0);
        for (int x = 0; x < n; x++)
            if (colourOf(art[y][x]) == kClear) row[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
        for (BYTE v : row) b.byte(v);
    }
    return b.take();
}

} // namespace

std::vector<BYTE> buttonBitmap() {
    Canvas c(kButtonBitmapWidth, kButtonBitmapHeight, kBlack);
    const Look looks[3] = {Look::Normal, Look::Pressed, Look::Disabled};
    for (int row = 0; row < 3; row++)
        for (int i = 0; i < kButtonCount; i++) drawButton(c, i * kButtonCell, row * kButtonCell, kButtonArt[i], looks[row]);
    Bytes b;
    writeHeader(b, c.width(), c.height(), static_cast<DWORD>(stride(c.width(), 4) * c.height()));
    writePalette(b);
    writePixels(b, c);
    return b.take();
}

std::vector<BYTE> iconImage(int size) { return size == 16 ? iconFrom(kIconSmall) : iconFrom(kIconLarge); }

std::vector<BYTE> iconGroup() {
    Bytes b;
    b.word(0); // reserved
    b.word(1); // icons
    b.word(2);
    const struct {
        int size;
        WORD id;
    } images[] = {{32, kIconImageLarge}, {16, kIconImageSmall}};
    for (const auto &image : images) {
        b.byte(static_cast<unsigned>(image.size));
        b.byte(static_cast<unsigned>(image.size));
        b.byte(16); // colours
        b.byte(0);
        b.word(1); // planes
        b.word(4); // bits a pixel
        b.dword(static_cast<DWORD>(iconImage(image.size).size()));
        b.word(image.id);
    }
    return b.take();
}

} // namespace vorlex::resources
