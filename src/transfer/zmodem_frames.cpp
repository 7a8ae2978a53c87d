// Zmodem frames: hex and binary headers (fixed and variable length, CRC-16,
// CRC-32 and keyed CRC-32), data subpackets, escaping, and the readers.
#include "zmodem.h"

#include "crc.h"
#include "port/port.h"

#include <array>
#include <cstring>

namespace vorlex {

namespace {

// The hot loops run their own tables (same check sums as crc.cpp) so that
// each byte costs a table look-up, not a call.
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
constexpr auto kCrc32 = makeCrc32Table();
constexpr auto kCrc16 = makeCrc16Table();

inline uint32_t crc32Step(uint32_t crc, BYTE b) { return kCrc32[(crc ^ b) & 0xFF] ^ (crc >> 8); }
inline uint16_t crc16Step(uint16_t crc, BYTE b) {
    return static_cast<uint16_t>(kCrc16[((crc >> 8) ^ b) & 0xFF] ^ (crc << 8));
}

constexpr uint32_t kCrc32Residue = 0xDEBB20E3u;

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
std::atomic<bool> escapeControls[kPortCount];

const std::array<bool, 256> &escapeTable(LONG port) {
    return (port >= 0 && port < kPortCount && escapeControls[port].load(std::memory_order_relaxed)) ? kControlsEscaped
                                                                                                    : kAlwaysEscaped;
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

// The input blocks of ports whose engine attached one.
std::atomic<LineInput *> lineInputs[kPortCount];

LineInput *lineInput(LONG port) {
    return (port >= 0 && port < kPortCount) ? lineInputs[port].load(std::memory_order_relaxed) : nullptr;
}

HWND progressWindowOf(LONG port) {
    TransferRecord *t = transferRecord(port);
    return t ? t->progressWindow.load() : nullptr;
}

bool keyedType(LONG type) { return type == ZDATA || type == ZEOF; }

LONG clampedHeaderLength(const TransferRecord *t) {
    return (t->headerLength < 0 || t->headerLength > 20) ? 4 : t->headerLength;
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

LONG readHeaderBody(LONG port, TransferRecord *t, BYTE *destination, bool hex);

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

void setEscapeControls(LONG port, bool on) {
    if (port >= 0 && port < kPortCount) escapeControls[port].store(on);
}

void attachLineInput(LONG port, LineInput *input) {
    if (port < 0 || port >= kPortCount) return;
    if (input) input->pos = input->count = 0;
    lineInputs[port].store(input);
}

void detachLineInput(LONG port) { attachLineInput(port, nullptr); }

LONG readLineByte(LONG port, LONG seconds) {
    if (LineInput *in = lineInput(port)) {
        if (in->pos < in->count) return in->bytes[in->pos++];
        LONG n = Func015(port, reinterpret_cast<LPSTR>(in->bytes), sizeof in->bytes - 1);
        in->pos = 0;
        in->count = n > 0 ? n : 0;
        if (in->count) return in->bytes[in->pos++];
    }
    return Func110(port, progressWindowOf(port), seconds);
}

bool inputWaiting(LONG port) {
    LineInput *in = lineInput(port);
    if (in && in->pos < in->count) return true;
    return Func058(port) == 0;
}

void discardInput(LONG port) {
    if (LineInput *in = lineInput(port)) in->pos = in->count = 0;
    Func023(port);
}

bool carrierLost(LONG port) {
    PortRecord *p = portRecord(port);
    if (!p) return true;
    return !p->ignoreCarrier && !Func052(port);
}

void sendRaw(LONG port, const void *bytes, LONG count) {
    if (count > 0) Func022(port, static_cast<LPCSTR>(bytes), count);
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

void sendEscapedByte(LONG port, BYTE byte) {
    TransferRecord *t = transferRecord(port);
    if (!t) return;
    BYTE out[2];
    BYTE *end = escapeInto(out, byte, t->lastHeaderChar, escapeTable(port));
    sendRaw(port, out, static_cast<LONG>(end - out));
}

void putDataByte(LONG port, BYTE byte) {
    TransferRecord *t = transferRecord(port);
    if (!t) return;
    if (!t->sendPointer || t->sendCount > static_cast<LONG>(sizeof t->sendBuffer) - 2) return;
    BYTE *end = escapeInto(t->sendPointer, byte, t->lastDataChar, escapeTable(port));
    t->sendCount += static_cast<LONG>(end - t->sendPointer);
    t->sendPointer = end;
}

// ---- headers --------------------------------------------------------------

void sendHexHeader(LONG port, LONG type, const BYTE *data) {
    TransferRecord *t = transferRecord(port);
    if (!t) return;
    const LONG n = clampedHeaderLength(t);
    BYTE out[4 + 2 + 2 + 40 + 4 + 3];
    BYTE *p = out;
    *p++ = ZPAD;
    *p++ = ZPAD;
    *p++ = ZDLE;
    if (t->variableHeaders) {
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
    sendRaw(port, out, static_cast<LONG>(p - out));
}

void sendBinaryHeader(LONG port, LONG type, const BYTE *data) {
    TransferRecord *t = transferRecord(port);
    if (!t) return;
    BYTE out[4 + 2 * (1 + 20 + 4)];
    const auto &escaped = escapeTable(port);
    BYTE *p = out;
    *p++ = ZPAD;
    *p++ = ZDLE;
    const bool keyed = t->useCrc32 && t->variableHeaders && t->keyedHeaders && keyedType(type);
    if (keyed) t->headerLength = 4;
    const LONG n = clampedHeaderLength(t);
    if (t->useCrc32) {
        if (t->variableHeaders) {
            *p++ = keyed ? '3' : 'c';
            *p++ = static_cast<BYTE>(n);
        } else {
            *p++ = 'C';
        }
    } else if (t->variableHeaders) {
        *p++ = 'a';
        *p++ = static_cast<BYTE>(n);
    } else {
        *p++ = 'A';
    }
    p = escapeInto(p, static_cast<BYTE>(type), t->lastHeaderChar, escaped);
    for (LONG i = 0; i < n; i++) p = escapeInto(p, data[i], t->lastHeaderChar, escaped);
    if (t->useCrc32) {
        uint32_t crc = crc32Step(0xFFFFFFFFu, static_cast<BYTE>(type));
        for (LONG i = 0; i < n; i++) crc = crc32Step(crc, data[i]);
        // The keyed form runs the secret through the CRC as well.
        if (keyed)
            for (const char *s = headerSecret(); *s; s++) crc = crc32Step(crc, static_cast<BYTE>(*s));
        crc = ~crc;
        for (int i = 0; i < 4; i++) p = escapeInto(p, static_cast<BYTE>(crc >> (8 * i)), t->lastHeaderChar, escaped);
    } else {
        uint16_t crc = crc16Step(0, static_cast<BYTE>(type));
        for (LONG i = 0; i < n; i++) crc = crc16Step(crc, data[i]);
        p = escapeInto(p, static_cast<BYTE>(crc >> 8), t->lastHeaderChar, escaped);
        p = escapeInto(p, static_cast<BYTE>(crc), t->lastHeaderChar, escaped);
    }
    sendRaw(port, out, static_cast<LONG>(p - out));
}

void sendDataSubpacket(LONG port, LONG length, LONG end) {
    TransferRecord *t = transferRecord(port);
    if (!t) return;
    if (length < 0) length = 0;
    if (length > kMaxSubpacket) length = kMaxSubpacket;
    // Worst case: every data byte and every CRC byte escaped, plus the end
    // and XON: 2 * 1024 + 2 + 8 + 1 bytes, within sendBuffer.
    BYTE *p = t->sendBuffer;
    BYTE last = t->lastDataChar;
    const auto &escaped = escapeTable(port);
    const BYTE *d = t->dataBuffer;
    if (t->useCrc32) {
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
    t->lastDataChar = last;
    t->sendPointer = p;
    t->sendCount = static_cast<LONG>(p - t->sendBuffer);
    sendRaw(port, t->sendBuffer, t->sendCount);
}

// ---- readers ------------------------------------------------------------------

LONG readChar7(LONG port) {
    TransferRecord *t = transferRecord(port);
    const LONG seconds = t ? t->charTimeout : 10;
    for (;;) {
        LONG c = readLineByte(port, seconds);
        if (c < 0) return c;
        c &= 0x7F;
        if (c != XON && c != XOFF) return c;
    }
}

LONG readHexByte(LONG port) {
    LONG value = 0;
    for (int i = 0; i < 2; i++) {
        LONG c = readChar7(port);
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

LONG readEscaped(LONG port) {
    TransferRecord *t = transferRecord(port);
    const LONG seconds = t ? t->charTimeout : 10;
    LONG c;
    for (;;) {
        c = readLineByte(port, seconds);
        if (c < 0 || (c & 0x60)) return c;
        if (c == XON || c == XOFF || c == 145 || c == 147) continue;
        if (c != ZDLE) return c;
        break;
    }
    for (;;) {
        c = readLineByte(port, seconds);
        if (c < 0) return c;
        for (int more = 0; c == CAN && more < 3; more++) {
            c = readLineByte(port, seconds);
            if (c < 0) return c;
        }
        switch (c) {
        case CAN: return GOTCAN;
        case XON:
        case XOFF:
        case 145:
        case 147: continue; // the byte after ZDLE is still to come
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

LONG readHeader(LONG port, BYTE *destination) {
    TransferRecord *t = transferRecord(port);
    if (!t) return kReadError;
    t->headerType = 0;
    LONG garbage = 9600;
    auto cancelExit = [&]() -> LONG {
        t->resultCode = kResultRemoteCancel;
        Func005(port);
        return ZCAN;
    };
    for (;;) { // a pass
        LONG cans = 5;
        bool isGarbage = false;
        while (!isGarbage) {
            if (stopRequested(t)) return cancelExit();
            if (carrierLost(port)) {
                t->resultCode = kResultCarrierLost;
                return kReadTimeout;
            }
            LONG c = kReadTimeout;
            const LONG waits = t->headerWaits > 0 ? t->headerWaits : 1;
            for (LONG i = 0; i < waits; i++) {
                c = readLineByte(port, 5);
                if (c >= 0) break;
                pollCallback(port);
                if (stopRequested(t)) return cancelExit();
            }
            if (c < 0) return kReadTimeout;

            bool format = false;
            if (c == ZPAD || c == (ZPAD | 0x80)) {
                do c = readChar7(port);
                while (c == ZPAD);
                if (c < 0) return kReadTimeout;
                if (c != ZDLE) {
                    isGarbage = true;
                    break;
                }
                t->keyedHeaders = 0;
                c = readChar7(port);
                if (c < 0) return kReadTimeout;
                if (c == CAN) {
                    cans = 5; // and counted as a CAN below
                } else {
                    format = true;
                }
            }
            if (format) {
                bool hex = false;
                switch (c) {
                case 'A': t->useCrc32 = 0; t->variableHeaders = 0; break;
                case 'B': t->variableHeaders = 0; hex = true; break;
                case 'C': t->useCrc32 = 1; t->variableHeaders = 0; break;
                case 'a': t->useCrc32 = 0; t->variableHeaders = 1; break;
                case 'b': t->variableHeaders = 1; hex = true; break;
                case 'c': t->useCrc32 = 1; t->variableHeaders = 1; break;
                case '3': t->useCrc32 = 1; t->variableHeaders = 1; t->keyedHeaders = 1; break;
                default: isGarbage = true; continue;
                }
                LONG r = readHeaderBody(port, t, destination, hex);
                t->peerPosition = headerPosition(destination);
                return r;
            }
            if (c == CAN) {
                if (--cans == 0) return ZCAN;
                LONG d = readLineByte(port, 5);
                if (d < 0) continue; // back to the cancel test, keeping the count
                if (d == CAN) {
                    if (--cans == 0) return ZCAN;
                    continue;
                }
                if (d == 'k') return kReadError;
            }
            isGarbage = true;
        }
        if (--garbage <= 0) return kReadError;
    }
}

namespace {

LONG readHeaderBody(LONG port, TransferRecord *t, BYTE *destination, bool hex) {
    auto next = [&]() { return hex ? readHexByte(port) : readEscaped(port); };
    t->headerLength = 4;
    if (t->variableHeaders) {
        LONG n = next();
        if (n < 0 || n > 255) return n;
        // rxHeader and txHeader hold 20 bytes: a longer header is refused
        // before any of it is stored.
        if (n > 20) return kReadError;
        t->headerLength = n;
    }
    const LONG n = t->headerLength;
    LONG type = next();
    if (type < 0 || type > 255) return type;
    t->headerType = type;
    BYTE data[20] = {};
    if (!hex && t->useCrc32) {
        uint32_t crc = crc32Step(0xFFFFFFFFu, static_cast<BYTE>(type));
        for (LONG i = 0; i < n; i++) {
            LONG c = next();
            if (c < 0 || c > 255) return c;
            data[i] = static_cast<BYTE>(c);
            crc = crc32Step(crc, data[i]);
        }
        if (t->keyedHeaders && keyedType(type))
            for (const char *s = headerSecret(); *s; s++) crc = crc32Step(crc, static_cast<BYTE>(*s));
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
        LONG c = readLineByte(port, 10);
        if (c == '\r') {
            c = readLineByte(port, 10);
            if (c == '\r') readLineByte(port, 10);
        }
    }
    return type;
}

} // namespace

LONG readSubpacket(LONG port, BYTE *buffer, LONG maximum) {
    TransferRecord *t = transferRecord(port);
    if (!t) return kReadError;
    const bool crc32 = t->useCrc32 != 0;
    uint32_t crc = crc32 ? 0xFFFFFFFFu : 0;
    t->lastDataCount = 0;
    LONG count = 0;
    LineInput *in = lineInput(port);
    LONG c;
    for (;;) {
        // Plain data bytes straight from the input block.
        if (in && in->pos < in->count) {
            const BYTE *p = in->bytes + in->pos;
            const BYTE *end = in->bytes + in->count;
            while (p < end && (*p & 0x60)) {
                if (count >= maximum) {
                    in->pos = static_cast<LONG>(p - in->bytes);
                    countError(port, kStatusBadFilePosition);
                    return kReadError;
                }
                const BYTE b = *p++;
                buffer[count++] = b;
                crc = crc32 ? crc32Step(crc, b) : crc16Step(static_cast<uint16_t>(crc), b);
            }
            in->pos = static_cast<LONG>(p - in->bytes);
            if (p == end) continue;
        }
        c = readEscaped(port);
        if (c < 0 || c > 255) break;
        if (count >= maximum) {
            countError(port, kStatusBadFilePosition);
            return kReadError;
        }
        buffer[count++] = static_cast<BYTE>(c);
        crc = crc32 ? crc32Step(crc, static_cast<BYTE>(c)) : crc16Step(static_cast<uint16_t>(crc), static_cast<BYTE>(c));
    }
    auto nonData = [&](LONG code) -> LONG {
        if (code == GOTCAN) {
            countError(port, kStatusSenderCanceled);
            return ZCAN;
        }
        if (code == kReadTimeout) {
            countError(port, kStatusTimeOut);
            return kReadError;
        }
        countError(port, kStatusUnknownError);
        discardInput(port);
        return kReadError;
    };
    if (c < GOTCRCE || c > GOTCRCW) return nonData(c);
    const LONG endCode = c;
    const BYTE letter = static_cast<BYTE>(c - 256);
    if (crc32) {
        crc = crc32Step(crc, letter);
        for (int i = 0; i < 4; i++) {
            LONG b = readEscaped(port);
            if (b < 0 || b > 255) return nonData(b);
            crc = crc32Step(crc, static_cast<BYTE>(b));
        }
        if (crc != kCrc32Residue) {
            countError(port, kStatusCrcError);
            return kReadError;
        }
    } else {
        uint16_t c16 = crc16Step(static_cast<uint16_t>(crc), letter);
        for (int i = 0; i < 2; i++) {
            LONG b = readEscaped(port);
            if (b < 0 || b > 255) return nonData(b);
            c16 = crc16Step(c16, static_cast<BYTE>(b));
        }
        if (c16 != 0) {
            countError(port, kStatusCrcError);
            return kReadError;
        }
    }
    t->lastDataCount = count;
    return endCode;
}

} // namespace vorlex
