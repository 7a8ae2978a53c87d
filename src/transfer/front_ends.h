// Pieces shared by the transfer exports: the programmatic ones, which are
// given their files, and the interactive ones, which ask the user first.
#pragma once

#include "transfer.h"

namespace vorlex {

// --- Xmodem, Ymodem and ASCII -----------------------------------------------

// The progress window's titles ("Ymodem Send", "Xmodem Receive" ...).
LPCSTR blockSendTitle(LONG protocol);
LPCSTR blockReceiveTitle(LONG protocol);
// Opens the file to send (path null: it did not fit) and announces it: 0,
// or the result (1: cannot be opened, 3: the callback stopped the transfer
// at the announcement).
LONG openBlockFileToSend(Session &s, TransferRecord *t, LPCSTR path, LPCSTR name);
// The engine of jobKind on the worker thread with a progress window, else
// here; the engine's result (0 done).
LONG runBlockEngine(Session &s, TransferRecord *t, LONG jobKind, LPCSTR jobName);
// One file of a programmatic block upload (phase 0, 1, ...; -1 ends a
// Ymodem batch): Func069 on a held port.
LONG blockBatchFile(Session &s, HWND owner, LONG protocol, LPCSTR directory, LPCSTR fileName, LONG phase);
// After a failed file the receiver is cancelled or gone: no closing block.
bool blockBatchStillOpen(const TransferRecord *t);

// --- Zmodem -------------------------------------------------------------------

// One file of a Zmodem batch upload (index 0, 1, ...; -1 ends the batch):
// Func037 on a held port.
LONG zmodemBatchFile(Session &s, HWND window, LPCSTR directory, LPCSTR name, LONG index);
// The fields of an upload, set before its first file.
void setZmodemSendFields(Session &s, TransferRecord *t);
// Opens the file at path and sends it as file index of the batch, reported
// as name: 0, or the front-end result.
LONG sendZmodemPath(Session &s, LPCSTR path, LPCSTR name, LONG index);

} // namespace vorlex
