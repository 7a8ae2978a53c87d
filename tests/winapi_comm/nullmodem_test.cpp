// Serial devices through the Win32 API: null-modem pairs.
#include "support.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winapi_ext.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

HANDLE openPort(const char *name) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

// An overlapped port with its own read and write blocks.
struct Port {
    explicit Port(const char *name) : h(openPort(name)) {
        rd.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        wr.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~Port() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        CloseHandle(rd.hEvent);
        CloseHandle(wr.hEvent);
    }
    void timeouts(DWORD interval, DWORD mult, DWORD constant, DWORD writeConstant) {
        COMMTIMEOUTS t{interval, mult, constant, 0, writeConstant};
        ASSERT_TRUE(SetCommTimeouts(h, &t));
    }
    DWORD write(const std::string &s) {
        DWORD n = 0;
        if (!WriteFile(h, s.data(), static_cast<DWORD>(s.size()), &n, &wr)) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
            GetOverlappedResult(h, &wr, &n, TRUE);
        }
        return n;
    }
    std::string read(DWORD max) {
        std::string buf(max, '\0');
        DWORD n = 0;
        if (!ReadFile(h, buf.data(), max, &n, &rd)) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
            GetOverlappedResult(h, &rd, &n, TRUE);
        }
        buf.resize(n);
        return buf;
    }
    DWORD errors(COMSTAT *st = nullptr) {
        DWORD e = 0;
        COMSTAT local;
        ClearCommError(h, &e, st ? st : &local);
        return e;
    }
    void flow(bool rtsCts, bool xonXoff) {
        DCB d{};
        d.DCBlength = sizeof d;
        ASSERT_TRUE(GetCommState(h, &d));
        d.fOutxCtsFlow = rtsCts;
        d.fRtsControl = rtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
        d.fOutX = d.fInX = xonXoff;
        d.XonLim = 100;
        d.XoffLim = 100;
        ASSERT_TRUE(SetCommState(h, &d));
    }
    HANDLE h;
    OVERLAPPED rd{}, wr{};
};

// Where two byte strings first differ, for short failure messages.
std::string firstDifference(const std::string &got, const std::string &want) {
    if (got == want) return "same";
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) i++;
    return "differ at " + std::to_string(i) + " (sizes " + std::to_string(got.size()) + ", " + std::to_string(want.size()) + ")";
}

std::string pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return s;
}

class NullModem : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(WapiCreateNullModemPair("NMA", "NMB", nullptr)); }
    void TearDown() override { EXPECT_TRUE(WapiDestroyNullModemPair("NMA")); }
};

TEST_F(NullModem, OpensExclusivelyByEitherSpelling) {
    Port a("\\\\.\\nma");
    ASSERT_NE(a.h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openPort("NMA"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(WapiDestroyNullModemPair("NMB"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
    EXPECT_FALSE(WapiCreateNullModemPair("nmb", "OTHER", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

TEST_F(NullModem, ImmediateReadsAndBytesBothWays) {
    Port a("NMA"), b("NMB");
    a.timeouts(MAXDWORD, 0, 0, 1000);
    b.timeouts(MAXDWORD, 0, 0, 1000);
    EXPECT_EQ(b.read(10), "");
    std::string all;
    for (int v = 0; v < 256; v++) all += static_cast<char>(v);
    EXPECT_EQ(a.write(all), 256u);
    COMSTAT st;
    b.errors(&st);
    EXPECT_EQ(st.cbInQue, 256u);
    EXPECT_EQ(b.read(100), all.substr(0, 100));
    EXPECT_EQ(b.read(1000), all.substr(100));
    EXPECT_EQ(b.write("back"), 4u);
    EXPECT_EQ(a.read(4), "back");
}

TEST_F(NullModem, AnyByteReadWakesWhenAByteArrivesAndTimesOut) {
    Port a("NMA"), b("NMB");
    b.timeouts(MAXDWORD, MAXDWORD, 2000, 0);
    auto t0 = std::chrono::steady_clock::now();
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        a.write("x");
    });
    EXPECT_EQ(b.read(10), "x");
    sender.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1500));
    b.timeouts(MAXDWORD, MAXDWORD, 100, 0);
    EXPECT_EQ(b.read(10), "");
}

TEST_F(NullModem, TotalAndIntervalTimeoutsEndAReadWithWhatCame) {
    Port a("NMA"), b("NMB");
    b.timeouts(0, 0, 150, 0);
    a.write("abc");
    EXPECT_EQ(b.read(10), "abc");     // the total time-out ends it
    b.timeouts(30, 0, 0, 0);
    a.write("de");
    EXPECT_EQ(b.read(10), "de");      // the gap after the last byte ends it
    b.timeouts(0, 0, 0, 0);
    a.write("fghij");
    EXPECT_EQ(b.read(5), "fghij");    // no time-outs: exactly the count
}

TEST_F(NullModem, CtsHoldsTheWriterPastItsTimeoutWithoutLosingBytes) {
    Port a("NMA"), b("NMB");
    ASSERT_TRUE(SetupComm(b.h, 256, 256));
    ASSERT_TRUE(SetupComm(a.h, 256, 256));
    a.flow(true, false);
    b.flow(true, false);
    a.timeouts(MAXDWORD, 0, 0, 200);
    b.timeouts(MAXDWORD, 0, 0, 200);
    const std::string data = pattern(5000);
    DWORD written = a.write(data);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, 5000u); // short: the receiver stopped us
    COMSTAT st;
    a.errors(&st);
    EXPECT_TRUE(st.fCtsHold);
    // The receiver has everything that was accepted, in order, nothing lost.
    std::string got;
    for (int i = 0; i < 200 && got.size() < written; i++) {
        std::string more = b.read(4096);
        if (more.empty()) Sleep(2); // the rest follows as the line flows again
        got += more;
    }
    EXPECT_EQ(firstDifference(got, data.substr(0, written)), "same");
    EXPECT_EQ(b.errors() & CE_RXOVER, 0u);
    a.errors(&st);
    EXPECT_FALSE(st.fCtsHold);
}

TEST_F(NullModem, TheTailOfAHeldWriteFollowsWithoutFurtherWrites) {
    // The last piece of a write enters the queue while the line is held; when
    // the line frees, it must go out although nothing else is written.
    Port a("NMA"), b("NMB");
    ASSERT_TRUE(SetupComm(a.h, 256, 256));
    ASSERT_TRUE(SetupComm(b.h, 512, 512));
    a.flow(true, false);
    b.flow(true, false);
    a.timeouts(MAXDWORD, 0, 0, 3000);
    b.timeouts(MAXDWORD, 0, 0, 3000);
    const std::string data = pattern(3000);
    std::string got;
    std::thread reader([&] {
        for (int i = 0; i < 1000 && got.size() < data.size(); i++) {
            std::string more = b.read(100);
            if (more.empty()) Sleep(2);
            got += more;
        }
    });
    EXPECT_EQ(a.write(data), data.size());
    reader.join();
    EXPECT_EQ(firstDifference(got, data), "same");
}

TEST_F(NullModem, WithoutFlowControlAFullQueueLosesBytesAndSaysSo) {
    Port a("NMA"), b("NMB");
    ASSERT_TRUE(SetupComm(b.h, 128, 128));
    a.flow(false, false);
    b.flow(false, false);
    a.timeouts(MAXDWORD, 0, 0, 200);
    b.timeouts(MAXDWORD, 0, 0, 200);
    EXPECT_EQ(a.write(pattern(300)), 300u);
    EXPECT_TRUE(b.errors() & CE_RXOVER);
    EXPECT_EQ(firstDifference(b.read(1000), pattern(128)), "same");
}

TEST_F(NullModem, XonXoffKeepsASmallQueueFromOverflowing) {
    Port a("NMA"), b("NMB");
    ASSERT_TRUE(SetupComm(b.h, 512, 512));
    a.flow(false, true);
    b.flow(false, true);
    a.timeouts(MAXDWORD, 0, 0, 200);
    b.timeouts(MAXDWORD, 0, 0, 200);
    std::string data = pattern(3000);
    for (char &c : data)
        if (c == 0x11 || c == 0x13) c = 'x';
    std::string got;
    std::thread reader([&] {
        for (int i = 0; i < 400 && got.size() < data.size(); i++) {
            got += b.read(64);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    DWORD written = 0;
    for (int i = 0; i < 50 && written < data.size(); i++) written += a.write(data.substr(written));
    reader.join();
    EXPECT_EQ(written, data.size());
    EXPECT_EQ(firstDifference(got, data), "same");
    EXPECT_EQ(b.errors() & CE_RXOVER, 0u);
}

TEST_F(NullModem, ModemLinesAreWiredLikeANullModemCable) {
    Port a("NMA"), b("NMB");
    DWORD s = 0;
    ASSERT_TRUE(GetCommModemStatus(b.h, &s));
    EXPECT_EQ(s, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
    ASSERT_TRUE(SetCommMask(b.h, EV_DSR | EV_RLSD | EV_CTS | EV_BREAK | EV_RING));
    DWORD ev = 0xFFFF;
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(WaitCommEvent(b.h, &ev, &ov));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    ASSERT_TRUE(EscapeCommFunction(a.h, CLRDTR));
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 1000), WAIT_OBJECT_0);
    EXPECT_EQ(ev, static_cast<DWORD>(EV_DSR | EV_RLSD));
    GetCommModemStatus(b.h, &s);
    EXPECT_EQ(s, MS_CTS_ON);
    ASSERT_TRUE(EscapeCommFunction(a.h, CLRRTS));
    GetCommModemStatus(b.h, &s);
    EXPECT_EQ(s, 0u);
    ASSERT_TRUE(WapiSetNullModemRing("NMB", TRUE));
    GetCommModemStatus(b.h, &s);
    EXPECT_EQ(s, MS_RING_ON);
    // The CTS change waits as an event until someone asks; setting the mask forgets it.
    EXPECT_TRUE(WaitCommEvent(b.h, &ev, &ov));
    EXPECT_EQ(ev, static_cast<DWORD>(EV_CTS));
    ASSERT_TRUE(SetCommMask(b.h, EV_RING | EV_BREAK));
    ASSERT_TRUE(WapiSetNullModemRing("NMB", FALSE));
    EXPECT_TRUE(WaitCommEvent(b.h, &ev, &ov));
    EXPECT_EQ(ev, static_cast<DWORD>(EV_RING)); // the ring's trailing edge
    // A break reaches the other end as an event and an error bit.
    EXPECT_FALSE(WaitCommEvent(b.h, &ev, &ov));
    ASSERT_TRUE(SetCommBreak(a.h));
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 1000), WAIT_OBJECT_0);
    EXPECT_TRUE(ev & EV_BREAK);
    EXPECT_TRUE(b.errors() & CE_BREAK);
    ClearCommBreak(a.h);
    // Closing an end drops what the other end sees.
    EscapeCommFunction(a.h, SETDTR);
    GetCommModemStatus(b.h, &s);
    EXPECT_EQ(s, MS_DSR_ON | MS_RLSD_ON);
    CloseHandle(a.h);
    a.h = INVALID_HANDLE_VALUE;
    GetCommModemStatus(b.h, &s);
    EXPECT_EQ(s, 0u);
    CloseHandle(ov.hEvent);
}

TEST_F(NullModem, ChangingTheMaskEndsAPendingWaitWithNoEvent) {
    Port a("NMA"), b("NMB");
    ASSERT_TRUE(SetCommMask(b.h, EV_RXCHAR));
    DWORD ev = 0xFFFF;
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(WaitCommEvent(b.h, &ev, &ov));
    ASSERT_TRUE(SetCommMask(b.h, 0));
    DWORD n;
    EXPECT_TRUE(GetOverlappedResult(b.h, &ov, &n, TRUE));
    EXPECT_EQ(ev, 0u);
    // With no mask there is nothing to wait for.
    EXPECT_FALSE(WaitCommEvent(b.h, &ev, &ov));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // Received bytes wake a waiter for EV_RXCHAR.
    ASSERT_TRUE(SetCommMask(b.h, EV_RXCHAR));
    EXPECT_FALSE(WaitCommEvent(b.h, &ev, &ov));
    a.write("z");
    EXPECT_TRUE(GetOverlappedResult(b.h, &ov, &n, TRUE));
    EXPECT_EQ(ev, static_cast<DWORD>(EV_RXCHAR));
    CloseHandle(ov.hEvent);
}

TEST_F(NullModem, PurgeAndCancelEndPendingOperations) {
    Port a("NMA"), b("NMB");
    b.timeouts(0, 0, 0, 0);
    std::string buf(10, '\0');
    DWORD n = 0;
    EXPECT_FALSE(ReadFile(b.h, buf.data(), 10, &n, &b.rd));
    a.write("abc");
    ASSERT_TRUE(PurgeComm(b.h, PURGE_RXABORT));
    EXPECT_FALSE(GetOverlappedResult(b.h, &b.rd, &n, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(n, 3u); // what the read had taken is reported
    EXPECT_EQ(buf.substr(0, 3), "abc");

    EXPECT_FALSE(ReadFile(b.h, buf.data(), 10, &n, &b.rd));
    ASSERT_TRUE(CancelIo(b.h));
    EXPECT_FALSE(GetOverlappedResult(b.h, &b.rd, &n, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));

    b.timeouts(MAXDWORD, 0, 0, 0);
    a.write("queued");
    COMSTAT st;
    b.errors(&st);
    EXPECT_EQ(st.cbInQue, 6u);
    ASSERT_TRUE(PurgeComm(b.h, PURGE_RXCLEAR));
    b.errors(&st);
    EXPECT_EQ(st.cbInQue, 0u);
}

TEST_F(NullModem, ClosingAPortEndsItsPendingRead) {
    Port a("NMA");
    HANDLE b = openPort("NMB");
    COMMTIMEOUTS t{0, 0, 0, 0, 0};
    SetCommTimeouts(b, &t);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    char buf[4];
    DWORD n;
    EXPECT_FALSE(ReadFile(b, buf, 4, &n, &ov));
    CloseHandle(b);
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 1000), WAIT_OBJECT_0);
    EXPECT_TRUE(HasOverlappedIoCompleted(&ov));
    EXPECT_FALSE(GetOverlappedResult(b, &ov, &n, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    CloseHandle(ov.hEvent);
}

TEST(NullModemLine, ByteRateAndBitErrors) {
    WAPI_LINE_OPTIONS o{};
    o.bytesPerSecond = 11520;
    ASSERT_TRUE(WapiCreateNullModemPair("RATEA", "RATEB", &o));
    {
        Port a("RATEA"), b("RATEB");
        ASSERT_TRUE(SetupComm(b.h, 65536, 4096)); // no flow control: room for all of it
        a.timeouts(MAXDWORD, 0, 0, 0);
        b.timeouts(0, 0, 3000, 0);
        const std::string data = pattern(5760); // half a second of line time
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(a.write(data), 5760u);
        COMSTAT st;
        a.errors(&st);
        EXPECT_GT(st.cbOutQue, 0u); // the line has not taken it all yet
        EXPECT_EQ(firstDifference(b.read(5760), data), "same");
        EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(400));

        // FlushFileBuffers returns once the line has taken everything.
        EXPECT_EQ(a.write(pattern(1152)), 1152u);
        ASSERT_TRUE(FlushFileBuffers(a.h));
        a.errors(&st);
        EXPECT_EQ(st.cbOutQue, 0u);
        EXPECT_EQ(b.read(1152).size(), 1152u);

        WAPI_LINE_OPTIONS noisy{};
        noisy.bitErrorInterval = 1000;
        ASSERT_TRUE(WapiSetNullModemLine("RATEA", &noisy));
        const std::string more = pattern(20000);
        EXPECT_EQ(a.write(more), 20000u);
        std::string got = b.read(20000);
        ASSERT_EQ(got.size(), 20000u);
        int flipped = 0;
        for (size_t i = 0; i < got.size(); i++) flipped += __builtin_popcount(static_cast<unsigned char>(got[i] ^ more[i]));
        EXPECT_GT(flipped, 80);  // about 160 expected
        EXPECT_LT(flipped, 320);
    }
    EXPECT_TRUE(WapiDestroyNullModemPair("RATEB"));
}

} // namespace
