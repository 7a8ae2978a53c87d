#include "font_faces.h"

#include <strings.h>

namespace winapi::gdi {

namespace {

constexpr uint8_t kFamilyRoman = 0x10, kFamilySwiss = 0x20, kFamilyModern = 0x30;
constexpr uint8_t kFixedPitch = 1, kVariablePitch = 2;
constexpr uint8_t kOemCharset = 255;

#define MISC "/usr/share/fonts/X11/misc/"
#define DPI100 "/usr/share/fonts/X11/100dpi/"
#define TERMINUS "/usr/share/fonts/opentype/terminus/"
#define DEJAVU "/usr/share/fonts/truetype/dejavu/"
#define LIBERATION "/usr/share/fonts/truetype/liberation2/"

// The OEM faces: crisp console bitmaps at the terminal's sizes (12, 15 and
// 18 pixels and the other usual ones), DejaVu Sans Mono for any other size.
StyleSources oemStyle(bool bold) {
    const char *terminus = bold ? TERMINUS "terminus-bold.otb" : TERMINUS "terminus-normal.otb";
    StyleSources s;
    s.strikes = {
        // 9x15B lacks some of the graphic characters: the regular one behind it lends them.
        {terminus, 12, 0, 0}, {terminus, 14, 0, 0}, {bold ? MISC "9x15B.pcf.gz" : MISC "9x15.pcf.gz", 0, 0, 0},
        {MISC "9x15.pcf.gz", 0, 0, 0},
        {terminus, 16, 0, 0}, {terminus, 18, 0, 0}, {terminus, 20, 0, 0}, {terminus, 22, 0, 0},
        {terminus, 24, 0, 0}, {terminus, 28, 0, 0}, {terminus, 32, 0, 0},
    };
    s.outlines = {bold ? DEJAVU "DejaVuSansMono-Bold.ttf" : DEJAVU "DejaVuSansMono.ttf"};
    return s;
}

// The dialog face: Helvetica bitmaps at the sizes of 8, 10, 12, 14, 18 and
// 24 points (8 points is 13 pixels high with 2 of internal leading), and
// Liberation Sans (Arial's metrics) at any other size.
StyleSources dialogStyle(const char *tag, const char *outline) {
    auto file = [tag](const char *size) { return std::string(DPI100 "helv") + tag + size + ".pcf.gz"; };
    StyleSources s;
    s.strikes = {{file("08"), 0, 11, 1}, {file("10"), 0, 13, 0}, {file("12"), 0, 16, 0},
                 {file("14"), 0, 19, 0}, {file("18"), 0, 24, 0}, {file("24"), 0, 32, 0}};
    s.outlines = {outline, DEJAVU "DejaVuSans.ttf"};
    return s;
}

StyleSources outlineStyle(std::vector<std::string> files) {
    StyleSources s;
    s.outlines = std::move(files);
    return s;
}

std::vector<FaceEntry> makeTable() {
    std::vector<FaceEntry> t;
    // Bold Terminus reads like the adapter's own font; bold and italic
    // requests get emboldened and slanted from it.
    StyleSources oem = oemStyle(true);
    t.push_back({"Terminal", {}, kFamilyModern, true, true, 12, 400, {oem, {}, {}, {}}});
    t.push_back({"Fixedsys", {}, kFamilyModern, true, true, 15, 400, {oem, {}, {}, {}}});
    t.push_back({"MS Sans Serif",
                 {"MS Shell Dlg", "MS Shell Dlg 2", "Microsoft Sans Serif", "Helv", "Small Fonts"},
                 kFamilySwiss, false, false, 13, 400,
                 {dialogStyle("R", LIBERATION "LiberationSans-Regular.ttf"),
                  dialogStyle("B", LIBERATION "LiberationSans-Bold.ttf"),
                  dialogStyle("O", LIBERATION "LiberationSans-Italic.ttf"),
                  dialogStyle("BO", LIBERATION "LiberationSans-BoldItalic.ttf")}});
    // The system font is bold: 16 pixels high at this resolution.
    StyleSources system = dialogStyle("B", LIBERATION "LiberationSans-Bold.ttf");
    t.push_back({"System", {}, kFamilySwiss, false, false, 16, 700, {system, system, system, system}});
    t.push_back({"Arial",
                 {"Helvetica", "Liberation Sans", "Tahoma", "Verdana", "Segoe UI", "Arial Narrow"},
                 kFamilySwiss, false, false, 16, 400,
                 {outlineStyle({LIBERATION "LiberationSans-Regular.ttf", DEJAVU "DejaVuSans.ttf"}),
                  outlineStyle({LIBERATION "LiberationSans-Bold.ttf", DEJAVU "DejaVuSans-Bold.ttf"}),
                  outlineStyle({LIBERATION "LiberationSans-Italic.ttf", DEJAVU "DejaVuSans-Oblique.ttf"}),
                  outlineStyle({LIBERATION "LiberationSans-BoldItalic.ttf", DEJAVU "DejaVuSans-BoldOblique.ttf"})}});
    t.push_back({"Courier New",
                 {"Courier", "Liberation Mono", "Lucida Console", "Consolas"},
                 kFamilyModern, true, false, 16, 400,
                 {outlineStyle({LIBERATION "LiberationMono-Regular.ttf", DEJAVU "DejaVuSansMono.ttf"}),
                  outlineStyle({LIBERATION "LiberationMono-Bold.ttf", DEJAVU "DejaVuSansMono-Bold.ttf"}),
                  outlineStyle({LIBERATION "LiberationMono-Italic.ttf", DEJAVU "DejaVuSansMono-Oblique.ttf"}),
                  outlineStyle({LIBERATION "LiberationMono-BoldItalic.ttf", DEJAVU "DejaVuSansMono-BoldOblique.ttf"})}});
    t.push_back({"Times New Roman",
                 {"Times", "Tms Rmn", "MS Serif", "Liberation Serif", "Roman"},
                 kFamilyRoman, false, false, 16, 400,
                 {outlineStyle({LIBERATION "LiberationSerif-Regular.ttf", DEJAVU "DejaVuSerif.ttf"}),
                  outlineStyle({LIBERATION "LiberationSerif-Bold.ttf", DEJAVU "DejaVuSerif-Bold.ttf"}),
                  outlineStyle({LIBERATION "LiberationSerif-Italic.ttf", DEJAVU "DejaVuSerif-Italic.ttf"}),
                  outlineStyle({LIBERATION "LiberationSerif-BoldItalic.ttf", DEJAVU "DejaVuSerif-BoldItalic.ttf"})}});
    return t;
}

size_t indexOf(const char *name) {
    const auto &t = faceTable();
    for (size_t i = 0; i < t.size(); ++i)
        if (strcasecmp(t[i].name, name) == 0)
            return i;
    return 0;
}

}  // namespace

const std::vector<FaceEntry> &faceTable() {
    static const std::vector<FaceEntry> table = makeTable();
    return table;
}

size_t mapFace(const FontRequest &r) {
    const auto &t = faceTable();
    size_t named = t.size();
    for (size_t i = 0; i < t.size() && named == t.size(); ++i) {
        if (strcasecmp(t[i].name, r.face.c_str()) == 0)
            named = i;
        for (const char *alias : t[i].aliases)
            if (strcasecmp(alias, r.face.c_str()) == 0)
                named = i;
    }
    // The character set outweighs the name: an OEM request gets an OEM face.
    if (r.charSet == kOemCharset)
        return named < t.size() && t[named].oem ? named : indexOf("Terminal");
    if (named < t.size())
        return named;
    const uint8_t pitch = r.pitchAndFamily & 3, family = r.pitchAndFamily & 0xF0;
    if (pitch == kFixedPitch || family == kFamilyModern)
        return indexOf("Courier New");
    if (family == kFamilyRoman)
        return indexOf("Times New Roman");
    if (family == 0 && pitch != kVariablePitch && r.face.empty() && r.height == 0)
        return indexOf("System");  // an all-default request is the system font
    return indexOf("Arial");
}

}  // namespace winapi::gdi
