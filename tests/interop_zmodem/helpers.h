// Helpers of the Zmodem interop tests: files, the library's side of a
// transfer, a progress callback that records and can stop.
#pragma once

#include "lrzsz.h"
#include "support.h"

#include <vorlex.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

namespace ztest {

inline std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto &c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

inline void writeFile(const std::string &path, const std::string &bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// Every byte value, several times, including the ones Zmodem escapes.
inline std::string everyByte() {
    std::string s;
    for (int round = 0; round < 4; round++)
        for (int b = 0; b < 256; b++) s += static_cast<char>(b);
    // Sequences that need the escaper's memory: "@" then CR, and ZDLE runs.
    s += "@\r@\x8d\x18\x18\x18\x18\x18\x11\x13\x91\x93\x10\x90";
    return s;
}

// The callback's view of the transfer; stopAt > 0 stops it once that many
// bytes were reported.
struct Watch {
    std::atomic<unsigned> calls{0};
    std::atomic<unsigned> maxBytes{0};
    std::atomic<unsigned> firstBytes{0xFFFFFFFFu};
    std::atomic<unsigned> stopAt{0};
    std::atomic<int> lastStatus{0};
    std::atomic<unsigned> files{0};
    std::atomic<unsigned> errors{0};
    std::vector<int> statuses;
};
extern Watch *g_watch;

inline LONG WINAPI watchCallback(LONG, LONG, LPCSTR, DWORD, DWORD bytes, DWORD, DWORD errors, LONG status) {
    Watch *w = g_watch;
    if (!w) return 0;
    w->calls++;
    if (status == 1) w->files++;
    if (bytes > w->maxBytes) w->maxBytes = bytes;
    if (bytes && w->firstBytes == 0xFFFFFFFFu) w->firstBytes = bytes;
    if (errors > w->errors) w->errors = errors;
    w->lastStatus = status;
    if (status > 1 && (w->statuses.empty() || w->statuses.back() != status)) w->statuses.push_back(status);
    return (w->stopAt && bytes >= w->stopAt) ? 1 : 0;
}

// A port of the library opened for a transfer without a progress window.
class LibPort {
public:
    explicit LibPort(int com, bool resume = false, bool fullPathNames = false, bool ignoreCarrier = false)
        : port_(com - 1) {
        openResult_ = Func041(port_, 77);
        if (openResult_ == 0) {
            Func090(port_, 1, resume ? 1 : 0, fullPathNames ? 1 : 0, ignoreCarrier ? 1 : 0, 60);
            Func085(port_, watchCallback);
        }
    }
    ~LibPort() {
        if (openResult_ == 0) Func122(port_, 77);
    }
    LibPort(const LibPort &) = delete;
    LibPort &operator=(const LibPort &) = delete;
    bool ok() const { return openResult_ == 0; }
    LONG port() const { return port_; }

    // Sends the files as one batch and ends it; the first failure's result.
    LONG send(const std::vector<std::string> &paths) {
        LONG r = 0;
        for (size_t i = 0; i < paths.size() && r == 0; i++)
            r = Func037(port_, nullptr, nullptr, paths[i].c_str(), static_cast<LONG>(i));
        Func037(port_, nullptr, nullptr, nullptr, -1);
        return r;
    }
    LONG receive(const std::string &dir) { return Func024(port_, nullptr, dir.c_str()); }

private:
    LONG port_;
    LONG openResult_;
};

} // namespace ztest
