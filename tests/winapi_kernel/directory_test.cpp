// Directories, names, the current directory, and FindFirstFileA masks.
#include "kernel_test.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using testsupport::TempDir;

TEST(Directories, CreateRemoveAndTheirErrors) {
    TempDir dir;
    const std::string sub = kt::backslashed(dir.file("sub"));
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
    EXPECT_EQ(GetFileAttributesA(sub.c_str()), DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(CreateDirectoryA(sub.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA((sub + "\\a\\b").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));

    ASSERT_TRUE(kt::makeFile(dir.file("sub/f.txt"), "x"));
    EXPECT_FALSE(RemoveDirectoryA(sub.c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DIR_NOT_EMPTY));
    EXPECT_FALSE(RemoveDirectoryA(dir.file("sub/f.txt").c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY));
    EXPECT_FALSE(DeleteFileA(sub.c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << "DeleteFile does not remove directories";
    ASSERT_TRUE(DeleteFileA((sub + "\\f.txt").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(sub.c_str()));
    EXPECT_FALSE(RemoveDirectoryA(sub.c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

    EXPECT_EQ(GetFileAttributesA(dir.file("none").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA(dir.file("none/deeper").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST(Directories, MoveFileKeepsAnExistingTarget) {
    TempDir dir;
    const std::string a = dir.file("a.txt"), b = dir.file("b.txt");
    ASSERT_TRUE(kt::makeFile(a, "AAA"));
    ASSERT_TRUE(kt::makeFile(b, "BBB"));
    EXPECT_FALSE(MoveFileA(a.c_str(), b.c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(testsupport::readFile(b), "BBB");
    EXPECT_EQ(testsupport::readFile(a), "AAA");
    ASSERT_TRUE(DeleteFileA(b.c_str()));
    ASSERT_TRUE(MoveFileA(kt::backslashed(a).c_str(), kt::backslashed(b).c_str()));
    EXPECT_EQ(testsupport::readFile(b), "AAA");
    EXPECT_FALSE(testsupport::fileExists(a));
    EXPECT_FALSE(MoveFileA(a.c_str(), b.c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(MoveFileA(b.c_str(), dir.file("no/c.txt").c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    HANDLE h = kt::open(b, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_FALSE(MoveFileA(b.c_str(), a.c_str())) << "open without FILE_SHARE_DELETE";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    CloseHandle(h);
}

// Restores the current directory when a test changed it.
struct KeepCwd {
    char saved[4096];
    KeepCwd() { GetCurrentDirectoryA(sizeof saved, saved); }
    ~KeepCwd() { SetCurrentDirectoryA(saved); }
};

TEST(Directories, CurrentDirectoryAndFullPathNames) {
    KeepCwd keep;
    TempDir dir;
    ASSERT_TRUE(CreateDirectoryA(dir.file("in").c_str(), nullptr));
    ASSERT_TRUE(SetCurrentDirectoryA(kt::backslashed(dir.file("in")).c_str()));
    const std::string cwd = dir.file("in");
    const DWORD len = DWORD(cwd.size());
    EXPECT_EQ(GetCurrentDirectoryA(0, nullptr), len + 1);
    char small[8];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(GetCurrentDirectoryA(sizeof small, small), len + 1);
    EXPECT_EQ(small[0], '#') << "a short buffer is left alone";
    std::vector<char> exact(len + 1);
    EXPECT_EQ(GetCurrentDirectoryA(len + 1, exact.data()), len);
    EXPECT_EQ(std::string(exact.data()), cwd);
    EXPECT_EQ(GetCurrentDirectoryA(len, exact.data()), len + 1) << "no room for the NUL";

    char full[4096];
    LPSTR part = nullptr;
    DWORD n = GetFullPathNameA("a\\b\\..\\c.txt", sizeof full, full, &part);
    EXPECT_EQ(std::string(full), cwd + "/a/c.txt");
    EXPECT_EQ(n, DWORD(std::strlen(full)));
    ASSERT_NE(part, nullptr);
    EXPECT_STREQ(part, "c.txt");
    EXPECT_EQ(GetFullPathNameA("a\\b\\..\\c.txt", 4, full, &part), DWORD(cwd.size() + 9)); // "/a/c.txt" and NUL
    EXPECT_EQ(GetFullPathNameA("/x/./y/../z/", sizeof full, full, &part), 5u);
    EXPECT_STREQ(full, "/x/z/");
    EXPECT_EQ(part, nullptr) << "a path ending in a separator has no file part";
    EXPECT_EQ(GetFullPathNameA("/../..", sizeof full, full, nullptr), 1u);
    EXPECT_STREQ(full, "/");

    ASSERT_TRUE(kt::makeFile("plain.txt", "relative"));
    EXPECT_EQ(testsupport::readFile(cwd + "/plain.txt"), "relative");
    EXPECT_FALSE(SetCurrentDirectoryA("plain.txt"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY));
    EXPECT_FALSE(SetCurrentDirectoryA("missing"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    ASSERT_TRUE(SetCurrentDirectoryA(".."));
    EXPECT_EQ(GetCurrentDirectoryA(sizeof full, full), DWORD(dir.path().size()));
}

TEST(Directories, TempPathAndFreeSpace) {
    const char *old = getenv("TMPDIR");
    std::string saved = old ? old : "";
    setenv("TMPDIR", "/var/tmp/sub", 1);
    char buf[256];
    EXPECT_EQ(GetTempPathA(sizeof buf, buf), 13u);
    EXPECT_STREQ(buf, "/var/tmp/sub/");
    EXPECT_EQ(GetTempPathA(5, buf), 14u);
    if (old) setenv("TMPDIR", saved.c_str(), 1);
    else unsetenv("TMPDIR");

    TempDir dir;
    ULONGLONG avail = 0, total = 0, free = 0;
    ASSERT_TRUE(GetDiskFreeSpaceExA(dir.path().c_str(), &avail, &total, &free));
    EXPECT_GT(total, 0u);
    EXPECT_LE(free, total);
    EXPECT_LE(avail, free);
    EXPECT_FALSE(GetDiskFreeSpaceExA(dir.file("none").c_str(), &avail, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

class Find : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *n : {"a.txt", "B.TXT", "c.txt.bak", "noext", "d.c", "ab.c"})
            ASSERT_TRUE(kt::makeFile(dir.file(n), "12345"));
        ASSERT_TRUE(CreateDirectoryA(dir.file("sub").c_str(), nullptr));
    }
    // Every name the mask finds, in order; "!<error>" when nothing.
    std::vector<std::string> names(const std::string &mask) {
        std::vector<std::string> out;
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA(kt::backslashed(dir.file(mask)).c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return {"!" + std::to_string(GetLastError())};
        do out.push_back(fd.cFileName);
        while (FindNextFileA(h, &fd));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
        EXPECT_TRUE(FindClose(h));
        return out;
    }
    using V = std::vector<std::string>;
    TempDir dir;
};

TEST_F(Find, StarFindsEverythingWithDotsFirst) {
    const V all = {".", "..", "a.txt", "ab.c", "B.TXT", "c.txt.bak", "d.c", "noext", "sub"};
    EXPECT_EQ(names("*"), all);
    EXPECT_EQ(names("*.*"), all) << "*.* also finds names without a dot";
}

TEST_F(Find, MasksFollowWin32Rules) {
    EXPECT_EQ(names("*.txt"), (V{"a.txt", "B.TXT"})) << "case ignored, .txt.bak not matched";
    EXPECT_EQ(names("?.c"), (V{"d.c"}));
    EXPECT_EQ(names("??.c"), (V{"ab.c", "d.c"})) << "? matches nothing before a dot";
    EXPECT_EQ(names("*."), (V{".", "..", "noext", "sub"})) << "*. finds names without an extension";
    EXPECT_EQ(names("a*"), (V{"a.txt", "ab.c"}));
    EXPECT_EQ(names("*.t?t"), (V{"a.txt", "B.TXT"}));
    EXPECT_EQ(names("NOEXT"), (V{"noext"}));
    EXPECT_EQ(names("zz*"), (V{"!2"}));
    EXPECT_EQ(names("none\\*"), (V{"!3"}));
}

TEST_F(Find, EntriesCarryAttributesAndSizes) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(dir.file("sub").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(fd.cFileName, "sub");
    EXPECT_TRUE(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(FindNextFileA(h, &fd));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
    FindClose(h);
    h = FindFirstFileA(dir.file("d.c").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fd.dwFileAttributes, DWORD(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(fd.nFileSizeLow, 5u);
    EXPECT_EQ(fd.nFileSizeHigh, 0u);
    EXPECT_NE(fd.ftLastWriteTime.dwHighDateTime, 0u);
    FindClose(h);
    EXPECT_FALSE(FindClose(h));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(FindFirstFileA((dir.path() + "/").c_str(), &fd), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

    h = FindFirstFileA("/*", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    do {
        EXPECT_STRNE(fd.cFileName, ".") << "the root has no dot entries on Windows";
        EXPECT_STRNE(fd.cFileName, "..");
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

} // namespace
