// Running a program to its end and reading its exit code.
#include <gtest/gtest.h>

#include <vorlex.h>

TEST(RunProgram, ReturnsExitCode) {
    // A literal: the command line must not be written to.
    EXPECT_EQ(Func082(nullptr, "/bin/sh -c \"exit 3\"", 0), 3);
    EXPECT_EQ(Func082("/bin/sh", "sh -c \"exit 5\"", 1), 5);
    EXPECT_EQ(Func082(" ignored", "/bin/sh -c \"exit 0\"", 0), 0);
}

TEST(RunProgram, NothingToStart) {
    EXPECT_EQ(Func082(nullptr, nullptr, 0), -1);
    EXPECT_EQ(Func082("", " /bin/sh", 0), -1);
    EXPECT_EQ(Func082(nullptr, "/nonexistent/vorlex-no-such-program", 0), -1);
}
