// Pictures of the dialogs, controls and message boxes for a person to look
// at: set WAPI_DIALOG_SNAPSHOTS to a directory and run
//   test_winapi_dialogs --gtest_filter='Snapshots.*'
// Each picture is also checked for the little that a program can tell.
#include "dlgtest.h"

#include "support.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using namespace dlgtest;

namespace {

std::string snapshotDir() {
    const char *d = std::getenv("WAPI_DIALOG_SNAPSHOTS");
    return d ? d : "";
}

#define NEED_SNAPSHOT_DIR()                                                                    \
    std::string dir = snapshotDir();                                                            \
    if (dir.empty()) GTEST_SKIP() << "set WAPI_DIALOG_SNAPSHOTS to a directory to make pictures"

void save(HWND h, const std::string &dir, const char *name) {
    settle(h);
    std::string path = dir + "/" + name;
    EXPECT_TRUE(WapiSnapshotWindow(h, path.c_str())) << path;
}

INT_PTR CALLBACK allControlsProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) {
        HWND list = GetDlgItem(dlg, 300);
        for (const char *s : {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "COM10"})
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
        SendMessageA(list, LB_SETCURSEL, 2, 0);
        HWND combo = GetDlgItem(dlg, 301);
        for (const char *s : {"IBM ANSI", "TTY", "VT100", "IBM3161", "ANSI EX", "TTY EX"})
            SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
        SendMessageA(combo, CB_SETCURSEL, 2, 0);
        HWND combo2 = GetDlgItem(dlg, 302);
        for (const char *s : {"300", "1200", "2400", "9600"})
            SendMessageA(combo2, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
        SetWindowTextA(combo2, "19200");
        CheckDlgButton(dlg, 201, BST_CHECKED);
        CheckDlgButton(dlg, 202, BST_INDETERMINATE);
        CheckRadioButton(dlg, 210, 212, 211);
        SendDlgItemMessageA(dlg, 400, PBM_SETRANGE32, 0, 10000000);
        SendDlgItemMessageA(dlg, 400, PBM_SETPOS, 4000000, 0);
        SendDlgItemMessageA(dlg, 401, PBM_SETPOS, 70, 0);
        SendDlgItemMessageA(dlg, 110, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_ASTERISK)), 0);
        return TRUE;
    }
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        EndDialog(dlg, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

} // namespace

TEST(Snapshots, MessageBoxOfEachIcon) {
    NEED_SNAPSHOT_DIR();
    struct Kind {
        UINT type;
        const char *file;
        const char *text;
    } kinds[] = {
        {MB_ICONHAND | MB_OK, "msgbox_hand.png", "Unable to Open/Read KeyBoard File!"},
        {MB_ICONQUESTION | MB_YESNO, "msgbox_question.png", "/tmp/received/report.txt already exists.\nDo you want to replace it?"},
        {MB_ICONEXCLAMATION | MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, "msgbox_exclamation.png",
         "The port did not answer. A rather longer text, so that a person can see how a message box wraps its lines when they are too long for one."},
        {MB_ICONASTERISK | MB_OKCANCEL, "msgbox_asterisk.png", "Transfer Completed"},
        {MB_RETRYCANCEL, "msgbox_plain.png", "No icon at all."},
    };
    for (const Kind &k : kinds) {
        App<int> app([&] { return MessageBoxA(nullptr, k.text, "Vorlex", k.type); });
        HWND box = waitForWindow("Vorlex");
        ASSERT_TRUE(box);
        save(box, dir, k.file);
        key(box, VK_ESCAPE);
        if (!app.done()) key(box, VK_RETURN);
        EXPECT_NE(app.result(), -999);
    }
}

TEST(Snapshots, DialogWithEveryControl) {
    NEED_SNAPSHOT_DIR();
    InitCommonControls();
    Template t(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK, 300, 196, "Every Control");
    t.item(STATIC, "Left text:", 100, SS_LEFT, 8, 8, 60, 8)
        .item(STATIC, "Centred", 101, SS_CENTER | SS_SUNKEN, 72, 8, 60, 10)
        .item(STATIC, "Right text", 102, SS_RIGHT, 136, 8, 60, 8)
        .item(STATIC, "", 103, SS_ETCHEDHORZ, 8, 22, 188, 2)
        .item(STATIC, "", 110, SS_ICON, 204, 6, 20, 20)
        .item(STATIC, "Disabled label", 104, SS_LEFT | WS_DISABLED, 232, 10, 60, 8)
        .item(EDIT, "Some text in an edit field", 150, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 8, 30, 120, 12)
        .item(EDIT, "Read-only field", 151, WS_BORDER | ES_READONLY | ES_AUTOHSCROLL, 136, 30, 80, 12)
        .item(EDIT, "Disabled field", 152, WS_BORDER | WS_DISABLED, 222, 30, 70, 12)
        .item(BUTTON, "&Data", 220, BS_GROUPBOX, 8, 48, 90, 52)
        .item(BUTTON, "&7 bits", 210, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 16, 60, 70, 10)
        .item(BUTTON, "&8 bits", 211, BS_AUTORADIOBUTTON, 16, 72, 70, 10)
        .item(BUTTON, "Disabled", 212, BS_AUTORADIOBUTTON | WS_DISABLED, 16, 84, 70, 10)
        .item(BUTTON, "&Checked box", 201, BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, 106, 52, 80, 10)
        .item(BUTTON, "&Three states", 202, BS_AUTO3STATE | WS_TABSTOP, 106, 64, 80, 10)
        .item(BUTTON, "&Unchecked", 203, BS_AUTOCHECKBOX | WS_TABSTOP, 106, 76, 80, 10)
        .item(BUTTON, "Disabled box", 204, BS_AUTOCHECKBOX | WS_DISABLED, 106, 88, 80, 10)
        .item(LISTBOX, "", 300, WS_BORDER | WS_VSCROLL | LBS_NOTIFY | WS_TABSTOP | LBS_NOINTEGRALHEIGHT, 196, 48, 96, 60)
        .item(COMBOBOX, "", 301, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 8, 108, 90, 60)
        .item(COMBOBOX, "", 302, CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, 106, 108, 80, 60)
        .item("msctls_progress32", "", 400, 0, 8, 130, 284, 12)
        .item("msctls_progress32", "", 401, PBS_SMOOTH, 8, 146, 284, 8)
        .item(BUTTON, "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 132, 174, 50, 14)
        .item(BUTTON, "Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 188, 174, 50, 14)
        .item(BUTTON, "Disabled", 205, BS_PUSHBUTTON | WS_DISABLED, 244, 174, 50, 14);
    App<INT_PTR> app([&] { return DialogBoxIndirectParamA(nullptr, t.get(), nullptr, allControlsProc, 0); });
    HWND dlg = waitForWindow("Every Control");
    ASSERT_TRUE(dlg);
    save(dlg, dir, "controls.png");
    // The drop-down list open, as the screen shows it.
    click(GetDlgItem(dlg, 301));
    std::string screen = dir + "/controls_dropped.png";
    EXPECT_TRUE(WapiSnapshotScreen(screen.c_str()));
    key(dlg, VK_ESCAPE);
    key(dlg, VK_ESCAPE);
    EXPECT_EQ(app.result(), IDCANCEL);
}

TEST(Snapshots, FileAndFolderDialogs) {
    NEED_SNAPSHOT_DIR();
    testsupport::TempDir tmp;
    CreateDirectoryA((tmp.path() + "/Downloads").c_str(), nullptr);
    CreateDirectoryA((tmp.path() + "/Uploads").c_str(), nullptr);
    for (const char *f : {"notes.txt", "readme.doc", "archive.zip", "photo.jpg", "terminal.kbd"})
        std::ofstream(tmp.file(f)) << "x";
    char file[260] = "";
    OPENFILENAMEA o{};
    o.lStructSize = sizeof o;
    o.lpstrFilter = "Text Files (*.txt;*.doc)\0*.txt;*.doc\0All Files (*.*)\0*.*\0";
    o.nFilterIndex = 2;
    o.lpstrFile = file;
    o.nMaxFile = sizeof file;
    o.lpstrInitialDir = tmp.path().c_str();
    o.lpstrTitle = "Select A File Or Group Of Files To Upload";
    o.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    {
        App<BOOL> app([&] { return GetOpenFileNameA(&o); });
        HWND dlg = waitForWindow(o.lpstrTitle);
        ASSERT_TRUE(dlg);
        save(dlg, dir, "open.png");
        key(dlg, VK_ESCAPE);
        EXPECT_EQ(app.result(), FALSE);
    }
    o.lpstrTitle = "Save Capture As";
    o.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    lstrcpyA(file, "session.cap");
    {
        App<BOOL> app([&] { return GetSaveFileNameA(&o); });
        HWND dlg = waitForWindow("Save Capture As");
        ASSERT_TRUE(dlg);
        save(dlg, dir, "save.png");
        key(dlg, VK_ESCAPE);
        EXPECT_EQ(app.result(), FALSE);
    }
    BROWSEINFOA bi{};
    bi.lpszTitle = "Select the folder that receives the files:";
    bi.ulFlags = BIF_RETURNONLYFSDIRS;
    bi.lpfn = [](HWND h, UINT msg, LPARAM, LPARAM data) -> int {
        if (msg == BFFM_INITIALIZED) SendMessageA(h, BFFM_SETSELECTIONA, TRUE, data);
        return 0;
    };
    bi.lParam = reinterpret_cast<LPARAM>(tmp.path().c_str());
    {
        App<PIDLIST_ABSOLUTE> app([&] { return SHBrowseForFolderA(&bi); });
        HWND dlg = waitForWindow("Browse for Folder");
        ASSERT_TRUE(dlg);
        save(dlg, dir, "folder.png");
        key(dlg, VK_ESCAPE);
        EXPECT_EQ(app.result(), nullptr);
    }
}

TEST(Snapshots, ProgressBars) {
    NEED_SNAPSHOT_DIR();
    InitCommonControls();
    Template t(WS_POPUP | WS_CAPTION | DS_MODALFRAME, 244, 60, "Progress");
    t.item("msctls_progress32", "Progress1", 1003, 0, 10, 10, 224, 14)
        .item("msctls_progress32", "", 1004, PBS_SMOOTH, 10, 30, 224, 10)
        .item(BUTTON, "  Cancel  ", IDCANCEL, BS_DEFPUSHBUTTON | WS_TABSTOP, 105, 44, 34, 14);
    App<INT_PTR> app([&] {
        return DialogBoxIndirectParamA(nullptr, t.get(), nullptr,
                                       [](HWND dlg, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
                                           if (msg == WM_INITDIALOG) {
                                               SendDlgItemMessageA(dlg, 1003, PBM_SETRANGE32, 0, 7000000);
                                               SendDlgItemMessageA(dlg, 1003, PBM_SETPOS, 2600000, 0);
                                               SendDlgItemMessageA(dlg, 1004, PBM_SETPOS, 85, 0);
                                               return TRUE;
                                           }
                                           if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) EndDialog(dlg, 2);
                                           return FALSE;
                                       },
                                       0);
    });
    HWND dlg = waitForWindow("Progress");
    ASSERT_TRUE(dlg);
    save(dlg, dir, "progress.png");
    key(dlg, VK_ESCAPE);
    EXPECT_EQ(app.result(), 2);
}
