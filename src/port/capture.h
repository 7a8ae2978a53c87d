// The per-port capture buffer: bytes gathered in memory and appended to the
// port's capture file when the buffer is nearly full, when the file name
// changes and when capture ends. The debug trace and the terminal write
// through the exports Func067, Func068, Func072, Func004 and Func087.
#pragma once

#include <windows.h>

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

} // namespace vorlex
