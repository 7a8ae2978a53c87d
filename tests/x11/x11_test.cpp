// The X11 presenter under Xvfb: the program starts its own server, shows its
// windows there, and xdotool is the person at the keyboard and the mouse.
// The test's own X connection reads the server's pixels and plays the
// window manager (close, resize).
#include "xvfb.h"
#include "gui_driver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

testsupport::XvfbServer g_xvfb;
std::string g_skip; // why the suite cannot run here

// One server for the program.
class XvfbEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        g_xvfb.start();
        g_skip = g_xvfb.skip();
        if (!g_skip.empty()) return;
        setenv("DISPLAY", g_xvfb.display().c_str(), 1);
        setenv("WAPI_DISPLAY", "x11", 1);
    }
    void TearDown() override { g_xvfb.stop(); }
};
const auto *g_env = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

// What the probe window was told.
struct Logged {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
    bool ctrlDown; // GetKeyState(VK_CONTROL) then
};

struct Log {
    std::mutex m;
    std::condition_variable cv;
    std::vector<Logged> all;
    void add(const Logged &l) {
        std::lock_guard<std::mutex> lk(m);
        all.push_back(l);
        cv.notify_all();
    }
    std::vector<Logged> of(std::initializer_list<UINT> kinds) {
        std::lock_guard<std::mutex> lk(m);
        std::vector<Logged> out;
        for (auto &l : all)
            if (std::find(kinds.begin(), kinds.end(), l.msg) != kinds.end()) out.push_back(l);
        return out;
    }
    // Waits (bounded) until n messages of a kind came.
    bool waitFor(UINT msg, size_t n = 1, DWORD ms = gui::kWaitMs) {
        std::unique_lock<std::mutex> lk(m);
        return cv.wait_for(lk, std::chrono::milliseconds(ms), [&] {
            return static_cast<size_t>(std::count_if(all.begin(), all.end(), [&](auto &l) { return l.msg == msg; })) >= n;
        });
    }
    void clear() {
        std::lock_guard<std::mutex> lk(m);
        all.clear();
    }
};
Log g_log;
std::atomic<COLORREF> g_shade{RGB(40, 120, 200)};
constexpr int kButton = 7, kOpen = 101;

LRESULT CALLBACK probeProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_KEYDOWN: case WM_KEYUP: case WM_CHAR: case WM_SYSKEYDOWN: case WM_SYSKEYUP: case WM_SYSCHAR:
    case WM_CLOSE: case WM_SIZE: case WM_COMMAND: case WM_MOUSEWHEEL: case WM_PAINT: case WM_LBUTTONUP:
        g_log.add({msg, wp, lp, GetKeyState(VK_CONTROL) < 0});
        break;
    }
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        RECT r;
        GetClientRect(h, &r);
        HBRUSH b = CreateSolidBrush(g_shade.load());
        RECT band{0, 40, r.right / 2, r.bottom};
        FillRect(dc, &band, b);
        DeleteObject(b);
        TextOutA(dc, 4, 4, "X11 probe", 9);
        EndPaint(h, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN: // a drag holds the mouse
        SetCapture(h);
        return 0;
    case WM_LBUTTONUP:
        ReleaseCapture();
        return 0;
    case WM_APP: // a caret, as an edit field has one
        CreateCaret(h, nullptr, 2, 14);
        SetCaretPos(150, 10);
        ShowCaret(h);
        return 0;
    case WM_APP + 1: // a modal question; its answer is logged
        g_log.add({WM_APP + 1, static_cast<WPARAM>(MessageBoxA(h, "Sure?", "X11 question", MB_OKCANCEL)), 0, false});
        return 0;
    case WM_APP + 2: // a stream of repaints
        for (WPARAM i = 0; i < wp; i++) {
            InvalidateRect(h, nullptr, TRUE);
            UpdateWindow(h);
        }
        g_log.add({WM_APP + 2, wp, 0, false});
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

// The application: a window with a menu and a button, run until it closes.
int runProbe(std::atomic<HWND> *out) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = probeProc;
    wc.lpszClassName = "X11Probe";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&wc);
    HMENU bar = CreateMenu(), file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, kOpen, "&Open");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    HWND h = CreateWindowExA(0, "X11Probe", "probe", WS_OVERLAPPEDWINDOW, 50, 60, 320, 240, nullptr, bar, nullptr, nullptr);
    CreateWindowExA(0, "BUTTON", "Press", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 200, 100, 80, 30, h,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButton)), nullptr, nullptr);
    ShowWindow(h, SW_SHOW);
    SetFocus(h);
    *out = h;
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return 0;
}

class X11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_skip.empty()) GTEST_SKIP() << g_skip;
        dpy = XOpenDisplay(nullptr);
        ASSERT_NE(dpy, nullptr);
        g_log.clear();
        app = std::make_unique<gui::App<int>>([this] { return runProbe(&probe); });
        for (int i = 0; i < 500 && !probe; i++) Sleep(10);
        ASSERT_TRUE(probe.load());
        xid = xWindowOf(probe);
        ASSERT_NE(xid, 0u) << "no X window shows the probe";
    }
    void TearDown() override {
        if (IsWindow(probe)) PostMessageA(probe, WM_CLOSE, 0, 0);
        app.reset();
        if (dpy) XCloseDisplay(dpy);
    }

    // The viewable X window that shows h (or a popup), or 0.
    ::Window findX(HWND h, bool popup) {
        Atom prop = XInternAtom(dpy, "_WAPI_HWND", False);
        ::Window root, parent, *kids = nullptr, found = 0;
        unsigned n = 0;
        XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &kids, &n);
        for (unsigned i = 0; i < n && !found; i++) {
            Atom type;
            int format;
            unsigned long count, after;
            unsigned char *data = nullptr;
            if (XGetWindowProperty(dpy, kids[i], prop, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
                    Success && data && count == 1) {
                HWND got = reinterpret_cast<HWND>(static_cast<uintptr_t>(*reinterpret_cast<long *>(data)));
                XWindowAttributes a;
                XGetWindowAttributes(dpy, kids[i], &a);
                bool match = popup ? a.override_redirect : got == h;
                if (match && a.map_state == IsViewable) found = kids[i];
            }
            if (data) XFree(data);
        }
        if (kids) XFree(kids);
        return found;
    }
    ::Window xWindowOf(HWND h, bool popup = false) {
        for (DWORD waited = 0; waited < gui::kWaitMs; waited += 10, Sleep(10))
            if (::Window w = findX(h, popup)) return w;
        return 0;
    }
    bool popupGone() {
        for (DWORD waited = 0; waited < gui::kWaitMs; waited += 10, Sleep(10))
            if (!findX(nullptr, true)) return true;
        return false;
    }

    // The server's pixels of the probe equal the layer's, within a bound.
    bool pixelsMatch(DWORD ms = 3000) {
        std::string why;
        for (DWORD waited = 0; waited < ms; waited += 20, Sleep(20)) {
            RECT r;
            GetWindowRect(probe, &r);
            int w = r.right - r.left, h = r.bottom - r.top;
            XImage *img = XGetImage(dpy, xid, 0, 0, w, h, AllPlanes, ZPixmap);
            if (!img) continue;
            bool same = true;
            for (int y = 0; y < h && same; y++)
                for (int x = 0; x < w && same; x++) {
                    COLORREF want = WapiGetScreenPixel(r.left + x, r.top + y);
                    unsigned long px = XGetPixel(img, x, y);
                    COLORREF got = RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF);
                    if (got != want) {
                        same = false;
                        why = "at " + std::to_string(x) + "," + std::to_string(y);
                    }
                }
            XDestroyImage(img);
            if (same) return true;
        }
        ADD_FAILURE() << "the server's pixels differ from the framebuffer " << why;
        return false;
    }

    // The window manager's close button on the probe.
    void closeByWindowManager() {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = xid;
        e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(dpy, xid, False, NoEventMask, &e);
        XFlush(dpy);
    }

    static bool xdotool(const std::string &args) {
        return std::system(("timeout 10 xdotool " + args).c_str()) == 0;
    }

    Display *dpy = nullptr;
    std::atomic<HWND> probe{nullptr};
    ::Window xid = 0;
    std::unique_ptr<gui::App<int>> app;
};

TEST_F(X11, TheServerShowsTheFramebufferAndRepaintsItWithoutTheApplication) {
    EXPECT_TRUE(pixelsMatch());
    // A repaint reaches the server.
    g_shade = RGB(200, 30, 60);
    InvalidateRect(probe, nullptr, TRUE);
    ASSERT_TRUE(g_log.waitFor(WM_PAINT, 2));
    EXPECT_TRUE(pixelsMatch());
    RECT r;
    GetWindowRect(probe, &r);
    POINT band{10, 100};
    ClientToScreen(probe, &band);
    EXPECT_EQ(WapiGetScreenPixel(band.x, band.y), RGB(200, 30, 60));
    // Uncovered, it is drawn again from the framebuffer.
    size_t paints = g_log.of({WM_PAINT}).size();
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.background_pixel = 0x00FF00;
    ::Window cover = XCreateWindow(dpy, DefaultRootWindow(dpy), r.left, r.top, 300, 200, 0, CopyFromParent,
                                   InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
    XMapRaised(dpy, cover);
    XSync(dpy, False);
    XDestroyWindow(dpy, cover);
    XSync(dpy, False);
    EXPECT_TRUE(pixelsMatch());
    EXPECT_EQ(g_log.of({WM_PAINT}).size(), paints);
}

TEST_F(X11, PaintingDoesNotWaitForAStoppedServer) {
    ASSERT_TRUE(pixelsMatch());
    kill(g_xvfb.pid(), SIGSTOP);
    g_shade = RGB(10, 160, 30);
    PostMessageA(probe, WM_APP + 2, 500, 0);
    bool painted = g_log.waitFor(WM_APP + 2);
    kill(g_xvfb.pid(), SIGCONT);
    EXPECT_TRUE(painted) << "the repaints waited for the server";
    EXPECT_TRUE(pixelsMatch());
}

TEST_F(X11, TheCaretBlinks) {
    PostMessageA(probe, WM_APP, 0, 0);
    POINT c{150, 10};
    ClientToScreen(probe, &c);
    RECT r;
    GetWindowRect(probe, &r);
    // Once shown (white inverted), it goes off and on again by itself.
    int changes = 0;
    unsigned long last = 0xFFFFFF;
    for (int i = 0; i < 250 && changes < 3; i++, Sleep(10)) {
        XImage *img = XGetImage(dpy, xid, c.x - r.left, c.y - r.top, 1, 1, AllPlanes, ZPixmap);
        if (!img) continue;
        unsigned long px = XGetPixel(img, 0, 0) & 0xFFFFFF;
        XDestroyImage(img);
        if (px != last) changes++;
        last = px;
    }
    EXPECT_EQ(changes, 3) << "the caret did not blink within 2.5 s";
}

TEST_F(X11, KeysArriveWithWin32KeyData) {
    // Each modifier pressed and released on its own, so that the order is
    // ours. xdotool holds Control_L under Control_R.
    ASSERT_TRUE(xdotool("key --delay 20 a keydown Shift_L key b keyup Shift_L key --delay 20 Home KP_Enter "
                        "keydown Control_R key x keyup Control_R key Delete keydown Alt_L key q keyup Alt_L"));
    ASSERT_TRUE(g_log.waitFor(WM_SYSKEYUP));
    struct Want {
        UINT msg;
        WPARAM wp;
        DWORD lp; // repeat 1, scan code, extended, Alt, previous state, transition
        bool ctrl;
    };
    const Want want[] = {
        {WM_KEYDOWN, 'A', 0x001E0001, false},        {WM_CHAR, 'a', 0x001E0001, false},
        {WM_KEYUP, 'A', 0xC01E0001, false},          {WM_KEYDOWN, VK_SHIFT, 0x002A0001, false},
        {WM_KEYDOWN, 'B', 0x00300001, false},        {WM_CHAR, 'B', 0x00300001, false},
        {WM_KEYUP, 'B', 0xC0300001, false},          {WM_KEYUP, VK_SHIFT, 0xC02A0001, false},
        {WM_KEYDOWN, VK_HOME, 0x01470001, false},    {WM_KEYUP, VK_HOME, 0xC1470001, false},
        {WM_KEYDOWN, VK_RETURN, 0x011C0001, false},  {WM_CHAR, '\r', 0x011C0001, false},
        {WM_KEYUP, VK_RETURN, 0xC11C0001, false},    {WM_KEYDOWN, VK_CONTROL, 0x001D0001, true},
        {WM_KEYDOWN, VK_CONTROL, 0x411D0001, true},  {WM_KEYDOWN, 'X', 0x002D0001, true},
        {WM_CHAR, 0x18, 0x002D0001, true},           {WM_KEYUP, 'X', 0xC02D0001, true},
        {WM_KEYUP, VK_CONTROL, 0xC01D0001, false},   {WM_KEYUP, VK_CONTROL, 0xC11D0001, false},
        {WM_KEYDOWN, VK_DELETE, 0x01530001, false},  {WM_KEYUP, VK_DELETE, 0xC1530001, false},
        {WM_SYSKEYDOWN, VK_MENU, 0x20380001, false}, {WM_SYSKEYDOWN, 'Q', 0x20100001, false},
        {WM_SYSCHAR, 'q', 0x20100001, false},        {WM_SYSKEYUP, 'Q', 0xE0100001, false},
    };
    auto got = g_log.of({WM_KEYDOWN, WM_KEYUP, WM_CHAR, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_SYSCHAR});
    ASSERT_GE(got.size(), std::size(want));
    for (size_t i = 0; i < std::size(want); i++) {
        SCOPED_TRACE("message " + std::to_string(i));
        EXPECT_EQ(got[i].msg, want[i].msg);
        EXPECT_EQ(got[i].wp, want[i].wp);
        EXPECT_EQ(static_cast<DWORD>(got[i].lp), want[i].lp);
        EXPECT_EQ(got[i].ctrlDown, want[i].ctrl);
    }
}

TEST_F(X11, AHeldKeyRepeatsAsPressesAlone) {
    ASSERT_TRUE(xdotool("keydown a sleep 0.8 keyup a"));
    ASSERT_TRUE(g_log.waitFor(WM_KEYUP));
    auto downs = g_log.of({WM_KEYDOWN});
    ASSERT_GE(downs.size(), 3u) << "no repeats";
    EXPECT_EQ(static_cast<DWORD>(downs[0].lp), 0x001E0001u);
    EXPECT_EQ(static_cast<DWORD>(downs[1].lp), 0x401E0001u); // previous state: down
    EXPECT_EQ(g_log.of({WM_KEYUP}).size(), 1u);
    EXPECT_EQ(g_log.of({WM_CHAR}).size(), downs.size());
}

TEST_F(X11, TheWheelADragAndAClickOnAButton) {
    std::string w = " --window " + std::to_string(xid);
    ASSERT_TRUE(xdotool("mousemove" + w + " 30 100 click 5"));
    ASSERT_TRUE(g_log.waitFor(WM_MOUSEWHEEL));
    EXPECT_EQ(static_cast<short>(HIWORD(g_log.of({WM_MOUSEWHEEL})[0].wp)), -WHEEL_DELTA);
    // A drag that leaves the window: the release still comes, beyond its right edge.
    ASSERT_TRUE(xdotool("mousemove" + w + " 30 100 mousedown 1 mousemove" + w + " 500 120 mouseup 1"));
    ASSERT_TRUE(g_log.waitFor(WM_LBUTTONUP));
    RECT client;
    GetClientRect(probe, &client);
    auto up = g_log.of({WM_LBUTTONUP})[0];
    EXPECT_GT(static_cast<short>(LOWORD(up.lp)), client.right);
    // The button's middle, in the X window's coordinates.
    POINT p{240, 115};
    ClientToScreen(probe, &p);
    RECT r;
    GetWindowRect(probe, &r);
    ASSERT_TRUE(xdotool("mousemove" + w + " " + std::to_string(p.x - r.left) + " " + std::to_string(p.y - r.top) +
                        " click 1"));
    ASSERT_TRUE(g_log.waitFor(WM_COMMAND));
    auto cmd = g_log.of({WM_COMMAND})[0];
    EXPECT_EQ(LOWORD(cmd.wp), kButton);
    EXPECT_EQ(HIWORD(cmd.wp), BN_CLICKED);
}

TEST_F(X11, AMenuOpensWithAltAsAPopupAndIsChosen) {
    ASSERT_TRUE(xdotool("key alt+f"));
    ::Window popup = xWindowOf(nullptr, true);
    ASSERT_NE(popup, 0u) << "the menu did not open as an override-redirect window";
    ASSERT_TRUE(xdotool("key o"));
    ASSERT_TRUE(g_log.waitFor(WM_COMMAND));
    EXPECT_EQ(LOWORD(g_log.of({WM_COMMAND})[0].wp), kOpen);
    EXPECT_TRUE(popupGone()) << "the menu's window stayed";
}

TEST_F(X11, AModalMessageBoxHoldsItsOwner) {
    PostMessageA(probe, WM_APP + 1, 0, 0);
    HWND box = gui::waitForWindow("X11 question");
    ASSERT_TRUE(box);
    ASSERT_NE(xWindowOf(box), 0u);
    EXPECT_FALSE(IsWindowEnabled(probe));
    // The owner is focused, as a window manager would on a click: the box
    // is activated instead and takes the keys.
    XSetInputFocus(dpy, xid, RevertToParent, CurrentTime);
    XFlush(dpy);
    for (int i = 0; i < 300 && GetForegroundWindow() != box; i++) Sleep(10);
    EXPECT_EQ(GetForegroundWindow(), box);
    // The owner's close button does nothing while the box is up.
    closeByWindowManager();
    ASSERT_TRUE(xdotool("key Escape"));
    ASSERT_TRUE(g_log.waitFor(WM_APP + 1));
    EXPECT_EQ(g_log.of({WM_APP + 1})[0].wp, static_cast<WPARAM>(IDCANCEL));
    EXPECT_TRUE(g_log.of({WM_CLOSE}).empty());
    EXPECT_TRUE(IsWindowEnabled(probe));
}

TEST_F(X11, TheCaptionMovesTheXWindow) {
    RECT r0;
    GetWindowRect(probe, &r0);
    ASSERT_TRUE(xdotool("mousemove --window " + std::to_string(xid) +
                        " 100 10 mousedown 1 mousemove_relative 20 10 mousemove_relative 20 20 mouseup 1"));
    RECT r = r0;
    XWindowAttributes a{};
    for (int i = 0; i < 300; i++, Sleep(10)) {
        GetWindowRect(probe, &r);
        XGetWindowAttributes(dpy, xid, &a);
        if (r.left == r0.left + 40 && r.top == r0.top + 30 && a.x == r.left && a.y == r.top) break;
    }
    EXPECT_EQ(r.left, r0.left + 40);
    EXPECT_EQ(r.top, r0.top + 30);
    EXPECT_EQ(a.x, r.left);
    EXPECT_EQ(a.y, r.top);
    EXPECT_TRUE(pixelsMatch());
}

TEST_F(X11, TheWindowManagerResizesAndCloses) {
    g_log.clear();
    XResizeWindow(dpy, xid, 400, 300);
    XFlush(dpy);
    ASSERT_TRUE(g_log.waitFor(WM_SIZE));
    RECT r, c;
    for (int i = 0; i < 100; i++, Sleep(10)) {
        GetWindowRect(probe, &r);
        if (r.right - r.left == 400) break;
    }
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(r.bottom - r.top, 300);
    GetClientRect(probe, &c);
    auto size = g_log.of({WM_SIZE}).back();
    EXPECT_EQ(LOWORD(size.lp), c.right);
    EXPECT_EQ(HIWORD(size.lp), c.bottom);
    EXPECT_TRUE(pixelsMatch());
    closeByWindowManager();
    ASSERT_TRUE(g_log.waitFor(WM_CLOSE));
    EXPECT_TRUE(gui::waitGone(probe));
    EXPECT_EQ(app->result(-1), 0);
}

} // namespace
