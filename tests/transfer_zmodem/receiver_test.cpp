// The Zmodem receiver (Func024) against a scripted sender: the bytes it
// puts on the line, and what it does with bad or hostile input.
#include "script.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>

using namespace zf;
using testsupport::fileExists;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

constexpr int kCom = 11;

LONG receiveInto(LONG port, const std::string &dir) { return Func024(port, nullptr, dir.c_str()); }

// The next header that is not a (repeated) ZRINIT.
Frame afterInits(Remote &r) {
    Frame f;
    do f = r.header(5000);
    while (f.type == ZRINIT);
    return f;
}

// Ends a batch from the sender's side: ZFIN, its answer, "OO".
void endBatch(Remote &r) {
    r.send(hexHeader(ZFIN));
    EXPECT_EQ(ZFIN, afterInits(r).type);
    r.send("OO");
}

TEST(ZmodemReceiver, FirstZrinitIsTheHexHeaderWithItsCapabilities) {
    TempDir dir;
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return receiveInto(p, dir.path()); });
    Frame f = r.header();
    ASSERT_EQ(ZRINIT, f.type);
    // Buffer 0 (stream), variable headers allowed, CRC-32 and full duplex.
    unsigned crc = crc16(std::string("\x01\x00\x00\x01\x21", 5));
    EXPECT_EQ("**\x18" "B0100000121" + hex2(crc >> 8) + hex2(crc) + "\r\n\x11", f.raw);
    endBatch(r);
    EXPECT_EQ(0, r.finish());
}

TEST(ZmodemReceiver, TakesAFileAcknowledgesAndEnds) {
    TempDir dir;
    Remote r(kCom, /*resume=*/false);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return receiveInto(p, dir.path()); });
    ASSERT_EQ(ZRINIT, r.header().type);
    std::string a(1024, 'a'), b = "@\r tail \x18\x11 \xff\x7f";
    r.send(binHeader(ZFILE, std::string(4, '\0')) + subpacket(fileInfo("f.bin", "1041 0 0 0 1 1041"), 'k'));
    Frame pos = r.header();
    ASSERT_EQ(ZRPOS, pos.type);
    EXPECT_EQ(0u, fromLe(pos.data));
    // A subpacket of exactly 1024 bytes is taken; ZCRCQ asks for a ZACK.
    r.send(binHeader(ZDATA, le32(0)) + subpacket(a, 'j') + subpacket(b, 'h'));
    Frame ack = r.header();
    ASSERT_EQ(ZACK, ack.type);
    EXPECT_EQ(1024u, fromLe(ack.data));
    r.send(binHeader(ZEOF, le32(static_cast<uint32_t>(a.size() + b.size()))));
    EXPECT_EQ(ZRINIT, r.header().type);
    endBatch(r);
    EXPECT_EQ(0, r.finish());
    EXPECT_EQ(a + b, readFile(dir.file("f.bin")));
}

TEST(ZmodemReceiver, SubpacketLongerThanTheBufferIsRefused) {
    TempDir dir;
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return receiveInto(p, dir.path()); });
    ASSERT_EQ(ZRINIT, r.header().type);
    r.send(binHeader(ZFILE, std::string(4, '\0')) + subpacket(fileInfo("g.bin", "2000 0 0 0 1 2000"), 'k'));
    ASSERT_EQ(ZRPOS, r.header().type);
    // 1025 bytes: not written, and the position is asked for again.
    r.send(binHeader(ZDATA, le32(0)) + subpacket(std::string(1025, 'x'), 'h'));
    Frame again = r.header();
    ASSERT_EQ(ZRPOS, again.type);
    EXPECT_EQ(0u, fromLe(again.data));
    // A frame ahead of what we have is answered with our position too.
    r.send(binHeader(ZDATA, le32(500)) + subpacket(std::string(100, 'y'), 'h'));
    again = r.header();
    ASSERT_EQ(ZRPOS, again.type);
    EXPECT_EQ(0u, fromLe(again.data));
    r.send(binHeader(ZDATA, le32(0)) + subpacket(std::string(1000, 'z'), 'h') + binHeader(ZEOF, le32(1000)));
    EXPECT_EQ(ZRINIT, r.header().type);
    endBatch(r);
    EXPECT_EQ(0, r.finish());
    EXPECT_EQ(std::string(1000, 'z'), readFile(dir.file("g.bin")));
}

// Sends a ZFILE with the name; the receiver must refuse it (1) and write nothing.
void expectRefused(const std::string &name, bool fullPathNames, const TempDir &dir) {
    Remote r(kCom, false, fullPathNames);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return receiveInto(p, dir.path()); });
    ASSERT_EQ(ZRINIT, r.header().type);
    r.send(binHeader(ZFILE, std::string(4, '\0')) + subpacket(fileInfo(name, "5 0 0 0 1 5"), 'k'));
    EXPECT_EQ(1, r.finish()) << name;
    // The cancel sequence told the sender.
    EXPECT_NE(std::string::npos, r.rest().find(std::string(5, '\x18'))) << name;
}

TEST(ZmodemReceiver, NamesOutsideTheDirectoryOrTooLongAreRefused) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("in"));
    const std::string in = dir.file("in");
    expectRefused("../escaped.bin", /*fullPathNames=*/true, dir);
    expectRefused("..", false, dir);
    expectRefused("nul.txt", false, dir);
    expectRefused(std::string("bell\x07.bin"), false, dir);
    // in + "/" + 250 characters does not fit 255: refused, not cut.
    expectRefused(std::string(250, 'n'), false, dir);
    for (const auto &e : std::filesystem::recursive_directory_iterator(dir.path()))
        EXPECT_TRUE(e.is_directory()) << e.path();
}

TEST(ZmodemReceiver, DirectoryPartsAreDroppedWithoutFullPathNames) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("in"));
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return receiveInto(p, dir.file("in")); });
    ASSERT_EQ(ZRINIT, r.header().type);
    r.send(binHeader(ZFILE, std::string(4, '\0')) + subpacket(fileInfo("C:\\x\\..\\..\\up.bin", "3 0 0 0 1 3"), 'k'));
    ASSERT_EQ(ZRPOS, r.header().type);
    r.send(binHeader(ZDATA, le32(0)) + subpacket("abc", 'h') + binHeader(ZEOF, le32(3)));
    EXPECT_EQ(ZRINIT, r.header().type);
    endBatch(r);
    EXPECT_EQ(0, r.finish());
    EXPECT_EQ("abc", readFile(dir.file("in/up.bin")));
    EXPECT_FALSE(fileExists(dir.file("up.bin")));
}

TEST(ZmodemReceiver, AttentionOfMoreThan32BytesIsRefused) {
    TempDir dir;
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return receiveInto(p, dir.path()); });
    ASSERT_EQ(ZRINIT, r.header().type);
    r.send(binHeader(ZSINIT, std::string(4, '\0')) + subpacket(std::string(33, 'A'), 'k'));
    EXPECT_EQ(ZNAK, r.header().type);
    // What was left of the refused subpacket may cost a ZRINIT first.
    r.send(binHeader(ZSINIT, std::string(4, '\0')) + subpacket(std::string(32, 'B'), 'k'));
    EXPECT_EQ(ZACK, afterInits(r).type);
    endBatch(r);
    EXPECT_EQ(0, r.finish());
}

TEST(ZmodemReceiver, BadHeadersAreNotTaken) {
    TempDir dir;
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return receiveInto(p, dir.path()); });
    ASSERT_EQ(ZRINIT, r.header().type);
    // A variable header announcing 30 data bytes (more than a header holds).
    r.send(hexHeader(ZFIN, std::string(30, '\0'), /*variable=*/true));
    EXPECT_EQ(ZRINIT, r.header().type);
    // Upper-case hex digits.
    r.send(hexHeader(ZFIN, std::string(4, '\0'), false, /*upper=*/true));
    EXPECT_EQ(ZRINIT, r.header().type);
    // A damaged CRC.
    std::string bad = hexHeader(ZFIN);
    bad[bad.size() - 4] = bad[bad.size() - 4] == '0' ? '1' : '0';
    r.send(bad);
    EXPECT_EQ(ZRINIT, r.header().type);
    endBatch(r);
    EXPECT_EQ(0, r.finish());
}

TEST(ZmodemReceiver, CommandIsAnsweredAndNeverRun) {
    TempDir dir;
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return receiveInto(p, dir.path()); });
    ASSERT_EQ(ZRINIT, r.header().type);
    const std::string marker = dir.file("ran");
    r.send(binHeader(ZCOMMAND, std::string(4, '\0')) + subpacket("touch " + marker + std::string(1, '\0'), 'k'));
    EXPECT_EQ(ZCOMPL, r.header().type);
    endBatch(r);
    EXPECT_EQ(0, r.finish());
    EXPECT_FALSE(fileExists(marker));
}

TEST(ZmodemReceiver, FiveCansMeanTheSenderCancelled) {
    TempDir dir;
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return receiveInto(p, dir.path()); });
    ASSERT_EQ(ZRINIT, r.header().type);
    r.send(binHeader(ZFILE, std::string(4, '\0')) + subpacket(fileInfo("h.bin", "100 0 0 0 1 100"), 'k'));
    ASSERT_EQ(ZRPOS, r.header().type);
    r.send(binHeader(ZDATA, le32(0)) + subpacket(std::string(50, 'q'), 'i') + std::string(8, '\x18'));
    EXPECT_EQ(3, r.finish());
    // The partial file is not left behind.
    EXPECT_FALSE(fileExists(dir.file("h.bin")));
}

TEST(ZmodemReceiver, ResumeAppendsToAShorterFile) {
    TempDir dir;
    testsupport::TempDir scratch;
    {
        FILE *f = std::fopen(dir.file("r.bin").c_str(), "wb");
        std::fputs("01234", f);
        std::fclose(f);
    }
    Remote r(kCom, /*resume=*/true);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return receiveInto(p, dir.path()); });
    ASSERT_EQ(ZRINIT, r.header().type);
    r.send(binHeader(ZFILE, std::string(4, '\0')) + subpacket(fileInfo("r.bin", "10 0 0 0 1 10"), 'k'));
    Frame pos = r.header();
    ASSERT_EQ(ZRPOS, pos.type);
    EXPECT_EQ(5u, fromLe(pos.data));
    r.send(binHeader(ZDATA, le32(5)) + subpacket("56789", 'h') + binHeader(ZEOF, le32(10)));
    EXPECT_EQ(ZRINIT, r.header().type);
    endBatch(r);
    EXPECT_EQ(0, r.finish());
    EXPECT_EQ("0123456789", readFile(dir.file("r.bin")));
}

TEST(ZmodemReceiver, TextConversionAskedByTheSender) {
    TempDir dir;
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return receiveInto(p, dir.path()); });
    ASSERT_EQ(ZRINIT, r.header().type);
    // ZF0 = 2: a text file, each LF written as CR LF.
    r.send(binHeader(ZFILE, std::string("\0\0\0\x02", 4)) + subpacket(fileInfo("t.txt", "6 0 0 0 1 6"), 'k'));
    ASSERT_EQ(ZRPOS, r.header().type);
    r.send(binHeader(ZDATA, le32(0)) + subpacket("a\nbc\nd", 'h') + binHeader(ZEOF, le32(6)));
    EXPECT_EQ(ZRINIT, r.header().type);
    endBatch(r);
    EXPECT_EQ(0, r.finish());
    EXPECT_EQ("a\r\nbc\r\nd", readFile(dir.file("t.txt")));
}

TEST(ZmodemReceiver, AFullDiskEndsWithSixAndNoFileLeft) {
    // A file size limit makes the disk "full" after 4000 bytes.
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4000;
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    TempDir dir;
    LONG result;
    {
        Remote r(kCom);
        ASSERT_TRUE(r.ok());
        r.start([&](LONG p) { return receiveInto(p, dir.path()); });
        ASSERT_EQ(ZRINIT, r.header().type);
        r.send(binHeader(ZFILE, std::string(4, '\0')) + subpacket(fileInfo("full.bin", "8192 0 0 0 1 8192"), 'k'));
        EXPECT_EQ(ZRPOS, r.header().type);
        std::string frame = binHeader(ZDATA, le32(0));
        for (int i = 0; i < 8; i++) frame += subpacket(std::string(1024, static_cast<char>('a' + i)), i == 7 ? 'h' : 'i');
        r.send(frame + binHeader(ZEOF, le32(8192)));
        result = r.finish();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(VORLEX_TRANSFER_WRITE_FAILED, result);
    EXPECT_FALSE(fileExists(dir.file("full.bin")));
}

TEST(ZmodemReceiver, DownloadArgumentChecks) {
    EXPECT_EQ(VORLEX_ZMODEM_DOWNLOAD_BAD_PORT, Func024(-1, nullptr, nullptr));
    EXPECT_EQ(VORLEX_ZMODEM_DOWNLOAD_BAD_PORT, Func024(255, nullptr, nullptr));
    EXPECT_EQ(VORLEX_ZMODEM_DOWNLOAD_BAD_PORT, Func024(40, nullptr, nullptr)); // not open
    // Options on a port that is not open are ignored without harm.
    Func085(255, nullptr);
    Func030(-1);
    Func030(40);
}

} // namespace
