// Helpers for the dialog tests: templates written as a resource compiler
// would, a dialog shown by an application thread, the notifications its
// procedure received, and pictures of windows. The person who finds windows,
// types and clicks is gui_driver.h.
#pragma once

#include "gui_driver.h"

#include <functional>
#include <string>
#include <vector>

namespace dlgtest {

// A dialog template in the classic (DLGTEMPLATE) or extended form.
class Template {
public:
    Template(DWORD style, int cx, int cy, const char *title, bool extended = false, const char *font = "MS Sans Serif",
             int points = 8, const char *cls = nullptr, int x = 10, int y = 10);
    // cls: a class name, or 0x80 Button .. 0x85 ComboBox as MAKEINTRESOURCEA.
    Template &item(const char *cls, const char *text, WORD id, DWORD style, int x, int y, int cx, int cy,
                   DWORD exStyle = 0);
    const DLGTEMPLATE *get() const { return reinterpret_cast<const DLGTEMPLATE *>(w_.data()); }
    size_t bytes() const { return w_.size() * 2; }

private:
    void text(const char *s);
    void word(WORD v) { w_.push_back(v); }
    void dword(DWORD v) {
        word(LOWORD(v));
        word(HIWORD(v));
    }
    std::vector<WORD> w_;
    bool ex_;
    size_t countAt_;
};

#define BUTTON MAKEINTRESOURCEA(0x80)
#define EDIT MAKEINTRESOURCEA(0x81)
#define STATIC MAKEINTRESOURCEA(0x82)
#define LISTBOX MAKEINTRESOURCEA(0x83)
#define COMBOBOX MAKEINTRESOURCEA(0x85)

using namespace gui;

// A picture of a window's top-level window as shown now, for looking at
// many of its pixels.
class Picture {
public:
    explicit Picture(HWND h);
    // The colour at a point of h's client area (h in the pictured window).
    COLORREF at(HWND h, int x, int y) const;
    // Pixels of one colour on a row of h's client area.
    int countOnRow(HWND h, int y, COLORREF c) const;

private:
    std::vector<uint32_t> px_;
    int w_ = 0, h_ = 0;
    RECT top_{};
};

// A modal dialog shown by an application thread: its procedure notes every
// WM_COMMAND, ends on IDOK and IDCANCEL, runs code sent with WM_APP, and
// hands other messages to `hook` when given.
class Dialog {
public:
    using Hook = std::function<bool(HWND, UINT, WPARAM, LPARAM, INT_PTR *)>;
    Dialog(const Template &t, const char *title, Hook hook = nullptr, HWND owner = nullptr);
    ~Dialog();
    HWND hwnd() const { return h_; }
    HWND item(int id) const { return GetDlgItem(h_, id); }
    // Runs fn on the dialog's thread.
    void run(const std::function<void()> &fn);
    // The focus window of the dialog's thread.
    HWND focus();
    // The dialog's result once it ended (-999 if it did not within ms).
    INT_PTR result(DWORD ms = kWaitMs) { return app_.result(-999, ms); }
    bool ended() { return app_.done(); }

private:
    static INT_PTR CALLBACK proc(HWND, UINT, WPARAM, LPARAM);
    Hook hook_;
    App<INT_PTR> app_;
    HWND h_ = nullptr;
};

// Records WM_COMMAND notifications that dialog procedures receive.
struct Note {
    int id;
    int code;
};
void noteCommand(WPARAM wp);
std::vector<Note> notes();
void clearNotes();
int countNotes(int id, int code);

} // namespace dlgtest
