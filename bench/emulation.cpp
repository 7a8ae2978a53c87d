// Bytes per second through processByte alone (no window: the host does
// nothing), on plain text, SGR-heavy ANSI and line drawing, with libvterm's
// screen layer on the same streams in the same run. Both are fed in pieces
// of 176 bytes, the terminal's receive chunk.
#include "emulation/interpreter.h"

#include <benchmark/benchmark.h>
#include <vterm.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

using namespace vorlex;

namespace {

constexpr size_t kStreamSize = 1 << 20;
#define ESC "\033"

std::string plainText() {
    std::mt19937 random(1);
    std::string s;
    while (s.size() < kStreamSize) {
        for (int i = 0; i < 78; ++i)
            s += char(0x20 + random() % 0x5F);
        s += "\r\n";
    }
    return s;
}

// Short runs of text in changing colours, with cursor positioning and
// erasing, as a full-screen program draws.
std::string sgrHeavy() {
    std::mt19937 random(2);
    std::string s;
    while (s.size() < kStreamSize) {
        s += ESC "[" + std::to_string(1 + random() % 24) + ";" + std::to_string(1 + random() % 70) + "H";
        for (int run = 0; run < 6; ++run) {
            s += ESC "[" + std::string(random() % 2 ? "1;" : "0;") + std::to_string(30 + random() % 8) + ";" +
                 std::to_string(40 + random() % 8) + "m";
            for (int i = 0; i < 4; ++i)
                s += char('a' + random() % 26);
        }
        s += ESC "[0m" ESC "[K\r\n";
    }
    return s;
}

// Boxes of line-drawing characters, switching sets at every line.
std::string lineDrawing() {
    std::string s;
    while (s.size() < kStreamSize) {
        s += ESC "(0lqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqwqqqqqqqqqqqqqqqqqqqqqqk" ESC "(B\r\n";
        s += ESC "(0x" ESC "(B name of the entry           " ESC "(0x" ESC "(B value of it         " ESC "(0x" ESC "(B\r\n";
        s += ESC "(0tqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqnqqqqqqqqqqqqqqqqqqqqqqu" ESC "(B\r\n";
        s += ESC "(0mqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqvqqqqqqqqqqqqqqqqqqqqqqj" ESC "(B\r\n";
    }
    return s;
}

const std::string &stream(int kind) {
    static const std::string streams[] = {plainText(), sgrHeavy(), lineDrawing()};
    return streams[kind];
}

// The receive path's loop: the stream in chunks, byte by byte.
void ours(benchmark::State &state) {
    const std::string &bytes = stream(int(state.range(0)));
    auto s = std::make_unique<EmulatorState>();
    resetEmulator(*s, 0x07);
    s->emulation = kVt100; // ESC ( needs VT100; the rest is common to the ANSI types
    EmulatorHost host;
    for (auto _ : state) {
        for (size_t at = 0; at < bytes.size(); at += kChunkSize) {
            const LONG n = LONG(std::min<size_t>(kChunkSize, bytes.size() - at));
            std::memcpy(s->chunk, bytes.data() + at, size_t(n));
            s->chunkLength = n;
            for (s->chunkIndex = 0; s->chunkIndex < s->chunkLength; ++s->chunkIndex) {
                s->currentByte = s->chunk[s->chunkIndex];
                processByte(*s, host);
            }
        }
        benchmark::DoNotOptimize(s->cells[0]);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void libvterm(benchmark::State &state) {
    const std::string &bytes = stream(int(state.range(0)));
    VTerm *vt = vterm_new(kScreenRows, kScreenColumns);
    vterm_set_utf8(vt, 0);
    VTermScreen *screen = vterm_obtain_screen(vt);
    vterm_screen_reset(screen, 1);
    vterm_input_write(vt, ESC "[?7l", 5);
    for (auto _ : state) {
        for (size_t at = 0; at < bytes.size(); at += kChunkSize)
            vterm_input_write(vt, bytes.data() + at, std::min<size_t>(kChunkSize, bytes.size() - at));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    vterm_free(vt);
}

void streamNames(benchmark::internal::Benchmark *b) {
    b->ArgName("stream")->Arg(0)->Arg(1)->Arg(2);
}

} // namespace

// stream 0: plain text, 1: SGR-heavy ANSI, 2: line drawing
BENCHMARK(ours)->Apply(streamNames);
BENCHMARK(libvterm)->Apply(streamNames);

BENCHMARK_MAIN();
