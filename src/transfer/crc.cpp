// CRC-32 (IEEE 802.3, reflected) and CRC-16/XMODEM.
#include "crc.h"

#include <vorlex.h>

#include <array>

namespace vorlex {

namespace {

constexpr std::array<uint32_t, 256> makeCrc32Table() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}

constexpr std::array<uint16_t, 256> makeCrc16Table() {
    std::array<uint16_t, 256> t{};
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i << 8;
        for (int k = 0; k < 8; k++) c = (c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1;
        t[i] = static_cast<uint16_t>(c);
    }
    return t;
}

} // namespace

constinit const std::array<uint32_t, 256> crc32Table = makeCrc32Table();
constinit const std::array<uint16_t, 256> crc16Table = makeCrc16Table();

} // namespace vorlex

extern "C" {

DWORD WINAPI Func042(LPCVOID buffer, LONG length) { return vorlex::crc32Of(buffer, length); }

DWORD WINAPI Func073(LPCVOID buffer, LONG length) {
    if (length < 1 || !buffer) return 0;
    const auto *p = static_cast<const uint8_t *>(buffer);
    uint16_t crc = 0;
    for (LONG i = 0; i < length; i++) crc = vorlex::crc16Update(crc, p[i]);
    return crc;
}

} // extern "C"
