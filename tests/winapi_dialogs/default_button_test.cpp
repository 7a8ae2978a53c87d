// Enter presses the default button only while that button is enabled: a
// dialog that disables OK until its fields make sense (the folder browser
// until a usable folder is chosen) must not be ended by Enter meanwhile.
#include "dlgtest.h"

#include <shlobj.h>

#include <gtest/gtest.h>

using namespace dlgtest;

namespace {

struct Default {
    const char *what;
    int id;        // the default button: IDOK from the template, or 101 by DM_SETDEFID
    bool disabled; // disabled when the dialog starts
};

const Default kDefaults[] = {
    {"TemplateDefaultDisabled", IDOK, true},
    {"DefIdOnADisabledButton", 101, true},
    {"TemplateDefaultEnabled", IDOK, false},
    {"DefIdOnAnEnabledButton", 101, false},
};

class EnterKey : public ::testing::TestWithParam<Default> {};

TEST_P(EnterKey, PressesTheDefaultButtonOnlyWhileItIsEnabled) {
    const Default c = GetParam();
    Template t(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 160, 60, c.what);
    t.item(EDIT, "", 100, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 5, 5, 100, 12)
        .item(BUTTON, "Other", 101, BS_PUSHBUTTON | WS_TABSTOP, 5, 40, 40, 14)
        .item(BUTTON, "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 50, 40, 50, 14)
        .item(BUTTON, "Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 105, 40, 50, 14);
    Dialog d(t, c.what, [&c](HWND dlg, UINT msg, WPARAM, LPARAM, INT_PTR *) {
        if (msg != WM_INITDIALOG) return false;
        if (c.id != IDOK) SendMessageA(dlg, DM_SETDEFID, c.id, 0);
        if (c.disabled) EnableWindow(GetDlgItem(dlg, c.id), FALSE);
        return false; // the first tab stop, the field, takes the focus
    });
    ASSERT_TRUE(d.hwnd());
    ASSERT_EQ(d.focus(), d.item(100));
    clearNotes();
    key(d.item(100), VK_RETURN);
    if (c.disabled) {
        EXPECT_EQ(countNotes(c.id, BN_CLICKED), 0);
        EXPECT_EQ(countNotes(IDOK, BN_CLICKED), 0) << "nor OK in its place";
        EXPECT_FALSE(d.ended());
        // Enabled again, the same key presses it.
        d.run([&] { EnableWindow(d.item(c.id), TRUE); });
        key(d.item(100), VK_RETURN);
    }
    EXPECT_EQ(countNotes(c.id, BN_CLICKED), 1);
    if (c.id == IDOK) EXPECT_EQ(d.result(), IDOK);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, EnterKey, ::testing::ValuesIn(kDefaults),
                         [](const auto &info) { return std::string(info.param.what); });

// The folder browser whose application disables OK until it likes the
// folder: Enter does nothing until OK is enabled again.
int CALLBACK disableOk(HWND h, UINT msg, LPARAM, LPARAM) {
    if (msg == BFFM_INITIALIZED) SendMessageA(h, BFFM_ENABLEOK, 0, FALSE);
    return 0;
}

TEST(FolderBrowserOk, EnterWaitsForOkToBeEnabled) {
    BROWSEINFOA bi{};
    bi.lpszTitle = "Receive into";
    bi.ulFlags = BIF_RETURNONLYFSDIRS;
    bi.lpfn = disableOk;
    App<PIDLIST_ABSOLUTE> app([&] { return SHBrowseForFolderA(&bi); });
    HWND dlg = waitForWindow("Browse for Folder");
    ASSERT_TRUE(dlg);
    HWND ok = GetDlgItem(dlg, IDOK);
    EXPECT_FALSE(IsWindowEnabled(ok));
    key(dlg, VK_RETURN);
    EXPECT_TRUE(IsWindowVisible(dlg)) << "Enter took the disabled OK";
    EXPECT_FALSE(app.done());
    SendMessageA(dlg, BFFM_ENABLEOK, 0, TRUE);
    key(dlg, VK_RETURN);
    PIDLIST_ABSOLUTE pidl = app.result();
    ASSERT_TRUE(pidl);
    ILFree(pidl);
}

} // namespace
