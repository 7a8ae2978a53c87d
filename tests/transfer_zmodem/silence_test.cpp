// Zmodem against a far end that stops answering mid-file, and a receiver
// that sends the sender back: every wait ends, and data land where asked.
#include "script.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

using namespace zf;
using testsupport::readFile;
using testsupport::TempDir;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kCom = 13;

std::string zrinit(unsigned bufferLength) {
    std::string d(4, '\0');
    d[0] = static_cast<char>(bufferLength & 0xFF);
    d[1] = static_cast<char>(bufferLength >> 8);
    d[3] = 33; // CRC-32, full duplex
    return hexHeader(ZRINIT, d);
}

std::string pattern(size_t n) {
    std::string d(n, '\0');
    for (size_t i = 0; i < n; i++) d[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return d;
}

void writeFile(const std::string &path, const std::string &data) {
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Upload of name from dir up to the sender's ZRPOS-answered data phase:
// ZRQINIT, our ZRINIT with the buffer given, ZFILE, our ZRPOS at 0.
void startUpload(Remote &r, const TempDir &dir, const char *name, unsigned buffer, std::atomic<bool> *done) {
    r.start([&dir, name, done](LONG p) {
        LONG result = Func037(p, nullptr, dir.path().c_str(), name, 0);
        if (done) *done = true;
        return result;
    });
    ASSERT_EQ(ZRQINIT, r.header(8000).type);
    r.send(zrinit(buffer));
    ASSERT_EQ(ZFILE, r.header().type);
    r.subpacket();
    r.send(hexHeader(ZRPOS, 0));
}

TEST(ZmodemSilence, SenderGivesUpOnAReceiverThatReadsAndNeverAnswers) {
    // A streaming receiver that stops acknowledging after the ZRPOS, the
    // carrier kept up: the window of unacknowledged data is resent a few
    // times, then the file fails as with too many errors, and the far end
    // hears the cancel sequence.
    TempDir dir;
    writeFile(dir.file("big.bin"), pattern(1 << 20));
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    std::atomic<bool> done{false};
    startUpload(r, dir, "big.bin", 0, &done);
    const auto silentFrom = Clock::now();
    std::string seen;
    while (!done && secondsSince(silentFrom) < 150) seen += r.rest(100);
    const double took = secondsSince(silentFrom);
    if (!done) Func122(r.port(), 9); // stops a sender that would go on for ever
    EXPECT_EQ(VORLEX_TRANSFER_REMOTE_CANCEL, r.finish());
    EXPECT_TRUE(done) << "still sending after " << took << " s";
    EXPECT_LT(took, 75.0); // 7 waits of 5 s, then the failure's own 4 s
    seen += r.rest(300);
    EXPECT_NE(std::string::npos, seen.find(std::string(10, '\x18') + std::string(10, '\b')));
}

// A receiver that sends the sender back to an earlier position must get
// the file's bytes from there, whichever wait the request arrives in.
struct Rewind {
    const char *what;
    unsigned buffer;   // the ZRINIT's buffer length (0: streaming)
    bool atEof;        // asked in answer to the ZEOF, else after the first subpacket
    uint32_t position;
};

class ZmodemRewind : public ::testing::TestWithParam<Rewind> {};

TEST_P(ZmodemRewind, DataAfterAZrposStartsThere) {
    const Rewind c = GetParam();
    const std::string data = pattern(3000);
    TempDir dir;
    writeFile(dir.file("r.bin"), data);
    Remote r(kCom);
    ASSERT_TRUE(r.ok());
    startUpload(r, dir, "r.bin", c.buffer, nullptr);
    // The first frame up to the point of the request.
    ASSERT_EQ(ZDATA, r.header().type);
    Sub first = r.subpacket();
    ASSERT_TRUE(first.crcOk);
    if (c.atEof) {
        for (Sub s = first; s.end != 'h'; s = r.subpacket()) ASSERT_TRUE(s.end);
        ASSERT_EQ(ZEOF, r.header().type);
    } else {
        ASSERT_EQ('k', first.end) << "a limited receiver's frame ends with ZCRCW";
    }
    r.send(hexHeader(ZRPOS, c.position));
    Frame h = r.header();
    ASSERT_EQ(ZDATA, h.type);
    EXPECT_EQ(c.position, fromLe(h.data));
    // The rest of the file from there, frame after frame, to its ZEOF.
    std::string got = data.substr(0, c.position);
    for (;;) {
        Sub s = r.subpacket();
        ASSERT_TRUE(s.end && s.crcOk) << "at " << got.size();
        got += s.data;
        if (s.end == 'h') break;
        if (s.end == 'k' || s.end == 'j') r.send(hexHeader(ZACK, static_cast<uint32_t>(got.size())));
        if (s.end == 'k') {
            Frame next = r.header();
            ASSERT_EQ(ZDATA, next.type);
            ASSERT_EQ(got.size(), fromLe(next.data));
        }
    }
    EXPECT_TRUE(got == data) << "sizes " << got.size() << " and " << data.size();
    Frame eof = r.header();
    ASSERT_EQ(ZEOF, eof.type);
    EXPECT_EQ(data.size(), fromLe(eof.data));
    r.send(zrinit(c.buffer));
    EXPECT_EQ(0, r.finish());
}

INSTANTIATE_TEST_SUITE_P(Waits, ZmodemRewind,
                         ::testing::Values(Rewind{"ReplyOfALimitedReceiver", 256, false, 100},
                                           Rewind{"AnswerToZeof", 0, true, 1500}),
                         [](const auto &info) { return std::string(info.param.what); });

TEST(ZmodemSilence, ReceiverGivesUpOnASilentSenderAndKeepsWhatItChecked) {
    // The sender goes quiet after 2000 bytes of a 10000-byte file. The
    // receiver asks again within its error budget, then fails; with resume
    // the partial file stays, holding every byte that came with a good CRC.
    TempDir dir;
    Remote r(kCom, /*resume=*/true);
    ASSERT_TRUE(r.ok());
    std::atomic<bool> done{false};
    r.start([&](LONG p) {
        LONG result = Func024(p, nullptr, dir.path().c_str());
        done = true;
        return result;
    });
    ASSERT_EQ(ZRINIT, r.header().type);
    r.send(binHeader(ZFILE, std::string(4, '\0')) + subpacket(fileInfo("part.bin", "10000 0 0 0 1 10000"), 'k'));
    ASSERT_EQ(ZRPOS, r.header().type);
    const std::string data = pattern(2000);
    r.send(binHeader(ZDATA, le32(0)) + subpacket(data.substr(0, 1024), 'i') + subpacket(data.substr(1024), 'i'));
    const auto silentFrom = Clock::now();
    std::string seen;
    while (!done && secondsSince(silentFrom) < 240) seen += r.rest(100);
    const double took = secondsSince(silentFrom);
    if (!done) Func122(r.port(), 9);
    EXPECT_EQ(VORLEX_TRANSFER_REMOTE_CANCEL, r.finish());
    EXPECT_TRUE(done);
    EXPECT_LT(took, 180.0); // 11 rounds of about 10 s on an idle machine
    // It kept asking for the position after the data it had.
    EXPECT_NE(std::string::npos, seen.find(hexHeader(ZRPOS, 2000).substr(0, 14)));
    EXPECT_TRUE(readFile(dir.file("part.bin")) == data);
}

} // namespace
