// Receiving through the port layer over pseudo-terminals.
#include "support.h"

#include <gtest/gtest.h>
#include <vorlex.h>

#include <chrono>
#include <cstring>
#include <thread>

using testsupport::PtyPort;
using Clock = std::chrono::steady_clock;

namespace {

const DWORD kOwner = 77;

class Receive : public ::testing::Test {
protected:
    void SetUp() override {
        pty = std::make_unique<PtyPort>(41);
        ASSERT_EQ(Func041(40, kOwner), VORLEX_OPEN_OK);
    }
    void TearDown() override { EXPECT_EQ(Func122(40, kOwner), VORLEX_CLOSE_OK); }
    // Sends from the other end and waits until all of it is queued here.
    void arrive(const std::string &bytes) {
        LONG before = Func062(40);
        pty->send(bytes);
        for (int i = 0; i < 100 && Func062(40) < before + static_cast<LONG>(bytes.size()); i++) Sleep(5);
        ASSERT_EQ(Func062(40), before + static_cast<LONG>(bytes.size()));
    }
    std::unique_ptr<PtyPort> pty;
};

TEST_F(Receive, SingleBytesWithoutWaiting) {
    EXPECT_EQ(Func026(40), VORLEX_NO_BYTE);
    EXPECT_EQ(Func058(40), 1);
    arrive(std::string("\xFF" "\x00" "A", 3));
    EXPECT_EQ(Func058(40), 0);
    EXPECT_EQ(Func026(40), 255);
    EXPECT_EQ(Func026(40), 0);
    EXPECT_EQ(Func026(40), 'A');
    EXPECT_EQ(Func026(40), VORLEX_NO_BYTE);
    EXPECT_EQ(Func026(-1), VORLEX_NO_BYTE);
    EXPECT_EQ(Func026(41), VORLEX_NO_BYTE);
    EXPECT_EQ(Func058(400), 1);
    EXPECT_EQ(Func062(400), 0);
}

TEST_F(Receive, WaitingReadEndsAtOnceWhenAByteComes) {
    auto t0 = Clock::now();
    EXPECT_EQ(Func110(40, nullptr, 0), VORLEX_WAIT_TIMEOUT);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(200));
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        pty->send("z");
    });
    t0 = Clock::now();
    EXPECT_EQ(Func110(40, nullptr, 5), 'z');
    later.join();
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1000));
    // The read time-outs are back to "return at once".
    COMMTIMEOUTS t;
    GetCommTimeouts(Func048(40), &t);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 5000u);
}

TEST_F(Receive, WaitingReadGivesUpAfterItsTicksOrAQuit) {
    auto t0 = Clock::now();
    EXPECT_EQ(Func110(40, nullptr, 1), VORLEX_WAIT_TIMEOUT); // 18 ticks
    auto took = Clock::now() - t0;
    EXPECT_GE(took, std::chrono::milliseconds(950));
    EXPECT_LT(took, std::chrono::milliseconds(3000));
    PostQuitMessage(0);
    t0 = Clock::now();
    EXPECT_EQ(Func110(40, nullptr, 10), VORLEX_WAIT_TIMEOUT);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(500));
    MSG m;
    EXPECT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(Func110(-5, nullptr, 1), VORLEX_WAIT_TIMEOUT);
}

TEST_F(Receive, AllQueuedBoundedAndPrintable) {
    char buf[1024];
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(Func071(40, buf), 0);
    EXPECT_EQ(buf[0], '\0');
    arrive("hello");
    EXPECT_EQ(Func015(40, buf, 3), 3);
    EXPECT_STREQ(buf, "hel");
    EXPECT_EQ(Func071(40, buf), 2);
    EXPECT_STREQ(buf, "lo");
    buf[0] = 'x';
    EXPECT_EQ(Func071(-1, buf), 0);
    EXPECT_EQ(buf[0], '\0');

    arrive("\r\nCONNECT 9600\r\n");
    EXPECT_EQ(Func014(40, buf), 14);
    EXPECT_STREQ(buf, " CONNECT 9600 ");
    arrive(std::string("a\x01\x7F\xC8" "b", 5));
    EXPECT_EQ(Func014(40, buf), 2);
    EXPECT_STREQ(buf, "ab");
    arrive(std::string(600, 'q'));
    EXPECT_EQ(Func014(40, buf), 510);
    EXPECT_EQ(Func062(40), 90);
    Func023(40);
    EXPECT_EQ(Func062(40), 0);
}

TEST_F(Receive, UpToATerminator) {
    char buf[VORLEX_TERMINATED_MAX + 16];
    EXPECT_EQ(Func009(40, buf, '\r'), 0);
    arrive("OK\rrest");
    EXPECT_EQ(Func009(40, buf, 0x0D), 2);
    EXPECT_STREQ(buf, "OK");
    EXPECT_EQ(Func062(40), 4);
    Func129(40);
    arrive("ab\xFF" "c");
    EXPECT_EQ(Func009(40, buf, 0xFF), 2);
    EXPECT_STREQ(buf, "ab");
    Func129(40);
    // The terminator may come later: the call waits for it.
    arrive("par");
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        pty->send("tial\n");
    });
    EXPECT_EQ(Func009(40, buf, '\n'), 7);
    later.join();
    EXPECT_STREQ(buf, "partial");
    // Never past the documented bound; the rest stays queued.
    memset(buf, 0x55, sizeof buf);
    arrive(std::string(VORLEX_TERMINATED_MAX + 100, 'm'));
    EXPECT_EQ(Func009(40, buf, '\n'), VORLEX_TERMINATED_MAX - 1);
    EXPECT_EQ(buf[VORLEX_TERMINATED_MAX - 1], '\0');
    EXPECT_EQ(static_cast<unsigned char>(buf[VORLEX_TERMINATED_MAX]), 0x55);
    EXPECT_EQ(Func062(40), 101);
    Func129(40);
    // A quit ends the wait for a terminator that never comes.
    arrive("never");
    PostQuitMessage(0);
    EXPECT_EQ(Func009(40, buf, '\n'), 5);
    MSG m;
    EXPECT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(Receive, CrcGuardedBlocks) {
    const char data[] = "0123456789";
    DWORD crc = Func042(data, 10);
    std::string block(data, 10);
    for (int i = 0; i < 4; i++) block += static_cast<char>((crc >> (8 * i)) & 0xFF);
    char buf[32];
    arrive(block);
    EXPECT_EQ(Func016(40, buf, 10), 10);
    EXPECT_STREQ(buf, "0123456789");
    std::string bad = block;
    bad[3] ^= 1;
    arrive(bad);
    EXPECT_EQ(Func016(40, buf, 10), VORLEX_NO_BYTE);
    bad = block;
    bad[12] ^= 0x80;
    arrive(bad);
    EXPECT_EQ(Func016(40, buf, 10), VORLEX_NO_BYTE);
    arrive(block.substr(0, 13));
    EXPECT_EQ(Func016(40, buf, 10), VORLEX_NO_BYTE);
    EXPECT_EQ(Func016(40, buf, -3), VORLEX_NO_BYTE);
}

TEST_F(Receive, DiscardingReadTakesOneByte) {
    arrive("xy");
    EXPECT_EQ(Func130(40, 1, 2, 3, 4, 5, 6), 0);
    EXPECT_EQ(Func026(40), 'y');
    EXPECT_EQ(Func130(40, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(Func130(-1, 0, 0, 0, 0, 0, 0), 0);
}

TEST_F(Receive, NullBuffersAreNothingToDo) {
    arrive("abc");
    EXPECT_EQ(Func071(40, nullptr), 0);
    EXPECT_EQ(Func015(40, nullptr, 5), 0);
    EXPECT_EQ(Func014(40, nullptr), 0);
    EXPECT_EQ(Func009(40, nullptr, '\n'), 0);
    EXPECT_EQ(Func016(40, nullptr, 1), VORLEX_NO_BYTE);
    EXPECT_EQ(Func062(40), 3);
}

} // namespace
