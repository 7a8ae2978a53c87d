// Xmodem, Xmodem-1K, Ymodem and Ymodem-G against lrzsz's sx, rx, sb and rb,
// both directions, behind pipes (socat) on a pseudo-terminal.
#include "../transfer_blocks/harness.h"
#include "lrzsz.h"
#include "support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

using namespace blocktest;
using testsupport::PeerProgram;
using testsupport::TempDir;
using testsupport::readFile;
using testsupport::shellQuote;

namespace {

constexpr int kCom = 120;
constexpr LONG kPort = kCom - 1;

const std::vector<size_t> kSizes = {0, 1, 127, 128, 129, 1023, 1024, 1025, 5 * 1024};
// lrzsz's Xmodem receiver waits a second to be sure of each EOT: the
// variants take a few sizes only.
const std::vector<size_t> kFewSizes = {0, 129, 1025};
const std::vector<size_t> kEdgeSizes = {0, 1, 127, 128, 1024, 1025};

std::string sizeName(size_t size) { return "size " + std::to_string(size) + ".bin"; }

// Opens our end of the peer's line: noProgressWindow, no carrier checks
// needed (a pseudo-terminal always has carrier).
struct OurPort {
    OurPort() {
        EXPECT_EQ(Func041(kPort, 3), 0);
        Func090(kPort, 1, 1, 0, 0, 60);
    }
    ~OurPort() { Func122(kPort, 3); }
};

// The peer starts only once our sender waits for it: the sender empties
// both queues when it starts and would throw away the receiver's first
// request (lrzsz asks again only after ten seconds).
struct Gate {
    TempDir dir;
    std::string wait() const { return "while [ ! -e " + shellQuote(dir.file("go")) + " ]; do sleep 0.01; done; "; }
    void open() const { std::ofstream(dir.file("go")).close(); }
};

// Sends the files as a batch (Ymodem) or the first alone, ending with -1.
LONG sendFiles(LONG protocol, const std::vector<std::string> &paths, Recorder &rec, const Gate &gate) {
    LONG result = 0;
    std::thread opener([&] {
        if (rec.waitFor(kWaitingForReceiver, 5000)) gate.open();
    });
    for (size_t i = 0; i < paths.size() && result == 0; i++)
        result = Func069(kPort, nullptr, protocol, nullptr, paths[i].c_str(), static_cast<LONG>(i));
    LONG end = Func069(kPort, nullptr, protocol, nullptr, nullptr, -1);
    opener.join();
    return result ? result : end;
}

// Xmodem: received files keep the 0x1A padding of the last block.
::testing::AssertionResult xmodemFile(const std::string &got, const std::string &data) {
    if (got.size() < data.size() || got.size() > data.size() + 1023)
        return ::testing::AssertionFailure() << "size " << got.size() << " for " << data.size();
    if (got.compare(0, data.size(), data) != 0) return sameBytes(got.substr(0, data.size()), data);
    for (size_t i = data.size(); i < got.size(); i++)
        if (got[i] != '\x1A') return ::testing::AssertionFailure() << "padding byte " << i << " is not SUB";
    return ::testing::AssertionSuccess();
}

struct XmodemCase {
    const char *peerOptions;
    LONG protocol;
    bool allSizes; // else a few
};

class FromSx : public ::testing::TestWithParam<XmodemCase> {};

TEST_P(FromSx, OurReceiverTakesEverySize) {
    for (size_t size : GetParam().allSizes ? kSizes : kFewSizes) {
        SCOPED_TRACE(size);
        TempDir src, dst;
        std::string data = randomBytes(size, static_cast<unsigned>(size));
        writeFile(src.file("in"), data);
        PeerProgram peer(kCom, std::string("sx ") + GetParam().peerOptions + " in", src.path());
        OurPort port;
        EXPECT_EQ(Func123(kPort, nullptr, GetParam().protocol, dst.path().c_str(), "out"), 0);
        EXPECT_EQ(peer.wait(10000), 0) << peer.log();
        EXPECT_TRUE(xmodemFile(readFile(dst.file("out")), data));
    }
}

INSTANTIATE_TEST_SUITE_P(Xmodem, FromSx,
                         ::testing::Values(XmodemCase{"", VORLEX_PROTOCOL_XMODEM, true},
                                           XmodemCase{"-k", VORLEX_PROTOCOL_XMODEM_1K, true}));

class ToRx : public ::testing::TestWithParam<XmodemCase> {};

TEST_P(ToRx, TheirReceiverTakesEverySize) {
    for (size_t size : GetParam().allSizes ? kEdgeSizes : kFewSizes) {
        SCOPED_TRACE(size);
        TempDir src, dst;
        std::string data = randomBytes(size, static_cast<unsigned>(size + 1));
        writeFile(src.file("in"), data);
        Gate gate;
        PeerProgram peer(kCom, gate.wait() + "rx " + GetParam().peerOptions + " out", dst.path());
        OurPort port;
        Recorder rec(kPort);
        EXPECT_EQ(sendFiles(GetParam().protocol, {src.file("in")}, rec, gate), 0);
        EXPECT_EQ(peer.wait(10000), 0) << peer.log();
        EXPECT_TRUE(xmodemFile(readFile(dst.file("out")), data));
    }
}

// rx without -c asks with NAK: blocks with checksums; with -c, CRC-16.
INSTANTIATE_TEST_SUITE_P(Xmodem, ToRx,
                         ::testing::Values(XmodemCase{"", VORLEX_PROTOCOL_XMODEM, false},
                                           XmodemCase{"-c", VORLEX_PROTOCOL_XMODEM, true},
                                           XmodemCase{"-c", VORLEX_PROTOCOL_XMODEM_1K, false}));

// A batch with every size class, every byte value, names with spaces and
// a few megabytes of random bytes.
struct Batch {
    TempDir src;
    std::vector<std::string> names;
    std::vector<std::string> contents;
    // The sizes given; with extras also every byte value and a few megabytes.
    explicit Batch(const std::vector<size_t> &sizes = kSizes, bool extras = true, size_t big = 3 * 1024 * 1024 + 17) {
        for (size_t size : sizes) add(sizeName(size), randomBytes(size, static_cast<unsigned>(size + 7)));
        if (!extras) return;
        std::string every;
        for (int k = 0; k < 3; k++)
            for (int c = 0; c < 256; c++) every.push_back(static_cast<char>(c));
        add("every byte value", every);
        add("big random.bin", randomBytes(big, 77));
    }
    void add(const std::string &name, const std::string &data) {
        names.push_back(name);
        contents.push_back(data);
        writeFile(src.file(name), data);
    }
    std::string quotedNames() const {
        std::string s;
        for (auto &n : names) s += " " + shellQuote(n);
        return s;
    }
    std::vector<std::string> paths() const {
        std::vector<std::string> p;
        for (auto &n : names) p.push_back(src.file(n));
        return p;
    }
    void expectIn(const std::string &dir) const {
        for (size_t i = 0; i < names.size(); i++)
            EXPECT_TRUE(sameBytes(readFile(dir + "/" + names[i]), contents[i])) << names[i];
    }
};

TEST(Ymodem, BatchFromSb) {
    for (LONG protocol : {VORLEX_PROTOCOL_YMODEM, VORLEX_PROTOCOL_YMODEM_G}) {
        SCOPED_TRACE(protocol);
        Batch batch;
        TempDir dst;
        // With "G" sb streams; with "C" it waits for each ACK.
        PeerProgram peer(kCom, "sb -k" + batch.quotedNames(), batch.src.path());
        OurPort port;
        EXPECT_EQ(Func123(kPort, nullptr, protocol, dst.path().c_str(), nullptr), 0);
        EXPECT_EQ(peer.wait(20000), 0) << peer.log();
        batch.expectIn(dst.path());
    }
}

TEST(Ymodem, BatchToRb) {
    // rb never asks for -G: our Ymodem-G sender falls back to acknowledged blocks.
    for (LONG protocol : {VORLEX_PROTOCOL_YMODEM, VORLEX_PROTOCOL_YMODEM_G}) {
        SCOPED_TRACE(protocol);
        // rb, like rx, waits a second after each EOT: fewer files here.
        Batch batch = protocol == VORLEX_PROTOCOL_YMODEM ? Batch(kFewSizes, true, 1024 * 1024 + 3) : Batch({1025}, false);
        TempDir dst;
        Gate gate;
        PeerProgram peer(kCom, gate.wait() + "rb", dst.path());
        OurPort port;
        Recorder rec(kPort);
        EXPECT_EQ(sendFiles(protocol, batch.paths(), rec, gate), 0);
        EXPECT_EQ(peer.wait(20000), 0) << peer.log();
        batch.expectIn(dst.path());
    }
}

TEST(Cancel, OurReceiverStopsSb) {
    TempDir src, dst;
    writeFile(src.file("long"), randomBytes(4 * 1024 * 1024, 3));
    PeerProgram peer(kCom, "sb -k long", src.path());
    OurPort port;
    Recorder rec(kPort);
    rec.stopAtBytes = 64 * 1024;
    EXPECT_EQ(Func123(kPort, nullptr, VORLEX_PROTOCOL_YMODEM, dst.path().c_str(), nullptr),
              VORLEX_TRANSFER_REMOTE_CANCEL);
    int status = peer.wait(15000);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1) << "sb must end after the cancel";
    EXPECT_LT(readFile(dst.file("long")).size(), 4u * 1024 * 1024);
}

TEST(Cancel, OurSenderStopsRb) {
    TempDir src, dst;
    std::string data = randomBytes(4 * 1024 * 1024, 4);
    writeFile(src.file("long"), data);
    Gate gate;
    PeerProgram peer(kCom, gate.wait() + "rb", dst.path());
    OurPort port;
    Recorder rec(kPort);
    rec.stopAtBytes = 64 * 1024;
    EXPECT_EQ(sendFiles(VORLEX_PROTOCOL_YMODEM, {src.file("long")}, rec, gate), VORLEX_TRANSFER_CANCELLED);
    int status = peer.wait(15000);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1) << "rb must end after the cancel";
}

TEST(Cancel, SxInterruptedPartWay) {
    TempDir src, dst;
    writeFile(src.file("long"), randomBytes(8 * 1024 * 1024, 5));
    PeerProgram peer(kCom, "sx -k long", src.path());
    OurPort port;
    Recorder rec(kPort);
    LONG result = -1;
    std::thread rx([&] { result = Func123(kPort, nullptr, VORLEX_PROTOCOL_XMODEM_1K, dst.path().c_str(), "out"); });
    rec.waitFor(kReceivingFile, 5000);
    while (rec.lastBytes() < 32 * 1024) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    peer.interrupt();
    rx.join();
    // Either lrzsz's CANs arrive first (the sender cancelled) or the line
    // is gone (its terminal closed: carrier lost); never a hang or success.
    EXPECT_TRUE(result == VORLEX_TRANSFER_CANCELLED || result == VORLEX_TRANSFER_CARRIER_LOST) << result;
}

} // namespace

namespace {

// One bit in 100,000 flipped by the line simulator: both directions end
// with identical files.
testsupport::LineOptions noisy() {
    testsupport::LineOptions line;
    line.bitErrorInterval = 100000;
    line.seed = 5;
    return line;
}

// lrzsz's receivers take about two seconds to recover from each damaged
// block: they get smaller files than ours.
TEST(Noise, YmodemFromSb) {
    {
        Batch batch({300 * 1024}, false);
        TempDir dst;
        PeerProgram peer(kCom, "sb -k" + batch.quotedNames(), batch.src.path(), noisy());
        OurPort port;
        EXPECT_EQ(Func123(kPort, nullptr, VORLEX_PROTOCOL_YMODEM, dst.path().c_str(), nullptr), 0);
        EXPECT_EQ(peer.wait(60000), 0) << peer.log();
        batch.expectIn(dst.path());
    }
}

TEST(Noise, YmodemToRb) {
    {
        Batch batch({40 * 1024}, false);
        TempDir dst;
        Gate gate;
        PeerProgram peer(kCom, gate.wait() + "rb", dst.path(), noisy());
        OurPort port;
        Recorder rec(kPort);
        EXPECT_EQ(sendFiles(VORLEX_PROTOCOL_YMODEM, batch.paths(), rec, gate), 0);
        EXPECT_EQ(peer.wait(60000), 0) << peer.log();
        batch.expectIn(dst.path());
    }
}

TEST(Noise, XmodemFromSxAndToRx) {
    TempDir src;
    std::string data = randomBytes(30 * 1024, 6);
    writeFile(src.file("in"), data);
    {
        TempDir dst;
        PeerProgram peer(kCom, "sx -k in", src.path(), noisy());
        OurPort port;
        EXPECT_EQ(Func123(kPort, nullptr, VORLEX_PROTOCOL_XMODEM_1K, dst.path().c_str(), "out"), 0);
        EXPECT_EQ(peer.wait(60000), 0) << peer.log();
        EXPECT_TRUE(xmodemFile(readFile(dst.file("out")), data));
    }
    {
        TempDir dst;
        Gate gate;
        PeerProgram peer(kCom, gate.wait() + "rx -c out", dst.path(), noisy());
        OurPort port;
        Recorder rec(kPort);
        EXPECT_EQ(sendFiles(VORLEX_PROTOCOL_XMODEM, {src.file("in")}, rec, gate), 0);
        EXPECT_EQ(peer.wait(60000), 0) << peer.log();
        EXPECT_TRUE(xmodemFile(readFile(dst.file("out")), data));
    }
}

TEST(Noise, YmodemGFromSbStopsWithSeven) {
    Batch batch({1024 * 1024}, false);
    TempDir dst;
    PeerProgram peer(kCom, "sb -k" + batch.quotedNames(), batch.src.path(), noisy());
    OurPort port;
    EXPECT_EQ(Func123(kPort, nullptr, VORLEX_PROTOCOL_YMODEM_G, dst.path().c_str(), nullptr),
              VORLEX_TRANSFER_BLOCK_ERRORS);
}

} // namespace
