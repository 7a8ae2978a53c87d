// Shared pieces of the block-protocol tests: null-modem pairs opened
// through the library, a progress callback that records what it is told,
// a hand-driven peer for exact bytes on the wire, and file helpers.
#pragma once

#include <gtest/gtest.h>
#include <vorlex.h>
#include <winapi_ext.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace blocktest {

// Two ports of the library joined by a null-modem cable (8N1, RTS/CTS);
// COMa is port a-1. noProgressWindow is set: the engines run on the
// calling thread.
class Pair {
public:
    Pair(int comA, int comB, const WAPI_LINE_OPTIONS *line = nullptr);
    ~Pair();
    Pair(const Pair &) = delete;
    Pair &operator=(const Pair &) = delete;
    LONG a() const { return a_; }
    LONG b() const { return b_; }
    void closeB(); // its DTR drops: the other end loses carrier

private:
    std::string nameA_;
    LONG a_, b_;
    bool bOpen_ = true;
};

// What the progress callback of a port was told.
class Recorder {
public:
    explicit Recorder(LONG port);
    ~Recorder();
    struct Call {
        LONG status;
        std::string name;
        DWORD fileSize, bytes;
    };
    std::vector<Call> calls();
    bool saw(LONG status);
    bool waitFor(LONG status, int ms);
    std::vector<std::string> names(); // of the announcements (status 1)
    DWORD lastBytes();
    // Non-zero answers: once bytes reach this count, or at an announcement.
    std::atomic<DWORD> stopAtBytes{0};
    std::atomic<bool> stopAtAnnounce{false};
    LONG call(const Call &c);

private:
    LONG port_;
    std::mutex m_;
    std::condition_variable changed_;
    std::vector<Call> calls_;
};

// Status arguments of the callback (status index + 2).
constexpr LONG kNewFile = 1, kReceiverCanceled = 3, kTimeOut = 4, kCrcError = 6, kSenderCanceled = 7,
               kTooManyErrors = 9, kCouldNotOpen = 11, kWaitingForReceiver = 12, kSendingFile = 15,
               kReceivingFile = 17, kLostCarrier = 18, kRetransmitting = 19, kCompleted = 20, kBadBlock = 21,
               kWriteError = 23;

// A transfer on its own thread: Func069 (phase 0, then -1) or Func123.
struct Job {
    LONG result = -1, end = -1;
    std::thread thread;
    ~Job() { join(); }
    void join() {
        if (thread.joinable()) thread.join();
    }
};
void upload(Job &run, LONG port, LONG protocol, const std::string &path);
void download(Job &run, LONG port, LONG protocol, const std::string &dir, const char *name);

// Raw bytes through the library's port exports.
std::string readBytes(LONG port, size_t n, int ms = 3000); // up to n bytes within ms
std::string readQuiet(LONG port, int quietMs);             // until the line is quiet
void sendBytes(LONG port, const std::string &bytes);
// Sends bytes and returns the n bytes that come back (fewer after 3 s).
std::string ask(LONG port, const std::string &bytes, size_t n = 1);
std::string makeBlock(int number, const std::string &data, bool crc);
bool hasCancelSequence(const std::string &text); // 10 CAN, 10 backspaces

// Files.
std::string randomBytes(size_t n, unsigned seed);
void writeFile(const std::string &path, const std::string &bytes);
std::string padded(const std::string &data); // SUB up to a multiple of 128
// Equal bytes; on a difference the sizes and the first differing offset.
::testing::AssertionResult sameBytes(const std::string &got, const std::string &want);

} // namespace blocktest
