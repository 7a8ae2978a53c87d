// Efficiency of the block protocols on a 115200 baud line (11,520 bytes/s
// through the line simulator): payload bytes per second over the line rate,
// ours against lrzsz's equivalents in the same run.
//
//   transfer_blocks [--size BYTES] [--rate BYTES/S] [--latency MS] [--ber N] [--seed S]
//                   [--serial] [--only NAME] [--null-modem]
//
// Every transfer runs on its own simulated line; by default all run side by
// side (the lines are paced by the clock, not by the processor). With
// --null-modem our transfers also run over in-process null-modem pairs at
// the same rate (no pseudo-terminals between the ends). --latency and --ber
// give every line that latency each way and one bit in N flipped; a -G
// protocol on a noisy line is expected to fail, and its result is shown.
#include <vorlex.h>
#include <winapi_ext.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

size_t g_size = 1024 * 1024;
unsigned g_rate = 11520;
unsigned g_latency = 0; // ms each way
unsigned g_ber = 0;     // one bit in g_ber flipped
unsigned g_seed = 1;
std::string g_dir;      // links of the lines (VORLEX_COMDIR) and the files
std::string g_linesim;

std::string quote(const std::string &s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string findLinesim() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    for (auto dir = exe.parent_path(); !dir.empty() && dir != dir.root_path(); dir = dir.parent_path())
        if (std::filesystem::exists(dir / "linesim")) return (dir / "linesim").string();
    return "linesim";
}

// A child process: sh -c command, its output thrown away.
struct Child {
    pid_t pid = -1;
    explicit Child(const std::string &command) {
        pid = fork();
        if (pid == 0) {
            int null = ::open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
    }
    int wait() {
        int st = 0;
        if (pid > 0) waitpid(pid, &st, 0);
        pid = -1;
        return WIFEXITED(st) ? WEXITSTATUS(st) : 128;
    }
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

bool waitForPath(const std::string &path) {
    struct stat st;
    for (int i = 0; i < 500; i++) {
        if (lstat(path.c_str(), &st) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string linesim(const std::string &linkA, const std::string &linkB, const std::string &exec) {
    std::string c = "exec " + quote(g_linesim) + " --rate " + std::to_string(g_rate) + " --latency " +
                    std::to_string(g_latency) + " --ber " + std::to_string(g_ber) + " --seed " + std::to_string(g_seed) +
                    " --link-a " + quote(linkA);
    if (!linkB.empty()) c += " --link-b " + quote(linkB);
    if (!exec.empty()) c += " --exec " + quote(exec);
    return c;
}

bool sameFile(const std::string &a, const std::string &b, bool padded) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::string sa((std::istreambuf_iterator<char>(fa)), {}), sb((std::istreambuf_iterator<char>(fb)), {});
    if (!padded) return sa == sb;
    if (sb.size() < sa.size() || sb.compare(0, sa.size(), sa) != 0) return false;
    for (size_t i = sa.size(); i < sb.size(); i++)
        if (sb[i] != '\x1A') return false;
    return true;
}

// Waits until the port's sender has emptied its queues and waits for the
// receiver (it reports "Waiting For Receiver"): a request sent earlier
// would be thrown away.
std::mutex g_waitMutex;
std::condition_variable g_waitChanged;
std::atomic<bool> g_waiting[255];
std::atomic<DWORD> g_errors[255]; // the highest error count each port reported

LONG WINAPI onProgress(LONG port, LONG, LPCSTR, DWORD, DWORD, DWORD, DWORD errors, LONG status) {
    if (port >= 0 && port < 255 && errors > g_errors[port]) g_errors[port] = errors;
    if (status == 12 && port >= 0 && port < 255) {
        std::lock_guard<std::mutex> lk(g_waitMutex);
        g_waiting[port] = true;
        g_waitChanged.notify_all();
    }
    return 0;
}

void waitUntilWaiting(LONG port) {
    std::unique_lock<std::mutex> lk(g_waitMutex);
    g_waitChanged.wait_for(lk, std::chrono::seconds(10), [&] { return g_waiting[port].load(); });
}

struct Result {
    std::string name;
    double seconds = 0;
    bool ok = false;
    LONG sent = -1, received = -1; // our ends' results
    DWORD errors = 0;              // errors (time-outs, retries) our ends counted
    bool counted = false;          // one of our ends took part
};

// Our sender on tx into our receiver on rx, both open: the receiver's time
// from its start; both ports closed after.
void runOurs(Result *r, LONG protocol, LONG tx, LONG rx) {
    Func090(tx, 1, 1, 0, 0, 60);
    Func090(rx, 1, 1, 0, 0, 60);
    Func085(tx, onProgress);
    Func085(rx, onProgress);
    g_errors[tx] = g_errors[rx] = 0;
    const std::string out = g_dir + "/out-" + r->name;
    std::filesystem::create_directories(out);
    LONG sent = -1;
    std::thread sender([&] {
        sent = Func069(tx, nullptr, protocol, nullptr, (g_dir + "/payload").c_str(), 0);
        Func069(tx, nullptr, protocol, nullptr, nullptr, -1);
    });
    waitUntilWaiting(tx);
    auto t0 = Clock::now();
    LONG received = Func123(rx, nullptr, protocol, out.c_str(), protocol >= 4 ? nullptr : "payload");
    r->seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    sender.join();
    Func122(tx, 1);
    Func122(rx, 1);
    r->sent = sent;
    r->received = received;
    r->errors = g_errors[tx] + g_errors[rx];
    r->counted = true;
    r->ok = sent == 0 && received == 0 && sameFile(g_dir + "/payload", out + "/payload", protocol < 4);
}

// Our sender into our receiver over one simulated line.
Result ours(const std::string &name, LONG protocol, int com) {
    Result r{name};
    const LONG tx = com - 1, rx = com;
    const std::string linkA = g_dir + "/com" + std::to_string(com), linkB = g_dir + "/com" + std::to_string(com + 1);
    Child line(linesim(linkA, linkB, ""));
    if (!waitForPath(linkA) || !waitForPath(linkB)) return r;
    if (Func041(tx, 1) || Func041(rx, 1)) return r;
    runOurs(&r, protocol, tx, rx);
    return r;
}

// Our sender into our receiver over a paced in-process null-modem pair.
Result oursNullModem(const std::string &name, LONG protocol, int com) {
    Result r{name};
    const LONG tx = com - 1, rx = com;
    const std::string a = "COM" + std::to_string(com), b = "COM" + std::to_string(com + 1);
    WAPI_LINE_OPTIONS line{g_rate, 0, 0, 0};
    if (!WapiCreateNullModemPair(a.c_str(), b.c_str(), &line)) return r;
    if (Func041(tx, 1) || Func041(rx, 1)) return r;
    // RTS/CTS: the streaming variants need flow control.
    Func001(tx, 115200, 0, 8, 1);
    Func001(rx, 115200, 0, 8, 1);
    runOurs(&r, protocol, tx, rx);
    WapiDestroyNullModemPair(a.c_str());
    return r;
}

// An lrzsz sender (on the simulator's pipes) into a receiver on the line's
// pseudo-terminal: lrzsz's receiver behind socat, or ours.
Result lrzsz(const std::string &name, const std::string &sendCommand, const std::string &receiveCommand,
             LONG ourProtocol, int com, bool padded) {
    Result r{name};
    const std::string link = g_dir + "/com" + std::to_string(com);
    const std::string out = g_dir + "/out-" + name;
    std::filesystem::create_directories(out);
    Child line(linesim(link, "", "cd " + quote(g_dir) + " && exec " + sendCommand));
    if (!waitForPath(link)) return r;
    auto t0 = Clock::now();
    if (receiveCommand.empty()) {
        const LONG port = com - 1;
        if (Func041(port, 1)) return r;
        Func090(port, 1, 1, 0, 0, 60);
        Func085(port, onProgress);
        g_errors[port] = 0;
        LONG received = Func123(port, nullptr, ourProtocol, out.c_str(), ourProtocol >= 4 ? nullptr : "payload");
        r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        Func122(port, 1);
        r.received = received;
        r.errors = g_errors[port];
        r.counted = true;
        r.ok = received == 0;
    } else {
        Child receiver("cd " + quote(out) + " && exec socat -t 0.01 " + quote("FILE:" + link + ",raw,echo=0") + " " +
                       quote("EXEC:" + receiveCommand + ",pipes"));
        receiver.wait();
        r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        r.ok = true;
    }
    r.ok = r.ok && line.wait() == 0 && sameFile(g_dir + "/payload", out + "/payload", padded);
    return r;
}

} // namespace

int main(int argc, char **argv) {
    bool serial = false, nullModem = false;
    std::string only;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--size" && i + 1 < argc) g_size = std::strtoul(argv[++i], nullptr, 10);
        else if (a == "--rate" && i + 1 < argc) g_rate = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--latency" && i + 1 < argc) g_latency = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--ber" && i + 1 < argc) g_ber = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--seed" && i + 1 < argc) g_seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--serial") serial = true;
        else if (a == "--only" && i + 1 < argc) only = argv[++i];
        else if (a == "--null-modem") nullModem = true;
        else {
            std::fprintf(stderr,
                         "usage: transfer_blocks [--size BYTES] [--rate BYTES/S] [--latency MS] [--ber N] [--seed S]\n"
                         "                       [--serial] [--only NAME] [--null-modem]\n");
            return 2;
        }
    }
    char tmpl[] = "/tmp/vorlex-bench-blocks-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    g_dir = tmpl;
    g_linesim = findLinesim();
    setenv("VORLEX_COMDIR", g_dir.c_str(), 1);
    {
        std::mt19937 rng(1);
        std::string data(g_size, '\0');
        for (auto &c : data) c = static_cast<char>(rng() & 0xFF);
        std::ofstream(g_dir + "/payload", std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
    }

    std::vector<std::pair<std::string, std::function<Result()>>> jobs = {
        {"Xmodem ours", [] { return ours("Xmodem ours", 1, 150); }},
        {"Xmodem lrzsz", [] { return lrzsz("Xmodem lrzsz", "sx payload", "rx -c payload", 0, 152, true); }},
        {"Xmodem-1K ours", [] { return ours("Xmodem-1K ours", 2, 154); }},
        {"Xmodem-1K lrzsz", [] { return lrzsz("Xmodem-1K lrzsz", "sx -k payload", "rx -c payload", 0, 156, true); }},
        {"Xmodem-1K-G ours", [] { return ours("Xmodem-1K-G ours", 3, 158); }},
        {"Ymodem ours", [] { return ours("Ymodem ours", 4, 160); }},
        {"Ymodem lrzsz", [] { return lrzsz("Ymodem lrzsz", "sb -k payload", "rb", 0, 162, false); }},
        {"Ymodem-G ours", [] { return ours("Ymodem-G ours", 5, 164); }},
        {"Ymodem-G lrzsz sb into ours", [] { return lrzsz("Ymodem-G lrzsz sb into ours", "sb -k payload", "", 5, 166, false); }},
    };
    if (nullModem) {
        const char *names[] = {"Xmodem", "Xmodem-1K", "Xmodem-1K-G", "Ymodem", "Ymodem-G"};
        for (LONG p = 1; p <= 5; p++) {
            std::string n = std::string(names[p - 1]) + " ours, null modem";
            jobs.push_back({n, [n, p] { return oursNullModem(n, p, 200 + 2 * static_cast<int>(p)); }});
        }
    }
    std::vector<Result> results(jobs.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < jobs.size(); i++) {
        if (!only.empty() && jobs[i].first.find(only) == std::string::npos) continue;
        if (serial)
            results[i] = jobs[i].second();
        else
            threads.emplace_back([&, i] { results[i] = jobs[i].second(); });
    }
    for (auto &t : threads) t.join();

    std::printf("%zu bytes of random data at %u bytes/s", g_size, g_rate);
    if (g_latency) std::printf(", %u ms each way", g_latency);
    if (g_ber) std::printf(", 1 bit in %u flipped", g_ber);
    std::printf("\n");
    std::printf("%-34s %10s %12s %11s %7s\n", "transfer", "seconds", "bytes/s", "efficiency", "errors");
    for (auto &r : results) {
        if (r.name.empty()) continue;
        if (!r.ok) {
            std::printf("%-34s %10s  (results: sender %ld, receiver %ld; %lu errors)\n", r.name.c_str(), "FAILED",
                        static_cast<long>(r.sent), static_cast<long>(r.received), static_cast<unsigned long>(r.errors));
            continue;
        }
        double bps = static_cast<double>(g_size) / r.seconds;
        const std::string errors = r.counted ? std::to_string(r.errors) : "-";
        std::printf("%-34s %10.2f %12.0f %10.1f%% %7s\n", r.name.c_str(), r.seconds, bps, 100.0 * bps / g_rate,
                    errors.c_str());
    }
    std::filesystem::remove_all(g_dir);
    return 0;
}
