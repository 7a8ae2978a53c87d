// The progress bar of real Zmodem uploads from our sender (dialog shown) to
// our receiver or a scripted peer on an in-process null-modem pair: its
// range and position for a tiny, a middling and a large file, how it looks
// on the screen part-way, a callback that stops the upload when it hears of
// the file, and an error count that outlives later status reports.
#include "transfer_app.h"

#include "support.h"
#include "zframes.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <optional>

using namespace tw;
using namespace gui;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

using tw::App; // not gui::App: this one opens a port and keeps a window

constexpr int kSenderCom = 151;
const char kSenderName[] = "COM151";
const char kPeerName[] = "COM152";
constexpr LONG kPeerPort = 151; // COM152
// The sender's largest subpacket: a report may lag the bytes shown by one.
constexpr int kReportSlack = 1024 / 100 + 1;

// The pair for one test; removed once both ends are closed.
class Line {
public:
    explicit Line(DWORD bytesPerSecond = 0) {
        WAPI_LINE_OPTIONS o{};
        o.bytesPerSecond = bytesPerSecond;
        ok_ = WapiCreateNullModemPair(kSenderName, kPeerName, &o) != FALSE;
    }
    ~Line() {
        for (int i = 0; ok_ && i < 500 && !WapiDestroyNullModemPair(kSenderName); i++) Sleep(10);
    }
    bool ok() const { return ok_; }
    void rate(DWORD bytesPerSecond) {
        WAPI_LINE_OPTIONS o{};
        o.bytesPerSecond = bytesPerSecond;
        WapiSetNullModemLine(kSenderName, &o);
    }

private:
    bool ok_ = false;
};

// Our receiver, without a window, on a thread of its own. Started once the
// sender's DTR is up: without a carrier it would give up at once.
class Receiver {
public:
    explicit Receiver(const std::string &dir) {
        thread_ = std::thread([this, dir] {
            if (Func041(kPeerPort, 0x5252) == 0) {
                Func090(kPeerPort, 1, 0, 0, 0, 60);
                Func056(kPeerPort, 1); // DTR: the sender's carrier
                result_ = Func024(kPeerPort, nullptr, dir.c_str());
                Func122(kPeerPort, 0x5252);
            }
            done_ = true;
        });
    }
    ~Receiver() { thread_.join(); }
    LONG result(DWORD ms) {
        for (DWORD start = GetTickCount(); !done_ && GetTickCount() - start < ms;) Sleep(10);
        return done_ ? result_.load() : -999;
    }

private:
    std::atomic<LONG> result_{-1};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// The far end played by the test: answers each header the sender sends as
// answer() says and keeps every byte it got.
class Peer {
public:
    using Answer = std::function<std::string(const zf::Frame &)>;
    explicit Peer(Answer answer) : answer_(std::move(answer)) {
        handle_ = CreateFileA(kPeerName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        COMMTIMEOUTS to{MAXDWORD, MAXDWORD, 50, 0, 2000};
        SetCommTimeouts(handle_, &to);
        EscapeCommFunction(handle_, SETDTR);
        EscapeCommFunction(handle_, SETRTS);
        thread_ = std::thread([this] { run(); });
    }
    ~Peer() {
        stop_ = true;
        thread_.join();
        CloseHandle(handle_);
    }
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    std::string received() {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

private:
    void run() {
        size_t pos = 0;
        while (!stop_) {
            char buffer[4096];
            DWORD n = 0;
            if (!ReadFile(handle_, buffer, sizeof buffer, &n, nullptr) || n == 0) continue;
            std::string all;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                bytes_.append(buffer, n);
                all = bytes_;
            }
            for (;;) {
                zf::Frame f = zf::nextHeader(all, pos);
                if (f.type < 0) break;
                const std::string reply = answer_(f);
                DWORD written = 0;
                if (!reply.empty()) WriteFile(handle_, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
            }
        }
    }

    Answer answer_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string bytes_;
    std::thread thread_;
};

std::string receiverInit() { return zf::hexHeader(zf::ZRINIT, std::string("\0\0\0\x23", 4)); }

// The application's pauses between the files of a batch. A test that ends
// early lets the application go on without them (release, made after the
// App so that it goes first), so that the App can finish.
struct Steps {
    App *app = nullptr;
    std::atomic<bool> free{false};
    void pause() {
        if (!free) app->pause();
    }
    void resume() { app->resume(); }
    struct Release {
        Steps &steps;
        ~Release() {
            steps.free = true;
            if (steps.app) steps.app->resume();
        }
    };
};

bool waitFor(const std::function<bool()> &what, DWORD ms) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10))
        if (what()) return true;
    return what();
}

// One look at the moving figures: the bar, the bytes field, the bar again.
struct Look {
    Bar before, after;
    long long bytes = -1;
};

// Follows the dialog until until() holds; every look with bytes strictly
// between 0 and size is kept.
std::vector<Look> watch(HWND dialog, long long size, const std::function<bool()> &until,
                        const std::function<void(const Look &)> &each = nullptr) {
    std::vector<Look> looks;
    while (IsWindow(dialog) && !until()) {
        Look l;
        l.before = bar(dialog);
        l.bytes = itemNumber(dialog, 1002);
        l.after = bar(dialog);
        if (l.bytes > 0 && l.bytes < size) {
            looks.push_back(l);
            if (each) each(l);
        }
        Sleep(15);
    }
    return looks;
}

// Every look agrees with a bar of range 0..top at bytes / 100: the bar was
// read around the bytes, and may lag them by one report.
void expectBarFollows(const std::vector<Look> &looks, int top, const char *what) {
    int bad = 0;
    for (const Look &l : looks) {
        // A sender that went back (an acknowledgement timed out) between
        // the two reads of the bar says nothing about the bytes read.
        if (l.after.position < l.before.position) continue;
        const long long expected = l.bytes / 100;
        const bool range = l.before.low == 0 && l.before.high == top && l.after.high == top;
        const bool position = l.before.position <= expected && expected <= l.after.position + kReportSlack;
        if (!range || !position) {
            if (bad++ < 3)
                ADD_FAILURE() << what << ": bytes " << l.bytes << " with bar " << l.before.position << ".."
                              << l.after.position << " of " << l.before.low << ".." << l.before.high;
        }
    }
    EXPECT_EQ(bad, 0) << what;
}

// The bar's fill on the screen: the share of its inside, along a row through
// its middle, up to the last pixel of the highlight colour.
double filledShare(HWND barWindow) {
    RECT c;
    GetClientRect(barWindow, &c);
    POINT origin{0, 0};
    ClientToScreen(barWindow, &origin);
    const int y = origin.y + c.bottom / 2;
    const int left = origin.x + 1, width = c.right - 2;
    const COLORREF fill = GetSysColor(COLOR_HIGHLIGHT);
    int last = -1;
    for (int x = 0; x < width; x++)
        if (WapiGetScreenPixel(left + x, y) == fill) last = x;
    return width > 0 ? (last + 1) / static_cast<double>(width) : -1;
}

TEST(ProgressBar, RangeAndPositionFollowATinyAMiddlingAndALargeFile) {
    TempDir src, dst;
    const std::string tiny = randomBytes(50, 21), middling = randomBytes(1000000, 22),
                      large = randomBytes(7000000, 23);
    writeFile(src.file("tiny.bin"), tiny);
    writeFile(src.file("middling.bin"), middling);
    writeFile(src.file("large.bin"), large);
    Line line;
    ASSERT_TRUE(line.ok());
    std::optional<Receiver> receiver;
    std::atomic<LONG> results[3] = {-1, -1, -1};
    Steps steps;
    App app(kSenderCom, [&](LONG port, HWND window) {
        Func056(port, 1);
        const char *names[] = {"tiny.bin", "middling.bin", "large.bin"};
        for (int i = 0; i < 3; i++) {
            results[i] = Func037(port, window, src.path().c_str(), names[i], i);
            steps.pause();
        }
        return Func037(port, window, nullptr, nullptr, -1);
    });
    steps.app = &app;
    Steps::Release release{steps};
    ASSERT_TRUE(app.opened());
    HWND dialog = waitForWindow("Zmodem Send", "ZmodemTransfer");
    ASSERT_TRUE(dialog);
    HWND barWindow = GetDlgItem(dialog, 1003);
    receiver.emplace(dst.path());

    // 50 bytes: a range of 0..50 that the bar reaches.
    ASSERT_TRUE(waitFor([&] { return results[0] != -1; }, 15000));
    ASSERT_EQ(results[0], 0) << "receiver: " << receiver->result(0);
    Bar b = bar(dialog);
    EXPECT_EQ(b.low, 0);
    EXPECT_EQ(b.high, 50);
    EXPECT_EQ(b.position, 50);
    EXPECT_EQ(itemText(dialog, 1002), "50");

    // 1,000,000 bytes at 400,000 a second: 0..10000, a step per 100 bytes.
    // Half-way the line slows to a crawl, so that the picture can be compared
    // with the bar's state.
    line.rate(400000);
    double share = -1, shareLow = 0, shareHigh = 0;
    bool looked = false;
    steps.resume();
    std::vector<Look> looks = watch(dialog, 1000000, [&] { return results[1] != -1; }, [&](const Look &l) {
        if (looked || l.bytes < 450000) return;
        looked = true;
        line.rate(20000);
        Sleep(200);
        settle(dialog);
        const Bar first = bar(dialog);
        share = filledShare(barWindow);
        const Bar second = bar(dialog);
        shareLow = first.position / 10000.0;
        shareHigh = second.position / 10000.0;
        line.rate(400000);
    });
    ASSERT_EQ(results[1], 0);
    EXPECT_GE(looks.size(), 10u) << "too few looks at the moving bar";
    expectBarFollows(looks, 10000, "1,000,000 bytes");
    b = bar(dialog);
    EXPECT_EQ(b.high, 10000);
    EXPECT_EQ(b.position, 10000);
    ASSERT_TRUE(looked) << "the bytes never showed half the file";
    // Whole blocks (two thirds of the bar's height, two pixels apart): the
    // last block lit may end up to a block past the true fill, or the fill
    // may end in a gap.
    RECT c;
    GetClientRect(barWindow, &c);
    const double block = (c.bottom * 2 / 3 + 2) / static_cast<double>(c.right - 2);
    EXPECT_GT(shareLow, 0.4);
    EXPECT_GE(share, shareLow - block) << "the bar's picture lags its position";
    EXPECT_LE(share, shareHigh + block) << "the bar's picture runs ahead of its position";

    // The dialog's own face is the button face, around the bar too.
    RECT d;
    GetClientRect(dialog, &d);
    POINT corner{d.right - 3, d.bottom - 3};
    ClientToScreen(dialog, &corner);
    EXPECT_EQ(WapiGetScreenPixel(corner.x, corner.y), GetSysColor(COLOR_BTNFACE));
    RECT br;
    GetWindowRect(barWindow, &br);
    EXPECT_EQ(WapiGetScreenPixel(br.left + 8, br.top - 3), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(WapiGetScreenPixel(br.right - 8, br.bottom + 3), GetSysColor(COLOR_BTNFACE));
    // The Cancel button shows its default frame: the dialog's background,
    // painted after the button drew itself on getting the focus, must not
    // cover it.
    RECT cancel;
    GetWindowRect(GetDlgItem(dialog, IDCANCEL), &cancel);
    EXPECT_EQ(WapiGetScreenPixel(cancel.left, (cancel.top + cancel.bottom) / 2), GetSysColor(COLOR_WINDOWFRAME));

    // 7,000,000 bytes on a fast line: the whole range of 0..70000, which a
    // 16-bit range would have cut to 4464.
    line.rate(0);
    steps.resume();
    const DWORD start = GetTickCount();
    looks = watch(dialog, 7000000, [&] { return results[2] != -1; });
    const DWORD took = GetTickCount() - start;
    ASSERT_EQ(results[2], 0);
    EXPECT_GE(looks.size(), 2u);
    expectBarFollows(looks, 70000, "7,000,000 bytes");
    b = bar(dialog);
    EXPECT_EQ(b.low, 0);
    EXPECT_EQ(b.high, 70000);
    EXPECT_EQ(b.position, 70000);
    EXPECT_EQ(itemText(dialog, 1002), "7000000");
    std::printf("[ figures  ] 7,000,000 bytes in %lu ms\n", static_cast<unsigned long>(took));

    steps.resume();
    EXPECT_EQ(app.result(-1, 20000), 0);
    EXPECT_EQ(receiver->result(20000), 0);
    EXPECT_TRUE(readFile(dst.file("tiny.bin")) == tiny);
    EXPECT_TRUE(readFile(dst.file("middling.bin")) == middling);
    EXPECT_TRUE(readFile(dst.file("large.bin")) == large);
}

// The callback's answers, for the tests that stop a transfer with it.
std::atomic<int> g_announcements{0}, g_laterCalls{0};

LONG WINAPI stopWhenAnnounced(LONG, LONG, LPCSTR, DWORD, DWORD, DWORD, DWORD, LONG status) {
    if (status == 1) {
        g_announcements++;
        return 1;
    }
    g_laterCalls++;
    return 0;
}

TEST(ProgressBar, ACallbackThatStopsAtTheAnnouncementEndsTheUploadAndTellsTheOtherEnd) {
    TempDir src;
    writeFile(src.file("never.bin"), randomBytes(20000, 31));
    Line line;
    ASSERT_TRUE(line.ok());
    // The batch's end still has its exchange: ZRINIT to each ZRQINIT, ZFIN to ZFIN.
    Peer peer([](const zf::Frame &f) -> std::string {
        if (f.type == zf::ZRQINIT) return receiverInit();
        if (f.type == zf::ZFIN) return zf::hexHeader(zf::ZFIN, 0);
        return "";
    });
    ASSERT_TRUE(peer.ok());
    g_announcements = 0;
    g_laterCalls = 0;
    std::atomic<LONG> first{-1};
    std::string beforeEnd;
    App app(kSenderCom, [&](LONG port, HWND window) {
        Func056(port, 1);
        Func085(port, stopWhenAnnounced);
        first = Func037(port, window, src.path().c_str(), "never.bin", 0);
        // What went to the line because of the stop, before the batch's end.
        Sleep(300);
        beforeEnd = peer.received();
        Func085(port, nullptr);
        return Func037(port, window, nullptr, nullptr, -1);
    });
    ASSERT_TRUE(app.opened());
    EXPECT_EQ(app.result(-1, 15000), 0);
    EXPECT_EQ(first, VORLEX_ZMODEM_STOPPED);
    EXPECT_EQ(g_announcements, 1);
    EXPECT_EQ(g_laterCalls, 0) << "the callback was asked again after it said stop";
    EXPECT_NE(beforeEnd.find(std::string(8, '\x18')), std::string::npos) << "no cancel sequence reached the other end";
    EXPECT_EQ(beforeEnd.find("rz\r"), std::string::npos) << "the stopped upload still woke the receiver";
    const std::string all = peer.received();
    size_t pos = 0;
    bool offered = false;
    for (zf::Frame f = zf::nextHeader(all, pos); f.type >= 0; f = zf::nextHeader(all, pos))
        offered |= f.type == zf::ZFILE;
    EXPECT_FALSE(offered) << "the stopped file was offered";
    EXPECT_EQ(FindWindowA("ZmodemTransfer", "Zmodem Send"), nullptr);
}

TEST(ProgressBar, TheErrorCountStaysThroughStatusReportsWithoutErrors) {
    TempDir src;
    const std::string text = "A short text that goes in one subpacket.\r\n";
    writeFile(src.file("short.txt"), text);
    Line line;
    ASSERT_TRUE(line.ok());
    HANDLE holdEnd = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> zrqinits{0}, zeofs{0};
    // The first ZEOF gets a ZNAK, which the sender counts as an error; the
    // batch's closing ZRQINIT waits for the test's look.
    Peer peer([&](const zf::Frame &f) -> std::string {
        switch (f.type) {
        case zf::ZRQINIT:
            if (++zrqinits > 1) WaitForSingleObject(holdEnd, 10000);
            return receiverInit();
        case zf::ZFILE: return zf::hexHeader(zf::ZRPOS, 0);
        case zf::ZEOF: return ++zeofs == 1 ? zf::hexHeader(zf::ZNAK, 0) : receiverInit();
        case zf::ZNAK: return receiverInit();
        case zf::ZFIN: return zf::hexHeader(zf::ZFIN, 0);
        default: return "";
        }
    });
    ASSERT_TRUE(peer.ok());
    std::atomic<LONG> first{-1};
    Steps steps;
    App app(kSenderCom, [&](LONG port, HWND window) {
        Func056(port, 1);
        first = Func037(port, window, src.path().c_str(), "short.txt", 0);
        steps.pause();
        return Func037(port, window, nullptr, nullptr, -1);
    });
    steps.app = &app;
    Steps::Release release{steps};
    ASSERT_TRUE(app.opened());
    HWND dialog = waitForWindow("Zmodem Send", "ZmodemTransfer");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(waitFor([&] { return first != -1; }, 15000));
    EXPECT_EQ(first, 0);
    const std::string errors = itemText(dialog, 1005);
    EXPECT_EQ(errors, "1");
    steps.resume();
    EXPECT_TRUE(waitFor([&] { return itemText(dialog, 1006) == "Sending ZRQINIT"; }, 5000));
    EXPECT_EQ(itemText(dialog, 1005), errors) << "a status without errors wiped the count";
    SetEvent(holdEnd);
    EXPECT_EQ(app.result(-1, 15000), 0);
    CloseHandle(holdEnd);
}

} // namespace
