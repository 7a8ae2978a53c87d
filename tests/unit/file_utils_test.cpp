// Directory paths, emptying directories, environment variables.
#include <gtest/gtest.h>

#include <vorlex.h>

#include "support.h"

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>

using testsupport::fileExists;
using testsupport::TempDir;

namespace {

bool isDir(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void writeFile(const std::string &path, const std::string &text) { std::ofstream(path) << text; }

} // namespace

TEST(MakeDirectory, ExistingDirectory) {
    TempDir dir;
    EXPECT_EQ(Func054(dir.path().c_str()), VORLEX_DIR_OK);
    EXPECT_TRUE(isDir(dir.path()));
}

TEST(MakeDirectory, CreatesMissingLevelsBelowExisting) {
    TempDir dir;
    const std::string path = dir.path() + "\\one\\two\\three";
    EXPECT_EQ(Func054(path.c_str()), VORLEX_DIR_OK);
    EXPECT_TRUE(isDir(dir.file("one")));
    EXPECT_TRUE(isDir(dir.file("one/two")));
    EXPECT_TRUE(isDir(dir.file("one/two/three")));
    // Slashes separate levels as well; a trailing separator is harmless.
    const std::string slashed = dir.path() + "/one/four/five\\";
    EXPECT_EQ(Func054(slashed.c_str()), VORLEX_DIR_OK);
    EXPECT_TRUE(isDir(dir.file("one/four/five")));
}

TEST(MakeDirectory, BlankPaths) {
    EXPECT_EQ(Func054(nullptr), VORLEX_DIR_FAILED);
    EXPECT_EQ(Func054(""), VORLEX_DIR_FAILED);
    EXPECT_EQ(Func054(" dir"), VORLEX_DIR_FAILED);
}

TEST(MakeDirectory, FileInTheWay) {
    TempDir dir;
    writeFile(dir.file("plain"), "x");
    EXPECT_EQ(Func054(dir.file("plain").c_str()), VORLEX_DIR_FAILED);
    EXPECT_EQ(Func054((dir.path() + "\\plain\\sub").c_str()), VORLEX_DIR_FAILED);
    EXPECT_FALSE(isDir(dir.file("plain")));
}

TEST(MakeDirectory, ImpossibleDeepPathFailsQuickly) {
    // Every level below a file fails; trying each prefix from each level
    // would take 2^60 steps.
    TempDir dir;
    writeFile(dir.file("plain"), "x");
    std::string path = dir.path() + "\\plain";
    for (int i = 0; i < 60; i++) path += "\\d";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Func054(path.c_str()), VORLEX_DIR_FAILED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(MakeDirectory, PathLongerThanBuffersIsNotCut) {
    TempDir dir;
    std::string path = dir.path() + "\\";
    while (path.size() < 300) path += "level\\";
    path += "end";
    EXPECT_EQ(Func054(path.c_str()), VORLEX_DIR_FAILED);
    EXPECT_FALSE(isDir(dir.file("level")));
}

TEST(DeleteFiles, KeepsSubdirectories) {
    TempDir dir;
    writeFile(dir.file("a.txt"), "a");
    writeFile(dir.file("noext"), "b");
    ASSERT_TRUE(isDir(dir.path()));
    ASSERT_EQ(Func054((dir.path() + "\\sub").c_str()), VORLEX_DIR_OK);
    writeFile(dir.file("sub/inner.txt"), "c");
    EXPECT_EQ(Func031(dir.path().c_str()), 0);
    EXPECT_FALSE(fileExists(dir.file("a.txt")));
    EXPECT_FALSE(fileExists(dir.file("noext")));
    EXPECT_TRUE(isDir(dir.file("sub")));
    EXPECT_TRUE(fileExists(dir.file("sub/inner.txt")));
}

TEST(DeleteFiles, MissingOrEmptyPathTouchesNothing) {
    TempDir dir;
    writeFile(dir.file("keep"), "k");
    EXPECT_EQ(Func031(dir.file("nothing-here").c_str()), 0);
    EXPECT_EQ(Func031(""), 0);
    EXPECT_EQ(Func031(nullptr), 0);
    EXPECT_TRUE(fileExists(dir.file("keep")));
    // A later search works: the first left no search behind.
    EXPECT_EQ(Func031(dir.path().c_str()), 0);
    EXPECT_FALSE(fileExists(dir.file("keep")));
}

TEST(EnvironmentVariable, FoundAndNotFound) {
    ASSERT_TRUE(SetEnvironmentVariableA("VORLEX_TEST_VALUE", "hello there"));
    char buffer[100] = "VORLEX_TEST_VALUE";
    EXPECT_EQ(Func021(buffer), VORLEX_ENV_FOUND);
    EXPECT_STREQ(buffer, "hello there");

    char unknown[100] = "VORLEX_TEST_SURELY_UNSET_NAME";
    EXPECT_EQ(Func021(unknown), VORLEX_ENV_NOT_FOUND);
    EXPECT_STREQ(unknown, "");
    EXPECT_EQ(Func021(nullptr), VORLEX_ENV_NOT_FOUND);
}

TEST(EnvironmentVariable, ValueMustFitTheBuffer) {
    const std::string fits(99, 'v');
    ASSERT_TRUE(SetEnvironmentVariableA("VORLEX_TEST_LONG", fits.c_str()));
    char buffer[100] = "VORLEX_TEST_LONG";
    EXPECT_EQ(Func021(buffer), VORLEX_ENV_FOUND);
    EXPECT_EQ(std::string(buffer), fits);

    const std::string tooLong(100, 'w');
    ASSERT_TRUE(SetEnvironmentVariableA("VORLEX_TEST_LONG", tooLong.c_str()));
    char again[101] = "VORLEX_TEST_LONG";
    again[100] = '#'; // must stay untouched
    EXPECT_EQ(Func021(again), VORLEX_ENV_NOT_FOUND);
    EXPECT_STREQ(again, "");
    EXPECT_EQ(again[100], '#');
}
