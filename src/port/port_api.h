// The port layer as the rest of the library uses it: named operations on a
// held session. The numbered exports are thin wrappers over these and keep
// the side effects documented for them (trace records, the renotify mark).
#pragma once

#include "port.h"

namespace vorlex {

// --- receiving -------------------------------------------------------------

// The next queued byte, or -1 when none is queued. Traced.
LONG readByte(Session &s);
// The next byte within the seconds given (messages dispatched meanwhile,
// the wait ending early when the pump or a close ends it), or
// VORLEX_WAIT_TIMEOUT. Traced; sets the renotify mark for the terminal.
LONG readByteWithin(Session &s, HWND window, LONG seconds);
// The same with the wait in milliseconds.
LONG readByteWithinMs(Session &s, HWND window, DWORD ms);
// Up to maximum queued bytes into buffer, NUL stored after them; the count.
// Traced.
LONG readQueued(Session &s, char *buffer, LONG maximum);
// Received bytes waiting in the receive queue (errors counted).
DWORD inputCount(Session &s);
void purgeInput(Session &s);
// Both queues, pending operations included.
void purgeAll(Session &s);

// --- transmitting ----------------------------------------------------------

// One byte; false when flow control held it for the whole write time-out.
// Traced unless a block trace is being written.
bool putByte(Session &s, BYTE byte);
// Bytes in one write, untraced: the count, negated when cut short.
LONG putBytes(Session &s, const void *bytes, LONG count);
// Bytes one at a time with one trace record: the count, negated when cut short.
LONG putEach(Session &s, const char *bytes, LONG count);
// The cancel sequence (ten CAN, ten backspaces) after a purge of both
// queues; 0 when a byte could not be sent.
LONG sendCancelSequence(Session &s);
// Bytes handed to the line and not sent yet.
DWORD outputCount(Session &s);
void purgeOutput(Session &s);
// Waits (at most timeoutMs, or until the queue stops shrinking for a
// second) until the transmit queue is empty, so that the last bytes reach
// the peer even when the port is closed right after.
void drainOutput(Session &s, DWORD timeoutMs);

// --- opening and settings (by port number where no session exists yet) ---

// Func041 and Func122: the open and close result codes.
LONG openPortDefault(LONG port, DWORD ownerId);
LONG closePort(LONG port, DWORD ownerId);
// Func034: the open result's text in a box.
int showOpenError(LONG code);
// Func001: 0, 2 refused, or GetCommState's error.
LONG setLine(Session &s, LONG baud, LONG parity, LONG dataBits, LONG stopBits);
// Func039: the line as set; 0, or 2 when the device cannot tell.
LONG readLine(Session &s, LineSettings *settings);
// Func077: receive events (EV_RXCHAR) on or off for the comm event thread; 0 or 1.
LONG setReceiveEvents(Session &s, bool on);

// --- lines -----------------------------------------------------------------

void setDtr(Session &s, bool on);
// Func055: DTR low, then a half-second pause that dispatches messages (a
// close ends it early); tickWait's result.
LONG dropDtrAndPause(LONG port);
// Func013: the Communications Errors dialog, modal to parent.
void showCommErrors(LONG port, HWND parent);

DWORD modemStatus(Session &s);
bool carrierPresent(Session &s);

// --- who reads the port ----------------------------------------------------

// A transfer takes the port: receive events pause (the terminal's thread
// stands aside), the debug trace skips the transfer's bytes. False when a
// transfer has it already.
bool takePortForTransfer(Session &s);
// Gives the port back to whoever had it before; receive events resume.
void givePortBack(Session &s);
// Receive events paused or resumed (the mask the comm event thread waits on).
void pauseReceiveEvents(Session &s, bool pause);

// --- trace -----------------------------------------------------------------

// Received text into the debug trace when it records received bytes.
void traceReceived(Session &s, const char *text);

} // namespace vorlex
