// The byte interpreter (processByte) for every emulation, the received
// bytes taken chunk by chunk as the receive path does, read-ahead from what
// follows. Input: the emulation, the chunk size, the five screen words of
// the keyboard map (rows and columns as the map file may hold them), then
// the bytes.
#include "emulation/interpreter.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

using namespace vorlex;

struct Host : EmulatorHost {
    const uint8_t *next = nullptr, *end = nullptr;
    std::string replies;
    void reply(const char *text) override {
        if (replies.size() < 4096) replies += text;
    }
    int waitByte(DWORD) override { return next < end ? *next++ : -1; }
};

bool cursorInside(const EmulatorState &s) {
    return s.cursorRow >= 0 && s.cursorRow < kScreenRows && s.cursorColumn >= 0 && s.cursorColumn <= kScreenColumns;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 8) return 0;
    static std::unique_ptr<EmulatorState> state = std::make_unique<EmulatorState>();
    EmulatorState &s = *state;
    resetEmulator(s, 0x07);
    s.emulation = data[0] % 6;
    const LONG chunk = 1 + data[1] % kChunkSize;
    s.screenRows = static_cast<WORD>(data[2] | (data[3] & 1) << 8);
    s.screenColumns = static_cast<WORD>(data[4] | (data[3] & 2) << 7);
    s.stripEighthBit = data[5] & 1;
    s.destructiveBackspace = (data[5] >> 1) & 1;
    s.autoWrap = (data[5] >> 2) & 1;
    Host host;
    host.next = data + 6;
    host.end = data + size;
    while (host.next < host.end) {
        LONG n = 0;
        while (n < chunk && host.next < host.end) s.chunk[n++] = *host.next++;
        s.chunk[n] = 0;
        s.chunkLength = n;
        for (s.chunkIndex = 0; s.chunkIndex < s.chunkLength; ++s.chunkIndex) {
            s.currentByte = s.chunk[s.chunkIndex];
            processByte(s, host);
            if (!cursorInside(s)) std::abort();
        }
    }
    return 0;
}
