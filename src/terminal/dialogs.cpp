// The terminal's dialogs: the protocol choice before a transfer, the line
// settings, the terminal type with its keyboard file; and the protocol list
// with the two exports that work on it.
#include "terminal/terminal.h"

#include "port/port_api.h"

#include "services/file_utils.h"
#include "services/window_utils.h"

#include <cstring>

namespace vorlex {

namespace {

constexpr const char *kProtocolNames[] = {"ASCII", "Xmodem", "Xmodem 1K", "Xmodem 1K-G", "Ymodem", "Ymodem-G", "Zmodem"};
constexpr LONG kProtocolCount = 7;

// Index = the baud code of the line settings.
constexpr const char *kBaudTexts[] = {"300", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
constexpr LONG kBauds[] = {300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr int kBaudCount = 9;

enum : int {
    kBaudList = 1016,
    kData7 = 1009,
    kData8 = 1010,
    kParityNone = 1011,
    kParityEven = 1012,
    kParityOdd = 1013,
    kStop1 = 1014,
    kStop2 = 1015,
    kProtocolList = 1008,
    kTypeCombo = 1024,
    kBrowseButton = 1025,
    kKeyboardFileEdit = 1026,
};

constexpr int kKeyboardFileTextMax = 250;

LONG dialogPort(HWND dialog) { return static_cast<LONG>(GetWindowLongPtrA(dialog, DWLP_USER)); }

void centreOnParent(HWND dialog) {
    HWND parent = GetParent(dialog);
    centreOver(parent ? parent : GetDesktopWindow(), dialog);
}

bool checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// Copies a caller's text into a record field, cut at the field's size.
template <size_t N>
void copyBounded(char (&field)[N], LPCSTR text) {
    size_t n = 0;
    if (text)
        for (; n < N - 1 && text[n]; n++) field[n] = text[n];
    field[n] = '\0';
}

void initSessionParameters(HWND dialog, LONG port) {
    SetWindowLongPtrA(dialog, DWLP_USER, port);
    centreOnParent(dialog);
    HWND list = GetDlgItem(dialog, kBaudList);
    for (const char *text : kBaudTexts) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    LineSettings s{};
    PortHold h(port);
    if (!h || readLine(*h, &s) != 0) s = LineSettings{0, 0, 8, 1, 0};
    SendMessageA(list, LB_SETCURSEL, s.baudCode < kBaudCount ? s.baudCode : 0, 0);
    CheckDlgButton(dialog, s.dataBits == 8 ? kData8 : kData7, BST_CHECKED);
    CheckDlgButton(dialog, s.stopBits == 1 ? kStop1 : kStop2, BST_CHECKED);
    CheckDlgButton(dialog, s.parity == 0 ? kParityNone : s.parity == 1 ? kParityOdd : kParityEven, BST_CHECKED);
}

void applySessionParameters(HWND dialog) {
    const LRESULT selected = SendDlgItemMessageA(dialog, kBaudList, LB_GETCURSEL, 0, 0);
    const LONG baud = selected >= 0 && selected < kBaudCount ? kBauds[selected] : 0;
    const LONG dataBits = checked(dialog, kData8) ? 8 : 7;
    const LONG stopBits = checked(dialog, kStop1) ? 1 : 2;
    const LONG parity = checked(dialog, kParityNone) ? 0 : checked(dialog, kParityOdd) ? 1 : 2;
    if (PortHold h{dialogPort(dialog)}) setLine(*h, baud, parity, dataBits, stopBits); // a refusal is not shown
}

// Types 0 and 1 send no mapped keys: no keyboard file to choose.
void enableKeyboardFile(HWND dialog, LRESULT type) {
    const BOOL on = type != 0 && type != 1;
    EnableWindow(GetDlgItem(dialog, kKeyboardFileEdit), on);
    EnableWindow(GetDlgItem(dialog, kBrowseButton), on);
}

void initTerminalType(HWND dialog, LONG port) {
    SetWindowLongPtrA(dialog, DWLP_USER, port);
    centreOnParent(dialog);
    HWND combo = GetDlgItem(dialog, kTypeCombo);
    for (LONG type = 0; type <= 5; type++)
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(terminalTypeName(type)));
    TerminalRecord *t = terminalOpen(port) ? terminalRecord(port) : nullptr;
    const LONG type = t ? t->emu.emulation : 0;
    SendMessageA(combo, CB_SETCURSEL, type, 0);
    SetDlgItemTextA(dialog, kKeyboardFileEdit, t ? t->keyboardFileName : "");
    enableKeyboardFile(dialog, type);
}

void browseKeyboardFile(HWND dialog) {
    char file[278] = "*.kbd", name[278] = {};
    if (chooseFile(dialog, "Select KeyBoard File", file, "KeyBoard Files (*.kbd)|*.kbd", name, 0, 1) == 0) return;
    for (char *p = file; *p; p++)
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    SetDlgItemTextA(dialog, kKeyboardFileEdit, file);
}

void applyTerminalType(HWND dialog) {
    const LRESULT type = SendDlgItemMessageA(dialog, kTypeCombo, CB_GETCURSEL, 0, 0);
    if (type < 0) return; // nothing chosen: the type stays
    char path[kKeyboardFileTextMax + 1] = {};
    GetDlgItemTextA(dialog, kKeyboardFileEdit, path, sizeof path);
    const LONG r = changeTerminalType(dialogPort(dialog), static_cast<LONG>(type), path);
    if (r == 0) return;
    messageBox(nullptr, "Change Terminal Type", MB_ICONHAND, "%s",
               r == 2 ? "Unable to Open/Read KeyBoard File!" : "KeyBoard File is Invalid (Not a Vorlex .KBD File)!");
}

} // namespace

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func045(LPCSTR name) {
    if (!name) return -1;
    for (LONG i = 0; i < kProtocolCount; i++)
        if (lstrcmpiA(name, kProtocolNames[i]) == 0) return i;
    return -1;
}

// The directories are cut at 255 characters, the size of their fields.
void WINAPI Func078(LONG port, LONG defaultProtocol, LPCSTR sendDirectory, LPCSTR receiveDirectory) {
    TerminalRecord *t = terminalOpen(port) ? terminalRecord(port) : nullptr;
    if (!t) return;
    t->defaultProtocol = defaultProtocol;
    copyBounded(t->sendDirectory, sendDirectory);
    copyBounded(t->receiveDirectory, receiveDirectory);
}

INT_PTR WINAPI Func104(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const LONG port = static_cast<LONG>(lParam);
        TerminalRecord *t = terminalOpen(port) ? terminalRecord(port) : nullptr;
        if (t && t->frameWindow)
            centreOver(t->frameWindow, dialog);
        else
            centreOnParent(dialog);
        HWND list = GetDlgItem(dialog, kProtocolList);
        for (const char *name : kProtocolNames) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        const LONG p = t ? t->defaultProtocol : -1;
        SendMessageA(list, LB_SETCURSEL, p >= 0 && p < kProtocolCount ? p : kZmodemProtocol, 0);
        return TRUE;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDOK || (id == kProtocolList && HIWORD(wParam) == LBN_DBLCLK)) {
            const LRESULT selected = SendDlgItemMessageA(dialog, kProtocolList, LB_GETCURSEL, 0, 0);
            PostMessageA(dialog, WM_CLOSE, 0, selected < 0 ? -1 : selected);
            return TRUE;
        }
        if (id == IDCANCEL) {
            PostMessageA(dialog, WM_CLOSE, 0, -1);
            return TRUE;
        }
        return id == kProtocolList;
    }
    case WM_CLOSE:
        EndDialog(dialog, lParam);
        return TRUE;
    }
    return FALSE;
}

INT_PTR WINAPI Func105(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        initSessionParameters(dialog, static_cast<LONG>(lParam));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) applySessionParameters(dialog);
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return FALSE;
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

INT_PTR WINAPI Func108(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        initTerminalType(dialog, static_cast<LONG>(lParam));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kTypeCombo:
            if (HIWORD(wParam) == CBN_SELCHANGE)
                enableKeyboardFile(dialog, SendDlgItemMessageA(dialog, kTypeCombo, CB_GETCURSEL, 0, 0));
            return FALSE;
        case kBrowseButton:
            browseKeyboardFile(dialog);
            return FALSE;
        case IDOK:
            applyTerminalType(dialog);
            PostMessageA(dialog, WM_CLOSE, 0, 0);
            return TRUE;
        case IDCANCEL:
            PostMessageA(dialog, WM_CLOSE, 0, 0);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

} // extern "C"
