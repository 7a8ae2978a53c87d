// The terminal record: everything a port's terminal keeps, owned by the
// port's session from creation until its client window is destroyed, and
// the operations its windows and receive path share.
#pragma once

#include "emulation/screen.h"
#include "port/port.h"
#include "terminal/keyboard_map.h"

namespace vorlex {

// Result codes of the creation exports.
enum : LONG {
    kTerminalCreated = 0,
    kTerminalNoMemory = 1,
    kTerminalNoWindows = 2,
    kTerminalPortNotOpen = 3,
    kTerminalUnknownError = 4,
};
const char *terminalResultText(LONG code);

// Private messages.
enum : UINT {
    TERM_START = 0x0433,
    TERM_SENDCHAR = 0x0610,
    TERM_CARRIER_ON = 0x0611,
    TERM_CARRIER_OFF = 0x0612,
    TERM_DOORWAY_ON = 0x0613,
    TERM_DOORWAY_OFF = 0x0614,
    TERM_ZMODEM_START = 0x0615,
    TERM_SHOWCHAR = 0x0616,
    BAR_SETBUTTONS = 0x0403,
};

// Commands of the menu and the button bar.
enum : WORD {
    kCmdUpload = 40001,
    kCmdDownload = 40002,
    kCmdExit = 40003,
    kCmdCapture = 40005,
    kCmdHangUp = 40006,
    kCmdClearScreen = 40007,
    kCmdDoorWay = 40008,
    kCmdModemParameters = 40009,
    kCmdEcho = 40010,
    kCmdCommErrors = 40011,
    kCmdTerminalType = 40012,
};

// Protocol numbers are indexes of the protocol list; Zmodem is the last.
constexpr LONG kZmodemProtocol = 6;

// WM_COMMNOTIFY's lParam bit for received characters (CN_EVENT).
constexpr LPARAM kCommEvent = 4;
constexpr int kChunkRead = kChunkSize;

// Window layout: the button bar across the top, the status bar at the bottom.
constexpr int kBarHeight = 50;
constexpr int kStatusHeight = 20;
constexpr int kClientId = 3;
constexpr int kControlId = 1;
constexpr int kStatusId = 2;

constexpr char kFrameClass[] = "VorlexTerm";
constexpr char kClientClass[] = "VorlexTermClient";
constexpr char kControlClass[] = "VorlexTermControl";
constexpr char kStatusClass[] = "VorlexTermStatus";

// The control window keeps the button-bar record in a window long at 4 and
// the port number in the word after it (14 bytes where pointers are 4).
constexpr int kBarRecordOffset = 4;
constexpr int kBarPortOffset = kBarRecordOffset + int(sizeof(LONG_PTR));
constexpr int kBarExtraBytes = kBarPortOffset + 2;

struct ButtonEntry {
    WORD command;
    WORD flags;        // bit 1 disabled, bit 2 hidden; low nibble: the image drawn
    LONG x, y;
    HBITMAP bitmap;
    WORD width, height;
    WORD source[3][2]; // normal, pressed, disabled: x, y in the bitmap
};
enum : WORD { kButtonDisabled = 2, kButtonHidden = 4 };

struct ButtonBar {
    HGLOBAL memory;
    HWND barWindow;
    HWND targetWindow;
    WORD state;        // bit 0 tracking, bit 1 drawn pressed
    WORD tracked;
    WORD pressMark;
    WORD count;
    ButtonEntry buttons[7];
    HBITMAP bitmap;
};

// A local echo that waits for the receive handler to finish.
enum class EchoKind : BYTE { character, keyString };
struct PendingEcho {
    EchoKind kind;
    char text[kKeyStringField];
};
constexpr int kEchoQueue = 16; // echoes beyond these, typed during one read-ahead, are not shown

struct TerminalRecord {
    EmulatorState emu; // cells, chunk, attributes, cursor, escape state
    HGLOBAL terminalMemory;
    LONG notifyOwner;
    HBRUSH savedClassBrush;
    LONG portOpenedByCaller;
    LONG openBaudRate, openParity, openDataBits, openStopBits;
    LONG portPrepared;
    LONG carrierState;
    char keyboardFileName[kKeyboardFileNameSize];
    KeyboardMap keyboardMap;
    LONG swallowChars;
    LONG localEcho;
    WORD caretShown;
    HFONT screenFont;
    LOGFONTA screenLogFont;
    LONG clientWidth, clientHeight, scrollMaxX, scrollMaxY, scrollX, scrollY;
    LONG cellWidth, cellHeight, lastVisibleRow;
    HWND frameWindow, clientWindow, controlWindow, statusWindow;
    HWND ownerWindow;
    LONG defaultProtocol;
    BYTE autoStartMatch[4];
    char sendDirectory[256];
    char receiveDirectory[256];
    ButtonBar *buttonBar;
    // Receive handlers under way on the window thread (a read-ahead pumps
    // messages, so the client window may be destroyed beneath one); the end
    // of the terminal then waits for the outermost to return.
    LONG feeding;
    LONG endPending;
    PendingEcho echoes[kEchoQueue];
    LONG echoCount;
    // While the receive handler drains the line, the window is painted at
    // most once a frame: line feeds only count the lines the buffer moved
    // and the rows changed since the first of them (buffer rows; top >
    // bottom: none), and one scroll puts them on the window.
    LONG paintDeferred;
    LONG pendingScroll;
    LONG dirtyTop, dirtyBottom;
    DWORD lastPaint;
};

// The port's terminal record, or null.
inline TerminalRecord *terminalRecord(LONG port) {
    return validPort(port) ? sessionAt(port).terminal.load() : nullptr;
}
inline bool terminalOpen(LONG port) { return validPort(port) && sessionAt(port).terminalOpen.load() != 0; }
// The port number a window of the terminal keeps.
LONG windowPort(HWND window);

// --- creation and end (terminal.cpp) ---
LONG createTerminal(LONG port, HWND owner, LONG attribute, LONG localEcho, const LONG *lineSettings);
// A port that has a terminal already: its frame comes to the front; true.
bool raiseOpenTerminal(Session &s);
// The zero-filled record in the port's session; null without memory.
TerminalRecord *createTerminalRecord(LONG port, LONG attribute);
void freeTerminalRecord(LONG port, TerminalRecord *t);
// Opens the port when the terminal owns it, then starts reception.
bool preparePort(LONG port, TerminalRecord &t);
// The client window is going: capture off (not for an application's
// windows), port released, record freed, flag cleared.
void endTerminal(LONG port);
// Menu item and button of a command: state 0 enabled, else grayed.
void setCommandState(LONG port, WORD command, int state, int button);

// --- reception (receive_path.cpp) ---
// Starts or stops the terminal's reception (Func119): 0 done, 1 not started.
LONG startReception(LONG port, bool on);
// Func097: pauses (true) or resumes the terminal's reception; 0, or 1 when
// the thread could not be started again.
LONG pauseReception(LONG port, bool pause);
void onCommNotify(LONG port, WPARAM wParam, LPARAM lParam);
void feedChunk(LONG port, const BYTE *bytes, LONG n);

// --- keyboard (keyboard.cpp) ---
// The client window's key messages; false for other messages.
bool keyboardMessage(LONG port, TerminalRecord &t, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                     LRESULT &result);
// Func088: the terminal type and its map file; its result codes.
LONG changeTerminalType(LONG port, LONG type, LPCSTR path);
// A typed character out on the line, and echoed when local echo is on.
void sendTypedChar(LONG port, TerminalRecord &t, BYTE c);
// Sends (and echoes) what a translated key asks for; false when the
// terminal ended meanwhile.
// The key translation's view of a WM_KEYDOWN, WM_SYSKEYDOWN or WM_HELP,
// with the Ctrl and Shift states of now.
KeyEvent keyEventOf(UINT message, WPARAM wParam, LPARAM lParam);
bool sendKeyAction(LONG port, TerminalRecord &t, const KeyAction &a);
// Shows the echoes that waited for a receive handler, once none runs.
void flushEchoes(LONG port, TerminalRecord &t);

// --- windows (screen_window.cpp) ---
// The client window's handlers, shared with the application-window variant.
void makeCaret(TerminalRecord &t);
void paintClient(HWND window, TerminalRecord &t);
void sizeClient(HWND window, TerminalRecord &t, int w, int h);
void scrollClient(HWND window, TerminalRecord &t, bool vertical, WPARAM wParam);
void setupScreenFont(LONG port);
void updateCaret(TerminalRecord &t);
// Puts the scrolls and changes the receive handler held back on the
// window (to be painted by the next WM_PAINT).
void applyPendingScroll(TerminalRecord &t);
// The colour of table entry i (0..15).
COLORREF terminalColour(int index);
// Terminal type names by emulation code; "" outside 0..5.
const char *terminalTypeName(LONG emulation);
bool createButtonBar(LONG port, TerminalRecord &t);
void freeButtonBar(TerminalRecord &t);
// Draws a button in image 0 normal, 1 pressed, 2 disabled.
void drawButton(ButtonBar &bar, int index, int image);

// The emulator's window: what the interpreter asks of the terminal.
class TerminalHost final : public EmulatorHost {
public:
    TerminalHost(LONG port, TerminalRecord &t) : port_(port), t_(t) {}
    void invalidateCells(int row, int firstColumn, int lastColumn) override;
    void invalidateAll() override;
    void scrollUp() override;
    void revealRow(int row) override;
    void updateNow() override;
    void resetView() override;
    void placeCaret(int row, int column) override;
    void beep() override;
    void reply(const char *text) override;
    void doorWayChanged(bool on) override;
    void captureByte(BYTE b) override;
    void beginReadAhead() override;
    void endReadAhead() override;
    int waitByte(DWORD ms) override;

private:
    LONG port_;
    TerminalRecord &t_;
};

// Registers the terminal's window classes.
void startTerminals(HINSTANCE instance);

} // namespace vorlex
