// Processes, the environment, modules, the version and debug output.
#include "kernel_test.h"
#include "support.h"

#include <gtest/gtest.h>

#include <limits.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using testsupport::TempDir;

struct Started {
    PROCESS_INFORMATION pi{};
    BOOL ok = FALSE;
    DWORD error = 0;
    Started(const char *app, std::string line, HANDLE out = nullptr, const char *dir = nullptr, void *env = nullptr,
            BOOL inherit = FALSE) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = 0; // SW_HIDE: ignored
        if (out) {
            si.dwFlags |= STARTF_USESTDHANDLES;
            si.hStdOutput = out;
        }
        ok = CreateProcessA(app, line.empty() ? nullptr : line.data(), nullptr, nullptr, inherit, 0, env, dir, &si, &pi);
        error = GetLastError();
    }
    ~Started() {
        if (!ok) return;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    DWORD finish() {
        if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) return ~0u;
        DWORD code = ~0u;
        GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
};

TEST(Processes, ExitCodeAndWaiting) {
    Started p(nullptr, "sh -c \"sleep 0.3; exit 3\"");
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_NE(p.pi.dwProcessId, 0u);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(p.pi.hProcess, &code));
    EXPECT_EQ(code, DWORD(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(p.pi.hProcess, 0), DWORD(WAIT_TIMEOUT));
    timespec c0, c1;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c0);
    EXPECT_EQ(p.finish(), 3u);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c1);
    double cpu = double(c1.tv_sec - c0.tv_sec) + double(c1.tv_nsec - c0.tv_nsec) / 1e9;
    EXPECT_LT(cpu, 0.1) << "waiting for the process must not spin";
    EXPECT_EQ(WaitForSingleObject(p.pi.hThread, 0), DWORD(WAIT_OBJECT_0)) << "hThread ends with the process";
    EXPECT_EQ(WaitForSingleObject(p.pi.hProcess, 0), DWORD(WAIT_OBJECT_0)) << "stays signalled";

    Started named("/bin/sh", "anything -c \"exit 5\"");
    ASSERT_TRUE(named.ok);
    EXPECT_EQ(named.finish(), 5u) << "lpApplicationName is run, the command line is its argv";

    ASSERT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
    EXPECT_EQ(code, DWORD(STILL_ACTIVE));
}

TEST(Processes, TerminateSetsTheExitCode) {
    Started p(nullptr, "sleep 30");
    ASSERT_TRUE(p.ok);
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(TerminateProcess(p.pi.hProcess, 42));
    EXPECT_EQ(p.finish(), 42u);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_FALSE(TerminateProcess(p.pi.hProcess, 1));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << "already ended";
}

TEST(Processes, CommandLineIsSplitAsTheCRuntimeDoes) {
    TempDir dir;
    const std::string outPath = dir.file("out.txt");
    HANDLE out = kt::open(outPath, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
    {
        Started p(nullptr, R"(printf [%s] "a b" c\"d "e\\\"f" g\\\\"h i" "" j""k "l""m" n\\o)", out);
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(p.finish(), 0u);
    }
    CloseHandle(out);
    EXPECT_EQ(testsupport::readFile(outPath), R"([a b][c"d][e\"f][g\\h i][][jk][l"m][n\\o])");
}

TEST(Processes, ProgramSearchAndStartFailures) {
    TempDir dir;
    const std::string tool = dir.file("vtool");
    {
        HANDLE h = kt::open(tool, GENERIC_WRITE, 0, CREATE_NEW);
        kt::put(h, "#!/bin/sh\nexit 7\n");
        CloseHandle(h);
    }
    chmod(tool.c_str(), 0755);
    const std::string savedPath = getenv("PATH") ? getenv("PATH") : "";
    ASSERT_TRUE(SetEnvironmentVariableA("PATH", (dir.path() + ":" + savedPath).c_str()));
    {
        Started bare(nullptr, "vtool");
        Started exe(nullptr, "vtool.exe with arguments");
        Started quoted(nullptr, "\"vtool.EXE\"");
        ASSERT_TRUE(bare.ok);
        ASSERT_TRUE(exe.ok) << "the .exe suffix is tolerated";
        ASSERT_TRUE(quoted.ok);
        EXPECT_EQ(bare.finish(), 7u);
        EXPECT_EQ(exe.finish(), 7u);
        EXPECT_EQ(quoted.finish(), 7u);
    }
    SetEnvironmentVariableA("PATH", savedPath.c_str());

    Started missing(nullptr, "no-such-program-here arg");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, DWORD(ERROR_FILE_NOT_FOUND));
    chmod(tool.c_str(), 0644);
    Started notExec(tool.c_str(), "");
    EXPECT_FALSE(notExec.ok);
    EXPECT_EQ(notExec.error, DWORD(ERROR_ACCESS_DENIED));
    Started badDir(nullptr, "true", nullptr, dir.file("none").c_str());
    EXPECT_FALSE(badDir.ok);
    EXPECT_EQ(badDir.error, DWORD(ERROR_DIRECTORY));
    Started nothing(nullptr, "");
    EXPECT_FALSE(nothing.ok);
    EXPECT_EQ(nothing.error, DWORD(ERROR_INVALID_PARAMETER));
}

TEST(Processes, DirectoryEnvironmentAndInheritedHandles) {
    TempDir dir;
    const std::string outPath = dir.file("out.txt");
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    {
        char block[] = "VK_ONE=first\0=C:=C:\\\0VK_TWO=second\0";
        Started p(nullptr, "sh -c \"pwd; echo $VK_ONE-$VK_TWO-$HOME\"", out, kt::backslashed(dir.path()).c_str(),
                  block);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.finish(), 0u);
    }
    EXPECT_EQ(testsupport::readFile(outPath), dir.path() + "\nfirst-second-\n");

    // The descriptor of the inheritable handle, as the child will see it.
    int fd = -1;
    for (int i = 3; i < 256 && fd < 0; i++) {
        char link[64], target[PATH_MAX];
        snprintf(link, sizeof link, "/proc/self/fd/%d", i);
        ssize_t n = readlink(link, target, sizeof target - 1);
        if (n > 0 && std::string(target, size_t(n)) == outPath) fd = i;
    }
    ASSERT_GE(fd, 0);
    const std::string line = "sh -c \"echo inherited >&" + std::to_string(fd) + "\"";
    {
        Started p(nullptr, line, nullptr, nullptr, nullptr, FALSE);
        ASSERT_TRUE(p.ok);
        EXPECT_NE(p.finish(), 0u) << "without bInheritHandles the descriptor is closed";
    }
    {
        Started p(nullptr, line, nullptr, nullptr, nullptr, TRUE);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.finish(), 0u);
    }
    CloseHandle(out);
    EXPECT_EQ(testsupport::readFile(outPath), dir.path() + "\nfirst-second-\ninherited\n");
}

TEST(Environment, SizeRulesAndNames) {
    ASSERT_TRUE(SetEnvironmentVariableA("VK_TEST_VAR", "hello"));
    EXPECT_EQ(GetEnvironmentVariableA("VK_TEST_VAR", nullptr, 0), 6u);
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(GetEnvironmentVariableA("VK_TEST_VAR", buf, 5), 6u) << "needs room for the NUL";
    EXPECT_EQ(buf[0], '#');
    EXPECT_EQ(GetEnvironmentVariableA("VK_TEST_VAR", buf, 6), 5u);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(GetEnvironmentVariableA("vk_test_var", buf, sizeof buf), 5u) << "names ignore case";
    ASSERT_TRUE(SetEnvironmentVariableA("Vk_Test_Var", "changed"));
    EXPECT_STREQ(getenv("VK_TEST_VAR"), "changed");

    ASSERT_TRUE(SetEnvironmentVariableA("VK_TEST_VAR", ""));
    SetLastError(99);
    EXPECT_EQ(GetEnvironmentVariableA("VK_TEST_VAR", buf, sizeof buf), 0u);
    EXPECT_EQ(GetLastError(), DWORD(NO_ERROR)) << "empty, but present";
    ASSERT_TRUE(SetEnvironmentVariableA("VK_TEST_VAR", nullptr));
    EXPECT_EQ(GetEnvironmentVariableA("VK_TEST_VAR", buf, sizeof buf), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ENVVAR_NOT_FOUND));
    EXPECT_EQ(getenv("VK_TEST_VAR"), nullptr);
    EXPECT_FALSE(SetEnvironmentVariableA("A=B", "x"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

void localFunction() {}

TEST(Modules, HandlesAndFileNames) {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    HMODULE self = GetModuleHandleA(nullptr);
    ASSERT_NE(self, nullptr);
    char name[PATH_MAX];
    EXPECT_EQ(GetModuleFileNameA(nullptr, name, sizeof name), DWORD(n));
    EXPECT_STREQ(name, exe);
    EXPECT_EQ(GetModuleFileNameA(self, name, sizeof name), DWORD(n));
    EXPECT_STREQ(name, exe);

    HMODULE fromAddress = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCSTR>(&localFunction), &fromAddress));
    EXPECT_EQ(fromAddress, self);
    HMODULE layer = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&GetVersion),
                                   &layer));
    EXPECT_NE(layer, self);
    ASSERT_GT(GetModuleFileNameA(layer, name, sizeof name), 0u);
    EXPECT_NE(std::strstr(name, "libwinapi.so"), nullptr) << name;
    EXPECT_EQ(GetModuleHandleA("WINAPI.DLL"), layer) << "found by its stem";
    EXPECT_EQ(GetModuleHandleA("no-such-module.dll"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));

    int onStack = 0;
    HMODULE none = self;
    EXPECT_FALSE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&onStack), &none));
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));

    char small[5];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 5u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small), std::string(exe, 4)) << "truncated and terminated";
}

TEST(Modules, VersionAndDebugOutput) {
    DWORD v = GetVersion();
    EXPECT_EQ(v, 0x0A280105u);
    EXPECT_EQ(LOBYTE(LOWORD(v)), 5);
    EXPECT_EQ(HIBYTE(LOWORD(v)), 1);
    EXPECT_EQ(HIWORD(v), 2600);
    EXPECT_EQ(v & 0x80000000u, 0u) << "the NT family";

    unsetenv("WINAPI_DEBUG");
    EXPECT_EQ(testsupport::captureStderr([] { OutputDebugStringA("quiet\n"); }), "");
    setenv("WINAPI_DEBUG", "1", 1);
    EXPECT_EQ(testsupport::captureStderr([] {
                  OutputDebugStringA("heard\n");
                  OutputDebugStringA(nullptr);
              }),
              "heard\n");
    unsetenv("WINAPI_DEBUG");
}

} // namespace
