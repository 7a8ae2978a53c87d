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

// Received bytes in bulk: while an input block is attached to a port, the
// readers take bytes from it and refill it with one read of everything
// queued, instead of one port call per byte. The receiver attaches one for
// the length of its call.
struct LineInput {
    BYTE bytes[4096 + 1]; // + the NUL that Func015 stores
    LONG pos;
    LONG count;
};
void attachLineInput(LONG port, LineInput *input);
void detachLineInput(LONG port);
// The next received byte within the seconds given (the progress window's
// messages are dispatched meanwhile), or -10.
LONG readLineByte(LONG port, LONG seconds);
// Received bytes are waiting (in the input block or the port).
bool inputWaiting(LONG port);
// Throws away what was received and not yet read.
void discardInput(LONG port);

// Positions in headers.
void storePosition(BYTE *header, DWORD position);
DWORD headerPosition(const BYTE *header);

// Escaping. A receiver may ask (ZRINIT flag ESCCTL) for every control
// character to be escaped, not only the ones the protocol needs.
constexpr BYTE kEscapeControls = 64;
void setEscapeControls(LONG port, bool on);
void sendEscapedByte(LONG port, BYTE byte);
void putDataByte(LONG port, BYTE byte);

// Headers and subpackets.
void sendHexHeader(LONG port, LONG type, const BYTE *data);
void sendBinaryHeader(LONG port, LONG type, const BYTE *data);
void sendDataSubpacket(LONG port, LONG length, LONG end);

// Readers.
LONG readChar7(LONG port);
LONG readHexByte(LONG port);
LONG readEscaped(LONG port);
LONG readHeader(LONG port, BYTE *destination);
LONG readSubpacket(LONG port, BYTE *buffer, LONG maximum);

// Carrier check as every wait makes it (ignoreCarrier respected).
bool carrierLost(LONG port);
// Sends the text as it stands.
void sendRaw(LONG port, const void *bytes, LONG count);

} // namespace vorlex
