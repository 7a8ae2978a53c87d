// cbOutQue counts every byte handed to the device and not yet sent: the
// transmit queue and what overlapped writes still wait to put into it (as
// Win32 counts the bytes of pending writes). Callers size their next write,
// or wait for the line, by this number.
#include <gtest/gtest.h>
#include <windows.h>
#include <winapi_ext.h>

#include <string>

namespace {

constexpr DWORD kQueue = 1024; // the transmit queue of the writing end

struct Held {
    const char *what;
    DWORD bytesPerSecond; // the line's rate; 0: the reader's RTS holds the writer
    DWORD first, second;  // two overlapped writes, both larger than the queue takes
};

const Held kCases[] = {
    {"CtsHoldsTheLine", 0, 3000, 2000},
    {"ASlowLine", 2000, 3000, 2000},
};

class PendingWrites : public ::testing::TestWithParam<Held> {};

HANDLE openEnd(const char *name) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

DWORD outQueue(HANDLE h, COMSTAT *st) {
    DWORD errors = 0;
    EXPECT_TRUE(ClearCommError(h, &errors, st));
    return st->cbOutQue;
}

TEST_P(PendingWrites, AreCountedInTheOutputQueue) {
    const Held c = GetParam();
    WAPI_LINE_OPTIONS line{c.bytesPerSecond, 0, 0, 0};
    ASSERT_TRUE(WapiCreateNullModemPair("OQA", "OQB", &line));
    HANDLE a = openEnd("OQA"), b = openEnd("OQB");
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    ASSERT_NE(b, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetupComm(a, 4096, kQueue));
    ASSERT_TRUE(SetupComm(b, 65536, 4096));
    COMMTIMEOUTS none{MAXDWORD, 0, 0, 0, 0}; // reads return at once, writes wait as long as it takes
    ASSERT_TRUE(SetCommTimeouts(a, &none));
    ASSERT_TRUE(SetCommTimeouts(b, &none));
    DCB d{};
    d.DCBlength = sizeof d;
    ASSERT_TRUE(GetCommState(a, &d));
    d.fOutxCtsFlow = TRUE;
    ASSERT_TRUE(SetCommState(a, &d));
    if (!c.bytesPerSecond) ASSERT_TRUE(EscapeCommFunction(b, CLRRTS));

    const std::string one(c.first, 'x'), two(c.second, 'y');
    OVERLAPPED w1{}, w2{};
    w1.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    w2.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD n = 0;
    EXPECT_FALSE(WriteFile(a, one.data(), c.first, &n, &w1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_FALSE(WriteFile(a, two.data(), c.second, &n, &w2));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    COMSTAT st{};
    const DWORD queued = outQueue(a, &st);
    if (!c.bytesPerSecond) {
        EXPECT_EQ(queued, c.first + c.second); // nothing can leave
        EXPECT_TRUE(st.fCtsHold);
        ASSERT_TRUE(EscapeCommFunction(b, SETRTS));
    } else {
        // A few bytes have left by now; far more than the queue holds wait.
        EXPECT_GT(queued, c.first + c.second - 500);
        EXPECT_LE(queued, c.first + c.second);
    }
    // Both writes end once the line has taken them, and the count with them.
    const DWORD bound = c.bytesPerSecond ? (c.first + c.second) * 1000 / c.bytesPerSecond + 3000 : 3000;
    HANDLE both[] = {w1.hEvent, w2.hEvent};
    std::string got;
    const DWORD start = GetTickCount();
    while (got.size() < c.first + c.second && GetTickCount() - start < bound) {
        char buf[4096];
        OVERLAPPED rd{};
        rd.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (ReadFile(b, buf, sizeof buf, &n, &rd)) got.append(buf, n);
        CloseHandle(rd.hEvent);
        Sleep(5);
    }
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 1000), WAIT_OBJECT_0);
    EXPECT_EQ(got, one + two);
    EXPECT_EQ(outQueue(a, &st), 0u);
    CancelIo(a);
    CloseHandle(w1.hEvent);
    CloseHandle(w2.hEvent);
    CloseHandle(a);
    CloseHandle(b);
    EXPECT_TRUE(WapiDestroyNullModemPair("OQA"));
}

INSTANTIATE_TEST_SUITE_P(OutQueue, PendingWrites, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.what); });

} // namespace
