// Transfers through vorlex.h against lrzsz (behind pipes on COM3's other
// end): Zmodem, Ymodem, Ymodem-G, Xmodem and Xmodem-1K both ways, files
// compared byte for byte, the progress callback's reports, and a cancel by
// the callback that reaches the other end.
#include "check.h"
#include "peer.h"

#include <vorlex.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr DWORD kOwner = 0x77;
constexpr int kCom = 3;
const LONG kPort = peer::portOf(kCom);
constexpr LONG kNewFile = 1, kWaitingForReceiver = 12, kSendingFile = 15;

// What the callback saw, and the peer it starts once our sender waits
// (a sender empties the queues when it starts: a receiver's first request
// sent earlier would be lost).
struct Progress {
    std::map<std::string, DWORD> lastBytes, sizes;
    std::vector<LONG> statuses;
    std::string dir, command; // started when the sender waits
    DWORD stopAfter = 0;      // non-zero: stop once this many bytes went
    bool started = false;
} g;

LONG WINAPI progress(LONG, LONG nameLength, LPCSTR name, DWORD size, DWORD bytes, DWORD, DWORD, LONG status) {
    std::string n(name ? name : "", name ? static_cast<size_t>(nameLength) : 0);
    if (!n.empty()) {
        g.lastBytes[n] = bytes;
        g.sizes[n] = size;
    }
    g.statuses.push_back(status);
    if (status == kWaitingForReceiver && !g.started && !g.command.empty()) {
        g.started = true;
        peer::run(kCom, g.dir, g.command);
    }
    return g.stopAfter && bytes >= g.stopAfter ? 1 : 0;
}

struct Port {
    explicit Port(LONG resume = 1) {
        CHECK_EQ(Func041(kPort, kOwner), VORLEX_OPEN_OK);
        Func001(kPort, 115200, NOPARITY, 8, 1);
        // A pseudo-terminal has no modem lines; under Wine the modem status
        // cannot be read at all, so carrier is not watched.
        Func090(kPort, 1, resume, 0, 1, 60);
        Func085(kPort, progress);
        g = Progress();
        peer::drain(kCom);
    }
    ~Port() {
        Func085(kPort, nullptr);
        Func122(kPort, kOwner);
    }
};

struct Files {
    std::string src = peer::work(), dst = peer::work();
    std::vector<std::pair<std::string, std::string>> list; // name, bytes
    void add(const std::string &name, const std::string &data) {
        list.push_back({name, data});
        CHECK(peer::writeFile(peer::local(src + "/" + name), data));
    }
    std::string names() const {
        std::string out;
        for (auto &f : list) out += " " + f.first;
        return out;
    }
    void arrived(const char *how) const {
        for (auto &f : list) {
            std::string got = peer::readFile(peer::local(dst + "/" + f.first));
            if (!CHECK(got == f.second))
                std::printf("  %s: %s has %zu bytes, sent %zu\n", how, f.first.c_str(), got.size(), f.second.size());
        }
    }
};

Files zmodemFiles() {
    Files f;
    f.add("every.bin", peer::allBytes(70000)); // every byte value, the escaped ones among them
    f.add("text.txt", std::string(3000, 'x') + "\r\n\x18\x11\x13 end");
    f.add("one.bin", "1");
    return f;
}

} // namespace

CASE(transfer_zmodem_batch_to_rz) {
    Port port;
    Files f = zmodemFiles();
    g.dir = f.dst;
    g.command = "rz -y -q";
    LONG i = 0;
    for (auto &file : f.list) CHECK_EQ(Func037(kPort, nullptr, peer::local(f.src).c_str(), file.first.c_str(), i++), 0);
    CHECK_EQ(Func037(kPort, nullptr, nullptr, nullptr, -1), 0);
    CHECK_EQ(peer::wait(kCom, 20000), 0);
    f.arrived("to rz");
    for (auto &file : f.list) {
        CHECK_EQ(g.sizes[file.first], static_cast<DWORD>(file.second.size()));
        CHECK_EQ(g.lastBytes[file.first], static_cast<DWORD>(file.second.size()));
    }
    // Each file announced once, then its data reported while it went.
    CHECK_EQ(std::count(g.statuses.begin(), g.statuses.end(), kNewFile), static_cast<long>(f.list.size()));
    CHECK(std::count(g.statuses.begin(), g.statuses.end(), kSendingFile) >= static_cast<long>(f.list.size()));
}

CASE(transfer_zmodem_batch_from_sz) {
    Port port;
    Files f = zmodemFiles();
    peer::run(kCom, f.src, "sz -q" + f.names());
    CHECK_EQ(Func024(kPort, nullptr, peer::local(f.dst).c_str()), 0);
    CHECK_EQ(peer::wait(kCom, 20000), 0);
    f.arrived("from sz");
    CHECK_EQ(g.lastBytes["every.bin"], 70000UL);
}

CASE(transfer_zmodem_resume) {
    Port port(1);
    Files f;
    std::string data = peer::pattern(200000, 5);
    f.add("r.bin", data);
    CHECK(peer::writeFile(peer::local(f.dst + "/r.bin"), data.substr(0, 120000)));
    peer::run(kCom, f.src, "sz -q -r r.bin");
    CHECK_EQ(Func024(kPort, nullptr, peer::local(f.dst).c_str()), 0);
    CHECK_EQ(peer::wait(kCom, 20000), 0);
    f.arrived("resumed");
}

CASE(transfer_zmodem_cancel_by_callback) {
    Port port;
    Files f;
    f.add("long.bin", peer::pattern(3000000, 9));
    g.dir = f.dst;
    g.command = "rz -y -q";
    g.stopAfter = 100000;
    LONG r = Func037(kPort, nullptr, peer::local(f.src).c_str(), "long.bin", 0);
    CHECK(r == VORLEX_TRANSFER_CANCELLED || r == VORLEX_TRANSFER_REMOTE_CANCEL);
    Func037(kPort, nullptr, nullptr, nullptr, -1);
    // The cancel reached rz: it ends, and not with success.
    int status = peer::wait(kCom, 15000);
    CHECK(status > 0);
    if (status < 0) peer::kill(kCom);
}

namespace {

struct BlockCase {
    const char *name;
    LONG protocol;
    const char *sender;   // lrzsz's, sending to us
    const char *receiver; // lrzsz's, receiving from us
    bool batch;           // Ymodem: names travel
};

const BlockCase kBlockCases[] = {
    {"ymodem", VORLEX_PROTOCOL_YMODEM, "sb -k", "rb", true},
    {"ymodem-g", VORLEX_PROTOCOL_YMODEM_G, "sb -k", "rb", true},
    {"xmodem", VORLEX_PROTOCOL_XMODEM, "sx", "rx -c", false},
    {"xmodem-1k", VORLEX_PROTOCOL_XMODEM_1K, "sx -k", "rx -c", false},
};

void blockBothWays(const BlockCase &c) {
    // Xmodem pads the last block: sizes that fill their blocks compare whole.
    {
        Port port;
        Files f;
        f.add("a.bin", peer::allBytes(8192));
        if (c.batch) f.add("b.bin", peer::pattern(5000, 3));
        g.dir = f.dst;
        g.command = std::string(c.receiver) + (c.batch ? "" : " a.bin");
        LONG i = 0, r = 0;
        for (auto &file : f.list) {
            std::string path = peer::local(f.src + "/" + file.first);
            r = Func069(kPort, nullptr, c.protocol, nullptr, path.c_str(), i++);
            if (!CHECK_EQ(r, 0)) break;
        }
        CHECK_EQ(Func069(kPort, nullptr, c.protocol, nullptr, nullptr, -1), 0);
        CHECK_EQ(peer::wait(kCom, 20000), 0);
        f.arrived(c.name);
    }
    {
        Port port;
        Files f;
        f.add("c.bin", peer::pattern(c.batch ? 7777 : 4096, 4));
        if (c.batch) f.add("d.bin", peer::allBytes(2048));
        peer::run(kCom, f.src, std::string(c.sender) + f.names());
        CHECK_EQ(Func123(kPort, nullptr, c.protocol, peer::local(f.dst).c_str(), c.batch ? nullptr : "c.bin"), 0);
        CHECK_EQ(peer::wait(kCom, 20000), 0);
        f.arrived(c.name);
    }
}

} // namespace

CASE(transfer_ymodem_both_ways) { blockBothWays(kBlockCases[0]); }
CASE(transfer_ymodem_g_both_ways) { blockBothWays(kBlockCases[1]); }
CASE(transfer_xmodem_both_ways) { blockBothWays(kBlockCases[2]); }
CASE(transfer_xmodem_1k_both_ways) { blockBothWays(kBlockCases[3]); }
