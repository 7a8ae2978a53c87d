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
#include <vector>

namespace blocktest {

// Two ports of the library joined by a null-modem cable; COMa is port a-1.
// Both have noProgressWindow set (the engines run on the calling thread).
class Pair {
public:
    Pair(int comA, int comB, const WAPI_LINE_OPTIONS *line = nullptr);
    ~Pair();
    Pair(const Pair &) = delete;
    Pair &operator=(const Pair &) = delete;
    LONG a() const { return a_; }
    LONG b() const { return b_; }
    // Closes end b now (its DTR drops: the other end loses carrier).
    void closeB();

private:
    std::string nameA_, nameB_;
    LONG a_, b_;
    bool bOpen_ = true;
};

// What the progress callback of a port was told.
class Recorder {
public:
    explicit Recorder(LONG port);
    ~Recorder();
    std::vector<LONG> statuses();          // every status argument, in order
    std::vector<std::string> names();      // names of status 1 calls
    std::vector<DWORD> sizes();            // file sizes of status 1 calls
    DWORD lastBytes();
    DWORD threadId();                      // the thread of the last call
    bool saw(LONG status);
    // Waits until the status has been reported (up to ms).
    bool waitFor(LONG status, int ms);
    // Non-zero answers: stop once bytes reach this count, or at an announcement.
    std::atomic<DWORD> stopAtBytes{0};
    std::atomic<bool> stopAtAnnounce{false};

    LONG call(LONG nameLength, LPCSTR name, DWORD fileSize, DWORD bytes, DWORD errors, LONG status);

private:
    LONG port_;
    std::mutex m_;
    std::condition_variable changed_;
    std::vector<LONG> statuses_;
    std::vector<std::string> names_;
    std::vector<DWORD> sizes_;
    DWORD lastBytes_ = 0;
    DWORD threadId_ = 0;
};

// Status arguments of the callback (status index + 2).
constexpr LONG kNewFile = 1;
inline constexpr LONG statusArg(LONG index) { return index + 2; }
constexpr LONG kReceiverCanceled = 1 + 2, kTimeOut = 2 + 2, kCrcError = 4 + 2, kSenderCanceled = 5 + 2,
               kTooManyErrors = 7 + 2, kCouldNotOpen = 9 + 2, kWaitingForReceiver = 10 + 2, kSendingFile = 13 + 2,
               kReceivingFile = 15 + 2, kLostCarrier = 16 + 2, kRetransmitting = 17 + 2, kCompleted = 18 + 2,
               kBadBlock = 19 + 2, kChecksumError = 20 + 2, kWriteError = 21 + 2;

// Raw bytes through the library's port exports.
std::string readBytes(LONG port, size_t n, int ms);       // up to n bytes within ms
std::string readQuiet(LONG port, int quietMs);            // until the line is quiet
void sendBytes(LONG port, const std::string &bytes);
// One block as a sender puts it on the wire.
std::string makeBlock(int number, const std::string &data, bool crc);
// The 10 CAN and 10 backspace bytes of the cancel sequence are in text.
bool hasCancelSequence(const std::string &text);

// Files.
std::string randomBytes(size_t n, unsigned seed);
void writeFile(const std::string &path, const std::string &bytes);
std::string padded(const std::string &data);               // SUB up to a multiple of 128
// Equal bytes; on a difference, the sizes and the first differing offset
// (not the whole contents).
::testing::AssertionResult sameBytes(const std::string &got, const std::string &want);

} // namespace blocktest
