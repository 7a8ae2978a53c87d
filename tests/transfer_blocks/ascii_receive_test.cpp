// The ASCII receiver against a host that sends by hand: how the stream
// ends (SUB, CAN, silence), what lands in the file, and how soon the call
// returns. A CAN ends the file at once (as the end of the stream, the way
// this protocol has always ended): it is not stored, nor anything after it.
#include "harness.h"
#include "support.h"

#include <chrono>

using namespace blocktest;
using testsupport::TempDir;
using testsupport::readFile;
using Clock = std::chrono::steady_clock;

namespace {

const std::string CAN = "\x18", SUB = "\x1A";
const std::string kCancel = std::string(10, '\x18') + std::string(10, '\x08');
const std::string kText = "first line\r\nsecond line\r\n";

struct Ending {
    const char *what;
    std::string sent;   // after the receiver's CR
    std::string file;   // what the file must hold
    LONG result;
    LONG status;        // the progress callback's last word
    double within;      // seconds from the last byte sent
};

std::string noCanOrSub(std::string s) {
    for (char &c : s)
        if (c == '\x18' || c == '\x1A') c = '.';
    return s;
}

// More than two buffers of 1024.
const std::string kData = noCanOrSub(randomBytes(3000, 5));

const Ending kEndings[] = {
    {"SubIsStoredAndEnds", kText + SUB + "after", kText + SUB, 0, kCompleted, 2},
    {"CanEndsAtOnceAndIsNotStored", kText + CAN + "more text", kText, 0, kCompleted, 2},
    {"CancelSequenceEndsAtOnce", kText + kCancel + "more text", kText, 0, kCompleted, 2},
    {"CanAfterTwoFullBuffers", kData + CAN + "more", kData, 0, kCompleted, 2},
    // The first byte is data whatever it is.
    {"LeadingCanIsData", CAN + "abc" + SUB, CAN + "abc" + SUB, 0, kCompleted, 2},
    {"SilenceEndsAfterFourSeconds", "abc", "abc", 0, kCompleted, 6},
};

class AsciiEnding : public ::testing::TestWithParam<Ending> {};

TEST_P(AsciiEnding, FileHoldsWhatCameBeforeTheEnd) {
    const Ending &c = GetParam();
    Pair pair(201, 202);
    TempDir dir;
    Recorder rec(pair.b());
    std::atomic<LONG> result{-1};
    std::atomic<bool> done{false};
    std::thread receiver([&] {
        result = Func123(pair.b(), nullptr, VORLEX_PROTOCOL_ASCII, dir.path().c_str(), "got.txt");
        done = true;
    });
    EXPECT_EQ(readBytes(pair.a(), 1, 5000), "\r") << "the receiver greets the host";
    sendBytes(pair.a(), c.sent);
    const auto sentAt = Clock::now();
    while (!done && Clock::now() - sentAt < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const double took = std::chrono::duration<double>(Clock::now() - sentAt).count();
    if (!done) Func122(pair.b(), 7); // ends a receive that would wait on
    receiver.join();
    EXPECT_LT(took, c.within);
    EXPECT_EQ(result.load(), c.result);
    EXPECT_TRUE(sameBytes(readFile(dir.file("got.txt")), c.file));
    std::vector<Recorder::Call> calls = rec.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().status, c.status);
}

INSTANTIATE_TEST_SUITE_P(Ascii, AsciiEnding, ::testing::ValuesIn(kEndings),
                         [](const auto &info) { return std::string(info.param.what); });

} // namespace
