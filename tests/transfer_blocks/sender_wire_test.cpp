// The block sender against a receiver driven by hand: the exact blocks on
// the wire, the start bytes, NAKs, CANs and the -G fall-back.
#include "harness.h"
#include "support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <thread>

using namespace blocktest;
using testsupport::TempDir;

namespace {

struct Upload {
    LONG send = -1, end = -1;
    std::thread thread;
    // Sends the file from end a of the pair with phase 0 and ends with -1.
    Upload(Pair &pair, LONG protocol, const std::string &path) {
        thread = std::thread([&pair, protocol, path, this] {
            send = Func069(pair.a(), nullptr, protocol, nullptr, path.c_str(), 0);
            end = Func069(pair.a(), nullptr, protocol, nullptr, nullptr, -1);
        });
    }
    ~Upload() {
        if (thread.joinable()) thread.join();
    }
    void join() { thread.join(); }
};

std::string dataOf(const std::string &block, size_t size) { return block.substr(3, size); }

TEST(SenderWire, Xmodem1kFileUnder1024BytesGoesAs128ByteBlocks) {
    Pair pair(31, 32);
    TempDir dir;
    std::string data = randomBytes(1000, 7);
    writeFile(dir.file("short"), data);
    Recorder rec(pair.a());
    Upload up(pair, VORLEX_PROTOCOL_XMODEM_1K, dir.file("short"));
    ASSERT_TRUE(rec.waitFor(kWaitingForReceiver, 5000));
    sendBytes(pair.b(), "C");
    for (int n = 1; n <= 8; n++) {
        std::string block = readBytes(pair.b(), 133, 3000);
        ASSERT_EQ(block.size(), 133u) << "block " << n;
        std::string want = data.substr(static_cast<size_t>(n - 1) * 128, 128);
        want.resize(128, '\x1A'); // the last one: 104 bytes and 24 SUB
        EXPECT_EQ(block, makeBlock(n, want, true)) << "block " << n;
        sendBytes(pair.b(), "\x06");
    }
    EXPECT_EQ(readBytes(pair.b(), 1, 3000), "\x04");
    sendBytes(pair.b(), "\x06");
    up.join();
    EXPECT_EQ(up.send, 0);
    EXPECT_EQ(up.end, 0);
    EXPECT_TRUE(rec.saw(kCompleted));
}

TEST(SenderWire, NakStartGivesChecksumBlocksWhileTheYmodemNameBlockKeepsItsCrc) {
    Pair pair(33, 34);
    TempDir dir;
    std::string data = randomBytes(2100, 8);
    std::string path = dir.file("two thousand.bin");
    writeFile(path, data);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    Recorder rec(pair.a());
    Upload up(pair, VORLEX_PROTOCOL_YMODEM, path);
    ASSERT_TRUE(rec.waitFor(kWaitingForReceiver, 5000));
    sendBytes(pair.b(), "\x15");
    std::string zero = readBytes(pair.b(), 133, 3000);
    std::string name(128, '\0');
    char info[64];
    int n = std::snprintf(info, sizeof info, "2100 %lo", static_cast<unsigned long>(st.st_mtime));
    name.replace(0, 16, "two thousand.bin");
    name.replace(17, static_cast<size_t>(n), info);
    EXPECT_EQ(zero, makeBlock(0, name, true));
    sendBytes(pair.b(), "\x06\x15");
    // 1024, 1024, then 52 bytes in a 128-byte block, each with a checksum.
    std::string b1 = readBytes(pair.b(), 1028, 3000);
    EXPECT_EQ(b1, makeBlock(1, data.substr(0, 1024), false));
    sendBytes(pair.b(), "\x06");
    std::string b2 = readBytes(pair.b(), 1028, 3000);
    EXPECT_EQ(b2, makeBlock(2, data.substr(1024, 1024), false));
    sendBytes(pair.b(), "\x06");
    std::string b3 = readBytes(pair.b(), 132, 3000);
    EXPECT_EQ(b3, makeBlock(3, data.substr(2048) + std::string(76, '\x1A'), false));
    sendBytes(pair.b(), "\x06");
    EXPECT_EQ(readBytes(pair.b(), 1, 3000), "\x04");
    sendBytes(pair.b(), "\x06");
    // The batch ends with an empty name block when the receiver asks again.
    sendBytes(pair.b(), "C");
    EXPECT_EQ(readBytes(pair.b(), 133, 3000), makeBlock(0, std::string(128, '\0'), true));
    sendBytes(pair.b(), "\x06");
    up.join();
    EXPECT_EQ(up.send, 0);
    EXPECT_EQ(up.end, 0);
}

TEST(SenderWire, SingleCanThenNakRepeatsTheBlockAndTwoCansCancel) {
    Pair pair(35, 36);
    TempDir dir;
    std::string data = randomBytes(300, 9);
    writeFile(dir.file("f"), data);
    Recorder rec(pair.a());
    Upload up(pair, VORLEX_PROTOCOL_XMODEM, dir.file("f"));
    ASSERT_TRUE(rec.waitFor(kWaitingForReceiver, 5000));
    sendBytes(pair.b(), "C");
    std::string first = readBytes(pair.b(), 133, 3000);
    ASSERT_EQ(first.size(), 133u);
    sendBytes(pair.b(), "\x18\x15");
    EXPECT_EQ(readBytes(pair.b(), 133, 3000), first);
    sendBytes(pair.b(), "\x06");
    std::string second = readBytes(pair.b(), 133, 3000);
    EXPECT_EQ(second, makeBlock(2, data.substr(128, 128), true));
    sendBytes(pair.b(), "\x18\x18");
    up.join();
    EXPECT_EQ(up.send, VORLEX_TRANSFER_REMOTE_CANCEL);
    EXPECT_TRUE(rec.saw(kRetransmitting));
    EXPECT_TRUE(rec.saw(kReceiverCanceled));
}

TEST(SenderWire, ElevenNaksEndTheTransferWithTheCancelSequence) {
    Pair pair(37, 38);
    TempDir dir;
    writeFile(dir.file("f"), randomBytes(100, 10));
    Recorder rec(pair.a());
    Upload up(pair, VORLEX_PROTOCOL_XMODEM, dir.file("f"));
    ASSERT_TRUE(rec.waitFor(kWaitingForReceiver, 5000));
    sendBytes(pair.b(), "C");
    std::string block = readBytes(pair.b(), 133, 3000);
    for (int i = 0; i < 10; i++) {
        sendBytes(pair.b(), "\x15");
        EXPECT_EQ(readBytes(pair.b(), 133, 3000), block) << "repeat " << i;
    }
    sendBytes(pair.b(), "\x15");
    up.join();
    EXPECT_EQ(up.send, VORLEX_TRANSFER_BLOCK_ERRORS);
    EXPECT_TRUE(hasCancelSequence(readQuiet(pair.b(), 300)));
    EXPECT_TRUE(rec.saw(kTooManyErrors));
}

TEST(SenderWire, YmodemGAskedWithCFallsBackToAcknowledgedBlocks) {
    Pair pair(39, 40);
    TempDir dir;
    std::string data = randomBytes(3000, 11);
    writeFile(dir.file("g"), data);
    Recorder rec(pair.a());
    Upload up(pair, VORLEX_PROTOCOL_YMODEM_G, dir.file("g"));
    ASSERT_TRUE(rec.waitFor(kWaitingForReceiver, 5000));
    sendBytes(pair.b(), "C");
    ASSERT_EQ(readBytes(pair.b(), 133, 3000).size(), 133u);
    // No data before the name block is acknowledged and the data asked for.
    EXPECT_EQ(readQuiet(pair.b(), 300), "");
    sendBytes(pair.b(), "\x06" "C");
    EXPECT_EQ(readBytes(pair.b(), 1029, 3000), makeBlock(1, data.substr(0, 1024), true));
    EXPECT_EQ(readQuiet(pair.b(), 300), "") << "the second block must wait for the ACK";
    sendBytes(pair.b(), "\x18\x18");
    up.join();
    EXPECT_EQ(up.send, VORLEX_TRANSFER_REMOTE_CANCEL);
    // The failed file leaves no closing name block behind.
    EXPECT_EQ(readQuiet(pair.b(), 300).find('\x01'), std::string::npos);
}

TEST(SenderWire, StreamingSenderStopsWhenTheReceiverCancels) {
    Pair pair(41, 42);
    TempDir dir;
    writeFile(dir.file("s"), randomBytes(200 * 1024, 12));
    Recorder rec(pair.a());
    Upload up(pair, VORLEX_PROTOCOL_XMODEM_1K_G, dir.file("s"));
    ASSERT_TRUE(rec.waitFor(kWaitingForReceiver, 5000));
    sendBytes(pair.b(), "G");
    std::string first = readBytes(pair.b(), 3 * 1029, 3000);
    ASSERT_EQ(first.size(), 3u * 1029);
    EXPECT_EQ(first.substr(1029, 3), std::string("\x02\x02\xFD", 3));
    sendBytes(pair.b(), "\x18\x18");
    up.join();
    EXPECT_EQ(up.send, VORLEX_TRANSFER_REMOTE_CANCEL);
    EXPECT_LT(rec.lastBytes(), 200u * 1024);
}

} // namespace

namespace {

// A receiver that asks with NAK wants checksums and acknowledges every
// block: a -G sender does not stream to it.
TEST(SenderWire, StreamingSenderAskedWithNakWaitsForEachAck) {
    Pair pair(103, 104);
    TempDir dir;
    std::string data = randomBytes(2048, 13);
    writeFile(dir.file("n"), data);
    Recorder rec(pair.a());
    Upload up(pair, VORLEX_PROTOCOL_XMODEM_1K_G, dir.file("n"));
    ASSERT_TRUE(rec.waitFor(kWaitingForReceiver, 5000));
    sendBytes(pair.b(), "\x15");
    EXPECT_EQ(readBytes(pair.b(), 1028, 3000), makeBlock(1, data.substr(0, 1024), false));
    EXPECT_EQ(readQuiet(pair.b(), 300), "");
    sendBytes(pair.b(), "\x06");
    EXPECT_EQ(readBytes(pair.b(), 1028, 3000), makeBlock(2, data.substr(1024), false));
    sendBytes(pair.b(), "\x06");
    EXPECT_EQ(readBytes(pair.b(), 1, 3000), "\x04");
    sendBytes(pair.b(), "\x06");
    up.join();
    EXPECT_EQ(up.send, 0);
}

} // namespace
