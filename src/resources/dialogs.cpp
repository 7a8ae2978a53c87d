// The dialog templates: the Communications Errors dialog, the terminal's
// three dialogs and the two transfer progress windows. Each is a table of
// controls written out as a classic DLGTEMPLATE, positions in dialog units.
#include "resources/bytes.h"
#include "resources/resources.h"

#include <commctrl.h>

#include <initializer_list>

namespace vorlex::resources {
namespace {

// Predefined control classes, as a template names them by number.
constexpr WORD kButton = 0x80;
constexpr WORD kEdit = 0x81;
constexpr WORD kStatic = 0x82;
constexpr WORD kListBox = 0x83;
constexpr WORD kComboBox = 0x85;

constexpr WORD kNoId = 0xFFFF; // labels that nothing refers to

// What a resource compiler gives each kind of statement.
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kLabel = kChild | SS_LEFT | WS_GROUP;
constexpr DWORD kRightLabel = kChild | SS_RIGHT | WS_GROUP;
constexpr DWORD kCentredLabel = kChild | SS_CENTER | WS_GROUP;
constexpr DWORD kPush = kChild | BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kDefaultPush = kChild | BS_DEFPUSHBUTTON | WS_TABSTOP;
constexpr DWORD kGroupBox = kChild | BS_GROUPBOX;
constexpr DWORD kFirstRadio = kChild | BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP;
constexpr DWORD kRadio = kChild | BS_AUTORADIOBUTTON;
constexpr DWORD kList = kChild | LBS_NOTIFY | WS_BORDER | WS_TABSTOP | LBS_NOINTEGRALHEIGHT;
// The progress window's fields show values; the window gives the focus
// back to its Cancel button whenever one of them takes it.
constexpr DWORD kValueField = kChild | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY | WS_BORDER;

constexpr DWORD kDialogFrame = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT;
constexpr DWORD kModalDialog = kDialogFrame | WS_VISIBLE | WS_SYSMENU | DS_3DLOOK;

const char kFace[] = "MS Sans Serif";
constexpr WORD kPoints = 8;

struct Control {
    WORD atom;       // predefined class, or 0 when className is given
    const char *className;
    const char *text;
    WORD id;
    DWORD style;
    short x, y, cx, cy;
};

struct Dialog {
    const char *title;
    DWORD style;
    DWORD exStyle;
    short cx, cy;
    const char *className; // null: the dialog class
    std::initializer_list<Control> controls;
};

Control label(const char *text, short x, short y, short cx, short cy, DWORD style = kLabel, WORD id = kNoId) {
    return {kStatic, nullptr, text, id, style, x, y, cx, cy};
}

std::vector<BYTE> write(const Dialog &d) {
    Bytes b;
    b.dword(d.style);
    b.dword(d.exStyle);
    b.word(static_cast<unsigned>(d.controls.size()));
    b.word(0); // x, y: the dialogs centre themselves
    b.word(0);
    b.word(static_cast<unsigned>(d.cx));
    b.word(static_cast<unsigned>(d.cy));
    b.word(0); // no menu
    if (d.className)
        b.text(d.className);
    else
        b.word(0);
    b.text(d.title);
    b.word(kPoints);
    b.text(kFace);
    for (const Control &c : d.controls) {
        b.alignDword();
        b.dword(c.style);
        b.dword(0);
        b.word(static_cast<unsigned>(c.x));
        b.word(static_cast<unsigned>(c.y));
        b.word(static_cast<unsigned>(c.cx));
        b.word(static_cast<unsigned>(c.cy));
        b.word(c.id);
        if (c.atom) {
            b.word(0xFFFF);
            b.word(c.atom);
        } else {
            b.text(c.className);
        }
        b.text(c.text ? c.text : "");
        b.word(0); // no creation data
    }
    return b.take();
}

std::vector<BYTE> commErrors() {
    return write({"Communications Errors",
                  kDialogFrame | WS_VISIBLE | DS_3DLOOK,
                  WS_EX_STATICEDGE | WS_EX_CLIENTEDGE,
                  136,
                  118,
                  nullptr,
                  {
                      label("CTS Timeouts:", 45, 8, 47, 8, kRightLabel),
                      label("999999", 96, 8, 23, 8, kLabel, 102),
                      label("DSR Timeouts:", 44, 22, 48, 8, kRightLabel),
                      label("999999", 96, 22, 23, 8, kLabel, 103),
                      label("Overrun Errors:", 44, 36, 48, 8, kRightLabel),
                      label("999999", 96, 36, 23, 8, kLabel, 104),
                      label("Receive Queue Overruns:", 12, 50, 80, 8, kRightLabel),
                      label("999999", 96, 50, 23, 8, kLabel, 105),
                      label("Transmit Queue Full:", 27, 64, 65, 8, kRightLabel),
                      label("999999", 96, 64, 23, 8, kLabel, 106),
                      label("999999", 6, 80, 123, 8, kCentredLabel, 107),
                      {kButton, nullptr, "OK", IDOK, kDefaultPush, 50, 99, 35, 12},
                  }});
}

std::vector<BYTE> sessionParameters() {
    return write({"Session Parameters",
                  kModalDialog,
                  0,
                  234,
                  95,
                  nullptr,
                  {
                      label("Baud Rate", 5, 5, 34, 8),
                      {kListBox, nullptr, "", 1016, kList, 5, 14, 48, 76},
                      {kButton, nullptr, "&Data", kNoId, kGroupBox, 65, 10, 48, 40},
                      {kButton, nullptr, "7", 1009, kFirstRadio, 81, 22, 27, 10},
                      {kButton, nullptr, "8", 1010, kRadio, 81, 34, 27, 10},
                      {kButton, nullptr, "&Stop", kNoId, kGroupBox, 120, 10, 48, 40},
                      {kButton, nullptr, "1", 1014, kFirstRadio, 136, 22, 28, 10},
                      {kButton, nullptr, "2", 1015, kRadio, 136, 34, 28, 10},
                      {kButton, nullptr, "&Parity", kNoId, kGroupBox, 177, 10, 48, 50},
                      {kButton, nullptr, "None", 1011, kFirstRadio, 187, 22, 33, 10},
                      {kButton, nullptr, "Even", 1012, kRadio, 187, 34, 33, 10},
                      {kButton, nullptr, "Odd", 1013, kRadio, 187, 46, 33, 10},
                      {kButton, nullptr, "OK", IDOK, kDefaultPush, 115, 75, 50, 14},
                      {kButton, nullptr, "Cancel", IDCANCEL, kPush, 175, 75, 50, 14},
                  }});
}

std::vector<BYTE> selectProtocol() {
    return write({"Select A Protocol",
                  kModalDialog,
                  0,
                  124,
                  79,
                  nullptr,
                  {
                      {kListBox, nullptr, "", 1008, kList, 8, 8, 60, 64},
                      {kButton, nullptr, "OK", IDOK, kDefaultPush, 76, 19, 40, 14},
                      {kButton, nullptr, "Cancel", IDCANCEL, kPush, 76, 47, 40, 14},
                  }});
}

std::vector<BYTE> terminalType() {
    return write({"Select Terminal Type",
                  kModalDialog,
                  0,
                  224,
                  76,
                  nullptr,
                  {
                      label("Terminal :", 8, 10, 32, 8),
                      {kComboBox, nullptr, "", 1024, kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 60, 8, 48, 56},
                      label("KeyBoard File :", 8, 29, 48, 8),
                      {kEdit, nullptr, "", 1026, kChild | ES_UPPERCASE | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 60, 27,
                       144, 12},
                      {kButton, nullptr, "...", 1025, kPush, 208, 29, 10, 10},
                      {kButton, nullptr, "OK", IDOK, kDefaultPush, 51, 55, 50, 14},
                      {kButton, nullptr, "Cancel", IDCANCEL, kPush, 122, 55, 50, 14},
                  }});
}

// The progress windows: the same dialog titled for each direction.
std::vector<BYTE> transferProgress(const char *title, const char *bytesLabel) {
    return write({title,
                  kDialogFrame,
                  0,
                  244,
                  142,
                  "ZmodemTransfer",
                  {
                      label("File Name", 5, 7, 33, 8),
                      {kEdit, nullptr, "", 1000, kValueField, 49, 5, 92, 12},
                      label("File Size", 5, 24, 28, 8),
                      {kEdit, nullptr, "", 1001, kValueField, 49, 22, 92, 12},
                      label(bytesLabel, 5, 41, 37, 8),
                      {kEdit, nullptr, "", 1002, kValueField, 49, 39, 92, 12},
                      label("Errors", 5, 58, 20, 8),
                      {kEdit, nullptr, "", 1005, kValueField, 49, 56, 92, 12},
                      label("Status", 5, 75, 21, 8),
                      {kEdit, nullptr, "", 1006, kValueField, 49, 73, 172, 12},
                      label("CPS", 157, 41, 15, 8),
                      {kEdit, nullptr, "", 1004, kValueField, 177, 39, 44, 12},
                      {0, PROGRESS_CLASSA, "Progress1", 1003, kChild | WS_BORDER, 10, 95, 224, 14},
                      {kButton, nullptr, "  Cancel  ", IDCANCEL, kDefaultPush, 105, 120, 34, 14},
                  }});
}

} // namespace

std::vector<BYTE> dialogTemplate(WORD id) {
    switch (id) {
    case kDialogCommErrors: return commErrors();
    case kDialogSessionParameters: return sessionParameters();
    case kDialogSelectProtocol: return selectProtocol();
    case kDialogTransferReceive: return transferProgress("Zmodem Receive", "Bytes Rcvd");
    case kDialogTransferSend: return transferProgress("Zmodem Send", "Bytes Sent");
    case kDialogTerminalType: return terminalType();
    }
    return {};
}

} // namespace vorlex::resources
