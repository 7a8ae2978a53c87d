// processByte and the ANSI/VT100 sequences. A byte either continues the
// sequence being collected, starts one, or is carried out or printed.
#include "emulation/interpreter.h"

#include <algorithm>

namespace vorlex {

namespace {

constexpr BYTE BEL = 0x07, BS = 0x08, HT = 0x09, LF = 0x0A, FF = 0x0C, CR = 0x0D, ESC = 0x1B;
constexpr DWORD kReadAheadMs = 2000;

bool isTty(const EmulatorState &s) { return s.emulation == kTty || s.emulation == kTtyEx; }
bool isIbmAnsi(const EmulatorState &s) { return s.emulation == kIbmAnsi || s.emulation == kAnsiEx; }

// The count of a cursor move: the first parameter, 0 counting as 1.
int count(const EmulatorState &s) { return s.parameters[0] ? s.parameters[0] : 1; }

void setAttribute(EmulatorState &s, unsigned attribute) { s.currentAttribute = BYTE(attribute); }

// A movement that reaches the last buffer row scrolls once and stays above it.
void scrollAtBottom(EmulatorState &s, EmulatorHost &host) {
    if (s.cursorRow < kLastRow)
        return;
    scrollScreenUp(s);
    host.invalidateAll();
    s.cursorRow = kBottomRow;
}

void startSequence(EmulatorState &s) {
    s.escapeActive = 1;
    s.parameters[0] = s.parameters[1] = 0;
    s.parameterIndex = 0;
    s.bracketSeen = s.emulation == kIbm3161;
}

void lineFeed(EmulatorState &s, EmulatorHost &host) {
    // From row 99 too (an IBM3161 move may leave the cursor there).
    if (++s.cursorRow >= kLastRow) {
        scrollScreenUp(s);
        host.scrollUp();
        s.cursorRow = kBottomRow;
    } else {
        host.revealRow(s.cursorRow);
    }
    host.updateNow();
    updateCaret(s, host);
}

void print(EmulatorState &s, EmulatorHost &host, BYTE b) {
    putCell(s, host, b);
    if (s.autoWrap && s.cursorColumn >= columnsInUse(s) - 1) {
        s.cursorColumn = 0;
        s.cursorRow = std::min<LONG>(s.cursorRow + 1, rowsInUse(s) - 1);
        updateCaret(s, host);
    } else if (s.cursorColumn < kLastColumn) {
        ++s.cursorColumn;
    }
}

void saveCursor(EmulatorState &s) {
    s.savedRow = s.cursorRow;
    s.savedColumn = s.cursorColumn;
}

void restoreCursor(EmulatorState &s, EmulatorHost &host) {
    s.cursorRow = std::clamp<LONG>(s.savedRow, 0, kLastRow);
    s.cursorColumn = std::clamp<LONG>(s.savedColumn, 0, kLastColumn);
    updateCaret(s, host);
}

// What an SGR value does to the attribute: keep these bits, then set those.
// Values without a meaning here (2-6, 9-29, 38, 39, 48-255) keep it all; 0
// depends on the emulation and is not in the table.
struct Rendition {
    BYTE keep, set;
};

constexpr std::array<Rendition, 256> renditions = [] {
    std::array<Rendition, 256> table{};
    for (Rendition &r : table)
        r = {0xFF, 0x00};
    table[1] = {0xFF, 0x08}; // bright
    table[7] = {0x00, 0x70}; // reverse
    table[8] = {0x00, 0x00}; // hidden
    for (int i = 0; i < 8; ++i) {
        table[30 + i] = {0xF8, colourMap[i]};            // foreground, bright kept
        table[40 + i] = {0x0F, BYTE(colourMap[i] << 4)}; // background, bit 7 cleared
    }
    return table;
}();

void applyRendition(EmulatorState &s, BYTE value) {
    if (value == 0) {
        setAttribute(s, isIbmAnsi(s) ? 0x07 : s.defaultAttribute & ~0x08u);
        return;
    }
    const Rendition r = renditions[value];
    setAttribute(s, (BYTE(s.currentAttribute) & r.keep) | r.set);
}

// Set and reset mode: only "=255" (DoorWay) means anything here.
bool switchDoorWay(EmulatorState &s, EmulatorHost &host, bool on) {
    if (!s.equalsSeen)
        return kSequenceEnds;
    s.equalsSeen = 0;
    if (s.parameters[0] == 255) {
        s.doorWayMode = on;
        host.doorWayChanged(on);
    }
    return kSequenceEnds;
}

bool collectDigit(EmulatorState &s, BYTE b) {
    if (unsigned(s.parameterIndex) >= unsigned(kParameterCount))
        return kSequenceEnds;
    BYTE &p = s.parameters[s.parameterIndex];
    p = BYTE(p * 10 + (b - '0'));
    return kSequenceGoesOn;
}

// ---- escape handlers, by mnemonic ----

bool ignore(EmulatorState &, EmulatorHost &, BYTE) { return kSequenceEnds; }
bool nothing(EmulatorState &, EmulatorHost &, BYTE) { return kSequenceGoesOn; }

bool digit(EmulatorState &s, EmulatorHost &host, BYTE b) {
    if (s.emulation == kVt100 && !s.bracketSeen) {
        if (b == '7') { saveCursor(s); return kSequenceEnds; }             // DECSC
        if (b == '8') { restoreCursor(s, host); return kSequenceEnds; }    // DECRC
        return kSequenceGoesOn;
    }
    return collectDigit(s, b);
}

bool nextParameter(EmulatorState &s, EmulatorHost &, BYTE) {
    if (++s.parameterIndex >= kParameterCount)
        return kSequenceEnds;
    s.parameters[s.parameterIndex] = 0;
    return kSequenceGoesOn;
}

bool equals(EmulatorState &s, EmulatorHost &, BYTE) {
    s.equalsSeen = 1;
    return kSequenceGoesOn;
}

bool characterSet(EmulatorState &s, EmulatorHost &host, BYTE) { // SCS: ESC ( 0, ESC ( B
    ReadAhead readAhead(host);
    int b = readAheadByte(s, host);
    if (b == 'A' || b == 'B')
        s.lineDrawing = 0;
    else if (b == '0')
        s.lineDrawing = 1;
    return kSequenceEnds;
}

bool cursorUp(EmulatorState &s, EmulatorHost &host, BYTE) { // CUU
    s.cursorRow = std::max<LONG>(s.cursorRow - count(s), 0);
    updateCaret(s, host);
    return kSequenceEnds;
}

bool cursorDown(EmulatorState &s, EmulatorHost &host, BYTE) { // CUD
    s.cursorRow += count(s);
    scrollAtBottom(s, host);
    updateCaret(s, host);
    return kSequenceEnds;
}

bool cursorForward(EmulatorState &s, EmulatorHost &host, BYTE) { // CUF
    s.cursorColumn = std::min<LONG>(s.cursorColumn + count(s), kLastColumn);
    updateCaret(s, host);
    return kSequenceEnds;
}

bool cursorBack(EmulatorState &s, EmulatorHost &host, BYTE) { // CUB
    s.cursorColumn = std::max<LONG>(s.cursorColumn - count(s), 0);
    updateCaret(s, host);
    return kSequenceEnds;
}

bool nextLine(EmulatorState &s, EmulatorHost &host, BYTE) { // NEL / CNL
    s.cursorColumn = 0;
    ++s.cursorRow;
    scrollAtBottom(s, host);
    updateCaret(s, host);
    return kSequenceEnds;
}

bool cursorPosition(EmulatorState &s, EmulatorHost &host, BYTE) { // CUP, HVP
    moveCursorTo(s, host, s.parameters[0], s.parameters[1]);
    return kSequenceEnds;
}

bool eraseScreen(EmulatorState &s, EmulatorHost &host, BYTE) { // ED, any part
    clearScreen(s, host);
    return kSequenceEnds;
}

bool eraseLine(EmulatorState &s, EmulatorHost &host, BYTE) { // EL, any part
    eraseToEndOfLine(s, host);
    return kSequenceEnds;
}

bool saveCursorHandler(EmulatorState &s, EmulatorHost &, BYTE) { // SCP
    saveCursor(s);
    return kSequenceEnds;
}

bool restoreCursorHandler(EmulatorState &s, EmulatorHost &host, BYTE) { // RCP
    restoreCursor(s, host);
    return kSequenceEnds;
}

bool deviceStatus(EmulatorState &, EmulatorHost &host, BYTE) { // DSR: always "home"
    host.reply("\x1b[1;1R");
    return kSequenceEnds;
}

bool deviceAttributes(EmulatorState &, EmulatorHost &host, BYTE) { // DA: VT100 with AVO
    host.reply("\x1b[?1;2c");
    return kSequenceEnds;
}

bool selectGraphicRendition(EmulatorState &s, EmulatorHost &, BYTE) { // SGR
    for (int i = 0; i <= s.parameterIndex && i < kParameterCount; ++i)
        applyRendition(s, s.parameters[i]);
    return kSequenceEnds;
}

bool setMode(EmulatorState &s, EmulatorHost &host, BYTE) { return switchDoorWay(s, host, true); }   // SM
bool resetMode(EmulatorState &s, EmulatorHost &host, BYTE) { return switchDoorWay(s, host, false); } // RM

void dispatchEscapeByte(EmulatorState &s, EmulatorHost &host, BYTE b) {
    if (!s.bracketSeen) {
        if (b == '[') {
            s.bracketSeen = 1;
            return;
        }
        // Only VT100 takes a final byte straight after ESC (ESC 7, ESC E).
        s.escapeActive = s.emulation == kVt100 && b < 128 ? ansiTable[b](s, host, b) : kSequenceEnds;
        return;
    }
    if (b >= 128) {
        s.escapeActive = 0;
        return;
    }
    if (s.emulation == kIbm3161) {
        s.escapeActive = ibm3161Table[b](s, host, b);
        return;
    }
    // Digits are most of a parameter list: collected without the table's call.
    s.escapeActive = unsigned(b - '0') < 10u ? collectDigit(s, b) : ansiTable[b](s, host, b);
}

} // namespace

constinit const EscapeTable ansiTable = makeEscapeTable(ignore, {
    {"0123456789", digit},
    {";", nextParameter},
    {"=", equals},
    {"?", nothing},
    {"#()", characterSet},
    {"A", cursorUp},
    {"B", cursorDown},
    {"C", cursorForward},
    {"D", cursorBack},
    {"E", nextLine},
    {"Hf", cursorPosition},
    {"J", eraseScreen},
    {"K", eraseLine},
    {"c", deviceAttributes},
    {"h", setMode},
    {"l", resetMode},
    {"m", selectGraphicRendition},
    {"n", deviceStatus},
    {"s", saveCursorHandler},
    {"u", restoreCursorHandler},
});

const BYTE lineDrawingMap[32] = {
    0x20, 0x04, 0xF0, 0x20, 0x20, 0x20, 0x20, 0xF8, // 5F..66
    0xF1, 0x20, 0x20, 0xD9, 0xBF, 0xDA, 0xC0, 0xC5, // 67..6E
    0xC4, 0xC4, 0xC4, 0xC4, 0xC4, 0xC3, 0xB4, 0xC1, // 6F..76
    0xC2, 0xB3, 0xF3, 0xF2, 0x20, 0xF7, 0x9C, 0xFA, // 77..7E
};

void moveCursorTo(EmulatorState &s, EmulatorHost &host, int row1, int column1) {
    s.cursorRow = row1 ? row1 - 1 : 0;
    scrollAtBottom(s, host);
    s.cursorColumn = std::min(column1 ? column1 - 1 : 0, kLastColumn);
    updateCaret(s, host);
}

void backspace(EmulatorState &s, EmulatorHost &host) {
    if (s.cursorColumn <= 0)
        return;
    --s.cursorColumn;
    updateCaret(s, host);
    if (s.destructiveBackspace)
        putCell(s, host, ' ');
}

void tabForward(EmulatorState &s, EmulatorHost &host, int lastColumn) {
    s.cursorColumn = std::min<LONG>(s.cursorColumn + 8 - s.cursorColumn % 8, lastColumn);
    updateCaret(s, host);
}

int readAheadByte(EmulatorState &s, EmulatorHost &host) {
    const LONG length = std::clamp<LONG>(s.chunkLength, 0, kChunkSize);
    // Stops at the chunk's end, so the feed loop sees the chunk as used up.
    if (s.chunkIndex < length)
        s.chunkIndex = std::max<LONG>(s.chunkIndex + 1, 0);
    if (s.chunkIndex < length)
        return s.chunk[s.chunkIndex];
    ++s.readBusy;
    int b = host.waitByte(kReadAheadMs);
    s.readBusy = 0;
    if (b < 0)
        return -1;
    return s.stripEighthBit ? b & 0x7F : b & 0xFF;
}

void processByte(EmulatorState &s, EmulatorHost &host) {
    BYTE b = s.currentByte;
    if (s.escapeActive) {
        dispatchEscapeByte(s, host, b);
        return;
    }
    if (b == ESC && !isTty(s)) {
        startSequence(s);
        return;
    }
    if (s.lineDrawing && b >= 0x5F && b <= 0x7E)
        b = lineDrawingMap[b - 0x5F];
    host.captureByte(b);
    switch (b) {
    case BEL: host.beep(); return;
    case BS: backspace(s, host); return;
    case HT: tabForward(s, host, kLastColumn); return;
    case LF: lineFeed(s, host); return;
    case FF: clearScreen(s, host); return;
    case CR:
        s.cursorColumn = 0;
        updateCaret(s, host);
        return;
    case 0xFF: b = ' '; break;
    }
    print(s, host, b);
}

void showByte(EmulatorState &s, EmulatorHost &host, BYTE b) {
    const LONG length = s.chunkLength, index = s.chunkIndex;
    const BYTE current = s.currentByte;
    s.chunkLength = s.chunkIndex = 0;
    s.currentByte = b;
    processByte(s, host);
    s.chunkLength = length;
    s.chunkIndex = index;
    s.currentByte = current;
}

} // namespace vorlex
