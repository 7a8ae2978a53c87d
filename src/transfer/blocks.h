// Xmodem and Ymodem: control bytes, the protocol table, and the parts of
// the block sender and receiver that the engines share.
#pragma once

#include "transfer.h"

namespace vorlex {

constexpr BYTE kSoh = 0x01;
constexpr BYTE kStx = 0x02;
constexpr BYTE kEot = 0x04;
constexpr BYTE kAck = 0x06;
constexpr BYTE kNak = 0x15;
constexpr BYTE kCan = 0x18;
constexpr BYTE kSub = 0x1A;
constexpr BYTE kAskCrc = 'C';
constexpr BYTE kAskStream = 'G';

// Protocol codes (protocol).
enum : LONG {
    kProtocolAscii = 0,
    kProtocolXmodem = 1,
    kProtocolXmodem1k = 2,
    kProtocolXmodem1kG = 3,
    kProtocolYmodem = 4,
    kProtocolYmodemG = 5,
};
// protocol, and the link's blockSize, batchMode and streaming for it; false above 5.
bool setupProtocol(TransferRecord *t, LONG protocol);

// Results of receiveBlock.
enum : LONG {
    kBlockShort = 1,      // 128 data bytes
    kBlockLong = 2,       // 1024 data bytes
    kBlockEnd = 4,        // EOT
    kBlockCancel = 24,    // two CAN: the sender cancelled
    kBlockBadNumber = -1,
    kBlockBadCheck = -2,
    kBlockNoCarrier = -3, // resultCode 5
    kBlockCancelled = -4, // cancelled here; resultCode 2
    kBlockStray = -5,     // a first byte that starts no block: the line needs to settle
    kBlockRepeated = -6,  // the previous block again (our ACK was lost); read whole
    kBlockTimeout = -10,
};
LONG receiveBlock(Session &s, LONG expected, bool repeatAllowed);

// Sender parts.
LONG waitForReceiver(Session &s);
LONG sendBlockZero(Session &s, LPCSTR name);
// Reads the next block's data into the block buffer, padded with SUB;
// 1 at the end of the file (nothing read), else 0.
LONG readBlockData(Session &s, LONG size);
// The file-name block's 128 bytes: the bare name, NUL, "%lu %lo", NUL.
// False when they do not fit.
bool buildNameBlock(BYTE *data, LPCSTR name, DWORD size, DWORD time);

// Shared checks of the engines.
bool carrierAbsent(Session &s);           // carrier detect is off and the port does not ignore it
LONG transferSeconds(Session &s);         // the port's transferTimeout, never below 60
// Reads and drops what arrives until the line has been quiet for a second
// (at most maxMs in all).
void waitForQuiet(Session &s, DWORD maxMs = 10000);

} // namespace vorlex
