// The progress dialog (templates 125 and 126, class "ZmodemTransfer",
// Func109) as the engines and front-ends reach it.
//
// The dialog belongs to the front-end's thread; the worker thread writes
// its fields through the window calls, which Windows carries out on the
// dialog's thread while the front-end keeps dispatching.
#pragma once

#include "port/port.h"

namespace vorlex {

void setProgressText(HWND dialog, int control, LPCSTR text);
void setProgressNumber(HWND dialog, int control, LONG value, bool isSigned);
// Range 0..top with a step of 1. The range is 32-bit, so files of any size
// keep their true proportion.
void setProgressRange(HWND bar, DWORD top);
void setProgressBar(HWND bar, DWORD position);

// The top-level ancestor of the owner, disabled during a transfer.
void disableOwnerWindow(HWND owner);
void enableOwnerWindow(HWND owner);

// Dispatches one message of the front-end's thread, with the dialog's
// keyboard interface (Esc and Enter press Cancel) for the progress window.
void dispatchTransferMessage(Session &s, MSG *msg);
// Throws away end messages (1077) left in the calling thread's queue by a
// dialog that was destroyed; the application's own messages stay.
void discardEndMessages();

} // namespace vorlex
