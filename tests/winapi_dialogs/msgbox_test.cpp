// Message boxes answered as a person answers them: found by their caption,
// read, and closed with a button, Enter, Esc or the close box.
#include "dlgtest.h"

#include "support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

using namespace dlgtest;

namespace {

std::map<int, std::string> buttonsOf(HWND box) {
    std::map<int, std::string> out;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[32];
        GetClassNameA(c, cls, sizeof cls);
        if (!lstrcmpiA(cls, "Button")) out[GetDlgCtrlID(c)] = text(c);
    }
    return out;
}

TEST(MessageBoxes, EachTypeHasItsButtonsAndGivesThePressedOne) {
    struct Kind {
        UINT type;
        std::map<int, std::string> buttons;
        int press;
    } kinds[] = {
        {MB_OK, {{IDOK, "OK"}}, IDOK},
        {MB_OKCANCEL, {{IDOK, "OK"}, {IDCANCEL, "Cancel"}}, IDCANCEL},
        {MB_ABORTRETRYIGNORE, {{IDABORT, "&Abort"}, {IDRETRY, "&Retry"}, {IDIGNORE, "&Ignore"}}, IDIGNORE},
        {MB_YESNOCANCEL, {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}}, IDNO},
        {MB_YESNO, {{IDYES, "&Yes"}, {IDNO, "&No"}}, IDYES},
        {MB_RETRYCANCEL, {{IDRETRY, "&Retry"}, {IDCANCEL, "Cancel"}}, IDRETRY},
    };
    for (const Kind &k : kinds) {
        App<int> app([&] { return MessageBoxA(nullptr, "Question?", "Kinds", k.type); });
        HWND box = waitForWindow("Kinds", "#32770");
        ASSERT_TRUE(box) << k.type;
        EXPECT_EQ(buttonsOf(box), k.buttons) << k.type;
        EXPECT_EQ(itemText(box, 0xFFFF), "Question?");
        click(GetDlgItem(box, k.press));
        EXPECT_EQ(app.result(), k.press) << k.type;
    }
}

TEST(MessageBoxes, EscapeAndTheCloseBoxOnlyWhereThereIsACancel) {
    {
        App<int> app([] { return MessageBoxA(nullptr, "Done.", "Esc OK", MB_OK); });
        HWND box = waitForWindow("Esc OK");
        ASSERT_TRUE(box);
        key(box, VK_ESCAPE);
        EXPECT_EQ(app.result(), IDOK);
    }
    {
        App<int> app([] { return MessageBoxA(nullptr, "Go on?", "Esc Cancel", MB_OKCANCEL); });
        HWND box = waitForWindow("Esc Cancel");
        ASSERT_TRUE(box);
        key(box, VK_ESCAPE);
        EXPECT_EQ(app.result(), IDCANCEL);
    }
    {
        App<int> app([] { return MessageBoxA(nullptr, "Replace?", "No Cancel", MB_YESNO | MB_ICONQUESTION); });
        HWND box = waitForWindow("No Cancel");
        ASSERT_TRUE(box);
        EXPECT_TRUE(GetClassLongA(box, GCL_STYLE) & CS_NOCLOSE);
        key(box, VK_ESCAPE);
        SendMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
        PostMessageA(box, WM_CLOSE, 0, 0);
        settle(box);
        EXPECT_FALSE(app.done());
        EXPECT_TRUE(IsWindowVisible(box));
        // Its mnemonics answer it.
        type(box, "n");
        EXPECT_EQ(app.result(), IDNO);
    }
    {
        App<int> app([] { return MessageBoxA(nullptr, "Save?", "Close Box", MB_YESNOCANCEL); });
        HWND box = waitForWindow("Close Box");
        ASSERT_TRUE(box);
        EXPECT_FALSE(GetClassLongA(box, GCL_STYLE) & CS_NOCLOSE);
        SendMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(app.result(), IDCANCEL);
    }
}

TEST(MessageBoxes, TheDefaultButtonTakesEnter) {
    {
        App<int> app([] { return MessageBoxA(nullptr, "?", "Second", MB_YESNOCANCEL | MB_DEFBUTTON2); });
        HWND box = waitForWindow("Second");
        ASSERT_TRUE(box);
        EXPECT_EQ(GetWindowLongA(GetDlgItem(box, IDNO), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        EXPECT_EQ(GetWindowLongA(GetDlgItem(box, IDYES), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
        key(box, VK_RETURN);
        EXPECT_EQ(app.result(), IDNO);
    }
    {
        // A third default of two buttons is the first.
        App<int> app([] { return MessageBoxA(nullptr, "?", "Third", MB_YESNO | MB_DEFBUTTON3); });
        HWND box = waitForWindow("Third");
        ASSERT_TRUE(box);
        key(box, VK_RETURN);
        EXPECT_EQ(app.result(), IDYES);
    }
    {
        // Tab moves the focus, and Enter presses the focused button.
        App<int> app([] { return MessageBoxA(nullptr, "?", "Tabbed", MB_ABORTRETRYIGNORE); });
        HWND box = waitForWindow("Tabbed");
        ASSERT_TRUE(box);
        key(box, VK_TAB);
        key(box, VK_TAB);
        key(box, VK_RETURN);
        EXPECT_EQ(app.result(), IDIGNORE);
    }
}

TEST(MessageBoxes, OwnersAndTheTasksWindowsWaitDisabled) {
    std::atomic<HWND> owner{nullptr}, other{nullptr};
    App<int> app([&] {
        HWND o = CreateWindowExA(0, "Static", "Main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 300, 200, nullptr,
                                 nullptr, nullptr, nullptr);
        HWND x = CreateWindowExA(0, "Static", "Other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400, 50, 300, 200, nullptr,
                                 nullptr, nullptr, nullptr);
        owner = o;
        other = x;
        int a = MessageBoxA(o, "Owned", "Owned Box", MB_OK);
        int b = MessageBoxA(nullptr, "Task", "Task Box", MB_OK | MB_TASKMODAL);
        bool enabled = IsWindowEnabled(o) && IsWindowEnabled(x);
        DestroyWindow(o);
        DestroyWindow(x);
        return enabled && a == IDOK && b == IDOK ? 1 : 0;
    });
    HWND box = waitForWindow("Owned Box");
    ASSERT_TRUE(box);
    EXPECT_EQ(GetWindow(box, GW_OWNER), owner.load());
    EXPECT_FALSE(IsWindowEnabled(owner.load()));
    EXPECT_TRUE(IsWindowEnabled(other.load()));
    key(box, VK_RETURN);
    box = waitForWindow("Task Box");
    ASSERT_TRUE(box);
    EXPECT_FALSE(IsWindowEnabled(owner.load()));
    EXPECT_FALSE(IsWindowEnabled(other.load()));
    EXPECT_EQ(GetForegroundWindow(), box);
    key(box, VK_RETURN);
    EXPECT_EQ(app.result(), 1);
}

TEST(MessageBoxes, IconTextAndSize) {
    std::string longText;
    for (int i = 0; i < 40; i++) longText += "word" + std::to_string(i) + " ";
    longText += "&literal";
    App<int> app([&] { return MessageBoxA(nullptr, longText.c_str(), "Icon", MB_OK | MB_ICONHAND); });
    HWND box = waitForWindow("Icon");
    ASSERT_TRUE(box);
    EXPECT_EQ(itemText(box, 0xFFFF), longText);
    HWND textCtl = GetDlgItem(box, 0xFFFF);
    RECT tr;
    GetClientRect(textCtl, &tr);
    EXPECT_GT(tr.bottom, 2 * 13); // wrapped over lines
    RECT wr;
    GetWindowRect(box, &wr);
    EXPECT_GE(wr.left, 0);
    EXPECT_LE(wr.right, GetSystemMetrics(SM_CXSCREEN));
    // The stop sign sits left of the text, red.
    HWND icon = nullptr;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && c != textCtl) icon = c;
    ASSERT_TRUE(icon);
    EXPECT_EQ(pixel(icon, 6, 16), RGB(255, 0, 0));
    RECT ir;
    GetWindowRect(icon, &ir);
    RECT tw;
    GetWindowRect(textCtl, &tw);
    EXPECT_LE(ir.right, tw.left);
    EXPECT_EQ(WapiLastMessageBeep(), static_cast<UINT>(MB_ICONHAND));
    key(box, VK_RETURN);
    EXPECT_EQ(app.result(), IDOK);

    App<int> plain([] { return MessageBoxA(nullptr, "plain", nullptr, MB_OK); });
    box = waitForWindow("Error");
    ASSERT_TRUE(box);
    int icons = 0;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        icons += (GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON ? 1 : 0;
    EXPECT_EQ(icons, 0);
    EXPECT_EQ(WapiLastMessageBeep(), static_cast<UINT>(MB_OK));
    key(box, VK_RETURN);
    EXPECT_EQ(plain.result(), IDOK);
}

TEST(MessageBoxes, BadArgumentsAndTheConsole) {
    SetLastError(0);
    EXPECT_EQ(MessageBoxA(nullptr, "x", "x", 7), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MSGBOX_STYLE));
    EXPECT_EQ(MessageBoxA(reinterpret_cast<HWND>(0x7777), "x", "x", MB_OK), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    setenv("WAPI_MESSAGEBOX", "console", 1);
    int r = 0;
    std::string out = testsupport::captureStderr([&] { r = MessageBoxA(nullptr, "line", "Quiet", MB_YESNO | MB_DEFBUTTON2); });
    unsetenv("WAPI_MESSAGEBOX");
    EXPECT_EQ(r, IDNO);
    EXPECT_NE(out.find("[Quiet] line"), std::string::npos) << out;
}

} // namespace
