// The progress dialog (templates 125 and 126, class "ZmodemTransfer",
// Func109) as the engines and front-ends reach it.
//
// The dialog comes with the window system. Until then openProgressWindow
// fails, so no transfer ever has a progressWindow, and the field updates
// below are never reached with a window; they do nothing.
#pragma once

#include <vorlex.h>

namespace vorlex {

void setProgressText(HWND dialog, int control, LPCSTR text);
void setProgressNumber(HWND dialog, int control, LONG value, bool isSigned);
void setProgressRange(HWND bar, DWORD top);
void setProgressBar(HWND bar, DWORD position);

// The top-level ancestor of the owner, disabled during a transfer.
void disableOwnerWindow(HWND owner);
void enableOwnerWindow(HWND owner);

} // namespace vorlex
