// A port closed while other threads work on it: each blocked call returns
// its failure code promptly, a running transfer's peer is told, nothing is
// touched after it was freed (the AddressSanitizer run checks that), and the
// port opens again at once.
#include "lrzsz.h"
#include "support.h"

#include <vorlex.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <random>
#include <thread>

using namespace testsupport;
using Clock = std::chrono::steady_clock;

namespace {

constexpr DWORD kOwner = 0xC105E;

long msSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

void writeRandomFile(const std::string &path, size_t n) {
    std::mt19937 rng(7);
    std::string s(n, '\0');
    for (auto &c : s) c = static_cast<char>(rng());
    std::ofstream(path, std::ios::binary) << s;
}

// Runs work on another thread, closes the port once it is under way, and
// checks that the work ends within a second of the close with a failure.
void closeDuring(LONG port, const std::function<LONG()> &work, int startMs) {
    auto result = std::async(std::launch::async, work);
    std::this_thread::sleep_for(std::chrono::milliseconds(startMs));
    ASSERT_EQ(result.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout) << "ended before the close";
    const auto closing = Clock::now();
    EXPECT_EQ(Func122(port, kOwner), VORLEX_CLOSE_OK);
    ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "still running after the close";
    EXPECT_LT(msSince(closing), 3000) << "the close and the work's end took too long";
    EXPECT_NE(result.get(), 0) << "the stopped work reported success";
}

} // namespace

TEST(CloseDuringWork, WaitingByteRead) {
    PtyPort pty(31);
    ASSERT_EQ(Func041(30, kOwner), VORLEX_OPEN_OK);
    closeDuring(30, [] { return Func110(30, nullptr, 30) == VORLEX_WAIT_TIMEOUT ? -1 : 0; }, 300);
    EXPECT_EQ(Func026(30), VORLEX_NO_BYTE);
    EXPECT_EQ(Func041(30, kOwner), VORLEX_OPEN_OK) << "the port did not open again";
    EXPECT_EQ(Func122(30, kOwner), VORLEX_CLOSE_OK);
}

// Each transfer runs against lrzsz on a slow line so that it is under way
// when the port closes; the peer must hear the cancel sequence and stop.
struct TransferCase {
    const char *name;
    const char *peer; // run in the peer's directory
    bool send;
    std::function<LONG(LONG port, const std::string &dir)> run;
};

class CloseDuringTransfer : public ::testing::TestWithParam<TransferCase> {};

TEST_P(CloseDuringTransfer, StopsTellsThePeerAndFreesTheRecord) {
    const TransferCase &c = GetParam();
    TempDir ours, theirs;
    writeRandomFile((c.send ? ours : theirs).file("big.bin"), 400000);
    LineOptions line;
    line.bytesPerSecond = 20000;
    PeerProgram peer(33, c.peer, theirs.path(), line);
    ASSERT_EQ(Func041(32, kOwner), VORLEX_OPEN_OK);
    Func090(32, 1, 0, 0, 0, 60); // no progress window: the engine runs on the worker of the test
    const std::string dir = ours.path();
    closeDuring(32, [&] { return c.run(32, dir); }, 2000);
    // The slot is free at once (the peer's line may be gone already).
    const LONG reopened = Func041(32, kOwner);
    EXPECT_NE(reopened, VORLEX_OPEN_ALREADY_OPEN);
    if (reopened == VORLEX_OPEN_OK) Func122(32, kOwner);
    // The peer never finishes the file. A receiving peer is told and gives
    // up well before the 20 s the rest would take; lrzsz's senders, still
    // streaming, were not seen to stop (checked no further).
    const int status = peer.wait(8000);
    EXPECT_NE(status, 0) << "the peer finished: " << peer.log();
    if (c.send) EXPECT_NE(status, -1) << "the peer was not told: " << peer.log();
}

INSTANTIATE_TEST_SUITE_P(
    Each, CloseDuringTransfer,
    ::testing::Values(
        TransferCase{"ZmodemSend", "rz -q -y", true,
                     [](LONG p, const std::string &d) { return Func037(p, nullptr, d.c_str(), "big.bin", 0); }},
        TransferCase{"ZmodemReceive", "sz -q big.bin", false,
                     [](LONG p, const std::string &d) { return Func024(p, nullptr, d.c_str()); }},
        TransferCase{"YmodemReceive", "sb -q big.bin", false,
                     [](LONG p, const std::string &d) { return Func123(p, nullptr, 4, d.c_str(), nullptr); }}),
    [](const ::testing::TestParamInfo<TransferCase> &i) { return std::string(i.param.name); });

// The owner window's own message handler closes the port while a windowed
// upload runs its message loop on the same thread: the worker is stopped and
// waited for, the record outlives the close until the upload's call ends.
namespace {
LRESULT CALLBACK closingOwner(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_USER) {
        SetWindowLongPtrA(w, GWLP_USERDATA, Func122(32, kOwner) == VORLEX_CLOSE_OK ? 1 : 2);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}
} // namespace

TEST(CloseDuringWork, FromTheOwnerWindowDuringAWindowedUpload) {
    TempDir ours, theirs;
    writeRandomFile(ours.file("big.bin"), 400000);
    LineOptions line;
    line.bytesPerSecond = 20000;
    PeerProgram rz(33, "rz -q -y", theirs.path(), line);
    WNDCLASSA wc{};
    wc.lpfnWndProc = closingOwner;
    wc.lpszClassName = "ClosingOwner";
    RegisterClassA(&wc);
    HWND owner = CreateWindowExA(0, "ClosingOwner", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                 nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(owner);
    ASSERT_EQ(Func041(32, kOwner), VORLEX_OPEN_OK);
    std::thread poster([owner] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        PostMessageA(owner, WM_USER, 0, 0);
    });
    const auto start = Clock::now();
    const LONG r = Func037(32, owner, ours.path().c_str(), "big.bin", 0);
    poster.join();
    EXPECT_NE(r, 0);
    EXPECT_LT(msSince(start), 8000) << "the upload went on after the close";
    EXPECT_EQ(GetWindowLongPtrA(owner, GWLP_USERDATA), 1) << "the close from the handler failed";
    EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner was left disabled";
    EXPECT_EQ(Func037(32, owner, nullptr, nullptr, -1), VORLEX_ZMODEM_BAD_PORT);
    EXPECT_NE(rz.wait(8000), -1) << "rz was not told: " << rz.log();
    const LONG reopened = Func041(32, kOwner);
    EXPECT_NE(reopened, VORLEX_OPEN_ALREADY_OPEN);
    if (reopened == VORLEX_OPEN_OK) Func122(32, kOwner);
    DestroyWindow(owner);
}
