#include "zframes.h"

namespace zf {

namespace {

bool skippable(uint8_t c) { return c == 17 || c == 19 || c == 145 || c == 147; }

// One unescaped byte: 0..255, 256 + letter for a subpacket end, -1 when
// the text ends.
int unescaped(const std::string &s, size_t &pos) {
    while (pos < s.size() && skippable(static_cast<uint8_t>(s[pos]))) pos++;
    if (pos >= s.size()) return -1;
    uint8_t c = static_cast<uint8_t>(s[pos++]);
    if (c != 24) return c;
    while (pos < s.size() && skippable(static_cast<uint8_t>(s[pos]))) pos++;
    if (pos >= s.size()) return -1;
    uint8_t d = static_cast<uint8_t>(s[pos++]);
    if (d >= 'h' && d <= 'k') return 256 + d;
    if (d == 'l') return 127;
    if (d == 'm') return 255;
    return d ^ 64;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int hexByte(const std::string &s, size_t &pos) {
    if (pos + 2 > s.size()) return -1;
    int a = hexDigit(s[pos]), b = hexDigit(s[pos + 1]);
    pos += 2;
    return a < 0 || b < 0 ? -2 : a * 16 + b;
}

} // namespace

Frame nextHeader(const std::string &s, size_t &pos) {
    Frame f;
    for (;;) {
        size_t star = s.find('*', pos);
        if (star == std::string::npos || star + 2 >= s.size()) return f;
        size_t p = star;
        while (p < s.size() && s[p] == '*') p++;
        if (p + 1 >= s.size()) return f;
        if (s[p] != ZDLE) {
            pos = p;
            continue;
        }
        const char format = s[p + 1];
        p += 2;
        const bool hex = format == 'B' || format == 'b';
        const bool variable = format == 'a' || format == 'b' || format == 'c' || format == '3';
        auto next = [&]() { return hex ? hexByte(s, p) : unescaped(s, p); };
        int length = 4;
        if (variable) length = next();
        if (length < 0) return f;
        int type = next();
        if (type < 0) return f;
        std::string body(1, static_cast<char>(type));
        for (int i = 0; i < length; i++) {
            int c = next();
            if (c < 0 || c > 255) return f;
            body += static_cast<char>(c);
        }
        const bool crc32Form = format == 'C' || format == 'c' || format == '3';
        std::string crc;
        for (int i = 0; i < (crc32Form ? 4 : 2); i++) {
            int c = next();
            if (c < 0 || c > 255) return f;
            crc += static_cast<char>(c);
        }
        if (crc32Form) {
            f.crcOk = fromLe(crc) == crc32(body);
        } else {
            unsigned v = static_cast<uint8_t>(crc[0]) << 8 | static_cast<uint8_t>(crc[1]);
            f.crcOk = v == crc16(body);
        }
        if (hex) {
            while (p < s.size() && (s[p] == '\r' || s[p] == '\n' || s[p] == '\x8a' || s[p] == '\x11')) p++;
        }
        f.format = format;
        f.type = type;
        f.data = body.substr(1);
        f.raw = s.substr(star, p - star);
        pos = p;
        return f;
    }
}

Sub nextSubpacket(const std::string &s, size_t &pos, bool crc32Form) {
    Sub sub;
    size_t p = pos;
    for (;;) {
        int c = unescaped(s, p);
        if (c < 0) return sub;
        if (c > 255) {
            sub.end = static_cast<char>(c - 256);
            break;
        }
        sub.data += static_cast<char>(c);
    }
    std::string crc;
    for (int i = 0; i < (crc32Form ? 4 : 2); i++) {
        int c = unescaped(s, p);
        if (c < 0 || c > 255) {
            sub.end = 0;
            return sub;
        }
        crc += static_cast<char>(c);
    }
    std::string covered = sub.data + sub.end;
    if (crc32Form) {
        sub.crcOk = fromLe(crc) == crc32(covered);
    } else {
        unsigned v = static_cast<uint8_t>(crc[0]) << 8 | static_cast<uint8_t>(crc[1]);
        sub.crcOk = v == crc16(covered);
    }
    if (sub.end == 'k' && p < s.size() && s[p] == '\x11') p++;
    pos = p;
    return sub;
}

} // namespace zf
