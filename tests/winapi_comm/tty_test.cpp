// Serial devices through the Win32 API: pseudo-terminals named through VORLEX_COMDIR.
#include "support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

using testsupport::PtyPort;

namespace {

HANDLE openPort(const char *name, DWORD flags = FILE_FLAG_OVERLAPPED) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
}

struct Io {
    explicit Io(HANDLE handle) : h(handle) { ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~Io() { CloseHandle(ov.hEvent); }
    DWORD write(const std::string &s) {
        DWORD n = 0;
        if (!WriteFile(h, s.data(), static_cast<DWORD>(s.size()), &n, &ov) && GetLastError() == ERROR_IO_PENDING)
            GetOverlappedResult(h, &ov, &n, TRUE);
        return n;
    }
    std::string read(DWORD max) {
        std::string buf(max, '\0');
        DWORD n = 0;
        if (!ReadFile(h, buf.data(), max, &n, &ov) && GetLastError() == ERROR_IO_PENDING)
            GetOverlappedResult(h, &ov, &n, TRUE);
        buf.resize(n);
        return buf;
    }
    HANDLE h;
    OVERLAPPED ov{};
};

TEST(PseudoTerminal, NamesResolveThroughTheComDirectory) {
    PtyPort pty(12);
    HANDLE h = openPort("\\\\.\\com12");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    // Share mode 0: a second opener is refused, in this process and in others.
    EXPECT_EQ(openPort("COM12"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(openPort(pty.slavePath().c_str()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(h);
    h = openPort("COM12");
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    // A name with no entry falls back to /dev/ttyS<N-1>; a dangling entry is missing.
    ASSERT_EQ(symlink("/nonexistent/device", (std::string(getenv("VORLEX_COMDIR")) + "/com13").c_str()), 0);
    EXPECT_EQ(openPort("COM13"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(PseudoTerminal, RawBytesBothWaysAndImmediateReads) {
    PtyPort pty(3);
    HANDLE h = openPort("COM3");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 2000};
    ASSERT_TRUE(SetCommTimeouts(h, &t));
    Io io(h);
    EXPECT_EQ(io.read(10), "");
    std::string all;
    for (int v = 0; v < 256; v++) all += static_cast<char>(v);
    // No echo, no line editing, no translation, no signals.
    EXPECT_EQ(io.write(all), 256u);
    EXPECT_EQ(pty.receive(256), all);
    pty.send(all);
    std::string got;
    for (int i = 0; i < 100 && got.size() < 256; i++) {
        got += io.read(256);
        if (got.size() < 256) Sleep(5);
    }
    EXPECT_EQ(got, all);
    CloseHandle(h);
}

TEST(PseudoTerminal, KeepsEveryLineSettingAndReportsModemLinesOn) {
    PtyPort pty(4);
    HANDLE h = openPort("COM4");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB d{};
    d.DCBlength = sizeof d;
    ASSERT_TRUE(GetCommState(h, &d));
    d.BaudRate = 12345;
    d.ByteSize = 7;
    d.Parity = EVENPARITY;
    d.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(SetCommState(h, &d));
    DCB back{};
    back.DCBlength = sizeof back;
    ASSERT_TRUE(GetCommState(h, &back));
    EXPECT_EQ(back.BaudRate, 12345u);
    EXPECT_EQ(back.ByteSize, 7);
    EXPECT_EQ(back.Parity, EVENPARITY);
    EXPECT_EQ(back.StopBits, TWOSTOPBITS);
    d.ByteSize = 4;
    EXPECT_FALSE(SetCommState(h, &d));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DWORD s = 0;
    ASSERT_TRUE(GetCommModemStatus(h, &s));
    EXPECT_EQ(s, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
    EXPECT_TRUE(EscapeCommFunction(h, CLRDTR));
    EXPECT_TRUE(SetCommBreak(h));
    EXPECT_TRUE(ClearCommBreak(h));
    CloseHandle(h);
}

TEST(PseudoTerminal, ReadWaitsForAByteAndFullKernelBufferHoldsWrites) {
    PtyPort pty(5);
    HANDLE h = openPort("COM5");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetupComm(h, 4096, 1024));
    COMMTIMEOUTS t{MAXDWORD, MAXDWORD, 1000, 0, 200};
    ASSERT_TRUE(SetCommTimeouts(h, &t));
    Io io(h);
    pty.send("q");
    EXPECT_EQ(io.read(5), "q");
    // Nobody reads the master: the kernel's buffer and then our queue fill,
    // and a write ends short after its time-out.
    std::string block(65536, 'w');
    DWORD total = 0;
    for (int i = 0; i < 40; i++) {
        DWORD n = io.write(block);
        total += n;
        if (n < block.size()) break;
    }
    EXPECT_GT(total, 0u);
    EXPECT_LT(total, 40u * 65536u);
    COMSTAT st;
    DWORD e;
    ClearCommError(h, &e, &st);
    EXPECT_GT(st.cbOutQue, 0u);
    // Everything accepted reaches the other end, in order.
    std::string got = pty.receive(total, 5000);
    EXPECT_EQ(got.size(), total);
    EXPECT_EQ(got.find_first_not_of('w'), std::string::npos);
    CloseHandle(h);
}

TEST(PseudoTerminal, HangUpOfTheOtherEndDropsTheLinesAndFailsWrites) {
    PtyPort pty(6);
    HANDLE h = openPort("COM6");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetCommMask(h, EV_RLSD));
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD ev = 0;
    EXPECT_FALSE(WaitCommEvent(h, &ev, &ov));
    pty.hangUp();
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 2000), WAIT_OBJECT_0);
    EXPECT_EQ(ev, static_cast<DWORD>(EV_RLSD));
    DWORD s = 0xFF;
    GetCommModemStatus(h, &s);
    EXPECT_EQ(s, 0u);
    Io io(h);
    DWORD n = 0;
    EXPECT_FALSE(WriteFile(h, "x", 1, &n, &io.ov));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    CloseHandle(h);
    CloseHandle(ov.hEvent);
}

TEST(PseudoTerminal, RawWhileOpenAndGivenBackAtClose) {
    PtyPort pty(8);
    int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios cooked;
    tcgetattr(fd, &cooked);
    cooked.c_lflag |= ECHO | ICANON | ISIG;
    cooked.c_oflag |= OPOST;
    tcsetattr(fd, TCSANOW, &cooked);
    HANDLE h = openPort("COM8");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    termios now;
    tcgetattr(fd, &now);
    EXPECT_EQ(now.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(now.c_oflag & OPOST, 0u);
    CloseHandle(h);
    tcgetattr(fd, &now);
    EXPECT_EQ(now.c_lflag & (ECHO | ICANON | ISIG), static_cast<tcflag_t>(ECHO | ICANON | ISIG));
    ::close(fd);
}

TEST(PseudoTerminal, BlockingHandleWithoutOverlapped) {
    PtyPort pty(7);
    HANDLE h = openPort("COM7", 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS t{0, 0, 2000, 0, 1000};
    ASSERT_TRUE(SetCommTimeouts(h, &t));
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "ping", 4, &n, nullptr));
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(pty.receive(4), "ping");
    pty.send("pong");
    char buf[4];
    ASSERT_TRUE(ReadFile(h, buf, 4, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "pong");
    CloseHandle(h);
}

} // namespace
