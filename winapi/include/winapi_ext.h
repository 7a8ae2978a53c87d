/* Extensions of the POSIX layer that Win32 does not have: in-process
   null-modem pairs and adopted pseudo-terminals, the headless display (its
   size and snapshots) and input injected as a person would give it. Nothing
   here exists on Windows; programs use it to set up the devices they then
   open with CreateFileA, and tests use it to look at and drive windows. */
#ifndef WINAPI_EXT_H
#define WINAPI_EXT_H

#include "windows.h"

WINAPI_BEGIN_C

/* How the line between the two ends behaves. Zeroes give an ideal line:
   bytes cross at once, without loss. */
typedef struct WAPI_LINE_OPTIONS {
    DWORD bytesPerSecond;    /* each direction; 0 = no limit */
    DWORD latencyMs;         /* added to every byte's travel */
    DWORD bitErrorInterval;  /* on average one bit in this many is flipped; 0 = none */
    DWORD seed;              /* for the error pattern; 0 picks a fixed default */
} WAPI_LINE_OPTIONS;

/* Joins two names (for instance "COM5" and "COM6", or any other text) like
   a null-modem cable: DTR drives the peer's DSR and carrier detect, RTS the
   peer's CTS, a break the peer's break event. CreateFileA on either name
   (also as \\.\NAME) opens that end, exclusively. Names are compared without
   regard to case. options may be NULL. Fails with ERROR_ALREADY_EXISTS when
   a name is taken. */
WINAPI_VISIBLE BOOL WINAPI WapiCreateNullModemPair(LPCSTR nameA, LPCSTR nameB, const WAPI_LINE_OPTIONS *options);
/* Removes the pair that has this name; fails with ERROR_BUSY while an end is open. */
WINAPI_VISIBLE BOOL WINAPI WapiDestroyNullModemPair(LPCSTR name);
/* Changes the line of an existing pair. */
WINAPI_VISIBLE BOOL WINAPI WapiSetNullModemLine(LPCSTR name, const WAPI_LINE_OPTIONS *options);
/* Drives the ring indicator that the end with this name sees. */
WINAPI_VISIBLE BOOL WINAPI WapiSetNullModemRing(LPCSTR name, BOOL on);

/* Makes a pseudo-terminal pair: nameMaster opens the master side, nameSlave
   the slave side; bytes written to one are read from the other. Writes the
   slave's device path to slavePath (at least 64 bytes) when it is not NULL.
   Removed with WapiDestroyNullModemPair on either name. */
WINAPI_VISIBLE BOOL WINAPI WapiCreatePseudoTerminalPair(LPCSTR nameMaster, LPCSTR nameSlave, LPSTR slavePath);

/* The device path a COM name resolves to (VORLEX_COMDIR rule), or the
   registered name itself; returns the length written, 0 if it is no COM
   name and not registered. */
WINAPI_VISIBLE DWORD WINAPI WapiResolveCommName(LPCSTR name, LPSTR buffer, DWORD size);

/* The sound of the last MessageBeep (its uType), or 0xFFFFFFFF when none
   was made yet. MessageBeep rings the terminal bell only when standard
   error is a terminal. */
WINAPI_VISIBLE UINT WINAPI WapiLastMessageBeep(void);

/* ---- module resources ----------------------------------------------------------
   Windows keeps a module's resources (dialog templates, menus) in its image.
   Here a program hands them to the module: FindResourceA, LoadResource and
   LockResource then find them, and DialogBoxParamA, CreateDialogParamA and
   LoadMenuA use them, as on Windows. type and name are MAKEINTRESOURCEA
   numbers or texts (compared without regard to case); module NULL means the
   program. The data are not copied and must stay valid. A second resource
   of the same type and name replaces the first. FALSE with
   ERROR_INVALID_PARAMETER for a missing name, type or data. */
WINAPI_VISIBLE BOOL WINAPI WapiAddResource(HMODULE module, LPCSTR type, LPCSTR name, const void *data, DWORD size);

/* ---- message boxes -------------------------------------------------------------
   MessageBoxA shows a modal window, answered as on Windows (tests find it by
   its caption, a "#32770" window, and press its buttons). With the
   environment variable WAPI_MESSAGEBOX=console it writes "[caption] text"
   to standard error instead and returns at once with the default button,
   for programs that run without anyone to answer.
   On the headless display nobody can see a box, so it also writes
   "[caption] text" to standard error, and a box that no program has
   answered after 10 seconds (WAPI_MESSAGEBOX_TIMEOUT, in milliseconds)
   answers itself with its default button; WAPI_MESSAGEBOX=wait keeps it
   waiting for ever. With a presenter (a display people look at) boxes wait
   as on Windows. */

/* ---- the display -------------------------------------------------------------
   The display is headless: every top-level window draws into a framebuffer of
   its own and nothing is shown. The screen is 1024 x 768 unless the
   environment variable WAPI_SCREEN ("800x600") or WapiSetScreenSize says
   otherwise; GetSystemMetrics(SM_CXSCREEN/SM_CYSCREEN) and the desktop window
   report it. */

/* Changes the screen size (at least 320 x 200, at most 8192 x 8192). Windows
   already on the screen keep their places. FALSE for sizes out of range. */
WINAPI_VISIBLE BOOL WINAPI WapiSetScreenSize(int width, int height);

/* Saves a window as it was last drawn, with its frame and its child windows
   and with the caret where it is shown, as an 8-bit RGB PNG file. A child
   window is cut from its top-level window's picture. FALSE with
   ERROR_INVALID_WINDOW_HANDLE, or with the file error when it cannot be
   written. */
WINAPI_VISIBLE BOOL WINAPI WapiSnapshotWindow(HWND hwnd, LPCSTR path);
/* Saves the whole screen: the desktop and every visible top-level window in
   its stacking order, as a PNG file. */
WINAPI_VISIBLE BOOL WINAPI WapiSnapshotScreen(LPCSTR path);
/* The colour of one pixel of the screen as the snapshot would show it
   (windows composed, caret included); CLR_INVALID outside the screen. */
WINAPI_VISIBLE COLORREF WINAPI WapiGetScreenPixel(int x, int y);

/* ---- injected input -----------------------------------------------------------
   These calls act as the keyboard and mouse do: they update the key and
   button state that GetAsyncKeyState reports, and queue the input messages
   for the thread of the window that Windows would give them to, without
   waiting for that thread. They may be called from any thread. */

/* A key goes down (down TRUE) or up. The message goes to the focus window of
   the thread that owns hwnd, or, when that thread has no focus, to its active
   window as a WM_SYSKEYDOWN/WM_SYSKEYUP; hwnd NULL means the foreground
   window's thread. Alt held (or F10) makes system key messages, as on
   Windows. The key data carries the scan code of a US keyboard; the cursor
   block (arrows, Insert, Delete, Home, End, Page Up, Page Down), the right
   Ctrl and Alt keys, the keypad's Enter and Divide are extended keys. */
WINAPI_VISIBLE BOOL WINAPI WapiSendKey(HWND hwnd, UINT vk, BOOL down);
/* As WapiSendKey with KEYEVENTF_KEYUP and KEYEVENTF_EXTENDEDKEY flags and a
   scan code of its own (0: the key's usual one), e.g. for the Up arrow of
   the numeric keypad, which is Up without the extended flag. */
WINAPI_VISIBLE BOOL WINAPI WapiSendKeyEx(HWND hwnd, UINT vk, UINT scanCode, DWORD flags);
/* Types a text: each character as a key press and release with Shift where
   a US keyboard needs it; '\n' and '\r' are Enter, '\t' Tab, '\b' Backspace,
   0x1B Escape. Characters that no key makes are skipped. */
WINAPI_VISIBLE BOOL WINAPI WapiTypeText(HWND hwnd, LPCSTR text);
/* A mouse button (0 left, 1 right, 2 middle) goes down or up at (x, y) in
   hwnd's client coordinates (hwnd NULL: screen coordinates). The pointer
   moves there first. The message goes to the window that has the capture,
   else to the window under the point (a non-client message with its hit-test
   code when the point is on its frame, caption, menu bar or scroll bars);
   disabled windows get nothing. While a button is held, the mouse stays with
   the thread that got the press, so that a capture it takes on the press
   (scroll bars, menus, buttons, moving and sizing a window by its frame)
   also gets input given before that thread ran. */
WINAPI_VISIBLE BOOL WINAPI WapiMouseButton(HWND hwnd, int x, int y, UINT button, BOOL down);
/* Moves the pointer to (x, y), as above; a WM_MOUSEMOVE (or WM_NCMOUSEMOVE)
   goes to the window under it or with the capture. */
WINAPI_VISIBLE BOOL WINAPI WapiMouseMove(HWND hwnd, int x, int y);
/* A left click: button down and up at the same point. */
WINAPI_VISIBLE BOOL WINAPI WapiClick(HWND hwnd, int x, int y);
/* Waits until the thread that owns hwnd (hwnd NULL: every other thread that
   owns windows) has handled all the messages queued for it and waits for
   more in GetMessage, WaitMessage or MsgWaitForMultipleObjects, or until ms
   milliseconds passed. A thread busy elsewhere (in a long computation, or
   waiting in WaitForSingleObject) is not idle. WAIT_OBJECT_0 when idle, WAIT_TIMEOUT otherwise,
   WAIT_FAILED for a window that does not exist. */
WINAPI_VISIBLE DWORD WINAPI WapiWaitForIdle(HWND hwnd, DWORD ms);

WINAPI_END_C

#endif
