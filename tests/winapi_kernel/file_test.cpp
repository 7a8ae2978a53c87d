// Files: dispositions, share modes (in this process and against another),
// the 64-bit pointer, overlapped handles, attributes, times and types.
#include "kernel_test.h"
#include "support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

using testsupport::TempDir;

TEST(CreateFile, Dispositions) {
    TempDir dir;
    const std::string f = kt::backslashed(dir.file("d.txt"));

    SetLastError(1);
    HANDLE h = kt::open(f, GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(kt::put(h, "0123456789"));
    CloseHandle(h);
    EXPECT_EQ(kt::open(f, GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));

    h = kt::open(f, GENERIC_READ, 0, OPEN_ALWAYS);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(kt::get(h), "0123456789") << "OPEN_ALWAYS keeps the content";
    CloseHandle(h);

    EXPECT_EQ(kt::open(f, GENERIC_READ, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << "truncating needs write access";

    h = kt::open(f, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(h, nullptr), 0u);
    EXPECT_TRUE(kt::put(h, "abc"));
    CloseHandle(h);
    h = kt::open(f, GENERIC_WRITE, 0, TRUNCATE_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(h, nullptr), 0u);
    CloseHandle(h);

    const std::string fresh = dir.file("fresh.txt");
    h = kt::open(fresh, GENERIC_WRITE, 0, OPEN_ALWAYS);
    EXPECT_EQ(GetLastError(), 0u);
    CloseHandle(h);
    h = kt::open(dir.file("other.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_EQ(GetLastError(), 0u);
    CloseHandle(h);

    EXPECT_EQ(kt::open(dir.file("missing.txt"), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(kt::open(dir.file("missing.txt"), GENERIC_WRITE, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(kt::open(dir.file("nodir\\x.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(kt::open(dir.path(), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << "a directory without backup semantics";
    EXPECT_EQ(kt::open("", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(kt::open(fresh, GENERIC_READ, 0, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(CreateFile, ShareModesInThisProcess) {
    TempDir dir;
    const std::string f = dir.file("s.txt");
    ASSERT_TRUE(kt::makeFile(f, "precious"));

    HANDLE r1 = kt::open(f, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(r1, INVALID_HANDLE_VALUE);
    HANDLE r2 = kt::open(f, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(r2, INVALID_HANDLE_VALUE) << "readers sharing reading";
    EXPECT_EQ(kt::open(f, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(kt::open(f, GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE) << "would deny the readers";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    // A refused CREATE_ALWAYS must not have cut the file first.
    EXPECT_EQ(kt::open(f, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(kt::get(r1), "precious");
    // Opening for attributes only touches no data and is always allowed.
    HANDLE q = kt::open(f, 0, 0, OPEN_EXISTING);
    EXPECT_NE(q, INVALID_HANDLE_VALUE);
    CloseHandle(q);

    EXPECT_FALSE(DeleteFileA(f.c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    CloseHandle(r1);
    CloseHandle(r2);

    HANDLE w = kt::open(f, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
    ASSERT_NE(w, INVALID_HANDLE_VALUE) << "the closed handles no longer count";
    HANDLE r3 = kt::open(f, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_NE(r3, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeleteFileA(f.c_str())) << "r3 does not share delete";
    CloseHandle(r3);
    EXPECT_TRUE(DeleteFileA(f.c_str())) << "w shares delete";
    CloseHandle(w);
}

// Run by ShareModes.AgainstAnotherProcess in a child process of this program.
TEST(ShareChild, OpenAsToldByParent) {
    const char *path = getenv("WINAPI_TEST_SHARE_PATH");
    const char *what = getenv("WINAPI_TEST_SHARE_DO");
    if (!path || !what) GTEST_SKIP() << "only run as a child";
    DWORD err = 0;
    if (std::strcmp(what, "delete") == 0) {
        err = DeleteFileA(path) ? 0 : GetLastError();
    } else {
        DWORD access = std::strcmp(what, "write") == 0 ? GENERIC_WRITE : GENERIC_READ;
        HANDLE h = kt::open(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        err = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    }
    _exit(int(err));
}

DWORD childDoes(const std::string &path, const char *what) {
    SetEnvironmentVariableA("WINAPI_TEST_SHARE_PATH", path.c_str());
    SetEnvironmentVariableA("WINAPI_TEST_SHARE_DO", what);
    char exe[4096];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    HANDLE nul = kt::open("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    DWORD code = kt::run("child --gtest_filter=ShareChild.OpenAsToldByParent", nul, exe);
    CloseHandle(nul);
    SetEnvironmentVariableA("WINAPI_TEST_SHARE_PATH", nullptr);
    SetEnvironmentVariableA("WINAPI_TEST_SHARE_DO", nullptr);
    return code;
}

TEST(CreateFile, ShareModesAgainstAnotherProcess) {
    TempDir dir;
    const std::string f = dir.file("x.txt");
    ASSERT_TRUE(kt::makeFile(f, "data"));
    HANDLE h = kt::open(f, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(childDoes(f, "write"), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(childDoes(f, "read"), 0u);
    EXPECT_EQ(childDoes(f, "delete"), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(testsupport::fileExists(f));
    CloseHandle(h);

    h = kt::open(f, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_EQ(childDoes(f, "write"), 0u);
    CloseHandle(h);
    EXPECT_EQ(childDoes(f, "delete"), 0u);
    EXPECT_FALSE(testsupport::fileExists(f));
}

// Another program's flock() on the file must delay an open, not hang it.
TEST(CreateFile, OpensAFileSomeoneHoldsAFlockOn) {
    TempDir dir;
    const std::string f = dir.file("locked.txt");
    ASSERT_TRUE(kt::makeFile(f, "x"));
    int fd = ::open(f.c_str(), O_RDONLY);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    auto t0 = std::chrono::steady_clock::now();
    HANDLE h = kt::open(f, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    CloseHandle(h);
    ::close(fd);
}

TEST(FilePointer, BeyondFourGigabytesOnASparseFile) {
    TempDir dir;
    HANDLE h = kt::open(dir.file("big.bin"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LONG high = 1;
    EXPECT_EQ(SetFilePointer(h, 0x40000000, &high, FILE_BEGIN), 0x40000000u);
    EXPECT_EQ(high, 1);
    ASSERT_TRUE(kt::put(h, "xyz"));
    DWORD sizeHigh = 0;
    EXPECT_EQ(GetFileSize(h, &sizeHigh), 0x40000003u);
    EXPECT_EQ(sizeHigh, 1u);
    LARGE_INTEGER size;
    ASSERT_TRUE(GetFileSizeEx(h, &size));
    EXPECT_EQ(size.QuadPart, 0x140000003ll);

    // Three bytes back from the end, as a negative 64-bit distance.
    high = -1;
    EXPECT_EQ(SetFilePointer(h, -3, &high, FILE_END), 0x40000000u);
    EXPECT_EQ(high, 1);
    EXPECT_EQ(kt::get(h, 10), "xyz");

    // Without a high part the position must fit in 32 bits; it stays put.
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    high = 0;
    EXPECT_EQ(SetFilePointer(h, 0, &high, FILE_CURRENT), 0x40000003u);
    EXPECT_EQ(high, 1);
    high = -2;
    EXPECT_EQ(SetFilePointer(h, 0, &high, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
    high = 0;
    EXPECT_EQ(SetFilePointer(h, 0, &high, FILE_CURRENT), 0x40000003u) << "a refused move leaves the pointer";

    // A position of 0xFFFFFFFF is valid; the error value tells it apart.
    EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
    high = 0;
    EXPECT_EQ(SetFilePointer(h, LONG(0xFFFFFFFF), &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), DWORD(NO_ERROR));

    high = 0;
    SetFilePointer(h, 0x10, &high, FILE_BEGIN);
    ASSERT_TRUE(SetEndOfFile(h));
    EXPECT_EQ(GetFileSize(h, &sizeHigh), 0x10u);
    EXPECT_EQ(sizeHigh, 0u);
    CloseHandle(h);
}

TEST(FilePointer, OverlappedHandleUsesTheOffsetAndCompletesAtOnce) {
    TempDir dir;
    const std::string f = dir.file("ov.bin");
    HANDLE h = kt::open(f, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, FILE_FLAG_OVERLAPPED);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    HANDLE ev = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED ov{};
    ov.hEvent = ev;
    ov.Offset = 0x10;
    ov.OffsetHigh = 1;
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "late", 4, &n, &ov));
    EXPECT_EQ(n, 4u);
    EXPECT_TRUE(HasOverlappedIoCompleted(&ov));
    EXPECT_EQ(ov.InternalHigh, 4u);
    EXPECT_EQ(WaitForSingleObject(ev, 0), DWORD(WAIT_OBJECT_0));

    char buf[8] = {};
    ov = OVERLAPPED{};
    ov.hEvent = ev;
    ov.Offset = 0x11;
    ov.OffsetHigh = 1;
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, &ov));
    EXPECT_EQ(std::string(buf, n), "ate");
    ASSERT_TRUE(GetOverlappedResult(h, &ov, &n, FALSE));
    EXPECT_EQ(n, 3u);

    ov.Offset = 0x20; // past the end
    EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &n, &ov));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_HANDLE_EOF));
    EXPECT_FALSE(GetOverlappedResult(h, &ov, &n, TRUE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_HANDLE_EOF));

    EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << "an overlapped handle needs an OVERLAPPED";
    CloseHandle(ev);
    CloseHandle(h);

    // A synchronous handle given an OVERLAPPED reads there and moves its pointer.
    h = kt::open(f, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ov = OVERLAPPED{};
    ov.Offset = 0x10;
    ov.OffsetHigh = 1;
    ASSERT_TRUE(ReadFile(h, buf, 2, &n, &ov));
    EXPECT_EQ(std::string(buf, 2), "la");
    EXPECT_EQ(kt::get(h), "te");
    CloseHandle(h);
}

TEST(Files, AccessAndReadOnlyAttribute) {
    TempDir dir;
    const std::string f = dir.file("ro.txt");
    ASSERT_TRUE(kt::makeFile(f, "text"));
    HANDLE w = kt::open(f, GENERIC_WRITE, 0, OPEN_EXISTING);
    char c;
    DWORD n = 5;
    EXPECT_FALSE(ReadFile(w, &c, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(n, 0u);
    CloseHandle(w);
    HANDLE r = kt::open(f, GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_FALSE(WriteFile(r, "x", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(SetEndOfFile(r));
    EXPECT_FALSE(FlushFileBuffers(r));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    CloseHandle(r);

    EXPECT_EQ(GetFileAttributesA(f.c_str()), DWORD(FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesA(f.c_str()), DWORD(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(kt::open(f, GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(kt::open(f, GENERIC_READ, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeleteFileA(f.c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    r = kt::open(f, GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_EQ(kt::get(r), "text");
    CloseHandle(r);
    ASSERT_TRUE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileA(f.c_str()));
    EXPECT_FALSE(DeleteFileA(f.c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST(Files, TimesTypesAndDeleteOnClose) {
    TempDir dir;
    const std::string f = dir.file("t.txt");
    HANDLE h = kt::open(f, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileType(h), DWORD(FILE_TYPE_DISK));
    SYSTEMTIME st{};
    st.wYear = 2001;
    st.wMonth = 9;
    st.wDay = 9;
    st.wHour = 1;
    st.wMinute = 46;
    st.wSecond = 40;
    st.wMilliseconds = 500;
    FILETIME when, got{}, access{};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &when));
    FILETIME before{};
    ASSERT_TRUE(GetFileTime(h, nullptr, &before, nullptr));
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &when));
    ASSERT_TRUE(GetFileTime(h, nullptr, &access, &got));
    EXPECT_EQ(got.dwLowDateTime, when.dwLowDateTime);
    EXPECT_EQ(got.dwHighDateTime, when.dwHighDateTime);
    EXPECT_EQ(access.dwLowDateTime, before.dwLowDateTime) << "a null time is left alone";
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA(f.c_str(), &fd);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fd.ftLastWriteTime.dwLowDateTime, when.dwLowDateTime);
    FindClose(find);
    CloseHandle(h);
    EXPECT_FALSE(testsupport::fileExists(f)) << "FILE_FLAG_DELETE_ON_CLOSE";

    HANDLE nul = kt::open("NUL", GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(nul, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileType(nul), DWORD(FILE_TYPE_CHAR));
    EXPECT_TRUE(kt::put(nul, "discarded"));
    CloseHandle(nul);
    HANDLE ev = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(GetFileType(ev), DWORD(FILE_TYPE_UNKNOWN));
    EXPECT_EQ(GetLastError(), DWORD(NO_ERROR));
    EXPECT_EQ(SetFilePointer(ev, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    CloseHandle(ev);
    EXPECT_EQ(GetFileType(ev), DWORD(FILE_TYPE_UNKNOWN));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

} // namespace
