// Zmodem benchmark: the library's sender and receiver against lrzsz's rz
// and sz, side by side on the same kind of pseudo-terminal line.
//
//   zmodem [--quick] [--runs N] [pty] [line] [noise] [wall] [far] [noisy]
//
// pty:   10 MB of random bytes over an unlimited pseudo-terminal line:
//        our sender into rz vs sz into rz, and sz into our receiver vs sz
//        into rz, as throughput ratios (>= 1.0: at least as fast as lrzsz).
// line:  1 MB through the line simulator at 11,520 bytes/s (115200 baud
//        8N1): efficiency = payload bytes per second / 11,520.
// noise: as line, with one bit in 100,000 flipped.
// wall:  10 MB over an unlimited pseudo-terminal into an rz that is already
//        running (its ZRINIT queued): our upload's wall time from the call,
//        pause included, beside sz -> rz from sz's start.
// far:   300,000 bytes at 11,520 bytes/s with 150 ms latency each way: our
//        sender into rz from the call (start included) to the complete file,
//        beside sz -> rz from sz's start.
// noisy: 1 MB at 11,520 bytes/s, one bit in 100,000 flipped, then one in
//        10,000: our sender into rz, ours into ours, sz into rz (at 1 in
//        10,000 only ours into ours and sz into rz, sz given 10 minutes).
// Without arguments the first three run. --quick uses a tenth of the sizes;
// --runs repeats the chosen modes (each run with other bit errors); --ber N
// keeps only that error rate of noisy, --ours only our transfers there.
//
// Our sender's time runs from its ZRQINIT to the end of the batch: the
// fixed "Waiting For Receiver" pause before it is not the protocol's.
// lrzsz's and our receiver's times run from the sender's start until the
// received file is complete on disk.
#include <vorlex.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr LONG kPort = 30; // COM31
constexpr double kLineRate = 11520.0;

std::string g_bin; // directory of linesim
unsigned g_seed = 11; // the line's bit errors; changed per run

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void writeRandom(const std::string &path, size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<char> buf(n);
    for (auto &c : buf) c = static_cast<char>(rng());
    std::ofstream(path, std::ios::binary).write(buf.data(), static_cast<std::streamsize>(n));
}

bool sameFile(const std::string &a, const std::string &b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::string x((std::istreambuf_iterator<char>(fa)), {}), y((std::istreambuf_iterator<char>(fb)), {});
    return !x.empty() && x == y;
}

size_t sizeOf(const std::string &p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
}

// A program behind pipes on a pseudo-terminal named comN in dir: through
// socat on an ideal line, or through the line simulator.
struct Peer {
    pid_t pid = -1;
    std::string statsFile;
    Peer(const std::string &dir, const std::string &workDir, const std::string &command, double rate, unsigned ber,
         unsigned latencyMs = 0) {
        std::string link = dir + "/com" + std::to_string(kPort + 1);
        std::string script = dir + "/peer.sh";
        std::ofstream(script) << "cd '" << workDir << "' && exec " << command << " 2>/dev/null\n";
        unlink(link.c_str());
        statsFile = dir + "/linesim.txt";
        unlink(statsFile.c_str());
        pid = fork();
        if (pid == 0) {
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            dup2(devnull, 2);
            std::string peer = "sh " + script;
            if (rate > 0) {
                int stats = open(statsFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                dup2(stats, 2);
                std::string sim = g_bin + "/linesim", r = std::to_string(static_cast<long>(rate)),
                            b = std::to_string(ber), l = std::to_string(latencyMs), seed = std::to_string(g_seed);
                execl(sim.c_str(), "linesim", "--rate", r.c_str(), "--ber", b.c_str(), "--latency", l.c_str(), "--seed",
                      seed.c_str(), "--link-a", link.c_str(), "--exec", peer.c_str(), static_cast<char *>(nullptr));
            } else {
                std::string pty = "PTY,link=" + link + ",raw,echo=0", exec = "EXEC:" + peer + ",pipes";
                execlp("socat", "socat", pty.c_str(), exec.c_str(), static_cast<char *>(nullptr));
            }
            _exit(127);
        }
        struct stat st;
        for (int i = 0; i < 500 && lstat(link.c_str(), &st) != 0; i++) usleep(10000);
    }
    bool wait(double limit) {
        auto end = Clock::now() + std::chrono::duration<double>(limit);
        while (Clock::now() < end) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                return true;
            }
            usleep(1000);
        }
        return false;
    }
    ~Peer() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    // Bytes the line carried from the library's side (A) to the peer, as
    // the line simulator counted them.
    unsigned long long lineBytesAB() const {
        std::ifstream f(statsFile);
        std::string word;
        while (f >> word)
            if (word == "A->B") {
                unsigned long long n = 0;
                f >> n;
                return n;
            }
        return 0;
    }
    unsigned long long lineBytesBA() const {
        std::ifstream f(statsFile);
        std::string word;
        while (f >> word)
            if (word == "B->A") {
                unsigned long long n = 0;
                f >> n;
                return n;
            }
        return 0;
    }
};

// Payload over the bytes the line carried (what the protocol costs,
// whatever the machine's load did to the timing).
unsigned long long g_lineBytes = 0;

std::atomic<bool> g_started{false};
Clock::time_point g_start;

LONG WINAPI markStart(LONG, LONG, LPCSTR, DWORD, DWORD, DWORD, DWORD, LONG status) {
    // "Sending ZRQINIT" (index 11) ends the fixed pause.
    if (status == 11 + 2 && !g_started) {
        g_start = Clock::now();
        g_started = true;
    }
    return 0;
}

bool openPort() {
    if (Func041(kPort, 5) != 0) return false;
    Func090(kPort, 1, 0, 0, 0, 60);
    Func085(kPort, markStart);
    return true;
}

// Our sender into rz; seconds from ZRQINIT to the end of the batch, or -1.
double ourSend(const std::string &dir, const std::string &file, const std::string &out, double rate, unsigned ber) {
    Peer rz(dir, out, "rz -q -y", rate, ber);
    if (!openPort()) return -1;
    g_started = false;
    LONG r = Func037(kPort, nullptr, nullptr, file.c_str(), 0);
    Func037(kPort, nullptr, nullptr, nullptr, -1);
    auto end = Clock::now();
    Func122(kPort, 5);
    rz.wait(30);
    g_lineBytes = rz.lineBytesAB();
    if (r != 0 || !sameFile(file, out + "/" + fs::path(file).filename().string())) return -1;
    return seconds(g_start, end);
}

// Our sender into an rz that has already said ZRINIT; seconds from the
// first call to the end of the batch, or -1.
double ourSendWall(const std::string &dir, const std::string &file, const std::string &out) {
    Peer rz(dir, out, "rz -q -y", 0, 0);
    if (!openPort()) return -1;
    auto heard = Clock::now();
    while (Func062(kPort) == 0 && seconds(heard, Clock::now()) < 10) usleep(1000);
    auto start = Clock::now();
    LONG r = Func037(kPort, nullptr, nullptr, file.c_str(), 0);
    Func037(kPort, nullptr, nullptr, nullptr, -1);
    auto end = Clock::now();
    Func122(kPort, 5);
    rz.wait(30);
    if (r != 0 || !sameFile(file, out + "/" + fs::path(file).filename().string())) return -1;
    return seconds(start, end);
}

// sz into rz; seconds from sz's start to the complete file.
double lrzszPair(const std::string &dir, const std::string &file, const std::string &out, double rate, unsigned ber,
                 unsigned latencyMs = 0, double limit = 300) {
    const std::string name = fs::path(file).filename().string();
    const std::string target = out + "/" + name;
    const size_t size = sizeOf(file);
    auto start = Clock::now();
    Peer sz(dir, fs::path(file).parent_path().string(), "sz -q '" + name + "'", rate, ber, latencyMs);
    std::string link = dir + "/com" + std::to_string(kPort + 1);
    pid_t rz = fork();
    if (rz == 0) {
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        std::string cmd = "cd '" + out + "' && exec rz -q -y";
        std::string a = link + ",raw,echo=0", e = "SYSTEM:" + cmd + ",pipes";
        execlp("socat", "socat", a.c_str(), e.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    Clock::time_point done{};
    while (seconds(start, Clock::now()) < limit) {
        if (sizeOf(target) == size && done == Clock::time_point{}) done = Clock::now();
        if (waitpid(rz, nullptr, WNOHANG) == rz) {
            rz = -1;
            break;
        }
        usleep(500);
    }
    if (rz > 0) {
        kill(rz, SIGTERM);
        waitpid(rz, nullptr, 0);
    }
    sz.wait(10);
    g_lineBytes = sz.lineBytesBA();
    if (done == Clock::time_point{} || !sameFile(file, target)) return -1;
    return seconds(start, done);
}

// sz into our receiver; seconds from sz's start to the complete file.
double ourReceive(const std::string &dir, const std::string &file, const std::string &out, double rate, unsigned ber) {
    const std::string name = fs::path(file).filename().string();
    const std::string target = out + "/" + name;
    const size_t size = sizeOf(file);
    auto start = Clock::now();
    Peer sz(dir, fs::path(file).parent_path().string(), "sz -q '" + name + "'", rate, ber);
    if (!openPort()) return -1;
    std::atomic<bool> finished{false};
    Clock::time_point done{};
    std::thread watch([&] {
        while (!finished) {
            if (sizeOf(target) == size) {
                done = Clock::now();
                return;
            }
            usleep(500);
        }
    });
    LONG r = Func024(kPort, nullptr, out.c_str());
    finished = true;
    watch.join();
    Func122(kPort, 5);
    sz.wait(10);
    g_lineBytes = sz.lineBytesBA();
    if (r != 0 || done == Clock::time_point{} || !sameFile(file, target)) return -1;
    return seconds(start, done);
}

// Records when the file at path first has the size given.
struct CompletionWatch {
    std::atomic<bool> stop{false};
    Clock::time_point done{};
    std::thread thread;
    CompletionWatch(const std::string &path, size_t size) {
        thread = std::thread([this, path, size] {
            while (!stop) {
                if (sizeOf(path) == size) {
                    done = Clock::now();
                    return;
                }
                usleep(500);
            }
        });
    }
    // Seconds from start to the complete file, or -1.
    double finish(Clock::time_point start) {
        stop = true;
        if (thread.joinable()) thread.join();
        return done == Clock::time_point{} ? -1 : seconds(start, done);
    }
    ~CompletionWatch() { finish(Clock::now()); }
};

// Our sender into rz over a line with latency: seconds from the call to the
// complete file (and in *callSeconds to the end of the batch), or -1.
double ourSendFromCall(const std::string &dir, const std::string &file, const std::string &out, double rate,
                       unsigned ber, unsigned latencyMs, double *callSeconds) {
    const std::string target = out + "/" + fs::path(file).filename().string();
    Peer rz(dir, out, "rz -q -y", rate, ber, latencyMs);
    if (!openPort()) return -1;
    auto start = Clock::now();
    CompletionWatch watch(target, sizeOf(file));
    LONG r = Func037(kPort, nullptr, nullptr, file.c_str(), 0);
    Func037(kPort, nullptr, nullptr, nullptr, -1);
    *callSeconds = seconds(start, Clock::now());
    const double done = watch.finish(start);
    Func122(kPort, 5);
    rz.wait(30);
    g_lineBytes = rz.lineBytesAB();
    if (r != 0 || !sameFile(file, target)) return -1;
    return done;
}

// Our sender into our receiver over one simulated line: seconds from the
// sender's call to the complete file, or -1.
double oursPair(const std::string &dir, const std::string &file, const std::string &out, double rate, unsigned ber,
                unsigned latencyMs) {
    const std::string target = out + "/" + fs::path(file).filename().string();
    const std::string a = dir + "/com" + std::to_string(kPort + 1), b = dir + "/com" + std::to_string(kPort + 2);
    unlink(a.c_str());
    unlink(b.c_str());
    pid_t line = fork();
    if (line == 0) {
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        int stats = open((dir + "/linesim.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(stats, 2);
        std::string sim = g_bin + "/linesim", r = std::to_string(static_cast<long>(rate)), e = std::to_string(ber),
                    l = std::to_string(latencyMs), seed = std::to_string(g_seed);
        execl(sim.c_str(), "linesim", "--rate", r.c_str(), "--ber", e.c_str(), "--latency", l.c_str(), "--seed",
              seed.c_str(), "--link-a", a.c_str(), "--link-b", b.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    struct stat st;
    for (int i = 0; i < 500 && (lstat(a.c_str(), &st) != 0 || lstat(b.c_str(), &st) != 0); i++) usleep(10000);
    double result = -1;
    if (openPort() && Func041(kPort + 1, 5) == 0) {
        Func090(kPort + 1, 1, 0, 0, 0, 60);
        LONG received = -1;
        std::thread receiver([&] { received = Func024(kPort + 1, nullptr, out.c_str()); });
        auto start = Clock::now();
        CompletionWatch watch(target, sizeOf(file));
        LONG sent = Func037(kPort, nullptr, nullptr, file.c_str(), 0);
        Func037(kPort, nullptr, nullptr, nullptr, -1);
        receiver.join();
        const double done = watch.finish(start);
        if (sent == 0 && received == 0 && done > 0 && sameFile(file, target)) result = done;
        Func122(kPort + 1, 5);
    }
    Func122(kPort, 5);
    kill(line, SIGTERM);
    waitpid(line, nullptr, 0);
    std::ifstream f(dir + "/linesim.txt");
    std::string word;
    g_lineBytes = 0;
    while (f >> word)
        if (word == "A->B") f >> g_lineBytes;
    return result;
}

void freshDir(const std::string &d) {
    fs::remove_all(d);
    fs::create_directories(d);
}

} // namespace

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    bool quick = false, pty = false, line = false, noise = false, wall = false, far = false, noisy = false;
    int runs = 1;
    unsigned onlyBer = 0; // noisy: only this error rate
    bool oursOnly = false; // noisy: our transfers only
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--quick") quick = true;
        else if (a == "pty") pty = true;
        else if (a == "line") line = true;
        else if (a == "noise") noise = true;
        else if (a == "wall") wall = true;
        else if (a == "far") far = true;
        else if (a == "noisy") noisy = true;
        else if (a == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
        else if (a == "--ber" && i + 1 < argc) onlyBer = static_cast<unsigned>(std::atoi(argv[++i]));
        else if (a == "--ours" ) oursOnly = true;
        else {
            std::fprintf(stderr, "usage: zmodem [--quick] [--runs N] [--ber N] [--ours] [pty] [line] [noise] [wall] [far] "
                                 "[noisy]\n");
            return 2;
        }
    }
    if (!pty && !line && !noise && !wall && !far && !noisy) pty = line = noise = true;
    g_bin = fs::canonical("/proc/self/exe").parent_path().string();
    if (!fs::exists(g_bin + "/linesim")) g_bin = fs::path(g_bin).parent_path().string();
    std::string root = (fs::temp_directory_path() / ("vorlex-bench-" + std::to_string(getpid()))).string();
    freshDir(root);
    setenv("VORLEX_COMDIR", root.c_str(), 1);
    std::string in = root + "/in", out = root + "/out";
    freshDir(in);
    int failures = 0;

    for (int run = 0; run < runs; run++) {
        g_seed = 11 + static_cast<unsigned>(run);
        if (runs > 1) std::printf("run %d\n", run + 1);
        if (far) {
            const size_t n = quick ? 30000 : 300000;
            std::string file = in + "/far.bin";
            writeRandom(file, n, 3);
            auto eff = [&](double t) { return t > 0 ? 100.0 * static_cast<double>(n) / t / kLineRate : 0.0; };
            freshDir(out);
            double call = 0;
            double ours = ourSendFromCall(root, file, out, kLineRate, 0, 150, &call);
            const unsigned long long oursBytes = g_lineBytes;
            freshDir(out);
            double theirs = lrzszPair(root, file, out, kLineRate, 0, 150);
            std::printf("11,520 bytes/s, 150 ms each way, %zu random bytes (to the complete file; bytes sent):\n", n);
            std::printf("  our sender -> rz   %6.2f s  %5.1f%%  %llu  (call ends after %.2f s)\n", ours, eff(ours),
                        oursBytes, call);
            std::printf("  sz -> rz           %6.2f s  %5.1f%%  %llu  ratio %.2f\n", theirs, eff(theirs), g_lineBytes,
                        ours > 0 ? theirs / ours : 0.0);
            failures += ours < 0 || theirs < 0;
        }
        if (noisy) {
            const size_t n = quick ? 100000 : 1000000;
            std::string file = in + "/noisy.bin";
            writeRandom(file, n, 4);
            auto eff = [&](double t) { return t > 0 ? 100.0 * static_cast<double>(n) / t / kLineRate : 0.0; };
            for (unsigned ber : {100000u, 10000u}) {
                if (onlyBer && ber != onlyBer) continue;
                std::printf("11,520 bytes/s, 1 bit in %u flipped, %zu random bytes (efficiency):\n", ber, n);
                if (ber == 100000) {
                    freshDir(out);
                    double call = 0;
                    double ours = ourSendFromCall(root, file, out, kLineRate, ber, 0, &call);
                    std::printf("  our sender -> rz   %6.1f s  %5.1f%%\n", ours, eff(ours));
                    failures += ours < 0;
                }
                freshDir(out);
                double pair = oursPair(root, file, out, kLineRate, ber, 0);
                std::printf("  ours -> ours       %6.1f s  %5.1f%%\n", pair, eff(pair));
                if (oursOnly) continue;
                freshDir(out);
                const double limit = ber == 10000 ? 600 : 900;
                double theirs = lrzszPair(root, file, out, kLineRate, ber, 0, limit);
                if (theirs < 0)
                    std::printf("  sz -> rz           did not finish within %.0f s\n", limit);
                else
                    std::printf("  sz -> rz           %6.1f s  %5.1f%%\n", theirs, eff(theirs));
                failures += pair < 0 || (theirs < 0 && ber == 100000);
            }
        }
        if (pty) {
            const size_t n = quick ? 1000000 : 10000000;
            std::string file = in + "/random.bin";
            writeRandom(file, n, 1);
            freshDir(out);
            double ours = ourSend(root, file, out, 0, 0);
            freshDir(out);
            double theirs = lrzszPair(root, file, out, 0, 0);
            freshDir(out);
            double ourRx = ourReceive(root, file, out, 0, 0);
            freshDir(out);
            double theirs2 = lrzszPair(root, file, out, 0, 0);
            std::printf("pty, %zu random bytes:\n", n);
            std::printf("  our sender -> rz   %.3f s   sz -> rz %.3f s   ratio %.2f\n", ours, theirs,
                        ours > 0 ? theirs / ours : 0.0);
            std::printf("  sz -> our receiver %.3f s   sz -> rz %.3f s   ratio %.2f\n", ourRx, theirs2,
                        ourRx > 0 ? theirs2 / ourRx : 0.0);
            failures += ours < 0 || theirs < 0 || ourRx < 0 || theirs2 < 0;
        }
        if (wall) {
            const size_t n = quick ? 1000000 : 10000000;
            std::string file = in + "/random.bin";
            writeRandom(file, n, 1);
            freshDir(out);
            double ours = ourSendWall(root, file, out);
            freshDir(out);
            double theirs = lrzszPair(root, file, out, 0, 0);
            std::printf("pty, %zu random bytes into a running rz, wall time:\n", n);
            std::printf("  our sender -> rz   %.3f s   sz -> rz %.3f s   ratio %.2f\n", ours, theirs,
                        ours > 0 ? theirs / ours : 0.0);
            failures += ours < 0 || theirs < 0;
        }
        for (int pass = 0; pass < 2; pass++) {
            if ((pass == 0 && !line) || (pass == 1 && !noise)) continue;
            const unsigned ber = pass ? 100000 : 0;
            const size_t n = quick ? 100000 : 1000000;
            std::string file = in + "/line.bin";
            writeRandom(file, n, 2);
            auto wire = [&]() { return g_lineBytes ? 100.0 * static_cast<double>(n) / static_cast<double>(g_lineBytes) : 0.0; };
            freshDir(out);
            double ours = ourSend(root, file, out, kLineRate, ber);
            double oursWire = wire();
            freshDir(out);
            double theirs = lrzszPair(root, file, out, kLineRate, ber);
            double theirsWire = wire();
            freshDir(out);
            double ourRx = ourReceive(root, file, out, kLineRate, ber);
            double ourRxWire = wire();
            auto eff = [&](double t) { return t > 0 ? 100.0 * static_cast<double>(n) / t / kLineRate : 0.0; };
            std::printf("11,520 bytes/s%s, %zu random bytes (efficiency; payload share of the bytes sent):\n",
                        ber ? ", 1 bit in 100,000 flipped" : "", n);
            std::printf("  our sender -> rz   %6.1f s  %5.1f%%  %5.1f%%\n", ours, eff(ours), oursWire);
            std::printf("  sz -> rz           %6.1f s  %5.1f%%  %5.1f%%\n", theirs, eff(theirs), theirsWire);
            std::printf("  sz -> our receiver %6.1f s  %5.1f%%  %5.1f%%\n", ourRx, eff(ourRx), ourRxWire);
            failures += ours < 0 || theirs < 0 || ourRx < 0;
        }
    }
    fs::remove_all(root);
    if (failures) std::printf("%d transfer(s) failed\n", failures);
    return failures ? 1 : 0;
}
