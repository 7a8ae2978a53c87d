// The block receiver against a sender driven by hand: repeated, damaged
// and stray blocks, -G errors, Ymodem names and lengths, refused names,
// the final ACK, a full disk and a lost carrier.
#include "harness.h"
#include "support.h"

#include <filesystem>

using namespace blocktest;
using testsupport::TempDir;
using testsupport::readFile;

namespace {

const std::string ACK = "\x06", NAK = "\x15", EOT = "\x04";

// Receives on end b of the pair; the test sends from end a once the
// receiver has asked with its start byte.
struct Receiver {
    Pair pair;
    TempDir dir;
    Recorder rec{pair.b()};
    Job run;
    Receiver(int com, LONG protocol, const char *name, const WAPI_LINE_OPTIONS *line = nullptr,
             const std::string &into = "")
        : pair(com, com + 1, line) {
        download(run, pair.b(), protocol, into.empty() ? dir.path() : into, name);
        std::string start = readBytes(pair.a(), 1, 5000);
        EXPECT_TRUE(start == "C" || start == "G") << start;
    }
    std::string ask(const std::string &bytes, size_t n = 1) { return blocktest::ask(pair.a(), bytes, n); }
    LONG result() {
        run.join();
        return run.result;
    }
    std::vector<std::string> files() {
        std::vector<std::string> out;
        for (auto &e : std::filesystem::directory_iterator(dir.path())) out.push_back(e.path().filename().string());
        return out;
    }
};

std::string nameBlock(const std::string &text, size_t size = 128) {
    std::string d = text;
    d.resize(size, '\0');
    return makeBlock(0, d, true);
}

TEST(ReceiverWire, RepeatedBlockIsAcknowledgedAndKeptOnce) {
    Receiver r(43, VORLEX_PROTOCOL_XMODEM, "x.bin");
    std::string one = randomBytes(128, 1), two = randomBytes(128, 2);
    EXPECT_EQ(r.ask(makeBlock(1, one, true)), ACK);
    // As if that ACK had been lost: the same block again.
    EXPECT_EQ(r.ask(makeBlock(1, one, true)), ACK);
    EXPECT_EQ(r.ask(makeBlock(2, two, true)), ACK);
    EXPECT_EQ(r.ask(EOT), ACK);
    EXPECT_EQ(r.result(), 0);
    EXPECT_TRUE(sameBytes(readFile(r.dir.file("x.bin")), one + two));
}

TEST(ReceiverWire, DamagedAndStrayBlocksAreAskedForAgain) {
    Receiver r(45, VORLEX_PROTOCOL_XMODEM_1K, "y.bin");
    std::string one = randomBytes(1024, 3), two = randomBytes(1024, 4), three = randomBytes(1024, 5);
    EXPECT_EQ(r.ask(makeBlock(1, one, true)), ACK);
    std::string bad = makeBlock(2, two, true);
    bad[500] ^= 0x10;
    EXPECT_EQ(r.ask(bad), NAK);
    EXPECT_EQ(r.ask(makeBlock(2, two, true)), ACK);
    // A block whose first byte was hit by noise: the rest is no block; once
    // the line is quiet the receiver asks for it again.
    std::string hit = makeBlock(3, three, true);
    hit[0] = 0x03;
    EXPECT_EQ(r.ask(hit), NAK);
    EXPECT_EQ(r.ask(makeBlock(3, three, true)), ACK);
    EXPECT_EQ(r.ask(EOT), ACK);
    EXPECT_EQ(r.result(), 0);
    EXPECT_TRUE(sameBytes(readFile(r.dir.file("y.bin")), one + two + three));
    EXPECT_TRUE(r.rec.saw(kCrcError));
    EXPECT_TRUE(r.rec.saw(kBadBlock));
}

TEST(ReceiverWire, StreamingBadBlockEndsWithSevenAndNoNak) {
    Receiver r(47, VORLEX_PROTOCOL_XMODEM_1K_G, "g.bin");
    std::string one = randomBytes(1024, 5);
    std::string bad = makeBlock(2, randomBytes(1024, 6), true);
    bad[700] ^= 0x01;
    sendBytes(r.pair.a(), makeBlock(1, one, true) + bad);
    EXPECT_EQ(r.result(), VORLEX_TRANSFER_BLOCK_ERRORS);
    std::string back = readQuiet(r.pair.a(), 300);
    EXPECT_TRUE(hasCancelSequence(back));
    EXPECT_EQ(back.find_first_of(NAK + ACK), std::string::npos);
    EXPECT_TRUE(sameBytes(readFile(r.dir.file("g.bin")), one)); // the good block is kept
}

TEST(ReceiverWire, YmodemNameLosesItsDirectoriesAndTheFileItsPadding) {
    Receiver r(49, VORLEX_PROTOCOL_YMODEM, nullptr);
    EXPECT_EQ(r.ask(nameBlock(std::string("C:dir1/dir2\\name.txt\0" "1234 13571234567 0", 40)), 2), ACK + "C");
    std::string data = randomBytes(1024 + 256, 7);
    EXPECT_EQ(r.ask(makeBlock(1, data.substr(0, 1024), true)), ACK);
    EXPECT_EQ(r.ask(makeBlock(2, data.substr(1024, 128), true)), ACK);
    EXPECT_EQ(r.ask(makeBlock(3, data.substr(1152, 128), true)), ACK);
    EXPECT_EQ(r.ask(EOT, 2), ACK + "C");
    EXPECT_EQ(r.ask(nameBlock("")), ACK);
    EXPECT_EQ(r.result(), 0);
    EXPECT_EQ(r.files(), std::vector<std::string>{"name.txt"});
    EXPECT_TRUE(sameBytes(readFile(r.dir.file("name.txt")), data.substr(0, 1234)));
    bool announced = false;
    for (auto &c : r.rec.calls()) announced |= c.status == kNewFile && c.name == "name.txt" && c.fileSize == 1234;
    EXPECT_TRUE(announced);
}

TEST(ReceiverWire, LengthsAreUnsigned32BitAndNeverLengthenTheFile) {
    Receiver r(51, VORLEX_PROTOCOL_YMODEM, nullptr);
    // 4 GiB - 1 is a length; the data that came is all the file gets.
    EXPECT_EQ(r.ask(nameBlock(std::string("huge\0" "4294967295 0", 17)), 2), ACK + "C");
    std::string data = randomBytes(128, 8);
    EXPECT_EQ(r.ask(makeBlock(1, data, true)), ACK);
    EXPECT_EQ(r.ask(EOT, 2), ACK + "C");
    // 4 GiB does not fit: refused, nothing written, the sender cancelled.
    sendBytes(r.pair.a(), nameBlock(std::string("toolarge\0" "4294967296 0", 21)));
    EXPECT_EQ(r.result(), VORLEX_TRANSFER_CANNOT_OPEN);
    EXPECT_TRUE(hasCancelSequence(readQuiet(r.pair.a(), 300)));
    EXPECT_EQ(r.files(), std::vector<std::string>{"huge"});
    EXPECT_TRUE(sameBytes(readFile(r.dir.file("huge")), data));
}

// Each refusal waits four seconds after the cancel sequence: side by side.
TEST(ReceiverWire, UnsafeNamesAreRefusedWithNothingWritten) {
    const std::vector<std::string> names = {"..", "COM1", "nul.txt", "d:e:f", "bell\a", std::string(250, 'n')};
    TempDir outer;
    const std::string inner = outer.file("in");
    std::filesystem::create_directory(inner);
    std::vector<LONG> results(names.size(), -1);
    std::vector<std::string> backs(names.size());
    std::vector<std::thread> runs;
    for (size_t i = 0; i < names.size(); i++) {
        runs.emplace_back([&, i] {
            Receiver r(60 + 2 * static_cast<int>(i), VORLEX_PROTOCOL_YMODEM, nullptr, nullptr, inner);
            // The long name only fits a 1024-byte block, and not the path.
            sendBytes(r.pair.a(), nameBlock(names[i] + std::string("\0" "10 0", 5), names[i].size() > 100 ? 1024 : 128));
            results[i] = r.result();
            backs[i] = readQuiet(r.pair.a(), 200);
        });
    }
    for (auto &t : runs) t.join();
    for (size_t i = 0; i < names.size(); i++) {
        EXPECT_EQ(results[i], VORLEX_TRANSFER_CANNOT_OPEN) << names[i];
        EXPECT_TRUE(hasCancelSequence(backs[i])) << names[i];
    }
    EXPECT_TRUE(std::filesystem::is_empty(inner));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(outer.path()), {}), 1);
}

TEST(ReceiverWire, SenderCancelKeepsTheBlocksSoFarAndAnEmptyNameBlockEndsABatch) {
    {
        Receiver r(73, VORLEX_PROTOCOL_XMODEM, "part");
        std::string one = randomBytes(128, 9);
        EXPECT_EQ(r.ask(makeBlock(1, one, true)), ACK);
        sendBytes(r.pair.a(), "\x18\x18");
        EXPECT_EQ(r.result(), VORLEX_TRANSFER_CANCELLED);
        EXPECT_TRUE(r.rec.saw(kSenderCanceled));
        EXPECT_TRUE(sameBytes(readFile(r.dir.file("part")), one));
    }
    Receiver r(75, VORLEX_PROTOCOL_YMODEM, nullptr);
    EXPECT_EQ(r.ask(nameBlock("")), ACK);
    EXPECT_EQ(r.result(), 0);
    EXPECT_TRUE(r.files().empty());
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
    EXPECT_EQ(ask(pair.a(), makeBlock(1, randomBytes(128, 10), true)), ACK);
    EXPECT_EQ(ask(pair.a(), EOT), ACK);
    rx.join();
}

TEST(ReceiverWire, FullDiskEndsWithSixAndTheCancelSequence) {
    Receiver r(79, VORLEX_PROTOCOL_XMODEM, "/dev/full", nullptr, " ");
    sendBytes(r.pair.a(), makeBlock(1, randomBytes(128, 11), true));
    EXPECT_EQ(r.result(), VORLEX_TRANSFER_WRITE_FAILED);
    EXPECT_TRUE(hasCancelSequence(readQuiet(r.pair.a(), 300)));
    EXPECT_TRUE(r.rec.saw(kWriteError));
}

TEST(ReceiverWire, CarrierLossEndsWithFive) {
    Receiver r(81, VORLEX_PROTOCOL_XMODEM, "cut");
    EXPECT_EQ(r.ask(makeBlock(1, randomBytes(128, 12), true)), ACK);
    Func056(r.pair.a(), 0); // the sender's DTR is the receiver's carrier
    EXPECT_EQ(r.result(), VORLEX_TRANSFER_CARRIER_LOST);
    EXPECT_TRUE(r.rec.saw(kLostCarrier));
    EXPECT_EQ(readFile(r.dir.file("cut")).size(), 128u);
}

} // namespace
