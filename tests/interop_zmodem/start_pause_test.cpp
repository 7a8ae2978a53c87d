// The "Waiting For Receiver" pause before the first file: kept while no
// receiver has spoken, ended by a receiver's ZRINIT, which is then the
// answer to our ZRQINIT (the wire is otherwise as before).
#include "helpers.h"
#include "zframes.h"

#include <gtest/gtest.h>
#include <winapi_ext.h>

#include <chrono>
#include <thread>

using namespace testsupport;
using namespace ztest;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Reads port until what it got holds text, at most ms; what it got.
std::string readUntil(LONG port, const std::string &text, int ms) {
    std::string got;
    const auto start = Clock::now();
    char buf[4097];
    while (got.find(text) == std::string::npos && secondsSince(start) * 1000 < ms) {
        LONG n = Func015(port, buf, 4096);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
        else std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return got;
}

struct Prelude {
    const char *what;
    std::string queued; // what the receiver's side said before the upload started
    bool paused;         // the full pause comes before "rz\r"
};

const std::string kFlags = std::string(3, '\0') + '\x23'; // CANFDX CANOVIO CANFC32

const Prelude kPreludes[] = {
    {"NothingQueued", "", true},
    {"NoiseQueued", "login: \r\n**\x18" "B00", true}, // a ZRQINIT's start is no ZRINIT
    {"HexZrinitQueued", "noise" + zf::hexHeader(zf::ZRINIT, kFlags), false},
    {"BinaryZrinitQueued", zf::binHeader(zf::ZRINIT, kFlags), false},
};

class StartPause : public ::testing::TestWithParam<Prelude> {};

TEST_P(StartPause, EndsOnlyWhenAReceiverHasSaidZrinit) {
    const Prelude c = GetParam();
    ASSERT_TRUE(WapiCreateNullModemPair("COM61", "COM62", nullptr));
    const LONG ours = 60, peer = 61;
    ASSERT_EQ(Func041(ours, 3), 0);
    ASSERT_EQ(Func041(peer, 3), 0);
    Func090(ours, 1, 0, 0, 0, 60);
    TempDir dir;
    writeFile(dir.file("p.bin"), randomBytes(100, 3));
    if (!c.queued.empty()) Func022(peer, c.queued.data(), static_cast<LONG>(c.queued.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto start = Clock::now();
    std::thread upload([&] { Func037(ours, nullptr, nullptr, dir.file("p.bin").c_str(), 0); });
    std::string got = readUntil(peer, "rz\r", 6000);
    const double took = secondsSince(start);
    ASSERT_NE(got.find("rz\r"), std::string::npos);
    if (c.paused) {
        EXPECT_GT(took, 3.5);
    } else {
        EXPECT_LT(took, 1.0);
        // Our ZRINIT was kept for the ZRQINIT's answer: the offer follows
        // without another word from us.
        got += readUntil(peer, "*\x18" "C\x04", 3000);
        EXPECT_NE(got.find(zf::hexHeader(zf::ZRQINIT, 0).substr(0, 14)), std::string::npos);
        EXPECT_NE(got.find("*\x18" "C\x04"), std::string::npos) << "no ZFILE";
    }
    Func122(ours, 3); // stops the upload
    upload.join();
    Func122(peer, 3);
    EXPECT_TRUE(WapiDestroyNullModemPair("COM61"));
}

INSTANTIATE_TEST_SUITE_P(Zmodem, StartPause, ::testing::ValuesIn(kPreludes),
                         [](const auto &info) { return std::string(info.param.what); });

// rz started first: its ZRINIT waits on the line when the upload begins,
// and the first file goes without the four-second pause.
TEST(StartPauseLrzsz, UploadIntoARunningRzSkipsThePause) {
    TempDir src, dst;
    const std::string data = randomBytes(200000, 9);
    writeFile(src.file("quick.bin"), data);
    PeerProgram rz(23, "rz -y -q", dst.path());
    LibPort lib(23);
    ASSERT_TRUE(lib.ok());
    const auto heard = Clock::now();
    while (Func062(lib.port()) == 0 && secondsSince(heard) < 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GT(Func062(lib.port()), 0) << "rz said nothing";
    const auto start = Clock::now();
    EXPECT_EQ(0, Func037(lib.port(), nullptr, nullptr, src.file("quick.bin").c_str(), 0));
    const double took = secondsSince(start);
    EXPECT_EQ(0, Func037(lib.port(), nullptr, nullptr, nullptr, -1));
    EXPECT_LT(took, 3.0);
    EXPECT_EQ(0, rz.wait(10000)) << rz.log();
    EXPECT_TRUE(readFile(dst.file("quick.bin")) == data);
}

} // namespace
