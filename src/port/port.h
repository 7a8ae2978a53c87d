// The port table and port record, shared by the port layer and, through
// lookups by port number, by the terminal and the transfers.
#pragma once

#include <vorlex.h>

#include <atomic>

namespace vorlex {

constexpr LONG kPortCount = 255;
constexpr DWORD kTickMs = 56;

struct PortRecord {
    HGLOBAL recordMemory;
    DWORD ownerId;
    HANDLE portHandle;
    std::atomic<HANDLE> eventThread;
    std::atomic<LONG> eventThreadRun;
    OVERLAPPED writeOverlapped; // hEvent is the write event
    OVERLAPPED readOverlapped;  // hEvent is the read event
    DWORD inQueueSize;
    DWORD outQueueSize;
    LONG rtsCtsFlow;
    LONG xonXoffFlow;
    LONG dtrDsrFlow;
    DWORD ctsTimeouts;
    DWORD dsrTimeouts;
    DWORD overrunErrors;
    DWORD rxQueueOverruns;
    DWORD txQueueFull;
    LONG noProgressWindow;
    LONG resume;
    LONG fullPathNames;
    LONG textMode;
    LONG ignoreCarrier;
    LONG transferTimeout;
    VorlexProgressCallback progressCallback;
    std::atomic<LONG> renotify;
    LONG traceOn;
    LONG traceReceive;
    LONG traceTransmit;
    LONG traceBlock;
    LONG transferActive;
    LONG showFileErrors;
};

// The record of an open port, or null for a bad or closed port number.
PortRecord *portRecord(LONG port);
void setPortRecord(LONG port, PortRecord *r);
// The Win32 error of the last open whose CreateFileA failed.
extern std::atomic<DWORD> lastOpenError;

// Adds the counted error bits of a ClearCommError word to the record.
void countCommErrors(LONG port, DWORD errors);
// ClearCommError on the port, counting its errors; false when it failed.
bool clearErrors(LONG port, PortRecord *r, COMSTAT *stat);
// The queue counts of an open port (errors counted), false for a bad or closed one.
bool queueStatus(LONG port, COMSTAT &stat);
// Clears and counts the port's errors, then purges with the flags.
void clearAndPurge(LONG port, DWORD flags);
// Takes the thread's messages; 1 when the wait must end (WM_QUIT, or
// WM_CLOSE/WM_DESTROY of the given window), which is posted again.
LONG pumpMessages(HWND window);

// One read on the port's read block, completed as the receive exports do.
DWORD readBytes(PortRecord *r, void *buffer, DWORD count);
// Waits up to ms for one byte, dispatching messages; the byte (not traced),
// or -1 when none came. *interrupted tells whether the message pump ended
// the wait.
LONG waitForByte(LONG port, PortRecord *r, HWND window, DWORD ms, bool *interrupted);
// Appends received bytes to the debug trace when it records them.
void traceReceived(LONG port, PortRecord *r, const char *bytes);

} // namespace vorlex
