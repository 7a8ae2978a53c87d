// The progress dialog followed through whole transfers against lrzsz, read
// from another thread as a person watching it would (name, size, bytes,
// characters per second, status, bar), and stopped part-way by its Cancel
// button, by Esc and by closing it.
#include "transfer_app.h"

#include "lrzsz.h"
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>

using namespace tw;
using namespace gui;
using testsupport::LineOptions;
using testsupport::PeerProgram;
using testsupport::TempDir;
using testsupport::readFile;

namespace {

using tw::App; // not gui::App: this one opens a port and keeps a window

constexpr int kCom = 141;
constexpr unsigned kLineRate = 24000; // bytes per second: a transfer of 48 KB takes two seconds

LineOptions paced() {
    LineOptions line;
    line.bytesPerSecond = kLineRate;
    return line;
}

bool centredOver(HWND window, HWND reference) {
    RECT w, r;
    GetWindowRect(window, &w);
    GetWindowRect(reference, &r);
    return std::abs((w.left + w.right) - (r.left + r.right)) <= 2 &&
           std::abs((w.top + w.bottom) - (r.top + r.bottom)) <= 2;
}

// What the samples showed for the named file while its bytes were moving.
struct Seen {
    int samples = 0;          // with bytes strictly between 0 and the size
    bool monotonic = true;    // bytes never went back
    bool barFollows = true;   // bar = bytes / 100 on the range 0 .. size / 100
    long long cps = -1;       // the last figure shown after 1.2 s of data
    std::vector<std::string> statuses;
};

Seen look(const std::vector<Fields> &samples, const std::string &name, long long size) {
    Seen seen;
    long long last = -1;
    for (const Fields &f : samples) {
        if (f.name != name) continue;
        if (std::find(seen.statuses.begin(), seen.statuses.end(), f.status) == seen.statuses.end())
            seen.statuses.push_back(f.status);
        if (f.bytes.empty() || f.bytes[0] < '0' || f.bytes[0] > '9') continue;
        const long long bytes = std::stoll(f.bytes);
        if (bytes < last) seen.monotonic = false;
        last = bytes;
        if (bytes > 0 && bytes < size) {
            seen.samples++;
            // The bar was read after the bytes, and the worker sets it
            // after them: it may be one report ahead or behind.
            const long long scale = size > 100 ? size / 100 : size;
            const long long expected = size > 100 ? bytes / 100 : bytes;
            const long long slack = 12 * 1024 / 100;
            if (f.bar.low != 0 || f.bar.high != scale || f.bar.position + slack < expected ||
                f.bar.position > expected + slack)
                seen.barFollows = false;
        }
        if (!f.cps.empty() && f.cps[0] >= '1' && f.cps[0] <= '9') seen.cps = std::stoll(f.cps);
    }
    return seen;
}

TEST(ProgressWindow, FollowsAZmodemUploadToRzAndStaysForTheBatch) {
    TempDir src, dst;
    const std::string data = randomBytes(48 * 1024, 7);
    writeFile(src.file("follow me.bin"), data);
    PeerProgram rz(kCom, "rz -y -q", dst.path(), paced());
    std::atomic<LONG> first{-1}; // set by the application's thread while the test follows
    App *self = nullptr;
    App app(kCom, [&](LONG port, HWND window) {
        first = Func037(port, window, src.path().c_str(), "follow me.bin", 0);
        self->pause();
        return Func037(port, window, nullptr, nullptr, -1);
    });
    self = &app;
    ASSERT_TRUE(app.opened());
    HWND dialog = waitForWindow("Zmodem Send", "ZmodemTransfer");
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(IsWindowEnabled(app.window())) << "the application's window stays usable during the transfer";
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), app.window());
    EXPECT_TRUE(centredOver(dialog, app.window()));
    EXPECT_TRUE(FindWindowExA(dialog, nullptr, "Static", "Bytes Sent"));
    // Followed until the file is done; the dialog stays for the batch.
    std::vector<Fields> samples = follow(dialog, [&] { return first != -1; });
    ASSERT_EQ(app.result(-1, 100), -1) << "the batch ended before its last call";
    EXPECT_EQ(first.load(), 0);
    ASSERT_TRUE(IsWindow(dialog));
    EXPECT_EQ(itemText(dialog, 1000), "follow me.bin");
    EXPECT_EQ(itemText(dialog, 1001), "49152");
    EXPECT_EQ(itemText(dialog, 1002), "49152");
    Bar end = bar(dialog);
    EXPECT_EQ(end.high, 491);
    EXPECT_EQ(end.position, 491);

    Seen seen = look(samples, "follow me.bin", 49152);
    EXPECT_GE(seen.samples, 3) << "too few looks at the moving figures";
    EXPECT_TRUE(seen.monotonic);
    EXPECT_TRUE(seen.barFollows);
    EXPECT_GT(seen.cps, 0) << "no characters per second after a second of data";
    // "Waiting For Receiver" lasts only until rz has announced itself, often
    // less than a look; what follows it must be seen.
    EXPECT_NE(std::find(seen.statuses.begin(), seen.statuses.end(), "Sending File"), seen.statuses.end());

    app.resume();
    EXPECT_EQ(app.result(-1), 0);
    EXPECT_TRUE(waitGone(dialog, 2000)) << "the dialog stayed after the batch ended";
    EXPECT_TRUE(app.enabledAfter());
    EXPECT_EQ(rz.wait(10000), 0) << rz.log();
    EXPECT_TRUE(readFile(dst.file("follow me.bin")) == data);
}

TEST(ProgressWindow, FollowsAYmodemDownloadFromSbFileByFile) {
    TempDir src, dst;
    const std::string one = randomBytes(30 * 1024, 1), two = randomBytes(20 * 1024 + 5, 2);
    writeFile(src.file("one.bin"), one);
    writeFile(src.file("two.bin"), two);
    PeerProgram sb(kCom, "sb -k one.bin two.bin", src.path(), paced());
    App app(kCom, [&](LONG port, HWND window) {
        return Func123(port, window, VORLEX_PROTOCOL_YMODEM, dst.path().c_str(), nullptr);
    });
    ASSERT_TRUE(app.opened());
    HWND dialog = waitForWindow("Ymodem Receive", "ZmodemTransfer");
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(FindWindowExA(dialog, nullptr, "Static", "Bytes Rcvd"));
    EXPECT_FALSE(IsWindowEnabled(app.window()));
    std::vector<Fields> samples = follow(dialog, [] { return false; });
    EXPECT_EQ(app.result(-1), 0);
    EXPECT_TRUE(app.enabledAfter());
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(sb.wait(10000), 0) << sb.log();
    EXPECT_TRUE(readFile(dst.file("one.bin")) == one);
    EXPECT_TRUE(readFile(dst.file("two.bin")) == two);

    Seen a = look(samples, "one.bin", static_cast<long long>(one.size()));
    Seen b = look(samples, "two.bin", static_cast<long long>(two.size()));
    EXPECT_GE(a.samples, 3);
    EXPECT_GE(b.samples, 3);
    EXPECT_TRUE(a.monotonic && b.monotonic);
    EXPECT_TRUE(a.barFollows && b.barFollows);
    bool sizeShown = false;
    for (const Fields &f : samples) sizeShown |= f.name == "two.bin" && f.size == "20485";
    EXPECT_TRUE(sizeShown);
    // What a receiver counts is what the line brought: close to its rate.
    EXPECT_GT(a.cps, kLineRate * 6 / 10);
    EXPECT_LT(a.cps, kLineRate * 11 / 10);
    EXPECT_NE(std::find(a.statuses.begin(), a.statuses.end(), "Receiving File"), a.statuses.end());
}

// The bytes shown once they passed the mark, or -1 when the dialog went first.
long long waitForBytes(HWND dialog, long long mark) {
    const DWORD start = GetTickCount();
    while (IsWindow(dialog) && GetTickCount() - start < 15000) {
        const long long bytes = itemNumber(dialog, 1002);
        if (bytes >= mark) return bytes;
        Sleep(20);
    }
    return -1;
}

TEST(ProgressWindow, CancelButtonStopsAZmodemDownloadAndTellsTheSender) {
    TempDir src, dst;
    writeFile(src.file("long.bin"), randomBytes(400 * 1024, 3));
    PeerProgram sz(kCom, "sz -q long.bin", src.path(), paced());
    App app(kCom, [&](LONG port, HWND window) { return Func024(port, window, dst.path().c_str()); });
    ASSERT_TRUE(app.opened());
    HWND dialog = waitForWindow("Zmodem Receive", "ZmodemTransfer");
    ASSERT_TRUE(dialog);
    ASSERT_GE(waitForBytes(dialog, 16 * 1024), 16 * 1024);
    const DWORD pressed = GetTickCount();
    click(GetDlgItem(dialog, IDCANCEL));
    // Our receiver reports a cancel of its user as refused (2).
    EXPECT_EQ(app.result(-1, 5000), VORLEX_TRANSFER_REMOTE_CANCEL);
    EXPECT_LT(GetTickCount() - pressed, 3000u);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(app.enabledAfter());
    EXPECT_NE(sz.wait(10000), 0) << "sz did not hear of the cancel";
}

TEST(ProgressWindow, EscStopsAZmodemUpload) {
    TempDir src, dst;
    writeFile(src.file("long.bin"), randomBytes(400 * 1024, 4));
    PeerProgram rz(kCom, "rz -y -q", dst.path(), paced());
    App app(kCom, [&](LONG port, HWND window) {
        LONG r = Func037(port, window, src.path().c_str(), "long.bin", 0);
        Func037(port, window, nullptr, nullptr, -1);
        return r;
    });
    ASSERT_TRUE(app.opened());
    HWND dialog = waitForWindow("Zmodem Send", "ZmodemTransfer");
    ASSERT_TRUE(dialog);
    ASSERT_GE(waitForBytes(dialog, 16 * 1024), 16 * 1024);
    key(dialog, VK_ESCAPE);
    // 3 when the sender saw the cancel while sending data, 2 while it
    // waited for a header.
    const LONG result = app.result(-1, 10000);
    EXPECT_TRUE(result == VORLEX_TRANSFER_CANCELLED || result == VORLEX_TRANSFER_REMOTE_CANCEL) << result;
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(app.enabledAfter());
    EXPECT_NE(rz.wait(10000), 0) << "rz did not hear of the cancel";
}

TEST(ProgressWindow, ClosingTheDialogStopsAYmodemDownload) {
    TempDir src, dst;
    writeFile(src.file("long.bin"), randomBytes(300 * 1024, 5));
    PeerProgram sb(kCom, "sb -k long.bin", src.path(), paced());
    App app(kCom, [&](LONG port, HWND window) {
        return Func123(port, window, VORLEX_PROTOCOL_YMODEM, dst.path().c_str(), nullptr);
    });
    ASSERT_TRUE(app.opened());
    HWND dialog = waitForWindow("Ymodem Receive", "ZmodemTransfer");
    ASSERT_TRUE(dialog);
    ASSERT_GE(waitForBytes(dialog, 8 * 1024), 8 * 1024);
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    const LONG result = app.result(-1, 5000);
    EXPECT_TRUE(result == VORLEX_TRANSFER_REMOTE_CANCEL || result == VORLEX_TRANSFER_CANCELLED) << result;
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(app.enabledAfter());
    EXPECT_NE(sb.wait(10000), 0) << "sb did not hear of the cancel";
}

// The application is told to quit while a download waits for its sender:
// the transfer stops at once, tells the other end, and the quit reaches the
// application's own loop afterwards.
TEST(ProgressWindow, QuitDuringATransferStopsItAndIsPostedAgain) {
    testsupport::PtyPort line(kCom);
    TempDir dst;
    std::atomic<DWORD> thread{0};
    std::atomic<bool> quitAfter{false};
    App app(kCom, [&](LONG port, HWND window) {
        thread = GetCurrentThreadId();
        const LONG r = Func024(port, window, dst.path().c_str());
        MSG msg;
        quitAfter = PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
        return r;
    });
    ASSERT_TRUE(app.opened());
    HWND dialog = waitForWindow("Zmodem Receive", "ZmodemTransfer");
    ASSERT_TRUE(dialog);
    Sleep(300);
    const DWORD posted = GetTickCount();
    ASSERT_TRUE(PostThreadMessageA(thread, WM_QUIT, 7, 0));
    const LONG result = app.result(-1, 8000);
    EXPECT_NE(result, -1) << "the transfer went on after the quit";
    EXPECT_NE(result, 0);
    EXPECT_LT(GetTickCount() - posted, 6000u);
    EXPECT_TRUE(quitAfter.load()) << "the quit was swallowed";
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(app.enabledAfter());
    const std::string sent = line.drain(1000);
    EXPECT_NE(sent.find(std::string(8, '\x18')), std::string::npos) << "no cancel sequence";
}

} // namespace
