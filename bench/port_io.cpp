// Throughput of the port layer's byte reads and block writes over a
// pseudo-terminal pair and a null-modem pair.
#include <benchmark/benchmark.h>
#include <vorlex.h>
#include <winapi_ext.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

const DWORD kOwner = 1;
const LONG kPort = 100;     // the library's end (COM101)
const LONG kPeerPort = 101; // the null-modem peer (COM102)
const size_t kChunk = 32000;

// The other end of the line, for either kind of pair.
struct Line {
    bool pty = false;
    int master = -1;
    std::string dir;

    explicit Line(bool usePty) : pty(usePty) {
        if (pty) {
            char tmpl[] = "/tmp/vorlex-bench-XXXXXX";
            dir = mkdtemp(tmpl);
            int slave;
            char name[128];
            termios raw{};
            cfmakeraw(&raw);
            openpty(&master, &slave, name, &raw, nullptr);
            termios mt;
            tcgetattr(master, &mt);
            cfmakeraw(&mt);
            tcsetattr(master, TCSANOW, &mt);
            close(slave);
            symlink(name, (dir + "/com101").c_str());
            setenv("VORLEX_COMDIR", dir.c_str(), 1);
        } else {
            WapiCreateNullModemPair("COM101", "COM102", nullptr);
            Func041(kPeerPort, kOwner);
        }
        Func041(kPort, kOwner);
        Func001(kPort, 115200, NOPARITY, 8, 1);
        if (!pty) Func001(kPeerPort, 115200, NOPARITY, 8, 1);
    }
    ~Line() {
        Func122(kPort, kOwner);
        if (pty) {
            close(master);
            unlink((dir + "/com101").c_str());
            rmdir(dir.c_str());
            unsetenv("VORLEX_COMDIR");
        } else {
            Func122(kPeerPort, kOwner);
            WapiDestroyNullModemPair("COM101");
        }
    }
    // Puts n bytes into the library end's receive queue.
    void fill(size_t n) {
        std::string data(n, 'r');
        if (pty) {
            size_t off = 0;
            while (off < n) {
                ssize_t w = write(master, data.data() + off, n - off);
                if (w > 0) off += static_cast<size_t>(w);
            }
        } else {
            Func022(kPeerPort, data.data(), static_cast<LONG>(n));
        }
        while (Func062(kPort) < static_cast<LONG>(n)) usleep(100);
    }
    // Reads everything the library end sends until stop is set.
    std::thread drainer(std::atomic<bool> &stop) {
        return std::thread([this, &stop] {
            std::vector<char> buf(65536);
            while (!stop.load()) {
                if (pty) {
                    pollfd p{master, POLLIN, 0};
                    if (poll(&p, 1, 20) > 0) (void)!read(master, buf.data(), buf.size());
                } else if (Func071(kPeerPort, buf.data()) == 0) {
                    Func110(kPeerPort, nullptr, 0);
                    usleep(50);
                }
            }
        });
    }
};

void readBytes(benchmark::State &state, bool pty, bool waiting) {
    Line line(pty);
    size_t total = 0;
    for (auto _ : state) {
        state.PauseTiming();
        line.fill(kChunk);
        state.ResumeTiming();
        for (size_t i = 0; i < kChunk; i++) {
            LONG b = waiting ? Func110(kPort, nullptr, 1) : Func026(kPort);
            benchmark::DoNotOptimize(b);
        }
        total += kChunk;
    }
    state.SetBytesProcessed(static_cast<int64_t>(total));
}

void writeMegabyte(benchmark::State &state, bool pty, bool single) {
    Line line(pty);
    std::string data(1 << 20, 'w');
    std::atomic<bool> stop{false};
    std::thread drain = line.drainer(stop);
    for (auto _ : state) {
        LONG n = single ? Func022(kPort, data.data(), static_cast<LONG>(data.size()))
                        : Func057(kPort, data.data(), static_cast<LONG>(data.size()));
        if (n != static_cast<LONG>(data.size())) state.SkipWithError("short write");
    }
    while (Func117(kPort) > 0) usleep(100);
    stop = true;
    drain.join();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}

void BM_Func026_Pty(benchmark::State &s) { readBytes(s, true, false); }
void BM_Func026_NullModem(benchmark::State &s) { readBytes(s, false, false); }
void BM_Func110_Pty(benchmark::State &s) { readBytes(s, true, true); }
void BM_Func110_NullModem(benchmark::State &s) { readBytes(s, false, true); }
void BM_Func022_1MB_Pty(benchmark::State &s) { writeMegabyte(s, true, true); }
void BM_Func022_1MB_NullModem(benchmark::State &s) { writeMegabyte(s, false, true); }
void BM_Func057_1MB_Pty(benchmark::State &s) { writeMegabyte(s, true, false); }
void BM_Func057_1MB_NullModem(benchmark::State &s) { writeMegabyte(s, false, false); }

BENCHMARK(BM_Func026_Pty)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Func026_NullModem)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Func110_Pty)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Func110_NullModem)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Func022_1MB_Pty)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Func022_1MB_NullModem)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Func057_1MB_Pty)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Func057_1MB_NullModem)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
