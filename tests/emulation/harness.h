// A terminal without windows: the emulator state, a host that records what
// the interpreter asks of the window, and a port whose bytes are read in
// chunks as the receive path reads them. What a chunk does not hold is still
// on the port, where a read-ahead finds it.
#pragma once

#include "emulation/interpreter.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#define ESC "\033"

namespace emu {

using namespace vorlex;

struct RecordingHost : EmulatorHost {
    EmulatorState *state = nullptr;
    std::deque<BYTE> *port = nullptr;
    std::string log;          // window calls, when logging is on
    bool logging = false;
    std::string replies;
    std::string captured;
    int beeps = 0;
    std::vector<bool> doorWay;
    std::vector<DWORD> waits;
    std::vector<LONG> busyWhileWaiting;
    int readAheadDepth = 0;
    int readAheads = 0;

    void note(const std::string &s) {
        if (logging)
            log += (log.empty() ? "" : " ") + s;
    }
    void invalidateCells(int row, int first, int last) override {
        note("cells " + std::to_string(row) + ":" + std::to_string(first) + "-" + std::to_string(last));
    }
    void invalidateAll() override { note("all"); }
    void scrollUp() override { note("up"); }
    void revealRow(int row) override { note("reveal " + std::to_string(row)); }
    void updateNow() override { note("now"); }
    void resetView() override { note("reset"); }
    void placeCaret(int row, int column) override {
        note("caret " + std::to_string(row) + "," + std::to_string(column));
    }
    void beep() override { ++beeps; note("beep"); }
    void reply(const char *text) override { replies += text; }
    void doorWayChanged(bool on) override { doorWay.push_back(on); }
    void captureByte(BYTE b) override { captured += char(b); }
    void beginReadAhead() override { ++readAheadDepth; ++readAheads; }
    void endReadAhead() override { --readAheadDepth; }
    // An empty port stands for two seconds without a byte.
    int waitByte(DWORD ms) override {
        waits.push_back(ms);
        busyWhileWaiting.push_back(state->readBusy);
        if (!port || port->empty())
            return -1;
        BYTE b = port->front();
        port->pop_front();
        return b;
    }
};

struct Terminal {
    std::unique_ptr<EmulatorState> s = std::make_unique<EmulatorState>();
    RecordingHost host;
    std::deque<BYTE> port;
    int chunkSize = kChunkSize;

    explicit Terminal(LONG emulation = kIbmAnsi, BYTE attribute = 0x07) {
        resetEmulator(*s, attribute);
        s->emulation = emulation;
        host.state = s.get();
        host.port = &port;
    }

    // The bytes arrive on the port and are read and interpreted chunk by
    // chunk, as the receive path does.
    Terminal &feed(const std::string &bytes) {
        port.insert(port.end(), bytes.begin(), bytes.end());
        while (!port.empty()) {
            LONG n = 0;
            while (n < chunkSize && !port.empty()) {
                s->chunk[n++] = port.front();
                port.pop_front();
            }
            s->chunk[n] = 0;
            s->chunkLength = n;
            for (s->chunkIndex = 0; s->chunkIndex < s->chunkLength; ++s->chunkIndex) {
                s->currentByte = s->chunk[s->chunkIndex];
                processByte(*s, host);
            }
        }
        return *this;
    }

    // The characters of a row from a column on.
    std::string text(int row, int column = 0, int length = -1) const {
        if (length < 0)
            length = kScreenColumns - column;
        std::string out;
        for (int c = column; c < column + length; ++c)
            out += char(cellAt(*s, row, c).character);
        return out;
    }
    BYTE attributeAt(int row, int column) const { return cellAt(*s, row, column).attribute; }
    // Puts distinct characters in every row: row r holds 'A' + r % 26.
    void fillRows() {
        for (int r = 0; r < kScreenRows; ++r)
            for (int c = 0; c < kScreenColumns; ++c)
                cellAt(*s, r, c) = Cell{BYTE('A' + r % 26), BYTE(r)};
    }
    void moveTo(int row, int column) {
        s->cursorRow = row;
        s->cursorColumn = column;
    }
};

// Cells starting at (row, column) hold the text, in the attribute when given.
struct CellsExpected {
    int row, column;
    std::string text;
    int attribute = -1;
};

// A script: bytes in, then the cursor, the current attribute, the replies
// and some cells checked.
struct Script {
    const char *name;
    std::string input;
    int row, column;
    int attribute = -1;
    std::vector<CellsExpected> cells = {};
    std::string replies = "";
};

struct Setup {
    LONG emulation = kIbmAnsi;
    BYTE attribute = 0x07;
    void (*prepare)(Terminal &) = nullptr;
};

inline void checkScript(const Script &script, Terminal &t) {
    EXPECT_EQ(t.s->cursorRow, script.row);
    EXPECT_EQ(t.s->cursorColumn, script.column);
    if (script.attribute >= 0) {
        EXPECT_EQ(int(BYTE(t.s->currentAttribute)), script.attribute);
    }
    EXPECT_EQ(t.host.replies, script.replies);
    for (const CellsExpected &c : script.cells) {
        EXPECT_EQ(t.text(c.row, c.column, int(c.text.size())), c.text) << "at " << c.row << "," << c.column;
        for (size_t i = 0; c.attribute >= 0 && i < c.text.size(); ++i) {
            EXPECT_EQ(int(t.attributeAt(c.row, c.column + int(i))), c.attribute) << "column " << c.column + i;
        }
    }
    EXPECT_EQ(t.host.readAheadDepth, 0) << "read-ahead not closed";
}

// Runs each script on a fresh terminal, once in whole chunks and once a byte
// per chunk: where a sequence is split must not matter.
inline void runScripts(const Setup &setup, const std::vector<Script> &scripts) {
    for (const Script &script : scripts) {
        for (int chunkSize : {kChunkSize, 1}) {
            SCOPED_TRACE(std::string(script.name) + ", chunks of " + std::to_string(chunkSize));
            Terminal t(setup.emulation, setup.attribute);
            t.chunkSize = chunkSize;
            if (setup.prepare)
                setup.prepare(t);
            t.feed(script.input);
            checkScript(script, t);
        }
    }
}

} // namespace emu
