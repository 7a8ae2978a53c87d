// The dialog manager's shared parts: templates built in memory for the
// layer's own dialogs (message boxes, the file and folder dialogs), and the
// helpers that the standard controls share (notifications, colours, fonts,
// disabled text).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace winapi::user {

// Builds a DLGTEMPLATEEX with DS_SETFONT, item by item, in dialog units.
class TemplateBuilder {
public:
    TemplateBuilder(DWORD style, DWORD exStyle, int x, int y, int cx, int cy, const char *title,
                    const char *font = "MS Sans Serif", int pointSize = 8, const char *className = nullptr);
    // cls is a class name ("Button") or one of the predefined atoms
    // (0x80 Button .. 0x85 ComboBox) given as MAKEINTRESOURCEA.
    void add(const char *cls, const char *text, DWORD id, DWORD style, int x, int y, int cx, int cy,
             DWORD exStyle = 0);
    const DLGTEMPLATE *get();

private:
    void word(WORD w) { data_.push_back(w); }
    void dword(DWORD d) {
        word(LOWORD(d));
        word(HIWORD(d));
    }
    void text(const char *s);
    void align() {
        if (data_.size() % 2) word(0);
    }
    std::vector<WORD> data_;
    size_t countAt_ = 0;
    WORD count_ = 0;
};

// Makes sure the standard control classes exist.
void registerControlClasses();

// WM_COMMAND with a notification code to a control's parent.
void notifyParent(HWND ctl, WORD code);
// The brush and colours a control's parent chooses for it (WM_CTLCOLORxxx),
// or the defaults.
HBRUSH parentBrush(HWND ctl, HDC hdc, UINT ctlColorMsg);
// The font a control draws with: the one set by WM_SETFONT, else the
// system font.
HFONT fontOr(HFONT f);
// Text of a disabled control: embossed, as Windows draws it.
void drawDisabledText(HDC hdc, const char *text, RECT r, UINT fmt);
// Height of the font's character cell.
int fontHeight(HFONT f);
// Client rectangle as a RECT value.
RECT clientRect(HWND h);

// A small per-window state object kept in the first window-extra slot.
template <class T>
T *stateOf(HWND h) {
    return reinterpret_cast<T *>(GetWindowLongPtrA(h, 0));
}

// The messages every control with such a state answers alike: the state
// freed at WM_NCDESTROY, no background of its own, WM_PAINT and
// WM_PRINTCLIENT drawn by paint(h, s, dc). True when msg was one of them,
// with its result in *result.
template <class T, class Paint>
bool controlPaintMessage(HWND h, T *s, UINT msg, WPARAM wp, LPARAM lp, Paint paint, LRESULT *result) {
    switch (msg) {
    case WM_NCDESTROY:
        delete s;
        SetWindowLongPtrA(h, 0, 0);
        *result = DefWindowProcA(h, msg, wp, lp);
        return true;
    case WM_ERASEBKGND:
        *result = 1;
        return true;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(h, &ps);
        paint(h, s, hdc);
        EndPaint(h, &ps);
        *result = 0;
        return true;
    }
    case WM_PRINTCLIENT:
        paint(h, s, reinterpret_cast<HDC>(wp));
        *result = 0;
        return true;
    }
    return false;
}

// ANSI text of a UTF-16 template string (code page 1252; others become '?').
std::string narrow(const WORD *s, const WORD **end);

// The dialog's base units (from its font), for the dialog manager's users.
bool dialogBaseUnits(HWND dlg, int *x, int *y);

// Sets the focus to a dialog control as the dialog manager does: an edit
// field gets its whole text selected, and a push button becomes the default
// one while it has the focus.
void dialogSetFocus(HWND dlg, HWND ctl);

} // namespace winapi::user

namespace winapi::user {
// Window procedures of the standard controls.
LRESULT CALLBACK buttonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK staticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK editProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK listBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK comboBoxProc(HWND, UINT, WPARAM, LPARAM);
} // namespace winapi::user
