// The faces the rasteriser offers, where their glyphs come from, and the
// font mapper that picks one for a request.
#pragma once

#include "font_raster.h"

#include <string>
#include <vector>

namespace winapi::gdi {

// A fixed-size bitmap strike of a font file, and the cell it is given.
struct StrikeSource {
    std::string file;
    int ppem;        // the strike's pixel size in the file; 0 for its only strike
    int charHeight;  // the height a negative lfHeight names; 0: the whole cell
    int extraTop;    // blank rows added above the strike's own ascent
};

// Where one style (regular, bold, italic, bold italic) of a face comes from:
// exact-size bitmaps first, then scalable outlines, first file found wins.
// A character the chosen file lacks comes from the next strike of the same
// cell, else from the outline.
struct StyleSources {
    std::vector<StrikeSource> strikes;
    std::vector<std::string> outlines;
};

enum FaceStyle { kRegular = 0, kBold = 1, kItalic = 2, kBoldItalic = 3 };

struct FaceEntry {
    const char *name;                    // what GetTextFaceA reports
    std::vector<const char *> aliases;   // other names that select it (any case)
    uint8_t family;                      // FF_* (high nibble of the pitch and family)
    bool fixed;
    bool oem;                            // code page 437 and OEM_CHARSET
    int defaultHeight;                   // lfHeight used for 0
    int baseWeight;                      // the weight of its regular style
    StyleSources styles[4];
};

const std::vector<FaceEntry> &faceTable();

// Index into faceTable() of the face the mapper gives the request.
size_t mapFace(const FontRequest &request);

}  // namespace winapi::gdi
