// Line settings, flow control, the event mask, options, modem lines and break.
#include "port/port.h"
#include "support.h"

#include <gtest/gtest.h>
#include <vorlex.h>
#include <winapi_ext.h>

#include <chrono>

using testsupport::PtyPort;
using Clock = std::chrono::steady_clock;

namespace {

const DWORD kOwner = 9;

DCB stateOf(LONG port) {
    DCB d{};
    d.DCBlength = sizeof d;
    GetCommState(Func048(port), &d);
    return d;
}

TEST(LineSettings, RangesAndReadBack) {
    PtyPort pty(71);
    ASSERT_EQ(Func041(70, kOwner), VORLEX_OPEN_OK);
    EXPECT_EQ(Func001(71, 9600, 0, 8, 1), VORLEX_LINE_BAD_PORT);
    EXPECT_EQ(Func001(-1, 9600, 0, 8, 1), VORLEX_LINE_BAD_PORT);
    const LONG bad[][4] = {{9, 0, 8, 1},    {256001, 0, 8, 1}, {9600, 5, 8, 1}, {9600, -1, 8, 1},
                           {9600, 0, 3, 1}, {9600, 0, 9, 1},   {9600, 0, 8, 0}, {9600, 0, 8, 3}};
    const DCB before = stateOf(70);
    for (const auto &b : bad) EXPECT_EQ(Func001(70, b[0], b[1], b[2], b[3]), VORLEX_LINE_REFUSED) << b[0];
    const DCB after = stateOf(70);
    EXPECT_EQ(after.BaudRate, before.BaudRate); // a refusal changes nothing
    EXPECT_EQ(after.ByteSize, before.ByteSize);
    EXPECT_EQ(after.XonLim, before.XonLim);
    ASSERT_EQ(Func001(70, 57600, EVENPARITY, 7, 2), VORLEX_LINE_OK);
    LineSettings s{};
    ASSERT_EQ(Func039(70, &s), 0);
    EXPECT_EQ(s.baudRate, 57600u);
    EXPECT_EQ(s.baudCode, 7);
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.stopBits, 2);
    EXPECT_EQ(s.parity, EVENPARITY);
    DCB d = stateOf(70);
    EXPECT_EQ(d.XonLim, 100);
    EXPECT_EQ(d.XoffLim, 100);
    EXPECT_EQ(d.XonChar, 0x11);
    EXPECT_EQ(d.XoffChar, 0x13);
    EXPECT_EQ(d.fBinary, 1u);
    EXPECT_EQ(d.fParity, 1u);
    EXPECT_EQ(d.fOutxCtsFlow, 1u);
    EXPECT_EQ(d.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    struct {
        LONG baud;
        WORD code;
    } codes[] = {{300, 0}, {14400, 0}, {1200, 1}, {56000, 7}, {115200, 8}, {10, 0}, {256000, 0}};
    for (auto c : codes) {
        ASSERT_EQ(Func001(70, c.baud, NOPARITY, 8, 1), VORLEX_LINE_OK) << c.baud;
        Func039(70, &s);
        EXPECT_EQ(s.baudRate, static_cast<DWORD>(c.baud));
        EXPECT_EQ(s.baudCode, c.code) << c.baud;
    }
    // Data bits 4 pass the library's check; the device refuses them.
    EXPECT_EQ(Func001(70, 9600, NOPARITY, 4, 1), VORLEX_LINE_REFUSED);
    EXPECT_EQ(Func039(-1, &s), 1);
    EXPECT_EQ(Func122(70, kOwner), 0);
}

TEST(LineSettings, FlowControlChoices) {
    PtyPort pty(72);
    ASSERT_EQ(Func025(71, kOwner, 0, 0, 1, 0, 1), VORLEX_OPEN_OK);
    ASSERT_EQ(Func001(71, 9600, NOPARITY, 8, 1), VORLEX_LINE_OK);
    DCB d = stateOf(71);
    EXPECT_EQ(d.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(d.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(d.fOutxDsrFlow, 0u); // RTS/CTS wins over DTR/DSR
    // Func032 keeps both when both are asked for, and leaves the limits alone.
    Func032(71, 1, 1, 1);
    d = stateOf(71);
    EXPECT_EQ(d.fOutxCtsFlow, 1u);
    EXPECT_EQ(d.fOutxDsrFlow, 1u);
    EXPECT_EQ(d.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
    EXPECT_EQ(d.fOutX, 1u);
    EXPECT_EQ(d.fInX, 1u);
    EXPECT_EQ(d.XonLim, 100);
    Func032(71, 0, 0, 0);
    d = stateOf(71);
    EXPECT_EQ(d.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_EQ(d.fOutX, 0u);
    // New line settings keep the flow control chosen last.
    ASSERT_EQ(Func001(71, 19200, NOPARITY, 8, 1), VORLEX_LINE_OK);
    d = stateOf(71);
    EXPECT_EQ(d.fOutxCtsFlow, 0u);
    EXPECT_EQ(d.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    Func032(-1, 1, 1, 1);
    EXPECT_EQ(Func122(71, kOwner), 0);
}

TEST(Options, EventMaskPauseAndTransferOptions) {
    PtyPort pty(73);
    ASSERT_EQ(Func041(72, kOwner), VORLEX_OPEN_OK);
    auto mask = [] {
        DWORD m = 0xDEAD;
        GetCommMask(Func048(72), &m);
        return m;
    };
    // Events on, paused and back; off.
    const struct {
        LONG events, pause;
        DWORD mask;
    } steps[] = {{0xB0, -1, EV_RXCHAR}, {-1, 1, 0}, {-1, 0, EV_RXCHAR}, {0, -1, 0}};
    for (const auto &s : steps) {
        if (s.events >= 0) EXPECT_EQ(Func077(72, nullptr, s.events), 0);
        if (s.pause >= 0) Func116(72, s.pause);
        EXPECT_EQ(mask(), s.mask) << s.events << " " << s.pause;
    }
    EXPECT_EQ(Func077(-1, nullptr, 1), 1);

    // No export reads the transfer time-out back, and its floor of 60
    // seconds shows only in a transfer that waits a minute: read the record.
    Func090(72, 1, 0, 1, 1, 30);
    EXPECT_EQ(vorlex::portRecord(72)->transferTimeout, 60);
    Func090(72, 0, 1, 0, 0, 600);
    EXPECT_EQ(vorlex::portRecord(72)->transferTimeout, 600);
    Func090(300, 1, 1, 1, 1, 100);
    Func070(-2, 1, 1, 1);
    EXPECT_EQ(Func122(72, kOwner), 0);
}

TEST(Options, ADeviceWithoutCommStateRefusesMasksAndLineSettings) {
    testsupport::TempDir dir;
    HANDLE file = CreateFileA(dir.file("plain").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_EQ(Func076(73, kOwner, file), VORLEX_OPEN_OK);
    EXPECT_EQ(Func077(73, nullptr, 1), 1);
    EXPECT_EQ(Func077(73, nullptr, 0), 1);
    // A device that cannot report its state gives its Win32 error number.
    LONG result = Func001(73, 99, 9, 9, 9);
    EXPECT_EQ(result, static_cast<LONG>(GetLastError()));
    EXPECT_NE(result, 0);
    EXPECT_NE(Func001(73, 9600, 0, 8, 1), 0);
    EXPECT_EQ(Func122(73, kOwner), 0);
}

TEST(ModemLines, ThroughANullModemCable) {
    ASSERT_TRUE(WapiCreateNullModemPair("COM81", "COM82", nullptr));
    ASSERT_EQ(Func041(80, kOwner), VORLEX_OPEN_OK);
    ASSERT_EQ(Func041(81, kOwner), VORLEX_OPEN_OK);
    EXPECT_EQ(Func010(81), static_cast<LONG>(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON));
    EXPECT_EQ(Func052(81), 1);
    Func056(80, 0);
    EXPECT_EQ(Func052(81), 0);
    EXPECT_EQ(Func010(81), static_cast<LONG>(MS_CTS_ON));
    Func061(80, 0);
    EXPECT_EQ(Func010(81), 0);
    Func061(80, 1);
    Func056(80, 1);
    EXPECT_EQ(Func010(81), 0xB0);
    EXPECT_EQ(Func053(81), 0);
    WapiSetNullModemRing("COM82", TRUE);
    EXPECT_EQ(Func053(81), 1);
    WapiSetNullModemRing("COM82", FALSE);

    // Hang-up drops DTR and waits about half a second.
    auto t0 = Clock::now();
    EXPECT_EQ(Func055(80), 0);
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(480));
    EXPECT_EQ(Func052(81), 0);
    Func056(80, 1);

    // Break: the other end sees it; what waited to be sent is dropped first.
    Func063(80);
    DWORD errors = 0;
    COMSTAT st;
    ClearCommError(Func048(81), &errors, &st);
    EXPECT_TRUE(errors & CE_BREAK);

    EXPECT_EQ(Func010(255), 0);
    EXPECT_EQ(Func052(255), 0);
    EXPECT_EQ(Func053(-1), 0);
    EXPECT_EQ(Func122(80, kOwner), 0);
    EXPECT_EQ(Func052(81), 0); // the other end closed: its lines fell
    EXPECT_EQ(Func122(81, kOwner), 0);
    t0 = Clock::now();
    EXPECT_EQ(Func055(80), 0); // closed: the wait is made all the same
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(480));
    EXPECT_TRUE(WapiDestroyNullModemPair("COM81"));
}

TEST(ModemLines, APseudoTerminalReadsAsConnected) {
    PtyPort pty(75);
    ASSERT_EQ(Func041(74, kOwner), VORLEX_OPEN_OK);
    EXPECT_EQ(Func010(74), 0xB0);
    Func056(74, 0);
    Func061(74, 0);
    Func063(74);
    EXPECT_EQ(Func052(74), 1);
    EXPECT_EQ(Func122(74, kOwner), 0);
}

} // namespace
