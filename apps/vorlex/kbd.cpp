// vorlex kbd: keyboard map files from their text form and back.
#include "commands.h"

#include "terminal/keyboard_map.h"
#include "terminal/keyboard_map_text.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

using namespace vorlex;

namespace {

const char kUsage[] =
    "usage: vorlex kbd compile IN.txt OUT.kbd   text form to a 1,806-byte keyboard map file\n"
    "       vorlex kbd dump IN.kbd [OUT.txt]     keyboard map file to its text form (standard output)\n"
    "\n"
    "Text form, one statement a line ('#' starts a comment):\n"
    "  rows N, columns N, strip-eighth-bit N, destructive-backspace N, auto-wrap N\n"
    "      (rows 1..100 and columns 1..88, 24 and 80 when not given; the others 0 when not given)\n"
    "  KEY normal|shift|ctrl \"STRING\" [echo]\n"
    "      STRING: at most 12 bytes in caret notation (^[ ESC, ^[< DEL, ^M CR, ^H BS);\n"
    "      \\\" \\\\ and \\xHH for other bytes; echo: also shown locally when the terminal echoes\n"
    "  KEY: F1..F12 Escape Return Tab Backspace (no echo for F1..F12 and Escape),\n"
    "       the cursor block PgUp PgDn End Home Left Up Right Down Insert Delete,\n"
    "       the numeric keypad KP-PgUp KP-PgDn KP-End KP-Home KP-Left KP-Up KP-Right KP-Down\n"
    "       KP-Insert KP-Delete KP-Enter\n";

bool readAll(const char *path, std::string &data) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool writeAll(const char *path, const void *data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char *>(data), std::streamsize(size));
    out.close();
    return !out.fail();
}

int compile(const char *in, const char *out) {
    std::string text;
    if (!readAll(in, text)) {
        std::fprintf(stderr, "vorlex kbd: cannot read %s\n", in);
        return 1;
    }
    KeyboardMap map;
    std::string error;
    if (!parseKeyboardMapText(text, map, error)) {
        std::fprintf(stderr, "vorlex kbd: %s: %s\n", in, error.c_str());
        return 1;
    }
    if (!writeAll(out, map.image, sizeof map.image)) {
        std::fprintf(stderr, "vorlex kbd: cannot write %s\n", out);
        return 1;
    }
    return 0;
}

int dump(const char *in, const char *out) {
    std::string data;
    if (!readAll(in, data)) {
        std::fprintf(stderr, "vorlex kbd: cannot read %s\n", in);
        return 1;
    }
    if (data.size() < kKeyboardMapSize) {
        std::fprintf(stderr, "vorlex kbd: %s: %zu bytes, a keyboard map file has %zu\n", in, data.size(),
                     kKeyboardMapSize);
        return 1;
    }
    KeyboardMap map;
    std::memcpy(map.image, data.data(), sizeof map.image);
    const MapProblem problem = checkKeyboardMap(map);
    if (problem == MapProblem::magic) {
        std::fprintf(stderr, "vorlex kbd: %s is not a keyboard map file (no \"Vorlex\" at its start)\n", in);
        return 1;
    }
    if (problem != MapProblem::none)
        std::fprintf(stderr, "vorlex kbd: note: %s: %s out of range; the terminal refuses this map\n", in,
                     problem == MapProblem::screenRows ? "rows" : "columns");
    const std::string text = formatKeyboardMapText(map);
    // Say what the text form does not carry, so that nobody loses bytes unknowingly.
    KeyboardMap again;
    std::string ignored;
    parseKeyboardMapText(text, again, ignored);
    size_t lost = 0;
    for (size_t i = 0; i < kKeyboardMapSize; i++) lost += map.image[i] != again.image[i];
    if (data.size() > kKeyboardMapSize) lost += data.size() - kKeyboardMapSize;
    if (lost && problem == MapProblem::none)
        std::fprintf(stderr, "vorlex kbd: note: %zu bytes that the terminal does not read are not kept\n", lost);
    if (!out) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (!writeAll(out, text.data(), text.size())) {
        std::fprintf(stderr, "vorlex kbd: cannot write %s\n", out);
        return 1;
    }
    return 0;
}

} // namespace

int cmdKbd(int argc, char **argv) {
    if (argc >= 1 && (!std::strcmp(argv[0], "--help") || !std::strcmp(argv[0], "-h") || !std::strcmp(argv[0], "help"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 3 && !std::strcmp(argv[0], "compile")) return compile(argv[1], argv[2]);
    if ((argc == 2 || argc == 3) && !std::strcmp(argv[0], "dump")) return dump(argv[1], argc == 3 ? argv[2] : nullptr);
    std::fputs(kUsage, stderr);
    return 2;
}
