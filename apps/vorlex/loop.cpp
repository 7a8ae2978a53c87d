// vorlex loop: makes a null-modem pair and a pseudo-terminal pair, drives
// both ends of each through the library's exports and tells what went wrong.
#include "commands.h"

#include "port/port.h"

#include <vorlex.h>
#include <winapi_ext.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int g_failures = 0;

void check(bool ok, const char *what, const std::string &detail = "") {
    std::printf("  %-44s %s%s%s\n", what, ok ? "ok" : "FAILED", detail.empty() ? "" : "  ", detail.c_str());
    if (!ok) g_failures++;
}

std::string quoted(const char *s, int n) {
    std::string out = "\"";
    for (int i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char buf[8];
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out + "\"";
}

std::string statusText(LONG s) {
    std::string t;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%02lXh", static_cast<unsigned long>(s));
    t = hex;
    if (s & MS_CTS_ON) t += " CTS";
    if (s & MS_DSR_ON) t += " DSR";
    if (s & MS_RING_ON) t += " RI";
    if (s & MS_RLSD_ON) t += " CD";
    return t;
}

// Waits until the port has at least n bytes queued, at most about a second.
void awaitQueued(LONG port, LONG n) {
    for (int i = 0; i < 18 && Func062(port) < n; i++) Func012(nullptr, 1);
}

void drive(const char *title, LONG a, LONG b, bool modemLines) {
    std::printf("%s: port %ld (COM%ld) <-> port %ld (COM%ld)\n", title, static_cast<long>(a), static_cast<long>(a + 1),
                static_cast<long>(b), static_cast<long>(b + 1));
    LONG ra = Func041(a, 0x4C4F4F50);
    LONG rb = Func041(b, 0x4C4F4F50);
    check(ra == 0 && rb == 0, "open both ends", "results " + std::to_string(ra) + ", " + std::to_string(rb));
    if (ra != 0 || rb != 0) {
        Func122(a, 0x4C4F4F50);
        Func122(b, 0x4C4F4F50);
        return;
    }
    LONG la = Func001(a, 115200, NOPARITY, 8, 1), lb = Func001(b, 115200, NOPARITY, 8, 1);
    LineSettings s{};
    Func039(a, &s);
    check(la == 0 && lb == 0 && s.baudRate == 115200 && s.baudCode == 8 && s.dataBits == 8 && s.stopBits == 1,
          "115200 8N1 with RTS/CTS", std::to_string(s.baudRate) + " baud, code " + std::to_string(s.baudCode));

    const char *text = "Hello from vorlex\r\n";
    LONG sent = Func003(a, text);
    awaitQueued(b, sent);
    char buf[VORLEX_TERMINATED_MAX];
    LONG got = Func009(b, buf, '\n');
    check(sent == 19 && got == 18 && !std::strncmp(buf, text, 18), "text, read up to LF",
          "sent " + std::to_string(sent) + ", read " + quoted(buf, got > 0 ? got : 0));

    sent = Func038(a, "ATZ^M");
    awaitQueued(b, 4);
    got = Func071(b, buf);
    check(sent == 4 && got == 4 && !std::memcmp(buf, "ATZ\r", 4), "modem command text ATZ^M",
          "read " + quoted(buf, got > 0 ? got : 0));

    const char block[] = "CRC guarded block";
    sent = Func050(a, block, 17);
    awaitQueued(b, 21);
    got = Func016(b, buf, 17);
    check(sent == 21 && got == 17 && !std::memcmp(buf, block, 17), "CRC-32 guarded block",
          "sent " + std::to_string(sent) + ", accepted " + std::to_string(got));

    bool bytesOk = true;
    for (int v : {0x00, 0x11, 0x13, 0x7F, 0xFF}) {
        if (Func120(a, v) != 1 || Func110(b, nullptr, 2) != v) bytesOk = false;
    }
    check(bytesOk && Func026(b) == VORLEX_NO_BYTE, "single bytes 00 11 13 7F FF, then none");

    Func056(a, 1);
    LONG on = Func010(b);
    LONG carrierOn = Func052(b);
    Func056(a, 0);
    LONG off = Func010(b);
    LONG carrierOff = Func052(b);
    if (modemLines)
        check(carrierOn == 1 && carrierOff == 0 && (on & MS_DSR_ON) && !(off & MS_DSR_ON), "DTR up and down",
              "other end sees " + statusText(on) + ", then " + statusText(off));
    else
        check(carrierOn == 1 && carrierOff == 1, "DTR up and down (no modem lines)",
              "other end sees " + statusText(on) + ", then " + statusText(off));
    Func056(a, 1);

    Func063(a);
    DWORD errors = 0;
    COMSTAT st;
    ClearCommError(Func048(b), &errors, &st);
    if (modemLines)
        check((errors & CE_BREAK) != 0, "break", "other end's error word " + std::to_string(errors));
    else
        check(true, "break (a pseudo-terminal has none)");

    for (LONG p : {a, b}) {
        vorlex::PortRecord *r = vorlex::portRecord(p);
        std::printf("  port %ld errors: CTS timeouts %lu, DSR timeouts %lu, overruns %lu, receive queue overruns %lu, "
                    "transmit queue full %lu\n",
                    static_cast<long>(p), static_cast<unsigned long>(r->ctsTimeouts),
                    static_cast<unsigned long>(r->dsrTimeouts), static_cast<unsigned long>(r->overrunErrors),
                    static_cast<unsigned long>(r->rxQueueOverruns), static_cast<unsigned long>(r->txQueueFull));
    }
    check(Func122(a, 0x4C4F4F50) == 0 && Func122(b, 0x4C4F4F50) == 0, "close both ends");
}

} // namespace

int cmdLoop(int, char **) {
    // Port numbers 199..202 are COM200..COM203.
    if (!WapiCreateNullModemPair("COM200", "COM201", nullptr)) {
        std::fprintf(stderr, "vorlex loop: cannot make the null-modem pair (error %lu)\n",
                     static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    drive("null-modem pair", 199, 200, true);
    char slave[64];
    if (!WapiCreatePseudoTerminalPair("COM202", "COM203", slave)) {
        std::fprintf(stderr, "vorlex loop: cannot make the pseudo-terminal pair (error %lu)\n",
                     static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    std::printf("\n");
    drive(("pseudo-terminal pair (slave " + std::string(slave) + ")").c_str(), 201, 202, false);
    std::printf("\n%s\n", g_failures ? "Something went wrong: see the FAILED lines above." : "Everything worked.");
    return g_failures ? 1 : 0;
}
