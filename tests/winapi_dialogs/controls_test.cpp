// The standard controls and the progress bar in a dialog, used as a person
// uses them (clicks, keys, typing) and as a program does (messages), with
// the notifications the dialog procedure receives.
#include "dlgtest.h"

#include <commctrl.h>

#include <gtest/gtest.h>

using namespace dlgtest;

namespace {

const DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

LRESULT send(HWND h, UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return SendMessageA(h, msg, wp, lp); }
LRESULT sendText(HWND h, UINT msg, WPARAM wp, const char *s) { return SendMessageA(h, msg, wp, reinterpret_cast<LPARAM>(s)); }

// ---- buttons ---------------------------------------------------------------------------------

TEST(Buttons, CheckBoxesChangeAsTheirKindSays) {
    Template t(kStyle, 160, 80, "Checks");
    t.item(BUTTON, "Auto", 10, BS_AUTOCHECKBOX | WS_TABSTOP, 5, 5, 60, 10)
        .item(BUTTON, "Three", 11, BS_AUTO3STATE | WS_TABSTOP, 5, 20, 60, 10)
        .item(BUTTON, "Manual", 12, BS_CHECKBOX | WS_TABSTOP, 5, 35, 60, 10)
        .item(BUTTON, "Off", 13, BS_AUTOCHECKBOX | WS_DISABLED, 5, 50, 60, 10);
    Dialog d(t, "Checks");
    clearNotes();
    click(d.item(10));
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 10), BST_CHECKED);
    click(d.item(10));
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 10), BST_UNCHECKED);
    EXPECT_EQ(countNotes(10, BN_CLICKED), 2);
    EXPECT_EQ(d.focus(), d.item(10));
    key(d.hwnd(), VK_SPACE);
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 10), BST_CHECKED);
    std::vector<UINT> states;
    for (int i = 0; i < 3; i++) {
        click(d.item(11));
        states.push_back(IsDlgButtonChecked(d.hwnd(), 11));
    }
    EXPECT_EQ(states, (std::vector<UINT>{BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}));
    // A plain check box only tells; the program checks it.
    click(d.item(12));
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 12), BST_UNCHECKED);
    EXPECT_EQ(countNotes(12, BN_CLICKED), 1);
    // Nothing reaches a disabled one, by mouse or BM_CLICK.
    click(d.item(13));
    send(d.item(13), BM_CLICK);
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 13), BST_UNCHECKED);
    EXPECT_EQ(countNotes(13, BN_CLICKED), 0);
    // A two-state box takes BST_INDETERMINATE as checked.
    CheckDlgButton(d.hwnd(), 10, BST_INDETERMINATE);
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 10), BST_CHECKED);
}

TEST(Buttons, OptionButtonsInsideAGroupBoxTakeTheClicks) {
    Template t(kStyle, 120, 70, "Parity");
    t.item(BUTTON, "&Parity", 20, BS_GROUPBOX, 5, 5, 60, 50)
        .item(BUTTON, "None", 1011, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 12, 17, 45, 10)
        .item(BUTTON, "Even", 1012, BS_AUTORADIOBUTTON, 12, 29, 45, 10)
        .item(BUTTON, "Odd", 1013, BS_AUTORADIOBUTTON, 12, 41, 45, 10)
        .item(BUTTON, "Other", 1014, BS_AUTORADIOBUTTON | WS_GROUP, 70, 17, 45, 10);
    Dialog d(t, "Parity");
    CheckRadioButton(d.hwnd(), 1011, 1013, 1011);
    CheckDlgButton(d.hwnd(), 1014, BST_CHECKED);
    clearNotes();
    click(d.item(1013), 20);
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 1013), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 1011), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 1012), BST_UNCHECKED);
    // The other group keeps its choice.
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 1014), BST_CHECKED);
    EXPECT_EQ(countNotes(1013, BN_CLICKED), 1);
    EXPECT_EQ(countNotes(20, BN_CLICKED), 0);
    // A double click on an option button is reported as such.
    doubleClick(d.item(1012), 20);
    EXPECT_EQ(countNotes(1012, BN_DOUBLECLICKED), 1);
}

TEST(Buttons, APressLetGoOutsideIsNoClick) {
    Template t(kStyle, 120, 40, "Press");
    t.item(BUTTON, "Push", 30, BS_PUSHBUTTON | WS_TABSTOP, 5, 5, 50, 14);
    Dialog d(t, "Press");
    clearNotes();
    HWND b = d.item(30);
    WapiMouseButton(b, 10, 10, 0, TRUE);
    settle(b);
    EXPECT_TRUE(send(b, BM_GETSTATE) & BST_PUSHED);
    WapiMouseMove(b, 200, 10);
    settle(b);
    EXPECT_FALSE(send(b, BM_GETSTATE) & BST_PUSHED);
    WapiMouseButton(b, 200, 10, 0, FALSE);
    settle(b);
    EXPECT_EQ(countNotes(30, BN_CLICKED), 0);
    send(b, BM_CLICK);
    EXPECT_EQ(countNotes(30, BN_CLICKED), 1);
    // The focused push button of a dialog without a default one acts as it.
    EXPECT_EQ(send(b, WM_GETDLGCODE), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
}

// ---- statics ---------------------------------------------------------------------------------

// The first and last columns that hold text pixels on the middle row.
std::pair<int, int> inkColumns(HWND h) {
    RECT r;
    GetClientRect(h, &r);
    Picture pic(h);
    int first = -1, last = -1;
    for (int x = 0; x < r.right; x++)
        for (int y = 0; y < r.bottom; y++)
            if (pic.at(h, x, y) == GetSysColor(COLOR_WINDOWTEXT)) {
                if (first < 0) first = x;
                last = x;
                break;
            }
    return {first, last};
}

TEST(Statics, TextIsPlacedAsTheStyleSays) {
    Template t(kStyle, 120, 60, "Labels");
    t.item(STATIC, "Left", 40, SS_LEFT, 5, 5, 100, 8)
        .item(STATIC, "Centre", 41, SS_CENTER, 5, 17, 100, 8)
        .item(STATIC, "Right", 42, SS_RIGHT, 5, 29, 100, 8)
        .item(STATIC, "", 43, SS_ICON, 5, 40, 10, 10);
    Dialog d(t, "Labels");
    auto left = inkColumns(d.item(40)), centre = inkColumns(d.item(41)), right = inkColumns(d.item(42));
    int width = 150;
    EXPECT_LE(left.first, 2);
    EXPECT_GE(right.second, width - 3);
    EXPECT_NEAR(centre.first, width - 1 - centre.second, 3);
    EXPECT_GT(centre.first, 40);
    // An icon static takes the icon's size.
    HICON icon = LoadIconA(nullptr, IDI_HAND);
    send(d.item(43), STM_SETICON, reinterpret_cast<WPARAM>(icon));
    settle(d.hwnd());
    RECT r;
    GetClientRect(d.item(43), &r);
    EXPECT_EQ(r.right, 32);
    EXPECT_EQ(r.bottom, 32);
    EXPECT_EQ(reinterpret_cast<HICON>(send(d.item(43), STM_GETICON)), icon);
    EXPECT_EQ(pixel(d.item(43), 6, 16), RGB(255, 0, 0));
    // Labels let clicks through to what lies beneath.
    EXPECT_EQ(send(d.item(40), WM_NCHITTEST, 0, 0), HTTRANSPARENT);
}

// ---- edit fields ------------------------------------------------------------------------------

TEST(Edits, TypingHonoursCaseDigitsAndTheLimit) {
    Template t(kStyle, 160, 70, "Typing");
    t.item(EDIT, "", 50, WS_BORDER | ES_UPPERCASE | ES_AUTOHSCROLL | WS_TABSTOP, 5, 5, 100, 12)
        .item(EDIT, "", 51, WS_BORDER | ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP, 5, 20, 100, 12)
        .item(EDIT, "", 52, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 5, 35, 100, 12);
    Dialog d(t, "Typing");
    clearNotes();
    type(d.item(50), "com1 x");
    EXPECT_EQ(text(d.item(50)), "COM1 X");
    SetWindowTextA(d.item(50), "caf\xe9");
    EXPECT_EQ(text(d.item(50)), "CAF\xc9");
    MessageBeep(MB_ICONHAND);
    d.run([&] { SetFocus(d.item(51)); });
    type(d.item(51), "1a2-3");
    EXPECT_EQ(text(d.item(51)), "123");
    EXPECT_EQ(WapiLastMessageBeep(), static_cast<UINT>(MB_OK));
    send(d.item(52), EM_LIMITTEXT, 5);
    EXPECT_EQ(send(d.item(52), EM_GETLIMITTEXT), 5);
    d.run([&] { SetFocus(d.item(52)); });
    type(d.item(52), "123456789");
    EXPECT_EQ(text(d.item(52)), "12345");
    EXPECT_EQ(countNotes(52, EN_CHANGE), 5);
    EXPECT_EQ(countNotes(52, EN_MAXTEXT), 4);
    // The limit holds typing, not the program.
    SetWindowTextA(d.item(52), "abcdefgh");
    EXPECT_EQ(text(d.item(52)), "abcdefgh");
}

TEST(Edits, SelectionByMessagesAndKeys) {
    Template t(kStyle, 160, 40, "Selecting");
    t.item(EDIT, "abcdef", 60, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 5, 5, 100, 12);
    Dialog d(t, "Selecting");
    HWND e = d.item(60);
    DWORD a, b;
    send(e, EM_SETSEL, 1, 3);
    send(e, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 3u);
    EXPECT_EQ(send(e, EM_GETSEL), MAKELRESULT(1, 3));
    // Reversed ends select the same; -1 as the end is the text's end.
    send(e, EM_SETSEL, 4, 2);
    EXPECT_EQ(send(e, EM_GETSEL), MAKELRESULT(2, 4));
    send(e, EM_SETSEL, 2, -1);
    EXPECT_EQ(send(e, EM_GETSEL), MAKELRESULT(2, 6));
    send(e, EM_SETSEL, static_cast<WPARAM>(-1), 0);
    EXPECT_EQ(send(e, EM_GETSEL), MAKELRESULT(6, 6));
    // Typing replaces the selection; Shift with arrows makes one.
    send(e, EM_SETSEL, 1, 3);
    type(e, "X");
    EXPECT_EQ(text(e), "aXdef");
    key(e, VK_HOME);
    chord(e, VK_SHIFT, VK_RIGHT);
    chord(e, VK_SHIFT, VK_RIGHT);
    EXPECT_EQ(send(e, EM_GETSEL), MAKELRESULT(0, 2));
    key(e, VK_DELETE);
    EXPECT_EQ(text(e), "def");
    key(e, VK_END);
    type(e, "\b");
    EXPECT_EQ(text(e), "de");
    send(e, EM_UNDO);
    EXPECT_EQ(text(e), "def");
    EXPECT_TRUE(send(e, EM_GETMODIFY));
    SetWindowTextA(e, "new");
    EXPECT_FALSE(send(e, EM_GETMODIFY));
    EXPECT_EQ(send(e, EM_GETSEL), MAKELRESULT(0, 0));
    // A click puts the caret between the characters it falls on.
    LRESULT pos = send(e, EM_POSFROMCHAR, 2);
    click(e, LOWORD(pos) + 1, HIWORD(pos) + 2);
    EXPECT_EQ(send(e, EM_GETSEL), MAKELRESULT(2, 2));
}

TEST(Edits, ReadOnlyFieldsTakeNoTypingAndLookGrey) {
    Template t(kStyle, 160, 40, "Read Only");
    t.item(EDIT, "fixed", 70, WS_BORDER | ES_READONLY | WS_TABSTOP, 5, 5, 100, 12);
    Dialog d(t, "Read Only");
    type(d.item(70), "zz\b\b");
    EXPECT_EQ(text(d.item(70)), "fixed");
    EXPECT_EQ(pixel(d.item(70), 130, 5), GetSysColor(COLOR_3DFACE));
    SetWindowTextA(d.item(70), "changed");
    EXPECT_EQ(text(d.item(70)), "changed");
    send(d.item(70), EM_SETREADONLY, FALSE);
    settle(d.hwnd());
    EXPECT_EQ(pixel(d.item(70), 130, 5), GetSysColor(COLOR_WINDOW));
}

TEST(Edits, WithoutAutoScrollTheTextStopsAtTheFieldsEdge) {
    Template t(kStyle, 160, 40, "Scrolling");
    t.item(EDIT, "", 80, WS_BORDER | WS_TABSTOP, 5, 5, 40, 12)
        .item(EDIT, "", 81, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 5, 20, 40, 12);
    Dialog d(t, "Scrolling");
    clearNotes();
    const char *longText = "the quick brown fox jumps over the lazy dog";
    type(d.item(80), longText);
    std::string kept = text(d.item(80));
    EXPECT_LT(kept.size(), strlen(longText));
    // Each key is tried on its own: a narrow letter may still fit after a wide one did not.
    EXPECT_EQ(kept.substr(0, 10), "the quick ");
    LRESULT end = send(d.item(80), EM_POSFROMCHAR, kept.size());
    RECT fr;
    GetClientRect(d.item(80), &fr);
    EXPECT_LE(static_cast<SHORT>(LOWORD(end)), fr.right);
    EXPECT_GT(countNotes(80, EN_MAXTEXT), 0);
    d.run([&] { SetFocus(d.item(81)); });
    type(d.item(81), longText);
    EXPECT_EQ(text(d.item(81)), longText);
    // The end is in view: the last character sits inside the field.
    RECT r;
    GetClientRect(d.item(81), &r);
    LRESULT pos = send(d.item(81), EM_POSFROMCHAR, strlen(longText) - 1);
    EXPECT_GT(static_cast<SHORT>(LOWORD(pos)), 0);
    EXPECT_LT(static_cast<SHORT>(LOWORD(pos)), r.right);
    EXPECT_GT(send(d.item(81), EM_GETFIRSTVISIBLELINE), 0);
}

// ---- list boxes --------------------------------------------------------------------------------

int lbFind(HWND l, int start, const char *s) { return static_cast<int>(sendText(l, LB_FINDSTRING, start, s)); }

std::string lbText(HWND l, int i) {
    char buf[256] = "";
    send(l, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf));
    return buf;
}

TEST(ListBoxes, SortedItemsAndSearches) {
    Template t(kStyle, 160, 90, "Sorted");
    t.item(LISTBOX, "", 90, WS_BORDER | WS_VSCROLL | LBS_SORT | LBS_NOTIFY | WS_TABSTOP, 5, 5, 80, 70);
    Dialog d(t, "Sorted");
    HWND l = d.item(90);
    for (const char *s : {"delta", "Alpha", "charlie", "Bravo", "alphabet"}) sendText(l, LB_ADDSTRING, 0, s);
    EXPECT_EQ(lbText(l, 0), "Alpha");
    EXPECT_EQ(lbText(l, 1), "alphabet");
    EXPECT_EQ(lbText(l, 4), "delta");
    // An insertion goes where it is told, sorted or not.
    EXPECT_EQ(sendText(l, LB_INSERTSTRING, 1, "zulu"), 1);
    EXPECT_EQ(sendText(l, LB_INSERTSTRING, 99, "x"), LB_ERR);
    EXPECT_EQ(lbFind(l, -1, "ALPHA"), 0);
    EXPECT_EQ(lbFind(l, 0, "alpha"), 2);
    EXPECT_EQ(lbFind(l, 2, "alpha"), 0); // round to the top
    EXPECT_EQ(sendText(l, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), "ALPHABET"), 2);
    EXPECT_EQ(sendText(l, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), "alph"), LB_ERR);
    EXPECT_EQ(sendText(l, LB_SELECTSTRING, static_cast<WPARAM>(-1), "ch"), 4);
    EXPECT_EQ(send(l, LB_GETCURSEL), 4);
    EXPECT_EQ(send(l, LB_GETTEXTLEN, 4), 7);
    EXPECT_EQ(send(l, LB_GETTEXTLEN, 9), LB_ERR);
    // Deleting above the selection moves it; deleting it clears it.
    EXPECT_EQ(send(l, LB_DELETESTRING, 0), 5);
    EXPECT_EQ(send(l, LB_GETCURSEL), 3);
    EXPECT_EQ(send(l, LB_DELETESTRING, 3), 4);
    EXPECT_EQ(send(l, LB_GETCURSEL), LB_ERR);
    EXPECT_EQ(send(l, LB_SETCURSEL, 7), LB_ERR);
    send(l, LB_SETITEMDATA, 1, 0x5A5A);
    EXPECT_EQ(send(l, LB_GETITEMDATA, 1), 0x5A5A);
    send(l, LB_RESETCONTENT);
    EXPECT_EQ(send(l, LB_GETCOUNT), 0);
}

TEST(ListBoxes, OnlyTheUsersChoicesAreReported) {
    Template t(kStyle, 160, 90, "Choices");
    t.item(LISTBOX, "", 91, WS_BORDER | LBS_NOTIFY | WS_TABSTOP | LBS_NOINTEGRALHEIGHT, 5, 5, 70, 70)
        .item(LISTBOX, "", 92, WS_BORDER | WS_TABSTOP | LBS_NOINTEGRALHEIGHT, 80, 5, 70, 70);
    Dialog d(t, "Choices");
    HWND l = d.item(91), quiet = d.item(92);
    for (const char *s : {"ASCII", "Xmodem", "Xmodem 1K", "Ymodem", "Zmodem"}) {
        sendText(l, LB_ADDSTRING, 0, s);
        sendText(quiet, LB_ADDSTRING, 0, s);
    }
    clearNotes();
    send(l, LB_SETCURSEL, 1);
    EXPECT_EQ(countNotes(91, LBN_SELCHANGE), 0);
    RECT item;
    send(l, LB_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&item));
    click(l, 10, (item.top + item.bottom) / 2);
    EXPECT_EQ(send(l, LB_GETCURSEL), 3);
    EXPECT_EQ(countNotes(91, LBN_SELCHANGE), 1);
    doubleClick(l, 10, (item.top + item.bottom) / 2);
    EXPECT_EQ(countNotes(91, LBN_DBLCLK), 1);
    key(l, VK_DOWN);
    EXPECT_EQ(send(l, LB_GETCURSEL), 4);
    EXPECT_EQ(countNotes(91, LBN_SELCHANGE), 2);
    type(l, "x");
    EXPECT_EQ(send(l, LB_GETCURSEL), 1);
    // The selected item is drawn in the highlight colour.
    send(l, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(pixel(l, item.right - 3, item.top + 3), GetSysColor(COLOR_HIGHLIGHT));
    click(quiet, 10, (item.top + item.bottom) / 2);
    EXPECT_EQ(send(quiet, LB_GETCURSEL), 1);
    EXPECT_EQ(countNotes(92, LBN_SELCHANGE), 0);
}

TEST(ListBoxes, LongListsScrollToKeepTheChoiceInView) {
    Template t(kStyle, 160, 90, "Long");
    t.item(LISTBOX, "", 93, WS_BORDER | WS_VSCROLL | LBS_NOTIFY | WS_TABSTOP, 5, 5, 70, 50)
        .item(LISTBOX, "", 94, WS_BORDER | WS_VSCROLL | WS_TABSTOP, 80, 5, 70, 50);
    Dialog d(t, "Long");
    HWND l = d.item(93);
    for (int i = 0; i < 30; i++) sendText(l, LB_ADDSTRING, 0, ("item " + std::to_string(100 + i)).c_str());
    sendText(d.item(94), LB_ADDSTRING, 0, "one");
    RECT r;
    GetClientRect(l, &r);
    int ih = static_cast<int>(send(l, LB_GETITEMHEIGHT));
    // Whole items only, unless told otherwise.
    EXPECT_EQ(r.bottom % ih, 0);
    EXPECT_TRUE(GetWindowLongA(l, GWL_STYLE) & WS_VSCROLL);
    EXPECT_FALSE(GetWindowLongA(d.item(94), GWL_STYLE) & WS_VSCROLL);
    d.run([&] { SetFocus(l); });
    key(l, VK_END);
    EXPECT_EQ(send(l, LB_GETCURSEL), 29);
    int rows = r.bottom / ih;
    EXPECT_EQ(send(l, LB_GETTOPINDEX), 30 - rows);
    SCROLLINFO si{sizeof si, SIF_ALL};
    GetScrollInfo(l, SB_VERT, &si);
    EXPECT_EQ(si.nMax, 29);
    EXPECT_EQ(static_cast<int>(si.nPage), rows);
    EXPECT_EQ(si.nPos, 30 - rows);
    key(l, VK_HOME);
    EXPECT_EQ(send(l, LB_GETTOPINDEX), 0);
    send(l, WM_VSCROLL, SB_PAGEDOWN);
    EXPECT_EQ(send(l, LB_GETTOPINDEX), rows);
    EXPECT_EQ(send(l, LB_GETCURSEL), 0);
}

TEST(ListBoxes, ExtendedSelectionWithShiftAndCtrl) {
    Template t(kStyle, 160, 90, "Many");
    t.item(LISTBOX, "", 95, WS_BORDER | LBS_EXTENDEDSEL | LBS_NOTIFY | WS_TABSTOP | LBS_NOINTEGRALHEIGHT, 5, 5, 80, 70);
    Dialog d(t, "Many");
    HWND l = d.item(95);
    for (const char *s : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}) sendText(l, LB_ADDSTRING, 0, s);
    auto at = [&](int i) {
        RECT r;
        send(l, LB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r));
        return (r.top + r.bottom) / 2;
    };
    click(l, 10, at(1));
    WapiSendKey(l, VK_SHIFT, TRUE);
    click(l, 10, at(3));
    WapiSendKey(l, VK_SHIFT, FALSE);
    EXPECT_EQ(send(l, LB_GETSELCOUNT), 3);
    WapiSendKey(l, VK_CONTROL, TRUE);
    click(l, 10, at(2));
    click(l, 10, at(0));
    WapiSendKey(l, VK_CONTROL, FALSE);
    settle(l);
    int items[8] = {};
    ASSERT_EQ(send(l, LB_GETSELITEMS, 8, reinterpret_cast<LPARAM>(items)), 3);
    EXPECT_EQ(items[0], 0);
    EXPECT_EQ(items[1], 1);
    EXPECT_EQ(items[2], 3);
    EXPECT_EQ(send(l, LB_SETCURSEL, 1), LB_ERR);
    send(l, LB_SETSEL, FALSE, -1);
    EXPECT_EQ(send(l, LB_GETSELCOUNT), 0);
}

// ---- combo boxes -------------------------------------------------------------------------------

HWND droppedList() { return FindWindowA("ComboLBox", nullptr); }

TEST(ComboBoxes, ADropDownListChoosesByKeysAndByTheListThatDrops) {
    Template t(kStyle, 160, 90, "Terminal Type");
    t.item(COMBOBOX, "", 1024, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 5, 5, 80, 56)
        .item(BUTTON, "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 100, 70, 50, 14);
    Dialog d(t, "Terminal Type");
    HWND c = d.item(1024);
    for (const char *s : {"IBM ANSI", "TTY", "VT100", "IBM3161", "ANSI EX", "TTY EX"}) sendText(c, CB_ADDSTRING, 0, s);
    clearNotes();
    EXPECT_EQ(send(c, CB_SETCURSEL, 2), 2);
    EXPECT_EQ(text(c), "VT100");
    EXPECT_EQ(countNotes(1024, CBN_SELCHANGE), 0);
    // Closed, the height is one line; CB_GETDROPPEDCONTROLRECT tells the whole.
    RECT wr, dropped;
    GetWindowRect(c, &wr);
    send(c, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    EXPECT_LT(wr.bottom - wr.top, 30);
    EXPECT_EQ(dropped.bottom - dropped.top, 91);
    EXPECT_FALSE(GetWindowLongA(c, GWL_STYLE) & WS_VSCROLL);
    d.run([&] { SetFocus(c); });
    key(c, VK_DOWN);
    EXPECT_EQ(send(c, CB_GETCURSEL), 3);
    EXPECT_EQ(countNotes(1024, CBN_SELCHANGE), 1);
    type(c, "t");
    EXPECT_EQ(text(c), "TTY EX");
    // Open it with the mouse and pick "TTY" in the list.
    click(c);
    EXPECT_TRUE(send(c, CB_GETDROPPEDSTATE));
    HWND list = droppedList();
    ASSERT_TRUE(list);
    EXPECT_TRUE(IsWindowVisible(list));
    EXPECT_EQ(countNotes(1024, CBN_DROPDOWN), 1);
    RECT item;
    send(list, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
    click(list, 10, (item.top + item.bottom) / 2);
    EXPECT_FALSE(send(c, CB_GETDROPPEDSTATE));
    EXPECT_FALSE(IsWindowVisible(list));
    EXPECT_EQ(send(c, CB_GETCURSEL), 1);
    EXPECT_EQ(text(c), "TTY");
    EXPECT_EQ(countNotes(1024, CBN_SELENDOK), 1);
    EXPECT_EQ(countNotes(1024, CBN_CLOSEUP), 1);
    EXPECT_EQ(countNotes(1024, CBN_SELCHANGE), 3);
    // F4 opens, Esc closes without a change and without ending the dialog.
    key(c, VK_F4);
    EXPECT_TRUE(send(c, CB_GETDROPPEDSTATE));
    key(c, VK_ESCAPE);
    EXPECT_FALSE(send(c, CB_GETDROPPEDSTATE));
    EXPECT_EQ(send(c, CB_GETCURSEL), 1);
    EXPECT_FALSE(d.ended());
    // Enter in the open list chooses; the next one ends the dialog.
    key(c, VK_F4);
    key(c, VK_DOWN);
    key(c, VK_RETURN);
    EXPECT_FALSE(d.ended());
    EXPECT_EQ(send(c, CB_GETCURSEL), 2);
    key(c, VK_RETURN);
    EXPECT_EQ(d.result(), IDOK);
}

TEST(ComboBoxes, ADropDownHasAFieldToTypeIn) {
    Template t(kStyle, 160, 90, "Speed");
    t.item(COMBOBOX, "", 500, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 5, 5, 80, 56);
    Dialog d(t, "Speed");
    HWND c = d.item(500);
    for (const char *s : {"9600", "19200", "38400"}) sendText(c, CB_ADDSTRING, 0, s);
    clearNotes();
    EXPECT_EQ(d.focus(), GetDlgItem(c, 1001));
    type(c, "57600");
    EXPECT_EQ(text(c), "57600");
    EXPECT_EQ(countNotes(500, CBN_EDITCHANGE), 5);
    EXPECT_EQ(send(c, CB_GETCURSEL), CB_ERR);
    key(c, VK_DOWN);
    EXPECT_EQ(text(c), "9600");
    EXPECT_EQ(send(c, CB_GETCURSEL), 0);
    EXPECT_EQ(countNotes(500, CBN_EDITCHANGE), 5);
    EXPECT_EQ(countNotes(500, CBN_SELCHANGE), 1);
    SetWindowTextA(c, "115200");
    EXPECT_EQ(text(GetDlgItem(c, 1001)), "115200");
    EXPECT_EQ(send(c, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("38")), 2);
    EXPECT_EQ(text(c), "38400");
}

// ---- the progress bar --------------------------------------------------------------------------

TEST(Progress, RangesPositionsAndSteps) {
    InitCommonControls();
    HWND p = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 200, 20, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(p);
    PBRANGE r{};
    EXPECT_EQ(send(p, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&r)), 0);
    EXPECT_EQ(r.iHigh, 100);
    EXPECT_EQ(send(p, PBM_SETRANGE, 0, MAKELPARAM(10, 50)), MAKELRESULT(0, 100));
    EXPECT_EQ(send(p, PBM_SETPOS, 70), 10); // the new range moved 0 to 10
    EXPECT_EQ(send(p, PBM_GETPOS), 50);
    EXPECT_EQ(send(p, PBM_SETPOS, 5), 50);
    EXPECT_EQ(send(p, PBM_GETPOS), 10);
    EXPECT_EQ(send(p, PBM_DELTAPOS, 15), 10);
    EXPECT_EQ(send(p, PBM_SETSTEP, 20), 10);
    EXPECT_EQ(send(p, PBM_STEPIT), 25);
    EXPECT_EQ(send(p, PBM_GETPOS), 45);
    send(p, PBM_STEPIT); // 65 is past 50: round to the start
    EXPECT_EQ(send(p, PBM_GETPOS), 25);
    // The 32-bit range keeps every bit; the old answer keeps 16.
    EXPECT_EQ(send(p, PBM_SETRANGE32, 0, 10000000), MAKELRESULT(10, 50));
    EXPECT_EQ(send(p, PBM_GETRANGE, FALSE, 0), 10000000);
    EXPECT_EQ(send(p, PBM_SETRANGE32, -5, 5), MAKELRESULT(0, 10000000 & 0xFFFF));
    EXPECT_EQ(send(p, PBM_GETRANGE, TRUE, 0), -5);
    DestroyWindow(p);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
    EXPECT_TRUE(InitCommonControlsEx(&icc));
    icc.dwSize = 4;
    EXPECT_FALSE(InitCommonControlsEx(&icc));
}

// The share of the bar's inside (the edge taken away) that holds its colour.
double filledShare(HWND bar) {
    RECT r;
    GetClientRect(bar, &r);
    int inner = r.right - 2;
    return static_cast<double>(Picture(bar).countOnRow(bar, r.bottom / 2, GetSysColor(COLOR_HIGHLIGHT))) / inner;
}

int lastFilledColumn(HWND bar) {
    RECT r;
    GetClientRect(bar, &r);
    Picture pic(bar);
    int last = -1;
    for (int x = 0; x < r.right; x++)
        if (pic.at(bar, x, r.bottom / 2) == GetSysColor(COLOR_HIGHLIGHT)) last = x;
    return last;
}

TEST(Progress, TheFillShowsTheTrueShareOfRangesBeyondSixteenBits) {
    InitCommonControls();
    Template t(WS_POPUP | WS_CAPTION | DS_MODALFRAME, 244, 60, "Bars");
    t.item(PROGRESS_CLASSA, "Progress1", 1003, 0, 10, 10, 224, 14).item(PROGRESS_CLASSA, "", 1004, PBS_SMOOTH, 10, 30, 224, 10);
    Dialog d(t, "Bars");
    HWND blocks = d.item(1003), smooth = d.item(1004);
    // A 7,000,000-byte file on a byte scale.
    for (HWND b : {blocks, smooth}) send(b, PBM_SETRANGE32, 0, 7000000);
    RECT r;
    GetClientRect(blocks, &r);
    int inner = r.right - 2;
    for (int pos : {1750000, 3500000, 6300000}) {
        for (HWND b : {blocks, smooth}) send(b, PBM_SETPOS, pos);
        settle(d.hwnd());
        double share = pos / 7000000.0;
        // The smooth bar to the pixel; the blocks to one block and its gap.
        EXPECT_NEAR(lastFilledColumn(smooth), 1 + share * inner - 1, 1.0) << pos;
        int block = (r.bottom - 2) * 2 / 3 + 2;
        EXPECT_NEAR(lastFilledColumn(blocks), share * inner, block) << pos;
        EXPECT_NEAR(filledShare(smooth), share, 0.01) << pos;
    }
    // The edge is sunken and the rest is the face colour.
    EXPECT_EQ(pixel(blocks, r.right - 2, r.bottom / 2), GetSysColor(COLOR_3DFACE));
    send(blocks, PBM_SETPOS, 7000000);
    settle(d.hwnd());
    EXPECT_GE(lastFilledColumn(blocks), inner - 1);
}

} // namespace
