// Events, mutexes, waits, threads and the event-less overlapped wait.
#include <windows.h>
#include <winapi_ext.h>

#include <gtest/gtest.h>

#include <time.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

double cpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct WaitJob {
    HANDLE ev;
    std::atomic<int> *woken;
};

DWORD WINAPI waitOnce(LPVOID p) {
    auto *j = static_cast<WaitJob *>(p);
    DWORD r = WaitForSingleObject(j->ev, 5000);
    if (r == WAIT_OBJECT_0) j->woken->fetch_add(1);
    return r;
}

TEST(Events, AutoResetReleasesOneWaiterPerSet) {
    HANDLE ev = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(ev, nullptr);
    std::atomic<int> woken{0};
    WaitJob job{ev, &woken};
    HANDLE t1 = CreateThread(nullptr, 0, waitOnce, &job, 0, nullptr);
    HANDLE t2 = CreateThread(nullptr, 0, waitOnce, &job, 0, nullptr);
    Sleep(100);
    EXPECT_EQ(woken.load(), 0);
    ASSERT_TRUE(SetEvent(ev));
    HANDLE both[2] = {t1, t2};
    DWORD first = WaitForMultipleObjects(2, both, FALSE, 2000);
    ASSERT_LT(first, WAIT_OBJECT_0 + 2);
    Sleep(100);
    EXPECT_EQ(woken.load(), 1) << "one SetEvent must wake exactly one waiter";
    EXPECT_EQ(WaitForSingleObject(ev, 0), DWORD(WAIT_TIMEOUT)) << "the wake consumed the signal";
    ASSERT_TRUE(SetEvent(ev));
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 2000), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(woken.load(), 2);
    CloseHandle(t1);
    CloseHandle(t2);
    CloseHandle(ev);
}

TEST(Events, ManualResetStaysSignalledUntilReset) {
    HANDLE ev = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(ev, 0), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(ev, 0), DWORD(WAIT_OBJECT_0));
    ResetEvent(ev);
    auto t0 = Clock::now();
    EXPECT_EQ(WaitForSingleObject(ev, 120), DWORD(WAIT_TIMEOUT));
    long long took = msSince(t0);
    EXPECT_GE(took, 115);
    EXPECT_LT(took, 1000);
    CloseHandle(ev);
}

TEST(Waits, WaitAllTakesNothingUntilEverythingIsSignalled) {
    HANDLE a = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE b = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE hs[2] = {a, b};
    SetEvent(a);
    EXPECT_EQ(WaitForMultipleObjects(2, hs, TRUE, 50), DWORD(WAIT_TIMEOUT));
    // The partial wait must not have consumed a's signal.
    EXPECT_EQ(WaitForSingleObject(a, 0), DWORD(WAIT_OBJECT_0));
    SetEvent(a);
    SetEvent(b);
    EXPECT_EQ(WaitForMultipleObjects(2, hs, TRUE, 0), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(a, 0), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(b, 0), DWORD(WAIT_TIMEOUT));
    // Wait-any reports the lowest signalled index.
    SetEvent(b);
    EXPECT_EQ(WaitForMultipleObjects(2, hs, FALSE, 0), DWORD(WAIT_OBJECT_0 + 1));
    SetEvent(a);
    SetEvent(b);
    EXPECT_EQ(WaitForMultipleObjects(2, hs, FALSE, 0), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForMultipleObjects(2, hs, FALSE, 0), DWORD(WAIT_OBJECT_0 + 1));
    CloseHandle(a);
    CloseHandle(b);
}

TEST(Waits, BadArgumentsFail) {
    HANDLE ev = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(0, &ev, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    HANDLE hs[2] = {ev, reinterpret_cast<HANDLE>(uintptr_t(0x7FFC))};
    EXPECT_EQ(WaitForMultipleObjects(2, hs, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    CloseHandle(ev);
    EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_FAILED) << "a closed handle";
    EXPECT_FALSE(CloseHandle(ev));
}

struct Counter {
    std::atomic<int> runs{0};
};

DWORD WINAPI countAndReturn(LPVOID p) {
    static_cast<Counter *>(p)->runs.fetch_add(1);
    Sleep(150);
    return 1234;
}

DWORD WINAPI exitEarly(LPVOID) {
    ExitThread(77);
    return 5;
}

TEST(Threads, SuspendedThreadRunsOnlyAfterResume) {
    Counter c;
    DWORD tid = 0;
    HANDLE t = CreateThread(nullptr, 0, countAndReturn, &c, CREATE_SUSPENDED, &tid);
    ASSERT_NE(t, nullptr);
    EXPECT_NE(tid, 0u);
    EXPECT_EQ(GetThreadId(t), tid);
    Sleep(100);
    EXPECT_EQ(c.runs.load(), 0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, DWORD(STILL_ACTIVE));
    EXPECT_EQ(ResumeThread(t), 1u);
    EXPECT_EQ(WaitForSingleObject(t, 50), DWORD(WAIT_TIMEOUT)) << "still sleeping";
    ASSERT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, DWORD(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(t, 5000), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(c.runs.load(), 1);
    ASSERT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, 1234u);
    EXPECT_EQ(ResumeThread(t), 0u);
    CloseHandle(t);
    ASSERT_TRUE(GetExitCodeThread(GetCurrentThread(), &code));
    EXPECT_EQ(code, DWORD(STILL_ACTIVE));

    HANDLE e = CreateThread(nullptr, 0, exitEarly, nullptr, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 5000), DWORD(WAIT_OBJECT_0));
    ASSERT_TRUE(GetExitCodeThread(e, &code));
    EXPECT_EQ(code, 77u) << "ExitThread's code, not the unreached return";
    CloseHandle(e);
}

struct MutexJob {
    HANDLE m;
    DWORD waitResult = 0;
    BOOL releasedByOther = TRUE;
    DWORD releaseError = 0;
};

DWORD WINAPI tryMutex(LPVOID p) {
    auto *j = static_cast<MutexJob *>(p);
    j->releasedByOther = ReleaseMutex(j->m);
    j->releaseError = GetLastError();
    j->waitResult = WaitForSingleObject(j->m, 5000);
    ReleaseMutex(j->m);
    return 0;
}

TEST(Mutexes, OwnerReentersAndOthersWaitForTheLastRelease) {
    HANDLE m = CreateMutexA(nullptr, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(m, 0), DWORD(WAIT_OBJECT_0)) << "the owner enters again";
    MutexJob job{m};
    HANDLE t = CreateThread(nullptr, 0, tryMutex, &job, 0, nullptr);
    Sleep(100);
    EXPECT_FALSE(job.releasedByOther);
    EXPECT_EQ(job.releaseError, DWORD(ERROR_NOT_OWNER));
    ASSERT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(WaitForSingleObject(t, 100), DWORD(WAIT_TIMEOUT)) << "one of two holds is left";
    ASSERT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(WaitForSingleObject(t, 5000), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(job.waitResult, DWORD(WAIT_OBJECT_0));
    EXPECT_FALSE(ReleaseMutex(m));
    CloseHandle(t);
    CloseHandle(m);
}

DWORD WINAPI sendLater(LPVOID p) {
    Sleep(300);
    DWORD n = 0;
    WriteFile(static_cast<HANDLE>(p), "Z", 1, &n, nullptr);
    return n;
}

// GetOverlappedResult for an operation without an event used to wait on the
// file handle, which is always signalled: it spun until the byte came.
TEST(Overlapped, ResultWithoutEventSleepsUntilCompletion) {
    ASSERT_TRUE(WapiCreateNullModemPair("KWAITA", "KWAITB", nullptr));
    HANDLE a = CreateFileA("KWAITA", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    HANDLE b = CreateFileA("KWAITB", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    ASSERT_NE(b, INVALID_HANDLE_VALUE);
    char c = 0;
    OVERLAPPED ov{};
    DWORD n = 0;
    ASSERT_FALSE(ReadFile(a, &c, 1, &n, &ov));
    ASSERT_EQ(GetLastError(), DWORD(ERROR_IO_PENDING));
    EXPECT_FALSE(GetOverlappedResult(a, &ov, &n, FALSE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_IO_INCOMPLETE));
    HANDLE t = CreateThread(nullptr, 0, sendLater, b, 0, nullptr);
    double cpu0 = cpuSeconds();
    auto t0 = Clock::now();
    ASSERT_TRUE(GetOverlappedResult(a, &ov, &n, TRUE));
    double cpu = cpuSeconds() - cpu0;
    EXPECT_GE(msSince(t0), 200);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(c, 'Z');
    EXPECT_LT(cpu, 0.1) << "the wait burned " << cpu << " s of CPU";
    WaitForSingleObject(t, 5000);
    CloseHandle(t);
    CloseHandle(a);
    CloseHandle(b);
    WapiDestroyNullModemPair("KWAITA");
}

TEST(Time, SystemTimeChecksTheCalendarAndReachesBefore1970) {
    SYSTEMTIME st{};
    st.wYear = 2023;
    st.wMonth = 2;
    st.wDay = 29;
    FILETIME ft;
    EXPECT_FALSE(SystemTimeToFileTime(&st, &ft)) << "2023 has no 29 February";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    st.wYear = 2024;
    EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));

    st = SYSTEMTIME{};
    st.wYear = 1601;
    st.wMonth = 1;
    st.wDay = 1;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(ft.dwLowDateTime, 0u);
    EXPECT_EQ(ft.dwHighDateTime, 0u);

    st = SYSTEMTIME{};
    st.wYear = 1969;
    st.wMonth = 7;
    st.wDay = 20;
    st.wHour = 20;
    st.wMinute = 17;
    st.wSecond = 40;
    st.wMilliseconds = 250;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, 1969);
    EXPECT_EQ(back.wMonth, 7);
    EXPECT_EQ(back.wDay, 20);
    EXPECT_EQ(back.wDayOfWeek, 0); // a Sunday
    EXPECT_EQ(back.wHour, 20);
    EXPECT_EQ(back.wSecond, 40);
    EXPECT_EQ(back.wMilliseconds, 250);
}

} // namespace
