// Many lines at once: eight Zmodem batches side by side, a long transfer
// with resident memory watched, and every port number open together.
// Times are measured in bench/load.cpp; here the bytes are the test.
#include "zmodem_load.h"

#include <gtest/gtest.h>

#include <pty.h>
#include <poll.h>
#include <termios.h>

using namespace load;

namespace {

void lanesAtOnce(Line kind) {
    constexpr int kLanes = 8;
    std::vector<std::unique_ptr<Scratch>> in, out;
    Lanes open;
    std::vector<std::unique_ptr<Transfer>> lanes;
    const std::vector<std::string> names = {"first.bin", "second.bin"};
    for (int i = 0; i < kLanes; i++) {
        in.push_back(std::make_unique<Scratch>());
        out.push_back(std::make_unique<Scratch>());
        writeRandomFile(in[i]->file("first.bin"), 150000 + 1000 * i, 2 * i + 1);
        writeRandomFile(in[i]->file("second.bin"), 40000 + 77 * i, 2 * i + 2);
        const LONG tx = 100 + 2 * i, rx = tx + 1;
        ASSERT_TRUE(open.open(kind, tx, rx)) << "lane " << i;
        lanes.push_back(std::make_unique<Transfer>(tx, rx, in[i]->path(), names, out[i]->path()));
    }
    // Each end is held exclusively, pseudo-terminal masters too.
    const HANDLE again = CreateFileA("COM101", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, again);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
    for (auto &t : lanes) t->start();
    const auto deadline = Clock::now() + std::chrono::seconds(40);
    for (int i = 0; i < kLanes; i++) {
        EXPECT_TRUE(lanes[i]->wait(deadline)) << "lane " << i << " still running";
        EXPECT_EQ(0, lanes[i]->sent) << "lane " << i;
        EXPECT_EQ(0, lanes[i]->received) << "lane " << i;
        EXPECT_TRUE(lanes[i]->filesIdentical()) << "lane " << i;
    }
}

void eightAtOnce(Line kind) {
    const int fdsBefore = openDescriptors(), threadsBefore = threadCount();
    lanesAtOnce(kind);
    // The transfers' files, the ports and the lines are all closed again.
    EXPECT_EQ(fdsBefore, openDescriptors());
    EXPECT_EQ(threadsBefore, threadCount());
}

TEST(Load, EightZmodemBatchesAtOnceOnNullModemPairs) { eightAtOnce(Line::NullModem); }
TEST(Load, EightZmodemBatchesAtOnceOnPseudoTerminals) { eightAtOnce(Line::PseudoTerminal); }

// Resident memory stays flat through a long transfer: whatever the ends
// keep per byte would show as growth after the first eighth.
TEST(Load, LongTransferKeepsResidentMemoryFlat) {
    constexpr uint64_t kSize = 96 << 20;
#if defined(__SANITIZE_ADDRESS__)
    constexpr long kBoundKiB = 16384; // the sanitizer's quarantine keeps freed blocks a while
#else
    constexpr long kBoundKiB = 4096;
#endif
    Scratch in, out;
    writeRandomFile(in.file("long.bin"), kSize, 7);
    const LONG tx = 140, rx = 141;
    Lanes open;
    ASSERT_TRUE(open.open(Line::PseudoTerminal, tx, rx));
    Transfer t(tx, rx, in.path(), {"long.bin"}, out.path());
    t.start();
    long warm = -1, peak = -1;
    int samples = 0;
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    std::thread sampler([&] {
        std::unique_lock<std::mutex> lk(mu);
        while (!cv.wait_for(lk, std::chrono::milliseconds(100), [&] { return done; })) {
            if (g_watch[rx].bytes < kSize / 8) continue;
            const long kb = residentKiB();
            if (warm < 0) warm = kb;
            peak = std::max(peak, kb);
            samples++;
        }
    });
    const bool finished = t.wait(Clock::now() + std::chrono::seconds(45));
    {
        std::lock_guard<std::mutex> lk(mu);
        done = true;
    }
    cv.notify_all();
    sampler.join();
    EXPECT_TRUE(finished);
    EXPECT_EQ(0, t.sent);
    EXPECT_EQ(0, t.received);
    EXPECT_TRUE(t.filesIdentical());
    EXPECT_GE(samples, 3) << "too few samples after the warm-up to judge";
    EXPECT_LE(peak - warm, kBoundKiB) << "VmRSS " << warm << " KiB after the warm-up, " << peak << " KiB at most";
}

// A pseudo-terminal whose other side has stopped reading: a long write ends
// at the port's write time-out, part sent, instead of blocking the port.
TEST(Load, WriteIntoAPseudoTerminalNobodyReadsEndsAtItsTimeOut) {
    Lanes open;
    const LONG tx = 150, rx = 151;
    ASSERT_TRUE(open.open(Line::PseudoTerminal, tx, rx));
    ASSERT_NE(0, Func118(tx, 300));
    const std::string block(4 << 20, 'x');
    std::mutex mu;
    std::condition_variable cv;
    bool returned = false;
    LONG sent = 0;
    std::thread writer([&] {
        const LONG r = Func022(tx, block.data(), static_cast<LONG>(block.size()));
        std::lock_guard<std::mutex> lk(mu);
        sent = r;
        returned = true;
        cv.notify_all();
    });
    {
        std::unique_lock<std::mutex> lk(mu);
        EXPECT_TRUE(cv.wait_for(lk, std::chrono::seconds(10), [&] { return returned; })) << "the write is stuck";
    }
    EXPECT_LT(sent, 0);
    EXPECT_GT(sent, -static_cast<LONG>(block.size()));
    // A stuck writer is freed by reading its bytes.
    char buf[65536];
    for (;;) {
        {
            std::lock_guard<std::mutex> lk(mu);
            if (returned) break;
        }
        if (Func110(rx, nullptr, 1) >= 0) Func015(rx, buf, sizeof buf);
    }
    writer.join();
}

// Every port number at once: 0..126 on pseudo-terminals through
// VORLEX_COMDIR, 127..254 as null-modem pairs of neighbours. Each passes a
// few bytes both ways; after closing, the descriptors and threads are as
// before.
TEST(Load, AllPortsOpenAtOncePassBytesAndLeaveNothingBehind) {
    constexpr LONG kPtys = 127, kPorts = 255;
    // One open and close first: start-up work that stays for the process
    // life is not a leak.
    ASSERT_TRUE(WapiCreateNullModemPair("COM254", "COM255", nullptr));
    ASSERT_EQ(0, Func041(253, 1));
    Func122(253, 1);
    ASSERT_TRUE(WapiDestroyNullModemPair("COM254"));
    const int fdsBefore = openDescriptors(), threadsBefore = threadCount();

    Scratch dir;
    std::vector<int> masters;
    for (LONG p = 0; p < kPtys; p++) {
        int m, s;
        termios raw{};
        cfmakeraw(&raw);
        ASSERT_EQ(0, openpty(&m, &s, nullptr, &raw, nullptr));
        masters.push_back(m);
        const std::string slave = ttyname(s);
        ::close(s);
        ASSERT_EQ(0, symlink(slave.c_str(), dir.file("com" + std::to_string(p + 1)).c_str()));
    }
    setenv("VORLEX_COMDIR", dir.path().c_str(), 1);
    for (LONG p = kPtys; p < kPorts; p += 2)
        ASSERT_TRUE(WapiCreateNullModemPair(("COM" + std::to_string(p + 1)).c_str(),
                                            ("COM" + std::to_string(p + 2)).c_str(), nullptr));
    for (LONG p = 0; p < kPorts; p++) ASSERT_EQ(0, Func041(p, 2)) << "port " << p;

    auto text = [](LONG p) { return "port " + std::to_string(p) + ";"; };
    // Out: every port sends its own text.
    for (LONG p = 0; p < kPorts; p++) {
        const std::string s = text(p);
        EXPECT_EQ(static_cast<LONG>(s.size()), Func057(p, s.data(), static_cast<LONG>(s.size()))) << p;
    }
    // In: each pseudo-terminal's master answers with the text reversed.
    for (LONG p = 0; p < kPtys; p++) {
        const std::string want = text(p);
        std::string got;
        while (got.size() < want.size()) {
            pollfd f{masters[p], POLLIN, 0};
            if (poll(&f, 1, 2000) <= 0) break;
            char buf[64];
            const ssize_t n = ::read(masters[p], buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<size_t>(n));
        }
        EXPECT_EQ(want, got) << "port " << p;
        const std::string back(want.rbegin(), want.rend());
        EXPECT_EQ(static_cast<ssize_t>(back.size()), ::write(masters[p], back.data(), back.size()));
    }
    // Each port reads what its other end sent, within a bound per byte.
    for (LONG p = 0; p < kPorts; p++) {
        const LONG from = p < kPtys ? p : ((p - kPtys) % 2 ? p - 1 : p + 1);
        std::string want = text(from);
        if (p < kPtys) want.assign(want.rbegin(), want.rend());
        std::string got;
        for (size_t i = 0; i < want.size(); i++) {
            const LONG b = Func110(p, nullptr, 2);
            if (b < 0) break;
            got += static_cast<char>(b);
        }
        EXPECT_EQ(want, got) << "port " << p;
        EXPECT_EQ(0, Func062(p)) << "port " << p;
    }

    for (LONG p = 0; p < kPorts; p++) EXPECT_EQ(0, Func122(p, 2)) << "port " << p;
    for (LONG p = kPtys; p < kPorts; p += 2) EXPECT_TRUE(WapiDestroyNullModemPair(("COM" + std::to_string(p + 1)).c_str()));
    for (int m : masters) ::close(m);
    unsetenv("VORLEX_COMDIR");
    EXPECT_EQ(fdsBefore, openDescriptors());
    EXPECT_EQ(threadsBefore, threadCount());
}

} // namespace
