// The terminal's record and its creation: the exports that put a terminal
// on a port, its windows, the preparation of the port, and the end.
#include "terminal/terminal.h"
#include "terminal/directories.h"

#include "emulation/interpreter.h"
#include "port/capture.h"
#include "port/port_api.h"
#include "resources/resources.h"
#include "services/window_utils.h"
#include "services/startup.h"
#include "transfer/interactive.h"

#include <commdlg.h>

#include <cctype>
#include <cstring>
#include <new>

namespace vorlex {

namespace {

constexpr const char *kResultTexts[] = {
    "Terminal Successfully Created",
    "Insufficient Memory for Terminal Structures",
    "Unable to Create Terminal Windows",
    "Port not Open or Unable To Open Port",
    "UnKnown Terminal Error",
};

// The open and close of a port the terminal owns use the frame as owner id.
DWORD frameOwnerId(const TerminalRecord &t) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(t.frameWindow)); }

void fillScreenLogFont(LOGFONTA &f) {
    f = LOGFONTA{};
    f.lfCharSet = OEM_CHARSET;
    f.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    const DWORD version = GetVersion();
    if (version & 0x80000000u) {
        // The 95 family's fixed font.
        std::strcpy(f.lfFaceName, "Fixedsys");
        if (GetSystemMetrics(SM_CXSCREEN) > 800)
            f.lfHeight = -18;
        else
            f.lfHeight = smallFonts() ? -12 : -15;
    } else {
        std::strcpy(f.lfFaceName, "Terminal");
        f.lfHeight = LOBYTE(LOWORD(version)) >= 4 ? -18 : -15;
    }
}

} // namespace

TerminalRecord *createTerminalRecord(LONG port, LONG attribute) {
    HGLOBAL mem = GlobalAlloc(GMEM_ZEROINIT, sizeof(TerminalRecord));
    void *p = mem ? GlobalLock(mem) : nullptr;
    if (!p) {
        if (mem) GlobalFree(mem);
        return nullptr;
    }
    auto *t = new (p) TerminalRecord{};
    t->terminalMemory = mem;
    resetEmulator(t->emu, static_cast<BYTE>(attribute));
    t->caretShown = 0;
    t->defaultProtocol = -1;
    t->emu.emulation = kIbmAnsi;
    fillScreenLogFont(t->screenLogFont);
    sessionAt(port).terminal.store(t);
    return t;
}

void freeTerminalRecord(LONG port, TerminalRecord *t) {
    sessionAt(port).terminal.store(nullptr);
    HGLOBAL mem = t->terminalMemory;
    t->~TerminalRecord();
    GlobalUnlock(mem);
    GlobalFree(mem);
}

namespace {

HWND makeChild(const char *cls, HWND frame, DWORD style, int x, int y, int w, int h, int id, LONG port) {
    HWND child = CreateWindowExA(0, cls, "", WS_CHILD | style, x, y, w, h, frame,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), libraryInstance, nullptr);
    if (child && std::strcmp(cls, kControlClass) != 0) SetWindowWord(child, 0, static_cast<WORD>(port));
    if (child && std::strcmp(cls, kControlClass) == 0) SetWindowWord(child, kBarPortOffset, static_cast<WORD>(port));
    return child;
}

} // namespace

static bool carrierOn(LONG port) {
    PortHold h(port);
    return h && carrierPresent(*h);
}

// Opens and sets the line when the terminal owns the port, then starts
// reception; the creation result's 3 on any failure.
bool preparePort(LONG port, TerminalRecord &t) {
    if (!t.portOpenedByCaller) {
        const LONG opened = openPortDefault(port, frameOwnerId(t));
        if (opened != VORLEX_OPEN_OK) {
            showOpenError(opened);
            PostMessageA(t.frameWindow, WM_CLOSE, 0, 0);
            return false;
        }
        bool lineSet = false;
        if (PortHold h{port}) {
            lineSet = setLine(*h, t.openBaudRate, t.openParity, t.openDataBits, t.openStopBits) == VORLEX_LINE_OK;
            if (lineSet) setDtr(*h, true);
        }
        if (!lineSet) {
            closePort(port, frameOwnerId(t));
            showOpenError(VORLEX_OPEN_IN_USE);
            PostMessageA(t.frameWindow, WM_CLOSE, 0, 0);
            return false;
        }
    }
    if (startReception(port, true) != 0) {
        if (!t.portOpenedByCaller) closePort(port, frameOwnerId(t));
        return false;
    }
    t.portPrepared = 1;
    return true;
}

namespace {

LONG createTerminalWindows(LONG port, TerminalRecord &t) {
    int fw = 847, fh = 647;
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    if (sw == 640 && sh == 480)
        fw = 600, fh = 442;
    else if (sw == 800 && sh == 600)
        fw = 672, fh = 442;
    // Clipping the children keeps the frame's black background off the bars.
    HWND frame = CreateWindowExA(0, kFrameClass, "Terminal", WS_POPUP | WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                 CW_USEDEFAULT, fw, fh, nullptr, nullptr, libraryInstance, nullptr);
    if (!frame) return kTerminalNoWindows;
    t.frameWindow = frame;
    SetWindowWord(frame, 0, static_cast<WORD>(port));
    ShowWindow(frame, SW_SHOW);
    UpdateWindow(frame);
    RECT rc;
    GetClientRect(frame, &rc);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    t.controlWindow = makeChild(kControlClass, frame, 0, 0, 0, w, kBarHeight, kControlId, port);
    if (!t.controlWindow) return kTerminalNoWindows;
    t.statusWindow = makeChild(kStatusClass, frame, 0, 0, h - kStatusHeight, w, kStatusHeight, kStatusId, port);
    if (!t.statusWindow) return kTerminalNoWindows;
    t.clientWindow = makeChild(kClientClass, frame, WS_VSCROLL | WS_HSCROLL, 0, kBarHeight, w,
                               h - kBarHeight - kStatusHeight, kClientId, port);
    if (!t.clientWindow) return kTerminalNoWindows;
    for (HWND child : {t.controlWindow, t.statusWindow, t.clientWindow}) {
        ShowWindow(child, SW_SHOW);
        UpdateWindow(child);
    }
    if (!createButtonBar(port, t)) return kTerminalNoMemory;
    if (!preparePort(port, t)) return kTerminalPortNotOpen;
    {
        PortHold held(port);
        t.carrierState = held && carrierPresent(*held) ? 1 : 0;
    }
    if (t.carrierState) {
        setCommandState(port, kCmdHangUp, 0, 1);
        setCommandState(port, kCmdUpload, 0, 4);
        setCommandState(port, kCmdDownload, 0, 3);
    }
    if (t.localEcho) CheckMenuItem(GetMenu(frame), kCmdEcho, MF_CHECKED);
    return kTerminalCreated;
}

} // namespace

const char *terminalResultText(LONG code) {
    return code >= 0 && code <= 4 ? kResultTexts[code] : kResultTexts[kTerminalUnknownError];
}

LONG windowPort(HWND window) {
    char cls[32] = {};
    GetClassNameA(window, cls, sizeof cls);
    const int offset = std::strcmp(cls, kControlClass) == 0 ? kBarPortOffset : 0;
    return static_cast<LONG>(GetWindowWord(window, offset));
}

bool raiseOpenTerminal(Session &s) {
    if (!s.terminalOpen.load()) return false;
    if (TerminalRecord *t = s.terminal.load()) {
        BringWindowToTop(t->frameWindow);
        ShowWindow(t->frameWindow, SW_RESTORE);
        SetForegroundWindow(t->frameWindow);
    }
    return true;
}

// lineSettings: baud, parity, data bits, stop bits for a terminal that opens
// the port itself, or null when the application opened it.
LONG createTerminal(LONG port, HWND owner, LONG attribute, LONG localEcho, const LONG *lineSettings) {
    Session &s = sessionAt(port);
    if (raiseOpenTerminal(s)) return kTerminalCreated;
    TerminalRecord *t = createTerminalRecord(port, attribute);
    if (!t) return kTerminalNoMemory;
    t->ownerWindow = owner;
    t->localEcho = localEcho;
    if (lineSettings) {
        t->openBaudRate = lineSettings[0];
        t->openParity = lineSettings[1];
        t->openDataBits = lineSettings[2];
        t->openStopBits = lineSettings[3];
    } else {
        t->portOpenedByCaller = 1;
    }
    const LONG made = createTerminalWindows(port, *t);
    if (made != kTerminalCreated) {
        // Nothing of a failed creation stays: the client window's end frees
        // the record; without one, it is freed here.
        HWND client = t->clientWindow;
        if (t->frameWindow) DestroyWindow(t->frameWindow);
        if (!client) {
            freeButtonBar(*t);
            freeTerminalRecord(port, t);
        }
        return made;
    }
    s.terminalOpen.store(1);
    setupScreenFont(port);
    SetFocus(t->clientWindow);
    PostMessageA(t->clientWindow, WM_COMMNOTIFY, static_cast<WPARAM>(port), kCommEvent);
    return kTerminalCreated;
}

void endTerminal(LONG port) {
    TerminalRecord *t = terminalRecord(port);
    if (!t) return;
    if (t->feeding > 0) {
        // A receive handler further up this thread still uses the record.
        t->endPending = 1;
        return;
    }
    // An application-window terminal leaves the capture to the application.
    if (!t->notifyOwner) captureOff(port);
    if (t->portPrepared) {
        // DTR low before reception stops and again after, as the terminal has it.
        if (PortHold h{port}) setDtr(*h, false);
        startReception(port, false);
        if (PortHold h{port}) setDtr(*h, false);
        if (!t->portOpenedByCaller) closePort(port, frameOwnerId(*t));
    }
    if (t->caretShown) {
        HideCaret(t->clientWindow);
        DestroyCaret();
    }
    if (t->screenFont) DeleteObject(t->screenFont);
    freeButtonBar(*t);
    freeTerminalRecord(port, t);
    sessionAt(port).terminalOpen.store(0);
}

void terminalDirectories(LONG port, char *sendDirectory, char *receiveDirectory) {
    const TerminalRecord *t = terminalOpen(port) ? terminalRecord(port) : nullptr;
    lstrcpynA(sendDirectory, t ? t->sendDirectory : "", kTerminalDirectorySize);
    lstrcpynA(receiveDirectory, t ? t->receiveDirectory : "", kTerminalDirectorySize);
}

void setCommandState(LONG port, WORD command, int state, int button) {
    TerminalRecord *t = terminalRecord(port);
    if (!t) return;
    if (HMENU menu = t->frameWindow ? GetMenu(t->frameWindow) : nullptr)
        EnableMenuItem(menu, command, state == 0 ? MF_ENABLED : (MF_GRAYED | MF_DISABLED));
    if (button < 0 || !t->buttonBar) return;
    ButtonEntry &b = t->buttonBar->buttons[button];
    if (state == 0) {
        b.flags = static_cast<WORD>(b.flags & ~0x0F & ~kButtonDisabled);
        drawButton(*t->buttonBar, button, 0);
    } else {
        b.flags = static_cast<WORD>((b.flags & ~0x0F) | kButtonDisabled);
        drawButton(*t->buttonBar, button, 2);
    }
}

namespace {

enum class TerminalJob { upload, download, autoStart };

LONG runJob(LONG port, TerminalRecord &t, TerminalJob job, LONG protocol) {
    switch (job) {
    case TerminalJob::upload:
        return protocol == kZmodemProtocol ? zmodemUploadChosen(port, t.clientWindow)
                                           : blockUploadChosen(port, t.clientWindow, protocol);
    case TerminalJob::download:
        return protocol == kZmodemProtocol ? zmodemDownloadChosen(port, t.clientWindow)
                                           : blockDownloadChosen(port, t.clientWindow, protocol);
    case TerminalJob::autoStart:
        break;
    }
    return zmodemReceiveInto(port, t.clientWindow, t.receiveDirectory);
}

// A transfer started by the terminal: the transfer commands grayed, the
// terminal's reception stopped so that the transfer alone reads, the
// application's window disabled; afterwards all of it back. The record is
// kept meanwhile even if the windows go (the transfer runs messages).
void runTerminalTransfer(LONG port, TerminalRecord &t, TerminalJob job, LONG protocol) {
    setCommandState(port, kCmdUpload, 2, 4);
    setCommandState(port, kCmdDownload, 2, 3);
    ++t.feeding;
    pauseReception(port, true);
    HWND top = t.ownerWindow ? topLevelWindow(t.ownerWindow) : nullptr;
    if (top) EnableWindow(top, FALSE);
    runJob(port, t, job, protocol);
    if (top) EnableWindow(top, TRUE);
    --t.feeding;
    if (t.endPending) {
        if (t.feeding == 0) endTerminal(port);
        return;
    }
    setCommandState(port, kCmdUpload, 0, 4);
    setCommandState(port, kCmdDownload, 0, 3);
    if (pauseReception(port, false) != 0) PostMessageA(t.frameWindow, WM_CLOSE, 0, 0);
}

// Upload or Download from the menu: the protocol first; a cancelled choice
// changes nothing.
void transferCommand(LONG port, TerminalRecord &t, TerminalJob job) {
    t.autoStartMatch[0] = t.autoStartMatch[1] = t.autoStartMatch[2] = 0;
    const INT_PTR p = DialogBoxParamA(libraryInstance, MAKEINTRESOURCEA(resources::kDialogSelectProtocol),
                                      t.frameWindow, Func104, port);
    if (p < 0 || p > kZmodemProtocol) return;
    runTerminalTransfer(port, t, job, static_cast<LONG>(p));
}

// Capture on with a file chosen in Save As, or off; the menu check follows.
void captureCommand(LONG port, TerminalRecord &t) {
    if (hasCapture(port)) {
        captureOff(port);
    } else {
        char name[258] = {};
        OPENFILENAMEA ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = t.frameWindow;
        ofn.lpstrFilter = "Capture Files (*.cap)\0*.cap\0All Files (*.*)\0*.*\0";
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = name;
        ofn.nMaxFile = sizeof name;
        ofn.lpstrTitle = "Save Capture As";
        ofn.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_NONETWORKBUTTON;
        if (GetSaveFileNameA(&ofn)) {
            if (captureOn(port) != VORLEX_CAPTURE_OK)
                messageBox(nullptr, "Capture", MB_ICONHAND, "%s", "Insufficient Memory For Capture Buffer!");
            captureToFile(port, name);
        }
    }
    CheckMenuItem(GetMenu(t.frameWindow), kCmdCapture, hasCapture(port) ? MF_CHECKED : MF_UNCHECKED);
}

void toggleCheck(TerminalRecord &t, WORD command, LONG &flag) {
    flag = !flag;
    CheckMenuItem(GetMenu(t.frameWindow), command, flag ? MF_CHECKED : MF_UNCHECKED);
}

void runCommand(LONG port, TerminalRecord &t, WORD command) {
    switch (command) {
    case kCmdUpload:
        transferCommand(port, t, TerminalJob::upload);
        break;
    case kCmdDownload:
        transferCommand(port, t, TerminalJob::download);
        break;
    case kCmdExit:
        PostMessageA(t.frameWindow, WM_CLOSE, 0, 0);
        break;
    case kCmdCapture:
        captureCommand(port, t);
        break;
    case kCmdHangUp:
        if (carrierOn(port)) {
            dropDtrAndPause(port);
            if (PortHold h{port}) setDtr(*h, true);
        }
        break;
    case kCmdClearScreen: {
        TerminalHost host(port, t);
        clearScreen(t.emu, host);
        break;
    }
    case kCmdDoorWay:
        if (t.emu.emulation == kIbmAnsi || t.emu.emulation == kTty) toggleCheck(t, kCmdDoorWay, t.emu.doorWayMode);
        break;
    case kCmdModemParameters:
        DialogBoxParamA(libraryInstance, MAKEINTRESOURCEA(resources::kDialogSessionParameters), t.frameWindow, Func105,
                        port);
        break;
    case kCmdEcho:
        toggleCheck(t, kCmdEcho, t.localEcho);
        break;
    case kCmdCommErrors:
        showCommErrors(port, t.clientWindow);
        break;
    case kCmdTerminalType: {
        DialogBoxParamA(libraryInstance, MAKEINTRESOURCEA(resources::kDialogTerminalType), t.frameWindow, Func108, port);
        // The dialog may have ended the terminal (its windows run messages).
        if (terminalRecord(port) != &t) break;
        t.emu.doorWayMode = 0;
        CheckMenuItem(GetMenu(t.frameWindow), kCmdDoorWay, MF_UNCHECKED);
        const bool doorWayUsable = t.emu.emulation == kIbmAnsi || t.emu.emulation == kTty;
        setCommandState(port, kCmdDoorWay, doorWayUsable ? 0 : 2, -1);
        break;
    }
    default:
        break;
    }
}

// The Alt keys without a menu mnemonic of their own (Alt+T is not one).
WORD altKeyCommand(WPARAM character) {
    switch (std::toupper(static_cast<unsigned char>(LOWORD(character)))) {
    case '=': return kCmdDoorWay;
    case 'C': return kCmdClearScreen;
    case 'D': return kCmdDownload;
    case 'E': return kCmdEcho;
    case 'H': return kCmdHangUp;
    case 'P': return kCmdModemParameters;
    case 'U': return kCmdUpload;
    case 'X': return kCmdExit;
    default: return 0;
    }
}

} // namespace

// The frame window: its children's layout, focus, the on-line question on
// closing, the menu's commands and Alt keys, and the Zmodem auto-start.
LRESULT CALLBACK frameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LONG port = windowPort(window);
    TerminalRecord *t = terminalRecord(port);
    if (t && t->frameWindow != window) t = nullptr; // being made, or another port's
    switch (message) {
    case WM_CREATE: {
        RECT r;
        GetWindowRect(window, &r);
        const int x = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
        const int y = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
        SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
        return 0;
    }
    case WM_SIZE:
        if (t && terminalOpen(port)) {
            const int w = LOWORD(lParam), h = HIWORD(lParam);
            MoveWindow(t->controlWindow, 0, 0, w, kBarHeight, TRUE);
            MoveWindow(t->statusWindow, 0, h - kStatusHeight, w, kStatusHeight, TRUE);
            MoveWindow(t->clientWindow, 0, kBarHeight, w, h - kBarHeight - kStatusHeight, TRUE);
        }
        break;
    case WM_SETFOCUS:
        if (t && t->clientWindow) SetFocus(t->clientWindow);
        return 0;
    case WM_CLOSE:
    case WM_QUERYENDSESSION:
        if (terminalOpen(port) && t && carrierOn(port)) {
            if (messageBox(t->clientWindow, "Terminal", MB_YESNO | MB_ICONQUESTION, "%s",
                           "You Are On-Line\rAre You Sure You Wish To Exit Terminal?") != IDYES) {
                SetFocus(t->clientWindow);
                return 0;
            }
        }
        break;
    case WM_CHAR:
        if (t) PostMessageA(t->clientWindow, WM_CHAR, wParam, lParam);
        return 0;
    case WM_COMMAND:
        if (t && LOWORD(wParam) >= kCmdUpload && LOWORD(wParam) <= kCmdTerminalType)
            runCommand(port, *t, LOWORD(wParam));
        return 0;
    case WM_MENUCHAR:
        if (const WORD command = altKeyCommand(wParam)) {
            if (t) runCommand(port, *t, command);
            return MAKELRESULT(0, MNC_CLOSE);
        }
        break;
    case TERM_ZMODEM_START:
        if (t && terminalOpen(port)) runTerminalTransfer(port, *t, TerminalJob::autoStart, kZmodemProtocol);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func028(LONG port, HWND owner, LONG attribute, LONG localEcho) {
    if (!validPort(port)) return kTerminalPortNotOpen;
    {
        PortHold h(port);
        if (!h) return kTerminalPortNotOpen;
    }
    return createTerminal(port, owner, attribute, localEcho, nullptr);
}

// Unlike its siblings' originals, a port number outside 0..254 is refused
// with 3 rather than indexing past the tables.
LONG WINAPI Func029(LONG port, HWND owner, LONG attribute, LONG localEcho, LONG baudRate, LONG parity, LONG dataBits,
                    LONG stopBits) {
    if (!validPort(port)) return kTerminalPortNotOpen;
    const LONG line[4] = {baudRate, parity, dataBits, stopBits};
    return createTerminal(port, owner, attribute, localEcho, line);
}

LONG WINAPI Func007(LONG port) { return validPort(port) ? sessionAt(port).terminalOpen.load() : 0; }

LONG WINAPI Func035(LONG code) {
    return messageBox(nullptr, "Terminal Error", MB_ICONHAND, "%s", terminalResultText(code));
}

void WINAPI Func093(const LONG *source, LONG *destination) {
    if (!source || !destination) return;
    for (int i = 0; i < 7; i++) destination[i] = source[i];
}

void WINAPI Func094(LONG port, LONG flag) {
    if (TerminalRecord *t = terminalOpen(port) ? terminalRecord(port) : nullptr) t->localEcho = flag;
}

void WINAPI Func095(LONG port, LONG flag) {
    if (TerminalRecord *t = terminalOpen(port) ? terminalRecord(port) : nullptr) t->emu.doorWayMode = flag;
}

void WINAPI Func096(LONG port) {
    TerminalRecord *t = terminalOpen(port) ? terminalRecord(port) : nullptr;
    if (!t) return;
    TerminalHost host(port, *t);
    clearScreen(t->emu, host);
    SetFocus(t->clientWindow);
}

LRESULT WINAPI Func102(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return frameProcedure(window, message, wParam, lParam);
}

} // extern "C"
