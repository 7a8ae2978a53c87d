// The capture buffer: when it is written out, to which file, and its bounds.
#include <gtest/gtest.h>

#include <vorlex.h>

#include "support.h"

#include <unistd.h>

#include <string>

using testsupport::fileExists;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

std::string pattern(size_t n, size_t offset = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++) s[i] = static_cast<char>(((i + offset) * 7) % 251);
    return s;
}

void append(LONG port, const std::string &bytes) { Func087(port, bytes.data(), static_cast<DWORD>(bytes.size())); }

// Each test uses a port of its own and turns capture off at the end, even on failure.
struct CaptureOn {
    LONG port;
    explicit CaptureOn(LONG p) : port(p) { EXPECT_EQ(Func067(port, 1), VORLEX_CAPTURE_OK); }
    ~CaptureOn() { Func067(port, 0); }
};

} // namespace

TEST(Capture, WrittenWhenOneByteShortOfFull) {
    TempDir dir;
    const std::string file = dir.file("a.cap");
    const std::string data = pattern(65025);
    CaptureOn capture(10);
    Func068(10, file.c_str());
    append(10, data.substr(0, 65022));
    EXPECT_FALSE(fileExists(file));
    Func072(10, static_cast<unsigned char>(data[65022]));
    EXPECT_EQ(readFile(file), data.substr(0, 65023));
    // The buffer starts over: the next bytes wait for the next flush.
    append(10, data.substr(65023));
    EXPECT_EQ(readFile(file).size(), 65023u);
    EXPECT_EQ(Func067(10, 0), VORLEX_CAPTURE_OK);
    EXPECT_EQ(readFile(file), data);
}

TEST(Capture, AppendsToExistingFileAcrossFlushes) {
    TempDir dir;
    const std::string file = dir.file("grow.cap");
    {
        CaptureOn capture(11);
        Func068(11, file.c_str());
        Func004(11, "first ");
    }
    const std::string big = pattern(200000, 3);
    {
        CaptureOn capture(11);
        Func068(11, file.c_str());
        append(11, big);
    }
    EXPECT_EQ(readFile(file), "first " + big);
}

TEST(Capture, TextStopsAtNulButBufferKeepsIt) {
    TempDir dir;
    const std::string file = dir.file("nul.cap");
    {
        CaptureOn capture(12);
        Func068(12, file.c_str());
        Func004(12, "ab\0cd");
        Func087(12, "x\0y", 3);
        Func004(12, "");
        Func087(12, "zzz", 0);
        Func072(12, 0x141); // the low byte only
    }
    EXPECT_EQ(readFile(file), std::string("abx\0yA", 6));
}

TEST(Capture, SecondOnKeepsRecordAndBytes) {
    TempDir dir;
    const std::string file = dir.file("twice.cap");
    CaptureOn capture(13);
    Func068(13, file.c_str());
    Func004(13, "kept");
    EXPECT_EQ(Func067(13, 1), VORLEX_CAPTURE_OK);
    Func004(13, "!");
    EXPECT_EQ(Func067(13, 0), VORLEX_CAPTURE_OK);
    EXPECT_EQ(readFile(file), "kept!");
}

TEST(Capture, NewNameSendsPendingBytesToOldFile) {
    TempDir dir;
    const std::string oldFile = dir.file("old.cap");
    const std::string newFile = dir.file("new.cap");
    CaptureOn capture(14);
    Func068(14, oldFile.c_str());
    append(14, "0123456789");
    Func068(14, newFile.c_str());
    EXPECT_EQ(readFile(oldFile), "0123456789");
    EXPECT_FALSE(fileExists(newFile));
    Func004(14, "next");
    Func067(14, 0);
    EXPECT_EQ(readFile(newFile), "next");
    EXPECT_EQ(readFile(oldFile), "0123456789");
}

TEST(Capture, UnopenableFileKeepsOldestBytesWithinBuffer) {
    TempDir dir;
    const std::string bad = dir.file("missing/dir/x.cap");
    const std::string good = dir.file("good.cap");
    const std::string data = pattern(70000);
    CaptureOn capture(15);
    Func068(15, bad.c_str());
    append(15, data);
    // The switch cannot write to the old file, so the bytes move on with the record.
    Func068(15, good.c_str());
    EXPECT_FALSE(fileExists(good));
    // A full buffer tries the (new) file before it drops a byte.
    Func004(15, "after");
    EXPECT_EQ(readFile(good), data.substr(0, 65024));
    EXPECT_EQ(Func067(15, 0), VORLEX_CAPTURE_OK);
    EXPECT_EQ(readFile(good), data.substr(0, 65024) + "after");
}

TEST(Capture, OffReportsBytesThatCouldNotBeWritten) {
    TempDir dir;
    const std::string bad = dir.file("missing/y.cap");
    ASSERT_EQ(Func067(16, 1), VORLEX_CAPTURE_OK);
    Func068(16, bad.c_str());
    Func004(16, "lost");
    EXPECT_EQ(Func067(16, 0), VORLEX_CAPTURE_NOT_WRITTEN);
    // The record is gone all the same.
    EXPECT_EQ(Func067(16, 0), VORLEX_CAPTURE_OK);
    Func004(16, "ignored");
    EXPECT_FALSE(fileExists(bad));
}

TEST(Capture, LongNamesAreCutTo255Characters) {
    TempDir dir;
    const std::string prefix = dir.path() + "/";
    ASSERT_LT(prefix.size(), 200u);
    const std::string name = prefix + std::string(400 - prefix.size(), 'n');
    const std::string kept = name.substr(0, 255);
    {
        CaptureOn capture(17);
        Func068(17, name.c_str());
        Func004(17, "long");
    }
    EXPECT_EQ(readFile(kept), "long");
    // A name of exactly 255 characters stays whole.
    const std::string exact = prefix + std::string(255 - prefix.size(), 'e');
    {
        CaptureOn capture(17);
        Func068(17, exact.c_str());
        Func004(17, "exact");
    }
    EXPECT_EQ(readFile(exact), "exact");
}

TEST(Capture, DefaultNameInCurrentDirectory) {
    TempDir dir;
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    {
        CaptureOn capture(3);
        Func004(3, "default");
    }
    {
        CaptureOn capture(18);
        Func068(18, "named.cap");
        Func068(18, nullptr); // back to the default
        Func004(18, "again");
    }
    EXPECT_EQ(chdir(previous), 0);
    EXPECT_EQ(readFile(dir.file("TERM7.CAP")), "default");
    EXPECT_EQ(readFile(dir.file("TERM22.CAP")), "again");
    EXPECT_FALSE(fileExists(dir.file("named.cap")));
}

TEST(Capture, PortNumbersAndMissingRecords) {
    EXPECT_EQ(Func067(-1, 1), VORLEX_CAPTURE_BAD_PORT);
    EXPECT_EQ(Func067(255, 1), VORLEX_CAPTURE_BAD_PORT);
    EXPECT_EQ(Func067(255, 0), VORLEX_CAPTURE_BAD_PORT);
    EXPECT_EQ(Func067(254, 0), VORLEX_CAPTURE_OK);
    // Without a record the appends and the name change are ignored.
    TempDir dir;
    const std::string file = dir.file("none.cap");
    Func068(254, file.c_str());
    Func004(254, "x");
    Func068(-1, file.c_str());
    Func072(300, 'x');
    EXPECT_EQ(Func067(254, 1), VORLEX_CAPTURE_OK);
    EXPECT_EQ(Func067(254, 0), VORLEX_CAPTURE_OK);
    EXPECT_FALSE(fileExists(file));
}
