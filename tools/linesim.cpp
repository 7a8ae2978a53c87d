// linesim: a serial line between two programs. It joins two new
// pseudo-terminals (or a new one and an existing device, or a new one and a
// command on pipes) and relays both directions at a chosen byte rate, with
// an optional latency and bit-error rate.
//
//   linesim [--rate BYTES/S] [--latency MS] [--ber N] [--seed S]
//           [--link-a PATH] [--link-b PATH] [--device PATH | --exec CMD]
//
// Side A is always a new pseudo-terminal; side B is a second one, the
// device given with --device, or `sh -c CMD` on pipes with --exec. The
// slave paths are printed as "A <path>" and "B <path>", followed by
// "ready"; --link-a/--link-b also make symbolic links to them (removed at
// exit). A rate of 11520 bytes/s is a 115200 baud 8N1 line. --ber N flips
// one bit in N on average. With --exec, linesim ends when the command has
// ended and its output has crossed the line, with the command's exit
// status. SIGINT and SIGTERM end it. Counts go to standard error at exit.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <time.h>

namespace {

volatile sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

double nowSeconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void makeRaw(int fd) {
    termios t;
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
}

void setNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Flips bits at random with a mean gap of interval bits.
class BitErrors {
public:
    BitErrors(double interval, unsigned seed) : interval_(interval), rng_(seed) { next_ = draw(); }
    bool active() const { return interval_ > 0; }
    // Applies the errors to the bytes; returns how many bits were flipped.
    unsigned long apply(unsigned char *p, size_t n) {
        unsigned long flips = 0;
        unsigned long long bits = static_cast<unsigned long long>(n) * 8;
        unsigned long long pos = 0;
        while (pos + next_ < bits) {
            pos += next_;
            p[pos / 8] ^= static_cast<unsigned char>(1u << (pos % 8));
            flips++;
            pos++;
            next_ = draw();
        }
        next_ -= bits - pos;
        return flips;
    }

private:
    unsigned long long draw() {
        // Gap before the next flipped bit: geometric with p = 1/interval.
        std::uniform_real_distribution<double> u(0.0, 1.0);
        double x = u(rng_);
        if (x <= 0) x = 1e-300;
        double gap = std::floor(std::log(x) / std::log1p(-1.0 / interval_));
        return gap > 1e18 ? static_cast<unsigned long long>(1e18) : static_cast<unsigned long long>(gap);
    }
    double interval_;
    std::mt19937_64 rng_;
    unsigned long long next_ = 0;
};

struct Chunk {
    double due;
    std::string bytes;
    size_t done = 0;
};

// One direction of the line.
struct Direction {
    const char *name;
    int in = -1;   // read from here
    int out = -1;  // deliver here
    bool inOpen = true;
    bool outOpen = true;
    std::deque<Chunk> queue;
    size_t queued = 0;
    double wireFree = 0;
    unsigned long long bytes = 0;
    unsigned long flips = 0;
    BitErrors errors;
    Direction(const char *n, double ber, unsigned seed) : name(n), errors(ber, seed) {}
};

struct Options {
    double rate = 0;
    double latency = 0; // seconds
    double ber = 0;
    unsigned seed = 1;
    std::string linkA, linkB, device, exec;
};

// How far ahead of the wire the relay may read (seconds of line time):
// enough that a late wake-up on a busy machine does not leave the line
// idle, little enough not to hold back the sender's flow.
constexpr double kReadAhead = 0.05;

size_t readChunkSize(const Options &o) {
    if (o.rate <= 0) return 65536;
    size_t n = static_cast<size_t>(o.rate * 0.01);
    return std::clamp<size_t>(n, 1, 4096);
}

bool wantRead(const Direction &d, const Options &o, double now) {
    if (!d.inOpen || d.in < 0) return false;
    // A reader that stopped reading holds the line up after 1 MiB.
    if (d.queued >= (1u << 20)) return false;
    return o.rate <= 0 || d.wireFree <= now + kReadAhead;
}

void readSide(Direction &d, const Options &o, double now) {
    std::string buf(readChunkSize(o), '\0');
    ssize_t r = ::read(d.in, buf.data(), buf.size());
    if (r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR)) {
        d.inOpen = false;
        return;
    }
    if (r < 0) return;
    buf.resize(static_cast<size_t>(r));
    if (d.errors.active()) d.flips += d.errors.apply(reinterpret_cast<unsigned char *>(buf.data()), buf.size());
    double start = std::max(now, d.wireFree);
    double end = o.rate > 0 ? start + static_cast<double>(r) / o.rate : now;
    d.wireFree = end;
    d.bytes += static_cast<unsigned long long>(r);
    d.queued += buf.size();
    d.queue.push_back(Chunk{end + o.latency, std::move(buf)});
}

// Delivers what is due; false when the output would block.
bool deliver(Direction &d, double now) {
    while (!d.queue.empty() && d.queue.front().due <= now) {
        Chunk &c = d.queue.front();
        if (!d.outOpen) {
            d.queued -= c.bytes.size() - c.done;
            d.queue.pop_front();
            continue;
        }
        ssize_t w = ::write(d.out, c.bytes.data() + c.done, c.bytes.size() - c.done);
        if (w < 0) {
            if (errno == EAGAIN || errno == EINTR) return false;
            d.outOpen = false; // the reader went away: the bytes fall off the line
            continue;
        }
        c.done += static_cast<size_t>(w);
        d.queued -= static_cast<size_t>(w);
        if (c.done == c.bytes.size()) d.queue.pop_front();
    }
    return true;
}

struct Pty {
    int master = -1;
    int slave = -1; // kept open so that the master never sees a hang-up
    std::string path;
};

bool openPty(Pty &p) {
    termios raw{};
    cfmakeraw(&raw);
    char name[128];
    if (openpty(&p.master, &p.slave, name, &raw, nullptr) != 0) return false;
    makeRaw(p.master);
    setNonBlocking(p.master);
    p.path = name;
    return true;
}

void usage() {
    std::fprintf(stderr,
                 "usage: linesim [--rate BYTES/S] [--latency MS] [--ber N] [--seed S]\n"
                 "               [--link-a PATH] [--link-b PATH] [--device PATH | --exec CMD]\n");
}

} // namespace

int main(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc) {
                usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--rate") o.rate = std::atof(value());
        else if (a == "--latency") o.latency = std::atof(value()) / 1000.0;
        else if (a == "--ber") o.ber = std::atof(value());
        else if (a == "--seed") o.seed = static_cast<unsigned>(std::strtoul(value(), nullptr, 10));
        else if (a == "--link-a") o.linkA = value();
        else if (a == "--link-b") o.linkB = value();
        else if (a == "--device") o.device = value();
        else if (a == "--exec") o.exec = value();
        else {
            usage();
            return 2;
        }
    }
    if (!o.device.empty() && !o.exec.empty()) {
        usage();
        return 2;
    }
    signal(SIGINT, onSignal);
    signal(SIGTERM, onSignal);
    signal(SIGPIPE, SIG_IGN);
    // The line keeps its pace when the machine is busy (where allowed).
    if (setpriority(PRIO_PROCESS, 0, -15) != 0) setpriority(PRIO_PROCESS, 0, -5);

    Pty a;
    if (!openPty(a)) {
        std::perror("linesim: openpty");
        return 1;
    }
    Direction ab("A->B", o.ber, o.seed), ba("B->A", o.ber, o.seed * 2654435761u + 1);
    ab.in = a.master;
    ba.out = a.master;
    std::string pathB;
    Pty b;
    pid_t child = -1;
    if (!o.device.empty()) {
        int fd = ::open(o.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            std::perror("linesim: device");
            return 1;
        }
        makeRaw(fd);
        ab.out = ba.in = fd;
        pathB = o.device;
    } else if (!o.exec.empty()) {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) {
            std::perror("linesim: pipe");
            return 1;
        }
        child = fork();
        if (child == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            close(toChild[0]);
            close(toChild[1]);
            close(fromChild[0]);
            close(fromChild[1]);
            close(a.master);
            close(a.slave);
            signal(SIGPIPE, SIG_DFL);
            execl("/bin/sh", "sh", "-c", o.exec.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        setNonBlocking(toChild[1]);
        setNonBlocking(fromChild[0]);
        ab.out = toChild[1];
        ba.in = fromChild[0];
        pathB = "(pipes)";
    } else {
        if (!openPty(b)) {
            std::perror("linesim: openpty");
            return 1;
        }
        ab.out = ba.in = b.master;
        pathB = b.path;
    }
    if (!o.linkA.empty()) {
        unlink(o.linkA.c_str());
        if (symlink(a.path.c_str(), o.linkA.c_str()) != 0) std::perror("linesim: link A");
    }
    if (!o.linkB.empty() && b.master >= 0) {
        unlink(o.linkB.c_str());
        if (symlink(b.path.c_str(), o.linkB.c_str()) != 0) std::perror("linesim: link B");
    }
    std::printf("A %s\nB %s\nready\n", a.path.c_str(), pathB.c_str());
    std::fflush(stdout);

    int status = 0;
    bool childDone = child < 0;
    for (;;) {
        if (g_stop) break;
        if (!childDone) {
            int st;
            if (waitpid(child, &st, WNOHANG) == child) {
                childDone = true;
                status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            }
        }
        // The command has ended and everything it said has crossed the line.
        if (child >= 0 && childDone && !ba.inOpen && ba.queue.empty()) break;
        // A device that hung up ends the line.
        if (!o.device.empty() && !ba.inOpen) break;

        double now = nowSeconds();
        Direction *dirs[2] = {&ab, &ba};
        bool outBlocked[2] = {false, false};
        for (int i = 0; i < 2; i++) outBlocked[i] = !deliver(*dirs[i], now);

        pollfd fds[4];
        int n = 0;
        int idxIn[2] = {-1, -1};
        double timeout = 0.5;
        for (int i = 0; i < 2; i++) {
            Direction &d = *dirs[i];
            if (wantRead(d, o, now)) {
                fds[n] = {d.in, POLLIN, 0};
                idxIn[i] = n++;
            } else if (d.inOpen && o.rate > 0 && d.wireFree > now + kReadAhead) {
                // The wire is busy: come back when it has room.
                timeout = std::min(timeout, d.wireFree - kReadAhead - now);
            }
            if (outBlocked[i]) {
                // The reader is full: wait for it, not for the clock.
                fds[n++] = {d.out, POLLOUT, 0};
            } else if (!d.queue.empty()) {
                timeout = std::min(timeout, d.queue.front().due - now);
            }
        }
        if (!childDone) timeout = std::min(timeout, 0.05);
        // Nanosecond time-outs: a byte due in 87 us must not wait a whole
        // millisecond, or every turn-around of the line costs one.
        if (timeout < 0) timeout = 0;
        timespec ts;
        ts.tv_sec = static_cast<time_t>(timeout);
        ts.tv_nsec = static_cast<long>((timeout - static_cast<double>(ts.tv_sec)) * 1e9);
        int r = ppoll(fds, static_cast<nfds_t>(n), &ts, nullptr);
        if (r < 0 && errno != EINTR) break;
        now = nowSeconds();
        for (int i = 0; i < 2; i++) {
            if (idxIn[i] >= 0 && (fds[idxIn[i]].revents & (POLLIN | POLLHUP | POLLERR))) readSide(*dirs[i], o, now);
        }
    }

    if (!o.linkA.empty()) unlink(o.linkA.c_str());
    if (!o.linkB.empty() && b.master >= 0) unlink(o.linkB.c_str());
    std::fprintf(stderr, "linesim: A->B %llu bytes, %lu bits flipped; B->A %llu bytes, %lu bits flipped\n", ab.bytes,
                 ab.flips, ba.bytes, ba.flips);
    if (child > 0 && !childDone) {
        // A command that answers SIGTERM by writing (lrzsz sends its cancel)
        // must not block on a pipe nobody reads any more; one that still
        // does not end is killed.
        close(ab.out);
        close(ba.in);
        kill(child, SIGTERM);
        for (int i = 0; i < 200 && waitpid(child, nullptr, WNOHANG) != child; i++) usleep(10000);
        if (waitpid(child, nullptr, WNOHANG) == 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
    }
    return status;
}
