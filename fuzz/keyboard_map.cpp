// The keyboard-map loader (loadKeyboardMap, a binary image read from a
// file) and the text form's parser. Input: a byte choosing the form, then
// the file's bytes. A text that parses must format to a text that parses
// to the same image; a loaded image must format and parse back the same.
#include "terminal/keyboard_map.h"
#include "terminal/keyboard_map_text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

using namespace vorlex;

void roundTrip(const KeyboardMap &map) {
    std::string error;
    KeyboardMap again{};
    if (!parseKeyboardMapText(formatKeyboardMapText(map), again, error)) {
        std::fprintf(stderr, "formatted map does not parse: %s\n", error.c_str());
        std::abort();
    }
    if (formatKeyboardMapText(again) != formatKeyboardMapText(map)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    KeyboardMap map{};
    if (data[0] & 1) {
        static const std::string path = [] {
            char name[] = "/tmp/vorlex-fuzz-map-XXXXXX";
            int fd = mkstemp(name);
            if (fd < 0) std::abort();
            close(fd);
            return std::string(name);
        }();
        FILE *f = std::fopen(path.c_str(), "wb");
        if (!f) std::abort();
        std::fwrite(data + 1, 1, size - 1, f);
        std::fclose(f);
        if (loadKeyboardMap(path.c_str(), map) == kKeyboardLoaded) roundTrip(map);
    } else {
        std::string error;
        if (parseKeyboardMapText(std::string(reinterpret_cast<const char *>(data + 1), size - 1), map, error))
            roundTrip(map);
    }
    return 0;
}
