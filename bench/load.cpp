// Load benchmark: our Zmodem sender into our receiver, many lines at once.
//
//   load [--quick] [concurrent] [gigabyte]
//
// concurrent: eight lanes (batches of two files, 2 MB in all, 20 MB at
//             full speed) first one at a time, then all eight at once, on
//             null-modem pairs at full speed, paced at 250,000 bytes/s, and
//             on pseudo-terminal pairs at full speed and joined by
//             tools/linesim at 250,000 bytes/s. Each lane's time at once
//             over its time alone is the figure, for the files (ZRQINIT to
//             the last file's end) and for the whole batch (with the closing
//             ZFIN exchange, about a second). At full speed the lanes share
//             the machine's cores, so the aggregate rate is shown beside it.
// gigabyte:   1 GiB through a pseudo-terminal pair, resident memory sampled
//             every half second: after the first eighth, how far it grew.
// Without arguments both run. --quick uses a tenth of the sizes.
//
// Times run from the sender's ZRQINIT to the end of its batch.
#include "../tests/load/zmodem_load.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>

using namespace load;

namespace {

constexpr int kLanes = 8;
double g_scale = 1.0;

struct Kind {
    const char *name;
    Line line;
    DWORD rate;
    bool linesim; // pseudo-terminals joined by tools/linesim at the rate
    int scale;    // file sizes: a paced lane's size times this
};

std::string g_bin; // where linesim is

// A linesim process joining comN and comM in a directory at a byte rate.
class Linesim {
public:
    Linesim(const std::string &dir, LONG tx, LONG rx, DWORD rate) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 2);
            const std::string sim = g_bin + "/linesim", r = std::to_string(rate),
                              a = dir + "/com" + std::to_string(tx + 1), b = dir + "/com" + std::to_string(rx + 1);
            execl(sim.c_str(), "linesim", "--rate", r.c_str(), "--link-a", a.c_str(), "--link-b", b.c_str(),
                  static_cast<char *>(nullptr));
            _exit(127);
        }
        close(out[1]);
        // Its "ready" line says the links are there.
        FILE *f = fdopen(out[0], "r");
        char line[256];
        while (f && std::fgets(line, sizeof line, f))
            if (!std::strncmp(line, "ready", 5)) {
                ready_ = true;
                break;
            }
        if (f) std::fclose(f);
    }
    ~Linesim() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool ready() const { return ready_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

struct Times {
    double files = -1, batch = -1;
};

// Runs lanes [first, first + n) at once.
std::vector<Times> runLanes(const Kind &k, int first, int n, std::vector<Scratch> &in, std::vector<Scratch> &out,
                            const std::vector<std::string> &names) {
    const std::string inDir = k.scale > 1 ? "/big" : "";
    Scratch comDir;
    std::vector<std::unique_ptr<Linesim>> sims;
    Lanes lanes;
    std::vector<std::unique_ptr<Transfer>> t;
    std::vector<Times> s(n);
    if (k.linesim) setenv("VORLEX_COMDIR", comDir.path().c_str(), 1);
    for (int i = 0; i < n; i++) {
        const LONG tx = 100 + 2 * (first + i), rx = tx + 1;
        bool ok;
        if (k.linesim) {
            sims.push_back(std::make_unique<Linesim>(comDir.path(), tx, rx, k.rate));
            ok = sims.back()->ready() && openPorts(tx, rx);
        } else {
            ok = lanes.open(k.line, tx, rx, k.rate);
        }
        if (!ok) {
            std::fprintf(stderr, "lane %d: cannot open\n", first + i);
            if (k.linesim)
                for (int j = 0; j <= i; j++) closeLane(100 + 2 * (first + j), 101 + 2 * (first + j));
            return s;
        }
        std::error_code ec;
        for (const auto &name : names) std::filesystem::remove(out[first + i].file(name), ec);
        t.push_back(
            std::make_unique<Transfer>(tx, rx, in[first + i].path() + inDir, names, out[first + i].path()));
    }
    for (auto &x : t) x->start();
    const auto deadline = Clock::now() + std::chrono::seconds(600);
    for (int i = 0; i < n; i++) {
        bool ok = t[i]->wait(deadline) && t[i]->sent == 0 && t[i]->received == 0 && t[i]->filesIdentical();
        if (ok)
            s[i] = {t[i]->fileSeconds(), t[i]->seconds()};
        else
            std::fprintf(stderr, "lane %d: sent %ld received %ld\n", first + i, (long)t[i]->sent, (long)t[i]->received);
    }
    if (k.linesim)
        for (int i = 0; i < n; i++) closeLane(100 + 2 * (first + i), 101 + 2 * (first + i));
    unsetenv("VORLEX_COMDIR");
    return s;
}

void concurrent() {
    const uint64_t big = static_cast<uint64_t>(1500000 * g_scale), small = static_cast<uint64_t>(500000 * g_scale);
    const std::vector<std::string> names = {"a.bin", "b.bin"};
    std::vector<Scratch> in(kLanes), out(kLanes);
    constexpr int kFullSpeedScale = 10; // a full-speed lane alone takes about a second
    for (int i = 0; i < kLanes; i++) {
        writeRandomFile(in[i].file("a.bin"), big, 2 * i + 1);
        writeRandomFile(in[i].file("b.bin"), small, 2 * i + 2);
        std::filesystem::create_directory(in[i].file("big"));
        writeRandomFile(in[i].file("big/a.bin"), big * kFullSpeedScale, 2 * i + 1);
        writeRandomFile(in[i].file("big/b.bin"), small * kFullSpeedScale, 2 * i + 2);
    }
    const Kind kinds[] = {{"null-modem, full speed", Line::NullModem, 0, false, kFullSpeedScale},
                          {"null-modem, 250000 B/s", Line::NullModem, 250000, false, 1},
                          {"pseudo-terminal, full speed", Line::PseudoTerminal, 0, false, kFullSpeedScale},
                          {"pseudo-terminal through linesim, 250000 B/s", Line::PseudoTerminal, 250000, true, 1}};
    for (const Kind &k : kinds) {
        const double bytes = static_cast<double>(big + small) * k.scale;
        std::vector<Times> alone(kLanes);
        for (int i = 0; i < kLanes; i++) alone[i] = runLanes(k, i, 1, in, out, names)[0];
        std::vector<Times> together = runLanes(k, 0, kLanes, in, out, names);
        double span = 0; // the lanes start together: the longest is the span
        for (const Times &x : together) span = std::max(span, x.files);
        std::printf("%s, %.0f bytes a lane\n  lane  files alone s  at once s  ratio   batch alone s  at once s  ratio\n", k.name, bytes);
        double worst = 0, worstBatch = 0, sumAlone = 0;
        bool failed = false;
        for (int i = 0; i < kLanes; i++) {
            if (alone[i].files <= 0 || together[i].files <= 0) failed = true;
            const double r = together[i].files / alone[i].files, rb = together[i].batch / alone[i].batch;
            worst = std::max(worst, r);
            worstBatch = std::max(worstBatch, rb);
            sumAlone += alone[i].files;
            std::printf("  %d     %8.3f  %9.3f  %5.2f        %8.3f  %9.3f  %5.2f\n", i, alone[i].files, together[i].files,
                        r, alone[i].batch, together[i].batch, rb);
        }
        const double rateAlone = bytes * kLanes / sumAlone, rateTogether = bytes * kLanes / span;
        std::printf("  worst ratio: files %.2f, batch %.2f%s; aggregate %.0f B/s alone, %.0f B/s at once (x%.2f)\n",
                    worst, worstBatch, failed ? " (FAILED LANES)" : "", rateAlone, rateTogether,
                    rateTogether / rateAlone);
        std::fflush(stdout);
    }
}

void gigabyte() {
    const uint64_t size = static_cast<uint64_t>((1ull << 30) * g_scale);
    Scratch in, out;
    writeRandomFile(in.file("g.bin"), size, 99);
    const LONG tx = 140, rx = 141;
    Lanes lanes;
    if (!lanes.open(Line::PseudoTerminal, tx, rx)) {
        std::printf("gigabyte: cannot open the pseudo-terminal pair\n");
        return;
    }
    Transfer t(tx, rx, in.path(), {"g.bin"}, out.path());
    const long before = residentKiB();
    t.start();
    long warm = -1, peak = -1;
    std::vector<long> samples;
    std::atomic<bool> done{false};
    std::mutex mu;
    std::condition_variable cv;
    std::thread sampler([&] {
        std::unique_lock<std::mutex> lk(mu);
        while (!cv.wait_for(lk, std::chrono::milliseconds(500), [&] { return done.load(); })) {
            const long kb = residentKiB();
            samples.push_back(kb);
            if (g_watch[rx].bytes >= size / 8) {
                if (warm < 0) warm = kb;
                peak = std::max(peak, kb);
            }
        }
    });
    const bool ok = t.wait(Clock::now() + std::chrono::minutes(20));
    {
        std::lock_guard<std::mutex> lk(mu);
        done = true;
    }
    cv.notify_all();
    sampler.join();
    const bool same = ok && t.sent == 0 && t.received == 0 && t.filesIdentical();
    const double secs = t.seconds();
    std::printf("gigabyte: %llu bytes over a pseudo-terminal in %.1f s (%.1f MB/s), %s\n",
                static_cast<unsigned long long>(size), secs, static_cast<double>(size) / secs / 1e6,
                same ? "files identical" : "FAILED");
    std::printf("  VmRSS KiB: before %ld, after the first eighth %ld, peak after it %ld (growth %ld), %zu samples\n",
                before, warm, peak, peak - warm, samples.size());
}

} // namespace

int main(int argc, char **argv) {
    bool runConcurrent = false, runGigabyte = false;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--quick")) g_scale = 0.1;
        if (!std::strcmp(argv[i], "concurrent")) runConcurrent = true;
        if (!std::strcmp(argv[i], "gigabyte")) runGigabyte = true;
    }
    if (!runConcurrent && !runGigabyte) runConcurrent = runGigabyte = true;
    g_bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    if (!std::filesystem::exists(g_bin + "/linesim")) g_bin = std::filesystem::path(g_bin).parent_path().string();
    if (runConcurrent) concurrent();
    if (runGigabyte) gigabyte();
    return 0;
}
