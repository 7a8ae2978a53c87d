// The Zmodem sender (Func037) against a scripted receiver.
#include "script.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

using namespace zf;
using testsupport::TempDir;

namespace {

constexpr int kCom = 12;

std::string zrinit(unsigned bufferLength, unsigned flags) {
    std::string d(4, '\0');
    d[0] = static_cast<char>(bufferLength & 0xFF);
    d[1] = static_cast<char>(bufferLength >> 8);
    d[3] = static_cast<char>(flags);
    return hexHeader(ZRINIT, d);
}

// The receiver's side of the batch's closing call: ZRQINIT, ZFIN, "OO".
void answerBatchEnd(Remote &r) {
    ASSERT_EQ(ZRQINIT, r.header().type);
    r.send(zrinit(0, 33));
    Frame fin = r.header();
    ASSERT_EQ(ZFIN, fin.type);
    r.send(hexHeader(ZFIN));
    EXPECT_EQ("OO", r.rest().substr(0, 2));
}

TEST(ZmodemSender, UploadArgumentChecks) {
    EXPECT_EQ(VORLEX_ZMODEM_BAD_PORT, Func037(-1, nullptr, nullptr, "x", 0));
    EXPECT_EQ(VORLEX_ZMODEM_BAD_PORT, Func037(255, nullptr, nullptr, "x", 0));
    EXPECT_EQ(VORLEX_ZMODEM_BAD_PORT, Func064(-1, nullptr, nullptr, "*", 6));
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    // A file after the first needs the batch's first call.
    EXPECT_EQ(VORLEX_ZMODEM_NO_BATCH, Func037(r.port(), nullptr, nullptr, "x", 1));
    // Ending a batch that never started only gives the window back.
    EXPECT_EQ(0, Func037(r.port(), nullptr, nullptr, nullptr, -1));
    EXPECT_EQ(VORLEX_ZMODEM_CANNOT_OPEN, Func064(r.port(), nullptr, nullptr, "*", 1));
    TempDir empty;
    EXPECT_EQ(VORLEX_ZMODEM_CANNOT_OPEN, Func064(r.port(), nullptr, empty.path().c_str(), "*.none", 6));
    // Nothing of it reached the line.
    EXPECT_EQ("", r.rest(100));
}

TEST(ZmodemSender, FileThatCannotBeOpenedEndsWithOne) {
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    TempDir dir;
    EXPECT_EQ(VORLEX_ZMODEM_CANNOT_OPEN, Func037(r.port(), nullptr, dir.path().c_str(), "missing.bin", 0));
    EXPECT_EQ("", r.rest(100));
    r.start([&](LONG p) { return Func037(p, nullptr, nullptr, nullptr, -1); });
    answerBatchEnd(r);
    EXPECT_EQ(0, r.finish());
}

TEST(ZmodemSender, FileOfFourGibibytesIsRefusedBeforeAnythingIsSent) {
    TempDir dir;
    int fd = ::open(dir.file("huge.bin").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ftruncate(fd, 4294967296LL));
    ::close(fd);
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(VORLEX_ZMODEM_TOO_LARGE, Func037(r.port(), nullptr, dir.path().c_str(), "huge.bin", 0));
    EXPECT_EQ("", r.rest(100));
    r.start([&](LONG p) { return Func037(p, nullptr, nullptr, nullptr, -1); });
    answerBatchEnd(r);
    EXPECT_EQ(0, r.finish());
}

TEST(ZmodemSender, PositionsAboveTwoGibibytes) {
    // A sparse file of 3 GiB + 10 bytes; the receiver asks for its last 10.
    TempDir dir;
    const uint32_t size = 3221225482u, from = 3221225472u;
    int fd = ::open(dir.file("big.bin").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ftruncate(fd, size));
    ASSERT_EQ(10, pwrite(fd, "0123456789", 10, from));
    ::close(fd);
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return Func037(p, nullptr, dir.path().c_str(), "big.bin", 0); });
    ASSERT_EQ(ZRQINIT, r.header(8000).type);
    r.send(zrinit(0, 33));
    Frame file = r.header();
    ASSERT_EQ(ZFILE, file.type);
    Sub info = r.subpacket();
    ASSERT_TRUE(info.crcOk);
    EXPECT_EQ("big.bin", std::string(info.data.c_str()));
    const std::string text = info.data.substr(info.data.find('\0') + 1);
    EXPECT_EQ(0u, text.find("3221225482 ")) << text;
    EXPECT_NE(std::string::npos, text.find(" 3221225482")) << text;
    r.send(hexHeader(ZRPOS, from));
    Frame data = r.header();
    ASSERT_EQ(ZDATA, data.type);
    EXPECT_EQ(from, fromLe(data.data));
    Sub last = r.subpacket();
    EXPECT_EQ("0123456789", last.data);
    EXPECT_EQ('h', last.end);
    Frame eof = r.header();
    ASSERT_EQ(ZEOF, eof.type);
    EXPECT_EQ(size, fromLe(eof.data));
    r.send(zrinit(0, 33));
    EXPECT_EQ(0, r.finish());
    r.start([&](LONG p) { return Func037(p, nullptr, nullptr, nullptr, -1); });
    answerBatchEnd(r);
    EXPECT_EQ(0, r.finish());
}

TEST(ZmodemSender, LimitedReceiverGetsItsBufferPerFrame) {
    TempDir dir;
    std::string data;
    for (int i = 0; i < 700; i++) data += static_cast<char>(i * 7);
    FILE *f = std::fopen(dir.file("w.bin").c_str(), "wb");
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return Func037(p, nullptr, dir.path().c_str(), "w.bin", 0); });
    ASSERT_EQ(ZRQINIT, r.header(8000).type);
    r.send(zrinit(256, 33)); // a buffer of 256 bytes
    ASSERT_EQ(ZFILE, r.header().type);
    r.subpacket();
    r.send(hexHeader(ZRPOS, 0));
    std::string got;
    for (int frame = 0; frame < 2; frame++) {
        Frame h = r.header();
        ASSERT_EQ(ZDATA, h.type);
        EXPECT_EQ(got.size(), fromLe(h.data));
        Sub s = r.subpacket();
        EXPECT_EQ(256u, s.data.size());
        EXPECT_EQ('k', s.end); // ZCRCW: one buffer, then wait
        got += s.data;
        r.send(hexHeader(ZACK, static_cast<uint32_t>(got.size())));
    }
    Frame h = r.header();
    ASSERT_EQ(ZDATA, h.type);
    Sub s = r.subpacket();
    EXPECT_EQ('h', s.end); // the end of the file
    got += s.data;
    EXPECT_EQ(data, got);
    ASSERT_EQ(ZEOF, r.header().type);
    r.send(zrinit(256, 33));
    EXPECT_EQ(0, r.finish());
    r.start([&](LONG p) { return Func037(p, nullptr, nullptr, nullptr, -1); });
    answerBatchEnd(r);
    EXPECT_EQ(0, r.finish());
}

TEST(ZmodemSender, RepositionedStreamGoesOnToTheRealEnd) {
    // A ZRPOS to an odd position while streaming: the data from there on
    // must run to the end of the file, across the sender's read buffers.
    TempDir dir;
    std::string data;
    for (int i = 0; i < 200000; i++) data += static_cast<char>((i * 31 + i / 977) & 0xFF);
    FILE *f = std::fopen(dir.file("z.bin").c_str(), "wb");
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return Func037(p, nullptr, dir.path().c_str(), "z.bin", 0); });
    ASSERT_EQ(ZRQINIT, r.header(8000).type);
    r.send(zrinit(0, 33));
    ASSERT_EQ(ZFILE, r.header().type);
    r.subpacket();
    r.send(hexHeader(ZRPOS, 0));
    ASSERT_EQ(ZDATA, r.header().type);
    r.subpacket();
    r.send(hexHeader(ZRPOS, 1000));
    // Skip what was sent before the ZRPOS was seen: up to the ZDATA at 1000.
    Frame h;
    do h = r.header();
    while (h.type >= 0 && !(h.type == ZDATA && fromLe(h.data) == 1000));
    ASSERT_EQ(ZDATA, h.type);
    std::string got = data.substr(0, 1000);
    uint32_t eofAt = 0;
    for (;;) {
        Sub s = r.subpacket();
        ASSERT_TRUE(s.end) << "at " << got.size();
        ASSERT_TRUE(s.crcOk);
        got += s.data;
        if (s.end == 'j') r.send(hexHeader(ZACK, static_cast<uint32_t>(got.size())));
        if (s.end == 'h') {
            Frame e = r.header();
            ASSERT_EQ(ZEOF, e.type);
            eofAt = fromLe(e.data);
            break;
        }
    }
    EXPECT_EQ(data.size(), eofAt);
    EXPECT_TRUE(got == data);
    r.send(zrinit(0, 33));
    EXPECT_EQ(0, r.finish());
    r.start([&](LONG p) { return Func037(p, nullptr, nullptr, nullptr, -1); });
    answerBatchEnd(r);
    EXPECT_EQ(0, r.finish());
}

TEST(ZmodemSender, SubpacketsShortenAfterErrorsAndGrowBackOnACleanRun) {
    // Five ZRPOS 2 KiB apart, as a noisy line gives them: each frame starts
    // where it was asked to, the subpackets come down to 64 bytes, and a
    // long clean run brings them back to 1024.
    TempDir dir;
    std::string data;
    for (int i = 0; i < 300000; i++) data += static_cast<char>((i * 7 + i / 251) & 0xFF);
    FILE *f = std::fopen(dir.file("n.bin").c_str(), "wb");
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return Func037(p, nullptr, dir.path().c_str(), "n.bin", 0); });
    ASSERT_EQ(ZRQINIT, r.header(8000).type);
    r.send(zrinit(0, 33));
    ASSERT_EQ(ZFILE, r.header().type);
    r.subpacket();
    r.send(hexHeader(ZRPOS, 0));
    std::string got;
    size_t firstAfterErrors = 0, longestAtEnd = 0;
    for (int error = 0; error <= 5; error++) {
        // What was on its way before the request is skipped.
        Frame h;
        do h = r.header();
        while (h.type >= 0 && !(h.type == ZDATA && fromLe(h.data) == got.size()));
        ASSERT_EQ(ZDATA, h.type) << "error " << error;
        const size_t until = error < 5 ? got.size() + 2048 : data.size();
        bool first = true;
        while (got.size() < until) {
            Sub sub = r.subpacket();
            ASSERT_TRUE(sub.end && sub.crcOk) << "at " << got.size();
            if (first && error == 5) firstAfterErrors = sub.data.size();
            first = false;
            if (error == 5 && got.size() > data.size() - 20000 && sub.data.size() > longestAtEnd)
                longestAtEnd = sub.data.size();
            got += sub.data;
            if (sub.end == 'j') r.send(hexHeader(ZACK, static_cast<uint32_t>(got.size())));
            if (sub.end == 'h') break;
        }
        if (error < 5) r.send(hexHeader(ZRPOS, static_cast<uint32_t>(got.size())));
    }
    EXPECT_EQ(64u, firstAfterErrors);
    EXPECT_EQ(1024u, longestAtEnd);
    EXPECT_TRUE(got == data) << "sizes " << got.size() << " and " << data.size();
    ASSERT_EQ(ZEOF, r.header().type);
    r.send(zrinit(0, 33));
    EXPECT_EQ(0, r.finish());
    r.start([&](LONG p) { return Func037(p, nullptr, nullptr, nullptr, -1); });
    answerBatchEnd(r);
    EXPECT_EQ(0, r.finish());
}

TEST(ZmodemSender, ReceiverSkippingTheFileFailsItWithTwo) {
    TempDir dir;
    FILE *f = std::fopen(dir.file("s.bin").c_str(), "wb");
    std::fputs("skip me", f);
    std::fclose(f);
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    r.start([&](LONG p) { return Func037(p, nullptr, dir.path().c_str(), "s.bin", 0); });
    ASSERT_EQ(ZRQINIT, r.header(8000).type);
    r.send(zrinit(0, 33));
    ASSERT_EQ(ZFILE, r.header().type);
    r.send(hexHeader(ZSKIP));
    EXPECT_EQ(VORLEX_TRANSFER_REMOTE_CANCEL, r.finish());
    r.start([&](LONG p) { return Func037(p, nullptr, nullptr, nullptr, -1); });
    answerBatchEnd(r);
    r.finish();
}

} // namespace
