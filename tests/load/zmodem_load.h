// Zmodem batches between our own sender and receiver, many at once: each
// lane is a sender port and a receiver port on their own threads. Shared by
// the load tests and the load benchmark.
#pragma once

#include <vorlex.h>
#include <winapi_ext.h>

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace load {

using Clock = std::chrono::steady_clock;

// What each port's progress callback sees; indexed by port number.
struct PortWatch {
    std::atomic<bool> stop{false};
    std::atomic<int64_t> zrqinitAt{0}; // steady-clock ticks of "Sending ZRQINIT"
    std::atomic<uint64_t> bytes{0};
};
inline PortWatch g_watch[255];

inline LONG WINAPI watchProgress(LONG port, LONG, LPCSTR, DWORD, DWORD bytes, DWORD, DWORD, LONG status) {
    if (port < 0 || port > 254) return 0;
    PortWatch &w = g_watch[port];
    w.bytes = bytes;
    if (status == 11 + 2 && w.zrqinitAt == 0) w.zrqinitAt = Clock::now().time_since_epoch().count();
    return w.stop ? 1 : 0;
}

// A scratch directory, removed with its contents.
class Scratch {
public:
    Scratch() {
        std::string t = (std::filesystem::temp_directory_path() / "vorlex-load-XXXXXX").string();
        if (mkdtemp(t.data())) path_ = t;
    }
    ~Scratch() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Pseudo-random bytes, fast enough for a gigabyte (splitmix64).
inline void writeRandomFile(const std::string &path, uint64_t size, uint64_t seed) {
    std::ofstream f(path, std::ios::binary);
    std::vector<uint64_t> buf(1 << 16);
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (uint64_t left = size; left > 0;) {
        for (auto &w : buf) {
            uint64_t z = (x += 0x9E3779B97F4A7C15ull);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            w = z ^ (z >> 31);
        }
        uint64_t n = std::min<uint64_t>(left, buf.size() * sizeof(uint64_t));
        f.write(reinterpret_cast<const char *>(buf.data()), static_cast<std::streamsize>(n));
        left -= n;
    }
}

// Compares two files in pieces; false when either is missing.
inline bool sameFiles(const std::string &a, const std::string &b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    if (!fa || !fb) return false;
    std::vector<char> x(1 << 20), y(1 << 20);
    for (;;) {
        fa.read(x.data(), static_cast<std::streamsize>(x.size()));
        fb.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (fa.gcount() != fb.gcount()) return false;
        if (std::memcmp(x.data(), y.data(), static_cast<size_t>(fa.gcount())) != 0) return false;
        if (fa.gcount() == 0) return fa.eof() && fb.eof();
    }
}

// The kind of line between a lane's two ports.
enum class Line { NullModem, PseudoTerminal };

// Opens both ends of a lane whose line is there already.
inline bool openPorts(LONG tx, LONG rx) {
    if (Func041(tx, 0x10AD) != 0) return false;
    if (Func041(rx, 0x10AD) != 0) return false;
    for (LONG p : {tx, rx}) {
        // 115200 8N1 with RTS/CTS: the ideal line is as fast as the ends can go.
        if (Func001(p, 115200, NOPARITY, 8, 1) != 0) return false;
        Func090(p, 1, 0, 0, 0, 10); // no window; a stalled line gives up within seconds
        Func085(p, watchProgress);
    }
    return true;
}

// Makes the line between ports tx and rx (COM names tx+1, rx+1) and opens
// both; false when either open fails.
inline bool openLane(Line kind, LONG tx, LONG rx, DWORD bytesPerSecond = 0) {
    const std::string a = "COM" + std::to_string(tx + 1), b = "COM" + std::to_string(rx + 1);
    bool made;
    if (kind == Line::NullModem) {
        WAPI_LINE_OPTIONS o{};
        o.bytesPerSecond = bytesPerSecond;
        made = WapiCreateNullModemPair(a.c_str(), b.c_str(), &o);
    } else {
        made = WapiCreatePseudoTerminalPair(a.c_str(), b.c_str(), nullptr);
    }
    return made && openPorts(tx, rx);
}

inline void closeLane(LONG tx, LONG rx) {
    Func122(tx, 0x10AD);
    Func122(rx, 0x10AD);
    WapiDestroyNullModemPair(("COM" + std::to_string(tx + 1)).c_str());
}

// Lanes that are closed again when this goes, however the caller leaves.
class Lanes {
public:
    ~Lanes() {
        for (auto [tx, rx] : open_) closeLane(tx, rx);
    }
    bool open(Line kind, LONG tx, LONG rx, DWORD bytesPerSecond = 0) {
        open_.emplace_back(tx, rx);
        return openLane(kind, tx, rx, bytesPerSecond);
    }

private:
    std::vector<std::pair<LONG, LONG>> open_;
};

// One batch of files from tx into the directory out on rx.
class Transfer {
public:
    Transfer(LONG tx, LONG rx, std::string inDir, std::vector<std::string> names, std::string outDir)
        : tx_(tx), rx_(rx), in_(std::move(inDir)), names_(std::move(names)), out_(std::move(outDir)) {}
    ~Transfer() { join(); }

    void start() {
        for (LONG p : {tx_, rx_}) {
            g_watch[p].stop = false;
            g_watch[p].zrqinitAt = 0;
            g_watch[p].bytes = 0;
        }
        receiver_ = std::thread([this] {
            received = Func024(rx_, nullptr, out_.c_str());
            finished(1);
        });
        sender_ = std::thread([this] {
            sent = 0;
            for (size_t i = 0; i < names_.size() && sent == 0; i++)
                sent = Func037(tx_, nullptr, in_.c_str(), names_[i].c_str(), static_cast<LONG>(i));
            filesEnded_ = Clock::now();
            LONG end = Func037(tx_, nullptr, nullptr, nullptr, -1);
            if (sent == 0) sent = end;
            ended_ = Clock::now();
            finished(1);
        });
    }
    // Waits until both ends returned; past the deadline both are told to
    // stop, and false comes back.
    bool wait(Clock::time_point deadline) {
        std::unique_lock<std::mutex> lk(mu_);
        bool ok = cv_.wait_until(lk, deadline, [&] { return done_ == 2; });
        lk.unlock();
        if (!ok) {
            g_watch[tx_].stop = true;
            g_watch[rx_].stop = true;
        }
        join();
        return ok;
    }
    // Seconds from the sender's ZRQINIT to the end of its batch, or to the
    // end of its last file (without the closing ZFIN exchange).
    double seconds() const { return since(ended_); }
    double fileSeconds() const { return since(filesEnded_); }
    bool filesIdentical() const {
        for (const std::string &n : names_)
            if (!sameFiles(in_ + "/" + n, out_ + "/" + n)) return false;
        return !names_.empty();
    }
    LONG sent = -1, received = -1;

private:
    double since(Clock::time_point end) const {
        if (g_watch[tx_].zrqinitAt == 0) return -1;
        const Clock::time_point start{Clock::duration(g_watch[tx_].zrqinitAt.load())};
        return std::chrono::duration<double>(end - start).count();
    }
    void finished(int n) {
        std::lock_guard<std::mutex> lk(mu_);
        done_ += n;
        cv_.notify_all();
    }
    void join() {
        if (receiver_.joinable()) receiver_.join();
        if (sender_.joinable()) sender_.join();
    }
    LONG tx_, rx_;
    std::string in_;
    std::vector<std::string> names_;
    std::string out_;
    std::thread sender_, receiver_;
    Clock::time_point ended_{}, filesEnded_{};
    std::mutex mu_;
    std::condition_variable cv_;
    int done_ = 0;
};

// Resident memory in KiB, from /proc/self/status.
inline long residentKiB() {
    std::ifstream f("/proc/self/status");
    std::string key;
    while (f >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            f >> kb;
            return kb;
        }
        f.ignore(1 << 12, '\n');
    }
    return -1;
}

// Open descriptors of this process, from /proc/self/fd.
inline int openDescriptors() {
    int n = 0;
    for (const auto &e : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)e;
        n++;
    }
    return n;
}

inline int threadCount() {
    int n = 0;
    for (const auto &e : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)e;
        n++;
    }
    return n;
}

} // namespace load
