// Arguments for a fuzzed wsprintf format, taken from the input: each
// conversion of the documented grammar %[-][#][0][width][.precision][l|h|w]type
// gets a value of its kind (an integer from the input, or a narrow or wide
// text from the input); at most kSlots of them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fuzzfmt {

constexpr int kSlots = 12;

struct Arguments {
    std::string format;
    std::vector<std::string> narrow;
    std::vector<std::wstring> wide;
    uintptr_t slot[kSlots] = {};
};

// Input: the format, NUL, then the bytes the arguments are taken from.
inline void build(const uint8_t *data, size_t size, Arguments &a) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    const size_t cut = input.find('\0');
    a.format = input.substr(0, cut);
    std::string pool = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    size_t at = 0;
    auto take = [&](size_t n) {
        std::string s = at < pool.size() ? pool.substr(at, n) : std::string();
        at += n;
        return s;
    };
    a.narrow.reserve(kSlots);
    a.wide.reserve(kSlots);
    int used = 0;
    const char *p = a.format.c_str();
    while (*p && used < kSlots) {
        if (*p++ != '%') continue;
        if (*p == '%') {
            p++;
            continue;
        }
        if (*p == '-') p++;
        if (*p == '#') p++;
        if (*p == '0') p++;
        while (*p >= '0' && *p <= '9') p++;
        if (*p == '.') {
            p++;
            while (*p >= '0' && *p <= '9') p++;
        }
        char sizeLetter = 0;
        if (*p == 'l' || *p == 'h' || *p == 'w') sizeLetter = *p++;
        const char type = *p;
        if (!type) break;
        p++;
        if (type == 's' || type == 'S') {
            const bool wideText = type == 's' ? (sizeLetter == 'l' || sizeLetter == 'w')
                                              : !(sizeLetter == 'h' || sizeLetter == 'w');
            const std::string bytes = take(static_cast<uint8_t>(take(1).c_str()[0]) % 40);
            if (wideText) {
                a.wide.emplace_back(bytes.begin(), bytes.end());
                a.slot[used++] = reinterpret_cast<uintptr_t>(a.wide.back().c_str());
            } else {
                a.narrow.push_back(bytes);
                a.slot[used++] = reinterpret_cast<uintptr_t>(a.narrow.back().c_str());
            }
        } else if (type == 'p') {
            std::string b = take(8);
            b.resize(8, '\0');
            uint64_t v;
            std::memcpy(&v, b.data(), 8);
            a.slot[used++] = static_cast<uintptr_t>(v);
        } else if (std::strchr("cCdiuxX", type)) {
            std::string b = take(4);
            b.resize(4, '\0');
            uint32_t v;
            std::memcpy(&v, b.data(), 4);
            a.slot[used++] = v;
        }
        // Any other type takes no argument.
    }
    // No conversion may be left without its argument.
    if (used == kSlots) a.format.resize(static_cast<size_t>(p - a.format.c_str()));
}

} // namespace fuzzfmt
