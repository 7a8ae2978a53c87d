// Bytes per second through the terminal's whole receive path with headless
// painting: the far end of a null-modem cable writes a stream as fast as
// RTS/CTS lets it, the terminal reads, interprets, scrolls and paints it;
// the time ends when the terminal answers a device status request sent
// after the stream (it answers only once everything before it is shown).
#include "streams.h"

#include <vorlex.h>
#include <windows.h>
#include <winapi_ext.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

constexpr LONG kPort = 59; // COM60

class Terminal {
public:
    Terminal() {
        WapiCreateNullModemPair("COM60", "COM61", nullptr);
        peer_ = CreateFileA("COM61", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(peer_, &dcb);
        dcb.BaudRate = 115200;
        dcb.fOutxCtsFlow = TRUE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        SetCommState(peer_, &dcb);
        COMMTIMEOUTS to{};
        to.ReadIntervalTimeout = 200;
        to.ReadTotalTimeoutConstant = 60000;
        SetCommTimeouts(peer_, &to);
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        app_ = std::thread([this, ready] {
            thread_ = GetCurrentThreadId();
            Func041(kPort, 1);
            Func001(kPort, 115200, 0, 8, 1);
            Func032(kPort, 1, 0, 0); // RTS/CTS
            created_ = Func028(kPort, nullptr, 7, 0);
            SetEvent(ready);
            MSG m;
            while (GetMessageA(&m, nullptr, 0, 0) > 0) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            Func122(kPort, 1);
        });
        WaitForSingleObject(ready, 10000);
        CloseHandle(ready);
    }
    ~Terminal() {
        // Off-line first, so that closing the frame asks nothing.
        EscapeCommFunction(peer_, CLRDTR);
        if (HWND frame = FindWindowA("VorlexTerm", nullptr)) PostMessageA(frame, WM_CLOSE, 0, 0);
        for (int i = 0; i < 500 && Func007(kPort); i++) Sleep(10);
        PostThreadMessageA(thread_, WM_QUIT, 0, 0);
        app_.join();
        CloseHandle(peer_);
        WapiDestroyNullModemPair("COM60");
    }
    bool ok() const { return created_ == 0; }
    // Writes the bytes and a status request; true once the answer came.
    bool shown(const std::string &bytes) {
        const std::string all = bytes + "\033[6n";
        DWORD n = 0;
        if (!WriteFile(peer_, all.data(), DWORD(all.size()), &n, nullptr) || n != all.size()) return false;
        char reply[16];
        for (DWORD got = 0; got < sizeof reply;) {
            if (!ReadFile(peer_, reply + got, 1, &n, nullptr) || n == 0) return false;
            if (reply[got++] == 'R') return true;
        }
        return false;
    }

private:
    HANDLE peer_ = INVALID_HANDLE_VALUE;
    std::thread app_;
    std::atomic<DWORD> thread_{0};
    std::atomic<LONG> created_{-1};
};

void receivePath(benchmark::State &state) {
    const std::string *streams[] = {nullptr, nullptr, nullptr};
    static const std::string plain = plainText(), sgr = sgrHeavy(), lines = lineDrawing();
    streams[0] = &plain, streams[1] = &sgr, streams[2] = &lines;
    const std::string &bytes = *streams[state.range(0)];
    Terminal terminal;
    if (!terminal.ok()) {
        state.SkipWithError("no terminal");
        return;
    }
    // Line drawing needs the VT100 character sets; the text is the same for the ANSI type.
    for (auto _ : state)
        if (!terminal.shown(bytes)) {
            state.SkipWithError("the terminal did not answer");
            break;
        }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

} // namespace

// stream 0: plain text, 1: SGR-heavy ANSI, 2: line drawing (shown as
// ANSI text, the character-set switches ignored)
BENCHMARK(receivePath)->ArgName("stream")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
