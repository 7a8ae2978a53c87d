// Zmodem frames: hex and binary headers (fixed and variable length, CRC-16,
// CRC-32 and keyed CRC-32), data subpackets, escaping, and the readers.
#include "zmodem.h"

#include "crc.h"
#include "port/port.h"

#include <array>
#include <cstring>

namespace vorlex {

namespace {

inline uint32_t crc32Step(uint32_t crc, BYTE b) { return crc32Update(b, crc); }
inline uint16_t crc16Step(uint16_t crc, BYTE b) { return crc16Update(crc, b); }

// Bytes always escaped: ZDLE, XON, XOFF and DLE, with and without bit 7.
constexpr std::array<bool, 256> makeEscapeTable() {
    std::array<bool, 256> t{};
    for (int b : {16, 17, 19, 24, 144, 145, 147}) t[static_cast<size_t>(b)] = true;
    return t;
}
constexpr auto kAlwaysEscaped = makeEscapeTable();
// A receiver that asks for it (ESCCTL) gets every control character escaped.
constexpr std::array<bool, 256> makeControlEscapeTable() {
    std::array<bool, 256> t = makeEscapeTable();
    for (int b = 0; b < 256; b++)
        if ((b & 0x60) == 0) t[static_cast<size_t>(b)] = true;
    return t;
}
constexpr auto kControlsEscaped = makeControlEscapeTable();

const std::array<bool, 256> &escapeTable(const ZmodemLink &z) {
    return z.escapeControls ? kControlsEscaped : kAlwaysEscaped;
}

// The header secret is kept scrambled with a key of 27 bytes and unscrambled
// once, in place.
constexpr char kSecretText[] = "Vorlex keyed headers: ZDATA and ZEOF, 1995-2025";
constexpr BYTE kSecretKey[27] = {0x5A, 0x13, 0xC7, 0x2E, 0x91, 0x4B, 0x08, 0xE3, 0x76, 0x3D, 0xA2, 0x1F, 0xB8, 0x64,
                                 0x0D, 0xF1, 0x39, 0x8C, 0x55, 0xE0, 0x27, 0x9A, 0x6E, 0x03, 0xCB, 0x42, 0xBD};
static_assert(sizeof(kSecretText) <= 54, "the secret has 53 characters at most");
constexpr std::array<BYTE, 54> scrambleSecret() {
    std::array<BYTE, 54> s{};
    for (size_t i = 0; i < s.size(); i++) {
        BYTE plain = i < sizeof(kSecretText) ? static_cast<BYTE>(kSecretText[i]) : 0;
        s[i] = plain ^ kSecretKey[i % 27];
    }
    return s;
}
std::array<BYTE, 54> storedSecret = scrambleSecret();

bool unscrambleSecret() {
    for (size_t i = 0; i < storedSecret.size(); i++) storedSecret[i] ^= kSecretKey[i % 27];
    return true;
}

bool keyedType(LONG type) { return type == ZDATA || type == ZEOF; }

LONG clampedHeaderLength(const ZmodemLink &z) {
    return (z.headerLength < 0 || z.headerLength > 20) ? 4 : z.headerLength;
}

// Escapes one byte into out; last is the escaper's memory of its last byte.
inline BYTE *escapeInto(BYTE *out, BYTE b, BYTE &last, const std::array<bool, 256> &escaped) {
    if (escaped[b] || ((b & 0x7F) == 13 && (last & 0x7F) == '@')) {
        *out++ = ZDLE;
        b ^= 64;
    }
    *out++ = b;
    last = b;
    return out;
}

const char kHexDigits[] = "0123456789abcdef";

BYTE *putHex(BYTE *out, BYTE b) {
    *out++ = static_cast<BYTE>(kHexDigits[b >> 4]);
    *out++ = static_cast<BYTE>(kHexDigits[b & 15]);
    return out;
}

LONG readHeaderBody(Session &s, ZmodemLink &z, BYTE *destination, bool hex);

} // namespace

// ---- the header secret ----------------------------------------------------

void prepareHeaderSecret() {
    static const bool built = unscrambleSecret();
    (void)built;
}

const char *headerSecret() {
    prepareHeaderSecret();
    return reinterpret_cast<const char *>(storedSecret.data());
}

// ---- input -------------------------------------------------------------------

void setEscapeControls(Session &s, bool on) { zmodemLink(s).escapeControls = on ? 1 : 0; }

void attachLineInput(Session &s, LineInput *input) {
    if (input) input->pos = input->count = 0;
    zmodemLink(s).input = input;
}

void detachLineInput(Session &s) { attachLineInput(s, nullptr); }

LONG readLineByte(Session &s, LONG seconds) {
    if (LineInput *in = zmodemLink(s).input) {
        if (in->pos < in->count) return in->bytes[in->pos++];
        LONG n = readQueued(s, reinterpret_cast<char *>(in->bytes), sizeof in->bytes - 1);
        in->pos = 0;
        in->count = n > 0 ? n : 0;
        if (in->count) return in->bytes[in->pos++];
    }
    return readByteWithin(s, progressWindowOf(s), seconds);
}

LONG readLineByteMs(Session &s, DWORD ms) {
    if (LineInput *in = zmodemLink(s).input)
        if (in->pos < in->count) return readLineByte(s, 0);
    return readByteWithinMs(s, progressWindowOf(s), ms);
}

bool inputWaiting(Session &s) {
    LineInput *in = zmodemLink(s).input;
    if (in && in->pos < in->count) return true;
    return inputCount(s) != 0;
}

void discardInput(Session &s) {
    if (LineInput *in = zmodemLink(s).input) in->pos = in->count = 0;
    purgeInput(s);
}

bool carrierLost(Session &s) { return !s.rec().ignoreCarrier && !carrierPresent(s); }

void sendRaw(Session &s, const void *bytes, LONG count) {
    if (count > 0) putBytes(s, bytes, count);
}

void storePosition(BYTE *header, DWORD position) {
    header[ZP0] = static_cast<BYTE>(position);
    header[ZP1] = static_cast<BYTE>(position >> 8);
    header[ZP2] = static_cast<BYTE>(position >> 16);
    header[ZP3] = static_cast<BYTE>(position >> 24);
}

DWORD headerPosition(const BYTE *header) {
    return static_cast<DWORD>(header[ZP0]) | static_cast<DWORD>(header[ZP1]) << 8 |
           static_cast<DWORD>(header[ZP2]) << 16 | static_cast<DWORD>(header[ZP3]) << 24;
}

// ---- escaping -----------------------------------------------------------------

void sendEscapedByte(Session &s, BYTE byte) {
    ZmodemLink &z = zmodemLink(s);
    BYTE out[2];
    BYTE *end = escapeInto(out, byte, z.lastHeaderChar, escapeTable(z));
    sendRaw(s, out, static_cast<LONG>(end - out));
}

void putDataByte(Session &s, BYTE byte) {
    ZmodemLink &z = zmodemLink(s);
    if (!z.sendPointer || z.sendCount > static_cast<LONG>(sizeof z.sendBuffer) - 2) return;
    BYTE *end = escapeInto(z.sendPointer, byte, z.lastDataChar, escapeTable(z));
    z.sendCount += static_cast<LONG>(end - z.sendPointer);
    z.sendPointer = end;
}

// ---- headers --------------------------------------------------------------

void sendHexHeader(Session &s, LONG type, const BYTE *data) {
    ZmodemLink &z = zmodemLink(s);
    const LONG n = clampedHeaderLength(z);
    BYTE out[4 + 2 + 2 + 40 + 4 + 3];
    BYTE *p = out;
    *p++ = ZPAD;
    *p++ = ZPAD;
    *p++ = ZDLE;
    if (z.variableHeaders) {
        *p++ = 'b';
        p = putHex(p, static_cast<BYTE>(n));
    } else {
        *p++ = 'B';
    }
    uint16_t crc = crc16Step(0, static_cast<BYTE>(type));
    p = putHex(p, static_cast<BYTE>(type));
    for (LONG i = 0; i < n; i++) {
        crc = crc16Step(crc, data[i]);
        p = putHex(p, data[i]);
    }
    p = putHex(p, static_cast<BYTE>(crc >> 8));
    p = putHex(p, static_cast<BYTE>(crc));
    *p++ = '\r';
    *p++ = '\n';
    if (type != ZACK && type != ZFIN) *p++ = XON;
    sendRaw(s, out, static_cast<LONG>(p - out));
}

void sendBinaryHeader(Session &s, LONG type, const BYTE *data) {
    ZmodemLink &z = zmodemLink(s);
    BYTE out[4 + 2 * (1 + 20 + 4)];
    const auto &escaped = escapeTable(z);
    BYTE *p = out;
    *p++ = ZPAD;
    *p++ = ZDLE;
    const bool keyed = z.useCrc32 && z.variableHeaders && z.keyedHeaders && keyedType(type);
    if (keyed) z.headerLength = 4;
    const LONG n = clampedHeaderLength(z);
    if (z.useCrc32) {
        if (z.variableHeaders) {
            *p++ = keyed ? '3' : 'c';
            *p++ = static_cast<BYTE>(n);
        } else {
            *p++ = 'C';
        }
    } else if (z.variableHeaders) {
        *p++ = 'a';
        *p++ = static_cast<BYTE>(n);
    } else {
        *p++ = 'A';
    }
    p = escapeInto(p, static_cast<BYTE>(type), z.lastHeaderChar, escaped);
    for (LONG i = 0; i < n; i++) p = escapeInto(p, data[i], z.lastHeaderChar, escaped);
    if (z.useCrc32) {
        uint32_t crc = crc32Step(0xFFFFFFFFu, static_cast<BYTE>(type));
        for (LONG i = 0; i < n; i++) crc = crc32Step(crc, data[i]);
        // The keyed form runs the secret through the CRC as well.
        if (keyed)
            for (const char *k = headerSecret(); *k; k++) crc = crc32Step(crc, static_cast<BYTE>(*k));
        crc = ~crc;
        for (int i = 0; i < 4; i++) p = escapeInto(p, static_cast<BYTE>(crc >> (8 * i)), z.lastHeaderChar, escaped);
    } else {
        uint16_t crc = crc16Step(0, static_cast<BYTE>(type));
        for (LONG i = 0; i < n; i++) crc = crc16Step(crc, data[i]);
        p = escapeInto(p, static_cast<BYTE>(crc >> 8), z.lastHeaderChar, escaped);
        p = escapeInto(p, static_cast<BYTE>(crc), z.lastHeaderChar, escaped);
    }
    sendRaw(s, out, static_cast<LONG>(p - out));
}

void sendDataSubpacket(Session &s, LONG length, LONG end) {
    TransferRecord *t = s.transfer.load();
    ZmodemLink &z = t->zmodem;
    if (length < 0) length = 0;
    if (length > kMaxSubpacket) length = kMaxSubpacket;
    // Worst case: every data byte and every CRC byte escaped, plus the end
    // and XON: 2 * 1024 + 2 + 8 + 1 bytes, within sendBuffer.
    BYTE *p = z.sendBuffer;
    BYTE last = z.lastDataChar;
    const auto &escaped = escapeTable(z);
    const BYTE *d = t->dataBuffer;
    if (z.useCrc32) {
        uint32_t crc = 0xFFFFFFFFu;
        for (LONG i = 0; i < length; i++) {
            crc = crc32Step(crc, d[i]);
            p = escapeInto(p, d[i], last, escaped);
        }
        *p++ = ZDLE;
        *p++ = static_cast<BYTE>(end);
        crc = ~crc32Step(crc, static_cast<BYTE>(end));
        for (int i = 0; i < 4; i++) p = escapeInto(p, static_cast<BYTE>(crc >> (8 * i)), last, escaped);
    } else {
        uint16_t crc = 0;
        for (LONG i = 0; i < length; i++) {
            crc = crc16Step(crc, d[i]);
            p = escapeInto(p, d[i], last, escaped);
        }
        *p++ = ZDLE;
        *p++ = static_cast<BYTE>(end);
        crc = crc16Step(crc, static_cast<BYTE>(end));
        p = escapeInto(p, static_cast<BYTE>(crc >> 8), last, escaped);
        p = escapeInto(p, static_cast<BYTE>(crc), last, escaped);
    }
    if (end == ZCRCW) *p++ = XON;
    z.lastDataChar = last;
    z.sendPointer = p;
    z.sendCount = static_cast<LONG>(p - z.sendBuffer);
    sendRaw(s, z.sendBuffer, z.sendCount);
}

// ---- readers ------------------------------------------------------------------

LONG readChar7(Session &s) {
    const LONG seconds = zmodemLink(s).charTimeout;
    for (;;) {
        LONG c = readLineByte(s, seconds);
        if (c < 0) return c;
        c &= 0x7F;
        if (c != XON && c != XOFF) return c;
        // A line that brings nothing but flow control must not hold a stop.
        if (stopRequested(s.transfer.load())) return kReadTimeout;
    }
}

LONG readHexByte(Session &s) {
    LONG value = 0;
    for (int i = 0; i < 2; i++) {
        LONG c = readChar7(s);
        if (c < 0) return c;
        LONG digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return kReadError;
        value = value * 16 + digit;
    }
    return value;
}

LONG readEscaped(Session &s) {
    const LONG seconds = zmodemLink(s).charTimeout;
    LONG c;
    for (;;) {
        c = readLineByte(s, seconds);
        if (c < 0 || (c & 0x60)) return c;
        if (c == XON || c == XOFF || c == 145 || c == 147) {
            if (stopRequested(s.transfer.load())) return kReadTimeout;
            continue;
        }
        if (c != ZDLE) return c;
        break;
    }
    for (;;) {
        c = readLineByte(s, seconds);
        if (c < 0) return c;
        for (int more = 0; c == CAN && more < 3; more++) {
            c = readLineByte(s, seconds);
            if (c < 0) return c;
        }
        switch (c) {
        case CAN: return GOTCAN;
        case XON:
        case XOFF:
        case 145:
        case 147: // the byte after ZDLE is still to come
            if (stopRequested(s.transfer.load())) return kReadTimeout;
            continue;
        case ZCRCE:
        case ZCRCG:
        case ZCRCQ:
        case ZCRCW: return 256 + c;
        case 'l': return 127;
        case 'm': return 255;
        default:
            if ((c & 0x60) == 0x40) return c ^ 64;
            return kReadError;
        }
    }
}

HeaderRead readHeader(Session &s, BYTE *destination) {
    TransferRecord *t = s.transfer.load();
    ZmodemLink &z = t->zmodem;
    z.headerType = 0;
    LONG garbage = 9600;
    auto result = [&](LONG kind) { return HeaderRead{kind, z.peerPosition}; };
    auto cancelExit = [&]() {
        t->resultCode = kResultRemoteCancel;
        sendCancelSequence(s);
        return result(ZCAN);
    };
    for (;;) { // a pass
        LONG cans = 5;
        bool isGarbage = false;
        while (!isGarbage) {
            if (stopRequested(t)) return cancelExit();
            if (carrierLost(s)) {
                t->resultCode = kResultCarrierLost;
                return result(kReadTimeout);
            }
            LONG c = kReadTimeout;
            const LONG waits = z.headerWaits > 0 ? z.headerWaits : 1;
            for (LONG i = 0; i < waits; i++) {
                c = z.headerMs ? readLineByteMs(s, z.headerMs) : readLineByte(s, 5);
                if (c >= 0) break;
                pollCallback(s);
                if (stopRequested(t)) return cancelExit();
            }
            if (c < 0) return result(kReadTimeout);

            bool format = false;
            if (c == ZPAD || c == (ZPAD | 0x80)) {
                do c = readChar7(s);
                while (c == ZPAD && !stopRequested(t));
                if (c < 0) return result(kReadTimeout);
                if (c != ZDLE) {
                    isGarbage = true;
                    break;
                }
                z.keyedHeaders = 0;
                c = readChar7(s);
                if (c < 0) return result(kReadTimeout);
                if (c == CAN) {
                    cans = 5; // and counted as a CAN below
                } else {
                    format = true;
                }
            }
            if (format) {
                bool hex = false;
                switch (c) {
                case 'A': z.useCrc32 = 0; z.variableHeaders = 0; break;
                case 'B': z.variableHeaders = 0; hex = true; break;
                case 'C': z.useCrc32 = 1; z.variableHeaders = 0; break;
                case 'a': z.useCrc32 = 0; z.variableHeaders = 1; break;
                case 'b': z.variableHeaders = 1; hex = true; break;
                case 'c': z.useCrc32 = 1; z.variableHeaders = 1; break;
                case '3': z.useCrc32 = 1; z.variableHeaders = 1; z.keyedHeaders = 1; break;
                default: isGarbage = true; continue;
                }
                LONG r = readHeaderBody(s, z, destination, hex);
                z.peerPosition = headerPosition(destination);
                return result(r);
            }
            if (c == CAN) {
                if (--cans == 0) return result(ZCAN);
                LONG d = readLineByte(s, 5);
                if (d < 0) continue; // back to the cancel test, keeping the count
                if (d == CAN) {
                    if (--cans == 0) return result(ZCAN);
                    continue;
                }
                if (d == 'k') return result(kReadError);
            }
            isGarbage = true;
        }
        if (--garbage <= 0) return result(kReadError);
    }
}

namespace {

LONG readHeaderBody(Session &s, ZmodemLink &z, BYTE *destination, bool hex) {
    auto next = [&]() { return hex ? readHexByte(s) : readEscaped(s); };
    z.headerLength = 4;
    if (z.variableHeaders) {
        LONG n = next();
        if (n < 0 || n > 255) return n;
        // rxHeader and txHeader hold 20 bytes: a longer header is refused
        // before any of it is stored.
        if (n > 20) return kReadError;
        z.headerLength = n;
    }
    const LONG n = z.headerLength;
    LONG type = next();
    if (type < 0 || type > 255) return type;
    z.headerType = type;
    BYTE data[20] = {};
    if (!hex && z.useCrc32) {
        uint32_t crc = crc32Step(0xFFFFFFFFu, static_cast<BYTE>(type));
        for (LONG i = 0; i < n; i++) {
            LONG c = next();
            if (c < 0 || c > 255) return c;
            data[i] = static_cast<BYTE>(c);
            crc = crc32Step(crc, data[i]);
        }
        if (z.keyedHeaders && keyedType(type))
            for (const char *k = headerSecret(); *k; k++) crc = crc32Step(crc, static_cast<BYTE>(*k));
        for (int i = 0; i < 4; i++) {
            LONG c = next();
            if (c < 0 || c > 255) return c;
            crc = crc32Step(crc, static_cast<BYTE>(c));
        }
        if (crc != kCrc32Residue) return kReadError;
    } else {
        uint16_t crc = crc16Step(0, static_cast<BYTE>(type));
        for (LONG i = 0; i < n; i++) {
            LONG c = next();
            if (c < 0 || c > 255) return c;
            data[i] = static_cast<BYTE>(c);
            crc = crc16Step(crc, data[i]);
        }
        for (int i = 0; i < 2; i++) {
            LONG c = next();
            if (c < 0 || c > 255) return c;
            crc = crc16Step(crc, static_cast<BYTE>(c));
        }
        if (crc != 0) return kReadError;
    }
    // Only a whole, valid header reaches the destination; positions of a
    // short header read as zero.
    std::memcpy(destination, data, sizeof data);
    if (hex) {
        LONG c = readLineByte(s, 10);
        if (c == '\r') {
            c = readLineByte(s, 10);
            if (c == '\r') readLineByte(s, 10);
        }
    }
    return type;
}

} // namespace

SubpacketRead readSubpacket(Session &s, BYTE *buffer, LONG maximum) {
    ZmodemLink &z = zmodemLink(s);
    const bool crc32 = z.useCrc32 != 0;
    uint32_t crc = crc32 ? 0xFFFFFFFFu : 0;
    z.lastDataCount = 0;
    LONG count = 0;
    LineInput *in = z.input;
    auto failed = [&](LONG end, LONG status) {
        countError(s, status);
        return SubpacketRead{end, count};
    };
    LONG c;
    // Bounded by maximum: every pass stores a byte or leaves.
    for (;;) {
        // Plain data bytes straight from the input block.
        if (in && in->pos < in->count) {
            const BYTE *p = in->bytes + in->pos;
            const BYTE *end = in->bytes + in->count;
            while (p < end && (*p & 0x60)) {
                if (count >= maximum) {
                    in->pos = static_cast<LONG>(p - in->bytes);
                    return failed(kReadError, kStatusBadFilePosition);
                }
                const BYTE b = *p++;
                buffer[count++] = b;
                crc = crc32 ? crc32Step(crc, b) : crc16Step(static_cast<uint16_t>(crc), b);
            }
            in->pos = static_cast<LONG>(p - in->bytes);
            if (p == end) continue;
        }
        c = readEscaped(s);
        if (c < 0 || c > 255) break;
        if (count >= maximum) return failed(kReadError, kStatusBadFilePosition);
        buffer[count++] = static_cast<BYTE>(c);
        crc = crc32 ? crc32Step(crc, static_cast<BYTE>(c)) : crc16Step(static_cast<uint16_t>(crc), static_cast<BYTE>(c));
    }
    auto nonData = [&](LONG code) {
        if (code == GOTCAN) return failed(ZCAN, kStatusSenderCanceled);
        if (code == kReadTimeout) return failed(kReadError, kStatusTimeOut);
        SubpacketRead r = failed(kReadError, kStatusUnknownError);
        discardInput(s);
        return r;
    };
    if (c < GOTCRCE || c > GOTCRCW) return nonData(c);
    const LONG endCode = c;
    const BYTE letter = static_cast<BYTE>(c - 256);
    if (crc32) {
        crc = crc32Step(crc, letter);
        for (int i = 0; i < 4; i++) {
            LONG b = readEscaped(s);
            if (b < 0 || b > 255) return nonData(b);
            crc = crc32Step(crc, static_cast<BYTE>(b));
        }
        if (crc != kCrc32Residue) return failed(kReadError, kStatusCrcError);
    } else {
        uint16_t c16 = crc16Step(static_cast<uint16_t>(crc), letter);
        for (int i = 0; i < 2; i++) {
            LONG b = readEscaped(s);
            if (b < 0 || b > 255) return nonData(b);
            c16 = crc16Step(c16, static_cast<BYTE>(b));
        }
        if (c16 != 0) return failed(kReadError, kStatusCrcError);
    }
    z.lastDataCount = count;
    return SubpacketRead{endCode, count};
}

} // namespace vorlex
