// The port record and the port's session: what the library keeps for one
// port number, who may touch it, and for how long.
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
    std::atomic<LONG> transferActive;
    LONG showFileErrors;
    // Set when the port closes: every wait on the port wakes and gives up.
    HANDLE stopEvent;
};

struct CaptureRecord;
struct TransferRecord;
struct TerminalRecord;

// Who reads the port's received bytes now. The application reads whenever
// it likes; a transfer takes the port for its length (the terminal's comm
// event thread stands aside meanwhile) and gives it back; the terminal's
// thread reads only while the port is its own.
enum class Reader : LONG { application = 0, transfer = 1, terminal = 2 };

// Everything the library keeps for one port number. The block itself is
// never freed; the records in it come and go: the port record from open to
// close, the capture record from capture on to capture off (with or without
// an open port), the transfer record for the length of a transfer.
struct Session {
    LONG port;
    std::atomic<PortRecord *> record;
    std::atomic<CaptureRecord *> capture;
    std::atomic<TransferRecord *> transfer;
    std::atomic<HWND> progressDialog;
    // Who reads the port now, and the reader to give it back to.
    std::atomic<Reader> reader;
    Reader readerBefore;
    // Operations under way on the port (holds), and the open state.
    std::atomic<LONG> holds;
    std::atomic<LONG> state;
    bool closeDevice; // the close of the device is left to the last hold
    // The terminal on the port (touched on its windows' thread only), and
    // its open flag: set from a successful creation until the client window
    // goes, whatever the pointer holds.
    std::atomic<TerminalRecord *> terminal;
    std::atomic<LONG> terminalOpen;
    // Set whenever the port is given back to its reader after a transfer, so
    // that a comm event thread that stood aside wakes (auto-reset; made by
    // the terminal's reception, closed never: the session block stays).
    std::atomic<HANDLE> readerReturned;

    PortRecord &rec() const { return *record.load(std::memory_order_relaxed); }
    HANDLE handle() const { return rec().portHandle; }
    bool closing() const;
};

// The session block of a port number in 0..254.
extern Session g_sessions[kPortCount];
inline Session &sessionAt(LONG port) { return g_sessions[port]; }
inline bool validPort(LONG port) { return port >= 0 && port < kPortCount; }

// The record of an open port without holding it: only for reports of the
// program and for tests, on a thread where nothing closes the port.
inline PortRecord *portRecord(LONG port) { return validPort(port) ? sessionAt(port).record.load() : nullptr; }

// A running operation on an open port. While one exists the port record
// stays: a close stops the work, waits for it to leave and frees last.
enum : LONG { kSessionFree = 0, kSessionOpen = 1, kSessionClosed = 4 };

class PortHold {
public:
    PortHold() = default;
    // Empty for a bad, closed or closing port. Inline: the one-byte reads
    // and writes pay two atomic operations for it, nothing more.
    explicit PortHold(LONG port) {
        if (!validPort(port)) return;
        Session &s = sessionAt(port);
        s.holds.fetch_add(1);
        if (s.state.load() == kSessionOpen)
            s_ = &s;
        else
            refuse(s);
    }
    PortHold(const PortHold &) = delete;
    PortHold &operator=(const PortHold &) = delete;
    PortHold(PortHold &&o) noexcept : s_(o.s_), nesting_(o.nesting_) { o.s_ = nullptr; }
    ~PortHold() {
        if (s_) letGo();
    }
    explicit operator bool() const { return s_ != nullptr; }
    Session &operator*() const { return *s_; }
    Session *operator->() const { return s_; }
    PortRecord &rec() const { return s_->rec(); }
    // Before anything that may run the application's code (a message loop,
    // a callback, a dialog): a close from there then does not wait for this
    // hold, which it sits on, and leaves the freeing to it.
    void allowNesting();

private:
    void letGo();
    static void refuse(Session &s);
    Session *s_ = nullptr;
    bool nesting_ = false;
};

// Opening: puts a new record into the port's session. 0, or the open
// result code (bad port, already open, no memory).
LONG installPortRecord(LONG port, PortRecord **out);
// Makes an installed record visible to the exports.
void publishPortRecord(LONG port);
// Undoes installPortRecord for an open that failed half way.
void discardPortRecord(LONG port);
// Closing: stops what runs on the port (a transfer as by its Cancel, with
// the cancel sequence; a blocked read), waits for other threads to leave,
// closes the device unless keepDevice, and frees the record, at once or,
// when this thread still holds the port further up, when it lets go.
// False when the device handle would not close.
bool closeSession(Session &s, bool keepDevice);

// The Win32 error of the last open whose CreateFileA failed.
extern std::atomic<DWORD> lastOpenError;

// Adds the counted error bits of a ClearCommError word to the record.
void countCommErrors(PortRecord &r, DWORD errors);
// ClearCommError on the port, counting its errors; false when it failed.
bool clearErrors(PortRecord &r, COMSTAT *stat);
// Takes the thread's messages; 1 when the wait must end (WM_QUIT, or
// WM_CLOSE/WM_DESTROY of the given window), which is posted again.
LONG pumpMessages(HWND window);
// Waits ticks of 56 ms while dispatching messages; 1 when the pump ended
// the wait or the stop event, when given, was set.
LONG tickWait(HWND window, LONG ticks, HANDLE stop = nullptr);

// Where the pattern first occurs in the text, ignoring the case of ASCII
// letters: its 1-based position, or 0.
LONG findText(LPCSTR text, LPCSTR pattern);
// The library's formatted message box (all of its boxes go through it).
int messageBox(HWND owner, LPCSTR caption, UINT style, LPCSTR format, ...);

} // namespace vorlex
