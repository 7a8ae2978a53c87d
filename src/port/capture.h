// The per-port capture buffer: bytes gathered in memory and appended to the
// port's capture file when the buffer is nearly full, when the file name
// changes and when capture ends. The record belongs to the port number's
// session but not to an open port: capture may run without one.
#pragma once

#include "port/port.h"

namespace vorlex {

constexpr DWORD kCaptureBufferSize = 65024;
// Written out at one byte short of the buffer's size.
constexpr DWORD kCaptureFlushCount = 65023;
constexpr size_t kCaptureNameSize = 256;

struct CaptureRecord {
    BYTE captureBuffer[kCaptureBufferSize];
    HGLOBAL captureMemory;
    BYTE *captureWrite;              // next free byte in captureBuffer
    char captureFile[kCaptureNameSize]; // empty: the default "TERM%d.CAP"
    DWORD captureCount;
    LONG captureEnabled;             // 1 while the interpreter is to capture
};

// Appends what the buffer holds to the capture file. When the file cannot be
// opened the bytes stay for the next attempt. Nothing for a port without capture.
void flushCapture(LONG port);

// Whether the port has a capture record, and whether the interpreter is to
// append to it.
bool hasCapture(LONG port);
bool captureIsEnabled(LONG port);

// Capture on (an existing record stays as it is) and off (a last flush);
// the capture result codes.
LONG captureOn(LONG port);
LONG captureOff(LONG port);
// Flushes to the old file, then switches to the name (cut at 255).
void captureToFile(LONG port, LPCSTR fileName);
// Appends, flushing whenever the buffer is nearly full; nothing without a record.
void captureBytes(LONG port, const void *bytes, DWORD count);
void captureText(LONG port, const char *text);

} // namespace vorlex
