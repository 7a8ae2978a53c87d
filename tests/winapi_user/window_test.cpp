// Windows and classes: the messages of creation and destruction in order,
// class and window extra bytes, subclassing, rectangles, the window tree,
// finding windows, enabling and focus.
#include "ui.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace uitest;

namespace {

bool contains(const std::vector<UINT> &v, UINT m) { return std::find(v.begin(), v.end(), m) != v.end(); }
size_t indexOf(const std::vector<UINT> &v, UINT m) { return std::find(v.begin(), v.end(), m) - v.begin(); }

class Windows : public RecordingTest {};

TEST_F(Windows, CreationSendsItsMessagesInWindowsOrder) {
    HWND h = CreateWindowExA(0, "Rec", "Title", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(h);
    std::vector<UINT> m = Recorder::get().messages(h);
    std::vector<UINT> expect = {WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE};
    ASSERT_GE(m.size(), expect.size());
    EXPECT_EQ(std::vector<UINT>(m.begin(), m.begin() + expect.size()), expect);
    // Not shown: no WM_SHOWWINDOW, and the window is not visible.
    EXPECT_FALSE(contains(m, WM_SHOWWINDOW));
    EXPECT_FALSE(IsWindowVisible(h));
    // The title came through DefWindowProc's WM_NCCREATE.
    char buf[32];
    EXPECT_EQ(GetWindowTextA(h, buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "Title");
    // WM_SIZE reports the client size, WM_MOVE the client origin.
    auto sizes = Recorder::get().of(WM_SIZE);
    RECT c;
    GetClientRect(h, &c);
    EXPECT_EQ(LOWORD(sizes[0].lParam), c.right);
    EXPECT_EQ(HIWORD(sizes[0].lParam), c.bottom);
    EXPECT_LT(c.right, 300);
    EXPECT_LT(c.bottom, 200);
    POINT o{0, 0};
    ClientToScreen(h, &o);
    auto moves = Recorder::get().of(WM_MOVE);
    EXPECT_EQ(static_cast<SHORT>(LOWORD(moves[0].lParam)), o.x);
    EXPECT_EQ(static_cast<SHORT>(HIWORD(moves[0].lParam)), o.y);
    DestroyWindow(h);
}

TEST_F(Windows, VisibleStyleShowsAfterCreateAndActivates) {
    HWND h = CreateWindowExA(0, "Rec", "V", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr, nullptr,
                             nullptr);
    ASSERT_TRUE(h);
    std::vector<UINT> m = Recorder::get().messages(h);
    ASSERT_TRUE(contains(m, WM_SHOWWINDOW));
    EXPECT_LT(indexOf(m, WM_CREATE), indexOf(m, WM_SHOWWINDOW));
    EXPECT_LT(indexOf(m, WM_SHOWWINDOW), indexOf(m, WM_ACTIVATE));
    EXPECT_LT(indexOf(m, WM_ACTIVATE), indexOf(m, WM_SETFOCUS));
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_EQ(GetActiveWindow(), h);
    EXPECT_EQ(GetFocus(), h);
    EXPECT_EQ(GetForegroundWindow(), h);
    DestroyWindow(h);
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST_F(Windows, CreateFailsWhenWmCreateReturnsMinusOne) {
    Recorder::get().hook = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT *out) {
        if (msg != WM_CREATE) return false;
        *out = -1;
        return true;
    };
    HWND h = CreateWindowExA(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(h, nullptr);
    // The half-made window was destroyed properly.
    std::vector<UINT> m = Recorder::get().messages(nullptr);
    EXPECT_TRUE(contains(m, WM_DESTROY));
    EXPECT_EQ(m.back(), static_cast<UINT>(WM_NCDESTROY));
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_EQ(CreateWindowExA(0, "Rec", "", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(Windows, DestructionGoesParentFirstForDestroyAndChildrenFirstForNcDestroy) {
    HWND p = CreateWindowExA(0, "Rec", "P", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
    HWND c = CreateWindowExA(0, "Rec", "C", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, p, reinterpret_cast<HMENU>(5), nullptr,
                             nullptr);
    HWND g = CreateWindowExA(0, "Rec", "G", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, c, nullptr, nullptr, nullptr);
    ASSERT_TRUE(p && c && g);
    // The child's creation was reported to the parent.
    auto notes = Recorder::get().of(WM_PARENTNOTIFY);
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes[0].hwnd, p);
    EXPECT_EQ(LOWORD(notes[0].wParam), WM_CREATE);
    EXPECT_EQ(HIWORD(notes[0].wParam), 5);
    Recorder::get().clear();
    bool childAliveInParentDestroy = false;
    Recorder::get().hook = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT *) {
        if (h == p && msg == WM_DESTROY) childAliveInParentDestroy = IsWindow(c) && IsWindow(g);
        return false;
    };
    ASSERT_TRUE(DestroyWindow(p));
    std::vector<std::pair<HWND, UINT>> seq;
    for (const Rec &r : Recorder::get().all())
        if (r.msg == WM_DESTROY || r.msg == WM_NCDESTROY) seq.push_back({r.hwnd, r.msg});
    std::vector<std::pair<HWND, UINT>> expect = {{p, WM_DESTROY},    {c, WM_DESTROY},    {g, WM_DESTROY},
                                                 {g, WM_NCDESTROY}, {c, WM_NCDESTROY}, {p, WM_NCDESTROY}};
    EXPECT_EQ(seq, expect);
    EXPECT_TRUE(childAliveInParentDestroy);
    EXPECT_FALSE(IsWindow(p));
    EXPECT_FALSE(IsWindow(c));
    EXPECT_FALSE(IsWindow(g));
    EXPECT_FALSE(DestroyWindow(p));
}

TEST_F(Windows, OwnedWindowsAreDestroyedWithTheirOwner) {
    HWND owner = CreateWindowExA(0, "Rec", "O", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    HWND owned = CreateWindowExA(0, "Rec", "D", WS_POPUP | WS_CAPTION, 0, 0, 50, 50, owner, nullptr, nullptr, nullptr);
    EXPECT_EQ(GetParent(owned), owner);
    EXPECT_EQ(GetWindow(owned, GW_OWNER), owner);
    EXPECT_FALSE(IsChild(owner, owned));
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(owned));
}

TEST_F(Windows, ExtraBytesWordsAndLongs) {
    HWND h = CreateWindowExA(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    // Window extra bytes start zeroed and hold words and longs.
    EXPECT_EQ(GetWindowLongA(h, 0), 0);
    EXPECT_EQ(SetWindowWord(h, 0, 0x1234), 0);
    EXPECT_EQ(GetWindowWord(h, 0), 0x1234);
    EXPECT_EQ(SetWindowLongA(h, 4, 0x7FFF0001), 0);
    EXPECT_EQ(GetWindowLongA(h, 4), 0x7FFF0001);
    EXPECT_EQ(GetWindowWord(h, 0), 0x1234);
    // Past the end: ERROR_INVALID_INDEX.
    SetLastError(0);
    EXPECT_EQ(GetWindowLongA(h, 5), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    EXPECT_EQ(SetWindowWord(h, 7, 1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    // User data and id.
    SetWindowLongA(h, GWL_USERDATA, 77);
    EXPECT_EQ(GetWindowLongA(h, GWL_USERDATA), 77);
    // Class bytes and the background brush.
    EXPECT_EQ(GetClassLongA(h, GCL_CBWNDEXTRA), 8u);
    EXPECT_EQ(SetClassLongA(h, 0, 99), 0u);
    EXPECT_EQ(GetClassLongA(h, 0), 99u);
    DWORD old = SetClassLongA(h, GCL_HBRBACKGROUND, COLOR_BTNFACE + 1);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(old)), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetClassLongA(h, GCL_HBRBACKGROUND), static_cast<DWORD>(COLOR_BTNFACE + 1));
    SetClassLongA(h, GCL_HBRBACKGROUND, old);
    SetClassLongA(h, 0, 0);
    char name[16];
    EXPECT_EQ(GetClassNameA(h, name, sizeof name), 3);
    EXPECT_STREQ(name, "Rec");
    DestroyWindow(h);
}

LRESULT CALLBACK subclassProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
LONG g_oldProc;

LRESULT CALLBACK subclassProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_USER + 1) return 42;
    return CallWindowProcA(reinterpret_cast<WNDPROC>(static_cast<uintptr_t>(static_cast<DWORD>(g_oldProc))), h, msg, wp, lp);
}

TEST_F(Windows, SubclassingThroughGwlWndProcWithThirtyTwoBitValues) {
    HWND h = CreateWindowExA(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    // The 32-bit value of the old procedure (a token on 64-bit hosts) must
    // still lead back to it through CallWindowProcA and SetWindowLongA.
    g_oldProc = GetWindowLongA(h, GWL_WNDPROC);
    SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclassProc));
    EXPECT_EQ(SendMessageA(h, WM_USER + 1, 0, 0), 42);
    Recorder::get().clear();
    SendMessageA(h, WM_USER + 2, 0, 0);
    EXPECT_EQ(Recorder::get().messages(h), std::vector<UINT>{WM_USER + 2});
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_WNDPROC)), subclassProc);
    LONG mine = SetWindowLongA(h, GWL_WNDPROC, g_oldProc);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_WNDPROC)), recProc);
    // And the value SetWindowLongA gave back works the same way.
    SetWindowLongA(h, GWL_WNDPROC, mine);
    EXPECT_EQ(SendMessageA(h, WM_USER + 1, 0, 0), 42);
    DestroyWindow(h);
}

TEST_F(Windows, RectanglesOfFramesCaptionsMenusAndChildren) {
    HMENU menu = CreateMenu();
    AppendMenuA(menu, MF_STRING, 100, "&File");
    RECT want{0, 0, 400, 300};
    DWORD style = WS_OVERLAPPEDWINDOW;
    AdjustWindowRect(&want, style, TRUE);
    int w = want.right - want.left, hgt = want.bottom - want.top;
    HWND h = CreateWindowExA(0, "Rec", "R", style, 50, 60, w, hgt, nullptr, menu, nullptr, nullptr);
    RECT c, wr;
    GetClientRect(h, &c);
    GetWindowRect(h, &wr);
    EXPECT_EQ(c.right, 400);
    EXPECT_EQ(c.bottom, 300);
    EXPECT_EQ(wr.left, 50);
    EXPECT_EQ(wr.top, 60);
    // Frame 4, caption 19, menu 19.
    POINT o{0, 0};
    ClientToScreen(h, &o);
    EXPECT_EQ(o.x, 54);
    EXPECT_EQ(o.y, 60 + 4 + 19 + 19);
    HWND child = CreateWindowExA(WS_EX_CLIENTEDGE, "Rec", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 10, 20, 100, 80, h,
                                 nullptr, nullptr, nullptr);
    GetWindowRect(child, &wr);
    EXPECT_EQ(wr.left, o.x + 10);
    EXPECT_EQ(wr.top, o.y + 20);
    GetClientRect(child, &c);
    EXPECT_EQ(c.right, 100 - 4 - 16);
    EXPECT_EQ(c.bottom, 80 - 4);
    POINT p{o.x + 10 + 2 + 5, o.y + 20 + 2 + 6};
    ScreenToClient(child, &p);
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, 6);
    POINT pts[1] = {{1, 1}};
    MapWindowPoints(child, h, pts, 1);
    EXPECT_EQ(pts[0].x, 1 + 12);
    EXPECT_EQ(pts[0].y, 1 + 22);
    // MoveWindow changes the child's place relative to the parent's client area.
    MoveWindow(child, 30, 40, 60, 50, TRUE);
    GetWindowRect(child, &wr);
    EXPECT_EQ(wr.left, o.x + 30);
    EXPECT_EQ(wr.bottom - wr.top, 50);
    EXPECT_EQ(GetMenu(h), menu);
    DestroyWindow(h);
    EXPECT_FALSE(IsMenu(menu)); // the window's menu went with it
}

TEST_F(Windows, TreeQueriesAndFindWindow) {
    HWND p = CreateWindowExA(0, "Rec", "Find Me", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    HWND a = CreateWindowExA(0, "Rec", "a", WS_CHILD, 0, 0, 10, 10, p, reinterpret_cast<HMENU>(1), nullptr, nullptr);
    HWND b = CreateWindowExA(0, "Rec", "b", WS_CHILD, 0, 0, 10, 10, p, reinterpret_cast<HMENU>(2), nullptr, nullptr);
    // Children keep creation order.
    EXPECT_EQ(GetWindow(p, GW_CHILD), a);
    EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
    EXPECT_EQ(GetWindow(b, GW_HWNDPREV), a);
    EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), nullptr);
    EXPECT_EQ(GetParent(a), p);
    EXPECT_EQ(GetParent(p), nullptr);
    EXPECT_TRUE(IsChild(p, b));
    EXPECT_EQ(GetDlgCtrlID(b), 2);
    EXPECT_EQ(GetAncestor(b, GA_ROOT), p);
    EXPECT_EQ(FindWindowA("Rec", "Find Me"), p);
    EXPECT_EQ(FindWindowA("rec", "find me"), p);
    EXPECT_EQ(FindWindowA(nullptr, "Find Me"), p);
    EXPECT_EQ(FindWindowA("Rec", "a"), nullptr); // children are not top-level
    EXPECT_EQ(FindWindowExA(p, nullptr, "Rec", "b"), b);
    EXPECT_EQ(FindWindowExA(p, a, nullptr, nullptr), b);
    EXPECT_TRUE(GetDesktopWindow());
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    RECT d;
    GetWindowRect(GetDesktopWindow(), &d);
    EXPECT_EQ(d.right, 1024);
    DestroyWindow(p);
    EXPECT_EQ(FindWindowA("Rec", "Find Me"), nullptr);
}

TEST_F(Windows, EnableWindowSendsWmEnableAndTakesTheFocus) {
    HWND p = CreateWindowExA(0, "Rec", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                             nullptr);
    HWND c = CreateWindowExA(0, "Rec", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, p, nullptr, nullptr, nullptr);
    SetFocus(c);
    EXPECT_EQ(GetFocus(), c);
    Recorder::get().clear();
    EXPECT_FALSE(EnableWindow(c, FALSE)); // was enabled
    EXPECT_FALSE(IsWindowEnabled(c));
    auto en = Recorder::get().of(WM_ENABLE);
    ASSERT_EQ(en.size(), 1u);
    EXPECT_EQ(en[0].wParam, 0u);
    EXPECT_EQ(GetFocus(), nullptr);
    // A disabled window refuses the focus.
    EXPECT_EQ(SetFocus(c), nullptr);
    EXPECT_NE(GetFocus(), c);
    EXPECT_TRUE(EnableWindow(c, TRUE)); // was disabled
    EXPECT_TRUE(EnableWindow(c, TRUE) == FALSE);
    DestroyWindow(p);
}

TEST_F(Windows, FocusMessagesCarryTheOtherWindow) {
    HWND p = CreateWindowExA(0, "Rec", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                             nullptr);
    HWND a = CreateWindowExA(0, "Rec", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, p, nullptr, nullptr, nullptr);
    HWND b = CreateWindowExA(0, "Rec", "", WS_CHILD | WS_VISIBLE, 20, 0, 10, 10, p, nullptr, nullptr, nullptr);
    SetFocus(a);
    Recorder::get().clear();
    EXPECT_EQ(SetFocus(b), a);
    auto all = Recorder::get().all();
    std::vector<Rec> focus;
    for (const Rec &r : all)
        if (r.msg == WM_KILLFOCUS || r.msg == WM_SETFOCUS) focus.push_back(r);
    ASSERT_EQ(focus.size(), 2u);
    EXPECT_EQ(focus[0].hwnd, a);
    EXPECT_EQ(focus[0].msg, static_cast<UINT>(WM_KILLFOCUS));
    EXPECT_EQ(reinterpret_cast<HWND>(focus[0].wParam), b);
    EXPECT_EQ(focus[1].hwnd, b);
    EXPECT_EQ(focus[1].msg, static_cast<UINT>(WM_SETFOCUS));
    EXPECT_EQ(reinterpret_cast<HWND>(focus[1].wParam), a);
    // Destroying the focused child gives the focus to its parent.
    DestroyWindow(b);
    EXPECT_EQ(GetFocus(), p);
    DestroyWindow(p);
}

TEST_F(Windows, SetWindowTextAndCloseThroughDefWindowProc) {
    HWND h = CreateWindowExA(0, "Rec", "old", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(SetWindowTextA(h, "a new title"));
    EXPECT_EQ(GetWindowTextLengthA(h), 11);
    char small[5];
    EXPECT_EQ(GetWindowTextA(h, small, sizeof small), 4); // truncated, terminated
    EXPECT_STREQ(small, "a ne");
    SendMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(Windows, ShowHideAndSetWindowPosMessages) {
    HWND h = CreateWindowExA(0, "Rec", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    Recorder::get().clear();
    EXPECT_FALSE(ShowWindow(h, SW_SHOWNA));
    std::vector<UINT> m = Recorder::get().messages(h);
    ASSERT_TRUE(contains(m, WM_SHOWWINDOW));
    EXPECT_LT(indexOf(m, WM_SHOWWINDOW), indexOf(m, WM_WINDOWPOSCHANGING));
    EXPECT_LT(indexOf(m, WM_WINDOWPOSCHANGING), indexOf(m, WM_WINDOWPOSCHANGED));
    EXPECT_FALSE(contains(m, WM_ACTIVATE)); // SW_SHOWNA does not activate
    EXPECT_TRUE(ShowWindow(h, SW_SHOWNA));  // already visible
    Recorder::get().clear();
    SetWindowPos(h, nullptr, 5, 6, 70, 80, SWP_NOZORDER | SWP_NOACTIVATE);
    m = Recorder::get().messages(h);
    EXPECT_TRUE(contains(m, WM_NCCALCSIZE));
    EXPECT_LT(indexOf(m, WM_WINDOWPOSCHANGED), indexOf(m, WM_MOVE));
    EXPECT_LT(indexOf(m, WM_WINDOWPOSCHANGED), indexOf(m, WM_SIZE));
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.bottom, 86);
    Recorder::get().clear();
    SetWindowPos(h, nullptr, 9, 9, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    m = Recorder::get().messages(h);
    EXPECT_TRUE(contains(m, WM_MOVE));
    EXPECT_FALSE(contains(m, WM_SIZE));
    EXPECT_TRUE(ShowWindow(h, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(h));
    DestroyWindow(h);
}

} // namespace

namespace {

TEST_F(Windows, MinimiseAndRestoreAreSizeChanges) {
    HWND h = CreateWindowExA(0, "Rec", "Min", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 150, nullptr, nullptr, nullptr,
                             nullptr);
    RECT c;
    GetClientRect(h, &c);
    Recorder::get().clear();
    ShowWindow(h, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(h));
    auto sizes = Recorder::get().of(WM_SIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0].wParam, static_cast<WPARAM>(SIZE_MINIMIZED));
    EXPECT_NE(GetActiveWindow(), h);
    Recorder::get().clear();
    ShowWindow(h, SW_SHOWNORMAL); // what a program does to bring it back
    EXPECT_FALSE(IsIconic(h));
    sizes = Recorder::get().of(WM_SIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0].wParam, static_cast<WPARAM>(SIZE_RESTORED));
    EXPECT_EQ(LOWORD(sizes[0].lParam), c.right);
    EXPECT_EQ(GetActiveWindow(), h);
    DestroyWindow(h);
}

} // namespace
