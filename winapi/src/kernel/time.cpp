// Clocks: the monotonic tick count, the performance counter, system time.
#include "object.h"

#include <time.h>

namespace {

uint64_t monotonicMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
}

// FILETIME counts 100 ns from 1601-01-01; Unix time starts 11644473600 s later.
const uint64_t kEpochDelta = 116444736000000000ull;

uint64_t toTicks(const FILETIME *ft) { return (uint64_t(ft->dwHighDateTime) << 32) | ft->dwLowDateTime; }
void fromTicks(uint64_t v, FILETIME *ft) {
    ft->dwLowDateTime = static_cast<DWORD>(v);
    ft->dwHighDateTime = static_cast<DWORD>(v >> 32);
}

void fillSystemTime(const struct tm &t, unsigned ms, LPSYSTEMTIME st) {
    st->wYear = static_cast<WORD>(t.tm_year + 1900);
    st->wMonth = static_cast<WORD>(t.tm_mon + 1);
    st->wDayOfWeek = static_cast<WORD>(t.tm_wday);
    st->wDay = static_cast<WORD>(t.tm_mday);
    st->wHour = static_cast<WORD>(t.tm_hour);
    st->wMinute = static_cast<WORD>(t.tm_min);
    st->wSecond = static_cast<WORD>(t.tm_sec);
    st->wMilliseconds = static_cast<WORD>(ms);
}

} // namespace

extern "C" {

DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(monotonicMs()); }
ULONGLONG WINAPI GetTickCount64(void) { return monotonicMs(); }

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *c) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    c->QuadPart = int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *f) {
    f->QuadPart = 1000000000;
    return TRUE;
}

void WINAPI GetSystemTimeAsFileTime(LPFILETIME ft) {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    fromTicks(uint64_t(ts.tv_sec) * 10000000 + uint64_t(ts.tv_nsec) / 100 + kEpochDelta, ft);
}

void WINAPI GetSystemTime(LPSYSTEMTIME st) {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm t;
    gmtime_r(&ts.tv_sec, &t);
    fillSystemTime(t, static_cast<unsigned>(ts.tv_nsec / 1000000), st);
}

void WINAPI GetLocalTime(LPSYSTEMTIME st) {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm t;
    localtime_r(&ts.tv_sec, &t);
    fillSystemTime(t, static_cast<unsigned>(ts.tv_nsec / 1000000), st);
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME *ft, LPSYSTEMTIME st) {
    if (!ft || !st || (ft->dwHighDateTime & 0x80000000u)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Times before 1970 are valid too (FILETIME starts in 1601).
    uint64_t v = toTicks(ft);
    time_t secs = static_cast<time_t>(int64_t(v / 10000000) - int64_t(kEpochDelta / 10000000));
    struct tm t;
    gmtime_r(&secs, &t);
    fillSystemTime(t, static_cast<unsigned>((v / 10000) % 1000), st);
    return TRUE;
}

static bool validDate(const SYSTEMTIME *st) {
    static const WORD days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1) return false;
    const int y = st->wYear;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return st->wDay <= days[st->wMonth - 1] + (st->wMonth == 2 && leap ? 1 : 0);
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME *st, LPFILETIME ft) {
    // A day past the end of its month is refused, not rolled into the next.
    if (!st || !ft || !validDate(st) || st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 ||
        st->wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct tm t {};
    t.tm_year = st->wYear - 1900;
    t.tm_mon = st->wMonth - 1;
    t.tm_mday = st->wDay;
    t.tm_hour = st->wHour;
    t.tm_min = st->wMinute;
    t.tm_sec = st->wSecond;
    time_t secs = timegm(&t);
    fromTicks(uint64_t(int64_t(secs) * 10000000 + int64_t(st->wMilliseconds) * 10000 + int64_t(kEpochDelta)), ft);
    return TRUE;
}

static time_t unixSeconds(uint64_t ticks) {
    return static_cast<time_t>(int64_t(ticks / 10000000) - int64_t(kEpochDelta / 10000000));
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME *in, LPFILETIME out) {
    uint64_t v = toTicks(in);
    time_t secs = unixSeconds(v);
    struct tm t;
    localtime_r(&secs, &t);
    fromTicks(v + int64_t(t.tm_gmtoff) * 10000000, out);
    return TRUE;
}

BOOL WINAPI LocalFileTimeToFileTime(const FILETIME *in, LPFILETIME out) {
    uint64_t v = toTicks(in);
    time_t secs = unixSeconds(v);
    struct tm t;
    localtime_r(&secs, &t);
    fromTicks(v - int64_t(t.tm_gmtoff) * 10000000, out);
    return TRUE;
}

} // extern "C"
