// The lstr functions. As on Windows they tolerate null pointers: a null
// string has length 0, a copy or concatenation involving one returns NULL
// (ERROR_INVALID_PARAMETER), and comparisons order it before any string.
//
// lstrcmpA and lstrcmpiA compare as the Windows sort does for ASCII:
// control characters, then blanks and symbols, then digits, then letters
// alphabetically whatever their case; bytes above 0x7F come last by value.
// When nothing else differs, lstrcmpA puts lower case before upper case.
// (The Windows word sort's special weight for '-' and '\'' is not kept.)
#include "object.h"

#include <climits>
#include <cstring>

namespace {

int weight(unsigned char c) {
    if (c >= 'a' && c <= 'z') return 0x300 + (c - 'a');
    if (c >= 'A' && c <= 'Z') return 0x300 + (c - 'A');
    if (c >= '0' && c <= '9') return 0x200 + (c - '0');
    if (c >= 0x80) return 0x400 + c;
    if (c < 0x20 || c == 0x7F) return c;
    return 0x100 + c;
}

bool isUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }

int compare(const char *a, const char *b, bool caseMatters) {
    if (!a || !b) return a == b ? 0 : a ? 1 : -1;
    auto x = reinterpret_cast<const unsigned char *>(a), y = reinterpret_cast<const unsigned char *>(b);
    size_t i = 0;
    for (; x[i] && y[i]; i++) {
        int d = weight(x[i]) - weight(y[i]);
        if (d) return d < 0 ? -1 : 1;
    }
    if (x[i] || y[i]) return x[i] ? 1 : -1;
    if (caseMatters) {
        for (i = 0; x[i]; i++)
            if (x[i] != y[i]) return isUpper(x[i]) ? 1 : -1;
    }
    return 0;
}

LPSTR invalid() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

} // namespace

extern "C" {

int WINAPI lstrlenA(LPCSTR s) {
    if (!s) return 0;
    size_t n = std::strlen(s);
    return n > size_t(INT_MAX) ? INT_MAX : int(n);
}

LPSTR WINAPI lstrcpyA(LPSTR dst, LPCSTR src) {
    if (!dst || !src) return invalid();
    std::memmove(dst, src, std::strlen(src) + 1);
    return dst;
}

// Copies at most n - 1 characters and always terminates when n > 0; n <= 0
// writes nothing.
LPSTR WINAPI lstrcpynA(LPSTR dst, LPCSTR src, int n) {
    if (!dst) return invalid();
    if (n <= 0) return dst;
    if (!src) return invalid();
    int i = 0;
    for (; i < n - 1 && src[i]; i++) dst[i] = src[i];
    dst[i] = 0;
    return dst;
}

LPSTR WINAPI lstrcatA(LPSTR dst, LPCSTR src) {
    if (!dst || !src) return invalid();
    std::memmove(dst + std::strlen(dst), src, std::strlen(src) + 1);
    return dst;
}

int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) { return compare(a, b, true); }
int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) { return compare(a, b, false); }

} // extern "C"
