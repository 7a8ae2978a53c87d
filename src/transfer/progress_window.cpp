// The progress dialog. It is not built yet: it needs windows, dialogs and
// controls, which come with the window system. openProgressWindow
// therefore refuses, and a front-end asked for a progress window ends with
// its failure result instead of running without one.
#include "progress_window.h"
#include "transfer.h"

namespace vorlex {

bool openProgressWindow(LONG port, HWND owner, int templateId, LPCSTR title) { return false; }

void closeProgressWindow(LONG port) {
    TransferRecord *t = transferRecord(port);
    if (!t || !t->showWindow || t->cancelled) return;
    t->progressWindow.store(nullptr);
}

// Not reached while no dialog can be opened (see above).
void setProgressText(HWND, int, LPCSTR) {}
void setProgressNumber(HWND, int, LONG, bool) {}
void setProgressRange(HWND, DWORD) {}
void setProgressBar(HWND, DWORD) {}

// Owner windows exist only with the window system.
void disableOwnerWindow(HWND) {}
void enableOwnerWindow(HWND) {}

} // namespace vorlex
