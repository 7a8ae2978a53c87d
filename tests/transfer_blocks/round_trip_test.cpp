// Our sender against our receiver over a null-modem pair, for every block
// protocol and ASCII, with the sizes where blocks change.
#include "harness.h"
#include "support.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace blocktest;
using testsupport::TempDir;
using testsupport::readFile;

namespace {

struct Result {
    LONG send = -1;     // first non-zero Func069 result, else 0
    LONG end = -1;      // Func069 phase -1
    LONG receive = -1;  // Func123
};

// Sends the files (a batch for Ymodem) from end a and receives them on end
// b into dir (as name for the single-file protocols). The receiver starts
// once the sender waits for it, so that the sender's purge at the start
// cannot take the receiver's first request.
Result run(Pair &pair, LONG protocol, const std::vector<std::string> &files, const std::string &dir,
           const char *name, Recorder *sender = nullptr) {
    Result res;
    std::unique_ptr<Recorder> local;
    if (!sender) local = std::make_unique<Recorder>(pair.a());
    Recorder &rec = sender ? *sender : *local;
    std::thread tx([&] {
        res.send = 0;
        for (size_t i = 0; i < files.size(); i++) {
            LONG r = Func069(pair.a(), nullptr, protocol, nullptr, files[i].c_str(), static_cast<LONG>(i));
            if (r != 0) {
                res.send = r;
                break;
            }
        }
        res.end = Func069(pair.a(), nullptr, protocol, nullptr, nullptr, -1);
    });
    rec.waitFor(kWaitingForReceiver, 5000);
    res.receive = Func123(pair.b(), nullptr, protocol, dir.c_str(), name);
    tx.join();
    return res;
}

const std::vector<size_t> kSizes = {0, 1, 127, 128, 129, 1023, 1024, 1025, 3 * 1024};

class BlockRoundTrip : public ::testing::TestWithParam<LONG> {};

TEST_P(BlockRoundTrip, EverySizeArrivesWhole) {
    const LONG protocol = GetParam();
    const bool ymodem = protocol >= VORLEX_PROTOCOL_YMODEM;
    Pair pair(21, 22);
    TempDir src, dst;
    for (size_t size : kSizes) {
        SCOPED_TRACE("size " + std::to_string(size));
        std::string data = randomBytes(size, static_cast<unsigned>(size + protocol));
        std::string path = src.file("file " + std::to_string(size) + ".bin");
        writeFile(path, data);
        Result r = run(pair, protocol, {path}, dst.path(), ymodem ? nullptr : "out.bin");
        EXPECT_EQ(r.send, 0);
        EXPECT_EQ(r.end, 0);
        EXPECT_EQ(r.receive, 0);
        // Ymodem's length removes the padding; Xmodem keeps it.
        std::string got = readFile(dst.file(ymodem ? "file " + std::to_string(size) + ".bin" : "out.bin"));
        EXPECT_TRUE(sameBytes(got, ymodem ? data : padded(data)));
    }
}

// More than 255 blocks: the block number wraps from 255 to 0.
TEST_P(BlockRoundTrip, BlockNumbersWrap) {
    const LONG protocol = GetParam();
    const bool ymodem = protocol >= VORLEX_PROTOCOL_YMODEM;
    Pair pair(23, 24);
    TempDir src, dst;
    const size_t size = (protocol == VORLEX_PROTOCOL_XMODEM ? 128 : 1024) * 300 + 77;
    std::string data = randomBytes(size, 99);
    writeFile(src.file("big"), data);
    Recorder rec(pair.a());
    Result r = run(pair, protocol, {src.file("big")}, dst.path(), ymodem ? nullptr : "big", &rec);
    EXPECT_EQ(r.send, 0);
    EXPECT_EQ(r.receive, 0);
    EXPECT_TRUE(sameBytes(readFile(dst.file("big")), ymodem ? data : padded(data)));
    EXPECT_TRUE(rec.saw(kCompleted));
    EXPECT_EQ(rec.lastBytes(), padded(data).size());
}

INSTANTIATE_TEST_SUITE_P(Protocols, BlockRoundTrip,
                         ::testing::Values(VORLEX_PROTOCOL_XMODEM, VORLEX_PROTOCOL_XMODEM_1K,
                                           VORLEX_PROTOCOL_XMODEM_1K_G, VORLEX_PROTOCOL_YMODEM,
                                           VORLEX_PROTOCOL_YMODEM_G));

TEST(YmodemBatch, NamesWithSpacesEveryByteValueAndAnEmptyFile) {
    for (LONG protocol : {VORLEX_PROTOCOL_YMODEM, VORLEX_PROTOCOL_YMODEM_G}) {
        SCOPED_TRACE(protocol);
        Pair pair(25, 26);
        TempDir src, dst;
        std::string every;
        for (int k = 0; k < 4; k++)
            for (int c = 0; c < 256; c++) every.push_back(static_cast<char>(c));
        std::string other = randomBytes(1025, 5);
        writeFile(src.file("every byte value.bin"), every);
        writeFile(src.file("second one"), other);
        writeFile(src.file("empty"), "");
        Recorder receiver(pair.b());
        Result r = run(pair, protocol,
                       {src.file("every byte value.bin"), src.file("second one"), src.file("empty")}, dst.path(),
                       nullptr);
        EXPECT_EQ(r.send, 0);
        EXPECT_EQ(r.end, 0);
        EXPECT_EQ(r.receive, 0);
        EXPECT_TRUE(sameBytes(readFile(dst.file("every byte value.bin")), every));
        EXPECT_TRUE(sameBytes(readFile(dst.file("second one")), other));
        EXPECT_TRUE(testsupport::fileExists(dst.file("empty")));
        EXPECT_TRUE(sameBytes(readFile(dst.file("empty")), ""));
        // The receiver announces each file with the sender's name and length
        // (and, between files, the name it was given: none).
        std::vector<std::string> names;
        std::vector<DWORD> sizes;
        for (size_t i = 0; i < receiver.names().size(); i++)
            if (!receiver.names()[i].empty()) {
                names.push_back(receiver.names()[i]);
                sizes.push_back(receiver.sizes()[i]);
            }
        ASSERT_EQ(names.size(), 3u);
        EXPECT_EQ(names[0], "every byte value.bin");
        EXPECT_EQ(sizes[0], 1024u);
        EXPECT_EQ(names[1], "second one");
        EXPECT_EQ(sizes[1], 1025u);
        EXPECT_EQ(names[2], "empty");
        EXPECT_EQ(sizes[2], 0u);
    }
}

TEST(Ascii, TextArrivesWithTheClosingSub) {
    Pair pair(27, 28);
    TempDir src, dst;
    std::string text;
    for (int i = 0; i < 100; i++) text += "line " + std::to_string(i) + " of the ASCII test\r\n";
    ASSERT_GT(text.size(), 2048u);
    writeFile(src.file("text.txt"), text);
    Result r = run(pair, VORLEX_PROTOCOL_ASCII, {src.file("text.txt")}, dst.path(), "got.txt");
    EXPECT_EQ(r.send, 0);
    EXPECT_EQ(r.end, 0);
    EXPECT_EQ(r.receive, 0);
    EXPECT_TRUE(sameBytes(readFile(dst.file("got.txt")), text + "\x1A"));
}

TEST(Ascii, EmptyFileSendsOnlySub) {
    Pair pair(29, 30);
    TempDir src, dst;
    writeFile(src.file("empty.txt"), "");
    Result r = run(pair, VORLEX_PROTOCOL_ASCII, {src.file("empty.txt")}, dst.path(), "got.txt");
    EXPECT_EQ(r.send, 0);
    EXPECT_EQ(r.receive, 0);
    EXPECT_TRUE(sameBytes(readFile(dst.file("got.txt")), "\x1A"));
}

} // namespace

namespace {

// One bit in 100,000 flipped on the line: the acknowledged protocols end
// with identical files, the streaming ones stop with 7 (they cannot repeat).
TEST(Noise, AcknowledgedProtocolsFinishStreamingOnesStop) {
    struct Case {
        LONG protocol;
        size_t size;
    };
    for (Case c : {Case{VORLEX_PROTOCOL_XMODEM, 60 * 1024}, Case{VORLEX_PROTOCOL_YMODEM, 400 * 1024},
                   Case{VORLEX_PROTOCOL_YMODEM_G, 400 * 1024}}) {
        SCOPED_TRACE(c.protocol);
        WAPI_LINE_OPTIONS line{0, 0, 100000, 17};
        Pair pair(111, 112, &line);
        TempDir src, dst;
        std::string data = randomBytes(c.size, 21);
        writeFile(src.file("noisy"), data);
        const bool ymodem = c.protocol >= VORLEX_PROTOCOL_YMODEM;
        Recorder receiver(pair.b());
        Result r = run(pair, c.protocol, {src.file("noisy")}, dst.path(), ymodem ? nullptr : "noisy");
        if (c.protocol == VORLEX_PROTOCOL_YMODEM_G) {
            EXPECT_EQ(r.receive, VORLEX_TRANSFER_BLOCK_ERRORS);
            EXPECT_EQ(r.send, VORLEX_TRANSFER_REMOTE_CANCEL);
            continue;
        }
        EXPECT_EQ(r.send, 0);
        EXPECT_EQ(r.receive, 0);
        EXPECT_TRUE(sameBytes(readFile(dst.file("noisy")), ymodem ? data : padded(data)));
        // The line did damage blocks, and they were repeated.
        EXPECT_TRUE(receiver.saw(kCrcError) || receiver.saw(kBadBlock) || receiver.saw(kTimeOut));
    }
}

} // namespace
