// File names compare without regard to case, as on Win32: a path that
// differs from an existing one only in case reaches that file, in every
// component; new names keep the case they were given.
#include "kernel_test.h"
#include "support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using testsupport::TempDir;

// Written past the layer, which would take the second name for the first.
void posixFile(const std::string &path, const std::string &data) {
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs(data.c_str(), f);
    std::fclose(f);
}

bool exists(const std::string &p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

std::vector<std::string> listing(const std::string &dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA((dir + "/*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.push_back(d.cFileName);
    while (FindNextFileA(h, &d));
    FindClose(h);
    return names;
}

TEST(PathCase, OpensExistingFilesWhateverTheCase) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("Maps").c_str(), 0777), 0);
    ASSERT_EQ(mkdir(dir.file("Maps/Sub").c_str(), 0777), 0);
    ASSERT_TRUE(kt::makeFile(dir.file("Maps/Sub/vt100.kbd"), "map"));

    for (const char *name : {"Maps/Sub/vt100.kbd", "MAPS/SUB/VT100.KBD", "maps/sUb/Vt100.Kbd"}) {
        SCOPED_TRACE(name);
        HANDLE h = kt::open(kt::backslashed(dir.file(name)), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(kt::get(h), "map");
        CloseHandle(h);
        EXPECT_EQ(GetFileAttributesA(dir.file(name).c_str()), DWORD(FILE_ATTRIBUTE_NORMAL));
    }
    // Only letters fold; a name that differs otherwise is missing, and so is
    // a file under a directory that does not exist in any case.
    EXPECT_EQ(kt::open(dir.file("MAPS/SUB/VT100-KBD"), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(kt::open(dir.file("NONE/SUB/VT100.KBD"), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA(dir.file("MAPS/NONE").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(dir.file("MAPS/SUB").c_str()), DWORD(FILE_ATTRIBUTE_DIRECTORY));

    // A search in a directory named in another case finds its entries.
    EXPECT_EQ(listing(dir.file("MAPS/SUB")), (std::vector<std::string>{".", "..", "vt100.kbd"}));

    // A relative path resolves against the current directory.
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    ASSERT_TRUE(SetCurrentDirectoryA(dir.file("maps").c_str()));
    EXPECT_EQ(GetFileAttributesA("SUB\\VT100.KBD"), DWORD(FILE_ATTRIBUTE_NORMAL));
    ASSERT_EQ(chdir(cwd), 0);
}

TEST(PathCase, ExactNamesWin) {
    TempDir dir;
    posixFile(dir.file("a.txt"), "lower");
    posixFile(dir.file("A.TXT"), "upper");
    HANDLE h = kt::open(dir.file("A.TXT"), GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_EQ(kt::get(h), "upper");
    CloseHandle(h);
    h = kt::open(dir.file("a.txt"), GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_EQ(kt::get(h), "lower");
    CloseHandle(h);
    h = kt::open(dir.file("A.txt"), GENERIC_READ, 0, OPEN_EXISTING); // first in byte order
    EXPECT_EQ(kt::get(h), "upper");
    CloseHandle(h);
}

TEST(PathCase, CreatingKeepsTheGivenCaseOrReachesTheExistingFile) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("Out").c_str(), 0777), 0);

    // A new file: created in the existing directory, with its own case.
    HANDLE h = kt::open(dir.file("OUT/Report.Txt"), GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(kt::put(h, "first"));
    CloseHandle(h);
    EXPECT_TRUE(exists(dir.file("Out/Report.Txt")));
    EXPECT_FALSE(exists(dir.file("OUT")));

    // The same name in another case is that file: CREATE_NEW refuses,
    // CREATE_ALWAYS overwrites it, OPEN_ALWAYS opens it; no second file appears.
    EXPECT_EQ(kt::open(dir.file("out/report.txt"), GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
    h = kt::open(dir.file("out/REPORT.TXT"), GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(kt::put(h, "second"));
    CloseHandle(h);
    h = kt::open(dir.file("OUT/report.TXT"), GENERIC_READ, 0, OPEN_ALWAYS);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(kt::get(h), "second");
    CloseHandle(h);
    EXPECT_EQ(listing(dir.file("Out")), (std::vector<std::string>{".", "..", "Report.Txt"}));

    // Directories too.
    EXPECT_FALSE(CreateDirectoryA(dir.file("OUT").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(CreateDirectoryA(dir.file("out/Deeper").c_str(), nullptr));
    EXPECT_TRUE(exists(dir.file("Out/Deeper")));
}

TEST(PathCase, DeleteAndMove) {
    TempDir dir;
    ASSERT_TRUE(kt::makeFile(dir.file("one.txt"), "1"));
    ASSERT_TRUE(kt::makeFile(dir.file("two.txt"), "2"));

    // Renaming to another case of the same name changes the case.
    EXPECT_TRUE(MoveFileA(dir.file("ONE.TXT").c_str(), dir.file("One.Txt").c_str()));
    EXPECT_TRUE(exists(dir.file("One.Txt")));
    EXPECT_FALSE(exists(dir.file("one.txt")));
    // Another existing file, in any case, is not replaced.
    EXPECT_FALSE(MoveFileA(dir.file("one.txt").c_str(), dir.file("TWO.TXT").c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));

    EXPECT_TRUE(DeleteFileA(dir.file("TWO.txt").c_str()));
    EXPECT_FALSE(exists(dir.file("two.txt")));
    EXPECT_FALSE(DeleteFileA(dir.file("TWO.txt").c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

} // namespace
