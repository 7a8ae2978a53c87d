// The port layer through vorlex.h: opens and their results, line and flow
// settings read back through Win32, each write shape checked at the other
// end, each read shape fed from it, time limits, traces and capture files.
#include "check.h"
#include "peer.h"

#include <vorlex.h>

#include <string>

namespace {

constexpr DWORD kOwner = 0x1234;
constexpr int kCom = 1;
const LONG kPort = peer::portOf(kCom);

// The port open for one case, the other end emptied.
struct Open {
    LONG result;
    explicit Open(LONG port = kPort) : port_(port) {
        result = Func041(port_, kOwner);
        CHECK_EQ(result, VORLEX_OPEN_OK);
        peer::drain(port_ + 1);
    }
    ~Open() {
        if (result == VORLEX_OPEN_OK) Func122(port_, kOwner);
    }
    LONG port_;
};

// Waits (pumping messages) until count bytes are queued.
bool queued(LONG port, LONG count) {
    for (int i = 0; i < 60 && Func062(port) < count; i++) Func012(nullptr, 1);
    return Func062(port) >= count;
}

DCB state(LONG port) {
    DCB d{};
    d.DCBlength = sizeof d;
    CHECK(GetCommState(Func048(port), &d));
    return d;
}

} // namespace

CASE(port_open_results) {
    CHECK_EQ(Func041(-1, kOwner), VORLEX_OPEN_BAD_PORT);
    CHECK_EQ(Func041(255, kOwner), VORLEX_OPEN_BAD_PORT);
    CHECK_EQ(Func041(199, kOwner), VORLEX_OPEN_NO_UART); // COM200 names no device
    CHECK_EQ(Func041(kPort, kOwner), VORLEX_OPEN_OK);
    CHECK(Func048(kPort) != nullptr && Func048(kPort) != INVALID_HANDLE_VALUE);
    CHECK_EQ(Func041(kPort, kOwner), VORLEX_OPEN_ALREADY_OPEN);
    CHECK_EQ(Func122(kPort, kOwner + 1), VORLEX_CLOSE_WRONG_OWNER);
    CHECK_EQ(Func122(kPort, kOwner), VORLEX_CLOSE_OK);
    CHECK_EQ(Func122(kPort, kOwner), VORLEX_CLOSE_NOT_OPEN);
    CHECK_EQ(Func122(300, kOwner), VORLEX_CLOSE_BAD_PORT);
    CHECK(Func048(kPort) == INVALID_HANDLE_VALUE);
    // A closed port can be opened again at once.
    CHECK_EQ(Func041(kPort, kOwner), VORLEX_OPEN_OK);
    CHECK_EQ(Func122(kPort, kOwner), VORLEX_CLOSE_OK);
}

CASE(port_in_use_by_another_opener) {
    if (peer::onWine()) {
        // Wine opens a serial device any number of times, share mode 0 or not.
        check::skip("Wine gives no exclusive access to a serial port");
        return;
    }
    HANDLE mine = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    CHECK(mine != INVALID_HANDLE_VALUE);
    CHECK_EQ(Func041(kPort, kOwner), VORLEX_OPEN_IN_USE);
    CloseHandle(mine);
    // And the other way round: the library's handle keeps others out.
    CHECK_EQ(Func041(kPort, kOwner), VORLEX_OPEN_OK);
    HANDLE second = CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    CHECK(second == INVALID_HANDLE_VALUE);
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    CHECK_EQ(Func122(kPort, kOwner), VORLEX_CLOSE_OK);
}

CASE(port_attach_and_detach) {
    HANDLE h = CreateFileA("COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    CHECK(h != INVALID_HANDLE_VALUE);
    peer::drain(2);
    CHECK_EQ(Func076(1, kOwner, h), VORLEX_OPEN_OK);
    CHECK(Func048(1) == h);
    CHECK_EQ(Func003(1, "attached"), 8);
    CHECK_EQ(peer::recv(2, 8, 2000), "attached");
    Func060(1, kOwner);
    CHECK(Func048(1) == INVALID_HANDLE_VALUE);
    // The handle is the caller's again: still open and usable.
    OVERLAPPED o{};
    o.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD done = 0;
    if (!WriteFile(h, "!", 1, &done, &o) && GetLastError() == ERROR_IO_PENDING) GetOverlappedResult(h, &o, &done, TRUE);
    CHECK_EQ(done, 1UL);
    CHECK_EQ(peer::recv(2, 1, 2000), "!");
    CloseHandle(o.hEvent);
    CHECK(CloseHandle(h));
}

CASE(port_line_settings_round_trip) {
    Open port;
    struct Row {
        LONG baud, parity, dataBits, stopBits;
        WORD code;
    } rows[] = {{115200, NOPARITY, 8, 1, 8}, {57600, NOPARITY, 8, 2, 7},  {9600, NOPARITY, 8, 1, 4},
                {2400, NOPARITY, 8, 2, 2},   {19200, NOPARITY, 8, 1, 5}, {300, NOPARITY, 8, 1, 0}};
    for (const Row &row : rows) {
        CHECK_EQ(Func001(kPort, row.baud, row.parity, row.dataBits, row.stopBits), VORLEX_LINE_OK);
        LineSettings s{};
        CHECK_EQ(Func039(kPort, &s), 0);
        CHECK_EQ(s.baudRate, static_cast<DWORD>(row.baud));
        CHECK_EQ(s.baudCode, row.code);
        CHECK_EQ(s.dataBits, static_cast<WORD>(row.dataBits));
        CHECK_EQ(s.stopBits, static_cast<WORD>(row.stopBits));
        CHECK_EQ(s.parity, static_cast<WORD>(row.parity));
        DCB d = state(kPort);
        CHECK_EQ(d.BaudRate, static_cast<DWORD>(row.baud));
        CHECK_EQ(d.StopBits, row.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT);
    }
    CHECK_EQ(Func001(77, 9600, NOPARITY, 8, 1), VORLEX_LINE_BAD_PORT);
}

CASE(port_flow_control_settings) {
    Open port;
    CHECK_EQ(Func001(kPort, 115200, NOPARITY, 8, 1), VORLEX_LINE_OK);
    const bool wine = peer::onWine();
    for (int bits = 0; bits < 8; bits++) {
        LONG rts = bits & 1, xon = (bits >> 1) & 1, dtr = (bits >> 2) & 1;
        Func032(kPort, rts, xon, dtr);
        DCB d = state(kPort);
        CHECK_EQ(d.fOutxCtsFlow, static_cast<DWORD>(rts));
        CHECK_EQ(d.fOutX, static_cast<DWORD>(xon));
        CHECK_EQ(d.fInX, static_cast<DWORD>(xon));
        if (wine) continue;
        CHECK_EQ(d.fRtsControl, static_cast<DWORD>(rts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE));
        CHECK_EQ(d.fOutxDsrFlow, static_cast<DWORD>(dtr));
        CHECK_EQ(d.fDtrControl, static_cast<DWORD>(dtr ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE));
    }
    // Wine reads RTS handshaking back as RTS_CONTROL_ENABLE, and has no
    // DTR/DSR flow control on Linux (our layer emulates it).
    if (wine) peer::note("Wine: RTS handshake and DTR/DSR flow not read back");
    Func032(kPort, 0, 0, 0);
}

CASE(port_write_shapes) {
    Open port;
    Func001(kPort, 115200, NOPARITY, 8, 1);
    Func032(kPort, 0, 0, 0);
    struct Row {
        const char *name;
        LONG (*send)();
        LONG result;
        std::string wire;
    } rows[] = {
        {"byte", [] { return Func120(kPort, 0xE9); }, 1, "\xE9"},
        {"each", [] { return Func057(kPort, "ab\0c", 4); }, 4, std::string("ab\0c", 4)},
        {"block", [] { return Func022(kPort, "block of bytes", 14); }, 14, "block of bytes"},
        {"text", [] { return Func003(kPort, "hello\r\n"); }, 7, "hello\r\n"},
        {"modem command", [] { return Func038(kPort, "ATDT5551234^M{"); }, 13, "ATDT5551234\r\r"},
        {"caret text", [] { return Func112(kPort, "^a^Z^[^[<x"); }, 5, "\x01\x1a\x1b\x7fx"},
        {"crc block", [] { return Func050(kPort, "123456789", 9); }, 13, std::string("123456789\x26\x39\xF4\xCB", 13)},
    };
    for (const Row &row : rows) {
        CHECK_EQ(row.send(), row.result);
        std::string got = peer::recv(kCom, row.wire.size(), 3000);
        if (!CHECK_EQ(got, row.wire)) std::printf("  (%s)\n", row.name);
    }
    // A tilde waits half a second between the bytes around it.
    DWORD start = GetTickCount();
    CHECK_EQ(Func038(kPort, "A~B"), 2);
    DWORD took = GetTickCount() - start;
    CHECK(took >= 450 && took < 1500);
    CHECK_EQ(peer::recv(kCom, 2, 2000), "AB");
    CHECK_EQ(Func117(kPort), 0);
    CHECK(Func086(kPort) > 0);
}

CASE(port_read_shapes) {
    Open port;
    Func001(kPort, 115200, NOPARITY, 8, 1);
    CHECK_EQ(Func026(kPort), VORLEX_NO_BYTE);
    CHECK_EQ(Func058(kPort), 1);
    peer::send(kCom, std::string("\x00\xFFz", 3));
    CHECK(queued(kPort, 3));
    CHECK_EQ(Func058(kPort), 0);
    CHECK_EQ(Func026(kPort), 0x00);
    CHECK_EQ(Func110(kPort, nullptr, 1), 0xFF);
    CHECK_EQ(Func026(kPort), 'z');
    CHECK_EQ(Func026(kPort), VORLEX_NO_BYTE);

    char buf[2048];
    peer::send(kCom, "all of it");
    CHECK(queued(kPort, 9));
    CHECK_EQ(Func071(kPort, buf), 9);
    CHECK_EQ(std::string(buf), "all of it");

    peer::send(kCom, "0123456789");
    CHECK(queued(kPort, 10));
    CHECK_EQ(Func015(kPort, buf, 4), 4);
    CHECK_EQ(std::string(buf), "0123");
    CHECK_EQ(Func062(kPort), 6);
    CHECK_EQ(Func015(kPort, buf, 100), 6);
    CHECK_EQ(std::string(buf), "456789");

    // Printable text: carriage returns become spaces, other controls go.
    peer::send(kCom, "\r\nCONNECT 57600\r\n\x07");
    CHECK(queued(kPort, 17));
    CHECK_EQ(Func014(kPort, buf), 15);
    CHECK_EQ(std::string(buf), " CONNECT 57600 ");
    CHECK_EQ(Func040(buf), 57600);

    // Up to a terminator, the rest stays queued; bytes still on their way are waited for.
    peer::send(kCom, "first;second");
    CHECK(queued(kPort, 12));
    CHECK_EQ(Func009(kPort, buf, ';'), 5);
    CHECK_EQ(std::string(buf), "first");
    CHECK_EQ(Func062(kPort), 6);
    Func023(kPort);
    CHECK_EQ(Func062(kPort), 0);

    // CRC-guarded blocks: a good one, then a damaged one.
    std::string block = std::string("123456789\x26\x39\xF4\xCB", 13);
    peer::send(kCom, block);
    CHECK(queued(kPort, 13));
    CHECK_EQ(Func016(kPort, buf, 9), 9);
    CHECK_EQ(std::string(buf), "123456789");
    block[3] ^= 1;
    peer::send(kCom, block);
    CHECK(queued(kPort, 13));
    CHECK_EQ(Func016(kPort, buf, 9), VORLEX_NO_BYTE);
    Func129(kPort);
    CHECK_EQ(Func058(kPort), 1);
}

// Func110's limit holds whatever the driver does with the read time-outs:
// right after the open, after line settings, and it ends at once when a
// byte comes.
CASE(port_wait_limit) {
    for (int settings = 0; settings < 2; settings++) {
        Open port;
        if (settings) CHECK_EQ(Func001(kPort, 115200, NOPARITY, 8, 1), VORLEX_LINE_OK);
        DWORD start = GetTickCount();
        CHECK_EQ(Func110(kPort, nullptr, 2), VORLEX_WAIT_TIMEOUT);
        DWORD took = GetTickCount() - start;
        if (!CHECK(took >= 1900 && took < 3500)) std::printf("  took %lu ms (settings %d)\n", took, settings);
        // The port still reads after the limit.
        peer::send(kCom, "k");
        CHECK_EQ(Func110(kPort, nullptr, 2), 'k');
    }
    Open port;
    peer::request("later 1 300 51");
    DWORD start = GetTickCount();
    CHECK_EQ(Func110(kPort, nullptr, 5), 'Q');
    DWORD took = GetTickCount() - start;
    CHECK(took >= 200 && took < 1500);
}

CASE(port_modem_result_texts) {
    struct Row {
        const char *text;
        LONG speed;
    } rows[] = {{"CONNECT 9600", 9600}, {"connect 9600/arq", 9600}, {"CARRIER 28800\r\nCONNECT 57600\r\n", 28800},
                {"CONNECT", 0},         {"NO CARRIER", 0},              {"OK", 0}};
    for (const Row &row : rows) CHECK_EQ(Func040(row.text), row.speed);
    CHECK_EQ(Func084("xx connect yy", "CONNECT"), 4);
    CHECK_EQ(Func084("abc", "d"), 0);
}

CASE(port_trace_file) {
    std::string dir = peer::work();
    std::string file = peer::local(dir + "/trace.cap");
    CHECK_EQ(Func113(kPort, kOwner, 1, 1, file.c_str()), VORLEX_OPEN_OK);
    peer::drain(kCom);
    CHECK_EQ(Func057(kPort, "AT", 2), 2);
    CHECK_EQ(Func120(kPort, 'x'), 1);
    CHECK_EQ(peer::recv(kCom, 3, 2000), "ATx");
    peer::send(kCom, "OK\r");
    CHECK_EQ(Func110(kPort, nullptr, 2), 'O');
    char buf[16];
    CHECK(queued(kPort, 2));
    CHECK_EQ(Func071(kPort, buf), 2);
    CHECK_EQ(Func122(kPort, kOwner), VORLEX_CLOSE_OK);
    CHECK_EQ(peer::readFile(file), "<O: AT><O: x>OK\r");
}

CASE(port_capture_file) {
    std::string file = peer::local(peer::work() + "/capture.cap");
    Open port;
    CHECK_EQ(Func067(kPort, 1), VORLEX_CAPTURE_OK);
    Func068(kPort, file.c_str());
    Func004(kPort, "text ");
    Func072(kPort, 'b');
    Func087(kPort, "\0\x01\x02", 3);
    CHECK_EQ(Func067(kPort, 0), VORLEX_CAPTURE_OK);
    CHECK_EQ(peer::readFile(file), std::string("text b\0\x01\x02", 9));
}
