// The block sender against a receiver driven by hand: the exact blocks on
// the wire, the start bytes, NAKs, CANs and the -G fall-back.
#include "harness.h"
#include "support.h"

#include <sys/stat.h>

#include <cstdio>

using namespace blocktest;
using testsupport::TempDir;

namespace {

// Starts the upload of data (as name) from end a and waits until the
// sender waits for its receiver.
struct Sender {
    Pair pair;
    TempDir dir;
    Recorder rec{pair.a()};
    Job run;
    Sender(int com, LONG protocol, const std::string &data, const std::string &name = "f") : pair(com, com + 1) {
        writeFile(dir.file(name), data);
        upload(run, pair.a(), protocol, dir.file(name));
        EXPECT_TRUE(rec.waitFor(kWaitingForReceiver, 5000));
    }
    std::string ask(const std::string &bytes, size_t n) { return blocktest::ask(pair.b(), bytes, n); }
};

TEST(SenderWire, Xmodem1kFileUnder1024BytesGoesAs128ByteBlocks) {
    std::string data = randomBytes(1000, 7);
    Sender s(31, VORLEX_PROTOCOL_XMODEM_1K, data);
    std::string reply = "C";
    for (int n = 1; n <= 8; n++) {
        std::string want = data.substr(static_cast<size_t>(n - 1) * 128, 128);
        want.resize(128, '\x1A'); // the last one: 104 bytes and 24 SUB
        EXPECT_EQ(s.ask(reply, 133), makeBlock(n, want, true)) << "block " << n;
        reply = "\x06";
    }
    EXPECT_EQ(s.ask("\x06", 1), "\x04");
    sendBytes(s.pair.b(), "\x06");
    s.run.join();
    EXPECT_EQ(s.run.result, 0);
    EXPECT_EQ(s.run.end, 0);
    EXPECT_TRUE(s.rec.saw(kCompleted));
}

TEST(SenderWire, NakStartGivesChecksumBlocksWhileTheYmodemNameBlockKeepsItsCrc) {
    std::string data = randomBytes(2100, 8);
    Sender s(33, VORLEX_PROTOCOL_YMODEM, data, "two thousand.bin");
    struct stat st;
    ASSERT_EQ(stat(s.dir.file("two thousand.bin").c_str(), &st), 0);
    char info[64];
    int n = std::snprintf(info, sizeof info, "2100 %lo", static_cast<unsigned long>(st.st_mtime));
    std::string name = std::string("two thousand.bin") + '\0' + std::string(info, static_cast<size_t>(n));
    name.resize(128, '\0');
    EXPECT_EQ(s.ask("\x15", 133), makeBlock(0, name, true));
    // 1024, 1024, then 52 bytes in a 128-byte block, each with a checksum.
    EXPECT_EQ(s.ask("\x06\x15", 1028), makeBlock(1, data.substr(0, 1024), false));
    EXPECT_EQ(s.ask("\x06", 1028), makeBlock(2, data.substr(1024, 1024), false));
    EXPECT_EQ(s.ask("\x06", 132), makeBlock(3, data.substr(2048) + std::string(76, '\x1A'), false));
    EXPECT_EQ(s.ask("\x06", 1), "\x04");
    // The batch ends with an empty name block when the receiver asks again.
    EXPECT_EQ(s.ask("\x06" "C", 133), makeBlock(0, std::string(128, '\0'), true));
    sendBytes(s.pair.b(), "\x06");
    s.run.join();
    EXPECT_EQ(s.run.result, 0);
    EXPECT_EQ(s.run.end, 0);
}

TEST(SenderWire, SingleCanThenNakRepeatsTheBlockAndTwoCansCancel) {
    std::string data = randomBytes(300, 9);
    Sender s(35, VORLEX_PROTOCOL_XMODEM, data);
    std::string first = s.ask("C", 133);
    EXPECT_EQ(s.ask("\x18\x15", 133), first);
    EXPECT_EQ(s.ask("\x06", 133), makeBlock(2, data.substr(128, 128), true));
    sendBytes(s.pair.b(), "\x18\x18");
    s.run.join();
    EXPECT_EQ(s.run.result, VORLEX_TRANSFER_REMOTE_CANCEL);
    EXPECT_TRUE(s.rec.saw(kRetransmitting));
    EXPECT_TRUE(s.rec.saw(kReceiverCanceled));
}

TEST(SenderWire, ElevenNaksEndTheTransferWithTheCancelSequence) {
    Sender s(37, VORLEX_PROTOCOL_XMODEM, randomBytes(100, 10));
    std::string block = s.ask("C", 133);
    for (int i = 0; i < 10; i++) EXPECT_EQ(s.ask("\x15", 133), block) << "repeat " << i;
    sendBytes(s.pair.b(), "\x15");
    s.run.join();
    EXPECT_EQ(s.run.result, VORLEX_TRANSFER_BLOCK_ERRORS);
    EXPECT_TRUE(hasCancelSequence(readQuiet(s.pair.b(), 300)));
    EXPECT_TRUE(s.rec.saw(kTooManyErrors));
}

TEST(SenderWire, YmodemGAskedWithCFallsBackToAcknowledgedBlocks) {
    std::string data = randomBytes(3000, 11);
    Sender s(39, VORLEX_PROTOCOL_YMODEM_G, data);
    ASSERT_EQ(s.ask("C", 133).size(), 133u);
    // No data before the name block is acknowledged and the data asked for.
    EXPECT_EQ(readQuiet(s.pair.b(), 300), "");
    EXPECT_EQ(s.ask("\x06" "C", 1029), makeBlock(1, data.substr(0, 1024), true));
    EXPECT_EQ(readQuiet(s.pair.b(), 300), "") << "the second block must wait for the ACK";
    sendBytes(s.pair.b(), "\x18\x18");
    s.run.join();
    EXPECT_EQ(s.run.result, VORLEX_TRANSFER_REMOTE_CANCEL);
    // The failed file leaves no closing name block behind.
    EXPECT_EQ(readQuiet(s.pair.b(), 300).find('\x01'), std::string::npos);
}

// A receiver that asks with NAK wants checksums and acknowledges every
// block: a -G sender does not stream to it.
TEST(SenderWire, StreamingSenderAskedWithNakWaitsForEachAck) {
    std::string data = randomBytes(2048, 13);
    Sender s(41, VORLEX_PROTOCOL_XMODEM_1K_G, data);
    EXPECT_EQ(s.ask("\x15", 1028), makeBlock(1, data.substr(0, 1024), false));
    EXPECT_EQ(readQuiet(s.pair.b(), 300), "");
    EXPECT_EQ(s.ask("\x06", 1028), makeBlock(2, data.substr(1024), false));
    EXPECT_EQ(s.ask("\x06", 1), "\x04");
    sendBytes(s.pair.b(), "\x06");
    s.run.join();
    EXPECT_EQ(s.run.result, 0);
}

TEST(SenderWire, StreamingSenderStopsWhenTheReceiverCancels) {
    Sender s(43, VORLEX_PROTOCOL_XMODEM_1K_G, randomBytes(200 * 1024, 12));
    std::string first = s.ask("G", 3 * 1029);
    ASSERT_EQ(first.size(), 3u * 1029);
    EXPECT_EQ(first.substr(1029, 3), std::string("\x02\x02\xFD", 3));
    sendBytes(s.pair.b(), "\x18\x18");
    readQuiet(s.pair.b(), 100); // flow control would hold the sender's writes
    s.run.join();
    EXPECT_EQ(s.run.result, VORLEX_TRANSFER_REMOTE_CANCEL);
    EXPECT_LT(s.rec.lastBytes(), 200u * 1024);
}

} // namespace
