// The block receiver against a sender driven by hand: repeated, damaged
// and stray blocks, -G errors, Ymodem names and lengths, refused names.
#include "harness.h"
#include "support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

using namespace blocktest;
using testsupport::TempDir;
using testsupport::readFile;

namespace {

struct Download {
    LONG result = -1;
    std::thread thread;
    // Receives on end b of the pair into dir (as name for Xmodem).
    Download(Pair &pair, LONG protocol, const std::string &dir, const char *name) {
        std::string n = name ? name : "";
        bool hasName = name != nullptr;
        thread = std::thread([&pair, protocol, dir, n, hasName, this] {
            result = Func123(pair.b(), nullptr, protocol, dir.c_str(), hasName ? n.c_str() : nullptr);
        });
    }
    ~Download() {
        if (thread.joinable()) thread.join();
    }
    void join() { thread.join(); }
};

std::string nameBlock(const std::string &text, size_t size = 128) {
    std::string d = text;
    d.resize(size, '\0');
    return makeBlock(0, d, true);
}

std::vector<std::string> entries(const std::string &dir) {
    std::vector<std::string> out;
    for (auto &e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
    return out;
}

TEST(ReceiverWire, RepeatedBlockIsAcknowledgedAndKeptOnce) {
    Pair pair(43, 44);
    TempDir dir;
    Download down(pair, VORLEX_PROTOCOL_XMODEM, dir.path(), "x.bin");
    ASSERT_EQ(readBytes(pair.a(), 1, 5000), "C");
    std::string one = randomBytes(128, 1), two = randomBytes(128, 2);
    sendBytes(pair.a(), makeBlock(1, one, true));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    // As if that ACK had been lost: the same block again.
    sendBytes(pair.a(), makeBlock(1, one, true));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    sendBytes(pair.a(), makeBlock(2, two, true));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    sendBytes(pair.a(), "\x04");
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    down.join();
    EXPECT_EQ(down.result, 0);
    EXPECT_TRUE(sameBytes(readFile(dir.file("x.bin")), one + two));
}

TEST(ReceiverWire, DamagedAndStrayBlocksAreAskedForAgain) {
    Pair pair(45, 46);
    TempDir dir;
    Recorder rec(pair.b());
    Download down(pair, VORLEX_PROTOCOL_XMODEM_1K, dir.path(), "y.bin");
    ASSERT_EQ(readBytes(pair.a(), 1, 5000), "C");
    std::string one = randomBytes(1024, 3), two = randomBytes(1024, 4), three = randomBytes(1024, 5);
    sendBytes(pair.a(), makeBlock(1, one, true));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    std::string bad = makeBlock(2, two, true);
    bad[500] ^= 0x10;
    sendBytes(pair.a(), bad);
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x15");
    sendBytes(pair.a(), makeBlock(2, two, true));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    // A block whose first byte was hit by noise: the rest is no block; once
    // the line is quiet the receiver asks for it again.
    std::string hit = makeBlock(3, three, true);
    hit[0] = 0x03;
    sendBytes(pair.a(), hit);
    EXPECT_EQ(readBytes(pair.a(), 1, 4000), "\x15");
    sendBytes(pair.a(), makeBlock(3, three, true));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    sendBytes(pair.a(), "\x04");
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    down.join();
    EXPECT_EQ(down.result, 0);
    EXPECT_TRUE(sameBytes(readFile(dir.file("y.bin")), one + two + three));
    EXPECT_TRUE(rec.saw(kCrcError));
    EXPECT_TRUE(rec.saw(kBadBlock));
}

TEST(ReceiverWire, StreamingBadBlockEndsWithSevenAndNoNak) {
    Pair pair(47, 48);
    TempDir dir;
    Download down(pair, VORLEX_PROTOCOL_XMODEM_1K_G, dir.path(), "g.bin");
    ASSERT_EQ(readBytes(pair.a(), 1, 5000), "G");
    std::string one = randomBytes(1024, 5);
    std::string bad = makeBlock(2, randomBytes(1024, 6), true);
    bad[700] ^= 0x01;
    sendBytes(pair.a(), makeBlock(1, one, true) + bad);
    down.join();
    EXPECT_EQ(down.result, VORLEX_TRANSFER_BLOCK_ERRORS);
    std::string back = readQuiet(pair.a(), 300);
    EXPECT_TRUE(hasCancelSequence(back));
    EXPECT_EQ(back.find('\x15'), std::string::npos);
    EXPECT_EQ(back.find('\x06'), std::string::npos);
    // The good block was kept.
    EXPECT_TRUE(sameBytes(readFile(dir.file("g.bin")), one));
}

TEST(ReceiverWire, YmodemNameLosesItsDirectoriesAndTheFileItsPadding) {
    Pair pair(49, 50);
    TempDir dir;
    Recorder rec(pair.b());
    Download down(pair, VORLEX_PROTOCOL_YMODEM, dir.path(), nullptr);
    ASSERT_EQ(readBytes(pair.a(), 1, 5000), "C");
    sendBytes(pair.a(), nameBlock(std::string("C:dir1/dir2\\name.txt\0" "1234 13571234567 0", 40)));
    EXPECT_EQ(readBytes(pair.a(), 2, 3000), "\x06" "C");
    std::string data = randomBytes(1024 + 256, 7);
    sendBytes(pair.a(), makeBlock(1, data.substr(0, 1024), true));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    sendBytes(pair.a(), makeBlock(2, data.substr(1024, 128), true));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    sendBytes(pair.a(), makeBlock(3, data.substr(1152, 128), true));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    sendBytes(pair.a(), "\x04");
    EXPECT_EQ(readBytes(pair.a(), 2, 3000), "\x06" "C");
    sendBytes(pair.a(), nameBlock(""));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    down.join();
    EXPECT_EQ(down.result, 0);
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"name.txt"});
    EXPECT_TRUE(sameBytes(readFile(dir.file("name.txt")), data.substr(0, 1234)));
    std::vector<DWORD> sizes = rec.sizes();
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), 1234u), sizes.end());
}

TEST(ReceiverWire, LengthsAreUnsigned32BitAndNeverLengthenTheFile) {
    Pair pair(51, 52);
    TempDir dir;
    Download down(pair, VORLEX_PROTOCOL_YMODEM, dir.path(), nullptr);
    ASSERT_EQ(readBytes(pair.a(), 1, 5000), "C");
    // 4 GiB - 1 is a length; the data that came is all the file gets.
    sendBytes(pair.a(), nameBlock(std::string("huge\0" "4294967295 0", 17)));
    EXPECT_EQ(readBytes(pair.a(), 2, 3000), "\x06" "C");
    std::string data = randomBytes(128, 8);
    sendBytes(pair.a(), makeBlock(1, data, true));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    sendBytes(pair.a(), "\x04");
    EXPECT_EQ(readBytes(pair.a(), 2, 3000), "\x06" "C");
    // 4 GiB does not fit: refused, nothing written, the sender cancelled.
    sendBytes(pair.a(), nameBlock(std::string("toolarge\0" "4294967296 0", 21)));
    down.join();
    EXPECT_EQ(down.result, VORLEX_TRANSFER_CANNOT_OPEN);
    EXPECT_TRUE(hasCancelSequence(readQuiet(pair.a(), 300)));
    EXPECT_TRUE(sameBytes(readFile(dir.file("huge")), data));
    EXPECT_FALSE(testsupport::fileExists(dir.file("toolarge")));
}

// Each refusal waits four seconds after the cancel sequence: run them side by side.
TEST(ReceiverWire, UnsafeNamesAreRefusedWithNothingWritten) {
    const std::vector<std::string> names = {"..", "COM1", "nul.txt", "d:e:f", std::string("bell\a")};
    std::vector<std::thread> runs;
    std::vector<LONG> results(names.size(), -1);
    std::vector<std::string> backs(names.size());
    TempDir outer;
    std::string inner = outer.file("in");
    std::filesystem::create_directory(inner);
    for (size_t i = 0; i < names.size(); i++) {
        runs.emplace_back([&, i] {
            Pair pair(60 + 2 * static_cast<int>(i), 61 + 2 * static_cast<int>(i));
            std::thread rx([&] { results[i] = Func123(pair.b(), nullptr, VORLEX_PROTOCOL_YMODEM, inner.c_str(), nullptr); });
            if (readBytes(pair.a(), 1, 5000) == "C") sendBytes(pair.a(), nameBlock(names[i] + std::string("\0" "10 0", 5)));
            rx.join();
            backs[i] = readQuiet(pair.a(), 200);
        });
    }
    for (auto &t : runs) t.join();
    for (size_t i = 0; i < names.size(); i++) {
        EXPECT_EQ(results[i], VORLEX_TRANSFER_CANNOT_OPEN) << names[i];
        EXPECT_TRUE(hasCancelSequence(backs[i])) << names[i];
    }
    EXPECT_TRUE(entries(inner).empty());
    EXPECT_EQ(entries(outer.path()), std::vector<std::string>{"in"});
}

TEST(ReceiverWire, NameThatDoesNotFitThePathIsRefused) {
    Pair pair(71, 72);
    TempDir dir;
    Download down(pair, VORLEX_PROTOCOL_YMODEM, dir.path(), nullptr);
    ASSERT_EQ(readBytes(pair.a(), 1, 5000), "C");
    std::string longName(250, 'n');
    sendBytes(pair.a(), nameBlock(longName + std::string("\0" "5 0", 4), 1024));
    down.join();
    EXPECT_EQ(down.result, VORLEX_TRANSFER_CANNOT_OPEN);
    EXPECT_TRUE(entries(dir.path()).empty());
}

TEST(ReceiverWire, SenderCancelKeepsTheBlocksSoFar) {
    Pair pair(73, 74);
    TempDir dir;
    Recorder rec(pair.b());
    Download down(pair, VORLEX_PROTOCOL_XMODEM, dir.path(), "part");
    ASSERT_EQ(readBytes(pair.a(), 1, 5000), "C");
    std::string one = randomBytes(128, 9);
    sendBytes(pair.a(), makeBlock(1, one, true));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    sendBytes(pair.a(), "\x18\x18");
    down.join();
    EXPECT_EQ(down.result, VORLEX_TRANSFER_CANCELLED);
    EXPECT_TRUE(rec.saw(kSenderCanceled));
    EXPECT_TRUE(sameBytes(readFile(dir.file("part")), one));
}

TEST(ReceiverWire, EmptyNameBlockFirstEndsTheBatch) {
    Pair pair(75, 76);
    TempDir dir;
    Download down(pair, VORLEX_PROTOCOL_YMODEM, dir.path(), nullptr);
    ASSERT_EQ(readBytes(pair.a(), 1, 5000), "C");
    sendBytes(pair.a(), nameBlock(""));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    down.join();
    EXPECT_EQ(down.result, 0);
    EXPECT_TRUE(entries(dir.path()).empty());
}

TEST(ReceiverWire, FinalAckReachesTheSenderWhenThePortIsClosedAtOnce) {
    // A slow line: the ACK is still on its way when Func123 returns.
    WAPI_LINE_OPTIONS line{1000, 20, 0, 0};
    Pair pair(77, 78, &line);
    TempDir dir;
    std::thread rx([&] {
        Func123(pair.b(), nullptr, VORLEX_PROTOCOL_XMODEM, dir.path().c_str(), "last");
        pair.closeB();
    });
    ASSERT_EQ(readBytes(pair.a(), 1, 5000), "C");
    sendBytes(pair.a(), makeBlock(1, randomBytes(128, 10), true));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    sendBytes(pair.a(), "\x04");
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    rx.join();
}

TEST(ReceiverWire, FullDiskEndsWithSixAndTheCancelSequence) {
    Pair pair(79, 80);
    Recorder rec(pair.b());
    std::thread rx([&] {
        EXPECT_EQ(Func123(pair.b(), nullptr, VORLEX_PROTOCOL_XMODEM, nullptr, "/dev/full"),
                  VORLEX_TRANSFER_WRITE_FAILED);
    });
    ASSERT_EQ(readBytes(pair.a(), 1, 5000), "C");
    sendBytes(pair.a(), makeBlock(1, randomBytes(128, 11), true));
    rx.join();
    EXPECT_TRUE(hasCancelSequence(readQuiet(pair.a(), 300)));
    EXPECT_TRUE(rec.saw(kWriteError));
}

TEST(ReceiverWire, CarrierLossEndsWithFive) {
    Pair pair(81, 82);
    TempDir dir;
    Recorder rec(pair.b());
    Download down(pair, VORLEX_PROTOCOL_XMODEM, dir.path(), "cut");
    ASSERT_EQ(readBytes(pair.a(), 1, 5000), "C");
    sendBytes(pair.a(), makeBlock(1, randomBytes(128, 12), true));
    EXPECT_EQ(readBytes(pair.a(), 1, 3000), "\x06");
    Func056(pair.a(), 0); // the sender's DTR is the receiver's carrier
    down.join();
    EXPECT_EQ(down.result, VORLEX_TRANSFER_CARRIER_LOST);
    EXPECT_TRUE(rec.saw(kLostCarrier));
    EXPECT_EQ(readFile(dir.file("cut")).size(), 128u);
}

} // namespace
