// Our sender against our receiver: keyed headers and CRC-16 (which lrzsz
// cannot show), through a relay that edits the receiver's headers; and the
// carrier dropping part-way on a null-modem pair.
#include "zframes.h"
#include "support.h"

#include <vorlex.h>
#include <winapi_ext.h>

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <thread>

using namespace zf;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

std::string randomData(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto &c : s) c = static_cast<char>(rng());
    return s;
}

void writeData(const std::string &path, const std::string &data) {
    FILE *f = std::fopen(path.c_str(), "wb");
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

void writeAll(int fd, const std::string &s) {
    size_t off = 0;
    while (off < s.size()) {
        ssize_t w = ::write(fd, s.data() + off, s.size() - off);
        if (w > 0)
            off += static_cast<size_t>(w);
        else {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 50);
        }
    }
}

// Relays sender <-> receiver; the receiver's hex headers pass through edit().
class Relay {
public:
    template <class Edit> Relay(int senderMaster, int receiverMaster, Edit edit) {
        thread_ = std::thread([=, this] {
            std::string pending;
            while (!stop_) {
                pollfd fds[2] = {{senderMaster, POLLIN, 0}, {receiverMaster, POLLIN, 0}};
                if (poll(fds, 2, 50) <= 0) continue;
                char buf[65536];
                if (fds[0].revents & POLLIN) {
                    ssize_t n = ::read(senderMaster, buf, sizeof buf);
                    if (n > 0) {
                        std::string chunk(buf, static_cast<size_t>(n));
                        countForms(chunk);
                        writeAll(receiverMaster, chunk);
                    }
                }
                if (fds[1].revents & POLLIN) {
                    ssize_t n = ::read(receiverMaster, buf, sizeof buf);
                    if (n > 0) pending.append(buf, static_cast<size_t>(n));
                    // Whole hex headers are edited; anything else passes.
                    std::string out;
                    size_t pos = 0;
                    for (;;) {
                        size_t at = pending.find("**\x18", pos);
                        if (at == std::string::npos) {
                            out += pending.substr(pos);
                            pending.clear();
                            break;
                        }
                        size_t end = pending.find("\r\n", at);
                        if (end == std::string::npos) {
                            out += pending.substr(pos, at - pos);
                            pending = pending.substr(at);
                            break;
                        }
                        out += pending.substr(pos, at - pos);
                        size_t p = at;
                        Frame f = nextHeader(pending, p);
                        out += f.type >= 0 ? edit(f) : pending.substr(at, end + 2 - at);
                        pos = f.type >= 0 ? p : end + 2;
                    }
                    writeAll(senderMaster, out);
                }
            }
        });
    }
    ~Relay() {
        stop_ = true;
        thread_.join();
    }
    int keyedFrames() const { return keyed_; }
    int crc16Frames() const { return crc16_; }
    int crc32Frames() const { return crc32_; }

private:
    void countForms(const std::string &chunk) {
        // Headers may straddle two reads: keep the last two bytes.
        std::string s = tail_ + chunk;
        tail_ = s.size() >= 2 ? s.substr(s.size() - 2) : s;
        for (size_t i = 0; i + 2 < s.size(); i++) {
            if (s[i] != '*' || s[i + 1] != '\x18') continue;
            char f = s[i + 2];
            if (f == '3') keyed_++;
            if (f == 'a' || f == 'A') crc16_++;
            if (f == 'c' || f == 'C') crc32_++;
        }
    }
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> keyed_{0}, crc16_{0}, crc32_{0};
    std::string tail_;
};

struct Pair {
    testsupport::PtyPort *a = nullptr, *b = nullptr;
    LONG sender = 15, receiver = 16;
    Pair() {
        a = new testsupport::PtyPort(sender + 1);
        okA = Func041(sender, 3) == 0;
        b = new testsupport::PtyPort(receiver + 1);
        okB = Func041(receiver, 3) == 0;
        Func090(sender, 1, 0, 0, 0, 60);
        Func090(receiver, 1, 0, 0, 0, 60);
    }
    ~Pair() {
        Func122(sender, 3);
        Func122(receiver, 3);
        delete b;
        delete a;
    }
    bool okA = false, okB = false;
};

// Sends data through the relay; the sender's and receiver's results.
void transfer(Pair &p, const std::string &data, LONG *sent, LONG *received, TempDir &in, TempDir &out) {
    writeData(in.file("p.bin"), data);
    std::thread rx([&] { *received = Func024(p.receiver, nullptr, out.path().c_str()); });
    LONG r = Func037(p.sender, nullptr, in.path().c_str(), "p.bin", 0);
    Func037(p.sender, nullptr, nullptr, nullptr, -1);
    *sent = r;
    rx.join();
}

TEST(ZmodemPairs, KeyedHeadersBetweenOurSenderAndReceiver) {
    TempDir in, out;
    Pair p;
    ASSERT_TRUE(p.okA && p.okB);
    // The receiver's ZRPOS comes to the sender as a variable header whose
    // last byte asks for keyed headers.
    Relay relay(p.a->master(), p.b->master(), [](const Frame &f) {
        if (f.type == ZRPOS) return hexHeader(ZRPOS, f.data.substr(0, 4) + '\x01', /*variable=*/true);
        return f.raw;
    });
    const std::string data = randomData(50000, 1);
    LONG sent = -1, received = -1;
    transfer(p, data, &sent, &received, in, out);
    EXPECT_EQ(0, sent);
    EXPECT_EQ(0, received);
    EXPECT_TRUE(readFile(out.file("p.bin")) == data);
    // ZDATA and ZEOF went keyed, and the receiver took them.
    EXPECT_GE(relay.keyedFrames(), 2);
}

TEST(ZmodemPairs, Crc16WhenTheReceiverCannotTakeCrc32) {
    TempDir in, out;
    Pair p;
    ASSERT_TRUE(p.okA && p.okB);
    Relay relay(p.a->master(), p.b->master(), [](const Frame &f) {
        if (f.type != ZRINIT) return f.raw;
        std::string d = f.data;
        d[3] = 1; // full duplex only: no CRC-32
        return hexHeader(ZRINIT, d, f.format == 'b');
    });
    const std::string data = randomData(30000, 2) + std::string(300, '\x18');
    LONG sent = -1, received = -1;
    transfer(p, data, &sent, &received, in, out);
    EXPECT_EQ(0, sent);
    EXPECT_EQ(0, received);
    EXPECT_TRUE(readFile(out.file("p.bin")) == data);
    EXPECT_GE(relay.crc16Frames(), 3);
    EXPECT_EQ(0, relay.crc32Frames());
}

// Carrier on a null-modem pair: each end's DTR is the other's carrier.
std::atomic<LONG> g_stopPort{-1};
std::atomic<unsigned> g_senderBytes{0};
LONG WINAPI pairCallback(LONG port, LONG, LPCSTR, DWORD, DWORD bytes, DWORD, DWORD, LONG) {
    if (port == 17) g_senderBytes = bytes;
    return port == g_stopPort ? 1 : 0;
}

void carrierDrop(bool receiverDrops) {
    WAPI_LINE_OPTIONS line{};
    line.bytesPerSecond = 200000;
    ASSERT_TRUE(WapiCreateNullModemPair("COM18", "COM19", &line));
    const LONG tx = 17, rx = 18;
    ASSERT_EQ(0, Func041(tx, 4));
    ASSERT_EQ(0, Func041(rx, 4));
    Func056(tx, 1);
    Func056(rx, 1);
    Func090(tx, 1, 0, 0, 0, 60);
    Func090(rx, 1, 0, 0, 0, 60);
    Func085(tx, pairCallback);
    Func085(rx, pairCallback);
    g_stopPort = -1;
    g_senderBytes = 0;
    TempDir in, out;
    writeData(in.file("c.bin"), randomData(1000000, 3));
    LONG received = -1;
    std::thread rxThread([&] { received = Func024(rx, nullptr, out.path().c_str()); });
    std::thread dropper([&] {
        while (g_senderBytes < 100000) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Func056(receiverDrops ? rx : tx, 0);
    });
    auto start = std::chrono::steady_clock::now();
    LONG sent = Func037(tx, nullptr, in.path().c_str(), "c.bin", 0);
    dropper.join();
    if (receiverDrops) {
        // The sender sees its carrier go; the receiver is then stopped.
        EXPECT_EQ(VORLEX_TRANSFER_CARRIER_LOST, sent);
        g_stopPort = rx;
        rxThread.join();
        EXPECT_EQ(VORLEX_TRANSFER_REMOTE_CANCEL, received);
    } else {
        rxThread.join();
        EXPECT_EQ(VORLEX_TRANSFER_CARRIER_LOST, received);
        EXPECT_NE(0, sent);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    g_stopPort = tx;
    Func037(tx, nullptr, nullptr, nullptr, -1);
    Func122(tx, 4);
    Func122(rx, 4);
    WapiDestroyNullModemPair("COM18");
}

TEST(ZmodemPairs, CarrierDropsUnderTheSender) { carrierDrop(true); }
TEST(ZmodemPairs, CarrierDropsUnderTheReceiver) { carrierDrop(false); }

// Our two ends on a paced null-modem line: the sender's acknowledgement
// window and the receiver's answers keep the line busy, with no time-outs.
std::atomic<int> g_pacedErrors{0};
LONG WINAPI pacedCallback(LONG, LONG, LPCSTR, DWORD, DWORD, DWORD, DWORD errors, LONG) {
    if (errors > 0) g_pacedErrors = static_cast<int>(errors);
    return 0;
}

TEST(ZmodemPairs, PacedNullModemLineRunsWithoutTimeOuts) {
    for (unsigned rate : {150000u, 400000u}) {
        WAPI_LINE_OPTIONS line{};
        line.bytesPerSecond = rate;
        const std::string a = "COM" + std::to_string(rate == 150000 ? 31 : 33);
        const std::string b = "COM" + std::to_string(rate == 150000 ? 32 : 34);
        ASSERT_TRUE(WapiCreateNullModemPair(a.c_str(), b.c_str(), &line));
        const LONG tx = rate == 150000 ? 30 : 32, rx = tx + 1;
        ASSERT_EQ(0, Func041(tx, 4));
        ASSERT_EQ(0, Func041(rx, 4));
        Func090(tx, 1, 0, 0, 0, 60);
        Func090(rx, 1, 0, 0, 0, 60);
        Func085(tx, pacedCallback);
        g_pacedErrors = 0;
        TempDir in, out;
        const std::string data = randomData(400000, 11);
        writeData(in.file("p.bin"), data);
        LONG received = -1;
        std::thread rxThread([&] { received = Func024(rx, nullptr, out.path().c_str()); });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(0, Func037(tx, nullptr, in.path().c_str(), "p.bin", 0)) << rate;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(0, Func037(tx, nullptr, nullptr, nullptr, -1));
        rxThread.join();
        EXPECT_EQ(0, received);
        EXPECT_EQ(0, g_pacedErrors.load()) << rate;
        // About four seconds of waiting for the receiver, then the line's time.
        EXPECT_LT(seconds, 4.5 + 1.3 * static_cast<double>(data.size()) / rate) << rate;
        EXPECT_TRUE(readFile(out.file("p.bin")) == data);
        Func122(tx, 4);
        Func122(rx, 4);
        WapiDestroyNullModemPair(a.c_str());
    }
}

// A far line (150 ms each way) runs without a time-out, and one bit in
// 10,000 flipped both ways still ends with the same file at both ends.
struct HardLine {
    const char *what;
    WAPI_LINE_OPTIONS line;
    size_t size;
    bool clean; // no errors counted
};

class ZmodemHardLines : public ::testing::TestWithParam<HardLine> {};

TEST_P(ZmodemHardLines, SameFileAtBothEnds) {
    const HardLine c = GetParam();
    ASSERT_TRUE(WapiCreateNullModemPair("COM41", "COM42", &c.line));
    const LONG tx = 40, rx = 41;
    ASSERT_EQ(0, Func041(tx, 4));
    ASSERT_EQ(0, Func041(rx, 4));
    Func090(tx, 1, 0, 0, 0, 60);
    Func090(rx, 1, 0, 0, 0, 60);
    Func085(tx, pacedCallback);
    g_pacedErrors = 0;
    TempDir in, out;
    const std::string data = randomData(c.size, 12);
    writeData(in.file("h.bin"), data);
    LONG received = -1;
    std::thread rxThread([&] { received = Func024(rx, nullptr, out.path().c_str()); });
    EXPECT_EQ(0, Func037(tx, nullptr, in.path().c_str(), "h.bin", 0));
    EXPECT_EQ(0, Func037(tx, nullptr, nullptr, nullptr, -1));
    rxThread.join();
    EXPECT_EQ(0, received);
    if (c.clean) EXPECT_EQ(0, g_pacedErrors.load());
    EXPECT_TRUE(readFile(out.file("h.bin")) == data);
    Func122(tx, 4);
    Func122(rx, 4);
    WapiDestroyNullModemPair("COM41");
}

INSTANTIATE_TEST_SUITE_P(Lines, ZmodemHardLines,
                         ::testing::Values(HardLine{"far", {115200, 150, 0, 0}, 100000, true},
                                           HardLine{"noisy", {115200, 0, 10000, 7}, 100000, false}),
                         [](const ::testing::TestParamInfo<HardLine> &i) { return std::string(i.param.what); });

} // namespace
