// Figures, not checks (run by name: vorlex_wintests bench_): Zmodem through
// vorlex.h into rz and from sz, 10 MB over a pseudo-terminal, beside sz -> rz
// over the same kind of line; one-byte reads of queued data.
#include "check.h"
#include "peer.h"

#include <vorlex.h>

#include <cstdlib>
#include <string>

namespace {

constexpr DWORD kOwner = 0xB0;
constexpr int kCom = 2;
const LONG kPort = peer::portOf(kCom);
constexpr DWORD kSize = 10 * 1000 * 1000;

bool started;
std::string peerDir;
LONG WINAPI gate(LONG, LONG, LPCSTR, DWORD, DWORD, DWORD, DWORD, LONG status) {
    if (status == 12 && !started) {
        started = true;
        peer::run(kCom, peerDir, "rz -y -q");
    }
    return 0;
}

void openPort() {
    CHECK_EQ(Func041(kPort, kOwner), VORLEX_OPEN_OK);
    Func001(kPort, 115200, NOPARITY, 8, 1);
    Func090(kPort, 1, 1, 0, 1, 60);
    peer::drain(kCom);
}

double rate(DWORD ms) { return ms ? kSize / 1000.0 / ms : 0; } // MB/s

} // namespace

CASE(bench_zmodem) {
    std::string src = peer::work(), dst = peer::work();
    CHECK(peer::writeFile(peer::local(src + "/ten.bin"), peer::pattern(kSize, 11)));
    // Through the library, into rz.
    openPort();
    started = false;
    peerDir = dst;
    Func085(kPort, gate);
    DWORD start = GetTickCount();
    CHECK_EQ(Func037(kPort, nullptr, peer::local(src).c_str(), "ten.bin", 0), 0);
    CHECK_EQ(Func037(kPort, nullptr, nullptr, nullptr, -1), 0);
    CHECK_EQ(peer::wait(kCom, 120000), 0);
    DWORD toRz = GetTickCount() - start;
    Func085(kPort, nullptr);
    CHECK_EQ(peer::readFile(peer::local(dst + "/ten.bin")).size(), static_cast<size_t>(kSize));
    // From sz, through the library.
    std::string in = peer::work();
    start = GetTickCount();
    peer::run(kCom, src, "sz -q ten.bin");
    CHECK_EQ(Func024(kPort, nullptr, peer::local(in).c_str()), 0);
    CHECK_EQ(peer::wait(kCom, 120000), 0);
    DWORD fromSz = GetTickCount() - start;
    Func122(kPort, kOwner);
    // sz -> rz over the same kind of line.
    std::string base = peer::work();
    std::string reply = peer::request("baseline 2 " + src + " sz -q ten.bin | cd " + base + " && rz -y -q");
    DWORD baseMs = std::strtoul(reply.c_str() + 3, nullptr, 10);
    CHECK_EQ(peer::readFile(peer::local(base + "/ten.bin")).size(), static_cast<size_t>(kSize));
    std::printf("  baseline: %s\n", reply.c_str());
    std::printf("  zmodem 10 MB: library -> rz %lu ms (%.2f MB/s), sz -> library %lu ms (%.2f MB/s), "
                "sz -> rz %lu ms (%.2f MB/s); ratios %.2f and %.2f\n",
                toRz, rate(toRz), fromSz, rate(fromSz), baseMs, rate(baseMs), baseMs ? double(toRz) / baseMs : 0,
                baseMs ? double(fromSz) / baseMs : 0);
}

CASE(bench_one_byte_reads) {
    openPort();
    // Under Wine the receive queue is the kernel's tty buffer (4 KB on
    // Linux), so the bytes are queued in rounds that fit it.
    const LONG count = 4000, rounds = 25;
    std::string data = peer::pattern(count, 2);
    Func012(nullptr, 5);
    Func023(kPort); // whatever an earlier case left on the line
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    LONGLONG ticks = 0;
    LONG good = 0;
    for (LONG round = 0; round < rounds; round++) {
        peer::send(kCom, data);
        for (int i = 0; i < 100 && Func062(kPort) < count; i++) Func012(nullptr, 1);
        CHECK_EQ(Func062(kPort), count);
        QueryPerformanceCounter(&a);
        for (LONG i = 0; i < count; i++)
            if (Func026(kPort) == static_cast<unsigned char>(data[i])) good++;
        QueryPerformanceCounter(&b);
        ticks += b.QuadPart - a.QuadPart;
    }
    CHECK_EQ(good, count * rounds);
    double ns = ticks * 1e9 / f.QuadPart / (count * rounds);
    std::printf("  one-byte reads of queued data (Func026): %.0f ns a byte\n", ns);
    Func122(kPort, kOwner);
}
