// The transfer table and transfer record that every protocol engine runs
// on, the status texts, the reporting operations (progress window and the
// application's callback), the tick wait, and the worker thread.
#pragma once

#include "port/port_api.h"

#include <atomic>
#include <cstdint>

namespace vorlex {

// Transfer result codes (resultCode), common to all protocols.
enum : LONG {
    kResultCannotOpen = 1,     // the file could not be opened (also: a refused received name)
    kResultRemoteCancel = 2,   // the remote end cancelled or refused, too many errors, or (receiver) the user cancelled
    kResultCancelled = 3,      // the user cancelled, or (receiver) the sender cancelled
    kResultNoAnswer = 4,       // no answer from the remote end
    kResultCarrierLost = 5,
    kResultWriteFailed = 6,    // writing to the file failed
    kResultBlockErrors = 7,    // block protocols: a block sent more than 10 times, or a bad block while streaming
};

// Indexes into statusTexts; the callback receives index + 2.
enum : LONG {
    kStatusTransferCanceled = 0,
    kStatusReceiverCanceled = 1,
    kStatusTimeOut = 2,
    kStatusUnknownError = 3,
    kStatusCrcError = 4,
    kStatusSenderCanceled = 5,
    kStatusLongPacket = 6,
    kStatusTooManyErrors = 7,
    kStatusBadFilePosition = 8,
    kStatusCouldNotOpen = 9,
    kStatusWaitingForReceiver = 10,
    kStatusSendingZrqinit = 11,
    kStatusSendingFilename = 12,
    kStatusSendingFile = 13,
    kStatusWaitingForFilename = 14,
    kStatusReceivingFile = 15,
    kStatusLostCarrier = 16,
    kStatusRetransmitting = 17,
    kStatusCompleted = 18,
    kStatusBadBlock = 19,
    kStatusChecksumError = 20,
    kStatusWriteError = 21,
    kStatusNoResponseToNak = 22,
};
constexpr int kStatusCount = 23;
extern const char *const statusTexts[kStatusCount];

// Jobs of the worker thread (jobKind).
enum : LONG {
    kJobZmodemReceivePathList = 1, // receiveZmodemFiles(pathList)
    kJobZmodemReceiveJobName = 2,  // receiveZmodemFiles(jobName)
    kJobZmodemSend = 3,            // sendZmodemFile(jobName, jobIndex)
    kJobBlockReceive = 4,          // receiveBlocks/receiveAscii(pathList, jobName)
    kJobBlockReceiveInto = 5,      // receiveBlocks/receiveAscii(jobName, pathList)
    kJobBlockSend = 6,             // sendBlocks(jobName), or sendAscii when protocol is 0
};

// The front-end's end message, posted by the worker when its job is done
// and by the progress window when it is destroyed.
constexpr UINT kTransferDoneMessage = WM_USER + 53; // 0x0435

// The progress window's controls.
enum : int {
    kControlFileName = 1000,
    kControlFileSize = 1001,
    kControlBytes = 1002,
    kControlProgressBar = 1003,
    kControlCps = 1004,
    kControlErrors = 1005,
    kControlStatus = 1006,
};
// Dialog templates of the progress window.
constexpr int kTemplateReceive = 125;
constexpr int kTemplateSend = 126;

// The size of the block every transfer record is taken from.
constexpr SIZE_T kTransferRecordBytes = 8224;

// Zmodem's state for the length of a job: frame state, header buffers,
// the bulk input block, the escape choice and the receiver's file output.
struct LineInput;
struct FileOutput;
struct ZmodemLink {
    DWORD peerBufferSize;             // receiver's buffer length, 0 = no limit
    LONG headerType;                  // type of the last header read
    LONG variableHeaders;
    LONG headerLength;
    LONG keyedHeaders;
    LONG lastDataCount;
    LONG useCrc32;
    LONG charTimeout;                 // seconds for each further character
    LONG headerWaits;
    DWORD headerMs;                   // each of those waits (5 s when 0)
    LONG conversion;                  // receiver: ZF0 of ZFILE
    DWORD peerPosition;               // the position of the last header read
    BYTE sendBuffer[2176];
    BYTE *sendPointer;
    LONG sendCount;
    BYTE lastHeaderChar;
    BYTE lastDataChar;
    BYTE rxHeader[20];
    BYTE txHeader[20];
    char attention[34];
    LONG escapeControls;              // the receiver asked for ESCCTL
    LineInput *input;                 // bulk reads while the receiver runs
    FileOutput *output;               // received data held for large writes
};

// Xmodem and Ymodem.
struct BlockLink {
    LONG useCrc16;
    LONG blockSize;
    LONG batchMode;
    LONG streaming;
};

// One per port while a transfer runs. Sizes and positions are unsigned
// 32-bit: files up to 4 GiB - 1 are handled, larger ones are refused before
// anything is sent. Fields shared between the front-end's thread and the
// worker thread are single words, each written by one side.
struct TransferRecord {
    std::atomic<HWND> progressWindow; // null when none is shown, or after it was destroyed
    HGLOBAL memoryHandle;             // the record's own block
    HANDLE fileHandle;                // INVALID_HANDLE_VALUE when no file is open
    LONG resultCode;
    std::atomic<LONG> cancelled;      // the user cancelled
    std::atomic<LONG> aborted;        // set with cancelled; also the callback's last result
    std::atomic<LONG> windowReady;
    LONG errorCount;                  // errors counted for the current file
    LONG protocol;
    LONG resume;
    LONG textMode;
    DWORD fileSize;
    DWORD fileTime;                   // seconds since 1 January 1970
    DWORD sendPosition;               // sender: where the file is read next
    DWORD filePosition;               // receiver: bytes of the file held
    DWORD startTicks;                 // tick count when the data phase began
    // The callback block.
    char reportName[256];
    DWORD reportNameLength;
    LPCSTR reportNamePointer;
    DWORD reportFileSize;
    DWORD reportBytes;
    DWORD reportCps;
    DWORD reportErrors;
    LONG reportStatus;                // 1 when a new file starts, else status index + 2
    char pathList[2560];
    char filePath[256];
    BYTE dataBuffer[2176];            // a subpacket, a block, or a piece of an ASCII file
    std::atomic<HWND> progressBar;
    DWORD progressScale;
    std::atomic<HANDLE> threadHandle; // the worker while it runs; cleared by it as its last act
    LONG threadResult;
    LONG jobKind;
    LPCSTR jobName;
    LONG jobIndex;
    LONG showWindow;                  // a progress window is used
    // The protocol family's link.
    ZmodemLink zmodem;
    BlockLink blocks;
};
static_assert(sizeof(TransferRecord) <= kTransferRecordBytes, "the record must fit its block");

// --- the common sequence of the front-ends ---------------------------------

// What a front-end returns when it cannot start.
struct StartRefusals {
    LONG badPort; // port out of range or not open
    LONG busy;    // a transfer already runs on the port: it is left alone
    LONG noMemory;
};
// The start every front-end shares: the port taken for the transfer, the
// record made (zero-filled: fileHandle none, reportNamePointer at
// reportName, showWindow unless the port's noProgressWindow option is set),
// the owner's top-level window disabled. The record, or null with *refusal
// set. A receiver's sender may be waiting already: tellSender sends it the
// cancel sequence when no record can be made.
TransferRecord *startTransfer(Session &s, HWND owner, const StartRefusals &refusals, bool tellSender, LONG *refusal);
// Frees the record and empties the slot; closes a file left open. The
// worker thread must have ended.
void freeTransferRecord(Session &s);
// Shows the progress window (template kTemplateSend or kTemplateReceive,
// owned by owner, titled title when it is not null) and dispatches
// messages until it is ready. False when it cannot be made.
bool openProgressWindow(Session &s, HWND owner, int templateId, LPCSTR title);
// Closes the progress window unless the user did so already.
void closeProgressWindow(Session &s);
// The clean-up of every front-end, in its order: the owner's window
// enabled and the port given back, the progress window closed, the record
// freed (a file left open closed), the focus given back to the owner.
void endTransfer(Session &s, HWND owner);
// Runs the job of jobKind: on the worker thread when showWindow is set
// (waiting for it while dispatching messages), else on the caller's thread.
// The job's result.
LONG runTransferJob(Session &s);

// --- reporting operations, used by every engine ----------------------------

void reportStatusText(Session &s, LONG index, LONG errors);
void countError(Session &s, LONG index);            // errorCount + 1, then reportStatusText
void reportProgress(Session &s, DWORD bytes);
void announceFile(Session &s, LPCSTR name);         // name may be null
void pollCallback(Session &s);
void startClock(Session &s);
// Waits ticks of 56 ms while dispatching messages; unless force is set,
// nothing is done once the user cancelled, or when the window is gone.
// 1 when the wait was interrupted (also by a close of the port).
LONG waitTicks(Session &s, LONG ticks, bool force);
// Both cancel flags, as Cancel in the progress window sets them (a close
// of the port sets them too).
inline bool stopRequested(const TransferRecord *t) { return t->cancelled || t->aborted; }
// The transfer's progress window, or null.
inline HWND progressWindowOf(Session &s) { return s.transfer.load()->progressWindow.load(); }

// --- the worker thread ----------------------------------------------------

// The job of jobKind on the calling thread; kinds outside 1..6 run nothing (0).
LONG runJob(Session &s);

// --- engines ---------------------------------------------------------------

// Zmodem (defined with the Zmodem engines): jobs 1 to 3.
LONG sendZmodemFile(Session &s, LPCSTR name, LONG index);
LONG receiveZmodemFiles(Session &s, LPCSTR directory);
// Xmodem, Ymodem and ASCII (blocks.h): jobs 4 to 6.
LONG sendBlocks(Session &s, LPCSTR name);
LONG receiveBlocks(Session &s, LPCSTR directory, LPCSTR name);
LONG sendAscii(Session &s);
LONG receiveAscii(Session &s, LPCSTR directory, LPCSTR name);

} // namespace vorlex
