// Zmodem: frame layer (headers, subpackets, escaping, the header secret)
// shared by the sender and the receiver.
#pragma once

#include "transfer.h"

#include <cstdint>

namespace vorlex {

// Control characters on the wire.
constexpr BYTE ZPAD = '*';
constexpr BYTE ZDLE = 24;
constexpr BYTE XON = 17;
constexpr BYTE XOFF = 19;
constexpr BYTE CAN = 24;

// Frame types.
enum : LONG {
    ZRQINIT = 0, ZRINIT = 1, ZSINIT = 2, ZACK = 3, ZFILE = 4, ZSKIP = 5, ZNAK = 6, ZABORT = 7,
    ZFIN = 8, ZRPOS = 9, ZDATA = 10, ZEOF = 11, ZFERR = 12, ZCRC = 13, ZCHALLENGE = 14,
    ZCOMPL = 15, ZCAN = 16, ZFREECNT = 17, ZCOMMAND = 18, ZSTDERR = 19,
};

// Subpacket ends as the readers return them (256 + the letter).
enum : LONG {
    ZCRCE = 'h', ZCRCG = 'i', ZCRCQ = 'j', ZCRCW = 'k',
    GOTCRCE = 256 + 'h', GOTCRCG = 256 + 'i', GOTCRCQ = 256 + 'j', GOTCRCW = 256 + 'k',
    GOTCAN = 280,
};

// Reader results besides bytes.
constexpr LONG kReadError = -1;
constexpr LONG kReadTimeout = -10;

// Header data positions: a position is ZP0..ZP3 little-endian; flags are
// placed as the standard has them.
constexpr int ZP0 = 0, ZP1 = 1, ZP2 = 2, ZP3 = 3;
constexpr int ZF0 = 3, ZF1 = 2, ZF2 = 1, ZF3 = 0;

// Largest data subpacket.
constexpr int kMaxSubpacket = 1024;

// The header secret, built once (idempotent; later calls do nothing).
void prepareHeaderSecret();
// The secret text, built on first use if start-up has not built it.
const char *headerSecret();

// Received bytes in bulk: while an input block is attached to the link,
// the readers take bytes from it and refill it with one read of everything
// queued, instead of one port call per byte. The receiver attaches one for
// the length of its call.
struct LineInput {
    BYTE bytes[4096 + 1]; // + the NUL that readQueued stores
    LONG pos;
    LONG count;
};
// The Zmodem link of the session's transfer.
inline ZmodemLink &zmodemLink(Session &s) { return s.transfer.load()->zmodem; }
void attachLineInput(Session &s, LineInput *input);
void detachLineInput(Session &s);
// The next received byte within the seconds given (the progress window's
// messages are dispatched meanwhile), or -10.
LONG readLineByte(Session &s, LONG seconds);
LONG readLineByteMs(Session &s, DWORD ms);
// Received bytes are waiting (in the input block or the port).
bool inputWaiting(Session &s);
// Throws away what was received and not yet read.
void discardInput(Session &s);

// Positions in headers.
void storePosition(BYTE *header, DWORD position);
DWORD headerPosition(const BYTE *header);

// Escaping. A receiver may ask (ZRINIT flag ESCCTL) for every control
// character to be escaped, not only the ones the protocol needs.
constexpr BYTE kEscapeControls = 64;
void setEscapeControls(Session &s, bool on);
void sendEscapedByte(Session &s, BYTE byte);
void putDataByte(Session &s, BYTE byte);

// Headers and subpackets.
void sendHexHeader(Session &s, LONG type, const BYTE *data);
void sendBinaryHeader(Session &s, LONG type, const BYTE *data);
// dataBuffer's first length bytes with the end given.
void sendDataSubpacket(Session &s, LONG length, LONG end);

// Readers of single characters: the byte, or kReadError / kReadTimeout
// (readEscaped also GOTCAN and the GOTCRC ends).
LONG readChar7(Session &s);
LONG readHexByte(Session &s);
LONG readEscaped(Session &s);

// A header read: its type, or kReadError (garbage, a bad check),
// kReadTimeout (nothing came, or the carrier went: resultCode 5 then) or
// ZCAN (five CANs; also a stop, which sends the cancel sequence). The data
// go to the destination only when the header is whole; position is theirs
// (also left in peerPosition).
struct HeaderRead {
    LONG kind;
    DWORD position;
};
HeaderRead readHeader(Session &s, BYTE *destination);
// A data subpacket read into buffer: how it ended (GOTCRCE..GOTCRCW, ZCAN,
// or kReadError for a time-out, a bad check or one longer than maximum,
// the error counted) and its length (also left in lastDataCount).
struct SubpacketRead {
    LONG end;
    LONG length;
    bool good() const { return end >= GOTCRCE && end <= GOTCRCW; }
};
SubpacketRead readSubpacket(Session &s, BYTE *buffer, LONG maximum);

// Carrier check as every wait makes it (ignoreCarrier respected).
bool carrierLost(Session &s);
// Sends the text as it stands.
void sendRaw(Session &s, const void *bytes, LONG count);

} // namespace vorlex
