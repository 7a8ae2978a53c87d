// A test-side Zmodem codec, written from the protocol, to script the other
// end of a transfer byte by byte and to read what the library sends.
#pragma once

#include <vorlex.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zf {

enum : int {
    ZRQINIT = 0, ZRINIT = 1, ZSINIT = 2, ZACK = 3, ZFILE = 4, ZSKIP = 5, ZNAK = 6, ZABORT = 7, ZFIN = 8,
    ZRPOS = 9, ZDATA = 10, ZEOF = 11, ZCOMPL = 15, ZCAN = 16, ZCOMMAND = 18,
};
constexpr char ZDLE = 24;

inline std::string hex2(unsigned b, bool upper = false) {
    const char *d = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    return {d[(b >> 4) & 15], d[b & 15]};
}

inline unsigned crc16(const std::string &s) {
    return Func073(s.data(), static_cast<LONG>(s.size())) & 0xFFFF;
}
inline uint32_t crc32(const std::string &s) { return Func042(s.data(), static_cast<LONG>(s.size())); }

inline std::string le32(uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}
inline uint32_t fromLe(const std::string &s, size_t at = 0) {
    return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 | static_cast<uint8_t>(s[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

// A hex header with the data bytes given (4 normally); variable: the 'b'
// form with its length.
inline std::string hexHeader(int type, const std::string &data, bool variable = false, bool upper = false) {
    std::string body;
    body += static_cast<char>(type);
    body += data;
    unsigned crc = crc16(body);
    std::string out = "**";
    out += ZDLE;
    out += variable ? "b" + hex2(static_cast<unsigned>(data.size())) : "B";
    for (char c : body) out += hex2(static_cast<uint8_t>(c), upper);
    out += hex2(crc >> 8, upper) + hex2(crc, upper) + "\r\n";
    if (type != ZACK && type != ZFIN) out += '\x11';
    return out;
}
inline std::string hexHeader(int type, uint32_t position = 0) { return hexHeader(type, le32(position)); }

inline std::string escape(const std::string &s) {
    std::string out;
    for (char ch : s) {
        uint8_t c = static_cast<uint8_t>(ch);
        if (c == 24 || c == 16 || c == 17 || c == 19 || c == 144 || c == 145 || c == 147 || c == 13 || c == 141) {
            out += ZDLE;
            out += static_cast<char>(c ^ 64);
        } else {
            out += ch;
        }
    }
    return out;
}

// A binary CRC-32 header ('C').
inline std::string binHeader(int type, const std::string &data) {
    std::string body;
    body += static_cast<char>(type);
    body += data;
    std::string out = "*";
    out += ZDLE;
    out += 'C';
    out += escape(body + le32(crc32(body)));
    return out;
}

// A CRC-32 data subpacket with its end letter.
inline std::string subpacket(const std::string &data, char end) {
    std::string crcInput = data + end;
    std::string out = escape(data);
    out += ZDLE;
    out += end;
    out += escape(le32(crc32(crcInput)));
    if (end == 'k') out += '\x11';
    return out;
}

// One frame read back from what the library sent.
struct Frame {
    char format = 0;       // 'A', 'B', 'C', 'a', 'b', 'c', '3'
    int type = -1;
    std::string data;      // the header's data bytes
    std::string raw;       // the header's bytes on the wire
    bool crcOk = false;    // for the keyed form: the CRC without the secret
};

// Reads the next header in s from pos (skipping what is before it);
// advances pos. type -1 when none is complete.
Frame nextHeader(const std::string &s, size_t &pos);
// Reads a data subpacket at pos: the data, its end letter (0 when
// incomplete), and whether its CRC holds.
struct Sub {
    std::string data;
    char end = 0;
    bool crcOk = false;
};
Sub nextSubpacket(const std::string &s, size_t &pos, bool crc32 = true);

} // namespace zf
