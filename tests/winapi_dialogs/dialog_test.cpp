// The dialog manager as an application and a person meet it: templates of
// both forms and their dialog units, a template's own class, modal loops
// and owners, the first focus, the keyboard (Tab, arrows, Enter, Esc,
// mnemonics), the item helpers, resources and colours.
#include "dlgtest.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace dlgtest;

namespace {

const DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

RECT childRect(HWND dlg, HWND c) {
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

TEST(DialogUnits, ComeFromTheDialogFontInBothTemplateForms) {
    for (bool ex : {false, true}) {
        Template t(kDialogStyle, 136, 118, "Units", ex);
        t.item(STATIC, "CTS Timeouts:", 100, SS_RIGHT, 45, 8, 47, 8).item(BUTTON, "OK", IDOK, BS_DEFPUSHBUTTON, 50, 99, 35, 12);
        Dialog d(t, "Units");
        ASSERT_TRUE(d.hwnd());
        // "MS Sans Serif" 8: 6 by 13 pixels for 4 by 8 units.
        RECT u{4, 8, 40, 80};
        ASSERT_TRUE(MapDialogRect(d.hwnd(), &u));
        EXPECT_EQ(u.left, 6);
        EXPECT_EQ(u.top, 13);
        EXPECT_EQ(u.right, 60);
        EXPECT_EQ(u.bottom, 130);
        RECT c;
        GetClientRect(d.hwnd(), &c);
        EXPECT_EQ(c.right, 204) << ex;
        EXPECT_EQ(c.bottom, 192) << ex;
        RECT ok = childRect(d.hwnd(), d.item(IDOK));
        EXPECT_EQ(ok.left, 75);
        EXPECT_EQ(ok.top, 161);
        EXPECT_EQ(ok.right - ok.left, 53);
        EXPECT_EQ(ok.bottom - ok.top, 20);
        HFONT f = reinterpret_cast<HFONT>(SendMessageA(d.item(100), WM_GETFONT, 0, 0));
        EXPECT_EQ(f, reinterpret_cast<HFONT>(SendMessageA(d.hwnd(), WM_GETFONT, 0, 0)));
        LOGFONTA lf{};
        ASSERT_TRUE(GetObjectA(f, sizeof lf, &lf));
        EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif");
        EXPECT_EQ(lf.lfHeight, -11);
    }
}

TEST(DialogUnits, ABiggerFontMakesBiggerUnitsAndNoFontTheSystemOnes) {
    Template big(kDialogStyle, 100, 50, "Big", false, "MS Sans Serif", 10);
    Dialog d(big, "Big");
    RECT u{4, 8, 4, 8};
    MapDialogRect(d.hwnd(), &u);
    EXPECT_GT(u.left, 6);
    EXPECT_GT(u.top, 13);

    Template none(kDialogStyle, 100, 50, "System", false, nullptr);
    Dialog s(none, "System");
    LONG base = GetDialogBaseUnits();
    RECT v{4, 8, 4, 8};
    MapDialogRect(s.hwnd(), &v);
    EXPECT_EQ(v.left, LOWORD(base));
    EXPECT_EQ(v.top, HIWORD(base));
    EXPECT_FALSE(MapDialogRect(GetDesktopWindow(), &v));
}

std::atomic<int> g_classInit{0};
std::atomic<LPARAM> g_classParam{0};

LRESULT CALLBACK ownClassProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        g_classInit++;
        g_classParam = lp;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
        DestroyWindow(h);
        return 0;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

TEST(DialogClass, ATemplateNamesItsOwnClassAndKeepsTheDialogWords) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ownClassProc;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "OwnDialogClass";
    ASSERT_TRUE(RegisterClassA(&wc));
    Template t(WS_POPUP | WS_CAPTION | DS_MODALFRAME, 244, 142, "Zmodem Send", false, "MS Sans Serif", 8, "OwnDialogClass");
    t.item(EDIT, "", 1000, ES_READONLY | WS_BORDER, 49, 5, 92, 12)
        .item(BUTTON, "  Cancel  ", IDCANCEL, BS_DEFPUSHBUTTON | WS_TABSTOP, 105, 120, 34, 14);
    g_classInit = 0;
    HWND h = CreateDialogIndirectParamA(nullptr, t.get(), nullptr, nullptr, 77);
    ASSERT_TRUE(h);
    char cls[64];
    GetClassNameA(h, cls, sizeof cls);
    EXPECT_STREQ(cls, "OwnDialogClass");
    EXPECT_EQ(g_classInit.load(), 1);
    EXPECT_EQ(g_classParam.load(), 77);
    EXPECT_TRUE(GetDlgItem(h, 1000));
    // The bordered field got the sunken look of dialogs.
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(h, 1000), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_FALSE(GetWindowLongA(GetDlgItem(h, 1000), GWL_STYLE) & WS_BORDER);
    SetWindowLongA(h, DWL_USER, 12);
    EXPECT_EQ(GetWindowLongA(h, DWL_USER), 12);
    EXPECT_EQ(GetWindowLongPtrA(h, DWLP_USER), 12);
    SetWindowLongPtrA(h, DWLP_USER, 0x123456789LL);
    EXPECT_EQ(GetWindowLongPtrA(h, DWLP_USER), 0x123456789LL);
    // Esc works through IsDialogMessage even for a class that knows nothing of dialogs.
    MSG m{h, WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
    EXPECT_TRUE(IsDialogMessageA(h, &m));
    EXPECT_FALSE(IsWindow(h));
    UnregisterClassA("OwnDialogClass", nullptr);
}

TEST(ModalLoop, TheOwnerWaitsDisabledUntilTheDialogEnds) {
    std::atomic<HWND> owner{nullptr};
    Template t(kDialogStyle, 100, 50, "Owned");
    t.item(BUTTON, "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 25, 30, 50, 14);
    App<INT_PTR> app([&] {
        HWND o = CreateWindowExA(0, "Static", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, nullptr,
                                 nullptr, nullptr, nullptr);
        owner = o;
        INT_PTR r = DialogBoxIndirectParamA(nullptr, t.get(), o,
                                            [](HWND d, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
                                                if (msg == WM_COMMAND && LOWORD(wp) == IDOK) EndDialog(d, 42);
                                                return msg == WM_INITDIALOG;
                                            },
                                            0);
        // Still enabled after the loop, and the dialog is gone.
        if (!IsWindowEnabled(o) || FindWindowA(nullptr, "Owned")) r = -5;
        DestroyWindow(o);
        return r;
    });
    HWND dlg = waitForWindow("Owned");
    ASSERT_TRUE(dlg);
    EXPECT_FALSE(IsWindowEnabled(owner.load()));
    EXPECT_EQ(GetWindow(dlg, GW_OWNER), owner.load());
    // Placed in the owner's client coordinates.
    RECT wr;
    GetWindowRect(dlg, &wr);
    POINT o{0, 0};
    ClientToScreen(owner.load(), &o);
    EXPECT_GE(wr.left, o.x);
    click(GetDlgItem(dlg, IDOK));
    EXPECT_EQ(app.result(), 42);
}

TEST(ModalLoop, ADialogEndedWhileStartingIsNeverShown) {
    Template t(kDialogStyle | WS_VISIBLE, 100, 50, "Never Seen");
    std::atomic<bool> shown{false};
    static std::atomic<bool> *seen;
    seen = &shown;
    INT_PTR r = DialogBoxIndirectParamA(nullptr, t.get(), nullptr,
                                        [](HWND d, UINT msg, WPARAM, LPARAM) -> INT_PTR {
                                            if (msg == WM_INITDIALOG) EndDialog(d, 17);
                                            if (msg == WM_SHOWWINDOW) *seen = true;
                                            return FALSE;
                                        },
                                        0);
    EXPECT_EQ(r, 17);
    EXPECT_FALSE(shown.load());
    EXPECT_FALSE(FindWindowA(nullptr, "Never Seen"));
}

TEST(ModalLoop, QuitEndsTheLoopAndIsPostedAgain) {
    Template t(kDialogStyle, 100, 50, "Quitting");
    App<int> app([&] {
        DialogBoxIndirectParamA(nullptr, t.get(), nullptr, nullptr, 0);
        MSG m;
        return PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) ? static_cast<int>(m.wParam) : -1;
    });
    HWND dlg = waitForWindow("Quitting");
    ASSERT_TRUE(dlg);
    PostThreadMessageA(GetWindowThreadProcessId(dlg, nullptr), WM_QUIT, 9, 0);
    EXPECT_EQ(app.result(), 9);
    EXPECT_FALSE(IsWindow(dlg));
}

TEST(ModalLoop, AControlThatCannotBeMadeFailsTheDialog) {
    Template bad(kDialogStyle, 100, 50, "Bad");
    bad.item("NoSuchClass", "", 5, 0, 0, 0, 10, 10);
    EXPECT_EQ(DialogBoxIndirectParamA(nullptr, bad.get(), nullptr, nullptr, 0), -1);
    EXPECT_FALSE(FindWindowA(nullptr, "Bad"));
    Template tolerant(kDialogStyle | DS_NOFAILCREATE, 100, 50, "Tolerant");
    tolerant.item("NoSuchClass", "", 5, 0, 0, 0, 10, 10).item(BUTTON, "OK", IDOK, BS_PUSHBUTTON, 0, 20, 40, 14);
    HWND h = CreateDialogIndirectParamA(nullptr, tolerant.get(), nullptr, nullptr, 0);
    ASSERT_TRUE(h);
    EXPECT_TRUE(GetDlgItem(h, IDOK));
    EXPECT_FALSE(GetDlgItem(h, 5));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
    DestroyWindow(h);
}

// Edit, plain button, check box, disabled button, hidden edit, three option
// buttons, OK and Cancel.
Template focusTemplate(const char *title) {
    Template t(kDialogStyle, 200, 120, title);
    t.item(STATIC, "&Name:", 99, SS_LEFT, 5, 7, 30, 8)
        .item(EDIT, "hello", 100, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 40, 5, 80, 12)
        .item(BUTTON, "No stop", 101, BS_PUSHBUTTON, 5, 22, 40, 14)
        .item(BUTTON, "&Check", 102, BS_AUTOCHECKBOX | WS_TABSTOP, 50, 22, 60, 10)
        .item(BUTTON, "Off", 103, BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 120, 22, 40, 14)
        .item(EDIT, "", 104, WS_TABSTOP, 5, 40, 20, 12)
        .item(BUTTON, "&One", 110, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 5, 60, 40, 10)
        .item(BUTTON, "&Two", 111, BS_AUTORADIOBUTTON, 5, 72, 40, 10)
        .item(BUTTON, "T&hree", 112, BS_AUTORADIOBUTTON, 5, 84, 40, 10)
        .item(BUTTON, "&Beep", 113, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 60, 60, 40, 14)
        .item(BUTTON, "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 90, 100, 50, 14)
        .item(BUTTON, "Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 145, 100, 50, 14);
    return t;
}

bool hideOne(HWND dlg, UINT msg, WPARAM, LPARAM, INT_PTR *r) {
    if (msg != WM_INITDIALOG) return false;
    ShowWindow(GetDlgItem(dlg, 104), SW_HIDE);
    CheckRadioButton(dlg, 110, 112, 110);
    *r = TRUE;
    return true;
}

TEST(Focus, InitDialogTrueFocusesTheFirstTabStopWithItsTextSelected) {
    Template t = focusTemplate("First Focus");
    Dialog d(t, "First Focus", hideOne);
    EXPECT_EQ(d.focus(), d.item(100));
    DWORD a = 9, b = 9;
    SendMessageA(d.item(100), EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(b, 5u);
}

TEST(Focus, InitDialogFalseKeepsTheFocusTheProcedureChose) {
    Template t = focusTemplate("Own Focus");
    Dialog d(t, "Own Focus", [](HWND dlg, UINT msg, WPARAM, LPARAM, INT_PTR *r) {
        if (msg != WM_INITDIALOG) return false;
        SetFocus(GetDlgItem(dlg, IDCANCEL));
        *r = FALSE;
        return true;
    });
    EXPECT_EQ(d.focus(), d.item(IDCANCEL));
}

TEST(Keyboard, TabAndShiftTabVisitTheTabStopsThatCanTakeTheFocus) {
    Template t = focusTemplate("Tabbing");
    Dialog d(t, "Tabbing", hideOne);
    std::vector<int> forward;
    for (int i = 0; i < 6; i++) {
        key(d.hwnd(), VK_TAB);
        forward.push_back(GetDlgCtrlID(d.focus()));
    }
    // Disabled and hidden ones are skipped; the option group is one stop (the checked one).
    EXPECT_EQ(forward, (std::vector<int>{102, 110, 113, IDOK, IDCANCEL, 100}));
    chord(d.hwnd(), VK_SHIFT, VK_TAB);
    EXPECT_EQ(d.focus(), d.item(IDCANCEL));
    chord(d.hwnd(), VK_SHIFT, VK_TAB);
    EXPECT_EQ(d.focus(), d.item(IDOK));
    EXPECT_EQ(GetNextDlgTabItem(d.hwnd(), nullptr, FALSE), d.item(100));
    EXPECT_EQ(GetNextDlgTabItem(d.hwnd(), nullptr, TRUE), d.item(IDCANCEL));
    EXPECT_EQ(GetNextDlgTabItem(d.hwnd(), d.item(102), FALSE), d.item(110));
    EXPECT_EQ(GetNextDlgTabItem(d.hwnd(), d.item(102), TRUE), d.item(100));
}

TEST(Keyboard, ArrowsMoveAndCheckWithinTheGroupOnly) {
    Template t = focusTemplate("Arrows");
    Dialog d(t, "Arrows", hideOne);
    clearNotes();
    d.run([&] { SetFocus(d.item(110)); });
    key(d.hwnd(), VK_DOWN);
    EXPECT_EQ(d.focus(), d.item(111));
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 111), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 110), BST_UNCHECKED);
    EXPECT_EQ(countNotes(111, BN_CLICKED), 1);
    key(d.hwnd(), VK_DOWN);
    key(d.hwnd(), VK_DOWN);
    // Round within the group, never into the next one.
    EXPECT_EQ(d.focus(), d.item(110));
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 110), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 112), BST_UNCHECKED);
    key(d.hwnd(), VK_UP);
    EXPECT_EQ(d.focus(), d.item(112));
    // Only the checked one is a tab stop now.
    EXPECT_TRUE(GetWindowLongA(d.item(112), GWL_STYLE) & WS_TABSTOP);
    EXPECT_FALSE(GetWindowLongA(d.item(110), GWL_STYLE) & WS_TABSTOP);
}

TEST(Keyboard, EnterPressesTheDefaultButtonOrTheFocusedOne) {
    Template t = focusTemplate("Enter");
    {
        Dialog d(t, "Enter", hideOne);
        EXPECT_EQ(SendMessageA(d.hwnd(), DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
        type(d.item(100), "\n");
        EXPECT_EQ(d.result(), IDOK);
    }
    {
        Dialog d(t, "Enter", hideOne);
        clearNotes();
        d.run([&] { SetFocus(d.item(100)); });
        key(d.hwnd(), VK_TAB); // the check box
        key(d.hwnd(), VK_TAB); // the option group
        key(d.hwnd(), VK_TAB); // "Beep", a push button: it looks like the default one now
        EXPECT_EQ(d.focus(), d.item(113));
        EXPECT_EQ(GetWindowLongA(d.item(113), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        EXPECT_EQ(GetWindowLongA(d.item(IDOK), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
        key(d.hwnd(), VK_RETURN);
        EXPECT_EQ(countNotes(113, BN_CLICKED), 1);
        EXPECT_FALSE(d.ended());
        // Back in the field, OK is the default again.
        d.run([&] { SendMessageA(d.hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(d.item(100)), TRUE); });
        EXPECT_EQ(GetWindowLongA(d.item(IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        EXPECT_EQ(GetWindowLongA(d.item(113), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
        key(d.hwnd(), VK_ESCAPE);
        EXPECT_EQ(d.result(), IDCANCEL);
    }
}

TEST(Keyboard, DefIdMessagesMoveTheDefault) {
    Template t = focusTemplate("DefId");
    Dialog d(t, "DefId", hideOne);
    d.run([&] { SendMessageA(d.hwnd(), DM_SETDEFID, IDCANCEL, 0); });
    EXPECT_EQ(SendMessageA(d.hwnd(), DM_GETDEFID, 0, 0), MAKELRESULT(IDCANCEL, DC_HASDEFID));
    EXPECT_EQ(GetWindowLongA(d.item(IDCANCEL), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(GetWindowLongA(d.item(IDOK), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    key(d.item(100), VK_RETURN);
    EXPECT_EQ(d.result(), IDCANCEL);
}

TEST(Keyboard, MnemonicsGoToLabelsFieldsAndPressButtons) {
    Template t = focusTemplate("Mnemonics");
    Dialog d(t, "Mnemonics", hideOne);
    clearNotes();
    d.run([&] { SetFocus(d.item(IDCANCEL)); });
    // A letter alone works where the focus takes no characters.
    type(d.hwnd(), "c");
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 102), BST_CHECKED);
    EXPECT_EQ(d.focus(), d.item(102));
    chord(d.hwnd(), VK_MENU, 'B');
    EXPECT_EQ(countNotes(113, BN_CLICKED), 1);
    chord(d.hwnd(), VK_MENU, 'N');
    EXPECT_EQ(d.focus(), d.item(100));
    // In the field, letters are typed, not mnemonics.
    type(d.item(100), "c");
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 102), BST_CHECKED);
    EXPECT_EQ(text(d.item(100)), "c");
    chord(d.hwnd(), VK_MENU, 'H');
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 112), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), 110), BST_UNCHECKED);
}

TEST(Items, IntegersReadAsWindowsReadsThem) {
    Template t(kDialogStyle, 100, 50, "Numbers");
    t.item(EDIT, "", 100, WS_BORDER, 5, 5, 80, 12);
    HWND h = CreateDialogIndirectParamA(nullptr, t.get(), nullptr, nullptr, 0);
    ASSERT_TRUE(h);
    BOOL ok;
    SetDlgItemInt(h, 100, static_cast<UINT>(-7), TRUE);
    EXPECT_EQ(itemText(h, 100), "-7");
    EXPECT_EQ(static_cast<int>(GetDlgItemInt(h, 100, &ok, TRUE)), -7);
    EXPECT_TRUE(ok);
    GetDlgItemInt(h, 100, &ok, FALSE);
    EXPECT_FALSE(ok);
    SetDlgItemInt(h, 100, 4294967295u, FALSE);
    EXPECT_EQ(itemText(h, 100), "4294967295");
    EXPECT_EQ(GetDlgItemInt(h, 100, &ok, FALSE), 4294967295u);
    EXPECT_TRUE(ok);
    struct Case {
        const char *text;
        BOOL isSigned;
        BOOL ok;
        UINT value;
    } cases[] = {{"  42  ", FALSE, TRUE, 42},   {"12ab", FALSE, FALSE, 0},       {"", TRUE, FALSE, 0},
                 {"4294967296", FALSE, FALSE, 0}, {"2147483648", TRUE, FALSE, 0}, {"-2147483648", TRUE, TRUE, 0x80000000u},
                 {"+15", TRUE, TRUE, 15},        {"- 3", TRUE, FALSE, 0}};
    for (const Case &c : cases) {
        SetDlgItemTextA(h, 100, c.text);
        EXPECT_EQ(GetDlgItemInt(h, 100, &ok, c.isSigned), c.value) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
    }
    EXPECT_EQ(GetDlgItemInt(h, 999, &ok, FALSE), 0u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(SendDlgItemMessageA(h, 999, WM_GETTEXTLENGTH, 0, 0), 0);
    char buf[8] = "x";
    EXPECT_EQ(GetDlgItemTextA(h, 999, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "");
    DestroyWindow(h);
}

TEST(Items, CheckRadioButtonChecksOneOfARange) {
    Template t(kDialogStyle, 100, 60, "Radios");
    t.item(BUTTON, "a", 10, BS_RADIOBUTTON | WS_GROUP, 5, 5, 40, 10)
        .item(BUTTON, "b", 11, BS_RADIOBUTTON, 5, 17, 40, 10)
        .item(BUTTON, "c", 12, BS_RADIOBUTTON, 5, 29, 40, 10)
        .item(BUTTON, "x", 13, BS_AUTOCHECKBOX, 5, 41, 40, 10);
    HWND h = CreateDialogIndirectParamA(nullptr, t.get(), nullptr, nullptr, 0);
    ASSERT_TRUE(h);
    CheckDlgButton(h, 13, BST_CHECKED);
    EXPECT_TRUE(CheckRadioButton(h, 10, 12, 11));
    EXPECT_EQ(IsDlgButtonChecked(h, 10), 0u);
    EXPECT_EQ(IsDlgButtonChecked(h, 11), 1u);
    EXPECT_EQ(IsDlgButtonChecked(h, 12), 0u);
    EXPECT_TRUE(CheckRadioButton(h, 10, 12, 12));
    EXPECT_EQ(IsDlgButtonChecked(h, 11), 0u);
    EXPECT_EQ(IsDlgButtonChecked(h, 12), 1u);
    // Outside the range nothing changes.
    EXPECT_EQ(IsDlgButtonChecked(h, 13), 1u);
    DestroyWindow(h);
}

TEST(Resources, DialogBoxParamFindsTheModulesTemplateByNumberOrName) {
    static Template t(kDialogStyle, 100, 50, "From Resource");
    t.item(BUTTON, "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 25, 30, 50, 14);
    HMODULE self = GetModuleHandleA(nullptr);
    ASSERT_TRUE(WapiAddResource(self, RT_DIALOG, MAKEINTRESOURCEA(122), t.get(), static_cast<DWORD>(t.bytes())));
    ASSERT_TRUE(WapiAddResource(self, RT_DIALOG, "NAMED", t.get(), static_cast<DWORD>(t.bytes())));
    HRSRC r = FindResourceA(self, "#122", RT_DIALOG);
    ASSERT_TRUE(r);
    EXPECT_EQ(SizeofResource(self, r), t.bytes());
    EXPECT_EQ(LockResource(LoadResource(self, r)), t.get());
    for (LPCSTR name : std::vector<LPCSTR>{MAKEINTRESOURCEA(122), "named"}) {
        App<INT_PTR> app([&] {
            return DialogBoxParamA(self, name, nullptr,
                                   [](HWND d, UINT msg, WPARAM wp, LPARAM lp) -> INT_PTR {
                                       if (msg == WM_INITDIALOG) SetWindowLongPtrA(d, DWLP_USER, lp);
                                       if (msg == WM_COMMAND && LOWORD(wp) == IDOK)
                                           EndDialog(d, GetWindowLongPtrA(d, DWLP_USER));
                                       return msg == WM_INITDIALOG;
                                   },
                                   321);
        });
        HWND dlg = waitForWindow("From Resource");
        ASSERT_TRUE(dlg);
        key(dlg, VK_RETURN);
        EXPECT_EQ(app.result(), 321);
    }
    SetLastError(0);
    EXPECT_EQ(DialogBoxParamA(self, MAKEINTRESOURCEA(999), nullptr, nullptr, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(CreateDialogParamA(self, MAKEINTRESOURCEA(5), nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(FindResourceA(self, MAKEINTRESOURCEA(122), RT_MENU), nullptr);
}

TEST(Colours, TheDialogAndItsControlsAskTheirParentForBrushes) {
    static HBRUSH red = CreateSolidBrush(RGB(200, 0, 0));
    static HBRUSH yellow = CreateSolidBrush(RGB(255, 255, 0));
    static std::atomic<int> btnAsked{0}, editAsked{0}, listAsked{0};
    Template t(kDialogStyle, 120, 80, "Colours");
    t.item(STATIC, "label", 100, SS_LEFT, 5, 5, 60, 10)
        .item(EDIT, "field", 101, WS_BORDER, 5, 20, 60, 12)
        .item(LISTBOX, "", 102, WS_BORDER, 70, 5, 40, 30)
        .item(BUTTON, "OK", IDOK, BS_DEFPUSHBUTTON, 35, 60, 50, 14);
    Dialog d(t, "Colours", [](HWND, UINT msg, WPARAM, LPARAM, INT_PTR *r) {
        switch (msg) {
        case WM_CTLCOLORDLG: *r = reinterpret_cast<INT_PTR>(red); return true;
        case WM_CTLCOLORSTATIC: *r = reinterpret_cast<INT_PTR>(yellow); return true;
        case WM_CTLCOLORBTN: btnAsked++; return false;
        case WM_CTLCOLOREDIT: editAsked++; return false;
        case WM_CTLCOLORLISTBOX: listAsked++; return false;
        }
        return false;
    });
    EXPECT_EQ(pixel(d.hwnd(), 2, 2), RGB(200, 0, 0));
    EXPECT_EQ(pixel(d.hwnd(), 175, 90), RGB(200, 0, 0));
    EXPECT_EQ(pixel(d.item(100), 80, 3), RGB(255, 255, 0));
    // Unhandled, the edit field and the list are white, the button the face colour.
    EXPECT_EQ(pixel(d.item(101), 70, 4), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(pixel(d.item(102), 20, 20), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(pixel(d.item(IDOK), 4, 4), GetSysColor(COLOR_BTNFACE));
    EXPECT_GT(btnAsked.load(), 0);
    EXPECT_GT(editAsked.load(), 0);
    EXPECT_GT(listAsked.load(), 0);
}

TEST(Procedure, ResultsGoThroughDwlpMsgResultExceptWhereTheyAreReturned) {
    static HBRUSH green = CreateSolidBrush(RGB(0, 128, 0));
    Template t(kDialogStyle, 100, 50, "Results");
    Dialog d(t, "Results", [](HWND dlg, UINT msg, WPARAM wp, LPARAM, INT_PTR *r) {
        if (msg == WM_APP + 1) {
            SetWindowLongPtrA(dlg, DWLP_MSGRESULT, 1234);
            *r = TRUE;
            return true;
        }
        if (msg == WM_APP + 2) { // handled, but no result set: 0
            *r = TRUE;
            return true;
        }
        if (msg == WM_APP + 3) { // not handled: DefWindowProc's answer
            *r = FALSE;
            return true;
        }
        if (msg == WM_CTLCOLORDLG && wp == 1) {
            *r = reinterpret_cast<INT_PTR>(green);
            return true;
        }
        return false;
    });
    EXPECT_EQ(SendMessageA(d.hwnd(), WM_APP + 1, 0, 0), 1234);
    EXPECT_EQ(SendMessageA(d.hwnd(), WM_APP + 2, 0, 0), 0);
    EXPECT_EQ(SendMessageA(d.hwnd(), WM_APP + 3, 0, 0), 0);
    EXPECT_EQ(GetWindowLongPtrA(d.hwnd(), DWLP_MSGRESULT), 0);
    // A brush comes back as the result itself.
    EXPECT_EQ(SendMessageA(d.hwnd(), WM_CTLCOLORDLG, 1, 0), reinterpret_cast<LRESULT>(green));
    // The procedure is in DWLP_DLGPROC; a window that is no dialog has no such word.
    EXPECT_NE(GetWindowLongPtrA(d.hwnd(), DWLP_DLGPROC), 0);
    HWND plain = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrA(plain, DWLP_USER), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    DestroyWindow(plain);
}

TEST(Modeless, TheApplicationsLoopGivesTheDialogItsKeys) {
    Template t = focusTemplate("Modeless");
    App<int> app([&] {
        HWND h = CreateDialogIndirectParamA(nullptr, t.get(), nullptr,
                                            [](HWND d, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
                                                if (msg == WM_INITDIALOG) {
                                                    ShowWindow(d, SW_SHOW);
                                                    return TRUE;
                                                }
                                                if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
                                                    DestroyWindow(d);
                                                    PostQuitMessage(3);
                                                }
                                                return msg == WM_COMMAND;
                                            },
                                            0);
        MSG m;
        while (GetMessageA(&m, nullptr, 0, 0) > 0) {
            if (!IsDialogMessageA(h, &m)) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
        }
        return static_cast<int>(m.wParam);
    });
    HWND h = waitForWindow("Modeless");
    ASSERT_TRUE(h);
    key(GetDlgItem(h, 100), VK_END);
    type(GetDlgItem(h, 100), " world");
    EXPECT_EQ(itemText(h, 100), "hello world");
    key(h, VK_TAB);
    key(h, VK_SPACE);
    EXPECT_EQ(IsDlgButtonChecked(h, 102), BST_CHECKED);
    key(h, VK_ESCAPE);
    EXPECT_EQ(app.result(), 3);
}

} // namespace
