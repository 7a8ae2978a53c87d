// The far end of a transfer, scripted by a test on a pseudo-terminal's
// master while the library runs on its slave in a thread.
#pragma once

#include "zframes.h"
#include "support.h"

#include <vorlex.h>

#include <chrono>
#include <string>
#include <thread>

namespace zf {

class Remote {
public:
    // The library's side opens COMn with the transfer options given.
    explicit Remote(int com, bool resume = false, bool fullPathNames = false) : pty_(com), port_(com - 1) {
        ok_ = Func041(port_, 9) == 0;
        if (ok_) Func090(port_, 1, resume ? 1 : 0, fullPathNames ? 1 : 0, 0, 60);
    }
    ~Remote() {
        // Closed first: a transfer a failed test left running stops at once.
        if (ok_) Func122(port_, 9);
        if (thread_.joinable()) thread_.join();
    }
    bool ok() const { return ok_; }
    LONG port() const { return port_; }

    // Runs the library's call in a thread.
    template <class F> void start(F f) {
        thread_ = std::thread([this, f] { result_ = f(port_); });
    }
    LONG finish() {
        if (thread_.joinable()) thread_.join();
        return result_;
    }

    void send(const std::string &bytes) { pty_.send(bytes); }

    // The next header the library sent, within the time; type -1 if none.
    Frame header(int timeoutMs = 5000) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            size_t p = pos_;
            Frame f = nextHeader(got_, p);
            if (f.type >= 0) {
                pos_ = p;
                return f;
            }
            if (std::chrono::steady_clock::now() >= end) return f;
            got_ += pty_.drain(20);
        }
    }
    // The next subpacket, within the time.
    Sub subpacket(int timeoutMs = 5000, bool crc32 = true) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            size_t p = pos_;
            Sub s = nextSubpacket(got_, p, crc32);
            if (s.end) {
                pos_ = p;
                return s;
            }
            if (std::chrono::steady_clock::now() >= end) return s;
            got_ += pty_.drain(20);
        }
    }
    // Everything not yet taken, after waiting for the line to be quiet.
    std::string rest(int quietMs = 300) {
        got_ += pty_.drain(quietMs);
        std::string r = got_.substr(pos_);
        pos_ = got_.size();
        return r;
    }

private:
    testsupport::PtyPort pty_;
    LONG port_;
    bool ok_ = false;
    std::thread thread_;
    LONG result_ = -100;
    std::string got_;
    size_t pos_ = 0;
};

inline std::string fileInfo(const std::string &name, const std::string &info) {
    return name + std::string(1, '\0') + info + std::string(1, '\0');
}

} // namespace zf
