// Our sender against our receiver over a null-modem pair, for every block
// protocol and ASCII, with the sizes where blocks change, and on a noisy line.
#include "harness.h"
#include "support.h"

#include <memory>

using namespace blocktest;
using testsupport::TempDir;
using testsupport::readFile;

namespace {

struct Result {
    LONG send = -1;    // first non-zero Func069 result, else 0
    LONG end = -1;     // Func069 phase -1
    LONG receive = -1; // Func123
};

// Sends the files (a batch for Ymodem) from end a and receives them on end
// b into dir (as name for the single-file protocols). The receiver starts
// once the sender waits for it: the sender empties the queues when it
// starts and would throw away the receiver's first request.
Result run(Pair &pair, LONG protocol, const std::vector<std::string> &files, const std::string &dir,
           const char *name, Recorder *sender = nullptr) {
    Result res;
    std::unique_ptr<Recorder> local;
    if (!sender) local = std::make_unique<Recorder>(pair.a());
    std::thread tx([&] {
        res.send = 0;
        for (size_t i = 0; i < files.size() && res.send == 0; i++)
            res.send = Func069(pair.a(), nullptr, protocol, nullptr, files[i].c_str(), static_cast<LONG>(i));
        res.end = Func069(pair.a(), nullptr, protocol, nullptr, nullptr, -1);
    });
    (sender ? *sender : *local).waitFor(kWaitingForReceiver, 5000);
    res.receive = Func123(pair.b(), nullptr, protocol, dir.c_str(), name);
    tx.join();
    return res;
}

class BlockRoundTrip : public ::testing::TestWithParam<LONG> {};

// The sizes where blocks change, and more than 255 blocks (the number wraps).
TEST_P(BlockRoundTrip, EverySizeArrivesWhole) {
    const LONG protocol = GetParam();
    const bool ymodem = protocol >= VORLEX_PROTOCOL_YMODEM;
    const size_t wraps = (protocol == VORLEX_PROTOCOL_XMODEM ? 128 : 1024) * 300 + 77;
    Pair pair(21, 22);
    TempDir src, dst;
    for (size_t size : {size_t(0), size_t(1), size_t(127), size_t(128), size_t(129), size_t(1023), size_t(1024),
                        size_t(1025), size_t(3 * 1024), wraps}) {
        SCOPED_TRACE("size " + std::to_string(size));
        std::string data = randomBytes(size, static_cast<unsigned>(size + protocol));
        std::string name = "file " + std::to_string(size) + ".bin";
        writeFile(src.file(name), data);
        Recorder rec(pair.a());
        Result r = run(pair, protocol, {src.file(name)}, dst.path(), ymodem ? nullptr : "out.bin", &rec);
        EXPECT_EQ(r.send, 0);
        EXPECT_EQ(r.end, 0);
        EXPECT_EQ(r.receive, 0);
        // Ymodem's length removes the padding; Xmodem keeps it.
        EXPECT_TRUE(sameBytes(readFile(dst.file(ymodem ? name : "out.bin")), ymodem ? data : padded(data)));
        EXPECT_TRUE(rec.saw(kCompleted));
        EXPECT_EQ(rec.lastBytes(), padded(data).size());
    }
}

INSTANTIATE_TEST_SUITE_P(Protocols, BlockRoundTrip,
                         ::testing::Values(VORLEX_PROTOCOL_XMODEM, VORLEX_PROTOCOL_XMODEM_1K,
                                           VORLEX_PROTOCOL_XMODEM_1K_G, VORLEX_PROTOCOL_YMODEM,
                                           VORLEX_PROTOCOL_YMODEM_G));

TEST(YmodemBatch, NamesWithSpacesEveryByteValueAndAnEmptyFile) {
    std::string every;
    for (int k = 0; k < 4; k++)
        for (int c = 0; c < 256; c++) every.push_back(static_cast<char>(c));
    const std::vector<std::pair<std::string, std::string>> files = {
        {"every byte value.bin", every}, {"second one", randomBytes(1025, 5)}, {"empty", ""}};
    for (LONG protocol : {VORLEX_PROTOCOL_YMODEM, VORLEX_PROTOCOL_YMODEM_G}) {
        SCOPED_TRACE(protocol);
        Pair pair(25, 26);
        TempDir src, dst;
        std::vector<std::string> paths;
        for (auto &f : files) {
            writeFile(src.file(f.first), f.second);
            paths.push_back(src.file(f.first));
        }
        Recorder receiver(pair.b());
        Result r = run(pair, protocol, paths, dst.path(), nullptr);
        EXPECT_EQ(r.send, 0);
        EXPECT_EQ(r.end, 0);
        EXPECT_EQ(r.receive, 0);
        // Each file is announced with the sender's name and length (between
        // files, with the name the receiver was given: none).
        std::vector<Recorder::Call> announced;
        for (auto &c : receiver.calls())
            if (c.status == kNewFile && !c.name.empty()) announced.push_back(c);
        ASSERT_EQ(announced.size(), files.size());
        for (size_t i = 0; i < files.size(); i++) {
            EXPECT_TRUE(testsupport::fileExists(dst.file(files[i].first)));
            EXPECT_TRUE(sameBytes(readFile(dst.file(files[i].first)), files[i].second)) << files[i].first;
            EXPECT_EQ(announced[i].name, files[i].first);
            EXPECT_EQ(announced[i].fileSize, files[i].second.size());
        }
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

// One bit in 100,000 flipped on the line: the acknowledged protocols end
// with identical files, the streaming ones stop with 7 (they cannot repeat).
TEST(Noise, AcknowledgedProtocolsFinishStreamingOnesStop) {
    for (auto [protocol, size] : {std::pair<LONG, size_t>{VORLEX_PROTOCOL_XMODEM, 60 * 1024},
                                  {VORLEX_PROTOCOL_YMODEM, 400 * 1024}, {VORLEX_PROTOCOL_YMODEM_G, 400 * 1024}}) {
        SCOPED_TRACE(protocol);
        WAPI_LINE_OPTIONS line{0, 0, 100000, 17};
        Pair pair(111, 112, &line);
        TempDir src, dst;
        std::string data = randomBytes(size, 21);
        writeFile(src.file("noisy"), data);
        const bool ymodem = protocol >= VORLEX_PROTOCOL_YMODEM;
        Recorder receiver(pair.b());
        Result r = run(pair, protocol, {src.file("noisy")}, dst.path(), ymodem ? nullptr : "noisy");
        if (protocol == VORLEX_PROTOCOL_YMODEM_G) {
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
