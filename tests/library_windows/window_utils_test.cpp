// The window helpers (Func044, Func111, Func121, Func008) and starting a
// program to find its window (Func081).
#include "gui_driver.h"

#include "support.h"

#include <vorlex.h>

#include <gtest/gtest.h>

using namespace gui;

namespace {

const char kClass[] = "LibraryUtilsTestWindow";

class WindowHelpers : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = kClass;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        RegisterClassA(&wc);
    }
    HWND make(const char *title, int x, int y, int w, int h, HWND parent = nullptr, DWORD style = WS_OVERLAPPEDWINDOW) {
        HWND hwnd = CreateWindowExA(0, kClass, title, style | WS_VISIBLE, x, y, w, h, parent, nullptr, nullptr, nullptr);
        if (hwnd) made.push_back(hwnd);
        return hwnd;
    }
    void TearDown() override {
        for (auto it = made.rbegin(); it != made.rend(); ++it)
            if (IsWindow(*it)) DestroyWindow(*it);
    }
    std::vector<HWND> made;
};

TEST_F(WindowHelpers, OutermostAncestorThroughChildrenAndOwners) {
    HWND top = make("Top", 10, 10, 300, 200);
    HWND child = make("Child", 0, 0, 100, 100, top, WS_CHILD);
    HWND grandchild = make("Grandchild", 0, 0, 50, 50, child, WS_CHILD);
    EXPECT_EQ(Func044(grandchild), top);
    EXPECT_EQ(Func044(child), top);
    EXPECT_EQ(Func044(top), top);
    // GetParent of an owned popup is its owner.
    HWND popup = make("Popup", 50, 50, 100, 100, top, WS_POPUP);
    EXPECT_EQ(Func044(popup), top);
    EXPECT_EQ(Func044(nullptr), nullptr);
}

TEST_F(WindowHelpers, CentringKeepsTheSizeAndTruncatesHalvesTowardZero) {
    HWND reference = make("Reference", 100, 100, 300, 200);
    HWND small = make("Small", 0, 0, 101, 51);
    ASSERT_TRUE(Func111(reference, small));
    RECT r;
    GetWindowRect(small, &r);
    EXPECT_EQ(r.left, 100 + 99); // (300 - 101) / 2
    EXPECT_EQ(r.top, 100 + 74);  // (200 - 51) / 2
    EXPECT_EQ(r.right - r.left, 101);
    EXPECT_EQ(r.bottom - r.top, 51);
    // Bigger than the reference: the negative halves round toward zero.
    HWND big = make("Big", 0, 0, 351, 251);
    ASSERT_TRUE(Func111(reference, big));
    GetWindowRect(big, &r);
    EXPECT_EQ(r.left, 100 - 25);
    EXPECT_EQ(r.top, 100 - 25);
    // A window that is gone moves nothing.
    HWND gone = make("Gone", 0, 0, 10, 10);
    DestroyWindow(gone);
    EXPECT_FALSE(Func111(gone, small));
    EXPECT_FALSE(Func111(reference, gone));
}

TEST_F(WindowHelpers, SmallFontsOnTheDefaultScreen) {
    // The desktop's default font is the 16-pixel system font.
    HDC dc = GetWindowDC(GetDesktopWindow());
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    ReleaseDC(GetDesktopWindow(), dc);
    ASSERT_EQ(tm.tmHeight, 16);
    EXPECT_EQ(Func121(), 1);
    // The mapping mode of the desktop's context is left as it was.
    dc = GetWindowDC(GetDesktopWindow());
    EXPECT_EQ(GetMapMode(dc), MM_TEXT);
    ReleaseDC(GetDesktopWindow(), dc);
}

TEST_F(WindowHelpers, BringsAMinimisedWindowToTheFront) {
    HWND back = make("Brought Forward", 10, 10, 200, 150);
    HWND front = make("In Front", 20, 20, 200, 150);
    ShowWindow(back, SW_MINIMIZE);
    SetForegroundWindow(front);
    ASSERT_TRUE(IsIconic(back));
    EXPECT_EQ(Func008(kClass, "Brought Forward"), 1);
    EXPECT_FALSE(IsIconic(back));
    EXPECT_EQ(GetForegroundWindow(), back);
    EXPECT_EQ(GetTopWindow(nullptr), back);
    // A blank class means any class.
    SetForegroundWindow(front);
    EXPECT_EQ(Func008(" ", "Brought Forward"), 1);
    EXPECT_EQ(GetForegroundWindow(), back);
    EXPECT_EQ(Func008(kClass, "No Such Window"), 0);
    EXPECT_EQ(Func008("NoSuchClass", "Brought Forward"), 0);
}

class StartProgram : public WindowHelpers {
protected:
    std::string touch(const std::string &name) { return "touch " + tmp.file(name); }
    bool appears(const std::string &name, DWORD ms = 3000) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10))
            if (testsupport::fileExists(tmp.file(name))) return true;
        return false;
    }
    testsupport::TempDir tmp;
};

TEST_F(StartProgram, NeedsAClassAndATitleBeforeStartingAnything) {
    EXPECT_EQ(Func081(nullptr, touch("a").c_str(), "", "Title"), nullptr);
    EXPECT_EQ(Func081(nullptr, touch("b").c_str(), kClass, nullptr), nullptr);
    EXPECT_EQ(Func081(nullptr, touch("c").c_str(), nullptr, "Title"), nullptr);
    EXPECT_EQ(Func081(" ", " ", kClass, "Title"), nullptr); // nothing to start
    EXPECT_FALSE(appears("a", 300) || appears("b", 1) || appears("c", 1));
}

TEST_F(StartProgram, StartsItAndFindsTheWindowOfThisProcess) {
    HWND target = make("Started Program Window", 10, 10, 200, 100);
    EXPECT_EQ(Func081(nullptr, touch("started").c_str(), kClass, "Started Program Window"), target);
    EXPECT_TRUE(appears("started"));
    EXPECT_EQ(Func081(nullptr, "no-such-program-here", kClass, "Started Program Window"), nullptr);
}

TEST_F(StartProgram, DoesNotWaitForAProgramWithoutWindows) {
    // WaitForInputIdle cannot watch another program here: it returns at once.
    const DWORD start = GetTickCount();
    EXPECT_EQ(Func081(nullptr, "sleep 5", kClass, "Nothing Like This"), nullptr);
    EXPECT_LT(GetTickCount() - start, 2000u);
}

TEST(WaitForInputIdle, ReturnsAtOnceForAChildAndFailsForOtherHandles) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    char command[] = "sleep 2";
    ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    EXPECT_EQ(WaitForInputIdle(pi.hProcess, INFINITE), 0u);
    EXPECT_EQ(WaitForInputIdle(GetCurrentProcess(), 1000), 0u);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetLastError(0);
    EXPECT_EQ(WaitForInputIdle(event, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(event);
    TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

} // namespace
