// The fuzz targets' port: one end of an in-process null-modem pair opened
// through the library, the other end held here. The port's stop event is
// set once, so every wait on it gives up at once: an input that ends early
// costs no time-out, and the engines' retries run through at full speed.
#pragma once

#include "port/port.h"
#include "transfer/transfer.h"

#include <vorlex.h>
#include <winapi_ext.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>

namespace fuzzport {

constexpr LONG kPort = 240; // COM241; the peer is COM242
constexpr DWORD kOwner = 0x465A;
constexpr DWORD kQueue = 32768;

struct Line {
    HANDLE peer = INVALID_HANDLE_VALUE;
};

inline HANDLE portHandle() { return vorlex::portRecord(kPort)->portHandle; }

inline Line &line() {
    static Line l = [] {
        // A message box answers at once instead of waiting for nobody.
        setenv("WAPI_MESSAGEBOX", "console", 1);
        Line made;
        if (!WapiCreateNullModemPair("COM241", "COM242", nullptr) ||
            Func025(kPort, kOwner, kQueue, kQueue, 0, 0, 0) != VORLEX_OPEN_OK)
            std::abort();
        made.peer = CreateFileA("COM242", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (made.peer == INVALID_HANDLE_VALUE) std::abort();
        SetupComm(made.peer, kQueue * 2, kQueue * 2);
        COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 2000};
        SetCommTimeouts(made.peer, &t);
        SetEvent(vorlex::portRecord(kPort)->stopEvent);
        return made;
    }();
    return l;
}

// What the library sent so far is thrown away.
inline void drainPeer() { PurgeComm(line().peer, PURGE_RXCLEAR | PURGE_TXCLEAR); }

// Everything the library sent since the last drain.
inline std::string takeSent() {
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(line().peer, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
    return out;
}

// Puts the bytes in the port's receive queue (whatever was there is
// dropped); false when they did not all arrive.
inline bool feed(const void *bytes, size_t size) {
    Line &l = line();
    PurgeComm(portHandle(), PURGE_RXCLEAR);
    drainPeer();
    if (size > kQueue) size = kQueue;
    DWORD written = 0;
    if (size && (!WriteFile(l.peer, bytes, static_cast<DWORD>(size), &written, nullptr) || written != size))
        return false;
    for (int i = 0; i < 1000; i++) {
        COMSTAT st{};
        DWORD errors;
        ClearCommError(portHandle(), &errors, &st);
        if (st.cbInQue >= size) return true;
        Sleep(0);
    }
    return false;
}
inline bool feed(const std::string &s) { return feed(s.data(), s.size()); }

// For a receiver that empties the port when it starts: the input goes to
// the line once the receiver has sent its first byte (from a thread, while
// the receiver runs in call), and only then does the stop event end the
// waits. The result of call.
template <class Call> LONG feedOnFirstByte(const std::string &input, Call call) {
    Line &l = line();
    HANDLE stop = vorlex::portRecord(kPort)->stopEvent;
    ResetEvent(stop);
    drainPeer();
    std::thread peer([&] {
        COMMTIMEOUTS wait{0, 0, 0, 0, 2000}, back{MAXDWORD, 0, 0, 0, 2000};
        wait.ReadTotalTimeoutConstant = 2000;
        SetCommTimeouts(l.peer, &wait);
        char first;
        DWORD got = 0;
        ReadFile(l.peer, &first, 1, &got, nullptr);
        SetCommTimeouts(l.peer, &back);
        DWORD written = 0;
        if (!input.empty()) WriteFile(l.peer, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
        SetEvent(stop);
    });
    const LONG result = call();
    peer.join();
    SetEvent(stop);
    return result;
}

// With FUZZ_VERBOSE set, a receiver's result and what was sent back are
// shown, to see what a corpus file reaches.
inline void report(LONG result) {
    if (!std::getenv("FUZZ_VERBOSE")) return;
    std::string sent = takeSent();
    for (char &c : sent)
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '.';
    std::fprintf(stderr, "result %ld, sent %zu bytes: %.200s\n", static_cast<long>(result), sent.size(), sent.c_str());
}

// A transfer record on the port's session, fresh for each input, for the
// targets that call the engines' readers directly.
inline vorlex::TransferRecord &freshTransfer() {
    line();
    static void *block = ::operator new(sizeof(vorlex::TransferRecord));
    static vorlex::TransferRecord *t = nullptr;
    if (t) t->~TransferRecord();
    t = new (block) vorlex::TransferRecord();
    t->fileHandle = INVALID_HANDLE_VALUE;
    t->reportNamePointer = t->reportName;
    vorlex::sessionAt(kPort).transfer.store(t);
    return *t;
}
inline void dropTransfer() { vorlex::sessionAt(kPort).transfer.store(nullptr); }

} // namespace fuzzport
