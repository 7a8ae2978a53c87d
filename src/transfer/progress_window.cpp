// The progress dialog: the class procedure of "ZmodemTransfer" (Func109),
// showing and closing the dialog, and the field updates of the reporting
// operations.
//
// The dialog is created without a dialog procedure; the class procedure
// does the work. The dialog knows its port by its user data (DWLP_USER),
// and acts on the port's transfer record only while that record still
// names it as its progress window: a dialog being closed at the end of a
// transfer, or one left from an earlier transfer, never touches the next.
#include "progress_window.h"

#include "services/startup.h"
#include "services/subsystems.h"
#include "services/window_utils.h"
#include "zmodem.h"

#include <commctrl.h>

namespace vorlex {

namespace {

// How long the front-end waits for the dialog to be painted before it goes
// on without (a window that is never drawn, e.g. on a hidden desktop).
constexpr DWORD kReadyWaitMs = 5000;

// The session's progressDialog is kept by the front-end's thread until the
// window is gone: the record forgets it as soon as the user closes it,
// while the window may live on until its WM_CLOSE is handled.

LONG portOf(HWND dialog) { return static_cast<LONG>(GetWindowLongPtrA(dialog, DWLP_USER)); }

TransferRecord *recordOf(HWND dialog) {
    const LONG port = portOf(dialog);
    TransferRecord *t = validPort(port) ? sessionAt(port).transfer.load() : nullptr;
    return t && t->progressWindow.load() == dialog ? t : nullptr;
}

// Centred on the parent (the owner), or on the screen when there is none.
void centre(HWND dialog) {
    HWND parent = GetParent(dialog);
    RECT p, w;
    if (!parent || !GetWindowRect(parent, &p)) GetWindowRect(GetDesktopWindow(), &p);
    GetWindowRect(dialog, &w);
    const LONG width = w.right - w.left, height = w.bottom - w.top;
    MoveWindow(dialog, p.left + (p.right - p.left - width) / 2, p.top + (p.bottom - p.top - height) / 2, width,
               height, FALSE);
}

void focusCancel(HWND dialog) {
    if (HWND cancel = GetDlgItem(dialog, IDCANCEL)) SetFocus(cancel);
}

} // namespace

void setProgressText(HWND dialog, int control, LPCSTR text) { SetDlgItemTextA(dialog, control, text); }

void setProgressNumber(HWND dialog, int control, LONG value, bool isSigned) {
    SetDlgItemInt(dialog, control, static_cast<UINT>(value), isSigned ? TRUE : FALSE);
}

void setProgressRange(HWND bar, DWORD top) {
    if (!bar) return;
    // A 16-bit range would wrap for files of 6,553,600 bytes or more.
    SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(top));
    SendMessageA(bar, PBM_SETSTEP, 1, 0);
}

void setProgressBar(HWND bar, DWORD position) {
    if (bar) SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void disableOwnerWindow(HWND owner) {
    if (HWND top = owner ? topLevelWindow(owner) : nullptr) EnableWindow(top, FALSE);
}

void enableOwnerWindow(HWND owner) {
    if (HWND top = owner ? topLevelWindow(owner) : nullptr) EnableWindow(top, TRUE);
}

void dispatchTransferMessage(Session &s, MSG *msg) {
    HWND dialog = s.progressDialog.load();
    // The end message wakes the loop; it is not handled by anyone.
    if (msg->message == kTransferDoneMessage && (!msg->hwnd || msg->hwnd == dialog)) return;
    if (dialog && IsWindow(dialog) && IsDialogMessageA(dialog, msg)) return;
    TranslateMessage(msg);
    DispatchMessageA(msg);
}

void discardEndMessages() {
    MSG msg;
    while (PeekMessageA(&msg, reinterpret_cast<HWND>(-1), kTransferDoneMessage, kTransferDoneMessage, PM_REMOVE)) {
    }
}

bool openProgressWindow(Session &s, HWND owner, int templateId, LPCSTR title) {
    TransferRecord *t = s.transfer.load();
    if (!t) return false;
    HWND dialog =
        CreateDialogParamA(libraryInstance, MAKEINTRESOURCEA(templateId), owner, nullptr, 0);
    if (!dialog) return false;
    SetWindowLongPtrA(dialog, DWLP_USER, static_cast<LONG_PTR>(s.port));
    if (title) SetWindowTextA(dialog, title);
    s.progressDialog.store(dialog);
    t->windowReady = 0;
    t->progressWindow.store(dialog);
    ShowWindow(dialog, SW_SHOW);
    SetFocus(dialog);

    // Ready once the Cancel button has been painted (WM_CTLCOLORBTN).
    const DWORD start = GetTickCount();
    bool quit = false;
    int quitCode = 0;
    while (!t->windowReady && IsWindow(dialog)) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(msg.wParam);
                break;
            }
            dispatchTransferMessage(s, &msg);
            continue;
        }
        const DWORD waited = GetTickCount() - start;
        if (waited >= kReadyWaitMs) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kReadyWaitMs - waited, QS_ALLINPUT);
    }
    if (!t->windowReady && t->progressWindow.load() == dialog) {
        t->progressBar.store(GetDlgItem(dialog, kControlProgressBar));
        t->windowReady = 1;
    }
    // The quit is for the application's loop; the transfer stops for it.
    if (quit) {
        t->cancelled = 1;
        t->aborted = 1;
        PostQuitMessage(quitCode);
    }
    return true;
}

void closeProgressWindow(Session &s) {
    HWND dialog = s.progressDialog.exchange(nullptr);
    // Forgotten first: closing it now is the end of the transfer, not a cancel.
    if (TransferRecord *t = s.transfer.load()) {
        t->progressWindow.store(nullptr);
        t->progressBar.store(nullptr);
    }
    if (dialog && IsWindow(dialog)) SendMessageA(dialog, WM_CLOSE, 0, 0);
    discardEndMessages();
}

void startTransfers(HINSTANCE instance) {
    // A failed registration is not reported: the progress windows then
    // fail when they are made.
    WNDCLASSA wc{};
    wc.lpfnWndProc = Func109;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "ZmodemTransfer";
    RegisterClassA(&wc);
    prepareHeaderSecret();
}

} // namespace vorlex

using namespace vorlex;

extern "C" LRESULT WINAPI Func109(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        centre(window);
        return 0;
    case WM_DESTROY:
        if (TransferRecord *t = recordOf(window)) {
            t->cancelled = 1;
            t->aborted = 1;
            t->progressWindow.store(nullptr);
            // Wakes the front-end, whose loop may be waiting for the worker.
            PostMessageA(nullptr, kTransferDoneMessage, 0, 0);
        }
        return 0;
    case WM_SETFOCUS:
        focusCancel(window);
        return 0;
    case WM_CHAR:
        if (wParam == VK_ESCAPE) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        return 0;
    case WM_COMMAND:
        // The fields only show values: the focus stays on Cancel.
        if (HIWORD(wParam) == EN_SETFOCUS) {
            focusCancel(window);
            return 0;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            if (TransferRecord *t = recordOf(window)) {
                // Stops the other end at once; the engine sees the flags at
                // its next check.
                if (PortHold h{portOf(window)}) {
                    sendCancelSequence(*h);
                    sendCancelSequence(*h);
                }
                t->cancelled = 1;
                t->aborted = 1;
            }
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_CTLCOLORBTN:
        if (GetDlgItem(window, IDCANCEL)) {
            if (TransferRecord *t = recordOf(window)) {
                t->progressBar.store(GetDlgItem(window, kControlProgressBar));
                t->windowReady = 1;
            }
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
