// Each block protocol's sender and receiver against a far end that goes
// silent mid-file (it reads on, it never answers): the transfer fails with
// "no answer" within its waits. The cases run side by side, one null-modem
// pair each, so the suite waits for the slowest only.
#include "harness.h"
#include "support.h"

#include <chrono>
#include <cstdio>

using namespace blocktest;
using testsupport::TempDir;
using Clock = std::chrono::steady_clock;

namespace {

// The far end's words in turn, each followed by the answer it waits for
// (its length); after the last one it reads on without a word.
struct Step {
    std::string words;
    size_t answer;
};
struct Silence {
    const char *what;
    LONG protocol;
    bool upload;             // the library sends, else it receives
    std::vector<Step> script;
    double limit;            // seconds from the silence to the failure
};

const std::string kData = randomBytes(5000, 11);

std::string nameBlock(const char *name) {
    std::string d = std::string(name) + '\0' + "5000 0";
    d.resize(128, '\0');
    return makeBlock(0, d, true);
}

const Silence kCases[] = {
    // Senders: the start byte, block 1 taken, then no ACK (60 s of replies).
    {"XmodemSender", VORLEX_PROTOCOL_XMODEM, true, {{"C", 133}}, 100},
    {"YmodemSender", VORLEX_PROTOCOL_YMODEM, true, {{"C", 133}, {"\x06" "C", 1029}}, 100},
    // Receivers: their start byte, block 1 (Ymodem: the name first), then
    // nothing more (10 tries of 10 s for Xmodem, of 6 s for the others).
    {"XmodemReceiver", VORLEX_PROTOCOL_XMODEM, false, {{"", 1}, {makeBlock(1, kData.substr(0, 128), true), 1}}, 150},
    {"YmodemReceiver", VORLEX_PROTOCOL_YMODEM, false,
     {{"", 1}, {nameBlock("y.bin"), 2}, {makeBlock(1, kData.substr(0, 1024), true), 1}}, 100},
    {"YmodemGReceiver", VORLEX_PROTOCOL_YMODEM_G, false,
     {{"", 1}, {nameBlock("g.bin"), 2}, {makeBlock(1, kData.substr(0, 1024), true), 0}}, 100},
};

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

void runCase(const Silence &c, int com) {
    SCOPED_TRACE(c.what);
    Pair pair(com, com + 1);
    TempDir dir;
    writeFile(dir.file("up.bin"), kData);
    Recorder rec(pair.a());
    std::atomic<LONG> result{-1};
    std::atomic<bool> done{false};
    std::thread library([&] {
        result = c.upload ? Func069(pair.a(), nullptr, c.protocol, nullptr, dir.file("up.bin").c_str(), 0)
                          : Func123(pair.a(), nullptr, c.protocol, dir.path().c_str(), "x.bin");
        done = true;
    });
    // A start byte sent before the sender waits for it would be lost; a
    // receiver speaks first anyway (the script then only reads).
    if (c.upload) {
        EXPECT_TRUE(rec.waitFor(kWaitingForReceiver, 5000));
    }
    for (const Step &step : c.script) {
        sendBytes(pair.b(), step.words);
        EXPECT_EQ(step.answer, readBytes(pair.b(), step.answer, 10000).size()) << "after " << step.words.size();
    }
    const auto silentFrom = Clock::now();
    while (!done && secondsSince(silentFrom) < 2 * c.limit) readBytes(pair.b(), 4096, 200);
    const double took = secondsSince(silentFrom);
    if (!done) Func122(pair.a(), 7); // stops an engine that would wait on
    library.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(VORLEX_TRANSFER_NO_ANSWER, result.load());
    EXPECT_LT(took, c.limit);
}

TEST(BlockSilence, EachSideGivesUpOnASilentPeer) {
    std::vector<std::thread> cases;
    int com = 161;
    for (const Silence &c : kCases) {
        cases.emplace_back(runCase, std::cref(c), com);
        com += 2;
    }
    for (std::thread &t : cases) t.join();
}

} // namespace
