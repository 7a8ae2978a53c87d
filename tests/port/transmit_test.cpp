// Transmitting through the port layer: exact bytes on the wire, flow-control
// holds, queue counts.
#include "support.h"

#include <gtest/gtest.h>
#include <vorlex.h>
#include <winapi_ext.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <string>

using testsupport::PtyPort;
using Clock = std::chrono::steady_clock;

namespace {

const DWORD kOwner = 5;

class Transmit : public ::testing::Test {
protected:
    void SetUp() override {
        pty = std::make_unique<PtyPort>(51);
        ASSERT_EQ(Func041(50, kOwner), VORLEX_OPEN_OK);
    }
    void TearDown() override { EXPECT_EQ(Func122(50, kOwner), VORLEX_CLOSE_OK); }
    std::unique_ptr<PtyPort> pty;
};

TEST_F(Transmit, BytesBlocksAndTexts) {
    EXPECT_EQ(Func120(50, 0x1FF), 1); // low 8 bits
    EXPECT_EQ(Func057(50, "abcde", 5), 5);
    EXPECT_EQ(Func022(50, "fgh", 3), 3);
    EXPECT_EQ(Func003(50, "text"), 4);
    EXPECT_EQ(Func057(50, "x", 0), 0);
    EXPECT_EQ(Func003(50, nullptr), 0);
    EXPECT_EQ(Func022(50, nullptr, 4), 0);
    EXPECT_EQ(pty->receive(13), "\xFF" "abcdefghtext");
    EXPECT_EQ(Func120(-1, 'a'), 0);
    EXPECT_EQ(Func057(255, "a", 1), 0);
    EXPECT_EQ(pty->drain(50), "");
}

TEST_F(Transmit, ModemCommandTexts) {
    EXPECT_EQ(Func038(50, "ATZ^M"), 4);
    EXPECT_EQ(pty->receive(4), "ATZ\r");
    EXPECT_EQ(Func038(50, "AT{"), 3);
    EXPECT_EQ(pty->receive(3), "AT\r");
    EXPECT_EQ(Func038(50, "^X^"), 3);
    EXPECT_EQ(pty->receive(3), "^X^");
    auto t0 = Clock::now();
    EXPECT_EQ(Func038(50, "A~B"), 2);
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(450));
    EXPECT_EQ(pty->receive(2), "AB");
    // A quit during the pause ends the text there.
    PostQuitMessage(0);
    EXPECT_EQ(Func038(50, "C~D"), 1);
    EXPECT_EQ(pty->receive(1), "C");
    MSG m;
    EXPECT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(pty->drain(50), "");
}

TEST_F(Transmit, CaretNotation) {
    struct Case {
        const char *text;
        std::string wire;
    } cases[] = {
        {"^c", "\x03"},     {"^a", "\x01"},          {"^[", "\x1B"},  {"^[<", "\x7F"}, {"^{", "\x1B"},
        {"^M^J", "\r\n"},   {"a^", std::string("a\0", 2)}, {"^@", "@"}, {"^1", "1"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Func112(50, c.text), static_cast<LONG>(c.wire.size())) << c.text;
        EXPECT_EQ(pty->receive(c.wire.size()), c.wire) << c.text;
    }
    EXPECT_EQ(pty->drain(50), "");
}

TEST_F(Transmit, CancelSequenceAfterEmptyingTheQueues) {
    pty->send("junk");
    for (int i = 0; i < 50 && Func062(50) < 4; i++) Sleep(5);
    EXPECT_EQ(Func005(50), 1);
    EXPECT_EQ(Func062(50), 0);
    EXPECT_EQ(pty->receive(20), std::string(10, '\x18') + std::string(10, '\x08'));
}

TEST_F(Transmit, CrcBlockAndTraceRecords) {
    EXPECT_EQ(Func050(50, "0123456789", 10), 14);
    std::string wire = pty->receive(14);
    ASSERT_EQ(wire.size(), 14u);
    DWORD crc = Func042("0123456789", 10);
    for (int i = 0; i < 4; i++) EXPECT_EQ(static_cast<unsigned char>(wire[10 + i]), (crc >> (8 * i)) & 0xFF);
    EXPECT_EQ(Func050(50, "", 0), 4); // an empty block still carries its CRC
    EXPECT_EQ(pty->receive(4), std::string(4, '\0'));
}

TEST_F(Transmit, QueueCountsOnAClosedPortAreZero) {
    EXPECT_EQ(Func086(50), 8192);
    EXPECT_EQ(Func117(50), 0);
    EXPECT_EQ(Func086(-1), 0);
    EXPECT_EQ(Func117(300), 0);
    Func011(50);
    Func011(-1);
}

// Over a null-modem pair with RTS/CTS on both ends: the receiver never
// reads, so its queue fills, CTS drops and writes end short.
TEST(TransmitHeld, CtsHeldPastTheWriteTimeoutCountsAndSendsShort) {
    ASSERT_TRUE(WapiCreateNullModemPair("COM61", "COM62", nullptr));
    ASSERT_EQ(Func025(60, kOwner, 256, 128, 1, 0, 0), VORLEX_OPEN_OK);
    ASSERT_EQ(Func025(61, kOwner, 256, 128, 1, 0, 0), VORLEX_OPEN_OK);
    ASSERT_EQ(Func001(60, 115200, NOPARITY, 8, 1), 0);
    ASSERT_EQ(Func001(61, 115200, NOPARITY, 8, 1), 0);
    ASSERT_NE(Func118(60, 100), 0);
    std::string data(600, 'd');
    LONG sent = Func057(60, data.data(), 600);
    EXPECT_LT(sent, 0);            // stopped part way
    EXPECT_GT(-sent, 0);
    // Blocked at once: nothing goes (the counts: library_windows' errors dialog).
    EXPECT_EQ(Func057(60, "12345", 5), 0);
    EXPECT_EQ(Func022(60, "12345", 5), 0);
    EXPECT_EQ(Func086(60), 0);
    EXPECT_EQ(Func117(60), 128);
    // Everything that was accepted arrives, nothing more.
    std::string got;
    char buf[4096];
    for (int i = 0; i < 100 && got.size() < 600; i++) {
        LONG n = Func071(61, buf);
        got.append(buf, static_cast<size_t>(n));
        if (n == 0) Func012(nullptr, 1);
    }
    EXPECT_EQ(got.size(), static_cast<size_t>(-sent));
    // Once drained the line flows again.
    EXPECT_EQ(Func057(60, "12345", 5), 5);
    EXPECT_EQ(Func122(60, kOwner), 0);
    EXPECT_EQ(Func122(61, kOwner), 0);
    EXPECT_TRUE(WapiDestroyNullModemPair("COM61"));
}

// A block write that finds the transmit queue partly full must go on as it
// drains (it once waited for its time-out instead).
TEST(TransmitHeld, BlockWritesUnderFlowControlKeepMoving) {
    ASSERT_TRUE(WapiCreateNullModemPair("COM63", "COM64", nullptr));
    ASSERT_EQ(Func041(62, kOwner), VORLEX_OPEN_OK);
    ASSERT_EQ(Func041(63, kOwner), VORLEX_OPEN_OK);
    ASSERT_EQ(Func001(62, 115200, NOPARITY, 8, 1), 0);
    ASSERT_EQ(Func001(63, 115200, NOPARITY, 8, 1), 0);
    ASSERT_NE(Func118(62, 2000), 0);
    std::atomic<bool> stop{false};
    std::atomic<long> received{0};
    std::thread reader([&] {
        std::string buf(65536, '\0');
        while (!stop) {
            long n = Func071(63, buf.data());
            received += n;
            if (!n) std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    const std::string data(1 << 20, 'w');
    const int writes = 10;
    for (int i = 0; i < writes; i++) {
        ASSERT_EQ(Func022(62, data.data(), 1 << 20), 1 << 20) << "write " << i;
        // What the write left queued goes out without another write.
        for (int t = 0; t < 100 && Func117(62) > 0; t++) Sleep(10);
        ASSERT_EQ(Func117(62), 0) << "write " << i;
    }
    for (int i = 0; i < 200 && received < writes * (1L << 20); i++) Sleep(5);
    stop = true;
    reader.join();
    EXPECT_EQ(received.load(), writes * (1L << 20));
    EXPECT_EQ(Func122(62, kOwner), 0);
    EXPECT_EQ(Func122(63, kOwner), 0);
    EXPECT_TRUE(WapiDestroyNullModemPair("COM63"));
}

} // namespace
