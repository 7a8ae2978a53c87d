// Modem result texts: "CONNECT 9600", "CARRIER 28800" to a line speed.
#include "port/port.h"

#include <cstddef>
#include <cstring>

namespace {

// Fastest first: "CONNECT 1200" is part of "CONNECT 12000", so the longer
// text must be tried before the shorter one.
constexpr WORD speedTable[19] = {11520, 57600, 38400, 33600, 31200, 28800, 26400, 24000, 21600, 19200,
                                 16800, 14400, 12000, 9600,  7200,  4800,  2400,  1200,  300};

// 115200 does not fit the 16-bit table.
constexpr WORD kTruncated115200 = 11520;

constexpr const char *carrierTexts[19] = {
    "CARRIER 115200", "CARRIER 57600", "CARRIER 38400", "CARRIER 33600", "CARRIER 31200",
    "CARRIER 28800",  "CARRIER 26400", "CARRIER 24000", "CARRIER 21600", "CARRIER 19200",
    "CARRIER 16800",  "CARRIER 14400", "CARRIER 12000", "CARRIER 9600",  "CARRIER 7200",
    "CARRIER 4800",   "CARRIER 2400",  "CARRIER 1200",  "CARRIER 300"};

constexpr const char *connectTexts[19] = {
    "CONNECT 115200", "CONNECT 57600", "CONNECT 38400", "CONNECT 33600", "CONNECT 31200",
    "CONNECT 28800",  "CONNECT 26400", "CONNECT 24000", "CONNECT 21600", "CONNECT 19200",
    "CONNECT 16800",  "CONNECT 14400", "CONNECT 12000", "CONNECT 9600",  "CONNECT 7200",
    "CONNECT 4800",   "CONNECT 2400",  "CONNECT 1200",  "CONNECT 300"};

// Only ASCII letters fold; bytes of 0x80 and above compare exactly.
inline unsigned char foldCase(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 0x20) : c; }

LONG speedOf(WORD entry) { return entry == kTruncated115200 ? 115200 : entry; }

// The largest position a LONG result can report.
constexpr size_t kMaxPosition = 0x7FFFFFFF;

} // namespace

namespace vorlex {

LONG findText(LPCSTR text, LPCSTR pattern) {
    if (!text || !pattern) return 0;
    // Lengths are counted in full, so texts over 65535 characters are searched
    // to their end rather than wrapping around a 16-bit count.
    const size_t n = std::strlen(text);
    const size_t m = std::strlen(pattern);
    if (n == 0 || m == 0 || n < m) return 0;
    const auto *t = reinterpret_cast<const unsigned char *>(text);
    const auto *q = reinterpret_cast<const unsigned char *>(pattern);
    const size_t first = foldCase(q[0]);
    for (size_t p = 0; p <= n - m && p < kMaxPosition; p++) {
        if (foldCase(t[p]) != first) continue;
        size_t k = 1;
        while (k < m && foldCase(t[p + k]) == foldCase(q[k])) k++;
        if (k == m) return static_cast<LONG>(p + 1);
    }
    return 0;
}

} // namespace vorlex

extern "C" {

LONG WINAPI Func084(LPCSTR text, LPCSTR pattern) { return vorlex::findText(text, pattern); }

LONG WINAPI Func040(LPCSTR response) {
    using vorlex::findText;
    if (!response) return 0;
    // Every carrier report before any connect report: a modem that gives both
    // reports the line speed as CARRIER.
    for (int i = 0; i < 19; i++)
        if (findText(response, carrierTexts[i])) return speedOf(speedTable[i]);
    for (int i = 0; i < 19; i++)
        if (findText(response, connectTexts[i])) return speedOf(speedTable[i]);
    return 0;
}

} // extern "C"
